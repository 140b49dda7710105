// Knob values given as text, for every knob of the card and of an Axis:
// whatever the text, the host survives, and a text a knob accepts reads back
// as a text that the knob accepts again unchanged.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "FuzzCheck.h"
#include "FuzzPlugins.h"

namespace {

// Texts that would make grids far larger than any fault needs.
bool tooCostly(const std::string& knob, const std::string& text) {
  return (knob == "x_points" || knob == "y_points") && std::atof(text.c_str()) > 64;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  loadBuildPlugins();
  std::size_t at = 0;
  auto byte = [&]() -> unsigned { return at < size ? data[at++] : 0u; };

  DD::Image::Graph graph;
  std::string error;
  Node* node = graph.create(byte() % 2 ? "Axis" : "QuorCard", "", &error);
  FUZZ_CHECK(node);
  graph.finish(node);
  while (at < size) {
    const auto& knobs = node->knobs();
    DD::Image::Knob* k = knobs[byte() % knobs.size()].get();
    const std::size_t length = byte() % 64;
    std::string text;
    for (std::size_t i = 0; i < length && at < size; ++i) text += static_cast<char>(byte());
    if (tooCostly(k->name(), text)) continue;
    if (!node->userSetText(k, text.c_str())) continue;
    // Knobs made again by the change (the per-point knobs) may be gone.
    DD::Image::Knob* again = node->knob(k->name());
    if (!again || !again->hasValue()) continue;
    if (const char* shown = again->get_text()) {
      // A knob with a text form takes back the text it shows, unchanged.
      const std::string first = shown;
      FUZZ_CHECK(node->userSetText(again, first.c_str()));
      DD::Image::Knob* third = node->knob(k->name());
      FUZZ_CHECK(third && third->get_text() && first == third->get_text());
    } else {
      // A knob of numbers takes back the values it holds, unchanged.
      std::vector<double> values;
      for (int c = 0; c < again->channels(); ++c) values.push_back(again->get_value(c));
      FUZZ_CHECK(node->userSetValues(again, values));
      DD::Image::Knob* third = node->knob(k->name());
      FUZZ_CHECK(third);
      for (int c = 0; c < third->channels(); ++c)
        FUZZ_CHECK(third->get_value(c) == values[static_cast<std::size_t>(c)]);
    }
  }
  node->op()->validate(true);
  return 0;
}

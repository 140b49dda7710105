#include "StockKnob.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>

#include "DDImageHost/Host.h"

namespace DD {
namespace Image {

namespace {

int channelCount(int kind) {
  switch (kind) {
    case INT_KNOB:
    case ENUMERATION_KNOB:
    case BOOL_KNOB:
    case DOUBLE_KNOB:
    case FLOAT_KNOB:
      return 1;
    case XY_KNOB:
      return 2;
    case XYZ_KNOB:
    case COLOR_KNOB:
      return 3;
    default:
      return 0;
  }
}

const char* className(int kind) {
  switch (kind) {
    case STRING_KNOB:
      return "String_Knob";
    case FILE_KNOB:
      return "File_Knob";
    case INT_KNOB:
      return "Int_Knob";
    case ENUMERATION_KNOB:
      return "Enumeration_Knob";
    case BOOL_KNOB:
      return "Bool_Knob";
    case DOUBLE_KNOB:
      return "Double_Knob";
    case FLOAT_KNOB:
      return "Float_Knob";
    case XY_KNOB:
      return "XY_Knob";
    case XYZ_KNOB:
      return "XYZ_Knob";
    case COLOR_KNOB:
      return "Color_Knob";
    case TAB_KNOB:
      return "Tab_Knob";
    case PYSCRIPT_KNOB:
      return "PyScript_Knob";
    case SPACER_KNOB:
      return "Spacer_Knob";
    case TEXT_KNOB:
      return "Text_Knob";
    case SCRIPT_KNOB:
      return "Script_Knob";
    default:
      return "Knob";
  }
}

// These kinds are bound to float members: a value beyond what a float can
// hold would turn infinite there and in the text written for scripts.
double toFloatRange(double v) {
  const double most = std::numeric_limits<float>::max();
  return v < -most ? -most : v > most ? most : v;
}

std::string trim(const std::string& s) {
  const size_t b = s.find_first_not_of(" \t\r\n");
  if (b == std::string::npos) return std::string();
  const size_t e = s.find_last_not_of(" \t\r\n");
  return s.substr(b, e - b + 1);
}

// Every assignment of a knob's text, in any knob, gets a stamp of its own.
unsigned long long nextTextStamp() {
  static std::atomic<unsigned long long> last{0};
  return ++last;
}

// `text` (a C string) into `held`, which holds no NUL. A text set again
// mostly differs from the one held in a small part (a dense card's points
// text with one point moved, 63 MB): one pass compares them block by block,
// and only the blocks from the first that differs to the last are written.
// When a part of another length was put in, every block after it differs:
// after a few such blocks in a row the rest is copied without comparing it.
void assignText(std::string& held, const char* text) {
  const size_t kBlock = 4096;
  const size_t kShiftedRun = 8;
  const size_t n = held.size();
  size_t from = n, to = 0;  // the blocks that differ
  size_t run = 0;           // differing blocks in a row
  // strncmp stops at the end of `text`, so no byte beyond it is read.
  for (size_t at = 0; at < n; at += kBlock) {
    const size_t m = std::min(kBlock, n - at);
    if (std::strncmp(text + at, held.data() + at, m) == 0) {
      run = 0;
      continue;
    }
    const size_t left = strnlen(text + at, m);
    if (left < m) {
      // `text` ends in this block: shorter than the one held.
      const size_t start = std::min(from, at);
      held.replace(start, std::string::npos, text + start, at + left - start);
      return;
    }
    from = std::min(from, at);
    to = at + m;
    if (++run == kShiftedRun) {
      held.replace(from, std::string::npos, text + from);
      return;
    }
  }
  if (from < to) std::memcpy(&held[from], text + from, to - from);
  if (text[n] != '\0') held.append(text + n);
}

}  // namespace

bool parseNumber(const std::string& text, double* out) {
  const std::string t = trim(text);
  if (t.empty()) return false;
  char* end = nullptr;
  errno = 0;
  const double v = std::strtod(t.c_str(), &end);
  if (end != t.c_str() + t.size() || errno == ERANGE || !std::isfinite(v)) return false;
  *out = v;
  return true;
}

std::string formatNumber(double v) {
  char buffer[64];
  auto result = std::to_chars(buffer, buffer + sizeof buffer, v);
  return std::string(buffer, result.ptr);
}

std::string formatNumber(float v) {
  char buffer[64];
  auto result = std::to_chars(buffer, buffer + sizeof buffer, v);
  return std::string(buffer, result.ptr);
}

StockKnob::StockKnob(Knob_Closure* f, int kind, const char* name, const char* label, const void* extra)
    : Knob(f, name, label), kind_(kind), channels_(channelCount(kind)) {
  switch (kind) {
    case STRING_KNOB:
    case FILE_KNOB:
      more();
      break;
    case ENUMERATION_KNOB:
      for (ENUM_LABELS e = static_cast<ENUM_LABELS>(extra); e && *e; ++e) more().items.emplace_back(*e);
      break;
    case TEXT_KNOB:
    case PYSCRIPT_KNOB:
      if (extra) more().extraText = static_cast<const char*>(extra);
      break;
    case TAB_KNOB:
    case SPACER_KNOB:
      more().layout = reinterpret_cast<long>(extra);
      break;
    default:
      break;
  }
  // A knob starts a row of the panel and ends it, unless its flags are
  // cleared; a spacer is room within a row and does neither.
  if (kind != SPACER_KNOB) set_flag(STARTLINE | ENDLINE);
}

StockKnob::More& StockKnob::more() {
  if (!more_) more_.reset(new More);
  return *more_;
}

const std::vector<std::string>& StockKnob::items() const {
  static const std::vector<std::string> none;
  return more_ ? more_->items : none;
}

const std::string& StockKnob::extraText() const {
  static const std::string none;
  return more_ ? more_->extraText : none;
}

void StockKnob::setRange(double lo, double hi) {
  More& m = more();
  m.rangeMin = lo;
  m.rangeMax = hi;
  m.hasRange = true;
}

const char* StockKnob::Class() const { return className(kind_); }

const char* StockKnob::get_text(const OutputContext*) const { return isText() ? more_->text.c_str() : nullptr; }

bool StockKnob::isFloat() const {
  return kind_ == FLOAT_KNOB || kind_ == XY_KNOB || kind_ == XYZ_KNOB || kind_ == COLOR_KNOB;
}

double StockKnob::clamp(double v) const {
  // An enumeration holds the index of an item. Scripts may store an index
  // beyond the listed items (a node can give such values a meaning), so
  // only negative and fractional indices are corrected.
  if (kind_ == ENUMERATION_KNOB) {
    v = std::floor(v);
    if (v < 0) v = 0;
  }
  if (kind_ == BOOL_KNOB) v = v != 0 ? 1 : 0;
  if (kind_ == INT_KNOB) v = std::nearbyint(v);
  if (hasRange() && flag(FORCE_RANGE)) {
    if (v < more_->rangeMin) v = more_->rangeMin;
    if (v > more_->rangeMax) v = more_->rangeMax;
  }
  if (kind_ == INT_KNOB || kind_ == ENUMERATION_KNOB) {
    // Keep the value inside what an int member can hold.
    const double lo = std::numeric_limits<int>::min(), hi = std::numeric_limits<int>::max();
    if (v < lo) v = lo;
    if (v > hi) v = hi;
  }
  if (isFloat()) v = toFloatRange(v);
  return v;
}

bool StockKnob::set_value(double v, int channel) {
  if (channels_ == 0 || !std::isfinite(v)) return false;
  noteChange(false);
  if (channel < 0) {
    for (int i = 0; i < channels_; ++i) values_[i] = clamp(v);
    return true;
  }
  if (channel >= channels_) return false;
  values_[channel] = clamp(v);
  return true;
}

double StockKnob::get_value(int channel) const {
  if (channel < 0 || channel >= channels_) return 0;
  return values_[channel];
}

bool StockKnob::set_text(const char* text) {
  if (!text) return false;
  noteChange(false);
  if (isText()) {
    if (more_->textHoldsNul)
      more_->text = text;
    else
      assignText(more_->text, text);
    more_->textHoldsNul = false;
    more_->textVersion = nextTextStamp();
    return true;
  }
  if (channels_ == 0) return false;
  const std::string t = trim(text);
  if (kind_ == ENUMERATION_KNOB) {
    const std::vector<std::string>& names = items();
    for (size_t i = 0; i < names.size(); ++i)
      if (names[i] == t) {
        values_[0] = static_cast<double>(i);
        return true;
      }
    double v;
    if (!parseNumber(t, &v) || v != std::floor(v) || v < 0 || v > std::numeric_limits<int>::max()) return false;
    values_[0] = v;
    return true;
  }
  if (kind_ == BOOL_KNOB) {
    if (t == "true" || t == "1") return set_value(1);
    if (t == "false" || t == "0") return set_value(0);
    return false;
  }
  // Numbers: one value for every channel, or one value per channel.
  std::vector<double> parsed;
  size_t start = 0;
  while (true) {
    const size_t comma = t.find(',', start);
    double v;
    if (!parseNumber(t.substr(start, comma == std::string::npos ? std::string::npos : comma - start), &v)) return false;
    parsed.push_back(v);
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  if (kind_ == INT_KNOB && parsed[0] != std::floor(parsed[0])) return false;
  if (parsed.size() == 1) return set_value(parsed[0], -1);
  if (parsed.size() != static_cast<size_t>(channels_)) return false;
  for (size_t i = 0; i < parsed.size(); ++i) values_[i] = clamp(parsed[i]);
  return true;
}

std::string StockKnob::valueText() const {
  if (isText()) return more_->text;
  if (kind_ == ENUMERATION_KNOB) {
    const std::vector<std::string>& names = items();
    const size_t i = static_cast<size_t>(values_[0]);
    return i < names.size() ? names[i] : formatNumber(values_[0]);
  }
  std::string out;
  for (int i = 0; i < channels_; ++i) {
    if (i) out += ',';
    if (isFloat())
      out += formatNumber(static_cast<float>(values_[i]));
    else
      out += formatNumber(values_[i]);
  }
  return out;
}

bool StockKnob::hasValue() const { return isText() || channels_ > 0; }

bool StockKnob::notDefault() const {
  if (isText()) return more_->text != more_->defaultText;
  for (int i = 0; i < channels_; ++i)
    if (values_[i] != defaults_[i]) return true;
  return false;
}

void StockKnob::captureDefault() {
  for (int i = 0; i < channels_; ++i) defaults_[i] = values_[i];
  if (isText()) more_->defaultText = more_->text;
}

void StockKnob::readFrom(StoreType s, const void* p) {
  if (!p) return;
  switch (s) {
    case FloatPtr:
      for (int i = 0; i < channels_; ++i) values_[i] = static_cast<const float*>(p)[i];
      break;
    case DoublePtr:
      for (int i = 0; i < channels_; ++i) values_[i] = static_cast<const double*>(p)[i];
      break;
    case IntPtr:
      if (channels_ > 0) values_[0] = *static_cast<const int*>(p);
      break;
    case UnsignedIntPtr:
      if (channels_ > 0) values_[0] = *static_cast<const unsigned*>(p);
      break;
    case BoolPtr:
      if (channels_ > 0) values_[0] = *static_cast<const bool*>(p) ? 1 : 0;
      break;
    case StlStringPtr:
      if (!isText()) break;
      more_->text = *static_cast<const std::string*>(p);
      more_->textHoldsNul = more_->text.find('\0') != std::string::npos;
      more_->textVersion = nextTextStamp();
      break;
    case StringPtr: {
      if (!isText()) break;
      const char* const* t = static_cast<const char* const*>(p);
      more_->text = *t ? *t : "";
      more_->textHoldsNul = false;
      more_->textVersion = nextTextStamp();
      break;
    }
    default:
      break;
  }
}

void StockKnob::storeTo(StoreType s, void* p) {
  if (!p) return;
  switch (s) {
    case FloatPtr:
      for (int i = 0; i < channels_; ++i) static_cast<float*>(p)[i] = static_cast<float>(toFloatRange(values_[i]));
      break;
    case DoublePtr:
      for (int i = 0; i < channels_; ++i) static_cast<double*>(p)[i] = values_[i];
      break;
    case IntPtr:
      if (channels_ > 0) *static_cast<int*>(p) = static_cast<int>(values_[0]);
      break;
    case UnsignedIntPtr:
      if (channels_ > 0) *static_cast<unsigned*>(p) = static_cast<unsigned>(values_[0]);
      break;
    case BoolPtr:
      if (channels_ > 0) *static_cast<bool*>(p) = values_[0] != 0;
      break;
    case StlStringPtr: {
      if (!isText()) break;
      More& m = *more_;
      if (p == m.storedTo && m.storedVersion == m.textVersion) break;
      *static_cast<std::string*>(p) = m.text;
      m.storedTo = p;
      m.storedVersion = m.textVersion;
      break;
    }
    default:
      break;
  }
}

void SetRange(Knob_Callback f, double minimum, double maximum) {
  if (!f.makeKnobs()) return;
  if (StockKnob* k = dynamic_cast<StockKnob*>(f.getLastMadeKnob())) k->setRange(minimum, maximum);
}

}  // namespace Image
}  // namespace DD

namespace DD {
namespace Image {

// A visible 3-D position knob offers a handle in the viewer.
bool StockKnob::build_handle(ViewerContext*) { return kind_ == XYZ_KNOB && isVisible() && !flag(NO_HANDLES); }

}  // namespace Image
}  // namespace DD

// The renderer library's scene calls, driven by the bytes: whatever the
// calls and their arguments, the RIB written holds one request a line,
// blocks that close in the order they opened, and finite numbers only.
#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "FuzzCheck.h"
#include "Quor/Quor.h"

namespace {

// Reads the input from the front; runs dry into zeros.
class Bytes {
 public:
  Bytes(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  bool empty() const { return at_ >= size_; }
  std::uint8_t byte() { return at_ < size_ ? data_[at_++] : 0; }
  int small(int n) { return byte() % n; }
  float number() {
    // Mostly small exact values, sometimes any bit pattern (NaN, inf, huge).
    const std::uint8_t kind = byte();
    if (kind < 200) return static_cast<float>(static_cast<std::int8_t>(byte())) / 4.0f;
    std::uint32_t b = 0;
    for (int i = 0; i < 4; ++i) b = (b << 8) | byte();
    float f;
    std::memcpy(&f, &b, sizeof f);
    return f;
  }
  // Four numbers, read in order (arguments of one call are evaluated in an
  // order the compiler chooses, and replays must read as fuzzing did).
  std::array<float, 4> numbers() {
    std::array<float, 4> v;
    for (float& f : v) f = number();
    return v;
  }
  // Calls `call` with four numbers.
  void call4(void (*call)(float, float, float, float)) {
    const auto v = numbers();
    call(v[0], v[1], v[2], v[3]);
  }
  std::string text() {
    std::string s;
    for (int n = small(12); n > 0; --n) s += static_cast<char>(byte());
    return s;
  }
  struct Matrix {
    QtMatrix m;
  };
  Matrix matrix() {
    Matrix out;
    for (auto& row : out.m)
      for (float& f : row) f = number();
    return out;
  }
  // One of the words of `list`.
  const char* pick(const std::vector<std::string>& list) { return list[byte() % list.size()].c_str(); }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t at_ = 0;
};

std::vector<std::string> split(const std::string& words) {
  std::vector<std::string> out(1);
  for (char c : words) {
    if (c == '|')
      out.emplace_back();
    else
      out.back().push_back(c);
  }
  return out;
}

// Parameter declarations the calls may carry, inline or standard, and names
// of types, wraps, projections, shaders and the like.
const std::vector<std::string> kTokens = split(
    "P|Pw|N|Cs|Os|st|s|t|vertex float[2] st|facevarying float s|varying color Cs|uniform float u|constant float k|"
    "vertex point Q|vertex hpoint H|vertex vector V|uniform matrix M|vertex normal Nn|float[3] bad|"
    "varying float[0] z|nonsense declaration|intensity|lightcolor|from|to|fov|Ka|Kd|roughness");
const std::vector<std::string> kNames = split(
    "bilinear|bicubic|periodic|nonperiodic|perspective|orthographic|catmull-rom|bezier|b-spline|hermite|power|"
    "file|rgba|rgb|matte|plastic|distantlight||a\"b|line\nbreak");

// Calls `call` with a name and one parameter, whose first value is read.
void named(Bytes& in, float* values, void (*call)(QtToken, ...)) {
  values[0] = in.number();
  const char* name = in.pick(kNames);
  call(name, in.pick(kTokens), values, QR_NULL);
}

// Every parameter points into `values`: enough for any declaration.
constexpr std::size_t kValues = 4096;
using Call = void (*)(Bytes& in, float* values);
const Call kCalls[] = {
    [](Bytes& in, float*) { QrFrameBegin(in.small(100)); },
    [](Bytes&, float*) { QrFrameEnd(); },
    [](Bytes&, float*) { QrWorldBegin(); },
    [](Bytes&, float*) { QrWorldEnd(); },
    [](Bytes&, float*) { QrAttributeBegin(); },
    [](Bytes&, float*) { QrAttributeEnd(); },
    [](Bytes&, float*) { QrTransformBegin(); },
    [](Bytes&, float*) { QrTransformEnd(); },
    [](Bytes& in, float*) { QrArchiveBegin(in.text().c_str(), QR_NULL); },
    [](Bytes&, float*) { QrArchiveEnd(); },
    [](Bytes& in, float*) { QrReadArchive(in.text().c_str(), nullptr, QR_NULL); },
    [](Bytes& in, float*) { in.call4([](float x, float y, float z, float) { QrTranslate(x, y, z); }); },
    [](Bytes& in, float*) { in.call4(QrRotate); },
    [](Bytes& in, float*) { in.call4([](float x, float y, float z, float) { QrScale(x, y, z); }); },
    [](Bytes& in, float*) { QrTransform(in.matrix().m); },
    [](Bytes& in, float*) { QrConcatTransform(in.matrix().m); },
    [](Bytes&, float*) { QrIdentity(); },
    [](Bytes& in, float*) {
      const int width = in.small(4000) - 10, height = in.small(4000) - 10;
      QrFormat(width, height, in.number());
    },
    [](Bytes& in, float* values) { named(in, values, QrProjection); },
    [](Bytes& in, float*) { QrColor(in.numbers().data()); },
    [](Bytes& in, float*) { QrSides(in.small(4)); },
    [](Bytes& in, float*) {
      const bool named = in.small(2);
      Bytes::Matrix b = named ? Bytes::Matrix() : in.matrix();
      const int ustep = in.small(5) - (named ? 0 : 1);
      QrBasis(named ? QrCatmullRomBasis : b.m, ustep, QrCatmullRomBasis, in.small(5));
    },
    [](Bytes& in, float* values) {
      const int nu = in.small(9) - 1, nv = in.small(9) - 1, n = in.small(4);
      QtToken tokens[3];
      QtPointer pointers[3];
      for (int k = 0; k < n; ++k) {
        tokens[k] = in.pick(kTokens);
        pointers[k] = values;
      }
      for (std::size_t k = 0; k < kValues; ++k) values[k] = static_cast<float>(k % 16) / 8.0f;
      for (int k = in.small(4); k > 0; --k) values[static_cast<std::size_t>(in.byte()) * 16u] = in.number();
      const char* type = in.pick(kNames);
      const char* uwrap = in.pick(kNames);
      QrPatchMeshV(type, nu, uwrap, nv, in.pick(kNames), n, tokens, pointers);
    },
    [](Bytes& in, float* values) {
      values[0] = in.number();
      const char* texture = "checker.tex";
      const char* token = in.pick(kTokens);
      if (in.small(2))
        QrSurface(in.pick(kNames), token, values, QR_NULL);
      else
        QrSurface("paintedplastic", "texturename", &texture, QR_NULL);
    },
    [](Bytes& in, float*) { QrComment(in.text().c_str()); },
    [](Bytes& in, float*) {
      QtInt sides = in.small(3) - 1;
      QrAttribute("sides", "doubleshaded", &sides, QR_NULL);
    },
    [](Bytes& in, float* values) { named(in, values, QrLightSource); },
};

// Checks the written RIB line by line: a request or a comment on each, the
// rest of the line quoted strings (no quote or line break inside), brackets
// and finite numbers.
void checkRib(const std::string& rib) {
  std::vector<std::string> open;
  std::istringstream lines(rib);
  for (std::string line; std::getline(lines, line);) {
    const std::size_t at = line.find_first_not_of(' ');
    FUZZ_CHECK(at != std::string::npos);
    if (line[at] == '#') continue;  // a comment runs to the line's end
    std::size_t end = at;
    while (end < line.size() && std::isalpha(static_cast<unsigned char>(line[end]))) ++end;
    const std::string request = line.substr(at, end - at);
    FUZZ_CHECK(!request.empty());
    if (request.size() > 5 && request.compare(request.size() - 5, 5, "Begin") == 0) {
      open.push_back(request.substr(0, request.size() - 5));
    } else if (request.size() > 3 && request.compare(request.size() - 3, 3, "End") == 0) {
      FUZZ_CHECK(!open.empty() && open.back() == request.substr(0, request.size() - 3));
      open.pop_back();
    }
    bool quoted = false;
    std::string word;
    const auto number = [&word, &line]() {
      if (word.empty()) return;
      char* stop = nullptr;
      const double v = std::strtod(word.c_str(), &stop);
      if (*stop != '\0' || !std::isfinite(v)) std::fprintf(stderr, "not a finite number in: %s\n", line.c_str());
      FUZZ_CHECK(*stop == '\0' && std::isfinite(v));
      word.clear();
    };
    for (std::size_t i = end; i < line.size(); ++i) {
      const char c = line[i];
      if (quoted) {
        i += c == '\\';  // an escaped character
        quoted = c != '"';
      } else if (c == '"' || c == ' ' || c == '[' || c == ']') {
        number();
        quoted = c == '"';
      } else {
        word += c;
      }
    }
    FUZZ_CHECK(!quoted);
    number();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  char path[] = "/tmp/quor-fuzz-XXXXXX";
  const int fd = mkstemp(path);
  FUZZ_CHECK(fd >= 0);
  close(fd);
  // Refused calls say so on standard error; they are expected here.
  std::fflush(stderr);
  const int savedStderr = dup(2);
  const int null = open("/dev/null", O_WRONLY);
  if (null >= 0) {
    dup2(null, 2);
    close(null);
  }
  Bytes in(data, size);
  if (QrBegin(path) == 0) {
    std::vector<float> values(kValues);
    for (int calls = 0; calls < 64 && !in.empty(); ++calls)
      kCalls[in.small(static_cast<int>(std::size(kCalls)))](in, values.data());
    QrEnd();
  }
  std::fflush(stderr);
  dup2(savedStderr, 2);
  close(savedStderr);
  std::ifstream file(path);
  std::stringstream rib;
  rib << file.rdbuf();
  std::remove(path);
  checkRib(rib.str());
  return 0;
}

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
#include <sstream>
#include <string>
#include <vector>

#include "FuzzCheck.h"
#include "Quor/Quor.h"

namespace {

using Floats = std::array<float, 4>;

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
  // Four numbers, read in order (arguments of one call are evaluated in
  // an order the compiler chooses, and replays must read as fuzzing did).
  Floats numbers() {
    Floats v;
    for (float& f : v) f = number();
    return v;
  }
  std::string text() {
    std::string s;
    for (int n = small(12); n > 0; --n) s += static_cast<char>(byte());
    return s;
  }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t at_ = 0;
};

// Parameter declarations the calls may carry, inline or standard.
const char* const kTokens[] = {"P",
                               "Pw",
                               "N",
                               "Cs",
                               "Os",
                               "st",
                               "s",
                               "t",
                               "vertex float[2] st",
                               "facevarying float s",
                               "varying color Cs",
                               "uniform float u",
                               "constant float k",
                               "vertex point Q",
                               "vertex hpoint H",
                               "vertex vector V",
                               "uniform matrix M",
                               "vertex normal Nn",
                               "float[3] bad",
                               "varying float[0] z",
                               "nonsense declaration",
                               "intensity",
                               "lightcolor",
                               "from",
                               "to",
                               "fov",
                               "Ka",
                               "Kd",
                               "roughness"};
const char* const kNames[] = {"bilinear",     "bicubic",      "periodic", "nonperiodic", "perspective",
                              "orthographic", "catmull-rom",  "bezier",   "b-spline",    "hermite",
                              "power",        "file",         "rgba",     "rgb",         "matte",
                              "plastic",      "distantlight", "",         "a\"b",        "line\nbreak"};

template <std::size_t N>
const char* pick(Bytes& in, const char* const (&list)[N]) {
  return list[in.small(static_cast<int>(N))];
}

void matrixFrom(Bytes& in, QtMatrix m) {
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c) m[r][c] = in.number();
}

// Checks the written RIB line by line.
void checkRib(const std::string& rib) {
  std::vector<std::string> open;
  std::istringstream lines(rib);
  for (std::string line; std::getline(lines, line);) {
    std::size_t at = line.find_first_not_of(' ');
    FUZZ_CHECK(at != std::string::npos);
    if (line[at] == '#') continue;  // a comment runs to the line's end
    std::size_t end = at;
    while (end < line.size() && std::isalpha(static_cast<unsigned char>(line[end]))) ++end;
    FUZZ_CHECK(end > at);
    const std::string request = line.substr(at, end - at);
    if (request.size() > 5 && request.compare(request.size() - 5, 5, "Begin") == 0) {
      open.push_back(request.substr(0, request.size() - 5));
    } else if (request.size() > 3 && request.compare(request.size() - 3, 3, "End") == 0) {
      FUZZ_CHECK(!open.empty() && open.back() == request.substr(0, request.size() - 3));
      open.pop_back();
    }
    // The rest: quoted strings (no quote or line break inside), brackets,
    // and finite numbers.
    bool quoted = false;
    std::string word;
    auto number = [&word, &line]() {
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
        if (c == '\\')
          ++i;  // an escaped character
        else if (c == '"')
          quoted = false;
      } else if (c == '"') {
        number();
        quoted = true;
      } else if (c == ' ' || c == '[' || c == ']') {
        number();
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
    // Every parameter points here: enough values for any declaration.
    std::vector<float> values(4096);
    for (int calls = 0; calls < 64 && !in.empty(); ++calls) {
      QtMatrix m;
      switch (in.small(27)) {
        case 0:
          QrFrameBegin(in.small(100));
          break;
        case 1:
          QrFrameEnd();
          break;
        case 2:
          QrWorldBegin();
          break;
        case 3:
          QrWorldEnd();
          break;
        case 4:
          QrAttributeBegin();
          break;
        case 5:
          QrAttributeEnd();
          break;
        case 6:
          QrTransformBegin();
          break;
        case 7:
          QrTransformEnd();
          break;
        case 8: {
          const std::string name = in.text();
          QrArchiveBegin(name.c_str(), QR_NULL);
          break;
        }
        case 9:
          QrArchiveEnd();
          break;
        case 10: {
          const std::string name = in.text();
          QrReadArchive(name.c_str(), nullptr, QR_NULL);
          break;
        }
        case 11: {
          const Floats v = in.numbers();
          QrTranslate(v[0], v[1], v[2]);
          break;
        }
        case 12: {
          const Floats v = in.numbers();
          QrRotate(v[0], v[1], v[2], v[3]);
          break;
        }
        case 13: {
          const Floats v = in.numbers();
          QrScale(v[0], v[1], v[2]);
          break;
        }
        case 14:
          matrixFrom(in, m);
          QrTransform(m);
          break;
        case 15:
          matrixFrom(in, m);
          QrConcatTransform(m);
          break;
        case 16:
          QrIdentity();
          break;
        case 17: {
          const int width = in.small(4000) - 10;
          const int height = in.small(4000) - 10;
          QrFormat(width, height, in.number());
          break;
        }
        case 18: {
          values[0] = in.number();
          const char* name = pick(in, kNames);
          QrProjection(name, pick(in, kTokens), values.data(), QR_NULL);
          break;
        }
        case 19: {
          const Floats v = in.numbers();
          QrColor(v.data());
          break;
        }
        case 20:
          QrSides(in.small(4));
          break;
        case 21:
          if (in.small(2)) {
            const int ustep = in.small(5);
            QrBasis(QrCatmullRomBasis, ustep, QrCatmullRomBasis, in.small(5));
          } else {
            QtBasis b;
            matrixFrom(in, b);
            const int ustep = in.small(5) - 1;
            QrBasis(b, ustep, QrCatmullRomBasis, in.small(5));
          }
          break;
        case 22: {
          const int nu = in.small(9) - 1;
          const int nv = in.small(9) - 1;
          const int n = in.small(4);
          QtToken tokens[3];
          QtPointer pointers[3];
          for (int k = 0; k < n; ++k) {
            tokens[k] = pick(in, kTokens);
            pointers[k] = values.data();
          }
          for (std::size_t k = 0; k < values.size(); ++k) values[k] = static_cast<float>(k % 16) / 8.0f;
          for (int k = in.small(4); k > 0; --k) values[static_cast<std::size_t>(in.byte()) * 16u] = in.number();
          const char* type = pick(in, kNames);
          const char* uwrap = pick(in, kNames);
          QrPatchMeshV(type, nu, uwrap, nv, pick(in, kNames), n, tokens, pointers);
          break;
        }
        case 23: {
          values[0] = in.number();
          const char* texture = "checker.tex";
          const char* token = pick(in, kTokens);
          if (in.small(2))
            QrSurface(pick(in, kNames), token, values.data(), QR_NULL);
          else
            QrSurface("paintedplastic", "texturename", &texture, QR_NULL);
          break;
        }
        case 24: {
          const std::string text = in.text();
          QrComment(text.c_str());
          break;
        }
        case 25: {
          QtInt sides = in.small(3) - 1;
          QrAttribute("sides", "doubleshaded", &sides, QR_NULL);
          break;
        }
        case 26: {
          values[0] = in.number();
          const char* name = pick(in, kNames);
          QrLightSource(name, pick(in, kTokens), values.data(), QR_NULL);
          break;
        }
      }
    }
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

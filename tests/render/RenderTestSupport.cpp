#include "RenderTestSupport.h"

#include <png.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <utility>

#include <gtest/gtest.h>

#include "Quor/Quor.h"
#include "node/QuorCard.h"

namespace rendertest {

namespace {

// A cursor over one RIB line.
class LineReader {
 public:
  explicit LineReader(const std::string& line) : s_(line) {}

  bool atEnd() {
    skipSpace();
    return i_ >= s_.size();
  }

  std::string word() {
    skipSpace();
    const std::size_t start = i_;
    while (i_ < s_.size() && std::isalpha(static_cast<unsigned char>(s_[i_]))) ++i_;
    return s_.substr(start, i_ - start);
  }

  // Answers false at a character that starts no value.
  bool value(RibValue* out) {
    skipSpace();
    if (i_ >= s_.size()) return false;
    const char c = s_[i_];
    if (c == '"') return quoted(out);
    if (c == '[') {
      ++i_;
      out->kind = RibValue::Array;
      while (true) {
        skipSpace();
        if (i_ < s_.size() && s_[i_] == ']') {
          ++i_;
          return true;
        }
        RibValue item;
        if (!value(&item) || item.kind == RibValue::Array) return false;
        out->items.push_back(item);
      }
    }
    const std::size_t start = i_;
    while (i_ < s_.size() && (std::isalnum(static_cast<unsigned char>(s_[i_])) || std::strchr("+-.", s_[i_]))) ++i_;
    if (i_ == start) return false;
    out->kind = RibValue::Number;
    out->text = s_.substr(start, i_ - start);
    return true;
  }

 private:
  void skipSpace() {
    while (i_ < s_.size() && std::isspace(static_cast<unsigned char>(s_[i_]))) ++i_;
  }

  bool quoted(RibValue* out) {
    out->kind = RibValue::String;
    ++i_;
    while (i_ < s_.size() && s_[i_] != '"') {
      if (s_[i_] == '\\' && i_ + 1 < s_.size()) ++i_;
      out->text += s_[i_++];
    }
    if (i_ >= s_.size()) return false;
    ++i_;
    return true;
  }

  const std::string& s_;
  std::size_t i_ = 0;
};

float toFloat(const RibValue& v) {
  EXPECT_EQ(v.kind, RibValue::Number) << v.text;
  // strtof reports ERANGE for subnormal results too; the callers compare
  // the bits of what it gives.
  char* end = nullptr;
  const float f = std::strtof(v.text.c_str(), &end);
  EXPECT_EQ(*end, '\0') << "not a number: " << v.text;
  return f;
}

struct Vec3 {
  float x, y, z;
};

Vec3 vec(const float* p) { return Vec3{p[0], p[1], p[2]}; }

// Slot s of a point, which the test grids always hold as 3 floats.
Vec3 slot(const quorcard::VtxPoint& p, int s) {
  EXPECT_EQ(p.controlPoints.at(static_cast<std::size_t>(s)).size(), 3u);
  return vec(p.controlPoints.at(static_cast<std::size_t>(s)).data());
}

// The corner of the net: with A, A' slot p of k and of the horizontal
// neighbour h, and B, B' slot q of k and of the vertical neighbour w,
// ((A' - A) / 3 + A + B + (B' - B) / 3) / 2 for each coordinate.
Vec3 corner(const quorcard::VtxPoint& k, int p, const quorcard::VtxPoint& h, int q, const quorcard::VtxPoint& w) {
  const Vec3 a = slot(k, p), a2 = slot(h, p), b = slot(k, q), b2 = slot(w, q);
  const auto one = [](float a0, float a1, float b0, float b1) {
    float sum = (a1 - a0) / 3.0f;
    sum = sum + a0;
    sum = sum + b0;
    sum = sum + (b1 - b0) / 3.0f;
    return sum * 0.5f;
  };
  return Vec3{one(a.x, a2.x, b.x, b2.x), one(a.y, a2.y, b.y, b2.y), one(a.z, a2.z, b.z, b2.z)};
}

}  // namespace

std::vector<float> RibRequest::floats(std::size_t i) const {
  std::vector<float> out;
  if (i >= args.size()) {
    ADD_FAILURE() << name << " has no argument " << i;
    return out;
  }
  const RibValue& v = args[i];
  if (v.kind == RibValue::Array) {
    for (const RibValue& item : v.items) out.push_back(toFloat(item));
  } else {
    out.push_back(toFloat(v));
  }
  return out;
}

std::string RibRequest::str(std::size_t i) const {
  if (i >= args.size() || args[i].kind != RibValue::String) {
    ADD_FAILURE() << name << ": argument " << i << " is not a string";
    return std::string();
  }
  return args[i].text;
}

const RibValue& RibRequest::param(const std::string& token) const {
  for (std::size_t i = 0; i + 1 < args.size(); ++i) {
    if (args[i].kind == RibValue::String && args[i].text == token) return args[i + 1];
  }
  ADD_FAILURE() << name << " has no parameter \"" << token << "\"";
  static const RibValue none;
  return none;
}

std::vector<RibRequest> parseRib(const std::string& text) {
  std::vector<RibRequest> out;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    // Requests inside blocks are indented.
    const std::size_t start = line.find_first_not_of(" \t");
    if (start == std::string::npos || line[start] == '#') continue;
    LineReader reader(line);
    RibRequest request;
    request.name = reader.word();
    EXPECT_FALSE(request.name.empty()) << line.substr(0, 80);
    while (!reader.atEnd()) {
      RibValue v;
      if (!reader.value(&v)) {
        ADD_FAILURE() << "unreadable RIB line: " << line.substr(0, 80);
        break;
      }
      request.args.push_back(std::move(v));
    }
    out.push_back(std::move(request));
  }
  return out;
}

std::vector<std::string> requestNames(const std::vector<RibRequest>& rib) {
  std::vector<std::string> names;
  for (const RibRequest& r : rib) names.push_back(r.name);
  return names;
}

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::string tempPath(const std::string& name) {
  static int counter = 0;
  return "/tmp/quorcard-render-" + std::to_string(getpid()) + "-" + std::to_string(++counter) + "-" + name;
}

std::string writePng(const std::string& path) {
  std::vector<unsigned char> pixels(4 * 3 * 4, 128);
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  image.width = 4;
  image.height = 3;
  image.format = PNG_FORMAT_RGBA;
  EXPECT_TRUE(png_image_write_to_file(&image, path.c_str(), 0, pixels.data(), 0, nullptr)) << image.message;
  return path;
}

std::string emitText(quorcard::QuorCard& card) {
  const std::string path = tempPath("emit.rib");
  EXPECT_EQ(QrBegin(path.c_str()), 0);
  card.emit();
  QrEnd();
  const std::string text = readFile(path);
  std::remove(path.c_str());
  return text;
}

std::vector<RibRequest> emitRib(quorcard::QuorCard& card) { return parseRib(emitText(card)); }

void expectConsistentMesh(const RibRequest& mesh) {
  ASSERT_EQ(mesh.name, "PatchMesh");
  ASSERT_GE(mesh.args.size(), 5u);
  const std::size_t nu = static_cast<std::size_t>(std::stoi(mesh.args[1].text));
  const std::size_t nv = static_cast<std::size_t>(std::stoi(mesh.args[3].text));
  EXPECT_EQ(mesh.param("P").items.size(), 3 * nu * nv);
  EXPECT_EQ(mesh.param("vertex float[2] st").items.size(), 2 * nu * nv);
}

void expectedSt(float u, float v, float a, float b, bool flip, bool flop, bool swap, float* s, float* t) {
  const float u1 = u + a;
  const float v1 = v + b;
  if (!swap) {
    *s = flip ? 1.0f - u1 : u1;
    *t = flop ? 1.0f - v1 : v1;
  } else {
    *s = flop ? 1.0f - v1 : v1;
    *t = flip ? 1.0f - u1 : u1;
  }
}

ExpectedMesh expectedBilinear(const quorcard::PointList& points, int nu, int nv, bool flip, bool flop, bool swap) {
  ExpectedMesh m;
  m.type = "bilinear";
  m.nu = nu;
  m.nv = nv;
  for (int j = 0; j < nv; ++j) {
    for (int i = 0; i < nu; ++i) {
      const quorcard::VtxPoint& p = points.at(static_cast<std::size_t>(j * nu + i));
      m.P.insert(m.P.end(), {p.pos[0], p.pos[1], p.pos[2]});
      float s, t;
      expectedSt(p.uv[0], p.uv[1], 0.0f, 0.0f, flip, flop, swap, &s, &t);
      m.st.insert(m.st.end(), {s, t});
    }
  }
  return m;
}

ExpectedMesh expectedBicubic(const quorcard::PointList& g, int nu, int nv, bool flip, bool flop, bool swap) {
  const float du = (1.0f / static_cast<float>(nu - 1)) / 3.0f;
  const float dv = (1.0f / static_cast<float>(nv - 1)) / 3.0f;
  enum Kind { PointRow, LowerRow, UpperRow };
  // Grid row and kind of every net row, top to bottom of the list.
  std::vector<std::pair<int, Kind>> rows;
  rows.push_back({0, PointRow});
  for (int j = 0; j < nv; ++j) {
    if (j > 0) rows.push_back({j, LowerRow});
    rows.push_back({j, PointRow});
    if (j < nv - 1) rows.push_back({j, UpperRow});
  }
  rows.push_back({nv - 1, PointRow});
  EXPECT_EQ(rows.size(), static_cast<std::size_t>(3 * nv));

  ExpectedMesh m;
  m.type = "bicubic";
  m.nu = 3 * nu;
  m.nv = 3 * nv;
  const auto at = [&](int index) -> const quorcard::VtxPoint& { return g.at(static_cast<std::size_t>(index)); };
  for (const auto& row : rows) {
    const int j = row.first;
    for (int c = 0; c < 3 * nu; ++c) {
      const int i = c / 3;
      const int part = c % 3;  // 0 left, 1 centre, 2 right
      const int k = j * nu + i;
      const quorcard::VtxPoint& p = at(k);
      Vec3 pos{};
      float a = 0.0f, b = 0.0f;
      if (row.second == PointRow) {
        if (part == 0 && i > 0) {
          pos = slot(p, 0);
          a = -du;
        } else if (part == 2 && i < nu - 1) {
          pos = slot(p, 2);
          a = du;
        } else {
          pos = vec(p.pos);
        }
      } else {
        const bool lower = row.second == LowerRow;
        const int h = lower ? 1 : 3;        // the handle slot of the row
        const int w = lower ? k - nu : k + nu;  // the vertical neighbour
        b = lower ? dv : -dv;
        if (part == 0 && i > 0) {
          pos = corner(p, h, at(k - 1), 0, at(w));
          a = -du;
        } else if (part == 2 && i < nu - 1) {
          pos = corner(p, h, at(k + 1), 2, at(w));
          a = du;
        } else {
          pos = slot(p, h);
        }
      }
      m.P.insert(m.P.end(), {pos.x, pos.y, pos.z});
      float s, t;
      expectedSt(p.uv[0], p.uv[1], a, b, flip, flop, swap, &s, &t);
      m.st.insert(m.st.end(), {s, t});
    }
  }
  return m;
}

void expectSameFloats(const std::vector<float>& expected, const std::vector<float>& actual, const char* what) {
  ASSERT_EQ(expected.size(), actual.size()) << what;
  int reported = 0;
  for (std::size_t i = 0; i < expected.size() && reported < 10; ++i) {
    if (std::memcmp(&expected[i], &actual[i], sizeof(float)) != 0) {
      ADD_FAILURE() << what << "[" << i << "]: expected " << expected[i] << ", got " << actual[i];
      ++reported;
    }
  }
}

void expectMesh(const ExpectedMesh& expected, const RibRequest& mesh) {
  ASSERT_EQ(mesh.name, "PatchMesh");
  ASSERT_EQ(mesh.args.size(), 9u);
  EXPECT_EQ(mesh.str(0), expected.type);
  EXPECT_EQ(mesh.args[1].text, std::to_string(expected.nu));
  EXPECT_EQ(mesh.str(2), "nonperiodic");
  EXPECT_EQ(mesh.args[3].text, std::to_string(expected.nv));
  EXPECT_EQ(mesh.str(4), "nonperiodic");
  EXPECT_EQ(mesh.str(5), "P");
  EXPECT_EQ(mesh.str(7), "vertex float[2] st");
  expectSameFloats(expected.P, mesh.floats(6), "P");
  expectSameFloats(expected.st, mesh.floats(8), "st");
}

}  // namespace rendertest

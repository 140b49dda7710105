#include "RenderTestSupport.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <sstream>

#include <gtest/gtest.h>

#include "Quor/Quor.h"
#include "TestSupport.h"

namespace rendertest {

std::vector<float> RibRequest::floats(std::size_t i) const {
  const std::string& arg = args.at(i);
  std::istringstream words(arg[0] == '[' ? arg.substr(1, arg.size() - 2) : arg);
  std::vector<float> out;
  for (std::string word; words >> word;) {
    char* end = nullptr;  // strtof: the nearest float (ERANGE for subnormals too)
    out.push_back(std::strtof(word.c_str(), &end));
    EXPECT_EQ(*end, '\0') << name << ": not a number: " << word;
  }
  return out;
}

Names RibRequest::texts() const {
  Names out;
  for (const std::string& arg : args) out.push_back(arg[0] == '"' ? arg.substr(1, arg.size() - 2) : arg);
  return out;
}

std::vector<RibRequest> parseRib(const std::string& text) {
  std::vector<RibRequest> out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    RibRequest r;
    if (!(std::istringstream(line) >> r.name) || r.name[0] == '#') continue;
    for (std::size_t i = line.find(r.name) + r.name.size(); i < line.size(); ++i) {
      if (line[i] == ' ' || line[i] == '\t') continue;
      // A string runs to its closing quote, an array to its bracket, a number to a space.
      const char close = line[i] == '"' ? '"' : (line[i] == '[' ? ']' : ' ');
      const std::size_t found = line.find(close, i + 1);
      EXPECT_TRUE(found != std::string::npos || close == ' ') << "unclosed " << close << ": " << line.substr(0, 80);
      const std::size_t end = found == std::string::npos ? line.size() : found + (close == ' ' ? 0 : 1);
      r.args.push_back(line.substr(i, end - i));
      i = end - 1;
    }
    out.push_back(std::move(r));
  }
  return out;
}

Names requestNames(const std::vector<RibRequest>& rib) {
  Names names;
  for (const RibRequest& r : rib) names.push_back(r.name);
  return names;
}

std::vector<RibRequest> emitRib(quorcard::QuorCard& card) {
  testsupport::TempDir dir;
  const std::string path = dir.file("card.rib");
  EXPECT_EQ(QrBegin(path.c_str()), 0);
  card.emit();
  QrEnd();
  return parseRib(testsupport::readFile(path));
}

RibRequest only(const std::vector<RibRequest>& rib, const std::string& name) {
  const Names names = requestNames(rib);
  EXPECT_EQ(std::count(names.begin(), names.end(), name), 1) << name;
  const auto at = std::find(names.begin(), names.end(), name);
  return at == names.end() ? RibRequest() : rib[static_cast<std::size_t>(at - names.begin())];
}

namespace {

// Coordinate a of handle `slot` of a point.
float handle(const quorcard::VtxPoint& p, int slot, int a) {
  return p.controlPoints.at(static_cast<std::size_t>(slot)).at(static_cast<std::size_t>(a));
}

// Vertex n of a net line (3 per grid point): -1 the handle before its point,
// 0 the point, +1 the handle after; at either end the outer one is the point.
int side(int n, int count) {
  const int part = n % 3 - 1, i = n / 3;
  return (part < 0 && i == 0) || (part > 0 && i == count - 1) ? 0 : part;
}

}  // namespace

Mesh expectedMesh(const quorcard::PointList& g, int nu, int nv, bool bicubic, bool flip, bool flop, bool swap) {
  Mesh m{bicubic ? "bicubic" : "bilinear", bicubic ? 3 * nu : nu, bicubic ? 3 * nv : nv, {}, {}};
  const float du = (1.0f / static_cast<float>(nu - 1)) / 3.0f, dv = (1.0f / static_cast<float>(nv - 1)) / 3.0f;
  for (int r = 0; r < m.nv; ++r) {
    for (int c = 0; c < m.nu; ++c) {
      const int x = bicubic ? side(c, nu) : 0, y = bicubic ? side(r, nv) : 0;
      const int k = (bicubic ? r / 3 : r) * nu + (bicubic ? c / 3 : c);
      const quorcard::VtxPoint& p = g.at(static_cast<std::size_t>(k));
      const int hs = x < 0 ? 0 : 2, vs = y < 0 ? 1 : 3;  // the slots left/right, down/up
      for (int a = 0; a < 3; ++a) {
        if (x == 0) {
          m.P.push_back(y == 0 ? p.pos[a] : handle(p, vs, a));
        } else if (y == 0) {
          m.P.push_back(handle(p, hs, a));
        } else {
          // Between handles: the mean of the points a third of the way from
          // this point's vertical handle to its horizontal neighbour's, and
          // from its horizontal handle to its vertical neighbour's.
          const float a0 = handle(p, vs, a), a1 = handle(g.at(static_cast<std::size_t>(k + x)), vs, a);
          const float b0 = handle(p, hs, a), b1 = handle(g.at(static_cast<std::size_t>(k + y * nu)), hs, a);
          m.P.push_back(((a1 - a0) / 3.0f + a0 + b0 + (b1 - b0) / 3.0f) * 0.5f);
        }
      }
      // v runs down the card: a handle above its point has the smaller v.
      float u = p.uv[0] + static_cast<float>(x) * du, v = p.uv[1] + static_cast<float>(-y) * dv;
      if (flip) u = 1.0f - u;
      if (flop) v = 1.0f - v;
      m.st.insert(m.st.end(), {swap ? v : u, swap ? u : v});
    }
  }
  return m;
}

void expectMesh(const Mesh& expected, const RibRequest& mesh) {
  ASSERT_EQ(mesh.name, "PatchMesh");
  EXPECT_EQ(mesh.texts(), (Names{expected.type, std::to_string(expected.nu), "nonperiodic", std::to_string(expected.nv),
                                 "nonperiodic", "P", mesh.args.at(6), "vertex float[2] st", mesh.args.at(8)}));
  for (std::size_t arg : {6, 8}) {
    const std::vector<float> got = mesh.floats(arg), &want = arg == 6 ? expected.P : expected.st;
    ASSERT_EQ(got.size(), want.size()) << mesh.args[arg - 1];
    for (std::size_t i = 0; i < want.size(); ++i)
      ASSERT_EQ(std::memcmp(&want[i], &got[i], sizeof(float)), 0)
          << mesh.args[arg - 1] << "[" << i << "]: expected " << want[i] << ", got " << got[i];
  }
}

}  // namespace rendertest

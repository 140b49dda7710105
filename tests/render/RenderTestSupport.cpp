#include "RenderTestSupport.h"

#include <algorithm>
#include <cstdlib>
#include <sstream>

#include "Quor/Quor.h"
#include "Quor/QuorPrimitive.h"

namespace rendertest {

std::vector<float> RibRequest::floats(std::size_t i) const {
  const std::string& arg = args.at(i);
  std::istringstream words(arg[0] == '[' ? arg.substr(1, arg.size() - 2) : arg);
  std::vector<float> out;
  for (std::string word; words >> word;) {
    char* end = nullptr;
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

std::vector<RibRequest> emitRib(Node* node) {
  QuorPrimitive* primitive = dynamic_cast<QuorPrimitive*>(node->op());
  EXPECT_NE(primitive, nullptr);
  testsupport::TempDir dir;
  const std::string path = dir.file("card.rib");
  EXPECT_EQ(QrBegin(path.c_str()), 0);
  if (primitive) primitive->emit();
  QrEnd();
  return parseRib(testsupport::readFile(path));
}

RibRequest only(const std::vector<RibRequest>& rib, const std::string& name) {
  const Names names = requestNames(rib);
  EXPECT_EQ(std::count(names.begin(), names.end(), name), 1) << name;
  const auto at = std::find(names.begin(), names.end(), name);
  return at == names.end() ? RibRequest() : rib[static_cast<std::size_t>(at - names.begin())];
}

cardtest::Values Mesh::position(int column, int row) const {
  const std::size_t at = 3 * (static_cast<std::size_t>(row) * nu + column);
  return cardtest::Values(P.begin() + at, P.begin() + at + 3);
}

cardtest::Values Mesh::texture(int column, int row) const {
  const std::size_t at = 2 * (static_cast<std::size_t>(row) * nu + column);
  return cardtest::Values(st.begin() + at, st.begin() + at + 2);
}

Mesh mesh(const RibRequest& r) {
  Mesh m;
  const Names t = r.texts();
  EXPECT_EQ(r.name, "PatchMesh");
  if (t.size() != 9) return m;
  EXPECT_EQ(Names({t[2], t[4], t[5], t[7]}), (Names{"nonperiodic", "nonperiodic", "P", "vertex float[2] st"}));
  m.type = t[0];
  m.nu = std::stoi(t[1]);
  m.nv = std::stoi(t[3]);
  m.P = r.floats(6);
  m.st = r.floats(8);
  EXPECT_EQ(m.P.size(), 3u * m.nu * m.nv);
  EXPECT_EQ(m.st.size(), 2u * m.nu * m.nv);
  if (m.P.size() != 3u * m.nu * m.nv || m.st.size() != 2u * m.nu * m.nv) m.nu = m.nv = 0;
  return m;
}

}  // namespace rendertest

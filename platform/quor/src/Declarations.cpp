#include "Declarations.h"

#include <cctype>
#include <cstring>

#include "RequestError.h"

namespace quor {
namespace {

// Array sizes beyond this are taken for a typing error rather than data.
constexpr long kMaxArraySize = 1L << 20;

struct Predeclared {
  const char* name;
  const char* declaration;  // "class type", parsed like an inline declaration
};

// The standard names of geometry, shader, light, camera and attribute
// parameters that may be used without an inline declaration.
const Predeclared kPredeclared[] = {
    {"P", "vertex point"},
    {"Pw", "vertex hpoint"},
    {"Pz", "vertex float"},
    {"N", "varying normal"},
    {"Np", "uniform normal"},
    {"Cs", "varying color"},
    {"Os", "varying color"},
    {"s", "varying float"},
    {"t", "varying float"},
    {"st", "varying float[2]"},
    {"width", "varying float"},
    {"constantwidth", "constant float"},
    {"Ka", "uniform float"},
    {"Kd", "uniform float"},
    {"Ks", "uniform float"},
    {"Kr", "uniform float"},
    {"roughness", "uniform float"},
    {"specularcolor", "uniform color"},
    {"texturename", "uniform string"},
    {"intensity", "uniform float"},
    {"lightcolor", "uniform color"},
    {"from", "uniform point"},
    {"to", "uniform point"},
    {"coneangle", "uniform float"},
    {"conedeltaangle", "uniform float"},
    {"beamdistribution", "uniform float"},
    {"mindistance", "uniform float"},
    {"maxdistance", "uniform float"},
    {"distance", "uniform float"},
    {"background", "uniform color"},
    {"amplitude", "uniform float"},
    {"fov", "uniform float"},
    {"origin", "uniform integer[2]"},
    {"doubleshaded", "uniform integer"},
    {"name", "uniform string"},
    {"shader", "uniform string"},
    {"texture", "uniform string"},
    {"archive", "uniform string"},
    {"procedural", "uniform string"},
    // Options, attributes and hider parameters that RIB files commonly carry.
    {"threads", "uniform integer"},
    {"bucketsize", "uniform integer[2]"},
    {"gridsize", "uniform integer"},
    {"texturememory", "uniform integer"},
    {"eyesplits", "uniform integer"},
    {"sphere", "uniform float"},
    {"coordinatesystem", "uniform string"},
    {"sense", "uniform string"},
    {"binary", "uniform integer"},
    {"jitter", "uniform integer"},
    {"depthfilter", "uniform string"},
};

struct Word {
  const char* name;
  int value;
};

const Word kClasses[] = {
    {"constant", static_cast<int>(StorageClass::Constant)},
    {"uniform", static_cast<int>(StorageClass::Uniform)},
    {"varying", static_cast<int>(StorageClass::Varying)},
    {"vertex", static_cast<int>(StorageClass::Vertex)},
    {"facevarying", static_cast<int>(StorageClass::FaceVarying)},
    {"facevertex", static_cast<int>(StorageClass::FaceVertex)},
};

struct TypeWord {
  const char* name;
  ValueKind kind;
  int components;
};

const TypeWord kTypes[] = {
    {"float", ValueKind::Float, 1},   {"integer", ValueKind::Integer, 1}, {"int", ValueKind::Integer, 1},
    {"string", ValueKind::String, 1}, {"point", ValueKind::Float, 3},     {"vector", ValueKind::Float, 3},
    {"normal", ValueKind::Float, 3},  {"color", ValueKind::Float, 3},     {"hpoint", ValueKind::Float, 4},
    {"matrix", ValueKind::Float, 16},
};

// A small cursor over the declaration text.
class Reader {
 public:
  explicit Reader(const char* text) : p_(text) {}
  void skipSpace() {
    while (std::isspace(static_cast<unsigned char>(*p_))) ++p_;
  }
  std::string letters() {
    const char* start = p_;
    while (std::isalpha(static_cast<unsigned char>(*p_))) ++p_;
    return std::string(start, p_);
  }
  std::string nonSpace() {
    const char* start = p_;
    while (*p_ && !std::isspace(static_cast<unsigned char>(*p_))) ++p_;
    return std::string(start, p_);
  }
  bool take(char c) {
    if (*p_ != c) return false;
    ++p_;
    return true;
  }
  long number() {
    long n = 0;
    if (!std::isdigit(static_cast<unsigned char>(*p_))) return -1;
    while (std::isdigit(static_cast<unsigned char>(*p_))) {
      n = n * 10 + (*p_++ - '0');
      if (n > kMaxArraySize) return -1;
    }
    return n;
  }
  bool atEnd() const { return *p_ == '\0'; }

 private:
  const char* p_;
};

[[noreturn]] void malformed(const char* token, const std::string& why) {
  throw RequestError("malformed declaration \"" + std::string(token) + "\": " + why);
}

Declaration parseInline(const char* token, const char* text) {
  Reader in(text);
  Declaration d;
  in.skipSpace();
  std::string word = in.letters();
  for (const Word& c : kClasses) {
    if (word == c.name) {
      d.storage = static_cast<StorageClass>(c.value);
      in.skipSpace();
      word = in.letters();
      break;
    }
  }
  const TypeWord* type = nullptr;
  for (const TypeWord& t : kTypes) {
    if (word == t.name) type = &t;
  }
  if (!type) malformed(token, word.empty() ? "no type" : "unknown type \"" + word + "\"");
  d.kind = type->kind;
  d.components = type->components;
  in.skipSpace();
  if (in.take('[')) {
    in.skipSpace();
    long n = in.number();
    in.skipSpace();
    if (n < 1 || !in.take(']')) malformed(token, "array size must be a whole number from 1 to 1048576");
    d.arraySize = static_cast<int>(n);
    in.skipSpace();
  }
  d.name = in.nonSpace();
  if (d.name.empty()) malformed(token, "no name");
  in.skipSpace();
  if (!in.atEnd()) malformed(token, "unexpected text after the name");
  return d;
}

}  // namespace

Declaration declarationOf(const char* token) {
  if (!token || !*token) throw RequestError("empty parameter token");
  const bool singleWord = std::strpbrk(token, " \t\n\r[") == nullptr;
  if (!singleWord) return parseInline(token, token);
  for (const Predeclared& p : kPredeclared) {
    if (std::strcmp(p.name, token) == 0) {
      const std::string full = std::string(p.declaration) + " " + token;
      return parseInline(token, full.c_str());
    }
  }
  throw RequestError("unknown parameter \"" + std::string(token) + "\"; declare it inline, e.g. \"uniform float " +
                     token + "\"");
}

}  // namespace quor

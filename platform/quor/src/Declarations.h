// Declarations of parameter tokens: the standard predeclared names and inline
// declarations of the form "[class] type[[n]] name".
#ifndef QUOR_SRC_DECLARATIONS_H
#define QUOR_SRC_DECLARATIONS_H

#include <string>

namespace quor {

enum class StorageClass { Constant, Uniform, Varying, Vertex, FaceVarying, FaceVertex };
enum class ValueKind { Float, Integer, String };

struct Declaration {
  StorageClass storage = StorageClass::Uniform;
  ValueKind kind = ValueKind::Float;
  int components = 1;  // values per element: point 3, hpoint 4, matrix 16, ...
  int arraySize = 1;   // the n of type[n]
  std::string name;

  int valuesPerItem() const { return components * arraySize; }
};

// The declaration of a token: a single word is looked up among the predeclared
// names, anything else is parsed as an inline declaration. Throws RequestError
// for an unknown name or a malformed declaration.
Declaration declarationOf(const char* token);

}  // namespace quor

#endif

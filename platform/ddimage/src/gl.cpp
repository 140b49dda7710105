#include "DDImage/gl.h"

#include <cstring>

namespace DD {
namespace Image {

void glColor(unsigned rgba) {
  glColor3ub(static_cast<GLubyte>(rgba >> 24), static_cast<GLubyte>(rgba >> 16), static_cast<GLubyte>(rgba >> 8));
}

void gl_text(const char* text) { gl_text(text, text ? static_cast<int>(std::strlen(text)) : 0); }

}  // namespace Image
}  // namespace DD

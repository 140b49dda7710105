// OpenGL for nodes that draw in the viewer, and the host's small GL helpers.
#ifndef DDImage_gl_h
#define DDImage_gl_h

#include <GL/gl.h>

namespace DD {
namespace Image {

// Sets the current colour from a packed 0xRRGGBBAA value; alpha is ignored.
void glColor(unsigned rgba);
// Draws text at the current raster position.
void gl_text(const char* text);
void gl_text(const char* text, int n);

}  // namespace Image
}  // namespace DD

#endif

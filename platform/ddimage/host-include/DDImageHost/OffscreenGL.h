// An OpenGL context that draws into a picture in memory: a pbuffer on EGL's
// surfaceless display, desktop OpenGL in the compatibility profile (immediate
// mode, selection mode). Needs no display server.
#ifndef DDImage_OffscreenGL_h
#define DDImage_OffscreenGL_h

#include <string>
#include <vector>

namespace DD {
namespace Image {

class OffscreenGL {
 public:
  // Makes the context and its surface of width x height pixels, with an
  // 8-bit stencil buffer or with none, a depth buffer and 8-bit RGBA. ok()
  // tells whether it worked; error() says why not.
  OffscreenGL(int width, int height, bool stencil);
  ~OffscreenGL();
  OffscreenGL(const OffscreenGL&) = delete;
  OffscreenGL& operator=(const OffscreenGL&) = delete;

  bool ok() const { return context_ != nullptr; }
  const std::string& error() const { return error_; }
  int width() const { return width_; }
  int height() const { return height_; }
  bool stencil() const { return stencil_; }

  // Makes this context current on the calling thread.
  bool makeCurrent();
  // What has been drawn, as 8-bit RGBA rows, top row first.
  std::vector<unsigned char> readPixels();

 private:
  int width_;
  int height_;
  bool stencil_;
  void* surface_ = nullptr;  // EGLSurface
  void* context_ = nullptr;  // EGLContext
  std::string error_;
};

// Opens the display that off-screen contexts use, if it is not open yet; it
// stays open for the life of the process. False, with a message, when there
// is none.
bool openOffscreenDisplay(std::string* error);

// What the current context has drawn into the lower-left width x height
// pixels of its read buffer, as 8-bit RGBA rows, top row first.
std::vector<unsigned char> readFramebuffer(int width, int height);
// The same rows as GL reads them, bottom row first.
std::vector<unsigned char> readFramebufferRows(int width, int height);
// Rows of 8-bit RGBA in the other order (bottom first to top first, or back).
std::vector<unsigned char> flipRows(const std::vector<unsigned char>& rgba, int width, int height);

// Images keep their GL textures in the share group of the off-screen
// contexts. A host that draws in a context outside that group (a window's)
// calls this when it starts drawing there and again when it stops: every
// image then makes its texture anew in the context current at its next use.
void forgetTextures();

// Writes 8-bit RGBA rows, top row first, as a PNG file. False, with a
// message in `error`, when the file cannot be written.
bool writePng(const std::string& path, int width, int height, const std::vector<unsigned char>& rgba,
              std::string* error);

}  // namespace Image
}  // namespace DD

#endif

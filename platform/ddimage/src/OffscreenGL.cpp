#include "DDImageHost/OffscreenGL.h"

#include <EGL/egl.h>
#include <EGL/eglext.h>
#include <GL/gl.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "DDImageHost/ImageFiles.h"

namespace DD {
namespace Image {

namespace {

std::string eglErrorText(const char* what) {
  char buffer[96];
  std::snprintf(buffer, sizeof buffer, "%s failed (EGL error 0x%04X)", what, static_cast<unsigned>(eglGetError()));
  return buffer;
}

// The surfaceless display, initialised once and kept for the life of the
// process: every context of the process shares it. So does one context that
// is never made current: all contexts join its share group, so that texture
// names that nodes keep stay valid when a viewer makes a new context.
struct Display {
  EGLDisplay display = EGL_NO_DISPLAY;
  EGLContext shareGroup = EGL_NO_CONTEXT;
  // Contexts are made without error checking where the driver offers it:
  // nothing here reads GL errors, and the checks take a sizeable share of
  // drawing a dense card one primitive at a time. Every context of the share
  // group is made alike.
  bool noError = false;
  std::string error;

  Display() {
    auto getPlatformDisplay =
        reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(eglGetProcAddress("eglGetPlatformDisplayEXT"));
    if (!getPlatformDisplay) {
      error = "EGL has no eglGetPlatformDisplayEXT";
      return;
    }
    EGLDisplay d = getPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
    if (d == EGL_NO_DISPLAY) {
      error = eglErrorText("opening the surfaceless EGL display");
      return;
    }
    if (!eglInitialize(d, nullptr, nullptr)) {
      error = eglErrorText("eglInitialize");
      return;
    }
    display = d;
    const char* extensions = eglQueryString(d, EGL_EXTENSIONS);
    noError = extensions && std::strstr(extensions, "EGL_KHR_create_context_no_error") != nullptr;
  }

  // The share-group context goes before the process exits, so that the
  // driver joins its rasterizer threads while the program still runs instead
  // of leaving them alive while exit handlers (the leak checker's among them)
  // walk the threads. The display itself stays initialised: terminating it
  // would unload the driver with its process-wide caches still allocated.
  ~Display() {
    if (display != EGL_NO_DISPLAY && shareGroup != EGL_NO_CONTEXT) eglDestroyContext(display, shareGroup);
  }
};

Display& sharedDisplay() {
  static Display d;
  return d;
}

// A pbuffer-capable desktop-GL config with 8-bit RGBA, a depth buffer and
// either an 8-bit stencil buffer or none at all.
bool chooseConfig(EGLDisplay display, bool stencil, EGLConfig* out) {
  const EGLint attributes[] = {EGL_SURFACE_TYPE,
                               EGL_PBUFFER_BIT,
                               EGL_RENDERABLE_TYPE,
                               EGL_OPENGL_BIT,
                               EGL_RED_SIZE,
                               8,
                               EGL_GREEN_SIZE,
                               8,
                               EGL_BLUE_SIZE,
                               8,
                               EGL_ALPHA_SIZE,
                               8,
                               EGL_DEPTH_SIZE,
                               16,
                               EGL_STENCIL_SIZE,
                               stencil ? 8 : 0,
                               EGL_NONE};
  EGLint count = 0;
  if (!eglChooseConfig(display, attributes, nullptr, 0, &count) || count <= 0) return false;
  std::vector<EGLConfig> configs(static_cast<size_t>(count));
  if (!eglChooseConfig(display, attributes, configs.data(), count, &count)) return false;
  for (EGLint i = 0; i < count; ++i) {
    EGLint stencilBits = 0, samples = 0;
    eglGetConfigAttrib(display, configs[i], EGL_STENCIL_SIZE, &stencilBits);
    eglGetConfigAttrib(display, configs[i], EGL_SAMPLES, &samples);
    // The minimum of 0 stencil bits also matches configs that have some.
    if (samples == 0 && (stencil ? stencilBits >= 8 : stencilBits == 0)) {
      *out = configs[i];
      return true;
    }
  }
  return false;
}

// A compatibility-profile context in `share`'s group. Without error checking
// while the display offers it; a driver that refuses such a context gets a
// checked one, and so does every later context, to keep the group alike.
EGLContext createContext(Display& d, EGLConfig config, EGLContext share) {
  EGLint attributes[] = {EGL_CONTEXT_OPENGL_PROFILE_MASK, EGL_CONTEXT_OPENGL_COMPATIBILITY_PROFILE_BIT,
                         EGL_CONTEXT_OPENGL_NO_ERROR_KHR, EGL_TRUE, EGL_NONE};
  if (d.noError) {
    EGLContext context = eglCreateContext(d.display, config, share, attributes);
    if (context != EGL_NO_CONTEXT) return context;
    d.noError = false;
  }
  attributes[2] = EGL_NONE;
  return eglCreateContext(d.display, config, share, attributes);
}

}  // namespace

bool openOffscreenDisplay(std::string* error) {
  const Display& d = sharedDisplay();
  if (d.display == EGL_NO_DISPLAY && error) *error = d.error;
  return d.display != EGL_NO_DISPLAY;
}

OffscreenGL::OffscreenGL(int width, int height, bool stencil) : width_(width), height_(height), stencil_(stencil) {
  if (width <= 0 || height <= 0) {
    error_ = "the picture size must be positive";
    return;
  }
  Display& d = sharedDisplay();
  if (d.display == EGL_NO_DISPLAY) {
    error_ = d.error;
    return;
  }
  EGLConfig config;
  if (!chooseConfig(d.display, stencil, &config)) {
    error_ = stencil ? "no EGL config with a stencil buffer" : "no EGL config without a stencil buffer";
    return;
  }
  const EGLint size[] = {EGL_WIDTH, width, EGL_HEIGHT, height, EGL_NONE};
  EGLSurface surface = eglCreatePbufferSurface(d.display, config, size);
  if (surface == EGL_NO_SURFACE) {
    error_ = eglErrorText("eglCreatePbufferSurface");
    return;
  }
  if (!eglBindAPI(EGL_OPENGL_API)) {
    error_ = eglErrorText("eglBindAPI(EGL_OPENGL_API)");
    eglDestroySurface(d.display, surface);
    return;
  }
  if (d.shareGroup == EGL_NO_CONTEXT) d.shareGroup = createContext(d, config, EGL_NO_CONTEXT);
  EGLContext context = createContext(d, config, d.shareGroup);
  if (context == EGL_NO_CONTEXT && d.shareGroup != EGL_NO_CONTEXT) context = createContext(d, config, EGL_NO_CONTEXT);
  if (context == EGL_NO_CONTEXT) {
    error_ = eglErrorText("eglCreateContext");
    eglDestroySurface(d.display, surface);
    return;
  }
  surface_ = surface;
  context_ = context;
  if (!makeCurrent()) {
    eglDestroyContext(d.display, context);
    eglDestroySurface(d.display, surface);
    surface_ = context_ = nullptr;
  }
}

OffscreenGL::~OffscreenGL() {
  if (!context_) return;
  EGLDisplay display = sharedDisplay().display;
  if (eglGetCurrentContext() == static_cast<EGLContext>(context_))
    eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
  eglDestroyContext(display, static_cast<EGLContext>(context_));
  eglDestroySurface(display, static_cast<EGLSurface>(surface_));
}

bool OffscreenGL::makeCurrent() {
  if (!surface_ || !context_) return false;
  EGLSurface surface = static_cast<EGLSurface>(surface_);
  if (!eglMakeCurrent(sharedDisplay().display, surface, surface, static_cast<EGLContext>(context_))) {
    error_ = eglErrorText("eglMakeCurrent");
    return false;
  }
  return true;
}

std::vector<unsigned char> OffscreenGL::readPixels() {
  if (!makeCurrent()) return std::vector<unsigned char>();
  return readFramebuffer(width_, height_);
}

std::vector<unsigned char> readFramebuffer(int width, int height) {
  return flipRows(readFramebufferRows(width, height), width, height);
}

std::vector<unsigned char> readFramebufferRows(int width, int height) {
  std::vector<unsigned char> rows;
  if (width <= 0 || height <= 0) return rows;
  rows.resize(static_cast<size_t>(width) * 4 * static_cast<size_t>(height));
  glFinish();
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, rows.data());
  return rows;
}

std::vector<unsigned char> flipRows(const std::vector<unsigned char>& rgba, int width, int height) {
  const size_t stride = static_cast<size_t>(std::max(width, 0)) * 4;
  std::vector<unsigned char> flipped(rgba.size());
  if (height <= 0 || rgba.size() != stride * static_cast<size_t>(height)) return flipped;
  for (int y = 0; y < height; ++y)
    std::memcpy(&flipped[static_cast<size_t>(y) * stride], &rgba[static_cast<size_t>(height - 1 - y) * stride], stride);
  return flipped;
}

bool writePng(const std::string& path, int width, int height, const std::vector<unsigned char>& rgba,
              std::string* error) {
  if (width <= 0 || height <= 0 || rgba.size() != static_cast<size_t>(width) * static_cast<size_t>(height) * 4) {
    if (error) *error = "no picture to write to " + path;
    return false;
  }
  // The values go to the file as they are: colour not premultiplied.
  std::string why;
  if (!writeImageFile(path, "png", width, height, rgba.data(), true, why)) {
    if (error) *error = "cannot write " + path + ": " + why;
    return false;
  }
  return true;
}

}  // namespace Image
}  // namespace DD

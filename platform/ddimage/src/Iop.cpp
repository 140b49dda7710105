#include "DDImage/Iop.h"

#include "DDImage/gl.h"
#include "DDImageHost/OffscreenGL.h"

namespace DD {
namespace Image {

namespace {
// Counts the times a host moved its drawing to another share group.
unsigned& textureGeneration() {
  static unsigned generation = 0;
  return generation;
}
}  // namespace

void forgetTextures() { ++textureGeneration(); }

Iop::~Iop() {}

void Iop::setImage(int width, int height, std::vector<unsigned char> rgbaBottomUp) {
  format_ = Format(width, height);
  pixels_ = std::move(rgbaBottomUp);
  textureDirty_ = true;
}

void Iop::clearImage() {
  format_ = Format();
  pixels_.clear();
  textureDirty_ = true;
}

bool Iop::set_texturemap(ViewerContext*, bool gl) {
  if (!gl || pixels_.empty()) return false;
  // An image wider or taller than a texture may be is drawn untextured, as
  // a refused texture would leave it; the viewer's contexts do not check
  // the sizes they are given.
  GLint most = 0;
  glGetIntegerv(GL_MAX_TEXTURE_SIZE, &most);
  if (format_.width() > most || format_.height() > most) return false;
  if (textureGeneration_ != textureGeneration()) {
    // The name belongs to a share group that the current context is not
    // in; it is not ours to delete here.
    texture_ = 0;
    textureDirty_ = true;
    textureGeneration_ = textureGeneration();
  }
  if (!texture_) glGenTextures(1, &texture_);
  glBindTexture(GL_TEXTURE_2D, texture_);
  if (textureDirty_) {
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, format_.width(), format_.height(), 0, GL_RGBA, GL_UNSIGNED_BYTE,
                 pixels_.data());
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    textureDirty_ = false;
  }
  glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
  glEnable(GL_TEXTURE_2D);
  return true;
}

void Iop::unset_texturemap(ViewerContext*) {
  glDisable(GL_TEXTURE_2D);
  glBindTexture(GL_TEXTURE_2D, 0);
}

}  // namespace Image
}  // namespace DD

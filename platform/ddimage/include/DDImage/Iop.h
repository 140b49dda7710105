// Iop: an operator whose output is an image.
#ifndef DDImage_Iop_h
#define DDImage_Iop_h

#include <vector>

#include "DDImage/Format.h"
#include "DDImage/Op.h"

namespace DD {
namespace Image {

class Iop : public Op {
 public:
  ~Iop() override;
  const Format& format() const { return format_; }
  // Makes the image the current GL texture (GL_TEXTURE_2D enabled).
  // False when there is no image to bind.
  virtual bool set_texturemap(ViewerContext*, bool gl = true);
  virtual void unset_texturemap(ViewerContext*);

  // The image as 8-bit RGBA rows, bottom row first as GL takes it.
  const std::vector<unsigned char>& pixels() const { return pixels_; }

 protected:
  explicit Iop(Node* node) : Op(node) {}
  void setImage(int width, int height, std::vector<unsigned char> rgbaBottomUp);
  void clearImage();

 private:
  Format format_;
  std::vector<unsigned char> pixels_;
  unsigned texture_ = 0;
  bool textureDirty_ = true;
  // The host's count of share-group changes when texture_ was made.
  unsigned textureGeneration_ = 0;
};

}  // namespace Image
}  // namespace DD

#endif

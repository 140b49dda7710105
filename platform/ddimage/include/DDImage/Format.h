#ifndef DDImage_Format_h
#define DDImage_Format_h

namespace DD {
namespace Image {

class Format {
 public:
  Format() {}
  Format(int w, int h, double pixelAspect = 1.0) : w_(w), h_(h), pa_(pixelAspect) {}
  int width() const { return w_; }
  int height() const { return h_; }
  double pixel_aspect() const { return pa_; }

 private:
  int w_ = 0;
  int h_ = 0;
  double pa_ = 1.0;
};

}  // namespace Image
}  // namespace DD

#endif

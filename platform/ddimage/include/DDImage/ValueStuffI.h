#ifndef DDImage_ValueStuffI_h
#define DDImage_ValueStuffI_h

namespace DD {
namespace Image {

// Numeric access to a knob's channels.
class ValueStuffI {
 public:
  virtual ~ValueStuffI() {}
  // Channel -1 sets every channel. Answers false when nothing could be set.
  virtual bool set_value(double v, int channel = -1) = 0;
  virtual double get_value(int channel = 0) const = 0;
};

}  // namespace Image
}  // namespace DD

#endif

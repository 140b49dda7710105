// The host's own knob kinds: one class that keeps the value of any stock
// kind (numbers, positions, texts, enumerations, buttons, layout knobs).
#ifndef DDIMAGE_SRC_STOCKKNOB_H
#define DDIMAGE_SRC_STOCKKNOB_H

#include <memory>
#include <string>
#include <vector>

#include "DDImage/Knobs.h"

namespace DD {
namespace Image {

class StockKnob : public Knob {
 public:
  StockKnob(Knob_Closure* f, int kind, const char* name, const char* label, const void* extra);

  const char* Class() const override;
  int kind() const override { return kind_; }

  const char* get_text(const OutputContext* = nullptr) const override;
  bool set_text(const char* text) override;
  std::string valueText() const override;
  bool set_value(double v, int channel = -1) override;
  double get_value(int channel = 0) const override;
  int channels() const override { return channels_; }
  bool notDefault() const override;
  bool hasValue() const override;

  bool build_handle(ViewerContext*) override;
  void draw_handle(ViewerContext*) override;

  // Value transfer between the knob and a bound member. A text is written
  // into a member only when it changed since this knob last wrote it there,
  // so that the store pass of every knob change does not copy long texts
  // that stayed the same.
  void readFrom(StoreType s, const void* p);  // take the member's value
  void storeTo(StoreType s, void* p);         // write the value into the member
  void captureDefault();

  void setRange(double lo, double hi);
  bool hasRange() const { return more_ && more_->hasRange; }
  double rangeMin() const { return more_ ? more_->rangeMin : 0; }
  double rangeMax() const { return more_ ? more_->rangeMax : 0; }
  const std::vector<std::string>& items() const;
  const std::string& extraText() const;
  // Layout argument of tabs and spacers.
  long layoutValue() const { return more_ ? more_->layout : 0; }
  bool isText() const { return kind_ == STRING_KNOB || kind_ == FILE_KNOB; }
  unsigned long long textStamp() const { return isText() ? more_->textVersion : 0; }

 private:
  static constexpr int kMostChannels = 3;

  // What only some knobs hold: the texts of text kinds, enumeration items,
  // the script or text of buttons and labels, the layout value of tabs and
  // spacers, and a range. Made for the kinds that use it and by setRange,
  // so that the many position knobs of a node carry none of it.
  struct More {
    std::string text;
    bool textHoldsNul = false;  // a NUL inside text (only a member's text can hold one)
    std::string defaultText;
    // The stamp of the text's last assignment (see textStamp; 0 before the
    // first). storedTo is the member that text was last written into, at
    // the stamp storedVersion.
    unsigned long long textVersion = 0;
    const void* storedTo = nullptr;
    unsigned long long storedVersion = 0;
    std::vector<std::string> items;
    std::string extraText;
    long layout = 0;
    bool hasRange = false;
    double rangeMin = 0, rangeMax = 0;
  };
  More& more();
  double clamp(double v) const;
  bool isFloat() const;

  int kind_;
  int channels_;
  double values_[kMostChannels] = {0, 0, 0};
  double defaults_[kMostChannels] = {0, 0, 0};
  std::unique_ptr<More> more_;
};

// Writes a number so that it reads back to the same value: a float knob's
// value as the shortest text of its float.
std::string formatNumber(double v);
std::string formatNumber(float v);

}  // namespace Image
}  // namespace DD

#endif

// The host's own knob kinds: one class that keeps the value of any stock
// kind (numbers, positions, texts, enumerations, buttons, layout knobs).
#ifndef DDIMAGE_SRC_STOCKKNOB_H
#define DDIMAGE_SRC_STOCKKNOB_H

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
  int channels() const override { return static_cast<int>(values_.size()); }
  bool notDefault() const override;
  bool hasValue() const override;

  bool build_handle(ViewerContext*) override;
  void draw_handle(ViewerContext*) override;

  // Value transfer between the knob and a bound member. A text is written
  // into a member only when it changed since this knob last wrote it there,
  // so that the store pass of every knob change does not copy long texts
  // that stayed the same.
  void readFrom(StoreType s, const void* p);   // take the member's value
  void storeTo(StoreType s, void* p);          // write the value into the member
  void captureDefault();

  void setRange(double lo, double hi) {
    rangeMin_ = lo;
    rangeMax_ = hi;
    hasRange_ = true;
  }
  bool hasRange() const { return hasRange_; }
  double rangeMin() const { return rangeMin_; }
  double rangeMax() const { return rangeMax_; }
  const std::vector<std::string>& items() const { return items_; }
  const std::string& extraText() const { return extraText_; }
  // Layout argument of tabs and spacers.
  long layoutValue() const { return layout_; }
  bool isText() const { return kind_ == STRING_KNOB || kind_ == FILE_KNOB; }

 private:
  double clamp(double v) const;

  int kind_;
  std::vector<double> values_;
  std::vector<double> defaults_;
  std::string text_;
  // Counts the changes of text_. storedTo_ is the member that text_ was
  // last written into, at text version storedVersion_.
  unsigned long textVersion_ = 0;
  const void* storedTo_ = nullptr;
  unsigned long storedVersion_ = 0;
  std::string defaultText_;
  std::vector<std::string> items_;
  std::string extraText_;
  long layout_ = 0;
  bool hasRange_ = false;
  double rangeMin_ = 0, rangeMax_ = 0;
};

// Parses a decimal number the way a script writes it ("1", "-0.5", "1e3").
bool parseNumber(const std::string& text, double* out);
// Writes a number so that it reads back to the same value: a float knob's
// value as the shortest text of its float.
std::string formatNumber(double v);
std::string formatNumber(float v);

}  // namespace Image
}  // namespace DD

#endif

// The knob closure and the functions that declare knobs through it.
#ifndef DDImage_Knobs_h
#define DDImage_Knobs_h

#include <string>

#include "DDImage/Knob.h"

namespace DD {
namespace Image {

enum {
  STRING_KNOB = 1,
  FILE_KNOB = 2,
  INT_KNOB = 3,
  ENUMERATION_KNOB = 4,
  BOOL_KNOB = 6,
  DOUBLE_KNOB = 7,
  FLOAT_KNOB = 8,
  XY_KNOB = 12,
  XYZ_KNOB = 13,
  COLOR_KNOB = 18,
  TAB_KNOB = 20,
  CUSTOM_KNOB = 21,
  PYSCRIPT_KNOB = 22,
  SPACER_KNOB = 25,
  TEXT_KNOB = 26,
  AXIS_KNOB = 29,
  SCRIPT_KNOB = 32,
};

enum StoreType {
  DoublePtr,
  FloatPtr,
  StringPtr,
  IntPtr,
  UnsignedIntPtr,
  BoolPtr,
  ConvolveArrayPtr,
  ChannelSetPtr,
  ChannelPtr,
  FormatPairPtr,
  MatrixPtr,
  LookupCurvesPtr,
  IntSetPtr,
  IntIntMapPtr,
  IntPairPtr,
  StringVecVecPtr,
  StlStringPtr,
  StlStringIntPairPtr,
  StlStringVecPtr,
  Custom
};

typedef const char* NAME;
typedef const char* LABEL;
typedef const char* const* ENUM_LABELS;

// The label that hides a knob while it is still saved.
extern const char INVISIBLE[];

// One pass over a node's knob declarations. A making closure creates the
// knobs; a storing closure copies their values into the bound members.
class Knob_Closure {
 public:
  explicit Knob_Closure(bool makeKnobs = false) : makeKnobs_(makeKnobs) {}
  virtual ~Knob_Closure() {}
  Knob* operator()(int type, StoreType s, void* p, const char* name, const char* label = nullptr,
                   const void* extra = nullptr) {
    return call(type, s, p, name, label, extra);
  }
  bool makeKnobs() const { return makeKnobs_; }
  virtual bool filter(const char*) const { return true; }
  void setLastMadeKnob(Knob* k) { lastMade_ = k; }
  Knob* getLastMadeKnob() const { return lastMade_; }
  // How many knobs this closure has made so far.
  int knobsMade() const { return made_; }

 protected:
  void countMade() { ++made_; }

 private:
  virtual Knob* call(int type, StoreType, void* p, const char* name, const char* label, const void* extra) = 0;
  bool makeKnobs_;
  Knob* lastMade_ = nullptr;
  int made_ = 0;
};

typedef Knob_Closure& Knob_Callback;

void SetFlags(Knob_Callback f, Knob::FlagMask flags);
void ClearFlags(Knob_Callback f, Knob::FlagMask flags);
void SetRange(Knob_Callback f, double minimum, double maximum);
void Tooltip(Knob_Callback f, const char* text);
void Tooltip(Knob_Callback f, const std::string& text);

inline Knob* Bool_knob(Knob_Callback f, bool* p, NAME n, LABEL l = nullptr) { return f(BOOL_KNOB, BoolPtr, p, n, l); }
inline Knob* Int_knob(Knob_Callback f, int* p, NAME n, LABEL l = nullptr) { return f(INT_KNOB, IntPtr, p, n, l); }
inline Knob* Float_knob(Knob_Callback f, float* p, NAME n, LABEL l = nullptr) {
  return f(FLOAT_KNOB, FloatPtr, p, n, l);
}
inline Knob* Double_knob(Knob_Callback f, double* p, NAME n, LABEL l = nullptr) {
  return f(DOUBLE_KNOB, DoublePtr, p, n, l);
}
inline Knob* String_knob(Knob_Callback f, std::string* p, NAME n, LABEL l = nullptr) {
  return f(STRING_KNOB, StlStringPtr, p, n, l);
}
inline Knob* File_knob(Knob_Callback f, std::string* p, NAME n, LABEL l = nullptr) {
  return f(FILE_KNOB, StlStringPtr, p, n, l);
}
inline Knob* Enumeration_knob(Knob_Callback f, int* p, ENUM_LABELS e, NAME n, LABEL l = nullptr) {
  return f(ENUMERATION_KNOB, IntPtr, p, n, l, e);
}
inline Knob* XYZ_knob(Knob_Callback f, float* p, NAME n, LABEL l = nullptr, Knob* = nullptr) {
  return f(XYZ_KNOB, FloatPtr, p, n, l);
}
inline Knob* Tab_knob(Knob_Callback f, LABEL l) { return f(TAB_KNOB, Custom, nullptr, nullptr, l, nullptr); }
inline Knob* BeginClosedGroup(Knob_Callback f, NAME n, LABEL l = nullptr) {
  return f(TAB_KNOB, Custom, nullptr, n, l, reinterpret_cast<const void*>(2));
}
inline Knob* EndGroup(Knob_Callback f) {
  return f(TAB_KNOB, Custom, nullptr, nullptr, nullptr, reinterpret_cast<const void*>(-1));
}
inline Knob* Text_knob(Knob_Callback f, LABEL text) { return f(TEXT_KNOB, Custom, nullptr, nullptr, nullptr, text); }
inline Knob* Text_knob(Knob_Callback f, LABEL label, LABEL text) {
  return f(TEXT_KNOB, Custom, nullptr, nullptr, label, text);
}
inline Knob* Divider(Knob_Callback f, LABEL l = nullptr) { return f(TEXT_KNOB, Custom, nullptr, nullptr, l, nullptr); }
inline Knob* Spacer(Knob_Callback f, int px) {
  return f(SPACER_KNOB, Custom, nullptr, nullptr, nullptr, reinterpret_cast<const void*>(static_cast<long>(px)));
}
inline Knob* Button(Knob_Callback f, NAME n, LABEL l = nullptr) {
  return f(SCRIPT_KNOB, Custom, nullptr, n, l, nullptr);
}
inline Knob* PyScript_knob(Knob_Callback f, NAME command, NAME n, LABEL l = nullptr) {
  return f(PYSCRIPT_KNOB, Custom, nullptr, n, l, command);
}

}  // namespace Image
}  // namespace DD

#define CustomKnob1(cls, f, ptr, name)                                 \
  (f)(DD::Image::CUSTOM_KNOB, DD::Image::Custom, ptr, name, nullptr,   \
      ((f).makeKnobs() && (f).filter(name)) ? new cls(&(f), ptr, name) \
                                            : ((f).setLastMadeKnob(nullptr), (cls*)nullptr))

#endif

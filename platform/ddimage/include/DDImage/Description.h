#ifndef DDImage_Description_h
#define DDImage_Description_h

namespace DD {
namespace Image {

class License;

// Base of the static records by which plug-ins register their classes.
class Description {
 public:
  const char* compiled = __DATE__ " " __TIME__;
  // The full path of the plug-in file being loaded when the record was made
  // (set by the host); null for classes built into the host.
  const char* plugin = nullptr;
  License* license = nullptr;
};

}  // namespace Image
}  // namespace DD

#endif

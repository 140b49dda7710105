#ifndef DDIMAGE_SRC_PLUGINLOADING_H
#define DDIMAGE_SRC_PLUGINLOADING_H

#include <string>

namespace DD {
namespace Image {

// The full path of the plug-in file the host is loading now; empty outside
// a load. Descriptions constructed during a load record it.
const std::string& pluginBeingLoaded();

}  // namespace Image
}  // namespace DD

#endif

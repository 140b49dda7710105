// Renders one frame into its picture file.
#ifndef QUOR_RENDER_RENDERER_H
#define QUOR_RENDER_RENDERER_H

#include <functional>
#include <string>

#include "render/Frame.h"
#include "render/Request.h"

namespace quor {
namespace render {

// The format of a picture file: by the display type ("tiff", "png",
// "openexr"), or for "file" by the name's extension (.tif, .tiff, .png,
// .exr, in any case). False, with the reason, when it cannot be told.
bool pictureFormatFor(const std::string& name, const std::string& type, PictureFormat& format, std::string& why);

// The picture of a frame, as floats: premultiplied RGBA, rows top first,
// after filtering and before exposure and quantization.
struct FloatPicture {
  int width = 0, height = 0;
  std::vector<float> rgba;
};

// Told how much of a frame's picture is done (0 to 1) as its tiles are
// finished, one call at a time from any of the rendering threads; answering
// false stops the frame, which then has no picture.
using Progress = std::function<bool(float done)>;

// Renders the frame into `picture`. Problems that still leave a picture
// (a texture that cannot be read) are reported as warnings; false, after
// reporting an error, when there is no picture.
// Stopped by `progress`, it answers false and reports nothing.
bool renderPicture(const FrameScene& scene, FloatPicture& picture, const ReportFunction& report,
                   const Progress& progress = nullptr);

// Renders the frame and writes its picture into the Display's file, or into
// `outputOverride` when that is not empty. The file is written under a
// temporary name and renamed into place, so it is either complete or
// absent. False, after reporting an error, when no picture was written.
bool renderFrame(const FrameScene& scene, const std::string& outputOverride, const ReportFunction& report,
                 const Progress& progress = nullptr);

// Applies exposure and quantization and writes the picture; the format
// from the name (and display type). False, after reporting, on failure.
bool writePicture(const FloatPicture& picture, const PictureOptions& options, const std::string& name,
                  const std::string& displayType, const ReportFunction& report);

}  // namespace render
}  // namespace quor

#endif

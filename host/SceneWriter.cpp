#include "SceneWriter.h"

#include <cmath>
#include <filesystem>
#include <sstream>

#include <DDImage/Iop.h>
#include <Quor/Quor.h>
#include <Quor/QuorPrimitive.h>

#include "HostError.h"
#include "Text.h"

namespace quorhost {

using DD::Image::Iop;

std::string textureName(const std::string& imageFile) {
  return std::filesystem::path(imageFile).replace_extension(".tex").string();
}

namespace {

const double kPi = 3.14159265358979323846;

// The file an image node reads, from its knob "file"; empty when it has none.
std::string imageFile(const Node& node) {
  const DD::Image::Knob* k = node.knob("file");
  const char* text = k ? k->get_text() : nullptr;
  return text ? text : "";
}

void writeCamera(const DD::Image::Camera& camera, const std::string& picture) {
  QrDisplay(picture.c_str(), "file", "rgba", QR_NULL);
  QrFormat(camera.width, camera.height, 1.0f);
  // The renderer's field of view spans the shorter side of the picture, the
  // viewer's always its height: for a picture taller than wide, give the
  // renderer the horizontal angle that goes with the viewer's vertical one.
  float fov = camera.fovY;
  if (camera.width < camera.height) {
    const double halfHeight = std::tan(camera.fovY * kPi / 360.0);
    fov = static_cast<float>(std::atan(halfHeight * camera.width / camera.height) * 360.0 / kPi);
  }
  QrProjection("perspective", "fov", static_cast<QtPointer>(&fov), QR_NULL);
  std::ostringstream distance;
  distance << camera.distance;
  QrComment(("Camera at (0, 0, " + distance.str() + ") looking down -z, as in the viewer. The renderer's").c_str());
  QrComment("camera space is left-handed and looks down +z: world points are first moved along z");
  QrComment(("by -" + distance.str() + " (Translate), then z is mirrored (Scale 1 1 -1), which turns the viewer's").c_str());
  QrComment("right-handed eye space into the renderer's camera space.");
  QrScale(1.0f, 1.0f, -1.0f);
  QrTranslate(0.0f, 0.0f, -camera.distance);
  if (!camera.straight()) {
    // A camera turned in the window looks at its target from `distance`:
    // world points are moved by the target, then turned back by the yaw and
    // the pitch.
    QrComment("The viewer's camera is turned: its yaw about y, then its pitch, undone; its target moved to the origin.");
    QrRotate(-camera.pitch, 1.0f, 0.0f, 0.0f);
    QrRotate(-camera.yaw, 0.0f, 1.0f, 0.0f);
    QrTranslate(-camera.target.x, -camera.target.y, -camera.target.z);
  }
}

void writeLight(const DD::Image::Camera& camera) {
  // One light, shining from the camera along its view onto the scene.
  float intensity = 1.0f;
  float from[3] = {0.0f, 0.0f, 0.0f};
  float to[3] = {0.0f, 0.0f, -1.0f};
  if (!camera.straight()) {
    const DD::Image::Vector3 back = camera.back();
    for (int i = 0; i < 3; ++i) to[i] = -back[i];
  }
  QrLightSource("distantlight", "intensity", static_cast<QtPointer>(&intensity), "from",
                static_cast<QtPointer>(from), "to", static_cast<QtPointer>(to), QR_NULL);
}

// The archive that primitives read for an image input, named by the decimal
// text of the image node's hash: the surface textured with its image.
void writeImageArchive(const Node& node, const Iop& iop) {
  const std::string name = std::to_string(iop.hash().value());
  const std::string file = imageFile(node);
  QrComment(("Image of " + node.name()).c_str());
  QrArchiveBegin(name.c_str(), QR_NULL);
  if (file.empty() || iop.format().width() <= 0) {
    QrComment("No image: a plain surface.");
    QrSurface("plastic", QR_NULL);
  } else {
    const std::string texture = textureName(file);
    QrComment(("Make the texture with the renderer's texture tool, from the image " + file + " into " +
               texture + ", before rendering.")
                  .c_str());
    const char* textureText = texture.c_str();
    QrSurface("paintedplastic", "texturename", static_cast<QtPointer>(&textureText), QR_NULL);
  }
  QrArchiveEnd();
}

}  // namespace

void writeScene(DD::Image::Graph& graph, const std::string& ribPath, const std::string& picture,
                const DD::Image::Camera& camera) {
  graph.validateAll();
  for (const auto& n : graph.nodes())
    if (n->op() && n->op()->hasError())
      throw HostError("node " + inQuotes(n->name()) + " is in error: " + n->op()->errorMessage());

  if (QrBegin(ribPath.c_str()) != 0) throw HostError("cannot open the scene file " + ribPath);
  QrComment(("Scene of " + std::to_string(graph.nodes().size()) + " node(s), written by quorhost").c_str());
  writeCamera(camera, picture);
  QrWorldBegin();
  writeLight(camera);
  for (const auto& n : graph.nodes())
    if (const Iop* iop = dynamic_cast<const Iop*>(n->op())) writeImageArchive(*n, *iop);
  for (const auto& n : graph.nodes()) {
    QuorPrimitive* primitive = dynamic_cast<QuorPrimitive*>(n->op());
    if (primitive && !n->disabled()) primitive->emit();
  }
  QrWorldEnd();
  QrEnd();
}

}  // namespace quorhost

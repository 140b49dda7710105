#include "SceneWriter.h"

#include <cctype>
#include <cmath>
#include <filesystem>
#include <map>
#include <mutex>
#include <set>
#include <sstream>
#include <vector>

#include <DDImage/Iop.h>
#include <DDImageHost/ImageFiles.h>
#include <Quor/Quor.h>
#include <Quor/QuorPrimitive.h>

#include "HostError.h"
#include "Text.h"

namespace quorhost {

using DD::Image::Iop;

namespace {

const double kPi = 3.14159265358979323846;

// The file an image node reads; empty when it has none.
std::string imageFile(const Node& node) {
  const DD::Image::Knob* k = node.knob(DD::Image::kReadFileKnob);
  const char* text = k ? k->get_text() : nullptr;
  return text ? text : "";
}

void writeCamera(const DD::Image::Camera& camera, const std::string& picture, const char* displayType) {
  QrDisplay(picture.c_str(), displayType, "rgba", QR_NULL);
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
  QrComment(
      ("by -" + distance.str() + " (Translate), then z is mirrored (Scale 1 1 -1), which turns the viewer's").c_str());
  QrComment("right-handed eye space into the renderer's camera space.");
  QrScale(1.0f, 1.0f, -1.0f);
  QrTranslate(0.0f, 0.0f, -camera.distance);
  if (!camera.straight()) {
    // A camera turned in the window looks at its target from `distance`:
    // world points are moved by the target, then turned back by the yaw and
    // the pitch.
    QrComment(
        "The viewer's camera is turned: its yaw about y, then its pitch, undone; its target moved to the origin.");
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
  QrLightSource("distantlight", "intensity", static_cast<QtPointer>(&intensity), "from", static_cast<QtPointer>(from),
                "to", static_cast<QtPointer>(to), QR_NULL);
}

// The textures of the image nodes, by node: made before the scene is
// opened, so that a texture that cannot be made stops the run before any
// file is written. With a folder, beside the scene there: the image's name
// with ".tex" (and a number where two images share a name); else in the
// renderer library's texture cache.
std::map<const Node*, std::string> makeTextures(const DD::Image::Graph& graph, const std::string& folder) {
  std::map<const Node*, std::string> textures;
  std::map<std::string, std::string> byImage;  // absolute image path -> texture
  std::set<std::string> taken;
  for (const auto& n : graph.nodes()) {
    const Iop* iop = dynamic_cast<const Iop*>(n->op());
    const std::string file = imageFile(*n);
    if (!iop || file.empty() || iop->format().width() <= 0) continue;
    const std::string image = std::filesystem::absolute(file).lexically_normal().string();
    std::string target;
    if (!folder.empty()) {
      auto known = byImage.find(image);
      if (known != byImage.end()) {
        target = known->second;
      } else {
        const std::string stem = std::filesystem::path(image).stem().string();
        for (int k = 1; target.empty() || taken.count(target); ++k)
          target = (std::filesystem::path(folder) / (stem + (k > 1 ? "-" + std::to_string(k) : "") + ".tex")).string();
        taken.insert(target);
        byImage[image] = target;
      }
    }
    std::vector<char> texture(4096);
    if (QxMakeTexture(file.c_str(), target.c_str(), texture.data(), int(texture.size())) != 0) {
      throw HostError("node " + inQuotes(n->name()) + ": " + texture.data());
    }
    textures[n.get()] = texture.data();
  }
  return textures;
}

// The archive that primitives read for an image input, named by the decimal
// text of the image node's hash: the surface textured with its image.
void writeImageArchive(const Node& node, const Iop& iop, const std::string& texture) {
  const std::string name = std::to_string(iop.hash().value());
  QrComment(("Image of " + node.name()).c_str());
  QrArchiveBegin(name.c_str(), QR_NULL);
  if (texture.empty()) {
    QrComment("No image: a plain surface.");
    QrSurface("plastic", QR_NULL);
  } else {
    QrComment(("Texture made from " + imageFile(node) +
               " (a tiled, MIP-mapped TIFF); a renderer that needs its own texture format can use one made "
               "from that image with its texture tool instead.")
                  .c_str());
    const char* textureText = texture.c_str();
    QrSurface("paintedplastic", "texturename", static_cast<QtPointer>(&textureText), QR_NULL);
  }
  QrArchiveEnd();
}

void checkNodes(DD::Image::Graph& graph) {
  graph.validateAll();
  for (const auto& n : graph.nodes())
    if (n->op() && n->op()->hasError())
      throw HostError("node " + inQuotes(n->name()) + " is in error: " + n->op()->errorMessage());
}

// The scene's calls, after QrBegin.
void emitScene(DD::Image::Graph& graph, const std::map<const Node*, std::string>& textures, const std::string& picture,
               const char* displayType, const DD::Image::Camera& camera) {
  QrComment(("Scene of " + std::to_string(graph.nodes().size()) + " node(s), written by quorhost").c_str());
  writeCamera(camera, picture, displayType);
  QrWorldBegin();
  writeLight(camera);
  for (const auto& n : graph.nodes())
    if (const Iop* iop = dynamic_cast<const Iop*>(n->op())) {
      const auto texture = textures.find(n.get());
      writeImageArchive(*n, *iop, texture == textures.end() ? std::string() : texture->second);
    }
  for (const auto& n : graph.nodes()) {
    QuorPrimitive* primitive = dynamic_cast<QuorPrimitive*>(n->op());
    if (primitive && !n->disabled()) primitive->emit();
  }
  QrWorldEnd();
}

// What the renderer reports while quorhost renders: warnings are printed,
// errors (and textures it cannot read) kept to fail the run. Reports come
// from the threads that render, too.
std::mutex gProblemsLock;
std::vector<std::string>* gRenderProblems = nullptr;

void collectRenderReport(QtInt code, QtInt severity, const char* message) {
  if (severity >= QIE_ERROR || code == QIE_NOFILE) {
    std::lock_guard<std::mutex> lock(gProblemsLock);
    if (gRenderProblems) gRenderProblems->push_back(message ? message : "");
    return;
  }
  QrErrorPrint(code, severity, message);
}

// Collects the renderer's reports into `problems` while it lives, then puts
// the library's own handler back.
class Collecting {
 public:
  explicit Collecting(std::vector<std::string>& problems) {
    std::lock_guard<std::mutex> lock(gProblemsLock);
    gRenderProblems = &problems;
    QrErrorHandler(collectRenderReport);
  }
  ~Collecting() {
    QrErrorHandler(nullptr);
    std::lock_guard<std::mutex> lock(gProblemsLock);
    gRenderProblems = nullptr;
  }
};

// Throws the first of the problems, the picture removed.
void failOn(const std::vector<std::string>& problems, const std::string& picture) {
  if (problems.empty()) return;
  std::error_code ec;
  std::filesystem::remove(picture, ec);
  std::string message = "rendering failed: " + problems.front();
  if (problems.size() > 1) message += " (and " + std::to_string(problems.size() - 1) + " more problem(s))";
  throw HostError(message);
}

}  // namespace

std::string pictureFormat(const std::string& file) {
  std::string ext = std::filesystem::path(file).extension().string();
  for (char& c : ext) c = char(std::tolower(static_cast<unsigned char>(c)));
  if (ext == ".tif" || ext == ".tiff") return "tiff";
  if (ext == ".png") return "png";
  if (ext == ".exr") return "openexr";
  throw HostError("cannot tell the picture format of " + file + ": name it .png, .tif, .tiff or .exr");
}

void writeScene(DD::Image::Graph& graph, const std::string& ribPath, const std::string& picture,
                const DD::Image::Camera& camera) {
  checkNodes(graph);
  // Beside the scene file; textures for a scene on standard output go to
  // the cache.
  const auto textures =
      makeTextures(graph, ribPath == "-" ? std::string() : std::filesystem::absolute(ribPath).parent_path().string());
  if (QrBegin(ribPath.c_str()) != 0) throw HostError("cannot open the scene file " + ribPath);
  emitScene(graph, textures, picture, "file", camera);
  QrEnd();
}

RenderJob::RenderJob(DD::Image::Graph& graph, const std::string& picture, const std::string& format,
                     const DD::Image::Camera& camera)
    : picture_(picture) {
  checkNodes(graph);
  const auto textures = makeTextures(graph, std::string());
  std::vector<std::string> problems;
  {
    Collecting collecting(problems);
    if (QxBeginJob() != 0) {
      throw HostError("cannot open a scene in the renderer library" +
                      (problems.empty() ? std::string() : ": " + problems.front()));
    }
    // The scene is closed whatever happens while it is open.
    struct Closer {
      void*& job;
      ~Closer() { job = QxEndJob(); }
    } closer{job_};
    emitScene(graph, textures, picture, format.c_str(), camera);
  }
  failOn(problems, picture_);
}

RenderJob::~RenderJob() { QxFreeJob(static_cast<QtJob>(job_)); }

bool RenderJob::run(const Progress& progress) {
  std::vector<std::string> problems;
  QtInt result;
  {
    Collecting collecting(problems);
    const auto told = [](QtFloat done, QtPointer data) -> QtInt {
      return (*static_cast<const Progress*>(data))(done) ? 0 : 1;
    };
    result = QxRenderJob(static_cast<QtJob>(job_), progress ? +told : nullptr,
                         const_cast<void*>(static_cast<const void*>(&progress)));
  }
  if (result == 2) {
    std::error_code ec;
    std::filesystem::remove(picture_, ec);
    return false;
  }
  failOn(problems, picture_);
  std::error_code ec;
  if (!std::filesystem::is_regular_file(picture_, ec)) throw HostError("rendering failed: no picture was written");
  return true;
}

std::vector<SurfacePreview> previewSurfaces(DD::Image::Graph& graph, int facets) {
  graph.validateAll();
  std::vector<SurfacePreview> previews;
  for (const auto& n : graph.nodes()) {
    QuorPrimitive* primitive = dynamic_cast<QuorPrimitive*>(n->op());
    if (!primitive || n->disabled() || n->op()->hasError() || QxBeginPreviewJob() != 0) continue;
    // The world of the node alone, seen from the world's origin: its
    // surfaces come in world space. The image archives it reads are there,
    // untextured: the viewer textures the preview itself.
    QrWorldBegin();
    for (const auto& image : graph.nodes())
      if (const Iop* iop = dynamic_cast<const Iop*>(image->op())) writeImageArchive(*image, *iop, std::string());
    primitive->emit();
    QrWorldEnd();
    QtJob job = QxEndJob();
    const auto take = [](QtInt columns, QtInt rows, const QtFloat* positions, const QtFloat* normals, const QtFloat* st,
                         QtPointer data) {
      auto& out = *static_cast<std::vector<SurfacePreview>*>(data);
      const size_t count = size_t(columns) * size_t(rows);
      out.push_back({nullptr, columns, rows, std::vector<float>(positions, positions + 3 * count),
                     std::vector<float>(normals, normals + 3 * count), std::vector<float>(st, st + 2 * count)});
    };
    const size_t first = previews.size();
    QxJobSurfaces(job, facets, take, &previews);
    QxFreeJob(job);
    for (size_t i = first; i < previews.size(); ++i) previews[i].node = n.get();
  }
  return previews;
}

void renderScene(DD::Image::Graph& graph, const std::string& picture, const std::string& format,
                 const DD::Image::Camera& camera) {
  RenderJob(graph, picture, format, camera).run();
}

}  // namespace quorhost

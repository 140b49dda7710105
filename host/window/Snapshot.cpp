#include "window/Snapshot.h"

#include <sstream>

#include <DDImageHost/OffscreenGL.h>

#include "HostError.h"
#include "OutputFiles.h"
#include "Text.h"
#include "window/Panel.h"
#include "window/Workspace.h"

namespace quorhost {

std::string snapshotText(Workspace& workspace, const Panel& panel, const WindowSizes& sizes) {
  const DD::Image::Camera& c = workspace.camera();
  const Node* current = workspace.session().currentNode();
  std::ostringstream text;
  text << "window\t" << sizes.windowWidth << '\t' << sizes.windowHeight << '\n'
       << "viewer\t" << sizes.viewerWidth << '\t' << sizes.viewerHeight << '\n'
       << "camera\t" << c.yaw << '\t' << c.pitch << '\t' << c.distance << '\t' << c.target.x << '\t' << c.target.y
       << '\t' << c.target.z << '\n'
       << "current\t" << (current ? current->name() : "-") << '\n'
       << "history\t" << workspace.undoCount() << '\t' << workspace.redoCount() << '\n'
       << "dirty\t" << (workspace.dirty() ? 1 : 0) << '\n'
       << "view\t" << (panel.showingRender() && workspace.hasRender() ? "render" : "viewer") << '\n'
       << "render\t" << workspace.renderWidth() << '\t' << workspace.renderHeight() << '\n'
       << "rendering\t" << (workspace.rendering() ? 1 : 0) << '\t' << (workspace.renderOutOfDate() ? 1 : 0) << '\n';
  for (const PanelItem& item : panel.items())
    text << "item\t" << item.kind << '\t' << escapeField(item.name) << '\t' << escapeField(item.value) << '\t'
         << item.x0 << '\t' << item.y0 << '\t' << item.x1 << '\t' << item.y1 << '\n';
  return text.str();
}

namespace {

void writePicture(const std::string& path, const Picture& picture) {
  writeBeside(path, [&picture](const std::string& temporary, std::string* why) {
    return DD::Image::writePng(temporary, picture.width, picture.height, picture.rgba, why);
  });
}

}  // namespace

void writeSnapshot(const std::string& prefix, int number, const Picture& viewer, const Picture& window,
                   const std::string& text) {
  const std::string base = prefix + "-" + std::to_string(number);
  writePicture(base + ".png", viewer);
  writePicture(base + "-window.png", window);
  writeTextBeside(base + ".txt", text);
}

}  // namespace quorhost

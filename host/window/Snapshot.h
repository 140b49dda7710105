// What F12 writes with --window --snapshot PREFIX: PREFIX-N.png (the
// viewer's picture), PREFIX-N-window.png (the whole window) and PREFIX-N.txt
// (what the panel shows), the text last, each file whole or not at all.
#ifndef QUORHOST_WINDOW_SNAPSHOT_H
#define QUORHOST_WINDOW_SNAPSHOT_H

#include <string>
#include <vector>

namespace quorhost {

class Panel;
class Workspace;

// 8-bit RGBA pixels, rows top first.
struct Picture {
  int width = 0, height = 0;
  std::vector<unsigned char> rgba;
};

// The sizes of the window and of its viewer, in window and framebuffer
// pixels.
struct WindowSizes {
  int windowWidth = 0, windowHeight = 0;
  int viewerWidth = 0, viewerHeight = 0;
};

// The snapshot's text: a line for the sizes, the camera, the current node,
// the history, the script's state and the view shown, then one for each
// item the panel showed.
std::string snapshotText(Workspace& workspace, const Panel& panel, const WindowSizes& sizes);

// Writes snapshot number `number` under `prefix`. Throws HostError.
void writeSnapshot(const std::string& prefix, int number, const Picture& viewer, const Picture& window,
                   const std::string& text);

}  // namespace quorhost

#endif

// The interactive window of quorhost: the viewer drawn into a GLFW window
// at the window's size, the knob panel beside it, and the keyboard and
// pointer bindings that turn events into calls on a Workspace.
#ifndef QUORHOST_WINDOW_WINDOW_H
#define QUORHOST_WINDOW_WINDOW_H

#include <string>

#include "Session.h"

namespace quorhost {

// The panel's width, in window pixels; the viewer has the rest.
constexpr int kPanelWidth = 380;

// Opens the window on the session's graph and returns once the user has
// closed it. It opens to fit the screen's work area: with the viewer at
// the session's --size and the panel beside it when one was given, else at
// the size it had when last closed (WindowSettings.h), else filling the
// work area. With a snapshot
// prefix, F12 writes PREFIX-N.png (the viewer's picture), PREFIX-N-window.png
// (the whole window) and PREFIX-N.txt (what the panel shows, written last),
// N counting from 1. Throws HostError when no
// window can be opened.
void runWindow(Session& session, const std::string& snapshotPrefix);

}  // namespace quorhost

#endif

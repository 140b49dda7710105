// What the window remembers between runs: its size, in a small text file
// in the user's configuration folder ($XDG_CONFIG_HOME/quorhost/window, an
// absolute $XDG_CONFIG_HOME only, else $HOME/.config/quorhost/window).
#ifndef QUORHOST_WINDOW_WINDOWSETTINGS_H
#define QUORHOST_WINDOW_WINDOWSETTINGS_H

#include <string>

namespace quorhost {

struct WindowSize {
  int width = 0, height = 0;
  bool known() const { return width > 0 && height > 0; }
};

// The settings file; empty when neither variable gives a folder.
std::string windowSettingsFile();
// The size remembered; unknown when there is none or the file is damaged.
WindowSize rememberedWindowSize();
// Remembers the size (the file written whole or not at all); false when it
// cannot be written.
bool rememberWindowSize(WindowSize size);

// The size the window opens at on a screen whose work area is `screen`:
// the viewer size given on the command line with the panel beside it, else
// the size remembered, else the whole work area; never larger than the
// work area, nor smaller than the panel.
WindowSize openingWindowSize(WindowSize screen, WindowSize given, WindowSize remembered, int panelWidth);

}  // namespace quorhost

#endif

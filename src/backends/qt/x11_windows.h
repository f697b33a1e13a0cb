// The X11 desktop's top-level windows, front first. Kept apart from the Qt
// code because the Xlib headers define macros that clash with it.
#pragma once

#include <vector>

#include "ui/window_system.h"

namespace tv {

// Empty when there is no X display to talk to.
std::vector<TopLevelWindow> x11TopLevelWindows();

// Whether the Motif hints of a window, which the common window managers
// read, let them close it (and so show a close box): true when it has none,
// which allows everything.
bool x11ClosingAllowed(unsigned long window);

}  // namespace tv

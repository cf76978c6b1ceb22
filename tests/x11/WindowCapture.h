#pragma once

#include <X11/Xlib.h>

#include "X11TestSupport.h"

namespace duskmere {

// What the X server shows in the window, read back (colour-mapped visuals through their colour
// map), for tests to check what reached the screen. Empty when the window cannot be read
// (unmapped, or gone).
testing::Picture captureWindow(Display* display, Window window, int width, int height);

}  // namespace duskmere

#pragma once

#include <X11/Xlib.h>

#include "cairo/CairoImage.h"

namespace duskmere {

// What the X server shows in the window, read back as an opaque cairo image, for tests to check
// what reached the screen.
// Empty when the window cannot be read (unmapped, or gone).
CairoSurface captureWindow(Display* display, Window window, int width, int height);

}  // namespace duskmere

#pragma once

#include <X11/Xlib.h>

namespace duskmere {

// Writes what Xlib has buffered for the server, and nothing more. XFlush then also reads the
// connection: two more system calls a frame, for events the loop's own read brings anyway.
void sendBuffered(Display* display);

}  // namespace duskmere

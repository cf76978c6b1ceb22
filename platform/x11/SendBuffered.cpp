#include "SendBuffered.h"

// Xlib's interface for extension libraries: it declares the buffer's writer and its lock.
#include <X11/Xlibint.h>

namespace duskmere {

void sendBuffered(Display* display) {
    LockDisplay(display);
    _XSend(display, nullptr, 0);
    UnlockDisplay(display);
}

}  // namespace duskmere

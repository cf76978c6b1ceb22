#include "XErrorTrap.h"

#include <unistd.h>

#include <cstdio>
#include <cstring>

namespace duskmere {

namespace {

bool errorCaught = false;
bool captureAsked = false;
XErrorEvent firstError{};

int onXError(Display*, XErrorEvent* event) {
    if (!errorCaught) {
        errorCaught = true;
        firstError = *event;
    }
    return 0;
}

int onXIOError(Display* display) {
    // Xlib must not be called again, and nothing may be flushed to the dead connection.
    const char* name = display ? DisplayString(display) : "";
    char line[256];
    const int n = std::snprintf(line, sizeof line, "duskmere: lost the connection to the X server %s%s\n", name,
                                captureAsked ? "; no capture written" : "");
    if (n > 0) [[maybe_unused]] auto w = write(STDERR_FILENO, line, static_cast<size_t>(n) < sizeof line ? n : sizeof line - 1);
    _exit(1);
}

}  // namespace

void XErrorTrap::install() {
    XSetErrorHandler(onXError);
    XSetIOErrorHandler(onXIOError);
}

void XErrorTrap::noteCaptureAsked(bool asked) { captureAsked = asked; }

bool XErrorTrap::caught() { return errorCaught; }

void XErrorTrap::clear() { errorCaught = false; }

const XErrorEvent& XErrorTrap::error() { return firstError; }

std::string XErrorTrap::describe(Display* display) {
    char text[128] = "";
    XGetErrorText(display, firstError.error_code, text, sizeof text);
    char line[256];
    std::snprintf(line, sizeof line, "X error %s (request %d.%d, resource 0x%lx)", text, firstError.request_code,
                  firstError.minor_code, firstError.resourceid);
    return line;
}

}  // namespace duskmere

#pragma once

#include <X11/Xlib.h>

#include <optional>
#include <string>

#include "HackOptions.h"

namespace duskmere {

// The window the saver draws into, found the way screen-saver hacks find theirs: -window-id
// wins; -root takes $XSCREENSAVER_WINDOW (hex or decimal) or else the root window; otherwise the
// program opens a resizable window of its own.
struct TargetWindow {
    Window id = 0;
    bool own = false;  // ours: closes on q, Escape or the window manager's close button
    Visual* visual = nullptr;
    int depth = 0;
    Colormap colormap = 0;
    int width = 0;
    int height = 0;
    bool viewable = false;
};

// Selects the events the saver needs on the window. On failure `error` says why in one line.
std::optional<TargetWindow> findTargetWindow(Display* display, const HackOptions& options, std::string& error);

// Asks the window manager to switch our window into or out of full screen.
void toggleFullScreen(Display* display, Window window);

// Whether the event is the window manager asking to close our window.
bool isCloseRequest(Display* display, const XEvent& event);

}  // namespace duskmere

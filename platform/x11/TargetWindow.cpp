#include "TargetWindow.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "XErrorTrap.h"

namespace duskmere {

namespace {

constexpr long foreignEvents = ExposureMask | StructureNotifyMask | VisibilityChangeMask;
constexpr long ownEvents = foreignEvents | KeyPressMask;

std::string hex(unsigned long id) {
    char text[32];
    std::snprintf(text, sizeof text, "0x%lx", id);
    return text;
}

// The attributes of a window someone else made, or nothing when there is no such window.
std::optional<XWindowAttributes> attributesOf(Display* display, Window window) {
    XSync(display, False);
    XErrorTrap::clear();
    XWindowAttributes attributes{};
    const Status ok = XGetWindowAttributes(display, window, &attributes);
    XSync(display, False);
    const bool failed = !ok || XErrorTrap::caught();
    XErrorTrap::clear();
    if (failed) return std::nullopt;
    return attributes;
}

std::optional<TargetWindow> adopt(Display* display, Window window, std::string& error) {
    const std::optional<XWindowAttributes> a = attributesOf(display, window);
    if (!a) {
        error = "there is no window " + hex(window) + " on display " + DisplayString(display);
        return std::nullopt;
    }
    XSelectInput(display, window, foreignEvents);
    TargetWindow t;
    t.id = window;
    t.visual = a->visual;
    t.depth = a->depth;
    t.colormap = a->colormap != None ? a->colormap : DefaultColormapOfScreen(a->screen);
    t.width = a->width;
    t.height = a->height;
    t.viewable = a->map_state == IsViewable;
    return t;
}

TargetWindow createOwnWindow(Display* display) {
    const int screen = DefaultScreen(display);
    const int width = std::min(1280, DisplayWidth(display, screen));
    const int height = std::min(800, DisplayHeight(display, screen));
    XSetWindowAttributes attributes{};
    // No background: the server never clears the window, so a resize or an expose shows the
    // last picture until the next one replaces it, instead of a flash of black.
    attributes.background_pixmap = None;
    attributes.border_pixel = BlackPixel(display, screen);
    attributes.event_mask = ownEvents;
    const Window window = XCreateWindow(display, RootWindow(display, screen), 0, 0, static_cast<unsigned>(width),
                                        static_cast<unsigned>(height), 0, CopyFromParent, InputOutput, CopyFromParent,
                                        CWBackPixmap | CWBorderPixel | CWEventMask, &attributes);
    XStoreName(display, window, "Duskmere");
    const Atom utf8 = XInternAtom(display, "UTF8_STRING", False);
    const char* title = "Duskmere";
    XChangeProperty(display, window, XInternAtom(display, "_NET_WM_NAME", False), utf8, 8, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(title), static_cast<int>(std::strlen(title)));
    XClassHint hint{const_cast<char*>("duskmere"), const_cast<char*>("Duskmere")};
    XSetClassHint(display, window, &hint);
    Atom closeRequest = XInternAtom(display, "WM_DELETE_WINDOW", False);
    XSetWMProtocols(display, window, &closeRequest, 1);
    XMapWindow(display, window);

    TargetWindow t;
    t.id = window;
    t.own = true;
    t.visual = DefaultVisual(display, screen);
    t.depth = DefaultDepth(display, screen);
    t.colormap = DefaultColormap(display, screen);
    t.width = width;
    t.height = height;
    t.viewable = false;  // until the map arrives
    return t;
}

}  // namespace

std::optional<TargetWindow> findTargetWindow(Display* display, const HackOptions& options, std::string& error) {
    switch (options.target) {
    case HackOptions::Target::windowId:
        return adopt(display, options.windowId, error);
    case HackOptions::Target::root: {
        const char* named = std::getenv("XSCREENSAVER_WINDOW");
        if (named && *named) {
            const std::optional<unsigned long> id = parseWindowId(named);
            if (!id) {
                error = std::string("XSCREENSAVER_WINDOW is not a window id: '") + named + "'";
                return std::nullopt;
            }
            return adopt(display, *id, error);
        }
        return adopt(display, DefaultRootWindow(display), error);
    }
    case HackOptions::Target::ownWindow:
        break;
    }
    return createOwnWindow(display);
}

void toggleFullScreen(Display* display, Window window) {
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(display, "_NET_WM_STATE", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = 2;  // toggle
    event.xclient.data.l[1] = static_cast<long>(XInternAtom(display, "_NET_WM_STATE_FULLSCREEN", False));
    event.xclient.data.l[3] = 1;  // from an ordinary application
    XSendEvent(display, DefaultRootWindow(display), False, SubstructureRedirectMask | SubstructureNotifyMask, &event);
}

bool isCloseRequest(Display* display, const XEvent& event) {
    return event.type == ClientMessage && event.xclient.format == 32 &&
           static_cast<Atom>(event.xclient.data.l[0]) == XInternAtom(display, "WM_DELETE_WINDOW", True);
}

}  // namespace duskmere

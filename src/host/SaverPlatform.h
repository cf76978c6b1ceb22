#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>

#include "pixels/Canvas.h"
#include "pixels/RowSpan.h"

namespace duskmere {

struct ViewSize {
    double width = 0;
    double height = 0;
};

// A rectangle in view points, origin at the bottom-left corner, y growing upward.
struct ViewRect {
    double x = 0;
    double y = 0;
    double width = 0;
    double height = 0;
};

// An immutable image the platform made from a copy of canvas bytes.
class SaverImage {
public:
    virtual ~SaverImage() = default;
};

// Everything the saver host needs from the world outside: the view it lives in, the process it
// runs in, the random source and the drawing context. One implementation per platform, plus a
// recording double for tests; the portable code sees nothing else.
class SaverPlatform {
public:
    virtual ~SaverPlatform() = default;

    // The view.
    virtual ViewSize bounds() const = 0;
    virtual void setNeedsDisplay() = 0;
    virtual void setAnimationInterval(double seconds) = 0;

    // The process.
    virtual void observeDistributedNotification(const std::string& name, std::function<void()> handler) = 0;
    virtual std::string processName() const = 0;
    virtual void exitProcess(int status) = 0;
    // 8 bytes from the operating system's secure random source, in memory order.
    virtual uint64_t secureRandomSeed() = 0;

    // A delayed exit of the whole process: at most one is pending per process, whichever view
    // asked for it, and it outlives the view that asked. Platforms without timers exit at once.
    virtual void scheduleExit(double /*seconds*/, int status) { exitProcess(status); }
    virtual bool exitScheduled() const { return false; }
    virtual void cancelScheduledExit() {}
    // Stops the host's animation tick of this view; a platform whose ticks nobody stops ignores it.
    virtual void stopAnimation() {}

    // Drawing, valid only during a redraw.
    virtual bool hasGraphicsContext() = 0;
    virtual void setFillGray(double gray, double alpha) = 0;
    virtual void fillRect(const ViewRect& rect) = 0;
    virtual void setInterpolationNone() = 0;
    // An sRGB image without alpha from 4 x width x height bytes read R, G, B, ignored; copies them.
    // Empty when the platform cannot make one.
    virtual std::unique_ptr<SaverImage> makeImage(const uint32_t* pixels, int64_t width, int64_t height) = 0;
    // The image of a canvas, with what changed in it: `changed`, per canvas row, the columns that
    // can differ from the canvas's pixels at the last image made of the same canvas (known by its
    // generation, never by its address, which a later canvas may reuse); empty when any may. A
    // platform that copies every image whole has no use for the spans.
    virtual std::unique_ptr<SaverImage> makeCanvasImage(const Canvas& canvas, std::span<const RowSpan> /*changed*/) {
        return makeImage(canvas.px.data(), canvas.width, canvas.height);
    }
    // Said just before makeImage() of the same pixels: only these columns of each row can differ
    // from what those pixels held at the makeImage() before, on the caller's word that they are
    // still the same pixels. A platform that copies every image whole has no use for it.
    virtual void noteChangedSpans(std::span<const RowSpan> /*spans*/) {}
    virtual void drawImage(const SaverImage& image, const ViewRect& rect) = 0;
};

}  // namespace duskmere

#include "host/PixelSaverView.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace duskmere {

PixelSaverView::PixelSaverView(SaverPlatform& platform, FromFrame) : platform_(platform) {
    platform_.setAnimationInterval(animationInterval);
    platform_.observeDistributedNotification(willStopNotification, [this] { saverWillStop(); });
}

PixelSaverView::PixelSaverView(SaverPlatform& platform, FromCoder) : platform_(platform) {
    platform_.setAnimationInterval(animationInterval);
}

double PixelSaverView::targetRows() const { return 225.0; }

std::unique_ptr<PixelScene> PixelSaverView::makeScene(int64_t, int64_t, uint64_t) {
    std::fputs("subclass must override makeScene\n", stderr);
    std::abort();
}

void PixelSaverView::saverWillStop() {
    // The legacy host keeps running after the saver is dismissed; leaving is the only way out.
    if (platform_.processName().find("legacyScreenSaver") == std::string::npos) return;
    platform_.stopAnimation();
    // Every view in the process hears the notification; the first one schedules the exit.
    if (!platform_.exitScheduled()) platform_.scheduleExit(willStopExitDelay, 0);
}

void PixelSaverView::startAnimation() {
    if (platform_.exitScheduled()) platform_.cancelScheduledExit();
}

void PixelSaverView::animateOneFrame() {
    if (scene_) scene_->step();
    platform_.setNeedsDisplay();
}

void PixelSaverView::prepare() {
    const ViewSize bounds = platform_.bounds();
    double scale = std::floor(bounds.height / targetRows());
    if (std::isnan(scale) || scale < 1.0) scale = 1.0;
    const auto w = static_cast<int64_t>(std::ceil(bounds.width / scale));
    const auto h = static_cast<int64_t>(std::ceil(bounds.height / scale));
    if (canvas_ && canvas_->width == w && canvas_->height == h) {
        // The same canvas can fit a view at another whole scale (720 x 450 shows 1440 x 900 at 2
        // and 2160 x 1350 at 3): keep the scene, but enlarge it to fill the view.
        pixelScale_ = scale;
        return;
    }

    pixelScale_ = scale;
    canvas_ = std::make_unique<Canvas>(w, h);
    const uint64_t seed = platform_.secureRandomSeed();
    scene_.reset();  // release the old scene before building the next
    scene_ = makeScene(w, h, seed);
}

void PixelSaverView::drawRect() {
    if (!platform_.hasGraphicsContext()) return;
    const ViewSize bounds = platform_.bounds();
    platform_.setFillGray(0.0, 1.0);
    platform_.fillRect({0, 0, bounds.width, bounds.height});
    if (!(bounds.width >= 1.0) || !(bounds.height >= 1.0)) return;
    prepare();
    if (!scene_ || !canvas_) return;
    scene_->draw(*canvas_);
    presentCanvas();
}

void PixelSaverView::presentCanvas() {
    std::span<const RowSpan> spans = scene_->changedSpans();
    if (spans.size() != static_cast<size_t>(canvas_->height)) spans = {};
    const std::unique_ptr<SaverImage> image = platform_.makeCanvasImage(*canvas_, spans);
    if (!image) return;
    platform_.setInterpolationNone();
    const double scale = pixelScale_;
    platform_.drawImage(*image, {0, 0, static_cast<double>(canvas_->width) * scale,
                                 static_cast<double>(canvas_->height) * scale});
    if (scale < 2.0) return;

    static constexpr double lineHeights[2] = {0.5, 1.0};
    const double lineHeight = lineHeights[scale >= 3.0 ? 1 : 0];
    const double width = platform_.bounds().width;
    platform_.setFillGray(0.0, 0.25);
    for (int64_t r = 0; r < canvas_->height; ++r)
        platform_.fillRect({0, static_cast<double>(r) * scale, width, lineHeight});
}

}  // namespace duskmere

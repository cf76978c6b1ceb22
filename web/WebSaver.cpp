#include "WebSaver.h"

#include <emscripten.h>

#include <algorithm>
#include <cmath>

#include "pixels/CanvasHash.h"

namespace duskmere {

namespace {

// Past this, one box round them all costs less to copy. A small box costs the browser about
// 2 us; the firelight often changes a few hundred specks all over the picture, whose bounding
// box would be most of it (tens of times dearer).
constexpr std::size_t maxBoxes = 1000;

// How often runFor looks at the clock, in frames.
constexpr int64_t clockEvery = 4;

}  // namespace

WebSaver::WebSaver(const WebParameters& p)
    : entry_(p.scene), canvasSize_(p.canvas), frames_(p.frames ? *p.frames : -1), hashEvery_(p.hashEvery) {
    platform_.fixSeed(p.seed);
    build();
}

void WebSaver::build() {
    view_.reset();
    scene_.reset();
    if (!canvasSize_) {
        view_ = entry_->makeView(platform_);
        return;
    }
    const int64_t w = canvasSize_->width;
    const int64_t h = canvasSize_->height;
    canvas_ = std::make_unique<Canvas>(w, h);
    scene_ = entry_->makeScene(w, h, platform_.secureRandomSeed());
    shown_.assign(canvas_->px.size(), Canvas::black);
}

void WebSaver::redraw() {
    if (view_) {
        view_->drawRect();
        narrow(platform_.finishRedraw());
        return;
    }
    scene_->draw(*canvas_);
    // Scenes keep 0xFF in the fourth byte, but the page shows it as alpha: make sure it is opaque.
    std::transform(canvas_->px.begin(), canvas_->px.end(), shown_.begin(), [](uint32_t p) { return p | 0xFF000000u; });
    addBox({0, 0, static_cast<int>(canvas_->width), static_cast<int>(canvas_->height)});
}

void WebSaver::narrow(const std::vector<Box>& boxes) {
    const int w = platform_.deviceWidth();
    const int h = platform_.deviceHeight();
    const Canvas* c = view_->canvas();
    // Device columns per canvas column, when whole; the device picture must end on a whole
    // device column too, or the fills' partly covered last column would differ from the rest.
    const double k = view_->pixelScale() * platform_.backingScale();
    const double deviceWidth = platform_.bounds().width * platform_.backingScale();
    const bool whole = narrowing_ && c && k >= 1 && k <= 64 && k == std::floor(k) && deviceWidth == std::floor(deviceWidth) &&
                       static_cast<int>(deviceWidth) == w;
    const int step = whole ? static_cast<int>(k) : 1;
    if (step == 1) {
        if (step_ != 1) addBox({0, 0, w, h});
        step_ = 1;
        narrow_.clear();
        for (const Box& box : boxes) addBox(box);
        return;
    }
    const int nw = (w + step - 1) / step;
    const uint32_t* device = platform_.devicePixels();
    const bool all = step != step_ || nw != narrowWidth_ || narrow_.size() != static_cast<size_t>(nw) * h;
    if (all) {
        step_ = step;
        narrowWidth_ = nw;
        narrow_.assign(static_cast<size_t>(nw) * h, Canvas::black);
        boxes_.clear();
    }
    const auto copy = [&](const Box& b) {
        const Box n{b.x0 / step, b.y0, (b.x1 + step - 1) / step, b.y1};
        for (int y = n.y0; y < n.y1; ++y) {
            const uint32_t* from = device + static_cast<size_t>(y) * w;
            uint32_t* to = narrow_.data() + static_cast<size_t>(y) * nw;
            for (int x = n.x0; x < n.x1; ++x) to[x] = from[x * step];
        }
        addBox(n);
    };
    if (all) {
        copy({0, 0, w, h});
        return;
    }
    for (const Box& box : boxes) copy(box);
}

void WebSaver::addBox(const Box& box) {
    if (box.x0 >= box.x1 || box.y0 >= box.y1) return;
    boxes_.push_back(box);
    limitBoxes(boxes_, maxBoxes);
}

void WebSaver::resize(double cssWidth, double cssHeight, double pixelRatio) {
    if (runsFrames() && started_) return;
    platform_.setBounds({cssWidth, cssHeight});
    platform_.setBackingScale(pixelRatio);
    redraw();
}

void WebSaver::tick() {
    if (!view_) {
        scene_->step();
        redraw();
        return;
    }
    view_->animateOneFrame();
    if (platform_.takeNeedsDisplay()) redraw();
}

bool WebSaver::runFor(double milliseconds) {
    if (!runsFrames()) return false;
    const double start = emscripten_get_now();
    bool drawn = false;
    if (!started_) {
        // Frame 0 is the first redraw's, as in duskmere-render.
        started_ = true;
        redraw();
        drawn = true;
        if (hashEvery_ > 0) hashFrame();
    }
    while (frame_ < frames_) {
        ++frame_;
        if (view_)
            view_->animateOneFrame();
        else
            scene_->step();
        drawn = false;
        if (hashEvery_ > 0 && frame_ % hashEvery_ == 0) {
            redraw();
            drawn = true;
            hashFrame();
        }
        if (frame_ % clockEvery == 0 && emscripten_get_now() - start >= milliseconds) break;
    }
    // Drawing is a pure function of the scene's state, so showing progress changes no frame.
    if (!drawn) redraw();
    return frame_ == frames_;
}

void WebSaver::hashFrame() {
    const Canvas* c = view_ ? view_->canvas() : canvas_.get();
    if (!c) return;  // a view of less than one point has no canvas
    hashLines_ += frameHashLine(frame_, *c);
}

void WebSaver::switchScene() {
    const auto catalog = sceneCatalog();
    const auto at = std::find_if(catalog.begin(), catalog.end(), [&](const SceneEntry& e) { return &e == entry_; });
    entry_ = (at == catalog.end() || at + 1 == catalog.end()) ? &catalog.front() : &*(at + 1);
    platform_.fixSeed(std::nullopt);
    build();
    platform_.repaintAll();
    redraw();
}

const uint32_t* WebSaver::pixels() const {
    if (!view_) return shown_.data();
    return step_ > 1 ? narrow_.data() : platform_.devicePixels();
}
int WebSaver::pixelWidth() const {
    if (!view_) return static_cast<int>(canvas_->width);
    return step_ > 1 ? narrowWidth_ : platform_.deviceWidth();
}
int WebSaver::pixelHeight() const { return view_ ? platform_.deviceHeight() : static_cast<int>(canvas_->height); }

const std::vector<WebSaver::Box>& WebSaver::takeBoxes() {
    taken_.swap(boxes_);
    boxes_.clear();
    return taken_;
}

std::string WebSaver::takeHashLines() {
    std::string lines;
    lines.swap(hashLines_);
    return lines;
}

}  // namespace duskmere

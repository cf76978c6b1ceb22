#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "WebParameters.h"
#include "WebPlatform.h"
#include "host/PixelSaverView.h"
#include "pixels/Canvas.h"

namespace duskmere {

// The saver as the page runs it. Normally the catalog's view on the web platform, sized by the
// window; with a canvas size, a bare scene whose canvas is shown 1:1. The page either ticks it
// 30 times a second or, with a frame count, runs the frames at once in slices of time.
class WebSaver {
public:
    using Box = DeviceBox;

    explicit WebSaver(const WebParameters& parameters);

    // The window's size in CSS pixels and its devicePixelRatio; redraws. The view decides
    // whether the scene survives (it does when the canvas size stays). Ignored while a frame
    // count runs, so that its picture stays the one it started with.
    void resize(double cssWidth, double cssHeight, double pixelRatio);
    // One timer tick: a step, then the redraw the view asked for.
    void tick();
    // Runs the frame count for about `milliseconds`; true once its last frame is on the picture.
    bool runFor(double milliseconds);
    bool runsFrames() const { return frames_ >= 0; }
    // The next scene of the catalog, with a new random seed.
    void switchScene();
    const char* sceneName() const { return entry_->name.data(); }

    // The picture (R, G, B, 0xFF per pixel, top row first) and the boxes that changed since the
    // last takeBoxes(). Where every canvas column is a whole number of device columns, all alike
    // (the scanlines run across), the picture is narrowed to one pixel per canvas column and the
    // browser widens it by pixelStep(): a fraction of the pixels to copy, and exact.
    const uint32_t* pixels() const;
    int pixelWidth() const;
    int pixelHeight() const;
    int pixelStep() const { return step_; }
    // Whether the picture may be narrowed (the page says, for the browser it runs in).
    void allowNarrowing(bool allow) { narrowing_ = allow; }
    const std::vector<Box>& takeBoxes();
    // The hash lines written since the last call, as duskmere-render prints them.
    std::string takeHashLines();

private:
    void build();
    void redraw();
    void addBox(const Box& box);
    void narrow(const std::vector<Box>& boxes);
    const Canvas* canvas() const;
    void hashFrame();

    const SceneEntry* entry_;
    std::optional<PixelSize> canvasSize_;
    int64_t frames_ = -1;  // -1: ticked by the page's timer
    int64_t hashEvery_ = 0;
    int64_t frame_ = 0;
    bool started_ = false;

    WebPlatform platform_;
    std::unique_ptr<PixelSaverView> view_;
    // Without the view: the scene, its canvas and the canvas as shown (its fourth byte opaque).
    std::unique_ptr<PixelScene> scene_;
    std::unique_ptr<Canvas> canvas_;
    std::vector<uint32_t> shown_;

    // The narrowed picture: step_ device columns per pixel (1: the device picture as it is).
    bool narrowing_ = false;
    int step_ = 1;
    int narrowWidth_ = 0;
    std::vector<uint32_t> narrow_;

    std::vector<Box> boxes_;
    std::vector<Box> taken_;
    std::string hashLines_;
};

}  // namespace duskmere

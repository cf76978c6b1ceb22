#pragma once

// Objective-C++ only: included by the bundle sources in this folder.

#import <CoreGraphics/CoreGraphics.h>
#import <ScreenSaver/ScreenSaver.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "host/SaverPlatform.h"

namespace duskmere {

// SaverPlatform on AppKit, CoreGraphics, Foundation and Security, for one ScreenSaverView.
// The view owns this object (through MacSaverHost), so it never outlives the view.
class MacSaverPlatform final : public SaverPlatform {
public:
    explicit MacSaverPlatform(ScreenSaverView* view);
    ~MacSaverPlatform() override;
    MacSaverPlatform(const MacSaverPlatform&) = delete;
    MacSaverPlatform& operator=(const MacSaverPlatform&) = delete;

    ViewSize bounds() const override;
    void setNeedsDisplay() override;
    void setAnimationInterval(double seconds) override;

    // The view itself is registered as the observer; its saverWillStop: method hands every
    // notification it receives to deliverNotification.
    void observeDistributedNotification(const std::string& name, std::function<void()> handler) override;
    std::string processName() const override;
    void exitProcess(int status) override;
    uint64_t secureRandomSeed() override;

    // The pending exit is a timer on the main run loop, kept where every bundle loaded into the
    // process finds it, so that it outlives the view that set it and any view can cancel it.
    void scheduleExit(double seconds, int status) override;
    bool exitScheduled() const override;
    void cancelScheduledExit() override;
    void stopAnimation() override;

    bool hasGraphicsContext() override;
    void setFillGray(double gray, double alpha) override;
    void fillRect(const ViewRect& rect) override;
    void setInterpolationNone() override;
    std::unique_ptr<SaverImage> makeImage(const uint32_t* pixels, int64_t width, int64_t height) override;
    void drawImage(const SaverImage& image, const ViewRect& rect) override;

    // Runs the handlers registered for the notification's name.
    void deliverNotification(NSNotification* notification);

private:
    class Image;

    static CGContextRef currentContext();

    __weak ScreenSaverView* view_;
    std::vector<std::pair<std::string, std::function<void()>>> observers_;
    CGColorSpaceRef sRGB_ = nullptr;  // looked up once, at the first image
};

}  // namespace duskmere

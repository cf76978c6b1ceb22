#pragma once

#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "host/SaverPlatform.h"

namespace duskmere::testing {

// A SaverPlatform that draws nothing and remembers everything it was asked to do.
class RecordingPlatform : public SaverPlatform {
public:
    struct Fill {
        double gray, alpha;
        ViewRect rect;
    };
    struct Image : SaverImage {
        int64_t width = 0, height = 0;
        std::vector<uint32_t> pixels;
    };
    struct ExitRequest {
        double seconds;
        int status;
    };
    struct DrawnImage {
        int64_t width, height;
        std::vector<uint32_t> pixels;
        ViewRect rect;
        bool interpolationOff;
    };

    // Settable inputs.
    ViewSize viewBounds{0, 0};
    std::string name = "ScreenSaverEngine";
    std::vector<uint64_t> seeds{0x1234};  // handed out in turn, the last one repeating
    bool graphicsContext = true;
    bool imagesFail = false;

    // What happened.
    int needsDisplayCount = 0;
    std::vector<double> intervals;
    std::map<std::string, std::vector<std::function<void()>>> observers;
    std::vector<int> exits;
    std::vector<ExitRequest> exitRequests;  // every scheduleExit, pending or since cancelled
    int exitCancels = 0;
    int animationStops = 0;
    int seedsDrawn = 0;
    std::vector<Fill> fills;
    std::vector<DrawnImage> images;

    ViewSize bounds() const override { return viewBounds; }
    void setNeedsDisplay() override { ++needsDisplayCount; }
    void setAnimationInterval(double seconds) override { intervals.push_back(seconds); }
    void observeDistributedNotification(const std::string& n, std::function<void()> handler) override {
        observers[n].push_back(std::move(handler));
    }
    std::string processName() const override { return name; }
    void exitProcess(int status) override { exits.push_back(status); }
    // One pending exit, as for a whole process; fireExitTimer() lets its time run out.
    void scheduleExit(double seconds, int status) override {
        exitRequests.push_back({seconds, status});
        pendingExit = status;
    }
    bool exitScheduled() const override { return pendingExit >= 0; }
    void cancelScheduledExit() override {
        pendingExit = -1;
        ++exitCancels;
    }
    void stopAnimation() override { ++animationStops; }
    void fireExitTimer() {
        if (pendingExit < 0) return;
        const int status = pendingExit;
        pendingExit = -1;
        exitProcess(status);
    }
    uint64_t secureRandomSeed() override {
        const size_t i = std::min<size_t>(static_cast<size_t>(seedsDrawn), seeds.size() - 1);
        ++seedsDrawn;
        return seeds[i];
    }
    bool hasGraphicsContext() override { return graphicsContext; }
    void setFillGray(double gray, double alpha) override { fillGray = gray, fillAlpha = alpha; }
    void fillRect(const ViewRect& rect) override { fills.push_back({fillGray, fillAlpha, rect}); }
    void setInterpolationNone() override { interpolationOff = true; }
    std::unique_ptr<SaverImage> makeImage(const uint32_t* pixels, int64_t width, int64_t height) override {
        if (imagesFail) return nullptr;
        auto image = std::make_unique<Image>();
        image->width = width;
        image->height = height;
        image->pixels.assign(pixels, pixels + width * height);
        return image;
    }
    void drawImage(const SaverImage& image, const ViewRect& rect) override {
        const auto& i = static_cast<const Image&>(image);
        images.push_back({i.width, i.height, i.pixels, rect, interpolationOff});
    }

    void post(const std::string& notification) {
        for (auto& handler : observers[notification]) handler();
    }

private:
    int pendingExit = -1;
    double fillGray = -1, fillAlpha = -1;
    bool interpolationOff = false;
};

}  // namespace duskmere::testing

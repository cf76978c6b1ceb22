#pragma once

#include <cstdint>
#include <optional>

#include "host/SoftwareSaverPlatform.h"

namespace duskmere {

// The saver platform inside a web page: the view's points are CSS pixels, the backing scale is
// the window's devicePixelRatio, and the picture goes to a canvas element. A page has no
// system-wide notifications and no process to end.
class WebPlatform : public SoftwareSaverPlatform {
public:
    // Every scene gets this seed until cleared; otherwise one from crypto.getRandomValues.
    void fixSeed(std::optional<uint64_t> seed) { fixedSeed_ = seed; }
    bool takeNeedsDisplay();

    void setNeedsDisplay() override { needsDisplay_ = true; }
    void setAnimationInterval(double) override {}  // the page keeps 30 frames a second itself
    void observeDistributedNotification(const std::string&, std::function<void()>) override {}
    std::string processName() const override { return "duskmere-web"; }
    void exitProcess(int) override {}
    uint64_t secureRandomSeed() override;

private:
    std::optional<uint64_t> fixedSeed_;
    bool needsDisplay_ = false;
};

// 64 bits from the browser's secure random source.
uint64_t browserRandomSeed();

}  // namespace duskmere

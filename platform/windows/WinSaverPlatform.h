#pragma once

#include <cstdint>
#include <optional>

#include "host/SoftwareSaverPlatform.h"

namespace duskmere {

// The saver's platform on Windows: drawing in software (the picture the window shows), the view's
// size from the window, and the process operations. Windows has no will-stop notification.
class WinSaverPlatform : public SoftwareSaverPlatform {
public:
    using SoftwareSaverPlatform::SoftwareSaverPlatform;

    void fixSeed(uint64_t seed) { seed_ = seed; }
    bool takeNeedsDisplay() {
        const bool needed = needsDisplay_;
        needsDisplay_ = false;
        return needed;
    }

    void setNeedsDisplay() override { needsDisplay_ = true; }
    void setAnimationInterval(double) override {}  // the message loop ticks at 30 Hz itself
    void observeDistributedNotification(const std::string&, std::function<void()>) override {}
    std::string processName() const override;
    void exitProcess(int status) override;
    uint64_t secureRandomSeed() override;

private:
    std::optional<uint64_t> seed_;
    bool needsDisplay_ = false;
};

// 8 bytes from the system's preferred random generator.
uint64_t systemRandomSeed();

}  // namespace duskmere

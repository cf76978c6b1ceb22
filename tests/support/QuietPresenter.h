#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "host/SoftwareSaverPlatform.h"

namespace duskmere {

// The presenter with nothing but its drawing and a fixed seed: the pictures a host should show.
class QuietPresenter : public SoftwareSaverPlatform {
public:
    explicit QuietPresenter(double backingScale = 1.0, uint64_t seed = 0)
        : SoftwareSaverPlatform(backingScale), seed(seed) {}
    void setNeedsDisplay() override {}
    void setAnimationInterval(double) override {}
    void observeDistributedNotification(const std::string&, std::function<void()>) override {}
    std::string processName() const override { return "test"; }
    void exitProcess(int) override {}
    uint64_t secureRandomSeed() override { return seed; }

    uint64_t seed;
};

}  // namespace duskmere

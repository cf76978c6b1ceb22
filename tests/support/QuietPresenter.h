#pragma once

#include <cstdint>
#include <string>

#include "host/SoftwareSaverPlatform.h"

namespace duskmere {

// The presenter with nothing but its drawing and a fixed seed: the pictures a host should show.
class QuietPresenter : public SoftwareSaverPlatform {
public:
    explicit QuietPresenter(double backingScale = 1.0, uint64_t seed = 0) : SoftwareSaverPlatform(backingScale) {
        fixSeed(seed);
    }
    std::string processName() const override { return "test"; }
    void exitProcess(int) override {}

private:
    uint64_t systemSeed() override { return 0; }
};

}  // namespace duskmere

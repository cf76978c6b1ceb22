#pragma once

#include <cstdint>
#include <string>

#include "host/SoftwareSaverPlatform.h"

namespace duskmere {

// The saver platform inside a web page: the view's points are CSS pixels, the backing scale is
// the window's devicePixelRatio, and the picture goes to a canvas element. A page has no
// system-wide notifications and no process to end.
class WebPlatform : public SoftwareSaverPlatform {
public:
    std::string processName() const override { return "duskmere-web"; }
    void exitProcess(int) override {}

private:
    // 64 bits from the browser's secure random source.
    uint64_t systemSeed() override;
};

}  // namespace duskmere

#pragma once

#include <cstdint>
#include <string>

#include "host/SoftwareSaverPlatform.h"

namespace duskmere {

// The saver's platform on Windows: drawing in software (the picture the window shows), the view's
// size from the window, and the process operations. Windows has no will-stop notification.
class WinSaverPlatform : public SoftwareSaverPlatform {
public:
    using SoftwareSaverPlatform::SoftwareSaverPlatform;

    std::string processName() const override;
    void exitProcess(int status) override;

private:
    uint64_t systemSeed() override;
};

// 8 bytes from the system's preferred random generator.
uint64_t systemRandomSeed();

}  // namespace duskmere

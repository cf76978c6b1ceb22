#pragma once

#include "RenderHost.h"

namespace duskmere {

// The renderer's host on Linux: views draw through the software presenter, PNGs go through
// libpng, seeds come from the system's secure source (common/SecureRandom).
class LinuxRenderHost : public RenderHost {
public:
    std::unique_ptr<RenderTarget> makeTarget(ViewSize bounds, double backingScale, uint64_t seed) override;
    bool writePng(const PixelRows& picture, OutputFile& file, std::string& error) override;
    uint64_t secureRandomSeed() override;
};

}  // namespace duskmere

#pragma once

#include "RenderHost.h"

namespace duskmere {

// The renderer's host on Linux: PNGs go through libpng, seeds come from the system's secure
// source (common/SecureRandom).
class LinuxRenderHost : public RenderHost {
public:
    bool writePng(const PixelRows& picture, OutputFile& file, std::string& error) override;
    uint64_t secureRandomSeed() override;
};

}  // namespace duskmere

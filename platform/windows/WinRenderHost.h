#pragma once

#include "RenderHost.h"

namespace duskmere {

// The renderer's host on Windows: views draw in software, PNGs come from the Windows Imaging
// Component.
class WinRenderHost : public RenderHost {
public:
    std::unique_ptr<RenderTarget> makeTarget(ViewSize bounds, double backingScale, uint64_t seed) override;
    bool writePng(const PixelRows& picture, OutputFile& file, std::string& error) override;
    uint64_t secureRandomSeed() override;
    // The C runtime reports a pipe whose reader left as EINVAL: the system's own error says it.
    bool readerGone(std::FILE* stream, int error) override;
};

}  // namespace duskmere

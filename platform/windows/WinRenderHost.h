#pragma once

#include "RenderHost.h"

namespace duskmere {

// The renderer's host on Windows: PNGs come from the Windows Imaging Component, seeds from the
// system's preferred random generator.
class WinRenderHost : public RenderHost {
public:
    bool writePng(const PixelRows& picture, OutputFile& file, std::string& error) override;
    uint64_t secureRandomSeed() override;
    // The C runtime reports a pipe whose reader left as EINVAL: the system's own error says it.
    bool readerGone(std::FILE* stream, int error) override;
};

}  // namespace duskmere

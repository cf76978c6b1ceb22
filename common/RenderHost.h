#pragma once

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "PixelRows.h"
#include "host/SoftwareSaverPlatform.h"

namespace duskmere {

class OutputFile;

// What the view draws through in the renderer: the software presenter, every scene seeded with
// the run's seed, and the picture it painted. The renderer runs the view itself, so no view of
// it ever asks to end the process, and its name is the program's on every system.
class RenderTarget final : public SoftwareSaverPlatform {
public:
    // A view of `bounds` points at `backingScale` device pixels per point.
    RenderTarget(ViewSize bounds, double backingScale, uint64_t seed);
    // The device picture of the last redraw, valid until the next call; empty (no pixels) before
    // the first redraw or when the presenter could not make one.
    PixelRows picture();

    std::string processName() const override { return "duskmere-render"; }
    void exitProcess(int status) override { std::exit(status); }

private:
    uint64_t systemSeed() override { return seed_; }
    uint64_t seed_;
};

// What the renderer needs from the operating system it runs on; everything else is portable.
class RenderHost {
public:
    virtual ~RenderHost() = default;
    // Encodes the picture as PNG into `file` (opened) and commits it. False with a one-line reason
    // in `error`; the file is then abandoned.
    virtual bool writePng(const PixelRows& picture, OutputFile& file, std::string& error) = 0;
    // 8 bytes from the operating system's secure random source.
    virtual uint64_t secureRandomSeed() = 0;
    // Whether a failed write to `stream` with errno `error` means that its reader closed its end,
    // which ends a run quietly. Called at once after the failure, before anything else.
    virtual bool readerGone(std::FILE* /*stream*/, int error) { return error == EPIPE; }
};

}  // namespace duskmere

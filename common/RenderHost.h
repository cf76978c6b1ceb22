#pragma once

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "PixelRows.h"
#include "host/SaverPlatform.h"

namespace duskmere {

class OutputFile;

// The platform a saver view draws through in the renderer, and what it drew.
class RenderTarget {
public:
    virtual ~RenderTarget() = default;
    virtual SaverPlatform& platform() = 0;
    // The device picture of the last redraw, valid until the next call; empty (no pixels) before
    // the first redraw or when the platform could not make one.
    virtual PixelRows picture() = 0;
};

// What the renderer needs from the operating system it runs on; everything else is portable.
class RenderHost {
public:
    virtual ~RenderHost() = default;
    // A platform whose view is `bounds` points at `backingScale` device pixels per point, and
    // whose scenes all get `seed` instead of one from the secure random source.
    virtual std::unique_ptr<RenderTarget> makeTarget(ViewSize bounds, double backingScale, uint64_t seed) = 0;
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

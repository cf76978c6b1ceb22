#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "RenderHost.h"
#include "RenderOptions.h"

namespace duskmere {

// Where duskmere-render's output goes: hash lines or raw frames to `out`, diagnostics and the
// progress line to `err`.
struct RenderStreams {
    std::FILE* out = nullptr;
    std::FILE* err = nullptr;
    bool outIsTerminal = false;  // raw frames are never written to a terminal
    bool errIsTerminal = false;  // the progress line is shown only on a terminal
};

// Runs duskmere-render with checked options on the given host. Returns the exit status: 0 (also
// when the reader of `out` went away); 2 when the output cannot be written at all (checked before
// any work); 1 when an image or `out` could not be written, or memory ran out.
int runRender(const RenderOptions& options, RenderHost& host, const RenderStreams& streams);

// The whole program on any platform: parses `args` (bad ones: one line, 2), answers --help and
// --version, calls `beforeWork` (the platform's stop handlers) and renders, with running out of
// memory reported as one line (1).
int renderProgram(const std::vector<std::string>& args, RenderHost& host, const RenderStreams& streams,
                  void (*beforeWork)());

}  // namespace duskmere

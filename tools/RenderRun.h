#pragma once

#include <cstdio>

#include "RenderOptions.h"

namespace duskmere {

// Runs duskmere-render with checked options: hash lines go to `out`, diagnostics to `err`.
// Returns the exit status: 0; 2 when the output folder cannot be written (checked before any
// work); 1 when an image could not be written.
int runRender(const RenderOptions& options, std::FILE* out, std::FILE* err);

}  // namespace duskmere

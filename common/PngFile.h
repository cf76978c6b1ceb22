#pragma once

#include <string>

#include "OutputFile.h"
#include "PixelRows.h"

namespace duskmere {

// Encodes the picture as an 8-bit RGB PNG into `file` (opened) and commits it. False with a
// one-line reason in `error`; the file is then abandoned and its path keeps what it had.
bool writePng(const PixelRows& picture, OutputFile& file, std::string& error);

// The same for `path`, written through OutputFile (which decides from what the path names how).
bool writePngFile(const PixelRows& picture, const std::string& path, std::string& error);

}  // namespace duskmere

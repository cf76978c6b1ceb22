#pragma once

#include <cairo.h>

#include <string>

#include "OutputFile.h"

namespace duskmere {

// Encodes the surface as PNG into `file` (opened) and commits it. False with a one-line reason in
// `error`; the file is then abandoned and the path keeps what it had.
bool writePng(cairo_surface_t* surface, OutputFile& file, std::string& error);

// Writes the surface as PNG to `path` through OutputFile, which decides from what the path names
// how (see there): a file is either the whole image or untouched. On failure nothing is left
// behind and `error` says why in one line.
bool writePngAtomically(cairo_surface_t* surface, const std::string& path, std::string& error);

// Whether `path` can be written, checked before long work (checkOutputPath).
bool folderIsWritable(const std::string& path, std::string& error);

}  // namespace duskmere

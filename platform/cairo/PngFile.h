#pragma once

#include <cairo.h>

#include <string>

namespace duskmere {

// Writes the surface as PNG to a temporary file beside `path` and renames it into place, so that
// `path` is either the whole image or untouched. On failure nothing is left behind and `error`
// says why in one line.
bool writePngAtomically(cairo_surface_t* surface, const std::string& path, std::string& error);

// Whether a file can be created in the folder that would hold `path` (checked before long work).
bool folderIsWritable(const std::string& path, std::string& error);

}  // namespace duskmere

#pragma once

#include <cstdint>
#include <string>

namespace duskmere {

class OutputFile;

// Encodes width x height pixels (row-major, top row first, bytes R, G, B, ignored) as an 8-bit RGB
// PNG with the Windows Imaging Component, which every Windows has, and writes it to `file`
// (opened) and commits it. False with a one-line reason in `error`; the file is then abandoned.
bool encodePng(const uint32_t* pixels, int64_t width, int64_t height, OutputFile& file, std::string& error);

// The same into `path`, by the output-file rules.
bool writePngFile(const uint32_t* pixels, int64_t width, int64_t height, const std::string& path, std::string& error);

}  // namespace duskmere

#include "cairo/PngFile.h"

namespace duskmere {

namespace {

cairo_status_t appendToFile(void* closure, const unsigned char* data, unsigned int length) {
    return static_cast<OutputFile*>(closure)->write(data, length) ? CAIRO_STATUS_SUCCESS : CAIRO_STATUS_WRITE_ERROR;
}

}  // namespace

bool writePng(cairo_surface_t* surface, OutputFile& file, std::string& error) {
    const cairo_status_t status = cairo_surface_write_to_png_stream(surface, appendToFile, &file);
    // A failed write is the file's to explain (commit names the reason); anything else is cairo's.
    if (status != CAIRO_STATUS_SUCCESS && status != CAIRO_STATUS_WRITE_ERROR) {
        error = "cannot write " + file.path() + ": " + cairo_status_to_string(status);
        file.abandon();
        return false;
    }
    return file.commit(error);
}

bool writePngAtomically(cairo_surface_t* surface, const std::string& path, std::string& error) {
    OutputFile file;
    return file.open(path, error) && writePng(surface, file, error);
}

bool folderIsWritable(const std::string& path, std::string& error) { return checkOutputPath(path, error); }

}  // namespace duskmere

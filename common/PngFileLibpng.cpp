#include "PngFile.h"

#include <png.h>

#include <csetjmp>
#include <vector>

namespace duskmere {

namespace {

struct WriteState {
    OutputFile* file;
    std::string message;  // libpng's own complaint, when it has one
};

void appendToFile(png_structp png, png_bytep data, png_size_t length) {
    auto* state = static_cast<WriteState*>(png_get_io_ptr(png));
    // A failed write is the file's to explain at commit; keep encoding into nothing meanwhile.
    state->file->write(data, length);
}

void flushNothing(png_structp) {}

void onError(png_structp png, png_const_charp message) {
    auto* state = static_cast<WriteState*>(png_get_io_ptr(png));
    if (state) state->message = message ? message : "encoder error";
    png_longjmp(png, 1);
}

void onWarning(png_structp, png_const_charp) {}

// Everything libpng touches between setjmp and a longjmp out of it lives here, outside the frame
// that calls setjmp, so no local is left indeterminate by the jump.
bool encode(png_structp png, png_infop info, const PixelRows& picture, std::vector<png_byte>& row) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_set_IHDR(png, info, static_cast<png_uint_32>(picture.width), static_cast<png_uint_32>(picture.height), 8,
                 PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    const size_t width = static_cast<size_t>(picture.width);
    for (int64_t y = 0; y < picture.height; ++y) {
        const uint32_t* in = picture.pixels + static_cast<size_t>(y) * width;
        for (size_t x = 0; x < width; ++x) {
            row[3 * x] = static_cast<png_byte>(in[x] & 0xFFu);
            row[3 * x + 1] = static_cast<png_byte>((in[x] >> 8) & 0xFFu);
            row[3 * x + 2] = static_cast<png_byte>((in[x] >> 16) & 0xFFu);
        }
        png_write_row(png, row.data());
    }
    png_write_end(png, info);
    return true;
}

}  // namespace

bool writePng(const PixelRows& picture, OutputFile& file, std::string& error) {
    const auto fail = [&](const std::string& why) {
        error = "cannot write " + file.path() + ": " + why;
        file.abandon();
        return false;
    };
    if (!picture.pixels || picture.width < 1 || picture.height < 1 || picture.width > PNG_USER_WIDTH_MAX ||
        picture.height > PNG_USER_HEIGHT_MAX)
        return fail("no picture to write");
    WriteState state{&file, {}};
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &state, onError, onWarning);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        return fail("out of memory");
    }
    png_set_write_fn(png, &state, appendToFile, flushNothing);
    std::vector<png_byte> row(static_cast<size_t>(picture.width) * 3);
    const bool encoded = encode(png, info, picture, row);
    png_destroy_write_struct(&png, &info);
    if (!encoded) return fail(state.message);
    return file.commit(error);
}

bool writePngFile(const PixelRows& picture, const std::string& path, std::string& error) {
    OutputFile file;
    return file.open(path, error) && writePng(picture, file, error);
}

}  // namespace duskmere

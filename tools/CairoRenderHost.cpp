#include "CairoRenderHost.h"

#include <vector>

#include "OutputFile.h"
#include "cairo/CairoSaverPlatform.h"
#include "PngFile.h"

namespace duskmere {

namespace {

class CairoRenderTarget : public RenderTarget {
public:
    explicit CairoRenderTarget(double backingScale) : platform_(backingScale) {}

    SaverPlatform& platform() override { return platform_; }

    PixelRows picture() override {
        cairo_surface_t* surface = platform_.surface();
        if (!surface) return {};
        const int64_t w = cairo_image_surface_get_width(surface);
        const int64_t h = cairo_image_surface_get_height(surface);
        const int stride = cairo_image_surface_get_stride(surface);
        const unsigned char* data = cairo_image_surface_get_data(surface);
        rows_.resize(static_cast<size_t>(w * h));
        // cairo's native 0x00RRGGBB back to the canvas's 0xFFBBGGRR.
        for (int64_t y = 0; y < h; ++y) {
            const auto* src = reinterpret_cast<const uint32_t*>(data + y * stride);
            uint32_t* dst = rows_.data() + y * w;
            for (int64_t x = 0; x < w; ++x) {
                const uint32_t p = src[x];
                dst[x] = 0xFF000000u | ((p & 0xFFu) << 16) | (p & 0xFF00u) | ((p >> 16) & 0xFFu);
            }
        }
        return {rows_.data(), w, h};
    }

    CairoSaverPlatform platform_;

private:
    std::vector<uint32_t> rows_;
};

}  // namespace

std::unique_ptr<RenderTarget> CairoRenderHost::makeTarget(ViewSize bounds, double backingScale, uint64_t seed) {
    auto target = std::make_unique<CairoRenderTarget>(backingScale);
    target->platform_.setBounds(bounds);
    target->platform_.fixSeed(seed);
    return target;
}

bool CairoRenderHost::writePng(const PixelRows& picture, OutputFile& file, std::string& error) {
    return duskmere::writePng(picture, file, error);
}

uint64_t CairoRenderHost::secureRandomSeed() { return CairoSaverPlatform().secureRandomSeed(); }

}  // namespace duskmere

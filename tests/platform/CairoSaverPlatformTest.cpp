#include "cairo/CairoSaverPlatform.h"

#include <gtest/gtest.h>

#include "host/PixelSaverView.h"

namespace duskmere {
namespace {

const uint32_t quad[4] = {0xFF0000FFu, 0xFF00FF00u, 0xFFFF0000u, 0xFFC0A29Cu};

class QuadScene : public PixelScene {
public:
    void step() override {}
    void draw(Canvas& canvas) override { canvas.px.assign(quad, quad + 4); }
};

// Two rows wanted: a view of 2S x 2S points shows a 2 x 2 canvas at pixel scale S.
class QuadView : public PixelSaverView {
public:
    using PixelSaverView::PixelSaverView;
    double targetRows() const override { return 2.0; }
    std::unique_ptr<PixelScene> makeScene(int64_t, int64_t, uint64_t) override {
        return std::make_unique<QuadScene>();
    }
};

uint32_t devicePixel(cairo_surface_t* s, int x, int y) {
    const unsigned char* data = cairo_image_surface_get_data(s);
    return reinterpret_cast<const uint32_t*>(data + y * cairo_image_surface_get_stride(s))[x] & 0xFFFFFFu;
}

// 0x00RRGGBB, the device format, of a canvas colour.
uint32_t rgb(uint32_t canvas) {
    return ((canvas & 0xFFu) << 16) | (canvas & 0xFF00u) | ((canvas >> 16) & 0xFFu);
}

// Black at alpha/255 over an opaque colour, rounded as the 8-bit compositor rounds.
uint32_t darken(uint32_t device, unsigned alpha) {
    uint32_t out = 0;
    for (int shift = 0; shift < 24; shift += 8) {
        const unsigned c = (device >> shift) & 0xFFu;
        unsigned t = c * (255 - alpha) + 128;
        t = ((t >> 8) + t) >> 8;
        out |= t << shift;
    }
    return out;
}

void expectQuad(cairo_surface_t* s, int scale, unsigned stripAlpha) {
    for (int y = 0; y < 2 * scale; ++y) {
        for (int x = 0; x < 2 * scale; ++x) {
            const uint32_t base = rgb(quad[(y / scale) * 2 + x / scale]);
            const bool lowestRow = y % scale == scale - 1;
            EXPECT_EQ(devicePixel(s, x, y), lowestRow ? darken(base, stripAlpha) : base)
                << "scale " << scale << " at " << x << "," << y;
        }
    }
}

TEST(CairoSaverPlatform, ScaleTwoReplicatesPixelsAndHalfCoversTheLowestRow) {
    CairoSaverPlatform platform;
    platform.setBounds({4, 4});
    QuadView view(platform, PixelSaverView::FromFrame{});
    view.drawRect();
    ASSERT_EQ(platform.deviceWidth(), 4);
    ASSERT_EQ(platform.deviceHeight(), 4);
    // A half-point strip covers half a device row: a quarter black at half coverage.
    expectQuad(platform.surface(), 2, 32);
}

TEST(CairoSaverPlatform, ScaleThreeDarkensOneFullDeviceRow) {
    CairoSaverPlatform platform;
    platform.setBounds({6, 6});
    QuadView view(platform, PixelSaverView::FromFrame{});
    view.drawRect();
    expectQuad(platform.surface(), 3, 64);
}

TEST(CairoSaverPlatform, BackingScaleTwoMakesHalfPointStripsWholeDeviceRows) {
    CairoSaverPlatform platform(2.0);
    platform.setBounds({4, 4});
    QuadView view(platform, PixelSaverView::FromFrame{});
    view.drawRect();
    ASSERT_EQ(platform.deviceWidth(), 8);
    expectQuad(platform.surface(), 4, 64);
}

TEST(CairoSaverPlatform, ExcessFallsOffTheTopAndRight) {
    // 5 x 5 points at two rows: scale 2, canvas 3 x 3 (6 x 6 points) in a 5 x 5 view.
    class Ramp : public PixelScene {
    public:
        void step() override {}
        void draw(Canvas& c) override {
            for (size_t i = 0; i < c.px.size(); ++i) c.px[i] = 0xFF000000u | static_cast<uint32_t>(i + 1);
        }
    };
    class RampView : public PixelSaverView {
    public:
        using PixelSaverView::PixelSaverView;
        double targetRows() const override { return 2.0; }
        std::unique_ptr<PixelScene> makeScene(int64_t, int64_t, uint64_t) override { return std::make_unique<Ramp>(); }
    };
    CairoSaverPlatform platform;
    platform.setBounds({5, 5});
    RampView view(platform, PixelSaverView::FromFrame{});
    view.drawRect();
    ASSERT_EQ(view.canvas()->width, 3);
    // The bottom-left device pixel shows canvas pixel (0, 2); the top row shows the lower half of
    // canvas row 0, shifted up by one device row.
    EXPECT_EQ(devicePixel(platform.surface(), 0, 3), rgb(0xFF000007u));
    EXPECT_EQ(devicePixel(platform.surface(), 0, 0), darken(rgb(0xFF000001u), 32));
    EXPECT_EQ(devicePixel(platform.surface(), 4, 1), rgb(0xFF000006u));
}

}  // namespace
}  // namespace duskmere

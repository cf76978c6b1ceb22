#include "host/Compositing.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "support/PresenterPictures.h"

namespace duskmere {
namespace {

// Redraws that are not a view's usual sequence (fills and images of any size, anywhere, on
// fractional bounds) are painted operation by operation, still as cairo paints them.
TEST(Compositing, UnusualRedrawsStillMatchCairo) {
    std::mt19937 rng(7);
    const auto pick = [&](double lo, double hi, int steps) {
        return std::round(std::uniform_real_distribution<double>(lo, hi)(rng) * steps) / steps;
    };
    const double scales[] = {1, 1.25, 1.5, 1.75, 2, 2.5, 3.5, 1.3};
    for (int round = 0; round < 150; ++round) {
        const double scale = scales[rng() % 8];
        const ViewSize bounds{pick(0, 30, rng() % 2 ? 1 : 8), pick(0, 30, rng() % 2 ? 1 : 8)};
        CairoSaverPlatform reference(scale);
        QuietPresenter software(scale);
        reference.setBounds(bounds);
        software.setBounds(bounds);
        for (int frame = 0; frame < 3; ++frame) {
            ASSERT_TRUE(reference.hasGraphicsContext() && software.hasGraphicsContext());
            for (int k = 0, n = 1 + static_cast<int>(rng() % 6); k < n; ++k) {
                const unsigned kind = rng() % 3;
                if (kind == 0) {
                    const double gray = pick(0, 1, 255), alpha = rng() % 2 ? 1.0 : pick(0, 1, 1000);
                    reference.setFillGray(gray, alpha);
                    software.setFillGray(gray, alpha);
                } else if (kind == 1) {
                    const ViewRect r{pick(-5, bounds.width + 5, 8), pick(-5, bounds.height + 5, 8),
                                     pick(-3, bounds.width + 5, 8), pick(-3, bounds.height + 5, 8)};
                    reference.fillRect(r);
                    software.fillRect(r);
                } else {
                    const int w = 1 + static_cast<int>(rng() % 9), h = 1 + static_cast<int>(rng() % 9);
                    std::vector<uint32_t> px(static_cast<size_t>(w * h));
                    for (uint32_t& p : px) p = static_cast<uint32_t>(rng());
                    const ViewRect r{pick(-3, bounds.width, 4), pick(-3, bounds.height, 4),
                                     pick(0.5, bounds.width + 6, 4), pick(0.5, bounds.height + 6, 4)};
                    reference.setInterpolationNone();
                    software.setInterpolationNone();
                    reference.drawImage(*reference.makeImage(px.data(), w, h), r);
                    software.drawImage(*software.makeImage(px.data(), w, h), r);
                }
            }
            software.finishRedraw();
            ASSERT_EQ(software.deviceWidth(), reference.deviceWidth());
            ASSERT_EQ(software.deviceHeight(), reference.deviceHeight());
            ASSERT_EQ(firstDifference(picture(software), picture(reference), software.deviceWidth()), "")
                << "round " << round << " frame " << frame;
        }
    }
}

}  // namespace
}  // namespace duskmere

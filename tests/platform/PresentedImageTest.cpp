#include "host/PresentedImage.h"

#include <gtest/gtest.h>

#include "support/PresenterPictures.h"

namespace duskmere {
namespace {

// The presenter brings the image it presented last up to date in place: an image a caller still
// holds keeps its pixels, and an image made but never drawn loses no change, whatever the
// caller notes.
TEST(PresentedImage, ImagesKeepTheirPixelsWhateverComesAfter) {
    std::vector<uint32_t> a(32 * 24), b(a.size()), c(a.size());
    for (size_t i = 0; i < a.size(); ++i)
        a[i] = static_cast<uint32_t>(i / 40 * 2654435761u), b[i] = a[i] * 3, c[i] = a[i] * 5;
    const auto redraw = [](QuietPresenter& p, const SaverImage& image) {
        EXPECT_TRUE(p.hasGraphicsContext());
        p.setFillGray(0, 1), p.fillRect({0, 0, 64, 48}), p.setInterpolationNone(), p.drawImage(image, {0, 0, 64, 48});
        return p.finishRedraw();
    };
    QuietPresenter software;
    std::vector<uint32_t> screen;
    const auto show = [&](const SaverImage& image, const std::vector<uint32_t>& px, const char* what) {
        QuietPresenter alone;  // the picture of one redraw from scratch
        alone.setBounds({64, 48}), redraw(alone, *alone.makeImage(px.data(), 32, 24));
        present(screen, software, redraw(software, image));
        EXPECT_EQ(firstDifference(screen, picture(alone), 64), "") << what;
    };
    software.setBounds({64, 48});
    show(*software.makeImage(a.data(), 32, 24), a, "first");
    show(*software.makeImage(b.data(), 32, 24), b, "second");
    std::unique_ptr<SaverImage> held = software.makeImage(c.data(), 32, 24);
    show(*held, c, "held");
    show(*software.makeImage(a.data(), 32, 24), a, "while an image is held");
    show(*held, c, "the held image again");
    held.reset();
    software.makeImage(b.data(), 32, 24);  // made, never drawn
    show(*software.makeImage(b.data(), 32, 24), b, "after an image never drawn");
    // A note that nothing changed holds only against the pixels the image shown last was made of.
    const std::vector<RowSpan> nothing(24);
    {
        const auto shown = software.makeImage(b.data(), 32, 24);
        software.makeImage(c.data(), 32, 24);  // a copy, never drawn
    }
    software.noteChangedSpans(nothing);
    show(*software.makeImage(c.data(), 32, 24), c, "a note after an image never drawn");
    software.noteChangedSpans(nothing);
    show(*software.makeImage(a.data(), 32, 24), a, "a note for other pixels");
    // Only the columns a note names are kept aside as shown; an image copied while that one is
    // held is still compared with the whole row as shown.
    std::vector<uint32_t> red = a, green = a;
    std::fill_n(red.begin() + 5 * 32, 32, 0xFF0000FFu);
    std::fill_n(green.begin() + 5 * 32, 32, 0xFF00FF00u);
    show(*software.makeImage(red.data(), 32, 24), red, "a red row");
    show(*software.makeImage(green.data(), 32, 24), green, "a green row");
    std::vector<RowSpan> column(24);
    column[5] = {7, 8};
    green[5 * 32 + 7] = 0xFFFFFFFFu;
    software.noteChangedSpans(column);
    const auto partly = software.makeImage(green.data(), 32, 24);
    show(*software.makeImage(red.data(), 32, 24), red, "red again, copied");
    // A canvas's spans hold for that canvas alone: the canvas of a new scene where the last one
    // was, noting spans at its first draw, is still compared whole.
    Canvas first(32, 24), second(32, 24);
    std::copy(a.begin(), a.end(), first.px.begin());
    show(*software.makeCanvasImage(first, {}), a, "a canvas");
    std::swap(first.px, second.px);
    std::copy(c.begin(), c.end(), second.px.begin());
    show(*software.makeCanvasImage(second, nothing), c, "a new canvas at the same address");
}

}  // namespace
}  // namespace duskmere

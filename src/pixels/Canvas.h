#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace duskmere {

// The low-resolution picture every scene draws into. Pixels are 0xAABBGGRR: in memory each reads
// red, green, blue, then a fourth byte that is never shown. Row 0 is the top row.
class Canvas {
public:
    static constexpr uint32_t black = 0xFF000000u;

    Canvas(int64_t width, int64_t height);
    // A copy is another canvas, with a generation of its own; so is a canvas assigned to.
    Canvas(const Canvas& other);
    Canvas& operator=(const Canvas& other);

    // A number no other canvas of the process has had, whatever its address: what tells a
    // presenter, or a scene, that pixels it saw before are still the same canvas.
    uint64_t generation() const { return generation_; }

    int64_t width;
    int64_t height;
    std::vector<uint32_t> px;  // row-major; its length never changes

    uint32_t& at(int64_t x, int64_t y) { return px[static_cast<std::size_t>(y * width + x)]; }
    uint32_t at(int64_t x, int64_t y) const { return px[static_cast<std::size_t>(y * width + x)]; }
    bool contains(int64_t x, int64_t y) const { return x >= 0 && x < width && y >= 0 && y < height; }

private:
    uint64_t generation_;
};

}  // namespace duskmere

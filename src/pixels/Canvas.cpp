#include "pixels/Canvas.h"

#include <algorithm>
#include <atomic>

namespace duskmere {

namespace {

uint64_t nextGeneration() {
    static std::atomic<uint64_t> last{0};
    return ++last;
}

}  // namespace

Canvas::Canvas(int64_t w, int64_t h)
    : width(std::max<int64_t>(w, 1)),
      height(std::max<int64_t>(h, 1)),
      px(static_cast<std::size_t>(width * height), black),
      generation_(nextGeneration()) {}

Canvas::Canvas(const Canvas& other)
    : width(other.width), height(other.height), px(other.px), generation_(nextGeneration()) {}

Canvas& Canvas::operator=(const Canvas& other) {
    width = other.width;
    height = other.height;
    px = other.px;
    generation_ = nextGeneration();
    return *this;
}

}  // namespace duskmere

#include "pixels/Canvas.h"

#include <algorithm>

namespace duskmere {

Canvas::Canvas(int64_t w, int64_t h)
    : width(std::max<int64_t>(w, 1)),
      height(std::max<int64_t>(h, 1)),
      px(static_cast<std::size_t>(width * height), black) {}

}  // namespace duskmere

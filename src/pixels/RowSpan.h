#pragma once

#include <algorithm>
#include <cstdint>

namespace duskmere {

// The columns [x0, x1) of one canvas row; nothing when x0 >= x1.
struct RowSpan {
    int32_t x0 = 0, x1 = 0;

    bool empty() const { return x0 >= x1; }
    // Grows to hold [a, b) as well.
    void add(int32_t a, int32_t b) {
        if (a >= b) return;
        if (empty()) {
            x0 = a;
            x1 = b;
        } else {
            x0 = std::min(x0, a);
            x1 = std::max(x1, b);
        }
    }
};

}  // namespace duskmere

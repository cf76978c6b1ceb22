#include "host/Compositing.h"

#include <cfloat>

namespace duskmere::compositing {

int deviceExtent(double points, double scale) {
    const double d = std::ceil(points * scale);
    if (!(d > 0)) return 0;
    return d > maxExtent ? maxExtent : static_cast<int>(d);
}

void fixedTransform(double ax, double bx, double ay, double by, double xc, double yc, AxisTransform& tx,
                    AxisTransform& ty) {
    if (ax == 1.0 && ay == 1.0) {
        // A plain translation: each device pixel takes the image pixel nearest its centre.
        tx.translation = ty.translation = true;
        tx.offset = static_cast<int64_t>(std::floor(std::ceil(bx - 0.5) + 0.5));
        ty.offset = static_cast<int64_t>(std::floor(std::ceil(by - 0.5) + 0.5));
        return;
    }
    double x0 = bx, y0 = by;
    if (x0 != 0.0 || y0 != 0.0) {
        // Move the integer part of the translation into offsets, spreading it over both axes.
        double tX = x0, tY = y0;
        double norm = std::max(std::fabs(tX), std::fabs(tY));
        for (int i = -1; i < 2; i += 2) {
            for (int j = -1; j < 2; j += 2) {
                double den = (ax + i) * (ay + j) - 0.0 * 0.0;
                if (std::fabs(den) < DBL_EPSILON) continue;
                double x = y0 * 0.0 - x0 * (ay + j);
                double y = x0 * 0.0 - y0 * (ax + i);
                den = 1 / den;
                x *= den;
                y *= den;
                const double n = std::max(std::fabs(x), std::fabs(y));
                if (norm > n) {
                    norm = n;
                    tX = x;
                    tY = y;
                }
            }
        }
        tX = std::floor(tX);
        tY = std::floor(tY);
        tx.offset = static_cast<int64_t>(-tX);
        ty.offset = static_cast<int64_t>(-tY);
        x0 = (tX * ax + tY * 0.0) + x0;
        y0 = (tX * 0.0 + tY * ay) + y0;
    }
    tx.m0 = toFixed(ax, 16);
    tx.m2 = toFixed(x0, 16);
    ty.m0 = toFixed(ay, 16);
    ty.m2 = toFixed(y0, 16);
    // Fix the rounded transform to agree with the exact one at the centre of the drawn area.
    const double iax = 1.0 / ax, iay = 1.0 / ay;
    const double ix0 = -x0 * iax, iy0 = -y0 * iay;
    for (int iteration = 0; iteration < 5; ++iteration) {
        const int64_t vx = toFixed(xc, 16), vy = toFixed(yc, 16);
        const int64_t rx = tx.m0 * (vx >> 16) + tx.m2 + ((tx.m0 * (vx & 0xFFFF) + 0x8000) >> 16);
        const int64_t ry = ty.m0 * (vy >> 16) + ty.m2 + ((ty.m0 * (vy & 0xFFFF) + 0x8000) >> 16);
        double x = static_cast<double>(rx) / 65536.0, y = static_cast<double>(ry) / 65536.0;
        const double px = (iax * x + 0.0 * y) + ix0;
        const double py = (0.0 * x + iay * y) + iy0;
        x = px - xc;
        y = py - yc;
        const int64_t dx = toFixed(ax * x + 0.0 * y, 16);
        const int64_t dy = toFixed(0.0 * x + ay * y, 16);
        tx.m2 -= dx;
        ty.m2 -= dy;
        if (dx == 0 && dy == 0) break;
    }
}

void sampleAxis(const AxisTransform& t, int count, int length, std::vector<int>& out) {
    out.resize(static_cast<size_t>(count));
    for (int d = 0; d < count; ++d) {
        int64_t i;
        if (t.translation) {
            i = d + t.offset;
        } else {
            const int64_t u = d + t.offset;
            const int64_t v = t.m0 * u + t.m2 + ((t.m0 * 0x8000 + 0x8000) >> 16);
            i = (v - 1) >> 16;
        }
        out[static_cast<size_t>(d)] = static_cast<int>(std::clamp<int64_t>(i, 0, length - 1));
    }
}

}  // namespace duskmere::compositing

#include "host/DevicePicture.h"

#include <algorithm>
#include <cstring>

#include "host/Compositing.h"

namespace duskmere {

using namespace compositing;

void DevicePicture::start(int width, int height) {
    pixels_.assign(static_cast<size_t>(width) * static_cast<size_t>(height), opaque);
    width_ = width;
    height_ = height;
    fresh_ = true;
    plan_.valid = false;
}

void DevicePicture::release() {
    pixels_.clear();
    pixels_.shrink_to_fit();
    width_ = height_ = 0;
}

void DevicePicture::noteDrawn(const RedrawRecord& redraw) {
    for (size_t i = 0; fresh_ && i < redraw.ops().size(); ++i)
        if (touches(redraw.ops()[i])) fresh_ = false;
}

DeviceBox PaintPlan::cleanBox(int x0, int y0, int x1, int y1) const {
    DeviceBox b{firstColumn[static_cast<size_t>(x0)], firstRow[static_cast<size_t>(y0)],
                firstColumn[static_cast<size_t>(x1)], firstRow[static_cast<size_t>(y1)]};
    b.x0 = std::max(b.x0, cleanX0);
    b.x1 = std::min(b.x1, cleanX1);
    b.y0 = std::max(b.y0, cleanY0);
    b.y1 = std::min(b.y1, cleanY1);
    return b;
}

ImageMaps DevicePicture::mapImage(const DrawOp& op) const {
    const int64_t ex0 = std::max<int64_t>(0, floorDiv256(op.x0)), ex1 = std::min<int64_t>(width_, ceilDiv256(op.x1));
    const int64_t ey0 = std::max<int64_t>(0, floorDiv256(op.y0)), ey1 = std::min<int64_t>(height_, ceilDiv256(op.y1));
    const double xc = static_cast<double>(ex0) + static_cast<double>(ex1 - ex0) / 2.;
    const double yc = static_cast<double>(ey0) + static_cast<double>(ey1 - ey0) / 2.;
    AxisTransform tx, ty;
    fixedTransform(op.ax, op.bx, op.ay, op.by, xc, yc, tx, ty);
    ImageMaps maps;
    sampleAxis(tx, width_, op.width, maps.x);
    sampleAxis(ty, height_, op.height, maps.y);
    return maps;
}

bool DevicePicture::touches(const DrawOp& op) const {
    return ceilDiv256(op.x1) > 0 && floorDiv256(op.x0) < width_ && ceilDiv256(op.y1) > 0 &&
           floorDiv256(op.y0) < height_;
}

// Every operation of the redraw, pixel by pixel, inside [x0, x1) x [y0, y1).
void DevicePicture::applyOps(const RedrawRecord& redraw, int x0, int y0, int x1, int y1) {
    const std::vector<DrawOp>& ops = redraw.ops();
    x0 = std::max(x0, 0);
    y0 = std::max(y0, 0);
    x1 = std::min(x1, width_);
    y1 = std::min(y1, height_);
    if (x0 >= x1 || y0 >= y1) return;
    const size_t stride = static_cast<size_t>(width_);
    bool fresh = fresh_;
    for (size_t i = 0; i < ops.size(); ++i) {
        const DrawOp& op = ops[i];
        // A fill on a picture never drawn on replaces instead of blending, as the reference's
        // shortcut for that case does.
        const bool replace = fresh && !op.image;
        if (fresh && touches(op)) fresh = false;
        const int px0 = static_cast<int>(std::max<int64_t>(x0, floorDiv256(op.x0)));
        const int px1 = static_cast<int>(std::min<int64_t>(x1, ceilDiv256(op.x1)));
        const int py0 = static_cast<int>(std::max<int64_t>(y0, floorDiv256(op.y0)));
        const int py1 = static_cast<int>(std::min<int64_t>(y1, ceilDiv256(op.y1)));
        if (px0 >= px1 || py0 >= py1) continue;
        ImageMaps own;
        const ImageMaps* maps = nullptr;
        if (op.image) {
            if (plan_.valid && i == 1) {
                maps = &plan_.maps;
            } else {
                own = mapImage(op);
                maps = &own;
            }
        }
        const bool scaled = op.ax != 1.0 || op.ay != 1.0;
        for (int y = py0; y < py1; ++y) {
            const int64_t cy = overlap(op.y0, op.y1, y);
            uint32_t* row = pixels_.data() + static_cast<size_t>(y) * stride;
            const uint32_t* src =
                op.image ? redraw.pixelsOf(op) + static_cast<size_t>(maps->y[static_cast<size_t>(y)]) * static_cast<size_t>(op.width) : nullptr;
            for (int x = px0; x < px1; ++x) {
                const unsigned m = coverage(overlap(op.x0, op.x1, x), cy);
                if (m == 0) continue;
                row[x] = op.image ? imagePixel(row[x], src[maps->x[static_cast<size_t>(x)]], m, scaled)
                                  : fillPixel(row[x], op.gray, replace ? 255 : op.alpha, m);
            }
        }
    }
}

// Recognises the usual redraw: an opaque fill, then an image, then fills. Inside the pixels the
// image covers whole, the result depends only on the image pixel and the strips of the row.
bool DevicePicture::makePlan(const RedrawRecord& redraw) {
    const std::vector<DrawOp>& ops = redraw.ops();
    plan_.valid = false;
    if (ops.size() < 2 || ops[0].image || ops[0].alpha != 255 || !ops[1].image) return false;
    for (size_t i = 2; i < ops.size(); ++i)
        if (ops[i].image) return false;
    const DrawOp& image = ops[1];
    PaintPlan& p = plan_;
    p.maps = mapImage(image);
    int64_t cx0 = 0, cx1 = width_;
    for (size_t i = 1; i < ops.size(); ++i) {
        cx0 = std::max(cx0, ceilDiv256(ops[i].x0));
        cx1 = std::min(cx1, floorDiv256(ops[i].x1));
    }
    p.cleanX0 = static_cast<int>(std::clamp<int64_t>(cx0, 0, width_));
    p.cleanX1 = static_cast<int>(std::clamp<int64_t>(cx1, p.cleanX0, width_));
    p.cleanY0 = static_cast<int>(std::clamp<int64_t>(ceilDiv256(image.y0), 0, height_));
    p.cleanY1 = static_cast<int>(std::clamp<int64_t>(floorDiv256(image.y1), p.cleanY0, height_));

    // Each row's strips, composed into one table per channel value.
    std::vector<std::vector<std::pair<size_t, unsigned>>> chains(static_cast<size_t>(height_));
    for (size_t i = 2; i < ops.size(); ++i) {
        const DrawOp& op = ops[i];
        const int64_t y0 = std::max<int64_t>(p.cleanY0, floorDiv256(op.y0));
        const int64_t y1 = std::min<int64_t>(p.cleanY1, ceilDiv256(op.y1));
        for (int64_t y = y0; y < y1; ++y) {
            const unsigned m = coverage(256, overlap(op.y0, op.y1, y));
            if (m) chains[static_cast<size_t>(y)].push_back({i, m});
        }
    }
    p.rowEffect.assign(static_cast<size_t>(height_), -1);
    p.effects.clear();
    PaintPlan::Effect effect;
    for (size_t y = 0; y < chains.size(); ++y) {
        if (chains[y].empty()) continue;
        effect.factors.clear();
        for (const auto& [i, m] : chains[y]) {
            if (ops[i].gray != 0 || ops[i].alpha == 255) {
                effect.factors.clear();
                break;
            }
            effect.factors.push_back(255 - mul(ops[i].alpha, m));
        }
        for (unsigned v = 0; v < 256; ++v) {
            unsigned c = v;
            for (const auto& [i, m] : chains[y]) c = fillChannel(c, ops[i].gray, ops[i].alpha, m);
            effect.table[v] = static_cast<uint8_t>(c);
        }
        auto found = std::find_if(p.effects.begin(), p.effects.end(),
                                  [&](const PaintPlan::Effect& e) { return e.table == effect.table; });
        p.rowEffect[y] = static_cast<int>(found - p.effects.begin());
        if (found == p.effects.end()) p.effects.push_back(effect);
    }

    // Where each image column and row starts on the device (the maps never decrease).
    p.firstColumn.assign(static_cast<size_t>(image.width) + 1, width_);
    for (int x = width_ - 1; x >= 0; --x) p.firstColumn[static_cast<size_t>(p.maps.x[static_cast<size_t>(x)])] = x;
    for (int i = image.width - 1; i >= 0; --i)
        p.firstColumn[static_cast<size_t>(i)] = std::min(p.firstColumn[static_cast<size_t>(i)], p.firstColumn[static_cast<size_t>(i) + 1]);
    p.firstRow.assign(static_cast<size_t>(image.height) + 1, height_);
    for (int y = height_ - 1; y >= 0; --y) p.firstRow[static_cast<size_t>(p.maps.y[static_cast<size_t>(y)])] = y;
    for (int i = image.height - 1; i >= 0; --i)
        p.firstRow[static_cast<size_t>(i)] = std::min(p.firstRow[static_cast<size_t>(i)], p.firstRow[static_cast<size_t>(i) + 1]);
    p.runs.clear();
    for (int x = p.cleanX0; x < p.cleanX1; ++x) {
        const int i = p.maps.x[static_cast<size_t>(x)];
        if (!p.runs.empty() && p.runs.back().first == i)
            ++p.runs.back().second;
        else
            p.runs.push_back({i, 1});
    }
    p.evenRuns = p.runs.empty() ? 0 : p.runs.front().second;
    for (size_t k = 0; k < p.runs.size(); ++k)
        if (p.runs[k].second != p.evenRuns || p.runs[k].first != p.runs.front().first + static_cast<int>(k)) p.evenRuns = 0;
    if (p.evenRuns > 4) p.evenRuns = 0;
    p.shortRuns = std::all_of(p.runs.begin(), p.runs.end(), [](const auto& r) { return r.second <= 4; });
    // A whole enlargement: every clean device column k columns on shows the next image column.
    const int k = p.runs.size() > 2 ? p.runs[1].second : 0;
    p.shiftStep = k;
    for (int x = p.cleanX0; k > 0 && x + k < p.cleanX1; ++x)
        if (p.maps.x[static_cast<size_t>(x) + static_cast<size_t>(k)] != p.maps.x[static_cast<size_t>(x)] + 1) p.shiftStep = 0;
    p.valid = true;
    return true;
}

// The pixels inside the clean area of the plan, within [x0, x1) x [y0, y1).
void DevicePicture::paintClean(const RedrawRecord& redraw, int x0, int y0, int x1, int y1) {
    const PaintPlan& p = plan_;
    x0 = std::max(x0, p.cleanX0);
    x1 = std::min(x1, p.cleanX1);
    y0 = std::max(y0, p.cleanY0);
    y1 = std::min(y1, p.cleanY1);
    if (x0 >= x1 || y0 >= y1) return;
    const DrawOp& image = redraw.ops()[1];
    const uint32_t* source = redraw.pixelsOf(image);
    const size_t stride = static_cast<size_t>(width_);
    const int* mapX = p.maps.x.data();
    const size_t n = static_cast<size_t>(x1 - x0);
    const size_t iw = static_cast<size_t>(image.width);
    darkRow_.resize(iw);
    int darkFor = -1, darkEffect = -1;  // the image row and effect in darkRow_
    // Only the image columns the device columns show are darkened.
    const size_t c0 = static_cast<size_t>(mapX[x0]), c1 = static_cast<size_t>(mapX[x1 - 1]) + 1;
    // Whole rows repeat each image pixel over its run of device pixels; parts of rows look each up.
    const bool whole = x0 == p.cleanX0 && x1 == p.cleanX1;
    const auto enlarge = [&](const uint32_t* in, uint32_t* out, int from, int to) {
        if (whole && p.evenRuns > 0) {
            // Every image pixel of the row spans the same number of device pixels.
            in += p.runs.front().first;
            const size_t count = p.runs.size();
            switch (p.evenRuns) {
                case 1: for (size_t j = 0; j < count; ++j) out[j] = in[j] | opaque; return;
                case 2: for (size_t j = 0; j < count; ++j) out[2 * j] = out[2 * j + 1] = in[j] | opaque; return;
                case 3:
                    for (size_t j = 0; j < count; ++j) out[3 * j] = out[3 * j + 1] = out[3 * j + 2] = in[j] | opaque;
                    return;
                default:
                    for (size_t j = 0; j < count; ++j)
                        out[4 * j] = out[4 * j + 1] = out[4 * j + 2] = out[4 * j + 3] = in[j] | opaque;
                    return;
            }
        }
        if (whole) {
            // Short runs of unequal length (fractional scales): four stores for each, the
            // extra ones overwritten by the runs that follow, while the row has room for them.
            const uint32_t* end = out + (to - from);
            auto run = p.runs.begin();
            if (p.shortRuns)
                for (; run != p.runs.end() && end - out >= 4; ++run) {
                    const uint32_t v = in[run->first] | opaque;
                    out[0] = out[1] = out[2] = out[3] = v;
                    out += run->second;
                }
            for (; run != p.runs.end(); ++run) {
                const uint32_t v = in[run->first] | opaque;
                for (int k = 0; k < run->second; ++k) *out++ = v;
            }
        } else {
            for (int x = from; x < to; ++x) out[x - from] = in[mapX[x]] | opaque;
        }
    };
    for (int y = y0; y < y1; ++y) {
        uint32_t* row = pixels_.data() + static_cast<size_t>(y) * stride + x0;
        const int sy = p.maps.y[static_cast<size_t>(y)];
        const int e = p.rowEffect[static_cast<size_t>(y)];
        if (y > y0 && p.maps.y[static_cast<size_t>(y) - 1] == sy && p.rowEffect[static_cast<size_t>(y) - 1] == e) {
            std::memcpy(row, row - stride, n * sizeof(uint32_t));  // the same image row, the same strips
            continue;
        }
        const uint32_t* src = source + static_cast<size_t>(sy) * iw;
        if (e >= 0) {
            // Darken the image row once, at image resolution, then enlarge it.
            if (darkFor != sy || darkEffect != e) {
                const PaintPlan::Effect& effect = p.effects[static_cast<size_t>(e)];
                if (!effect.factors.empty()) {
                    // The blend's rounded c * f / 255 on every byte; a loop the compiler widens.
                    const auto* in = reinterpret_cast<const uint8_t*>(src);
                    auto* out = reinterpret_cast<uint8_t*>(darkRow_.data());
                    for (unsigned f : effect.factors) {
                        for (size_t i = 4 * c0; i < 4 * c1; ++i) {
                            const unsigned t = in[i] * f + 0x80u;
                            out[i] = static_cast<uint8_t>((t + (t >> 8)) >> 8);
                        }
                        in = out;
                    }
                } else {
                    const uint8_t* lut = effect.table.data();
                    for (size_t i = c0; i < c1; ++i) {
                        const uint32_t v = src[i];
                        darkRow_[i] = opaque | static_cast<uint32_t>(lut[(v >> 16) & 0xFFu]) << 16 |
                                      static_cast<uint32_t>(lut[(v >> 8) & 0xFFu]) << 8 | lut[v & 0xFFu];
                    }
                }
                darkFor = sy;
                darkEffect = e;
            }
            enlarge(darkRow_.data(), row, x0, x1);
        } else {
            enlarge(src, row, x0, x1);
        }
    }
}

// The pixels outside the clean area: partly covered edges whose result also depends on what
// was there before, so they are painted in full every time.
void DevicePicture::paintEdges(const RedrawRecord& redraw, bool reportChanges, std::vector<DeviceBox>& boxes) {
    const PaintPlan& p = plan_;
    const int w = width_, h = height_;
    const DeviceBox edges[4] = {
        {0, 0, w, p.cleanY0},                  // above
        {0, p.cleanY1, w, h},                  // below
        {0, p.cleanY0, p.cleanX0, p.cleanY1},  // left
        {p.cleanX1, p.cleanY0, w, p.cleanY1},  // right
    };
    for (const DeviceBox& e : edges) {
        if (e.x0 >= e.x1 || e.y0 >= e.y1) continue;
        const size_t stride = static_cast<size_t>(w);
        if (reportChanges) {
            edgeBefore_.clear();
            for (int y = e.y0; y < e.y1; ++y)
                edgeBefore_.insert(edgeBefore_.end(), pixels_.begin() + static_cast<std::ptrdiff_t>(y * stride + e.x0),
                                   pixels_.begin() + static_cast<std::ptrdiff_t>(y * stride + e.x1));
        }
        applyOps(redraw, e.x0, e.y0, e.x1, e.y1);
        if (!reportChanges) continue;
        bool changed = false;
        size_t k = 0;
        for (int y = e.y0; y < e.y1 && !changed; ++y)
            for (int x = e.x0; x < e.x1; ++x, ++k)
                if (pixels_[static_cast<size_t>(y) * stride + static_cast<size_t>(x)] != edgeBefore_[k]) {
                    changed = true;
                    break;
                }
        if (changed) boxes.push_back(e);
    }
}

// Moves the picture as the host moves its copy, so that the boxes then repaint what changed.
void DevicePicture::applyShift(const DeviceShift& shift) {
    const DeviceBox& a = shift.area;
    const int dk = shift.dx;
    const size_t stride = static_cast<size_t>(width_), n = static_cast<size_t>(a.x1 - a.x0) * sizeof(uint32_t);
    const PaintPlan& p = plan_;
    for (int y = a.y0; y < a.y1; ++y) {
        uint32_t* row = pixels_.data() + static_cast<size_t>(y) * stride + a.x0;
        const size_t at = static_cast<size_t>(y);
        if (y > a.y0 && p.maps.y[at] == p.maps.y[at - 1] && p.rowEffect[at] == p.rowEffect[at - 1])
            std::memcpy(row, row - stride, n);  // the same row before and after: copy the one above
        else
            std::memmove(row, row + dk, n);
    }
}

}  // namespace duskmere

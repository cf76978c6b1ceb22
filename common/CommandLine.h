#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace duskmere {

// Strict parsers for command-line values: the whole text must be the value, nothing else.

// A 64-bit seed, decimal or 0x-prefixed hexadecimal.
std::optional<uint64_t> parseSeed(std::string_view text);

// A decimal count in [lo, hi].
std::optional<int64_t> parseCount(std::string_view text, int64_t lo, int64_t hi);

struct PixelSize {
    int64_t width = 0;
    int64_t height = 0;
};
// "WxH" with both sides in [1, maxSide].
std::optional<PixelSize> parseSize(std::string_view text, int64_t maxSide);

// The largest backing scale (device pixels per point) that every program accepts, so that a
// picture one program shows another can reproduce.
inline constexpr double maxBackingScale = 16.0;

// The largest device picture any program draws: at most maxDeviceSide pixels a side (the
// presenter's limit) and maxDevicePixels in all, an 8K screen's worth (128 MB a picture), so that
// no size and scale the options allow takes gigabytes.
inline constexpr int64_t maxDeviceSide = 32767;
inline constexpr int64_t maxDevicePixels = int64_t{1} << 25;
// Empty when `width` x `height` points at `scale` device pixels a point fit that budget; else
// the picture's size and the limit it passes, as part of a line.
std::string deviceBudgetError(double width, double height, double scale);

// The frame count every program takes (--frames, the page's frames=): a whole number, 0 or more
// (0: the first picture only). badFrameCount is the one message for any other value.
std::optional<int64_t> parseFrameCount(std::string_view text);
std::string badFrameCount(std::string_view text);

// A positive decimal number such as "2" or "1.5", at most `max`.
std::optional<double> parseScale(std::string_view text, double max);
// A decimal number such as "0", "12" or "2.5" from 0 to `max`.
std::optional<double> parseDecimal(std::string_view text, double max);

// Whether a printf pattern holds exactly one integer field (such as %06d) and no other field
// apart from %%, so that it can be formatted with one frame number.
bool isFramePattern(std::string_view pattern);
std::string formatFramePath(const std::string& pattern, int64_t frame);

}  // namespace duskmere

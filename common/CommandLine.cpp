#include "CommandLine.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace duskmere {

std::optional<uint64_t> parseSeed(std::string_view text) {
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    if (text.empty() || !std::isxdigit(static_cast<unsigned char>(text[0]))) return std::nullopt;
    uint64_t value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

std::optional<int64_t> parseCount(std::string_view text, int64_t lo, int64_t hi) {
    if (text.empty() || !std::isdigit(static_cast<unsigned char>(text[0]))) return std::nullopt;
    int64_t value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || value < lo || value > hi) return std::nullopt;
    return value;
}

std::optional<PixelSize> parseSize(std::string_view text, int64_t maxSide) {
    const size_t x = text.find('x');
    if (x == std::string_view::npos) return std::nullopt;
    const auto w = parseCount(text.substr(0, x), 1, maxSide);
    const auto h = parseCount(text.substr(x + 1), 1, maxSide);
    if (!w || !h) return std::nullopt;
    return PixelSize{*w, *h};
}

std::optional<double> parseDecimal(std::string_view text, double max) {
    if (text.empty() || !std::isdigit(static_cast<unsigned char>(text[0]))) return std::nullopt;
    double value = 0;
#if defined(__cpp_lib_to_chars)
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, std::chars_format::fixed);
    if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
#else
    // Older libc++ (Emscripten's) parses no floating point with from_chars. Accept the same
    // digits with at most one point; strtod rounds them as from_chars would (the C locale, as a
    // library that never calls setlocale has).
    const size_t point = text.find('.');
    if (text.find_first_not_of("0123456789.") != std::string_view::npos ||
        (point != std::string_view::npos && text.find('.', point + 1) != std::string_view::npos))
        return std::nullopt;
    const std::string copy(text);
    value = std::strtod(copy.c_str(), nullptr);
#endif
    if (!(value >= 0) || value > max) return std::nullopt;
    return value;
}

std::optional<double> parseScale(std::string_view text, double max) {
    const std::optional<double> value = parseDecimal(text, max);
    return value && *value > 0 ? value : std::nullopt;
}

std::string deviceBudgetError(double width, double height, double scale) {
    // The presenter's own rounding of a side: whole device pixels, partly covered ones included.
    const double w = std::ceil(width * scale), h = std::ceil(height * scale);
    const std::string size = std::to_string(static_cast<int64_t>(w)) + " x " + std::to_string(static_cast<int64_t>(h));
    if (w > static_cast<double>(maxDeviceSide) || h > static_cast<double>(maxDeviceSide))
        return size + " device pixels, more than " + std::to_string(maxDeviceSide) + " a side";
    if (w * h > static_cast<double>(maxDevicePixels))
        return size + " device pixels, more than " + std::to_string(maxDevicePixels) + " in all";
    return {};
}

bool isFramePattern(std::string_view pattern) {
    int fields = 0;
    for (size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] != '%') continue;
        if (i + 1 < pattern.size() && pattern[i + 1] == '%') {
            ++i;
            continue;
        }
        size_t j = i + 1;
        while (j < pattern.size() && (pattern[j] == '0' || pattern[j] == '-' || pattern[j] == '+' || pattern[j] == ' '))
            ++j;
        size_t digits = 0;
        while (j < pattern.size() && std::isdigit(static_cast<unsigned char>(pattern[j]))) ++j, ++digits;
        if (digits > 3 || j >= pattern.size() || (pattern[j] != 'd' && pattern[j] != 'i' && pattern[j] != 'u'))
            return false;
        ++fields;
        i = j;
    }
    return fields == 1;
}

std::string formatFramePath(const std::string& pattern, int64_t frame) {
    // The only field is an integer one (isFramePattern); widen it to long long for the frame.
    std::string format;
    for (size_t i = 0; i < pattern.size(); ++i) {
        format += pattern[i];
        if (pattern[i] != '%') continue;
        if (pattern[i + 1] == '%') {
            format += pattern[++i];
            continue;
        }
        while (!(pattern[i + 1] == 'd' || pattern[i + 1] == 'i' || pattern[i + 1] == 'u')) format += pattern[++i];
        format += "ll";
        format += 'd';
        ++i;
    }
    const int n = std::snprintf(nullptr, 0, format.c_str(), static_cast<long long>(frame));
    std::vector<char> out(static_cast<size_t>(n) + 1);
    std::snprintf(out.data(), out.size(), format.c_str(), static_cast<long long>(frame));
    return std::string(out.data(), static_cast<size_t>(n));
}

std::optional<int64_t> parseFrameCount(std::string_view text) { return parseCount(text, 0, INT64_MAX); }

std::string badFrameCount(std::string_view text) {
    return "bad frame count '" + std::string(text) + "': give a whole number, 0 or more";
}

}  // namespace duskmere

#include "CommandLine.h"

#include <gtest/gtest.h>

namespace duskmere {
namespace {

TEST(CommandLine, SeedsAreDecimalOrHexAndNothingElse) {
    EXPECT_EQ(parseSeed("0"), 0u);
    EXPECT_EQ(parseSeed("18446744073709551615"), UINT64_MAX);
    EXPECT_EQ(parseSeed("0xffffffffffffffff"), UINT64_MAX);
    EXPECT_EQ(parseSeed("0X1f"), 31u);
    for (const char* bad : {"", "-1", "+1", "18446744073709551616", "0x", "0x10000000000000000", "12a", "0x1g",
                            " 1", "1 ", "abc", "0xx1"})
        EXPECT_FALSE(parseSeed(bad).has_value()) << bad;
}

TEST(CommandLine, SizesAndCountsStayInRange) {
    const auto s = parseSize("720x450", 16384);
    ASSERT_TRUE(s);
    EXPECT_EQ(s->width, 720);
    EXPECT_EQ(s->height, 450);
    EXPECT_TRUE(parseSize("16384x1", 16384));
    for (const char* bad : {"0x5", "5x0", "16385x1", "100000x100000", "5", "5x", "x5", "-5x5", "5x5x5", "5X5", ""})
        EXPECT_FALSE(parseSize(bad, 16384)) << bad;
    EXPECT_EQ(parseCount("0", 0, 10), 0);
    EXPECT_FALSE(parseCount("0", 1, 10));
    EXPECT_FALSE(parseCount("99999999999999999999", 0, INT64_MAX));
    EXPECT_EQ(parseScale("1.5", 4), 1.5);
    EXPECT_FALSE(parseScale("0", 4));
    EXPECT_EQ(parseDecimal("0", 4), 0.0);
    EXPECT_FALSE(parseDecimal("-1", 4));
    EXPECT_FALSE(parseScale("5", 4));
    EXPECT_FALSE(parseScale("nan", 4));
}

TEST(CommandLine, DevicePicturesStayWithinOneBudget) {
    EXPECT_EQ(deviceBudgetError(1920, 1080, 4), "");     // an 8K picture
    EXPECT_EQ(deviceBudgetError(3840, 2160, 2), "");
    EXPECT_EQ(deviceBudgetError(32767, 1, 1), "");
    EXPECT_NE(deviceBudgetError(1920, 1080, 16).find("30720 x 17280"), std::string::npos);
    EXPECT_NE(deviceBudgetError(1920, 1080, 4.5).find("in all"), std::string::npos);
    EXPECT_NE(deviceBudgetError(16000, 100, 4).find("a side"), std::string::npos);
    EXPECT_NE(deviceBudgetError(21846, 1, 1.5), "");  // 32769 after rounding up
}

TEST(CommandLine, FramePatternsHoldOneIntegerField) {
    EXPECT_TRUE(isFramePattern("frame-%06d.png"));
    EXPECT_TRUE(isFramePattern("100%%/f%d.png"));
    EXPECT_TRUE(isFramePattern("%u"));
    for (const char* bad : {"frame.png", "%d-%d.png", "%s.png", "%n", "%06", "%9999d", "%%d"})
        EXPECT_FALSE(isFramePattern(bad)) << bad;
    EXPECT_EQ(formatFramePath("frame-%06d.png", 42), "frame-000042.png");
    EXPECT_EQ(formatFramePath("100%%/f%d.png", 12345678901LL), "100%/f12345678901.png");
}

}  // namespace
}  // namespace duskmere

#include "WaylandOptions.h"

#include <gtest/gtest.h>

namespace duskmere {
namespace {

TEST(WaylandOptions, IdleTakesWholeSecondsInRangeAndOnlyInSaverMode) {
    struct Case {
        std::vector<std::string> args;
        uint32_t seconds;   // when good
        std::string error;  // a part of the one line, when bad
    };
    const std::vector<Case> cases = {
        {{"--idle", "300"}, 300, ""},
        {{"-idle=1", "--seed", "7", "--frames", "30", "--capture", "x.png"}, 1, ""},
        {{"--idle", "86400"}, 86400, ""},
        {{"--idle"}, 0, "--idle needs a number of seconds"},
        {{"--idle", "0"}, 0, "--idle needs a whole number of seconds from 1 to 86400, not '0'"},
        {{"--idle", "86401"}, 0, "not '86401'"},
        {{"--idle", "1.5"}, 0, "not '1.5'"},
        {{"--idle", "5m"}, 0, "not '5m'"},
        {{"--idle", "5", "--window"}, 0, "--idle shows the saver; it excludes --window"},
        {{"--wallpaper", "--idle", "5"}, 0, "--idle shows the saver; it excludes --wallpaper"},
    };
    for (const Case& c : cases) {
        const Parsed<WaylandOptions> p = parseWaylandOptions(c.args);
        if (c.error.empty()) {
            EXPECT_EQ(p.error, "") << c.args[0];
            EXPECT_EQ(p.options.idleSeconds, c.seconds) << c.args[0];
        } else {
            EXPECT_NE(p.error.find(c.error), std::string::npos) << c.args[0] << ": " << p.error;
            EXPECT_EQ(p.error.find('\n'), std::string::npos);
        }
    }
    EXPECT_FALSE(parseWaylandOptions({}).options.idleSeconds);
}

}  // namespace
}  // namespace duskmere

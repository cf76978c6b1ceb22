#include <gtest/gtest.h>

#include "SaverArguments.h"

namespace duskmere {
namespace {

using Mode = SaverArguments::Mode;

struct Row {
    std::vector<std::string> args;
    Mode mode;
    uint64_t window;
    const char* error;  // a part of the expected error; nullptr when the arguments are good
};

// The ways Windows (and people reporting bugs) start a saver.
TEST(SaverArguments, Table) {
    const Row rows[] = {
        {{}, Mode::settings, 0, nullptr},
        {{"/s"}, Mode::fullScreen, 0, nullptr},
        {{"/S"}, Mode::fullScreen, 0, nullptr},
        {{"-s"}, Mode::fullScreen, 0, nullptr},
        {{"/s", "extra"}, Mode::fullScreen, 0, nullptr},
        {{"/p", "1234"}, Mode::preview, 1234, nullptr},
        {{"/P:1234"}, Mode::preview, 1234, nullptr},
        {{"-p", "4294967295"}, Mode::preview, 4294967295u, nullptr},
        {{"/p", "18446744073709551615"}, Mode::preview, UINT64_MAX, nullptr},
        {{"/p"}, Mode::settings, 0, "/p needs"},
        {{"/p", "0"}, Mode::settings, 0, "/p needs"},
        {{"/p", "-5"}, Mode::settings, 0, "/p needs"},
        {{"/p", "0x10"}, Mode::settings, 0, "/p needs"},
        {{"/p:"}, Mode::settings, 0, "/p needs"},
        {{"/p", "18446744073709551616"}, Mode::settings, 0, "/p needs"},
        {{"/c"}, Mode::settings, 0, nullptr},
        {{"/c:5678"}, Mode::settings, 5678, nullptr},
        {{"/C", "5678"}, Mode::settings, 5678, nullptr},
        {{"/c", "later"}, Mode::settings, 0, nullptr},
        {{"/c:"}, Mode::settings, 0, nullptr},
        {{"/c:abc"}, Mode::settings, 0, "/c takes"},
        {{"/a"}, Mode::password, 0, nullptr},
        {{"/A:99"}, Mode::password, 0, nullptr},
        {{"/x"}, Mode::settings, 0, nullptr},
        {{"/screen"}, Mode::settings, 0, nullptr},
        {{"word"}, Mode::settings, 0, nullptr},
        {{"/x", "/s"}, Mode::settings, 0, nullptr},
        {{"/s", "--seed", "0x10", "--frames", "120", "--capture", "out.png"}, Mode::fullScreen, 0, nullptr},
        {{"--frames=3", "/p:77"}, Mode::preview, 77, nullptr},
        {{"/s", "--seed", "x"}, Mode::fullScreen, 0, "--seed needs"},
        {{"/s", "--frames", "0"}, Mode::fullScreen, 0, nullptr},
        {{"/s", "--frames", "-1"}, Mode::fullScreen, 0, "bad frame count '-1': give a whole number, 0 or more"},
        {{"/s", "--frames"}, Mode::fullScreen, 0, "--frames needs a value"},
        {{"/s", "--capture="}, Mode::fullScreen, 0, "--capture needs"},
        {{"/s", "--fps"}, Mode::fullScreen, 0, "unknown option --fps"},
        {{"/c", "--seed", "1"}, Mode::settings, 0, "go with /s or /p"},
        {{"--frames", "5"}, Mode::settings, 0, "go with /s or /p"},
        {{"--version"}, Mode::settings, 0, nullptr},
        {{"--version=1"}, Mode::settings, 0, "--version takes no value"},
        // Our options with one dash, before or after the switch; -s, -p and -c stay switches.
        {{"-seed", "5", "/s"}, Mode::fullScreen, 0, nullptr},
        {{"/s", "-seed", "x"}, Mode::fullScreen, 0, "--seed needs"},
        {{"-frames=3", "-p", "77"}, Mode::preview, 77, nullptr},
        {{"-capture", "a.png", "-c"}, Mode::settings, 0, "go with /s or /p"},
    };
    for (const Row& row : rows) {
        std::string label;
        for (const std::string& a : row.args) label += "[" + a + "]";
        const Parsed<SaverArguments> parsed = parseSaverArguments(row.args);
        if (row.error) {
            EXPECT_NE(parsed.error.find(row.error), std::string::npos) << label << ": " << parsed.error;
            continue;
        }
        EXPECT_EQ(parsed.error, "") << label;
        EXPECT_EQ(parsed.options.mode, row.mode) << label;
        EXPECT_EQ(parsed.options.window, row.window) << label;
    }
}

TEST(SaverArguments, OurOptionsKeepTheirValues) {
    const Parsed<SaverArguments> parsed =
        parseSaverArguments({"/s", "--seed=4242", "--frames", "120", "--capture", "C:\\out dir\\a.png"});
    ASSERT_EQ(parsed.error, "");
    EXPECT_EQ(parsed.options.seed, 4242u);
    EXPECT_EQ(parsed.options.frames, 120);
    EXPECT_EQ(parsed.options.capture, "C:\\out dir\\a.png");
    EXPECT_TRUE(parseSaverArguments({"--version"}).options.version);
    EXPECT_EQ(parseSaverArguments({"/s", "-seed", "5"}).options.seed, 5u);
}

}  // namespace
}  // namespace duskmere

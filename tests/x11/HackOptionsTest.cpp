#include "HackOptions.h"

#include <gtest/gtest.h>

namespace duskmere {
namespace {

Parsed<HackOptions> parse(std::vector<std::string> args) { return parseHackOptions(args); }

TEST(HackOptions, AcceptsEveryHostOptionInBothSpellings) {
    for (const char* dashes : {"-", "--"}) {
        const std::string d = dashes;
        const Parsed<HackOptions> p =
            parse({d + "root", d + "mono", d + "install", d + "noinstall", d + "visual", "TrueColor", d + "pair",
                   d + "fps", d + "delay", "20000", d + "window", d + "no-fps"});
        EXPECT_EQ(p.error, "") << d;
        EXPECT_EQ(p.options.target, HackOptions::Target::ownWindow) << d;  // -window came last
        EXPECT_FALSE(p.options.fps) << d;
    }
    EXPECT_TRUE(parse({"--fps"}).options.fps);
    EXPECT_EQ(parse({"-root"}).options.target, HackOptions::Target::root);
}

TEST(HackOptions, WindowIdWinsOverRootAndWindow) {
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"-root", "-window-id", "0x2a00007"}, {"--window-id", "44040199", "-root"},
          {"-window", "--window-id=0x2A00007"}}) {
        const Parsed<HackOptions> p = parse(args);
        ASSERT_EQ(p.error, "");
        EXPECT_EQ(p.options.target, HackOptions::Target::windowId);
        EXPECT_EQ(p.options.windowId, 0x2a00007u);
    }
}

TEST(HackOptions, OwnOptions) {
    const Parsed<HackOptions> p = parse({"--scene", "city", "-seed", "0xDEADbeef", "--backing-scale", "1.5",
                                       "--frames", "12", "-capture", "/tmp/x.png", "-display", ":3"});
    ASSERT_EQ(p.error, "");
    EXPECT_EQ(p.options.scene, "city");
    EXPECT_EQ(p.options.seed, 0xDEADBEEFu);
    EXPECT_EQ(p.options.backingScale, 1.5);
    EXPECT_EQ(p.options.frames, 12);
    EXPECT_EQ(p.options.capture, "/tmp/x.png");
    EXPECT_EQ(p.options.display, ":3");
    EXPECT_EQ(parse({"--seed=18446744073709551615"}).options.seed, UINT64_MAX);
    EXPECT_TRUE(parse({"--help"}).options.help);
    EXPECT_TRUE(parse({"-version"}).options.version);
    const Parsed<HackOptions> none = parse({});
    EXPECT_EQ(none.options.target, HackOptions::Target::ownWindow);
    EXPECT_FALSE(none.options.seed);
    EXPECT_FALSE(none.options.frames);
}

TEST(HackOptions, BadInputIsOneLineNamingTheProblem) {
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"-bogus"}, "unknown option '-bogus'"},
        {{"--frames"}, "--frames needs a number of frames"},
        {{"--frames", "-1"}, "bad frame count '-1': give a whole number, 0 or more"},
        {{"--frames", "12x"}, "bad frame count '12x': give a whole number, 0 or more"},
        {{"--seed", "0x"}, "--seed needs a number, decimal or 0x hex, not '0x'"},
        {{"--seed", "18446744073709551616"}, "not '18446744073709551616'"},
        {{"-window-id", "0"}, "-window-id needs a window id"},
        {{"-window-id", "zz"}, "-window-id needs a window id"},
        {{"-delay", "fast"}, "-delay needs a number of microseconds, not 'fast'"},
        {{"--backing-scale", "0"}, "--backing-scale needs a number above 0"},
        {{"--backing-scale", "nan"}, "--backing-scale needs a number above 0"},
        {{"--scene", "ocean"}, "unknown scene 'ocean'"},
        {{"--capture", ""}, "--capture needs a file name"},
        {{"-root=1"}, "-root takes no value"},
        {{"--version=2"}, "--version takes no value"},
        {{"stray"}, "unexpected argument 'stray'"},
        {{"-visual"}, "-visual needs a visual name"},
    };
    for (const auto& [args, expected] : cases) {
        const Parsed<HackOptions> p = parse(args);
        EXPECT_NE(p.error.find(expected), std::string::npos) << args[0] << ": " << p.error;
        EXPECT_EQ(p.error.find('\n'), std::string::npos);
    }
}

}  // namespace
}  // namespace duskmere

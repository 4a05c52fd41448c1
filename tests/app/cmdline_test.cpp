#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/cmdline.h"
#include "core/config.h"
#include "core/settings.h"

namespace {

// Parses a command line (without the program name) into fresh settings; returns the result
// and keeps what was printed to standard error.
struct Parsed {
    int result;
    std::string err;
};

Parsed parse(std::vector<std::string> args) {
    g_settings = Settings{};
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    testing::internal::CaptureStderr();
    int r = cmdline_parse((int)args.size(), argv.data());
    return {r, testing::internal::GetCapturedStderr()};
}

} // namespace

TEST(ArgMatching, SwitchNeedsExactNameAndConsumesOneArgument) {
    std::vector<std::string> args{"--warpx", "--warp"};
    char* argv[] = {args[0].data(), args[1].data()};
    ArgCursor c{2, argv, 0};
    EXPECT_FALSE(arg_switch(&c, "--warp"));
    EXPECT_EQ(c.remaining, 2);
    c.current++;
    c.remaining--;
    EXPECT_TRUE(arg_switch(&c, "--warp"));
    EXPECT_EQ(c.remaining, 0);
}

TEST(ArgMatching, ValueFormsAndTheEndOfOptions) {
    std::string a0 = "--track", a1 = "foo", a2 = "--track=bar", a3 = "--", a4 = "--track";
    char* argv[] = {a0.data(), a1.data(), a2.data(), a3.data(), a4.data()};
    ArgCursor c{5, argv, 0};
    const char* v = nullptr;
    ASSERT_TRUE(arg_value(&c, "--track", &v));
    EXPECT_STREQ(v, "foo");
    ASSERT_TRUE(arg_value(&c, "--track", &v));
    EXPECT_STREQ(v, "bar");
    EXPECT_FALSE(arg_value(&c, "--track", &v)); // "--" ends the options
    EXPECT_EQ(c.end_of_options, 1);
    EXPECT_EQ(c.remaining, 1);
    EXPECT_FALSE(arg_value(&c, "--track", &v));
    EXPECT_FALSE(arg_switch(&c, "--track"));
}

TEST(ArgMatching, ValuedOptionAsLastArgumentHasNoValue) {
    std::string a0 = "--track";
    char* argv[] = {a0.data()};
    ArgCursor c{1, argv, 0};
    const char* v = "x";
    ASSERT_TRUE(arg_value(&c, "--track", &v));
    EXPECT_EQ(v, nullptr);
    EXPECT_EQ(c.remaining, 0);
}

TEST(CommandLine, UnknownOptionAndSecondFileAreErrors) {
    Parsed p = parse({"--bogus"});
    EXPECT_EQ(p.result, 1);
    EXPECT_EQ(p.err, "bad option '--bogus'\n");
    p = parse({"a.qzdemo", "b.qzdemo"});
    EXPECT_EQ(p.result, 1);
    EXPECT_EQ(p.err, "Too many files!\n");
    p = parse({"a.qzdemo"});
    EXPECT_EQ(p.result, CMDLINE_OK);
    EXPECT_EQ(g_settings.demo_file, "a.qzdemo");
}

TEST(CommandLine, BadNumbersPrintTheirOwnMessage) {
    const char* opts[] = {"--texture-detail", "--ground-texture-detail",
                          "--roostfrequency", "--erode",
                          "--detail",         "--max-detail-distance",
                          "--lod-scale",      "--lod-bias",
                          "--lock-fps",       "--fake-lag",
                          "--fake-loss",      "--chase-center",
                          "--threads"};
    for (const char* o : opts) {
        Parsed missing = parse({o});
        EXPECT_EQ(missing.result, 1) << o;
        EXPECT_EQ(missing.err, std::string("Bad arg for ") + o + "\n");
        Parsed junk = parse({o, "abc"});
        EXPECT_EQ(junk.result, 1) << o;
        EXPECT_EQ(junk.err, std::string("Bad arg for ") + o + "\n");
    }
}

TEST(CommandLine, TextureLevelsAreClampedAndOrderMatters) {
    ASSERT_EQ(parse({"--texture-detail=7"}).result, CMDLINE_OK);
    EXPECT_EQ(g_settings.model_texture_level, 4);
    EXPECT_EQ(g_settings.ground_texture_level, 4);
    parse({"--texture-detail", "2", "--ground-texture-detail", "3"});
    EXPECT_EQ(g_settings.model_texture_level, 2);
    EXPECT_EQ(g_settings.ground_texture_level, 3);
    parse({"--ground-texture-detail", "3", "--texture-detail", "2"});
    EXPECT_EQ(g_settings.model_texture_level, 2);
    EXPECT_EQ(g_settings.ground_texture_level, 2);
    parse({"--texture-detail", "-3"});
    EXPECT_EQ(g_settings.model_texture_level, 0);
}

TEST(CommandLine, ClampedValues) {
    parse({"--erode", "-1"});
    EXPECT_EQ(g_settings.erode, 0.0f);
    parse({"--fake-lag", "250"});
    EXPECT_DOUBLE_EQ(g_settings.fake_lag, 250.0f * 0.001);
    parse({"--fake-lag", "5000"});
    EXPECT_DOUBLE_EQ(g_settings.fake_lag, 1.0);
    parse({"--fake-loss", "150"});
    EXPECT_EQ(g_settings.fake_loss, 100);
    parse({"--roostfrequency=5000"});
    EXPECT_EQ(g_settings.roost_frequency, 1000);
    parse({"--lod-scale", "0"});
    EXPECT_FLOAT_EQ(g_settings.lod_scale, 0.000001f);
    parse({"--threads", "12"});
    EXPECT_EQ(g_settings.threads, 8);
    parse({"--threads=0"});
    EXPECT_EQ(g_settings.threads, 1);
    parse({"--threads", "3"});
    EXPECT_EQ(g_settings.threads, 3);
    parse({"--detail", "-5", "--lod-bias", "-7"}); // not clamped
    EXPECT_FLOAT_EQ(g_settings.ground_detail, -5);
    EXPECT_FLOAT_EQ(g_settings.lod_bias, -7);
}

TEST(CommandLine, ChaseCenterNeedsThreeNumbers) {
    EXPECT_EQ(parse({"--chase-center", "1,2"}).result, 1);
    ASSERT_EQ(parse({"--chase-center=1,2.5,-3"}).result, CMDLINE_OK);
    EXPECT_FLOAT_EQ(g_settings.chase_center[0], 1);
    EXPECT_FLOAT_EQ(g_settings.chase_center[1], 2.5f);
    EXPECT_FLOAT_EQ(g_settings.chase_center[2], -3);
}

TEST(CommandLine, EndOfOptionsTakesDashedFileAndMayEndTheLine) {
    Parsed p = parse({"--", "-strange.qzdemo"});
    EXPECT_EQ(p.result, CMDLINE_OK);
    EXPECT_EQ(g_settings.demo_file, "-strange.qzdemo");
    p = parse({"--warp", "--"});
    EXPECT_EQ(p.result, CMDLINE_OK);
    EXPECT_EQ(g_settings.demo_file, "");
    EXPECT_EQ(g_settings.warp, 1);
    p = parse({"--fast"});
    EXPECT_EQ(p.result, CMDLINE_OK);
    EXPECT_EQ(g_settings.fast, 1);
    EXPECT_EQ(g_settings.warp, 0); // no restarts
}

TEST(CommandLine, ConnectPrefixIsRemoved) {
    parse({"--connect", "vornix:race.example.org:19800"});
    std::string with = g_settings.connect;
    parse({"--connect=race.example.org:19800"});
    EXPECT_EQ(with, g_settings.connect);
    EXPECT_EQ(with, "race.example.org:19800");
}

TEST(CommandLine, BikesNoticeAndNormalStart) {
    Parsed p = parse({"--bikes", "12", "--track", "rabbithill"});
    EXPECT_EQ(p.result, CMDLINE_OK);
    EXPECT_EQ(p.err, "--bikes doesn't do anything anymore\n");
    EXPECT_EQ(g_settings.track, "rabbithill");
}

TEST(CommandLine, ConfigValuesAndNumbersThatMustBeNumbers) {
    g_config.xres = 640;
    g_config.yres = 480;
    ASSERT_EQ(parse({"--width", "1024", "--draw-fps", "1", "--height=700"}).result, CMDLINE_OK);
    EXPECT_EQ(g_config.xres, 1024);
    EXPECT_EQ(g_config.yres, 700);
    EXPECT_EQ(g_config.draw_fps, 1);
    parse({"--rotate-lineup", "3", "--depth", "32"});
    EXPECT_EQ(g_settings.rotate_lineup, 3);
    EXPECT_EQ(g_settings.mode_word, 32);
    // Whole turns of the 40 gates: 83 places are 3.
    parse({"--rotate-lineup", "83"});
    EXPECT_EQ(g_settings.rotate_lineup, 3);
    // Unreadable values are bad arguments too, and the stored size is left alone.
    for (const char* o : {"--width", "--height", "--rotate-lineup", "--depth", "--draw-fps",
                          "--draw-time", "--draw-ping", "--draw-render-stats"}) {
        Parsed junk = parse({o, "abc"});
        EXPECT_EQ(junk.result, 1) << o;
        EXPECT_EQ(junk.err, std::string("Bad arg for ") + o + "\n");
    }
    EXPECT_EQ(g_config.xres, 1024);
    EXPECT_EQ(g_config.yres, 700);
    // The display options keep their value when they are the last argument.
    EXPECT_EQ(parse({"--draw-fps"}).result, CMDLINE_OK);
    EXPECT_EQ(g_config.draw_fps, 1);
}

TEST(CommandLine, NumbersOutsideTheirRangeAreBadArguments) {
    struct Case {
        const char* option;
        const char* value;
    };
    const Case bad[] = {
        // Pacing that can never be honoured: a frame step of zero, of 1e30 s, or overflowing.
        {"--lock-fps", "inf"},
        {"--lock-fps", "1e400"},
        {"--lock-fps", "2147483648"},
        {"--lock-fps", "1e-30"},
        {"--lock-fps", "nan"},
        {"--lock-fps", "0.5"},
        {"--lock-fps", "1000.5"},
        {"--quit-after", "nan"},
        {"--quit-after", "inf"},
        {"--quit-after", "-1"},
        {"--quit-after", "1e7"},
        {"--width", "0"},
        {"--width", "63"},
        {"--width", "16385"},
        {"--height", "100000"},
        {"--height", "-480"},
        {"--width", "99999999999"},
        {"--depth", "70000"},
        {"--rotate-lineup", "-1"},
        {"--texture-detail", "2147483648"},
        {"--roostfrequency", "-99999999999"},
        {"--erode", "nan"},
        {"--detail", "inf"},
        {"--lod-scale", "1e39"},
        {"--lod-bias", "-inf"},
        {"--fake-lag", "nan"},
        {"--max-detail-distance", "inf"},
        {"--chase-center", "0,nan,0"},
        {"--chase-center", "0,2,1e30"},
        {"--draw-fps", "4294967296"},
    };
    for (const Case& c : bad) {
        Parsed p = parse({c.option, c.value});
        EXPECT_EQ(p.result, 1) << c.option << " " << c.value;
        EXPECT_EQ(p.err, std::string("Bad arg for ") + c.option + "\n") << c.value;
    }
    // The ends of the ranges, and "off".
    ASSERT_EQ(
        parse({"--lock-fps", "1", "--quit-after", "0", "--width", "64", "--height=16384"}).result,
        CMDLINE_OK);
    EXPECT_FLOAT_EQ(g_settings.lock_fps, 1);
    EXPECT_EQ(g_settings.quit_after, 0);
    EXPECT_EQ(g_config.xres, 64);
    EXPECT_EQ(g_config.yres, 16384);
    ASSERT_EQ(parse({"--lock-fps", "1000", "--quit-after", "1e6"}).result, CMDLINE_OK);
    EXPECT_FLOAT_EQ(g_settings.lock_fps, 1000);
    ASSERT_EQ(parse({"--lock-fps", "0"}).result, CMDLINE_OK);
    EXPECT_EQ(g_settings.lock_fps, 0);
    ASSERT_EQ(parse({"--lock-fps", "-5"}).result, CMDLINE_OK);
    EXPECT_EQ(g_settings.lock_fps, 0);
    // Clamped options still clamp what is a number.
    ASSERT_EQ(parse({"--roostfrequency", "2147483647", "--erode", "1e30"}).result, CMDLINE_OK);
    EXPECT_EQ(g_settings.roost_frequency, 1000);
    EXPECT_EQ(g_settings.erode, 1.0f);
}

TEST(CommandLine, SwitchesAndAdditions) {
    Parsed p = parse({"--fugly", "--nosound", "--super-debug", "--hidden-hud", "--hidden-pause",
                      "--headless", "--quit-after", "2.5", "--lock-fps", "64"});
    ASSERT_EQ(p.result, CMDLINE_OK);
    EXPECT_EQ(g_settings.fugly, 1);
    EXPECT_EQ(g_settings.nosound, 1);
    EXPECT_EQ(g_settings.debug_level, 2);
    EXPECT_EQ(g_settings.show_hud, 0);
    EXPECT_EQ(g_settings.show_pause_text, 0);
    EXPECT_EQ(g_settings.headless, 1);
    EXPECT_DOUBLE_EQ(g_settings.quit_after, 2.5);
    EXPECT_FLOAT_EQ(g_settings.lock_fps, 64);
    EXPECT_EQ(parse({"--open-home"}).result, 0);
}

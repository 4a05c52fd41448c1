// The real program under a virtual display (xvfb-run) and headless: the window, GL, scripted
// input, screenshots and audio recording.
#include <gtest/gtest.h>

#include <cstdint>

#include "support/test_env.h"

namespace {

void make_track() {
    write_file(test_game_dir() + "/rabbithill/terrain.hf", "x");
}

bool has_line(const std::string& text, const std::string& piece) {
    return text.find(piece) != std::string::npos;
}

// Runs the program under a virtual 24-bit display; a slow machine gets plenty of time.
RunResult run_in_display(const std::string& args) {
    return run_command("timeout 300 " + xvfb_run_a() + " -s '-screen 0 1024x768x24' " +
                       std::string(VORNIX_BIN) + " " + args);
}

uint32_t be32(const std::string& s, size_t at) {
    return (uint32_t)(unsigned char)s[at] << 24 | (uint32_t)(unsigned char)s[at + 1] << 16 |
           (uint32_t)(unsigned char)s[at + 2] << 8 | (uint32_t)(unsigned char)s[at + 3];
}

} // namespace

TEST(PlatformWindow, WindowedRunKeepsItsSizeAndLogsModesAndGl) {
    make_track();
    write_file(test_user_dir() + "config", "video_mode=Windowed\n");
    RunResult r = run_in_display("--width 640 --height 480 --quit-after 2");
    ASSERT_EQ(r.status, 0) << r.err;
    std::string config = read_file(test_user_dir() + "config");
    EXPECT_TRUE(has_line(config, "xres=640\n")) << config;
    EXPECT_TRUE(has_line(config, "yres=480\n")) << config;
    EXPECT_TRUE(has_line(config, "video_mode=Windowed\n")) << config;
    std::string log = read_file(test_user_dir() + "lastlog.txt");
    EXPECT_TRUE(has_line(log, "Registry mode is 1024x768x24@")) << log;
    EXPECT_TRUE(has_line(log, "Creating window\n")) << log;
    EXPECT_TRUE(has_line(log, "Creating OpenGL context\n")) << log;
    EXPECT_TRUE(has_line(log, "GL_VENDOR: ")) << log;
    EXPECT_TRUE(has_line(log, "GL_RENDERER: ")) << log;
    EXPECT_TRUE(has_line(log, "GL_VERSION: ")) << log;
    EXPECT_TRUE(has_line(log, "GL_EXTENSIONS: ")) << log;
    EXPECT_TRUE(has_line(log, "Window shutdown complete\n")) << log;
}

TEST(PlatformWindow, ScriptedScreenshotKey) {
    make_track();
    write_file(test_user_dir() + "config", "video_mode=Windowed\n");
    write_file("keys.txt", "# the screenshot key, twice\n0.3 tap s\n0.8 tap s\n");
    RunResult r = run_in_display("--width 320 --height 240 --script keys.txt --quit-after 2");
    ASSERT_EQ(r.status, 0) << r.err;
    std::string log = read_file(test_user_dir() + "lastlog.txt");
    EXPECT_TRUE(has_line(log, "Saved \"screenshot001.png\"\n")) << log;
    EXPECT_TRUE(has_line(log, "Saved \"screenshot002.png\"\n")) << log;
    bool ok = false;
    std::string png = read_file(test_user_dir() + "screenshot001.png", &ok);
    ASSERT_TRUE(ok);
    ASSERT_GT(png.size(), 33u);
    EXPECT_EQ(png.substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8));
    EXPECT_EQ(png.substr(12, 4), "IHDR");
    EXPECT_EQ(be32(png, 16), 320u);
    EXPECT_EQ(be32(png, 20), 240u);
    EXPECT_EQ(png[24], 8); // bits per sample
    EXPECT_EQ(png[25], 2); // RGB

    // The next run goes on from the largest number among the data names.
    write_file(test_user_dir() + "screenshot017.png", "old");
    write_file("keys.txt", "0.3 tap s\n");
    r = run_in_display("--width 320 --height 240 --script keys.txt --quit-after 1");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(file_exists(test_user_dir() + "screenshot018.png"));
}

TEST(PlatformHeadless, RecordedAudioIsOneBlockPerTickOfSilence) {
    make_track();
    RunResult r = run_command("env -u DISPLAY " + std::string(VORNIX_BIN) +
                              " --headless --record-audio out.raw --quit-after 1");
    ASSERT_EQ(r.status, 0) << r.err;
    bool ok = false;
    std::string raw = read_file(test_dir() + "/out.raw", &ok);
    ASSERT_TRUE(ok);
    // 690 samples of 2 bytes per tick, 128 ticks per simulated second; the last frame may run
    // up to 16 ticks past the second.
    const size_t block = 690 * 2;
    EXPECT_EQ(raw.size() % block, 0u);
    EXPECT_GE(raw.size(), 128 * block);
    EXPECT_LE(raw.size(), (128 + 16) * block);
    EXPECT_EQ(raw.find_first_not_of('\0'), std::string::npos); // silence is 0 in 16-bit samples
    std::string log = read_file(test_user_dir() + "lastlog.txt");
    EXPECT_TRUE(has_line(log, "Opening readback audio...\n")) << log;
    EXPECT_TRUE(has_line(log, "Audio opened!\n")) << log;
}

TEST(PlatformHeadless, ScriptedCloseEndsTheRun) {
    make_track();
    write_file("quit.txt", "0.2 press Close\n");
    RunResult r = run_command("timeout 300 " + std::string(VORNIX_BIN) +
                              " --headless --script quit.txt --quit-after 200");
    ASSERT_EQ(r.status, 0) << r.err;
    std::string log = read_file(test_user_dir() + "lastlog.txt");
    EXPECT_TRUE(has_line(log, "Close requested\n")) << log;
}

TEST(PlatformHeadless, BadScriptIsACommandLineError) {
    make_track();
    RunResult r = run_vornix("--headless --script missing.txt");
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(has_line(r.err, "missing.txt")) << r.err;
    r = run_vornix("--headless --script");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Bad arg for --script\n");
}

// Races run by the real program, headless on the generated data: "--race" with the configured
// lineup, demo recording, and playing the recording back from the command line.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <regex>

#include "support/test_env.h"

namespace {

// A configuration of a few lines.
void setup(const std::string& config) {
    write_file(test_user_dir() + "config", config);
}

// The program on the generated game data.
RunResult run_game(const std::string& args) {
    return run_command("QZ_HOME='" VORNIX_BUILD_DIR "/data' " + std::string(VORNIX_BIN) + " " +
                       args);
}

std::string user_file(const std::string& name) {
    return read_file(test_user_dir() + name);
}

// The demo's text part: header, track and rider blocks; *riders gets the rider count.
std::string demo_text(const std::string& demo, int* riders) {
    *riders = -1;
    size_t end = demo.find('\n');
    if (end == std::string::npos || sscanf(demo.c_str(), "QZ05 %d", riders) != 1) return "";
    for (int i = 0; i < 1 + 2 * *riders; i++) end = demo.find('\n', end + 1);
    return end == std::string::npos ? "" : demo.substr(0, end + 1);
}

TEST(RaceRun, RaceOptionPutsThePlayerAtTheGateAndRecords) {
    setup("record=Yes\nlaps=2\nslot00=Human\nslot01=Robot\n");
    RunResult r = run_game("--headless --track rabbithill --race --warp --quit-after 5");
    ASSERT_EQ(r.status, 0) << r.err;
    std::string demo = user_file("demos/default.qzdemo");
    int riders;
    std::string text = demo_text(demo, &riders);
    ASSERT_EQ(riders, 2) << demo.substr(0, 200);
    EXPECT_TRUE(std::regex_search(
        text, std::regex("^QZ05 2 0 2 \\d+\nrabbithill\ncrf250\\(2009\\)\\|[^\n]*\n999\n")))
        << text;
    // One frame of 2 x 39 bytes per tick, and one at the start.
    EXPECT_EQ((demo.size() - text.size()) % 78, 0u);
    EXPECT_GE((demo.size() - text.size()) / 78, 5u * 128 + 1);
}

// The frame position (x, z) of rider `rider` of `riders` in frame `frame` of a demo whose
// frames start at byte `start`: little-endian 24-bit codes of the field's extent.
void demo_xz(const std::string& demo, size_t start, int riders, int rider, size_t frame,
             float extent, float out[2]) {
    const unsigned char* r =
        (const unsigned char*)demo.data() + start + 39 * (frame * riders + rider);
    for (int k = 0; k < 2; k++) {
        const unsigned char* b = r + 6 * k; // bytes 0-2 hold x, 6-8 hold z
        unsigned code = b[0] | b[1] << 8 | b[2] << 16;
        out[k] = extent * (float)code / 16777215.0f;
    }
}

// How far rider 0 of the demo is from where it stood in the first frame, in the last frame
// before the gate drops and in the last frame.
void player_travel(const std::string& demo, float* before_drop, float* at_end) {
    int riders = -1, length = 0, laps = 0, start_tick = 0;
    std::string text = demo_text(demo, &riders);
    ASSERT_EQ(riders, 1) << demo.substr(0, 200);
    ASSERT_EQ(sscanf(demo.c_str(), "QZ05 %d %d %d %d", &riders, &length, &laps, &start_tick), 4);
    // The field's extent: "shift spacing ..." of the track's height field.
    int shift = 0;
    float spacing = 0;
    std::string hf = read_file(VORNIX_BUILD_DIR "/data/rabbithill/terrain.hf");
    ASSERT_EQ(sscanf(hf.c_str(), "%d %f", &shift, &spacing), 2);
    float extent = 2.0f * (float)(1 << shift) * spacing;
    size_t frames = (demo.size() - text.size()) / 39;
    ASSERT_GT(frames, (size_t)start_tick + 5 * 128);
    float first[2], drop[2], last[2];
    demo_xz(demo, text.size(), 1, 0, 0, extent, first);
    demo_xz(demo, text.size(), 1, 0, start_tick, extent, drop);
    demo_xz(demo, text.size(), 1, 0, frames - 1, extent, last);
    *before_drop = std::hypot(drop[0] - first[0], drop[1] - first[1]);
    *at_end = std::hypot(last[0] - first[0], last[1] - first[1]);
}

TEST(RaceRun, ThePlayersThrottleMovesItsBikeOnceTheGateDrops) {
    // Offline nothing holds the player before the start, so the throttle goes on just after
    // the latest possible drop (15 s). The run keeps real time so that the script's seconds
    // are the race's.
    setup("record=Yes\nlaps=2\nslot00=Human\n");
    write_file("keys.txt", "15.5 press x\n");
    RunResult r =
        run_game("--headless --track rabbithill --race --quit-after 20 --script keys.txt");
    ASSERT_EQ(r.status, 0) << r.err;
    float before_drop = -1, at_end = -1;
    player_travel(user_file("demos/default.qzdemo"), &before_drop, &at_end);
    EXPECT_LT(before_drop, 1.0f); // still at the gate
    EXPECT_GT(at_end, 10.0f);     // then away under throttle

    // Without the key the bike stays where it was put.
    setup("record=Yes\nlaps=2\nslot00=Human\n");
    r = run_game("--headless --track rabbithill --race --warp --quit-after 20");
    ASSERT_EQ(r.status, 0) << r.err;
    player_travel(user_file("demos/default.qzdemo"), &before_drop, &at_end);
    EXPECT_LT(before_drop, 1.0f);
    EXPECT_LT(at_end, 1.0f);
}

TEST(RaceRun, TrackOptionAloneRecordsNothing) {
    // The start-up race is a lone robot without recording, whatever the setting says.
    setup("record=Yes\n");
    RunResult r = run_game("--headless --track rabbithill --warp --quit-after 2 --debug");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_FALSE(file_exists(test_user_dir() + "demos/default.qzdemo"));
    std::string log = user_file("lastlog.txt");
    EXPECT_NE(log.find("rider 0: "), std::string::npos) << log;
    EXPECT_EQ(log.find("rider 1: "), std::string::npos) << log;
}

TEST(RaceRun, DemoOnTheCommandLinePlaysOnItsOwnTrack) {
    setup("record=Yes\nslot00=Robot\nslot03=Robot (2 stroke)\n");
    ASSERT_EQ(run_game("--headless --track rabbithill --race --warp --quit-after 3").status, 0);
    std::string recorded = user_file("demos/default.qzdemo");
    int riders;
    std::string text = demo_text(recorded, &riders);
    ASSERT_EQ(riders, 2);
    // Its riders' numbers, in slot order.
    std::vector<std::string> lines = split_lines(text);
    std::string first = lines[3], second = lines[5];

    RunResult r = run_game("--headless --debug --track dunebay demos/default.qzdemo --warp "
                           "--quit-after 3");
    ASSERT_EQ(r.status, 0) << r.err;
    std::string log = user_file("lastlog.txt");
    EXPECT_NE(log.find("Loading '@rabbithill'"), std::string::npos) << log;
    EXPECT_EQ(log.find("Loading '@dunebay'"), std::string::npos) << log;
    EXPECT_NE(log.find("rider 0: " + first + " on "), std::string::npos) << log;
    EXPECT_NE(log.find("rider 1: " + second + " on "), std::string::npos) << log;
    // Playing does not record over the demo, and the playback is the run's only session (a
    // second start would end it at once).
    EXPECT_EQ(user_file("demos/default.qzdemo"), recorded);
    size_t starts = 0;
    for (size_t at = log.find("Loading bikes..."); at != std::string::npos;
         at = log.find("Loading bikes...", at + 1))
        starts++;
    EXPECT_EQ(starts, 1u) << log;
}

TEST(RaceRun, TimeTrialOptionStartsOneRider) {
    setup("");
    RunResult r = run_game("--headless --time-trial --warp --quit-after 1 --debug");
    ASSERT_EQ(r.status, 0) << r.err;
    std::string log = user_file("lastlog.txt");
    EXPECT_NE(log.find("rider 0: 999 on crf250(2009)"), std::string::npos) << log;
    EXPECT_EQ(log.find("rider 1: "), std::string::npos) << log;
}

} // namespace

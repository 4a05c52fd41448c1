// Races run by the real program, headless on the generated data: "--race" with the configured
// lineup, demo recording, and playing the recording back from the command line.
#include <gtest/gtest.h>

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

// The chat and console line: Enter on a command, a chat line or an unknown command, the chat
// limit, the history keys, and each command's arguments and messages.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "app/app.h"
#include "bike/bike.h"
#include "core/config.h"
#include "core/settings.h"
#include "data/datafile.h"
#include "net/net_test_util.h"
#include "platform/input.h"
#include "platform/window.h"
#include "race/race_test_util.h"
#include "render/frame.h"
#include "replay/demo.h"
#include "support/test_env.h"
#include "track/gates.h"
#include "track/track.h"
#include "ui/console.h"
#include "ui/menu.h"
#include "ui/menu_internal.h"

using nettest::posted;
using nettest::posted_count;

namespace {

struct ConsoleTest : ::testing::Test {
    GameWindow* window = nullptr;
    void SetUp() override {
        console_reset();
        menu_reset();
        racetest::clear_race();
        g_settings = Settings{};
        window = window_open_headless();
        ui_set_window(window);
        menu_keys_resolve(window);
        menu_show(SCREEN_CONSOLE);
        g_messages.elapsed_time = 100;
    }
    void TearDown() override {
        demo_record_stop();
        net_reset();
        racetest::clear_race();
        console_reset();
        menu_reset();
        window_close(window);
    }
    static int code(const char* name) {
        int c = 0;
        key_code(g_menu.window, &c, name);
        return c;
    }
    // Types a line and presses Enter.
    static void enter(const std::string& line) {
        for (char ch : line) console_key((unsigned char)ch);
        console_key(code("enter"));
    }
    static std::string line() { return g_menu.console_line; }
    static std::string last_posted() {
        std::vector<std::string> p = posted();
        return p.empty() ? "" : p.back();
    }
};

} // namespace

TEST_F(ConsoleTest, ChatIsLimitedToOneLineEveryTwoSeconds) {
    enter("hello");
    EXPECT_EQ(last_posted(), "Not connected to server");
    EXPECT_EQ(line(), ""); // taken, and into the history even unconnected
    EXPECT_STREQ(g_console.history[1], "hello");
    g_messages.elapsed_time = 102; // exactly 2 s later is still too soon
    enter("again");
    EXPECT_EQ(last_posted(), "No one likes a spammer");
    EXPECT_EQ(line(), "again");
    EXPECT_EQ(g_console.count, 2);
    g_messages.elapsed_time = 102.01;
    console_key(code("enter"));
    EXPECT_EQ(line(), "");
    EXPECT_STREQ(g_console.history[1], "again");
    EXPECT_STREQ(g_console.history[2], "hello");
}

TEST_F(ConsoleTest, ChatGoesToTheServerWhenConnected) {
    nettest::FakeServer server;
    net_connect(server.address().c_str());
    net_step();
    ASSERT_TRUE(net_connected());
    enter("gg all");
    ASSERT_EQ(g_net.reliable.queue.size(), 1u);
    const ReliableEntry& e = g_net.reliable.queue.front();
    EXPECT_EQ(e.bytes[13], MSG_TEXT);
    EXPECT_EQ(std::string((const char*)e.bytes + 14, (size_t)e.length - 14), "gg all");
    EXPECT_EQ(posted_count("Not connected to server"), 0);
}

TEST_F(ConsoleTest, AnUnknownCommandLeavesTheLineAsTyped) {
    enter("/nosuchthing 1");
    EXPECT_EQ(line(), "/nosuchthing 1");
    EXPECT_EQ(g_console.count, 1);
    EXPECT_TRUE(posted().empty());
    // An empty line is nothing at all.
    g_menu_data.console_line[0] = 0;
    console_key(code("enter"));
    EXPECT_EQ(g_console.count, 1);
}

TEST_F(ConsoleTest, HistoryKeysWalkTheLinesAndKeepTheOneBeingTyped) {
    enter("/togglespy");
    enter("\\togglespy");
    for (char ch : std::string("half")) console_key(ch);
    console_key(code("up"));
    EXPECT_EQ(line(), "\\togglespy");
    console_key(code("up"));
    EXPECT_EQ(line(), "/togglespy");
    console_key(code("up")); // the oldest stays
    EXPECT_EQ(line(), "/togglespy");
    console_key(code("down"));
    console_key(code("down"));
    EXPECT_EQ(line(), "half");
    console_key(code("down"));
    EXPECT_EQ(line(), "half");
    // A hundred lines at most.
    for (int i = 0; i < 150; i++) enter("/togglespy");
    EXPECT_EQ(g_console.count, CONSOLE_HISTORY);
    // Page keys scroll the messages, 0 to 950 lines back.
    for (int i = 0; i < 1000; i++) console_key(code("page up"));
    EXPECT_EQ(menu_message_scroll(), 950);
    console_key(code("page down"));
    EXPECT_EQ(menu_message_scroll(), 949);
}

TEST_F(ConsoleTest, FovIsClampedAndNeedsANumber) {
    enter("/fov 500");
    EXPECT_EQ(g_config.fov.value, 170);
    EXPECT_EQ(last_posted(), "fov set");
    enter("/fov5");
    EXPECT_EQ(g_config.fov.value, 10);
    enter("/fov 75.5");
    EXPECT_DOUBLE_EQ(g_config.fov.value, 75.5);
    enter("/fov wide");
    EXPECT_EQ(last_posted(), "Usage: fov <degrees>");
    EXPECT_DOUBLE_EQ(g_config.fov.value, 75.5);
}

TEST_F(ConsoleTest, SpyStatisticsAndBillboardWindow) {
    g_config.spy = 0;
    enter("/togglespy");
    EXPECT_EQ(g_config.spy, 1);
    EXPECT_EQ(last_posted(), "Spy mode ON");
    enter("/togglespy");
    EXPECT_EQ(last_posted(), "Spy mode OFF");
    // Whole words only.
    enter("/togglespyx");
    EXPECT_EQ(line(), "/togglespyx");
    g_menu_data.console_line[0] = 0;

    render_stats_add(STAT_BILLBOARDS, 12);
    enter("/renderstats");
    EXPECT_EQ(g_settings.draw_render_stats, 1);
    EXPECT_EQ(g_render.stats.value[STAT_BILLBOARDS], 0);

    enter("/bbopt 12");
    EXPECT_EQ(g_config.billboard_optimize_lookahead, 12);
    EXPECT_EQ(last_posted(), "Billboard optimization window is now 12");
    enter("/bboptimize"); // no number after the character that follows
    EXPECT_EQ(g_config.billboard_optimize_lookahead, 12);
    EXPECT_EQ(last_posted(), "Billboard optimization window is now 12");
}

TEST_F(ConsoleTest, NamedemoNamesTheRecording) {
    enter("/namedemo race1");
    EXPECT_EQ(last_posted(), "Not currently recording a demo");
    DemoHeader h;
    h.track = "rabbithill";
    ASSERT_TRUE(demo_record_open(DEMO_DEFAULT, h, {}));
    enter("/namedemo race1");
    EXPECT_EQ(last_posted(), "Demo name updated");
    EXPECT_EQ(g_demo.pending_name, "race1.qzdemo");
    enter("/namedemo final.qzdemo");
    EXPECT_EQ(g_demo.pending_name, "final.qzdemo");
    enter("/namedemo  heat2 and more");
    EXPECT_EQ(g_demo.pending_name, "heat2.qzdemo");
    enter("/namedemo");
    EXPECT_EQ(last_posted(), "Usage: namedemo <name>");
    EXPECT_EQ(g_demo.pending_name, "heat2.qzdemo");
    demo_record_stop();
    EXPECT_TRUE(file_exists(test_user_dir() + "demos/heat2.qzdemo"));
}

TEST_F(ConsoleTest, CamangleAimsTheCameraOfAViewedRider) {
    static float yaw = -1, pitch = -1;
    ConsoleHooks hooks;
    hooks.camera_aim = [](float y, float p) { yaw = y, pitch = p; };
    console_set_hooks(hooks);
    enter("/camangle 90 -45");
    EXPECT_EQ(yaw, -1.0f); // no rider to look at
    racetest::add_rider(0, "1", RIDER_LOCAL);
    enter("/camangle 90 -45");
    EXPECT_FLOAT_EQ(yaw, (float)(90 * 0.017453292519943295));
    EXPECT_FLOAT_EQ(pitch, (float)(-45 * 0.017453292519943295));
    EXPECT_EQ(last_posted(), "Camera aimed");
    enter("/camangle 90");
    EXPECT_EQ(last_posted(), "Usage: camangle <yaw> <pitch>");
}

TEST_F(ConsoleTest, PipeArgumentsAndTheirDefaults) {
    PipeTaps t = console_pipe_args(" 4.5 0.5", 0);
    EXPECT_FLOAT_EQ(t.length, 4.5f);
    EXPECT_FLOAT_EQ(t.spread, 0.5f);
    EXPECT_FLOAT_EQ(t.gain, -0.85f);
    EXPECT_EQ(t.first_tap, 0);
    EXPECT_EQ(t.last_tap, 15);
    t = console_pipe_args("", 1);
    EXPECT_FLOAT_EQ(t.length, 1.75f);
    EXPECT_FLOAT_EQ(t.spread, 0.3f);
    EXPECT_FLOAT_EQ(t.gain, -0.75f);
    t = console_pipe_args("1 2 3 4 5", 1);
    EXPECT_EQ(t.first_tap, 4);
    EXPECT_EQ(t.last_tap, 5);
    EXPECT_FLOAT_EQ(console_pipe_args("x", 0).length, 5.0f);
    // The command hands them to the sound model of the viewed bike; it is a command either way.
    static int slot_seen = -1;
    static PipeTaps seen{};
    ConsoleHooks hooks;
    hooks.set_pipe = [](int slot, const PipeTaps& taps) {
        slot_seen = slot;
        seen = taps;
        return 1;
    };
    console_set_hooks(hooks);
    racetest::add_rider(3, "1", RIDER_LOCAL);
    g_session_data.viewed_rider = 3;
    enter("/pipe 3.0");
    EXPECT_EQ(slot_seen, 3);
    EXPECT_FLOAT_EQ(seen.length, 3.0f);
    EXPECT_FLOAT_EQ(seen.spread, 0.9182072f);
    EXPECT_EQ(last_posted(), "Pipe updated");
    EXPECT_EQ(line(), "");
}

TEST_F(ConsoleTest, SaveTrackInfoWritesTheTracksFacts) {
    enter("/savetrackinfo"); // no track: nothing
    EXPECT_TRUE(posted().empty());
    setenv("QZ_HOME", VORNIX_BUILD_DIR "/data", 1);
    data_reset();
    g_settings.headless = 1;
    tracklist_add("rabbithill", "Rabbit Hill");
    g_track.name = "rabbithill";
    ASSERT_TRUE(track_load());
    // The lap lists' lengths as the file gives them: references after each keyword.
    std::string gates = read_file(VORNIX_BUILD_DIR "/data/rabbithill/timing_gates");
    auto count_after = [&](const char* key, const char* until) {
        size_t a = gates.find(key) + strlen(key);
        size_t b = until ? gates.find(until) : gates.size();
        int n = 0;
        bool in_word = false;
        for (size_t i = a; i < b; i++) {
            bool ws = isspace((unsigned char)gates[i]);
            if (!ws && !in_word) n++;
            in_word = !ws;
        }
        return n;
    };
    int first = count_after("firstlap:", "normallap:");
    int normal = count_after("normallap:", nullptr);
    enter("/savetrackinfo");
    EXPECT_EQ(last_posted(), "Track info saved to rabbithill.trackinfo");
    std::string expected =
        "dir=rabbithill\nlongname=Rabbit Hill\nfirstlap=" + std::to_string(first) +
        "\nnormallap=" + std::to_string(normal) + "\nhash=" + digest_hex(g_track.digest) + "\n";
    EXPECT_EQ(read_file(test_user_dir() + "rabbithill.trackinfo"), expected);
    track_free();
    tracklist_reset();
}

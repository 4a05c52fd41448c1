// Demo files: the text part read and written byte by byte, versions 4 and 5, bad headers,
// recording and naming, playback sessions, visibility and seeking on "rabbithill".
#include <cerrno>

#include "core/config.h"
#include "data/datafile.h"
#include "data/save.h"
#include "platform/messages.h"
#include "race/demo_session.h"
#include "race/rabbithill_util.h"

using namespace racetest;

namespace {

// Reads the text part of a demo written byte by byte.
int read_header(const std::string& bytes, DemoHeader* h) {
    std::string path = test_dir() + "/in.qzdemo";
    write_file(path, bytes);
    DataFile* f = data_open(path.c_str(), "rb");
    EXPECT_NE(f, nullptr);
    if (!f) return 0;
    int ok = demo_read_header(f, h);
    data_close(f);
    return ok;
}

const char* const BLOCK =
    "crf250(2009)|@rider_body-red.png|@crf250-blue.png|@wheels-gold.png|@rider_head-x.png\n";

TEST(DemoHeaderRead, VersionFiveWithRiders) {
    DemoHeader h;
    std::string text =
        std::string("QZ05 2 76800 1 1800\nrabbithill\n") + BLOCK + "123\n" + "kx125||||\n7\n";
    ASSERT_TRUE(read_header(text + std::string(78, '\0'), &h));
    EXPECT_EQ(h.version, 5);
    EXPECT_EQ(h.race_length, 76800);
    EXPECT_EQ(h.extra_laps, 1);
    EXPECT_EQ(h.start_tick, 1800);
    EXPECT_EQ(h.track, "rabbithill");
    ASSERT_EQ(h.riders.size(), 2u);
    EXPECT_EQ(h.riders[0].bike, "crf250(2009)");
    EXPECT_EQ(h.riders[0].gear, "@rider_body-red.png");
    EXPECT_EQ(h.riders[0].bike_graphics, "@crf250-blue.png");
    EXPECT_EQ(h.riders[0].wheel_graphics, "@wheels-gold.png");
    EXPECT_EQ(h.riders[0].helmet, "@rider_head-x.png");
    EXPECT_EQ(h.riders[0].number, "123");
    EXPECT_EQ(h.riders[1].bike, "kx125");
    EXPECT_EQ(h.riders[1].helmet, "");
    EXPECT_EQ(h.riders[1].number, "7");
}

TEST(DemoHeaderRead, ShortFormsAndOddFields) {
    DemoHeader h;
    // Version 4 without extra laps and start tick.
    ASSERT_TRUE(read_header("QZ04 1 7680\ndunebay\nyz125|a|b|c|d|e|f\n12345\n", &h));
    EXPECT_EQ(h.version, 4);
    EXPECT_EQ(h.extra_laps, 0);
    EXPECT_EQ(h.start_tick, 1792);
    EXPECT_EQ(h.riders[0].helmet, "d"); // a further "|" ends the fifth field
    EXPECT_EQ(h.riders[0].number, "123");
    // Only a bike name: the other names are empty.
    ASSERT_TRUE(read_header("QZ05 1 0 3\nrabbithill\nrm125\n9\n", &h));
    EXPECT_EQ(h.start_tick, 1792);
    EXPECT_EQ(h.riders[0].bike, "rm125");
    EXPECT_EQ(h.riders[0].gear, "");
    // No riders at all.
    ASSERT_TRUE(read_header("QZ05 0 0 3 1700\nrabbithill\n", &h));
    EXPECT_TRUE(h.riders.empty());
}

TEST(DemoHeaderRead, BadHeadersAreRefused) {
    DemoHeader h;
    const char* bad[] = {
        "QZ06 1 0 3 1792\nrabbithill\nkx125\n1\n", // version 6
        "QZ03 0 0\nrabbithill\n",
        "QZ05 1\nrabbithill\nkx125\n1\n", // no race length
        "QZ05 41 0 3 1792\nrabbithill\n", // more riders than slots
        "QZ05 -1 0 3 1792\nrabbithill\n",
        "QZ05 1 -128 3 1792\nrabbithill\nkx125\n1\n", // negative length
        "QZ05 1 0 -3 1792\nrabbithill\nkx125\n1\n",
        "QZ05 1 99999999999 3\nrabbithill\nkx125\n1\n",   // beyond an int
        "QZ05 2 0 3 1792\nrabbithill\nkx125\n1\nkx125\n", // second block cut short
        "QZ05 1 0 3 1792\nrabbithill\nkx125\n1",          // number without its line end
        "QZ05 0 0 3 1792\n\n",                            // no track name
        "QZ05 0 0 3 1792\nrabbithill",
        "XX05 0 0 3 1792\nrabbithill\n",
        "",
    };
    for (const char* text : bad) EXPECT_FALSE(read_header(text, &h)) << text;
}

TEST(DemoHeaderWrite, TextPartByteByByte) {
    DemoHeader h;
    h.race_length = 7680;
    h.extra_laps = 2;
    h.start_tick = 1700;
    h.track = "dunebay";
    h.riders = {
        {"crf250(2009)", "@rider_body.png", "@crf250.png", "@wheels.png", "@rider_head.png", "999"},
        {"kx125", "", "a|b", "", "", "12"}};
    std::string path = test_dir() + "/out.qzdemo";
    DataFile* f = data_open(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    ASSERT_TRUE(demo_write_header(f, h));
    data_close(f);
    EXPECT_EQ(read_file(path),
              "QZ05 2 7680 2 1700\ndunebay\n"
              "crf250(2009)|@rider_body.png|@crf250.png|@wheels.png|@rider_head.png\n999\n"
              "kx125||a_b||\n12\n");
}

// ---- Recording and playback on the track ----

struct DemoSession : RaceOnRabbitHill {
    void record_race(int ticks) {
        int table[MAX_RIDERS] = {1000 + 45, 0, 1000 + 20, 1000 + 81};
        ASSERT_TRUE(session_start(table, 0, 1, 0, 3, 0));
        for (int i = 0; i < ticks; i++) session_tick();
    }
    std::string demo_path() { return test_user_dir() + "demos/default.qzdemo"; }
};

TEST_F(DemoSession, ThreeRidersWriteThreeRecordsPerTick) {
    record_race(50);
    demo_record_stop();
    std::string demo = read_file(demo_path());
    std::string header = "QZ05 3 0 3 " + std::to_string(g_session.start_tick) + "\nrabbithill\n" +
                         "kx250f(2008)|@rider_body-green.png|||@rider_head-green.png\n45\n" +
                         "kx125|@rider_body-red.png|||@rider_head-red.png\n20\n" +
                         "crf250(2008)|@rider_body-black.png|@crf250-black.png|@wheels-gold.png|"
                         "@rider_head-black.png\n81\n";
    ASSERT_EQ(demo.substr(0, header.size()), header);
    EXPECT_EQ(demo.size(), header.size() + 3u * 39 * 51);
}

TEST_F(DemoSession, PlaybackFeedsTheRecordedRidersUntilTheirRecordsRunOut) {
    record_race(40);
    int recorded_start = g_session.start_tick;
    ASSERT_TRUE(session_demo_start("demos/default.qzdemo", 0, 0, g_config.record.current == YES,
                                   g_config.skill.current));
    EXPECT_TRUE(demo_playing());
    EXPECT_FALSE(demo_recording());
    EXPECT_EQ(g_session.start_tick, recorded_start);
    EXPECT_EQ(g_session.extra_laps, 3);
    EXPECT_EQ(g_session.final_lap, 3);
    for (int slot = 0; slot < 3; slot++) {
        const RiderSlot& r = g_session.slots[slot];
        ASSERT_NE(r.bike, nullptr) << slot;
        EXPECT_EQ(r.kind, RIDER_REMOTE);
        EXPECT_EQ(r.demo_rider, slot);
        EXPECT_EQ(r.visibility, 1.0f);
    }
    EXPECT_STREQ(bike_plate_text(g_session.slots[2].bike), "81");
    EXPECT_EQ(g_session.slots[3].bike, nullptr);
    // 41 frames: the start read one, 40 ticks read the rest; the next tick finds none.
    for (int i = 0; i < 40; i++) session_tick();
    EXPECT_EQ(g_session.slots[0].visibility, 1.0f);
    session_tick();
    for (int slot = 0; slot < 3; slot++) EXPECT_EQ(g_session.slots[slot].visibility, 0.0f);
    for (int i = 0; i < 5; i++) session_tick();
    EXPECT_EQ(g_session.slots[1].visibility, 0.0f);
}

TEST_F(DemoSession, RaceAgainstTheRecordingItselfDoesNotRecordOverIt) {
    g_config.record.current = YES;
    record_race(20);
    demo_record_stop();
    std::string before = read_file(demo_path());
    ASSERT_TRUE(session_demo_start("demos/default.qzdemo", 1, 1, g_config.record.current == YES,
                                   g_config.skill.current));
    EXPECT_NE(log_text().find("Can't record and play from same file - recording disabled"),
              std::string::npos);
    EXPECT_FALSE(demo_recording());
    EXPECT_EQ(g_session.slots[1].kind, RIDER_LOCAL);
    EXPECT_EQ(g_session.slots[0].demo_rider, 0);
    EXPECT_EQ(g_session.slots[2].demo_rider, 1);
    EXPECT_EQ(g_session.slots[3].demo_rider, 2);
    for (int i = 0; i < 10; i++) session_tick();
    demo_close_playback();
    EXPECT_EQ(read_file(demo_path()), before);
}

TEST_F(DemoSession, RaceAgainstAnotherDemoRecordsThePlayerOnly) {
    g_config.record.current = YES;
    record_race(20);
    demo_record_stop();
    ASSERT_TRUE(demo_copy("@demos/default.qzdemo", "@demos/saved.qzdemo"));
    ASSERT_TRUE(session_demo_start("demos/saved.qzdemo", 1, 0, g_config.record.current == YES,
                                   g_config.skill.current));
    EXPECT_TRUE(demo_recording());
    for (int i = 0; i < 10; i++) session_tick();
    demo_record_stop();
    std::string demo = read_file(demo_path());
    EXPECT_EQ(demo.rfind("QZ05 1 0 3 ", 0), 0u) << demo.substr(0, 40);
}

TEST_F(DemoSession, NamedDemoIsCopiedWhenTheRecordingCloses) {
    EXPECT_FALSE(demo_set_name("race1"));
    EXPECT_STREQ(messages_visible(0), "Not currently recording a demo");
    record_race(5);
    EXPECT_TRUE(demo_set_name("  race1 "));
    EXPECT_EQ(g_demo.pending_name, "race1.qzdemo");
    EXPECT_TRUE(demo_set_name("kept.qzdemo"));
    EXPECT_EQ(g_demo.pending_name, "kept.qzdemo");
    EXPECT_FALSE(demo_set_name(std::string(1017, 'x').c_str()));
    EXPECT_EQ(g_demo.pending_name, "kept.qzdemo");
    EXPECT_TRUE(demo_set_name(std::string(1016, 'x').c_str()));
    EXPECT_TRUE(demo_set_name("race1"));
    // The copy happens at the next session start.
    int table[MAX_RIDERS] = {1000 + 45};
    ASSERT_TRUE(session_start(table, 0, 0, 0, 3, 0));
    std::string copy = read_file(test_user_dir() + "demos/race1.qzdemo");
    EXPECT_FALSE(copy.empty());
    EXPECT_EQ(copy, read_file(demo_path()));
    EXPECT_EQ(g_demo.pending_name, "");
}

TEST_F(DemoSession, VersionFourDemoPlaysWithShortRecords) {
    std::string demo = "QZ04 1 0\nrabbithill\nyz125\n12\n" + std::string(26 * 5, '\x40') + "abc";
    write_file(test_user_dir() + "demos/old.qzdemo", demo);
    ASSERT_TRUE(session_demo_start("demos/old.qzdemo", 0, 0, g_config.record.current == YES,
                                   g_config.skill.current));
    EXPECT_EQ(g_demo.record_size, 26);
    EXPECT_EQ(g_session.start_tick, 1792);
    EXPECT_EQ(g_session.extra_laps, 0);
    for (int i = 0; i < 4; i++) session_tick();
    EXPECT_EQ(g_session.slots[0].visibility, 1.0f);
    session_tick(); // the sixth record is only 3 bytes
    EXPECT_EQ(g_session.slots[0].visibility, 0.0f);
}

TEST_F(DemoSession, DemoThatCannotBeWrittenLeavesTheRaceGoing) {
    // Folders in the way in both search folders.
    link_game_folder();
    run_command("mkdir -p '" + test_user_dir() + "demos/default.qzdemo' '" + test_game_dir() +
                "/demos/default.qzdemo'");
    record_race(10);
    EXPECT_FALSE(demo_recording());
    EXPECT_EQ(g_session.session_clock, 10);
    EXPECT_NE(log_text().find("Can't record demo demos/default.qzdemo: not a file"),
              std::string::npos);
}

TEST_F(DemoSession, ADiskFillingMidRaceKeepsThePreviousDemo) {
    record_race(20);
    demo_record_stop();
    std::string previous = read_file(demo_path());
    ASSERT_FALSE(previous.empty());
    // The disk takes the header and a few frames of the next recording, then is full.
    data_save_inject_failure(600, ENOSPC);
    record_race(60);
    EXPECT_FALSE(demo_recording()); // given up at the first failed write, the race going on
    EXPECT_EQ(g_session.session_clock, 60);
    demo_record_stop();
    EXPECT_EQ(read_file(demo_path()), previous);
    EXPECT_NE(log_text().find("Can't record demo demos/default.qzdemo: disk full"),
              std::string::npos);
    EXPECT_GE(data_save_failures(), 1);
    // No temporary is left beside it.
    RunResult r = run_command("ls '" + test_user_dir() + "demos'");
    EXPECT_EQ(r.out, "default.qzdemo\n");
}

TEST_F(DemoSession, SeekingJumpsAndRewinds) {
    record_race(300);
    ASSERT_TRUE(session_demo_start("demos/default.qzdemo", 0, 0, g_config.record.current == YES,
                                   g_config.skill.current));
    for (int i = 0; i < 10; i++) session_tick();
    EXPECT_EQ(g_session.session_clock, 10);
    session_demo_seek(1);
    EXPECT_EQ(g_session.session_clock, 138);
    EXPECT_EQ(g_demo.frames_read, 139);
    session_demo_seek(-1);
    EXPECT_EQ(g_session.session_clock, 10);
    session_demo_seek(-1);
    EXPECT_EQ(g_session.session_clock, 0);
    // Beyond the end: the playback stops at the last frame.
    session_demo_seek(5);
    EXPECT_EQ(g_session.session_clock, 300);
    g_settings.accurate_skip = 1;
    session_demo_seek(-2);
    EXPECT_EQ(g_session.session_clock, 44);
    session_demo_seek(1); // tick by tick
    EXPECT_EQ(g_session.session_clock, 172);
    EXPECT_EQ(g_demo.frames_read, 173);
}

} // namespace

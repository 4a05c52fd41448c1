#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "core/settings.h"
#include "data/datafile.h"
#include "data/model.h"
#include "data/shape.h"
#include "data/texture.h"
#include "platform/messages.h"
#include "platform/log.h"
#include "support/test_env.h"
#include "track_fixture.h"
#include "track/gates.h"
#include "track/objects.h"
#include "track/terrain.h"
#include "track/track.h"

namespace {

const double PI = 3.14159265358979323846;

class Gates : public TrackFilesFixture {
  protected:
    // Writes the track's "timing_gates" with these exact bytes and reads it.
    void read(const std::string& bytes) {
        write_file(test_game_dir() + "/t/timing_gates", bytes);
        DataFile* f = data_open("@t/timing_gates", "r");
        ASSERT_NE(f, nullptr);
        EXPECT_EQ(gates_read(f), 1);
        data_close(f);
    }
};

const char* FULL = "startinggate:\n"
                   "[ 10 1 20 ] 0.5\n"
                   "[ 14 0 20 ] 4.0\n"
                   "checkpoints:\n"
                   "5 [ 100 2 50 ] [ 1 0 0 ]\n"
                   "6.5 [ 200 3 60 ] [ 0 0 -1 ]\n"
                   "7 [ 300 4 70 ] [ -1 0 1 ]\n"
                   "firstlap:\n"
                   "0 1 100002 2\n"
                   "normallap:\n"
                   "0 1 2\n";

TEST_F(Gates, FullFileGivesSlotsGatesAndBothLists) {
    g_settings.debug_level = 1;
    read(FULL);
    ASSERT_EQ(g_gates.slot_count, 2);
    EXPECT_FLOAT_EQ(g_gates.slots[0].x, 10);
    EXPECT_FLOAT_EQ(g_gates.slots[0].y, 1);
    EXPECT_FLOAT_EQ(g_gates.slots[0].z, 20);
    EXPECT_FLOAT_EQ(g_gates.slots[0].angle, 0.5f);
    ASSERT_EQ(g_gates.gates.size(), 3u);
    EXPECT_FLOAT_EQ(g_gates.gates[1].radius, 6.5f);
    EXPECT_FLOAT_EQ(g_gates.gates[1].centre[0], 200);
    EXPECT_FLOAT_EQ(g_gates.gates[1].centre[1], 3);
    EXPECT_FLOAT_EQ(g_gates.gates[1].centre[2], 60);
    EXPECT_FLOAT_EQ(g_gates.gates[1].direction[2], -1);
    EXPECT_EQ(g_gates.first_lap, (std::vector<int>{0, 1, 100002, 2}));
    EXPECT_EQ(g_gates.normal_lap, (std::vector<int>{0, 1, 2}));
    // Intermediate gates are not segments.
    EXPECT_EQ(g_gates.first_segments, 3);
    EXPECT_EQ(g_gates.normal_segments, 3);
    EXPECT_TRUE(gates_present());
    EXPECT_NE(log_text().find("Found 3 timing gates, first lap has 4 gates, normal lap has 3\n"),
              std::string::npos);
}

TEST_F(Gates, EveryStartSlotGetsItsStartGateStatueThreeUnitsAhead) {
    read(FULL);
    ASSERT_EQ(g_objects.statues.size(), 2u);
    for (int i = 0; i < 2; i++) {
        const StartSlot& s = g_gates.slots[i];
        ASSERT_EQ(s.statue, i);
        const Statue& st = g_objects.statues[i];
        EXPECT_NEAR(st.x, s.x - 3 * std::sin(s.angle), 1e-4);
        EXPECT_NEAR(st.z, s.z - 3 * std::cos(s.angle), 1e-4);
        EXPECT_FLOAT_EQ(st.file_y, s.y);
        // The gate's own forward axis (cos yaw, -sin yaw) points back at the riders, who face
        // (-sin a, -cos a): its hinge runs across the slot.
        EXPECT_NEAR(std::cos(st.angle), std::sin(s.angle), 1e-5);
        EXPECT_NEAR(-std::sin(st.angle), std::cos(s.angle), 1e-5);
        EXPECT_LT(st.angle, 3.25f); // a ground frame, not the upright identity
    }
    // The start-gate shape is missing in this folder: warned on screen and in the log.
    EXPECT_NE(log_text().find("Warning: missing shape file @startgate.shp"), std::string::npos);
}

TEST_F(Gates, StartAnglesOutsidePiAreWrapped) {
    read("startinggate:\n[0 0 0] 4.0\n[0 0 0] -4.0\n[0 0 0] 3.0\n[0 0 0] 10\n");
    ASSERT_EQ(g_gates.slot_count, 4);
    EXPECT_FLOAT_EQ(g_gates.slots[0].angle, (float)(4.0 - 2 * PI));
    EXPECT_FLOAT_EQ(g_gates.slots[1].angle, (float)(-4.0 + 2 * PI));
    EXPECT_FLOAT_EQ(g_gates.slots[2].angle, 3.0f);
    EXPECT_FLOAT_EQ(g_gates.slots[3].angle, (float)(10 - 4 * PI));
    // Without checkpoints there are no gates, but the slots stay.
    EXPECT_FALSE(gates_present());
}

TEST_F(Gates, MissingNormalLapDropsTheGatesButKeepsSlots) {
    read("startinggate:\n[ 1 0 1 ] 0\ncheckpoints:\n5 [ 1 0 1 ] [ 1 0 0 ]\nfirstlap:\n0\n");
    EXPECT_EQ(g_gates.slot_count, 1);
    EXPECT_TRUE(g_gates.gates.empty());
    EXPECT_TRUE(g_gates.first_lap.empty());
    EXPECT_TRUE(g_gates.normal_lap.empty());
    EXPECT_FALSE(gates_present());
}

TEST_F(Gates, FirstLapOfOnlyIntermediatesDisablesTheGates) {
    read("checkpoints:\n5 [1 0 1] [1 0 0]\n5 [2 0 2] [1 0 0]\n"
         "firstlap:\n100000 100001\nnormallap:\n0 1\n");
    EXPECT_FALSE(gates_present());
    EXPECT_TRUE(g_gates.first_lap.empty());
    EXPECT_EQ(g_gates.slot_count, 0);
}

TEST_F(Gates, SectionsOutOfOrderOrMissingGiveNoGates) {
    read("firstlap:\n0\nnormallap:\n0\ncheckpoints:\n5 [1 0 1] [1 0 0]\n");
    EXPECT_FALSE(gates_present());
    read("checkpoints:\nnormallap:\n0\n");
    EXPECT_FALSE(gates_present());
    read("checkpoints:\n5 [1 0 1] [1 0 0]\nfirstlap:\n0\nnormallap:\n0\n");
    EXPECT_TRUE(gates_present());
    EXPECT_EQ(g_gates.slot_count, 0);
}

TEST_F(Gates, ReferencesAreClampedAsTheyLoad) {
    read("checkpoints:\n5 [1 0 1] [1 0 0]\n5 [2 0 2] [1 0 0]\n"
         "firstlap:\n-5 100003 7 1\nnormallap:\n100000 0\n");
    ASSERT_TRUE(gates_present());
    EXPECT_EQ(g_gates.first_lap, (std::vector<int>{0, 100001, 1, 1}));
    EXPECT_EQ(g_gates.normal_lap, (std::vector<int>{100000, 0}));
    EXPECT_EQ(g_gates.first_segments, 3);
    EXPECT_EQ(g_gates.normal_segments, 1);
    EXPECT_EQ(gates_sequence_gate(1), 1);
    EXPECT_TRUE(gates_sequence_intermediate(1));
}

TEST_F(Gates, ListsAndCountsStopAtTheirLimits) {
    std::string text = "startinggate:\n";
    for (int i = 0; i < 45; i++) text += "[1 0 1] 0\n";
    read(text);
    EXPECT_EQ(g_gates.slot_count, MAX_START_SLOTS);

    text = "checkpoints:\n";
    for (int i = 0; i < 260; i++) text += "1 [1 0 1] [1 0 0]\n";
    text += "firstlap:\n0\nnormallap:\n0\n";
    read(text);
    // The 257th gate is read as the next keyword, which is not "firstlap:".
    EXPECT_FALSE(gates_present());

    text = "checkpoints:\n1 [1 0 1] [1 0 0]\nfirstlap:\n";
    for (int i = 0; i < MAX_LAP_REFS; i++) text += "0 ";
    text += "\nnormallap:\n0 0\n";
    read(text);
    ASSERT_TRUE(gates_present());
    EXPECT_EQ(g_gates.first_lap.size(), (size_t)MAX_LAP_REFS);
    EXPECT_EQ(g_gates.normal_lap.size(), 2u);
}

TEST_F(Gates, TruncatedAndGarbageFilesReadWhatIsComplete) {
    read("startinggate:\n[ 1 2 3 ] 0.25\n[ 4 5");
    EXPECT_EQ(g_gates.slot_count, 1);
    EXPECT_FALSE(gates_present());
    read("checkpoints:\n5 [ 1 0 1 ] [ 1 0 0 ]\nfirstlap:\n0\nnormallap:\n0 1");
    EXPECT_TRUE(gates_present());
    EXPECT_EQ(g_gates.normal_lap, (std::vector<int>{0, 0}));
    read(std::string("\x00\xff\x01[[[ ]]] checkpoints:", 23));
    EXPECT_FALSE(gates_present());
    read("");
    EXPECT_EQ(g_gates.slot_count, 0);
    // A number too large for a float reads as infinity: that slot ends the list.
    read("startinggate:\n[ 1 0 1 ] 0\n[ 1e99 0 1 ] 0\n");
    EXPECT_EQ(g_gates.slot_count, 1);
}

TEST(GatePassed, PlaneAndRadiusDecideHeightsDoNot) {
    Gate g{};
    g.centre[0] = 10;
    g.centre[1] = 100;
    g.centre[2] = 20;
    g.direction[0] = 0;
    g.direction[2] = 1;
    g.radius = 5;
    // Exactly on the gate plane within the radius: passed.
    EXPECT_TRUE(gate_passed(&g, 10, 20));
    EXPECT_TRUE(gate_passed(&g, 14, 20));
    EXPECT_TRUE(gate_passed(&g, 5, 20));
    // On the side the direction points to.
    EXPECT_TRUE(gate_passed(&g, 10, 24.9f));
    EXPECT_TRUE(gate_passed(&g, 13, 24));
    // Behind the plane.
    EXPECT_FALSE(gate_passed(&g, 10, 19.9f));
    // Just outside the radius, whatever the side.
    EXPECT_FALSE(gate_passed(&g, 15.01f, 20));
    EXPECT_FALSE(gate_passed(&g, 10, 25.01f));
    EXPECT_FALSE(gate_passed(&g, 10, 14.99f));
    // A slanted direction: d . dir >= 0 with d = (x - cx, z - cz).
    g.direction[0] = 1;
    g.direction[2] = -1;
    EXPECT_TRUE(gate_passed(&g, 12, 19)); // d = (2, -1): 2 + 1 > 0
    EXPECT_FALSE(gate_passed(&g, 9, 21)); // d = (-1, 1): -2 < 0
    EXPECT_TRUE(gate_passed(&g, 11, 21)); // d = (1, 1): 0, on the plane
}

TEST_F(Gates, SequencePositionsMapToFirstThenRepeatedNormalLap) {
    read(FULL); // F = 4: 0 1 100002 2;  N = 3: 0 1 2
    EXPECT_EQ(gates_sequence_ref(0), 0);
    EXPECT_EQ(gates_sequence_ref(2), 100002);
    EXPECT_EQ(gates_sequence_gate(2), 2);
    EXPECT_TRUE(gates_sequence_intermediate(2));
    EXPECT_FALSE(gates_sequence_intermediate(3));
    EXPECT_EQ(gates_sequence_ref(4), 0);  // (4 - 4) mod 3
    EXPECT_EQ(gates_sequence_ref(8), 1);  // (8 - 4) mod 3
    EXPECT_EQ(gates_sequence_ref(12), 2); // (12 - 4) mod 3
    EXPECT_EQ(gates_sequence_ref(-1), -1);
    // Laps: 0 below F, else (p - F) / N + 1.
    EXPECT_EQ(gates_laps_completed(3), 0);
    EXPECT_EQ(gates_laps_completed(4), 1);
    EXPECT_EQ(gates_laps_completed(6), 1);
    EXPECT_EQ(gates_laps_completed(7), 2);
    // Lap L ends at F + N (L - 1) - 1.
    EXPECT_EQ(gates_lap_end(1), 3);
    EXPECT_EQ(gates_lap_end(2), 6);
    EXPECT_EQ(gates_lap_end(5), 15);
}

TEST_F(Gates, WriterWritesTheStoredStateBackExactly) {
    read("startinggate:\n[ 10 1 20 ] 4.0\ncheckpoints:\n5 [ 100 2 50 ] [ 1 0 0 ]\n"
         "2.5 [ 1 2 3 ] [ 0 0 -1 ]\nfirstlap:\n0 100003\nnormallap:\n1 0\n");
    ASSERT_TRUE(gates_present());
    ASSERT_EQ(gates_write(), 1);
    char angle[32];
    snprintf(angle, sizeof angle, "%f", (float)(4.0 - 2 * PI));
    std::string expected = std::string("startinggate:\n[10.000000 1.000000 20.000000] ") + angle +
                           "\n"
                           "checkpoints:\n"
                           "5.000000 [100.000000 2.000000 50.000000] [1.000000 0.000000 0.000000]\n"
                           "2.500000 [1.000000 2.000000 3.000000] [0.000000 0.000000 -1.000000]\n"
                           "firstlap:\n0 100001 \n"
                           "normallap:\n1 0 \n";
    // Written into the per-user folder, which is searched first from now on.
    EXPECT_EQ(read_file(test_user_dir() + "t/timing_gates"), expected);
    gates_free();
    objects_free();
    DataFile* f = data_open("@t/timing_gates", "r");
    ASSERT_NE(f, nullptr);
    gates_read(f);
    data_close(f);
    EXPECT_EQ(g_gates.slot_count, 1);
    EXPECT_EQ(g_gates.gates.size(), 2u);
    EXPECT_EQ(g_gates.first_lap, (std::vector<int>{0, 100001}));
    EXPECT_EQ(g_gates.normal_lap, (std::vector<int>{1, 0}));
}

TEST_F(Gates, WriterSkipsEmptySectionsAndReportsAnUnwritableFile) {
    read("startinggate:\n[ 1 2 3 ] 0\n");
    ASSERT_EQ(gates_write(), 1);
    EXPECT_EQ(read_file(test_user_dir() + "t/timing_gates"),
              "startinggate:\n[1.000000 2.000000 3.000000] 0.000000\n");
    // A folder where the file should be, in both search folders: it cannot be created.
    write_file(test_user_dir() + "u/timing_gates/x", "");
    write_file(test_game_dir() + "/u/timing_gates/x", "");
    g_track.name = "u";
    EXPECT_EQ(gates_write(), 0);
    EXPECT_NE(log_text().find("Can't open 'timing_gates'\n"), std::string::npos);
    ASSERT_GT(g_messages.visible, 0);
    EXPECT_STREQ(messages_visible(g_messages.visible - 1), "Can't open 'timing_gates'\n");
}

TEST_F(Gates, StartBarsDropInAnEighthOfASecondAfterTheStart) {
    read("startinggate:\n[ 10 0 20 ] 0.5\n[ 20 0 20 ] 0.5\n");
    start_bars_raise();
    EXPECT_FLOAT_EQ(g_gates.slots[0].bar, 1.0f);
    Statue ground = g_objects.statues[0]; // the plain ground frame, bars down
    // Before and at the start tick the bars stay up, but the tilt is applied.
    start_bars_update(99, 100);
    start_bars_update(100, 100);
    EXPECT_FLOAT_EQ(g_gates.slots[0].bar, 1.0f);
    const float* r = g_objects.statues[0].rot;
    float t = START_BAR_ANGLE, c = std::cos(t), s = std::sin(t);
    for (int row = 0; row < 3; row++) {
        const float* g = ground.rot + 3 * row;
        EXPECT_NEAR(r[3 * row], c * g[0] + s * g[1], 1e-5);
        EXPECT_NEAR(r[3 * row + 1], -s * g[0] + c * g[1], 1e-5);
        EXPECT_NEAR(r[3 * row + 2], g[2], 1e-6);
    }
    // Slot 1's gate is touched during tick 101: it holds this tick only.
    g_objects.statues[1].last_contact = 101;
    start_bars_update(101, 100);
    EXPECT_FLOAT_EQ(g_gates.slots[0].bar, 1.0f - 8.0f / 128);
    EXPECT_FLOAT_EQ(g_gates.slots[1].bar, 1.0f);
    for (int tick = 102; tick <= 105; tick++) start_bars_update(tick, 100);
    EXPECT_FLOAT_EQ(g_gates.slots[0].bar, 1.0f - 5 * 8.0f / 128);
    EXPECT_FLOAT_EQ(g_gates.slots[1].bar, 1.0f - 4 * 8.0f / 128);
    for (int tick = 106; tick <= 120; tick++) start_bars_update(tick, 100);
    EXPECT_FLOAT_EQ(g_gates.slots[0].bar, 0.0f);
    EXPECT_FLOAT_EQ(g_gates.slots[1].bar, 0.0f);
    for (int i = 0; i < 9; i++) EXPECT_NEAR(g_objects.statues[0].rot[i], ground.rot[i], 1e-6);
    // A gate pressed by a wheel hangs on it for a quarter of a second at most, then drops
    // however hard the wheel pushes.
    start_bars_raise();
    for (int tick = 101; tick <= 100 + START_BAR_HANG; tick++) {
        g_objects.statues[0].last_contact = tick;
        start_bars_update(tick, 100);
    }
    EXPECT_FLOAT_EQ(g_gates.slots[0].bar, 1.0f);
    EXPECT_FLOAT_EQ(g_gates.slots[1].bar, 0.0f);
    g_objects.statues[0].last_contact = 100 + START_BAR_HANG + 1;
    start_bars_update(100 + START_BAR_HANG + 1, 100);
    EXPECT_FLOAT_EQ(g_gates.slots[0].bar, 1.0f - 8.0f / 128);
    // More than 10 s after the start nothing moves any more.
    start_bars_raise();
    start_bars_update(100 + 1281, 100);
    EXPECT_FLOAT_EQ(g_gates.slots[0].bar, 1.0f);
    start_bars_update(100 + 1280, 100);
    EXPECT_FLOAT_EQ(g_gates.slots[0].bar, 1.0f - 8.0f / 128);
}

TEST(Flaggers, StartFlaggerFollowsTheCue) {
    // cue 640 ticks: c = 5 s; walk time 2 s.
    float f = -1;
    EXPECT_EQ(flagger_start_texture(0.0, 640, 2, &f), 0);
    EXPECT_EQ(f, 0.0f);
    EXPECT_EQ(flagger_start_texture(5.09, 640, 2, &f), 0);
    EXPECT_EQ(flagger_start_texture(5.1, 640, 2, &f), 1);
    EXPECT_EQ(flagger_start_texture(5.39, 640, 2, &f), 1);
    EXPECT_EQ(flagger_start_texture(5.4, 640, 2, &f), 2);
    EXPECT_EQ(flagger_start_texture(5.99, 640, 2, &f), 2);
    EXPECT_EQ(f, 0.0f);
    EXPECT_EQ(flagger_start_texture(6.5, 640, 2, &f), 3);
    EXPECT_FLOAT_EQ(f, 0.25f); // (6.5 - 6) / 2
    EXPECT_EQ(flagger_start_texture(8.0, 640, 2, &f), 4);
    EXPECT_FLOAT_EQ(f, 1.0f);
    EXPECT_EQ(flagger_start_texture(100.0, 640, 2, &f), 4);
    EXPECT_FLOAT_EQ(f, 1.0f);
    // c is the cue in whole seconds: 700 ticks is 5.47 s, floored to 5.
    EXPECT_EQ(flagger_start_texture(5.2, 700, 2, &f), 1);
    // No walk time: straight to the second position.
    EXPECT_EQ(flagger_start_texture(6.0, 640, 0, &f), 4);
    EXPECT_FLOAT_EQ(f, 1.0f);
}

TEST_F(Gates, LapBoardAndGateFlaggerRules) {
    read(FULL); // F = 4, N = 3
    // g = 0 while p + 1 < F, else (p + 1 - F) / N + 1.
    EXPECT_EQ(flagger_lap_texture(2, 5, 3), 0);  // g = 0
    EXPECT_EQ(flagger_lap_texture(3, 5, 3), 0);  // g = 1
    EXPECT_EQ(flagger_lap_texture(6, 5, 3), 0);  // g = 2
    EXPECT_EQ(flagger_lap_texture(9, 5, 3), 1);  // g = 3: half-way
    EXPECT_EQ(flagger_lap_texture(12, 5, 3), 2); // g = 4: last lap
    EXPECT_EQ(flagger_lap_texture(15, 5, 3), 3); // g = 5: finish
    EXPECT_EQ(flagger_lap_texture(30, 5, 3), 3);
    EXPECT_EQ(flagger_lap_texture(2, 1000000, 1000000), 0);
    EXPECT_EQ(flagger_lap_texture(2, 1, 1000000), 2); // g = 0, final lap 1: last lap

    gates_mark_position(2);
    EXPECT_EQ(g_gates.gates[2].marked, 1);
    gates_mark_position(5); // normal entry 1
    EXPECT_EQ(g_gates.gates[1].marked, 1);
    EXPECT_EQ(g_gates.gates[0].marked, 0);
    gates_clear_marks();
    for (const Gate& g : g_gates.gates) EXPECT_EQ(g.marked, 0);
}

} // namespace

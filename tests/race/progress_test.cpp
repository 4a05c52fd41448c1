// Rider progress through the gates: candidates, skipped gates, finish lines, laps and lap
// times, stopping, finishing, and setting a rider back.
#include "race/race_test_util.h"

using namespace racetest;

namespace {

// Gates 0..3 in a row along +x; the first lap runs 0 1 2 3 (F = 4), every further lap 1 2 3
// (N = 3): the finish line is gate 3, at positions 3, 6, 9, ...
struct Progress : RaceTest {
    void SetUp() override {
        RaceTest::SetUp();
        straight_course(4, {0, 1, 2, 3}, {1, 2, 3});
        g_session_data.final_lap = 1000;
        g_session_data.halfway_lap = 500;
        g_session_data.start_tick = 100;
        add_rider(0, "1", RIDER_LOCAL);
    }
    // Puts the rider just past gate g at the given tick.
    void pass(int gate, int tick, int slot = 0, float speed = 30) {
        g_session_data.session_clock = tick;
        rider_progress_at(slot, 100.0f + 100.0f * gate + 1, 500, speed);
    }
    RiderSlot* rider() { return &g_session_data.slots[0]; }
};

TEST_F(Progress, GatesInOrderCountLapsAndLapTimes) {
    pass(0, 200);
    pass(1, 300);
    EXPECT_EQ(rider_gates(0), 2);
    EXPECT_EQ(rider_laps(0), 0);
    pass(2, 400);
    pass(3, 500);
    EXPECT_EQ(rider_laps(0), 1);
    EXPECT_DOUBLE_EQ(rider_lap_time(0, 1), (500 - 100) / 128.0); // from the start tick
    pass(1, 600);
    pass(2, 700);
    pass(3, 884);
    EXPECT_EQ(rider_gates(0), 7);
    EXPECT_EQ(rider_laps(0), 2);
    EXPECT_EQ(rider_lap_ticks(0, 2), 384);
    EXPECT_DOUBLE_EQ(rider_lap_time(0, 2), 3.0);
    EXPECT_EQ(rider_lap_ticks(0, 3), 0); // not ridden
    EXPECT_EQ(rider_lap_ticks(0, 0), 0);
    EXPECT_EQ(rider_gate_time(0, 6), 884);
    EXPECT_EQ(rider_gate_time(0, 7), -1);
    EXPECT_EQ(lap_end_position(2), 6);
    // Every gate updated the standings.
    EXPECT_EQ(g_results.standings_count, 1);
    EXPECT_EQ(g_results.standings[0].gates, 7);
    EXPECT_EQ(g_results.standings[0].last_tick, 884);
}

TEST_F(Progress, SkippedGateIsMarkedAndCanBeRiddenLater) {
    pass(0, 200);
    pass(2, 300); // skips gate 1
    EXPECT_EQ(rider_gates(0), 3);
    EXPECT_EQ(rider_gate_time(0, 1), -1);
    EXPECT_EQ(rider_gate_time(0, 2), 300);
    // Coming back through the skipped gate moves progress back to it.
    pass(1, 350);
    EXPECT_EQ(rider_gates(0), 2);
    EXPECT_EQ(rider_gate_time(0, 1), 350);
    pass(2, 400);
    EXPECT_EQ(rider_gates(0), 3);
    EXPECT_EQ(rider_gate_time(0, 2), 400);
    // A gate two ahead is still a candidate; three ahead is not.
    set_times(0, {});
    pass(3, 450);
    EXPECT_EQ(rider_gates(0), 0);
    set_times(0, {200});
    pass(3, 460);
    EXPECT_EQ(rider_gates(0), 4);
    EXPECT_EQ(rider()->gate_times, (std::vector<int>{200, -1, -1, 460}));
}

TEST_F(Progress, NoCountingPastAFinishLineNotCrossed) {
    pass(0, 200);
    pass(1, 300);
    pass(2, 400);
    // The finish line (position 3) was not crossed: the next lap's gates do not count.
    pass(1, 450); // position 4 is gate 1
    pass(2, 460); // position 5 is gate 2
    EXPECT_EQ(rider_gates(0), 3);
    pass(3, 500);
    EXPECT_EQ(rider_gates(0), 4);
    pass(2, 550); // position 5, two ahead: counted, position 4 skipped
    EXPECT_EQ(rider_gates(0), 6);
    EXPECT_EQ(rider_gate_time(0, 4), -1);
}

TEST_F(Progress, RidingBackThroughTheLastGateChangesNothing) {
    pass(0, 200);
    pass(1, 300);
    std::vector<int> before = rider()->gate_times;
    pass(1, 310);
    pass(1, 320);
    EXPECT_EQ(rider_gates(0), 2);
    EXPECT_EQ(rider()->gate_times, before);
}

TEST_F(Progress, StoppedAfterTheStartUntilTheNextGate) {
    pass(0, 200);
    g_session_data.session_clock = 100 + 256; // exactly 2 s after the start: not yet
    rider_progress_at(0, 0, 0, 1);
    EXPECT_EQ(rider()->stopped, 0);
    g_session_data.session_clock = 100 + 257;
    rider_progress_at(0, 0, 0, 4.9f);
    EXPECT_EQ(rider()->stopped, 1);
    pass(1, 400);
    EXPECT_EQ(rider()->stopped, 0);
    g_session_data.session_clock = 500;
    rider_progress_at(0, 0, 0, 5);
    EXPECT_EQ(rider()->stopped, 0);
}

TEST_F(Progress, StoppedRiderMarksItsNextGateForTheFlaggers) {
    pass(0, 200);
    rider()->stopped = 1;
    session_flaggers_update();
    for (int g = 0; g < 4; g++) EXPECT_EQ(g_gates.gates[g].marked, g == 1) << g;
    rider()->finished = 1;
    session_flaggers_update();
    for (int g = 0; g < 4; g++) EXPECT_EQ(g_gates.gates[g].marked, 0) << g;
}

TEST_F(Progress, FinishedRiderIsNoLongerCounted) {
    g_session_data.final_lap = 1;
    g_session_data.extra_laps = 1;
    add_rider(1, "2");
    for (int g = 0; g < 4; g++) pass(g, 200 + 10 * g);
    EXPECT_EQ(rider()->finished, 1); // its own laps reached the final lap
    pass(1, 300);
    EXPECT_EQ(rider_gates(0), 4);
    // The other rider finishes on its next crossing: the leader passed the final lap's end.
    for (int g = 0; g < 4; g++) pass(g, 400 + 10 * g, 1);
    EXPECT_EQ(g_session_data.slots[1].finished, 1);
    EXPECT_TRUE(g_session_data.results_final);
}

TEST_F(Progress, SettingBackCutsTimesAndClearsFinished) {
    set_times(0, {1, 2, 3, 4, 5});
    rider()->finished = 1;
    rider()->stopped = 1;
    rider_set_back(0, 5);
    EXPECT_EQ(rider()->finished, 1);
    EXPECT_EQ(rider()->stopped, 0);
    rider_set_back(0, 3);
    EXPECT_EQ(rider()->finished, 0);
    EXPECT_EQ(rider_gates(0), 3);
    EXPECT_EQ(rider()->gate_times, (std::vector<int>{1, 2, 3}));
}

TEST_F(Progress, TrackWithoutGatesCountsNothing) {
    gates_free();
    pass(0, 200);
    EXPECT_EQ(rider_gates(0), 0);
    EXPECT_EQ(laps_from_gates(100), 1 + (100 - 4) / 3);
}

} // namespace

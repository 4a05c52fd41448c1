// The line memory: segments and sets from the lap lists, a learner's lines judged at the
// segment gate after next (cancelled, duplicate, too slow, stored), eviction from a full set,
// the testers' bookkeeping, and the failures of a stopped robot.
#include <cmath>

#include "robot/robot_test_util.h"

using namespace robottest;

namespace {

std::string log_after(size_t from) {
    std::string t = log_text();
    return from < t.size() ? t.substr(from) : "";
}

TEST_F(RobotTest, SegmentsCountSegmentGatesAcrossTheLapLists) {
    // First lap: gates 0, 1 (intermediate), 2, 3 (intermediate), 4; then laps of 5, 6
    // (intermediate), 7.
    course(8, {0, 100001, 2, 100003, 4}, {5, 100006, 7});
    EXPECT_EQ(g_robots.first_sets, 3);
    EXPECT_EQ(g_robots.normal_sets, 2);
    EXPECT_EQ(line_set_count(), 5);
    // Segment gates among positions 0 .. p-1: positions 0, 2, 4 | 5, 7 | 8, 10 | ...
    const int expect[] = {0, 1, 1, 2, 2, 3, 4, 4, 5, 6, 6, 7};
    for (int p = 0; p < 12; p++) EXPECT_EQ(segment_of(p), expect[p]) << p;
    // Sets: the first lap's own, then the normal lap's two in turn.
    const int sets[] = {0, 1, 2, 3, 4, 3, 4, 3};
    for (int s = 0; s < 8; s++) EXPECT_EQ(set_of(s), sets[s]) << s;
}

// A learner on a course of six segment gates, three per lap; slot 0, start tick 100.
struct Learner : RobotTest {
    void SetUp() override {
        RobotTest::SetUp();
        course(6, {0, 1, 2}, {3, 4, 5});
        rider(0, RIDER_LOCAL);
    }
};

TEST_F(Learner, SegmentIsJudgedAtTheGateAfterNextWithItsTwoSegmentTime) {
    buffer(0, 0) = straight(0, 500, 8);
    pass(0, 0, 400); // ends segment 0; nothing to judge yet
    EXPECT_EQ(in_use(0), 0);
    EXPECT_EQ(buffer(0, 0).size(), 8u); // still waiting for segment 1's time
    buffer(0, 1) = straight(100, 500, 6);
    pass(0, 1, 700); // ends segment 1: segment 0 is judged
    ASSERT_EQ(in_use(0), 1);
    const LineRecord& r = g_robots.sets[0].lines[0];
    EXPECT_EQ(r.points.size(), 8u);
    EXPECT_EQ(r.first_time, 400 - 100);  // from the start (gates drop at tick 100)
    EXPECT_EQ(r.second_time, 700 - 100); // through the next segment
    EXPECT_EQ(r.tests, 0);
    EXPECT_EQ(r.best_first, LINE_TIME_NONE);
    EXPECT_NE(r.id, 0);
    // The judged buffer is emptied for segment 2; segment 1's waits.
    EXPECT_TRUE(buffer(0, 0).empty());
    EXPECT_EQ(buffer(0, 1).size(), 6u);
    pass(0, 2, 1000);
    ASSERT_EQ(in_use(1), 1);
    EXPECT_EQ(g_robots.sets[1].lines[0].first_time, 300);  // 700 - 400
    EXPECT_EQ(g_robots.sets[1].lines[0].second_time, 600); // 1000 - 400
}

TEST_F(Learner, StoppedOrDisturbedSegmentIsCanceled) {
    buffer(0, 0) = straight(0, 500, 8);
    g_session_data.slots[0].stopped = 1; // standing when it reaches the gate
    pass(0, 0, 400);
    buffer(0, 1) = straight(100, 500, 6);
    size_t mark = log_text().size();
    pass(0, 1, 700);
    EXPECT_EQ(in_use(0), 0);
    EXPECT_NE(log_after(mark).find("auto pilot: 0 canceled\n"), std::string::npos);
    // A bike-to-bike contact spoils both lines in the making.
    buffer(0, 0) = straight(200, 500, 8);
    line_memory_disturbed(0);
    buffer(0, 0) = straight(200, 500, 8); // points recorded after the contact
    mark = log_text().size();
    pass(0, 2, 1000); // judges segment 1: its buffer was spoilt
    EXPECT_EQ(in_use(1), 0);
    EXPECT_NE(log_after(mark).find("auto pilot: 1 canceled\n"), std::string::npos);
    pass(0, 3, 1300); // judges segment 2, recorded across the contact
    EXPECT_EQ(in_use(2), 0);
}

TEST_F(Learner, SamePathTwiceIsStoredOnce) {
    // Segment 3 (set 3) in lap 2 and segment 6 (set 3 again) in lap 3 ridden alike.
    std::vector<LinePoint> same = straight(300, 500, 7);
    for (int p = 0; p < 3; p++) pass(0, p, 200 + 100 * p);
    buffer(0, 1) = same; // segment 3 has parity 1
    pass(0, 3, 600);
    pass(0, 4, 700);
    ASSERT_EQ(in_use(3), 1);
    pass(0, 5, 800);
    std::vector<LinePoint> again = same;
    again[2].x += 0.03f; // within 1/256 in squared distance
    again[3].speed += 0.05f;
    buffer(0, 0) = again; // segment 6 has parity 0
    pass(0, 6, 900);
    size_t mark = log_text().size();
    pass(0, 7, 1000);
    EXPECT_EQ(in_use(3), 1);
    EXPECT_NE(log_after(mark).find("auto pilot: 3 rejected (duplicate)\n"), std::string::npos);
}

TEST_F(Learner, MissedGateEmptiesBothBuffersWithoutJudging) {
    buffer(0, 0) = straight(0, 500, 8);
    pass(0, 0, 400);
    buffer(0, 1) = straight(100, 500, 6);
    pass(0, 2, 700, 1); // position 1 skipped: found one further on
    EXPECT_TRUE(buffer(0, 0).empty());
    EXPECT_TRUE(buffer(0, 1).empty());
    EXPECT_EQ(in_use(0) + in_use(1), 0);
}

TEST_F(Learner, FullSetReplacesOnlyWhenTheExpectedTimeIsFiveQuartersOfTheNewOne) {
    // 45 untested lines whose first points lie close together, so none counts as alone; the
    // slowest (second time 1000, one failure) is the one a candidate competes with.
    for (int k = 0; k < LINES_PER_SET; k++)
        put_line(0, k, straight(0, 500 + 0.01f * k, 5), k == 7 ? 1000 : 600, 0, 0, k == 7 ? 1 : 0);
    ASSERT_EQ(line_eviction_choice(g_robots.sets[0]), 7);
    // Its expected time: 1000 x 5/4 + 640 for the failure = 1890. A candidate of T2 1512
    // (1512 x 5/4 = 1890) replaces it; one of 1513 does not.
    auto candidate = [&](int t2) {
        g_session_data.slots[0] = RiderSlot{g_session_data.slots[0].bike};
        g_session_data.slots[0].kind = RIDER_LOCAL;
        g_session_data.slots[0].autopilot = 0;
        buffer(0, 0) = straight(50, 520, 6);
        pass(0, 0, 100 + t2 / 2);
        pass(0, 1, 100 + t2);
    };
    size_t mark = log_text().size();
    candidate(1513);
    EXPECT_NE(log_after(mark).find("auto pilot: 0 rejected (too slow)\n"), std::string::npos);
    EXPECT_EQ(g_robots.sets[0].lines[7].second_time, 1000);
    mark = log_text().size();
    candidate(1512);
    EXPECT_EQ(g_robots.sets[0].lines[7].second_time, 1512);
    EXPECT_EQ(g_robots.sets[0].lines[7].failures, 0);
    EXPECT_NE(log_after(mark).find("auto pilot: evicting 0 (times: 3.91 7.81 tested (0 1): "
                                   "0.00 0.00 repl: 5.906250 11.812500)\n"),
              std::string::npos)
        << log_after(mark);
}

TEST_F(RobotTest, EvictionTakesTheSlowestHealthyLineOnlyWhenMoreThan22AreHealthy) {
    course(6, {0, 1, 2}, {3, 4, 5});
    LineSet& set = g_robots.sets[0];
    // Every line has a near neighbour (first points 0.01 apart). Line 3 is healthy and the
    // slowest: expected second_sum / tests = 3000. Line 40 is unhealthy: 1000 / 1 + 640 x 2 /
    // 3 = 1426.
    auto fill = [&](int healthy) {
        for (int k = 0; k < LINES_PER_SET; k++) {
            bool h = k < healthy;
            put_line(0, k, straight(0, 500 + 0.01f * k, 4), 800, h ? 2 : 0, h ? 2000 : 0,
                     h ? 1 : 0);
        }
        set.lines[3].second_sum = 6000; // 3000 expected
        put_line(0, 40, straight(0, 500.4f, 4), 800, 1, 1000, 2);
    };
    fill(23); // 23 healthy lines (0..22)
    EXPECT_EQ(line_eviction_choice(set), 3);
    fill(22); // 22 healthy: they are kept; of the rest, untested lines expect 800 x 5/4 = 1000
    EXPECT_EQ(line_eviction_choice(set), 40);
    // A line with no other start within 2 counts at 3/4 of its expected time.
    fill(0);
    put_line(0, 44, straight(0, 510, 4), 1100); // 1375 alone: 1031
    EXPECT_EQ(line_eviction_choice(set), 40);   // 1426 beats it
    put_line(0, 44, straight(0, 510, 4), 1600); // 2000 alone: 1500
    EXPECT_EQ(line_eviction_choice(set), 44);
}

// A robot (tester) on the same course, its line for segment 0 picked and followed.
struct Tester : RobotTest {
    LineRecord* line0 = nullptr;
    float frame_y = 0;
    // Points at the height of the robot's frame.
    std::vector<LinePoint> level(std::vector<LinePoint> p) const {
        for (LinePoint& q : p) q.y = frame_y;
        return p;
    }
    void SetUp() override {
        RobotTest::SetUp();
        course(6, {0, 1, 2}, {3, 4, 5});
        rider(1, RIDER_ROBOT);
        float at[3];
        bike_frame_position(g_session_data.slots[1].bike, at);
        frame_y = at[1];
        line0 = &put_line(0, 0, level(straight(0, 500, 12)), 600);
        g_robots.riders[1].picks[0] = line0->id;
        // Its path: the line, heading for point 5 (x 50) at 30 ft/s.
        g_robots.robots[1].path = line0->points;
        g_robots.robots[1].path_index = 5;
    }
};

TEST_F(Tester, TestOnTheLineAddsTimesToItsLine) {
    pass(1, 0, 400); // ends segment 0
    move_to(1, 45, 502);
    pass(1, 1, 700); // judges segment 0: on the line (2 ft off) and not faster than it
    EXPECT_EQ(line0->tests, 1);
    EXPECT_EQ(line0->best_first, 300);
    EXPECT_EQ(line0->best_second, 600);
    EXPECT_EQ(line0->first_sum, 300);
    EXPECT_EQ(line0->second_sum, 600);
    EXPECT_EQ(line0->failures, 0);
}

TEST_F(Tester, OffTheLineAtTheGateIsAFailureOfTheSegmentJustRidden) {
    g_robots.riders[1].picks[1] = put_line(1, 0, level(straight(100, 500, 12)), 600).id;
    pass(1, 0, 400);
    move_to(1, 45, 505); // 5 ft off the line
    pass(1, 1, 700);
    const LineRecord& line1 = g_robots.sets[1].lines[0];
    EXPECT_EQ(line1.failures, 1); // segment 1 ended here: its line failed
    EXPECT_EQ(line0->tests, 0);
    for (int pick : g_robots.riders[1].picks) EXPECT_EQ(pick, 0);
}

TEST_F(Tester, StoppingCountsAgainstTheLineAndTheOneJustLeft) {
    int id1 = put_line(1, 0, level(straight(100, 500, 12)), 600).id;
    g_robots.riders[1].picks[1] = id1;
    pass(1, 0, 400); // now in segment 1
    // Stopped 1/2 s after the gate: both segment 1's line and segment 0's fail.
    g_session_data.session_clock = 464;
    g_session_data.slots[1].stopped = 1;
    line_memory_stopped(1);
    EXPECT_EQ(g_robots.sets[1].lines[0].failures, 1);
    EXPECT_EQ(line0->failures, 1);
    for (int pick : g_robots.riders[1].picks) EXPECT_EQ(pick, 0);
    // More than a second after the gate only the present segment's line fails.
    g_robots.riders[1].picks[1] = id1;
    g_robots.riders[1].picks[0] = line0->id;
    g_session_data.session_clock = 600;
    line_memory_stopped(1);
    EXPECT_EQ(g_robots.sets[1].lines[0].failures, 2);
    EXPECT_EQ(line0->failures, 1);
}

TEST_F(RobotTest, LeanIsTheFrameRollPositiveToTheLeft) {
    // Facing -z, tipped 0.3 rad to the left (its up axis toward -x).
    float up[3] = {-std::sin(0.3f), std::cos(0.3f), 0}, forward[3] = {0, 0, -1};
    EXPECT_NEAR(frame_lean(up, forward), 0.3f, 1e-6);
    float right[3] = {std::sin(0.2f), std::cos(0.2f), 0};
    EXPECT_NEAR(frame_lean(right, forward), -0.2f, 1e-6);
    // Facing +x: left is -z.
    float up_x[3] = {0, std::cos(0.4f), -std::sin(0.4f)}, fwd_x[3] = {1, 0, 0};
    EXPECT_NEAR(frame_lean(up_x, fwd_x), 0.4f, 1e-6);
}

} // namespace

// Analysis and path upkeep: circle centres and the arc continuation between lines, the costs
// of the plan types, the best chain per lap, thinning crowded sets, personalities and plan
// types, and how a robot picks its next line and joins it on.
#include <cmath>

#include "race/results.h"
#include "robot/robot_test_util.h"

using namespace robottest;

namespace {

TEST(LineAnalysis, CircleCentreOfThreePointsAndOfPointsInALine) {
    // Three points on the circle of radius 5 about (10, 20).
    LinePoint a{15, 0, 20, 1, 0}, b{10, 0, 25, 1, 0}, c{5, 0, 20, 1, 0};
    double x, z;
    circle_centre(a, b, c, &x, &z);
    EXPECT_NEAR(x, 10, 1e-9);
    EXPECT_NEAR(z, 20, 1e-9);
    // In a line along x: a million feet out along the first pair's bisector (the z axis).
    LinePoint p{0, 0, 0, 1, 0}, q{10, 0, 0, 1, 0}, r{20, 0, 0, 1, 0};
    circle_centre(p, q, r, &x, &z);
    EXPECT_NEAR(x, 5, 1e-9);
    EXPECT_NEAR(std::fabs(z), 1000000, 1e-3);
}

TEST(LineAnalysis, NextLineMustCarryOnTheArcAndNotBeMuchSlower) {
    // Line i runs round the circle of radius 50 about the origin, ending at angle 0.
    auto on_circle = [](double radius, double angle, float speed) {
        return LinePoint{(float)(radius * std::cos(angle)), 0, (float)(radius * std::sin(angle)),
                         speed, 0};
    };
    LineRecord i, j;
    i.points = {on_circle(50, -0.4, 40), on_circle(50, -0.2, 40), on_circle(50, 0, 40)};
    // j starts further round the same arc: within 2.5 of the radius, its second point at the
    // same distance from the centre.
    j.points = {on_circle(52, 0.2, 30), on_circle(52.5, 0.4, 30)};
    EXPECT_TRUE(lines_connected(i, j));
    j.points = {on_circle(53, 0.2, 30), on_circle(53, 0.4, 30)}; // 3 ft outside the arc
    EXPECT_FALSE(lines_connected(i, j));
    j.points = {on_circle(50, 0.2, 30), on_circle(47.5, 0.4, 30)}; // turning in by 2.5
    EXPECT_FALSE(lines_connected(i, j));
    j.points = {on_circle(50, 0.2, 24.5f), on_circle(50, 0.4, 24.5f)}; // 40 > 24.5 + 15
    EXPECT_FALSE(lines_connected(i, j));
    j.points = {on_circle(50, 0.2, -25), on_circle(50, 0.4, 30)}; // airborne counts by size
    EXPECT_TRUE(lines_connected(i, j));
    i.points.pop_back(); // fewer than three points: no arc to carry on
    EXPECT_FALSE(lines_connected(i, j));
}

TEST(LineAnalysis, CostsOfThePlanTypesAndOfTheTester) {
    LineRecord r;
    r.tests = 4;
    r.first_sum = 1200;
    EXPECT_EQ(line_cost(r, 0), 1000000); // fewer than five tests
    EXPECT_EQ(line_cost(r, 1), 1000000);
    EXPECT_DOUBLE_EQ(line_cost(r, 2), 300); // one test is enough for type 2
    r.tests = 6;
    r.first_sum = 1800;
    r.failures = 2; // share 2/8
    EXPECT_DOUBLE_EQ(line_cost(r, 0), 300 + 640 * 0.25);
    EXPECT_NEAR(line_cost(r, 1), 300 + 640 * 0.25 * 1.1428572, 1e-9);
    EXPECT_DOUBLE_EQ(line_cost(r, 2), 300 + 640 * 1.0); // 4 x 1/4, clamped at 1
    // The tester's: untested lines cost nothing, then by the bits of tests + 4 x failures.
    LineRecord t;
    EXPECT_EQ(line_cost(t, 3), 0);
    t.tests = 3;
    t.failures = 1; // 7: three bits
    EXPECT_EQ(line_cost(t, 3), 7000);
    t.tests = 8;
    t.failures = 0; // 8: four bits
    EXPECT_EQ(line_cost(t, 3), 8000);
    t.tests = 2;
    t.failures = 10; // mostly failing
    EXPECT_EQ(line_cost(t, 3), 100000);
}

// Lines of a set as straight runs along +x at a lateral position z (lines at the same z carry
// on into each other), each tested 5 times.
struct Plans : RobotTest {
    void SetUp() override {
        RobotTest::SetUp();
        course(3, {0}, {1, 2}); // sets 0 (first lap), 1 and 2 (normal lap)
    }
    static LineRecord& line(int set, int slot, float z, int segment_time, int tests = 5) {
        LineRecord& r = put_line(set, slot, straight(100.0f * set, z, 6), 2 * segment_time);
        r.tests = tests;
        r.first_sum = segment_time * tests;
        r.second_sum = 2 * segment_time * tests;
        return r;
    }
};

TEST_F(Plans, BestChainPerLapOnlyThroughConnectedLines) {
    int e = line(0, 0, 500, 400).id;
    line(0, 1, 520, 100); // faster, but does not lead into the normal lap's chain
    int a = line(1, 0, 500, 300).id;
    line(1, 1, 520, 250); // faster here, but its continuation (d) is slow
    int c = line(2, 0, 500, 200).id;
    line(2, 1, 520, 400);
    line_memory_analyse();
    // Normal lap: a -> c -> a costs 500, b -> d -> b 650; a -> d would be unconnected.
    for (int type = 0; type < LINE_COST_TYPES; type++) {
        EXPECT_EQ(g_robots.plans[type][1], a) << type;
        EXPECT_EQ(g_robots.plans[type][2], c) << type;
        EXPECT_EQ(g_robots.plans[type][0], e) << type; // into the normal lap's first line
    }
    // A line with fewer than five tests is chosen but not named by the plan.
    g_robots.sets[2].lines[0].tests = 4;
    g_robots.sets[2].lines[0].first_sum = 4 * 200;
    line_memory_analyse();
    EXPECT_EQ(g_robots.plans[2][2], 0);
    EXPECT_EQ(g_robots.plans[2][1], a); // type 2 still ranks it by its four tests
}

TEST_F(Plans, CrowdedFirstLapSetLosesTheLineCrossingMostOthers) {
    // 42 parallel lines and two diagonals that cross every one of them (and each other): 44.
    LineSet& set = g_robots.sets[0];
    for (int k = 0; k < 42; k++) line(0, k, 500 + 2.0f * k, 300, 0);
    std::vector<LinePoint> down, up;
    for (int k = 0; k < 6; k++) {
        down.push_back(point(10.0f * k, 495 + 20.0f * k));
        up.push_back(point(10.0f * k, 595 - 20.0f * k));
    }
    LineRecord& tested = put_line(0, 42, down, 600, 3, 1800);
    put_line(0, 43, up, 600);
    int tested_id = tested.id;
    line_memory_thin();
    // Equal crossings: the untested diagonal goes first; then the eviction choice (the
    // largest expected time: the tested diagonal's 600 is below the others' 750).
    EXPECT_EQ(in_use(0), 42);
    EXPECT_TRUE(set.lines[43].points.empty());
    EXPECT_EQ(line_find(0, tested_id), &set.lines[42]);
}

TEST(Personalities, TableAndLookupByName) {
    EXPECT_STREQ(robot_personality(2)->name, "quellin");
    EXPECT_EQ(robot_personality(2)->plan_close, 2);
    EXPECT_EQ(robot_personality(2)->plan_leading, 1);
    EXPECT_FLOAT_EQ(robot_personality(3)->launch_max, 0.1f);
    EXPECT_EQ(robot_personality_find("tester"), 4);
    EXPECT_EQ(robot_personality_find("fenwy"), 3);
}

TEST_F(RobotTest, UnknownPersonalityGivesZaboAndIsLogged) {
    EXPECT_EQ(robot_personality_find("empty"), 1); // entry 0 is not looked up by name
    EXPECT_EQ(robot_personality_find("speedy"), 1);
    EXPECT_NE(log_text().find("auto pilot personality 'speedy' not found\n"), std::string::npos);
}

TEST_F(RobotTest, LeaderFarAheadPlansWithItsLeadingType) {
    course(4, {0, 1}, {2, 3});
    rider(1, RIDER_ROBOT);
    rider(2, RIDER_ROBOT);
    g_robots.robots[1].personality = 2; // quellin: type 2 close, 1 beyond a 10 s lead
    set_times(1, {300, 500, 700, 900});
    set_times(2, {400, 900, 1500, 1500 + 1281});
    standings_update();
    ASSERT_EQ(g_results.standings[0].slot, 1);
    // The second's last position (3) at 2781 against the leader's 900: 1881 ticks, over 10 s.
    EXPECT_EQ(robot_plan_type(1), 1);
    set_times(2, {400, 900, 1500, 900 + 1280}); // exactly 10 s: still close
    standings_update();
    EXPECT_EQ(robot_plan_type(1), 2);
    EXPECT_EQ(robot_plan_type(2), 0); // not leading: zabo's type when close
}

// A robot standing at (0, 500) facing +x, picking for segment 0.
struct Picking : RobotTest {
    void SetUp() override {
        RobotTest::SetUp();
        course(4, {0, 1}, {2, 3});
        rider(1, RIDER_ROBOT);
        move_to(1, 0, 500);
    }
};

TEST_F(Picking, EmptyPathPicksTheLineStartingNearest) {
    int near = put_line(0, 0, straight(20, 500, 6), 600).id; // 20 ft away
    int far = put_line(0, 1, straight(90, 500, 6), 400).id;  // 90 ft away
    g_session_data.session_clock = 200; // both last picked at the reset, 1.6 s ago
    robot_pick(1);
    EXPECT_EQ(g_robots.riders[1].picks[0], near);
    EXPECT_EQ(g_robots.robots[1].next_segment, 1);
    // The path: five seam points from where the robot stands, then the line.
    const std::vector<LinePoint>& path = g_robots.robots[1].path;
    ASSERT_EQ(path.size(), 5u + 6u);
    float at[3];
    bike_frame_position(g_session_data.slots[1].bike, at);
    EXPECT_NEAR(path[0].x, at[0], 1e-4);
    EXPECT_NEAR(path[0].z, at[2], 1e-4);
    for (int k = 1; k < 5; k++) {
        EXPECT_GT(path[(size_t)k].x, path[(size_t)k - 1].x); // on its way to the line
        EXPECT_LT(path[(size_t)k].x, 20);
    }
    EXPECT_FLOAT_EQ(path[5].x, 20);
    // The line's recency: picked now; the other line ends 70 ft away and is not touched.
    EXPECT_EQ(line_find(0, near)->last_picked, 200);
    EXPECT_EQ(line_find(0, far)->last_picked, 0);
}

TEST_F(Picking, RobotPutBackMidRaceRidesOnFromTheGatesItPassedNotFromTheStart) {
    // A line of the first segment, from the start; the robot has passed gates 0 and 1 (at x =
    // 100 and 200) and is stood back on the course past gate 1 by the marshals.
    put_line(0, 0, straight(0, 500, 6), 600);
    g_session_data.slots[1].gates_passed = 2;
    move_to(1, 210, 500);
    g_session_data.session_clock = 5000;
    robot_race_hooks()->rider_placed(1);
    const RobotRider& rb = g_robots.robots[1];
    EXPECT_GT(rb.next_segment, 0) << "it would pick the first segment's lines again";
    ASSERT_FALSE(rb.path.empty());
    for (const LinePoint& p : rb.path) EXPECT_GT(p.x, 200) << "a path back up the course";
    EXPECT_NEAR(rb.path.back().x, 300, 1) << "on to the next gate";
    robot_pick(1);
    EXPECT_EQ(g_robots.riders[1].picks[0], 0);
}

TEST_F(Picking, NothingIsPickedWhenEveryLineIsFarAndJustPicked) {
    put_line(0, 0, straight(150, 500, 6), 600); // beyond 100 ft: no match
    g_session_data.session_clock = 0;
    robot_pick(1);
    EXPECT_EQ(g_robots.riders[1].picks[0], 0);
    EXPECT_TRUE(g_robots.robots[1].path.empty());
    // Three seconds on, recency makes up for the distance.
    g_session_data.session_clock = 3 * 128;
    robot_pick(1);
    EXPECT_NE(g_robots.riders[1].picks[0], 0);
}

TEST_F(Picking, TesterPrefersTheLeastTestedLine) {
    g_robots.robots[1].personality = 4; // tester
    // Two lines from the same start; the second has been tested less.
    LineRecord& much = put_line(0, 0, straight(20, 500, 6), 600, 9, 9 * 600);
    LineRecord& less = put_line(0, 1, straight(20, 500.5f, 6), 600, 2, 2 * 600);
    g_session_data.session_clock = 10 * 128;
    robot_pick(1);
    EXPECT_EQ(g_robots.riders[1].picks[0], less.id);
    // Both ending at the same place, both count as just picked.
    EXPECT_EQ(less.last_picked, 10 * 128);
    EXPECT_EQ(much.last_picked, 10 * 128);
}

TEST_F(Picking, LinePickedLessThanThreeSecondsAgoCompetesByMatchAlone) {
    LineRecord& fast = put_line(0, 0, straight(60, 500, 6), 300, 5, 5 * 300);
    LineRecord& slow = put_line(0, 1, straight(61, 530, 6), 900, 5, 5 * 900);
    g_session_data.session_clock = 20 * 128;
    fast.last_picked = 20 * 128 - 64; // half a second ago
    // Equal matches (both 60-ish ft away); only the slow line has its score counted.
    robot_pick(1);
    EXPECT_EQ(g_robots.riders[1].picks[0], slow.id);
}

TEST_F(Picking, PathKeepsThirtyPointsBehindAndSeamsTheNextLineOn) {
    RobotRider& rb = g_robots.robots[1];
    rb.path = straight(0, 500, 40);
    rb.path_index = 36;
    robot_path_trim(1);
    EXPECT_EQ(rb.path.size(), 34u);
    EXPECT_EQ(rb.path_index, 30);
    EXPECT_FLOAT_EQ(rb.path[0].x, 60);
    // The next line starts 10 ft to the side: the last five points bend over to it.
    LineRecord next;
    next.points = straight(400, 510, 4);
    size_t old = rb.path.size();
    robot_path_append(1, next);
    ASSERT_EQ(rb.path.size(), old + 4);
    EXPECT_FLOAT_EQ(rb.path[old - 6].z, 500); // before the seam
    for (size_t k = old - 4; k < old; k++) {
        EXPECT_GT(rb.path[k].z, rb.path[k - 1].z - 1e-3f);
        EXPECT_LT(rb.path[k].z, 510.0f);
    }
    // An airborne end is left as it was ridden.
    rb.path = straight(0, 500, 10);
    rb.path_index = 2;
    next.points[0].speed = -30;
    robot_path_append(1, next);
    for (int k = 0; k < 10; k++) EXPECT_FLOAT_EQ(rb.path[(size_t)k].z, 500);
}

} // namespace

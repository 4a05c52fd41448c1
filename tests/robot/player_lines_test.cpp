// Learning from the player on the generated "rabbithill": a teacher rides the local player's
// slot among robots, its clean laps become lines of the per-user line file, and the robots of
// the next session ride them; with "--nolearn" nothing is written.
#include <algorithm>
#include <cmath>
#include <set>
#include <vector>

#include "bike/bike.h"
#include "bike/bodypose.h"
#include "bike/drivetrain.h"
#include "race/hooks.h"
#include "race/rabbithill_util.h"
#include "robot/robot.h"
#include "robot/robot_internal.h"

using namespace racetest;

namespace {

struct PlayerLines : RaceOnRabbitHill {
    void SetUp() override {
        RaceOnRabbitHill::SetUp();
        robot_module_reset();
        robot_install();
    }
    void TearDown() override {
        race_set_robot_hooks(nullptr);
        robot_module_reset();
        RaceOnRabbitHill::TearDown();
    }
    static std::string user_file() { return test_user_dir() + "rabbithill/lines_novice"; }
    static int highest_id() {
        int id = 0;
        for (const LineSet& set : g_robots.sets)
            for (const LineRecord& r : set.lines) id = std::max(id, r.id);
        return id;
    }
    // A session on the Novice lines: the player (the local slot 0) when `player`, and robots
    // in slots 1..robots.
    static void start(bool player, int robots, int laps) {
        int table[MAX_RIDERS] = {};
        if (player) table[0] = RIDER_CODE_LOCAL;
        for (int s = 1; s <= robots; s++) table[s] = RIDER_CODE_ROBOT;
        ASSERT_EQ(session_start(table, 0, 0, 0, laps, 0), 1);
    }
    // Ends the session as a track change does: the memory is written back.
    static void end_session() {
        int none[MAX_RIDERS] = {};
        session_start(none, 0, 0, 0, 1, 0);
    }
};

struct Learned {
    int set;
    LinePoint first;
    int second_time;
};

bool same_point(const LinePoint& a, const LinePoint& b) {
    // The file keeps six decimals.
    return std::fabs(a.x - b.x) < 1e-3f && std::fabs(a.z - b.z) < 1e-3f;
}

TEST_F(PlayerLines, PlayersLapsAreStoredAndTheNextSessionsRobotsRideThem) {
    // 1. The player rides three laps among four robots, faster than the Novice teacher did.
    start(true, 4, 3);
    ASSERT_GT(line_set_count(), 0);
    const int shipped = highest_id();
    ASSERT_GT(shipped, 0) << "the shipped Novice lines were not loaded";
    bike_setup_defaults(g_session_data.slots[0].bike);
    const int limit = g_session.start_tick + 600 * TICKS_PER_SECOND;
    while (!rider_finished(0) && g_session.session_clock < limit) {
        robot_teacher_drive(0, 0.75f);
        session_tick();
    }
    ASSERT_TRUE(rider_finished(0)) << "the teacher did not finish its laps";

    // 2. Its laps were judged: new lines stand in the memory (robots only test).
    std::vector<Learned> learned;
    for (int s = 0; s < line_set_count(); s++)
        for (const LineRecord& r : g_robots.sets[(size_t)s].lines)
            if (r.id > shipped && !r.points.empty())
                learned.push_back({s, r.points[0], r.second_time});
    ASSERT_FALSE(learned.empty()) << "no lap of the player was stored";
    end_session();
    ASSERT_FALSE(read_file(user_file()).empty());

    // 3. The next session reads them back from the per-user file...
    robot_module_reset();
    robot_install();
    start(false, 8, 2);
    std::set<int> player_ids;
    for (const Learned& l : learned)
        for (const LineRecord& r : g_robots.sets[(size_t)l.set].lines)
            if (!r.points.empty() && same_point(r.points[0], l.first) &&
                r.second_time == l.second_time)
                player_ids.insert(r.id);
    EXPECT_EQ(player_ids.size(), learned.size());

    // ...and its robots ride them.
    int picked = 0;
    const int end = g_session.start_tick + 90 * TICKS_PER_SECOND;
    while (g_session.session_clock < end && !picked) {
        session_tick();
        for (int s = 1; s <= 8; s++) picked += player_ids.count(g_robots.robots[s].following) > 0;
    }
    EXPECT_GT(picked, 0) << "no robot picked a line the player rode";
}

// The teacher at race pace (the Expert lines' pace) flies Rabbit Hill's jumps rather than rolling
// them, and lands them: a lap from the gate and a flying lap.
TEST_F(PlayerLines, TheTeacherAtRacePaceFliesTheJumpsAndLandsThem) {
    g_settings.nolearn = 1;
    start(true, 0, 2);
    bike_setup_defaults(g_session_data.slots[0].bike);
    RideAirtime air;
    const int limit = g_session.start_tick + 400 * TICKS_PER_SECOND;
    while (!rider_finished(0) && g_session.session_clock < limit) {
        robot_teacher_drive(0, 0.82f);
        session_tick();
        robot_airtime_tick(0, &air);
    }
    ASSERT_TRUE(rider_finished(0));
    EXPECT_GE(air.stretches[1], 5) << "airborne stretches of half a second on the flying lap";
    EXPECT_EQ(air.crashes[0] + air.crashes[1], 0);
}

// Robots change up as they gather speed rather than holding first gear on the limiter (they
// once judged their shifts by the road speed, which stays below the engine's while the tyre
// slips on dirt, and never changed up).
TEST_F(PlayerLines, RobotsChangeUpRatherThanRideOnTheLimiter) {
    g_settings.nolearn = 1;
    start(false, 6, 1);
    int moving = 0, limiter = 0, top_gear = 0;
    const int end = g_session.start_tick + 25 * TICKS_PER_SECOND;
    while (g_session.session_clock < end) {
        session_tick();
        if (g_session.session_clock < g_session.start_tick + 5 * TICKS_PER_SECOND) continue;
        for (int s = 1; s <= 6; s++) {
            const Bike* b = g_session_data.slots[s].bike;
            if (!b || bike_crash_countdown(b) > 0) continue;
            moving++;
            // Off the line (the start, or up again after a fall) the rear wheel spins first gear
            // up to the limiter before the bike has the speed for second: riding on the
            // limiter is doing so at speed.
            float v[3];
            bike_body_velocity(b, BODY_FRAME, v);
            limiter += bike_gear(b) == 0 && bike_rpm(b) > 13000 && std::hypot(v[0], v[2]) > 35;
            top_gear = std::max(top_gear, bike_gear(b));
        }
    }
    EXPECT_GE(top_gear, 1) << "no robot changed up";
    EXPECT_LT(limiter, moving / 20) << limiter << " of " << moving
                                    << " robot ticks in first gear above 13,000 rpm and 35 ft/s";
}

TEST_F(PlayerLines, NolearnWritesNothing) {
    g_settings.nolearn = 1;
    start(true, 2, 1);
    bike_setup_defaults(g_session_data.slots[0].bike);
    const int limit = g_session.start_tick + 200 * TICKS_PER_SECOND;
    while (!rider_finished(0) && g_session.session_clock < limit) {
        robot_teacher_drive(0, 0.75f);
        session_tick();
    }
    end_session();
    EXPECT_EQ(robot_lines_save(), 0);
    EXPECT_TRUE(read_file(user_file()).empty());
}

} // namespace

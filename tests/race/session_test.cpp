// Race sessions on the generated "rabbithill": the start, the robot list, spawn positions, a
// two-lap race ridden gate by gate with its results and demo, and time trials.
#include <ode/ode.h>

#include <cmath>
#include <cstdarg>
#include <random>
#include <regex>

#include "bike/bodypose.h"

#include "bike/rider.h"
#include "bike/step.h"
#include "core/config.h"
#include "race/rabbithill_util.h"

using namespace racetest;

namespace {

std::string fmt(const char* f, ...) {
    char b[256];
    va_list a;
    va_start(a, f);
    vsnprintf(b, sizeof b, f, a);
    va_end(a);
    return b;
}

// The robot order after shuffling `order` with MT19937 seeded with `seed`.
void shuffle(std::vector<int>* order, unsigned seed) {
    std::mt19937 mt(seed);
    for (int i = 79; i >= 1; i--) std::swap((*order)[i], (*order)[(mt() >> 16) % i]);
}

int table_with(std::initializer_list<int> codes, int* table) {
    for (int i = 0; i < MAX_RIDERS; i++) table[i] = 0;
    int i = 0;
    for (int c : codes) table[i++] = c;
    return i;
}

TEST(RaceDescription, MinutesAndLaps) {
    EXPECT_EQ(race_description(76800, 1), "10 minutes + 1 laps");
    EXPECT_EQ(race_description(76800, 0), "10 minutes");
    EXPECT_EQ(race_description(100000, 0), "13 minutes");           // 13.02
    EXPECT_EQ(race_description(128 * 90, 2), "2 minutes + 2 laps"); // 1.5 rounds up
    EXPECT_EQ(race_description(0, 5), "5 laps");
}

TEST(RobotList, EightyRobotsNumberedTwentyToNinetyNine) {
    int c125 = 0, fenwy = 0;
    for (int i = 0; i < ROBOT_COUNT; i++) {
        const RobotEntry* e = robot_entry(i);
        ASSERT_NE(e, nullptr);
        EXPECT_EQ(std::string(e->number), std::to_string(20 + i));
        c125 += strstr(e->bike, "125") != nullptr;
        if (!strcmp(e->personality, "fenwy")) {
            fenwy++;
            EXPECT_TRUE(e->bike_texture[0] && e->wheel_texture[0]) << e->number;
        }
    }
    EXPECT_EQ(c125, 20);
    EXPECT_EQ(fenwy, 20);
    EXPECT_EQ(robot_entry(80), nullptr);
}

TEST(RobotList, ShuffleMovesEveryEntryWithTheSeededTwister) {
    session_reset();
    std::vector<int> expect(80);
    for (int i = 0; i < 80; i++) expect[i] = i;
    shuffle(&expect, 1234);
    robot_order_shuffle(1234);
    for (int i = 0; i < 80; i++) {
        EXPECT_EQ(g_session_data.robot_order[i], expect[i]);
        EXPECT_NE(g_session_data.robot_order[i], i); // nobody keeps its place
    }
    shuffle(&expect, 99);
    robot_order_shuffle(99);
    for (int i = 0; i < 80; i++) EXPECT_EQ(g_session_data.robot_order[i], expect[i]);
    session_reset();
}

TEST_F(RaceOnRabbitHill, StartPutsRidersAtTheGate) {
    int table[MAX_RIDERS];
    table_with({RIDER_CODE_LOCAL, RIDER_CODE_ROBOT, RIDER_CODE_ROBOT_125, RIDER_CODE_ROBOT_250,
                1000 + 99, RIDER_CODE_LOCAL},
               table);
    ASSERT_TRUE(session_start(table, 0, 0, 0, 5, 0));
    const Session& s = g_session_data;
    EXPECT_TRUE(s.track_loaded);
    EXPECT_EQ(s.track_name, "rabbithill");
    EXPECT_EQ(s.first_lap, (int)g_gates.first_lap.size());
    EXPECT_EQ(s.normal_lap, (int)g_gates.normal_lap.size());
    EXPECT_EQ(s.session_clock, 0);
    EXPECT_EQ(s.cue_tick, 640);
    EXPECT_GE(s.start_tick, 128 * 13);
    EXPECT_LT(s.start_tick, 128 * 15);
    EXPECT_EQ(s.final_lap, 5);
    EXPECT_EQ(s.halfway_lap, 3);
    EXPECT_FALSE(s.time_trial);
    EXPECT_EQ(s.viewed_rider, 0);

    // Robots come from the list shuffled with the clock of the session before (0).
    std::vector<int> order(80);
    for (int i = 0; i < 80; i++) order[i] = i;
    shuffle(&order, 0);
    EXPECT_EQ(s.slots[0].kind, RIDER_LOCAL);
    EXPECT_EQ(s.slots[0].autopilot, 0);
    EXPECT_STREQ(bike_plate_text(s.slots[0].bike), "999");
    EXPECT_EQ(s.slots[1].robot, order[0]);
    EXPECT_STREQ(bike_plate_text(s.slots[1].bike), robot_entry(order[0])->number);
    int first125 = -1, first250 = -1;
    for (int i = 0; i < 80; i++) {
        const char* bike = robot_entry(order[i])->bike;
        if (first125 < 0 && i > 0 && strstr(bike, "125")) first125 = order[i];
    }
    for (int i = 0; i < 80; i++) {
        const char* bike = robot_entry(order[i])->bike;
        if (first250 < 0 && i > 0 && order[i] != first125 && strstr(bike, "250"))
            first250 = order[i];
    }
    EXPECT_EQ(s.slots[2].robot, first125);
    EXPECT_EQ(s.slots[3].robot, first250);
    EXPECT_STREQ(bike_plate_text(s.slots[4].bike), "99");
    EXPECT_EQ(s.slots[4].kind, RIDER_ROBOT);
    EXPECT_EQ(s.slots[5].bike, nullptr); // a second player is nobody
    // Robot 99 rides an "rmz250": the old name means the 2008 model.
    EXPECT_STREQ(bike_name(s.slots[4].bike), "rmz250(2008)");

    // Rows behind the start slots: slot s stands 0.625 behind start slot s.
    for (int slot = 0; slot < 5; slot++) {
        const StartSlot& start = g_gates.slots[slot];
        const BikeInfo& info = s.slots[slot].bike->info;
        float p[3];
        ASSERT_TRUE(session_rider_position(slot, p));
        float a = start.angle, back = 0.625f;
        float fx = info.frame_position[0], fz = info.frame_position[2];
        EXPECT_NEAR(p[0], start.x + back * std::sin(a) + fx * std::cos(a) + fz * std::sin(a), 1e-3);
        EXPECT_NEAR(p[2], start.z + back * std::cos(a) - fx * std::sin(a) + fz * std::cos(a), 1e-3);
        EXPECT_GE(p[1], terrain_sample(&g_terrain, (int)(p[0] / g_terrain.spacing),
                                       (int)(p[2] / g_terrain.spacing)) -
                            1);
    }
    // The player's place is the spawn position (for the false-start test).
    float p0[3];
    session_rider_position(0, p0);
    for (int k = 0; k < 3; k++) EXPECT_FLOAT_EQ(s.spawn[k], p0[k]);
    EXPECT_EQ(g_results.standings_count, 5);
    EXPECT_FALSE(s.results_final);
    for (int i = 0; i < g_gates.slot_count; i++) EXPECT_EQ(g_gates.slots[i].bar, 1.0f);

    std::string log = log_text();
    for (const char* line :
         {"Resetting...", "Remembering lines...", "Cleaning up...", "Deallocating bikes",
          "Analyzing lines...", "Loading bikes...", "MB texture memory used"})
        EXPECT_NE(log.find(line), std::string::npos) << line;
}

TEST_F(RaceOnRabbitHill, NextStartShufflesWithTheClockReached) {
    int table[MAX_RIDERS];
    table_with({RIDER_CODE_ROBOT, RIDER_CODE_ROBOT}, table);
    ASSERT_TRUE(session_start(table, 0, 0, 0, 5, 0));
    for (int i = 0; i < 37; i++) session_tick();
    EXPECT_EQ(g_session_data.session_clock, 37);
    ASSERT_TRUE(session_start(table, 0, 0, 0, 5, 0));
    std::vector<int> order(80);
    for (int i = 0; i < 80; i++) order[i] = i;
    shuffle(&order, 0);
    shuffle(&order, 37);
    EXPECT_EQ(g_session_data.slots[0].robot, order[0]);
    EXPECT_EQ(g_session_data.slots[1].robot, order[1]);
}

TEST_F(RaceOnRabbitHill, EmptyTableGivesOneRobotAndTimedRacesWaitForTheirFinalLap) {
    int table[MAX_RIDERS] = {};
    ASSERT_TRUE(session_start(table, 0, 0, 76800, 1, 0));
    EXPECT_EQ(g_session_data.slots[0].kind, RIDER_ROBOT);
    EXPECT_NE(g_session_data.slots[0].bike, nullptr);
    for (int i = 1; i < MAX_RIDERS; i++) EXPECT_EQ(g_session_data.slots[i].bike, nullptr);
    EXPECT_EQ(g_session_data.final_lap, LAP_UNKNOWN);
    EXPECT_EQ(g_session_data.halfway_lap, LAP_UNKNOWN);
}

TEST_F(RaceOnRabbitHill, MissingTrackFailsTheStart) {
    tracklist_add("nowhere", "Nowhere");
    tracklist_select((int)g_tracks.tracks.size() - 1);
    int table[MAX_RIDERS] = {RIDER_CODE_LOCAL};
    EXPECT_FALSE(session_start(table, 0, 0, 0, 5, 0));
    EXPECT_FALSE(g_session_data.track_loaded);
    for (const RiderSlot& r : g_session_data.slots) EXPECT_EQ(r.bike, nullptr);
}

// The player, robot 45 and robot 20 ride two laps gate by gate; robot 20 skips position 10.
struct TwoLaps : RaceOnRabbitHill {
    int f = 0, n = 0, positions = 0, t0 = 0;
    std::vector<std::vector<int>> schedule;
    void SetUp() override {
        RaceOnRabbitHill::SetUp();
        int table[MAX_RIDERS];
        table_with({RIDER_CODE_LOCAL, 1045, 1020}, table);
        ASSERT_TRUE(session_start(table, 0, 1, 0, 2, 0));
        f = g_session_data.first_lap;
        n = g_session_data.normal_lap;
        positions = f + n; // two laps
        t0 = g_session_data.start_tick + 128;
        schedule.assign(3, std::vector<int>(positions));
        for (int p = 0; p < positions; p++) {
            schedule[0][p] = t0 + 20 * p;
            schedule[1][p] = t0 + 22 * p + 3;
            schedule[2][p] = p == 10 ? -1 : t0 + 21 * p + 1;
        }
        ride(schedule, schedule[1].back() + 2);
    }
    int t(int slot, int p) { return schedule[slot][p]; }
};

TEST_F(TwoLaps, LapsLapTimesAndFinishing) {
    ASSERT_GT(f, 11);
    for (int slot = 0; slot < 3; slot++) {
        EXPECT_EQ(rider_gates(slot), positions) << slot;
        EXPECT_EQ(rider_laps(slot), 2);
        EXPECT_TRUE(rider_finished(slot));
        for (int p = 0; p < positions; p++)
            EXPECT_EQ(rider_gate_time(slot, p), t(slot, p)) << slot << " " << p;
    }
    EXPECT_DOUBLE_EQ(rider_lap_time(0, 1), (t(0, f - 1) - g_session_data.start_tick) / 128.0);
    EXPECT_DOUBLE_EQ(rider_lap_time(0, 2), 20.0 * n / 128);
    EXPECT_DOUBLE_EQ(rider_lap_time(1, 2), 22.0 * n / 128);
    EXPECT_TRUE(g_session_data.results_final);
}

TEST_F(TwoLaps, SkippedGateIsPenalisedInTheFinalResults) {
    // Riders 0 and 1 rode positions 9 to 11 in 40 and 44 ticks; rider 2 in 42 with a gate
    // missing: (40 + 44) / 2 + 128 - 42.
    int penalty = (40 + 44) / 2 + 128 - 42;
    ASSERT_EQ(g_results.final_count, 3);
    EXPECT_EQ(g_results.final_results[0].slot, 0);
    EXPECT_EQ(g_results.final_results[1].slot, 1);
    EXPECT_EQ(g_results.final_results[2].slot, 2);
    EXPECT_EQ(g_results.final_results[2].last_tick, t(2, positions - 1) + penalty);
    EXPECT_EQ(g_results.final_results[2].gates, positions);
    EXPECT_EQ(g_results.final_results[1].last_tick, t(1, positions - 1));
    // The standings keep the order on the track.
    EXPECT_EQ(g_results.standings[1].slot, 2);
}

TEST_F(TwoLaps, ResultsFileHasEveryRiderAndGateTime) {
    std::string text = read_file(test_user_dir() + "results.txt");
    std::vector<std::string> lines = split_lines(text);
    ASSERT_GE(lines.size(), 5u);
    EXPECT_TRUE(std::regex_match(lines[0],
                                 std::regex(R"(Time=0\.00\|Laps=2\|Track=rabbithill\|Date=\d+\r)")))
        << lines[0];
    int start = g_session_data.start_tick;
    auto time_text = [](long long ticks) {
        long long ms = ticks * 1000 / 128;
        return fmt("%3d:%02d.%03d", (int)(ms / 60000), (int)(ms / 1000 % 60), (int)(ms % 1000));
    };
    std::string expect =
        lines[0] + "\n" + " No. |         Bike | Laps | Total Time | BLap |  Best Time\r\n";
    const char* numbers[] = {"999", "45", "20"};
    const char* bikes[] = {"crf250(2009)", "kx250f(2008)", "kx125"};
    int penalty = (40 + 44) / 2 + 128 - 42;
    for (int slot = 0; slot < 3; slot++) {
        int last = t(slot, positions - 1) + (slot == 2 ? penalty : 0);
        int lap2 = t(slot, positions - 1) - t(slot, f - 1);
        expect += fmt("%4s | %12s | %4d | ", numbers[slot], bikes[slot], 2) +
                  time_text(last - start) + " | " + fmt("%4d | ", 2) + time_text(lap2) + "\r\n";
    }
    for (int slot = 0; slot < 3; slot++) {
        expect += fmt("\r\n%d\r\n", positions);
        for (int p = 0; p < positions; p++) {
            expect += t(slot, p) < 0 ? fmt("%8d", -1) : fmt("%8.3f", (t(slot, p) - start) / 128.0);
            expect += (p == f - 1 || p == positions - 1) ? "\r\n" : " ";
        }
    }
    EXPECT_EQ(text, expect);
}

TEST_F(TwoLaps, DemoHoldsHeaderRidersAndOneFramePerTick) {
    demo_record_stop();
    std::string demo = read_file(test_user_dir() + "demos/default.qzdemo");
    std::string header = fmt("QZ05 3 0 2 %d\n", g_session_data.start_tick) + "rabbithill\n" +
                         "crf250(2009)||||\n999\n" +
                         "kx250f(2008)|@rider_body-green.png|||@rider_head-green.png\n45\n" +
                         "kx125|@rider_body-red.png|||@rider_head-red.png\n20\n";
    ASSERT_EQ(demo.substr(0, header.size()), header);
    // One frame at the start and one after every tick.
    EXPECT_EQ(demo.size(), header.size() + (size_t)3 * 39 * (g_session_data.session_clock + 1));
}

} // namespace

namespace {

// Heading of a bike (radians, 0 facing -z, positive toward -x) and its roll.
float heading_of(const Bike* b) {
    float pos[3], rot[9];
    bike_body_pose(b, BODY_FRAME, pos, rot);
    return std::atan2(rot[2], rot[8]); // the body's +z axis (toward the rear) in the world
}

} // namespace

// The heading a stopped rider, leaning onto the foot beside the first gate and facing past it,
// reaches after two seconds; `racing` false makes it a finished rider with no gate to head for.
float heading_after_stop_beside_gate(bool racing) {
    g_config.arcade.current = NO;
    g_config.auto_dab.current = YES;
    int table[MAX_RIDERS];
    table_with({RIDER_CODE_LOCAL}, table);
    EXPECT_TRUE(session_start(table, 0, 0, 0, 3, 0));
    Bike* b = g_session.slots[0].bike;
    if (!b) return NAN;
    int gate = gates_sequence_gate(0);
    EXPECT_GE(gate, 0);
    const Gate& g = g_gates.gates[gate];
    // Facing -z with the gate 30 ft to the left (-x), leaning 0.45 rad onto the foot.
    session_place_bike(0, g.centre[0] + 30, g.centre[2], 0);
    float at[3];
    bike_frame_position(b, at);
    bike_reset(b);
    const float forward[3] = {0, 0, 1};
    bike_rotate(b, forward, 0.45f);
    bike_translate(b, at[0], at[1] + 0.5f, at[2]);
    g_session_data.slots[0].finished = !racing;
    for (int i = 0; i < 2 * 128; i++) {
        bike_set_dab(b, 1);
        session_tick();
    }
    return heading_of(b);
}

TEST_F(RaceOnRabbitHill, StoppedLeaningRiderTurnsOnTheSpotTowardTheNextGate) {
    // Turning left (positive heading) toward the gate at a quarter turn.
    float racing = heading_after_stop_beside_gate(true);
    EXPECT_GT(racing, 0.8f);
    EXPECT_LT(racing, 1.8f);
    // Without a course point the foot only holds the bike: it does not turn.
    float finished = heading_after_stop_beside_gate(false);
    EXPECT_LT(std::fabs(finished), 0.2f);
}

TEST_F(RaceOnRabbitHill, NonFiniteBikeIsResetWithoutLosingItsRace) {
    int table[MAX_RIDERS];
    table_with({RIDER_CODE_LOCAL}, table);
    ASSERT_TRUE(session_start(table, 0, 0, 0, 3, 0));
    // Through the first three gates after the start.
    int start = g_session.start_tick;
    ride({{start + 10, start + 20, start + 30}}, start + 40);
    ASSERT_EQ(rider_gates(0), 3);
    std::vector<int> times = g_session.slots[0].gate_times;
    // A world step left a broken state; the bike step puts the bike back before the next one,
    // and its race goes on.
    Bike* b = g_session.slots[0].bike;
    dBodySetLinearVel(b->bodies[BODY_RIDER], NAN, 0, 0);
    bike_step(b, 1);
    session_tick();
    float p[3];
    ASSERT_TRUE(session_rider_position(0, p));
    EXPECT_TRUE(std::isfinite(p[0]) && std::isfinite(p[1]) && std::isfinite(p[2]));
    EXPECT_NE(log_text().find("non-finite physics state, reset"), std::string::npos);
    EXPECT_EQ(rider_gates(0), 3);
    EXPECT_EQ(g_session.slots[0].gate_times, times);
    EXPECT_EQ(rider_laps(0), laps_from_gates(3));
}

// The marshals' hand: a rider far off the course is stood up past the last gate it passed,
// facing on through it, beside a bike already standing there, and its race goes on.
TEST_F(RaceOnRabbitHill, RiderReturnedToTheCourseStandsPastItsLastGateWithItsRaceKept) {
    int table[MAX_RIDERS];
    table_with({RIDER_CODE_LOCAL, RIDER_CODE_ROBOT}, table);
    ASSERT_TRUE(session_start(table, 0, 0, 0, 3, 0));
    {
        // Before the first gate: short of it, so that it is passed next.
        ASSERT_EQ(session_return_rider(0), 1);
        const Gate& first = g_gates.gates[(size_t)gates_sequence_gate(0)];
        float p[3];
        ASSERT_TRUE(session_rider_position(0, p));
        float fx = first.direction[0], fz = first.direction[2], fh = std::hypot(fx, fz);
        float along = ((p[0] - first.centre[0]) * fx + (p[2] - first.centre[2]) * fz) / fh;
        EXPECT_LT(along, -10.0f);
        EXPECT_GT(along, -30.0f);
        EXPECT_EQ(rider_gates(0), 0);
        session_place_rider(0); // back to its slot for the race below
    }
    int start = g_session.start_tick;
    ride({{start + 10, start + 20, start + 30}, {start + 10, start + 20, start + 30}}, start + 40);
    ASSERT_EQ(rider_gates(0), 3);
    std::vector<int> times = g_session.slots[0].gate_times;
    const Gate& g = g_gates.gates[(size_t)gates_sequence_gate(2)];
    float dx = g.direction[0], dz = g.direction[2], h = std::hypot(dx, dz);
    dx /= h, dz /= h;
    float spot[2] = {g.centre[0] + 10 * dx, g.centre[2] + 10 * dz};

    // Rider 1 is put back first (the centre spot is free) and rider 0, lost 600 ft away, after.
    Bike* lost = g_session.slots[0].bike;
    bike_translate(lost, 600, 0, 0);
    ASSERT_EQ(session_return_rider(1), 1);
    float p1[3], p0[3];
    ASSERT_TRUE(session_rider_position(1, p1));
    // (The frame stands some feet ahead of the point a bike is placed by.)
    EXPECT_LT(std::hypot(p1[0] - spot[0], p1[2] - spot[1]), 5.0f);
    ASSERT_EQ(session_return_rider(0), 1);
    ASSERT_TRUE(session_rider_position(0, p0));
    float apart = std::hypot(p0[0] - p1[0], p0[2] - p1[2]);
    EXPECT_GE(apart, 7.0f) << "stood on the other bike";
    EXPECT_LT(std::fabs((p0[0] - p1[0]) * dx + (p0[2] - p1[2]) * dz), 0.5f)
        << "beside the other across the gate, as far past it";
    // Upright, at rest, above the ground, facing the way through the gate.
    float pos[3], rot[9];
    bike_body_pose(lost, BODY_FRAME, pos, rot);
    EXPECT_GT(-rot[2] * dx + -rot[8] * dz, 0.99f);
    EXPECT_GT(rot[4], 0.99f);
    EXPECT_GT(pos[1], terrain_height(&g_terrain, pos[0], pos[2]));
    const dReal* v = dBodyGetLinearVel(lost->bodies[BODY_FRAME]);
    EXPECT_LT(std::hypot(v[0], v[1], v[2]), 0.1);
    EXPECT_EQ(rider_gates(0), 3);
    EXPECT_EQ(g_session.slots[0].gate_times, times);
    // It rides on from there: a tick later it has not passed the gate a second time.
    session_tick();
    EXPECT_EQ(rider_gates(0), 3);
}

// Stadium Cross has gates in its rhythm lane: a rider put back after one stands on level
// ground, not on a roller, whose face it would loop out riding off at rest.
TEST_F(RaceOnRabbitHill, RiderReturnedAfterAGateInARhythmLaneStandsOnLevelGround) {
    tracklist_select(tracklist_find("stadium"));
    int table[MAX_RIDERS];
    table_with({RIDER_CODE_ROBOT}, table);
    ASSERT_TRUE(session_start(table, 0, 0, 0, 2, 0));
    auto height = [](float x, float z) { return terrain_height(&g_terrain, x, z); };
    // Level: the ground from 6 ft behind to 6 ft ahead rises and falls less than 2.2 ft
    // (whoops are that level, rollers not).
    auto level = [&](float x, float z, float dx, float dz) {
        float low = 1e9f, high = -1e9f;
        for (float a = -6; a <= 6; a += 1) {
            low = std::min(low, height(x + a * dx, z + a * dz));
            high = std::max(high, height(x + a * dx, z + a * dz));
        }
        return high - low < 2.2f;
    };
    int on_jumps = 0;
    for (int k = 1; k <= gates_lap_end(1); k++) {
        const Gate& g = g_gates.gates[(size_t)gates_sequence_gate(k - 1)];
        float dx = g.direction[0], dz = g.direction[2], h = std::hypot(dx, dz);
        dx /= h, dz /= h;
        if (!level(g.centre[0] + 10 * dx, g.centre[2] + 10 * dz, dx, dz)) on_jumps++;
        g_session_data.slots[0].gates_passed = k;
        ASSERT_EQ(session_return_rider(0), 1);
        // Where the bike stands (the frame stands a few feet ahead of the point it is placed by).
        float pos[3], rot[9];
        bike_body_pose(g_session.slots[0].bike, BODY_FRAME, pos, rot);
        float along = (pos[0] - g.centre[0]) * dx + (pos[2] - g.centre[2]) * dz;
        EXPECT_GT(along, -80.0f) << "gate " << k;
        EXPECT_LT(along, 80.0f) << "gate " << k;
        EXPECT_GT(rot[4], 0.99f) << "gate " << k << ": upright";
        EXPECT_TRUE(level(pos[0], pos[2], dx, dz)) << "gate " << k << " at " << pos[0] << " "
                                                   << pos[2];
    }
    EXPECT_GT(on_jumps, 0) << "no gate stands where 10 ft past it is a jump";
}

// Spectating ("[" and "]"): the view moves one place up or down the standings and stops at the
// first and last place; a viewed slot that is not in the standings goes to the leader.
TEST_F(RaceOnRabbitHill, ViewStepsThroughTheStandingsAndStopsAtBothEnds) {
    int table[MAX_RIDERS];
    table_with({RIDER_CODE_ROBOT, RIDER_CODE_ROBOT, RIDER_CODE_ROBOT, RIDER_CODE_ROBOT}, table);
    ASSERT_TRUE(session_start(table, 0, 0, 0, 2, 0));
    standings_update();
    ASSERT_EQ(g_results.standings_count, 4);
    auto slot_at = [](int place) { return g_results.standings[place].slot; };
    Session& s = g_session_data;
    s.viewed_rider = slot_at(1);
    session_view_step(1);
    EXPECT_EQ(s.viewed_rider, slot_at(2));
    session_view_step(1);
    session_view_step(1);
    EXPECT_EQ(s.viewed_rider, slot_at(3)); // the last place holds
    for (int k = 0; k < 5; k++) session_view_step(-1);
    EXPECT_EQ(s.viewed_rider, slot_at(0)); // and so does the first
    s.viewed_rider = 30;                   // an empty slot
    session_view_step(1);
    EXPECT_EQ(s.viewed_rider, slot_at(0));
}

// Time trials on the generated "rabbithill": the reset before the line, attempts from line to
// line, "lastlap.qzdemo" and "fastlap.qzdemo", the ghost and the abort.
#include <cmath>

#include "race/rabbithill_util.h"

using namespace racetest;

namespace {

struct TimeTrial : RaceOnRabbitHill {
    int f = 0, n = 0;
    void SetUp() override {
        RaceOnRabbitHill::SetUp();
        ASSERT_TRUE(session_start(nullptr, 0, 0, 0, 1000, 0));
        f = g_session_data.first_lap;
        n = g_session_data.normal_lap;
    }
    // Rides positions from..to (inclusive), one every `step` ticks; returns the tick of the
    // last one.
    int ride_positions(int from, int to, int step) {
        std::vector<std::vector<int>> schedule(1, std::vector<int>(to + 1, -1));
        int t = g_session_data.session_clock + 1;
        for (int p = from; p <= to; p++, t += step) schedule[0][p] = t;
        int last = t - step;
        ride(schedule, last + 1);
        return last;
    }
    std::string user(const std::string& name) { return read_file(test_user_dir() + name); }
    size_t header_size(const std::string& demo) {
        // Header, track and one rider block: four lines.
        size_t at = 0;
        for (int i = 0; i < 4; i++) at = demo.find('\n', at) + 1;
        return at;
    }
};

TEST_F(TimeTrial, StartsBeforeTheFinishLineLongAfterTheGateDrop) {
    EXPECT_TRUE(g_session_data.time_trial);
    EXPECT_EQ(g_session_data.session_clock, 38400);
    EXPECT_EQ(g_session_data.final_lap, 1000);
    EXPECT_EQ(g_session_data.slots[0].kind, RIDER_LOCAL);
    for (int s = 1; s < MAX_RIDERS; s++) {
        EXPECT_EQ(g_session_data.slots[s].bike, nullptr);
        EXPECT_EQ(g_session_data.slots[s].kind, RIDER_REMOTE);
    }
    EXPECT_EQ(rider_gates(0), f - 2);
    // At the gate of position F - 2, facing along its direction.
    const Gate& g = g_gates.gates[gates_sequence_gate(f - 2)];
    const BikeInfo& info = g_session_data.slots[0].bike->info;
    float h = std::atan2(-g.direction[0], -g.direction[2]);
    float fx = info.frame_position[0], fz = info.frame_position[2];
    float p[3];
    ASSERT_TRUE(session_rider_position(0, p));
    EXPECT_NEAR(p[0], g.centre[0] + fx * std::cos(h) + fz * std::sin(h), 1e-3);
    EXPECT_NEAR(p[2], g.centre[2] - fx * std::sin(h) + fz * std::cos(h), 1e-3);
    RaceDisplay d;
    ASSERT_TRUE(race_display(0, &d));
    EXPECT_EQ(d.place, "P1");
}

TEST_F(TimeTrial, AttemptsRecordLapsAndKeepTheFastestAsGhost) {
    // Crossing the line starts the first attempt and the lap recording.
    int cross = ride_positions(f - 2, f - 1, 10);
    int a1 = cross + 1; // the attempt starts after the tick of the crossing
    EXPECT_EQ(rider_gates(0), f);
    EXPECT_EQ(rider_gate_time(0, f - 1), a1);
    EXPECT_EQ(g_session_data.last_lap, 0);
    EXPECT_TRUE(demo_recording());
    EXPECT_FALSE(demo_playing()); // no ghost yet
    EXPECT_FALSE(file_exists(test_user_dir() + "rabbithill/fastlap.qzdemo"));

    // A full lap, 20 ticks a gate.
    int end1 = ride_positions(f, f + n - 1, 20);
    int e1 = end1 - a1;
    EXPECT_EQ(g_session_data.last_lap, e1);
    EXPECT_EQ(g_session_data.best_lap, e1);
    std::string fast = user("rabbithill/fastlap.qzdemo");
    ASSERT_FALSE(fast.empty());
    EXPECT_EQ(fast.substr(0, fast.find('\n') + 1),
              "QZ05 1 0 1000 " + std::to_string(g_session_data.start_tick) + "\n");
    // A frame at the crossing and one after every tick up to the end of the lap.
    EXPECT_EQ(fast.size(), header_size(fast) + (size_t)39 * (end1 + 1 - a1 + 1));
    // The ghost rides in slot 1; the player starts again from the line.
    ASSERT_TRUE(demo_playing());
    EXPECT_NE(g_session_data.slots[1].bike, nullptr);
    EXPECT_EQ(g_session_data.slots[1].kind, RIDER_REMOTE);
    EXPECT_EQ(g_session_data.slots[1].demo_rider, 0);
    EXPECT_EQ(rider_gates(0), f);
    EXPECT_EQ(rider_gate_time(0, f - 1), end1 + 1);
    EXPECT_TRUE(demo_recording());

    // A faster lap beats the ghost and replaces it.
    int a2 = end1 + 1;
    int end2 = ride_positions(f, f + n - 1, 15);
    int e2 = end2 - a2;
    ASSERT_LT(e2, e1);
    EXPECT_EQ(g_session_data.last_lap, e2);
    EXPECT_EQ(g_session_data.best_lap, e2);
    fast = user("rabbithill/fastlap.qzdemo");
    EXPECT_EQ(fast.size(), header_size(fast) + (size_t)39 * (end2 + 1 - a2 + 1));
    RaceDisplay d;
    ASSERT_TRUE(race_display(0, &d));
    long long tenths = (long long)e2 * 10 / 128;
    char best[64];
    snprintf(best, sizeof best, "Best - %d:%02d.%d", (int)(tenths / 600), (int)(tenths / 10 % 60),
             (int)(tenths % 10));
    EXPECT_EQ(d.best, best);
}

TEST_F(TimeTrial, BackingUpAbortsTheAttempt) {
    ride_positions(f - 2, f - 1, 10);
    ride_positions(f, f + 5, 20);
    ASSERT_TRUE(demo_recording());
    session_reset_riders();
    EXPECT_FALSE(demo_recording());
    EXPECT_FALSE(demo_playing());
    EXPECT_EQ(rider_gates(0), f - 2);
    EXPECT_EQ(g_session_data.last_lap, 0);
    for (int s = 1; s < MAX_RIDERS; s++) EXPECT_EQ(g_session_data.slots[s].bike, nullptr);
    // The next crossing starts a new attempt; the aborted lap left no ghost behind.
    ride_positions(f - 2, f - 1, 10);
    EXPECT_TRUE(demo_recording());
    EXPECT_FALSE(file_exists(test_user_dir() + "rabbithill/fastlap.qzdemo"));
}

} // namespace

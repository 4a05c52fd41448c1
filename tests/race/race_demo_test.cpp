// A two-lap race on the generated "rabbithill" recorded and played back: every rider is back
// at its recorded place at every tick, within the record's quantisation; and a race in which
// one rider cuts a section long enough to cost it a lap.
#include <array>
#include <cmath>
#include <cstdarg>

#include "race/demo_session.h"

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

void lineup(std::initializer_list<int> codes, int* table) {
    for (int i = 0; i < MAX_RIDERS; i++) table[i] = 0;
    int i = 0;
    for (int c : codes) table[i++] = c;
}

struct RaceReplay : RaceOnRabbitHill {
    // Rides the schedule as ride() does, storing every rider's frame position after the
    // start and after every tick: positions[tick][slot].
    std::vector<std::vector<std::array<float, 3>>>
    ride_and_track(const std::vector<std::vector<int>>& schedule, int end) {
        std::vector<std::vector<std::array<float, 3>>> positions;
        auto store = [&] {
            std::vector<std::array<float, 3>> now(schedule.size());
            for (size_t slot = 0; slot < schedule.size(); slot++)
                EXPECT_TRUE(session_rider_position((int)slot, now[slot].data()));
            positions.push_back(now);
        };
        store();
        while (g_session_data.session_clock < end) {
            int t = g_session_data.session_clock;
            for (int slot = 0; slot < (int)schedule.size(); slot++)
                for (int p = 0; p < (int)schedule[slot].size(); p++)
                    if (schedule[slot][p] == t) teleport(slot, p);
            session_tick();
            store();
        }
        return positions;
    }
};

TEST_F(RaceReplay, PlaybackPutsEveryRiderWhereItWasAtEveryTick) {
    int table[MAX_RIDERS];
    lineup({RIDER_CODE_LOCAL, 1045, 1020}, table);
    ASSERT_TRUE(session_start(table, 0, 1, 0, 2, 0));
    int f = g_session_data.first_lap, n = g_session_data.normal_lap, positions = f + n;
    int t0 = g_session_data.start_tick + 128;
    std::vector<std::vector<int>> schedule(3, std::vector<int>(positions));
    for (int p = 0; p < positions; p++) {
        schedule[0][p] = t0 + 20 * p;
        schedule[1][p] = t0 + 22 * p + 3;
        schedule[2][p] = p == 10 ? -1 : t0 + 21 * p + 1;
    }
    int end = schedule[1].back() + 40;
    auto recorded = ride_and_track(schedule, end);
    ASSERT_TRUE(g_session_data.results_final);
    int gates[3], laps[3];
    for (int slot = 0; slot < 3; slot++) {
        gates[slot] = rider_gates(slot);
        laps[slot] = rider_laps(slot);
    }
    demo_record_stop();
    std::string demo = read_file(test_user_dir() + "demos/default.qzdemo");
    size_t text = 0;
    for (int i = 0; i < 8; i++) text = demo.find('\n', text) + 1; // header, track, 3 blocks
    ASSERT_EQ(demo.size(), text + (size_t)3 * 39 * recorded.size());

    ASSERT_TRUE(session_demo_start("demos/default.qzdemo", 0, 0, g_config.record.current == YES,
                                   g_config.skill.current));
    // One step of the position code, plus the rounding of single-precision values near the
    // far side of the field.
    const float tolerance = g_terrain.extent / 16777215.0f + 4e-4f;
    for (size_t tick = 0; tick < recorded.size(); tick++) {
        if (tick > 0) session_tick();
        ASSERT_EQ(g_session_data.session_clock, (int)tick);
        for (int slot = 0; slot < 3; slot++) {
            ASSERT_EQ(g_session_data.slots[slot].kind, RIDER_REMOTE);
            float at[3];
            ASSERT_TRUE(session_rider_position(slot, at));
            for (int k = 0; k < 3; k++)
                ASSERT_NEAR(at[k], recorded[tick][slot][k], tolerance)
                    << "tick " << tick << " slot " << slot << " axis " << k;
            EXPECT_EQ(g_session_data.slots[slot].visibility, 1.0f);
        }
    }
    // Replayed riders pass the same gates again.
    for (int slot = 0; slot < 3; slot++) {
        EXPECT_EQ(rider_gates(slot), gates[slot]) << slot;
        EXPECT_EQ(rider_laps(slot), laps[slot]) << slot;
    }
    // The recording has ended: the riders vanish.
    session_tick();
    for (int slot = 0; slot < 3; slot++) EXPECT_EQ(g_session_data.slots[slot].visibility, 0.0f);
}

// Robots 45 and 20 take 600 and 660 ticks over each of the three gates after position F + 1 on
// the second lap; the player rides the rest of the race at 21 ticks a gate but leaves out
// positions F + 2 and F + 3, reaching F + 4 30 ticks after F + 1. Its penalty,
// (3 x 600 + 3 x 660) / 2 + 128 - 30 = 1988 ticks, is longer than its second lap: the lap is
// taken away and the rest of the penalty added to its finishing time.
TEST_F(RaceReplay, PenaltyLongerThanALapTakesTheLapAway) {
    int table[MAX_RIDERS];
    lineup({RIDER_CODE_LOCAL, 1045, 1020}, table);
    ASSERT_TRUE(session_start(table, 0, 0, 0, 2, 0));
    int f = g_session_data.first_lap, n = g_session_data.normal_lap, positions = f + n;
    ASSERT_GT(n, 5);
    int t0 = g_session_data.start_tick + 128;
    std::vector<std::vector<int>> schedule(3, std::vector<int>(positions));
    const int step[3] = {21, 20, 22}, slow[3] = {0, 600, 660};
    for (int slot = 0; slot < 3; slot++) {
        int t = t0 + slot;
        for (int p = 0; p < positions; p++) {
            bool section = p >= f + 2 && p <= f + 4;
            if (slot == 0 && (p == f + 2 || p == f + 3)) {
                schedule[slot][p] = -1;
                continue;
            }
            t += slot == 0 && p == f + 4 ? 30 : section && slot > 0 ? slow[slot] : step[slot];
            schedule[slot][p] = t;
        }
    }
    ride(schedule, schedule[2].back() + 2);
    ASSERT_TRUE(g_session_data.results_final);
    auto t = [&](int slot, int p) { return schedule[slot][p]; };

    int penalty = (3 * 600 + 3 * 660) / 2 + 128 - 30;
    int lap2 = t(0, positions - 1) - t(0, f - 1);
    ASSERT_GT(penalty, lap2);
    EXPECT_EQ(best_lap_index(0), 2);
    ASSERT_EQ(g_results.final_count, 3);
    // The robots keep both laps; the player is left with one.
    EXPECT_EQ(g_results.final_results[0].slot, 1);
    EXPECT_EQ(g_results.final_results[0].gates, positions);
    EXPECT_EQ(g_results.final_results[1].slot, 2);
    EXPECT_EQ(g_results.final_results[2].slot, 0);
    EXPECT_EQ(g_results.final_results[2].gates, f);
    EXPECT_EQ(g_results.final_results[2].last_tick, t(0, positions - 1) + penalty - lap2);
    // On the road the player finished first.
    EXPECT_EQ(g_results.standings[0].slot, 0);

    // Its results line (the third) counts one lap and the penalised time; its gate list (the
    // third block: a blank line, the count, a line per lap) keeps every gate it passed.
    std::vector<std::string> lines = split_lines(read_file(test_user_dir() + "results.txt"));
    ASSERT_EQ(lines.size(), 17u);
    long long ms =
        (long long)(t(0, positions - 1) + penalty - lap2 - g_session_data.start_tick) * 1000 / 128;
    std::string expect = fmt("%4s | %12s | %4d | %3d:%02d.%03d | ", "999", "crf250(2009)", 1,
                             (int)(ms / 60000), (int)(ms / 1000 % 60), (int)(ms % 1000));
    EXPECT_EQ(lines[4].substr(0, expect.size()), expect) << lines[4];
    EXPECT_EQ(lines[13], "\r");
    EXPECT_EQ(lines[14], fmt("%d\r", positions));
    std::string second;
    for (int p = f; p < positions; p++)
        second += (t(0, p) < 0 ? fmt("%8d", -1)
                               : fmt("%8.3f", (t(0, p) - g_session_data.start_tick) / 128.0)) +
                  (p + 1 < positions ? " " : "\r");
    EXPECT_EQ(lines[16], second);
}

} // namespace

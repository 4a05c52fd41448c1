// Rider progress through the timing gates: the candidate search, skipped gates, the finish
// line, laps and lap times, finishing, and the final-lap rules of timed races.
#include <algorithm>

#include "bike/bike.h"
#include "bike/bodypose.h"
#include "race/hooks.h"
#include "race/results.h"
#include "race/session.h"
#include "race/session_internal.h"
#include "track/gates.h"

// The slot of a rider with a bike, or null.
static RiderSlot* racing(int slot) {
    if (slot < 0 || slot >= MAX_RIDERS || !g_session_data.slots[slot].bike) return nullptr;
    return &g_session_data.slots[slot];
}

int lap_end_position(int lap) {
    long long p =
        (long long)g_session_data.first_lap + (long long)g_session_data.normal_lap * (lap - 1) - 1;
    return (int)std::clamp(p, -1LL, 2147483647LL);
}

int laps_from_gates(int gates) {
    int f = g_session_data.first_lap, n = g_session_data.normal_lap;
    if (gates < f || n <= 0) return 0;
    return (gates - f) / n + 1;
}

int rider_gates(int slot) {
    RiderSlot* b = racing(slot);
    return b ? b->gates_passed : 0;
}

int rider_laps(int slot) {
    return laps_from_gates(rider_gates(slot));
}

int rider_gate_time(int slot, int position) {
    RiderSlot* b = racing(slot);
    if (!b || position < 0 || position >= (int)b->gate_times.size()) return -1;
    return b->gate_times[position];
}

int rider_lap_ticks(int slot, int lap) {
    if (lap < 1 || lap > rider_laps(slot)) return 0;
    int from =
        lap == 1 ? g_session_data.start_tick : rider_gate_time(slot, lap_end_position(lap - 1));
    int to = rider_gate_time(slot, lap_end_position(lap));
    if (from < 0 || to < 0) return 0;
    return to - from;
}

double rider_lap_time(int slot, int lap) {
    return rider_lap_ticks(slot, lap) / 128.0;
}

// True when sequence position p is the last of a lap (a finish-line crossing).
static bool is_lap_end(int p) {
    int f = g_session_data.first_lap, n = g_session_data.normal_lap;
    return n > 0 && p - f + 1 >= 0 && (p - f + 1) % n == 0;
}

// The position the final lap ends at: F + N (final_lap - 1) - 1, or 0 when the final lap is 0.
static long long final_lap_end() {
    if (g_session_data.final_lap == 0) return 0;
    return (long long)g_session_data.first_lap +
           (long long)g_session_data.normal_lap * (g_session_data.final_lap - 1) - 1;
}

int rider_finished(int slot) {
    RiderSlot* b = racing(slot);
    if (!b) return 0;
    if (b->finished) return 1;
    int leader = standings_leader();
    if (leader < 0) return 0;
    long long end = final_lap_end();
    if ((long long)rider_gates(leader) <= end) return 0;
    int leader_time = rider_gate_time(leader, (int)end);
    if (leader_time == -1) return 0;
    int laps = rider_laps(slot);
    int mine = rider_gate_time(slot, laps >= 1 ? lap_end_position(laps) : 0);
    // Everyone finishes on the first crossing of the line after the leader completed the race.
    if (mine >= 0 && mine >= leader_time) {
        b->finished = 1;
        return 1;
    }
    return 0;
}

void rider_set_crossing(int slot, int index, int value) {
    RiderSlot* b = racing(slot);
    if (!b || index < 0 || index > MAX_CROSSING_INDEX) return;
    if (index + 1 < b->gates_passed) b->finished = 0;
    b->gate_times.resize((size_t)index + 1, -1);
    b->gate_times[(size_t)index] = value < 0 ? -1 : value;
    b->gates_passed = index + 1;
    b->stopped = 0;
}

void rider_set_back(int slot, int p) {
    RiderSlot* b = racing(slot);
    if (!b) return;
    p = std::max(p, 0);
    if ((int)b->gate_times.size() > p) b->gate_times.resize(p);
    if (p < b->gates_passed) b->finished = 0;
    b->gates_passed = p;
    b->stopped = 0;
}

void rider_progress(int slot) {
    RiderSlot* r = racing(slot);
    if (!r) return;
    float pos[3];
    bike_frame_position(r->bike, pos);
    rider_progress_at(slot, pos[0], pos[2], bike_frame_speed(r->bike));
}

static bool passes_position(int p, float x, float z) {
    int gate = gates_sequence_gate(p);
    if (gate < 0 || gate >= (int)g_gates.gates.size()) return false;
    return gate_passed(&g_gates.gates[gate], x, z);
}

void rider_progress_at(int slot, float x, float z, float speed) {
    RiderSlot* b = racing(slot);
    if (!b || b->finished || !gates_present() || g_session_data.normal_lap <= 0) return;
    Session& s = g_session_data;
    const RaceRobotHooks& robots = race_robot_hooks();

    // 1. A rider standing still well after the start is flagged for the gate flaggers.
    if (!b->stopped && (long long)s.session_clock > (long long)s.start_tick + 256 && speed < 5) {
        b->stopped = 1;
        if (robots.line_stopped) robots.line_stopped(slot);
    }

    // 2. The gate just passed (-1) is never a candidate, so riding back through it does
    // nothing; earlier gates count only when they were skipped.
    static const int OFFSETS[] = {-3, -2, 0, 1, 2};
    GateSearch found{0, -1, 0};
    int accepted = -1;
    for (int i : OFFSETS) {
        int p = b->gates_passed + i;
        if (p < 0) continue;
        bool no_time = p >= (int)b->gate_times.size();
        bool missing = no_time || b->gate_times[p] == -1;
        if (passes_position(p, x, z)) {
            if (i >= 0 || missing) {
                accepted = p;
                found = GateSearch{1, p, i};
                break;
            }
            continue;
        }
        // Gates beyond a finish line that was not crossed never count.
        if (is_lap_end(p) && no_time) break;
    }
    if (accepted < 0) {
        if (robots.line_tick) robots.line_tick(slot, &found);
        return;
    }

    // 3. Skipped positions keep -1.
    int p = accepted;
    if ((int)b->gate_times.size() <= p) b->gate_times.resize(p + 1, -1);
    b->gate_times[p] = s.session_clock;
    b->gates_passed = p + 1;

    // 4. A completed lap may end this rider's race.
    int f = s.first_lap, n = s.normal_lap;
    if (b->gates_passed - f >= 0 && (b->gates_passed - f) % n == 0) {
        int leader = standings_leader();
        if ((leader >= 0 && (long long)rider_gates(leader) > final_lap_end()) ||
            rider_laps(slot) >= s.final_lap)
            b->finished = 1;
    }

    // 5. The standings see the new gate; a rider who passed one is moving again.
    standings_update();
    b->stopped = 0;
    // 6. The line memory sees what this tick's search found.
    if (robots.line_tick) robots.line_tick(slot, &found);
}

void session_final_lap_rules() {
    Session& s = g_session_data;
    if (s.race_length <= 0) return;
    int leader = standings_leader();
    if (leader < 0) return;
    if (s.session_clock >= s.race_length / 2 && s.halfway_lap == LAP_UNKNOWN)
        s.halfway_lap = rider_laps(leader) + 1;
    if (s.session_clock < s.race_length) return;
    if (s.final_lap == LAP_UNKNOWN) {
        s.final_lap = rider_laps(leader) + s.extra_laps + 1;
        return;
    }
    // A final lap worked out after the leader had already crossed the line before the time
    // ran out is one lap short.
    int o = s.final_lap == s.extra_laps ? 0 : lap_end_position(s.final_lap - s.extra_laps);
    for (int i = 0; i < g_results.standings_count; i++) {
        int t = rider_gate_time(g_results.standings[i].slot, o);
        if (t > 0 && t < s.race_length) {
            s.final_lap++;
            break;
        }
    }
}

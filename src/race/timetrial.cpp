// Time trials: one rider, attempts from finish line to finish line, each recorded as
// "lastlap.qzdemo" and raced against the best one kept as "fastlap.qzdemo".
#include <algorithm>
#include <cmath>
#include <vector>

#include "bike/bike.h"
#include "data/datafile.h"
#include "platform/log.h"
#include "race/demo_session.h"
#include "race/results.h"
#include "race/session.h"
#include "race/session_internal.h"
#include "replay/demo.h"
#include "track/gates.h"

int trial_lap_ticks(int slot) {
    int f = g_session_data.first_lap, n = g_session_data.normal_lap;
    int from = f - 1, to = f + n - 1;
    if (from < 0 || n <= 0) return 0;
    for (int p = from; p <= to; p++)
        if (rider_gate_time(slot, p) < 0) return 0;
    return rider_gate_time(slot, to) - rider_gate_time(slot, from);
}

// Frees riders 1 to 39; their slots are left to demo ghosts.
static void free_others() {
    for (int s = 1; s < MAX_RIDERS; s++) {
        session_free_rider(s);
        g_session_data.slots[s].kind = RIDER_REMOTE;
    }
}

void session_reset_riders() {
    Session& s = g_session_data;
    if (!s.time_trial) return;
    // Ghost and lap recording start again at the next crossing of the finish line.
    demo_close_playback();
    demo_record_stop();
    free_others();
    int p = std::max(s.first_lap - 2, 0);
    int gate = gates_sequence_gate(p);
    if (s.slots[0].bike && gate >= 0 && gate < (int)g_gates.gates.size()) {
        const Gate& g = g_gates.gates[gate];
        session_place_bike(0, g.centre[0], g.centre[2],
                           std::atan2(-g.direction[0], -g.direction[2]));
    }
    rider_set_back(0, p);
    s.last_lap = 0;
    standings_update();
}

void trial_tick_begin() {
    g_session_data.trial_laps[0] = rider_laps(0);
    g_session_data.trial_laps[1] = rider_laps(1);
}

static bool fastlap_exists(const std::string& name) {
    DataFile* f = data_open(name.c_str(), "rb");
    if (!f) return false;
    data_close(f);
    return true;
}

// A completed lap ends the attempt and starts the next one from the line.
static void trial_attempt() {
    Session& s = g_session_data;
    int ghost_gates = rider_gates(1);
    // 1. The ghost and the lap recording end.
    demo_close_playback();
    bool lap_recorded = demo_recording();
    demo_record_stop();
    free_others();
    // 2. The lap just ridden, and the best one.
    int e = trial_lap_ticks(0);
    s.last_lap = e;
    if (e > 0) s.best_lap = s.best_lap > 0 ? std::min(s.best_lap, e) : e;
    // 3. The lap just recorded becomes the ghost when it was faster, or when there is none.
    std::string lastlap = "@" + s.track_name + "/lastlap.qzdemo";
    std::string fastlap = "@" + s.track_name + "/fastlap.qzdemo";
    if (lap_recorded && (!fastlap_exists(fastlap) || (rider_gates(0) > ghost_gates && e > 0)))
        demo_copy(lastlap.c_str(), fastlap.c_str());
    // 4. The next attempt from the line, against the ghost of the best lap.
    int back = std::max(s.first_lap - 1, 0);
    session_demo_open();
    session_demo_record_start();
    std::vector<int> ghosts;
    for (int i = 0; demo_playing() && i < demo_rider_count() && 1 + i < MAX_RIDERS; i++) {
        if (!session_load_demo_rider(1 + i, i)) continue;
        rider_set_back(1 + i, back);
        ghosts.push_back(1 + i);
    }
    rider_set_back(0, back);
    rider_progress(0);
    session_demo_record_frame();
    if (demo_playing()) session_demo_play_frame();
    for (int g : ghosts) rider_progress(g);
    standings_update();
}

void trial_tick_end() {
    Session& s = g_session_data;
    if (s.slots[1].bike && rider_laps(1) != s.trial_laps[1]) {
        int e = trial_lap_ticks(1);
        if (e > 0 && (s.best_lap == 0 || e < s.best_lap)) s.best_lap = e;
    }
    if (s.slots[0].bike && rider_laps(0) != s.trial_laps[0]) trial_attempt();
}

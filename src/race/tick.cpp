// One race tick: remote states, contacts, roost, the world step, robots and bike steps with the
// gate counting, particles, the start-gate bars, the clock, the demo frame and the time trial.
#include <algorithm>

#include "bike/bike.h"
#include "platform/log.h"
#include "platform/messages.h"
#include "race/hooks.h"
#include "race/results.h"
#include "race/session.h"
#include "race/session_internal.h"
#include "replay/demo.h"
#include "track/gates.h"
#include "track/objects.h"

// Riders taking part in bike-to-bike contacts, fastest first.
static int by_speed(int* out, bool (*wanted)(int slot)) {
    int n = 0;
    float speed[MAX_RIDERS];
    for (int s = 0; s < MAX_RIDERS; s++) {
        Bike* b = g_session.slots[s].bike;
        if (!b || !wanted(s)) continue;
        speed[s] = race_bike_speed(b);
        out[n++] = s;
    }
    std::stable_sort(out, out + n, [&](int a, int b) { return speed[a] > speed[b]; });
    return n;
}

static bool not_remote(int slot) {
    return g_session.slots[slot].kind != RIDER_REMOTE;
}

static bool local_or_recent_remote(int slot) {
    const RiderSlot& r = g_session.slots[slot];
    return r.kind == RIDER_LOCAL || (r.kind == RIDER_REMOTE && race_net_rider_recent(slot));
}

static void pair_all(const int* order, int n) {
    for (int i = 0; i < n; i++)
        for (int j = i + 1; j < n; j++)
            race_bike_pair(g_session.slots[order[i]].bike, g_session.slots[order[j]].bike,
                           g_session.session_clock);
}

// Step 3.
static void collisions() {
    Session& s = g_session;
    int order[MAX_RIDERS];
    if (!s.multiplayer) {
        for (int i = 0; i < MAX_RIDERS; i++) {
            Bike* b = s.slots[i].bike;
            if (!b || s.slots[i].kind == RIDER_REMOTE) continue;
            race_bike_ground_contacts(b);
            race_bike_statues(b, s.session_clock);
        }
        pair_all(order, by_speed(order, not_remote));
        return;
    }
    for (int i = 0; i < MAX_RIDERS; i++) {
        Bike* b = s.slots[i].bike;
        if (!b || s.slots[i].kind != RIDER_LOCAL) continue;
        race_bike_ground_contacts(b);
        race_bike_statues(b, s.session_clock);
    }
    // In warm-up (no rider of ours in the race) bikes pass through each other.
    if (s.net_in_race) {
        int n = by_speed(order, local_or_recent_remote);
        for (int i = 0; i < n; i++)
            for (int j = i + 1; j < n; j++)
                if (s.slots[order[i]].kind == RIDER_LOCAL || s.slots[order[j]].kind == RIDER_LOCAL)
                    race_bike_pair(s.slots[order[i]].bike, s.slots[order[j]].bike, s.session_clock);
    }
}

// Step 4: every rider throws roost, starting with a different rider every tick.
static void roost() {
    int riders[MAX_RIDERS], n = 0;
    for (int s = 0; s < MAX_RIDERS; s++)
        if (g_session.slots[s].bike) riders[n++] = s;
    if (n == 0) return;
    int first = (int)((unsigned)g_session.session_clock % (unsigned)n);
    for (int i = 0; i < n; i++) race_roost_emit(riders[(first + i) % n]);
}

// The false-start rule of network races for the local rider.
static void false_start(int slot) {
    Session& s = g_session;
    Bike* b = s.slots[slot].bike;
    if (s.hold_ticks < 1 && s.session_clock <= s.start_tick) {
        float p[3];
        race_bike_position(b, p);
        float dx = p[0] - s.spawn[0], dy = p[1] - s.spawn[1], dz = p[2] - s.spawn[2];
        if (dx * dx + dy * dy + dz * dz >= 9) {
            s.hold_ticks = s.start_tick + 1920 - s.session_clock; // 15 s after the start
            post_message("15 second false start penalty");
        }
    }
    if (s.hold_ticks >= 1) {
        s.hold_ticks--;
        race_bike_hold(b);
    }
}

void session_tick() {
    Session& s = g_session;
    if (!s.track_loaded) return;
    // 1.
    if (s.multiplayer) race_net_apply_states();
    // 2.
    if (s.time_trial) trial_tick_begin();
    // 3.
    collisions();
    // 4.
    roost();
    // 5.
    if (s.multiplayer)
        for (int i = 0; i < MAX_RIDERS; i++)
            if (s.slots[i].bike && s.slots[i].kind == RIDER_REMOTE) race_net_before_step(i);
    race_world_step();
    if (s.multiplayer)
        for (int i = 0; i < MAX_RIDERS; i++)
            if (s.slots[i].bike && s.slots[i].kind == RIDER_REMOTE) race_net_after_step(i);
    // 6.
    for (int i = 0; i < MAX_RIDERS; i++) {
        RiderSlot& r = s.slots[i];
        if (!r.bike) continue;
        if (r.kind == RIDER_ROBOT) race_robot_drive(i);
        if (s.multiplayer && r.kind == RIDER_REMOTE) race_net_update_rider(i);
        if (s.multiplayer && r.kind == RIDER_LOCAL) false_start(i);
        race_bike_step(r.bike, r.kind != RIDER_REMOTE);
        if (!s.multiplayer || r.kind == RIDER_LOCAL) rider_progress(i);
    }
    // 7.
    race_roost_move();
    // 8.
    start_bars_update(s.session_clock, s.start_tick);
    // 9.
    s.session_clock++;
    // 10.
    demo_record_frame();
    if (demo_playing()) demo_play_frame();
    // 11.
    if (s.time_trial) trial_tick_end();
}

void session_flaggers_update() {
    const Session& s = g_session;
    gates_clear_marks();
    for (const RiderSlot& r : s.slots)
        if (r.bike && r.bike->stopped && !r.bike->finished)
            gates_mark_position(r.bike->gates_passed);
    int leader = standings_leader();
    flaggers_update(s.session_clock / 128.0, s.cue_tick, leader >= 0 ? rider_gates(leader) : 0,
                    s.final_lap, s.halfway_lap);
}

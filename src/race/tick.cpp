// One race tick: remote states, the physics tick (contacts, roost, the world step, robots and
// bike steps with the gate counting), particles, the start-gate bars, the clock, the demo frame
// and the time trial.
#include "bike/bike.h"
#include "bike/bodypose.h"
#include "bike/step.h"
#include "bike/world.h"
#include "effects/roost.h"
#include "platform/messages.h"
#include "race/demo_session.h"
#include "race/hooks.h"
#include "race/results.h"
#include "race/session.h"
#include "race/session_internal.h"
#include "replay/demo.h"
#include "track/gates.h"
#include "track/objects.h"

namespace {

bool remote_recent(int slot) {
    const RaceNetHooks& net = race_net_hooks();
    return net.rider_recent && net.rider_recent(slot);
}

// Step 3 of the physics tick: every rider throws roost, starting with a different rider every
// tick, so a dry particle pool does not always starve the same riders.
void emit_roost(void*) {
    const Session& s = g_session_data;
    int riders[MAX_RIDERS], n = 0;
    for (int i = 0; i < MAX_RIDERS; i++)
        if (s.slots[i].bike) riders[n++] = i;
    if (n == 0) return;
    int first = (int)((unsigned)s.session_clock % (unsigned)n);
    for (int i = 0; i < n; i++) {
        // Riders placed from records throw from the contacts their placement found.
        roost_emit(s.slots[riders[(first + i) % n]].bike);
    }
}

void net_before_world_step(void*, int slot) {
    const RaceNetHooks& net = race_net_hooks();
    if (net.before_world_step) net.before_world_step(slot);
}

void net_after_world_step(void*, int slot) {
    const RaceNetHooks& net = race_net_hooks();
    if (net.after_world_step) net.after_world_step(slot);
}

// The false-start rule of network races for the local rider.
void false_start(int slot) {
    Session& s = g_session_data;
    Bike* b = s.slots[slot].bike;
    if (s.hold_ticks < 1 && s.session_clock <= s.start_tick) {
        float p[3];
        bike_frame_position(b, p);
        float dx = p[0] - s.spawn[0], dy = p[1] - s.spawn[1], dz = p[2] - s.spawn[2];
        if (dx * dx + dy * dy + dz * dz >= 9) {
            s.hold_ticks = s.start_tick + 1920 - s.session_clock; // 15 s after the start
            post_message("15 second false start penalty");
        }
    }
    if (s.hold_ticks >= 1) {
        s.hold_ticks--;
        bike_hold(b);
    }
}

// The next gate of the sequence is where a racing rider heads; a finished rider, or a track
// without gates, has no course point.
void set_course_point(const RiderSlot& r) {
    const Session& s = g_session_data;
    int gate = s.normal_lap > 0 && !r.finished ? gates_sequence_gate(r.gates_passed) : -1;
    if (gate >= 0 && gate < (int)g_gates.gates.size())
        bike_set_course_point(r.bike, g_gates.gates[gate].centre);
    else
        bike_set_course_point(r.bike, nullptr);
}

// Who sets a rider's controls before its bike step.
void before_bike_step(void*, int slot) {
    const Session& s = g_session_data;
    const RiderSlot& r = s.slots[slot];
    if (r.kind != RIDER_REMOTE) set_course_point(r);
    if (r.kind == RIDER_ROBOT) {
        const RaceRobotHooks& robot = race_robot_hooks();
        if (robot.drive) robot.drive(slot);
    }
    if (s.multiplayer && r.kind == RIDER_REMOTE) {
        const RaceNetHooks& net = race_net_hooks();
        if (net.update_rider) net.update_rider(slot);
    }
    if (s.multiplayer && r.kind == RIDER_LOCAL) false_start(slot);
}

// Gates and laps after the bike step; remote riders' gates come from the network.
void after_bike_step(void*, int slot) {
    const Session& s = g_session_data;
    if (!s.multiplayer || s.slots[slot].kind == RIDER_LOCAL) rider_progress(slot);
}

// Who takes part in what. Offline every rider that is not placed from snapshots is simulated
// and meets every other; in a network race only the local rider is simulated, and it meets
// remote riders that are still sending, once it rides in the race (in warm-up bikes pass
// through each other).
void fill_tick(PhysicsTick* t) {
    const Session& s = g_session_data;
    for (int i = 0; i < MAX_RIDERS; i++) {
        const RiderSlot& r = s.slots[i];
        if (!r.bike) continue;
        t->bikes[i] = r.bike;
        unsigned f = 0;
        if (r.kind != RIDER_REMOTE) f |= PHYSICS_SIMULATE;
        if (!s.multiplayer) {
            if (r.kind != RIDER_REMOTE) f |= PHYSICS_CONTACTS | PHYSICS_PAIRS;
        } else {
            if (r.kind == RIDER_LOCAL) f |= PHYSICS_CONTACTS | PHYSICS_LOCAL;
            if (r.kind == RIDER_REMOTE) f |= PHYSICS_AROUND_STEP;
            if (s.net_in_race &&
                (r.kind == RIDER_LOCAL || (r.kind == RIDER_REMOTE && remote_recent(i))))
                f |= PHYSICS_PAIRS;
        }
        t->flags[i] = f;
    }
    t->statues = 1;
    t->pairs_need_local = s.multiplayer;
    t->clock = s.session_clock;
    t->hooks.after_contacts = emit_roost;
    t->hooks.before_world_step = net_before_world_step;
    t->hooks.after_world_step = net_after_world_step;
    t->hooks.before_bike_step = before_bike_step;
    t->hooks.after_bike_step = after_bike_step;
}

} // namespace

void session_tick() {
    Session& s = g_session_data;
    if (!s.track_loaded) return;
    // 1. Remote riders' states.
    if (s.multiplayer) {
        const RaceNetHooks& net = race_net_hooks();
        if (net.apply_states) net.apply_states();
    }
    // 2. The time trial's lap counts before the tick.
    if (s.time_trial) trial_tick_begin();
    // 3-6. Contacts, roost, the world step, controls, bike steps, gates and laps.
    PhysicsTick tick;
    fill_tick(&tick);
    physics_tick(&tick);
    // 7. Particles.
    roost_update();
    // 8. The start gate's bars.
    start_bars_update(s.session_clock, s.start_tick);
    // 9. The clock, which the bikes read too.
    s.session_clock++;
    physics_set_clock(s.session_clock);
    // 10. The demo being recorded or played.
    session_demo_record_frame();
    if (demo_playing()) session_demo_play_frame();
    // 11. A lap of the time trial ends the attempt.
    if (s.time_trial) trial_tick_end();
}

void session_flaggers_update() {
    const Session& s = g_session_data;
    gates_clear_marks();
    for (const RiderSlot& r : s.slots)
        if (r.bike && r.stopped && !r.finished) gates_mark_position(r.gates_passed);
    int leader = standings_leader();
    flaggers_update(s.session_clock / 128.0, s.cue_tick, leader >= 0 ? rider_gates(leader) : 0,
                    s.final_lap, s.halfway_lap);
}

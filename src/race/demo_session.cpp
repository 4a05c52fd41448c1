// The race session's demos: which riders are recorded and how, where played records go,
// seeking through a playback, and playback sessions.
#include "race/demo_session.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "bike/bike.h"
#include "bike/world.h"
#include "core/settings.h"
#include "platform/messages.h"
#include "race/results.h"
#include "race/session.h"
#include "race/session_internal.h"
#include "replay/demo.h"
#include "replay/snapshot.h"
#include "track/terrain.h"

// ---- Recording ----

// Whether a slot's rider goes into the recording.
static bool recorded(int slot) {
    const Session& s = g_session_data;
    const RiderSlot& r = s.slots[slot];
    if (!r.bike) return false;
    if (!s.multiplayer) return r.kind == RIDER_LOCAL || r.kind == RIDER_ROBOT;
    if (s.net_in_race) return true;
    return r.kind == RIDER_REMOTE || r.kind == RIDER_ROBOT;
}

int session_demo_record_start() {
    const Session& s = g_session_data;
    std::string name = s.time_trial ? "@" + s.track_name + "/lastlap.qzdemo" : DEMO_DEFAULT;
    DemoHeader h;
    h.race_length = s.race_length;
    h.extra_laps = s.extra_laps;
    h.start_tick = s.start_tick;
    h.track = s.track_name;
    std::vector<int> slots;
    for (int i = 0; i < MAX_RIDERS; i++) {
        if (!recorded(i)) continue;
        const RiderSlot& slot = s.slots[i];
        DemoRider r;
        r.bike = bike_name(slot.bike);
        r.gear = slot.gear;
        r.bike_graphics = slot.bike_graphics;
        r.wheel_graphics = slot.wheel_graphics;
        r.helmet = slot.helmet;
        r.number = std::string(bike_plate_text(slot.bike)).substr(0, 3);
        h.riders.push_back(r);
        slots.push_back(i);
    }
    return demo_record_open(name, h, slots);
}

void session_demo_record_frame() {
    if (!demo_recording()) return;
    const Session& s = g_session_data;
    int tick = s.session_clock - 127;
    if (s.multiplayer && tick < 0) return;
    uint8_t frame[MAX_RIDERS * DEMO_RECORD_V5];
    size_t n = 0;
    for (int slot : g_demo.out_slots) {
        if (n + DEMO_RECORD_V5 > sizeof frame) break;
        uint8_t* rec = frame + n;
        const Bike* b = s.slots[slot].bike;
        if (!b)
            memset(rec, 0, DEMO_RECORD_V5); // a rider gone from its slot keeps its place
        else if (s.multiplayer)
            snapshot_history_sample(slot, tick, b, rec);
        else
            snapshot_pack(b, rec);
        n += DEMO_RECORD_V5;
    }
    demo_record_write(frame, n);
}

// ---- Playback ----

int session_demo_open() {
    Session& s = g_session_data;
    int ok = s.time_trial ? demo_open("@" + s.track_name + "/fastlap.qzdemo") : demo_open_chosen();
    if (!ok) return 0;
    // The ghost of a time trial runs on the trial's own clock.
    if (!s.time_trial) {
        s.race_length = g_demo.header.race_length;
        s.extra_laps = g_demo.header.extra_laps;
        s.start_tick = g_demo.header.start_tick;
    }
    return 1;
}

void session_demo_play_frame() {
    if (!demo_playing()) return;
    uint8_t frame[MAX_RIDERS * DEMO_RECORD_V5];
    int complete = demo_read_frame(frame);
    int riders = demo_rider_count();
    // Records are routed by demo rider, so a rider whose bike did not load costs nobody else
    // their records.
    for (int i = 0; i < riders; i++) {
        int slot = g_demo.rider_slot[i];
        if (slot < 0 || slot >= MAX_RIDERS) continue;
        RiderSlot& r = g_session_data.slots[slot];
        if (!r.bike || r.demo_rider != i) continue;
        if (i < complete) {
            snapshot_apply(r.bike, frame + i * g_demo.record_size, g_demo.header.version, 1);
            r.visibility = 1;
        } else {
            r.visibility = 0;
        }
    }
}

void session_demo_seek(double seconds) {
    if (!demo_playing() || !std::isfinite(seconds)) return;
    Session& s = g_session_data;
    long long current = std::max(g_demo.frames_read - 1, 0LL);
    long long target = current + std::llround(std::clamp(seconds, -1e6, 1e6) * 128);
    if (target < 0) target = 0;
    if (target == current) return;
    if (g_settings.accurate_skip && target > current) {
        for (long long i = current; i < target && demo_playing(); i++) session_tick();
        return;
    }
    // Jumping: the demo riders' gates are counted again from the records alone, without
    // stepping the world.
    long long from = current + 1;
    if (target < current) {
        for (int slot = 0; slot < MAX_RIDERS; slot++)
            if (s.slots[slot].bike && s.slots[slot].demo_rider >= 0) {
                rider_set_back(slot, 0);
                s.slots[slot].finished = 0;
            }
        s.results_final = 0;
        if (s.race_length > 0) s.final_lap = s.halfway_lap = LAP_UNKNOWN;
        from = 0;
    }
    if (!demo_seek_frame(from)) return;
    int riders = demo_rider_count();
    float last_x[MAX_RIDERS], last_z[MAX_RIDERS];
    bool have_last[MAX_RIDERS] = {};
    uint8_t frame[MAX_RIDERS * DEMO_RECORD_V5];
    for (long long k = from; k < target; k++) {
        int complete = demo_read_frame(frame);
        if (complete < riders) {
            target = std::max(k - 1, 0LL); // the demo ends with the frame before
            break;
        }
        s.session_clock = (int)k;
        for (int i = 0; i < riders; i++) {
            int slot = g_demo.rider_slot[i];
            if (slot < 0 || slot >= MAX_RIDERS || !s.slots[slot].bike) continue;
            float x, z;
            demo_record_ground(frame + i * g_demo.record_size, g_terrain.extent, &x, &z);
            float speed = 1000; // unknown for the first frame: not standing still
            if (have_last[i]) speed = std::hypot(x - last_x[i], z - last_z[i]) * 128;
            last_x[i] = x;
            last_z[i] = z;
            have_last[i] = true;
            rider_progress_at(slot, x, z, speed);
        }
    }
    s.session_clock = (int)target;
    physics_set_clock(s.session_clock);
    if (!demo_seek_frame(target)) return;
    session_demo_play_frame();
    standings_update();
}

int session_demo_start(const char* name, int race_against, int local_slot, int record, int skill) {
    demo_choose(std::string("@") + name);
    record = race_against && record;
    if (record && g_demo.chosen == DEMO_DEFAULT) {
        post_message("Can't record and play from same file - recording disabled");
        record = 0;
    }
    int table[MAX_RIDERS] = {};
    if (race_against) table[std::clamp(local_slot, 0, MAX_RIDERS - 1)] = RIDER_CODE_LOCAL;
    return session_start(table, 1, record, 0, 10, skill);
}

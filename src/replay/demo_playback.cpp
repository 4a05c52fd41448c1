// Demo playback: opening a demo, feeding its riders one frame per tick, seeking, and the
// playback sessions of the menu.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "app/config.h"
#include "app/settings.h"
#include "bike/bike.h"
#include "data/datafile.h"
#include "platform/log.h"
#include "platform/messages.h"
#include "race/hooks.h"
#include "race/results.h"
#include "race/session.h"
#include "replay/demo.h"
#include "track/terrain.h"

static const char* const DEFAULT_DEMO = "@demos/default.qzdemo";

int demo_playing() {
    return g_demo.in != nullptr;
}

int demo_rider_count() {
    return g_demo.in ? (int)g_demo.header.riders.size() : 0;
}

const DemoRider* demo_rider_info(int index) {
    if (!g_demo.in || index < 0 || index >= (int)g_demo.header.riders.size()) return nullptr;
    return &g_demo.header.riders[index];
}

void demo_set_rider_slot(int index, int slot) {
    if (index >= 0 && index < 40) g_demo.rider_slot[index] = slot;
}

std::string demo_track() {
    return g_demo.in ? g_demo.header.track : std::string();
}

void demo_close_playback() {
    if (g_demo.in) data_close(g_demo.in);
    g_demo.in = nullptr;
    g_demo.in_name.clear();
    g_demo.header = DemoHeader{};
    g_demo.frames_read = 0;
}

// Opens a demo and reads its text part; 1 on success.
static int open_named(const std::string& name) {
    DataFile* f = data_open(name.c_str(), "rb");
    if (!f) return 0;
    DemoHeader h;
    if (!demo_read_header(f, &h)) {
        log_printf("Bad demo file %s\n", name.c_str());
        data_close(f);
        return 0;
    }
    g_demo.in = f;
    g_demo.in_name = name;
    g_demo.header = std::move(h);
    g_demo.record_size = g_demo.header.version == 4 ? DEMO_RECORD_V4 : DEMO_RECORD_V5;
    g_demo.frames_start = f->position;
    g_demo.frames_read = 0;
    for (int& s : g_demo.rider_slot) s = -1;
    return 1;
}

int demo_open_playback() {
    demo_close_playback();
    Session& s = g_session;
    std::string name;
    if (s.time_trial)
        name = "@" + s.track_name + "/fastlap.qzdemo";
    else if (!g_demo.chosen.empty())
        name = g_demo.chosen;
    else
        name = DEFAULT_DEMO;
    // A demo named on the command line is a path; one that is not there is tried as a data
    // name, so "demos/x.qzdemo" finds the per-user folder's demo wherever the program starts.
    int ok = open_named(name) || (name[0] != '@' && open_named("@" + name));
    if (!ok) return 0;
    // The ghost of a time trial runs on the trial's own clock.
    if (!s.time_trial) {
        s.race_length = g_demo.header.race_length;
        s.extra_laps = g_demo.header.extra_laps;
        s.start_tick = g_demo.header.start_tick;
    }
    return 1;
}

// Reads one frame's records into `frame`; the number of complete records.
static int read_frame(uint8_t* frame) {
    int riders = (int)g_demo.header.riders.size();
    size_t want = (size_t)riders * g_demo.record_size;
    size_t got = want ? data_read(g_demo.in, frame, want) : 0;
    g_demo.frames_read++;
    return (int)(got / g_demo.record_size);
}

void demo_play_frame() {
    if (!g_demo.in) return;
    uint8_t frame[40 * DEMO_RECORD_V5];
    int complete = read_frame(frame);
    int riders = (int)g_demo.header.riders.size();
    // Records are routed by demo rider, so a rider whose bike did not load costs nobody else
    // their records.
    for (int i = 0; i < riders; i++) {
        int slot = g_demo.rider_slot[i];
        if (slot < 0 || slot >= MAX_RIDERS) continue;
        RiderSlot& r = g_session.slots[slot];
        if (!r.bike || r.demo_rider != i) continue;
        if (i < complete) {
            race_bike_apply_snapshot(r.bike, frame + i * g_demo.record_size, g_demo.header.version,
                                     1);
            r.visibility = 1;
        } else {
            r.visibility = 0;
        }
    }
}

// Puts the playback before frame k; 1 on success.
static int seek_frame(long long k) {
    long long size = (long long)g_demo.header.riders.size() * g_demo.record_size;
    if (data_seek(g_demo.in, g_demo.frames_start + k * size)) {
        g_demo.frames_read = k;
        return 1;
    }
    // Compressed demos cannot seek: start again and read up to the frame.
    std::string name = g_demo.in_name;
    std::vector<int> slots(g_demo.rider_slot, g_demo.rider_slot + 40);
    demo_close_playback();
    if (!open_named(name)) return 0;
    std::copy(slots.begin(), slots.end(), g_demo.rider_slot);
    uint8_t frame[40 * DEMO_RECORD_V5];
    for (long long i = 0; i < k; i++) read_frame(frame);
    return 1;
}

// Ground position of a record (the frame's x and z, 24 bits each over the field's extent).
static void record_ground(const uint8_t* rec, float* x, float* z) {
    float e = g_terrain.extent;
    unsigned ux = rec[0] | rec[1] << 8 | rec[2] << 16;
    unsigned uz = rec[6] | rec[7] << 8 | rec[8] << 16;
    *x = (float)(e * (ux / 16777215.0));
    *z = (float)(e * (uz / 16777215.0));
}

void demo_seek(double seconds) {
    if (!g_demo.in || !std::isfinite(seconds)) return;
    Session& s = g_session;
    long long current = std::max(g_demo.frames_read - 1, 0LL);
    long long target = current + std::llround(std::clamp(seconds, -1e6, 1e6) * 128);
    if (target < 0) target = 0;
    if (target == current) return;
    if (g_settings.accurate_skip && target > current) {
        for (long long i = current; i < target && g_demo.in; i++) session_tick();
        return;
    }
    // Jumping: the demo riders' gates are counted again from the records alone, without
    // stepping the world.
    long long from = current + 1;
    if (target < current) {
        for (int slot = 0; slot < MAX_RIDERS; slot++)
            if (s.slots[slot].bike && s.slots[slot].demo_rider >= 0) {
                rider_set_back(slot, 0);
                s.slots[slot].bike->finished = 0;
            }
        s.results_final = 0;
        if (s.race_length > 0) s.final_lap = s.halfway_lap = LAP_UNKNOWN;
        from = 0;
    }
    if (!seek_frame(from)) return;
    int riders = (int)g_demo.header.riders.size();
    float last_x[40], last_z[40];
    bool have_last[40] = {};
    uint8_t frame[40 * DEMO_RECORD_V5];
    for (long long k = from; k < target; k++) {
        int complete = read_frame(frame);
        if (complete < riders) {
            target = std::max(k - 1, 0LL); // the demo ends with the frame before
            break;
        }
        s.session_clock = (int)k;
        for (int i = 0; i < riders; i++) {
            int slot = g_demo.rider_slot[i];
            if (slot < 0 || slot >= MAX_RIDERS || !s.slots[slot].bike) continue;
            float x, z;
            record_ground(frame + i * g_demo.record_size, &x, &z);
            float speed = 1000; // unknown for the first frame: not standing still
            if (have_last[i]) speed = std::hypot(x - last_x[i], z - last_z[i]) * 128;
            last_x[i] = x;
            last_z[i] = z;
            have_last[i] = true;
            rider_progress_at(slot, x, z, speed);
        }
    }
    s.session_clock = (int)target;
    if (!seek_frame(target)) return;
    demo_play_frame();
    standings_update();
}

int demo_start_session(const char* name, int race_against, int local_slot) {
    // Leaving a network race first is the network client's part once it exists.
    g_demo.chosen = std::string("@") + name;
    int record = race_against && g_config.record.current == YES;
    if (record && g_demo.chosen == DEFAULT_DEMO) {
        post_message("Can't record and play from same file - recording disabled");
        record = 0;
    }
    int table[MAX_RIDERS] = {};
    if (race_against) table[std::clamp(local_slot, 0, MAX_RIDERS - 1)] = RIDER_CODE_LOCAL;
    return session_start(table, 1, record, 0, 10, g_config.skill.current);
}

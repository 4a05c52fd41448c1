// Demo recording and playback.
#include "replay/demo.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
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

DemoState g_demo;

static const char* const DEFAULT_DEMO = "@demos/default.qzdemo";

/*
 * A demo file:
 *   "QZ05 %d %d %d %d\n"   riders R, race length (ticks), extra laps, start tick
 *   track name "\n"
 *   R rider blocks "%s|%s|%s|%s|%s\n%s\n": bike, riding gear, bike graphics, wheel graphics,
 *                          helmet, then the rider number
 *   frames to the end of the file: per tick, one snapshot record per rider in slot order
 *                          (39 bytes in version 5, 26 in version 4); no count, no end marker.
 * Readers also take "QZ04" and headers that stop after the race length (extra laps 0, start
 * tick 1792).
 */

// One line of at most 1023 characters (the rest of a longer line is dropped), without its
// "\n". 0 when the data end before the line does.
static int read_line(DataFile* f, std::string* out) {
    out->clear();
    for (;;) {
        int c = data_getc(f);
        if (c < 0) return 0;
        if (c == '\n') return 1;
        if (out->size() < 1023) out->push_back((char)c);
    }
}

// Up to `max` integers after the "QZ" of a header line; the count read, -1 on a malformed or
// out-of-range number.
static int header_numbers(const std::string& line, long* values, int max) {
    if (line.compare(0, 2, "QZ") != 0) return -1;
    const char* p = line.c_str() + 2;
    int n = 0;
    while (n < max) {
        while (*p == ' ' || *p == '\t' || *p == '\r') p++;
        if (!*p) break;
        char* end;
        errno = 0;
        long v = strtol(p, &end, 10);
        if (end == p) break; // anything after the numbers is ignored
        if (errno == ERANGE || v < INT_MIN || v > INT_MAX) return -1;
        values[n++] = v;
        p = end;
    }
    return n;
}

int demo_read_header(DataFile* f, DemoHeader* out) {
    *out = DemoHeader{};
    std::string line;
    if (!read_line(f, &line)) return 0;
    long v[5];
    int n = header_numbers(line, v, 5);
    if (n < 3 || (v[0] != 4 && v[0] != 5)) return 0;
    // A rider count beyond the 40 slots or a negative length cannot come from a recording.
    if (v[1] < 0 || v[1] > 40 || v[2] < 0) return 0;
    out->version = (int)v[0];
    out->race_length = (int)v[2];
    out->extra_laps = n >= 4 ? (int)v[3] : 0;
    out->start_tick = n >= 5 ? (int)v[4] : DEMO_DEFAULT_START_TICK;
    if (out->extra_laps < 0) return 0;
    if (!read_line(f, &out->track)) return 0;
    while (!out->track.empty() && out->track.back() == '\r') out->track.pop_back();
    if (out->track.empty()) return 0;
    for (long i = 0; i < v[1]; i++) {
        DemoRider r;
        std::string names, number;
        if (!read_line(f, &names) || !read_line(f, &number)) return 0;
        std::string* fields[5] = {&r.bike, &r.gear, &r.bike_graphics, &r.wheel_graphics, &r.helmet};
        size_t start = 0;
        for (int k = 0; k < 5 && start <= names.size(); k++) {
            size_t bar = names.find('|', start);
            *fields[k] =
                names.substr(start, bar == std::string::npos ? std::string::npos : bar - start);
            if (bar == std::string::npos) break;
            start = bar + 1;
        }
        r.number = number.substr(0, 3);
        out->riders.push_back(r);
    }
    return 1;
}

// A name as it goes into a rider block: no field separators or line ends.
static std::string field(const std::string& s) {
    std::string out = s;
    for (char& c : out)
        if (c == '|' || c == '\n' || c == '\r') c = '_';
    return out;
}

int demo_write_header(DataFile* f, const DemoHeader& h) {
    data_printf(f, "QZ05 %d %d %d %d\n", (int)h.riders.size(), h.race_length, h.extra_laps,
                h.start_tick);
    data_printf(f, "%s\n", field(h.track).c_str());
    for (const DemoRider& r : h.riders)
        data_printf(f, "%s|%s|%s|%s|%s\n%s\n", field(r.bike).c_str(), field(r.gear).c_str(),
                    field(r.bike_graphics).c_str(), field(r.wheel_graphics).c_str(),
                    field(r.helmet).c_str(), field(r.number).c_str());
    return data_flush(f) == 0;
}

// Creates the per-user folders a data name will be written into.
static void make_user_dirs(const std::string& name) {
    const char* user = data_folder(0);
    if (user && name.size() > 1 && name[0] == '@') data_make_dirs((user + name.substr(1)).c_str());
}

int demo_copy(const char* from, const char* to) {
    std::vector<unsigned char> bytes;
    if (!data_load(from, &bytes)) return 0;
    make_user_dirs(to);
    DataFile* f = data_open(to, "wb");
    if (!f) {
        log_printf("Can't write %s\n", to);
        return 0;
    }
    int ok = data_write(f, bytes.data(), bytes.size()) == bytes.size() && data_flush(f) == 0;
    data_close(f);
    if (!ok) log_printf("Can't write %s\n", to);
    return ok;
}

// ---- Recording ----

// Whether a slot's rider goes into the recording.
static bool recorded(int slot) {
    const RiderSlot& r = g_session.slots[slot];
    if (!r.bike) return false;
    if (!g_session.multiplayer) return r.kind == RIDER_LOCAL || r.kind == RIDER_ROBOT;
    if (g_session.net_in_race) return true;
    return r.kind == RIDER_REMOTE || r.kind == RIDER_ROBOT;
}

int demo_recording() {
    return g_demo.out != nullptr;
}

static void record_fail(const char* what) {
    log_printf("Can't write demo %s (%s)\n", g_demo.out_name.c_str() + 1, what);
    if (g_demo.out) data_close(g_demo.out);
    g_demo.out = nullptr;
    g_demo.out_slots.clear();
}

int demo_record_start() {
    if (g_demo.out) demo_record_stop();
    const Session& s = g_session;
    std::string name = s.time_trial ? "@" + s.track_name + "/lastlap.qzdemo" : DEFAULT_DEMO;
    // Writing over the file being played would destroy it.
    if (g_demo.in && g_demo.in_name == name) {
        log_printf("Not recording over the demo being played\n");
        return 0;
    }
    DemoHeader h;
    h.race_length = s.race_length;
    h.extra_laps = s.extra_laps;
    h.start_tick = s.start_tick;
    h.track = s.track_name;
    g_demo.out_slots.clear();
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
        g_demo.out_slots.push_back(i);
    }
    make_user_dirs(name);
    g_demo.out_name = name;
    g_demo.out = data_open(name.c_str(), "wb");
    if (!g_demo.out) {
        log_printf("Can't open demo %s for writing\n", name.c_str() + 1);
        g_demo.out_slots.clear();
        return 0;
    }
    if (!demo_write_header(g_demo.out, h)) {
        record_fail("header");
        return 0;
    }
    return 1;
}

void demo_record_frame() {
    if (!g_demo.out) return;
    const Session& s = g_session;
    int tick = s.session_clock - 127;
    if (s.multiplayer && tick < 0) return;
    uint8_t frame[40 * DEMO_RECORD_V5];
    size_t n = 0;
    for (int slot : g_demo.out_slots) {
        uint8_t* rec = frame + n;
        const Bike* b = s.slots[slot].bike;
        if (!b)
            memset(rec, 0, DEMO_RECORD_V5); // a rider gone from its slot keeps its place
        else if (s.multiplayer)
            race_snapshot_sample(slot, tick, rec);
        else
            race_snapshot_pack(b, rec);
        n += DEMO_RECORD_V5;
    }
    if ((n && data_write(g_demo.out, frame, n) != n) || data_flush(g_demo.out) != 0)
        record_fail("frame");
}

void demo_record_stop() {
    if (g_demo.out) {
        data_close(g_demo.out);
        g_demo.out = nullptr;
        g_demo.out_slots.clear();
        if (!g_demo.pending_name.empty() && g_demo.out_name == DEFAULT_DEMO)
            demo_copy(DEFAULT_DEMO, ("@demos/" + g_demo.pending_name).c_str());
    }
    g_demo.pending_name.clear();
}

int demo_set_name(const char* name) {
    std::string n = name ? name : "";
    size_t a = n.find_first_not_of(" \t\r\n");
    size_t b = n.find_last_not_of(" \t\r\n");
    n = a == std::string::npos ? "" : n.substr(a, b - a + 1);
    if (!g_demo.out || g_session.time_trial) {
        post_message("Not currently recording a demo");
        return 0;
    }
    if (n.size() + 8 > 1024) {
        post_message("Name too long");
        return 0;
    }
    static const char EXT[] = ".qzdemo";
    if (n.size() < 7 || n.compare(n.size() - 7, 7, EXT) != 0) n += EXT;
    g_demo.pending_name = n;
    post_message("Demo name updated");
    return 1;
}

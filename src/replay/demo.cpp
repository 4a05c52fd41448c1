// Demo files: the format, and writing a recording.
#include "replay/demo.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "data/datafile.h"
#include "data/save.h"
#include "platform/log.h"
#include "platform/messages.h"
#include "replay/demo_internal.h"

DemoState g_demo_data;
const DemoState& g_demo = g_demo_data;

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
// "\n". 0 when the data end before the line does, or when no line feed comes within 64 KB:
// no demo has such a line, and a large file of something else is not read to its end.
static int read_line(DataFile* f, std::string* out) {
    out->clear();
    for (long n = 0; n < 65536; n++) {
        int c = data_getc(f);
        if (c < 0) return 0;
        if (c == '\n') return 1;
        if (out->size() < 1023) out->push_back((char)c);
    }
    return 0;
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

// A name as the user reads it: without the "@" of a data name.
static std::string shown(const std::string& name) {
    return !name.empty() && name[0] == '@' ? name.substr(1) : name;
}

int demo_copy(const char* from, const char* to) {
    std::vector<unsigned char> bytes;
    if (!data_load(from, &bytes)) return 0;
    std::string error;
    if (data_save_bytes(to, bytes.data(), bytes.size(), &error)) return 1;
    post_problem(("Can't save demo " + shown(to) + ": " + error).c_str());
    return 0;
}

// ---- Recording ----

int demo_recording() {
    return g_demo_data.out.file != nullptr;
}

// Gives a recording up: its temporary goes, the old file of its name stays.
static void record_fail(const std::string& why) {
    DemoState& d = g_demo_data;
    post_problem(("Can't record demo " + shown(d.out_name) + ": " + why).c_str());
    data_save_abort(&d.out);
    d.out_slots.clear();
}

int demo_record_open(const std::string& name, const DemoHeader& header,
                     const std::vector<int>& slots) {
    DemoState& d = g_demo_data;
    if (demo_recording()) demo_record_stop();
    // Writing over the file being played would destroy it.
    if (d.in && d.in_name == name) {
        log_printf("Not recording over the demo being played\n");
        return 0;
    }
    d.out_name = name;
    d.out_slots.clear();
    if (!data_save_begin(name.c_str(), &d.out)) {
        post_problem(("Can't record demo " + shown(name) + ": " + d.out.error).c_str());
        return 0;
    }
    d.out_slots = slots;
    if (!demo_write_header(d.out.file, header) || data_save_write_error(&d.out)) {
        record_fail(data_save_error_text(&d.out));
        return 0;
    }
    return 1;
}

void demo_record_write(const uint8_t* frame, size_t bytes) {
    DemoState& d = g_demo_data;
    if (!demo_recording()) return;
    if (bytes) data_write(d.out.file, frame, bytes);
    if (data_flush(d.out.file) != 0 || data_save_write_error(&d.out))
        record_fail(data_save_error_text(&d.out));
}

void demo_record_stop() {
    DemoState& d = g_demo_data;
    if (demo_recording()) {
        d.out_slots.clear();
        if (!data_save_commit(&d.out))
            post_problem(("Can't save demo " + shown(d.out_name) + ": " + d.out.error).c_str());
        else if (!d.pending_name.empty() && d.out_name == DEMO_DEFAULT)
            demo_copy(DEMO_DEFAULT, ("@demos/" + d.pending_name).c_str());
    }
    d.pending_name.clear();
}

int demo_set_name(const char* name) {
    DemoState& d = g_demo_data;
    std::string n = name ? name : "";
    size_t a = n.find_first_not_of(" \t\r\n");
    size_t b = n.find_last_not_of(" \t\r\n");
    n = a == std::string::npos ? "" : n.substr(a, b - a + 1);
    // Only the default recording can be named: a time trial records its laps for the ghost.
    if (!demo_recording() || d.out_name != DEMO_DEFAULT) {
        post_message("Not currently recording a demo");
        return 0;
    }
    if (n.size() + 8 > 1024) {
        post_message("Name too long");
        return 0;
    }
    static const char EXT[] = ".qzdemo";
    if (n.size() < 7 || n.compare(n.size() - 7, 7, EXT) != 0) n += EXT;
    d.pending_name = n;
    post_message("Demo name updated");
    return 1;
}

// The texts made from the standings and results: "results.txt", the results board, the
// in-race display, the race clock and the lapping warning.
#include <cstdarg>
#include <cstdio>
#include <ctime>

#include "bike/bike.h"
#include "data/datafile.h"
#include "data/save.h"
#include "platform/log.h"
#include "platform/messages.h"
#include "race/results.h"
#include "race/session.h"
#include "race/session_internal.h"

const char* const RESULTS_BOARD_HEADINGS[5] = {"No.", "Lap", "Gap", "Best Time", "BLap"};

static std::string format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
static std::string format(const char* fmt, ...) {
    char buffer[1024];
    va_list args;
    va_start(args, fmt);
    vsnprintf(buffer, sizeof buffer, fmt, args);
    va_end(args);
    return buffer;
}

void ticks_split(long long ticks, int* minutes, int* seconds, int* milliseconds) {
    long long ms = ticks * 1000 / 128;
    *minutes = (int)(ms / 60000);
    *seconds = (int)(ms / 1000 % 60);
    *milliseconds = (int)(ms % 1000);
}

// "%d:%02d.%d" with tenths of a second.
static std::string tenths_text(const char* prefix, long long ticks) {
    long long tenths = ticks * 10 / 128;
    return format("%s%d:%02d.%d", prefix, (int)(tenths / 600), (int)(tenths / 10 % 60),
                  (int)(tenths % 10));
}

// The lap a sequence position belongs to in the gate-time lines: 0 for the first lap's.
static int lap_of_position(int k) {
    const Session& s = g_session_data;
    if (k < s.first_lap || s.normal_lap <= 0) return 0;
    return (k - s.first_lap) / s.normal_lap + 1;
}

static const char* rider_number(int slot) {
    const Bike* b = g_session_data.slots[slot].bike;
    return b ? bike_plate_text(b) : "";
}

/*
 * "results.txt" (data name "@results.txt", lines end with CR LF):
 *   "Time=%.2f|Laps=%d|Track=%s|Date=%ld"   race length in seconds, extra laps, track, now
 *   "%4s | %12s | %4s | %10s | %4s | %10s"  the headings
 *   per finished rider in final order: number, bike, laps, total time, best lap, best time
 *   then per finished rider: a blank line, its gates passed, and its gate times in seconds
 *   since the start ("%8.3f", "%8d" -1 for a skipped gate), one line per lap.
 */
int results_write() {
    const Session& s = g_session_data;
    DataSave save;
    if (!data_save_begin("@results.txt", &save)) {
        post_problem(("Can't save results.txt: " + save.error).c_str());
        return 0;
    }
    DataFile* f = save.file;
    data_printf(f, "Time=%.2f|Laps=%d|Track=%s|Date=%ld\r\n", s.race_length * (1.0 / 128),
                s.extra_laps, s.track_name.c_str(), (long)time(nullptr));
    data_printf(f, "%4s | %12s | %4s | %10s | %4s | %10s\r\n", "No.", "Bike", "Laps", "Total Time",
                "BLap", "Best Time");
    int m, sec, ms;
    for (int i = 0; i < g_results.final_count; i++) {
        const StandingsEntry& e = g_results.final_results[i];
        if (!rider_finished(e.slot)) continue;
        const Bike* b = s.slots[e.slot].bike;
        ticks_split((long long)e.last_tick - s.start_tick, &m, &sec, &ms);
        data_printf(f, "%4s | %12s | %4d | %3d:%02d.%03d | ", bike_plate_text(b), bike_name(b),
                    laps_from_gates(e.gates), m, sec, ms);
        int h = best_lap_index(e.slot);
        ticks_split(h ? rider_lap_ticks(e.slot, h) : 0, &m, &sec, &ms);
        data_printf(f, "%4d | %3d:%02d.%03d\r\n", h, m, sec, ms);
    }
    for (int i = 0; i < g_results.final_count; i++) {
        const StandingsEntry& e = g_results.final_results[i];
        if (!rider_finished(e.slot)) continue;
        int gates = rider_gates(e.slot);
        data_printf(f, "\r\n%d\r\n", gates);
        for (int k = 0; k < gates; k++) {
            int t = rider_gate_time(e.slot, k);
            if (t == -1)
                data_printf(f, "%8d", -1);
            else
                data_printf(f, "%8.3f", (t - s.start_tick) / 128.0);
            bool same_lap = k + 1 < gates && lap_of_position(k + 1) == lap_of_position(k);
            data_puts(f, same_lap ? " " : "\r\n");
        }
    }
    if (data_save_commit(&save)) return 1;
    post_problem(("Can't save results.txt: " + save.error).c_str());
    return 0;
}

// How far entry a is behind entry b in ticks (negative when ahead); *known is 0 when either
// time is missing.
static long long entry_behind(const StandingsEntry& a, const StandingsEntry& b, int* known) {
    *known = 1;
    if (a.gates == b.gates) return (long long)a.last_tick - b.last_tick;
    int p = std::min(a.gates, b.gates) - 1;
    int ta = rider_gate_time(a.slot, p), tb = rider_gate_time(b.slot, p);
    if (ta < 0 || tb < 0) {
        *known = 0;
        return 0;
    }
    return (long long)ta - tb;
}

int results_board(ResultsBoard* out) {
    *out = ResultsBoard{};
    int leader = standings_leader();
    if (leader < 0 || !rider_finished(leader)) return 0;
    const Session& s = g_session_data;
    bool final = s.results_final;
    const StandingsEntry* table = final ? g_results.final_results : g_results.standings;
    int count = final ? g_results.final_count : g_results.standings_count;
    out->title = final ? "Final Results" : "Unofficial Results";
    int m, sec, ms;
    for (int i = 0; i < count; i++) {
        const StandingsEntry& e = table[i];
        if (!rider_finished(e.slot)) continue;
        ResultsBoardRow row;
        row.slot = e.slot;
        row.viewed = e.slot == s.viewed_rider;
        row.number = format("%3s", rider_number(e.slot));
        row.laps = format("L%d", laps_from_gates(e.gates));
        double gap = 0;
        int other = i == 0 ? 1 : i - 1;
        if (other < count) {
            int known;
            long long behind = entry_behind(e, table[other], &known);
            if (known && behind > 0) gap = behind / 128.0;
        }
        row.gap = format("%7.3f", gap);
        int h = best_lap_index(e.slot);
        ticks_split(h ? rider_lap_ticks(e.slot, h) : 0, &m, &sec, &ms);
        row.best = format("%d:%02d.%03d", m, sec, ms);
        row.best_lap = format("(%d)", h);
        out->rows.push_back(row);
    }
    if (final && count > 0) {
        ticks_split((long long)table[0].last_tick - s.start_tick, &m, &sec, &ms);
        out->total = format("Total Race Time: %d:%02d.%03d", m, sec, ms);
        for (int i = 0; i < count; i++) {
            const StandingsEntry& e = table[i];
            int gates = rider_gates(e.slot);
            int real = gates > 0 ? std::max(rider_gate_time(e.slot, gates - 1), 0) : 0;
            if (real >= e.last_tick) continue;
            std::string line = format("%3s penalized ", rider_number(e.slot));
            int taken = laps_from_gates(gates) - laps_from_gates(e.gates);
            if (taken > 0) line += format("%d %s ", taken, taken == 1 ? "lap" : "laps");
            line += format("%.2f seconds for cutting track", (e.last_tick - real) / 128.0);
            out->penalties.push_back(line);
        }
    }
    return 1;
}

int race_display(int slot, RaceDisplay* out) {
    *out = RaceDisplay{};
    if (slot < 0 || slot >= MAX_RIDERS || !g_session_data.slots[slot].bike) return 0;
    const Session& s = g_session_data;
    out->number = rider_number(slot);
    int place = standings_place(slot);
    if (s.time_trial)
        out->place = format("P%d", place + 1);
    else
        out->place = format("L%d P%d", rider_laps(slot) + 1, place + 1);
    double gap = 0;
    if (place >= 0) {
        int other = place == 0 ? 1 : place - 1;
        if (other < g_results.standings_count) {
            int known;
            long long behind =
                entry_behind(g_results.standings[place], g_results.standings[other], &known);
            // The other rider's time minus this rider's: a rider behind sees a negative gap.
            if (known) gap = -behind / 128.0;
        }
    }
    out->gap = format("%+.1f ", gap);
    int last, best;
    if (s.time_trial) {
        last = s.last_lap;
        best = s.best_lap;
    } else {
        last = rider_lap_ticks(slot, rider_laps(slot));
        int h = best_lap_index(slot);
        best = h ? rider_lap_ticks(slot, h) : 0;
    }
    if (last > 0) out->last = tenths_text("Last - ", last) + " ";
    if (best > 0) out->best = tenths_text("Best - ", best);
    return 1;
}

std::string race_clock_text() {
    const Session& s = g_session_data;
    long long t = (long long)s.session_clock - s.start_tick;
    if (s.time_trial) {
        // A time trial's clock is the lap in progress: from the rider's last crossing of the
        // finish line, 0 until the first (its session clock starts far from 0).
        int laps = rider_laps(0);
        int from = laps >= 1 ? rider_gate_time(0, lap_end_position(laps)) : -1;
        t = from >= 0 ? (long long)s.session_clock - from : 0;
    }
    return tenths_text("Time - ", t > 0 ? t : 0) + " ";
}

std::string lapping_warning(int slot) {
    std::string out;
    int me = standings_place(slot);
    const Session& s = g_session_data;
    if (me < 0 || g_results.standings_count < 2 || s.normal_lap <= 0) return out;
    int m = rider_gates(slot);
    if (m < s.first_lap) return out;
    int own_last = rider_gate_time(slot, m - 1);
    for (int i = 0; i < me; i++) {
        int other = g_results.standings[i].slot;
        int l = rider_gates(other);
        if (m >= l) continue;
        // The other rider's last gate, moved back into this rider's latest lap.
        int q = l - 1 - s.normal_lap * ((l - m - 1) / s.normal_lap + 1);
        int t = rider_gate_time(slot, q);
        if (t < 0 || own_last < 0 || own_last - t > 15 * 128) continue;
        int other_last = rider_gate_time(other, l - 1);
        if (other_last < t || other_last - t >= 3 * 128) continue;
        if (!out.empty()) out += " ";
        out += rider_number(other);
    }
    return out;
}

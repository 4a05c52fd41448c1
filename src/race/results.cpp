// Standings, section times, cut-track penalties with lap removal, and the final results.
#include "race/results.h"

#include <algorithm>
#include <cstring>

#include "bike/bike.h"
#include "race/hooks.h"
#include "race/series.h"
#include "race/session.h"
#include "race/session_internal.h"

Results g_results;

void results_reset() {
    g_results.standings_count = 0;
    g_results.final_count = 0;
}

bool standings_before(const StandingsEntry& a, const StandingsEntry& b) {
    if (a.gates != b.gates) return a.gates > b.gates;
    if (a.last_tick != b.last_tick) return a.last_tick < b.last_tick;
    return a.slot < b.slot;
}

int standings_leader() {
    return g_results.standings_count > 0 ? g_results.standings[0].slot : -1;
}

int standings_place(int slot) {
    for (int i = 0; i < g_results.standings_count; i++)
        if (g_results.standings[i].slot == slot) return i;
    return -1;
}

// Every rider in slot order with its real progress; returns the count.
static int riders_collect(StandingsEntry* out) {
    int n = 0;
    for (int s = 0; s < MAX_RIDERS; s++) {
        const RiderSlot& r = g_session_data.slots[s];
        if (!r.bike) continue;
        int gates = r.gates_passed;
        int last = gates > 0 ? rider_gate_time(s, gates - 1) : 0;
        out[n++] = StandingsEntry{s, gates, std::max(last, 0)};
    }
    return n;
}

// Difference of the times at `from` and `to` when the rider rode the section cleanly: both
// times known and no skipped gate strictly between. -1 otherwise.
static long long clean_section(int slot, int from, int to) {
    int t_from = from < 0 ? 0 : rider_gate_time(slot, from);
    int t_to = rider_gate_time(slot, to);
    if (t_from < 0 || t_to < 0) return -1;
    for (int p = std::max(from + 1, 0); p < to; p++)
        if (rider_gate_time(slot, p) == -1) return -1;
    long long d = (long long)t_to - t_from;
    return d >= 0 ? d : -1;
}

int section_time(int from, int to) {
    int f = g_session_data.first_lap, n = g_session_data.normal_lap;
    long long sum = 0;
    int counted = 0;
    for (int i = 0; i < g_results.standings_count; i++) {
        int slot = g_results.standings[i].slot;
        if (from < f || n <= 0) {
            long long d = clean_section(slot, from, to);
            if (d < 0) continue;
            sum += d;
            counted++;
            continue;
        }
        // A section within the repeated laps is ridden once per lap: average the laps.
        int gates = rider_gates(slot);
        long long b = f + (from - f) % n;
        long long e = (long long)to + b - from;
        long long lap_sum = 0;
        int laps = 0;
        for (; e < gates; b += n, e += n) {
            long long d = clean_section(slot, (int)b, (int)e);
            if (d < 0) continue;
            lap_sum += d;
            laps++;
        }
        if (laps == 0) continue;
        long long average = lap_sum / laps;
        if (average < 0) continue;
        sum += average;
        counted++;
    }
    return counted ? (int)(sum / counted) : 7680;
}

// Penalty over the first `gates` positions of a slot's gate times.
static long long penalty_over(int slot, int gates) {
    long long p = 0;
    long long c = 0;
    int a = 0;
    for (int b = 0; b < gates; b++) {
        int t = rider_gate_time(slot, b);
        if (t == -1) {
            a++;
            continue;
        }
        if (a != 0) {
            long long d = (long long)section_time(b - a - 1, b) + 128;
            if (t - c < d) p += d - (t - c);
        }
        a = 0;
        c = t;
    }
    return p;
}

int cut_penalty(int slot) {
    long long p = penalty_over(slot, rider_gates(slot));
    return (int)std::min(p, 2147483647LL);
}

int best_lap_index(int slot) {
    int laps = rider_laps(slot);
    int best = 0, best_ticks = 0;
    for (int lap = 2; lap <= laps; lap++) {
        int t = rider_lap_ticks(slot, lap);
        if (t == 0) continue;
        if (best == 0 || t < best_ticks) {
            best = lap;
            best_ticks = t;
        }
    }
    return best;
}

// Steps 1 to 5 of making the results final.
static void results_make_final() {
    int f = g_session_data.first_lap, n = g_session_data.normal_lap;
    g_results.final_count = riders_collect(g_results.final_results);
    for (int i = 0; i < g_results.final_count; i++) {
        StandingsEntry& e = g_results.final_results[i];
        long long p = penalty_over(e.slot, e.gates);
        // A penalty longer than the best lap costs whole laps.
        int h = best_lap_index(e.slot);
        if (h > 1 && n > 0) {
            long long lap = (long long)rider_gate_time(e.slot, lap_end_position(h)) -
                            rider_gate_time(e.slot, lap_end_position(h - 1));
            if (lap > 0 && lap < p) {
                while (p > lap && e.gates > f) {
                    e.gates -= n;
                    p -= lap;
                }
            }
        }
        e.last_tick = (int)std::min((long long)e.last_tick + p, 2147483647LL);
    }
    std::sort(g_results.final_results, g_results.final_results + g_results.final_count,
              standings_before);
}

void standings_update() {
    Session& s = g_session_data;
    // 1. Final results never change.
    if (s.results_final) return;
    // 2. Every rider with its gates and the time of its last one, in race order.
    g_results.standings_count = riders_collect(g_results.standings);
    std::sort(g_results.standings, g_results.standings + g_results.standings_count,
              standings_before);
    // 3. The half-way and final laps of a timed race.
    session_final_lap_rules();
    // 4. A remote rider that stopped sending does not hold the results back.
    if (g_results.standings_count == 0) return; // nobody to give results to
    for (int i = 0; i < g_results.standings_count; i++) {
        int slot = g_results.standings[i].slot;
        if (rider_finished(slot)) continue;
        const RaceNetHooks& net = race_net_hooks();
        bool recent = net.rider_recent && net.rider_recent(slot);
        if (s.multiplayer && s.slots[slot].kind != RIDER_LOCAL && !recent) continue;
        return;
    }
    results_make_final();
    if (g_results.final_count > 0 && rider_finished(g_results.final_results[0].slot))
        results_write();
    s.results_final = 1;
    series_record_event();
}

// Points series: reading ".series" and "_standings" files, round ranks and recording events.
#include "race/series.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "core/constants.h"
#include "core/settings.h"
#include "bike/bike.h"
#include "data/datafile.h"
#include "data/save.h"
#include "data/scanner.h"
#include "platform/log.h"
#include "platform/messages.h"
#include "race/results.h"
#include "race/session.h"
#include "race/session_internal.h"
#include "track/tracklist.h"

SeriesState g_series;

void series_reset() {
    g_series.series.clear();
    g_series.active_series = -1;
    g_series.active_event = -1;
}

// A name: up to 1023 characters in double quotes (blanks allowed; longer names are cut), or
// one word. 1 when one was read.
static int read_name(DataFile* f, std::string* out) {
    char buffer[1024];
    char quote[2];
    if (data_scanf(f, " %1[\"]", quote) == 1) {
        buffer[0] = 0;
        data_scanf(f, "%1023[^\"]", buffer);
        data_scanf(f, "%*[^\"]");
        if (data_scanf(f, "%1[\"]", quote) != 1) return 0; // no closing quote
        *out = buffer;
        return 1;
    }
    if (data_scanf(f, "%1023s", buffer) != 1) return 0;
    *out = buffer;
    return 1;
}

static int class_index(const char* word) {
    if (!strcmp(word, "Novice")) return 0;
    if (!strcmp(word, "Amateur")) return 1;
    return 2;
}

/*
 * ".series" (text, names in double quotes or single words):
 *   title
 *   R class            rider count (R + 1 <= 40) and "Novice", "Amateur" or "Expert"
 *   R rider numbers
 *   E                  event count
 *   E events: name, track, minutes laps, 40 moto points, 40 championship points
 * "_standings" (text): one line of R + 1 values "%d " (finishing position + 1 of every series
 * rider, then of the local player) per completed event.
 */
// Numbers a series may hold: anything beyond is a corrupt file, refused (and logged) rather
// than carried into the race length in ticks, the laps, the points sums and the totals.
static bool series_value_ok(const Series* s, const char* what, int v, int lo, int hi) {
    if (v >= lo && v <= hi) return true;
    log_printf("Warning: %.300s: %s %d out of range (%d to %d), series not offered\n",
               s->file.c_str(), what, v, lo, hi);
    return false;
}

static int series_parse(DataFile* f, Series* s) {
    bool verbose = g_settings.debug_level > 0;
    char word[1024];
    int r, e;
    if (!read_name(f, &s->title)) return 0;
    if (data_scanf(f, "%d %1023s", &r, word) != 2) return 0;
    // The riders and the player fill at most the 40 gates.
    if (!series_value_ok(s, "rider count", r, 0, MAX_RIDERS - 1)) return 0;
    s->skill_class = class_index(word);
    s->riders.assign(r, 0);
    for (int i = 0; i < r; i++)
        if (data_scanf(f, "%d", &s->riders[i]) != 1) return 0;
    if (data_scanf(f, "%d", &e) != 1 || !series_value_ok(s, "event count", e, 0, SERIES_EVENTS_MAX))
        return 0;
    if (verbose) log_printf("series %s (%s)\n", s->file.c_str(), s->title.c_str());
    for (int k = 0; k < e; k++) {
        SeriesEvent ev;
        std::string track;
        if (!read_name(f, &ev.name) || !read_name(f, &track)) return 0;
        // A series on a track that is not installed is not offered.
        ev.track = tracklist_find(track.c_str());
        if (ev.track < 0) return 0;
        if (data_scanf(f, "%d %d", &ev.minutes, &ev.laps) != 2) return 0;
        if (!series_value_ok(s, "event minutes", ev.minutes, 0, SERIES_MINUTES_MAX) ||
            !series_value_ok(s, "event laps", ev.laps, 0, SERIES_LAPS_MAX))
            return 0;
        for (int& v : ev.moto_points)
            if (data_scanf(f, "%d", &v) != 1 ||
                !series_value_ok(s, "moto points", v, -SERIES_POINTS_MAX, SERIES_POINTS_MAX))
                return 0;
        for (int& v : ev.champ_points)
            if (data_scanf(f, "%d", &v) != 1 ||
                !series_value_ok(s, "championship points", v, -SERIES_POINTS_MAX,
                                 SERIES_POINTS_MAX))
                return 0;
        ev.finish.assign(r + 1, r);
        ev.rank.assign(r + 1, -1);
        s->events.push_back(std::move(ev));
        if (verbose) log_printf("  event %s (%s)\n", track.c_str(), s->events.back().name.c_str());
    }
    return 1;
}

void series_read_standings(Series* s) {
    s->completed = 0;
    DataFile* f = data_open(s->standings_file.c_str(), "r");
    if (f) {
        int r = (int)s->riders.size();
        std::vector<int> line(r + 1);
        while (s->completed < (int)s->events.size()) {
            bool complete = true;
            for (int i = 0; i <= r && complete; i++) {
                int v;
                // A position outside the field is as good as a cut-off line.
                complete = data_scanf(f, "%d", &v) == 1 && v >= 1 && v <= r + 1;
                if (complete) line[i] = v - 1;
            }
            if (!complete) break;
            s->events[s->completed].finish = line;
            s->completed++;
        }
        data_close(f);
    }
    series_compute_ranks(s);
}

int series_read(const char* file, Series* out) {
    *out = Series{};
    out->file = file;
    out->standings_file = std::string("@") + file + "_standings";
    DataFile* f = data_open((std::string("@") + file).c_str(), "r");
    if (!f) return 0;
    int ok = series_parse(f, out);
    data_close(f);
    if (!ok) return 0;
    series_read_standings(out);
    return 1;
}

static bool ends_with(const std::string& s, const char* suffix) {
    size_t n = strlen(suffix);
    return s.size() >= n && s.compare(s.size() - n, n, suffix) == 0;
}

int series_load_all() {
    series_reset();
    for (const char* const* n = data_names(); *n; n++) {
        std::string name = *n;
        if (ends_with(name, ".series.gz"))
            name.resize(name.size() - 3);
        else if (!ends_with(name, ".series"))
            continue;
        bool seen = false;
        for (const Series& s : g_series.series) seen = seen || s.file == name;
        if (seen) continue;
        Series s;
        if (series_read(name.c_str(), &s)) g_series.series.push_back(std::move(s));
    }
    return (int)g_series.series.size();
}

void series_compute_ranks(Series* s) {
    int riders = (int)s->riders.size() + 1;
    std::vector<long long> sum(riders, 0);
    std::vector<bool> taken(riders);
    for (int k = 0; k < (int)s->events.size(); k++) {
        SeriesEvent& ev = s->events[k];
        ev.rank.assign(riders, -1);
        if (k >= s->completed) continue;
        for (int i = 0; i < riders; i++) {
            int p = ev.finish[i];
            if (p >= 0 && p < SERIES_POSITIONS) sum[i] += ev.moto_points[p];
        }
        if (ev.champ_points[0] == 0) continue; // a moto that does not end its round
        std::fill(taken.begin(), taken.end(), false);
        for (int rank = 0; rank < riders; rank++) {
            int best = -1;
            for (int i = 0; i < riders; i++) {
                if (taken[i]) continue;
                if (best < 0 || sum[i] > sum[best] ||
                    (sum[i] == sum[best] && ev.finish[i] < ev.finish[best]))
                    best = i;
            }
            taken[best] = true;
            ev.rank[best] = rank;
        }
        std::fill(sum.begin(), sum.end(), 0); // every round starts level
    }
}

int series_write_standings(const Series& s) {
    DataSave save;
    if (data_save_begin(s.standings_file.c_str(), &save)) {
        for (int k = 0; k < s.completed && k < (int)s.events.size(); k++) {
            for (int p : s.events[k].finish) data_printf(save.file, "%d ", p + 1);
            data_printf(save.file, "\n");
        }
        if (data_save_commit(&save)) return 1;
    }
    post_problem(("Can't save " + s.standings_file.substr(1) + ": " + save.error).c_str());
    return 0;
}

// The number written on a rider's plate as an integer; 0 when it is not a plain number.
static int plate_number(const Bike* b, int* number) {
    const char* t = bike_plate_text(b);
    if (!*t) return 0;
    int v = 0;
    for (const char* c = t; *c; c++) {
        if (*c < '0' || *c > '9' || v > 100000000) return 0;
        v = v * 10 + (*c - '0');
    }
    *number = v;
    return 1;
}

void series_record_event() {
    int si = g_series.active_series;
    if (si < 0 || si >= (int)g_series.series.size()) return;
    Series& s = g_series.series[si];
    if (g_series.active_event != s.completed || s.completed >= (int)s.events.size()) return;
    int r = (int)s.riders.size();
    // 1. The finishing order of the event.
    SeriesEvent& ev = s.events[s.completed];
    ev.finish.assign(r + 1, r);
    std::vector<bool> placed(r + 1, false);
    // 2. The final results when the race ended, else the standings when it was left.
    bool final = g_session_data.results_final;
    const StandingsEntry* table = final ? g_results.final_results : g_results.standings;
    int count = final ? g_results.final_count : g_results.standings_count;
    int position = 0;
    for (int i = 0; i < count; i++) {
        int slot = table[i].slot;
        const Bike* b = g_session_data.slots[slot].bike;
        if (!b) continue;
        if (g_session_data.slots[slot].kind == RIDER_LOCAL) {
            if (placed[r]) continue;
            // Leaving before the results are final does not keep a cut track's place.
            if (!final && rider_finished(slot) && cut_penalty(slot) > 0) continue;
            ev.finish[r] = position++;
            placed[r] = true;
            continue;
        }
        int number;
        if (!plate_number(b, &number)) continue;
        for (int k = 0; k < r; k++) {
            if (s.riders[k] != number || placed[k]) continue;
            ev.finish[k] = position++;
            placed[k] = true;
            break;
        }
    }
    // 3. One more event done, and the round ranks again.
    s.completed++;
    series_compute_ranks(&s);
    g_series.active_series = -1;
    g_series.active_event = -1;
    // 4. The standings file keeps it.
    series_write_standings(s);
}

std::vector<int> series_round_starts(const Series& s) {
    std::vector<int> starts;
    bool open = false;
    for (int k = 0; k < (int)s.events.size(); k++) {
        if (!open) starts.push_back(k);
        open = s.events[k].champ_points[0] == 0;
    }
    return starts;
}

static std::string text_of(const char* format, int a, int b = 0, int c = 0, int d = 0) {
    char buffer[64];
    snprintf(buffer, sizeof buffer, format, a, b, c, d);
    return buffer;
}

void series_screen(const Series& s, SeriesScreen* out) {
    *out = SeriesScreen{};
    char heading[1024];
    if (s.completed < (int)s.events.size())
        snprintf(heading, sizeof heading, "Next Event: %.900s", s.events[s.completed].name.c_str());
    else
        snprintf(heading, sizeof heading, "%.900s Final Standings", s.title.c_str());
    out->heading = heading;

    std::vector<int> starts = series_round_starts(s);
    int rounds = (int)starts.size();
    out->columns = {"No.", "Total"};
    for (int j = 0; j < rounds; j++) out->columns.push_back(text_of("Rd %d", j + 1));

    int r = (int)s.riders.size();
    int latest = -1; // the last completed round's ending event
    std::vector<int> latest_rank(r + 1, 0);
    for (int i = 0; i <= r; i++) {
        SeriesRow row;
        row.local = i == r;
        row.number = row.local ? "999" : text_of("%d", s.riders[i]);
        row.total = 0;
        for (int j = 0; j < rounds; j++) {
            int first = starts[j];
            int end = j + 1 < rounds ? starts[j + 1] : (int)s.events.size();
            int run = std::min(end, s.completed) - first; // events of the round with results
            if (run <= 0) {
                row.cells.push_back("");
                continue;
            }
            std::string finishes;
            for (int k = first; k < first + run; k++) {
                if (k > first) finishes += "-";
                finishes += text_of("%d", s.events[k].finish[i] + 1);
            }
            const SeriesEvent& last = s.events[end - 1];
            bool complete = run == end - first && last.champ_points[0] != 0;
            if (!complete) {
                row.cells.push_back("- (" + finishes + "-)");
                continue;
            }
            int rank = last.rank[i];
            int points = rank >= 0 && rank < SERIES_POSITIONS ? last.champ_points[rank] : 0;
            row.total += points;
            row.cells.push_back(text_of("%d", points) + " (" + finishes + ")");
            latest = end - 1;
            latest_rank[i] = rank;
        }
        out->rows.push_back(row);
    }
    // Higher totals first; a tie goes to the better rank in the latest round.
    std::vector<int> order(r + 1);
    for (int i = 0; i <= r; i++) order[i] = i;
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
        if (out->rows[a].total != out->rows[b].total)
            return out->rows[a].total > out->rows[b].total;
        if (latest >= 0) return latest_rank[a] < latest_rank[b];
        return false;
    });
    std::vector<SeriesRow> sorted;
    for (int i : order) sorted.push_back(out->rows[i]);
    out->rows = std::move(sorted);
}

void series_set_active(int series, int event) {
    g_series.active_series = series;
    g_series.active_event = event;
}

// Line files: the memory of one track and robot skill ("lines_novice", "lines_amateur",
// "lines_expert" in the track's folder), written whole through the atomic save and read back
// with every record checked.
#include <algorithm>
#include <cmath>

#include "core/settings.h"
#include "data/datafile.h"
#include "data/save.h"
#include "data/scanner.h"
#include "platform/log.h"
#include "robot/robot_internal.h"

namespace {

constexpr int SUM_LIMIT = 100000000;
constexpr int COUNT_LIMIT = 65535;
// A line of more points than this (over four hours of riding at four points a second) is not
// a recorded line: the file is not read past it.
constexpr int POINT_LIMIT = 65536;

int in_use(const LineSet& set) {
    int n = 0;
    for (const LineRecord& r : set.lines) n += !r.points.empty();
    return n;
}

// A time read from a file: ticks in (0, 1000000], anything else is unknown.
int checked_time(int t) {
    return t > 0 && t <= LINE_TIME_NONE ? t : LINE_TIME_NONE;
}

bool finite_point(const LinePoint& p) {
    return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z) &&
           std::isfinite(p.speed) && std::isfinite(p.lean);
}

enum ReadResult { READ_OK, READ_BAD_POINTS, READ_END };

// One record: nine numbers, then its points. READ_BAD_POINTS when a point does not parse (the
// record is dropped, and the stream cannot be trusted further), READ_END when the numbers are
// missing.
ReadResult read_record(DataFile* f, LineRecord* r) {
    int v[9];
    if (data_scanf(f, " %d %d %d %d %d %d %d %d %d", &v[0], &v[1], &v[2], &v[3], &v[4], &v[5],
                   &v[6], &v[7], &v[8]) != 9)
        return READ_END;
    if (v[0] > POINT_LIMIT) return READ_BAD_POINTS;
    r->points.clear();
    for (int k = 0; k < v[0]; k++) {
        LinePoint p;
        if (data_scanf(f, " [ %f %f %f ] %f %f ", &p.x, &p.y, &p.z, &p.speed, &p.lean) != 5 ||
            !finite_point(p)) {
            r->points.clear();
            return READ_BAD_POINTS;
        }
        r->points.push_back(p);
    }
    r->first_time = checked_time(v[1]);
    r->second_time = checked_time(v[2]);
    r->tests = std::max(v[3], 0);
    r->best_first = checked_time(v[4]);
    r->best_second = checked_time(v[5]);
    r->first_sum = std::max(v[6], 0);
    r->second_sum = std::max(v[7], 0);
    r->failures = std::max(v[8], 0);
    return READ_OK;
}

} // namespace

void line_record_normalise(LineRecord* r) {
    for (int round = 0; round < 16 && (r->second_sum > SUM_LIMIT || r->tests > COUNT_LIMIT ||
                                       r->failures > COUNT_LIMIT);
         round++) {
        int h = r->tests / 2;
        if (h > 0) {
            // Sums and tests halve together: the average time stays.
            r->first_sum = h * (r->first_sum / r->tests);
            r->second_sum = h * (r->second_sum / r->tests);
            r->tests = h;
        }
        r->failures /= 2;
    }
    r->first_sum = std::min(r->first_sum, SUM_LIMIT);
    r->second_sum = std::min(r->second_sum, SUM_LIMIT);
    r->tests = std::min(r->tests, COUNT_LIMIT);
    r->failures = std::min(r->failures, COUNT_LIMIT);
}

/* Line file, text:
 *   ct03 <sets>\n                     sets = first-lap segments + normal-lap segments
 *   then per set, in order:
 *   <n>\n                             the records in use
 *   then per record, in slot order:
 *   <points> <first time> <second time> <tests> <best first> <best second> <first sum>
 *       <second sum> <failures>\n     all integers, times in ticks of 1/128 s
 *   [<x> <y> <z>] <speed> <lean>\n    once per point (speed negative in the air)
 * A file whose set count differs from the track's is ignored. A record whose points do not all
 * parse is dropped and reading stops there; records past the 45th of a set are read and
 * dropped; counts are brought into range on loading.
 */
int line_memory_save() {
    RobotState& g = g_robots;
    if (g_settings.nolearn || !g.loaded || g.sets.empty() || g.file.empty()) return 0;
    DataSave save;
    if (!data_save_begin(g.file.c_str(), &save)) {
        log_printf("Can't save %s (%s)\n", g.file.c_str(), save.error.c_str());
        return 0;
    }
    DataFile* f = save.file;
    data_printf(f, "ct03 %d\n", (int)g.sets.size());
    for (const LineSet& set : g.sets) {
        data_printf(f, "%d\n", in_use(set));
        for (const LineRecord& r : set.lines) {
            if (r.points.empty()) continue;
            data_printf(f, "%d %d %d %d %d %d %d %d %d\n", (int)r.points.size(), r.first_time,
                        r.second_time, r.tests, r.best_first, r.best_second, r.first_sum,
                        r.second_sum, r.failures);
            for (const LinePoint& p : r.points)
                data_printf(f, "[%f %f %f] %f %f\n", p.x, p.y, p.z, p.speed, p.lean);
        }
    }
    if (!data_save_commit(&save)) {
        log_printf("Can't save %s (%s)\n", g.file.c_str(), save.error.c_str());
        return 0;
    }
    return 1;
}

int line_memory_load(const char* name) {
    RobotState& g = g_robots;
    if (g.sets.empty()) return 0;
    DataFile* f = data_open(name, "rb");
    if (!f) return 0;
    int sets = -1;
    if (data_scanf(f, "ct03 %d ", &sets) != 1 || sets != (int)g.sets.size()) {
        log_printf("%s: not a line file for %d segments, ignored\n", name, (int)g.sets.size());
        data_close(f);
        return 0;
    }
    bool complete = true;
    LineRecord scratch;
    for (int s = 0; s < sets && complete; s++) {
        int n = 0;
        if (data_scanf(f, " %d", &n) != 1) {
            complete = false;
            break;
        }
        if (g_settings.debug_level) log_printf("%d: %d\n", s, n);
        LineSet& set = g.sets[(size_t)s];
        for (int k = 0; k < n; k++) {
            LineRecord* r = k < LINES_PER_SET ? &set.lines[k] : &scratch;
            ReadResult result = read_record(f, r);
            if (result != READ_OK) {
                r->points.clear();
                complete = false;
                break;
            }
            if (r == &scratch) continue; // beyond the 45th: read and dropped
            if (r->points.empty()) {
                line_record_clear(r); // a record without points leaves its slot free
                continue;
            }
            line_record_normalise(r);
            r->id = line_new_id();
        }
    }
    data_close(f);
    if (!complete) log_printf("%s: damaged or cut short, read in part\n", name);
    return 1;
}

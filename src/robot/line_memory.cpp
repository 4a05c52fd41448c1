// Line memory: the track's segments and memory sets, the learner's recording by segment
// parity, judging a learner's line at the segment gate after the next one, the testers'
// bookkeeping, the failures of a stopped robot, and the choice of a line to evict.
//
// The player (personality 0) is the learner; robots (personalities 1 to 4) are testers. A
// segment s is the stretch before a rider's (s+1)-th segment gate. A learner's line through
// segment m is judged when segment m + 1 ends, with the two-segment time T2 that shows where
// the line leads; it replaces a stored line when that line is expected to take at least 5/4
// of T2.
#include <algorithm>
#include <climits>
#include <cmath>

#include "bike/bike.h"
#include "bike/bodypose.h"
#include "core/maths.h"
#include "core/settings.h"
#include "platform/log.h"
#include "race/hooks.h"
#include "race/session.h"
#include "robot/robot_internal.h"
#include "track/gates.h"

namespace {

// Adds without passing INT_MAX (counts and sums of a very long run).
int add_capped(int a, int b) {
    long long s = (long long)a + b;
    return s > INT_MAX ? INT_MAX : (int)s;
}

// The race time at sequence position q: the gate time, or the start for a position before the
// first (the race starts when the gates drop, not at the session's reset). -1 when missing.
int time_at(int slot, int q) {
    if (q < 0) return g_session.start_tick;
    return rider_gate_time(slot, q);
}

// The segment-gate position before position p (walking back over intermediate gates), or -1.
int previous_segment_gate(int p) {
    for (int q = p - 1; q >= 0; q--)
        if (!gates_sequence_intermediate(q)) return q;
    return -1;
}

// K < L < M = p: the last three segment-gate positions up to p, and whether every position
// from max(K, 0) to M has a time. T1 and T2 are the times of segment L and of L and M.
struct Judged {
    int K, L, M;
    int T1, T2;
    bool timed;
};

Judged judge_times(int slot, int p) {
    Judged j;
    j.M = p;
    j.L = previous_segment_gate(p);
    j.K = j.L >= 0 ? previous_segment_gate(j.L) : -1;
    j.timed = true;
    for (int q = std::max(j.K, 0); q <= j.M; q++)
        if (rider_gate_time(slot, q) < 0) j.timed = false;
    j.T1 = j.T2 = 0;
    if (j.timed) {
        int tk = time_at(slot, j.K);
        j.T1 = time_at(slot, j.L) - tk;
        j.T2 = time_at(slot, j.M) - tk;
    }
    return j;
}

bool verbose() {
    return g_settings.debug_level > 0;
}

// Takes the pick of segment s out of the ring and adds a failure to its line, if that line is
// still in the set.
void fail_pick(int slot, int s) {
    LineRider& lr = g_robots.riders[slot];
    if (s < 0) return;
    int id = lr.picks[s % LINE_PICKS];
    lr.picks[s % LINE_PICKS] = 0;
    if (id == 0) return;
    LineRecord* r = line_find(set_of(s), id);
    if (r) r->failures = add_capped(r->failures, 1);
}

void clear_picks(int slot) {
    for (int& p : g_robots.riders[slot].picks) p = 0;
}

void empty_buffers(int slot) {
    LineRider& lr = g_robots.riders[slot];
    lr.buffer[0].clear();
    lr.buffer[1].clear();
    lr.dirty = 0;
}

float distance2(const LinePoint& a, const LinePoint& b) {
    float dx = a.x - b.x, dy = a.y - b.y, dz = a.z - b.z;
    return dx * dx + dy * dy + dz * dz;
}

// The same path twice: equal point counts, every pair within 1/16 in speed and 1/256 in
// squared distance.
bool duplicate(const std::vector<LinePoint>& a, const std::vector<LinePoint>& b) {
    if (a.size() != b.size()) return false;
    for (size_t k = 0; k < a.size(); k++) {
        if (std::fabs(a[k].speed - b[k].speed) > 0.0625f) return false;
        if (distance2(a[k], b[k]) > 0.00390625f) return false;
    }
    return true;
}

// Steps 3 to 7 of judging a learner's line through segment m.
void learner_judge(int slot, int m, const Judged& j) {
    LineRider& lr = g_robots.riders[slot];
    int parity = m % 2;
    int set_index = set_of(m);
    LineSet& set = g_robots.sets[(size_t)set_index];
    const std::vector<LinePoint>& candidate = lr.buffer[parity];
    // 3.
    if (candidate.empty() || (lr.dirty & (1 << parity))) {
        if (verbose()) log_printf("auto pilot: %d canceled\n", set_index);
        return;
    }
    // 4.
    for (const LineRecord& r : set.lines) {
        if (!r.points.empty() && duplicate(r.points, candidate)) {
            if (verbose()) log_printf("auto pilot: %d rejected (duplicate)\n", set_index);
            return;
        }
    }
    // 5.
    int target = -1;
    for (int k = 0; k < LINES_PER_SET && target < 0; k++)
        if (set.lines[k].points.empty()) target = k;
    if (target < 0) target = line_eviction_choice(set);
    if (target < 0) return;
    LineRecord& r = set.lines[target];
    // 6-7.
    int expected = line_expected_time(r);
    if ((long long)expected >= (long long)j.T2 * 5 / 4) {
        if (verbose()) {
            double first = r.tests > 0 ? (double)r.first_sum / r.tests / TICKS_PER_SECOND : 0;
            double second = r.tests > 0 ? (double)r.second_sum / r.tests / TICKS_PER_SECOND : 0;
            log_printf("auto pilot: evicting %d (times: %.2f %.2f tested (%d %d): %.2f %.2f "
                       "repl: %f %f)\n",
                       set_index, (double)r.first_time / TICKS_PER_SECOND,
                       (double)r.second_time / TICKS_PER_SECOND, r.tests, r.failures, first, second,
                       (double)j.T1 / TICKS_PER_SECOND, (double)j.T2 / TICKS_PER_SECOND);
        }
        line_record_clear(&r);
        r.points = candidate;
        r.first_time = j.T1;
        r.second_time = j.T2;
        r.id = line_new_id();
        line_memory_connections_changed();
    } else if (verbose()) {
        log_printf("auto pilot: %d rejected (too slow)\n", set_index);
    }
}

// A learner passed segment gate p.
void learner_gate(int slot, const GateSearch* found) {
    if (found->offset != 0) {
        // A missed gate taken back, or gates skipped: the buffers do not hold clean segments.
        empty_buffers(slot);
        return;
    }
    int p = found->position;
    int m = segment_of(p) - 1;
    if (m < 0) return; // segment 0 ends here; it is judged at the next segment gate
    Judged j = judge_times(slot, p);
    if (j.timed) learner_judge(slot, m, j);
    // 8. The buffer now records segment m + 2.
    LineRider& lr = g_robots.riders[slot];
    lr.buffer[m % 2].clear();
    lr.dirty &= ~(1 << (m % 2));
}

// Whether a robot is on the line it follows at a gate: near the path between the points
// before and at its point index, and not faster than the line by more than 1/15.
bool tester_on_line(int slot) {
    const RobotRider& rb = g_robots.robots[slot];
    const Bike* bike = g_session.slots[slot].bike;
    int n = (int)rb.path.size();
    if (n < 2 || !bike) return false;
    int i = std::clamp(rb.path_index, 1, n - 1);
    const LinePoint& a = rb.path[(size_t)i - 1];
    const LinePoint& b = rb.path[(size_t)i];
    float pos[3];
    bike_frame_position(bike, pos);
    double dx = b.x - a.x, dy = b.y - a.y, dz = b.z - a.z;
    double ex = pos[0] - a.x, ey = pos[1] - a.y, ez = pos[2] - a.z;
    double dd = dx * dx + dy * dy + dz * dz;
    double t = dd > 0 ? (ex * dx + ey * dy + ez * dz) / dd : 0;
    double px = ex - t * dx, py = ey - t * dy, pz = ez - t * dz;
    if (px * px + py * py + pz * pz > 16) return false;
    float speed = bike_frame_speed(bike) * 0.9375f;
    return speed <= std::fabs(a.speed) && speed <= std::fabs(b.speed);
}

// A tester passed segment gate p.
void tester_gate(int slot, int p) {
    int w = segment_of(p);
    if (w < 1) return;
    LineRider& lr = g_robots.riders[slot];
    // 1.
    if (!tester_on_line(slot)) {
        fail_pick(slot, w);
        clear_picks(slot);
        return;
    }
    // 2.
    Judged j = judge_times(slot, p);
    if (!j.timed) {
        fail_pick(slot, segment_of(j.L));
        clear_picks(slot);
        empty_buffers(slot);
        return;
    }
    // 3.
    int id = lr.picks[(w - 1) % LINE_PICKS];
    LineRecord* r = id ? line_find(set_of(w - 1), id) : nullptr;
    if (r) {
        r->tests = add_capped(r->tests, 1);
        r->best_first = std::min(r->best_first, j.T1);
        r->best_second = std::min(r->best_second, j.T2);
        r->first_sum = add_capped(r->first_sum, j.T1);
        r->second_sum = add_capped(r->second_sum, j.T2);
    }
    // 4.
    empty_buffers(slot);
}

bool is_learner(int slot) {
    const RiderSlot& r = g_session.slots[slot];
    return r.bike && r.kind == RIDER_LOCAL && g_robots.robots[slot].personality == 0;
}

bool is_tester(int slot) {
    const RiderSlot& r = g_session.slots[slot];
    return r.bike && r.kind == RIDER_ROBOT;
}

} // namespace

void line_memory_build() {
    RobotState& g = g_robots;
    g.sets.clear();
    for (auto& plan : g.plans) plan.clear();
    g.first_prefix.clear();
    g.normal_prefix.clear();
    g.first_sets = g.normal_sets = 0;
    if (!gates_present()) return;
    auto prefix = [](const std::vector<int>& list, std::vector<int>* out) {
        out->assign(list.size() + 1, 0);
        for (size_t k = 0; k < list.size(); k++)
            (*out)[k + 1] = (*out)[k] + (list[k] < GATE_INTERMEDIATE ? 1 : 0);
    };
    prefix(g_gates.first_lap, &g.first_prefix);
    prefix(g_gates.normal_lap, &g.normal_prefix);
    g.first_sets = g.first_prefix.back();
    g.normal_sets = g.normal_prefix.back();
    if (g.normal_sets <= 0) {
        g.first_sets = g.normal_sets = 0;
        g.first_prefix.clear();
        g.normal_prefix.clear();
        return;
    }
    g.sets.resize((size_t)(g.first_sets + g.normal_sets));
    for (auto& plan : g.plans) plan.assign(g.sets.size(), 0);
}

void line_memory_empty() {
    for (LineSet& set : g_robots.sets)
        for (LineRecord& r : set.lines) {
            line_record_clear(&r);
            r.last_picked = 0;
        }
    for (auto& plan : g_robots.plans) std::fill(plan.begin(), plan.end(), 0);
    for (int s = 0; s < MAX_RIDERS; s++) line_rider_reset(s);
    line_memory_connections_changed();
}

int line_set_count() {
    return (int)g_robots.sets.size();
}

int segment_of(int p) {
    const RobotState& g = g_robots;
    if (p <= 0 || g.normal_prefix.size() < 2) return 0;
    int f = (int)g.first_prefix.size() - 1, n = (int)g.normal_prefix.size() - 1;
    if (p <= f) return g.first_prefix[(size_t)p];
    int q = p - f;
    return g.first_sets + (q / n) * g.normal_sets + g.normal_prefix[(size_t)(q % n)];
}

int set_of(int s) {
    const RobotState& g = g_robots;
    if (g.sets.empty() || s < 0) return -1;
    if (s < g.first_sets) return s;
    return g.first_sets + (s - g.first_sets) % g.normal_sets;
}

LineRecord* line_find(int set, int id) {
    if (id == 0 || set < 0 || set >= (int)g_robots.sets.size()) return nullptr;
    for (LineRecord& r : g_robots.sets[(size_t)set].lines)
        if (r.id == id && !r.points.empty()) return &r;
    return nullptr;
}

int line_new_id() {
    if (g_robots.next_id == INT_MAX) g_robots.next_id = 0;
    return ++g_robots.next_id;
}

void line_record_clear(LineRecord* r) {
    int last = r->last_picked;
    std::vector<LinePoint> keep;
    keep.swap(r->points);
    *r = LineRecord{};
    r->last_picked = last;
    // The storage is reused by the next line put here.
    keep.clear();
    r->points.swap(keep);
}

int line_expected_time(const LineRecord& r) {
    long long h;
    if (r.tests <= 0) {
        h = (long long)r.second_time * 5 / 4;
        if (r.failures > 0) h += LINE_PENALTY;
    } else {
        h = (long long)r.second_sum / r.tests +
            (long long)LINE_PENALTY * r.failures / ((long long)r.tests + r.failures);
    }
    return (int)std::min<long long>(h, INT_MAX);
}

int line_eviction_choice(const LineSet& set) {
    int expected[LINES_PER_SET];
    int healthy = 0;
    for (int k = 0; k < LINES_PER_SET; k++) {
        const LineRecord& r = set.lines[k];
        if (r.points.empty()) continue;
        expected[k] = line_expected_time(r);
        if (r.failures < r.tests) healthy++;
        // A line without a near neighbour is the only way through its start: keep it longer.
        bool alone = true;
        for (int o = 0; o < LINES_PER_SET && alone; o++)
            if (o != k && !set.lines[o].points.empty() &&
                distance2(set.lines[o].points[0], r.points[0]) <= 4)
                alone = false;
        if (alone) expected[k] = expected[k] * 3 / 4;
    }
    int choice = -1;
    for (int k = 0; k < LINES_PER_SET; k++) {
        const LineRecord& r = set.lines[k];
        if (r.points.empty()) continue;
        if (healthy < 23 && r.failures < r.tests) continue;
        if (choice < 0 || expected[k] > expected[choice]) choice = k;
    }
    return choice;
}

void line_memory_tick(int slot, const GateSearch* found) {
    if (slot < 0 || slot >= MAX_RIDERS || g_robots.sets.empty()) return;
    const RiderSlot& rider = g_session.slots[slot];
    if (!rider.bike) return;
    LineRider& lr = g_robots.riders[slot];
    bool learner = is_learner(slot);
    if (found && found->accepted) {
        // A gate passed while stopped spoils the segment that ends there.
        if (found->stopped_before) lr.dirty |= 1 << (segment_of(found->gates_before) % 2);
        if (!gates_sequence_intermediate(found->position)) {
            if (learner)
                learner_gate(slot, found);
            else if (is_tester(slot))
                tester_gate(slot, found->position);
        }
    }
    // Recording: only once the race has started; the wait at the gate is no part of a line.
    int clock = g_session.session_clock;
    if (learner && clock % LINE_RECORD_PERIOD == 0 && clock >= g_session.start_tick) {
        std::vector<LinePoint>& buffer = lr.buffer[segment_of(rider.gates_passed) % 2];
        if (buffer.size() == buffer.capacity())
            buffer.reserve(std::max<size_t>(16, 2 * buffer.size()));
        buffer.push_back(line_point_of(rider.bike));
    }
}

void line_memory_stopped(int slot) {
    if (slot < 0 || slot >= MAX_RIDERS || g_robots.sets.empty() || !is_tester(slot)) return;
    int g = g_session.slots[slot].gates_passed;
    // 1.
    fail_pick(slot, segment_of(g));
    // 2. A stop just after a gate may belong to the line that led to it.
    if (g >= 1) {
        int t = rider_gate_time(slot, g - 1);
        if (t >= 0 && g_session.session_clock - t < TICKS_PER_SECOND)
            fail_pick(slot, segment_of(g - 1));
    }
    // 3.
    clear_picks(slot);
}

void line_memory_disturbed(int slot) {
    if (slot < 0 || slot >= MAX_RIDERS) return;
    LineRider& lr = g_robots.riders[slot];
    // Both lines in the making are spoilt: the one being ridden and the one waiting for the
    // next segment's time. Marking them dirty makes their judging a cancel.
    lr.buffer[0].clear();
    lr.buffer[1].clear();
    lr.dirty = 3;
    clear_picks(slot);
}

void line_rider_reset(int slot) {
    if (slot < 0 || slot >= MAX_RIDERS) return;
    LineRider& lr = g_robots.riders[slot];
    lr.buffer[0].clear();
    lr.buffer[1].clear();
    lr.dirty = 0;
    clear_picks(slot);
    lr.was_stopped = 0;
}

float frame_lean(const float up[3], const float forward[3]) {
    double fx = forward[0], fz = forward[2];
    double h = std::sqrt(fx * fx + fz * fz);
    if (!(h > 0)) return 0;
    fx /= h;
    fz /= h;
    double o = up[2] * fx - up[0] * fz;
    if (o < -1) o = -1;
    if (o > 1) o = 1;
    if (!(o == o)) o = 0;
    return (float)(std::acos(o) - PI / 2);
}

LinePoint line_point_of(const Bike* bike) {
    float pos[3], rot[9], vel[3];
    bike_body_pose(bike, BODY_FRAME, pos, rot);
    bike_body_velocity(bike, BODY_FRAME, vel);
    // Columns of the rotation are the frame's axes: y up, z toward the rear.
    float up[3] = {rot[1], rot[4], rot[7]};
    float forward[3] = {-rot[2], -rot[5], -rot[8]};
    float speed = std::sqrt(vel[0] * vel[0] + vel[1] * vel[1] + vel[2] * vel[2]);
    if (!(bike->wheels[0].depth > 0) && !(bike->wheels[1].depth > 0)) speed = -speed;
    return LinePoint{pos[0], pos[1], pos[2], speed, frame_lean(up, forward)};
}

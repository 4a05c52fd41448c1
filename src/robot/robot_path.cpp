// A robot's path: its personalities and plan types, advancing along the path, and keeping the
// path long enough by picking the next segment's line (scores from the best chains ahead, the
// match of each line to the robot's motion, recency) and joining it on with a smooth seam.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "bike/bike.h"
#include "bike/bodypose.h"
#include "core/maths.h"
#include "core/settings.h"
#include "platform/log.h"
#include "race/results.h"
#include "race/session.h"
#include "robot/robot_internal.h"
#include "track/gates.h"

namespace {

const RobotPersonality PERSONALITIES[ROBOT_PERSONALITIES] = {
    {"empty", 0, 0, 0, 0, 0},          {"zabo", 0, 0, 1, 0.2f, 0.4f},
    {"quellin", 2, 1, 10, 0.2f, 0.4f}, {"fenwy", 1, 0, 10, 0, 0.1f},
    {"tester", 3, 3, 1, 0.2f, 0.4f},
};

constexpr int PICK_AHEAD = 10;  // pick the next line when this close to the path's end
constexpr int CHAIN_SETS = 8;   // sets the scores look ahead over
constexpr int KEEP_BEHIND = 30; // path points kept behind path_index
constexpr int SEAM_POINTS = 5;

double horizontal(double ax, double az, double bx, double bz) {
    return std::hypot(ax - bx, az - bz);
}

// The frame's position and its horizontal forward direction (unit).
void frame_heading(const Bike* bike, float pos[3], double* fx, double* fz) {
    float rot[9];
    bike_body_pose(bike, BODY_FRAME, pos, rot);
    double x = -rot[2], z = -rot[8];
    double h = std::hypot(x, z);
    *fx = h > 0 ? x / h : 0;
    *fz = h > 0 ? z / h : -1;
}

// How well line l continues the robot's motion (step 5 of path upkeep).
double line_match(const RobotRider& rb, const LineRecord& l, const float pos[3]) {
    if (l.points.empty()) return 0;
    size_t n = rb.path.size();
    if (n < 3) {
        double d = horizontal(pos[0], pos[2], l.points[0].x, l.points[0].z);
        double a = std::clamp((100 - d) / 96, 0.0, 1.0);
        return 10 * a * a * a;
    }
    if (l.points.size() < 2) return 0;
    double x, z;
    circle_centre(rb.path[n - 3], rb.path[n - 2], rb.path[n - 1], &x, &z);
    const LinePoint& last = rb.path[n - 1];
    double r = horizontal(x, z, last.x, last.z);
    double v = std::fabs(last.speed);
    double d0 = horizontal(x, z, l.points[0].x, l.points[0].z);
    double d1 = horizontal(x, z, l.points[1].x, l.points[1].z);
    double speed = std::clamp((std::fabs(l.points[0].speed) + 15 - v) / 5, 0.0, 1.0);
    double radius = std::clamp((5 - std::fabs(r - d0)) / 3.5, 0.0, 1.0);
    double continuity = std::clamp((3 - std::fabs(d1 - d0)) / 2, 0.0, 1.0);
    double rc = radius * continuity;
    return speed * rc * rc * rc;
}

// Cubic Hermite point between p0 and p1 with tangents m0 and m1 at t (0..1), in the ground
// plane and height alike.
void hermite(const double p0[3], const double m0[3], const double p1[3], const double m1[3],
             double t, double out[3]) {
    double t2 = t * t, t3 = t2 * t;
    double h00 = 2 * t3 - 3 * t2 + 1, h10 = t3 - 2 * t2 + t, h01 = -2 * t3 + 3 * t2, h11 = t3 - t2;
    for (int k = 0; k < 3; k++) out[k] = h00 * p0[k] + h10 * m0[k] + h01 * p1[k] + h11 * m1[k];
}

// Appends the gates of segment s (from the position after its first segment gate to its last)
// to the path, and moves on to segment s + 1.
void ride_gates_through(int slot, int s) {
    RobotRider& rb = g_robots.robots[slot];
    int from = std::max(g_session.slots[slot].gates_passed, 0);
    // The segment's ending gate: the first segment gate at or after `from` whose segment is s.
    int end = -1;
    for (int q = from; q < from + 512 && end < 0; q++)
        if (!gates_sequence_intermediate(q) && segment_of(q) >= s) end = q;
    if (end < 0) return;
    int start = end;
    while (start > from && gates_sequence_intermediate(start - 1)) start--;
    robot_path_append_gates(slot, start, end, 0.7f);
    g_robots.riders[slot].picks[s % LINE_PICKS] = 0;
    rb.following = 0;
    rb.next_segment = s + 1;
}

} // namespace

const RobotPersonality* robot_personality(int index) {
    if (index < 0 || index >= ROBOT_PERSONALITIES) return &PERSONALITIES[0];
    return &PERSONALITIES[index];
}

int robot_personality_find(const char* name) {
    for (int i = 1; i < ROBOT_PERSONALITIES; i++)
        if (name && !strcmp(name, PERSONALITIES[i].name)) return i;
    log_printf("auto pilot personality '%s' not found\n", name ? name : "");
    return 1;
}

int robot_plan_type(int slot) {
    const RobotPersonality* p = robot_personality(g_robots.robots[slot].personality);
    int gap = 0;
    if (g_results.standings_count >= 2 && g_results.standings[0].slot == slot) {
        int second = g_results.standings[1].slot;
        int position = rider_gates(second) - 1;
        int theirs = rider_gate_time(second, position), mine = rider_gate_time(slot, position);
        if (theirs > 0 && mine > 0 && mine < theirs) gap = theirs - mine;
    }
    return gap * sim_tick <= p->gap ? p->plan_close : p->plan_leading;
}

void robot_path_trim(int slot) {
    RobotRider& rb = g_robots.robots[slot];
    if (rb.path_index <= KEEP_BEHIND) return;
    rb.path.erase(rb.path.begin(), rb.path.begin() + (rb.path_index - KEEP_BEHIND));
    rb.path_index = KEEP_BEHIND;
}

void robot_path_append(int slot, const LineRecord& line) {
    RobotRider& rb = g_robots.robots[slot];
    if (line.points.empty()) return;
    const Bike* bike = g_session.slots[slot].bike;
    std::vector<LinePoint>& path = rb.path;
    bool start = path.empty();
    double dir[3] = {0, 0, 0};
    if (start) {
        // The very start: the seam leaves from where the robot stands, the way it faces.
        LinePoint here = line.points[0];
        if (bike) {
            float pos[3];
            double fx, fz;
            frame_heading(bike, pos, &fx, &fz);
            here = line_point_of(bike);
            dir[0] = fx;
            dir[2] = fz;
        }
        here.speed = std::fabs(here.speed);
        path.insert(path.end(), SEAM_POINTS, here);
    }
    size_t old_len = path.size();
    size_t seam = std::max(old_len >= SEAM_POINTS ? old_len - SEAM_POINTS : 0,
                           (size_t)std::max(rb.path_index, 0));
    path.insert(path.end(), line.points.begin(), line.points.end());
    if (seam >= old_len) return;
    const LinePoint a = path[seam];
    const LinePoint& b = line.points[0];
    if (a.speed < 0 || b.speed < 0) return; // a jump is left as it was ridden
    if (!start) {
        // The direction the path comes in with.
        const LinePoint& before = seam > 0 ? path[seam - 1] : a;
        double h = std::hypot((double)a.x - before.x, (double)a.z - before.z);
        if (h > 0) {
            dir[0] = (a.x - before.x) / h;
            dir[1] = (a.y - before.y) / h;
            dir[2] = (a.z - before.z) / h;
        }
    }
    double out_dir[3] = {0, 0, 0};
    if (line.points.size() >= 2) {
        const LinePoint& c = line.points[1];
        double h = std::hypot((double)c.x - b.x, (double)c.z - b.z);
        if (h > 0) {
            out_dir[0] = (c.x - b.x) / h;
            out_dir[1] = (c.y - b.y) / h;
            out_dir[2] = (c.z - b.z) / h;
        }
    }
    double p0[3] = {a.x, a.y, a.z}, p1[3] = {b.x, b.y, b.z};
    double chord = std::sqrt((p1[0] - p0[0]) * (p1[0] - p0[0]) + (p1[2] - p0[2]) * (p1[2] - p0[2]));
    double m0[3], m1[3];
    for (int k = 0; k < 3; k++) {
        m0[k] = dir[k] * chord;
        m1[k] = out_dir[k] * chord;
    }
    // The seam runs from its first point (t = 0) to the line's first point (t = 1, the point
    // after the seam).
    double span = (double)(old_len - seam);
    for (size_t k = seam + 1; k < old_len; k++) {
        double t = (double)(k - seam) / span;
        double q[3];
        hermite(p0, m0, p1, m1, t, q);
        LinePoint& p = path[k];
        p.x = (float)q[0];
        p.y = (float)q[1];
        p.z = (float)q[2];
        p.speed = (float)(a.speed + (b.speed - a.speed) * t);
        p.lean = (float)(a.lean + (b.lean - a.lean) * t);
    }
}

void robot_advance(int slot) {
    RobotRider& rb = g_robots.robots[slot];
    const Bike* bike = g_session.slots[slot].bike;
    if (!bike) return;
    int now = g_session.session_clock;
    float pos[3];
    double fx, fz;
    frame_heading(bike, pos, &fx, &fz);
    float radius = rb.stuck >= 3 ? 30.0f : 60.0f;
    for (int steps = 0; steps < 8 && rb.path_index < (int)rb.path.size(); steps++) {
        const LinePoint& p = rb.path[(size_t)rb.path_index];
        double d = horizontal(pos[0], pos[2], p.x, p.z);
        if (d > radius) break;
        double ahead = (p.x - pos[0]) * fx + (p.z - pos[2]) * fz;
        if (d > 4 && ahead > 0) break;
        rb.path_index++;
        rb.advance_tick = now;
        if (rb.stuck > 0) rb.stuck--;
    }
    if (!rb.path.empty() && rb.path_index >= (int)rb.path.size()) {
        rb.path.clear();
        rb.path_index = 0;
    }
}

void robot_pick(int slot) {
    RobotRider& rb = g_robots.robots[slot];
    const RiderSlot& rider = g_session.slots[slot];
    const Bike* bike = rider.bike;
    if (!bike) return;
    robot_advance(slot);
    int now = g_session.session_clock;
    float pos[3];
    double fx, fz;
    frame_heading(bike, pos, &fx, &fz);

    // Path upkeep.
    if (rb.path_index < (int)rb.path.size() - PICK_AHEAD) return;
    if (rider.finished) return;
    int s = rb.next_segment;
    int set_index = set_of(s);
    if (set_index < 0) return;
    LineSet& set = g_robots.sets[(size_t)set_index];
    bool any = false;
    for (const LineRecord& r : set.lines) any = any || !r.points.empty();
    if (!any) {
        // No line is known through this segment yet: the robot rides the lane through its
        // gates, as the teacher does, rather than stopping at the end of what it has.
        ride_gates_through(slot, s);
        return;
    }
    // 1-2. Scores from the best chains over the next sets.
    int type = robot_plan_type(slot);
    double chain[LINES_PER_SET];
    line_chain_costs(s, CHAIN_SETS, type, chain);
    double least = 1e300;
    for (int k = 0; k < LINES_PER_SET; k++)
        if (!set.lines[k].points.empty()) least = std::min(least, chain[k]);
    double race_time = now * sim_tick;
    int plan = type < LINE_COST_TYPES && set_index < (int)g_robots.plans[type].size()
                   ? g_robots.plans[type][(size_t)set_index]
                   : 0;
    int best = -1;
    double best_value = 0, best_score = 0, best_match = 0;
    for (int k = 0; k < LINES_PER_SET; k++) {
        LineRecord& l = set.lines[k];
        if (l.points.empty()) continue;
        double score = chain[k] < 1 ? 1 : least / chain[k];
        // 3. After 40 s the plan's line gains on the others.
        if (type < LINE_COST_TYPES && race_time > 40 && plan != 0 && l.id == plan)
            score += std::clamp((race_time - 40) * 0.05, 0.0, 1.0) * (1 - score);
        // 4. The first set has to take every robot from its slot: scores matter less there.
        if (set_index == 0) score = 0.8 + 0.2 * score;
        // 5-6.
        double match = line_match(rb, l, pos);
        double recency = std::clamp((now - l.last_picked) * sim_tick / 3, 0.0, 1.0);
        double value = match + recency * score;
        if (value > best_value) {
            best_value = value;
            best = k;
            best_score = score;
            best_match = match;
        }
    }
    if (best < 0) return;
    LineRecord& picked = set.lines[best];
    if (g_settings.debug_level)
        log_printf("auto pilot: picking %d score = %f match = %f last_picked = %f\n", slot,
                   best_score, best_match, (now - picked.last_picked) * sim_tick);
    // 7. Lines that end where the picked one does are taken as picked too.
    const LinePoint& end = picked.points.back();
    for (LineRecord& l : set.lines) {
        if (l.points.empty() || &l == &picked) continue;
        const LinePoint& e = l.points.back();
        float dx = e.x - end.x, dy = e.y - end.y, dz = e.z - end.z;
        if (dx * dx + dy * dy + dz * dz <= 9) l.last_picked = now;
    }
    picked.last_picked = now;
    // 8.
    g_robots.riders[slot].picks[s % LINE_PICKS] = picked.id;
    rb.following = picked.id;
    rb.next_segment = s + 1;
    // 9-10.
    robot_path_trim(slot);
    robot_path_append(slot, picked);
}

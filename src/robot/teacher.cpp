// The teacher: a rider that rides the track's gate sequence with the robots' own controller,
// for laps that teach lines where nobody has ridden yet (the shipped line files, tests). Its
// path is a spline through the gate centres, with the speed the ground's grip allows in each
// turn (scaled by the pace) and braking toward the turns planned back along the path.
#include <algorithm>
#include <cmath>

#include "bike/bike.h"
#include "bike/bodypose.h"
#include "race/session.h"
#include "robot/robot.h"
#include "robot/robot_internal.h"
#include "track/gates.h"
#include "track/surface.h"
#include "track/terrain.h"

namespace {

constexpr double SPACING = 10;   // feet between the path's points
constexpr double TOP_SPEED = 75; // ft/s on the straights at full pace
constexpr double BRAKING = 12;   // ft/s^2 planned toward a turn
constexpr float FRAME_HEIGHT = 2.2f;
// A crest sharper than a bike at speed can follow (the ground falling away faster than CREST_G
// would pull it down: jumps, whoops) is met at CREST_SPEED x the pace. At race pace (0.82) that
// is 25 ft/s, which flies Rabbit Hill's jumps (about a second off the double and the step-down,
// half a second and more off the tables and rollers) and lands them; 28 ft/s (23 at race pace)
// rolled most of them, and 34 ft/s (28) crashed on landings.
constexpr double CREST_G = 48;
constexpr double CREST_SPEED = 31;
// A crest whose ground rises and falls less than WHOOP_HEIGHT within 10 ft either side is a
// whoop: it is rolled at WHOOP_SPEED x the pace (16 ft/s at race pace). Met at the crest speed,
// a row of whoops bounced the bike into a crash about one lap in three.
constexpr double WHOOP_HEIGHT = 2.5;
constexpr double WHOOP_SPEED = 20;
constexpr double PULL_OFF_SPEED = 15; // ft/s, a finished rider leaving the track

struct Point2 {
    double x, z;
};

// The gate at sequence position k: its centre and its direction (unit, the way riders pass).
struct GatePose {
    double x, z, dx, dz;
};

GatePose gate_pose(int k) {
    int gate = gates_sequence_gate(k);
    if (gate < 0 || gate >= (int)g_gates.gates.size()) return GatePose{0, 0, 0, -1};
    const Gate& g = g_gates.gates[(size_t)gate];
    double h = std::hypot((double)g.direction[0], (double)g.direction[2]);
    if (!(h > 0)) h = 1;
    return GatePose{g.centre[0], g.centre[2], g.direction[0] / h, g.direction[2] / h};
}

double grip(double x, double z) {
    const Terrain& t = g_terrain;
    if (t.surfaces.empty()) return 1;
    int tile = terrain_tile_at(&t, (float)x, (float)z);
    if (tile < 0 || tile >= (int)t.surfaces.size()) return 1;
    return std::min(surface_friction(&t.surfaces[(size_t)tile], 25.0f), 2.4f);
}

LinePoint make_point(double x, double z) {
    return LinePoint{(float)x, terrain_height(&g_terrain, (float)x, (float)z) + FRAME_HEIGHT,
                     (float)z, (float)TOP_SPEED, 0};
}

// A cubic from a to b leaving a along its direction and reaching b along its own (the lane's
// tangents at the gates, so the curve follows the lane's arcs), every SPACING feet; a itself is
// left out (it ends the part before).
void join(const GatePose& a, const GatePose& b, std::vector<LinePoint>* out) {
    double chord = std::hypot(b.x - a.x, b.z - a.z);
    int steps = std::max(1, (int)std::lround(chord / SPACING));
    double m = 1.1 * chord; // tangent length of a cubic that follows a quarter circle closely
    for (int k = 1; k <= steps; k++) {
        double t = (double)k / steps, t2 = t * t, t3 = t2 * t;
        double h00 = 2 * t3 - 3 * t2 + 1, h10 = t3 - 2 * t2 + t, h01 = -2 * t3 + 3 * t2,
               h11 = t3 - t2;
        double x = h00 * a.x + h10 * m * a.dx + h01 * b.x + h11 * m * b.dx;
        double z = h00 * a.z + h10 * m * a.dz + h01 * b.z + h11 * m * b.dz;
        out->push_back(make_point(x, z));
    }
}

// The horizontal unit direction from a to b; false when they coincide.
bool unit_along(const LinePoint& a, const LinePoint& b, double* dx, double* dz) {
    double x = b.x - a.x, z = b.z - a.z, len = std::hypot(x, z);
    if (!(len > 0)) return false;
    *dx = x / len;
    *dz = z / len;
    return true;
}

// The sharpest crest of the ground along the path around a point (1/ft, positive for a
// crest): where the ground falls away faster than a bike at speed can follow, it flies.
double crest(const LinePoint& a, const LinePoint& b) {
    double dx, dz;
    if (!unit_along(a, b, &dx, &dz)) return 0;
    double sharpest = 0;
    for (double s = -SPACING / 2; s <= SPACING / 2; s += 1) {
        auto h = [&](double d) {
            return terrain_height(&g_terrain, (float)(b.x + dx * (s + d)),
                                  (float)(b.z + dz * (s + d)));
        };
        double k = -(h(-3) - 2 * h(0) + h(3)) / 9;
        sharpest = std::max(sharpest, k);
    }
    return sharpest;
}

// The rise and fall of the ground within 10 ft either side of b along a -> b (feet): a whoop
// is a small bump among others, a jump a tall one.
double bump_height(const LinePoint& a, const LinePoint& b) {
    double dx, dz;
    if (!unit_along(a, b, &dx, &dz)) return 0;
    double low = 1e9, high = -1e9;
    for (double s = -10; s <= 10; s += 1) {
        double h = terrain_height(&g_terrain, (float)(b.x + dx * s), (float)(b.z + dz * s));
        low = std::min(low, h);
        high = std::max(high, h);
    }
    return high - low;
}

// Speeds of the points from `from` on: what the turn through each point allows at the pace,
// no faster over a crest than the crest speed at the pace (the teacher's jumps),
// then braking planned back from every slower point.
void plan_speeds(std::vector<LinePoint>* path, int from, float pace) {
    int n = (int)path->size();
    for (int i = std::max(from, 1); i + 1 < n; i++) {
        double x, z;
        circle_centre((*path)[(size_t)i - 1], (*path)[(size_t)i], (*path)[(size_t)i + 1], &x, &z);
        const LinePoint& p = (*path)[(size_t)i];
        double r = std::hypot(x - p.x, z - p.z);
        double v = pace * std::min(TOP_SPEED, std::sqrt(grip(p.x, p.z) * 32 * std::min(r, 1e6)));
        double k = crest((*path)[(size_t)i - 1], p);
        if (k > 0 && std::sqrt(CREST_G / k) < v) {
            bool whoop = bump_height((*path)[(size_t)i - 1], p) < WHOOP_HEIGHT;
            v = std::min(v, (whoop ? WHOOP_SPEED : CREST_SPEED) * pace);
        }
        (*path)[(size_t)i].speed = (float)v;
    }
    for (int i = n - 2; i >= from; i--) {
        LinePoint& p = (*path)[(size_t)i];
        const LinePoint& q = (*path)[(size_t)i + 1];
        double d = std::hypot((double)q.x - p.x, (double)q.z - p.z);
        double v = std::sqrt((double)q.speed * q.speed + 2 * BRAKING * d);
        if (p.speed > v) p.speed = (float)v;
    }
}

} // namespace

void robot_path_through_gates(int slot, int from, int to, float pace) {
    RobotRider& rb = g_robots.robots[slot];
    const Bike* b = g_session.slots[slot].bike;
    if (!b || !gates_present()) return;
    float pos[3], rot[9];
    bike_body_pose(b, BODY_FRAME, pos, rot);
    rb.path.clear();
    rb.path.push_back(make_point(pos[0], pos[2]));
    rb.path_index = 0;
    double fx = -rot[2], fz = -rot[8], h = std::hypot(fx, fz);
    GatePose at{pos[0], pos[2], h > 0 ? fx / h : 0, h > 0 ? fz / h : -1};
    for (int k = std::max(from, 0); k <= to; k++) {
        GatePose next = gate_pose(k);
        join(at, next, &rb.path);
        at = next;
    }
    plan_speeds(&rb.path, 0, pace);
}

void robot_path_append_gates(int slot, int from, int to, float pace) {
    RobotRider& rb = g_robots.robots[slot];
    if (!gates_present() || rb.path.empty()) {
        robot_path_through_gates(slot, from, to, pace);
        return;
    }
    size_t n = rb.path.size();
    GatePose at{rb.path[n - 1].x, rb.path[n - 1].z, 0, -1};
    if (n >= 2) {
        double dx = rb.path[n - 1].x - rb.path[n - 2].x, dz = rb.path[n - 1].z - rb.path[n - 2].z;
        double h = std::hypot(dx, dz);
        if (h > 0) at = GatePose{at.x, at.z, dx / h, dz / h};
    }
    int first = (int)n;
    for (int k = std::max(from, 0); k <= to; k++) {
        GatePose next = gate_pose(k);
        join(at, next, &rb.path);
        at = next;
    }
    plan_speeds(&rb.path, std::max(first - 1, 0), pace);
}

void robot_path_pull_off(int slot) {
    RobotRider& rb = g_robots.robots[slot];
    size_t n = rb.path.size();
    if (n < 2) return;
    const LinePoint& last = rb.path[n - 1];
    double dx = last.x - rb.path[n - 2].x, dz = last.z - rb.path[n - 2].z;
    double h = std::hypot(dx, dz);
    if (!(h > 0)) return;
    dx /= h;
    dz /= h;
    // Clear of the track: beyond the half width of the last gate passed (the gates span the
    // track), out to either side by slot so that finished riders do not all heap up in one
    // spot, and curving off rather than turning square.
    int passed = g_session.slots[slot].gates_passed;
    int gate = gates_sequence_gate(std::max(passed - 1, 0));
    double radius = gate >= 0 && gate < (int)g_gates.gates.size()
                        ? std::clamp((double)g_gates.gates[(size_t)gate].radius, 10.0, 80.0)
                        : 30.0;
    double side = slot % 2 ? 1 : -1, out = radius + 12 + 6 * (slot / 2 % 4);
    double rx = -dz * side, rz = dx * side; // toward the chosen side
    double ox = dx + 2 * rx, oz = dz + 2 * rz, oh = std::hypot(ox, oz);
    GatePose from{last.x, last.z, dx, dz};
    GatePose to{last.x + dx * out + rx * out, last.z + dz * out + rz * out, ox / oh, oz / oh};
    join(from, to, &rb.path);
    for (size_t k = n; k < rb.path.size(); k++) rb.path[k].speed = (float)PULL_OFF_SPEED;
}

void robot_teacher_drive(int slot, float pace) {
    if (slot < 0 || slot >= MAX_RIDERS || !g_session.slots[slot].bike || !gates_present()) return;
    RobotRider& rb = g_robots.robots[slot];
    rb.teacher = 1;
    robot_advance(slot);
    // Keep forty points of path ahead: next_segment counts the sequence positions joined on.
    if (rb.path.empty()) {
        const Bike* b = g_session.slots[slot].bike;
        float pos[3], rot[9];
        bike_body_pose(b, BODY_FRAME, pos, rot);
        rb.path.push_back(make_point(pos[0], pos[2]));
        rb.path_index = 0;
        rb.next_segment = std::max(g_session.slots[slot].gates_passed, 0);
        double fx = -rot[2], fz = -rot[8], h = std::hypot(fx, fz);
        rb.teach_from[0] = pos[0];
        rb.teach_from[1] = pos[2];
        rb.teach_from[2] = (float)(h > 0 ? fx / h : 0);
        rb.teach_from[3] = (float)(h > 0 ? fz / h : -1);
    }
    while ((int)rb.path.size() - rb.path_index < 40) {
        GatePose to = gate_pose(rb.next_segment);
        int first = (int)rb.path.size();
        GatePose from{rb.teach_from[0], rb.teach_from[1], rb.teach_from[2], rb.teach_from[3]};
        join(from, to, &rb.path);
        rb.teach_from[0] = (float)to.x;
        rb.teach_from[1] = (float)to.z;
        rb.teach_from[2] = (float)to.dx;
        rb.teach_from[3] = (float)to.dz;
        rb.next_segment++;
        plan_speeds(&rb.path, std::max(rb.path_index, first - 12), pace);
    }
    robot_path_trim(slot);
    robot_control(slot);
}

void robot_airtime_tick(int slot, RideAirtime* air) {
    if (slot < 0 || slot >= MAX_RIDERS) return;
    const Bike* b = g_session.slots[slot].bike;
    if (!b) return;
    int lap = std::clamp(rider_laps(slot), 0, RideAirtime::LAPS - 1);
    bool airborne = !(b->wheels[0].depth > 0) && !(b->wheels[1].depth > 0);
    if (airborne) {
        air->run++;
        air->longest = std::max(air->longest, (float)air->run / TICKS_PER_SECOND);
    } else {
        if (air->run >= TICKS_PER_SECOND / 2) air->stretches[lap]++;
        air->run = 0;
    }
    int crashed = bike_crash_countdown(b) > 0;
    if (crashed && !air->was_crashed) air->crashes[lap]++;
    air->was_crashed = crashed;
}

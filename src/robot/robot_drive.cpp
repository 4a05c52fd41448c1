// The driving controller: every tick, before its bike step, a robot turns its path into the
// controls a rider gives (steer, throttle, brakes, clutch, gear, foot down): where it is on
// the path, how fast the path says to go there, how fast the curves and jumps ahead allow,
// who is in the way, and how much to lean.
#include <algorithm>
#include <cmath>

#include "bike/bike.h"
#include "bike/bodypose.h"
#include "bike/drivetrain.h"
#include "bike/step.h"
#include "core/maths.h"
#include "core/settings.h"
#include "platform/log.h"
#include "platform/random.h"
#include "race/session.h"
#include "robot/robot_internal.h"
#include "track/gates.h"
#include "track/surface.h"
#include "track/terrain.h"

namespace {

constexpr int STUCK_TICKS = 3 * TICKS_PER_SECOND; // no advance for 3 s: stuck
constexpr double TANGLED_FEET = 4; // frames this close (horizontally) are caught in each other
constexpr int START_WINDOW = 5 * TICKS_PER_SECOND; // the start procedure's time after the drop
constexpr int BACK_OFF_TICKS = 2 * TICKS_PER_SECOND;
// No gate passed for this long: the marshals put the robot back on the course. Gates stand
// about 100 ft apart, so a robot still racing passes one every few seconds.
constexpr int RESCUE_TICKS = 40 * TICKS_PER_SECOND;
constexpr double LEAN_GAIN = 4;      // steer per radian of lean error
constexpr double ROLL_DAMPING = 1.0; // steer per radian per second of roll rate
constexpr double BARS_GAIN = 1.5;    // steer per radian of bar angle, from 30 ft/s
constexpr double PITCH_WEIGHT = 0.8; // rider lean per radian per second of pitch rate
constexpr double AIM_TIME = 1.4;     // seconds of travel to the point the robot aims at
// The share of the ground's grip a robot leans to: a bump met at the grip limit (sand, a
// rutted turn) knocks the front tyre out of what grip is left, and the bike slides down.
constexpr double GRIP_USE = 0.9;
constexpr double STEER_LIMIT = 0.55; // base limit of the steer control from the lean error
constexpr double MAX_LEAN = 1.1780972;
constexpr double FLIGHT_LEAN = 0.2;  // the most lean a robot steers for in flight
constexpr double WHEELIE_RATE = 1.5; // rad/s of the nose rising, front wheel up: throttle shut
constexpr double WHEELIE_SPEED = 20; // ft/s, below which it is (above, a take-off face)
constexpr double BRAKING = 14;       // ft/s^2 the speed cap plans to brake with toward a curve
constexpr float THROTTLE_STEP = 1.0f / 32;
// A bike this slow leaning further than LIFT_LEAN is picked up before anything else: riding
// on or paddling backwards only lays it down further, and only a foot put down at a standstill
// rights it. It is upright again below LIFT_DONE.
constexpr double LIFT_SPEED = 3;                     // ft/s
constexpr double LIFT_LEAN = 0.7;                    // radians
constexpr double LIFT_DONE = 0.35;                   // radians
constexpr int LIFT_TRY_TICKS = 4 * TICKS_PER_SECOND; // then one walk back before trying again

// What the controller reads of its bike once per tick.
struct Motion {
    float pos[3];
    float rot[9];
    float vel[3];
    double fx, fz;      // horizontal forward direction (unit)
    double speed;       // frame speed (ft/s)
    double lean;        // radians, positive to the left
    double pitch_rate;  // about the frame's own x axis, negative when the nose goes down
    double roll_rate;   // about the forward axis, positive leaning further left
    double steer_angle; // of the bars (radians)
    bool rear_down, front_down;
    float front_y, rear_y;
};

void read_motion(const Bike* b, Motion* m) {
    bike_body_pose(b, BODY_FRAME, m->pos, m->rot);
    bike_body_velocity(b, BODY_FRAME, m->vel);
    float w[3];
    bike_body_angular_velocity(b, BODY_FRAME, w);
    double x = -m->rot[2], z = -m->rot[8];
    double h = std::hypot(x, z);
    m->fx = h > 0 ? x / h : 0;
    m->fz = h > 0 ? z / h : -1;
    m->speed = std::sqrt(m->vel[0] * m->vel[0] + m->vel[1] * m->vel[1] + m->vel[2] * m->vel[2]);
    float up[3] = {m->rot[1], m->rot[4], m->rot[7]};
    float fwd[3] = {-m->rot[2], -m->rot[5], -m->rot[8]};
    m->lean = frame_lean(up, fwd);
    m->pitch_rate = w[0] * m->rot[0] + w[1] * m->rot[3] + w[2] * m->rot[6];
    // Turning about the frame's z axis (toward the rear) tips the bike to its left.
    m->roll_rate = w[0] * m->rot[2] + w[1] * m->rot[5] + w[2] * m->rot[8];
    m->front_down = b->wheels[0].depth > 0;
    m->rear_down = b->wheels[1].depth > 0;
    m->steer_angle = bike_steer_angle(b);
    float p[3], r[9];
    bike_body_pose(b, BODY_FRONT_WHEEL, p, r);
    m->front_y = p[1];
    bike_body_pose(b, BODY_REAR_WHEEL, p, r);
    m->rear_y = p[1];
}

// Rider o's frame position this tick (all riders read at the first call of a tick).
const float* frame_of_rider(int o) {
    int now = g_session.session_clock;
    if (g_robots.frames_tick != now) {
        g_robots.frames_tick = now;
        for (int k = 0; k < MAX_RIDERS; k++)
            if (const Bike* b = g_session.slots[k].bike) bike_frame_position(b, g_robots.frames[k]);
    }
    return g_robots.frames[o];
}

double horizontal(double ax, double az, double bx, double bz) {
    return std::hypot(ax - bx, az - bz);
}

// Step 2: the fractional position on the path nearest the frame, among the segments around
// path_index, counting only segments the frame faces along.
double locate(const RobotRider& rb, const Motion& m) {
    int n = (int)rb.path.size();
    if (n == 0) return 0;
    if (n == 1) return 0;
    double best = rb.path_index, best_d = 1e30;
    int lo = std::max(0, rb.path_index - 3), hi = std::min(n - 2, rb.path_index + 3);
    for (int i = lo; i <= hi; i++) {
        const LinePoint& a = rb.path[(size_t)i];
        const LinePoint& b = rb.path[(size_t)i + 1];
        double dx = b.x - a.x, dz = b.z - a.z;
        double dd = dx * dx + dz * dz;
        double t = dd > 0 ? ((m.pos[0] - a.x) * dx + (m.pos[2] - a.z) * dz) / dd : 0;
        t = std::clamp(t, 0.0, 1.0);
        double px = a.x + t * dx - m.pos[0], pz = a.z + t * dz - m.pos[2];
        double d = px * px + pz * pz;
        // A segment pointing against the way the robot faces is a poor match.
        if (dx * m.fx + dz * m.fz < 0) d += 100;
        if (d < best_d) {
            best_d = d;
            best = i + t;
        }
    }
    return best;
}

// The path at fractional position f (points interpolated; speeds as absolute values).
LinePoint path_at(const RobotRider& rb, double f) {
    int n = (int)rb.path.size();
    if (f <= 0) return rb.path[0];
    if (f >= n - 1) return rb.path[(size_t)n - 1];
    int i = (int)f;
    double t = f - i;
    const LinePoint& a = rb.path[(size_t)i];
    const LinePoint& b = rb.path[(size_t)i + 1];
    LinePoint p;
    p.x = (float)(a.x + (b.x - a.x) * t);
    p.y = (float)(a.y + (b.y - a.y) * t);
    p.z = (float)(a.z + (b.z - a.z) * t);
    p.speed = (float)(std::fabs(a.speed) + (std::fabs(b.speed) - std::fabs(a.speed)) * t);
    p.lean = (float)(a.lean + (b.lean - a.lean) * t);
    return p;
}

// Friction of the ground at (x, z) for a tyre sliding a little: the grip a lean can use.
double grip_at(float x, float z) {
    const Terrain& t = g_terrain;
    if (t.surfaces.empty()) return 1;
    int tile = terrain_tile_at(&t, x, z);
    if (tile < 0 || tile >= (int)t.surfaces.size()) return 1;
    return surface_friction(&t.surfaces[(size_t)tile], 25.0f);
}

// The ground's side slope across the direction (fx, fz) at (x, z): positive when the ground
// rises to the right, which lets a left turn lean further (radians).
double side_slope(float x, float z, double fx, double fz) {
    // The bike's right is forward x up = (-fz, 0, fx) for a forward (fx, 0, fz).
    double rx = -fz, rz = fx;
    float hr = terrain_height(&g_terrain, (float)(x + 2 * rx), (float)(z + 2 * rz));
    float hl = terrain_height(&g_terrain, (float)(x - 2 * rx), (float)(z - 2 * rz));
    return std::atan2((double)hr - hl, 4.0);
}

// Radius of the path's turn at point i (from points i-1, i, i+1), and its sign: positive for
// a left turn. 1e9 where the path runs straight.
double turn_radius(const RobotRider& rb, int i, int* left) {
    int n = (int)rb.path.size();
    *left = 0;
    if (i < 1 || i + 1 >= n) return 1e9;
    const LinePoint& a = rb.path[(size_t)i - 1];
    const LinePoint& b = rb.path[(size_t)i];
    const LinePoint& c = rb.path[(size_t)i + 1];
    double x, z;
    circle_centre(a, b, c, &x, &z);
    double r = horizontal(x, z, b.x, b.z);
    // A left turn has its centre to the left of the direction a -> c, which is (dz, -dx).
    double dx = c.x - a.x, dz = c.z - a.z;
    *left = dz * (x - b.x) - dx * (z - b.z) > 0;
    return r > 1e9 ? 1e9 : r;
}

// The lean the ground allows for a turn to `left`, from the grip's own lean (`base`) and the
// side slope across the way.
double lean_from(double base, double slope, int left) {
    // A berm rising on the outside lets the bike lean further into the turn.
    return std::clamp(base + (left ? slope : -slope), 0.1, MAX_LEAN);
}

double grip_lean(float x, float z) {
    return std::min(std::atan(GRIP_USE * grip_at(x, z)), MAX_LEAN);
}

// The lean the ground allows at a point, measured from its side slope for a turn to `left`.
double allowed_lean(float x, float z, double fx, double fz, int left) {
    return lean_from(grip_lean(x, z), side_slope(x, z, fx, fz), left);
}

// How much of the turn a lean gives at speed v: the bike turns less than its frame's lean
// alone says (the tyres' width and slip, the rider's weight), the more the faster it goes.
// Measured on the robots' own bikes (yaw rate over the turn tan(lean) x 32 / v^2 predicts):
// about 0.95 at 30 ft/s, 0.85 at 45 and 0.7 at 60. Leaning only by the plain law, robots ran
// wide of their lines on every fast arc (on Rabbit Hill's hill top into the edge markers).
double load_factor(double v) {
    return std::clamp(1.0 - (v - 25) * 0.008, 0.7, 1.0);
}

// The speed at which a bike leaning to tan_lean follows an arc of radius r: v^2 = tan_lean x
// 32 x load(v) x r, solved by iterating from the plain law.
double turn_speed(double tan_lean, double r) {
    double a = tan_lean * 32 * r, v = std::sqrt(a);
    for (int k = 0; k < 3; k++) v = std::sqrt(a * load_factor(v));
    return v;
}

// A shift input: +1 or -1 for one tick, then 0, as a rider taps the lever.
void shift_toward(Bike* b, RobotRider& rb, int want) {
    if (rb.shift_pending) {
        bike_shift(b, 0);
        rb.shift_pending = 0;
        return;
    }
    if (want != 0) {
        bike_shift(b, want);
        rb.shift_pending = 1;
    }
}

// Gears as the bike's automatic shifting would choose them, four times a second: by the engine
// speed the rear wheel's spin gives against the bike's own shift points, not while the rear
// suspension is unloaded or the tyre slides (a shift on a landing or in a slide upsets the
// bike); but an engine held 500 rpm past the shift-up point is changed up, and one lugging
// 1000 rpm below the shift-down point changed down, even while the tyre slides, as a rider
// does on loose ground and through a sliding turn (a change up then also needs the road speed
// for it). Judged from the road speed alone, the engine speed stayed about 12% low (the tyre
// slips on dirt under power): robots never reached the shift-up point and rode on the limiter
// in first gear.
void choose_gear(Bike* b, RobotRider& rb, int slot, const Motion& m) {
    int want = 0;
    if ((g_session.session_clock + slot) % 32 == 0 && m.rear_down) {
        want = bike_shift_wanted(b);
        float rpm = bike_rpm(b);
        // The engine speed the road speed gives: in a bog the wheel spins the engine to the
        // limiter in any gear, and a change up there only digs in deeper.
        const WheelInfo& w = b->info.rear_wheel;
        double road = m.speed / (w.torus_radius + w.tube_radius) * bike_drive_ratio(b) *
                      RPM_PER_RADIAN_PER_SECOND;
        if (want == 0 && rpm > b->info.shift_up_rpm + 500 && road > 0.8 * b->info.shift_up_rpm)
            want = 1;
        if (want == 0 && rpm < b->info.shift_down_rpm - 1000 && bike_gear(b) > 0) want = -1;
    }
    shift_toward(b, rb, want);
}

// The controls all at once (each setter clamps).
void set_controls(Bike* b, float steer, float throttle, float front, float rear, float clutch,
                  float dab, float back_up) {
    bike_set_steer(b, steer);
    bike_set_throttle(b, throttle);
    bike_set_front_brake(b, front);
    bike_set_rear_brake(b, rear);
    bike_set_clutch(b, clutch);
    bike_set_dab(b, dab);
    bike_set_back_up(b, back_up);
}

// Step 5: the nearest rider ahead in the robot's way sets the speed to follow it at. Each
// bike's box runs 2 ft to each side and from 4 ft behind to one second of travel ahead.
double speed_behind_riders(int slot, const Motion& m, double target) {
    double ux = m.speed > 1 ? m.vel[0] : m.fx, uz = m.speed > 1 ? m.vel[2] : m.fz;
    double h = std::hypot(ux, uz);
    if (!(h > 0)) return target;
    ux /= h;
    uz /= h;
    double my_len = 4 + m.speed;
    double nearest = 1e30, follow = target;
    for (int o = 0; o < MAX_RIDERS; o++) {
        const Bike* other = g_session.slots[o].bike;
        if (o == slot || !other) continue;
        float v[3];
        const float* p = frame_of_rider(o);
        double dx = p[0] - m.pos[0], dz = p[2] - m.pos[2];
        if (dx * dx + dz * dz > (my_len + 80) * (my_len + 80)) continue;
        // Ahead of me (more ahead than beside) and going my way: only such a rider is mine to
        // follow; two riders side by side would otherwise each wait for the other. (Where it
        // is comes first: most riders are passed over before their motion is read.)
        double along = dx * ux + dz * uz;
        double beside = std::fabs(dx * -uz + dz * ux);
        if (along <= 2 || along < beside) continue;
        bike_body_velocity(other, BODY_FRAME, v);
        double os = std::hypot((double)v[0], (double)v[2]);
        // A rider standing or down is ridden round (or bumped), not followed: two robots
        // waiting on each other would wait for good.
        if (os < 5 || bike_crash_countdown(other) > 0) continue;
        double vx = os > 1 ? v[0] / os : ux, vz = os > 1 ? v[2] / os : uz;
        if (vx * ux + vz * uz < 0.5) continue;
        // The boxes overlap when their separation on every axis of either box is small
        // enough (both boxes centred along their own direction).
        double cx1 = (my_len - 4) / 2, len1 = (my_len + 4) / 2;
        double olen = 4 + os;
        double cx2 = (olen - 4) / 2, len2 = (olen + 4) / 2;
        double c1x = m.pos[0] + ux * cx1, c1z = m.pos[2] + uz * cx1;
        double c2x = p[0] + vx * cx2, c2z = p[2] + vz * cx2;
        double tx = c2x - c1x, tz = c2z - c1z;
        double axes[4][2] = {{ux, uz}, {-uz, ux}, {vx, vz}, {-vz, vx}};
        bool apart = false;
        for (auto& a : axes) {
            double proj = std::fabs(tx * a[0] + tz * a[1]);
            double r1 =
                len1 * std::fabs(ux * a[0] + uz * a[1]) + 2 * std::fabs(-uz * a[0] + ux * a[1]);
            double r2 =
                len2 * std::fabs(vx * a[0] + vz * a[1]) + 2 * std::fabs(-vz * a[0] + vx * a[1]);
            if (proj > r1 + r2) apart = true;
        }
        if (apart) continue;
        if (along < nearest) {
            nearest = along;
            double their = os * (vx * ux + vz * uz);
            // Close the gap to about 8 ft, no closer; never slower than a slow jog.
            follow = std::max(their + (along - 8) * 0.8, 10.0);
        }
    }
    return std::min(target, follow);
}

// Whether another bike's frame lies within `reach` feet ahead of the frame (in a 45 degree
// cone either side).
bool bike_in_front(int slot, const Motion& m, double reach) {
    for (int o = 0; o < MAX_RIDERS; o++) {
        const Bike* other = g_session.slots[o].bike;
        if (o == slot || !other) continue;
        const float* p = frame_of_rider(o);
        double dx = p[0] - m.pos[0], dz = p[2] - m.pos[2];
        double along = dx * m.fx + dz * m.fz;
        double beside = std::fabs(dx * -m.fz + dz * m.fx);
        if (along > 0 && along < reach && beside < along) return true;
    }
    return false;
}

// A robot far from its path heads back to the course: along the lane through the gates up to
// the next segment gate, whose lines it then picks from.
void find_course(int slot, RobotRider& rb) {
    // A teacher keeps its own count of the gates it has joined on: it starts its path again
    // from where it stands (next tick), through the gates from the next one to pass.
    if (rb.teacher) {
        rb.path.clear();
        rb.path_index = 0;
        rb.lost = 0;
        return;
    }
    int from = std::max(g_session.slots[slot].gates_passed, 0);
    int to = from;
    while (gates_sequence_intermediate(to) && to < from + 16) to++;
    robot_path_through_gates(slot, from, to, 0.6f);
    rb.next_segment = segment_of(to + 1);
    rb.lost = 0;
}

// The stuck behaviour: a robot that has not advanced for 3 s looks for its path again (the
// nearest point within 30 ft, or, lost, the next segment's lines from where it is); stuck again
// within 10 s, it backs off for two seconds with its foot down, the bars turned toward its path.
bool unstick(int slot, Bike* b, RobotRider& rb, const Motion& m) {
    int now = g_session.session_clock;
    // A finished robot held up on its way off the track stops where it is: sent back to the
    // course it would ride the track again among those still racing.
    if (g_session.slots[slot].finished) {
        if (now - rb.advance_tick > STUCK_TICKS) rb.path_index = (int)rb.path.size();
        return false;
    }
    // Two bikes caught in each other move as one: backing off together never parts them. The
    // robot with the higher slot holds still on both brakes while the other backs away.
    for (int o = 0; o < slot; o++) {
        const Bike* other = g_session.slots[o].bike;
        if (!other || g_robots.robots[o].recover_until <= now) continue;
        const float* p = frame_of_rider(o);
        if (horizontal(m.pos[0], m.pos[2], p[0], p[2]) > TANGLED_FEET) continue;
        set_controls(b, 0, 0, 1, 1, 0, 1, 0);
        rb.throttle = 0;
        rb.advance_tick = now;
        return true;
    }
    if (rb.recover_until > now) {
        float steer = 0;
        if (rb.path_index < (int)rb.path.size()) {
            const LinePoint& p = rb.path[(size_t)rb.path_index];
            double side = (p.x - m.pos[0]) * -m.fz + (p.z - m.pos[2]) * m.fx; // > 0: right
            steer = side > 0 ? 0.6f : -0.6f;
        }
        set_controls(b, steer, 0, 0, 0, 0, 1, 1);
        rb.throttle = 0;
        return true;
    }
    if (rb.lost) {
        find_course(slot, rb);
        rb.advance_tick = now;
    }
    if (now - rb.advance_tick <= STUCK_TICKS) return false;
    rb.stuck = 3;
    if (rb.stuck_since >= 0 && now - rb.stuck_since < 10 * TICKS_PER_SECOND) {
        // Back off, then head for the course again through its gates.
        rb.lost = 1;
        // Two robots stuck against each other back off for different times, so that one
        // gets away first.
        // A robot wedged in a pocket (a wall ahead and beside) gets out only by backing far
        // enough to aim past it: each back-off before the next gate lasts longer, up to 8 s.
        int gates = g_session.slots[slot].gates_passed;
        if (gates != rb.back_off_gate) rb.back_offs = 0;
        rb.back_off_gate = gates;
        int back_off =
            BACK_OFF_TICKS * (1 + std::min(rb.back_offs, 3)) + (slot % 4) * TICKS_PER_SECOND / 2;
        rb.back_offs++;
        rb.recover_until = now + back_off;
        rb.advance_tick = now + back_off;
        rb.stuck_since = -1;
        return true;
    }
    // The first tick of it: the controls stay as they were.
    rb.stuck_since = now;
    int nearest = -1;
    double best = 30;
    for (int i = 0; i < (int)rb.path.size(); i++) {
        double d = horizontal(m.pos[0], m.pos[2], rb.path[(size_t)i].x, rb.path[(size_t)i].z);
        if (d < best) {
            best = d;
            nearest = i;
        }
    }
    if (nearest >= 0)
        rb.path_index = std::min(nearest + 1, (int)rb.path.size());
    else
        find_course(slot, rb);
    rb.advance_tick = now;
    return true;
}

// The per-point figures of the next CAP_POINTS path points (see RobotRider), worked out again
// when the point headed for or the path's length changes, or after an eighth of a second.
void refresh_cap_points(RobotRider& rb, const Motion& m, int from, int now) {
    int n = (int)rb.path.size();
    if (rb.cap_from == from && rb.cap_size == n && now - rb.cap_time <= TICKS_PER_SECOND / 8)
        return;
    rb.cap_from = from;
    rb.cap_size = n;
    rb.cap_time = now;
    rb.cap_count = 0;
    for (int i = from; i < n && i < from + RobotRider::CAP_POINTS; i++) {
        int k = rb.cap_count++;
        const LinePoint& p = rb.path[(size_t)i];
        rb.cap_step[k] = i > from ? (float)horizontal(rb.path[(size_t)i - 1].x,
                                                      rb.path[(size_t)i - 1].z, p.x, p.z)
                                  : 0.0f;
        rb.cap_base[k] = (float)grip_lean(p.x, p.z);
        rb.cap_slope[k] = (float)side_slope(p.x, p.z, m.fx, m.fz);
        rb.cap_v2[k] = -1;
        if (i + 1 >= n || p.speed < 0) continue; // no turn at the end, no cornering in the air
        int lt;
        double r = turn_radius(rb, i, &lt);
        rb.cap_radius[k] = (float)r;
        double v_arc = turn_speed(std::tan(lean_from(rb.cap_base[k], rb.cap_slope[k], lt)), r);
        rb.cap_v2[k] = (float)(v_arc * v_arc);
    }
}

bool launching_now(int now, int start) {
    return now < start + START_WINDOW;
}

} // namespace

void robot_rider_reset(int slot) {
    RobotRider& rb = g_robots.robots[slot];
    int personality = rb.personality;
    std::vector<LinePoint> path;
    path.swap(rb.path);
    rb = RobotRider{};
    rb.personality = personality;
    path.clear();
    if (path.capacity() < 256) path.reserve(256); // upkeep then allocates only for long lines
    rb.path.swap(path);
    rb.advance_tick = g_session.session_clock;
    g_robots.frames_tick = -1; // a rider placed: read the positions afresh
    // Put back on the course in the middle of a race: on from the gates it has passed, not
    // from the first segment's lines, which start at the gate and led it back up the course.
    if (g_session.slots[slot].gates_passed > 0) find_course(slot, rb);
}

// The marshals: a racing robot that has passed no gate for RESCUE_TICKS (lost off the course
// and walled out by the edge markers, or caught in another bike for good, which the stuck
// behaviour did not mend) is put back on the course past the last gate it passed, its race
// kept. It has lost far more time than a crash costs, so it gains nothing by it; without it,
// one such robot holds the race's results back until the time limit.
void rescue_if_lost(int slot) {
    RobotRider& rb = g_robots.robots[slot];
    const RiderSlot& r = g_session.slots[slot];
    int now = g_session.session_clock;
    if (r.gates_passed != rb.gates_seen || now < g_session.start_tick || r.finished) {
        rb.gates_seen = r.gates_passed;
        rb.gates_seen_tick = now;
        return;
    }
    if (now - rb.gates_seen_tick < RESCUE_TICKS || bike_crash_countdown(r.bike) > 0) return;
    if (session_return_rider(slot) && g_settings.debug_level)
        log_printf("auto pilot: %d put back on the course after gate %d\n", slot, r.gates_passed);
    // Placed (which forgot the robot's state) or not: the next look after as long again.
    rb.gates_seen = r.gates_passed;
    rb.gates_seen_tick = now;
}

void robot_drive(int slot) {
    if (slot < 0 || slot >= MAX_RIDERS || !g_session.slots[slot].bike) return;
    rescue_if_lost(slot);
    robot_pick(slot);
    robot_control(slot);
}

void robot_control(int slot) {
    if (slot < 0 || slot >= MAX_RIDERS) return;
    Bike* b = g_session.slots[slot].bike;
    if (!b) return;
    RobotRider& rb = g_robots.robots[slot];
    int now = g_session.session_clock;
    const int start = g_session.start_tick;
    Motion m;
    read_motion(b, &m);
    // Every 10 s under --debug: where each robot is, to find the ones that stop progressing.
    if (g_settings.debug_level && now % (10 * TICKS_PER_SECOND) == 0)
        log_printf("auto pilot: %d at (%.0f %.0f) speed %.1f gear %d rpm %.0f gates %d path %d/%d "
                   "segment %d stuck %d lost %d finished %d\n",
                   slot, m.pos[0], m.pos[2], m.speed, bike_gear(b) + 1, bike_rpm(b),
                   g_session.slots[slot].gates_passed, rb.path_index, (int)rb.path.size(),
                   rb.next_segment, rb.stuck, rb.lost, g_session.slots[slot].finished);

    // Under --super-debug, twice a second: what a slow robot is doing, to see why one stays
    // slow (walking back, backing off, lifting its bike, lost, held by another).
    if (g_settings.debug_level >= 2 && now % 64 == slot % 64 && m.speed < 8)
        log_printf("auto pilot: %d slow at (%.1f %.1f) facing (%.2f %.2f) speed %.1f lean %.2f "
                   "backing %d walking %d lifting %d lost %d path %d/%d no advance %.1f s\n",
                   slot, m.pos[0], m.pos[2], m.fx, m.fz, m.speed, m.lean, rb.recover_until > now,
                   rb.turning > now, rb.lifting_since >= 0, rb.lost, rb.path_index,
                   (int)rb.path.size(), (now - rb.advance_tick) / (double)TICKS_PER_SECOND);

    // A rider on the ground waits to be put back on; that is no lack of progress.
    if (bike_crash_countdown(b) > 0) {
        // Under --debug: where and how each crash happened, to find the places robots fall.
        if (g_settings.debug_level && !rb.down_logged)
            log_printf("auto pilot: %d crashed at (%.0f %.0f) speed %.1f target %.1f lean %.2f "
                       "throttle %.2f path %d/%d segment %d\n",
                       slot, m.pos[0], m.pos[2], m.speed, rb.target_speed, m.lean, rb.throttle,
                       rb.path_index, (int)rb.path.size(), rb.next_segment);
        rb.down_logged = 1;
        rb.advance_tick = now;
        rb.throttle = 0;
        set_controls(b, 0, 0, 0, 0, 0, 0, 0);
        return;
    }

    rb.down_logged = 0;

    // Step 9, the start procedure: held at the gate in first gear on both brakes, revving,
    // until the launch a little after the gate drops.
    if (now < start + START_WINDOW) {
        if (rb.launch_tick < 0) {
            const RobotPersonality* p = robot_personality(rb.personality);
            double delay = p->launch_min + (p->launch_max - p->launch_min) * rb.launch_value / 2;
            rb.launch_tick = start + (int)(delay * TICKS_PER_SECOND);
        }
        rb.advance_tick = now;
        if (now < rb.launch_tick) {
            if (now % 32 == slot % 32) rb.rev = (float)(0.15 + 0.45 * random_unit());
            shift_toward(b, rb, bike_gear(b) > 0 ? -1 : 0);
            set_controls(b, (float)(m.lean * 2), rb.rev, 1, 1, 0, 1, 0);
            rb.throttle = rb.rev;
            return;
        }
    }

    // The race over, the robot rides on to the end of its line and then off the track:
    // stopped on the racing line, finished riders would wall in those still racing.
    if (g_session.slots[slot].finished && !rb.pulled_off &&
        rb.path_index >= (int)rb.path.size() - 2) {
        robot_path_pull_off(slot);
        rb.pulled_off = 1;
    }
    // The path ran out (the race is over for it, or no line is known): stop, foot down.
    if (rb.path.size() < 2 || rb.path_index >= (int)rb.path.size()) {
        rb.throttle = 0;
        rb.advance_tick = now;
        set_controls(b, (float)(m.lean * 2), 0, m.speed > 2 ? 0.6f : 1, 1, 0, 1, 0);
        return;
    }

    // A bike leaning over at walking pace: stand still, foot down and bars into the fall, so
    // that the foot pushes it upright. The time it takes is no lack of progress. A bike that
    // will not come up in 4 s (caught on something) is walked back a second, then tried again.
    if (m.speed < LIFT_SPEED && !launching_now(now, start) &&
        (std::fabs(m.lean) > LIFT_LEAN ||
         (rb.lifting_since >= 0 && std::fabs(m.lean) > LIFT_DONE))) {
        if (rb.lifting_since < 0) rb.lifting_since = now;
        if (now - rb.lifting_since < LIFT_TRY_TICKS) {
            rb.throttle = 0;
            rb.advance_tick = now;
            set_controls(b, m.lean >= 0 ? 1.0f : -1.0f, 0, 1, 1, 0, 1, 0);
            return;
        }
        if (now - rb.lifting_since > LIFT_TRY_TICKS + TICKS_PER_SECOND) rb.lifting_since = now;
    } else {
        rb.lifting_since = -1;
    }

    // 1.
    if (unstick(slot, b, rb, m)) return;

    // 2-3. Where the robot is, and how fast the path goes there.
    // The speed of the surrounding points; never below a jog on a path (unless a turn or a
    // rider ahead says so below), so that a robot put back on its line never crawls.
    double at = locate(rb, m);
    double target = std::max((double)path_at(rb, at).speed, 12.0);
    bool launching = now < start + START_WINDOW;
    // Off the line at full throttle: the path's first points are where the robot stood.
    if (launching) target = std::max(target, std::min(m.speed + 10, 30.0));

    // 4. The next airborne stretch within 20 points.
    int n = (int)rb.path.size();
    int from = std::clamp(rb.path_index, 0, n - 1);
    rb.air_time = 1000000;
    rb.air_distance = 0;
    float air_speed = 0;
    for (int i = from; i + 1 < n && i < from + 20; i++) {
        if (rb.path[(size_t)i].speed < 0 && rb.path[(size_t)i + 1].speed < 0) {
            const LinePoint& c = rb.path[(size_t)from];
            double d = horizontal(m.pos[0], m.pos[2], c.x, c.z);
            rb.air_time = (float)(d / std::max(m.speed, 1.0) + 0.25 * (i - from));
            rb.air_distance = (float)d;
            air_speed = std::fabs(rb.path[(size_t)i].speed);
            break;
        }
    }

    // 6. The turn ahead: aim well ahead (1.4 s of travel, at least 8 ft: a shorter reach makes
    // the bike weave on the straights), and lean for the arc from here to there.
    double reach = std::max(8.0, AIM_TIME * m.speed);
    double aim_f = at;
    LinePoint aim = path_at(rb, aim_f);
    while (aim_f < n - 1 && horizontal(m.pos[0], m.pos[2], aim.x, aim.z) < reach) {
        aim_f += 0.25;
        aim = path_at(rb, aim_f);
    }
    double ax = aim.x - m.pos[0], az = aim.z - m.pos[2];
    double ahead = ax * m.fx + az * m.fz;
    double left = ax * m.fz - az * m.fx; // > 0: the aim lies to the left
    double l2 = ahead * ahead + left * left;

    // Slow and facing well away from the path, or nose to nose with another bike: the rider
    // walks the bike back, turning it on the spot toward the path.
    if (m.speed < 6 && !launching) {
        double off = std::atan2(left, ahead);
        bool blocked = bike_in_front(slot, m, 5);
        if (std::fabs(off) > 1.0 || (blocked && std::fabs(off) > 0.2) || rb.turning > now) {
            if (rb.turning <= now) rb.turning = now + TICKS_PER_SECOND;
            rb.throttle = 0;
            set_controls(b, off > 0 ? -1.0f : 1.0f, 0, 0, 0, 0, 1, 1);
            return;
        }
    }
    double curvature = l2 > 1 ? 2 * left / l2 : 0; // of the arc through the aim, positive left
    double v = m.speed;
    // The lean whose tangent is the speed squared over the radius, over 32 x the load factor.
    const double load = load_factor(v);
    double lean_target = std::atan(v * v * curvature / (32 * load));
    // The grip limit: the lowest allowed lean under the next five points and under where the
    // frame will be in 0.25 s.
    int turn_left = curvature > 0;
    refresh_cap_points(rb, m, from, now);
    double limit = allowed_lean((float)(m.pos[0] + m.vel[0] * 0.25),
                                (float)(m.pos[2] + m.vel[2] * 0.25), m.fx, m.fz, turn_left);
    for (int k = 0; k < 5 && k < rb.cap_count; k++)
        limit = std::min(limit, lean_from(rb.cap_base[k], rb.cap_slope[k], turn_left));
    lean_target = std::clamp(lean_target, -limit, limit);

    // The cornering cap: no faster than the allowed lean carries through each turn ahead,
    // braking toward it in time. The gain drops where the path turns sharply.
    double gain = LEAN_GAIN;
    double cap = 1e9, travelled = horizontal(m.pos[0], m.pos[2], rb.path[(size_t)from].x,
                                             rb.path[(size_t)from].z);
    for (int k = 0; k < rb.cap_count; k++) {
        travelled += rb.cap_step[k];
        if (rb.cap_v2[k] < 0) continue;
        double r = rb.cap_radius[k];
        if (r < 40) gain = std::min(gain, LEAN_GAIN * std::max(r / 40, 0.5));
        cap = std::min(cap, std::sqrt(rb.cap_v2[k] + 2 * BRAKING * travelled));
    }
    if (cap < target) {
        target = cap;
        rb.cap_tick = now;
    }

    // A robot turned away from its path (after a crash, say) slows for the turn it needs.
    if (left != 0 && l2 > 1) {
        double needed = l2 / (2 * std::fabs(left));
        double v_turn = turn_speed(std::tan(limit), needed);
        if (v_turn < target) {
            target = std::max(v_turn, 12.0);
            rb.cap_tick = now;
        }
    }

    // Braking leaned over: the grip the lean takes is not there for the brakes, and the brakes
    // go on by how far the speed lies above the target. A target that drops mid-turn (a
    // tighter bit of line, the bike off its line) brakes only as hard as the lean leaves room
    // for: full braking upright, a fifth of it at the grip limit. Braked hard at a lean near
    // the limit, the front tyre let go and the bike slid down (most robot crashes in a full
    // Expert gate at Rabbit Hill).
    if (m.rear_down) {
        double used = std::fabs(m.lean) / std::max(limit, 0.1);
        double room = std::clamp(1.2 - used, 0.2, 1.0);
        target = std::max(target, v - room);
    }

    // 5.
    target = speed_behind_riders(slot, m, target);

    // 7. Slow: upright and full throttle factor; the lean comes in between 7.5 and 10 ft/s.
    double throttle_factor = 1 - 0.45 * std::clamp(std::fabs(m.lean) / 0.9, 0.0, 1.0);
    if (v < 7.5) {
        lean_target = 0;
        throttle_factor = 1;
    } else if (v < 10) {
        double f = (v - 7.5) * 0.4;
        lean_target *= f;
        throttle_factor = 1 - f * (1 - throttle_factor);
    }

    // 8. The jump ahead: throttle held, speed for the take-off, the bike upright, the bars
    // calm.
    double steer_limit = STEER_LIMIT;
    if (rb.air_time < 3) {
        double a = std::clamp((3.0 - rb.air_time) / 2, 0.0, 1.0);
        throttle_factor += (1 - throttle_factor) * a;
        double jump_speed = std::max(air_speed + 2.0, v);
        target += (jump_speed - target) * a;
        double lean_cap = PI / 2 - 1.3744469 * a;
        lean_target = std::clamp(lean_target, -lean_cap, lean_cap);
        steer_limit += (PI / 8 - steer_limit) * std::clamp((3.0 - rb.air_time) / 3, 0.0, 1.0);
    }
    // In flight, until both wheels are down again: bars straight and the lean held. In the air
    // the bike cannot turn, so the lean target swings on after the aim, and the bar angle it
    // asked for flicked the bike over as the front wheel touched down (most robot falls on
    // Stadium Cross's step-down). A wheel skipping over a bump for a few ticks is no flight.
    // (Holding the lean for a moment after the landing too cost Rabbit Hill's robots 20 s a
    // lap: its jumps land into turns.)
    if (!m.rear_down && !m.front_down)
        rb.air_ticks++;
    else if (m.rear_down && m.front_down)
        rb.air_ticks = 0;
    if (rb.air_ticks >= TICKS_PER_SECOND / 10) {
        lean_target = std::clamp(lean_target, -FLIGHT_LEAN, FLIGHT_LEAN);
        steer_limit = std::min(steer_limit, PI / 8);
    }
    rb.target_speed = (float)target;

    // Steering from the lean error, damped by the roll rate; the limit doubles when the bars
    // are to straighten the bike up.
    // The bars' own angle pulls the command back: a front wheel lightly loaded over a bump or
    // landing would otherwise swing to full lock at speed.
    double bars = BARS_GAIN * std::clamp((v - 10) / 20, 0.0, 1.0) * m.steer_angle;
    double steer = gain * (m.lean - lean_target) + ROLL_DAMPING * m.roll_rate - bars;
    // At a walk the bike turns where the bars point (the foot holds it up): the bars toward
    // the aim, fading out by 10 ft/s where leaning takes over. Without it a robot pointing
    // away from its path after a tangle rides straight on at walking pace.
    if (v < 10 && l2 > 1) {
        double toward = std::clamp(std::atan2(left, ahead) * 0.8, -0.5, 0.5);
        steer += toward * std::clamp((10 - v) / 2.5, 0.0, 1.0);
    }
    double lim = steer * m.lean > 0 ? 2 * steer_limit : steer_limit;
    steer = std::clamp(std::clamp(steer, -lim, lim), -1.0, 1.0);

    // 10. Throttle, brakes and clutch.
    double throttle = 0, front = 0, rear = 0, clutch = 1;
    bool down = bike_crash_countdown(b) >= 1;
    if (m.rear_down) {
        if (v < target - 1)
            throttle = 1;
        else if (v < target)
            throttle = 1 - (v - (target - 1));
        else
            front = rear = std::clamp(v - target, 0.0, 1.0);
        if (down) throttle = 0;
        if (bike_gear(b) >= 1)
            clutch = 1;
        else
            clutch = std::clamp((bike_rpm(b) - (b->info.shift_down_rpm - 1000)) / 1000, 0.0f, 1.0f);
    } else {
        double q = m.pitch_rate;
        if ((m.rear_y > m.front_y && q < 0) || q < -PI / 4) {
            throttle = down ? 0 : 1;
            clutch = 0.125;
        } else if (m.front_y > m.rear_y + 1 && q >= -PI / 8) {
            clutch = 0;
            rear = 1;
        } else {
            clutch = 0.125;
        }
    }

    // 11. The throttle output: after a curve capped the speed it comes back gently, otherwise
    // it eases off gently.
    float out = (float)(throttle * throttle_factor);
    if (now - rb.cap_tick <= TICKS_PER_SECOND / 8)
        out = std::min(out, rb.throttle + THROTTLE_STEP);
    else
        out = std::max(out, rb.throttle - THROTTLE_STEP);
    // Wheelie control at low speed: the front wheel off the ground with the nose still rising
    // fast under the rear wheel's drive (from a stop up a steep face, or a hard launch) and the
    // throttle is shut at once; eased off, the bike looped out backwards first (robots stopped
    // in Stadium Cross's rhythm lane did so again and again). The same signs come with a
    // take-off face, and shutting the throttle there cased the jumps (Rabbit Hill's Expert
    // robots lost 20 s a lap, Dune Bay's, which leave its lips below 20 ft/s, 18 s): not when
    // a jump is close ahead and the bike meets it near the speed it is flown at.
    bool taking_off = rb.air_time < 1.5 && v > 0.6 * air_speed;
    if (m.rear_down && !m.front_down && m.pitch_rate > WHEELIE_RATE && v < WHEELIE_SPEED &&
        !taking_off)
        out = 0;
    out = std::clamp(out, 0.0f, 1.0f);
    if (down) out = 0;
    rb.throttle = out;

    choose_gear(b, rb, slot, m);
    // A foot down while slow, and when the bike leans further than wanted at a speed where
    // the bars alone cannot lift it: the rider's foot props it up.
    bool foot = v < 10 || (v < 30 && std::fabs(m.lean) > 0.45 &&
                           std::fabs(m.lean) > std::fabs(lean_target) + 0.2);
    set_controls(b, (float)steer, out, (float)front, (float)rear, (float)clutch, foot ? 1.0f : 0.0f,
                 0);
    // The rider's weight against pitching: back when the nose drops (the front wheel caught
    // by a bump face), forward when it rises.
    bike_set_lean(b, (float)std::clamp(-PITCH_WEIGHT * m.pitch_rate, -1.0, 1.0));
}

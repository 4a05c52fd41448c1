// Small helpers shared by the drive train, the rider model and the bike step (internal to
// bike/; other subsystems use bike.h, drivetrain.h, rider.h and step.h).
#pragma once

#include <ode/ode.h>

#include <cmath>

#include "bike/bike.h"

namespace bikemath {

constexpr double PI = 3.14159265358979323846;
constexpr double H = 1.0 / 128; // one tick (s)

struct V3 {
    double x = 0, y = 0, z = 0;
};

inline V3 v3(const dReal* p) {
    return V3{p[0], p[1], p[2]};
}
inline V3 v3(const float* p) {
    return V3{p[0], p[1], p[2]};
}
inline V3 operator+(V3 a, V3 b) {
    return V3{a.x + b.x, a.y + b.y, a.z + b.z};
}
inline V3 operator-(V3 a, V3 b) {
    return V3{a.x - b.x, a.y - b.y, a.z - b.z};
}
inline V3 operator-(V3 a) {
    return V3{-a.x, -a.y, -a.z};
}
inline V3 operator*(V3 a, double s) {
    return V3{a.x * s, a.y * s, a.z * s};
}
inline V3 operator*(double s, V3 a) {
    return a * s;
}
inline double dot(V3 a, V3 b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}
inline V3 cross(V3 a, V3 b) {
    return V3{a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
inline double length2(V3 a) {
    return dot(a, a);
}
inline double length(V3 a) {
    return std::sqrt(dot(a, a));
}
inline double clampd(double v, double lo, double hi) {
    return v < lo ? lo : v > hi ? hi : v;
}
inline void store(V3 a, float out[3]) {
    out[0] = (float)a.x;
    out[1] = (float)a.y;
    out[2] = (float)a.z;
}

// Body axis i (0 x, 1 y, 2 z) in world coordinates: column i of the rotation.
inline V3 body_axis(dBodyID body, int i) {
    const dReal* r = dBodyGetRotation(body);
    return V3{r[i], r[4 + i], r[8 + i]};
}
inline V3 body_position(dBodyID body) {
    return v3(dBodyGetPosition(body));
}
inline V3 body_velocity(dBodyID body) {
    return v3(dBodyGetLinearVel(body));
}
inline V3 body_angular(dBodyID body) {
    return v3(dBodyGetAngularVel(body));
}
// World position of a point given in the body's frame.
inline V3 body_point(dBodyID body, V3 local) {
    dVector3 out;
    dBodyGetRelPointPos(body, local.x, local.y, local.z, out);
    return v3(out);
}
inline V3 body_point(dBodyID body, const float* local) {
    return body_point(body, v3(local));
}
// Velocity of a body at a world point.
inline V3 body_point_velocity(dBodyID body, V3 p) {
    dVector3 out;
    dBodyGetPointVel(body, p.x, p.y, p.z, out);
    return v3(out);
}
// A world vector in the body's frame.
inline V3 body_from_world(dBodyID body, V3 v) {
    dVector3 out;
    dBodyVectorFromWorld(body, v.x, v.y, v.z, out);
    return v3(out);
}

inline dBodyID frame_of(const Bike* bike) {
    return bike->bodies[BODY_FRAME];
}
// The frame's rest point of the rider (rider_position - frame_position) in the frame's frame.
inline V3 rider_rest_local(const Bike* bike) {
    return v3(bike->info.rider_position) - v3(bike->info.frame_position);
}
// Squared speed of the frame (ft/s squared).
inline double frame_speed2(const Bike* bike) {
    return length2(body_velocity(frame_of(bike)));
}
inline bool wheel_touches(const Bike* bike, int w) {
    return bike->wheels[w].depth > 0;
}
inline bool crashed(const Bike* bike) {
    return bike->crash_countdown > 0;
}

// Roll angle of the frame: 0 upright, positive leaning toward the bike's -x side (its left),
// from the frame's up and forward axes.
inline double frame_roll(const Bike* bike) {
    V3 u = body_axis(frame_of(bike), 1);
    V3 f = -body_axis(frame_of(bike), 2);
    double horizontal = std::sqrt(f.x * f.x + f.z * f.z);
    double o = horizontal > 0 ? (u.z * f.x - u.x * f.z) / horizontal : 0;
    return std::acos(clampd(o, -1, 1)) - PI / 2;
}

// A temporary soft contact joint of the given stiffness between two bodies (either may be 0
// for the static world) at point p, pushing body 1 along n by depth; no friction.
void soft_contact(dBodyID body1, dBodyID body2, V3 p, V3 n, double depth, double kp, double kd);
// An angular motor on one body about a world axis: angular speed vel (rad/s) with at most
// fmax (foot pound-force), for this world step only.
void body_motor(dBodyID body, V3 axis, double vel, double fmax);

} // namespace bikemath

// The race session's tick count (the clock the auto shift, walking and the rider velocity
// ring run on).
int bike_session_tick();

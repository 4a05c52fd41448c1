// Small helpers shared by the drive train, the rider model and the bike step (internal to
// bike/; other subsystems use bike.h, drivetrain.h, rider.h and step.h).
#pragma once

#include <ode/ode.h>

#include <cmath>

#include "bike/bike.h"
#include "bike/world.h"
#include "core/constants.h"
#include "core/maths.h"

// JointFeedback is ODE's dJointFeedback under our own name.
static_assert(sizeof(JointFeedback) == sizeof(dJointFeedback), "joint feedback layout");
static_assert(sizeof(dReal) == sizeof(double), "ODE in double precision");

inline dJointFeedback* ode_feedback(JointFeedback* f) {
    return reinterpret_cast<dJointFeedback*>(f);
}

namespace bike_internal {

constexpr double H = sim_tick; // one tick (s)

// Body axis i (0 x, 1 y, 2 z) in world coordinates: column i of the rotation.
inline Vec3 body_axis(dBodyID body, int i) {
    const dReal* r = dBodyGetRotation(body);
    return Vec3{r[i], r[4 + i], r[8 + i]};
}
inline Vec3 body_position(dBodyID body) {
    return vec3(dBodyGetPosition(body));
}
inline Vec3 body_velocity(dBodyID body) {
    return vec3(dBodyGetLinearVel(body));
}
inline Vec3 body_angular(dBodyID body) {
    return vec3(dBodyGetAngularVel(body));
}
// World position of a point given in the body's frame.
inline Vec3 body_point(dBodyID body, Vec3 local) {
    dVector3 out;
    dBodyGetRelPointPos(body, local.x, local.y, local.z, out);
    return vec3(out);
}
inline Vec3 body_point(dBodyID body, const float* local) {
    return body_point(body, vec3(local));
}
// Velocity of a body at a world point.
inline Vec3 body_point_velocity(dBodyID body, Vec3 p) {
    dVector3 out;
    dBodyGetPointVel(body, p.x, p.y, p.z, out);
    return vec3(out);
}
// A world vector in the body's frame.
inline Vec3 body_from_world(dBodyID body, Vec3 v) {
    dVector3 out;
    dBodyVectorFromWorld(body, v.x, v.y, v.z, out);
    return vec3(out);
}

inline dBodyID frame_of(const Bike* bike) {
    return bike->bodies[BODY_FRAME];
}
// The frame's rest point of the rider (rider_position - frame_position) in the frame's frame.
inline Vec3 rider_rest_local(const Bike* bike) {
    return vec3(bike->info.rider_position) - vec3(bike->info.frame_position);
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
    Vec3 u = body_axis(frame_of(bike), 1);
    Vec3 f = -body_axis(frame_of(bike), 2);
    double horizontal = std::sqrt(f.x * f.x + f.z * f.z);
    double o = horizontal > 0 ? (u.z * f.x - u.x * f.z) / horizontal : 0;
    return std::acos(clampd(o, -1, 1)) - PI / 2;
}

// A temporary soft contact joint of the given stiffness between two bodies (either may be 0
// for the static world) at point p, pushing body 1 along n by depth; no friction.
void soft_contact(dBodyID body1, dBodyID body2, Vec3 p, Vec3 n, double depth, double kp, double kd);
// An angular motor on one body about a world axis: angular speed vel (rad/s) with at most
// fmax (foot pound-force), for this world step only.
void body_motor(dBodyID body, Vec3 axis, double vel, double fmax);

} // namespace bike_internal

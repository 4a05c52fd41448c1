// Placing a bike from a state snapshot (demo playback, ghosts and network riders): the seven
// bodies put where the record says, the drive and crash state taken over, and velocities
// derived from the motion since the previous record so that drawing, sound and contacts with
// live bikes see a moving bike.
#include <ode/ode.h>

#include <cmath>

#include "bike/bike.h"
#include "bike/contact.h"
#include "bike/rider.h"
#include "bike/snapshot_apply.h"
#include "bike/step.h"
#include "bike/bike_internal.h"
#include "bike/world.h"

using namespace bike_internal;

namespace {

// Version 4 records place the rider along this line through its rest point: along the rider
// mount's spring axis (up and forward), half a foot either way; fraction 0.5 is the rest point.
constexpr double RIDER_LINE_HALF = 0.5;

void set_quaternion(dBodyID body, const dQuaternion q) {
    dQuaternion n = {q[0], q[1], q[2], q[3]};
    dNormalize4(n);
    dBodySetQuaternion(body, n);
}

// q_child = q_parent turned by `angle` about `axis` given in the parent's rest coordinates (the
// bike is assembled upright, so rest coordinates are the catalogue's).
void turned(const dQuaternion parent, const double axis[3], double angle, dQuaternion out) {
    dQuaternion rel;
    dQFromAxisAndAngle(rel, axis[0], axis[1], axis[2], angle);
    dQMultiply0(out, parent, rel);
}

// World point of a rest-coordinate point `p` on a body whose rest-coordinate centre is
// `centre`, now at `at` with orientation q.
Vec3 placed_point(const dVector3 at, const dQuaternion q, const float centre[3], const float p[3]) {
    dMatrix3 r;
    dQtoR(q, r);
    double d[3] = {p[0] - centre[0], p[1] - centre[1], p[2] - centre[2]};
    return Vec3{at[0] + r[0] * d[0] + r[1] * d[1] + r[2] * d[2],
                at[1] + r[4] * d[0] + r[5] * d[1] + r[6] * d[2],
                at[2] + r[8] * d[0] + r[9] * d[1] + r[10] * d[2]};
}

void place(dBodyID body, Vec3 p, const dQuaternion q) {
    dBodySetPosition(body, p.x, p.y, p.z);
    set_quaternion(body, q);
}

// Angular velocity (world, rad/s) that turns q0 into q1 in dt seconds, the shorter way.
Vec3 angular_velocity(const dQuaternion q0, const dQuaternion q1, double dt) {
    // dq = q1 * conj(q0): the world-frame rotation from q0 to q1.
    dQuaternion c = {q0[0], -q0[1], -q0[2], -q0[3]}, dq;
    dQMultiply0(dq, q1, c);
    if (dq[0] < 0)
        for (int i = 0; i < 4; i++) dq[i] = -dq[i];
    double s = std::sqrt(dq[1] * dq[1] + dq[2] * dq[2] + dq[3] * dq[3]);
    if (s < 1e-12) return Vec3{};
    double angle = 2 * std::atan2(s, dq[0]);
    double k = angle / (s * dt);
    return Vec3{dq[1] * k, dq[2] * k, dq[3] * k};
}

} // namespace

void bike_apply_snapshot(Bike* bike, const SnapshotFields* fields, int ticks) {
    const SnapshotFields& f = *fields;
    const BikeInfo& b = bike->info;
    dBodyID* bodies = bike->bodies;

    // Where the previous record put the bodies, for the velocities of step 9. Between records
    // a remote rider is extrapolated and stepped with the world; motion measured from there
    // would feed each correction back into the next velocity and grow without bound.
    dVector3 before[BIKE_BODY_COUNT];
    dQuaternion before_q[BIKE_BODY_COUNT];
    for (int i = 0; i < BIKE_BODY_COUNT; i++) {
        const dReal* p = dBodyGetPosition(bodies[i]);
        const dReal* q = dBodyGetQuaternion(bodies[i]);
        for (int k = 0; k < 3; k++)
            before[i][k] = bike->rest_from_snapshot ? bike->rest_positions[i][k] : p[k];
        for (int k = 0; k < 4; k++)
            before_q[i][k] = bike->rest_from_snapshot ? bike->rest_orientations[i][k] : q[k];
    }

    // 1. Frame.
    dQuaternion q_frame = {f.orientation[0], f.orientation[1], f.orientation[2], f.orientation[3]};
    dNormalize4(q_frame);
    dVector3 frame_at = {f.position[0], f.position[1], f.position[2]};
    place(bodies[BODY_FRAME], vec3(f.position), q_frame);

    // 2. Steering, turned about the steering axis; the steering head's anchor (the steering
    // body's own centre at rest) stays on the frame.
    double steer_axis[3] = {b.steering_position[0] - b.fork_lower_position[0],
                            b.steering_position[1] - b.fork_lower_position[1],
                            b.steering_position[2] - b.fork_lower_position[2]};
    double axis_length = std::sqrt(steer_axis[0] * steer_axis[0] + steer_axis[1] * steer_axis[1] +
                                   steer_axis[2] * steer_axis[2]);
    if (axis_length <= 0) axis_length = 1;
    for (double& a : steer_axis) a /= axis_length;
    dQuaternion q_steer;
    turned(q_frame, steer_axis, f.steer_angle, q_steer);
    Vec3 steer_at = placed_point(frame_at, q_frame, b.frame_position, b.steering_position);
    place(bodies[BODY_STEERING], steer_at, q_steer);

    // 3. Lower fork: the steering's orientation, up the fork axis as far as the fork is in (a
    // compressed fork has a negative position).
    dVector3 steer_v = {steer_at.x, steer_at.y, steer_at.z};
    Vec3 fork_rest = placed_point(steer_v, q_steer, b.steering_position, b.fork_lower_position);
    dVector3 up;
    dMatrix3 rs;
    dQtoR(q_steer, rs);
    dMultiply0_331(up, rs, steer_axis);
    Vec3 fork_at = fork_rest - Vec3{up[0], up[1], up[2]} * f.fork_position;
    place(bodies[BODY_FORK_LOWER], fork_at, q_steer);

    // 4. Swingarm, turned about its pivot on the frame.
    static const double X_AXIS[3] = {1, 0, 0};
    dQuaternion q_swing;
    turned(q_frame, X_AXIS, f.swingarm_angle, q_swing);
    Vec3 pivot = placed_point(frame_at, q_frame, b.frame_position, b.swingarm_pivot);
    dVector3 pivot_v = {pivot.x, pivot.y, pivot.z};
    Vec3 swing_at = placed_point(pivot_v, q_swing, b.swingarm_pivot, b.swingarm_position);
    place(bodies[BODY_SWINGARM], swing_at, q_swing);

    // 5. Rider: offset and orientation of its own (version 5), or along the rider line with
    // the frame's orientation (version 4).
    if (f.version == 5) {
        dQuaternion q_rider = {f.rider_orientation[0], f.rider_orientation[1],
                               f.rider_orientation[2], f.rider_orientation[3]};
        Vec3 at = vec3(f.position) + vec3(f.rider_offset);
        place(bodies[BODY_RIDER], at, q_rider);
    } else {
        double along = (f.rider_fraction - 0.5) * 2 * RIDER_LINE_HALF / std::sqrt(2.0);
        float p[3] = {b.rider_position[0], (float)(b.rider_position[1] + along),
                      (float)(b.rider_position[2] - along)};
        place(bodies[BODY_RIDER], placed_point(frame_at, q_frame, b.frame_position, p), q_frame);
    }

    // 6. Wheels on their axles. The axle hinges measure the fork's or swingarm's angle
    // against the wheel, so the wheel is turned the other way.
    dVector3 fork_v = {fork_at.x, fork_at.y, fork_at.z};
    dVector3 swing_v = {swing_at.x, swing_at.y, swing_at.z};
    dQuaternion q_wheel;
    turned(q_steer, X_AXIS, -f.wheel_angle[0], q_wheel);
    place(bodies[BODY_FRONT_WHEEL],
          placed_point(fork_v, q_steer, b.fork_lower_position, b.front_wheel.position), q_wheel);
    turned(q_swing, X_AXIS, -f.wheel_angle[1], q_wheel);
    place(bodies[BODY_REAR_WHEEL],
          placed_point(swing_v, q_swing, b.swingarm_position, b.rear_wheel.position), q_wheel);

    // 7. Drive and crash state.
    if (f.crashed) {
        if (bike->crash_countdown <= 0) {
            float feet[2][3];
            rider_foot_points(bike, feet);
            for (int side = 0; side < 2; side++)
                for (int k = 0; k < 3; k++) {
                    bike->crash_leg[side][k] = feet[side][k];
                    bike->crash_leg_velocity[side][k] = 0;
                }
        }
        bike->throttle = 0;
        bike->crash_countdown = f.crash_countdown;
    } else {
        bike->crash_countdown = 0;
        bike->gear = f.gear;
        bike->throttle = f.throttle;
    }

    // 8. The foot-down blend and the crashed legs move on as when riding.
    crash_pose_step(bike);
    if (f.raise_blend) bike->crash_blend = fminf(bike->crash_blend + 8.0f / 128, 1);
    bike->engine_speed = f.engine_speed;

    // 9. Velocities from the motion since the previous record.
    if (ticks > 0 && g_physics.clock > 0) {
        double dt = ticks * H;
        for (int i = 0; i < BIKE_BODY_COUNT; i++) {
            const dReal* p = dBodyGetPosition(bodies[i]);
            dBodySetLinearVel(bodies[i], (p[0] - before[i][0]) / dt, (p[1] - before[i][1]) / dt,
                              (p[2] - before[i][2]) / dt);
            Vec3 w = angular_velocity(before_q[i], dBodyGetQuaternion(bodies[i]), dt);
            dBodySetAngularVel(bodies[i], w.x, w.y, w.z);
        }
    }

    // 10. The place extrapolation starts from, and the next record's velocities.
    for (int i = 0; i < BIKE_BODY_COUNT; i++) {
        const dReal* p = dBodyGetPosition(bodies[i]);
        const dReal* q = dBodyGetQuaternion(bodies[i]);
        for (int k = 0; k < 3; k++) bike->rest_positions[i][k] = (float)p[k];
        for (int k = 0; k < 4; k++) bike->rest_orientations[i][k] = (float)q[k];
    }
    bike->rest_from_snapshot = 1;

    // 11. A placed bike makes no contacts: its wheels' contact records are read from the
    // ground here, so that it throws roost where its tyres are.
    for (int w = 0; w < 2; w++) bike_wheel_contact_sense(bike, w);
}

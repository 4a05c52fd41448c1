// The bike step in its fifteen steps, the suspension motors, the joint-force correction,
// snapshot-driven bikes around the world step, the control setters and the speed.
#include "bike/step.h"

#include <cmath>
#include <cstdint>
#include <cstring>

#include "bike/bike.h"
#include "bike/contact.h"
#include "bike/drivetrain.h"
#include "bike/rider.h"
#include "bike/bike_internal.h"
#include "bike/world.h"
#include "core/constants.h"
#include "platform/log.h"
#include "track/terrain.h"

using namespace bike_internal;

namespace {

constexpr double MOTOR_SPEED = 1000; // suspension motors apply their force up to this speed
constexpr double FORK_AIR_SPRING = 82.46169;
constexpr int MAX_EXTRAPOLATION = 64;
constexpr double MOTOR_TOKEN = 1.0 / 1048576; // pound-force (foot pound-force for the shock)

double fmax_of(double force) {
    return fabs(force) > MOTOR_TOKEN ? fabs(force) : MOTOR_TOKEN;
}

// A suspension force as a joint motor: ODE applies exactly `force` along the joint unless
// the joint moves at the motor's speed.
//
// A motor never goes fully slack: a force of 0 (a fully extended fork or shock) still pushes
// into the top stop with 2^-20 pound-force. ODE's exact solver fails ("LCP internal error")
// and drops every constraint force of the bike when a joint rests exactly on its stop, with
// no load and no motion, while a contact pushes the assembly against that stop; a freshly
// placed bike starts exactly so. The token force breaks that tie and is far below anything
// the bike could feel.
void force_motor(dJointID joint, bool slider, double force) {
    double vel = force >= 0 ? MOTOR_SPEED : -MOTOR_SPEED;
    double fmax = fmax_of(force);
    if (slider) {
        dJointSetSliderParam(joint, dParamVel, vel);
        dJointSetSliderParam(joint, dParamFMax, fmax);
    } else {
        dJointSetHingeParam(joint, dParamVel, vel);
        dJointSetHingeParam(joint, dParamFMax, fmax);
    }
}

float clamp_input(float v, float lo, float hi) {
    if (!(v == v)) return 0; // NaN
    return v < lo ? lo : v > hi ? hi : v;
}

bool finite3(const dReal* v) {
    return std::isfinite(v[0]) && std::isfinite(v[1]) && std::isfinite(v[2]);
}

} // namespace

// ---- Suspension ----

float bike_fork_force(const Bike* bike, float x, float r) {
    const BikeSetup& s = bike->setup;
    double T = bike->info.fork_travel;
    double d = r >= 0 ? (double)r * s.fork_rebound : (double)r * s.fork_compression;
    double h = clampd(-x, 0, T);
    double air = T + s.fork_oil;
    double F =
        ((double)s.fork_preload - x) * s.fork_spring - d + FORK_AIR_SPRING * (air / (air - h) - 1);
    // Fades in over the first 1/32 of the travel: a fully extended fork pushes with nothing.
    return (float)(F * clampd(-32 * x / T, 0, 1));
}

float bike_shock_torque(const Bike* bike, float a, float w) {
    const BikeSetup& s = bike->setup;
    double T = bike->info.swingarm_travel;
    double r0 = bike->info.shock_ratio_top, r1 = bike->info.shock_ratio_bottom;
    double u = -a / T;
    double k = (r1 - r0) * u / T;
    double g = r0 + k;                  // leverage
    double disp = r0 * u + 0.5 * k * u; // shock displacement
    double z = w >= 0 ? -w * (double)s.shock_rebound : -w * (double)s.shock_compression;
    double f = clampd(a / (-T / 32), 0, 1);
    return (float)((g * (disp + s.shock_preload) * s.shock_spring + g * g * z) * f);
}

void bike_suspension_step(Bike* bike) {
    dJointID fork = bike->joints[JOINT_FORK];
    force_motor(fork, true,
                bike_fork_force(bike, (float)dJointGetSliderPosition(fork),
                                (float)dJointGetSliderPositionRate(fork)));
    dJointID pivot = bike->joints[JOINT_SWINGARM_PIVOT];
    force_motor(pivot, false,
                bike_shock_torque(bike, (float)dJointGetHingeAngle(pivot),
                                  (float)dJointGetHingeAngleRate(pivot)));
}

// ---- Joint-force correction ----

void bike_joint_force_correction(Bike* bike) {
    if (g_physics.clock < 1 || bike->crash_countdown > 0) return;
    Vec3 pf = body_position(frame_of(bike));
    Vec3 F, T;
    for (int i = 0; i < BIKE_JOINT_COUNT; i++) {
        dJointID j = bike->joints[i];
        dBodyID b1 = dJointGetBody(j, 0), b2 = dJointGetBody(j, 1);
        if (!b1 || !b2) return; // the rider mount is off during a crash
        const JointFeedback& fb = bike->joint_feedback[i];
        Vec3 f1 = vec3(fb.f1), f2 = vec3(fb.f2);
        F = F + f1 + f2;
        T = T + vec3(fb.t1) + vec3(fb.t2) + cross(body_position(b1) - pf, f1) +
            cross(body_position(b2) - pf, f2);
    }
    dBodyAddForce(frame_of(bike), -F.x, -F.y, -F.z);
    dBodyAddTorque(frame_of(bike), -T.x, -T.y, -T.z);
}

// ---- The step ----

void bike_step(Bike* bike, int simulate) {
    if (!simulate) {
        for (dBodyID body : bike->bodies) {
            dBodySetForce(body, 0, 0, 0);
            dBodySetTorque(body, 0, 0, 0);
        }
        bike_check_finite(bike);
        return;
    }
    // A bad number from outside (setup, controls, a blown-up world step) never reaches the
    // joints made below.
    bike_check_finite(bike);
    // 1. The steering torque cap recovers after a knock.
    bike->steer_authority = fminf(bike->steer_authority + 1, 1000);
    // 2, 3. Thrown off; handling the crashed rider.
    rider_eject_check(bike);
    if (bike->crash_countdown > 0) rider_crashed_step(bike);
    // 4. Walking and holding may change these for this tick only.
    float dab = bike->dab, front_brake = bike->front_brake, rear_brake = bike->rear_brake;
    rider_walk_and_hold(bike);
    // 5. The springs that hold the rider on the seat.
    rider_springs(bike);
    // 6, 7. Fork and shock forces into their motors.
    bike_suspension_step(bike);
    // 8. Balance and steering.
    bike_balance_and_steer(bike);
    // 9. Engine, clutch, gearbox and brakes.
    bike_drive_step(bike);
    // 10. Damping the front wheel's wobble.
    steering_damping_step(bike);
    // 11. Taking back what the joints left on the assembly last step.
    bike_joint_force_correction(bike);
    // 12. The foot put down, and turning on the spot.
    dab_assist(bike);
    // 13. The controls walking and holding changed for this tick only.
    bike->dab = dab;
    bike->front_brake = front_brake;
    bike->rear_brake = rear_brake;
    // 14. The foot-down blend and the crashed legs.
    crash_pose_step(bike);
    // 15. The rider's velocity for the acceleration test four ticks on.
    store(body_velocity(bike->bodies[BODY_RIDER]), bike->rider_velocity_ring[g_physics.clock & 3]);

    bike_check_finite(bike);
}

namespace {

// A float is not finite exactly when its exponent bits are all ones; tested on the bits, the
// loop has no branch and the compiler runs it several values at a time (this runs twice a
// tick for every bike, over some two hundred values).
bool finite_all(const float* v, size_t n) {
    uint32_t bad = 0;
    for (size_t i = 0; i < n; i++) {
        uint32_t bits;
        memcpy(&bits, v + i, sizeof bits);
        bad |= (bits & 0x7f800000u) == 0x7f800000u;
    }
    return bad == 0;
}

bool bodies_finite(const Bike* bike) {
    for (dBodyID body : bike->bodies) {
        const dReal* q = dBodyGetQuaternion(body);
        if (!(finite3(dBodyGetPosition(body)) && finite3(q) && std::isfinite(q[3]) &&
              finite3(dBodyGetLinearVel(body)) && finite3(dBodyGetAngularVel(body)) &&
              finite3(dBodyGetForce(body)) && finite3(dBodyGetTorque(body))))
            return false;
    }
    return true;
}

bool state_finite(const Bike* bike) {
    const float state[] = {bike->engine_speed, bike->clutch_wind, bike->steer_authority,
                           bike->landing_damping, bike->crash_blend};
    return finite_all(state, sizeof state / sizeof state[0]) &&
           finite_all(&bike->crash_leg[0][0], 6) &&
           finite_all(&bike->crash_leg_velocity[0][0], 6) &&
           finite_all(&bike->rider_velocity_ring[0][0], 12);
}

// The controls, the setup, the assists and the driver settings: the numbers every step
// turns into forces and joint parameters.
bool inputs_finite(const Bike* bike) {
    const float controls[] = {
        bike->throttle,          bike->clutch,         bike->front_brake,
        bike->rear_brake,        bike->steer,          bike->dab,
        bike->back_up,           bike->lean,           bike->front_brake_torque,
        bike->rear_brake_torque, bike->auto_clutch_rpm};
    return finite_all(controls, sizeof controls / sizeof controls[0]) &&
           finite_all(&bike->setup.final_ratio, sizeof(BikeSetup) / sizeof(float)) &&
           finite_all(&bike->assists.leveling, sizeof(BikeAssists) / sizeof(float));
}

// Each non-finite value of `n` floats takes the value of `fallback` at its place.
void restore_floats(float* v, const float* fallback, size_t n) {
    for (size_t i = 0; i < n; i++)
        if (!std::isfinite(v[i])) v[i] = fallback[i];
}

} // namespace

int bike_check_finite(Bike* bike) {
    bool bodies = bodies_finite(bike), state = state_finite(bike), inputs = inputs_finite(bike);
    if (bodies && state && inputs) return 1;
    log_printf("Bike %d (%.20s): non-finite physics state, reset\n", bike->tag, bike->info.name);

    // Bad numbers among the settings fall back to the defaults every bike starts with (the
    // others are kept); the controls are released by the reset.
    if (!inputs) {
        Bike defaults{};
        defaults.info = bike->info;
        bike_setup_defaults(&defaults);
        restore_floats(&bike->setup.final_ratio, &defaults.setup.final_ratio,
                       sizeof(BikeSetup) / sizeof(float));
        restore_floats(&bike->assists.leveling, &defaults.assists.leveling,
                       sizeof(BikeAssists) / sizeof(float));
        restore_floats(&bike->front_brake_torque, &defaults.front_brake_torque, 3);
    }

    // Reset where the frame stood, on the ground.
    const dReal* p = dBodyGetPosition(frame_of(bike));
    bool placed = finite3(p);
    double x = placed ? p[0] : 0, z = placed ? p[2] : 0;
    bike_reset(bike);
    if (placed) {
        const float* fp = bike->info.frame_position;
        float ground = terrain_height(physics_ground(), (float)x, (float)z);
        bike_translate(bike, (float)(x - fp[0]), ground, (float)(z - fp[2]));
        for (int i = 0; i < BIKE_BODY_COUNT; i++)
            store(body_position(bike->bodies[i]), bike->rest_positions[i]);
    }
    return 0;
}

// ---- Snapshot-driven bikes ----

void bike_pre_world_step(Bike* bike) {
    bike_check_finite(bike);
    for (int i = 0; i < BIKE_BODY_COUNT; i++) {
        dBodyID body = bike->bodies[i];
        Vec3 v = body_velocity(body);
        store(v, bike->saved_linear_velocity[i]);
        store(body_angular(body), bike->saved_angular_velocity[i]);
        if (length2(v) < 0.25) dBodySetLinearVel(body, 0, 0, 0);
    }
}

void bike_post_world_step(Bike* bike) {
    for (int i = 0; i < BIKE_BODY_COUNT; i++) {
        const float* v = bike->saved_linear_velocity[i];
        const float* w = bike->saved_angular_velocity[i];
        dBodySetLinearVel(bike->bodies[i], v[0], v[1], v[2]);
        dBodySetAngularVel(bike->bodies[i], w[0], w[1], w[2]);
    }
}

void bike_extrapolate(Bike* bike, int ticks) {
    if (ticks > MAX_EXTRAPOLATION) ticks = MAX_EXTRAPOLATION;
    if (ticks < 0) ticks = 0;
    dBodyID frame = frame_of(bike);
    Vec3 move = body_velocity(frame) * (ticks * H);
    for (int i = 0; i < BIKE_BODY_COUNT; i++) {
        Vec3 p = vec3(bike->rest_positions[i]) + move;
        dBodySetPosition(bike->bodies[i], p.x, p.y, p.z);
    }
    // Out of the ground under the rear wheel's lowest point.
    Vec3 low = body_position(bike->bodies[BODY_REAR_WHEEL]) -
               body_axis(frame, 1) * (double)bike->info.rear_wheel.torus_radius;
    double ground = terrain_height(physics_ground(), (float)low.x, (float)low.z);
    if (ground > low.y) bike_translate(bike, 0, (float)(ground - low.y), 0);
    for (int w = 0; w < 2; w++) bike_wheel_contact_sense(bike, w);
}

// ---- Derived values and setters ----

float bike_speed_mph(const Bike* bike) {
    dBodyID frame = frame_of(bike);
    return (float)(-dot(body_velocity(frame), body_axis(frame, 2)) * MPH_PER_FOOT_PER_SECOND);
}

void bike_frame_pose(const Bike* bike, const float local[3], float point[3], float rotation[9],
                     float velocity[3]) {
    dBodyID frame = frame_of(bike);
    store(body_point(frame, local), point);
    const dReal* r = dBodyGetRotation(frame);
    for (int i = 0; i < 3; i++)
        for (int k = 0; k < 3; k++) rotation[3 * i + k] = (float)r[4 * i + k];
    store(body_velocity(frame), velocity);
}

void bike_set_throttle(Bike* bike, float v) {
    bike->throttle = crashed(bike) ? 0 : clamp_input(v, 0, 1);
}
void bike_set_clutch(Bike* bike, float v) {
    bike->clutch = clamp_input(v, 0, 1);
}
void bike_set_front_brake(Bike* bike, float v) {
    bike->front_brake = clamp_input(v, 0, 1);
}
void bike_set_rear_brake(Bike* bike, float v) {
    bike->rear_brake = clamp_input(v, 0, 1);
}
void bike_set_steer(Bike* bike, float v) {
    bike->steer = clamp_input(v, -1, 1);
}
void bike_set_dab(Bike* bike, float v) {
    bike->dab = crashed(bike) ? 0 : clamp_input(v, 0, 1);
}
void bike_set_back_up(Bike* bike, float v) {
    bike->back_up = crashed(bike) ? 0 : clamp_input(v, 0, 1);
}
void bike_set_lean(Bike* bike, float v) {
    bike->lean = crashed(bike) ? 0 : clamp_input(v, -1, 1);
}

void bike_hold(Bike* bike) {
    bike->front_brake = 1;
    bike->rear_brake = 1;
    bike->back_up = 0;
    bike->clutch = 0;
    bike->throttle = 0;
    bike->dab = 1;
}

void bike_set_course_point(Bike* bike, const float point[3]) {
    bike->course_point_valid = point != nullptr;
    for (int k = 0; k < 3; k++) bike->course_point[k] = point ? point[k] : 0.0f;
}

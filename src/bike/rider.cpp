// The rider on the bike and the control assists: rider springs, balance and steering,
// steering damping, walking and holding, and the dab assist.
#include "bike/rider.h"

#include <cmath>

#include "bike/bike.h"
#include "bike/contact.h"
#include "bike/bike_internal.h"
#include "bike/world.h"
#include "track/terrain.h"

using namespace bike_internal;

namespace {

constexpr double RIDER_HARD_SPRING = 2500; // both springs once the rider leaves its range
constexpr double WALK_SPEED2 = WALK_SPEED * WALK_SPEED;
constexpr double STOP_SPEED2 = STOP_SPEED * STOP_SPEED;

// Unit steering axis in world coordinates (points up and back along the steering head).
Vec3 steering_axis(const Bike* bike) {
    Vec3 axis = vec3(bike->info.steering_position) - vec3(bike->info.fork_lower_position);
    dVector3 out;
    dBodyVectorToWorld(frame_of(bike), axis.x, axis.y, axis.z, out);
    Vec3 a = vec3(out);
    return a * (1 / length(a));
}

double steering_angle(const Bike* bike) {
    return dJointGetHingeAngle(bike->joints[JOINT_STEERING_HEAD]);
}

// Arcade steering servo toward a steering hinge angle.
double steering_servo(const Bike* bike, double target) {
    double a = steering_angle(bike);
    double w = dJointGetHingeAngleRate(bike->joints[JOINT_STEERING_HEAD]);
    double c = target - a;
    double u;
    if (c < -0.25) {
        u = -1.75 - w;
    } else {
        c = fmin(c, 0.25);
        if (c >= 1.0 / 32)
            u = 8 * (c - 1.0 / 32) - w;
        else if (c <= -1.0 / 32)
            u = 8 * (c + 1.0 / 32) - w;
        else
            u = -w;
    }
    const double dead = 1.0 / 2400;
    if (fabs(u) <= dead) return 0;
    u = u > 0 ? u - dead : u + dead;
    return clampd(u * 0.5, -2.0 / 3, 2.0 / 3);
}

void arcade_balance(Bike* bike, double roll, double s, double K) {
    dBodyID frame = frame_of(bike);
    // 1, 2. The roll motor drives the lean straight to the target lean. Positive rates about
    // the frame's rear axis raise the roll angle (lean to the left), so the motor turns about
    // that axis and its speed is positive while the roll is below the target: the motor
    // then always drives toward the target.
    double m = clampd((bike->assists.roll_damping - 40) * 0.025, 0, 1);
    double T = -s * PI / 4;
    double rate = (1.5 - 0.5 * m) * fmin(fabs(roll - T), 1.0 / 16) * 16;
    body_motor(frame, body_axis(frame, 2), roll < T ? rate : -rate, 1000);

    // 3. The bars follow the front wheel's direction of travel, offset by the input.
    Vec3 axis = steering_axis(bike);
    Vec3 v = body_velocity(bike->bodies[BODY_FRONT_WHEEL]);
    Vec3 across = v - axis * dot(v, axis);
    double theta = 0;
    if (length2(across) > 1) {
        Vec3 forward = -body_axis(bike->bodies[BODY_STEERING], 2);
        forward = forward - axis * dot(forward, axis);
        theta = atan2(dot(cross(forward, across), axis), dot(forward, across));
    }
    apply_steering_torque(bike, (float)(K * steering_servo(bike, theta - 0.5 * s)));

    // 4. Yaw drag at a point 20 feet behind the frame.
    dVector3 pv;
    dBodyGetRelPointVel(frame, 0, 0, 20, pv);
    dBodyAddForceAtRelPos(frame, -0.25 * pv[0], -0.25 * pv[1], -0.25 * pv[2], 0, 0, 20);
}

// The lean range the rider accepts at speed v (squared v2), with exponent n on the walking
// part: 0 at rest, up to the roll limit at walking speed, then widening to a full turn at the
// maximum dab speed M.
double lean_range(const Bike* bike, double v2, int n) {
    const BikeAssists& as = bike->assists;
    double M2 = (double)as.max_dab_speed * as.max_dab_speed;
    if (v2 <= 0) return 0;
    if (v2 <= WALK_SPEED2) return as.roll_limit_angle * (1 - pow(1 - v2 / M2, n));
    if (v2 < M2)
        return as.roll_limit_angle + clampd((v2 - WALK_SPEED2) / (M2 - WALK_SPEED2), 0, 1) *
                                         (2 * PI - as.roll_limit_angle);
    return 2 * PI;
}

void normal_balance(Bike* bike, double roll, double s, double K) {
    const BikeAssists& as = bike->assists;
    dBodyID frame = frame_of(bike);
    double wz = body_from_world(frame, body_angular(frame)).z;
    double v = sqrt(frame_speed2(bike));

    // 1. Direct steering.
    double S = K * s * as.direct_steering;
    double Y;
    double spin = dJointGetHingeAngleRate(bike->joints[JOINT_FRONT_AXLE]);
    if (wheel_touches(bike, 0) && fabs(spin) > PI / 4) {
        // 2.1, 2.2. Roll damping, raised for a while after a landing.
        double D = wz * as.roll_damping * bike->landing_damping;
        if (bike->landing_damping > 1) {
            if (as.land_damping_falloff != 0) {
                bike->landing_damping -=
                    (float)((as.land_damping_factor - 1) * H / as.land_damping_falloff);
                if (bike->landing_damping < 1) bike->landing_damping = 1;
            } else {
                bike->landing_damping = 1;
            }
        }
        // 2.3, 2.4. Leveling, both eased off at low speed.
        double L = roll * as.leveling;
        if (v < as.slow_damping_speed) {
            double f = as.slow_damping_factor +
                       clampd(v / as.slow_damping_speed, 0, 1) * (1 - as.slow_damping_factor);
            D *= f;
            L *= f;
        }
        // 2.5. Stronger damping beyond the roll limit while the lean still grows.
        if (((wz > 0 && roll > 0) || (wz < 0 && roll < 0)) && fabs(roll) > as.roll_limit_angle)
            D *= (fabs(roll) - as.roll_limit_angle) * as.roll_limit_factor + 1;
        // 2.6.
        Y = L + D;
        // 2.7. Lean-to-steer: the input asks for a lean, the torque follows the roll rate.
        if (as.direct_steering < 1) {
            double h = lean_range(bike, v * v, 4);
            double R = (-s * h - roll) * 2.5;
            bool back_to_upright = R * roll < 0;
            double limit = back_to_upright ? 9.817477 : 3.926991;
            R = clampd(R, -limit, limit);
            double e = clampd(R - wz, -0.125, 0.125);
            double l = clampd((wz - (R - e)) * 4, -1, 1);
            S = l * K + (S - l * K) * as.direct_steering;
        }
    } else {
        // 3. In the air or barely rolling: arm the landing damping and centre the bars.
        bike->landing_damping = as.land_damping_factor;
        Y = -50 * steering_angle(bike);
    }
    // 4. The steering torque, capped by the steering authority left after a hit.
    double cap = fmin(bike->steer_authority, as.max_steering_force);
    apply_steering_torque(bike, (float)clampd((Y + S) * 1.5, -cap, cap));
}

// Turning on the spot toward the course point (dab assist step 4). Returns true when the
// foot support of steps 5 to 7 is skipped for this tick.
bool turn_on_the_spot(Bike* bike) {
    dBodyID frame = frame_of(bike);
    Vec3 f = -body_axis(frame, 2);
    Vec3 heading{f.x, 0, f.z};
    double hl = length(heading);
    if (hl <= 0) return false;
    heading = heading * (1 / hl);
    Vec3 left{heading.z, 0, -heading.x}; // the heading turned a quarter turn about +y
    Vec3 P = vec3(bike->course_point) - body_position(frame);
    P.y = 0;
    double along = dot(P, heading), side = dot(P, left);
    double torque = 320 * (double)bike->total_mass;
    Vec3 up{0, 1, 0};
    double rate = side >= 0 ? PI / 2 : -PI / 2; // positive about +y turns to the left
    if (along >= 0 || -along < 4 * fabs(side)) {
        body_motor(frame, up, rate, torque);
        for (int w = 0; w < 2; w++)
            if (wheel_touches(bike, w))
                dBodyAddForce(bike->wheels[w].body, 0, 32 * (double)bike->total_mass, 0);
        return true;
    }
    body_motor(frame, up, rate, torque * fabs(side) / (-along / 4));
    return false;
}

} // namespace

float bike_roll(const Bike* bike) {
    return (float)frame_roll(bike);
}

void apply_steering_torque(Bike* bike, float t) {
    Vec3 torque = steering_axis(bike) * (double)t;
    dBodyAddTorque(bike->bodies[BODY_FRONT_WHEEL], torque.x, torque.y, torque.z);
    dBodyAddTorque(frame_of(bike), -torque.x, -torque.y, -torque.z);
}

void push_toward_velocity(dBodyID body, float strength, const float target[3]) {
    Vec3 d = body_velocity(body) - vec3(target);
    double d2 = length2(d);
    if (d2 < 1.0 / 16) return;
    double len = sqrt(d2);
    double m = clampd((len - 0.25) * 0.8, 0, 1);
    double k = -m * strength / len;
    dBodyAddForce(body, d.x * k, 0, d.z * k);
}

void rider_springs(Bike* bike) {
    dBodyID frame = frame_of(bike), rider = bike->bodies[BODY_RIDER];
    const BikeSetup& setup = bike->setup;
    Vec3 y = body_axis(frame, 1), z = body_axis(frame, 2);
    Vec3 r = body_position(rider);
    Vec3 d = body_point(frame, rider_rest_local(bike)) - r;

    // 1. Offsets of the rider from its rest point along the frame's y and z.
    double a = dot(d, y), e = dot(d, z);

    // 2. Fore-aft: the target follows the height and the lean input.
    double F = clampd(a * (0.5 + bike->dab * 0.5) - bike->lean, -0.75, 0.75);
    double x = e - F;
    double kp, kd;
    if (e < -0.75 || e > 0.75) {
        kp = kd = RIDER_HARD_SPRING;
    } else {
        kp = setup.rider_forward_spring * 600 + fabs(x) * 100;
        kd = 0;
    }
    if (kp > 0) soft_contact(rider, frame, r, x >= 0 ? z : -z, fabs(x), kp, kd);

    // 3. Vertical: 1/8 foot above the rest point, lowered by the dab.
    double v = a + 0.125 - bike->dab * 0.5;
    if (a > 0.5 || a < -0.75) {
        kp = kd = RIDER_HARD_SPRING;
    } else {
        kp = setup.rider_vertical_spring * 400;
        kd = setup.rider_vertical_damping * 100;
    }
    if (kp + kd > 0) soft_contact(rider, frame, r, v >= 0 ? y : -y, fabs(v), kp, kd);

    // 4. The mount's suspension moves freely but damped.
    dJointID mount = bike->joints[JOINT_RIDER_MOUNT];
    dJointSetHinge2Param(mount, dParamSuspensionERP, 0);
    dJointSetHinge2Param(mount, dParamSuspensionCFM, 1 / (setup.rider_forward_damping * 30 + 5));
}

void bike_balance_and_steer(Bike* bike) {
    if (bike->crash_countdown >= 1) return;
    double roll = frame_roll(bike);
    double K = bike->assists.steering_strength;
    if (bike->flags & BIKE_ARCADE)
        arcade_balance(bike, roll, bike->steer, K);
    else
        normal_balance(bike, roll, bike->steer, K);
}

void steering_damping_step(Bike* bike) {
    dBodyID wheel = bike->bodies[BODY_FRONT_WHEEL];
    Vec3 a = body_axis(wheel, 0);
    Vec3 w = body_angular(wheel);
    Vec3 T = (a * dot(a, w) - w) * (double)bike->assists.steering_damping;
    dBodyAddTorque(wheel, T.x, T.y, T.z);
    dBodyAddTorque(frame_of(bike), -T.x, -T.y, -T.z);
}

void rider_walk_and_hold(Bike* bike) {
    dBodyID frame = frame_of(bike);
    double v2 = frame_speed2(bike);
    double M = bike->assists.max_dab_speed;
    if (bike->back_up > 0 && v2 < STOP_SPEED2) {
        // Paddling backwards once a second, the bars turning the bike.
        bike->dab = crashed(bike) ? 0 : 1;
        double p = (g_physics.clock % 128) * 0.049473900056532176;
        float target[3];
        store(body_axis(frame, 2) * (2 * (1 + sin(p))), target);
        push_toward_velocity(frame, 2000, target);
        body_motor(frame, Vec3{0, 1, 0}, -bike->steer * PI / 4, 2000);
        return;
    }
    if (!(bike->flags & BIKE_AUTO_DAB) || v2 > M * M) return;
    // Riding off under power and upright: leave the rider alone.
    if (bike->throttle != 0 && bike->clutch != 0 && v2 >= STOP_SPEED2 &&
        fabs(frame_roll(bike)) <= PI / 16)
        return;
    bike->dab = crashed(bike) ? 0 : fmaxf(bike->dab, (float)clampd(1 - sqrt(v2) / M, 0, 1));
    if (v2 < STOP_SPEED2 && (bike->throttle == 0 || bike->clutch == 0) && wheel_touches(bike, 0) &&
        wheel_touches(bike, 1)) {
        bike->front_brake = bike->rear_brake = 1;
        const float still[3] = {0, 0, 0};
        push_toward_velocity(frame, 1000, still);
    }
}

void dab_assist(Bike* bike) {
    // 1. A crashed rider's legs blend into the fallen pose.
    if (crashed(bike)) {
        bike->crash_blend = fminf(bike->crash_blend + 8.0f / 128, 1);
        return;
    }
    // 2. Only with a foot put down, and only with the ground within reach.
    if (bike->dab == 0) return;
    dBodyID frame = frame_of(bike);
    if (!wheel_touches(bike, 0)) {
        float centre[3];
        store(body_position(bike->bodies[BODY_RIDER]), centre);
        if (!sphere_touches_ground(physics_ground(), centre, bike->info.rider_position[1] + 1))
            return;
    }
    // 3. Only slow enough for the foot: within the dab speed, and walking pace or leaning far.
    const BikeAssists& as = bike->assists;
    double M = as.max_dab_speed, v2 = frame_speed2(bike);
    double roll = frame_roll(bike);
    bool both = wheel_touches(bike, 0) && wheel_touches(bike, 1);
    if (!(v2 <= M * M && (v2 <= WALK_SPEED2 || (both && fabs(roll) >= 0.5890486)))) return;
    bike->crash_blend = fminf(bike->crash_blend + 8.0f / 128, 1);
    if (bike->flags & BIKE_ARCADE) return;

    // 4. Turning on the spot toward the course.
    if (v2 < STOP_SPEED2 && fabs(roll) >= PI / 8 && fabs(roll) <= 1.0995574 &&
        bike->course_point_valid && (bike->flags & BIKE_AUTO_DAB) && bike->back_up <= 0.125) {
        if (turn_on_the_spot(bike)) return;
    }

    // 5. The foot pushes the bike back toward upright.
    double E = roll >= 0 ? -PI / 8 : PI / 8;
    if (fabs(roll) < PI / 16) E *= fabs(roll) * 16 / PI;
    double rate = body_from_world(frame, body_angular(frame)).z;
    double f = 0;
    if (E > 0 && rate < E)
        f = -400;
    else if (E < 0 && rate > E)
        f = 400;
    if (fabs(roll) < PI / 32) f *= fabs(roll) * 32 / PI;

    // 6. Within the lean the foot tolerates at this speed, only when steering into the fall.
    double e = lean_range(bike, v2, 32);
    double j = clampd((fabs(roll) - 1.25 * e) / 0.25, 0, 1);
    double sigma = E >= 0 ? -bike->steer : bike->steer;
    double i = clampd((sigma - 0.5) * 2, 0, 1);
    f *= j + i * (1 - j);

    // 7. Applied at the rider's height above the frame.
    if (f != 0) {
        if (body_axis(frame, 1).y >= 0.707) {
            dBodyAddForceAtRelPos(frame, 0, fabs(f) / 8, 0, 0, 4, 0);
            dBodyAddRelForceAtRelPos(frame, f, 0, 0, 0, 4, 0);
        } else {
            dBodyAddForceAtRelPos(frame, 0, fabs(f), 0, 0, 4, 0);
        }
    }
}

// Engine, clutch, gearbox and brakes.
#include "bike/drivetrain.h"

#include <cmath>

#include "bike/bike.h"
#include "bike/bike_internal.h"
#include "bike/world.h"

using namespace bike_internal;

namespace {

constexpr double CLUTCH_STIFFNESS = 7500; // foot pound-force per radian of wind-up
constexpr double CLUTCH_DAMPING = 0.75;
constexpr double CLUTCH_RANGE = 2000; // rpm over which the automatic clutch takes up
constexpr double SLIDE_SPEED2 = 4;    // a tyre sliding faster than 2 ft/s
constexpr int AUTO_SHIFT_PERIOD = 32; // ticks between automatic shift decisions

// The highest gear at or below `gear` that the box has (gear 0 always exists).
int existing_gear(const BikeInfo& info, int gear) {
    if (gear > BIKE_GEARS - 1) gear = BIKE_GEARS - 1;
    if (gear < 0) gear = 0;
    while (gear > 0 && !(info.gear_ratio[gear] > 0)) gear--;
    return gear;
}

// Into [-pi, pi] by one turn at most.
double wrap_once(double g) {
    if (g > PI)
        g -= 2 * PI;
    else if (g < -PI)
        g += 2 * PI;
    return g;
}

bool sliding(const Bike* bike, int w) {
    return wheel_touches(bike, w) && length2(vec3(bike->wheels[w].contact_velocity)) > SLIDE_SPEED2;
}

void brake_motor(dJointID axle, double torque) {
    dJointSetHingeParam(axle, dParamVel, 0);
    dJointSetHingeParam(axle, dParamFMax, torque);
}

} // namespace

float bike_engine_torque(const BikeInfo* info, float rpm, float throttle) {
    double x = rpm * 0.002 + 0.5;
    int i = x >= 0 ? (int)fmin(x, BIKE_TORQUE_ENTRIES - 1) : 0; // NaN lands on entry 0
    float closed = info->closed_torque[i];
    return closed + (info->open_torque[i] - closed) * throttle;
}

float bike_drive_ratio(const Bike* bike) {
    const BikeInfo& info = bike->info;
    return info.gear_ratio[existing_gear(info, bike->gear)] * info.primary_ratio *
           bike->setup.final_ratio;
}

float bike_rpm(const Bike* bike) {
    return bike->engine_speed * RPM_PER_RAD_PER_SECOND;
}

int bike_shift_wanted(const Bike* bike) {
    const BikeInfo& info = bike->info;
    dJointID rear_axle = bike->joints[JOINT_REAR_AXLE];
    dJointID pivot = bike->joints[JOINT_SWINGARM_PIVOT];
    if (!rear_axle || !pivot || !(dJointGetHingeAngle(pivot) < -0.01) || sliding(bike, 1))
        return 0;
    double wheel_rpm = dJointGetHingeAngleRate(rear_axle) * bike_drive_ratio(bike) *
                       RPM_PER_RAD_PER_SECOND;
    if (wheel_rpm < info.shift_down_rpm) return -1;
    if (wheel_rpm > info.shift_up_rpm) return 1;
    return 0;
}

void bike_drive_step(Bike* bike) {
    const BikeInfo& info = bike->info;
    dBodyID frame = bike->bodies[BODY_FRAME];
    dBodyID rear = bike->bodies[BODY_REAR_WHEEL];
    dJointID rear_axle = bike->joints[JOINT_REAR_AXLE];
    // A gear the box lacks can only come from outside (a damaged record); never divide by it.
    bike->gear = existing_gear(info, bike->gear);
    double R = bike_drive_ratio(bike);
    double w = dJointGetHingeAngleRate(rear_axle); // rear wheel spin, positive rolling forward
    double a = dJointGetHingeAngle(rear_axle);

    // 1. Automatic shifting, four times a second while the rear suspension carries load and
    // the rear tyre grips.
    if ((bike->flags & BIKE_AUTO_SHIFT) && g_physics.clock % AUTO_SHIFT_PERIOD == 0) {
        bike->gear = existing_gear(info, bike->gear + bike_shift_wanted(bike));
        R = bike_drive_ratio(bike);
    }

    // 2. Engine torque from the tables.
    double rpm = bike_rpm(bike);
    double T = bike_engine_torque(&info, (float)rpm, bike->throttle);

    // 3. Wheelie cut: no drive while only the rear wheel is down and the bike is not
    // pitching forward (engine braking still acts).
    if ((bike->flags & BIKE_WHEELIE_CUT) && !wheel_touches(bike, 0) && wheel_touches(bike, 1)) {
        double pitch_rate = body_from_world(frame, body_angular(frame)).x;
        if (pitch_rate > -0.03125) T = fmin(T, 0);
    }

    // 4. Wind-up of the clutch spring against the rear wheel's angle.
    double g = wrap_once(bike->clutch_wind - a);

    // 5. Engagement: the automatic clutch takes up between auto_clutch_rpm and 2000 above.
    double e = bike->clutch;
    if (!(rpm > bike->auto_clutch_rpm + CLUTCH_RANGE))
        e = fmin(clampd((rpm - bike->auto_clutch_rpm) / CLUTCH_RANGE, 0, 1), bike->clutch);

    // 6. Spring and damper torque; the automatic clutch only limits driving torque.
    double tau = CLUTCH_STIFFNESS * g + CLUTCH_DAMPING * (bike->engine_speed - w * R);
    if (tau < 0) e = bike->clutch;

    // 7. Slip beyond the wind-up limit.
    double L = e * (PI / 4);
    if (g > L)
        bike->clutch_wind = (float)(a + L);
    else if (g < -L)
        bike->clutch_wind = (float)(a - L);

    // 8. Drive torque to the rear wheel about its axle, reaction on the frame.
    double q = tau * e * e;
    dBodyAddRelTorque(rear, -q, 0, 0);
    dBodyAddRelTorque(frame, q, 0, 0);

    // 9. The engine's own rotation. A stalled engine is not held at 0: the first table
    // entries are positive and push it forward again.
    bike->engine_speed = (float)(bike->engine_speed + H * (T - q / R) / info.engine_inertia);

    // 10. The spring's engine end turns with the engine.
    double wind = bike->clutch_wind + H * bike->engine_speed / R;
    if (std::isfinite(wind)) wind = std::remainder(wind, 2 * PI); // into [-pi, pi]
    if (wind <= -PI) wind += 2 * PI;
    bike->clutch_wind = (float)wind;

    // 11. Front brake, released while the tyre slides (antilock) or while only the front
    // wheel is down (endo cut).
    double B = bike->front_brake_torque * bike->front_brake;
    if ((bike->flags & BIKE_FRONT_ANTILOCK) && sliding(bike, 0)) B = 0;
    if ((bike->flags & BIKE_ENDO_CUT) && wheel_touches(bike, 0) && !wheel_touches(bike, 1)) B = 0;
    brake_motor(bike->joints[JOINT_FRONT_AXLE], B);

    // 12. Rear brake.
    B = bike->rear_brake_torque * bike->rear_brake;
    if ((bike->flags & BIKE_REAR_ANTILOCK) && sliding(bike, 1)) B = 0;
    brake_motor(rear_axle, B);
}

void bike_shift(Bike* bike, int direction) {
    if (bike->crash_countdown > 0 || direction == bike->last_shift || direction < -1 ||
        direction > 1)
        return;
    bike->last_shift = direction;
    bike->gear = existing_gear(bike->info, bike->gear + direction);
}

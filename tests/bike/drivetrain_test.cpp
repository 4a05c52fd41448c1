// Engine, clutch, gearbox and brakes: torque lookup, the automatic clutch, engine braking,
// slip, wheelie cut, antilock and endo cut, automatic and manual shifting.
#include "bike/drivetrain.h"

#include "bike/world.h"
#include "bike_test_util.h"

using namespace biketest;

namespace {

constexpr double RPM = 9.549296585513721;

class Drivetrain : public BikeFixture {
  protected:
    // Engine turns per rear-wheel turn of the loaded record in gear g.
    double ratio(int g) {
        const BikeInfo& in = bike->info;
        return (double)in.gear_ratio[g] * in.primary_ratio * (in.rear_sprocket / in.front_sprocket);
    }
    // Rear wheel spinning forward at w rad/s (the axle hinge's rate).
    void rear_spin(double w) {
        dBodySetAngularVel(body(BODY_REAR_WHEEL), -w, 0, 0);
        ASSERT_NEAR(dJointGetHingeAngleRate(bike->joints[JOINT_REAR_AXLE]), w, 1e-9);
    }
    // Swingarm turned up by `angle` radians (compressed) about its pivot.
    void swingarm_compressed(double angle) {
        dMatrix3 r;
        dRFromAxisAndAngle(r, 1, 0, 0, -angle);
        dBodySetRotation(body(BODY_SWINGARM), r);
        ASSERT_NEAR(dJointGetHingeAngle(bike->joints[JOINT_SWINGARM_PIVOT]), -angle, 1e-9);
    }
};

} // namespace

TEST_F(Drivetrain, TorqueComesFromTheNearest500RpmEntryBlendedByThrottle) {
    const BikeInfo* in = &bike->info;
    // Record 0: open entries 5.. are 6.4, 7.9, 9.4, 10.8, 12.3, 13.8, 15.3; closed entry i is
    // -floor((i - 2) / 2) from entry 2 on.
    EXPECT_FLOAT_EQ(bike_engine_torque(in, 0, 0), 2);
    EXPECT_FLOAT_EQ(bike_engine_torque(in, 0, 1), 5);
    EXPECT_FLOAT_EQ(bike_engine_torque(in, 5249, 1), 13.8f); // index 10
    EXPECT_FLOAT_EQ(bike_engine_torque(in, 5251, 1), 15.3f); // index 11
    EXPECT_FLOAT_EQ(bike_engine_torque(in, 5249, 0), -4);
    EXPECT_FLOAT_EQ(bike_engine_torque(in, 5249, 0.5f), -4 + (13.8f + 4) * 0.5f);
    EXPECT_FLOAT_EQ(bike_engine_torque(in, 24500, 0), -23);
    EXPECT_FLOAT_EQ(bike_engine_torque(in, 24500, 1), -11);
    EXPECT_FLOAT_EQ(bike_engine_torque(in, 90000, 1), -11);
    EXPECT_FLOAT_EQ(bike_engine_torque(in, -3000, 0), 2); // reverse rotation reads entry 0
    EXPECT_FLOAT_EQ(bike_engine_torque(in, NAN, 0), 2);
    EXPECT_NEAR(bike_drive_ratio(bike), ratio(0), 1e-4);
}

TEST_F(Drivetrain, AutomaticClutchTakesUpBetween5000And7000Rpm) {
    bike->clutch = 1;
    bike->throttle = 0;
    const double R = ratio(0), I = bike->info.engine_inertia;
    struct Case {
        double rpm, engagement;
    } cases[] = {{4000, 0}, {6000, 0.5}, {6999, 0.9995}, {7001, 1}, {9000, 1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rpm);
        bike_reset(bike);
        bike->clutch = 1;
        clear_forces();
        double w0 = c.rpm / RPM;
        bike->engine_speed = (float)w0;
        bike->clutch_wind = 0.1f;
        double rpm = (double)bike->engine_speed * RPM;
        double e = c.engagement;
        if (rpm <= 7000) e = std::min(std::max((rpm - 5000) / 2000, 0.0), 1.0);
        double tau = 7500 * (double)0.1f + 0.75 * (double)bike->engine_speed;
        double q = tau * e * e;
        double T = bike_engine_torque(&bike->info, (float)rpm, 0);
        bike_drive_step(bike);
        expect_vec(dBodyGetTorque(body(BODY_REAR_WHEEL)), -q, 0, 0, 1e-3);
        expect_vec(dBodyGetTorque(body(BODY_FRAME)), q, 0, 0, 1e-3);
        double w1 = (double)(float)w0 + H * (T - q / R) / I;
        EXPECT_NEAR(bike->engine_speed, w1, 1e-3 * std::max(1.0, fabs(w1)));
        // The wind-up slips back to the limit e x pi/4 when it is beyond it, then advances
        // with the engine.
        double held = std::min((double)0.1f, e * PI / 4);
        EXPECT_NEAR(bike->clutch_wind, held + H * bike->engine_speed / R, 1e-4);
    }
}

TEST_F(Drivetrain, EngineBrakingPassesAtAnySpeedAndTheLeverStillCounts) {
    bike->clutch = 1;
    bike->engine_speed = (float)(1000 / RPM); // far below the automatic clutch
    bike->clutch_wind = -0.1f;
    double tau = 7500 * (double)-0.1f + 0.75 * (double)bike->engine_speed;
    ASSERT_LT(tau, 0);
    bike_drive_step(bike);
    expect_vec(dBodyGetTorque(body(BODY_REAR_WHEEL)), -tau, 0, 0, 1e-3);

    // A half-pulled lever gives a quarter of the spring torque.
    bike_reset(bike);
    clear_forces();
    bike->clutch = 0.5f;
    bike->engine_speed = (float)(1000 / RPM);
    bike->clutch_wind = -0.1f;
    bike_drive_step(bike);
    expect_vec(dBodyGetTorque(body(BODY_REAR_WHEEL)), -tau * 0.25, 0, 0, 1e-3);
}

TEST_F(Drivetrain, ClutchSlipsBeyondItsWindUpLimit) {
    bike->clutch = 1;
    bike->engine_speed = (float)(9000 / RPM);
    bike->clutch_wind = 1.0f; // beyond pi/4 with full engagement
    double tau = 7500 * 1.0 + 0.75 * (double)bike->engine_speed;
    bike_drive_step(bike);
    // The torque of this tick still comes from the full wind-up; the spring then slips back
    // to the limit and winds on with the engine.
    expect_vec(dBodyGetTorque(body(BODY_REAR_WHEEL)), -tau, 0, 0, 1e-2);
    EXPECT_NEAR(bike->clutch_wind, PI / 4 + H * bike->engine_speed / ratio(0), 1e-4);

    // Winding backwards past the limit slips the other way; wrapping keeps it in (-pi, pi].
    bike_reset(bike);
    bike->clutch = 1;
    bike->engine_speed = 0;
    bike->clutch_wind = -3.0f;
    bike_drive_step(bike);
    // Engine braking engages fully and yanks the stopped engine round.
    EXPECT_GT(bike->engine_speed, 1000);
    EXPECT_NEAR(bike->clutch_wind, -PI / 4 + H * bike->engine_speed / ratio(0), 1e-4);
    // Winding on past pi wraps by a whole turn: the rear wheel stands at 3 radians.
    dMatrix3 r;
    dRFromAxisAndAngle(r, 1, 0, 0, -3.0);
    dBodySetRotation(body(BODY_REAR_WHEEL), r);
    ASSERT_NEAR(dJointGetHingeAngle(bike->joints[JOINT_REAR_AXLE]), 3.0, 1e-9);
    bike->clutch_wind = 3.1f;
    bike->engine_speed = (float)(9000 / RPM);
    bike_drive_step(bike);
    EXPECT_NEAR(bike->clutch_wind, 3.1 + H * bike->engine_speed / ratio(0) - 2 * PI, 1e-4);
}

TEST_F(Drivetrain, WheelieCutRemovesDriveButNotEngineBraking) {
    bike->flags |= BIKE_WHEELIE_CUT;
    bike->clutch = 0; // the engine runs free: its speed shows the torque it made
    bike->throttle = 1;
    const double I = bike->info.engine_inertia;
    double w0 = (double)(float)(8000 / RPM);
    bike->engine_speed = (float)w0;
    wheels_touch(false, true);
    bike_drive_step(bike);
    EXPECT_NEAR(bike->engine_speed, w0, 1e-4); // min(T, 0) = 0

    // Closed throttle in the air still brakes the engine.
    bike->engine_speed = (float)w0;
    bike->throttle = 0;
    bike_drive_step(bike);
    double T = bike_engine_torque(&bike->info, (float)(w0 * RPM), 0);
    ASSERT_LT(T, 0);
    EXPECT_NEAR(bike->engine_speed, w0 + H * T / I, 1e-3);

    // Both wheels down: full drive.
    bike->engine_speed = (float)w0;
    bike->throttle = 1;
    wheels_touch(true, true);
    bike_drive_step(bike);
    T = bike_engine_torque(&bike->info, (float)(w0 * RPM), 1);
    EXPECT_NEAR(bike->engine_speed, w0 + H * T / I, 1e-3);

    // Pitching forward (nose dropping) lets the drive through even on the rear wheel alone.
    bike->engine_speed = (float)w0;
    wheels_touch(false, true);
    dBodySetAngularVel(body(BODY_FRAME), -0.5, 0, 0);
    bike_drive_step(bike);
    EXPECT_NEAR(bike->engine_speed, w0 + H * T / I, 1e-3);

    // Without the flag the drive always passes.
    bike->flags &= (uint8_t)~BIKE_WHEELIE_CUT;
    dBodySetAngularVel(body(BODY_FRAME), 0, 0, 0);
    bike->engine_speed = (float)w0;
    bike_drive_step(bike);
    EXPECT_NEAR(bike->engine_speed, w0 + H * T / I, 1e-3);
}

TEST_F(Drivetrain, BrakesAreAxleMotorsWithAntilockAndEndoCut) {
    dJointID front = bike->joints[JOINT_FRONT_AXLE], rear = bike->joints[JOINT_REAR_AXLE];
    ASSERT_TRUE(bike->flags & BIKE_FRONT_ANTILOCK);
    ASSERT_FALSE(bike->flags & BIKE_REAR_ANTILOCK);
    bike->front_brake = 0.6f;
    bike->rear_brake = 0.2f;
    wheels_touch(true, true);
    bike_drive_step(bike);
    EXPECT_NEAR(dJointGetHingeParam(front, dParamFMax), 250 * 0.6, 1e-4);
    EXPECT_EQ(dJointGetHingeParam(front, dParamVel), 0);
    EXPECT_NEAR(dJointGetHingeParam(rear, dParamFMax), 250 * 0.2, 1e-4);

    // A locked front wheel sliding at 3 ft/s gets no brake; at 1.9 ft/s it does.
    bike->wheels[0].contact_velocity[0] = 3;
    bike_drive_step(bike);
    EXPECT_EQ(dJointGetHingeParam(front, dParamFMax), 0);
    bike->wheels[0].contact_velocity[0] = 1.9f;
    bike_drive_step(bike);
    EXPECT_NEAR(dJointGetHingeParam(front, dParamFMax), 150, 1e-4);
    // A sliding wheel off the ground is no slide.
    bike->wheels[0].contact_velocity[0] = 3;
    wheels_touch(false, true);
    bike_drive_step(bike);
    EXPECT_NEAR(dJointGetHingeParam(front, dParamFMax), 150, 1e-4);

    // Endo cut: only the front wheel down.
    bike->wheels[0].contact_velocity[0] = 0;
    wheels_touch(true, false);
    bike_drive_step(bike);
    EXPECT_EQ(dJointGetHingeParam(front, dParamFMax), 0);
    bike->flags &= (uint8_t)~BIKE_ENDO_CUT;
    bike_drive_step(bike);
    EXPECT_NEAR(dJointGetHingeParam(front, dParamFMax), 150, 1e-4);

    // The rear slides freely unless its antilock is on.
    wheels_touch(true, true);
    bike->wheels[1].contact_velocity[2] = -5;
    bike_drive_step(bike);
    EXPECT_NEAR(dJointGetHingeParam(rear, dParamFMax), 50, 1e-4);
    bike->flags |= BIKE_REAR_ANTILOCK;
    bike_drive_step(bike);
    EXPECT_EQ(dJointGetHingeParam(rear, dParamFMax), 0);
    // Stronger brakes from the setup.
    bike->rear_brake_torque = 500;
    bike->wheels[1].contact_velocity[2] = 0;
    bike->rear_brake = 1;
    bike_drive_step(bike);
    EXPECT_NEAR(dJointGetHingeParam(rear, dParamFMax), 500, 1e-4);
}

TEST_F(Drivetrain, AutomaticShiftingFourTimesASecondUnderLoad) {
    bike->flags |= BIKE_AUTO_SHIFT;
    const BikeInfo& in = bike->info;
    physics_set_clock(64);
    swingarm_compressed(0.1);
    // Wheel rpm above the up-shift speed in first gear.
    rear_spin((in.shift_up_rpm + 100) / (ratio(0) * RPM));
    bike_drive_step(bike);
    EXPECT_EQ(bike->gear, 1);
    // Only on multiples of 32 ticks.
    physics_set_clock(65);
    rear_spin((in.shift_up_rpm + 100) / (ratio(1) * RPM));
    bike_drive_step(bike);
    EXPECT_EQ(bike->gear, 1);
    physics_set_clock(96);
    bike_drive_step(bike);
    EXPECT_EQ(bike->gear, 2);
    // Between the thresholds nothing changes; below the down-shift speed one gear down.
    physics_set_clock(128);
    rear_spin(10000 / (ratio(2) * RPM));
    bike_drive_step(bike);
    EXPECT_EQ(bike->gear, 2);
    physics_set_clock(160);
    rear_spin((in.shift_down_rpm - 100) / (ratio(2) * RPM));
    bike_drive_step(bike);
    EXPECT_EQ(bike->gear, 1);
    // Not while the rear tyre slides.
    physics_set_clock(192);
    bike->wheels[1].depth = 0.05f;
    bike->wheels[1].contact_velocity[2] = 2.5f;
    rear_spin((in.shift_up_rpm + 100) / (ratio(1) * RPM));
    bike_drive_step(bike);
    EXPECT_EQ(bike->gear, 1);
    // Nor with the rear suspension unloaded.
    bike->wheels[1].contact_velocity[2] = 0;
    swingarm_compressed(0.005);
    bike_drive_step(bike);
    EXPECT_EQ(bike->gear, 1);
    swingarm_compressed(0.1);
    bike_drive_step(bike);
    EXPECT_EQ(bike->gear, 2);
    // A five-speed box stays in fifth; first gear never goes lower.
    bike->gear = 4;
    physics_set_clock(224);
    rear_spin((in.shift_up_rpm + 100) / (ratio(4) * RPM));
    bike_drive_step(bike);
    EXPECT_EQ(bike->gear, 4);
    bike->gear = 0;
    physics_set_clock(256);
    rear_spin(0);
    bike_drive_step(bike);
    EXPECT_EQ(bike->gear, 0);
}

TEST_F(Drivetrain, ManualShiftChangesOneGearPerInput) {
    bike_shift(bike, 1);
    EXPECT_EQ(bike->gear, 1);
    bike_shift(bike, 1); // held: no further change
    EXPECT_EQ(bike->gear, 1);
    bike_shift(bike, 0);
    bike_shift(bike, 1);
    EXPECT_EQ(bike->gear, 2);
    bike_shift(bike, -1);
    EXPECT_EQ(bike->gear, 1);
    bike_shift(bike, 2); // out of range: ignored, and not remembered
    EXPECT_EQ(bike->last_shift, -1);
    bike_shift(bike, 0);
    bike_shift(bike, -1);
    bike_shift(bike, 0);
    bike_shift(bike, -1);
    EXPECT_EQ(bike->gear, 0);
    // Up from fifth on a five-speed bike stays in fifth.
    bike->gear = 4;
    bike_shift(bike, 0);
    bike_shift(bike, 1);
    EXPECT_EQ(bike->gear, 4);
    // No shifting while crashed.
    bike->crash_countdown = 10;
    bike_shift(bike, 0);
    bike_shift(bike, -1);
    EXPECT_EQ(bike->gear, 4);
    EXPECT_EQ(bike->last_shift, 1);
}

TEST_F(Drivetrain, SixSpeedBoxReachesSixthGear) {
    Bike* kx = bike_load("kx125", 2, "9", nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(kx, nullptr);
    kx->gear = 4;
    bike_shift(kx, 1);
    EXPECT_EQ(kx->gear, 5);
    bike_shift(kx, 0);
    bike_shift(kx, 1);
    EXPECT_EQ(kx->gear, 5);
    EXPECT_NEAR(bike_rpm(kx), 0, 0);
    kx->engine_speed = 1000;
    EXPECT_NEAR(bike_rpm(kx), 9549.296585513721, 1e-2);
    bike_free(kx);
}

// The bike step: suspension formulas and motors, joint-force correction, snapshot-driven
// bikes, extrapolation, speed, setters, the steering cap and the guard against non-finite
// state.
#include "bike/step.h"

#include <cfloat>
#include <cmath>

#include "bike/rider.h"
#include "bike/world.h"
#include "bike_test_util.h"

using namespace biketest;

namespace {

class Step : public BikeFixture {
  protected:
    // The fork compressed by `depth` feet: the lower fork moved up its axis.
    void fork_compressed(double depth) {
        const BikeInfo& in = bike->info;
        double y = (double)in.steering_position[1] - in.fork_lower_position[1];
        double z = (double)in.steering_position[2] - in.fork_lower_position[2];
        double l = sqrt(y * y + z * z);
        const dReal* p = dBodyGetPosition(body(BODY_FORK_LOWER));
        dBodySetPosition(body(BODY_FORK_LOWER), p[0], p[1] + depth * y / l, p[2] + depth * z / l);
        ASSERT_NEAR(dJointGetSliderPosition(bike->joints[JOINT_FORK]), -depth, 1e-9);
    }
    // Expected fork force, worked out from the setup.
    double fork_formula(double x, double r) {
        const BikeSetup& s = bike->setup;
        double T = 1.0;
        double d = r >= 0 ? r * s.fork_rebound : r * s.fork_compression;
        double h = std::min(std::max(-x, 0.0), T);
        double F = (s.fork_preload - x) * s.fork_spring - d +
                   82.46169 * ((T + s.fork_oil) / (T + s.fork_oil - h) - 1);
        return F * std::min(std::max(-32 * x / T, 0.0), 1.0);
    }
};

} // namespace

TEST_F(Step, ForkForceFollowsSpringPreloadAirAndDamping) {
    const BikeSetup& s = bike->setup;
    // Defaults: spring (510.6964 + 698.8477) / 2, preload 0.0416665, oil 0.416667.
    EXPECT_NEAR(s.fork_spring, 604.77205, 1e-3);
    // x = 0 gives nothing whatever the preload.
    EXPECT_EQ(bike_fork_force(bike, 0, 0), 0);
    EXPECT_EQ(bike_fork_force(bike, 0, -3), 0);
    // Half way: full force, spring and air.
    double F = (0.0416665 + 0.5) * 604.77205 + 82.46169 * (1.416667 / (1.416667 - 0.5) - 1);
    EXPECT_NEAR(bike_fork_force(bike, -0.5f, 0), F, 1e-2);
    // Compressing at 2 ft/s: the compression damping (60) resists.
    EXPECT_NEAR(bike_fork_force(bike, -0.5f, -2), F + 120, 1e-2);
    // Extending at 2 ft/s: the rebound damping (30) holds back.
    EXPECT_NEAR(bike_fork_force(bike, -0.5f, 2), F - 60, 1e-2);
    // Within the first 1/32 of the travel the force fades in.
    EXPECT_NEAR(bike_fork_force(bike, -1.0f / 64, 0), fork_formula(-1.0 / 64, 0), 1e-3);
    EXPECT_NEAR(bike_fork_force(bike, -1.0f / 64, 0),
                0.5 * ((0.0416665 + 1.0 / 64) * 604.77205 +
                       82.46169 * (1.416667 / (1.416667 - 1.0 / 64) - 1)),
                1e-2);
    // Past the travel the air column stops growing.
    EXPECT_NEAR(bike_fork_force(bike, -1.2f, 0), fork_formula(-1.2, 0), 1e-2);
    // More oil (a shorter air column) stiffens the end of the travel.
    bike->setup.fork_oil = 0.25f;
    EXPECT_NEAR(bike_fork_force(bike, -0.9f, 0), fork_formula(-0.9, 0), 1e-2);
    EXPECT_GT(bike_fork_force(bike, -0.9f, 0),
              (0.0416665 + 0.9) * 604.77205 + 82.46169 * (1.416667 / (1.416667 - 0.9) - 1));
}

TEST_F(Step, ShockTorqueFollowsLeverageSpringAndDamping) {
    const double T = 0.55, r0 = 0.615385, spring = (2217.4976 + 4031.814) / 2, preload = 0.0275 / 2;
    EXPECT_EQ(bike_shock_torque(bike, 0, 0), 0);
    EXPECT_EQ(bike_shock_torque(bike, 0, -1), 0);
    // Equal leverage at both ends: g = r0, s = r0 u.
    double a = -0.2, u = 0.2 / T;
    double M = r0 * (r0 * u + preload) * spring;
    EXPECT_NEAR(bike_shock_torque(bike, (float)a, 0), M, 0.05);
    EXPECT_NEAR(bike_shock_torque(bike, (float)a, -1), M + r0 * r0 * 800, 0.05);
    EXPECT_NEAR(bike_shock_torque(bike, (float)a, 1), M - r0 * r0 * 600, 0.05);
    // Fading in over the first 1/32 of the travel.
    a = -T / 64;
    u = 1.0 / 64;
    EXPECT_NEAR(bike_shock_torque(bike, (float)a, 0), 0.5 * r0 * (r0 * u + preload) * spring, 0.01);
    // Rising leverage: k = (r1 - r0) u / T, g = r0 + k, s = r0 u + k u / 2.
    bike->info.shock_ratio_bottom = 0.8f;
    a = -0.44;
    u = 0.8;
    double k = (0.8 - (double)(float)r0) * u / T, g = (double)(float)r0 + k;
    double sd = (double)(float)r0 * u + 0.5 * k * u;
    EXPECT_NEAR(bike_shock_torque(bike, (float)a, -0.5),
                g * (sd + preload) * spring + g * g * 0.5 * 800, 0.05);
}

TEST_F(Step, SuspensionMotorsCarryTheForces) {
    dJointID fork = bike->joints[JOINT_FORK], pivot = bike->joints[JOINT_SWINGARM_PIVOT];
    // Fully extended: no force but the token 2^-20 that keeps ODE's solver off a degenerate
    // stop, pushing into the top stop.
    bike_suspension_step(bike);
    EXPECT_EQ(dJointGetSliderParam(fork, dParamFMax), 1.0 / 1048576);
    EXPECT_EQ(dJointGetSliderParam(fork, dParamVel), 1000);
    EXPECT_EQ(dJointGetHingeParam(pivot, dParamFMax), 1.0 / 1048576);
    EXPECT_EQ(dJointGetHingeParam(pivot, dParamVel), 1000);
    fork_compressed(0.3);
    dMatrix3 r;
    dRFromAxisAndAngle(r, 1, 0, 0, -0.2);
    dBodySetRotation(body(BODY_SWINGARM), r);
    bike_suspension_step(bike);
    EXPECT_NEAR(dJointGetSliderParam(fork, dParamFMax), fork_formula(-0.3, 0), 1e-2);
    EXPECT_EQ(dJointGetSliderParam(fork, dParamVel), 1000);
    EXPECT_NEAR(dJointGetHingeParam(pivot, dParamFMax), bike_shock_torque(bike, -0.2f, 0), 1e-3);
    EXPECT_GT(dJointGetHingeParam(pivot, dParamFMax), 0);
    EXPECT_EQ(dJointGetHingeParam(pivot, dParamVel), 1000);
    // A fork extending fast enough to pull back gives a negative force: the motor turns.
    dBodySetLinearVel(body(BODY_FORK_LOWER), 0, -200, -100);
    double rate = dJointGetSliderPositionRate(fork);
    ASSERT_GT(rate, 0);
    double F = fork_formula(-0.3, rate);
    ASSERT_LT(F, 0);
    bike_suspension_step(bike);
    EXPECT_NEAR(dJointGetSliderParam(fork, dParamFMax), -F, 1e-2);
    EXPECT_EQ(dJointGetSliderParam(fork, dParamVel), -1000);
}

TEST_F(Step, JointForceCorrectionCancelsTheNetJointForce) {
    physics_set_clock(5);
    // Made-up feedback: forces on both bodies of each joint.
    double sum[3] = {0, 0, 0}, torque[3] = {0, 0, 0};
    const dReal* pf = dBodyGetPosition(body(BODY_FRAME));
    for (int i = 0; i < BIKE_JOINT_COUNT; i++) {
        JointFeedback& fb = bike->joint_feedback[i];
        for (int k = 0; k < 3; k++) {
            fb.f1[k] = i + k + 1;
            fb.f2[k] = -(i + 1) * 0.5 + k;
            fb.t1[k] = 0.25 * k;
            fb.t2[k] = -0.5 * i;
        }
        const dReal* p1 = dBodyGetPosition(dJointGetBody(bike->joints[i], 0));
        const dReal* p2 = dBodyGetPosition(dJointGetBody(bike->joints[i], 1));
        double r1[3], r2[3];
        for (int k = 0; k < 3; k++) {
            sum[k] += fb.f1[k] + fb.f2[k];
            torque[k] += fb.t1[k] + fb.t2[k];
            r1[k] = p1[k] - pf[k];
            r2[k] = p2[k] - pf[k];
        }
        torque[0] += r1[1] * fb.f1[2] - r1[2] * fb.f1[1] + r2[1] * fb.f2[2] - r2[2] * fb.f2[1];
        torque[1] += r1[2] * fb.f1[0] - r1[0] * fb.f1[2] + r2[2] * fb.f2[0] - r2[0] * fb.f2[2];
        torque[2] += r1[0] * fb.f1[1] - r1[1] * fb.f1[0] + r2[0] * fb.f2[1] - r2[1] * fb.f2[0];
    }
    bike_joint_force_correction(bike);
    expect_vec(dBodyGetForce(body(BODY_FRAME)), -sum[0], -sum[1], -sum[2], 1e-6);
    expect_vec(dBodyGetTorque(body(BODY_FRAME)), -torque[0], -torque[1], -torque[2], 1e-6);

    // Not on the session's first tick.
    clear_forces();
    physics_set_clock(0);
    bike_joint_force_correction(bike);
    expect_vec(dBodyGetForce(body(BODY_FRAME)), 0, 0, 0);
    // Nothing while the rider mount is detached, nor while crashed.
    physics_set_clock(5);
    bike_detach_rider_mount(bike);
    bike_joint_force_correction(bike);
    expect_vec(dBodyGetForce(body(BODY_FRAME)), 0, 0, 0);
    expect_vec(dBodyGetTorque(body(BODY_FRAME)), 0, 0, 0);
    bike_attach_rider_mount(bike);
    bike->crash_countdown = 3;
    bike_joint_force_correction(bike);
    expect_vec(dBodyGetForce(body(BODY_FRAME)), 0, 0, 0);
}

TEST_F(Step, CorrectionAddsNothingForACrashedBikeInTheFullStep) {
    physics_set_clock(10);
    rider_crash_start(bike);
    for (int i = 0; i < BIKE_JOINT_COUNT; i++)
        for (int k = 0; k < 3; k++) bike->joint_feedback[i].f1[k] = 100;
    // Compare a step with this feedback against one without: the frame's force is the same.
    Bike* twin = bike_load("crf250(2009)", 2, "8", nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(twin, nullptr);
    rider_crash_start(twin);
    bike_step(bike, 1);
    bike_step(twin, 1);
    const dReal* a = dBodyGetForce(body(BODY_FRAME));
    const dReal* b = dBodyGetForce(twin->bodies[BODY_FRAME]);
    for (int k = 0; k < 3; k++) EXPECT_NEAR(a[k], b[k], 1e-9);
    bike_free(twin);
}

TEST_F(Step, SnapshotDrivenBikesAreNeverPushedByTheirOwnForces) {
    dBodyAddForce(body(BODY_FRAME), 10, 20, 30);
    dBodyAddTorque(body(BODY_REAR_WHEEL), 1, 2, 3);
    bike->throttle = 1;
    bike->clutch = 1;
    bike_step(bike, 0);
    for (dBodyID b : bike->bodies) {
        expect_vec(dBodyGetForce(b), 0, 0, 0);
        expect_vec(dBodyGetTorque(b), 0, 0, 0);
    }
    EXPECT_EQ(bike->steer_authority, 1000);
}

TEST_F(Step, SteeringCapRecoversOnePerTick) {
    auto tick = [&] {
        bike_step(bike, 1);
        clear_forces();
        dJointGroupEmpty(g_physics.contacts);
    };
    bike->steer_authority = 20;
    tick();
    EXPECT_EQ(bike->steer_authority, 21);
    for (int i = 0; i < 379; i++) tick();
    EXPECT_EQ(bike->steer_authority, 400);
    for (int i = 0; i < 700; i++) tick();
    EXPECT_EQ(bike->steer_authority, 1000);
}

TEST_F(Step, StepRestoresTheHeldControlsAndRecordsTheRiderVelocity) {
    bike->flags |= BIKE_AUTO_DAB;
    wheels_touch(true, true);
    bike->dab = 0.25f;
    bike->front_brake = 0.1f;
    physics_set_clock(6);
    dBodySetLinearVel(body(BODY_RIDER), 0.5, -1, 2);
    bike_step(bike, 1);
    // The hold applied the brakes for the step (the axle motors show it) and put them back.
    EXPECT_NEAR(dJointGetHingeParam(bike->joints[JOINT_FRONT_AXLE], dParamFMax), 250, 1e-4);
    EXPECT_NEAR(dJointGetHingeParam(bike->joints[JOINT_REAR_AXLE], dParamFMax), 250, 1e-4);
    EXPECT_FLOAT_EQ(bike->dab, 0.25f);
    EXPECT_FLOAT_EQ(bike->front_brake, 0.1f);
    EXPECT_FLOAT_EQ(bike->rear_brake, 0);
    EXPECT_FLOAT_EQ(bike->rider_velocity_ring[2][0], 0.5f);
    EXPECT_FLOAT_EQ(bike->rider_velocity_ring[2][2], 2);
}

TEST_F(Step, SpeedIsForwardAndNegativeBackwards) {
    dBodySetLinearVel(body(BODY_FRAME), 0, 3, -10);
    EXPECT_NEAR(bike_speed_mph(bike), 10 * 0.6818181818181819, 1e-5);
    dBodySetLinearVel(body(BODY_FRAME), 0, 0, 4);
    EXPECT_NEAR(bike_speed_mph(bike), -4 * 0.6818181818181819, 1e-5);
    // Facing +x after a quarter turn to the right, moving +x is forward.
    pose(-PI / 2, 0);
    dBodySetLinearVel(body(BODY_FRAME), 8, 0, 0);
    EXPECT_NEAR(bike_speed_mph(bike), 8 * 0.6818181818181819, 1e-5);
}

TEST_F(Step, SettersClampAndHoldACrashedRidersInputs) {
    bike_set_throttle(bike, 1.5f);
    EXPECT_EQ(bike->throttle, 1);
    bike_set_throttle(bike, -0.5f);
    EXPECT_EQ(bike->throttle, 0);
    bike_set_steer(bike, -3);
    EXPECT_EQ(bike->steer, -1);
    bike_set_steer(bike, NAN);
    EXPECT_EQ(bike->steer, 0);
    bike_set_lean(bike, 2);
    EXPECT_EQ(bike->lean, 1);
    bike_set_lean(bike, -0.5f);
    EXPECT_EQ(bike->lean, -0.5f);
    bike_set_clutch(bike, 0.7f);
    EXPECT_FLOAT_EQ(bike->clutch, 0.7f);
    bike_set_front_brake(bike, 9);
    bike_set_rear_brake(bike, -9);
    EXPECT_EQ(bike->front_brake, 1);
    EXPECT_EQ(bike->rear_brake, 0);
    bike_set_dab(bike, 0.5f);
    bike_set_back_up(bike, 2);
    EXPECT_EQ(bike->dab, 0.5f);
    EXPECT_EQ(bike->back_up, 1);

    bike->crash_countdown = 100;
    bike_set_throttle(bike, 1);
    bike_set_dab(bike, 1);
    bike_set_back_up(bike, 1);
    bike_set_lean(bike, 1);
    bike_set_front_brake(bike, 0.5f);
    bike_set_steer(bike, 0.5f);
    EXPECT_EQ(bike->throttle, 0);
    EXPECT_EQ(bike->dab, 0);
    EXPECT_EQ(bike->back_up, 0);
    EXPECT_EQ(bike->lean, 0);
    EXPECT_EQ(bike->front_brake, 0.5f);
    EXPECT_EQ(bike->steer, 0.5f);
}

TEST_F(Step, NonFiniteStateIsCaughtAndTheBikeReset) {
    // Moved away from the origin, then a NaN velocity arrives.
    bike_translate(bike, 100, 0, 50);
    dBodySetLinearVel(body(BODY_REAR_WHEEL), NAN, 0, 0);
    bike->gear = 3;
    bike_step(bike, 1);
    for (dBodyID b : bike->bodies) {
        for (int k = 0; k < 3; k++) {
            EXPECT_TRUE(std::isfinite(dBodyGetPosition(b)[k]));
            EXPECT_EQ(dBodyGetLinearVel(b)[k], 0);
            EXPECT_EQ(dBodyGetForce(b)[k], 0);
        }
    }
    EXPECT_EQ(bike->gear, 0);
    // Reset where it stood.
    expect_vec(dBodyGetPosition(body(BODY_FRAME)), 100, 1.98, 53.6, 1e-5);
    EXPECT_NE(log_text().find("non-finite physics state, reset"), std::string::npos);
    // The world step that follows stays finite.
    world_step();
    EXPECT_EQ(bike_check_finite(bike), 1);

    // A position gone to infinity: reset at the catalogue place.
    dBodySetPosition(body(BODY_FRAME), INFINITY, 0, 0);
    EXPECT_EQ(bike_check_finite(bike), 0);
    expect_vec(dBodyGetPosition(body(BODY_FRAME)), 0, 1.98, 3.6, 1e-5);
    // A NaN engine speed is caught as well.
    bike->engine_speed = NAN;
    EXPECT_EQ(bike_check_finite(bike), 0);
    EXPECT_EQ(bike->engine_speed, 0);
    // The largest finite floats pass; an infinity in the last value of an array is caught.
    bike->engine_speed = FLT_MAX;
    bike->crash_blend = -FLT_MAX;
    EXPECT_EQ(bike_check_finite(bike), 1);
    bike->rider_velocity_ring[3][2] = -INFINITY;
    EXPECT_EQ(bike_check_finite(bike), 0);
    EXPECT_EQ(bike_check_finite(bike), 1);
}

TEST_F(Step, SnapshotDrivenBikesKeepTheirVelocitiesAcrossTheWorldStep) {
    bike_disable_bodies(bike);
    dBodySetLinearVel(body(BODY_FRAME), 10, 0, 0);
    dBodySetLinearVel(body(BODY_RIDER), 0.3, 0, 0); // slower than 0.5 ft/s
    dBodySetAngularVel(body(BODY_FRONT_WHEEL), -5, 0, 0);
    bike_pre_world_step(bike);
    EXPECT_EQ(dBodyGetLinearVel(body(BODY_RIDER))[0], 0);
    EXPECT_EQ(dBodyGetLinearVel(body(BODY_FRAME))[0], 10);
    dBodySetLinearVel(body(BODY_FRAME), 1, 2, 3); // whatever the step leaves
    dBodySetAngularVel(body(BODY_FRONT_WHEEL), 0, 0, 0);
    bike_post_world_step(bike);
    expect_vec(dBodyGetLinearVel(body(BODY_FRAME)), 10, 0, 0);
    expect_vec(dBodyGetLinearVel(body(BODY_RIDER)), 0.3, 0, 0, 1e-6);
    expect_vec(dBodyGetAngularVel(body(BODY_FRONT_WHEEL)), -5, 0, 0);
}

TEST_F(Step, ExtrapolationMovesAlongTheFrameVelocityAndOutOfTheGround) {
    dBodySetLinearVel(body(BODY_FRAME), 12.8, 0, -25.6);
    bike_extrapolate(bike, 10);
    for (int i = 0; i < BIKE_BODY_COUNT; i++) {
        const float* r = bike->rest_positions[i];
        expect_vec(dBodyGetPosition(body(i)), r[0] + 1, r[1], r[2] - 2, 1e-5);
    }
    // At most 64 ticks.
    bike_extrapolate(bike, 1000);
    expect_vec(dBodyGetPosition(body(BODY_FRAME)), 0 + 6.4, 1.98, 3.6 - 12.8, 1e-5);
    // Falling below the (empty, level at 0) ground: lifted so the rear wheel's lowest point
    // (centre less the torus radius 0.75) is on it.
    dBodySetLinearVel(body(BODY_FRAME), 0, -12.8, 0);
    bike_extrapolate(bike, 10);
    EXPECT_NEAR(dBodyGetPosition(body(BODY_REAR_WHEEL))[1], 0.75, 1e-5);
    EXPECT_NEAR(dBodyGetPosition(body(BODY_FRAME))[1], 1.98 + 0.75 - 1.04, 1e-5);
}

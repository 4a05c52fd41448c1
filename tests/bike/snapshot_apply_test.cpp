// Placing bikes from snapshots: a bike ridden through turns and bumps, packed and placed onto a
// second bike, puts every body where the first one's is (within the record's resolution) and
// reads the same joint angles; velocities come from the motion between records; the drive and
// crash state come across; a version 4 record keeps the rider with the frame.
#include <gtest/gtest.h>
#include <ode/ode.h>

#include <cmath>
#include <cstdlib>

#include "core/settings.h"
#include "bike/bike.h"
#include "bike/contact.h"
#include "bike/harness.h"
#include "bike/step.h"
#include "bike/world.h"
#include "data/datafile.h"
#include "data/model.h"
#include "data/shape.h"
#include "data/texture.h"
#include "platform/log.h"
#include "replay/snapshot.h"
#include "support/test_env.h"
#include "track/terrain.h"

namespace {

constexpr float CENTRE = 1024;

class SnapshotApply : public ::testing::Test {
  protected:
    Bike* rider = nullptr; // ridden by the physics
    Bike* ghost = nullptr; // placed from the rider's records

    void SetUp() override {
        log_setup(("DRUV_LOGFILE=" + test_dir() + "/log.txt").c_str());
        g_settings.headless = 1;
        setenv("QZ_HOME", VORNIX_BUILD_DIR "/data", 1);
        data_reset();
        bikes_reset();
        contacts_reset();
        harness_open();
        ASSERT_EQ(harness_flat_track(2048), 1);
        rider = harness_add_bike("crf250(2009)", CENTRE, CENTRE, 0);
        ASSERT_NE(rider, nullptr);
        // The ghost is loaded apart and never simulated: only placed.
        ghost = bike_load("crf250(2009)", 9, "9", nullptr, nullptr, nullptr, nullptr);
        ASSERT_NE(ghost, nullptr);
        bike_disable_bodies(ghost);
    }
    void TearDown() override {
        if (ghost) bike_free(ghost);
        harness_close();
        texture_reset();
        model_reset();
        shape_reset();
        contacts_reset();
        g_settings.headless = 0;
    }
    // Rides with throttle and a weave of steering, so every joint is off its rest.
    void ride(int ticks) {
        for (int t = 0; t < ticks; t++) {
            bike_set_throttle(rider, 0.6f);
            bike_set_steer(rider, 0.4f * (float)std::sin(t / 40.0));
            harness_tick();
        }
    }
    void copy(int ticks) {
        uint8_t record[SNAPSHOT_SIZE];
        snapshot_pack(rider, record);
        snapshot_apply(ghost, record, 5, ticks);
    }
};

double distance(dBodyID a, dBodyID b) {
    const dReal* p = dBodyGetPosition(a);
    const dReal* q = dBodyGetPosition(b);
    return std::sqrt((p[0] - q[0]) * (p[0] - q[0]) + (p[1] - q[1]) * (p[1] - q[1]) +
                     (p[2] - q[2]) * (p[2] - q[2]));
}

// The angle between two orientations (radians).
double turn_between(dBodyID a, dBodyID b) {
    const dReal* p = dBodyGetQuaternion(a);
    const dReal* q = dBodyGetQuaternion(b);
    double d = std::fabs(p[0] * q[0] + p[1] * q[1] + p[2] * q[2] + p[3] * q[3]);
    return 2 * std::acos(std::fmin(d, 1.0));
}

TEST_F(SnapshotApply, EveryBodyAndJointFollowsTheRecord) {
    ride(300);
    // Off its rest pose: steering turned, suspension in, wheels spun.
    ASSERT_GT(std::fabs(dJointGetHingeAngle(rider->joints[JOINT_STEERING_HEAD])), 0.05);
    ASSERT_LT(dJointGetSliderPosition(rider->joints[JOINT_FORK]), -0.05);
    ASSERT_LT(dJointGetHingeAngle(rider->joints[JOINT_SWINGARM_PIVOT]), -0.05);
    copy(0);
    // One code step of each angle: steering pi/2 over 255 codes, the swingarm its travel over
    // 255, a wheel's spin a whole turn over 255; the quaternions' u16 codes are far finer.
    const double steer_step = M_PI / 2 / 255, swing_step = rider->info.swingarm_travel / 255;
    const double spin_step = 2 * M_PI / 255, quat = 0.0005;
    double turn_tolerance[BIKE_BODY_COUNT];
    turn_tolerance[BODY_FRAME] = quat;
    turn_tolerance[BODY_RIDER] = 2 * quat;
    turn_tolerance[BODY_STEERING] = turn_tolerance[BODY_FORK_LOWER] = steer_step + quat;
    turn_tolerance[BODY_SWINGARM] = swing_step + quat;
    turn_tolerance[BODY_FRONT_WHEEL] = spin_step + steer_step + quat;
    turn_tolerance[BODY_REAR_WHEEL] = spin_step + swing_step + quat;
    for (int i = 0; i < BIKE_BODY_COUNT; i++) {
        SCOPED_TRACE(i);
        // Positions: the frame to 1/8192 ft, the others through those angles over a few feet.
        EXPECT_LT(distance(rider->bodies[i], ghost->bodies[i]), 0.03);
        EXPECT_LT(turn_between(rider->bodies[i], ghost->bodies[i]), turn_tolerance[i]);
    }
    EXPECT_LT(distance(rider->bodies[BODY_FRAME], ghost->bodies[BODY_FRAME]), 0.001);
    // The ghost's joints, built at rest, read the rider's angles and travel.
    const struct {
        int joint;
        double step;
    } hinges[] = {{JOINT_STEERING_HEAD, steer_step},
                  {JOINT_SWINGARM_PIVOT, swing_step},
                  {JOINT_FRONT_AXLE, spin_step},
                  {JOINT_REAR_AXLE, spin_step}};
    for (const auto& h : hinges) {
        double a = dJointGetHingeAngle(rider->joints[h.joint]);
        double b = dJointGetHingeAngle(ghost->joints[h.joint]);
        EXPECT_LT(std::fabs(std::remainder(a - b, 2 * M_PI)), h.step + 0.001) << h.joint;
    }
    EXPECT_NEAR(dJointGetSliderPosition(ghost->joints[JOINT_FORK]),
                dJointGetSliderPosition(rider->joints[JOINT_FORK]),
                rider->info.fork_travel / 255 + 0.001);
    EXPECT_EQ(ghost->gear, rider->gear);
    EXPECT_NEAR(ghost->throttle, 0.6, 1.0 / 15);
    EXPECT_NEAR(ghost->engine_speed, rider->engine_speed, 2);
    // The place extrapolation starts from.
    const dReal* p = dBodyGetPosition(ghost->bodies[BODY_REAR_WHEEL]);
    EXPECT_FLOAT_EQ(ghost->rest_positions[BODY_REAR_WHEEL][2], (float)p[2]);
}

TEST_F(SnapshotApply, VelocitiesComeFromTheMotionBetweenRecords) {
    physics_set_clock(10);
    ride(200);
    copy(0);
    const dReal* before = dBodyGetPosition(ghost->bodies[BODY_FRAME]);
    double x0 = before[0], z0 = before[2];
    ride(4);
    copy(4);
    const dReal* after = dBodyGetPosition(ghost->bodies[BODY_FRAME]);
    const dReal* v = dBodyGetLinearVel(ghost->bodies[BODY_FRAME]);
    EXPECT_NEAR(v[0], (after[0] - x0) / (4.0 / 128), 1e-6);
    EXPECT_NEAR(v[2], (after[2] - z0) / (4.0 / 128), 1e-6);
    // Close to what the ridden bike is doing, and the wheels spin as the ridden ones do.
    const dReal* real = dBodyGetLinearVel(rider->bodies[BODY_FRAME]);
    EXPECT_NEAR(v[2], real[2], 0.05 * std::fabs(real[2]) + 0.5);
    const dReal* w_real = dBodyGetAngularVel(rider->bodies[BODY_REAR_WHEEL]);
    const dReal* w = dBodyGetAngularVel(ghost->bodies[BODY_REAR_WHEEL]);
    double spin_real =
        std::sqrt(w_real[0] * w_real[0] + w_real[1] * w_real[1] + w_real[2] * w_real[2]);
    double spin = std::sqrt(w[0] * w[0] + w[1] * w[1] + w[2] * w[2]);
    EXPECT_NEAR(spin, spin_real, 0.1 * spin_real + 0.5);

    // Without ticks between records, or before the session clock runs, velocities stay.
    dBodySetLinearVel(ghost->bodies[BODY_FRAME], 1, 2, 3);
    copy(0);
    EXPECT_EQ(dBodyGetLinearVel(ghost->bodies[BODY_FRAME])[1], 2);
    physics_set_clock(0);
    copy(3);
    EXPECT_EQ(dBodyGetLinearVel(ghost->bodies[BODY_FRAME])[1], 2);
}

TEST_F(SnapshotApply, CrashedRecordsCountDownAndKeepTheGear) {
    ride(100);
    uint8_t record[SNAPSHOT_SIZE];
    snapshot_pack(rider, record);
    ghost->gear = 3;
    // Drive byte: gear code 7 (crashed), countdown code 15 -> 15 * 127 / 15 + 1 = 128 ticks.
    record[36] = 0xf7;
    snapshot_apply(ghost, record, 5, 1);
    EXPECT_EQ(ghost->crash_countdown, 128);
    EXPECT_EQ(ghost->throttle, 0);
    EXPECT_EQ(ghost->gear, 3);
    EXPECT_NEAR(ghost->crash_blend, 8.0 / 128, 1e-6); // raised once
    // The legs start from the pose of the moment and fall from there.
    float legs_y = ghost->crash_leg[0][1];
    record[36] = 0x17; // countdown code 1 -> 127 / 15 + 1 = 9
    snapshot_apply(ghost, record, 5, 1);
    EXPECT_EQ(ghost->crash_countdown, 9);
    EXPECT_LE(ghost->crash_leg[0][1], legs_y);
    // Riding again: gear 2, throttle 10/15, the countdown over.
    record[36] = 0xa2;
    snapshot_apply(ghost, record, 5, 1);
    EXPECT_EQ(ghost->crash_countdown, 0);
    EXPECT_EQ(ghost->gear, 2);
    EXPECT_NEAR(ghost->throttle, 10.0 / 15, 1e-6);
}

TEST_F(SnapshotApply, VersionFourKeepsTheRiderWithTheFrameAndBadVersionsDoNothing) {
    ride(150);
    uint8_t v5[SNAPSHOT_SIZE], v4[26];
    snapshot_pack(rider, v5);
    // Version 4: bytes 0-19, the rider fraction, then the drive bytes 34-38 of version 5.
    for (int i = 0; i < 20; i++) v4[i] = v5[i];
    v4[20] = 128; // about the rest point
    for (int i = 0; i < 5; i++) v4[21 + i] = v5[34 + i];
    snapshot_apply(ghost, v4, 4, 0);
    EXPECT_LT(turn_between(ghost->bodies[BODY_RIDER], ghost->bodies[BODY_FRAME]), 1e-6);
    EXPECT_LT(distance(ghost->bodies[BODY_FRAME], rider->bodies[BODY_FRAME]), 0.01);
    EXPECT_LT(distance(ghost->bodies[BODY_RIDER], rider->bodies[BODY_RIDER]), 0.6);

    const dReal* p = dBodyGetPosition(ghost->bodies[BODY_FRAME]);
    double x = p[0];
    v5[0] ^= 0xff;
    snapshot_apply(ghost, v5, 3, 1);
    EXPECT_EQ(dBodyGetPosition(ghost->bodies[BODY_FRAME])[0], x);
}

} // namespace

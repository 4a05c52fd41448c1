// Rider and assists: roll angle, steering torque and its assists, the helper pushes and
// ropes, rider springs, walking and holding, the dab assist and the crash model.
#include "bike/rider.h"

#include "bike/step.h"
#include "bike/world.h"
#include "bike_test_util.h"

using namespace biketest;

namespace {

class Rider : public BikeFixture {
  protected:
    // Unit steering axis in world coordinates: (0, dy, dz) of the catalogue geometry turned
    // with the frame.
    Vec axis() {
        const BikeInfo& in = bike->info;
        double y = (double)in.steering_position[1] - in.fork_lower_position[1];
        double z = (double)in.steering_position[2] - in.fork_lower_position[2];
        double l = sqrt(y * y + z * z);
        const dReal* r = dBodyGetRotation(body(BODY_FRAME));
        return Vec{(r[1] * y + r[2] * z) / l, (r[5] * y + r[6] * z) / l,
                   (r[9] * y + r[10] * z) / l};
    }
    // The steering torque on the front wheel (and its reaction on the frame).
    void expect_steering_torque(double t) {
        Vec a = axis();
        expect_vec(dBodyGetTorque(body(BODY_FRONT_WHEEL)), t * a.x, t * a.y, t * a.z, 1e-3);
        expect_vec(dBodyGetTorque(body(BODY_FRAME)), -t * a.x, -t * a.y, -t * a.z, 1e-3);
    }
    // Front wheel turning forward at w rad/s on the ground.
    void front_rolling(double w) {
        dBodySetAngularVel(body(BODY_FRONT_WHEEL), -w, 0, 0);
        bike->wheels[0].depth = 0.05f;
    }
    Vec rider_offset() {
        // Rider position relative to its rest point, along the frame's axes.
        const dReal* r = dBodyGetPosition(body(BODY_RIDER));
        dVector3 q;
        const BikeInfo& in = bike->info;
        dBodyGetRelPointPos(body(BODY_FRAME), in.rider_position[0] - in.frame_position[0],
                            in.rider_position[1] - in.frame_position[1],
                            in.rider_position[2] - in.frame_position[2], q);
        const dReal* R = dBodyGetRotation(body(BODY_FRAME));
        double d[3] = {r[0] - q[0], r[1] - q[1], r[2] - q[2]};
        return Vec{R[0] * d[0] + R[4] * d[1] + R[8] * d[2], R[1] * d[0] + R[5] * d[1] + R[9] * d[2],
                   R[2] * d[0] + R[6] * d[1] + R[10] * d[2]};
    }
};

} // namespace

TEST_F(Rider, RollAngleIsPositiveLeaningLeftWhateverTheHeading) {
    EXPECT_NEAR(bike_roll(bike), 0, 1e-6);
    // Leaning left: the up axis points toward world -x for a bike facing -z.
    pose(0, 0.3);
    EXPECT_LT(dBodyGetRotation(body(BODY_FRAME))[1], 0);
    EXPECT_NEAR(bike_roll(bike), 0.3, 1e-5);
    for (double yaw : {0.0, 1.0, -2.5}) {
        SCOPED_TRACE(yaw);
        bike_reset(bike);
        pose(yaw, 0.3);
        EXPECT_NEAR(bike_roll(bike), 0.3, 1e-5);
        bike_reset(bike);
        pose(yaw, -0.7);
        EXPECT_NEAR(bike_roll(bike), -0.7, 1e-5);
    }
}

TEST_F(Rider, SteeringTorqueActsAboutTheSteeringAxisAndTurnsTheBarsLeft) {
    float_free();
    apply_steering_torque(bike, 40);
    expect_steering_torque(40);
    world_step();
    EXPECT_GT(dJointGetHingeAngle(bike->joints[JOINT_STEERING_HEAD]), 0);
    // The front wheel, seen from above, now points to the bike's left (-x).
    for (int i = 0; i < 20; i++) {
        apply_steering_torque(bike, 40);
        world_step();
    }
    const dReal* r = dBodyGetRotation(body(BODY_FORK_LOWER));
    double forward_x = -r[2]; // -z axis of the lower fork, world x part
    EXPECT_LT(forward_x, 0);
}

TEST_F(Rider, PushTowardVelocityIsHorizontalAndFadesNearTheTarget) {
    dBodyID f = body(BODY_FRAME);
    const float zero[3] = {0, 0, 0};
    dBodySetLinearVel(f, 3, 1, 4);
    push_toward_velocity(f, 1000, zero);
    double l = sqrt(26.0);
    expect_vec(dBodyGetForce(f), -3 / l * 1000, 0, -4 / l * 1000, 1e-3);

    clear_forces();
    dBodySetLinearVel(f, 0.5, 0, 0);
    push_toward_velocity(f, 1000, zero);
    expect_vec(dBodyGetForce(f), -(0.5 - 0.25) * 0.8 * 1000, 0, 0, 1e-3);

    clear_forces();
    dBodySetLinearVel(f, 0.2, 0, 0.1); // within 1/4 ft/s: nothing
    push_toward_velocity(f, 1000, zero);
    expect_vec(dBodyGetForce(f), 0, 0, 0);

    clear_forces();
    const float target[3] = {0, 0, 2};
    dBodySetLinearVel(f, 0, 0, 0);
    push_toward_velocity(f, 2000, target);
    expect_vec(dBodyGetForce(f), 0, 0, 2000, 1e-3);
}

TEST_F(Rider, RopePullsOnlyWhenStretched) {
    float_free();
    bike_detach_rider_mount(bike);
    dBodyID frame = body(BODY_FRAME), rider = body(BODY_RIDER);
    const float centre[3] = {0, 0, 0};
    // Rider centre 0.6 ft from the frame's centre: a 1-foot rope is slack.
    dBodySetPosition(rider, 0, 1.98 + 0.6, 3.6);
    rope(frame, centre, rider, centre, 1);
    world_step();
    expect_vec(dBodyGetLinearVel(rider), 0, 0, 0);
    // At 3 ft it pulls the two together.
    dBodySetPosition(rider, 0, 1.98 + 3, 3.6);
    for (int i = 0; i < 16; i++) {
        rope(frame, centre, rider, centre, 1);
        world_step();
    }
    double gap = dBodyGetPosition(rider)[1] - dBodyGetPosition(frame)[1];
    EXPECT_LT(gap, 3);
    EXPECT_LT(dBodyGetLinearVel(rider)[1], 0);
    EXPECT_GT(dBodyGetLinearVel(frame)[1], 0);
}

TEST_F(Rider, SpringsHoldTheRiderAboveItsRestPointAndLeanMovesItBack) {
    float_free();
    // Displaced forward and down, the rider is pulled back toward 1/8 ft above its rest
    // point.
    dBodySetPosition(body(BODY_RIDER), 0, 4.5 - 0.3, 4.12 - 0.2);
    bike_detach_rider_mount(bike);
    bike_attach_rider_mount(bike);
    for (int i = 0; i < 512; i++) {
        rider_springs(bike);
        world_step();
    }
    // Vertical: a = -o.y settles where a + 0.125 = 0. Fore-aft: e = -o.z settles on
    // F = a x 0.5 - lean.
    Vec o = rider_offset();
    EXPECT_NEAR(o.y, 0.125, 0.02);
    EXPECT_NEAR(o.z, 0.0625, 0.02);
    // Leaning back by 0.5: the fore-aft target is 0.5 ft toward the rear, limited to 0.75.
    bike->lean = 0.5f;
    for (int i = 0; i < 512; i++) {
        rider_springs(bike);
        world_step();
    }
    o = rider_offset();
    EXPECT_NEAR(o.z, o.y * 0.5 + 0.5, 0.03);
    EXPECT_GT(o.z, 0.5);
    // Dabbing lowers the rider by half a foot.
    bike->lean = 0;
    bike->dab = 1;
    for (int i = 0; i < 512; i++) {
        rider_springs(bike);
        world_step();
    }
    o = rider_offset();
    EXPECT_NEAR(o.y, 0.125 - 0.5, 0.03);
    EXPECT_NEAR(o.z, o.y, 0.03); // F = a x (0.5 + 0.5)
    // The mount's suspension softness follows the forward damping.
    EXPECT_NEAR(dJointGetHinge2Param(bike->joints[JOINT_RIDER_MOUNT], dParamSuspensionCFM),
                1 / (0.5 * 30 + 5), 1e-6);
}

TEST_F(Rider, DirectSteeringAndLevelingGiveTheTorqueOfTheFormula) {
    bike->steer = 0.5f;
    front_rolling(2);
    bike_balance_and_steer(bike);
    // S = 75 x 0.5; Y = 0 upright and still; t = 1.5 (Y + S).
    expect_steering_torque(1.5 * 37.5);

    // Leaning left 0.1 rad and rolling further left at 0.2 rad/s.
    clear_forces();
    pose(0, 0.1);
    front_rolling(2);
    dBodySetAngularVel(body(BODY_FRAME), 0, 0, 0.2);
    bike_balance_and_steer(bike);
    double Y = 0.1 * 20 + 0.2 * 60;
    expect_steering_torque(1.5 * (Y + 37.5));

    // The cap: steer_authority below the maximum steering force.
    clear_forces();
    bike->steer_authority = 20;
    bike_balance_and_steer(bike);
    expect_steering_torque(20);
    clear_forces();
    bike->steer = -1;
    bike_balance_and_steer(bike);
    expect_steering_torque(Y * 1.5 - 75 * 1.5 < -20 ? -20 : Y * 1.5 - 75 * 1.5);

    // Beyond the roll limit while the lean grows, the damping rises.
    clear_forces();
    bike->steer_authority = 1000;
    bike->steer = 0;
    bike_reset(bike);
    pose(0, 1.0);
    front_rolling(2);
    dBodySetAngularVel(body(BODY_FRAME), 0, 0, 0.2);
    bike_balance_and_steer(bike);
    double D = 0.2 * 60 * ((1.0 - PI / 4) * 10 + 1);
    expect_steering_torque(std::min(1.5 * (1.0 * 20 + D), 400.0));

    // Crashed: nothing.
    clear_forces();
    bike->crash_countdown = 5;
    bike_balance_and_steer(bike);
    expect_steering_torque(0);
}

TEST_F(Rider, InTheAirTheBarsCentreAndLandingDampingDecays) {
    bike->steer = 0.2f;
    bike_balance_and_steer(bike); // front wheel in the air
    EXPECT_FLOAT_EQ(bike->landing_damping, 2);
    expect_steering_torque(1.5 * 75 * 0.2);

    // Back on the ground, rolling: the roll damping is doubled, then decays to 1 in
    // land_damping_falloff = 0.25 s (32 ticks).
    bike->steer = 0;
    front_rolling(2);
    dBodySetAngularVel(body(BODY_FRAME), 0, 0, 0.1);
    clear_forces();
    bike_balance_and_steer(bike);
    expect_steering_torque(1.5 * 0.1 * 60 * 2);
    EXPECT_NEAR(bike->landing_damping, 2 - 1.0 / 32, 1e-6);
    for (int i = 0; i < 40; i++) bike_balance_and_steer(bike);
    EXPECT_FLOAT_EQ(bike->landing_damping, 1);
}

TEST_F(Rider, LeanToSteerFollowsTheRollRate) {
    bike->assists.direct_steering = 0;
    pose(0, 0.1);
    front_rolling(2);
    bike->steer = 0;
    bike_balance_and_steer(bike);
    // At rest the lean range is 0, so the wanted roll rate is -2.5 x roll = -0.25 (back to
    // upright); e = clamp(R - wz) = -0.125; l = clamp((wz - (R - e)) x 4) = 0.5; S = l K.
    double S = 0.5 * 75;
    expect_steering_torque(1.5 * (0.1 * 20 + S));
}

TEST_F(Rider, ArcadeModeDrivesTheLeanTowardTheInput) {
    float_free();
    bike->flags |= BIKE_ARCADE;
    bike->steer = 1; // target lean pi/4 to the right (negative roll)
    for (int i = 0; i < 64; i++) {
        bike_balance_and_steer(bike);
        world_step();
    }
    EXPECT_LT(bike_roll(bike), -0.3);
    bike->steer = -1;
    for (int i = 0; i < 256; i++) {
        bike_balance_and_steer(bike);
        world_step();
    }
    EXPECT_GT(bike_roll(bike), 0.3);
}

TEST_F(Rider, SteeringDampingLeavesOnlyTheSpinAboutTheAxle) {
    dBodySetAngularVel(body(BODY_FRONT_WHEEL), 1, 2, 3);
    steering_damping_step(bike);
    expect_vec(dBodyGetTorque(body(BODY_FRONT_WHEEL)), 0, -2 * 45, -3 * 45, 1e-6);
    expect_vec(dBodyGetTorque(body(BODY_FRAME)), 0, 2 * 45, 3 * 45, 1e-6);
}

TEST_F(Rider, BackingUpPaddlesBackwardsWithTheFootDown) {
    bike->back_up = 1;
    physics_set_clock(0); // phase 0: target 2 ft/s toward the rear
    rider_walk_and_hold(bike);
    EXPECT_EQ(bike->dab, 1);
    expect_vec(dBodyGetForce(body(BODY_FRAME)), 0, 0, 2000, 1e-3);
    // A quarter of a second later the target is 2 (1 + sin p) with p = 32 x 2 pi / 127.
    clear_forces();
    physics_set_clock(32);
    dBodySetLinearVel(body(BODY_FRAME), 0, 0, 1);
    rider_walk_and_hold(bike);
    double target = 2 * (1 + sin(32 * 0.049473900056532176));
    double d = 1 - target;
    double m = std::min(std::max((fabs(d) - 0.25) * 0.8, 0.0), 1.0);
    expect_vec(dBodyGetForce(body(BODY_FRAME)), 0, 0, -d / fabs(d) * m * 2000, 1e-3);
    // Too fast to walk: nothing.
    clear_forces();
    bike->dab = 0;
    dBodySetLinearVel(body(BODY_FRAME), 0, 0, -6);
    rider_walk_and_hold(bike);
    EXPECT_EQ(bike->dab, 0);
    // The bars turn the bike while walking: steering right turns it right.
    bike_reset(bike);
    dWorldSetGravity(g_physics.world, 0, 0, 0);
    bike->back_up = 1;
    bike->steer = 1;
    for (int i = 0; i < 8; i++) {
        rider_walk_and_hold(bike);
        world_step();
    }
    EXPECT_LT(dBodyGetAngularVel(body(BODY_FRAME))[1], -0.1);
}

TEST_F(Rider, AutoDabHoldsASlowBike) {
    bike->flags |= BIKE_AUTO_DAB;
    wheels_touch(true, true);
    rider_walk_and_hold(bike);
    EXPECT_EQ(bike->dab, 1);
    EXPECT_EQ(bike->front_brake, 1);
    EXPECT_EQ(bike->rear_brake, 1);
    // Rolling at 12 ft/s: the foot comes down partly, no hold.
    bike->dab = bike->front_brake = bike->rear_brake = 0;
    set_all_velocities(0, 0, -12);
    rider_walk_and_hold(bike);
    EXPECT_NEAR(bike->dab, 1 - 12.0 / 30, 1e-6);
    EXPECT_EQ(bike->front_brake, 0);
    // Riding off under power, upright: left alone.
    bike->dab = 0;
    bike->throttle = 0.5f;
    bike->clutch = 1;
    rider_walk_and_hold(bike);
    EXPECT_EQ(bike->dab, 0);
    // Above the maximum dab speed: left alone.
    bike->throttle = 0;
    set_all_velocities(0, 0, -31);
    rider_walk_and_hold(bike);
    EXPECT_EQ(bike->dab, 0);
    // Without the assist: nothing.
    bike->flags &= (uint8_t)~BIKE_AUTO_DAB;
    set_all_velocities(0, 0, 0);
    rider_walk_and_hold(bike);
    EXPECT_EQ(bike->dab, 0);
}

TEST_F(Rider, DabAssistPushesALeaningBikeBackUp) {
    bike->dab = 1;
    wheels_touch(true, true);
    pose(0, -0.2); // leaning right
    dab_assist(bike);
    EXPECT_FLOAT_EQ(bike->crash_blend, 8.0f / 128);
    // E = +pi/8; roll rate 0 < E: f = -400; j = clamp(0.2 / 0.25) = 0.8 at rest; no steering.
    double f = -400 * 0.8;
    const dReal* r = dBodyGetRotation(body(BODY_FRAME));
    // World force: (0, |f| / 8, 0) plus the body-x force f.
    expect_vec(dBodyGetForce(body(BODY_FRAME)), f * r[0], fabs(f) / 8 + f * r[4], f * r[8], 1e-3);
    // Steering into the fall adds the rest: sigma = -s = 1 gives i = 1.
    clear_forces();
    bike->steer = -1;
    dab_assist(bike);
    f = -400;
    expect_vec(dBodyGetForce(body(BODY_FRAME)), f * r[0], fabs(f) / 8 + f * r[4], f * r[8], 1e-3);
    // Already rolling back fast enough: no push.
    clear_forces();
    dBodySetAngularVel(body(BODY_FRAME), 0, 0, 0.5); // positive wz raises the roll
    dab_assist(bike);
    expect_vec(dBodyGetForce(body(BODY_FRAME)), 0, 0, 0, 1e-9);
    // No dab: nothing at all.
    clear_forces();
    bike->crash_blend = 0;
    bike->dab = 0;
    dab_assist(bike);
    EXPECT_EQ(bike->crash_blend, 0);
}

TEST_F(Rider, FastRiderIsThrownOffAndStaysOffWhileMoving) {
    float_free();
    // 30 ft/s against the frame: stays on.
    dBodySetLinearVel(body(BODY_RIDER), 30, 0, 0);
    rider_eject_check(bike);
    EXPECT_EQ(bike->crash_countdown, 0);
    // 40 ft/s: crash, the mount comes off.
    dBodySetLinearVel(body(BODY_RIDER), 40, 0, 0);
    rider_eject_check(bike);
    EXPECT_EQ(bike->crash_countdown, 512);
    EXPECT_EQ(dJointGetBody(bike->joints[JOINT_RIDER_MOUNT], 0), nullptr);
    // The legs start at the pegs with the rider's velocity there.
    const float* peg = bike->info.skeleton.peg[0];
    EXPECT_NEAR(bike->crash_leg[0][0], peg[0], 1e-5);
    EXPECT_NEAR(bike->crash_leg[0][1], peg[1] + 1.98, 1e-5);
    EXPECT_NEAR(bike->crash_leg_velocity[0][0], 40, 1e-4);
    // While the rider moves the countdown waits.
    for (int i = 0; i < 10; i++) {
        rider_crashed_step(bike);
        world_step();
    }
    EXPECT_EQ(bike->crash_countdown, 512);
}

TEST_F(Rider, HardLandingThrowsTheRiderOff) {
    // 1376 ft/s squared over four ticks (with gravity's 32 added back) is the limit.
    set_all_velocities(0, -43, 0);
    rider_eject_check(bike);
    EXPECT_EQ(bike->crash_countdown, 0);
    set_all_velocities(0, -45, 0);
    rider_eject_check(bike);
    EXPECT_EQ(bike->crash_countdown, 512);
}

TEST_F(Rider, RiderAtRestIsPulledHomeAndPutBackAfter512Ticks) {
    float_free();
    rider_crash_start(bike);
    ASSERT_EQ(bike->crash_countdown, 512);
    // The rider lies still a little to the side: the pull home never makes it move faster
    // than 2 ft/s, so the countdown runs without pause.
    dBodySetPosition(body(BODY_RIDER), 0.3, 4.5, 4.12);
    int ticks = 0;
    while (bike->crash_countdown > 0 && ticks < 2000) {
        rider_crashed_step(bike);
        ticks++;
        if (bike->crash_countdown == 0) break;
        world_step();
        {
            double v2 = 0;
            for (int k = 0; k < 3; k++)
                v2 +=
                    dBodyGetLinearVel(body(BODY_RIDER))[k] * dBodyGetLinearVel(body(BODY_RIDER))[k];
            EXPECT_LT(v2, 4.0 + 1e-9) << "tick " << ticks;
        }
    }
    // The ropes pull gently enough that the countdown never waits.
    EXPECT_EQ(ticks, 512);
    EXPECT_EQ(dJointGetBody(bike->joints[JOINT_RIDER_MOUNT], 0), body(BODY_RIDER));
    // At the frame's rest point, turned like the frame.
    dVector3 rest;
    dBodyGetRelPointPos(body(BODY_FRAME), 0, 4.5 - 1.98, 4.12 - 3.6, rest);
    expect_vec(dBodyGetPosition(body(BODY_RIDER)), rest[0], rest[1], rest[2], 1e-5);
    const dReal* qr = dBodyGetQuaternion(body(BODY_RIDER));
    const dReal* qf = dBodyGetQuaternion(body(BODY_FRAME));
    for (int k = 0; k < 4; k++) EXPECT_NEAR(qr[k], qf[k], 1e-9);
}

TEST_F(Rider, CrashedLegsFallToTheGroundAndStayWithinReachOfTheHips) {
    rider_crash_start(bike);
    dBodyID rider = body(BODY_RIDER);
    for (int i = 0; i < 256; i++) {
        crash_pose_step(bike);
        const float* hip_local = bike->info.skeleton.hip[0];
        dVector3 hip;
        dBodyGetRelPointPos(rider, hip_local[0], hip_local[1], hip_local[2], hip);
        double dx = bike->crash_leg[0][0] - hip[0], dy = bike->crash_leg[0][1] - hip[1],
               dz = bike->crash_leg[0][2] - hip[2];
        EXPECT_LE(sqrt(dx * dx + dy * dy + dz * dz), 1.328 + 1.701 + 1e-4);
        EXPECT_LE(dy, -1 + 1e-4); // at least a foot below the hip (rider upright)
        EXPECT_GE(bike->crash_leg[0][1], 0.25 - 1e-5);
    }
    EXPECT_EQ(bike->crash_blend, 0);
}

// The bike as a rider meets it, run headless through the harness on a flat hard-packed track
// and on the generated "rabbithill": settling at rest, standing with the dab assist,
// accelerating through the gears and braking, antilock, steering, holding a circle, crashing
// and getting back on, bikes meeting each other and a hay bale, and bad numbers.
#include <gtest/gtest.h>
#include <ode/ode.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/app.h"
#include "core/config.h"
#include "core/settings.h"
#include "bike/bike.h"
#include "bike/contact.h"
#include "bike/drivetrain.h"
#include "bike/harness.h"
#include "bike/rider.h"
#include "bike/step.h"
#include "bike/world.h"
#include "data/datafile.h"
#include "data/model.h"
#include "data/shape.h"
#include "data/texture.h"
#include "platform/log.h"
#include "race/session.h"
#include "support/test_env.h"
#include "track/objects.h"
#include "track/terrain.h"

namespace {

constexpr double PI = 3.14159265358979323846;
constexpr double MPH = 0.6818181818181819; // per foot per second
constexpr float CENTRE = 1024;             // middle of the flat track

std::string log_path() {
    return test_dir() + "/log.txt";
}

struct Vec {
    double x, y, z;
};

Vec vec(const dReal* v) {
    return Vec{v[0], v[1], v[2]};
}

Vec frame_pos(const Bike* b) {
    return vec(dBodyGetPosition(b->bodies[BODY_FRAME]));
}
// Heading of the frame's forward axis (radians; 0 toward -z, positive toward -x).
double heading(const Bike* b) {
    const dReal* r = dBodyGetRotation(b->bodies[BODY_FRAME]);
    return atan2(r[2], r[10]);
}
double speed_fps(const Bike* b) {
    return bike_speed_mph(b) / MPH;
}
// Sets every body moving at v ft/s along the frame's heading, the wheels rolling to match.
void launch(Bike* b, double v) {
    const dReal* r = dBodyGetRotation(b->bodies[BODY_FRAME]);
    double fx = -r[2] * v, fz = -r[10] * v;
    for (dBodyID body : b->bodies) dBodySetLinearVel(body, fx, 0, fz);
    for (int w = 0; w < 2; w++) {
        double radius = w == 0 ? 1.1666667 : 1.0833333;
        dBodyID wheel = b->bodies[w == 0 ? BODY_FRONT_WHEEL : BODY_REAR_WHEEL];
        double spin = -v / radius; // about the axle (body x)
        dBodySetAngularVel(wheel, r[0] * spin, r[4] * spin, r[8] * spin);
    }
}

class Behaviour : public ::testing::Test {
  protected:
    void SetUp() override {
        log_setup(("DRUV_LOGFILE=" + log_path()).c_str());
        g_settings.headless = 1;
        // The generated game data: bike shapes and the tracks.
        setenv("QZ_HOME", VORNIX_BUILD_DIR "/data", 1);
        data_reset();
        bikes_reset();
        contacts_reset();
        harness_open();
    }
    void TearDown() override {
        harness_close();
        texture_reset();
        model_reset();
        shape_reset();
        contacts_reset();
        g_settings.headless = 0;
    }
    Bike* flat_bike(float heading = 0) {
        EXPECT_EQ(harness_flat_track(2048), 1);
        Bike* b = harness_add_bike("crf250(2009)", CENTRE, CENTRE, heading);
        EXPECT_NE(b, nullptr);
        return b;
    }
    std::string log_text() { return read_file(log_path()); }
};

} // namespace

// Ticks until the bike has settled after being placed.
constexpr int SETTLE = 128;

// Sag of both ends after settling, the rider on its mount and the frame level.
void expect_settled(const Bike* b, const char* where) {
    SCOPED_TRACE(where);
    double fork = -dJointGetSliderPosition(b->joints[JOINT_FORK]) / b->info.fork_travel;
    double shock = -dJointGetHingeAngle(b->joints[JOINT_SWINGARM_PIVOT]) / b->info.swingarm_travel;
    EXPECT_GE(fork, 0.10);
    EXPECT_LE(fork, 0.45);
    EXPECT_GE(shock, 0.10);
    EXPECT_LE(shock, 0.45);
    EXPECT_EQ(b->crash_countdown, 0);
    EXPECT_EQ(dJointGetBody(b->joints[JOINT_RIDER_MOUNT], 0), b->bodies[BODY_RIDER]);
    EXPECT_LT(fabs(bike_roll(b)), 0.05);
    const dReal* v = dBodyGetLinearVel(b->bodies[BODY_FRAME]);
    EXPECT_LT(sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]), 0.1);
}

TEST_F(Behaviour, SettlesOnItsSuspensionWithTheRiderOn) {
    Bike* b = flat_bike();
    harness_run(4 * SETTLE);
    expect_settled(b, "flat hardpack");
    // Both wheels on the ground, the rider 1/8 foot above its rest point less the spring's
    // give.
    EXPECT_GT(b->wheels[0].depth, 0);
    EXPECT_GT(b->wheels[1].depth, 0);
    EXPECT_EQ(log_text().find("ODE "), std::string::npos) << log_text();
}

TEST_F(Behaviour, SettlesOnRabbithillsStartSlope) {
    ASSERT_EQ(harness_load_track("rabbithill"), 1);
    // The first start slot (685.65, 1850) faces -z; the first row stands 0.625 behind it.
    Bike* b = harness_add_bike("yz250f(2009)", 685.65f, 1850.625f, 0);
    ASSERT_NE(b, nullptr);
    harness_run(4 * SETTLE);
    expect_settled(b, "rabbithill start");
    EXPECT_EQ(log_text().find("ODE "), std::string::npos);
}

TEST_F(Behaviour, DabAssistKeepsAStandingBikeUpForTenSeconds) {
    ASSERT_EQ(harness_flat_track(2048), 1);
    Bike* held = harness_add_bike("crf250(2009)", CENTRE - 20, CENTRE, 0);
    Bike* unheld = harness_add_bike("crf250(2009)", CENTRE + 20, CENTRE, 0);
    held->flags |= BIKE_AUTO_DAB;
    harness_run(SETTLE);
    // Both are tipped the same way; only the one with the assist stays up.
    for (Bike* b : {held, unheld}) dBodySetAngularVel(b->bodies[BODY_FRAME], 0, 0, 0.3);
    double worst = 0;
    for (int t = 0; t < 10 * 128; t++) {
        harness_tick();
        worst = std::max(worst, fabs((double)bike_roll(held)));
        ASSERT_EQ(held->crash_countdown, 0) << t;
    }
    EXPECT_LT(worst, 0.2);
    EXPECT_GT(held->crash_blend, 0.5); // the foot is down
    EXPECT_LT(speed_fps(held), 0.5);
    EXPECT_GT(fabs(bike_roll(unheld)), 1.0); // lying on its side
}

TEST_F(Behaviour, FullThrottleReaches40MphThroughTheGearsAndBrakesToAStop) {
    Bike* b = flat_bike();
    // "stop_wheelies" Yes, automatic shifting.
    b->flags |= BIKE_AUTO_SHIFT | BIKE_WHEELIE_CUT | BIKE_ENDO_CUT;
    harness_run(SETTLE);
    ASSERT_EQ(b->gear, 0);
    bike_set_clutch(b, 1);
    bike_set_throttle(b, 1);
    int reached = -1, top_gear = 0;
    double max_pitch = 0;
    for (int t = 0; t < 8 * 128; t++) {
        harness_tick();
        const dReal* r = dBodyGetRotation(b->bodies[BODY_FRAME]);
        max_pitch = std::max(max_pitch, asin(std::min(1.0, std::max(-1.0, (double)-r[6]))));
        top_gear = std::max(top_gear, b->gear);
        ASSERT_EQ(b->crash_countdown, 0) << t;
        if (reached < 0 && bike_speed_mph(b) >= 40) reached = t;
    }
    EXPECT_GE(reached, 0) << "40 mph not reached in 8 s: " << bike_speed_mph(b);
    EXPECT_GE(top_gear, 2);       // shifted up through the gears
    EXPECT_LT(max_pitch, PI / 6); // the front stayed down: no loop-out
    EXPECT_LT(fabs(bike_roll(b)), 0.1);
    EXPECT_GT(bike_speed_mph(b), 50);
    // Off the throttle, both brakes: stopped within 6 s, upright.
    bike_set_throttle(b, 0);
    bike_set_front_brake(b, 1);
    bike_set_rear_brake(b, 1);
    int stopped = -1;
    for (int t = 0; t < 6 * 128 && stopped < 0; t++) {
        harness_tick();
        ASSERT_EQ(b->crash_countdown, 0) << t;
        if (fabs(bike_speed_mph(b)) < 0.5) stopped = t;
    }
    EXPECT_GE(stopped, 0) << bike_speed_mph(b);
    EXPECT_LT(fabs(bike_roll(b)), 0.1);
    EXPECT_EQ(log_text().find("ODE "), std::string::npos);
}

TEST_F(Behaviour, AntilockReleasesALockedFrontWheel) {
    ASSERT_EQ(harness_flat_track(2048), 1);
    Bike* abs = harness_add_bike("crf250(2009)", CENTRE - 20, CENTRE, 0);
    Bike* plain = harness_add_bike("crf250(2009)", CENTRE + 20, CENTRE, 0);
    plain->flags &= (uint8_t)~BIKE_FRONT_ANTILOCK;
    ASSERT_TRUE(abs->flags & BIKE_FRONT_ANTILOCK);
    // The strongest brake, and no endo cut (which would let the brake go once the rear wheel
    // lifts).
    abs->front_brake_torque = plain->front_brake_torque = 500;
    abs->flags &= (uint8_t)~BIKE_ENDO_CUT;
    plain->flags &= (uint8_t)~BIKE_ENDO_CUT;
    harness_run(SETTLE);
    // Rolling at 40 ft/s, then the front wheel is stopped dead and the lever squeezed.
    for (Bike* b : {abs, plain}) launch(b, 40);
    harness_tick();
    for (Bike* b : {abs, plain}) {
        dBodySetAngularVel(b->bodies[BODY_FRONT_WHEEL], 0, 0, 0);
        bike_set_front_brake(b, 1);
    }
    // Over eight ticks: the antilock lets go at once and the wheel spins up to roll with the
    // road again (on its loaded radius, the outer radius less the tyre's compression) before
    // the brake bites again; the plain brake holds its wheel locked all along.
    double fastest_spin = 0;
    int bit_again = 0;
    for (int t = 0; t < 8; t++) {
        harness_tick();
        double fmax = dJointGetHingeParam(abs->joints[JOINT_FRONT_AXLE], dParamFMax);
        if (t == 0) {
            EXPECT_EQ(fmax, 0);
        }
        bit_again |= fmax == 500;
        fastest_spin =
            std::max(fastest_spin, dJointGetHingeAngleRate(abs->joints[JOINT_FRONT_AXLE]));
        EXPECT_EQ(dJointGetHingeParam(plain->joints[JOINT_FRONT_AXLE], dParamFMax), 500);
        // (The first world step still ran with last tick's released lever.)
        if (t > 0) {
            EXPECT_LT(fabs(dJointGetHingeAngleRate(plain->joints[JOINT_FRONT_AXLE])), 1) << t;
        }
    }
    EXPECT_GT(fastest_spin * (1.1666667 - abs->wheels[0].depth), 0.9 * speed_fps(abs));
    EXPECT_TRUE(bit_again);
    EXPECT_GT(speed_fps(abs), 30);
}

// Rolling at 20 mph, the player taps a steering key for a quarter of a second; returns the
// change of heading and the lowest and highest roll over the next two seconds.
struct SteerResult {
    double heading, min_roll, max_roll;
    int crashed;
};
SteerResult steer_tap(Bike* b, int right_key, int reverse_steering) {
    harness_run(SETTLE);
    launch(b, 20 / MPH);
    b->gear = 1;
    bike_set_clutch(b, 1);
    bike_set_throttle(b, 0.3f);
    harness_run(64);
    double h0 = heading(b);
    SteerResult out{0, 0, 0, 0};
    DabLatch latch;
    for (int t = 0; t < 256 + 32; t++) {
        // The left key gives the steer control +1, the right key -1 (controls.cpp).
        float c[CONTROL_COUNT] = {};
        if (t < 32) c[CONTROL_STEER] = right_key ? -1.0f : 1.0f;
        PlayerControls pc;
        controls_shape(c, b->clutch, reverse_steering, 0, &latch, &pc);
        bike_set_steer(b, pc.steer);
        harness_tick();
        out.min_roll = std::min(out.min_roll, (double)bike_roll(b));
        out.max_roll = std::max(out.max_roll, (double)bike_roll(b));
        out.crashed |= b->crash_countdown > 0;
    }
    out.heading = remainder(heading(b) - h0, 2 * PI);
    return out;
}

TEST_F(Behaviour, SteeringLeansAndTurnsTheWayThePlayerExpects) {
    ASSERT_EQ(g_config.reverse_steering.current, YES); // the default
    ASSERT_EQ(harness_flat_track(2048), 1);
    Bike* b = harness_add_bike("crf250(2009)", CENTRE - 200, CENTRE, 0);
    // The right key: leans right (negative roll) and turns right (heading falls).
    SteerResult right = steer_tap(b, 1, 1);
    EXPECT_LT(right.min_roll, -0.1);
    EXPECT_LT(right.heading, -0.3);
    EXPECT_FALSE(right.crashed);
    // The left key: the mirror image.
    harness_place(b, CENTRE + 200, CENTRE, 0);
    SteerResult left = steer_tap(b, 0, 1);
    EXPECT_GT(left.max_roll, 0.1);
    EXPECT_GT(left.heading, 0.3);
    EXPECT_FALSE(left.crashed);
    // With "reverse_steering" No the right key pushes the bars the other way: a left turn.
    harness_place(b, CENTRE, CENTRE + 300, 0);
    SteerResult reversed = steer_tap(b, 1, 0);
    EXPECT_GT(reversed.heading, 0.3);
}

TEST_F(Behaviour, SteeringControllerHoldsA30MetreCircleAt20Mph) {
    const double R = 30 / 0.3048, v_target = 20 / MPH; // 98.4 ft, 29.3 ft/s
    Bike* b = flat_bike(0);                            // facing -z
    b->flags |= BIKE_AUTO_SHIFT;
    // The centre lies to the bike's left: a left-hand circle.
    double cx = CENTRE - R, cz = CENTRE + 3.6;
    harness_run(SETTLE);
    launch(b, v_target);
    b->gear = 1;
    bike_set_clutch(b, 1);
    double worst_radius = 0, worst_speed = 0, travelled = 0;
    Vec last = frame_pos(b);
    for (int t = 0; t < 22 * 128; t++) {
        Vec p = frame_pos(b);
        double dx = p.x - cx, dz = p.z - cz;
        double r = sqrt(dx * dx + dz * dz);
        // Aim at the point of the circle 30 feet ahead.
        double ahead = atan2(dz, dx) - 30 / R;
        double tx = cx + R * cos(ahead), tz = cz + R * sin(ahead);
        double want = atan2(-(tx - p.x), -(tz - p.z));
        double err = remainder(want - heading(b), 2 * PI); // positive: target to the left
        const dReal* w = dBodyGetAngularVel(b->bodies[BODY_FRAME]);
        const dReal* rot = dBodyGetRotation(b->bodies[BODY_FRAME]);
        double roll_rate = rot[2] * w[0] + rot[6] * w[1] + rot[10] * w[2];
        double v = speed_fps(b);
        // Lean into the turn the circle needs plus the heading error, steering against the
        // lean still missing (a push on the bars leans the bike the other way).
        double want_roll = atan(v * v / (32 * R)) + 1.5 * err;
        bike_set_steer(b, (float)(-2.0 * (want_roll - bike_roll(b)) + 0.3 * roll_rate));
        bike_set_throttle(b, (float)std::min(1.0, std::max(0.0, 0.3 + 0.1 * (v_target - v))));
        harness_tick();
        ASSERT_EQ(b->crash_countdown, 0) << t;
        if (t >= 2 * 128) {
            worst_radius = std::max(worst_radius, fabs(r - R));
            worst_speed = std::max(worst_speed, fabs(v - v_target));
            travelled += sqrt((p.x - last.x) * (p.x - last.x) + (p.z - last.z) * (p.z - last.z));
        }
        last = p;
    }
    EXPECT_LT(worst_radius, 0.1 * R);
    EXPECT_LT(worst_speed, 3 / MPH);
    EXPECT_GT(travelled, 0.9 * 20 * v_target); // 20 s round the circle
}

TEST_F(Behaviour, ThrownRiderCrashesStaysOffWhileMovingAndGetsBackOn) {
    Bike* b = flat_bike();
    harness_run(SETTLE);
    dBodyID rider = b->bodies[BODY_RIDER];
    // Thrown upward at 40 ft/s relative to the bike (the mount leaves the rider free up and
    // down, held only by its springs).
    const dReal* fv = dBodyGetLinearVel(b->bodies[BODY_FRAME]);
    dBodySetLinearVel(rider, fv[0], fv[1] + 40, fv[2]);
    harness_tick();
    ASSERT_EQ(b->crash_countdown, 512);
    EXPECT_EQ(dJointGetBody(b->joints[JOINT_RIDER_MOUNT], 0), nullptr);
    int last_moving = 0, at_rest_countdown = 512, t = 1;
    for (; t < 4000 && b->crash_countdown > 0; t++) {
        int before = b->crash_countdown;
        harness_tick();
        const dReal* v = dBodyGetLinearVel(rider);
        bool moving = v[0] * v[0] + v[1] * v[1] + v[2] * v[2] > 4;
        if (b->crash_countdown == 0) break;
        // The countdown only runs while the rider is at rest.
        EXPECT_EQ(b->crash_countdown, moving ? before : before - 1) << t;
        EXPECT_EQ(dJointGetBody(b->joints[JOINT_RIDER_MOUNT], 0), nullptr);
        if (moving) {
            last_moving = t;
            at_rest_countdown = b->crash_countdown;
        }
    }
    ASSERT_EQ(b->crash_countdown, 0);
    // Back on 512 ticks after the crash's resting began: the ticks at rest add up to 512.
    EXPECT_EQ(t - last_moving, at_rest_countdown);
    EXPECT_GE(t, 512);
    EXPECT_EQ(dJointGetBody(b->joints[JOINT_RIDER_MOUNT], 0), rider);
    // On the seat with the frame's orientation, and riding on normally afterwards.
    harness_run(SETTLE);
    EXPECT_EQ(b->crash_countdown, 0);
    EXPECT_LT(fabs(bike_roll(b)), 0.05);
}

TEST_F(Behaviour, TwoBikesDrivenIntoEachOtherCollideAndDoNotPassThrough) {
    ASSERT_EQ(harness_flat_track(2048), 1);
    Bike* a = harness_add_bike("crf250(2009)", CENTRE, CENTRE + 40, 0);  // facing -z
    Bike* b = harness_add_bike("kx250f(2009)", CENTRE, CENTRE - 40, PI); // facing +z
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    harness_run(SETTLE / 2);
    for (Bike* k : {a, b}) {
        bike_set_clutch(k, 1);
        bike_set_throttle(k, 1);
    }
    for (int t = 0; t < 5 * 128; t++) {
        harness_tick();
        // a stays on its side (+z) of b, front wheel against front wheel at worst.
        ASSERT_GT(frame_pos(a).z - frame_pos(b).z, 2.5) << t;
        for (Bike* k : {a, b}) bike_set_throttle(k, k->crash_countdown > 0 ? 0.0f : 1.0f);
    }
    EXPECT_GE(a->last_bike_contact, 0);
    EXPECT_GE(b->last_bike_contact, 0);
    EXPECT_LT(fabs(bike_speed_mph(a)) + fabs(bike_speed_mph(b)), 5);
}

// A bike driven straight at a generated hay bale lying across its path 40 feet ahead, with
// the given throttle closed from coast_mph on; returns whether the bale was touched and the
// rider crashed, the top speed, and the bike's speed and its front wheel's travel past the
// bale's centre line at the end.
struct BaleResult {
    int crashed, touched;
    double fastest, final_mph, past;
};
BaleResult ride_into_bale(float throttle, float coast_mph = 1000) {
    EXPECT_EQ(harness_flat_track(2048), 1);
    g_harness.statues = 1;
    const float bz = CENTRE - 40;
    int index = statue_add(CENTRE, 0, bz, 0, "@haybale.jm", "@haybale.png", "@haybale.shp");
    statue_grid_rebuild();
    const Statue* bale = statue_get(index);
    EXPECT_NE(bale, nullptr);
    EXPECT_NE(bale->shape, nullptr);
    Bike* b = harness_add_bike("crf250(2009)", CENTRE, CENTRE, 0);
    BaleResult out{0, 0, 0, 0, 0};
    if (!b || !bale) return out;
    harness_run(SETTLE / 2);
    bike_set_clutch(b, 1);
    bike_set_throttle(b, throttle);
    for (int t = 0; t < 6 * 128; t++) {
        harness_tick();
        out.crashed |= b->crash_countdown > 0;
        out.fastest = std::max(out.fastest, (double)bike_speed_mph(b));
        if (out.crashed || bike_speed_mph(b) >= coast_mph) bike_set_throttle(b, 0);
    }
    out.touched = bale->last_contact > 0;
    out.final_mph = bike_speed_mph(b);
    out.past = bz - dBodyGetPosition(b->bodies[BODY_FRONT_WHEEL])[2];
    return out;
}

TEST_F(Behaviour, HayBaleStopsASlowBike) {
    // Up to 10 mph, then rolling on with the throttle closed.
    BaleResult r = ride_into_bale(0.4f, 10);
    EXPECT_TRUE(r.touched);
    EXPECT_FALSE(r.crashed);
    EXPECT_GT(r.fastest, 9);
    // Stopped by the bale: its front wheel never climbed it.
    EXPECT_LT(fabs(r.final_mph), 2);
    EXPECT_LT(r.past, -1);
}

TEST_F(Behaviour, HayBaleThrowsAFastRiderOff) {
    BaleResult r = ride_into_bale(1);
    EXPECT_TRUE(r.touched);
    EXPECT_GT(r.fastest, 25);
    EXPECT_TRUE(r.crashed);
}

TEST_F(Behaviour, NonFiniteSetupIsCaughtBeforeTheWorldStep) {
    ASSERT_EQ(harness_flat_track(2048), 1);
    Bike* bad = harness_add_bike("crf250(2009)", CENTRE - 20, CENTRE, 0);
    Bike* good = harness_add_bike("crf250(2009)", CENTRE + 20, CENTRE, 0);
    harness_run(SETTLE);
    bad->setup.fork_spring = NAN;
    bad->assists.leveling = INFINITY;
    bad->throttle = NAN;
    harness_run(2 * SETTLE);
    for (const Bike* k : {bad, good})
        for (dBodyID body : k->bodies)
            for (int i = 0; i < 3; i++) {
                ASSERT_TRUE(std::isfinite(dBodyGetPosition(body)[i]));
                ASSERT_TRUE(std::isfinite(dBodyGetLinearVel(body)[i]));
            }
    EXPECT_NE(log_text().find("Bike 1 (crf250(2009)): non-finite physics state, reset"),
              std::string::npos);
    // The bad values were replaced by the defaults and the bike rides on where it stood.
    EXPECT_NEAR(bad->setup.fork_spring, (510.6964 + 698.8477) / 2, 1e-3);
    EXPECT_EQ(bad->assists.leveling, 20);
    expect_settled(bad, "after the reset");
    EXPECT_NEAR(frame_pos(bad).x, CENTRE - 20, 0.1);
    expect_settled(good, "the other bike");
}

// Rigid-body assembly: masses and inertias worked out from the mass models, positions, joint
// geometry and stops, moving the bike as a whole, enabling, resetting and destruction.
#include <gtest/gtest.h>
#include <ode/ode.h>

#include <cmath>
#include <cstdio>
#include <string>

#include "core/config.h"
#include "core/settings.h"
#include "bike/bike.h"
#include "bike/world.h"
#include "support/test_env.h"

namespace {

const double PI = 3.14159265358979323846;
const double H = 1.0 / 128;

struct M3 {
    double m[3][3];
};

M3 diag(double a, double b, double c) {
    return M3{{{a, 0, 0}, {0, b, 0}, {0, 0, c}}};
}

// Rotation about the x axis, right-handed.
M3 rot_x(double a) {
    return M3{{{1, 0, 0}, {0, cos(a), -sin(a)}, {0, sin(a), cos(a)}}};
}

// R I R^T: an inertia tensor turned with its body.
M3 turn(const M3& r, const M3& i) {
    M3 out{};
    for (int a = 0; a < 3; a++)
        for (int b = 0; b < 3; b++)
            for (int k = 0; k < 3; k++)
                for (int l = 0; l < 3; l++) out.m[a][b] += r.m[a][k] * i.m[k][l] * r.m[b][l];
    return out;
}

void expect_mass(dBodyID body, double mass, const M3& inertia, const char* what) {
    SCOPED_TRACE(what);
    dMass m;
    dBodyGetMass(body, &m);
    EXPECT_NEAR(m.mass, mass, 1e-6);
    for (int i = 0; i < 3; i++) {
        EXPECT_NEAR(m.c[i], 0, 1e-12);
        for (int j = 0; j < 3; j++) EXPECT_NEAR(m.I[4 * i + j], inertia.m[i][j], 1e-6) << i << j;
    }
}

void expect_vec(const dReal* v, double x, double y, double z, double tol = 1e-6) {
    EXPECT_NEAR(v[0], x, tol);
    EXPECT_NEAR(v[1], y, tol);
    EXPECT_NEAR(v[2], z, tol);
}

// Number of bodies and joints in the world, from ODE's own dump of it.
void world_census(int* bodies, int* joints) {
    *bodies = *joints = -1;
    std::string path = test_dir() + "/world.dif";
    FILE* f = fopen(path.c_str(), "w");
    ASSERT_NE(f, nullptr);
    dWorldExportDIF(g_physics.world, f, "w");
    fclose(f);
    std::string text = read_file(path);
    *bodies = *joints = 0;
    const std::string tag = "dynamics.";
    for (size_t at = text.find(tag); at != std::string::npos; at = text.find(tag, at + 1)) {
        size_t start = at + tag.size();
        std::string kind = text.substr(start, text.find_first_of(" \n", start) - start);
        if (kind == "body") ++*bodies;
        if (kind.size() > 6 && kind.compare(kind.size() - 6, 6, "_joint") == 0) ++*joints;
    }
}

class BikeAssembly : public ::testing::Test {
  protected:
    void SetUp() override {
        // No window in unit tests: the texture manager must not reach GL.
        g_settings.headless = 1;
        bikes_reset();
        physics_open();
    }
    void TearDown() override {
        g_settings.headless = 0;
        physics_close_contacts();
        physics_close_world();
    }
    Bike* load(const char* name = "crf250(2009)") {
        Bike* b = bike_load(name, 1, "7", nullptr, nullptr, nullptr, nullptr);
        EXPECT_NE(b, nullptr);
        return b;
    }
    void step(int n) {
        for (int i = 0; i < n; i++) dWorldStep(g_physics.world, H);
    }
};

} // namespace

TEST_F(BikeAssembly, BodyMassesFromTheMassModels) {
    Bike* b = load();
    const BikeInfo& in = b->info;

    // Wheels: a hub sphere and a ring of 16 spheres of radius tube at distance torus about
    // x; the ring gives tyre x R^2 about the axle and half that about y and z.
    for (int w = 0; w < 2; w++) {
        const WheelInfo& wi = w == 0 ? in.front_wheel : in.rear_wheel;
        double hub = 0.4 * wi.hub_mass * wi.hub_radius * wi.hub_radius;
        double tube = 0.4 * wi.tyre_mass * wi.tube_radius * wi.tube_radius;
        double ring = (double)wi.tyre_mass * wi.torus_radius * wi.torus_radius;
        expect_mass(b->bodies[w == 0 ? BODY_FRONT_WHEEL : BODY_REAR_WHEEL],
                    w == 0 ? 0.5625 : 0.78125,
                    diag(hub + tube + ring, hub + tube + ring / 2, hub + tube + ring / 2),
                    w == 0 ? "front wheel" : "rear wheel");
        EXPECT_EQ(
            dBodyGetFiniteRotationMode(b->bodies[w == 0 ? BODY_FRONT_WHEEL : BODY_REAR_WHEEL]), 1);
    }

    // Forks: two cylinders along y (radius s/8, length 2/3 of the fork) at x = +-s/2,
    // turned back by the rake.
    {
        double M = in.fork_mass, s = in.fork_leg_spacing, r = s / 8, l = in.fork_length * 2.0 / 3;
        double across = M * (r * r / 4 + l * l / 12), offset = M * (s / 2) * (s / 2);
        M3 local = diag(across, M * r * r / 2 + offset, across + offset);
        double rake = atan(((double)in.fork_lower_position[2] - in.steering_position[2]) /
                           ((double)in.fork_lower_position[1] - in.steering_position[1]));
        EXPECT_NEAR(rake, 0.4672, 1e-4);
        M3 turned = turn(rot_x(rake), local);
        expect_mass(b->bodies[BODY_STEERING], M, turned, "steering");
        expect_mass(b->bodies[BODY_FORK_LOWER], M, turned, "lower fork");
    }

    // Swingarm: two boxes (s/4, s/4, L) at x = +-s/2, tilted down to the rear axle.
    {
        double m = in.swingarm_mass, s = in.fork_leg_spacing, a = s / 4;
        double dy = (double)in.rear_wheel.position[1] - in.swingarm_pivot[1];
        double dz = (double)in.rear_wheel.position[2] - in.swingarm_pivot[2];
        double L = sqrt(dy * dy + dz * dz);
        EXPECT_NEAR(L, 1.9080, 1e-4);
        double offset = 2 * m * (s / 2) * (s / 2);
        M3 local = diag(2 * m / 12 * (a * a + L * L), 2 * m / 12 * (a * a + L * L) + offset,
                        2 * m / 12 * (2 * a * a) + offset);
        double tilt = -atan(dy / dz);
        EXPECT_NEAR(tilt, 0.2869, 1e-4);
        expect_mass(b->bodies[BODY_SWINGARM], 2 * m, turn(rot_x(tilt), local), "swingarm");
    }

    // Frame: a box carrying two thirds of the rider; rider: a unit sphere with the rest.
    {
        double m = in.frame_mass + 2.0 / 3 * in.rider_mass;
        double x = in.frame_size[0], y = in.frame_size[1], z = in.frame_size[2];
        expect_mass(
            b->bodies[BODY_FRAME], m,
            diag(m / 12 * (y * y + z * z), m / 12 * (x * x + z * z), m / 12 * (x * x + y * y)),
            "frame");
        double mr = in.rider_mass / 3.0;
        expect_mass(b->bodies[BODY_RIDER], mr, diag(0.4 * mr, 0.4 * mr, 0.4 * mr), "rider");
    }
    EXPECT_NEAR(b->total_mass, 12.68625, 1e-5);
    bike_free(b);
}

TEST_F(BikeAssembly, TwoStrokeMasses) {
    Bike* b = load("kx125");
    dMass m;
    dBodyGetMass(b->bodies[BODY_FRAME], &m);
    EXPECT_NEAR(m.mass, 3.65375 + 2.0 / 3 * 4.6875, 1e-6);
    dBodyGetMass(b->bodies[BODY_STEERING], &m);
    EXPECT_NEAR(m.mass, 0.7396875, 1e-7);
    dBodyGetMass(b->bodies[BODY_SWINGARM], &m);
    EXPECT_NEAR(m.mass, 2 * 0.541875, 1e-7);
    EXPECT_NEAR(b->total_mass, 3.65375 + 4.6875 + 0.5625 + 0.78125 + 2 * 0.7396875 + 2 * 0.541875,
                1e-5);
    bike_free(b);
}

TEST_F(BikeAssembly, BodiesAtTheirCataloguePositions) {
    Bike* b = load();
    const BikeInfo& in = b->info;
    const float* expected[BIKE_BODY_COUNT] = {in.frame_position,      in.front_wheel.position,
                                              in.rear_wheel.position, in.steering_position,
                                              in.fork_lower_position, in.swingarm_position,
                                              in.rider_position};
    for (int i = 0; i < BIKE_BODY_COUNT; i++) {
        const dReal* p = dBodyGetPosition(b->bodies[i]);
        expect_vec(p, expected[i][0], expected[i][1], expected[i][2]);
        for (int k = 0; k < 3; k++) EXPECT_FLOAT_EQ(b->rest_positions[i][k], expected[i][k]);
        const dReal* r = dBodyGetRotation(b->bodies[i]);
        EXPECT_NEAR(r[0], 1, 1e-12);
        EXPECT_NEAR(r[5], 1, 1e-12);
        EXPECT_NEAR(r[10], 1, 1e-12);
    }
    EXPECT_EQ(b->wheels[0].body, b->bodies[BODY_FRONT_WHEEL]);
    EXPECT_EQ(b->wheels[1].body, b->bodies[BODY_REAR_WHEEL]);
    EXPECT_FLOAT_EQ(b->wheels[0].axle[0], 1);
    EXPECT_FLOAT_EQ(b->wheels[1].torus_radius, 0.75f);
    EXPECT_FLOAT_EQ(b->wheels[0].tube_radius, 0.333333f);
    bike_free(b);
}

TEST_F(BikeAssembly, JointsAttachAnchorsAxesStopsAndFeedback) {
    Bike* b = load();
    const BikeInfo& in = b->info;
    dBodyID* body = b->bodies;
    dJointID* j = b->joints;
    dVector3 v;

    struct Attach {
        int joint, type, body1, body2;
    } attach[] = {{JOINT_FRONT_AXLE, dJointTypeHinge, BODY_FORK_LOWER, BODY_FRONT_WHEEL},
                  {JOINT_REAR_AXLE, dJointTypeHinge, BODY_SWINGARM, BODY_REAR_WHEEL},
                  {JOINT_STEERING_HEAD, dJointTypeHinge, BODY_STEERING, BODY_FRAME},
                  {JOINT_FORK, dJointTypeSlider, BODY_STEERING, BODY_FORK_LOWER},
                  {JOINT_SWINGARM_PIVOT, dJointTypeHinge, BODY_SWINGARM, BODY_FRAME},
                  {JOINT_RIDER_MOUNT, dJointTypeHinge2, BODY_RIDER, BODY_FRAME}};
    for (const Attach& a : attach) {
        SCOPED_TRACE(a.joint);
        EXPECT_EQ((int)dJointGetType(j[a.joint]), a.type);
        EXPECT_EQ(dJointGetBody(j[a.joint], 0), body[a.body1]);
        EXPECT_EQ(dJointGetBody(j[a.joint], 1), body[a.body2]);
        EXPECT_EQ((const void*)dJointGetFeedback(j[a.joint]),
                  (const void*)&b->joint_feedback[a.joint]);
    }

    dJointGetHingeAnchor(j[JOINT_FRONT_AXLE], v);
    expect_vec(v, 0, 1.09, 1.11);
    dJointGetHingeAxis(j[JOINT_FRONT_AXLE], v);
    expect_vec(v, 1, 0, 0);
    dJointGetHingeAnchor(j[JOINT_REAR_AXLE], v);
    expect_vec(v, 0, 1.04, 6.0);
    dJointGetHingeAxis(j[JOINT_REAR_AXLE], v);
    expect_vec(v, 1, 0, 0);

    // The steering axis runs from the lower fork up to the steering body: (0, 1.13, 0.57).
    double n = sqrt(1.13 * 1.13 + 0.57 * 0.57);
    dJointGetHingeAnchor(j[JOINT_STEERING_HEAD], v);
    expect_vec(v, in.steering_position[0], in.steering_position[1], in.steering_position[2]);
    dJointGetHingeAxis(j[JOINT_STEERING_HEAD], v);
    expect_vec(v, 0, 1.13 / n, 0.57 / n);
    EXPECT_NEAR(dJointGetHingeParam(j[JOINT_STEERING_HEAD], dParamLoStop), -PI / 4, 1e-12);
    EXPECT_NEAR(dJointGetHingeParam(j[JOINT_STEERING_HEAD], dParamHiStop), PI / 4, 1e-12);

    dJointGetSliderAxis(j[JOINT_FORK], v);
    expect_vec(v, 0, 1.13 / n, 0.57 / n);
    EXPECT_EQ(dJointGetSliderParam(j[JOINT_FORK], dParamBounce), 0);
    EXPECT_NEAR(dJointGetSliderParam(j[JOINT_FORK], dParamLoStop), -1.0, 1e-7);
    EXPECT_EQ(dJointGetSliderParam(j[JOINT_FORK], dParamHiStop), 0);
    EXPECT_NEAR(dJointGetSliderPosition(j[JOINT_FORK]), 0, 1e-9);

    dJointGetHingeAnchor(j[JOINT_SWINGARM_PIVOT], v);
    expect_vec(v, 0, 1.58, 4.17);
    dJointGetHingeAxis(j[JOINT_SWINGARM_PIVOT], v);
    expect_vec(v, 1, 0, 0);
    EXPECT_EQ(dJointGetHingeParam(j[JOINT_SWINGARM_PIVOT], dParamBounce), 0);
    EXPECT_NEAR(dJointGetHingeParam(j[JOINT_SWINGARM_PIVOT], dParamLoStop), -0.55, 1e-7);
    EXPECT_EQ(dJointGetHingeParam(j[JOINT_SWINGARM_PIVOT], dParamHiStop), 0);

    // The rider mount: anchor 50 feet ahead at the rider's height.
    dJointGetHinge2Anchor(j[JOINT_RIDER_MOUNT], v);
    expect_vec(v, 0, 4.5, -50);
    dJointGetHinge2Axis1(j[JOINT_RIDER_MOUNT], v);
    expect_vec(v, 0, sqrt(0.5), sqrt(0.5));
    dJointGetHinge2Axis2(j[JOINT_RIDER_MOUNT], v);
    expect_vec(v, 1, 0, 0);
    EXPECT_EQ(dJointGetHinge2Param(j[JOINT_RIDER_MOUNT], dParamLoStop), 0);
    EXPECT_EQ(dJointGetHinge2Param(j[JOINT_RIDER_MOUNT], dParamHiStop), 0);
    EXPECT_EQ(dJointGetHinge2Param(j[JOINT_RIDER_MOUNT], dParamSuspensionERP), 0);
    bike_free(b);
}

TEST_F(BikeAssembly, StopsHoldUnderLargeLoads) {
    dWorldSetGravity(g_physics.world, 0, 0, 0);
    Bike* b = load();
    dBodyID* body = b->bodies;
    dJointID* j = b->joints;
    dVector3 axis;
    dJointGetHingeAxis(j[JOINT_STEERING_HEAD], axis);

    // Each load drives its joint into a stop. ODE's stops are reached within one step's
    // travel and then hold: a joint may pass its stop only by what it moves in a tick.
    const double transient = 0.1, settled = 0.005;
    for (int sign = -1; sign <= 1; sign += 2) {
        for (int i = 0; i < 256; i++) {
            dReal t = 40.0 * sign;
            dBodyAddTorque(body[BODY_STEERING], t * axis[0], t * axis[1], t * axis[2]);
            dBodyAddTorque(body[BODY_FRAME], -t * axis[0], -t * axis[1], -t * axis[2]);
            // Push the lower fork along the fork axis: up (compress) for -1, down for +1.
            dReal f = -100.0 * sign;
            dBodyAddForce(body[BODY_FORK_LOWER], f * axis[0], f * axis[1], f * axis[2]);
            dBodyAddForce(body[BODY_STEERING], -f * axis[0], -f * axis[1], -f * axis[2]);
            // Negative torque about x lifts the rear axle (compresses).
            dReal s = 60.0 * sign;
            dBodyAddTorque(body[BODY_SWINGARM], s, 0, 0);
            dBodyAddTorque(body[BODY_FRAME], -s, 0, 0);
            dWorldStep(g_physics.world, H);
            EXPECT_LE(fabs(dJointGetHingeAngle(j[JOINT_STEERING_HEAD])), PI / 4 + transient);
            EXPECT_GE(dJointGetSliderPosition(j[JOINT_FORK]), -1 - transient);
            EXPECT_LE(dJointGetSliderPosition(j[JOINT_FORK]), transient);
            EXPECT_GE(dJointGetHingeAngle(j[JOINT_SWINGARM_PIVOT]), -0.55 - transient);
            EXPECT_LE(dJointGetHingeAngle(j[JOINT_SWINGARM_PIVOT]), transient);
        }
        // Held against the stops.
        EXPECT_NEAR(dJointGetHingeAngle(j[JOINT_STEERING_HEAD]), sign * PI / 4, settled);
        EXPECT_NEAR(dJointGetSliderPosition(j[JOINT_FORK]), sign < 0 ? -1.0 : 0.0, settled);
        EXPECT_NEAR(dJointGetHingeAngle(j[JOINT_SWINGARM_PIVOT]), sign < 0 ? -0.55 : 0.0, settled);
    }
    bike_free(b);
}

TEST_F(BikeAssembly, RotateThenTranslateKeepsTheAssemblyTogether) {
    Bike* b = load();
    const BikeInfo& in = b->info;
    const float axis[3] = {0, 1, 0};
    const double angle = 2.3;
    bike_rotate(b, axis, (float)angle);
    bike_translate(b, 100, 7.5, -40);

    // Every body carries the rotation about y; its position is R p + offset.
    double c = cos((float)angle), s = sin((float)angle);
    const float* rest[BIKE_BODY_COUNT] = {in.frame_position,      in.front_wheel.position,
                                          in.rear_wheel.position, in.steering_position,
                                          in.fork_lower_position, in.swingarm_position,
                                          in.rider_position};
    for (int i = 0; i < BIKE_BODY_COUNT; i++) {
        const dReal* r = dBodyGetRotation(b->bodies[i]);
        EXPECT_NEAR(r[0], c, 1e-6);
        EXPECT_NEAR(r[2], s, 1e-6);
        EXPECT_NEAR(r[8], -s, 1e-6);
        EXPECT_NEAR(r[5], 1, 1e-6);
        const float* p = rest[i];
        expect_vec(dBodyGetPosition(b->bodies[i]), c * p[0] + s * p[2] + 100, p[1] + 7.5,
                   -s * p[0] + c * p[2] - 40, 1e-5);
    }
    // The joints see no error: both bodies' anchors coincide, angles and positions are 0.
    dVector3 a1, a2;
    for (int j : {JOINT_FRONT_AXLE, JOINT_REAR_AXLE, JOINT_STEERING_HEAD, JOINT_SWINGARM_PIVOT}) {
        dJointGetHingeAnchor(b->joints[j], a1);
        dJointGetHingeAnchor2(b->joints[j], a2);
        expect_vec(a1, a2[0], a2[1], a2[2], 1e-5);
        EXPECT_NEAR(dJointGetHingeAngle(b->joints[j]), 0, 1e-6);
    }
    EXPECT_NEAR(dJointGetSliderPosition(b->joints[JOINT_FORK]), 0, 1e-5);
    dJointGetHinge2Anchor(b->joints[JOINT_RIDER_MOUNT], a1);
    dJointGetHinge2Anchor2(b->joints[JOINT_RIDER_MOUNT], a2);
    expect_vec(a1, a2[0], a2[1], a2[2], 1e-4);
    bike_free(b);
}

TEST_F(BikeAssembly, DisableAndEnable) {
    Bike* b = load();
    bike_disable_bodies(b);
    for (dBodyID body : b->bodies) EXPECT_FALSE(dBodyIsEnabled(body));
    bike_enable_bodies(b);
    for (dBodyID body : b->bodies) EXPECT_TRUE(dBodyIsEnabled(body));
    bike_free(b);
}

TEST_F(BikeAssembly, RiderDistributionRebuildsFrameAndRiderOnly) {
    Bike* b = load();
    dMass before[BIKE_BODY_COUNT];
    for (int i = 0; i < BIKE_BODY_COUNT; i++) dBodyGetMass(b->bodies[i], &before[i]);
    g_config.rider_mass_distribution.value = 0.5;
    bike_apply_setup(b);
    dMass m;
    dBodyGetMass(b->bodies[BODY_RIDER], &m);
    EXPECT_NEAR(m.mass, 2.34375, 1e-7);
    EXPECT_NEAR(m.I[0], 0.4 * 2.34375, 1e-7);
    dBodyGetMass(b->bodies[BODY_FRAME], &m);
    EXPECT_NEAR(m.mass, 6.58375, 1e-6);
    double y = b->info.frame_size[1], z = b->info.frame_size[2];
    EXPECT_NEAR(m.I[0], 6.58375 / 12 * (y * y + z * z), 1e-6);
    for (int i :
         {BODY_FRONT_WHEEL, BODY_REAR_WHEEL, BODY_STEERING, BODY_FORK_LOWER, BODY_SWINGARM}) {
        dBodyGetMass(b->bodies[i], &m);
        EXPECT_EQ(m.mass, before[i].mass);
        EXPECT_EQ(m.I[0], before[i].I[0]);
    }
    EXPECT_NEAR(b->total_mass, 12.68625, 1e-5);
    EXPECT_FLOAT_EQ(b->rider_distribution, 0.5f);
    bike_free(b);
}

TEST_F(BikeAssembly, ResetPutsEverythingBackAtRest) {
    Bike* b = load();
    const BikeInfo& in = b->info;
    // Disturb it: crash, drive state, motion, race progress.
    step(40);
    bike_translate(b, 3, 9, 1);
    dBodySetLinearVel(b->bodies[BODY_FRAME], 5, 1, 2);
    dBodySetAngularVel(b->bodies[BODY_FRONT_WHEEL], 30, 0, 0);
    bike_detach_rider_mount(b);
    dBodySetPosition(b->bodies[BODY_RIDER], 20, 3, 4);
    b->crash_countdown = 300;
    b->gear = 3;
    b->last_shift = 1;
    b->throttle = b->clutch = b->front_brake = b->rear_brake = 1;
    b->steer = b->lean = -0.5f;
    b->dab = b->back_up = b->crash_blend = 0.5f;
    b->engine_speed = 900;
    b->clutch_wind = 1;
    b->landing_damping = 3;
    b->steer_authority = 20;
    b->last_bike_contact = 77;
    b->rider_velocity_ring[2][1] = 4;
    b->joint_feedback[3].f1[0] = 9;

    bike_reset(b);
    const float* rest[BIKE_BODY_COUNT] = {in.frame_position,      in.front_wheel.position,
                                          in.rear_wheel.position, in.steering_position,
                                          in.fork_lower_position, in.swingarm_position,
                                          in.rider_position};
    for (int i = 0; i < BIKE_BODY_COUNT; i++) {
        expect_vec(dBodyGetPosition(b->bodies[i]), rest[i][0], rest[i][1], rest[i][2]);
        expect_vec(dBodyGetLinearVel(b->bodies[i]), 0, 0, 0);
        expect_vec(dBodyGetAngularVel(b->bodies[i]), 0, 0, 0);
        EXPECT_NEAR(dBodyGetRotation(b->bodies[i])[0], 1, 1e-12);
        for (int k = 0; k < 3; k++) EXPECT_FLOAT_EQ(b->rest_positions[i][k], rest[i][k]);
    }
    EXPECT_EQ(dJointGetBody(b->joints[JOINT_RIDER_MOUNT], 0), b->bodies[BODY_RIDER]);
    EXPECT_EQ(dJointGetBody(b->joints[JOINT_RIDER_MOUNT], 1), b->bodies[BODY_FRAME]);
    EXPECT_EQ(b->crash_countdown, 0);
    EXPECT_EQ(b->gear, 0);
    EXPECT_EQ(b->last_shift, 0);
    EXPECT_EQ(b->throttle + b->clutch + b->front_brake + b->rear_brake, 0);
    EXPECT_EQ(b->steer, 0);
    EXPECT_EQ(b->lean, 0);
    EXPECT_EQ(b->dab + b->back_up + b->crash_blend, 0);
    EXPECT_EQ(b->engine_speed, 0);
    EXPECT_EQ(b->clutch_wind, 0);
    EXPECT_EQ(b->landing_damping, 1);
    EXPECT_EQ(b->steer_authority, 1000);
    EXPECT_EQ(b->last_bike_contact, -1);
    EXPECT_EQ(b->rider_velocity_ring[2][1], 0);
    EXPECT_EQ(b->joint_feedback[3].f1[0], 0);
    bike_free(b);
}

TEST_F(BikeAssembly, RiderMountReattachesInTheFramesPose) {
    Bike* b = load();
    bike_detach_rider_mount(b);
    EXPECT_EQ(dJointGetBody(b->joints[JOINT_RIDER_MOUNT], 0), nullptr);
    EXPECT_EQ(dJointGetBody(b->joints[JOINT_RIDER_MOUNT], 1), nullptr);

    const float axis[3] = {0, 1, 0};
    bike_rotate(b, axis, 0.5f);
    bike_translate(b, 10, 0, 20);
    bike_attach_rider_mount(b);
    EXPECT_EQ(dJointGetBody(b->joints[JOINT_RIDER_MOUNT], 0), b->bodies[BODY_RIDER]);
    EXPECT_EQ(dJointGetBody(b->joints[JOINT_RIDER_MOUNT], 1), b->bodies[BODY_FRAME]);
    // Anchor: the rest anchor (0, 4.5, -50) carried along with the bike.
    double c = cos(0.5f), s = sin(0.5f);
    dVector3 v;
    dJointGetHinge2Anchor(b->joints[JOINT_RIDER_MOUNT], v);
    expect_vec(v, s * -50 + 10, 4.5, c * -50 + 20, 1e-5);
    dJointGetHinge2Axis1(b->joints[JOINT_RIDER_MOUNT], v);
    expect_vec(v, s * sqrt(0.5), sqrt(0.5), c * sqrt(0.5), 1e-6);
    dJointGetHinge2Axis2(b->joints[JOINT_RIDER_MOUNT], v);
    expect_vec(v, c, 0, -s, 1e-6);
    bike_free(b);
}

TEST_F(BikeAssembly, DestructionLeavesTheWorldEmpty) {
    int bodies, joints;
    world_census(&bodies, &joints);
    EXPECT_EQ(bodies, 0);
    EXPECT_EQ(joints, 0);
    Bike* a = load();
    Bike* b = load("cr125");
    world_census(&bodies, &joints);
    EXPECT_EQ(bodies, 14);
    EXPECT_EQ(joints, 12);
    bike_free(a);
    world_census(&bodies, &joints);
    EXPECT_EQ(bodies, 7);
    EXPECT_EQ(joints, 6);
    // A crashed bike (rider mount detached) goes as cleanly.
    bike_detach_rider_mount(b);
    bike_free(b);
    world_census(&bodies, &joints);
    EXPECT_EQ(bodies, 0);
    EXPECT_EQ(joints, 0);
    bike_free(nullptr);
}

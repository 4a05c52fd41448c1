// Shared set-up of the bike mechanics tests: a physics world, a loaded bike (its data files
// are absent, so it has no shapes or models), the session clock, and small vector helpers.
#pragma once

#include <gtest/gtest.h>
#include <ode/ode.h>

#include <cmath>
#include <string>

#include "core/settings.h"
#include "bike/bike.h"
#include "bike/world.h"
#include "platform/log.h"
#include "support/test_env.h"
#include "track/terrain.h"

namespace biketest {

constexpr double PI = 3.14159265358979323846;
constexpr double H = 1.0 / 128;

struct Vec {
    double x, y, z;
};

inline Vec vec(const dReal* v) {
    return Vec{v[0], v[1], v[2]};
}

inline void expect_vec(const dReal* v, double x, double y, double z, double tol = 1e-6) {
    EXPECT_NEAR(v[0], x, tol);
    EXPECT_NEAR(v[1], y, tol);
    EXPECT_NEAR(v[2], z, tol);
}

inline std::string log_path() {
    return test_dir() + "/log.txt";
}

class BikeFixture : public ::testing::Test {
  protected:
    Bike* bike = nullptr;

    void SetUp() override {
        log_setup(("DRUV_LOGFILE=" + log_path()).c_str());
        g_settings.headless = 1;
        bikes_reset();
        physics_open();
        physics_set_clock(0);
        bike = bike_load("crf250(2009)", 1, "7", nullptr, nullptr, nullptr, nullptr);
        ASSERT_NE(bike, nullptr);
    }
    void TearDown() override {
        // ODE reports solver trouble through the log.
        EXPECT_EQ(log_text().find("ODE "), std::string::npos) << log_text();
        bike_free(bike);
        physics_set_clock(0);
        g_settings.headless = 0;
        terrain_free(&g_terrain);
        physics_close_contacts();
        physics_close_world();
    }
    // One world step of the accumulated forces and temporary joints.
    void world_step() {
        dWorldStep(g_physics.world, H);
        dJointGroupEmpty(g_physics.contacts);
    }
    void no_gravity() { dWorldSetGravity(g_physics.world, 0, 0, 0); }
    // Weightless, with both suspensions a little off their stops: nothing else loads them in
    // weightlessness, and ODE's solver can fail on a joint stop that carries exactly nothing
    // while other constraints pull on the assembly.
    void float_free() {
        no_gravity();
        compress_fork(0.05);
        compress_swingarm(0.02);
    }
    // The lower fork and front wheel moved up the steering axis by `depth` feet.
    void compress_fork(double depth) {
        const BikeInfo& in = bike->info;
        double y = (double)in.steering_position[1] - in.fork_lower_position[1];
        double z = (double)in.steering_position[2] - in.fork_lower_position[2];
        double l = sqrt(y * y + z * z);
        for (int b : {BODY_FORK_LOWER, BODY_FRONT_WHEEL}) {
            const dReal* p = dBodyGetPosition(bike->bodies[b]);
            dBodySetPosition(bike->bodies[b], p[0], p[1] + depth * y / l, p[2] + depth * z / l);
        }
    }
    // The swingarm and rear wheel turned up about the pivot by `angle` radians (upright bike).
    void compress_swingarm(double angle) {
        const float* pivot = bike->info.swingarm_pivot;
        dMatrix3 r;
        dRFromAxisAndAngle(r, 1, 0, 0, -angle);
        for (int b : {BODY_SWINGARM, BODY_REAR_WHEEL}) {
            const dReal* p = dBodyGetPosition(bike->bodies[b]);
            double d[3] = {p[0] - pivot[0], p[1] - pivot[1], p[2] - pivot[2]};
            dBodySetPosition(bike->bodies[b], pivot[0] + r[0] * d[0] + r[1] * d[1] + r[2] * d[2],
                             pivot[1] + r[4] * d[0] + r[5] * d[1] + r[6] * d[2],
                             pivot[2] + r[8] * d[0] + r[9] * d[1] + r[10] * d[2]);
            dBodySetRotation(bike->bodies[b], r);
        }
    }
    void clear_forces() {
        for (dBodyID b : bike->bodies) {
            dBodySetForce(b, 0, 0, 0);
            dBodySetTorque(b, 0, 0, 0);
        }
    }
    void set_all_velocities(double x, double y, double z) {
        for (dBodyID b : bike->bodies) dBodySetLinearVel(b, x, y, z);
    }
    dBodyID body(int i) { return bike->bodies[i]; }
    // Both wheels on the ground (the contact records only; no contact joints).
    void wheels_touch(bool front, bool rear) {
        bike->wheels[0].depth = front ? 0.05f : 0;
        bike->wheels[1].depth = rear ? 0.05f : 0;
    }
    // The frame leaning by `roll` (positive to its left) and heading turned by `yaw` about
    // world y, applied to every body about the world origin.
    void pose(double yaw, double roll) {
        dMatrix3 ry, rz, r;
        dRFromAxisAndAngle(ry, 0, 1, 0, yaw);
        dRFromAxisAndAngle(rz, 0, 0, 1, roll);
        dMultiply0(r, ry, rz, 3, 3, 3);
        for (dBodyID b : bike->bodies) {
            const dReal* p = dBodyGetPosition(b);
            dReal q[3];
            for (int i = 0; i < 3; i++)
                q[i] = r[4 * i] * p[0] + r[4 * i + 1] * p[1] + r[4 * i + 2] * p[2];
            dBodySetRotation(b, r);
            dBodySetPosition(b, q[0], q[1], q[2]);
        }
    }
    std::string log_text() { return read_file(log_path()); }
};

} // namespace biketest

// Physics that distrusts its data: surface and shape files holding values no ground or bike
// part could have are clamped where they are read, and a bike riding on them stays finite and
// behaves as the clamped values say.
#include <gtest/gtest.h>
#include <ode/ode.h>

#include <cmath>
#include <cstdlib>
#include <string>

#include "core/settings.h"
#include "bike/bike.h"
#include "bike/contact.h"
#include "bike/harness.h"
#include "bike/step.h"
#include "data/datafile.h"
#include "data/model.h"
#include "data/shape.h"
#include "data/texture.h"
#include "platform/log.h"
#include "support/test_env.h"
#include "track/surface.h"
#include "track/terrain.h"

namespace {

constexpr float CENTRE = 1024; // middle of the flat track

std::string log_path() {
    return test_dir() + "/log.txt";
}

bool finite_state(const Bike* b) {
    for (dBodyID body : b->bodies)
        for (int i = 0; i < 3; i++)
            if (!std::isfinite(dBodyGetPosition(body)[i]) ||
                !std::isfinite(dBodyGetLinearVel(body)[i]) ||
                !std::isfinite(dBodyGetAngularVel(body)[i]))
                return false;
    return true;
}

double ground_speed(const Bike* b) {
    const dReal* v = dBodyGetLinearVel(b->bodies[BODY_FRAME]);
    return std::sqrt(v[0] * v[0] + v[2] * v[2]);
}

class BadData : public ::testing::Test {
  protected:
    void SetUp() override {
        log_setup(("DRUV_LOGFILE=" + log_path()).c_str());
        g_settings.headless = 1;
        // The generated bikes; a file in the per-user folder overrides one of theirs.
        setenv("QZ_HOME", VORNIX_BUILD_DIR "/data", 1);
        data_reset();
        bikes_reset();
        contacts_reset();
        shape_reset();
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
    std::string log_text() { return read_file(log_path()); }
    // The flat track's one surface replaced by a "tileinfo" read from this text.
    void surface_from(const std::string& tileinfo) {
        ASSERT_EQ(harness_flat_track(2048), 1);
        std::string path = test_dir() + "/tracks/flat/tileinfo";
        write_file(path, tileinfo);
        DataFile* f = data_open(path.c_str(), "rb");
        ASSERT_NE(f, nullptr);
        surface_types_read_tileinfo(&g_terrain, f);
        data_close(f);
        ASSERT_EQ(g_terrain.surfaces.size(), 1u);
    }
};

} // namespace

TEST_F(BadData, RollingResistanceOfIntMaxIsHeldAtItsLimitAndRiddenOver) {
    surface_from("friction 1 5\nroll_resist 2147483647 2147483647 10\naddtile\n");
    const RollPoint& r = g_terrain.surfaces[0].roll_resist[0];
    EXPECT_EQ(r.force_loose, SURFACE_ROLL_FORCE_MAX);
    EXPECT_EQ(r.force_sunk, SURFACE_ROLL_FORCE_MAX);
    EXPECT_NE(log_text().find("tracks/flat/tileinfo: roll_resist force 2.14748e+09 out of range (0 "
                              "to 500), using 500\n"),
              std::string::npos)
        << log_text();

    Bike* b = harness_add_bike("crf250(2009)", CENTRE, CENTRE, 0);
    ASSERT_NE(b, nullptr);
    harness_run(128);
    ASSERT_TRUE(finite_state(b));
    // Launched at 60 ft/s over it, throttle closed: both wheels are held back by 500 lbf each,
    // 2 x 500 / 12.69 = 79 ft/s^2 on the whole bike, so it stops within about 0.8 s. Two
    // seconds on, it stands, and nothing went out of range on the way.
    const dReal* rot = dBodyGetRotation(b->bodies[BODY_FRAME]);
    for (dBodyID body : b->bodies) dBodySetLinearVel(body, -rot[2] * 60, 0, -rot[10] * 60);
    for (int w : {BODY_FRONT_WHEEL, BODY_REAR_WHEEL})
        dBodySetAngularVel(b->bodies[w], rot[0] * -55, rot[4] * -55, rot[8] * -55);
    double start_z = dBodyGetPosition(b->bodies[BODY_FRAME])[2];
    for (int i = 0; i < 256; i++) {
        harness_tick();
        ASSERT_TRUE(finite_state(b)) << "tick " << i;
    }
    EXPECT_LT(ground_speed(b), 2.0);
    // Stopping from 60 ft/s at 79 ft/s^2 takes 60^2 / (2 x 79) = 23 ft; far less than the 120 ft
    // two seconds at full speed would cover.
    double travelled = std::fabs(dBodyGetPosition(b->bodies[BODY_FRAME])[2] - start_z);
    EXPECT_LT(travelled, 60);
    EXPECT_GT(travelled, 10);
}

TEST_F(BadData, FullThrottleOnTheHeaviestGroundStaysFinite) {
    // Every value at or beyond its limit at once: grip of 1e30, resistance of 1e30 that even
    // falls with speed, points crowding at the smallest speed.
    surface_from("friction 1e30 0\nfriction 0 1e30\nroll_resist 1e30 0 0\n"
                 "roll_resist 0 1e30 1e-30\naddtile\n");
    EXPECT_EQ(g_terrain.surfaces[0].friction[0].coefficient, SURFACE_FRICTION_MAX);
    Bike* b = harness_add_bike("crf250(2009)", CENTRE, CENTRE, 0);
    ASSERT_NE(b, nullptr);
    bike_set_throttle(b, 1);
    for (int i = 0; i < 640; i++) {
        harness_tick();
        ASSERT_TRUE(finite_state(b)) << "tick " << i;
    }
    EXPECT_EQ(log_text().find("non-finite physics state"), std::string::npos);
}

TEST_F(BadData, AShapeSphereOfRadius10000IsHeldAt100AndTheBikeStillLoads) {
    // The frame's shape, overridden from the per-user folder.
    write_file(test_user_dir() + "generic_frame.shp", "1\n0 0 0 10000 0.4 25000 2500\n");
    ASSERT_EQ(harness_flat_track(2048), 1);
    Bike* b = harness_add_bike("crf250(2009)", CENTRE, CENTRE, 0);
    ASSERT_NE(b, nullptr);
    ASSERT_NE(b->shapes[BODY_FRAME], nullptr);
    EXPECT_EQ(b->shapes[BODY_FRAME]->spheres[0].radius, SHAPE_RADIUS_MAX);
    EXPECT_NE(log_text().find("generic_frame.shp: shape sphere radius 10000 out of range (0 to "
                              "100), using 100\n"),
              std::string::npos)
        << log_text();
    // Placed where the 100 ft sphere around the frame clears the ground: the frame stands
    // 100 ft up, within the 1/4 ft steps of the placement.
    double y = dBodyGetPosition(b->bodies[BODY_FRAME])[1];
    EXPECT_GT(y, 100);
    EXPECT_LT(y, 100 + 0.25 + 2);
    harness_run(64);
    EXPECT_TRUE(finite_state(b));
}

TEST_F(BadData, ShapesThatAreNotNumbersAreRefused) {
    for (const char* text :
         {"1\n0 0 0 1e308 0.4 25000 2500\n", "1\n0 nan 0 0.3 0.4 25000 2500\n", "2000\n"}) {
        shape_reset();
        write_file(test_user_dir() + "generic_frame.shp", text);
        const Shape* s = shape_get("@generic_frame.shp");
        if (std::string(text).find("1e308") != std::string::npos) {
            // Beyond a float is infinity: held at the limit like any other too-large radius.
            ASSERT_NE(s, nullptr);
            EXPECT_EQ(s->spheres[0].radius, SHAPE_RADIUS_MAX);
        } else {
            EXPECT_EQ(s, nullptr) << text;
        }
    }
    // A sphere that could not make a contact joint (no spring, no damper) gets the least damper.
    shape_reset();
    write_file(test_user_dir() + "generic_frame.shp", "1\n0 0 0 0.3 0.4 0 0\n");
    const Shape* s = shape_get("@generic_frame.shp");
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->spheres[0].damper, SHAPE_STIFFNESS_MIN);
}

TEST_F(BadData, GroundQueriesOfAHugeReachVisitOnlyTheFieldAndItsMargin) {
    ASSERT_EQ(harness_flat_track(2048), 1); // 64 tiles of 32 ft: 128 cells of 16 ft per side
    int cells = g_terrain.samples - 1;
    // Margin: ceil(4 ft / 16 ft) + 1 = 2 cells.
    TerrainCellRange r = terrain_cell_range(&g_terrain, CENTRE, CENTRE, 1e30f);
    EXPECT_EQ(r.i0, -2);
    EXPECT_EQ(r.i1, cells + 2);
    EXPECT_EQ(r.j0, -2);
    EXPECT_EQ(r.j1, cells + 2);
    // Far outside the field, the cells from the field out to the centre's own are kept, so a
    // sphere there still meets the ground continuing the edge.
    r = terrain_cell_range(&g_terrain, -1600, CENTRE, 1e30f);
    EXPECT_EQ(r.i0, -100 - 2);
    EXPECT_EQ(r.i1, cells + 2);
    // An ordinary reach is untouched, at the edge too.
    r = terrain_cell_range(&g_terrain, 2, 2, 20);
    EXPECT_EQ(r.i0, -2);
    EXPECT_EQ(r.i1, 2);
    GroundContact g;
    const float centre[3] = {-1600, 5, CENTRE};
    ASSERT_EQ(sphere_ground_contact(&g_terrain, centre, 6, &g), 1);
    EXPECT_NEAR(g.depth, 1, 1e-4);
}

// Contacts: the terrain queries on test terrains built here, the tyre's cubic
// stiffness, friction direction, grip and rolling resistance, a bike standing on flat ground,
// body shapes with the touched flag and the crash rule, bike against bike with joints for the
// first pair and forces after, and objects with the crash speed.
#include <gtest/gtest.h>
#include <ode/ode.h>

#include <cmath>
#include <initializer_list>
#include <memory>
#include <random>
#include <vector>

#include "core/settings.h"
#include "bike/bike.h"
#include "bike/contact.h"
#include "bike/world.h"
#include "contact_test_util.h"
#include "data/datafile.h"
#include "data/model.h"
#include "data/shape.h"
#include "data/texture.h"
#include "gamedata/gamedata_util.h"
#include "support/test_env.h"
#include "track/surface.h"
#include "track/objects.h"
#include "track/terrain.h"

using namespace contacttest;

namespace {

const double PI = 3.14159265358979323846;
const double H = 1.0 / 128;

// A terrain of P x P samples with heights from f(x, z), one surface type.
template <class F> void make_terrain(Terrain* t, int shift, float spacing, F f) {
    terrain_free(t);
    t->shift = shift;
    t->tiles = 1 << shift;
    t->samples = 2 * t->tiles + 1;
    t->spacing = spacing;
    t->tile_size = 2 * spacing;
    t->extent = 2 * t->tiles * spacing;
    t->heights.resize((size_t)t->samples * t->samples);
    for (int j = 0; j < t->samples; j++)
        for (int i = 0; i < t->samples; i++)
            t->heights[i + (size_t)t->samples * j] = f(i * spacing, j * spacing);
    t->tilemap.assign((size_t)t->tiles * t->tiles, 0);
    t->surfaces.assign(1, SurfaceType());
}

void flat_terrain(float height) {
    make_terrain(&g_terrain, 5, 2.0f, [&](float, float) { return height; });
}

Shape* sphere_shape(std::initializer_list<ShapeSphere> spheres) {
    Shape* s = new Shape{"test.shp", (int)spheres.size(), spheres, 0.0f, nullptr};
    for (const ShapeSphere& sp : s->spheres) {
        float reach = sqrtf(sp.centre[0] * sp.centre[0] + sp.centre[1] * sp.centre[1] +
                            sp.centre[2] * sp.centre[2]) +
                      sp.radius;
        if (reach > s->radius) s->radius = reach;
    }
    return s;
}

ShapeSphere ball(float x, float y, float z, float r, float friction = 0.5f, float spring = 5000,
                 float damper = 400) {
    return ShapeSphere{{x, y, z}, r, friction, spring, damper};
}

// Recovers the spring and damper a contact's soft ERP and CFM stand for over one tick.
void spring_of(const dContact& c, double* kp, double* kd) {
    *kp = c.surface.soft_erp / (H * c.surface.soft_cfm);
    *kd = 1 / c.surface.soft_cfm - H * *kp;
}

int contact_joints(dBodyID body, dBodyID other_or_world) {
    int n = 0;
    for (int i = 0; i < dBodyGetNumJoints(body); i++) {
        dJointID j = dBodyGetJoint(body, i);
        if (dJointGetType(j) != dJointTypeContact) continue;
        dBodyID a = dJointGetBody(j, 0), b = dJointGetBody(j, 1);
        dBodyID other = a == body ? b : a;
        if (other == other_or_world) n++;
    }
    return n;
}

int g_crashes = 0;
std::vector<Bike*> g_disturbed;
void count_crash(Bike* bike) {
    g_crashes++;
    bike->crash_countdown = 512;
}
void note_disturbed(Bike* bike) {
    g_disturbed.push_back(bike);
}

class Contacts : public ::testing::Test {
  protected:
    void SetUp() override {
        g_settings.headless = 1;
        bikes_reset();
        physics_open();
        contacts_reset();
        g_crashes = 0;
        g_disturbed.clear();
        physics_set_clock(0);
        physics_set_ground(&g_terrain);
    }
    void TearDown() override {
        for (Bike* b : loaded) bike_free(b);
        texture_reset();
        model_reset();
        shape_reset();
        for (auto& b : minimal) free_minimal(b.get());
        minimal.clear();
        objects_free();
        terrain_free(&g_terrain);
        contacts_reset();
        physics_close_contacts();
        physics_close_world();
        g_settings.headless = 0;
        physics_set_clock(0);
    }
    Bike* load() {
        Bike* b = bike_load("crf250(2009)", 1, "7", nullptr, nullptr, nullptr, nullptr);
        EXPECT_NE(b, nullptr);
        loaded.push_back(b);
        return b;
    }
    // A bike of loose bodies: only what a test gives it.
    Bike* make_minimal() {
        minimal.emplace_back(new Bike());
        Bike* b = minimal.back().get();
        b->steer_authority = 1000;
        b->last_bike_contact = -1;
        return b;
    }
    static dBodyID body_at(Bike* b, int index, double x, double y, double z, double mass = 1) {
        dBodyID body = dBodyCreate(g_physics.world);
        dMass m;
        dMassSetSphereTotal(&m, mass, 0.5);
        dBodySetMass(body, &m);
        dBodySetPosition(body, x, y, z);
        b->bodies[index] = body;
        if (index == BODY_FRONT_WHEEL || index == BODY_REAR_WHEEL) {
            Wheel& w = b->wheels[index == BODY_FRONT_WHEEL ? 0 : 1];
            w.body = body;
            w.axle[0] = 1, w.axle[1] = 0, w.axle[2] = 0;
            w.torus_radius = 1;
            w.tube_radius = 0.3f;
        }
        return body;
    }
    static void free_minimal(Bike* b) {
        for (dBodyID& body : b->bodies)
            if (body) dBodyDestroy(body);
        for (Shape*& s : b->shapes) delete s;
    }
    std::vector<Bike*> loaded;
    std::vector<std::unique_ptr<Bike>> minimal;
};

} // namespace

// ---- Terrain queries ----

TEST_F(Contacts, GroundQueriesOnFlatAndSlopedTerrain) {
    flat_terrain(5);
    GroundContact g;
    // Across a cell corner and far beyond the field (edge heights continue).
    for (float x : {4.0f, 5.3f, 200.0f, -30.0f}) {
        const float c[3] = {x, 5.75f, 6.0f};
        ASSERT_EQ(sphere_ground_contact(&g_terrain, c, 1, &g), 1) << x;
        EXPECT_NEAR(g.depth, 0.25, 1e-5);
        expect_vec(g.normal, 0, 1, 0);
        EXPECT_NEAR(g.point[1], 5, 1e-5);
    }
    const float clear[3] = {10, 6.5f, 10};
    EXPECT_EQ(sphere_ground_contact(&g_terrain, clear, 1, &g), 0);

    // A plane y = 0.5 x: every triangle lies in it. An upright wheel rolling up the slope
    // (axle z) whose centre is h above the plane along its normal reaches R + tube - h deep.
    make_terrain(&g_terrain, 5, 2.0f, [](float x, float) { return 0.5f * x; });
    double s = sqrt(1.25), h = 1.1;
    double n[3] = {-0.5 / s, 1 / s, 0};
    const float centre[3] = {(float)(20 + n[0] * h), (float)(10 + n[1] * h), 20};
    const float axle[3] = {0, 0, 1};
    ASSERT_EQ(torus_ground_contact_at(&g_terrain, centre, axle, 1, 0.3f, &g), 1);
    EXPECT_NEAR(g.depth, 1.3 - h, 1e-4);
    expect_vec(g.normal, n[0], n[1], n[2], 1e-5);
    expect_vec(g.point, 20, 10, 20, 1e-3);

    // A ridge along z at x = 20 (roof shape): the deepest triangle wins.
    make_terrain(&g_terrain, 5, 2.0f, [](float x, float) { return 10 - fabsf(x - 20) * 0.25f; });
    const float top[3] = {21, 10.2f, 31};
    ASSERT_EQ(sphere_ground_contact(&g_terrain, top, 0.5f, &g), 1);
    // Over the right-hand face y = 10 - 0.25 (x - 20): height of (21, 10.2) above it.
    double q = sqrt(1 + 0.0625);
    double d = (10.2 - (10 - 0.25)) / q;
    EXPECT_NEAR(g.depth, 0.5 - d, 1e-5);
    expect_vec(g.normal, 0.25 / q, 1 / q, 0, 1e-5);
}

TEST_F(Contacts, TheYesNoGroundQueryAgreesWithTheDeepestContactSearch) {
    // Bumpy ground and spheres from well clear of it to half buried, across cell corners:
    // stopping at the first contact must answer exactly when the full search finds one, also
    // where only an edge or a corner is touched.
    make_terrain(&g_terrain, 6, 2.0f,
                 [](float x, float z) { return 3 * sinf(0.4f * x) + 2 * cosf(0.3f * z); });
    int touching = 0, clear = 0;
    for (float x = 5; x < 60; x += 1.37f)
        for (float dy = -1.5f; dy < 5; dy += 0.45f) {
            const float z = 7 + 0.61f * x;
            const float c[3] = {x, terrain_height(&g_terrain, x, z) + dy, z};
            for (float r : {0.4f, 1.0f, 4.0f}) {
                GroundContact g;
                bool deepest = sphere_ground_contact(&g_terrain, c, r, &g) == 1;
                ASSERT_EQ(sphere_touches_ground(&g_terrain, c, r), deepest)
                    << x << " " << dy << " " << r;
                (deepest ? touching : clear)++;
            }
        }
    // Both answers were put to the test.
    EXPECT_GT(touching, 100);
    EXPECT_GT(clear, 100);
}

TEST_F(Contacts, FineGridsTakeManyBatchesOfTriangles) {
    // Spacing 0.1 ft: a tyre of reach 1.3 ft covers some 700 cells. On a bowl the deepest
    // triangle lies under the wheel; the answer must not depend on how the cells are visited.
    make_terrain(&g_terrain, 7, 0.1f, [](float x, float z) {
        return 0.02f * ((x - 12) * (x - 12) + (z - 12) * (z - 12));
    });
    const float axle[3] = {1, 0, 0};
    GroundContact g;
    const float c[3] = {12, 1.2f, 12};
    ASSERT_EQ(torus_ground_contact_at(&g_terrain, c, axle, 1, 0.3f, &g), 1);
    // At the bottom the bowl is flat to first order: about 0.1 deep, straight up.
    EXPECT_NEAR(g.depth, 0.1, 0.002);
    EXPECT_NEAR(g.normal[1], 1, 1e-3);
    // Against every triangle one by one.
    float best = 0;
    TerrainCellRange r = terrain_cell_range(&g_terrain, c[0], c[2], 1.3f);
    for (int j = r.j0; j < r.j1; j++)
        for (int i = r.i0; i < r.i1; i++) {
            TerrainTriangle t[2];
            terrain_cell_triangles(&g_terrain, i, j, t);
            for (const TerrainTriangle& one : t) {
                GroundContact h;
                if (torus_triangle_contact(c, axle, 1, 0.3f, &one, &h)) best = fmaxf(best, h.depth);
            }
        }
    EXPECT_FLOAT_EQ(g.depth, best);
}

// ---- Tyre contact pieces ----

TEST(TyreContact, StiffnessGrowsWithTheCubeOfTheCompression) {
    const float slip[3] = {0, 0, 0}, axle[3] = {1, 0, 0};
    struct {
        float depth;
        double kp, kd;
    } cases[] = {
        {0.0f, 1000, 200},                                 // just touching
        {0.15f, 24000 * 0.125 + 1000, 2300 * 0.125 + 200}, // half the tube
        {0.3f, 25000, 2500},                               // the whole tube
        {0.6f, 25000, 2500},                               // and beyond
        {0.1f, 24000 / 27.0 + 1000, 2300 / 27.0 + 200},    // a third
    };
    for (auto c : cases) {
        GroundContact g = {{1, 2, 3}, {0, 1, 0}, c.depth};
        dContact ct;
        tyre_contact_record(&g, 0.3f, 0.8f, slip, axle, &ct);
        double kp, kd;
        spring_of(ct, &kp, &kd);
        EXPECT_NEAR(kp, c.kp, 1e-6 * c.kp) << c.depth;
        EXPECT_NEAR(kd, c.kd, 1e-6 * c.kp) << c.depth;
        // CFM = 1 / (kd + h kp), ERP = h kp CFM.
        double cfm = 1 / (c.kd + H * c.kp);
        EXPECT_NEAR(ct.surface.soft_cfm, cfm, 1e-6 * cfm);
        EXPECT_NEAR(ct.surface.soft_erp, H * c.kp * cfm, 1e-6 * H * c.kp * cfm);
        EXPECT_EQ(ct.surface.mode & (dContactSoftERP | dContactSoftCFM | dContactApprox1),
                  dContactSoftERP | dContactSoftCFM | dContactApprox1);
        EXPECT_EQ(ct.surface.mode & (dContactMu2 | dContactBounce), 0);
        EXPECT_NEAR(ct.surface.mu, 0.8, 1e-7);
        EXPECT_NEAR(ct.geom.depth, c.depth, 1e-7);
        EXPECT_EQ(ct.geom.pos[2], 3);
        EXPECT_EQ(ct.geom.normal[1], 1);
    }
    EXPECT_NEAR(tyre_compression(0.15f, 0.3f), 0.5, 1e-6);
    EXPECT_EQ(tyre_compression(1, 0.3f), 1);
    EXPECT_EQ(tyre_compression(-1, 0.3f), 0);
}

TEST(TyreContact, FrictionDirectionAcrossTheSlide) {
    GroundContact g = {{0, 0, 0}, {0, 1, 0}, 0.1f};
    const float axle[3] = {1, 0, 0};
    dContact c;
    // Sliding along (3, 0, 4): FDir1 = n x v = (4, 0, -3) / 5, across the slide.
    const float slide[3] = {3, 0, 4};
    tyre_contact_record(&g, 0.3f, 1, slide, axle, &c);
    ASSERT_TRUE(c.surface.mode & dContactFDir1);
    EXPECT_NEAR(c.fdir1[0], 0.8, 1e-7);
    EXPECT_NEAR(c.fdir1[1], 0, 1e-7);
    EXPECT_NEAR(c.fdir1[2], -0.6, 1e-7);
    EXPECT_NEAR(c.fdir1[0] * slide[0] + c.fdir1[2] * slide[2], 0, 1e-6);

    // Pure vertical impact: across the axle, n x (1, 0, 0) = (0, 0, -1), the rolling
    // direction of a bike that faces -z.
    const float drop[3] = {0, -5, 0};
    tyre_contact_record(&g, 0.3f, 1, drop, axle, &c);
    ASSERT_TRUE(c.surface.mode & dContactFDir1);
    EXPECT_NEAR(c.fdir1[0], 0, 1e-7);
    EXPECT_NEAR(c.fdir1[2], -1, 1e-7);
    // A slip just under 2^-5 ft/s across the normal falls back to the axle; just over it,
    // the slide decides: n x (0, 0, 0.04) points along +x.
    const float creep[3] = {0, 0, 0.03f};
    tyre_contact_record(&g, 0.3f, 1, creep, axle, &c);
    EXPECT_NEAR(c.fdir1[2], -1, 1e-7);
    const float moving[3] = {0, 0, 0.04f};
    tyre_contact_record(&g, 0.3f, 1, moving, axle, &c);
    EXPECT_NEAR(c.fdir1[0], 1, 1e-7);
    EXPECT_NEAR(c.fdir1[2], 0, 1e-7);
    // No slide and the axle along the normal: no friction direction at all.
    const float still[3] = {0, 0, 0}, upright_axle[3] = {0, 1, 0};
    tyre_contact_record(&g, 0.3f, 1, still, upright_axle, &c);
    EXPECT_FALSE(c.surface.mode & dContactFDir1);
}

TEST(TyreContact, RollingResistanceFromTheSurfaceCurve) {
    SurfaceType s;
    // 10 lbf loose, 30 lbf sunk up to 20 ft/s, then 20 and 60 at 40 ft/s.
    s.roll_resist[0] = {10, 30, 20};
    s.roll_resist[1] = {20, 60, 40};
    for (int k = 2; k < SURFACE_CURVE_POINTS; k++) s.roll_resist[k] = {0, 0, 0};
    const float n[3] = {0, 1, 0};
    float f[3];
    // 10 ft/s along the ground (the normal part is dropped) at half sinkage: 10 + 20 x 0.5.
    const float v[3] = {6, 3, 8};
    tyre_rolling_force(&s, v, n, 0.5f, f);
    expect_vec(f, -20 * 0.6, 0, -20 * 0.8);
    // 30 ft/s: half way between the points: 15 loose, 45 sunk; no sinkage.
    const float fast[3] = {0, 0, -30};
    tyre_rolling_force(&s, fast, n, 0, f);
    expect_vec(f, 0, 0, 15);
    // Below 1 ft/s the force is proportional to the speed; at rest it is 0.
    const float slow[3] = {0.3f, 0, 0.4f};
    tyre_rolling_force(&s, slow, n, 1, f);
    expect_vec(f, -30 * 0.3, 0, -30 * 0.4);
    const float rest[3] = {0, 2, 0};
    tyre_rolling_force(&s, rest, n, 1, f);
    expect_vec(f, 0, 0, 0);
    // On a slope the force lies in the ground plane.
    const float tilt[3] = {0.6f, 0.8f, 0};
    const float vt[3] = {0, 0, 5};
    tyre_rolling_force(&s, vt, tilt, 0, f);
    expect_vec(f, 0, 0, -10);
}

TEST_F(Contacts, ArcadeGripFallsWithLean) {
    SurfaceType s; // constant friction 1
    Bike* b = make_minimal();
    dBodyID frame = body_at(b, BODY_FRAME, 0, 0, 0);
    const float slip[3] = {0, 0, 0};
    EXPECT_NEAR(tyre_friction(b, &s, slip), 1, 1e-6); // normal riding: no grip loss
    b->flags = BIKE_ARCADE;
    EXPECT_NEAR(tyre_friction(b, &s, slip), 1, 1e-6); // upright
    // Leaning by 30 degrees about the forward axis (z): 1 - 0.375 x (4 / 6).
    for (double lean : {PI / 6, -PI / 6}) {
        dMatrix3 r;
        dRFromAxisAndAngle(r, 0, 0, 1, lean);
        dBodySetRotation(frame, r);
        EXPECT_NEAR(tyre_friction(b, &s, slip), 0.75, 1e-5) << lean;
    }
    dMatrix3 r;
    dRFromAxisAndAngle(r, 0, 0, 1, PI / 3);
    dBodySetRotation(frame, r);
    EXPECT_NEAR(tyre_friction(b, &s, slip), 0.625, 1e-5);
}

TEST_F(Contacts, SlidingTyreHasLessGripThanRollingOne) {
    flat_terrain(0);
    // Friction 1.2 up to 1 ft/s of slip, falling to 0.6 at 20 ft/s (linear in squared speed).
    SurfaceType& s = g_terrain.surfaces[0];
    s.friction[0] = {1.2f, 1};
    s.friction[1] = {0.6f, 20};
    for (int k = 2; k < SURFACE_CURVE_POINTS; k++) s.friction[k] = {0, 0};
    Bike* b = make_minimal();
    dBodyID w = body_at(b, BODY_FRONT_WHEEL, 30, 1.25, 30);
    Wheel& wheel = b->wheels[0];
    const double reach = 1.25; // centre to the contact point on the ground

    // Rolling at 30 ft/s toward -z: the contact point stands still on the ground.
    dBodySetLinearVel(w, 0, 0, -30);
    dBodySetAngularVel(w, -30 / reach, 0, 0);
    ASSERT_EQ(bike_ground_contacts(b), 1);
    EXPECT_NEAR(wheel.depth, 0.05, 1e-5);
    expect_vec(wheel.contact_point, 30, 0, 30, 1e-4);
    expect_vec(wheel.contact_velocity, 0, 0, 0, 1e-4);
    float rolling = tyre_friction(b, &s, wheel.contact_velocity);
    // Locked at the same speed: the contact point slides at 30 ft/s.
    dBodySetAngularVel(w, 0, 0, 0);
    bike_ground_contacts(b);
    expect_vec(wheel.contact_velocity, 0, 0, -30, 1e-4);
    float sliding = tyre_friction(b, &s, wheel.contact_velocity);
    EXPECT_NEAR(rolling, 1.2, 1e-6);
    EXPECT_NEAR(sliding, 0.6, 1e-6);
    // Half way in squared speed: sqrt((1 + 400) / 2) ft/s of slip gives 0.9.
    const float mid[3] = {(float)sqrt(200.5), 0, 0};
    EXPECT_NEAR(tyre_friction(b, &s, mid), 0.9, 1e-5);
    // Each call made one tyre joint to the static world.
    EXPECT_EQ(contact_joints(w, nullptr), 2);
}

TEST_F(Contacts, HeavyWheelSettlesWhereTheCubicSpringCarriesIt) {
    flat_terrain(0);
    Bike* b = make_minimal();
    const double mass = 20, tube = 0.3;
    dBodyID w = body_at(b, BODY_FRONT_WHEEL, 40, 1.25, 40, mass);
    // Equilibrium: (24000 (x / tube)^3 + 1000) x = m g, solved by bisection.
    auto load = [&](double x) {
        double k = fmin(x / tube, 1);
        return (24000 * k * k * k + 1000) * x;
    };
    double lo = 0, hi = 1;
    for (int i = 0; i < 100; i++) (load((lo + hi) / 2) < mass * 32 ? lo : hi) = (lo + hi) / 2;
    double expected = lo;
    ASSERT_GT(expected, 0.1); // well into the cubic part
    for (int t = 0; t < 1500; t++) {
        bike_ground_contacts(b);
        dWorldStep(g_physics.world, H);
        dJointGroupEmpty(g_physics.contacts);
    }
    bike_ground_contacts(b);
    EXPECT_NEAR(b->wheels[0].depth, expected, 0.002);
    EXPECT_NEAR(dBodyGetPosition(w)[0], 40, 1e-6);
    // The world step filled the tyre joint's feedback: it carries the wheel's weight.
    dWorldStep(g_physics.world, H);
    dJointGroupEmpty(g_physics.contacts);
    EXPECT_NEAR(b->wheels[0].feedback.f1[1], mass * 32, mass * 32 * 0.02);
}

TEST_F(Contacts, WheelInTheAirHasNoContact) {
    flat_terrain(0);
    Bike* b = make_minimal();
    dBodyID w = body_at(b, BODY_FRONT_WHEEL, 30, 1.31, 30);
    b->wheels[0].depth = 0.2f;
    b->wheels[0].feedback.f1[1] = 50;
    EXPECT_EQ(bike_ground_contacts(b), 0);
    EXPECT_EQ(b->wheels[0].depth, 0);
    EXPECT_EQ(b->wheels[0].feedback.f1[1], 0);
    EXPECT_EQ(contact_joints(w, nullptr), 0);
    EXPECT_EQ(bike_ground_test(b), 0);
    dBodySetPosition(w, 30, 1.29, 30);
    EXPECT_EQ(bike_ground_test(b), 1);
    EXPECT_EQ(contact_joints(w, nullptr), 0); // the test makes no joints
}

TEST_F(Contacts, BikeStandingOnFlatGround) {
    flat_terrain(0);
    Bike* b = load();
    bike_translate(b, 60, 0, 60);
    const BikeInfo& in = b->info;
    // At the catalogue positions both tyres reach below y = 0.
    double front =
        in.front_wheel.torus_radius + in.front_wheel.tube_radius - in.front_wheel.position[1];
    double rear =
        in.rear_wheel.torus_radius + in.rear_wheel.tube_radius - in.rear_wheel.position[1];
    ASSERT_GT(front, 0);
    ASSERT_GT(rear, 0);
    b->touched = 0;
    EXPECT_EQ(bike_ground_contacts(b), 1);
    for (int w = 0; w < 2; w++) {
        const Wheel& wheel = b->wheels[w];
        const WheelInfo& wi = w == 0 ? in.front_wheel : in.rear_wheel;
        SCOPED_TRACE(w);
        EXPECT_NEAR(wheel.depth, w == 0 ? front : rear, 1e-5);
        expect_vec(wheel.contact_normal, 0, 1, 0);
        expect_vec(wheel.contact_point, 60 + wi.position[0], 0, 60 + wi.position[2], 1e-4);
        expect_vec(wheel.contact_velocity, 0, 0, 0);
        EXPECT_EQ(contact_joints(wheel.body, nullptr), 1);
        // The joint reports into the wheel's feedback record.
        for (int i = 0; i < dBodyGetNumJoints(wheel.body); i++) {
            dJointID j = dBodyGetJoint(wheel.body, i);
            if (dJointGetType(j) == dJointTypeContact) {
                EXPECT_EQ((const void*)dJointGetFeedback(j), (const void*)&wheel.feedback);
            }
        }
    }
    EXPECT_EQ(b->touched, 0); // tyres do not count
    EXPECT_EQ(bike_ground_test(b), 1);
    // One step with the contacts: the wheels fall slower than in free fall (32 / 128 ft/s).
    dWorldStep(g_physics.world, H);
    dJointGroupEmpty(g_physics.contacts);
    EXPECT_GT(dBodyGetLinearVel(b->bodies[BODY_FRONT_WHEEL])[1], -0.25 + 1e-3);
    EXPECT_GT(dBodyGetLinearVel(b->bodies[BODY_REAR_WHEEL])[1], -0.25 + 1e-3);
    // Lifted clear: nothing touches.
    bike_translate(b, 0, 1, 0);
    EXPECT_EQ(bike_ground_test(b), 0);
    EXPECT_EQ(bike_ground_contacts(b), 0);
}

// ---- Body shapes ----

TEST_F(Contacts, BodyShapesTouchTheGroundAndSetTouched) {
    flat_terrain(0);
    g_contacts.crash = count_crash;
    Bike* b = make_minimal();
    dBodyID frame = body_at(b, BODY_FRAME, 10, 0.4, 10);
    b->shapes[BODY_FRAME] = sphere_shape({ball(0, 0, 0, 0.5f), ball(0, 5, 0, 0.5f)});
    // The frame's shape may scrape without setting the flag.
    EXPECT_EQ(bike_ground_contacts(b), 1);
    EXPECT_EQ(b->touched, 0);
    EXPECT_EQ(contact_joints(frame, nullptr), 1);

    dBodyID rider = body_at(b, BODY_RIDER, 12, 0.3, 10);
    b->shapes[BODY_RIDER] = sphere_shape({ball(0, 0, 0, 0.5f, 0.7f)});
    EXPECT_EQ(bike_ground_contacts(b), 1);
    EXPECT_EQ(b->touched, 1);
    EXPECT_EQ(contact_joints(rider, nullptr), 1);
    EXPECT_EQ(g_crashes, 0); // upright and still

    // Upside down and moving at 6 ft/s: crash. At 4 ft/s: none.
    dMatrix3 r;
    dRFromAxisAndAngle(r, 0, 0, 1, PI);
    dBodySetRotation(rider, r);
    dBodySetLinearVel(rider, 4, 0, 0);
    bike_ground_contacts(b);
    EXPECT_EQ(g_crashes, 0);
    dBodySetLinearVel(rider, 0, 0, 6);
    bike_ground_contacts(b);
    EXPECT_EQ(g_crashes, 1);
    // Already crashed: no second crash.
    bike_ground_contacts(b);
    EXPECT_EQ(g_crashes, 1);

    // The contact holds the rider: one step later it has been pushed up.
    b->touched = 0;
    dJointGroupEmpty(g_physics.contacts);
    dBodySetLinearVel(rider, 0, 0, 0);
    bike_ground_contacts(b);
    dWorldStep(g_physics.world, H);
    dJointGroupEmpty(g_physics.contacts);
    EXPECT_GT(dBodyGetLinearVel(rider)[1], 0);
}

TEST_F(Contacts, SteeringForkAndSwingarmShapesSetTouched) {
    flat_terrain(0);
    for (int index : {BODY_STEERING, BODY_FORK_LOWER, BODY_SWINGARM}) {
        Bike* b = make_minimal();
        body_at(b, index, 20, 0.2, 20);
        b->shapes[index] = sphere_shape({ball(0, 0, 0, 0.3f)});
        EXPECT_EQ(bike_ground_contacts(b), 1) << index;
        EXPECT_EQ(b->touched, 1) << index;
    }
}

// ---- Bike against bike ----

TEST_F(Contacts, TwoBikesTouchingMakeJointsForTheFirstPair) {
    physics_set_clock(77);
    g_contacts.line_disturbed = note_disturbed;
    Bike* a = make_minimal();
    Bike* b = make_minimal();
    // A's front wheel shape meets B's frame shape: 0.2 ft of overlap along x.
    dBodyID af = body_at(a, BODY_FRONT_WHEEL, 10, 5, 10);
    a->shapes[BODY_FRONT_WHEEL] = sphere_shape({ball(0, 0, 0, 0.6f, 0.9f, 8000, 500)});
    dBodyID bf = body_at(b, BODY_FRAME, 11, 5, 10);
    b->shapes[BODY_FRAME] = sphere_shape({ball(0, 0, 0, 0.6f, 0.4f, 6000, 700)});
    // B's front tyre is far away.
    body_at(b, BODY_FRONT_WHEEL, 50, 5, 50);

    EXPECT_EQ(bike_bike_contacts(a, b), 1);
    EXPECT_EQ(contact_joints(af, bf), 1);
    EXPECT_EQ(a->steer_authority, 20);   // A's front wheel was hit
    EXPECT_EQ(b->steer_authority, 1000); // B's frame does not steer
    EXPECT_EQ(a->last_bike_contact, 77);
    EXPECT_EQ(b->last_bike_contact, 77);
    ASSERT_EQ(g_disturbed.size(), 2u);
    EXPECT_EQ(g_disturbed[0], a);
    EXPECT_EQ(g_disturbed[1], b);

    // The joint pushes them apart: A toward -x, B toward +x.
    dWorldStep(g_physics.world, H);
    dJointGroupEmpty(g_physics.contacts);
    EXPECT_LT(dBodyGetLinearVel(af)[0], 0);
    EXPECT_GT(dBodyGetLinearVel(bf)[0], 0);
    // Gravity acts too, but not sideways.
    EXPECT_NEAR(dBodyGetLinearVel(af)[2], 0, 1e-9);

    // Not touching: nothing, no bookkeeping.
    physics_set_clock(78);
    dBodySetPosition(bf, 13, 5, 10);
    EXPECT_EQ(bike_bike_contacts(a, b), 0);
    EXPECT_EQ(a->last_bike_contact, 77);
    EXPECT_EQ(bike_bike_contacts(a, a), 0);
}

TEST_F(Contacts, LaterPairsOfTheTickGetForces) {
    physics_set_clock(5);
    Bike* a = make_minimal();
    Bike* b = make_minimal();
    Bike* c = make_minimal();
    dBodyID ar = body_at(a, BODY_RIDER, 0, 5, 0);
    a->shapes[BODY_RIDER] = sphere_shape({ball(0, 0, 0, 0.5f, 1, 3000, 100)});
    dBodyID bs = body_at(b, BODY_STEERING, 0.8, 5, 0);
    b->shapes[BODY_STEERING] = sphere_shape({ball(0, 0, 0, 0.5f, 1, 4000, 200)});
    dBodyID cr = body_at(c, BODY_RIDER, -0.9, 5, 0);
    c->shapes[BODY_RIDER] = sphere_shape({ball(0, 0, 0, 0.5f, 1, 5000, 300)});

    // First pair: a joint; B's steering was hit.
    EXPECT_EQ(bike_bike_contacts(b, a), 1);
    EXPECT_EQ(contact_joints(ar, bs), 1);
    EXPECT_EQ(b->steer_authority, 20);
    EXPECT_EQ(a->steer_authority, 1000);

    // Second pair for A in the same tick: a force, no joint. Overlap 0.1 ft along x; C moves
    // toward A at 2 ft/s. W = 0.1 x 3000 + 2 x 100 (the smaller spring and damper).
    dBodySetLinearVel(cr, 2, 0, 0);
    EXPECT_EQ(bike_bike_contacts(c, a), 1);
    EXPECT_EQ(contact_joints(ar, cr), 0);
    const dReal* fc = dBodyGetForce(cr);
    const dReal* fa = dBodyGetForce(ar);
    EXPECT_NEAR(fc[0], -500, 1e-6); // C is pushed back toward -x
    EXPECT_NEAR(fa[0], 500, 1e-6);
    EXPECT_NEAR(fc[1], 0, 1e-9);
    EXPECT_EQ(c->last_bike_contact, 5);

    // Deep overlap: clamped to 1000 lbf; a disabled body gets nothing.
    dBodySetForce(ar, 0, 0, 0);
    dBodySetForce(cr, 0, 0, 0);
    dBodySetLinearVel(cr, 0, 0, 0);
    dBodySetPosition(cr, -0.3, 5, 0);
    dBodyDisable(cr);
    EXPECT_EQ(bike_bike_contacts(c, a), 1);
    EXPECT_NEAR(dBodyGetForce(ar)[0], 1000, 1e-6);
    EXPECT_EQ(dBodyGetForce(cr)[0], 0);
    dBodyEnable(cr);

    // A new tick: joints again.
    physics_set_clock(6);
    EXPECT_EQ(bike_bike_contacts(c, a), 1);
    EXPECT_EQ(contact_joints(ar, cr), 1);
}

TEST_F(Contacts, TheOtherBikesTyreIsARingOfTubeSpheres) {
    physics_set_clock(9);
    Bike* a = make_minimal();
    Bike* b = make_minimal();
    // B's front tyre: axle x, ring radius 1, tube 0.3, centred at the origin.
    dBodyID bw = body_at(b, BODY_FRONT_WHEEL, 0, 3, 0);
    // A's rider sphere above the ring's top (0, 4, 0): 0.5 from it, radius 0.4: 0.2 deep.
    dBodyID ar = body_at(a, BODY_RIDER, 0, 4.5, 0);
    a->shapes[BODY_RIDER] = sphere_shape({ball(0, 0, 0, 0.4f, 0.3f, 90000, 9000)});
    EXPECT_EQ(bike_bike_contacts(a, b), 1);
    EXPECT_EQ(contact_joints(ar, bw), 1);
    EXPECT_EQ(b->steer_authority, 20); // B's front wheel was hit
    EXPECT_EQ(a->steer_authority, 1000);

    // As a force (second pair of the tick): spring min(90000, 25000) x 0.2 = 5000 -> 1000,
    // along the line from the ring point (0, 4, 0) to the sphere: straight up on A.
    Bike* c = make_minimal();
    dBodyID cw = body_at(c, BODY_REAR_WHEEL, 0, 3, 0);
    (void)cw;
    EXPECT_EQ(bike_bike_contacts(a, c), 1);
    EXPECT_NEAR(dBodyGetForce(ar)[1], 1000, 1e-6);
    EXPECT_NEAR(dBodyGetForce(ar)[0], 0, 1e-9);
    EXPECT_EQ(c->steer_authority, 1000); // a rear wheel does not steer

    // On the axle 1 ft beside the hub: every ring point is sqrt 2 away; no contact.
    physics_set_clock(10);
    dBodySetPosition(ar, 1.0, 3, 0);
    EXPECT_EQ(bike_bike_contacts(a, b), 0);
}

// Two real bikes with the generated shapes, head on: the front tyres meet (and the bars,
// which reach past the tyres).
TEST_F(Contacts, GeneratedBikesRidingIntoEachOtherTouchAtTheFront) {
    ASSERT_FALSE(generate({"bikes"}, "game").empty());
    data_reset();
    flat_terrain(0);
    Bike* a = load();
    Bike* b = load();
    for (Bike* bike : {a, b})
        for (int i = 0; i < BIKE_BODY_COUNT; i++) ASSERT_NE(bike->shapes[i], nullptr) << i;
    const BikeInfo& in = a->info;
    double reach = in.front_wheel.torus_radius + in.front_wheel.tube_radius;
    // A faces -z; B is turned to face +z, its front wheel 2 x reach - 0.3 ahead of A's.
    const float up[3] = {0, 1, 0};
    bike_rotate(b, up, (float)PI);
    bike_translate(a, 60, 0, 60);
    double gap = 2 * reach - 0.3;
    bike_translate(b, 60, 0, (float)(60 + 2 * in.front_wheel.position[2] - gap));
    const dReal* fa = dBodyGetPosition(a->bodies[BODY_FRONT_WHEEL]);
    const dReal* fb = dBodyGetPosition(b->bodies[BODY_FRONT_WHEEL]);
    ASSERT_NEAR(fa[2] - fb[2], gap, 1e-4);

    physics_set_clock(12);
    EXPECT_EQ(bike_bike_contacts(a, b), 1);
    EXPECT_GE(contact_joints(a->bodies[BODY_FRONT_WHEEL], b->bodies[BODY_FRONT_WHEEL]), 1);
    EXPECT_EQ(a->steer_authority, 20);
    EXPECT_EQ(b->steer_authority, 20);
    EXPECT_EQ(a->last_bike_contact, 12);

    // Apart by two feet more: no contact.
    physics_set_clock(13);
    bike_translate(b, 0, 0, -2);
    EXPECT_EQ(bike_bike_contacts(a, b), 0);
    EXPECT_EQ(a->last_bike_contact, 12);

    // A bike on its side on the ground: the steering, rider or swingarm shapes touch.
    const float fwd[3] = {0, 0, 1};
    bike_reset(a);
    bike_rotate(a, fwd, (float)(PI / 2));
    bike_translate(a, 60, 0.3f, 60);
    a->touched = 0;
    EXPECT_EQ(bike_ground_contacts(a), 1);
    EXPECT_EQ(a->touched, 1);
}

// ---- Objects ----

TEST_F(Contacts, ObjectContactsAndTheRiderCrashSpeed) {
    g_contacts.crash = count_crash;
    std::unique_ptr<Shape> bale(sphere_shape({ball(0, 0, 0, 1.0f, 0.6f, 3000, 300)}));
    const float rot[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    const float pos[3] = {5, 1, 5};
    Bike* b = make_minimal();
    dBodyID rider = body_at(b, BODY_RIDER, 6.2, 1, 5);
    b->shapes[BODY_RIDER] = sphere_shape({ball(0, 0, 0, 0.5f)});
    dBodyID rear = body_at(b, BODY_REAR_WHEEL, 5, 1, 7.1);

    // Rider hitting at 15 ft/s: contact, no crash.
    dBodySetLinearVel(rider, -15, 0, 0);
    EXPECT_EQ(bike_object_contacts(b, bale.get(), pos, rot, nullptr), 1);
    EXPECT_EQ(contact_joints(rider, nullptr), 1);
    EXPECT_EQ(g_crashes, 0);
    // The rear tyre's ring (axle x, radius 1, tube 0.3) reaches the bale too: its nearest
    // point is (5, 1, 6.1), 1.1 from the bale's centre.
    EXPECT_EQ(contact_joints(rear, nullptr), 1);

    // At 21 ft/s: crash.
    dBodySetLinearVel(rider, -21, 0, 0);
    bike_object_contacts(b, bale.get(), pos, rot, nullptr);
    EXPECT_EQ(g_crashes, 1);
    // Already crashed: no more.
    bike_object_contacts(b, bale.get(), pos, rot, nullptr);
    EXPECT_EQ(g_crashes, 1);

    // Relative to a moving object's body: 21 ft/s against an object doing -18 is 3 ft/s.
    b->crash_countdown = 0;
    dBodyID cart = dBodyCreate(g_physics.world);
    dBodySetLinearVel(cart, -18, 0, 0);
    EXPECT_EQ(bike_object_contacts(b, bale.get(), pos, rot, cart), 1);
    EXPECT_EQ(g_crashes, 1);
    EXPECT_EQ(contact_joints(rider, cart), 1);
    dBodyDestroy(cart);

    // A rotated object: the sphere at (2, 0, 0) of its frame, turned 90 degrees about y,
    // sits at (0, 0, -2) from its position.
    std::unique_ptr<Shape> post(sphere_shape({ball(2, 0, 0, 0.6f)}));
    const float turned[9] = {0, 0, 1, 0, 1, 0, -1, 0, 0};
    const float at[3] = {6.2f, 1, 7.8f};
    dBodySetLinearVel(rider, 0, 0, 0);
    dBodySetPosition(rear, 50, 50, 50);
    EXPECT_EQ(bike_object_contacts(b, post.get(), at, turned, nullptr), 1);
    const float away[3] = {6.2f, 1, 3.0f};
    EXPECT_EQ(bike_object_contacts(b, post.get(), away, turned, nullptr), 0);
    EXPECT_EQ(bike_object_contacts(b, nullptr, at, turned, nullptr), 0);
}

TEST_F(Contacts, StatuesNearTheBikeAreHitAndStamped) {
    flat_terrain(0); // 128 ft square: the statue grid's buckets are 12 ft wide
    physics_set_clock(321);
    auto add = [](float x, float z, Shape* shape, float upright, const float rot[9]) {
        Statue st{};
        st.shape = shape;
        st.x = x, st.y = 1, st.z = z;
        st.upright = upright;
        for (int i = 0; i < 9; i++) st.rot[i] = rot[i];
        st.last_contact = -1;
        g_objects.statues.push_back(st);
        statue_grid_insert((int)g_objects.statues.size() - 1);
    };
    const float ident[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    const float turned[9] = {0, 0, 1, 0, 1, 0, -1, 0, 0}; // 90 degrees about y
    // 0: a bale right at the rider. 1: one far away. 2: an upright statue whose sphere sits 2 ft
    // along its own x: drawn upright, so the turned orientation is ignored and the sphere is at
    // x + 2, next to the rider. 3: the same but not upright: the sphere turns to z - 2.
    add(40, 40, sphere_shape({ball(0, 0, 0, 1)}), 0, ident);
    add(100, 100, sphere_shape({ball(0, 0, 0, 1)}), 0, ident);
    add(38, 44, sphere_shape({ball(2, 0, 0, 0.6f)}), 36.0f, turned);
    add(38, 46, sphere_shape({ball(2, 0, 0, 0.6f)}), 0, turned);

    Bike* b = make_minimal();
    body_at(b, BODY_FRAME, 40, 3, 42);
    body_at(b, BODY_RIDER, 40, 1, 41.2);
    b->shapes[BODY_RIDER] = sphere_shape({ball(0, 0, 0, 0.5f)});
    EXPECT_EQ(bike_statue_contacts(b), 1);
    EXPECT_EQ(g_objects.statues[0].last_contact, 321);
    EXPECT_EQ(g_objects.statues[1].last_contact, -1);
    EXPECT_EQ(g_objects.statues[2].last_contact, -1);

    dBodySetPosition(b->bodies[BODY_RIDER], 40, 1, 44.8);
    physics_set_clock(322);
    EXPECT_EQ(bike_statue_contacts(b), 1);
    EXPECT_EQ(g_objects.statues[2].last_contact, 322);
    EXPECT_EQ(g_objects.statues[3].last_contact, -1);
}

// Roost particles: emission passes by density, the roost types of the tile under a wheel,
// splash and slip roost directions, flight, landing, the pool and the ground wear.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "core/settings.h"
#include "effects/roost.h"
#include "platform/random.h"
#include "track/surface.h"
#include "track/terrain.h"

namespace {

constexpr float DT = 1.0f / 128;

// A flat field of 16 x 16 tiles, 1 foot between samples, at height 0, of one surface type with
// one slip roost type that throws straight from the wheel (no randomness in its velocity).
class RoostTest : public ::testing::Test {
  protected:
    void SetUp() override {
        g_settings = Settings{};
        Terrain& t = g_terrain;
        terrain_free(&t);
        t.shift = 4;
        t.tiles = 16;
        t.samples = 33;
        t.spacing = 1;
        t.tile_size = 2;
        t.extent = 32;
        t.heights.assign(33 * 33, 0.0f);
        t.shading.assign(33 * 33 * 3, 100);
        t.shadows.assign(33 * 33, 0);
        t.tilemap.assign(16 * 16, 0);
        t.surfaces.assign(1, SurfaceType());
        terrain_lowdetail_alloc(&t);
        RoostType& r = t.surfaces[0].roost[0];
        r.kind = ROOST_SLIP;
        r.texture = 7;
        r.count = 3;
        r.randomize = 0;
        r.vscale = 1;
        roost_reset();
        random_seed(1234);
    }
    void TearDown() override {
        terrain_free(&g_terrain);
        roost_reset();
        g_settings = Settings{};
    }
    RoostType& type(int k) { return g_terrain.surfaces[0].roost[k]; }
};

// A wheel of radius 1 at (x, 1, z) rolling toward -z at 5 ft/s and spinning forward at w rad/s
// (about -x), touching flat ground at its lowest point.
RoostWheel spinning_wheel(float x, float z, float w) {
    RoostWheel r;
    const float centre[3] = {x, 1, z}, axle[3] = {1, 0, 0}, v[3] = {0, 0, -5}, n[3] = {0, 1, 0};
    for (int k = 0; k < 3; k++) {
        r.centre[k] = centre[k];
        r.axle[k] = axle[k];
        r.velocity[k] = v[k];
        r.contact_normal[k] = n[k];
        r.angular_velocity[k] = 0;
    }
    r.angular_velocity[0] = -w;
    r.contact_point[0] = x, r.contact_point[1] = 0, r.contact_point[2] = z;
    // Material at the contact point: v + w x (0, -1, 0) = (0, 0, -5 + w).
    r.contact_velocity[0] = 0, r.contact_velocity[1] = 0, r.contact_velocity[2] = -5 + w;
    r.depth = 0.05f;
    return r;
}

std::vector<int> live_particles() {
    std::vector<int> out;
    for (int i = g_roost.live_head; i != ROOST_NONE; i = g_roost.particles[i].next)
        out.push_back(i);
    return out;
}

// The angle behind the contact point (about the axle, from straight down) of the tyre point
// particle i of a batch of n left from: its position less velocity x dt x i / n, which must lie
// on the tyre (radius 1 around (x, 1, z)). NaN when it does not.
double emission_angle(const RoostParticle& p, int i, int n, float x, float z) {
    float e[3];
    for (int a = 0; a < 3; a++) e[a] = p.position[a] - p.velocity[a] * DT * (float)i / (float)n;
    if (std::fabs(std::hypot(e[1] - 1.0, e[2] - z) - 1.0) > 1e-4 || std::fabs(e[0] - x) > 1e-4)
        return std::nan("");
    return std::atan2(e[2] - z, 1.0 - e[1]);
}

// The particles of the last batch of n, in the order they were thrown (the live list holds the
// newest first).
std::vector<const RoostParticle*> batch(int n) {
    std::vector<const RoostParticle*> out(n);
    int k = n - 1;
    for (int i = g_roost.live_head; i != ROOST_NONE && k >= 0; i = g_roost.particles[i].next)
        out[k--] = &g_roost.particles[i];
    return out;
}

double height_sum() {
    double s = 0;
    for (float h : g_terrain.heights) s += h;
    return s;
}

} // namespace

TEST_F(RoostTest, EmissionPassesFollowTheDensity) {
    // Density d: d / 100 passes, one more when a random integer mod 100 is below d mod 100.
    for (int density : {0, 50, 250, 1000, 1500, -20}) {
        random_seed(99);
        std::mt19937 expect(99);
        int clamped = density < 0 ? 0 : (density > 1000 ? 1000 : density);
        int sum = 0, ones = 0;
        for (int i = 0; i < 4000; i++) {
            int want = clamped / 100 + ((int)(expect() % 100u) < clamped % 100 ? 1 : 0);
            int got = roost_emissions(density);
            ASSERT_EQ(got, want) << density;
            sum += got;
            ones += got == 1;
        }
        if (clamped == 0) {
            EXPECT_EQ(sum, 0);
        }
        if (clamped == 50) {
            // About half the ticks have one pass, the rest none.
            EXPECT_EQ(sum, ones);
            EXPECT_NEAR(ones / 4000.0, 0.5, 0.04);
        }
        if (clamped == 250) {
            EXPECT_NEAR(sum / 4000.0, 2.5, 0.04);
        }
        if (clamped == 1000) {
            EXPECT_EQ(sum, 10 * 4000);
        }
    }
    // Density 0 never throws anything from a bike either: roost_emit stops before the wheels.
    g_settings.roost_frequency = 0;
    roost_emit(nullptr);
    EXPECT_EQ(g_roost.live_count, 0);
}

TEST_F(RoostTest, AnEmptyFirstRoostTypeEndsTheList) {
    RoostWheel w = spinning_wheel(8, 8, 40);
    type(1) = type(0);
    type(0).kind = ROOST_UNUSED;
    EXPECT_EQ(roost_emit_wheel(w, 3, ROOST_REAR_CAP, 0), 0);
    EXPECT_EQ(g_roost.live_count, 0);
    // With the first one in use, both throw.
    type(0) = type(1);
    EXPECT_EQ(roost_emit_wheel(w, 3, ROOST_REAR_CAP, 0), 6);
    // Off the ground nothing is thrown.
    w.depth = 0;
    EXPECT_EQ(roost_emit_wheel(w, 3, ROOST_REAR_CAP, 0), 0);
}

TEST_F(RoostTest, FractionalCountsThrowTheWholePartAndSometimesOneMore) {
    RoostWheel w = spinning_wheel(8, 8, 40);
    type(0).count = 2.5f;
    int twos = 0, threes = 0;
    for (int i = 0; i < 2000; i++) {
        int n = roost_emit_wheel(w, 5, ROOST_REAR_CAP, i);
        ASSERT_TRUE(n == 2 || n == 3) << n;
        (n == 2 ? twos : threes)++;
        roost_reset();
    }
    EXPECT_NEAR(threes / 2000.0, 0.5, 0.05);
    // Never more than the emission passes.
    for (int i = 0; i < 200; i++) {
        ASSERT_EQ(roost_emit_wheel(w, 2, ROOST_REAR_CAP, i), 2);
        ASSERT_EQ(roost_emit_wheel(w, 1, ROOST_REAR_CAP, i), 1);
        roost_reset();
    }
    // A count read as nonsense throws nothing.
    type(0).count = std::nanf("");
    EXPECT_EQ(roost_emit_wheel(w, 3, ROOST_REAR_CAP, 0), 0);
    type(0).count = -4;
    EXPECT_EQ(roost_emit_wheel(w, 3, ROOST_REAR_CAP, 0), 0);
}

TEST_F(RoostTest, SlipRoostLeavesUpTheBackOfASpinningTyreWithinItsCone) {
    // Spinning at 40 rad/s while rolling at 5 ft/s: the contact point slides backward at 35 ft/s,
    // against the travel, so the cone is slow + c (fast - slow) with c = 40^2 / 64^2.
    const RoostType& t = type(0);
    double c = 1600.0 / 4096.0;
    double cone = t.slow_angle + c * (t.fast_angle - t.slow_angle);
    type(0).count = 10;
    RoostWheel w = spinning_wheel(8, 8, 40);
    random_seed(5);
    ASSERT_EQ(roost_emit_wheel(w, 10, ROOST_REAR_CAP, 0), 10);
    double widest = 0;
    std::vector<const RoostParticle*> thrown = batch(10);
    for (int i = 0; i < 10; i++) {
        const RoostParticle& p = *thrown[i];
        // Thrown at the material velocity of its point of the tyre: backward and upward.
        EXPECT_GT(p.velocity[2], 0) << i;
        EXPECT_GE(p.velocity[1], -1e-4) << i;
        // It left from the tyre behind the contact point, within the cone.
        double a = emission_angle(p, i, 10, 8, 8);
        ASSERT_FALSE(std::isnan(a)) << i;
        EXPECT_GE(a, 0);
        EXPECT_LE(a, cone + 1e-4);
        widest = std::max(widest, a);
        EXPECT_EQ(p.texture, 7u);
        EXPECT_EQ(p.color[3], 255);
        EXPECT_FLOAT_EQ(p.size, t.size);
    }
    EXPECT_GT(widest, cone * 0.5); // ten points spread over the cone reach into its far half

    // The front wheel's cap of pi/8 narrows it.
    roost_reset();
    type(0).count = 30;
    ASSERT_EQ(roost_emit_wheel(w, 30, ROOST_FRONT_CAP, 0), 30);
    widest = 0;
    thrown = batch(30);
    for (int i = 0; i < 30; i++) {
        double a = emission_angle(*thrown[i], i, 30, 8, 8);
        ASSERT_FALSE(std::isnan(a)) << i;
        EXPECT_LE(a, ROOST_FRONT_CAP + 1e-4);
        widest = std::max(widest, a);
    }
    EXPECT_GT(widest, ROOST_FRONT_CAP * 0.7);
}

TEST_F(RoostTest, SlipRoostNeedsTheThresholdAndOnlyASpinningTyreThrowsWide) {
    // Rolling without spin: the contact point stands still, below the threshold of 4 ft/s.
    RoostWheel w = spinning_wheel(8, 8, 5);
    EXPECT_EQ(roost_emit_wheel(w, 3, ROOST_REAR_CAP, 0), 0);
    // Sliding sideways at 20 ft/s without spinning faster than the ground passes: a thin sheet
    // of pi/64 around the contact point.
    w.contact_velocity[0] = 20;
    w.contact_velocity[2] = 0;
    type(0).count = 20;
    ASSERT_EQ(roost_emit_wheel(w, 20, ROOST_REAR_CAP, 0), 20);
    std::vector<const RoostParticle*> thrown = batch(20);
    for (int i = 0; i < 20; i++) {
        double a = emission_angle(*thrown[i], i, 20, 8, 8);
        ASSERT_FALSE(std::isnan(a)) << i;
        EXPECT_LE(std::fabs(a), 0.049087387 + 1e-5);
    }
}

TEST_F(RoostTest, SplashGoesUpAndToBothSidesAsFastAsTheWheelMoves) {
    type(0).kind = ROOST_SPLASH;
    type(0).count = 4;
    RoostWheel w = spinning_wheel(8, 8, 0);
    w.velocity[2] = -20; // along the ground at 20 ft/s
    // N = up, u = -z, s = N x u = (-1, 0, 0): (N + s) and (N - s) times 20 x 0.70710678.
    const float D[2][3] = {{-14.142136f, 14.142136f, 0}, {14.142136f, 14.142136f, 0}};
    for (int tick : {0, 1}) {
        roost_reset();
        ASSERT_EQ(roost_emit_wheel(w, 4, ROOST_REAR_CAP, tick), 4);
        // Pushed last first: particle i of the batch is at index 3 - i of the live list.
        std::vector<int> live = live_particles();
        for (int i = 0; i < 4; i++) {
            const RoostParticle& p = g_roost.particles[live[3 - i]];
            const float* d = D[(i ^ tick) & 1];
            for (int k = 0; k < 3; k++)
                EXPECT_NEAR(p.position[k], w.contact_point[k] + d[k] * DT * i / 4, 1e-4);
            // The direction scaled by vscale x [0, 1): parallel, not longer.
            float cross[3] = {p.velocity[1] * d[2] - p.velocity[2] * d[1],
                              p.velocity[2] * d[0] - p.velocity[0] * d[2],
                              p.velocity[0] * d[1] - p.velocity[1] * d[0]};
            EXPECT_NEAR(std::hypot(cross[0], std::hypot(cross[1], cross[2])), 0, 1e-3);
            EXPECT_GE(p.velocity[1], 0);
            EXPECT_LE(p.velocity[1], 14.142136f);
        }
    }
    // A wheel standing still throws its splash nowhere: zero direction, zero speed.
    roost_reset();
    RoostWheel still = spinning_wheel(8, 8, 0);
    still.velocity[2] = 0;
    ASSERT_EQ(roost_emit_wheel(still, 4, ROOST_REAR_CAP, 0), 4);
    for (int i : live_particles())
        for (int k = 0; k < 3; k++) EXPECT_EQ(g_roost.particles[i].velocity[k], 0);
}

TEST_F(RoostTest, FlightFollowsDragGravityGrowthAndFade) {
    RoostType t;
    t.size = 0.5f;
    t.grow = 4;
    t.drag = 0.5f;
    t.r = 254, t.g = 3, t.b = 100, t.a = 1;
    t.fade_r = 5, t.fade_g = -5, t.fade_b = 0, t.fade_a = -2;
    t.texture = 3;
    const float p0[3] = {4, 2, 4}, v0[3] = {10, 5, -8};
    ASSERT_EQ(roost_add(p0, v0, 0, t), 1);
    roost_update();
    const RoostParticle& p = g_roost.particles[g_roost.live_head];
    for (int k = 0; k < 3; k++) EXPECT_FLOAT_EQ(p.position[k], p0[k] + v0[k] * DT);
    EXPECT_FLOAT_EQ(p.velocity[0], 10 - 10 * (DT * 0.5f));
    EXPECT_FLOAT_EQ(p.velocity[1], 5 - 5 * (DT * 0.5f) - 32 * DT);
    EXPECT_FLOAT_EQ(p.velocity[2], -8 + 8 * (DT * 0.5f));
    EXPECT_FLOAT_EQ(p.size, 0.5f + DT * 4);
    // Each colour byte moves by its fade, held to 0..255.
    EXPECT_EQ(p.color[0], 255);
    EXPECT_EQ(p.color[1], 0);
    EXPECT_EQ(p.color[2], 100);
    EXPECT_EQ(p.color[3], 0);
    EXPECT_EQ(p.texture, 3u);
}

TEST_F(RoostTest, RisingParticlesNeverLandEvenBelowTheGround) {
    RoostType t;
    t.drag = 0.5f;
    const float p0[3] = {8, -5, 8}, v0[3] = {0, 3, 0};
    ASSERT_EQ(roost_add(p0, v0, 0, t), 1);
    // The vertical speed after k updates, from the flight rules: v = v (1 - dt drag) - 32 dt.
    float v = 3;
    int rising = 0;
    while (true) {
        v = v - v * (DT * 0.5f) - 32 * DT;
        if (v < 0) break;
        rising++;
    }
    for (int k = 0; k < rising; k++) {
        roost_update();
        ASSERT_EQ(g_roost.live_count, 1) << k;
        ASSERT_LT(g_roost.particles[g_roost.live_head].position[1], 0);
    }
    // The update that turns it downward finds the ground above it.
    roost_update();
    EXPECT_EQ(g_roost.live_count, 0);
    EXPECT_EQ(g_roost.live_head, ROOST_NONE);
}

TEST_F(RoostTest, AnEmptyPoolDropsParticlesUntilSomeLand) {
    RoostType t;
    const float high[3] = {8, 50, 8}, low[3] = {8, -1, 8}, down[3] = {0, -1, 0};
    for (int i = 0; i < ROOST_POOL; i++) ASSERT_EQ(roost_add(i < 10 ? low : high, down, 0, t), 1);
    EXPECT_EQ(g_roost.live_count, ROOST_POOL);
    EXPECT_EQ(g_roost.free_head, ROOST_NONE);
    EXPECT_EQ(roost_add(high, down, 0, t), 0);
    EXPECT_EQ(roost_add(high, down, 0, t), 0);
    EXPECT_EQ(g_roost.dropped, 2);
    EXPECT_EQ(g_roost.live_count, ROOST_POOL);
    // Wheels throw nothing now, and nothing breaks.
    RoostWheel w = spinning_wheel(8, 8, 40);
    EXPECT_EQ(roost_emit_wheel(w, 3, ROOST_REAR_CAP, 0), 0);
    // The ten below the ground land and go back to the pool, hidden; the others fly on.
    roost_update();
    EXPECT_EQ(g_roost.live_count, ROOST_POOL - 10);
    int free_count = 0;
    for (int i = g_roost.free_head; i != ROOST_NONE; i = g_roost.particles[i].next) {
        EXPECT_EQ(g_roost.particles[i].texture, 0u);
        free_count++;
    }
    EXPECT_EQ(free_count, 10);
    EXPECT_EQ((int)live_particles().size(), ROOST_POOL - 10);
    EXPECT_EQ(roost_emit_wheel(w, 3, ROOST_REAR_CAP, 0), 3);
    // A reset frees the whole pool again.
    roost_reset();
    EXPECT_EQ(g_roost.live_count, 0);
    EXPECT_EQ(g_roost.live_head, ROOST_NONE);
    EXPECT_EQ(g_roost.dropped, 0);
}

TEST_F(RoostTest, WithoutWearTheGroundStaysBitForBit) {
    std::vector<float> before = g_terrain.heights;
    std::vector<uint8_t> shading = g_terrain.shading;
    type(0).dig = 2;
    type(0).count = 10;
    g_settings.erode = 0;
    RoostWheel w = spinning_wheel(8, 8, 60);
    w.depth = 0.1f;
    for (int tick = 0; tick < 300; tick++) {
        roost_emit_wheel(w, 10, ROOST_REAR_CAP, tick);
        roost_update();
    }
    EXPECT_GT(g_roost.dropped + g_roost.live_count, 0);
    EXPECT_EQ(std::memcmp(before.data(), g_terrain.heights.data(), before.size() * sizeof(float)),
              0);
    EXPECT_EQ(shading, g_terrain.shading);
    EXPECT_FALSE(g_terrain.modified);
}

TEST_F(RoostTest, WearTakesGroundWhereParticlesLeaveAndGivesItBackWhereTheyLand) {
    g_settings.erode = 1;
    type(0).dig = 0.5f;
    type(0).count = 5;
    type(0).drag = 0;
    RoostWheel w = spinning_wheel(16, 16, 12); // slow enough to land within the field
    w.depth = 0.04f;
    // Each particle carries dig x min(depth, 0.1) = 0.02 ft: byte 20, 20 / 1020 ft of ground.
    double load = std::floor(0.5 * 0.04 * 1020) / 1020.0;
    double start = height_sum();
    ASSERT_EQ(roost_emit_wheel(w, 5, ROOST_REAR_CAP, 0), 5);
    for (int i : live_particles()) EXPECT_EQ(g_roost.particles[i].dig, 20);
    EXPECT_NEAR(height_sum() - start, -5 * load, 1e-4);
    EXPECT_TRUE(g_terrain.modified);
    // The ground is lower around the wheel than it was.
    EXPECT_LT(terrain_height(&g_terrain, 16, 16), 0);
    // Once all have landed, every bit of ground is back, somewhere behind the wheel.
    for (int k = 0; k < 2000 && g_roost.live_count > 0; k++) roost_update();
    EXPECT_EQ(g_roost.live_count, 0);
    EXPECT_NEAR(height_sum() - start, 0, 1e-4);
    bool raised_behind = false;
    for (int j = 17; j < 33; j++)
        for (int i = 0; i < 33; i++) raised_behind |= g_terrain.heights[i + 33 * j] > 1e-6f;
    EXPECT_TRUE(raised_behind);
    // The shading has been kept up with the new ground and marked for the ground renderer.
    EXPECT_TRUE(terrain_lowdetail_dirty(&g_terrain, 0));
}

TEST_F(RoostTest, TheLoadOfOneParticleIsClampedToAQuarterFoot) {
    g_settings.erode = 1;
    RoostType t;
    const float p[3] = {16, 0.5f, 16}, v[3] = {0, 1, 0};
    double start = height_sum();
    // dig x depth of 1 ft: held to 0.25, byte 255 (never above).
    ASSERT_EQ(roost_add(p, v, 1.0f, t), 1);
    EXPECT_EQ(g_roost.particles[g_roost.live_head].dig, 255);
    EXPECT_NEAR(height_sum() - start, -255.0 / 1020.0, 1e-5);
    // Negative and NaN loads carry nothing.
    ASSERT_EQ(roost_add(p, v, -3.0f, t), 1);
    EXPECT_EQ(g_roost.particles[g_roost.live_head].dig, 0);
    ASSERT_EQ(roost_add(p, v, std::nanf(""), t), 1);
    EXPECT_EQ(g_roost.particles[g_roost.live_head].dig, 0);
    EXPECT_NEAR(height_sum() - start, -255.0 / 1020.0, 1e-5);
    // Half the wear factor moves half the ground.
    g_settings.erode = 0.5f;
    start = height_sum();
    ASSERT_EQ(roost_add(p, v, 0.1f, t), 1);
    EXPECT_NEAR(height_sum() - start, -0.5 * 102.0 / 1020.0, 1e-5);
}

TEST_F(RoostTest, LockedGroundNeverWears) {
    g_settings.erode = 1;
    g_terrain.deformation_locked = true;
    std::vector<float> before = g_terrain.heights;
    type(0).dig = 3;
    RoostWheel w = spinning_wheel(8, 8, 60);
    w.depth = 0.1f;
    for (int tick = 0; tick < 200; tick++) {
        roost_emit_wheel(w, 3, ROOST_REAR_CAP, tick);
        roost_update();
    }
    EXPECT_EQ(before, g_terrain.heights);
}

TEST_F(RoostTest, BrokenNumbersNeverEnterThePool) {
    RoostType t;
    const float p[3] = {8, 1, 8}, bad[3] = {0, std::nanf(""), 0}, inf[3] = {INFINITY, 0, 0};
    const float v[3] = {0, 1, 0};
    EXPECT_EQ(roost_add(p, bad, 0, t), 0);
    EXPECT_EQ(roost_add(inf, v, 0, t), 0);
    EXPECT_EQ(g_roost.live_count, 0);
    // A particle whose flight breaks (a drag read as NaN) is returned to the pool instead of
    // flying forever.
    t.drag = std::nanf("");
    ASSERT_EQ(roost_add(p, v, 0, t), 1);
    for (int k = 0; k < 5; k++) roost_update();
    EXPECT_EQ(g_roost.live_count, 0);
}

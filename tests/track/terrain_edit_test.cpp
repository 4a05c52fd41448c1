// Editing the terrain in rectangles: blocks of samples and tiles out and back, heights kept
// finite and within the limit, the decal list replaced, and the shadows the ground casts.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "track/lighting.h"
#include "track/terrain.h"

namespace {

// A P x P field (P = 2^shift x 2 + 1) 1 ft apart with a height function.
Terrain field(int shift, float (*h)(int, int)) {
    Terrain t;
    t.shift = shift;
    t.tiles = 1 << shift;
    t.samples = 2 * t.tiles + 1;
    t.spacing = 1;
    t.tile_size = 2;
    t.extent = (float)(2 * t.tiles);
    int P = t.samples;
    t.heights.resize((size_t)P * P);
    t.min_height = 1e9f, t.max_height = -1e9f;
    for (int j = 0; j < P; j++)
        for (int i = 0; i < P; i++) {
            float v = h(i, j);
            t.heights[i + (size_t)P * j] = v;
            t.min_height = std::min(t.min_height, v), t.max_height = std::max(t.max_height, v);
        }
    t.shading.assign((size_t)P * P * 3, 9);
    t.shadows.assign((size_t)P * P, 0);
    t.tilemap.assign((size_t)t.tiles * t.tiles, 0);
    t.surfaces.resize(2);
    terrain_lowdetail_alloc(&t);
    return t;
}

float flat(int, int) {
    return 0;
}

// A wall 12 ft high along the column x = 8.
float wall(int i, int) {
    return i == 8 ? 12.0f : 0.0f;
}

class TerrainEdit : public ::testing::Test {
  protected:
    void TearDown() override { lighting_reset(&g_lighting); }
};

} // namespace

TEST_F(TerrainEdit, PatchesComeOutAndGoBackWithTheirShadingAndShadows) {
    Terrain t = field(2, [](int i, int j) { return (float)(i + 10 * j); });
    TerrainPatch p;
    terrain_patch_get(&t, -3, 2, 4, 3, &p); // clamped to the field
    EXPECT_EQ(p.i0, 0);
    EXPECT_EQ(p.i1, 4);
    ASSERT_EQ(p.heights.size(), 10u);
    EXPECT_EQ(p.heights[0], 20.0f);
    EXPECT_EQ(p.heights[9], 34.0f);
    p.heights[0] = NAN;    // keeps the old height
    p.heights[1] = 1e20f;  // held at the limit
    p.heights[2] = -12.5f; // taken, the minimum widens
    p.shading[3] = 200;
    p.shadows[4] = 77;
    EXPECT_FALSE(t.modified);
    ASSERT_EQ(terrain_patch_put(&t, p), 1);
    // The ground differs from its files: a network race would load them again.
    EXPECT_TRUE(t.modified);
    EXPECT_EQ(t.heights[0 + 9 * 2], 20.0f);
    EXPECT_EQ(t.heights[1 + 9 * 2], TERRAIN_HEIGHT_LIMIT);
    EXPECT_EQ(t.heights[2 + 9 * 2], -12.5f);
    EXPECT_EQ(t.min_height, -12.5f);
    EXPECT_EQ(t.max_height, TERRAIN_HEIGHT_LIMIT);
    EXPECT_EQ(t.shading[3 * (1 + 9 * 2)], 200);
    EXPECT_EQ(t.shadows[4 + 9 * 2], 77);
    // The low-detail texture over it is to be rebuilt.
    EXPECT_EQ(terrain_lowdetail_dirty(&t, 0), 1);
    // A patch that does not fit the field is refused.
    p.i1 = 40;
    EXPECT_EQ(terrain_patch_put(&t, p), 0);
}

TEST_F(TerrainEdit, TilesGoBackHeldBelowTheSurfaceCount) {
    Terrain t = field(2, flat);
    TilePatch p;
    terrain_tiles_get(&t, 1, 1, 2, 2, &p);
    ASSERT_EQ(p.tiles.size(), 4u);
    p.tiles = {1, 7, 0, 1};
    ASSERT_EQ(terrain_tiles_put(&t, p), 1);
    EXPECT_EQ(t.tilemap[1 + 4 * 1], 1);
    EXPECT_EQ(t.tilemap[2 + 4 * 1], 1); // 7 with two surface types
    EXPECT_EQ(t.tilemap[1 + 4 * 2], 0);
}

TEST_F(TerrainEdit, DecalListIsReplacedAndIndexedAgain) {
    Terrain t = field(3, flat);
    terrain_decal_add(&t, 5, 2, 2, 0, 1, 1);
    Decal d{};
    d.texture = 9, d.x = 14, d.z = 14, d.size = 2, d.aspect = 1;
    terrain_decals_set(&t, {d}, false);
    ASSERT_EQ(t.decals.size(), 1u);
    EXPECT_EQ(t.decals[0].texture, 9u);
    std::vector<int> found;
    terrain_decals_in(&t, 2, 2, 2, 2, &found);
    EXPECT_TRUE(found.empty());
    terrain_decals_in(&t, 14, 14, 14, 14, &found);
    EXPECT_EQ(found, std::vector<int>{0});
    terrain_decals_set(&t, {}, true);
    EXPECT_TRUE(t.decals.empty());
    EXPECT_TRUE(t.decals_present);
}

TEST_F(TerrainEdit, AWallCastsItsShadowAwayFromTheSun) {
    Terrain t = field(3, wall); // 17 x 17 samples, the wall at x = 8
    // The sun low in the +x direction: rise 0.5 ft per ft. From a sample at x < 8 the ray starts
    // 0.25 ft up and meets the 12 ft wall if it is still below 12 there: 0.25 + 0.5 (8 - x) < 12
    // for every x >= 0, so the whole side before the wall is dark and the side after it lit.
    float s[3] = {2, 1, 0};
    float len = std::sqrt(5.0f);
    for (int k = 0; k < 3; k++) g_lighting.sun_vector[k] = s[k] / len;
    terrain_cast_shadows(&t, 0, 0, 16, 16);
    for (int j = 0; j < 17; j++) {
        EXPECT_EQ(t.shadows[3 + 17 * j], 220) << j; // every neighbour in shadow
        EXPECT_EQ(t.shadows[12 + 17 * j], 0) << j;  // beyond the wall
        // At the wall's foot six of the nine are dark, on its top three.
        EXPECT_EQ(t.shadows[7 + 17 * j], 6 * 220 / 9) << j;
        EXPECT_EQ(t.shadows[8 + 17 * j], 3 * 220 / 9) << j;
    }
    // The sun overhead casts nothing.
    g_lighting.sun_vector[0] = 0, g_lighting.sun_vector[1] = 1, g_lighting.sun_vector[2] = 0;
    terrain_cast_shadows(&t, 0, 0, 16, 16);
    for (uint8_t v : t.shadows) EXPECT_EQ(v, 0);
}

TEST_F(TerrainEdit, ShadowReachStretchesAwayFromTheSun) {
    Terrain t = field(4, wall); // 33 x 33, heights 0..12
    float s[3] = {2, 1, 0};
    float len = std::sqrt(5.0f);
    for (int k = 0; k < 3; k++) g_lighting.sun_vector[k] = s[k] / len;
    int r[4];
    ASSERT_TRUE(terrain_shadow_reach(&t, 30, 10, 31, 12, r));
    // Rise 0.5: a 12 ft range casts 24 ft (24 samples) + 2, all toward -x; one sample of margin
    // on every other side, held to the field.
    EXPECT_EQ(r[0], 30 - 1 - 26);
    EXPECT_EQ(r[1], 9);
    EXPECT_EQ(r[2], 32);
    EXPECT_EQ(r[3], 13);
}

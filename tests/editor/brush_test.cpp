// The ground brushes as operations on a small field: each changes exactly the samples under the
// brush by the amounts its formula gives, and nothing else; painting sets the tiles under the
// brush; nothing leaves a height that is not a number or beyond the limit.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>

#include "editor/editor_internal.h"

namespace {

// A 9 x 9-sample field (4 x 4 tiles) 2 ft apart, heights from a function, three surface types.
Terrain field(const std::function<float(int, int)>& h) {
    Terrain t;
    t.shift = 2;
    t.tiles = 4;
    t.samples = 9;
    t.spacing = 2;
    t.tile_size = 4;
    t.extent = 16;
    t.heights.resize(81);
    for (int j = 0; j < 9; j++)
        for (int i = 0; i < 9; i++) t.heights[i + 9 * j] = h(i, j);
    t.min_height = -1000, t.max_height = 1000;
    t.shading.assign(81 * 3, 77);
    t.shadows.assign(81, 5);
    t.tilemap.assign(16, 0);
    t.surfaces.resize(3);
    return t;
}

float flat(int, int) {
    return 0;
}

// The brush weight worked out from its description: (1 - (d/r)^2)^2 inside the radius.
float weight(float d, float r) {
    if (d >= r) return 0;
    float q = d / r;
    return (1 - q * q) * (1 - q * q);
}

float dist(int i, int j, float x, float z) {
    return std::hypot(i * 2.0f - x, j * 2.0f - z);
}

TEST(EditorBrush, RaiseAndLowerChangeExactlyTheSamplesUnderTheBrush) {
    Terrain t = field(flat);
    int rect[4];
    ASSERT_EQ(brush_raise(&t, 7, 8, 5, 2.5f, rect), 1);
    int under = 0, moved = 0;
    for (int j = 0; j < 9; j++)
        for (int i = 0; i < 9; i++) {
            float d = dist(i, j, 7, 8);
            float want = 2.5f * weight(d, 5);
            EXPECT_NEAR(t.heights[i + 9 * j], want, 1e-6f) << i << "," << j;
            under += d < 5;
            moved += t.heights[i + 9 * j] != 0;
        }
    // Samples at distance 5 or more stay put, among them (6, 4) at exactly 5.
    EXPECT_EQ(t.heights[6 + 9 * 4], 0.0f);
    EXPECT_EQ(moved, under);
    // The rectangle holds every changed sample.
    EXPECT_LE(rect[0], 1);
    EXPECT_GE(rect[2], 6);
    // Shading and shadows are left to the stroke.
    EXPECT_EQ(t.shading[3 * (3 + 9 * 4)], 77);
    EXPECT_EQ(t.shadows[3 + 9 * 4], 5);

    ASSERT_EQ(brush_raise(&t, 7, 8, 5, -2.5f, rect), 1); // lowering by the same undoes it
    for (float h : t.heights) EXPECT_NEAR(h, 0.0f, 1e-6f);
}

TEST(EditorBrush, SmoothPullsTowardTheAverageOfTheNeighboursBeforeTheDab) {
    Terrain t = field([](int i, int j) { return (i == 4 && j == 4) ? 9.0f : (float)(i % 2); });
    std::vector<float> before = t.heights;
    int rect[4];
    ASSERT_EQ(brush_smooth(&t, 8, 8, 3, 0.5f, rect), 1);
    auto at = [&](int i, int j) {
        i = i < 0 ? 0 : (i > 8 ? 8 : i);
        j = j < 0 ? 0 : (j > 8 ? 8 : j);
        return before[i + 9 * j];
    };
    for (int j = 0; j < 9; j++)
        for (int i = 0; i < 9; i++) {
            float w = weight(dist(i, j, 8, 8), 3);
            float avg = 0;
            for (int dj = -1; dj <= 1; dj++)
                for (int di = -1; di <= 1; di++) avg += at(i + di, j + dj);
            avg /= 9;
            float h = before[i + 9 * j];
            EXPECT_NEAR(t.heights[i + 9 * j], h + 0.5f * w * (avg - h), 1e-5f) << i << "," << j;
        }
    EXPECT_LT(t.heights[4 + 9 * 4], 9.0f);
}

TEST(EditorBrush, FlattenGoesToTheTargetAtTheCentreAndPartWayAtTheEdge) {
    Terrain t = field([](int i, int j) { return (float)(i + j); });
    std::vector<float> before = t.heights;
    int rect[4];
    ASSERT_EQ(brush_flatten(&t, 8, 8, 4, 3.0f, 1.0f, rect), 1);
    EXPECT_EQ(t.heights[4 + 9 * 4], 3.0f); // weight 1 at the centre
    for (int j = 0; j < 9; j++)
        for (int i = 0; i < 9; i++) {
            float w = weight(dist(i, j, 8, 8), 4);
            float h = before[i + 9 * j];
            EXPECT_NEAR(t.heights[i + 9 * j], h + w * (3.0f - h), 1e-5f);
        }
    // A fraction above 1 is held at 1: never past the target.
    ASSERT_EQ(brush_flatten(&t, 8, 8, 4, -2.0f, 50.0f, rect), 1);
    for (int j = 0; j < 9; j++)
        for (int i = 0; i < 9; i++) EXPECT_GE(t.heights[i + 9 * j], -2.0f - 1e-5f);
}

TEST(EditorBrush, RampSetsTheSamplesWithinItsWidthToTheLineBetweenTheEnds) {
    Terrain t = field([](int, int) { return 5.0f; });
    float a[3] = {2, 1, 4}, b[3] = {14, 7, 4};
    int rect[4];
    ASSERT_EQ(brush_ramp(&t, a, b, 2.5f, rect), 1);
    for (int j = 0; j < 9; j++)
        for (int i = 0; i < 9; i++) {
            float x = i * 2.0f, z = j * 2.0f;
            float s = (x - 2) / 12;
            s = s < 0 ? 0 : (s > 1 ? 1 : s);
            float d = std::hypot(x - (2 + 12 * s), z - 4);
            float want = d < 2.5f ? 1 + s * 6 : 5.0f;
            EXPECT_NEAR(t.heights[i + 9 * j], want, 1e-5f) << i << "," << j;
        }
    // Along the line at x = 8 the ramp is half way up.
    EXPECT_NEAR(t.heights[4 + 9 * 2], 4.0f, 1e-5f);
}

TEST(EditorBrush, PaintSetsTheTilesUnderTheBrushAndTheTileAtItsCentre) {
    Terrain t = field(flat);
    int rect[4];
    // Tiles are 4 ft: tile (tx, tz) has its centre at (4 tx + 2, 4 tz + 2).
    ASSERT_EQ(brush_paint(&t, 6, 6, 3, 2, rect), 1);
    for (int tz = 0; tz < 4; tz++)
        for (int tx = 0; tx < 4; tx++) {
            float d = std::hypot(4 * tx + 2.0f - 6, 4 * tz + 2.0f - 6);
            bool under = d < 3 || (tx == 1 && tz == 1);
            EXPECT_EQ(t.tilemap[tx + 4 * tz], under ? 2 : 0) << tx << "," << tz;
        }
    // A tiny brush still paints the tile it stands on.
    ASSERT_EQ(brush_paint(&t, 15, 1, 0.1f, 1, rect), 1);
    EXPECT_EQ(t.tilemap[3], 1);
    // No such surface type: refused, nothing painted.
    EXPECT_EQ(brush_paint(&t, 6, 6, 3, 3, rect), 0);
    EXPECT_EQ(t.tilemap[5], 2);
}

TEST(EditorBrush, NothingLeavesANaNOrAHeightBeyondTheLimit) {
    Terrain t = field(flat);
    int rect[4];
    EXPECT_EQ(brush_raise(&t, 8, 8, 4, NAN, rect), 0);
    EXPECT_EQ(brush_raise(&t, NAN, 8, 4, 1, rect), 0);
    EXPECT_EQ(brush_raise(&t, 8, 8, INFINITY, 1, rect), 0);
    EXPECT_EQ(brush_flatten(&t, 8, 8, 4, NAN, 1, rect), 0);
    for (float h : t.heights) EXPECT_EQ(h, 0.0f);
    // A huge amount stops at the limit; the bounds widen to hold it.
    ASSERT_EQ(brush_raise(&t, 8, 8, 4, 1e30f, rect), 1);
    EXPECT_EQ(t.heights[4 + 9 * 4], TERRAIN_HEIGHT_LIMIT);
    EXPECT_GE(t.max_height, TERRAIN_HEIGHT_LIMIT);
    for (float h : t.heights) {
        EXPECT_TRUE(std::isfinite(h));
        EXPECT_LE(std::fabs(h), TERRAIN_HEIGHT_LIMIT);
    }
    // A brush off the field changes nothing.
    EXPECT_EQ(brush_raise(&t, -100, -100, 4, 1, rect), 0);
}

} // namespace

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "core/settings.h"
#include "platform/digest.h"
#include "render/ground.h"
#include "track/lighting.h"
#include "track/terrain.h"
#include "track_test_files.h"

using namespace trackfiles;

namespace {

// A track folder "@trk" in the game folder with a small valid set of files; tests replace the
// ones they are about.
struct TrackDir {
    std::string dir = test_game_dir() + "/trk/";
    void put(const std::string& name, const std::string& bytes) { write_file(dir + name, bytes); }
};

class TerrainTest : public ::testing::Test {
  protected:
    Terrain t;
    TrackDir trk;
    void SetUp() override {
        log_start();
        g_settings = Settings();
        g_settings.headless = 1; // textures get names without GL
        lighting_reset(&g_lighting);
        ground_reset();
    }
    void TearDown() override { terrain_free(&t); }

    // shift 1: N = 2, P = 5.
    void put_small(const std::vector<uint16_t>& samples, const char* lo = "-10",
                   const char* hi = "20") {
        trk.put("terrain.hf", hf_binary(1, "2.5", lo, hi, samples));
        trk.put("shading.ppm", ppm(5, 5, std::vector<uint8_t>(75, 200)));
        trk.put("tileinfo", "texture dirt.png\naddtile\ntexture grass.png\naddtile\n");
        trk.put("tilemap", std::string("\x00\x01\x01\x00", 4));
    }
    static std::vector<uint16_t> ramp(int n) {
        std::vector<uint16_t> v(n);
        for (int k = 0; k < n; k++) v[k] = (uint16_t)(k * 2731 % 65536);
        return v;
    }
};

float expect_height(uint16_t v, float lo, float hi) {
    return lo + (float)v * (hi - lo) / 65535.0f;
}

} // namespace

TEST_F(TerrainTest, LoadsBinaryHeightsAndEveryRequiredFile) {
    std::vector<uint16_t> v = ramp(25);
    put_small(v);
    ASSERT_EQ(terrain_load(&t, "@trk"), 1);
    EXPECT_EQ(t.shift, 1);
    EXPECT_EQ(t.tiles, 2);
    EXPECT_EQ(t.samples, 5);
    EXPECT_FLOAT_EQ(t.spacing, 2.5f);
    EXPECT_FLOAT_EQ(t.tile_size, 5.0f);
    EXPECT_FLOAT_EQ(t.extent, 10.0f);
    EXPECT_FLOAT_EQ(t.min_height, -10.0f);
    EXPECT_FLOAT_EQ(t.max_height, 20.0f);
    ASSERT_EQ(t.heights.size(), 25u);
    for (int k = 0; k < 25; k++) EXPECT_NEAR(t.heights[k], expect_height(v[k], -10, 20), 1e-4) << k;
    // "shading.ppm" is stored halved; no "shadows.pgm" means no shadow anywhere.
    ASSERT_EQ(t.shading.size(), 75u);
    for (uint8_t c : t.shading) EXPECT_EQ(c, 100);
    ASSERT_EQ(t.shadows.size(), 25u);
    for (uint8_t s : t.shadows) EXPECT_EQ(s, 0);
    EXPECT_EQ(t.surfaces.size(), 2u);
    EXPECT_EQ(t.tilemap, (std::vector<uint8_t>{0, 1, 1, 0}));
    EXPECT_FALSE(t.modified);
    EXPECT_FALSE(t.decals_present);
}

TEST_F(TerrainTest, ShadingX2WinsAndIsStoredUnchanged) {
    put_small(ramp(25));
    std::vector<uint8_t> rgb(75);
    for (int k = 0; k < 75; k++) rgb[k] = (uint8_t)(k * 3);
    trk.put("shadingx2.ppm", ppm(5, 5, rgb));
    ASSERT_EQ(terrain_load(&t, "@trk"), 1);
    EXPECT_EQ(t.shading, rgb);
}

TEST_F(TerrainTest, ShadowsAreInvertedAndChecked) {
    put_small(ramp(25));
    std::vector<uint8_t> grey(25);
    for (int k = 0; k < 25; k++) grey[k] = (uint8_t)(k * 10);
    trk.put("shadows.pgm", pgm(5, 5, grey));
    ASSERT_EQ(terrain_load(&t, "@trk"), 1);
    for (int k = 0; k < 25; k++) EXPECT_EQ(t.shadows[k], 255 - k * 10);

    trk.put("shadows.pgm", pgm(3, 4, std::vector<uint8_t>(12, 0)));
    EXPECT_EQ(terrain_load(&t, "@trk"), 0);
    EXPECT_TRUE(log_has("Bad shadow dimensions (3x4)"));
    EXPECT_TRUE(t.heights.empty());

    trk.put("shadows.pgm", "garbage");
    EXPECT_EQ(terrain_load(&t, "@trk"), 0);
    EXPECT_TRUE(log_has("Error reading shadows"));
}

TEST_F(TerrainTest, ShiftEightSpacingOneField) {
    int P = 513;
    trk.put("terrain.hf", "8 1 0 100\n:" + le16(std::vector<uint16_t>((size_t)P * P, 65535)));
    trk.put("shading.ppm", ppm(P, P, std::vector<uint8_t>((size_t)P * P * 3, 0)));
    trk.put("tileinfo", "addtile\n");
    trk.put("tilemap", std::string(256 * 256, '\0'));
    ASSERT_EQ(terrain_load(&t, "@trk"), 1);
    EXPECT_EQ(t.tiles, 256);
    EXPECT_EQ(t.samples, 513);
    EXPECT_FLOAT_EQ(t.extent, 512.0f);
    EXPECT_FLOAT_EQ(terrain_height(&t, 300.3f, 12.7f), 100.0f);
    // (2 x 256 / 64 + 6) / 7 = 2 low-detail textures per side, none waiting for a rebuild.
    EXPECT_EQ(t.lowdetail_count, 2);
    for (int k = 0; k < 4; k++) EXPECT_EQ(terrain_lowdetail_dirty(&t, k), 0);
}

TEST_F(TerrainTest, HeightsFromSmallerPngRepeatLastRowAndColumn) {
    put_small({});
    trk.put("terrain.hf", "1 1 0 65535\n");
    // A 3 x 2 image: pixel (x, y) = 1000 y + x.
    trk.put("terrain.png", png_grey16(3, 2, {0, 1, 2, 1000, 1001, 1002}));
    ASSERT_EQ(terrain_load(&t, "@trk"), 1);
    for (int j = 0; j < 5; j++)
        for (int i = 0; i < 5; i++)
            EXPECT_NEAR(t.heights[i + 5 * j], 1000.0f * std::min(j, 1) + std::min(i, 2), 1e-3)
                << i << "," << j;
}

TEST_F(TerrainTest, UnreadablePngGivesMinimumEverywhere) {
    put_small({});
    trk.put("terrain.hf", "1 1 -3.5 8 x");
    ASSERT_EQ(terrain_load(&t, "@trk"), 1);
    for (float h : t.heights) EXPECT_FLOAT_EQ(h, -3.5f);
}

TEST_F(TerrainTest, ShortBinaryHeightsReadAsMinimum) {
    put_small({});
    std::string hf = hf_binary(1, "1", "5", "6", {65535, 65535, 65535});
    hf += '\xff'; // half of the fourth sample
    trk.put("terrain.hf", hf);
    ASSERT_EQ(terrain_load(&t, "@trk"), 1);
    EXPECT_FLOAT_EQ(t.heights[0], 6.0f);
    EXPECT_FLOAT_EQ(t.heights[2], 6.0f);
    EXPECT_NEAR(t.heights[3], expect_height(255, 5, 6), 1e-5);
    for (int k = 4; k < 25; k++) EXPECT_FLOAT_EQ(t.heights[k], 5.0f);
}

TEST_F(TerrainTest, BadHeaderLogsBothLinesAndFails) {
    put_small(ramp(25));
    const char* bad[] = {
        "1 2.0 zz 4\n:", "", "1 2 3", "40 1 0 1\n:", "-1 1 0 1\n:", "3 0 0 1\n:", "3 -2 0 1\n:"};
    for (const char* header : bad) {
        trk.put("terrain.hf", header);
        EXPECT_EQ(terrain_load(&t, "@trk"), 0) << header;
        EXPECT_TRUE(t.heights.empty());
        EXPECT_EQ(t.samples, 0);
    }
    std::vector<std::string> lines = log_lines();
    int pairs = 0;
    for (size_t k = 0; k + 1 < lines.size(); k++)
        pairs +=
            lines[k] == "Bad height field parameters" && lines[k + 1] == "Error reading heights";
    EXPECT_EQ(pairs, 7);
}

TEST_F(TerrainTest, MissingRequiredFilesFailWithTheirMessages) {
    put_small(ramp(25));
    remove((trk.dir + "tilemap").c_str());
    EXPECT_EQ(terrain_load(&t, "@trk"), 0);
    put_small(ramp(25));
    remove((trk.dir + "shading.ppm").c_str());
    EXPECT_EQ(terrain_load(&t, "@trk"), 0);
    put_small(ramp(25));
    remove((trk.dir + "tileinfo").c_str());
    EXPECT_EQ(terrain_load(&t, "@trk"), 0);
    EXPECT_TRUE(log_has("Error reading tileinfo"));
    EXPECT_EQ(terrain_load(&t, "@nothere"), 0);
    int cant = 0;
    for (const std::string& l : log_lines())
        if (l.rfind("Can't open '", 0) == 0) {
            cant++;
            EXPECT_TRUE(l.find("trk/tilemap'") != std::string::npos ||
                        l.find("trk/shading.ppm'") != std::string::npos ||
                        l.find("trk/texturelist'") != std::string::npos ||
                        l.find("nothere/terrain.hf'") != std::string::npos)
                << l;
        }
    EXPECT_EQ(cant, 4);
}

TEST_F(TerrainTest, ShadingOfTheWrongSizeOrGarbageFails) {
    put_small(ramp(25));
    trk.put("shading.ppm", ppm(5, 4, std::vector<uint8_t>(60, 1)));
    EXPECT_EQ(terrain_load(&t, "@trk"), 0);
    EXPECT_TRUE(log_has("Bad shading dimensions (5x4)"));
    trk.put("shading.ppm", "P6\n5 5\n");
    EXPECT_EQ(terrain_load(&t, "@trk"), 0);
    trk.put("shading.ppm", "nonsense");
    EXPECT_EQ(terrain_load(&t, "@trk"), 0);
    EXPECT_GE(log_count("Error reading shading"), 1);
}

TEST_F(TerrainTest, TilemapBytesAreClampedToTheLastType) {
    put_small(ramp(25));
    std::string info;
    for (int k = 0; k < 12; k++) info += "addtile\n";
    trk.put("tileinfo", info);
    trk.put("tilemap", std::string("\xc8\x0b\x0c\x03", 4)); // 200, 11, 12, 3
    ASSERT_EQ(terrain_load(&t, "@trk"), 1);
    EXPECT_EQ(t.surfaces.size(), 12u);
    EXPECT_EQ(t.tilemap, (std::vector<uint8_t>{11, 11, 11, 3}));
}

TEST_F(TerrainTest, TileinfoWithoutAddtileGetsOneDefaultType) {
    put_small(ramp(25));
    trk.put("tileinfo", "texture dirt.png\nfriction 0.5 3\n");
    trk.put("tilemap", std::string("\x05\x00\x07\x01", 4));
    ASSERT_EQ(terrain_load(&t, "@trk"), 1);
    ASSERT_EQ(t.surfaces.size(), 1u);
    EXPECT_EQ(t.surfaces[0].texture, 0u);
    EXPECT_FLOAT_EQ(t.surfaces[0].friction[0].coefficient, 1.0f);
    EXPECT_EQ(t.tilemap, (std::vector<uint8_t>{0, 0, 0, 0}));
    bool warned = false;
    for (const std::string& l : log_lines())
        warned |= l.rfind("Warning: no surface types in '", 0) == 0;
    EXPECT_TRUE(warned);
}

TEST_F(TerrainTest, TexturelistIsReadWhenTileinfoIsMissing) {
    put_small(ramp(25));
    remove((trk.dir + "tileinfo").c_str());
    trk.put("texturelist", "0.7 3 9 dirt.png\ngrass.png\n");
    ASSERT_EQ(terrain_load(&t, "@trk"), 1);
    ASSERT_EQ(t.surfaces.size(), 2u);
    EXPECT_FLOAT_EQ(t.surfaces[0].friction[0].coefficient, 0.7f);
    EXPECT_EQ(t.surfaces[1].texture_name, "grass.png");
}

TEST_F(TerrainTest, DigestCoversTheSamplesAndIsLoggedAtLevelTwo) {
    std::vector<uint16_t> v = ramp(25);
    put_small(v);
    g_settings.debug_level = 2;
    ASSERT_EQ(terrain_load(&t, "@trk"), 1);
    unsigned char want[20];
    std::string bytes = le16(v);
    digest_bytes(bytes.data(), bytes.size(), want);
    EXPECT_EQ(memcmp(t.digest, want, 20), 0);
    EXPECT_TRUE(log_has("Height samples digest " + digest_hex(want)));

    // The PNG path feeds the same bytes for the same samples.
    trk.put("terrain.hf", "1 2.5 -10 20\n");
    std::vector<uint16_t> png(v);
    trk.put("terrain.png", png_grey16(5, 5, png));
    ASSERT_EQ(terrain_load(&t, "@trk"), 1);
    EXPECT_EQ(memcmp(t.digest, want, 20), 0);
}

TEST_F(TerrainTest, VerboseLoadLogsTheTextureMemoryLines) {
    put_small(ramp(25));
    g_settings.debug_level = 1;
    ASSERT_EQ(terrain_load(&t, "@trk"), 1);
    std::vector<std::string> lines = log_lines();
    auto find = [&](const std::string& suffix) {
        for (size_t k = 0; k < lines.size(); k++)
            if (lines[k].size() >= suffix.size() &&
                lines[k].compare(lines[k].size() - suffix.size(), suffix.size(), suffix) == 0)
                return (int)k;
        return -1;
    };
    int a = find("bytes texture memory used before ground tiles loaded");
    int b = find("bytes texture memory used after ground tiles loaded");
    int c = find("1x1 low detail textures needed for 5x5 field");
    int d = find("bytes texture memory used after low detail ground textures");
    EXPECT_TRUE(a >= 0 && a < b && b < c && c < d) << a << " " << b << " " << c << " " << d;
}

// ---- Height queries on a hand-built field ----

namespace {
// P = 5, spacing 2: H(i, j) = 10 i + 100 j + (i j odd ? 7 : 0), so that the two diagonals of
// a cell give different midpoints.
Terrain make_field(int shift = 1, float spacing = 2.0f) {
    Terrain t;
    t.shift = shift;
    t.tiles = 1 << shift;
    t.samples = 2 * t.tiles + 1;
    t.spacing = spacing;
    t.tile_size = 2 * spacing;
    t.extent = 2 * t.tiles * spacing;
    int P = t.samples;
    t.heights.resize((size_t)P * P);
    for (int j = 0; j < P; j++)
        for (int i = 0; i < P; i++)
            t.heights[i + P * j] = 10.0f * i + 100.0f * j + (((i * j) & 1) ? 7.0f : 0.0f);
    t.min_height = 0;
    t.max_height = t.heights.back();
    t.shading.assign((size_t)P * P * 3, 64);
    t.shadows.assign((size_t)P * P, 0);
    t.tilemap.assign((size_t)t.tiles * t.tiles, 0);
    for (int k = 0; k < t.tiles * t.tiles; k++) t.tilemap[k] = (uint8_t)k;
    terrain_lowdetail_alloc(&t);
    return t;
}
float H(const Terrain& t, int i, int j) {
    int P = t.samples;
    i = std::clamp(i, 0, P - 1), j = std::clamp(j, 0, P - 1);
    return t.heights[i + P * j];
}
} // namespace

TEST_F(TerrainTest, HeightMatchesSamplesAndBothTriangleFormulas) {
    Terrain f = make_field();
    for (int j = 0; j < 5; j++)
        for (int i = 0; i < 5; i++)
            EXPECT_FLOAT_EQ(terrain_height(&f, i * 2.0f, j * 2.0f), H(f, i, j));
    // Even cell (1, 1): a = 0.75, b = 0.25 lies below its diagonal, a = 0.25, b = 0.75 above.
    {
        float a = 0.75f, b = 0.25f;
        float want =
            H(f, 2, 1) + (1 - a) * (H(f, 1, 1) - H(f, 2, 1)) + b * (H(f, 2, 2) - H(f, 2, 1));
        EXPECT_NEAR(terrain_height(&f, 2 * (1 + a), 2 * (1 + b)), want, 1e-4);
        a = 0.25f, b = 0.75f;
        want = H(f, 1, 2) + a * (H(f, 2, 2) - H(f, 1, 2)) + (1 - b) * (H(f, 1, 1) - H(f, 1, 2));
        EXPECT_NEAR(terrain_height(&f, 2 * (1 + a), 2 * (1 + b)), want, 1e-4);
    }
    // Odd cell (1, 0).
    {
        float a = 0.2f, b = 0.3f;
        float want = H(f, 1, 0) + a * (H(f, 2, 0) - H(f, 1, 0)) + b * (H(f, 1, 1) - H(f, 1, 0));
        EXPECT_NEAR(terrain_height(&f, 2 * (1 + a), 2 * b), want, 1e-4);
        a = 0.8f, b = 0.6f;
        want =
            H(f, 2, 1) + (1 - a) * (H(f, 1, 1) - H(f, 2, 1)) + (1 - b) * (H(f, 2, 0) - H(f, 2, 1));
        EXPECT_NEAR(terrain_height(&f, 2 * (1 + a), 2 * b), want, 1e-4);
    }
}

TEST_F(TerrainTest, DiagonalsAlternateAndHeightIsContinuousAcrossThem) {
    Terrain f = make_field();
    // Cell centres: the even cell (1, 1) interpolates (1,1)-(2,2), the odd cell (1, 0) (2,0)-(1,1).
    EXPECT_NEAR(terrain_height(&f, 3, 3), (H(f, 1, 1) + H(f, 2, 2)) / 2, 1e-4);
    EXPECT_NEAR(terrain_height(&f, 3, 1), (H(f, 2, 0) + H(f, 1, 1)) / 2, 1e-4);
    EXPECT_GT(fabsf((H(f, 1, 1) + H(f, 2, 2)) / 2 - (H(f, 2, 1) + H(f, 1, 2)) / 2), 1.0f);
    // Along every cell's diagonal the heights on both sides meet.
    const float e = 1e-3f;
    for (int j = 0; j < 4; j++)
        for (int i = 0; i < 4; i++)
            for (float s = 0.1f; s < 1.0f; s += 0.2f) {
                float x, z, nx, nz; // a point on the diagonal and the normal direction
                if (((i + j) & 1) == 0)
                    x = i + s, z = j + s, nx = 1, nz = -1;
                else
                    x = i + 1 - s, z = j + s, nx = 1, nz = 1;
                float h1 = terrain_height(&f, 2 * (x + e * nx), 2 * (z + e * nz));
                float h2 = terrain_height(&f, 2 * (x - e * nx), 2 * (z - e * nz));
                EXPECT_NEAR(h1, h2, 0.5f) << i << "," << j << " s " << s;
            }
    // Across cell edges too.
    for (int i = 1; i < 4; i++)
        for (float z = 0.1f; z < 8; z += 0.37f)
            EXPECT_NEAR(terrain_height(&f, 2 * i - 1e-3f, z), terrain_height(&f, 2 * i + 1e-3f, z),
                        0.5f);
}

TEST_F(TerrainTest, OutsideTheFieldTheEdgeSamplesContinue) {
    Terrain f = make_field();
    EXPECT_FLOAT_EQ(terrain_height(&f, -50, 4), H(f, 0, 2));
    EXPECT_FLOAT_EQ(terrain_height(&f, 4, -50), H(f, 2, 0));
    EXPECT_FLOAT_EQ(terrain_height(&f, 100, 100), H(f, 4, 4));
    // Only x outside: z still interpolates between the edge column's samples.
    EXPECT_NEAR(terrain_height(&f, -7, 3), (H(f, 0, 1) + H(f, 0, 2)) / 2, 1e-4);
    EXPECT_TRUE(std::isfinite(terrain_height(&f, 1e30f, -1e30f)));
    EXPECT_TRUE(std::isnan(terrain_height(&f, NAN, 1)));
    Terrain empty;
    EXPECT_EQ(terrain_height(&empty, 1, 1), 0.0f);
}

TEST_F(TerrainTest, TileUnderAPointIsClamped) {
    Terrain f = make_field(); // tiles 4 ft wide, tilemap[k] = k
    EXPECT_EQ(terrain_tile_at(&f, 1, 1), 0);
    EXPECT_EQ(terrain_tile_at(&f, 5, 1), 1);
    EXPECT_EQ(terrain_tile_at(&f, 1, 5), 2);
    EXPECT_EQ(terrain_tile_at(&f, 7.9f, 7.9f), 3);
    EXPECT_EQ(terrain_tile_at(&f, -30, 100), 2);
    EXPECT_EQ(terrain_tile_at(&f, 100, -3), 1);
}

TEST_F(TerrainTest, CollisionTrianglesFollowTheCellParity) {
    Terrain f = make_field();
    TerrainCellRange r = terrain_cell_range(&f, 3.0f, 5.0f, 1.5f);
    // floor(1.5 / 2) = 0 .. ceil(4.5 / 2) = 3; floor(3.5 / 2) = 1 .. ceil(6.5 / 2) = 4.
    EXPECT_EQ(r.i0, 0);
    EXPECT_EQ(r.i1, 3);
    EXPECT_EQ(r.j0, 1);
    EXPECT_EQ(r.j1, 4);
    r = terrain_cell_range(&f, 4.0f, 4.0f, 0.0f); // exactly on a sample: no cell
    EXPECT_EQ(r.i1 - r.i0, 0);

    auto vert = [&](const float* v, int i, int j) {
        EXPECT_FLOAT_EQ(v[0], 2.0f * i);
        EXPECT_FLOAT_EQ(v[1], H(f, i, j));
        EXPECT_FLOAT_EQ(v[2], 2.0f * j);
    };
    TerrainTriangle tri[2];
    terrain_cell_triangles(&f, 1, 1, tri); // even
    vert(tri[0].v[0], 1, 1), vert(tri[0].v[1], 1, 2), vert(tri[0].v[2], 2, 2);
    vert(tri[1].v[0], 2, 2), vert(tri[1].v[1], 2, 1), vert(tri[1].v[2], 1, 1);
    terrain_cell_triangles(&f, 2, 1, tri); // odd
    vert(tri[0].v[0], 2, 1), vert(tri[0].v[1], 2, 2), vert(tri[0].v[2], 3, 1);
    vert(tri[1].v[0], 3, 2), vert(tri[1].v[1], 3, 1), vert(tri[1].v[2], 2, 2);
    // Outside the field: x from the unclamped index, height from the clamped one.
    terrain_cell_triangles(&f, -2, 0, tri);
    EXPECT_FLOAT_EQ(tri[0].v[0][0], -4.0f);
    EXPECT_FLOAT_EQ(tri[0].v[0][1], H(f, 0, 0));

    TerrainTriangle all[32];
    int n = terrain_triangles(&f, 3.0f, 5.0f, 1.5f, all, 32);
    EXPECT_EQ(n, 3 * 3 * 2);
    // Row by row: the fourth cell is (0, 2), an even cell.
    vert(all[6].v[0], 0, 2);
    vert(all[6].v[2], 1, 3);
    // A short buffer gets whole cells only, the count stays the total.
    EXPECT_EQ(terrain_triangles(&f, 3.0f, 5.0f, 1.5f, all, 5), 18);
}

TEST_F(TerrainTest, GroundFrameFollowsTheNormal) {
    Terrain f = make_field(2, 1.0f);
    // A plane rising 0.5 per foot along x and flat along z.
    for (int j = 0; j < f.samples; j++)
        for (int i = 0; i < f.samples; i++) f.heights[i + f.samples * j] = 0.5f * i;
    float m[9];
    terrain_ground_frame(&f, 3.2f, 3.7f, 3.25f, m);
    for (int k = 0; k < 9; k++) EXPECT_FLOAT_EQ(m[k], k % 4 == 0 ? 1.0f : 0.0f);

    float yaw = 0.4f;
    terrain_ground_frame(&f, 3.2f, 3.7f, yaw, m);
    float len = sqrtf(0.25f + 1.0f);
    EXPECT_NEAR(m[1], -0.5f / len, 1e-5); // up = (-0.5, 1, 0) normalised
    EXPECT_NEAR(m[4], 1.0f / len, 1e-5);
    EXPECT_NEAR(m[7], 0.0f, 1e-5);
    for (int a = 0; a < 3; a++)
        for (int b = 0; b < 3; b++) {
            float dot = 0;
            for (int r = 0; r < 3; r++) dot += m[r * 3 + a] * m[r * 3 + b];
            EXPECT_NEAR(dot, a == b ? 1.0f : 0.0f, 1e-5);
        }
    // Side = normalise(f0 x up) and forward = up x side, which is f0 with its part along up
    // removed, normalised; f0 = (cos yaw, 0, -sin yaw).
    {
        float f0[3] = {cosf(yaw), 0, -sinf(yaw)}, up[3] = {-0.5f / len, 1.0f / len, 0};
        float side[3] = {f0[1] * up[2] - f0[2] * up[1], f0[2] * up[0] - f0[0] * up[2],
                         f0[0] * up[1] - f0[1] * up[0]};
        float d = f0[0] * up[0] + f0[1] * up[1] + f0[2] * up[2];
        float fw[3] = {f0[0] - d * up[0], f0[1] - d * up[1], f0[2] - d * up[2]};
        float ls = sqrtf(side[0] * side[0] + side[1] * side[1] + side[2] * side[2]);
        float lf = sqrtf(fw[0] * fw[0] + fw[1] * fw[1] + fw[2] * fw[2]);
        for (int r = 0; r < 3; r++) {
            EXPECT_NEAR(m[r * 3 + 0], fw[r] / lf, 1e-5) << r;
            EXPECT_NEAR(m[r * 3 + 2], side[r] / ls, 1e-5) << r;
        }
    }

    // Level ground: a rotation by yaw about the vertical.
    Terrain flat = make_field(2, 1.0f);
    std::fill(flat.heights.begin(), flat.heights.end(), 3.0f);
    terrain_ground_frame(&flat, 2, 2, yaw, m);
    const float want[9] = {cosf(yaw), 0, sinf(yaw), 0, 1, 0, -sinf(yaw), 0, cosf(yaw)};
    for (int k = 0; k < 9; k++) EXPECT_NEAR(m[k], want[k], 1e-5) << k;

    // yaw <= -2 pi keeps the up axis vertical on the slope.
    terrain_ground_frame(&f, 2, 2, -7.0f, m);
    EXPECT_NEAR(m[4], 1.0f, 1e-6);
    EXPECT_NEAR(m[1], 0.0f, 1e-6);
}

TEST_F(TerrainTest, DeformMovesSixteenSamplesByNormalisedWeights) {
    Terrain f = make_field(3, 1.0f); // P = 17
    std::vector<float> before = f.heights;
    float x = 7.3f, z = 8.6f, amount = -2.0f;
    terrain_deform(&f, x, z, amount);
    EXPECT_TRUE(f.modified);
    float w[4][4], sum = 0;
    for (int v = 0; v < 4; v++)
        for (int u = 0; u < 4; u++) {
            float dx = x - (6 + u), dz = z - (7 + v);
            float q = sqrtf(dx * dx + dz * dz) / 2;
            w[v][u] = q <= 1 ? 1 - 3 * q * q + 2 * q * q * q : 0;
            sum += w[v][u];
        }
    float total = 0;
    for (int j = 0; j < 17; j++)
        for (int i = 0; i < 17; i++) {
            float d = f.heights[i + 17 * j] - before[i + 17 * j];
            total += d;
            bool inside = i >= 6 && i <= 9 && j >= 7 && j <= 10;
            float want = inside ? amount * w[j - 7][i - 6] / sum : 0.0f;
            EXPECT_NEAR(d, want, 1e-4) << i << "," << j;
        }
    EXPECT_NEAR(total, amount, 1e-4);
    EXPECT_EQ(w[3][3], 0.0f); // the far corner is beyond two samples
}

TEST_F(TerrainTest, DeformWidensMinMaxSkipsOutsideAndHonoursTheLock) {
    Terrain f = make_field(2, 1.0f);
    std::fill(f.heights.begin(), f.heights.end(), 0.0f);
    f.min_height = f.max_height = 0;
    terrain_deform(&f, 4, 4, 0.0f);
    EXPECT_FALSE(f.modified);
    f.deformation_locked = true;
    terrain_deform(&f, 4, 4, 5.0f);
    EXPECT_FALSE(f.modified);
    for (float h : f.heights) EXPECT_EQ(h, 0.0f);
    f.deformation_locked = false;
    terrain_deform(&f, 4, 4, 5.0f);
    terrain_deform(&f, 1, 1, -5.0f);
    EXPECT_GT(f.max_height, 0.5f);
    EXPECT_LT(f.min_height, -0.5f);
    // At the corner only the samples inside the field move; nothing is written outside.
    std::vector<float> before = f.heights;
    terrain_deform(&f, 0, 0, 1.0f);
    float total = 0;
    for (size_t k = 0; k < f.heights.size(); k++) total += f.heights[k] - before[k];
    EXPECT_GT(total, 0.0f);
    EXPECT_LT(total, 1.0f);
    before = f.heights;
    terrain_deform(&f, -100, -100, 1.0f);
    terrain_deform(&f, NAN, 3, 1.0f);
    terrain_deform(&f, 2, 2, INFINITY);
    EXPECT_EQ(f.heights, before);
}

TEST_F(TerrainTest, DeformKeepsTheShadingOffsetAndMarksLowDetail) {
    g_lighting.sun_vector[0] = 0.6f, g_lighting.sun_vector[1] = 0.8f, g_lighting.sun_vector[2] = 0;
    Terrain f = make_field(8, 1.0f); // N = 256, W = 2
    std::fill(f.heights.begin(), f.heights.end(), 0.0f);
    int P = f.samples;
    // Flat field: light = 0.8, value = (0.8 + 0.5) x 0.5 x 255 = 165.75 -> 165. Store 170.
    std::fill(f.shading.begin(), f.shading.end(), 170);
    float x = 460.2f, z = 10.5f;
    terrain_deform(&f, x, z, 3.0f);
    for (int j = 0; j <= 20; j++)
        for (int i = 440; i < 480; i++) {
            uint8_t want[3];
            terrain_sample_shade(&f, i, j, want);
            const uint8_t* s = &f.shading[3 * (i + (size_t)P * j)];
            bool near = i >= 458 && i <= 463 && j >= 8 && j <= 13;
            for (int c = 0; c < 3; c++) {
                if (near)
                    EXPECT_EQ(s[c], std::min(255, want[c] + 5)) << i << "," << j;
                else
                    EXPECT_EQ(s[c], 170) << i << "," << j;
            }
        }
    // The bump changed the light somewhere: the raised ground is not flat any more.
    uint8_t lit[3];
    terrain_sample_shade(&f, 459, 10, lit);
    EXPECT_NE(lit[0], 165);
    // Samples 457..464 lie in block column 1 (448 and up), rows 7..14 in block row 0.
    EXPECT_EQ(terrain_lowdetail_dirty(&f, 0), 0);
    EXPECT_EQ(terrain_lowdetail_dirty(&f, 1), 1);
    EXPECT_EQ(terrain_lowdetail_dirty(&f, 2), 0);
    EXPECT_EQ(terrain_lowdetail_dirty(&f, 3), 0);
}

TEST_F(TerrainTest, DecalsGoIntoEveryBucketTheyReach) {
    Terrain f = make_field(4, 2.0f); // extent 64: buckets 8 ft wide
    Decal probe{};
    probe.size = 4, probe.aspect = 3, probe.angle = 0.5f;
    probe.sin_angle = sinf(0.5f), probe.cos_angle = cosf(0.5f);
    float hx, hz;
    terrain_decal_bounds(&probe, &hx, &hz);
    EXPECT_NEAR(hx, fabsf(12 * cosf(0.5f)) / 2 + fabsf(4 * sinf(0.5f)) / 2, 1e-5);
    EXPECT_NEAR(hz, fabsf(4 * cosf(0.5f)) / 2 + fabsf(12 * sinf(0.5f)) / 2, 1e-5);

    EXPECT_EQ(terrain_decal_bucket(&f, -5), 0);
    EXPECT_EQ(terrain_decal_bucket(&f, 7.9f), 0);
    EXPECT_EQ(terrain_decal_bucket(&f, 8.0f), 1);
    EXPECT_EQ(terrain_decal_bucket(&f, 63.9f), 7);
    EXPECT_EQ(terrain_decal_bucket(&f, 1000), 7);
    EXPECT_EQ(terrain_decal_bucket(&f, NAN), 0);

    int small = terrain_decal_add(&f, 11, 12, 12, 0, 2, 1); // bucket (1, 1) only
    int edge = terrain_decal_add(&f, 12, 16, 4, 0, 2, 1);   // x 15..17: buckets 1 and 2
    int big = terrain_decal_add(&f, 13, 32, 32, 0, 40, 1);  // x, z 12..52: buckets 1..6
    EXPECT_TRUE(f.decals_present);
    EXPECT_EQ(f.decals[edge].texture, 12u);
    EXPECT_NEAR(f.decals[big].cos_angle, 1.0f, 1e-6);
    EXPECT_EQ(f.decal_buckets[1][1], (std::vector<int>{small, big}));
    EXPECT_EQ(f.decal_buckets[0][1], (std::vector<int>{edge}));
    EXPECT_EQ(f.decal_buckets[0][2], (std::vector<int>{edge}));
    EXPECT_EQ(f.decal_buckets[4][4], (std::vector<int>{big}));
    EXPECT_TRUE(f.decal_buckets[7][7].empty());
    int cells = 0;
    for (auto& row : f.decal_buckets)
        for (auto& b : row) cells += (int)b.size();
    EXPECT_EQ(cells, 1 + 2 + 36);

    std::vector<int> found;
    terrain_decals_in(&f, 0, 0, 20, 20, &found);
    EXPECT_EQ(found, (std::vector<int>{small, edge, big}));
    terrain_decals_in(&f, 60, 0, 63, 3, &found);
    EXPECT_TRUE(found.empty());
}

TEST_F(TerrainTest, BlendCodesFromTextureNames) {
    Terrain f;
    const char* names[] = {"dirt.png",
                           "grass.png",
                           "dirt-grass-1010.png",
                           "dirt-alt1.png",
                           "dirt-nothing-1111.png",
                           "plain.png",
                           "dirt-grass-10x0.png",
                           "grass-dirt.png",
                           "sand-grass-0001.png"};
    for (const char* n : names) {
        SurfaceType s;
        s.texture_name = n;
        f.surfaces.push_back(s);
    }
    terrain_blend_codes(&f);
    auto code = [&](int k) { return f.surfaces[k].blend_code; };
    EXPECT_EQ(code(0), 0);
    EXPECT_EQ(code(1), 1 * 65536 + 1 * 256);
    EXPECT_EQ(code(2), 0 * 65536 + 1 * 256 + 10);
    EXPECT_EQ(code(3), 0);
    EXPECT_EQ(code(4), 4 * 65536 + 4 * 256); // no type named "nothing."
    EXPECT_EQ(code(5), 5 * 65536 + 5 * 256);
    EXPECT_EQ(code(6), 1 * 256);             // not four binary digits: no mask
    EXPECT_EQ(code(7), 7 * 65536 + 7 * 256); // "dirt.png" is B part with its dot: no match
    EXPECT_EQ(code(8), 8 * 65536 + 8 * 256); // no type named "sand."
}

TEST_F(TerrainTest, SaveAndReloadKeepsEverythingWithinOneStep) {
    std::vector<uint16_t> v = ramp(25);
    put_small(v, "-10", "20");
    ASSERT_EQ(terrain_load(&t, "@trk"), 1);
    t.heights[7] = 31.0f; // beyond the old maximum
    t.shading[0] = 130, t.shading[1] = 127, t.shading[2] = 0;
    ASSERT_EQ(terrain_save(&t), 1);
    float lo = t.heights[0], hi = t.heights[0];
    for (float h : t.heights) lo = std::min(lo, h), hi = std::max(hi, h);
    EXPECT_FLOAT_EQ(t.min_height, lo);
    EXPECT_FLOAT_EQ(t.max_height, 31.0f);
    std::vector<float> saved = t.heights;
    std::vector<uint8_t> shading = t.shading;

    // Saved into folder 0, the per-user folder.
    std::string dir = test_user_dir() + "trk/";
    char line[200];
    snprintf(line, sizeof line, "1 %f %f %f\n", 2.5, (double)lo, 31.0);
    EXPECT_EQ(read_file(dir + "terrain.hf"), line);
    std::string s1 = read_file(dir + "shading.ppm"), s2 = read_file(dir + "shadingx2.ppm");
    ASSERT_EQ(s1.substr(0, 13), "P6\n5 5\n255\n\xff\xfe");
    EXPECT_EQ((uint8_t)s1[13], 0);
    EXPECT_EQ((uint8_t)s1[14], 200);
    EXPECT_EQ(s2.substr(11, 4), std::string("\x82\x7f\x00\x64", 4));
    EXPECT_EQ(read_file(dir + "tilemap"), std::string("\x00\x01\x01\x00", 4));
    EXPECT_FALSE(file_exists(dir + "decals"));

    ASSERT_EQ(terrain_load(&t, "@trk"), 1);
    float step = (hi - lo) / 65535.0f;
    for (int k = 0; k < 25; k++) EXPECT_NEAR(t.heights[k], saved[k], step + 1e-5f) << k;
    EXPECT_EQ(t.shading, shading); // "shadingx2.ppm" keeps every value
}

TEST_F(TerrainTest, SaveReportsAFileThatCannotBeCreated) {
    put_small(ramp(25));
    ASSERT_EQ(terrain_load(&t, "@trk"), 1);
    write_file(test_dir() + "/blocker", "x");
    t.folder = test_dir() + "/blocker/sub";
    EXPECT_EQ(terrain_save(&t), 0);
    EXPECT_TRUE(log_has("Can't open 'terrain.hf'"));
}

TEST_F(TerrainTest, FreeResetsEverything) {
    put_small(ramp(25));
    ASSERT_EQ(terrain_load(&t, "@trk"), 1);
    terrain_deform(&t, 3, 3, 1);
    t.deformation_locked = true;
    terrain_free(&t);
    EXPECT_EQ(t.samples, 0);
    EXPECT_TRUE(t.heights.empty());
    EXPECT_TRUE(t.surfaces.empty());
    EXPECT_FALSE(t.modified);
    EXPECT_FALSE(t.deformation_locked);
    EXPECT_EQ(t.lowdetail_count, 0);
}

TEST_F(TerrainTest, DecalsFileDropsRecordsWithoutTextureAndIsWrittenBack) {
    put_small(ramp(25));
    std::vector<uint8_t> red(4 * 4 * 3, 0);
    for (size_t k = 0; k < red.size(); k += 3) red[k] = 255;
    write_file(test_game_dir() + "/mark.ppm", ppm(4, 4, red));
    trk.put("decals", "[ 2 3 ] 0.5 4 1.5 @mark.ppm\n"
                      "[ 1 1 ] 0 1 1 @missing.ppm\n"
                      "[7.5 8] -1 2 0.5 @mark.ppm\n"
                      "[ 1 1 ] broken\n"
                      "[ 5 5 ] 0 1 1 @mark.ppm\n");
    ASSERT_EQ(terrain_load(&t, "@trk"), 1);
    ASSERT_EQ(t.decals.size(), 2u);
    EXPECT_TRUE(t.decals_present);
    const Decal& a = t.decals[0];
    EXPECT_NE(a.texture, 0u);
    EXPECT_EQ(a.x, 2.0f);
    EXPECT_EQ(a.z, 3.0f);
    EXPECT_EQ(a.angle, 0.5f);
    EXPECT_EQ(a.size, 4.0f);
    EXPECT_EQ(a.aspect, 1.5f);
    EXPECT_NEAR(a.sin_angle, sinf(0.5f), 1e-6);
    EXPECT_NEAR(a.cos_angle, cosf(0.5f), 1e-6);
    EXPECT_EQ(t.decals[1].texture, a.texture);
    EXPECT_EQ(t.decals[1].x, 7.5f);
    // Extent 10: buckets 1.25 wide. Decal 1 spans x 7.5 -+ 0.88 -> buckets 5..6.
    std::vector<int> found;
    terrain_decals_in(&t, 9.9f, 0, 9.9f, 0, &found);
    EXPECT_TRUE(found.empty());
    terrain_decals_in(&t, 8.0f, 8.0f, 8.0f, 8.0f, &found);
    EXPECT_EQ(found, (std::vector<int>{1}));

    ASSERT_EQ(terrain_save(&t), 1);
    std::vector<std::string> lines = split_lines(read_file(test_user_dir() + "trk/decals"));
    ASSERT_EQ(lines.size(), 2u);
    char want[200];
    snprintf(want, sizeof want, "[%f %f] %f %f %f %s", 2.0, 3.0, 0.5, 4.0, 1.5, "@mark.ppm");
    EXPECT_EQ(lines[0], want);
    snprintf(want, sizeof want, "[%f %f] %f %f %f %s", 7.5, 8.0, -1.0, 2.0, 0.5, "@mark.ppm");
    EXPECT_EQ(lines[1], want);
}

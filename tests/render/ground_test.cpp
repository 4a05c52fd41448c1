// The ground renderer without GL: the error pass and its resumption, the refinement's flags and
// fans (no cracks, culling, texture choice), the window scheduling, stale stamps and dirty bits.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <random>
#include <unordered_map>
#include <vector>

#include "core/settings.h"
#include "data/datafile.h"
#include "render/ground.h"
#include "support/test_env.h"
#include "track/lighting.h"
#include "track/terrain.h"

namespace {

// Fills g_terrain with a field of 2^shift tiles whose heights come from fn(i, j), and sets up
// its renderer as the loader does.
template <class F> void make_terrain(int shift, float spacing, F fn) {
    terrain_free(&g_terrain);
    Terrain& t = g_terrain;
    t.shift = shift;
    t.tiles = 1 << shift;
    t.samples = 2 * t.tiles + 1;
    t.spacing = spacing;
    t.tile_size = 2 * spacing;
    t.extent = 2.0f * (float)t.tiles * spacing;
    size_t n = (size_t)t.samples * t.samples;
    t.heights.resize(n);
    t.min_height = 1e30f, t.max_height = -1e30f;
    for (int j = 0; j < t.samples; j++)
        for (int i = 0; i < t.samples; i++) {
            float h = fn(i, j);
            t.heights[i + (size_t)t.samples * j] = h;
            t.min_height = std::min(t.min_height, h);
            t.max_height = std::max(t.max_height, h);
        }
    t.shading.assign(n * 3, 100);
    t.shadows.assign(n, 0);
    t.tilemap.assign((size_t)t.tiles * t.tiles, 0);
    t.surfaces.resize(1);
    terrain_lowdetail_alloc(&t);
    ground_terrain_loaded(&t);
}

void make_random(int shift, float spacing, unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> d(0.0f, 30.0f);
    make_terrain(shift, spacing, [&](int, int) { return d(rng); });
}

// Loads the generated "rabbithill" (the build's data folder, else generated into the test's).
bool load_rabbithill() {
    std::string dir = std::string(VORNIX_BUILD_DIR) + "/data";
    if (!file_exists(dir + "/rabbithill/terrain.hf")) {
        dir = test_dir() + "/gen";
        RunResult r = run_command(std::string(VORNIX_BUILD_DIR) + "/tools/vornix-gen/vornix-gen '" +
                                  dir + "' --only rabbithill");
        if (r.status != 0) {
            ADD_FAILURE() << r.err;
            return false;
        }
    }
    setenv("QZ_HOME", dir.c_str(), 1);
    data_reset();
    return terrain_load(&g_terrain, "@rabbithill") == 1;
}

class GroundTest : public ::testing::Test {
  protected:
    void SetUp() override {
        g_settings = Settings{};
        g_settings.headless = 1;
        lighting_reset(&g_lighting);
        terrain_set_hooks(ground_terrain_hooks());
        terrain_free(&g_terrain);
        ground_reset();
    }
    void TearDown() override {
        terrain_free(&g_terrain);
        terrain_set_hooks(nullptr);
        ground_reset();
        g_settings = Settings{};
    }
};

// ---- Expected error values, worked out sample by sample from the node's two triangles.

double sample_h(const Terrain& t, int i, int j) {
    return t.heights[i + (size_t)t.samples * j];
}

// The largest deviation of the node's samples from its two right-angled triangles.
double node_deviation(const Terrain& t, int d, int a, int b) {
    int h = t.tiles >> d;
    int x0 = 2 * a * h, x1 = x0 + 2 * h, z0 = 2 * b * h, z1 = z0 + 2 * h;
    double hB = sample_h(t, x0, z0), hA = sample_h(t, x1, z0), hE = sample_h(t, x0, z1),
           hC = sample_h(t, x1, z1);
    double worst = 0;
    for (int j = z0; j <= z1; j++)
        for (int i = x0; i <= x1; i++) {
            double u = (double)(i - x0) / (2 * h), v = (double)(j - z0) / (2 * h);
            double s = sample_h(t, i, j);
            if (a % 2 == b % 2) {
                if (u + v <= 1)
                    worst = std::max(worst, std::fabs(s - (hB + (hA - hB) * u + (hE - hB) * v)));
                if (u + v >= 1)
                    worst = std::max(
                        worst, std::fabs(s - (hC + (hE - hC) * (1 - u) + (hA - hC) * (1 - v))));
            } else {
                if (u <= v)
                    worst =
                        std::max(worst, std::fabs(s - (hE + (hC - hE) * u + (hB - hE) * (1 - v))));
                if (v <= u)
                    worst =
                        std::max(worst, std::fabs(s - (hA + (hB - hA) * (1 - u) + (hC - hA) * v)));
            }
        }
    return worst;
}

// value[d][a + b * 2^d] by the rules: K at the finest depth, above it the largest of K, the
// children and the widened largest border value.
std::vector<std::vector<double>> expected_values(const Terrain& t, double g) {
    int D = t.shift;
    std::vector<std::vector<double>> val(D + 1);
    for (int d = D; d >= 0; d--) {
        int side = 1 << d;
        val[d].resize((size_t)side * side);
        for (int b = 0; b < side; b++)
            for (int a = 0; a < side; a++) {
                double k =
                    node_deviation(t, d, a, b) / g + t.extent * 0.70710678 * std::pow(2.0, -d);
                double v = k * k;
                if (d < D) {
                    int fs = side * 2;
                    int pos[8][2] = {{0, -1}, {1, -1}, {2, 0},  {2, 1},
                                     {1, 2},  {0, 2},  {-1, 1}, {-1, 0}};
                    double s1 = 0;
                    for (auto& p : pos) {
                        int x = 2 * a + p[0], z = 2 * b + p[1];
                        if (x >= 0 && z >= 0 && x < fs && z < fs)
                            s1 = std::max(s1, val[d + 1][x + z * fs]);
                    }
                    double s2 = std::sqrt(s1) +
                                std::pow(2.0, -(d + 1)) * t.extent * 3.1622777 * 0.50048828125;
                    v = std::max(v, s2 * s2);
                    for (int c = 0; c < 4; c++)
                        v = std::max(v, val[d + 1][(2 * a + (c & 1)) + (2 * b + (c >> 1)) * fs]);
                }
                val[d][a + b * side] = v;
            }
    }
    return val;
}

std::vector<float> all_values(int D) {
    std::vector<float> out;
    for (int d = 0; d <= D; d++)
        for (int b = 0; b < (1 << d); b++)
            for (int a = 0; a < (1 << d); a++) out.push_back(ground_error_value(d, a, b));
    return out;
}

// ---- Mesh checks over the emitted fans.

struct MeshCheck {
    int bad_edges = 0;     // edges neither shared by exactly two triangles nor on the border
    int wrong_winding = 0; // triangles not counter-clockwise seen from above, or degenerate
    long long area2 = 0;   // twice the covered area in square samples
    int triangles = 0;
};

MeshCheck check_mesh(const Terrain& t) {
    MeshCheck m;
    int last = 2 * t.tiles;
    std::unordered_map<long long, int> edges;
    auto id = [&](const GroundVertex& v) { return (long long)v.i + (long long)(last + 1) * v.j; };
    auto add_edge = [&](const GroundVertex& p, const GroundVertex& q) {
        long long a = id(p), b = id(q);
        if (a > b) std::swap(a, b);
        edges[a * 100000000LL + b]++;
    };
    const std::vector<GroundVertex>& v = g_ground.vertices;
    for (const GroundFan& f : g_ground.fans) {
        const GroundVertex& c = v[f.first];
        for (int k = f.first + 1; k + 1 < f.first + f.count; k++) {
            const GroundVertex &p = v[k], &q = v[k + 1];
            long long cross =
                (long long)(p.i - c.i) * (q.j - c.j) - (long long)(p.j - c.j) * (q.i - c.i);
            if (cross >= 0) m.wrong_winding++;
            m.area2 += -cross;
            m.triangles++;
            add_edge(c, p);
            add_edge(p, q);
            add_edge(q, c);
        }
    }
    for (const auto& e : edges) {
        if (e.second == 2) continue;
        long long a = e.first / 100000000LL, b = e.first % 100000000LL;
        int ai = (int)(a % (last + 1)), aj = (int)(a / (last + 1));
        int bi = (int)(b % (last + 1)), bj = (int)(b / (last + 1));
        bool border =
            (ai == bi && (ai == 0 || ai == last)) || (aj == bj && (aj == 0 || aj == last));
        if (!(e.second == 1 && border)) m.bad_edges++;
    }
    return m;
}

const float DOWN[3] = {0, -1, 0};

} // namespace

TEST_F(GroundTest, NodeIndexing) {
    EXPECT_EQ(ground_node_offset(0), 0);
    EXPECT_EQ(ground_node_offset(1), 1);
    EXPECT_EQ(ground_node_offset(2), 5);
    EXPECT_EQ(ground_node_offset(3), 21);
    EXPECT_EQ(ground_node_offset(4), 85);
    EXPECT_EQ(ground_node_count(9), (int)((std::pow(4.0, 10) - 1) / 3)); // 349525
    EXPECT_EQ(ground_node_count(11), 5592405);
}

TEST_F(GroundTest, ErrorValuesFollowTheTrianglesAndTheWidening) {
    g_settings.ground_detail = 0.125f / 37.0f;
    make_random(3, 1.5f, 7);
    auto want = expected_values(g_terrain, g_settings.ground_detail);
    EXPECT_EQ(g_ground.pass.running, 0);
    EXPECT_EQ(g_ground.pass.current_generation, g_ground.generation);
    for (int d = 0; d <= 3; d++)
        for (int b = 0; b < (1 << d); b++)
            for (int a = 0; a < (1 << d); a++) {
                double w = want[d][a + b * (1 << d)];
                EXPECT_NEAR(ground_error_value(d, a, b), w, w * 2e-5) << d << " " << a << " " << b;
            }
}

TEST_F(GroundTest, FlatFieldValuesAreHalfDiagonalsWidenedByTheBorder) {
    make_terrain(6, 2.0f, [](int, int) { return 5.0f; });
    double extent = 256;
    // Finest: the half diagonal squared. Each coarser depth: every node has a bordering finer
    // node inside the field except the root, whose children's neighbours all lie outside.
    std::vector<double> v(7);
    v[6] = std::pow(extent * 0.70710678 / 64, 2);
    for (int d = 5; d >= 0; d--) {
        double s1 = d == 0 ? 0 : v[d + 1];
        double s2 = std::pow(
            std::sqrt(s1) + std::pow(2.0, -(d + 1)) * extent * 3.1622777 * 0.50048828125, 2);
        double k = std::pow(extent * 0.70710678 * std::pow(2.0, -d), 2);
        v[d] = std::max({s2, v[d + 1], k});
    }
    for (int d = 0; d <= 6; d++) {
        EXPECT_NEAR(ground_error_value(d, 0, 0), v[d], v[d] * 1e-5) << d;
        int last = (1 << d) - 1;
        EXPECT_NEAR(ground_error_value(d, last, last / 2), v[d], v[d] * 1e-5) << d;
    }
}

TEST_F(GroundTest, ErrorPassWorkLimitStopsAtTheEndOfARow) {
    make_random(1, 1.0f, 3); // depth 1: four nodes of half size 1, then the root
    ground_heights_changed();
    // A depth-1 triangle: 10, then rows of 3, 2 and 1 samples cost 1, 0 and -1. With 25 units
    // the first node takes 20 and the second node's first row leaves -6.
    EXPECT_EQ(ground_error_update(&g_terrain, 25), 0);
    const GroundErrorPass& p = g_ground.pass;
    EXPECT_EQ(p.running, 1);
    EXPECT_EQ(p.depth, 1);
    EXPECT_EQ(p.row, 0);
    EXPECT_EQ(p.column, 1);
    EXPECT_EQ(p.triangle, 0);
    EXPECT_EQ(p.tri_row, 1);
    // With no allowance: rows 1 and 2 cost 0 and -1 (the limit stays at or above 0), then the
    // second triangle's first row costs 11.
    EXPECT_EQ(ground_error_update(&g_terrain, 0), 0);
    EXPECT_EQ(p.column, 1);
    EXPECT_EQ(p.triangle, 1);
    EXPECT_EQ(p.tri_row, 1);
    // The values being computed do not show until the pass ends.
    EXPECT_NE(p.current_generation, g_ground.generation);
}

TEST_F(GroundTest, ResumedPassGivesTheValuesOfOneUnlimitedPass) {
    for (int limit : {0, 1, 37, 1000}) {
        make_random(5, 1.0f, 11);
        // Change the ground, then let the background work recompute it bit by bit.
        for (int k = 0; k < 200; k++)
            g_terrain.heights[(size_t)k * 13 % g_terrain.heights.size()] += 4;
        ground_heights_changed();
        int calls = 0;
        do {
            ground_update(limit);
            calls++;
        } while (g_ground.pass.running && calls < 10000000);
        EXPECT_GT(calls, 1) << limit;
        EXPECT_EQ(g_ground.pass.current_generation, g_ground.generation);
        std::vector<float> resumed = all_values(5);
        ground_error_full(&g_terrain);
        EXPECT_EQ(resumed, all_values(5)) << "limit " << limit;
    }
}

TEST_F(GroundTest, RabbithillPassResumedAtTheMainLoopLimit) {
    ASSERT_TRUE(load_rabbithill());
    ASSERT_EQ(g_terrain.shift, 9);
    std::vector<float> loaded = all_values(9);
    g_terrain.heights[1000 + 1025 * 300] += 9;
    ground_heights_changed();
    int calls = 0;
    while (calls == 0 || g_ground.pass.running) {
        ground_update(1000);
        calls++;
    }
    // Every depth-9 node alone costs 20 units: the pass takes thousands of frames.
    EXPECT_GT(calls, 262144 * 20 / 1000);
    std::vector<float> resumed = all_values(9);
    EXPECT_NE(resumed, loaded);
    ground_error_full(&g_terrain);
    EXPECT_EQ(resumed, all_values(9));
}

TEST_F(GroundTest, RunningPassEndsBeforeANewGenerationStarts) {
    make_random(4, 1.0f, 5);
    int first = g_ground.generation;
    EXPECT_EQ(ground_error_update(&g_terrain, 100), 0); // nothing to do: values are current
    EXPECT_EQ(g_ground.pass.running, 0);
    ground_heights_changed();
    ground_update(50);
    ASSERT_EQ(g_ground.pass.running, 1);
    int pass_generation = g_ground.pass.generation;
    EXPECT_NE(pass_generation, first);
    ground_heights_changed(); // changes meanwhile do not restart the running pass
    while (g_ground.pass.running) ground_update(50);
    EXPECT_EQ(g_ground.pass.current_generation, pass_generation);
    ground_update(50); // the next call starts the newer generation
    EXPECT_EQ(g_ground.pass.running, 1);
    EXPECT_EQ(g_ground.pass.generation, g_ground.generation);
}

TEST_F(GroundTest, RabbithillFansHaveNoCracks) {
    ASSERT_TRUE(load_rabbithill());
    const Terrain& t = g_terrain;
    // Straight down nothing is culled, so the fans must tile the whole field.
    std::vector<std::array<float, 3>> eyes = {
        {1024, 60, 1024}, {0, 30, 0},      {2048, 40, 2048}, {1, 20, 2047},   {700.5f, 45, 1500},
        {4, 14, 4},       {-300, 80, 900}, {3000, 300, -50}, {1536, 25, 512}, {1023.9f, 30, 64.1f}};
    std::mt19937 rng(99);
    std::uniform_real_distribution<float> pos(-100.0f, 2148.0f), high(15.0f, 400.0f);
    for (int k = 0; k < 20; k++) eyes.push_back({pos(rng), high(rng), pos(rng)});
    for (const auto& eye : eyes) {
        ground_refine(&t, eye.data(), DOWN);
        MeshCheck m = check_mesh(t);
        EXPECT_EQ(m.bad_edges, 0) << eye[0] << "," << eye[2];
        EXPECT_EQ(m.wrong_winding, 0) << eye[0] << "," << eye[2];
        EXPECT_EQ(m.area2, 2LL * 1024 * 1024) << eye[0] << "," << eye[2];
        int polygons = 0;
        for (const GroundFan& f : g_ground.fans) polygons += f.count - 1;
        EXPECT_EQ(g_ground.polygons, polygons);
    }
}

TEST_F(GroundTest, FansStayCrackFreeAsTheWindowsFillAndOnSmallFields) {
    ASSERT_TRUE(load_rabbithill());
    float eye[3] = {900, 50, 1300};
    ground_set_view(eye, DOWN);
    for (int frame = 0; frame < 90; frame += 7) {
        ground_refine(&g_terrain, eye, DOWN);
        EXPECT_EQ(check_mesh(g_terrain).bad_edges, 0) << frame;
        for (int k = 0; k < 7; k++) ground_update_textures();
    }
    for (int shift : {0, 1, 3, 5}) {
        make_random(shift, 3.0f, 20 + shift);
        int last = 2 << shift;
        for (float x : {-10.0f, 0.0f, 7.0f * last / 3, 3.0f * last + 50}) {
            float e[3] = {x, 40, x / 2};
            ground_refine(&g_terrain, e, DOWN);
            MeshCheck m = check_mesh(g_terrain);
            EXPECT_EQ(m.bad_edges, 0) << shift << " " << x;
            EXPECT_EQ(m.area2, 2LL * last * last) << shift << " " << x;
        }
    }
}

// Counts split nodes whose parent is not split, and split nodes whose parent's neighbour across
// an edge the node touches is not split (either makes a crack).
static void count_unclosed_flags(int D, int* bad_parent, int* bad_neighbour) {
    *bad_parent = *bad_neighbour = 0;
    for (int d = 1; d <= D; d++) {
        int side = 1 << d;
        for (int b = 0; b < side; b++)
            for (int a = 0; a < side; a++) {
                if (!ground_flag(d, a, b)) continue;
                int pa = a / 2, pb = b / 2, ps = side / 2;
                if (!ground_flag(d - 1, pa, pb)) ++*bad_parent;
                int nx = (a & 1) ? pa + 1 : pa - 1, nz = (b & 1) ? pb + 1 : pb - 1;
                if (nx >= 0 && nx < ps && !ground_flag(d - 1, nx, pb)) ++*bad_neighbour;
                if (nz >= 0 && nz < ps && !ground_flag(d - 1, pa, nz)) ++*bad_neighbour;
            }
    }
}

TEST_F(GroundTest, FlagsAreClosedUnderParentsAndNeighbours) {
    ASSERT_TRUE(load_rabbithill());
    std::mt19937 rng(5);
    std::uniform_real_distribution<float> pos(-50.0f, 2100.0f);
    for (int k = 0; k < 12; k++) {
        float eye[3] = {pos(rng), 40, pos(rng)};
        ground_refine(&g_terrain, eye, DOWN);
        int bad_parent, bad_neighbour;
        count_unclosed_flags(9, &bad_parent, &bad_neighbour);
        EXPECT_EQ(bad_parent, 0) << eye[0] << "," << eye[2];
        EXPECT_EQ(bad_neighbour, 0) << eye[0] << "," << eye[2];
    }
}

// With every error value 0 only the coarse nodes and the window nodes are split: the nested
// windows alone must keep the fans whole, near the field's edges (where they clamp) too.
TEST_F(GroundTest, WindowNodesAloneKeepTheFansCrackFree) {
    ASSERT_TRUE(load_rabbithill());
    for (std::vector<float>& v : g_ground.error) std::fill(v.begin(), v.end(), 0.0f);
    for (int x = -6; x < 1100; x += 13) {
        float eye[3] = {(float)x * 2.0f + 0.5f, 30, 2048.0f - (float)x * 1.7f};
        ground_refine(&g_terrain, eye, DOWN);
        int bad_parent, bad_neighbour;
        count_unclosed_flags(9, &bad_parent, &bad_neighbour);
        EXPECT_EQ(bad_parent, 0) << x;
        EXPECT_EQ(bad_neighbour, 0) << x;
        MeshCheck m = check_mesh(g_terrain);
        EXPECT_EQ(m.bad_edges, 0) << x;
        EXPECT_EQ(m.area2, 2LL * 1024 * 1024) << x;
    }
}

TEST_F(GroundTest, WindowNodesAroundTheEyeAreSplit) {
    ASSERT_TRUE(load_rabbithill());
    int D = 9;
    for (float ex : {-500.0f, 3.0f, 777.7f, 2047.0f, 5000.0f}) {
        float eye[3] = {ex, 100, 2048 - ex};
        ground_refine(&g_terrain, eye, DOWN);
        int cell[2] = {(int)std::floor(eye[0] / 2), (int)std::floor(eye[2] / 2)};
        for (int i = D; i >= 1; i--) {
            int L = D - i, side = 1 << i;
            int lo[2], hi[2];
            for (int ax = 0; ax < 2; ax++) {
                int u = ((cell[ax] - (1 << L)) >> (L + 1)) - 1;
                u = std::clamp(u, 0, std::max(0, side - 4));
                lo[ax] = u;
                hi[ax] = std::min(u + 4, side);
            }
            for (int b = lo[1]; b < hi[1]; b++)
                for (int a = lo[0]; a < hi[0]; a++)
                    EXPECT_TRUE(ground_flag(i, a, b))
                        << ex << " depth " << i << " " << a << "," << b;
        }
        // The coarse nodes: depths 0 to D - 6 and the first node of depth D - 5.
        for (int b = 0; b < 8; b++)
            for (int a = 0; a < 8; a++) EXPECT_TRUE(ground_flag(3, a, b));
        EXPECT_TRUE(ground_flag(4, 0, 0));
    }
}

// A flat field: every deviation is 0, so only the half diagonals and their widening split
// nodes. Depths 0 to D - 6 are always split, so the far field is drawn with whole nodes of depth
// D - 6 (64 ground tiles, exactly one fixed texture each); finer nodes appear only near the eye.
TEST_F(GroundTest, FlatFarFieldIsDrawnWithTheCoarsestWholeNodes) {
    make_terrain(9, 1.0f, [](int, int) { return 0.0f; });
    float eye[3] = {100, 10, 100};
    ground_refine(&g_terrain, eye, DOWN);
    int coarsest = 99, whole_far = 0;
    for (const GroundFan& f : g_ground.fans) coarsest = std::min(coarsest, f.d);
    EXPECT_EQ(coarsest, 9 - 6);
    for (const GroundFan& f : g_ground.fans) {
        int h = 512 >> f.d;
        float dx = (float)((2 * f.a + 1) * h) - eye[0], dz = (float)((2 * f.b + 1) * h) - eye[2];
        if (f.d > 9 - 5) {
            EXPECT_LT(dx * dx + dz * dz, 400.0f * 400.0f) << "fine node far away";
        }
        if (f.d == 3 && f.count == 10) {
            whole_far++;
            EXPECT_EQ(f.level, 6);
            EXPECT_EQ(f.texture, f.b * 8 + f.a);
            EXPECT_EQ(f.i0, f.a * 128);
            EXPECT_EQ(f.j0, f.b * 128);
        }
    }
    EXPECT_GT(whole_far, 40); // of the 64 depth-3 nodes, all but those near the eye
    EXPECT_EQ(check_mesh(g_terrain).bad_edges, 0);
}

TEST_F(GroundTest, CullingDropsExactlyTheNodesBehindTheEye) {
    ASSERT_TRUE(load_rabbithill());
    const Terrain& t = g_terrain;
    float eye[3] = {1100, 45, 900};
    ground_refine(&t, eye, DOWN);
    std::vector<GroundFan> all = g_ground.fans;
    std::vector<GroundVertex> all_v = g_ground.vertices;
    for (auto view :
         std::vector<std::array<float, 3>>{{1, 0, 0}, {-0.6f, -0.2f, 0.77f}, {0, 0.3f, -0.95f}}) {
        ground_refine(&t, eye, view.data());
        size_t next = 0;
        int kept = 0;
        for (const GroundFan& f : all) {
            int h = 512 >> f.d;
            float cx = (float)((2 * f.a + (view[0] >= 0 ? 2 : 0)) * h) * t.spacing;
            float cz = (float)((2 * f.b + (view[2] >= 0 ? 2 : 0)) * h) * t.spacing;
            float cy = view[1] >= 0 ? t.max_height : t.min_height;
            bool ahead =
                (cx - eye[0]) * view[0] + (cy - eye[1]) * view[1] + (cz - eye[2]) * view[2] >= 0;
            if (!ahead) continue;
            ASSERT_LT(next, g_ground.fans.size());
            const GroundFan& g = g_ground.fans[next++];
            EXPECT_EQ(g.count, f.count);
            EXPECT_TRUE(g.d == f.d && g.a == f.a && g.b == f.b);
            for (int k = 0; k < f.count && k < g.count; k++) {
                EXPECT_EQ(g_ground.vertices[g.first + k].i, all_v[f.first + k].i);
                EXPECT_EQ(g_ground.vertices[g.first + k].j, all_v[f.first + k].j);
            }
            kept++;
        }
        EXPECT_EQ(next, g_ground.fans.size());
        EXPECT_GT(kept, 0);
        EXPECT_LT(kept, (int)all.size());
    }
}

TEST_F(GroundTest, NodesUseFixedTexturesUntilTheWindowsAreDrawn) {
    ASSERT_TRUE(load_rabbithill());
    float eye[3] = {1000, 40, 1000};
    ground_refine(&g_terrain, eye, DOWN);
    ASSERT_FALSE(g_ground.fans.empty());
    for (const GroundFan& f : g_ground.fans) {
        ASSERT_EQ(f.level, 6);
        EXPECT_EQ(f.T, 128);
        int first_x = f.a << (9 - f.d), first_z = f.b << (9 - f.d);
        EXPECT_EQ(f.texture, (first_z / 64) * 8 + first_x / 64);
        for (int k = f.first; k < f.first + f.count; k++) {
            const GroundVertex& v = g_ground.vertices[k];
            EXPECT_TRUE(v.i >= f.i0 && v.i <= f.i0 + 128 && v.j >= f.j0 && v.j <= f.j0 + 128);
        }
    }
    // Once level 5 is drawn, the nodes inside its window use it; the finest nodes near the eye
    // use level 1 once every window is drawn.
    ground_set_view(eye, DOWN);
    for (int k = 0; k < 16; k++) ground_update_textures();
    ground_refine(&g_terrain, eye, DOWN);
    int level5 = 0;
    for (const GroundFan& f : g_ground.fans) level5 += f.level == 5;
    EXPECT_GT(level5, 0);
    for (int k = 0; k < 64; k++) ground_update_textures();
    ground_refine(&g_terrain, eye, DOWN);
    bool fine_near_eye = false;
    for (const GroundFan& f : g_ground.fans) {
        if (f.d == 9 && f.level != 1) {
            // A finest node uses level 1 when it lies in level 1's window.
            const GroundWindow& w = g_ground.windows[1];
            int tx = f.a >> 1, tz = f.b >> 1;
            EXPECT_FALSE(tx >= w.ox && tx < w.ox + 4 && tz >= w.oz && tz < w.oz + 4);
        }
        if (f.d == 9 && f.level == 1) {
            fine_near_eye = true;
            EXPECT_EQ(f.T, 4);
            EXPECT_EQ(f.i0 % 4, 0);
        }
    }
    EXPECT_TRUE(fine_near_eye);
}

TEST_F(GroundTest, RefreshDrawsLevelFiveFirstThenEachFinerLevel) {
    ASSERT_TRUE(load_rabbithill());
    float eye[3] = {1300, 40, 700};
    ground_set_view(eye, DOWN);
    // The first upkeep after loading draws every fixed texture (8 x 8) and level 5's first.
    ground_update_textures();
    EXPECT_EQ(g_ground.drawn_fixed, 64);
    EXPECT_EQ(g_ground.drawn_level, 5);
    EXPECT_EQ(g_ground.drawn_entry, 0);
    for (int k = 0; k < 200; k++) ground_update_textures();
    EXPECT_EQ(g_ground.drawn_level, -1);
    ground_refresh_all();
    EXPECT_EQ(g_ground.eye_cell[0], -1000000);
    for (int level = 5; level >= 1; level--)
        for (int entry = 0; entry < 16; entry++) {
            ground_update_textures();
            EXPECT_EQ(g_ground.drawn_level, level);
            EXPECT_EQ(g_ground.drawn_entry, entry);
            EXPECT_EQ(g_ground.drawn_fixed, 0);
        }
    ground_update_textures();
    EXPECT_EQ(g_ground.drawn_level, -1); // level 0 is below the minimum level 1
    for (int e = 0; e < 16; e++) EXPECT_FALSE(g_ground.windows[0].entry[e].valid);
}

TEST_F(GroundTest, OneTileStepShiftsOnlyTheWindowsWhoseOriginMoves) {
    ASSERT_TRUE(load_rabbithill());
    g_settings.ground_texture_level = 0;
    float eye[3] = {1000.5f, 40, 777}; // eye cell x 500
    ground_set_view(eye, DOWN);
    for (int k = 0; k < 200; k++) ground_update_textures();
    ASSERT_EQ(g_ground.drawn_level, -1);
    GroundWindow before[6];
    for (int L = 0; L < 6; L++) before[L] = g_ground.windows[L];
    eye[0] += 2 * g_terrain.spacing; // one level-0 tile: eye cell 502
    ground_set_view(eye, DOWN);
    ground_update_textures();
    int redraw = 0, moved_levels = 0;
    for (int L = 0; L < 6; L++) {
        int lim = (512 >> L) - 4;
        int old_o = std::clamp(((500 - (1 << L)) >> (L + 1)) - 1, 0, lim);
        int new_o = std::clamp(((502 - (1 << L)) >> (L + 1)) - 1, 0, lim);
        int dx = new_o - old_o;
        EXPECT_EQ(g_ground.windows[L].ox, new_o);
        moved_levels += dx != 0;
        for (int r = 0; r < 4; r++)
            for (int c = 0; c < 4; c++) {
                const GroundWindowEntry& now = g_ground.windows[L].entry[r * 4 + c];
                const GroundWindowEntry& was = before[L].entry[r * 4 + (((c + dx) % 4) + 4) % 4];
                EXPECT_EQ(now.texture, was.texture) << L << " " << r << "," << c;
                bool stays = c + dx >= 0 && c + dx < 4;
                if (!stays) redraw++;
                // The redrawn one of this upkeep is valid already.
                if (stays) {
                    EXPECT_TRUE(now.valid) << L << " " << r << "," << c;
                }
            }
    }
    EXPECT_EQ(moved_levels, 2); // levels 0 and 1 for cell 500 -> 502
    int drawn = 1;
    while (true) {
        ground_update_textures();
        if (g_ground.drawn_level < 0) break;
        EXPECT_LE(g_ground.drawn_level, 1);
        drawn++;
    }
    EXPECT_EQ(drawn, redraw);
    EXPECT_EQ(redraw, 8);
}

TEST_F(GroundTest, EyeBeyondTheFieldClampsEveryWindow) {
    ASSERT_TRUE(load_rabbithill());
    float eye[3] = {-7000, 50, 1e7f};
    ground_set_view(eye, DOWN);
    ground_update_textures();
    for (int L = 0; L < 6; L++) {
        EXPECT_EQ(g_ground.windows[L].ox, 0) << L;
        EXPECT_EQ(g_ground.windows[L].oz, (512 >> L) - 4) << L;
    }
    ground_refine(&g_terrain, eye, DOWN);
    EXPECT_EQ(check_mesh(g_terrain).bad_edges, 0);
}

TEST_F(GroundTest, MinimumLevelSixUsesOnlyFixedTextures) {
    g_settings.ground_texture_level = 6;
    ASSERT_TRUE(load_rabbithill());
    float eye[3] = {800, 40, 800};
    ground_set_view(eye, DOWN);
    ground_update_textures();
    EXPECT_EQ(g_ground.drawn_fixed, 64);
    for (int k = 0; k < 20; k++) {
        ground_update_textures();
        EXPECT_EQ(g_ground.drawn_level, -1);
    }
    ground_refine(&g_terrain, eye, DOWN);
    for (const GroundFan& f : g_ground.fans) ASSERT_EQ(f.level, 6);
}

TEST_F(GroundTest, ShadingRebuildDirtiesFixedTexturesAndStampsWindows) {
    ASSERT_TRUE(load_rabbithill());
    float eye[3] = {840, 40, 500}; // samples (420, 250): the windows cross the block's edge
    ground_set_view(eye, DOWN);
    for (int k = 0; k < 100; k++) ground_update_textures();
    for (int k = 0; k < 3; k++) ground_draw(eye, DOWN); // frame counter 1 -> 4
    EXPECT_EQ(g_ground.frame, 4);
    // Block (column 0, row 0): samples 0..448 x 0..448, beside the eye.
    terrain_mark_shading(&g_terrain, 10, 20, 10, 20);
    ground_update(0);
    EXPECT_EQ(terrain_lowdetail_dirty(&g_terrain, 0), 0);
    for (int z = 0; z < 8; z++)
        for (int x = 0; x < 8; x++) {
            bool want = x <= 448 / 128 && z <= 448 / 128;
            EXPECT_EQ(g_ground.fixed_dirty[z * 8 + x], want ? 1 : 0) << x << "," << z;
        }
    int stamped = 0;
    for (int L = 1; L < 6; L++) {
        const GroundWindow& w = g_ground.windows[L];
        for (int r = 0; r < 4; r++)
            for (int c = 0; c < 4; c++) {
                int x0 = (w.ox + c) << (L + 1), x1 = (w.ox + c + 1) << (L + 1);
                int z0 = (w.oz + r) << (L + 1), z1 = (w.oz + r + 1) << (L + 1);
                bool meets = x0 <= 448 && x1 >= 0 && z0 <= 448 && z1 >= 0;
                EXPECT_EQ(w.entry[r * 4 + c].stamp, meets ? 4 : 0) << L << " " << r << "," << c;
                stamped += meets;
            }
    }
    ASSERT_GT(stamped, 10);
    ASSERT_LT(stamped, 80);
    for (int e = 0; e < 16; e++) EXPECT_EQ(g_ground.windows[0].entry[e].stamp, 0);
    // A second change later keeps the earlier stamps.
    ground_draw(eye, DOWN);
    terrain_mark_shading(&g_terrain, 400, 0, 400, 0);
    ground_update(0);
    for (int L = 1; L < 6; L++)
        for (const GroundWindowEntry& e : g_ground.windows[L].entry)
            EXPECT_TRUE(e.stamp == 0 || e.stamp == 4);
    // The upkeep redraws the dirty fixed textures, then the out-of-date entries one per frame,
    // oldest stamp first (all equal here: finest level first, rows then columns).
    int dirty = 0;
    for (uint8_t d : g_ground.fixed_dirty) dirty += d;
    std::vector<std::pair<int, int>> order;
    for (int L = 1; L < 6; L++)
        for (int e = 0; e < 16; e++)
            if (g_ground.windows[L].entry[e].stamp) order.push_back({L, e});
    for (size_t k = 0; k < order.size(); k++) {
        ground_update_textures();
        EXPECT_EQ(g_ground.drawn_fixed, k == 0 ? dirty : 0);
        EXPECT_EQ(g_ground.drawn_level, order[k].first);
        EXPECT_EQ(g_ground.drawn_entry, order[k].second);
        EXPECT_EQ(g_ground.windows[order[k].first].entry[order[k].second].stamp, 0);
    }
    ground_update_textures();
    EXPECT_EQ(g_ground.drawn_level, -1);
}

TEST_F(GroundTest, OlderStampsAreRedrawnFirst) {
    ASSERT_TRUE(load_rabbithill());
    float eye[3] = {1024, 40, 1024};
    ground_set_view(eye, DOWN);
    for (int k = 0; k < 100; k++) ground_update_textures();
    g_ground.windows[2].entry[9].stamp = 7;
    g_ground.windows[4].entry[3].stamp = 5;
    g_ground.windows[1].entry[0].stamp = 7;
    int want[3][2] = {{4, 3}, {1, 0}, {2, 9}};
    for (auto& w : want) {
        ground_update_textures();
        EXPECT_EQ(g_ground.drawn_level, w[0]);
        EXPECT_EQ(g_ground.drawn_entry, w[1]);
    }
}

TEST_F(GroundTest, DecalMarkingCoversItsTurnedBox) {
    ASSERT_TRUE(load_rabbithill());
    float eye[3] = {600, 40, 640};
    ground_set_view(eye, DOWN);
    for (int k = 0; k < 100; k++) ground_update_textures();
    ground_draw(eye, DOWN); // frame 2
    Decal d{};
    d.x = 610, d.z = 700, d.angle = 0.5f, d.size = 300, d.aspect = 2;
    d.sin_angle = std::sin(d.angle), d.cos_angle = std::cos(d.angle);
    ground_mark_decal(&d);
    double hx = std::fabs(300 * 2 * std::cos(0.5) / 2) + std::fabs(300 * std::sin(0.5) / 2);
    double hz = std::fabs(300 * 2 * std::sin(0.5) / 2) + std::fabs(300 * std::cos(0.5) / 2);
    int s0 = (int)((610 - hx) / 2), s1 = (int)((610 + hx) / 2);
    int r0 = (int)((700 - hz) / 2), r1 = (int)((700 + hz) / 2);
    for (int z = 0; z < 8; z++)
        for (int x = 0; x < 8; x++) {
            bool want = x >= (s0 >> 7) && x <= (s1 >> 7) && z >= (r0 >> 7) && z <= (r1 >> 7);
            EXPECT_EQ(g_ground.fixed_dirty[z * 8 + x], want ? 1 : 0) << x << "," << z;
        }
    int stamped = 0;
    for (int L = 1; L < 6; L++) {
        const GroundWindow& w = g_ground.windows[L];
        for (int r = 0; r < 4; r++)
            for (int c = 0; c < 4; c++) {
                int x0 = (w.ox + c) << (L + 1), x1 = (w.ox + c + 1) << (L + 1);
                int z0 = (w.oz + r) << (L + 1), z1 = (w.oz + r + 1) << (L + 1);
                bool meets = x0 <= s1 && x1 >= s0 && z0 <= r1 && z1 >= r0;
                EXPECT_EQ(w.entry[r * 4 + c].stamp, meets ? 2 : 0) << L << " " << r << "," << c;
                stamped += meets;
            }
    }
    EXPECT_GT(stamped, 10);
    // A decal far outside the field marks only the clamped edge textures.
    for (uint8_t& f : g_ground.fixed_dirty) f = 0;
    d.x = -5000, d.z = 90000;
    ground_mark_decal(&d);
    for (int k = 0; k < 64; k++) EXPECT_EQ(g_ground.fixed_dirty[k], k == 56 ? 1 : 0) << k;
}

TEST_F(GroundTest, LargeDecalsAreCutIntoPiecesOnTheAffectedDriver) {
    EXPECT_EQ(ground_decal_pieces(600, 1), 4); // 600 / 2 = 300 > 256, 600 / 4 = 150
    EXPECT_EQ(ground_decal_pieces(512, 1), 2);
    EXPECT_EQ(ground_decal_pieces(513, 1), 4);
    EXPECT_EQ(ground_decal_pieces(256, 1), 1);
    EXPECT_EQ(ground_decal_pieces(257, 1), 2);
    EXPECT_EQ(ground_decal_pieces(3000, 1), 16);
    EXPECT_EQ(ground_decal_pieces(1e30f, 1), 64); // a broken decals file cannot stall drawing
    EXPECT_EQ(ground_decal_pieces(NAN, 1), 1);
    EXPECT_EQ(ground_decal_pieces(600, 0), 1);
}

TEST_F(GroundTest, FrameCounterNeverReachesZero) {
    make_random(2, 1.0f, 1);
    EXPECT_EQ(g_ground.frame, 1);
    float eye[3] = {3, 10, 3};
    ground_draw(eye, DOWN);
    EXPECT_EQ(g_ground.frame, 2);
    g_ground.frame = 0x7fffffff;
    ground_draw(eye, DOWN);
    EXPECT_EQ(g_ground.frame, 1);
}

TEST_F(GroundTest, NothingHappensWithoutATerrain) {
    float eye[3] = {0, 0, 0};
    ground_update(1000);
    ground_refresh_all();
    ground_update_textures();
    ground_draw(eye, DOWN);
    EXPECT_TRUE(g_ground.fans.empty());
    EXPECT_EQ(g_ground.drawn_level, -1);
    EXPECT_EQ(g_ground.frame, 1);
}

TEST_F(GroundTest, OnlyTheGlobalTerrainGetsARenderer) {
    Terrain other;
    other.shift = 2, other.tiles = 4, other.samples = 9, other.spacing = 1;
    other.heights.assign(81, 0);
    ground_terrain_loaded(&other);
    EXPECT_EQ(g_ground.shift, -1);
    EXPECT_TRUE(g_ground.error[0].empty());
}

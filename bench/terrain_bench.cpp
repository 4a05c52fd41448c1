// Speed of the terrain's hot queries on a rabbithill-sized field (shift 9, 1025 x 1025
// samples): terrain_height, the collision triangles of a wheel, a deformation and the shading
// of one sample.
#include <benchmark/benchmark.h>

#include <cmath>
#include <random>

#include "render/ground.h"
#include "track/terrain.h"

static Terrain make_bench_terrain() {
    Terrain t;
    t.shift = 9;
    t.tiles = 512;
    t.samples = 1025;
    t.spacing = 2.0f;
    t.tile_size = 4.0f;
    t.extent = 2048.0f;
    size_t n = (size_t)t.samples * t.samples;
    t.heights.resize(n);
    for (int j = 0; j < t.samples; j++)
        for (int i = 0; i < t.samples; i++)
            t.heights[i + (size_t)t.samples * j] = 20.0f * sinf(i * 0.05f) * cosf(j * 0.031f);
    t.shading.assign(n * 3, 100);
    t.shadows.assign(n, 0);
    t.tilemap.assign((size_t)t.tiles * t.tiles, 0);
    t.surfaces.resize(1);
    terrain_lowdetail_alloc(&t);
    return t;
}

static Terrain& bench_terrain() {
    static Terrain t = make_bench_terrain();
    return t;
}

// Random points over the field and a little beyond it, fixed for every run.
static const std::vector<float>& bench_points() {
    static std::vector<float> p = [] {
        std::mt19937 rng(12345);
        std::uniform_real_distribution<float> d(-20.0f, 2068.0f);
        std::vector<float> v(8192);
        for (float& x : v) x = d(rng);
        return v;
    }();
    return p;
}

static void BM_terrain_height(benchmark::State& state) {
    const Terrain& t = bench_terrain();
    const std::vector<float>& p = bench_points();
    size_t k = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(terrain_height(&t, p[k], p[k + 1]));
        k = (k + 2) & 8191;
    }
    state.counters["calls/s"] =
        benchmark::Counter((double)state.iterations(), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_terrain_height);

static void BM_terrain_triangles_wheel(benchmark::State& state) {
    const Terrain& t = bench_terrain();
    const std::vector<float>& p = bench_points();
    TerrainTriangle tri[64];
    size_t k = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(terrain_triangles(&t, p[k], p[k + 1], 1.1f, tri, 64));
        benchmark::ClobberMemory();
        k = (k + 2) & 8191;
    }
}
BENCHMARK(BM_terrain_triangles_wheel);

static void BM_terrain_deform(benchmark::State& state) {
    Terrain& t = bench_terrain();
    const std::vector<float>& p = bench_points();
    size_t k = 0;
    float sign = 1;
    for (auto _ : state) {
        terrain_deform(&t, p[k], p[k + 1], 0.01f * sign);
        k = (k + 2) & 8191;
        if (k == 0) sign = -sign;
    }
}
BENCHMARK(BM_terrain_deform);

static void BM_terrain_sample_shade(benchmark::State& state) {
    const Terrain& t = bench_terrain();
    uint8_t rgb[3];
    int k = 0;
    for (auto _ : state) {
        terrain_sample_shade(&t, k & 1023, (k >> 10) & 1023, rgb);
        benchmark::DoNotOptimize(rgb);
        k += 7919;
    }
}
BENCHMARK(BM_terrain_sample_shade);

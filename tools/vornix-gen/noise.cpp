// Noise and small geometry helpers for the generator. Everything is integer-hashed, so the
// output never depends on the C library's random numbers or on the platform.
#include <cmath>

#include "gen.h"

void gen_random_seed(GenRandom* r, uint64_t seed) {
    r->state = 0;
    gen_random_u32(r);
    r->state += seed * 0x9E3779B97F4A7C15ULL + 0x853c49e6748fea9bULL;
    gen_random_u32(r);
}

uint32_t gen_random_u32(GenRandom* r) {
    uint64_t old = r->state;
    r->state = old * 6364136223846793005ULL + 1442695040888963407ULL;
    uint32_t xorshifted = (uint32_t)(((old >> 18u) ^ old) >> 27u);
    uint32_t rot = (uint32_t)(old >> 59u);
    return (xorshifted >> rot) | (xorshifted << ((32 - rot) & 31));
}

float gen_random_unit(GenRandom* r) {
    return (float)(gen_random_u32(r) >> 8) / 16777216.0f;
}

float gen_random_range(GenRandom* r, float a, float b) {
    return a + (b - a) * gen_random_unit(r);
}

uint32_t hash_u32(uint32_t x) {
    x ^= x >> 16;
    x *= 0x7feb352dU;
    x ^= x >> 15;
    x *= 0x846ca68bU;
    x ^= x >> 16;
    return x;
}

float hash_unit(int x, int y, uint32_t seed) {
    uint32_t h = hash_u32((uint32_t)x * 0x8da6b343U ^ hash_u32((uint32_t)y * 0xd8163841U ^ seed));
    return (float)(h >> 8) / 16777216.0f;
}

static float hash3_unit(int x, int y, int z, uint32_t seed) {
    return hash_unit(x, (int)hash_u32((uint32_t)y * 0xcb1ab31fU ^ (uint32_t)z), seed);
}

// Quintic fade: continuous slope and curvature across lattice cells.
static float fade(float t) {
    return t * t * t * (t * (t * 6 - 15) + 10);
}

static float noise2_lattice(float x, float y, int period, uint32_t seed) {
    float fx = std::floor(x), fy = std::floor(y);
    int ix = (int)fx, iy = (int)fy;
    float tx = fade(x - fx), ty = fade(y - fy);
    int x0 = ix, x1 = ix + 1, y0 = iy, y1 = iy + 1;
    if (period > 0) {
        x0 = ((x0 % period) + period) % period;
        x1 = ((x1 % period) + period) % period;
        y0 = ((y0 % period) + period) % period;
        y1 = ((y1 % period) + period) % period;
    }
    float a = hash_unit(x0, y0, seed), b = hash_unit(x1, y0, seed);
    float c = hash_unit(x0, y1, seed), d = hash_unit(x1, y1, seed);
    return lerpf(lerpf(a, b, tx), lerpf(c, d, tx), ty);
}

float noise2(float x, float y, uint32_t seed) {
    return noise2_lattice(x, y, 0, seed);
}

float noise2_tile(float x, float y, int period, uint32_t seed) {
    return noise2_lattice(x, y, period, seed);
}

float noise3(float x, float y, float z, uint32_t seed) {
    float fx = std::floor(x), fy = std::floor(y), fz = std::floor(z);
    int ix = (int)fx, iy = (int)fy, iz = (int)fz;
    float tx = fade(x - fx), ty = fade(y - fy), tz = fade(z - fz);
    float v[2];
    for (int k = 0; k < 2; k++) {
        float a = hash3_unit(ix, iy, iz + k, seed), b = hash3_unit(ix + 1, iy, iz + k, seed);
        float c = hash3_unit(ix, iy + 1, iz + k, seed);
        float d = hash3_unit(ix + 1, iy + 1, iz + k, seed);
        v[k] = lerpf(lerpf(a, b, tx), lerpf(c, d, tx), ty);
    }
    return lerpf(v[0], v[1], tz);
}

float fbm2(float x, float y, int octaves, uint32_t seed) {
    float sum = 0, amp = 1, norm = 0;
    for (int o = 0; o < octaves; o++) {
        sum += amp * noise2(x, y, seed + (uint32_t)o * 101u);
        norm += amp;
        amp *= 0.5f;
        x *= 2;
        y *= 2;
    }
    return sum / norm;
}

float fbm2_tile(float x, float y, int period, int octaves, uint32_t seed) {
    float sum = 0, amp = 1, norm = 0;
    for (int o = 0; o < octaves; o++) {
        sum += amp * noise2_tile(x, y, period, seed + (uint32_t)o * 101u);
        norm += amp;
        amp *= 0.5f;
        x *= 2;
        y *= 2;
        period *= 2;
    }
    return sum / norm;
}

float fbm3(float x, float y, float z, int octaves, uint32_t seed) {
    float sum = 0, amp = 1, norm = 0;
    for (int o = 0; o < octaves; o++) {
        sum += amp * noise3(x, y, z, seed + (uint32_t)o * 101u);
        norm += amp;
        amp *= 0.5f;
        x *= 2;
        y *= 2;
        z *= 2;
    }
    return sum / norm;
}

float cells2_tile(float x, float y, int period, uint32_t seed) {
    int ix = (int)std::floor(x), iy = (int)std::floor(y);
    float best = 4;
    for (int dy = -1; dy <= 1; dy++)
        for (int dx = -1; dx <= 1; dx++) {
            int cx = ix + dx, cy = iy + dy;
            int wx = ((cx % period) + period) % period, wy = ((cy % period) + period) % period;
            float px = cx + hash_unit(wx, wy, seed),
                  py = cy + hash_unit(wx, wy, seed ^ 0x5bd1e995u);
            float d = (px - x) * (px - x) + (py - y) * (py - y);
            if (d < best) best = d;
        }
    return std::sqrt(best);
}

float clampf(float v, float lo, float hi) {
    return v < lo ? lo : (v > hi ? hi : v);
}

float lerpf(float a, float b, float t) {
    return a + (b - a) * t;
}

float smoothstepf(float e0, float e1, float x) {
    float t = clampf((x - e0) / (e1 - e0), 0, 1);
    return t * t * (3 - 2 * t);
}

float segment_distance(float px, float py, float ax, float ay, float bx, float by, float* t) {
    float vx = bx - ax, vy = by - ay;
    float len2 = vx * vx + vy * vy;
    float k = len2 > 0 ? ((px - ax) * vx + (py - ay) * vy) / len2 : 0;
    k = clampf(k, 0, 1);
    if (t) *t = k;
    float dx = ax + k * vx - px, dy = ay + k * vy - py;
    return std::sqrt(dx * dx + dy * dy);
}

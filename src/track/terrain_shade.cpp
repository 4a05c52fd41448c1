// The ground's shading: the light the sun, the ambient light and the shadows give each height
// sample, and the rebuild bits of the low-detail textures the renderer keeps of it. Both belong
// to the terrain record, so the terrain's own edits (deformation, the editor) keep them right.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <vector>

#include "core/maths.h"
#include "track/lighting.h"
#include "track/terrain.h"

void terrain_sample_shade(const Terrain* t, int i, int j, uint8_t rgb[3]) {
    int P = t->samples;
    if (P <= 0) {
        rgb[0] = rgb[1] = rgb[2] = 0;
        return;
    }
    // Step 1-2: the centre and its eight neighbours; positions from the unclamped indices,
    // heights from clamped ones.
    i = clamp(i, 0, P - 1);
    j = clamp(j, 0, P - 1);
    static const int ring[8][2] = {{-1, -1}, {0, -1}, {1, -1}, {1, 0},
                                   {1, 1},   {0, 1},  {-1, 1}, {-1, 0}};
    float s = t->spacing;
    const float* h = t->heights.data();
    size_t centre = (size_t)i + (size_t)P * j;
    float ch = h[centre];
    float d[8][3];
    bool interior = i > 0 && j > 0 && i < P - 1 && j < P - 1;
    for (int k = 0; k < 8; k++) {
        int di = ring[k][0], dj = ring[k][1];
        float nh =
            interior ? h[centre + di + (ptrdiff_t)P * dj] : terrain_sample(t, i + di, j + dj);
        d[k][0] = (float)di * s;
        d[k][1] = nh - ch;
        d[k][2] = (float)dj * s;
    }
    // Step 3: the sum of the normalised normals of the eight triangles around the sample.
    float n[3] = {0, 0, 0};
    for (int k = 0; k < 8; k++) {
        const float* a = d[(k + 1) & 7];
        const float* b = d[k];
        float c[3] = {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2],
                      a[0] * b[1] - a[1] * b[0]};
        float len2 = c[0] * c[0] + c[1] * c[1] + c[2] * c[2];
        if (len2 > 0) {
            float inv = 1.0f / sqrtf(len2);
            n[0] += c[0] * inv, n[1] += c[1] * inv, n[2] += c[2] * inv;
        }
    }
    float len2 = n[0] * n[0] + n[1] * n[1] + n[2] * n[2];
    if (len2 > 0) {
        float inv = 1.0f / sqrtf(len2);
        n[0] *= inv, n[1] *= inv, n[2] *= inv;
    }
    // Step 4-5.
    const Lighting& l = g_lighting;
    float light = n[0] * l.sun_vector[0] + n[1] * l.sun_vector[1] + n[2] * l.sun_vector[2];
    light = light < 0 ? 0 : (light > 1 ? 1 : light);
    if (!t->shadows.empty()) light *= 1.0f - (float)t->shadows[(size_t)i + (size_t)P * j] / 255.0f;
    for (int c = 0; c < 3; c++) {
        float v = (l.sun_color[c] * light + l.ambient[c]) * 0.5f * 255.0f;
        rgb[c] = !(v > 0) ? 0 : (v >= 255 ? 255 : (uint8_t)(int)v);
    }
}

void terrain_mark_shading(Terrain* t, int i0, int j0, int i1, int j1) {
    int W = t->lowdetail_count;
    if (W <= 0) return;
    int bx0 = clamp(i0 / LOWDETAIL_STEP, 0, W - 1), bx1 = clamp(i1 / LOWDETAIL_STEP, 0, W - 1);
    int bz0 = clamp(j0 / LOWDETAIL_STEP, 0, W - 1), bz1 = clamp(j1 / LOWDETAIL_STEP, 0, W - 1);
    for (int bz = bz0; bz <= bz1; bz++)
        for (int bx = bx0; bx <= bx1; bx++) {
            int index = bz * W + bx;
            t->lowdetail_dirty[index >> 5] |= 1u << (index & 31);
        }
}

void terrain_relight(Terrain* t, int i0, int j0, int i1, int j1) {
    int P = t->samples;
    if (P <= 0 || t->shading.size() != (size_t)P * P * 3) return;
    i0 = clamp(i0, 0, P - 1), i1 = clamp(i1, 0, P - 1);
    j0 = clamp(j0, 0, P - 1), j1 = clamp(j1, 0, P - 1);
    if (i0 > i1 || j0 > j1) return;
    for (int j = j0; j <= j1; j++)
        for (int i = i0; i <= i1; i++)
            terrain_sample_shade(t, i, j, &t->shading[3 * ((size_t)i + (size_t)P * j)]);
    terrain_mark_shading(t, i0, j0, i1, j1);
}

int terrain_lowdetail_count(int tiles) {
    int w = (2 * tiles / 64 + 6) / 7;
    return w < 1 ? 1 : w;
}

void terrain_lowdetail_alloc(Terrain* t) {
    int W = terrain_lowdetail_count(t->tiles);
    t->lowdetail_count = W;
    t->lowdetail_textures.assign((size_t)W * W, 0);
    t->lowdetail_dirty.assign(((size_t)W * W + 31) / 32, 0);
}

int terrain_lowdetail_dirty(const Terrain* t, int index) {
    if (index < 0 || index >= t->lowdetail_count * t->lowdetail_count) return 0;
    return (t->lowdetail_dirty[index >> 5] >> (index & 31)) & 1;
}

// The sun's horizontal direction and its rise per unit of horizontal distance; false when the
// sun casts no shadows (at or below the horizon, or straight overhead).
static bool sun_ray(float dir[2], float* rise) {
    const float* s = g_lighting.sun_vector;
    float horiz = std::sqrt(s[0] * s[0] + s[2] * s[2]);
    if (!(horiz > 1e-4f) || !(s[1] > 0)) return false;
    dir[0] = s[0] / horiz, dir[1] = s[2] / horiz;
    *rise = s[1] / horiz;
    return true;
}

// 1 when the ray from sample (i, j) toward the sun meets the ground.
static int sample_in_shadow(const Terrain* t, int i, int j, const float dir[2], float rise) {
    float step = t->spacing * 0.75f;
    float x = (float)i * t->spacing, z = (float)j * t->spacing;
    float y = t->heights[(size_t)i + (size_t)t->samples * j] + 0.25f;
    for (;;) {
        x += dir[0] * step;
        z += dir[1] * step;
        y += rise * step;
        if (y > t->max_height || x < 0 || z < 0 || x > t->extent || z > t->extent) return 0;
        if (terrain_height(t, x, z) > y) return 1;
    }
}

void terrain_cast_shadows(Terrain* t, int i0, int j0, int i1, int j1) {
    int P = t->samples;
    if (P <= 0 || t->shadows.size() != (size_t)P * P || t->heights.size() != (size_t)P * P) return;
    i0 = clamp(i0, 0, P - 1), i1 = clamp(i1, 0, P - 1);
    j0 = clamp(j0, 0, P - 1), j1 = clamp(j1, 0, P - 1);
    if (i0 > i1 || j0 > j1) return;
    // The hard shadows of the rectangle and one sample around it, then the 3 x 3 softening.
    int a0 = std::max(i0 - 1, 0), a1 = std::min(i1 + 1, P - 1);
    int b0 = std::max(j0 - 1, 0), b1 = std::min(j1 + 1, P - 1);
    int w = a1 - a0 + 1;
    std::vector<uint8_t> hard((size_t)w * (b1 - b0 + 1), 0);
    float dir[2], rise;
    if (sun_ray(dir, &rise))
        for (int j = b0; j <= b1; j++)
            for (int i = a0; i <= a1; i++)
                hard[(size_t)(i - a0) + (size_t)w * (j - b0)] =
                    (uint8_t)sample_in_shadow(t, i, j, dir, rise);
    for (int j = j0; j <= j1; j++)
        for (int i = i0; i <= i1; i++) {
            int sum = 0;
            for (int dj = -1; dj <= 1; dj++)
                for (int di = -1; di <= 1; di++) {
                    int a = clamp(i + di, 0, P - 1), b = clamp(j + dj, 0, P - 1);
                    sum += hard[(size_t)(a - a0) + (size_t)w * (b - b0)];
                }
            t->shadows[(size_t)i + (size_t)P * j] = (uint8_t)(sum * 220 / 9);
        }
}

bool terrain_shadow_reach(const Terrain* t, int i0, int j0, int i1, int j1, int out[4]) {
    int P = t->samples;
    if (P <= 0 || t->spacing <= 0) return false;
    out[0] = i0 - 1, out[1] = j0 - 1, out[2] = i1 + 1, out[3] = j1 + 1;
    float dir[2], rise;
    if (sun_ray(dir, &rise)) {
        // The longest shadow: from the highest ground down to the lowest, in samples.
        float reach = (t->max_height - t->min_height) / rise / t->spacing + 2;
        if (!(reach < (float)P)) reach = (float)P;
        int r = (int)std::ceil(reach);
        // A shadowed sample lies on the side away from the sun.
        if (dir[0] > 0) out[0] -= (int)std::ceil(r * dir[0]);
        if (dir[0] < 0) out[2] += (int)std::ceil(-r * dir[0]);
        if (dir[1] > 0) out[1] -= (int)std::ceil(r * dir[1]);
        if (dir[1] < 0) out[3] += (int)std::ceil(-r * dir[1]);
    }
    for (int k = 0; k < 4; k++) out[k] = clamp(out[k], 0, P - 1);
    return true;
}

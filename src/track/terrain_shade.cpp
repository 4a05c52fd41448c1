// The ground's shading: the light the sun, the ambient light and the shadows give each height
// sample, and the rebuild bits of the low-detail textures the renderer keeps of it. Both belong
// to the terrain record, so the terrain's own edits (deformation, the editor) keep them right.
#include <cmath>
#include <cstddef>

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

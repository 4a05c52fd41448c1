// The ground brushes as operations on a terrain: each takes the block of samples it may change
// out of the field, works out the new heights there and writes the block back (which keeps the
// heights finite and within the field's limits). Shading, shadows and the renderer are the
// stroke's business (undo.cpp).
#include <algorithm>
#include <cmath>

#include "core/maths.h"
#include "editor/editor_internal.h"

float brush_weight(float d, float radius) {
    if (!(radius > 0) || !(d < radius)) return 0;
    float q = d / radius;
    float a = 1 - q * q;
    return a * a;
}

// The samples of the box [x0, x1] x [z0, z1] (feet), clamped to the field; false when the box
// misses the field or is not a number.
static bool box_rect(const Terrain* t, float x0, float z0, float x1, float z1, int rect[4]) {
    int P = t->samples;
    if (P <= 0 || !(t->spacing > 0) || !std::isfinite(x0) || !std::isfinite(z0) ||
        !std::isfinite(x1) || !std::isfinite(z1))
        return false;
    // Sample indices kept in int range before rounding, then clamped to the field.
    auto index = [&](float v) { return clampf(v / t->spacing, -1e6f, 1e6f); };
    int i0 = (int)std::floor(index(x0)), i1 = (int)std::ceil(index(x1));
    int j0 = (int)std::floor(index(z0)), j1 = (int)std::ceil(index(z1));
    if (i1 < 0 || j1 < 0 || i0 > P - 1 || j0 > P - 1) return false;
    rect[0] = clamp(i0, 0, P - 1), rect[1] = clamp(j0, 0, P - 1);
    rect[2] = clamp(i1, 0, P - 1), rect[3] = clamp(j1, 0, P - 1);
    return true;
}

bool brush_rect(const Terrain* t, float x, float z, float radius, int rect[4]) {
    if (!(radius > 0) || !std::isfinite(radius)) return false;
    return box_rect(t, x - radius, z - radius, x + radius, z + radius, rect);
}

// Distance from sample (i, j) to (x, z).
static float sample_distance(const Terrain* t, int i, int j, float x, float z) {
    return std::hypot((float)i * t->spacing - x, (float)j * t->spacing - z);
}

// Runs `change` over the samples of the brush block; it returns the sample's new height from
// the old one and its weight. Returns 1 when a height changed.
template <class Change>
static int brush_apply(Terrain* t, float x, float z, float radius, int rect[4], Change change) {
    if (!brush_rect(t, x, z, radius, rect)) return 0;
    TerrainPatch p;
    terrain_patch_get(t, rect[0], rect[1], rect[2], rect[3], &p);
    if (p.heights.empty()) return 0;
    int w = p.i1 - p.i0 + 1;
    int changed = 0;
    for (int j = p.j0; j <= p.j1; j++)
        for (int i = p.i0; i <= p.i1; i++) {
            float wgt = brush_weight(sample_distance(t, i, j, x, z), radius);
            if (wgt <= 0) continue;
            float& h = p.heights[(size_t)(i - p.i0) + (size_t)w * (j - p.j0)];
            float v = change(i, j, h, wgt);
            if (v != h && std::isfinite(v)) {
                h = v;
                changed = 1;
            }
        }
    // Shading and shadows stay as they are here: only the heights are written.
    p.shading.clear();
    p.shadows.clear();
    if (changed) terrain_patch_put(t, p);
    return changed;
}

int brush_raise(Terrain* t, float x, float z, float radius, float amount, int rect[4]) {
    if (!std::isfinite(amount)) return 0;
    return brush_apply(t, x, z, radius, rect,
                       [&](int, int, float h, float w) { return h + amount * w; });
}

int brush_smooth(Terrain* t, float x, float z, float radius, float fraction, int rect[4]) {
    if (!std::isfinite(fraction)) return 0;
    fraction = clampf(fraction, 0, 1);
    // The averages come from the heights before the dab; the dab's own writes go to its copy.
    const Terrain* before = t;
    return brush_apply(t, x, z, radius, rect, [&](int i, int j, float h, float w) {
        float sum = 0;
        for (int dj = -1; dj <= 1; dj++)
            for (int di = -1; di <= 1; di++) sum += terrain_sample(before, i + di, j + dj);
        return h + fraction * w * (sum / 9 - h);
    });
}

int brush_flatten(Terrain* t, float x, float z, float radius, float target, float fraction,
                  int rect[4]) {
    if (!std::isfinite(target) || !std::isfinite(fraction)) return 0;
    fraction = clampf(fraction, 0, 1);
    return brush_apply(t, x, z, radius, rect,
                       [&](int, int, float h, float w) { return h + fraction * w * (target - h); });
}

bool brush_ramp_rect(const Terrain* t, const float a[3], const float b[3], float radius,
                     int rect[4]) {
    for (int k = 0; k < 3; k++)
        if (!std::isfinite(a[k]) || !std::isfinite(b[k])) return false;
    if (!(radius > 0) || !std::isfinite(radius)) return false;
    return box_rect(t, std::min(a[0], b[0]) - radius, std::min(a[2], b[2]) - radius,
                    std::max(a[0], b[0]) + radius, std::max(a[2], b[2]) + radius, rect);
}

int brush_ramp(Terrain* t, const float a[3], const float b[3], float radius, int rect[4]) {
    if (!brush_ramp_rect(t, a, b, radius, rect)) return 0;
    TerrainPatch p;
    terrain_patch_get(t, rect[0], rect[1], rect[2], rect[3], &p);
    if (p.heights.empty()) return 0;
    float dx = b[0] - a[0], dz = b[2] - a[2];
    float len2 = dx * dx + dz * dz;
    int w = p.i1 - p.i0 + 1, changed = 0;
    for (int j = p.j0; j <= p.j1; j++)
        for (int i = p.i0; i <= p.i1; i++) {
            float x = (float)i * t->spacing, z = (float)j * t->spacing;
            float s = len2 > 0 ? ((x - a[0]) * dx + (z - a[2]) * dz) / len2 : 0;
            s = clampf(s, 0, 1);
            float d = std::hypot(x - (a[0] + s * dx), z - (a[2] + s * dz));
            if (!(d < radius)) continue;
            float v = a[1] + s * (b[1] - a[1]);
            float& h = p.heights[(size_t)(i - p.i0) + (size_t)w * (j - p.j0)];
            if (v != h) h = v, changed = 1;
        }
    p.shading.clear();
    p.shadows.clear();
    if (changed) terrain_patch_put(t, p);
    return changed;
}

int brush_paint(Terrain* t, float x, float z, float radius, int type, int rect[4]) {
    int N = t->tiles;
    if (N <= 0 || t->surfaces.empty() || type < 0 || type >= (int)t->surfaces.size() ||
        !std::isfinite(x) || !std::isfinite(z) || !std::isfinite(radius))
        return 0;
    float ts = t->tile_size;
    radius = radius > 0 ? radius : 0;
    auto tile = [&](float v) { return (int)std::floor(clampf(v / ts, -1e6f, 1e6f)); };
    int x0 = tile(x - radius), x1 = tile(x + radius), z0 = tile(z - radius), z1 = tile(z + radius);
    if (x1 < 0 || z1 < 0 || x0 > N - 1 || z0 > N - 1) return 0;
    rect[0] = clamp(x0, 0, N - 1), rect[1] = clamp(z0, 0, N - 1);
    rect[2] = clamp(x1, 0, N - 1), rect[3] = clamp(z1, 0, N - 1);
    TilePatch p;
    terrain_tiles_get(t, rect[0], rect[1], rect[2], rect[3], &p);
    int w = p.x1 - p.x0 + 1, changed = 0;
    // The tile under the centre is always painted, so a small brush still paints.
    int cx = clamp(tile(x), 0, N - 1), cz = clamp(tile(z), 0, N - 1);
    for (int tz = p.z0; tz <= p.z1; tz++)
        for (int tx = p.x0; tx <= p.x1; tx++) {
            float d = std::hypot(((float)tx + 0.5f) * ts - x, ((float)tz + 0.5f) * ts - z);
            if (!(d < radius) && !(tx == cx && tz == cz)) continue;
            uint8_t& v = p.tiles[(size_t)(tx - p.x0) + (size_t)w * (tz - p.z0)];
            if (v != type) v = (uint8_t)type, changed = 1;
        }
    if (changed) terrain_tiles_put(t, p);
    return changed;
}

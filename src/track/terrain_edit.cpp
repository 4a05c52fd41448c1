// Editing the terrain record in whole rectangles: the heights, shading and shadows of a block
// of samples, the surface types of a block of tiles, and the decal list. The track editor
// shapes and paints through these, and its undo puts the saved blocks back through them.
#include <cmath>
#include <cstring>

#include "core/maths.h"
#include "track/terrain.h"

// Clamps a sample rectangle to the field; false when nothing of it is inside.
static bool clamp_rect(int size, int* a0, int* b0, int* a1, int* b1) {
    if (size <= 0) return false;
    if (*a0 > *a1 || *b0 > *b1) return false;
    *a0 = clamp(*a0, 0, size - 1), *a1 = clamp(*a1, 0, size - 1);
    *b0 = clamp(*b0, 0, size - 1), *b1 = clamp(*b1, 0, size - 1);
    return *a0 <= *a1 && *b0 <= *b1;
}

void terrain_patch_get(const Terrain* t, int i0, int j0, int i1, int j1, TerrainPatch* out) {
    *out = TerrainPatch{};
    int P = t->samples;
    if ((size_t)P * P != t->heights.size() || !clamp_rect(P, &i0, &j0, &i1, &j1)) return;
    out->i0 = i0, out->j0 = j0, out->i1 = i1, out->j1 = j1;
    int w = i1 - i0 + 1, h = j1 - j0 + 1;
    out->heights.resize((size_t)w * h);
    out->shading.resize((size_t)w * h * 3, 0);
    out->shadows.resize((size_t)w * h, 0);
    bool shading = t->shading.size() == (size_t)P * P * 3;
    bool shadows = t->shadows.size() == (size_t)P * P;
    for (int j = 0; j < h; j++) {
        size_t from = (size_t)i0 + (size_t)P * (j0 + j), to = (size_t)w * j;
        memcpy(&out->heights[to], &t->heights[from], sizeof(float) * w);
        if (shading) memcpy(&out->shading[to * 3], &t->shading[from * 3], (size_t)w * 3);
        if (shadows) memcpy(&out->shadows[to], &t->shadows[from], (size_t)w);
    }
}

// A height the field can keep: finite and within the limit; otherwise the old one stays.
static float keep_height(float value, float old) {
    if (!std::isfinite(value)) return old;
    return clampf(value, -TERRAIN_HEIGHT_LIMIT, TERRAIN_HEIGHT_LIMIT);
}

int terrain_patch_put(Terrain* t, const TerrainPatch& p) {
    int P = t->samples;
    int w = p.i1 - p.i0 + 1, h = p.j1 - p.j0 + 1;
    if ((size_t)P * P != t->heights.size() || w <= 0 || h <= 0 || p.i0 < 0 || p.j0 < 0 ||
        p.i1 >= P || p.j1 >= P || p.heights.size() != (size_t)w * h)
        return 0;
    bool shading = p.shading.size() == (size_t)w * h * 3 && t->shading.size() == (size_t)P * P * 3;
    bool shadows = p.shadows.size() == (size_t)w * h && t->shadows.size() == (size_t)P * P;
    for (int j = 0; j < h; j++)
        for (int i = 0; i < w; i++) {
            size_t at = (size_t)(p.i0 + i) + (size_t)P * (p.j0 + j), from = (size_t)w * j + i;
            float v = keep_height(p.heights[from], t->heights[at]);
            t->heights[at] = v;
            // The bounds only ever widen, as they do under deformation: the renderer's culling
            // needs them to hold every sample.
            t->min_height = v < t->min_height ? v : t->min_height;
            t->max_height = v > t->max_height ? v : t->max_height;
            if (shading) memcpy(&t->shading[at * 3], &p.shading[from * 3], 3);
            if (shadows) t->shadows[at] = p.shadows[from];
        }
    terrain_mark_shading(t, p.i0, p.j0, p.i1, p.j1);
    // The ground differs from its files now: a network race loads them again.
    t->modified = true;
    return 1;
}

void terrain_tiles_get(const Terrain* t, int x0, int z0, int x1, int z1, TilePatch* out) {
    *out = TilePatch{};
    int N = t->tiles;
    if ((size_t)N * N != t->tilemap.size() || !clamp_rect(N, &x0, &z0, &x1, &z1)) return;
    out->x0 = x0, out->z0 = z0, out->x1 = x1, out->z1 = z1;
    int w = x1 - x0 + 1;
    for (int z = z0; z <= z1; z++)
        out->tiles.insert(out->tiles.end(), t->tilemap.begin() + x0 + (size_t)N * z,
                          t->tilemap.begin() + x0 + (size_t)N * z + w);
}

int terrain_tiles_put(Terrain* t, const TilePatch& p) {
    int N = t->tiles;
    int w = p.x1 - p.x0 + 1, h = p.z1 - p.z0 + 1;
    if ((size_t)N * N != t->tilemap.size() || w <= 0 || h <= 0 || p.x0 < 0 || p.z0 < 0 ||
        p.x1 >= N || p.z1 >= N || p.tiles.size() != (size_t)w * h || t->surfaces.empty())
        return 0;
    // A tile always names a surface type the track has.
    int last = (int)t->surfaces.size() - 1;
    for (int z = 0; z < h; z++)
        for (int x = 0; x < w; x++) {
            int v = p.tiles[(size_t)w * z + x];
            t->tilemap[(size_t)(p.x0 + x) + (size_t)N * (p.z0 + z)] =
                (uint8_t)(v > last ? last : v);
        }
    return 1;
}

void terrain_decals_set(Terrain* t, const std::vector<Decal>& decals, bool present) {
    t->decals.clear();
    for (auto& row : t->decal_buckets)
        for (auto& bucket : row) bucket.clear();
    for (const Decal& d : decals)
        terrain_decal_add(t, d.texture, d.x, d.z, d.angle, d.size, d.aspect);
    t->decals_present = present || !decals.empty();
}

// Queries on the loaded height field (height, tiles, ground frame, collision triangles), the
// ground-wear deformation, decals and the tile blend codes.
#include <algorithm>
#include <climits>
#include <cmath>

#include "core/maths.h"
#include "track/terrain.h"

// Cell index of a coordinate in sample units. Far-away, infinite or NaN coordinates are pulled
// into a range where the conversion to int is defined; they then meet the clamped edge samples.
static inline int cell_of(float f) {
    f = clamp_or_low(f, -1.0e8f, 1.0e8f);
    return (int)floorf(f);
}

float terrain_height(const Terrain* t, float x, float z) {
    if (t->samples <= 0) return 0;
    float fx = x / t->spacing, fz = z / t->spacing;
    int i = cell_of(fx), j = cell_of(fz);
    float a = fx - (float)i, b = fz - (float)j;
    int last = t->samples - 1;
    int i0 = clamp(i, 0, last), i1 = clamp(i + 1, 0, last);
    int r0 = t->samples * clamp(j, 0, last), r1 = t->samples * clamp(j + 1, 0, last);
    const float* h = t->heights.data();
    float h00 = h[i0 + r0], h10 = h[i1 + r0], h01 = h[i0 + r1], h11 = h[i1 + r1];
    if (((i + j) & 1) == 0) {
        // Diagonal from (i, j) to (i+1, j+1).
        if (b <= a) return h10 + (1 - a) * (h00 - h10) + b * (h11 - h10);
        return h01 + a * (h11 - h01) + (1 - b) * (h00 - h01);
    }
    // Diagonal from (i+1, j) to (i, j+1).
    if (a + b <= 1) return h00 + a * (h10 - h00) + b * (h01 - h00);
    return h11 + (1 - a) * (h01 - h11) + (1 - b) * (h10 - h11);
}

int terrain_tile_at(const Terrain* t, float x, float z) {
    if (t->tiles <= 0 || t->tilemap.empty()) return 0;
    int tx = clamp(cell_of(x / t->tile_size), 0, t->tiles - 1);
    int tz = clamp(cell_of(z / t->tile_size), 0, t->tiles - 1);
    return t->tilemap[tx + t->tiles * tz];
}

void terrain_ground_frame(const Terrain* t, float x, float z, float yaw, float m[9]) {
    if (yaw >= 3.25f) {
        for (int k = 0; k < 9; k++) m[k] = (k % 4 == 0) ? 1.0f : 0.0f;
        return;
    }
    float forward[3] = {cosf(yaw), 0, -sinf(yaw)};
    float up[3] = {0, 1, 0};
    if (yaw > -6.2831855f) {
        float h = terrain_height(t, x, z);
        up[0] = -(terrain_height(t, x + 1, z) - h);
        up[2] = -(terrain_height(t, x, z + 1) - h);
        vec3f_normalise(up);
    }
    float side[3];
    vec3f_cross(forward, up, side);
    vec3f_normalise(side);
    vec3f_cross(up, side, forward);
    for (int r = 0; r < 3; r++) {
        m[r * 3 + 0] = forward[r];
        m[r * 3 + 1] = up[r];
        m[r * 3 + 2] = side[r];
    }
}

TerrainCellRange terrain_cell_range(const Terrain* t, float cx, float cz, float r) {
    TerrainCellRange range;
    float s = t->spacing > 0 ? t->spacing : 1.0f;
    range.i0 = cell_of((cx - r) / s);
    range.i1 = -cell_of(-(cx + r) / s); // ceil
    range.j0 = cell_of((cz - r) / s);
    range.j1 = -cell_of(-(cz + r) / s);
    // The field's cells are 0 .. samples - 2. Beyond them the ground only continues its edge,
    // so the cells kept are the field's, a margin around it and around the centre's own cell;
    // the margin covers a wheel's whole reach (TERRAIN_EDGE_REACH feet), so wheels and bike
    // parts near or beyond the edge meet the same ground as without the bound.
    if (t->samples > 0) {
        int m = (int)std::min(64.0f, std::ceil(TERRAIN_EDGE_REACH / s)) + 1;
        int ci = cell_of(cx / s), cj = cell_of(cz / s);
        int end = t->samples - 1; // one past the last cell
        range.i0 = std::max(range.i0, std::min(0, ci) - m);
        range.i1 = std::min(range.i1, std::max(end, ci + 1) + m);
        range.j0 = std::max(range.j0, std::min(0, cj) - m);
        range.j1 = std::min(range.j1, std::max(end, cj + 1) + m);
    }
    return range;
}

void terrain_cell_triangles(const Terrain* t, int i, int j, TerrainTriangle out[2]) {
    // Corner k of the cell: 0 (i, j), 1 (i+1, j), 2 (i, j+1), 3 (i+1, j+1).
    static const int even[2][3] = {{0, 2, 3}, {3, 1, 0}};
    static const int odd[2][3] = {{0, 2, 1}, {3, 1, 2}};
    const int(*order)[3] = ((i + j) & 1) == 0 ? even : odd;
    for (int n = 0; n < 2; n++) {
        for (int v = 0; v < 3; v++) {
            int ci = i + (order[n][v] & 1), cj = j + (order[n][v] >> 1);
            out[n].v[v][0] = (float)ci * t->spacing;
            out[n].v[v][1] = terrain_sample(t, ci, cj);
            out[n].v[v][2] = (float)cj * t->spacing;
        }
    }
}

int terrain_triangles(const Terrain* t, float cx, float cz, float r, TerrainTriangle* out,
                      int max) {
    if (t->samples <= 0) return 0;
    TerrainCellRange range = terrain_cell_range(t, cx, cz, r);
    long long ni = range.i1 > range.i0 ? (long long)range.i1 - range.i0 : 0;
    long long nj = range.j1 > range.j0 ? (long long)range.j1 - range.j0 : 0;
    long long total = ni * nj * 2;
    int written = 0;
    for (int j = range.j0; j < range.j1 && written + 2 <= max; j++)
        for (int i = range.i0; i < range.i1 && written + 2 <= max; i++) {
            terrain_cell_triangles(t, i, j, out + written);
            written += 2;
        }
    return total > INT_MAX ? INT_MAX : (int)total;
}

void terrain_deform(Terrain* t, float x, float z, float amount) {
    if (amount == 0 || !std::isfinite(amount) || t->samples <= 0) return;
    if (t->deformation_locked) return;
    int P = t->samples;
    float fx = x / t->spacing, fz = z / t->spacing;
    int ci = cell_of(fx), cj = cell_of(fz);
    // Step 2-3: weights of the 4 x 4 samples around the point, normalised to a sum of 1.
    float w[4][4], sum = 0;
    for (int v = 0; v < 4; v++)
        for (int u = 0; u < 4; u++) {
            float dx = fx - (float)(ci - 1 + u), dz = fz - (float)(cj - 1 + v);
            float q = sqrtf(dx * dx + dz * dz) * 0.5f;
            w[v][u] = q <= 1.0f ? 1 - 3 * q * q + 2 * q * q * q : 0.0f;
            sum += w[v][u];
        }
    if (!(sum > 0)) return;
    int lo_i = std::max(ci - 1, 0), hi_i = std::min(ci + 2, P - 1);
    int lo_j = std::max(cj - 1, 0), hi_j = std::min(cj + 2, P - 1);
    if (lo_i > hi_i || lo_j > hi_j) return; // the bump lies wholly outside the field

    // Step 5, first half: the shading's offset from the computed light of every sample whose
    // normal the change can move (the changed samples and their neighbours).
    int si0 = std::max(lo_i - 1, 0), si1 = std::min(hi_i + 1, P - 1);
    int sj0 = std::max(lo_j - 1, 0), sj1 = std::min(hi_j + 1, P - 1);
    int offset[6][6][3];
    bool shaded = t->shading.size() == (size_t)P * P * 3;
    if (shaded)
        for (int j = sj0; j <= sj1; j++)
            for (int i = si0; i <= si1; i++) {
                uint8_t rgb[3];
                terrain_sample_shade(t, i, j, rgb);
                const uint8_t* s = &t->shading[3 * ((size_t)i + (size_t)P * j)];
                for (int c = 0; c < 3; c++) offset[j - sj0][i - si0][c] = (int)s[c] - rgb[c];
            }

    // Step 4: move the samples inside the field.
    for (int j = lo_j; j <= hi_j; j++)
        for (int i = lo_i; i <= hi_i; i++) {
            float& h = t->heights[(size_t)i + (size_t)P * j];
            h += amount * (w[j - (cj - 1)][i - (ci - 1)] / sum);
            if (h < t->min_height) t->min_height = h;
            if (h > t->max_height) t->max_height = h;
        }
    t->modified = true;

    // Step 5, second half: new light plus the remembered offset.
    if (!shaded) return;
    for (int j = sj0; j <= sj1; j++)
        for (int i = si0; i <= si1; i++) {
            uint8_t rgb[3];
            terrain_sample_shade(t, i, j, rgb);
            uint8_t* s = &t->shading[3 * ((size_t)i + (size_t)P * j)];
            for (int c = 0; c < 3; c++)
                s[c] = (uint8_t)clamp(rgb[c] + offset[j - sj0][i - si0][c], 0, 255);
        }
    terrain_mark_shading(t, si0, sj0, si1, sj1);
}

void terrain_decal_bounds(const Decal* d, float* half_x, float* half_z) {
    *half_x = fabsf(d->size * d->aspect * d->cos_angle) / 2 + fabsf(d->size * d->sin_angle) / 2;
    *half_z = fabsf(d->size * d->cos_angle) / 2 + fabsf(d->size * d->aspect * d->sin_angle) / 2;
}

int terrain_decal_bucket(const Terrain* t, float c) {
    float v = (float)DECAL_BUCKETS * c / t->extent;
    if (!(v >= 1.0f)) return 0; // also NaN
    if (v >= (float)(DECAL_BUCKETS - 1)) return DECAL_BUCKETS - 1;
    return (int)v;
}

int terrain_decal_add(Terrain* t, unsigned texture, float x, float z, float angle, float size,
                      float aspect) {
    Decal d;
    d.texture = texture;
    d.x = x, d.z = z, d.angle = angle, d.size = size, d.aspect = aspect;
    d.sin_angle = sinf(angle);
    d.cos_angle = cosf(angle);
    int index = (int)t->decals.size();
    t->decals.push_back(d);
    t->decals_present = true;
    // Every bucket between the corners of the bounding rectangle, so that a decal larger than
    // a bucket is found from the buckets in its middle too.
    float hx, hz;
    terrain_decal_bounds(&d, &hx, &hz);
    int bx0 = terrain_decal_bucket(t, x - hx), bx1 = terrain_decal_bucket(t, x + hx);
    int bz0 = terrain_decal_bucket(t, z - hz), bz1 = terrain_decal_bucket(t, z + hz);
    for (int bz = bz0; bz <= bz1; bz++)
        for (int bx = bx0; bx <= bx1; bx++) t->decal_buckets[bz][bx].push_back(index);
    return index;
}

void terrain_decals_in(const Terrain* t, float x0, float z0, float x1, float z1,
                       std::vector<int>* out) {
    out->clear();
    int bx0 = terrain_decal_bucket(t, x0), bx1 = terrain_decal_bucket(t, x1);
    int bz0 = terrain_decal_bucket(t, z0), bz1 = terrain_decal_bucket(t, z1);
    for (int bz = bz0; bz <= bz1; bz++)
        for (int bx = bx0; bx <= bx1; bx++)
            out->insert(out->end(), t->decal_buckets[bz][bx].begin(),
                        t->decal_buckets[bz][bx].end());
    std::sort(out->begin(), out->end());
    out->erase(std::unique(out->begin(), out->end()), out->end());
}

// First surface type whose texture name is prefix + "." + anything; -1 when none.
static int blend_find(const Terrain* t, const std::string& prefix) {
    for (size_t k = 0; k < t->surfaces.size(); k++) {
        const std::string& name = t->surfaces[k].texture_name;
        if (name.size() > prefix.size() && name.compare(0, prefix.size(), prefix) == 0 &&
            name[prefix.size()] == '.')
            return (int)k;
    }
    return -1;
}

void terrain_blend_codes(Terrain* t) {
    for (size_t own = 0; own < t->surfaces.size(); own++) {
        const std::string& name = t->surfaces[own].texture_name;
        int code = (int)own * 65536 + (int)own * 256;
        size_t hyphen = name.find('-');
        int a = hyphen == std::string::npos ? -1 : blend_find(t, name.substr(0, hyphen));
        if (a >= 0) {
            std::string rest = name.substr(hyphen + 1);
            if (rest.size() > 3 && rest.compare(0, 3, "alt") == 0 && rest[3] >= '0' &&
                rest[3] <= '9') {
                code = a * 65536 + a * 256;
            } else {
                size_t next = rest.find('-');
                int b = blend_find(t, rest.substr(0, next));
                // A B part that names no type leaves the tile its own plain code: it is then
                // drawn as itself, unblended.
                if (b >= 0) {
                    code = a * 65536 + b * 256;
                    if (next != std::string::npos && rest.size() >= next + 5) {
                        int mask = 0;
                        bool ok = true;
                        for (int k = 1; k <= 4; k++) {
                            char c = rest[next + k];
                            ok = ok && (c == '0' || c == '1');
                            mask = mask * 2 + (c == '1');
                        }
                        if (ok) code += mask;
                    }
                }
            }
        }
        t->surfaces[own].blend_code = code;
    }
}

void terrain_lock_deformation(Terrain* t, bool locked) {
    t->deformation_locked = locked;
}

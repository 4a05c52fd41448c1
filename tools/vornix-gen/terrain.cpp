// The height field of a track and the files that carry it: heights, per-sample shading lit by
// the track's sun, ray-marched shadows and the tile map.
#include <algorithm>
#include <cmath>

#include "gen.h"
#include "platform/digest.h"

void terrain_gen_init(TerrainGen* t, int shift, float spacing) {
    t->shift = shift;
    t->tiles = 1 << shift;
    t->samples = 2 * t->tiles + 1;
    t->spacing = spacing;
    size_t p2 = (size_t)t->samples * t->samples;
    t->heights.assign(p2, 0.0f);
    t->tilemap.assign((size_t)t->tiles * t->tiles, 0);
    t->shadows.assign(p2, 0);
    t->shading.assign(p2 * 3, 0);
}

static float sample_h(const TerrainGen& t, int i, int j) {
    int p = t.samples;
    i = i < 0 ? 0 : (i >= p ? p - 1 : i);
    j = j < 0 ? 0 : (j >= p ? p - 1 : j);
    return t.heights[(size_t)i + (size_t)p * j];
}

// The same triangles as the game: the diagonal of cell (i, j) runs (i, j)-(i+1, j+1) when
// i + j is even and (i+1, j)-(i, j+1) when odd.
float terrain_gen_height(const TerrainGen& t, float x, float z) {
    float fx = x / t.spacing, fz = z / t.spacing;
    float fi = std::floor(fx), fj = std::floor(fz);
    int i = (int)fi, j = (int)fj;
    float a = fx - fi, b = fz - fj;
    float h00 = sample_h(t, i, j), h10 = sample_h(t, i + 1, j);
    float h01 = sample_h(t, i, j + 1), h11 = sample_h(t, i + 1, j + 1);
    if (((i + j) & 1) == 0) {
        if (b <= a) return h10 + (1 - a) * (h00 - h10) + b * (h11 - h10);
        return h01 + a * (h11 - h01) + (1 - b) * (h00 - h01);
    }
    if (a + b <= 1) return h00 + a * (h10 - h00) + b * (h01 - h00);
    return h11 + (1 - a) * (h01 - h11) + (1 - b) * (h10 - h11);
}

// Header bounds on a half-foot grid print exactly with "%f", so the game expands every
// 16-bit value to the very height the generator quantised; the samples are snapped here so
// that shading and shadows see the ground the game will see.
void terrain_gen_range(TerrainGen* t) {
    float lo = t->heights[0], hi = t->heights[0];
    for (float h : t->heights) {
        lo = h < lo ? h : lo;
        hi = h > hi ? h : hi;
    }
    t->min_height = std::floor(lo * 2) / 2;
    t->max_height = std::ceil(hi * 2) / 2;
    if (t->max_height <= t->min_height) t->max_height = t->min_height + 1;
    float range = t->max_height - t->min_height;
    for (float& h : t->heights) {
        long v = std::lround((h - t->min_height) / range * 65535.0f);
        v = v < 0 ? 0 : (v > 65535 ? 65535 : v);
        h = t->min_height + (float)v * range / 65535.0f;
    }
}

void terrain_gen_shadows(TerrainGen* t, const Lighting& l) {
    int p = t->samples;
    std::vector<uint8_t> hard((size_t)p * p, 0);
    float horiz = std::sqrt(l.sun[0] * l.sun[0] + l.sun[2] * l.sun[2]);
    if (horiz > 1e-4f && l.sun[1] > 0) {
        float step = t->spacing * 0.75f;
        float sx = l.sun[0] / horiz * step, sz = l.sun[2] / horiz * step;
        float rise = l.sun[1] / horiz * step;
        float extent = t->spacing * (p - 1);
        // The highest ground of every 16 x 16 block and its neighbours: while the ray is above
        // that, no ground of the block can stop it and the height need not be looked up.
        const int B = 16;
        int nb = (p + B - 1) / B;
        std::vector<float> own((size_t)nb * nb, -1e30f), near((size_t)nb * nb, -1e30f);
        for (int j = 0; j < p; j++)
            for (int i = 0; i < p; i++) {
                float& m = own[(size_t)(i / B) + (size_t)nb * (j / B)];
                m = std::max(m, t->heights[(size_t)i + (size_t)p * j]);
            }
        for (int bj = 0; bj < nb; bj++)
            for (int bi = 0; bi < nb; bi++)
                for (int dj = -1; dj <= 1; dj++)
                    for (int di = -1; di <= 1; di++) {
                        int a = bi + di, b = bj + dj;
                        if (a < 0 || b < 0 || a >= nb || b >= nb) continue;
                        float& m = near[(size_t)bi + (size_t)nb * bj];
                        m = std::max(m, own[(size_t)a + (size_t)nb * b]);
                    }
        float block = B * t->spacing;
        for (int j = 0; j < p; j++)
            for (int i = 0; i < p; i++) {
                float x = i * t->spacing, z = j * t->spacing;
                float y = t->heights[(size_t)i + (size_t)p * j] + 0.25f;
                // March toward the sun until the ray clears the highest ground or leaves.
                for (;;) {
                    x += sx;
                    z += sz;
                    y += rise;
                    if (y > t->max_height || x < 0 || z < 0 || x > extent || z > extent) break;
                    if (y > near[(size_t)(x / block) + (size_t)nb * (size_t)(z / block)]) continue;
                    if (terrain_gen_height(*t, x, z) > y) {
                        hard[(size_t)i + (size_t)p * j] = 1;
                        break;
                    }
                }
            }
    }
    // A 3 x 3 average softens the edge of every shadow by a sample.
    for (int j = 0; j < p; j++)
        for (int i = 0; i < p; i++) {
            int sum = 0;
            for (int dj = -1; dj <= 1; dj++)
                for (int di = -1; di <= 1; di++) {
                    int a = i + di < 0 ? 0 : (i + di >= p ? p - 1 : i + di);
                    int b = j + dj < 0 ? 0 : (j + dj >= p ? p - 1 : j + dj);
                    sum += hard[(size_t)a + (size_t)p * b];
                }
            t->shadows[(size_t)i + (size_t)p * j] = (uint8_t)(sum * 220 / 9);
        }
}

// The renderer's sample shading rule: the normal averaged over the eight triangles around
// the sample, lit by the sun and darkened by the shadow, stored at half intensity.
void terrain_gen_shading(TerrainGen* t, const Lighting& l) {
    static const int ring[8][2] = {{-1, -1}, {0, -1}, {1, -1}, {1, 0},
                                   {1, 1},   {0, 1},  {-1, 1}, {-1, 0}};
    int p = t->samples;
    float sp = t->spacing;
    for (int j = 0; j < p; j++)
        for (int i = 0; i < p; i++) {
            float cx = i * sp, cy = sample_h(*t, i, j), cz = j * sp;
            float px[9][3];
            for (int k = 0; k < 8; k++) {
                px[k][0] = (i + ring[k][0]) * sp - cx;
                px[k][1] = sample_h(*t, i + ring[k][0], j + ring[k][1]) - cy;
                px[k][2] = (j + ring[k][1]) * sp - cz;
            }
            px[8][0] = px[0][0];
            px[8][1] = px[0][1];
            px[8][2] = px[0][2];
            float n[3] = {0, 0, 0};
            for (int k = 0; k < 8; k++) {
                const float* a = px[k + 1];
                const float* b = px[k];
                float c[3] = {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2],
                              a[0] * b[1] - a[1] * b[0]};
                float len = std::sqrt(c[0] * c[0] + c[1] * c[1] + c[2] * c[2]);
                if (len > 0)
                    for (int q = 0; q < 3; q++) n[q] += c[q] / len;
            }
            float len = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
            if (len > 0)
                for (int q = 0; q < 3; q++) n[q] /= len;
            size_t at = (size_t)i + (size_t)p * j;
            float light = clampf(n[0] * l.sun[0] + n[1] * l.sun[1] + n[2] * l.sun[2], 0, 1) *
                          (1.0f - t->shadows[at] / 255.0f);
            for (int q = 0; q < 3; q++) {
                float value = (l.sun_colour[q] * light + l.ambient[q]) * 0.5f;
                int byte = (int)(value * 255.0f);
                t->shading[at * 3 + q] = (uint8_t)(byte < 0 ? 0 : (byte > 255 ? 255 : byte));
            }
        }
}

/*
 * "terrain.hf": the text header "%d %f %f %f\n" (shift, spacing, minimum and maximum height),
 * then ":" and P x P little-endian 16-bit samples, z rows outer, x inner; a sample v stands for
 * min + v (max - min) / 65535. "shadingx2.ppm": a binary PPM of the stored half-intensity
 * shading. "shadows.pgm": a binary PGM holding 255 minus the shadow amount (255 = sunlit).
 * "tilemap": N x N surface type bytes, z rows outer.
 */
int terrain_gen_write(const TerrainGen& t, const std::string& folder, std::vector<float>* quantised,
                      std::string* samples_digest) {
    int p = t.samples;
    float range = t.max_height - t.min_height;
    std::string hf = strf("%d %f %f %f\n:", t.shift, t.spacing, t.min_height, t.max_height);
    size_t head = hf.size();
    hf.resize(head + (size_t)p * p * 2);
    if (quantised) quantised->resize((size_t)p * p);
    for (size_t k = 0; k < (size_t)p * p; k++) {
        long v = std::lround((t.heights[k] - t.min_height) / range * 65535.0f);
        v = v < 0 ? 0 : (v > 65535 ? 65535 : v);
        hf[head + 2 * k] = (char)(v & 255);
        hf[head + 2 * k + 1] = (char)(v >> 8);
        if (quantised) (*quantised)[k] = t.min_height + (float)v * range / 65535.0f;
    }
    if (samples_digest) {
        unsigned char d[DIGEST_SIZE];
        digest_bytes(hf.data() + head, hf.size() - head, d);
        *samples_digest = digest_hex(d);
    }
    if (!write_text(folder + "terrain.hf", hf)) return 0;
    std::string ppm = strf("P6\n%d %d\n255\n", p, p);
    ppm.append((const char*)t.shading.data(), t.shading.size());
    if (!write_text(folder + "shadingx2.ppm", ppm)) return 0;
    std::vector<uint8_t> inv(t.shadows.size());
    for (size_t k = 0; k < inv.size(); k++) inv[k] = (uint8_t)(255 - t.shadows[k]);
    if (!write_pgm(folder + "shadows.pgm", p, p, inv.data())) return 0;
    return write_bytes(folder + "tilemap", t.tilemap.data(), t.tilemap.size());
}

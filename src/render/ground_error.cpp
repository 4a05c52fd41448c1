// The incremental error pass: one value per quadtree node saying how far from the eye the node
// still needs to be split. A pass visits the finest depth first so that every coarser node can
// take the largest value of its children and of the nodes bordering them; the refinement's
// distance test then splits a node's neighbours whenever it splits the node's children, which
// keeps the fans free of cracks. The pass stops after a bounded amount of work and resumes at
// the next row of samples on the next call.
#include <cmath>
#include <cstdint>

#include "core/settings.h"
#include "render/ground.h"
#include "render/ground_internal.h"
#include "track/terrain.h"

int ground_node_offset(int depth) {
    return (int)((((int64_t)1 << (2 * depth)) - 1) / 3);
}

int ground_node_count(int depth_max) {
    return ground_node_offset(depth_max + 1);
}

void ground_nodes_alloc(const Terrain* t) {
    size_t n = (size_t)ground_node_count(t->shift);
    g_ground.shift = t->shift;
    g_ground.error[0].assign(n, 0.0f);
    g_ground.error[1].assign(n, 0.0f);
    g_ground.error_current = 0;
    g_ground.flags.assign((n + 31) / 32, 0);
    g_ground.pass = GroundErrorPass();
}

float ground_detail_factor() {
    return g_settings.ground_detail;
}

float ground_error_value(int depth, int a, int b) {
    if (depth < 0 || depth > g_ground.shift) return 0;
    int side = 1 << depth;
    if (a < 0 || b < 0 || a >= side || b >= side) return 0;
    const std::vector<float>& v = g_ground.error[g_ground.error_current];
    size_t index = (size_t)ground_node_offset(depth) + a + (size_t)b * side;
    return index < v.size() ? v[index] : 0;
}

namespace {

// One of a node's two triangles: the right-angled corner (rx, rz) and the directions from it to
// the other two corners along x and along z.
struct Tri {
    int rx, rz, sx, sz;
};

Tri node_triangle(int a, int b, int h, int which) {
    int x0 = 2 * a * h, x1 = x0 + 2 * h, z0 = 2 * b * h, z1 = z0 + 2 * h;
    if (((a ^ b) & 1) == 0) // diagonal A-E: B, A, E and C, E, A
        return which == 0 ? Tri{x0, z0, 1, 1} : Tri{x1, z1, -1, -1};
    // diagonal B-C: E, C, B and A, B, C
    return which == 0 ? Tri{x0, z1, 1, -1} : Tri{x1, z0, -1, 1};
}

// The largest deviation of row k of a triangle from the plane through its corners.
float triangle_row(const Terrain* t, const Tri& tr, int h, int k) {
    int P = t->samples, side = 2 * h;
    const float* hs = t->heights.data();
    float hr = hs[tr.rx + (size_t)P * tr.rz];
    float hx = hs[tr.rx + tr.sx * side + (size_t)P * tr.rz];
    float hz = hs[tr.rx + (size_t)P * (tr.rz + tr.sz * side)];
    float inv = 1.0f / (float)side;
    float dx = (hx - hr) * inv, dz = (hz - hr) * inv;
    float base = hr + dz * (float)k;
    const float* row = hs + (size_t)P * (tr.rz + tr.sz * k);
    float worst = 0;
    for (int m = 0; m <= side - k; m++) {
        float diff = std::fabs(row[tr.rx + tr.sx * m] - (base + dx * (float)m));
        if (diff > worst) worst = diff;
    }
    return worst;
}

// The value a finished node stores: its own term, widened by its children and by the finer
// nodes that border them so that splitting those forces this node to split too.
float node_value(const Terrain* t, const float* build, int d, int a, int b, float H) {
    float g = ground_detail_factor();
    float term = g > 0 ? H / g : (H > 0 ? INFINITY : 0.0f);
    float k = term + t->extent * 0.70710678f * std::ldexp(1.0f, -d);
    float value = k * k;
    if (d == t->shift) return value;
    static const int border[8][2] = {{0, -1}, {1, -1}, {2, 0},  {2, 1},
                                     {1, 2},  {0, 2},  {-1, 1}, {-1, 0}};
    int side = 1 << (d + 1);
    const float* fine = build + ground_node_offset(d + 1);
    float s1 = 0;
    for (const auto& o : border) {
        int x = 2 * a + o[0], z = 2 * b + o[1];
        if (x < 0 || z < 0 || x >= side || z >= side) continue;
        float v = fine[x + (size_t)z * side];
        if (v > s1) s1 = v;
    }
    float s2 = std::sqrt(s1) + std::ldexp(1.0f, -(d + 1)) * t->extent * 3.1622777f * 0.50048828125f;
    s2 *= s2;
    if (s2 > value) value = s2;
    for (int c = 0; c < 4; c++) {
        float v = fine[(2 * a + (c & 1)) + (size_t)(2 * b + (c >> 1)) * side];
        if (v > value) value = v;
    }
    return value;
}

void pass_start(GroundErrorPass* p, int depth_max) {
    p->running = 1;
    p->generation = g_ground.generation;
    p->depth = depth_max;
    p->row = p->column = p->triangle = p->tri_row = 0;
    p->max = 0;
}

} // namespace

int ground_error_update(const Terrain* t, int work_limit) {
    GroundErrorPass& p = g_ground.pass;
    if (t->samples <= 0 || g_ground.shift != t->shift ||
        t->heights.size() != (size_t)t->samples * t->samples)
        return 0;
    // Step 1: a running pass always finishes; otherwise start one only for a new generation.
    if (!p.running) {
        if (p.current_generation == g_ground.generation) return 0;
        pass_start(&p, t->shift);
    }
    bool unlimited = work_limit < 0;
    long long remaining = work_limit;
    float* build = g_ground.error[1 - g_ground.error_current].data();
    for (;;) {
        int d = p.depth, a = p.column, b = p.row;
        int h = t->tiles >> d;
        Tri tr = node_triangle(a, b, h, p.triangle);
        // Step 4: 10 units per triangle, then per row its samples minus 2.
        if (p.tri_row == 0) remaining -= 10;
        float worst = triangle_row(t, tr, h, p.tri_row);
        if (worst > p.max) p.max = worst;
        remaining -= (2 * h - p.tri_row + 1) - 2;
        if (++p.tri_row > 2 * h) {
            p.tri_row = 0;
            if (p.triangle == 0) {
                p.triangle = 1;
            } else {
                // Steps 5-6: the node is done.
                p.triangle = 0;
                build[ground_node_offset(d) + a + (size_t)b * (1 << d)] =
                    node_value(t, build, d, a, b, p.max);
                p.max = 0;
                // Step 2: columns, then rows, then the next coarser depth.
                if (++p.column == (1 << d)) {
                    p.column = 0;
                    if (++p.row == (1 << d)) {
                        p.row = 0;
                        if (--p.depth < 0) {
                            // Step 7.
                            g_ground.error_current = 1 - g_ground.error_current;
                            p.current_generation = p.generation;
                            p.running = 0;
                            p.depth = 0;
                            return 1;
                        }
                    }
                }
            }
        }
        if (!unlimited && remaining < 0) return 0;
    }
}

void ground_error_full(const Terrain* t) {
    if (t->samples <= 0 || g_ground.shift != t->shift) return;
    pass_start(&g_ground.pass, t->shift);
    ground_error_update(t, -1);
}

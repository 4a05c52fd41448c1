// Refinement: which quadtree nodes are split for this eye (fixed coarse nodes, the nodes under
// the texture windows, and the distance test against the error values), and the triangle fans
// that draw them. Pure logic: the fans go into g_ground.vertices / .fans for the GL code.
#include <algorithm>
#include <cmath>

#include "core/settings.h"
#include "render/ground.h"
#include "render/ground_internal.h"
#include "track/terrain.h"

namespace {

inline void flag_set(size_t index) {
    g_ground.flags[index >> 5] |= 1u << (index & 31);
}

inline int flag_get(size_t index) {
    return (g_ground.flags[index >> 5] >> (index & 31)) & 1;
}

inline size_t node_index(int d, int a, int b) {
    return (size_t)ground_node_offset(d) + (size_t)a + ((size_t)b << d);
}

// Flag of node (d, a, b); nodes outside the field count as unflagged.
int flag_at(int d, int a, int b) {
    int side = 1 << d;
    if (a < 0 || b < 0 || a >= side || b >= side) return 0;
    return flag_get(node_index(d, a, b));
}

// Step 3: the nodes under the windows of every level, each window widened by one node where
// the finer window below reaches its edge, so that a split node always has split neighbours.
void flag_window_nodes(const Terrain* t, const int cell[2]) {
    int D = t->shift;
    int prev_lo[2] = {0, 0}, prev_hi[2] = {0, 0};
    for (int i = D; i >= 1; i--) {
        int level = D - i, side = 1 << i;
        int lo[2], hi[2];
        for (int axis = 0; axis < 2; axis++) {
            int u = ground_window_origin(t, level, cell[axis]);
            lo[axis] = u;
            hi[axis] = u + GROUND_WINDOW;
            if (i < D) {
                if (prev_hi[axis] == 2 * (u + GROUND_WINDOW)) hi[axis]++;
                if (prev_lo[axis] == 2 * u) lo[axis]--;
            }
            if (lo[axis] < 0) lo[axis] = 0;
            if (hi[axis] > side) hi[axis] = side;
            prev_lo[axis] = lo[axis];
            prev_hi[axis] = hi[axis];
        }
        for (int b = lo[1]; b < hi[1]; b++)
            for (int a = lo[0]; a < hi[0]; a++) flag_set(node_index(i, a, b));
    }
}

// Step 4: from the root, a node whose error value exceeds its squared horizontal distance to
// the eye is flagged and its children tested.
void flag_by_distance(const Terrain* t, const float eye[3]) {
    const float* value = g_ground.error[g_ground.error_current].data();
    int D = t->shift;
    struct Item {
        int d, a, b;
    } stack[4 * 16];
    int top = 0;
    stack[top++] = {0, 0, 0};
    while (top > 0) {
        Item n = stack[--top];
        int h = t->tiles >> n.d;
        float dx = (float)((2 * n.a + 1) * h) * t->spacing - eye[0];
        float dz = (float)((2 * n.b + 1) * h) * t->spacing - eye[2];
        size_t index = node_index(n.d, n.a, n.b);
        if (!(value[index] > dx * dx + dz * dz)) continue;
        flag_set(index);
        if (n.d == D) continue;
        for (int c = 0; c < 4; c++) stack[top++] = {n.d + 1, 2 * n.a + (c & 1), 2 * n.b + (c >> 1)};
    }
}

// The ring of a node in units of its half size, in drawing order: corners at even places,
// edge midpoints at odd ones.
const int RING[8][2] = {{-1, -1}, {-1, 0}, {-1, 1}, {0, 1}, {1, 1}, {1, 0}, {1, -1}, {0, -1}};
// The child in the quadrant of corner 2q, as (column, row) offsets.
const int QUADRANT[4][2] = {{0, 0}, {0, 1}, {1, 1}, {1, 0}};

struct Emitter {
    const Terrain* t;
    int D;
    int min_level;
    float eye[3], view[3];
};

// The texture a node's fans use: the finest valid window entry that holds it, else the fixed
// texture.
void choose_texture(const Emitter& e, int d, int a, int b, GroundFan* fan) {
    const Terrain* t = e.t;
    int span = e.D - d;
    int tx = a << span, tz = b << span;
    int level = e.min_level > span ? e.min_level : span;
    for (; level < GROUND_LEVELS; level++) {
        if (!ground_level_used(t, level)) continue;
        const GroundWindow& w = g_ground.windows[level];
        int lx = (tx >> level) - w.ox, lz = (tz >> level) - w.oz;
        if (lx < 0 || lz < 0 || lx >= GROUND_WINDOW || lz >= GROUND_WINDOW) continue;
        if (!w.entry[lz * GROUND_WINDOW + lx].valid) continue;
        fan->level = level;
        fan->texture = lz * GROUND_WINDOW + lx;
        break;
    }
    if (level >= GROUND_LEVELS) {
        int f = g_ground.fixed_count > 0 ? g_ground.fixed_count : 1;
        int fx = clamp(tx / GROUND_FIXED_TILES, 0, f - 1);
        int fz = clamp(tz / GROUND_FIXED_TILES, 0, f - 1);
        level = GROUND_FIXED_LEVEL;
        fan->level = level;
        fan->texture = fz * f + fx;
    }
    int T = 2 << level;
    int h = t->tiles >> d;
    fan->T = T;
    fan->i0 = ((2 * a + 1) * h) / T * T;
    fan->j0 = ((2 * b + 1) * h) / T * T;
    fan->d = d;
    fan->a = a;
    fan->b = b;
}

// An edge midpoint is needed when the same-depth node across that edge is outside the field
// or split there.
bool midpoint_needed(int d, int a, int b, int k) {
    int na = a + RING[k][0], nb = b + RING[k][1];
    int side = 1 << d;
    if (na < 0 || nb < 0 || na >= side || nb >= side) return true;
    return flag_get(node_index(d, na, nb)) != 0;
}

void fan_point(const Emitter& e, int d, int a, int b, int k) {
    int h = e.t->tiles >> d;
    g_ground.vertices.push_back({(2 * a + 1 + RING[k][0]) * h, (2 * b + 1 + RING[k][1]) * h});
}

void fan_begin(GroundFan* fan, int d, int a, int b, const Terrain* t) {
    int h = t->tiles >> d;
    fan->first = (int)g_ground.vertices.size();
    g_ground.vertices.push_back({(2 * a + 1) * h, (2 * b + 1) * h});
}

void fan_end(GroundFan* fan) {
    fan->count = (int)g_ground.vertices.size() - fan->first;
    g_ground.polygons += fan->count - 1;
    g_ground.fans.push_back(*fan);
}

void emit_node(const Emitter& e, int d, int a, int b) {
    const Terrain* t = e.t;
    int h = t->tiles >> d;
    // Step 1: the box corner farthest along the view; behind the eye means nothing to draw.
    float cx = (float)((2 * a + (e.view[0] >= 0 ? 2 : 0)) * h) * t->spacing;
    float cz = (float)((2 * b + (e.view[2] >= 0 ? 2 : 0)) * h) * t->spacing;
    float cy = e.view[1] >= 0 ? t->max_height : t->min_height;
    if ((cx - e.eye[0]) * e.view[0] + (cy - e.eye[1]) * e.view[1] + (cz - e.eye[2]) * e.view[2] < 0)
        return;
    int split[4] = {0, 0, 0, 0};
    int any = 0;
    if (d < e.D)
        for (int q = 0; q < 4; q++)
            any |= split[q] = flag_at(d + 1, 2 * a + QUADRANT[q][0], 2 * b + QUADRANT[q][1]);
    GroundFan fan;
    if (!any) {
        // Step 2: the whole node, its ring closed on the first corner.
        choose_texture(e, d, a, b, &fan);
        fan_begin(&fan, d, a, b, t);
        for (int k = 0; k < 8; k++)
            if ((k & 1) == 0 || midpoint_needed(d, a, b, k)) fan_point(e, d, a, b, k);
        fan_point(e, d, a, b, 0);
        fan_end(&fan);
        return;
    }
    // Step 3: the split children from the farthest quadrant to the nearest.
    float centre_x = (float)((2 * a + 1) * h) * t->spacing;
    float centre_z = (float)((2 * b + 1) * h) * t->spacing;
    int near_x = e.eye[0] >= centre_x ? 1 : 0, near_z = e.eye[2] >= centre_z ? 1 : 0;
    const int order[4][2] = {
        {1 - near_x, 1 - near_z}, {1 - near_x, near_z}, {near_x, 1 - near_z}, {near_x, near_z}};
    for (const auto& o : order)
        if (flag_at(d + 1, 2 * a + o[0], 2 * b + o[1]))
            emit_node(e, d + 1, 2 * a + o[0], 2 * b + o[1]);
    // The unsplit quadrants: each run of neighbouring ones in ring order is one fan around the
    // centre, so that a left-out midpoint between two of them leaves no gap. A run's outer
    // midpoints border a split child whose corner lies there, so they are always emitted.
    choose_texture(e, d, a, b, &fan);
    int start = 0;
    while (!split[start]) start++;
    for (int n = 1; n <= 4;) {
        int q = (start + n) & 3;
        if (split[q]) {
            n++;
            continue;
        }
        fan_begin(&fan, d, a, b, t);
        fan_point(e, d, a, b, (2 * q + 7) & 7);
        for (;;) {
            fan_point(e, d, a, b, 2 * q);
            int next = (q + 1) & 3;
            n++;
            bool last = n > 4 || split[next];
            if (last || midpoint_needed(d, a, b, 2 * q + 1)) fan_point(e, d, a, b, 2 * q + 1);
            if (last) break;
            q = next;
        }
        fan_end(&fan);
    }
}

} // namespace

void ground_eye_cell(const Terrain* t, const float eye[3], int cell[2]) {
    for (int axis = 0; axis < 2; axis++) {
        double v = std::floor((double)eye[axis * 2] / (double)t->spacing);
        // Far-away or undefined eyes stay within int range, and above the "unset" mark of the
        // remembered eye cell; every window origin clamps long before these bounds.
        if (!(v >= -900000)) v = -900000;
        if (v > 1e8) v = 1e8;
        cell[axis] = (int)v;
    }
}

int ground_window_origin(const Terrain* t, int level, int eye_cell) {
    int hi = (t->tiles >> level) - GROUND_WINDOW;
    int u = ((eye_cell - (1 << level)) >> (level + 1)) - 1;
    return clamp(u, 0, hi < 0 ? 0 : hi);
}

// Fields under 128 tiles per side have fewer than four tiles per side at the coarse levels;
// those levels are left out and the nodes fall back to the fixed textures.
int ground_level_used(const Terrain* t, int level) {
    return level >= g_settings.ground_texture_level && level < GROUND_LEVELS &&
           (t->tiles >> level) >= GROUND_WINDOW;
}

int ground_flag(int depth, int a, int b) {
    if (depth < 0 || depth > g_ground.shift) return 0;
    return flag_at(depth, a, b);
}

void ground_refine(const Terrain* t, const float eye[3], const float view[3]) {
    g_ground.vertices.clear();
    g_ground.fans.clear();
    g_ground.polygons = 0;
    if (t->samples <= 0 || g_ground.shift != t->shift || g_ground.flags.empty()) return;
    int D = t->shift;
    // Steps 1-2: clear, then the coarse nodes that are always split.
    std::fill(g_ground.flags.begin(), g_ground.flags.end(), 0u);
    int last = ground_node_offset(D > 5 ? D - 5 : 0);
    for (int k = 0; k <= last; k++) flag_set((size_t)k);
    int cell[2];
    ground_eye_cell(t, eye, cell);
    flag_window_nodes(t, cell);
    flag_by_distance(t, eye);

    Emitter e;
    e.t = t;
    e.D = D;
    e.min_level = g_settings.ground_texture_level;
    for (int k = 0; k < 3; k++) e.eye[k] = eye[k], e.view[k] = view[k];
    emit_node(e, 0, 0, 0);
}

// What the editor draws into the world: the brush cursor draped over the ground, the ramp's
// marks, the tile grid around the brush, the timing gates with the lap path through them, the
// start slots, and rings around the selected object. Built here as vertex lists and drawn by the
// renderer's overlay (render/overlay.h).
#include <cmath>

#include "core/maths.h"
#include "editor/editor_internal.h"
#include "render/overlay.h"
#include "track/objects.h"

namespace {

struct Rgba {
    uint8_t r, g, b, a;
};
const Rgba BRUSH = {255, 214, 0, 255};
const Rgba PAINT = {0, 230, 255, 255};
const Rgba GRID = {255, 255, 255, 90};
const Rgba GATE = {255, 120, 20, 255};
const Rgba GATE_INTERMEDIATE_COLOUR = {80, 170, 255, 255};
const Rgba SELECTED = {255, 40, 200, 255};
const Rgba FIRST_LAP = {60, 255, 90, 255};
const Rgba NORMAL_LAP = {255, 60, 60, 255};
const Rgba SLOT = {255, 255, 255, 230};

float ground(float x, float z) {
    return terrain_height(&g_terrain, x, z);
}

void vertex(OverlayBatch* b, float x, float y, float z, Rgba c) {
    b->vertices.push_back(OverlayVertex{x, y, z, {c.r, c.g, c.b, c.a}});
}

// A line from a to b following the ground, lift ft above it, in pieces of about 2 ft.
void draped_line(OverlayBatch* b, float ax, float az, float bx, float bz, float lift, Rgba c) {
    float len = std::hypot(bx - ax, bz - az);
    int pieces = clamp((int)(len / 2) + 1, 1, 400);
    float px = ax, pz = az, py = ground(ax, az) + lift;
    for (int k = 1; k <= pieces; k++) {
        float f = (float)k / (float)pieces;
        float x = ax + (bx - ax) * f, z = az + (bz - az) * f, y = ground(x, z) + lift;
        vertex(b, px, py, pz, c);
        vertex(b, x, y, z, c);
        px = x, py = y, pz = z;
    }
}

void ring(OverlayBatch* b, float x, float z, float r, float lift, Rgba c) {
    const int SIDES = 48;
    for (int k = 0; k < SIDES; k++) {
        float a0 = 2 * (float)PI * k / SIDES, a1 = 2 * (float)PI * (k + 1) / SIDES;
        draped_line(b, x + r * std::cos(a0), z + r * std::sin(a0), x + r * std::cos(a1),
                    z + r * std::sin(a1), lift, c);
    }
}

void brush_cursor(std::vector<OverlayBatch>* out) {
    const EditorState& e = g_editor;
    OverlayBatch b;
    b.width = 3;
    b.through = 1;
    float x = e.point[0], z = e.point[2];
    Rgba c = e.tool == TOOL_PAINT ? PAINT : BRUSH;
    if (e.tool <= TOOL_PAINT) {
        ring(&b, x, z, e.radius, 0.3f, c);
        ring(&b, x, z, e.radius * 0.5f, 0.3f, Rgba{c.r, c.g, c.b, 120});
    }
    // The centre: a cross and a short post.
    float s = std::max(1.5f, e.radius * 0.1f), y = e.point[1];
    vertex(&b, x - s, y + 0.3f, z, c), vertex(&b, x + s, y + 0.3f, z, c);
    vertex(&b, x, y + 0.3f, z - s, c), vertex(&b, x, y + 0.3f, z + s, c);
    vertex(&b, x, y, z, c), vertex(&b, x, y + 2 * s, z, c);
    out->push_back(b);
}

void ramp_marks(std::vector<OverlayBatch>* out) {
    const EditorState& e = g_editor;
    if (e.tool != TOOL_RAMP || e.ramp_points == 0) return;
    OverlayBatch b;
    b.width = 3;
    b.through = 1;
    for (int k = 0; k < e.ramp_points && k < 2; k++) {
        const float* p = e.ramp[k];
        ring(&b, p[0], p[2], e.radius, 0.3f, BRUSH);
        vertex(&b, p[0], p[1], p[2], BRUSH), vertex(&b, p[0], p[1] + 6, p[2], BRUSH);
    }
    // From A to the second mark, or to the brush while choosing it.
    const float* a = e.ramp[0];
    const float* to = e.ramp_points >= 2 ? e.ramp[1] : (e.have_point ? e.point : nullptr);
    if (to) {
        vertex(&b, a[0], a[1] + 0.5f, a[2], BRUSH);
        vertex(&b, to[0], to[1] + 0.5f, to[2], BRUSH);
    }
    out->push_back(b);
}

void tile_grid(std::vector<OverlayBatch>* out) {
    const EditorState& e = g_editor;
    const Terrain& t = g_terrain;
    if (!e.show_grid || t.tiles <= 0) return;
    OverlayBatch b;
    b.width = 1;
    float ts = t.tile_size;
    // The tile lines within about 40 tiles of the brush.
    int cx = clamp((int)(e.point[0] / ts), 0, t.tiles),
        cz = clamp((int)(e.point[2] / ts), 0, t.tiles);
    int x0 = std::max(cx - 40, 0), x1 = std::min(cx + 40, t.tiles);
    int z0 = std::max(cz - 40, 0), z1 = std::min(cz + 40, t.tiles);
    for (int x = x0; x <= x1; x++)
        draped_line(&b, (float)x * ts, (float)z0 * ts, (float)x * ts, (float)z1 * ts, 0.15f, GRID);
    for (int z = z0; z <= z1; z++)
        draped_line(&b, (float)x0 * ts, (float)z * ts, (float)x1 * ts, (float)z * ts, 0.15f, GRID);
    out->push_back(b);
}

// Whether any lap reference to gate g marks it as intermediate.
bool intermediate(int g) {
    for (const std::vector<int>* list : {&g_gates.first_lap, &g_gates.normal_lap})
        for (int ref : *list)
            if (ref == g + GATE_INTERMEDIATE) return true;
    return false;
}

void gates(std::vector<OverlayBatch>* out) {
    const EditorState& e = g_editor;
    bool timing = e.tool == TOOL_GATES || e.tool == TOOL_SLOTS;
    if (!timing && !e.show_path) return;
    OverlayBatch lines, path, hidden;
    lines.width = 3;
    path.width = 4;
    hidden.width = 2;
    hidden.through = 1;
    for (int i = 0; i < (int)g_gates.gates.size(); i++) {
        const Gate& g = g_gates.gates[i];
        float dx = g.direction[0], dz = g.direction[2];
        float len = std::hypot(dx, dz);
        if (len > 0) dx /= len, dz /= len;
        Rgba c = (e.tool == TOOL_GATES && e.selected == i) ? SELECTED
                 : intermediate(i)                         ? GATE_INTERMEDIATE_COLOUR
                                                           : GATE;
        // Across the track, the gate's width; an arrow the way riders pass it.
        float ax = -dz * g.radius, az = dx * g.radius;
        draped_line(&lines, g.centre[0] - ax, g.centre[2] - az, g.centre[0] + ax, g.centre[2] + az,
                    1.0f, c);
        float y = ground(g.centre[0], g.centre[2]) + 1;
        float tip = std::min(g.radius * 0.4f, 12.0f);
        vertex(&lines, g.centre[0], y, g.centre[2], c);
        vertex(&lines, g.centre[0] + dx * tip, y, g.centre[2] + dz * tip, c);
    }
    // The lap path: the first lap's gates in order, then the normal lap round to its start.
    auto leg = [&](int from, int to, Rgba c) {
        int n = (int)g_gates.gates.size();
        auto gate = [](int ref) {
            return ref >= GATE_INTERMEDIATE ? ref - GATE_INTERMEDIATE : ref;
        };
        int a = gate(from), b = gate(to);
        if (a < 0 || b < 0 || a >= n || b >= n) return;
        const Gate &ga = g_gates.gates[a], &gb = g_gates.gates[b];
        draped_line(&path, ga.centre[0], ga.centre[2], gb.centre[0], gb.centre[2], 1.5f, c);
        Rgba faint{c.r, c.g, c.b, 70};
        draped_line(&hidden, ga.centre[0], ga.centre[2], gb.centre[0], gb.centre[2], 1.5f, faint);
    };
    const std::vector<int>& first = g_gates.first_lap;
    const std::vector<int>& normal = g_gates.normal_lap;
    for (size_t k = 0; k + 1 < first.size(); k++) leg(first[k], first[k + 1], FIRST_LAP);
    if (!first.empty() && !normal.empty()) leg(first.back(), normal.front(), FIRST_LAP);
    for (size_t k = 0; k + 1 < normal.size(); k++) leg(normal[k], normal[k + 1], NORMAL_LAP);
    if (normal.size() > 1) leg(normal.back(), normal.front(), NORMAL_LAP);
    out->push_back(lines);
    out->push_back(hidden);
    out->push_back(path);
}

void start_slots(std::vector<OverlayBatch>* out) {
    const EditorState& e = g_editor;
    if (e.tool != TOOL_SLOTS || g_gates.slot_count == 0) return;
    OverlayBatch b;
    b.width = 2;
    b.through = 1;
    for (int i = 0; i < g_gates.slot_count; i++) {
        const StartSlot& s = g_gates.slots[i];
        float fx = -std::sin(s.angle), fz = -std::cos(s.angle);
        float y = ground(s.x, s.z) + 0.3f;
        // A short mark along the way the bike faces from the slot point.
        vertex(&b, s.x, y, s.z, SLOT);
        vertex(&b, s.x + fx * 3, ground(s.x + fx * 3, s.z + fz * 3) + 0.3f, s.z + fz * 3, SLOT);
    }
    out->push_back(b);
}

void selection(std::vector<OverlayBatch>* out) {
    const EditorState& e = g_editor;
    if (e.selected < 0 || (e.tool != TOOL_SCENERY && e.tool != TOOL_DECALS)) return;
    TrackScene s;
    scene_read(&s);
    float x, z, r;
    int nb = (int)s.billboards.size();
    if (e.tool == TOOL_DECALS) {
        if (e.selected >= (int)s.decals.size()) return;
        x = s.decals[e.selected].x, z = s.decals[e.selected].z;
        r = s.decals[e.selected].size * 0.5f * std::max(1.0f, s.decals[e.selected].aspect);
    } else if (e.selected < nb) {
        x = s.billboards[e.selected].x, z = s.billboards[e.selected].z;
        r = std::max(2.0f, s.billboards[e.selected].width * 0.5f);
    } else if (e.selected - nb < (int)s.statues.size()) {
        x = s.statues[e.selected - nb].x, z = s.statues[e.selected - nb].z;
        r = 3;
    } else {
        return;
    }
    OverlayBatch b;
    b.width = 3;
    b.through = 1;
    ring(&b, x, z, r, 0.3f, SELECTED);
    float y = ground(x, z);
    vertex(&b, x, y, z, SELECTED), vertex(&b, x, y + 12, z, SELECTED);
    out->push_back(b);
}

} // namespace

void editor_draw_overlays() {
    const EditorState& e = g_editor;
    if (g_terrain.samples <= 0) return;
    std::vector<OverlayBatch> batches;
    tile_grid(&batches);
    gates(&batches);
    start_slots(&batches);
    selection(&batches);
    ramp_marks(&batches);
    if (e.have_point) brush_cursor(&batches);
    overlay_draw(batches);
}

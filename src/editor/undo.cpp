// Strokes and the undo history. A ground stroke keeps, before it changes anything, a copy of
// every sample it will touch (heights, shading, shadows), growing the copy as the brush moves:
// a sample first reached by the brush has not been changed yet, so its current values are its
// values from before the stroke. Undo writes that copy back, which restores the field bit for
// bit; redo writes the copy taken when the stroke ended.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "core/constants.h"
#include "editor/editor_internal.h"
#include "platform/messages.h"
#include "race/session.h"
#include "render/ground.h"

namespace {

bool patch_empty(const TerrainPatch& p) {
    return p.i1 < p.i0 || p.heights.empty();
}

// Grows a before-copy to cover the rectangle as well.
void cover(TerrainPatch* b, int i0, int j0, int i1, int j1) {
    if (patch_empty(*b)) {
        terrain_patch_get(&g_terrain, i0, j0, i1, j1, b);
        return;
    }
    if (i0 >= b->i0 && j0 >= b->j0 && i1 <= b->i1 && j1 <= b->j1) return;
    TerrainPatch grown;
    terrain_patch_get(&g_terrain, std::min(i0, b->i0), std::min(j0, b->j0), std::max(i1, b->i1),
                      std::max(j1, b->j1), &grown);
    int ow = b->i1 - b->i0 + 1, gw = grown.i1 - grown.i0 + 1;
    for (int j = b->j0; j <= b->j1; j++) {
        size_t from = (size_t)ow * (j - b->j0);
        size_t to = (size_t)(b->i0 - grown.i0) + (size_t)gw * (j - grown.j0);
        memcpy(&grown.heights[to], &b->heights[from], sizeof(float) * ow);
        memcpy(&grown.shading[to * 3], &b->shading[from * 3], (size_t)ow * 3);
        memcpy(&grown.shadows[to], &b->shadows[from], (size_t)ow);
    }
    *b = std::move(grown);
}

void cover_tiles(TilePatch* b, int x0, int z0, int x1, int z1) {
    if (b->x1 < b->x0 || b->tiles.empty()) {
        terrain_tiles_get(&g_terrain, x0, z0, x1, z1, b);
        return;
    }
    if (x0 >= b->x0 && z0 >= b->z0 && x1 <= b->x1 && z1 <= b->z1) return;
    TilePatch grown;
    terrain_tiles_get(&g_terrain, std::min(x0, b->x0), std::min(z0, b->z0), std::max(x1, b->x1),
                      std::max(z1, b->z1), &grown);
    int ow = b->x1 - b->x0 + 1, gw = grown.x1 - grown.x0 + 1;
    for (int z = b->z0; z <= b->z1; z++)
        memcpy(&grown.tiles[(size_t)(b->x0 - grown.x0) + (size_t)gw * (z - grown.z0)],
               &b->tiles[(size_t)ow * (z - b->z0)], (size_t)ow);
    *b = std::move(grown);
}

size_t step_bytes(const EditStep& s) {
    auto scene = [](const TrackScene& c) {
        return c.gates.size() * sizeof(Gate) + c.billboards.size() * 64 + c.statues.size() * 128 +
               c.decals.size() * sizeof(Decal) + (c.first_lap.size() + c.normal_lap.size()) * 4;
    };
    return sizeof s + (s.ground_before.heights.size() + s.ground_after.heights.size()) * 8 +
           s.tiles_before.tiles.size() + s.tiles_after.tiles.size() + scene(s.scene_before) +
           scene(s.scene_after);
}

void push(EditStep&& step) {
    EditorState& e = g_editor;
    step.bytes = step_bytes(step);
    e.undo_bytes += step.bytes;
    e.undo.push_back(std::move(step));
    e.redo.clear();
    // The oldest steps go first when the history grows too long or too large.
    size_t drop = 0;
    size_t bytes = e.undo_bytes;
    while (e.undo.size() - drop > 1 &&
           ((int)(e.undo.size() - drop) > UNDO_STEPS_MAX || bytes > UNDO_BYTES_MAX))
        bytes -= e.undo[drop++].bytes;
    if (drop) e.undo.erase(e.undo.begin(), e.undo.begin() + (long)drop);
    e.undo_bytes = bytes;
    e.changes++;
}

const char* tool_label(int tool) {
    static const char* const LABELS[TOOL_COUNT] = {"Raise", "Lower", "Smooth", "Flatten", "Ramp",
                                                   "Paint", "Gates", "Start",  "Scenery", "Decals"};
    return tool >= 0 && tool < TOOL_COUNT ? LABELS[tool] : "Edit";
}

bool ground_tool(int tool) {
    return tool == TOOL_RAISE || tool == TOOL_LOWER || tool == TOOL_SMOOTH ||
           tool == TOOL_FLATTEN || tool == TOOL_RAMP;
}

// The tile block as a sample rectangle, for the renderer.
void mark_tiles(const TilePatch& p) {
    ground_mark_samples(2 * p.x0, 2 * p.z0, 2 * p.x1 + 2, 2 * p.z1 + 2);
}

void mark_decals(const TrackScene& s) {
    for (const Decal& d : s.decals) ground_mark_decal(&d);
}

// Puts a stored state back.
void restore(const EditStep& s, bool before) {
    if (s.kind == STEP_GROUND) {
        const TerrainPatch& p = before ? s.ground_before : s.ground_after;
        terrain_patch_put(&g_terrain, p);
        editor_ground_changed(p.i0, p.j0, p.i1, p.j1);
        ground_error_full(&g_terrain);
    } else if (s.kind == STEP_TILES) {
        const TilePatch& p = before ? s.tiles_before : s.tiles_after;
        terrain_tiles_put(&g_terrain, p);
        mark_tiles(p);
    } else {
        const TrackScene& to = before ? s.scene_before : s.scene_after;
        const TrackScene& from = before ? s.scene_after : s.scene_before;
        int bits = scene_apply(to);
        if (bits & SCENE_DECALS) {
            mark_decals(from);
            mark_decals(to);
        }
        if (bits & SCENE_GATES) g_editor.timing_changed = 1;
    }
    g_editor.selected = -1;
}

// One dab of the stroke's tool; rect gets the samples (or tiles) it may have changed.
int dab(float x, float z, float dt, int rect[4]) {
    EditorState& e = g_editor;
    Terrain* t = &g_terrain;
    float s = e.strength * dt;
    switch (e.stroke.tool) {
    case TOOL_RAISE:
        return brush_raise(t, x, z, e.radius, s, rect);
    case TOOL_LOWER:
        return brush_raise(t, x, z, e.radius, -s, rect);
    case TOOL_SMOOTH:
        return brush_smooth(t, x, z, e.radius, s, rect);
    case TOOL_FLATTEN:
        return brush_flatten(t, x, z, e.radius, e.stroke.flatten_height, s, rect);
    case TOOL_RAMP:
        return brush_ramp(t, e.ramp[0], e.ramp[1], e.radius, rect);
    case TOOL_PAINT:
        return brush_paint(t, x, z, e.radius, e.surface, rect);
    }
    return 0;
}

// The samples a dab at (x, z) may change, with the one-sample margin the shading needs.
bool dab_reach(float x, float z, int rect[4]) {
    EditorState& e = g_editor;
    bool ok = e.stroke.tool == TOOL_RAMP
                  ? brush_ramp_rect(&g_terrain, e.ramp[0], e.ramp[1], e.radius, rect)
                  : brush_rect(&g_terrain, x, z, e.radius, rect);
    if (!ok) return false;
    rect[0]--, rect[1]--, rect[2]++, rect[3]++;
    return true;
}

} // namespace

void editor_ground_changed(int i0, int j0, int i1, int j1) {
    float s = g_terrain.spacing;
    scene_follow_ground((float)i0 * s, (float)j0 * s, (float)i1 * s, (float)j1 * s);
    ground_heights_changed();
}

bool editor_may_edit() {
    if (!g_session.multiplayer) return true;
    post_message("The track can't be edited during a network race");
    return false;
}

void stroke_begin(float x, float z) {
    EditorState& e = g_editor;
    if (e.stroke.active) stroke_end();
    if (!editor_may_edit()) return;
    if (!ground_tool(e.tool) && e.tool != TOOL_PAINT) return;
    if (g_terrain.samples <= 0) return;
    e.stroke = Stroke{};
    e.stroke.active = 1;
    e.stroke.tool = e.tool;
    // Flattening without a picked height levels to the height where the stroke starts.
    e.stroke.flatten_height = e.flatten_set ? e.flatten_height : terrain_height(&g_terrain, x, z);
}

void stroke_dab(float x, float z, float dt) {
    EditorState& e = g_editor;
    if (!e.stroke.active) return;
    e.stroke.dabs++;
    int rect[4];
    if (e.stroke.tool == TOOL_PAINT) {
        // The block is taken before the tiles change; dab() finds the same block again.
        int r[4];
        if (!brush_rect(&g_terrain, x, z, e.radius + g_terrain.tile_size, r)) return;
        cover_tiles(&e.stroke.tiles_before, r[0] / 2 - 1, r[1] / 2 - 1, r[2] / 2 + 1, r[3] / 2 + 1);
        if (dab(x, z, dt, rect)) {
            TilePatch marked;
            marked.x0 = rect[0], marked.z0 = rect[1], marked.x1 = rect[2], marked.z1 = rect[3];
            mark_tiles(marked);
        }
        return;
    }
    if (!dab_reach(x, z, rect)) return;
    cover(&e.stroke.before, rect[0], rect[1], rect[2], rect[3]);
    int changed[4];
    if (!dab(x, z, dt, changed)) return;
    terrain_relight(&g_terrain, changed[0] - 1, changed[1] - 1, changed[2] + 1, changed[3] + 1);
    editor_ground_changed(changed[0], changed[1], changed[2], changed[3]);
}

void stroke_end() {
    EditorState& e = g_editor;
    if (!e.stroke.active) return;
    // A press and release within one tick still makes one dab.
    if (e.stroke.dabs == 0 && e.have_point) stroke_dab(e.point[0], e.point[2], (float)sim_tick);
    Stroke s = std::move(e.stroke);
    e.stroke = Stroke{};
    EditStep step;
    step.label = tool_label(s.tool);
    if (s.tool == TOOL_PAINT) {
        if (s.tiles_before.tiles.empty()) return;
        step.kind = STEP_TILES;
        terrain_tiles_get(&g_terrain, s.tiles_before.x0, s.tiles_before.z0, s.tiles_before.x1,
                          s.tiles_before.z1, &step.tiles_after);
        if (step.tiles_after.tiles == s.tiles_before.tiles) return;
        step.tiles_before = std::move(s.tiles_before);
        push(std::move(step));
        return;
    }
    if (patch_empty(s.before)) return;
    // The shadows the changed ground casts, and the shading under them.
    int reach[4];
    if (terrain_shadow_reach(&g_terrain, s.before.i0, s.before.j0, s.before.i1, s.before.j1,
                             reach)) {
        cover(&s.before, reach[0], reach[1], reach[2], reach[3]);
        terrain_cast_shadows(&g_terrain, reach[0], reach[1], reach[2], reach[3]);
        terrain_relight(&g_terrain, reach[0], reach[1], reach[2], reach[3]);
    }
    step.kind = STEP_GROUND;
    terrain_patch_get(&g_terrain, s.before.i0, s.before.j0, s.before.i1, s.before.j1,
                      &step.ground_after);
    if (step.ground_after.heights == s.before.heights &&
        step.ground_after.shading == s.before.shading &&
        step.ground_after.shadows == s.before.shadows)
        return;
    step.ground_before = std::move(s.before);
    // The renderer's detail values follow at once, so the new shape shows from afar too.
    ground_error_full(&g_terrain);
    push(std::move(step));
}

int editor_ramp_apply() {
    EditorState& e = g_editor;
    if (e.ramp_points < 2) return 0;
    int saved_tool = e.tool;
    e.tool = TOOL_RAMP;
    stroke_begin(e.ramp[0][0], e.ramp[0][2]);
    e.tool = saved_tool;
    if (!e.stroke.active) return 0;
    stroke_dab(e.ramp[1][0], e.ramp[1][2], 0);
    int changes = e.changes;
    stroke_end();
    return e.changes != changes;
}

int editor_scene_commit(const TrackScene& before, const TrackScene& after, const char* label) {
    int bits = scene_diff(before, after);
    if (!bits || !editor_may_edit()) return 0;
    TrackScene now;
    scene_read(&now);
    int applied = scene_apply(after);
    if ((applied | bits) & SCENE_DECALS) {
        mark_decals(now);
        mark_decals(after);
    }
    if (bits & SCENE_GATES) g_editor.timing_changed = 1;
    EditStep step;
    step.kind = STEP_SCENE;
    step.label = label;
    step.scene_before = before;
    step.scene_after = after;
    push(std::move(step));
    return 1;
}

int editor_undo() {
    EditorState& e = g_editor;
    if (e.stroke.active) stroke_end();
    if (e.undo.empty()) {
        post_message("Nothing to undo");
        return 0;
    }
    if (!editor_may_edit()) return 0;
    EditStep step = std::move(e.undo.back());
    e.undo.pop_back();
    e.undo_bytes -= step.bytes;
    restore(step, true);
    post_message(("Undone: " + step.label).c_str());
    e.redo.push_back(std::move(step));
    e.changes++;
    return 1;
}

int editor_redo() {
    EditorState& e = g_editor;
    if (e.stroke.active) stroke_end();
    if (e.redo.empty()) {
        post_message("Nothing to redo");
        return 0;
    }
    if (!editor_may_edit()) return 0;
    EditStep step = std::move(e.redo.back());
    e.redo.pop_back();
    restore(step, false);
    post_message(("Redone: " + step.label).c_str());
    e.undo_bytes += step.bytes;
    e.undo.push_back(std::move(step));
    e.changes++;
    return 1;
}

void editor_history_clear() {
    g_editor.undo.clear();
    g_editor.redo.clear();
    g_editor.undo_bytes = 0;
    g_editor.stroke = Stroke{};
}

// The ground renderer's per-frame interface and the keeping of its textures: window movement
// with rotation, which texture to draw next, stale stamps and dirty bits from shading and decal
// changes, and the terrain lifecycle. The GL drawing itself is in ground_gl.cpp.
#include <cmath>
#include <cstring>

#include "core/settings.h"
#include "platform/log.h"
#include "render/ground.h"
#include "render/ground_internal.h"
#include "track/terrain.h"

namespace {

bool have_terrain() {
    const Terrain& t = g_terrain;
    return t.samples > 0 && g_ground.shift == t.shift && !g_ground.error[0].empty();
}

// Gives every window entry of the used levels whose tile meets samples [s0, s1] x [r0, r1]
// (both ends included) the current frame as stale stamp, unless it already has one.
void stamp_windows(const Terrain* t, int s0, int r0, int s1, int r1) {
    for (int level = 0; level < GROUND_LEVELS; level++) {
        if (!ground_level_used(t, level)) continue;
        GroundWindow& w = g_ground.windows[level];
        for (int r = 0; r < GROUND_WINDOW; r++)
            for (int c = 0; c < GROUND_WINDOW; c++) {
                int x0 = (w.ox + c) << (level + 1), x1 = (w.ox + c + 1) << (level + 1);
                int z0 = (w.oz + r) << (level + 1), z1 = (w.oz + r + 1) << (level + 1);
                if (x0 > s1 || x1 < s0 || z0 > r1 || z1 < r0) continue;
                GroundWindowEntry& e = w.entry[r * GROUND_WINDOW + c];
                if (e.stamp == 0) e.stamp = g_ground.frame;
            }
    }
}

// Sets the dirty bits of the fixed textures from sample column s0 >> 7 to s1 >> 7 and row
// r0 >> 7 to r1 >> 7.
void dirty_fixed(int s0, int r0, int s1, int r1) {
    int f = g_ground.fixed_count;
    if (f <= 0) return;
    int fx0 = clamp(s0 >> 7, 0, f - 1), fx1 = clamp(s1 >> 7, 0, f - 1);
    int fz0 = clamp(r0 >> 7, 0, f - 1), fz1 = clamp(r1 >> 7, 0, f - 1);
    for (int z = fz0; z <= fz1; z++)
        for (int x = fx0; x <= fx1; x++) g_ground.fixed_dirty[(size_t)z * f + x] = 1;
}

// Rebuilds at most one low-detail texture (the second half of the background work).
void lowdetail_step(Terrain* t) {
    int index = ground_lowdetail_next(t);
    if (index < 0) return;
    ground_lowdetail_mark_users(t, index);
    ground_lowdetail_upload(t, index);
}

// Renders the picture of window entry (level, index), when there is GL.
void render_window_entry(const Terrain* t, int level, int index) {
    g_ground.drawn_level = level;
    g_ground.drawn_entry = index;
    if (!ground_gl_ready()) return;
    const GroundWindow& w = g_ground.windows[level];
    int r = index / GROUND_WINDOW, c = index % GROUND_WINDOW;
    int k = 1 << level;
    ground_gl_render_area(t, w.entry[index].texture, (w.ox + c) * k, (w.oz + r) * k, k);
}

// Step 3 of the upkeep for one level: the new origin from the eye cell; the entries follow
// their tiles and the textures rotate with them.
void window_move(const Terrain* t, int level, const int old_cell[2], const int cell[2]) {
    GroundWindow& w = g_ground.windows[level];
    int nx = ground_window_origin(t, level, cell[0]), nz = ground_window_origin(t, level, cell[1]);
    if (old_cell[0] < -999999 || old_cell[1] < -999999) {
        w.ox = nx;
        w.oz = nz;
        for (GroundWindowEntry& e : w.entry) e.valid = 0, e.stamp = 0;
        return;
    }
    int dx = nx - ground_window_origin(t, level, old_cell[0]);
    int dz = nz - ground_window_origin(t, level, old_cell[1]);
    w.ox = nx;
    w.oz = nz;
    if (dx == 0 && dz == 0) return;
    GroundWindow old = w;
    for (int r = 0; r < GROUND_WINDOW; r++)
        for (int c = 0; c < GROUND_WINDOW; c++) {
            GroundWindowEntry& e = w.entry[r * GROUND_WINDOW + c];
            int rr = ((r + dz) % GROUND_WINDOW + GROUND_WINDOW) % GROUND_WINDOW;
            int cc = ((c + dx) % GROUND_WINDOW + GROUND_WINDOW) % GROUND_WINDOW;
            e.texture = old.entry[rr * GROUND_WINDOW + cc].texture;
            int sr = r + dz, sc = c + dx;
            if (sr >= 0 && sc >= 0 && sr < GROUND_WINDOW && sc < GROUND_WINDOW) {
                e.valid = old.entry[sr * GROUND_WINDOW + sc].valid;
                e.stamp = old.entry[sr * GROUND_WINDOW + sc].stamp;
            } else {
                e.valid = 0;
                e.stamp = 0;
            }
        }
}

} // namespace

void ground_lowdetail_mark_users(Terrain* t, int index) {
    int W = t->lowdetail_count;
    if (W <= 0 || index < 0 || index >= W * W) return;
    // Step 2: the block origin in samples.
    int bx = (index % W) * LOWDETAIL_STEP, bz = (index / W) * LOWDETAIL_STEP;
    // Step 3: the fixed textures over the block.
    dirty_fixed(bx, bz, bx + LOWDETAIL_STEP, bz + LOWDETAIL_STEP);
    // Step 4: the window entries whose tiles reach into it.
    stamp_windows(t, bx, bz, bx + LOWDETAIL_STEP, bz + LOWDETAIL_STEP);
}

int ground_decal_pieces(float size, int workaround) {
    if (!workaround || !(size > GROUND_DECAL_PIECE)) return 1;
    // At most 64 x 64 pieces: a decal file with an absurd size must not stall the drawing.
    int n = 2;
    while (size / (float)n > GROUND_DECAL_PIECE && n < GROUND_DECAL_PIECES_MAX) n *= 2;
    return n;
}

void ground_update(int work_limit) {
    if (!have_terrain()) return;
    ground_error_update(&g_terrain, work_limit < 0 ? 0 : work_limit);
    lowdetail_step(&g_terrain);
}

void ground_refresh_all() {
    if (!have_terrain()) return;
    ground_error_full(&g_terrain);
    lowdetail_step(&g_terrain);
    g_ground.eye_cell[0] = g_ground.eye_cell[1] = GROUND_EYE_UNSET;
}

void ground_heights_changed() {
    // Wraps like the frame counter; a pass only compares generations for equality.
    g_ground.generation = g_ground.generation == 0x7fffffff ? 0 : g_ground.generation + 1;
}

void ground_set_view(const float eye[3], const float view[3]) {
    for (int k = 0; k < 3; k++) g_ground.eye[k] = eye[k], g_ground.view[k] = view[k];
}

void ground_update_textures() {
    g_ground.drawn_level = g_ground.drawn_entry = -1;
    g_ground.drawn_fixed = 0;
    if (!have_terrain()) return;
    const Terrain* t = &g_terrain;
    // Step 1.
    if (g_ground.workaround < 0 && ground_gl_ready()) ground_gl_check_renderer();
    // The textures follow the ground texture size and level settings (and the window size
    // without framebuffer objects); a change makes them anew and every picture out of date.
    if (!g_ground.textures_made || g_ground.made_size != ground_texture_side() ||
        g_ground.made_level != g_settings.ground_texture_level) {
        ground_textures_make(t);
        g_ground.eye_cell[0] = g_ground.eye_cell[1] = GROUND_EYE_UNSET;
    }
    // Step 2: dirty fixed textures, row by row.
    int f = g_ground.fixed_count;
    for (int index = 0; index < f * f; index++) {
        if (!g_ground.fixed_dirty[index]) continue;
        g_ground.fixed_dirty[index] = 0;
        g_ground.drawn_fixed++;
        if (ground_gl_ready())
            ground_gl_render_area(t, g_ground.fixed_textures[index], index % f * GROUND_FIXED_TILES,
                                  index / f * GROUND_FIXED_TILES, GROUND_FIXED_TILES);
    }
    // Step 3: move the windows with the eye.
    int cell[2];
    ground_eye_cell(t, g_ground.eye, cell);
    int old_cell[2] = {g_ground.eye_cell[0], g_ground.eye_cell[1]};
    for (int level = GROUND_LEVELS - 1; level >= 0; level--) window_move(t, level, old_cell, cell);
    g_ground.eye_cell[0] = cell[0];
    g_ground.eye_cell[1] = cell[1];
    // Step 4: the first invalid entry, coarsest level first.
    for (int level = GROUND_LEVELS - 1; level >= 0; level--) {
        if (!ground_level_used(t, level)) continue;
        GroundWindow& w = g_ground.windows[level];
        for (int index = 0; index < GROUND_WINDOW * GROUND_WINDOW; index++) {
            GroundWindowEntry& e = w.entry[index];
            if (e.valid) continue;
            e.valid = 1;
            e.stamp = 0;
            render_window_entry(t, level, index);
            return;
        }
    }
    // Step 5: else the entry that went out of date first.
    int best_level = -1, best_index = -1, best_stamp = 0;
    for (int level = 0; level < GROUND_LEVELS; level++) {
        if (!ground_level_used(t, level)) continue;
        for (int index = 0; index < GROUND_WINDOW * GROUND_WINDOW; index++) {
            int stamp = g_ground.windows[level].entry[index].stamp;
            if (stamp > 0 && (best_level < 0 || stamp < best_stamp))
                best_level = level, best_index = index, best_stamp = stamp;
        }
    }
    if (best_level < 0) return;
    g_ground.windows[best_level].entry[best_index].stamp = 0;
    render_window_entry(t, best_level, best_index);
}

void ground_draw(const float eye[3], const float view[3]) {
    ground_set_view(eye, view);
    if (!have_terrain()) return;
    ground_refine(&g_terrain, eye, view);
    if (ground_gl_ready()) ground_gl_draw_fans(&g_terrain);
    // Step 7: the frame counter skips 0 when it wraps.
    g_ground.frame = g_ground.frame == 0x7fffffff ? 1 : g_ground.frame + 1;
}

void ground_mark_decal(const Decal* decal) {
    if (!have_terrain() || !decal) return;
    const Terrain* t = &g_terrain;
    float c = decal->cos_angle, s = decal->sin_angle;
    float hx = std::fabs(decal->size * decal->aspect * c / 2) + std::fabs(decal->size * s / 2);
    float hz = std::fabs(decal->size * decal->aspect * s / 2) + std::fabs(decal->size * c / 2);
    float inv = 1.0f / t->spacing;
    // Bounds are truncated toward zero; ones far outside the field are kept in int range first.
    auto bound = [](float v) { return (int)(v < -1e8f ? -1e8f : (v > 1e8f ? 1e8f : v)); };
    if (!std::isfinite(hx) || !std::isfinite(hz) || !std::isfinite(decal->x) ||
        !std::isfinite(decal->z))
        return;
    int s0 = bound((decal->x - hx) * inv), s1 = bound((decal->x + hx) * inv);
    int r0 = bound((decal->z - hz) * inv), r1 = bound((decal->z + hz) * inv);
    dirty_fixed(s0, r0, s1, r1);
    stamp_windows(t, s0, r0, s1, r1);
}

void ground_mark_samples(int i0, int j0, int i1, int j1) {
    if (!have_terrain() || i0 > i1 || j0 > j1) return;
    dirty_fixed(i0, j0, i1, j1);
    stamp_windows(&g_terrain, i0, j0, i1, j1);
}

void ground_terrain_loaded(Terrain* t) {
    if (t != &g_terrain || t->samples <= 0) return;
    ground_textures_free();
    ground_nodes_alloc(t);
    g_ground.pass.current_generation = -1;
    ground_error_full(t);
    int f = t->tiles / GROUND_FIXED_TILES;
    g_ground.fixed_count = f > 0 ? f : 1;
    g_ground.fixed_dirty.assign((size_t)g_ground.fixed_count * g_ground.fixed_count, 1);
    g_ground.fixed_textures.assign(g_ground.fixed_dirty.size(), 0);
    g_ground.eye_cell[0] = g_ground.eye_cell[1] = GROUND_EYE_UNSET;
    for (GroundWindow& w : g_ground.windows) w = GroundWindow();
    if (ground_gl_ready()) ground_gl_loaded();
}

void ground_free(Terrain* t) {
    ground_lowdetail_free(t);
    if (t != &g_terrain) return;
    ground_textures_free();
    ground_gl_free();
    int cursor = g_ground.lowdetail_cursor;
    int generation = g_ground.generation;
    int workaround = g_ground.workaround;
    unsigned standin = g_ground.standin_names;
    g_ground = GroundState();
    g_ground.lowdetail_cursor = cursor;
    g_ground.generation = generation;
    g_ground.workaround = workaround;
    g_ground.standin_names = standin;
}

static void shading_read(Terrain* t) {
    g_ground.lowdetail_cursor = 0;
    ground_lowdetail_build(t);
}

const TerrainHooks* ground_terrain_hooks() {
    static const TerrainHooks hooks{shading_read, ground_terrain_loaded, ground_free};
    return &hooks;
}

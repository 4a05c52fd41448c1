// The track editor's room: its state, entering and leaving, the tick (camera flight, strokes
// held down, dragging), the camera and finding the ground under the pointer or the view's aim.
#include "editor/editor.h"

#include <cmath>

#include "bike/step.h"
#include "core/constants.h"
#include "core/maths.h"
#include "editor/editor_internal.h"
#include "race/session.h"
#include "render/frame.h"
#include "render/ground.h"
#include "track/track.h"
#include "ui/menu.h"

EditorState g_editor;
static EditorHooks g_hooks;

void editor_set_hooks(const EditorHooks* hooks) {
    g_hooks = hooks ? *hooks : EditorHooks{};
}

void editor_request_screenshot() {
    if (g_hooks.screenshot) g_hooks.screenshot();
}

void editor_reset() {
    g_editor = EditorState{};
}

void editor_forget_track() {
    EditorState& e = g_editor;
    editor_history_clear();
    e.selected = -1;
    e.dragging = 0;
    e.ramp_points = 0;
    e.flatten_set = 0;
    e.surface = 0;
    e.changes = 0;
    e.timing_changed = 0;
    e.catalogue_built = 0;
    e.catalogue.clear();
}

// The camera above the middle of the field, looking across it (no bike to start from).
static void camera_over_field() {
    EditorCamera& c = g_editor.cam;
    float half = g_terrain.extent / 2;
    c.eye[0] = half, c.eye[2] = half + 60;
    c.eye[1] = terrain_height(&g_terrain, half, half) + 60;
    c.yaw = 0;
    c.pitch = -0.6f;
}

static void track_loaded() {
    editor_forget_track();
    if (g_editor.active) camera_over_field();
}

static void track_freeing() {
    editor_forget_track();
}

void editor_init() {
    TrackEditorHooks hooks;
    hooks.loaded = track_loaded;
    hooks.freeing = track_freeing;
    track_set_editor_hooks(&hooks);
}

int editor_active() {
    return g_editor.active;
}

void editor_enter() {
    EditorState& e = g_editor;
    e.active = 1;
    e.timing_changed = 0;
    for (int& h : e.held) h = 0;
    e.pointer_on = 0;
    e.cursor_seen[0] = g_menu.cursor[0], e.cursor_seen[1] = g_menu.cursor[1];
    // Above and behind the viewed bike, looking the way it faces.
    const RiderSlot& r = g_session.slots[g_session.viewed_rider % MAX_RIDERS];
    if (!r.bike) {
        camera_over_field();
        editor_update_point();
        return;
    }
    static const float CENTRE[3] = {0, 0, 0};
    float p[3], rot[9], v[3];
    bike_frame_pose(r.bike, CENTRE, p, rot, v);
    // The bike faces its body's -z: the negated third column, made level.
    float fx = -rot[2], fz = -rot[8];
    EditorCamera& c = e.cam;
    c.yaw = (fx == 0 && fz == 0) ? 0 : std::atan2(-fx, -fz);
    float back = 25, up = 30;
    c.eye[0] = p[0] + std::sin(c.yaw) * back;
    c.eye[2] = p[2] + std::cos(c.yaw) * back;
    c.eye[1] = p[1] + up;
    c.pitch = -0.75f;
    editor_update_point();
}

void editor_leave() {
    EditorState& e = g_editor;
    if (e.stroke.active) stroke_end();
    if (e.dragging) {
        TrackScene now;
        scene_read(&now);
        editor_scene_commit(e.drag_before, now, "Move");
        e.dragging = 0;
    }
    e.active = 0;
    for (int& h : e.held) h = 0;
    // New gates or lap lists: the race starts again so that its timing uses them. The track
    // stays loaded (the same track is kept), so the edits ride along.
    if (e.timing_changed && g_session.track_loaded && !g_session.play_demo &&
        !g_session.multiplayer) {
        session_start(g_session.time_trial ? nullptr : g_session.lineup, 0, g_session.record_demo,
                      g_session.race_length, g_session.extra_laps, g_session.skill);
    }
    e.timing_changed = 0;
}

// ---- Camera

static void view_direction(const EditorCamera& c, float d[3]) {
    d[0] = -std::sin(c.yaw) * std::cos(c.pitch);
    d[1] = std::sin(c.pitch);
    d[2] = -std::cos(c.yaw) * std::cos(c.pitch);
}

void editor_camera_view(CameraView* out) {
    const EditorCamera& c = g_editor.cam;
    float d[3];
    view_direction(c, d);
    for (int k = 0; k < 3; k++) out->eye[k] = c.eye[k], out->target[k] = c.eye[k] + d[k];
    out->up[0] = 0, out->up[1] = 1, out->up[2] = 0;
}

void editor_camera(CameraView* out) {
    editor_camera_view(out);
}

float editor_facing() {
    return g_editor.cam.yaw;
}

void editor_pixel_ray(int px, int py, int w, int h, float dir[3]) {
    CameraView view;
    editor_camera_view(&view);
    Camera cam;
    frame_camera_from_view(view, &cam);
    float u = g_render.extent_u, v = g_render.extent_v;
    float nx = w > 0 ? 2.0f * ((float)px + 0.5f) / (float)w - 1 : 0;
    float ny = h > 0 ? 1 - 2.0f * ((float)py + 0.5f) / (float)h : 0;
    for (int k = 0; k < 3; k++)
        dir[k] = -cam.rot[6 + k] + cam.rot[k] * nx * u + cam.rot[3 + k] * ny * v;
    float len = std::sqrt(dir[0] * dir[0] + dir[1] * dir[1] + dir[2] * dir[2]);
    if (len > 0)
        for (int k = 0; k < 3; k++) dir[k] /= len;
}

int editor_ray_ground(const float eye[3], const float dir[3], float hit[3]) {
    const Terrain* t = &g_terrain;
    if (t->samples <= 0) return 0;
    auto above = [&](float s) {
        return eye[1] + dir[1] * s - terrain_height(t, eye[0] + dir[0] * s, eye[2] + dir[2] * s);
    };
    float step = t->spacing > 0.5f ? t->spacing * 0.5f : 0.25f;
    float s0 = 0, s1 = 0;
    bool found = false;
    if (above(0) <= 0) {
        found = true;
    } else {
        for (float s = step; s <= FRAME_FAR; s += step) {
            if (above(s) <= 0) {
                s0 = s - step, s1 = s;
                found = true;
                break;
            }
        }
        // The crossing between the last point above and the first below.
        for (int k = 0; found && k < 24; k++) {
            float m = (s0 + s1) / 2;
            (above(m) > 0 ? s0 : s1) = m;
        }
    }
    if (!found) return 0;
    for (int k = 0; k < 3; k++) hit[k] = eye[k] + dir[k] * s1;
    hit[1] = terrain_height(t, hit[0], hit[2]);
    return 1;
}

void editor_update_point() {
    EditorState& e = g_editor;
    float dir[3];
    int w = e.screen[0], h = e.screen[1];
    if (e.pointer_on && w > 0 && h > 0 && g_render.extent_u > 0)
        editor_pixel_ray(g_menu.cursor[0], g_menu.cursor[1], w, h, dir);
    else
        view_direction(e.cam, dir);
    e.have_point = editor_ray_ground(e.cam.eye, dir, e.point);
}

// ---- Tick

static void fly(float dt) {
    EditorState& e = g_editor;
    EditorCamera& c = e.cam;
    const int* held = e.held;
    float fast = (held[HELD_SHIFT_LEFT] || held[HELD_SHIFT_RIGHT]) ? 4.0f : 1.0f;
    float move = (float)(held[HELD_FORWARD] - held[HELD_BACK]) * 60 * fast * dt;
    c.yaw += (float)(held[HELD_TURN_LEFT] - held[HELD_TURN_RIGHT]) * 1.5f * dt;
    c.yaw = std::remainder(c.yaw, 2 * (float)PI);
    c.pitch += (float)(held[HELD_TILT_UP] - held[HELD_TILT_DOWN]) * 1.0f * dt;
    c.eye[0] += -std::sin(c.yaw) * move;
    c.eye[2] += -std::cos(c.yaw) * move;
    c.eye[1] += (float)(held[HELD_RISE] - held[HELD_SINK]) * 40 * fast * dt;
    // Looking around with the pointer's right button held.
    if (held[HELD_LOOK]) {
        c.yaw -= (float)(g_menu.cursor[0] - e.look_from[0]) * 0.005f;
        c.pitch -= (float)(g_menu.cursor[1] - e.look_from[1]) * 0.005f;
        e.look_from[0] = g_menu.cursor[0], e.look_from[1] = g_menu.cursor[1];
    }
    c.pitch = clampf(c.pitch, -1.5f, 1.5f);
    // Within reach of the field, and never under the ground.
    float margin = 1000;
    c.eye[0] = clampf(c.eye[0], -margin, g_terrain.extent + margin);
    c.eye[2] = clampf(c.eye[2], -margin, g_terrain.extent + margin);
    float floor = terrain_height(&g_terrain, c.eye[0], c.eye[2]) + 2;
    c.eye[1] = clampf(c.eye[1], floor, floor + 3000);
}

void editor_tick() {
    EditorState& e = g_editor;
    if (!e.active) return;
    float dt = (float)sim_tick;
    fly(dt);
    // The brush follows the pointer once it moves, and the view's aim while keys steer.
    if (g_menu.cursor[0] != e.cursor_seen[0] || g_menu.cursor[1] != e.cursor_seen[1]) {
        e.pointer_on = 1;
        e.cursor_seen[0] = g_menu.cursor[0], e.cursor_seen[1] = g_menu.cursor[1];
    }
    for (int k = HELD_FORWARD; k <= HELD_TILT_DOWN; k++)
        if (e.held[k]) e.pointer_on = 0;
    editor_update_point();
    if (!e.have_point) return;
    if (e.stroke.active && (e.held[HELD_APPLY] || e.held[HELD_POINTER]))
        stroke_dab(e.point[0], e.point[2], dt);
    if (e.dragging && e.held[HELD_POINTER] && e.selected >= 0) {
        // The object follows the pointer; the whole drag becomes one step when it ends.
        TrackScene s;
        scene_read(&s);
        int nb = (int)s.billboards.size();
        int i = e.selected;
        float x = e.point[0], z = e.point[2];
        if (e.tool == TOOL_GATES && i < (int)s.gates.size()) {
            s.gates[i].centre[0] = x, s.gates[i].centre[2] = z;
            s.gates[i].centre[1] = e.point[1];
        } else if (e.tool == TOOL_DECALS && i < (int)s.decals.size()) {
            s.decals[i].x = x, s.decals[i].z = z;
        } else if (e.tool == TOOL_SCENERY && i < nb) {
            s.billboards[i].x = x, s.billboards[i].z = z;
        } else if (e.tool == TOOL_SCENERY && i - nb < (int)s.statues.size()) {
            s.statues[i - nb].x = x, s.statues[i - nb].z = z;
        }
        TrackScene was;
        scene_read(&was);
        if (scene_apply(s) & SCENE_DECALS) {
            for (const Decal& d : was.decals) ground_mark_decal(&d);
            for (const Decal& d : s.decals) ground_mark_decal(&d);
        }
    }
}

void editor_draw() {
    EditorState& e = g_editor;
    if (!e.active) return;
    e.screen[0] = g_menu.screen_width, e.screen[1] = g_menu.screen_height;
    editor_update_point();
    editor_draw_overlays();
    editor_draw_panels();
}

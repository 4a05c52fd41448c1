// The editor's keys: every operation has one (listed in the README). Keyboard keys arrive as
// their scan codes (platform/input.h); the characters they also type are taken and dropped,
// except Tab and Esc, which belong to the main loop.
#include <cmath>

#include "core/config.h"
#include "core/maths.h"
#include "editor/editor.h"
#include "editor/editor_internal.h"
#include "platform/input.h"
#include "platform/messages.h"
#include "track/objects.h"
#include "ui/menu.h"

namespace {

constexpr int key(int scan) {
    return KEY_SCAN_BASE + scan;
}

enum : int {
    K_1 = key(2),
    K_0 = key(11),
    K_MINUS = key(12),
    K_EQUALS = key(13),
    K_BACKSPACE = key(14),
    K_Q = key(16),
    K_E = key(18),
    K_Y = key(21),
    K_I = key(23),
    K_P = key(25),
    K_OPEN = key(26),
    K_CLOSE = key(27),
    K_ENTER = key(28),
    K_LCTRL = key(29),
    K_S = key(31),
    K_F = key(33),
    K_G = key(34),
    K_H = key(35),
    K_L = key(38),
    K_LSHIFT = key(42),
    K_Z = key(44),
    K_N = key(49),
    K_M = key(50),
    K_COMMA = key(51),
    K_PERIOD = key(52),
    K_RSHIFT = key(54),
    K_SPACE = key(57),
    K_KP_ENTER = key(284),
    K_RCTRL = key(285),
    K_HOME = key(327),
    K_UP = key(328),
    K_PGUP = key(329),
    K_LEFT = key(331),
    K_RIGHT = key(333),
    K_END = key(335),
    K_DOWN = key(336),
    K_PGDN = key(337),
    K_INSERT = key(338),
    K_DELETE = key(339),
    K_ESC = key(1)
};

bool ctrl() {
    return g_editor.held[HELD_CTRL_LEFT] || g_editor.held[HELD_CTRL_RIGHT];
}
bool shift() {
    return g_editor.held[HELD_SHIFT_LEFT] || g_editor.held[HELD_SHIFT_RIGHT];
}

bool ground_tool(int tool) {
    return tool <= TOOL_PAINT;
}

// Keys held down for as long as they are: camera flight and the modifiers.
int held_index(int code) {
    switch (code) {
    case K_UP:
        return HELD_FORWARD;
    case K_DOWN:
        return HELD_BACK;
    case K_LEFT:
        return HELD_TURN_LEFT;
    case K_RIGHT:
        return HELD_TURN_RIGHT;
    case K_PGUP:
        return HELD_RISE;
    case K_PGDN:
        return HELD_SINK;
    case K_HOME:
        return HELD_TILT_UP;
    case K_END:
        return HELD_TILT_DOWN;
    case K_LCTRL:
        return HELD_CTRL_LEFT;
    case K_RCTRL:
        return HELD_CTRL_RIGHT;
    case K_LSHIFT:
        return HELD_SHIFT_LEFT;
    case K_RSHIFT:
        return HELD_SHIFT_RIGHT;
    }
    return -1;
}

bool over_panel(int x, int y) {
    const std::vector<float>& r = g_editor.panel_rects;
    for (size_t i = 0; i + 3 < r.size(); i += 4)
        if (x >= r[i] && x <= r[i + 2] && y >= r[i + 1] && y <= r[i + 3]) return true;
    return false;
}

// The scenery tool's one list: billboards, then statues.
void scenery_choice(int* kind, int* item) {
    int billboards = (int)catalogue_of(ITEM_BILLBOARD).size();
    int c = g_editor.choice[ITEM_BILLBOARD];
    if (c < billboards) {
        *kind = ITEM_BILLBOARD, *item = c;
    } else {
        *kind = ITEM_STATUE, *item = c - billboards;
    }
}

int choice_count(int tool) {
    if (tool == TOOL_DECALS) return (int)catalogue_of(ITEM_DECAL).size();
    return (int)(catalogue_of(ITEM_BILLBOARD).size() + catalogue_of(ITEM_STATUE).size());
}

void cycle(int dir) {
    EditorState& e = g_editor;
    if (e.tool == TOOL_PAINT) {
        int n = (int)g_terrain.surfaces.size();
        if (n > 0) e.surface = ((e.surface + dir) % n + n) % n;
    } else if (e.tool == TOOL_SCENERY || e.tool == TOOL_DECALS) {
        int n = choice_count(e.tool);
        int& c = e.choice[e.tool == TOOL_DECALS ? ITEM_DECAL : ITEM_BILLBOARD];
        if (n > 0) c = ((c + dir) % n + n) % n;
    }
}

void select_tool(int tool) {
    EditorState& e = g_editor;
    if (e.stroke.active) stroke_end();
    if (tool != e.tool) e.selected = -1;
    e.tool = tool;
}

// Space or the pointer's button goes down over the ground.
void apply_press(bool pointer) {
    EditorState& e = g_editor;
    editor_update_point();
    if (!e.have_point) return;
    float x = e.point[0], z = e.point[2];
    if (e.tool == TOOL_RAMP) {
        int k = e.ramp_points >= 2 ? 0 : e.ramp_points;
        for (int c = 0; c < 3; c++) e.ramp[k][c] = e.point[c];
        e.ramp_points = k + 1;
        if (e.ramp_points == 2) editor_ramp_apply();
        return;
    }
    if (ground_tool(e.tool)) {
        stroke_begin(x, z);
        return;
    }
    float reach = std::max(e.radius, 8.0f);
    if (e.tool == TOOL_GATES)
        e.selected = gate_nearest(x, z, reach);
    else if (e.tool == TOOL_SCENERY || e.tool == TOOL_DECALS)
        e.selected = scenery_nearest(e.tool, x, z, reach);
    if (pointer && e.selected >= 0 && e.tool != TOOL_SLOTS) {
        e.dragging = 1;
        scene_read(&e.drag_before);
    }
}

void apply_release() {
    EditorState& e = g_editor;
    if (e.stroke.active) stroke_end();
    if (e.dragging) {
        e.dragging = 0;
        TrackScene now;
        scene_read(&now);
        int selected = e.selected;
        editor_scene_commit(e.drag_before, now, "Move");
        e.selected = selected;
    }
}

void place() {
    EditorState& e = g_editor;
    editor_update_point();
    if (!e.have_point) return;
    float x = e.point[0], z = e.point[2], facing = editor_facing();
    if (e.tool == TOOL_GATES) {
        gate_add(x, z, facing);
    } else if (e.tool == TOOL_SLOTS) {
        slots_place(x, z, facing, MAX_START_SLOTS, e.slot_spacing);
    } else if (e.tool == TOOL_SCENERY) {
        int kind, item;
        scenery_choice(&kind, &item);
        scenery_add(kind, item, x, z, facing);
    } else if (e.tool == TOOL_DECALS) {
        scenery_add(ITEM_DECAL, e.choice[ITEM_DECAL], x, z, facing);
    } else if (e.tool == TOOL_RAMP) {
        editor_ramp_apply();
    }
}

void move_selection() {
    EditorState& e = g_editor;
    editor_update_point();
    if (!e.have_point) return;
    float x = e.point[0], z = e.point[2];
    if (e.tool == TOOL_GATES)
        gate_move(e.selected, x, z);
    else if (e.tool == TOOL_SLOTS)
        slots_move(x, z);
    else if (e.tool == TOOL_SCENERY || e.tool == TOOL_DECALS)
        scenery_move(e.tool, e.selected, x, z);
}

void turn_selection(float delta) {
    EditorState& e = g_editor;
    if (e.tool == TOOL_GATES)
        gate_turn(e.selected, delta);
    else if (e.tool == TOOL_SLOTS)
        slots_turn(delta);
    else if (e.tool == TOOL_SCENERY || e.tool == TOOL_DECALS)
        scenery_turn(e.tool, e.selected, delta);
}

void size_keys(int dir) {
    EditorState& e = g_editor;
    float f = dir > 0 ? 1.25f : 0.8f;
    if (ground_tool(e.tool)) {
        e.radius = clampf(e.radius * f, BRUSH_RADIUS_MIN, BRUSH_RADIUS_MAX);
    } else if (e.tool == TOOL_GATES) {
        gate_resize(e.selected, f);
    } else if (e.tool == TOOL_SLOTS) {
        slots_respace(dir > 0 ? 1.1f : 1 / 1.1f);
    } else {
        scenery_scale(e.tool, e.selected, dir > 0 ? 1.1f : 1 / 1.1f);
    }
}

void strength_keys(int dir) {
    EditorState& e = g_editor;
    if (ground_tool(e.tool)) {
        float f = dir > 0 ? 1.25f : 0.8f;
        e.strength = clampf(e.strength * f, BRUSH_STRENGTH_MIN, BRUSH_STRENGTH_MAX);
    } else if (e.tool == TOOL_SCENERY) {
        scenery_lift(e.tool, e.selected, dir > 0 ? 0.5f : -0.5f);
    }
}

void pick() {
    EditorState& e = g_editor;
    editor_update_point();
    if (!e.have_point) return;
    if (e.tool == TOOL_PAINT) {
        e.surface = terrain_tile_at(&g_terrain, e.point[0], e.point[2]);
    } else {
        e.flatten_set = 1;
        e.flatten_height = e.point[1];
        char text[64];
        snprintf(text, sizeof text, "Flatten to %.2f ft", e.flatten_height);
        post_message(text);
    }
}

void delete_selection() {
    EditorState& e = g_editor;
    if (e.tool == TOOL_GATES)
        gate_delete(e.selected);
    else if (e.tool == TOOL_SCENERY || e.tool == TOOL_DECALS)
        scenery_delete(e.tool, e.selected);
}

int control_key(int code) {
    EditorState& e = g_editor;
    if (code == K_Z) {
        shift() ? editor_redo() : editor_undo();
    } else if (code == K_Y) {
        editor_redo();
    } else if (code == K_S) {
        editor_save();
    } else if (code == K_N) {
        e.form.open = !e.form.open;
        e.form.error.clear();
    } else if (code == K_E) {
        std::string name;
        editor_export(export_default_step(g_terrain.samples), &name);
    } else {
        return 0;
    }
    return 1;
}

} // namespace

int editor_key(int code, int pressed) {
    EditorState& e = g_editor;
    if (!e.active) return 0;
    // Tab leaves, Esc opens the menu: both belong to the main loop.
    if (code == 9 || code == 27 || code == K_ESC) return 0;
    int h = held_index(code);
    bool modifier = h >= HELD_CTRL_LEFT && h <= HELD_SHIFT_RIGHT;
    if (modifier) e.held[h] = pressed;
    // The new-track form takes the keys while it is open (Ctrl+N closes it).
    if (e.form.open && !(pressed && ctrl() && code == K_N)) {
        if (h >= 0 && !modifier) e.held[h] = 0;
        return panel_form_key(code, pressed) || modifier;
    }
    if (h >= 0) {
        e.held[h] = pressed;
        return 1;
    }
    if (code < 256) return 1; // the scan codes do the work
    if (code == KEY_MOUSE_LEFT) {
        if (pressed && over_panel(g_menu.cursor[0], g_menu.cursor[1])) {
            e.panel_click = e.panel_down = 1;
            return 1;
        }
        if (!pressed && e.panel_down) {
            e.panel_down = 0;
            return 1;
        }
        e.held[HELD_POINTER] = pressed;
        if (pressed) {
            e.pointer_on = 1;
            apply_press(true);
        } else if (!e.held[HELD_APPLY]) {
            apply_release();
        }
        return 1;
    }
    if (code == KEY_MOUSE_RIGHT) {
        e.held[HELD_LOOK] = pressed;
        e.look_from[0] = g_menu.cursor[0], e.look_from[1] = g_menu.cursor[1];
        return 1;
    }
    if (code == K_SPACE) {
        if (pressed && !e.held[HELD_APPLY]) {
            e.held[HELD_APPLY] = 1;
            apply_press(false);
        } else if (!pressed) {
            e.held[HELD_APPLY] = 0;
            if (!e.held[HELD_POINTER]) apply_release();
        }
        return 1;
    }
    if (!pressed) return 0;
    if (ctrl() && control_key(code)) return 1;
    const KeyBinding& shot = g_config.screenshot_key;
    if (shot.key_code != 0 && code == shot.key_code) {
        editor_request_screenshot();
        return 1;
    }
    if (code >= K_1 && code <= K_0) {
        select_tool(code - K_1);
        return 1;
    }
    float turn = (shift() ? 1.0f : 5.0f) * (float)PI / 180;
    switch (code) {
    case K_ENTER:
    case K_KP_ENTER:
    case K_INSERT:
        place();
        break;
    case K_M:
        move_selection();
        break;
    case K_DELETE:
        delete_selection();
        break;
    case K_Q:
        turn_selection(turn);
        break;
    case K_E:
        turn_selection(-turn);
        break;
    case K_OPEN:
        size_keys(-1);
        break;
    case K_CLOSE:
        size_keys(1);
        break;
    case K_MINUS:
        strength_keys(-1);
        break;
    case K_EQUALS:
        strength_keys(1);
        break;
    case K_COMMA:
        cycle(-1);
        break;
    case K_PERIOD:
        cycle(1);
        break;
    case K_P:
        pick();
        break;
    case K_F:
    case K_N:
        if (e.tool != TOOL_GATES) return 0;
        if (shift())
            lap_remove_last(code == K_F ? 0 : 1);
        else
            lap_append(code == K_F ? 0 : 1, e.selected);
        break;
    case K_I:
        if (e.tool != TOOL_GATES) return 0;
        gate_toggle_intermediate(e.selected);
        break;
    case K_BACKSPACE:
        if (e.tool == TOOL_RAMP) e.ramp_points = 0;
        e.selected = -1;
        break;
    case K_G:
        e.show_grid = !e.show_grid;
        break;
    case K_L:
        e.show_path = !e.show_path;
        break;
    case K_H:
        e.show_panels = !e.show_panels;
        break;
    default:
        return 0;
    }
    return 1;
}

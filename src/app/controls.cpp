// The player's input in the main loop: bindings, the control map, command keys, the menu
// state machine, view cycling, screenshots and choosing a binding from input.
#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "app/app.h"
#include "core/constants.h"
#include "core/settings.h"
#include "bike/bike.h"
#include "bike/drivetrain.h"
#include "bike/step.h"
#include "data/datafile.h"
#include "editor/editor.h"
#include "net/client.h"
#include "race/demo_session.h"
#include "platform/clock.h"
#include "platform/input.h"
#include "platform/log.h"
#include "platform/messages.h"
#include "platform/options.h"
#include "platform/window.h"
#include "race/session.h"
#include "render/ground.h"
#include "ui/menu.h"

namespace {

enum { CMD_PAUSE, CMD_STEP, CMD_REWIND, CMD_SKIP, CMD_PREV, CMD_NEXT, CMD_CONSOLE, CMD_SCREENSHOT };

bool command_pressed(int which, int code, int pressed) {
    const KeyBinding* b = g_app.command_keys[which];
    return pressed && b && b->key_code != 0 && b->key_code == code;
}

bool viewed_is_player() {
    return g_session.slots[g_session.viewed_rider % MAX_RIDERS].autopilot == 0;
}

void resolve_binding(GameWindow* w, KeyBinding* b) {
    if (!b) return;
    b->key_code = 0;
    if (b->key_name && !key_code(w, &b->key_code, b->key_name)) b->key_code = 0;
    if (b->axis) axis_close(b->axis);
    b->axis = b->axis_name ? axis_open(w, b->axis_name) : nullptr;
}

// Tab: the next view.
void cycle_view() {
    int& view = g_app.view_mode;
    if (view == VIEW_EDITOR) {
        editor_leave();
        ground_refresh_all();
        session_drop_bikes();
        view = VIEW_ORBIT;
    } else if (view == VIEW_RIDER) {
        view = g_settings.editor ? VIEW_EDITOR : VIEW_ORBIT;
        if (view == VIEW_EDITOR) editor_enter();
    } else if (view == VIEW_ORBIT) {
        view = VIEW_FREE;
    } else if (view != VIEW_TITLE) {
        view = VIEW_RIDER;
    }
}

bool may_change_viewed_rider() {
    return !viewed_is_player() || (net_connected() && net_warmup()) || g_config.spy != 0;
}

} // namespace

void controls_setup() {
    Config& c = g_config;
    const struct {
        KeyBinding* b;
        int index;
        float sign;
    } rows[CONTROL_MAP_ROWS] = {
        {&c.left_key, CONTROL_STEER, 1},
        {&c.right_key, CONTROL_STEER, -1},
        {&c.throttle_key, CONTROL_THROTTLE, 1},
        {&c.front_brake_key, CONTROL_FRONT_BRAKE, 1},
        {&c.rear_brake_key, CONTROL_REAR_BRAKE, 1},
        {&c.upshift_key, CONTROL_SHIFT, 1},
        {&c.downshift_key, CONTROL_SHIFT, -1},
        {&c.clutch_key, CONTROL_CLUTCH, 1},
        {&c.dab_key, CONTROL_DAB, 1},
        {&c.back_up_key, CONTROL_BACK_UP, 1},
        {&c.lean_forward_key, CONTROL_LEAN, -1},
        {&c.lean_backward_key, CONTROL_LEAN, 1},
    };
    for (int i = 0; i < CONTROL_MAP_ROWS; i++)
        g_app.control_map[i] = {rows[i].b, rows[i].index, rows[i].sign, 0};
    KeyBinding* commands[COMMAND_KEYS] = {&c.pause_key,   &c.step_key,      &c.rewind_key,
                                          &c.skip_key,    &c.prev_key,      &c.next_key,
                                          &c.console_key, &c.screenshot_key};
    std::copy(commands, commands + COMMAND_KEYS, g_app.command_keys);
}

void bindings_resolve(GameWindow* w) {
    for (ControlRow& r : g_app.control_map) resolve_binding(w, r.binding);
    for (KeyBinding* b : g_app.command_keys) resolve_binding(w, b);
    menu_keys_resolve(w);
    for (Axis*& a : g_app.cursor_axes)
        if (a) axis_close(a);
    g_app.cursor_axes[0] = axis_open(w, "cursor-x");
    g_app.cursor_axes[1] = axis_open(w, "cursor-y");
}

void bindings_close() {
    for (Axis*& a : g_app.cursor_axes) {
        axis_close(a);
        a = nullptr;
    }
    for (KeyBinding* b : g_app.command_keys)
        if (b && b->axis) {
            axis_close(b->axis);
            b->axis = nullptr;
        }
    for (ControlRow& r : g_app.control_map)
        if (r.binding && r.binding->axis) {
            axis_close(r.binding->axis);
            r.binding->axis = nullptr;
        }
    binding_watch_close();
}

void input_event(int code, int pressed) {
    // 1. The menu layer learns that the menu changed under it.
    menu_note_event();

    // The window's close button ends the run: nothing asks for a confirmation.
    if (code == KEY_CLOSE && pressed && !g_app.quit_requested) {
        log_printf("Close requested\n");
        g_app.quit_requested = 1;
    }

    // 2. Key rows of the control map follow the key.
    for (ControlRow& r : g_app.control_map)
        if (r.binding && r.binding->key_code != 0 && r.binding->key_code == code)
            r.value = pressed ? 1.0f : 0.0f;
    const int cursor_left = g_menu.keys[MENU_KEY_CURSOR_LEFT], esc = g_menu.keys[MENU_KEY_ESC];
    if (cursor_left != 0 && code == cursor_left) menu_set_pointer_held(pressed);

    // 3. Choosing a binding: the next key press (typed characters have no name to store).
    if (g_menu.watching) {
        if (pressed && code >= 256) binding_watch_key(code);
        return;
    }

    // 4. Esc opens the main menu or closes the one shown (the notice stays).
    if (pressed && code != 0 && code == esc) {
        if (g_menu.screen == MENU_NONE)
            menu_show(SCREEN_MAIN);
        else if (g_menu.screen != SCREEN_NOTICE)
            menu_show(MENU_NONE);
    }
    // 5. Under a menu every press is the menu's. The menus take screenshots too, so the
    // title screen and the menus can be captured, except while the player types a text.
    if (g_menu.screen != MENU_NONE) {
        if (command_pressed(CMD_SCREENSHOT, code, pressed) && !menu_text_editing())
            screenshot_request();
        else if (pressed)
            menu_key(code);
        if (!g_session.track_loaded) g_app.view_mode = VIEW_TITLE;
        return;
    }
    // 6. The console line.
    if (g_app.view_mode != VIEW_EDITOR && command_pressed(CMD_CONSOLE, code, pressed))
        menu_show(SCREEN_CONSOLE);
    // 7. Nothing more on the title screen; the editor sees its keys first.
    if (g_app.view_mode == VIEW_TITLE) return;
    if (g_app.view_mode == VIEW_EDITOR && editor_key(code, pressed)) return;
    // 8. Pause, 9. single step.
    if (command_pressed(CMD_PAUSE, code, pressed) && !net_connected()) g_app.paused = !g_app.paused;
    if (command_pressed(CMD_STEP, code, pressed) && g_app.paused) session_tick();
    // 10. Tab cycles the views.
    if (code == CHAR_TAB && pressed) cycle_view();
    // 11. Demo seeking.
    if (command_pressed(CMD_REWIND, code, pressed)) session_demo_seek(-1);
    if (command_pressed(CMD_SKIP, code, pressed)) session_demo_seek(1);
    // 12. Another rider.
    if (command_pressed(CMD_PREV, code, pressed) && may_change_viewed_rider())
        session_view_step(-1);
    if (command_pressed(CMD_NEXT, code, pressed) && may_change_viewed_rider()) session_view_step(1);
    // 13. Screenshot.
    if (command_pressed(CMD_SCREENSHOT, code, pressed) && g_app.view_mode != VIEW_EDITOR)
        screenshot_request();
}

void tick_events(double tick_time, int last_tick) {
    int code, pressed;
    for (;;) {
        int got = last_tick ? event_next(g_app.window, &code, &pressed)
                            : event_next_until(g_app.window, &code, &pressed, tick_time);
        if (!got) break;
        input_event(code, pressed);
    }
}

void controls_apply_map() {
    for (ControlRow& r : g_app.control_map) {
        KeyBinding* b = r.binding;
        if (b && b->axis) {
            float span = b->high - b->low;
            float v = span != 0 ? (axis_read(b->axis) / 32768.0f - b->low) / span : 0.0f;
            r.value = std::clamp(v, 0.0f, 1.0f);
        }
        g_app.controls[r.index] += r.sign * r.value;
    }
}

void controls_shape(const float* c, float clutch_now, int reverse_steering, int sticky_dab,
                    DabLatch* latch, PlayerControls* out) {
    out->steer = reverse_steering ? -c[CONTROL_STEER] : c[CONTROL_STEER];
    out->front_brake = c[CONTROL_FRONT_BRAKE];
    out->rear_brake = c[CONTROL_REAR_BRAKE];
    out->throttle = c[CONTROL_THROTTLE];
    out->back_up = c[CONTROL_BACK_UP];
    out->lean = c[CONTROL_LEAN];
    float dab = c[CONTROL_DAB];
    if (sticky_dab) {
        if (latch->previous < 0.5f && dab >= 0.5f) latch->set = !latch->set;
        out->dab = latch->set ? 1.0f : 0.0f;
    } else {
        out->dab = dab;
    }
    latch->previous = dab;
    // The clutch lets out at once but re-engages at most 4 per second.
    float target = std::clamp(1.0f - c[CONTROL_CLUTCH] * 8.0f / 7.0f, 0.0f, 1.0f);
    if (target > clutch_now) target = std::min(target, clutch_now + 4.0f * (float)sim_tick);
    out->clutch = target;
    out->shift = c[CONTROL_SHIFT] > 0.5f ? 1 : c[CONTROL_SHIFT] < -0.5f ? -1 : 0;
}

static Bike* viewed_bike() {
    return g_session.slots[g_session.viewed_rider % MAX_RIDERS].bike;
}

void player_apply_controls(const PlayerControls& c) {
    Bike* bike = viewed_bike();
    if (!bike) return;
    bike_set_steer(bike, c.steer);
    bike_set_throttle(bike, c.throttle);
    bike_set_front_brake(bike, c.front_brake);
    bike_set_rear_brake(bike, c.rear_brake);
    bike_set_back_up(bike, c.back_up);
    bike_set_lean(bike, c.lean);
    bike_set_dab(bike, c.dab);
    bike_set_clutch(bike, c.clutch);
    bike_shift(bike, c.shift);
}

float player_clutch_engagement() {
    Bike* bike = viewed_bike();
    return bike ? bike->clutch : 1.0f;
}

int viewed_bike_pose(BikePose* pose) {
    Bike* bike = viewed_bike();
    if (!bike) return 0;
    bike_frame_pose(bike, g_settings.chase_center, pose->chase_point, pose->rotation,
                    pose->velocity);
    return 1;
}

void screenshot_request() {
    if (!g_app.window || !g_app.window->gl) {
        log_printf("No screenshot: there is no window to read\n");
        return;
    }
    g_app.screenshot_pending = 1;
}

int screenshot_next_number() {
    if (g_app.screenshot_number == 0) {
        int largest = 0;
        for (const char* const* n = data_names(); n && *n; n++) {
            const char* name = *n;
            if (strncmp(name, "screenshot", 10) != 0 || !isdigit((unsigned char)name[10])) continue;
            long v = strtol(name + 10, nullptr, 10);
            if (v > largest && v < 100000000) largest = (int)v;
        }
        g_app.screenshot_number = largest;
    }
    return ++g_app.screenshot_number;
}

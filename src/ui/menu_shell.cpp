// What the main loop shares with the menu layer: the window and frame size, the screen shown,
// the menu keys and the pointer, and choosing a binding from input ("watching pots").
#include <cmath>
#include <cstdio>

#include "core/config.h"
#include "core/settings.h"
#include "platform/input.h"
#include "platform/log.h"
#include "platform/options.h"
#include "ui/menu.h"
#include "ui/menu_internal.h"

namespace {

constexpr const char* MENU_KEY_NAMES[MENU_KEYS] = {
    "up",  "down",  "left",        "right",        "enter",   "keypad enter",
    "esc", "pause", "cursor-left", "cursor-right", "page up", "page down",
};

// Watching axes: a reading past half way binds the axis, over this range.
constexpr float WATCH_THRESHOLD = 0.5f;
constexpr float WATCH_LOW = 0.0625f;
constexpr float WATCH_HIGH = 0.9375f;

void watch_end() {
    MenuState& m = g_menu_data;
    for (Axis* a : m.watch_axes) axis_close(a);
    m.watch_axes.clear();
    m.watching = nullptr;
    if (g_settings.debug_level) log_printf("Done watching pots\n");
}

} // namespace

void menu_keys_resolve(GameWindow* window) {
    for (int i = 0; i < MENU_KEYS; i++)
        if (!key_code(window, &g_menu_data.keys[i], MENU_KEY_NAMES[i])) g_menu_data.keys[i] = 0;
}

void ui_set_window(GameWindow* window) {
    g_menu_data.window = window;
}

void ui_set_screen_size(int width, int height) {
    g_menu_data.screen_width = width;
    g_menu_data.screen_height = height;
}

void menu_show(int screen) {
    menu_screens_left(g_menu_data.screen, screen);
    g_menu_data.screen = screen;
}

void menu_tick_begin() {
    g_menu_data.tick_start_screen = g_menu_data.screen;
}

void menu_note_event() {
    if (g_menu_data.screen != g_menu_data.tick_start_screen) g_menu_data.changed = 1;
}

void menu_set_cursor(int x, int y) {
    g_menu_data.cursor[0] = x;
    g_menu_data.cursor[1] = y;
}

void menu_set_pointer_held(int held) {
    g_menu_data.pointer_held = held;
}

void menu_set_video_mode_index(int index) {
    g_menu_data.video_mode_index = index;
}

void binding_watch_start(KeyBinding* binding) {
    MenuState& m = g_menu_data;
    if (m.watching) watch_end();
    m.watching = binding;
    for (const char* name : device_axes(m.window)) {
        Axis* a = axis_open(m.window, name);
        if (a) m.watch_axes.push_back(a);
    }
}

void binding_watch_key(int code) {
    MenuState& m = g_menu_data;
    KeyBinding* b = m.watching;
    if (!b) return;
    if (code == m.keys[MENU_KEY_ESC]) {
        watch_end();
        return;
    }
    // The key replaces whatever the binding had, axis included.
    const char* name = key_name(m.window, code);
    b->key_name = name ? intern_string(name) : nullptr;
    b->key_code = code;
    if (b->axis) axis_close(b->axis);
    b->axis = nullptr;
    b->axis_name = nullptr;
    watch_end();
}

void binding_watch_tick() {
    MenuState& m = g_menu_data;
    if (!m.watching) return;
    Axis* best = nullptr;
    float best_value = 0;
    for (Axis* a : m.watch_axes) {
        float v = axis_read(a) / 32768.0f;
        if (std::fabs(v) > std::fabs(best_value)) best_value = v, best = a;
    }
    if (!best || std::fabs(best_value) <= WATCH_THRESHOLD) return;
    KeyBinding* b = m.watching;
    char name[300];
    snprintf(name, sizeof name, "%.200s axis %d", best->device->name.c_str(), best->index);
    if (b->axis) axis_close(b->axis);
    b->axis_name = intern_string(name);
    b->axis = axis_open(m.window, name);
    b->key_name = nullptr;
    b->key_code = 0;
    float sign = best_value < 0 ? -1.0f : 1.0f;
    b->low = WATCH_LOW * sign;
    b->high = WATCH_HIGH * sign;
    watch_end();
}

void binding_watch_close() {
    MenuState& m = g_menu_data;
    for (Axis* a : m.watch_axes) axis_close(a);
    m.watch_axes.clear();
    m.watching = nullptr;
}

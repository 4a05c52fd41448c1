// The menu model: selection, key handling, value changes, typing and the binding watch.
#include "ui/menu.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "core/config.h"
#include "data/datafile.h"
#include "platform/clock.h"
#include "platform/input.h"
#include "platform/messages.h"
#include "race/session.h"
#include "replay/demolist.h"
#include "net/client.h"
#include "ui/appearance.h"
#include "ui/console.h"
#include "ui/feeds.h"
#include "ui/menu_internal.h"

MenuState g_menu_data;
const MenuState& g_menu = g_menu_data;

namespace {

// Game-device buttons in the menus, by index: the first chooses, the second goes back, the
// shoulder buttons change values. The stick moves like the arrow keys.
constexpr int PAD_CHOOSE = 0, PAD_BACK = 1, PAD_LESS = 4, PAD_MORE = 5;
constexpr double STICK_DELAY = 0.4, STICK_REPEAT = 0.12;

bool selectable(const MenuItem& item) {
    return item.kind != ITEM_LABEL && !item.disabled;
}

int key(int which) {
    return g_menu_data.keys[which];
}

bool is_key(int code, int which) {
    return code != 0 && code == key(which);
}

// The first selectable item at or after index (wrapping), or -1.
int first_selectable(const MenuPage& page, int from) {
    int n = (int)page.items.size();
    for (int k = 0; k < n; k++) {
        int i = ((from + k) % n + n) % n;
        if (selectable(page.items[i])) return i;
    }
    return -1;
}

int current_screen() {
    int s = g_menu_data.screen;
    return s >= 0 && s < SCREEN_COUNT ? s : SCREEN_MAIN;
}

// The selection of the current screen, moved onto a selectable item of the page.
int fix_selection(const MenuPage& page) {
    int& sel = g_menu_data.selected[current_screen()];
    int n = (int)page.items.size();
    if (sel < 0 || sel >= n || !selectable(page.items[sel])) sel = first_selectable(page, 0);
    return sel;
}

// Snaps a slider value onto its step grid from the minimum, within its range.
double slider_snap(const Slider& s, double v) {
    if (s.step > 0) v = s.min + std::round((v - s.min) / s.step) * s.step;
    return std::clamp(v, s.min, s.max);
}

void value_changed(const MenuItem& item) {
    if (item.changed) item.changed();
}

void edit_stop() {
    g_menu_data.editing = 0;
    g_menu_data.edit_text = nullptr;
}

} // namespace

int menu_edit_key(char* text, int max_len, int code) {
    size_t n = strlen(text);
    if (code == 8 || (code != 0 && code == g_menu_data.backspace_code)) {
        if (code == 8) return 1; // the key event already removed it
        if (n > 0) text[n - 1] = 0;
        return 1;
    }
    if ((code >= 32 && code < 127) || (code >= 160 && code < 256)) {
        if ((int)n < max_len) {
            text[n] = (char)code;
            text[n + 1] = 0;
        }
        return 1;
    }
    return 0;
}

void menu_screens_left(int from, int to) {
    bool rider_screen = from == SCREEN_BIKE || from == SCREEN_RIDER;
    if (!rider_screen || to == SCREEN_BIKE || to == SCREEN_RIDER) return;
    // Races from now on, and the race server, see the rider as the menus left it.
    ui_set_player();
    if (net_connected()) net_info_changed();
}

namespace {

// The loop may change the screen (Esc, the console key) and marks that it did; typing ends
// with the screen it belongs to. A change the menus made themselves is already known.
void notice_screen_change() {
    g_menu_data.changed = 0;
    if (g_menu_data.last_screen != g_menu_data.screen) {
        // Esc during a race: Enter at once takes the player back to it.
        if (g_menu_data.last_screen == MENU_NONE && g_menu_data.screen == SCREEN_MAIN &&
            g_session.track_loaded)
            g_menu_data.selected[SCREEN_MAIN] = 0;
        g_menu_data.last_screen = g_menu_data.screen;
        edit_stop();
    }
}

// The demo list as the data holds it now, so that a race recorded since start-up can be
// played; the page shown stays where it was.
void demos_refresh() {
    int page = g_demo_list.page;
    data_rescan();
    demolist_build();
    demolist_set_page(page);
}

void look_up_keys() {
    if (g_menu_data.backspace_code) return;
    GameWindow* w = g_menu_data.window;
    if (!key_code(w, &g_menu_data.backspace_code, "Backspace")) g_menu_data.backspace_code = -1;
    if (!key_code(w, &g_menu_data.delete_code, "Delete")) g_menu_data.delete_code = -1;
    if (!key_code(w, &g_menu_data.home_code, "Home")) g_menu_data.home_code = -1;
    if (!key_code(w, &g_menu_data.end_code, "End")) g_menu_data.end_code = -1;
}

void page_key(const MenuPage& page, int dir) {
    int screen = current_screen();
    if (screen == SCREEN_DEMOS) {
        demolist_set_page(g_demo_list.page + dir);
        return;
    }
    if (screen == SCREEN_STANDINGS) {
        SeriesTable t;
        int pages = feed_series_table(g_menu_data.series, 0, &t) ? t.pages : 1;
        g_menu_data.series_page =
            std::clamp(g_menu_data.series_page + dir, 0, std::max(pages, 1) - 1);
        return;
    }
    for (int k = 0; k < 8; k++) {
        int before = g_menu_data.selected[screen];
        menu_move(dir);
        if ((dir > 0 && g_menu_data.selected[screen] < before) ||
            (dir < 0 && g_menu_data.selected[screen] > before)) {
            g_menu_data.selected[screen] = before; // stop at the ends instead of wrapping
            break;
        }
    }
    (void)page;
}

void clear_binding(KeyBinding* b) {
    b->key_name = nullptr;
    b->key_code = 0;
    b->axis_name = nullptr;
    // An opened axis stays with the binding list until the bindings are closed at exit; it no
    // longer feeds the control because the binding has no axis name.
    b->axis = nullptr;
}

} // namespace

int menu_parent(int screen) {
    switch (screen) {
    case SCREEN_STANDINGS:
        return SCREEN_SERIES;
    case SCREEN_RIDER:
    case SCREEN_SETUP:
        return SCREEN_BIKE;
    case SCREEN_CONTROLS:
    case SCREEN_AIDS:
    case SCREEN_GRAPHICS:
    case SCREEN_SOUND:
        return SCREEN_OPTIONS;
    case SCREEN_GATE:
        return SCREEN_RACE;
    case SCREEN_NOTICE:
        return g_menu_data.notice_return;
    case SCREEN_MAIN:
    case SCREEN_CONSOLE:
        return MENU_NONE;
    default:
        return SCREEN_MAIN;
    }
}

void menu_open(int screen) {
    menu_screens_left(g_menu_data.screen, screen);
    edit_stop();
    g_menu_data.screen = screen;
    g_menu_data.last_screen = screen;
    if (screen < 0 || screen >= SCREEN_COUNT) return;
    if (screen == SCREEN_DEMOS) demos_refresh();
    MenuPage page;
    menu_build(screen, &page);
    fix_selection(page);
}

void menu_back() {
    int screen = current_screen();
    int parent = menu_parent(screen);
    // The title screen has nothing to go back to: its main menu stays.
    if (screen == SCREEN_MAIN && !g_session.track_loaded) return;
    menu_open(parent);
}

void menu_move(int dir) {
    MenuPage page;
    menu_build(current_screen(), &page);
    int sel = fix_selection(page);
    if (sel < 0) return;
    int n = (int)page.items.size();
    for (int k = 1; k <= n; k++) {
        int i = ((sel + dir * k) % n + n) % n;
        if (selectable(page.items[i])) {
            g_menu_data.selected[current_screen()] = i;
            return;
        }
    }
}

void menu_select(int index) {
    MenuPage page;
    menu_build(current_screen(), &page);
    if (index >= 0 && index < (int)page.items.size() && selectable(page.items[index]))
        g_menu_data.selected[current_screen()] = index;
}

void menu_adjust(int index, int dir) {
    MenuPage page;
    menu_build(current_screen(), &page);
    if (index < 0 || index >= (int)page.items.size()) return;
    const MenuItem& item = page.items[index];
    if (!selectable(item)) return;
    switch (item.kind) {
    case ITEM_CHOICE: {
        int n = (int)item.choice->options.size();
        if (n == 0) return;
        item.choice->current = ((item.choice->current + dir) % n + n) % n;
        break;
    }
    case ITEM_SLIDER: {
        Slider& s = *item.slider;
        s.value = slider_snap(s, s.value + dir * s.step);
        break;
    }
    case ITEM_TOGGLE:
        *item.number = *item.number ? 0 : 1;
        break;
    case ITEM_NUMBER:
        *item.number = std::clamp(*item.number + dir * item.step, item.min, item.max);
        break;
    case ITEM_LIST: {
        int n = item.max;
        if (n <= 0 || !item.list_select) return;
        item.list_select(((item.list_index + dir) % n + n) % n);
        break;
    }
    default:
        return;
    }
    value_changed(item);
}

void menu_slider_set(int index, float fraction) {
    MenuPage page;
    menu_build(current_screen(), &page);
    if (index < 0 || index >= (int)page.items.size()) return;
    const MenuItem& item = page.items[index];
    if (item.kind != ITEM_SLIDER || item.disabled) return;
    Slider& s = *item.slider;
    double before = s.value;
    s.value = slider_snap(s, s.min + std::clamp(fraction, 0.0f, 1.0f) * (s.max - s.min));
    if (s.value != before) value_changed(item);
}

void menu_activate(int index) {
    int screen = current_screen();
    MenuPage page;
    menu_build(screen, &page);
    if (index < 0 || index >= (int)page.items.size()) return;
    const MenuItem& item = page.items[index];
    if (!selectable(item)) return;
    g_menu_data.selected[screen] = index;
    switch (item.kind) {
    case ITEM_SCREEN:
        menu_open(item.target);
        break;
    case ITEM_ACTION:
        if (item.action) item.action(item.arg);
        break;
    case ITEM_CHOICE:
    case ITEM_TOGGLE:
    case ITEM_LIST:
        menu_adjust(index, 1);
        break;
    case ITEM_TEXT:
        g_menu_data.editing = 1;
        g_menu_data.edit_text = item.text;
        break;
    case ITEM_BINDING:
        binding_watch_start(item.binding);
        break;
    default:
        break;
    }
}

std::string menu_item_value(const MenuItem& item) {
    char buf[200];
    switch (item.kind) {
    case ITEM_CHOICE:
        return item.choice->text();
    case ITEM_SLIDER: {
        const Slider& s = *item.slider;
        // As many decimals as the step needs: 1 -> "5", 0.25 -> "2.25", 0.0625 -> "0.1875".
        int decimals = 0;
        for (double st = s.step; decimals < 5 && std::fabs(st - std::round(st)) > 1e-9; st *= 10)
            decimals++;
        snprintf(buf, sizeof buf, "%.*f", decimals, s.value);
        // "0.25" rather than "0.2500": trailing zeros of the fraction say nothing.
        if (decimals > 0) {
            size_t n = strlen(buf);
            while (n > 0 && buf[n - 1] == '0') buf[--n] = 0;
            if (n > 0 && buf[n - 1] == '.') buf[--n] = 0;
        }
        return buf;
    }
    case ITEM_TOGGLE:
        return *item.number ? "Yes" : "No";
    case ITEM_NUMBER:
        snprintf(buf, sizeof buf, "%d", *item.number);
        return buf;
    case ITEM_TEXT:
        return item.text->text;
    case ITEM_LIST:
        return item.list_text ? item.list_text(item.list_index) : "";
    case ITEM_BINDING: {
        const KeyBinding* b = item.binding;
        if (g_menu_data.watching == b) return "Press a key or move a stick";
        if (b->axis_name) {
            snprintf(buf, sizeof buf, "%.150s (%g to %g)", b->axis_name, (double)b->low,
                     (double)b->high);
            return buf;
        }
        return b->key_name ? b->key_name : "None";
    }
    default:
        return "";
    }
}

int menu_message_scroll() {
    return g_menu_data.message_scroll;
}

int menu_text_editing() {
    if (g_menu_data.screen == SCREEN_CONSOLE) return 1;
    return g_menu_data.screen != MENU_NONE && g_menu_data.editing;
}

int menu_current_selection() {
    if (g_menu_data.screen < 0 || g_menu_data.screen >= SCREEN_COUNT) return -1;
    MenuPage page;
    menu_build(g_menu_data.screen, &page);
    return fix_selection(page);
}

void menu_notice(const char* title, const char* text, int return_to) {
    g_menu_data.notice_title = title;
    g_menu_data.notice_text = text;
    g_menu_data.notice_return = return_to;
    menu_open(SCREEN_NOTICE);
}

void menu_key(int code) {
    look_up_keys();
    notice_screen_change();
    if (g_menu_data.screen == MENU_NONE) return;
    if (g_menu_data.screen == SCREEN_CONSOLE) {
        console_key(code);
        return;
    }
    if (code == MENU_POINTER_DRAG) {
        g_menu_data.pointer_x = g_menu_data.cursor[0];
        g_menu_data.pointer_y = g_menu_data.cursor[1];
        g_menu_data.pointer_moved = 1;
        return;
    }
    if (is_key(code, MENU_KEY_CURSOR_LEFT)) {
        g_menu_data.pointer_pressed = 1; // the drawing turns it into a click where the pointer is
        return;
    }
    int screen = current_screen();
    MenuPage page;
    menu_build(screen, &page);
    int sel = fix_selection(page);
    bool enter = is_key(code, MENU_KEY_ENTER) || is_key(code, MENU_KEY_KEYPAD_ENTER);

    if (g_menu_data.editing && g_menu_data.edit_text) {
        if (enter) {
            edit_stop();
            if (sel >= 0) value_changed(page.items[sel]);
        } else {
            menu_edit_key(g_menu_data.edit_text->text, g_menu_data.edit_text->max_len, code);
        }
        return;
    }

    int button = code >= 65536 ? (code & 0xffff) : -1;
    if (is_key(code, MENU_KEY_UP)) {
        menu_move(-1);
    } else if (is_key(code, MENU_KEY_DOWN)) {
        menu_move(1);
    } else if (is_key(code, MENU_KEY_LEFT) || button == PAD_LESS) {
        menu_adjust(sel, -1);
    } else if (is_key(code, MENU_KEY_RIGHT) || button == PAD_MORE) {
        menu_adjust(sel, 1);
    } else if (enter || button == PAD_CHOOSE) {
        menu_activate(sel);
    } else if (is_key(code, MENU_KEY_PAGE_UP)) {
        page_key(page, -1);
    } else if (is_key(code, MENU_KEY_PAGE_DOWN)) {
        page_key(page, 1);
    } else if (code == g_menu_data.backspace_code || is_key(code, MENU_KEY_CURSOR_RIGHT) ||
               button == PAD_BACK) {
        menu_back();
    } else if (code == g_menu_data.delete_code && sel >= 0 &&
               page.items[sel].kind == ITEM_BINDING) {
        clear_binding(page.items[sel].binding);
    } else if (code == g_menu_data.home_code) {
        g_menu_data.selected[screen] = first_selectable(page, 0);
    } else if (code == g_menu_data.end_code) {
        for (int i = (int)page.items.size() - 1; i >= 0; i--)
            if (selectable(page.items[i])) {
                g_menu_data.selected[screen] = i;
                break;
            }
    }
}

// Per pass of the loop with the pointer button up: remember where the pointer is, run what a
// click asked for (outside the frame, since it may load a track or change the window), and
// let a game device's stick move the selection.
void menu_track_pointer(int x, int y) {
    look_up_keys();
    notice_screen_change();
    if (x != g_menu_data.pointer_x || y != g_menu_data.pointer_y) g_menu_data.pointer_moved = 1;
    g_menu_data.pointer_x = x;
    g_menu_data.pointer_y = y;
    if (g_menu_data.deferred_item >= 0) {
        int item = g_menu_data.deferred_item, screen = g_menu_data.deferred_screen;
        g_menu_data.deferred_item = -1;
        if (screen == g_menu_data.screen) menu_activate(item);
    }
    menu_stick_poll(clock_seconds());
}

void menu_stick_poll(double now) {
    if (g_menu_data.screen == MENU_NONE || g_menu_data.screen == SCREEN_CONSOLE ||
        !g_menu_data.window)
        return;
    if (!g_menu_data.stick_looked) {
        // The first game device's first two axes: its main stick on every common pad.
        g_menu_data.stick_looked = 1;
        const std::vector<const char*>& axes = device_axes(g_menu_data.window);
        if (axes.size() >= 2) {
            g_menu_data.stick[0] = axis_open(g_menu_data.window, axes[0]);
            g_menu_data.stick[1] = axis_open(g_menu_data.window, axes[1]);
        }
    }
    if (!g_menu_data.stick[0] || !g_menu_data.stick[1]) return;
    float x = axis_read(g_menu_data.stick[0]) / 32768.0f,
          y = axis_read(g_menu_data.stick[1]) / 32768.0f;
    int dir = y < -0.5f ? 1 : y > 0.5f ? 2 : x < -0.5f ? 3 : x > 0.5f ? 4 : 0;
    menu_stick_step(dir, now);
}

void menu_stick_step(int dir, double now) {
    if (dir != g_menu_data.stick_dir) {
        g_menu_data.stick_dir = dir;
        g_menu_data.stick_next = now + STICK_DELAY;
    } else if (dir == 0 || now < g_menu_data.stick_next) {
        return;
    } else {
        g_menu_data.stick_next = now + STICK_REPEAT;
    }
    const int keys[5] = {0, MENU_KEY_UP, MENU_KEY_DOWN, MENU_KEY_LEFT, MENU_KEY_RIGHT};
    if (dir) menu_key(key(keys[dir]));
}

void menu_reset() {
    for (Axis* a : g_menu_data.watch_axes) axis_close(a);
    g_menu_data = MenuState{};
}

// The menu model: selection, key handling, value changes, typing and the binding watch.
#include "ui/menu.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "app/app.h"
#include "app/config.h"
#include "app/tracklist.h"
#include "data/datafile.h"
#include "platform/clock.h"
#include "platform/input.h"
#include "platform/messages.h"
#include "ui/feeds.h"

MenuState g_menu;

namespace {

// Game-device buttons in the menus, by index: the first chooses, the second goes back, the
// shoulder buttons change values. The stick moves like the arrow keys.
constexpr int PAD_CHOOSE = 0, PAD_BACK = 1, PAD_LESS = 4, PAD_MORE = 5;
constexpr double STICK_DELAY = 0.4, STICK_REPEAT = 0.12;
constexpr int MESSAGE_SCROLL_MAX = MESSAGE_LINES - 50;

bool selectable(const MenuItem& item) {
    return item.kind != ITEM_LABEL && !item.disabled;
}

int key(int which) {
    return g_app.menu_keys[which];
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
    int s = g_app.menu_screen;
    return s >= 0 && s < SCREEN_COUNT ? s : SCREEN_MAIN;
}

// The selection of the current screen, moved onto a selectable item of the page.
int fix_selection(const MenuPage& page) {
    int& sel = g_menu.selected[current_screen()];
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
    g_menu.editing = 0;
    g_menu.edit_text = nullptr;
}

// Typing into a text: printable characters append, Backspace (as its key or as character 8)
// removes the last one, Enter ends. Returns 1 when the code was used.
int edit_key(char* text, int max_len, int code) {
    size_t n = strlen(text);
    if (code == 8 || (code != 0 && code == g_menu.backspace_code)) {
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

// Screen 15: the page keys scroll the messages back and forth; Enter sends a chat line, which
// without a race server only says so (a command line stays as typed until the console
// commands exist); the history keys are kept for them; every other key types into the line.
void console_screen_key(int code) {
    if (is_key(code, MENU_KEY_PAGE_UP)) {
        g_menu.message_scroll = std::min(g_menu.message_scroll + 1, MESSAGE_SCROLL_MAX);
    } else if (is_key(code, MENU_KEY_PAGE_DOWN)) {
        g_menu.message_scroll = std::max(g_menu.message_scroll - 1, 0);
    } else if (is_key(code, MENU_KEY_ENTER) || is_key(code, MENU_KEY_KEYPAD_ENTER)) {
        char* line = g_menu.console_line;
        if (!line[0] || line[0] == '/' || line[0] == '\\') return;
        post_message("Not connected to server");
        line[0] = 0;
    } else if (!is_key(code, MENU_KEY_UP) && !is_key(code, MENU_KEY_DOWN)) {
        edit_key(g_menu.console_line, (int)sizeof g_menu.console_line - 1, code);
    }
}

// The loop may change the screen (Esc, the console key) and marks that it did; typing ends
// with the screen it belongs to. A change the menus made themselves is already known.
void notice_screen_change() {
    g_app.menu_changed = 0;
    if (g_menu.last_screen != g_app.menu_screen) {
        // Esc during a race: Enter at once takes the player back to it.
        if (g_menu.last_screen == MENU_NONE && g_app.menu_screen == SCREEN_MAIN &&
            g_session.track_loaded)
            g_menu.selected[SCREEN_MAIN] = 0;
        g_menu.last_screen = g_app.menu_screen;
        edit_stop();
    }
}

// The demo list as the data holds it now, so that a race recorded since start-up can be
// played; the page shown stays where it was.
void demos_refresh() {
    int page = g_tracks.demo_page;
    data_rescan();
    demolist_build();
    g_tracks.demo_page = page;
}

void look_up_keys() {
    if (g_menu.backspace_code) return;
    GameWindow* w = g_app.window;
    if (!key_code(w, &g_menu.backspace_code, "Backspace")) g_menu.backspace_code = -1;
    if (!key_code(w, &g_menu.delete_code, "Delete")) g_menu.delete_code = -1;
    if (!key_code(w, &g_menu.home_code, "Home")) g_menu.home_code = -1;
    if (!key_code(w, &g_menu.end_code, "End")) g_menu.end_code = -1;
}

void page_key(const MenuPage& page, int dir) {
    int screen = current_screen();
    if (screen == SCREEN_DEMOS) {
        int pages = std::max(1, ((int)g_tracks.demos.size() + DEMO_PAGE_ROWS - 1) / DEMO_PAGE_ROWS);
        g_tracks.demo_page = std::clamp(g_tracks.demo_page + dir, 0, pages - 1);
        return;
    }
    if (screen == SCREEN_STANDINGS) {
        SeriesTable t;
        int pages = feed_series_table(g_menu.series, 0, &t) ? t.pages : 1;
        g_menu.series_page = std::clamp(g_menu.series_page + dir, 0, std::max(pages, 1) - 1);
        return;
    }
    for (int k = 0; k < 8; k++) {
        int before = g_menu.selected[screen];
        menu_move(dir);
        if ((dir > 0 && g_menu.selected[screen] < before) ||
            (dir < 0 && g_menu.selected[screen] > before)) {
            g_menu.selected[screen] = before; // stop at the ends instead of wrapping
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
        return g_menu.notice_return;
    case SCREEN_MAIN:
    case SCREEN_CONSOLE:
        return MENU_NONE;
    default:
        return SCREEN_MAIN;
    }
}

void menu_open(int screen) {
    edit_stop();
    g_app.menu_screen = screen;
    g_menu.last_screen = screen;
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
            g_menu.selected[current_screen()] = i;
            return;
        }
    }
}

void menu_select(int index) {
    MenuPage page;
    menu_build(current_screen(), &page);
    if (index >= 0 && index < (int)page.items.size() && selectable(page.items[index]))
        g_menu.selected[current_screen()] = index;
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
        if (n <= 0) return;
        *item.number = ((*item.number + dir) % n + n) % n;
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
    g_menu.selected[screen] = index;
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
        g_menu.editing = 1;
        g_menu.edit_text = item.text;
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
        return item.list_text ? item.list_text(*item.number) : "";
    case ITEM_BINDING: {
        const KeyBinding* b = item.binding;
        if (g_app.watching == b) return "Press a key or move a stick";
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
    return g_menu.message_scroll;
}

int menu_text_editing() {
    if (g_app.menu_screen == SCREEN_CONSOLE) return 1;
    return g_app.menu_screen != MENU_NONE && g_menu.editing;
}

int menu_current_selection() {
    if (g_app.menu_screen < 0 || g_app.menu_screen >= SCREEN_COUNT) return -1;
    MenuPage page;
    menu_build(g_app.menu_screen, &page);
    return fix_selection(page);
}

void menu_notice(const char* title, const char* text, int return_to) {
    g_menu.notice_title = title;
    g_menu.notice_text = text;
    g_menu.notice_return = return_to;
    menu_open(SCREEN_NOTICE);
}

void menu_key(int code) {
    look_up_keys();
    notice_screen_change();
    if (g_app.menu_screen == MENU_NONE) return;
    if (g_app.menu_screen == SCREEN_CONSOLE) {
        console_screen_key(code);
        return;
    }
    if (code == MENU_POINTER_DRAG) {
        g_menu.pointer_x = g_app.cursor[0];
        g_menu.pointer_y = g_app.cursor[1];
        g_menu.pointer_moved = 1;
        return;
    }
    if (is_key(code, MENU_KEY_CURSOR_LEFT)) {
        g_menu.pointer_pressed = 1; // the drawing turns it into a click where the pointer is
        return;
    }
    int screen = current_screen();
    MenuPage page;
    menu_build(screen, &page);
    int sel = fix_selection(page);
    bool enter = is_key(code, MENU_KEY_ENTER) || is_key(code, MENU_KEY_KEYPAD_ENTER);

    if (g_menu.editing && g_menu.edit_text) {
        if (enter) {
            edit_stop();
            if (sel >= 0) value_changed(page.items[sel]);
        } else {
            edit_key(g_menu.edit_text->text, g_menu.edit_text->max_len, code);
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
    } else if (code == g_menu.backspace_code || is_key(code, MENU_KEY_CURSOR_RIGHT) ||
               button == PAD_BACK) {
        menu_back();
    } else if (code == g_menu.delete_code && sel >= 0 && page.items[sel].kind == ITEM_BINDING) {
        clear_binding(page.items[sel].binding);
    } else if (code == g_menu.home_code) {
        g_menu.selected[screen] = first_selectable(page, 0);
    } else if (code == g_menu.end_code) {
        for (int i = (int)page.items.size() - 1; i >= 0; i--)
            if (selectable(page.items[i])) {
                g_menu.selected[screen] = i;
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
    if (x != g_menu.pointer_x || y != g_menu.pointer_y) g_menu.pointer_moved = 1;
    g_menu.pointer_x = x;
    g_menu.pointer_y = y;
    if (g_menu.deferred_item >= 0) {
        int item = g_menu.deferred_item, screen = g_menu.deferred_screen;
        g_menu.deferred_item = -1;
        if (screen == g_app.menu_screen) menu_activate(item);
    }
    menu_stick_poll(clock_seconds());
}

void menu_stick_poll(double now) {
    if (g_app.menu_screen == MENU_NONE || g_app.menu_screen == SCREEN_CONSOLE || !g_app.window)
        return;
    if (!g_menu.stick_looked) {
        // The first game device's first two axes: its main stick on every common pad.
        g_menu.stick_looked = 1;
        const std::vector<const char*>& axes = device_axes(g_app.window);
        if (axes.size() >= 2) {
            g_menu.stick[0] = axis_open(g_app.window, axes[0]);
            g_menu.stick[1] = axis_open(g_app.window, axes[1]);
        }
    }
    if (!g_menu.stick[0] || !g_menu.stick[1]) return;
    float x = axis_read(g_menu.stick[0]) / 32768.0f, y = axis_read(g_menu.stick[1]) / 32768.0f;
    int dir = y < -0.5f ? 1 : y > 0.5f ? 2 : x < -0.5f ? 3 : x > 0.5f ? 4 : 0;
    menu_stick_step(dir, now);
}

void menu_stick_step(int dir, double now) {
    if (dir != g_menu.stick_dir) {
        g_menu.stick_dir = dir;
        g_menu.stick_next = now + STICK_DELAY;
    } else if (dir == 0 || now < g_menu.stick_next) {
        return;
    } else {
        g_menu.stick_next = now + STICK_REPEAT;
    }
    const int keys[5] = {0, MENU_KEY_UP, MENU_KEY_DOWN, MENU_KEY_LEFT, MENU_KEY_RIGHT};
    if (dir) menu_key(key(keys[dir]));
}

void menu_reset() {
    g_menu = MenuState{};
}

#include "platform/input.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "platform/clock.h"
#include "platform/log.h"
#include "platform/options.h"
#include "platform/window.h"

namespace {

struct KeyRow {
    const char* name;
    int scan;
};

// The keyboard's names by PC scan code (set 1); 256 and above are the extended keys. Where two
// rows share a code the first gives the code's name.
constexpr KeyRow KEY_TABLE[] = {
    {"Esc", 1},
    {"1", 2},
    {"2", 3},
    {"3", 4},
    {"4", 5},
    {"5", 6},
    {"6", 7},
    {"7", 8},
    {"8", 9},
    {"9", 10},
    {"0", 11},
    {"-", 12},
    {"=", 13},
    {"Backspace", 14},
    {"Tab", 15},
    {"Q", 16},
    {"W", 17},
    {"E", 18},
    {"R", 19},
    {"T", 20},
    {"Y", 21},
    {"U", 22},
    {"I", 23},
    {"O", 24},
    {"P", 25},
    {"[", 26},
    {"]", 27},
    {"Enter", 28},
    {"Return", 28}, // what the key says on many keyboards; "Enter" stays its name
    {"Left Ctrl", 29},
    {"A", 30},
    {"S", 31},
    {"D", 32},
    {"F", 33},
    {"G", 34},
    {"H", 35},
    {"J", 36},
    {"K", 37},
    {"L", 38},
    {";", 39},
    {"'", 40},
    {"`", 41},
    {"Left Shift", 42},
    {"\\", 43},
    {"Z", 44},
    {"X", 45},
    {"C", 46},
    {"V", 47},
    {"B", 48},
    {"N", 49},
    {"M", 50},
    {",", 51},
    {".", 52},
    {"/", 53},
    {"Right Shift", 54},
    {"Keypad *", 55},
    {"Space", 57},
    {" ", 57},
    {"Caps Lock", 58},
    {"F1", 59},
    {"F2", 60},
    {"F3", 61},
    {"F4", 62},
    {"F5", 63},
    {"F6", 64},
    {"F7", 65},
    {"F8", 66},
    {"F9", 67},
    {"F10", 68},
    {"Pause", 69},
    {"Keypad -", 74},
    {"Keypad 7", 71},
    {"Keypad 8", 72},
    {"Keypad 9", 73},
    {"Keypad +", 78},
    {"Keypad 4", 75},
    {"Keypad 5", 76},
    {"Keypad 6", 77},
    {"Keypad 1", 79},
    {"Keypad 2", 80},
    {"Keypad 3", 81},
    {"Keypad 0", 82},
    {"Keypad .", 83},
    {"F11", 87},
    {"F12", 88},
    {"Right Ctrl", 285},
    {"Keypad /", 309},
    {"Num Lock", 325},
    {"Home", 327},
    {"Up", 328},
    {"Page Up", 329},
    {"Left", 331},
    {"Right", 333},
    {"End", 335},
    {"Down", 336},
    {"Page Down", 337},
    {"Insert", 338},
    {"Delete", 339},
    {"Keypad Enter", 284},
    {"Keypad Return", 284},
};

struct SpecialKey {
    const char* name;
    int code;
};
constexpr SpecialKey SPECIAL_KEYS[] = {
    {"Close", KEY_CLOSE},
    {"Mouse Left", KEY_MOUSE_LEFT},
    {"Mouse Middle", KEY_MOUSE_MIDDLE},
    {"Mouse Right", KEY_MOUSE_RIGHT},
};

constexpr const char* ALIASES[][2] = {
    {"cursor-left", "Mouse Left"},         {"cursor-middle", "Mouse Middle"},
    {"cursor-right", "Mouse Right"},       {"cursor-x", "cursor.axis[0]"},
    {"cursor-y", "cursor.axis[1]"},        {"mouse-x", "Mouse.axis[0]"},
    {"mouse-y", "Mouse.axis[1]"},          {"mouse-left", "Mouse.key[0]"},
    {"mouse-right", "Mouse.key[1]"},       {"mouse-middle", "Mouse.key[2]"},
    {"joystick-a-x", "Joystick1.axis[0]"}, {"joystick-a-y", "Joystick1.axis[1]"},
    {"joystick-a-1", "Joystick1.key[0]"},  {"joystick-a-2", "Joystick1.key[1]"},
    {"joystick-b-x", "Joystick2.axis[0]"}, {"joystick-b-y", "Joystick2.axis[1]"},
    {"joystick-b-1", "Joystick2.key[0]"},  {"joystick-b-2", "Joystick2.key[1]"},
};

double event_time(const InputEvent& e) {
    return e.seconds + e.microseconds * 1e-6;
}

// Keyboard names for all 512 scan codes, built once: the table's name, else "0x%x". There is
// no system key-name service on this platform, so the built-in table is the only source.
const char* const* keyboard_names() {
    static const char* names[512];
    static bool built = false;
    if (!built) {
        for (int scan = 0; scan < 512; scan++) {
            const char* n = key_table_name(scan);
            char buf[16];
            if (!n) {
                snprintf(buf, sizeof buf, "0x%x", scan);
                n = buf;
            }
            names[scan] = intern_name(n);
        }
        built = true;
    }
    return names;
}

// "0x%x" with nothing after the number and a value up to 511.
int parse_hex_scan(const char* name, int* scan) {
    unsigned v = 0;
    int used = 0;
    if (strncmp(name, "0x", 2) != 0 || !name[2]) return 0;
    if (sscanf(name, "0x%x%n", &v, &used) != 1 || name[used] != 0 || v > 511) return 0;
    *scan = (int)v;
    return 1;
}

// A device item name in either form: "dev.<what>[n]" or "dev <word> n".
int parse_device_item(const char* name, const char* what, const char* word, char* dev, int* index) {
    char fmt1[40], fmt2[40];
    snprintf(fmt1, sizeof fmt1, "%%63[^.].%s[%%d]", what);
    snprintf(fmt2, sizeof fmt2, "%%63s %s %%d", word);
    if (sscanf(name, fmt1, dev, index) == 2) return 1;
    if (sscanf(name, fmt2, dev, index) == 2) return 1;
    return 0;
}

// The pointer device: two axes giving the pointer position in client pixels.
int cursor_activate(InputDevice*) {
    return 0;
}
int cursor_open(InputDevice*) {
    return 1;
}
void cursor_close(InputDevice*) {}
int cursor_read(InputDevice* d, int index) {
    return index == 0 ? d->window->input.cursor_x : d->window->input.cursor_y;
}
void cursor_poll(InputDevice*) {}
void cursor_destroy(InputDevice*) {}
const InputDeviceOps CURSOR_OPS = {cursor_activate, cursor_open, cursor_close,
                                   cursor_read,     cursor_poll, cursor_destroy};

} // namespace

const char* key_table_name(int scan) {
    for (const KeyRow& r : KEY_TABLE)
        if (r.scan == scan) return r.name;
    return nullptr;
}

int key_code(GameWindow* window, int* code, const char* name) {
    if (!name) return 0;
    name = alias_lookup(name);
    // Exact match first, then loose, each over the special names and the keyboard table.
    for (int loose = 0; loose < 2; loose++) {
        auto same = [&](const char* a) {
            return loose ? names_equal_loose(a, name) == 0 : strcmp(a, name) == 0;
        };
        for (const SpecialKey& s : SPECIAL_KEYS)
            if (same(s.name)) return (*code = s.code), 1;
        for (const KeyRow& r : KEY_TABLE)
            if (same(r.name)) return (*code = KEY_SCAN_BASE + r.scan), 1;
    }
    int scan;
    if (parse_hex_scan(name, &scan)) return (*code = KEY_SCAN_BASE + scan), 1;
    char dev[64];
    int index;
    if (window && (parse_device_item(name, "key", "button", dev, &index)) && index >= 0 &&
        index <= 255) {
        InputDevice* d = input_device_find(window, dev);
        if (d && d->button_count > index) {
            d->needs_polling = d->ops->activate(d);
            *code = d->id + index;
            return 1;
        }
    }
    return 0;
}

const char* key_name(GameWindow* window, int code) {
    for (const SpecialKey& s : SPECIAL_KEYS)
        if (s.code == code) return intern_name(s.name);
    if (code >= KEY_SCAN_BASE && code < KEY_SCAN_BASE + 512)
        return keyboard_names()[code - KEY_SCAN_BASE];
    if (!window || code < 65536) return nullptr;
    int id = code & ~0xffff, button = code & 0xffff;
    for (InputDevice* d = window->input.devices; d; d = d->next) {
        if (d->id != id) continue;
        if (button >= d->button_count || button > 255) return nullptr;
        char buf[1100];
        snprintf(buf, sizeof buf, "%.1000s button %d", d->name.c_str(), button);
        return intern_name(buf);
    }
    return nullptr;
}

Axis* axis_open(GameWindow* window, const char* name) {
    if (!window || !name) return nullptr;
    name = alias_lookup(name);
    char dev[64];
    int index;
    if (!parse_device_item(name, "axis", "axis", dev, &index) || index < 0) return nullptr;
    InputDevice* d = input_device_find(window, dev);
    if (!d || index >= d->axis_count) return nullptr;
    if (d->open_count == 0 && !d->ops->open(d)) return nullptr;
    d->open_count++;
    Axis* a = new Axis{d, index};
    return a;
}

void axis_close(Axis* axis) {
    if (!axis) return;
    InputDevice* d = axis->device;
    if (--d->open_count == 0) d->ops->close(d);
    delete axis;
}

int axis_read(Axis* axis) {
    return axis ? axis->device->ops->read_axis(axis->device, axis->index) : 0;
}

const std::vector<const char*>& device_axes(GameWindow* window) {
    static const std::vector<const char*> none;
    return window ? window->input.device_axes : none;
}

int event_queue_push(EventQueue* q, int code, int pressed, long seconds, long microseconds) {
    std::lock_guard<std::mutex> hold(q->lock);
    if (q->count >= EVENT_QUEUE_SIZE) return 0;
    InputEvent e{(unsigned)code | (pressed ? 0u : EVENT_RELEASE), seconds, microseconds};
    int pos = (q->head + q->count) % EVENT_QUEUE_SIZE;
    q->events[pos] = e;
    q->count++;
    // Move back past every earlier event stamped later, so the queue stays in time order.
    while (pos != q->head) {
        int prev = (pos + EVENT_QUEUE_SIZE - 1) % EVENT_QUEUE_SIZE;
        if (event_time(q->events[prev]) <= event_time(e)) break;
        q->events[pos] = q->events[prev];
        q->events[prev] = e;
        pos = prev;
    }
    return 1;
}

int event_queue_pop(EventQueue* q, int* code, int* pressed, double limit) {
    std::lock_guard<std::mutex> hold(q->lock);
    if (q->count == 0) return 0;
    const InputEvent& e = q->events[q->head];
    if (event_time(e) > limit) return 0;
    *code = (int)(e.code & ~EVENT_RELEASE);
    *pressed = (e.code & EVENT_RELEASE) ? 0 : 1;
    q->head = (q->head + 1) % EVENT_QUEUE_SIZE;
    q->count--;
    return 1;
}

int input_queue_event(GameWindow* window, int code, int pressed, long seconds, long microseconds) {
    if (seconds < 0) clock_now(&seconds, &microseconds);
    return event_queue_push(&window->input.queue, code, pressed, seconds, microseconds);
}

static int event_take(GameWindow* window, int* code, int* pressed, double limit) {
    if (!window) return 0;
    pump_messages(window);
    if (event_queue_pop(&window->input.queue, code, pressed, limit)) return 1;
    for (InputDevice* d = window->input.devices; d; d = d->next)
        if (d->needs_polling) d->ops->poll(d);
    return event_queue_pop(&window->input.queue, code, pressed, limit);
}

int event_next(GameWindow* window, int* code, int* pressed) {
    return event_take(window, code, pressed, INFINITY);
}

int event_next_until(GameWindow* window, int* code, int* pressed, double time) {
    return event_take(window, code, pressed, time);
}

int input_device_id(const char* name, const InputDevice* devices) {
    unsigned s0 = 0, s1 = 0;
    for (int i = 0; name[i]; i++) {
        if (i % 2 == 0)
            s0 = (s0 + (unsigned char)name[i]) & 0xffff;
        else
            s1 = (s1 + (unsigned char)name[i]) & 0xff;
    }
    unsigned slot = (s0 + 256 * s1) & 32767;
    for (int tries = 0; tries < 32768; tries++) {
        bool taken = slot == 0;
        for (const InputDevice* d = devices; d && !taken; d = d->next)
            if (d->id == (int)(slot * 65536)) taken = true;
        if (!taken) return (int)(slot * 65536);
        slot = (slot + 1) & 32767;
    }
    return 0; // 32767 devices: cannot happen
}

InputDevice* input_device_find(GameWindow* window, const char* name) {
    for (InputDevice* d = window->input.devices; d; d = d->next)
        if (d->name == name) return d;
    return nullptr;
}

InputDevice* input_device_add(GameWindow* window, const char* instance_name,
                              const InputDeviceOps* ops, int axis_count, int button_count,
                              int relative) {
    std::string base;
    for (const char* p = instance_name; *p; p++)
        if (*p != ' ' && *p != '.') base += *p;
    std::string name = base;
    for (int n = 2; input_device_find(window, name.c_str()); n++)
        name = base + "#" + std::to_string(n);
    InputDevice* d = new InputDevice;
    d->window = window;
    d->name = name;
    d->id = input_device_id(name.c_str(), window->input.devices);
    d->ops = ops;
    d->axis_count = axis_count;
    d->button_count = button_count;
    d->axes.assign(axis_count, 0);
    d->buttons.assign(button_count, 0);
    d->relative = relative;
    d->next = window->input.devices;
    window->input.devices = d;
    return d;
}

void input_device_button(InputDevice* d, int button, int pressed, long seconds, long microseconds) {
    if (button < 0 || button >= d->button_count) return;
    unsigned char state = pressed ? 1 : 0;
    if (d->buttons[button] == state) return;
    d->buttons[button] = state;
    input_queue_event(d->window, d->id + button, pressed, seconds, microseconds);
}

void input_define_aliases() {
    for (const auto& a : ALIASES)
        if (strcmp(alias_lookup(a[0]), a[1]) != 0) alias_define(a[0], a[1]);
}

// The game devices of the platform back end (gamepads, joysticks, the mouse).
void input_platform_roll_call(GameWindow* window);

void input_open_devices(GameWindow* window, int with_devices) {
    input_device_add(window, "cursor", &CURSOR_OPS, 2, 0, 0);
    if (with_devices) input_platform_roll_call(window);
    input_define_aliases();
}

void input_close_devices(GameWindow* window) {
    InputDevice* d = window->input.devices;
    while (d) {
        InputDevice* next = d->next;
        if (d->open_count > 0) d->ops->close(d);
        if (d->ops != &CURSOR_OPS) {
            log_printf("Killing %s\n", d->name.c_str());
            if (d->timestamp_adjust > 0)
                log_printf("Timestamp adjustment was %d\n", d->timestamp_adjust);
        }
        d->ops->destroy(d);
        delete d;
        d = next;
    }
    window->input.devices = nullptr;
    window->input.device_axes.clear();
}

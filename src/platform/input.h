// Input: the time-stamped event queue of a window, key codes and key names, game devices
// (gamepads, joysticks, the mouse, the pointer) and their axes.
//
// Keys, mouse buttons and device buttons share one code space:
//   0..255                 typed characters (presses only, no name)
//   4096 + scan code       keyboard keys, PC scan-code set 1 (256 and above are extended keys)
//   8192, 8193, 8194       "Mouse Left", "Mouse Middle", "Mouse Right" (from the window)
//   57005                  "Close" (the window's close request)
//   device id + button     buttons of a game device (ids are multiples of 65536)
#pragma once

#include <mutex>
#include <string>
#include <vector>

struct GameWindow;

constexpr int KEY_SCAN_BASE = 4096;
constexpr int KEY_MOUSE_LEFT = 8192;
constexpr int KEY_MOUSE_MIDDLE = 8193;
constexpr int KEY_MOUSE_RIGHT = 8194;
constexpr int KEY_CLOSE = 57005;
constexpr int EVENT_QUEUE_SIZE = 256;
constexpr unsigned EVENT_RELEASE = 0x80000000u; // set in a queued code for a release
constexpr int DEVICE_MAX_AXES = 100;
constexpr int DEVICE_MAX_BUTTONS = 500;

struct InputEvent {
    unsigned code;              // key code, EVENT_RELEASE set for a release
    long seconds, microseconds; // platform clock
};

// Ring of events kept in time order; a full queue drops new events.
struct EventQueue {
    InputEvent events[EVENT_QUEUE_SIZE];
    int head = 0;
    int count = 0;
    std::mutex lock; // the input-queue lock
};

struct InputDevice;

// Operations of one kind of device.
struct InputDeviceOps {
    int (*activate)(InputDevice* d); // 1 when the device must be polled
    int (*open)(InputDevice* d);     // first axis handle opened; 1 on success
    void (*close)(InputDevice* d);   // last axis handle closed
    int (*read_axis)(InputDevice* d, int index);
    void (*poll)(InputDevice* d);
    void (*destroy)(InputDevice* d);
};

struct InputDevice {
    InputDevice* next = nullptr; // newest first
    GameWindow* window = nullptr;
    std::string name; // instance name without spaces and ".", "#n" when repeated
    int id = 0;       // multiple of 65536, never 0
    int open_count = 0;
    int needs_polling = 0;
    int button_count = 0;
    int axis_count = 0;
    std::vector<int> axes;              // latest values; relative axes accumulate
    std::vector<unsigned char> buttons; // latest states
    int relative = 0;                   // mode of axis 0
    int timestamp_adjust = 0;           // ms subtracted from device stamps
    const InputDeviceOps* ops = nullptr;
    void* native = nullptr;
    int native_id = -1; // back end's own number for the device
};

// An opened axis of a device.
struct Axis {
    InputDevice* device;
    int index;
};

// Per-window input state.
struct InputState {
    EventQueue queue;
    InputDevice* devices = nullptr;
    std::vector<const char*> device_axes; // interned names of the absolute axes of game devices
    int cursor_x = 0, cursor_y = 0;       // pointer position in client pixels
};

// Name of a keyboard scan code from the built-in table, or null.
const char* key_table_name(int scan_code);
// Looks a name up: 1 and the code when known, else 0. The window may be null (keyboard and
// special names only).
int key_code(GameWindow* window, int* code, const char* name);
// The interned name of a code, or null (typed characters, unknown device codes).
const char* key_name(GameWindow* window, int code);

// Opens an axis by name ("dev.axis[n]" or "dev axis n", aliases first); null when unknown.
Axis* axis_open(GameWindow* window, const char* name);
void axis_close(Axis* axis);
// Absolute game axes give -32767..32767; relative ones the movement since the last read;
// the "cursor" device the pointer position in client pixels.
int axis_read(Axis* axis);
// The names of every absolute axis of a game device (for the binding menu).
const std::vector<const char*>& device_axes(GameWindow* window);

// The oldest event: 1 with its code and pressed (1) or released (0), else 0.
int event_next(GameWindow* window, int* code, int* pressed);
// The oldest event when its time is at or before the given platform-clock seconds, else 0.
int event_next_until(GameWindow* window, int* code, int* pressed, double time);

// Inserts an event in time order; 0 when the queue was full and the event was dropped.
int event_queue_push(EventQueue* q, int code, int pressed, long seconds, long microseconds);
// Takes the head event when its time is at or before limit seconds; 1 when one was taken.
int event_queue_pop(EventQueue* q, int* code, int* pressed, double limit);
// Queues an event stamped with the given clock time, or now when seconds < 0.
int input_queue_event(GameWindow* window, int code, int pressed, long seconds = -1,
                      long microseconds = 0);

// The device id for a name: byte sums folded into a multiple of 65536, moved past ids in use.
int input_device_id(const char* name, const InputDevice* devices);
// Adds a device under its instance name (spaces and "." removed, "#2", "#3"... when taken).
InputDevice* input_device_add(GameWindow* window, const char* instance_name,
                              const InputDeviceOps* ops, int axis_count, int button_count,
                              int relative);
// Finds a device by its name.
InputDevice* input_device_find(GameWindow* window, const char* name);
// A device button changed: queues id + button when the state differs from the stored one.
void input_device_button(InputDevice* d, int button, int pressed, long seconds, long microseconds);
// Opens the "cursor" device, the game devices of the platform (when with_devices) and defines
// the input aliases.
void input_open_devices(GameWindow* window, int with_devices);
// Closes every device with open axes and destroys every device.
void input_close_devices(GameWindow* window);
// Defines the input aliases ("cursor-left" ... "joystick-b-2"); a second call changes nothing.
void input_define_aliases();

// The application core: process-wide state of the start-up, the main loop and the shutdown.
#pragma once

#include "app/config.h"
#include "race/session.h"

struct GameWindow;
struct Axis;

enum {
    VIEW_RIDER = 0,  // first person from the rider
    VIEW_EDITOR = 2, // track editor
    VIEW_ORBIT = 3,  // chase or orbit camera
    VIEW_FREE = 4,   // free-flying camera
    VIEW_TITLE = 5,  // title screen, no track loaded
};

enum {
    CONTROL_STEER = 0, CONTROL_THROTTLE, CONTROL_FRONT_BRAKE, CONTROL_REAR_BRAKE, CONTROL_SHIFT,
    CONTROL_CLUTCH, CONTROL_DAB, CONTROL_BACK_UP, CONTROL_LEAN, CONTROL_COUNT
};

// One row of the control map: a binding feeding one control with a sign.
struct ControlRow {
    KeyBinding* binding;
    int index;   // into App::controls
    float sign;
    float value; // 0 or 1 from the last key event
};
constexpr int CONTROL_MAP_ROWS = 12;
constexpr int MENU_KEYS = 12;

// The simulation clock and frame pacing, in seconds.
struct FrameClock {
    double sim_time = 0;
    double sim_target = 0;
    double last_frame_time = 0; // platform clock at the end of the last wait
    double min_frame_time = 1.0;
    double max_frame_time = 0;
};

// The clock the pacing reads and the sleep it uses; tests substitute fakes.
struct ClockSource {
    double (*now)(void* ctx);               // seconds
    void (*sleep)(void* ctx, double seconds);
    void* ctx;
};

struct OrbitCamera {
    float angle = 0, distance = 10, height = 5;
};

struct FreeCamera {
    float yaw = 0, pitch = 0, yaw_rate = 0, pitch_rate = 0;
    float position[3] = {0, 0, 0};
    float speed = 0;
};

struct App {
    int quit_requested = 0;
    int menu_screen = 0;   // -1 none, 0 main menu, other screens of the menu layer
    int menu_changed = 0;
    int view_mode = VIEW_RIDER;
    bool paused = false;
    FrameClock clock;
    float controls[CONTROL_COUNT] = {};
    ControlRow control_map[CONTROL_MAP_ROWS] = {};
    int menu_keys[MENU_KEYS] = {};  // up, down, left, right, enter, keypad enter, esc, pause,
                                    // cursor-left, cursor-right, page up, page down
    Axis* cursor_axes[2] = {};
    int cursor[2] = {};             // pointer position for the menu layer
    int lineup[MAX_RIDERS] = {};
    GameWindow* window = nullptr;
    int window_mode_index = 0;      // "video_mode" index the window was opened with
    int screen_width = 0, screen_height = 0;
    OrbitCamera orbit;
    FreeCamera free_cam;
};
extern App g_app;

// Program entry: returns the exit status.
int app_main(int argc, char** argv);

// Frame pacing: waits as the pacing rules say and returns the frame's simulation step;
// *now_out receives the clock reading the frame ends with.
double frame_wait(FrameClock* clock, float lock_fps, int warp, const ClockSource* source,
                  double* now_out);
// Speed factor of the clock correction while connected: x = (server tick - local tick - 1) x
// sim_tick; before_start when the local race has not reached its start tick.
double net_clock_factor(double x, int before_start);
// Adds the frame's step to the target and the elapsed time.
void frame_advance(FrameClock* clock, double step, double now);
// Starts the next tick when the simulation lags the target: 1 and the tick's real time.
int frame_next_tick(FrameClock* clock, double now, double* tick_time);

// One pass of the main loop (frame, sound, pacing, ticks); 0 when the loop must end.
int mainloop_pass(const ClockSource* source);
// The real platform clock as a ClockSource.
const ClockSource* clock_source_platform();

// The application core: process-wide state of the start-up, the main loop and the shutdown.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "core/config.h"
#include "core/constants.h"
#include "data/save.h"
#include "effects/engine_sound.h"
#include "render/frame.h"

struct GameWindow;
struct Axis;
struct ScriptFeed;

enum {
    CONTROL_STEER = 0,
    CONTROL_THROTTLE,
    CONTROL_FRONT_BRAKE,
    CONTROL_REAR_BRAKE,
    CONTROL_SHIFT,
    CONTROL_CLUTCH,
    CONTROL_DAB,
    CONTROL_BACK_UP,
    CONTROL_LEAN,
    CONTROL_COUNT
};

// One row of the control map: a binding feeding one control with a sign.
struct ControlRow {
    KeyBinding* binding;
    int index; // into App::controls
    float sign;
    float value; // 0 or 1 from the last key event
};
constexpr int CONTROL_MAP_ROWS = 12;
constexpr int COMMAND_KEYS = 8;
constexpr int CHAR_TAB = 9;

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
    double (*now)(void* ctx); // seconds
    void (*sleep)(void* ctx, double seconds);
    void* ctx;
};

// The player's controls as the bike's setters take them.
struct PlayerControls {
    float steer, throttle, front_brake, rear_brake, back_up, lean;
    float dab;    // sit/dab input, 0..1
    float clutch; // target clutch engagement, 0 (out) .. 1 (in)
    int shift;    // -1 down, 0, +1 up
};

// The sticky sit/dab latch: each rise of the dab control through 0.5 toggles it.
struct DabLatch {
    int set = 0;
    float previous = 0;
};

struct OrbitCamera {
    float angle = 0, distance = 10, height = 5;
};

struct FreeCamera {
    float yaw = 0, pitch = 0, yaw_rate = 0, pitch_rate = 0;
    float position[3] = {0, 0, 0};
    float speed = 0; // feet per second along the view direction
};

// Where the viewed bike is, for the cameras: the chase point, the body rotation (3x3, rows)
// and the velocity of the main body, in world coordinates.
struct BikePose {
    float chase_point[3];
    float rotation[9];
    float velocity[3];
};

struct App {
    int quit_requested = 0; // the window's close button (the menus' quit is g_menu's)
    int view_mode = VIEW_RIDER;
    bool paused = false;
    FrameClock clock;
    float controls[CONTROL_COUNT] = {};
    ControlRow control_map[CONTROL_MAP_ROWS] = {};
    KeyBinding* command_keys[COMMAND_KEYS] =
        {}; // pause, step, rewind, skip, prev, next, console, screenshot
    Axis* cursor_axes[2] = {};
    GameWindow* window = nullptr;
    OrbitCamera orbit;
    FreeCamera free_cam;
    CameraView camera;
    DabLatch dab_latch;
    int screenshot_number = 0;  // last number used, 0 before the first screenshot
    int screenshot_pending = 0; // taken at the end of the next drawn frame
    std::vector<uint8_t> frame_rgb;
    // "--record-audio" output: a file is saved atomically when the run ends (audio_save); a
    // pipe or device named by the user is written as a plain stream.
    DataSave audio_save;
    DataFile* audio_out = nullptr; // where the ticks go (audio_save's file or the stream)
    int camera_serial_seen = 0;    // the session start the free camera last moved for
    std::vector<std::string> video_mode_names; // texts of the "video_mode" options
    ScriptFeed* script = nullptr;              // "--script", handed to the window once it is open
    // Called after each tick's controls are built (tests and tools watch the ticks here).
    void (*tick_hook)(void* ctx) = nullptr;
    void* tick_hook_ctx = nullptr;
};
extern App g_app;

// Ends "--record-audio": the file is put in place, or, when `failed` or its save fails, the
// problem is said and the old file of the name kept.
void audio_recording_end(int failed);

// Program entry: returns the exit status.
int app_main(int argc, char** argv);

// Frame pacing: waits as the pacing rules say and returns the frame's simulation step;
// *now_out receives the clock reading the frame ends with. warp: 100 ticks per frame without
// sleeping ("--warp" and "--fast").
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
// Runs every tick the simulation lags behind the target at clock time now.
void mainloop_ticks(double now);
// The real platform clock as a ClockSource.
const ClockSource* clock_source_platform();
// Engine sound level for this frame: "volume" x factor x 0.1, the factor 0 when paused or
// editing, 1 without a menu, 0.25 under a menu when a robot is viewed, 0 for the player's own.
float engine_volume_level();
// The engine sounds' listener: the camera of the last drawn frame (render's listener).
EngineListener engine_listener();

// Controls (controls.cpp).
// Fills the control map and the command keys from the configuration's bindings.
void controls_setup();
// Resolves every binding to a key code or an opened axis, and looks up the menu keys and the
// cursor axes.
void bindings_resolve(GameWindow* window);
// Closes every axis the bindings, the cursor and a binding watch opened.
void bindings_close();
// Takes the tick's input events (up to tick_time, or all of them for the frame's last tick)
// and handles each.
void tick_events(double tick_time, int last_tick);
// Handles one input event (key code, pressed 1 or released 0).
void input_event(int code, int pressed);
// Adds every row of the control map into the tick's controls.
void controls_apply_map();
// Turns the tick's controls into the player's bike controls (steering sign, sticky dab,
// clutch re-engagement limit, shift request).
void controls_shape(const float* controls, float clutch_now, int reverse_steering, int sticky_dab,
                    DabLatch* latch, PlayerControls* out);
// Hands the shaped controls to the viewed slot's bike through its setters (and the shift
// input); nothing when the slot has no bike.
void player_apply_controls(const PlayerControls& controls);
// Current clutch engagement of the viewed bike (1 when there is none).
float player_clutch_engagement();
// Chase point, rotation and velocity of the viewed slot's bike; 0 when there is none.
int viewed_bike_pose(BikePose* pose);
// Takes a screenshot at the end of the next drawn frame.
void screenshot_request();
// The number the next screenshot gets: one above the largest "screenshot<N>" data name, or
// one above the last one taken in this run.
int screenshot_next_number();

// Cameras (camera.cpp).
// Height of the ground under the camera, smoothed over a radius (feet): the mean of the
// height under it and eight on the circle, never below the height under it; 0 without a
// loaded terrain.
float camera_ground_height(float x, float z, float radius);
// The chase camera behind the player's bike.
void camera_orbit_player(const BikePose& pose, int rigid, CameraView* out);
// One tick of the orbit camera around another rider's bike, steered by the controls.
void camera_orbit_steer(OrbitCamera* orbit, const float* controls);
void camera_orbit_view(const OrbitCamera& orbit, const float target[3], CameraView* out);
// One tick of the free camera; pose is null without a bike to chase.
void camera_free_tick(FreeCamera* cam, const float* controls, const BikePose* pose);
void camera_free_view(const FreeCamera& cam, CameraView* out);

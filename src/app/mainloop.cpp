#include "app/app.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "core/constants.h"
#include "core/settings.h"
#include "data/datafile.h"
#include "data/image.h"
#include "editor/editor.h"
#include "effects/engine_sound.h"
#include "net/client.h"
#include "platform/audio.h"
#include "platform/clock.h"
#include "platform/input.h"
#include "platform/log.h"
#include "platform/messages.h"
#include "platform/window.h"
#include "race/session.h"
#include "render/frame.h"
#include "render/glstate.h"
#include "render/ground.h"
#include "ui/appearance.h"
#include "ui/hud.h"
#include "ui/menu.h"

App g_app;

static double platform_now(void*) {
    return clock_seconds();
}
static void platform_sleep(void*, double seconds) {
    if (seconds <= 0) return;
    long s = (long)seconds;
    sleep_for(s, (long)((seconds - s) * 1e6));
}

const ClockSource* clock_source_platform() {
    static const ClockSource source{platform_now, platform_sleep, nullptr};
    return &source;
}

static void note_interval(FrameClock* c, double dt) {
    c->min_frame_time = std::min(c->min_frame_time, dt);
    c->max_frame_time = std::max(c->max_frame_time, dt);
}

double frame_wait(FrameClock* c, float lock_fps, int warp, const ClockSource* src,
                  double* now_out) {
    double now = src->now(src->ctx);
    double step;
    if (lock_fps > 0) {
        double dt = now - c->last_frame_time;
        if (dt < 1.0 / lock_fps) {
            src->sleep(src->ctx, 1.0 / lock_fps - dt);
            now = src->now(src->ctx);
        }
        note_interval(c, now - c->last_frame_time);
        step = 1.0 / lock_fps;
    } else {
        for (;;) {
            double dt = now - c->last_frame_time;
            note_interval(c, dt);
            if (warp) {
                step = 100 * sim_tick;
                break;
            }
            if (dt >= sim_tick) {
                step = std::min(dt, 0.125); // a stall must not cause a burst of catch-up ticks
                break;
            }
            src->sleep(src->ctx, sim_tick - dt);
            now = src->now(src->ctx);
        }
    }
    *now_out = now;
    return step;
}

static double clamp01(double v) {
    return std::min(std::max(v, 0.0), 1.0);
}

double net_clock_factor(double x, int before_start) {
    if (x < 0) return 0.5 + 0.5 * clamp01(x + 1);
    if (before_start) return 1 + 3 * clamp01(x);
    return 1 + 0.125 * clamp01(8 * x);
}

void frame_advance(FrameClock* c, double step, double now) {
    c->sim_target += step;
    messages_advance(step);
    c->last_frame_time = now;
}

int frame_next_tick(FrameClock* c, double now, double* tick_time) {
    if (!(c->sim_target > c->sim_time)) return 0;
    c->sim_time += sim_tick;
    *tick_time = now - (c->sim_target - c->sim_time);
    return 1;
}

// After every session start the free camera begins 5 above the viewed rider.
static void camera_follow_start() {
    if (g_session.camera_serial == g_app.camera_serial_seen) return;
    g_app.camera_serial_seen = g_session.camera_serial;
    float p[3];
    if (!session_rider_position(g_session.viewed_rider, p)) return;
    g_app.free_cam.position[0] = p[0];
    g_app.free_cam.position[1] = p[1] + 5;
    g_app.free_cam.position[2] = p[2];
}

// Step 2 of a pass: the view follows what there is to look at.
static void choose_view() {
    const RiderSlot& viewed = g_session.slots[g_session.viewed_rider % MAX_RIDERS];
    int& view = g_app.view_mode;
    if (g_session.track_loaded && view == VIEW_TITLE) view = VIEW_RIDER;
    if (viewed.autopilot == 0 && view != VIEW_EDITOR && view != VIEW_RIDER && view != VIEW_ORBIT)
        view = VIEW_RIDER;
    if (!viewed.bike) view = VIEW_FREE;
    if (!g_session.track_loaded) view = VIEW_TITLE;
}

static bool viewed_is_player() {
    return g_session.slots[g_session.viewed_rider % MAX_RIDERS].autopilot == 0;
}

// Where the camera is for this frame's view.
static void place_camera() {
    BikePose pose;
    int have_bike = viewed_bike_pose(&pose);
    if (g_app.view_mode == VIEW_ORBIT && have_bike) {
        if (viewed_is_player())
            camera_orbit_player(pose, g_config.rigid_camera.current == YES, &g_app.camera);
        else
            camera_orbit_view(g_app.orbit, pose.chase_point, &g_app.camera);
    } else if (g_app.view_mode == VIEW_FREE) {
        camera_free_view(g_app.free_cam, &g_app.camera);
    } else if (g_app.view_mode == VIEW_EDITOR) {
        editor_camera(&g_app.camera);
    }
}

// "--record-video": the frame as a binary PPM on standard output, top row first.
static void record_video_frame(int w, int h) {
    gl_read_frame(w, h, &g_app.frame_rgb);
    fprintf(stdout, "P6\n%d %d\n255\n", w, h);
    for (int y = h - 1; y >= 0; y--)
        fwrite(g_app.frame_rgb.data() + (size_t)y * w * 3, 1, (size_t)w * 3, stdout);
    fflush(stdout);
}

// A requested screenshot is read from the finished frame just before it is shown.
static void save_screenshot(int w, int h) {
    g_app.screenshot_pending = 0;
    gl_read_frame(w, h, &g_app.frame_rgb);
    int n = screenshot_next_number();
    char name[64], shown[64];
    snprintf(name, sizeof name, "@screenshot%03d.png", n);
    snprintf(shown, sizeof shown, "Saved \"screenshot%03d.png\"", n);
    std::string error;
    if (image_write_png_rgb(name, w, h, g_app.frame_rgb.data(), &error))
        post_message(shown);
    else
        post_problem((std::string("Can't save \"") + (name + 1) + "\": " + error).c_str());
}

// Step 3: one drawn frame, when the window can draw now; 0 when the swap failed.
static int draw_frame() {
    if (!g_app.window || !g_app.window->gl) return 1;
    const FrameInfo* frame = frame_begin(g_app.window);
    if (!frame) return 1;
    int w = frame->width, h = frame->height;
    ui_set_screen_size(w, h);
    if (g_menu.video_mode_index == 1) config_set_window_size(w, h);
    frame_set_projection(w, h);
    place_camera();
    if (g_app.view_mode == VIEW_TITLE) {
        gl_clear_frame();
        title_draw("");
    } else {
        frame_draw_view(g_app.view_mode, g_app.camera);
        if (g_app.view_mode == VIEW_EDITOR) editor_draw();
    }
    if ((g_app.view_mode == VIEW_RIDER || g_app.view_mode == VIEW_ORBIT) && g_settings.show_hud)
        hud_draw();
    if (g_settings.show_hud) overlay_draw();
    if (g_settings.record_video && !g_app.paused && g_app.view_mode != VIEW_TITLE)
        record_video_frame(w, h);
    if (g_app.paused && g_settings.show_pause_text) pause_text_draw();
    if (net_connected() && net_warmup() && viewed_is_player()) warmup_text_draw();
    menu_draw();
    if (g_settings.glfinish) gl_finish();
    if (g_app.screenshot_pending) save_screenshot(w, h);
    return frame_end(g_app.window);
}

float engine_volume_level() {
    float factor;
    if (g_app.paused || g_app.view_mode == VIEW_EDITOR)
        factor = 0;
    else if (g_menu.screen == MENU_NONE)
        factor = 1;
    else
        factor = viewed_is_player() ? 0.0f : 0.25f;
    return (float)g_config.volume.value * factor * 0.1f;
}

EngineListener engine_listener() {
    const Listener& l = g_render.listener;
    EngineListener ear;
    for (int i = 0; i < 3; i++) {
        ear.eye[i] = l.eye[i];
        ear.right[i] = l.rot[i]; // the rotation's first row is the camera's right axis
        ear.velocity[i] = l.velocity[i];
    }
    return ear;
}

// Step 4 of a tick: the player's controls drive the bike, or steer the camera.
static void act_on_tick() {
    if (viewed_is_player()) {
        PlayerControls pc;
        controls_shape(g_app.controls, player_clutch_engagement(),
                       g_config.reverse_steering.current == YES, g_config.sticky_dab.current == YES,
                       &g_app.dab_latch, &pc);
        if (g_app.controls[CONTROL_BACK_UP] > 0.5f && session_is_time_trial() &&
            g_config.time_trial_abort.current == YES)
            session_reset_riders();
        player_apply_controls(pc);
    } else if (g_app.view_mode == VIEW_ORBIT) {
        camera_orbit_steer(&g_app.orbit, g_app.controls);
    } else if (g_app.view_mode == VIEW_FREE) {
        BikePose pose;
        int have_bike = viewed_bike_pose(&pose);
        camera_free_tick(&g_app.free_cam, g_app.controls, have_bike ? &pose : nullptr);
    }
}

// "--record-audio": one tick of mixed sound appended to the file.
static void record_audio_tick() {
    if (!g_app.audio_out) return;
    const unsigned char* block = audio_read();
    if (block) data_write(g_app.audio_out, block, (size_t)audio_read_bytes());
    if (ferror(g_app.audio_out->file)) audio_recording_end(1);
}

// Step 9: one simulation tick at its real time.
static void run_tick(double tick_time, int last_tick) {
    for (float& c : g_app.controls) c = 0;
    menu_tick_begin();
    tick_events(tick_time, last_tick);
    binding_watch_tick();
    controls_apply_map();
    if (g_app.tick_hook) g_app.tick_hook(g_app.tick_hook_ctx);

    int connected = net_connected();
    bool frozen = g_menu.screen != MENU_NONE && viewed_is_player() && !connected;
    bool run_session = !frozen;
    if (!frozen) {
        if (g_app.view_mode == VIEW_EDITOR) {
            editor_tick();
            if (!connected) run_session = false;
        } else if (g_menu.screen == MENU_NONE && g_app.view_mode != VIEW_TITLE) {
            act_on_tick();
        }
    }
    if (run_session) {
        if (connected) g_app.paused = false;
        net_step();
        if (!g_session.track_loaded) g_app.view_mode = VIEW_TITLE;
        if (!g_app.paused && g_app.view_mode != VIEW_TITLE && (!connected || net_server_tick() > 0))
            session_tick();
    }
    // The recording keeps one block per tick, so its length follows the simulated time even
    // while the game stands still under a menu.
    record_audio_tick();
}

void mainloop_ticks(double now) {
    double tick_time;
    while (frame_next_tick(&g_app.clock, now, &tick_time)) {
        int last = !(g_app.clock.sim_target > g_app.clock.sim_time);
        run_tick(tick_time, last);
    }
}

// Step 8: the pointer for the menus.
static void menu_pointer() {
    int x = axis_read(g_app.cursor_axes[0]), y = axis_read(g_app.cursor_axes[1]);
    bool moved = x != g_menu.cursor[0] || y != g_menu.cursor[1];
    menu_set_cursor(x, y);
    if (g_menu.screen == MENU_NONE) return;
    if (!g_menu.pointer_held)
        menu_track_pointer(x, y);
    else if (moved)
        menu_key(MENU_POINTER_DRAG);
}

// Step 10: "--warp" restarts the race with the lineup rotated once the leader has finished.
static void warp_restart() {
    if (!g_settings.warp || !g_session.track_loaded || session_leader_laps() < g_session.race_laps)
        return;
    int lineup[MAX_RIDERS];
    for (int i = 0; i < MAX_RIDERS; i++) lineup[(i + 1) % MAX_RIDERS] = g_session.lineup[i];
    ui_set_player();
    session_start(lineup, 0, g_config.record.current, (int)(g_config.minutes.value * 60 / sim_tick),
                  (int)g_config.laps.value, g_config.skill.current);
}

int mainloop_pass(const ClockSource* source) {
    // 1-3. Quit, choose the view, draw the frame.
    if (g_app.quit_requested || g_menu.quit_requested) return 0;
    camera_follow_start();
    choose_view();
    if (!draw_frame()) return 0; // a failed swap ends the run
    // 4. Engine sounds, heard from the camera of the frame just shown (without a window, from
    // the camera the frame would have had).
    if (audio_is_open()) {
        if (!g_app.window || !g_app.window->gl) {
            place_camera();
            frame_listen(g_app.view_mode, g_app.camera);
        }
        float level = engine_volume_level();
        EngineListener ear = engine_listener();
        for (const RiderSlot& r : g_session.slots)
            if (r.bike && r.sound) engine_sound_update(r.bike, r.sound, level, ear);
        audio_commit();
    }
    // 5-7. Pacing, and the clock correction while connected.
    double now;
    // "--fast" runs unpaced like "--warp" (and overrides "--lock-fps"), but never restarts.
    double step = frame_wait(&g_app.clock, g_settings.fast ? 0.0f : g_settings.lock_fps,
                             g_settings.warp || g_settings.fast, source, &now);
    if (net_connected()) step *= net_clock_factor(net_tick_lead() * sim_tick, net_before_start());
    frame_advance(&g_app.clock, step, now);
    // 8-9. The pointer for the menus, then the ticks the simulation owes.
    menu_pointer();
    mainloop_ticks(now);
    // 10. The warp restart, the ground renderer's work and the message expiry.
    warp_restart();
    if (g_app.view_mode != VIEW_TITLE) ground_update(1000);
    messages_update();
    if (g_settings.quit_after > 0 && g_app.clock.sim_time >= g_settings.quit_after)
        g_app.quit_requested = 1;
    return 1;
}

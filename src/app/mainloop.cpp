#include "app/app.h"

#include <algorithm>

#include "app/settings.h"
#include "platform/audio.h"
#include "platform/clock.h"
#include "platform/log.h"
#include "platform/messages.h"
#include "platform/window.h"

App g_app;

static double platform_now(void*) { return clock_seconds(); }
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

static double clamp01(double v) { return std::min(std::max(v, 0.0), 1.0); }

double net_clock_factor(double x, int before_start) {
    if (x < 0) return 0.5 + 0.5 * clamp01(x + 1);
    if (before_start) return 1 + 3 * clamp01(x);
    return 1 + 0.125 * clamp01(8 * x);
}

void frame_advance(FrameClock* c, double step, double now) {
    c->sim_target += step;
    g_messages.elapsed_time += step;
    c->last_frame_time = now;
}

int frame_next_tick(FrameClock* c, double now, double* tick_time) {
    if (!(c->sim_target > c->sim_time)) return 0;
    c->sim_time += sim_tick;
    *tick_time = now - (c->sim_target - c->sim_time);
    return 1;
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

// Step 3: one drawn frame, when the window can draw now.
static int draw_frame() {
    if (!g_app.window) return 1;
    const FrameInfo* frame = frame_begin(g_app.window);
    if (!frame) return 1;
    g_app.screen_width = frame->width;
    g_app.screen_height = frame->height;
    if (g_app.window_mode_index == 1) {
        g_config.xres = frame->width;
        g_config.yres = frame->height;
    }
    return frame_end(g_app.window);
}

// Step 9: one simulation tick.
static void run_tick(double tick_time) {
    for (float& c : g_app.controls) c = 0;
    (void)tick_time;
    if (!g_app.paused && g_app.view_mode != VIEW_TITLE) session_tick();
}

int mainloop_pass(const ClockSource* source) {
    if (g_app.quit_requested) return 0;
    choose_view();
    if (!draw_frame()) return 0; // a failed swap ends the run
    if (audio_is_open()) audio_commit();

    double now;
    double step = frame_wait(&g_app.clock, g_settings.lock_fps, g_settings.warp, source, &now);
    frame_advance(&g_app.clock, step, now);

    double tick_time;
    while (frame_next_tick(&g_app.clock, now, &tick_time)) run_tick(tick_time);

    messages_update();
    if (g_settings.quit_after > 0 && g_app.clock.sim_time >= g_settings.quit_after)
        g_app.quit_requested = 1;
    return 1;
}

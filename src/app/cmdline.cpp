#include "app/cmdline.h"

#include <cerrno>
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/config.h"
#include "core/constants.h"
#include "core/maths.h"
#include "core/settings.h"

int arg_switch(ArgCursor* c, const char* name) {
    if (c->remaining <= 0 || c->end_of_options || strcmp(c->current[0], name) != 0) return 0;
    c->current++;
    c->remaining--;
    return 1;
}

int arg_value(ArgCursor* c, const char* name, const char** value) {
    if (c->remaining <= 0 || c->end_of_options) return 0;
    const char* arg = c->current[0];
    if (strcmp(arg, "--") == 0) {
        c->end_of_options = 1;
        c->current++;
        c->remaining--;
        return 0;
    }
    size_t n = strlen(name);
    if (strcmp(arg, name) == 0) {
        c->current++;
        c->remaining--;
        if (c->remaining > 0) {
            *value = c->current[0];
            c->current++;
            c->remaining--;
        } else {
            *value = nullptr;
        }
        return 1;
    }
    if (strncmp(arg, name, n) == 0 && arg[n] == '=') {
        *value = arg + n + 1;
        c->current++;
        c->remaining--;
        return 1;
    }
    return 0;
}

// "%d" in the manner of scanf (leading blanks and a sign, trailing text ignored), refusing
// numbers beyond the int range rather than wrapping them.
static int read_int(const char* v, int* out) {
    if (!v) return 0;
    char* end;
    errno = 0;
    long n = strtol(v, &end, 10);
    if (end == v || errno == ERANGE || n < INT_MIN || n > INT_MAX) return 0;
    *out = (int)n;
    return 1;
}

// "%f" in the manner of scanf, refusing what no option can use: infinities, NaN, and numbers
// too large for a float (which scanf would turn into infinity).
static int read_float(const char* v, float* out) {
    if (!v) return 0;
    char* end;
    double d = strtod(v, &end);
    if (end == v || !std::isfinite(d) || std::fabs(d) > FLT_MAX) return 0;
    *out = (float)d;
    return 1;
}

// An integer option within lo..hi.
static int read_int_in(const char* v, int lo, int hi, int* out) {
    int i;
    if (!read_int(v, &i) || i < lo || i > hi) return 0;
    *out = i;
    return 1;
}

// Prints the option's "Bad arg for" line; the parse then ends with status 1.
static int bad_arg(const char* name) {
    fprintf(stderr, "Bad arg for %s\n", name);
    return 1;
}

// Tries every option once, in matching order. Returns 1 when one matched (and *status is set
// to CMDLINE_OK, 0 or 1), 0 when none did.
static int match_option(ArgCursor* c, int* status) {
    Settings& s = g_settings;
    const char* v = nullptr;
    int i = 0;
    float f = 0;
    *status = CMDLINE_OK;

    if (arg_switch(c, "--fugly")) return s.fugly = 1;
    if (arg_switch(c, "--nosound")) return s.nosound = 1;
    if (arg_switch(c, "--novertexarrays")) return s.novertexarrays = 1;
    if (arg_switch(c, "--nolearn")) return s.nolearn = 1;
    if (arg_switch(c, "--debug")) return s.debug_level = 1;
    if (arg_switch(c, "--super-debug")) return (s.debug_level = 2), 1;
    if (arg_switch(c, "--practice")) return s.practice = 1;
    if (arg_switch(c, "--warp")) return s.warp = 1;
    if (arg_value(c, "--texture-detail", &v)) {
        if (!read_int(v, &i)) return (*status = bad_arg("--texture-detail")), 1;
        s.model_texture_level = s.ground_texture_level = clamp(i, 0, 4);
        return 1;
    }
    if (arg_value(c, "--ground-texture-detail", &v)) {
        if (!read_int(v, &i)) return (*status = bad_arg("--ground-texture-detail")), 1;
        s.ground_texture_level = clamp(i, 0, 4);
        return 1;
    }
    if (arg_value(c, "--roostfrequency", &v)) {
        if (!read_int(v, &i)) return (*status = bad_arg("--roostfrequency")), 1;
        s.roost_frequency = clamp(i, 0, 1000);
        return 1;
    }
    if (arg_value(c, "--erode", &v)) {
        if (!read_float(v, &f)) return (*status = bad_arg("--erode")), 1;
        s.erode = clamp(f, 0.0f, 1.0f);
        return 1;
    }
    if (arg_value(c, "--detail", &v)) {
        if (!read_float(v, &f)) return (*status = bad_arg("--detail")), 1;
        s.ground_detail = f;
        return 1;
    }
    if (arg_value(c, "--max-detail-distance", &v)) {
        if (!read_float(v, &f)) return (*status = bad_arg("--max-detail-distance")), 1;
        return 1; // accepted for old command lines; it has no effect
    }
    if (arg_value(c, "--lod-scale", &v)) {
        if (!read_float(v, &f)) return (*status = bad_arg("--lod-scale")), 1;
        s.lod_scale = clamp(f, 0.000001f, 1000000.0f);
        return 1;
    }
    if (arg_value(c, "--lod-bias", &v)) {
        if (!read_float(v, &f)) return (*status = bad_arg("--lod-bias")), 1;
        s.lod_bias = f;
        return 1;
    }
    if (arg_value(c, "--lock-fps", &v)) {
        // 0 or less is off; a rate the pacing cannot honour (a frame of more than a second, or
        // so short that the simulation barely moves) is refused.
        if (!read_float(v, &f) || (f > 0 && (f < CMDLINE_LOCK_FPS_MIN || f > CMDLINE_LOCK_FPS_MAX)))
            return (*status = bad_arg("--lock-fps")), 1;
        s.lock_fps = f > 0 ? f : 0;
        return 1;
    }
    if (arg_value(c, "--fake-lag", &v)) {
        if (!read_float(v, &f)) return (*status = bad_arg("--fake-lag")), 1;
        s.fake_lag = clamp(f * 0.001, 0.0, 1.0);
        return 1;
    }
    if (arg_value(c, "--fake-loss", &v)) {
        if (!read_int(v, &i)) return (*status = bad_arg("--fake-loss")), 1;
        s.fake_loss = clamp(i, 0, 100);
        return 1;
    }
    if (arg_value(c, "--record-audio", &v)) {
        // Without a file name there is nothing to record to.
        s.record_audio = v ? v : "";
        return 1;
    }
    if (arg_switch(c, "--record-video")) return s.record_video = 1;
    if (arg_value(c, "--rotate-lineup", &v)) {
        // Whole turns of the 40 places change nothing, so N is taken modulo 40.
        if (!read_int_in(v, 0, INT_MAX, &i)) return (*status = bad_arg("--rotate-lineup")), 1;
        s.rotate_lineup = i % MAX_RIDERS;
        return 1;
    }
    if (arg_switch(c, "--editor")) return s.editor = 1;
    if (arg_switch(c, "--hidden-pause")) return (s.show_pause_text = 0), 1;
    if (arg_switch(c, "--hidden-hud")) return (s.show_hud = 0), 1;
    if (arg_value(c, "--bikes", &v)) {
        fprintf(stderr, "--bikes doesn't do anything anymore\n");
        return 1;
    }
    // The window size is stored in the config: a size no window can have would keep every
    // later start from opening one.
    if (arg_value(c, "--width", &v)) {
        if (!read_int_in(v, CMDLINE_WINDOW_MIN, CMDLINE_WINDOW_MAX, &i))
            return (*status = bad_arg("--width")), 1;
        g_config.xres = i;
        return 1;
    }
    if (arg_value(c, "--height", &v)) {
        if (!read_int_in(v, CMDLINE_WINDOW_MIN, CMDLINE_WINDOW_MAX, &i))
            return (*status = bad_arg("--height")), 1;
        g_config.yres = i;
        return 1;
    }
    // These keep their previous value when they are the last argument; a value given must be
    // a number.
    if (arg_value(c, "--depth", &v)) {
        if (v && !read_int_in(v, 0, 0xffff, &i)) return (*status = bad_arg("--depth")), 1;
        if (v) s.mode_word = i;
        return 1;
    }
    if (arg_value(c, "--draw-fps", &v)) {
        if (v && !read_int(v, &i)) return (*status = bad_arg("--draw-fps")), 1;
        if (v) g_config.draw_fps = i;
        return 1;
    }
    if (arg_value(c, "--draw-time", &v)) {
        if (v && !read_int(v, &i)) return (*status = bad_arg("--draw-time")), 1;
        if (v) g_config.draw_time = i;
        return 1;
    }
    if (arg_value(c, "--draw-ping", &v)) {
        if (v && !read_int(v, &i)) return (*status = bad_arg("--draw-ping")), 1;
        if (v) g_config.draw_ping = i;
        return 1;
    }
    if (arg_value(c, "--draw-render-stats", &v)) {
        if (v && !read_int(v, &i)) return (*status = bad_arg("--draw-render-stats")), 1;
        if (v) s.draw_render_stats = i;
        return 1;
    }
    if (arg_switch(c, "--accurate-skip")) return s.accurate_skip = 1;
    if (arg_value(c, "--track", &v)) {
        s.track = v ? v : "";
        return 1;
    }
    if (arg_value(c, "--connect", &v)) {
        if (v) {
            if (strncmp(v, "vornix:", 7) == 0) v += 7;
            s.connect = v;
        }
        return 1;
    }
    if (arg_value(c, "--password", &v)) {
        s.password = v ? v : "";
        return 1;
    }
    if (arg_value(c, "--chase-center", &v)) {
        float x, y, z;
        // A point far from the bike would put the camera nowhere useful (or beyond floats).
        auto near = [](float a) { return std::isfinite(a) && std::fabs(a) <= CMDLINE_CHASE_MAX; };
        if (!v || sscanf(v, "%f,%f,%f", &x, &y, &z) != 3 || !near(x) || !near(y) || !near(z))
            return (*status = bad_arg("--chase-center")), 1;
        s.chase_center[0] = x;
        s.chase_center[1] = y;
        s.chase_center[2] = z;
        return 1;
    }
    if (arg_switch(c, "--open-home")) return (*status = 0), 1;
    if (arg_switch(c, "--glfinish")) return s.glfinish = 1;

    // Additions for running without a display and for scripted runs.
    if (arg_switch(c, "--headless")) return s.headless = 1;
    if (arg_value(c, "--quit-after", &v)) {
        // 0 is no limit; infinity or NaN would never end the run.
        if (!read_float(v, &f) || f < 0 || f > CMDLINE_QUIT_AFTER_MAX)
            return (*status = bad_arg("--quit-after")), 1;
        s.quit_after = f;
        return 1;
    }
    if (arg_value(c, "--script", &v)) {
        if (!v || !*v) return (*status = bad_arg("--script")), 1;
        s.script = v;
        return 1;
    }
    if (arg_value(c, "--threads", &v)) {
        if (!read_int(v, &i)) return (*status = bad_arg("--threads")), 1;
        s.threads = clamp(i, 1, 8);
        return 1;
    }
    // Additions that start riding at once.
    if (arg_switch(c, "--race")) return s.race = 1;
    // Servers, benchmarks and tests: the simulation unpaced, without "--warp"'s restarts.
    if (arg_switch(c, "--fast")) return s.fast = 1;
    if (arg_switch(c, "--time-trial")) return s.time_trial = 1;
    return 0;
}

int cmdline_parse(int argc, char** argv) {
    ArgCursor c{argc, argv, 0};
    while (c.remaining > 0) {
        int status;
        if (match_option(&c, &status)) {
            if (status != CMDLINE_OK) return status;
            continue;
        }
        if (c.remaining <= 0) break; // "--" was the last argument
        const char* arg = c.current[0];
        if (arg[0] == '-' && !c.end_of_options) {
            fprintf(stderr, "bad option '%s'\n", arg);
            return 1;
        }
        if (!g_settings.demo_file.empty()) {
            fprintf(stderr, "Too many files!\n");
            return 1;
        }
        g_settings.demo_file = arg;
        c.current++;
        c.remaining--;
    }
    return CMDLINE_OK;
}

int cmdline_has_switch(int argc, char** argv, const char* name) {
    for (int i = 0; i < argc; i++) {
        if (strcmp(argv[i], "--") == 0) return 0;
        if (strcmp(argv[i], name) == 0) return 1;
    }
    return 0;
}

// Start-up and shutdown of the program, in their fixed orders.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>
#include <vector>

#include "app/app.h"
#include "app/config_file.h"
#include "app/cmdline.h"
#include "core/settings.h"
#include "bike/bike.h"
#include "bike/world.h"
#include "data/datafile.h"
#include "data/model.h"
#include "data/save.h"
#include "data/shape.h"
#include "data/texture.h"
#include "effects/engine_sound.h"
#include "editor/editor.h"
#include "net/client.h"
#include "net/transport.h"
#include "platform/audio.h"
#include "platform/clock.h"
#include "platform/log.h"
#include "platform/messages.h"
#include "platform/options.h"
#include "platform/workers.h"
#include "platform/script.h"
#include "platform/window.h"
#include "race/hooks.h"
#include "race/results.h"
#include "race/series.h"
#include "race/session.h"
#include "render/glstate.h"
#include "render/ground.h"
#include "render/shaders.h"
#include "replay/demo.h"
#include "replay/demolist.h"
#include "robot/robot.h"
#include "track/terrain.h"
#include "track/track.h"
#include "track/tracklist.h"
#include "ui/appearance.h"
#include "ui/console.h"
#include "ui/hud.h"
#include "ui/menu.h"

static void close_audio_and_window() {
    if (audio_is_open()) audio_close();
    if (g_app.window) {
        window_close(g_app.window);
        g_app.window = nullptr;
    }
}

// Game data is present when the game folder (the last search folder) exists as a folder; a
// game folder without tracks is reported later as "No tracks found".
static int game_data_present() {
    int n = data_folder_count();
    if (n == 0) return 0;
    struct stat st;
    return stat(data_folder(n - 1), &st) == 0 && S_ISDIR(st.st_mode);
}

// The log goes to "lastlog.txt" in folder 0 unless DRUV_LOGFILE says otherwise.
static void open_log() {
    const char* folder = data_folder(0);
    if (!folder) return;
    if (strlen(folder) < 1024) data_make_dirs(folder);
    std::string setup = std::string("DRUV_LOGFILE=") + folder + "lastlog.txt";
    if (setup.size() > 1023) setup.resize(1023);
    log_setup(setup.c_str());
}

// A per-user folder that cannot be written loses the run's settings, demos, results and
// screenshots: say so at once, where the user looks, rather than only in a log that cannot be
// written either.
static void check_user_folder() {
    const char* folder = data_folder(0);
    if (!folder) return;
    struct stat st;
    const char* why = nullptr;
    if (stat(folder, &st) != 0 || !S_ISDIR(st.st_mode))
        why = "can't create it";
    else if (access(folder, W_OK) != 0)
        why = "not writable";
    else if (struct statvfs fs; statvfs(folder, &fs) == 0 && fs.f_bavail == 0)
        why = "the disk is full";
    if (!why) return;
    std::string text = std::string("Can't write to ") + folder + " (" + why +
                       "): settings, demos and results will not be saved";
    post_problem(text.c_str());
}

// A name from the command line as it may be shown: cut short, control characters replaced.
static std::string shown_name(const std::string& name) {
    std::string out = name.substr(0, 100);
    for (char& c : out)
        if ((unsigned char)c < 32 || c == 127) c = '?';
    return name.size() > 100 ? out + "..." : out;
}

// "Default Fullscreen", "Windowed", then every display mode of the first mode's depth. A
// headless run touches no display, so it lists only the first two.
static void build_video_modes(int headless) {
    g_app.video_mode_names = {"Default Fullscreen", "Windowed"};
    if (!headless) {
        const DisplayMode* modes = display_modes();
        for (int i = 0; modes[i].width; i++) {
            if (modes[i].bits != modes[0].bits) continue;
            char name[32];
            snprintf(name, sizeof name, "%dx%d", modes[i].width, modes[i].height);
            g_app.video_mode_names.push_back(name);
        }
    }
    std::vector<const char*> options;
    for (const std::string& s : g_app.video_mode_names) options.push_back(intern_string(s.c_str()));
    int keep = g_config.video_mode.current;
    config_set_options(&g_config.video_mode, options);
    if (keep < (int)options.size()) config_choose(&g_config.video_mode, keep);
}

// Whether a stored window size can be opened: at least the smallest size and at most the
// largest display mode (a config edited by hand, or a size from another display, must not keep
// every later start from opening a window).
static bool window_size_fits(int w, int h) {
    int max_w = 0, max_h = 0;
    const DisplayMode* modes = display_modes();
    for (int i = 0; modes[i].width; i++) {
        max_w = std::max(max_w, modes[i].width);
        max_h = std::max(max_h, modes[i].height);
    }
    if (max_w == 0 || max_h == 0) max_w = max_h = CMDLINE_WINDOW_MAX; // no modes known
    return w >= CMDLINE_WINDOW_MIN && h >= CMDLINE_WINDOW_MIN && w <= max_w && h <= max_h;
}

// Opens the window in the configured video mode (a window without display when headless);
// 0 when it cannot be opened.
static int open_window() {
    if (g_settings.headless) {
        g_app.window = window_open_headless();
        // Nothing is drawn without a window, so bikes need no normal or specular maps (and
        // their lookups would only fill the log with misses).
        bikes_set_shading_level(1);
        return 1;
    }
    int index = g_config.video_mode.current;
    int mode = g_settings.mode_word;
    int w = 0, h = 0;
    if (index == 1) {
        w = g_config.xres;
        h = g_config.yres;
        if (!window_size_fits(w, h)) {
            char text[160];
            snprintf(text, sizeof text,
                     "The window size %d x %d does not fit the display: using 640 x 480", w, h);
            post_problem(text);
            w = g_config.xres = 640;
            h = g_config.yres = 480;
        }
    } else {
        mode |= 0x200;
        if (index >= 2) sscanf(g_config.video_mode.text(), "%dx%d", &w, &h);
    }
    menu_set_video_mode_index(index);
    g_app.window = window_open_gl("Vornix", w, h, mode, 0, 16, 0, 0);
    return g_app.window != nullptr;
}

// Opens the audio output, or the readback recorder for "--record-audio".
static void open_audio() {
    if (!g_settings.record_audio.empty()) {
        const char* path = g_settings.record_audio.c_str();
        struct stat st;
        if (stat(path, &st) == 0 && !S_ISREG(st.st_mode)) {
            // A pipe or a device is a stream to write, not a file to replace.
            g_app.audio_out = data_open_stream(fopen(path, "wb"), path);
            if (!g_app.audio_out)
                post_problem((std::string("Can't record audio to ") + path).c_str());
        } else if (data_save_begin(path, &g_app.audio_save)) {
            g_app.audio_out = g_app.audio_save.file;
        } else {
            post_problem(
                (std::string("Can't record audio to ") + path + ": " + g_app.audio_save.error)
                    .c_str());
        }
        audio_open_readback(88200, 690);
    } else if (!g_settings.nosound && !g_settings.headless) {
        audio_open(g_app.window);
    }
}

void audio_recording_end(int failed) {
    if (!g_app.audio_out) return;
    const char* path = g_settings.record_audio.c_str();
    if (g_app.audio_out != g_app.audio_save.file) {
        if (data_flush(g_app.audio_out) != 0 || ferror(g_app.audio_out->file)) failed = 1;
        data_close(g_app.audio_out);
        if (failed) post_problem((std::string("Can't record audio to ") + path).c_str());
    } else if (failed) {
        post_problem((std::string("Can't record audio to ") + path + ": " +
                      data_save_error_text(&g_app.audio_save))
                         .c_str());
        data_save_abort(&g_app.audio_save);
    } else if (!data_save_commit(&g_app.audio_save)) {
        post_problem(
            (std::string("Can't save the audio recording ") + path + ": " + g_app.audio_save.error)
                .c_str());
    }
    g_app.audio_out = nullptr;
}

// Tries to begin a first frame, 162 times 1/16 s apart; 0 when the window never became drawable.
static int wait_first_frame() {
    if (!g_app.window || !g_app.window->gl) return 1;
    for (int tries = 0; tries < 162; tries++) {
        if (frame_begin(g_app.window)) return 1;
        sleep_for(0, 62500);
    }
    return 0;
}

// The lineup of a session started at start-up: empty, with a robot in the first gate when no
// demo brings its riders.
static void startup_lineup(int have_demo, int lineup[MAX_RIDERS]) {
    for (int i = 0; i < MAX_RIDERS; i++) lineup[i] = 0;
    if (!have_demo) lineup[0] = RIDER_CODE_ROBOT;
}

// "camangle": the free camera's yaw and pitch, its turning stopped.
static void console_camera_aim(float yaw, float pitch) {
    g_app.free_cam.yaw = yaw;
    g_app.free_cam.pitch = pitch;
    g_app.free_cam.yaw_rate = 0;
    g_app.free_cam.pitch_rate = 0;
}

// "pipe": the viewed bike's engine sound takes the taps (nothing without audio).
static int console_set_pipe(int slot, const PipeTaps& t) {
    if (slot < 0 || slot >= MAX_RIDERS) return 0;
    return engine_sound_set_pipe(g_session.slots[slot].sound, t.length, t.spread, t.gain,
                                 t.first_tap, t.last_tap);
}

static void shutdown() {
    // 1. The server hears that we leave.
    net_disconnect_now();
    // 2. The points series records the race as it stands; the learned robot lines are written
    // back (not with "--nolearn"); then the per-track records of the race session.
    series_record_event();
    robot_lines_save();
    session_free();
    // 3. The contact group, then the bikes and the demo being played.
    physics_close_contacts();
    log_printf("Deallocating bikes\n");
    session_free_riders();
    log_printf("Finished deallocating bikes\n");
    demo_close_playback();
    // 4. Demo recording, the track, then the world.
    demo_record_stop();
    if (g_track.loaded) track_free();
    physics_close_world();
    workers_stop();
    // The model, shape and texture caches, while the GL context their textures live in is
    // still there: nothing uses them any more, and a leak checker sees a clean exit.
    model_reset();
    shape_reset();
    texture_reset();
    // Every opened axis.
    bindings_close();
    // Audio and its recording file.
    if (audio_is_open()) audio_close();
    audio_recording_end(0);
    // The window and its GL context.
    if (g_app.window) window_close(g_app.window);
    g_app.window = nullptr;
    config_write();
    // 9.
    net_reset();
    net_cleanup();
}

// Shuts down and gives the exit status: 1 when a file of the run could not be saved (each was
// said when it happened), so that scripts see the loss too.
static int shutdown_with(int status) {
    script_free(g_app.script);
    g_app.script = nullptr;
    shutdown();
    return data_save_failures() > 0 ? 1 : status;
}

// The hook records lower modules call the higher ones through.
static void install_hooks() {
    terrain_set_hooks(ground_terrain_hooks());
    editor_init();
    EditorHooks editor{};
    editor.screenshot = screenshot_request;
    editor_set_hooks(&editor);
    robot_install();
    race_set_net_hooks(net_race_hooks());
}

int app_main(int argc, char** argv) {
    log_install_new_handler();
    log_set_oom_cleanup(close_audio_and_window);
    install_hooks();

    open_log();
    check_user_folder();
    if (!game_data_present()) {
        error_box("Problem starting Vornix", "Can't find game data\n");
        return 0;
    }
    config_defaults(); // the settings hold nothing until given their defaults
    for (TextSetting& h : g_config.server_name_hist) config_text_set(&h, "");
    messages_clear();
    build_video_modes(cmdline_has_switch(argc - 1, argv + 1, "--headless"));
    config_apply_stability((int)g_config.stability.value);
    appearance_lists_build();
    config_read();
    settings_from_config();

    int status = cmdline_parse(argc - 1, argv + 1);
    if (status == 1) return 1;
    if (status == 0) {
        open_user_folder();
        return 0;
    }
    if (!g_settings.script.empty()) {
        std::string error;
        g_app.script = script_load(g_settings.script.c_str(), &error);
        if (!g_app.script) {
            fprintf(stderr, "Bad script %s: %s\n", g_settings.script.c_str(), error.c_str());
            return 1;
        }
    }
    if (!g_settings.connect.empty()) g_settings.track.clear();
    menu_show(g_settings.connect.empty() ? SCREEN_MAIN : MENU_NONE);

    if (tracklist_build() == 0) {
        fprintf(stderr, "No tracks found\n");
        return 1;
    }
    if (g_settings.debug_level)
        for (const TrackEntry& t : g_tracks.tracks)
            log_printf("%s -> %s\n", t.folder.c_str(), t.title.c_str());
    demolist_build();
    if (g_settings.debug_level)
        for (const DemoEntry& d : g_demo_list.demos)
            log_printf("%s -> %s\n", d.name.c_str(), d.title.c_str());

    series_load_all();

    int chosen = tracklist_find(g_settings.track.empty() ? "rabbithill" : g_settings.track.c_str());
    if (chosen >= 0) tracklist_select(chosen);
    // A track that is not there is never swapped for another without a word: a run that was
    // to ride it at once ends; otherwise the title screen shows, with the message. A demo
    // brings its own track, so then the message is all.
    bool riding = g_settings.race || g_settings.time_trial || g_settings.headless;
    if (!g_settings.track.empty() && chosen < 0) {
        std::string text = "Unknown track '" + shown_name(g_settings.track) + "'";
        if (riding && g_settings.demo_file.empty()) {
            fprintf(stderr, "%s\n", text.c_str());
            return 1;
        }
        post_problem(text.c_str());
    }

    if (!open_window()) {
        fprintf(stderr, "Can't open the game window: %s\n", window_open_error());
        script_free(g_app.script);
        return 1;
    }
    error_box_use_window(g_app.window->native != nullptr);
    ui_set_window(g_app.window);
    gl_set_window(g_app.window);
    open_audio();
    int drawable = wait_first_frame();
    if (drawable && g_app.window->gl) {
        gl_init_extensions(g_config.use_shader.current == YES, g_config.use_fbo.current == YES,
                           g_config.ground_mipmaps.current == YES);
        gl_init_state(g_settings.fugly);
        shaders_build(); // only when the configuration and the driver leave programs on
        ui_start();
        if (!frame_end(g_app.window)) drawable = 0;
    }
    controls_setup();
    bindings_resolve(g_app.window);

    physics_open();
    // The bikes' contacts are found on this many threads: "--threads", else the run-time
    // option "threads", else every core (at most 8).
    workers_start(g_settings.threads > 0 ? g_settings.threads
                                         : option_int("threads", workers_cores()));
    log_printf("Contacts on %d threads\n", workers_threads());
    ConsoleHooks console;
    console.camera_aim = console_camera_aim;
    console.set_pipe = console_set_pipe;
    console_set_hooks(console);
    // A demo on the command line brings its own track.
    int have_demo = !g_settings.demo_file.empty();
    int load_track = !g_settings.track.empty() && chosen >= 0;
    if (have_demo) {
        demo_choose(g_settings.demo_file);
        if (demo_open_chosen()) {
            int index = tracklist_find(demo_track().c_str());
            if (index >= 0) tracklist_select(index);
            load_track = 1;
        } else {
            std::string text =
                "Can't play demo '" + shown_name(g_settings.demo_file) + "': " + g_demo.in_error;
            if (g_settings.headless) {
                fprintf(stderr, "%s\n", text.c_str());
                return shutdown_with(1);
            }
            post_problem(text.c_str());
            have_demo = 0;
        }
        demo_close_playback();
    }
    int lineup[MAX_RIDERS];
    startup_lineup(have_demo, lineup);
    results_reset();
    ui_set_player();
    // One session: the demo's, the player's race or time trial, or the track's own.
    if (have_demo && load_track)
        session_start(lineup, 1, 0, 0, 1000, g_config.skill.current);
    else if (g_settings.race)
        menu_start_race(); // the race the race menu would start
    else if (g_settings.time_trial)
        session_start(nullptr, 0, g_config.record.current == YES, 0, 1000, g_config.skill.current);
    else if (load_track)
        session_start(lineup, 0, 0, 0, 1000, g_config.skill.current);
    bool wanted =
        (have_demo && load_track) || g_settings.race || g_settings.time_trial || load_track;
    // A run that was to ride at once has nothing to do without its track (the session start
    // has said why); a network race brings its track from the server.
    if (wanted && !g_session.track_loaded && riding && g_settings.connect.empty())
        return shutdown_with(1);
    // "--connect": the first network step contacts the server.
    if (!g_settings.connect.empty()) net_connect(g_settings.connect.c_str());
    // Riding at once: the main menu would hold the player's own race still.
    if ((g_settings.race || g_settings.time_trial) && g_session.track_loaded) menu_show(MENU_NONE);

    g_app.clock = FrameClock{};
    g_app.clock.last_frame_time = clock_seconds();
    if (g_app.script) {
        script_start(g_app.script, g_app.window, g_app.clock.last_frame_time);
        window_attach_script(g_app.window, g_app.script);
        g_app.script = nullptr;
    }
    if (drawable)
        while (mainloop_pass(clock_source_platform())) {
        }
    return shutdown_with(0);
}

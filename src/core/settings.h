// Run settings: values the command line and the configuration give for this run only.
#pragma once

#include <string>

struct Settings {
    // Command-line switches.
    int fugly = 0;            // flat shading and a simplified world drawing
    int nosound = 0;          // open no audio device
    int novertexarrays = 0;   // draw the ground without vertex arrays
    int nolearn = 0;          // do not write learned robot lines back at exit
    int debug_level = 0;      // 1 "--debug", 2 "--super-debug"
    int practice = 0;         // new robots take the "tester" personality
    int warp = 0;             // 100 ticks per frame, races restart automatically
    int record_video = 0;     // write every drawn frame to standard output as PPM
    std::string record_audio; // file for the mixed audio of every tick, "" when off
    int rotate_lineup = 0;    // places the lineup rotates after every menu race
    int editor = 0;           // Tab also reaches the track editor
    int show_pause_text = 1;
    int show_hud = 1;
    int mode_word = 16; // window mode word: low byte colour depth, 0x200 full screen
    int draw_render_stats = 0;
    int accurate_skip = 0; // demo skip runs tick by tick
    std::string track;     // track folder to load at start-up, "" when none
    std::string connect;   // server to join at start-up, "" when none
    std::string password;
    float chase_center[3] = {0.0f, 2.52f, 0.52f}; // chase camera target in the bike's frame
    int glfinish = 0;
    float lock_fps = 0;  // simulated frames per second per drawn frame, 0 = off
    double fake_lag = 0; // seconds, 0..1
    int fake_loss = 0;   // percent, 0..100
    // Additions for running without a display and for scripted runs.
    int headless = 0;      // no window, GL or audio
    double quit_after = 0; // end the run after this many simulated seconds, 0 = never
    std::string script;    // scripted input file ("--script"), "" when none
    int race = 0;          // start the race menu's race on the selected track
    int fast = 0;          // simulate as fast as the machine allows: no pacing, no sleeping
    int time_trial = 0;    // start a time trial on the selected track
    std::string demo_file; // the positional argument, "" when none
    int threads = 0;       // "--threads": contact threads 1..8; 0: the "threads" option

    // Render settings derived from the configuration, then overridable by the command line.
    float ground_detail = 0.0025f; // 0.125 / "ground_detail"
    int ground_texture_level = 1;  // 0..10
    int ground_texture_size = 128; // 32..1024
    float lod_scale = 1.0f;
    float lod_bias = 0.0f;
    int model_texture_level = 1; // 0..10
    int roost_frequency = 250;   // roost density
    float erode = 0.0f;          // ground wear factor, 0..1
};
extern Settings g_settings;

// Derives the render settings from the configuration (start-up, before the command line).
void settings_from_config();

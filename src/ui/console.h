// The chat and console line (menu screen 15): what Enter does with the typed line (a command
// after "/" or "\", a chat message to the race server, or nothing), the line history, the chat
// rate limit and the scrolling of the on-screen message list. Typing into the line is the
// menu's text field.
//
// Commands, matched in this order (whole word, or the first N characters of the text after
// the slash; arguments follow right after the command's name):
//   savetrackinfo   whole    writes "@<track>.trackinfo" (dir, longname, firstlap, normallap,
//                            hash)
//   renderstats     whole    render statistics on, their counters zeroed
//   togglespy       whole    toggles the "spy" setting
//   bbopt           5        "%d" one character after the name: billboard look-ahead window
//   pipe            4        "%f %f %f %d %d": length, spread, gain, first and last tap of the
//                            viewed bike's exhaust pipe
//   namedemo        8        the first word after it: the name the recording is saved under
//   camangle        8        "%f %f": camera yaw and pitch in degrees
//   fov             3        "%f": the field of view, clamped to 10..170
#pragma once

#include <string>

constexpr int CONSOLE_HISTORY = 100;     // lines kept, entry 0 being the one edited
constexpr int CONSOLE_LINE = 120;        // bytes of a line, terminator included
constexpr double CONSOLE_CHAT_GAP = 2.0; // seconds between two chat messages at least

// The exhaust pipe of an engine sound: pipe length, spread and gain, first and last tap.
struct PipeTaps {
    float length, spread, gain;
    int first_tap, last_tap;
};

// What the console changes in the modules above the menus (set by the application).
struct ConsoleHooks {
    // Aims the free camera: yaw and pitch in radians, turning rates zeroed.
    void (*camera_aim)(float yaw, float pitch) = nullptr;
    // Configures the exhaust pipe of a slot's engine sound; 1 when it did.
    int (*set_pipe)(int slot, const PipeTaps& taps) = nullptr;
};

// Process-wide console state, written only by console.cpp.
struct ConsoleState {
    char history[CONSOLE_HISTORY][CONSOLE_LINE] = {};
    int count = 1;            // entries in use, entry 0 included
    int position = 0;         // entry shown, 0 = the line being edited
    double last_chat = -1e30; // elapsed seconds of the last chat message sent
    ConsoleHooks hooks;
};
extern const ConsoleState& g_console;

// A key press while screen 15 is shown (menu key codes, typed characters).
void console_key(int code);
// Handles the typed line as Enter does.
void console_enter();
// The pipe settings a "pipe" command's arguments give: what reads, and the defaults (5.0,
// 0.9182072, -0.85, 0, 15; for a two-stroke 1.75, 0.3, -0.75, 0, 15) for what does not.
PipeTaps console_pipe_args(const char* args, int two_stroke);
// The ".trackinfo" text of the loaded track.
std::string console_trackinfo_text();
void console_set_hooks(const ConsoleHooks& hooks);
// Forgets the history, the chat time and the hooks (tests).
void console_reset();

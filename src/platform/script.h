// Scripted input: time-stamped key presses and releases read from a text file and fed into a
// window's event queue as if a device had produced them, so tests and demos can drive the
// real program.
//
// Format: one event per line, "TIME ACTION ARGUMENT"; blank lines and lines starting with "#"
// are skipped. TIME is in seconds after the start of the main loop (platform clock). ACTION:
//   press NAME     key press, NAME any key name the bindings accept ("right ctrl", "0x1c",
//                  "Joystick1 button 3", aliases such as "mouse-left")
//   release NAME   key release
//   tap NAME       press at TIME, release 0.05 s later
//   char N         typed character code N (0..255), a press only (9 is Tab)
//   type TEXT      every byte of TEXT as a typed character
#pragma once

#include <string>
#include <vector>

struct GameWindow;

enum { SCRIPT_PRESS, SCRIPT_RELEASE, SCRIPT_TAP, SCRIPT_CHAR, SCRIPT_TYPE };

struct ScriptLine {
    double time;     // seconds after the start of the main loop
    int action;      // SCRIPT_*
    std::string arg; // key name, character code or text
    int line;        // line number in the file, from 1
};

struct ScriptEvent {
    double time;
    int code;
    int pressed;
};

struct ScriptFeed {
    std::vector<ScriptLine> lines;
    std::vector<ScriptEvent> events; // resolved, in time order
    size_t next = 0;                 // first event not yet queued
    double base = 0;                 // platform clock at the start of the main loop
    int started = 0;
};

constexpr double SCRIPT_TAP_SECONDS = 0.05;
constexpr double SCRIPT_TIME_MAX = 1e7; // seconds; a later time is a malformed line

// Parses a script text; 0 and a message naming the line when a line is malformed.
int script_parse(const char* text, std::vector<ScriptLine>* out, std::string* error);
// Reads and parses a script file; null and a message on failure.
ScriptFeed* script_load(const char* path, std::string* error);
// Turns the lines into events with the window's key names (unknown names are logged and
// skipped) and starts the clock: events fall due at base + their time.
void script_start(ScriptFeed* script, GameWindow* window, double base);
// Queues every event that has fallen due by now (called by the window's event pump). Events
// stay pending while the queue is full.
void script_feed(GameWindow* window, double now);
void script_free(ScriptFeed* script);

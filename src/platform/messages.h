// On-screen messages: a 1000-line ring of which the newest five are shown for a while.
#pragma once

constexpr int MESSAGE_LINES = 1000;
constexpr int MESSAGE_LINE_SIZE = 128; // 127 characters and the terminator
constexpr int MESSAGE_VISIBLE_MAX = 5;

struct MessageList {
    char lines[MESSAGE_LINES][MESSAGE_LINE_SIZE];
    int next;            // slot the next line goes to, 0..999
    int visible;         // 0..5 newest lines shown
    double expiry;       // simulated seconds at which the oldest visible line is hidden
    double elapsed_time; // total simulated seconds since start (messages_advance)
};
extern MessageList g_messages;

// Logs the text (adding "\n" when missing) and shows it for 2 s.
void post_message(const char* text);
// A problem the user must know about (a file that could not be saved, a track or demo that
// cannot be read): shown and logged like post_message, and also said on standard error, where
// a run without a window or a terminal user looks.
void post_problem(const char* text);
// Empties the ring (start-up, tests).
void messages_clear();
// Per frame: hides one line when the expiry has passed, next expiry 5 s later.
void messages_update();
// The i-th visible line, 0 = oldest visible; null when i is out of range.
const char* messages_visible(int i);
// The main loop's simulated time moves on by seconds (every frame).
void messages_advance(double seconds);

// The log file, the error message box, allocation that never fails, and the out-of-memory rule.
#pragma once

#include <cstddef>
#include <cstdio>
#include <mutex>

// Process-wide log state. The file opens on the first message and stays open for the run.
struct LogState {
    FILE* file = nullptr;     // null when no log could be opened
    bool initialised = false; // set by the first message, never cleared
    const char* last_error = "Unknown";
    std::mutex lock;                 // messages come from the main, window and audio threads
    int box_uses_window = 0;         // message boxes may show over the game's window
    void (*oom_cleanup)() = nullptr; // closes audio and the window before an OOM exit
};
extern LogState g_log;

// Appends one time-stamped message ("[h:mm:ss.cc] " + text) and flushes. The first call opens
// the log; a first call whose format begins "DRUV_LOGFILE=" only names the file to open.
void log_printf(const char* format, ...) __attribute__((format(printf, 1, 2)));
// The start-up's set-up call: when the log is not open yet, opens it as a first message
// "DRUV_LOGFILE=<path>" would (DRUV_LOGFILE in the environment still wins).
void log_setup(const char* setup_text);
// Logs "Error: <text>\n" and remembers the text as the last error.
void log_error(const char* text);
const char* last_error();
// Closes the log and forgets it was opened, so a test can start a fresh one.
void log_reset();

// Shows a modal box with one OK button (or writes to standard error when no window is open).
// The text is cut to 1023 characters.
void error_box(const char* title, const char* format, ...) __attribute__((format(printf, 2, 3)));
// Set by the window layer: while non-zero, error_box uses a real message box.
void error_box_use_window(int on);

// Allocation that never returns null: running out of memory ends the program.
void* xmalloc(size_t size);
void* xrealloc(void* p, size_t size);
char* xstrdup(const char* text);
// Closes audio and the window (through the registered hook), shows "Error" / "Out of virtual
// memory" and exits with status 1.
[[noreturn]] void out_of_memory();
// Called by out_of_memory before the box; the application registers a function that closes
// the audio output and the window when they are open.
void log_set_oom_cleanup(void (*cleanup)());
// Routes C++ allocation failures (operator new) to out_of_memory.
void log_install_new_handler();

// Formats the log's time stamp for a clock reading; buffer of at least 32 bytes.
void log_format_stamp(char* out, size_t n, long seconds, long microseconds);

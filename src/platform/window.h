// The game window with its GL context, the display modes, and the frame bracket.
//
// The window's events are pumped on the main thread (it owns the window and the GL context);
// the frame lock and the input-queue lock are kept so the observable rules stay the same.
#pragma once

#include <mutex>
#include <string>

#include "platform/input.h"

struct SDL_Window;
struct ScriptFeed;

// The client size of the frame being drawn: {x 0, width, height, 0, 0}.
struct FrameInfo {
    int x, width, height, unused0, unused1;
};

struct DisplayMode {
    int width, height, bits, refresh; // an all-zero entry ends the list
};

constexpr int MODE_FULLSCREEN = 0x200; // mode word bit; the low byte is the colour depth

struct GameWindow {
    SDL_Window* native = nullptr;    // null for a headless window
    void* gl = nullptr;              // the GL context
    int width = 0, height = 0;       // requested, then current client size
    int depth = 16;                  // colour depth (the mode word's low byte)
    int fs_width = 0, fs_height = 0; // full-screen size in use
    std::string title;
    int fullscreen = 0; // full screen now active
    int close_flag = 0; // set while closing: later events are ignored
    int busy = 0;       // the window is being reconfigured: nothing can be drawn
    std::mutex frame_lock;
    InputState input;
    FrameInfo frame{};
    ScriptFeed* script = nullptr; // scripted input fed into the queue, or null
};

// Opens the window with a current GL context, or null (the failure is logged). The mode word's
// low byte is the colour depth; bit 0x200 asks for full screen. A width or height of 0 means
// the desktop size.
GameWindow* window_open_gl(const char* title, int width, int height, int mode_word, int alpha_bits,
                           int depth_bits, int stencil_bits, int accum_bits);
// Why the last window_open_gl failed ("" before any failure), for the user.
const char* window_open_error();
// A window without display, GL or devices: only the input queue (the cursor device, aliases and
// scripted input work). Used by headless runs and tests.
GameWindow* window_open_headless();
// Deletes the GL context, closes the devices and the window; null is ignored.
void window_close(GameWindow* window);
// The frame to draw, or null when nothing can be drawn now; holds the frame lock until frame_end.
const FrameInfo* frame_begin(GameWindow* window);
// Shows the frame and releases the frame lock; 0 when the swap failed.
int frame_end(GameWindow* window);
// Switches to full screen at that size (bit 0x200 set) or to a window of that size.
void window_set_mode(GameWindow* window, int width, int height, int mode_word);
// The display mode list, ending with an all-zero entry; built (and logged) once.
const DisplayMode* display_modes();
// The full-screen mode for a requested size: the listed mode of at least that size with the
// smallest width + height (first wins ties), else the desktop size.
DisplayMode display_mode_choose(const DisplayMode* modes, int width, int height,
                                DisplayMode desktop);
// Handles pending window-system events on the calling thread (the main thread) and feeds any
// scripted input that has come due.
void pump_messages(GameWindow* window);
// Attaches scripted input to a window; the window owns it from now on.
void window_attach_script(GameWindow* window, ScriptFeed* script);

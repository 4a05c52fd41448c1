// The game window with its GL context, the display modes, and the frame bracket.
#pragma once

struct GameWindow;

// The client size of the frame being drawn: {x 0, width, height, 0, 0}.
struct FrameInfo {
    int x, width, height, unused0, unused1;
};

struct DisplayMode {
    int width, height, bits, refresh; // an all-zero entry ends the list
};

// Opens the window with a current GL context, or null (the failure is logged). The mode word's
// low byte is the colour depth; bit 0x200 asks for full screen.
GameWindow* window_open_gl(const char* title, int width, int height, int mode_word, int alpha_bits,
                           int depth_bits, int stencil_bits, int accum_bits);
void window_close(GameWindow* window);
// The frame to draw, or null when nothing can be drawn now; holds the frame lock until frame_end.
const FrameInfo* frame_begin(GameWindow* window);
// Shows the frame and releases the frame lock; 0 when the swap failed.
int frame_end(GameWindow* window);
void window_set_mode(GameWindow* window, int width, int height, int mode_word);
// The display mode list, ending with an all-zero entry.
const DisplayMode* display_modes();
void pump_messages(GameWindow* window);

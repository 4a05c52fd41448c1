// The head-up display, the text overlay and the title screen.
//
// Instruments (in the rider and chase views): the tachometer, the gear and speed box, the lean
// indicator and the pit board with the viewed rider's in-race line. Text overlay (every view):
// the race clock, the lapping warning, the results board, the on-screen messages, the frame
// rate, the ping and the render statistics as the settings ask. Also "Paused" and the warm-up
// line. Each is gathered from the game into a HudInput, laid out into a HudModel of plain
// drawing items (testable without GL), and then drawn.
#pragma once

#include <imgui.h>

#include <string>
#include <vector>

#include "ui/feeds.h"

enum HudItemKind { HUD_RECT, HUD_IMAGE, HUD_LINE, HUD_CIRCLE, HUD_TEXT };

// One drawing item in window pixels. RECT and IMAGE span (x0, y0)-(x1, y1); LINE runs from
// (x0, y0) to (x1, y1) with width size; CIRCLE is centred at (x0, y0) with radius size; TEXT
// is anchored at (x0, y0) (its top, and its left, centre or right by align) at size pixels.
struct HudItem {
    int kind = HUD_RECT;
    float x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    float size = 0;
    ImU32 colour = 0;
    float rounding = 0;
    unsigned texture = 0;
    int font = 0;
    int align = 0;
    int shadow = 0;
    std::string text;
};

struct HudModel {
    std::vector<HudItem> items;
    // The first text item equal to text, or null.
    const HudItem* find_text(const std::string& text) const;
    int count(int kind) const;
};

constexpr int HUD_MESSAGE_LINES = 5;

// Everything the display shows, gathered from the game (or made up by a test).
struct HudInput {
    int width = 0, height = 0;
    // Instruments.
    int have_bike = 0;
    float rpm = 0;       // engine speed in revolutions per minute
    int gear = 0;        // 0 = first gear
    int gear_count = 6;  // the gears the bike's box has (1..6)
    float speed_mph = 0; // miles per hour
    float lean = 0;      // rider lean input, -1 (forward) .. 1 (back)
    int lean_indicator = 1;
    std::string plate; // race number
    int have_line = 0;
    RaceDisplay line;
    unsigned tach_texture = 0, shifter_texture = 0, pitboard_texture = 0;
    // Overlay.
    std::string clock;   // race clock text, "" when hidden
    std::string lapping; // lapping warning numbers, "" when none
    int have_board = 0;
    ResultsBoard board;
    int show_fps = 0, fps = 0;
    int show_ping = 0, ping_ms = 0;
    int ping_offset_ms = 0; // how far the local clock is behind the server's
    int show_stats = 0;
    int stats[RENDER_STAT_COUNT] = {}, stats_max[RENDER_STAT_COUNT] = {};
    std::vector<std::string> messages; // oldest first, at most 5
    int console_open = 0;              // the messages move up above the console line
};

// Process-wide HUD state.
struct HudState {
    unsigned tach = 0, shifter = 0, pitboard = 0, title = 0; // textures, 0 when missing
    int title_width = 0, title_height = 0;                   // size of the title image
    int art_loaded = 0;
    double fps_since = 0; // platform-clock second the frame count started
    int fps_frames = 0;
    int fps = 0; // frames drawn in the last whole second
};
extern HudState g_hud;

// Loads the HUD and title art and the menu renderer once a GL window exists (start-up).
void ui_start();
// Prepares text and GL drawing for a frame of the current window size (every UI draw calls it).
void ui_prepare(int width, int height);

// The loop's hooks: the instruments (rider and chase views), the text overlay (every view),
// "Paused" and the warm-up line.
void hud_draw();
void overlay_draw();
void pause_text_draw();
void warmup_text_draw();

// Counts a drawn frame for the frame rate (called once per frame by the menu drawing).
void hud_count_frame(double now);

// Gathering and layout.
void hud_gather_instruments(HudInput* in);
void hud_gather_overlay(HudInput* in);
// The visible on-screen messages, oldest first, scrolled back by scroll lines (a scrolled view
// shows five lines whether or not they have expired).
std::vector<std::string> hud_message_lines(int scroll);
void hud_layout_instruments(const HudInput& in, HudModel* out);
void hud_layout_overlay(const HudInput& in, HudModel* out);
// The chat and console input line at the lower left, with a caret when caret is set.
void hud_layout_console(const std::string& line, int width, int height, int caret, HudModel* out);
// "Paused" at 2/30 of the height, centred near the top; the warm-up text one line lower.
void hud_layout_pause(int width, int height, HudModel* out);
void hud_layout_warmup(int width, int height, HudModel* out);
// Tachometer needle angle in radians (screen angle, y down) for an engine speed: 0 rpm at
// 3/4 pi, 14000 rpm at 9/4 pi, clamped just past both ends.
float hud_tach_angle(float rpm);
// "FPS - %d", "Ground polygons - %d max=%d" ... texts of the overlay.
std::string hud_stat_line(int which, int value, int max);
// Draws a model.
void hud_render(const HudModel& model);

// Title screen: the title image filling the screen and a message ("" for none).
void title_draw(const char* message);
void title_layout(int width, int height, const char* message, int menu_shown, HudModel* out);
// Shows a whole frame of the title screen with a message (loading screens).
void ui_loading_screen(const char* message);

// Forgets the HUD state (tests).
void hud_reset();

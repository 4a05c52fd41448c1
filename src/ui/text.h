// Text and 2D drawing for the menus, the HUD and the title screen: the Dear ImGui context, the
// fonts (DejaVu Sans rasterised into ImGui's atlas at sizes that follow the screen height) and
// overlay layers: draw lists that are filled and then drawn at once over the frame.
//
// Coordinates are window pixels, (0, 0) at the top-left corner, y down.
#pragma once

#include <imgui.h>

#include <vector>

struct ImDrawListSharedData;

enum UiFont {
    FONT_BODY = 0, // menu items, HUD lines
    FONT_BOLD,     // headings, selected items, HUD numbers
    FONT_BIG,      // "Paused", the gear digit, the title's messages (bold, 2/30 of the height)
    FONT_COUNT
};

enum { ALIGN_LEFT = 0, ALIGN_CENTRE = 1, ALIGN_RIGHT = 2 };

// Process-wide text and layer state.
struct UiText {
    bool context_made = false;
    int height = 0;            // screen height the fonts were built for, 0 before the first build
    float px[FONT_COUNT] = {}; // pixel size of each font
    ImFont* fonts[FONT_COUNT] = {};
    int from_ttf = 0;                       // 1 when DejaVu Sans was found, 0 with ImGui's own font
    std::vector<unsigned char> ttf[2];      // regular and bold font files, kept for the atlas
    int atlas_generation = 0;               // counts atlas rebuilds (the renderer re-uploads)
    ImDrawListSharedData* shared = nullptr; // for layers drawn outside an ImGui frame
    ImDrawList* layer = nullptr;
    int layer_open = 0;
    int layer_width = 0, layer_height = 0;
};
extern UiText g_text;

// Creates the ImGui context on first use and (re)builds the fonts for a screen height. Nothing
// here touches GL; the renderer uploads the atlas when atlas_generation moved.
void text_prepare(int screen_height);
// Font sizes for a screen height (pixels): body, bold and big.
void text_sizes_for_height(int screen_height, float px[FONT_COUNT]);
ImFont* text_font(int font);
float text_px(int font);
// Size of a text in a font drawn at px pixels.
ImVec2 text_size(int font, float px, const char* text);
// Draws a text with its left, centre or right edge at x and its top at y; a shadow offset by
// px/16 in black at half the text's opacity when shadow is set.
void text_draw(ImDrawList* list, int font, float px, float x, float y, ImU32 colour,
               const char* text, int align = ALIGN_LEFT, int shadow = 0);

// Opens a layer covering a w x h screen and returns its draw list (cleared); text_prepare must
// have run for this height.
ImDrawList* layer_begin(int width, int height);
// Draws the layer with GL when a GL renderer is ready (never in tests or headless runs) and
// closes it.
void layer_end();

// Destroys the context and forgets everything (tests).
void text_reset();

// Colour helper: components 0..1.
inline ImU32 ui_rgba(float r, float g, float b, float a = 1.0f) {
    return ImGui::ColorConvertFloat4ToU32(ImVec4(r, g, b, a));
}

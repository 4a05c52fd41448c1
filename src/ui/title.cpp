// The title screen: the title picture filling the window (cropped, never stretched), with a
// message line (loading steps) or, without a menu, a hint how to bring the menu back.
#include <algorithm>

#include "platform/window.h"
#include "ui/hud.h"
#include "ui/menu_internal.h"
#include "ui/text.h"

void title_layout(int width, int height, const char* message, int menu_shown, HudModel* out) {
    float W = (float)width, H = (float)height;
    float px[FONT_COUNT];
    text_sizes_for_height(height, px);
    HudItem back;
    back.kind = HUD_RECT;
    back.x1 = W;
    back.y1 = H;
    back.colour = IM_COL32(20, 26, 34, 255);
    out->items.push_back(back);
    if (g_hud.title) {
        // Cover the window keeping the picture's shape; its name sits at its centre.
        float iw = g_hud.title_width > 0 ? (float)g_hud.title_width : 1024.0f;
        float ih = g_hud.title_height > 0 ? (float)g_hud.title_height : 512.0f;
        float scale = std::max(W / iw, H / ih);
        float dw = iw * scale, dh = ih * scale;
        HudItem pic;
        pic.kind = HUD_IMAGE;
        pic.texture = g_hud.title;
        pic.x0 = (W - dw) / 2;
        pic.y0 = (H - dh) / 2;
        pic.x1 = pic.x0 + dw;
        pic.y1 = pic.y0 + dh;
        pic.colour = IM_COL32(255, 255, 255, 255);
        out->items.push_back(pic);
    } else {
        HudItem name;
        name.kind = HUD_TEXT;
        name.text = "VORNIX";
        name.x0 = W / 2;
        name.y0 = H * 0.3f;
        name.size = px[FONT_BIG] * 2;
        name.font = FONT_BIG;
        name.align = ALIGN_CENTRE;
        name.shadow = 1;
        name.colour = IM_COL32(250, 133, 20, 255);
        out->items.push_back(name);
    }
    HudItem line;
    line.kind = HUD_TEXT;
    line.x0 = W / 2;
    line.align = ALIGN_CENTRE;
    line.shadow = 1;
    if (message && message[0]) {
        line.text = message;
        line.y0 = H * 0.86f;
        line.size = px[FONT_BOLD] * 1.3f;
        line.font = FONT_BOLD;
        line.colour = IM_COL32(255, 255, 255, 255);
        out->items.push_back(line);
    } else if (!menu_shown) {
        line.text = "Press Esc for the menu";
        line.y0 = H * 0.9f;
        line.size = px[FONT_BODY];
        line.font = FONT_BODY;
        line.colour = IM_COL32(235, 235, 235, 220);
        out->items.push_back(line);
    }
}

void title_draw(const char* message) {
    HudModel model;
    title_layout(g_menu_data.screen_width, g_menu_data.screen_height, message,
                 g_menu_data.screen != MENU_NONE, &model);
    hud_render(model);
}

void ui_loading_screen(const char* message) {
    GameWindow* w = g_menu_data.window;
    if (!w || !w->gl) return;
    const FrameInfo* frame = frame_begin(w);
    if (!frame) return;
    g_menu_data.screen_width = frame->width;
    g_menu_data.screen_height = frame->height;
    title_draw(message);
    frame_end(w);
}

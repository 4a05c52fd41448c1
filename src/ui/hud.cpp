// The head-up display: gathering what to show, laying it out, and drawing.
#include "ui/hud.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "core/config.h"
#include "core/constants.h"
#include "core/maths.h"
#include "core/settings.h"
#include "bike/bike.h"
#include "bike/bodypose.h"
#include "bike/drivetrain.h"
#include "data/texture.h"
#include "platform/clock.h"
#include "platform/messages.h"
#include "platform/window.h"
#include "race/session.h"
#include "render/glstate.h"
#include "track/track.h"
#include "render/imgui_gl.h"
#include "ui/menu.h"
#include "ui/menu_internal.h"
#include "ui/text.h"

HudState g_hud;

namespace {

constexpr float MPH_PER_FPS = (float)MPH_PER_FOOT_PER_SECOND;
constexpr float TACH_MAX_RPM = 14000.0f; // the dial's last mark

const ImU32 WHITE = IM_COL32(255, 255, 255, 255);
const ImU32 LIGHT_GREY = IM_COL32(191, 191, 191, 255); // 0.75
const ImU32 ACCENT = IM_COL32(250, 133, 20, 255);      // the title's orange
const ImU32 CHALK = IM_COL32(240, 240, 232, 255);

HudItem rect(float x0, float y0, float x1, float y1, ImU32 c, float rounding = 0) {
    HudItem it;
    it.kind = HUD_RECT;
    it.x0 = x0, it.y0 = y0, it.x1 = x1, it.y1 = y1;
    it.colour = c;
    it.rounding = rounding;
    return it;
}

HudItem image(unsigned tex, float x0, float y0, float x1, float y1) {
    HudItem it = rect(x0, y0, x1, y1, WHITE);
    it.kind = HUD_IMAGE;
    it.texture = tex;
    return it;
}

HudItem line(float x0, float y0, float x1, float y1, float width, ImU32 c) {
    HudItem it = rect(x0, y0, x1, y1, c);
    it.kind = HUD_LINE;
    it.size = width;
    return it;
}

HudItem circle(float x, float y, float r, ImU32 c) {
    HudItem it = rect(x, y, x, y, c);
    it.kind = HUD_CIRCLE;
    it.size = r;
    return it;
}

HudItem text(const std::string& s, float x, float y, float px, ImU32 c, int font = FONT_BODY,
             int align = ALIGN_LEFT, int shadow = 1) {
    HudItem it = rect(x, y, x, y, c);
    it.kind = HUD_TEXT;
    it.text = s;
    it.size = px;
    it.font = font;
    it.align = align;
    it.shadow = shadow;
    return it;
}

float body_px(int height) {
    float px[FONT_COUNT];
    text_sizes_for_height(height, px);
    return px[FONT_BODY];
}

// The gear box art lists the gears from the top as 6 5 4 3 2 N 1; row k's label sits on the
// baseline (0.2 + 0.115 k) of the box's size.
int shifter_row(int gear) {
    int n = std::clamp(gear, 0, 5) + 1;
    return n == 1 ? 6 : 6 - n;
}

void layout_tach(const HudInput& in, float x0, float y0, float size, HudModel* out) {
    if (in.tach_texture) out->items.push_back(image(in.tach_texture, x0, y0, x0 + size, y0 + size));
    float cx = x0 + size / 2, cy = y0 + size / 2, a = hud_tach_angle(in.rpm);
    out->items.push_back(line(cx - std::cos(a) * size * 0.06f, cy - std::sin(a) * size * 0.06f,
                              cx + std::cos(a) * size * 0.40f, cy + std::sin(a) * size * 0.40f,
                              std::max(2.0f, size * 0.022f), IM_COL32(255, 70, 25, 255)));
    out->items.push_back(circle(cx, cy, size * 0.045f, IM_COL32(150, 150, 156, 255)));
}

void layout_shifter(const HudInput& in, float x0, float y0, float s, HudModel* out) {
    if (in.shifter_texture)
        out->items.push_back(image(in.shifter_texture, x0, y0, x0 + s, y0 + s));
    else
        out->items.push_back(rect(x0, y0, x0 + s, y0 + s, IM_COL32(13, 13, 15, 217), s * 0.08f));
    // The labels beside the gate bar: 1, N, then 2 up to the bike's own top gear.
    static const char* const LABELS[7] = {"6", "5", "4", "3", "2", "N", "1"};
    int top = std::clamp(in.gear_count, 1, 6);
    for (int row = 0; row < 7; row++) {
        bool shown = row >= 5 || 6 - row <= top;
        if (shown)
            out->items.push_back(text(LABELS[row], x0 + 0.14f * s, y0 + (0.1f + 0.115f * row) * s,
                                      0.1f * s, IM_COL32(153, 153, 153, 255), FONT_BOLD, ALIGN_LEFT,
                                      0));
    }
    int k = shifter_row(in.gear);
    float base = (0.2f + 0.115f * k) * s;
    // The lever's knob on the gate bar, beside the gear's label.
    out->items.push_back(rect(x0 + 0.1f * s, y0 + base - 0.095f * s, x0 + 0.36f * s,
                              y0 + base + 0.02f * s, IM_COL32(250, 133, 20, 90), 0.03f * s));
    out->items.push_back(circle(x0 + 0.31f * s, y0 + base - 0.037f * s, 0.05f * s, ACCENT));
    char buf[16];
    snprintf(buf, sizeof buf, "%d", std::clamp(in.gear, 0, 5) + 1);
    out->items.push_back(
        text(buf, x0 + 0.64f * s, y0 + 0.1f * s, 0.42f * s, WHITE, FONT_BIG, ALIGN_CENTRE, 0));
    snprintf(buf, sizeof buf, "%d", (int)std::lround(std::max(in.speed_mph, 0.0f)));
    out->items.push_back(
        text(buf, x0 + 0.64f * s, y0 + 0.56f * s, 0.2f * s, WHITE, FONT_BOLD, ALIGN_CENTRE, 0));
    out->items.push_back(text("mph", x0 + 0.64f * s, y0 + 0.77f * s, 0.1f * s, LIGHT_GREY,
                              FONT_BODY, ALIGN_CENTRE, 0));
}

// A vertical gauge: forward lean moves the mark up, backward lean down.
void layout_lean(const HudInput& in, float x, float y0, float height, float width, HudModel* out) {
    out->items.push_back(rect(x, y0, x + width, y0 + height, IM_COL32(13, 13, 15, 190), width / 2));
    float mid = y0 + height / 2;
    out->items.push_back(line(x - width * 0.3f, mid, x + width * 1.3f, mid, 1.5f, LIGHT_GREY));
    float m = mid + std::clamp(in.lean, -1.0f, 1.0f) * (height / 2 - width / 2);
    out->items.push_back(circle(x + width / 2, m, width * 0.7f, ACCENT));
}

void layout_pitboard(const HudInput& in, float x0, float y0, float h, HudModel* out) {
    float w = h * 2;
    if (in.pitboard_texture)
        out->items.push_back(image(in.pitboard_texture, x0, y0, x0 + w, y0 + h));
    else
        out->items.push_back(rect(x0, y0, x0 + w, y0 + h * 0.82f, IM_COL32(18, 18, 20, 230), 6));
    // The slate inside the rim: x 0.05..0.95, y 0.06..0.78 of the board.
    float left = x0 + 0.09f * w, top = y0 + 0.1f * h, px = h * 0.15f, step = px * 1.08f;
    std::string number = in.have_line && !in.line.number.empty() ? in.line.number : in.plate;
    std::string first = number.empty() ? std::string() : "#" + number;
    if (in.have_line) first += (first.empty() ? "" : "  ") + in.line.place;
    out->items.push_back(text(first, left, top, px * 1.15f, ACCENT, FONT_BOLD, ALIGN_LEFT, 0));
    if (!in.have_line) return;
    float y = top + step * 1.25f;
    for (const std::string* s : {&in.line.gap, &in.line.last, &in.line.best}) {
        if (s->empty()) continue;
        out->items.push_back(text(*s, left, y, px, CHALK, FONT_BOLD, ALIGN_LEFT, 0));
        y += step;
    }
}

void layout_board(const HudInput& in, HudModel* out) {
    const ResultsBoard& b = in.board;
    float W = (float)in.width, H = (float)in.height;
    int rows = (int)b.rows.size();
    int extra = (b.total.empty() ? 0 : 1) + (int)b.penalties.size();
    // Rows shrink to fit a full gate of 40 into 80% of the screen.
    float row_h = std::min(H * 0.035f, H * 0.8f / (rows + extra + 3.5f));
    float px = row_h * 0.78f;
    float bw = std::min(W * 0.92f, px * 24.0f);
    float x0 = (W - bw) / 2, y0 = H * 0.1f;
    float bh = row_h * (rows + extra + 3.2f);
    out->items.push_back(rect(x0, y0, x0 + bw, y0 + bh, IM_COL32(10, 12, 16, 205), row_h * 0.3f));
    float y = y0 + row_h * 0.3f;
    out->items.push_back(text(b.title, W / 2, y, px * 1.2f, ACCENT, FONT_BOLD, ALIGN_CENTRE));
    y += row_h * 1.4f;
    // Columns: number and laps from the left, gap and best time right-aligned, best lap after.
    const float col[5] = {0.10f, 0.24f, 0.50f, 0.76f, 0.88f};
    const int align[5] = {ALIGN_RIGHT, ALIGN_LEFT, ALIGN_RIGHT, ALIGN_RIGHT, ALIGN_LEFT};
    for (int c = 0; c < 5; c++)
        out->items.push_back(text(RESULTS_BOARD_HEADINGS[c], x0 + col[c] * bw, y, px, LIGHT_GREY,
                                  FONT_BOLD, align[c]));
    y += row_h * 1.1f;
    for (int r = 0; r < rows; r++) {
        const ResultsBoardRow& row = b.rows[r];
        if (r % 2 == 1)
            out->items.push_back(rect(x0 + row_h * 0.3f, y - row_h * 0.08f, x0 + bw - row_h * 0.3f,
                                      y + row_h * 0.92f, IM_COL32(0, 0, 0, 90)));
        ImU32 c = row.viewed ? WHITE : LIGHT_GREY;
        const std::string* cells[5] = {&row.number, &row.laps, &row.gap, &row.best, &row.best_lap};
        for (int k = 0; k < 5; k++)
            out->items.push_back(text(*cells[k], x0 + col[k] * bw, y, px, c,
                                      row.viewed ? FONT_BOLD : FONT_BODY, align[k], 0));
        y += row_h;
    }
    y += row_h * 0.3f;
    if (!b.total.empty()) {
        out->items.push_back(text(b.total, x0 + row_h, y, px, WHITE));
        y += row_h;
    }
    for (const std::string& p : b.penalties) {
        out->items.push_back(text(p, x0 + row_h, y, px, IM_COL32(255, 150, 120, 255)));
        y += row_h;
    }
}

} // namespace

const HudItem* HudModel::find_text(const std::string& s) const {
    for (const HudItem& it : items)
        if (it.kind == HUD_TEXT && it.text == s) return &it;
    return nullptr;
}

int HudModel::count(int kind) const {
    int n = 0;
    for (const HudItem& it : items) n += it.kind == kind;
    return n;
}

float hud_tach_angle(float rpm) {
    float f = std::clamp(rpm / TACH_MAX_RPM, -0.02f, 1.02f);
    return 0.75f * PI_F + 1.5f * PI_F * f;
}

std::string hud_stat_line(int which, int value, int max) {
    static const char* const NAMES[RENDER_STAT_COUNT] = {
        "Ground polygons", "Model polygons",  "Model vertices", "Billboards",
        "Decals",          "Texture Changes", "Shader Changes"};
    char buf[96];
    if (which >= 0 && which < RENDER_STAT_COUNT)
        snprintf(buf, sizeof buf, "%s - %d max=%d", NAMES[which], value, max);
    else
        snprintf(buf, sizeof buf, "FPS - %d", value);
    return buf;
}

std::vector<std::string> hud_message_lines(int scroll) {
    std::vector<std::string> out;
    if (scroll <= 0) {
        for (int i = 0; i < g_messages.visible; i++) out.push_back(messages_visible(i));
        return out;
    }
    // Browsing back: the five lines ending `scroll` lines before the newest, skipping slots
    // that were never written.
    for (int k = HUD_MESSAGE_LINES - 1; k >= 0; k--) {
        int back = scroll + k + 1; // 1 = the newest line
        if (back > MESSAGE_LINES) continue;
        const char* s = g_messages.lines[(g_messages.next - back + MESSAGE_LINES) % MESSAGE_LINES];
        if (s[0]) out.push_back(s);
    }
    return out;
}

void hud_layout_instruments(const HudInput& in, HudModel* out) {
    if (!in.have_bike) return;
    float W = (float)in.width, H = (float)in.height, m = H * 0.02f;
    float tach = H * 0.3f, box = H * 0.16f;
    float tx = W - m - tach, ty = H - m - tach;
    layout_tach(in, tx, ty, tach, out);
    float sx = tx - box - m * 0.5f, sy = H - m - box;
    layout_shifter(in, sx, sy, box, out);
    if (in.lean_indicator) layout_lean(in, sx - H * 0.035f, sy, box, H * 0.016f, out);
    layout_pitboard(in, m, m, H * 0.2f, out);
}

void hud_layout_overlay(const HudInput& in, HudModel* out) {
    float W = (float)in.width, H = (float)in.height, m = H * 0.02f;
    float px = body_px(in.height);
    if (!in.clock.empty())
        out->items.push_back(text(in.clock, W / 2, m, px * 1.1f, WHITE, FONT_BOLD, ALIGN_CENTRE));
    if (!in.lapping.empty()) {
        float y = m + px * 1.7f, tw = px * 0.62f * (float)in.lapping.size() + px;
        out->items.push_back(rect(W / 2 - tw / 2, y, W / 2 + tw / 2, y + px * 1.35f,
                                  ui_rgba(0, 0.5f, 1, 0.5f), px * 0.2f));
        out->items.push_back(
            text(in.lapping, W / 2, y + px * 0.15f, px, WHITE, FONT_BOLD, ALIGN_CENTRE));
    }
    if (in.have_board) layout_board(in, out);
    // Frame rate, ping and statistics down the right edge.
    float y = m;
    if (in.show_fps) {
        out->items.push_back(
            text(hud_stat_line(-1, in.fps, 0), W - m, y, px, WHITE, FONT_BODY, ALIGN_RIGHT));
        y += px * 1.2f;
    }
    if (in.show_ping) {
        char buf[64];
        snprintf(buf, sizeof buf, "Ping - %dms (%dms offset)", in.ping_ms, in.ping_offset_ms);
        out->items.push_back(text(buf, W - m, y, px, WHITE, FONT_BODY, ALIGN_RIGHT));
        y += px * 1.2f;
    }
    if (in.show_stats) {
        for (int i = 0; i < RENDER_STAT_COUNT; i++) {
            out->items.push_back(text(hud_stat_line(i, in.stats[i], in.stats_max[i]), W - m, y,
                                      px * 0.85f, LIGHT_GREY, FONT_BODY, ALIGN_RIGHT));
            y += px * 1.05f;
        }
        if (!in.show_fps)
            out->items.push_back(text(hud_stat_line(-1, in.fps, 0), W - m, y, px * 0.85f,
                                      LIGHT_GREY, FONT_BODY, ALIGN_RIGHT));
    }
    // Messages, newest last, at the lower left (above the console line when it is open).
    float bottom = H - m - (in.console_open ? px * 1.8f : 0);
    int n = (int)in.messages.size();
    for (int i = 0; i < n; i++) {
        float ly = bottom - (n - i) * px * 1.25f;
        out->items.push_back(text(in.messages[i], m, ly, px, WHITE));
    }
}

void hud_layout_console(const std::string& line, int width, int height, int caret, HudModel* out) {
    float W = (float)width, H = (float)height, m = H * 0.02f, px = body_px(height);
    float ly = H - m - px * 1.45f;
    out->items.push_back(
        rect(m * 0.5f, ly - px * 0.2f, W * 0.7f, ly + px * 1.35f, IM_COL32(0, 0, 0, 170), 4));
    out->items.push_back(text("Say: " + line + (caret ? "_" : ""), m, ly, px, WHITE));
}

void hud_layout_pause(int width, int height, HudModel* out) {
    float px = height * 2.0f / 30.0f;
    out->items.push_back(
        text("Paused", width / 2.0f, height * 0.12f, px, WHITE, FONT_BIG, ALIGN_CENTRE));
}

void hud_layout_warmup(int width, int height, HudModel* out) {
    float px = height * 2.0f / 30.0f;
    out->items.push_back(text("Warmup mode - collisions disabled", width / 2.0f,
                              height * 0.12f + px * 1.2f, px * 0.6f, WHITE, FONT_BOLD,
                              ALIGN_CENTRE));
}

void hud_gather_instruments(HudInput* in) {
    in->width = g_menu_data.screen_width;
    in->height = g_menu_data.screen_height;
    in->tach_texture = g_hud.tach;
    in->shifter_texture = g_hud.shifter;
    in->pitboard_texture = g_hud.pitboard;
    in->lean_indicator = g_config.lean_indicator.current == YES;
    const Bike* bike = g_session.slots[g_session.viewed_rider % MAX_RIDERS].bike;
    in->have_bike = bike != nullptr;
    if (!bike) return;
    in->rpm = bike->engine_speed * RPM_PER_RAD_PER_SECOND;
    in->gear = bike->gear;
    in->gear_count = bike_gear_count(bike);
    in->lean = bike->lean;
    in->plate = bike->plate;
    in->speed_mph = bike_frame_speed(bike) * MPH_PER_FPS;
    in->have_line = feed_in_race(&in->line);
}

void hud_gather_overlay(HudInput* in) {
    in->width = g_menu_data.screen_width;
    in->height = g_menu_data.screen_height;
    if (g_config.draw_time) in->clock = feed_race_clock();
    in->lapping = feed_lapping_warning();
    in->have_board = feed_results_board(&in->board);
    in->show_fps = g_config.draw_fps != 0;
    in->fps = g_hud.fps;
    int ping = feed_ping_ms();
    in->show_ping = g_config.draw_ping && ping >= 0;
    in->ping_ms = ping;
    in->ping_offset_ms = feed_ping_offset_ms();
    in->show_stats = g_settings.draw_render_stats != 0;
    if (in->show_stats && !feed_render_stats(in->stats, in->stats_max)) in->show_stats = 0;
    in->console_open = g_menu_data.screen == SCREEN_CONSOLE;
    in->messages = hud_message_lines(menu_message_scroll());
}

void ui_start() {
    if (g_hud.art_loaded) return;
    g_hud.art_loaded = 1;
    if (!g_imgui_gl.enabled && g_menu_data.window && g_menu_data.window->gl)
        imgui_gl_enable(g_gl.multitexture);
    g_hud.tach = texture_load("!@tach.png");
    g_hud.shifter = texture_load("!@shifter.png");
    g_hud.pitboard = texture_load("!@pitboard.png");
    g_hud.title = texture_load("!@title.ppm");
    imgui_gl_texture_size(g_hud.title, &g_hud.title_width, &g_hud.title_height);
    loading_set_screen(ui_loading_screen);
}

void ui_prepare(int width, int height) {
    if (!g_imgui_gl.enabled && g_menu_data.window && g_menu_data.window->gl)
        imgui_gl_enable(g_gl.multitexture);
    text_prepare(height);
    imgui_gl_sync_fonts(g_text.atlas_generation);
    (void)width;
}

void hud_render(const HudModel& model) {
    if (model.items.empty()) return;
    int w = g_menu_data.screen_width, h = g_menu_data.screen_height;
    ui_prepare(w, h);
    ImDrawList* dl = layer_begin(w, h);
    for (const HudItem& it : model.items) {
        switch (it.kind) {
        case HUD_RECT:
            dl->AddRectFilled(ImVec2(it.x0, it.y0), ImVec2(it.x1, it.y1), it.colour, it.rounding);
            break;
        case HUD_IMAGE:
            if (it.texture)
                dl->AddImage((ImTextureID)(uintptr_t)it.texture, ImVec2(it.x0, it.y0),
                             ImVec2(it.x1, it.y1), ImVec2(0, 0), ImVec2(1, 1), it.colour);
            break;
        case HUD_LINE:
            dl->AddLine(ImVec2(it.x0, it.y0), ImVec2(it.x1, it.y1), it.colour, it.size);
            break;
        case HUD_CIRCLE:
            dl->AddCircleFilled(ImVec2(it.x0, it.y0), it.size, it.colour);
            break;
        case HUD_TEXT:
            text_draw(dl, it.font, it.size, it.x0, it.y0, it.colour, it.text.c_str(), it.align,
                      it.shadow);
            break;
        }
    }
    layer_end();
}

void hud_draw() {
    HudInput in;
    hud_gather_instruments(&in);
    HudModel model;
    hud_layout_instruments(in, &model);
    hud_render(model);
}

void overlay_draw() {
    HudInput in;
    hud_gather_overlay(&in);
    HudModel model;
    hud_layout_overlay(in, &model);
    hud_render(model);
}

void pause_text_draw() {
    HudModel model;
    hud_layout_pause(g_menu_data.screen_width, g_menu_data.screen_height, &model);
    hud_render(model);
}

void warmup_text_draw() {
    HudModel model;
    hud_layout_warmup(g_menu_data.screen_width, g_menu_data.screen_height, &model);
    hud_render(model);
}

void hud_count_frame(double now) {
    if (g_hud.fps_since == 0 || now < g_hud.fps_since) {
        g_hud.fps_since = now;
        g_hud.fps_frames = 0;
    }
    g_hud.fps_frames++;
    if (now - g_hud.fps_since >= 1.0) {
        g_hud.fps = (int)std::lround(g_hud.fps_frames / (now - g_hud.fps_since));
        g_hud.fps_since = now;
        g_hud.fps_frames = 0;
    }
}

void hud_reset() {
    g_hud = HudState{};
}

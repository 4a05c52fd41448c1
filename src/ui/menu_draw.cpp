// Drawing the menus with Dear ImGui: one panel per screen with a heading, the items (label on
// the left, value on the right, the selected row highlighted), a help line and the keys. The
// pointer works through the same model as the keys: hovering selects, clicking a value steps
// it (left half down, right half up), dragging a slider sets it, clicking anything else
// chooses it once the frame is done.
#include <imgui.h>

#include <algorithm>
#include <cmath>

#include "core/config.h"
#include "bike/bike.h"
#include "platform/clock.h"
#include "platform/input.h"
#include "race/session.h"
#include "ui/feeds.h"
#include "ui/hud.h"
#include "render/imgui_gl.h"
#include "ui/menu.h"
#include "ui/menu_internal.h"
#include "ui/text.h"

namespace {

const ImU32 ACCENT = IM_COL32(250, 133, 20, 255);
const ImU32 ACCENT_SOFT = IM_COL32(250, 133, 20, 70);
const ImU32 TEXT = IM_COL32(236, 236, 236, 255);
const ImU32 TEXT_DIM = IM_COL32(150, 150, 155, 255);
const ImU32 TEXT_OFF = IM_COL32(105, 105, 110, 255);
const ImU32 SLIDER_BACK = IM_COL32(255, 255, 255, 40);

struct DrawState {
    double last_time = 0;
    int last_pointer[2] = {-1, -1};
    int last_selected = -1;
    int last_screen = -2;
    int drag_item = -1; // slider being dragged with the pointer
    int styled_for = 0; // font size the style was set up for
    int wheel_looked = 0;
    Axis* wheel = nullptr; // the mouse wheel, scrolling long screens
};
DrawState g_draw;

void style_for(float px) {
    if (g_draw.styled_for == (int)px) return;
    g_draw.styled_for = (int)px;
    ImGuiStyle& st = ImGui::GetStyle();
    st = ImGuiStyle();
    st.WindowRounding = px * 0.45f;
    st.WindowBorderSize = 1.5f;
    st.WindowPadding = ImVec2(px * 1.1f, px * 0.9f);
    st.ItemSpacing = ImVec2(px * 0.4f, px * 0.12f);
    st.ScrollbarSize = px * 0.45f;
    st.ScrollbarRounding = px;
    st.ChildRounding = 0;
    st.CellPadding = ImVec2(px * 0.35f, px * 0.12f);
    ImVec4* c = st.Colors;
    c[ImGuiCol_WindowBg] = ImVec4(0.05f, 0.06f, 0.08f, 0.88f);
    c[ImGuiCol_ChildBg] = ImVec4(0, 0, 0, 0);
    c[ImGuiCol_Border] = ImVec4(0.98f, 0.52f, 0.08f, 0.55f);
    c[ImGuiCol_Text] = ImVec4(0.93f, 0.93f, 0.93f, 1);
    c[ImGuiCol_ScrollbarBg] = ImVec4(0, 0, 0, 0);
    c[ImGuiCol_ScrollbarGrab] = ImVec4(1, 1, 1, 0.25f);
    c[ImGuiCol_ScrollbarGrabHovered] = ImVec4(1, 1, 1, 0.4f);
    c[ImGuiCol_ScrollbarGrabActive] = ImVec4(0.98f, 0.52f, 0.08f, 0.8f);
    c[ImGuiCol_TableHeaderBg] = ImVec4(1, 1, 1, 0.08f);
    c[ImGuiCol_TableRowBg] = ImVec4(0, 0, 0, 0);
    c[ImGuiCol_TableRowBgAlt] = ImVec4(1, 1, 1, 0.04f);
    c[ImGuiCol_TableBorderLight] = ImVec4(1, 1, 1, 0.08f);
    c[ImGuiCol_TableBorderStrong] = ImVec4(1, 1, 1, 0.15f);
}

bool has_value(const MenuItem& it) {
    return it.kind == ITEM_CHOICE || it.kind == ITEM_SLIDER || it.kind == ITEM_TOGGLE ||
           it.kind == ITEM_NUMBER || it.kind == ITEM_TEXT || it.kind == ITEM_BINDING ||
           it.kind == ITEM_LIST;
}

bool steps(const MenuItem& it) {
    return it.kind == ITEM_CHOICE || it.kind == ITEM_TOGGLE || it.kind == ITEM_NUMBER ||
           it.kind == ITEM_LIST || it.kind == ITEM_SLIDER;
}

// The value text, with a bike setup slider's physical value after it.
std::string value_text(const MenuItem& it, int editing) {
    std::string v = menu_item_value(it);
    if (it.setup_key) {
        char phys[64];
        if (bike_setup_format(bike_info_find(g_config.bike.text()), it.setup_key,
                              (float)it.slider->value, phys, sizeof phys))
            v += std::string("   ") + phys;
    }
    if (editing) v += (std::fmod(ImGui::GetTime(), 1.0) < 0.5) ? "_" : " ";
    return v;
}

float fraction_of(const Slider& s) {
    return s.max > s.min ? (float)((s.value - s.min) / (s.max - s.min)) : 0.0f;
}

// Height of a label row: a heading, or wrapped text with a quarter line above and below.
float label_height(const MenuItem& it, float px, float width) {
    if (it.heading == 1) return px * 1.75f;
    ImFont* f = text_font(it.heading == 2 ? FONT_BOLD : FONT_BODY);
    float h = f->CalcTextSizeA(px, 1e9f, width - px * 1.2f, it.label.c_str()).y;
    return h + px * 0.5f;
}

// One row of the item list.
void draw_row(const MenuPage& page, int i, int selected, int screen, float px, float row_f,
              bool pointer_moved, bool* scroll_to) {
    const MenuItem& it = page.items[i];
    ImDrawList* dl = ImGui::GetWindowDrawList();
    ImVec2 pos = ImGui::GetCursorScreenPos();
    float rw = ImGui::GetContentRegionAvail().x;
    if (it.kind == ITEM_LABEL) {
        float h = label_height(it, px, rw);
        if (it.heading == 1) {
            text_draw(dl, FONT_BOLD, px * 0.82f, pos.x + px * 0.4f, pos.y + px * 0.7f, ACCENT,
                      it.label.c_str());
            dl->AddLine(ImVec2(pos.x + px * 0.4f, pos.y + h - 2), ImVec2(pos.x + rw, pos.y + h - 2),
                        IM_COL32(250, 133, 20, 60), 1);
        } else {
            ImU32 c = it.heading == 2 ? IM_COL32(255, 170, 90, 255) : IM_COL32(190, 190, 198, 255);
            dl->AddText(text_font(it.heading == 2 ? FONT_BOLD : FONT_BODY), px,
                        ImVec2(pos.x + px * 0.6f, pos.y + px * 0.25f), c, it.label.c_str(), nullptr,
                        rw - px * 1.2f);
        }
        ImGui::Dummy(ImVec2(rw, h));
        return;
    }
    float h = px * row_f;
    ImGui::PushID(i);
    bool clicked = ImGui::InvisibleButton("row", ImVec2(rw, h));
    bool hovered = ImGui::IsItemHovered(), active = ImGui::IsItemActive();
    bool activated = ImGui::IsItemActivated();
    ImGui::PopID();
    if (hovered && pointer_moved && !it.disabled && selected != i) menu_select(i);
    bool sel = selected == i;
    if (sel && *scroll_to) {
        ImGui::SetScrollHereY(0.5f);
        *scroll_to = false;
    }
    ImVec2 a = pos, b = ImVec2(pos.x + rw, pos.y + h);
    if (sel) {
        dl->AddRectFilled(a, b, ACCENT_SOFT, px * 0.3f);
        dl->AddRectFilled(a, ImVec2(a.x + px * 0.22f, b.y), ACCENT, px * 0.3f,
                          ImDrawFlags_RoundCornersLeft);
    } else if (hovered && !it.disabled) {
        dl->AddRectFilled(a, b, IM_COL32(255, 255, 255, 18), px * 0.3f);
    }
    ImU32 colour = it.disabled ? TEXT_OFF : sel ? IM_COL32(255, 255, 255, 255) : TEXT;
    float ty = a.y + (h - px) * 0.5f;
    bool centred = !has_value(it) && page.items.size() < 12 && screen == SCREEN_MAIN;
    if (centred)
        text_draw(dl, sel ? FONT_BOLD : FONT_BODY, px * 1.05f, a.x + rw / 2, ty - px * 0.03f,
                  colour, it.label.c_str(), ALIGN_CENTRE);
    else
        text_draw(dl, sel ? FONT_BOLD : FONT_BODY, px, a.x + px * 0.7f, ty, colour,
                  it.label.c_str());
    if (it.kind == ITEM_SCREEN && !centred) {
        text_draw(dl, FONT_BODY, px, b.x - px * 0.7f, ty, TEXT_DIM, ">", ALIGN_RIGHT);
        if (!it.value.empty())
            text_draw(dl, FONT_BODY, px, b.x - px * 1.8f, ty, sel ? ACCENT : TEXT_DIM,
                      it.value.c_str(), ALIGN_RIGHT);
    }

    // The value column.
    float vx0 = a.x + rw * 0.5f, vx1 = b.x - px * 0.7f;
    if (has_value(it)) {
        bool editing = sel && g_menu_data.editing && it.kind == ITEM_TEXT;
        std::string v = value_text(it, editing);
        ImU32 vc = it.disabled ? TEXT_OFF : sel ? ACCENT : TEXT_DIM;
        if (editing) {
            dl->AddRect(ImVec2(vx0 - px * 0.2f, a.y + px * 0.15f),
                        ImVec2(vx1 + px * 0.2f, b.y - px * 0.15f), ACCENT, px * 0.2f, 0, 1.5f);
            vc = IM_COL32(255, 255, 255, 255);
        }
        if (it.kind == ITEM_SLIDER) {
            float f = fraction_of(*it.slider);
            float by = b.y - px * 0.38f;
            dl->AddRectFilled(ImVec2(vx0, by), ImVec2(vx1, by + px * 0.16f), SLIDER_BACK,
                              px * 0.08f);
            dl->AddRectFilled(ImVec2(vx0, by), ImVec2(vx0 + (vx1 - vx0) * f, by + px * 0.16f),
                              sel ? ACCENT : IM_COL32(200, 200, 205, 160), px * 0.08f);
            ty -= px * 0.18f;
        }
        if (sel && steps(it) && it.kind != ITEM_SLIDER) {
            text_draw(dl, FONT_BOLD, px, vx0, ty, ACCENT, "<");
            text_draw(dl, FONT_BOLD, px, vx1, ty, ACCENT, ">", ALIGN_RIGHT);
            text_draw(dl, sel ? FONT_BOLD : FONT_BODY, px, (vx0 + vx1) / 2, ty, vc, v.c_str(),
                      ALIGN_CENTRE);
        } else {
            text_draw(dl, sel ? FONT_BOLD : FONT_BODY, px, vx1, ty, vc, v.c_str(), ALIGN_RIGHT);
        }
    }

    // Pointer actions.
    if (it.disabled) return;
    ImVec2 mouse = ImGui::GetIO().MousePos;
    if (it.kind == ITEM_SLIDER) {
        if (activated && mouse.x >= vx0 - px * 0.3f) g_draw.drag_item = i;
        if (active && g_draw.drag_item == i)
            menu_slider_set(i, (mouse.x - vx0) / std::max(vx1 - vx0, 1.0f));
        return;
    }
    if (!clicked) return;
    if (steps(it)) {
        menu_select(i);
        bool on_value = mouse.x >= vx0 - px * 0.3f;
        menu_adjust(i, on_value && mouse.x < (vx0 + vx1) / 2 ? -1 : 1);
    } else {
        // Chosen once the frame is drawn: it may start a race or change the window.
        menu_select(i);
        g_menu_data.deferred_item = i;
        g_menu_data.deferred_screen = screen;
    }
}

void draw_table(const SeriesTable& t, float px) {
    int cols = (int)t.columns.size();
    if (cols == 0 || cols > 64) return;
    ImGuiTableFlags flags = ImGuiTableFlags_RowBg | ImGuiTableFlags_BordersInnerH |
                            ImGuiTableFlags_SizingFixedFit | ImGuiTableFlags_ScrollY;
    float h = std::min(px * 1.45f * (t.rows.size() + 1.5f), ImGui::GetIO().DisplaySize.y * 0.45f);
    if (!ImGui::BeginTable("standings", cols, flags, ImVec2(0, h))) return;
    for (const std::string& c : t.columns) ImGui::TableSetupColumn(c.c_str());
    ImGui::TableSetupScrollFreeze(0, 1);
    ImGui::TableHeadersRow();
    for (size_t r = 0; r < t.rows.size(); r++) {
        ImGui::TableNextRow();
        bool grey = r < t.player_row.size() && t.player_row[r];
        for (int c = 0; c < cols && c < (int)t.rows[r].size(); c++) {
            ImGui::TableSetColumnIndex(c);
            if (grey) ImGui::PushStyleColor(ImGuiCol_Text, ImVec4(0.6f, 0.6f, 0.62f, 1));
            ImGui::TextUnformatted(t.rows[r][c].c_str());
            if (grey) ImGui::PopStyleColor();
        }
    }
    ImGui::EndTable();
    ImGui::Dummy(ImVec2(0, px * 0.4f));
}

// The height the items take.
float items_height(const MenuPage& page, float px, float row_f, float width, float spacing) {
    float h = 0;
    for (const MenuItem& it : page.items) {
        h += it.kind == ITEM_LABEL ? label_height(it, px, width) : px * row_f;
        h += spacing;
    }
    return h - spacing;
}

void draw_watch_prompt(float px) {
    const KeyBinding* b = g_menu_data.watching;
    ImGuiIO& io = ImGui::GetIO();
    ImDrawList* dl = ImGui::GetForegroundDrawList();
    float W = io.DisplaySize.x, H = io.DisplaySize.y, bw = std::min(W * 0.8f, px * 24);
    ImVec2 a((W - bw) / 2, H * 0.4f), b2((W + bw) / 2, H * 0.4f + px * 4.2f);
    dl->AddRectFilled(ImVec2(0, 0), ImVec2(W, H), IM_COL32(0, 0, 0, 110));
    dl->AddRectFilled(a, b2, IM_COL32(14, 16, 20, 245), px * 0.45f);
    dl->AddRect(a, b2, ACCENT, px * 0.45f, 0, 2);
    std::string head = std::string("Choose ") + (b->label ? b->label : "the control");
    text_draw(dl, FONT_BOLD, px * 1.15f, W / 2, a.y + px * 0.7f, ACCENT, head.c_str(),
              ALIGN_CENTRE);
    text_draw(dl, FONT_BODY, px, W / 2, a.y + px * 2.2f, TEXT,
              "Press a key or button, or push a stick. Esc cancels.", ALIGN_CENTRE);
}

void draw_console(int w, int h) {
    HudModel m;
    hud_layout_console(g_menu_data.console_line, w, h, std::fmod(ImGui::GetTime(), 1.0) < 0.5, &m);
    // The line goes on ImGui's own foreground list so it shares this frame.
    ImDrawList* dl = ImGui::GetForegroundDrawList();
    for (const HudItem& it : m.items) {
        if (it.kind == HUD_RECT)
            dl->AddRectFilled(ImVec2(it.x0, it.y0), ImVec2(it.x1, it.y1), it.colour, it.rounding);
        else if (it.kind == HUD_TEXT)
            text_draw(dl, it.font, it.size, it.x0, it.y0, it.colour, it.text.c_str(), it.align,
                      it.shadow);
    }
}

void draw_panel(int screen, int w, int h) {
    MenuPage page;
    menu_build(screen, &page);
    int selected = menu_current_selection();
    float W = (float)w, H = (float)h, px = text_px(FONT_BODY);
    style_for(px);
    ImGuiIO& io = ImGui::GetIO();
    bool pointer_moved = (int)io.MousePos.x != g_draw.last_pointer[0] ||
                         (int)io.MousePos.y != g_draw.last_pointer[1];
    g_draw.last_pointer[0] = (int)io.MousePos.x;
    g_draw.last_pointer[1] = (int)io.MousePos.y;
    // Scroll to the selection when the keys moved it or the screen changed.
    bool scroll_to =
        screen != g_draw.last_screen || (selected != g_draw.last_selected && !pointer_moved);
    if (!ImGui::IsMouseDown(0)) g_draw.drag_item = -1;

    bool title_screen = screen == SCREEN_MAIN && !g_session.track_loaded;
    bool main = screen == SCREEN_MAIN;
    float width = std::min(W * 0.92f, main ? px * 15 : px * 31);
    float spacing = ImGui::GetStyle().ItemSpacing.y;
    float header = title_screen ? 0 : px * (page.subtitle.empty() ? 2.6f : 3.7f);
    SeriesTable table;
    bool have_table =
        page.table && feed_series_table(g_menu_data.series, g_menu_data.series_page, &table);
    float table_h =
        have_table ? std::min(px * 1.45f * (table.rows.size() + 1.5f), H * 0.45f) + px : 0;
    float footer = main ? 0.0f : px * 3.4f;
    ImVec2 padding(px * 1.1f, main ? px * 0.55f : px * 0.9f);
    float pad = padding.y * 2 + spacing;
    // The title screen's menu is compact so that it fits below the picture's name.
    float row_f = title_screen ? 1.32f : 1.6f;
    float content = items_height(page, px, row_f, width - padding.x * 2, spacing);
    float max_h = H * 0.92f;
    float list_h = std::min(content, max_h - header - footer - pad - table_h);
    list_h = std::max(list_h, px * 1.6f);
    float height = header + table_h + list_h + footer + pad;
    float x = (W - width) / 2;
    // On the title screen the menu sits below the picture's name.
    float y = title_screen ? std::max(H * 0.545f, H - height - H * 0.04f) : (H - height) / 2;
    if (y + height > H - H * 0.015f) y = std::max(0.0f, H - H * 0.015f - height);
    ImGui::SetNextWindowPos(ImVec2(x, y));
    ImGui::SetNextWindowSize(ImVec2(width, height));
    ImGuiWindowFlags flags = ImGuiWindowFlags_NoTitleBar | ImGuiWindowFlags_NoResize |
                             ImGuiWindowFlags_NoMove | ImGuiWindowFlags_NoCollapse |
                             ImGuiWindowFlags_NoSavedSettings | ImGuiWindowFlags_NoScrollbar |
                             ImGuiWindowFlags_NoScrollWithMouse | ImGuiWindowFlags_NoNav;
    ImGui::SetNextWindowBgAlpha(title_screen ? 0.72f : 0.95f);
    ImGui::PushStyleVar(ImGuiStyleVar_WindowPadding, padding);
    ImGui::Begin("##menu", nullptr, flags);
    ImGui::PopStyleVar();
    ImDrawList* dl = ImGui::GetWindowDrawList();
    if (!title_screen) {
        ImVec2 p = ImGui::GetCursorScreenPos();
        text_draw(dl, FONT_BOLD, px * 1.45f, p.x, p.y, ACCENT, page.title.c_str());
        if (!page.subtitle.empty())
            text_draw(dl, FONT_BODY, px * 0.9f, p.x, p.y + px * 1.85f, TEXT_DIM,
                      page.subtitle.c_str());
        ImGui::Dummy(ImVec2(width, header - spacing));
    }
    if (have_table) draw_table(table, px);
    ImGui::BeginChild("items", ImVec2(0, list_h), false, ImGuiWindowFlags_NoNav);
    for (int i = 0; i < (int)page.items.size(); i++)
        draw_row(page, i, selected, screen, px, row_f, pointer_moved, &scroll_to);
    ImGui::EndChild();
    if (!main) {
        ImVec2 p = ImGui::GetCursorScreenPos();
        p.y += px * 0.35f;
        const MenuItem* sel = selected >= 0 ? &page.items[selected] : nullptr;
        if (sel && !sel->note.empty())
            text_draw(dl, FONT_BODY, px * 0.85f, p.x, p.y, TEXT_DIM, sel->note.c_str());
        const char* keys = g_menu_data.editing
                               ? "Type, then Enter to keep it"
                               : "Up/Down choose   Left/Right change   Enter select   "
                                 "Backspace back   Esc close";
        text_draw(dl, FONT_BODY, px * 0.72f, p.x, p.y + px * 1.45f, TEXT_OFF, keys);
    }
    ImGui::End();
    g_draw.last_selected = menu_current_selection();
    g_draw.last_screen = screen;
}

} // namespace

void menu_draw() {
    double now = clock_seconds();
    hud_count_frame(now);
    int screen = g_menu_data.screen;
    if (screen == MENU_NONE) {
        g_draw.last_screen = -2;
        // The loop closes menus itself (Esc); the next screen shown is then a new one.
        g_menu_data.last_screen = MENU_NONE;
        return;
    }
    int w = g_menu_data.screen_width, h = g_menu_data.screen_height;
    if (w <= 0 || h <= 0) return;
    ui_prepare(w, h);
    ImGuiIO& io = ImGui::GetIO();
    io.DisplaySize = ImVec2((float)w, (float)h);
    io.DeltaTime = (float)std::clamp(now - g_draw.last_time, 0.001, 0.25);
    g_draw.last_time = now;
    io.MousePos = ImVec2((float)g_menu_data.cursor[0], (float)g_menu_data.cursor[1]);
    // A press that came and went between two frames still counts as one click.
    io.MouseDown[0] = g_menu_data.pointer_held || g_menu_data.pointer_pressed;
    g_menu_data.pointer_pressed = 0;
    if (!g_draw.wheel_looked && g_menu_data.window) {
        g_draw.wheel_looked = 1;
        g_draw.wheel = axis_open(g_menu_data.window, "Mouse.axis[2]");
    }
    // One notch of the wheel is 120; ImGui scrolls a few lines per unit.
    io.MouseWheel = g_draw.wheel ? axis_read(g_draw.wheel) / 120.0f : 0.0f;
    if (g_draw.last_screen == -2) io.MouseWheel = 0; // turned while no menu was shown
    ImGui::NewFrame();
    if (screen == SCREEN_CONSOLE)
        draw_console(w, h);
    else if (screen >= 0 && screen < SCREEN_COUNT)
        draw_panel(screen, w, h);
    if (g_menu_data.watching) draw_watch_prompt(text_px(FONT_BODY));
    ImGui::Render();
    imgui_gl_render(ImGui::GetDrawData());
}

// The editor's panels, drawn with Dear ImGui like the menus: the tool panel (tools, brush,
// the selection's properties, the lap lists and their warning, undo and save), the new-track
// form, and the aim mark at the middle of the view while the keys steer the brush.
#include <imgui.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>

#include "core/maths.h"
#include "data/texture.h"
#include "editor/editor_internal.h"
#include "platform/clock.h"
#include "platform/input.h"
#include "render/imgui_gl.h"
#include "track/objects.h"
#include "track/track.h"
#include "track/tracklist.h"
#include "ui/hud.h"
#include "ui/menu.h"
#include "ui/text.h"

namespace {

const ImVec4 ACCENT(0.98f, 0.52f, 0.08f, 1);
const ImVec4 WARN(1.0f, 0.35f, 0.3f, 1);
const ImVec4 DIM(0.65f, 0.65f, 0.7f, 1);
// The panels' text is smaller than the menus': the view stays in sight.
constexpr float PANEL_SCALE = 0.8f;

const char* const TOOL_NAMES[TOOL_COUNT] = {"Raise", "Lower", "Smooth", "Flatten", "Ramp",
                                            "Paint", "Gates", "Start",  "Scenery", "Decals"};

// The keys of each tool, shown under it.
const char* tool_keys(int tool) {
    switch (tool) {
    case TOOL_RAISE:
    case TOOL_LOWER:
    case TOOL_SMOOTH:
        return "Space / left button: stroke   [ ] radius   - = strength";
    case TOOL_FLATTEN:
        return "Space / left button: stroke   P: pick height   [ ] radius   - = strength";
    case TOOL_RAMP:
        return "Space / left button: mark the ends (the second builds it)   [ ] width   "
               "Backspace: forget the marks";
    case TOOL_PAINT:
        return "Space / left button: paint   , . surface   P: pick surface   [ ] radius";
    case TOOL_GATES:
        return "Enter: new gate   Space / click: select   M: move here   drag: move   Q E: turn   "
               "[ ] size   Delete\nF / N: add to first / normal lap   Shift+F / Shift+N: drop "
               "the last   I: intermediate";
    case TOOL_SLOTS:
        return "Enter: place the row of 40 here   M: move here   Q E: turn   [ ] spacing";
    case TOOL_SCENERY:
        return "Enter: place   , . choose   Space / click: select   M / drag: move   Q E: turn   "
               "[ ] size   - =: height   Delete";
    case TOOL_DECALS:
        return "Enter: place   , . choose   Space / click: select   M / drag: move   Q E: turn   "
               "[ ] size   Delete";
    }
    return "";
}

void image(unsigned texture, float px) {
    if (texture) ImGui::Image((ImTextureID)(uintptr_t)texture, ImVec2(px * 2.4f, px * 2.4f));
}

// A list of lap references as the panel shows it: gate numbers from 1, "i" for intermediate.
std::string lap_text(const std::vector<int>& refs) {
    std::string s;
    for (int ref : refs) {
        char item[16];
        if (ref >= GATE_INTERMEDIATE)
            snprintf(item, sizeof item, "%di ", ref - GATE_INTERMEDIATE + 1);
        else
            snprintf(item, sizeof item, "%d ", ref + 1);
        s += item;
    }
    return s.empty() ? "(empty)" : s;
}

void catalogue_section(int kind_of_tool, float px) {
    EditorState& e = g_editor;
    std::vector<int> items;
    int& choice = e.choice[kind_of_tool == TOOL_DECALS ? ITEM_DECAL : ITEM_BILLBOARD];
    if (kind_of_tool == TOOL_DECALS) {
        items = catalogue_of(ITEM_DECAL);
    } else {
        items = catalogue_of(ITEM_BILLBOARD);
        std::vector<int> statues = catalogue_of(ITEM_STATUE);
        items.insert(items.end(), statues.begin(), statues.end());
    }
    if (items.empty()) {
        ImGui::TextColored(DIM, "The game data holds nothing to place here");
        return;
    }
    choice = clamp(choice, 0, (int)items.size() - 1);
    const CatalogueItem& it = e.catalogue[items[choice]];
    if (ImGui::ArrowButton("##prev", ImGuiDir_Left))
        choice = (choice + (int)items.size() - 1) % (int)items.size();
    ImGui::SameLine();
    if (ImGui::ArrowButton("##next", ImGuiDir_Right)) choice = (choice + 1) % (int)items.size();
    ImGui::SameLine();
    ImGui::Text("%s %s (%d of %d)",
                it.kind == ITEM_STATUE  ? "Statue"
                : it.kind == ITEM_DECAL ? "Decal"
                                        : "Billboard",
                it.label.c_str(), choice + 1, (int)items.size());
    if (it.kind != ITEM_STATUE) image(texture_load(it.texture.c_str()), px);
    if (it.kind == ITEM_STATUE)
        ImGui::TextColored(DIM, "%s%s", it.model.c_str(),
                           it.shape.empty() ? " (no collision)" : "");
}

void selection_section() {
    EditorState& e = g_editor;
    TrackScene s;
    scene_read(&s);
    int nb = (int)s.billboards.size();
    if (e.tool == TOOL_GATES) {
        ImGui::Text("%d gates", (int)s.gates.size());
        if (e.selected >= 0 && e.selected < (int)s.gates.size()) {
            const Gate& g = s.gates[e.selected];
            ImGui::TextWrapped("Gate %d at (%.1f, %.1f), radius %.1f ft, facing %.0f deg",
                               e.selected + 1, g.centre[0], g.centre[2], g.radius,
                               std::atan2(-g.direction[0], -g.direction[2]) * 180 / PI);
        }
        ImGui::TextWrapped("First lap: %s", lap_text(s.first_lap).c_str());
        ImGui::TextWrapped("Normal lap: %s", lap_text(s.normal_lap).c_str());
    } else if (e.tool == TOOL_SLOTS) {
        if (s.slot_count == 0)
            ImGui::TextColored(DIM, "No start slots yet");
        else
            ImGui::Text("%d start slots, %.1f ft apart, facing %.0f deg", s.slot_count,
                        e.slot_spacing, s.slots[0].angle * 180 / PI);
    } else if (e.tool == TOOL_SCENERY) {
        ImGui::Text("%d billboards, %d statues", nb, (int)s.statues.size());
        if (e.selected >= 0 && e.selected < nb) {
            const SceneBillboard& b = s.billboards[e.selected];
            ImGui::Text("Billboard %s at (%.1f, %.1f), %.1f x %.1f ft, %.1f ft up",
                        b.texture.c_str(), b.x, b.z, b.width, b.height, b.y);
        } else if (e.selected >= nb && e.selected - nb < (int)s.statues.size()) {
            const SceneStatue& st = s.statues[e.selected - nb];
            ImGui::Text("Statue %s at (%.1f, %.1f), turned %.0f deg, %.1f ft up", st.model.c_str(),
                        st.x, st.z, st.angle * 180 / PI, st.y);
        }
    } else if (e.tool == TOOL_DECALS) {
        ImGui::Text("%d decals", (int)s.decals.size());
        if (e.selected >= 0 && e.selected < (int)s.decals.size()) {
            const Decal& d = s.decals[e.selected];
            const char* name = d.texture ? texture_file_name(d.texture) : nullptr;
            ImGui::Text("Decal %s at (%.1f, %.1f), %.1f ft, turned %.0f deg", name ? name : "?",
                        d.x, d.z, d.size, d.angle * 180 / PI);
        }
    }
}

// Remembers a window's rectangle so clicks on it stay off the ground.
void note_rect() {
    ImVec2 p = ImGui::GetWindowPos(), s = ImGui::GetWindowSize();
    std::vector<float>& r = g_editor.panel_rects;
    r.insert(r.end(), {p.x, p.y, p.x + s.x, p.y + s.y});
}

void tool_panel(float px, int w) {
    EditorState& e = g_editor;
    float width = std::min(px * 24, (float)w * 0.42f);
    ImGui::SetNextWindowPos(ImVec2(px * 0.4f, px * 0.4f), ImGuiCond_Always);
    ImGui::SetNextWindowSizeConstraints(ImVec2(width, 0), ImVec2(width, 10000));
    ImGuiWindowFlags flags = ImGuiWindowFlags_NoSavedSettings | ImGuiWindowFlags_AlwaysAutoResize |
                             ImGuiWindowFlags_NoCollapse | ImGuiWindowFlags_NoNav |
                             ImGuiWindowFlags_NoMove | ImGuiWindowFlags_NoFocusOnAppearing;
    int index = tracklist_find(g_track.name.c_str());
    std::string title = std::string("Track editor: ") +
                        (index >= 0 ? g_tracks.tracks[index].title : g_track.name) +
                        (e.changes ? "  (not saved)" : "") + "###editor";
    ImGui::SetNextWindowBgAlpha(0.78f);
    ImGui::Begin(title.c_str(), nullptr, flags);
    ImGui::SetWindowFontScale(PANEL_SCALE);
    float button = (ImGui::GetContentRegionAvail().x - ImGui::GetStyle().ItemSpacing.x * 3) / 4;
    for (int t = 0; t < TOOL_COUNT; t++) {
        char label[32];
        snprintf(label, sizeof label, "%d %s", (t + 1) % 10, TOOL_NAMES[t]);
        if (t % 4) ImGui::SameLine();
        bool on = e.tool == t;
        if (on) ImGui::PushStyleColor(ImGuiCol_Button, ACCENT);
        if (ImGui::Button(label, ImVec2(button, 0))) {
            if (e.stroke.active) stroke_end();
            if (e.tool != t) e.selected = -1;
            e.tool = t;
        }
        if (on) ImGui::PopStyleColor();
    }
    ImGui::Separator();
    if (e.tool <= TOOL_PAINT) {
        ImGui::SliderFloat(e.tool == TOOL_RAMP ? "Width" : "Radius", &e.radius, BRUSH_RADIUS_MIN,
                           BRUSH_RADIUS_MAX, "%.1f ft", ImGuiSliderFlags_Logarithmic);
        if (e.tool != TOOL_PAINT && e.tool != TOOL_RAMP)
            ImGui::SliderFloat("Strength", &e.strength, BRUSH_STRENGTH_MIN, BRUSH_STRENGTH_MAX,
                               e.tool <= TOOL_LOWER ? "%.2f ft/s" : "%.2f /s",
                               ImGuiSliderFlags_Logarithmic);
    }
    if (e.tool == TOOL_FLATTEN) {
        if (e.flatten_set)
            ImGui::Text("Flatten to %.2f ft", e.flatten_height);
        else
            ImGui::TextColored(DIM, "Flattens to the height where a stroke starts (P picks one)");
    }
    if (e.tool == TOOL_RAMP) {
        if (e.ramp_points == 0) ImGui::TextColored(DIM, "Mark the ramp's first end");
        if (e.ramp_points == 1)
            ImGui::Text("From (%.1f, %.1f) at %.2f ft: mark the other end", e.ramp[0][0],
                        e.ramp[0][2], e.ramp[0][1]);
        if (e.ramp_points == 2) ImGui::Text("Ramp built; mark again for another");
    }
    if (e.tool == TOOL_PAINT && !g_terrain.surfaces.empty()) {
        int n = (int)g_terrain.surfaces.size();
        e.surface = clamp(e.surface, 0, n - 1);
        if (ImGui::ArrowButton("##sprev", ImGuiDir_Left)) e.surface = (e.surface + n - 1) % n;
        ImGui::SameLine();
        if (ImGui::ArrowButton("##snext", ImGuiDir_Right)) e.surface = (e.surface + 1) % n;
        ImGui::SameLine();
        const SurfaceType& s = g_terrain.surfaces[e.surface];
        ImGui::Text("Surface %d of %d: %s", e.surface + 1, n,
                    s.texture_name.empty() ? "(no texture)" : s.texture_name.c_str());
        image(s.texture, px);
    }
    if (e.tool == TOOL_SCENERY || e.tool == TOOL_DECALS) catalogue_section(e.tool, px);
    selection_section();
    std::string problem = editor_timing_problem();
    if (!problem.empty() && (e.tool == TOOL_GATES || !g_gates.gates.empty() ||
                             !g_gates.first_lap.empty() || !g_gates.normal_lap.empty()))
        ImGui::TextColored(WARN, "Timing unusable: %s", problem.c_str());
    ImGui::Separator();
    ImGui::PushStyleColor(ImGuiCol_Text, DIM);
    ImGui::TextWrapped("%s", tool_keys(e.tool));
    ImGui::PopStyleColor();
    char label[48];
    snprintf(label, sizeof label, "Undo (%d)", (int)e.undo.size());
    if (ImGui::Button(label)) editor_undo();
    ImGui::SameLine();
    snprintf(label, sizeof label, "Redo (%d)", (int)e.redo.size());
    if (ImGui::Button(label)) editor_redo();
    ImGui::SameLine();
    if (ImGui::Button("Save")) editor_save();
    ImGui::SameLine();
    if (ImGui::Button("New track")) e.form.open = 1;
    ImGui::SameLine();
    if (ImGui::Button("Export")) {
        std::string name;
        editor_export(export_default_step(g_terrain.samples), &name);
    }
    note_rect();
    ImGui::End();
}

const char* const FIELD_NAMES[NEW_FIELD_COUNT] = {"Folder",   "Title",         "Size",
                                                  "Spacing",  "Height (flat)", "Height map PNG",
                                                  "Black at", "White at"};

std::string field_value(const NewTrackForm& f, int field) {
    char text[600];
    switch (field) {
    case NEW_FIELD_FOLDER:
        return f.folder;
    case NEW_FIELD_TITLE:
        return f.title;
    case NEW_FIELD_SIZE:
        snprintf(text, sizeof text, "%d x %d tiles (%.0f ft)", 1 << f.shift, 1 << f.shift,
                 (double)(2 << f.shift) * f.spacing);
        return text;
    case NEW_FIELD_SPACING:
        snprintf(text, sizeof text, "%.2f ft", f.spacing);
        return text;
    case NEW_FIELD_BASE:
        snprintf(text, sizeof text, "%.1f ft", f.base);
        return text;
    case NEW_FIELD_HEIGHTMAP:
        return f.heightmap.empty() ? std::string("(none: flat)") : f.heightmap;
    case NEW_FIELD_LOW:
        snprintf(text, sizeof text, "%.1f ft", f.low);
        return text;
    case NEW_FIELD_HIGH:
        snprintf(text, sizeof text, "%.1f ft", f.high);
        return text;
    }
    return "";
}

void form_panel(float px, int w, int h) {
    EditorState& e = g_editor;
    NewTrackForm& f = e.form;
    ImGui::SetNextWindowPos(ImVec2(w * 0.5f, h * 0.45f), ImGuiCond_Always, ImVec2(0.5f, 0.5f));
    ImGui::SetNextWindowSize(ImVec2(std::min(px * 30, w * 0.9f), 0));
    ImGui::SetNextWindowBgAlpha(0.95f);
    ImGui::Begin("New track###newtrack", nullptr,
                 ImGuiWindowFlags_NoSavedSettings | ImGuiWindowFlags_NoCollapse |
                     ImGuiWindowFlags_NoNav | ImGuiWindowFlags_NoMove | ImGuiWindowFlags_NoResize);
    ImGui::SetWindowFontScale(PANEL_SCALE);
    bool caret = std::fmod(ImGui::GetTime(), 1.0) < 0.5;
    for (int i = 0; i < NEW_FIELD_COUNT; i++) {
        bool on = f.field == i;
        std::string v = field_value(f, i);
        bool text_field = i == NEW_FIELD_FOLDER || i == NEW_FIELD_TITLE || i == NEW_FIELD_HEIGHTMAP;
        if (on && text_field && caret) v += "_";
        ImGui::PushID(i);
        if (ImGui::Selectable(FIELD_NAMES[i], on, 0, ImVec2(px * 8, 0))) f.field = i;
        ImGui::PopID();
        ImGui::SameLine(px * 9);
        if (on)
            ImGui::TextColored(ACCENT, "%s", v.c_str());
        else
            ImGui::TextUnformatted(v.c_str());
    }
    if (!f.error.empty()) ImGui::TextColored(WARN, "%s", f.error.c_str());
    ImGui::PushStyleColor(ImGuiCol_Text, DIM);
    ImGui::TextWrapped("Up/Down: field   type into the texts   Left/Right: change a value   "
                       "Enter: create   Ctrl+N: close");
    ImGui::PopStyleColor();
    if (ImGui::Button("Create")) editor_new_track(&f);
    ImGui::SameLine();
    if (ImGui::Button("Cancel")) f.open = 0;
    note_rect();
    ImGui::End();
}

} // namespace

int panel_form_key(int code, int pressed) {
    NewTrackForm& f = g_editor.form;
    if (!f.open) return 0;
    if (!pressed) return 1;
    bool text_field =
        f.field == NEW_FIELD_FOLDER || f.field == NEW_FIELD_TITLE || f.field == NEW_FIELD_HEIGHTMAP;
    std::string* text = f.field == NEW_FIELD_FOLDER  ? &f.folder
                        : f.field == NEW_FIELD_TITLE ? &f.title
                                                     : &f.heightmap;
    if (code == 13) {
        editor_new_track(&f);
        return 1;
    }
    if (code == 8) {
        if (text_field && !text->empty()) text->pop_back();
        return 1;
    }
    if (code < 256) {
        if (text_field && code >= 32 && code < 127 && text->size() < 500) *text += (char)code;
        return 1;
    }
    bool fine = g_editor.held[HELD_SHIFT_LEFT] || g_editor.held[HELD_SHIFT_RIGHT];
    int up = KEY_SCAN_BASE + 328, down = KEY_SCAN_BASE + 336;
    int left = KEY_SCAN_BASE + 331, right = KEY_SCAN_BASE + 333;
    if (code == up) f.field = (f.field + NEW_FIELD_COUNT - 1) % NEW_FIELD_COUNT;
    if (code == down) f.field = (f.field + 1) % NEW_FIELD_COUNT;
    if (code == left || code == right) {
        int dir = code == right ? 1 : -1;
        float big = fine ? 10.0f : 1.0f;
        switch (f.field) {
        case NEW_FIELD_SIZE:
            f.shift = clamp(f.shift + dir, NEW_TRACK_SHIFT_MIN, NEW_TRACK_SHIFT_MAX);
            break;
        case NEW_FIELD_SPACING:
            f.spacing =
                clampf(f.spacing + 0.5f * (float)dir, NEW_TRACK_SPACING_MIN, NEW_TRACK_SPACING_MAX);
            break;
        case NEW_FIELD_BASE:
            f.base = clampf(f.base + big * (float)dir, -1000, 1000);
            break;
        case NEW_FIELD_LOW:
            f.low = clampf(f.low + big * (float)dir, -1000, 1000);
            break;
        case NEW_FIELD_HIGH:
            f.high = clampf(f.high + big * (float)dir, -1000, 1000);
            break;
        }
    }
    return 1;
}

void editor_draw_panels() {
    EditorState& e = g_editor;
    int w = e.screen[0], h = e.screen[1];
    if (w <= 0 || h <= 0) return;
    ui_prepare(w, h);
    ImGuiIO& io = ImGui::GetIO();
    io.DisplaySize = ImVec2((float)w, (float)h);
    double now = clock_seconds();
    io.DeltaTime = (float)std::clamp(now - e.panel_time, 0.001, 0.25);
    e.panel_time = now;
    bool menu = g_menu.screen != MENU_NONE;
    // Under a menu the panels are shown but do not take the pointer.
    io.MousePos =
        menu ? ImVec2(-1e6f, -1e6f) : ImVec2((float)g_menu.cursor[0], (float)g_menu.cursor[1]);
    io.MouseDown[0] = !menu && (e.panel_down || e.panel_click);
    e.panel_click = 0;
    io.MouseWheel = 0;
    e.panel_rects.clear();
    ImGui::NewFrame();
    float px = text_px(FONT_BODY) * PANEL_SCALE;
    ImGui::PushFont(text_font(FONT_BODY));
    ImGui::PushStyleVar(ImGuiStyleVar_WindowPadding, ImVec2(px * 0.5f, px * 0.4f));
    ImGui::PushStyleVar(ImGuiStyleVar_ItemSpacing, ImVec2(px * 0.3f, px * 0.2f));
    ImGui::PushStyleVar(ImGuiStyleVar_FramePadding, ImVec2(px * 0.3f, px * 0.1f));
    if (e.show_panels) {
        tool_panel(px, w);
        // The general keys at the top right, beside the panel and clear of the messages.
        const char* keys = "1-0 tools   arrows, Page Up/Down, Home/End, right button: camera "
                           "(Shift: faster)   Ctrl+Z/Y undo, redo   Ctrl+S save   Ctrl+N new "
                           "track   Ctrl+E export   G grid   L lap path   H panels   Tab: ride";
        float size_px = ImGui::GetFontSize() * PANEL_SCALE;
        float left = g_editor.panel_rects.size() >= 4 ? g_editor.panel_rects[2] + px : px;
        float wrap = std::max((float)w - left - px, px * 8);
        ImVec2 size = ImGui::GetFont()->CalcTextSizeA(size_px, 1e9f, wrap, keys);
        ImDrawList* dl = ImGui::GetForegroundDrawList();
        ImVec2 at((float)w - size.x - px * 0.6f, px * 0.5f);
        dl->AddRectFilled(ImVec2(at.x - px * 0.3f, at.y - px * 0.2f),
                          ImVec2(at.x + size.x + px * 0.3f, at.y + size.y + px * 0.2f),
                          IM_COL32(0, 0, 0, 120), px * 0.3f);
        dl->AddText(ImGui::GetFont(), size_px, at, IM_COL32(220, 220, 225, 255), keys, nullptr,
                    wrap);
    }
    if (e.form.open) form_panel(px, w, h);
    ImGui::PopStyleVar(3);
    // The aim mark: where Space works while the keys steer.
    if (!e.pointer_on) {
        ImDrawList* dl = ImGui::GetForegroundDrawList();
        ImVec2 c(w * 0.5f, h * 0.5f);
        float s = px * 0.6f;
        ImU32 col = IM_COL32(255, 214, 0, 220);
        dl->AddLine(ImVec2(c.x - s, c.y), ImVec2(c.x + s, c.y), col, 2);
        dl->AddLine(ImVec2(c.x, c.y - s), ImVec2(c.x, c.y + s), col, 2);
    }
    ImGui::PopFont();
    ImGui::Render();
    imgui_gl_render(ImGui::GetDrawData());
}

#include "ui/text.h"

#include <imgui_internal.h>

#include <algorithm>
#include <cmath>

#include "data/datafile.h"
#include "platform/log.h"
#include "render/imgui_gl.h"

UiText g_text;

namespace {

// DejaVu Sans looks clean at every size, so it is rasterised at the sizes in use rather than
// scaled from one fixed-size atlas. A copy in the game data wins over the system's.
const char* const FONT_FILES[2][2] = {
    {"@fonts/DejaVuSans.ttf", "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf"},
    {"@fonts/DejaVuSans-Bold.ttf", "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf"},
};

void load_ttf_files() {
    for (int k = 0; k < 2; k++) {
        g_text.ttf[k].clear();
        for (const char* name : FONT_FILES[k])
            if (data_load(name, &g_text.ttf[k]) && g_text.ttf[k].size() > 12) break;
    }
    g_text.from_ttf = !g_text.ttf[0].empty() && !g_text.ttf[1].empty();
    if (!g_text.from_ttf)
        log_printf("Can't read the DejaVu Sans fonts; menus use the built-in font\n");
}

void make_context() {
    IMGUI_CHECKVERSION();
    ImGui::CreateContext();
    ImGuiIO& io = ImGui::GetIO();
    io.IniFilename = nullptr; // the menus keep no layout file in the working folder
    io.LogFilename = nullptr;
    io.BackendFlags |= ImGuiBackendFlags_RendererHasVtxOffset;
    io.ConfigFlags |= ImGuiConfigFlags_NoMouseCursorChange;
    io.Fonts->Flags |= ImFontAtlasFlags_NoMouseCursors;
    load_ttf_files();
    g_text.shared = IM_NEW(ImDrawListSharedData)();
    g_text.shared->SetCircleTessellationMaxError(0.30f);
    g_text.layer = IM_NEW(ImDrawList)(g_text.shared);
    g_text.context_made = true;
}

ImFont* add_font(int bold, float px) {
    ImFontAtlas* atlas = ImGui::GetIO().Fonts;
    ImFontConfig cfg;
    cfg.SizePixels = px;
    if (!g_text.from_ttf) return atlas->AddFontDefault(&cfg);
    std::vector<unsigned char>& data = g_text.ttf[bold ? 1 : 0];
    cfg.FontDataOwnedByAtlas = false; // the bytes stay in g_text.ttf
    cfg.OversampleH = 2;
    cfg.OversampleV = 1;
    return atlas->AddFontFromMemoryTTF(data.data(), (int)data.size(), px, &cfg);
}

} // namespace

void text_sizes_for_height(int h, float px[FONT_COUNT]) {
    float s = std::clamp(h / 600.0f, 0.75f, 4.0f);
    px[FONT_BODY] = std::round(19.0f * s);
    px[FONT_BOLD] = std::round(19.0f * s);
    // "Paused" is drawn at 2/30 of the screen height.
    px[FONT_BIG] = std::round(std::max(h, 200) * 2.0f / 30.0f);
}

void text_prepare(int h) {
    if (!g_text.context_made) make_context();
    if (h <= 0) h = 600;
    float px[FONT_COUNT];
    text_sizes_for_height(h, px);
    if (g_text.height && std::equal(px, px + FONT_COUNT, g_text.px)) return;
    ImFontAtlas* atlas = ImGui::GetIO().Fonts;
    atlas->Clear();
    g_text.fonts[FONT_BODY] = add_font(0, px[FONT_BODY]);
    g_text.fonts[FONT_BOLD] = add_font(1, px[FONT_BOLD]);
    g_text.fonts[FONT_BIG] = add_font(1, px[FONT_BIG]);
    unsigned char* pixels;
    int w, hh;
    atlas->GetTexDataAsRGBA32(&pixels, &w, &hh); // builds the atlas
    std::copy(px, px + FONT_COUNT, g_text.px);
    g_text.height = h;
    g_text.atlas_generation++;
    ImDrawListSharedData* d = g_text.shared;
    d->TexUvWhitePixel = atlas->TexUvWhitePixel;
    d->TexUvLines = atlas->TexUvLines;
    d->Font = g_text.fonts[FONT_BODY];
    d->FontSize = px[FONT_BODY];
    d->CurveTessellationTol = 1.25f;
    d->InitialFlags = ImDrawListFlags_AntiAliasedLines | ImDrawListFlags_AntiAliasedLinesUseTex |
                      ImDrawListFlags_AntiAliasedFill | ImDrawListFlags_AllowVtxOffset;
}

ImFont* text_font(int font) {
    return g_text.fonts[font < 0 || font >= FONT_COUNT ? FONT_BODY : font];
}

float text_px(int font) {
    return g_text.px[font < 0 || font >= FONT_COUNT ? FONT_BODY : font];
}

ImVec2 text_size(int font, float px, const char* text) {
    ImFont* f = text_font(font);
    if (!f || !text) return ImVec2(0, 0);
    return f->CalcTextSizeA(px, 1e9f, 0.0f, text);
}

void text_draw(ImDrawList* list, int font, float px, float x, float y, ImU32 colour,
               const char* text, int align, int shadow) {
    ImFont* f = text_font(font);
    if (!f || !text || !*text) return;
    if (align != ALIGN_LEFT) {
        float w = text_size(font, px, text).x;
        x -= align == ALIGN_CENTRE ? w * 0.5f : w;
    }
    x = std::round(x);
    y = std::round(y);
    if (shadow) {
        float d = std::max(1.0f, std::round(px / 16.0f));
        ImU32 alpha = (colour >> IM_COL32_A_SHIFT) & 0xff;
        list->AddText(f, px, ImVec2(x + d, y + d), IM_COL32(0, 0, 0, alpha / 2), text);
    }
    list->AddText(f, px, ImVec2(x, y), colour, text);
}

ImDrawList* layer_begin(int width, int height) {
    ImDrawList* list = g_text.layer;
    g_text.shared->ClipRectFullscreen = ImVec4(0, 0, (float)width, (float)height);
    list->_ResetForNewFrame();
    list->PushTextureID(ImGui::GetIO().Fonts->TexID);
    list->PushClipRectFullScreen();
    g_text.layer_open = 1;
    g_text.layer_width = width;
    g_text.layer_height = height;
    return list;
}

void layer_end() {
    if (!g_text.layer_open) return;
    g_text.layer_open = 0;
    imgui_gl_render_list(g_text.layer, g_text.layer_width, g_text.layer_height);
}

void text_reset() {
    if (!g_text.context_made) return;
    IM_DELETE(g_text.layer);
    IM_DELETE(g_text.shared);
    imgui_gl_shutdown(); // the renderer's back end belongs to this context
    ImGui::DestroyContext();
    g_text = UiText{};
}

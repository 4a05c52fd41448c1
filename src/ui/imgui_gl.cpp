#include "ui/imgui_gl.h"

#include <GL/gl.h>
#include <imgui.h>

#include <cstdint>

#include "ui/text.h"

ImguiGl g_imgui_gl;

namespace {

GLuint texture_of(ImTextureID id) {
    return (GLuint)(uintptr_t)id;
}

// Saves what the world drawing may have left behind and sets a 2D pixel projection.
void state_begin(int w, int h) {
    glPushAttrib(GL_ENABLE_BIT | GL_COLOR_BUFFER_BIT | GL_TRANSFORM_BIT | GL_TEXTURE_BIT |
                 GL_SCISSOR_BIT | GL_VIEWPORT_BIT | GL_POLYGON_BIT | GL_DEPTH_BUFFER_BIT |
                 GL_CURRENT_BIT | GL_LIGHTING_BIT | GL_FOG_BIT);
    glPushClientAttrib(GL_CLIENT_VERTEX_ARRAY_BIT);
    if (g_imgui_gl.multitexture) {
        // A second texture unit left enabled by the ground would tint every glyph.
        glActiveTexture(GL_TEXTURE1);
        glDisable(GL_TEXTURE_2D);
        glActiveTexture(GL_TEXTURE0);
        glClientActiveTexture(GL_TEXTURE0);
    }
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glDisable(GL_CULL_FACE);
    glDisable(GL_DEPTH_TEST);
    glDepthMask(GL_FALSE);
    glDisable(GL_LIGHTING);
    glDisable(GL_FOG);
    glDisable(GL_ALPHA_TEST);
    glDisable(GL_COLOR_MATERIAL);
    glEnable(GL_SCISSOR_TEST);
    glEnable(GL_TEXTURE_2D);
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    glShadeModel(GL_SMOOTH);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    glEnableClientState(GL_COLOR_ARRAY);
    glDisableClientState(GL_NORMAL_ARRAY);
    glViewport(0, 0, w, h);
    glMatrixMode(GL_TEXTURE);
    glPushMatrix();
    glLoadIdentity();
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glOrtho(0, w, h, 0, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
}

void state_end() {
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_TEXTURE);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopClientAttrib();
    glPopAttrib();
}

void draw_list(const ImDrawList* list, float ox, float oy, int h) {
    const ImDrawVert* vtx = list->VtxBuffer.Data;
    const ImDrawIdx* idx = list->IdxBuffer.Data;
    GLuint bound = (GLuint)-1;
    for (const ImDrawCmd& cmd : list->CmdBuffer) {
        if (cmd.UserCallback) {
            if (cmd.UserCallback != ImDrawCallback_ResetRenderState) cmd.UserCallback(list, &cmd);
            continue;
        }
        float x0 = cmd.ClipRect.x - ox, y0 = cmd.ClipRect.y - oy;
        float x1 = cmd.ClipRect.z - ox, y1 = cmd.ClipRect.w - oy;
        if (x1 <= x0 || y1 <= y0 || cmd.ElemCount == 0) continue;
        glScissor((GLint)x0, (GLint)(h - y1), (GLsizei)(x1 - x0), (GLsizei)(y1 - y0));
        GLuint tex = texture_of(cmd.TextureId);
        if (tex != bound) {
            // A command without a texture is plain colour (it only samples the white pixel).
            if (tex) {
                glEnable(GL_TEXTURE_2D);
                glBindTexture(GL_TEXTURE_2D, tex);
            } else {
                glDisable(GL_TEXTURE_2D);
            }
            bound = tex;
        }
        const ImDrawVert* base = vtx + cmd.VtxOffset;
        glVertexPointer(2, GL_FLOAT, sizeof(ImDrawVert), &base->pos);
        glTexCoordPointer(2, GL_FLOAT, sizeof(ImDrawVert), &base->uv);
        glColorPointer(4, GL_UNSIGNED_BYTE, sizeof(ImDrawVert), &base->col);
        glDrawElements(GL_TRIANGLES, (GLsizei)cmd.ElemCount,
                       sizeof(ImDrawIdx) == 2 ? GL_UNSIGNED_SHORT : GL_UNSIGNED_INT,
                       idx + cmd.IdxOffset);
    }
}

} // namespace

void imgui_gl_enable(int multitexture) {
    g_imgui_gl.enabled = 1;
    g_imgui_gl.multitexture = multitexture;
}

void imgui_gl_sync_fonts() {
    if (!g_text.context_made) return;
    ImFontAtlas* atlas = ImGui::GetIO().Fonts;
    if (!g_imgui_gl.enabled) return;
    if (g_imgui_gl.uploaded_generation == g_text.atlas_generation) return;
    unsigned char* pixels;
    int w, h;
    atlas->GetTexDataAsRGBA32(&pixels, &w, &h);
    if (!g_imgui_gl.font_texture) glGenTextures(1, &g_imgui_gl.font_texture);
    glPushAttrib(GL_TEXTURE_BIT);
    glBindTexture(GL_TEXTURE_2D, g_imgui_gl.font_texture);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, w, h, 0, GL_RGBA, GL_UNSIGNED_BYTE, pixels);
    glPopAttrib();
    atlas->SetTexID((ImTextureID)(uintptr_t)g_imgui_gl.font_texture);
    g_imgui_gl.uploaded_generation = g_text.atlas_generation;
}

void imgui_gl_render_list(ImDrawList* list, int width, int height) {
    if (!g_imgui_gl.enabled || !list || list->CmdBuffer.Size == 0 || width <= 0 || height <= 0)
        return;
    state_begin(width, height);
    draw_list(list, 0, 0, height);
    state_end();
}

void imgui_gl_render(ImDrawData* data) {
    if (!g_imgui_gl.enabled || !data || !data->Valid) return;
    int w = (int)data->DisplaySize.x, h = (int)data->DisplaySize.y;
    if (w <= 0 || h <= 0) return;
    state_begin(w, h);
    for (int n = 0; n < data->CmdListsCount; n++)
        draw_list(data->CmdLists[n], data->DisplayPos.x, data->DisplayPos.y, h);
    state_end();
}

void imgui_gl_texture_size(unsigned texture, int* width, int* height) {
    *width = *height = 0;
    if (!g_imgui_gl.enabled || !texture) return;
    GLint w = 0, h = 0;
    glPushAttrib(GL_TEXTURE_BIT);
    glBindTexture(GL_TEXTURE_2D, texture);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &w);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &h);
    glPopAttrib();
    *width = w;
    *height = h;
}

void imgui_gl_shutdown() {
    if (g_imgui_gl.enabled && g_imgui_gl.font_texture)
        glDeleteTextures(1, &g_imgui_gl.font_texture);
    g_imgui_gl = ImguiGl{};
}

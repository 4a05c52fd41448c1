#include "render/imgui_gl.h"

#include <GL/gl.h>
#include <imgui.h>
#include <backends/imgui_impl_opengl2.h>

ImguiGl g_imgui_gl;

namespace {

// The back end belongs to one ImGui context; a new context gets it set up afresh.
bool backend_ready() {
    ImGuiContext* context = ImGui::GetCurrentContext();
    if (!g_imgui_gl.enabled || !context) return false;
    if (g_imgui_gl.backend_context != context) {
        if (!ImGui_ImplOpenGL2_Init()) return false;
        g_imgui_gl.backend_context = context;
        g_imgui_gl.uploaded_generation = -1;
    }
    return true;
}

// The back end sets what ImGui itself needs; the world drawing may also have left fog, the
// alpha test, depth writes, a second texture unit or a texture matrix, which would tint,
// cut or shift every glyph.
void guard_begin() {
    glPushAttrib(GL_ENABLE_BIT | GL_COLOR_BUFFER_BIT | GL_TRANSFORM_BIT | GL_TEXTURE_BIT |
                 GL_SCISSOR_BIT | GL_VIEWPORT_BIT | GL_POLYGON_BIT | GL_DEPTH_BUFFER_BIT |
                 GL_CURRENT_BIT | GL_LIGHTING_BIT | GL_FOG_BIT);
    glPushClientAttrib(GL_CLIENT_VERTEX_ARRAY_BIT);
    if (g_imgui_gl.multitexture) {
        glActiveTexture(GL_TEXTURE1);
        glDisable(GL_TEXTURE_2D);
        glActiveTexture(GL_TEXTURE0);
        glClientActiveTexture(GL_TEXTURE0);
    }
    glDisable(GL_FOG);
    glDisable(GL_ALPHA_TEST);
    glDepthMask(GL_FALSE);
    glMatrixMode(GL_TEXTURE);
    glPushMatrix();
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
}

void guard_end() {
    glMatrixMode(GL_TEXTURE);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopClientAttrib();
    glPopAttrib();
}

} // namespace

void imgui_gl_enable(int multitexture) {
    g_imgui_gl.enabled = 1;
    g_imgui_gl.multitexture = multitexture;
}

void imgui_gl_sync_fonts(int generation) {
    if (!backend_ready() || g_imgui_gl.uploaded_generation == generation) return;
    glPushAttrib(GL_TEXTURE_BIT);
    ImGui_ImplOpenGL2_DestroyFontsTexture();
    ImGui_ImplOpenGL2_CreateFontsTexture();
    glPopAttrib();
    g_imgui_gl.uploaded_generation = generation;
}

void imgui_gl_render_list(ImDrawList* list, int width, int height) {
    if (!list || list->CmdBuffer.Size == 0 || width <= 0 || height <= 0 || !backend_ready()) return;
    ImDrawData data;
    data.Valid = true;
    data.CmdLists = &list;
    data.CmdListsCount = 1;
    data.TotalVtxCount = list->VtxBuffer.Size;
    data.TotalIdxCount = list->IdxBuffer.Size;
    data.DisplayPos = ImVec2(0, 0);
    data.DisplaySize = ImVec2((float)width, (float)height);
    data.FramebufferScale = ImVec2(1, 1);
    guard_begin();
    ImGui_ImplOpenGL2_RenderDrawData(&data);
    guard_end();
}

void imgui_gl_render(ImDrawData* data) {
    if (!data || !data->Valid || !backend_ready()) return;
    guard_begin();
    ImGui_ImplOpenGL2_RenderDrawData(data);
    guard_end();
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
    if (g_imgui_gl.backend_context && g_imgui_gl.backend_context == ImGui::GetCurrentContext())
        ImGui_ImplOpenGL2_Shutdown();
    g_imgui_gl = ImguiGl{};
}

// Drawing Dear ImGui's output (the menus, the HUD's draw list) with ImGui's own OpenGL 2
// renderer back end, inside a guard that clears what the world drawing may leave switched on
// (fog, alpha test, a second texture unit, a texture matrix). Every call does nothing until
// imgui_gl_enable ran with a GL context current (so tests and headless runs never touch GL).
#pragma once

struct ImDrawList;
struct ImDrawData;
struct ImGuiContext;

struct ImguiGl {
    int enabled = 0;                         // a GL context is current and drawing may happen
    int multitexture = 0;                    // texture units beyond the first exist
    ImGuiContext* backend_context = nullptr; // the ImGui context the back end was set up for
    int uploaded_generation = -1;            // font atlas generation of the uploaded texture
};
extern ImguiGl g_imgui_gl;

// Allows drawing from now on (the window has a GL context); multitexture tells whether texture
// units other than the first may hold state to switch off.
void imgui_gl_enable(int multitexture);
// Uploads the current ImGui context's font atlas when its generation differs from the one
// uploaded last (the atlas is rebuilt when the text sizes change) and sets its texture id.
void imgui_gl_sync_fonts(int generation);
// Draws one list over a width x height frame.
void imgui_gl_render_list(ImDrawList* list, int width, int height);
// Draws a finished ImGui frame.
void imgui_gl_render(ImDrawData* data);
// The size of level 0 of a texture (0 x 0 when unknown or without GL).
void imgui_gl_texture_size(unsigned texture, int* width, int* height);
// Lets the back end go (its font texture included) and forgets the state; call it before the
// ImGui context it was set up for is destroyed.
void imgui_gl_shutdown();

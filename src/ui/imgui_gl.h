// Drawing Dear ImGui draw lists with fixed-function OpenGL: vertex, texture-coordinate and
// colour arrays, one scissored draw call per command, alpha blending, no depth test. The font
// atlas is uploaded here too. Every call does nothing until imgui_gl_enable ran with a GL
// context current (so tests and headless runs never touch GL).
#pragma once

struct ImDrawList;
struct ImDrawData;

struct ImguiGl {
    int enabled = 0;           // a GL context is current and drawing may happen
    unsigned font_texture = 0; // GL name of the uploaded atlas, 0 before the first upload
    int uploaded_generation = -1;
    int multitexture = 0;
};
extern ImguiGl g_imgui_gl;

// Allows drawing from now on (the window has a GL context); multitexture tells whether texture
// units other than the first may hold state to switch off.
void imgui_gl_enable(int multitexture);
// Uploads the font atlas when it was rebuilt since the last upload and sets its texture id.
void imgui_gl_sync_fonts();
// Draws one list over a w x h frame.
void imgui_gl_render_list(ImDrawList* list, int width, int height);
// Draws a finished ImGui frame.
void imgui_gl_render(ImDrawData* data);
// The size of level 0 of a texture (0 x 0 when unknown or without GL).
void imgui_gl_texture_size(unsigned texture, int* width, int* height);
// Deletes the atlas texture and forgets the state.
void imgui_gl_shutdown();

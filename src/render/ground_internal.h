// Internal to the ground renderer: the GL side (ground_gl.cpp) that the logic calls into, and
// small helpers the renderer's files share. Nothing outside src/render/ground*.cpp includes it.
#pragma once

#include "core/maths.h"

struct Terrain;

// A window with a current GL context exists (never in headless runs).
bool ground_gl_ready();

// The side in texels of the window and fixed textures for the current settings and window.
int ground_texture_side();
// Creates the window textures of the used levels and the fixed textures at the ground texture
// size (stand-in names without GL); frees older ones first.
void ground_textures_make(const Terrain* terrain);
// Deletes the window and fixed textures (GL names only with GL) and forgets them.
void ground_textures_free();
// Renders the picture of K x K ground tiles starting at ground tile (x0, z0) into a texture:
// surfaces, decals, shading. Only with GL.
void ground_gl_render_area(const Terrain* terrain, unsigned texture, int x0, int z0, int k);
// Draws g_ground's fans (immediate mode or vertex arrays). Only with GL.
void ground_gl_draw_fans(const Terrain* terrain);
// The first upkeep: decides the workaround from the GL renderer string.
void ground_gl_check_renderer();
// After a terrain loaded: the checkerboard textures and the framebuffer-object line.
void ground_gl_loaded();
// Deletes the checkerboards and the framebuffer object.
void ground_gl_free();

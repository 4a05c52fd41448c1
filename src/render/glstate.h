// The GL state set once at start-up, and reading the frame back for screenshots and video.
#pragma once

#include <cstdint>
#include <vector>

struct GameWindow;

// What the GL implementation offers, after the configuration switched features off, and the
// window it draws into.
struct GlCaps {
    GameWindow* window = nullptr; // null until the window is known (and when headless)
    int multitexture = 0;
    int shaders = 0; // GL_ARB_vertex_shader and GL_ARB_fragment_shader
    int framebuffer_objects = 0;
    int generate_mipmap = 0;
};
extern GlCaps g_gl;

// The window GL draws into (null for none).
void gl_set_window(GameWindow* window);
// Reads the extension list and logs the GL_VENDOR, GL_RENDERER, GL_VERSION and GL_EXTENSIONS
// lines; the flags switch off what the configuration disables.
void gl_init_extensions(int use_shader, int use_fbo, int ground_mipmaps);
// Clears the colour buffer and sets the fixed state: clear colour, back-face culling, byte
// alignment of pixel rows, flat shading with "fugly".
void gl_init_state(int fugly);
// Reads the whole frame as RGB bytes, bottom row first (GL's order); width x height x 3 bytes.
void gl_read_frame(int width, int height, std::vector<uint8_t>* rgb);
// Clears colour and depth for a new frame (the views draw over it).
void gl_clear_frame();
// Waits until GL has finished drawing ("--glfinish").
void gl_finish();

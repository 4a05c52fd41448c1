#include "render/glstate.h"

#include <GL/gl.h>
#include <cstring>

#include "platform/log.h"

GlCaps g_gl;

static const char* gl_text(GLenum name) {
    const char* s = (const char*)glGetString(name);
    return s ? s : "";
}

static int has_extension(const char* list, const char* name) {
    size_t n = strlen(name);
    for (const char* p = list; (p = strstr(p, name)); p += n)
        if ((p == list || p[-1] == ' ') && (p[n] == ' ' || p[n] == 0)) return 1;
    return 0;
}

void gl_init_extensions(int use_shader, int use_fbo, int ground_mipmaps) {
    const char* ext = gl_text(GL_EXTENSIONS);
    log_printf("GL_VENDOR: %s\n", gl_text(GL_VENDOR));
    log_printf("GL_RENDERER: %s\n", gl_text(GL_RENDERER));
    log_printf("GL_VERSION: %s\n", gl_text(GL_VERSION));
    log_printf("GL_EXTENSIONS: %s\n", ext);
    g_gl.multitexture = has_extension(ext, "GL_ARB_multitexture");
    g_gl.shaders = use_shader && has_extension(ext, "GL_ARB_vertex_shader") &&
                   has_extension(ext, "GL_ARB_fragment_shader");
    g_gl.framebuffer_objects = use_fbo && has_extension(ext, "GL_EXT_framebuffer_object");
    g_gl.generate_mipmap = ground_mipmaps && has_extension(ext, "GL_SGIS_generate_mipmap");
}

void gl_init_state(int fugly) {
    glClear(GL_COLOR_BUFFER_BIT);
    glClearColor(0.196078f, 0.6f, 0.8f, 0.0f);
    glEnable(GL_CULL_FACE);
    glCullFace(GL_BACK);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    if (fugly) glShadeModel(GL_FLAT);
}

void gl_read_frame(int width, int height, std::vector<uint8_t>* rgb) {
    rgb->resize((size_t)width * height * 3);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadBuffer(GL_BACK);
    glReadPixels(0, 0, width, height, GL_RGB, GL_UNSIGNED_BYTE, rgb->data());
}

void gl_clear_frame() {
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
}

void gl_finish() {
    glFinish();
}

void gl_set_window(GameWindow* window) {
    g_gl.window = window;
}

// The ground renderer's GL side: the window and fixed textures, rendering their pictures from
// the surface textures, the decals and the shading (into a framebuffer object or the back
// buffer), and drawing the refinement's fans; both from vertex arrays, or in immediate mode
// with "--novertexarrays".
#define GL_GLEXT_PROTOTYPES 1
#include <GL/gl.h>
#include <GL/glext.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#include "core/settings.h"
#include "platform/log.h"
#include "platform/messages.h"
#include "platform/window.h"
#include "render/frame.h"
#include "render/glstate.h"
#include "render/ground.h"
#include "render/ground_internal.h"
#include "track/terrain.h"

bool ground_gl_ready() {
    return g_gl.window != nullptr && g_gl.window->gl != nullptr && !g_settings.headless;
}

namespace {

// A window or fixed texture of S x S texels. With framebuffer objects its mipmaps are generated
// after each picture; without them only when "ground_mipmaps" found GL_SGIS_generate_mipmap,
// else it is filtered linearly without mipmaps.
GLuint make_ground_texture(int size) {
    GLuint name = 0;
    glGenTextures(1, &name);
    glBindTexture(GL_TEXTURE_2D, name);
    bool mipmaps = g_gl.framebuffer_objects || g_gl.generate_mipmap;
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER,
                    mipmaps ? GL_LINEAR_MIPMAP_LINEAR : GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    if (!g_gl.framebuffer_objects && g_gl.generate_mipmap)
        glTexParameteri(GL_TEXTURE_2D, GL_GENERATE_MIPMAP_SGIS, GL_TRUE);
    // A grey start picture: what a texture shows if its first rendering fails.
    std::vector<uint8_t> grey((size_t)size * size * 3, 96);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, size, size, 0, GL_RGB, GL_UNSIGNED_BYTE, grey.data());
    if (g_gl.framebuffer_objects) glGenerateMipmapEXT(GL_TEXTURE_2D);
    return name;
}

unsigned next_texture(int size) {
    if (ground_gl_ready()) return make_ground_texture(size);
    return ++g_ground.standin_names;
}

void delete_texture(unsigned* name) {
    if (*name && g_ground.textures_gl && ground_gl_ready()) glDeleteTextures(1, name);
    *name = 0;
}

// An 8 x 8 checkerboard of two colours.
GLuint make_checker(const uint8_t a[3], const uint8_t b[3]) {
    uint8_t pixels[8 * 8 * 3];
    for (int y = 0; y < 8; y++)
        for (int x = 0; x < 8; x++) memcpy(&pixels[3 * (x + 8 * y)], ((x ^ y) & 1) ? a : b, 3);
    GLuint name = 0;
    glGenTextures(1, &name);
    glBindTexture(GL_TEXTURE_2D, name);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, 8, 8, 0, GL_RGB, GL_UNSIGNED_BYTE, pixels);
    glBindTexture(GL_TEXTURE_2D, 0);
    return name;
}

// Where a ground area's coordinates land in the -1..1 square of the viewport.
struct AreaMap {
    float x0, z0, k; // first ground tile and tiles per side
    float tile_size;
    float x_of_feet(float x) const { return -1.0f + 2.0f * (x / tile_size - x0) / k; }
    float y_of_feet(float z) const { return -1.0f + 2.0f * (z / tile_size - z0) / k; }
};

// ---- The quads of one pass, gathered into g_ground's area arrays, then drawn ----

void area_begin() {
    g_ground.area_xyz.clear();
    g_ground.area_st.clear();
    g_ground.area_runs.clear();
}

// The following quads take this texture (a new run when it differs from the last one).
void area_texture(unsigned texture) {
    std::vector<GroundAreaRun>& runs = g_ground.area_runs;
    if (!runs.empty() && runs.back().texture == texture) return;
    runs.push_back(GroundAreaRun{texture, (int)(g_ground.area_st.size() / 2), 0});
}

// One corner at (x, y) on the picture's square, z = -1.
void area_vertex(float s, float t, float x, float y) {
    g_ground.area_st.push_back(s);
    g_ground.area_st.push_back(t);
    g_ground.area_xyz.push_back(x);
    g_ground.area_xyz.push_back(y);
    g_ground.area_xyz.push_back(-1);
    g_ground.area_runs.back().count++;
}

// Draws the gathered quads, run by run: from the vertex arrays, or corner by corner with
// "--novertexarrays"; the same corners in the same order either way.
void area_draw() {
    const std::vector<float>& xyz = g_ground.area_xyz;
    const std::vector<float>& st = g_ground.area_st;
    if (g_settings.novertexarrays) {
        for (const GroundAreaRun& run : g_ground.area_runs) {
            glBindTexture(GL_TEXTURE_2D, run.texture);
            glBegin(GL_QUADS);
            for (int v = run.first; v < run.first + run.count; v++) {
                glTexCoord2f(st[2 * v], st[2 * v + 1]);
                glVertex3f(xyz[3 * v], xyz[3 * v + 1], xyz[3 * v + 2]);
            }
            glEnd();
        }
        return;
    }
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    glDisableClientState(GL_COLOR_ARRAY);
    glDisableClientState(GL_NORMAL_ARRAY);
    glVertexPointer(3, GL_FLOAT, 0, xyz.data());
    glTexCoordPointer(2, GL_FLOAT, 0, st.data());
    for (const GroundAreaRun& run : g_ground.area_runs) {
        glBindTexture(GL_TEXTURE_2D, run.texture);
        glDrawArrays(GL_QUADS, run.first, run.count);
    }
    glDisableClientState(GL_VERTEX_ARRAY);
    glDisableClientState(GL_TEXTURE_COORD_ARRAY);
}

// Step 3: each ground tile with the middle seven eighths of its surface texture.
void surface_pass(const Terrain* t, int x0, int z0, int k) {
    glDisable(GL_BLEND);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
    glColor4f(1, 1, 1, 1);
    int n = t->tiles;
    area_begin();
    for (int z = z0; z < z0 + k && z < n; z++)
        for (int x = x0; x < x0 + k && x < n; x++) {
            int type = t->tilemap[x + (size_t)n * z];
            unsigned tex = type < (int)t->surfaces.size() ? t->surfaces[type].texture : 0;
            area_texture(tex ? tex : g_ground.checker[0]);
            float ax = -1.0f + 2.0f * (float)(x - x0) / (float)k;
            float bx = -1.0f + 2.0f * (float)(x - x0 + 1) / (float)k;
            float ay = -1.0f + 2.0f * (float)(z - z0) / (float)k;
            float by = -1.0f + 2.0f * (float)(z - z0 + 1) / (float)k;
            area_vertex(0.0625f, 0.0625f, ax, ay);
            area_vertex(0.9375f, 0.0625f, bx, ay);
            area_vertex(0.9375f, 0.9375f, bx, by);
            area_vertex(0.0625f, 0.9375f, ax, by);
        }
    area_draw();
}

// Step 4: the decals over the area, alpha-blended, cut into pieces on the affected driver.
void decal_pass(const Terrain* t, int x0, int z0, int k) {
    if (!t->decals_present || t->decals.empty()) return;
    std::vector<int>& list = g_ground.area_decals;
    list.clear();
    float ts = t->tile_size;
    terrain_decals_in(t, (float)x0 * ts, (float)z0 * ts, (float)(x0 + k) * ts, (float)(z0 + k) * ts,
                      &list);
    if (list.empty()) return;
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    glColor4f(1, 1, 1, 1);
    AreaMap map{(float)x0, (float)z0, (float)k, ts};
    area_begin();
    for (int index : list) {
        const Decal& d = t->decals[index];
        area_texture(d.texture);
        // Half axes: along the decal's x (cos, -sin) and its z (sin, cos).
        float hx[2] = {d.size * d.aspect / 2 * d.cos_angle, -d.size * d.aspect / 2 * d.sin_angle};
        float hz[2] = {d.size / 2 * d.sin_angle, d.size / 2 * d.cos_angle};
        int pieces = ground_decal_pieces(d.size, g_ground.workaround > 0);
        for (int pj = 0; pj < pieces; pj++)
            for (int pi = 0; pi < pieces; pi++) {
                const float us[4] = {(float)pi / pieces, (float)(pi + 1) / pieces,
                                     (float)(pi + 1) / pieces, (float)pi / pieces};
                const float vs[4] = {(float)pj / pieces, (float)pj / pieces,
                                     (float)(pj + 1) / pieces, (float)(pj + 1) / pieces};
                for (int c = 0; c < 4; c++) {
                    float fu = 2 * us[c] - 1, fv = 2 * vs[c] - 1;
                    float x = d.x + fu * hx[0] + fv * hz[0];
                    float z = d.z + fu * hx[1] + fv * hz[1];
                    area_vertex(us[c], vs[c], map.x_of_feet(x), map.y_of_feet(z));
                }
            }
    }
    area_draw();
}

// Step 5: the shading multiplied in, piece by piece on the 64-sample grid, each piece from the
// low-detail texture of its block.
void shading_pass(const Terrain* t, int x0, int z0, int k) {
    int W = t->lowdetail_count;
    if (W <= 0 || t->lowdetail_textures.size() != (size_t)W * W) return;
    glEnable(GL_BLEND);
    glBlendFunc(GL_DST_COLOR, GL_SRC_COLOR);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
    int last = 2 * t->tiles;
    int sx0 = 2 * x0, sz0 = 2 * z0;
    int sx_end = sx0 + 2 * k < last ? sx0 + 2 * k : last;
    int sz_end = sz0 + 2 * k < last ? sz0 + 2 * k : last;
    area_begin();
    for (int pz = sz0; pz < sz_end;) {
        int pz1 = (pz / 64 + 1) * 64;
        if (pz1 > sz_end) pz1 = sz_end;
        int bz = clamp(pz / LOWDETAIL_STEP, 0, W - 1);
        float zscale = 1.0f / (float)ground_lowdetail_size(t, bz * LOWDETAIL_STEP);
        for (int px = sx0; px < sx_end;) {
            int px1 = (px / 64 + 1) * 64;
            if (px1 > sx_end) px1 = sx_end;
            int bx = clamp(px / LOWDETAIL_STEP, 0, W - 1);
            unsigned tex = t->lowdetail_textures[(size_t)bz * W + bx];
            if (tex) {
                float xscale = 1.0f / (float)ground_lowdetail_size(t, bx * LOWDETAIL_STEP);
                auto sx = [&](int s) {
                    return ((float)(s - LOWDETAIL_STEP * bx + LOWDETAIL_MARGIN) + 0.5f) * xscale;
                };
                auto sz = [&](int s) {
                    return ((float)(s - LOWDETAIL_STEP * bz + LOWDETAIL_MARGIN) + 0.5f) * zscale;
                };
                float ax = -1.0f + (float)(px - sx0) / (float)k;
                float bxv = -1.0f + (float)(px1 - sx0) / (float)k;
                float ay = -1.0f + (float)(pz - sz0) / (float)k;
                float by = -1.0f + (float)(pz1 - sz0) / (float)k;
                area_texture(tex);
                area_vertex(sx(px), sz(pz), ax, ay);
                area_vertex(sx(px1), sz(pz), bxv, ay);
                area_vertex(sx(px1), sz(pz1), bxv, by);
                area_vertex(sx(px), sz(pz1), ax, by);
            }
            px = px1;
        }
        pz = pz1;
    }
    area_draw();
}

} // namespace

void ground_textures_free() {
    for (GroundWindow& w : g_ground.windows)
        for (GroundWindowEntry& e : w.entry) {
            delete_texture(&e.texture);
            e.valid = 0;
            e.stamp = 0;
        }
    for (unsigned& name : g_ground.fixed_textures) delete_texture(&name);
    g_ground.textures_made = 0;
    g_ground.textures_gl = 0;
}

// The side of the window and fixed textures. Without framebuffer objects each picture is drawn
// in the back buffer, so a window smaller than the configured size limits it to the largest
// power of two that fits; otherwise the copy would read pixels outside the window.
int ground_texture_side() {
    int size = clamp(g_settings.ground_texture_size, 32, 1024);
    if (ground_gl_ready() && !g_gl.framebuffer_objects) {
        int fit =
            g_gl.window->width < g_gl.window->height ? g_gl.window->width : g_gl.window->height;
        while (size > 32 && size > fit) size /= 2;
    }
    return size;
}

void ground_textures_make(const Terrain* t) {
    ground_textures_free();
    int size = ground_texture_side();
    for (int level = 0; level < GROUND_LEVELS; level++) {
        if (!ground_level_used(t, level)) continue;
        for (GroundWindowEntry& e : g_ground.windows[level].entry) e.texture = next_texture(size);
    }
    for (unsigned& name : g_ground.fixed_textures) name = next_texture(size);
    if (ground_gl_ready()) glBindTexture(GL_TEXTURE_2D, 0);
    for (uint8_t& d : g_ground.fixed_dirty) d = 1;
    g_ground.textures_made = 1;
    g_ground.textures_gl = ground_gl_ready();
    g_ground.made_size = size;
    g_ground.made_level = g_settings.ground_texture_level;
}

void ground_gl_check_renderer() {
    const char* renderer = (const char*)glGetString(GL_RENDERER);
    g_ground.workaround = renderer && strstr(renderer, "ATI Radeon X1270") ? 1 : 0;
    if (g_ground.workaround) log_printf("Working around ATI Radeon X1270 bug\n");
}

void ground_gl_loaded() {
    static const uint8_t brown[3] = {120, 96, 64}, tan[3] = {168, 140, 100};
    static const uint8_t grey[3] = {110, 110, 110}, light[3] = {150, 150, 150};
    if (!g_ground.checker[0]) g_ground.checker[0] = make_checker(brown, tan);
    if (!g_ground.checker[1]) g_ground.checker[1] = make_checker(grey, light);
    if (g_gl.framebuffer_objects) log_printf("Using frame buffer objects\n");
}

void ground_gl_free() {
    if (ground_gl_ready()) {
        for (unsigned& name : g_ground.checker)
            if (name) glDeleteTextures(1, &name);
        if (g_ground.framebuffer) glDeleteFramebuffersEXT(1, &g_ground.framebuffer);
    }
    g_ground.checker[0] = g_ground.checker[1] = 0;
    g_ground.framebuffer = 0;
}

void ground_gl_render_area(const Terrain* t, unsigned texture, int x0, int z0, int k) {
    if (!texture || t->tilemap.size() != (size_t)t->tiles * t->tiles) return;
    int size = g_ground.made_size;
    bool fbo = g_gl.framebuffer_objects != 0;
    glPushAttrib(GL_ALL_ATTRIB_BITS);
    // Step 1.
    if (fbo) {
        if (!g_ground.framebuffer) glGenFramebuffersEXT(1, &g_ground.framebuffer);
        glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, g_ground.framebuffer);
        glFramebufferTexture2DEXT(GL_FRAMEBUFFER_EXT, GL_COLOR_ATTACHMENT0_EXT, GL_TEXTURE_2D,
                                  texture, 0);
        GLenum status = glCheckFramebufferStatusEXT(GL_FRAMEBUFFER_EXT);
        if (status != GL_FRAMEBUFFER_COMPLETE_EXT) {
            char text[64];
            snprintf(text, sizeof text, "Framebuffer error %x", (unsigned)status);
            post_message(text);
            glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, 0);
            glPopAttrib();
            return;
        }
    } else {
        glDrawBuffer(GL_BACK);
        glReadBuffer(GL_BACK);
    }
    glDepthMask(GL_FALSE);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_LIGHTING);
    glDisable(GL_FOG);
    glDisable(GL_CULL_FACE);
    glDisable(GL_ALPHA_TEST);
    glDisable(GL_SCISSOR_TEST);
    glEnable(GL_TEXTURE_2D);
    glViewport(0, 0, size, size);
    // Step 2: the area's square fills the viewport at z = -1.
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glFrustum(-0.5, 0.5, -0.5, 0.5, 0.5, 2);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    // Steps 3-5.
    surface_pass(t, x0, z0, k);
    decal_pass(t, x0, z0, k);
    shading_pass(t, x0, z0, k);
    // Step 6.
    if (fbo) {
        glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, 0);
        glBindTexture(GL_TEXTURE_2D, texture);
        glGenerateMipmapEXT(GL_TEXTURE_2D);
    } else {
        glBindTexture(GL_TEXTURE_2D, texture);
        glCopyTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, 0, 0, size, size);
    }
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
    glPopAttrib();
    glDepthMask(GL_TRUE);
}

// The GL name a fan's texture has now; the grey checkerboard when it has none.
static unsigned fan_texture(const GroundFan& f) {
    unsigned name = 0;
    if (f.level < GROUND_LEVELS)
        name = g_ground.windows[f.level].entry[f.texture].texture;
    else if (f.texture < (int)g_ground.fixed_textures.size())
        name = g_ground.fixed_textures[f.texture];
    return name && g_ground.textures_gl ? name : g_ground.checker[1];
}

void ground_gl_draw_fans(const Terrain* t) {
    glEnable(GL_TEXTURE_2D);
    glDisable(GL_BLEND);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
    glColor4f(1, 1, 1, 1);
    const std::vector<GroundVertex>& v = g_ground.vertices;
    int P = t->samples;
    float s = t->spacing;
    // The bound-texture memory: a bind is skipped when the same texture of the same level is
    // bound already.
    int bound_level = -1;
    unsigned bound = 0;
    auto bind = [&](const GroundFan& f) {
        unsigned name = fan_texture(f);
        if (f.level == bound_level && name == bound) return;
        glBindTexture(GL_TEXTURE_2D, name);
        render_stats_add(STAT_TEXTURE_CHANGES, 1);
        bound_level = f.level;
        bound = name;
    };
    if (g_settings.novertexarrays) {
        for (const GroundFan& f : g_ground.fans) {
            bind(f);
            float inv = 1.0f / (float)f.T;
            glBegin(GL_TRIANGLE_FAN);
            for (int k = f.first; k < f.first + f.count; k++) {
                const GroundVertex& p = v[k];
                glTexCoord2f((float)(p.i - f.i0) * inv, (float)(p.j - f.j0) * inv);
                glVertex3f((float)p.i * s, t->heights[p.i + (size_t)P * p.j], (float)p.j * s);
            }
            glEnd();
        }
        return;
    }
    std::vector<float>& xyz = g_ground.array_xyz;
    std::vector<float>& st = g_ground.array_st;
    if (xyz.size() < v.size() * 3) xyz.resize(v.size() * 3);
    if (st.size() < v.size() * 2) st.resize(v.size() * 2);
    for (const GroundFan& f : g_ground.fans) {
        float inv = 1.0f / (float)f.T;
        for (int k = f.first; k < f.first + f.count; k++) {
            const GroundVertex& p = v[k];
            xyz[3 * k] = (float)p.i * s;
            xyz[3 * k + 1] = t->heights[p.i + (size_t)P * p.j];
            xyz[3 * k + 2] = (float)p.j * s;
            st[2 * k] = (float)(p.i - f.i0) * inv;
            st[2 * k + 1] = (float)(p.j - f.j0) * inv;
        }
    }
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    glDisableClientState(GL_COLOR_ARRAY);
    glDisableClientState(GL_NORMAL_ARRAY);
    glVertexPointer(3, GL_FLOAT, 0, xyz.data());
    glTexCoordPointer(2, GL_FLOAT, 0, st.data());
    for (const GroundFan& f : g_ground.fans) {
        bind(f);
        glDrawArrays(GL_TRIANGLE_FAN, f.first, f.count);
    }
    glDisableClientState(GL_VERTEX_ARRAY);
    glDisableClientState(GL_TEXTURE_COORD_ARRAY);
}

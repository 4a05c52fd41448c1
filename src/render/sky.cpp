// The sky box and the fog.
#include <GL/gl.h>

#include <cstddef>
#include <cstdint>
#include <vector>

#include "render/frame.h"
#include "track/lighting.h"

void sky_face_corner(int face, int corner, float dir[3], float st[2]) {
    // Corners run around the picture: left-bottom, right-bottom, right-top, left-top; a is
    // the picture's rightward and b its upward coordinate. (The sky is drawn without culling.)
    float a = (corner == 1 || corner == 2) ? 1.0f : -1.0f;
    float b = corner >= 2 ? 1.0f : -1.0f;
    // Faces seen from inside with the picture's top up (the top face with its top toward
    // north): north looks along -z with +x to the right, east along +x with +z to the right,
    // south along +z with -x to the right, west along -x with -z to the right, up along +y.
    switch (face) {
    case 0:
        dir[0] = a, dir[1] = b, dir[2] = -1;
        break;
    case 1:
        dir[0] = 1, dir[1] = b, dir[2] = a;
        break;
    case 2:
        dir[0] = -a, dir[1] = b, dir[2] = 1;
        break;
    case 3:
        dir[0] = -1, dir[1] = b, dir[2] = -a;
        break;
    default:
        dir[0] = a, dir[1] = 1, dir[2] = -b;
        break;
    }
    // The outermost texels are left out so that no edge colour bleeds across a seam.
    st[0] = 1.0f / 128 + (a + 1) * 0.5f * (126.0f / 128);
    st[1] = 1.0f / 128 + (1 - b) * 0.5f * (126.0f / 128);
}

namespace {

// The colour along the bottom edge of the north picture (the ground the sky box shows below
// the horizon), from a small mipmap level; remembered per texture.
void floor_colour(float rgb[3]) {
    unsigned texture = g_lighting.sky[SKY_NORTH];
    if (texture != g_render.sky_floor_texture) {
        g_render.sky_floor_texture = texture;
        g_render.sky_floor[0] = 0.196078f, g_render.sky_floor[1] = 0.6f,
        g_render.sky_floor[2] = 0.8f;
        if (texture) {
            glBindTexture(GL_TEXTURE_2D, texture);
            for (int level = 0; level < 16; level++) {
                GLint w = 0, h = 0;
                glGetTexLevelParameteriv(GL_TEXTURE_2D, level, GL_TEXTURE_WIDTH, &w);
                glGetTexLevelParameteriv(GL_TEXTURE_2D, level, GL_TEXTURE_HEIGHT, &h);
                if (w <= 0 || h <= 0) break;
                if (w > 16 && h > 16) continue;
                std::vector<uint8_t> px((size_t)w * h * 3);
                glPixelStorei(GL_PACK_ALIGNMENT, 1);
                glGetTexImage(GL_TEXTURE_2D, level, GL_RGB, GL_UNSIGNED_BYTE, px.data());
                // Image rows run top first: the last row is the bottom edge.
                float sum[3] = {0, 0, 0};
                for (int x = 0; x < w; x++)
                    for (int c = 0; c < 3; c++) sum[c] += px[((size_t)(h - 1) * w + x) * 3 + c];
                for (int c = 0; c < 3; c++) g_render.sky_floor[c] = sum[c] / (255.0f * w);
                break;
            }
            glBindTexture(GL_TEXTURE_2D, 0);
            g_render.bound_texture = 0;
        }
    }
    for (int c = 0; c < 3; c++) rgb[c] = g_render.sky_floor[c];
}

} // namespace

void sky_draw() {
    // The sky box has no floor: below the horizon, past the edge of the field, the picture
    // keeps the clear colour, which continues the sky's own ground.
    float floor[3];
    floor_colour(floor);
    glClearColor(floor[0], floor[1], floor[2], 0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glClearColor(0.196078f, 0.6f, 0.8f, 0);
    if (g_render.clear_only) return;
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_ALWAYS);
    glDisable(GL_BLEND);
    glDisable(GL_LIGHTING);
    glDisable(GL_CULL_FACE);
    glEnable(GL_TEXTURE_2D);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    glColor4f(1, 1, 1, 1);
    for (int face = 0; face < SKY_ENV; face++) {
        unsigned texture = g_lighting.sky[face];
        // A track without sky pictures keeps the clear colour there.
        if (!texture) continue;
        frame_bind_texture(texture);
        glBegin(GL_QUADS);
        for (int corner = 0; corner < 4; corner++) {
            float dir[3], st[2];
            sky_face_corner(face, corner, dir, st);
            glTexCoord2fv(st);
            glVertex3f(dir[0] * SKY_BOX_SCALE, dir[1] * SKY_BOX_SCALE, dir[2] * SKY_BOX_SCALE);
        }
        glEnd();
    }
    glEnable(GL_CULL_FACE);
}

void fog_enable() {
    // The shader programs read the density whether fog is on or not: 0 keeps them clear.
    glFogf(GL_FOG_DENSITY, g_lighting.fog_density > 0 ? g_lighting.fog_density : 0.0f);
    if (!(g_lighting.fog_density > 0)) return;
    glFogi(GL_FOG_MODE, GL_EXP);
    float colour[4] = {g_lighting.fog_color[0], g_lighting.fog_color[1], g_lighting.fog_color[2],
                       1};
    glFogfv(GL_FOG_COLOR, colour);
    glEnable(GL_FOG);
}

void fog_disable() {
    glDisable(GL_FOG);
}

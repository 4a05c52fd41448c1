// Lens flares: a flare shows when its point is on screen, the picture there is bright (the sun
// itself, not a cloud or a hill) and nothing stands in front of it; its elements are then laid
// along the line from the flare through the centre of the screen and added to the picture.
#include <GL/gl.h>

#include <cmath>

#include "core/config.h"
#include "render/frame.h"
#include "track/lighting.h"

float flare_depth_distance(float depth) {
    float z = depth * 2 - 1; // normalised device depth
    return 2 * FRAME_NEAR * FRAME_FAR / (FRAME_FAR + FRAME_NEAR - z * (FRAME_FAR - FRAME_NEAR));
}

bool flare_unhidden(int kind, float depth_distance, float point_distance) {
    if (kind == FLARE_DIRECTION) return depth_distance >= 0.4f;
    return depth_distance >= point_distance;
}

bool flare_bright(const uint8_t rgb[3]) {
    return rgb[0] > 223 && rgb[1] > 223 && rgb[2] > 223;
}

namespace {

// Size unit of the elements: a size of 1 is a tenth of the screen height across.
constexpr float ELEMENT_SCALE = 0.05f;

void draw_elements(const Flare& flare, float sx, float sy, int width, int height) {
    float cx = width * 0.5f, cy = height * 0.5f;
    for (int e = 0; e < flare.element_count && e < FLARE_ELEMENTS_MAX; e++) {
        if (!flare.texture[e]) continue;
        // Placement: how far along the line from the flare through the centre (0 at the
        // flare, 1 at the centre), and the element's strength.
        float t = flare.placement[e][0], strength = flare.placement[e][1];
        float x = sx + (cx - sx) * t, y = sy + (cy - sy) * t;
        float h = flare.size[e] * ELEMENT_SCALE * height;
        frame_bind_texture(flare.texture[e]);
        glColor4f(flare.color[e][0], flare.color[e][1], flare.color[e][2], strength);
        glBegin(GL_QUADS);
        glTexCoord2f(0, 1);
        glVertex2f(x - h, y - h);
        glTexCoord2f(1, 1);
        glVertex2f(x + h, y - h);
        glTexCoord2f(1, 0);
        glVertex2f(x + h, y + h);
        glTexCoord2f(0, 0);
        glVertex2f(x - h, y + h);
        glEnd();
    }
}

} // namespace

void flares_draw(const Camera& camera) {
    if (g_config.lens_flare.current != YES || g_lighting.flares.empty()) return;
    int width = g_render.width, height = g_render.height;
    if (width <= 0 || height <= 0) return;
    bool drawing = false;
    for (const Flare& flare : g_lighting.flares) {
        float point[3], distance = 0;
        if (flare.kind == FLARE_DIRECTION) {
            // Any point along the direction projects to the same place.
            for (int i = 0; i < 3; i++) point[i] = camera.eye[i] + flare.position[i] * 100;
        } else {
            float d2 = 0;
            for (int i = 0; i < 3; i++) {
                point[i] = flare.position[i];
                d2 += (point[i] - camera.eye[i]) * (point[i] - camera.eye[i]);
            }
            distance = std::sqrt(d2);
        }
        float sx, sy;
        if (!frame_project(camera, g_render.extent_u, g_render.extent_v, width, height, point, &sx,
                           &sy))
            continue;
        int ix = (int)std::floor(sx), iy = (int)std::floor(sy);
        if (ix < 0 || iy < 0 || ix >= width || iy >= height) continue;
        uint8_t rgb[3];
        glReadPixels(ix, iy, 1, 1, GL_RGB, GL_UNSIGNED_BYTE, rgb);
        if (!flare_bright(rgb)) continue;
        float depth = 1;
        glReadPixels(ix, iy, 1, 1, GL_DEPTH_COMPONENT, GL_FLOAT, &depth);
        if (!flare_unhidden(flare.kind, flare_depth_distance(depth), distance)) continue;
        if (!drawing) {
            // Screen space in pixels, added to the picture.
            glMatrixMode(GL_PROJECTION);
            glPushMatrix();
            glLoadIdentity();
            glOrtho(0, width, 0, height, -1, 1);
            glMatrixMode(GL_MODELVIEW);
            glPushMatrix();
            glLoadIdentity();
            glDisable(GL_DEPTH_TEST);
            glDisable(GL_LIGHTING);
            glDisable(GL_CULL_FACE);
            glEnable(GL_TEXTURE_2D);
            glEnable(GL_BLEND);
            glBlendFunc(GL_SRC_ALPHA, GL_ONE);
            glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
            drawing = true;
        }
        draw_elements(flare, sx, sy, width, height);
    }
    if (!drawing) return;
    glDisable(GL_BLEND);
    glEnable(GL_CULL_FACE);
    glEnable(GL_DEPTH_TEST);
    glColor4f(1, 1, 1, 1);
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
}

// Drawing the editor's world-space overlays in immediate mode.
#include "render/overlay.h"

#include <GL/gl.h>

#include "platform/window.h"
#include "render/frame.h"
#include "render/glstate.h"
#include "render/shaders.h"

void overlay_draw(const std::vector<OverlayBatch>& batches) {
    if (!g_gl.window || !g_gl.window->gl || batches.empty()) return;
    const Camera& c = g_render.camera;
    // The camera rotation (rows right, up, backward) and the eye, as the world drawing has it.
    float m[16] = {c.rot[0], c.rot[3], c.rot[6], 0, c.rot[1], c.rot[4], c.rot[7], 0,
                   c.rot[2], c.rot[5], c.rot[8], 0, 0,        0,        0,        1};
    shader_use(SHADER_FIXED);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadMatrixf(m);
    glTranslatef(-c.eye[0], -c.eye[1], -c.eye[2]);
    glPushAttrib(GL_ENABLE_BIT | GL_DEPTH_BUFFER_BIT | GL_LINE_BIT | GL_COLOR_BUFFER_BIT |
                 GL_CURRENT_BIT);
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_LIGHTING);
    glDisable(GL_FOG);
    glDisable(GL_CULL_FACE);
    glDisable(GL_ALPHA_TEST);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glDepthMask(GL_FALSE);
    glDepthFunc(GL_LEQUAL);
    for (const OverlayBatch& b : batches) {
        if (b.vertices.empty()) continue;
        if (b.through)
            glDisable(GL_DEPTH_TEST);
        else
            glEnable(GL_DEPTH_TEST);
        glLineWidth(b.width);
        glBegin(b.kind == OVERLAY_TRIANGLES ? GL_TRIANGLES : GL_LINES);
        for (const OverlayVertex& v : b.vertices) {
            glColor4ub(v.rgba[0], v.rgba[1], v.rgba[2], v.rgba[3]);
            glVertex3f(v.x, v.y, v.z);
        }
        glEnd();
    }
    glPopAttrib();
    glColor4f(1, 1, 1, 1);
    glPopMatrix();
    g_render.bound_texture = ~0u;
}

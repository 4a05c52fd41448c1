// Model drawing. Headless runs skip the GL calls but still choose levels of detail, skin, and
// count the render statistics.
#include "render/model_draw.h"

#include <GL/gl.h>

#include <algorithm>

#include "core/settings.h"
#include "data/model.h"

ModelDrawStats g_model_stats;

// Draws one mesh through its display list or its arrays, and counts it.
static void mesh_draw(const Mesh* m) {
    if (!g_settings.headless) {
        if (m->display_list)
            glCallList(m->display_list);
        else
            mesh_send(m);
    }
    g_model_stats.polygons += m->triangle_count;
    g_model_stats.vertices += m->vertex_count;
}

static void gl_material(const Mesh* m) {
    if (g_settings.headless) return;
    glMaterialfv(GL_FRONT, GL_SPECULAR, m->specular);
    glMaterialf(GL_FRONT, GL_SHININESS, std::max(m->shininess, 0.125f));
}

static void gl_env_colour(const Mesh* m) {
    if (g_settings.headless) return;
    float a = m->specular[3];
    glColor4f(m->specular[0] * a, m->specular[1] * a, m->specular[2] * a, 1.0f);
}

void model_draw_rigid(const Model* model) {
    for (const Mesh* m = model->meshes; m; m = m->next) mesh_draw(m);
}

void model_draw(Model* model, const float position[3], const float camera[3],
                const ModelBone* bones, int bone_count) {
    Model* lod = model_choose_lod(model, position, camera);
    for (Mesh* m = lod->meshes; m; m = m->next) {
        if (m->shininess == -1.0f) break;
        gl_material(m);
        if (bones) mesh_skin(m, bones, bone_count);
        mesh_draw(m);
    }
}

void model_draw_env(Model* model, const float position[3], const float rotation[9],
                    const float camera[3]) {
    Model* lod = model_choose_lod(model, position, camera);
    for (Mesh* m = lod->meshes; m; m = m->next) {
        if (m->shininess != -1.0f) continue;
        gl_env_colour(m);
        if (!g_models.shaders) mesh_env_map(m, position, rotation, camera);
        mesh_draw(m);
    }
}

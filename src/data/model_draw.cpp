// Model drawing: the only part of the model code that calls GL. Headless runs skip the GL
// calls but still choose levels of detail, skin, and count the render statistics.
#include <GL/gl.h>

#include <algorithm>

#include "core/settings.h"
#include "data/model.h"

// Sends a mesh's triangles: vertex arrays and one glDrawElements, or glBegin/glEnd with
// "--novertexarrays". Tangents go to texture unit 1 only when shaders can read them there.
static void gl_mesh_send(const Mesh* m) {
    bool tangents = g_models.shaders && g_models.texture_units > 1;
    if (g_settings.novertexarrays) {
        glBegin(GL_TRIANGLES);
        for (int i = 0; i < m->triangle_count * 3; i++) {
            unsigned v = m->triangles[i];
            glNormal3fv(m->normals + v * 3);
            glTexCoord2fv(m->uvs + v * 2);
            if (tangents) glMultiTexCoord3fv(GL_TEXTURE1, m->tangents + v * 3);
            glVertex3fv(m->positions + v * 3);
        }
        glEnd();
        return;
    }
    glEnableClientState(GL_VERTEX_ARRAY);
    glVertexPointer(3, GL_FLOAT, 0, m->positions);
    glEnableClientState(GL_NORMAL_ARRAY);
    glNormalPointer(GL_FLOAT, 0, m->normals);
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    glTexCoordPointer(2, GL_FLOAT, 0, m->uvs);
    if (tangents) {
        glClientActiveTexture(GL_TEXTURE1);
        glEnableClientState(GL_TEXTURE_COORD_ARRAY);
        glTexCoordPointer(3, GL_FLOAT, 0, m->tangents);
    }
    glDrawElements(GL_TRIANGLES, m->triangle_count * 3, GL_UNSIGNED_INT, m->triangles);
    if (tangents) {
        glDisableClientState(GL_TEXTURE_COORD_ARRAY);
        glClientActiveTexture(GL_TEXTURE0);
    }
    glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    glDisableClientState(GL_NORMAL_ARRAY);
    glDisableClientState(GL_VERTEX_ARRAY);
}

void mesh_compile_list(Mesh* mesh) {
    if (g_settings.headless) return;
    GLuint list = glGenLists(1);
    if (!list) return;
    glNewList(list, GL_COMPILE);
    gl_mesh_send(mesh);
    glEndList();
    mesh->display_list = list;
}

void mesh_delete_list(Mesh* mesh) {
    if (mesh->display_list && !g_settings.headless) glDeleteLists(mesh->display_list, 1);
    mesh->display_list = 0;
}

// Draws one mesh through its display list or its arrays, and counts it.
static void mesh_draw(const Mesh* m) {
    if (!g_settings.headless) {
        if (m->display_list)
            glCallList(m->display_list);
        else
            gl_mesh_send(m);
    }
    g_models.polygons += m->triangle_count;
    g_models.vertices += m->vertex_count;
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

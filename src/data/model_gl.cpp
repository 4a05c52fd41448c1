// Handing meshes to GL: sending their triangles and compiling display lists (the upload part
// of the model code; drawing is the renderer's, render/model_draw.cpp).
#include <GL/gl.h>

#include <algorithm>

#include "core/settings.h"
#include "data/model.h"

// Tangents go to texture unit 1 only when shaders can read them there.
void mesh_send(const Mesh* m) {
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
    mesh_send(mesh);
    glEndList();
    mesh->display_list = list;
}

void mesh_delete_list(Mesh* mesh) {
    if (mesh->display_list && !g_settings.headless) glDeleteLists(mesh->display_list, 1);
    mesh->display_list = 0;
}

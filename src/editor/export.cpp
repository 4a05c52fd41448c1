// The scene-description export: a POV-Ray file for rendering a picture of the track offline.
//
// "@<track>/<track>.pov" holds, in this order: a comment naming the track; the sun as a
// parallel light and the ambient light from the track's lighting; a background of the fog
// colour; a camera where the editor's camera is; the ground as one "mesh2" block (every
// step-th sample, with normals and texture coordinates over the whole field) under the name
// Vornix_Ground; every statue model once as a declared "mesh2" (a union when it has several
// meshes) and one object per statue with its ground frame as a matrix; the billboards as thin
// upright boxes and the decals as thin flat boxes, each with a comment naming its picture; and
// the start slots and timing gates as comments. World units are feet with y up; POV-Ray's axes
// are left-handed, so every object is mirrored in z ("scale <1, 1, -1>") to show the track the
// way the game does.
#include <cmath>
#include <cstdio>
#include <map>
#include <string>

#include "core/maths.h"
#include "data/datafile.h"
#include "data/model.h"
#include "data/save.h"
#include "data/texture.h"
#include "editor/editor_internal.h"
#include "platform/messages.h"
#include "render/frame.h"
#include "track/lighting.h"
#include "track/objects.h"
#include "track/track.h"
#include "track/tracklist.h"

namespace {

// The ground as a mesh: every step-th sample, two triangles per cell along the field's own
// diagonals.
struct GroundMesh {
    std::vector<float> positions, normals, uvs;
    std::vector<unsigned> triangles;
    Mesh mesh{};
};

void ground_mesh(int step, GroundMesh* g) {
    const Terrain& t = g_terrain;
    int n = (t.samples - 1) / step + 1;
    for (int j = 0; j < n; j++)
        for (int i = 0; i < n; i++) {
            int si = i * step, sj = j * step;
            float x = (float)si * t.spacing, z = (float)sj * t.spacing;
            g->positions.insert(g->positions.end(), {x, terrain_sample(&t, si, sj), z});
            // The normal from the neighbouring samples of this step.
            float hx = terrain_sample(&t, si + step, sj) - terrain_sample(&t, si - step, sj);
            float hz = terrain_sample(&t, si, sj + step) - terrain_sample(&t, si, sj - step);
            float d = 2 * (float)step * t.spacing;
            float nx = -hx, ny = d, nz = -hz;
            float len = std::sqrt(nx * nx + ny * ny + nz * nz);
            g->normals.insert(g->normals.end(), {nx / len, ny / len, nz / len});
            g->uvs.insert(g->uvs.end(), {(float)i / (float)(n - 1), (float)j / (float)(n - 1)});
        }
    for (int j = 0; j + 1 < n; j++)
        for (int i = 0; i + 1 < n; i++) {
            unsigned a = (unsigned)(i + n * j), b = a + 1, c = a + (unsigned)n, d = c + 1;
            if ((i + j) % 2 == 0)
                g->triangles.insert(g->triangles.end(), {a, b, d, a, d, c});
            else
                g->triangles.insert(g->triangles.end(), {a, b, c, b, d, c});
        }
    Mesh& m = g->mesh;
    m.vertex_count = n * n;
    m.triangle_count = (int)g->triangles.size() / 3;
    m.positions = g->positions.data();
    m.normals = g->normals.data();
    m.uvs = g->uvs.data();
    m.triangles = g->triangles.data();
}

std::string model_label(int index) {
    return "Vornix_Model_" + std::to_string(index);
}

void write_statues(DataFile* f) {
    std::map<const Model*, int> declared;
    for (const Statue& s : g_objects.statues) {
        if (!s.model || declared.count(s.model)) continue;
        int index = (int)declared.size();
        declared[s.model] = index;
        int meshes = 0;
        for (const Mesh* m = s.model->meshes; m; m = m->next) meshes++;
        data_printf(f, "// %s\n#declare %s =\n", s.model->name.c_str(), model_label(index).c_str());
        if (meshes > 1) data_printf(f, "union {\n");
        for (const Mesh* m = s.model->meshes; m; m = m->next) mesh_write_mesh2(f, m);
        if (meshes > 1) data_printf(f, "}\n");
    }
    for (const Statue& s : g_objects.statues) {
        if (!s.model) continue;
        const float* r = s.rot; // row-major; the columns are the model's axes
        const char* skin = s.texture ? texture_file_name(s.texture) : nullptr;
        data_printf(f, "object { %s // %s\n", model_label(declared[s.model]).c_str(),
                    skin ? skin : "no texture");
        // POV-Ray's matrix takes the images of the x, y and z axes as rows, then the offset.
        data_printf(f, "\tmatrix <%f, %f, %f, %f, %f, %f, %f, %f, %f, %f, %f, %f>\n", r[0], r[3],
                    r[6], r[1], r[4], r[7], r[2], r[5], r[8], s.x, s.y, s.z);
        data_printf(f, "\tscale <1, 1, -1> pigment { color rgb <0.8, 0.75, 0.6> }\n}\n");
    }
}

void write_billboards(DataFile* f, const Camera& cam) {
    int particles = g_objects.particle_first;
    for (int i = 0; i < (int)g_objects.billboards.size(); i++) {
        if (particles >= 0 && i >= particles && i < particles + PARTICLE_BILLBOARD_COUNT) continue;
        const Billboard& b = g_objects.billboards[i];
        const char* name = b.texture ? texture_file_name(b.texture) : nullptr;
        if (!name) continue;
        // Turned to face the export camera, as the game turns sprites to face its camera.
        float yaw = std::atan2(cam.eye[0] - b.x, cam.eye[2] - b.z) * 180.0f / (float)PI;
        data_printf(f, "box { <%f, 0, -0.05>, <%f, %f, 0.05> rotate y*%f translate <%f, %f, %f>\n",
                    -b.width / 2, b.width / 2, b.height, yaw, b.x, b.y, b.z);
        data_printf(f, "\tscale <1, 1, -1> pigment { color rgb <%f, %f, %f> } } // %s\n",
                    b.color[0] / 255.0f * 0.35f, b.color[1] / 255.0f * 0.5f,
                    b.color[2] / 255.0f * 0.3f, name);
    }
}

void write_decals(DataFile* f) {
    for (const Decal& d : g_terrain.decals) {
        const char* name = d.texture ? texture_file_name(d.texture) : nullptr;
        float y = terrain_height(&g_terrain, d.x, d.z);
        data_printf(f,
                    "box { <%f, 0, %f>, <%f, 0.05, %f> rotate y*%f translate <%f, %f, %f>\n"
                    "\tscale <1, 1, -1> pigment { color rgb <0.9, 0.9, 0.9> } } // %s\n",
                    -d.size * d.aspect / 2, -d.size / 2, d.size * d.aspect / 2, d.size / 2,
                    d.angle * 180.0f / (float)PI, d.x, y, d.z, name ? name : "no texture");
    }
}

void write_timing(DataFile* f) {
    for (int i = 0; i < g_gates.slot_count; i++) {
        const StartSlot& s = g_gates.slots[i];
        data_printf(f, "// start slot %d: <%f, %f, %f> angle %f\n", i + 1, s.x, s.y, s.z, s.angle);
    }
    for (size_t i = 0; i < g_gates.gates.size(); i++) {
        const Gate& g = g_gates.gates[i];
        data_printf(f, "// gate %d: centre <%f, %f, %f> direction <%f, %f, %f> radius %f\n",
                    (int)i + 1, g.centre[0], g.centre[1], g.centre[2], g.direction[0],
                    g.direction[1], g.direction[2], g.radius);
    }
}

} // namespace

int export_default_step(int samples) {
    int step = 1;
    while ((samples - 1) / step + 1 > 257 && step < 1024) step *= 2;
    return step;
}

int editor_export(int step, std::string* name) {
    if (!g_track.loaded || g_terrain.samples <= 1) {
        post_message("No track to export");
        return 0;
    }
    if (step < 1) step = 1;
    while (step > 1 && (g_terrain.samples - 1) / step < 1) step /= 2;
    *name = "@" + g_track.name + "/" + g_track.name + ".pov";
    DataSave save;
    if (!data_save_begin(name->c_str(), &save)) {
        post_message(("Can't write '" + name->substr(1) + "' (" + save.error + ")").c_str());
        return 0;
    }
    DataFile* f = save.file;
    int index = tracklist_find(g_track.name.c_str());
    const char* title = index >= 0 ? g_tracks.tracks[index].title.c_str() : g_track.name.c_str();
    const Lighting& l = g_lighting;
    CameraView view;
    editor_camera_view(&view);
    Camera cam;
    frame_camera_from_view(view, &cam);
    int n = (g_terrain.samples - 1) / step + 1;
    data_printf(f, "// Vornix track \"%s\" (%s): a scene description for an offline picture.\n",
                title, g_track.name.c_str());
    data_printf(f, "// Feet, y up; the ground is every %d. sample (%d x %d), %f ft apart.\n", step,
                n, n, g_terrain.spacing * (float)step);
    data_printf(f, "global_settings { ambient_light rgb <%f, %f, %f> }\n", l.ambient[0],
                l.ambient[1], l.ambient[2]);
    data_printf(f,
                "light_source { <%f, %f, %f> color rgb <%f, %f, %f> parallel point_at <0, 0, 0> "
                "}\n",
                l.sun_vector[0] * 100000, l.sun_vector[1] * 100000, -l.sun_vector[2] * 100000,
                l.sun_color[0], l.sun_color[1], l.sun_color[2]);
    bool fog = l.fog_density > 0;
    data_printf(f, "background { color rgb <%f, %f, %f> }\n", fog ? l.fog_color[0] : 0.55f,
                fog ? l.fog_color[1] : 0.7f, fog ? l.fog_color[2] : 0.9f);
    data_printf(
        f,
        "camera { location <%f, %f, %f> look_at <%f, %f, %f> right x*image_width/image_height }\n",
        view.eye[0], view.eye[1], -view.eye[2], view.target[0], view.target[1], -view.target[2]);
    GroundMesh ground;
    ground_mesh(step, &ground);
    data_printf(f, "#declare Vornix_Ground =\n");
    mesh_write_mesh2(f, &ground.mesh);
    data_printf(f, "object { Vornix_Ground scale <1, 1, -1> pigment { color rgb <0.42, 0.5, 0.3> } "
                   "}\n");
    write_statues(f);
    write_billboards(f, cam);
    write_decals(f);
    write_timing(f);
    if (!data_save_commit(&save)) {
        post_message(("Can't write '" + name->substr(1) + "' (" + save.error + ")").c_str());
        return 0;
    }
    post_message(("Exported '" + name->substr(1) + "'").c_str());
    return 1;
}

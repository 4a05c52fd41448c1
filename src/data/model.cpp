#include "data/model.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <strings.h>

#include "core/maths.h"
#include "core/settings.h"
#include "data/datafile.h"
#include "data/scanner.h"
#include "platform/log.h"

ModelState g_models;

void model_set_gl_caps(int shaders, int texture_units) {
    g_models.shaders = shaders;
    g_models.texture_units = texture_units;
}

// More weights per vertex than any skeleton has bones is taken as a corrupt header.
static const int MODEL_MAX_WEIGHTS = 256;

/*
 * "JM" model files (text, white-space separated numbers):
 *
 *   JM<version>                      1: rigid meshes; 2: followed by "K skeleton-name"
 *   then meshes until the data end or a mesh header does not parse:
 *     S A R G B N M                   shininess, alpha, specular colour, vertex and
 *                                     triangle counts (S = -1: environment-mapped)
 *     N x (x y z  nx ny nz  u v  [K weights])
 *     M x (i j k)                     vertex indices
 *
 * A file that does not start with "JM" is the older layout: "N M", N vertices without
 * weights and M triangles, forming one mesh with shininess 32 and a white specular colour.
 */

// A mesh as read, before it gets its single allocation.
struct MeshData {
    float shininess = 0;
    float specular[4] = {0, 0, 0, 0};
    int n = 0, m = 0, k = 0;
    std::vector<float> pos, nrm, uv, w;
    std::vector<unsigned> tri;
};

// Reads N vertices and M triangles. 0 when the data are cut short, or when a triangle names a
// vertex the mesh does not have (drawing it would read outside the vertex arrays).
static int mesh_read_body(DataFile* f, MeshData* d) {
    for (int v = 0; v < d->n; v++) {
        float p[8];
        if (data_scanf(f, "%f %f %f %f %f %f %f %f", &p[0], &p[1], &p[2], &p[3], &p[4], &p[5],
                       &p[6], &p[7]) != 8)
            return 0;
        d->pos.insert(d->pos.end(), {p[0], p[1], p[2]});
        d->nrm.insert(d->nrm.end(), {p[3], p[4], p[5]});
        d->uv.insert(d->uv.end(), {p[6], 1.0f - p[7]});
        if (d->k == 0) continue;
        size_t first = d->w.size();
        float sum = 0;
        for (int i = 0; i < d->k; i++) {
            float w;
            if (data_scanf(f, "%f", &w) != 1) return 0;
            d->w.push_back(w);
            sum += w;
        }
        for (int i = 0; i < d->k; i++)
            d->w[first + i] = sum == 0 ? 1.0f / (float)d->k : d->w[first + i] / sum;
    }
    for (int t = 0; t < d->m; t++) {
        int i[3];
        if (data_scanf(f, "%d %d %d", &i[0], &i[1], &i[2]) != 3) return 0;
        for (int c = 0; c < 3; c++) {
            if (i[c] < 0 || i[c] >= d->n) return 0;
            d->tri.push_back((unsigned)i[c]);
        }
    }
    return 1;
}

// Vertex values the drawing and the scenery code can work with: positions within
// MODEL_EXTENT_MAX of the model's origin, and numbers everywhere (a NaN normal or weight would
// spread into the lighting and the skinning). Out-of-range values are clamped (NaN becomes 0);
// one warning per mesh names the file, the count and the first bad value.
static void mesh_check(const char* file, int index, MeshData* d) {
    int bad = 0;
    float first = 0;
    auto fix = [&](float& v, float limit) {
        if (v >= -limit && v <= limit) return;
        if (bad++ == 0) first = v;
        v = std::isnan(v) ? 0.0f : (v < 0 ? -limit : limit);
    };
    for (float& v : d->pos) fix(v, MODEL_EXTENT_MAX);
    for (float& v : d->nrm) fix(v, 1e6f);
    for (float& v : d->uv) fix(v, 1e6f);
    for (float& v : d->w) fix(v, 1e6f); // weights may lie outside 0..1 (they sum to 1)
    if (!(d->shininess >= -1 && d->shininess <= 1e6f)) {
        if (bad++ == 0) first = d->shininess;
        d->shininess = d->shininess < -1 ? -1.0f : (d->shininess > 0 ? 1e6f : 0.0f);
    }
    for (float& v : d->specular) fix(v, 1e6f);
    if (bad)
        log_printf("Warning: %.300s: %d values of mesh %d out of range (the first %g), clamped\n",
                   file[0] == '@' ? file + 1 : file, bad, index, (double)first);
}

// Moves a mesh into one allocation: the header, then every array.
static Mesh* mesh_build(const MeshData& d) {
    size_t n = (size_t)d.n, m = (size_t)d.m, k = (size_t)d.k;
    size_t floats = n * (3 + 3 + 3 + 2) + n * k + (k > 0 ? n * 9 : 0);
    size_t size = sizeof(Mesh) + floats * sizeof(float) + m * 3 * sizeof(unsigned);
    Mesh* mesh = (Mesh*)xmalloc(size);
    memset(mesh, 0, size);
    float* p = (float*)(mesh + 1);
    auto take = [&](size_t count) {
        float* at = p;
        p += count;
        return at;
    };
    mesh->shininess = d.shininess;
    memcpy(mesh->specular, d.specular, sizeof mesh->specular);
    mesh->vertex_count = d.n;
    mesh->triangle_count = d.m;
    mesh->weight_count = d.k;
    mesh->positions = take(n * 3);
    mesh->normals = take(n * 3);
    mesh->tangents = take(n * 3);
    mesh->uvs = take(n * 2);
    mesh->weights = take(n * k);
    if (k > 0) {
        mesh->rest_positions = take(n * 3);
        mesh->rest_normals = take(n * 3);
        mesh->rest_tangents = take(n * 3);
    }
    mesh->triangles = (unsigned*)p;
    std::copy(d.pos.begin(), d.pos.end(), mesh->positions);
    std::copy(d.nrm.begin(), d.nrm.end(), mesh->normals);
    std::copy(d.uv.begin(), d.uv.end(), mesh->uvs);
    std::copy(d.w.begin(), d.w.end(), mesh->weights);
    std::copy(d.tri.begin(), d.tri.end(), mesh->triangles);
    if (k > 0) {
        std::copy(d.pos.begin(), d.pos.end(), mesh->rest_positions);
        std::copy(d.nrm.begin(), d.nrm.end(), mesh->rest_normals);
    }
    return mesh;
}

// Finishes a mesh after reading: tangents, then a display list for a rigid mesh unless it is
// environment-mapped without shaders (its texture coordinates then change at every draw).
static void mesh_finish(Mesh* mesh) {
    mesh_compute_tangents(mesh);
    if (mesh->weight_count == 0 && !(mesh->shininess < 0 && !g_models.shaders))
        mesh_compile_list(mesh);
}

static void mesh_free(Mesh* mesh) {
    mesh_delete_list(mesh);
    free(mesh);
}

Model* model_read(DataFile* f, const char* name) {
    Model* model = new Model{name, g_models.generation, nullptr, 0, 0.0f, nullptr};
    Mesh** tail = &model->meshes;
    int version = 0;
    int r = data_scanf(f, "JM%d", &version);
    if (r >= 0) {
        int k = 0;
        char skeleton[1024];
        if (r != 1 || (version != 1 && version != 2) ||
            (version == 2 &&
             (data_scanf(f, "%d %1023s", &k, skeleton) != 2 || k < 0 || k > MODEL_MAX_WEIGHTS))) {
            model_free(model);
            return nullptr;
        }
        int mesh_index = 0;
        for (;;) {
            MeshData d;
            float s, a, red, green, blue;
            if (data_scanf(f, "%f %f %f %f %f %d %d", &s, &a, &red, &green, &blue, &d.n, &d.m) !=
                    7 ||
                d.n < 0 || d.m < 0)
                break;
            d.k = k;
            d.shininess = s;
            d.specular[0] = red;
            d.specular[1] = green;
            d.specular[2] = blue;
            d.specular[3] = s >= 0 ? 1.0f : a;
            if (!mesh_read_body(f, &d)) break;
            mesh_check(name, mesh_index++, &d);
            s = d.shininess;
            *tail = mesh_build(d);
            if (s == -1.0f) model->env_mapped = 1;
            mesh_finish(*tail);
            tail = &(*tail)->next;
        }
    } else {
        MeshData d;
        if (data_scanf(f, "%d %d", &d.n, &d.m) == 2 && d.n >= 0 && d.m >= 0 &&
            mesh_read_body(f, &d)) {
            d.shininess = 32;
            std::fill(d.specular, d.specular + 4, 1.0f);
            mesh_check(name, 0, &d);
            *tail = mesh_build(d);
            mesh_finish(*tail);
        }
    }
    if (!model->meshes) {
        model_free(model);
        return nullptr;
    }
    return model;
}

void model_free(Model* model) {
    while (model) {
        Model* next = model->next_lod;
        for (Mesh* m = model->meshes; m;) {
            Mesh* n = m->next;
            mesh_free(m);
            m = n;
        }
        delete model;
        model = next;
    }
}

static Model* model_read_name(const char* name) {
    DataFile* f = data_open(name, "rb");
    if (!f) return nullptr;
    Model* model = model_read(f, name);
    data_close(f);
    return model;
}

// Finds the "<base>_lod<D>" variants of an "@" model among the data names and chains them by
// increasing distance 2^D. A variant present both plain and as ".gz" is read once.
static void model_add_variants(Model* base, const char* name) {
    std::string stem = name + 1;
    size_t dot = stem.rfind('.');
    if (dot != std::string::npos) stem.resize(dot);
    stem += "_lod";
    for (const char* const* n = data_names(); *n; n++) {
        const char* entry = *n;
        if (strncmp(entry, stem.c_str(), stem.size()) != 0) continue;
        const char* digits = entry + stem.size();
        if (!isdigit((unsigned char)*digits)) continue;
        int d = 0;
        for (; isdigit((unsigned char)*digits); digits++)
            d = std::min(d * 10 + (*digits - '0'), 1000);
        std::string variant = std::string("@") + entry;
        if (variant.size() > 3 && variant.compare(variant.size() - 3, 3, ".gz") == 0)
            variant.resize(variant.size() - 3);
        bool seen = false;
        for (Model* m = base->next_lod; m; m = m->next_lod) seen = seen || m->name == variant;
        if (seen) continue;
        Model* lod = model_read_name(variant.c_str());
        if (!lod) continue;
        lod->lod_distance = ldexpf(1.0f, std::min(d, 127)); // 2^D, kept finite
        Model** at = &base->next_lod;
        while (*at && (*at)->lod_distance <= lod->lod_distance) at = &(*at)->next_lod;
        lod->next_lod = *at;
        *at = lod;
    }
}

Model* model_get(const char* name) {
    for (Model* m : g_models.cache) {
        bool exact = m->name == name;
        if (!exact && strcasecmp(m->name.c_str(), name) != 0) continue;
        if (!exact) log_printf("Warning: case mismatch on '%.900s'\n", name);
        if (m->stamp != 0) m->stamp = g_models.generation;
        return m;
    }
    Model* model = model_read_name(name);
    if (!model) return nullptr;
    if (name[0] == '@') model_add_variants(model, name);
    g_models.cache.push_back(model);
    return model;
}

Model* model_choose_lod(Model* base, const float position[3], const float camera[3]) {
    float dx = camera[0] - position[0], dy = camera[1] - position[1], dz = camera[2] - position[2];
    float d2 = (dx * dx + dy * dy + dz * dz) * g_settings.lod_scale * g_settings.lod_scale;
    Model* chosen = base;
    for (Model* v = base->next_lod; v; v = v->next_lod) {
        float e = v->lod_distance - g_settings.lod_bias;
        if (e > 0 && d2 < e * e) break;
        chosen = v;
    }
    return chosen;
}

// ---------------------------------------------------------------------------------------------
// Geometry

void mesh_compute_tangents(Mesh* mesh) {
    const float tiny = ldexpf(1.0f, -20);
    int n = mesh->vertex_count;
    std::fill(mesh->tangents, mesh->tangents + (size_t)n * 3, 0.0f);
    for (int t = 0; t < mesh->triangle_count; t++) {
        const unsigned* v = mesh->triangles + (size_t)t * 3;
        const float *p0 = mesh->positions + v[0] * 3, *p1 = mesh->positions + v[1] * 3,
                    *p2 = mesh->positions + v[2] * 3;
        const float *t0 = mesh->uvs + v[0] * 2, *t1 = mesh->uvs + v[1] * 2,
                    *t2 = mesh->uvs + v[2] * 2;
        float e1[3] = {p1[0] - p0[0], p1[1] - p0[1], p1[2] - p0[2]};
        float e2[3] = {p2[0] - p0[0], p2[1] - p0[1], p2[2] - p0[2]};
        float du1 = t1[0] - t0[0], dv1 = t1[1] - t0[1], du2 = t2[0] - t0[0], dv2 = t2[1] - t0[1];
        float det = du1 * dv2 - du2 * dv1;
        float tan[3];
        if (fabsf(det) >= tiny) {
            float b[3];
            for (int c = 0; c < 3; c++) {
                tan[c] = (e1[c] * dv2 - e2[c] * dv1) / det;
                b[c] = (e2[c] * du1 - e1[c] * du2) / det;
            }
            float tb[3], face[3];
            vec3f_cross(tan, b, tb);
            vec3f_cross(e2, e1, face);
            if (tb[0] * face[0] + tb[1] * face[1] + tb[2] * face[2] >= 0)
                for (float& c : tan) c = -c;
        } else {
            // Degenerate texture coordinates: a token tangent, so the neighbours decide.
            float l1 = sqrtf(e1[0] * e1[0] + e1[1] * e1[1] + e1[2] * e1[2]);
            float l2 = sqrtf(e2[0] * e2[0] + e2[1] * e2[1] + e2[2] * e2[2]);
            const float* e = l1 > l2 ? e1 : e2;
            float l = std::max(l1, l2);
            if (l > 0) {
                for (int c = 0; c < 3; c++) tan[c] = e[c] / l * tiny;
            } else {
                tan[0] = tiny;
                tan[1] = tan[2] = 0;
            }
        }
        for (int i = 0; i < 3; i++)
            for (int c = 0; c < 3; c++) mesh->tangents[v[i] * 3 + c] += tan[c];
    }
    for (int i = 0; i < n; i++) vec3f_normalise(mesh->tangents + (size_t)i * 3);
    if (mesh->weight_count > 0)
        std::copy(mesh->tangents, mesh->tangents + (size_t)n * 3, mesh->rest_tangents);
}

// out = R v with R's element (row i, column j) at i + 3j.
static void rotate(const float* r, const float* v, float* out) {
    for (int i = 0; i < 3; i++) out[i] = r[i] * v[0] + r[i + 3] * v[1] + r[i + 6] * v[2];
}

void mesh_skin(Mesh* mesh, const ModelBone* bones, int bone_count) {
    int k = mesh->weight_count;
    if (k == 0 || bone_count != k || !bones) return;
    for (int v = 0; v < mesh->vertex_count; v++) {
        float* pos = mesh->positions + (size_t)v * 3;
        float* nrm = mesh->normals + (size_t)v * 3;
        float* tan = mesh->tangents + (size_t)v * 3;
        const float* rp = mesh->rest_positions + (size_t)v * 3;
        const float* rn = mesh->rest_normals + (size_t)v * 3;
        const float* rt = mesh->rest_tangents + (size_t)v * 3;
        float p[3] = {0, 0, 0}, nn[3] = {0, 0, 0}, tt[3] = {0, 0, 0};
        for (int b = 0; b < k; b++) {
            float w = mesh->weights[(size_t)v * k + b];
            if (!(w > 0)) continue; // zero, negative and NaN weights do not pull
            const ModelBone& bone = bones[b];
            float local[3] = {rp[0] - bone.origin[0], rp[1] - bone.origin[1],
                              rp[2] - bone.origin[2]};
            float q[3], rn2[3], rt2[3];
            rotate(bone.rotation, local, q);
            rotate(bone.rotation, rn, rn2);
            rotate(bone.rotation, rt, rt2);
            for (int c = 0; c < 3; c++) {
                p[c] += w * (q[c] + bone.position[c]);
                nn[c] += w * rn2[c];
                tt[c] += w * rt2[c];
            }
        }
        vec3f_normalise(nn);
        vec3f_normalise(tt);
        memcpy(pos, p, sizeof p);
        memcpy(nrm, nn, sizeof nn);
        memcpy(tan, tt, sizeof tt);
    }
}

void mesh_env_map(Mesh* mesh, const float position[3], const float rotation[9],
                  const float camera[3]) {
    // The camera in the model's frame: R^T (camera - position).
    float rel[3] = {camera[0] - position[0], camera[1] - position[1], camera[2] - position[2]};
    float cam[3];
    for (int j = 0; j < 3; j++)
        cam[j] =
            rotation[3 * j] * rel[0] + rotation[3 * j + 1] * rel[1] + rotation[3 * j + 2] * rel[2];
    const float two_pi = 6.283185307179586f;
    for (int v = 0; v < mesh->vertex_count; v++) {
        const float* p = mesh->positions + (size_t)v * 3;
        float n[3] = {mesh->normals[v * 3], mesh->normals[v * 3 + 1], mesh->normals[v * 3 + 2]};
        vec3f_normalise(n);
        float d[3] = {p[0] - cam[0], p[1] - cam[1], p[2] - cam[2]};
        float dn = d[0] * n[0] + d[1] * n[1] + d[2] * n[2];
        float refl[3] = {d[0] - 2 * dn * n[0], d[1] - 2 * dn * n[1], d[2] - 2 * dn * n[2]};
        float r[3];
        rotate(rotation, refl, r);
        vec3f_normalise(r);
        float theta = acosf(std::clamp(r[1], -1.0f, 1.0f));
        float h = sqrtf(r[0] * r[0] + r[2] * r[2]);
        float* uv = mesh->uvs + (size_t)v * 2;
        if (h > 0) {
            uv[0] = 0.5f + theta / two_pi * r[0] / h;
            uv[1] = 0.5f + theta / two_pi * r[2] / h;
        } else {
            // Straight up or down: the map's centre (or its rim, all of which is one point).
            uv[0] = 0.5f + (theta > 1.0f ? 0.5f : 0.0f);
            uv[1] = 0.5f;
        }
    }
}

int mesh_write_mesh2(DataFile* f, const Mesh* mesh) {
    int n = mesh->vertex_count, m = mesh->triangle_count;
    int ok = data_printf(f, "mesh2 {\n") >= 0;
    const char* blocks[3] = {"\tvertex_vectors {\n", "\tnormal_vectors {\n", "\tuv_vectors {\n"};
    const float* arrays[3] = {mesh->positions, mesh->normals, mesh->uvs};
    for (int b = 0; b < 3; b++) {
        ok = ok && data_printf(f, "%s", blocks[b]) >= 0 && data_printf(f, "\t\t%d\n", n) >= 0;
        for (int i = 0; i < n && ok; i++) {
            const char* sep = i + 1 < n ? "," : "";
            if (b < 2) {
                const float* v = arrays[b] + (size_t)i * 3;
                ok = data_printf(f, "\t\t<%f,%f,%f>%s\n", v[0], v[1], v[2], sep) >= 0;
            } else {
                const float* v = arrays[b] + (size_t)i * 2;
                ok = data_printf(f, "\t\t<%f,%f>%s\n", v[0], v[1], sep) >= 0;
            }
        }
        ok = ok && data_printf(f, "\t}\n") >= 0;
    }
    ok = ok && data_printf(f, "\tface_indices {\n") >= 0 && data_printf(f, "\t\t%d\n", m) >= 0;
    for (int i = 0; i < m && ok; i++) {
        const unsigned* t = mesh->triangles + (size_t)i * 3;
        ok = data_printf(f, "\t\t<%d,%d,%d>%s\n", (int)t[0], (int)t[1], (int)t[2],
                         i + 1 < m ? "," : "") >= 0;
    }
    ok = ok && data_printf(f, "\t}\n") >= 0 && data_printf(f, "}\n") >= 0;
    return ok;
}

// ---------------------------------------------------------------------------------------------
// Cache lifetime

void model_new_generation() {
    g_models.generation++;
}

void model_purge() {
    std::vector<Model*>& cache = g_models.cache;
    for (int i = (int)cache.size() - 1; i >= 0; i--) {
        Model* m = cache[i];
        if (m->stamp == 0 || m->stamp == g_models.generation) continue;
        if (g_settings.debug_level) log_printf("deleting model %.900s\n", m->name.c_str());
        model_free(m);
        cache.erase(cache.begin() + i);
    }
}

void model_reset() {
    for (Model* m : g_models.cache) model_free(m);
    g_models = ModelState();
}

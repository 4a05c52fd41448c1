// Low-polygon "JM" models and sphere shape files for the track objects: the start gate, hay
// bales and tuff blocks, with their textures.
#include <cmath>

#include "gen.h"

static int mesh_vertex(MeshGen* m, const float p[3], const float n[3], float u, float v) {
    int index = (int)(m->v.size() / 8);
    float row[8] = {p[0], p[1], p[2], n[0], n[1], n[2], u, v};
    m->v.insert(m->v.end(), row, row + 8);
    return index;
}

// Appends a triangle, turned so that it faces the way its first vertex normal points
// (counter-clockwise seen from outside).
static void mesh_triangle(MeshGen* m, int a, int b, int c) {
    const float* pa = &m->v[(size_t)a * 8];
    const float* pb = &m->v[(size_t)b * 8];
    const float* pc = &m->v[(size_t)c * 8];
    float e1[3] = {pb[0] - pa[0], pb[1] - pa[1], pb[2] - pa[2]};
    float e2[3] = {pc[0] - pa[0], pc[1] - pa[1], pc[2] - pa[2]};
    float n[3] = {e1[1] * e2[2] - e1[2] * e2[1], e1[2] * e2[0] - e1[0] * e2[2],
                  e1[0] * e2[1] - e1[1] * e2[0]};
    float facing = n[0] * (pa[3] + pb[3] + pc[3]) + n[1] * (pa[4] + pb[4] + pc[4]) +
                   n[2] * (pa[5] + pb[5] + pc[5]);
    int order[3] = {a, b, c};
    if (facing < 0) {
        order[1] = c;
        order[2] = b;
    }
    m->tri.insert(m->tri.end(), order, order + 3);
}

void mesh_box(MeshGen* m, float x0, float y0, float z0, float x1, float y1, float z1, float u0,
              float v0, float u1, float v1) {
    // Each face: outward normal, right and up axes with right x up = normal.
    static const float faces[6][3][3] = {
        {{1, 0, 0}, {0, 0, -1}, {0, 1, 0}}, {{-1, 0, 0}, {0, 0, 1}, {0, 1, 0}},
        {{0, 1, 0}, {1, 0, 0}, {0, 0, -1}}, {{0, -1, 0}, {1, 0, 0}, {0, 0, 1}},
        {{0, 0, 1}, {1, 0, 0}, {0, 1, 0}},  {{0, 0, -1}, {-1, 0, 0}, {0, 1, 0}}};
    float c[3] = {(x0 + x1) / 2, (y0 + y1) / 2, (z0 + z1) / 2};
    float h[3] = {std::fabs(x1 - x0) / 2, std::fabs(y1 - y0) / 2, std::fabs(z1 - z0) / 2};
    static const float corner[4][2] = {{-1, -1}, {1, -1}, {1, 1}, {-1, 1}};
    for (const auto& f : faces) {
        int idx[4];
        for (int k = 0; k < 4; k++) {
            float p[3];
            for (int q = 0; q < 3; q++)
                p[q] = c[q] + (f[0][q] + f[1][q] * corner[k][0] + f[2][q] * corner[k][1]) * h[q];
            float u = corner[k][0] < 0 ? u0 : u1, v = corner[k][1] < 0 ? v0 : v1;
            idx[k] = mesh_vertex(m, p, f[0], u, v);
        }
        mesh_triangle(m, idx[0], idx[1], idx[2]);
        mesh_triangle(m, idx[0], idx[2], idx[3]);
    }
}

void mesh_cylinder(MeshGen* m, float cx, float cy, float cz, int axis, float radius, float length,
                   int sides, float u0, float v0, float u1, float v1) {
    int a1 = (axis + 1) % 3, a2 = (axis + 2) % 3;
    float centre[3] = {cx, cy, cz};
    std::vector<int> ring0, ring1;
    for (int k = 0; k <= sides; k++) {
        float ang = 2 * GEN_PI * k / sides;
        float n[3] = {0, 0, 0};
        n[a1] = std::cos(ang);
        n[a2] = std::sin(ang);
        float p0[3], p1[3];
        for (int q = 0; q < 3; q++) p0[q] = p1[q] = centre[q] + n[q] * radius;
        p0[axis] -= length / 2;
        p1[axis] += length / 2;
        float u = lerpf(u0, u1, (float)k / sides);
        ring0.push_back(mesh_vertex(m, p0, n, u, v0));
        ring1.push_back(mesh_vertex(m, p1, n, u, v1));
    }
    for (int k = 0; k < sides; k++) {
        mesh_triangle(m, ring0[k], ring0[k + 1], ring1[k + 1]);
        mesh_triangle(m, ring0[k], ring1[k + 1], ring1[k]);
    }
    for (int end = 0; end < 2; end++) {
        float n[3] = {0, 0, 0};
        n[axis] = end ? 1.0f : -1.0f;
        float pc[3] = {cx, cy, cz};
        pc[axis] += n[axis] * length / 2;
        int mid = mesh_vertex(m, pc, n, (u0 + u1) / 2, (v0 + v1) / 2);
        std::vector<int> rim;
        for (int k = 0; k <= sides; k++) {
            float ang = 2 * GEN_PI * k / sides;
            float p[3] = {pc[0], pc[1], pc[2]};
            p[a1] += std::cos(ang) * radius;
            p[a2] += std::sin(ang) * radius;
            rim.push_back(mesh_vertex(m, p, n, (u0 + u1) / 2 + std::cos(ang) * (u1 - u0) / 2,
                                      (v0 + v1) / 2 + std::sin(ang) * (v1 - v0) / 2));
        }
        for (int k = 0; k < sides; k++) mesh_triangle(m, mid, rim[k], rim[k + 1]);
    }
}

/*
 * "JM" version 1: the line "JM1", then per mesh the header "S A R G B N M" (shininess, alpha,
 * specular red, green, blue, vertex count, triangle count), N lines "x y z nx ny nz u v" (v
 * counted upward from the image's bottom row; the reader turns it into 1 - v) and M lines of
 * three vertex indices.
 */
std::string jm_text(const std::vector<MeshGen>& meshes) {
    std::string out = "JM1\n";
    for (const MeshGen& m : meshes) {
        size_t n = m.v.size() / 8;
        out += strf("%g %g %g %g %g %zu %zu\n", m.shininess, m.alpha, m.specular[0], m.specular[1],
                    m.specular[2], n, m.tri.size() / 3);
        for (size_t k = 0; k < n; k++) {
            const float* r = &m.v[k * 8];
            out += strf("%.5f %.5f %.5f %.5f %.5f %.5f %.5f %.5f\n", r[0], r[1], r[2], r[3], r[4],
                        r[5], r[6], r[7]);
        }
        for (size_t k = 0; k < m.tri.size(); k += 3)
            out += strf("%d %d %d\n", m.tri[k], m.tri[k + 1], m.tri[k + 2]);
    }
    return out;
}

/*
 * Shape file: the sphere count, then per sphere its centre "x y z" and "radius friction spring
 * damper" (the last three are what the contacts use for the sphere's surface).
 */
std::string shape_text(const std::vector<Sphere>& spheres) {
    std::string out = strf("%zu\n", spheres.size());
    for (const Sphere& s : spheres)
        out +=
            strf("%g %g %g %g %g %g %g\n", s.x, s.y, s.z, s.radius, s.friction, s.spring, s.damper);
    return out;
}

// The start gate: a plate hinged across the slot at the model's origin, lying flat along +x
// (back toward the riders, whom the game's gate statue faces) when dropped. The race raises it
// by turning it 33.75 degrees about z, so its free edge comes up in front of the front wheel;
// the spheres along that edge then stand above a wheel's hub and press a wheel pushed against
// them down and back instead of letting it climb. Dropped, they are a low bump under the plate.
static int write_startgate(const std::string& out) {
    MeshGen plate;
    plate.shininess = 24;
    plate.specular[0] = plate.specular[1] = plate.specular[2] = 0.5f;
    mesh_box(&plate, 0.1f, 0.0f, -1.45f, 2.9f, 0.12f, 1.45f, 0, 0, 1, 0.75f);
    mesh_cylinder(&plate, 0, 0.12f, 0, 2, 0.12f, 3.0f, 10, 0, 0.8f, 1, 1);
    mesh_cylinder(&plate, 2.85f, 0.14f, 0, 2, 0.14f, 2.9f, 10, 0, 0.8f, 1, 1);
    std::vector<Sphere> sph;
    for (int k = 0; k < 3; k++)
        sph.push_back({2.9f, -0.12f, -0.95f + 0.95f * k, 0.34f, 0.5f, 25000, 2500});
    return write_text(out + "startgate.jm", jm_text({plate})) &&
           write_text(out + "startgate.shp", shape_text(sph)) &&
           write_canvas_ppm(out + "startgate.ppm", paint_startgate_texture(128));
}

// A straw bale four feet long lying along x, with softer spheres than the hard objects.
static int write_haybale(const std::string& out) {
    MeshGen bale;
    bale.shininess = 2;
    bale.specular[0] = bale.specular[1] = bale.specular[2] = 0.05f;
    mesh_box(&bale, -2.0f, 0.0f, -0.8f, 2.0f, 1.6f, 0.8f, 0, 0, 1, 1);
    std::vector<Sphere> sph;
    for (int k = 0; k < 4; k++) sph.push_back({-1.5f + k * 1.0f, 0.8f, 0, 0.8f, 0.8f, 8000, 1200});
    return write_text(out + "haybale.jm", jm_text({bale})) &&
           write_text(out + "haybale.shp", shape_text(sph)) &&
           write_canvas_png(out + "haybale.png", paint_haybale_texture(128), 3);
}

// A plastic tuff block: a bevelled body with a rounded top.
static int write_tuffblock(const std::string& out) {
    MeshGen block;
    block.shininess = 32;
    block.specular[0] = block.specular[1] = block.specular[2] = 0.35f;
    mesh_box(&block, -2.5f, 0.0f, -0.9f, 2.5f, 1.6f, 0.9f, 0, 0, 1, 0.7f);
    mesh_cylinder(&block, 0, 1.6f, 0, 0, 0.9f, 5.0f, 12, 0, 0.7f, 1, 1);
    std::vector<Sphere> sph;
    for (int k = 0; k < 4; k++)
        sph.push_back({-1.9f + k * 1.2667f, 1.1f, 0, 1.1f, 0.5f, 30000, 2000});
    return write_text(out + "tuffblock.jm", jm_text({block})) &&
           write_text(out + "tuffblock.shp", shape_text(sph)) &&
           write_canvas_png(out + "tuffblock.png", paint_tuff_texture(128), 3);
}

int models_write(const std::string& out) {
    return write_startgate(out) && write_haybale(out) && write_tuffblock(out);
}

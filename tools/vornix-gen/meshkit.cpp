// The mesh kit of the bike and rider models: vectors, a builder with a transform, boxes, tubes,
// solids of revolution, rings, bevelled prisms, ellipsoids and curved plates, and the "JM"
// writers. Every primitive gives its vertices normals pointing out of the solid, and every
// triangle is turned to face the way its normals point.
#include <algorithm>
#include <cmath>

#include "bikegen.h"

float vec_dot(Vec3 a, Vec3 b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}
Vec3 vec_cross(Vec3 a, Vec3 b) {
    return v3(a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x);
}
float vec_length(Vec3 a) {
    return std::sqrt(vec_dot(a, a));
}
Vec3 vec_unit(Vec3 a) {
    float l = vec_length(a);
    return l > 1e-12f ? a * (1.0f / l) : v3(0, 1, 0);
}
Vec3 vec_lerp(Vec3 a, Vec3 b, float t) {
    return a + (b - a) * t;
}

UvRect atlas_rect(int size, int x0, int y0, int x1, int y1) {
    const float inset = 1.5f;
    UvRect r;
    r.u0 = (x0 + inset) / size;
    r.u1 = (x1 - inset) / size;
    r.v0 = 1.0f - (y1 - inset) / size; // the bottom of the rectangle
    r.v1 = 1.0f - (y0 + inset) / size;
    return r;
}

UvRect uv_full() {
    return UvRect();
}

static float uv_u(const UvRect& r, float s) {
    return r.u0 + (r.u1 - r.u0) * s;
}
static float uv_v(const UvRect& r, float t) {
    return r.v0 + (r.v1 - r.v0) * t;
}

void kitmesh_material(KitMesh* m, float shininess, float specular) {
    m->shininess = shininess;
    m->specular[0] = m->specular[1] = m->specular[2] = specular;
}

Kit kit_on(KitMesh* mesh, Vec3 translate) {
    Kit k;
    k.mesh = mesh;
    k.t = translate;
    return k;
}

void kit_mirror_x(Kit* k) {
    k->m[0] = -k->m[0];
    k->m[3] = -k->m[3];
    k->m[6] = -k->m[6];
}

static Vec3 kit_apply(const Kit* k, Vec3 p) {
    return v3(k->m[0] * p.x + k->m[1] * p.y + k->m[2] * p.z,
              k->m[3] * p.x + k->m[4] * p.y + k->m[5] * p.z,
              k->m[6] * p.x + k->m[7] * p.y + k->m[8] * p.z);
}

int kit_vertex(Kit* k, Vec3 p, Vec3 n, float u, float v) {
    KitMesh* m = k->mesh;
    Vec3 wp = kit_apply(k, p) + k->t;
    Vec3 wn = vec_unit(kit_apply(k, n));
    int index = (int)(m->v.size() / 8);
    float row[8] = {wp.x, wp.y, wp.z, wn.x, wn.y, wn.z, clampf(u, 0, 1), clampf(v, 0, 1)};
    m->v.insert(m->v.end(), row, row + 8);
    m->tag.push_back(k->tag);
    return index;
}

static Vec3 mesh_pos(const KitMesh* m, int i) {
    const float* r = &m->v[(size_t)i * 8];
    return v3(r[0], r[1], r[2]);
}
static Vec3 mesh_normal(const KitMesh* m, int i) {
    const float* r = &m->v[(size_t)i * 8];
    return v3(r[3], r[4], r[5]);
}

void kit_tri(Kit* k, int a, int b, int c) {
    KitMesh* m = k->mesh;
    Vec3 pa = mesh_pos(m, a), pb = mesh_pos(m, b), pc = mesh_pos(m, c);
    Vec3 n = vec_cross(pb - pa, pc - pa);
    if (vec_dot(n, n) < 1e-14f) return;
    Vec3 want = mesh_normal(m, a) + mesh_normal(m, b) + mesh_normal(m, c);
    if (vec_dot(n, want) < 0) std::swap(b, c);
    m->tri.push_back(a);
    m->tri.push_back(b);
    m->tri.push_back(c);
}

void kit_quad(Kit* k, int a, int b, int c, int d) {
    kit_tri(k, a, b, c);
    kit_tri(k, a, c, d);
}

void kit_obox(Kit* k, Vec3 c, Vec3 ax, Vec3 ay, Vec3 az, Vec3 h, UvRect uv) {
    Vec3 axes[3] = {ax, ay, az};
    float half[3] = {h.x, h.y, h.z};
    static const float corner[4][2] = {{-1, -1}, {1, -1}, {1, 1}, {-1, 1}};
    for (int f = 0; f < 6; f++) {
        int a = f / 2, b = (a + 1) % 3, d = (a + 2) % 3;
        float s = (f & 1) ? -1.0f : 1.0f;
        Vec3 n = axes[a] * s;
        int idx[4];
        for (int q = 0; q < 4; q++) {
            Vec3 p = c + n * half[a] + axes[b] * (corner[q][0] * half[b]) +
                     axes[d] * (corner[q][1] * half[d]);
            idx[q] = kit_vertex(k, p, n, corner[q][0] < 0 ? uv.u0 : uv.u1,
                                corner[q][1] < 0 ? uv.v0 : uv.v1);
        }
        kit_quad(k, idx[0], idx[1], idx[2], idx[3]);
    }
}

void kit_box(Kit* k, Vec3 c, Vec3 h, UvRect uv) {
    kit_obox(k, c, v3(1, 0, 0), v3(0, 1, 0), v3(0, 0, 1), h, uv);
}

// A unit vector perpendicular to t, as close to hint as possible.
static Vec3 perpendicular(Vec3 t, Vec3 hint) {
    Vec3 s = hint - t * vec_dot(hint, t);
    if (vec_length(s) < 1e-4f) {
        Vec3 other = std::fabs(t.x) < 0.9f ? v3(1, 0, 0) : v3(0, 1, 0);
        s = other - t * vec_dot(other, t);
    }
    return vec_unit(s);
}

void kit_tube(Kit* k, const std::vector<Vec3>& path, const std::vector<float>& ra,
              const std::vector<float>& rb, int sides, Vec3 side_hint, UvRect uv, int caps) {
    size_t n = path.size();
    if (n < 2 || sides < 3) return;
    std::vector<float> along(n, 0);
    for (size_t i = 1; i < n; i++) along[i] = along[i - 1] + vec_length(path[i] - path[i - 1]);
    float total = along[n - 1] > 0 ? along[n - 1] : 1;
    const bool flat = sides <= 4;
    const float phase = GEN_PI / sides; // a flat face underneath
    // Per ring: position and normal of every corner (flat tubes repeat corners per face).
    std::vector<std::vector<int>> rings(n);
    std::vector<Vec3> tangent(n), side(n), other(n);
    for (size_t i = 0; i < n; i++) {
        Vec3 a = path[i == 0 ? 0 : i - 1], b = path[i + 1 < n ? i + 1 : n - 1];
        tangent[i] = vec_unit(b - a);
        side[i] = perpendicular(tangent[i], i == 0 ? side_hint : side[i - 1] * 0.3f + side_hint);
        other[i] = vec_cross(tangent[i], side[i]);
    }
    for (size_t i = 0; i < n; i++) {
        float va = uv_v(uv, along[i] / total);
        for (int j = 0; j <= sides; j++) {
            float ang = phase + 2 * GEN_PI * j / sides;
            Vec3 p =
                path[i] + side[i] * (std::cos(ang) * ra[i]) + other[i] * (std::sin(ang) * rb[i]);
            Vec3 nrm = vec_unit(side[i] * (std::cos(ang) / std::max(ra[i], 1e-4f)) +
                                other[i] * (std::sin(ang) / std::max(rb[i], 1e-4f)));
            float u = uv_u(uv, (float)j / sides);
            if (!flat) {
                rings[i].push_back(kit_vertex(k, p, nrm, u, va));
                continue;
            }
            // Flat: this corner once as the end of face j-1 and once as the start of face j.
            for (int face = j - 1; face <= j; face++) {
                if (face < 0 || face >= sides) {
                    rings[i].push_back(-1);
                    continue;
                }
                float mid = phase + 2 * GEN_PI * (face + 0.5f) / sides;
                Vec3 fn = vec_unit(side[i] * (std::cos(mid) / std::max(ra[i], 1e-4f)) +
                                   other[i] * (std::sin(mid) / std::max(rb[i], 1e-4f)));
                rings[i].push_back(kit_vertex(k, p, fn, u, va));
            }
        }
    }
    for (size_t i = 0; i + 1 < n; i++)
        for (int j = 0; j < sides; j++) {
            if (!flat) {
                kit_quad(k, rings[i][j], rings[i][j + 1], rings[i + 1][j + 1], rings[i + 1][j]);
                continue;
            }
            // Corner j's "start of face j" slot is 2j + 1; corner j+1's "end of face j" is 2j + 2.
            kit_quad(k, rings[i][2 * j + 1], rings[i][2 * j + 2], rings[i + 1][2 * j + 2],
                     rings[i + 1][2 * j + 1]);
        }
    for (int end = 0; end < 2; end++) {
        if (!(caps & (1 << end))) continue;
        size_t i = end ? n - 1 : 0;
        Vec3 nrm = tangent[i] * (end ? 1.0f : -1.0f);
        float cu = (uv.u0 + uv.u1) / 2, cv = (uv.v0 + uv.v1) / 2;
        int mid = kit_vertex(k, path[i], nrm, cu, cv);
        std::vector<int> rim;
        for (int j = 0; j <= sides; j++) {
            float ang = phase + 2 * GEN_PI * j / sides;
            Vec3 p =
                path[i] + side[i] * (std::cos(ang) * ra[i]) + other[i] * (std::sin(ang) * rb[i]);
            rim.push_back(kit_vertex(k, p, nrm, cu + std::cos(ang) * (uv.u1 - uv.u0) / 2,
                                     cv + std::sin(ang) * (uv.v1 - uv.v0) / 2));
        }
        for (int j = 0; j < sides; j++) kit_tri(k, mid, rim[j], rim[j + 1]);
    }
}

void kit_cylinder(Kit* k, Vec3 a, Vec3 b, float radius, int sides, UvRect uv, int caps) {
    Vec3 t = vec_unit(b - a);
    Vec3 hint = std::fabs(t.x) < 0.9f ? v3(1, 0, 0) : v3(0, 1, 0);
    kit_tube(k, {a, b}, {radius, radius}, {radius, radius}, sides, hint, uv, caps);
}

void kit_lathe(Kit* k, Vec3 c, const std::vector<float>& radius, const std::vector<float>& x,
               int segments, UvRect uv) {
    size_t n = radius.size();
    if (n < 2 || x.size() != n || segments < 3) return;
    std::vector<float> along(n, 0);
    for (size_t i = 1; i < n; i++)
        along[i] = along[i - 1] + std::hypot(radius[i] - radius[i - 1], x[i] - x[i - 1]);
    float total = along[n - 1] > 0 ? along[n - 1] : 1;
    // Profile normals in (axial, radial): the outside lies to the left of the profile's
    // direction when x is drawn to the right and the radius upward. A repeated point makes a
    // crease.
    std::vector<float> na(n, 0), nr(n, 0);
    for (size_t i = 0; i < n; i++) {
        float sa = 0, sr = 0;
        for (int side = -1; side <= 1; side += 2) {
            long j = (long)i + side;
            if (j < 0 || j >= (long)n) continue;
            size_t lo = side < 0 ? (size_t)j : i, hi = side < 0 ? i : (size_t)j;
            float dx = x[hi] - x[lo], dr = radius[hi] - radius[lo];
            float len = std::hypot(dx, dr);
            if (len < 1e-6f) continue;
            // A crease: a repeated point takes only its own side's segment.
            bool crease = (side < 0 && i + 1 < n &&
                           std::hypot(x[i + 1] - x[i], radius[i + 1] - radius[i]) < 1e-6f) ||
                          (side > 0 && i > 0 &&
                           std::hypot(x[i] - x[i - 1], radius[i] - radius[i - 1]) < 1e-6f);
            if (crease) continue;
            sa += -dr / len;
            sr += dx / len;
        }
        float l = std::hypot(sa, sr);
        na[i] = l > 0 ? sa / l : 0;
        nr[i] = l > 0 ? sr / l : 1;
    }
    std::vector<std::vector<int>> rows(n);
    for (size_t i = 0; i < n; i++)
        for (int s = 0; s <= segments; s++) {
            float ang = 2 * GEN_PI * s / segments;
            float cy = std::cos(ang), sz = std::sin(ang);
            Vec3 p = c + v3(x[i], radius[i] * cy, radius[i] * sz);
            Vec3 nrm = v3(na[i], nr[i] * cy, nr[i] * sz);
            rows[i].push_back(
                kit_vertex(k, p, nrm, uv_u(uv, (float)s / segments), uv_v(uv, along[i] / total)));
        }
    for (size_t i = 0; i + 1 < n; i++)
        for (int s = 0; s < segments; s++)
            kit_quad(k, rows[i][s], rows[i][s + 1], rows[i + 1][s + 1], rows[i + 1][s]);
}

void kit_ring(Kit* k, Vec3 c, float x0, float x1, float r_in,
              const std::function<float(float)>& r_out, int segments, UvRect uv) {
    std::vector<float> outer(segments + 1);
    float rmax = r_in;
    for (int s = 0; s <= segments; s++) {
        outer[s] = r_out(2 * GEN_PI * s / segments);
        rmax = std::max(rmax, outer[s]);
    }
    auto face_uv = [&](float y, float z, float* u, float* v) {
        *u = uv_u(uv, 0.5f + z / (2 * rmax));
        *v = uv_v(uv, 0.5f + y / (2 * rmax));
    };
    auto at = [&](float x, float r, float ang) {
        return c + v3(x, r * std::cos(ang), r * std::sin(ang));
    };
    for (int side = 0; side < 2; side++) {
        float x = side ? x1 : x0;
        Vec3 n = v3(side ? 1.0f : -1.0f, 0, 0);
        std::vector<int> in, out;
        for (int s = 0; s <= segments; s++) {
            float ang = 2 * GEN_PI * s / segments, u, v;
            face_uv(r_in * std::cos(ang), r_in * std::sin(ang), &u, &v);
            in.push_back(kit_vertex(k, at(x, r_in, ang), n, u, v));
            face_uv(outer[s] * std::cos(ang), outer[s] * std::sin(ang), &u, &v);
            out.push_back(kit_vertex(k, at(x, outer[s], ang), n, u, v));
        }
        for (int s = 0; s < segments; s++) kit_quad(k, in[s], in[s + 1], out[s + 1], out[s]);
    }
    // Outer and inner walls, flat per segment.
    for (int s = 0; s < segments; s++) {
        float a0 = 2 * GEN_PI * s / segments, a1 = 2 * GEN_PI * (s + 1) / segments;
        Vec3 p0 = at(0, outer[s], a0), p1 = at(0, outer[s + 1], a1);
        Vec3 n = vec_unit(vec_cross(v3(1, 0, 0), p1 - p0));
        if (vec_dot(n, (p0 + p1) * 0.5f - c) < 0) n = n * -1.0f;
        float u0 = uv_u(uv, (float)s / segments), u1 = uv_u(uv, (float)(s + 1) / segments);
        kit_quad(k, kit_vertex(k, at(x0, outer[s], a0), n, u0, uv.v0),
                 kit_vertex(k, at(x0, outer[s + 1], a1), n, u1, uv.v0),
                 kit_vertex(k, at(x1, outer[s + 1], a1), n, u1, uv.v1),
                 kit_vertex(k, at(x1, outer[s], a0), n, u0, uv.v1));
        if (r_in <= 0) continue;
        float mid = (a0 + a1) / 2;
        Vec3 ni = v3(0, -std::cos(mid), -std::sin(mid));
        kit_quad(k, kit_vertex(k, at(x0, r_in, a0), ni, u0, uv.v0),
                 kit_vertex(k, at(x0, r_in, a1), ni, u1, uv.v0),
                 kit_vertex(k, at(x1, r_in, a1), ni, u1, uv.v1),
                 kit_vertex(k, at(x1, r_in, a0), ni, u0, uv.v1));
    }
}

// Ear clipping of a simple polygon given counter-clockwise; returns index triples.
static std::vector<int> triangulate(const std::vector<float>& p) {
    int n = (int)p.size() / 2;
    std::vector<int> idx(n), out;
    for (int i = 0; i < n; i++) idx[i] = i;
    auto cross = [&](int a, int b, int c) {
        return (p[2 * b] - p[2 * a]) * (p[2 * c + 1] - p[2 * a + 1]) -
               (p[2 * b + 1] - p[2 * a + 1]) * (p[2 * c] - p[2 * a]);
    };
    int guard = 0;
    while (idx.size() > 3 && guard++ < 10000) {
        bool clipped = false;
        int m = (int)idx.size();
        for (int i = 0; i < m && !clipped; i++) {
            int a = idx[(i + m - 1) % m], b = idx[i], c = idx[(i + 1) % m];
            if (cross(a, b, c) <= 1e-9f) continue; // reflex or flat corner
            bool inside = false;
            for (int q : idx) {
                if (q == a || q == b || q == c) continue;
                if (cross(a, b, q) >= 0 && cross(b, c, q) >= 0 && cross(c, a, q) >= 0) {
                    inside = true;
                    break;
                }
            }
            if (inside) continue;
            out.insert(out.end(), {a, b, c});
            idx.erase(idx.begin() + i);
            clipped = true;
        }
        if (!clipped) break; // not simple: give up on the rest
    }
    if (idx.size() == 3) out.insert(out.end(), {idx[0], idx[1], idx[2]});
    return out;
}

void kit_extrude(Kit* k, const std::vector<float>& zy, float x0, float x1, float bevel,
                 UvRect side_uv, UvRect cap_uv, const std::function<Vec3(Vec3)>& warp) {
    kit_extrude2(k, zy, x0, x1, bevel, side_uv, cap_uv, cap_uv, warp);
}

void kit_extrude2(Kit* k, const std::vector<float>& zy_in, float x0, float x1, float bevel,
                  UvRect side_uv, UvRect cap_uv, UvRect cap1_uv,
                  const std::function<Vec3(Vec3)>& warp) {
    int n = (int)zy_in.size() / 2;
    if (n < 3) return;
    std::vector<float> zy = zy_in;
    float area = 0;
    for (int i = 0; i < n; i++) {
        int j = (i + 1) % n;
        area += zy[2 * i] * zy[2 * j + 1] - zy[2 * j] * zy[2 * i + 1];
    }
    if (area < 0) // counter-clockwise in (z, y) from here on
        for (int i = 0; i < n / 2; i++) {
            std::swap(zy[2 * i], zy[2 * (n - 1 - i)]);
            std::swap(zy[2 * i + 1], zy[2 * (n - 1 - i) + 1]);
        }
    float zmin = zy[0], zmax = zy[0], ymin = zy[1], ymax = zy[1];
    for (int i = 0; i < n; i++) {
        zmin = std::min(zmin, zy[2 * i]);
        zmax = std::max(zmax, zy[2 * i]);
        ymin = std::min(ymin, zy[2 * i + 1]);
        ymax = std::max(ymax, zy[2 * i + 1]);
    }
    // The profile drawn in by the bevel: each corner moved along its mitre.
    std::vector<float> inset = zy;
    std::vector<float> outward(2 * n); // outward edge normal of edge i -> i+1
    for (int i = 0; i < n; i++) {
        int j = (i + 1) % n;
        float dz = zy[2 * j] - zy[2 * i], dy = zy[2 * j + 1] - zy[2 * i + 1];
        float l = std::hypot(dz, dy);
        outward[2 * i] = l > 0 ? dy / l : 0;
        outward[2 * i + 1] = l > 0 ? -dz / l : 0;
    }
    for (int i = 0; i < n; i++) {
        int h = (i + n - 1) % n;
        float mz = outward[2 * h] + outward[2 * i], my = outward[2 * h + 1] + outward[2 * i + 1];
        float ml = std::hypot(mz, my);
        if (ml < 1e-6f) continue;
        mz /= ml;
        my /= ml;
        float d = bevel / std::max(mz * outward[2 * i] + my * outward[2 * i + 1], 0.4f);
        inset[2 * i] -= mz * d;
        inset[2 * i + 1] -= my * d;
    }
    // Layers: drawn-in end, full profile, full profile, drawn-in end.
    struct Layer {
        const std::vector<float>* prof;
        float x;
    };
    std::vector<Layer> layers;
    if (bevel > 0 && x1 - x0 > 2 * bevel)
        layers = {{&inset, x0}, {&zy, x0 + bevel}, {&zy, x1 - bevel}, {&inset, x1}};
    else
        layers = {{&zy, x0}, {&zy, x1}};
    auto place = [&](float x, float z, float y) {
        Vec3 p = v3(x, y, z);
        return warp ? warp(p) : p;
    };
    auto flat = [&](Vec3 a, Vec3 b, Vec3 c, Vec3 hint) {
        Vec3 nrm = vec_unit(vec_cross(b - a, c - a));
        return vec_dot(nrm, hint) < 0 ? nrm * -1.0f : nrm;
    };
    float perimeter = 0;
    for (int i = 0; i < n; i++) {
        int j = (i + 1) % n;
        perimeter += std::hypot(zy[2 * j] - zy[2 * i], zy[2 * j + 1] - zy[2 * i + 1]);
    }
    float run = 0;
    for (int i = 0; i < n; i++) {
        int j = (i + 1) % n;
        float len = std::hypot(zy[2 * j] - zy[2 * i], zy[2 * j + 1] - zy[2 * i + 1]);
        float u0 = uv_u(side_uv, run / perimeter), u1 = uv_u(side_uv, (run + len) / perimeter);
        run += len;
        for (size_t l = 0; l + 1 < layers.size(); l++) {
            const std::vector<float>& pa = *layers[l].prof;
            const std::vector<float>& pb = *layers[l + 1].prof;
            Vec3 a = place(layers[l].x, pa[2 * i], pa[2 * i + 1]);
            Vec3 b = place(layers[l].x, pa[2 * j], pa[2 * j + 1]);
            Vec3 c = place(layers[l + 1].x, pb[2 * j], pb[2 * j + 1]);
            Vec3 d = place(layers[l + 1].x, pb[2 * i], pb[2 * i + 1]);
            float ex = l == 0 ? -1.0f : (l + 2 == layers.size() ? 1.0f : 0.0f);
            Vec3 hint =
                v3(layers.size() == 2 ? 0.0f : ex * 0.7f, outward[2 * i + 1], outward[2 * i]);
            Vec3 nrm = flat(a, b, c, hint);
            if (vec_length(vec_cross(b - a, c - a)) < 1e-9f) nrm = flat(a, c, d, hint);
            float va = uv_v(side_uv, (float)l / (layers.size() - 1));
            float vb = uv_v(side_uv, (float)(l + 1) / (layers.size() - 1));
            kit_quad(k, kit_vertex(k, a, nrm, u0, va), kit_vertex(k, b, nrm, u1, va),
                     kit_vertex(k, c, nrm, u1, vb), kit_vertex(k, d, nrm, u0, vb));
        }
    }
    std::vector<int> tris = triangulate(zy);
    for (int end = 0; end < 2; end++) {
        const Layer& layer = end ? layers.back() : layers.front();
        const std::vector<float>& prof = *layer.prof;
        Vec3 hint = v3(end ? 1.0f : -1.0f, 0, 0);
        for (size_t t = 0; t + 2 < tris.size(); t += 3) {
            int q[3] = {tris[t], tris[t + 1], tris[t + 2]};
            Vec3 p[3];
            for (int s = 0; s < 3; s++) p[s] = place(layer.x, prof[2 * q[s]], prof[2 * q[s] + 1]);
            Vec3 nrm = flat(p[0], p[1], p[2], hint);
            int idx[3];
            for (int s = 0; s < 3; s++) {
                // Each end reads the right way round when seen from its own side.
                float fz = (zy[2 * q[s]] - zmin) / std::max(zmax - zmin, 1e-6f);
                float fy = (zy[2 * q[s] + 1] - ymin) / std::max(ymax - ymin, 1e-6f);
                const UvRect& r = end ? cap1_uv : cap_uv;
                idx[s] = kit_vertex(k, p[s], nrm, uv_u(r, end ? 1 - fz : fz), uv_v(r, fy));
            }
            kit_tri(k, idx[0], idx[1], idx[2]);
        }
    }
}

void kit_ellipsoid(Kit* k, Vec3 c, Vec3 r, int slices, int stacks, UvRect uv, float y_cut) {
    float lat0 = y_cut > -1 ? std::asin(clampf(y_cut, -1, 1)) : -GEN_PI / 2;
    std::vector<std::vector<int>> rows(stacks + 1);
    for (int i = 0; i <= stacks; i++) {
        float lat = lat0 + (GEN_PI / 2 - lat0) * i / stacks;
        for (int s = 0; s <= slices; s++) {
            float lon = 2 * GEN_PI * s / slices;
            Vec3 unit =
                v3(std::cos(lat) * std::sin(lon), std::sin(lat), std::cos(lat) * std::cos(lon));
            Vec3 p = c + v3(unit.x * r.x, unit.y * r.y, unit.z * r.z);
            Vec3 nrm = vec_unit(v3(unit.x / r.x, unit.y / r.y, unit.z / r.z));
            rows[i].push_back(
                kit_vertex(k, p, nrm, uv_u(uv, (float)s / slices), uv_v(uv, (float)i / stacks)));
        }
    }
    for (int i = 0; i < stacks; i++)
        for (int s = 0; s < slices; s++)
            kit_quad(k, rows[i][s], rows[i][s + 1], rows[i + 1][s + 1], rows[i + 1][s]);
}

void kit_strip(Kit* k, const std::vector<Vec3>& path, const std::vector<Vec3>& across,
               const std::vector<float>& half_width, float thickness, UvRect uv, UvRect edge_uv) {
    size_t n = path.size();
    if (n < 2) return;
    std::vector<float> along(n, 0);
    for (size_t i = 1; i < n; i++) along[i] = along[i - 1] + vec_length(path[i] - path[i - 1]);
    float total = along[n - 1] > 0 ? along[n - 1] : 1;
    std::vector<Vec3> up(n), side(n);
    for (size_t i = 0; i < n; i++) {
        Vec3 t = vec_unit(path[std::min(i + 1, n - 1)] - path[i == 0 ? 0 : i - 1]);
        side[i] = perpendicular(t, across[i]);
        up[i] = vec_unit(vec_cross(t, side[i]));
    }
    float h = thickness / 2;
    // Top and bottom faces.
    for (int face = 0; face < 2; face++) {
        float s = face ? -1.0f : 1.0f;
        std::vector<int> left, right;
        for (size_t i = 0; i < n; i++) {
            Vec3 mid = path[i] + up[i] * (s * h);
            Vec3 nrm = up[i] * s;
            float v = uv_v(face ? edge_uv : uv, along[i] / total);
            UvRect r = face ? edge_uv : uv;
            left.push_back(kit_vertex(k, mid - side[i] * half_width[i], nrm, r.u0, v));
            right.push_back(kit_vertex(k, mid + side[i] * half_width[i], nrm, r.u1, v));
        }
        for (size_t i = 0; i + 1 < n; i++)
            kit_quad(k, left[i], right[i], right[i + 1], left[i + 1]);
    }
    // Side edges and end edges.
    for (int e = 0; e < 2; e++) {
        float s = e ? 1.0f : -1.0f;
        for (size_t i = 0; i + 1 < n; i++) {
            Vec3 a = path[i] + side[i] * (s * half_width[i]);
            Vec3 b = path[i + 1] + side[i + 1] * (s * half_width[i + 1]);
            Vec3 nrm = side[i] * s;
            kit_quad(k, kit_vertex(k, a + up[i] * h, nrm, edge_uv.u0, edge_uv.v0),
                     kit_vertex(k, b + up[i + 1] * h, nrm, edge_uv.u1, edge_uv.v0),
                     kit_vertex(k, b - up[i + 1] * h, nrm, edge_uv.u1, edge_uv.v1),
                     kit_vertex(k, a - up[i] * h, nrm, edge_uv.u0, edge_uv.v1));
        }
        size_t i = e ? n - 1 : 0;
        Vec3 t = vec_unit(e ? path[n - 1] - path[n - 2] : path[0] - path[1]);
        Vec3 l = path[i] - side[i] * half_width[i], r = path[i] + side[i] * half_width[i];
        kit_quad(k, kit_vertex(k, l + up[i] * h, t, edge_uv.u0, edge_uv.v0),
                 kit_vertex(k, r + up[i] * h, t, edge_uv.u1, edge_uv.v0),
                 kit_vertex(k, r - up[i] * h, t, edge_uv.u1, edge_uv.v1),
                 kit_vertex(k, l - up[i] * h, t, edge_uv.u0, edge_uv.v1));
    }
}

void text_number(std::string* out, float v) {
    long long q = std::llround((double)v * 10000.0);
    if (q == 0) {
        out->push_back('0');
        return;
    }
    if (q < 0) {
        out->push_back('-');
        q = -q;
    }
    char digits[32];
    int n = 0;
    long long whole = q / 10000;
    int frac = (int)(q % 10000);
    do {
        digits[n++] = (char)('0' + whole % 10);
        whole /= 10;
    } while (whole > 0);
    while (n > 0) out->push_back(digits[--n]);
    if (frac == 0) return;
    int places = 4;
    while (frac % 10 == 0) {
        frac /= 10;
        places--;
    }
    out->push_back('.');
    char f[4];
    for (int i = places - 1; i >= 0; i--) {
        f[i] = (char)('0' + frac % 10);
        frac /= 10;
    }
    out->append(f, (size_t)places);
}

/*
 * "JM" text: "JM1", or "JM2" followed by the weights per vertex and a skeleton word; per mesh
 * the header "S A R G B N M", N vertex lines "x y z nx ny nz u v [weights]" (v counted upward
 * from the image's bottom row) and M lines of three vertex indices.
 */
std::string jm_model_text(const std::vector<KitMesh>& meshes, int bones, const char* skeleton) {
    std::string out = bones > 0 ? strf("JM2\n%d %s\n", bones, skeleton ? skeleton : "rider")
                                : std::string("JM1\n");
    for (const KitMesh& m : meshes) {
        size_t n = m.v.size() / 8;
        if (n == 0 || m.tri.empty()) continue;
        out += strf("%g %g %g %g %g %zu %zu\n", m.shininess, m.alpha, m.specular[0], m.specular[1],
                    m.specular[2], n, m.tri.size() / 3);
        for (size_t i = 0; i < n; i++) {
            for (int q = 0; q < 8; q++) {
                if (q) out.push_back(' ');
                text_number(&out, m.v[i * 8 + q]);
            }
            for (int b = 0; b < bones; b++) {
                out.push_back(' ');
                size_t at = i * (size_t)bones + (size_t)b;
                text_number(&out, at < m.w.size() ? m.w[at] : 0.0f);
            }
            out.push_back('\n');
        }
        for (size_t t = 0; t < m.tri.size(); t += 3)
            out += strf("%d %d %d\n", m.tri[t], m.tri[t + 1], m.tri[t + 2]);
    }
    return out;
}

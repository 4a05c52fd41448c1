// Deepest penetration of a sphere or a torus (the tyre) into ground triangles, and the
// deepest contact against the terrain under them.
//
// A ground triangle is the top of the solid below it; its up side is the side whose normal
// has y >= 0. A body's core (the sphere's centre, the torus's centre circle) is split by the
// triangle's prism (the triangle swept along its normal):
//   - core points over the triangle (face region) are measured by their signed height above
//     the triangle's plane, so a core pushed through the surface gives a depth beyond the
//     radius and the normal stays the face normal;
//   - core points beside the triangle count only while they are on its up side: their distance
//     to the nearest edge or corner gives the depth and the direction from that point to the
//     core the normal. Beside the triangle and below its plane lies the ground of the
//     neighbouring triangles, which answer for it.
// The depth of a candidate is radius (tube radius) minus that signed height or distance; the
// triangle's contact is its deepest candidate. Everything is done in double precision.
#include <cmath>
#include <new>

#include "bike/contact.h"
#include "bike/contact_internal.h"
#include "core/maths.h"
#include "track/terrain.h"

namespace {

constexpr double TINY = 1e-12;

// A ground triangle made ready for the queries.
struct Tri {
    Vec3 v[3];
    Vec3 edge[3]; // v[i + 1] - v[i]
    Vec3 n;       // unit, up side
    Vec3 w;       // unit normal of the winding (n or -n), for the inside test
    bool ok;      // false for a degenerate triangle
};

void tri_fill(Tri* tr, const TerrainTriangle* t) {
    for (int i = 0; i < 3; i++) tr->v[i] = vec3(t->v[i]);
    for (int i = 0; i < 3; i++) tr->edge[i] = tr->v[(i + 1) % 3] - tr->v[i];
    Vec3 nr = cross(tr->edge[0], tr->v[2] - tr->v[0]);
    double len = length(nr);
    tr->ok = len > TINY && std::isfinite(len);
    if (!tr->ok) return;
    tr->w = nr * (1 / len);
    tr->n = tr->w.y < 0 ? tr->w * -1.0 : tr->w;
}

Tri tri_prepare(const TerrainTriangle* t) {
    Tri tr;
    tri_fill(&tr, t);
    return tr;
}

// Signed height of p above the triangle's plane.
inline double height(const Tri& t, Vec3 p) {
    return dot(t.n, p - t.v[0]);
}

// Whether p, projected along the normal, lies on the triangle (edges included, with a little
// tolerance so that neighbouring triangles both claim their shared edge).
bool inside(const Tri& t, Vec3 p) {
    for (int i = 0; i < 3; i++) {
        double side = dot(cross(t.edge[i], p - t.v[i]), t.w);
        if (side < -1e-9 * dot(t.edge[i], t.edge[i])) return false;
    }
    return true;
}

// Closest point to p on the segment from a along d.
Vec3 segment_closest(Vec3 a, Vec3 d, Vec3 p) {
    double dd = dot(d, d);
    double s = dd > 0 ? dot(p - a, d) / dd : 0;
    s = s < 0 ? 0 : (s > 1 ? 1 : s);
    return a + d * s;
}

// Closest point of the triangle's boundary to p.
Vec3 boundary_closest(const Tri& t, Vec3 p) {
    Vec3 best = t.v[0];
    double best_d2 = HUGE_VAL;
    for (int i = 0; i < 3; i++) {
        Vec3 q = segment_closest(t.v[i], t.edge[i], p);
        Vec3 d = p - q;
        double d2 = dot(d, d);
        if (d2 < best_d2) best_d2 = d2, best = q;
    }
    return best;
}

// ---- Polynomial roots on an interval ----

double poly_eval(const double* c, int deg, double x) {
    double r = c[deg];
    for (int i = deg - 1; i >= 0; i--) r = r * x + c[i];
    return r;
}

// Root of a polynomial that is monotone on [x0, x1] with values of opposite signs at the
// ends: Newton steps kept inside the bracket, bisection when they leave it.
double bracket_root(const double* c, const double* dc, int deg, double x0, double x1, double f0) {
    double x = 0.5 * (x0 + x1);
    for (int it = 0; it < 60; it++) {
        double f = poly_eval(c, deg, x);
        if (f == 0) return x;
        if ((f < 0) == (f0 < 0))
            x0 = x, f0 = f;
        else
            x1 = x;
        double slope = poly_eval(dc, deg - 1, x);
        double next = slope != 0 ? x - f / slope : 0.5 * (x0 + x1);
        if (!(next > x0 && next < x1)) next = 0.5 * (x0 + x1);
        if (fabs(next - x) < 1e-14 || x1 - x0 < 1e-14) return next;
        x = next;
    }
    return x;
}

// Candidate places of the real roots of the polynomial c (degree <= 4) inside (lo, hi), in
// ascending order: every root where the polynomial changes sign, and every critical point
// (a root of even multiplicity touches zero there). Returns the count (at most 15).
int poly_candidates(const double* c, int deg, double lo, double hi, double* out) {
    while (deg > 0 && c[deg] == 0) deg--;
    if (deg <= 0) return 0;
    if (deg == 1) {
        double r = -c[0] / c[1];
        if (r > lo && r < hi) {
            out[0] = r;
            return 1;
        }
        return 0;
    }
    double dc[4];
    for (int i = 1; i <= deg; i++) dc[i - 1] = i * c[i];
    double breaks[16];
    int nb = poly_candidates(dc, deg - 1, lo, hi, breaks);
    int n = 0;
    double x0 = lo, f0 = poly_eval(c, deg, lo);
    for (int k = 0; k <= nb; k++) {
        double x1 = k < nb ? breaks[k] : hi;
        double f1 = poly_eval(c, deg, x1);
        if ((f0 < 0 && f1 > 0) || (f0 > 0 && f1 < 0))
            out[n++] = bracket_root(c, dc, deg, x0, x1, f0);
        if (k < nb) out[n++] = x1;
        x0 = x1, f0 = f1;
    }
    return n;
}

// ---- Circle helpers ----

// The tyre's centre circle: centre, unit axis and an orthonormal pair spanning its plane.
struct Circle {
    Vec3 c, a, e1, e2;
    double r;
};

Circle circle_make(Vec3 centre, Vec3 axis, double r) {
    Circle k;
    k.c = centre;
    double len = length(axis);
    k.a = len > TINY ? axis * (1 / len) : Vec3{1, 0, 0};
    // Start from the world axis least aligned with the circle's axis.
    Vec3 pick =
        fabs(k.a.x) < 0.57 ? Vec3{1, 0, 0} : (fabs(k.a.y) < 0.57 ? Vec3{0, 1, 0} : Vec3{0, 0, 1});
    Vec3 e = pick - k.a * dot(pick, k.a);
    k.e1 = e * (1 / length(e));
    k.e2 = cross(k.a, k.e1);
    k.r = r;
    return k;
}

Vec3 circle_point(const Circle& k, double cs, double sn) {
    return k.c + (k.e1 * cs + k.e2 * sn) * k.r;
}

// The circle point nearest to p.
Vec3 circle_closest(const Circle& k, Vec3 p) {
    Vec3 d = p - k.c;
    Vec3 perp = d - k.a * dot(d, k.a);
    double len = length(perp);
    if (len < TINY) return k.c + k.e1 * k.r; // on the axis: every point is as near
    return k.c + perp * (k.r / len);
}

// Points of the circle in the plane {x : m . x = m . p0} (m need not be unit). Returns 0..2.
int circle_plane(const Circle& k, Vec3 m, Vec3 p0, Vec3 out[2]) {
    double p = k.r * dot(m, k.e1), q = k.r * dot(m, k.e2), s = -dot(m, k.c - p0);
    double rr = p * p + q * q;
    if (rr < TINY * TINY * dot(m, m)) return 0; // circle parallel to the plane
    double h = rr - s * s;
    if (h < 0) return 0;
    double root = sqrt(h);
    double c1 = (p * s - q * root) / rr, s1 = (q * s + p * root) / rr;
    double c2 = (p * s + q * root) / rr, s2 = (q * s - p * root) / rr;
    out[0] = circle_point(k, c1, s1);
    out[1] = circle_point(k, c2, s2);
    return 2;
}

// Closest pair between the circle and a segment (a along d), counting only circle points on
// the triangle's up side (height >= 0). The plane crossings of the circle are the ends of
// that part of the circle. Returns the squared distance (HUGE_VAL when none), with the pair.
double circle_segment(const Circle& k, const Tri& t, Vec3 a, Vec3 d, const Vec3* crossings,
                      int ncross, Vec3* on_circle, Vec3* on_segment) {
    double best = HUGE_VAL;
    auto consider = [&](Vec3 c, Vec3 p) {
        if (height(t, c) < -1e-9) return;
        Vec3 v = c - p;
        double d2 = dot(v, v);
        if (d2 < best) best = d2, *on_circle = c, *on_segment = p;
    };
    // Squared distance from a(s) = a + s d to the circle is |D|^2 + r^2 - 2 r |perp(D)|; its
    // stationary points solve h(s) |perp(s)| = r k(s), squared into a quartic.
    Vec3 d0 = a - k.c;
    double a0 = dot(k.a, d0), a1 = dot(k.a, d);
    Vec3 p0 = d0 - k.a * a0, p1 = d - k.a * a1;
    double h0 = dot(d0, d), h1 = dot(d, d);
    double k0 = dot(p0, p1), k1 = dot(p1, p1);
    double m0 = dot(p0, p0), m1 = 2 * dot(p0, p1), m2 = dot(p1, p1);
    double r2 = k.r * k.r;
    double c[5] = {h0 * h0 * m0 - r2 * k0 * k0, h0 * h0 * m1 + 2 * h0 * h1 * m0 - 2 * r2 * k0 * k1,
                   h0 * h0 * m2 + 2 * h0 * h1 * m1 + h1 * h1 * m0 - r2 * k1 * k1,
                   2 * h0 * h1 * m2 + h1 * h1 * m1, h1 * h1 * m2};
    double s[17];
    int n = poly_candidates(c, 4, 0, 1, s);
    s[n++] = 0;
    s[n++] = 1;
    for (int i = 0; i < n; i++) {
        Vec3 p = a + d * s[i];
        consider(circle_closest(k, p), p);
    }
    for (int i = 0; i < ncross; i++) consider(crossings[i], segment_closest(a, d, crossings[i]));
    return best;
}

// The face candidate of a triangle: the circle's lowest point over the triangle and its
// height above the triangle's plane. Over the triangle the circle's height is a sinusoid whose
// minimum is the lowest point, or lies where the circle leaves the prism (on a wall over an
// edge).
struct FaceLow {
    Vec3 c;
    double h;
};

FaceLow torus_face_low(const Circle& k, const Tri& t) {
    Vec3 nperp = t.n - k.a * dot(t.n, k.a);
    double sn = length(nperp);
    Vec3 low = sn > 1e-9 ? k.c - nperp * (k.r / sn) : circle_point(k, 1, 0);
    FaceLow f{low, HUGE_VAL};
    // The lowest point of the whole circle, when it lies over the triangle, is its lowest over
    // the triangle: no crossing of the walls lies lower.
    bool low_over = inside(t, low);
    if (low_over) f.h = height(t, low);
    for (int i = 0; i < 3 && !low_over; i++) {
        Vec3 wall = cross(t.edge[i], t.n), hits[2];
        int nh = circle_plane(k, wall, t.v[i], hits);
        double ee = dot(t.edge[i], t.edge[i]);
        for (int j = 0; j < nh; j++) {
            double along = dot(hits[j] - t.v[i], t.edge[i]) / ee;
            if (along < -1e-9 || along > 1 + 1e-9) continue;
            double h = height(t, hits[j]);
            if (h < f.h) f.h = h, f.c = hits[j];
        }
    }
    return f;
}

// The face candidate as a contact, when it is deeper than *best (which it then becomes).
bool face_contact(const FaceLow& f, double tube, const Tri& t, GroundContact* out, double* best) {
    if (!(tube - f.h > *best)) return false;
    *best = tube - f.h;
    store(f.c - t.n * f.h, out->point);
    store(t.n, out->normal);
    out->depth = (float)*best;
    return true;
}

// The edge and corner candidates of a triangle: the nearest core point beside it, deeper
// than best.
bool torus_edges(const Circle& k, double tube, const Tri& t, GroundContact* out, double best) {
    bool found = false;
    // Only the circle on the up side counts; its ends are the crossings of the triangle's
    // plane, found when the first edge needs them.
    Vec3 cross_pts[2];
    int ncross = -1;
    double reach = k.r + tube;
    for (int i = 0; i < 3; i++) {
        // Skip an edge that stays outside the torus's bounding sphere or inside its hole.
        Vec3 near = segment_closest(t.v[i], t.edge[i], k.c);
        double dn = length(near - k.c);
        double far = max_num(length(t.v[i] - k.c), length(t.v[(i + 1) % 3] - k.c));
        if (dn >= reach || far <= k.r - tube) continue;
        if (g_contacts.early_outs) {
            // An edge point nearer the circle than tube - best is all that can win: the
            // distance to the circle is at least the distance from its plane, and at least how
            // far the point lies outside the circle's radius or inside it.
            double need = tube - best + contact_internal::EARLY_OUT_SLACK;
            double a0 = dot(t.v[i] - k.c, k.a), a1 = a0 + dot(t.edge[i], k.a);
            double off = (a0 > 0) == (a1 > 0) ? min_num(fabs(a0), fabs(a1)) : 0;
            if (off >= need || dn - k.r >= need || k.r - far >= need) continue;
        }
        if (ncross < 0) {
            ncross = circle_plane(k, t.n, t.v[0], cross_pts);
            for (int j = 0; j < ncross; j++)
                if (inside(t, cross_pts[j])) cross_pts[j--] = cross_pts[--ncross]; // the face's
        }
        Vec3 c, p;
        double d2 = circle_segment(k, t, t.v[i], t.edge[i], cross_pts, ncross, &c, &p);
        if (d2 == HUGE_VAL) continue;
        double dist = sqrt(d2);
        if (tube - dist > best) {
            best = tube - dist;
            Vec3 nrm = dist > 1e-9 ? (c - p) * (1 / dist) : t.n;
            store(p, out->point);
            store(nrm, out->normal);
            out->depth = (float)best;
            found = true;
        }
    }
    return found;
}

// Torus candidates of one triangle, face (already found) and edges, deeper than `deepest`.
bool torus_triangle(const Circle& k, double tube, const Tri& t, const FaceLow& face,
                    GroundContact* out, double deepest) {
    double best = deepest;
    bool found = face_contact(face, tube, t, out, &best);
    if (torus_edges(k, tube, t, out, best)) found = true;
    return found;
}

// Upper bound of any depth the torus can reach into the triangle: its lowest point's depth
// below the triangle's plane.
double torus_plane_bound(const Circle& k, double tube, const Tri& t) {
    Vec3 nperp = t.n - k.a * dot(t.n, k.a);
    return tube - (height(t, k.c) - k.r * length(nperp));
}

int sphere_triangle(Vec3 c, double r, const Tri& t, GroundContact* out, double deepest) {
    double d = height(t, c);
    if (r - d <= deepest) return 0; // neither face nor edge can go deeper
    Vec3 proj = c - t.n * d;
    if (inside(t, proj)) {
        store(proj, out->point);
        store(t.n, out->normal);
        out->depth = (float)(r - d);
        return 1;
    }
    if (d < 0) return 0; // beside the triangle and below it: the neighbours' ground
    Vec3 q = boundary_closest(t, c);
    double dist = length(c - q);
    if (r - dist <= deepest) return 0;
    store(q, out->point);
    store(dist > 1e-9 ? (c - q) * (1 / dist) : t.n, out->normal);
    out->depth = (float)(r - dist);
    return 1;
}

// The highest of a cell's four height samples.
float cell_top(const Terrain* terrain, int i, int j) {
    float a = terrain_sample(terrain, i, j), b = terrain_sample(terrain, i + 1, j);
    float c = terrain_sample(terrain, i, j + 1), d = terrain_sample(terrain, i + 1, j + 1);
    return max_num(max_num(a, b), max_num(c, d));
}

// Whether a ground triangle lies wholly below the height `low`. When a body's core (the
// sphere's centre, the tyre's centre circle) lies higher than low + its radius, every point of
// the triangle, and so its face and its edges, is farther from the core than the radius.
bool triangle_below(const TerrainTriangle& t, double low) {
    return t.v[0][1] < low && t.v[1][1] < low && t.v[2][1] < low;
}

// Whether the triangle lies wholly to one side of the circle's plane, farther than `reach`
// along its axis. With the circle wholly above the triangle's plane as well (its plane bound
// less than the tube), no point of the torus reaches the triangle: the face candidates lie
// above the plane, and every edge point is farther than the tube from the circle.
bool triangle_beside(const Circle& k, double reach, const Tri& t) {
    double a0 = dot(t.v[0] - k.c, k.a), a1 = dot(t.v[1] - k.c, k.a), a2 = dot(t.v[2] - k.c, k.a);
    return (a0 > reach && a1 > reach && a2 > reach) || (a0 < -reach && a1 < -reach && a2 < -reach);
}

} // namespace

int sphere_triangle_contact(const float centre[3], float radius, const TerrainTriangle* tri,
                            GroundContact* out) {
    Tri t = tri_prepare(tri);
    if (!t.ok || !(radius > 0)) return 0;
    GroundContact g;
    if (!sphere_triangle(vec3(centre), radius, t, &g, 0) || !(g.depth > 0)) return 0;
    *out = g;
    return 1;
}

int torus_triangle_contact(const float centre[3], const float axis[3], float torus_radius,
                           float tube_radius, const TerrainTriangle* tri, GroundContact* out) {
    Tri t = tri_prepare(tri);
    if (!t.ok || !(tube_radius > 0) || !(torus_radius >= 0)) return 0;
    Circle k = circle_make(vec3(centre), vec3(axis), torus_radius);
    if (torus_plane_bound(k, tube_radius, t) <= 0) return 0;
    GroundContact g;
    if (!torus_triangle(k, tube_radius, t, torus_face_low(k, t), &g, 0) || !(g.depth > 0)) return 0;
    *out = g;
    return 1;
}

bool ground_top(const Terrain* terrain, float x, float z, float reach, float* top) {
    // A sphere within `reach` of (x, z) meets only cells among these: the field's margin keeps
    // every cell within TERRAIN_EDGE_REACH of a centre.
    if (terrain->samples <= 0 || !(reach > 0) || !(reach < TERRAIN_EDGE_REACH)) return false;
    TerrainCellRange range = terrain_cell_range(terrain, x, z, reach);
    // The cells' tops are their corner samples: each sample once.
    float highest = -HUGE_VALF;
    if (range.i0 < range.i1 && range.j0 < range.j1)
        for (int j = range.j0; j <= range.j1; j++)
            for (int i = range.i0; i <= range.i1; i++)
                highest = max_num(highest, terrain_sample(terrain, i, j));
    *top = highest;
    return true;
}

bool sphere_above_ground(const float centre[3], float radius, float top) {
    return (double)top < (double)centre[1] - radius - contact_internal::EARLY_OUT_SLACK;
}

namespace {

// The sphere's ground search; with `first`, the first contact found ends it (for a yes/no
// question the deepest one is not needed).
int sphere_ground_search(const Terrain* terrain, const float centre[3], float radius,
                         GroundContact* out, bool first) {
    if (terrain->samples <= 0 || !(radius > 0)) return 0;
    TerrainCellRange range = terrain_cell_range(terrain, centre[0], centre[2], radius);
    Vec3 c = vec3(centre);
    double deepest = 0;
    int found = 0;
    // Ground wholly below the sphere's lowest point cannot touch it (early-out, with slack).
    const bool early = g_contacts.early_outs != 0;
    const double low = c.y - radius - contact_internal::EARLY_OUT_SLACK;
    for (int j = range.j0; j < range.j1; j++)
        for (int i = range.i0; i < range.i1; i++) {
            if (early && cell_top(terrain, i, j) < low) continue;
            TerrainTriangle tris[2];
            terrain_cell_triangles(terrain, i, j, tris);
            for (const TerrainTriangle& tri : tris) {
                if (early && triangle_below(tri, low)) continue;
                Tri t = tri_prepare(&tri);
                if (t.ok && sphere_triangle(c, radius, t, out, deepest)) {
                    if (first) return 1;
                    deepest = out->depth;
                    found = 1;
                }
            }
        }
    return found;
}

} // namespace

int sphere_ground_contact(const Terrain* terrain, const float centre[3], float radius,
                          GroundContact* out) {
    return sphere_ground_search(terrain, centre, radius, out, false);
}

bool sphere_touches_ground(const Terrain* terrain, const float centre[3], float radius) {
    GroundContact g;
    return sphere_ground_search(terrain, centre, radius, &g, true) != 0;
}

int torus_ground_contact_at(const Terrain* terrain, const float centre[3], const float axis[3],
                            float torus_radius, float tube_radius, GroundContact* out) {
    if (terrain->samples <= 0 || !(tube_radius > 0) || !(torus_radius >= 0)) return 0;
    Circle k = circle_make(vec3(centre), vec3(axis), torus_radius);
    TerrainCellRange range =
        terrain_cell_range(terrain, centre[0], centre[2], torus_radius + tube_radius);
    // The triangles that can reach the torus go into a small batch, deepest plane bound first:
    // the cheap face candidates of the batch, then the edges of those triangles whose bound can
    // still beat the deepest contact found (their face candidates kept from the first pass). A
    // reach wider than the batch takes several.
    constexpr int BATCH = 64;
    // Raw storage: Tri and FaceLow zero their members when constructed, which for the whole
    // batch (14 KB) cost more than the triangles a tyre meets. Each entry is written before it
    // is read.
    alignas(Tri) unsigned char tri_bytes[sizeof(Tri) * BATCH];
    alignas(FaceLow) unsigned char face_bytes[sizeof(FaceLow) * BATCH];
    Tri* tris = std::launder(reinterpret_cast<Tri*>(tri_bytes));
    FaceLow* faces = std::launder(reinterpret_cast<FaceLow*>(face_bytes));
    double bound[BATCH];
    int order[BATCH], n = 0;
    double deepest = 0;
    int found = 0;
    // Ground wholly below the tyre's lowest point cannot touch it (early-out, with slack): the
    // centre circle reaches down r sqrt(1 - a_y^2) with a its unit axis, the tube below that.
    const bool early = g_contacts.early_outs != 0;
    const double low = k.c.y - k.r * sqrt(max_num(0.0, 1 - k.a.y * k.a.y)) - tube_radius -
                       contact_internal::EARLY_OUT_SLACK;
    auto run_batch = [&]() {
        for (int i = 0; i < n && bound[order[i]] > deepest; i++) {
            int at = order[i];
            faces[at] = torus_face_low(k, tris[at]);
            double best = deepest;
            if (face_contact(faces[at], tube_radius, tris[at], out, &best)) {
                deepest = out->depth;
                found = 1;
            }
        }
        // The second pass visits no triangle the first passed over: deepest only grows.
        for (int i = 0; i < n && bound[order[i]] > deepest; i++) {
            int at = order[i];
            if (torus_triangle(k, tube_radius, tris[at], faces[at], out, deepest)) {
                deepest = out->depth;
                found = 1;
            }
        }
        n = 0;
    };
    for (int j = range.j0; j < range.j1; j++)
        for (int i = range.i0; i < range.i1; i++) {
            if (early && cell_top(terrain, i, j) < low) continue;
            TerrainTriangle cell[2];
            terrain_cell_triangles(terrain, i, j, cell);
            for (const TerrainTriangle& tri : cell) {
                if (early && triangle_below(tri, low)) continue;
                Tri& t = tris[n]; // prepared in its batch place; left there if passed over
                tri_fill(&t, &tri);
                if (!t.ok) continue;
                double b = torus_plane_bound(k, tube_radius, t);
                if (!(b > 0)) continue;
                if (early && b < tube_radius - contact_internal::EARLY_OUT_SLACK &&
                    triangle_beside(k, tube_radius + contact_internal::EARLY_OUT_SLACK, t))
                    continue;
                // Insert in descending order of bound.
                int at = n;
                while (at > 0 && bound[order[at - 1]] < b) {
                    order[at] = order[at - 1];
                    at--;
                }
                bound[n] = b;
                order[at] = n++;
                if (n == BATCH) run_batch();
            }
        }
    run_batch();
    return found;
}

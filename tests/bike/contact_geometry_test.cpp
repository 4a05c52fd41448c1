// Contact geometry: sphere and torus against ground triangles worked out by hand (face, edge
// and corner regions), and the torus cross-checked against a dense search over its circle.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "bike/contact.h"
#include "contact_test_util.h"
#include "track/terrain.h"

using namespace contacttest;

namespace {

const double PI = 3.14159265358979323846;

} // namespace

// ---- Sphere against one triangle ----

TEST(ContactGeometry, SphereOverTheFace) {
    GroundContact g;
    const float c[3] = {2, 0.5f, 2};
    ASSERT_EQ(sphere_triangle_contact(c, 1, &FLAT, &g), 1);
    EXPECT_NEAR(g.depth, 0.5, 1e-6);
    expect_vec(g.normal, 0, 1, 0);
    expect_vec(g.point, 2, 0, 2);

    // Pushed through the surface: depth beyond the radius, still along the face normal.
    const float deep[3] = {3, -0.25f, 1};
    ASSERT_EQ(sphere_triangle_contact(deep, 1, &FLAT, &g), 1);
    EXPECT_NEAR(g.depth, 1.25, 1e-6);
    expect_vec(g.normal, 0, 1, 0);

    // Just clear of the face.
    const float above[3] = {2, 1.001f, 2};
    EXPECT_EQ(sphere_triangle_contact(above, 1, &FLAT, &g), 0);
    // The winding does not matter: the normal faces up either way.
    TerrainTriangle flipped = tri({0, 0, 0, 0, 0, 10, 10, 0, 0});
    ASSERT_EQ(sphere_triangle_contact(c, 1, &flipped, &g), 1);
    expect_vec(g.normal, 0, 1, 0);
}

TEST(ContactGeometry, SphereOnASlope) {
    // The plane y = x, normal (-1, 1, 0) / sqrt 2; centre (2, 4, 2) is sqrt 2 above it.
    TerrainTriangle slope = tri({0, 0, 0, 10, 10, 0, 0, 0, 10});
    const float c[3] = {2, 4, 2};
    GroundContact g;
    ASSERT_EQ(sphere_triangle_contact(c, 2, &slope, &g), 1);
    EXPECT_NEAR(g.depth, 2 - sqrt(2.0), 1e-5);
    expect_vec(g.normal, -1 / sqrt(2.0), 1 / sqrt(2.0), 0);
    expect_vec(g.point, 3, 3, 2);
}

TEST(ContactGeometry, SphereBesideAnEdgeAndACorner) {
    GroundContact g;
    // Beside the edge x = 0: nearest point (0, 0, 2) at distance 0.5.
    const float edge[3] = {-0.3f, 0.4f, 2};
    ASSERT_EQ(sphere_triangle_contact(edge, 1, &FLAT, &g), 1);
    EXPECT_NEAR(g.depth, 0.5, 1e-6);
    expect_vec(g.normal, -0.6, 0.8, 0);
    expect_vec(g.point, 0, 0, 2);

    // Beside the hypotenuse x + z = 10: nearest point (5, 0, 5).
    const float hyp[3] = {5.3f, 0.4f, 5.3f};
    double off = 0.3 * sqrt(2.0), dist = sqrt(off * off + 0.16);
    ASSERT_EQ(sphere_triangle_contact(hyp, 1, &FLAT, &g), 1);
    EXPECT_NEAR(g.depth, 1 - dist, 1e-6);
    expect_vec(g.point, 5, 0, 5);
    expect_vec(g.normal, 0.3 / dist, 0.4 / dist, 0.3 / dist);

    // Beside the corner (0, 0, 0): distance 0.6.
    const float corner[3] = {-0.2f, 0.4f, -0.4f};
    ASSERT_EQ(sphere_triangle_contact(corner, 1, &FLAT, &g), 1);
    EXPECT_NEAR(g.depth, 0.4, 1e-6);
    expect_vec(g.point, 0, 0, 0);
    expect_vec(g.normal, -1.0 / 3, 2.0 / 3, -2.0 / 3);

    // Beside the triangle and below its plane: that ground belongs to the neighbours.
    const float below[3] = {-0.3f, -0.1f, 2};
    EXPECT_EQ(sphere_triangle_contact(below, 1, &FLAT, &g), 0);
    // Out of reach of the edge.
    const float far[3] = {-0.8f, 0.7f, 2};
    EXPECT_EQ(sphere_triangle_contact(far, 1, &FLAT, &g), 0);
}

// ---- Torus against one triangle ----

TEST(ContactGeometry, TorusStandingLeaningAndLyingOnTheFace) {
    GroundContact g;
    const float x_axis[3] = {1, 0, 0};
    // Upright wheel, axle along x: lowest tube point 0.1 below the ground.
    const float c[3] = {3, 1.2f, 3};
    ASSERT_EQ(torus_triangle_contact(c, x_axis, 1, 0.3f, &FLAT, &g), 1);
    EXPECT_NEAR(g.depth, 0.1, 1e-6);
    expect_vec(g.normal, 0, 1, 0);
    expect_vec(g.point, 3, 0, 3);

    // Leaning by 30 degrees: axis (cos 30, sin 30, 0); the lowest centre-circle point is
    // C - R (-sin 30, cos 30, 0), R cos 30 below the centre.
    double t = PI / 6;
    const float lean_axis[3] = {(float)cos(t), (float)sin(t), 0};
    const float lc[3] = {3, 1.0f, 3};
    ASSERT_EQ(torus_triangle_contact(lc, lean_axis, 1, 0.3f, &FLAT, &g), 1);
    EXPECT_NEAR(g.depth, 0.3 - (1.0 - cos(t)), 1e-6);
    expect_vec(g.normal, 0, 1, 0);
    expect_vec(g.point, 3 + sin(t), 0, 3);

    // Lying flat (axis up): the whole circle 0.2 above the ground, tube 0.3.
    const float up[3] = {0, 1, 0};
    const float fc[3] = {3, 0.2f, 3};
    ASSERT_EQ(torus_triangle_contact(fc, up, 1, 0.3f, &FLAT, &g), 1);
    EXPECT_NEAR(g.depth, 0.1, 1e-6);
    expect_vec(g.normal, 0, 1, 0);
    EXPECT_NEAR(g.point[1], 0, 1e-6);
    double r = hypot(g.point[0] - 3, g.point[2] - 3);
    EXPECT_NEAR(r, 1, 1e-5);

    // Clear of the ground.
    const float high[3] = {3, 1.31f, 3};
    EXPECT_EQ(torus_triangle_contact(high, x_axis, 1, 0.3f, &FLAT, &g), 0);
    // The hub hole over a small triangle: the ring lies around it without touching.
    TerrainTriangle small = tri({2.9f, 0, 2.9f, 3.1f, 0, 2.9f, 2.9f, 0, 3.1f});
    const float ring[3] = {3, 0.1f, 3};
    EXPECT_EQ(torus_triangle_contact(ring, up, 1, 0.3f, &small, &g), 0);
}

TEST(ContactGeometry, TorusBesideAnEdge) {
    // Upright wheel in the plane x = -0.5, beside the edge x = 0: the nearest circle point is
    // its lowest, (-0.5, 0.1, 2), at distance sqrt(0.26) from (0, 0, 2).
    GroundContact g;
    const float axis[3] = {1, 0, 0};
    const float c[3] = {-0.5f, 1.1f, 2};
    ASSERT_EQ(torus_triangle_contact(c, axis, 1, 0.6f, &FLAT, &g), 1);
    double d = sqrt(0.26);
    EXPECT_NEAR(g.depth, 0.6 - d, 1e-5);
    expect_vec(g.point, 0, 0, 2, 1e-4);
    expect_vec(g.normal, -0.5 / d, 0.1 / d, 0, 1e-4);
}

TEST(ContactGeometry, TorusBesideACorner) {
    // Upright wheel, axle x, centre (-0.5, 1.1, -0.3): the corner (0, 0, 0) is nearest. Its
    // offset across the axle is (0, -1.1, 0.3), so the nearest circle point is
    // C + (0, -1.1, 0.3) / |(0, -1.1, 0.3)|.
    GroundContact g;
    const float axis[3] = {1, 0, 0};
    const float c[3] = {-0.5f, 1.1f, -0.3f};
    double len = sqrt(1.1 * 1.1 + 0.3 * 0.3);
    double cp[3] = {-0.5, 1.1 - 1.1 / len, -0.3 + 0.3 / len};
    double d = sqrt(cp[0] * cp[0] + cp[1] * cp[1] + cp[2] * cp[2]);
    ASSERT_EQ(torus_triangle_contact(c, axis, 1, 0.6f, &FLAT, &g), 1);
    EXPECT_NEAR(g.depth, 0.6 - d, 1e-5);
    expect_vec(g.point, 0, 0, 0, 1e-4);
    expect_vec(g.normal, cp[0] / d, cp[1] / d, cp[2] / d, 1e-4);
}

TEST(ContactGeometry, TorusPiercingTheFaceNearAnEdge) {
    // Wheel in the plane z = 2 (axle along z), centre (-0.5, 0.8, 2): the circle's lowest
    // point lies outside the triangle (x < 0); over the triangle (x >= 0) the circle is lowest
    // where it leaves it, at x = 0: height 0.8 - sin 60 below the ground.
    GroundContact g;
    const float axis[3] = {0, 0, 1};
    const float c[3] = {-0.5f, 0.8f, 2};
    ASSERT_EQ(torus_triangle_contact(c, axis, 1, 0.3f, &FLAT, &g), 1);
    EXPECT_NEAR(g.depth, 0.3 - (0.8 - sqrt(3.0) / 2), 1e-5);
    expect_vec(g.normal, 0, 1, 0);
    expect_vec(g.point, 0, 0, 2, 1e-4);
}

// ---- Cross-check against a dense search ----

namespace {

struct D3 {
    double x, y, z;
};
D3 sub(D3 a, D3 b) {
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}
double dot3(D3 a, D3 b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}
D3 cross3(D3 a, D3 b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

// The deepest candidate of a torus over one triangle by walking its centre circle in small
// steps: over the triangle the signed height, beside it (on its up side) the distance to
// the nearest boundary point.
double dense_torus_depth(const TerrainTriangle& t, D3 c, D3 a, double R, double tube) {
    D3 v[3];
    for (int i = 0; i < 3; i++) v[i] = {t.v[i][0], t.v[i][1], t.v[i][2]};
    D3 n = cross3(sub(v[1], v[0]), sub(v[2], v[0]));
    double nl = sqrt(dot3(n, n));
    n = {n.x / nl, n.y / nl, n.z / nl};
    if (n.y < 0) n = {-n.x, -n.y, -n.z};
    D3 pick = fabs(a.x) < 0.57 ? D3{1, 0, 0} : D3{0, 1, 0};
    double pa = dot3(pick, a);
    D3 e1 = {pick.x - a.x * pa, pick.y - a.y * pa, pick.z - a.z * pa};
    double el = sqrt(dot3(e1, e1));
    e1 = {e1.x / el, e1.y / el, e1.z / el};
    D3 e2 = cross3(a, e1);
    double best = -HUGE_VAL;
    const int STEPS = 50000;
    for (int s = 0; s < STEPS; s++) {
        double phi = 2 * PI * s / STEPS;
        D3 p = {c.x + R * (cos(phi) * e1.x + sin(phi) * e2.x),
                c.y + R * (cos(phi) * e1.y + sin(phi) * e2.y),
                c.z + R * (cos(phi) * e1.z + sin(phi) * e2.z)};
        double h = dot3(n, sub(p, v[0]));
        D3 q = {p.x - n.x * h, p.y - n.y * h, p.z - n.z * h};
        bool in = true;
        D3 w = cross3(sub(v[1], v[0]), sub(v[2], v[0]));
        for (int i = 0; i < 3; i++)
            in = in && dot3(cross3(sub(v[(i + 1) % 3], v[i]), sub(q, v[i])), w) >= 0;
        double depth;
        if (in) {
            depth = tube - h;
        } else if (h >= 0) {
            double d2 = HUGE_VAL;
            for (int i = 0; i < 3; i++) {
                D3 e = sub(v[(i + 1) % 3], v[i]);
                double u = dot3(sub(p, v[i]), e) / dot3(e, e);
                u = u < 0 ? 0 : (u > 1 ? 1 : u);
                D3 f = sub(p, D3{v[i].x + e.x * u, v[i].y + e.y * u, v[i].z + e.z * u});
                d2 = fmin(d2, dot3(f, f));
            }
            depth = tube - sqrt(d2);
        } else {
            continue;
        }
        best = fmax(best, depth);
    }
    return best;
}

} // namespace

TEST(ContactGeometry, TorusAgreesWithADenseSearchOverItsCircle) {
    std::mt19937 rng(20240611);
    std::uniform_real_distribution<double> u(-1, 1);
    int contacts = 0, edges = 0;
    for (int trial = 0; trial < 60; trial++) {
        TerrainTriangle t;
        for (int i = 0; i < 3; i++) {
            t.v[i][0] = (float)(2 * u(rng));
            t.v[i][1] = (float)(0.5 * u(rng));
            t.v[i][2] = (float)(2 * u(rng));
        }
        D3 a = {u(rng), u(rng), u(rng)};
        double al = sqrt(dot3(a, a));
        a = {a.x / al, a.y / al, a.z / al};
        D3 c = {1.5 * u(rng), 0.6 + 0.8 * u(rng), 1.5 * u(rng)};
        const double R = 0.8, tube = 0.35;
        const float cf[3] = {(float)c.x, (float)c.y, (float)c.z};
        const float af[3] = {(float)a.x, (float)a.y, (float)a.z};
        // The search works on the same single-precision inputs the routine sees.
        D3 cs = {cf[0], cf[1], cf[2]}, as = {af[0], af[1], af[2]};
        double as_len = sqrt(dot3(as, as));
        as = {as.x / as_len, as.y / as_len, as.z / as_len};
        double expect = dense_torus_depth(t, cs, as, R, tube);
        GroundContact g;
        int found = torus_triangle_contact(cf, af, (float)R, (float)tube, &t, &g);
        SCOPED_TRACE(trial);
        if (expect > 1e-4) {
            ASSERT_EQ(found, 1);
            // The search only sees its steps, so it stays below the true maximum, by at most
            // the circle's travel in one step (the maximum may sit at a kink).
            EXPECT_GE(g.depth, expect - 1e-6);
            EXPECT_LE(g.depth, expect + R * 2 * PI / 50000);
            double nl = sqrt(g.normal[0] * g.normal[0] + g.normal[1] * g.normal[1] +
                             g.normal[2] * g.normal[2]);
            EXPECT_NEAR(nl, 1, 1e-5);
            contacts++;
            D3 up = cross3(
                sub(D3{t.v[1][0], t.v[1][1], t.v[1][2]}, D3{t.v[0][0], t.v[0][1], t.v[0][2]}),
                sub(D3{t.v[2][0], t.v[2][1], t.v[2][2]}, D3{t.v[0][0], t.v[0][1], t.v[0][2]}));
            double ul = sqrt(dot3(up, up));
            if (fabs(fabs(dot3(up, D3{g.normal[0], g.normal[1], g.normal[2]})) / ul - 1) > 1e-4)
                edges++; // the normal is not the face's: an edge or corner contact
        } else if (expect < -1e-4) {
            EXPECT_EQ(found, 0);
        }
    }
    // The random cases cover both kinds.
    EXPECT_GT(contacts, 10);
    EXPECT_GT(edges, 3);
}

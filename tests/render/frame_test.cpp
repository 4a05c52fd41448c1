// Frame drawing rules that need no GL: projection extents, the first-person camera, camera
// frames and projection, the visibility test, ghost opacity, rider modes, the sky box faces
// and the lens-flare tests.
#include <gtest/gtest.h>

#include <cmath>

#include "app/app.h"
#include "render/frame.h"

namespace {

constexpr double PI = 3.14159265358979323846;

void expect_vec(const float* got, double x, double y, double z, double tol = 1e-5) {
    EXPECT_NEAR(got[0], x, tol);
    EXPECT_NEAR(got[1], y, tol);
    EXPECT_NEAR(got[2], z, tol);
}

} // namespace

TEST(FrameProjection, WideWindowsSeeMoreAtTheSides) {
    float u, v;
    // 1280 x 720 is wider than 4:3: the vertical extent is fixed by a 4:3 picture.
    frame_projection_extents(1280, 720, 110, &u, &v);
    double t = std::tan(110 * PI / 360);
    EXPECT_NEAR(v, t * 0.75, 1e-5);
    EXPECT_NEAR(u, t * 0.75 * 1280 / 720, 1e-5);
    // An 800 x 600 picture is exactly 4:3: the horizontal extent is the field of view.
    frame_projection_extents(800, 600, 110, &u, &v);
    EXPECT_NEAR(u, t, 1e-5);
    EXPECT_NEAR(v, t * 600 / 800, 1e-5);
    // Both agree on the vertical extent at the 4:3 boundary.
    float u2, v2;
    frame_projection_extents(1281, 960, 110, &u2, &v2);
    EXPECT_NEAR(v2, t * 0.75, 1e-5);
}

TEST(FrameProjection, NarrowWindowsKeepTheHorizontalFieldOfView) {
    float u, v;
    frame_projection_extents(600, 800, 90, &u, &v);
    EXPECT_NEAR(u, 1.0, 1e-5); // tan(45 degrees)
    EXPECT_NEAR(v, 800.0 / 600.0, 1e-5);
    frame_projection_extents(200, 1000, 60, &u, &v);
    EXPECT_NEAR(u, std::tan(PI / 6), 1e-5);
    EXPECT_NEAR(v, std::tan(PI / 6) * 5, 1e-5);
}

TEST(FrameFirstPerson, EyePointMovesFromLowToHigh) {
    float p[3];
    frame_first_person_point(0, p);
    expect_vec(p, 0, 0.5, -0.4);
    frame_first_person_point(1, p);
    expect_vec(p, 0, 1.0583830, -1.1933695);
    frame_first_person_point(0.25f, p);
    expect_vec(p, 0, 0.5 + 0.25 * (1.0583830 - 0.5), -0.4 + 0.25 * (-1.1933695 + 0.4));
}

TEST(FrameFirstPerson, RotationIsTheBodyPitchedDown) {
    const float identity[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    float r[9];
    frame_first_person_rotation(identity, 0, r);
    for (int i = 0; i < 9; i++) EXPECT_NEAR(r[i], identity[i], 1e-6);

    frame_first_person_rotation(identity, 30, r);
    double c = std::cos(PI / 6), s = std::sin(PI / 6);
    expect_vec(r, 1, 0, 0);      // right stays
    expect_vec(r + 3, 0, c, -s); // up leans back
    expect_vec(r + 6, 0, s, c);  // backward rises: the view direction points down
    EXPECT_LT(-r[7], 0);

    // A body turned a quarter about y: its axes are the rotation's columns.
    const float yaw[9] = {0, 0, 1, 0, 1, 0, -1, 0, 0}; // x -> -z, z -> +x
    frame_first_person_rotation(yaw, 0, r);
    expect_vec(r, 0, 0, -1);
    expect_vec(r + 3, 0, 1, 0);
    expect_vec(r + 6, 1, 0, 0);
}

TEST(FrameCamera, LookAtGivesOrthonormalRows) {
    CameraView view;
    view.eye[0] = 0, view.eye[1] = 0, view.eye[2] = 10;
    view.target[0] = view.target[1] = view.target[2] = 0;
    Camera c;
    frame_camera_from_view(view, &c);
    expect_vec(c.rot, 1, 0, 0);
    expect_vec(c.rot + 3, 0, 1, 0);
    expect_vec(c.rot + 6, 0, 0, 1);
    expect_vec(c.eye, 0, 0, 10);

    // Looking down at 45 degrees toward -x.
    view.eye[0] = 5, view.eye[1] = 5, view.eye[2] = 0;
    frame_camera_from_view(view, &c);
    double h = std::sqrt(0.5);
    expect_vec(c.rot + 6, h, h, 0);
    expect_vec(c.rot, 0, 0, -1);
    expect_vec(c.rot + 3, -h, h, 0);

    // Straight down along the up vector still gives a frame.
    view.eye[0] = 0, view.eye[1] = 10, view.eye[2] = 0;
    frame_camera_from_view(view, &c);
    for (int row = 0; row < 3; row++) {
        const float* a = c.rot + row * 3;
        EXPECT_NEAR(a[0] * a[0] + a[1] * a[1] + a[2] * a[2], 1, 1e-5);
    }
    expect_vec(c.rot + 6, 0, 1, 0);
}

TEST(FrameCamera, ProjectionAndVisibility) {
    Camera c; // at the origin looking along -z
    float sx, sy;
    const float ahead[3] = {0, 0, -10};
    ASSERT_TRUE(frame_project(c, 2, 1, 800, 600, ahead, &sx, &sy));
    EXPECT_NEAR(sx, 400, 1e-3);
    EXPECT_NEAR(sy, 300, 1e-3);
    // At the edge of the extents: x = u z, y = -v z.
    const float corner[3] = {20, -10, -10};
    ASSERT_TRUE(frame_project(c, 2, 1, 800, 600, corner, &sx, &sy));
    EXPECT_NEAR(sx, 800, 1e-3);
    EXPECT_NEAR(sy, 0, 1e-3);
    const float behind[3] = {0, 0, 1};
    EXPECT_FALSE(frame_project(c, 2, 1, 800, 600, behind, &sx, &sy));

    EXPECT_TRUE(frame_sphere_visible(c, 1, 1, ahead, 1));
    EXPECT_FALSE(frame_sphere_visible(c, 1, 1, behind, 0.5f));
    EXPECT_TRUE(frame_sphere_visible(c, 1, 1, behind, 2)); // reaches past the near plane
    // Beside the view: x = 30 at z = -10 is outside u = 1 unless the sphere is big enough to
    // reach the side plane (distance (30 - 10) / sqrt(2)).
    const float side[3] = {30, 0, -10};
    EXPECT_FALSE(frame_sphere_visible(c, 1, 1, side, 14));
    EXPECT_TRUE(frame_sphere_visible(c, 1, 1, side, 14.2f));
    const float far_away[3] = {0, 0, -6000};
    EXPECT_FALSE(frame_sphere_visible(c, 1, 1, far_away, 100));
}

TEST(FrameRules, GhostsFadeInOverTheSecondHalfOfTheFadeDistance) {
    const float g = 10;
    EXPECT_FLOAT_EQ(ghost_opacity(0, g), 0);
    EXPECT_FLOAT_EQ(ghost_opacity(5, g), 0);
    EXPECT_FLOAT_EQ(ghost_opacity(6, g), (6 - 5) / 5.0f);
    EXPECT_FLOAT_EQ(ghost_opacity(7.5f, g), 0.5f);
    EXPECT_FLOAT_EQ(ghost_opacity(10, g), 1);
    EXPECT_FLOAT_EQ(ghost_opacity(400, g), 1);
    EXPECT_FLOAT_EQ(ghost_opacity(30, 40), (30 - 20) / 20.0f);
    // A fade distance of 0 would divide by zero: ghosts simply show.
    EXPECT_FLOAT_EQ(ghost_opacity(0, 0), 1);
    EXPECT_FLOAT_EQ(ghost_opacity(3, 0), 1);
}

TEST(FrameRules, RiderModes) {
    EXPECT_EQ(frame_rider_mode(3, 3, 1), 1);
    EXPECT_EQ(frame_rider_mode(3, 3, 0), 2);
    EXPECT_EQ(frame_rider_mode(2, 3, 1), 0);
    EXPECT_EQ(frame_rider_mode(2, 3, 0), 0);
}

TEST(FrameSky, FacesFormTheUpperBoxAroundTheEye) {
    // North's top-left corner looks up-left along -z and takes the first texel's edge.
    float dir[3], st[2];
    sky_face_corner(0, 3, dir, st);
    expect_vec(dir, -1, 1, -1);
    EXPECT_FLOAT_EQ(st[0], 1.0f / 128);
    EXPECT_FLOAT_EQ(st[1], 1.0f / 128);
    sky_face_corner(0, 1, dir, st);
    expect_vec(dir, 1, -1, -1);
    EXPECT_FLOAT_EQ(st[0], 127.0f / 128);
    EXPECT_FLOAT_EQ(st[1], 127.0f / 128);

    const float axis[5][3] = {{0, 0, -1}, {1, 0, 0}, {0, 0, 1}, {-1, 0, 0}, {0, 1, 0}};
    int uses[27] = {};
    for (int f = 0; f < 5; f++) {
        float c[3];
        for (int k = 0; k < 4; k++) {
            sky_face_corner(f, k, c, st);
            for (int i = 0; i < 3; i++) EXPECT_EQ(std::fabs(c[i]), 1.0f);
            // Every corner lies on the face's own side of the box.
            EXPECT_FLOAT_EQ(c[0] * axis[f][0] + c[1] * axis[f][1] + c[2] * axis[f][2], 1);
            for (float s : st) {
                EXPECT_GE(s, 1.0f / 128);
                EXPECT_LE(s, 127.0f / 128);
            }
            uses[(int)(c[0] + 1) * 9 + (int)(c[1] + 1) * 3 + (int)(c[2] + 1)]++;
        }
    }
    // Top corners belong to three faces (two sides and the top), bottom corners to two sides.
    for (int x = -1; x <= 1; x += 2)
        for (int z = -1; z <= 1; z += 2) {
            EXPECT_EQ(uses[(x + 1) * 9 + 2 * 3 + (z + 1)], 3);
            EXPECT_EQ(uses[(x + 1) * 9 + 0 * 3 + (z + 1)], 2);
        }
    // 2886 x sqrt(3) stays inside the far plane.
    EXPECT_LT(SKY_BOX_SCALE * std::sqrt(3.0), FRAME_FAR);
}

TEST(FrameFlare, DepthTurnsBackIntoDistance) {
    EXPECT_NEAR(flare_depth_distance(0), FRAME_NEAR, 1e-4);
    EXPECT_NEAR(flare_depth_distance(1), FRAME_FAR, 0.5);
    double n = FRAME_NEAR, f = FRAME_FAR;
    // depth d maps to z = 2d - 1, distance 2nf / (f + n - z (f - n)).
    EXPECT_NEAR(flare_depth_distance(0.5f), 2 * n * f / (f + n), 1e-4);
    EXPECT_NEAR(flare_depth_distance(0.99f), 2 * n * f / (f + n - 0.98 * (f - n)), 1e-2);
}

TEST(FrameFlare, VisibilityRule) {
    // Points at infinity: anything at 0.4 feet or beyond lets them through.
    EXPECT_TRUE(flare_unhidden(1, 0.4f, 0));
    EXPECT_TRUE(flare_unhidden(1, 4000, 0));
    EXPECT_FALSE(flare_unhidden(1, 0.39f, 0));
    // Points in the world: nothing nearer than the point itself.
    EXPECT_TRUE(flare_unhidden(0, 100, 100));
    EXPECT_TRUE(flare_unhidden(0, 2000, 100));
    EXPECT_FALSE(flare_unhidden(0, 99.5f, 100));

    const uint8_t sun[3] = {224, 224, 224}, white[3] = {255, 255, 255};
    const uint8_t edge[3] = {223, 255, 255}, blue[3] = {120, 180, 250}, dim[3] = {255, 255, 223};
    EXPECT_TRUE(flare_bright(sun));
    EXPECT_TRUE(flare_bright(white));
    EXPECT_FALSE(flare_bright(edge));
    EXPECT_FALSE(flare_bright(blue));
    EXPECT_FALSE(flare_bright(dim));
}

// The editor's keys drive the same operations: tools, brush size and strength, a stroke held on
// Space at the view's aim, Ctrl+Z and Ctrl+Y, selecting and moving an object at the aim, and
// typing into the new-track form. Keys arrive as scan codes (4096 + code), as the platform
// layer queues them.
#include <cmath>

#include "core/constants.h"
#include "editor/editor.h"
#include "editor_fixture.h"
#include "platform/input.h"

namespace {

int scan(int code) {
    return KEY_SCAN_BASE + code;
}
const int SPACE = scan(57), LCTRL = scan(29), KEY_Z = scan(44), KEY_Y = scan(21), KEY_M = scan(50),
          OPEN = scan(26), CLOSE = scan(27), EQUALS = scan(13), KEY_N = scan(49), DOWN = scan(336);

void tap(int code) {
    editor_key(code, 1);
    editor_key(code, 0);
}

void ctrl(int code) {
    editor_key(LCTRL, 1);
    tap(code);
    editor_key(LCTRL, 0);
}

// The camera 40 ft above the ground near (x, z), looking as far down as it can (1.5 rad): its
// aim lands within a foot or so of (x, z).
void look_down_at(float x, float z) {
    float back = 40 / std::tan(1.5f);
    g_editor.cam.eye[0] = x, g_editor.cam.eye[2] = z + back;
    g_editor.cam.eye[1] = terrain_height(&g_terrain, x, z) + 40;
    g_editor.cam.yaw = 0;
    g_editor.cam.pitch = -1.5f;
}

} // namespace

TEST_F(EditorFixture, KeysChooseToolsAndSizeTheBrush) {
    tap(scan(4)); // "3"
    EXPECT_EQ(g_editor.tool, TOOL_SMOOTH);
    tap(scan(11)); // "0"
    EXPECT_EQ(g_editor.tool, TOOL_DECALS);
    tap(scan(2)); // "1"
    EXPECT_EQ(g_editor.tool, TOOL_RAISE);
    float r = g_editor.radius, s = g_editor.strength;
    tap(CLOSE);
    EXPECT_FLOAT_EQ(g_editor.radius, r * 1.25f);
    tap(OPEN);
    tap(OPEN);
    EXPECT_FLOAT_EQ(g_editor.radius, r * 1.25f * 0.8f * 0.8f);
    tap(EQUALS);
    EXPECT_FLOAT_EQ(g_editor.strength, s * 1.25f);
    // Tab and Esc are the main loop's; typed characters are taken and dropped.
    EXPECT_EQ(editor_key(9, 1), 0);
    EXPECT_EQ(editor_key(27, 1), 0);
    EXPECT_EQ(editor_key('q', 1), 1);
}

TEST_F(EditorFixture, SpaceHeldStrokesAtTheAimAndCtrlZUndoesIt) {
    look_down_at(16, 16);
    std::vector<float> before = g_terrain.heights;
    editor_key(SPACE, 1);
    for (int k = 0; k < 20; k++) editor_tick();
    editor_key(SPACE, 0);
    ASSERT_EQ(g_editor.undo.size(), 1u);
    // The aim is just off straight down: the ground rose under it.
    float aim_x = g_editor.point[0], aim_z = g_editor.point[2];
    EXPECT_NEAR(aim_x, 16, 0.1f);
    EXPECT_NEAR(aim_z, 16, 1.5f);
    int i = (int)(aim_x / 2 + 0.5f), j = (int)(aim_z / 2 + 0.5f);
    EXPECT_GT(g_terrain.heights[i + editortest::P * j], before[i + editortest::P * j] + 0.1f);
    ctrl(KEY_Z);
    EXPECT_EQ(g_terrain.heights, before);
    ctrl(KEY_Y);
    EXPECT_NE(g_terrain.heights, before);
}

TEST_F(EditorFixture, SpaceSelectsTheObjectAtTheAimAndMMovesItThere) {
    tap(scan(10)); // "9": scenery
    look_down_at(4, 4);
    editor_tick();
    tap(SPACE);
    EXPECT_EQ(g_editor.selected, 0); // the billboard at (4, 4)
    look_down_at(22, 18);
    editor_tick();
    tap(KEY_M);
    TrackScene s;
    scene_read(&s);
    // Exactly where the view's aim meets the ground, a little off (22, 18) on the slope.
    EXPECT_EQ(s.billboards[0].x, g_editor.point[0]);
    EXPECT_EQ(s.billboards[0].z, g_editor.point[2]);
    EXPECT_NEAR(s.billboards[0].x, 22, 0.1f);
    EXPECT_NEAR(s.billboards[0].z, 18, 1.5f);
    // Delete takes it away.
    tap(scan(339));
    scene_read(&s);
    EXPECT_EQ(s.billboards.size(), 1u);
}

TEST_F(EditorFixture, TheNewTrackFormTakesTypedText) {
    ctrl(KEY_N);
    ASSERT_EQ(g_editor.form.open, 1);
    for (char c : std::string("hill-2")) editor_key(c, 1);
    editor_key(8, 1); // Backspace
    EXPECT_EQ(g_editor.form.folder, "hill-");
    // The letters' own keys do nothing else while the form is open.
    tap(scan(3)); // "2"
    EXPECT_EQ(g_editor.tool, TOOL_RAISE);
    tap(DOWN);
    for (char c : std::string("Hill")) editor_key(c, 1);
    EXPECT_EQ(g_editor.form.title, "Hill");
    tap(DOWN);
    int shift = g_editor.form.shift;
    tap(scan(331)); // Left: a smaller field
    EXPECT_EQ(g_editor.form.shift, shift - 1);
    ctrl(KEY_N);
    EXPECT_EQ(g_editor.form.open, 0);
}

TEST_F(EditorFixture, TheRayFindsTheGroundWhereItFirstPassesBelowIt) {
    float eye[3] = {2, 40, 3}, dir[3] = {0.6f, -0.64f, 0.48f}; // unit length
    float hit[3];
    ASSERT_EQ(editor_ray_ground(eye, dir, hit), 1);
    // On the ground, on the ray, and the ray is above the ground a little before the hit.
    EXPECT_FLOAT_EQ(hit[1], terrain_height(&g_terrain, hit[0], hit[2]));
    float s = (hit[0] - eye[0]) / dir[0];
    EXPECT_NEAR(hit[2], eye[2] + dir[2] * s, 1e-3f);
    EXPECT_NEAR(hit[1], eye[1] + dir[1] * s, 1e-2f);
    float back = s - 0.5f;
    EXPECT_GT(eye[1] + dir[1] * back,
              terrain_height(&g_terrain, eye[0] + dir[0] * back, eye[2] + dir[2] * back));
    // Looking up there is no ground to find.
    float up[3] = {0, 1, 0};
    EXPECT_EQ(editor_ray_ground(eye, up, hit), 0);
    // The middle of the picture is the view's own direction.
    g_editor.cam.yaw = 0.3f, g_editor.cam.pitch = -0.4f;
    float d[3];
    editor_pixel_ray(0, 0, 1, 1, d);
    EXPECT_NEAR(d[0], -std::sin(0.3f) * std::cos(-0.4f), 1e-5f);
    EXPECT_NEAR(d[1], std::sin(-0.4f), 1e-5f);
    EXPECT_NEAR(d[2], -std::cos(0.3f) * std::cos(-0.4f), 1e-5f);
}

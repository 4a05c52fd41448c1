// Undo and redo over a run of mixed edits: every undo gives back the state before its edit bit
// for bit (heights, shading, shadows, tiles and the scene), every redo the state after it.
#include <cmath>

#include "core/constants.h"
#include "editor_fixture.h"

using editortest::snapshot;
using editortest::State;

namespace {

// A ground stroke of the tool through the points, each dab 10 ticks long.
void stroke(int tool, std::vector<std::pair<float, float>> points) {
    g_editor.tool = tool;
    stroke_begin(points[0].first, points[0].second);
    for (auto& p : points) stroke_dab(p.first, p.second, 10 * (float)sim_tick);
    stroke_end();
}

TrackScene scene_now() {
    TrackScene s;
    scene_read(&s);
    return s;
}

} // namespace

TEST_F(EditorFixture, UndoAndRedoRoundTripBitExactOverMixedEdits) {
    std::vector<State> states{snapshot()};
    auto step = [&](const char* what) {
        states.push_back(snapshot());
        EXPECT_FALSE(states.back() == states[states.size() - 2]) << what << " changed nothing";
    };
    g_editor.radius = 6;
    g_editor.strength = 4;
    stroke(TOOL_RAISE, {{10, 10}, {12, 10}, {14, 12}, {16, 16}});
    step("raise");
    g_editor.surface = 2;
    stroke(TOOL_PAINT, {{6, 6}, {20, 22}});
    step("paint");
    ASSERT_EQ(gate_add(28, 28, 0), 1);
    step("gate");
    ASSERT_EQ(lap_append(1, 3), 1);
    step("lap list");
    ASSERT_EQ(scenery_move(TOOL_SCENERY, 0, 12, 14), 1);
    step("move billboard");
    ASSERT_EQ(scenery_turn(TOOL_SCENERY, 2, 0.3f), 1); // the statue follows the two billboards
    step("turn statue");
    {
        TrackScene before = scene_now(), after = before;
        Decal d{};
        d.texture = texture_load("@sprite.ppm");
        d.x = 16, d.z = 16, d.size = 6, d.aspect = 2, d.angle = 0.25f;
        after.decals.push_back(d);
        ASSERT_EQ(editor_scene_commit(before, after, "Place"), 1);
    }
    step("decal");
    g_editor.strength = 0.5f;
    stroke(TOOL_SMOOTH, {{12, 12}, {14, 14}});
    step("smooth");
    ASSERT_EQ(slots_place(16, 16, 0.5f, MAX_START_SLOTS, 3.3f), 1);
    step("start row");
    g_editor.strength = 6;
    stroke(TOOL_LOWER, {{8, 12}, {18, 12}});
    step("lower");
    g_editor.flatten_set = 1;
    g_editor.flatten_height = 7.5f;
    stroke(TOOL_FLATTEN, {{20, 20}});
    step("flatten");
    ASSERT_EQ(gate_delete(1), 1);
    step("delete gate");

    int edits = (int)states.size() - 1;
    ASSERT_EQ((int)g_editor.undo.size(), edits);
    for (int k = edits; k > 0; k--) {
        ASSERT_EQ(editor_undo(), 1);
        EXPECT_TRUE(snapshot() == states[k - 1]) << "after undoing edit " << k;
    }
    EXPECT_EQ(editor_undo(), 0);
    EXPECT_TRUE(editortest::message_has("Nothing to undo"));
    for (int k = 1; k <= edits; k++) {
        ASSERT_EQ(editor_redo(), 1);
        EXPECT_TRUE(snapshot() == states[k]) << "after redoing edit " << k;
    }
    EXPECT_EQ(editor_redo(), 0);
    // A new edit after undoing drops what could have been redone.
    ASSERT_EQ(editor_undo(), 1);
    ASSERT_EQ(gate_add(4, 28, 1), 1);
    EXPECT_TRUE(g_editor.redo.empty());
}

TEST_F(EditorFixture, AStrokeIsOneStepAndItsUndoRestoresTheFieldExactly) {
    State before = snapshot();
    g_editor.radius = 8;
    g_editor.strength = 20;
    g_editor.tool = TOOL_RAISE;
    stroke_begin(4, 4);
    // The brush wanders from one corner to the other: the kept copy grows with it.
    for (int k = 0; k <= 20; k++) stroke_dab(4 + k * 1.2f, 4 + k * 1.1f, (float)sim_tick);
    stroke_end();
    ASSERT_EQ(g_editor.undo.size(), 1u);
    EXPECT_EQ(g_editor.undo[0].label, "Raise");
    EXPECT_FALSE(snapshot() == before);
    // The shading follows the new ground right away, and the shadows it casts once it ends.
    EXPECT_NE(g_terrain.shading, before.shading);
    ASSERT_EQ(editor_undo(), 1);
    EXPECT_TRUE(snapshot() == before);
}

TEST_F(EditorFixture, ObjectsFollowTheGroundAndBackOnUndo) {
    const Billboard& b = g_objects.billboards[(size_t)g_objects.billboards_kept];
    float y0 = b.y;
    g_editor.radius = 6;
    g_editor.strength = 40;
    stroke(TOOL_RAISE, {{4, 4}});
    EXPECT_NEAR(b.y, terrain_height(&g_terrain, 4, 4) + 1, 1e-4f);
    EXPECT_GT(b.y, y0 + 1);
    ASSERT_EQ(editor_undo(), 1);
    EXPECT_EQ(b.y, y0);
}

TEST_F(EditorFixture, HistoryStaysWithinItsStepLimit) {
    for (int k = 0; k < UNDO_STEPS_MAX + 5; k++) {
        TrackScene before = scene_now(), after = before;
        after.gates[0].radius = 6.0f + (float)(k + 1) * 0.01f;
        ASSERT_EQ(editor_scene_commit(before, after, "Resize gate"), 1);
    }
    EXPECT_EQ((int)g_editor.undo.size(), UNDO_STEPS_MAX);
    // The oldest went first: undoing everything leaves the radius of the fifth edit.
    while (editor_undo()) {
    }
    EXPECT_FLOAT_EQ(g_gates.gates[0].radius, 6.0f + 5 * 0.01f);
}

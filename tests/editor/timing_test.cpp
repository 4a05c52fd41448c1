// Gates, lap lists and start slots: placing, moving, turning and resizing gates; lap-list
// edits that keep usable lists usable or are refused with a message; the row of start slots.
#include <cmath>

#include "core/maths.h"
#include "editor_fixture.h"

using editortest::message_has;

TEST_F(EditorFixture, GatesArePlacedMovedTurnedAndResized) {
    ASSERT_EQ(gate_add(28, 12, 0), 1);
    ASSERT_EQ(g_gates.gates.size(), 4u);
    const Gate& g = g_gates.gates[3];
    EXPECT_EQ(g_editor.selected, 3);
    EXPECT_EQ(g.centre[0], 28.0f);
    EXPECT_EQ(g.centre[2], 12.0f);
    EXPECT_FLOAT_EQ(g.centre[1], terrain_height(&g_terrain, 28, 12));
    // Facing 0 is the way the camera looks at yaw 0: along -z.
    EXPECT_NEAR(g.direction[0], 0, 1e-6f);
    EXPECT_NEAR(g.direction[2], -1, 1e-6f);

    ASSERT_EQ(gate_move(3, 20, 30), 1);
    EXPECT_EQ(g_gates.gates[3].centre[0], 20.0f);
    EXPECT_EQ(g_gates.gates[3].centre[2], 30.0f);
    // A quarter turn to the left: from -z to -x.
    ASSERT_EQ(gate_turn(3, (float)PI / 2), 1);
    EXPECT_NEAR(g_gates.gates[3].direction[0], -1, 1e-6f);
    EXPECT_NEAR(g_gates.gates[3].direction[2], 0, 1e-6f);
    float r = g_gates.gates[3].radius;
    ASSERT_EQ(gate_resize(3, 1.25f), 1);
    EXPECT_FLOAT_EQ(g_gates.gates[3].radius, r * 1.25f);
    // Within reach of its centre it is the gate found there.
    EXPECT_EQ(gate_nearest(21, 31, 8), 3);
    EXPECT_EQ(gate_nearest(200, 200, 8), -1);
}

TEST_F(EditorFixture, DeletingAGateRenumbersTheLapLists) {
    // First lap 0 1 2, normal lap 0 1i 2; gate 3 is new and listed last in the normal lap.
    ASSERT_EQ(gate_add(28, 28, 0), 1);
    ASSERT_EQ(lap_append(1, 3), 1);
    ASSERT_EQ(gate_delete(1), 1);
    EXPECT_EQ(g_gates.gates.size(), 3u);
    EXPECT_EQ(g_gates.first_lap, (std::vector<int>{0, 1}));
    EXPECT_EQ(g_gates.normal_lap, (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(g_gates.first_segments, 2);
    EXPECT_EQ(editor_timing_problem(), "");
}

TEST_F(EditorFixture, LapListEditsThatWouldMakeTheTimingUnusableAreRefused) {
    // Normal lap 0 100001 2: two segment gates. Dropping down to none is refused.
    ASSERT_EQ(lap_remove_last(1), 1); // 0 100001
    EXPECT_EQ(g_gates.normal_lap, (std::vector<int>{0, GATE_INTERMEDIATE + 1}));
    EXPECT_EQ(gate_toggle_intermediate(0), 0); // would leave only intermediates
    EXPECT_TRUE(message_has("Refused: The normal lap has only intermediate gates."));
    EXPECT_EQ(g_gates.normal_lap, (std::vector<int>{0, GATE_INTERMEDIATE + 1}));
    ASSERT_EQ(lap_remove_last(1), 1); // 0
    EXPECT_EQ(lap_remove_last(1), 0); // would empty it
    EXPECT_TRUE(message_has("Refused: The normal lap lists no gates."));
    EXPECT_EQ(g_gates.normal_lap, (std::vector<int>{0}));
    // Gate 0 is the normal lap's only gate: deleting it is refused too.
    EXPECT_EQ(gate_delete(0), 0);
    EXPECT_EQ(g_gates.gates.size(), 3u);
    // Intermediate marks go to every reference of the gate, and back.
    ASSERT_EQ(gate_toggle_intermediate(2), 1);
    EXPECT_EQ(g_gates.first_lap, (std::vector<int>{0, 1, GATE_INTERMEDIATE + 2}));
    ASSERT_EQ(gate_toggle_intermediate(2), 1);
    EXPECT_EQ(g_gates.first_lap, (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(editor_timing_problem(), "");
    // Nothing selected: a message, no change.
    EXPECT_EQ(lap_append(0, -1), 0);
    EXPECT_TRUE(message_has("Select a gate first"));
}

TEST_F(EditorFixture, ListsBeingBuiltTakeAnyEditAndSayWhatIsMissing) {
    TrackScene before, after;
    scene_read(&before);
    after = before;
    after.gates.clear();
    after.first_lap.clear();
    after.normal_lap.clear();
    ASSERT_EQ(editor_scene_commit(before, after, "Clear"), 1);
    EXPECT_EQ(editor_timing_problem(), "The track has no timing gates.");
    ASSERT_EQ(gate_add(8, 8, 0), 1);
    EXPECT_EQ(editor_timing_problem(), "The first lap lists no gates.");
    ASSERT_EQ(lap_append(0, 0), 1);
    EXPECT_EQ(editor_timing_problem(), "The normal lap lists no gates.");
    ASSERT_EQ(gate_toggle_intermediate(0), 1); // the lists were unusable: no refusal
    EXPECT_EQ(editor_timing_problem(), "The first lap has only intermediate gates.");
    ASSERT_EQ(lap_append(1, 0), 1);
    EXPECT_EQ(g_gates.normal_lap, (std::vector<int>{0}));
    // One mark per gate: a segment reference anywhere makes every reference intermediate.
    ASSERT_EQ(gate_toggle_intermediate(0), 1);
    EXPECT_EQ(g_gates.normal_lap, (std::vector<int>{GATE_INTERMEDIATE}));
    ASSERT_EQ(gate_toggle_intermediate(0), 1);
    EXPECT_EQ(editor_timing_problem(), "");
    // Now usable: making it unusable again is refused.
    EXPECT_EQ(gate_toggle_intermediate(0), 0);
}

TEST_F(EditorFixture, StartSlotsArePlacedAndTurnedAsARow) {
    // 40 slots 3 ft apart across the facing direction (-sin a, -cos a): across is (cos a, -sin a).
    float a = 0.4f;
    ASSERT_EQ(slots_place(16, 16, a, MAX_START_SLOTS, 3.0f), 1);
    ASSERT_EQ(g_gates.slot_count, 40);
    for (int k = 0; k < 40; k++) {
        float off = ((float)k - 19.5f) * 3.0f;
        EXPECT_NEAR(g_gates.slots[k].x, 16 + std::cos(a) * off, 1e-4f) << k;
        EXPECT_NEAR(g_gates.slots[k].z, 16 - std::sin(a) * off, 1e-4f) << k;
        EXPECT_FLOAT_EQ(g_gates.slots[k].angle, a);
        // Each slot has its start gate 3 ft ahead of it.
        const Statue* s = statue_get(g_gates.slots[k].statue);
        ASSERT_NE(s, nullptr);
        EXPECT_NEAR(s->x, g_gates.slots[k].x - 3 * std::sin(a), 1e-4f);
        EXPECT_NEAR(s->z, g_gates.slots[k].z - 3 * std::cos(a), 1e-4f);
    }
    // The track's own statue is still there, after the start gates.
    EXPECT_EQ(g_objects.statues_kept, 40);
    ASSERT_EQ(g_objects.statues.size(), 41u);
    EXPECT_EQ(g_objects.statues[40].x, 20.0f);

    // A quarter turn about the row's middle.
    ASSERT_EQ(slots_turn((float)PI / 2), 1);
    float b = a + (float)PI / 2;
    for (int k = 0; k < 40; k++) {
        float off = ((float)k - 19.5f) * 3.0f;
        EXPECT_NEAR(g_gates.slots[k].x, 16 + std::cos(b) * off, 1e-3f) << k;
        EXPECT_NEAR(g_gates.slots[k].z, 16 - std::sin(b) * off, 1e-3f) << k;
        EXPECT_NEAR(g_gates.slots[k].angle, b, 1e-6f);
    }
    ASSERT_EQ(slots_move(10, 12), 1);
    float cx = 0, cz = 0;
    for (int k = 0; k < 40; k++) cx += g_gates.slots[k].x, cz += g_gates.slots[k].z;
    EXPECT_NEAR(cx / 40, 10, 1e-3f);
    EXPECT_NEAR(cz / 40, 12, 1e-3f);
}

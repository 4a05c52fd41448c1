// Saving the edited track: the files land in the per-user folder (never the game folder), load
// back as the same track within the writers' precision, change the track digest, and are
// written all or none: a fault part way leaves the old files and the edit in memory.
#include <unistd.h>

#include <cmath>
#include <cstring>

#include "core/constants.h"
#include "editor_fixture.h"

using editortest::message_has;
using editortest::P;

namespace {

std::string user(const std::string& file) {
    return test_user_dir() + "t/" + file;
}

// A few edits of every kind.
void edit_everything() {
    g_editor.radius = 6;
    g_editor.strength = 30;
    g_editor.tool = TOOL_RAISE;
    stroke_begin(12, 12);
    for (int k = 0; k < 8; k++) stroke_dab(12 + k, 12, 4 * (float)sim_tick);
    stroke_end();
    g_editor.tool = TOOL_PAINT;
    g_editor.surface = 1;
    stroke_begin(20, 20);
    stroke_dab(20, 20, (float)sim_tick);
    stroke_end();
    ASSERT_EQ(gate_add(28, 28, 1.0f), 1);
    ASSERT_EQ(lap_append(1, 3), 1);
    ASSERT_EQ(scenery_move(TOOL_SCENERY, 1, 9.5f, 27.25f), 1);
    ASSERT_EQ(slots_place(16, 4, 0.2f, 12, 2.5f), 1);
}

std::vector<std::string> names_in(const std::string& folder) {
    RunResult r = run_command("ls '" + folder + "'");
    return split_lines(r.out);
}

} // namespace

TEST_F(EditorFixture, SaveThenLoadGivesTheSameTrack) {
    unsigned char digest_before[20];
    memcpy(digest_before, g_track.digest, 20);
    edit_everything();
    std::vector<float> heights = g_terrain.heights;
    std::vector<uint8_t> tiles = g_terrain.tilemap, shading = g_terrain.shading,
                         shadows = g_terrain.shadows;
    TrackScene scene;
    scene_read(&scene);
    ASSERT_EQ(editor_save(), 1);
    EXPECT_TRUE(message_has("Saved track 't' in the per-user folder"));
    EXPECT_EQ(g_editor.changes, 0);
    // Every file of the track in the per-user folder; no temporaries; the game folder as it was.
    EXPECT_EQ(names_in(test_user_dir() + "t"),
              (std::vector<std::string>{"billboards", "shading.ppm", "shadingx2.ppm", "shadows.pgm",
                                        "statues", "terrain.hf", "terrain.png", "tilemap",
                                        "timing_gates"}));
    EXPECT_FALSE(file_exists(test_game_dir() + "/t/terrain.png"));
    unsigned char digest_saved[20];
    memcpy(digest_saved, g_track.digest, 20);
    EXPECT_NE(memcmp(digest_before, digest_saved, 20), 0);

    // Loaded again from the files: the per-user copy comes first on the search path.
    float lo = g_terrain.min_height, hi = g_terrain.max_height;
    track_free();
    data_reset();
    g_track.name = "t";
    ASSERT_EQ(track_load(), 1);
    // The digest the loader computes is the one the save left.
    EXPECT_EQ(memcmp(g_track.digest, digest_saved, 20), 0);
    ASSERT_EQ(g_terrain.samples, P);
    float step = (hi - lo) / 65535.0f;
    for (size_t k = 0; k < heights.size(); k++)
        ASSERT_NEAR(g_terrain.heights[k], heights[k], step + 1e-4f) << k;
    EXPECT_EQ(g_terrain.tilemap, tiles);
    EXPECT_EQ(g_terrain.shading, shading);
    EXPECT_EQ(g_terrain.shadows, shadows);
    TrackScene again;
    scene_read(&again);
    // Positions go through "%f": six decimals.
    ASSERT_EQ(again.gates.size(), scene.gates.size());
    for (size_t i = 0; i < scene.gates.size(); i++) {
        EXPECT_NEAR(again.gates[i].radius, scene.gates[i].radius, 1e-5f);
        for (int c = 0; c < 3; c++) {
            EXPECT_NEAR(again.gates[i].centre[c], scene.gates[i].centre[c], 1e-5f);
            EXPECT_NEAR(again.gates[i].direction[c], scene.gates[i].direction[c], 1e-5f);
        }
    }
    EXPECT_EQ(again.first_lap, scene.first_lap);
    EXPECT_EQ(again.normal_lap, scene.normal_lap);
    ASSERT_EQ(again.slot_count, 12);
    for (int i = 0; i < 12; i++) {
        EXPECT_NEAR(again.slots[i].x, scene.slots[i].x, 1e-5f);
        EXPECT_NEAR(again.slots[i].z, scene.slots[i].z, 1e-5f);
        EXPECT_NEAR(again.slots[i].angle, scene.slots[i].angle, 1e-6f);
    }
    ASSERT_EQ(again.billboards.size(), scene.billboards.size());
    for (size_t i = 0; i < scene.billboards.size(); i++) {
        EXPECT_NEAR(again.billboards[i].x, scene.billboards[i].x, 1e-5f);
        EXPECT_NEAR(again.billboards[i].z, scene.billboards[i].z, 1e-5f);
        EXPECT_EQ(again.billboards[i].texture, scene.billboards[i].texture);
        EXPECT_EQ(memcmp(again.billboards[i].color, scene.billboards[i].color, 3), 0);
    }
    EXPECT_EQ(again.billboards[1].x, 9.5f);
    ASSERT_EQ(again.statues.size(), scene.statues.size());
    EXPECT_EQ(again.statues[0].model, "@box.jm");
    EXPECT_EQ(again.statues[0].shape, "@box.shp");
}

TEST_F(EditorFixture, AFaultPartWayThroughASaveLeavesTheOldFilesAndTheEdit) {
    ASSERT_EQ(editor_save(), 1);
    std::vector<std::string> old_files = names_in(test_user_dir() + "t");
    std::string old_hf = read_file(user("terrain.hf")), old_png = read_file(user("terrain.png")),
                old_gates = read_file(user("timing_gates"));
    edit_everything();
    std::vector<float> edited = g_terrain.heights;
    // The billboards' temporary cannot be made: a folder stands in its place. The terrain's
    // files and the gates come before it in the save.
    std::string blocker = user("billboards") + ".tmp" + std::to_string((long)getpid());
    run_command("mkdir -p '" + blocker + "'");
    EXPECT_EQ(editor_save(), 0);
    EXPECT_TRUE(message_has("Can't save track 't'"));
    EXPECT_EQ(read_file(user("terrain.hf")), old_hf);
    EXPECT_EQ(read_file(user("terrain.png")), old_png);
    EXPECT_EQ(read_file(user("timing_gates")), old_gates);
    // No temporary is left beside them, other than the stand-in folder itself.
    std::vector<std::string> now = names_in(test_user_dir() + "t");
    now.erase(std::remove(now.begin(), now.end(), blocker.substr(blocker.rfind('/') + 1)),
              now.end());
    EXPECT_EQ(now, old_files);
    // The edit is still in memory, and saves once the way is clear.
    EXPECT_EQ(g_terrain.heights, edited);
    EXPECT_GT(g_editor.changes, 0);
    run_command("rmdir '" + blocker + "'");
    ASSERT_EQ(editor_save(), 1);
    EXPECT_NE(read_file(user("terrain.png")), old_png);
}

TEST_F(EditorFixture, AFolderThatCannotBeWrittenIsReportedAndTheEditKept) {
    edit_everything();
    // A file where the track's folder would go: nothing can be created in it.
    write_file(test_user_dir() + "t", "in the way");
    std::vector<float> edited = g_terrain.heights;
    EXPECT_EQ(editor_save(), 0);
    EXPECT_TRUE(message_has("Can't save track 't'"));
    EXPECT_EQ(g_terrain.heights, edited);
    EXPECT_EQ(read_file(test_user_dir() + "t"), "in the way");
    // The game's own folder was never touched.
    EXPECT_FALSE(file_exists(test_game_dir() + "/t/terrain.png"));
}

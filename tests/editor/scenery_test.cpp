// Scenery: the catalogue of what the data holds, and placing, moving, turning, scaling, lifting
// and deleting billboards, statues and decals.
#include <algorithm>
#include <cmath>

#include "data/png_writer.h"
#include "editor_fixture.h"

using editortest::message_has;

namespace {

// An RGB picture of w x h pixels.
void put_png(const std::string& name, int w, int h) {
    TestPng p;
    p.width = w, p.height = h;
    p.data.assign((size_t)w * h * 3, 200);
    write_file(test_game_dir() + "/" + name, ""); // makes its folders
    ASSERT_TRUE(test_png_write(test_game_dir() + "/" + name, p));
}

class EditorScenery : public EditorFixture {
  protected:
    void SetUp() override {
        EditorFixture::SetUp();
        put_png("sprites/pine.png", 16, 32);
        put_png("sprites/banner.png", 64, 16);
        put_png("sprites/pine_norm.png", 16, 32); // a normal map, not a billboard
        put_png("decals/arrow.png", 32, 16);
        put_png("props/cone.png", 4, 4);
        put_png("box.png", 4, 4);
        write_file(test_game_dir() + "/props/cone.jm", editortest::tiny_model());
        write_file(test_game_dir() + "/props/cone.shp", "1\n0 0 0\n1 1 25000 2500\n");
        write_file(test_game_dir() + "/props/cone_lod1.jm", editortest::tiny_model());
        write_file(test_game_dir() + "/props/skinless.jm", editortest::tiny_model());
        data_rescan();
        catalogue_build();
    }
};

std::vector<std::string> labels(int kind) {
    std::vector<std::string> out;
    for (int i : catalogue_of(kind)) out.push_back(g_editor.catalogue[i].label);
    return out;
}

} // namespace

TEST_F(EditorScenery, CatalogueListsWhatTheDataHolds) {
    EXPECT_EQ(labels(ITEM_BILLBOARD), (std::vector<std::string>{"banner", "pine"}));
    EXPECT_EQ(labels(ITEM_DECAL), (std::vector<std::string>{"arrow"}));
    // Models with a skin only (a statue is written with its texture); level-of-detail files
    // are not models of their own; those with a shape come first.
    std::vector<std::string> statues = labels(ITEM_STATUE);
    ASSERT_GE(statues.size(), 2u);
    EXPECT_EQ(statues[0], "box");
    EXPECT_EQ(statues[1], "cone");
    for (const std::string& s : statues) {
        EXPECT_NE(s, "skinless");
        EXPECT_NE(s, "cone_lod1");
    }
    const CatalogueItem& cone = g_editor.catalogue[catalogue_of(ITEM_STATUE)[1]];
    EXPECT_EQ(cone.model, "@props/cone.jm");
    EXPECT_EQ(cone.texture, "@props/cone.png");
    EXPECT_EQ(cone.shape, "@props/cone.shp");
    // A billboard starts 16 ft high with its picture's proportions.
    const CatalogueItem& banner = g_editor.catalogue[catalogue_of(ITEM_BILLBOARD)[0]];
    EXPECT_FLOAT_EQ(banner.height, 16);
    EXPECT_FLOAT_EQ(banner.width, 64);
}

TEST_F(EditorScenery, BillboardsArePlacedMovedScaledLiftedAndDeleted) {
    int before = scenery_count(TOOL_SCENERY);
    ASSERT_EQ(scenery_add(ITEM_BILLBOARD, 1, 12, 20, 0), 1); // pine
    ASSERT_EQ(scenery_count(TOOL_SCENERY), before + 1);
    int index = g_editor.selected;
    EXPECT_EQ(index, 2); // after the track's two billboards, before its statue
    const Billboard* b = &g_objects.billboards[(size_t)g_objects.billboards_kept + 2];
    EXPECT_EQ(b->x, 12.0f);
    EXPECT_EQ(b->z, 20.0f);
    EXPECT_STREQ(texture_file_name(b->texture), "@sprites/pine.png");
    EXPECT_EQ(scenery_nearest(TOOL_SCENERY, 13, 21, 4), index);

    ASSERT_EQ(scenery_move(TOOL_SCENERY, index, 24, 26), 1);
    b = &g_objects.billboards[(size_t)g_objects.billboards_kept + 2];
    EXPECT_EQ(b->x, 24.0f);
    EXPECT_FLOAT_EQ(b->y, terrain_height(&g_terrain, 24, 26));
    ASSERT_EQ(scenery_scale(TOOL_SCENERY, index, 1.5f), 1);
    EXPECT_FLOAT_EQ(b->height, 24.0f);
    EXPECT_FLOAT_EQ(b->width, 12.0f);
    ASSERT_EQ(scenery_lift(TOOL_SCENERY, index, 2.0f), 1);
    EXPECT_FLOAT_EQ(b->file_y, 2.0f);
    EXPECT_FLOAT_EQ(b->y, terrain_height(&g_terrain, 24, 26) + 2);
    EXPECT_EQ(scenery_turn(TOOL_SCENERY, index, 0.5f), 0);
    EXPECT_TRUE(message_has("Billboards always face the camera"));
    ASSERT_EQ(scenery_delete(TOOL_SCENERY, index), 1);
    EXPECT_EQ(scenery_count(TOOL_SCENERY), before);
    EXPECT_EQ(g_editor.selected, -1);
}

TEST_F(EditorScenery, StatuesArePlacedTurnedAndCollideWhereTheyStand) {
    ASSERT_EQ(scenery_add(ITEM_STATUE, 1, 6, 26, 0.25f), 1); // cone
    int index = g_editor.selected;
    const Statue& s = g_objects.statues.back();
    EXPECT_EQ(s.x, 6.0f);
    EXPECT_EQ(s.angle, 0.25f);
    ASSERT_NE(s.shape, nullptr);
    EXPECT_EQ(s.shape->name, "@props/cone.shp");
    // The statue grid knows it: a rider there meets it.
    const std::vector<int>& near = statues_near(6, 26);
    EXPECT_NE(std::find(near.begin(), near.end(), (int)g_objects.statues.size() - 1), near.end());
    ASSERT_EQ(scenery_turn(TOOL_SCENERY, index, 0.5f), 1);
    EXPECT_FLOAT_EQ(g_objects.statues.back().angle, 0.75f);
    EXPECT_EQ(scenery_scale(TOOL_SCENERY, index, 2.0f), 0);
    EXPECT_TRUE(message_has("the statues file has no scale"));
    ASSERT_EQ(scenery_move(TOOL_SCENERY, index, 26, 6), 1);
    const std::vector<int>& moved = statues_near(26, 6);
    EXPECT_NE(std::find(moved.begin(), moved.end(), (int)g_objects.statues.size() - 1),
              moved.end());
}

TEST_F(EditorScenery, DecalsArePlacedTurnedScaledAndDeleted) {
    ASSERT_EQ(scenery_add(ITEM_DECAL, 0, 16, 16, 0), 1);
    ASSERT_EQ(g_terrain.decals.size(), 1u);
    EXPECT_TRUE(g_terrain.decals_present);
    EXPECT_FLOAT_EQ(g_terrain.decals[0].aspect, 2.0f); // 32 x 16 picture
    std::vector<int> found;
    terrain_decals_in(&g_terrain, 16, 16, 16, 16, &found);
    EXPECT_EQ(found, (std::vector<int>{0}));
    // Found anywhere over its picture.
    EXPECT_EQ(scenery_nearest(TOOL_DECALS, 19, 16, 1), 0);
    ASSERT_EQ(scenery_turn(TOOL_DECALS, 0, 0.5f), 1);
    EXPECT_FLOAT_EQ(g_terrain.decals[0].angle, 0.5f);
    EXPECT_NEAR(g_terrain.decals[0].sin_angle, std::sin(0.5f), 1e-6f);
    ASSERT_EQ(scenery_scale(TOOL_DECALS, 0, 2.0f), 1);
    EXPECT_FLOAT_EQ(g_terrain.decals[0].size, 20.0f);
    ASSERT_EQ(scenery_delete(TOOL_DECALS, 0), 1);
    EXPECT_TRUE(g_terrain.decals.empty());
    // The list still exists: it is written back empty, so a game copy's decals stay away.
    EXPECT_TRUE(g_terrain.decals_present);
}

#include <gtest/gtest.h>

#include "data/datafile.h"
#include "replay/demolist.h"
#include "support/test_env.h"
#include "track/tracklist.h"

TEST(TrackList, TitlesFromDescAndSortedByTitle) {
    write_file(test_game_dir() + "/zeta/terrain.hf", "x");
    write_file(test_game_dir() + "/zeta/desc", "Alpha Valley\r\nsecond line\n");
    write_file(test_game_dir() + "/beta/terrain.hf.gz", "x");
    write_file(test_game_dir() + "/alpha/terrain.hf", "x");
    write_file(test_game_dir() + "/alpha/terrain.hf.gz", "x");
    write_file(test_game_dir() + "/notatrack/terrain.hfx", "x");
    data_reset();
    ASSERT_EQ(tracklist_build(), 3);
    EXPECT_EQ(g_tracks.tracks[0].title, "Alpha Valley");
    EXPECT_EQ(g_tracks.tracks[0].folder, "zeta");
    EXPECT_EQ(g_tracks.tracks[1].title, "alpha");
    EXPECT_EQ(g_tracks.tracks[2].title, "beta");
    EXPECT_EQ(tracklist_find("beta"), 2);
    EXPECT_EQ(tracklist_find("gamma"), -1);
}

TEST(DemoList, NamesAndTitles) {
    write_file(test_user_dir() + "demos/race one.qzdemo", "x");
    write_file(test_game_dir() + "/demos/old/b.v2.qzdemo", "x");
    write_file(test_game_dir() + "/demos/notes.txt", "x");
    write_file(test_game_dir() + "/other/c.qzdemo", "x");
    data_reset();
    ASSERT_EQ(demolist_build(), 2);
    EXPECT_EQ(g_demo_list.demos[0].name, "demos/old/b.v2.qzdemo");
    EXPECT_EQ(g_demo_list.demos[0].title, "b.v2");
    EXPECT_EQ(g_demo_list.demos[1].title, "race one");
    EXPECT_EQ(demo_title("demos/noext"), "noext");
}

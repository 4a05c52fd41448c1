// The game started headless on the generated default data: the default track is listed and
// loaded without a warning about a missing file of the default data.
#include <gtest/gtest.h>

#include <cctype>

#include "support/test_env.h"

TEST(GameDataRun, DefaultTrackStartsHeadlessWithoutMissingFiles) {
    std::string gen = std::string(VORNIX_BUILD_DIR) + "/tools/vornix-gen/vornix-gen";
    RunResult g = run_command(gen + " '" + test_game_dir() + "'");
    ASSERT_EQ(g.status, 0) << g.err;
    // The default track, and the stadium track with the files only it has (its finish line).
    for (const char* track : {"rabbithill", "stadium"}) {
        RunResult r =
            run_vornix(std::string("--headless --track ") + track + " --quit-after 1 --debug");
        ASSERT_EQ(r.status, 0) << r.err;
        std::string log = read_file(test_user_dir() + "lastlog.txt");
        ASSERT_FALSE(log.empty());
        EXPECT_NE(log.find(std::string("Loading '@") + track + "'"), std::string::npos) << log;
        // Every track is found, with its title.
        EXPECT_NE(log.find("rabbithill -> Rabbit Hill"), std::string::npos) << log;
        EXPECT_NE(log.find("dunebay -> Dune Bay"), std::string::npos) << log;
        EXPECT_NE(log.find("stadium -> Stadium Cross"), std::string::npos) << log;
        std::string lower = log;
        for (char& c : lower) c = (char)tolower((unsigned char)c);
        // The loaders' messages about data files (the display message of a headless run is
        // not one).
        for (const char* bad :
             {"can't open '", "can't open texture", "missing shape file", "can't load",
              "non power of 2", "error reading", "warning", "unknown identifier"})
            EXPECT_EQ(lower.find(bad), std::string::npos) << track << ": " << bad << "\n" << log;
    }
}

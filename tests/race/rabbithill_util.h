// A race session on the generated "rabbithill" with the real track, bikes and world; riders
// are moved by teleporting them along the gate sequence.
#pragma once

#include <cstdlib>

#include "core/settings.h"
#include "bike/world.h"
#include "data/datafile.h"
#include "data/model.h"
#include "data/shape.h"
#include "data/texture.h"
#include "race/race_test_util.h"
#include "track/terrain.h"
#include "track/track.h"
#include "track/tracklist.h"

namespace racetest {

struct RaceOnRabbitHill : ::testing::Test {
    void SetUp() override {
        clear_race();
        log_setup(("DRUV_LOGFILE=" + log_path()).c_str());
        g_settings.headless = 1; // no GL in unit tests
        setenv("QZ_HOME", VORNIX_BUILD_DIR "/data", 1);
        data_reset();
        ASSERT_GT(tracklist_build(), 0);
        int rabbithill = tracklist_find("rabbithill");
        ASSERT_GE(rabbithill, 0);
        tracklist_select(rabbithill);
        bikes_reset();
        physics_open();
    }
    void TearDown() override {
        demo_record_stop();
        demo_close_playback();
        demo_choose("");
        session_free_riders();
        if (g_track.loaded) track_free();
        texture_reset();
        model_reset();
        shape_reset();
        physics_close_contacts();
        physics_close_world();
        clear_race();
        tracklist_reset();
        g_settings = Settings{};
    }

    // Makes the test's own game folder a set of links to the generated data, so that files
    // the test places in it (or writes through the game folder) stay in the test's folder.
    static void link_game_folder() {
        run_command("ln -s '" VORNIX_BUILD_DIR "/data/'* '" + test_game_dir() + "/'");
        setenv("QZ_HOME", test_game_dir().c_str(), 1);
        data_reset();
        tracklist_build();
        tracklist_select(tracklist_find("rabbithill"));
    }

    // Puts a rider 1 foot past the gate of sequence position p, 2 feet above the ground.
    static void teleport(int slot, int p) {
        int gate = gates_sequence_gate(p);
        ASSERT_GE(gate, 0);
        const Gate& g = g_gates.gates[gate];
        float x = g.centre[0] + g.direction[0], z = g.centre[2] + g.direction[2];
        float at[3];
        ASSERT_TRUE(session_rider_position(slot, at));
        bike_translate(g_session_data.slots[slot].bike, x - at[0],
                       terrain_height(&g_terrain, x, z) + 2 - at[1], z - at[2]);
    }

    // Runs ticks up to (not including) tick `end`; before each tick, riders whose schedule
    // names that tick are teleported to their next position. schedule[slot] lists the tick of
    // every position (-1: skipped).
    static void ride(const std::vector<std::vector<int>>& schedule, int end) {
        while (g_session_data.session_clock < end) {
            int t = g_session_data.session_clock;
            for (int slot = 0; slot < (int)schedule.size(); slot++)
                for (int p = 0; p < (int)schedule[slot].size(); p++)
                    if (schedule[slot][p] == t) teleport(slot, p);
            session_tick();
        }
    }
};

} // namespace racetest

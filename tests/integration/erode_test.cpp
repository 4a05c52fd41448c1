// Ground wear in a real race: the player rides away from the gate on the generated "rabbithill"
// with the wear factor of "--erode 1"; the roost its wheels throw changes the height field along
// the line it rode and nowhere far from it, and the demo of that race still plays back rider
// for rider. And the real program accepts "--erode 1" for a recorded race and plays its demo.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdlib>
#include <vector>

#include "bike/bike.h"
#include "bike/step.h"
#include "bike/world.h"
#include "core/settings.h"
#include "data/datafile.h"
#include "data/model.h"
#include "data/shape.h"
#include "data/texture.h"
#include "effects/roost.h"
#include "platform/log.h"
#include "race/demo_session.h"
#include "race/results.h"
#include "race/series.h"
#include "race/session.h"
#include "race/session_internal.h"
#include "replay/demo.h"
#include "support/test_env.h"
#include "track/gates.h"
#include "track/terrain.h"
#include "track/track.h"
#include "track/tracklist.h"

namespace {

const std::string DATA = std::string(VORNIX_BUILD_DIR) + "/data";

class ErodeRace : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!file_exists(DATA + "/rabbithill/terrain.hf")) GTEST_SKIP() << "no generated data";
        log_setup(("DRUV_LOGFILE=" + test_dir() + "/log.txt").c_str());
        g_settings = Settings{};
        g_settings.headless = 1;
        setenv("QZ_HOME", DATA.c_str(), 1);
        data_reset();
        ASSERT_GT(tracklist_build(), 0);
        tracklist_select(tracklist_find("rabbithill"));
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
        session_reset();
        results_reset();
        series_reset();
        gates_free();
        tracklist_reset();
        roost_reset();
        g_settings = Settings{};
    }
};

// The nearest distance, across the ground, from (x, z) to a point of the line.
float distance_to(const std::vector<std::array<float, 3>>& line, float x, float z) {
    float best = 1e30f;
    for (const auto& p : line) best = std::min(best, std::hypot(p[0] - x, p[2] - z));
    return best;
}

} // namespace

TEST_F(ErodeRace, WearFollowsTheRiddenLineAndTheDemoStillPlays) {
    g_settings.erode = 1; // "--erode 1"
    int table[MAX_RIDERS] = {RIDER_CODE_LOCAL};
    ASSERT_TRUE(session_start(table, 0, 1, 0, 2, 0));
    ASSERT_FALSE(g_terrain.deformation_locked);
    const std::vector<float> before = g_terrain.heights;
    Bike* bike = g_session_data.slots[0].bike;
    ASSERT_NE(bike, nullptr);

    // Standing at the gate until it drops throws nothing and wears nothing.
    int start = g_session_data.start_tick;
    while (g_session_data.session_clock <= start + 16) session_tick();
    EXPECT_EQ(g_terrain.heights, before);

    // Full throttle up the start straight for five seconds.
    std::vector<std::array<float, 3>> line;
    std::vector<std::array<float, 3>> recorded;
    int ridden_from = g_session_data.session_clock;
    int most_live = 0;
    for (int t = 0; t < 5 * 128; t++) {
        bike_set_clutch(bike, 1);
        bike_set_throttle(bike, 1);
        session_tick();
        std::array<float, 3> p;
        ASSERT_TRUE(session_rider_position(0, p.data()));
        recorded.push_back(p);
        for (const Wheel& w : bike->wheels)
            if (w.depth > 0) line.push_back({w.contact_point[0], 0, w.contact_point[2]});
        most_live = std::max(most_live, g_roost.live_count);
    }
    EXPECT_GT(most_live, 50);
    float rode = std::hypot(recorded.back()[0] - recorded.front()[0],
                            recorded.back()[2] - recorded.front()[2]);
    EXPECT_GT(rode, 60) << "the bike left the gate";
    // Let the last particles land.
    for (int t = 0; t < 3 * 128 && g_roost.live_count > 0; t++) session_tick();

    int changed = 0, on_line = 0, far = 0;
    float farthest = 0;
    const int P = g_terrain.samples;
    for (int j = 0; j < P; j++)
        for (int i = 0; i < P; i++) {
            size_t k = (size_t)i + (size_t)P * j;
            if (g_terrain.heights[k] == before[k]) continue;
            changed++;
            float d = distance_to(line, i * g_terrain.spacing, j * g_terrain.spacing);
            farthest = std::max(farthest, d);
            if (d <= 3 * g_terrain.spacing) on_line++;
            if (d > 60) far++; // roost flies a few tens of feet, no farther
        }
    EXPECT_GT(changed, 20);
    EXPECT_GT(on_line, changed / 4) << "ruts under the wheels";
    EXPECT_EQ(far, 0) << "farthest change " << farthest << " ft from the line";
    EXPECT_TRUE(g_terrain.modified);
    // The ground carried away came back down (within what fell beyond the field: nothing here).
    double moved = 0, net = 0;
    for (size_t k = 0; k < before.size(); k++) {
        double d = (double)g_terrain.heights[k] - before[k];
        moved += std::fabs(d);
        net += d;
    }
    EXPECT_GT(moved, 0.05);
    EXPECT_NEAR(net, 0, moved * 0.02 + 1e-3);

    // The recorded race plays back: every rider where it was, on the worn ground.
    demo_record_stop();
    ASSERT_TRUE(session_demo_start("demos/default.qzdemo", 0, 0, 0, 0));
    ASSERT_EQ(g_session_data.slots[0].kind, RIDER_REMOTE);
    const float tolerance = g_terrain.extent / 16777215.0f + 4e-4f;
    while (g_session_data.session_clock < ridden_from) session_tick();
    int replayed_live = 0;
    for (size_t t = 0; t < recorded.size(); t++) {
        session_tick();
        float at[3];
        ASSERT_TRUE(session_rider_position(0, at));
        for (int k = 0; k < 3; k++) ASSERT_NEAR(at[k], recorded[t][k], tolerance) << t;
        replayed_live = std::max(replayed_live, g_roost.live_count);
    }
    // The replayed rider is placed from its records, not simulated, and still throws roost
    // from the contacts its placement finds.
    EXPECT_GT(replayed_live, 20);
}

TEST(ErodeGame, AWornRaceIsRecordedAndItsDemoPlays) {
    if (!file_exists(DATA + "/rabbithill/terrain.hf")) GTEST_SKIP() << "no generated data";
    write_file(test_user_dir() + "config", "record=Yes\nlaps=2\nslot00=Human\n");
    std::string game = "QZ_HOME='" + DATA + "' " + std::string(VORNIX_BIN);
    RunResult r = run_command(game + " --headless --track rabbithill --race --warp --erode 1 "
                                     "--quit-after 4");
    ASSERT_EQ(r.status, 0) << r.err;
    ASSERT_TRUE(file_exists(test_user_dir() + "demos/default.qzdemo"));
    r = run_command(game + " --headless --debug demos/default.qzdemo --warp --erode 1 "
                           "--quit-after 4");
    ASSERT_EQ(r.status, 0) << r.err;
    std::string log = read_file(test_user_dir() + "lastlog.txt");
    EXPECT_NE(log.find("Loading '@rabbithill'"), std::string::npos) << log;
    EXPECT_NE(log.find("rider 0: 999 on "), std::string::npos) << log;
    // "--erode" out of its range is held to it; a bad value is an error.
    r = run_command(game + " --headless --erode x --quit-after 1");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("Bad arg for --erode"), std::string::npos) << r.err;
}

// The generated default track loaded with the game's own loaders, against what the generator
// says it wrote.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <map>
#include <sstream>

#include "core/settings.h"
#include "data/datafile.h"
#include "data/model.h"
#include "data/shape.h"
#include "data/texture.h"
#include "support/test_env.h"
#include "track/gates.h"
#include "track/objects.h"
#include "track/terrain.h"
#include "track/track.h"

namespace {

// The generator's summary of one track: "key value..." lines after "track <name>".
struct Summary {
    std::map<std::string, std::string> values;
    std::vector<std::vector<double>> probes; // i, j, height
};

Summary read_summary(const std::string& track) {
    Summary s;
    std::istringstream in(
        read_file(std::string(VORNIX_BUILD_DIR) + "/tools/vornix-gen/summary.txt"));
    std::string line, current;
    while (std::getline(in, line)) {
        std::istringstream words(line);
        std::string key;
        words >> key;
        if (key == "track") {
            words >> current;
            continue;
        }
        if (current != track) continue;
        if (key == "probe") {
            double i, j, h;
            words >> i >> j >> h;
            s.probes.push_back({i, j, h});
        } else {
            std::string rest;
            std::getline(words, rest);
            s.values[key] = rest.substr(rest.find_first_not_of(' '));
        }
    }
    return s;
}

class Rabbithill : public ::testing::Test {
  protected:
    void SetUp() override {
        setenv("QZ_HOME", (std::string(VORNIX_BUILD_DIR) + "/data").c_str(), 1);
        data_reset();
        g_settings.headless = 1;
        summary = read_summary("rabbithill");
        ASSERT_FALSE(summary.values.empty()) << "no generator summary";
        g_track.name = "rabbithill";
        ASSERT_EQ(track_load(), 1);
    }
    void TearDown() override {
        track_free();
        texture_reset();
        model_reset();
        shape_reset();
        g_settings.headless = 0;
    }
    double value(const char* key) { return atof(summary.values[key].c_str()); }
    Summary summary;
};

} // namespace

TEST_F(Rabbithill, HeightFieldMatchesTheGenerator) {
    const Terrain& t = g_terrain;
    EXPECT_EQ(t.shift, (int)value("shift"));
    EXPECT_EQ(t.samples, (int)value("samples"));
    EXPECT_FLOAT_EQ(t.spacing, (float)value("spacing"));
    EXPECT_FLOAT_EQ(t.extent, (float)((t.samples - 1) * value("spacing")));
    double lo = value("min_height"), hi = value("max_height");
    double quantum = (hi - lo) / 65535;
    ASSERT_GE(summary.probes.size(), 3u);
    for (const auto& p : summary.probes) {
        int i = (int)p[0], j = (int)p[1];
        EXPECT_NEAR(t.heights[i + t.samples * j], p[2], quantum + 1e-4) << i << "," << j;
        // At a sample the surface passes through the sample's height.
        EXPECT_NEAR(terrain_height(&t, i * t.spacing, j * t.spacing), p[2], quantum + 1e-3);
    }
}

TEST_F(Rabbithill, HeightIsContinuousAcrossCellDiagonals) {
    const Terrain& t = g_terrain;
    // Walk straight lines across many cells in small steps; neighbouring heights may differ only
    // by what the slope allows over one step.
    const float step = t.spacing / 64;
    float worst = 0;
    for (int line = 0; line < 40; line++) {
        float z = 300 + line * 17.3f;
        float prev = terrain_height(&t, 300, z);
        for (float x = 300 + step; x < 1500; x += step) {
            float h = terrain_height(&t, x, z + (x - 300) * 0.37f);
            worst = std::max(worst, std::fabs(h - prev));
            prev = h;
        }
    }
    // The steepest generated faces climb well under 2 feet per foot of run.
    EXPECT_LT(worst, step * 1.5f * 2.0f);
}

TEST_F(Rabbithill, GatesLapsAndObjectsAsWritten) {
    EXPECT_EQ((int)g_gates.gates.size(), (int)value("gates"));
    EXPECT_EQ((int)g_gates.first_lap.size(), (int)value("first_lap"));
    EXPECT_EQ((int)g_gates.normal_lap.size(), (int)value("normal_lap"));
    EXPECT_EQ(g_gates.first_segments, (int)value("first_segments"));
    EXPECT_EQ(g_gates.normal_segments, (int)value("normal_segments"));
    EXPECT_EQ(g_gates.slot_count, (int)value("start_slots"));
    EXPECT_EQ((int)g_terrain.surfaces.size(), (int)value("surfaces"));
    // Besides the track's own billboards the list holds the particle billboards and one per
    // flagger (the start and lap flaggers and the gate flaggers).
    EXPECT_EQ(g_objects.start_flagger.present, 1);
    EXPECT_EQ(g_objects.lap_flagger.present, 1);
    EXPECT_EQ((int)g_objects.gate_flaggers.size(), (int)value("gate_flaggers"));
    EXPECT_EQ((int)g_objects.billboards.size() - PARTICLE_BILLBOARD_COUNT,
              (int)value("billboards") + 2 + (int)value("gate_flaggers"));
    EXPECT_EQ((int)g_gates.slot_count + (int)value("statues"), (int)g_objects.statues.size());
}

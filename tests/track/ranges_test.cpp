// Physical values of the track files are range-checked where they are read: gate radii and
// places, start slots, statue and billboard positions, lighting, roost parameters and the
// height field's header. Each clamp is logged with the file and the value.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "data/datafile.h"
#include "track/lighting.h"
#include "track/surface.h"
#include "track_fixture.h"

namespace {

const std::string PIXEL = std::string("P6\n1 1\n255\n") + std::string("\x10\x20\x30", 3);

class Ranges : public TrackFilesFixture {
  protected:
    void put(const std::string& name, const std::string& bytes) {
        write_file(test_game_dir() + "/" + name, bytes);
    }
    void read(const char* file, const std::string& bytes, int (*reader)(DataFile*)) {
        put(std::string("t/") + file, bytes);
        DataFile* f = data_open((std::string("@t/") + file).c_str(), "r");
        ASSERT_NE(f, nullptr);
        EXPECT_EQ(reader(f), 1);
        data_close(f);
    }
    bool logged(const std::string& text) { return log_text().find(text) != std::string::npos; }
};

} // namespace

TEST_F(Ranges, GateRadiiAndPlacesAreHeldWithinTheTrack) {
    read(
        "timing_gates",
        "startinggate:\n[ 1e30 0 -1e30 ] 0\n[ 10 0 10 ] 0\n"
        "checkpoints:\n-5 [ 0 0 0 ] [ 1 0 0 ]\n1e9 [ 3e38 0 0 ] [ 0 0 1 ]\n12 [ 5 0 5 ] [ 1 0 0 ]\n"
        "firstlap:\n0 1 2\nnormallap:\n0 1 2\n",
        gates_read);
    ASSERT_EQ(g_gates.slot_count, 2);
    EXPECT_EQ(g_gates.slots[0].x, TRACK_COORD_MAX);
    EXPECT_EQ(g_gates.slots[0].z, -TRACK_COORD_MAX);
    EXPECT_EQ(g_gates.slots[1].x, 10);
    ASSERT_EQ(g_gates.gates.size(), 3u);
    // A negative radius would count as its size; no gate is passed then.
    EXPECT_EQ(g_gates.gates[0].radius, 0);
    EXPECT_FALSE(gate_passed(&g_gates.gates[0], 1, 0));
    EXPECT_EQ(g_gates.gates[1].radius, TRACK_COORD_MAX);
    EXPECT_EQ(g_gates.gates[1].centre[0], TRACK_COORD_MAX);
    EXPECT_EQ(g_gates.gates[2].radius, 12);
    EXPECT_TRUE(logged("t/timing_gates: gate radius -5 out of range (0 to 262144), using 0\n"));
    EXPECT_TRUE(logged("t/timing_gates: start slot x 1e+30 out of range"));
}

TEST_F(Ranges, StatueAndBillboardPositionsAreHeld) {
    put("m.jm", "JM1\n0 1 1 1 1 3 1\n0 0 0 0 1 0 0 0\n1 0 0 0 1 0 1 0\n0 1 0 0 1 0 0 1\n0 1 2\n");
    put("p.ppm", PIXEL);
    read("statues", "[ 1e35 -1e35 5 ] 1e20 @m.jm @p.ppm null\n[ 4 0 4 ] 0 @m.jm @p.ppm null\n",
         statues_read);
    ASSERT_EQ(g_objects.statues.size(), 2u);
    const Statue& s = g_objects.statues[0];
    EXPECT_EQ(s.x, TRACK_COORD_MAX);
    EXPECT_EQ(s.file_y, -TRACK_LIFT_MAX);
    EXPECT_EQ(s.z, 5);
    EXPECT_TRUE(std::isfinite(s.rot[0]) && std::isfinite(s.y));
    EXPECT_EQ(g_objects.statues[1].x, 4);
    EXPECT_TRUE(logged("t/statues: statue x 1e+35 out of range (-262144 to 262144), using 262144"));
    read("billboards", "[ 1 2e30 3 ] -4 1e12 @p.ppm\n", billboards_read);
    ASSERT_FALSE(g_objects.billboards.empty());
    const Billboard& b = g_objects.billboards.back();
    EXPECT_EQ(b.file_y, TRACK_LIFT_MAX);
    EXPECT_EQ(b.width, 0);
    EXPECT_EQ(b.height, TRACK_LIFT_MAX);
}

TEST_F(Ranges, LightingValuesAreHeld) {
    for (const char* f :
         {"sky-n.ppm", "sky-e.ppm", "sky-s.ppm", "sky-w.ppm", "sky-u.ppm", "sky-env.ppm"})
        put(f, PIXEL);
    put("t/lighting", "sun_color [ nan 2 100 ]\nambient [ -1 0.25 inf ]\n"
                      "fog [ 0.5 0.5 0.5 ] 1e9\nflare_element [ 1e9 0.5 ] [ 1 1 1 ] -3\n"
                      "flare_point [ 0 inf 0 ]\nsun_vector [ 0 0 0 ]\n");
    lighting_read("@t/lighting");
    // NaN takes the default, the rest is held at the ends.
    EXPECT_EQ(g_lighting.sun_color[0], 1);
    EXPECT_EQ(g_lighting.sun_color[1], 2);
    EXPECT_EQ(g_lighting.sun_color[2], LIGHT_COLOUR_MAX);
    EXPECT_EQ(g_lighting.ambient[0], 0);
    EXPECT_EQ(g_lighting.ambient[2], LIGHT_COLOUR_MAX);
    EXPECT_EQ(g_lighting.fog_density, LIGHT_FOG_MAX);
    ASSERT_EQ(g_lighting.flares.size(), 1u);
    EXPECT_EQ(g_lighting.flares[0].placement[0][0], 100);
    EXPECT_EQ(g_lighting.flares[0].size[0], 0);
    EXPECT_EQ(g_lighting.flares[0].position[1], LIGHT_POSITION_MAX);
    // A zero sun direction is no direction: the default one, normalised.
    float third = 1 / std::sqrt(3.0f);
    EXPECT_FLOAT_EQ(g_lighting.sun_vector[1], third);
    EXPECT_TRUE(logged("t/lighting: fog density 1e+09 out of range (0 to 1), using 1\n"));
    lighting_reset(&g_lighting);
}

TEST_F(Ranges, RoostParametersAreHeld) {
    put("t/tileinfo", "roost count=1e30 drag=500 slow_angle=-1 size=1e20 vscale=nan dig=-1e9\n"
                      "addtile\n");
    DataFile* f = data_open("@t/tileinfo", "r");
    ASSERT_NE(f, nullptr);
    Terrain t;
    surface_types_read_tileinfo(&t, f);
    data_close(f);
    ASSERT_EQ(t.surfaces.size(), 1u);
    const RoostType& r = t.surfaces[0].roost[0];
    EXPECT_EQ(r.count, 1000);
    EXPECT_EQ(r.drag, 128); // more than 128 per second would turn a particle round each step
    EXPECT_EQ(r.slow_angle, 0);
    EXPECT_EQ(r.size, 100);
    EXPECT_EQ(r.vscale, 0); // "nan" is no number: warned and taken as 0
    EXPECT_EQ(r.dig, -10);
    EXPECT_TRUE(logged("t/tileinfo: roost count 1e+30 out of range (0 to 1000), using 1000\n"));
    texture_reset();
}

TEST_F(Ranges, HeightFieldSpacingAndHeights) {
    Terrain t;
    // A spacing no ground has is refused; heights far beyond any track are held
    // at the reader's limit.
    put("t/terrain.hf", "3 1000 0 1\n");
    EXPECT_EQ(terrain_load(&t, "@t"), 0);
    EXPECT_TRUE(logged("t/terrain.hf: sample spacing 1000 out of range"));
    EXPECT_TRUE(logged("Bad height field parameters\n"));
    terrain_free(&t);
    put("t/terrain.hf", "1 1 -1e9 1\n");
    terrain_load(&t, "@t");
    EXPECT_TRUE(logged(
        "t/terrain.hf: minimum height -1e+09 out of range (-1e+06 to 1e+06), using -1e+06\n"));
    terrain_free(&t);
}

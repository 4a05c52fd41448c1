#include <gtest/gtest.h>

#include <cmath>

#include "data/datafile.h"
#include "track/surface.h"
#include "track/terrain.h"
#include "track_test_files.h"

using namespace trackfiles;

namespace {

class SurfaceTest : public ::testing::Test {
  protected:
    Terrain t;
    void SetUp() override { log_start(); }

    void read_tileinfo(const std::string& text) {
        std::string path = test_dir() + "/tileinfo";
        write_file(path, text);
        DataFile* f = data_open(path.c_str(), "rb");
        ASSERT_NE(f, nullptr);
        EXPECT_EQ(surface_types_read_tileinfo(&t, f), 1);
        data_close(f);
    }
    void read_texturelist(const std::string& text) {
        std::string path = test_dir() + "/texturelist";
        write_file(path, text);
        DataFile* f = data_open(path.c_str(), "rb");
        ASSERT_NE(f, nullptr);
        EXPECT_EQ(surface_types_read_texturelist(&t, f), 1);
        data_close(f);
    }
};

constexpr float MIN_SPEED = 1.0f / 1048576.0f;

} // namespace

TEST_F(SurfaceTest, DefaultsOfATypeWithoutCurveLines) {
    read_tileinfo("addtile\n");
    ASSERT_EQ(t.surfaces.size(), 1u);
    const SurfaceType& s = t.surfaces[0];
    EXPECT_EQ(s.texture, 0u);
    EXPECT_EQ(s.texture_name, "");
    for (int k = 0; k < 8; k++) {
        EXPECT_EQ(s.friction[k].coefficient, 1.0f);
        EXPECT_EQ(s.friction[k].speed, k == 0 ? 1.0f : 0.0f);
        EXPECT_EQ(s.roll_resist[k].force_loose, 5.0f);
        EXPECT_EQ(s.roll_resist[k].force_sunk, 15.0f);
        EXPECT_EQ(s.roll_resist[k].speed, k == 0 ? 1.0f : 0.0f);
    }
    for (int k = 0; k < 4; k++) EXPECT_EQ(s.roost[k].kind, ROOST_UNUSED);
    EXPECT_EQ(surface_friction(&s, 0), 1.0f);
    EXPECT_EQ(surface_friction(&s, 1e6f), 1.0f);
    EXPECT_EQ(surface_roll_resistance(&s, 30, 0.5f), 10.0f);
}

TEST_F(SurfaceTest, FrictionPointsAreSortedAndInterpolatedInSquaredSpeed) {
    read_tileinfo("friction 0.9 10\nfriction 1.2 2\naddtile\n");
    const SurfaceType& s = t.surfaces.at(0);
    EXPECT_EQ(s.friction[0].coefficient, 1.2f);
    EXPECT_EQ(s.friction[0].speed, 2.0f);
    EXPECT_EQ(s.friction[1].coefficient, 0.9f);
    EXPECT_EQ(s.friction[1].speed, 10.0f);
    EXPECT_EQ(s.friction[2].speed, 0.0f); // the defaults after the given points end the curve
    EXPECT_NEAR(surface_friction(&s, 36), 1.2f + (36.0f - 4) / (100 - 4) * (0.9f - 1.2f), 1e-6);
    EXPECT_NEAR(surface_friction(&s, 36), 1.1f, 1e-6);
    EXPECT_EQ(surface_friction(&s, 1), 1.2f);
    EXPECT_EQ(surface_friction(&s, 4), 1.2f);
    EXPECT_EQ(surface_friction(&s, 100), 0.9f);
    EXPECT_EQ(surface_friction(&s, 1e8f), 0.9f);
}

TEST_F(SurfaceTest, OutOfRangeFrictionValuesAreRaised) {
    read_tileinfo("friction -1 0\naddtile\n");
    EXPECT_EQ(t.surfaces[0].friction[0].coefficient, 0.0f);
    EXPECT_EQ(t.surfaces[0].friction[0].speed, MIN_SPEED);
}

TEST_F(SurfaceTest, RollingResistanceIsInterpolatedInSpeedThenBySinkage) {
    read_tileinfo("roll_resist 4 8 10\nroll_resist -2 6 2\nroll_resist 1 2 -5\naddtile\n");
    const SurfaceType& s = t.surfaces.at(0);
    EXPECT_EQ(s.roll_resist[0].speed, MIN_SPEED);
    EXPECT_EQ(s.roll_resist[0].force_loose, 1.0f);
    EXPECT_EQ(s.roll_resist[1].force_loose, 0.0f); // -2 raised to 0
    EXPECT_EQ(s.roll_resist[1].speed, 2.0f);
    EXPECT_EQ(s.roll_resist[2].speed, 10.0f);
    // Speed 4: between (0, 6) at 2 and (4, 8) at 10, u = 0.25.
    float f0 = 0 + 0.25f * 4, f1 = 6 + 0.25f * 2;
    EXPECT_NEAR(surface_roll_resistance(&s, 4, 0), f0, 1e-5);
    EXPECT_NEAR(surface_roll_resistance(&s, 4, 1), f1, 1e-5);
    EXPECT_NEAR(surface_roll_resistance(&s, 4, 0.4f), f0 + (f1 - f0) * 0.4f, 1e-5);
    EXPECT_NEAR(surface_roll_resistance(&s, 50, 0.5f), 4 + 4 * 0.5f, 1e-5);
    EXPECT_NEAR(surface_roll_resistance(&s, 0, 0.5f), 1.5f, 1e-5);
}

TEST_F(SurfaceTest, CurveWarningsAndLimits) {
    std::string text;
    for (int k = 0; k < 9; k++) text += "friction 1 " + std::to_string(k + 1) + "\n";
    for (int k = 0; k < 9; k++) text += "roll_resist 1 2 " + std::to_string(k + 1) + "\n";
    text += "friction 1\nfriction\nroll_resist 1 2\nroll_resist x y z\n";
    text += "addtile\n";
    read_tileinfo(text);
    EXPECT_EQ(log_count("tileinfo warning: too many friction points"), 1);
    EXPECT_EQ(log_count("tileinfo warning: too many roll_resist points"), 1);
    EXPECT_EQ(log_count("tileinfo warning: bad friction parameters"), 2);
    EXPECT_EQ(log_count("tileinfo warning: bad roll_resist parameters"), 2);
    EXPECT_EQ(t.surfaces[0].friction[7].speed, 8.0f);
    EXPECT_EQ(t.surfaces[0].roll_resist[7].speed, 8.0f);
}

TEST_F(SurfaceTest, RoostDefaultsAndParameters) {
    read_tileinfo("roost\n"
                  "roost count=3.5 dig=0.25 slip_threshold=2 slow_angle=1 fast_angle=0.5 "
                  "slow_speed=4 fast_speed=40 size=0.5 grow=2 drag=0.75 vscale=2 randomize=5 "
                  "r=10 g=20 b=30 a=40 fade_r=256 fade_g=-384 fade_b=64 fade_a=128\n"
                  "roost splash=1 count=1 count=7\n"
                  "roost\tsplash=0\n"
                  "roost\n"
                  "addtile\n");
    const SurfaceType& s = t.surfaces.at(0);
    const RoostType& d = s.roost[0];
    EXPECT_EQ(d.kind, ROOST_SLIP);
    EXPECT_EQ(d.count, 10.0f);
    EXPECT_EQ(d.dig, 1.0f);
    EXPECT_EQ(d.slip_threshold, 4.0f);
    EXPECT_EQ(d.slow_angle, 1.5707964f);
    EXPECT_EQ(d.fast_angle, 0.19634955f);
    EXPECT_EQ(d.slow_speed, 0.0f);
    EXPECT_EQ(d.fast_speed, 64.0f);
    EXPECT_EQ(d.size, 0.25f);
    EXPECT_EQ(d.grow, 4.0f);
    EXPECT_EQ(d.drag, 0.5f);
    EXPECT_EQ(d.vscale, 1.0f);
    EXPECT_EQ(d.randomize, 15.0f);
    EXPECT_EQ(d.r + d.g + d.b + d.a, 4 * 255);
    EXPECT_EQ(d.fade_r, 0);
    EXPECT_EQ(d.fade_a, -2);
    EXPECT_EQ((uint8_t)d.fade_a, 254);

    const RoostType& p = s.roost[1];
    EXPECT_EQ(p.kind, ROOST_SLIP);
    EXPECT_EQ(p.count, 3.5f);
    EXPECT_EQ(p.dig, 0.25f);
    EXPECT_EQ(p.slip_threshold, 2.0f);
    EXPECT_EQ(p.slow_angle, 1.0f);
    EXPECT_EQ(p.fast_angle, 0.5f);
    EXPECT_EQ(p.slow_speed, 4.0f);
    EXPECT_EQ(p.fast_speed, 40.0f);
    EXPECT_EQ(p.size, 0.5f);
    EXPECT_EQ(p.grow, 2.0f);
    EXPECT_EQ(p.drag, 0.75f);
    EXPECT_EQ(p.vscale, 2.0f);
    EXPECT_EQ(p.randomize, 5.0f);
    EXPECT_EQ(p.r, 10);
    EXPECT_EQ(p.g, 20);
    EXPECT_EQ(p.b, 30);
    EXPECT_EQ(p.a, 40);
    EXPECT_EQ(p.fade_r, 2); // 256 per second x 1/128
    EXPECT_EQ(p.fade_g, -3);
    EXPECT_EQ(p.fade_b, 0); // 0.5 per step truncates
    EXPECT_EQ(p.fade_a, 1);

    EXPECT_EQ(s.roost[2].kind, ROOST_SPLASH);
    EXPECT_EQ(s.roost[2].count, 7.0f); // the later parameter wins
    EXPECT_EQ(s.roost[3].kind, ROOST_SLIP);
    EXPECT_EQ(log_count("tileinfo warning: too many roost types"), 1);
}

TEST_F(SurfaceTest, EveryBadRoostValueWarnsAndStoresZero) {
    const char* keys[] = {
        "count", "dig",  "slip_threshold", "slow_angle", "fast_angle", "slow_speed", "fast_speed",
        "size",  "grow", "drag",           "vscale",     "randomize",  "r",          "g",
        "b",     "a",    "fade_r",         "fade_g",     "fade_b",     "fade_a"};
    std::string text;
    for (const char* k : keys) text += std::string("roost ") + k + "=abc\naddtile\n";
    text += "roost splash=zz texture=@nothing-here.png\naddtile\n";
    read_tileinfo(text);
    ASSERT_EQ(t.surfaces.size(), 21u);
    for (const char* k : keys)
        EXPECT_EQ(log_count(std::string("tileinfo warning: bad ") + k), 1) << k;
    EXPECT_EQ(t.surfaces[0].roost[0].count, 0.0f);
    EXPECT_EQ(t.surfaces[12].roost[0].r, 0);
    EXPECT_EQ(t.surfaces[19].roost[0].fade_a, 0);
    EXPECT_EQ(t.surfaces[20].roost[0].kind, ROOST_SLIP);
    EXPECT_EQ(t.surfaces[20].roost[0].texture, 0u);
    // Only the twenty bad values were reported: splash= and texture= never are.
    int warnings = 0;
    for (const std::string& l : log_lines()) warnings += l.rfind("tileinfo warning:", 0) == 0;
    EXPECT_EQ(warnings, 20);
}

TEST_F(SurfaceTest, RoostSplittingQuotesAndUnknownParameters) {
    read_tileinfo("roost  count=\"2 5\"\fsize=\"3\"\x08grow=1 colour=red "
                  "averyveryverylongparametername_that_goes_on=and_on_and_on\naddtile\n");
    const RoostType& r = t.surfaces.at(0).roost[0];
    // The quoted part keeps its blank: "2 5" converts as 2.
    EXPECT_EQ(r.count, 2.0f);
    EXPECT_EQ(r.size, 3.0f);
    EXPECT_EQ(r.grow, 1.0f);
    EXPECT_TRUE(log_has("tileinfo warning: unknown roost parameter 'colour=red'"));
    EXPECT_TRUE(log_has("tileinfo warning: unknown roost parameter "
                        "'averyveryverylongparametername_that_goes'"));
}

TEST_F(SurfaceTest, LineSyntaxUnknownKeywordsAndTrailingAttributes) {
    read_tileinfo("\r\n   \t\n  texture   grass-alt1.png\r\n"
                  "frobnicate 1 2\n"
                  "Texture x.png\n"
                  "addtile\n"
                  "texture @tex/dirt.png\n"
                  "addtile\n"
                  "friction 0.2 3\n");
    ASSERT_EQ(t.surfaces.size(), 2u);
    EXPECT_EQ(t.surfaces[0].texture_name, "grass-alt1.png");
    EXPECT_EQ(t.surfaces[1].texture_name, "dirt.png");
    EXPECT_TRUE(log_has("tileinfo warning: Unknown identifier 'frobnicate'"));
    EXPECT_TRUE(log_has("tileinfo warning: Unknown identifier 'Texture'"));
}

TEST_F(SurfaceTest, NoAddtileGivesNoTypesAndReadingStopsAt256) {
    read_tileinfo("texture a.png\nfriction 1 2\n");
    EXPECT_EQ(t.surfaces.size(), 0u);
    std::string text;
    for (int k = 0; k < 300; k++) text += "addtile\n";
    text += "bogus\n";
    read_tileinfo(text);
    EXPECT_EQ(t.surfaces.size(), 256u);
    EXPECT_FALSE(log_has("tileinfo warning: Unknown identifier 'bogus'"));
}

TEST_F(SurfaceTest, TexturelistLines) {
    read_texturelist("0.8 4 12 dirt.png\n"
                     "  grass.png\r\n"
                     "1.5 2 sand one.png\n"
                     "last.png");
    ASSERT_EQ(t.surfaces.size(), 4u);
    const SurfaceType& a = t.surfaces[0];
    EXPECT_EQ(a.texture_name, "dirt.png");
    EXPECT_EQ(a.friction[0].coefficient, 0.8f);
    EXPECT_EQ(a.friction[0].speed, 1.0f);
    EXPECT_EQ(a.friction[1].speed, 0.0f);
    EXPECT_EQ(a.roll_resist[0].force_loose, 4.0f);
    EXPECT_EQ(a.roll_resist[0].force_sunk, 12.0f);
    EXPECT_EQ(a.roll_resist[0].speed, 1.0f);
    EXPECT_EQ(a.roost[0].kind, ROOST_SLIP);
    EXPECT_EQ(a.roost[0].count, 10.0f);
    EXPECT_EQ(a.roost[1].kind, ROOST_UNUSED);
    EXPECT_EQ(surface_friction(&a, 400), 0.8f);
    const SurfaceType& b = t.surfaces[1];
    EXPECT_EQ(b.texture_name, "grass.png");
    EXPECT_EQ(b.friction[0].coefficient, 1.0f);
    EXPECT_EQ(b.roll_resist[0].force_loose, 5.0f);
    EXPECT_EQ(b.roll_resist[0].force_sunk, 15.0f);
    // Fewer than three numbers: the whole line is the name.
    EXPECT_EQ(t.surfaces[2].texture_name, "1.5 2 sand one.png");
    EXPECT_EQ(t.surfaces[2].friction[0].coefficient, 1.0f);
    EXPECT_EQ(t.surfaces[3].texture_name, "last.png");
}

TEST_F(SurfaceTest, TexturelistStopsAt256Lines) {
    std::string text;
    for (int k = 0; k < 260; k++) text += "t" + std::to_string(k) + ".png\n";
    read_texturelist(text);
    ASSERT_EQ(t.surfaces.size(), 256u);
    EXPECT_EQ(t.surfaces[255].texture_name, "t255.png");
}

TEST_F(SurfaceTest, RoostConeNarrowsWithWheelSpeed) {
    RoostType r;
    r.slow_speed = 10, r.fast_speed = 30, r.slow_angle = 1.0f, r.fast_angle = 0.2f;
    EXPECT_FLOAT_EQ(roost_cone_angle(&r, 5, 3, 1), 1.0f);
    float t20 = (400.0f - 100) / (900 - 100);
    EXPECT_FLOAT_EQ(roost_cone_angle(&r, 20, 3, 1), 1.0f + t20 * (0.2f - 1.0f));
    EXPECT_FLOAT_EQ(roost_cone_angle(&r, 100, 3, 1), 0.2f);
    EXPECT_FLOAT_EQ(roost_cone_angle(&r, 5, 0.1f, 1), 0.1f); // the wheel asks for less
    EXPECT_FLOAT_EQ(roost_cone_angle(&r, 20, 3, 0), 0.049087387f);
}

TEST_F(SurfaceTest, TextureBaseNames) {
    EXPECT_EQ(surface_texture_base_name("@dirt.png"), "dirt.png");
    EXPECT_EQ(surface_texture_base_name("tracks/x/@dirt.png"), "@dirt.png");
    EXPECT_EQ(surface_texture_base_name("@tracks/x/grass-alt2.png"), "grass-alt2.png");
    EXPECT_EQ(surface_texture_base_name(""), "");
}

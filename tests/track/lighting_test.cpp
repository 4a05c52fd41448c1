#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "core/settings.h"
#include "data/texture.h"
#include "platform/messages.h"
#include "platform/log.h"
#include "support/test_env.h"
#include "track/lighting.h"
#include "track/track.h"

namespace {

const std::string PIXEL = std::string("P6\n1 1\n255\n") + std::string("\x80\x80\xff", 3);
const char* const SKY_FILES[SKY_TEXTURES] = {"sky-n.ppm", "sky-e.ppm", "sky-s.ppm",
                                             "sky-w.ppm", "sky-u.ppm", "sky-env.ppm"};

class LightingFile : public ::testing::Test {
  protected:
    void SetUp() override {
        g_settings = Settings{};
        g_settings.headless = 1;
        log_setup(("DRUV_LOGFILE=" + test_dir() + "/test-log.txt").c_str());
        texture_reset();
        lighting_reset(&g_lighting);
        for (const char* f : SKY_FILES) put(f, PIXEL);
    }
    void TearDown() override {
        lighting_reset(&g_lighting);
        texture_reset();
    }
    void put(const std::string& name, const std::string& bytes) {
        write_file(test_game_dir() + "/" + name, bytes);
    }
    void read(const std::string& bytes) {
        put("t/lighting", bytes);
        EXPECT_EQ(lighting_read("@t/lighting"), 1);
    }
    static std::string sky_name(int side) {
        const char* n = texture_file_name(g_lighting.sky[side]);
        return n ? n : "";
    }
    static void expect3(const float* v, float a, float b, float c) {
        EXPECT_FLOAT_EQ(v[0], a);
        EXPECT_FLOAT_EQ(v[1], b);
        EXPECT_FLOAT_EQ(v[2], c);
    }
};

TEST_F(LightingFile, MissingFileLeavesTheDefaultsWithoutSky) {
    g_lighting.fog_density = 3;
    g_lighting.flares.resize(2);
    EXPECT_EQ(lighting_read("@t/lighting"), 1);
    expect3(g_lighting.sun_vector, 1, 1, 1); // not normalised: reading stopped first
    expect3(g_lighting.sun_color, 1, 1, 1);
    expect3(g_lighting.ambient, 0.5f, 0.5f, 0.5f);
    expect3(g_lighting.global_ambient, 0.2f, 0.2f, 0.2f);
    EXPECT_EQ(g_lighting.fog_density, 0);
    EXPECT_TRUE(g_lighting.flares.empty());
    for (int i = 0; i < SKY_TEXTURES; i++) EXPECT_EQ(g_lighting.sky[i], 0u);
}

TEST_F(LightingFile, EveryKeywordSetsItsValue) {
    put("mysky-n.ppm", PIXEL);
    put("myenv.ppm", PIXEL);
    read("sun_vector [ 0 2 0 ]\n"
         "sun_color [ 1 0.9 0.8 ]\n"
         "\t ambient [ 0.3 0.4 0.5 ]\n"
         "\n"
         "   \n"
         "global_ambient\t[ 0.1 0.2 0.3 ]\n"
         "sky_n @mysky-n.ppm\n"
         "sky_env \t @myenv.ppm\n"
         "fog [ 0.5 0.6 0.7 ] 0.002\n");
    expect3(g_lighting.sun_vector, 0, 1, 0);
    expect3(g_lighting.sun_color, 1, 0.9f, 0.8f);
    expect3(g_lighting.ambient, 0.3f, 0.4f, 0.5f);
    expect3(g_lighting.global_ambient, 0.1f, 0.2f, 0.3f);
    expect3(g_lighting.fog_color, 0.5f, 0.6f, 0.7f);
    EXPECT_FLOAT_EQ(g_lighting.fog_density, 0.002f);
    EXPECT_EQ(sky_name(SKY_NORTH), "@mysky-n.ppm");
    EXPECT_EQ(sky_name(SKY_ENV), "@myenv.ppm");
    // The sides not named get their defaults.
    EXPECT_EQ(sky_name(SKY_EAST), "@sky-e.ppm");
    EXPECT_EQ(sky_name(SKY_SOUTH), "@sky-s.ppm");
    EXPECT_EQ(sky_name(SKY_WEST), "@sky-w.ppm");
    EXPECT_EQ(sky_name(SKY_UP), "@sky-u.ppm");
    EXPECT_EQ(g_messages.visible, 0);
}

TEST_F(LightingFile, SunVectorIsNormalised) {
    read("sun_vector [ 3 0 4 ]\n");
    expect3(g_lighting.sun_vector, 0.6f, 0, 0.8f);
    read("sun_color [ 2 2 2 ]\n"); // a fresh read starts from the defaults again
    float d = (float)(1 / std::sqrt(3.0));
    expect3(g_lighting.sun_vector, d, d, d);
    expect3(g_lighting.sun_color, 2, 2, 2);
    // A zero vector has no direction: the default direction is kept.
    read("sun_vector [ 0 0 0 ]\n");
    expect3(g_lighting.sun_vector, d, d, d);
}

TEST_F(LightingFile, UnknownKeywordStopsButKeepsEarlierLinesAndDefaultSky) {
    read("ambient [ 0.1 0.1 0.1 ]\n"
         "sun_color [ 0.5 0.5 0.5 ]\n"
         "bogus 1 2 3\n"
         "global_ambient [ 0.9 0.9 0.9 ]\n");
    expect3(g_lighting.ambient, 0.1f, 0.1f, 0.1f);
    expect3(g_lighting.sun_color, 0.5f, 0.5f, 0.5f);
    expect3(g_lighting.global_ambient, 0.2f, 0.2f, 0.2f);
    for (int i = 0; i < SKY_TEXTURES; i++) EXPECT_EQ(sky_name(i), std::string("@") + SKY_FILES[i]);
    ASSERT_EQ(g_messages.visible, 1);
    EXPECT_STREQ(messages_visible(0), "Error reading lighting: Unknown identifier 'bogus'\n");
    EXPECT_NE(read_file(test_dir() + "/test-log.txt")
                  .find("Error reading lighting: Unknown identifier 'bogus'\n"),
              std::string::npos);
    // Keywords match exactly.
    read("Ambient [ 0.1 0.1 0.1 ]\n");
    expect3(g_lighting.ambient, 0.5f, 0.5f, 0.5f);
    read("sky_nx @a.ppm\n");
    EXPECT_EQ(g_messages.visible, 3);
}

TEST_F(LightingFile, FlaresCollectElementsUntilTheirPointOrVector) {
    put("f1.ppm", PIXEL);
    read("flare_element [ 0.1 0.2 ] [ 0.3 0.4 0.5 ] 2 @f1.ppm\n"
         "flare_element [ 0.6 0.7 ]\n"
         "flare_point [ 10 20 30 ]\n"
         "flare_vector [ 0 1 0 ]\n"
         "flare_element [ 1 1 ] [ 1 1 1 ] 1 @f1.ppm\n");
    ASSERT_EQ(g_lighting.flares.size(), 2u);
    const Flare& a = g_lighting.flares[0];
    EXPECT_EQ(a.kind, FLARE_POINT);
    expect3(a.position, 10, 20, 30);
    ASSERT_EQ(a.element_count, 2);
    EXPECT_FLOAT_EQ(a.placement[0][0], 0.1f);
    EXPECT_FLOAT_EQ(a.placement[0][1], 0.2f);
    expect3(a.color[0], 0.3f, 0.4f, 0.5f);
    EXPECT_FLOAT_EQ(a.size[0], 2);
    EXPECT_EQ(a.texture[0], texture_load("@f1.ppm"));
    EXPECT_FLOAT_EQ(a.placement[1][0], 0.6f);
    // The second element gave only its placement: the rest keeps the defaults.
    expect3(a.color[1], 1, 1, 1);
    EXPECT_FLOAT_EQ(a.size[1], 1);
    EXPECT_EQ(a.texture[1], 0u);
    EXPECT_EQ(a.reserved[0], 0);
    EXPECT_EQ(a.reserved_int, 0);
    // A flare with no elements; the trailing element belongs to no flare and is dropped.
    const Flare& b = g_lighting.flares[1];
    EXPECT_EQ(b.kind, FLARE_DIRECTION);
    EXPECT_EQ(b.element_count, 0);
    expect3(b.position, 0, 1, 0);
}

TEST_F(LightingFile, ANinthElementIsIgnored) {
    std::string text;
    for (int i = 0; i < 9; i++) text += "flare_element [ " + std::to_string(i) + " 0 ]\n";
    read(text + "flare_point [ 1 2 3 ]\n");
    ASSERT_EQ(g_lighting.flares.size(), 1u);
    EXPECT_EQ(g_lighting.flares[0].element_count, FLARE_ELEMENTS_MAX);
    EXPECT_FLOAT_EQ(g_lighting.flares[0].placement[7][0], 7);
}

TEST_F(LightingFile, FogNeedsAllFourNumbers) {
    read("fog [ 0.5 0.5 0.5 ]\n");
    EXPECT_EQ(g_lighting.fog_density, 0);
    expect3(g_lighting.fog_color, 0, 0, 0);
    read("fog [ 0.5 0.5 0.5 ] 0.01\r\n");
    EXPECT_FLOAT_EQ(g_lighting.fog_density, 0.01f);
}

TEST_F(LightingFile, GarbageAndOverlongLinesAreSurvived) {
    read("\x01\x02 sun_vector\n");
    EXPECT_EQ(g_messages.visible, 1);
    read("sun_vector [ 0 1\n");
    EXPECT_TRUE(std::isfinite(g_lighting.sun_vector[0]));
    std::string longline = "sky_n @" + std::string(3000, 'a') + "\n";
    read(longline);
    // The line is cut at 1023 characters; the rest reads as a line with an unknown keyword.
    EXPECT_EQ(g_messages.visible, 2);
}

} // namespace

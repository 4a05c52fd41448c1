#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "core/settings.h"
#include "data/datafile.h"
#include "data/image.h"
#include "data/png_writer.h"
#include "data/texture.h"
#include "platform/log.h"
#include "support/test_env.h"

namespace {

// Headless texture tests with their own log file.
class Textures : public ::testing::Test {
  protected:
    void SetUp() override {
        g_settings = Settings{};
        g_settings.headless = 1;
        texture_reset();
        log_setup("DRUV_LOGFILE=test.log");
    }
    void TearDown() override {
        texture_reset();
        g_settings = Settings{};
    }
    static std::string log_text() { return read_file("test.log"); }
    static int log_count(const std::string& text) {
        std::string log = log_text();
        int n = 0;
        for (size_t at = log.find(text); at != std::string::npos; at = log.find(text, at + 1)) n++;
        return n;
    }
};

// A raw PPM whose pixel (x, y) holds (x, y, 7) truncated to bytes.
std::string ppm(int w, int h) {
    std::string s = "P6 " + std::to_string(w) + " " + std::to_string(h) + " 255\n";
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) s += {(char)(uint8_t)x, (char)(uint8_t)y, 7};
    return s;
}

// A "J7" image of one colour (residuals: the colour at the first pixel, zero elsewhere).
std::string j7(int w, int h, int r, int g, int b, int a) {
    std::string s = "J7 " + std::to_string(w) + " " + std::to_string(h) + "\n";
    for (int i = 0; i < w * h; i++) {
        if (i == 0)
            s += {(char)r, (char)g, (char)b, (char)a};
        else
            s += std::string(4, '\0');
    }
    return s;
}

long long chain_bytes(int w, int h, int ch) {
    return (long long)image_chain_pixels(w, h) * ch;
}

} // namespace

TEST_F(Textures, LoadsOnceAndCountsMemory) {
    write_file("a.ppm", ppm(4, 4));
    unsigned t = texture_load("a.ppm");
    EXPECT_NE(t, 0u);
    EXPECT_EQ(g_textures.memory, (16 + 4 + 1) * 3);
    EXPECT_EQ(texture_load("a.ppm"), t);
    EXPECT_EQ(g_textures.cache.size(), 1u);
    EXPECT_EQ(g_textures.memory, (16 + 4 + 1) * 3); // a hit in the same generation adds nothing
    EXPECT_STREQ(texture_file_name(t), "a.ppm");
    EXPECT_EQ(texture_file_name(t + 100), nullptr);
    EXPECT_EQ(g_textures.cache[0].bytes, 63);
    EXPECT_EQ(g_textures.cache[0].stamp, 0);
    // Every format the loader dispatches on gets its own stable name.
    write_file("b.j7", j7(2, 2, 1, 2, 3, 4));
    TestPng p;
    p.width = p.height = 2;
    p.data.assign(12, 5);
    ASSERT_TRUE(test_png_write("c.png", p));
    unsigned b = texture_load("b.j7"), c = texture_load("c.png");
    EXPECT_NE(b, 0u);
    EXPECT_NE(c, 0u);
    EXPECT_NE(b, t);
    EXPECT_NE(c, b);
}

TEST_F(Textures, CaseMismatchIsAHitWithAWarning) {
    write_file("Tree.ppm", ppm(2, 2));
    unsigned t = texture_load("Tree.ppm");
    ASSERT_NE(t, 0u);
    EXPECT_EQ(texture_load("tREE.PPM"), t);
    EXPECT_EQ(g_textures.cache.size(), 1u);
    EXPECT_EQ(log_count("Warning: case mismatch on 'tREE.PPM'"), 1);
    EXPECT_EQ(texture_load("Tree.ppm"), t);
    EXPECT_EQ(log_count("case mismatch"), 1);
    // The "!" is not part of the name: the same cache entry.
    EXPECT_EQ(texture_load("!Tree.ppm"), t);
}

TEST_F(Textures, MissingAndUndecodableFiles) {
    EXPECT_EQ(texture_load("nothere.ppm"), 0u);
    EXPECT_EQ(log_count("Can't open texture"), 0);
    g_settings.debug_level = 1;
    EXPECT_EQ(texture_load("nothere.ppm"), 0u);
    EXPECT_EQ(log_count("Can't open texture \"nothere.ppm\""), 1);
    write_file("junk.ppm", "hello world");
    EXPECT_EQ(texture_load("junk.ppm"), 0u);
    write_file("short.ppm", "P6 8 8 255\nabc");
    EXPECT_EQ(texture_load("short.ppm"), 0u);
    EXPECT_TRUE(g_textures.cache.empty());
}

TEST_F(Textures, GenerationsRestampAndPurge) {
    write_file("menu.ppm", ppm(2, 2));
    write_file("old.ppm", ppm(4, 4));
    write_file("kept.ppm", ppm(8, 8));
    unsigned menu = texture_load("menu.ppm");
    texture_new_generation(); // first track
    EXPECT_EQ(g_textures.memory, 0);
    unsigned old = texture_load("old.ppm");
    unsigned kept = texture_load("kept.ppm");
    EXPECT_EQ(g_textures.memory, chain_bytes(4, 4, 3) + chain_bytes(8, 8, 3));
    texture_new_generation(); // second track uses kept and menu only
    EXPECT_EQ(g_textures.memory, 0);
    EXPECT_EQ(texture_load("kept.ppm"), kept);
    EXPECT_EQ(g_textures.memory, chain_bytes(8, 8, 3)); // re-stamped: its bytes count again
    EXPECT_EQ(texture_load("menu.ppm"), menu);
    EXPECT_EQ(g_textures.memory, chain_bytes(8, 8, 3)); // stamp 0 never counts again
    g_settings.debug_level = 1;
    texture_purge();
    ASSERT_EQ(g_textures.cache.size(), 2u);
    EXPECT_EQ(texture_file_name(old), nullptr);
    EXPECT_STREQ(texture_file_name(menu), "menu.ppm");
    EXPECT_STREQ(texture_file_name(kept), "kept.ppm");
    EXPECT_EQ(g_textures.cache[0].stamp, 0);
    EXPECT_EQ(g_textures.cache[1].stamp, 2);
    EXPECT_EQ(log_count("deleting tid " + std::to_string(old) + " (old.ppm)"), 1);
    // Loading it again makes a new texture with a new name.
    unsigned again = texture_load("old.ppm");
    EXPECT_NE(again, 0u);
    EXPECT_NE(again, old);
}

TEST_F(Textures, DetailReductionDropsLevelsAboveOneHundredTwentyEight) {
    struct Case {
        int w, h, detail, ew, eh;
    } cases[] = {
        {512, 512, 2, 128, 128},                          // two levels dropped
        {256, 128, 2, 128, 64},                           // one: 128 is not above 128
        {256, 256, 0, 256, 256},                          // no reduction asked
        {1024, 256, 5, 128, 32},                          // stops when neither side is above 128
        {256, 64, 1, 128, 32},   {128, 128, 3, 128, 128}, // not larger than 128 x 128: kept
        {64, 64, 10, 64, 64},
    };
    for (const Case& c : cases) {
        Image img;
        img.width = c.w;
        img.height = c.h;
        img.channels = 3;
        img.pixels.assign((size_t)c.w * c.h * 3, 9);
        long long before = g_textures.memory;
        EXPECT_NE(texture_create_any(&img, 0, 0, c.detail), 0u);
        EXPECT_EQ(g_textures.memory - before, chain_bytes(c.ew, c.eh, 3)) << c.w << "x" << c.h;
    }
}

TEST_F(Textures, DetailLevelFromSettingsAndTheBangPrefix) {
    write_file("big.ppm", ppm(512, 512));
    write_file("hud.ppm", ppm(512, 512));
    g_settings.model_texture_level = 2;
    texture_load("big.ppm");
    EXPECT_EQ(g_textures.cache.back().bytes, chain_bytes(128, 128, 3));
    texture_load("!hud.ppm");
    EXPECT_EQ(g_textures.cache.back().bytes, chain_bytes(512, 512, 3));
    EXPECT_EQ(g_textures.cache.back().name, "hud.ppm");
}

TEST_F(Textures, NonPowerOfTwoIsResampledWithAWarning) {
    write_file("odd.ppm", ppm(300, 200));
    g_settings.model_texture_level = 0;
    unsigned t = texture_load("odd.ppm");
    EXPECT_NE(t, 0u);
    EXPECT_EQ(g_textures.cache.back().bytes, chain_bytes(512, 256, 3));
    EXPECT_EQ(log_count("Warning: Non power of 2 texture 'odd.ppm'"), 1);
    write_file("even.ppm", ppm(64, 32));
    texture_load("even.ppm");
    EXPECT_EQ(log_count("Non power of 2"), 1);
}

TEST_F(Textures, NearestNeighbourResampling) {
    Image in;
    in.width = 300;
    in.height = 200;
    in.channels = 3;
    for (int y = 0; y < 200; y++)
        for (int x = 0; x < 300; x++)
            in.pixels.insert(in.pixels.end(), {(uint8_t)(x & 255), (uint8_t)(x >> 8), (uint8_t)y});
    Image out;
    ASSERT_EQ(texture_resample_pow2(&in, &out), 1);
    EXPECT_EQ(out.width, 512);
    EXPECT_EQ(out.height, 256);
    ASSERT_EQ(out.pixels.size(), 512u * 256 * 3);
    for (int y : {0, 1, 2, 128, 255})
        for (int x : {0, 1, 2, 300, 511}) {
            int sx = x * 300 / 512, sy = y * 200 / 256;
            const uint8_t* p = &out.pixels[((size_t)y * 512 + x) * 3];
            EXPECT_EQ(p[0] + 256 * p[1], sx) << x << "," << y;
            EXPECT_EQ(p[2], sy) << x << "," << y;
        }
    Image pow2;
    pow2.width = 64;
    pow2.height = 1;
    pow2.channels = 1;
    pow2.pixels.assign(64, 0);
    EXPECT_EQ(texture_resample_pow2(&pow2, &out), 0);
}

TEST_F(Textures, BorderColourFromTheCommonestEdgeBin) {
    Image img;
    img.width = 4;
    img.height = 4;
    img.channels = 3;
    img.pixels.assign(4 * 4 * 3, 0);
    // Edge pixels: all (200, 100, 255) except two; the centre does not count.
    for (int y = 0; y < 4; y++)
        for (int x = 0; x < 4; x++) {
            uint8_t* p = &img.pixels[(y * 4 + x) * 3];
            p[0] = 200;
            p[1] = 100;
            p[2] = 255;
        }
    img.pixels[(1 * 4 + 1) * 3] = 0;
    img.pixels[(1 * 4 + 2) * 3] = 0;
    img.pixels[(2 * 4 + 1) * 3] = 0;
    img.pixels[(2 * 4 + 2) * 3] = 0;
    img.pixels[0] = 0;
    img.pixels[3] = 0;
    float c[4];
    texture_border_colour(&img, c);
    EXPECT_FLOAT_EQ(c[0], (200 * 7 / 255) / 7.0f);
    EXPECT_FLOAT_EQ(c[1], (100 * 7 / 255) / 7.0f);
    EXPECT_FLOAT_EQ(c[2], 1.0f);
    EXPECT_FLOAT_EQ(c[3], 0.0f);
}

TEST_F(Textures, AnimationLoadsStepsAndPauses) {
    std::string f = "ANIM1\n4 2 10 1\n0 1 1 0\n";
    f += j7(2, 2, 10, 0, 0, 255);
    f += j7(2, 2, 20, 0, 0, 255);
    write_file("flag.seq", f);
    unsigned t = texture_load("flag.seq");
    ASSERT_NE(t, 0u);
    ASSERT_EQ(g_textures.anims.size(), 1u);
    TextureAnim* a = g_textures.anims[0];
    EXPECT_EQ(a->gl_name, t);
    EXPECT_EQ(a->steps, 4);
    EXPECT_EQ(a->frames, 2);
    EXPECT_EQ(a->sequence, (std::vector<int>{0, 1, 1, 0}));
    ASSERT_EQ(a->frame.size(), 2u);
    EXPECT_EQ(a->frame[1].pixels.size(), (size_t)(4 + 1) * 4); // with its chain
    EXPECT_EQ(a->frame[1].pixels[0], 20);
    EXPECT_EQ(g_textures.cache.back().bytes, chain_bytes(2, 2, 4));
    // Looping: step = (t - start) / 10 modulo 4.
    EXPECT_EQ(texture_anim_step(a, 0), 0);
    EXPECT_EQ(texture_anim_step(a, 19), 1);
    EXPECT_EQ(texture_anim_step(a, 45), 0);
    EXPECT_EQ(texture_anim_step(a, 75), 3);
    texture_anim_update(15);
    EXPECT_EQ(a->current, 1);
    texture_anim_update(35);
    EXPECT_EQ(a->current, 0);
    texture_anim_start(t, 100);
    EXPECT_EQ(texture_anim_step(a, 50), 0); // before the start
    texture_anim_update(115);
    EXPECT_EQ(a->current, 1);
    EXPECT_EQ(texture_anim_pause(t), a);
    texture_anim_update(135);
    EXPECT_EQ(a->current, 1);
    EXPECT_EQ(texture_anim_pause(t + 1), nullptr);
    a->loop = 0;
    EXPECT_EQ(texture_anim_step(a, 100 + 1000), 3); // held at the last step
}

TEST_F(Textures, AnimationFrameMismatchesAreRejected) {
    struct Case {
        std::string body;
        const char* message;
    } cases[] = {
        {"ANIM1 1 2 5 0 0\n" + j7(4, 4, 1, 1, 1, 1) + j7(2, 2, 1, 1, 1, 1),
         "Width/height mismatch reading .seq"},
        {"ANIM1 1 2 5 0 0\n" + j7(2, 2, 1, 1, 1, 1) + "PNG rgb.png\n",
         "Depth mismatch reading .seq"},
        {"ANIM1 1 2 5 0 0\n" + j7(2, 2, 1, 1, 1, 1) + "PNG", "EOF while reading .seq"},
        {"ANIM1 1 2 5 0 0\n" + j7(2, 2, 1, 1, 1, 1) + "PNG   nothere.png  \n",
         "Can't read nothere.png"},
        {"ANIM1 1 2 5 0 0\n" + j7(2, 2, 1, 1, 1, 1) + "P6 2 2 255\n", "Error reading .seq frame 1"},
        {"ANIM1 1 2 5 0 0\nJ7 2 2\n\x01", "Error reading .seq frame 0"},
        {"ANIM1 2 1 5 0 0 1\n" + j7(2, 2, 1, 1, 1, 1), "Bad frame index 1 reading .seq"},
    };
    TestPng p;
    p.width = p.height = 2;
    p.data.assign(12, 5);
    ASSERT_TRUE(test_png_write("rgb.png", p));
    int n = 0;
    for (const Case& c : cases) {
        std::string name = "bad" + std::to_string(n++) + ".seq";
        write_file(name, c.body);
        EXPECT_EQ(texture_load(name.c_str()), 0u) << c.message;
        EXPECT_EQ(log_count(c.message), 1) << c.message;
    }
    EXPECT_TRUE(g_textures.anims.empty());
    EXPECT_TRUE(g_textures.cache.empty());
    // Steps or frames of 0 are refused too.
    write_file("zero.seq", "ANIM1 0 1 5 0\n" + j7(2, 2, 1, 1, 1, 1));
    EXPECT_EQ(texture_load("zero.seq"), 0u);
}

TEST_F(Textures, AnimationWithPngFramesAndItsPurge) {
    TestPng p;
    p.width = p.height = 2;
    p.colour = PNG_COLOR_TYPE_RGB_ALPHA;
    p.data.assign(16, 200);
    ASSERT_TRUE(test_png_write("f0.png", p));
    write_file("mixed.seq", "ANIM1 2 2 1 0 1 0\n" + j7(2, 2, 9, 9, 9, 9) + "PNG \tf0.png \r\n");
    texture_new_generation();
    unsigned t = texture_load("mixed.seq");
    ASSERT_NE(t, 0u);
    ASSERT_EQ(g_textures.anims.size(), 1u);
    EXPECT_EQ(g_textures.anims[0]->current, 1); // created from the frame of step 0
    EXPECT_EQ(g_textures.anims[0]->frame[1].pixels[0], 200);
    EXPECT_EQ(g_textures.anims[0]->frame[0].pixels[0], 9);
    texture_new_generation();
    g_settings.debug_level = 1;
    texture_purge();
    EXPECT_TRUE(g_textures.cache.empty());
    EXPECT_TRUE(g_textures.anims.empty());
    EXPECT_EQ(log_count("deleting anim 0 for tid " + std::to_string(t)), 1);
}

TEST_F(Textures, VariantListsFromTheDataNames) {
    std::string game = test_game_dir() + "/";
    for (const char* n : {"rider_body-red.png", "rider_body-blue.png", "rider_body-blue_norm.png",
                          "rider_body-blue_spec.png", "bikes/rider_body-green.png",
                          "rider_body-x.ppm", "other.png", "xrider_body-y.png", "rider_body-.png"})
        write_file(game + n, "x");
    data_reset();
    std::vector<const char*> values, labels;
    texture_variants("rider_body-", &values, &labels);
    ASSERT_EQ(values.size(), 5u);
    ASSERT_EQ(labels.size(), 5u);
    EXPECT_EQ(values[0], nullptr);
    EXPECT_STREQ(labels[0], "default");
    EXPECT_STREQ(values[1], "@bikes/rider_body-green.png");
    EXPECT_STREQ(labels[1], "green");
    EXPECT_STREQ(values[2], "@rider_body-.png");
    EXPECT_STREQ(labels[2], "");
    EXPECT_STREQ(values[3], "@rider_body-blue.png");
    EXPECT_STREQ(labels[3], "blue");
    EXPECT_STREQ(values[4], "@rider_body-red.png");
    EXPECT_STREQ(labels[4], "red");
    // Interned: a second build hands out the same pointers.
    std::vector<const char*> v2, l2;
    texture_variants("rider_body-", &v2, &l2);
    EXPECT_EQ(v2[3], values[3]);
    EXPECT_EQ(l2[0], labels[0]);
}

TEST_F(Textures, DataNamesLoadFromTheSearchPath) {
    write_file(test_game_dir() + "/tex/sky.ppm", ppm(2, 2));
    data_reset();
    unsigned t = texture_load("@tex/sky.ppm");
    EXPECT_NE(t, 0u);
    EXPECT_STREQ(texture_file_name(t), "@tex/sky.ppm");
}

#include <gtest/gtest.h>

#include <GL/gl.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "app/app.h"
#include "core/settings.h"
#include "data/image.h"
#include "platform/window.h"
#include "render/ground.h"
#include "track/lighting.h"
#include "track/terrain.h"

namespace {

Terrain make_flat(int shift, float spacing, float height = 0) {
    Terrain t;
    t.shift = shift;
    t.tiles = 1 << shift;
    t.samples = 2 * t.tiles + 1;
    t.spacing = spacing;
    t.tile_size = 2 * spacing;
    t.extent = 2 * t.tiles * spacing;
    size_t n = (size_t)t.samples * t.samples;
    t.heights.assign(n, height);
    t.shading.assign(n * 3, 0);
    t.shadows.assign(n, 0);
    t.tilemap.assign((size_t)t.tiles * t.tiles, 0);
    terrain_lowdetail_alloc(&t);
    return t;
}

void set3(float* v, float a, float b, float c) {
    v[0] = a, v[1] = b, v[2] = c;
}

// (colour x light + ambient) x 0.5 as a byte, truncated and clamped.
int byte_of(float colour, float light, float ambient) {
    float v = (colour * light + ambient) * 0.5f * 255.0f;
    return v <= 0 ? 0 : (v >= 255 ? 255 : (int)v);
}

class GroundShadeTest : public ::testing::Test {
  protected:
    void SetUp() override {
        lighting_reset(&g_lighting);
        ground_reset();
    }
};

} // namespace

TEST_F(GroundShadeTest, FlatFieldIsSunColourTimesSunHeightPlusAmbientHalved) {
    Terrain t = make_flat(2, 3.0f, 12.0f);
    float sun[3] = {0.48f, 0.6f, 0.64f}; // unit length
    set3(g_lighting.sun_vector, sun[0], sun[1], sun[2]);
    set3(g_lighting.sun_color, 1.0f, 0.8f, 0.6f);
    set3(g_lighting.ambient, 0.2f, 0.3f, 0.4f);
    uint8_t rgb[3];
    for (int j = -1; j <= 9; j += 2)
        for (int i = -1; i <= 9; i += 3) {
            terrain_sample_shade(&t, i, j, rgb);
            EXPECT_EQ(rgb[0], byte_of(1.0f, 0.6f, 0.2f));
            EXPECT_EQ(rgb[1], byte_of(0.8f, 0.6f, 0.3f));
            EXPECT_EQ(rgb[2], byte_of(0.6f, 0.6f, 0.4f));
        }
    EXPECT_EQ(rgb[0], 102); // (0.6 + 0.2) x 0.5 x 255 = 102
}

TEST_F(GroundShadeTest, DefaultLightingSaturates) {
    // Without a lighting file the sun vector stays (1, 1, 1): n . sun = 1 on flat ground.
    Terrain t = make_flat(1, 1.0f);
    uint8_t rgb[3];
    terrain_sample_shade(&t, 2, 2, rgb);
    EXPECT_EQ(rgb[0], byte_of(1.0f, 1.0f, 0.5f)); // 191
    EXPECT_EQ(rgb[0], 191);
}

TEST_F(GroundShadeTest, ShadowsAndASunBelowTheHorizon) {
    Terrain t = make_flat(1, 1.0f);
    set3(g_lighting.sun_vector, 0, 1, 0);
    set3(g_lighting.ambient, 0.1f, 0.1f, 0.1f);
    t.shadows[2 + 5 * 2] = 255;
    t.shadows[1 + 5 * 2] = 51; // light 0.8
    uint8_t rgb[3];
    terrain_sample_shade(&t, 2, 2, rgb);
    EXPECT_EQ(rgb[0], byte_of(1.0f, 0.0f, 0.1f));
    terrain_sample_shade(&t, 1, 2, rgb);
    EXPECT_EQ(rgb[0], byte_of(1.0f, 0.8f, 0.1f));
    set3(g_lighting.sun_vector, 0, -1, 0);
    terrain_sample_shade(&t, 3, 3, rgb);
    EXPECT_EQ(rgb[0], byte_of(1.0f, 0.0f, 0.1f));
    // Bright light and ambient clamp at 255.
    set3(g_lighting.sun_vector, 0, 1, 0);
    set3(g_lighting.sun_color, 2, 2, 2);
    set3(g_lighting.ambient, 1, 1, 1);
    terrain_sample_shade(&t, 3, 3, rgb);
    EXPECT_EQ(rgb[0], 255);
}

TEST_F(GroundShadeTest, SlopedPlaneUsesItsNormal) {
    Terrain t = make_flat(3, 2.0f);
    int P = t.samples;
    // h = 0.75 x + 0.25 z (x = 2 i): the normal is (-0.75, 1, -0.25) normalised.
    for (int j = 0; j < P; j++)
        for (int i = 0; i < P; i++) t.heights[i + P * j] = 0.75f * 2 * i + 0.25f * 2 * j;
    set3(g_lighting.sun_vector, -0.6f, 0.8f, 0.0f);
    set3(g_lighting.sun_color, 1, 1, 1);
    set3(g_lighting.ambient, 0, 0, 0);
    float len = sqrtf(0.75f * 0.75f + 1 + 0.25f * 0.25f);
    float light = (0.6f * 0.75f + 0.8f) / len;
    uint8_t rgb[3];
    terrain_sample_shade(&t, 5, 7, rgb);
    EXPECT_NEAR(rgb[0], byte_of(1, light, 0), 1);
    EXPECT_EQ(rgb[0], rgb[2]);
}

TEST_F(GroundShadeTest, LowDetailCountAndSizes) {
    EXPECT_EQ(terrain_lowdetail_count(128), 1);
    EXPECT_EQ(terrain_lowdetail_count(256), 2);
    EXPECT_EQ(terrain_lowdetail_count(512), 3);
    EXPECT_EQ(terrain_lowdetail_count(1024), 5);
    EXPECT_EQ(terrain_lowdetail_count(2048), 10);
    EXPECT_EQ(terrain_lowdetail_count(4), 1); // the formula's 0 for tiny fields becomes 1
    Terrain t = make_flat(9, 1.0f);          // 2N = 1024
    EXPECT_EQ(t.lowdetail_count, 3);
    EXPECT_EQ(ground_lowdetail_size(&t, 0), 512);
    EXPECT_EQ(ground_lowdetail_size(&t, 448), 512); // 1024 - 448 + 64 = 640
    EXPECT_EQ(ground_lowdetail_size(&t, 896), 256); // 192
    Terrain s = make_flat(2, 1.0f);
    EXPECT_EQ(ground_lowdetail_size(&s, 0), 128); // 8 + 64 = 72
}

TEST_F(GroundShadeTest, MarkShadingSetsTheBitsOfTouchedBlocks) {
    Terrain t = make_flat(9, 1.0f); // W = 3
    terrain_mark_shading(&t, 10, 10, 20, 20);
    EXPECT_EQ(terrain_lowdetail_dirty(&t, 0), 1);
    for (int k = 1; k < 9; k++) EXPECT_EQ(terrain_lowdetail_dirty(&t, k), 0);
    terrain_mark_shading(&t, 447, 900, 448, 900); // columns 0 and 1 of row 2
    EXPECT_EQ(terrain_lowdetail_dirty(&t, 6), 1);
    EXPECT_EQ(terrain_lowdetail_dirty(&t, 7), 1);
    EXPECT_EQ(terrain_lowdetail_dirty(&t, 8), 0);
    terrain_mark_shading(&t, 5000, -70, 9000, -1); // clamped: column 2, row 0
    EXPECT_EQ(terrain_lowdetail_dirty(&t, 2), 1);
    EXPECT_EQ(terrain_lowdetail_dirty(&t, 5), 0);
}

TEST_F(GroundShadeTest, RelightStoresComputedShadingInsideTheField) {
    Terrain t = make_flat(9, 1.0f);
    set3(g_lighting.sun_vector, 0, 1, 0);
    std::fill(t.shading.begin(), t.shading.end(), 7);
    terrain_relight(&t, -5, 1000, 2, 2000); // samples 0..2 x 1000..1024
    int P = t.samples;
    int want = byte_of(1, 1, 0.5f);
    for (int j = 990; j < P; j++)
        for (int i = 0; i < 5; i++) {
            bool in = i <= 2 && j >= 1000;
            EXPECT_EQ(t.shading[3 * (i + (size_t)P * j)], in ? want : 7) << i << "," << j;
        }
    EXPECT_EQ(terrain_lowdetail_dirty(&t, 6), 1);
    EXPECT_EQ(terrain_lowdetail_dirty(&t, 7), 0);
    EXPECT_EQ(terrain_lowdetail_dirty(&t, 3), 0);
}

TEST_F(GroundShadeTest, LowDetailImageCoversItsBlockWithAMargin) {
    Terrain t = make_flat(9, 1.0f);
    int P = t.samples;
    for (int j = 0; j < P; j++)
        for (int i = 0; i < P; i++) {
            uint8_t* s = &t.shading[3 * (i + (size_t)P * j)];
            s[0] = (uint8_t)i, s[1] = (uint8_t)j, s[2] = (uint8_t)(i >> 8 | (j >> 8) << 4);
        }
    Image img;
    ground_lowdetail_image(&t, 5, &img); // column 2, row 1: bx = 896, bz = 448
    EXPECT_EQ(img.width, 256);
    EXPECT_EQ(img.height, 512);
    EXPECT_EQ(img.channels, 3);
    ASSERT_GE(img.pixels.size(), (size_t)256 * 512 * 3);
    auto check = [&](int k, int j) {
        int si = std::clamp(896 + k - 32, 0, 1024), sj = std::clamp(448 + j - 32, 0, 1024);
        const uint8_t* p = &img.pixels[3 * (k + (size_t)256 * j)];
        EXPECT_EQ(p[0], (uint8_t)si) << k << "," << j;
        EXPECT_EQ(p[1], (uint8_t)sj) << k << "," << j;
        EXPECT_EQ(p[2], (uint8_t)(si >> 8 | (sj >> 8) << 4)) << k << "," << j;
    };
    for (int j = 0; j < 512; j += 37)
        for (int k = 0; k < 256; k += 13) check(k, j);
    check(0, 0), check(255, 511), check(160, 0), check(161, 3), check(31, 32), check(32, 31);

    Image first;
    ground_lowdetail_image(&t, 0, &first); // the first texture starts 32 samples before 0
    EXPECT_EQ(first.pixels[0], 0);
    EXPECT_EQ(first.pixels[3 * 40], 8);
}

TEST_F(GroundShadeTest, NextWalksRoundRobinFromTheCursor) {
    Terrain t = make_flat(8, 1.0f); // W = 2: four textures
    EXPECT_EQ(ground_lowdetail_next(&t), -1);
    terrain_mark_shading(&t, 500, 0, 500, 0);     // index 1
    terrain_mark_shading(&t, 500, 500, 500, 500); // index 3
    EXPECT_EQ(ground_lowdetail_next(&t), 1);
    EXPECT_EQ(terrain_lowdetail_dirty(&t, 1), 0);
    terrain_mark_shading(&t, 0, 0, 0, 0); // index 0, behind the cursor
    EXPECT_EQ(ground_lowdetail_next(&t), 3);
    EXPECT_EQ(ground_lowdetail_next(&t), 0); // wrapped
    EXPECT_EQ(ground_lowdetail_next(&t), -1);
    // Without GL the upload does nothing and the bookkeeping frees cleanly.
    ground_lowdetail_upload(&t, 0);
    ground_lowdetail_free(&t);
    EXPECT_EQ(t.lowdetail_count, 0);
    EXPECT_EQ(ground_lowdetail_next(&t), -1);
}

// With a GL context (run under a display, e.g. xvfb-run) the low-detail textures are created
// at their sizes with full mipmap chains, and a rebuild uploads the current shading.
TEST_F(GroundShadeTest, LowDetailTexturesUploadWithGl) {
    if (!getenv("DISPLAY")) GTEST_SKIP() << "needs a display";
    g_settings = Settings();
    g_app.window = window_open_gl("ground", 320, 240, 16, 0, 16, 0, 0);
    if (!g_app.window) GTEST_SKIP() << "no GL window";
    Terrain t = make_flat(8, 1.0f); // W = 2
    for (size_t k = 0; k < t.shading.size(); k++) t.shading[k] = (uint8_t)(k * 7);
    ground_lowdetail_build(&t);
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
    for (unsigned n : t.lowdetail_textures) EXPECT_NE(n, 0u);
    auto read_back = [&](int index, std::vector<uint8_t>* px, GLint* w, GLint* h) {
        glBindTexture(GL_TEXTURE_2D, t.lowdetail_textures[index]);
        glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, w);
        glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, h);
        px->assign((size_t)*w * *h * 3, 0);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glGetTexImage(GL_TEXTURE_2D, 0, GL_RGB, GL_UNSIGNED_BYTE, px->data());
    };
    std::vector<uint8_t> px;
    GLint w = 0, h = 0, last = 0;
    read_back(3, &px, &w, &h);
    EXPECT_EQ(w, 128); // 512 - 448 + 64 = 128
    EXPECT_EQ(h, 128);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 7, GL_TEXTURE_WIDTH, &last);
    EXPECT_EQ(last, 1);
    Image img;
    ground_lowdetail_image(&t, 3, &img);
    EXPECT_TRUE(std::equal(px.begin(), px.end(), img.pixels.begin()));

    std::fill(t.shading.begin(), t.shading.end(), 9);
    terrain_mark_shading(&t, 500, 500, 500, 500);
    int k = ground_lowdetail_next(&t);
    EXPECT_EQ(k, 3);
    ground_lowdetail_upload(&t, k);
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
    read_back(3, &px, &w, &h);
    EXPECT_TRUE(std::all_of(px.begin(), px.end(), [](uint8_t c) { return c == 9; }));
    ground_lowdetail_free(&t);
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
    window_close(g_app.window);
    g_app.window = nullptr;
}

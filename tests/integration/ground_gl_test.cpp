// The ground renderer against a real GL context (Mesa's software renderer): window textures
// rendered from the surface textures and the shading, through the back buffer and through
// framebuffer objects, and the ground drawn with vertex arrays and in immediate mode. Without a
// display the test runs itself again under xvfb-run; without xvfb-run it is skipped.
#include <gtest/gtest.h>

#include <GL/gl.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

#include "app/app.h"
#include "core/settings.h"
#include "data/datafile.h"
#include "data/texture.h"
#include "platform/window.h"
#include "render/glstate.h"
#include "render/ground.h"
#include "support/test_env.h"
#include "track/lighting.h"
#include "track/terrain.h"

namespace {

bool run_under_xvfb(const char* test_name) {
    if (getenv("DISPLAY")) return false;
    if (run_command("command -v xvfb-run").status != 0) return true;
    char self[4096];
    ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0) return true;
    self[n] = 0;
    RunResult r = run_command(xvfb_run_a() + " -s '-screen 0 1024x768x24' '" + std::string(self) +
                              "' --gtest_filter=" + test_name);
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    return true;
}

// A window with a GL context as the game opens it, with the ground's GL features chosen.
struct GroundGl {
    bool open(int use_fbo) {
        g_settings = Settings{};
        g_app.window = window_open_gl("ground", 320, 240, 24, 0, 16, 0, 0);
        if (!g_app.window) return false;
        gl_set_window(g_app.window);
        terrain_set_hooks(ground_terrain_hooks());
        gl_init_extensions(0, use_fbo, 0);
        gl_init_state(0);
        return true;
    }
    ~GroundGl() {
        terrain_free(&g_terrain);
        terrain_set_hooks(nullptr);
        ground_reset();
        texture_reset();
        gl_set_window(nullptr);
        window_close(g_app.window);
        g_app.window = nullptr;
        g_gl = GlCaps{};
    }
};

bool load_rabbithill() {
    std::string dir = std::string(VORNIX_BUILD_DIR) + "/data";
    if (!file_exists(dir + "/rabbithill/terrain.hf")) return false;
    setenv("QZ_HOME", dir.c_str(), 1);
    data_reset();
    return terrain_load(&g_terrain, "@rabbithill") == 1;
}

std::vector<uint8_t> texture_pixels(unsigned name, int* w, int* h) {
    glBindTexture(GL_TEXTURE_2D, name);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, w);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, h);
    std::vector<uint8_t> out((size_t)*w * *h * 3);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGB, GL_UNSIGNED_BYTE, out.data());
    glBindTexture(GL_TEXTURE_2D, 0);
    return out;
}

void mean_rgb(const std::vector<uint8_t>& p, double out[3]) {
    out[0] = out[1] = out[2] = 0;
    size_t n = p.size() / 3;
    for (size_t k = 0; k < n; k++)
        for (int c = 0; c < 3; c++) out[c] += p[3 * k + c];
    for (int c = 0; c < 3; c++) out[c] /= (double)n;
}

double spread(const std::vector<uint8_t>& p) {
    double m[3];
    mean_rgb(p, m);
    double s = 0;
    for (size_t k = 0; k < p.size(); k++) s += std::fabs(p[k] - m[k % 3]);
    return s / (double)p.size();
}

// Draws every window and fixed texture for an eye over the track's middle.
void fill_windows(const float eye[3]) {
    const float down[3] = {0, -1, 0};
    ground_set_view(eye, down);
    for (int k = 0; k < 200; k++) ground_update_textures();
}

// The picture of the level-0 tile under the eye: the mean of the surface texture's middle
// seven eighths times twice the mean shading of the tile's samples.
void check_level0_picture(const float eye[3], std::vector<uint8_t>* picture) {
    const Terrain& t = g_terrain;
    const GroundWindow& w = g_ground.windows[0];
    int tx = (int)(eye[0] / t.tile_size), tz = (int)(eye[2] / t.tile_size);
    int c = tx - w.ox, r = tz - w.oz;
    ASSERT_TRUE(c >= 0 && c < 4 && r >= 0 && r < 4);
    ASSERT_TRUE(w.entry[r * 4 + c].valid);
    int pw = 0, ph = 0;
    *picture = texture_pixels(w.entry[r * 4 + c].texture, &pw, &ph);
    ASSERT_EQ(pw, g_settings.ground_texture_size);
    ASSERT_EQ(ph, g_settings.ground_texture_size);
    unsigned surface = t.surfaces[t.tilemap[tx + (size_t)t.tiles * tz]].texture;
    ASSERT_NE(surface, 0u);
    int sw = 0, sh = 0;
    std::vector<uint8_t> sp = texture_pixels(surface, &sw, &sh);
    double want[3] = {0, 0, 0};
    int n = 0;
    for (int y = sh / 16; y < sh - sh / 16; y++)
        for (int x = sw / 16; x < sw - sw / 16; x++, n++)
            for (int k = 0; k < 3; k++) want[k] += sp[3 * (x + (size_t)sw * y) + k];
    double shade[3] = {0, 0, 0};
    for (int j = 2 * tz; j <= 2 * tz + 2; j++)
        for (int i = 2 * tx; i <= 2 * tx + 2; i++)
            for (int k = 0; k < 3; k++) shade[k] += t.shading[3 * (i + (size_t)t.samples * j) + k];
    double got[3];
    mean_rgb(*picture, got);
    for (int k = 0; k < 3; k++) {
        // The shading is stored at half intensity; the blend doubles it, clamped at white.
        double expect = std::min(255.0, want[k] / n * 2.0 * (shade[k] / 9) / 255);
        EXPECT_NEAR(got[k], expect, 0.12 * expect + 4) << "channel " << k;
    }
}

// Sets a 4:3-rule projection of 90 degrees and a camera at eye looking along dir (level).
void set_camera(int w, int h, const float eye[3], float yaw) {
    glViewport(0, 0, w, h);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    double v = std::tan(M_PI / 4) * 0.75, u = v * w / h;
    glFrustum(-u / 4, u / 4, -v / 4, v / 4, 0.25, 5000);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glRotatef(12, 1, 0, 0); // look a little down
    glRotatef(-yaw * 180.0f / (float)M_PI, 0, 1, 0);
    glTranslatef(-eye[0], -eye[1], -eye[2]);
}

std::vector<uint8_t> draw_ground(const float eye[3], float yaw) {
    float dir[3] = {-std::sin(yaw), -0.2f, -std::cos(yaw)};
    glClearColor(0.2f, 0.6f, 0.8f, 0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LEQUAL);
    set_camera(g_app.window->width, g_app.window->height, eye, yaw);
    ground_draw(eye, dir);
    std::vector<uint8_t> rgb;
    gl_read_frame(g_app.window->width, g_app.window->height, &rgb);
    return rgb;
}

} // namespace

TEST(GroundGl, BackBufferTexturesAndBothDrawingPaths) {
    if (run_under_xvfb("GroundGl.BackBufferTexturesAndBothDrawingPaths")) return;
    GroundGl gl;
    if (!gl.open(0)) GTEST_SKIP() << "no GL window";
    g_settings.ground_texture_level = 0;
    if (!load_rabbithill()) GTEST_SKIP() << "no generated rabbithill";
    EXPECT_EQ(g_gl.framebuffer_objects, 0);
    float eye[3] = {1000, 0, 1010};
    eye[1] = terrain_height(&g_terrain, eye[0], eye[2]) + 6;
    fill_windows(eye);
    EXPECT_EQ(g_ground.workaround, 0);
    std::vector<uint8_t> picture;
    check_level0_picture(eye, &picture);
    EXPECT_GT(spread(picture), 2.0); // surface detail, not one flat colour

    // The fixed textures hold the whole field at the coarse scale, all different.
    int w = 0, h = 0;
    std::vector<uint8_t> f0 = texture_pixels(g_ground.fixed_textures[0], &w, &h);
    std::vector<uint8_t> f27 = texture_pixels(g_ground.fixed_textures[27], &w, &h);
    EXPECT_NE(f0, f27);

    std::vector<uint8_t> arrays = draw_ground(eye, 0.7f);
    EXPECT_GT(g_ground.polygons, 100);
    // Upper rows show the clear colour (sky), lower rows the textured ground.
    int W = g_app.window->width, H = g_app.window->height;
    std::vector<uint8_t> bottom(arrays.begin(), arrays.begin() + (size_t)W * (H / 3) * 3);
    EXPECT_GT(spread(bottom), 2.0);
    double sky[3];
    std::vector<uint8_t> top(arrays.end() - (size_t)W * 4 * 3, arrays.end());
    mean_rgb(top, sky);
    EXPECT_NEAR(sky[2], 0.8 * 255, 3);
    g_settings.novertexarrays = 1;
    std::vector<uint8_t> immediate = draw_ground(eye, 0.7f);
    g_settings.novertexarrays = 0;
    size_t differ = 0;
    for (size_t k = 0; k < arrays.size(); k++) differ += std::abs(arrays[k] - immediate[k]) > 2;
    EXPECT_LT(differ, arrays.size() / 1000) << "the two drawing paths give other triangles";

    // Without framebuffer objects the pictures are drawn in the 320 x 240 window: a larger
    // configured size is limited to 128 (the size in use, so nothing changes); another size
    // makes every picture anew.
    g_settings.ground_texture_size = 1024;
    ground_update_textures();
    EXPECT_EQ(g_ground.made_size, 128);
    EXPECT_EQ(g_ground.drawn_level, -1);
    g_settings.ground_texture_size = 64;
    ground_update_textures();
    EXPECT_EQ(g_ground.made_size, 64);
    int w64 = 0, h64 = 0;
    texture_pixels(g_ground.fixed_textures[0], &w64, &h64);
    EXPECT_EQ(w64, 64);
    EXPECT_EQ(g_ground.drawn_fixed, 64);
    EXPECT_EQ(g_ground.drawn_level, 5);
    EXPECT_EQ(g_ground.drawn_entry, 0);
}

TEST(GroundGl, FramebufferObjectsGiveTheSamePictures) {
    if (run_under_xvfb("GroundGl.FramebufferObjectsGiveTheSamePictures")) return;
    std::vector<uint8_t> back, fbo;
    float eye[3] = {640, 30, 1300};
    for (int use_fbo = 0; use_fbo < 2; use_fbo++) {
        GroundGl gl;
        if (!gl.open(use_fbo)) GTEST_SKIP() << "no GL window";
        if (use_fbo && !g_gl.framebuffer_objects) GTEST_SKIP() << "no GL_EXT_framebuffer_object";
        g_settings.ground_texture_level = 0;
        if (!load_rabbithill()) GTEST_SKIP() << "no generated rabbithill";
        fill_windows(eye);
        std::vector<uint8_t> picture;
        check_level0_picture(eye, &picture);
        int w = 0, h = 0;
        std::vector<uint8_t> fixed = texture_pixels(g_ground.fixed_textures[20], &w, &h);
        picture.insert(picture.end(), fixed.begin(), fixed.end());
        (use_fbo ? fbo : back) = picture;
    }
    ASSERT_EQ(back.size(), fbo.size());
    double diff = 0;
    for (size_t k = 0; k < back.size(); k++) diff += std::abs(back[k] - fbo[k]);
    EXPECT_LT(diff / (double)back.size(), 2.0);
}

// The ground textures' pictures (surfaces, decals and shading) drawn from vertex arrays are
// the pictures drawn corner by corner in immediate mode ("--novertexarrays"), texel for texel.
TEST(GroundGl, AreaPicturesAreTheSameFromVertexArraysAndImmediateMode) {
    if (run_under_xvfb("GroundGl.AreaPicturesAreTheSameFromVertexArraysAndImmediateMode")) return;
    std::vector<uint8_t> pictures[2];
    float eye[3] = {1000, 30, 1010};
    for (int immediate = 0; immediate < 2; immediate++) {
        GroundGl gl;
        if (!gl.open(1)) GTEST_SKIP() << "no GL window";
        g_settings.ground_texture_level = 0;
        g_settings.novertexarrays = immediate;
        if (!load_rabbithill()) GTEST_SKIP() << "no generated rabbithill";
        // Two decals of different textures under the eye, one turned, for the decal pass.
        ASSERT_GE(g_terrain.surfaces.size(), 2u);
        terrain_decal_add(&g_terrain, g_terrain.surfaces[0].texture, 1000, 1010, 0.4f, 30, 1.5f);
        terrain_decal_add(&g_terrain, g_terrain.surfaces[1].texture, 1020, 990, 0, 12, 1);
        fill_windows(eye);
        int w = 0, h = 0;
        for (int level = 0; level < GROUND_LEVELS; level++)
            for (const GroundWindowEntry& e : g_ground.windows[level].entry) {
                ASSERT_TRUE(e.valid);
                std::vector<uint8_t> p = texture_pixels(e.texture, &w, &h);
                pictures[immediate].insert(pictures[immediate].end(), p.begin(), p.end());
            }
        for (int index : {0, 20, 27}) {
            std::vector<uint8_t> p = texture_pixels(g_ground.fixed_textures[index], &w, &h);
            pictures[immediate].insert(pictures[immediate].end(), p.begin(), p.end());
        }
    }
    ASSERT_EQ(pictures[0].size(), pictures[1].size());
    EXPECT_GT(spread(pictures[0]), 2.0);
    size_t differ = 0;
    for (size_t k = 0; k < pictures[0].size(); k++) differ += pictures[0][k] != pictures[1][k];
    EXPECT_EQ(differ, 0u);
}

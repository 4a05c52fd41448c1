// Texture and model upload against a real GL context (Mesa's software renderer). Without a
// display the test runs itself again under xvfb-run; without xvfb-run it is skipped.
#include <gtest/gtest.h>

#include <GL/gl.h>
#include <SDL.h>

#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

#include "core/settings.h"
#include "data/image.h"
#include "data/model.h"
#include "data/texture.h"
#include "render/model_draw.h"
#include "support/test_env.h"

#ifndef GL_CLAMP_TO_EDGE
#define GL_CLAMP_TO_EDGE 0x812F
#endif

namespace {

// A hidden window with a compatibility context, made current for the test.
struct GlContext {
    SDL_Window* window = nullptr;
    SDL_GLContext context = nullptr;
    bool open() {
        if (SDL_Init(SDL_INIT_VIDEO) != 0) return false;
        window = SDL_CreateWindow("gl test", 0, 0, 64, 64, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
        if (!window) return false;
        context = SDL_GL_CreateContext(window);
        return context && SDL_GL_MakeCurrent(window, context) == 0;
    }
    ~GlContext() {
        if (context) SDL_GL_DeleteContext(context);
        if (window) SDL_DestroyWindow(window);
        SDL_Quit();
    }
};

// Runs the named test in a child process under xvfb-run when there is no display.
// Returns true when the caller should stop (the child ran, or the test was skipped).
bool run_under_xvfb(const char* test_name) {
    if (getenv("DISPLAY")) return false;
    if (run_command("command -v xvfb-run").status != 0) {
        return true;
    }
    char self[4096];
    ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0) return true;
    self[n] = 0;
    RunResult r =
        run_command(xvfb_run_a() + " '" + std::string(self) + "' --gtest_filter=" + test_name);
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    return true;
}

Image rgb_image(int w, int h) {
    Image img;
    img.width = w;
    img.height = h;
    img.channels = 3;
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++)
            img.pixels.insert(img.pixels.end(), {(uint8_t)x, (uint8_t)y, 99});
    return img;
}

int level_param(int level, GLenum what) {
    GLint v = -1;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, level, what, &v);
    return v;
}

int tex_param(GLenum what) {
    GLint v = -1;
    glGetTexParameteriv(GL_TEXTURE_2D, what, &v);
    return v;
}

} // namespace

TEST(GlUpload, TexturesAnimationsAndModels) {
    if (getenv("DISPLAY") == nullptr) {
        if (run_under_xvfb("GlUpload.TexturesAnimationsAndModels")) return;
    }
    GlContext gl;
    if (!gl.open()) GTEST_SKIP() << "no GL context: " << SDL_GetError();
    g_settings = Settings{};
    texture_reset();
    model_reset();

    // Every level of a 256 x 64 chain, down to 1 x 1.
    Image img = rgb_image(256, 64);
    unsigned t = texture_create_any(&img, 0, 0, 0);
    ASSERT_NE(t, 0u);
    EXPECT_TRUE(glIsTexture(t));
    glBindTexture(GL_TEXTURE_2D, t);
    int sizes[9][2] = {{256, 64}, {128, 32}, {64, 16}, {32, 8}, {16, 4},
                       {8, 2},    {4, 1},    {2, 1},   {1, 1}};
    for (int level = 0; level < 9; level++) {
        EXPECT_EQ(level_param(level, GL_TEXTURE_WIDTH), sizes[level][0]) << level;
        EXPECT_EQ(level_param(level, GL_TEXTURE_HEIGHT), sizes[level][1]) << level;
    }
    EXPECT_EQ(tex_param(GL_TEXTURE_WRAP_S), GL_CLAMP_TO_EDGE);
    EXPECT_EQ(tex_param(GL_TEXTURE_MIN_FILTER), GL_LINEAR_MIPMAP_NEAREST);
    EXPECT_EQ(tex_param(GL_TEXTURE_MAG_FILTER), GL_LINEAR);
    // Level 0 holds the image itself (rows of odd byte length included).
    std::vector<uint8_t> back(256 * 64 * 3);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGB, GL_UNSIGNED_BYTE, back.data());
    EXPECT_TRUE(std::equal(back.begin(), back.end(), img.pixels.begin()));
    glBindTexture(GL_TEXTURE_2D, 0);

    // A 1 x 1 image is a single level.
    Image one = rgb_image(1, 1);
    unsigned single = texture_create_any(&one, 1, 1, 3);
    glBindTexture(GL_TEXTURE_2D, single);
    EXPECT_EQ(level_param(0, GL_TEXTURE_WIDTH), 1);
    EXPECT_EQ(level_param(1, GL_TEXTURE_WIDTH), 0);
    EXPECT_EQ(tex_param(GL_TEXTURE_WRAP_T), GL_REPEAT);
    glBindTexture(GL_TEXTURE_2D, 0);
    glDeleteTextures(1, &single);

    // Repeat flags come from the file name.
    write_file("a-hrepeat.ppm", "P6 3 1 255\n" + std::string(9, '\x10'));
    unsigned r = texture_load("a-hrepeat.ppm");
    ASSERT_NE(r, 0u);
    glBindTexture(GL_TEXTURE_2D, r);
    EXPECT_EQ(tex_param(GL_TEXTURE_WRAP_S), GL_REPEAT);
    EXPECT_EQ(tex_param(GL_TEXTURE_WRAP_T), GL_CLAMP_TO_EDGE);
    EXPECT_EQ(level_param(0, GL_TEXTURE_WIDTH), 4); // resampled to a power of two
    glBindTexture(GL_TEXTURE_2D, 0);

    // An animation swaps the uploaded frame.
    std::string seq = "ANIM1 2 2 10 1 0 1\n";
    for (int f = 0; f < 2; f++) {
        seq += "J7 2 2\n";
        seq += {(char)(f ? 200 : 50), 0, 0, (char)255};
        seq += std::string(12, '\0');
    }
    write_file("flag.seq", seq);
    unsigned a = texture_load("flag.seq");
    ASSERT_NE(a, 0u);
    uint8_t px[16];
    glBindTexture(GL_TEXTURE_2D, a);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, px);
    EXPECT_EQ(px[0], 50);
    texture_anim_update(15);
    glBindTexture(GL_TEXTURE_2D, a);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, px);
    EXPECT_EQ(px[0], 200);
    glBindTexture(GL_TEXTURE_2D, 0);

    // Models: display lists for rigid meshes, none for an environment-mapped mesh without
    // shaders; drawing raises no GL error either way.
    const char* tri = "0 0 0 0 0 1 0 0\n1 0 0 0 0 1 1 0\n0 1 0 0 0 1 0 1\n0 1 2\n";
    write_file("m.jm", std::string("JM1\n8 1 1 1 1 3 1\n") + tri + "-1 1 1 1 1 3 1\n" + tri);
    Model* m = model_get("m.jm");
    ASSERT_TRUE(m);
    unsigned list = m->meshes->display_list;
    EXPECT_NE(list, 0u);
    EXPECT_TRUE(glIsList(list));
    EXPECT_EQ(m->meshes->next->display_list, 0u);
    float pos[3] = {0, 0, 0}, cam[3] = {0, 0, 5}, rot[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    model_draw(m, pos, cam, nullptr, 0);
    model_draw_env(m, pos, rot, cam);
    g_settings.novertexarrays = 1;
    model_draw_rigid(m);
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);

    // Purges delete the GL objects of older generations and keep those from before the
    // first track.
    texture_new_generation();
    model_new_generation();
    write_file("track.ppm", "P6 1 1 255\n" + std::string(3, '\x20'));
    unsigned old = texture_load("track.ppm");
    write_file("n.jm", std::string("JM1\n8 1 1 1 1 3 1\n") + tri);
    Model* n = model_get("n.jm");
    ASSERT_TRUE(n);
    unsigned old_list = n->meshes->display_list;
    EXPECT_TRUE(glIsTexture(old));
    EXPECT_TRUE(glIsList(old_list));
    texture_new_generation();
    model_new_generation();
    texture_purge();
    model_purge();
    EXPECT_FALSE(glIsTexture(old));
    EXPECT_FALSE(glIsList(old_list));
    EXPECT_TRUE(glIsTexture(r));
    EXPECT_TRUE(glIsList(list));
    EXPECT_TRUE(glIsTexture(t)); // made directly, not cached: the caller owns it
    glDeleteTextures(1, &t);
    texture_reset();
    EXPECT_FALSE(glIsTexture(r));
    model_reset();
    EXPECT_FALSE(glIsList(list));
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
    g_settings = Settings{};
}

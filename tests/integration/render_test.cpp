// What the player sees, checked on pictures: the world drawn in this process from fixed cameras
// on the generated "rabbithill", and the real program's screenshots in first-person and orbit
// views under a virtual display (Mesa's software renderer). Without a display the tests run
// themselves again under xvfb-run; without xvfb-run they are skipped.
//
// VORNIX_SHOT_DIR=<folder> keeps a copy of every picture for looking at.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

#include "app/app.h"
#include "core/settings.h"
#include "bike/bike.h"
#include "bike/world.h"
#include "data/datafile.h"
#include "data/model.h"
#include "data/png_writer.h"
#include "data/shape.h"
#include "data/texture.h"
#include "platform/window.h"
#include "race/session_internal.h"
#include "render/frame.h"
#include "render/glstate.h"
#include "render/ground.h"
#include "support/test_env.h"
#include "track/gates.h"
#include "track/lighting.h"
#include "track/objects.h"
#include "track/terrain.h"
#include "track/track.h"

namespace {

const std::string DATA = std::string(VORNIX_BUILD_DIR) + "/data";

bool have_data() {
    return file_exists(DATA + "/rabbithill/terrain.hf");
}

// Runs the named test in a child process under xvfb-run when there is no display. Returns
// true when the caller should stop (the child ran, or the test was skipped).
bool run_under_xvfb(const char* test_name) {
    if (getenv("DISPLAY")) return false;
    if (run_command("command -v xvfb-run").status != 0) return true;
    char self[4096];
    ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0) return true;
    self[n] = 0;
    RunResult r = run_command("timeout 600 " + xvfb_run_a() + " -s '-screen 0 1024x768x24' '" +
                              std::string(self) + "' --gtest_filter=" + test_name);
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    return true;
}

// A picture, top row first, RGB.
struct Shot {
    int w = 0, h = 0;
    std::vector<uint8_t> rgb;
    const uint8_t* at(int x, int y) const { return &rgb[((size_t)y * w + x) * 3]; }
};

Shot shot_from_frame(int w, int h) {
    std::vector<uint8_t> raw;
    gl_read_frame(w, h, &raw);
    Shot s;
    s.w = w, s.h = h;
    s.rgb.resize(raw.size());
    for (int y = 0; y < h; y++)
        std::copy_n(&raw[(size_t)(h - 1 - y) * w * 3], (size_t)w * 3, &s.rgb[(size_t)y * w * 3]);
    return s;
}

bool shot_load(const std::string& path, Shot* s) {
    TestPngRead png;
    if (!test_png_read(path, &png) || png.colour != PNG_COLOR_TYPE_RGB || png.depth != 8)
        return false;
    s->w = png.width, s->h = png.height;
    s->rgb = png.data;
    return true;
}

void shot_keep(const Shot& s, const std::string& name) {
    TestPng png;
    png.width = s.w, png.height = s.h;
    png.data = s.rgb;
    test_png_write(test_dir() + "/" + name, png);
    if (const char* dir = getenv("VORNIX_SHOT_DIR"))
        test_png_write(std::string(dir) + "/" + name, png);
}

struct Stats {
    double mean[3] = {0, 0, 0};
    double luma_sd = 0; // spread of brightness
    double detail = 0;  // mean brightness difference of horizontal neighbours
    int distinct = 0;   // distinct colours (to 5 bits per channel)
};

// Statistics of the rows y0..y1-1 and columns x0..x1-1.
Stats region(const Shot& s, int x0, int y0, int x1, int y1) {
    Stats st;
    double n = 0, l1 = 0, l2 = 0, d = 0;
    std::vector<char> seen(1 << 15, 0);
    for (int y = y0; y < y1; y++)
        for (int x = x0; x < x1; x++) {
            const uint8_t* p = s.at(x, y);
            for (int c = 0; c < 3; c++) st.mean[c] += p[c];
            double l = 0.299 * p[0] + 0.587 * p[1] + 0.114 * p[2];
            l1 += l, l2 += l * l, n++;
            if (x + 1 < x1) {
                const uint8_t* q = s.at(x + 1, y);
                d += std::fabs(l - (0.299 * q[0] + 0.587 * q[1] + 0.114 * q[2]));
            }
            int key = (p[0] >> 3) << 10 | (p[1] >> 3) << 5 | p[2] >> 3;
            if (!seen[key]) seen[key] = 1, st.distinct++;
        }
    for (double& m : st.mean) m /= n;
    st.luma_sd = std::sqrt(std::max(0.0, l2 / n - (l1 / n) * (l1 / n)));
    st.detail = d / (n - (y1 - y0));
    return st;
}

// The checks every view of the track must pass: more than one colour, a blue sky at the top,
// textured ground in the lower part (its brightness spreads and changes from pixel to pixel,
// where a ground without its textures is a smooth blend of the shading).
void expect_world(const Shot& s, const char* what) {
    Stats all = region(s, 0, 0, s.w, s.h);
    EXPECT_GT(all.distinct, 40) << what;
    Stats sky = region(s, 0, 0, s.w, s.h / 10);
    EXPECT_GT(sky.mean[2], sky.mean[0] + 15) << what << ": sky is blue";
    EXPECT_GT(sky.mean[2], 140) << what << ": sky is bright";
    Stats ground = region(s, 0, s.h * 11 / 20, s.w, s.h);
    EXPECT_GT(ground.luma_sd, 8) << what << ": the ground varies";
    EXPECT_GT(ground.detail, 0.2) << what << ": the ground has texture";
    EXPECT_LT(ground.mean[2], ground.mean[0] + 25) << what << ": the ground is not sky";
}

// The whole program with the track's data, run for a few simulated seconds.
RunResult run_game(const std::string& args) {
    return run_command("QZ_HOME='" + DATA + "' timeout 600 " + xvfb_run_a() +
                       " -s '-screen 0 1024x768x24' " + std::string(VORNIX_BIN) + " " + args);
}

} // namespace

// ---- In this process: the frame drawn from chosen cameras ----

namespace {

struct Scene {
    GameWindow* window = nullptr;
    int w = 800, h = 600;
    bool open() {
        window = window_open_gl("render test", w, h, 24, 0, 16, 0, 0);
        if (!window || !window->gl) return false;
        g_app.window = window;
        gl_set_window(window);
        terrain_set_hooks(ground_terrain_hooks());
        gl_init_extensions(0, 0, 0);
        gl_init_state(0);
        return true;
    }
    // The generated Rabbit Hill in a fresh window with default settings; false with the
    // reason in *skip when there is no data or no GL window (a failed load is a failure).
    bool open_rabbithill(std::string* skip) {
        if (!have_data()) {
            *skip = "no generated data in " + DATA;
            return false;
        }
        setenv("QZ_HOME", DATA.c_str(), 1);
        data_reset();
        g_settings = Settings{};
        if (!open()) {
            *skip = "no GL window";
            return false;
        }
        EXPECT_EQ(track_load_named("rabbithill"), 1);
        return true;
    }
    ~Scene() {
        track_free();
        terrain_set_hooks(nullptr);
        texture_reset();
        model_reset();
        frame_reset();
        g_app.window = nullptr;
        gl_set_window(nullptr);
        window_close(window);
    }
};

// Draws a camera's view for as many frames as a running game needs to settle: the ground
// renderer brings its window textures in one per frame, coarsest first, and the default
// settings use five levels of 16 textures, so the finest ones near the eye come last.
constexpr int SETTLE_FRAMES = 5 * 16 + 10;
void draw_settled(const Camera& c) {
    for (int i = 0; i < SETTLE_FRAMES; i++) frame_draw_world(c);
}
void first_person_settled(int slot) {
    for (int i = 0; i < SETTLE_FRAMES; i++) frame_first_person(slot);
}

// A camera above and behind start slot k, looking along the start straight.
Camera start_camera(int k, float back, float up) {
    const StartSlot& s = g_gates.slots[k];
    float fx = -std::sin(s.angle), fz = -std::cos(s.angle);
    float ground = terrain_height(&g_terrain, s.x, s.z);
    CameraView v;
    v.eye[0] = s.x - fx * back, v.eye[2] = s.z - fz * back;
    v.eye[1] = std::max(ground, terrain_height(&g_terrain, v.eye[0], v.eye[2])) + up;
    v.target[0] = s.x + fx * 40, v.target[2] = s.z + fz * 40;
    v.target[1] = terrain_height(&g_terrain, v.target[0], v.target[2]) + 2;
    Camera c;
    frame_camera_from_view(v, &c);
    return c;
}

} // namespace

TEST(RenderScene, StartStraightFromAboveTheGate) {
    if (run_under_xvfb("RenderScene.StartStraightFromAboveTheGate")) return;
    Scene scene;
    std::string skip;
    if (!scene.open_rabbithill(&skip)) GTEST_SKIP() << skip;
    ASSERT_FALSE(::testing::Test::HasFailure()) << "rabbithill did not load";
    ASSERT_GT(g_gates.slot_count, 0);

    frame_set_projection(scene.w, scene.h);
    Camera c = start_camera(g_gates.slot_count / 2, 12, 7);
    draw_settled(c);
    Shot s = shot_from_frame(scene.w, scene.h);
    shot_keep(s, "scene_start.png");
    expect_world(s, "start straight");
    // The start gates stand in front of the camera; billboards line the track.
    EXPECT_GT(g_render.stats.value[STAT_MODEL_POLYGONS], 0);
    EXPECT_GT(g_render.stats.value[STAT_GROUND_POLYGONS], 0);
    // The ground is the quadtree's, and once settled the finest window around the eye holds
    // pictures of its tiles.
    EXPECT_EQ(g_render.stats.value[STAT_GROUND_POLYGONS], g_ground.polygons);
    for (const GroundWindowEntry& e : g_ground.windows[g_settings.ground_texture_level].entry)
        EXPECT_TRUE(e.valid);
    EXPECT_GT(g_render.stats.value[STAT_TEXTURE_CHANGES], 2);
    for (int i = 0; i < STAT_COUNT; i++) EXPECT_GE(g_render.stats.max[i], g_render.stats.value[i]);

    // Looking toward the sun: the flare's elements brighten the picture there.
    const float* sun = g_lighting.sun_vector;
    CameraView v;
    // From high above the gate, so no hill or tree of the track hides a low sun.
    for (int i = 0; i < 3; i++) v.eye[i] = c.eye[i] + (i == 1 ? 300.0f : 0.0f);
    for (int i = 0; i < 3; i++) v.target[i] = v.eye[i] + sun[i];
    Camera toward_sun;
    frame_camera_from_view(v, &toward_sun);
    g_config.lens_flare.current = NO;
    draw_settled(toward_sun);
    Shot plain = shot_from_frame(scene.w, scene.h);
    g_config.lens_flare.current = YES;
    frame_draw_world(toward_sun);
    Shot flared = shot_from_frame(scene.w, scene.h);
    shot_keep(flared, "scene_sun.png");
    Stats a = region(plain, 0, 0, scene.w, scene.h), b = region(flared, 0, 0, scene.w, scene.h);
    EXPECT_GT(b.mean[0] + b.mean[1] + b.mean[2], a.mean[0] + a.mean[1] + a.mean[2] + 3);
}

// From where a rider waits at the first slot, the gate fills the middle of the view; with
// that one gate sunk into the ground, the same pixels show the start straight instead.
TEST(RenderScene, StartGateStandsInFrontOfTheFirstSlot) {
    if (run_under_xvfb("RenderScene.StartGateStandsInFrontOfTheFirstSlot")) return;
    Scene scene;
    std::string skip;
    if (!scene.open_rabbithill(&skip)) GTEST_SKIP() << skip;
    ASSERT_FALSE(::testing::Test::HasFailure()) << "rabbithill did not load";
    ASSERT_GT(g_gates.slot_count, 0);
    const StartSlot& slot = g_gates.slots[0];
    ASSERT_GE(slot.statue, 0);

    frame_set_projection(scene.w, scene.h);
    Camera eye = start_camera(0, 2, 3.5f); // a seated rider's eye, just behind the slot
    draw_settled(eye);
    Shot with_gate = shot_from_frame(scene.w, scene.h);
    shot_keep(with_gate, "scene_gate.png");
    statue_place(slot.statue, slot.x - 3 * std::sin(slot.angle), -50,
                 slot.z - 3 * std::cos(slot.angle), slot.angle);
    draw_settled(eye);
    Shot without = shot_from_frame(scene.w, scene.h);

    // The middle quarter of the width, the lowest three eighths of the height: where the gate
    // 5 ft ahead stands (its top edge below the eye).
    int changed = 0, total = 0;
    for (int y = scene.h * 5 / 8; y < scene.h; y++)
        for (int x = scene.w * 3 / 8; x < scene.w * 5 / 8; x++, total++) {
            const uint8_t *a = with_gate.at(x, y), *b = without.at(x, y);
            int d = std::abs(a[0] - b[0]) + std::abs(a[1] - b[1]) + std::abs(a[2] - b[2]);
            changed += d > 60;
        }
    EXPECT_GT(changed, total / 3) << "the first slot's gate covers " << changed << " of "
                                  << total << " pixels in front of the rider";
}

TEST(RenderScene, RiderOnTheStartLineInFirstPersonAndBehind) {
    if (run_under_xvfb("RenderScene.RiderOnTheStartLineInFirstPersonAndBehind")) return;
    Scene scene;
    std::string skip;
    if (!scene.open_rabbithill(&skip)) GTEST_SKIP() << skip;
    ASSERT_FALSE(::testing::Test::HasFailure()) << "rabbithill did not load";
    physics_open();
    Bike* bike = bike_load("crf250(2009)", 1, "42", nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(bike, nullptr);
    const StartSlot& slot = g_gates.slots[0];
    const float up[3] = {0, 1, 0};
    bike_reset(bike);
    bike_rotate(bike, up, slot.angle);
    float ground = terrain_height(&g_terrain, slot.x, slot.z);
    bike_translate(bike, slot.x + 10 * 0.0625f * std::sin(slot.angle), ground,
                   slot.z + 10 * 0.0625f * std::cos(slot.angle));
    g_session_data.slots[0].bike = bike;
    g_session_data.slots[0].kind = RIDER_LOCAL;
    g_session_data.viewed_rider = 0;

    frame_set_projection(scene.w, scene.h);
    first_person_settled(0);
    Shot fp = shot_from_frame(scene.w, scene.h);
    shot_keep(fp, "scene_first_person.png");
    expect_world(fp, "first person");
    // The camera sits in the rider's head: above the bike, moving with the rider body.
    EXPECT_NEAR(g_render.camera.eye[1] - ground, 4.5 + 0.5, 0.6);
    EXPECT_EQ(g_render.camera.first_person, 1);

    Camera behind = start_camera(0, 9, 4);
    behind.slot = 0;
    draw_settled(behind);
    Shot back = shot_from_frame(scene.w, scene.h);
    shot_keep(back, "scene_behind.png");
    expect_world(back, "behind the rider");
    // Once the bike's models exist, they cover the middle of the picture.
    if (bike->models[BIKE_MODEL_FRAME]) {
        EXPECT_GT(g_render.stats.value[STAT_MODEL_POLYGONS], 200);
    }

    g_session_data.slots[0].bike = nullptr;
    bike_free(bike);
    physics_close_contacts();
    physics_close_world();
}

// ---- The real program ----

TEST(RenderGame, FirstPersonAndOrbitScreenshots) {
    if (!have_data()) GTEST_SKIP() << "no generated data in " << DATA;
    if (run_command("command -v xvfb-run").status != 0) GTEST_SKIP() << "no xvfb-run";
    write_file(test_user_dir() + "config", "video_mode=Windowed\n");
    // A time trial rides at once (no menu), the throttle opened. Each drawn frame simulates a
    // millisecond, so the pictures show the first moments of the ride however fast the software
    // renderer draws, after enough frames for every ground texture: first person at 6 s, then
    // Tab to the orbit camera and another picture. The throttle is let go at 3 s, so that the
    // bike rolls on upright rather than wheeling over while the pictures wait for their frames.
    write_file("keys.txt", "0.5 press x\n3.0 release x\n6.0 tap s\n6.5 char 9\n9.0 tap s\n"
                           "10.0 press Close\n");
    RunResult r = run_game("--track rabbithill --time-trial --width 800 --height 600 "
                           "--lock-fps 1000 --script keys.txt");
    ASSERT_EQ(r.status, 0) << r.err;
    std::string log = read_file(test_user_dir() + "lastlog.txt");
    if (log.find("Loading track...") == std::string::npos)
        GTEST_SKIP() << "the program does not load tracks yet (no race session)";
    Shot first, orbit;
    ASSERT_TRUE(shot_load(test_user_dir() + "screenshot001.png", &first)) << log;
    ASSERT_TRUE(shot_load(test_user_dir() + "screenshot002.png", &orbit)) << log;
    shot_keep(first, "game_first_person.png");
    shot_keep(orbit, "game_orbit.png");
    EXPECT_EQ(first.w, 800);
    EXPECT_EQ(first.h, 600);
    expect_world(first, "first person");
    expect_world(orbit, "orbit");
    // The orbit camera looks at the bike: the middle of the picture is not ground.
    Stats middle = region(orbit, 360, 240, 440, 360);
    Stats ground = region(orbit, 0, 540, 800, 600);
    double diff = 0;
    for (int c = 0; c < 3; c++) diff += std::fabs(middle.mean[c] - ground.mean[c]);
    EXPECT_GT(diff + std::fabs(middle.luma_sd - ground.luma_sd), 20);
}

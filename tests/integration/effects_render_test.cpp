// Effects on pictures, drawn in this process under a virtual display (Mesa's software renderer)
// on the generated "rabbithill": the roost a bike throws behind it as it accelerates on the
// dirt of the start straight, and the blob shadow under a bike standing there. Each picture is
// compared with the same view drawn without the effect. Without a display the tests run
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
#include "bike/bike.h"
#include "bike/bodypose.h"
#include "bike/harness.h"
#include "bike/step.h"
#include "core/config.h"
#include "core/settings.h"
#include "data/datafile.h"
#include "data/model.h"
#include "data/png_writer.h"
#include "data/shape.h"
#include "data/texture.h"
#include "effects/roost.h"
#include "platform/window.h"
#include "race/session_internal.h"
#include "render/frame.h"
#include "render/glstate.h"
#include "render/ground.h"
#include "support/test_env.h"
#include "track/gates.h"
#include "track/surface.h"
#include "track/terrain.h"
#include "track/track.h"

namespace {

const std::string DATA = std::string(VORNIX_BUILD_DIR) + "/data";

bool under_xvfb(const char* test_name) {
    if (getenv("DISPLAY")) return false;
    if (run_command("command -v xvfb-run").status != 0) return true;
    char self[4096];
    ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0) return true;
    self[n] = 0;
    RunResult r = run_command("timeout 600 " + xvfb_run_a() + " -s '-screen 0 640x480x24' '" +
                              std::string(self) + "' --gtest_filter=" + test_name);
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    return true;
}

struct Picture {
    int w = 0, h = 0;
    std::vector<uint8_t> rgb; // top row first
    const uint8_t* at(int x, int y) const { return &rgb[((size_t)y * w + x) * 3]; }
    double luma(int x, int y) const {
        const uint8_t* p = at(x, y);
        return 0.299 * p[0] + 0.587 * p[1] + 0.114 * p[2];
    }
};

Picture grab(int w, int h) {
    std::vector<uint8_t> raw;
    gl_read_frame(w, h, &raw);
    Picture p;
    p.w = w, p.h = h;
    p.rgb.resize(raw.size());
    for (int y = 0; y < h; y++)
        std::copy_n(&raw[(size_t)(h - 1 - y) * w * 3], (size_t)w * 3, &p.rgb[(size_t)y * w * 3]);
    return p;
}

void keep(const Picture& p, const std::string& name) {
    TestPng png;
    png.width = p.w, png.height = p.h;
    png.data = p.rgb;
    test_png_write(test_dir() + "/" + name, png);
    if (const char* dir = getenv("VORNIX_SHOT_DIR"))
        test_png_write(std::string(dir) + "/" + name, png);
}

// A window, the track loaded, and one harness bike on the dirt just past start slot 0,
// facing along the straight, drawn as the session's rider 0.
class EffectsScene : public ::testing::Test {
  protected:
    GameWindow* window = nullptr;
    Bike* bike = nullptr;
    const int w = 480, h = 360;
    float heading = 0;

    bool open() {
        if (!file_exists(DATA + "/rabbithill/terrain.hf")) return false;
        setenv("QZ_HOME", DATA.c_str(), 1);
        data_reset();
        g_settings = Settings{};
        window = window_open_gl("effects test", w, h, 24, 0, 16, 0, 0);
        if (!window || !window->gl) return false;
        g_app.window = window;
        gl_set_window(window);
        terrain_set_hooks(ground_terrain_hooks());
        gl_init_extensions(0, 0, 0);
        gl_init_state(0);
        harness_open();
        if (!harness_load_track("rabbithill") || g_gates.slot_count < 1) return false;
        const StartSlot& s = g_gates.slots[0];
        heading = s.angle;
        // Ten feet past the slot, clear of the start gate.
        float x = s.x - 10 * std::sin(heading), z = s.z - 10 * std::cos(heading);
        bike = harness_add_bike("crf250(2009)", x, z, heading);
        if (!bike) return false;
        g_session_data.slots[0].bike = bike;
        g_session_data.slots[0].kind = RIDER_LOCAL;
        g_session_data.viewed_rider = 0;
        roost_reset();
        frame_set_projection(w, h);
        return true;
    }
    void TearDown() override {
        g_session_data.slots[0] = RiderSlot{};
        g_session_data.viewed_rider = 0;
        roost_reset();
        harness_close();
        if (g_track.loaded) track_free();
        terrain_set_hooks(nullptr);
        texture_reset();
        model_reset();
        shape_reset();
        frame_reset();
        g_app.window = nullptr;
        gl_set_window(nullptr);
        if (window) window_close(window);
        config_reset();
        g_settings = Settings{};
    }
    // A camera at (right, up, back) feet from the bike's frame in its heading's axes, looking at
    // a point `ahead` feet in front of the frame at `look_up` above the ground.
    Camera camera_near(float right, float up, float back, float ahead, float look_up) {
        float p[3];
        bike_frame_position(bike, p);
        float fx = -std::sin(heading), fz = -std::cos(heading); // forward
        float rx = -fz, rz = fx;                                // right of the heading
        CameraView v;
        v.eye[0] = p[0] + rx * right - fx * back;
        v.eye[2] = p[2] + rz * right - fz * back;
        v.eye[1] = terrain_height(&g_terrain, v.eye[0], v.eye[2]) + up;
        v.target[0] = p[0] + fx * ahead;
        v.target[2] = p[2] + fz * ahead;
        v.target[1] = terrain_height(&g_terrain, v.target[0], v.target[2]) + look_up;
        Camera c;
        frame_camera_from_view(v, &c);
        c.slot = 40; // nobody's eyes: the bike is drawn whole
        return c;
    }
    // Enough frames for the ground's window textures to come in, then the picture.
    Picture draw(const Camera& c, int frames) {
        for (int i = 0; i < frames; i++) frame_draw_world(c);
        return grab(w, h);
    }
};

} // namespace

TEST_F(EffectsScene, RoostFliesBehindABikeAcceleratingOnDirt) {
    if (under_xvfb("EffectsScene.RoostFliesBehindABikeAcceleratingOnDirt")) return;
    if (!open()) GTEST_SKIP() << "no generated data or no GL window";
    float p[3];
    bike_frame_position(bike, p);
    const SurfaceType& ground = g_terrain.surfaces[(size_t)terrain_tile_at(&g_terrain, p[0], p[2])];
    ASSERT_EQ(ground.roost[0].kind, ROOST_SLIP) << "the start straight is dirt";
    // Full throttle from a standstill: the rear tyre spins up and throws its roost.
    for (int t = 0; t < 96; t++) {
        bike_set_clutch(bike, 1);
        bike_set_throttle(bike, 1);
        harness_tick();
        roost_emit(bike);
        roost_update();
    }
    ASSERT_GT(g_roost.live_count, 30);
    // Most of the roost is behind the rear wheel and above the ground.
    bike_frame_position(bike, p);
    float fx = -std::sin(heading), fz = -std::cos(heading);
    int behind = 0;
    for (int i = g_roost.live_head; i != ROOST_NONE; i = g_roost.particles[i].next) {
        const RoostParticle& q = g_roost.particles[i];
        behind += (q.position[0] - p[0]) * fx + (q.position[2] - p[2]) * fz < -1;
    }
    EXPECT_GT(behind, g_roost.live_count * 3 / 4);

    // Seen from behind and a little to the side, against the same view without particles.
    Camera c = camera_near(4, 3.5f, 9, 2, 1.5f);
    Picture with = draw(c, 90);
    keep(with, "roost.png");
    roost_reset();
    Picture without = draw(c, 1);
    keep(without, "roost_none.png");
    int changed = 0;
    double dr = 0, db = 0;
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) {
            double d = std::fabs(with.luma(x, y) - without.luma(x, y));
            if (d < 12) continue;
            changed++;
            dr += with.at(x, y)[0];
            db += with.at(x, y)[2];
        }
    EXPECT_GT(changed, w * h / 100) << "roost covers part of the picture";
    RecordProperty("roost_pixels", changed);
    // Dirt is brown: more red than blue where the particles are.
    EXPECT_GT(dr, db * 1.15);
    EXPECT_GT(g_render.stats.value[STAT_BILLBOARDS], 0);
}

TEST_F(EffectsScene, ABlobShadowLiesUnderAStandingBike) {
    if (under_xvfb("EffectsScene.ABlobShadowLiesUnderAStandingBike")) return;
    if (!open()) GTEST_SKIP() << "no generated data or no GL window";
    for (int t = 0; t < 64; t++) harness_tick(); // settle on the ground
    // From the side and above, looking down at the ground beside the wheels.
    Camera c = camera_near(9, 6, 0, 0, 0);
    g_config.blob_shadows.current = YES;
    Picture shadow = draw(c, 90);
    keep(shadow, "shadow.png");
    g_config.blob_shadows.current = NO;
    Picture plain = draw(c, 1);
    keep(plain, "shadow_none.png");
    int darker = 0, brighter = 0;
    double sum_x = 0, sum_y = 0;
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) {
            double d = shadow.luma(x, y) - plain.luma(x, y);
            if (d < -6) {
                darker++;
                sum_x += x, sum_y += y;
            }
            if (d > 6) brighter++;
        }
    EXPECT_GT(darker, 300) << "the ground under the bike is darker";
    EXPECT_LT(brighter, 20) << "a shadow only darkens";
    // The darkened ground is around the middle of the picture, where the bike stands, and in
    // its lower half, on the ground.
    if (darker > 0) {
        EXPECT_NEAR(sum_x / darker, w / 2, w / 5);
        EXPECT_GT(sum_y / darker, h * 0.45);
    }
    // A bike in the air casts a lighter shadow; 12 feet up it is gone.
    bike_translate(bike, 0, 12, 0);
    Picture high_plain = draw(c, 1);
    g_config.blob_shadows.current = YES;
    Picture high = draw(c, 1);
    keep(high, "shadow_high.png");
    int still_dark = 0;
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) still_dark += high.luma(x, y) - high_plain.luma(x, y) < -6;
    EXPECT_LT(still_dark, darker / 4);
}

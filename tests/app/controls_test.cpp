#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "app/app.h"
#include "core/constants.h"
#include "core/settings.h"
#include "platform/clock.h"
#include "platform/input.h"
#include "platform/options.h"
#include "platform/window.h"
#include "race/session_internal.h"
#include "track/terrain.h"
#include "ui/menu.h"

namespace {

int fake_value = 0;
int fake_activate(InputDevice*) {
    return 0;
}
int fake_open(InputDevice*) {
    return 1;
}
void fake_close(InputDevice*) {}
int fake_read(InputDevice*, int) {
    return fake_value;
}
void fake_poll(InputDevice*) {}
void fake_destroy(InputDevice*) {}
const InputDeviceOps FAKE_OPS = {fake_activate, fake_open, fake_close,
                                 fake_read,     fake_poll, fake_destroy};

const int KEY_X = 4096 + 45, KEY_C = 4096 + 46, KEY_P = 4096 + 25, KEY_ESC = 4096 + 1,
          KEY_DOT = 4096 + 52;

void bind_key(KeyBinding* b, int code) {
    *b = KeyBinding{};
    b->key_code = code;
    b->high = 1;
}

// A fresh loop with a window that only has an input queue, throttle on X, front brake on C,
// pause on P, step on ".", and no menu shown.
struct LoopFixture : ::testing::Test {
    std::vector<float> throttle_per_tick;
    void SetUp() override {
        g_app = App{};
        session_reset();
        g_settings = Settings{};
        g_app.window = window_open_headless();
        controls_setup();
        bind_key(&g_config.throttle_key, KEY_X);
        bind_key(&g_config.front_brake_key, KEY_C);
        bind_key(&g_config.pause_key, KEY_P);
        bind_key(&g_config.step_key, KEY_DOT);
        ui_set_window(g_app.window);
        menu_keys_resolve(g_app.window);
        menu_show(MENU_NONE);
        g_app.tick_hook = [](void* ctx) {
            static_cast<LoopFixture*>(ctx)->throttle_per_tick.push_back(
                g_app.controls[CONTROL_THROTTLE]);
        };
        g_app.tick_hook_ctx = this;
    }
    void TearDown() override {
        bindings_close();
        window_close(g_app.window);
        g_app = App{};
        g_config.throttle_key = g_config.front_brake_key = g_config.pause_key = g_config.step_key =
            KeyBinding{};
    }
    void push(int code, int pressed, double t) {
        long s = (long)t;
        input_queue_event(g_app.window, code, pressed, s, (long)std::lround((t - s) * 1e6));
    }
};

} // namespace

TEST_F(LoopFixture, EventsReachTheTickTheyHappenedIn) {
    // Four ticks lag behind the clock at 10 s: their real times are 10 - 3, 2, 1 and 0 ticks.
    g_app.clock.sim_target = 4 * sim_tick;
    push(KEY_X, 1, 10 - 2.5 * sim_tick); // inside tick 2
    push(KEY_X, 0, 10 - 0.5 * sim_tick); // inside tick 4
    mainloop_ticks(10.0);
    ASSERT_EQ(throttle_per_tick.size(), 4u);
    EXPECT_EQ(throttle_per_tick, (std::vector<float>{0, 1, 1, 0}));
}

TEST_F(LoopFixture, TheLastTickTakesEveryPendingEvent) {
    g_app.clock.sim_target = 2 * sim_tick;
    push(KEY_X, 1, 10.5); // stamped after the frame's clock reading
    mainloop_ticks(10.0);
    EXPECT_EQ(throttle_per_tick, (std::vector<float>{0, 1}));
}

TEST_F(LoopFixture, OppositeRowsAndAxisRowsAddUp) {
    bind_key(&g_config.left_key, 4096 + 331);
    bind_key(&g_config.right_key, 4096 + 333);
    InputDevice* d = input_device_add(g_app.window, "Pedal", &FAKE_OPS, 1, 0, 0);
    (void)d;
    KeyBinding& t = g_config.throttle_key;
    t = KeyBinding{};
    t.axis = axis_open(g_app.window, "Pedal axis 0");
    ASSERT_NE(t.axis, nullptr);
    t.low = 0.25f;
    t.high = 0.75f;
    fake_value = 16384; // 0.5 of the way: (0.5 - 0.25) / 0.5
    input_event(4096 + 331, 1);
    input_event(4096 + 333, 1);
    g_app.clock.sim_target = sim_tick;
    mainloop_ticks(10.0);
    EXPECT_FLOAT_EQ(g_app.controls[CONTROL_STEER], 0.0f);
    EXPECT_FLOAT_EQ(throttle_per_tick.at(0), 0.5f);
    fake_value = 32767; // past high: 1
    g_app.clock.sim_target += sim_tick;
    mainloop_ticks(10.1);
    EXPECT_FLOAT_EQ(throttle_per_tick.at(1), 1.0f);
    axis_close(t.axis);
    t.axis = nullptr;
    g_config.left_key = g_config.right_key = KeyBinding{};
}

TEST_F(LoopFixture, EscOpensAndClosesTheMenu) {
    input_event(KEY_ESC, 1);
    EXPECT_EQ(g_menu.screen, SCREEN_MAIN);
    input_event(KEY_ESC, 0);
    EXPECT_EQ(g_menu.screen, SCREEN_MAIN);
    input_event(KEY_ESC, 1);
    EXPECT_EQ(g_menu.screen, MENU_NONE);
    menu_show(SCREEN_NOTICE);
    input_event(KEY_ESC, 1);
    EXPECT_EQ(g_menu.screen, SCREEN_NOTICE);
}

TEST_F(LoopFixture, MenuFreezesTheOfflineRaceOnlyOnThePlayersBike) {
    g_session_data.track_loaded = 1;
    g_session_data.slots[0].autopilot = 0;
    g_app.view_mode = VIEW_RIDER;
    menu_show(SCREEN_MAIN);
    g_app.clock.sim_target = 3 * sim_tick;
    mainloop_ticks(10.0);
    EXPECT_EQ(g_session.session_clock, 0);
    g_config.volume.value = 10;
    EXPECT_FLOAT_EQ(engine_volume_level(), 0.0f);
    // A robot's bike viewed: the race runs on under the menu, at a quarter of the volume.
    g_session_data.slots[0].autopilot = 1;
    g_app.clock.sim_target += 3 * sim_tick;
    mainloop_ticks(10.1);
    EXPECT_EQ(g_session.session_clock, 3);
    EXPECT_FLOAT_EQ(engine_volume_level(), 0.25f);
    menu_show(MENU_NONE);
    EXPECT_FLOAT_EQ(engine_volume_level(), 1.0f);
    g_app.paused = true;
    EXPECT_FLOAT_EQ(engine_volume_level(), 0.0f);
}

TEST_F(LoopFixture, PauseAndSingleStep) {
    g_session_data.track_loaded = 1;
    g_app.view_mode = VIEW_RIDER;
    input_event(KEY_DOT, 1); // not paused: nothing
    EXPECT_EQ(g_session.session_clock, 0);
    input_event(KEY_P, 1);
    EXPECT_TRUE(g_app.paused);
    g_app.clock.sim_target = 4 * sim_tick;
    mainloop_ticks(10.0);
    EXPECT_EQ(g_session.session_clock, 0);
    input_event(KEY_DOT, 1);
    EXPECT_EQ(g_session.session_clock, 1);
    input_event(KEY_P, 1);
    EXPECT_FALSE(g_app.paused);
}

TEST_F(LoopFixture, TabCyclesTheViews) {
    g_app.view_mode = VIEW_RIDER;
    input_event(CHAR_TAB, 1);
    EXPECT_EQ(g_app.view_mode, VIEW_ORBIT);
    input_event(CHAR_TAB, 1);
    EXPECT_EQ(g_app.view_mode, VIEW_FREE);
    input_event(CHAR_TAB, 1);
    EXPECT_EQ(g_app.view_mode, VIEW_RIDER);
    g_settings.editor = 1;
    input_event(CHAR_TAB, 1);
    EXPECT_EQ(g_app.view_mode, VIEW_EDITOR);
    input_event(CHAR_TAB, 1);
    EXPECT_EQ(g_app.view_mode, VIEW_ORBIT);
    g_app.view_mode = VIEW_TITLE;
    input_event(CHAR_TAB, 1);
    EXPECT_EQ(g_app.view_mode, VIEW_TITLE);
}

TEST_F(LoopFixture, WatchingBindsTheNextKeyOrAnAxis) {
    KeyBinding b{};
    b.high = 1;
    binding_watch_start(&b);
    input_event('x', 1); // a typed character has no name to store
    EXPECT_EQ(b.key_code, 0);
    input_event(KEY_X, 1);
    EXPECT_EQ(b.key_code, KEY_X);
    EXPECT_STREQ(b.key_name, "X");
    EXPECT_EQ(g_menu.watching, nullptr);

    binding_watch_start(&b);
    input_event(KEY_ESC, 1); // cancels, the menu stays as it was
    EXPECT_EQ(g_menu.watching, nullptr);
    EXPECT_EQ(b.key_code, KEY_X);
    EXPECT_EQ(g_menu.screen, MENU_NONE);

    InputDevice* d = input_device_add(g_app.window, "Stick", &FAKE_OPS, 1, 0, 0);
    g_app.window->input.device_axes.push_back(intern_name("Stick axis 0"));
    (void)d;
    binding_watch_start(&b);
    fake_value = 10000; // 0.31: not yet
    binding_watch_tick();
    EXPECT_NE(g_menu.watching, nullptr);
    fake_value = -20000;
    binding_watch_tick();
    EXPECT_EQ(g_menu.watching, nullptr);
    EXPECT_STREQ(b.axis_name, "Stick axis 0");
    EXPECT_EQ(b.key_name, nullptr);
    EXPECT_FLOAT_EQ(b.low, -0.0625f);
    EXPECT_FLOAT_EQ(b.high, -0.9375f);
    ASSERT_NE(b.axis, nullptr);
    axis_close(b.axis);
}

TEST(ControlShaping, ClutchShiftSteeringAndStickyDab) {
    float c[CONTROL_COUNT] = {};
    PlayerControls pc;
    DabLatch latch;
    c[CONTROL_STEER] = 0.75f;
    controls_shape(c, 0.5f, 1, 0, &latch, &pc);
    EXPECT_FLOAT_EQ(pc.steer, -0.75f);
    EXPECT_FLOAT_EQ(pc.clutch, 0.5f + 4.0f / 128); // re-engages at most 4 per second
    controls_shape(c, 0.5f, 0, 0, &latch, &pc);
    EXPECT_FLOAT_EQ(pc.steer, 0.75f);
    c[CONTROL_CLUTCH] = 0.5f;
    controls_shape(c, 1.0f, 0, 0, &latch, &pc);
    EXPECT_FLOAT_EQ(pc.clutch, 1 - 0.5f * 8 / 7); // lets out at once
    c[CONTROL_CLUTCH] = 1;
    controls_shape(c, 1.0f, 0, 0, &latch, &pc);
    EXPECT_FLOAT_EQ(pc.clutch, 0);

    for (float shift : {0.6f, -0.6f, 0.5f, -0.5f}) {
        c[CONTROL_SHIFT] = shift;
        controls_shape(c, 1, 0, 0, &latch, &pc);
        EXPECT_EQ(pc.shift, shift > 0.5f ? 1 : shift < -0.5f ? -1 : 0) << shift;
    }

    const float dab_in[] = {0, 1, 1, 0, 0.7f, 0.2f};
    const float sticky[] = {0, 1, 1, 1, 0, 0};
    DabLatch l2;
    for (int i = 0; i < 6; i++) {
        c[CONTROL_DAB] = dab_in[i];
        controls_shape(c, 1, 0, 1, &l2, &pc);
        EXPECT_FLOAT_EQ(pc.dab, sticky[i]) << i;
    }
    controls_shape(c, 1, 0, 0, &l2, &pc);
    EXPECT_FLOAT_EQ(pc.dab, 0.2f);
}

TEST(Cameras, OrbitAroundARobotSteersAndKeepsLimits) {
    OrbitCamera o;
    float c[CONTROL_COUNT] = {};
    c[CONTROL_STEER] = 1;
    c[CONTROL_THROTTLE] = 1;
    c[CONTROL_SHIFT] = 1;
    for (int i = 0; i < 512; i++) camera_orbit_steer(&o, c);
    // Half a turn of 2 pi / 1024 steps reaches pi, wrapped into -pi..pi.
    EXPECT_NEAR(std::fabs(o.angle), 3.14159265f, 1e-3);
    EXPECT_FLOAT_EQ(o.distance, 10 - 512.0f / 64);
    EXPECT_NEAR(o.height, 5 + 512 * sim_tick, 1e-4);
    for (int i = 0; i < 512; i++) camera_orbit_steer(&o, c);
    EXPECT_FLOAT_EQ(o.distance, 0.25f); // 10 - 1024/64 would be below the limit
    c[CONTROL_THROTTLE] = 0;
    c[CONTROL_FRONT_BRAKE] = 1;
    camera_orbit_steer(&o, c);
    EXPECT_FLOAT_EQ(o.distance, 0.25f + 1.0f / 64);
    OrbitCamera o2;
    float target[3] = {100, 3, 200};
    CameraView v;
    camera_orbit_view(o2, target, &v);
    EXPECT_FLOAT_EQ(v.eye[0], 100);
    EXPECT_FLOAT_EQ(v.eye[2], 210);
    EXPECT_FLOAT_EQ(v.eye[1], 8);
    o2.height = -20; // never below 5 over the ground
    camera_orbit_view(o2, target, &v);
    EXPECT_FLOAT_EQ(v.eye[1], 5);
}

TEST(Cameras, ChaseCameraSitsBehindThePlayer) {
    BikePose pose = {{10, 1, 20}, {1, 0, 0, 0, 1, 0, 0, 0, 1}, {0, 0, 0}};
    CameraView v;
    camera_orbit_player(pose, 0, &v);
    // Facing -z: the eye is 10 behind (+z) and 5 up.
    EXPECT_FLOAT_EQ(v.eye[0], 10);
    EXPECT_FLOAT_EQ(v.eye[1], 6);
    EXPECT_FLOAT_EQ(v.eye[2], 30);
    // At 30 ft/s and above the direction of travel alone counts.
    pose.velocity[0] = 40;
    camera_orbit_player(pose, 0, &v);
    EXPECT_NEAR(v.eye[0], 0, 1e-5);
    EXPECT_NEAR(v.eye[2], 20, 1e-5);
    camera_orbit_player(pose, 1, &v); // rigid: the bike's heading only
    EXPECT_FLOAT_EQ(v.eye[2], 30);
}

TEST(Cameras, FreeCameraFliesAndStaysAboveGround) {
    FreeCamera cam;
    float c[CONTROL_COUNT] = {};
    c[CONTROL_THROTTLE] = 1;
    camera_free_tick(&cam, c, nullptr);
    float speed = (80.0f - 60.0f) / 128;
    EXPECT_FLOAT_EQ(cam.speed, speed);
    EXPECT_FLOAT_EQ(cam.position[2], -speed / 128);
    EXPECT_FLOAT_EQ(cam.position[1], 2); // lifted to 2 over flat ground
    c[CONTROL_THROTTLE] = 0;
    c[CONTROL_STEER] = 1;
    camera_free_tick(&cam, c, nullptr);
    EXPECT_FLOAT_EQ(cam.yaw_rate, 3 * 3.14159265f / 8);
    c[CONTROL_STEER] = 0;
    c[CONTROL_SHIFT] = 1;
    for (int i = 0; i < 2000; i++) camera_free_tick(&cam, c, nullptr);
    EXPECT_LE(cam.pitch, 3.14159265f / 2 + 1e-6);
}

// A 128 ft field whose ground rises 1 ft for every foot of x, for the cameras below.
struct CamerasOnASlope : ::testing::Test {
    void SetUp() override {
        Terrain& t = g_terrain;
        terrain_free(&t);
        t.shift = 2;
        t.tiles = 4;
        t.samples = 9;
        t.spacing = 16;
        t.tile_size = 32;
        t.extent = 128;
        t.heights.resize(81);
        for (int j = 0; j < 9; j++)
            for (int i = 0; i < 9; i++) t.heights[i + 9 * j] = 16.0f * i;
    }
    void TearDown() override { terrain_free(&g_terrain); }
};

TEST_F(CamerasOnASlope, CamerasKeepAboveTheGroundUnderThem) {
    // On an even slope the circle's heights average out to the height under the point.
    EXPECT_NEAR(camera_ground_height(64, 64, 10), 64, 1e-3);
    // Beside a wall the mean is pulled up by the high side; it never drops below the ground.
    EXPECT_GE(camera_ground_height(120, 64, 10), terrain_height(&g_terrain, 120, 64) - 1e-3);

    // The orbit camera's eye stays 5 over the ground at the eye, not over height 0.
    OrbitCamera o;
    o.angle = 3.14159265f / 2; // the eye goes to +x of the target, uphill
    o.height = 0;
    float target[3] = {40, 40, 64};
    CameraView v;
    camera_orbit_view(o, target, &v);
    EXPECT_NEAR(v.eye[0], 50, 1e-3);
    EXPECT_GE(v.eye[1], 50 + 5 - 1e-3);

    // The free camera flying into the slope climbs with it.
    FreeCamera cam;
    cam.position[0] = 20, cam.position[1] = 21, cam.position[2] = 64;
    cam.yaw = -3.14159265f / 2; // looking along +x, uphill
    float c[CONTROL_COUNT] = {};
    c[CONTROL_THROTTLE] = 1;
    for (int i = 0; i < 128; i++) {
        camera_free_tick(&cam, c, nullptr);
        ASSERT_GE(cam.position[1], terrain_height(&g_terrain, cam.position[0], 64) + 2 - 1e-3);
    }
    EXPECT_GT(cam.position[0], 30);
}

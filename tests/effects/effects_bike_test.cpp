// Roost and engine sound on real bikes (the harness on a flat dirt field with the generated
// bikes): a spinning rear tyre throws roost from behind it, and neither the roost nor the
// engine sound allocates once running.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <vector>

#include "bike/bike.h"
#include "bike/bodypose.h"
#include "bike/contact.h"
#include "bike/harness.h"
#include "bike/step.h"
#include "core/maths.h"
#include "core/settings.h"
#include "data/datafile.h"
#include "data/model.h"
#include "data/shape.h"
#include "data/texture.h"
#include "effects/engine_sound.h"
#include "effects/roost.h"
#include "platform/audio.h"
#include "platform/log.h"
#include "platform/random.h"
#include "support/alloc_count.h"
#include "support/test_env.h"
#include "track/terrain.h"

namespace {

class EffectsOnBikes : public ::testing::Test {
  protected:
    void SetUp() override {
        log_setup(("DRUV_LOGFILE=" + test_dir() + "/log.txt").c_str());
        g_settings = Settings{};
        g_settings.headless = 1;
        setenv("QZ_HOME", VORNIX_BUILD_DIR "/data", 1);
        data_reset();
        bikes_reset();
        contacts_reset();
        engine_sounds_reset();
        harness_open();
        ASSERT_EQ(harness_flat_track(1024), 1);
        // The flat field's one surface throws plain dirt.
        RoostType& r = g_terrain.surfaces[0].roost[0];
        r.kind = ROOST_SLIP;
        r.texture = 1;
        r.count = 6;
        r.dig = 1;
        roost_reset();
        random_seed(11);
    }
    void TearDown() override {
        harness_close();
        texture_reset();
        model_reset();
        shape_reset();
        contacts_reset();
        roost_reset();
        audio_close();
        g_settings = Settings{};
    }
    // Half a second to settle on the ground, then full throttle from a standstill for `ticks`
    // ticks, roost thrown after each tick's contacts as the race does.
    void launch(Bike* bike, int ticks) {
        harness_run(64);
        for (int t = 0; t < ticks; t++) {
            bike_set_clutch(bike, 1);
            bike_set_throttle(bike, 1);
            harness_tick();
            roost_emit(bike);
            roost_update();
        }
    }
};

} // namespace

TEST_F(EffectsOnBikes, ASpinningRearTyreThrowsRoostFromBehindIt) {
    Bike* bike = harness_add_bike("crf250(2009)", 512, 512, 0); // faces -z
    ASSERT_NE(bike, nullptr);
    launch(bike, 96);
    ASSERT_GT(g_roost.live_count, 20);
    float rear[3], rot[9];
    bike_body_pose(bike, BODY_REAR_WHEEL, rear, rot);
    int behind = 0, rising = 0;
    for (int i = g_roost.live_head; i != ROOST_NONE; i = g_roost.particles[i].next) {
        const RoostParticle& p = g_roost.particles[i];
        behind += p.position[2] > rear[2];
        rising += p.velocity[1] > 0;
    }
    EXPECT_GT(behind, g_roost.live_count * 9 / 10);
    EXPECT_GT(rising, 0);
    // The front wheel rolls: its contact point does not slide, so all of it is the rear's.
    EXPECT_LT(vec3f_length(bike->wheels[0].contact_velocity), 4.0f);
}

TEST_F(EffectsOnBikes, RoostAndEngineSoundAllocateNothingOnceRunning) {
    g_settings.erode = 1;
    g_settings.roost_frequency = 1000;
    ASSERT_EQ(audio_open_readback(88200, 690), 1);
    std::vector<EngineSound*> sounds;
    for (int i = 0; i < 4; i++) {
        Bike* b = harness_add_bike(i % 2 ? "yz125" : "kx250f(2009)", 400 + 8.0f * i, 600, 0);
        ASSERT_NE(b, nullptr);
        sounds.push_back(engine_sound_create(b, nullptr));
        ASSERT_NE(sounds.back(), nullptr);
    }
    EngineListener ear;
    ear.eye[0] = 420, ear.eye[1] = 5, ear.eye[2] = 610;
    auto run = [&](int frames) {
        for (int f = 0; f < frames; f++) {
            for (int t = 0; t < 2; t++) {
                for (Bike* b : g_harness.bikes) {
                    bike_set_clutch(b, 1);
                    bike_set_throttle(b, 1);
                }
                harness_tick();
                for (Bike* b : g_harness.bikes) roost_emit(b);
                roost_update();
                ASSERT_NE(audio_read(), nullptr);
            }
            for (size_t i = 0; i < sounds.size(); i++)
                engine_sound_update(g_harness.bikes[i], sounds[i], 1.0f, ear);
            audio_commit();
        }
    };
    run(32); // everything that grows once has grown
    long live_before = g_roost.live_count;
    alloc_count_begin();
    run(128);
    EXPECT_EQ(alloc_count_end(), 0);
    EXPECT_GT(live_before + g_roost.live_count, 0);
    EXPECT_TRUE(g_terrain.modified);
    for (EngineSound* s : sounds) engine_sound_free(s);
}

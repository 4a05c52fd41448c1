// Determinism: a fixed scripted ride run twice gives the same state of every body, tick for
// tick; a different script does not. And the tick allocates nothing of its own.
#include <gtest/gtest.h>

#include <cmath>
#include <cstddef>
#include <cstdlib>
#include <vector>

#include "core/settings.h"
#include "bike/bike.h"
#include "bike/contact.h"
#include "bike/drivetrain.h"
#include "bike/harness.h"
#include "bike/step.h"
#include "bike/world.h"
#include "data/datafile.h"
#include "data/model.h"
#include "data/shape.h"
#include "data/texture.h"
#include "platform/log.h"
#include "support/alloc_count.h"
#include "support/test_env.h"

namespace {

constexpr int TICKS = 6 * 128;

class Determinism : public ::testing::Test {
  protected:
    void SetUp() override {
        log_setup(("DRUV_LOGFILE=" + test_dir() + "/log.txt").c_str());
        g_settings.headless = 1;
        setenv("QZ_HOME", VORNIX_BUILD_DIR "/data", 1);
        data_reset();
        bikes_reset();
        contacts_reset();
    }
    void TearDown() override {
        harness_close();
        texture_reset();
        model_reset();
        shape_reset();
        contacts_reset();
        g_settings.headless = 0;
    }
};

// Three bikes on rabbithill's start straight, each with its own scripted controls: throttle
// and clutch, a weave of the bars, a shift, the brakes at the end; two of them close enough to
// touch. Returns the hash of every body after each second.
std::vector<uint64_t> scripted_ride(float weave) {
    std::vector<uint64_t> hashes;
    harness_open();
    if (!harness_load_track("rabbithill")) return hashes;
    static const char* const NAMES[3] = {"crf250(2009)", "yz125", "kx250f(2009)"};
    for (int i = 0; i < 3; i++) harness_add_bike(NAMES[i], 685.65f + 3.3f * i, 1850.625f, 0);
    for (int t = 0; t < TICKS; t++) {
        for (size_t i = 0; i < g_harness.bikes.size(); i++) {
            Bike* b = g_harness.bikes[i];
            float phase = (float)t / 128 + (float)i;
            bike_set_clutch(b, t < 64 ? 0.0f : 1.0f);
            bike_set_throttle(b, t < 5 * 128 ? 0.6f + 0.1f * (float)i : 0.0f);
            bike_set_steer(b, weave * sinf(phase * 3));
            bike_shift(b, (t / 200) % 2);
            bike_set_front_brake(b, t >= 5 * 128 ? 1.0f : 0.0f);
            bike_set_rear_brake(b, t >= 5 * 128 ? 0.5f : 0.0f);
        }
        harness_tick();
        if (t % 128 == 127) hashes.push_back(harness_state_hash());
    }
    harness_close();
    return hashes;
}

} // namespace

TEST_F(Determinism, TheSameScriptGivesTheSameBodiesTickForTick) {
    std::vector<uint64_t> first = scripted_ride(0.2f);
    ASSERT_EQ(first.size(), (size_t)(TICKS / 128));
    std::vector<uint64_t> second = scripted_ride(0.2f);
    EXPECT_EQ(first, second);
    // A slightly different script leads somewhere else.
    std::vector<uint64_t> other = scripted_ride(0.21f);
    ASSERT_EQ(other.size(), first.size());
    EXPECT_NE(other.back(), first.back());
}

TEST_F(Determinism, TheTickAllocatesNothingOfItsOwn) {
    harness_open();
    ASSERT_EQ(harness_flat_track(1024), 1);
    for (int i = 0; i < 4; i++)
        ASSERT_NE(harness_add_bike(nullptr, 400 + 8.0f * i, 500, 0), nullptr);
    g_harness.statues = 1;
    for (Bike* b : g_harness.bikes) {
        bike_set_clutch(b, 1);
        bike_set_throttle(b, 1);
    }
    harness_run(64); // lists that grow once have grown
    alloc_count_begin();
    harness_run(256);
    EXPECT_EQ(alloc_count_end(), 0);
}

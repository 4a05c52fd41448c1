// Determinism: a fixed scripted ride run twice gives the same state of every body, tick for
// tick; a different script does not; the contacts' early-outs change nothing in a crowded
// start of 40 bikes. And the tick allocates nothing of its own.
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
#include "track/gates.h"
#include "track/objects.h"

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

int pair_contacts_seen = 0;
void count_pair_contact(Bike*) {
    pair_contacts_seen++;
}

// Forty bikes on rabbithill: 32 side by side on the start grid and 8 each a few feet from a
// hay bale and facing it, all with the throttle open and the bars weaving, so bikes run into
// bikes and into statues. The state hash after every tick; *statues_hit counts the statues
// stamped, *bodies_down the bikes whose body shapes (not their tyres) met the ground.
std::vector<uint64_t> crowded_start(int ticks, int* statues_hit, int* bodies_down) {
    std::vector<uint64_t> hashes;
    harness_open();
    if (!harness_load_track("rabbithill") || g_gates.slot_count <= 0 ||
        g_objects.statues.size() < (size_t)g_gates.slot_count + 8 * 20)
        return hashes;
    g_harness.statues = 1;
    static const char* const NAMES[5] = {"crf250(2009)", "yz125", "kx250f(2009)", "rmz250(2008)",
                                         "cr125"};
    for (int i = 0; i < 40; i++) {
        float x, z, heading;
        if (i < 32) {
            const StartSlot& slot = g_gates.slots[i % g_gates.slot_count];
            float back = 10.0f * ((float)(i / g_gates.slot_count) + 0.0625f);
            x = slot.x + back * sinf(slot.angle), z = slot.z + back * cosf(slot.angle);
            heading = slot.angle;
        } else {
            // Six feet from a bale (the statues after the start gates), facing it.
            const Statue& bale = g_objects.statues[g_gates.slot_count + 20 * (i - 32)];
            x = bale.x + 6, z = bale.z + 1;
            heading = atan2f(-(bale.x - x), -(bale.z - z));
        }
        harness_add_bike(NAMES[i % 5], x, z, heading);
    }
    for (int t = 0; t < ticks; t++) {
        for (size_t i = 0; i < g_harness.bikes.size(); i++) {
            Bike* b = g_harness.bikes[i];
            bike_set_clutch(b, 1);
            bike_set_throttle(b, 0.6f + 0.1f * (float)(i % 4));
            bike_set_steer(b, i < 32 ? 0.3f * sinf((float)t / 40 + (float)i) : 0.0f);
        }
        harness_tick();
        hashes.push_back(harness_state_hash());
    }
    *statues_hit = 0;
    for (const Statue& s : g_objects.statues) *statues_hit += s.last_contact >= 0;
    *bodies_down = 0;
    for (const Bike* b : g_harness.bikes) *bodies_down += b->touched != 0;
    harness_close();
    return hashes;
}

} // namespace

TEST_F(Determinism, EarlyOutsChangeNothingInACrowdedStart) {
    g_contacts.line_disturbed = count_pair_contact;
    const int ticks = 384;
    int statues_on = 0, statues_off = 0, down_on = 0, down_off = 0;
    std::vector<uint64_t> on = crowded_start(ticks, &statues_on, &down_on);
    ASSERT_EQ(on.size(), (size_t)ticks);
    // The start is crowded: bikes met bikes and statues, and some went down on the ground.
    EXPECT_GT(pair_contacts_seen, 0);
    EXPECT_GT(statues_on, 0);
    EXPECT_GT(down_on, 0);
    g_contacts.early_outs = 0;
    std::vector<uint64_t> off = crowded_start(ticks, &statues_off, &down_off);
    ASSERT_EQ(off.size(), on.size());
    for (int t = 0; t < ticks; t++) ASSERT_EQ(off[t], on[t]) << "tick " << t;
    EXPECT_EQ(statues_off, statues_on);
    EXPECT_EQ(down_off, down_on);
}

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

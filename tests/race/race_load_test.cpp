// Forty riders racing on the generated "rabbithill" through the game's own race tick: the
// contacts found on 1, 2 and 8 threads give the same bodies at every tick and the same demo
// file byte for byte, and once the race runs the tick allocates nothing, counted at the C
// library's allocator. Until robots drive themselves the riders are robots driven by a script
// here: throttle, a weave of the bars each at its own phase, and the gates dropping after
// 3/4 s, so the grid rows run into each other and into the start gates.
#include <ode/ode.h>

#include <cmath>
#include <cstdio>

#include "bike/contact.h"
#include "bike/step.h"
#include "platform/workers.h"
#include "race/hooks.h"
#include "race/rabbithill_util.h"
#include "support/alloc_count.h"

using namespace racetest;

namespace {

constexpr int GATE_DROP = 96; // ticks after the start of the session

void scripted_drive(int slot) {
    Bike* b = g_session.slots[slot].bike;
    float t = (float)g_session.session_clock / 128;
    bike_set_clutch(b, 1);
    bike_set_throttle(b, 0.5f + 0.1f * (float)(slot % 5));
    bike_set_steer(b, 0.25f * sinf(1.7f * t + 0.9f * (float)slot));
    bike_set_front_brake(b, 0);
    bike_set_rear_brake(b, 0);
}

void hash_bytes(uint64_t* h, const void* data, size_t n) {
    const unsigned char* p = (const unsigned char*)data;
    for (size_t i = 0; i < n; i++) {
        *h ^= p[i];
        *h *= 1099511628211ull;
    }
}

// Every body's position, orientation and velocities, and each rider's drive state.
uint64_t race_hash() {
    uint64_t h = 14695981039346656037ull;
    for (const RiderSlot& r : g_session.slots) {
        if (!r.bike) continue;
        for (dBodyID body : r.bike->bodies) {
            hash_bytes(&h, dBodyGetPosition(body), 3 * sizeof(dReal));
            hash_bytes(&h, dBodyGetQuaternion(body), 4 * sizeof(dReal));
            hash_bytes(&h, dBodyGetLinearVel(body), 3 * sizeof(dReal));
            hash_bytes(&h, dBodyGetAngularVel(body), 3 * sizeof(dReal));
        }
        hash_bytes(&h, &r.bike->engine_speed, sizeof r.bike->engine_speed);
        hash_bytes(&h, &r.bike->crash_countdown, sizeof r.bike->crash_countdown);
    }
    return h;
}

int bike_contacts_seen = 0;
void count_bike_contact(Bike*) {
    bike_contacts_seen++;
}

struct RaceLoad : RaceOnRabbitHill {
    void SetUp() override {
        RaceOnRabbitHill::SetUp();
        RaceRobotHooks robots;
        robots.drive = scripted_drive;
        race_set_robot_hooks(&robots);
        bike_contacts_seen = 0;
    }
    void TearDown() override {
        workers_stop();
        race_set_robot_hooks(nullptr);
        RaceOnRabbitHill::TearDown();
    }

    // Starts a two-lap race of 40 robots, recording the demo when asked, with the gates
    // dropping at GATE_DROP.
    static void start_race(int record) {
        int table[MAX_RIDERS];
        for (int& code : table) code = RIDER_CODE_ROBOT;
        ASSERT_TRUE(session_start(table, 0, record, 0, 2, 0));
        int riders = 0;
        for (const RiderSlot& r : g_session.slots) riders += r.bike != nullptr;
        ASSERT_EQ(riders, MAX_RIDERS);
        g_session_data.start_tick = GATE_DROP;
    }

    // One recorded race of `ticks` ticks on `threads` threads from a fresh session: the hash
    // after every tick, and the demo file's bytes.
    static std::vector<uint64_t> recorded_race(int threads, int ticks, std::string* demo) {
        std::vector<uint64_t> hashes;
        workers_start(threads);
        start_race(1);
        for (int t = 0; t < ticks; t++) {
            session_tick();
            hashes.push_back(race_hash());
        }
        demo_record_stop();
        *demo = read_file(test_user_dir() + "demos/default.qzdemo");
        remove((test_user_dir() + "demos/default.qzdemo").c_str());
        // The next race starts as this one did: no riders, the session clock at 0 (the
        // random generator is seeded with it).
        session_free_riders();
        session_reset();
        results_reset();
        workers_stop();
        return hashes;
    }
};

TEST_F(RaceLoad, OneTwoAndEightThreadsRaceTheSameRaceByteForByte) {
    g_contacts.line_disturbed = count_bike_contact;
    const int ticks = 384;
    std::string demo1, demo2, demo8;
    std::vector<uint64_t> one = recorded_race(1, ticks, &demo1);
    ASSERT_EQ(one.size(), (size_t)ticks);
    // The riders did meet each other: the test covers the pair contacts.
    EXPECT_GT(bike_contacts_seen, 0);
    std::vector<uint64_t> two = recorded_race(2, ticks, &demo2);
    std::vector<uint64_t> eight = recorded_race(8, ticks, &demo8);
    for (int t = 0; t < ticks; t++) {
        ASSERT_EQ(two[t], one[t]) << "2 threads, tick " << t;
        ASSERT_EQ(eight[t], one[t]) << "8 threads, tick " << t;
    }
    // Header, track and rider blocks, then 40 records of 39 bytes per tick.
    ASSERT_GT(demo1.size(), (size_t)40 * 39 * ticks);
    EXPECT_TRUE(demo2 == demo1);
    EXPECT_TRUE(demo8 == demo1);
    g_contacts.line_disturbed = nullptr;
}

TEST_F(RaceLoad, TheRaceTickAllocatesNothing) {
    if (!malloc_count_available()) GTEST_SKIP() << "this build cannot count the C allocator";
    workers_start(2);
    start_race(1);
    // Lists that grow once (the contact records, the roost particles, the demo's buffer) have
    // grown by the time the gates are down and the field is moving.
    for (int t = 0; t < GATE_DROP + 128; t++) session_tick();
    malloc_count_begin();
    alloc_count_begin();
    for (int t = 0; t < 256; t++) session_tick();
    long news = alloc_count_end();
    long mallocs = malloc_count_end();
    EXPECT_EQ(news, 0);
    EXPECT_EQ(mallocs, 0);
}

} // namespace

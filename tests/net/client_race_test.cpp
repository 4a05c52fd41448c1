// The network client with a real race session on the generated "rabbithill": the network
// start and the track digest check, remote riders placed from their states (at once while
// racing, a second back while watching) without allocating, and this rider's states and gate
// crossings going out.
#include <gtest/gtest.h>

#include <array>
#include <cmath>

#include "bike/bodypose.h"
#include "bike/step.h"
#include "net/net_test_util.h"
#include "race/hooks.h"
#include "race/rabbithill_util.h"
#include "support/alloc_count.h"
#include "track/gates.h"
#include "track/terrain.h"
#include "track/track.h"

using namespace nettest;

namespace {

struct NetRaceTest : racetest::RaceOnRabbitHill {
    FakeServer server;
    double t = 1.0;
    uint8_t digest[20] = {};

    void SetUp() override {
        RaceOnRabbitHill::SetUp();
        net_reset();
        messages_clear();
        snapshot_history_reset();
        race_set_net_hooks(net_race_hooks());
        // The server's digest: the track as this machine has it.
        g_track.name = "rabbithill";
        ASSERT_TRUE(track_load());
        memcpy(digest, g_track.digest, 20);
        track_free();
    }
    void TearDown() override {
        net_reset();
        net_cleanup();
        race_set_net_hooks(nullptr);
        RaceOnRabbitHill::TearDown();
    }
    void step(double dt = 1.0 / 128) {
        t += dt;
        step_at(t);
    }
    // Accepted in slot 2, race 7 set up with the given digest, rider 5 announced, then START
    // with the grid place `rider` (40 to watch).
    void start(int rider, const uint8_t* with_digest) {
        net_connect(server.address().c_str());
        step();
        server.drain();
        server.send(accept_packet(2, 0xBEEF));
        step();
        server.send(race_setup_packet(7, "rabbithill", 2, 0, 1280, with_digest));
        step();
        server.send(
            rider_packet(PKT_RIDER_INFO, 7, 5, "crf250(2009)|||@wheels-gold.png|\n55\nFive"));
        step();
        server.drain();
        server.send(rider_packet(PKT_START, 7, (uint32_t)rider, "crf250(2009)||||\n999\nMe"));
        step();
    }
    // A STATE of race 7 with one entry for slot 5.
    static Bytes state(uint32_t tick, const uint8_t* record, uint32_t server_tick = 2000) {
        Bytes b = {PKT_STATE};
        word(&b, 7);
        word(&b, server_tick);
        word(&b, 0);
        word(&b, 1);
        word(&b, 5u | 3u << 6);
        word(&b, tick);
        b.insert(b.end(), record, record + 39);
        return b;
    }
    // The local bike's record with the frame's x code replaced.
    static void record_at_x(uint32_t code, uint8_t out[39]) {
        snapshot_pack(g_session.slots[2].bike, out);
        out[0] = (uint8_t)code;
        out[1] = (uint8_t)(code >> 8);
        out[2] = (uint8_t)(code >> 16);
    }
    static float frame_x(int slot) {
        float p[3];
        bike_frame_position(g_session.slots[slot].bike, p);
        return p[0];
    }
};

} // namespace

TEST_F(NetRaceTest, StartRunsANetworkRaceOnTheServersTrack) {
    start(1, digest);
    EXPECT_EQ(g_net.state, NET_READY);
    EXPECT_EQ(posted_count("Client track modified - does not match server's track (rabbithill)"),
              0);
    EXPECT_EQ(server.drain_type(PKT_READY).size(), 1u);
    EXPECT_TRUE(g_session.multiplayer);
    EXPECT_TRUE(g_session.net_in_race);
    EXPECT_EQ(g_session.start_tick, 1280);
    EXPECT_EQ(g_session.final_lap, 2);
    EXPECT_TRUE(g_terrain.deformation_locked);
    // This player in its slot 2, on grid place 1; the announced rider in slot 5, parked.
    ASSERT_NE(g_session.slots[2].bike, nullptr);
    EXPECT_EQ(g_session.slots[2].kind, RIDER_LOCAL);
    ASSERT_NE(g_session.slots[5].bike, nullptr);
    EXPECT_EQ(g_session.slots[5].kind, RIDER_REMOTE);
    EXPECT_STREQ(bike_plate_text(g_session.slots[5].bike), "55");
    EXPECT_EQ(g_session.slots[5].wheel_graphics, "@wheels-gold.png");
    // Both bikes are the same model facing the same way, so their frames sit at the same
    // offset from where they were put.
    float remote[3], local[3];
    bike_frame_position(g_session.slots[5].bike, remote);
    bike_frame_position(g_session.slots[2].bike, local);
    const StartSlot& s1 = g_gates.slots[1];
    ASSERT_EQ(s1.angle, 0.0f);
    EXPECT_NEAR(remote[0] - (25 + 25 * 5), local[0] - s1.x, 0.01);
    EXPECT_NEAR(remote[2] - 25, local[2] - (s1.z + 10 * 0.0625f), 0.01);
}

TEST_F(NetRaceTest, AnotherDigestDisconnects) {
    uint8_t other[20];
    memcpy(other, digest, 20);
    other[19] ^= 1;
    start(0, other);
    EXPECT_EQ(posted_count("Client track modified - does not match server's track (rabbithill)"),
              1);
    EXPECT_EQ(g_net.state, NET_DISCONNECTING);
    EXPECT_EQ(server.drain_type(PKT_DISCONNECT).size(), 1u);
}

TEST_F(NetRaceTest, RacingAppliesStatesAtOnceWithoutAllocating) {
    start(0, digest);
    uint8_t rec[39];
    uint32_t code = 8000000;
    record_at_x(code, rec);
    server.send(state(1000, rec));
    step();
    ASSERT_EQ(g_net.state, NET_CONNECTED);
    EXPECT_EQ(g_session.session_clock, 2000); // the first STATE set the clock
    float x = g_terrain.extent * (float)code / 16777215.0f;
    EXPECT_NEAR(frame_x(5), x, 0.01);
    // The next states, received and applied, allocate nothing.
    for (int i = 1; i <= 8; i++) {
        record_at_x(code + 20000u * i, rec);
        server.send(state(1000 + 4 * i, rec));
    }
    sleep_for(0, 2000);
    alloc_count_begin();
    step();
    EXPECT_EQ(alloc_count_end(), 0);
    EXPECT_EQ(g_net.slots[5].last_rx_tick, 1032u);
    EXPECT_NEAR(frame_x(5), g_terrain.extent * (float)(code + 160000) / 16777215.0f, 0.01);
    // Between states the race tick moves the rider on along its velocity (here 0: the records
    // moved it in steps of 4 ticks, so it has the speed of those steps).
    float before = frame_x(5);
    session_set_clock(1032 + 10);
    race_net_hooks().apply_states();
    EXPECT_GT(frame_x(5), before);
}

TEST_F(NetRaceTest, WatchersSeeTheRaceOneSecondBehind) {
    start(40, digest);
    EXPECT_FALSE(g_session.net_in_race);
    uint8_t a[39], b[39];
    record_at_x(4000000, a);
    record_at_x(4400000, b);
    server.send(state(1000, a, 1200));
    server.send(state(1004, b, 1200));
    step();
    ASSERT_EQ(g_net.state, NET_CONNECTED);
    // Not applied on arrival while watching.
    EXPECT_NEAR(frame_x(5), 25 + 25 * 5, 1.0);
    // At local tick 1129 the rider is shown at tick 1002: half way between the records.
    session_set_clock(1002 + 127);
    race_net_hooks().apply_states();
    EXPECT_NEAR(frame_x(5), g_terrain.extent * 4200000.0f / 16777215.0f, 0.01);
    EXPECT_TRUE(net_warmup());
}

TEST_F(NetRaceTest, ThisRidersStatesAndCrossingsGoOut) {
    start(0, digest);
    server.send(clock_packet(7, 1600));
    step();
    ASSERT_EQ(g_net.state, NET_CONNECTED);
    server.drain();
    // Eight ticks of the race: STATE on the two local ticks that are multiples of 4.
    for (int i = 0; i < 8; i++) {
        step();
        session_tick();
    }
    std::vector<Bytes> states = server.drain_type(PKT_STATE);
    ASSERT_EQ(states.size(), 2u);
    EXPECT_EQ(states[0].size(), 60u);
    EXPECT_EQ(word_at(states[0], 1), 2u);      // slot
    EXPECT_EQ(word_at(states[0], 5), 0xBEEFu); // key
    EXPECT_EQ(word_at(states[0], 9), 7u);      // race
    EXPECT_EQ(word_at(states[0], 13), 1600u);  // echo: the highest server tick heard
    EXPECT_EQ(word_at(states[0], 17) % 4, 0u); // local tick
    // The snapshot is this rider's, as the history has it at that tick.
    uint8_t rec[39];
    snapshot_history_sample(2, (int)word_at(states[1], 17), g_session.slots[2].bike, rec);
    EXPECT_EQ(Bytes(states[1].begin() + 21, states[1].end()), Bytes(rec, rec + 39));

    // Through the first gate: MESSAGE sub-type 21 with race 7, crossing 0 and its tick.
    teleport(2, 0);
    step();
    session_tick();
    ASSERT_EQ(g_session.slots[2].gates_passed, 1);
    int tick = g_session.slots[2].gate_times[0];
    step(); // queued
    step(); // sent
    std::vector<Bytes> msgs = server.drain_type(PKT_MESSAGE);
    ASSERT_EQ(msgs.size(), 1u);
    Bytes expect = {17, 2, 0, 0, 0, 0xEF, 0xBE, 0, 0, 0, 0, 0, 0, 21};
    word(&expect, 7);
    word(&expect, 0);
    word(&expect, (uint32_t)tick);
    EXPECT_EQ(msgs[0], expect);

    // Changed rider details go out as MESSAGE sub-type 3 once the menus say so.
    server.send(Bytes{PKT_ACK, 0, 0, 0, 0});
    step();
    net_info_changed();
    step();
    step();
    msgs = server.drain_type(PKT_MESSAGE);
    ASSERT_EQ(msgs.size(), 1u);
    EXPECT_EQ(msgs[0][13], 3);
    EXPECT_EQ(word_at(msgs[0], 9), 1u); // the second message
}

TEST_F(NetRaceTest, ARiderWhoseStatesComeLateFollowsItsSender) {
    // The sender is this client's own bike riding under throttle, shifted 49 ft aside; its
    // states come every 4 ticks and 12 ticks late, so between them the remote rider is
    // extrapolated well ahead of the newest state. Velocities taken from the extrapolated
    // place instead of the previous state would grow by 12/4 at every state.
    start(0, digest);
    server.send(clock_packet(7, 1300)); // just after the gates dropped
    step();
    ASSERT_EQ(g_net.state, NET_CONNECTED);
    Bike* me = g_session.slots[2].bike;
    const uint32_t SHIFT = 400000;
    float shift = g_terrain.extent * (float)SHIFT / 16777215.0f;
    std::vector<std::array<float, 3>> path; // the sender's frame position at every tick
    for (int i = 0; i < 5 * 128; i++) {
        bike_set_throttle(me, 1);
        bike_set_clutch(me, 1);
        float p[3];
        bike_frame_position(me, p);
        path.push_back({p[0], p[1], p[2]});
        int clock = g_session.session_clock;
        if (clock % 4 == 0) {
            uint8_t rec[39];
            snapshot_history_sample(2, clock - 12, me, rec);
            uint32_t x = (rec[0] | rec[1] << 8 | rec[2] << 16) + SHIFT;
            rec[0] = (uint8_t)x, rec[1] = (uint8_t)(x >> 8), rec[2] = (uint8_t)(x >> 16);
            server.send(state((uint32_t)(clock - 12), rec, (uint32_t)clock));
        }
        step();
        session_tick();
    }
    EXPECT_EQ(racetest::log_text().find("non-finite"), std::string::npos);
    // Where the sender was one tick ago (the remote was placed before this tick's world step).
    const std::array<float, 3>& at = path[path.size() - 1];
    float r[3];
    bike_frame_position(g_session.slots[5].bike, r);
    EXPECT_NEAR(r[0], at[0] + shift, 6.0);
    EXPECT_NEAR(r[2], at[2], 6.0);
    EXPECT_GT(std::fabs(at[2] - path[0][2]), 100.0f); // and the sender did ride
}

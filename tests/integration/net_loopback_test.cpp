// The game's network client and our race server in one process over loopback, on one clock the
// test moves: the client joins, warms up, races a lap of Rabbit Hill against a second rider
// (a bare socket speaking the protocol), sees that rider move, and the server writes the
// results. A flood of junk datagrams meanwhile does not hold the race up.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>

#include "bike/bodypose.h"
#include "bike/step.h"
#include "net/client.h"
#include "net/client_internal.h"
#include "net/sim_client.h"
#include "platform/messages.h"
#include "race/hooks.h"
#include "race/rabbithill_util.h"
#include "replay/snapshot.h"
#include "track/gates.h"
#include "track/terrain.h"

using namespace simnet;

namespace {

// The second rider: answers every packet as the game's client would and, once the race clock
// runs, sends a state every 4 ticks: the record it is given, and its crossings.
struct ScriptedRider {
    SimClient c;
    uint32_t race = 0;
    bool racing = false, in_race = false;
    uint32_t clock = 0; // the server's tick as last heard
    explicit ScriptedRider(int port) : c(port) {}
    void contact() {
        Bytes b = {PKT_CONTACT};
        word(&b, 0);
        word(&b, 0);
        word(&b, 4);
        c.send(b);
    }
    void react() {
        for (const Bytes& p : c.drain()) {
            switch (p[0]) {
            case PKT_ACCEPT: {
                c.slot = (int)word_at(p, 1);
                c.key = word_at(p, 5);
                Bytes info = c.head(PKT_CLIENT_INFO);
                info.resize(41, 0);
                for (char ch : std::string("kx125||||\n77\nBot")) info.push_back((uint8_t)ch);
                c.send(info);
                break;
            }
            case PKT_RACE_SETUP:
                race = word_at(p, 1);
                racing = false;
                c.send_word(PKT_TRACK_ACK, race);
                break;
            case PKT_RIDER_INFO: {
                Bytes ack = c.head(PKT_RIDER_ACK);
                word(&ack, race);
                word(&ack, word_at(p, 5));
                c.send(ack);
                break;
            }
            case PKT_START:
                in_race = word_at(p, 5) < MAX_RIDERS;
                c.send_word(PKT_READY, race);
                break;
            case PKT_CLOCK:
            case PKT_STATE:
                if (word_at(p, 1) == race) {
                    racing = true;
                    clock = std::max(clock, word_at(p, 5));
                }
                break;
            case PKT_RESTART:
                race = word_at(p, 1);
                c.send_word(PKT_RESTART, race);
                break;
            default:
                break;
            }
        }
    }
};

struct NetLoopback : racetest::RaceOnRabbitHill {
    std::unique_ptr<Server> server = std::make_unique<Server>();
    double t = 1.0;
    void SetUp() override {
        RaceOnRabbitHill::SetUp();
        net_reset();
        messages_clear();
        snapshot_history_reset();
        race_set_net_hooks(net_race_hooks());
        ServerOptions o;
        o.port = 0;
        o.tracks = {"rabbithill"};
        o.laps = 1;
        o.riders = 2;
        o.countdown = 1;
        o.results = test_dir() + "/results";
        server->opt = o;
        std::string error;
        // The server learns its tracks before the client loads anything of its own.
        ASSERT_TRUE(server_load_tracks(server.get(), &error)) << error;
        ASSERT_TRUE(server_open(server.get(), o, t, &error)) << error;
    }
    void TearDown() override {
        net_reset();
        if (server->sock >= 0) server_close(server.get());
        race_set_net_hooks(nullptr);
        RaceOnRabbitHill::TearDown();
    }
    // One tick of everything, as the main loop runs the client.
    void tick(ScriptedRider* bot) {
        t += 1.0 / 128;
        server_step(server.get(), t);
        g_messages.elapsed_time = t;
        net_step();
        if (net_server_tick() > 0) session_tick();
        if (bot) bot->react();
    }
};

} // namespace

TEST_F(NetLoopback, AClientRacesALapAgainstAnotherRiderAndTheServerWritesTheResults) {
    net_connect(("127.0.0.1:" + std::to_string(server->port)).c_str());
    ScriptedRider bot(server->port);
    bot.contact();
    // Both warm up; with two riding the race is set up; everyone is ready and the clock runs.
    for (int i = 0; i < 20 * 128 && !(g_net.state == NET_CONNECTED && g_net.my_rider != NO_SLOT);
         i++)
        tick(&bot);
    ASSERT_EQ(g_net.state, NET_CONNECTED);
    ASSERT_EQ(server->phase, PHASE_RACE);
    EXPECT_TRUE(bot.in_race);
    int me = g_net.my_slot, other = bot.c.slot;
    ASSERT_NE(g_session.slots[other].bike, nullptr);
    EXPECT_EQ(g_session.slots[other].kind, RIDER_REMOTE);
    EXPECT_STREQ(bike_plate_text(g_session.slots[other].bike), "77");

    // Until the gates drop, then along the course: this rider is put past each gate in turn;
    // the other rider's states place it 30 ft to the side of where this one was a moment ago.
    while (g_session.session_clock <= g_session.start_tick) tick(&bot);
    int f = g_session.first_lap;
    ASSERT_GT(f, 0);
    float last_sent[3] = {0, 0, 0};
    // The other rider's state: where this one is, 30 ft to the side.
    auto send_bot_state = [&] {
        uint8_t rec[39];
        snapshot_pack(g_session.slots[me].bike, rec);
        uint32_t x = (rec[0] | rec[1] << 8 | rec[2] << 16) + 250000;
        rec[0] = (uint8_t)x, rec[1] = (uint8_t)(x >> 8), rec[2] = (uint8_t)(x >> 16);
        Bytes s = bot.c.head(PKT_STATE);
        word(&s, bot.race);
        word(&s, bot.clock);
        word(&s, (uint32_t)g_session.session_clock);
        s.insert(s.end(), rec, rec + 39);
        bot.c.send(s);
        session_rider_position(me, last_sent);
        last_sent[0] += g_terrain.extent * 250000.0f / 16777215.0f;
    };
    for (int p = 0; p < f; p++) {
        teleport(me, p);
        for (int k = 0; k < 8; k++) {
            if (bot.racing && g_session.session_clock % 4 == 0) send_bot_state();
            tick(&bot);
        }
    }
    // This rider's lap is done, crossed at the server's ticks.
    EXPECT_EQ(rider_laps(me), 1);
    // The other rider stops beside this one: two equal states, and it stands where they say.
    for (int i = 0; i < 8; i++) {
        if (g_session.session_clock % 4 == 0) {
            bike_set_throttle(g_session.slots[me].bike, 0);
            send_bot_state();
        }
        tick(&bot);
    }
    float seen[3];
    ASSERT_TRUE(session_rider_position(other, seen));
    EXPECT_NEAR(seen[0], last_sent[0], 2);
    EXPECT_NEAR(seen[2], last_sent[2], 2);
    for (int i = 0; i < 128; i++) tick(&bot);
    ASSERT_EQ((int)server->roster[me].crossings.size(), f);
    EXPECT_EQ(server->roster[me].crossings[(size_t)f - 1],
              g_session.slots[me].gate_times[(size_t)f - 1]);
    EXPECT_EQ(server->phase, PHASE_RACE); // the other rider still rides

    // The other rider crosses the line later; the race is over and the results are written.
    Bytes cross;
    word(&cross, bot.race);
    word(&cross, (uint32_t)(f - 1));
    word(&cross, (uint32_t)g_session.session_clock);
    bot.c.send_message(MSG_CROSSINGS, cross);
    for (int i = 0; i < 64; i++) tick(&bot);
    EXPECT_EQ(server->phase, PHASE_FINISHED);
    // Its crossing reached this client too.
    EXPECT_EQ(rider_gates(other), f);
    char name[64];
    snprintf(name, sizeof name, "/results/race-%04u-rabbithill.txt", server->race_id);
    std::vector<std::string> lines = split_lines(read_file(test_dir() + name));
    ASSERT_EQ(lines.size(), 7u);
    EXPECT_EQ(lines[2], "Ended: finished");
    EXPECT_EQ(lines[5].substr(0, 10), "1    999  ");
    EXPECT_EQ(lines[6].substr(0, 10), "2    77   ");
}

TEST_F(NetLoopback, AFloodOfJunkDoesNotHoldTheRaceUp) {
    net_connect(("127.0.0.1:" + std::to_string(server->port)).c_str());
    ScriptedRider bot(server->port);
    bot.contact();
    for (int i = 0; i < 20 * 128 && !(g_net.state == NET_CONNECTED && g_net.my_rider != NO_SLOT);
         i++)
        tick(&bot);
    ASSERT_EQ(g_net.state, NET_CONNECTED);
    // Two seconds of racing with a junk sender firing 200 datagrams a tick (25,600 a second)
    // of every type and size, forged slots and keys included.
    SimClient junk(server->port);
    std::mt19937 rng(7);
    uint32_t local_before = g_net.server_tick;
    int rx_before = (int)g_net.slots[bot.c.slot].last_rx_tick;
    for (int i = 0; i < 2 * 128; i++) {
        for (int k = 0; k < 200; k++) {
            Bytes d((size_t)(1 + rng() % 80));
            for (uint8_t& b : d) b = (uint8_t)rng();
            if (k % 3 == 0 && d.size() >= 9) { // another client's slot with a guessed key
                net_put32(d.data() + 1, (uint32_t)bot.c.slot);
                d[0] = PKT_STATE;
            }
            if (d[0] == PKT_CONTACT && d.size() == 13) d[0] = PKT_ACCEPT; // strangers may join

            junk.send(d);
        }
        if (g_session.session_clock % 4 == 0)
            bot.c.send_state(bot.race, bot.clock, (uint32_t)g_session.session_clock, 3);
        tick(&bot);
    }
    // This client's clock kept going and it heard every state of the other rider, and nothing
    // of the junk got anywhere. (What the junk costs the server is in the load test's figures.)
    EXPECT_GE(g_net.server_tick - local_before, 250u);
    EXPECT_GE((int)g_net.slots[bot.c.slot].last_rx_tick - rx_before, 240);
    EXPECT_EQ(g_net.state, NET_CONNECTED);
    EXPECT_EQ(server->phase, PHASE_RACE);
    EXPECT_GT(server->datagrams_dropped, 10000);
    int used = 0;
    for (const ServerClient& c : server->clients) used += c.used;
    EXPECT_EQ(used, 2);
}

// The race server's rules, with clients made of bare sockets: who gets an answer, the password,
// forged packets, the warm-up and the race set up for every client, relayed states and gate
// crossings, the results file, chat, silent clients and late joiners.
#include <gtest/gtest.h>

#include <cstring>

#include "net/sim_client.h"
#include "support/test_env.h"

using namespace simnet;

namespace {

// Two clients riding in the warm-up, then in the race (both asked for it).
struct RacingServer : ServerTest {
    std::unique_ptr<SimClient> a, b;
    void start(ServerOptions o) {
        open(o);
        a = std::make_unique<SimClient>(server->port);
        b = std::make_unique<SimClient>(server->port);
        join(a.get(), "Ann");
        join(b.get(), "Bob");
        ASSERT_EQ(server->phase, PHASE_WARMUP);
        a->send_word(PKT_RESTART_REQUEST, 1);
        b->send_word(PKT_RESTART_REQUEST, 1);
        run();
        ASSERT_EQ(server->phase, PHASE_RACE);
        for (SimClient* c : {a.get(), b.get()}) {
            ASSERT_EQ(c->drain_type(PKT_RESTART).size(), 1u);
            c->send_word(PKT_RESTART, server->race_id);
        }
        run();
    }
    // Both set up for the race, its clock running, and every message so far read.
    void racing() {
        uint32_t race = server->race_id;
        set_up(a.get(), race);
        set_up(b.get(), race);
        pump({a.get(), b.get()}, 1);
        a->drain();
        b->drain();
    }
};

} // namespace

TEST_F(ServerTest, StrangersGetAcceptOrFullAndNothingElse) {
    ServerOptions o = options();
    o.max_riders = 1;
    open(o);
    SimClient a(server->port), b(server->port);
    // A CONTACT of any other length is not answered.
    Bytes contact = {PKT_CONTACT, 0, 0, 0, 0, 0, 0, 0, 0, 4, 0, 0, 0};
    Bytes longer = contact, shorter = contact;
    longer.push_back(0);
    shorter.pop_back();
    a.send(longer);
    a.send(shorter);
    run();
    EXPECT_TRUE(a.drain().empty());
    a.send(contact);
    run();
    std::vector<Bytes> got = a.drain();
    ASSERT_EQ(got.size(), 1u);
    ASSERT_EQ(got[0].size(), 13u); // no larger than the request
    EXPECT_EQ(got[0][0], PKT_ACCEPT);
    EXPECT_EQ(word_at(got[0], 1), 0u);
    uint32_t key = word_at(got[0], 5);
    EXPECT_NE(key, 0u);
    EXPECT_EQ(word_at(got[0], 9), 4u);
    // The ACCEPT got lost: the same slot and key again.
    a.send(contact);
    run();
    got = a.drain();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(word_at(got[0], 5), key);
    // Anything but CONTACT from an address without a slot gets nothing; CONTACT gets FULL.
    for (int type = 1; type < 20; type++) {
        Bytes junk = {(uint8_t)type, 0, 0, 0, 0};
        word(&junk, key);
        word(&junk, 1);
        b.send(junk);
    }
    run();
    EXPECT_TRUE(b.drain().empty());
    b.send(contact);
    run();
    got = b.drain();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0], (Bytes{PKT_FULL}));
}

TEST_F(ServerTest, PacketsWithAnotherSlotOrKeyAreDropped) {
    open(options());
    SimClient a(server->port), b(server->port);
    contact(&a);
    contact(&b);
    // a's slot and key from b's address, and a's slot with another key from a's address.
    SimClient* both[2] = {&a, &b};
    std::swap(both[1]->slot, both[0]->slot);
    std::swap(both[1]->key, both[0]->key);
    long long before = server->datagrams_dropped;
    client_info(&b, "x\n1\nImpostor");
    EXPECT_EQ(server->datagrams_dropped, before + 1);
    EXPECT_FALSE(server->clients[0].has_info);
    std::swap(a.slot, b.slot);
    std::swap(a.key, b.key);
    a.key ^= 1;
    client_info(&a, "x\n1\nWrong key");
    EXPECT_EQ(server->datagrams_dropped, before + 2);
    EXPECT_FALSE(server->clients[0].has_info);
    a.key ^= 1;
    client_info(&a, "x\n1\nRight");
    EXPECT_TRUE(server->clients[0].has_info);
    EXPECT_EQ(server->clients[0].info.name, "Right");
}

TEST_F(ServerTest, AWrongPasswordIsKickedWithTheText) {
    ServerOptions o = options();
    o.password = "letmein";
    open(o);
    SimClient a(server->port), b(server->port);
    contact(&a);
    client_info(&a, "x\n1\nGuess", "guess");
    std::vector<Bytes> got = a.drain();
    ASSERT_EQ(got.size(), 1u);
    Bytes kick = {PKT_KICK};
    for (char ch : std::string("Wrong password")) kick.push_back((uint8_t)ch);
    EXPECT_EQ(got[0], kick);
    // It is said again (once a second) until the client says goodbye.
    a.send_word(PKT_TRACK_ACK, 1);
    run(1.1);
    EXPECT_GE(a.drain_type(PKT_KICK).size(), 1u);
    a.send(a.head(PKT_DISCONNECT));
    run();
    EXPECT_EQ(a.drain_type(PKT_DISCONNECT).size(), 1u);
    EXPECT_FALSE(server->clients[0].used);
    // The right password: the race is set up, byte for byte.
    contact(&b);
    client_info(&b, "x\n1\nKnows", "letmein");
    got = b.drain_type(PKT_RACE_SETUP);
    ASSERT_EQ(got.size(), 1u);
    Bytes setup = {PKT_RACE_SETUP};
    word(&setup, server->race_id);
    word(&setup, 0);    // warm-up: no time limit
    word(&setup, 1000); // laps nobody rides
    word(&setup, 0);    // the gates are down
    const ServerTrack& t = server->tracks[0];
    setup.insert(setup.end(), t.digest, t.digest + 20);
    for (char ch : t.name) setup.push_back((uint8_t)ch);
    EXPECT_EQ(got[0], setup);
}

TEST_F(ServerTest, TheWarmUpSetsEveryoneUpToWatchAndRunsAClock) {
    open(options());
    SimClient a(server->port);
    contact(&a);
    client_info(&a, "crf250(2009)||||\n7\nAnn");
    a.drain();
    Bytes start = set_up(&a, server->race_id);
    ASSERT_FALSE(start.empty());
    EXPECT_EQ(word_at(start, 5), (uint32_t)NO_SLOT); // nobody rides in a warm-up
    EXPECT_EQ(text_at(start, 9), "crf250(2009)||||\n7\nAnn");
    std::vector<Bytes> clock = a.drain_type(PKT_CLOCK);
    ASSERT_EQ(clock.size(), 1u);
    EXPECT_GT(word_at(clock[0], 5), 0u);
    EXPECT_GT(server->warm_since, 0);
    // Watchers send nothing of their own: every 5 s they get a message to acknowledge. One
    // that answers stays; one that falls silent is dropped after the time-out.
    pump({&a}, 30);
    EXPECT_TRUE(server->clients[0].used);
    std::vector<Bytes> msgs = a.drain_type(PKT_MESSAGE);
    ASSERT_GE(msgs.size(), 5u);
    EXPECT_EQ(msgs.back()[5], MSG_CROSSINGS);
    EXPECT_EQ(word_at(msgs.back(), 10), 0u); // no crossings in it
    run(21);
    EXPECT_FALSE(server->clients[0].used);
    EXPECT_GE(a.drain_type(PKT_DISCONNECT).size(), 1u);
}

TEST_F(ServerTest, TheWarmUpEndsAfterItsTimeOrOnceEnoughRide) {
    ServerOptions o = options();
    o.warmup = 3;
    open(o);
    SimClient a(server->port);
    join(&a, "Ann");
    uint32_t warm = server->race_id;
    run(2.5);
    EXPECT_EQ(server->phase, PHASE_WARMUP);
    run(1);
    EXPECT_EQ(server->phase, PHASE_RACE);
    EXPECT_EQ(server->race_id, warm + 1);
    server_close(server.get());

    server = std::make_unique<Server>();
    o.warmup = 60;
    o.riders = 2;
    open(o);
    SimClient b(server->port), c(server->port);
    join(&b, "Bob");
    run(1);
    EXPECT_EQ(server->phase, PHASE_WARMUP);
    join(&c, "Cat");
    EXPECT_EQ(server->phase, PHASE_RACE);
}

TEST_F(RacingServer, TheRaceIsSetUpWithTheOtherRidersAndItsClockWaitsForEveryone) {
    ServerOptions o = options();
    o.laps = 2;
    o.minutes = 5;
    start(o);
    uint32_t race = server->race_id;
    std::vector<Bytes> setup = a->drain_type(PKT_RACE_SETUP);
    ASSERT_EQ(setup.size(), 1u);
    EXPECT_EQ(word_at(setup[0], 1), race);
    EXPECT_EQ(word_at(setup[0], 5), 5u * 60 * 128);
    EXPECT_EQ(word_at(setup[0], 9), 2u);
    EXPECT_EQ(word_at(setup[0], 13), 2u * 128); // the countdown
    b->drain();
    // Ann is told about Bob (slot 1), then starts from grid place 0.
    a->send_word(PKT_TRACK_ACK, race);
    run();
    std::vector<Bytes> info = a->drain_type(PKT_RIDER_INFO);
    ASSERT_EQ(info.size(), 1u);
    EXPECT_EQ(word_at(info[0], 5), 1u);
    EXPECT_EQ(text_at(info[0], 9), "crf250(2009)||||\n11\nBob");
    Bytes ack = a->head(PKT_RIDER_ACK);
    word(&ack, race);
    word(&ack, 1);
    a->send(ack);
    run();
    std::vector<Bytes> start_a = a->drain_type(PKT_START);
    ASSERT_EQ(start_a.size(), 1u);
    EXPECT_EQ(word_at(start_a[0], 5), 0u);
    a->send_word(PKT_READY, race);
    run(1);
    EXPECT_TRUE(a->drain_type(PKT_CLOCK).empty()); // Bob is not ready yet
    Bytes start_b = set_up(b.get(), race);
    EXPECT_EQ(word_at(start_b, 5), 1u);
    std::vector<Bytes> clock = a->drain_type(PKT_CLOCK);
    ASSERT_EQ(clock.size(), 1u);
    EXPECT_EQ(word_at(clock[0], 1), race);
    EXPECT_EQ(word_at(clock[0], 5), 1u);
    EXPECT_EQ(b->drain_type(PKT_CLOCK).size(), 1u);
}

TEST_F(RacingServer, StatesAreRelayedWithPingAndEcho) {
    start(options());
    uint32_t race = server->race_id;
    racing();
    uint32_t tick = server_tick(server.get());
    a->send_state(race, tick - 10, 120, 1);
    run();
    // Ann's reply: the clock and her echo, and nobody's state yet.
    std::vector<Bytes> got = a->drain_type(PKT_STATE);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].size(), 17u);
    EXPECT_EQ(word_at(got[0], 9), 120u);
    EXPECT_EQ(word_at(got[0], 13), 0u);
    b->send_state(race, 0, 124, 50);
    run();
    got = b->drain_type(PKT_STATE);
    ASSERT_EQ(got.size(), 1u);
    ASSERT_EQ(got[0].size(), 17u + 47u);
    EXPECT_EQ(word_at(got[0], 13), 1u);
    uint32_t w = word_at(got[0], 17);
    EXPECT_EQ(w & 63u, 0u);               // Ann's slot
    EXPECT_GE(w >> 6, 10u);               // her ping: the server's tick minus her echo
    EXPECT_EQ(word_at(got[0], 21), 120u); // her tick
    EXPECT_EQ(got[0][25], 1);             // her snapshot
    // Only newer states go out again.
    b->send_state(race, 0, 128, 50);
    run();
    got = b->drain_type(PKT_STATE);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(word_at(got[0], 13), 0u);
    // A STATE of a race that is over brings the RESTART of the current one.
    b->send_state(race - 1, 0, 132, 50);
    run();
    EXPECT_EQ(b->drain_type(PKT_RESTART).size(), 1u);
}

TEST_F(RacingServer, CrossingsAreRelayedAndTheResultsWritten) {
    ServerOptions o = options();
    o.laps = 1;
    start(o);
    uint32_t race = server->race_id;
    racing();
    // One lap is done at sequence position F - 1; earlier positions unknown count as skipped.
    int f = server->tracks[0].first_lap;
    Bytes cross;
    word(&cross, race);
    word(&cross, (uint32_t)(f - 1));
    word(&cross, 256 + 3000); // 3000 ticks after the gate drop
    b->send_message(MSG_CROSSINGS, cross);
    pump({a.get(), b.get()}, 0.1);
    std::vector<Bytes> relayed = a->drain_type(PKT_MESSAGE);
    ASSERT_EQ(relayed.size(), 1u);
    EXPECT_EQ(relayed[0][5], MSG_CROSSINGS);
    EXPECT_EQ(word_at(relayed[0], 6), race);
    EXPECT_EQ(word_at(relayed[0], 10), 1u);
    EXPECT_EQ(word_at(relayed[0], 14), 1u); // Bob
    EXPECT_EQ(word_at(relayed[0], 18), (uint32_t)(f - 1));
    EXPECT_EQ(word_at(relayed[0], 22), 256u + 3000);
    EXPECT_EQ(server->phase, PHASE_RACE); // Ann still rides
    // A crossing no race can reach is ignored.
    Bytes far;
    word(&far, race);
    word(&far, 0x7FFFFFFF);
    word(&far, 1);
    a->send_message(MSG_CROSSINGS, far);
    run();
    EXPECT_TRUE(server->roster[0].crossings.empty());
    cross = Bytes();
    word(&cross, race);
    word(&cross, (uint32_t)(f - 1));
    word(&cross, 256 + 3200);
    a->send_message(MSG_CROSSINGS, cross);
    run();
    EXPECT_EQ(server->phase, PHASE_FINISHED);
    std::string results = read_file(test_dir() + "/results/race-" +
                                    std::string(4 - std::to_string(race).size(), '0') +
                                    std::to_string(race) + "-rabbithill.txt");
    std::vector<std::string> lines = split_lines(results);
    ASSERT_EQ(lines.size(), 7u) << results;
    EXPECT_EQ(lines[0], "Race " + std::to_string(race) + " on Rabbit Hill (rabbithill)");
    EXPECT_EQ(lines[1], "1 laps");
    EXPECT_EQ(lines[2], "Ended: finished");
    // 3000 ticks are 23.437 s, 3200 are 25 s.
    EXPECT_EQ(lines[5].substr(0, 10), "1    11   ");
    EXPECT_NE(lines[5].find("Bob"), std::string::npos);
    EXPECT_NE(lines[5].find("0:23.437"), std::string::npos) << lines[5];
    EXPECT_EQ(lines[6].substr(0, 10), "2    10   ");
    EXPECT_NE(lines[6].find("0:25.000"), std::string::npos) << lines[6];
    // After the cool-down the next warm-up begins.
    run(5.1);
    EXPECT_EQ(server->phase, PHASE_WARMUP);
}

TEST_F(RacingServer, ChatIsRelayedWithTheRidersName) {
    start(options());
    racing();
    Bytes hi = {'h', 'i', '\n', '!'};
    a->send_message(MSG_TEXT, hi);
    a->send_message(MSG_TEXT, Bytes{'t', 'o', 'o', ' ', 's', 'o', 'o', 'n'});
    pump({a.get(), b.get()}, 0.5);
    std::vector<Bytes> got = b->drain_type(PKT_MESSAGE);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0][5], MSG_TEXT);
    EXPECT_EQ(text_at(got[0], 6), "Ann: hi !"); // control characters become blanks
    // Both messages were acknowledged.
    std::vector<Bytes> acks = a->drain_type(PKT_ACK);
    EXPECT_EQ(acks.size(), 2u);
    EXPECT_EQ(server->clients[0].reliable.next_in, 2u);
}

TEST_F(RacingServer, ALateJoinerWatchesAndCatchesUp) {
    start(options());
    uint32_t race = server->race_id;
    racing();
    Bytes cross;
    word(&cross, race);
    word(&cross, 2);
    word(&cross, 700);
    a->send_message(MSG_CROSSINGS, cross);
    a->send_state(race, 0, 300, 9);
    run();
    SimClient c(server->port);
    contact(&c);
    client_info(&c, "kx125\n3\nCal");
    std::vector<Bytes> setup = c.drain_type(PKT_RACE_SETUP);
    ASSERT_EQ(setup.size(), 1u);
    EXPECT_EQ(word_at(setup[0], 1), race);
    Bytes start = set_up(&c, race);
    EXPECT_EQ(word_at(start, 5), (uint32_t)NO_SLOT);
    EXPECT_EQ(server->clients[2].grid, NO_SLOT);
    pump({&c}, 0.2);
    std::vector<Bytes> got = c.drain();
    bool clock = false, caught_up = false, states = false;
    for (const Bytes& p : got) {
        clock |= p[0] == PKT_CLOCK;
        caught_up |= p[0] == PKT_MESSAGE && p[5] == MSG_CROSSINGS && word_at(p, 10) == 1 &&
                     word_at(p, 14) == 0 && word_at(p, 18) == 2 && word_at(p, 22) == 700;
        states |= p[0] == PKT_STATE && word_at(p, 13) == 1 && word_at(p, 21) == 300;
    }
    EXPECT_TRUE(clock);
    EXPECT_TRUE(caught_up);
    EXPECT_TRUE(states);
}

TEST_F(RacingServer, MostRidersAskingRestartsTheRace) {
    start(options());
    uint32_t race = server->race_id;
    racing();
    a->send_word(PKT_RESTART_REQUEST, 1);
    run();
    EXPECT_EQ(server->phase, PHASE_RACE); // one of two is not more than half
    b->send_word(PKT_RESTART_REQUEST, 1);
    run();
    EXPECT_EQ(server->phase, PHASE_WARMUP);
    EXPECT_EQ(server->race_id, race + 1);
    EXPECT_EQ(a->drain_type(PKT_RESTART).size(), 1u);
}

TEST(ServerOptionsTest, CommandLineAndConfigurationFile) {
    write_file(test_dir() + "/server.cfg",
               "# a race night\nport = 19900\ntracks=dunebay, rabbithill\n"
               "password=s3cret\r\nlaps=5\nno-arcade=yes\ndata=/games/vornix\n");
    const char* argv[] = {"vornix-server", "--config", "server.cfg", "--laps=2", "--warmup", "30",
                          "--riders",      "4",        "--no-arcade"};
    ServerOptions o;
    std::string error, data, log;
    ASSERT_TRUE(server_parse_options(9, (char**)argv, &o, &error, &data, &log)) << error;
    EXPECT_EQ(o.port, 19900);
    EXPECT_EQ(o.tracks, (std::vector<std::string>{"dunebay", "rabbithill"}));
    EXPECT_EQ(o.password, "s3cret");
    EXPECT_EQ(o.laps, 2); // the later one wins
    EXPECT_EQ(o.warmup, 30);
    EXPECT_EQ(o.riders, 4);
    EXPECT_EQ(o.no_arcade, 1);
    EXPECT_EQ(data, "/games/vornix");

    const char* bad[][3] = {{"x", "--port", "70000"},  {"x", "--laps", "0"},
                            {"x", "--riders", "41"},   {"x", "--warmup", "-1"},
                            {"x", "--nonsense", "1"},  {"x", "--max-riders", "two"},
                            {"x", "--config", "none"}, {"x", "stray", "1"}};
    for (auto& args : bad) {
        ServerOptions d;
        EXPECT_FALSE(server_parse_options(3, (char**)args, &d, &error, &data, &log)) << args[1];
        EXPECT_FALSE(error.empty()) << args[1];
    }
    write_file(test_dir() + "/broken.cfg", "laps 3\n");
    const char* broken[] = {"x", "--config", "broken.cfg"};
    EXPECT_FALSE(server_parse_options(3, (char**)broken, &o, &error, &data, &log));
    EXPECT_EQ(error, "broken.cfg:1: no '=' in \"laps 3\"");
}

TEST_F(RacingServer, AClientThatStopsAcknowledgingIsDropped) {
    start(options());
    uint32_t race = server->race_id;
    racing();
    // Ann crosses gates as fast as she likes; Bob reads nothing, so his queue of relayed
    // crossings grows until the server gives up on him.
    for (uint32_t i = 0; i < 300 && server->clients[1].used; i++) {
        Bytes cross;
        word(&cross, race);
        word(&cross, i);
        word(&cross, 300 + i);
        a->send_message(MSG_CROSSINGS, cross);
        run();
        a->drain();
    }
    EXPECT_FALSE(server->clients[1].used);
    EXPECT_TRUE(server->clients[0].used);
    EXPECT_EQ(server->roster[1].left, 1);
}

// The network client against a race server played by the test over loopback: the states and
// their resends, what each packet is accepted in, the race-id rules, the reliable channel and
// the sound handling of slot numbers that index nothing and of short datagrams.
#include <gtest/gtest.h>

#include <cstring>

#include "net/net_test_util.h"
#include "platform/digest.h"
#include "race/hooks.h"
#include "race/race_test_util.h"

using namespace nettest;

TEST_F(ClientTest, WithoutAServerItKeepsContactingOnceASecond) {
    g_settings.password = "pw";
    net_connect(server.address().c_str());
    EXPECT_FALSE(net_connected()); // the next step connects
    step();
    EXPECT_TRUE(net_connected());
    std::vector<Bytes> sent = server.drain();
    ASSERT_EQ(sent.size(), 1u);
    // CONTACT: type 0, "a password is set", reserved, version 4.
    EXPECT_EQ(sent[0], (Bytes{0, 1, 0, 0, 0, 0, 0, 0, 0, 4, 0, 0, 0}));
    // Ten seconds of ticks without an answer: one CONTACT and one message per second.
    for (int i = 0; i < 10 * 128; i++) step();
    EXPECT_EQ(server.drain_type(PKT_CONTACT).size(), 10u);
    EXPECT_EQ(posted_count("Contacting server"), 11);
    EXPECT_EQ(g_net.state, NET_CONTACTING);
}

TEST_F(ClientTest, AnUnknownHostIsForgotten) {
    net_connect("no-such-host.invalid");
    step();
    EXPECT_EQ(posted_count("Can't resolve address"), 1);
    EXPECT_FALSE(net_connected());
    step(2);
    EXPECT_EQ(posted_count("Can't resolve address"), 1); // idle again: nothing more happens
}

TEST_F(ClientTest, FullIsPostedAndContactGoesOn) {
    net_connect(server.address().c_str());
    step();
    server.drain();
    for (int s = 0; s < 3; s++) {
        server.send(Bytes{PKT_FULL});
        for (int i = 0; i < 128; i++) step();
    }
    EXPECT_EQ(posted_count("Server is full"), 3);
    EXPECT_EQ(g_net.state, NET_CONTACTING);
    EXPECT_EQ(server.drain_type(PKT_CONTACT).size(), 3u);
}

TEST_F(ClientTest, AcceptSendsClientInfoAtOnceAndASecondAcceptIsIgnored) {
    g_settings.password = "secret";
    t = 0; // in the run's first second too
    accepted(2, 0xBEEF);
    std::vector<Bytes> info = server.drain_type(PKT_CLIENT_INFO);
    ASSERT_EQ(info.size(), 1u);
    const Bytes& p = info[0];
    ASSERT_GE(p.size(), 41u);
    EXPECT_EQ(word_at(p, 1), 2u);
    EXPECT_EQ(word_at(p, 5), 0xBEEFu);
    uint8_t proof[4];
    // RIPEMD-160 of the password and the key's 4 bytes; digest bytes 3, 2, 1, 0.
    const uint8_t m[] = {'s', 'e', 'c', 'r', 'e', 't', 0xEF, 0xBE, 0, 0};
    uint8_t d[DIGEST_SIZE];
    digest_bytes(m, sizeof m, d);
    proof[0] = d[3], proof[1] = d[2], proof[2] = d[1], proof[3] = d[0];
    EXPECT_EQ(Bytes(p.begin() + 9, p.begin() + 13), Bytes(proof, proof + 4));
    for (size_t i = 13; i < 41; i++) EXPECT_EQ(p[i], 0) << i;
    std::string rider(p.begin() + 41, p.end());
    EXPECT_EQ(rider.substr(0, rider.find('\n')), "crf250(2009)||||"); // the default rider
    EXPECT_EQ(posted_count("Sending client info"), 1);

    server.send(accept_packet(5, 0x1234));
    step();
    EXPECT_EQ(g_net.my_slot, 2);
    EXPECT_EQ(g_net.session_key, 0xBEEFu);
}

TEST_F(ClientTest, AcceptOfAnotherVersionDisconnects) {
    net_connect(server.address().c_str());
    step();
    server.drain();
    server.send(accept_packet(1, 9, 3));
    step();
    EXPECT_EQ(posted_count("Server version does not match client version"), 1);
    EXPECT_EQ(g_net.state, NET_DISCONNECTING);
    EXPECT_EQ(server.drain_type(PKT_DISCONNECT).size(), 1u);
}

TEST_F(ClientTest, SlotNumbersThatIndexNothingAreIgnoredAndLoggedOnce) {
    net_connect(server.address().c_str());
    step();
    server.drain();
    server.send(accept_packet(40, 9));
    server.send(accept_packet(0xFFFFFFFF, 9));
    step();
    EXPECT_EQ(g_net.state, NET_CONTACTING);
    EXPECT_EQ(g_net.my_slot, NO_SLOT);
    EXPECT_EQ(g_net.bad_slot_logged, 1);
    // Race packets mean nothing before a slot was given.
    server.send(race_setup_packet(1, "rabbithill"));
    step();
    EXPECT_EQ(g_net.race_id, 0u);
}

TEST_F(ClientTest, RaceSetupForAnUnknownTrackDisconnects) {
    accepted();
    server.send(race_setup_packet(3, "nowhere"));
    step();
    EXPECT_EQ(posted_count("Can't find track 'nowhere'"), 1);
    EXPECT_EQ(g_net.state, NET_DISCONNECTING);
}

TEST_F(ClientTest, RaceSetupAcknowledgesTheTrackAndStaleRaceIdsAreIgnored) {
    set_up_race(7);
    std::vector<Bytes> acks = server.drain_type(PKT_TRACK_ACK);
    ASSERT_EQ(acks.size(), 1u);
    EXPECT_EQ(acks[0], (Bytes{5, 2, 0, 0, 0, 0xEF, 0xBE, 0, 0, 7, 0, 0, 0}));
    EXPECT_EQ(g_net.track, "rabbithill");
    EXPECT_EQ(g_net.laps, 3);
    EXPECT_EQ(g_net.start_tick, 1280);
    // A setup of another race while race 7 is set is ignored (here: in NET_RESTART).
    g_net_data.state = NET_RESTART;
    server.send(race_setup_packet(6, "rabbithill", 9));
    step();
    EXPECT_EQ(g_net.state, NET_RESTART);
    EXPECT_EQ(g_net.laps, 3);
    // RESTART with a higher id, then its setup is taken.
    g_net_data.state = NET_CONNECTED;
    Bytes restart = {PKT_RESTART, 9, 0, 0, 0};
    server.send(restart);
    step();
    EXPECT_EQ(g_net.state, NET_RESTART);
    EXPECT_EQ(g_net.race_id, 9u);
    server.send(Bytes{PKT_RESTART, 8, 0, 0, 0}); // not higher: no change
    step();
    EXPECT_EQ(g_net.race_id, 9u);
    server.send(race_setup_packet(9, "rabbithill", 5));
    step();
    EXPECT_EQ(g_net.state, NET_TRACK_ACK);
    EXPECT_EQ(g_net.laps, 5);
}

TEST_F(ClientTest, RiderInfoIsTakenInIncreasingSlotOrder) {
    set_up_race(7);
    server.drain();
    server.send(rider_packet(PKT_RIDER_INFO, 7, 5, "kx125|@a.png|||\n55\nFive"));
    step();
    EXPECT_EQ(g_net.state, NET_RIDER_ACK);
    EXPECT_EQ(g_net.last_announced, 5);
    EXPECT_EQ(g_net.slots[5].lineup, NET_LINEUP_REMOTE);
    EXPECT_EQ(g_net.slots[5].info.name, "Five");
    EXPECT_EQ(g_net.slots[5].info.gear, "@a.png");
    server.send(rider_packet(PKT_RIDER_INFO, 7, 3, "cr125\n3\nThree"));
    server.send(rider_packet(PKT_RIDER_INFO, 8, 9, "cr125\n9\nOther race"));
    server.send(rider_packet(PKT_RIDER_INFO, 7, 40, "cr125\n40\nNobody"));
    step();
    EXPECT_EQ(g_net.slots[3].lineup, NET_LINEUP_EMPTY);
    EXPECT_EQ(g_net.slots[9].lineup, NET_LINEUP_EMPTY);
    EXPECT_EQ(g_net.last_announced, 5);
    server.drain();
    server.send(rider_packet(PKT_RIDER_INFO, 7, 7, "rm125\n7\nSeven"));
    step();
    std::vector<Bytes> acks = server.drain_type(PKT_RIDER_ACK);
    ASSERT_EQ(acks.size(), 1u);
    EXPECT_EQ(word_at(acks[0], 9), 7u);  // race id
    EXPECT_EQ(word_at(acks[0], 13), 7u); // the highest announced
    EXPECT_EQ(posted_count("Sending bike acknowledgment 7"), 1);
}

TEST_F(ClientTest, ARepeatedMessageIsAcknowledgedAgainButHandledOnce) {
    accepted();
    server.drain();
    server.send(message_packet(0, MSG_TEXT, "Welcome"));
    step();
    server.send(message_packet(0, MSG_TEXT, "Welcome"));
    server.send(message_packet(2, MSG_TEXT, "Too early"));
    step();
    std::vector<Bytes> acks = server.drain_type(PKT_ACK);
    ASSERT_EQ(acks.size(), 3u);
    for (const Bytes& a : acks) EXPECT_EQ(a.size(), 13u);
    EXPECT_EQ(word_at(acks[0], 9), 0u);
    EXPECT_EQ(word_at(acks[1], 9), 0u);
    EXPECT_EQ(word_at(acks[2], 9), 2u);
    EXPECT_EQ(posted_count("Welcome"), 1);
    EXPECT_EQ(posted_count("Too early"), 0);
    server.send(message_packet(1, MSG_TEXT, "Second"));
    server.send(message_packet(2, MSG_TEXT, "Third"));
    step();
    EXPECT_EQ(posted_count("Second"), 1);
    EXPECT_EQ(posted_count("Third"), 1);
}

TEST_F(ClientTest, ChatGoesOutReliablyEveryHalfSecondUntilAcknowledged) {
    accepted();
    server.drain();
    net_send_chat("hello riders");
    step();
    std::vector<Bytes> msgs = server.drain_type(PKT_MESSAGE);
    ASSERT_EQ(msgs.size(), 1u);
    Bytes expect = {17, 2, 0, 0, 0, 0xEF, 0xBE, 0, 0, 0, 0, 0, 0, 19};
    text(&expect, "hello riders");
    EXPECT_EQ(msgs[0], expect);
    for (int i = 0; i < 60; i++) step(); // 0.47 s: not yet again
    EXPECT_EQ(server.drain_type(PKT_MESSAGE).size(), 0u);
    for (int i = 0; i < 8; i++) step();
    EXPECT_EQ(server.drain_type(PKT_MESSAGE).size(), 1u);
    server.send(Bytes{PKT_ACK, 0, 0, 0, 0});
    for (int i = 0; i < 256; i++) step();
    EXPECT_EQ(server.drain_type(PKT_MESSAGE).size(), 0u);
    EXPECT_TRUE(g_net.reliable.queue.empty());
}

TEST_F(ClientTest, ClockSetsTheLocalTickOnceAndConnects) {
    racetest::clear_race();
    set_up_race(7);
    g_net_data.state = NET_READY; // as after START
    server.send(clock_packet(7, 5000));
    step();
    EXPECT_EQ(g_session.session_clock, 5000);
    EXPECT_EQ(g_net.state, NET_CONNECTED);
    EXPECT_EQ(g_net.server_tick, 5000u);
    EXPECT_EQ(posted_count("3 laps"), 1);
    // Later clocks only raise the server tick (and never lower it).
    server.send(clock_packet(7, 6000, 4990));
    step();
    EXPECT_EQ(g_session.session_clock, 5000);
    EXPECT_EQ(g_net.max_server_tick, 6000u);
    EXPECT_EQ(g_net.slots[2].ping_ticks, 10); // local 5000 - echo 4990
    server.send(clock_packet(7, 5500));
    step();
    EXPECT_EQ(g_net.max_server_tick, 6000u);
    // A clock of another race is ignored.
    server.send(clock_packet(8, 9000));
    step();
    EXPECT_EQ(g_net.max_server_tick, 6000u);
    // Each step moves the server tick on by one.
    uint32_t before = g_net.server_tick;
    step();
    EXPECT_EQ(g_net.server_tick, before + 1);
    racetest::clear_race();
}

TEST_F(ClientTest, TheRaceFormatIsPostedAsTheServerSetItUp) {
    accepted();
    server.send(race_setup_packet(7, "rabbithill", 1, 10 * 60 * 128 + 3000));
    step();
    g_net_data.state = NET_READY;
    server.send(clock_packet(7, 100));
    step();
    // trunc(limit x 1/128 / 60 + 0.5): 10.39 minutes show as 10.
    EXPECT_EQ(posted_count("10 minutes + 1 laps"), 1);
}

TEST_F(ClientTest, KickPostsItsTextAndDisconnectsThenDisconnectedResets) {
    accepted();
    server.drain();
    Bytes kick = {PKT_KICK};
    text(&kick, "Wrong password");
    server.send(kick);
    step();
    EXPECT_EQ(posted_count("Wrong password"), 1);
    EXPECT_EQ(g_net.state, NET_DISCONNECTING);
    std::vector<Bytes> d = server.drain_type(PKT_DISCONNECT);
    ASSERT_EQ(d.size(), 1u);
    EXPECT_EQ(d[0], (Bytes{15, 2, 0, 0, 0, 0xEF, 0xBE, 0, 0}));
    server.send(Bytes{PKT_DISCONNECT});
    step();
    EXPECT_EQ(posted_count("Disconnected"), 1);
    EXPECT_FALSE(net_connected());
    EXPECT_EQ(g_net.my_slot, NO_SLOT);
    EXPECT_EQ(g_net.session_key, 0u);
}

TEST_F(ClientTest, TheMenuLeavesAtOnceWhileContactingOrWhenTheServerDoesNotConfirm) {
    net_connect(server.address().c_str());
    step();
    net_menu_leave();
    EXPECT_FALSE(net_connected());
    EXPECT_EQ(posted_count("Disconnected"), 1);
    server.drain();
    accepted();
    net_menu_leave();
    EXPECT_EQ(g_net.state, NET_DISCONNECTING);
    step();
    EXPECT_EQ(server.drain_type(PKT_DISCONNECT).size(), 1u);
    net_menu_leave(); // asked again: the silent server is not waited for
    EXPECT_FALSE(net_connected());
}

TEST_F(ClientTest, ShortDatagramsAreIgnored) {
    accepted();
    server.send(Bytes{PKT_RACE_SETUP, 7, 0, 0, 0});
    server.send(Bytes{PKT_MESSAGE, 0, 0, 0});
    server.send(Bytes{PKT_ACK, 0});
    step();
    EXPECT_EQ(g_net.state, NET_SENDING_INFO);
    EXPECT_EQ(g_net.reliable.next_in, 0u);
}

// Remote riders in the session without bodies: enough for their snapshots' history and their
// gate crossings while this client only watches.
struct WatchingClient : ClientTest {
    void SetUp() override {
        ClientTest::SetUp();
        racetest::clear_race();
        set_up_race(7);
        g_net_data.state = NET_READY;
        racetest::add_rider(3, "33", RIDER_REMOTE);
        racetest::add_rider(4, "44", RIDER_REMOTE);
        racetest::add_rider(2, "22", RIDER_LOCAL);
    }
    void TearDown() override {
        racetest::clear_race();
        ClientTest::TearDown();
    }
    static Bytes state(uint32_t race, uint32_t count, const std::vector<std::pair<int, int>>& e) {
        Bytes b = {PKT_STATE};
        word(&b, race);
        word(&b, 100);
        word(&b, 0);
        word(&b, count);
        for (auto [slot, tick] : e) {
            word(&b, (uint32_t)slot | 7u << 6);
            word(&b, (uint32_t)tick);
            for (int i = 0; i < 39; i++) b.push_back((uint8_t)(tick + i));
        }
        return b;
    }
};

TEST_F(WatchingClient, NewerEntriesAreStoredAndStaleOnesNeither) {
    server.send(state(7, 2, {{3, 50}, {4, 60}}));
    step();
    EXPECT_EQ(g_net.state, NET_CONNECTED);
    EXPECT_EQ(g_net.slots[3].last_rx_tick, 50u);
    EXPECT_EQ(g_net.slots[3].ping_ticks, 7);
    const SnapshotSlot& h = g_snapshots.slots[3];
    EXPECT_EQ(h.ticks[h.head], 50);
    EXPECT_EQ(h.records[h.head][0], 50);
    // The same tick again, and an older one: neither applied nor stored.
    server.send(state(7, 2, {{3, 50}, {3, 49}}));
    step();
    EXPECT_EQ(g_net.slots[3].last_rx_tick, 50u);
    EXPECT_EQ(g_snapshots.slots[3].head, h.head);
    // A slot that is not a remote rider's (this client's own) takes nothing.
    server.send(state(7, 1, {{2, 80}}));
    step();
    EXPECT_EQ(g_net.slots[2].last_rx_tick, 0u);
}

TEST_F(WatchingClient, AShortStateHandlesTheWholeEntriesAndSaysSo) {
    Bytes b = state(7, 3, {{3, 50}, {4, 60}}); // 17 + 2 x 47 bytes, but a count of 3
    server.send(b);
    step();
    EXPECT_EQ(g_net.slots[3].last_rx_tick, 50u);
    EXPECT_EQ(g_net.slots[4].last_rx_tick, 60u);
    EXPECT_EQ(posted_count("State packet too small"), 1);
    // A slot of 40 or more in an entry indexes nothing; the rest of the entries still count.
    Bytes odd = state(7, 2, {{45, 70}, {3, 71}});
    server.send(odd);
    step();
    EXPECT_EQ(g_net.slots[3].last_rx_tick, 71u);
    EXPECT_EQ(g_net.bad_slot_logged, 1);
    // A STATE of another race is dropped.
    server.send(state(8, 1, {{3, 90}}));
    step();
    EXPECT_EQ(g_net.slots[3].last_rx_tick, 71u);
}

TEST_F(WatchingClient, CrossingsOfOthersSetTheirProgress) {
    g_net_data.state = NET_CONNECTED;
    NetCrossing c[4] = {{3, 2, 900}, {2, 5, 100}, {4, 0, -1}, {41, 1, 5}};
    std::string payload = net_crossings_payload(7, c, 4);
    server.send(message_packet(0, MSG_CROSSINGS, payload));
    step();
    // Rider 3: crossing 2 at 900, the two before it unknown (skipped).
    EXPECT_EQ(g_session.slots[3].gates_passed, 3);
    EXPECT_EQ(g_session.slots[3].gate_times, (std::vector<int>{-1, -1, 900}));
    EXPECT_EQ(g_session.slots[4].gate_times, (std::vector<int>{-1}));
    // This client's own crossings are its own business.
    EXPECT_EQ(g_session.slots[2].gates_passed, 0);
    // A later report that goes back cuts the list after it.
    c[0] = {3, 0, 400};
    server.send(message_packet(1, MSG_CROSSINGS, net_crossings_payload(7, c, 1)));
    step();
    EXPECT_EQ(g_session.slots[3].gate_times, (std::vector<int>{400}));
    // An index no race can reach does not grow the list.
    c[0] = {3, 0x7FFFFFFF, 1};
    server.send(message_packet(2, MSG_CROSSINGS, net_crossings_payload(7, c, 1)));
    step();
    EXPECT_EQ(g_session.slots[3].gate_times.size(), 1u);
    // A count larger than the entries there are stops at the datagram's end.
    std::string cut = net_crossings_payload(7, c, 1);
    cut[4] = 100;
    server.send(message_packet(3, MSG_CROSSINGS, cut));
    step();
    EXPECT_EQ(g_net.reliable.next_in, 4u);
}

TEST_F(WatchingClient, NoArcadeIsExactlyThatText) {
    g_config.arcade.current = YES;
    server.send(message_packet(0, MSG_RULE, "no_arcadeX"));
    step();
    EXPECT_EQ(g_net.arcade_blocked, 0);
    server.send(message_packet(1, MSG_RULE, std::string("no_arcade\0", 10)));
    step();
    EXPECT_EQ(g_net.arcade_blocked, 1);
    EXPECT_EQ(posted_count("Arcade physics disabled"), 1);
    net_reset();
    EXPECT_EQ(g_net.arcade_blocked, 0);
}

TEST_F(WatchingClient, WatchersAreInTheWarmUpAndStaleRidersAreASecondOld) {
    server.send(state(7, 0, {}));
    step();
    EXPECT_TRUE(net_warmup());
    EXPECT_EQ(net_server_tick(), 100);
    server.send(state(7, 1, {{3, 100}}));
    step();
    session_set_clock(100 + 127);
    EXPECT_FALSE(net_rider_stale(3));
    EXPECT_TRUE(net_race_hooks()->rider_recent(3));
    session_set_clock(100 + 128);
    EXPECT_TRUE(net_rider_stale(3));
    EXPECT_FALSE(net_race_hooks()->rider_recent(3));
}

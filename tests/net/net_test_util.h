// Test support for the network client: a fake race server on a loopback socket that the
// client really talks to, stepping the client at chosen times, and the messages it posted.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/config.h"
#include "core/settings.h"
#include "net/client.h"
#include "net/client_internal.h"
#include "net/protocol.h"
#include "net/transport.h"
#include "platform/clock.h"
#include "platform/messages.h"
#include "replay/snapshot.h"
#include "track/tracklist.h"

namespace nettest {

using Bytes = std::vector<uint8_t>;

inline void word(Bytes* b, uint32_t v) {
    for (int i = 0; i < 4; i++) b->push_back((uint8_t)(v >> (8 * i)));
}
inline void text(Bytes* b, const std::string& t) {
    b->insert(b->end(), t.begin(), t.end());
}
inline uint32_t word_at(const Bytes& b, size_t at) {
    return at + 4 <= b.size() ? net_get32(b.data() + at) : 0xFFFFFFFFu;
}

// A race server played by the test: a bound loopback socket; it learns the client's address
// from the first datagram it reads.
struct FakeServer {
    int sock = -1;
    int port = 0;
    NetAddress client{};
    bool known = false;
    FakeServer() {
        sock = net_open_bound(0);
        port = net_local_port(sock);
    }
    ~FakeServer() { net_close(sock); }
    std::string address() const { return "127.0.0.1:" + std::to_string(port); }
    // Every datagram waiting from the client, oldest first.
    std::vector<Bytes> drain() {
        std::vector<Bytes> out;
        uint8_t buf[2048];
        for (int idle = 0; idle < 3;) {
            NetAddress from;
            int n = net_receive(sock, buf, sizeof buf, &from);
            if (n < 0) {
                idle++;
                sleep_for(0, 1000);
                continue;
            }
            client = from;
            known = true;
            out.emplace_back(buf, buf + n);
        }
        return out;
    }
    // The datagrams of one type among those waiting.
    std::vector<Bytes> drain_type(int type) {
        std::vector<Bytes> out;
        for (Bytes& b : drain())
            if (!b.empty() && b[0] == type) out.push_back(b);
        return out;
    }
    void send(const Bytes& b) {
        ASSERT_TRUE(known) << "the client has not spoken yet";
        ASSERT_EQ(net_send(sock, b.data(), (int)b.size(), &client), (int)b.size());
    }
};

// Server packets.
inline Bytes accept_packet(uint32_t slot, uint32_t key, uint32_t version = 4) {
    Bytes b = {PKT_ACCEPT};
    word(&b, slot);
    word(&b, key);
    word(&b, version);
    return b;
}
inline Bytes race_setup_packet(uint32_t race, const std::string& track, uint32_t laps = 3,
                               uint32_t limit = 0, uint32_t start = 1280,
                               const uint8_t* digest = nullptr) {
    Bytes b = {PKT_RACE_SETUP};
    word(&b, race);
    word(&b, limit);
    word(&b, laps);
    word(&b, start);
    for (int i = 0; i < 20; i++) b.push_back(digest ? digest[i] : 0);
    text(&b, track);
    return b;
}
inline Bytes rider_packet(int type, uint32_t race, uint32_t slot, const std::string& t) {
    Bytes b = {(uint8_t)type};
    word(&b, race);
    word(&b, slot);
    text(&b, t);
    return b;
}
inline Bytes clock_packet(uint32_t race, uint32_t tick, uint32_t echo = 0) {
    Bytes b = {PKT_CLOCK};
    word(&b, race);
    word(&b, tick);
    word(&b, echo);
    return b;
}
inline Bytes message_packet(uint32_t seq, int subtype, const std::string& payload) {
    Bytes b = {PKT_MESSAGE};
    word(&b, seq);
    b.push_back((uint8_t)subtype);
    text(&b, payload);
    return b;
}

// The lines posted since the test began, without their line feeds.
inline std::vector<std::string> posted() {
    std::vector<std::string> out;
    for (int i = 0; i < g_messages.next; i++) {
        std::string l = g_messages.lines[i];
        if (!l.empty() && l.back() == '\n') l.pop_back();
        out.push_back(l);
    }
    return out;
}
inline int posted_count(const std::string& line) {
    int n = 0;
    for (const std::string& l : posted()) n += l == line;
    return n;
}

// One network step at elapsed time t.
inline void step_at(double t) {
    g_messages.elapsed_time = t;
    net_step();
}

// A client connected to a fake server and stepped up to the given state.
struct ClientTest : ::testing::Test {
    FakeServer server;
    double t = 1.0;
    void SetUp() override {
        net_reset();
        messages_clear();
        snapshot_history_reset();
        g_settings = Settings{};
        tracklist_reset();
        tracklist_add("rabbithill", "Rabbit Hill");
    }
    void TearDown() override {
        net_reset();
        net_cleanup();
        tracklist_reset();
        g_settings = Settings{};
    }
    void step(double dt = 1.0 / 128) {
        t += dt;
        step_at(t);
    }
    // Connects and answers the first CONTACT with ACCEPT (slot 2, key 0xBEEF).
    void accepted(uint32_t slot = 2, uint32_t key = 0xBEEF) {
        net_connect(server.address().c_str());
        step();
        ASSERT_EQ(server.drain_type(PKT_CONTACT).size(), 1u);
        server.send(accept_packet(slot, key));
        step();
        ASSERT_EQ(g_net.state, NET_SENDING_INFO);
    }
    // ... and sets up race 7 on rabbithill.
    void set_up_race(uint32_t race = 7) {
        accepted();
        server.drain();
        server.send(race_setup_packet(race, "rabbithill"));
        step();
        ASSERT_EQ(g_net.state, NET_TRACK_ACK);
    }
};

} // namespace nettest

// Test support for the race server: clients made of a bare socket that speak the protocol
// byte by byte, and a server stepped on a clock the test moves.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "data/datafile.h"
#include "net/protocol.h"
#include "net/transport.h"
#include "platform/clock.h"
#include "server.h"

namespace simnet {

using Bytes = std::vector<uint8_t>;

inline void word(Bytes* b, uint32_t v) {
    for (int i = 0; i < 4; i++) b->push_back((uint8_t)(v >> (8 * i)));
}
inline uint32_t word_at(const Bytes& b, size_t at) {
    return at + 4 <= b.size() ? net_get32(b.data() + at) : 0xFFFFFFFFu;
}
inline std::string text_at(const Bytes& b, size_t at) {
    return at < b.size() ? std::string(b.begin() + (long)at, b.end()) : "";
}

// A client socket on loopback talking to a server's port.
struct SimClient {
    int sock = -1;
    NetAddress server{};
    int slot = -1;
    uint32_t key = 0;
    uint32_t next_seq = 0;
    explicit SimClient(int port) {
        sock = net_open();
        std::string a = "127.0.0.1:" + std::to_string(port);
        net_resolve(&server, a.c_str(), NET_DEFAULT_PORT);
    }
    ~SimClient() { net_close(sock); }
    SimClient(const SimClient&) = delete;
    SimClient& operator=(const SimClient&) = delete;
    void send(const Bytes& b) { net_send(sock, b.data(), (int)b.size(), &server); }
    // A packet with this client's slot and key in front.
    Bytes head(int type) const {
        Bytes b = {(uint8_t)type};
        word(&b, (uint32_t)slot);
        word(&b, key);
        return b;
    }
    void send_word(int type, uint32_t value) {
        Bytes b = head(type);
        word(&b, value);
        send(b);
    }
    void send_message(int subtype, const Bytes& payload) {
        Bytes b = head(PKT_MESSAGE);
        word(&b, next_seq++);
        b.push_back((uint8_t)subtype);
        b.insert(b.end(), payload.begin(), payload.end());
        send(b);
    }
    void send_state(uint32_t race, uint32_t echo, uint32_t tick, uint8_t fill = 0) {
        Bytes b = head(PKT_STATE);
        word(&b, race);
        word(&b, echo);
        word(&b, tick);
        for (int i = 0; i < NET_SNAPSHOT_SIZE; i++) b.push_back((uint8_t)(fill + i));
        send(b);
    }
    // Every datagram waiting, after what pump() collected. MESSAGE packets are acknowledged
    // as the game's client does, so the server's queue moves on.
    std::vector<Bytes> inbox;
    std::vector<Bytes> drain() {
        collect();
        std::vector<Bytes> out;
        out.swap(inbox);
        return out;
    }
    void collect() {
        uint8_t buf[2048];
        for (;;) {
            NetAddress from;
            int n = net_receive(sock, buf, sizeof buf, &from);
            if (n < 0) break;
            inbox.emplace_back(buf, buf + n);
            if (n >= 6 && buf[0] == PKT_MESSAGE && slot >= 0)
                send_word(PKT_ACK, net_get32(buf + 1));
        }
    }
    std::vector<Bytes> drain_type(int type) {
        std::vector<Bytes> out;
        for (Bytes& b : drain())
            if (!b.empty() && b[0] == type) out.push_back(b);
        return out;
    }
};

// The tracks a test server races on, loaded once from the generated data.
inline const std::vector<ServerTrack>& test_tracks() {
    static std::vector<ServerTrack> tracks;
    if (tracks.empty()) {
        Server probe;
        probe.opt.tracks = {"rabbithill"};
        std::string error;
        setenv("QZ_HOME", VORNIX_BUILD_DIR "/data", 1);
        data_reset();
        if (server_load_tracks(&probe, &error)) tracks = probe.tracks;
        data_reset();
    }
    return tracks;
}

// A server on a free port, stepped by the test at times it chooses.
struct ServerTest : ::testing::Test {
    std::unique_ptr<Server> server = std::make_unique<Server>();
    double now = 100;
    ServerOptions options() {
        ServerOptions o;
        o.port = 0;
        o.results = "results";
        o.countdown = 2;
        o.cooldown = 5;
        return o;
    }
    void open(const ServerOptions& o) {
        server->tracks = test_tracks();
        ASSERT_FALSE(server->tracks.empty());
        std::string error;
        ASSERT_TRUE(server_open(server.get(), o, now, &error)) << error;
    }
    void TearDown() override {
        if (server->sock >= 0) server_close(server.get());
    }
    // Steps the server for `seconds` in ticks of 1/128 s (at least one step).
    void run(double seconds = 0) {
        int steps = std::max(1, (int)(seconds * 128 + 0.5));
        for (int i = 0; i < steps; i++) {
            now += 1.0 / 128;
            server_step(server.get(), now);
        }
    }
    // Steps the server while the clients read (and acknowledge) what it sends.
    void pump(std::initializer_list<SimClient*> clients, double seconds) {
        int steps = std::max(1, (int)(seconds * 128 + 0.5));
        for (int i = 0; i < steps; i++) {
            run();
            for (SimClient* c : clients) c->collect();
        }
    }
    // CONTACT and ACCEPT: the client learns its slot and key.
    void contact(SimClient* c) {
        Bytes b = {PKT_CONTACT};
        word(&b, 0);
        word(&b, 0);
        word(&b, 4);
        c->send(b);
        run();
        std::vector<Bytes> a = c->drain_type(PKT_ACCEPT);
        ASSERT_EQ(a.size(), 1u);
        c->slot = (int)word_at(a[0], 1);
        c->key = word_at(a[0], 5);
    }
    // CLIENT_INFO with a rider text and the password's proof (none without one).
    void client_info(SimClient* c, const std::string& rider, const char* password = nullptr) {
        Bytes b = c->head(PKT_CLIENT_INFO);
        uint8_t proof[4] = {0, 0, 0, 0};
        if (password) net_password_proof(password, c->key, proof);
        b.insert(b.end(), proof, proof + 4);
        b.resize(41, 0);
        b.insert(b.end(), rider.begin(), rider.end());
        c->send(b);
        run();
    }
    // From RACE_SETUP to READY as the game's client does it; returns the START.
    Bytes set_up(SimClient* c, uint32_t race) {
        c->send_word(PKT_TRACK_ACK, race);
        run();
        for (int i = 0; i < 45; i++) {
            std::vector<Bytes> got = c->drain();
            for (const Bytes& p : got) {
                if (p[0] == PKT_START && word_at(p, 1) == race) {
                    c->send_word(PKT_READY, race);
                    run();
                    return p;
                }
                if (p[0] == PKT_RIDER_INFO && word_at(p, 1) == race) {
                    Bytes ack = c->head(PKT_RIDER_ACK);
                    word(&ack, race);
                    word(&ack, word_at(p, 5));
                    c->send(ack);
                }
            }
            run();
        }
        ADD_FAILURE() << "no START for race " << race;
        return {};
    }
    // A client that joins: CONTACT, rider information, the race set up, READY.
    void join(SimClient* c, const std::string& name) {
        contact(c);
        client_info(c, "crf250(2009)||||\n" + std::to_string(c->slot + 10) + "\n" + name);
        c->drain();
        set_up(c, server->race_id);
    }
};

} // namespace simnet

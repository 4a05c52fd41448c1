// Fuzzes the race server's handling of datagrams. The input is a run of datagrams, each behind
// a byte that says which of three client addresses sent it (bits 0-1) and whether its bytes 1-8
// are to carry that address's slot and session key (bit 2: the fuzzer cannot guess keys, and
// without them nothing gets past the first check), then a 2-byte little-endian length. The
// server's clock moves on 1/32 s between datagrams. Its client table must stay sound.
#include <arpa/inet.h>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "fuzz_util.h"
#include "server.h"

namespace {

Server* g_server;

void check(bool ok) {
    if (!ok) abort();
}

NetAddress address(int i) {
    NetAddress a{};
    a.length = 16;
    a.addr.sin_family = AF_INET;
    a.addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.addr.sin_port = htons((uint16_t)(9 + i)); // the discard port and its neighbours
    return a;
}

ServerClient* client_of(const NetAddress& a) {
    for (ServerClient& c : g_server->clients)
        if (c.used && net_address_equal(&c.addr, &a)) return &c;
    return nullptr;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz_private_folder();
    // The server tells its host what happens on standard output: not what a fuzzer wants.
    if (!freopen("/dev/null", "w", stdout)) abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    g_server = new Server();
    ServerTrack t;
    t.name = "fuzz";
    t.title = "Fuzz";
    memset(t.digest, 7, sizeof t.digest);
    t.first_lap = 3;
    t.normal_lap = 2;
    g_server->tracks = {t};
    ServerOptions o;
    o.port = 0;
    o.laps = 2;
    o.warmup = 0.5;
    o.countdown = 0.1;
    o.ready_wait = 0.5;
    o.cooldown = 0.5;
    o.max_riders = 2;
    o.results = ""; // races end all the time here: no results files
    std::string error;
    if (!server_open(g_server, o, 1.0, &error)) abort();
    double now = 1.0;
    size_t at = 0;
    uint8_t buf[NET_DATAGRAM_MAX];
    while (at + 3 <= size) {
        int flags = data[at];
        size_t n = data[at + 1] | (size_t)data[at + 2] << 8;
        at += 3;
        if (n > size - at) n = size - at;
        if (n > sizeof buf) n = sizeof buf;
        memcpy(buf, data + at, n);
        at += n;
        NetAddress from = address(flags & 3);
        ServerClient* c = client_of(from);
        if ((flags & 4) && c && n >= 9) {
            net_put32(buf + 1, (uint32_t)server_slot(g_server, c));
            net_put32(buf + 5, c->key);
        }
        server_datagram(g_server, buf, (int)n, &from);
        now += 1.0 / 32;
        server_step(g_server, now); // nothing else sends to it: only its timed work runs
        int used = 0;
        for (const ServerClient& k : g_server->clients) {
            used += k.used;
            check(!k.used || (k.grid == NO_SLOT || (k.grid >= 0 && k.grid < MAX_RIDERS)));
            check(k.reliable.queue.size() <= 300);
        }
        check(used <= o.max_riders);
        check(g_server->race_id > 0);
        for (const RaceEntry& e : g_server->roster) check(e.crossings.size() <= 1024 * 256);
    }
    server_close(g_server);
    delete g_server;
    return 0;
}

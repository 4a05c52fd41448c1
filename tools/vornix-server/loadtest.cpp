// vornix-loadtest: drives a vornix-server with synthetic clients and reports what it costs.
// It starts the server, joins N clients (40 by default) that answer every packet as the game
// does, lets the race begin with all of them on the grid, and then has every client send a
// STATE 32 times a second for a measured period: the server's share of one CPU (from
// /proc/<pid>/stat) and the bytes per second each client sends and receives. With --junk it
// measures a second period during which a flood of junk datagrams hits the server too.
#include <cerrno>
#include <fcntl.h>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <poll.h>
#include <random>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "net/protocol.h"
#include "net/transport.h"

namespace {

double now() {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

struct Client {
    int sock = -1;
    int slot = -1;
    uint32_t key = 0, race = 0, clock = 0;
    bool in_race = false, racing = false;
    double next_state = 0;
    uint32_t local = 0;
    long long bytes_in = 0, bytes_out = 0, states_in = 0;
};

struct Load {
    NetAddress server{};
    std::vector<Client> clients;
    void send(Client& c, const uint8_t* p, int n) {
        if (net_send(c.sock, p, n, &server) > 0) c.bytes_out += n;
    }
    void word(Client& c, int type, uint32_t v) {
        uint8_t p[16];
        send(c, p, net_pack_client_word(p, type, c.slot, c.key, v));
    }
    // Reads and answers everything waiting for one client.
    void react(Client& c) {
        uint8_t p[NET_DATAGRAM_MAX];
        for (;;) {
            NetAddress from;
            int n = net_receive(c.sock, p, sizeof p, &from);
            if (n < 0) return;
            c.bytes_in += n;
            uint8_t out[NET_DATAGRAM_MAX];
            switch (p[0]) {
            case PKT_ACCEPT:
                if (n >= 13 && c.slot < 0) {
                    c.slot = (int)net_get32(p + 1);
                    c.key = net_get32(p + 5);
                    char name[32];
                    snprintf(name, sizeof name, "crf250(2009)||||\n%d\nLoad %d", c.slot, c.slot);
                    const uint8_t proof[4] = {0, 0, 0, 0};
                    send(c, out, net_pack_client_info(out, c.slot, c.key, proof, name));
                }
                break;
            case PKT_RACE_SETUP:
                c.race = net_get32(p + 1);
                c.racing = false;
                word(c, PKT_TRACK_ACK, c.race);
                break;
            case PKT_RIDER_INFO:
                send(c, out, net_pack_rider_ack(out, c.slot, c.key, c.race, (int)net_get32(p + 5)));
                break;
            case PKT_START:
                c.in_race = net_get32(p + 5) < 40;
                word(c, PKT_READY, c.race);
                break;
            case PKT_CLOCK:
            case PKT_STATE:
                if (net_get32(p + 1) == c.race) {
                    c.racing = true;
                    if (net_get32(p + 5) > c.clock) c.clock = net_get32(p + 5);
                    if (p[0] == PKT_STATE) c.states_in++;
                }
                break;
            case PKT_RESTART:
                c.race = net_get32(p + 1);
                word(c, PKT_RESTART, c.race);
                break;
            case PKT_MESSAGE:
                word(c, PKT_ACK, net_get32(p + 1));
                break;
            default:
                break;
            }
        }
    }
    void pump(double until, bool states, int junk_sock, double junk_rate, std::mt19937* rng) {
        double junk_next = now();
        while (now() < until) {
            std::vector<pollfd> fds;
            for (Client& c : clients) fds.push_back({c.sock, POLLIN, 0});
            poll(fds.data(), fds.size(), 1);
            double t = now();
            for (Client& c : clients) {
                react(c);
                if (states && c.racing && c.in_race && t >= c.next_state) {
                    c.next_state += 1.0 / 32;
                    if (c.next_state < t) c.next_state = t + 1.0 / 32;
                    uint8_t rec[NET_SNAPSHOT_SIZE];
                    for (int i = 0; i < NET_SNAPSHOT_SIZE; i++) rec[i] = (uint8_t)(c.local + i);
                    uint8_t p[NET_CLIENT_STATE_SIZE];
                    c.local += 4;
                    send(c, p,
                         net_pack_client_state(p, c.slot, c.key, c.race, c.clock, (int)c.local,
                                               rec));
                }
            }
            while (junk_sock >= 0 && junk_next < t) {
                uint8_t j[64];
                int n = 1 + (int)((*rng)() % 60);
                for (int i = 0; i < n; i++) j[i] = (uint8_t)(*rng)();
                if (j[0] == PKT_CONTACT) j[0] = PKT_STATE;
                net_send(junk_sock, j, n, &server);
                junk_next += 1.0 / junk_rate;
            }
        }
    }
};

double cpu_seconds(pid_t pid) {
    char path[64];
    snprintf(path, sizeof path, "/proc/%d/stat", (int)pid);
    FILE* f = fopen(path, "r");
    if (!f) return 0;
    char buf[1024];
    size_t n = fread(buf, 1, sizeof buf - 1, f);
    fclose(f);
    buf[n] = 0;
    const char* p = strrchr(buf, ')');
    unsigned long utime = 0, stime = 0;
    // Fields after the name: state, then 10 more before utime (field 14) and stime (15).
    if (!p ||
        sscanf(p + 2, "%*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %lu %lu", &utime, &stime) != 2)
        return 0;
    return (double)(utime + stime) / (double)sysconf(_SC_CLK_TCK);
}

void report(const char* what, Load& load, double seconds, double cpu, long long junk) {
    long long in = 0, out = 0, states = 0;
    for (Client& c : load.clients) {
        in += c.bytes_in;
        out += c.bytes_out;
        states += c.states_in;
    }
    double n = (double)load.clients.size();
    printf("%s: %d clients for %.1f s%s\n", what, (int)n, seconds,
           junk ? (" with " + std::to_string(junk) + " junk datagrams a second").c_str() : "");
    printf("  server CPU: %.1f %% of one core\n", 100 * cpu / seconds);
    printf("  per client: %.0f bytes/s to the server, %.0f bytes/s from it, %.1f STATE packets/s "
           "received\n",
           out / n / seconds, in / n / seconds, states / n / seconds);
}

void reset_counts(Load& load) {
    for (Client& c : load.clients) c.bytes_in = c.bytes_out = c.states_in = 0;
}

} // namespace

int main(int argc, char** argv) {
    std::string server_bin, data;
    int clients = 40;
    double seconds = 10;
    double junk = 0;
    {
        char self[4096];
        ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
        std::string dir = n > 0 ? std::string(self, (size_t)n) : std::string(argv[0]);
        dir = dir.substr(0, dir.rfind('/') + 1);
        server_bin = dir + "vornix-server";
        data = dir + "data";
    }
    for (int i = 1; i + 1 < argc; i += 2) {
        std::string k = argv[i], v = argv[i + 1];
        if (k == "--server")
            server_bin = v;
        else if (k == "--data")
            data = v;
        else if (k == "--clients")
            clients = atoi(v.c_str());
        else if (k == "--seconds")
            seconds = atof(v.c_str());
        else if (k == "--junk")
            junk = atof(v.c_str());
        else {
            fprintf(stderr, "Usage: vornix-loadtest [--server PATH] [--data DIR] [--clients N] "
                            "[--seconds S] [--junk DATAGRAMS_PER_SECOND]\n");
            return 1;
        }
    }
    if (clients < 1 || clients > 40) clients = 40;
    int out[2];
    if (pipe(out) != 0) return 1;
    std::string results = "/tmp/vornix-loadtest-" + std::to_string(getpid());
    pid_t pid = fork();
    if (pid == 0) {
        dup2(out[1], 1);
        close(out[0]);
        int null = open("/dev/null", O_RDONLY);
        dup2(null, 0);
        std::string riders = std::to_string(clients);
        execl(server_bin.c_str(), server_bin.c_str(), "--data", data.c_str(), "--port", "0",
              "--tracks", "rabbithill", "--laps", "1000", "--riders", riders.c_str(), "--countdown",
              "1", "--timeout", "60", "--results", results.c_str(), "--log", "/dev/null",
              (char*)nullptr);
        _exit(127);
    }
    close(out[1]);
    FILE* server_out = fdopen(out[0], "r");
    int port = 0;
    char line[512];
    while (!port && fgets(line, sizeof line, server_out)) {
        const char* p = strstr(line, "Listening on port ");
        if (p) port = atoi(p + 18);
    }
    if (!port) {
        fprintf(stderr, "vornix-loadtest: the server did not start (%s)\n", server_bin.c_str());
        return 1;
    }
    Load load;
    net_resolve(&load.server, ("127.0.0.1:" + std::to_string(port)).c_str(), NET_DEFAULT_PORT);
    load.clients.resize((size_t)clients);
    for (Client& c : load.clients) {
        c.sock = net_open();
        uint8_t p[16];
        load.send(c, p, net_pack_contact(p, 0));
    }
    // Everyone joins, warms up, and is set up for the race; the race clock starts.
    double deadline = now() + 60;
    auto all_racing = [&] {
        for (Client& c : load.clients)
            if (!(c.racing && c.in_race)) return false;
        return true;
    };
    while (!all_racing() && now() < deadline) load.pump(now() + 0.05, false, -1, 0, nullptr);
    if (!all_racing()) {
        fprintf(stderr, "vornix-loadtest: the clients did not get into the race\n");
        kill(pid, SIGINT);
        return 1;
    }
    load.pump(now() + 1, true, -1, 0, nullptr); // settled
    reset_counts(load);
    double t0 = now(), c0 = cpu_seconds(pid);
    load.pump(t0 + seconds, true, -1, 0, nullptr);
    double t1 = now(), c1 = cpu_seconds(pid);
    report("STATE at 32 a second", load, t1 - t0, c1 - c0, 0);
    if (junk > 0) {
        int junk_sock = net_open();
        std::mt19937 rng(1);
        reset_counts(load);
        t0 = now();
        c0 = cpu_seconds(pid);
        load.pump(t0 + seconds, true, junk_sock, junk, &rng);
        t1 = now();
        c1 = cpu_seconds(pid);
        report("The same under a flood of junk", load, t1 - t0, c1 - c0, (long long)junk);
        net_close(junk_sock);
    }
    kill(pid, SIGINT);
    waitpid(pid, nullptr, 0);
    std::string cleanup = "rm -rf '" + results + "'";
    if (system(cleanup.c_str()) != 0) fprintf(stderr, "could not remove %s\n", results.c_str());
    return 0;
}

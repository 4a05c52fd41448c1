// The server's socket and its clients: who may send what, accepting and dropping clients, the
// checks every datagram passes before anything in it is used, and the console.
#include "server.h"

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <random>
#include <sys/random.h>

#include "platform/clock.h"
#include "platform/log.h"

namespace {

// Datagrams handled in one step at most, so a flood cannot hold up the race's timed work.
constexpr int RECEIVE_PER_STEP = 2048;
// A client whose reliable messages pile up this far is not acknowledging anything.
constexpr size_t RELIABLE_BACKLOG = 256;

// A session key nobody can guess from the slot or the time; never 0.
uint32_t new_key() {
    uint32_t k = 0;
    while (k == 0) {
        if (getrandom(&k, sizeof k, 0) != (ssize_t)sizeof k) k = std::random_device{}();
    }
    return k;
}

// A reply to an address that has no slot (yet).
void send_to(Server* s, const NetAddress* to, const uint8_t* bytes, int length) {
    int n = net_send(s->sock, bytes, length, to);
    if (n > 0) s->bytes_out += n;
}

ServerClient* client_at(Server* s, const NetAddress* from) {
    for (ServerClient& c : s->clients)
        if (c.used && net_address_equal(&c.addr, from)) return &c;
    return nullptr;
}

void drop(Server* s, ServerClient* c, const char* why) {
    char where[64];
    server_say("Slot %d (%s, %s) %s\n", server_slot(s, c), c->info.name.c_str(),
               net_address_text(&c->addr, where, sizeof where), why);
    server_client_left(s, c);
    *c = ServerClient{};
}

void kick(Server* s, ServerClient* c, const std::string& text) {
    uint8_t p[NET_DATAGRAM_MAX];
    c->stage = STAGE_KICKED;
    c->kick_text = text;
    c->kick_resend = s->now + 1;
    server_send(s, c, p, net_pack_kick(p, text));
    server_say("Kicked slot %d (%s): %s\n", server_slot(s, c), c->info.name.c_str(), text.c_str());
}

// CONTACT from an address: a slot for it, or FULL. A client that lost our ACCEPT asks again
// and gets the same slot; one that comes back after a crash starts afresh.
void on_contact(Server* s, const uint8_t* d, int n, const NetAddress* from) {
    if (n != 13) return; // the one packet anyone may send comes in its own exact size
    ServerClient* c = client_at(s, from);
    uint8_t p[16];
    if (c && c->stage == STAGE_INFO) {
        send_to(s, from, p, net_pack_accept(p, server_slot(s, c), c->key));
        return;
    }
    if (c) drop(s, c, "contacted the server again");
    c = nullptr;
    for (int i = 0; i < s->opt.max_riders && i < MAX_RIDERS; i++)
        if (!s->clients[i].used) {
            c = &s->clients[i];
            break;
        }
    if (!c) {
        send_to(s, from, p, net_pack_full(p));
        return;
    }
    *c = ServerClient{};
    c->used = 1;
    c->addr = *from;
    c->key = new_key();
    c->stage = STAGE_INFO;
    c->joined = c->last_heard = s->now;
    char where[64];
    server_say("Slot %d accepted from %s\n", server_slot(s, c),
               net_address_text(from, where, sizeof where));
    send_to(s, from, p, net_pack_accept(p, server_slot(s, c), c->key));
}

// CLIENT_INFO: the password proof, then the rider; the race follows.
void on_client_info(Server* s, ServerClient* c, const uint8_t* d, int n) {
    if (n < 41) return;
    if (!c->has_info) {
        uint8_t proof[4] = {0, 0, 0, 0};
        if (!s->opt.password.empty()) net_password_proof(s->opt.password.c_str(), c->key, proof);
        if (!s->opt.password.empty() && memcmp(proof, d + 9, 4) != 0) {
            kick(s, c, "Wrong password");
            return;
        }
    }
    net_rider_parse((const char*)d + 41, n - 41, &c->info);
    if (!c->has_info) {
        c->has_info = 1;
        server_say("Slot %d is %s (%s, number %s)\n", server_slot(s, c), c->info.name.c_str(),
                   c->info.bike.c_str(), c->info.number.c_str());
        if (!s->opt.welcome.empty())
            server_queue_message(s, c, MSG_TEXT, s->opt.welcome.data(), (int)s->opt.welcome.size());
        if (s->opt.no_arcade) server_queue_message(s, c, MSG_RULE, "no_arcade", 10);
    }
    // Repeats of CLIENT_INFO (our RACE_SETUP got lost) get the setup again.
    if (c->stage == STAGE_INFO || c->stage == STAGE_SETUP) server_client_setup(s, c);
}

void on_message(Server* s, ServerClient* c, const uint8_t* d, int n) {
    if (n < 14) return;
    uint32_t seq = net_get32(d + 9);
    uint8_t ack[8];
    server_send(s, c, ack, net_pack_server_word(ack, PKT_ACK, seq));
    if (!reliable_accept(&c->reliable, seq)) return;
    const uint8_t* payload = d + 14;
    int length = n - 14;
    switch (d[13]) {
    case MSG_TEXT: {
        // The client keeps to one line in 2 s; one that does not is not relayed.
        if (s->now - c->last_chat < 1.0) return;
        c->last_chat = s->now;
        std::string text((const char*)payload, strnlen((const char*)payload, (size_t)length));
        for (char& ch : text)
            if ((unsigned char)ch < 32) ch = ' ';
        std::string line = (c->info.name.empty() ? "Rider" : c->info.name) + ": " + text;
        if (line.size() > NET_CHAT_MAX) line.resize(NET_CHAT_MAX);
        server_say("Chat %s\n", line.c_str());
        for (ServerClient& o : s->clients)
            if (o.used && o.has_info && o.stage != STAGE_KICKED)
                server_queue_message(s, &o, MSG_TEXT, line.data(), (int)line.size());
        break;
    }
    case MSG_RIDER_INFO:
        // Taken for the races to come; the riders already announced keep their looks.
        net_rider_parse((const char*)payload, length, &c->info);
        break;
    case MSG_CROSSINGS:
        server_crossing(s, c, payload, length);
        break;
    default:
        break;
    }
}

// A datagram from an accepted client, after its slot and key were checked.
void on_client_packet(Server* s, ServerClient* c, const uint8_t* d, int n) {
    uint8_t p[16];
    if (c->stage == STAGE_KICKED && d[0] != PKT_DISCONNECT) {
        if (s->now >= c->kick_resend) {
            c->kick_resend = s->now + 1;
            uint8_t k[NET_DATAGRAM_MAX];
            server_send(s, c, k, net_pack_kick(k, c->kick_text));
        }
        return;
    }
    switch (d[0]) {
    case PKT_CLIENT_INFO:
        on_client_info(s, c, d, n);
        break;
    case PKT_TRACK_ACK:
        if (n >= 13 && c->has_info) server_track_ack(s, c, net_get32(d + 9), NO_SLOT);
        break;
    case PKT_RIDER_ACK:
        if (n >= 17 && c->has_info) {
            uint32_t last = net_get32(d + 13);
            server_track_ack(s, c, net_get32(d + 9), last < MAX_RIDERS ? (int)last : NO_SLOT);
        }
        break;
    case PKT_READY:
        if (n >= 13 && c->has_info) server_ready(s, c, net_get32(d + 9));
        break;
    case PKT_STATE:
        if (n >= NET_CLIENT_STATE_SIZE && c->has_info) server_state(s, c, d);
        break;
    case PKT_RESTART_REQUEST:
        if (n >= 13 && c->has_info) server_restart_request(s, c);
        break;
    case PKT_RESTART:
        // The client moved to the race we announced: set it up.
        if (n >= 13 && c->has_info && net_get32(d + 9) == s->race_id) {
            c->stage = STAGE_SETUP;
            server_client_setup(s, c);
        }
        break;
    case PKT_DISCONNECT:
        server_send(s, c, p, net_pack_disconnected(p));
        drop(s, c, "left");
        break;
    case PKT_MESSAGE:
        on_message(s, c, d, n);
        break;
    case PKT_ACK:
        if (n >= 13) reliable_ack(&c->reliable, net_get32(d + 9));
        break;
    default:
        break;
    }
}

} // namespace

void server_say(const char* format, ...) {
    char text[1200];
    va_list args;
    va_start(args, format);
    vsnprintf(text, sizeof text, format, args);
    va_end(args);
    long sec, usec;
    clock_now(&sec, &usec);
    char stamp[32];
    log_format_stamp(stamp, sizeof stamp, sec, usec);
    fputs(stamp, stdout);
    fputs(text, stdout);
    fflush(stdout);
    log_printf("%s", text);
}

int server_slot(const Server* s, const ServerClient* c) {
    return (int)(c - s->clients);
}

void server_send(Server* s, ServerClient* c, const uint8_t* bytes, int length) {
    if (!bytes || length <= 0) return;
    int n = net_send(s->sock, bytes, length, &c->addr);
    if (n > 0) {
        s->bytes_out += n;
        c->bytes_out += n;
    }
}

void server_queue_message(Server* s, ServerClient* c, int subtype, const void* payload,
                          int length) {
    uint8_t p[NET_RELIABLE_MAX];
    reliable_push(&c->reliable, p,
                  net_pack_server_message(p, c->reliable.next_out, subtype, payload, length));
    (void)s;
}

int server_open(Server* s, const ServerOptions& opt, double now, std::string* error) {
    s->opt = opt;
    s->now = now;
    s->sock = net_open_bound(opt.port);
    if (s->sock < 0) {
        *error = "can't listen on port " + std::to_string(opt.port) + " (" +
                 (net_error() ? net_error() : "in use") + ")";
        return 0;
    }
    s->port = net_local_port(s->sock);
    s->race_id = 0;
    server_begin_warmup(s, 0);
    server_say("Listening on port %d\n", s->port);
    return 1;
}

void server_datagram(Server* s, const uint8_t* data, int length, const NetAddress* from) {
    s->datagrams_in++;
    s->bytes_in += length;
    if (length < 1) return;
    if (data[0] == PKT_CONTACT) {
        on_contact(s, data, length, from);
        return;
    }
    // Everything else must come from a client, carrying its own slot and key.
    ServerClient* c = client_at(s, from);
    if (!c || length < 9 || net_get32(data + 1) != (uint32_t)server_slot(s, c) ||
        net_get32(data + 5) != c->key) {
        s->datagrams_dropped++;
        return;
    }
    c->last_heard = s->now;
    c->bytes_in += length;
    on_client_packet(s, c, data, length);
}

void server_step(Server* s, double now) {
    s->now = now;
    uint8_t data[NET_DATAGRAM_MAX + 1];
    for (int i = 0; i < RECEIVE_PER_STEP; i++) {
        NetAddress from;
        int n = net_receive(s->sock, data, NET_DATAGRAM_MAX, &from);
        if (n < 0) break;
        server_datagram(s, data, n, &from);
    }
    // Clients that went silent, kicked ones that never said goodbye, and ones whose messages
    // pile up unacknowledged (they would hold the server's memory).
    for (ServerClient& c : s->clients) {
        if (!c.used) continue;
        uint8_t p[4];
        if (now - c.last_heard > s->opt.timeout) {
            server_send(s, &c, p, net_pack_disconnected(p));
            drop(s, &c, "timed out");
        } else if (c.reliable.queue.size() > RELIABLE_BACKLOG) {
            server_send(s, &c, p, net_pack_disconnected(p));
            drop(s, &c, "stopped acknowledging");
        }
    }
    server_timed(s);
}

void server_close(Server* s) {
    if (s->phase == PHASE_RACE && s->clock_start > 0) server_write_results(s, "stopped");
    for (ServerClient& c : s->clients)
        if (c.used) {
            uint8_t p[4];
            server_send(s, &c, p, net_pack_disconnected(p));
            c = ServerClient{};
        }
    net_close(s->sock);
    s->sock = -1;
    server_say("Server stopped\n");
}

uint32_t server_tick(const Server* s) {
    if (s->clock_start <= 0) return 0;
    return 1 + (uint32_t)std::floor((s->now - s->clock_start) * TICKS_PER_SECOND);
}

double server_wait(const Server* s) {
    return sim_tick;
}

void server_command(Server* s, const std::string& line) {
    char word[32] = "";
    int used = 0;
    sscanf(line.c_str(), " %31s %n", word, &used);
    std::string rest = used > 0 && used <= (int)line.size() ? line.substr((size_t)used) : "";
    std::string cmd = word;
    if (cmd.empty()) return;
    if (cmd == "status") {
        const char* phases[] = {"warm-up", "race", "finished"};
        server_say("Race %u (%s) on %s, tick %u\n", s->race_id, phases[s->phase],
                   s->tracks[(size_t)s->track].name.c_str(), server_tick(s));
        for (int i = 0; i < MAX_RIDERS; i++) {
            const ServerClient& c = s->clients[i];
            if (!c.used) continue;
            char where[64];
            server_say("  slot %d: %s (%s) %s, ping %d ms, %s\n", i, c.info.name.c_str(),
                       c.info.number.c_str(), net_address_text(&c.addr, where, sizeof where),
                       (int)(c.ping_ticks * sim_tick * 1000),
                       c.grid < MAX_RIDERS ? "racing" : "watching");
        }
    } else if (cmd == "kick") {
        int slot = -1;
        int n = 0;
        if (sscanf(rest.c_str(), "%d %n", &slot, &n) < 1 || slot < 0 || slot >= MAX_RIDERS ||
            !s->clients[slot].used) {
            server_say("Usage: kick <slot> [text]\n");
            return;
        }
        std::string text = rest.substr((size_t)n);
        kick(s, &s->clients[slot], text.empty() ? "Kicked by the server" : text);
    } else if (cmd == "say") {
        std::string text = "Server: " + rest;
        if (text.size() > NET_CHAT_MAX) text.resize(NET_CHAT_MAX);
        for (ServerClient& c : s->clients)
            if (c.used && c.has_info)
                server_queue_message(s, &c, MSG_TEXT, text.data(), (int)text.size());
        server_say("%s\n", text.c_str());
    } else if (cmd == "restart") {
        server_begin_warmup(s, 0);
    } else if (cmd == "next") {
        server_begin_warmup(s, 1);
    } else if (cmd == "quit" || cmd == "stop") {
        s->stop = 1;
    } else {
        server_say("Commands: status, kick <slot> [text], say <text>, restart, next, quit\n");
    }
}

// The client's handling of each datagram from the server: which states accept which packet,
// the race-id rules, and what each packet changes. A datagram shorter than its packet's fixed
// part is ignored, and texts end at the datagram's end. Layouts: net/protocol.h.
#include <cstdio>
#include <cstring>
#include <string>

#include "core/config.h"
#include "net/client_internal.h"
#include "platform/messages.h"
#include "race/results.h"
#include "race/session.h"
#include "replay/snapshot.h"
#include "track/track.h"
#include "track/tracklist.h"

namespace {

// Ticks above this are not a race clock (97 days): such a server tick is ignored rather than
// let the session clock run into the integer's end.
constexpr uint32_t MAX_SERVER_TICK = 1u << 30;

NetClient& net() {
    return g_net_data;
}

bool in_state(int a, int b) {
    return net().state == a || net().state == b;
}

// The text from byte `from` to the datagram's end.
std::string text_from(const uint8_t* d, int n, int from) {
    if (n <= from) return std::string();
    const char* t = (const char*)d + from;
    return std::string(t, strnlen(t, (size_t)(n - from)));
}

// The race format as the server set it up: "%d minutes + %d laps", "%d minutes" or "%d laps".
void post_race_format() {
    const NetClient& c = net();
    char text[64];
    if (c.time_limit >= 1) {
        int minutes = (int)(c.time_limit * sim_tick / 60 + 0.5);
        if (c.laps >= 1)
            snprintf(text, sizeof text, "%d minutes + %d laps", minutes, c.laps);
        else
            snprintf(text, sizeof text, "%d minutes", minutes);
    } else {
        snprintf(text, sizeof text, "%d laps", c.laps);
    }
    post_message(text);
}

// The clock rule of CLOCK and STATE.
void clock_rule(uint32_t tick) {
    NetClient& c = net();
    if (tick > MAX_SERVER_TICK) return;
    if (c.max_server_tick == 0) session_set_clock((int)tick);
    if (tick > c.max_server_tick) {
        c.max_server_tick = tick;
        c.server_tick = tick;
    }
    if (c.state == NET_READY) {
        post_race_format();
        client_set_state(NET_CONNECTED, 0);
    }
}

void echo_ping(uint32_t echo) {
    NetClient& c = net();
    if (echo != 0 && c.my_slot < MAX_RIDERS)
        c.slots[c.my_slot].ping_ticks = (int)((uint32_t)client_local_tick() - echo);
}

void on_accept(const uint8_t* d, int n) {
    NetClient& c = net();
    if (n < 13 || c.state != NET_CONTACTING) return;
    uint32_t slot = net_get32(d + 1);
    if (slot >= MAX_RIDERS) {
        client_bad_slot("ACCEPT", slot);
        return;
    }
    c.my_slot = (int)slot;
    c.session_key = net_get32(d + 5);
    if (net_get32(d + 9) != NET_PROTOCOL_VERSION) {
        post_message("Server version does not match client version\n");
        client_set_state(NET_DISCONNECTING, 1);
        return;
    }
    client_set_state(NET_SENDING_INFO, 1);
}

void on_race_setup(const uint8_t* d, int n) {
    NetClient& c = net();
    if (n < 37 || !in_state(NET_SENDING_INFO, NET_RESTART)) return;
    uint32_t id = net_get32(d + 1);
    if (c.race_id != 0 && c.race_id != id) return;
    c.race_id = id;
    c.time_limit = (int)net_get32(d + 5);
    c.laps = (int)net_get32(d + 9);
    c.start_tick = (int)net_get32(d + 13);
    memcpy(c.digest, d + 17, 20);
    std::string name = text_from(d, n, 37);
    if (name.empty() || tracklist_find(name.c_str()) < 0) {
        char text[200];
        snprintf(text, sizeof text, "Can't find track '%.150s'\n", name.c_str());
        post_message(text);
        client_set_state(NET_DISCONNECTING, 1);
        return;
    }
    c.track = name;
    client_set_state(NET_TRACK_ACK, 1);
    for (NetSlot& s : c.slots) s = NetSlot{};
    c.max_server_tick = 0;
    c.server_tick = 0;
    c.my_rider = NO_SLOT;
    c.last_announced = NO_SLOT;
    c.crossings_reported = 0;
    snapshot_history_reset();
}

void on_rider_info(const uint8_t* d, int n) {
    NetClient& c = net();
    if (n < 9 || !in_state(NET_TRACK_ACK, NET_RIDER_ACK) || net_get32(d + 1) != c.race_id) return;
    uint32_t slot = net_get32(d + 5);
    if (slot >= MAX_RIDERS) {
        client_bad_slot("RIDER_INFO", slot);
        return;
    }
    if (c.last_announced != NO_SLOT && slot <= (uint32_t)c.last_announced) return;
    NetSlot& s = c.slots[slot];
    net_rider_parse((const char*)d + 9, n - 9, &s.info);
    c.last_announced = (int)slot;
    s.lineup = NET_LINEUP_REMOTE;
    client_set_state(NET_RIDER_ACK, 1);
}

void on_start(const uint8_t* d, int n) {
    NetClient& c = net();
    if (n < 9 || !in_state(NET_TRACK_ACK, NET_RIDER_ACK) || net_get32(d + 1) != c.race_id) return;
    uint32_t rider = net_get32(d + 5);
    if (rider > NO_SLOT) {
        client_bad_slot("START", rider);
        return;
    }
    NetSlot& me = c.slots[c.my_slot];
    me.lineup = NET_LINEUP_ME;
    net_rider_parse((const char*)d + 9, n - 9, &me.info);
    c.my_rider = (int)rider;
    client_start_race();
    client_set_state(NET_READY, 1);
    // A track that did not load, or loaded with other contents than the server's, cannot race.
    if (!g_track.loaded || memcmp(g_track.digest, c.digest, sizeof c.digest) != 0) {
        char text[200];
        snprintf(text, sizeof text,
                 "Client track modified - does not match server's track (%.100s)\n",
                 c.track.c_str());
        post_message(text);
        client_set_state(NET_DISCONNECTING, 1);
    }
}

void on_clock(const uint8_t* d, int n) {
    if (n < 13 || !in_state(NET_READY, NET_CONNECTED) || net_get32(d + 1) != net().race_id) return;
    echo_ping(net_get32(d + 9));
    clock_rule(net_get32(d + 5));
}

void on_state(const uint8_t* d, int n) {
    if (n < NET_STATE_HEADER || !in_state(NET_READY, NET_CONNECTED) ||
        net_get32(d + 1) != net().race_id)
        return;
    uint32_t count = net_get32(d + 13);
    int at = NET_STATE_HEADER;
    for (uint32_t i = 0; i < count; i++, at += NET_STATE_ENTRY) {
        if (n - at < NET_STATE_ENTRY) {
            post_message("State packet too small");
            break;
        }
        uint32_t word = net_get32(d + at);
        uint32_t slot = word & 63u;
        if (slot >= MAX_RIDERS) {
            client_bad_slot("STATE", slot);
            continue;
        }
        client_state_entry((int)slot, (int)(word >> 6), net_get32(d + at + 4), d + at + 8);
    }
    echo_ping(net_get32(d + 9));
    clock_rule(net_get32(d + 5));
}

void on_restart(const uint8_t* d, int n) {
    NetClient& c = net();
    if (n < 5 || !in_state(NET_READY, NET_CONNECTED)) return;
    uint32_t id = net_get32(d + 1);
    if (id <= c.race_id) return;
    c.race_id = id;
    client_set_state(NET_RESTART, 0);
}

void on_message(const uint8_t* d, int n) {
    NetClient& c = net();
    if (n < 6) return;
    uint32_t seq = net_get32(d + 1);
    uint8_t ack[16];
    client_send(ack, net_pack_client_word(ack, PKT_ACK, c.my_slot, c.session_key, seq));
    if (!reliable_accept(&c.reliable, seq)) return; // a repeat, or out of order
    const uint8_t* payload = d + 6;
    int length = n - 6;
    switch (d[5]) {
    case MSG_TEXT:
        post_message(text_from(d, n, 6).c_str());
        break;
    case MSG_CROSSINGS:
        client_crossings(payload, length);
        break;
    case MSG_RULE:
        // Ten bytes compared, the terminator included: the rule is exactly "no_arcade".
        if (text_from(d, n, 6) == "no_arcade") client_block_arcade();
        break;
    default:
        break;
    }
}

} // namespace

void client_handle_datagram(const uint8_t* data, int length) {
    NetClient& c = net();
    if (!data || length < 1) return;
    int n = length < NET_DATAGRAM_MAX ? length : NET_DATAGRAM_MAX;
    // A copy ending in a NUL: texts are read up to the datagram's end and never past it.
    memcpy(c.buffer, data, (size_t)n);
    c.buffer[n] = 0;
    const uint8_t* d = c.buffer;
    int type = d[0];
    // Race packets mean nothing before the server gave this client a slot.
    bool race_packet = type == PKT_RACE_SETUP || type == PKT_RIDER_INFO || type == PKT_START ||
                       type == PKT_CLOCK || type == PKT_STATE || type == PKT_RESTART_REQUEST ||
                       type == PKT_RESTART;
    if (race_packet && c.my_slot == NO_SLOT) return;
    switch (type) {
    case PKT_FULL:
        post_message("Server is full\n");
        break;
    case PKT_ACCEPT:
        on_accept(d, n);
        break;
    case PKT_RACE_SETUP:
        on_race_setup(d, n);
        break;
    case PKT_RIDER_INFO:
        on_rider_info(d, n);
        break;
    case PKT_START:
        on_start(d, n);
        break;
    case PKT_CLOCK:
        on_clock(d, n);
        break;
    case PKT_STATE:
        on_state(d, n);
        break;
    case PKT_RESTART_REQUEST:
        if (n >= 5 && in_state(NET_READY, NET_CONNECTED)) c.restart_value = net_get32(d + 1);
        break;
    case PKT_RESTART:
        on_restart(d, n);
        break;
    case PKT_DISCONNECT:
        post_message("Disconnected\n");
        client_reset();
        break;
    case PKT_KICK:
        post_message(text_from(d, n, 1).c_str());
        client_set_state(NET_DISCONNECTING, 1);
        break;
    case PKT_MESSAGE:
        on_message(d, n);
        break;
    case PKT_ACK:
        if (n >= 5) reliable_ack(&c.reliable, net_get32(d + 1));
        break;
    default:
        break;
    }
}

// The client's connection: connecting, the per-tick network step with its resends, sending,
// disconnecting and the reset, and the queries the main loop, the renderer and the HUD make.
#include "net/client.h"

#include <cstdio>
#include <cstring>

#include "bike/bike.h"
#include "core/config.h"
#include "core/settings.h"
#include "net/client_internal.h"
#include "platform/log.h"
#include "platform/messages.h"
#include "race/session.h"

NetClient g_net_data;
const NetClient& g_net = g_net_data;

namespace {

// Datagrams handled in one step at most: the server sends a few per tick, so more can only be
// a flood, which must not hold the game in this loop (the rest waits for the next step).
constexpr int RECEIVE_PER_STEP = 256;

double now() {
    return g_messages.elapsed_time;
}

// Posts a text, or the send error when the send failed with a name.
void send_and_post(const uint8_t* bytes, int length, const char* text) {
    if (client_send(bytes, length) && text) post_message(text);
}

// Step 2: the socket and the first CONTACT. 0 when the server cannot be reached at all.
int open_connection() {
    NetClient& c = g_net_data;
    if (!net_resolve(&c.server, c.server_name.c_str(), NET_DEFAULT_PORT)) {
        post_message("Can't resolve address\n");
        c.server_name.clear();
        return 0;
    }
    c.socket = net_open();
    if (c.socket < 0) {
        post_message("Can't create socket\n");
        c.server_name.clear();
        return 0;
    }
    net_faults_clear();
    c.state = NET_CONTACTING;
    c.last_send = now();
    uint8_t p[16];
    send_and_post(p, net_pack_contact(p, !c.password.empty()), "Contacting server\n");
    return 1;
}

// Step 4: every datagram waiting, from the server only.
void receive_all() {
    NetClient& c = g_net_data;
    bool faults = g_settings.fake_lag != 0 || g_settings.fake_loss != 0;
    uint8_t data[NET_DATAGRAM_MAX];
    for (int i = 0; i < RECEIVE_PER_STEP && c.socket >= 0; i++) {
        NetAddress from;
        int n = faults ? net_receive_faulty(c.socket, data, NET_DATAGRAM_MAX, &from, now(),
                                            g_settings.fake_lag, g_settings.fake_loss)
                       : net_receive(c.socket, data, NET_DATAGRAM_MAX, &from);
        if (n < 0) {
            if (net_error()) post_message(net_error());
            return;
        }
        // Anyone may send to our port; only the server is listened to.
        if (!net_address_equal(&from, &c.server)) continue;
        client_handle_datagram(data, n);
    }
}

// Step 7: the state's packet, once a second (every step while connected).
void act_on_state() {
    NetClient& c = g_net_data;
    uint8_t p[NET_DATAGRAM_MAX];
    switch (c.state) {
    case NET_CONTACTING:
        send_and_post(p, net_pack_contact(p, !c.password.empty()), "Contacting server\n");
        break;
    case NET_SENDING_INFO: {
        uint8_t proof[4] = {0, 0, 0, 0};
        if (!c.password.empty()) net_password_proof(c.password.c_str(), c.session_key, proof);
        std::string text = net_own_rider_text(NET_CLIENT_INFO_TEXT);
        send_and_post(p, net_pack_client_info(p, c.my_slot, c.session_key, proof, text),
                      "Sending client info\n");
        c.info_changed = 0;
        break;
    }
    case NET_TRACK_ACK:
        send_and_post(p,
                      net_pack_client_word(p, PKT_TRACK_ACK, c.my_slot, c.session_key, c.race_id),
                      "Sending track acknowledgment\n");
        break;
    case NET_RIDER_ACK: {
        char text[64];
        snprintf(text, sizeof text, "Sending bike acknowledgment %d\n", c.last_announced);
        send_and_post(
            p, net_pack_rider_ack(p, c.my_slot, c.session_key, c.race_id, c.last_announced), text);
        break;
    }
    case NET_READY:
        send_and_post(p, net_pack_client_word(p, PKT_READY, c.my_slot, c.session_key, c.race_id),
                      nullptr);
        break;
    case NET_RESTART:
        send_and_post(p, net_pack_client_word(p, PKT_RESTART, c.my_slot, c.session_key, c.race_id),
                      "Sending restart\n");
        break;
    case NET_DISCONNECTING:
        send_and_post(p, net_pack_disconnect(p, c.my_slot, c.session_key), "Disconnecting\n");
        break;
    case NET_CONNECTED:
        client_connected_step();
        break;
    default:
        break;
    }
}

} // namespace

int client_local_tick() {
    return g_session.session_clock;
}

int client_send(const uint8_t* bytes, int length) {
    const NetClient& c = g_net_data;
    if (c.socket < 0) return 0;
    if (net_send(c.socket, bytes, length, &c.server) >= 0) return 1;
    if (net_error()) {
        char text[160];
        snprintf(text, sizeof text, "sendto error (%.100s)", net_error());
        post_message(text);
    }
    return 0;
}

void client_set_state(int state, int send_now) {
    g_net_data.state = state;
    // Long ago, so the state's packet goes out in this step even in the first second of a run.
    if (send_now) g_net_data.last_send = NET_SEND_NOW;
}

void client_bad_slot(const char* packet, uint32_t slot) {
    if (g_net_data.bad_slot_logged) return;
    g_net_data.bad_slot_logged = 1;
    log_printf("Ignoring slot %u in %s from the server\n", slot, packet);
}

void client_reset() {
    NetClient& c = g_net_data;
    net_close(c.socket);
    c.socket = -1;
    c.server_name.clear();
    c.my_slot = NO_SLOT;
    c.my_rider = NO_SLOT;
    c.state = NET_CONTACTING;
    c.session_key = 0;
    c.race_id = 0;
    c.time_limit = c.laps = c.start_tick = 0;
    c.server_tick = c.max_server_tick = 0;
    c.crossings_reported = 0;
    reliable_reset(&c.reliable);
    c.info_changed = 0;
    c.arcade_blocked = 0;
    c.own_record_valid = 0;
    bikes_set_arcade_blocked(0);
    net_faults_clear(); // the next connection starts without this one's held datagrams
}

void net_step() {
    NetClient& c = g_net_data;
    // 1.
    if (c.server_name.empty()) return;
    // 2.
    if (c.socket < 0 && !open_connection()) return;
    // 3.
    if (c.server_tick > 0) c.server_tick++;
    client_record_own();
    // 4.
    receive_all();
    if (c.socket < 0) return;
    // 5. The oldest reliable message, every half second until it is acknowledged.
    if (const ReliableEntry* e = reliable_due(&c.reliable, now())) client_send(e->bytes, e->length);
    // 6.
    if (c.state != NET_CONNECTED && now() < c.last_send + 1.0) return;
    c.last_send = now();
    // 7.
    act_on_state();
}

void net_connect(const char* server_name) {
    if (g_net_data.socket >= 0) net_disconnect_now();
    client_reset();
    g_net_data.server_name = server_name ? server_name : "";
    g_net_data.password = g_settings.password;
}

void net_disconnect_now() {
    NetClient& c = g_net_data;
    if (c.socket < 0) return;
    uint8_t p[16];
    send_and_post(p, net_pack_disconnect(p, c.my_slot, c.session_key), "Disconnecting\n");
    client_reset();
}

void net_menu_leave() {
    NetClient& c = g_net_data;
    if (c.socket < 0) return;
    if (c.state == NET_CONTACTING) {
        post_message("Disconnected\n"); // nobody accepted us: there is no one to tell
        client_reset();
    } else if (c.state == NET_DISCONNECTING) {
        // Asked again while waiting: the server is not answering, so stop waiting for it.
        net_disconnect_now();
    } else {
        client_set_state(NET_DISCONNECTING, 1);
    }
}

void net_request_restart() {
    NetClient& c = g_net_data;
    if (c.socket < 0 || c.state != NET_CONNECTED) return;
    uint8_t p[16];
    send_and_post(p, net_pack_client_word(p, PKT_RESTART_REQUEST, c.my_slot, c.session_key, 1),
                  "Requesting restart\n");
}

void net_send_chat(const char* text) {
    NetClient& c = g_net_data;
    if (c.socket < 0 || !text) return;
    uint8_t p[NET_RELIABLE_MAX];
    int n = (int)strnlen(text, NET_CHAT_MAX);
    reliable_push(&c.reliable, p,
                  net_pack_client_message(p, c.my_slot, c.session_key, c.reliable.next_out,
                                          MSG_TEXT, text, n));
}

void net_info_changed() {
    g_net_data.info_changed = 1;
}

std::string net_own_rider_text(int buffer) {
    const PlayerRider& p = session_player();
    NetRiderInfo r;
    r.bike = p.bike;
    r.gear = p.gear;
    r.bike_graphics = p.bike_graphics;
    r.wheel_graphics = p.wheel_graphics;
    r.helmet = p.helmet;
    r.number = p.number.empty() ? "999" : p.number;
    r.name = g_config.name.text;
    return net_rider_text(r, buffer);
}

void net_reset() {
    client_reset();
    NetClient& c = g_net_data;
    c.password.clear();
    c.last_announced = NO_SLOT;
    c.last_send = NET_SEND_NOW;
    c.restart_value = 0;
    c.bad_slot_logged = 0;
    c.track.clear();
    memset(c.digest, 0, sizeof c.digest);
    for (NetSlot& s : c.slots) s = NetSlot{};
}

// ---- Queries ----

int net_connected() {
    return g_net_data.socket >= 0;
}

int net_rider_stale(int slot) {
    const NetClient& c = g_net_data;
    if (c.socket < 0 || slot < 0 || slot >= MAX_RIDERS) return 0;
    return (long long)client_local_tick() - (long long)c.slots[slot].last_rx_tick >=
           TICKS_PER_SECOND;
}

int net_warmup() {
    const NetClient& c = g_net_data;
    return c.socket >= 0 && c.my_rider == NO_SLOT &&
           (c.state == NET_READY || c.state == NET_CONNECTED);
}

double net_tick_lead() {
    const NetClient& c = g_net_data;
    if (c.socket < 0 || c.server_tick == 0) return 0;
    return (double)c.server_tick - (double)client_local_tick() - 1.0;
}

int net_before_start() {
    return g_session.session_clock < g_session.start_tick;
}

int net_server_tick() {
    return (int)(g_net_data.server_tick & 0x7fffffffu);
}

int net_ping_ms() {
    const NetClient& c = g_net_data;
    if (c.socket < 0 || c.my_slot < 0 || c.my_slot >= MAX_RIDERS) return -1;
    return (int)(c.slots[c.my_slot].ping_ticks * sim_tick * 1000);
}

int net_clock_offset_ms() {
    const NetClient& c = g_net_data;
    if (c.socket < 0) return 0;
    return (int)(((double)c.server_tick - (double)client_local_tick()) * sim_tick * 1000);
}

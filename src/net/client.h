// The network client: joining a race server over UDP as one rider (or as a watcher), the
// connection's state machine with its once-a-second resends, the reliable message channel,
// the server's clock, and the remote riders the server's STATE packets bring. The main loop
// steps it once per tick; the race session meets it through its network hooks
// (net_race_hooks). The datagrams are described in net/protocol.h.
#pragma once

#include <cstdint>
#include <string>

#include "core/constants.h"
#include "net/protocol.h"
#include "net/reliable.h"
#include "net/transport.h"

struct RaceNetHooks;

// Connection states, numbered as the packet each state sends.
enum NetState {
    NET_CONTACTING = 0,    // CONTACT every second: waiting for the server to accept
    NET_SENDING_INFO = 3,  // CLIENT_INFO: accepted, waiting for a race setup
    NET_TRACK_ACK = 5,     // TRACK_ACK: track found, waiting for riders or the start
    NET_RIDER_ACK = 7,     // RIDER_ACK: acknowledging the highest announced rider
    NET_READY = 9,         // READY: race session started, waiting for the server's clock
    NET_CONNECTED = 11,    // STATE every 4th tick: racing or watching
    NET_RESTART = 14,      // RESTART: the server announced a new race
    NET_DISCONNECTING = 15 // DISCONNECT: waiting for the server to confirm
};

// A last send time that makes the state's packet go out at the next step.
constexpr double NET_SEND_NOW = -1e30;

// Lineup entries of a slot.
enum { NET_LINEUP_EMPTY = 0, NET_LINEUP_ME = 1, NET_LINEUP_REMOTE = 5 };

// What the client knows about one rider slot of the server's race.
struct NetSlot {
    int lineup = NET_LINEUP_EMPTY;
    uint32_t last_rx_tick = 0; // tick of the newest snapshot received for the slot
    int ping_ticks = 0;        // round trip in ticks (this client's own in my_slot)
    NetRiderInfo info;
};

// Process-wide state of the client, written only by net/ (read it through g_net).
struct NetClient {
    int socket = -1; // -1: not connected
    NetAddress server{};
    std::string server_name; // "" = idle
    std::string password;    // "" = none
    int state = NET_CONTACTING;
    int my_slot = NO_SLOT; // the client's slot on the server (from ACCEPT)
    uint32_t session_key = 0;
    uint32_t race_id = 0;
    int time_limit = 0; // ticks, 0 = laps only
    int laps = 0;
    int start_tick = 0;
    uint8_t digest[20] = {}; // the server's track digest
    std::string track;
    int my_rider = NO_SLOT;          // grid place this client rides, NO_SLOT while watching
    int last_announced = NO_SLOT;    // highest rider slot announced, NO_SLOT for none
    uint32_t server_tick = 0;        // as last heard, then one more per step while above 0
    uint32_t max_server_tick = 0;    // highest server tick received
    double last_send = NET_SEND_NOW; // seconds of elapsed time
    NetSlot slots[MAX_RIDERS];
    ReliableChannel reliable;
    int crossings_reported = 0; // gate crossings of this rider last reported
    int info_changed = 0;       // the rider's details changed (the rider menus say so)
    int arcade_blocked = 0;     // the server forbids arcade physics
    uint32_t restart_value = 0; // value of the server's last RESTART_REQUEST
    int bad_slot_logged = 0;    // a slot number of 40 or more was logged once
    uint8_t own_record[NET_SNAPSHOT_SIZE] = {}; // this rider's snapshot of this tick
    int own_record_valid = 0;
    uint8_t buffer[NET_DATAGRAM_MAX + 1] = {}; // the datagram being handled, NUL-terminated
};
extern const NetClient& g_net;

// 1 while a connection is open (contacting included).
int net_connected();
// A remote rider whose last state is a second old or more (it is not drawn).
int net_rider_stale(int slot);
// 1 while this client only watches the server's race (warm-up: collisions off).
int net_warmup();
// Server tick minus local tick minus one, in ticks (the clock correction); 0 until the
// server's clock is known.
double net_tick_lead();
// 1 while the local race is before its start tick.
int net_before_start();
// The server's tick (0 before the first CLOCK).
int net_server_tick();
// Round trip to the server in milliseconds, or -1 when not connected with a slot.
int net_ping_ms();
// The local clock's distance behind the server's in milliseconds (0 when not connected).
int net_clock_offset_ms();
// The client's step, once per simulation tick.
void net_step();
// The hooks the race session calls for remote riders (for race_set_net_hooks).
const RaceNetHooks* net_race_hooks();

// Remembers a server ("host" or "host:port", default port 19800) and the password of the
// command line; the next step connects. An open connection is closed first.
void net_connect(const char* server_name);
// Sends one DISCONNECT, posts "Disconnecting" (or the send error), closes and resets. Nothing
// when not connected.
void net_disconnect_now();
// The Multiplayer menu's disconnect: an accepted connection goes to NET_DISCONNECTING (and
// one already there is dropped at once); one still contacting is dropped at once.
void net_menu_leave();
// In NET_CONNECTED: asks the server for a restart ("Requesting restart").
void net_request_restart();
// Queues a chat line (at most 466 bytes) for the server. Nothing when not connected.
void net_send_chat(const char* text);
// The rider's name, number, bike or looks changed: the server is told once the rider menus
// are left.
void net_info_changed();
// The rider information text of this player (for a buffer of `buffer` bytes).
std::string net_own_rider_text(int buffer);
// Closes any connection and puts the client back to its start (tests, program exit).
void net_reset();

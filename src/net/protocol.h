// The race protocol's datagrams, as the client and our own race server (tools/vornix-server)
// write and read them; the rider information text and the password proof.
//
// Every integer is 32-bit little-endian (signed unless said); byte 0 is the packet type.
// Client packets after CONTACT carry the client's slot in bytes 1-4 and its session key in
// bytes 5-8. Texts are not NUL-terminated: a text runs to the end of the datagram. A client
// reads datagrams into 1023 bytes.
//
// Client to server:
//   0  CONTACT          13  1-4 1 when a password is set, else 0; 5-8 reserved (0);
//                           9-12 protocol version 4
//   3  CLIENT_INFO      41+ slot, key; 9-12 password proof; 13-40 reserved (0);
//                           41- rider information text
//   5  TRACK_ACK        13  slot, key; 9-12 race id
//   7  RIDER_ACK        17  slot, key; 9-12 race id; 13-16 last announced rider slot
//   9  READY            13  slot, key; 9-12 race id
//   11 STATE            60  slot, key; 9-12 race id; 13-16 highest server tick heard (the echo);
//                           17-20 local tick; 21-59 the rider's bike state snapshot
//   13 RESTART_REQUEST  13  slot, key; 9-12 the value 1
//   14 RESTART          13  slot, key; 9-12 the new race id
//   15 DISCONNECT        9  slot, key
//   17 MESSAGE          14+ slot, key; 9-12 sequence number; 13 sub-type; 14- payload
//   18 ACK              13  slot, key; 9-12 the sequence number acknowledged
//
// Server to client:
//   1  FULL              1
//   2  ACCEPT           13  1-4 the client's slot; 5-8 session key; 9-12 protocol version
//   4  RACE_SETUP       37+ 1-4 race id; 5-8 time limit (ticks); 9-12 laps; 13-16 start tick;
//                           17-36 track digest; 37- track name
//   6  RIDER_INFO        9+ 1-4 race id; 5-8 rider slot; 9- rider information text
//   8  START             9+ 1-4 race id; 5-8 the grid place this client rides, 40 to watch;
//                           9- this client's rider information text
//   10 CLOCK            13  1-4 race id; 5-8 server tick (unsigned); 9-12 echo (0 = none)
//   11 STATE            17+ 1-4 race id; 5-8 server tick; 9-12 echo; 13-16 entry count
//                           (unsigned); 17- entries of 47 bytes:
//                             0-3 bits 0-5 the rider's slot, bits 6-31 its ping in ticks;
//                             4-7 the snapshot's tick (unsigned); 8-46 the snapshot
//   13 RESTART_REQUEST   5  1-4 a value
//   14 RESTART           5  1-4 the new race id (unsigned)
//   15 DISCONNECTED      1
//   16 KICK              1+ 1- text
//   17 MESSAGE           6+ 1-4 sequence number; 5 sub-type; 6- payload
//   18 ACK               5  1-4 sequence number
//
// MESSAGE sub-types:
//   3  client to server  the rider information text
//   19 both ways         chat text (from the server: a text to show)
//   21 client to server  race id; crossing index (gates crossed - 1); that crossing's tick
//                        (-1 for a skipped gate)
//   21 server to client  race id; count N; N entries of 12 bytes: slot, crossing index, tick
//   24 server to client  a rule text; "no_arcade" forbids arcade physics
//
// Rider information text: "bike|gear|bike graphics|wheel graphics|helmet\nnumber\nname" (the
// looks as texture data names, "" for a bike's own), or the short form "bike\nnumber\nname"
// when the long one does not fit its buffer.
//
// Password proof: the RIPEMD-160 digest of the password's characters followed by the session
// key as 4 little-endian bytes; the proof's four bytes are digest bytes 3, 2, 1, 0.
#pragma once

#include <cstdint>
#include <string>

#include "core/constants.h"

constexpr int NET_PROTOCOL_VERSION = 4;
constexpr int NET_DATAGRAM_MAX = 1023;    // bytes a client reads of one datagram
constexpr int NET_RELIABLE_MAX = 484;     // bytes of one queued reliable packet
constexpr int NET_SNAPSHOT_SIZE = 39;     // the bike state snapshot (version 5)
constexpr int NET_CLIENT_STATE_SIZE = 60; // a client's STATE
constexpr int NET_STATE_HEADER = 17;      // a server STATE before its entries
constexpr int NET_STATE_ENTRY = 47;       // one rider in a server STATE
// The most entries a client can read from one STATE datagram.
constexpr int NET_STATE_ENTRIES_MAX = (NET_DATAGRAM_MAX - NET_STATE_HEADER) / NET_STATE_ENTRY;
constexpr int NET_CLIENT_INFO_TEXT = 982;  // rider text buffer of CLIENT_INFO
constexpr int NET_MESSAGE_INFO_TEXT = 465; // rider text buffer of MESSAGE sub-type 3
constexpr int NET_CHAT_MAX = 466;          // chat text bytes
constexpr int NET_CROSSINGS_MAX = 38;      // crossing entries in one server MESSAGE

enum NetPacketType {
    PKT_CONTACT = 0,
    PKT_FULL = 1,
    PKT_ACCEPT = 2,
    PKT_CLIENT_INFO = 3,
    PKT_RACE_SETUP = 4,
    PKT_TRACK_ACK = 5,
    PKT_RIDER_INFO = 6,
    PKT_RIDER_ACK = 7,
    PKT_START = 8,
    PKT_READY = 9,
    PKT_CLOCK = 10,
    PKT_STATE = 11,
    PKT_RESTART_REQUEST = 13,
    PKT_RESTART = 14,
    PKT_DISCONNECT = 15, // DISCONNECT from a client, DISCONNECTED from the server
    PKT_KICK = 16,
    PKT_MESSAGE = 17,
    PKT_ACK = 18,
};

enum NetMessageType {
    MSG_RIDER_INFO = 3,
    MSG_TEXT = 19,
    MSG_CROSSINGS = 21,
    MSG_RULE = 24,
};

// A rider's information: bike model, looks (texture data names, "" for the bike's own),
// number (at most 3 characters) and name.
struct NetRiderInfo {
    std::string bike, gear, bike_graphics, wheel_graphics, helmet, number, name;
};

// One gate crossing as the server relays it.
struct NetCrossing {
    int slot;
    int index; // gates crossed - 1
    int value; // the tick of that crossing, -1 for a skipped gate
};

// ---- Integers ----

inline void net_put32(uint8_t* p, uint32_t v) {
    p[0] = (uint8_t)v;
    p[1] = (uint8_t)(v >> 8);
    p[2] = (uint8_t)(v >> 16);
    p[3] = (uint8_t)(v >> 24);
}
inline uint32_t net_get32(const uint8_t* p) {
    return (uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24;
}

// ---- Client packets (each returns the datagram's length) ----

int net_pack_contact(uint8_t* out, int has_password);
// text is cut to fit NET_DATAGRAM_MAX.
int net_pack_client_info(uint8_t* out, int slot, uint32_t key, const uint8_t proof[4],
                         const std::string& text);
// The 13-byte packets: slot, key and one value (TRACK_ACK, READY, RESTART_REQUEST, RESTART,
// ACK).
int net_pack_client_word(uint8_t* out, int type, int slot, uint32_t key, uint32_t value);
int net_pack_rider_ack(uint8_t* out, int slot, uint32_t key, uint32_t race_id, int last);
int net_pack_client_state(uint8_t* out, int slot, uint32_t key, uint32_t race_id, uint32_t echo,
                          int tick, const uint8_t snapshot[NET_SNAPSHOT_SIZE]);
int net_pack_disconnect(uint8_t* out, int slot, uint32_t key);
// payload is cut to fit NET_RELIABLE_MAX.
int net_pack_client_message(uint8_t* out, int slot, uint32_t key, uint32_t seq, int subtype,
                            const void* payload, int length);

// ---- Server packets ----

int net_pack_full(uint8_t* out);
int net_pack_accept(uint8_t* out, int slot, uint32_t key);
int net_pack_race_setup(uint8_t* out, uint32_t race_id, int time_limit, int laps, int start_tick,
                        const uint8_t digest[20], const std::string& track);
// RIDER_INFO and START: race id, a slot or grid place, and a rider text.
int net_pack_rider_text(uint8_t* out, int type, uint32_t race_id, int slot,
                        const std::string& text);
int net_pack_clock(uint8_t* out, uint32_t race_id, uint32_t tick, uint32_t echo);
int net_pack_state_header(uint8_t* out, uint32_t race_id, uint32_t tick, uint32_t echo,
                          uint32_t count);
// One entry at out (47 bytes); ping is kept to its 26 bits.
void net_pack_state_entry(uint8_t* out, int slot, int ping, uint32_t tick,
                          const uint8_t snapshot[NET_SNAPSHOT_SIZE]);
// The 5-byte packets: a type and one value (RESTART_REQUEST, RESTART, ACK).
int net_pack_server_word(uint8_t* out, int type, uint32_t value);
int net_pack_disconnected(uint8_t* out);
int net_pack_kick(uint8_t* out, const std::string& text);
int net_pack_server_message(uint8_t* out, uint32_t seq, int subtype, const void* payload,
                            int length);
// The payload of a server crossings MESSAGE (at most NET_CROSSINGS_MAX entries are written).
std::string net_crossings_payload(uint32_t race_id, const NetCrossing* entries, int count);

// ---- Rider information text ----

// The text for a buffer of `buffer` bytes: the long form when its seven fields plus 6 fit
// below the buffer size, else the short form (cut to buffer - 1 bytes).
std::string net_rider_text(const NetRiderInfo& info, int buffer);
// Parses a text of `length` bytes (it may hold anything). Fields are cut to 127 bytes, the
// number to 3 and the name to 63.
void net_rider_parse(const char* text, int length, NetRiderInfo* out);
// A look named on the wire as it may be loaded here: texture data names ("@" and a name
// without a leading "/", "\" or any ".." part) pass; anything else (a path on this machine)
// becomes "" (the bike's own).
std::string net_safe_look(const std::string& name);

// ---- Password proof ----

void net_password_proof(const char* password, uint32_t key, uint8_t out[4]);

// Internal to the network client: its state record, the datagram handler and the helpers the
// client's files share. Tests and the fuzz target use it; other modules never do.
#pragma once

#include <cstdint>

#include "net/client.h"

extern NetClient g_net_data;

// Handles one datagram as if it came from the server (length bytes at data; the client copies
// at most NET_DATAGRAM_MAX of them, as it reads them).
void client_handle_datagram(const uint8_t* data, int length);
// Sends a datagram to the server; on an error with a name, posts "sendto error (...)". 1 when
// it was sent.
int client_send(const uint8_t* bytes, int length);
// Changes state; send_now makes the new state's packet go out in this step.
void client_set_state(int state, int send_now);
// Closes the socket and puts the connection record back to its start.
void client_reset();
// The local tick (the race session's clock).
int client_local_tick();
// Logs the first slot number of 40 or more a packet brought (later ones silently).
void client_bad_slot(const char* packet, uint32_t slot);

// Race side (client_race.cpp).
// START: the network start of the race session with this client's lineup.
void client_start_race();
// A STATE entry for slot at tick (record: 39 bytes); applied and stored when newer than the
// slot's last one. Allocates nothing.
void client_state_entry(int slot, int ping, uint32_t tick, const uint8_t* record);
// The crossings of a server MESSAGE sub-type 21 (payload after the sub-type).
void client_crossings(const uint8_t* payload, int length);
// "no_arcade": arcade physics off for this connection.
void client_block_arcade();
// NET_CONNECTED's per-tick sends: a new gate crossing, the STATE, changed rider details.
void client_connected_step();
// Packs this rider's bike into own_record and pushes it into its history (step 3).
void client_record_own();

// The reliable message channel of one connection: outgoing MESSAGE packets wait in a queue in
// the order they were made; only the oldest is in flight, sent again every 0.5 s until the
// other side acknowledges its sequence number. Incoming messages are taken only in sequence.
// The client has one channel; the race server one per client.
#pragma once

#include <cstdint>
#include <deque>

#include "net/protocol.h"

constexpr double RELIABLE_RESEND = 0.5; // seconds between sends of the oldest message

// One queued packet (a whole MESSAGE datagram carrying sequence number seq).
struct ReliableEntry {
    double resend = 0; // time of the next send; 0 sends at once
    uint32_t seq = 0;
    int length = 0;
    uint8_t bytes[NET_RELIABLE_MAX];
};

struct ReliableChannel {
    std::deque<ReliableEntry> queue; // oldest first
    uint32_t next_out = 0;           // sequence number of the next queued message
    uint32_t next_in = 0;            // sequence number the next accepted message must carry
};

// Appends a packet built with sequence number ch->next_out (cut to NET_RELIABLE_MAX bytes);
// next_out then grows by one. It goes out at the next reliable_due.
void reliable_push(ReliableChannel* ch, const uint8_t* packet, int length);
// The oldest message when it is due at time now (its next send is then now + 0.5 s), else
// null.
const ReliableEntry* reliable_due(ReliableChannel* ch, double now);
// An acknowledgement: removes the oldest message when it carries seq. 1 when it did.
int reliable_ack(ReliableChannel* ch, uint32_t seq);
// An incoming message: 1 when seq is the next expected one (the expected number then grows),
// 0 for a repeat or a message out of order.
int reliable_accept(ReliableChannel* ch, uint32_t seq);
// Empties the queue and sets both sequence numbers to 0.
void reliable_reset(ReliableChannel* ch);

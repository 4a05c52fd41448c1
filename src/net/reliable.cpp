// The reliable message channel: a queue with one message in flight, and in-order acceptance.
#include "net/reliable.h"

#include <algorithm>
#include <cstring>

void reliable_push(ReliableChannel* ch, const uint8_t* packet, int length) {
    ReliableEntry& e = ch->queue.emplace_back();
    e.resend = 0;
    e.seq = ch->next_out++;
    e.length = std::clamp(length, 0, NET_RELIABLE_MAX);
    if (e.length > 0) memcpy(e.bytes, packet, (size_t)e.length);
}

const ReliableEntry* reliable_due(ReliableChannel* ch, double now) {
    if (ch->queue.empty()) return nullptr;
    ReliableEntry& head = ch->queue.front();
    if (!(now > head.resend)) return nullptr;
    head.resend = now + RELIABLE_RESEND;
    return &head;
}

int reliable_ack(ReliableChannel* ch, uint32_t seq) {
    if (ch->queue.empty() || ch->queue.front().seq != seq) return 0;
    ch->queue.pop_front();
    return 1;
}

int reliable_accept(ReliableChannel* ch, uint32_t seq) {
    if (seq != ch->next_in) return 0;
    ch->next_in++;
    return 1;
}

void reliable_reset(ReliableChannel* ch) {
    ch->queue.clear();
    ch->next_out = 0;
    ch->next_in = 0;
}

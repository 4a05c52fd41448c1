// Fuzzes the network client's handling of datagrams from the server. The input's first byte
// picks the state the connection is in and whether remote riders (bikes without bodies, as a
// watcher keeps them) sit in slots 3 to 5; the rest is whole datagrams, each behind a 2-byte
// little-endian length. Whatever arrives, the client's record must stay sound.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "bike/bike.h"
#include "fuzz_util.h"
#include "net/client.h"
#include "net/client_internal.h"
#include "race/results.h"
#include "race/session_internal.h"
#include "replay/snapshot.h"

namespace {

const int STATES[8] = {NET_CONTACTING, NET_SENDING_INFO, NET_TRACK_ACK, NET_RIDER_ACK,
                       NET_READY,      NET_CONNECTED,    NET_RESTART,   NET_DISCONNECTING};

void check(bool ok) {
    if (!ok) abort();
}

void clear_riders() {
    for (RiderSlot& r : g_session_data.slots) {
        delete r.bike;
        r = RiderSlot{};
    }
    session_reset();
    results_reset();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz_private_folder();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    net_reset();
    clear_riders();
    snapshot_history_reset();
    NetClient& c = g_net_data;
    c.state = STATES[data[0] & 7];
    c.my_slot = data[0] & 8 ? NO_SLOT : 1;
    c.race_id = (data[0] >> 4) & 3;
    // Riders of a race in progress; a START would start a new session and free them, so
    // inputs with riders never hand a START over.
    bool riders = data[0] & 64;
    if (riders) {
        c.my_rider = NO_SLOT; // watching: states are kept, not applied to bodies
        for (int s = 3; s <= 5; s++) {
            Bike* b = new Bike();
            b->info.name = "crf250(2009)";
            g_session_data.slots[s].bike = b;
            g_session_data.slots[s].kind = RIDER_REMOTE;
        }
    }
    size_t at = 1;
    while (at + 2 <= size) {
        size_t n = data[at] | (size_t)data[at + 1] << 8;
        at += 2;
        if (n > size - at) n = size - at;
        if (!(riders && n > 0 && data[at] == 8)) client_handle_datagram(data + at, (int)n);
        at += n;
        check(c.my_slot >= 0 && c.my_slot <= NO_SLOT);
        check(c.my_rider >= 0 && c.my_rider <= NO_SLOT);
        check(c.last_announced >= 0 && c.last_announced <= NO_SLOT);
        check(c.reliable.queue.empty()); // handling a datagram queues nothing
        for (const RiderSlot& r : g_session.slots)
            check(r.gates_passed == (int)r.gate_times.size() || !r.bike);
    }
    net_reset();
    clear_riders();
    return 0;
}

// The client's side of the race: the network start of the race session, remote riders placed
// from their snapshots (at once, extrapolated between packets, or sampled a second back while
// watching), this rider's snapshot and gate crossings going out, and the crossings of the
// others coming in.
#include <algorithm>
#include <cstring>

#include "bike/bike.h"
#include "bike/step.h"
#include "core/config.h"
#include "net/client_internal.h"
#include "platform/messages.h"
#include "race/hooks.h"
#include "race/results.h"
#include "race/session.h"
#include "replay/snapshot.h"

namespace {

constexpr int WATCH_DELAY = 127; // ticks a watcher sees the race behind the server
constexpr int MAX_EXTRAPOLATION = 64;

NetClient& net() {
    return g_net_data;
}

Bike* bike_of(int slot) {
    if (slot < 0 || slot >= MAX_RIDERS) return nullptr;
    return g_session.slots[slot].bike;
}

bool remote(int slot) {
    return bike_of(slot) && g_session.slots[slot].kind == RIDER_REMOTE;
}

bool watching() {
    return net().my_rider == NO_SLOT;
}

// Ticks since the slot's newest snapshot (negative while it is ahead of the local clock).
long long since_state(int slot) {
    return (long long)client_local_tick() - (long long)net().slots[slot].last_rx_tick;
}

// Step 1 of the race tick: every remote rider where it is now.
void apply_states() {
    if (net().socket < 0) return;
    int now = client_local_tick();
    uint8_t record[SNAPSHOT_SIZE];
    for (int slot = 0; slot < MAX_RIDERS; slot++) {
        if (!remote(slot)) continue;
        Bike* bike = bike_of(slot);
        if (watching()) {
            snapshot_history_sample(slot, now - WATCH_DELAY, bike, record);
            snapshot_apply(bike, record, SNAPSHOT_VERSION, 1);
        } else {
            long long d = since_state(slot);
            if (d > 0) bike_extrapolate(bike, (int)std::min<long long>(d, MAX_EXTRAPOLATION));
        }
    }
}

void before_world_step(int slot) {
    if (Bike* b = bike_of(slot)) bike_pre_world_step(b);
}

void after_world_step(int slot) {
    if (Bike* b = bike_of(slot)) bike_post_world_step(b);
}

int rider_recent(int slot) {
    if (slot < 0 || slot >= MAX_RIDERS || net().socket < 0) return 0;
    return since_state(slot) < TICKS_PER_SECOND;
}

// Queues a reliable MESSAGE of this client.
void queue_message(int subtype, const void* payload, int length) {
    NetClient& c = net();
    uint8_t p[NET_RELIABLE_MAX];
    reliable_push(&c.reliable, p,
                  net_pack_client_message(p, c.my_slot, c.session_key, c.reliable.next_out, subtype,
                                          payload, length));
}

} // namespace

const RaceNetHooks* net_race_hooks() {
    static const RaceNetHooks hooks = [] {
        RaceNetHooks h;
        h.apply_states = apply_states;
        h.before_world_step = before_world_step;
        h.after_world_step = after_world_step;
        h.rider_recent = rider_recent;
        return h;
    }();
    return &hooks;
}

void client_start_race() {
    const NetClient& c = net();
    NetRaceStart start;
    for (int i = 0; i < MAX_RIDERS; i++) {
        const NetSlot& s = c.slots[i];
        if (s.lineup == NET_LINEUP_ME) {
            start.lineup[i] = RIDER_CODE_LOCAL;
        } else if (s.lineup == NET_LINEUP_REMOTE) {
            start.lineup[i] = RIDER_CODE_REMOTE;
            PlayerRider& r = start.remote[i];
            r.bike = s.info.bike;
            r.number = s.info.number;
            // What another client names is loaded here only as a texture of the game's data.
            r.gear = net_safe_look(s.info.gear);
            r.bike_graphics = net_safe_look(s.info.bike_graphics);
            r.wheel_graphics = net_safe_look(s.info.wheel_graphics);
            r.helmet = net_safe_look(s.info.helmet);
        }
    }
    start.track = c.track;
    start.start_tick = c.start_tick;
    start.race_length = std::max(c.time_limit, 0);
    start.extra_laps = std::max(c.laps, 0);
    start.record = g_config.record.current == YES;
    start.in_race = c.my_rider != NO_SLOT;
    start.grid_index = start.in_race ? c.my_rider : c.my_slot;
    session_start_network(start);
}

void client_state_entry(int slot, int ping, uint32_t tick, const uint8_t* record) {
    NetClient& c = net();
    if (!remote(slot)) return;
    NetSlot& s = c.slots[slot];
    if (tick <= s.last_rx_tick) return; // not newer than what we have
    // The first state moves the rider from where it was parked: that is no motion to take a
    // velocity from, so it is placed at rest.
    int ticks = s.last_rx_tick == 0 ? 0 : (int)std::min<uint32_t>(tick - s.last_rx_tick, 1u << 20);
    if (!watching()) snapshot_apply(bike_of(slot), record, SNAPSHOT_VERSION, ticks);
    s.ping_ticks = ping;
    s.last_rx_tick = tick;
    snapshot_history_push(slot, (int)(tick & 0x7fffffffu), record);
}

void client_crossings(const uint8_t* p, int length) {
    const NetClient& c = net();
    if (length < 8 || net_get32(p) != c.race_id) return;
    uint32_t count = net_get32(p + 4);
    const uint8_t* e = p + 8;
    for (uint32_t i = 0; i < count && e + 12 <= p + length; i++, e += 12) {
        uint32_t slot = net_get32(e);
        if (slot >= MAX_RIDERS) {
            client_bad_slot("a gate crossing", slot);
            continue;
        }
        if ((int)slot == c.my_slot || !bike_of((int)slot)) continue;
        rider_set_crossing((int)slot, (int)net_get32(e + 4), (int)net_get32(e + 8));
    }
    standings_update();
}

void client_block_arcade() {
    NetClient& c = net();
    c.arcade_blocked = 1;
    bikes_set_arcade_blocked(1);
    if (g_config.arcade.current == YES) post_message("Arcade physics disabled");
    for (const RiderSlot& r : g_session.slots)
        if (r.bike && r.kind == RIDER_LOCAL) bike_arcade_off(r.bike);
}

void client_record_own() {
    NetClient& c = net();
    c.own_record_valid = 0;
    if (c.my_rider == NO_SLOT || !bike_of(c.my_slot)) return;
    snapshot_pack(bike_of(c.my_slot), c.own_record);
    c.own_record_valid = 1;
    snapshot_history_push(c.my_slot, client_local_tick(), c.own_record);
}

void client_connected_step() {
    NetClient& c = net();
    bool riding = c.my_slot < MAX_RIDERS && c.my_rider < MAX_RIDERS && bike_of(c.my_slot);
    // (a) A new gate crossing of this rider.
    if (riding) {
        int count = rider_gates(c.my_slot);
        if (count != c.crossings_reported) {
            c.crossings_reported = count;
            // With no crossing left (a rider put back to the grid) there is nothing to report.
            if (count > 0) {
                uint8_t payload[12];
                net_put32(payload, c.race_id);
                net_put32(payload + 4, (uint32_t)(count - 1));
                net_put32(payload + 8, (uint32_t)rider_gate_time(c.my_slot, count - 1));
                queue_message(MSG_CROSSINGS, payload, sizeof payload);
            }
        }
    }
    // (b) This rider's state, 32 times a second.
    if (riding && c.own_record_valid && client_local_tick() % 4 == 0) {
        uint8_t p[NET_CLIENT_STATE_SIZE];
        client_send(p, net_pack_client_state(p, c.my_slot, c.session_key, c.race_id,
                                             c.max_server_tick, client_local_tick(), c.own_record));
    }
    // (c) Changed rider details, once the rider menus are left (the menus tell us then).
    if (c.info_changed) {
        std::string text = net_own_rider_text(NET_MESSAGE_INFO_TEXT);
        queue_message(MSG_RIDER_INFO, text.data(), (int)text.size());
        c.info_changed = 0;
    }
}

// Bike state snapshots: the fixed 39-byte record of one rider and bike at one tick, shared by
// demo files and the network; packing a live bike, decoding a record into physical values,
// interpolating two records, and the per-slot history ring with its lookup.
//
// Record layout (version 5, 39 bytes, multi-byte values unsigned little-endian; every code is
// floor() of the scaled value after clamping; E = terrain extent, H = terrain min_height):
//   0-2   frame x         u24 = floor(clamp(x, 0, E) / E x 16777215)
//   3-5   frame y         u24 = floor((clamp(y, H, H + E) - H) / E x 16777215)
//   6-8   frame z         as x
//   9-16  frame quaternion w, x, y, z: u16 each = floor((clamp(c, -1, 1) + 1) / 2 x 65535)
//   17    steering angle  u8 = floor((clamp(a, -pi/4, pi/4) + pi/4) x (2/pi) x 255)
//   18    swingarm angle  u8 = floor((clamp(a, -Ts, 0) + Ts) / Ts x 255), Ts = swingarm_travel
//   19    fork position   u8 = floor((clamp(p, -Tf, 0) + Tf) / Tf x 255), Tf = fork_travel
//   20-25 rider body minus frame position, x, y, z (world feet):
//                         u16 each = floor((clamp(d, -16, 16) + 16) x 0.03125 x 65535)
//   26-33 rider quaternion, as bytes 9-16
//   34    front wheel spin angle  u8 = floor((clamp(a, -pi, pi) + pi) / (2 pi) x 255)
//   35    rear wheel spin angle   as byte 34
//   36    drive byte: riding (crash_countdown < 1): bits 0-2 gear clamped 0..6, bit 3 set when
//         crash_blend > 0, bits 4-7 trunc(throttle x 15) clamped 0..15; crashed: bits 0-2 = 7,
//         bit 3 = 0, bits 4-7 = min(15, (countdown x 15 - 15) / 127)
//   37-38 engine rpm      u16 = floor(clamp(rpm, 0, 32768) / 32768 x 65535)
// Version 4 (26 bytes): bytes 0-19 as above, byte 20 the rider's place along the bike's rider
// line (u8 / 255), bytes 21-25 as bytes 34-38 of version 5.
#pragma once

#include <cstdint>

#include "bike/snapshot_apply.h" // SnapshotFields

struct Bike;
struct BikeInfo;

constexpr int SNAPSHOT_SIZE = 39;    // bytes of a version 5 record
constexpr int SNAPSHOT_V4_SIZE = 26; // bytes of a version 4 record
constexpr int SNAPSHOT_VERSION = 5;  // the version written
constexpr int SNAPSHOT_RING = 128;   // history entries per slot (one second)
constexpr int SNAPSHOT_SLOTS = 40;   // rider slots with a history
constexpr int SNAPSHOT_CRASHED = 7;  // drive byte gear code of a crashed rider

// One slot's history: entries in increasing tick order, head the newest.
struct SnapshotSlot {
    int head = 0;
    int ticks[SNAPSHOT_RING];                      // -1 = empty
    uint8_t records[SNAPSHOT_RING][SNAPSHOT_SIZE]; // version 5 records
    constexpr SnapshotSlot() : ticks(), records() {
        for (int& t : ticks) t = -1;
    }
};

// The per-slot history (snapshot_history): lives for the whole run, starts empty.
struct SnapshotHistory {
    SnapshotSlot slots[SNAPSHOT_SLOTS];
};
extern SnapshotHistory g_snapshots;

// Record size in bytes of a version: 39 for 5, 26 for 4, 0 for any other.
int snapshot_size(int version);

// Fills a version 5 record from a live bike (bodies, joints, drive and crash state), scaled
// to the loaded terrain (g_terrain's extent and min_height). Allocates nothing.
void snapshot_pack(const Bike* bike, uint8_t out[SNAPSHOT_SIZE]);

// Interpolates two version 5 records: a at f = 0, b at f = 1 (f not checked). out may be a or
// b. Positions, angles and speeds linearly, quaternions along the shorter way and normalised,
// wheel spins across the wrap (forward up to 7/8 turn, backward up to 1/8), drive byte's
// throttle bits from a.
void snapshot_lerp(uint8_t out[SNAPSHOT_SIZE], const uint8_t a[SNAPSHOT_SIZE],
                   const uint8_t b[SNAPSHOT_SIZE], float f);

// Decodes a record of the given version (record holds snapshot_size(version) bytes) with the
// loaded terrain's scale and the bike's travels and gear ratios (info may be null: then the
// travels scale to 0 and no gear is lowered). Every value is finite. 1 on success, 0 for an
// unknown version (out untouched).
int snapshot_decode(const uint8_t* record, int version, const BikeInfo* info, SnapshotFields* out);

// Empties every slot's ring: head 0, all ticks -1.
void snapshot_history_reset();
// Places a bike from a record of the given version (decoded with the bike's own travels and
// gears, then bike_apply_snapshot), `ticks` after the previous one; an unknown version or a
// null record changes nothing.
void snapshot_apply(Bike* bike, const uint8_t* record, int version, int ticks);

// Appends a record for slot (0..39; others are ignored) at tick, unless the newest entry
// already has that tick. The oldest entry is overwritten when the ring is full.
void snapshot_history_push(int slot, int tick, const uint8_t record[SNAPSHOT_SIZE]);
// The slot's record at tick: stored exactly, interpolated between neighbours, the oldest
// before the ring's start, the newest after its end; an empty ring gives the live pack of the
// slot's bike `live` or 39 zero bytes without one (also for a slot outside 0..39).
void snapshot_history_sample(int slot, int tick, const Bike* live, uint8_t out[SNAPSHOT_SIZE]);

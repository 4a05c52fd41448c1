// Bike state snapshots: packing, decoding, interpolation and the per-slot history.
#include "replay/snapshot.h"

#include <cmath>
#include <cstring>

#include "bike/bike.h"
#include "bike/bodypose.h"
#include "core/constants.h"
#include "core/maths.h"
#include "track/terrain.h"

SnapshotHistory g_snapshots;

namespace {

constexpr double U24 = 16777215.0;
constexpr double U16 = 65535.0;
constexpr double U8 = 255.0;

constexpr double RAD_S_PER_RPM = 0.10471975511965977;

// floor(unit x full) for unit in [0, 1]: the quantisation of every field.
unsigned code_of(double unit, double full) {
    double v = floor(clamp_or_low(unit, 0, 1) * full);
    return (unsigned)v;
}

void put24(uint8_t* p, unsigned v) {
    p[0] = (uint8_t)v;
    p[1] = (uint8_t)(v >> 8);
    p[2] = (uint8_t)(v >> 16);
}
void put16(uint8_t* p, unsigned v) {
    p[0] = (uint8_t)v;
    p[1] = (uint8_t)(v >> 8);
}
unsigned get24(const uint8_t* p) {
    return p[0] | (unsigned)p[1] << 8 | (unsigned)p[2] << 16;
}
unsigned get16(const uint8_t* p) {
    return p[0] | (unsigned)p[1] << 8;
}

// Offset into a travel [-travel, 0] as a code; a bike without travel codes 0.
unsigned travel_code(double value, double travel) {
    if (!(travel > 0)) return 0;
    return code_of((clamp_or_low(value, -travel, 0) + travel) / travel, U8);
}

void put_quaternion(uint8_t* p, const double* q) {
    for (int k = 0; k < 4; k++) put16(p + 2 * k, code_of((clamp_or_low(q[k], -1, 1) + 1) / 2, U16));
}

// A decoded quaternion made unit length; identity when the codes give (almost) no length.
void get_quaternion(const uint8_t* p, float out[4]) {
    double q[4], sum = 0;
    for (int k = 0; k < 4; k++) {
        q[k] = get16(p + 2 * k) / U16 * 2 - 1;
        sum += q[k] * q[k];
    }
    if (sum < 1e-6) {
        out[0] = 1, out[1] = out[2] = out[3] = 0;
        return;
    }
    double len = sqrt(sum);
    for (int k = 0; k < 4; k++) out[k] = (float)(q[k] / len);
}

uint8_t drive_byte(const Bike* bike) {
    if (bike->crash_countdown >= 1) {
        // 64-bit so that an absurd countdown cannot overflow before the cap.
        long long level = ((long long)bike->crash_countdown * 15 - 15) / 127;
        if (level > 15) level = 15;
        return (uint8_t)(SNAPSHOT_CRASHED | level << 4);
    }
    int gear = bike->gear < 0 ? 0 : (bike->gear > 6 ? 6 : bike->gear);
    int foot = bike->crash_blend > 0 ? 1 : 0;
    float t = bike->throttle * 15;
    int throttle = !(t > 0) ? 0 : (t >= 15 ? 15 : (int)t);
    return (uint8_t)(gear | foot << 3 | throttle << 4);
}

// The single-precision unit value of a code, as the interpolation works with it.
float unit_of(unsigned v, float full) {
    return (float)v / full;
}

unsigned lerp_code(unsigned a, unsigned b, float f, float full) {
    float va = unit_of(a, full), vb = unit_of(b, full);
    float r = clamp_or_low(va + (vb - va) * f, 0, 1);
    return (unsigned)floorf(r * full);
}

void lerp_quaternion(uint8_t* out, const uint8_t* a, const uint8_t* b, float f) {
    float qa[4], qb[4], dot = 0;
    for (int k = 0; k < 4; k++) {
        qa[k] = unit_of(get16(a + 2 * k), 65535.0f) * 2 - 1;
        qb[k] = unit_of(get16(b + 2 * k), 65535.0f) * 2 - 1;
        dot += qa[k] * qb[k];
    }
    // The shorter way round: q and -q are the same rotation.
    if (dot < 0)
        for (float& c : qa) c = -c;
    float r[4], sum = 0;
    for (int k = 0; k < 4; k++) {
        r[k] = qa[k] + (qb[k] - qa[k]) * f;
        sum += r[k] * r[k];
    }
    // A coded component is never exactly 0, so with dot >= 0 the sum is positive.
    float len = sqrtf(sum);
    for (int k = 0; k < 4; k++) {
        float c = clamp_or_low(len > 0 ? r[k] / len : 0, -1, 1);
        put16(out + 2 * k, (unsigned)floorf((c + 1) / 2 * 65535.0f));
    }
}

// Wheel spin across the wrap: forward by up to 7/8 of a turn, backward by up to 1/8.
unsigned lerp_wheel(unsigned a, unsigned b, float f) {
    float va = unit_of(a, 255.0f), vb = unit_of(b, 255.0f);
    if (vb < va - 0.125f)
        va -= 1;
    else if (vb > va + 0.875f)
        vb -= 1;
    float r = va + (vb - va) * f;
    if (r < 0) r += 1;
    r = clamp_or_low(r, 0, 1);
    return (unsigned)floorf(r * 255.0f);
}

} // namespace

int snapshot_size(int version) {
    if (version == 5) return SNAPSHOT_SIZE;
    if (version == 4) return SNAPSHOT_V4_SIZE;
    return 0;
}

void snapshot_pack(const Bike* bike, uint8_t out[SNAPSHOT_SIZE]) {
    const double E = g_terrain.extent, H = g_terrain.min_height;
    BikeJointState j;
    bike_joint_state(bike, &j);
    const double* frame = j.frame_position;
    const double* rider = j.rider_position;

    // A terrain without extent (none loaded) codes every position as 0.
    if (E > 0) {
        put24(out + 0, code_of(clamp_or_low(frame[0], 0, E) / E, U24));
        put24(out + 3, code_of((clamp_or_low(frame[1], H, H + E) - H) / E, U24));
        put24(out + 6, code_of(clamp_or_low(frame[2], 0, E) / E, U24));
    } else {
        memset(out, 0, 9);
    }
    put_quaternion(out + 9, j.frame_quaternion);

    double steer = j.steer_angle;
    out[17] = (uint8_t)code_of((clamp_or_low(steer, -PI / 4, PI / 4) + PI / 4) * (2 / PI), U8);
    out[18] = (uint8_t)travel_code(j.swingarm_angle, bike->info.swingarm_travel);
    out[19] = (uint8_t)travel_code(j.fork_position, bike->info.fork_travel);

    for (int k = 0; k < 3; k++) {
        double d = rider[k] - frame[k];
        put16(out + 20 + 2 * k, code_of((clamp_or_low(d, -16, 16) + 16) * 0.03125, U16));
    }
    put_quaternion(out + 26, j.rider_quaternion);

    for (int w = 0; w < 2; w++) {
        double a = j.wheel_angle[w];
        out[34 + w] = (uint8_t)code_of((clamp_or_low(a, -PI, PI) + PI) * (1 / (2 * PI)), U8);
    }
    out[36] = drive_byte(bike);
    double rpm = (double)bike->engine_speed * RPM_PER_RADIAN_PER_SECOND;
    put16(out + 37, code_of(clamp_or_low(rpm, 0, 32768) / 32768, U16));
}

void snapshot_lerp(uint8_t out[SNAPSHOT_SIZE], const uint8_t a[SNAPSHOT_SIZE],
                   const uint8_t b[SNAPSHOT_SIZE], float f) {
    // Work on copies: out may be a or b.
    uint8_t ra[SNAPSHOT_SIZE], rb[SNAPSHOT_SIZE];
    memcpy(ra, a, SNAPSHOT_SIZE);
    memcpy(rb, b, SNAPSHOT_SIZE);

    // 1. Position.
    for (int at = 0; at < 9; at += 3)
        put24(out + at, lerp_code(get24(ra + at), get24(rb + at), f, 16777215.0f));
    // 2. Quaternions.
    lerp_quaternion(out + 9, ra + 9, rb + 9, f);
    lerp_quaternion(out + 26, ra + 26, rb + 26, f);
    // 3. Steering, swingarm, fork.
    for (int at = 17; at < 20; at++) out[at] = (uint8_t)lerp_code(ra[at], rb[at], f, 255.0f);
    // 4. Rider offset and engine speed.
    for (int at : {20, 22, 24, 37})
        put16(out + at, lerp_code(get16(ra + at), get16(rb + at), f, 65535.0f));
    // 5. Wheels.
    out[34] = (uint8_t)lerp_wheel(ra[34], rb[34], f);
    out[35] = (uint8_t)lerp_wheel(ra[35], rb[35], f);
    // 6. Drive byte: throttle bits of a; gear and foot bits as one interpolated number.
    float la = (float)(ra[36] & 15), lb = (float)(rb[36] & 15);
    float low = clamp_or_low(la + (lb - la) * f, 0, 15);
    out[36] = (uint8_t)((ra[36] & 0xF0) | (int)low);
}

int snapshot_decode(const uint8_t* r, int version, const BikeInfo* info, SnapshotFields* out) {
    if (version != 4 && version != 5) return 0;
    const double E = g_terrain.extent, H = g_terrain.min_height;
    const double Ts = info ? info->swingarm_travel : 0, Tf = info ? info->fork_travel : 0;
    SnapshotFields s;
    memset(&s, 0, sizeof s);
    s.version = version;

    s.position[0] = (float)(E * (get24(r + 0) / U24));
    s.position[1] = (float)(H + E * (get24(r + 3) / U24));
    s.position[2] = (float)(E * (get24(r + 6) / U24));
    get_quaternion(r + 9, s.orientation);
    s.steer_angle = (float)(r[17] / U8 * (PI / 2) - PI / 4);
    s.swingarm_angle = (float)(Ts * (r[18] / U8) - Ts);
    s.fork_position = (float)(Tf * (r[19] / U8) - Tf);

    const uint8_t* tail; // wheels, drive byte and engine speed
    if (version == 5) {
        for (int k = 0; k < 3; k++)
            s.rider_offset[k] = (float)(get16(r + 20 + 2 * k) / U16 * 32 - 16);
        get_quaternion(r + 26, s.rider_orientation);
        tail = r + 34;
    } else {
        s.rider_fraction = (float)(r[20] / U8);
        memcpy(s.rider_orientation, s.orientation, sizeof s.orientation);
        tail = r + 21;
    }
    for (int w = 0; w < 2; w++) s.wheel_angle[w] = (float)(tail[w] / U8 * (2 * PI) - PI);

    int drive = tail[2], low = drive & 7, high = drive >> 4;
    if (low == SNAPSHOT_CRASHED) {
        s.crashed = 1;
        s.crash_countdown = high * 127 / 15 + 1;
        s.gear = -1;
        s.throttle = 0;
        s.raise_blend = 1;
    } else {
        s.crash_countdown = 0;
        // Gear 6 is coded but no bike has a seventh ratio: fall back to the highest the bike has.
        int gear = low < BIKE_GEARS - 1 ? low : BIKE_GEARS - 1;
        if (info)
            while (gear > 0 && !(info->gear_ratio[gear] > 0)) gear--;
        s.gear = gear;
        s.throttle = high / 15.0f;
        s.raise_blend = (drive >> 3) & 1;
    }
    s.engine_speed = (float)(get16(tail + 3) / U16 * 32768 * RAD_S_PER_RPM);
    *out = s;
    return 1;
}

void snapshot_history_reset() {
    for (SnapshotSlot& slot : g_snapshots.slots) {
        slot.head = 0;
        for (int& t : slot.ticks) t = -1;
    }
}

void snapshot_history_push(int slot, int tick, const uint8_t record[SNAPSHOT_SIZE]) {
    if (slot < 0 || slot >= SNAPSHOT_SLOTS) return;
    SnapshotSlot& s = g_snapshots.slots[slot];
    if (s.ticks[s.head] == tick) return;
    s.head = (s.head + 1) % SNAPSHOT_RING;
    s.ticks[s.head] = tick;
    memcpy(s.records[s.head], record, SNAPSHOT_SIZE);
}

void snapshot_history_sample(int slot, int t, const Bike* live, uint8_t out[SNAPSHOT_SIZE]) {
    if (slot < 0 || slot >= SNAPSHOT_SLOTS) {
        memset(out, 0, SNAPSHOT_SIZE);
        return;
    }
    const SnapshotSlot& s = g_snapshots.slots[slot];
    // 1. Back from the newest entry to the last one before t.
    int b = s.head, steps = 0;
    while (steps < SNAPSHOT_RING && s.ticks[b] >= t) {
        b = (b + SNAPSHOT_RING - 1) % SNAPSHOT_RING;
        steps++;
    }
    // 2. Its successor.
    int c = (b + 1) % SNAPSHOT_RING;
    int tb = s.ticks[b], tc = s.ticks[c];
    // 3. Nothing usable stored: the live bike, or nothing. A full ring walked all the way
    // round still holds t itself when its oldest entry (c) is exactly at t.
    if ((steps == SNAPSHOT_RING && tc != t) || (tb < 0 && tc < 0)) {
        if (live)
            snapshot_pack(live, out);
        else
            memset(out, 0, SNAPSHOT_SIZE);
        return;
    }
    if (tb < 0 || t == tc) { // 4-5. before the oldest entry, or exactly on an entry
        memcpy(out, s.records[c], SNAPSHOT_SIZE);
    } else if (tb < t && t < tc) { // 6. between two entries
        float f = (float)((double)(t - tb) / (double)(tc - tb));
        snapshot_lerp(out, s.records[b], s.records[c], f);
    } else { // 7. after the newest entry
        memcpy(out, s.records[b], SNAPSHOT_SIZE);
    }
}

void snapshot_apply(Bike* bike, const uint8_t* record, int version, int ticks) {
    SnapshotFields f;
    if (!bike || !record || !snapshot_decode(record, version, &bike->info, &f)) return;
    bike_apply_snapshot(bike, &f, ticks);
}

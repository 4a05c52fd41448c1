// Bike state snapshot decoding and interpolation over arbitrary bytes: a 26-byte input is a
// version 4 record, a 39-byte one a version 5 record; longer inputs are two version 5 records
// and an interpolation fraction, decoded before and after interpolating. Every decoded value
// must be finite and within its field's range.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "bike/bike.h"
#include "replay/snapshot.h"
#include "track/terrain.h"

static const BikeInfo* g_info;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    g_terrain.extent = 4096;
    g_terrain.min_height = -100;
    g_info = bike_info_at(0);
    return 0;
}

static void check(bool ok) {
    if (!ok) abort();
}

static void check_decoded(const uint8_t* record, int version) {
    SnapshotFields f;
    check(snapshot_decode(record, version, g_info, &f) == 1);
    const float* values[] = {f.position, f.orientation, f.rider_offset, f.rider_orientation,
                             f.wheel_angle};
    const int counts[] = {3, 4, 3, 4, 2};
    for (int i = 0; i < 5; i++)
        for (int k = 0; k < counts[i]; k++) check(std::isfinite(values[i][k]));
    float q = 0;
    for (float c : f.orientation) q += c * c;
    check(fabsf(q - 1) < 1e-3f);
    check(std::isfinite(f.engine_speed) && f.engine_speed >= 0);
    check(f.throttle >= 0 && f.throttle <= 1);
    check(f.rider_fraction >= 0 && f.rider_fraction <= 1);
    check(f.steer_angle >= -0.79f && f.steer_angle <= 0.79f);
    if (f.crashed)
        check(f.crash_countdown >= 1 && f.crash_countdown <= 128);
    else
        check(f.crash_countdown == 0 && f.gear >= 0 && f.gear <= 5);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == SNAPSHOT_V4_SIZE) {
        check_decoded(data, 4);
        return 0;
    }
    if (size < SNAPSHOT_SIZE) return 0;
    check_decoded(data, 5);
    if (size < 2 * SNAPSHOT_SIZE + 4) return 0;
    uint8_t a[SNAPSHOT_SIZE], b[SNAPSHOT_SIZE], out[SNAPSHOT_SIZE];
    memcpy(a, data, SNAPSHOT_SIZE);
    memcpy(b, data + SNAPSHOT_SIZE, SNAPSHOT_SIZE);
    float f;
    memcpy(&f, data + 2 * SNAPSHOT_SIZE, sizeof f);
    if (!std::isfinite(f)) return 0;
    check_decoded(b, 5);
    snapshot_lerp(out, a, b, f);
    check_decoded(out, 5);
    // In place, as the history lookup may do.
    snapshot_lerp(a, a, b, f);
    check(memcmp(a, out, SNAPSHOT_SIZE) == 0);
    return 0;
}

// The headless physics harness: tracks, placing bikes, and the bikes' part of the race tick.
#include "bike/harness.h"

#include <ode/ode.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "bike/bike.h"
#include "bike/contact.h"
#include "bike/step.h"
#include "bike/world.h"
#include "track/objects.h"
#include "track/surface.h"
#include "track/terrain.h"
#include "track/track.h"

Harness g_harness;

namespace {

constexpr float FLAT_TILE = 32;     // feet per ground tile of the flat track
constexpr float PLACE_STEP = 0.25f; // placing raises a bike in steps of this many feet
constexpr int PLACE_TRIES = 400;    // at most 100 feet

// Hard packed dirt: grip falling slowly with slip speed, little rolling resistance.
SurfaceType hardpack() {
    SurfaceType s;
    const FrictionPoint friction[] = {{1.2f, 5}, {1.05f, 50}, {0.95f, 100}};
    const RollPoint roll[] = {{3, 8, 10}, {5, 12, 60}};
    for (int k = 0; k < SURFACE_CURVE_POINTS; k++) {
        s.friction[k] = k < 3 ? friction[k] : FrictionPoint{0, 0};
        s.roll_resist[k] = k < 2 ? roll[k] : RollPoint{0, 0, 0};
    }
    s.texture_name = "hardpack.png";
    return s;
}

void hash_bytes(uint64_t* h, const void* data, size_t n) {
    const unsigned char* p = (const unsigned char*)data;
    for (size_t i = 0; i < n; i++) {
        *h ^= p[i];
        *h *= 1099511628211ull;
    }
}

} // namespace

void harness_open() {
    if (!g_physics.world) {
        physics_open();
        g_harness.own_world = 1;
    }
    g_harness.clock = 0;
    physics_set_clock(0);
}

void harness_close() {
    for (Bike* bike : g_harness.bikes) bike_free(bike);
    g_harness.bikes.clear();
    if (g_track.loaded) {
        track_free();
    } else {
        objects_free();
        terrain_free(&g_terrain);
    }
    physics_set_ground(nullptr);
    if (g_harness.own_world) {
        physics_close_contacts();
        physics_close_world();
    }
    g_harness = Harness{};
}

int harness_flat_track(float size) {
    if (g_track.loaded) track_free();
    objects_free();
    terrain_free(&g_terrain);
    Terrain& t = g_terrain;
    int shift = 0;
    while ((float)(1 << shift) * FLAT_TILE < size && shift < TERRAIN_MAX_SHIFT) shift++;
    t.folder = "flat";
    t.shift = shift;
    t.tiles = 1 << shift;
    t.samples = 2 * t.tiles + 1;
    t.spacing = FLAT_TILE / 2;
    t.tile_size = FLAT_TILE;
    t.extent = (float)t.tiles * FLAT_TILE;
    size_t n = (size_t)t.samples * t.samples;
    t.heights.assign(n, 0.0f);
    t.min_height = t.max_height = 0;
    t.shading.assign(n * 3, 100);
    t.shadows.assign(n, 0);
    t.tilemap.assign((size_t)t.tiles * t.tiles, 0);
    t.surfaces.assign(1, hardpack());
    physics_set_ground(&t);
    return 1;
}

int harness_load_track(const char* folder) {
    if (g_track.loaded) track_free();
    terrain_free(&g_terrain);
    if (!track_load_named(folder[0] == '@' ? folder + 1 : folder)) return 0;
    physics_set_ground(&g_terrain);
    return 1;
}

void harness_place(Bike* bike, float x, float z, float heading) {
    bike_reset(bike);
    const float up[3] = {0, 1, 0};
    bike_rotate(bike, up, heading);
    // Start at the nearest height sample, then rise until nothing touches the ground.
    float ground = 0;
    if (g_terrain.samples > 0)
        ground =
            terrain_sample(&g_terrain, (int)(x / g_terrain.spacing), (int)(z / g_terrain.spacing));
    bike_translate(bike, x, ground, z);
    for (int i = 0; i < PLACE_TRIES && bike_ground_test(bike); i++)
        bike_translate(bike, 0, PLACE_STEP, 0);
    for (int i = 0; i < BIKE_BODY_COUNT; i++) {
        const dReal* p = dBodyGetPosition(bike->bodies[i]);
        for (int k = 0; k < 3; k++) bike->rest_positions[i][k] = (float)p[k];
    }
}

Bike* harness_add_bike(const char* name, float x, float z, float heading) {
    int tag = (int)g_harness.bikes.size() + 1;
    char plate[16];
    snprintf(plate, sizeof plate, "%d", tag);
    Bike* bike = bike_load(name ? name : bike_info_at(0)->name, tag, plate, nullptr, nullptr,
                           nullptr, nullptr);
    if (!bike) return nullptr;
    harness_place(bike, x, z, heading);
    g_harness.bikes.push_back(bike);
    return bike;
}

void harness_tick() {
    PhysicsTick tick;
    int n = std::min((int)g_harness.bikes.size(), MAX_RIDERS);
    for (int i = 0; i < n; i++) {
        tick.bikes[i] = g_harness.bikes[i];
        tick.flags[i] = PHYSICS_CONTACTS | PHYSICS_PAIRS | PHYSICS_SIMULATE;
    }
    tick.statues = g_harness.statues;
    tick.clock = g_harness.clock;
    physics_tick(&tick);
    g_harness.clock++;
}

void harness_run(int n) {
    for (int i = 0; i < n; i++) harness_tick();
}

uint64_t harness_state_hash() {
    uint64_t h = 14695981039346656037ull;
    for (const Bike* bike : g_harness.bikes) {
        for (dBodyID body : bike->bodies) {
            hash_bytes(&h, dBodyGetPosition(body), 3 * sizeof(dReal));
            hash_bytes(&h, dBodyGetQuaternion(body), 4 * sizeof(dReal));
            hash_bytes(&h, dBodyGetLinearVel(body), 3 * sizeof(dReal));
            hash_bytes(&h, dBodyGetAngularVel(body), 3 * sizeof(dReal));
        }
        hash_bytes(&h, &bike->engine_speed, sizeof bike->engine_speed);
        hash_bytes(&h, &bike->clutch_wind, sizeof bike->clutch_wind);
        hash_bytes(&h, &bike->gear, sizeof bike->gear);
        hash_bytes(&h, &bike->crash_countdown, sizeof bike->crash_countdown);
    }
    return h;
}

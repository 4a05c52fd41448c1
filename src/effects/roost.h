// Roost: the dirt, sand and spray the wheels throw, as a fixed pool of particles, and the wear
// they leave in the ground.
//
// Every tick each rider's wheels look up the roost types of the ground tile under their
// contact (track/surface.h) and throw particles: splash (kind 2) from the wheel's motion over
// the ground, roost (kind 1) off the tyre when it slips. Particles fly under drag and a gravity
// of 32 ft/s^2, grow and fade, and return to the pool when they fall back below the ground.
// With a wear factor above 0 ("--erode") each particle takes its load of ground away where it
// leaves (terrain_deform on g_terrain) and puts it back where it lands.
//
// The pool holds ROOST_POOL particles, allocated once, in two intrusive singly linked lists
// (free and live); a particle carries its own billboard (position, size, texture, colour),
// which the renderer draws among the track's billboards. Random numbers come from the shared
// MT19937 (platform/random.h), which the race start seeds. Units: feet, seconds; one tick is
// 1/128 s.
#pragma once

#include <cstdint>

struct Bike;
struct RoostType;

constexpr int ROOST_POOL = 2000;
constexpr int ROOST_NONE = -1; // end of a particle list
// Spray angle caps of the first (front) and second (rear) wheel, radians.
constexpr float ROOST_FRONT_CAP = 0.3926991f; // pi/8
constexpr float ROOST_REAR_CAP = 6.2831855f;  // 2 pi
constexpr float ROOST_GRAVITY = 32.0f;        // ft/s^2 on particles
constexpr float ROOST_DIG_MAX = 0.25f;        // feet of load per particle, at most
constexpr float ROOST_DIG_UNIT = 1020.0f;     // dig byte units per foot

struct RoostParticle {
    float position[3]; // feet
    float velocity[3]; // feet per second
    // Its billboard: a camera-facing square centred on the position.
    float size;       // side, feet
    unsigned texture; // GL name; 0 while the particle is free (hidden)
    uint8_t color[4]; // R, G, B, A
    // What it keeps of its roost type.
    float drag, grow;
    int8_t fade[4]; // colour change per tick
    uint8_t dig;    // ground load in 1/1020 feet
    int next;       // next particle of its list, ROOST_NONE at the end
};

// Process-wide state of the roost module, written only by roost.cpp.
struct RoostState {
    RoostParticle particles[ROOST_POOL];
    int free_head = ROOST_NONE;
    int live_head = ROOST_NONE;
    int live_count = 0;
    long long dropped = 0; // particles not thrown because the pool was empty
    int ready = 0;         // the pool was built (emission before any reset builds it)
};
extern const RoostState& g_roost;

// Throws roost from one rider's wheels for this tick, after the contacts and before the world
// step, from the wheels' contact records: this tick's contacts for a rider simulated here, the
// snapshot placement's for a demo or remote rider (bike/contact.h keeps both). Density
// ("roost_density", "--roostfrequency", 0..1000) and the wear factor ("--erode") come from
// g_settings. Allocates nothing.
void roost_emit(const Bike* bike);
// Moves every live particle one tick, after the bike steps; landed particles return to the
// pool (and give their load back to the ground).
void roost_update();
// Empties the pool: every particle free and hidden (every race start).
void roost_reset();

// ---- The emission of one wheel, apart from the bike (tests, benchmarks) ----

// What a wheel does this tick, in world coordinates.
struct RoostWheel {
    float centre[3];           // wheel body centre (feet)
    float axle[3];             // first column of the wheel body's rotation
    float velocity[3];         // wheel body's linear velocity (ft/s)
    float angular_velocity[3]; // rad/s
    float contact_point[3];
    float contact_normal[3];   // unit, out of the ground
    float contact_velocity[3]; // wheel material's velocity at the contact point (ft/s)
    float depth;               // feet; 0 off the ground
};
// Throws the particles of one wheel: at most `emissions` per roost type of the ground tile under
// the contact, with spray angles up to `cap`. tick chooses the side of alternate splash
// particles. Returns the number thrown (dropped ones not counted).
int roost_emit_wheel(const RoostWheel& wheel, int emissions, float cap, int tick);
// Emission passes of one rider this tick for a density 0..1000: density / 100, plus one when a
// random integer modulo 100 is below density modulo 100.
int roost_emissions(int density);
// Adds one particle with the billboard and keep of a roost type; dig is the load in feet
// (clamped to 0..0.25). Takes the load from the ground at (x, z) times the wear factor. 0 when
// the pool is empty (the particle is dropped).
int roost_add(const float position[3], const float velocity[3], float dig, const RoostType& type);

// The one physics world of the bikes, and the physics tick: the single function that advances
// every bike by one tick of 1/128 s. The race session, the headless harness (tests and
// benchmarks) and everything else that moves bikes call physics_tick, so there is exactly one
// order of contacts, world step and bike steps in the program.
//
// Order of one physics tick:
//   1. Ground and statue contacts of every rider with PHYSICS_CONTACTS, in slot order.
//   2. Bike-to-bike contacts of every pair of riders with PHYSICS_PAIRS, the fastest first
//      (frame speed, ties in slot order); with pairs_need_local a pair also needs one rider
//      with PHYSICS_LOCAL.
//   3. hooks.after_contacts (roost is thrown from this tick's contacts).
//   4. hooks.before_world_step for every rider with PHYSICS_AROUND_STEP; the world step of
//      1/128 s; the contact group emptied; hooks.after_world_step for the same riders.
//   5. For each slot in order: hooks.before_bike_step (controls: robots, the network, holding
//      at the gate), the bike step (simulated with PHYSICS_SIMULATE, else only its forces
//      cleared), hooks.after_bike_step (gates and laps).
// The clock the bikes read (auto shift, walking, crash timing, contact stamps) is the tick
// given to physics_tick, kept until the next call or physics_set_clock.
#pragma once

#include "core/constants.h"

struct Bike;
struct Terrain;
struct dxWorld;
struct dxJointGroup;

struct PhysicsWorld {
    dxWorld* world = nullptr;         // gravity (0, -32, 0)
    dxJointGroup* contacts = nullptr; // temporary joints of one world step, emptied after it
    const Terrain* ground = nullptr;  // the ground the bikes touch; null: a flat, empty field
    int clock = 0;                    // ticks of the race clock being stepped
    // Wall-clock seconds spent in ODE's world step and the number of steps, since the world
    // was opened (benchmarks set the tick's cost against the solver's own).
    double step_seconds = 0;
    long step_count = 0;
    double contacts_seconds = 0; // wall time of the ticks' contact generation, for benchmarks
};
extern PhysicsWorld g_physics;

// Initialises ODE (messages go to the log) and creates the world and the contact group.
void physics_open();
// Destroys the contact group and the world and closes ODE.
void physics_close_contacts();
void physics_close_world();
// The ground every contact and height query of the bikes uses (the loaded track's terrain);
// null for none. The terrain must outlive its use here.
void physics_set_ground(const Terrain* ground);
// The ground of the contacts: the one set, or an empty terrain without samples.
const Terrain* physics_ground();
// Sets the clock the bikes read outside a physics tick (a session start, a demo seek).
void physics_set_clock(int tick);
// Empties the contact joint group (after a placement test whose contacts must not act).
void physics_clear_contacts();

// What one rider slot takes part in.
enum PhysicsRiderFlag {
    PHYSICS_CONTACTS = 1,    // ground and statue contacts: simulated on this machine
    PHYSICS_PAIRS = 2,       // bike-to-bike contacts
    PHYSICS_LOCAL = 4,       // with pairs_need_local, every pair needs one such rider
    PHYSICS_SIMULATE = 8,    // the bike step simulates it (else it is placed from snapshots)
    PHYSICS_AROUND_STEP = 16 // the hooks around the world step are called for it
};

// Calls out of the physics tick, each null when not wanted; ctx is handed to every call.
struct PhysicsHooks {
    void (*after_contacts)(void* ctx) = nullptr;
    void (*before_world_step)(void* ctx, int slot) = nullptr;
    void (*after_world_step)(void* ctx, int slot) = nullptr;
    void (*before_bike_step)(void* ctx, int slot) = nullptr;
    void (*after_bike_step)(void* ctx, int slot) = nullptr;
    void* ctx = nullptr;
};

// One tick's riders: the bike of each slot (null when empty) and its PhysicsRiderFlag bits.
struct PhysicsTick {
    Bike* bikes[MAX_RIDERS] = {};
    unsigned flags[MAX_RIDERS] = {};
    int statues = 1;          // contacts with the track's statues too
    int pairs_need_local = 0; // network races: remote riders meet only the local one
    int clock = 0;            // the race clock's value for this tick
    PhysicsHooks hooks;
};

// Advances the world by one tick in the order above. Allocates nothing.
void physics_tick(const PhysicsTick* tick);

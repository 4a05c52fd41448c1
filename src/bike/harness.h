// A headless physics harness for the tests and the benchmark: a track (loaded, or a flat
// test track built in memory), bikes placed on it, and the physics tick the race runs
// (physics_tick of bike/world.h) without laps, robots, demos, sound or drawing.
// Controls are set between ticks with the bike setters (step.h).
#pragma once

#include <cstdint>
#include <vector>

struct Bike;

struct Harness {
    std::vector<Bike*> bikes; // owned; in slot order
    int own_world = 0;        // the harness opened the physics world
    int statues = 0;          // bikes also collide with the track's statues
    int clock = 0;            // ticks since harness_open
};
extern Harness g_harness;

// Opens the physics world when there is none and starts the harness clock at 0.
void harness_open();
// Frees the bikes and the terrain, and closes the world when the harness opened it.
void harness_close();

// A flat square track at height 0, `size` feet across (rounded up to whole tiles of 32
// feet, at most 2048 tiles per side), of one surface with the friction and rolling
// resistance of hard packed dirt, and no objects. Replaces g_terrain. 1 on success.
int harness_flat_track(float size);
// Loads a track folder ("@name" or a path) into g_terrain. 1 on success.
int harness_load_track(const char* folder);

// Loads bike `name` (null: the first record) and stands it upright at (x, z) facing
// heading radians (0 faces -z; positive turns toward -x), on the ground: reset, turned,
// placed at the ground height and raised in steps of 1/4 foot while anything still reaches
// into the ground. Its tag is its index + 1. Null when the bike cannot be loaded.
Bike* harness_add_bike(const char* name, float x, float z, float heading);
// Puts a bike back upright at (x, z) with the heading, as harness_add_bike places it.
void harness_place(Bike* bike, float x, float z, float heading);

// One physics tick of every bike (at most the first 40, in slot order), then the harness
// clock advances.
void harness_tick();
// n ticks.
void harness_run(int n);

// A hash of every body's position, orientation and velocities and of the bikes' drive and
// crash state: equal hashes for equal runs.
uint64_t harness_state_hash();

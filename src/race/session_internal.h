// Internal to the race module: rider placement, rider loading and freeing, and the time trial,
// shared by the session start, the tick and the demo playback.
#pragma once

#include "race/session.h"

// The session record itself; everything outside the race module reads g_session.
extern Session g_session_data;

// Puts the rider of a slot at its start position (or its parking place), upright, lifted
// until it no longer touches the ground. The local rider's place becomes the spawn position.
void session_place_rider(int slot);
// Puts a bike at (x, z) on the ground with a heading (radians), lifted clear of the ground.
void session_place_bike(int slot, float x, float z, float heading);
// Stops the engine sound and frees the bike of a slot; the slot becomes empty.
void session_free_rider(int slot);
// Loads demo rider i into a slot as a snapshot-driven rider; 1 on success.
int session_load_demo_rider(int slot, int demo_rider);
// Time trial: the lap counts before this tick, the ghost's lap and the attempt handling.
void trial_tick_begin();
void trial_tick_end();
// Lap time of rider `slot`'s latest lap from the finish line to the finish line, in ticks, when
// every gate between was timed; else 0.
int trial_lap_ticks(int slot);

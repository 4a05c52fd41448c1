// Internal to the race module: every call the race session makes into other subsystems
// (the physics world, the bike's contacts and step, snapshots, robots, the network client,
// roost particles, engine sound and the robot line memory). The session calls only these, so
// each subsystem meets the session in one place.
#pragma once

#include <cstdint>

struct Bike;

// ---- Physics (hooks.cpp: the race session's world step) ----

// Frame body position (feet) and speed (feet per second) of a bike.
void race_bike_position(const Bike* bike, float out[3]);
float race_bike_speed(const Bike* bike);
// Ground contacts of one simulated bike; 1 when anything touched the ground.
int race_bike_ground_contacts(Bike* bike);
// Contacts of one bike with the track's statues, stamped with the session tick.
void race_bike_statues(Bike* bike, int session_tick);
// Contacts between two bikes.
void race_bike_pair(Bike* a, Bike* b, int session_tick);
// Empties the contact joint group (after a contact test that must not act).
void race_contacts_clear();
// Steps the world by 1/128 s and empties the contact group.
void race_world_step();
// The bike step: forces and motors for the next world step; simulate 0 for bikes placed
// from snapshots.
void race_bike_step(Bike* bike, int simulate);
// Snapshot-driven bikes around the world step.
void race_bike_pre_world_step(Bike* bike);
void race_bike_post_world_step(Bike* bike);
// Places a bike from a snapshot record of the given version, `ticks` after the previous one.
void race_bike_apply_snapshot(Bike* bike, const uint8_t* record, int version, int ticks);
// Packs a live bike into a 39-byte snapshot record.
void race_snapshot_pack(const Bike* bike, uint8_t* out);
// The record of a slot at a tick from the network's snapshot history.
void race_snapshot_sample(int slot, int tick, uint8_t* out);
// Holds the local rider at the gate (false start): both brakes, no throttle, foot down.
void race_bike_hold(Bike* bike);

// ---- Subsystems still to come: robots, network, roost, engine sound, line memory ----

// Robot driving controller of one robot rider, before its bike step.
void race_robot_drive(int slot);
// Robot personality by name for a rider.
void race_robot_personality(int slot, const char* name);
// Network client: remote riders' received states (tick step 1), their hooks around the world
// step, and the per-rider update of a remote rider (step 6).
void race_net_apply_states();
void race_net_before_step(int slot);
void race_net_after_step(int slot);
void race_net_update_rider(int slot);
// 1 when a remote rider sent a state within the last second.
int race_net_rider_recent(int slot);
// Roost particles: emission for one rider, the per-tick move, the reset at session start.
void race_roost_emit(int slot);
void race_roost_move();
void race_roost_reset();
// Engine sound of a rider slot: set up after its bike loads, stopped before it is freed.
void race_engine_sound_start(int slot);
void race_engine_sound_stop(int slot);
// Robot line memory: save and free for the old track, load and prune for the new one, the
// per-session reset, a rider that stopped, and a segment ridden up to position p.
void race_lines_save();
void race_lines_load(int skill);
void race_lines_session_reset();
void race_line_stopped(int slot);
void race_line_segment(int slot, int position);

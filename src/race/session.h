// The race session: riders in 40 slots, the session clock and the race tick.
#pragma once

struct Bike;

constexpr int MAX_RIDERS = 40;
constexpr int NO_SLOT = 40;

enum { RIDER_LOCAL = 0, RIDER_REMOTE = 1, RIDER_ROBOT = 2 };

struct RiderSlot {
    Bike* bike = nullptr; // null when the slot is empty
    int autopilot = 1;    // 0 = driven by this player; robots, demos and the network otherwise
    int kind = RIDER_ROBOT;
};

struct Session {
    RiderSlot slots[MAX_RIDERS];
    int viewed_rider = 0;
    int session_clock = 0; // ticks since the reset
    int track_loaded = 0;
};
extern Session g_session;

// Starts a session on the chosen track; 1 on success, 0 when the track could not be loaded.
// rider_table: 40 codes, or null for a time trial.
int session_start(const int* rider_table, int play_demo, int record_demo, int race_length,
                  int extra_laps, int track_choice);
// One physics step of the whole session.
void session_tick();
// Frees the per-track records at exit.
void session_free();
// Completed laps of the leading rider.
int session_leader_laps();

// The race session: up to 40 riders in slots on one track, the session clock, the race tick,
// and each rider's progress through the timing gates (laps, lap times, finishing).
//
// Time is counted in ticks of 1/128 s from 0 at every reset. The lap structure comes from the
// track's gates: F first-lap sequence positions, then laps of N positions; lap L ends at
// position F + N (L - 1) - 1.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/constants.h"

struct Bike;
struct EngineSound;

// A 16-byte entry of the per-rider lists the session keeps.
struct RiderListEntry {
    int32_t value[4];
};

constexpr int LAP_UNKNOWN = 1000000;    // final or half-way lap not yet known
constexpr int CUE_TICKS = 640;          // the start flagger's cue, 5 s after each reset
constexpr int TIME_TRIAL_CLOCK = 38400; // a time trial starts 300 s into its clock
constexpr int ROBOT_COUNT = 80;
// Highest crossing index a remote report may set: 1024 laps of 256 gates.
constexpr int MAX_CROSSING_INDEX = 1024 * 256 - 1;

// Rider kinds.
enum { RIDER_LOCAL = 0, RIDER_REMOTE = 1, RIDER_ROBOT = 2 };

// Codes of a rider table (one per slot) for a session start.
enum {
    RIDER_CODE_DEMO = 0,  // the next rider of the demo being played (else empty)
    RIDER_CODE_LOCAL = 1, // the local player; only the first counts
    RIDER_CODE_ROBOT = 2, // the next robot of the shuffled robot list
    RIDER_CODE_ROBOT_125 = 3,
    RIDER_CODE_ROBOT_250 = 4,
    RIDER_CODE_REMOTE = 5,
    RIDER_CODE_ROBOT_NUMBER = 1000, // + n: the robot whose number is n
};

struct RiderSlot {
    Bike* bike = nullptr; // null when the slot is empty
    int autopilot = 1;    // 0 = driven by this player; robots, demos and the network otherwise
    int kind = RIDER_ROBOT;
    int robot = -1;       // robot list entry of a robot rider
    int personality = 0;  // driving personality of a robot (0 for the player)
    int demo_rider = -1;  // the demo rider feeding this slot, -1 when none
    float visibility = 1; // 0 once the demo stopped delivering this rider's records
    // The looks chosen for the rider (texture data names, "" for the bike's own): riding gear,
    // bike graphics, wheel graphics, helmet.
    std::string gear, bike_graphics, wheel_graphics, helmet;
    EngineSound* sound = nullptr; // the bike's engine sound, null without audio

    // Race progress through the timing gates.
    int gates_passed = 0;
    std::vector<int> gate_times; // ticks per sequence position, -1 for a skipped gate
    int finished = 0;
    int stopped = 0;                      // standing still after the start (flaggers, robots)
    std::vector<RiderListEntry> lists[4]; // initial capacities 4, 20, 20, 20
};

// One robot of the robot list: number, personality and bike, and optional textures ("@" data
// names, "" for the bike's own).
struct RobotEntry {
    const char* number;
    const char* personality;
    const char* bike;
    const char* rider_texture;
    const char* head_texture;
    const char* bike_texture;
    const char* wheel_texture;
};

// Process-wide session state, written only by the race module (read it through g_session).
struct Session {
    RiderSlot slots[MAX_RIDERS];
    int viewed_rider = 0;
    int session_clock = 0; // ticks since the reset
    int start_tick = 0;    // the start gates drop at this tick
    int cue_tick = CUE_TICKS;
    int race_length = 0; // ticks; 0 = laps only
    int extra_laps = 0;
    int final_lap = LAP_UNKNOWN;
    int halfway_lap = LAP_UNKNOWN;
    int time_trial = 0; // started without a rider table
    int hold_ticks = 0; // false-start hold of the local rider
    int results_final = 0;
    float spawn[3] = {0, 0, 0}; // where the local rider was placed
    int track_loaded = 0;
    std::string track_name; // folder of the session's track
    int first_lap = 0;      // F: sequence positions of the first lap (0 without gates)
    int normal_lap = 0;     // N: sequence positions of every further lap
    int multiplayer = 0;    // set by the network client for its races
    int net_start_tick = 0; // the server's start tick in a network race
    std::string net_track;  // the server's track in a network race
    int net_grid_index = 0; // where the local rider stands on the grid in a network race
    int net_in_race = 0;    // this client rides in the network race (not warm-up)
    int camera_serial = 0;  // rises at every start: the camera goes above the viewed rider
    int skill = 0;          // robot skill index of the session
    int record_demo = 0;
    int play_demo = 0;
    // The rider table and lap count of the last race started from a table (not a demo): what
    // "--warp" restarts with the lineup rotated.
    int lineup[MAX_RIDERS] = {};
    int race_laps = 0;
    int robot_order[ROBOT_COUNT]; // the shuffled robot list (entry indices)
    int robot_order_ready = 0;
    // Time trial: lap counts of riders 0 and 1 before this tick, the last and best lap
    // (ticks, 0 = none).
    int trial_laps[2] = {0, 0};
    int last_lap = 0;
    int best_lap = 0;
};
extern const Session& g_session;

// The player's rider as chosen in the menus: bike (a catalogue name, old names allowed),
// plate number ("" for "999") and the looks (texture data names, "" for the bike's own).
struct PlayerRider {
    std::string bike = "crf250(2009)";
    std::string number = "999";
    std::string gear, helmet, bike_graphics, wheel_graphics;
};

// A race set up by a race server, as the network client starts it: the lineup (one code per
// slot: RIDER_CODE_LOCAL for this player, RIDER_CODE_REMOTE for a rider of another client,
// RIDER_CODE_DEMO for an empty slot), the looks the server announced for each remote rider,
// the server's track, start tick, time limit (ticks) and laps, and where the local rider
// stands on the grid. Skill index 0; the ground is locked against deformation.
struct NetRaceStart {
    int lineup[MAX_RIDERS] = {};
    PlayerRider remote[MAX_RIDERS];
    std::string track;
    int start_tick = 0;
    int race_length = 0;
    int extra_laps = 0;
    int record = 0;     // record a demo ("demos/default.qzdemo")
    int grid_index = 0; // the local rider's place on the grid (0..39)
    int in_race = 0;    // 0 while this client only watches (warm-up: collisions off)
};

// ---- Session start and tick (session.cpp) ----

// The rider the local player's slot gets at every later session start (the player's bike
// setup comes from the settings through bike_apply_setup).
void session_set_player(const PlayerRider& player);

// Starts a session on the track list's current track (the demo's track when playing a demo).
// rider_table: 40 codes, or null for a time trial. race_length in ticks (0: laps only);
// skill: the robot skill index. Returns 1, or 0 when the track could not be loaded.
int session_start(const int* rider_table, int play_demo, int record_demo, int race_length,
                  int extra_laps, int skill);
// Starts a network race (see NetRaceStart). 1, or 0 when the track could not be loaded.
int session_start_network(const NetRaceStart& start);
// The player's rider as last given to session_set_player.
const PlayerRider& session_player();
// Sets the session clock (the race server's clock took over).
void session_set_clock(int tick);
// One physics step of the whole session.
void session_tick();
// Puts the session record back to its start (tests; the slots must hold no bikes).
void session_reset();
// Frees the riders and the per-track records (program exit).
void session_free();
// Frees every rider (bike) of the session.
void session_free_riders();
// Completed laps of the standings leader (0 without riders).
int session_leader_laps();
// The race description: "%d minutes + %d laps", "%d minutes" or "%d laps".
std::string race_description(int race_length, int extra_laps);
// The time trial's reset: the attempt starts over from before the finish line.
void session_reset_riders();
int session_is_time_trial();
// Per drawn frame: marks the next gate of every stopped rider and sets the flaggers from the
// session clock, the leader's progress and the race's final and half-way laps.
void session_flaggers_update();
// Frame position (feet) of a slot's bike; 0 for an empty slot.
int session_rider_position(int slot, float out[3]);
// Drops every bike onto the ground after the ground was edited: lifted 1/8 ft, then 1/4 ft
// at a time while it still touches the ground, then lowered 1/8 ft.
void session_drop_bikes();
// Moves the viewed slot one place back (-1) or on (+1) in the standings.
void session_view_step(int direction);
// Puts a rider back on the course, race progress kept: its bike stands upright 10 ft past the
// centre of the last gate it passed (20 ft short of the first gate when it has passed none),
// facing the way riders pass it, at the first spot across the gate (centre, then 8 ft steps
// either side within the gate) with no other bike within 7 ft. Returns 0 (nothing moved) for
// an empty slot or a track without gates.
int session_return_rider(int slot);

// ---- Robots (roster.cpp) ----

// The 80 robots, numbered 20 to 99.
const RobotEntry* robot_entry(int index);
// Seeds the random generator with seed and shuffles the robot order (every entry moves).
void robot_order_shuffle(unsigned seed);

// ---- Rider progress (progress.cpp) ----

// Gate detection and lap bookkeeping of one rider for this tick, at the bike's position.
void rider_progress(int slot);
// The same for a given ground position and speed (feet, feet per second).
void rider_progress_at(int slot, float x, float z, float speed);
// Laps completed, from gates passed.
int rider_laps(int slot);
int laps_from_gates(int gates);
// Lap time in seconds (lap >= 1); 0 when unknown.
double rider_lap_time(int slot, int lap);
// Lap time in ticks; 0 when unknown.
int rider_lap_ticks(int slot, int lap);
// Tick at which the slot passed sequence position p; -1 when skipped or not yet passed.
int rider_gate_time(int slot, int position);
// Gates passed (0 for an empty slot).
int rider_gates(int slot);
// Finished: the finish line crossed after the leader completed the final lap (sets the flag).
int rider_finished(int slot);
// A gate crossing of a remote rider as its client reported it: crossing `index` (0-based) took
// place at tick `value` (-1: skipped); positions before it that are not known count as
// skipped, those after it are dropped. Ignored for an empty slot or an index outside
// 0..MAX_CROSSING_INDEX. The caller refreshes the standings.
void rider_set_crossing(int slot, int index, int value);
// Sets a rider back to p passed gates: gate times cut to p, not stopped, and no longer
// finished when p is below its previous count.
void rider_set_back(int slot, int p);
// Sequence position at which lap L ends.
int lap_end_position(int lap);
// The half-way and final lap rules of a timed race (run with every standings update).
void session_final_lap_rules();

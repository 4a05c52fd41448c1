// Calls the race session makes up into the two modules that sit above it and drive riders:
// the robots (their driving and the line memory they learn from) and the network client
// (remote riders). Those modules fill the records at start-up; an empty record (the default,
// and what tests get unless they set one) leaves robots standing and has no remote riders.
#pragma once

// What the gate search of one rider found in a tick (rider_progress_at).
struct GateSearch {
    int accepted;       // 1 when a gate was accepted this tick
    int position;       // the sequence position accepted (valid when accepted)
    int offset;         // search offset of the accepted gate: 0 is the expected next one
    int gates_before;   // the rider's gates passed before this tick's acceptance
    int stopped_before; // the rider was stopped when the gate was accepted
};

struct RaceRobotHooks {
    // The driving controller of one robot rider, before its bike step.
    void (*drive)(int slot) = nullptr;
    // A robot rider's personality by name, when it is loaded.
    void (*set_personality)(int slot, const char* name) = nullptr;
    // Line memory: after the rider's progress of every tick, for every rider whose progress is
    // tracked; when a rider is marked stopped; at a session start the learned lines of the old
    // track are saved ("Remembering lines...") and the new track's loaded and analysed for the
    // robot skill ("Analyzing lines..."), then the per-session records reset.
    void (*line_tick)(int slot, const GateSearch* found) = nullptr;
    void (*line_stopped)(int slot) = nullptr;
    void (*lines_save)() = nullptr;
    void (*lines_load)(int skill) = nullptr;
    void (*lines_reset)() = nullptr;
    // A rider was put back on the course (its race record reset): its recording and driving
    // state start again.
    void (*rider_placed)(int slot) = nullptr;
};

struct RaceNetHooks {
    // Remote riders' received states, applied at the start of a tick.
    void (*apply_states)() = nullptr;
    // A remote rider's bike around the world step, and its update in the rider loop.
    void (*before_world_step)(int slot) = nullptr;
    void (*after_world_step)(int slot) = nullptr;
    void (*update_rider)(int slot) = nullptr;
    // 1 when a remote rider sent a state within the last second.
    int (*rider_recent)(int slot) = nullptr;
};

// Installs the records (copied); null installs an empty one.
void race_set_robot_hooks(const RaceRobotHooks* hooks);
void race_set_net_hooks(const RaceNetHooks* hooks);
// The records in use.
const RaceRobotHooks& race_robot_hooks();
const RaceNetHooks& race_net_hooks();

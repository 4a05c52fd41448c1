// Start slots, timing gates and lap sequences of the loaded track ("timing_gates"), the gate
// test the race timing uses, the start-gate bars and the flaggers' selection rules.
#pragma once

#include <vector>

struct DataFile;

constexpr int MAX_START_SLOTS = 40;
constexpr int MAX_GATES = 256;
constexpr int MAX_LAP_REFS = 256;
// A lap reference of GATE_INTERMEDIATE + i names gate i as an intermediate gate: timed, but
// it neither starts a robot line segment nor counts as a segment.
constexpr int GATE_INTERMEDIATE = 100000;
// Bars swing through this many radians at bar value 1.0 (33.75 degrees).
constexpr float START_BAR_ANGLE = 0.5890486f;
// Ticks after the start during which a gate that a rider touches holds its bar (1/4 s).
constexpr int START_BAR_HANG = 32;

// One place on the starting line. Angle in radians within [-pi, pi].
struct StartSlot {
    float x, y, z; // y as written in the file
    float angle;
    int statue; // index of its start-gate statue in the statue list, -1 when none
    float bar;  // 1.0 raised .. 0 dropped
};

// A timing gate: a vertical half-disc test in the ground plane (heights play no part).
struct Gate {
    float centre[3];
    float direction[3];
    float radius;
    int marked; // set per frame for the gate flaggers
};

// Process-wide gate state of the loaded track.
struct GateState {
    int slot_count = 0;
    StartSlot slots[MAX_START_SLOTS] = {};
    std::vector<Gate> gates;     // at most MAX_GATES
    std::vector<int> first_lap;  // references, run once
    std::vector<int> normal_lap; // references, repeated
    int first_segments = 0;      // first-lap references below GATE_INTERMEDIATE
    int normal_segments = 0;     // normal-lap references below GATE_INTERMEDIATE
};
extern GateState g_gates;

// Reads "timing_gates" from an open stream (start slots with their start-gate statues, gates,
// lap lists). Keeps the start slots even when the gates are unusable. Always returns 1.
int gates_read(DataFile* stream);
// Writes the current track's "timing_gates" atomically (data/save.h); 1 on success, 0 when it
// cannot be written ("Can't open 'timing_gates'" shown when it cannot be created).
int gates_write();
// The same text into an open stream (one file of a track's save set). Returns 1.
int gates_write_to(DataFile* stream);
// Drops the start slots, gates and lap lists.
void gates_free();

// True when the point (x, z) lies within the gate's radius on the side its direction points to.
bool gate_passed(const Gate* gate, float x, float z);

// Sequence position k (0, 1, ...) of the race: its lap reference, the gate it names (-1 when
// the track has no gates), and whether that gate is an intermediate one.
int gates_sequence_ref(int k);
int gates_sequence_gate(int k);
bool gates_sequence_intermediate(int k);
// Laps completed after passing p sequence positions.
int gates_laps_completed(int passed);
// Sequence position at which lap L (L >= 1) ends.
int gates_lap_end(int lap);
// True when the track has usable gates.
bool gates_present();

// Sets every start-gate bar to raised (1.0); the orientation follows on the next bar update.
void start_bars_raise();
// One tick of the start-gate bars: session_tick and start_tick in ticks. A statue whose
// last-contact tick equals session_tick holds its bar this tick, during the first
// START_BAR_HANG ticks after the start.
void start_bars_update(int session_tick, int start_tick);

// Start flagger at session time t seconds: texture index 0..4 and the walk fraction 0..1 from
// the first to the second position. cue_tick in ticks, walk_time in seconds.
int flagger_start_texture(double t, int cue_tick, float walk_time, float* walk_fraction);
// Lap-board texture index 0..3 (0 plain, 1 half-way, 2 last lap, 3 finish) for the leader's
// passed gates and the race's final and half-way laps.
int flagger_lap_texture(int leader_passed, int final_lap, int halfway_lap);
// Gate flaggers: clear every gate's mark, then mark the gate at a stopped rider's next
// sequence position.
void gates_clear_marks();
void gates_mark_position(int position);

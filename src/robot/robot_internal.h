// Internal to the robot module (and its tests): the line memory's records, the per-rider
// recording and driving state, and the steps that the hooks of robot.cpp string together.
//
// Units: feet, feet per second, radians; times in ticks of 1/128 s of the race clock.
#pragma once

#include <string>
#include <vector>

#include "core/constants.h"

struct Bike;
struct GateSearch;

constexpr int LINES_PER_SET = 45;
constexpr int LINE_TIME_NONE = 1000000; // a time or best time not known
constexpr int LINE_PENALTY = 640;       // P5: 5 s in ticks
constexpr int LINE_RECORD_PERIOD = 32;  // a learner's point every 32 ticks (1/4 s)
constexpr int LINE_PICKS = 4;           // the ring of picked line ids, one per segment mod 4
constexpr int LINE_COST_TYPES = 3;      // plan types 0..2 have plans; 3 is the tester's cost
constexpr double LINE_UNCONNECTED = 100000000.0;
constexpr int ROBOT_PERSONALITIES = 5;

// One recorded point of a line: the frame's position, its speed (negative when neither wheel
// touches the ground) and its lean angle (radians, positive leaning to the left).
struct LinePoint {
    float x, y, z;
    float speed;
    float lean;
};

// A stored line through one segment with the times it achieved and how robots fared on it.
struct LineRecord {
    std::vector<LinePoint> points;    // empty: the slot is free
    int first_time = LINE_TIME_NONE;  // the segment's time when recorded (ticks)
    int second_time = LINE_TIME_NONE; // the segment and the next one together (ticks)
    int tests = 0;                    // robot runs through the segment on this line
    int best_first = LINE_TIME_NONE, best_second = LINE_TIME_NONE;
    int first_sum = 0, second_sum = 0; // over all tests (ticks)
    int failures = 0;                  // robots that stopped or left the line on it
    int last_picked = 0;               // race tick of the last pick (not saved)
    int id = 0;                        // unique within the run, 0 = none
};

struct LineSet {
    LineRecord lines[LINES_PER_SET];
};

// Per rider slot: the learner's two recording buffers (by segment parity) with their dirty
// bits, and a robot's ring of picked line ids (index segment mod 4).
struct LineRider {
    std::vector<LinePoint> buffer[2];
    int dirty = 0;
    int picks[LINE_PICKS] = {0, 0, 0, 0};
    int was_stopped = 0; // the race's stopped flag as last seen, for its first tick
};

// A robot's driving state (per rider slot).
struct RobotRider {
    int personality = 0; // 0 the player (a learner), 1..4 robots (testers)
    std::vector<LinePoint> path;
    int path_index = 0;     // the point the robot heads for
    int advance_tick = 0;   // race tick at which path_index last advanced
    int following = 0;      // id of the line picked last, 0 = none
    float launch_value = 0; // uniform in [0, 2), drawn once per race
    int launch_tick = -1;   // when the robot lets the clutch out; -1 until drawn
    int next_segment = 0;   // the segment the next pick is for
    int stuck = 0;          // 3 when it has not advanced for 3 s, lowered at every advance
    int stuck_since = -1;   // race tick of the last stuck remedy, -1 when none
    int finished_seen = 0;
    // Look-ahead results of this tick.
    float air_distance = 0, air_time = 1000000, target_speed = 0;
    // Controls carried from tick to tick.
    float throttle = 0;     // the last throttle output
    int cap_tick = -100000; // last tick the curve capped the target speed
    int shift_pending = 0;  // a shift input given last tick, released this tick
    float rev = 0;          // throttle while revving at the gate
    int recover_until = -1; // tick until which a stuck robot backs off and turns
    int back_offs = 0;      // back-offs since the robot last passed a gate
    int back_off_gate = 0;  // gates passed at the last back-off
    int lost = 0;           // after backing off: head back to the course through the gates
    int turning = -1;       // tick until which a slow robot walks its bike round
    int lifting_since = -1; // tick a slow robot began to lift its leaning bike, -1 when not
    int pulled_off = 0;     // 1 once a finished robot's path leads off the track
    int down_logged = 0;    // 1 while a crash has been logged under --debug
    int air_ticks = 0;      // ticks in a row with both wheels off the ground (since a flight
                            // began, until both wheels are down again)
    // The cornering cap's figures for the CAP_POINTS path points from cap_from on: each
    // point's distance from the one before, turn radius, the square of the speed its turn
    // allows (-1 in the air and at the path's end), the grip's lean and the side slope. Worked out
    // again when the point headed for or the path's length changes, or after an eighth of a second
    // (the allowed lean depends on the heading).
    static constexpr int CAP_POINTS = 20;
    int cap_from = -1, cap_size = -1, cap_count = 0, cap_time = 0;
    float cap_step[CAP_POINTS] = {}, cap_radius[CAP_POINTS] = {}, cap_v2[CAP_POINTS] = {};
    float cap_base[CAP_POINTS] = {}, cap_slope[CAP_POINTS] = {}; // grip's lean, side slope
    int teacher = 0; // 1 while driven by the teacher (its own path through the gates)
    int gates_seen = -1; // the rider's gates passed as last seen, and since when (race tick)
    int gates_seen_tick = 0;
    float teach_from[4] = {0, 0, 0, 0}; // a teacher's last joined gate: x, z, direction
};

// One driving personality.
struct RobotPersonality {
    const char* name;
    int plan_close;               // plan type while the lead is within the comfort gap
    int plan_leading;             // plan type while leading by more
    float gap;                    // comfort gap (s)
    float launch_min, launch_max; // launch delay after the gate drops (s)
};

// The module's process-wide state.
struct RobotState {
    // Every rider's frame position, read once per tick for all robots to look at each other
    // (tick is the session clock they were read at, -1 when never).
    int frames_tick = -1;
    float frames[MAX_RIDERS][3] = {};
    // Line memory of the loaded track and skill.
    int first_sets = 0, normal_sets = 0; // SF, SP
    std::vector<LineSet> sets;           // SF + SP
    std::vector<int> plans[LINE_COST_TYPES];
    std::vector<int> first_prefix, normal_prefix; // segment gates before each list position
    int loaded = 0;                               // a line memory belongs to a track and skill
    std::string file;                             // its data name ("@track/lines_novice")
    int next_id = 0;                              // the last id handed out
    LineRider riders[MAX_RIDERS];
    RobotRider robots[MAX_RIDERS];
};
extern RobotState g_robots;

// Forgets everything: the memory, the riders and the robots (tests, program start).
void robots_reset();

// ---- Personalities (robot_path.cpp) ----

const RobotPersonality* robot_personality(int index);
// The index of a personality name among entries 1..4; an unknown name logs and gives 1.
int robot_personality_find(const char* name);

// ---- Line memory (line_memory.cpp) ----

// Builds an empty memory for the loaded track's gates: SF + SP sets of 45 empty records and
// the segment counting tables. Without usable gates the memory has no sets.
void line_memory_build();
// Empties every record, the plans and every rider's recording state (keeps the sets).
void line_memory_empty();
// Number of segment gates among sequence positions 0 .. p-1, and the memory set of segment s.
int segment_of(int p);
int set_of(int s);
int line_set_count();
// The record of set `set` whose id is `id`, or null.
LineRecord* line_find(int set, int id);
// A new id (counts every line created or loaded).
int line_new_id();
// An empty record (points freed, times unknown, no tests), keeping last_picked.
void line_record_clear(LineRecord* r);
// Expected two-segment time of a record (ticks): judged candidates must beat it by 5/4.
int line_expected_time(const LineRecord& r);
// The record of a full set to make room in (the eviction choice), or -1 for an empty set.
int line_eviction_choice(const LineSet& set);
// Per tick after the rider's progress: recording, and judging at segment gates.
void line_memory_tick(int slot, const GateSearch* found);
// The first tick of a robot's stopped state: failures for the lines it was on.
void line_memory_stopped(int slot);
// A rider took part in a bike-to-bike contact: its lines in the making are not learned.
void line_memory_disturbed(int slot);
// Clears one rider's recording buffers, dirty bits and picks.
void line_rider_reset(int slot);
// Lean angle of a frame from its up and forward axes in world coordinates (radians, positive
// leaning to the left).
float frame_lean(const float up[3], const float forward[3]);
// The point a rider's frame gives now (position, speed, lean; speed negative in the air).
LinePoint line_point_of(const Bike* bike);

// ---- Line files (line_file.cpp) ----

// Writes the memory to its file (skipped with "--nolearn"); 1 when written.
int line_memory_save();
// Reads a "ct03" file into the emptied memory; 1 when it was read (whole or in part).
int line_memory_load(const char* name);
// Brings a loaded record's counts into range: halves tests, sums and failures together.
void line_record_normalise(LineRecord* r);

// ---- Analysis (line_analysis.cpp) ----

// Centre of the circle through three points in the ground plane (x, z); for points in a line
// a point 1000000 along the first pair's bisector.
void circle_centre(const LinePoint& a, const LinePoint& b, const LinePoint& c, double* cx,
                   double* cz);
// Whether line j (of the next set) continues line i's arc.
bool lines_connected(const LineRecord& i, const LineRecord& j);
// A line's cost (ticks) under cost type 0, 1 or 2, and the tester's cost (type 3).
double line_cost(const LineRecord& r, int type);
// Best chain costs from set `first` over `count` sets (segment numbers first, first + 1, ...
// mapped by set_of): out[k] = the cheapest chain that starts with record k (LINE_UNCONNECTED
// squared for empty records).
void line_chain_costs(int first_segment, int count, int type, double out[LINES_PER_SET]);
// Thins crowded first-lap sets (44 or more lines) two lines at a time by path crossings.
void line_memory_thin();
// The three plans: the best chain per lap under each cost type.
void line_memory_analyse();
// Records changed (a line stored, emptied or loaded): the connection tables are rebuilt at
// their next use.
void line_memory_connections_changed();
// Whether two ground-plane segments cross properly.
bool segments_cross(float ax, float az, float bx, float bz, float cx, float cz, float dx, float dz);

// ---- Driving (robot_path.cpp, robot_drive.cpp) ----

// A robot's state at the session start (path empty, launch not yet drawn).
void robot_rider_reset(int slot);
// Path advance: the point at path_index is reached close by or once the robot is level with it.
void robot_advance(int slot);
// Path advance and upkeep (the next segment's line joined on).
void robot_pick(int slot);
// The controller: once per tick before the bike step (robot_pick, then robot_control).
void robot_drive(int slot);
// The controls from the path: the start procedure, target speed, lean and steering, throttle,
// brakes, clutch and gears, and the stuck behaviour.
void robot_control(int slot);
// The plan type a robot picks with now.
int robot_plan_type(int slot);
// Appends a line to a robot's path with the seam curve (the path must have room or grow).
void robot_path_append(int slot, const LineRecord& line);
// Replaces a robot's path by one from where it stands through the gates of sequence positions
// from .. to (the lane's course, as the teacher rides it) at `pace`.
void robot_path_through_gates(int slot, int from, int to, float pace);
// A finished robot's way off the track: its path continued in a curve to beside the track,
// clear of the riders still racing, ridden at a walk; it stops at the end.
void robot_path_pull_off(int slot);
// Appends to a robot's path the way on through the gates of positions from .. to.
void robot_path_append_gates(int slot, int from, int to, float pace);
// Trims the path so that at most 30 points stay behind path_index.
void robot_path_trim(int slot);

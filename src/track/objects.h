// Track objects: billboards (flat sprites), statues (models with optional collision shapes,
// the start gates among them) with their 8 x 8 statue grid, and the flaggers. Files
// "billboards", "statues" (read and written) and "flaggers" (read only).
#pragma once

#include <cstdint>
#include <string>
#include <unordered_set>
#include <vector>

struct DataFile;
struct Model;
struct Shape;

constexpr int STATUE_GRID = 8;       // buckets per side
constexpr float STATUE_REACH = 6.0f; // a rider meets the statues of buckets within this
constexpr int FLAGGER_START_TEXTURES = 5;
constexpr int FLAGGER_LAP_TEXTURES = 4;

// A flat camera-facing sprite standing on the ground.
struct Billboard {
    float x;
    float y; // absolute: ground height at (x, z) plus file_y
    float z;
    float width;
    float file_y; // height above ground as in the file
    float height;
    uint32_t reserved;
    unsigned texture; // GL name, 0 when none (hidden)
    uint8_t color[4]; // R, G, B, A
};

// The renderer's two per-billboard slots, kept alongside the billboards and created zeroed.
struct BillboardSlots {
    uint32_t slot[2];
};

// A model standing on the ground, optionally with a collision shape.
struct Statue {
    Model* model;     // null when the model did not load
    Shape* shape;     // private copy, owned; null for no collision
    unsigned texture; // GL names, 0 when none
    unsigned normal_map;
    unsigned specular;
    float x;
    float y; // absolute: ground height plus file_y
    float z;
    float file_y;
    float angle;      // radians; 3.25 or more keeps the model upright
    float rot[9];     // row-major, columns are the model's axes (forward, up, sideways)
    float upright;    // 2^angle when angle >= 3.25, else 0
    int last_contact; // session tick of the last rider contact
};

struct StartFlagger {
    int present;
    int billboard;  // index into the billboard list
    float first[3]; // walks from first to second (y above ground)
    float second[3];
    float walk_time; // seconds
    unsigned textures[FLAGGER_START_TEXTURES];
};

struct LapFlagger {
    int present;
    int billboard;
    unsigned textures[FLAGGER_LAP_TEXTURES];
};

struct GateFlagger {
    int billboard;
    unsigned normal;  // shown while all its gates are clear
    unsigned warning; // shown while any of its gates is marked
    int gates[4];     // gate indices, -1 for none
};

// Process-wide object state of the loaded track.
struct ObjectState {
    std::vector<Billboard> billboards;
    std::vector<BillboardSlots> billboard_slots; // one per billboard
    std::vector<Statue> statues;
    StartFlagger start_flagger = {};
    LapFlagger lap_flagger = {};
    std::vector<GateFlagger> gate_flaggers;
    std::vector<int> grid[STATUE_GRID][STATUE_GRID]; // [bucket z][bucket x] -> statue indices
    int particle_first = -1; // first of the particle billboards, -1 when none
    int billboards_kept = 0; // the billboard writer writes from this index on
    int statues_kept = 0;    // the statue writer writes from this index on
    std::vector<int> nearby; // scratch list of statues_collide, kept between calls
    // Normal-map and specular variant names looked for and not found on this track: hundreds of
    // statues share a few pictures, and each look is a search of every data folder.
    std::unordered_set<std::string> missing_variants;
};
extern ObjectState g_objects;

// Empties every list and the grid (track loading starts and track freeing ends with this).
void objects_free();

// Adds a billboard; y is the height above the ground. The look is a texture name, optionally
// preceded by "#RRGGBB#" for a colour. A texture that does not load leaves texture 0.
int billboard_add(float x, float y, float z, float width, float height, const char* look);
// Adds count hidden billboards at the origin, 1 x 1, no texture; returns the first index.
int billboards_add_particles(int count);
// Reads "billboards" records from an open stream. Returns 1.
int billboards_read(DataFile* stream);
// Writes the current track's "billboards" (from billboards_kept on) atomically; 1 on success.
int billboards_write();
// The same records into an open stream (one file of a track's save set). Returns 1.
int billboards_write_to(DataFile* stream);

// Adds a statue; y is the height above the ground, angle in radians (>= 3.25: upright, no
// tilt). An empty or null shape name, or "null", means no collision shape.
int statue_add(float x, float y, float z, float angle, const char* model_name,
               const char* texture_name, const char* shape_name);
// The statue of an index, or null.
Statue* statue_get(int index);
// Moves a statue to (x, z) with y above the ground and an angle; its height, upright value
// and orientation (untilted) follow the ground there. The grid is not changed.
void statue_place(int index, float x, float y, float z, float angle);
// Sets a statue's orientation to its ground frame turned by tilt radians about its own
// sideways axis (the start-gate bars).
void statue_set_tilt(int index, float tilt);
// Reads "statues" records from an open stream. Returns 1.
int statues_read(DataFile* stream);
// Writes the current track's "statues" (from statues_kept on) atomically; 1 on success.
int statues_write();
// The same records into an open stream (one file of a track's save set). Returns 1.
int statues_write_to(DataFile* stream);

// Bucket index 0..7 of a coordinate along either axis: the grid spans the middle three
// quarters of the field, the outer buckets take everything beyond.
int statue_bucket(float c);
// Puts a statue with a collision shape into every bucket its bounding circle reaches.
void statue_grid_insert(int index);
// Empties the grid and inserts every statue again.
void statue_grid_rebuild();
// The statues in the buckets within STATUE_REACH of (x, z), ascending, each once. The list is
// the shared scratch list: valid until the next call.
const std::vector<int>& statues_near(float x, float z);
// The same list written into the caller's own (which keeps its room between calls, so a
// caller that reuses it allocates only while it grows); safe on several threads at once while
// the statues do not change.
void statues_near_into(float x, float z, std::vector<int>* out);
// Where a statue's shape stands for contacts: its position and its row-major orientation
// (the identity for an upright statue).
void statue_contact_pose(const Statue* s, float pos[3], float rot[9]);
// Stamps a statue as touched by a rider in session tick `tick` (the start-gate bars read it).
void statue_mark_contact(int index, int tick);

// Contact between one rider and one statue, supplied by the bike code: the statue's shape is
// to be placed at pos with orientation rot (row-major). Returns non-zero when they touched.
typedef int (*StatueContactFn)(void* ctx, int statue, const Statue* s, const float pos[3],
                               const float rot[9]);
// Statue collision of one rider at (x, z): calls contact for every nearby statue and stamps
// the statues it touched with the session tick. Returns the number of statues touched.
int statues_collide(float x, float z, int session_tick, StatueContactFn contact, void* ctx);

// Reads "flaggers" from a data name (a missing file leaves no flaggers). Returns 1.
int flaggers_read(const char* path);
// Per frame: places the flaggers' billboards and picks their textures from the race state.
// t in seconds since the session reset; cue_tick in ticks; leader_passed is the leading
// rider's passed gates. Gate marks must already be set (gates_mark_position).
void flaggers_update(double t, int cue_tick, int leader_passed, int final_lap, int halfway_lap);

// The generator's track kit: lanes (a centre line with its profile along it), the height
// field built from them, surfaces, timing gates and the object files of a track folder.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "gen.h"

// One driveable band: a centre line and, per foot of its length, the bed height, the height
// of features (jumps, whoops), the half width, the berm height on the outside of turns and the
// surface type; camber tilts the bed across the lane (signed like the berm, see lane_set_camber).
struct Lane {
    Path path;
    std::vector<float> base, feature, half_width, berm, camber;
    std::vector<uint8_t> surface;
    std::vector<float> marks; // arc length at the end of each straight or arc, in build order
};
void lane_begin(Lane* l, float x, float z, float dx, float dz);
void lane_straight(Lane* l, float length);
void lane_arc(Lane* l, float radius, float degrees);
// Sizes the per-foot arrays (closed lanes wrap) with a default half width and surface.
void lane_finish(Lane* l, int closed, float half_width, uint8_t surface);
int lane_index(const Lane& l, float s); // the per-foot entry for arc length s
float lane_value(const Lane& l, const std::vector<float>& v, float s); // interpolated
// Bed height from the ground function, averaged over +-window feet along the lane.
void lane_base_from_ground(Lane* l, const std::function<float(float, float)>& ground, float window);
// Adds a shape given by (distance from s0, height) knots, joined by straight lines.
void lane_add_profile(Lane* l, float s0, const std::vector<float>& knots);
// Adds count bumps of the given spacing and height starting at s0 (whoops, rhythm rollers).
void lane_add_bumps(Lane* l, float s0, int count, float spacing, float height);
void lane_set_surface(Lane* l, float s0, float s1, uint8_t surface);
void lane_set_width(Lane* l, float s0, float s1, float half_width);
// Raises the outside of every turn between s0 and s1 to the given height at the track edge,
// easing in and out over the first and last `ease` feet.
void lane_set_berm(Lane* l, float s0, float s1, float height, float ease);
// Tilts every turn between s0 and s1 off camber: the outside edge `drop` feet lower and the
// inside edge as much higher than the bed, easing in and out over `ease` feet.
void lane_set_camber(Lane* l, float s0, float s1, float drop, float ease);

// A point beside a lane: d feet to the right of the centre line at arc length s.
void lane_point(const Lane& l, float s, float d, float* x, float* z);

struct SurfaceDef {
    std::string texture;             // data name, "@textures/dirt.png"
    std::vector<float> friction;     // pairs: coefficient, speed
    std::vector<float> roll_resist;  // triples: no sinkage, full sinkage, speed
    std::vector<std::string> roosts; // parameter lists of "roost" lines
};
std::string tileinfo_text(const std::vector<SurfaceDef>& surfaces);

// The height field: per sample, the nearest lane's profile blended into the ground over the
// shoulder; the tile map from the lanes' surfaces and an off-track surface function.
struct FieldPlan {
    std::vector<Lane*> lanes;
    std::function<float(float, float)> ground;
    std::function<int(float, float)> off_track_surface; // -1 = the default off-track surface
    uint8_t off_surface = 0;
    float shoulder = 24;     // feet beside the edge over which the lane blends into the ground
    float shoulder_max = 60; // ... widened up to this where the lane lies far above or below it
};
void field_build(TerrainGen* t, NearField* near, const FieldPlan& plan);

// A start slot: y is the height above the ground its start gate stands at (the game puts the
// gate statue on the ground plus y, and the riders on the ground), so it is 0.
struct StartSlot {
    float x, y, z, angle;
};
struct GateDef {
    float radius, x, y, z, dx, dy, dz;
    float s; // arc length on the loop (or -1 for gates elsewhere)
};
struct GateSet {
    std::vector<StartSlot> slots;
    std::vector<GateDef> gates;
    std::vector<int> first_lap, normal_lap; // intermediate gates carry + 100000
};
std::string timing_gates_text(const GateSet& g);
// Start slots 3.3 feet apart across the chute at gate_s, numbered from the middle outward and
// the inside of the first turn first (inside > 0: it turns right), since the race fills slots
// from 0: a small field lines up in the middle with the best run into the turn.
void start_slots_build(GateSet* g, const Lane& chute, float gate_s, int count, float inside);
// Gates every `spacing` feet round the loop, ending at the finish line (finish_s); every
// `segment_every`-th gate and the finish start robot-line segments, the rest are intermediate.
// Chute gates (already in g->gates, listed in chute_refs) lead the first lap, which then joins
// the loop at merge_s.
void gates_build(GateSet* g, const Lane& loop, const TerrainGen& t, float finish_s, float merge_s,
                 float spacing, int segment_every, const std::vector<int>& chute_refs);
int gate_segments(const std::vector<int>& list);
float heading_angle(float dx, float dz); // the start-slot angle of a rider facing (dx, dz)

struct Billboard {
    float x, y, z, width, height;
    std::string texture; // the picture, with its options as the billboards file takes them
};
struct Statue {
    float x, y, z, angle;
    std::string model, texture, shape;
};
std::string billboards_text(const std::vector<Billboard>& b);
std::string statues_text(const std::vector<Statue>& s);
// Drops the statues that stand on a lane's riding surface (within its half width plus
// `margin`): one lane's edge markers where another lane crosses or joins it (a chute running
// into a turn) would otherwise wall the way off.
void statues_off_lanes(std::vector<Statue>* statues, const std::vector<Lane*>& lanes, float margin);

// Trees and bushes scattered over the field, away from every lane by at least `clear` feet
// beyond its edge; textures chosen from the names given.
void scatter_trees(std::vector<Billboard>* out, const NearField& near,
                   const std::vector<Lane*>& lanes, float extent, int count, float clear,
                   const std::vector<std::string>& trees, uint32_t seed);

// A top-down map of the lanes: 256 x 256, transparent around the track.
Canvas paint_track_map(const std::vector<Lane*>& lanes, float extent, float start_x, float start_z,
                       float finish_x, float finish_z);

// A gate flagger's line of the "flaggers" file: standing d feet to the right of the loop at
// arc length s, warning of riders down at the loop's gates up to `reach` feet ahead (at most
// four of them).
std::string gate_flagger_text(const GateSet& g, const Lane& loop, float s, float d, float reach);

// Decal lines of ridden-in tyre marks along the loop: one every `spacing` feet of arc length
// from `margin` to `margin` short of the lap's end, in turn 3 ft left of the centre line, on it
// and 3 ft right (where riders' lines spread); `*count` grows by the number written.
std::string tyre_mark_decals(const Lane& loop, float margin, float spacing, int* count);

// A "lighting" file: the sun's direction, then `body` (colours, sky and flare elements), the
// flare's direction (the sun's) and `fog` (its line).
std::string lighting_text(const Lighting& light, const std::string& body, const std::string& fog);

// The summary lines the tests compare the loaded track with.
std::string summary_text(const TrackSummary& s);

// The summary lines every generated track shares (what the tests compare the loaded track
// with): terrain size and heights, lap length and closure, gates and laps, and object counts.
void track_summary_fill(TrackSummary* sum, const char* name, const TerrainGen& t, const Lane& loop,
                        const GateSet& g, size_t surfaces, size_t billboards, size_t statues,
                        int gate_flaggers, int decals);

// The ground renderer: draws the terrain (g_terrain) every frame as a view-dependent quadtree of
// triangle fans without cracks, and keeps the ground's textures: six nested texture windows of
// 4 x 4 textures around the eye, a fixed grid of coarse textures over the whole field, and the
// low-detail textures of the shading (W x W, 448 samples apart with a 32-sample margin, each with
// a rebuild bit kept in the terrain record). It also owns the per-sample shading rule.
//
// Quadtree nodes: depth d runs from 0 (the whole field) to D = shift (one ground tile). Node
// (d, a, b) has column a and row b (0 <= a, b < 2^d), half size h = N >> d samples and centre
// sample ((2a + 1) h, (2b + 1) h); its index is offset(d) + a + b x 2^d, offset(d) = (4^d - 1) / 3.
//
// Sample rectangles are inclusive: samples i0..i1 along x and j0..j1 along z. GL is touched only
// while a window with a GL context exists; headless runs keep all the bookkeeping, run the error
// pass and the refinement, and give the window and fixed textures stand-in names from a counter.
#pragma once

#include <cstdint>
#include <vector>

struct Terrain;
struct TerrainHooks;
struct Image;
struct Decal;

constexpr int GROUND_LEVELS = 6;            // window levels 0..5
constexpr int GROUND_FIXED_LEVEL = 6;       // the level number of the fixed textures
constexpr int GROUND_WINDOW = 4;            // a window is 4 x 4 tiles
constexpr int GROUND_FIXED_TILES = 64;      // ground tiles per side of one fixed texture
constexpr int GROUND_EYE_UNSET = -1000000;  // remembered eye cell that invalidates every window
constexpr int GROUND_DECAL_PIECE = 256;     // largest decal drawn in one piece with the workaround
constexpr int GROUND_DECAL_PIECES_MAX = 64; // most pieces per side a decal is cut into

// One entry of a texture window: entry (row r, column c) shows tile (ox + c, oz + r).
struct GroundWindowEntry {
    unsigned texture = 0; // GL name (a stand-in counter value without GL), 0 before creation
    int valid = 0;        // the texture shows the entry's tile
    int stamp = 0;        // 0, or the frame number at which its picture went out of date
};

// The 4 x 4 window of one level; a level-L tile covers 2^L x 2^L ground tiles.
struct GroundWindow {
    int ox = 0, oz = 0;                                     // origin in level-L tiles
    GroundWindowEntry entry[GROUND_WINDOW * GROUND_WINDOW]; // index r x 4 + c
};

// Where the incremental error pass stands.
struct GroundErrorPass {
    int current_generation = -1;        // ground generation the current values belong to, -1 none
    int running = 0;                    // a pass is under way
    int generation = 0;                 // the generation the running pass computes
    int depth = 0, row = 0, column = 0; // node it resumes at
    int triangle = 0;                   // 0 or 1: which of the node's two triangles
    int tri_row = 0;                    // row of samples within that triangle
    float max = 0;                      // the node's running maximum so far
};

// One sample as a fan vertex.
struct GroundVertex {
    int i, j;
};

// One triangle fan: vertices[first .. first + count), the centre first. Texture coordinates are
// ((i - i0) / T, (j - j0) / T); level 0..5 names a window entry (r x 4 + c), level 6 a fixed
// texture (row x F + column). d, a, b name the node the fan belongs to.
struct GroundFan {
    int first, count;
    int level, texture;
    int i0, j0, T;
    int d, a, b;
};

// Process-wide state of the ground renderer (for g_terrain).
struct GroundState {
    int lowdetail_cursor = 0; // round-robin position over the W x W low-detail textures
    // Geometry.
    int shift = -1;              // D the node arrays were made for, -1 when none
    std::vector<float> error[2]; // per-node error values: current and being rebuilt
    int error_current = 0;       // which of the two holds the current values
    GroundErrorPass pass;
    int generation = 0;                 // raised whenever ground editing changes heights
    std::vector<uint32_t> flags;        // refinement flags, one bit per node
    std::vector<GroundVertex> vertices; // the fans of the last refinement
    std::vector<GroundFan> fans;
    int polygons = 0; // "Ground polygons" of the last drawing: ring points emitted
    // Textures.
    GroundWindow windows[GROUND_LEVELS];
    int fixed_count = 0;                  // F: fixed textures per side, max(1, N / 64)
    std::vector<unsigned> fixed_textures; // F x F, row by row
    std::vector<uint8_t> fixed_dirty;     // one flag per fixed texture
    int frame = 1;                        // frame counter, never 0
    int eye_cell[2] = {GROUND_EYE_UNSET, GROUND_EYE_UNSET}; // remembered at the last upkeep
    float eye[3] = {0, 0, 0}; // eye and view direction of the current frame
    float view[3] = {0, 0, -1};
    int workaround = -1;   // -1 undecided, then 0 or 1 for the rest of the run
    int textures_made = 0; // window and fixed textures exist for the size and level below
    int textures_gl = 0;   // they are GL textures (else stand-in names)
    int made_size = 0, made_level = 0;
    unsigned standin_names = 0;   // last stand-in texture name handed out without GL
    unsigned checker[2] = {0, 0}; // small checkerboards: missing surface texture, missing ground
    unsigned framebuffer = 0;     // the framebuffer object, when in use
    // What the last texture upkeep drew (for the statistics and tests).
    int drawn_level = -1, drawn_entry = -1; // window entry drawn, -1 when none
    int drawn_fixed = 0;                    // fixed textures drawn
    // Vertex arrays of the fans (positions x, y, z and texture coordinates s, t).
    std::vector<float> array_xyz, array_st;
};
extern GroundState g_ground;

// Puts the renderer state back to start-up values (GL objects are forgotten, not deleted).
void ground_reset();

// ---- Per-frame interface (frame drawing and the main loop). All of them work on g_terrain
// and do nothing while no terrain is loaded.

// Background work, once per frame: continues the error pass within the work limit (1000 from
// the main loop), then rebuilds at most one low-detail ground texture.
void ground_update(int work_limit);
// A whole error pass with no limit, at most one low-detail rebuild, and every window entry
// invalid at the next upkeep (the editor hands the ground back).
void ground_refresh_all();
// The eye position (world feet) and viewing direction (minus the camera's backward axis) for
// this frame's texture upkeep; ground_draw sets them too.
void ground_set_view(const float eye[3], const float view[3]);
// Texture upkeep before the world is drawn: dirty fixed textures, window movement, then at most
// one window texture.
void ground_update_textures();
// Refinement and drawing with the modelview already translated by minus the eye. Counts
// g_ground.polygons and raises the frame counter.
void ground_draw(const float eye[3], const float view[3]);
// The area a decal covers has changed (added, moved or removed).
void ground_mark_decal(const Decal* decal);
// The surface tiles over a sample rectangle changed (painted): the fixed textures and window
// entries showing it are drawn again, a window entry at a time as for decals.
void ground_mark_samples(int i0, int j0, int i1, int j1);
// Ground editing changed heights: the error pass recomputes the values (roost wear does not
// call this).
void ground_heights_changed();

// ---- Terrain lifecycle (the terrain calls these through the hooks below).

// The hooks the terrain calls the ground renderer through (for terrain_set_hooks).
const TerrainHooks* ground_terrain_hooks();

// After a terrain loaded: node arrays, a whole error pass, every fixed texture dirty, the
// windows invalid, the checkerboard textures, and the "Using frame buffer objects" line. Only
// g_terrain has a renderer; other terrains keep their low-detail bookkeeping only.
void ground_terrain_loaded(Terrain* terrain);
// Releases the renderer's GL objects and arrays and the low-detail textures of the terrain.
void ground_free(Terrain* terrain);

// ---- Error pass and refinement (no GL; exposed for tests and the benchmark).

// offset(d) = (4^d - 1) / 3; ground_node_count(D) = offset(D + 1).
int ground_node_offset(int depth);
int ground_node_count(int depth_max);
// Allocates the node arrays for terrain->shift (values 0, no pass run).
void ground_nodes_alloc(const Terrain* terrain);
// Continues (or starts, when the generation changed) the error pass; limit < 0 means no limit.
// Returns 1 when a pass completed in this call.
int ground_error_update(const Terrain* terrain, int work_limit);
// Runs a fresh whole pass for the current generation, abandoning any running one.
void ground_error_full(const Terrain* terrain);
// The current error value of node (d, a, b).
float ground_error_value(int depth, int a, int b);
// The ground detail factor g: 0.125 / "ground_detail" (or "--detail").
float ground_detail_factor();
// Refinement: sets the flags for the eye, then emits the fans into g_ground.vertices / .fans
// (nodes behind the view are culled) and counts g_ground.polygons.
void ground_refine(const Terrain* terrain, const float eye[3], const float view[3]);
// The refinement flag of node (d, a, b) after the last refinement.
int ground_flag(int depth, int a, int b);
// Eye cell of an eye position: floor(x / spacing), floor(z / spacing), kept within
// -900000..100000000 (so never taken for GROUND_EYE_UNSET).
void ground_eye_cell(const Terrain* terrain, const float eye[3], int cell[2]);
// Window origin of level L for an eye cell coordinate, clamped to the field.
int ground_window_origin(const Terrain* terrain, int level, int eye_cell);
// Whether window level L is drawn and kept up: at or above the minimum ground texture level,
// at most 5, and (for fields under 128 tiles per side) at least 4 tiles per side.
int ground_level_used(const Terrain* terrain, int level);
// Pieces per side a decal is cut into with the workaround on: the first of 2, 4, 8, ... with
// size / n <= 256 when size exceeds 256 (at most 64), else 1.
int ground_decal_pieces(float size, int workaround);

// ---- The low-detail ground textures (their shading and rebuild bits are the terrain's).

// Creates and fills the W x W GL textures from the shading (only with a GL context).
void ground_lowdetail_build(Terrain* terrain);
// Deletes the GL textures and forgets the bookkeeping.
void ground_lowdetail_free(Terrain* terrain);
// Side in pixels of the texture starting at block sample origin b: the smallest power of two
// at least 2N - b + 64, at most 512.
int ground_lowdetail_size(const Terrain* terrain, int block_origin);
// The picture of texture index: pixel (k, j) is the shading of sample
// (clamp(bx + k - 32, 0, 2N), clamp(bz + j - 32, 0, 2N)), 3 channels, no mipmap chain.
void ground_lowdetail_image(const Terrain* terrain, int index, Image* out);
// Looks at up to W x W textures from the round-robin cursor for one whose bit is set, clears
// the bit and returns its index; -1 when none is set.
int ground_lowdetail_next(Terrain* terrain);
// Marks what a rebuilt low-detail texture feeds: the fixed textures over its block and the
// window entries whose tiles reach into it (stale stamps).
void ground_lowdetail_mark_users(Terrain* terrain, int index);
// Builds the picture of texture index with its mipmap chain and uploads it into the existing
// GL texture (nothing without a GL context).
void ground_lowdetail_upload(Terrain* terrain, int index);

// The terrain: one square height field with a coarser grid of ground tiles, each naming a
// surface type, plus per-sample shading and shadows, decals and the ground-wear deformation.
//
// Units are feet. x and z span the ground, y is up; the field starts at x = 0, z = 0. With
// N = 2^shift tiles per side there are P = 2N + 1 samples per side; sample (i, j) lies at
// (i x spacing, heights[i + P x j], j x spacing). A tile covers 2 x 2 sample cells.
//
// Track folder files (any may also be stored gzip-compressed with ".gz" appended):
//   "terrain.hf"      required: text header "shift spacing min max", then ":" and P x P
//                     little-endian 16-bit samples, or any other character and the samples
//                     in "terrain.png" (16-bit grey); height = min + v x (max - min) / 65535
//   "shadingx2.ppm"   P x P RGB shading stored as is, else "shading.ppm" (required) halved
//   "tileinfo"        surface types (see surface.h), else "texturelist"; one is required
//   "tilemap"         required: N x N bytes, tile z outer, tile x inner
//   "shadows.pgm"     optional P x P grey, stored inverted (0 = unshadowed)
//   "decals"          optional text records "[ x z ] angle size aspect texture"
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "track/surface.h"

struct DataSaveSet;

constexpr int TERRAIN_MAX_SHIFT = 11; // 2048 tiles, 4097 x 4097 samples per side
// Sample spacing a "terrain.hf" may give (feet); others are refused.
constexpr float TERRAIN_SPACING_MIN = 1.0f / 64;
constexpr float TERRAIN_SPACING_MAX = 64.0f;
// How far from the field's corner (feet, along x and z, either way) track objects may stand:
// start slots, gates, billboards, statues, flaggers and decals read beyond it are clamped (and
// logged). The largest field spans 4096 x 64 ft.
constexpr float TRACK_COORD_MAX = 262144.0f;
// Heights above the ground an object file may give (feet), either way.
constexpr float TRACK_LIFT_MAX = 10000.0f;
// Heights a "terrain.hf" header may give (feet, either way); beyond them they are clamped.
// Wider than the editor's TERRAIN_HEIGHT_LIMIT: a field made elsewhere may span a 16-bit range.
constexpr float TERRAIN_HEIGHT_READ_MAX = 1.0e6f;
constexpr int DECAL_BUCKETS = 8;        // decal index: 8 x 8 buckets over the field
constexpr int LOWDETAIL_STEP = 448;     // samples between low-detail ground textures
constexpr int LOWDETAIL_MARGIN = 32;    // samples of margin around each one
constexpr int LOWDETAIL_MAX_SIZE = 512; // pixels per side, at most

// A picture laid flat on the ground: size x aspect long along its own x axis, (cos, -sin) in
// (x, z), and size long along its own z axis, (sin, cos).
struct Decal {
    unsigned texture; // GL texture name (owned by the texture cache)
    float x, z;       // centre
    float angle;      // radians about the vertical
    float size, aspect;
    float sin_angle, cos_angle;
};

struct Terrain {
    std::string folder;  // the track folder it was loaded from ("@name"), written back by save
    int shift = 0;       // N = 2^shift ground tiles per side
    int tiles = 0;       // N
    int samples = 0;     // P = 2N + 1
    float spacing = 0;   // feet between neighbouring samples
    float tile_size = 0; // 2 x spacing
    float extent = 0;    // 2N x spacing, the side of the field
    std::vector<float> heights;           // P x P, index i + P x j
    float min_height = 0, max_height = 0; // widened by deformation
    std::vector<uint8_t> shading;         // P x P x 3, RGB at half intensity
    std::vector<uint8_t> shadows;         // P x P, 0 = unshadowed .. 255
    std::vector<uint8_t> tilemap;         // N x N surface type indices, each below surfaces.size()
    std::vector<SurfaceType> surfaces;    // at most 256
    bool decals_present =
        false; // the decal list exists (a "decals" file was read or a decal added)
    std::vector<Decal> decals;
    std::vector<int> decal_buckets[DECAL_BUCKETS]
                                  [DECAL_BUCKETS]; // [bucket z][bucket x] -> decal indices
    // Low-detail ground textures (rendering): W x W, each from a window of the shading.
    int lowdetail_count = 0;                  // W per side
    std::vector<unsigned> lowdetail_textures; // W x W GL names, row by row; 0 without GL
    std::vector<uint32_t> lowdetail_dirty;    // one rebuild bit per texture
    bool modified = false; // differs from its files: set by deformation and the editor's edits
    bool deformation_locked = false; // while set, deformation leaves the heights alone
    unsigned char digest[20] = {}; // RIPEMD-160 of the samples as read (two bytes each, low first)
};

// The terrain of the loaded track.
extern Terrain g_terrain;

// Calls from the terrain into the ground renderer, which sits above it. Each may be null.
struct TerrainHooks {
    // The shading is read: the low-detail textures can be made from it.
    void (*shading_read)(Terrain* terrain) = nullptr;
    // A terrain finished loading: the renderer sets itself up for it.
    void (*loaded)(Terrain* terrain) = nullptr;
    // A terrain is about to be freed: the renderer lets go of its textures and arrays.
    void (*freeing)(Terrain* terrain) = nullptr;
};
// Installs the hooks (copied; null installs none).
void terrain_set_hooks(const TerrainHooks* hooks);

// Loads a track folder ("@" + track name, or a plain path). 1 on success; on failure the reason
// is logged and the terrain freed. Writes the loading and texture-memory lines to the log.
int terrain_load(Terrain* terrain, const char* folder);
// Writes "terrain.hf", "terrain.png", "shading.ppm", "shadingx2.ppm", "shadows.pgm", "tilemap"
// and (when the decal list exists) "decals" into terrain->folder ("@" names go to the per-user
// folder), all or none of them (data/save.h). min/max_height become the actual extremes.
// 1 on success, 0 (logged) when a file cannot be created or written.
int terrain_save(Terrain* terrain);
// The same files added to a save set that the caller commits with the rest of a track; 0 (the
// set has failed) when one cannot be created.
int terrain_save_to(Terrain* terrain, DataSaveSet* set);
// Releases everything, GL textures included, and resets every field as after start-up.
void terrain_free(Terrain* terrain);

// Ground height (ft) under (x, z) on the checkerboard triangulation; outside the field the edge
// samples continue outward. Constant time, no allocation. 0 for an empty terrain.
float terrain_height(const Terrain* terrain, float x, float z);
// The sample height with both indices clamped to the field (inline: the contacts read a few
// dozen samples per body each tick).
inline float terrain_sample(const Terrain* terrain, int i, int j) {
    int last = terrain->samples - 1;
    int ci = i < 0 ? 0 : (i > last ? last : i), cj = j < 0 ? 0 : (j > last ? last : j);
    return terrain->heights[ci + terrain->samples * cj];
}
// Surface type index of the ground tile under (x, z), tile indices clamped to the field.
int terrain_tile_at(const Terrain* terrain, float x, float z);

// Orientation for standing an object on the ground, as a row-major 3 x 3 matrix whose columns
// are the object's axes: x forward (cos yaw, 0, -sin yaw) on level ground, y up along the ground
// normal, z sideways. yaw >= 3.25 gives the identity; yaw <= -2 pi keeps y vertical.
void terrain_ground_frame(const Terrain* terrain, float x, float z, float yaw, float m[9]);

// Collision triangles. Cell (i, j) spans samples i..i+1, j..j+1 and is split into two
// triangles along the same diagonal as terrain_height. Vertex x and z come from the unclamped
// indices, heights from clamped ones.
struct TerrainTriangle {
    float v[3][3]; // three vertices (x, y, z)
};
struct TerrainCellRange {
    int i0, i1; // cells i0 <= i < i1 along x
    int j0, j1; // cells j0 <= j < j1 along z
};
// Reach (feet) within which ground queries beyond the field's edge stay exact: a wheel's.
constexpr float TERRAIN_EDGE_REACH = 4.0f;
// The cells a sphere of centre (cx, cz) and radius r touches, bounded by the field: beyond the
// field the ground only continues its edge (every cell of a row out there lies in one plane),
// so a reach wider than the field visits no more than the field and a margin around it and
// around the centre's own cell. Cost stays bounded for any radius, and the ground still meets
// a sphere that left the field.
TerrainCellRange terrain_cell_range(const Terrain* terrain, float cx, float cz, float r);
// The two triangles of one cell.
void terrain_cell_triangles(const Terrain* terrain, int i, int j, TerrainTriangle out[2]);
// Every triangle of the cells under the sphere, row by row (j outer), two per cell: writes at
// most max of them into out and returns how many there are in all.
int terrain_triangles(const Terrain* terrain, float cx, float cz, float r, TerrainTriangle* out,
                      int max);

// Locks the heights against deformation (a network race needs the track as the server has it)
// or unlocks them.
void terrain_lock_deformation(Terrain* terrain, bool locked);
// Raises (amount > 0) or lowers the ground around (x, z) with a smooth 4 x 4-sample bump whose
// weights add up to 1; keeps the shading's offset from the computed light and marks the
// low-detail textures for rebuilding. Nothing happens while deformation_locked is set.
void terrain_deform(Terrain* terrain, float x, float z, float amount);

// Decals. Adding creates the decal list when missing and indexes the decal in every bucket its
// bounding rectangle reaches. Returns the decal's index.
int terrain_decal_add(Terrain* terrain, unsigned texture, float x, float z, float angle, float size,
                      float aspect);
// Half-widths along x and z of a decal's axis-aligned bounding rectangle.
void terrain_decal_bounds(const Decal* decal, float* half_x, float* half_z);
// Bucket index (0..7) of a coordinate along either axis.
int terrain_decal_bucket(const Terrain* terrain, float coordinate);
// The decals whose buckets meet the rectangle [x0, x1] x [z0, z1] (ft), ascending, each once.
void terrain_decals_in(const Terrain* terrain, float x0, float z0, float x1, float z1,
                       std::vector<int>* out);

// ---- Editing in rectangles (terrain_edit.cpp): the track editor and its undo.

// Heights the editor leaves in the field lie within plus or minus this (feet).
constexpr float TERRAIN_HEIGHT_LIMIT = 10000.0f;

// A block of samples with everything the field keeps per sample.
struct TerrainPatch {
    int i0 = 0, j0 = 0, i1 = -1, j1 = -1; // inclusive sample rectangle; empty when i1 < i0
    std::vector<float> heights;           // (i1 - i0 + 1) x (j1 - j0 + 1), row by row (j outer)
    std::vector<uint8_t> shading;         // 3 per sample, half intensity as in the terrain
    std::vector<uint8_t> shadows;         // 1 per sample
};
// Copies the rectangle (clamped to the field) out of the terrain; empty when it misses it.
void terrain_patch_get(const Terrain* terrain, int i0, int j0, int i1, int j1, TerrainPatch* out);
// Writes a patch back: heights that are not finite keep the sample's old height, the others
// are held within TERRAIN_HEIGHT_LIMIT; min/max_height widen to include them; shading and
// shadows are written when the patch holds them; the low-detail textures over it are marked and
// `modified` is set. 0 when the patch does not fit the field.
int terrain_patch_put(Terrain* terrain, const TerrainPatch& patch);

// A block of ground tiles.
struct TilePatch {
    int x0 = 0, z0 = 0, x1 = -1, z1 = -1; // inclusive tile rectangle
    std::vector<uint8_t> tiles;           // row by row (z outer)
};
void terrain_tiles_get(const Terrain* terrain, int x0, int z0, int x1, int z1, TilePatch* out);
// Writes the tiles back, each held below the surface-type count, and sets `modified`. 0 when it
// does not fit.
int terrain_tiles_put(Terrain* terrain, const TilePatch& patch);

// Replaces the decal list (textures are kept as given) and rebuilds the bucket index; the list
// exists afterwards when present is set or decals are given.
void terrain_decals_set(Terrain* terrain, const std::vector<Decal>& decals, bool present);

// ---- Shading (terrain_shade.cpp)

// The shading bytes (RGB, half intensity) the sun, the ambient light (g_lighting) and the
// shadows give sample (i, j); indices are clamped to the field.
void terrain_sample_shade(const Terrain* terrain, int i, int j, uint8_t rgb[3]);
// Sets the rebuild bits of the low-detail textures whose 448-sample blocks the rectangle meets.
void terrain_mark_shading(Terrain* terrain, int i0, int j0, int i1, int j1);
// Recomputes the shading of every sample of the rectangle (clamped to the field) and marks it.
void terrain_relight(Terrain* terrain, int i0, int j0, int i1, int j1);
// Recomputes the shadows the ground casts on the samples of the rectangle (clamped to the
// field): a sample 0.25 ft above the ground is in shadow when the ray from it toward the sun
// (g_lighting.sun_vector), marched 0.75 x spacing at a time, passes below the ground before it
// rises above max_height or leaves the field; the stored amount is the count of shadowed
// samples among the 3 x 3 around it x 220 / 9. The sun at or below the horizon casts none.
void terrain_cast_shadows(Terrain* terrain, int i0, int j0, int i1, int j1);
// The samples whose cast shadows may change when the heights of the rectangle change: the
// rectangle stretched away from the sun by the longest shadow the field's height range can
// cast, and by one sample all round. Returns false when the terrain is empty.
bool terrain_shadow_reach(const Terrain* terrain, int i0, int j0, int i1, int j1, int out[4]);
// W for a field of N tiles per side: (2N / 64 + 6) / 7, and at least 1 so that small fields
// still have one texture for their shading.
int terrain_lowdetail_count(int tiles);
// Allocates the W x W bookkeeping with every rebuild bit clear (no GL).
void terrain_lowdetail_alloc(Terrain* terrain);
// Rebuild bit of low-detail texture index (row x W + column).
int terrain_lowdetail_dirty(const Terrain* terrain, int index);

// Computes every surface type's tile blend code from the texture names (done by the loader).
void terrain_blend_codes(Terrain* terrain);

// Internal interface of the game-data generator: noise and shapes, canvases and painters,
// file writers, track layout and terrain, models, font. Everything is deterministic: the same
// program writes the same bytes on every run.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

constexpr float GEN_PI = 3.14159265358979f;

// ---- noise.cpp: hashing, noise, small geometry helpers --------------------------------------

// A small deterministic random source (PCG32); every painter and layout seeds its own.
struct GenRandom {
    uint64_t state = 0x853c49e6748fea9bULL;
};
void gen_random_seed(GenRandom* r, uint64_t seed);
uint32_t gen_random_u32(GenRandom* r);
float gen_random_unit(GenRandom* r);                    // [0, 1)
float gen_random_range(GenRandom* r, float a, float b); // [a, b)

uint32_t hash_u32(uint32_t x);
float hash_unit(int x, int y, uint32_t seed); // [0, 1) per lattice point
// Smooth value noise in [0, 1]; the "tile" forms wrap their lattice every `period` cells so
// that a texture made from them repeats without a seam.
float noise2(float x, float y, uint32_t seed);
float noise2_tile(float x, float y, int period, uint32_t seed);
float noise3(float x, float y, float z, uint32_t seed);
// Sums of octaves (each half the amplitude, twice the frequency), normalised to [0, 1].
float fbm2(float x, float y, int octaves, uint32_t seed);
float fbm2_tile(float x, float y, int period, int octaves, uint32_t seed);
float fbm3(float x, float y, float z, int octaves, uint32_t seed);
// Cellular (Worley) distance to the nearest jittered point, tileable; about [0, 1].
float cells2_tile(float x, float y, int period, uint32_t seed);

float clampf(float v, float lo, float hi);
float lerpf(float a, float b, float t);
float smoothstepf(float e0, float e1, float x);
// Distance from (px, py) to the segment (ax, ay)-(bx, by); *t gets the segment parameter.
float segment_distance(float px, float py, float ax, float ay, float bx, float by, float* t);

// ---- paint.cpp: canvases and drawing ----------------------------------------------------------

struct Colour {
    float r = 0, g = 0, b = 0, a = 1;
};
Colour rgb(float r, float g, float b, float a = 1.0f);
Colour colour_mix(Colour a, Colour b, float t);
Colour colour_scale(Colour c, float k); // colour channels only

// A picture being painted: floats 0..1, RGBA, top row first.
struct Canvas {
    int width = 0;
    int height = 0;
    std::vector<Colour> px;
};
Canvas canvas_new(int width, int height, Colour fill);
Colour canvas_get(const Canvas& c, int x, int y); // clamped to the edges
void canvas_set(Canvas* c, int x, int y, Colour v);
// Draws v over the pixel with coverage k (0..1) times v's alpha.
void canvas_blend(Canvas* c, int x, int y, Colour v, float k);
// Anti-aliased filled shapes in pixel coordinates (pixel centres at +0.5).
void paint_rect(Canvas* c, float x0, float y0, float x1, float y1, Colour v);
void paint_circle(Canvas* c, float cx, float cy, float radius, Colour v);
void paint_ellipse(Canvas* c, float cx, float cy, float rx, float ry, Colour v);
void paint_polygon(Canvas* c, const std::vector<float>& xy, Colour v);
void paint_line(Canvas* c, float x0, float y0, float x1, float y1, float width, Colour v);
// 8-bit samples with 1, 3 or 4 channels.
std::vector<uint8_t> canvas_bytes(const Canvas& c, int channels);

// ---- font.cpp: FreeType text and the font atlas -----------------------------------------------

// Opens the two faces; 1 on success. The font folder holds DejaVuSans(-Bold).ttf.
int font_open(const std::string& folder);
void font_close();
// Draws text with its baseline starting at (x, y); pixel size px; bold face when bold is set.
// Returns the advance in pixels. Measuring only when c is null.
float font_text(Canvas* c, const char* text, float x, float y, int px, int bold, Colour v);
// Writes "<name>.png" and "<name>.txt" (the atlas and its metrics) into folder.
int font_write_atlas(const std::string& folder, const std::string& name, int px, int bold);

// ---- writers.cpp: files -----------------------------------------------------------------------

std::string strf(const char* format, ...) __attribute__((format(printf, 1, 2)));
int make_dirs(const std::string& path); // creates every folder level of path (a folder)
int write_bytes(const std::string& path, const void* data, size_t n);
int write_text(const std::string& path, const std::string& text);
// PNG with 8-bit samples: channels 1 (grey), 3 (RGB) or 4 (RGBA); rows top first.
int write_png(const std::string& path, int width, int height, int channels, const uint8_t* px);
int write_canvas_png(const std::string& path, const Canvas& c, int channels);
int write_canvas_ppm(const std::string& path, const Canvas& c);                   // binary "P6"
int write_pgm(const std::string& path, int width, int height, const uint8_t* px); // "P5"

// ---- textures.cpp, sprites.cpp, hud.cpp: painted art ------------------------------------------

// Surface texture kinds, each drawn to repeat seamlessly.
enum SurfaceArt {
    ART_DIRT,
    ART_HARDPACK,
    ART_SAND,
    ART_MUD,
    ART_GRASS,
    ART_CONCRETE,
    ART_WATER,
    ART_WETSAND,
    ART_DUNEGRASS,
    ART_COUNT
};
const char* surface_art_name(SurfaceArt kind); // "dirt", "hardpack", ...
Canvas paint_surface(SurfaceArt kind, int size);

// The sky: a direction (x, y, z; y up) to a colour, with the sun direction and a palette.
struct SkyStyle {
    float sun[3];
    Colour zenith, horizon, haze, sun_colour, ground;
    float cloud_cover; // 0 clear .. 1 overcast
    uint32_t seed;
};
Colour sky_colour(const SkyStyle& s, float x, float y, float z);
// Face 0..4 = north (-z), east (+x), south (+z), west (-x), up (+y); see the comment in sky.cpp.
Canvas paint_sky_face(const SkyStyle& s, int face, int size);
Canvas paint_sky_env(const SkyStyle& s, int size); // angular environment map

Canvas paint_tree(int kind, int width, int height, uint32_t seed); // 0 pine, 1 broadleaf, 2 palm
Canvas paint_bush(int width, int height, uint32_t seed);
Canvas paint_banner(const char* text, Colour back, Colour ink, int width, int height);
Canvas paint_flagger(int pose, Colour shirt, int width, int height); // see sprites.cpp
Canvas paint_flare(int kind, int size);                              // 0 glow, 1 ring, 2 disc
Canvas paint_roost(int splash, int size);
Canvas paint_haybale_texture(int size);
Canvas paint_tuff_texture(int size);
Canvas paint_startgate_texture(int size);
Canvas paint_finishline(int width, int height);
Canvas paint_logo_decal(int width, int height);
Canvas paint_arrow_board(int right, int width, int height); // a turn announced, 1 right 0 left
Canvas paint_crowd(int width, int height, uint32_t seed);   // spectators behind a fence
Canvas paint_ruts(int width, int height, uint32_t seed);    // tyre-mark decal, transparent

Canvas paint_tach(int size);
Canvas paint_shifter(int size);
Canvas paint_pitboard(int width, int height);
Canvas paint_title(int width, int height);

// ---- layout.cpp: centre lines and the nearest-path field ---------------------------------------

struct PathPoint {
    float x, z;   // feet
    float dx, dz; // unit direction of travel
    float s;      // arc length from the path's start
    float curve;  // signed curvature: > 0 turning right (clockwise seen from above)
};

// A centre line built from straights and arcs, sampled every foot.
struct Path {
    std::vector<PathPoint> pts;
    float length = 0;
    int closed = 0;
};
void path_begin(Path* p, float x, float z, float heading_dx, float heading_dz);
void path_straight(Path* p, float length);
void path_arc(Path* p, float radius, float degrees); // degrees > 0 right, < 0 left
// Position and direction at arc length s (wrapped on a closed path, clamped otherwise).
PathPoint path_at(const Path& p, float s);

// Per height sample: which path is nearest, at which arc length and signed lateral offset
// (> 0 to the right of the direction of travel). Path index -1 when none is within reach.
struct NearField {
    int size = 0;
    float spacing = 0;
    std::vector<int8_t> path;
    std::vector<float> s;
    std::vector<float> d;
    std::vector<float> dist;
};
void nearfield_build(NearField* f, int samples, float spacing,
                     const std::vector<const Path*>& paths, float reach);

// ---- terrain.cpp: heights, shading, shadows and the terrain files ----------------------------

struct Lighting {
    float sun[3]; // normalised, toward the sun
    float sun_colour[3];
    float ambient[3];
};

struct TerrainGen {
    int shift = 0;
    int tiles = 0;   // N
    int samples = 0; // P = 2N + 1
    float spacing = 0;
    std::vector<float> heights;   // P x P, index i + P j
    std::vector<uint8_t> tilemap; // N x N
    std::vector<uint8_t> shadows; // P x P, 0 = lit (the amount; the file holds 255 - amount)
    std::vector<uint8_t> shading; // P x P x 3, half intensity
    float min_height = 0, max_height = 0;
};
void terrain_gen_init(TerrainGen* t, int shift, float spacing);
float terrain_gen_height(const TerrainGen& t, float x, float z); // the game's triangle rule
void terrain_gen_range(TerrainGen* t);                           // min/max from the samples
void terrain_gen_shadows(TerrainGen* t, const Lighting& l);
void terrain_gen_shading(TerrainGen* t, const Lighting& l);
// Writes "terrain.hf" (heights in binary after ":"), "shadingx2.ppm", "shadows.pgm" and
// "tilemap" into folder (with trailing "/"). Heights are quantised exactly as the reader
// expands them; *quantised receives the heights the game will see and *samples_digest the
// RIPEMD-160 (hex) of the binary samples, as the loader logs it at debug level 2.
int terrain_gen_write(const TerrainGen& t, const std::string& folder, std::vector<float>* quantised,
                      std::string* samples_digest);

// ---- models.cpp: "JM" models and shape files --------------------------------------------------

struct MeshGen {
    float shininess = 16, alpha = 1, specular[3] = {0.2f, 0.2f, 0.2f};
    std::vector<float> v; // per vertex: x y z nx ny nz u v (v upward, as stored in the file)
    std::vector<int> tri;
};
void mesh_box(MeshGen* m, float x0, float y0, float z0, float x1, float y1, float z1, float u0,
              float v0, float u1, float v1);
void mesh_cylinder(MeshGen* m, float cx, float cy, float cz, int axis, float radius, float length,
                   int sides, float u0, float v0, float u1, float v1);
std::string jm_text(const std::vector<MeshGen>& meshes); // a version 1 file
struct Sphere {
    float x, y, z, radius, friction, spring, damper;
};
std::string shape_text(const std::vector<Sphere>& spheres);
// Writes startgate, haybale and tuffblock models, shapes and textures into the data folder.
int models_write(const std::string& out);

// ---- tracks: the three tracks and their object files -----------------------------------------

struct TrackSummary {
    std::string name;
    int shift = 0, samples = 0;
    float spacing = 0, min_height = 0, max_height = 0, lap_length = 0;
    int gates = 0, first_lap = 0, normal_lap = 0, first_segments = 0, normal_segments = 0;
    int start_slots = 0, surfaces = 0, billboards = 0, statues = 0, gate_flaggers = 0, decals = 0;
    std::string heights_digest;     // RIPEMD-160 of the binary samples as the file holds them
    std::vector<std::string> extra; // further "key value" lines
};
int rabbithill_write(const std::string& out, TrackSummary* summary);
int dunebay_write(const std::string& out, TrackSummary* summary);
int stadium_write(const std::string& out, TrackSummary* summary);

// Shared art: surfaces, sky, sprites, flaggers, roost, flares, HUD, title, font.
int common_write(const std::string& out, const std::string& font_folder);

// ---- series.cpp: the default points series --------------------------------------------------

// Writes "nationals.series", a championship on the default tracks.
int series_write(const std::string& out);

// Surface types: the ground texture, friction and rolling-resistance curves and roost types of
// the ground tiles, read from a track's "tileinfo" (or the older "texturelist") file.
//
// The table lives in the terrain record (Terrain::surfaces, index = tilemap byte). Curves hold
// 8 points in ascending order of speed; a point with speed 0 ends the curve.
#pragma once

#include <cstdint>
#include <string>

struct Terrain;
struct DataFile;

constexpr int SURFACE_TYPES_MAX = 256;
constexpr int SURFACE_CURVE_POINTS = 8;
constexpr int SURFACE_ROOST_TYPES = 4;
constexpr float SURFACE_MIN_SPEED = 1.0f / 1048576.0f; // 2^-20, the smallest speed of a point

// What a surface type's file may set, and no more: a value outside its range is clamped when
// it is read (with a warning naming the file and the value), so no track can push a contact
// force, a particle count or a spray out of what the physics and the emitter handle. Real
// ground stays far inside: friction coefficients near 1, rolling resistance of tens of lbf.
constexpr float SURFACE_FRICTION_MAX = 10;    // friction coefficient
constexpr float SURFACE_ROLL_FORCE_MAX = 500; // rolling-resistance force, lbf
constexpr float SURFACE_SPEED_MAX = 10000;    // speed of a curve point, ft/s

// The ranges of the roost parameters, in the order of RoostType's fields.
struct RoostRange {
    const char* key;
    float lo, hi;
};
constexpr RoostRange ROOST_RANGES[] = {
    {"count", 0, 1000},
    {"dig", -10, 10},
    {"slip_threshold", 0, 1000},
    {"slow_angle", 0, 3.1415927f},
    {"fast_angle", 0, 3.1415927f},
    {"slow_speed", 0, 10000},
    {"fast_speed", 0, 10000},
    {"size", 0, 100},
    {"grow", -100, 100},
    {"drag", 0, 128},
    {"vscale", 0, 100},
    {"randomize", 0, 1000},
};

enum { ROOST_UNUSED = 0, ROOST_SLIP = 1, ROOST_SPLASH = 2 };

// The dirt a wheel throws up on this surface (particles: roost module).
struct RoostType {
    int kind = ROOST_UNUSED;     // ROOST_SLIP: thrown when the wheel slips; ROOST_SPLASH: by motion
    unsigned texture = 0;        // GL texture name of the particle image
    float count = 10.0f;         // particles per wheel per physics step (fraction = probability)
    float dig = 1.0f;            // ground carried per particle: dig x min(penetration, 0.1)
    float slip_threshold = 4.0f; // ft/s of contact-point speed before slip roost starts
    float slow_angle = 1.5707964f;  // spray cone half-angle (rad) at or below slow_speed
    float fast_angle = 0.19634955f; // spray cone half-angle (rad) at or above fast_speed
    float slow_speed = 0.0f;        // wheel rad/s where the cone starts to narrow
    float fast_speed = 64.0f;       // wheel rad/s where the cone reaches fast_angle
    float size = 0.25f;             // initial particle size, ft
    float grow = 4.0f;              // particle growth
    float drag = 0.5f;              // velocity fraction lost per second
    float vscale = 1.0f;            // launch speed factor: uniform in [0, vscale)
    float randomize = 15.0f;        // per-component launch spread, ft/s
    uint8_t r = 255, g = 255, b = 255, a = 255;             // particle colour
    int8_t fade_r = 0, fade_g = 0, fade_b = 0, fade_a = -2; // colour change per physics step
};

struct FrictionPoint {
    float coefficient; // >= 0
    float speed;       // ft/s, >= 2^-20 for given points, 0 ends the curve
};

struct RollPoint {
    float force_loose; // force with no sinkage, >= 0
    float force_sunk;  // force at full sinkage, >= 0
    float speed;       // ft/s, as for FrictionPoint
};

struct SurfaceType {
    unsigned texture = 0;     // GL texture name of the ground texture, 0 when none
    std::string texture_name; // file name without folder and leading "@" ("" when none)
    FrictionPoint friction[SURFACE_CURVE_POINTS];
    RollPoint roll_resist[SURFACE_CURVE_POINTS];
    RoostType roost[SURFACE_ROOST_TYPES];
    int blend_code = 0; // a x 65536 + b x 256 + corner mask; see terrain_blend_codes

    SurfaceType(); // the defaults: constant friction 1.0, rolling resistance 5 to 15, no roost
};

// Fills terrain->surfaces from an open "tileinfo" stream (replacing what was there). Unknown or
// malformed lines only log warnings; returns 1. At most 256 types.
int surface_types_read_tileinfo(Terrain* terrain, DataFile* stream);
// The same from the older "texturelist" format (one type per line, at most 256). Returns 1.
int surface_types_read_texturelist(Terrain* terrain, DataFile* stream);

// Friction coefficient at a contact point moving at sqrt(speed_squared) ft/s; interpolated
// linearly in squared speed between the curve's points.
float surface_friction(const SurfaceType* type, float speed_squared);
// Rolling-resistance force (lbf) at a tangential speed (ft/s) and a sinkage ratio in [0, 1].
float surface_roll_resistance(const SurfaceType* type, float speed, float sinkage);
// Spray cone half-angle (rad) of a slip roost type at wheel angular speed w (rad/s); wanted is
// the angle the wheel asks for. against_travel: the contact point moves against the wheel
// centre's travel (the wheel spins faster than it rolls); otherwise the cone is pi/64.
float roost_cone_angle(const RoostType* roost, float w, float wanted, int against_travel);

// The file part of a texture name: without folders and without a leading "@".
std::string surface_texture_base_name(const char* name);

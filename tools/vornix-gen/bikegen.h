// Internal interface of the bike and rider step of the generator: a small kit of low-polygon
// mesh primitives with "JM" version 1 and 2 writers, the texture atlases of the bikes, wheels
// and rider, and the writers of each group of files.
//
// Every model is built in the rest pose of the bike, in the frame of the rigid body that draws
// it: the origin is the body's position at rest, x to the rider's right, y up, z toward the
// rear (the bike faces -z). The rider's head is the exception: its origin is the rider
// body's neck point.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "gen.h"

// ---- meshkit.cpp: vectors, mesh primitives and the model writers ----------------------------

struct Vec3 {
    float x = 0, y = 0, z = 0;
};
constexpr Vec3 v3(float x, float y, float z) {
    return Vec3{x, y, z};
}
inline Vec3 operator+(Vec3 a, Vec3 b) {
    return v3(a.x + b.x, a.y + b.y, a.z + b.z);
}
inline Vec3 operator-(Vec3 a, Vec3 b) {
    return v3(a.x - b.x, a.y - b.y, a.z - b.z);
}
inline Vec3 operator*(Vec3 a, float k) {
    return v3(a.x * k, a.y * k, a.z * k);
}
float vec_dot(Vec3 a, Vec3 b);
Vec3 vec_cross(Vec3 a, Vec3 b);
float vec_length(Vec3 a);
Vec3 vec_unit(Vec3 a); // (0, 1, 0) for a zero vector
Vec3 vec_lerp(Vec3 a, Vec3 b, float t);

// A rectangle of a texture atlas in texture coordinates, v counted upward as the model file
// stores it.
struct UvRect {
    float u0 = 0, v0 = 0, u1 = 1, v1 = 1;
};
// The rectangle of canvas pixels x0..x1, y0..y1 (top row first) of a size x size atlas, drawn
// in by a pixel and a half so that filtering never reaches the neighbouring region.
UvRect atlas_rect(int size, int x0, int y0, int x1, int y1);
UvRect uv_full(); // the whole texture, for the faces that carry a plate number

// One mesh of a model being built. tag gives, per vertex, the part it was made for; the rider
// turns tags and rest positions into bone weights.
struct KitMesh {
    float shininess = 16, alpha = 1, specular[3] = {0.2f, 0.2f, 0.2f};
    std::vector<float> v; // per vertex: x y z nx ny nz u v
    std::vector<int> tri;
    std::vector<int> tag;
    std::vector<float> w; // weights per vertex once assigned (skinned models)
};
void kitmesh_material(KitMesh* m, float shininess, float specular);

// The builder: a mesh to add to, the transform applied to everything added (an orthonormal
// matrix, a mirror allowed, then a translation) and the tag of new vertices.
struct Kit {
    KitMesh* mesh = nullptr;
    float m[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1}; // row-major
    Vec3 t;
    int tag = 0;
};
Kit kit_on(KitMesh* mesh, Vec3 translate); // identity rotation
void kit_mirror_x(Kit* k);                 // everything added next is mirrored in x = 0
int kit_vertex(Kit* k, Vec3 p, Vec3 n, float u, float v);
// Adds a triangle turned to face the way its vertex normals point; degenerate ones are dropped.
void kit_tri(Kit* k, int a, int b, int c);
void kit_quad(Kit* k, int a, int b, int c, int d);

// Box of half sizes h around c, along the axes ax, ay, az (unit and orthogonal). Every face
// maps the whole rectangle.
void kit_box(Kit* k, Vec3 c, Vec3 h, UvRect uv);
void kit_obox(Kit* k, Vec3 c, Vec3 ax, Vec3 ay, Vec3 az, Vec3 h, UvRect uv);
// An elliptic tube along a polyline: radius ra along the side direction (side_hint made
// perpendicular to the path) and rb across it, per point. u runs around, v along the length.
// caps: 1 closes the first end, 2 the last, 3 both.
void kit_tube(Kit* k, const std::vector<Vec3>& path, const std::vector<float>& ra,
              const std::vector<float>& rb, int sides, Vec3 side_hint, UvRect uv, int caps);
void kit_cylinder(Kit* k, Vec3 a, Vec3 b, float radius, int sides, UvRect uv, int caps);
// A solid of revolution about the x axis through c: profile points (radius, x offset).
// u runs around, v along the profile.
void kit_lathe(Kit* k, Vec3 c, const std::vector<float>& radius, const std::vector<float>& x,
               int segments, UvRect uv);
// A flat ring in the plane x = const between x0 and x1 (a disc, a sprocket): inner radius r_in,
// outer radius r_out(angle). Faces map the ring's square into uv.
void kit_ring(Kit* k, Vec3 c, float x0, float x1, float r_in,
              const std::function<float(float)>& r_out, int segments, UvRect uv);
// A prism from a side profile: polygon zy (pairs z, y, any winding, may be concave) between
// x0 and x1, its two ends drawn in by bevel (feet) for a rounded look. warp, when given, bends
// every position afterwards. The ends map the profile's bounding box into cap_uv (the x0 end)
// and cap1_uv (the x1 end), each reading the right way round from its own side; the sides
// run around side_uv. Flat shaded.
void kit_extrude(Kit* k, const std::vector<float>& zy, float x0, float x1, float bevel,
                 UvRect side_uv, UvRect cap_uv, const std::function<Vec3(Vec3)>& warp = nullptr);
void kit_extrude2(Kit* k, const std::vector<float>& zy, float x0, float x1, float bevel,
                  UvRect side_uv, UvRect cap_uv, UvRect cap1_uv,
                  const std::function<Vec3(Vec3)>& warp = nullptr);
// An ellipsoid of radii r around c; y_cut > -1 keeps only the part with y/r.y above it.
void kit_ellipsoid(Kit* k, Vec3 c, Vec3 r, int slices, int stacks, UvRect uv, float y_cut = -1);
// A curved plate along a path: per point the width direction (unit), the half width, and a
// thickness along path-tangent x width. The top face maps uv; the rest maps edge_uv.
void kit_strip(Kit* k, const std::vector<Vec3>& path, const std::vector<Vec3>& across,
               const std::vector<float>& half_width, float thickness, UvRect uv, UvRect edge_uv);

// "JM" text: version 1 for rigid meshes; with bones > 0 version 2 with that many weights per
// vertex (each mesh's w) and the skeleton word.
std::string jm_model_text(const std::vector<KitMesh>& meshes, int bones = 0,
                          const char* skeleton = nullptr);
// Appends v with at most 4 decimals and no trailing zeros ("-0" never appears).
void text_number(std::string* out, float v);

// ---- the bike geometry at rest (feet; the catalogue's values) --------------------------------

extern const Vec3 BIKE_FRAME_POS;    // frame body
extern const Vec3 BIKE_STEERING_POS; // steering body and steering head
extern const Vec3 BIKE_FORK_LOWER_POS;
extern const Vec3 BIKE_SWINGARM_POS;
extern const Vec3 BIKE_SWINGARM_PIVOT;
extern const Vec3 BIKE_FRONT_AXLE;
extern const Vec3 BIKE_REAR_AXLE;
extern const Vec3 BIKE_RIDER_POS;
constexpr float BIKE_FORK_SPACING = 0.833333f;
constexpr float FRONT_TORUS = 0.833333f, REAR_TORUS = 0.75f, TUBE_RADIUS = 0.333333f;
// Rider skeleton: neck, shoulders, hips in the rider body; grips in the steering body; pegs in
// the frame; index 0 is the left side.
extern const Vec3 RIDER_NECK;
extern const Vec3 RIDER_SHOULDER[2];
extern const Vec3 RIDER_HIP[2];
extern const Vec3 RIDER_GRIP[2];
extern const Vec3 RIDER_PEG[2];
constexpr float RIDER_UPPER_ARM = 0.9f, RIDER_FOREARM = 1.15f;
constexpr float RIDER_THIGH = 1.328f, RIDER_SHIN = 1.701f;

// ---- bikeart.cpp: the texture atlases ---------------------------------------------------------

constexpr int ATLAS = 256; // every bike, wheel and rider texture is ATLAS x ATLAS

// Regions of the bike texture, in canvas pixels (x0, y0, x1, y1; top row first).
enum BikeRegion {
    BR_GRAPHICS, // shrouds: the brand colour with the stripes of the graphics kit
    BR_PLASTIC,  // plain plastic of the brand colour (tank, fork guards)
    BR_FENDER,   // the fenders' plastic
    BR_SEAT,
    BR_FRAME,
    BR_ENGINE,
    BR_BLACK,
    BR_RUBBER,
    BR_CHROME, // fork sliders
    BR_FORK,   // fork outer tubes
    BR_EXHAUST,
    BR_RADIATOR,
    BR_SPRING,
    BR_CHAIN,
    BR_METAL, // brushed aluminium: clamps, swingarm, levers
    BR_SILENCER,
    BR_COUNT
};
UvRect bike_uv(BikeRegion r);

enum WheelRegion {
    WR_TREAD,
    WR_SIDEWALL,
    WR_RIM,
    WR_HUB,
    WR_SPOKE,
    WR_DISC,
    WR_SPROCKET,
    WR_COUNT
};
UvRect wheel_uv(WheelRegion r);

enum RiderRegion {
    RR_JERSEY,
    RR_SLEEVE,
    RR_PANTS,
    RR_GLOVES,
    RR_BOOTS,
    RR_ARMOUR,
    RR_KNEE,
    RR_NECK,
    RR_COUNT
};
UvRect rider_uv(RiderRegion r);

enum HeadRegion { HR_SHELL, HR_PEAK, HR_LENS, HR_STRAP, HR_CHIN, HR_COUNT };
UvRect head_uv(HeadRegion r);

// Colours of one bike texture.
struct BikeLook {
    Colour plastic; // the brand colour
    Colour stripe;  // the graphics' stripe
    Colour accent;  // a second, thinner stripe
    Colour fender;  // fender plastic
    Colour frame;   // frame paint or metal
    Colour fork;    // fork outer tubes
    Colour chrome;  // fork sliders
    Colour spring;  // shock spring
    Colour seat;
    uint32_t seed;
};
Canvas paint_bike_texture(const BikeLook& look);
// Wheel texture with the rim and hub colours.
Canvas paint_wheel_texture(Colour rim, Colour hub);
// Rider gear: jersey, its second colour, pants, gloves and boots.
struct RiderLook {
    Colour jersey, trim, pants, gloves, boots;
    uint32_t seed;
};
Canvas paint_rider_texture(const RiderLook& look);
// Helmet: shell, stripe and the peak's colour.
struct HeadLook {
    Colour shell, stripe, peak;
    uint32_t seed;
};
Canvas paint_head_texture(const HeadLook& look);

// ---- bikes.cpp, wheels.cpp, rider.cpp, pipeinfo.cpp: the files -------------------------------

// Per model stem: the frame, fork, swingarm and plate models, written as "<stem>_<part>.jm".
struct BikeStyle {
    const char* stem;
    int two_stroke;
    int brand; // 0 Honda-like, 1 Kawasaki-like, 2 Suzuki-like, 3 Yamaha-like, 4 KTM-like
};
int bike_models_write(const std::string& out, const BikeStyle& style);
// The four shapes of the frame, steering, lower fork and swingarm ("@generic_*.shp").
int bike_shapes_write(const std::string& out);
// Both wheels' models and shapes.
int wheels_write(const std::string& out);
// Rider body (skinned), first-person body, head, number plate and the rider's shape.
int rider_write(const std::string& out);
// The rider model's bones, in the order of the weights of every vertex.
enum RiderBone {
    BONE_TORSO,
    BONE_LEFT_UPPER_ARM,
    BONE_LEFT_FOREARM,
    BONE_RIGHT_UPPER_ARM,
    BONE_RIGHT_FOREARM,
    BONE_LEFT_THIGH,
    BONE_LEFT_SHIN,
    BONE_RIGHT_THIGH,
    BONE_RIGHT_SHIN,
    BONE_COUNT
};
// The textures of bikes, wheels, rider and head with their variants.
int bike_textures_write(const std::string& out);
// The engine-sound pipe files.
int pipeinfo_write(const std::string& out);

// Everything of this step.
int bikes_write(const std::string& out);

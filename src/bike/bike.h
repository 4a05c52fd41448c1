// Bikes: the compiled-in catalogue of models, the live bike of one rider slot, loading its
// files, the player's setup, and the seven rigid bodies and six joints of bike and rider.
//
// Units throughout: feet, slugs, seconds, radians; forces in pound-force, torques in foot
// pound-force. Bike frame at rest: x to the rider's right, y up, z toward the rear (the bike
// faces -z). Every bike lives in the one world of bike/world.h.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

struct Image;
struct Model;
struct Shape;

// The physics handles are ODE's (bike/ and the physics tick are the only code that touches
// them); other modules see them as opaque pointers and read bodies through bodypose.h.
struct dxBody;
struct dxJoint;

// Force and torque a joint applied to each of its two bodies in the last world step, in the
// layout ODE fills (double precision, each vector padded to four).
struct JointFeedback {
    double f1[4], t1[4];
    double f2[4], t2[4];
};

constexpr int BIKE_INFO_COUNT = 18;
constexpr int BIKE_TORQUE_ENTRIES = 50; // entry i belongs to i x 500 rpm
constexpr int BIKE_GEARS = 6;
constexpr int BIKE_BODY_COUNT = 7;
constexpr int BIKE_JOINT_COUNT = 6;
constexpr int BIKE_PLATE_CHARS = 7;
constexpr int BIKE_PLATE_SIZE = 128; // plate texture width and height in pixels

// Bodies in creation order; also the order of the bike state snapshot.
enum BikeBody {
    BODY_FRAME = 0,
    BODY_FRONT_WHEEL,
    BODY_REAR_WHEEL,
    BODY_STEERING, // upper fork, triple clamps and bars
    BODY_FORK_LOWER,
    BODY_SWINGARM,
    BODY_RIDER,
};

// Joints in creation order.
enum BikeJoint {
    JOINT_FRONT_AXLE = 0, // hinge: lower fork, front wheel
    JOINT_REAR_AXLE,      // hinge: swingarm, rear wheel
    JOINT_STEERING_HEAD,  // hinge: steering, frame
    JOINT_FORK,           // slider: steering, lower fork
    JOINT_SWINGARM_PIVOT, // hinge: swingarm, frame
    JOINT_RIDER_MOUNT,    // hinge2: rider, frame
};

// Models drawn for a bike and its rider.
enum BikeModelRole {
    BIKE_MODEL_FRAME = 0,
    BIKE_MODEL_FORK_UPPER,
    BIKE_MODEL_FORK_LOWER,
    BIKE_MODEL_SWINGARM,
    BIKE_MODEL_SIDE_PLATES,
    BIKE_MODEL_FRONT_PLATE,
    BIKE_MODEL_FRONT_WHEEL,
    BIKE_MODEL_REAR_WHEEL,
    BIKE_MODEL_RIDER_HEAD,
    BIKE_MODEL_RIDER_BODY,
    BIKE_MODEL_RIDER_BODY_FP, // first-person rider body
    BIKE_MODEL_RIDER_PLATE,   // the rider's number plate
    BIKE_MODEL_COUNT
};

// Texture groups; each group's models are drawn with its texture.
enum BikeTextureGroup {
    BIKE_TEX_BIKE = 0, // frame, forks, swingarm, side and front plates
    BIKE_TEX_WHEELS,   // both wheels
    BIKE_TEX_RIDER,    // rider body, first-person body, rider plate
    BIKE_TEX_HEAD,     // rider head
    BIKE_TEX_COUNT
};

// Flag byte of a bike (assists and driver choices).
enum BikeFlag : uint8_t {
    BIKE_FRONT_ANTILOCK = 1 << 0, // release the front brake while the front tyre slides
    BIKE_REAR_ANTILOCK = 1 << 1,
    BIKE_AUTO_SHIFT = 1 << 2,
    BIKE_WHEELIE_CUT = 1 << 3, // no drive torque while the front wheel is up
    BIKE_ENDO_CUT = 1 << 4,    // no front brake while the rear wheel is up
    BIKE_ARCADE = 1 << 5,      // arcade balance and steering
    BIKE_AUTO_DAB = 1 << 6,    // dab and hold automatically when slow
};

// One wheel of a catalogue record. The tyre is a torus around the hub.
struct WheelInfo {
    float position[3];  // hub centre at rest (feet)
    float torus_radius; // hub centre to the centre of the tyre's tube (feet)
    float tube_radius;  // feet
    float tyre_mass;    // slugs
    float hub_radius;   // feet
    float hub_mass;     // slugs
};

// The 23 file names of a bike ("@" names are data-search-path names).
struct BikeFiles {
    const char* model[BIKE_MODEL_COUNT];
    const char* shape[BIKE_BODY_COUNT]; // collision shape per body
    const char* texture[BIKE_TEX_COUNT];
};

// Rider skeleton for the crash model and drawing; index 0 is left, 1 right.
struct RiderSkeleton {
    float neck[3];        // in the rider body
    float shoulder[2][3]; // in the rider body
    float hip[2][3];      // in the rider body
    float grip[2][3];     // handlebar grips, in the steering body
    float peg[2][3];      // foot pegs, in the frame
    float arm[2];         // upper and lower arm lengths (feet)
    float leg[2];         // upper and lower leg lengths (feet)
};

// One catalogue record: geometry, masses, suspension, gearbox, engine and files of a model.
struct BikeInfo {
    const char* name; // key of "bike=" in the configuration and on the network
    WheelInfo front_wheel;
    WheelInfo rear_wheel;
    float frame_position[3];
    float frame_mass;           // slugs, without the rider's share
    float frame_size[3];        // box for the frame's inertia (feet)
    float steering_position[3]; // also the steering hinge anchor
    float swingarm_position[3];
    float swingarm_pivot[3]; // swingarm hinge anchor
    float fork_lower_position[3];
    float fork_leg_spacing; // between the two fork legs and the two swingarm arms (feet)
    float fork_length;      // fork tube length for the inertia (feet)
    float fork_mass;        // mass of each fork body (slugs)
    float fork_spring_min, fork_spring_max;   // pound-force per foot
    float fork_preload_min, fork_preload_max; // feet
    float fork_oil_min, fork_oil_max; // air column added to the travel at setting 0 / 100 (feet)
    float fork_compression_damping;   // pound-force per foot per second
    float fork_rebound_damping;
    float fork_travel;   // slider range [-fork_travel, 0] (feet)
    float swingarm_mass; // mass of each of the two arms (slugs)
    float shock_spring_min, shock_spring_max;
    float shock_preload_min, shock_preload_max;
    float shock_compression_damping;
    float shock_rebound_damping;
    float swingarm_travel;                     // hinge range [-swingarm_travel, 0] (radians)
    float shock_ratio_top, shock_ratio_bottom; // leverage at full extension / compression
    float primary_ratio;                       // crankshaft to gearbox
    float front_sprocket, rear_sprocket;       // tooth counts
    float gear_ratio[BIKE_GEARS];              // <= 0 (-1) marks a gear the box does not have
    float engine_inertia;                      // slug square feet
    float closed_torque[BIKE_TORQUE_ENTRIES];  // zero throttle, foot pound-force
    float open_torque[BIKE_TORQUE_ENTRIES];    // full throttle
    float shift_down_rpm, shift_up_rpm;        // automatic shifting thresholds
    int two_stroke;                            // 1 for the 125 models
    float rider_position[3]; // rider body centre; also its rest position on the frame
    float rider_mass;        // slugs
    BikeFiles files;
    RiderSkeleton skeleton;
};

// Per-wheel contact record, refilled by the ground contact every tick.
struct Wheel {
    dxBody* body;
    float axle[3]; // axle in the wheel body's frame: (1, 0, 0)
    float torus_radius, tube_radius;
    float contact_point[3];    // world position of the deepest contact
    float contact_velocity[3]; // wheel body's velocity at contact_point (ft/s)
    float contact_normal[3];   // unit, out of the ground
    float depth;               // feet; 0 when the wheel does not touch the ground
    JointFeedback feedback;    // of this tick's tyre contact joint
};

// The player's adjustments, in physical units.
struct BikeSetup {
    float final_ratio;      // rear over front sprocket teeth
    float fork_compression; // pound-force per foot per second
    float fork_rebound;
    float fork_spring;  // pound-force per foot
    float fork_preload; // feet
    float fork_oil;     // feet of air column
    float shock_compression;
    float shock_rebound;
    float shock_spring;
    float shock_preload;
    float rider_vertical_spring; // 0..1
    float rider_vertical_damping;
    float rider_forward_spring;
    float rider_forward_damping;
};

// Balance and steering assists (defaults after bike_load; bike_apply_setup copies the
// configuration in, clamped to the range given).
struct BikeAssists {
    float leveling;             // 0..200
    float roll_damping;         // 0..200
    float roll_limit_angle;     // radians, 0..pi
    float roll_limit_factor;    // 0..64
    float steering_damping;     // 0..100
    float steering_strength;    // 0..200
    float max_steering_force;   // 0..1000
    float direct_steering;      // 0..1
    float slow_damping_speed;   // feet per second, 0..100
    float slow_damping_factor;  // 1..10
    float land_damping_falloff; // seconds, 0..1
    float land_damping_factor;  // 1..3
    float max_dab_speed;        // feet per second, 16..30
};

// The live bike of one rider slot, owned by the race session (bike_load .. bike_free).
struct Bike {
    BikeInfo info; // private copy of the catalogue record

    // Rigid bodies and joints, with the joints' feedback for the joint-force correction.
    dxBody* bodies[BIKE_BODY_COUNT]; // each body's user data (dBodyGetData) is the bike
    dxJoint* joints[BIKE_JOINT_COUNT];
    JointFeedback joint_feedback[BIKE_JOINT_COUNT];
    float rider_distribution; // share of rider_mass in the rider body (1/3 .. 0.5)
    float total_mass;         // slugs, the seven bodies together
    Wheel wheels[2];          // front, rear

    // Files: cached models and textures (not owned), private shape copies (owned).
    Model* models[BIKE_MODEL_COUNT];           // null when the file did not load
    unsigned textures[BIKE_TEX_COUNT];         // GL names, 0 when none
    unsigned normal_maps[BIKE_TEX_COUNT];      // 0 when none
    unsigned specular_maps[BIKE_TEX_COUNT];    // 0 when none
    std::string texture_names[BIKE_TEX_COUNT]; // texture in use per group, "" when none
    Shape* shapes[BIKE_BODY_COUNT];            // per body; null: no contacts for that body

    // Control inputs (setters clamp to these ranges).
    float throttle;    // 0..1
    float clutch;      // 0..1, 1 = engaged (lever released)
    float front_brake; // 0..1
    float rear_brake;  // 0..1
    float steer;       // -1..1
    float dab;         // 0..1, foot down
    float back_up;     // 0..1, walk the bike backwards
    float lean;        // -1..1, positive moves the rider toward the rear
    int gear;          // 0..5, index into gear_ratio (0 = first gear)
    int last_shift;    // -1..1, last shift input
    // Drive state.
    float clutch_wind;  // radians in (-pi, pi]
    float engine_speed; // crankshaft, rad/s
    // Driver settings.
    float front_brake_torque; // foot pound-force, 0..500
    float rear_brake_torque;  // 0..500
    float auto_clutch_rpm;    // 0..5000

    BikeSetup setup;
    BikeAssists assists;
    uint8_t flags; // BikeFlag bits

    // Riding and crash state.
    float steer_authority;           // cap on the steering torque, 0..1000
    float landing_damping;           // >= 1, roll damping multiplier after a landing
    int crash_countdown;             // ticks; 0 while riding, 512 when the rider falls
    float crash_blend;               // 0..1, foot-down and fallen pose blend for drawing
    float crash_leg[2][3];           // crashed-leg points (world, feet), left and right
    float crash_leg_velocity[2][3];  // ft/s
    float rider_velocity_ring[4][3]; // rider body velocity of the last four ticks, slot tick mod 4
    float rest_positions[BIKE_BODY_COUNT][3]; // after the last reset or snapshot
    // After a snapshot: its bodies' orientations (w, x, y, z), and 1 so that the next snapshot
    // takes its velocities from this one's placement (not from where extrapolation or the world
    // step moved the bodies since); 0 after a reset.
    float rest_orientations[BIKE_BODY_COUNT][4];
    int rest_from_snapshot;
    int touched;           // a body shape touched the ground; cleared by the race session
    int last_bike_contact; // session tick of the last bike-to-bike contact, -1 when none
    // The point of the course the rider heads for (bike_set_course_point); the dab assist
    // turns a stopped bike toward it.
    int course_point_valid;
    float course_point[3]; // world (feet)
    // Snapshot-driven bikes: velocities kept across the world step.
    float saved_linear_velocity[BIKE_BODY_COUNT][3];
    float saved_angular_velocity[BIKE_BODY_COUNT][3];

    char plate[BIKE_PLATE_CHARS + 1]; // race number text
    unsigned plate_texture; // 128 x 128 rendering of the plate (shared per text), 0 when none
    int tag;                // the race session's slot number + 1
};

// Process-wide state of the bike module.
struct BikeGlobals {
    int arcade_blocked = 0; // the race server forbids arcade physics (set by the network client)
    int shading_level = -1; // renderer's shader level; -1 until set (then normal maps need 2,
                            // specular maps 3)
    std::vector<std::pair<std::string, unsigned>> plates; // plate text -> texture, kept
};
extern BikeGlobals g_bikes;
// Forgets the module state (tests; the textures themselves belong to the texture manager).
void bikes_reset();
// The renderer's shader level, which decides whether bikes look up normal maps (2 and up) and
// specular maps (3 and up).
void bikes_set_shading_level(int level);

// ---- Catalogue ----

// The record named `name`; an unknown name falls back to the first record containing "125"
// (names with "125") or "250f" (others), or record 0, and logs the choice. Never null.
const BikeInfo* bike_info_find(const char* name);
// Record i in catalogue order (0 .. BIKE_INFO_COUNT - 1), or null.
const BikeInfo* bike_info_at(int i);
// Maps the old names "crf250", "kx250f", "rmz250" and "yz250f" to their 2008 records; other
// names come back unchanged.
const char* bike_name_alias(const char* name);
// The texture-variant prefix of a record: its bike texture's file part without extension,
// followed by "-" (e.g. "yz250f-").
std::string bike_texture_prefix(const BikeInfo* info);

// ---- Loading ----

// Loads bike `name` for a rider: files, bodies and defaults, placed at rest. The texture
// names may be null or "" (the record's defaults are used); number is the plate text (the
// first 7 characters are kept). Missing files log warnings and leave their handle empty.
Bike* bike_load(const char* name, int tag, const char* number, const char* rider_texture,
                const char* head_texture, const char* bike_texture, const char* wheel_texture);
// Destroys the bodies and joints and frees the bike; null is ignored.
void bike_free(Bike* bike);
// Names a model is first tried under when drawn with `texture` (texture-named variants):
// 0, 1 (the variant) or 2 (also the variant's base name in the texture's folder).
int bike_model_variants(const char* model, const char* texture, std::string out[2]);
// Renders the plate text into a 128 x 128 RGB image (black digits on white).
void bike_plate_image(const char* text, Image* out);

// Accessors used by other subsystems.
const char* bike_name(const Bike* bike);
const char* bike_plate_text(const Bike* bike);
int bike_two_stroke(const Bike* bike);
int bike_gear(const Bike* bike);
// The gears a catalogue record's box has (ratios above 0), 0..6.
int bike_info_gear_count(const BikeInfo* info);
int bike_gear_count(const Bike* bike);
int bike_crash_countdown(const Bike* bike);

// ---- Setup ----

// Fills BikeSetup, the assists, the driver settings and the flag byte with the defaults
// every bike starts with.
void bike_setup_defaults(Bike* bike);
// Copies the player's configuration (g_config) into the bike: assists, flags, brake torques,
// automatic clutch, shifting, BikeSetup and the rider mass distribution.
void bike_apply_setup(Bike* bike);
// The race server forbids (1) or allows (0) arcade physics for bikes set up from now on.
void bikes_set_arcade_blocked(int blocked);
// Switches arcade physics off on one bike.
void bike_arcade_off(Bike* bike);
// The physical value a setup menu value v stands for, for the keys the menu shows physically:
// spring rates (pound-force per foot), preloads and oil level (feet), sprockets (teeth).
// Returns 1 and sets *value for those keys, 0 for any other key.
int bike_setup_physical(const BikeInfo* info, const char* key, float v, float* value);
// The menu text of that physical value ("%.3f kg/mm", "%.2f mm", "%.2f teeth"); 0 and ""
// for keys without one.
int bike_setup_format(const BikeInfo* info, const char* key, float v, char* out, size_t n);
// The menu's formats, from the physical value.
void bike_format_fork_spring(float rate, char* out, size_t n);  // one of two springs, kg/mm
void bike_format_shock_spring(float rate, char* out, size_t n); // kg/mm
void bike_format_length_mm(float feet, char* out, size_t n);    // preload, oil level
void bike_format_teeth(float teeth, char* out, size_t n);

// ---- Rigid-body assembly ----

// Creates the seven bodies with their masses, the six joints and their feedback in
// g_physics.world, with rider distribution 1/3. Part of bike_load.
void bike_build_bodies(Bike* bike);
// Rebuilds the frame's and the rider's masses for rider distribution d (clamped 1/3 .. 0.5
// by the caller's setting); the total mass is unchanged.
void bike_set_rider_distribution(Bike* bike, float d);
// Destroys the seven bodies, then the six joints. Part of bike_free.
void bike_destroy_bodies(Bike* bike);
// dBodyDisable / dBodyEnable on all seven bodies (snapshot-driven bikes are disabled).
void bike_disable_bodies(Bike* bike);
void bike_enable_bodies(Bike* bike);
// Moves all seven bodies by (dx, dy, dz) feet.
void bike_translate(Bike* bike, float dx, float dy, float dz);
// Rotation R about axis (through the world origin) by angle radians: every body's rotation
// becomes R and its position R x position. Use right after bike_reset, before bike_translate.
void bike_rotate(Bike* bike, const float axis[3], float angle);
// Attaches the rider mount to rider and frame, its anchor and axes set for the frame's
// current pose (the rider must be at its rest point); detaching leaves it on no bodies.
void bike_attach_rider_mount(Bike* bike);
void bike_detach_rider_mount(Bike* bike);
// Puts the bodies at their catalogue positions, upright and still, the rider on its mount,
// and clears the drive, control and crash state.
void bike_reset(Bike* bike);

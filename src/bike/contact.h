// Contacts of the bikes: the two tyres and the body shapes against the terrain, bike against
// bike, and bikes against track objects. Every contact becomes an ODE contact joint in the
// temporary group g_physics.contacts (bike/world.h) that lives for one world step; nothing is
// cached between ticks and nothing is allocated but those joints.
//
// What the bike step (and roost, crash logic) may read after bike_ground_contacts, per Wheel
// (bike.h):
//   depth            > 0 when the tyre touches the ground this tick (feet along the normal),
//                    0 otherwise (then the other fields keep their last values)
//   contact_point    world point on the ground under the tyre's deepest point
//   contact_normal   unit ground normal there, out of the ground
//   contact_velocity the wheel body's velocity at contact_point (the tyre's slip over ground)
//   feedback         force of this tick's tyre joint, written by the world step (zeroed when
//                    the tyre does not touch)
// The surface under a contact is terrain_tile_at(contact_point x, z). The bike's `touched`
// flag, `steer_authority` and `last_bike_contact` are also set here (see below).
//
// Units: feet, seconds, pound-force. The tick length is 1/128 s.
#pragma once

struct Bike;
struct ContactWork;
struct dContact;
struct dxBody;
struct PhysicsTick;
struct Shape;
struct SurfaceType;
struct Terrain;
struct TerrainTriangle;
struct Wheel;

// Tyre: spring kp = TYRE_SPRING x k^3 + TYRE_SPRING_MIN, damper kd = TYRE_DAMPER x k^3 +
// TYRE_DAMPER_MIN, with k = min(depth / tube radius, 1).
constexpr float TYRE_SPRING = 24000, TYRE_SPRING_MIN = 1000;
constexpr float TYRE_DAMPER = 2300, TYRE_DAMPER_MIN = 200;
constexpr float SHAPE_SPRING = 2500, SHAPE_DAMPER = 250; // body shapes on the ground
// A tyre met by another bike's or an object's sphere: friction, spring, damper.
constexpr float TYRE_PART_FRICTION = 1, TYRE_PART_SPRING = 25000, TYRE_PART_DAMPER = 2500;
constexpr float BIKE_FORCE_LIMIT = 1000;      // lbf, bike-to-bike contacts after the first pair
constexpr float CONTACT_STEER_AUTHORITY = 20; // after a hit on the front end

// One contact found against the ground.
struct GroundContact {
    float point[3];  // world point on the ground
    float normal[3]; // unit, from the ground toward the body
    float depth;     // feet along normal, > 0
};

// The contact module's state: calls out into the rider model and the line memory, which the
// contact code cannot include (the rider model is set by the bike loader, the line memory by
// robots), and the records a tick's contacts are gathered in.
struct ContactState {
    // Starts a rider crash (the rider model); null: nothing happens.
    void (*crash)(Bike* bike) = nullptr;
    // A bike took part in a bike-to-bike contact: the line memory forgets its recording
    // slots, so a disturbed line is not learned; null: nothing happens.
    void (*line_disturbed)(Bike* bike) = nullptr;
    // 1: tests that cannot find a contact are skipped early (a bike's reach sphere against a
    // statue, ground triangles wholly below a sphere or a tyre, sphere pairs by squared
    // distance); each is exact. Tests switch it off to show the results do not change.
    int early_outs = 1;
    // Per-slot records of the contacts found in a tick (contact_internal.h), made on first
    // use and kept, so later ticks allocate nothing.
    ContactWork* work = nullptr;
};
extern ContactState g_contacts;
// Clears the hooks, switches the early-outs back on and frees the records (tests).
void contacts_reset();

// ---- Geometry (pure, no ODE) ----

// Deepest penetration of a sphere into one ground triangle (its up side is the side of the
// normal with y >= 0; depth measured along the contact normal). 1 and *out when depth > 0.
int sphere_triangle_contact(const float centre[3], float radius, const TerrainTriangle* tri,
                            GroundContact* out);
// The same for a torus: centre, unit axis, torus radius (centre to tube centre) and tube
// radius.
int torus_triangle_contact(const float centre[3], const float axis[3], float torus_radius,
                           float tube_radius, const TerrainTriangle* tri, GroundContact* out);
// Deepest contact of a sphere against the terrain's triangles under it (also the dab assist's
// ground query). 1 and *out when found.
int sphere_ground_contact(const Terrain* terrain, const float centre[3], float radius,
                          GroundContact* out);
// Whether the sphere touches the terrain at all (what sphere_ground_contact finds something
// for), ending at the first contact.
bool sphere_touches_ground(const Terrain* terrain, const float centre[3], float radius);
// The highest ground of the cells any sphere within `reach` feet of (x, z) can meet (the top
// of each cell's four samples), in *top; false when unsure (a reach of TERRAIN_EDGE_REACH or
// more, no terrain). A sphere within that reach for which sphere_above_ground holds touches
// nothing: sphere_ground_contact would pass over every one of its cells.
bool ground_top(const Terrain* terrain, float x, float z, float reach, float* top);
bool sphere_above_ground(const float centre[3], float radius, float top);
// Deepest contact of a torus against the terrain.
int torus_ground_contact_at(const Terrain* terrain, const float centre[3], const float axis[3],
                            float torus_radius, float tube_radius, GroundContact* out);
// Deepest contact of a wheel's tyre (its body's current pose) against the terrain.
int torus_ground_contact(const Terrain* terrain, const Wheel* wheel, GroundContact* out);

// ---- Tyre contact pieces ----

// Compression k = min(depth / tube radius, 1), at least 0.
float tyre_compression(float depth, float tube_radius);
// Friction coefficient of a tyre whose contact point slides at slip (ft/s, world): the
// surface's curve at |slip|^2; in arcade mode times 1 - 0.375 x clamp(4 |roll| / pi, 0, 1).
float tyre_friction(const Bike* bike, const SurfaceType* surface, const float slip[3]);
// The contact of a tyre (no joint made): mode soft ERP | soft CFM | Approx1 (| FDir1), mu,
// ERP and CFM of kp = 24000 k^3 + 1000 and kd = 2300 k^3 + 200 over one tick, point, normal,
// depth, and FDir1 = normal x slip, or normal x axle (world) when that is shorter than 2^-5.
void tyre_contact_record(const GroundContact* g, float tube_radius, float mu, const float slip[3],
                         const float axle[3], dContact* out);
// Rolling-resistance force (lbf, world) on a wheel moving at v over ground of unit normal n at
// compression k: the surface's force against the tangential velocity, along its unit
// direction above 1 ft/s, proportional to it below.
void tyre_rolling_force(const SurfaceType* surface, const float v[3], const float n[3], float k,
                        float out[3]);

// ---- Contacts of a tick (the ground, world, contact group and clock of g_physics) ----

// Tyre contacts of both wheels, then the shape contacts of frame, steering, lower fork,
// swingarm and rider, with the rider crash test (rider shape down, upside down, faster than
// 5 ft/s). Sets `touched` when a shape other than the frame's touched. 1 if anything touched.
int bike_ground_contacts(Bike* bike);
// Whether a tyre or a body shape reaches into the ground, without making any contact (placing
// bikes at the start).
int bike_ground_test(const Bike* bike);
// Refills one wheel's contact record (0 front, 1 rear) from the ground under its body's
// current pose without making a joint: point, normal, depth and the wheel's velocity at the
// point, or depth 0 off the ground. Roost reads these records; bikes placed from snapshots
// get theirs here, as they make no contacts. Returns the depth.
float bike_wheel_contact_sense(Bike* bike, int wheel);
// Contacts between two bikes (call once per unordered pair and tick). The first pair a bike
// takes part in within a tick gets joints, later pairs forces of at most 1000 lbf. Front-end
// hits set `steer_authority` to 20; both bikes' `last_bike_contact` becomes the tick. 1 if
// they touched.
int bike_bike_contacts(Bike* a, Bike* b);
// Contacts between a bike and a track object's shape placed at pos with the row-major
// orientation rot; body is the object's rigid body or null for a static object. The rider
// crashes when its shape hits faster than 20 ft/s relative to the object. 1 if they touched.
int bike_object_contacts(Bike* bike, const Shape* shape, const float pos[3], const float rot[9],
                         dxBody* body);
// Statue collision of one bike: every statue near its frame, each touched one stamped with the
// session tick. Returns the number of statues touched.
int bike_statue_contacts(Bike* bike);

// Steps 1 and 2 of the physics tick (bike/world.h): the ground and statue contacts of every
// rider with PHYSICS_CONTACTS in slot order, then the bike-to-bike contacts of the pairs, the
// fastest bike first. The geometry of every bike is found on the worker threads
// (platform/workers.h) when there are any, each into its own record; the joints, forces, flags
// and crash tests are then made here on the calling thread in the order above, so the world
// is the same, bit for bit, for any number of threads. Allocates nothing once its records
// have grown.
void contacts_tick(const PhysicsTick* tick);

// Inside the contact code: contacts are found in two steps. The geometry (what touches where,
// with what stiffness) reads the bodies and the ground only and writes a per-bike record, so the
// records of different bikes can be filled on several threads at once. Making the joints and
// forces from the records, the flags, stamps and crash tests then runs on the main thread, in
// the order a single pass would make them, so the world gets the same joints in the same order
// whatever the number of threads.
#pragma once

#include <atomic>

#include <ode/ode.h>

#include <vector>

#include "bike/bike.h"
#include "bike/contact.h"
#include "core/constants.h"

struct Shape;

namespace contact_internal {

constexpr double H = sim_tick; // one world step (s)

// A shape's sphere in world coordinates, with its contact properties.
struct Sphere {
    double c[3];
    double radius, friction, spring, damper;
};

// One side of a shape-to-shape test: a body's shape at a pose, or a tyre standing in as the
// sphere of its tube at the ring point nearest to the other sphere.
struct Part {
    dBodyID body;       // null: the static world
    const Shape* shape; // null for a tyre
    const Wheel* tyre;
    double rot[9]; // row-major
    double pos[3];
    double axle[3]; // tyre: axis in world
    double bound;   // bounding sphere about pos
    int index;      // body index (BikeBody), -1 for an object
    // The shape's spheres placed in the world once for the tick (inside the BikeParts that
    // holds the part), or null: placed again for each test (objects, shapes too large to keep).
    const Sphere* placed;
};

// Room for a bike's placed spheres: its shapes hold a few dozen each.
constexpr int PLACED_SPHERES = 256;

// A bike's parts as the pair and object tests see them this tick (their bodies do not move
// until the world step). Its parts point into its own `placed`: it is made in place and never
// copied.
struct BikeParts {
    Part shapes[BIKE_BODY_COUNT]; // the side that tests: every body with a shape, in pair order
    int shape_count;
    Part targets[BIKE_BODY_COUNT]; // the side that is tested: the two tyres, five body shapes
    int target_count;
    double centre[3]; // a sphere holding every part (bike_reach); reach < 0: no parts
    double reach;
    Sphere placed[PLACED_SPHERES];
};

// A tyre's contact with the ground, ready to become its joint.
struct TyreHit {
    int touched;
    GroundContact ground;
    float velocity[3]; // the wheel's velocity at the contact point
    dContact joint;    // mode, friction, softness, point, normal, FDir1
    float rolling[3];  // rolling-resistance force (lbf, world)
};

// A body shape's sphere on the ground.
struct ShapeHit {
    int part; // body index
    dContact joint;
};

// Two spheres in contact, from a bike pair or a bike against an object.
struct SphereHit {
    double pos[3], normal[3], depth; // normal toward the first body
    double mu, spring, damper;
    dBodyID body1, body2; // null: the static world
    int part1, part2;     // body indices (-1 for an object)
};

// A run of sphere contacts in BikeContacts::spheres: one statue, or one pair of bikes.
struct HitRun {
    int other; // statue index, or the other bike's slot
    int first, count;
};

// Everything one bike's contacts of one tick found, in the order the joints are to be made.
struct BikeContacts {
    BikeParts parts;
    TyreHit tyres[2];
    std::vector<ShapeHit> ground; // frame, steering, lower fork, swingarm, rider; sphere order
    std::vector<HitRun> statues;  // statues touched, ascending: runs of `spheres`
    std::vector<HitRun> pairs;    // pairs touched, in pair order: runs of `pair_spheres`
    std::vector<SphereHit> spheres;
    // Apart from the statues' spheres: a rider's pairs may be found on another thread while
    // its statues are still being found.
    std::vector<SphereHit> pair_spheres;
    std::vector<int> nearby; // the statues near the bike (scratch)
    void clear();
};

// Soft contact parameters from a spring and a damper, for one tick.
void contact_soft(dContact* c, double kp, double kd);
// A friction coefficient ODE can take: never negative or NaN.
double friction_of(double mu);
// A contact joint in the temporary group, attached to b1 and b2 (null: the static world).
dJointID contact_joint(const dContact* c, dBodyID b1, dBodyID b2);
void contact_geom(dContact* c, const double pos[3], const double normal[3], double depth);

// Squared distance rule of the exact early-outs: a test is skipped only when the distance is
// beyond the sum of the radii by this margin, so rounding can never skip a real contact.
constexpr double EARLY_OUT_SLACK = 1e-3; // feet

// A sphere about one of a bike's bodies (the frame when it has one) holding every part the
// bike may bring into a shape test: each body's shape within the shape's bound of the body,
// and each tyre within its outer radius. Bikes (and objects) whose spheres are apart cost no
// part tests. A bike with no such part gets a negative reach.
double bike_reach(const Bike* bike, double centre[3]);
// Whether two bikes' reach spheres overlap: only then can any of their parts touch.
inline bool reaches_meet(const double ca[3], double ra, const double cb[3], double rb) {
    if (ra < 0 || rb < 0) return false;
    double reach = ra + rb;
    double d[3] = {ca[0] - cb[0], ca[1] - cb[1], ca[2] - cb[2]};
    return d[0] * d[0] + d[1] * d[1] + d[2] * d[2] < reach * reach;
}
// Fills the parts and the reach sphere of a bike from its bodies' current poses; the second
// form takes the reach sphere already found for this tick.
void bike_parts_make(const Bike* bike, BikeParts* out);
void bike_parts_make_reached(const Bike* bike, BikeParts* out, const double centre[3],
                             double reach);
// Geometry of one bike (nothing is written but *out): tyres and body shapes on the ground.
void ground_contacts_find(const Bike* bike, BikeContacts* out);
// Statues near the bike, appended to out->statues / spheres.
void statue_contacts_find(const Bike* bike, BikeContacts* out);
// Bike a (parts pa) against bike b (parts pb), appended as one run for slot `other`; 1 if
// they touched.
int pair_contacts_find(const BikeParts& pa, const BikeParts& pb, int other, BikeContacts* out);
// Bike against an object's shape placed at pos with rot; appended as one run.
int object_contacts_find(const BikeParts& parts, const Shape* shape, const double pos[3],
                         const double rot[9], dBodyID body, int other, BikeContacts* out);

// Making what was found (main thread only, in this order per bike): returns 1 if anything
// touched; sets `touched` and runs the ground crash test.
int ground_contacts_make(Bike* bike, const BikeContacts& found);
// Every statue run: joints, the statue's contact stamp, the rider's crash test. Returns the
// number of statues touched.
int statue_contacts_make(Bike* bike, const BikeContacts& found);
// One object run (joints and the crash test).
void object_contacts_make(Bike* bike, const BikeContacts& found, const HitRun& run,
                          dBodyID object_body);
// One pair run of a against b: joints for the first pair of each bike in the tick, else
// forces; steering authority, contact ticks and the line memory.
void pair_contacts_make(Bike* a, Bike* b, const BikeContacts& found, const HitRun& run);

} // namespace contact_internal

// The records of a tick: one per rider slot, filled on the worker threads, and one for the
// contact functions of single bikes, which tests and the race start call directly.
struct ContactWork {
    contact_internal::BikeContacts slots[MAX_RIDERS];
    contact_internal::BikeContacts direct;
    int order[MAX_RIDERS]; // this tick's pair order: slots by falling frame speed
    int order_count = 0;
    int active[MAX_RIDERS]; // slots that take part in any contact, two tasks each
    int active_count = 0;
    std::atomic<int> parts_made{0}; // riders whose parts this tick's tasks have made
    // Each active rider's reach sphere, found before the tasks: a pair task looks at another
    // rider's parts only when their spheres meet.
    double centre[MAX_RIDERS][3];
    double reach[MAX_RIDERS];
    const PhysicsTick* tick = nullptr;
};
// The module's records, made on first use.
ContactWork& contact_work();

// Contacts of a tick: tyres and body shapes on the ground, bike against bike, bike against
// track objects. Every contact is a joint in the temporary group (or, for bike pairs after a
// bike's first, a force); nothing is allocated here but ODE's joints.
#include "bike/contact.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "bike/bike.h"
#include "bike/bike_internal.h"
#include "bike/world.h"
#include "core/constants.h"
#include "core/maths.h"
#include "data/shape.h"
#include "track/objects.h"
#include "track/surface.h"
#include "track/terrain.h"

ContactState g_contacts;

void contacts_reset() {
    g_contacts = ContactState();
}

namespace {

constexpr double H = sim_tick;
// Squared length of normal x slip below which the slip gives no friction direction (2^-10).
constexpr double SLIDE_MIN = 0.0009765625;
constexpr double GROUND_CRASH_SPEED2 = 25;  // rider shape on the ground, upside down
constexpr double OBJECT_CRASH_SPEED2 = 400; // rider shape against an object

// Soft contact parameters from a spring and a damper, for one tick.
void contact_soft(dContact* c, double kp, double kd) {
    double cfm = 1 / (kd + H * kp);
    c->surface.soft_cfm = cfm;
    c->surface.soft_erp = H * kp * cfm;
}

// A friction coefficient ODE can take: never negative or NaN.
double friction_of(double mu) {
    return mu > 0 ? mu : 0;
}

dJointID contact_joint(const dContact* c, dBodyID b1, dBodyID b2) {
    dJointID j = dJointCreateContact(g_physics.world, g_physics.contacts, c);
    dJointAttach(j, b1, b2);
    return j;
}

void contact_geom(dContact* c, const double pos[3], const double normal[3], double depth) {
    for (int k = 0; k < 3; k++) {
        c->geom.pos[k] = pos[k];
        c->geom.normal[k] = normal[k];
    }
    c->geom.depth = depth;
}

const SurfaceType* surface_at(float x, float z) {
    static const SurfaceType plain; // for a terrain without surface types
    const Terrain* ground = physics_ground();
    int t = terrain_tile_at(ground, x, z);
    if (t < 0 || (size_t)t >= ground->surfaces.size()) return &plain;
    return &ground->surfaces[t];
}

// Roll angle of the frame: 0 upright, negative leaning toward the bike's +x side.
double frame_roll(dBodyID frame) {
    const dReal* r = dBodyGetRotation(frame);
    double up[3] = {r[1], r[5], r[9]};      // body y
    double fwd[3] = {-r[2], -r[6], -r[10]}; // body -z
    double h = sqrt(fwd[0] * fwd[0] + fwd[2] * fwd[2]);
    double o = h > 0 ? (up[2] * fwd[0] - up[0] * fwd[2]) / h : 0;
    o = o < -1 ? -1 : (o > 1 ? 1 : o);
    return acos(o) - PI / 2;
}

// ---- Tyres and shapes on the ground ----

// Tyre contact of one wheel; 1 if it touched.
int tyre_contact(Bike* bike, Wheel& wheel) {
    // 1. The deepest contact.
    GroundContact g;
    if (!wheel.body || !torus_ground_contact(physics_ground(), &wheel, &g)) {
        wheel.depth = 0;
        memset(&wheel.feedback, 0, sizeof wheel.feedback);
        return 0;
    }
    // 2. The contact record.
    memcpy(wheel.contact_point, g.point, sizeof g.point);
    memcpy(wheel.contact_normal, g.normal, sizeof g.normal);
    wheel.depth = g.depth;
    dVector3 v;
    dBodyGetPointVel(wheel.body, g.point[0], g.point[1], g.point[2], v);
    for (int k = 0; k < 3; k++) wheel.contact_velocity[k] = (float)v[k];

    // 3-7. Surface, grip, stiffness, friction direction and the joint.
    const SurfaceType* surface = surface_at(g.point[0], g.point[2]);
    float mu = tyre_friction(bike, surface, wheel.contact_velocity);
    dVector3 a;
    dBodyVectorToWorld(wheel.body, wheel.axle[0], wheel.axle[1], wheel.axle[2], a);
    float axle[3] = {(float)a[0], (float)a[1], (float)a[2]};
    dContact c;
    tyre_contact_record(&g, wheel.tube_radius, mu, wheel.contact_velocity, axle, &c);
    dJointID j = contact_joint(&c, wheel.body, nullptr);
    dJointSetFeedback(j, ode_feedback(&wheel.feedback));

    // 8. Rolling resistance.
    const dReal* lv = dBodyGetLinearVel(wheel.body);
    float vel[3] = {(float)lv[0], (float)lv[1], (float)lv[2]}, force[3];
    tyre_rolling_force(surface, vel, g.normal, tyre_compression(g.depth, wheel.tube_radius), force);
    dBodyAddForce(wheel.body, force[0], force[1], force[2]);
    return 1;
}

// World centre of a sphere of a body's shape.
void body_point(dBodyID body, const float local[3], double out[3]) {
    const dReal* r = dBodyGetRotation(body);
    const dReal* p = dBodyGetPosition(body);
    for (int i = 0; i < 3; i++)
        out[i] = r[4 * i] * local[0] + r[4 * i + 1] * local[1] + r[4 * i + 2] * local[2] + p[i];
}

// Shape contacts of one body with the ground; 1 if any sphere touched.
int shape_ground_contacts(Bike* bike, int part) {
    const Shape* shape = bike->shapes[part];
    dBodyID body = bike->bodies[part];
    if (!shape || !body) return 0;
    int touched = 0;
    for (const ShapeSphere& s : shape->spheres) {
        double c[3];
        body_point(body, s.centre, c);
        float cf[3] = {(float)c[0], (float)c[1], (float)c[2]};
        GroundContact g;
        if (!sphere_ground_contact(physics_ground(), cf, s.radius, &g)) continue;
        dContact ct;
        memset(&ct, 0, sizeof ct);
        ct.surface.mode = dContactSoftERP | dContactSoftCFM | dContactApprox1;
        ct.surface.mu = friction_of(s.friction);
        contact_soft(&ct, SHAPE_SPRING, SHAPE_DAMPER);
        double pos[3] = {g.point[0], g.point[1], g.point[2]};
        double nrm[3] = {g.normal[0], g.normal[1], g.normal[2]};
        contact_geom(&ct, pos, nrm, g.depth);
        contact_joint(&ct, body, nullptr);
        touched = 1;
    }
    return touched;
}

// Crash on the ground: rider shape down, the rider upside down and moving.
void rider_ground_crash_test(Bike* bike) {
    dBodyID rider = bike->bodies[BODY_RIDER];
    if (bike->crash_countdown > 0) return;
    const dReal* r = dBodyGetRotation(rider);
    const dReal* v = dBodyGetLinearVel(rider);
    if (r[5] < 0 && v[0] * v[0] + v[1] * v[1] + v[2] * v[2] > GROUND_CRASH_SPEED2 &&
        g_contacts.crash)
        g_contacts.crash(bike);
}

const int BODY_SHAPE_PARTS[5] = {BODY_FRAME, BODY_STEERING, BODY_FORK_LOWER, BODY_SWINGARM,
                                 BODY_RIDER};

// ---- Shape against shape ----

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
};

Part part_shape(dBodyID body, const Shape* shape, int index) {
    Part p;
    memset(&p, 0, sizeof p);
    p.body = body;
    p.shape = shape;
    p.index = index;
    const dReal* r = dBodyGetRotation(body);
    const dReal* x = dBodyGetPosition(body);
    for (int i = 0; i < 3; i++) {
        for (int j = 0; j < 3; j++) p.rot[3 * i + j] = r[4 * i + j];
        p.pos[i] = x[i];
    }
    p.bound = shape->radius;
    return p;
}

Part part_tyre(const Wheel* wheel, int index) {
    Part p;
    memset(&p, 0, sizeof p);
    p.body = wheel->body;
    p.tyre = wheel;
    p.index = index;
    const dReal* x = dBodyGetPosition(wheel->body);
    for (int i = 0; i < 3; i++) p.pos[i] = x[i];
    dVector3 a;
    dBodyVectorToWorld(wheel->body, wheel->axle[0], wheel->axle[1], wheel->axle[2], a);
    double len = sqrt(a[0] * a[0] + a[1] * a[1] + a[2] * a[2]);
    for (int i = 0; i < 3; i++) p.axle[i] = len > 0 ? a[i] / len : (i == 0);
    p.bound = wheel->torus_radius + wheel->tube_radius;
    return p;
}

struct Sphere {
    double c[3];
    double radius, friction, spring, damper;
};

Sphere part_sphere(const Part& p, const ShapeSphere& s) {
    Sphere out;
    for (int i = 0; i < 3; i++)
        out.c[i] = p.rot[3 * i] * s.centre[0] + p.rot[3 * i + 1] * s.centre[1] +
                   p.rot[3 * i + 2] * s.centre[2] + p.pos[i];
    out.radius = s.radius;
    out.friction = s.friction;
    out.spring = s.spring;
    out.damper = s.damper;
    return out;
}

// The tyre's tube sphere nearest to the point x.
Sphere tyre_sphere(const Part& p, const double x[3]) {
    Sphere out;
    double d[3] = {x[0] - p.pos[0], x[1] - p.pos[1], x[2] - p.pos[2]};
    double along = d[0] * p.axle[0] + d[1] * p.axle[1] + d[2] * p.axle[2];
    double perp[3] = {d[0] - p.axle[0] * along, d[1] - p.axle[1] * along, d[2] - p.axle[2] * along};
    double len = sqrt(perp[0] * perp[0] + perp[1] * perp[1] + perp[2] * perp[2]);
    if (len < 1e-9) {
        // On the axle: every ring point is as near; take one across the axle.
        double pick[3] = {1, 0, 0};
        if (fabs(p.axle[0]) >= 0.57) pick[0] = 0, pick[1] = 1;
        double a = pick[0] * p.axle[0] + pick[1] * p.axle[1];
        for (int i = 0; i < 3; i++) perp[i] = pick[i] - p.axle[i] * a;
        len = sqrt(perp[0] * perp[0] + perp[1] * perp[1] + perp[2] * perp[2]);
    }
    double r = p.tyre->torus_radius / len;
    for (int i = 0; i < 3; i++) out.c[i] = p.pos[i] + perp[i] * r;
    out.radius = p.tyre->tube_radius;
    out.friction = TYRE_PART_FRICTION;
    out.spring = TYRE_PART_SPRING;
    out.damper = TYRE_PART_DAMPER;
    return out;
}

struct PairContext {
    int forces; // 1: push with forces instead of joints
    int touched;
    int first_front, second_front; // a front-end part of either side was hit
    int first_rider;               // the first side's rider shape was hit
};

// Two spheres: one contact along the line of their centres, the normal toward the first.
int sphere_pair(PairContext* ctx, const Part& pa, const Sphere& a, const Part& pb,
                const Sphere& b) {
    double v[3] = {a.c[0] - b.c[0], a.c[1] - b.c[1], a.c[2] - b.c[2]};
    double dist = sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
    double depth = a.radius + b.radius - dist;
    if (!(depth > 0)) return 0;
    double n[3] = {0, 1, 0};
    if (dist > 1e-9)
        for (int i = 0; i < 3; i++) n[i] = v[i] / dist;
    double pos[3];
    for (int i = 0; i < 3; i++) pos[i] = b.c[i] + n[i] * (b.radius - depth / 2);
    double mu = fmin(a.friction, b.friction);
    double spring = fmin(a.spring, b.spring), damper = fmin(a.damper, b.damper);

    if (ctx->forces) {
        // Closing speed along the normal, so that the damper resists the approach.
        dVector3 va = {0, 0, 0}, vb = {0, 0, 0};
        if (pa.body) dBodyGetPointVel(pa.body, pos[0], pos[1], pos[2], va);
        if (pb.body) dBodyGetPointVel(pb.body, pos[0], pos[1], pos[2], vb);
        double closing = (vb[0] - va[0]) * n[0] + (vb[1] - va[1]) * n[1] + (vb[2] - va[2]) * n[2];
        double w = depth * spring + closing * damper;
        if (!(w > -BIKE_FORCE_LIMIT)) w = -BIKE_FORCE_LIMIT; // also NaN from bad parameters
        if (w > BIKE_FORCE_LIMIT) w = BIKE_FORCE_LIMIT;
        if (pa.body && dBodyIsEnabled(pa.body))
            dBodyAddForceAtPos(pa.body, w * n[0], w * n[1], w * n[2], pos[0], pos[1], pos[2]);
        if (pb.body && dBodyIsEnabled(pb.body))
            dBodyAddForceAtPos(pb.body, -w * n[0], -w * n[1], -w * n[2], pos[0], pos[1], pos[2]);
    } else if (H * spring + damper > 0) {
        // A sphere without stiffness (bad shape parameters) gives no joint.
        dContact c;
        memset(&c, 0, sizeof c);
        c.surface.mode = dContactSoftERP | dContactSoftCFM | dContactApprox1;
        c.surface.mu = friction_of(mu);
        double cfm = 1 / (H * spring + damper);
        c.surface.soft_cfm = cfm;
        c.surface.soft_erp = H * spring * cfm;
        contact_geom(&c, pos, n, depth);
        contact_joint(&c, pa.body, pb.body);
    }
    return 1;
}

// Every sphere of one part against the other, when their bounding spheres overlap.
int part_pair(PairContext* ctx, const Part& a, const Part& b) {
    double d[3] = {a.pos[0] - b.pos[0], a.pos[1] - b.pos[1], a.pos[2] - b.pos[2]};
    double reach = a.bound + b.bound;
    if (!(d[0] * d[0] + d[1] * d[1] + d[2] * d[2] < reach * reach)) return 0;
    int hit = 0;
    if (a.tyre) {
        for (const ShapeSphere& s : b.shape->spheres) {
            Sphere sb = part_sphere(b, s);
            hit |= sphere_pair(ctx, a, tyre_sphere(a, sb.c), b, sb);
        }
    } else if (b.tyre) {
        for (const ShapeSphere& s : a.shape->spheres) {
            Sphere sa = part_sphere(a, s);
            hit |= sphere_pair(ctx, a, sa, b, tyre_sphere(b, sa.c));
        }
    } else {
        for (const ShapeSphere& s : a.shape->spheres) {
            Sphere sa = part_sphere(a, s);
            for (const ShapeSphere& t : b.shape->spheres)
                hit |= sphere_pair(ctx, a, sa, b, part_sphere(b, t));
        }
    }
    return hit;
}

// The seven parts a bike offers to others: its two tyres and its five body shapes. Returns
// the count (parts without a shape are left out).
int bike_target_parts(const Bike* bike, Part out[7]) {
    int n = 0;
    for (int w = 0; w < 2; w++)
        if (bike->wheels[w].body)
            out[n++] = part_tyre(&bike->wheels[w], w == 0 ? BODY_FRONT_WHEEL : BODY_REAR_WHEEL);
    for (int index : BODY_SHAPE_PARTS)
        if (bike->shapes[index] && bike->bodies[index])
            out[n++] = part_shape(bike->bodies[index], bike->shapes[index], index);
    return n;
}

// A sphere about one of a bike's bodies (the frame when it has one) holding every part the
// bike may bring into a bike-to-bike test: each body's shape within the shape's bound of the
// body, and each tyre within its outer radius. Pairs of bikes whose spheres are apart cost no
// part tests. A bike with no such part gets a negative reach.
double bike_reach(const Bike* bike, double centre[3]) {
    // Every (body, bound) the pair test may use: shaped bodies and tyres.
    dBodyID bodies[BIKE_BODY_COUNT + 2];
    double bounds[BIKE_BODY_COUNT + 2];
    int n = 0;
    for (int index = 0; index < BIKE_BODY_COUNT; index++) {
        if (!bike->bodies[index] || !bike->shapes[index]) continue;
        bodies[n] = bike->bodies[index];
        bounds[n++] = bike->shapes[index]->radius;
    }
    for (const Wheel& w : bike->wheels) {
        if (!w.body) continue;
        bodies[n] = w.body;
        bounds[n++] = w.torus_radius + w.tube_radius;
    }
    if (n == 0) return -1;
    dBodyID c = bike->bodies[BODY_FRAME] ? bike->bodies[BODY_FRAME] : bodies[0];
    const dReal* f = dBodyGetPosition(c);
    for (int k = 0; k < 3; k++) centre[k] = f[k];
    double reach = 0;
    for (int i = 0; i < n; i++) {
        const dReal* p = dBodyGetPosition(bodies[i]);
        double d[3] = {p[0] - f[0], p[1] - f[1], p[2] - f[2]};
        reach = std::max(reach, std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]) + bounds[i]);
    }
    return reach;
}

int front_end(int index) {
    return index == BODY_FRONT_WHEEL || index == BODY_STEERING || index == BODY_FORK_LOWER;
}

} // namespace

float tyre_compression(float depth, float tube_radius) {
    if (!(tube_radius > 0)) return 1;
    float k = depth / tube_radius;
    return k < 1 ? (k > 0 ? k : 0) : 1;
}

float tyre_friction(const Bike* bike, const SurfaceType* surface, const float slip[3]) {
    float slip2 = slip[0] * slip[0] + slip[1] * slip[1] + slip[2] * slip[2];
    double grip = 1;
    // Arcade riding loses grip with lean: full grip upright, 0.625 from 45 degrees on.
    if ((bike->flags & BIKE_ARCADE) && bike->bodies[BODY_FRAME]) {
        double lean = fabs(frame_roll(bike->bodies[BODY_FRAME])) * 4 / PI;
        grip = 1 - 0.375 * (lean < 1 ? lean : 1);
    }
    return (float)friction_of(surface_friction(surface, slip2) * grip);
}

void tyre_contact_record(const GroundContact* g, float tube_radius, float mu, const float slip[3],
                         const float axle[3], dContact* out) {
    memset(out, 0, sizeof *out);
    // Stiffness grows with the cube of the compression.
    double k = tyre_compression(g->depth, tube_radius), k3 = k * k * k;
    double kp = TYRE_SPRING * k3 + TYRE_SPRING_MIN, kd = TYRE_DAMPER * k3 + TYRE_DAMPER_MIN;
    out->surface.mode = dContactSoftERP | dContactSoftCFM | dContactApprox1;
    out->surface.mu = friction_of(mu);
    contact_soft(out, kp, kd);
    double pos[3] = {g->point[0], g->point[1], g->point[2]};
    double nrm[3] = {g->normal[0], g->normal[1], g->normal[2]};
    contact_geom(out, pos, nrm, g->depth);

    // First friction direction across the slide, or across the axle (along the rolling
    // direction) when the contact point hardly slides over the ground.
    const float* n = g->normal;
    double dir[3] = {(double)n[1] * slip[2] - (double)n[2] * slip[1],
                     (double)n[2] * slip[0] - (double)n[0] * slip[2],
                     (double)n[0] * slip[1] - (double)n[1] * slip[0]};
    if (dir[0] * dir[0] + dir[1] * dir[1] + dir[2] * dir[2] < SLIDE_MIN) {
        dir[0] = (double)n[1] * axle[2] - (double)n[2] * axle[1];
        dir[1] = (double)n[2] * axle[0] - (double)n[0] * axle[2];
        dir[2] = (double)n[0] * axle[1] - (double)n[1] * axle[0];
    }
    double len = sqrt(dir[0] * dir[0] + dir[1] * dir[1] + dir[2] * dir[2]);
    if (len > 0) {
        out->surface.mode |= dContactFDir1;
        for (int i = 0; i < 3; i++) out->fdir1[i] = dir[i] / len;
    }
}

void tyre_rolling_force(const SurfaceType* surface, const float v[3], const float n[3], float k,
                        float out[3]) {
    double vn = (double)v[0] * n[0] + (double)v[1] * n[1] + (double)v[2] * n[2];
    double vt[3] = {v[0] - n[0] * vn, v[1] - n[1] * vn, v[2] - n[2] * vn};
    double u = sqrt(vt[0] * vt[0] + vt[1] * vt[1] + vt[2] * vt[2]);
    double f = surface_roll_resistance(surface, (float)u, k);
    // Along the unit direction when faster than 1 ft/s, else fading to nothing at rest.
    double scale = u > 1 ? -f / u : -f;
    for (int i = 0; i < 3; i++) out[i] = (float)(vt[i] * scale);
}

int torus_ground_contact(const Terrain* terrain, const Wheel* wheel, GroundContact* out) {
    if (!wheel->body) return 0;
    const dReal* p = dBodyGetPosition(wheel->body);
    dVector3 a;
    dBodyVectorToWorld(wheel->body, wheel->axle[0], wheel->axle[1], wheel->axle[2], a);
    float centre[3] = {(float)p[0], (float)p[1], (float)p[2]};
    float axis[3] = {(float)a[0], (float)a[1], (float)a[2]};
    return torus_ground_contact_at(terrain, centre, axis, wheel->torus_radius, wheel->tube_radius,
                                   out);
}

int bike_ground_contacts(Bike* bike) {
    int any = 0;
    for (Wheel& wheel : bike->wheels) any |= tyre_contact(bike, wheel);
    for (int index : BODY_SHAPE_PARTS) {
        int touched = shape_ground_contacts(bike, index);
        if (!touched) continue;
        any = 1;
        // The frame's shape may scrape (a landing on the skid plate) without counting.
        if (index != BODY_FRAME) bike->touched = 1;
        if (index == BODY_RIDER) rider_ground_crash_test(bike);
    }
    return any;
}

float bike_wheel_contact_sense(Bike* bike, int w) {
    Wheel& wheel = bike->wheels[w];
    GroundContact g;
    if (!wheel.body || !torus_ground_contact(physics_ground(), &wheel, &g)) {
        wheel.depth = 0;
        return 0;
    }
    memcpy(wheel.contact_point, g.point, sizeof g.point);
    memcpy(wheel.contact_normal, g.normal, sizeof g.normal);
    wheel.depth = g.depth;
    dVector3 v;
    dBodyGetPointVel(wheel.body, g.point[0], g.point[1], g.point[2], v);
    for (int k = 0; k < 3; k++) wheel.contact_velocity[k] = (float)v[k];
    return g.depth;
}

int bike_ground_test(const Bike* bike) {
    GroundContact g;
    for (const Wheel& wheel : bike->wheels)
        if (torus_ground_contact(physics_ground(), &wheel, &g)) return 1;
    for (int index : BODY_SHAPE_PARTS) {
        const Shape* shape = bike->shapes[index];
        dBodyID body = bike->bodies[index];
        if (!shape || !body) continue;
        for (const ShapeSphere& s : shape->spheres) {
            double c[3];
            body_point(body, s.centre, c);
            float cf[3] = {(float)c[0], (float)c[1], (float)c[2]};
            if (sphere_ground_contact(physics_ground(), cf, s.radius, &g)) return 1;
        }
    }
    return 0;
}

int bike_bike_contacts(Bike* a, Bike* b) {
    if (!a || !b || a == b) return 0;
    double ca[3], cb[3], ra = bike_reach(a, ca), rb = bike_reach(b, cb);
    if (ra < 0 || rb < 0) return 0;
    double reach = ra + rb;
    double d[3] = {ca[0] - cb[0], ca[1] - cb[1], ca[2] - cb[2]};
    if (!(d[0] * d[0] + d[1] * d[1] + d[2] * d[2] < reach * reach)) return 0;
    const int tick = g_physics.clock;
    PairContext ctx;
    memset(&ctx, 0, sizeof ctx);
    // Joints only for a bike's first pair of the tick; more joints on the same bodies would
    // let the pairs fight each other.
    ctx.forces = a->last_bike_contact == tick || b->last_bike_contact == tick;

    static const int A_PARTS[7] = {BODY_FRONT_WHEEL, BODY_REAR_WHEEL, BODY_FRAME, BODY_STEERING,
                                   BODY_FORK_LOWER,  BODY_SWINGARM,   BODY_RIDER};
    Part targets[7];
    int nt = bike_target_parts(b, targets);
    for (int index : A_PARTS) {
        if (!a->shapes[index] || !a->bodies[index]) continue;
        Part pa = part_shape(a->bodies[index], a->shapes[index], index);
        for (int t = 0; t < nt; t++) {
            if (!part_pair(&ctx, pa, targets[t])) continue;
            ctx.touched = 1;
            ctx.first_front |= front_end(index);
            ctx.second_front |= front_end(targets[t].index);
        }
    }
    if (!ctx.touched) return 0;
    if (ctx.first_front) a->steer_authority = CONTACT_STEER_AUTHORITY;
    if (ctx.second_front) b->steer_authority = CONTACT_STEER_AUTHORITY;
    a->last_bike_contact = b->last_bike_contact = tick;
    if (g_contacts.line_disturbed) {
        g_contacts.line_disturbed(a);
        g_contacts.line_disturbed(b);
    }
    return 1;
}

int bike_object_contacts(Bike* bike, const Shape* shape, const float pos[3], const float rot[9],
                         dBodyID body) {
    if (!bike || !shape) return 0;
    Part object;
    memset(&object, 0, sizeof object);
    object.body = body;
    object.shape = shape;
    object.index = -1;
    for (int i = 0; i < 9; i++) object.rot[i] = rot[i];
    for (int i = 0; i < 3; i++) object.pos[i] = pos[i];
    object.bound = shape->radius;

    PairContext ctx;
    memset(&ctx, 0, sizeof ctx);
    Part parts[7];
    int n = bike_target_parts(bike, parts);
    int rider_hit = 0;
    for (int i = 0; i < n; i++) {
        if (!part_pair(&ctx, parts[i], object)) continue;
        ctx.touched = 1;
        rider_hit |= parts[i].index == BODY_RIDER;
    }
    if (rider_hit && bike->crash_countdown <= 0) {
        const dReal* v = dBodyGetLinearVel(bike->bodies[BODY_RIDER]);
        double rel[3] = {v[0], v[1], v[2]};
        if (body) {
            const dReal* w = dBodyGetLinearVel(body);
            for (int i = 0; i < 3; i++) rel[i] -= w[i];
        }
        if (rel[0] * rel[0] + rel[1] * rel[1] + rel[2] * rel[2] > OBJECT_CRASH_SPEED2 &&
            g_contacts.crash)
            g_contacts.crash(bike);
    }
    return ctx.touched;
}

int statue_contact(void* bike, int statue, const Statue* s, const float pos[3],
                   const float rot[9]) {
    (void)statue;
    return bike_object_contacts((Bike*)bike, s->shape, pos, rot, nullptr);
}

int bike_statue_contacts(Bike* bike) {
    const dReal* p = dBodyGetPosition(bike->bodies[BODY_FRAME]);
    return statues_collide((float)p[0], (float)p[2], g_physics.clock, statue_contact, bike);
}

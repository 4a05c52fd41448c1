// Contacts of bikes with the ground: the tyres and the body shapes, found into a bike's
// record and then made into joints and forces. The tick's order of everything is in
// contact_tick.cpp; shape against shape (other bikes, track objects) in contact_shapes.cpp.
#include "bike/contact.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "bike/bike.h"
#include "bike/bike_internal.h"
#include "bike/contact_internal.h"
#include "bike/world.h"
#include "core/constants.h"
#include "core/maths.h"
#include "data/shape.h"
#include "track/surface.h"
#include "track/terrain.h"

using namespace contact_internal;

ContactState g_contacts;

void contacts_reset() {
    delete g_contacts.work;
    g_contacts = ContactState();
}

ContactWork& contact_work() {
    if (!g_contacts.work) {
        // Room for a crowded tick from the start; the lists grow further only when a tick
        // finds more than any before it.
        g_contacts.work = new ContactWork();
        for (BikeContacts& c : g_contacts.work->slots) {
            c.ground.reserve(32);
            c.statues.reserve(16);
            c.pairs.reserve(MAX_RIDERS);
            c.spheres.reserve(256);
            c.pair_spheres.reserve(256);
        }
    }
    return *g_contacts.work;
}

void contact_internal::BikeContacts::clear() {
    tyres[0].touched = tyres[1].touched = 0;
    ground.clear();
    statues.clear();
    pairs.clear();
    spheres.clear();
    pair_spheres.clear();
}

namespace contact_internal {

void contact_soft(dContact* c, double kp, double kd) {
    double cfm = 1 / (kd + H * kp);
    c->surface.soft_cfm = cfm;
    c->surface.soft_erp = H * kp * cfm;
}

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

} // namespace contact_internal

namespace {

// Squared length of normal x slip below which the slip gives no friction direction (2^-10).
constexpr double SLIDE_MIN = 0.0009765625;
constexpr double GROUND_CRASH_SPEED2 = 25; // rider shape on the ground, upside down

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

// ---- Finding: reads the bodies and the ground, writes only the record ----

// Steps 1-8 of one wheel's tyre contact, without the joint.
void tyre_find(const Bike* bike, const Wheel& wheel, TyreHit* out) {
    // 1. The deepest contact.
    out->touched = 0;
    GroundContact& g = out->ground;
    if (!wheel.body || !torus_ground_contact(physics_ground(), &wheel, &g)) return;
    out->touched = 1;
    // 2. The wheel's velocity at the contact point.
    dVector3 v;
    dBodyGetPointVel(wheel.body, g.point[0], g.point[1], g.point[2], v);
    for (int k = 0; k < 3; k++) out->velocity[k] = (float)v[k];

    // 3-7. Surface, grip, stiffness and friction direction of the joint.
    const SurfaceType* surface = surface_at(g.point[0], g.point[2]);
    float mu = tyre_friction(bike, surface, out->velocity);
    dVector3 a;
    dBodyVectorToWorld(wheel.body, wheel.axle[0], wheel.axle[1], wheel.axle[2], a);
    float axle[3] = {(float)a[0], (float)a[1], (float)a[2]};
    tyre_contact_record(&g, wheel.tube_radius, mu, out->velocity, axle, &out->joint);

    // 8. Rolling resistance.
    const dReal* lv = dBodyGetLinearVel(wheel.body);
    float vel[3] = {(float)lv[0], (float)lv[1], (float)lv[2]};
    tyre_rolling_force(surface, vel, g.normal, tyre_compression(g.depth, wheel.tube_radius),
                       out->rolling);
}

// World centre of a sphere of a body's shape, from the body's rotation and position.
void body_point(const dReal* r, const dReal* p, const float local[3], double out[3]) {
    for (int i = 0; i < 3; i++)
        out[i] = r[4 * i] * local[0] + r[4 * i + 1] * local[1] + r[4 * i + 2] * local[2] + p[i];
}

void body_point(dBodyID body, const float local[3], double out[3]) {
    body_point(dBodyGetRotation(body), dBodyGetPosition(body), local, out);
}

// Every sphere of one body's shape on the ground.
void shape_ground_find(const Bike* bike, int part, std::vector<ShapeHit>* out) {
    const Shape* shape = bike->shapes[part];
    dBodyID body = bike->bodies[part];
    if (!shape || !body) return;
    // Most spheres ride well clear of the ground: the highest ground under the whole shape is
    // looked up once, and only the spheres reaching below it look at their own cells (an
    // early-out; the margins cover the centres' rounding to float).
    const dReal* at = dBodyGetPosition(body);
    float top = 0;
    bool known = g_contacts.early_outs && ground_top(physics_ground(), (float)at[0], (float)at[2],
                                                     shape->radius + 0.01f, &top);
    const dReal* r = dBodyGetRotation(body);
    for (const ShapeSphere& s : shape->spheres) {
        double c[3];
        body_point(r, at, s.centre, c);
        float cf[3] = {(float)c[0], (float)c[1], (float)c[2]};
        if (known && sphere_above_ground(cf, s.radius + 0.01f, top)) continue;
        GroundContact g;
        if (!sphere_ground_contact(physics_ground(), cf, s.radius, &g)) continue;
        ShapeHit hit;
        hit.part = part;
        dContact& ct = hit.joint;
        memset(&ct, 0, sizeof ct);
        ct.surface.mode = dContactSoftERP | dContactSoftCFM | dContactApprox1;
        ct.surface.mu = friction_of(s.friction);
        contact_soft(&ct, SHAPE_SPRING, SHAPE_DAMPER);
        double pos[3] = {g.point[0], g.point[1], g.point[2]};
        double nrm[3] = {g.normal[0], g.normal[1], g.normal[2]};
        contact_geom(&ct, pos, nrm, g.depth);
        out->push_back(hit);
    }
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

} // namespace

void contact_internal::ground_contacts_find(const Bike* bike, BikeContacts* out) {
    for (int w = 0; w < 2; w++) tyre_find(bike, bike->wheels[w], &out->tyres[w]);
    out->ground.clear();
    for (int index : BODY_SHAPE_PARTS) shape_ground_find(bike, index, &out->ground);
}

int contact_internal::ground_contacts_make(Bike* bike, const BikeContacts& found) {
    int any = 0;
    // The tyres: the contact records the bike step reads, the joints with their feedback, and
    // the rolling resistance.
    for (int w = 0; w < 2; w++) {
        Wheel& wheel = bike->wheels[w];
        const TyreHit& hit = found.tyres[w];
        if (!hit.touched) {
            wheel.depth = 0;
            memset(&wheel.feedback, 0, sizeof wheel.feedback);
            continue;
        }
        memcpy(wheel.contact_point, hit.ground.point, sizeof hit.ground.point);
        memcpy(wheel.contact_normal, hit.ground.normal, sizeof hit.ground.normal);
        wheel.depth = hit.ground.depth;
        memcpy(wheel.contact_velocity, hit.velocity, sizeof hit.velocity);
        dJointID j = contact_joint(&hit.joint, wheel.body, nullptr);
        dJointSetFeedback(j, ode_feedback(&wheel.feedback));
        dBodyAddForce(wheel.body, hit.rolling[0], hit.rolling[1], hit.rolling[2]);
        any = 1;
    }
    // The body shapes, part by part.
    unsigned parts = 0;
    for (const ShapeHit& hit : found.ground) {
        contact_joint(&hit.joint, bike->bodies[hit.part], nullptr);
        parts |= 1u << hit.part;
    }
    for (int index : BODY_SHAPE_PARTS) {
        if (!(parts & (1u << index))) continue;
        any = 1;
        // The frame's shape may scrape (a landing on the skid plate) without counting.
        if (index != BODY_FRAME) bike->touched = 1;
        if (index == BODY_RIDER) rider_ground_crash_test(bike);
    }
    return any;
}

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
    BikeContacts& found = contact_work().direct;
    found.clear();
    ground_contacts_find(bike, &found);
    return ground_contacts_make(bike, found);
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
            if (sphere_touches_ground(physics_ground(), cf, s.radius)) return 1;
        }
    }
    return 0;
}

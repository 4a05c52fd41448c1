// Shape against shape: a bike against another bike and against track objects (the statues).
// Each side is a list of parts (a body's shape, or a tyre standing in as the sphere of its tube
// nearest to the other sphere); two parts are tested sphere by sphere only when their bounding
// spheres overlap, and two spheres that overlap give one contact along the line of their
// centres. What is found goes into the bike's record; joints and forces are made from it on
// the main thread (contact_internal.h).
#include <algorithm>
#include <cmath>
#include <cstring>

#include "bike/bike.h"
#include "bike/contact.h"
#include "bike/contact_internal.h"
#include "bike/world.h"
#include "data/shape.h"
#include "track/objects.h"

using namespace contact_internal;

namespace {

constexpr double OBJECT_CRASH_SPEED2 = 400; // rider shape against an object

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

// Sphere k of a shaped part: as placed for the tick, or placed now into *scratch.
const Sphere& sphere_of(const Part& p, size_t k, Sphere* scratch) {
    return p.placed ? p.placed[k] : (*scratch = part_sphere(p, p.shape->spheres[k]));
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

// Whether two spheres (centres d apart, radii summing to reach) are apart by more than the
// early-out margin: then neither they nor anything inside them can touch.
bool spheres_apart(const double d[3], double reach) {
    double r = reach + EARLY_OUT_SLACK;
    return d[0] * d[0] + d[1] * d[1] + d[2] * d[2] > r * r;
}

// Two spheres: one contact along the line of their centres, the normal toward the first.
void sphere_pair(const Part& pa, const Sphere& a, const Part& pb, const Sphere& b,
                 std::vector<SphereHit>* out) {
    double v[3] = {a.c[0] - b.c[0], a.c[1] - b.c[1], a.c[2] - b.c[2]};
    if (g_contacts.early_outs && spheres_apart(v, a.radius + b.radius)) return;
    double dist = sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
    double depth = a.radius + b.radius - dist;
    if (!(depth > 0)) return;
    SphereHit hit;
    hit.normal[0] = 0, hit.normal[1] = 1, hit.normal[2] = 0;
    if (dist > 1e-9)
        for (int i = 0; i < 3; i++) hit.normal[i] = v[i] / dist;
    for (int i = 0; i < 3; i++) hit.pos[i] = b.c[i] + hit.normal[i] * (b.radius - depth / 2);
    hit.depth = depth;
    hit.mu = fmin(a.friction, b.friction);
    hit.spring = fmin(a.spring, b.spring);
    hit.damper = fmin(a.damper, b.damper);
    hit.body1 = pa.body;
    hit.body2 = pb.body;
    hit.part1 = pa.index;
    hit.part2 = pb.index;
    out->push_back(hit);
}

// Whether a sphere lies wholly outside a part's bounding sphere: then no sphere of the part
// (and no point of its tyre's tube) can touch it.
bool sphere_clear_of(const Sphere& s, const Part& p) {
    double d[3] = {s.c[0] - p.pos[0], s.c[1] - p.pos[1], s.c[2] - p.pos[2]};
    return g_contacts.early_outs && spheres_apart(d, s.radius + p.bound);
}

// Every sphere of one part against the other, when their bounding spheres overlap. A sphere
// clear of the other part's bound is passed over before the pairs are formed (the same hits in
// the same order: those pairs could not touch).
void part_pair(const Part& a, const Part& b, std::vector<SphereHit>* out) {
    double d[3] = {a.pos[0] - b.pos[0], a.pos[1] - b.pos[1], a.pos[2] - b.pos[2]};
    double reach = a.bound + b.bound;
    if (!(d[0] * d[0] + d[1] * d[1] + d[2] * d[2] < reach * reach)) return;
    if (a.tyre) {
        for (size_t t = 0; t < b.shape->spheres.size(); t++) {
            Sphere here;
            const Sphere& sb = sphere_of(b, t, &here);
            if (sphere_clear_of(sb, a)) continue;
            sphere_pair(a, tyre_sphere(a, sb.c), b, sb, out);
        }
    } else if (b.tyre) {
        for (size_t k = 0; k < a.shape->spheres.size(); k++) {
            Sphere here;
            const Sphere& sa = sphere_of(a, k, &here);
            if (sphere_clear_of(sa, b)) continue;
            sphere_pair(a, sa, b, tyre_sphere(b, sa.c), out);
        }
    } else {
        // Of b's spheres only those reaching into a's bound can touch any sphere of a: they
        // are listed once, in their order, so the hits come out as from every pair. b's
        // spheres are placed here when the part does not carry them (shapes hold a few dozen
        // at most; a larger one is placed pair by pair).
        constexpr int PLACED = 64;
        Sphere here_b[PLACED];
        int near[PLACED], near_count = 0;
        const std::vector<ShapeSphere>& bs = b.shape->spheres;
        const Sphere* placed = b.placed;
        if (!placed && bs.size() <= (size_t)PLACED) {
            for (size_t t = 0; t < bs.size(); t++) here_b[t] = part_sphere(b, bs[t]);
            placed = here_b;
        }
        const bool listed = placed && bs.size() <= (size_t)PLACED;
        if (listed)
            for (size_t t = 0; t < bs.size(); t++)
                if (!sphere_clear_of(placed[t], a)) near[near_count++] = (int)t;
        for (size_t k = 0; k < a.shape->spheres.size(); k++) {
            Sphere here;
            const Sphere& sa = sphere_of(a, k, &here);
            if (sphere_clear_of(sa, b)) continue;
            if (listed)
                for (int n = 0; n < near_count; n++) sphere_pair(a, sa, b, placed[near[n]], out);
            else
                for (size_t t = 0; t < bs.size(); t++) {
                    Sphere hb;
                    sphere_pair(a, sa, b, sphere_of(b, t, &hb), out);
                }
        }
    }
}

// Whether an object's shape at (x, y, z) lies beyond every part of the bike (its reach sphere).
bool out_of_reach(const BikeParts& parts, double x, double y, double z, const Shape* shape) {
    double d[3] = {parts.centre[0] - x, parts.centre[1] - y, parts.centre[2] - z};
    return spheres_apart(d, parts.reach + shape->radius);
}

bool front_end(int index) {
    return index == BODY_FRONT_WHEEL || index == BODY_STEERING || index == BODY_FORK_LOWER;
}

// One contact of a run: a joint, or with `forces` a push of W = depth x spring + closing speed
// x damper, within +-1000 lbf, on the enabled bodies.
void sphere_make(const SphereHit& h, bool forces) {
    const double* n = h.normal;
    const double* pos = h.pos;
    if (forces) {
        // Closing speed along the normal, so that the damper resists the approach.
        dVector3 va = {0, 0, 0}, vb = {0, 0, 0};
        if (h.body1) dBodyGetPointVel(h.body1, pos[0], pos[1], pos[2], va);
        if (h.body2) dBodyGetPointVel(h.body2, pos[0], pos[1], pos[2], vb);
        double closing = (vb[0] - va[0]) * n[0] + (vb[1] - va[1]) * n[1] + (vb[2] - va[2]) * n[2];
        double w = h.depth * h.spring + closing * h.damper;
        if (!(w > -BIKE_FORCE_LIMIT)) w = -BIKE_FORCE_LIMIT; // also NaN from bad parameters
        if (w > BIKE_FORCE_LIMIT) w = BIKE_FORCE_LIMIT;
        if (h.body1 && dBodyIsEnabled(h.body1))
            dBodyAddForceAtPos(h.body1, w * n[0], w * n[1], w * n[2], pos[0], pos[1], pos[2]);
        if (h.body2 && dBodyIsEnabled(h.body2))
            dBodyAddForceAtPos(h.body2, -w * n[0], -w * n[1], -w * n[2], pos[0], pos[1], pos[2]);
    } else if (H * h.spring + h.damper > 0) {
        // A sphere without stiffness (bad shape parameters) gives no joint.
        dContact c;
        memset(&c, 0, sizeof c);
        c.surface.mode = dContactSoftERP | dContactSoftCFM | dContactApprox1;
        c.surface.mu = friction_of(h.mu);
        double cfm = 1 / (H * h.spring + h.damper);
        c.surface.soft_cfm = cfm;
        c.surface.soft_erp = H * h.spring * cfm;
        contact_geom(&c, pos, n, h.depth);
        contact_joint(&c, h.body1, h.body2);
    }
}

// Appends the contacts found in `spheres` since `first` as one run; 1 if there were any.
int run_close(std::vector<HitRun>* runs, const std::vector<SphereHit>& spheres, int first,
              int other) {
    int count = (int)spheres.size() - first;
    if (count == 0) return 0;
    runs->push_back(HitRun{other, first, count});
    return 1;
}

} // namespace

double contact_internal::bike_reach(const Bike* bike, double centre[3]) {
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

void contact_internal::bike_parts_make(const Bike* bike, BikeParts* out) {
    double centre[3];
    double reach = bike_reach(bike, centre);
    bike_parts_make_reached(bike, out, centre, reach);
}

void contact_internal::bike_parts_make_reached(const Bike* bike, BikeParts* out,
                                               const double centre[3], double reach) {
    static const int A_PARTS[BIKE_BODY_COUNT] = {BODY_FRONT_WHEEL, BODY_REAR_WHEEL, BODY_FRAME,
                                                 BODY_STEERING,    BODY_FORK_LOWER, BODY_SWINGARM,
                                                 BODY_RIDER};
    static const int SHAPED[5] = {BODY_FRAME, BODY_STEERING, BODY_FORK_LOWER, BODY_SWINGARM,
                                  BODY_RIDER};
    // Every shaped body's part, with its spheres placed once: the pair and statue tests read
    // them many times.
    const Part* shaped[BIKE_BODY_COUNT] = {};
    int used = 0;
    out->shape_count = 0;
    for (int index : A_PARTS) {
        const Shape* shape = bike->shapes[index];
        if (!shape || !bike->bodies[index]) continue;
        Part& p = out->shapes[out->shape_count++];
        p = part_shape(bike->bodies[index], shape, index);
        size_t n = shape->spheres.size();
        if (used + n <= (size_t)PLACED_SPHERES) {
            for (size_t k = 0; k < n; k++)
                out->placed[used + k] = part_sphere(p, shape->spheres[k]);
            p.placed = out->placed + used;
            used += (int)n;
        }
        shaped[index] = &p;
    }
    out->target_count = 0;
    for (int w = 0; w < 2; w++)
        if (bike->wheels[w].body)
            out->targets[out->target_count++] =
                part_tyre(&bike->wheels[w], w == 0 ? BODY_FRONT_WHEEL : BODY_REAR_WHEEL);
    for (int index : SHAPED)
        if (shaped[index]) out->targets[out->target_count++] = *shaped[index];
    for (int k = 0; k < 3; k++) out->centre[k] = centre[k];
    out->reach = reach;
}

int contact_internal::pair_contacts_find(const BikeParts& pa, const BikeParts& pb, int other,
                                         BikeContacts* out) {
    if (!reaches_meet(pa.centre, pa.reach, pb.centre, pb.reach)) return 0;
    int first = (int)out->pair_spheres.size();
    // Each of A's shapes against each of B's tyres and body shapes.
    for (int k = 0; k < pa.shape_count; k++)
        for (int t = 0; t < pb.target_count; t++)
            part_pair(pa.shapes[k], pb.targets[t], &out->pair_spheres);
    return run_close(&out->pairs, out->pair_spheres, first, other);
}

int contact_internal::object_contacts_find(const BikeParts& parts, const Shape* shape,
                                           const double pos[3], const double rot[9], dBodyID body,
                                           int other, BikeContacts* out) {
    if (!shape || parts.target_count == 0) return 0;
    // No part can reach the object when the bike's whole reach does not.
    if (g_contacts.early_outs && out_of_reach(parts, pos[0], pos[1], pos[2], shape)) return 0;
    Part object;
    memset(&object, 0, sizeof object);
    object.body = body;
    object.shape = shape;
    object.index = -1;
    for (int i = 0; i < 9; i++) object.rot[i] = rot[i];
    for (int i = 0; i < 3; i++) object.pos[i] = pos[i];
    object.bound = shape->radius;
    int first = (int)out->spheres.size();
    for (int i = 0; i < parts.target_count; i++) part_pair(parts.targets[i], object, &out->spheres);
    return run_close(&out->statues, out->spheres, first, other);
}

void contact_internal::statue_contacts_find(const Bike* bike, BikeContacts* out) {
    const dReal* p = dBodyGetPosition(bike->bodies[BODY_FRAME]);
    // Room, once per track, for the merge of the (at most four) buckets before duplicates go.
    out->nearby.reserve(4 * g_objects.statues.size());
    statues_near_into((float)p[0], (float)p[2], &out->nearby);
    const BikeParts& parts = out->parts;
    for (int index : out->nearby) {
        const Statue* s = &g_objects.statues[index];
        // Most statues of the buckets are out of the bike's reach: the test object_contacts_find
        // starts with, made before the statue's pose is copied out.
        if (g_contacts.early_outs && s->shape && out_of_reach(parts, s->x, s->y, s->z, s->shape))
            continue;
        float pos[3], rot[9];
        statue_contact_pose(s, pos, rot);
        double dpos[3] = {pos[0], pos[1], pos[2]}, drot[9];
        for (int i = 0; i < 9; i++) drot[i] = rot[i];
        object_contacts_find(parts, s->shape, dpos, drot, nullptr, index, out);
    }
}

void contact_internal::object_contacts_make(Bike* bike, const BikeContacts& found,
                                            const HitRun& run, dBodyID object_body) {
    bool rider_hit = false;
    for (int k = run.first; k < run.first + run.count; k++) {
        const SphereHit& h = found.spheres[k];
        sphere_make(h, false);
        rider_hit |= h.part1 == BODY_RIDER;
    }
    if (!rider_hit || bike->crash_countdown > 0) return;
    // The rider crashes when it hits the object fast.
    const dReal* v = dBodyGetLinearVel(bike->bodies[BODY_RIDER]);
    double rel[3] = {v[0], v[1], v[2]};
    if (object_body) {
        const dReal* w = dBodyGetLinearVel(object_body);
        for (int i = 0; i < 3; i++) rel[i] -= w[i];
    }
    if (rel[0] * rel[0] + rel[1] * rel[1] + rel[2] * rel[2] > OBJECT_CRASH_SPEED2 &&
        g_contacts.crash)
        g_contacts.crash(bike);
}

int contact_internal::statue_contacts_make(Bike* bike, const BikeContacts& found) {
    for (const HitRun& run : found.statues) {
        object_contacts_make(bike, found, run, nullptr);
        statue_mark_contact(run.other, g_physics.clock);
    }
    return (int)found.statues.size();
}

void contact_internal::pair_contacts_make(Bike* a, Bike* b, const BikeContacts& found,
                                          const HitRun& run) {
    const int tick = g_physics.clock;
    // Joints only for a bike's first pair of the tick; more joints on the same bodies would
    // let the pairs fight each other.
    bool forces = a->last_bike_contact == tick || b->last_bike_contact == tick;
    bool first_front = false, second_front = false;
    for (int k = run.first; k < run.first + run.count; k++) {
        const SphereHit& h = found.pair_spheres[k];
        sphere_make(h, forces);
        first_front |= front_end(h.part1);
        second_front |= front_end(h.part2);
    }
    if (first_front) a->steer_authority = CONTACT_STEER_AUTHORITY;
    if (second_front) b->steer_authority = CONTACT_STEER_AUTHORITY;
    a->last_bike_contact = b->last_bike_contact = tick;
    if (g_contacts.line_disturbed) {
        g_contacts.line_disturbed(a);
        g_contacts.line_disturbed(b);
    }
}

int bike_bike_contacts(Bike* a, Bike* b) {
    if (!a || !b || a == b) return 0;
    BikeContacts& found = contact_work().direct;
    found.clear();
    BikeParts pb;
    bike_parts_make(a, &found.parts);
    bike_parts_make(b, &pb);
    if (!pair_contacts_find(found.parts, pb, -1, &found)) return 0;
    pair_contacts_make(a, b, found, found.pairs[0]);
    return 1;
}

int bike_object_contacts(Bike* bike, const Shape* shape, const float pos[3], const float rot[9],
                         dBodyID body) {
    if (!bike || !shape) return 0;
    BikeContacts& found = contact_work().direct;
    found.clear();
    bike_parts_make(bike, &found.parts);
    double dpos[3] = {pos[0], pos[1], pos[2]}, drot[9];
    for (int i = 0; i < 9; i++) drot[i] = rot[i];
    if (!object_contacts_find(found.parts, shape, dpos, drot, body, -1, &found)) return 0;
    object_contacts_make(bike, found, found.statues[0], body);
    return 1;
}

int bike_statue_contacts(Bike* bike) {
    BikeContacts& found = contact_work().direct;
    found.clear();
    bike_parts_make(bike, &found.parts);
    statue_contacts_find(bike, &found);
    return statue_contacts_make(bike, found);
}

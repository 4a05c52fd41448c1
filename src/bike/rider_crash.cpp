// The crash model: throwing the rider off, the crashed rider tied to the bars, pulling the
// rider back onto the bike, and the crashed legs.
#include <cmath>

#include "bike/bike.h"
#include "bike/rider.h"
#include "bike/bike_internal.h"
#include "bike/world.h"
#include "data/shape.h"
#include "track/terrain.h"

using namespace bike_internal;

namespace {

constexpr double EJECT_SPEED2 = 31 * 31;      // rider against frame (ft/s, squared)
constexpr double EJECT_ACCEL2 = 1893376;      // 1376 ft/s squared, squared
constexpr double CRASH_MOVING_SPEED2 = 2 * 2; // the countdown waits while the rider moves
constexpr double ROPE_KP = 5000, ROPE_KD = 500;
constexpr double LEG_MIN_HEIGHT = 0.25; // crashed feet stay this far above the ground
constexpr double FOOT_OUT = 0.5;        // a foot put down stands this far outside its peg

// The sphere centres of a shape in its body's frame: the cached original when the shape is a
// private copy (the contact code may move the copy's spheres to world positions).
const ShapeSphere* shape_spheres(const Shape* shape) {
    const Shape* source = shape->source ? shape->source : shape;
    return source->spheres.data();
}

Vec3 sphere_world(dBodyID body, const ShapeSphere& s) {
    return body_point(body, s.centre);
}

// Contacts between two body shapes, sphere by sphere, when their bounding spheres overlap.
void shape_pair_contacts(dBodyID a, const Shape* sa, dBodyID b, const Shape* sb) {
    if (!sa || !sb || sa->count <= 0 || sb->count <= 0) return;
    if (length(body_position(a) - body_position(b)) >= sa->radius + sb->radius) return;
    const ShapeSphere* pa = shape_spheres(sa);
    const ShapeSphere* pb = shape_spheres(sb);
    for (int i = 0; i < sa->count; i++) {
        Vec3 ca = sphere_world(a, pa[i]);
        for (int k = 0; k < sb->count; k++) {
            Vec3 cb = sphere_world(b, pb[k]);
            Vec3 d = ca - cb;
            double dist = length(d);
            double depth = pa[i].radius + pb[k].radius - dist;
            if (depth <= 0 || dist <= 0) continue;
            Vec3 n = d * (1 / dist); // body a is pushed away from b
            double spring = fmin(pa[i].spring, pb[k].spring);
            double damper = fmin(pa[i].damper, pb[k].damper);
            double mu = fmin(pa[i].friction, pb[k].friction);
            dContact c{};
            c.surface.mode = dContactSoftERP | dContactSoftCFM | dContactApprox1;
            c.surface.mu = mu;
            double cfm = 1 / (H * spring + damper);
            c.surface.soft_cfm = cfm;
            c.surface.soft_erp = H * spring * cfm;
            Vec3 p = ca - n * (pa[i].radius - depth / 2);
            c.geom.pos[0] = p.x, c.geom.pos[1] = p.y, c.geom.pos[2] = p.z;
            c.geom.normal[0] = n.x, c.geom.normal[1] = n.y, c.geom.normal[2] = n.z;
            c.geom.depth = depth;
            dJointID j = dJointCreateContact(g_physics.world, g_physics.contacts, &c);
            dJointAttach(j, a, b);
        }
    }
}

// The pull-home ropes, from the frame's rest point to the rider.
void rope_home(Bike* bike, float length_ft) {
    dBodyID frame = frame_of(bike), rider = bike->bodies[BODY_RIDER];
    Vec3 rest = rider_rest_local(bike);
    float at[3], centre[3] = {0, 0, 0};
    store(rest, at);
    rope(frame, at, rider, centre, length_ft);
    for (int side = -1; side <= 1; side += 2) {
        float offset[3] = {5.0f * side, 10, 0};
        store(rest + vec3(offset), at);
        rope(frame, at, rider, offset, length_ft);
    }
}

// Back on the bike: at the rest point with the frame's orientation and motion.
void rider_put_back(Bike* bike) {
    dBodyID frame = frame_of(bike), rider = bike->bodies[BODY_RIDER];
    Vec3 p = body_point(frame, rider_rest_local(bike));
    dBodySetPosition(rider, p.x, p.y, p.z);
    dBodySetRotation(rider, dBodyGetRotation(frame));
    // The mount's constraint is hard: a rider arriving with its own motion would be yanked
    // to the frame's in one step, so it takes on the frame's motion at that point.
    Vec3 v = body_point_velocity(frame, p);
    Vec3 w = body_angular(frame);
    dBodySetLinearVel(rider, v.x, v.y, v.z);
    dBodySetAngularVel(rider, w.x, w.y, w.z);
    bike_attach_rider_mount(bike);
}

// Holds a crashed leg point within reach of its hip; a point moved by a limit takes, along the
// limit's direction, the rider body's velocity at that point.
void hold_leg(Bike* bike, int side) {
    dBodyID rider = bike->bodies[BODY_RIDER];
    const RiderSkeleton& sk = bike->info.skeleton;
    Vec3 hip = body_point(rider, sk.hip[side]);
    Vec3 p = vec3(bike->crash_leg[side]);
    Vec3 vel = vec3(bike->crash_leg_velocity[side]);
    double reach = (double)sk.leg[0] + sk.leg[1];

    Vec3 d = p - hip;
    double dl = length(d);
    if (dl > reach) {
        Vec3 u = d * (1 / dl);
        p = hip + u * reach;
        Vec3 vb = body_point_velocity(rider, p);
        vel = vel - u * dot(u, vel) + u * dot(u, vb);
    }
    Vec3 down = -body_axis(rider, 1);
    double below = dot(p - hip, down);
    if (below < 1) {
        p = p + down * (1 - below);
        Vec3 vb = body_point_velocity(rider, p);
        vel = vel - down * dot(down, vel) + down * dot(down, vb);
    }
    store(p, bike->crash_leg[side]);
    store(vel, bike->crash_leg_velocity[side]);
}

} // namespace

void rope(dBodyID body1, const float point1[3], dBodyID body2, const float point2[3],
          float length_ft) {
    Vec3 p1 = body_point(body1, point1);
    Vec3 p2 = body_point(body2, point2);
    Vec3 n = p2 - p1;
    double dist = length(n);
    if (!(dist > length_ft)) return;
    // The normal keeps its length: the pull grows with the distance beyond the rope's.
    soft_contact(body1, body2, p1, n, dist - length_ft, ROPE_KP, ROPE_KD);
}

void rider_foot_points(const Bike* bike, float out[2][3]) {
    dBodyID frame = frame_of(bike);
    const RiderSkeleton& sk = bike->info.skeleton;
    for (int side = 0; side < 2; side++) {
        Vec3 peg = body_point(frame, sk.peg[side]);
        Vec3 p = peg;
        if (bike->crash_blend > 0) {
            // The foot put down: beside its peg, standing on the ground.
            Vec3 outward = body_axis(frame, 0) * (side == 0 ? -FOOT_OUT : FOOT_OUT);
            Vec3 down = peg + outward;
            down.y =
                terrain_height(physics_ground(), (float)down.x, (float)down.z) + LEG_MIN_HEIGHT;
            p = peg + (down - peg) * (double)bike->crash_blend;
        }
        store(p, out[side]);
    }
}

void rider_crash_start(Bike* bike) {
    if (bike->crash_countdown > 0) return;
    bike_detach_rider_mount(bike);
    float feet[2][3];
    rider_foot_points(bike, feet);
    for (int side = 0; side < 2; side++) {
        for (int k = 0; k < 3; k++) bike->crash_leg[side][k] = feet[side][k];
        store(body_point_velocity(bike->bodies[BODY_RIDER], vec3(feet[side])),
              bike->crash_leg_velocity[side]);
    }
    bike->crash_countdown = CRASH_TICKS;
}

void rider_eject_check(Bike* bike) {
    if (bike->crash_countdown > 0) return;
    dBodyID rider = bike->bodies[BODY_RIDER];
    Vec3 v = body_velocity(rider);
    Vec3 frame_v = body_point_velocity(frame_of(bike), body_position(rider));
    if (length2(v - frame_v) > EJECT_SPEED2) {
        rider_crash_start(bike);
        return;
    }
    // The slot of this tick still holds the velocity of four ticks ago.
    Vec3 old = vec3(bike->rider_velocity_ring[g_physics.clock & 3]);
    Vec3 accel = (v - old) * (0.25 * 128) + Vec3{0, 32, 0};
    if (length2(accel) > EJECT_ACCEL2) rider_crash_start(bike);
}

void rider_crashed_step(Bike* bike) {
    if (bike->crash_countdown <= 0) return;
    dBodyID rider = bike->bodies[BODY_RIDER], steering = bike->bodies[BODY_STEERING];
    const RiderSkeleton& sk = bike->info.skeleton;

    if (length2(body_velocity(rider)) > CRASH_MOVING_SPEED2) {
        // 1. Still tumbling: the hands hold on to the grips; the countdown waits.
        float arm = 0.875f * (sk.arm[0] + sk.arm[1]);
        for (int side = 0; side < 2; side++)
            rope(rider, sk.shoulder[side], steering, sk.grip[side], arm);
        if (bike->crash_countdown == CRASH_TICKS) {
            const float hips[3] = {0, -0.570887f, 0.670607f};
            const float bars[3] = {0, 1.145f, 10.753f};
            rope(rider, hips, steering, bars, 8);
        }
        shape_pair_contacts(rider, bike->shapes[BODY_RIDER], frame_of(bike),
                            bike->shapes[BODY_FRAME]);
        shape_pair_contacts(rider, bike->shapes[BODY_RIDER], steering, bike->shapes[BODY_STEERING]);
    } else {
        // 2. At rest: the countdown to getting back on.
        bike->crash_countdown--;
    }

    // 3. Pulled home by ropes that shorten from 5 feet to none at 128.
    if (bike->crash_countdown < CRASH_TICKS)
        rope_home(bike, 5 * (float)clampd((bike->crash_countdown - 128) / 384.0, 0, 1));

    // 4. The leg on the side the bike leans to steps up beside its peg.
    if (bike->crash_countdown <= 319) {
        int side = frame_roll(bike) >= 0 ? 0 : 1; // leaning left: the left leg
        const float* peg = sk.peg[side];
        float local[3] = {peg[0], peg[1] + 3, peg[2] + 1};
        Vec3 offset = body_point(frame_of(bike), local) - vec3(bike->crash_leg[side]);
        double d = length(offset);
        Vec3 vel = d < 1.0 / 32 ? offset * (4.0 * 32) : offset * (4 / d);
        store(vel, bike->crash_leg_velocity[side]);
    }

    // 5. Back on the bike.
    if (bike->crash_countdown <= 0) {
        bike->crash_countdown = 0;
        rider_put_back(bike);
    }
}

void crash_pose_step(Bike* bike) {
    bike->crash_blend = fmaxf(bike->crash_blend - 4.0f / 128, 0);
    if (bike->crash_countdown <= 0) return;
    for (int side = 0; side < 2; side++) {
        float* p = bike->crash_leg[side];
        float* v = bike->crash_leg_velocity[side];
        for (int k = 0; k < 3; k++) p[k] += v[k] * (float)H;
        v[1] -= 32.0f / 128;
        float ground = terrain_height(physics_ground(), p[0], p[2]) + (float)LEG_MIN_HEIGHT;
        if (p[1] < ground) {
            p[1] = ground;
            v[0] = v[1] = v[2] = 0;
        }
        for (int k = 0; k < 3; k++) v[k] *= 0.9375f;
        hold_leg(bike, side);
    }
}

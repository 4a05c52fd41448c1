// Rigid-body assembly: the seven bodies of bike and rider with their mass models, the six
// joints that hold them together, and moving, enabling and resetting them as a whole.
#include <cmath>
#include <cstring>

#include "bike/bike.h"
#include "bike/bike_internal.h"
#include "bike/step.h"
#include "bike/world.h"
#include "core/maths.h"

namespace {

constexpr int TYRE_SPHERES = 16; // the tyre's torus is modelled as a ring of spheres
// The rider mount's anchor lies this far ahead of the bike at the rider's height, so that
// turning about its second axis moves the rider almost straight up and down.
constexpr dReal RIDER_MOUNT_REACH = 50;

void vec_sub(const float a[3], const float b[3], dReal out[3]) {
    for (int i = 0; i < 3; i++) out[i] = (dReal)a[i] - (dReal)b[i];
}

// ODE wants each body's centre of mass at its origin; the symmetric sums below put it there
// up to rounding, which is removed so the parallel-axis terms stay exact.
void mass_centre(dMass* m) {
    if (m->c[0] != 0 || m->c[1] != 0 || m->c[2] != 0)
        dMassTranslate(m, -m->c[0], -m->c[1], -m->c[2]);
}

// Hub sphere plus a tyre of 16 spheres on a circle of torus_radius about the axle (x).
void wheel_mass(const WheelInfo& w, dMass* out) {
    dMassSetSphereTotal(out, w.hub_mass, w.hub_radius);
    for (int k = 0; k < TYRE_SPHERES; k++) {
        dMass s;
        dMassSetSphereTotal(&s, w.tyre_mass / TYRE_SPHERES, w.tube_radius);
        dMassTranslate(&s, 0, w.torus_radius, 0);
        dMatrix3 r;
        dRFromAxisAndAngle(r, 1, 0, 0, k * (PI / 8));
        dMassRotate(&s, r);
        dMassAdd(out, &s);
    }
    mass_centre(out);
}

// Two fork legs side by side, along the body's y axis, tilted back by the rake.
void fork_mass(const BikeInfo& b, dMass* out) {
    dReal spacing = b.fork_leg_spacing;
    dMassSetZero(out);
    for (int side = -1; side <= 1; side += 2) {
        dMass leg;
        dMassSetCylinderTotal(&leg, b.fork_mass / 2, 2, spacing / 8, b.fork_length * 2 / 3);
        dMassTranslate(&leg, side * spacing / 2, 0, 0);
        dMassAdd(out, &leg);
    }
    dReal d[3];
    vec_sub(b.fork_lower_position, b.steering_position, d);
    dMatrix3 r;
    dRFromAxisAndAngle(r, 1, 0, 0, atan(d[2] / d[1]));
    dMassRotate(out, r);
    mass_centre(out);
}

// Two arms from the pivot to the rear axle, tilted down toward the wheel.
void swingarm_mass(const BikeInfo& b, dMass* out) {
    dReal spacing = b.fork_leg_spacing;
    dReal d[3];
    vec_sub(b.rear_wheel.position, b.swingarm_pivot, d);
    dReal length = sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
    dMassSetZero(out);
    for (int side = -1; side <= 1; side += 2) {
        dMass arm;
        dMassSetBoxTotal(&arm, b.swingarm_mass, spacing / 4, spacing / 4, length);
        dMassTranslate(&arm, side * spacing / 2, 0, 0);
        dMassAdd(out, &arm);
    }
    dMatrix3 r;
    dRFromAxisAndAngle(r, 1, 0, 0, -atan(d[1] / d[2]));
    dMassRotate(out, r);
    mass_centre(out);
}

void frame_mass(const BikeInfo& b, float d, dMass* out) {
    dMassSetBoxTotal(out, b.frame_mass + (1 - d) * b.rider_mass, b.frame_size[0], b.frame_size[1],
                     b.frame_size[2]);
}

void rider_mass(const BikeInfo& b, float d, dMass* out) {
    dMassSetSphereTotal(out, d * b.rider_mass, 1);
}

void body_place(dBodyID body, const float p[3]) {
    dBodySetPosition(body, p[0], p[1], p[2]);
}

// World position of a point given in the bike's rest frame, for the frame's current pose.
void frame_point(const Bike* bike, const dReal rest[3], dVector3 out) {
    const float* fp = bike->info.frame_position;
    dReal local[3] = {rest[0] - fp[0], rest[1] - fp[1], rest[2] - fp[2]};
    dBodyGetRelPointPos(bike->bodies[BODY_FRAME], local[0], local[1], local[2], out);
}

void sum_mass(Bike* bike) {
    dReal total = 0;
    for (dBodyID body : bike->bodies) {
        dMass m;
        dBodyGetMass(body, &m);
        total += m.mass;
    }
    bike->total_mass = (float)total;
}

} // namespace

void bike_build_bodies(Bike* bike) {
    const BikeInfo& b = bike->info;
    dWorldID world = g_physics.world;

    // 1. Bodies in body order; the wheels spin fast, so they integrate rotation exactly.
    for (dBodyID& body : bike->bodies) {
        body = dBodyCreate(world);
        dBodySetData(body, bike);
    }
    dBodySetFiniteRotationMode(bike->bodies[BODY_FRONT_WHEEL], 1);
    dBodySetFiniteRotationMode(bike->bodies[BODY_REAR_WHEEL], 1);

    // 2. Positions and masses.
    const float d = 1.0f / 3.0f;
    bike->rider_distribution = d;
    dMass m;
    body_place(bike->bodies[BODY_STEERING], b.steering_position);
    fork_mass(b, &m);
    dBodySetMass(bike->bodies[BODY_STEERING], &m);
    body_place(bike->bodies[BODY_FORK_LOWER], b.fork_lower_position);
    dBodySetMass(bike->bodies[BODY_FORK_LOWER], &m);
    body_place(bike->bodies[BODY_SWINGARM], b.swingarm_position);
    swingarm_mass(b, &m);
    dBodySetMass(bike->bodies[BODY_SWINGARM], &m);
    body_place(bike->bodies[BODY_FRAME], b.frame_position);
    frame_mass(b, d, &m);
    dBodySetMass(bike->bodies[BODY_FRAME], &m);
    body_place(bike->bodies[BODY_FRONT_WHEEL], b.front_wheel.position);
    wheel_mass(b.front_wheel, &m);
    dBodySetMass(bike->bodies[BODY_FRONT_WHEEL], &m);
    body_place(bike->bodies[BODY_REAR_WHEEL], b.rear_wheel.position);
    wheel_mass(b.rear_wheel, &m);
    dBodySetMass(bike->bodies[BODY_REAR_WHEEL], &m);
    body_place(bike->bodies[BODY_RIDER], b.rider_position);
    rider_mass(b, d, &m);
    dBodySetMass(bike->bodies[BODY_RIDER], &m);

    // 3. Joints. ODE's body 1 and body 2 fix the signs of the joint angles and positions:
    // a compressed fork or swingarm reads negative, a forward-rolling wheel a positive rate.
    dReal steer_axis[3];
    vec_sub(b.steering_position, b.fork_lower_position, steer_axis);
    dJointID* j = bike->joints;

    j[JOINT_FRONT_AXLE] = dJointCreateHinge(world, 0);
    dJointAttach(j[JOINT_FRONT_AXLE], bike->bodies[BODY_FORK_LOWER],
                 bike->bodies[BODY_FRONT_WHEEL]);
    dJointSetHingeAnchor(j[JOINT_FRONT_AXLE], b.front_wheel.position[0], b.front_wheel.position[1],
                         b.front_wheel.position[2]);
    dJointSetHingeAxis(j[JOINT_FRONT_AXLE], 1, 0, 0);

    j[JOINT_REAR_AXLE] = dJointCreateHinge(world, 0);
    dJointAttach(j[JOINT_REAR_AXLE], bike->bodies[BODY_SWINGARM], bike->bodies[BODY_REAR_WHEEL]);
    dJointSetHingeAnchor(j[JOINT_REAR_AXLE], b.rear_wheel.position[0], b.rear_wheel.position[1],
                         b.rear_wheel.position[2]);
    dJointSetHingeAxis(j[JOINT_REAR_AXLE], 1, 0, 0);

    j[JOINT_STEERING_HEAD] = dJointCreateHinge(world, 0);
    dJointAttach(j[JOINT_STEERING_HEAD], bike->bodies[BODY_STEERING], bike->bodies[BODY_FRAME]);
    dJointSetHingeAnchor(j[JOINT_STEERING_HEAD], b.steering_position[0], b.steering_position[1],
                         b.steering_position[2]);
    dJointSetHingeAxis(j[JOINT_STEERING_HEAD], steer_axis[0], steer_axis[1], steer_axis[2]);
    dJointSetHingeParam(j[JOINT_STEERING_HEAD], dParamLoStop, -PI / 4);
    dJointSetHingeParam(j[JOINT_STEERING_HEAD], dParamHiStop, PI / 4);

    j[JOINT_FORK] = dJointCreateSlider(world, 0);
    dJointAttach(j[JOINT_FORK], bike->bodies[BODY_STEERING], bike->bodies[BODY_FORK_LOWER]);
    dJointSetSliderAxis(j[JOINT_FORK], steer_axis[0], steer_axis[1], steer_axis[2]);
    dJointSetSliderParam(j[JOINT_FORK], dParamBounce, 0);
    dJointSetSliderParam(j[JOINT_FORK], dParamLoStop, -b.fork_travel);
    dJointSetSliderParam(j[JOINT_FORK], dParamHiStop, 0);

    j[JOINT_SWINGARM_PIVOT] = dJointCreateHinge(world, 0);
    dJointAttach(j[JOINT_SWINGARM_PIVOT], bike->bodies[BODY_SWINGARM], bike->bodies[BODY_FRAME]);
    dJointSetHingeAnchor(j[JOINT_SWINGARM_PIVOT], b.swingarm_pivot[0], b.swingarm_pivot[1],
                         b.swingarm_pivot[2]);
    dJointSetHingeAxis(j[JOINT_SWINGARM_PIVOT], 1, 0, 0);
    dJointSetHingeParam(j[JOINT_SWINGARM_PIVOT], dParamBounce, 0);
    dJointSetHingeParam(j[JOINT_SWINGARM_PIVOT], dParamLoStop, -b.swingarm_travel);
    dJointSetHingeParam(j[JOINT_SWINGARM_PIVOT], dParamHiStop, 0);

    j[JOINT_RIDER_MOUNT] = dJointCreateHinge2(world, 0);
    bike_attach_rider_mount(bike);

    // 4. Feedback records for the joint-force correction.
    for (int i = 0; i < BIKE_JOINT_COUNT; i++) {
        memset(&bike->joint_feedback[i], 0, sizeof bike->joint_feedback[i]);
        dJointSetFeedback(j[i], ode_feedback(&bike->joint_feedback[i]));
    }

    // The wheels' contact records start out of contact.
    for (int w = 0; w < 2; w++) {
        Wheel& wheel = bike->wheels[w];
        const WheelInfo& info = w == 0 ? b.front_wheel : b.rear_wheel;
        wheel.body = bike->bodies[w == 0 ? BODY_FRONT_WHEEL : BODY_REAR_WHEEL];
        wheel.axle[0] = 1;
        wheel.axle[1] = 0;
        wheel.axle[2] = 0;
        wheel.torus_radius = info.torus_radius;
        wheel.tube_radius = info.tube_radius;
        wheel.depth = 0;
    }
    sum_mass(bike);
}

void bike_attach_rider_mount(Bike* bike) {
    dJointID mount = bike->joints[JOINT_RIDER_MOUNT];
    dJointAttach(mount, bike->bodies[BODY_RIDER], bike->bodies[BODY_FRAME]);
    // Anchor and axes follow the frame's pose, so the mount's zero lies at the rider's rest
    // point whenever it is attached again after a crash.
    dReal rest_anchor[3] = {0, bike->info.rider_position[1], -RIDER_MOUNT_REACH};
    dVector3 anchor, axis1, axis2;
    frame_point(bike, rest_anchor, anchor);
    dBodyVectorToWorld(bike->bodies[BODY_FRAME], 0, 1, 1, axis1);
    dBodyVectorToWorld(bike->bodies[BODY_FRAME], 1, 0, 0, axis2);
    dJointSetHinge2Anchor(mount, anchor[0], anchor[1], anchor[2]);
    dJointSetHinge2Axes(mount, axis1, axis2);
    dJointSetHinge2Param(mount, dParamLoStop, 0);
    dJointSetHinge2Param(mount, dParamHiStop, 0);
    dJointSetHinge2Param(mount, dParamSuspensionERP, 0);
}

void bike_detach_rider_mount(Bike* bike) {
    dJointAttach(bike->joints[JOINT_RIDER_MOUNT], 0, 0);
}

void bike_set_rider_distribution(Bike* bike, float d) {
    dMass m;
    frame_mass(bike->info, d, &m);
    dBodySetMass(bike->bodies[BODY_FRAME], &m);
    rider_mass(bike->info, d, &m);
    dBodySetMass(bike->bodies[BODY_RIDER], &m);
    bike->rider_distribution = d;
    sum_mass(bike);
}

void bike_destroy_bodies(Bike* bike) {
    for (dBodyID& body : bike->bodies) {
        if (body) dBodyDestroy(body);
        body = nullptr;
    }
    for (dJointID& joint : bike->joints) {
        if (joint) dJointDestroy(joint);
        joint = nullptr;
    }
    bike->wheels[0].body = bike->wheels[1].body = nullptr;
}

void bike_disable_bodies(Bike* bike) {
    for (dBodyID body : bike->bodies) dBodyDisable(body);
}

void bike_enable_bodies(Bike* bike) {
    for (dBodyID body : bike->bodies) dBodyEnable(body);
}

void bike_translate(Bike* bike, float dx, float dy, float dz) {
    for (dBodyID body : bike->bodies) {
        const dReal* p = dBodyGetPosition(body);
        dBodySetPosition(body, p[0] + dx, p[1] + dy, p[2] + dz);
    }
}

void bike_rotate(Bike* bike, const float axis[3], float angle) {
    dMatrix3 r;
    dRFromAxisAndAngle(r, axis[0], axis[1], axis[2], angle);
    for (dBodyID body : bike->bodies) {
        const dReal* p = dBodyGetPosition(body);
        // dMatrix3 rows are padded to four entries.
        dReal q[3];
        for (int i = 0; i < 3; i++)
            q[i] = r[4 * i] * p[0] + r[4 * i + 1] * p[1] + r[4 * i + 2] * p[2];
        dBodySetRotation(body, r);
        dBodySetPosition(body, q[0], q[1], q[2]);
    }
}

void bike_reset(Bike* bike) {
    const BikeInfo& b = bike->info;
    // 1. Catalogue positions, upright and at rest.
    const struct {
        int body;
        const float* position;
    } places[] = {
        {BODY_STEERING, b.steering_position},       {BODY_FORK_LOWER, b.fork_lower_position},
        {BODY_SWINGARM, b.swingarm_position},       {BODY_FRAME, b.frame_position},
        {BODY_FRONT_WHEEL, b.front_wheel.position}, {BODY_REAR_WHEEL, b.rear_wheel.position}};
    dMatrix3 identity;
    dRSetIdentity(identity);
    for (const auto& place : places) {
        dBodyID body = bike->bodies[place.body];
        body_place(body, place.position);
        dBodySetRotation(body, identity);
        dBodySetLinearVel(body, 0, 0, 0);
        dBodySetAngularVel(body, 0, 0, 0);
        dBodySetForce(body, 0, 0, 0);
        dBodySetTorque(body, 0, 0, 0);
    }

    // 2. Drive, controls and crash.
    bike->gear = 0;
    bike->last_shift = 0;
    bike->throttle = bike->clutch = bike->front_brake = bike->rear_brake = 0;
    bike->steer = bike->dab = bike->back_up = bike->lean = 0;
    bike->crash_blend = 0;
    bike->clutch_wind = 0;
    bike->engine_speed = 0;
    bike->crash_countdown = 0;
    memset(bike->crash_leg, 0, sizeof bike->crash_leg);
    memset(bike->crash_leg_velocity, 0, sizeof bike->crash_leg_velocity);
    bike->last_bike_contact = -1;
    bike->landing_damping = 1;
    bike->steer_authority = 1000;
    memset(bike->rider_velocity_ring, 0, sizeof bike->rider_velocity_ring);
    for (Wheel& wheel : bike->wheels) wheel.depth = 0;

    // 3. The rider at the frame's rest point with the frame's rotation, back on its mount.
    dBodyID rider = bike->bodies[BODY_RIDER];
    dReal rider_rest[3] = {b.rider_position[0], b.rider_position[1], b.rider_position[2]};
    dVector3 p;
    frame_point(bike, rider_rest, p);
    dBodySetPosition(rider, p[0], p[1], p[2]);
    dBodySetRotation(rider, dBodyGetRotation(bike->bodies[BODY_FRAME]));
    dBodySetLinearVel(rider, 0, 0, 0);
    dBodySetAngularVel(rider, 0, 0, 0);
    dBodySetForce(rider, 0, 0, 0);
    dBodySetTorque(rider, 0, 0, 0);
    bike_attach_rider_mount(bike);

    // 4. Rest positions; no joint force carried over from before.
    for (int i = 0; i < BIKE_BODY_COUNT; i++) {
        const dReal* q = dBodyGetPosition(bike->bodies[i]);
        for (int k = 0; k < 3; k++) bike->rest_positions[i][k] = (float)q[k];
    }
    bike->rest_from_snapshot = 0;
    memset(bike->joint_feedback, 0, sizeof bike->joint_feedback);
    // The suspension motors as the bike step leaves them at rest, so the first world step
    // already sees them.
    bike_suspension_step(bike);
}

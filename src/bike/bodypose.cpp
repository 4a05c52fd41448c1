// Reading where a bike's bodies are, for drawing, cameras, snapshots and the race.
#include "bike/bodypose.h"

#include <ode/ode.h>

#include <cmath>

#include "bike/bike.h"

void bike_body_pose(const Bike* bike, int body, float pos[3], float rot[9]) {
    dBodyID b = bike->bodies[body];
    const dReal* p = dBodyGetPosition(b);
    const dReal* r = dBodyGetRotation(b); // 3 x 4, row-major
    for (int i = 0; i < 3; i++) {
        pos[i] = (float)p[i];
        for (int j = 0; j < 3; j++) rot[i * 3 + j] = (float)r[i * 4 + j];
    }
}

void bike_body_velocity(const Bike* bike, int body, float vel[3]) {
    const dReal* v = dBodyGetLinearVel(bike->bodies[body]);
    for (int i = 0; i < 3; i++) vel[i] = (float)v[i];
}

void bike_body_angular_velocity(const Bike* bike, int body, float out[3]) {
    const dReal* w = dBodyGetAngularVel(bike->bodies[body]);
    for (int i = 0; i < 3; i++) out[i] = (float)w[i];
}

void bike_frame_position(const Bike* bike, float out[3]) {
    const dReal* p = dBodyGetPosition(bike->bodies[BODY_FRAME]);
    for (int i = 0; i < 3; i++) out[i] = (float)p[i];
}

float bike_frame_speed(const Bike* bike) {
    const dReal* v = dBodyGetLinearVel(bike->bodies[BODY_FRAME]);
    return (float)std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
}

double bike_steer_angle(const Bike* bike) {
    return dJointGetHingeAngle(bike->joints[JOINT_STEERING_HEAD]);
}

void bike_joint_state(const Bike* bike, BikeJointState* out) {
    const dReal* p = dBodyGetPosition(bike->bodies[BODY_FRAME]);
    const dReal* q = dBodyGetQuaternion(bike->bodies[BODY_FRAME]);
    const dReal* rp = dBodyGetPosition(bike->bodies[BODY_RIDER]);
    const dReal* rq = dBodyGetQuaternion(bike->bodies[BODY_RIDER]);
    for (int k = 0; k < 3; k++) {
        out->frame_position[k] = p[k];
        out->rider_position[k] = rp[k];
    }
    for (int k = 0; k < 4; k++) {
        out->frame_quaternion[k] = q[k];
        out->rider_quaternion[k] = rq[k];
    }
    out->steer_angle = bike_steer_angle(bike);
    out->swingarm_angle = dJointGetHingeAngle(bike->joints[JOINT_SWINGARM_PIVOT]);
    out->fork_position = dJointGetSliderPosition(bike->joints[JOINT_FORK]);
    out->wheel_angle[0] = dJointGetHingeAngle(bike->joints[JOINT_FRONT_AXLE]);
    out->wheel_angle[1] = dJointGetHingeAngle(bike->joints[JOINT_REAR_AXLE]);
}

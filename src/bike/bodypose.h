// Where a bike's bodies are, for drawing, the cameras, snapshots and the race: positions,
// rotations, velocities and joint positions read from the physics without handing ODE types
// to anyone.
#pragma once

struct Bike;

// Position (feet) and rotation of one body (0..6, BikeBody order). The rotation is 3 x 3
// row-major with world = rot x local + pos, so its columns are the body's axes in the world.
void bike_body_pose(const Bike* bike, int body, float pos[3], float rot[9]);
// Linear velocity of one body's centre (feet per second).
void bike_body_velocity(const Bike* bike, int body, float vel[3]);
// Angular velocity of one body (radians per second about world axes).
void bike_body_angular_velocity(const Bike* bike, int body, float out[3]);
// Frame position (feet) and frame speed (feet per second).
void bike_frame_position(const Bike* bike, float out[3]);
float bike_frame_speed(const Bike* bike);

// What a state snapshot records of the bodies and joints, read in double precision: frame and
// rider positions (feet) and quaternions (w, x, y, z), the steering, swingarm and axle hinge
// angles (radians) and the fork slider's position (feet).
struct BikeJointState {
    double frame_position[3], frame_quaternion[4];
    double rider_position[3], rider_quaternion[4];
    double steer_angle, swingarm_angle, fork_position;
    double wheel_angle[2]; // front, rear
};
void bike_joint_state(const Bike* bike, BikeJointState* out);
// The bars' angle alone (BikeJointState's steer_angle), for a reader that needs no more.
double bike_steer_angle(const Bike* bike);

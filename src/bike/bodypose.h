// Where a bike's bodies are, for drawing and the cameras: positions, rotations and velocities
// read from the physics without handing ODE types to the renderer.
#pragma once

struct Bike;

// Position (feet) and rotation of one body (0..6, BikeBody order). The rotation is 3 x 3
// row-major with world = rot x local + pos, so its columns are the body's axes in the world.
void bike_body_pose(const Bike* bike, int body, float pos[3], float rot[9]);
// Linear velocity of one body's centre (feet per second).
void bike_body_velocity(const Bike* bike, int body, float vel[3]);

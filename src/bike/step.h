// The bike step: once per tick of 1/128 s, after the contacts and the world step, it turns
// the rider's controls and the bike's state into motor settings, temporary joints and forces
// for the next world step. Also: the control setters, the suspension forces, placing
// snapshot-driven bikes, and the derived speed.
//
// Order of one tick as far as the bikes are concerned (the race session owns the loop):
// snapshot-driven bikes placed or extrapolated; contacts of the simulated bikes; for each
// snapshot-driven bike bike_pre_world_step; dWorldStep; dJointGroupEmpty; for each
// snapshot-driven bike bike_post_world_step; then bike_step for every bike in slot order.
#pragma once

#include <cstdint>

struct Bike;

// One tick of the bike's own mechanics, in fifteen steps (walking and holding, rider
// springs, suspension, balance and steering, drive train, steering damping, joint-force
// correction, dab assist, crash handling). With simulate false (a bike placed from
// snapshots) only the bodies' accumulated forces and torques are cleared. A bike whose state
// is no longer finite is reset where it stands (logged) before it can reach the world step.
void bike_step(Bike* bike, int simulate);

// Fork force (pound-force, positive extends) at slider position x (0 extended .. -fork_travel
// compressed, feet) and rate r (ft/s), from the setup's spring, preload, oil and damping.
float bike_fork_force(const Bike* bike, float x, float r);
// Shock torque (foot pound-force, positive extends) at swingarm angle a (0 extended ..
// -swingarm_travel, radians) and rate w (rad/s).
float bike_shock_torque(const Bike* bike, float a, float w);
// Steps 6 and 7: the fork and shock forces of the current suspension state into the fork
// slider's and swingarm hinge's motors.
void bike_suspension_step(Bike* bike);
// Step 11: cancels the net force and torque that the six joints left on the assembly in the
// last world step. Adds nothing while the rider mount is detached (a crash), while crashed,
// or on the session's first tick.
void bike_joint_force_correction(Bike* bike);

// Snapshot-driven bikes around the world step: keeps their velocities (with near-still
// bodies held still during the step) and gives them back afterwards.
void bike_pre_world_step(Bike* bike);
void bike_post_world_step(Bike* bike);
// Moves a snapshot-driven bike `ticks` (at most 64) ticks along its frame velocity from its
// last placed position, lifted out of the ground under its rear wheel.
void bike_extrapolate(Bike* bike, int ticks);

// Forward speed in miles per hour (negative rolling backwards).
float bike_speed_mph(const Bike* bike);
// The frame's pose for the cameras: `local` (a point in the frame's body coordinates) in world
// coordinates, the frame's rotation (3 x 3, row by row) and its linear velocity (ft/s).
void bike_frame_pose(const Bike* bike, const float local[3], float point[3], float rotation[9],
                     float velocity[3]);

// 1 when every body's position, orientation, velocities and accumulated force and torque are
// finite. Otherwise resets the bike at its frame's last finite place, logs it and returns 0.
int bike_check_finite(Bike* bike);

// The point of the course the rider heads for (world feet), or null for none: the dab assist
// turns a stopped, leaning bike toward it on the spot.
void bike_set_course_point(Bike* bike, const float point[3]);

// Holds a bike at the gate (a false start's penalty): both brakes, no throttle or back-up,
// clutch out and the foot down, for this tick.
void bike_hold(Bike* bike);

// Control setters: each clamps to its range (a NaN counts as 0); throttle, dab, back-up and
// lean store 0 while the rider is off the bike.
void bike_set_throttle(Bike* bike, float v);    // 0..1
void bike_set_clutch(Bike* bike, float v);      // 0..1, 1 = engaged
void bike_set_front_brake(Bike* bike, float v); // 0..1
void bike_set_rear_brake(Bike* bike, float v);  // 0..1
void bike_set_steer(Bike* bike, float v);       // -1..1, positive turns right
void bike_set_dab(Bike* bike, float v);         // 0..1
void bike_set_back_up(Bike* bike, float v);     // 0..1
void bike_set_lean(Bike* bike, float v);        // -1..1, positive toward the rear

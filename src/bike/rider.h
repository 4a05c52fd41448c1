// The rider and the control assists: the springs that hold the rider on the seat, balance
// and steering (normal riding with its assists, or arcade), steering damping, walking the
// bike backwards and holding it when slow, the dab assist, and the crash model (ejection,
// the crashed rider's ropes and recovery, the crashed legs). Each operation is one step of
// bike_step (step.h) and acts for the coming world step through forces and temporary joints
// in g_physics.contacts.
#pragma once

struct Bike;
struct dxBody;

constexpr int CRASH_TICKS = 512; // a crash lasts 4 s once the rider has come to rest
constexpr float WALK_SPEED = 15; // ft/s
constexpr float STOP_SPEED = 5;  // ft/s

// Roll angle of the frame (radians): 0 upright, positive leaning to the bike's left (-x).
float bike_roll(const Bike* bike);

// Adds torque t (foot pound-force) about the steering axis to the front wheel and its
// negative to the frame; positive turns the bars to the rider's left.
void apply_steering_torque(Bike* bike, float t);
// Pushes a body horizontally toward velocity `target` (ft/s) with up to `strength` pound-force;
// nothing within 1/4 ft/s of the target.
void push_toward_velocity(dxBody* body, float strength, const float target[3]);
// A rope of `length` feet between a point of body 1 and a point of body 2 (body frames): a
// temporary soft contact that pulls the points together when they are farther apart.
void rope(dxBody* body1, const float point1[3], dxBody* body2, const float point2[3], float length);

// Step 2: throws the rider off when its velocity departs from the frame's by more than
// 31 ft/s, or its acceleration over the last four ticks exceeds 1376 ft/s squared.
void rider_eject_check(Bike* bike);
// Starts a crash: detaches the rider mount, takes the crashed-leg points from the rider's
// pose and sets the countdown to 512. Also called by the contact code. Nothing while crashed.
void rider_crash_start(Bike* bike);
// The two foot points (world, feet) of the rider's current pose: the pegs, blended toward
// the foot-down positions by crash_blend.
void rider_foot_points(const Bike* bike, float out[2][3]);
// Step 3, while crashed: ropes to the bars while the rider moves, the countdown once at rest,
// the ropes that pull the rider home, and putting the rider back on at 0.
void rider_crashed_step(Bike* bike);
// Step 4: walking the bike backwards, or the automatic dab and hold when slow. May change
// dab and the brakes for this tick only (bike_step restores them).
void rider_walk_and_hold(Bike* bike);
// Step 5: the two rider springs and the rider mount's suspension softness.
void rider_springs(Bike* bike);
// Step 8, while riding: arcade roll control or the normal steering assists.
void bike_balance_and_steer(Bike* bike);
// Step 10: damps the front wheel's turning about every axis but its axle; reaction on frame.
void steering_damping_step(Bike* bike);
// Step 12: the foot put down at low speed, and turning on the spot.
void dab_assist(Bike* bike);
// Step 14: crash_blend decay and the crashed legs' motion.
void crash_pose_step(Bike* bike);

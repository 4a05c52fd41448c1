// The engine, clutch, gearbox and brakes of a bike. The engine is one rotational degree of
// freedom integrated here (not a rigid body); it drives the rear wheel through a friction
// clutch modelled as a stiff torsional spring that slips beyond its wind-up limit, and its
// reaction acts on the frame. The brakes are the axle hinges' motors with target speed 0.
#pragma once

#include "core/constants.h"

struct Bike;
struct BikeInfo;

constexpr float RPM_PER_RAD_PER_SECOND = (float)RPM_PER_RADIAN_PER_SECOND;

// Engine torque (foot pound-force) at an engine speed in rpm and throttle 0..1: the table
// entry of the nearest 500 rpm step (no interpolation), blended from closed to open throttle.
float bike_engine_torque(const BikeInfo* info, float rpm, float throttle);
// Engine turns per rear-wheel turn in the current gear (gear ratio x primary x final ratio).
float bike_drive_ratio(const Bike* bike);
// One tick of automatic shifting, engine, clutch and brakes: sets the axle brake motors and
// adds the drive torque to the rear wheel and its reaction to the frame. Reads the wheel
// contacts made at the start of the tick.
void bike_drive_step(Bike* bike);
// A shift input (-1, 0 or +1): changes one gear on each new non-zero input, never into a gear
// the box does not have; ignored while the rider is off the bike.
void bike_shift(Bike* bike, int direction);
// Engine speed in rpm.
float bike_rpm(const Bike* bike);
// The automatic shifting's judgement of the moment: +1 when the engine speed the rear wheel's
// spin gives in the current gear is above shift_up_rpm, -1 when below shift_down_rpm, 0
// otherwise and whenever the rear suspension carries no load or the rear tyre slides. (The
// wheel's spin, not the road speed: it includes the tyre's slip on loose ground.)
int bike_shift_wanted(const Bike* bike);

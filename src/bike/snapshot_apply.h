// Placing a bike from the decoded fields of a state snapshot (demo playback, ghosts, remote
// riders). The record format and its decoding are the replay module's (replay/snapshot.h).
#pragma once

struct Bike;

// The physical values of one snapshot record, as decoded by snapshot_decode.
struct SnapshotFields {
    int version;                // 4 or 5
    float position[3];          // frame position, world feet
    float orientation[4];       // frame quaternion (w, x, y, z), normalised; identity when
                                // the coded components have no length
    float steer_angle;          // steering hinge, radians -pi/4..pi/4
    float swingarm_angle;       // swingarm hinge, radians -swingarm_travel..0
    float fork_position;        // fork slider, feet -fork_travel..0
    float rider_offset[3];      // version 5: rider body minus frame position, world feet;
                                // version 4: 0
    float rider_orientation[4]; // version 5: rider quaternion (w, x, y, z), as orientation;
                                // version 4: the frame's
    float rider_fraction;       // version 4: 0..1 along the rider line (frame's orientation)
    float wheel_angle[2];       // front, rear axle hinge angles, radians -pi..pi
    int crashed;                // 1 when the drive byte's gear code is 7
    int crash_countdown;        // ticks: 0 when riding, else 1..128
    int gear;                   // riding: 0..5, lowered past gears the bike does not have;
                                // crashed: -1 (the bike keeps its gear)
    float throttle;             // 0..1 (0 while crashed)
    // 1 when crash_blend is to be raised once for this record, min(1, blend + 8/128):
    // crashed, or riding with the foot-down bit.
    int raise_blend;
    float engine_speed; // crankshaft, rad/s
};

// Places a bike from decoded snapshot fields: bodies, drive and crash state; with ticks > 0
// (ticks since the previous applied record) and a running clock, velocities from the motion
// since that record.
void bike_apply_snapshot(Bike* bike, const SnapshotFields* fields, int ticks);

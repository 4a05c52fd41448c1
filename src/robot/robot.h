// Robot riders: the driving controller and the line memory it learns from, joined to the race
// session through its robot hooks (race/hooks.h) and to the bike contacts through their
// line-disturbed hook (bike/contact.h).
//
// The line memory holds, per segment of the track's lap (the stretch between two segment
// gates), up to 45 lines recorded from the player's laps, with how robots fared on them. It
// belongs to the loaded track and the robot skill, and lives in the per-user line file
// "<track>/lines_novice", "lines_amateur" or "lines_expert".
#pragma once

struct RaceRobotHooks;

// The hooks that let the race session drive robots and record lines (for
// race_set_robot_hooks).
const RaceRobotHooks* robot_race_hooks();
// Installs the race hooks and the bike-contact hook (start-up, tests, tools).
void robot_install();
// Writes the learned lines of the loaded track and skill back to the per-user line file, unless
// "--nolearn" was given (program exit). 1 when written.
int robot_lines_save();
// Forgets every line, path and per-rider state (tests).
void robot_module_reset();

// Name of the line file of a skill index (0 "lines_novice", 1 "lines_amateur", 2
// "lines_expert"; other indices are Novice).
const char* robot_skill_file(int skill);

// A teacher: drives a slot's bike along the track's gate sequence (the centre line through
// the gate centres) at `pace` (0..1) of the speed the ground allows, with the robots' own
// controller. Call once per tick before the session tick, for a rider the robots do not drive
// (the local player's slot), so that its laps teach lines.
void robot_teacher_drive(int slot, float pace);

// How a rider's laps left the ground, counted tick by tick: airborne stretches (neither wheel
// touching) of at least half a second, the longest one, and crashes (the rider falling).
struct RideAirtime {
    static constexpr int LAPS = 8;
    int stretches[LAPS] = {}; // per lap (index 0 the first lap; later laps count in the last)
    int crashes[LAPS] = {};
    float longest = 0;        // seconds
    int run = 0;              // ticks of the airborne stretch going on
    int was_crashed = 0;
};
// Counts one tick of a slot's rider (call after each session tick).
void robot_airtime_tick(int slot, RideAirtime* air);

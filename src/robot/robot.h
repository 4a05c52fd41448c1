// Robot riders: the driving controller and the line memory it learns from, joined to the race
// session through its robot hooks (race/hooks.h).
#pragma once

struct RaceRobotHooks;

// The hooks that let the race session drive robots and record lines (for
// race_set_robot_hooks).
const RaceRobotHooks* robot_race_hooks();

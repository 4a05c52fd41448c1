// Robot riders. Until a controller drives them, robots hold still at the gate: the hooks are
// empty.
#include "robot/robot.h"

#include "race/hooks.h"

const RaceRobotHooks* robot_race_hooks() {
    static const RaceRobotHooks hooks;
    return &hooks;
}

#include "race/hooks.h"

namespace {

struct HookState {
    RaceRobotHooks robot;
    RaceNetHooks net;
};
HookState g_hooks;

} // namespace

void race_set_robot_hooks(const RaceRobotHooks* hooks) {
    g_hooks.robot = hooks ? *hooks : RaceRobotHooks{};
}

void race_set_net_hooks(const RaceNetHooks* hooks) {
    g_hooks.net = hooks ? *hooks : RaceNetHooks{};
}

const RaceRobotHooks& race_robot_hooks() {
    return g_hooks.robot;
}

const RaceNetHooks& race_net_hooks() {
    return g_hooks.net;
}

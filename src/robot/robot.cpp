// Robot riders joined to the race: the hooks the session calls, the module's state and its
// lifecycle (saved at a session change and at exit, loaded, thinned and analysed at a start).
#include "robot/robot.h"

#include "bike/bike.h"
#include "bike/contact.h"
#include "core/settings.h"
#include "platform/random.h"
#include "race/hooks.h"
#include "race/session.h"
#include "robot/robot_internal.h"
#include "track/track.h"

RobotState g_robots;

namespace {

const char* const SKILL_FILES[3] = {"lines_novice", "lines_amateur", "lines_expert"};

void hook_set_personality(int slot, const char* name) {
    if (slot < 0 || slot >= MAX_RIDERS) return;
    g_robots.robots[slot].personality = robot_personality_find(name);
}

// Session start step 3: the learned lines of the old track are written and the memory freed.
void hook_lines_save() {
    robot_lines_save();
    RobotState& g = g_robots;
    g.loaded = 0;
    g.file.clear();
    g.sets.clear();
    for (auto& plan : g.plans) plan.clear();
}

// Session start step 8: the new track's memory, loaded for the skill, thinned and analysed.
void hook_lines_load(int skill) {
    RobotState& g = g_robots;
    line_memory_build();
    line_memory_empty();
    g.loaded = 0;
    g.file.clear();
    if (g.sets.empty() || g_session.track_name.empty()) return;
    g.file = "@" + g_session.track_name + "/" + robot_skill_file(skill);
    g.loaded = 1;
    line_memory_load(g.file.c_str());
    line_memory_thin();
    line_memory_analyse();
}

// Session start step 11: every rider's recording and driving state; robots draw their launch.
void hook_lines_reset() {
    for (int s = 0; s < MAX_RIDERS; s++) {
        const RiderSlot& r = g_session.slots[s];
        bool robot = r.bike && r.kind == RIDER_ROBOT;
        if (!robot) g_robots.robots[s].personality = 0;
        line_rider_reset(s);
        robot_rider_reset(s);
        if (robot) g_robots.robots[s].launch_value = (float)(2 * random_unit());
    }
}

void hook_rider_placed(int slot) {
    if (slot < 0 || slot >= MAX_RIDERS) return;
    line_rider_reset(slot);
    robot_rider_reset(slot);
}

void hook_line_stopped(int slot) {
    line_memory_stopped(slot);
}

void contact_disturbed(Bike* bike) {
    if (bike) line_memory_disturbed(bike->tag - 1);
}

RaceRobotHooks make_hooks() {
    RaceRobotHooks h;
    h.drive = robot_drive;
    h.set_personality = hook_set_personality;
    h.line_tick = line_memory_tick;
    h.line_stopped = hook_line_stopped;
    h.lines_save = hook_lines_save;
    h.lines_load = hook_lines_load;
    h.lines_reset = hook_lines_reset;
    h.rider_placed = hook_rider_placed;
    return h;
}

} // namespace

void robots_reset() {
    g_robots = RobotState{};
}

void robot_module_reset() {
    robots_reset();
}

const char* robot_skill_file(int skill) {
    return SKILL_FILES[skill >= 0 && skill < 3 ? skill : 0];
}

const RaceRobotHooks* robot_race_hooks() {
    static const RaceRobotHooks hooks = make_hooks();
    return &hooks;
}

void robot_install() {
    race_set_robot_hooks(robot_race_hooks());
    g_contacts.line_disturbed = contact_disturbed;
}

int robot_lines_save() {
    return line_memory_save();
}

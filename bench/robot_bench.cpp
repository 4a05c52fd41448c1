// A race tick with robots: 40 robots race on the generated "rabbithill" from the start gate
// with its shipped Amateur lines, as the headless game runs it (session tick: contacts on T
// threads, roost, world step, robots, bike steps, progress, line memory), BM_RobotRaceTicks/40/T.
// One iteration is one session tick: its wall time, the wall time of ODE's world step inside
// it and their ratio, the contact generation's wall time, and the robot module's own share
// (driving controller and line memory, timed inside its hooks).
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <ctime>
#include <string>

#include "bike/world.h"
#include "core/config.h"
#include "core/settings.h"
#include "data/datafile.h"
#include "platform/log.h"
#include "platform/workers.h"
#include "race/hooks.h"
#include "race/session.h"
#include "robot/robot.h"
#include "track/track.h"
#include "track/tracklist.h"

namespace {

constexpr int TICKS_PER_SECOND = 128;
// After 40 s of racing the field is sent back to the gate, so each stretch measured is a race.
constexpr int RACE_TICKS = 40 * TICKS_PER_SECOND;

double g_robot_seconds = 0;
RaceRobotHooks g_robot; // the robot module's own hooks, called by the timed ones

// The monotonic clock, read in user space (about 25 ns here): the thread's CPU clock is a
// system call (about 1.3 us under this machine's virtualisation), and read twice in each of
// the 80 hook calls of a tick it cost more than the robots it timed (they showed as 12% of the
// tick, 176 us, of which about 100 us was the clock).
double now_seconds() {
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (double)t.tv_sec + 1e-9 * (double)t.tv_nsec;
}

void timed_drive(int slot) {
    double t = now_seconds();
    g_robot.drive(slot);
    g_robot_seconds += now_seconds() - t;
}

void timed_line_tick(int slot, const GateSearch* found) {
    double t = now_seconds();
    g_robot.line_tick(slot, found);
    g_robot_seconds += now_seconds() - t;
}

bool start_race(int robots) {
    int table[MAX_RIDERS] = {};
    for (int s = 0; s < robots; s++) table[s] = RIDER_CODE_ROBOT;
    return session_start(table, 0, 0, 0, 20, 1) != 0;
}

void BM_RobotRaceTicks(benchmark::State& state) {
    const int robots = (int)state.range(0);
    workers_start((int)state.range(1));
    setenv("QZ_HOME", VORNIX_BENCH_DATA, 1);
    char home[] = "/tmp/vornix-bench-XXXXXX";
    if (!mkdtemp(home)) abort();
    setenv("HOME", home, 1);
    setenv("XDG_DATA_HOME", home, 1);
    log_setup("DRUV_LOGFILE=/dev/null");
    g_settings.headless = 1;
    g_settings.nolearn = 1; // nothing written
    config_defaults();
    data_reset();
    if (tracklist_build() == 0 || tracklist_find("rabbithill") < 0) {
        state.SkipWithError("rabbithill not found; generate the data first");
        return;
    }
    tracklist_select(tracklist_find("rabbithill"));
    physics_open();
    robot_install();
    g_robot = *robot_race_hooks();
    RaceRobotHooks timed = g_robot;
    timed.drive = timed_drive;
    timed.line_tick = timed_line_tick;
    race_set_robot_hooks(&timed);
    if (!start_race(robots)) {
        state.SkipWithError("the race did not start");
        return;
    }
    g_robot_seconds = 0;
    double total = 0, step = 0, contacts = 0;
    long ticks = 0;
    int tick = 0;
    for (auto _ : state) {
        if (tick == RACE_TICKS) {
            state.PauseTiming();
            start_race(robots);
            tick = 0;
            state.ResumeTiming();
        }
        double s0 = g_physics.step_seconds, c0 = g_physics.contacts_seconds, t = now_seconds();
        session_tick();
        total += now_seconds() - t;
        step += g_physics.step_seconds - s0;
        contacts += g_physics.contacts_seconds - c0;
        tick++;
        ticks++;
    }
    state.counters["sim_s_per_wall_s"] =
        benchmark::Counter((double)ticks / TICKS_PER_SECOND, benchmark::Counter::kIsRate);
    state.counters["tick_us"] = ticks ? 1e6 * total / (double)ticks : 0;
    state.counters["step_us"] = ticks ? 1e6 * step / (double)ticks : 0;
    state.counters["tick_over_step"] = step > 0 ? total / step : 0;
    state.counters["contacts_us"] = ticks ? 1e6 * contacts / (double)ticks : 0;
    state.counters["robot_share_pct"] = total > 0 ? 100.0 * g_robot_seconds / total : 0;
    state.counters["robot_us_per_tick"] = ticks ? 1e6 * g_robot_seconds / (double)ticks : 0;

    int none[MAX_RIDERS] = {};
    session_start(none, 0, 0, 0, 1, 0);
    session_free_riders();
    if (g_track.loaded) track_free();
    physics_close_contacts();
    physics_close_world();
    race_set_robot_hooks(nullptr);
    g_settings = Settings{};
    workers_stop();
    std::string cleanup = std::string("rm -rf '") + home + "'";
    if (system(cleanup.c_str()) != 0) return;
}
// Iterations fixed so each run rides the same race: the start, the gate drop and the first turns.
// Arguments: robots, contact threads.
BENCHMARK(BM_RobotRaceTicks)
    ->Args({40, 1})
    ->Args({40, 2})
    ->Iterations(RACE_TICKS)
    ->Unit(benchmark::kMicrosecond);

} // namespace

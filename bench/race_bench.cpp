// The game's own race tick on the generated "rabbithill", and the whole program.
//
// BM_RaceTick/T: session_tick of a two-lap race of 40 riders on T contact threads, with
// everything the tick does (contacts, roost, the world step, the bike steps, gates and laps,
// particles, the start-gate bars). Until robots drive themselves the riders are robots driven
// by a script here: throttle, the bars steered toward the next gate of the course, the gates
// dropping after 3/4 s; the race starts again every 12 s (outside the timing). Counters, all
// measured in the same run: tick_ms (wall time of a tick), step_ms (wall time of ODE's world
// step inside it, bike/world.h), tick_over_step (their ratio: what the game adds to the
// solver), tick_cpu_ms (CPU time of the whole process per tick: every thread's work).
//
// BM_GameHeadless: the real program, "vornix --headless --race --fast --quit-after 60" with 40
// robots racing from the gate on their shipped lines (config slot00..slot39), as simulated
// seconds per wall second (loading included).
//
// BM_GamePacedCpu: "vornix --headless --time-trial --quit-after 10" at real-time pacing with
// one rider: the share of one core the whole process uses (user + system CPU over wall time).
#include <benchmark/benchmark.h>

#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "bike/bike.h"
#include "bike/bodypose.h"
#include "bike/contact.h"
#include "bike/step.h"
#include "bike/world.h"
#include "core/settings.h"
#include "data/datafile.h"
#include "data/model.h"
#include "data/shape.h"
#include "data/texture.h"
#include "platform/log.h"
#include "platform/workers.h"
#include "race/hooks.h"
#include "race/results.h"
#include "race/session.h"
#include "race/session_internal.h" // the start tick, set early so the race gets going
#include "replay/demo.h"
#include "track/track.h"
#include "track/tracklist.h"

extern char** environ;

namespace {

constexpr int TICKS_PER_SECOND = 128;
constexpr int RIDE_TICKS = 12 * TICKS_PER_SECOND;
constexpr int GATE_DROP = 96;

double process_cpu_seconds() {
    timespec t;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return (double)t.tv_sec + (double)t.tv_nsec * 1e-9;
}

double wall_seconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Throttle, and the bars toward the rider's course point (the next gate): the angle to it
// off the bike's heading, a full turn of the bars at 45 degrees and beyond.
void scripted_drive(int slot) {
    Bike* b = g_session.slots[slot].bike;
    bike_set_clutch(b, 1);
    bike_set_throttle(b, 0.55f + 0.05f * (float)(slot % 5));
    if (!b->course_point_valid) return;
    float pos[3], rot[9];
    bike_body_pose(b, 0 /* frame */, pos, rot);
    float fx = -rot[2], fz = -rot[8]; // the bike faces its -z axis
    float rx = rot[0], rz = rot[6];   // its right
    float dx = b->course_point[0] - pos[0], dz = b->course_point[2] - pos[2];
    float angle = std::atan2(dx * rx + dz * rz, dx * fx + dz * fz);
    float steer = angle / 0.785f;
    bike_set_steer(b, steer > 1 ? 1 : (steer < -1 ? -1 : steer));
}

// A race of 40 robots on rabbithill with the gates dropping early; false when it fails.
bool race_start() {
    int table[MAX_RIDERS];
    for (int& code : table) code = RIDER_CODE_ROBOT;
    if (!session_start(table, 0, 0, 0, 2, 0)) return false;
    g_session_data.start_tick = GATE_DROP;
    return true;
}

bool race_open(benchmark::State& state) {
    setenv("QZ_HOME", VORNIX_BENCH_DATA, 1);
    log_setup("DRUV_LOGFILE=/dev/null");
    g_settings.headless = 1;
    data_reset();
    bikes_reset();
    contacts_reset();
    if (tracklist_build() <= 0 || tracklist_find("rabbithill") < 0) {
        state.SkipWithError("rabbithill not found; generate the data first");
        return false;
    }
    tracklist_select(tracklist_find("rabbithill"));
    physics_open();
    RaceRobotHooks robots;
    robots.drive = scripted_drive;
    race_set_robot_hooks(&robots);
    if (!race_start()) {
        state.SkipWithError("the race did not start");
        return false;
    }
    return true;
}

void race_close() {
    session_free_riders();
    if (g_track.loaded) track_free();
    physics_close_contacts();
    physics_close_world();
    race_set_robot_hooks(nullptr);
    session_reset();
    results_reset();
    tracklist_reset();
    texture_reset();
    model_reset();
    shape_reset();
    contacts_reset();
    workers_stop();
    g_settings = Settings{};
}

void BM_RaceTick(benchmark::State& state) {
    workers_start((int)state.range(0));
    if (!race_open(state)) {
        race_close();
        return;
    }
    double step0 = g_physics.step_seconds, wall = 0, cpu = 0, restart_step = 0;
    long ticks = 0;
    int tick = 0;
    for (auto _ : state) {
        if (tick == RIDE_TICKS) {
            state.PauseTiming();
            double s = g_physics.step_seconds;
            race_start();
            restart_step += g_physics.step_seconds - s; // placing bikes steps nothing, but be sure
            tick = 0;
            state.ResumeTiming();
        }
        double w0 = wall_seconds(), c0 = process_cpu_seconds();
        session_tick();
        wall += wall_seconds() - w0;
        cpu += process_cpu_seconds() - c0;
        tick++;
        ticks++;
    }
    double step = g_physics.step_seconds - step0 - restart_step;
    state.counters["tick_ms"] = 1000 * wall / (double)ticks;
    state.counters["step_ms"] = 1000 * step / (double)ticks;
    state.counters["tick_over_step"] = wall / step;
    state.counters["tick_cpu_ms"] = 1000 * cpu / (double)ticks;
    state.counters["sim_s_per_wall_s"] = (double)ticks / TICKS_PER_SECOND / wall;
    race_close();
}
BENCHMARK(BM_RaceTick)->Arg(1)->Arg(2)->Iterations(2 * RIDE_TICKS)->Unit(benchmark::kMillisecond);

// ---- The whole program ----

struct RunResult {
    bool ok = false;
    double wall = 0, cpu = 0; // seconds
};

// Runs the game with these arguments in a fresh user folder holding `config`; the CPU time is
// the child's user and system time.
RunResult run_game(const std::vector<std::string>& args, const std::string& config) {
    RunResult r;
    char folder[] = "/tmp/vornix-bench-XXXXXX";
    if (!mkdtemp(folder)) return r;
    std::string home = folder;
    std::string user = home + "/.local/share/Vornix/";
    if (system(("mkdir -p '" + user + "'").c_str()) != 0) return r;
    FILE* f = fopen((user + "config").c_str(), "w");
    if (!f) return r;
    fputs(config.c_str(), f);
    fclose(f);
    std::vector<std::string> env_text = {"HOME=" + home, "XDG_DATA_HOME=" + home + "/.local/share",
                                         std::string("QZ_HOME=") + VORNIX_BENCH_DATA,
                                         "DRUV_LOGFILE=" + home + "/log.txt"};
    std::vector<char*> env;
    for (std::string& e : env_text) env.push_back(e.data());
    for (char** e = environ; *e; e++) {
        std::string s = *e;
        if (s.rfind("HOME=", 0) && s.rfind("XDG_DATA_HOME=", 0) && s.rfind("QZ_HOME=", 0) &&
            s.rfind("DRUV_LOGFILE=", 0))
            env.push_back(*e);
    }
    env.push_back(nullptr);
    std::vector<std::string> argv_text = {VORNIX_BIN};
    argv_text.insert(argv_text.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : argv_text) argv.push_back(a.data());
    argv.push_back(nullptr);

    double w0 = wall_seconds();
    pid_t pid;
    if (posix_spawn(&pid, VORNIX_BIN, nullptr, nullptr, argv.data(), env.data()) != 0) return r;
    int status = 0;
    rusage usage;
    if (wait4(pid, &status, 0, &usage) != pid) return r;
    r.wall = wall_seconds() - w0;
    r.cpu = (double)usage.ru_utime.tv_sec + usage.ru_utime.tv_usec * 1e-6 +
            (double)usage.ru_stime.tv_sec + usage.ru_stime.tv_usec * 1e-6;
    r.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    if (system(("rm -rf '" + home + "'").c_str()) != 0) r.ok = false;
    return r;
}

void BM_GameHeadless(benchmark::State& state) {
    const double seconds = 60;
    std::string config = "laps=10\n";
    char line[32];
    for (int i = 0; i < MAX_RIDERS; i++) {
        snprintf(line, sizeof line, "slot%02d=Robot\n", i);
        config += line;
    }
    RunResult r;
    for (auto _ : state) {
        r = run_game({"--headless", "--race", "--fast", "--quit-after", "60", "--nosound"}, config);
        if (!r.ok) {
            state.SkipWithError("the game did not run to its end");
            return;
        }
        state.SetIterationTime(r.wall);
    }
    state.counters["sim_s_per_wall_s"] = seconds / r.wall;
    state.counters["cpu_s"] = r.cpu;
}
BENCHMARK(BM_GameHeadless)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

void BM_GamePacedCpu(benchmark::State& state) {
    RunResult r;
    for (auto _ : state) {
        r = run_game({"--headless", "--time-trial", "--quit-after", "10", "--nosound"}, "");
        if (!r.ok) {
            state.SkipWithError("the game did not run to its end");
            return;
        }
        state.SetIterationTime(r.wall);
    }
    state.counters["cpu_share"] = r.cpu / r.wall;
    state.counters["cpu_s"] = r.cpu;
}
BENCHMARK(BM_GamePacedCpu)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

} // namespace

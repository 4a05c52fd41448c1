// Speed of the bike simulation on the generated "rabbithill": 1, 10, 20 and 40 bikes riding
// away from the start gate with throttle and a gentle weave of the bars, the contacts on 1
// thread (and 40 bikes on 2). One iteration is one tick of 1/128 s as the race runs it for the
// bikes (ground and statue contacts, bike-to-bike contacts, the world step, the bike steps),
// without robots, sound or drawing. Besides the rates, measured in the same run: tick_us (wall
// time of a tick), step_us (ODE's world step inside it) and tick_over_step.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstdlib>

#include "core/settings.h"
#include "bike/bike.h"
#include "bike/contact.h"
#include "bike/harness.h"
#include "bike/step.h"
#include "bike/world.h"
#include "data/datafile.h"
#include "data/model.h"
#include "data/shape.h"
#include "data/texture.h"
#include "platform/log.h"
#include "platform/workers.h"
#include "track/gates.h"
#include "track/terrain.h"

namespace {

constexpr int TICKS_PER_SECOND = 128;
// Bikes are put back on the grid after this many ticks, so every stretch measured is riding on
// the track rather than lying in a ditch at the far end of the field.
constexpr int RIDE_TICKS = 12 * TICKS_PER_SECOND;
constexpr int SETTLE_TICKS = 64;

// Grid places as the race start uses them: rows 10 feet apart behind the start slots.
void grid_place(int index, float* x, float* z, float* heading) {
    int count = g_gates.slot_count;
    if (count <= 0) {
        *x = g_terrain.extent / 2 + 5.0f * index;
        *z = g_terrain.extent / 2;
        *heading = 0;
        return;
    }
    const StartSlot& start = g_gates.slots[index % count];
    float back = 10.0f * (index / count + 0.0625f);
    *heading = start.angle;
    *x = start.x + back * std::sin(start.angle);
    *z = start.z + back * std::cos(start.angle);
}

void grid_all() {
    for (size_t i = 0; i < g_harness.bikes.size(); i++) {
        float x, z, heading;
        grid_place((int)i, &x, &z, &heading);
        harness_place(g_harness.bikes[i], x, z, heading);
    }
    harness_run(SETTLE_TICKS);
}

// Throttle after a short roll, clutch in, and bars weaving each at its own phase.
void ride_controls(int tick) {
    for (size_t i = 0; i < g_harness.bikes.size(); i++) {
        Bike* b = g_harness.bikes[i];
        float t = (float)tick / TICKS_PER_SECOND;
        bike_set_clutch(b, 1);
        bike_set_throttle(b, 0.55f + 0.05f * (float)(i % 5));
        bike_set_steer(b, 0.15f * std::sin(1.3f * t + 0.7f * (float)i));
    }
}

double wall_seconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void BM_BikeTicks(benchmark::State& state) {
    const int bikes = (int)state.range(0);
    workers_start((int)state.range(1));
    setenv("QZ_HOME", VORNIX_BENCH_DATA, 1);
    log_setup("DRUV_LOGFILE=/dev/null");
    data_reset();
    bikes_reset();
    contacts_reset();
    g_settings.headless = 1;
    harness_open();
    if (!harness_load_track("rabbithill")) {
        state.SkipWithError("rabbithill did not load; generate the data first");
        harness_close();
        return;
    }
    g_harness.statues = 1;
    static const char* const NAMES[] = {"crf250(2009)", "yz125", "kx250f(2009)", "rmz250(2008)",
                                        "cr125"};
    for (int i = 0; i < bikes; i++) {
        float x, z, heading;
        grid_place(i, &x, &z, &heading);
        Bike* b = harness_add_bike(NAMES[i % 5], x, z, heading);
        if (!b) {
            state.SkipWithError("a bike did not load");
            harness_close();
            return;
        }
        b->flags |= BIKE_AUTO_SHIFT;
    }
    harness_run(SETTLE_TICKS);

    int tick = 0;
    long ticks = 0;
    double wall = 0, step = 0;
    for (auto _ : state) {
        if (tick == RIDE_TICKS) {
            state.PauseTiming();
            grid_all();
            tick = 0;
            state.ResumeTiming();
        }
        ride_controls(tick);
        double s0 = g_physics.step_seconds, w0 = wall_seconds();
        harness_tick();
        wall += wall_seconds() - w0;
        step += g_physics.step_seconds - s0;
        tick++;
        ticks++;
    }
    state.counters["tick_us"] = 1e6 * wall / (double)ticks;
    state.counters["step_us"] = 1e6 * step / (double)ticks;
    state.counters["tick_over_step"] = wall / step;
    state.counters["ticks_per_s"] = benchmark::Counter((double)ticks, benchmark::Counter::kIsRate);
    state.counters["sim_s_per_wall_s"] =
        benchmark::Counter((double)ticks / TICKS_PER_SECOND, benchmark::Counter::kIsRate);
    state.counters["bike_ticks_per_s"] =
        benchmark::Counter((double)ticks * bikes, benchmark::Counter::kIsRate);

    harness_close();
    texture_reset();
    model_reset();
    shape_reset();
    contacts_reset();
    workers_stop();
}
// Iterations fixed so each run rides the same stretches of track. Arguments: bikes, threads.
BENCHMARK(BM_BikeTicks)->Args({1, 1})->Iterations(4 * RIDE_TICKS)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_BikeTicks)->Args({10, 1})->Iterations(2 * RIDE_TICKS)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_BikeTicks)->Args({20, 1})->Iterations(RIDE_TICKS)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_BikeTicks)->Args({40, 1})->Iterations(RIDE_TICKS)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_BikeTicks)->Args({40, 2})->Iterations(RIDE_TICKS)->Unit(benchmark::kMicrosecond);

} // namespace

// Cost of the effects on the generated "rabbithill".
//
// BM_RoostTicks: the bike ticks of BM_BikeTicks (40 bikes riding away from the grid with
// throttle and a weave of the bars) with roost thrown from every rider after each tick
// (from the contact records of that tick) and every particle moved, at the default density of 250;
// argument 1 also wears the ground ("--erode 1"). Compare with BM_BikeTicks/40 of the same run: the
// difference is what roost and wear add to a 40-rider tick.
//
// BM_EngineSoundFrame: one drawn frame at 60 per second of 40 bikes' engine sounds (samples
// made 0.1 s ahead, Doppler, distance and pan), with the recording mixer playing 1/60 s between
// frames outside the timing. Every sample costs the same whatever the engine speed (sixteen
// taps and one pulse value), so the bikes stand idling on the grid.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdlib>
#include <ctime>
#include <vector>

#include "bike/bike.h"
#include "bike/bodypose.h"
#include "bike/contact.h"
#include "bike/harness.h"
#include "bike/step.h"
#include "core/settings.h"
#include "data/datafile.h"
#include "data/model.h"
#include "data/shape.h"
#include "data/texture.h"
#include "effects/engine_sound.h"
#include "effects/roost.h"
#include "platform/audio.h"
#include "platform/log.h"
#include "platform/random.h"
#include "track/gates.h"
#include "track/terrain.h"

namespace {

constexpr int TICKS_PER_SECOND = 128;
constexpr int RIDE_TICKS = 12 * TICKS_PER_SECOND;
constexpr int SETTLE_TICKS = 64;
const char* const NAMES[] = {"crf250(2009)", "yz125", "kx250f(2009)", "rmz250(2008)", "cr125"};

// CPU time of this thread (the machine is shared: wall time says little).
double thread_seconds() {
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return (double)t.tv_sec + (double)t.tv_nsec * 1e-9;
}

// The grid places and riding controls of BM_BikeTicks.
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

void ride_controls(int tick) {
    for (size_t i = 0; i < g_harness.bikes.size(); i++) {
        Bike* b = g_harness.bikes[i];
        float t = (float)tick / TICKS_PER_SECOND;
        bike_set_clutch(b, 1);
        bike_set_throttle(b, 0.55f + 0.05f * (float)(i % 5));
        bike_set_steer(b, 0.15f * std::sin(1.3f * t + 0.7f * (float)i));
    }
}

// Rabbit Hill with `bikes` bikes on the grid; false (and the benchmark skipped) on failure.
bool open_field(benchmark::State& state, int bikes) {
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
        return false;
    }
    g_harness.statues = 1;
    for (int i = 0; i < bikes; i++) {
        float x, z, heading;
        grid_place(i, &x, &z, &heading);
        Bike* b = harness_add_bike(NAMES[i % 5], x, z, heading);
        if (!b) {
            state.SkipWithError("a bike did not load");
            harness_close();
            return false;
        }
        b->flags |= BIKE_AUTO_SHIFT;
    }
    harness_run(SETTLE_TICKS);
    return true;
}

void close_field() {
    harness_close();
    texture_reset();
    model_reset();
    shape_reset();
    contacts_reset();
    roost_reset();
    g_settings = Settings{};
}

void BM_RoostTicks(benchmark::State& state) {
    const int bikes = 40;
    if (!open_field(state, bikes)) return;
    g_settings.erode = state.range(0) ? 1.0f : 0.0f;
    roost_reset();
    random_seed(1);
    int tick = 0;
    long ticks = 0, thrown = 0;
    double roost_time = 0;
    for (auto _ : state) {
        if (tick == RIDE_TICKS) {
            state.PauseTiming();
            for (size_t i = 0; i < g_harness.bikes.size(); i++) {
                float x, z, heading;
                grid_place((int)i, &x, &z, &heading);
                harness_place(g_harness.bikes[i], x, z, heading);
            }
            harness_run(SETTLE_TICKS);
            tick = 0;
            state.ResumeTiming();
        }
        ride_controls(tick);
        harness_tick();
        double t0 = thread_seconds();
        for (Bike* b : g_harness.bikes) roost_emit(b);
        roost_update();
        roost_time += thread_seconds() - t0;
        thrown += g_roost.live_count;
        tick++;
        ticks++;
    }
    state.counters["ticks_per_s"] = benchmark::Counter((double)ticks, benchmark::Counter::kIsRate);
    state.counters["live_particles"] = (double)thrown / (double)ticks;
    state.counters["roost_us_per_tick"] = roost_time * 1e6 / (double)ticks;
    state.counters["dropped_per_tick"] = (double)g_roost.dropped / (double)ticks;
    close_field();
}
BENCHMARK(BM_RoostTicks)->Arg(0)->Arg(1)->Iterations(RIDE_TICKS)->Unit(benchmark::kMicrosecond);

void BM_EngineSoundFrame(benchmark::State& state) {
    const int bikes = 40;
    if (!open_field(state, bikes)) return;
    if (!audio_open_readback(88200, 690)) {
        state.SkipWithError("no recording mixer");
        close_field();
        return;
    }
    std::vector<EngineSound*> sounds;
    for (Bike* b : g_harness.bikes) sounds.push_back(engine_sound_create(b, nullptr));
    EngineListener ear;
    float p[3];
    bike_frame_position(g_harness.bikes[0], p);
    ear.eye[0] = p[0], ear.eye[1] = p[1] + 3, ear.eye[2] = p[2] + 10;
    // Frames of 1/60 s: 735 samples of each engine; the mixer reads 345 a tick.
    double mixed = 0;
    for (auto _ : state) {
        state.PauseTiming();
        for (mixed += ENGINE_RATE / 60.0; mixed >= 345; mixed -= 345) audio_read();
        state.ResumeTiming();
        for (size_t i = 0; i < sounds.size(); i++)
            engine_sound_update(g_harness.bikes[i], sounds[i], 1.0f, ear);
        audio_commit();
    }
    state.counters["bikes"] = bikes;
    for (EngineSound* s : sounds) engine_sound_free(s);
    audio_close();
    close_field();
}
// The first frames fill the whole ring once; the rest are the steady 735 samples a bike.
BENCHMARK(BM_EngineSoundFrame)->Iterations(600)->Unit(benchmark::kMicrosecond);

} // namespace

// Time to load each generated track headless (every file of the folder, textures decoded, no
// GL): what a player waits for at a race start, less the bikes.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>

#include "core/settings.h"
#include "data/datafile.h"
#include "data/model.h"
#include "data/shape.h"
#include "data/texture.h"
#include "track/track.h"

// The generated tracks, by argument.
static const char* const TRACKS[] = {"rabbithill", "dunebay", "stadium"};

static void BM_TrackLoad(benchmark::State& state) {
    const char* name = TRACKS[state.range(0)];
    state.SetLabel(name);
    setenv("QZ_HOME", VORNIX_BENCH_DATA, 1);
    data_reset();
    g_settings.headless = 1;
    for (auto _ : state) {
        if (!track_load_named(name)) {
            state.SkipWithError("the track did not load; generate the data first");
            break;
        }
        state.PauseTiming();
        track_free();
        // A fresh cache each time, as at the first race of a run.
        texture_reset();
        model_reset();
        shape_reset();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_TrackLoad)
    ->DenseRange(0, (int)(sizeof TRACKS / sizeof TRACKS[0]) - 1)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5);

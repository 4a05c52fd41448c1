// The track editor on the generated "rabbithill" (1025 x 1025 samples), headless: one tick's
// brush dab, the end of a stroke (shadows and shading over its reach, the renderer's whole
// error pass), undo and redo of a stroke, and saving the whole track into a per-user folder.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>
#include <unistd.h>

#include "core/constants.h"
#include "core/settings.h"
#include "data/datafile.h"
#include "data/model.h"
#include "data/shape.h"
#include "data/texture.h"
#include "editor/editor_internal.h"
#include "render/ground.h"
#include "track/track.h"

namespace {

// Loads rabbithill once for the editor benchmarks, saves going to a scratch per-user folder.
bool editor_track() {
    if (g_track.loaded && g_track.name == "rabbithill") return true;
    std::string scratch = "/tmp/vornix-editor-bench-" + std::to_string((long)getpid());
    setenv("XDG_DATA_HOME", scratch.c_str(), 1);
    setenv("QZ_HOME", VORNIX_BENCH_DATA, 1);
    data_reset();
    g_settings = Settings{};
    g_settings.headless = 1;
    terrain_set_hooks(ground_terrain_hooks());
    g_track.name = "rabbithill";
    if (!track_load()) return false;
    editor_reset();
    g_editor.active = 1;
    g_editor.radius = 12;
    g_editor.strength = 4;
    return true;
}

// Along the start straight, where the brush works in the scripted tests.
constexpr float X = 720, Z = 1800;

void BM_editor_dab(benchmark::State& state) {
    if (!editor_track()) {
        state.SkipWithError("rabbithill did not load; generate the data first");
        return;
    }
    g_editor.tool = TOOL_RAISE;
    stroke_begin(X, Z);
    int k = 0;
    for (auto _ : state) stroke_dab(X + (float)(k++ % 64), Z, (float)sim_tick);
    stroke_end();
    editor_undo();
}
BENCHMARK(BM_editor_dab)->Unit(benchmark::kMicrosecond);

void BM_editor_stroke_end(benchmark::State& state) {
    if (!editor_track()) {
        state.SkipWithError("rabbithill did not load; generate the data first");
        return;
    }
    g_editor.tool = TOOL_RAISE;
    for (auto _ : state) {
        state.PauseTiming();
        stroke_begin(X, Z);
        for (int k = 0; k < 32; k++) stroke_dab(X + (float)k, Z, (float)sim_tick);
        state.ResumeTiming();
        stroke_end();
        state.PauseTiming();
        editor_undo();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_editor_stroke_end)->Unit(benchmark::kMillisecond)->Iterations(10);

void BM_editor_undo_redo(benchmark::State& state) {
    if (!editor_track()) {
        state.SkipWithError("rabbithill did not load; generate the data first");
        return;
    }
    g_editor.tool = TOOL_RAISE;
    stroke_begin(X, Z);
    for (int k = 0; k < 32; k++) stroke_dab(X + (float)k, Z, (float)sim_tick);
    stroke_end();
    for (auto _ : state) {
        editor_undo();
        editor_redo();
    }
    editor_undo();
}
BENCHMARK(BM_editor_undo_redo)->Unit(benchmark::kMillisecond)->Iterations(10);

void BM_editor_save(benchmark::State& state) {
    if (!editor_track()) {
        state.SkipWithError("rabbithill did not load; generate the data first");
        return;
    }
    for (auto _ : state)
        if (!editor_save()) state.SkipWithError("the save failed");
    std::string scratch = getenv("XDG_DATA_HOME");
    if (scratch.rfind("/tmp/vornix-editor-bench-", 0) == 0) system(("rm -rf " + scratch).c_str());
}
BENCHMARK(BM_editor_save)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace

// Frames per second of the whole world drawing on each generated track ("rabbithill",
// "dunebay", "stadium") at 1280 x 720, with the camera flying a fixed path along the timing
// gates (six feet above the ground, looking at the next gate), and the ground polygons, model
// polygons and billboards of a frame (BM_frame_track/N, N the track's place in that list).
//
// BM_frame_lap/N: one lap of that path, frame by frame, right after every ground window was
// made invalid (as the editor's hand-back does), so the windows are drawn again one texture a
// frame while the eye moves on: the median and the worst frame (wall time to glFinish), their
// ratio, and the window textures drawn. The first frame after loading, which draws every fixed
// texture, is reported apart (first_frame_ms).
//
// Needs a display (run it under xvfb-run for Mesa's software renderer) and the generated data:
// QZ_HOME=build/data xvfb-run -a -s '-screen 0 1280x720x24' build/bench/vornix_bench
//     --benchmark_filter=Frame
#include <benchmark/benchmark.h>

#include <GL/gl.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/app.h"
#include "core/config.h"
#include "core/settings.h"
#include "data/datafile.h"
#include "data/model.h"
#include "data/texture.h"
#include "platform/log.h"
#include "platform/window.h"
#include "render/frame.h"
#include "render/glstate.h"
#include "render/ground.h"
#include "track/gates.h"
#include "track/terrain.h"
#include "track/track.h"

namespace {

const char* const TRACKS[] = {"rabbithill", "dunebay", "stadium"};
constexpr int TRACK_COUNT = (int)(sizeof TRACKS / sizeof TRACKS[0]);

struct BenchWorld {
    GameWindow* window = nullptr;
    std::string track; // the track loaded now; the path flies it
    std::vector<Camera> path;
    std::string error;
    double first_frame = 0; // seconds: the first frame after loading
};

double wall_seconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// A camera every few feet along the lap: from each gate toward the next one.
void build_path(std::vector<Camera>* path) {
    int n = (int)g_gates.normal_lap.size();
    for (int k = 0; k < n; k++) {
        const Gate& a =
            g_gates.gates[(size_t)gates_sequence_gate((int)g_gates.first_lap.size() + k)];
        const Gate& b =
            g_gates.gates[(size_t)gates_sequence_gate((int)g_gates.first_lap.size() + k + 1)];
        float dx = b.centre[0] - a.centre[0], dz = b.centre[2] - a.centre[2];
        int steps = std::max(1, (int)(std::hypot(dx, dz) / 8));
        for (int s = 0; s < steps; s++) {
            float t = (float)s / steps;
            CameraView v;
            v.eye[0] = a.centre[0] + dx * t, v.eye[2] = a.centre[2] + dz * t;
            v.eye[1] = terrain_height(&g_terrain, v.eye[0], v.eye[2]) + 6;
            v.target[0] = b.centre[0] + dx * 0.5f, v.target[2] = b.centre[2] + dz * 0.5f;
            v.target[1] = terrain_height(&g_terrain, v.target[0], v.target[2]) + 3;
            Camera c;
            frame_camera_from_view(v, &c);
            path->push_back(c);
        }
    }
}

// The window and GL state, opened once; then `track` loaded (if another is loaded now) and its
// camera path built. A failure is left in `error` for the benchmark to report.
BenchWorld* bench_world(const char* track) {
    static BenchWorld* world = [] {
        BenchWorld* w = new BenchWorld;
        if (!getenv("QZ_HOME")) {
            // The benchmark sits in build/bench; the generated data in build/data.
            char self[4096];
            ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
            if (n > 0) {
                self[n] = 0;
                std::string dir(self);
                dir = dir.substr(0, dir.find_last_of('/')) + "/../data";
                setenv("QZ_HOME", dir.c_str(), 1);
            }
        }
        config_defaults(); // field of view, look-ahead and the other drawing settings
        data_reset();
        w->window = window_open_gl("frame bench", 1280, 720, 24, 0, 16, 0, 0);
        if (!w->window || !w->window->gl) {
            w->error = "no GL window (run under xvfb-run)";
            return w;
        }
        g_app.window = w->window;
        gl_set_window(w->window);
        terrain_set_hooks(ground_terrain_hooks());
        gl_init_extensions(0, 0, 0);
        gl_init_state(0);
        log_printf("GL_RENDERER: %s\n", (const char*)glGetString(GL_RENDERER));
        frame_set_projection(1280, 720);
        return w;
    }();
    BenchWorld* w = world;
    if (!w->window || !w->window->gl || w->track == track) return w;
    // As the race session changes tracks: the old one freed, its textures and models let go.
    if (g_track.loaded) track_free();
    texture_new_generation();
    model_new_generation();
    w->track = track;
    w->path.clear();
    w->error.clear();
    if (!track_load_named(track)) {
        w->error = std::string(track) + " did not load (set QZ_HOME to the generated data)";
        return w;
    }
    g_track.loaded = true;
    if (!gates_present()) {
        w->error = std::string(track) + " has no gates to fly along";
        return w;
    }
    build_path(&w->path);
    double t0 = wall_seconds();
    frame_draw_world(w->path[0]);
    glFinish();
    w->first_frame = wall_seconds() - t0;
    return w;
}

void BM_frame_track(benchmark::State& state) {
    const char* track = TRACKS[state.range(0)];
    BenchWorld* w = bench_world(track);
    if (!w->error.empty() || w->path.empty()) {
        state.SkipWithError(w->error.empty() ? "empty camera path" : w->error.c_str());
        return;
    }
    size_t k = 0;
    double ground = 0, models = 0, billboards = 0;
    for (auto _ : state) {
        frame_draw_world(w->path[k]);
        glFinish();
        ground += g_render.stats.value[STAT_GROUND_POLYGONS];
        models += g_render.stats.value[STAT_MODEL_POLYGONS];
        billboards += g_render.stats.value[STAT_BILLBOARDS];
        k = (k + 1) % w->path.size();
    }
    double frames = (double)state.iterations();
    state.counters["fps"] = benchmark::Counter(frames, benchmark::Counter::kIsRate);
    state.counters["ground_polys"] = ground / frames;
    state.counters["model_polys"] = models / frames;
    state.counters["billboards"] = billboards / frames;
    state.SetLabel(std::string(track) + ", " + (const char*)glGetString(GL_RENDERER));
}
BENCHMARK(BM_frame_track)
    ->DenseRange(0, TRACK_COUNT - 1)
    ->Unit(benchmark::kMillisecond)
    ->MinTime(10.0)
    ->UseRealTime();

// The lap is flown three times, each from every window invalid, so every run draws the same
// frames in the same order; each frame's time is its best of the three. A frame that is slow
// for what it draws is slow in every run, while a stall of this shared machine (another
// process holding the core) hits one run's frame and not the others.
void BM_frame_lap(benchmark::State& state) {
    const char* track = TRACKS[state.range(0)];
    BenchWorld* w = bench_world(track);
    if (!w->error.empty() || w->path.empty()) {
        state.SkipWithError(w->error.empty() ? "empty camera path" : w->error.c_str());
        return;
    }
    std::vector<double> best(w->path.size(), 1e9), worst_single(w->path.size(), 0);
    int windows_drawn = 0;
    for (auto _ : state) {
        windows_drawn = 0;
        ground_refresh_all(); // every window entry invalid at the next upkeep
        double total = 0;
        for (size_t k = 0; k < w->path.size(); k++) {
            double t0 = wall_seconds();
            frame_draw_world(w->path[k]);
            glFinish();
            double dt = wall_seconds() - t0;
            total += dt;
            best[k] = std::min(best[k], dt);
            worst_single[k] = std::max(worst_single[k], dt);
            windows_drawn += g_ground.drawn_level >= 0;
            ground_update(1000); // the main loop's background work after every frame
        }
        state.SetIterationTime(total);
    }
    std::vector<double> sorted = best;
    std::sort(sorted.begin(), sorted.end());
    double median = sorted[sorted.size() / 2], worst = sorted.back();
    double single = *std::max_element(worst_single.begin(), worst_single.end());
    state.counters["frames"] = (double)best.size();
    state.counters["median_ms"] = 1000 * median;
    state.counters["p95_ms"] = 1000 * sorted[sorted.size() * 95 / 100];
    state.counters["worst_ms"] = 1000 * worst;
    state.counters["worst_over_median"] = worst / median;
    state.counters["worst_single_run_ms"] = 1000 * single;
    state.counters["windows_drawn"] = windows_drawn;
    state.counters["first_frame_ms"] = 1000 * w->first_frame;
    state.SetLabel(track);
}
BENCHMARK(BM_frame_lap)
    ->DenseRange(0, TRACK_COUNT - 1)
    ->Iterations(3)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

} // namespace

// The ground renderer on the generated "rabbithill" (512 x 512 tiles, 1025 x 1025 samples):
// refinement and fan emission along a fixed camera path with the ground polygons per frame, the
// whole error pass, the main loop's per-frame background work, and (with a display) whole ground
// frames drawn at 1280 x 720, labelled with the GL renderer.
//
// The data is looked up in $QZ_HOME, else in the build's "data" folder next to "bench".
#include <benchmark/benchmark.h>

#include <GL/gl.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

#include "app/app.h"
#include "core/settings.h"
#include "data/datafile.h"
#include "data/texture.h"
#include "platform/window.h"
#include "render/glstate.h"
#include "render/ground.h"
#include "track/terrain.h"

namespace {

std::string data_folder() {
    const char* home = getenv("QZ_HOME");
    if (home && access((std::string(home) + "/rabbithill/terrain.hf").c_str(), R_OK) == 0)
        return home;
    char self[4096];
    ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0) return "";
    self[n] = 0;
    std::string dir(self);
    dir = dir.substr(0, dir.rfind('/')); // .../build/bench
    return dir.substr(0, dir.rfind('/')) + "/data";
}

// Loads rabbithill (headless unless a GL window is open); 1 on success.
int load_track() {
    std::string dir = data_folder();
    setenv("QZ_HOME", dir.c_str(), 1);
    data_reset();
    terrain_set_hooks(ground_terrain_hooks());
    return terrain_load(&g_terrain, "@rabbithill");
}

int headless_track() {
    static int loaded = -1;
    if (loaded < 0 || g_terrain.samples == 0) {
        g_settings = Settings{};
        g_settings.headless = 1;
        loaded = load_track();
    }
    return loaded;
}

// One lap of a fixed path: an ellipse over the middle of the field, 6 ft above the ground,
// looking along the path and a little down.
struct PathPoint {
    float eye[3], dir[3], yaw;
};
std::vector<PathPoint> camera_path(int frames) {
    std::vector<PathPoint> path;
    for (int k = 0; k < frames; k++) {
        float a = 2.0f * (float)M_PI * (float)k / (float)frames;
        PathPoint p;
        p.eye[0] = 1024 + 650 * std::cos(a);
        p.eye[2] = 1024 + 480 * std::sin(a);
        p.eye[1] = terrain_height(&g_terrain, p.eye[0], p.eye[2]) + 6;
        float tx = -650 * std::sin(a), tz = 480 * std::cos(a);
        float len = std::sqrt(tx * tx + tz * tz);
        p.dir[0] = tx / len * 0.98f;
        p.dir[1] = -0.2f;
        p.dir[2] = tz / len * 0.98f;
        p.yaw = std::atan2(-p.dir[0], -p.dir[2]);
        path.push_back(p);
    }
    return path;
}

void BM_ground_refine_path(benchmark::State& state) {
    if (!headless_track()) {
        state.SkipWithError("no generated rabbithill");
        return;
    }
    std::vector<PathPoint> path = camera_path(240);
    // Draw the windows once as a run would have by now.
    ground_set_view(path[0].eye, path[0].dir);
    for (int k = 0; k < 100; k++) ground_update_textures();
    size_t k = 0;
    double polygons = 0, fans = 0;
    for (auto _ : state) {
        const PathPoint& p = path[k];
        ground_set_view(p.eye, p.dir);
        ground_update_textures();
        ground_draw(p.eye, p.dir);
        polygons += g_ground.polygons;
        fans += (double)g_ground.fans.size();
        k = (k + 1) % path.size();
    }
    state.counters["polygons/frame"] = polygons / (double)state.iterations();
    state.counters["fans/frame"] = fans / (double)state.iterations();
    state.counters["frames/s"] =
        benchmark::Counter((double)state.iterations(), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_ground_refine_path)->Unit(benchmark::kMicrosecond);

void BM_ground_error_pass_whole(benchmark::State& state) {
    if (!headless_track()) {
        state.SkipWithError("no generated rabbithill");
        return;
    }
    for (auto _ : state) ground_error_full(&g_terrain);
}
BENCHMARK(BM_ground_error_pass_whole)->Unit(benchmark::kMillisecond);

// The main loop's share: ground_update(1000) while an error pass runs.
void BM_ground_update_1000(benchmark::State& state) {
    if (!headless_track()) {
        state.SkipWithError("no generated rabbithill");
        return;
    }
    for (auto _ : state) {
        if (!g_ground.pass.running) ground_heights_changed();
        ground_update(1000);
    }
}
BENCHMARK(BM_ground_update_1000)->Unit(benchmark::kMicrosecond);

// Whole ground frames at 1280 x 720: texture upkeep, refinement and drawing, then the swap.
// Needs a display (run under xvfb-run for Mesa's software renderer).
void BM_ground_gl_frame(benchmark::State& state) {
    if (!getenv("DISPLAY")) {
        state.SkipWithError("no display");
        return;
    }
    terrain_free(&g_terrain);
    texture_reset();
    g_settings = Settings{};
    g_settings.novertexarrays = (int)state.range(0) == 0;
    GameWindow* window = window_open_gl("ground bench", 1280, 720, 24, 0, 16, 0, 0);
    if (!window) {
        state.SkipWithError("no GL window");
        return;
    }
    g_app.window = window;
    gl_init_extensions(0, 0, 0);
    gl_init_state(0);
    const char* renderer = (const char*)glGetString(GL_RENDERER);
    state.SetLabel(std::string(renderer ? renderer : "?") +
                   (g_settings.novertexarrays ? ", immediate mode" : ", vertex arrays"));
    if (!load_track()) {
        state.SkipWithError("no generated rabbithill");
    } else {
        std::vector<PathPoint> path = camera_path(240);
        ground_set_view(path[0].eye, path[0].dir);
        for (int k = 0; k < 100; k++) ground_update_textures();
        size_t k = 0;
        double polygons = 0;
        for (auto _ : state) {
            const PathPoint& p = path[k];
            if (!frame_begin(window)) continue;
            glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
            ground_set_view(p.eye, p.dir);
            ground_update_textures();
            glViewport(0, 0, 1280, 720);
            glMatrixMode(GL_PROJECTION);
            glLoadIdentity();
            double v = 0.75, u = v * 1280.0 / 720.0; // 90 degrees, the 4:3 rule
            glFrustum(-u / 4, u / 4, -v / 4, v / 4, 0.25, 5000);
            glMatrixMode(GL_MODELVIEW);
            glLoadIdentity();
            glRotatef(11.5f, 1, 0, 0);
            glRotatef(-p.yaw * 180.0f / (float)M_PI, 0, 1, 0);
            glTranslatef(-p.eye[0], -p.eye[1], -p.eye[2]);
            glEnable(GL_DEPTH_TEST);
            ground_draw(p.eye, p.dir);
            frame_end(window);
            polygons += g_ground.polygons;
            k = (k + 1) % path.size();
        }
        glFinish();
        state.counters["polygons/frame"] = polygons / (double)state.iterations();
        state.counters["frames/s"] =
            benchmark::Counter((double)state.iterations(), benchmark::Counter::kIsRate);
    }
    terrain_free(&g_terrain);
    texture_reset();
    window_close(window);
    g_app.window = nullptr;
    g_settings = Settings{};
}
BENCHMARK(BM_ground_gl_frame)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

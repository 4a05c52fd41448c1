// Fuzzes the "ct03" line-file reader on a course of three sets (one first-lap segment, two
// normal-lap segments): whatever is read must hold finite points and counts in range, survive
// the analysis that every session start runs on it, and be written back.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "data/datafile.h"
#include "fuzz_util.h"
#include "robot/robot.h"
#include "robot/robot_internal.h"
#include "track/gates.h"

static std::string g_dir;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    g_dir = fuzz_private_folder();
    if (system(("mkdir -p '" + g_dir + "/Vornix/course'").c_str()) != 0) abort();
    data_reset();
    for (int i = 0; i < 3; i++) {
        Gate g{};
        g.centre[0] = 100.0f + 100.0f * i;
        g.centre[2] = 500.0f;
        g.direction[0] = 1;
        g.radius = 20;
        g_gates.gates.push_back(g);
    }
    g_gates.first_lap = {0};
    g_gates.normal_lap = {1, 2};
    robot_module_reset();
    line_memory_build();
    if (line_set_count() != 3) abort();
    g_robots.loaded = 1;
    g_robots.file = "@course/lines_novice";
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (!fuzz_write_input(g_dir + "/Vornix/course/lines_novice", data, size)) abort();
    line_memory_empty();
    data_rescan();
    if (!line_memory_load("@course/lines_novice")) return 0;
    for (const LineSet& set : g_robots.sets)
        for (const LineRecord& r : set.lines) {
            if (r.points.empty()) continue;
            if (r.id == 0 || r.tests < 0 || r.tests > 65535 || r.failures < 0 ||
                r.failures > 65535 || r.first_sum < 0 || r.second_sum < 0 ||
                r.first_sum > 100000000 || r.second_sum > 100000000)
                abort();
            if (r.first_time <= 0 || r.second_time <= 0 || r.best_first <= 0 || r.best_second <= 0)
                abort();
            for (const LinePoint& p : r.points)
                if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z) ||
                    !std::isfinite(p.speed) || !std::isfinite(p.lean))
                    abort();
        }
    line_memory_thin();
    line_memory_analyse();
    line_memory_save();
    return 0;
}

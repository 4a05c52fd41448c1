// Test support for the robot module: a straight course of timing gates, riders on real (loaded,
// file-less) bikes placed where a test wants them, the line memory built for the course, and a
// stand-in for the race's gate counting that hands the line memory what it would see.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "bike/bike.h"
#include "bike/bodypose.h"
#include "bike/world.h"
#include "core/settings.h"
#include "race/hooks.h"
#include "race/race_test_util.h"
#include "robot/robot.h"
#include "robot/robot_internal.h"

namespace robottest {

using namespace racetest;

// A point of a line at (x, z) on flat ground 2 ft up, with a speed.
inline LinePoint point(float x, float z, float speed = 30) {
    return LinePoint{x, 2, z, speed, 0};
}

// A line of `n` points from (x, z) along +x, `step` feet apart.
inline std::vector<LinePoint> straight(float x, float z, int n, float step = 10, float speed = 30) {
    std::vector<LinePoint> p;
    for (int k = 0; k < n; k++) p.push_back(point(x + step * k, z, speed));
    return p;
}

// Puts a line into a record of a set with the given times and counts.
inline LineRecord& put_line(int set, int slot, const std::vector<LinePoint>& points,
                            int second_time, int tests = 0, int second_sum = 0, int failures = 0) {
    LineRecord& r = g_robots.sets[(size_t)set].lines[slot];
    line_record_clear(&r);
    r.points = points;
    r.first_time = second_time / 2;
    r.second_time = second_time;
    r.tests = tests;
    r.second_sum = second_sum;
    r.first_sum = second_sum / 2;
    r.failures = failures;
    r.id = line_new_id();
    line_memory_connections_changed();
    return r;
}

struct RobotTest : ::testing::Test {
    void SetUp() override {
        clear_race();
        log_setup(("DRUV_LOGFILE=" + log_path()).c_str());
        g_settings.headless = 1;
        g_settings.debug_level = 1; // the "auto pilot" lines
        robot_module_reset();
        bikes_reset();
        physics_open();
        physics_set_clock(0);
    }
    void TearDown() override {
        for (RiderSlot& r : g_session_data.slots) {
            bike_free(r.bike);
            r.bike = nullptr;
        }
        clear_race();
        robot_module_reset();
        physics_close_contacts();
        physics_close_world();
        g_settings = Settings{};
    }

    // A course of gates in a line (see straight_course) and its line memory.
    static void course(int gates, const std::vector<int>& first, const std::vector<int>& normal) {
        straight_course(gates, first, normal);
        line_memory_build();
        line_memory_empty();
        g_robots.loaded = 1;
        g_robots.file = "@course/lines_novice";
        g_session_data.track_loaded = 1;
        g_session_data.start_tick = 100;
    }

    // A rider of `kind` on a loaded bike in `slot`, standing at (x, 500) facing +x.
    static Bike* rider(int slot, int kind, float x = 0) {
        Bike* b = bike_load("crf250(2009)", slot + 1, "1", nullptr, nullptr, nullptr, nullptr);
        EXPECT_NE(b, nullptr);
        static const float UP[3] = {0, 1, 0};
        bike_rotate(b, UP, -1.5707963f); // heading -pi/2 faces +x
        bike_translate(b, x, 2, 500);
        RiderSlot& r = g_session_data.slots[slot];
        r.bike = b;
        r.kind = kind;
        r.autopilot = kind == RIDER_LOCAL ? 0 : 1;
        g_robots.robots[slot].personality = kind == RIDER_ROBOT ? 1 : 0;
        return b;
    }

    // Moves a rider's bike so that its frame stands at (x, z).
    static void move_to(int slot, float x, float z) {
        float at[3];
        bike_frame_position(g_session_data.slots[slot].bike, at);
        bike_translate(g_session_data.slots[slot].bike, x - at[0], 0, z - at[2]);
    }

    // What the race's gate counting does when a rider passes position p at tick t (search
    // offset `offset`), and what the line memory then sees.
    static void pass(int slot, int p, int t, int offset = 0) {
        RiderSlot& r = g_session_data.slots[slot];
        g_session_data.session_clock = t;
        GateSearch found{1, p, offset, r.gates_passed, r.stopped};
        if ((int)r.gate_times.size() <= p) r.gate_times.resize((size_t)p + 1, -1);
        r.gate_times[(size_t)p] = t;
        r.gates_passed = p + 1;
        r.stopped = 0;
        line_memory_tick(slot, &found);
    }

    static std::vector<LinePoint>& buffer(int slot, int parity) {
        return g_robots.riders[slot].buffer[parity];
    }
    static int in_use(int set) {
        int n = 0;
        for (const LineRecord& r : g_robots.sets[(size_t)set].lines) n += !r.points.empty();
        return n;
    }
};

} // namespace robottest

// Test support for the race module: riders whose progress the tests write directly (bikes
// without bodies), a straight course of timing gates, and clean-up of the session state.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/log.h"
#include "support/test_env.h"
#include "bike/bike.h"
#include "race/results.h"
#include "race/series.h"
#include "race/session.h"
#include "race/session_internal.h"
#include "replay/demo.h"
#include "track/tracklist.h"
#include "track/gates.h"

namespace racetest {

// Puts a bike without bodies into a slot: enough for progress, standings and results.
inline Bike* add_rider(int slot, const char* number, int kind = RIDER_ROBOT,
                       const char* bike = "crf250(2009)") {
    Bike* b = new Bike();
    b->info.name = bike;
    strncpy(b->plate, number, BIKE_PLATE_CHARS);
    g_session_data.slots[slot].bike = b;
    g_session_data.slots[slot].kind = kind;
    g_session_data.slots[slot].autopilot = kind == RIDER_LOCAL ? 0 : 1;
    return b;
}

// Sets a rider's gate times (-1 for skipped gates); gates passed = their count.
inline void set_times(int slot, const std::vector<int>& times) {
    RiderSlot& r = g_session_data.slots[slot];
    r.gate_times = times;
    r.gates_passed = (int)times.size();
}

// Removes the test's bodiless bikes and resets the race state.
inline void clear_race() {
    for (RiderSlot& r : g_session_data.slots) {
        delete r.bike;
        r = RiderSlot{};
    }
    session_reset();
    results_reset();
    series_reset();
    gates_free();
}

// F first-lap positions and laps of N positions; times of one rider that passes position k at
// start + step x (k + 1) + offset.
inline std::vector<int> even_times(int positions, int start, int step, int offset = 0) {
    std::vector<int> t;
    for (int k = 0; k < positions; k++) t.push_back(start + step * (k + 1) + offset);
    return t;
}

// A course of `count` gates in a line along +x, 100 feet apart from x = 100, all facing +x with
// radius 20, run as first lap `first` and normal lap `normal` (references below `count`).
inline void straight_course(int count, const std::vector<int>& first,
                            const std::vector<int>& normal) {
    gates_free();
    for (int i = 0; i < count; i++) {
        Gate g{};
        g.centre[0] = 100.0f + 100.0f * i;
        g.centre[2] = 500.0f;
        g.direction[0] = 1;
        g.radius = 20;
        g_gates.gates.push_back(g);
    }
    g_gates.first_lap = first;
    g_gates.normal_lap = normal;
    g_session_data.first_lap = (int)first.size();
    g_session_data.normal_lap = (int)normal.size();
}

// The log of the current test.
inline std::string log_path() {
    return test_dir() + "/race.log";
}
inline std::string log_text() {
    return read_file(log_path());
}

struct RaceTest : ::testing::Test {
    void SetUp() override {
        clear_race();
        log_setup(("DRUV_LOGFILE=" + log_path()).c_str());
    }
    void TearDown() override { clear_race(); }
};

} // namespace racetest

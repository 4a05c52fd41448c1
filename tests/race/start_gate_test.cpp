// The start gate on the generated "rabbithill": a gate statue stands on the ground in front of
// every occupied slot, holds a bike that rides at it under full throttle before the start, and
// lets it go once the bars drop.
#include <cmath>

#include "bike/bodypose.h"
#include "bike/step.h"
#include "race/rabbithill_util.h"
#include "track/objects.h"

using namespace racetest;

namespace {

float distance_from(const float a[3], const float b[3]) {
    return std::hypot(a[0] - b[0], a[2] - b[2]);
}

TEST_F(RaceOnRabbitHill, GateHoldsABikeUnderFullThrottleUntilItDrops) {
    // Three bikes across the gate; no robot hooks are installed, so nothing but this test sets
    // their controls.
    int table[MAX_RIDERS] = {};
    table[0] = RIDER_CODE_LOCAL;
    table[20] = RIDER_CODE_ROBOT;
    table[39] = RIDER_CODE_ROBOT;
    ASSERT_EQ(session_start(table, 0, 0, 0, 2, 0), 1);
    const int slots[] = {0, 20, 39};
    float spawn[3][3];
    for (int i = 0; i < 3; i++) {
        int s = slots[i];
        ASSERT_TRUE(session_rider_position(s, spawn[i]));
        // The slot's gate statue: 3 ft ahead of the slot point, standing on the ground, with
        // its model, texture and shape, and raised.
        const StartSlot& slot = g_gates.slots[s];
        const Statue* gate = statue_get(slot.statue);
        ASSERT_NE(gate, nullptr) << s;
        EXPECT_NEAR(gate->x, slot.x - 3 * std::sin(slot.angle), 1e-3);
        EXPECT_NEAR(gate->z, slot.z - 3 * std::cos(slot.angle), 1e-3);
        EXPECT_NEAR(gate->y, terrain_height(&g_terrain, gate->x, gate->z), 0.01);
        EXPECT_NE(gate->model, nullptr);
        EXPECT_NE(gate->shape, nullptr);
        EXPECT_FLOAT_EQ(slot.bar, 1.0f);
    }
    // Full throttle from half a second after the reset, clutch engaged, a foot down as a rider
    // waits at the gate.
    const int start = g_session.start_tick;
    while (g_session.session_clock <= start) {
        for (int s : slots) {
            Bike* b = g_session_data.slots[s].bike;
            if (g_session.session_clock >= 64) bike_set_throttle(b, 1);
            bike_set_clutch(b, 1);
            bike_set_dab(b, 1);
        }
        session_tick();
    }
    for (int i = 0; i < 3; i++) {
        float at[3];
        ASSERT_TRUE(session_rider_position(slots[i], at));
        EXPECT_LT(distance_from(at, spawn[i]), 3.0f) << "slot " << slots[i] << " at the start";
        EXPECT_EQ(g_session_data.slots[slots[i]].bike->crash_countdown, 0);
    }
    // Two seconds after the start every bike has gone through its dropped gate.
    while (g_session.session_clock < start + 256) {
        for (int s : slots) {
            bike_set_throttle(g_session_data.slots[s].bike, 1);
            bike_set_clutch(g_session_data.slots[s].bike, 1);
        }
        session_tick();
    }
    for (int i = 0; i < 3; i++) {
        float at[3];
        ASSERT_TRUE(session_rider_position(slots[i], at));
        EXPECT_GT(distance_from(at, spawn[i]), 8.0f) << "slot " << slots[i] << " after the start";
        EXPECT_FLOAT_EQ(g_gates.slots[slots[i]].bar, 0.0f);
    }
}

} // namespace

// Where riders start: rows behind the start slots, or a line across the middle of a field
// without any; bikes stand upright on the nearest height sample and are lifted clear.
#include <algorithm>
#include <cmath>

#include "bike/bike.h"
#include "bike/bodypose.h"
#include "bike/contact.h"
#include "bike/world.h"
#include "race/hooks.h"
#include "race/session.h"
#include "race/session_internal.h"
#include "track/gates.h"
#include "track/terrain.h"

// The height sample nearest to (x, z), indices truncated and clamped.
static float sample_height(float x, float z) {
    const Terrain& t = g_terrain;
    if (t.samples <= 0 || t.spacing <= 0) return 0;
    float limit = (float)(t.samples - 1);
    int i = (int)std::clamp(x / t.spacing, 0.0f, limit);
    int j = (int)std::clamp(z / t.spacing, 0.0f, limit);
    return terrain_sample(&t, i, j);
}

// Stands a bike upright at rest at (x, z) facing `heading`, raised until neither wheels nor
// body touch the ground (the contacts found are not to act; the bound only matters for a
// ground the contact test never leaves).
static void stand_bike(Bike* bike, float x, float z, float heading) {
    static const float UP[3] = {0, 1, 0};
    bike_reset(bike);
    bike_rotate(bike, UP, heading);
    bike_translate(bike, x, sample_height(x, z), z);
    for (int i = 0; i < 4096 && bike_ground_contacts(bike); i++) {
        physics_clear_contacts();
        bike_translate(bike, 0, 0.25f, 0);
    }
    physics_clear_contacts();
}

void session_place_bike(int slot, float x, float z, float heading) {
    Bike* bike = g_session_data.slots[slot].bike;
    if (!bike) return;
    stand_bike(bike, x, z, heading);
    RiderSlot& r = g_session_data.slots[slot];
    // A rider put back on the course starts its race progress again.
    r.gates_passed = 0;
    r.gate_times.clear();
    r.finished = 0;
    r.stopped = 0;
    for (auto& list : r.lists) list.clear();
    const RaceRobotHooks& robots = race_robot_hooks();
    if (robots.rider_placed) robots.rider_placed(slot);
    if (r.kind == RIDER_LOCAL) bike_frame_position(bike, g_session_data.spawn);
}

int session_return_rider(int slot) {
    if (slot < 0 || slot >= MAX_RIDERS) return 0;
    RiderSlot& r = g_session_data.slots[slot];
    if (!r.bike || r.gates_passed < 0) return 0;
    // Past the last gate passed; before the first one, short of it so that it is passed next.
    int gate = gates_sequence_gate(std::max(r.gates_passed - 1, 0));
    if (gate < 0 || gate >= (int)g_gates.gates.size()) return 0;
    const Gate& g = g_gates.gates[(size_t)gate];
    float dx = g.direction[0], dz = g.direction[2], h = std::hypot(dx, dz);
    if (!(h > 0)) return 0;
    dx /= h;
    dz /= h;
    // On level ground: a gate may stand at a jump or in a rhythm lane, and a rider put back at
    // rest on a roller's face or crest loops out or stalls riding off it, and was put back
    // there again and again (seen on Stadium Cross, a robot for a whole race). The first spot
    // along the way from 10 ft past the gate (from 20 ft short of the first gate) to 60 ft on,
    // then back from 5 ft short of it to 70 ft back (behind the gate it passed, which it may
    // cross again), where the ground from 10 ft behind to 18 ft ahead (the bike's frame stands
    // behind the point) rises and falls less than LEVEL_FEET: room to get going before the
    // next face (whoops are lower); none such, the first.
    const float LEVEL_FEET = 2;
    const float first = r.gates_passed > 0 ? 10.0f : -20.0f;
    float past = first;
    auto height = [](float x, float z) { return terrain_height(&g_terrain, x, z); };
    for (int k = 0; k <= 26; k++) {
        float d = k <= 12 ? first + 5.0f * k : first - 5.0f * (k - 10);
        float x = g.centre[0] + dx * d, z = g.centre[2] + dz * d, low = 1e9f, high = -1e9f;
        for (float a = -10; a <= 18; a += 2) {
            float h = height(x + a * dx, z + a * dz);
            low = std::min(low, h);
            high = std::max(high, h);
        }
        if (high - low < LEVEL_FEET) {
            past = d;
            break;
        }
    }
    // Across the gate (to the right of the way through it), in 8 ft steps either side.
    const float rx = -dz, rz = dx;
    float best_x = g.centre[0] + dx * past, best_z = g.centre[2] + dz * past, best_clear = -1;
    int steps = std::max(0, (int)(g.radius * 0.7f / 8));
    for (int k = 0; k <= 2 * steps && best_clear < 7; k++) {
        float side = 8.0f * (float)((k + 1) / 2) * (k % 2 ? 1 : -1);
        float x = g.centre[0] + dx * past + rx * side, z = g.centre[2] + dz * past + rz * side;
        float clear = 1e9f;
        for (int o = 0; o < MAX_RIDERS; o++) {
            float p[3];
            if (o == slot || !session_rider_position(o, p)) continue;
            clear = std::min(clear, std::hypot(p[0] - x, p[2] - z));
        }
        if (clear > best_clear) best_clear = clear, best_x = x, best_z = z;
    }
    // The heading whose forward (-sin, -cos) is the gate's direction.
    stand_bike(r.bike, best_x, best_z, std::atan2(-dx, -dz));
    const RaceRobotHooks& robots = race_robot_hooks();
    if (robots.rider_placed) robots.rider_placed(slot);
    return 1;
}

void session_place_rider(int slot) {
    Session& s = g_session_data;
    int count = g_gates.slot_count;
    float x, z, heading = 0;
    if (count <= 0) {
        x = g_terrain.extent / 2 + 5.0f * slot;
        z = g_terrain.extent / 2;
    } else {
        int index = slot;
        if (s.multiplayer) {
            // Others wait off the track until their states arrive.
            if (s.slots[slot].kind != RIDER_LOCAL) {
                session_place_bike(slot, 25.0f + 25.0f * slot, 25.0f, 0);
                return;
            }
            index = s.net_grid_index;
        }
        int row = index / count;
        const StartSlot& start = g_gates.slots[index % count];
        heading = start.angle;
        float back = 10.0f * (row + 0.0625f);
        x = start.x + back * std::sin(heading);
        z = start.z + back * std::cos(heading);
    }
    session_place_bike(slot, x, z, heading);
}

void session_drop_bikes() {
    for (RiderSlot& r : g_session_data.slots) {
        if (!r.bike) continue;
        bike_translate(r.bike, 0, 0.125f, 0);
        // The bound only matters for a ground the contact test never leaves.
        for (int i = 0; i < 4096 && bike_ground_contacts(r.bike); i++) {
            physics_clear_contacts();
            bike_translate(r.bike, 0, 0.25f, 0);
        }
        physics_clear_contacts();
        bike_translate(r.bike, 0, -0.125f, 0);
    }
}

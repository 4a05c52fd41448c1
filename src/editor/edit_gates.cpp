// Timing: placing, moving, turning and resizing gates, the first-lap and normal-lap lists with
// their intermediate marks, and the row of start slots. Every operation changes a copy of the
// scene and commits it as one step. Lap lists that are usable stay usable: an edit that would
// leave them unusable is refused with a message; lists not yet usable (a track being built)
// take any edit, and the panel says what is still missing.
#include <cmath>
#include <cstdio>

#include "core/maths.h"
#include "editor/editor_internal.h"
#include "platform/messages.h"

namespace {

// A new gate reaches 24 ft each way from its centre: across a motocross track and its edges, as
// the gates of the game's own tracks do.
constexpr float GATE_RADIUS_DEFAULT = 24.0f;
constexpr float GATE_RADIUS_MIN = 2.0f, GATE_RADIUS_MAX = 500.0f;

TrackScene current() {
    TrackScene s;
    scene_read(&s);
    return s;
}

// Commits a timing edit unless it would make usable lists unusable.
int commit_timing(const TrackScene& before, const TrackScene& after, const char* label) {
    std::string was = scene_timing_problem(before), now = scene_timing_problem(after);
    if (was.empty() && !now.empty()) {
        post_message(("Refused: " + now).c_str());
        return 0;
    }
    return editor_scene_commit(before, after, label);
}

bool gate_ok(const TrackScene& s, int gate) {
    if (gate >= 0 && gate < (int)s.gates.size()) return true;
    post_message("Select a gate first (Space or a click near it)");
    return false;
}

// Angle of a horizontal direction in the slots' and statues' sense: (-sin a, -cos a).
float angle_of(float dx, float dz) {
    return std::atan2(-dx, -dz);
}

float wrap(float a) {
    a = std::fmod(a + (float)PI, 2 * (float)PI);
    if (a < 0) a += 2 * (float)PI;
    return a - (float)PI;
}

// Turns (x, z) by delta about the vertical in the same sense as the angles grow.
void turn(float delta, float* x, float* z) {
    float c = std::cos(delta), s = std::sin(delta);
    float nx = c * *x + s * *z, nz = -s * *x + c * *z;
    *x = nx, *z = nz;
}

int gate_of(int ref) {
    return ref >= GATE_INTERMEDIATE ? ref - GATE_INTERMEDIATE : ref;
}

bool slots_present(const TrackScene& s) {
    if (s.slot_count > 0) return true;
    post_message("There are no start slots: place a row with Enter");
    return false;
}

void row_centre(const TrackScene& s, float* cx, float* cz) {
    *cx = *cz = 0;
    for (int i = 0; i < s.slot_count; i++) *cx += s.slots[i].x, *cz += s.slots[i].z;
    *cx /= (float)s.slot_count;
    *cz /= (float)s.slot_count;
}

} // namespace

std::string editor_timing_problem() {
    return scene_timing_problem(current());
}

int gate_add(float x, float z, float facing) {
    TrackScene before = current(), after = before;
    if ((int)after.gates.size() >= MAX_GATES) {
        post_message("Refused: a track holds at most 256 gates");
        return 0;
    }
    Gate g{};
    g.centre[0] = x, g.centre[1] = terrain_height(&g_terrain, x, z), g.centre[2] = z;
    g.direction[0] = -std::sin(facing), g.direction[2] = -std::cos(facing);
    g.radius = GATE_RADIUS_DEFAULT;
    after.gates.push_back(g);
    if (!commit_timing(before, after, "Add gate")) return 0;
    g_editor.selected = (int)after.gates.size() - 1;
    return 1;
}

int gate_move(int gate, float x, float z) {
    TrackScene before = current(), after = before;
    if (!gate_ok(after, gate)) return 0;
    Gate& g = after.gates[gate];
    g.centre[0] = x, g.centre[1] = terrain_height(&g_terrain, x, z), g.centre[2] = z;
    return commit_timing(before, after, "Move gate");
}

int gate_turn(int gate, float delta) {
    TrackScene before = current(), after = before;
    if (!gate_ok(after, gate)) return 0;
    Gate& g = after.gates[gate];
    float a = angle_of(g.direction[0], g.direction[2]) + delta;
    g.direction[0] = -std::sin(a), g.direction[1] = 0, g.direction[2] = -std::cos(a);
    return commit_timing(before, after, "Turn gate");
}

int gate_resize(int gate, float factor) {
    TrackScene before = current(), after = before;
    if (!gate_ok(after, gate)) return 0;
    Gate& g = after.gates[gate];
    g.radius = clampf(g.radius * factor, GATE_RADIUS_MIN, GATE_RADIUS_MAX);
    return commit_timing(before, after, "Resize gate");
}

int gate_delete(int gate) {
    TrackScene before = current(), after = before;
    if (!gate_ok(after, gate)) return 0;
    after.gates.erase(after.gates.begin() + gate);
    // References to the gate go; references to later gates move down by one.
    for (std::vector<int>* list : {&after.first_lap, &after.normal_lap}) {
        std::vector<int> kept;
        for (int ref : *list) {
            int g = gate_of(ref);
            if (g == gate) continue;
            kept.push_back(g > gate ? ref - 1 : ref);
        }
        *list = kept;
    }
    if (!commit_timing(before, after, "Delete gate")) return 0;
    g_editor.selected = -1;
    return 1;
}

int lap_append(int list, int gate) {
    TrackScene before = current(), after = before;
    if (!gate_ok(after, gate)) return 0;
    std::vector<int>& refs = list == 0 ? after.first_lap : after.normal_lap;
    if ((int)refs.size() >= MAX_LAP_REFS) {
        post_message("Refused: a lap list holds at most 256 gates");
        return 0;
    }
    refs.push_back(gate);
    g_editor.last_list = list;
    return commit_timing(before, after, list == 0 ? "First lap" : "Normal lap");
}

int lap_remove_last(int list) {
    TrackScene before = current(), after = before;
    std::vector<int>& refs = list == 0 ? after.first_lap : after.normal_lap;
    if (refs.empty()) {
        post_message(list == 0 ? "The first lap lists no gates" : "The normal lap lists no gates");
        return 0;
    }
    refs.pop_back();
    return commit_timing(before, after, list == 0 ? "First lap" : "Normal lap");
}

int gate_toggle_intermediate(int gate) {
    TrackScene before = current(), after = before;
    if (!gate_ok(after, gate)) return 0;
    // One mark for the gate: intermediate everywhere when any reference is a segment gate.
    bool any_segment = false, listed = false;
    for (const std::vector<int>* list : {&after.first_lap, &after.normal_lap})
        for (int ref : *list)
            if (gate_of(ref) == gate) listed = true, any_segment |= ref < GATE_INTERMEDIATE;
    if (!listed) {
        post_message("The gate is in neither lap list");
        return 0;
    }
    for (std::vector<int>* list : {&after.first_lap, &after.normal_lap})
        for (int& ref : *list)
            if (gate_of(ref) == gate) ref = any_segment ? gate + GATE_INTERMEDIATE : gate;
    return commit_timing(before, after, "Intermediate gate");
}

int gate_nearest(float x, float z, float reach) {
    int best = -1;
    float best_d = 0;
    for (int i = 0; i < (int)g_gates.gates.size(); i++) {
        const Gate& g = g_gates.gates[i];
        float d = std::hypot(g.centre[0] - x, g.centre[2] - z);
        if (d > std::max(reach, 0.5f * g.radius)) continue;
        if (best < 0 || d < best_d) best = i, best_d = d;
    }
    return best;
}

int slots_place(float x, float z, float facing, int count, float spacing) {
    TrackScene before = current(), after = before;
    count = clamp(count, 1, MAX_START_SLOTS);
    facing = wrap(facing);
    // Across the row: the facing direction (-sin a, -cos a) turned a quarter to the right.
    float ax = std::cos(facing), az = -std::sin(facing);
    after.slot_count = count;
    for (int k = 0; k < count; k++) {
        float off = ((float)k - (float)(count - 1) / 2) * spacing;
        StartSlot& s = after.slots[k];
        s = StartSlot{};
        s.x = x + ax * off, s.z = z + az * off;
        // Start gates stand on the ground: the slot's y is the gate's height above it.
        s.y = 0;
        s.angle = facing;
        s.statue = -1;
    }
    g_editor.slot_spacing = spacing;
    return commit_timing(before, after, "Place start");
}

int slots_turn(float delta) {
    TrackScene before = current(), after = before;
    if (!slots_present(after)) return 0;
    float cx, cz;
    row_centre(after, &cx, &cz);
    for (int i = 0; i < after.slot_count; i++) {
        StartSlot& s = after.slots[i];
        float dx = s.x - cx, dz = s.z - cz;
        turn(delta, &dx, &dz);
        s.x = cx + dx, s.z = cz + dz;
        s.angle = wrap(s.angle + delta);
    }
    return commit_timing(before, after, "Turn start");
}

int slots_move(float x, float z) {
    TrackScene before = current(), after = before;
    if (!slots_present(after)) return 0;
    float cx, cz;
    row_centre(after, &cx, &cz);
    for (int i = 0; i < after.slot_count; i++)
        after.slots[i].x += x - cx, after.slots[i].z += z - cz;
    return commit_timing(before, after, "Move start");
}

int slots_respace(float factor) {
    TrackScene before = current(), after = before;
    if (!slots_present(after) || !(factor > 0)) return 0;
    float cx, cz;
    row_centre(after, &cx, &cz);
    for (int i = 0; i < after.slot_count; i++) {
        StartSlot& s = after.slots[i];
        s.x = cx + (s.x - cx) * factor, s.z = cz + (s.z - cz) * factor;
    }
    g_editor.slot_spacing *= factor;
    return commit_timing(before, after, "Space start");
}

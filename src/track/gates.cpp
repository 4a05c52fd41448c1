// Timing gates, lap sequences and start slots.
#include "track/gates.h"

#include <cmath>
#include <cstring>

#include "core/maths.h"
#include "core/settings.h"
#include "data/datafile.h"
#include "data/save.h"
#include "data/scanner.h"
#include "platform/log.h"
#include "platform/messages.h"
#include "track/objects.h"
#include "track/terrain.h"
#include "track/track.h"

GateState g_gates;

void gates_free() {
    g_gates.slot_count = 0;
    g_gates.gates.clear();
    g_gates.first_lap.clear();
    g_gates.normal_lap.clear();
    g_gates.first_segments = 0;
    g_gates.normal_segments = 0;
}

// Wraps an angle outside [-pi, pi] into it: (angle + pi) mod 2 pi - pi, with the modulo
// always non-negative so that angles below -pi land inside too.
static float wrap_angle(float angle) {
    if (angle >= -PI && angle <= PI) return angle;
    double a = (double)angle + PI;
    a -= 2 * PI * std::floor(a / (2 * PI));
    return (float)(a - PI);
}

static bool all_finite(const float* v, int n) {
    for (int i = 0; i < n; i++)
        if (!std::isfinite(v[i])) return false;
    return true;
}

// Clamps a lap reference as it is loaded: negative becomes 0, the gate part is limited to the
// last gate, and an intermediate reference keeps its mark.
static int clamp_ref(int ref, int gate_count) {
    if (ref < 0) ref = 0;
    int last = gate_count - 1;
    if (ref >= GATE_INTERMEDIATE) {
        int gate = ref - GATE_INTERMEDIATE;
        if (gate > last) gate = last;
        return GATE_INTERMEDIATE + gate;
    }
    return ref > last ? last : ref;
}

static int count_segments(const std::vector<int>& refs) {
    int n = 0;
    for (int r : refs)
        if (r < GATE_INTERMEDIATE) n++;
    return n;
}

static void read_refs(DataFile* f, std::vector<int>* out) {
    int ref;
    while ((int)out->size() < MAX_LAP_REFS && data_scanf(f, "%d", &ref) == 1) out->push_back(ref);
}

/* "timing_gates": text sections, each introduced by a keyword token, in this order:
 *   startinggate:  up to 40 of  [ x y z ] angle
 *   checkpoints:   up to 256 of radius [ cx cy cz ] [ dx dy dz ]
 *   firstlap:      up to 256 integer references
 *   normallap:     up to 256 integer references
 * A reference of 100000 + i names gate i as an intermediate gate. Only "checkpoints:" is
 * needed for gates; without usable gates and lap lists the track keeps just its start slots.
 */
int gates_read(DataFile* f) {
    gates_free();
    char word[81];
    int r = data_scanf(f, " %80s ", word);
    if (r == 1 && strcmp(word, "startinggate:") == 0) {
        float v[4];
        while (g_gates.slot_count < MAX_START_SLOTS &&
               data_scanf(f, " [ %f %f %f ] %f ", &v[0], &v[1], &v[2], &v[3]) == 4 &&
               all_finite(v, 4)) {
            StartSlot* s = &g_gates.slots[g_gates.slot_count++];
            s->x = data_check_range(f, "start slot x", v[0], -TRACK_COORD_MAX, TRACK_COORD_MAX, 0);
            s->y = data_check_range(f, "start slot y", v[1], -TRACK_COORD_MAX, TRACK_COORD_MAX, 0);
            s->z = data_check_range(f, "start slot z", v[2], -TRACK_COORD_MAX, TRACK_COORD_MAX, 0);
            s->angle = wrap_angle(v[3]);
            s->bar = 0;
            // The gate stands 3 units ahead of the slot point. Its statue frame's forward axis
            // (the model's x) points back at the riders, so the bars' tilt about the statue's
            // sideways axis swings the gate about a hinge across the slot: raised it leans
            // toward the front wheel, dropped it lies flat under it, as a start gate falls.
            s->statue = statue_add(s->x - 3 * std::sin(s->angle), s->y,
                                   s->z - 3 * std::cos(s->angle), wrap_angle(s->angle - PI_F / 2),
                                   "@startgate.jm", "@startgate.ppm", "@startgate.shp");
        }
        r = data_scanf(f, " %80s ", word);
    }
    if (r != 1 || strcmp(word, "checkpoints:") != 0) return 1;

    float v[7];
    while ((int)g_gates.gates.size() < MAX_GATES &&
           data_scanf(f, "%f [ %f %f %f ] [ %f %f %f ] ", &v[0], &v[1], &v[2], &v[3], &v[4], &v[5],
                      &v[6]) == 7 &&
           all_finite(v, 7)) {
        Gate g{};
        // A gate wider than any field is passed everywhere; a negative radius by nobody.
        g.radius = data_check_range(f, "gate radius", v[0], 0, TRACK_COORD_MAX, 0);
        for (int i = 0; i < 3; i++) {
            g.centre[i] =
                data_check_range(f, "gate centre", v[1 + i], -TRACK_COORD_MAX, TRACK_COORD_MAX, 0);
            g.direction[i] = data_check_range(f, "gate direction", v[4 + i], -TRACK_COORD_MAX,
                                              TRACK_COORD_MAX, 0);
        }
        g_gates.gates.push_back(g);
    }
    if (data_scanf(f, " %80s ", word) == 1 && strcmp(word, "firstlap:") == 0) {
        read_refs(f, &g_gates.first_lap);
        if (data_scanf(f, " %80s ", word) == 1 && strcmp(word, "normallap:") == 0)
            read_refs(f, &g_gates.normal_lap);
    }

    int count = (int)g_gates.gates.size();
    if (count > 0) {
        for (int& ref : g_gates.first_lap) ref = clamp_ref(ref, count);
        for (int& ref : g_gates.normal_lap) ref = clamp_ref(ref, count);
    }
    g_gates.first_segments = count_segments(g_gates.first_lap);
    g_gates.normal_segments = count_segments(g_gates.normal_lap);
    if (count == 0 || g_gates.first_segments == 0 || g_gates.normal_segments == 0) {
        // Unusable timing: keep the start slots, drop everything read after them.
        int slots = g_gates.slot_count;
        gates_free();
        g_gates.slot_count = slots;
        return 1;
    }
    if (g_settings.debug_level)
        log_printf("Found %d timing gates, first lap has %d gates, normal lap has %d\n", count,
                   (int)g_gates.first_lap.size(), (int)g_gates.normal_lap.size());
    return 1;
}

int gates_write_to(DataFile* f) {
    if (g_gates.slot_count > 0) {
        data_printf(f, "startinggate:\n");
        for (int i = 0; i < g_gates.slot_count; i++) {
            const StartSlot& s = g_gates.slots[i];
            data_printf(f, "[%f %f %f]", s.x, s.y, s.z);
            data_printf(f, " %f\n", s.angle);
        }
    }
    if (!g_gates.gates.empty()) {
        data_printf(f, "checkpoints:\n");
        for (const Gate& g : g_gates.gates) {
            data_printf(f, "%f ", g.radius);
            data_printf(f, "[%f %f %f]", g.centre[0], g.centre[1], g.centre[2]);
            data_printf(f, " ");
            data_printf(f, "[%f %f %f]", g.direction[0], g.direction[1], g.direction[2]);
            data_printf(f, "\n");
        }
    }
    if (!g_gates.first_lap.empty() && !g_gates.normal_lap.empty()) {
        data_printf(f, "firstlap:\n");
        for (int ref : g_gates.first_lap) data_printf(f, "%d ", ref);
        data_printf(f, "\n");
        data_printf(f, "normallap:\n");
        for (int ref : g_gates.normal_lap) data_printf(f, "%d ", ref);
        data_printf(f, "\n");
    }
    return 1;
}

int gates_write() {
    DataSave save;
    int ok = data_save_begin(track_file("timing_gates").c_str(), &save);
    if (ok) {
        gates_write_to(save.file);
        ok = data_save_commit(&save);
    }
    if (!ok) {
        // Whether the file could not be made or not be put in place, it is not there.
        log_printf("Error writing 'timing_gates' (%s)\n", save.error.c_str());
        post_message("Can't open 'timing_gates'\n");
    }
    return ok;
}

bool gate_passed(const Gate* gate, float x, float z) {
    float dx = x - gate->centre[0];
    float dz = z - gate->centre[2];
    return dx * dx + dz * dz <= gate->radius * gate->radius &&
           dx * gate->direction[0] + dz * gate->direction[2] >= 0;
}

bool gates_present() {
    return !g_gates.gates.empty();
}

int gates_sequence_ref(int k) {
    int first = (int)g_gates.first_lap.size();
    int normal = (int)g_gates.normal_lap.size();
    if (k < 0) return -1;
    if (k < first) return g_gates.first_lap[k];
    if (normal == 0) return -1;
    return g_gates.normal_lap[(k - first) % normal];
}

int gates_sequence_gate(int k) {
    int ref = gates_sequence_ref(k);
    if (ref < 0) return -1;
    return ref >= GATE_INTERMEDIATE ? ref - GATE_INTERMEDIATE : ref;
}

bool gates_sequence_intermediate(int k) {
    return gates_sequence_ref(k) >= GATE_INTERMEDIATE;
}

int gates_laps_completed(int passed) {
    int first = (int)g_gates.first_lap.size();
    int normal = (int)g_gates.normal_lap.size();
    if (passed < first || normal == 0) return 0;
    return (passed - first) / normal + 1;
}

int gates_lap_end(int lap) {
    return (int)g_gates.first_lap.size() + (int)g_gates.normal_lap.size() * (lap - 1) - 1;
}

void start_bars_raise() {
    for (int i = 0; i < g_gates.slot_count; i++) g_gates.slots[i].bar = 1.0f;
}

void start_bars_update(int session_tick, int start_tick) {
    // Only during the first 10 s after the start: 1280 ticks of 1/128 s.
    if ((long long)session_tick > (long long)start_tick + 1280) return;
    for (int i = 0; i < g_gates.slot_count; i++) {
        StartSlot* s = &g_gates.slots[i];
        Statue* statue = statue_get(s->statue);
        if (!statue || s->bar <= 0) continue;
        // A gate touched this tick hangs on the wheel pressing it, but only for the first
        // START_BAR_HANG ticks: a rider holding the throttle against it must still get away.
        bool hangs = statue->last_contact == session_tick &&
                     (long long)session_tick <= (long long)start_tick + START_BAR_HANG;
        if (session_tick > start_tick && !hangs) {
            // From raised to down in 1/8 s.
            s->bar -= 8.0f / 128.0f;
            if (s->bar < 0) s->bar = 0;
        }
        statue_set_tilt(s->statue, s->bar * START_BAR_ANGLE);
    }
}

int flagger_start_texture(double t, int cue_tick, float walk_time, float* walk_fraction) {
    double c = std::floor(cue_tick / 128.0);
    double w = walk_time;
    double f;
    if (w > 0)
        f = (t - (c + 1)) / w;
    else
        f = t >= c + 1 ? 1 : 0;
    if (!(f > 0)) f = 0;
    if (f > 1) f = 1;
    if (walk_fraction) *walk_fraction = (float)f;
    if (t < c + 0.1) return 0;
    if (t < c + 0.4) return 1;
    if (t < c + 1) return 2;
    if (t < c + 1 + w) return 3;
    return 4;
}

int flagger_lap_texture(int leader_passed, int final_lap, int halfway_lap) {
    int first = (int)g_gates.first_lap.size();
    int normal = (int)g_gates.normal_lap.size();
    int g = 0;
    if (leader_passed + 1 >= first && normal > 0) g = (leader_passed + 1 - first) / normal + 1;
    if (g >= final_lap) return 3;
    if (final_lap == g + 1) return 2;
    if (g == halfway_lap) return 1;
    return 0;
}

void gates_clear_marks() {
    for (Gate& g : g_gates.gates) g.marked = 0;
}

void gates_mark_position(int position) {
    int gate = gates_sequence_gate(position);
    if (gate >= 0 && gate < (int)g_gates.gates.size()) g_gates.gates[gate].marked = 1;
}

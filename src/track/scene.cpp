// The editable scene of the loaded track: reading it out as plain values and putting it back.
#include "track/scene.h"

#include <cmath>
#include <cstdio>

#include "core/maths.h"
#include "data/model.h"
#include "data/shape.h"
#include "data/texture.h"
#include "track/objects.h"
#include "track/track.h"

bool SceneBillboard::operator==(const SceneBillboard& o) const {
    return x == o.x && y == o.y && z == o.z && width == o.width && height == o.height &&
           color[0] == o.color[0] && color[1] == o.color[1] && color[2] == o.color[2] &&
           texture == o.texture;
}

bool SceneStatue::operator==(const SceneStatue& o) const {
    return x == o.x && y == o.y && z == o.z && angle == o.angle && model == o.model &&
           texture == o.texture && shape == o.shape;
}

static std::string texture_name(unsigned texture) {
    const char* name = texture ? texture_file_name(texture) : nullptr;
    return name ? name : "";
}

void scene_read(TrackScene* out) {
    *out = TrackScene{};
    out->slot_count = g_gates.slot_count;
    for (int i = 0; i < g_gates.slot_count; i++) out->slots[i] = g_gates.slots[i];
    out->gates = g_gates.gates;
    for (Gate& g : out->gates) g.marked = 0;
    out->first_lap = g_gates.first_lap;
    out->normal_lap = g_gates.normal_lap;
    for (size_t i = (size_t)g_objects.billboards_kept; i < g_objects.billboards.size(); i++) {
        const Billboard& b = g_objects.billboards[i];
        SceneBillboard s;
        s.x = b.x, s.y = b.file_y, s.z = b.z, s.width = b.width, s.height = b.height;
        for (int c = 0; c < 3; c++) s.color[c] = b.color[c];
        s.texture = texture_name(b.texture);
        out->billboards.push_back(s);
    }
    for (size_t i = (size_t)g_objects.statues_kept; i < g_objects.statues.size(); i++) {
        const Statue& st = g_objects.statues[i];
        SceneStatue s;
        s.x = st.x, s.y = st.file_y, s.z = st.z, s.angle = st.angle;
        s.model = st.model ? st.model->name : "";
        s.texture = texture_name(st.texture);
        s.shape = st.shape ? st.shape->name : "";
        out->statues.push_back(s);
    }
    out->decals_present = g_terrain.decals_present;
    out->decals = g_terrain.decals;
}

static bool slots_equal(const TrackScene& a, const TrackScene& b) {
    if (a.slot_count != b.slot_count) return false;
    for (int i = 0; i < a.slot_count; i++) {
        const StartSlot &p = a.slots[i], &q = b.slots[i];
        if (p.x != q.x || p.y != q.y || p.z != q.z || p.angle != q.angle) return false;
    }
    return true;
}

static bool gates_equal(const TrackScene& a, const TrackScene& b) {
    if (a.gates.size() != b.gates.size() || a.first_lap != b.first_lap ||
        a.normal_lap != b.normal_lap)
        return false;
    for (size_t i = 0; i < a.gates.size(); i++) {
        const Gate &p = a.gates[i], &q = b.gates[i];
        if (p.radius != q.radius) return false;
        for (int k = 0; k < 3; k++)
            if (p.centre[k] != q.centre[k] || p.direction[k] != q.direction[k]) return false;
    }
    return true;
}

static bool decals_equal(const TrackScene& a, const TrackScene& b) {
    if (a.decals_present != b.decals_present || a.decals.size() != b.decals.size()) return false;
    for (size_t i = 0; i < a.decals.size(); i++) {
        const Decal &p = a.decals[i], &q = b.decals[i];
        if (p.texture != q.texture || p.x != q.x || p.z != q.z || p.angle != q.angle ||
            p.size != q.size || p.aspect != q.aspect)
            return false;
    }
    return true;
}

int scene_diff(const TrackScene& a, const TrackScene& b) {
    int bits = 0;
    if (!slots_equal(a, b)) bits |= SCENE_SLOTS;
    if (!gates_equal(a, b)) bits |= SCENE_GATES;
    if (a.billboards != b.billboards) bits |= SCENE_BILLBOARDS;
    if (a.statues != b.statues) bits |= SCENE_STATUES;
    if (!decals_equal(a, b)) bits |= SCENE_DECALS;
    return bits;
}

static int count_segments(const std::vector<int>& refs) {
    int n = 0;
    for (int r : refs) n += r < GATE_INTERMEDIATE;
    return n;
}

// The start gate of a slot: 3 ft ahead of the slot point, facing the same way.
static int add_start_gate(const StartSlot& s) {
    return statue_add(s.x - 3 * std::sin(s.angle), s.y, s.z - 3 * std::cos(s.angle), s.angle,
                      "@startgate.jm", "@startgate.ppm", "@startgate.shp");
}

static void add_statue(const SceneStatue& s) {
    statue_add(s.x, s.y, s.z, s.angle, s.model.c_str(), s.texture.c_str(), s.shape.c_str());
}

// Drops every statue from index `from` on.
static void drop_statues(size_t from) {
    std::vector<Statue>& list = g_objects.statues;
    for (size_t i = from; i < list.size(); i++)
        if (list[i].shape) shape_free(list[i].shape);
    list.resize(from < list.size() ? from : list.size());
}

static void apply_slots(const TrackScene& scene) {
    int count = clamp(scene.slot_count, 0, MAX_START_SLOTS);
    if (count == g_gates.slot_count) {
        // Same number: the start gates move with their slots.
        for (int i = 0; i < count; i++) {
            StartSlot& s = g_gates.slots[i];
            const StartSlot& to = scene.slots[i];
            s.x = to.x, s.y = to.y, s.z = to.z, s.angle = to.angle;
            statue_place(s.statue, s.x - 3 * std::sin(s.angle), s.y, s.z - 3 * std::cos(s.angle),
                         s.angle);
            statue_set_tilt(s.statue, s.bar * START_BAR_ANGLE);
        }
        return;
    }
    // Another number: the statue list is made again, start gates first as the loader has them.
    std::vector<SceneStatue> kept;
    TrackScene now;
    scene_read(&now);
    kept = now.statues;
    drop_statues(0);
    g_gates.slot_count = count;
    for (int i = 0; i < count; i++) {
        StartSlot& s = g_gates.slots[i];
        const StartSlot& to = scene.slots[i];
        s.x = to.x, s.y = to.y, s.z = to.z, s.angle = to.angle;
        s.bar = 0;
        s.statue = add_start_gate(s);
    }
    g_objects.statues_kept = (int)g_objects.statues.size();
    for (const SceneStatue& s : kept) add_statue(s);
}

// The same pictures in the same order: only places and sizes differ.
static bool same_pictures(const std::vector<SceneBillboard>& a,
                          const std::vector<SceneBillboard>& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); i++)
        if (a[i].texture != b[i].texture || a[i].texture.empty()) return false;
    return true;
}

// The same models, skins and shapes in the same order: only places and angles differ.
static bool same_models(const std::vector<SceneStatue>& a, const std::vector<SceneStatue>& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); i++)
        if (a[i].model != b[i].model || a[i].texture != b[i].texture || a[i].shape != b[i].shape)
            return false;
    return true;
}

int scene_apply(const TrackScene& scene) {
    TrackScene now;
    scene_read(&now);
    int bits = scene_diff(now, scene);
    if (bits & SCENE_SLOTS) apply_slots(scene);
    if (bits & SCENE_GATES) {
        g_gates.gates = scene.gates;
        if (g_gates.gates.size() > (size_t)MAX_GATES) g_gates.gates.resize(MAX_GATES);
        for (Gate& g : g_gates.gates) g.marked = 0;
        g_gates.first_lap = scene.first_lap;
        g_gates.normal_lap = scene.normal_lap;
        g_gates.first_segments = count_segments(g_gates.first_lap);
        g_gates.normal_segments = count_segments(g_gates.normal_lap);
    }
    if ((bits & SCENE_BILLBOARDS) && same_pictures(now.billboards, scene.billboards)) {
        // The same pictures in the same order (an object moved or resized): changed in place.
        for (size_t i = 0; i < scene.billboards.size(); i++) {
            const SceneBillboard& b = scene.billboards[i];
            Billboard& to = g_objects.billboards[(size_t)g_objects.billboards_kept + i];
            to.x = b.x, to.z = b.z, to.file_y = b.y, to.width = b.width, to.height = b.height;
            to.y = terrain_height(&g_terrain, b.x, b.z) + b.y;
            for (int c = 0; c < 3; c++) to.color[c] = b.color[c];
        }
    } else if (bits & SCENE_BILLBOARDS) {
        size_t kept = (size_t)g_objects.billboards_kept;
        if (g_objects.billboards.size() > kept) {
            g_objects.billboards.resize(kept);
            g_objects.billboard_slots.resize(kept);
        }
        for (const SceneBillboard& b : scene.billboards) {
            std::string texture_text = b.texture;
            if (b.color[0] != 255 || b.color[1] != 255 || b.color[2] != 255) {
                char colour[16];
                snprintf(colour, sizeof colour, "#%02x%02x%02x#", b.color[0], b.color[1],
                         b.color[2]);
                texture_text = colour + texture_text;
            }
            billboard_add(b.x, b.y, b.z, b.width, b.height, texture_text.c_str());
        }
    }
    if ((bits & SCENE_STATUES) && same_models(now.statues, scene.statues)) {
        for (size_t i = 0; i < scene.statues.size(); i++) {
            const SceneStatue& s = scene.statues[i];
            if (s == now.statues[i]) continue;
            statue_place(g_objects.statues_kept + (int)i, s.x, s.y, s.z, s.angle);
        }
    } else if (bits & SCENE_STATUES) {
        drop_statues((size_t)g_objects.statues_kept);
        for (const SceneStatue& s : scene.statues) add_statue(s);
    }
    if (bits & (SCENE_SLOTS | SCENE_STATUES)) statue_grid_rebuild();
    if (bits & SCENE_DECALS) terrain_decals_set(&g_terrain, scene.decals, scene.decals_present);
    // The track differs from its files now: a network race loads them again.
    if (bits) g_terrain.modified = true;
    return bits;
}

void scene_follow_ground(float x0, float z0, float x1, float z1) {
    auto inside = [&](float x, float z) { return x >= x0 && x <= x1 && z >= z0 && z <= z1; };
    int particles = g_objects.particle_first;
    for (int i = 0; i < (int)g_objects.billboards.size(); i++) {
        // The roost particles place themselves.
        if (particles >= 0 && i >= particles && i < particles + PARTICLE_BILLBOARD_COUNT) continue;
        Billboard& b = g_objects.billboards[i];
        if (inside(b.x, b.z)) b.y = terrain_height(&g_terrain, b.x, b.z) + b.file_y;
    }
    for (int i = 0; i < (int)g_objects.statues.size(); i++) {
        const Statue& s = g_objects.statues[i];
        if (inside(s.x, s.z)) statue_place(i, s.x, s.file_y, s.z, s.angle);
    }
    for (int i = 0; i < g_gates.slot_count; i++) {
        const StartSlot& s = g_gates.slots[i];
        const Statue* st = statue_get(s.statue);
        if (st && inside(st->x, st->z)) statue_set_tilt(s.statue, s.bar * START_BAR_ANGLE);
    }
}

std::string scene_timing_problem(const TrackScene& scene) {
    int gates = (int)scene.gates.size();
    if (gates == 0) return "The track has no timing gates.";
    for (const std::vector<int>* list : {&scene.first_lap, &scene.normal_lap})
        for (int ref : *list) {
            int gate = ref >= GATE_INTERMEDIATE ? ref - GATE_INTERMEDIATE : ref;
            if (gate < 0 || gate >= gates) {
                char text[96];
                snprintf(text, sizeof text, "A lap list names gate %d, which does not exist.",
                         gate + 1);
                return text;
            }
        }
    if (count_segments(scene.first_lap) == 0)
        return scene.first_lap.empty() ? "The first lap lists no gates."
                                       : "The first lap has only intermediate gates.";
    if (count_segments(scene.normal_lap) == 0)
        return scene.normal_lap.empty() ? "The normal lap lists no gates."
                                        : "The normal lap has only intermediate gates.";
    return "";
}

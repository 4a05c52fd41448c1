// Billboards and statues: records, readers, writers and the statue grid.
#include "track/objects.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "data/datafile.h"
#include "data/model.h"
#include "data/save.h"
#include "data/scanner.h"
#include "data/shape.h"
#include "data/texture.h"
#include "platform/log.h"
#include "platform/messages.h"
#include "track/gates.h"
#include "track/terrain.h"
#include "track/track.h"

ObjectState g_objects;

static const float IDENTITY[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};

void objects_free() {
    for (Statue& s : g_objects.statues)
        if (s.shape) shape_free(s.shape);
    // Swapping with fresh vectors returns the memory, clear() would keep it.
    std::vector<Billboard>().swap(g_objects.billboards);
    std::vector<BillboardSlots>().swap(g_objects.billboard_slots);
    std::vector<Statue>().swap(g_objects.statues);
    std::vector<GateFlagger>().swap(g_objects.gate_flaggers);
    for (auto& row : g_objects.grid)
        for (auto& bucket : row) std::vector<int>().swap(bucket);
    std::vector<int>().swap(g_objects.nearby);
    std::unordered_set<std::string>().swap(g_objects.missing_variants);
    g_objects.start_flagger = {};
    g_objects.lap_flagger = {};
    g_objects.particle_first = -1;
    g_objects.billboards_kept = 0;
    g_objects.statues_kept = 0;
}

static bool all_finite(const float* v, int n) {
    for (int i = 0; i < n; i++)
        if (!std::isfinite(v[i])) return false;
    return true;
}

static int hex_digit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// "#RRGGBB#name": the colour and where the name starts; false when the text has no colour.
static bool parse_colour(const char* look, uint8_t rgb[3], const char** name) {
    if (strlen(look) <= 7 || look[0] != '#' || look[7] != '#') return false;
    int d[6];
    for (int i = 0; i < 6; i++)
        if ((d[i] = hex_digit(look[1 + i])) < 0) return false;
    for (int i = 0; i < 3; i++) rgb[i] = (uint8_t)(d[2 * i] * 16 + d[2 * i + 1]);
    *name = look + 8;
    return true;
}

static void billboard_push(const Billboard& b) {
    if (g_objects.billboards.capacity() == 0) {
        g_objects.billboards.reserve(16);
        g_objects.billboard_slots.reserve(16);
    }
    g_objects.billboards.push_back(b);
    g_objects.billboard_slots.push_back(BillboardSlots{{0, 0}});
}

int billboard_add(float x, float y, float z, float width, float height, const char* look) {
    Billboard b{};
    b.x = x;
    b.z = z;
    b.file_y = y;
    b.y = terrain_height(&g_terrain, x, z) + y;
    b.width = width;
    b.height = height;
    b.color[0] = b.color[1] = b.color[2] = b.color[3] = 255;
    if (look && *look) {
        const char* name = look;
        parse_colour(look, b.color, &name);
        if (*name) b.texture = texture_load(name);
    }
    billboard_push(b);
    return (int)g_objects.billboards.size() - 1;
}

int billboards_add_particles(int count) {
    int first = (int)g_objects.billboards.size();
    Billboard b{};
    b.width = b.height = 1;
    b.color[0] = b.color[1] = b.color[2] = b.color[3] = 255;
    for (int i = 0; i < count; i++) billboard_push(b);
    if (count > 0) g_objects.particle_first = first;
    return first;
}

/* "billboards": text records, one after another until one does not match:
 *   [ x y z ] width height look
 * y is the height above the ground; look is a texture name, optionally "#RRGGBB#name".
 */
// Where an object read from `f` may stand: x and z within the track's reach, its height above
// the ground and its size within reason (values beyond are clamped and logged).
static void object_place_check(const DataFile* f, const char* what, float* x, float* y, float* z) {
    std::string name = what;
    *x = data_check_range(f, (name + " x").c_str(), *x, -TRACK_COORD_MAX, TRACK_COORD_MAX, 0);
    *y = data_check_range(f, (name + " y").c_str(), *y, -TRACK_LIFT_MAX, TRACK_LIFT_MAX, 0);
    *z = data_check_range(f, (name + " z").c_str(), *z, -TRACK_COORD_MAX, TRACK_COORD_MAX, 0);
}

int billboards_read(DataFile* f) {
    float v[5];
    char look[1024];
    while (data_scanf(f, " [ %f %f %f ] %f %f %1023s", &v[0], &v[1], &v[2], &v[3], &v[4], look) ==
               6 &&
           all_finite(v, 5)) {
        object_place_check(f, "billboard", &v[0], &v[1], &v[2]);
        v[3] = data_check_range(f, "billboard width", v[3], 0, TRACK_LIFT_MAX, 0);
        v[4] = data_check_range(f, "billboard height", v[4], 0, TRACK_LIFT_MAX, 0);
        billboard_add(v[0], v[1], v[2], v[3], v[4], look);
    }
    return 1;
}

// Saves a file of the current track atomically with a writer of its text; when it cannot be
// saved, logs why and shows "Can't open '<file>'".
static int save_track_file(const char* file, int (*writer)(DataFile*)) {
    DataSave save;
    int ok = data_save_begin(track_file(file).c_str(), &save);
    if (ok) {
        writer(save.file);
        ok = data_save_commit(&save);
    }
    if (!ok) {
        // Whether the file could not be made or not be put in place, it is not there.
        log_printf("Error writing '%s' (%s)\n", file, save.error.c_str());
        char text[128];
        snprintf(text, sizeof text, "Can't open '%s'\n", file);
        post_message(text);
    }
    return ok;
}

int billboards_write_to(DataFile* f) {
    for (size_t i = (size_t)g_objects.billboards_kept; i < g_objects.billboards.size(); i++) {
        const Billboard& b = g_objects.billboards[i];
        const char* name = b.texture ? texture_file_name(b.texture) : nullptr;
        if (!name) continue;
        data_printf(f, "[%f %f %f] %f %f ", b.x, b.file_y, b.z, b.width, b.height);
        if (b.color[0] == 255 && b.color[1] == 255 && b.color[2] == 255)
            data_printf(f, "%s\n", name);
        else
            data_printf(f, "#%02x%02x%02x#%s\n", b.color[0], b.color[1], b.color[2], name);
    }
    return 1;
}

int billboards_write() {
    return save_track_file("billboards", billboards_write_to);
}

// True when a data name can be opened (checked first so that missing variants, the usual
// case, do not log a failed texture load each).
static bool data_exists(const std::string& name) {
    DataFile* f = data_open(name.c_str(), "rb");
    if (!f) return false;
    data_close(f);
    return true;
}

// A normal-map or specular variant of a texture: the name without its extension plus the
// suffix, tried as ".seq", ".png" and ".ppm"; 0 when none loads.
static unsigned texture_variant(const char* base_name, const char* suffix) {
    if (!base_name || !*base_name) return 0;
    std::string base = base_name;
    size_t dot = base.rfind('.');
    size_t slash = base.rfind('/');
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) base.erase(dot);
    base += suffix;
    if (g_objects.missing_variants.count(base)) return 0;
    static const char* const EXTENSIONS[] = {".seq", ".png", ".ppm"};
    for (const char* ext : EXTENSIONS) {
        std::string name = base + ext;
        if (!data_exists(name)) continue;
        unsigned t = texture_load(name.c_str());
        if (t) return t;
    }
    g_objects.missing_variants.insert(base);
    return 0;
}

static void statue_frame(Statue* s, float tilt) {
    float frame[9];
    terrain_ground_frame(&g_terrain, s->x, s->z, s->angle, frame);
    if (tilt == 0) {
        memcpy(s->rot, frame, sizeof frame);
        return;
    }
    // Turn about the model's own sideways axis (third column): R x Rz(tilt).
    float c = std::cos(tilt), sn = std::sin(tilt);
    for (int r = 0; r < 3; r++) {
        float fwd = frame[3 * r], up = frame[3 * r + 1];
        s->rot[3 * r] = c * fwd + sn * up;
        s->rot[3 * r + 1] = -sn * fwd + c * up;
        s->rot[3 * r + 2] = frame[3 * r + 2];
    }
}

int statue_add(float x, float y, float z, float angle, const char* model_name,
               const char* texture_name, const char* shape_name) {
    Statue s{};
    s.x = x;
    s.z = z;
    s.file_y = y;
    s.y = terrain_height(&g_terrain, x, z) + y;
    s.angle = angle;
    s.model = model_name && *model_name ? model_get(model_name) : nullptr;
    s.texture = texture_name && *texture_name ? texture_load(texture_name) : 0;
    s.normal_map = texture_variant(texture_name, "_norm");
    if (!s.normal_map) s.normal_map = texture_variant(model_name, "_norm");
    s.specular = texture_variant(texture_name, "_spec");
    if (!s.specular) s.specular = texture_variant(model_name, "_spec");
    if (shape_name && *shape_name && strcmp(shape_name, "null") != 0) {
        Shape* shape = shape_get(shape_name);
        if (shape) {
            s.shape = shape_copy(shape);
        } else {
            char text[1024];
            snprintf(text, sizeof text, "Warning: missing shape file %.900s", shape_name);
            post_message(text);
        }
    }
    s.upright = angle >= 3.25f ? std::pow(2.0f, angle) : 0.0f;
    statue_frame(&s, 0);
    s.last_contact = -1;
    if (g_objects.statues.capacity() == 0) g_objects.statues.reserve(16);
    g_objects.statues.push_back(s);
    return (int)g_objects.statues.size() - 1;
}

Statue* statue_get(int index) {
    if (index < 0 || index >= (int)g_objects.statues.size()) return nullptr;
    return &g_objects.statues[index];
}

void statue_place(int index, float x, float y, float z, float angle) {
    Statue* s = statue_get(index);
    if (!s) return;
    s->x = x;
    s->z = z;
    s->file_y = y;
    s->y = terrain_height(&g_terrain, x, z) + y;
    s->angle = angle;
    s->upright = angle >= 3.25f ? std::pow(2.0f, angle) : 0.0f;
    statue_frame(s, 0);
}

void statue_set_tilt(int index, float tilt) {
    Statue* s = statue_get(index);
    if (s) statue_frame(s, tilt);
}

/* "statues": text records, one after another until one does not match:
 *   [ x y z ] angle model texture shape
 * y is the height above the ground; the shape "null" means no collision shape.
 */
int statues_read(DataFile* f) {
    float v[4];
    char model[1024], texture[1024], shape[1024];
    while (data_scanf(f, " [ %f %f %f ] %f %1023s %1023s %1023s", &v[0], &v[1], &v[2], &v[3], model,
                      texture, shape) == 7 &&
           all_finite(v, 4)) {
        object_place_check(f, "statue", &v[0], &v[1], &v[2]);
        // 3.25 and above mean "upright, no yaw", so any larger angle keeps its meaning.
        v[3] = data_check_range(f, "statue angle", v[3], -1000, 1000, 0);
        statue_add(v[0], v[1], v[2], v[3], model, texture, shape);
    }
    return 1;
}

int statues_write_to(DataFile* f) {
    for (size_t i = (size_t)g_objects.statues_kept; i < g_objects.statues.size(); i++) {
        const Statue& s = g_objects.statues[i];
        const char* texture = s.texture ? texture_file_name(s.texture) : nullptr;
        if (!texture) continue;
        data_printf(f, "[%f %f %f] %f %s %s %s\n", s.x, s.file_y, s.z, s.angle,
                    s.model ? s.model->name.c_str() : "NULL", texture,
                    s.shape ? s.shape->name.c_str() : "null");
    }
    return 1;
}

int statues_write() {
    return save_track_file("statues", statues_write_to);
}

int statue_bucket(float c) {
    float extent = g_terrain.extent;
    // ((c / extent) - 1/8) x 4/3 x 8, multiplied in this order so that the middle of the
    // field falls exactly on the boundary between buckets 3 and 4.
    double v = ((double)c / extent - 0.125) * 4.0 / 3.0 * 8.0;
    if (!(v >= 0)) return 0; // also catches NaN (no terrain)
    if (v >= STATUE_GRID - 1) return STATUE_GRID - 1;
    return (int)v;
}

void statue_grid_insert(int index) {
    const Statue* s = statue_get(index);
    if (!s || !s->shape) return;
    float r = s->shape->radius;
    int x0 = statue_bucket(s->x - r), x1 = statue_bucket(s->x + r);
    int z0 = statue_bucket(s->z - r), z1 = statue_bucket(s->z + r);
    for (int bz = z0; bz <= z1; bz++)
        for (int bx = x0; bx <= x1; bx++) {
            std::vector<int>& bucket = g_objects.grid[bz][bx];
            if (bucket.capacity() == 0) bucket.reserve(16);
            bucket.push_back(index);
        }
}

void statue_grid_rebuild() {
    for (auto& row : g_objects.grid)
        for (auto& bucket : row) bucket.clear();
    for (int i = 0; i < (int)g_objects.statues.size(); i++) statue_grid_insert(i);
    // Room for every statue, so that the per-tick merge never allocates.
    g_objects.nearby.reserve(g_objects.statues.size());
}

void statues_near_into(float x, float z, std::vector<int>* list) {
    std::vector<int>& out = *list;
    out.clear();
    int x0 = statue_bucket(x - STATUE_REACH), x1 = statue_bucket(x + STATUE_REACH);
    int z0 = statue_bucket(z - STATUE_REACH), z1 = statue_bucket(z + STATUE_REACH);
    if (x0 == x1 && z0 == z1) {
        const std::vector<int>& bucket = g_objects.grid[z0][x0];
        out.insert(out.end(), bucket.begin(), bucket.end());
        return;
    }
    // Several buckets: merge into one ascending list without duplicates.
    for (int bz = z0; bz <= z1; bz++)
        for (int bx = x0; bx <= x1; bx++) {
            const std::vector<int>& bucket = g_objects.grid[bz][bx];
            out.insert(out.end(), bucket.begin(), bucket.end());
        }
    std::sort(out.begin(), out.end());
    out.erase(std::unique(out.begin(), out.end()), out.end());
}

const std::vector<int>& statues_near(float x, float z) {
    statues_near_into(x, z, &g_objects.nearby);
    return g_objects.nearby;
}

void statue_contact_pose(const Statue* s, float pos[3], float rot[9]) {
    pos[0] = s->x, pos[1] = s->y, pos[2] = s->z;
    memcpy(rot, s->upright != 0 ? IDENTITY : s->rot, 9 * sizeof(float));
}

void statue_mark_contact(int index, int tick) {
    if (index >= 0 && index < (int)g_objects.statues.size())
        g_objects.statues[index].last_contact = tick;
}

int statues_collide(float x, float z, int session_tick, StatueContactFn contact, void* ctx) {
    if (!contact) return 0;
    int touched = 0;
    for (int index : statues_near(x, z)) {
        Statue* s = &g_objects.statues[index];
        float pos[3] = {s->x, s->y, s->z};
        if (contact(ctx, index, s, pos, s->upright != 0 ? IDENTITY : s->rot)) {
            statue_mark_contact(index, session_tick);
            touched++;
        }
    }
    return touched;
}

// Reads count texture names (" %1023s " each) and loads them; false when one is missing.
static bool read_textures(DataFile* f, unsigned* out, int count, char first[1024]) {
    char name[1024];
    for (int i = 0; i < count; i++) {
        if (data_scanf(f, " %1023s ", name) != 1) return false;
        if (i == 0) memcpy(first, name, sizeof name);
        out[i] = texture_load(name);
    }
    return true;
}

/* "flaggers": whitespace-separated tokens, read only:
 *   start flagger:     [ x y z ] [ x y z ] width height walk_time  and five texture names
 *   lap-board flagger: [ x y z ] width height  and four texture names
 *   gate flaggers:     [ x y z ] width height g1 g2 g3 g4  and two texture names, repeated
 * Reading stops at the first record that does not match; complete records stay.
 */
static void flaggers_parse(DataFile* f) {
    char first[1024];
    float v[9];
    int gates[4];
    int last_gate = (int)g_gates.gates.size() - 1;

    StartFlagger start{};
    if (data_scanf(f, " [ %f %f %f ] [ %f %f %f ] %f %f %f ", &v[0], &v[1], &v[2], &v[3], &v[4],
                   &v[5], &v[6], &v[7], &v[8]) != 9 ||
        !all_finite(v, 9) || !read_textures(f, start.textures, FLAGGER_START_TEXTURES, first))
        return;
    object_place_check(f, "start flagger", &v[0], &v[1], &v[2]);
    object_place_check(f, "start flagger", &v[3], &v[4], &v[5]);
    v[6] = data_check_range(f, "flagger width", v[6], 0, TRACK_LIFT_MAX, 0);
    v[7] = data_check_range(f, "flagger height", v[7], 0, TRACK_LIFT_MAX, 0);
    v[8] = data_check_range(f, "flagger walk time", v[8], 0, 3600, 0);
    memcpy(start.first, v, sizeof start.first);
    memcpy(start.second, v + 3, sizeof start.second);
    start.walk_time = v[8];
    start.present = 1;
    start.billboard = billboard_add(v[0], v[1], v[2], v[6], v[7], first);
    g_objects.start_flagger = start;

    LapFlagger lap{};
    if (data_scanf(f, " [ %f %f %f ] %f %f ", &v[0], &v[1], &v[2], &v[3], &v[4]) != 5 ||
        !all_finite(v, 5) || !read_textures(f, lap.textures, FLAGGER_LAP_TEXTURES, first))
        return;
    object_place_check(f, "lap flagger", &v[0], &v[1], &v[2]);
    v[3] = data_check_range(f, "flagger width", v[3], 0, TRACK_LIFT_MAX, 0);
    v[4] = data_check_range(f, "flagger height", v[4], 0, TRACK_LIFT_MAX, 0);
    lap.present = 1;
    lap.billboard = billboard_add(v[0], v[1], v[2], v[3], v[4], first);
    g_objects.lap_flagger = lap;

    for (;;) {
        GateFlagger g{};
        unsigned textures[2];
        if (data_scanf(f, " [ %f %f %f ] %f %f %d %d %d %d", &v[0], &v[1], &v[2], &v[3], &v[4],
                       &gates[0], &gates[1], &gates[2], &gates[3]) != 9 ||
            !all_finite(v, 5) || !read_textures(f, textures, 2, first))
            return;
        object_place_check(f, "gate flagger", &v[0], &v[1], &v[2]);
        v[3] = data_check_range(f, "flagger width", v[3], 0, TRACK_LIFT_MAX, 0);
        v[4] = data_check_range(f, "flagger height", v[4], 0, TRACK_LIFT_MAX, 0);
        for (int i = 0; i < 4; i++) g.gates[i] = std::clamp(gates[i], -1, std::max(last_gate, -1));
        g.normal = textures[0];
        g.warning = textures[1];
        g.billboard = billboard_add(v[0], v[1], v[2], v[3], v[4], first);
        if (g_objects.gate_flaggers.capacity() == 0) g_objects.gate_flaggers.reserve(16);
        g_objects.gate_flaggers.push_back(g);
    }
}

int flaggers_read(const char* path) {
    DataFile* f = data_open(path, "r");
    if (!f) return 1;
    flaggers_parse(f);
    data_close(f);
    return 1;
}

void flaggers_update(double t, int cue_tick, int leader_passed, int final_lap, int halfway_lap) {
    std::vector<Billboard>& bb = g_objects.billboards;
    const StartFlagger& start = g_objects.start_flagger;
    if (start.present && start.billboard >= 0 && start.billboard < (int)bb.size()) {
        float f;
        int k = flagger_start_texture(t, cue_tick, start.walk_time, &f);
        Billboard& b = bb[start.billboard];
        b.texture = start.textures[k];
        b.x = start.first[0] + (start.second[0] - start.first[0]) * f;
        b.z = start.first[2] + (start.second[2] - start.first[2]) * f;
        b.file_y = start.first[1] + (start.second[1] - start.first[1]) * f;
        b.y = terrain_height(&g_terrain, b.x, b.z) + b.file_y;
    }
    const LapFlagger& lap = g_objects.lap_flagger;
    if (lap.present && lap.billboard >= 0 && lap.billboard < (int)bb.size())
        bb[lap.billboard].texture =
            lap.textures[flagger_lap_texture(leader_passed, final_lap, halfway_lap)];
    for (const GateFlagger& g : g_objects.gate_flaggers) {
        if (g.billboard < 0 || g.billboard >= (int)bb.size()) continue;
        bool warn = false;
        for (int gate : g.gates)
            if (gate >= 0 && gate < (int)g_gates.gates.size() && g_gates.gates[gate].marked)
                warn = true;
        bb[g.billboard].texture = warn ? g.warning : g.normal;
    }
}

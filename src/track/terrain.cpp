// Loading, saving and freeing the terrain of a track folder.
#include "track/terrain.h"

#include <cmath>
#include <cstring>

#include "core/settings.h"
#include "data/datafile.h"
#include "data/image.h"
#include "data/save.h"
#include "data/scanner.h"
#include "platform/digest.h"
#include "platform/log.h"
#include "track/terrain_internal.h"

Terrain g_terrain;
static TerrainHooks g_terrain_hooks;

static std::string file_in(const char* folder, const char* name) {
    return path_join(folder, (std::string("/") + name).c_str());
}

static bool verbose() {
    return g_settings.debug_level >= 1;
}

// Owns an open stream for the length of a block.
struct StreamHold {
    DataFile* f;
    explicit StreamHold(DataFile* file) : f(file) {}
    ~StreamHold() {
        if (f) data_close(f);
    }
    StreamHold(const StreamHold&) = delete;
    StreamHold& operator=(const StreamHold&) = delete;
};

static void log_cant_open(const std::string& path) {
    log_printf("Can't open '%.950s'\n", path.c_str());
}

// "terrain.hf" and, when its samples are not inline, "terrain.png". The samples, two bytes
// each with the low byte first, go into the digest in sample order.
static int read_heights(Terrain* t, const char* folder) {
    std::string path = file_in(folder, "terrain.hf");
    StreamHold hf(data_open(path.c_str(), "rb"));
    if (!hf.f) {
        log_cant_open(path);
        return 0;
    }
    int shift = 0;
    float spacing = 0, lo = 0, hi = 0;
    int n = data_scanf(hf.f, "%d %f %f %f ", &shift, &spacing, &lo, &hi);
    // Beyond the four numbers, sizes that could not be a real track are refused here rather
    // than allocated: the field would need gigabytes, or its geometry would be undefined.
    if (n != 4 || shift < 0 || shift > TERRAIN_MAX_SHIFT || !(spacing > 0) ||
        !std::isfinite(spacing) || !std::isfinite(lo) || !std::isfinite(hi) ||
        !std::isfinite(spacing * (float)(2 << shift))) {
        log_printf("Bad height field parameters\n");
        log_printf("Error reading heights\n");
        return 0;
    }
    // Physical sizes: a spacing no ground could have is refused; heights far beyond any track are
    // held at TERRAIN_HEIGHT_READ_MAX, so contacts and placement stay in float range.
    if (spacing < TERRAIN_SPACING_MIN || spacing > TERRAIN_SPACING_MAX) {
        log_printf("Warning: %.300s: sample spacing %g out of range (%g to %g)\n",
                   data_file_label(hf.f), (double)spacing, (double)TERRAIN_SPACING_MIN,
                   (double)TERRAIN_SPACING_MAX);
        log_printf("Bad height field parameters\n");
        log_printf("Error reading heights\n");
        return 0;
    }
    lo = data_check_range(hf.f, "minimum height", lo, -TERRAIN_HEIGHT_READ_MAX,
                          TERRAIN_HEIGHT_READ_MAX, 0);
    hi = data_check_range(hf.f, "maximum height", hi, -TERRAIN_HEIGHT_READ_MAX,
                          TERRAIN_HEIGHT_READ_MAX, 0);
    t->shift = shift;
    t->tiles = 1 << shift;
    t->samples = 2 * t->tiles + 1;
    t->spacing = spacing;
    t->tile_size = 2 * spacing;
    t->extent = (float)(2 * t->tiles) * spacing;
    t->min_height = lo;
    t->max_height = hi;
    size_t count = (size_t)t->samples * t->samples;
    std::vector<uint16_t> values(count, 0);

    if (data_getc(hf.f) == ':') {
        // Inline samples. A block cut short leaves the missing samples at 0, the minimum
        // height, instead of reading past the data.
        uint8_t* bytes = reinterpret_cast<uint8_t*>(values.data());
        data_read(hf.f, bytes, count * 2);
        for (size_t k = 0; k < count; k++)
            values[k] = (uint16_t)(bytes[2 * k] | bytes[2 * k + 1] << 8);
    } else {
        int w = 0, h = 0;
        std::vector<uint16_t> image;
        std::string png = file_in(folder, "terrain.png");
        if (image_load_png_grey16(png.c_str(), &w, &h, &image) && w > 0 && h > 0 &&
            image.size() >= (size_t)w * h) {
            int P = t->samples;
            for (int j = 0; j < P; j++) {
                const uint16_t* row = &image[(size_t)w * (j < h ? j : h - 1)];
                for (int i = 0; i < P; i++)
                    values[(size_t)i + (size_t)P * j] = row[i < w ? i : w - 1];
            }
        }
    }

    Digest digest;
    digest_begin(&digest);
    t->heights.resize(count);
    float scale = (hi - lo) / 65535.0f;
    for (size_t k = 0; k < count; k++) {
        uint8_t pair[2] = {(uint8_t)(values[k] & 255), (uint8_t)(values[k] >> 8)};
        digest_add(&digest, pair, 2);
        t->heights[k] = lo + (float)values[k] * scale;
    }
    digest_end(&digest, t->digest);
    if (g_settings.debug_level >= 2)
        log_printf("Height samples digest %s\n", digest_hex(t->digest).c_str());
    return 1;
}

// Opens an image file and reads its magic token, as the texture loader does. 1 with the stream
// positioned after the token; 0 when the file is missing.
static DataFile* open_image(const std::string& path, char magic[16]) {
    DataFile* f = data_open(path.c_str(), "rb");
    if (!f) return nullptr;
    magic[0] = 0;
    if (data_scanf(f, "%15s", magic) != 1) magic[0] = 0;
    return f;
}

static int read_shading(Terrain* t, const char* folder) {
    char magic[16];
    bool halve = false;
    std::string path = file_in(folder, "shadingx2.ppm");
    StreamHold file(open_image(path, magic));
    if (!file.f) {
        path = file_in(folder, "shading.ppm");
        file.f = open_image(path, magic);
        halve = true;
        if (!file.f) {
            log_cant_open(path);
            return 0;
        }
    }
    Image image;
    if (!image_read_ppm(file.f, magic, &image, 0) || image.channels != 3 ||
        image.pixels.size() < (size_t)image.width * image.height * 3) {
        log_printf("Error reading shading\n");
        return 0;
    }
    if (image.width != t->samples || image.height != t->samples) {
        log_printf("Bad shading dimensions (%dx%d)\n", image.width, image.height);
        return 0;
    }
    size_t n = (size_t)t->samples * t->samples * 3;
    t->shading.assign(image.pixels.begin(), image.pixels.begin() + n);
    if (halve)
        for (uint8_t& c : t->shading) c >>= 1;
    return 1;
}

// Reads the surface types; a table left empty gets one default type, so that every tile byte
// still names a type.
static int read_surfaces(Terrain* t, const char* folder) {
    std::string path = file_in(folder, "tileinfo");
    StreamHold file(data_open(path.c_str(), "rb"));
    int ok;
    if (file.f) {
        ok = surface_types_read_tileinfo(t, file.f);
    } else {
        path = file_in(folder, "texturelist");
        file.f = data_open(path.c_str(), "rb");
        if (!file.f) {
            log_cant_open(path);
            log_printf("Error reading tileinfo\n");
            return 0;
        }
        ok = surface_types_read_texturelist(t, file.f);
    }
    if (!ok) {
        log_printf("Error reading tileinfo\n");
        return 0;
    }
    if (t->surfaces.empty()) {
        log_printf("Warning: no surface types in '%.900s', using one default type\n", path.c_str());
        t->surfaces.emplace_back();
    }
    terrain_blend_codes(t);
    return 1;
}

static int read_tilemap(Terrain* t, const char* folder) {
    std::string path = file_in(folder, "tilemap");
    StreamHold file(data_open(path.c_str(), "rb"));
    if (!file.f) {
        log_cant_open(path);
        return 0;
    }
    size_t n = (size_t)t->tiles * t->tiles;
    t->tilemap.assign(n, 0);
    size_t got = data_read(file.f, t->tilemap.data(), n);
    if (got < n) log_printf("Warning: tilemap has %zu of %zu tiles\n", got, n);
    int last = (int)t->surfaces.size() - 1;
    for (uint8_t& b : t->tilemap)
        if (b > last) b = (uint8_t)last;
    return 1;
}

static int read_shadows(Terrain* t, const char* folder) {
    size_t n = (size_t)t->samples * t->samples;
    char magic[16];
    StreamHold file(open_image(file_in(folder, "shadows.pgm"), magic));
    if (!file.f) {
        t->shadows.assign(n, 0);
        return 1;
    }
    Image image;
    if (!image_read_pgm(file.f, magic, &image) || image.channels != 1 ||
        image.pixels.size() < (size_t)image.width * image.height) {
        log_printf("Error reading shadows\n");
        return 0;
    }
    if (image.width != t->samples || image.height != t->samples) {
        log_printf("Bad shadow dimensions (%dx%d)\n", image.width, image.height);
        return 0;
    }
    t->shadows.resize(n);
    for (size_t k = 0; k < n; k++) t->shadows[k] = (uint8_t)(255 - image.pixels[k]);
    return 1;
}

static void read_decals(Terrain* t, const char* folder) {
    std::string path = file_in(folder, "decals");
    StreamHold file(data_open(path.c_str(), "rb"));
    if (!file.f) return;
    t->decals_present = true;
    for (;;) {
        float x, z, angle, size, aspect;
        char name[1024];
        // The leading blank lets a record start after the previous one's line end; without it
        // only the first record of a file could ever be read.
        if (data_scanf(file.f, " [ %f %f ] %f %f %f %1023s", &x, &z, &angle, &size, &aspect,
                       name) != 6)
            break;
        x = data_check_range(file.f, "decal x", x, -TRACK_COORD_MAX, TRACK_COORD_MAX, 0);
        z = data_check_range(file.f, "decal z", z, -TRACK_COORD_MAX, TRACK_COORD_MAX, 0);
        angle = data_check_range(file.f, "decal angle", angle, -1000, 1000, 0);
        size = data_check_range(file.f, "decal size", size, 0, TRACK_COORD_MAX, 0);
        aspect = data_check_range(file.f, "decal aspect", aspect, 0, 1000, 1);
        unsigned texture = terrain_texture_load(name);
        if (!texture) continue;
        terrain_decal_add(t, texture, x, z, angle, size, aspect);
    }
}

int terrain_load(Terrain* t, const char* folder) {
    terrain_free(t);
    t->folder = folder;
    if (!read_heights(t, folder)) goto fail;
    terrain_lowdetail_alloc(t);
    if (!read_shading(t, folder)) goto fail;
    if (verbose())
        log_printf("%lu bytes texture memory used before ground tiles loaded\n",
                   terrain_texture_memory());
    if (!read_surfaces(t, folder)) goto fail;
    if (verbose())
        log_printf("%lu bytes texture memory used after ground tiles loaded\n",
                   terrain_texture_memory());
    if (!read_tilemap(t, folder)) goto fail;
    if (verbose())
        log_printf("%dx%d low detail textures needed for %dx%d field\n", t->lowdetail_count,
                   t->lowdetail_count, t->samples, t->samples);
    if (g_terrain_hooks.shading_read) g_terrain_hooks.shading_read(t);
    if (verbose())
        log_printf("%lu bytes texture memory used after low detail ground textures\n",
                   terrain_texture_memory());
    if (!read_shadows(t, folder)) goto fail;
    read_decals(t, folder);
    if (g_terrain_hooks.loaded) g_terrain_hooks.loaded(t);
    t->modified = false;
    t->deformation_locked = false;
    return 1;
fail:
    terrain_free(t);
    return 0;
}

void terrain_set_hooks(const TerrainHooks* hooks) {
    g_terrain_hooks = hooks ? *hooks : TerrainHooks{};
}

void terrain_free(Terrain* t) {
    if (g_terrain_hooks.freeing) g_terrain_hooks.freeing(t);
    *t = Terrain();
}

// Opens one file of the terrain's folder in a save set; logs "Can't open '<file>'" when it
// cannot be created.
static DataFile* save_file(DataSaveSet* set, const char* folder, const char* file) {
    DataFile* f = data_save_set_add(set, file_in(folder, file).c_str());
    if (!f) log_printf("Can't open '%s'\n", file);
    return f;
}

/* What the writer puts into the folder (the loader reads the same):
 *   "terrain.hf"     "%d %f %f %f\n": shift, spacing and the smallest and largest sample
 *   "terrain.png"    P x P 16-bit grey, v = (h - min) / (max - min) x 65535 + 0.5, truncated
 *   "shading.ppm"    "P6\n%d %d\n255\n" and every stored channel c as min(2c, 255)
 *   "shadingx2.ppm"  the same header and the stored channels as they are
 *   "shadows.pgm"    "P5\n%d %d\n255\n" and 255 - shadow per sample (the loader inverts it)
 *   "tilemap"        the N x N bytes
 *   "decals"         "[%f %f] %f %f %f %s\n" per decal, only when the decal list exists
 * The shadows are written too: without them a copy of a track in the per-user folder would
 * be shaded from the shadows of the game's own copy, and a new track would have none.
 */
int terrain_save_to(Terrain* t, DataSaveSet* set) {
    const char* folder = t->folder.c_str();
    int P = t->samples;
    size_t count = (size_t)P * P;
    if (count == 0 || t->heights.size() != count) return 0;
    float lo = t->heights[0], hi = t->heights[0];
    for (float h : t->heights) lo = h < lo ? h : lo, hi = h > hi ? h : hi;
    t->min_height = lo;
    t->max_height = hi;

    DataFile* f = save_file(set, folder, "terrain.hf");
    if (!f) return 0;
    data_printf(f, "%d %f %f %f\n", t->shift, t->spacing, lo, hi);
    std::vector<uint16_t> values(count);
    for (size_t k = 0; k < count; k++) {
        // A flat field has no range to scale; every sample is the minimum.
        double v = hi > lo ? (t->heights[k] - lo) / (double)(hi - lo) * 65535.0 + 0.5 : 0.0;
        values[k] = (uint16_t)(v < 0 ? 0 : (v > 65535 ? 65535 : v));
    }
    if (!(f = save_file(set, folder, "terrain.png"))) return 0;
    if (!image_write_png_grey16_to(f, P, P, values.data())) {
        if (set->error.empty()) set->error = "terrain.png: write failed";
        return 0;
    }
    for (int doubled = 1; doubled >= 0; doubled--) {
        const char* name = doubled ? "shading.ppm" : "shadingx2.ppm";
        if (!(f = save_file(set, folder, name))) return 0;
        data_printf(f, "P6\n%d %d\n255\n", P, P);
        std::vector<uint8_t> out(t->shading);
        out.resize(count * 3, 0);
        if (doubled)
            for (uint8_t& c : out) c = c >= 128 ? 255 : (uint8_t)(2 * c);
        data_write(f, out.data(), out.size());
    }
    if (!(f = save_file(set, folder, "shadows.pgm"))) return 0;
    data_printf(f, "P5\n%d %d\n255\n", P, P);
    std::vector<uint8_t> lit(count, 255);
    for (size_t k = 0; k < count && k < t->shadows.size(); k++)
        lit[k] = (uint8_t)(255 - t->shadows[k]);
    data_write(f, lit.data(), lit.size());
    if (!(f = save_file(set, folder, "tilemap"))) return 0;
    data_write(f, t->tilemap.data(), t->tilemap.size());
    if (t->decals_present) {
        if (!(f = save_file(set, folder, "decals"))) return 0;
        for (const Decal& d : t->decals)
            data_printf(f, "[%f %f] %f %f %f %s\n", d.x, d.z, d.angle, d.size, d.aspect,
                        terrain_texture_file_name(d.texture).c_str());
    }
    return 1;
}

int terrain_save(Terrain* t) {
    DataSaveSet set;
    if (!terrain_save_to(t, &set)) {
        data_save_set_abort(&set);
        return 0;
    }
    if (!data_save_set_commit(&set)) {
        log_printf("Can't save '%s': %s\n", t->folder.c_str(), set.error.c_str());
        return 0;
    }
    return 1;
}

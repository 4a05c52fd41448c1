// Loading and freeing a bike: its collision shapes, textures and models (with texture-named
// model variants and fallbacks to the record's own files), the plate, the rigid bodies and
// the defaults.
#include <cstring>

#include "bike/bike.h"
#include "bike/contact.h"
#include "bike/rider.h"
#include "bike/world.h"
#include "data/image.h"
#include "platform/log.h"
#include "data/plate_font.h"

#include "data/model.h"
#include "data/shape.h"
#include "data/texture.h"

BikeGlobals g_bikes;

// ---- The bike's only contact with the texture, model and shape managers ----

// A cached texture by name; 0 when it cannot be loaded.
static unsigned asset_texture(const char* name) {
    return texture_load(name);
}

// A texture made from an image of the bike's own (level 0 only); 0 when none was made.
static unsigned asset_texture_from_image(Image* image) {
    return texture_create_any(image, 0, 0, 0);
}

// A cached model by name; null when it cannot be loaded.
static Model* asset_model(const char* name) {
    return model_get(name);
}

// A private copy of a cached shape (the contact code moves its spheres); null when it cannot
// be loaded. Freed with asset_shape_free.
static Shape* asset_shape(const char* name) {
    const Shape* shape = shape_get(name);
    return shape ? shape_copy(shape) : nullptr;
}

static void asset_shape_free(Shape* shape) {
    shape_free(shape);
}

// Plate textures are kept per plate text for the whole run: the texture manager has no way
// to delete a single texture, and the same numbers come back at every session start.
static unsigned plate_texture(const char* text) {
    for (const auto& plate : g_bikes.plates)
        if (plate.first == text) return plate.second;
    Image image;
    bike_plate_image(text, &image);
    unsigned texture = asset_texture_from_image(&image);
    if (texture) g_bikes.plates.emplace_back(text, texture);
    return texture;
}

// ---- Files ----

namespace {

// The models of each texture group; the first one decides whether the group's texture works.
constexpr int GROUP_MODELS[BIKE_TEX_COUNT][7] = {
    {BIKE_MODEL_FRAME, BIKE_MODEL_FORK_UPPER, BIKE_MODEL_FORK_LOWER, BIKE_MODEL_SWINGARM,
     BIKE_MODEL_SIDE_PLATES, BIKE_MODEL_FRONT_PLATE, -1},
    {BIKE_MODEL_FRONT_WHEEL, BIKE_MODEL_REAR_WHEEL, -1},
    {BIKE_MODEL_RIDER_BODY, BIKE_MODEL_RIDER_PLATE, BIKE_MODEL_RIDER_BODY_FP, -1},
    {BIKE_MODEL_RIDER_HEAD, -1},
};

bool given(const char* name) {
    return name && name[0];
}

// Loads a model drawn with `texture`: its texture-named variants first, then the plain name.
// *folder_variant names the variant tried in the texture's folder ("" when none), for the
// warning.
Model* load_model_variant(const char* model, const char* texture, std::string* folder_variant) {
    std::string names[2];
    int n = texture ? bike_model_variants(model, texture, names) : 0;
    for (int i = 0; i < n; i++) {
        if (Model* m = asset_model(names[i].c_str())) return m;
    }
    folder_variant->clear();
    if (n == 2) *folder_variant = names[1];
    return asset_model(model);
}

void warn_missing(const char* model, const std::string& folder_variant) {
    if (folder_variant.empty())
        log_printf("Warning: Can't load %.900s\n", model);
    else
        log_printf("Warning: Can't load %.450s or %.450s\n", folder_variant.c_str(), model);
}

// Loads a group's models for the texture in use; with warn set, a model that cannot be
// loaded is logged.
void load_group_models(Bike* bike, int group, bool warn) {
    const char* texture = bike->texture_names[group].c_str();
    for (int k = 0; GROUP_MODELS[group][k] >= 0; k++) {
        int role = GROUP_MODELS[group][k];
        std::string folder_variant;
        const char* name = bike->info.files.model[role];
        bike->models[role] = load_model_variant(name, texture, &folder_variant);
        if (!bike->models[role] && warn) warn_missing(name, folder_variant);
    }
}

// Steps 2 to 4 of the load for one texture group: the given texture and its models; when
// the texture or the group's main model fails, the record's texture and plain models.
void load_group(Bike* bike, int group, const char* given_texture) {
    bool ok = false;
    if (given(given_texture)) {
        bike->textures[group] = asset_texture(given_texture);
        if (bike->textures[group]) {
            bike->texture_names[group] = given_texture;
            load_group_models(bike, group, false);
            ok = bike->models[GROUP_MODELS[group][0]] != nullptr;
        }
    }
    if (ok) {
        // The given texture stays; its models that are still missing are reported once.
        for (int k = 0; GROUP_MODELS[group][k] >= 0; k++) {
            int role = GROUP_MODELS[group][k];
            if (!bike->models[role]) {
                std::string names[2];
                const char* name = bike->info.files.model[role];
                int n = bike_model_variants(name, given_texture, names);
                warn_missing(name, n == 2 ? names[1] : std::string());
            }
        }
        return;
    }
    const char* fallback = bike->info.files.texture[group];
    bike->textures[group] = asset_texture(fallback);
    if (!bike->textures[group]) log_printf("Warning: Can't load %.900s\n", fallback);
    bike->texture_names[group] = fallback;
    load_group_models(bike, group, true);
}

// "name.ext" -> "name" (the extension after the last "/" only).
std::string strip_extension(const std::string& name) {
    size_t slash = name.find_last_of('/');
    size_t dot = name.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return name;
    return name.substr(0, dot);
}

// Normal or specular map of a texture group: suffix on the texture in use, then on the
// record's own texture, each with ".seq", ".png" and ".ppm"; the first that loads.
unsigned load_map(const Bike* bike, int group, const char* suffix) {
    static const char* const EXTENSIONS[] = {".seq", ".png", ".ppm"};
    std::string bases[2] = {strip_extension(bike->texture_names[group]),
                            strip_extension(bike->info.files.texture[group])};
    for (int b = 0; b < 2; b++) {
        if (b == 1 && bases[1] == bases[0]) break;
        for (const char* ext : EXTENSIONS) {
            std::string name = bases[b] + suffix + ext;
            if (unsigned t = asset_texture(name.c_str())) return t;
        }
    }
    return 0;
}

// A 5 x 7 dot font for the race number, one byte per row, bit 4 the leftmost column.
constexpr uint8_t DIGITS[10][7] = {
    {0x0e, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0e}, {0x04, 0x0c, 0x04, 0x04, 0x04, 0x04, 0x0e},
    {0x0e, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1f}, {0x1f, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0e},
    {0x02, 0x06, 0x0a, 0x12, 0x1f, 0x02, 0x02}, {0x1f, 0x10, 0x1e, 0x01, 0x01, 0x11, 0x0e},
    {0x06, 0x08, 0x10, 0x1e, 0x11, 0x11, 0x0e}, {0x1f, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08},
    {0x0e, 0x11, 0x11, 0x0e, 0x11, 0x11, 0x0e}, {0x0e, 0x11, 0x11, 0x0f, 0x01, 0x02, 0x0c},
};

} // namespace

int bike_model_variants(const char* model, const char* texture, std::string out[2]) {
    if (!model || !texture) return 0;
    const char* slash = strrchr(texture, '/');
    const char* file = slash ? slash + 1 : texture;
    const char* first = strchr(file, '-');
    const char* second = first ? strchr(first + 1, '-') : nullptr;
    if (!second) return 0;
    std::string variant(first, (size_t)(second - first));

    std::string name = model;
    size_t model_slash = name.find_last_of('/');
    size_t dot = name.find_last_of('.');
    if (dot == std::string::npos || (model_slash != std::string::npos && dot < model_slash))
        dot = name.size();
    out[0] = name.substr(0, dot) + variant + name.substr(dot);
    if (!slash) return 1;

    // The variant's base name (no folder, no "@") in the texture's folder.
    size_t base_start = out[0].find_last_of('/');
    std::string base = out[0].substr(base_start == std::string::npos ? 0 : base_start + 1);
    if (!base.empty() && base[0] == '@') base.erase(0, 1);
    out[1] = std::string(texture, (size_t)(slash + 1 - texture)) + base;
    return 2;
}

void bike_plate_image(const char* text, Image* out) {
    // Lettered with the game's font when the data has it; block figures otherwise.
    if (plate_font_image(text, out)) return;
    const int size = BIKE_PLATE_SIZE;
    out->width = out->height = size;
    out->channels = 3;
    out->max_alpha = 0;
    out->pixels.assign((size_t)size * size * 3, 255);
    int n = (int)strnlen(text ? text : "", BIKE_PLATE_CHARS);
    if (n == 0) return;
    // Each character is a 5 x 7 cell plus one column of spacing, scaled to fill the plate.
    int scale = (size - 8) / (6 * n - 1);
    if (scale > (size - 8) / 7) scale = (size - 8) / 7;
    if (scale < 1) scale = 1;
    int width = (6 * n - 1) * scale, height = 7 * scale;
    int x0 = (size - width) / 2, y0 = (size - height) / 2;
    for (int c = 0; c < n; c++) {
        char ch = text[c];
        if (ch < '0' || ch > '9') continue; // other characters leave a gap
        const uint8_t* glyph = DIGITS[ch - '0'];
        for (int row = 0; row < 7; row++) {
            for (int col = 0; col < 5; col++) {
                if (!(glyph[row] & (0x10 >> col))) continue;
                for (int y = 0; y < scale; y++) {
                    for (int x = 0; x < scale; x++) {
                        int px = x0 + (c * 6 + col) * scale + x, py = y0 + row * scale + y;
                        uint8_t* p = &out->pixels[((size_t)py * size + px) * 3];
                        p[0] = p[1] = p[2] = 0;
                    }
                }
            }
        }
    }
}

Bike* bike_load(const char* name, int tag, const char* number, const char* rider_texture,
                const char* head_texture, const char* bike_texture, const char* wheel_texture) {
    // 1. The record and a bike with empty handles.
    const BikeInfo* info = bike_info_find(name);
    if (!g_physics.world) {
        log_printf("Warning: no physics world for bike '%.20s'\n", info->name);
        return nullptr;
    }
    Bike* bike = new Bike{};
    bike->info = *info;

    // 2. Collision shapes, one per body; a missing one only loses that body's contacts.
    for (int i = 0; i < BIKE_BODY_COUNT; i++) {
        bike->shapes[i] = asset_shape(info->files.shape[i]);
        if (!bike->shapes[i]) log_printf("Warning: Can't load %.900s\n", info->files.shape[i]);
    }

    // 3, 4. Textures and their models, falling back to the record's files per group.
    load_group(bike, BIKE_TEX_BIKE, bike_texture);
    load_group(bike, BIKE_TEX_WHEELS, wheel_texture);
    load_group(bike, BIKE_TEX_RIDER, rider_texture);
    load_group(bike, BIKE_TEX_HEAD, head_texture);

    // 5. Normal and specular maps, unless the renderer's shading level rules them out.
    for (int g = 0; g < BIKE_TEX_COUNT; g++) {
        int level = g_bikes.shading_level;
        if (level < 0 || level >= 2) bike->normal_maps[g] = load_map(bike, g, "_norm");
        if (level < 0 || level >= 3) bike->specular_maps[g] = load_map(bike, g, "_spec");
    }

    // 6. The plate.
    strncpy(bike->plate, number ? number : "", BIKE_PLATE_CHARS);
    bike->plate[BIKE_PLATE_CHARS] = 0;
    bike->plate_texture = plate_texture(bike->plate);

    // 7, 8. Bodies, joints and their feedback (the race session keeps its lists per rider).
    bike_build_bodies(bike);

    // 9. Defaults.
    bike_setup_defaults(bike);

    // 10. At rest, with its tag (the total mass was summed when the bodies were built).
    bike_reset(bike);
    bike->tag = tag;
    // The contact code throws riders off through the rider model.
    g_contacts.crash = rider_crash_start;
    return bike;
}

void bike_free(Bike* bike) {
    if (!bike) return;
    bike_destroy_bodies(bike);
    for (Shape*& shape : bike->shapes) {
        if (shape) asset_shape_free(shape);
        shape = nullptr;
    }
    delete bike;
}

void bikes_set_shading_level(int level) {
    g_bikes.shading_level = level;
}

void bikes_reset() {
    g_bikes = BikeGlobals{};
    plate_font_reset(); // the plates' lettering may come from another data folder next time
}

const char* bike_name(const Bike* bike) {
    return bike->info.name;
}
const char* bike_plate_text(const Bike* bike) {
    return bike->plate;
}
int bike_two_stroke(const Bike* bike) {
    return bike->info.two_stroke;
}
int bike_info_gear_count(const BikeInfo* info) {
    int gears = 0;
    for (float r : info->gear_ratio) gears += r > 0;
    return gears;
}

int bike_gear_count(const Bike* bike) {
    return bike_info_gear_count(&bike->info);
}

int bike_gear(const Bike* bike) {
    return bike->gear;
}
int bike_crash_countdown(const Bike* bike) {
    return bike->crash_countdown;
}

// New tracks: a flat field or one shaped by a 16-bit grey PNG height map, with a default set of
// surface types, lighting and a title, written into the per-user folder, added to the track
// list and loaded for editing. The shading and shadows are worked out from the new track's own
// lighting once it is loaded, and saved with it.
#include <cctype>
#include <cmath>
#include <cstdio>

#include "core/maths.h"
#include "data/datafile.h"
#include "data/image.h"
#include "data/save.h"
#include "editor/editor_internal.h"
#include "platform/messages.h"
#include "race/session.h"
#include "render/ground.h"
#include "track/track.h"
#include "track/tracklist.h"

namespace {

// The surface types a new track starts with; the first (grass) covers the whole field.
const char DEFAULT_TILEINFO[] =
    "texture @textures/grass.png\n"
    "friction 0.85 5\nfriction 0.75 40\nfriction 0.65 90\n"
    "roll_resist 5 18 10\nroll_resist 7 24 60\n"
    "roost texture=@roost.png count=3 dig=0.3 size=0.2 grow=2 r=85 g=105 b=55 fade_a=-256\n"
    "addtile\n"
    "texture @textures/dirt.png\n"
    "friction 1.1 5\nfriction 1 40\nfriction 0.95 90\n"
    "roll_resist 4 14 10\nroll_resist 6 20 60\n"
    "roost texture=@roost.png count=6 dig=1 size=0.2 grow=3 drag=0.6 r=115 g=85 b=58 "
    "fade_a=-256\n"
    "addtile\n"
    "texture @textures/hardpack.png\n"
    "friction 1.2 5\nfriction 1.05 50\nfriction 0.95 100\n"
    "roll_resist 3 8 10\nroll_resist 5 12 60\n"
    "roost texture=@roost.png count=3 dig=0.4 size=0.15 grow=2 r=105 g=88 b=68 fade_a=-384\n"
    "addtile\n"
    "texture @textures/sand.png\n"
    "friction 0.8 5\nfriction 0.75 40\nfriction 0.7 80\n"
    "roll_resist 8 50 10\nroll_resist 12 70 60\n"
    "roost texture=@roost.png count=12 dig=1.5 size=0.15 grow=2.5 drag=0.7 slow_angle=1.2 "
    "r=215 g=190 b=140 fade_a=-256\n"
    "addtile\n"
    "texture @textures/mud.png\n"
    "friction 0.6 5\nfriction 0.5 40\nfriction 0.45 80\n"
    "roll_resist 12 60 10\nroll_resist 18 80 60\n"
    "roost texture=@roost.png count=4 dig=0.8 size=0.3 grow=0.5 drag=0.4 r=62 g=45 b=30 "
    "fade_a=-128\n"
    "addtile\n"
    "texture @textures/concrete.png\n"
    "friction 1.3 5\nfriction 1.2 60\nfriction 1.1 100\n"
    "roll_resist 2 3 10\nroll_resist 4 5 60\n"
    "addtile\n";

// An afternoon sun; the sky sides are the game's default pictures.
const char DEFAULT_LIGHTING[] = "sun_vector [ 0.56 0.53 -0.63 ]\n"
                                "sun_color [ 0.78 0.74 0.66 ]\n"
                                "ambient [ 0.44 0.46 0.52 ]\n"
                                "global_ambient [ 0.2 0.2 0.2 ]\n"
                                "fog [ 0.72 0.8 0.9 ] 0.0004\n";

bool refuse(NewTrackForm* form, const std::string& why) {
    form->error = why;
    post_message(why.c_str());
    return false;
}

bool folder_name_ok(NewTrackForm* form) {
    const std::string& f = form->folder;
    if (f.empty()) return refuse(form, "Give the new track a folder name");
    if (f.size() > 64) return refuse(form, "The folder name is longer than 64 characters");
    for (char c : f)
        if (!isalnum((unsigned char)c) && c != '_' && c != '-')
            return refuse(form, "The folder name may hold letters, digits, '_' and '-' only");
    if (tracklist_find(f.c_str()) >= 0)
        return refuse(form, "A track named '" + f + "' exists already");
    return true;
}

void add_text(DataSaveSet* set, const std::string& folder, const char* file, const char* text) {
    DataFile* f = data_save_set_add(set, ("@" + folder + "/" + file).c_str());
    if (f) data_puts(f, text);
}

} // namespace

int heightmap_load(const char* name, int samples, float low, float high, std::vector<float>* out,
                   std::string* error) {
    PngHeader h;
    if (!name || !*name || !image_png_header(name, &h)) {
        *error = std::string("Can't read '") + (name ? name : "") + "' as a PNG picture";
        return 0;
    }
    if (h.colour != 0 || h.depth != 16) {
        char text[300];
        snprintf(text, sizeof text,
                 "'%.200s' is not a 16-bit grey PNG (it has %d-bit samples, colour type %d)", name,
                 h.depth, h.colour);
        *error = text;
        return 0;
    }
    if (h.width < 2 || h.height < 2 || h.width > HEIGHTMAP_MAX_SIDE ||
        h.height > HEIGHTMAP_MAX_SIDE) {
        char text[300];
        snprintf(text, sizeof text,
                 "'%.200s' is %d x %d pixels: a height map has 2 to %d pixels per side", name,
                 h.width, h.height, HEIGHTMAP_MAX_SIDE);
        *error = text;
        return 0;
    }
    if (!std::isfinite(low) || !std::isfinite(high) || std::fabs(low) > TERRAIN_HEIGHT_LIMIT ||
        std::fabs(high) > TERRAIN_HEIGHT_LIMIT) {
        *error = "The heights of black and white must lie within 10000 ft";
        return 0;
    }
    int w = 0, hh = 0;
    std::vector<uint16_t> pixels;
    if (!image_load_png_grey16(name, &w, &hh, &pixels) || w != h.width || hh != h.height ||
        pixels.size() < (size_t)w * hh) {
        *error = std::string("Can't decode '") + name + "'";
        return 0;
    }
    // Bilinear over the picture: its corners land on the field's corners.
    out->assign((size_t)samples * samples, low);
    double su = samples > 1 ? (double)(w - 1) / (samples - 1) : 0;
    double sv = samples > 1 ? (double)(hh - 1) / (samples - 1) : 0;
    for (int j = 0; j < samples; j++) {
        double v = j * sv;
        int y0 = std::min((int)v, hh - 2);
        double fy = v - y0;
        for (int i = 0; i < samples; i++) {
            double u = i * su;
            int x0 = std::min((int)u, w - 2);
            double fx = u - x0;
            auto p = [&](int x, int y) { return (double)pixels[(size_t)y * w + x]; };
            double top = p(x0, y0) + (p(x0 + 1, y0) - p(x0, y0)) * fx;
            double bottom = p(x0, y0 + 1) + (p(x0 + 1, y0 + 1) - p(x0, y0 + 1)) * fx;
            double value = top + (bottom - top) * fy;
            (*out)[(size_t)i + (size_t)samples * j] =
                (float)(low + value / 65535.0 * ((double)high - low));
        }
    }
    return 1;
}

int editor_new_track(NewTrackForm* form) {
    form->error.clear();
    if (g_session.multiplayer) return refuse(form, "No new track during a network race");
    if (!folder_name_ok(form)) return 0;
    if (form->shift < NEW_TRACK_SHIFT_MIN || form->shift > NEW_TRACK_SHIFT_MAX)
        return refuse(form, "The size must be 16 to 2048 tiles per side");
    if (!(form->spacing >= NEW_TRACK_SPACING_MIN && form->spacing <= NEW_TRACK_SPACING_MAX))
        return refuse(form, "The spacing must be 0.5 to 16 ft");
    if (!std::isfinite(form->base) || std::fabs(form->base) > TERRAIN_HEIGHT_LIMIT)
        return refuse(form, "The height must lie within 10000 ft");

    // The field in memory, as the terrain writer takes it.
    Terrain t;
    t.folder = "@" + form->folder;
    t.shift = form->shift;
    t.tiles = 1 << t.shift;
    t.samples = 2 * t.tiles + 1;
    t.spacing = form->spacing;
    t.tile_size = 2 * t.spacing;
    t.extent = (float)(2 * t.tiles) * t.spacing;
    size_t count = (size_t)t.samples * t.samples;
    if (form->heightmap.empty()) {
        t.heights.assign(count, form->base);
    } else {
        std::string why;
        if (!heightmap_load(form->heightmap.c_str(), t.samples, form->low, form->high, &t.heights,
                            &why))
            return refuse(form, why);
    }
    // Shading and shadows are placeholders until the track is loaded with its lighting.
    t.shading.assign(count * 3, 100);
    t.shadows.assign(count, 0);
    t.tilemap.assign((size_t)t.tiles * t.tiles, 0);

    DataSaveSet set;
    bool ok = terrain_save_to(&t, &set) != 0;
    std::string title = (form->title.empty() ? form->folder : form->title) + "\n";
    if (ok) {
        add_text(&set, form->folder, "tileinfo", DEFAULT_TILEINFO);
        add_text(&set, form->folder, "lighting", DEFAULT_LIGHTING);
        add_text(&set, form->folder, "desc", title.c_str());
        // Empty object files, so that nothing of another folder's files can stand in.
        for (const char* file : {"timing_gates", "billboards", "statues"})
            add_text(&set, form->folder, file, "");
        ok = set.error.empty() && data_save_set_commit(&set);
    } else {
        data_save_set_abort(&set);
    }
    if (!ok) return refuse(form, "Can't write the new track: " + set.error);

    // Into the track list, selected, and loaded as the session's track.
    data_rescan();
    tracklist_build();
    int index = tracklist_find(form->folder.c_str());
    if (index < 0) return refuse(form, "The new track is not found among the tracks");
    tracklist_select(index);
    if (!session_start(nullptr, 0, 0, 0, 1000, g_session.skill) || !g_track.loaded ||
        g_track.name != form->folder)
        return refuse(form, "The new track was written but does not load");
    // Its own light on it, and the shading saved with it.
    int P = g_terrain.samples;
    terrain_cast_shadows(&g_terrain, 0, 0, P - 1, P - 1);
    terrain_relight(&g_terrain, 0, 0, P - 1, P - 1);
    ground_refresh_all();
    editor_save();
    editor_history_clear();
    g_editor.changes = 0;
    form->open = 0;
    post_message(
        ("New track '" + form->folder + "' ready: shape it, paint it, place its gates").c_str());
    return 1;
}

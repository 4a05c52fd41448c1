// Scenery: the catalogue of what the data holds (sprites for billboards, ".jm" models for
// statues, pictures for decals), and placing, moving, turning, scaling, lifting and deleting
// billboards, statues and decals. Every operation commits a changed copy of the scene.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "core/maths.h"
#include "data/datafile.h"
#include "data/image.h"
#include "data/texture.h"
#include "editor/editor_internal.h"
#include "platform/messages.h"
#include "track/objects.h"
#include "track/track.h"

namespace {

bool ends_with(const std::string& s, const char* suffix) {
    size_t n = strlen(suffix);
    return s.size() >= n && s.compare(s.size() - n, n, suffix) == 0;
}

bool starts_with(const std::string& s, const char* prefix) {
    return s.compare(0, strlen(prefix), prefix) == 0;
}

bool has_name(const char* name) {
    const char* const* names = data_names();
    for (const char* const* n = names; n && *n; n++)
        if (strcmp(*n, name) == 0) return true;
    return false;
}

// A picture's width over its height, 1 when unknown.
float aspect_of(const std::string& data_name) {
    PngHeader h;
    if (image_png_header(data_name.c_str(), &h) && h.width > 0 && h.height > 0)
        return (float)h.width / (float)h.height;
    return 1;
}

std::string stem_of(const std::string& name) {
    size_t slash = name.rfind('/');
    std::string file = slash == std::string::npos ? name : name.substr(slash + 1);
    size_t dot = file.rfind('.');
    return dot == std::string::npos ? file : file.substr(0, dot);
}

// A statue's skin: its model's name with ".png" or ".ppm", else the part before the first
// "_" (bike parts share their bike's picture); "" when there is none. A statue needs one: the
// statue writer only writes statues whose texture has a file name.
std::string statue_skin(const std::string& model) {
    std::string base = model.substr(0, model.size() - 3);
    for (const char* ext : {".png", ".ppm"})
        if (has_name((base + ext).c_str())) return "@" + base + ext;
    size_t slash = base.rfind('/');
    size_t cut = base.find('_', slash == std::string::npos ? 0 : slash + 1);
    if (cut != std::string::npos)
        for (const char* ext : {".png", ".ppm"})
            if (has_name((base.substr(0, cut) + ext).c_str()))
                return "@" + base.substr(0, cut) + ext;
    return "";
}

TrackScene current() {
    TrackScene s;
    scene_read(&s);
    return s;
}

float wrap(float a) {
    a = std::fmod(a + (float)PI, 2 * (float)PI);
    if (a < 0) a += 2 * (float)PI;
    return a - (float)PI;
}

bool index_ok(int tool, int index) {
    if (index >= 0 && index < scenery_count(tool)) return true;
    post_message("Select an object first (Space or a click near it)");
    return false;
}

} // namespace

void catalogue_build() {
    EditorState& e = g_editor;
    e.catalogue.clear();
    e.catalogue_built = 1;
    std::string track_folder = g_track.name + "/";
    for (const char* const* n = data_names(); n && *n; n++) {
        std::string name = *n;
        if (ends_with(name, "_norm.png") || ends_with(name, "_spec.png")) continue;
        CatalogueItem it;
        if (starts_with(name, "sprites/") && ends_with(name, ".png")) {
            it.kind = ITEM_BILLBOARD;
            it.texture = "@" + name;
            it.label = stem_of(name);
            it.height = 16;
            it.width = 16 * aspect_of(it.texture);
        } else if (ends_with(name, ".jm") && name.find("_lod") == std::string::npos) {
            it.kind = ITEM_STATUE;
            it.model = "@" + name;
            it.texture = statue_skin(name);
            if (it.texture.empty()) continue;
            std::string shape = name.substr(0, name.size() - 3) + ".shp";
            it.shape = has_name(shape.c_str()) ? "@" + shape : "";
            it.label = stem_of(name);
        } else if (ends_with(name, ".png") &&
                   (starts_with(name, "decals/") ||
                    (!track_folder.empty() && starts_with(name, track_folder.c_str()) &&
                     !ends_with(name, "/map.png") && name.find("/sky-") == std::string::npos))) {
            it.kind = ITEM_DECAL;
            it.texture = "@" + name;
            it.label = stem_of(name);
            it.width = aspect_of(it.texture); // the decal's aspect
        } else {
            continue;
        }
        e.catalogue.push_back(it);
    }
    // Statues with a collision shape first: those are the ones riders meet.
    std::stable_sort(e.catalogue.begin(), e.catalogue.end(),
                     [](const CatalogueItem& a, const CatalogueItem& b) {
                         if (a.kind != b.kind) return a.kind < b.kind;
                         return !a.shape.empty() && b.shape.empty();
                     });
    for (int& c : e.choice) c = 0;
}

std::vector<int> catalogue_of(int kind) {
    if (!g_editor.catalogue_built) catalogue_build();
    std::vector<int> out;
    for (int i = 0; i < (int)g_editor.catalogue.size(); i++)
        if (g_editor.catalogue[i].kind == kind) out.push_back(i);
    return out;
}

int scenery_count(int tool) {
    if (tool == TOOL_DECALS) return (int)g_terrain.decals.size();
    if (tool == TOOL_SCENERY)
        return (int)(g_objects.billboards.size() - (size_t)g_objects.billboards_kept +
                     g_objects.statues.size() - (size_t)g_objects.statues_kept);
    return 0;
}

int scenery_add(int kind, int item, float x, float z, float facing) {
    std::vector<int> items = catalogue_of(kind);
    if (item < 0 || item >= (int)items.size()) {
        post_message("Nothing of that kind in the game data");
        return 0;
    }
    const CatalogueItem& it = g_editor.catalogue[items[item]];
    TrackScene before = current(), after = before;
    int selected = -1;
    if (kind == ITEM_BILLBOARD) {
        SceneBillboard b;
        b.x = x, b.z = z, b.width = it.width, b.height = it.height, b.texture = it.texture;
        after.billboards.push_back(b);
        selected = (int)after.billboards.size() - 1;
    } else if (kind == ITEM_STATUE) {
        SceneStatue s;
        s.x = x, s.z = z, s.angle = wrap(facing);
        s.model = it.model, s.texture = it.texture, s.shape = it.shape;
        after.statues.push_back(s);
        selected = (int)(after.billboards.size() + after.statues.size()) - 1;
    } else {
        unsigned texture = texture_load(it.texture.c_str());
        if (!texture) {
            post_message(("Can't load " + it.texture).c_str());
            return 0;
        }
        Decal d{};
        d.texture = texture;
        d.x = x, d.z = z, d.angle = wrap(facing), d.size = 10, d.aspect = it.width;
        d.sin_angle = std::sin(d.angle), d.cos_angle = std::cos(d.angle);
        after.decals.push_back(d);
        after.decals_present = true;
        selected = (int)after.decals.size() - 1;
    }
    if (!editor_scene_commit(before, after, "Place")) return 0;
    g_editor.selected = selected;
    return 1;
}

int scenery_nearest(int tool, float x, float z, float reach) {
    TrackScene s = current();
    int best = -1;
    float best_d = reach;
    auto consider = [&](int index, float ox, float oz, float extra) {
        float d = std::hypot(ox - x, oz - z) - extra;
        if (d <= best_d) best = index, best_d = d;
    };
    if (tool == TOOL_SCENERY) {
        int nb = (int)s.billboards.size();
        for (int i = 0; i < nb; i++) consider(i, s.billboards[i].x, s.billboards[i].z, 0);
        for (int i = 0; i < (int)s.statues.size(); i++)
            consider(nb + i, s.statues[i].x, s.statues[i].z, 0);
    } else if (tool == TOOL_DECALS) {
        // A decal is also found anywhere over its picture.
        for (int i = 0; i < (int)s.decals.size(); i++)
            consider(i, s.decals[i].x, s.decals[i].z, s.decals[i].size * 0.5f);
    }
    return best;
}

// The object of a scenery index: a billboard, a statue or a decal of the copy.
struct Target {
    SceneBillboard* billboard = nullptr;
    SceneStatue* statue = nullptr;
    Decal* decal = nullptr;
};

static Target target(TrackScene* s, int tool, int index) {
    Target t;
    int nb = (int)s->billboards.size();
    if (tool == TOOL_DECALS && index >= 0 && index < (int)s->decals.size())
        t.decal = &s->decals[index];
    else if (tool == TOOL_SCENERY && index >= 0 && index < nb)
        t.billboard = &s->billboards[index];
    else if (tool == TOOL_SCENERY && index >= nb && index < nb + (int)s->statues.size())
        t.statue = &s->statues[index - nb];
    return t;
}

int scenery_move(int tool, int index, float x, float z) {
    if (!index_ok(tool, index)) return 0;
    TrackScene before = current(), after = before;
    Target t = target(&after, tool, index);
    if (t.billboard) t.billboard->x = x, t.billboard->z = z;
    if (t.statue) t.statue->x = x, t.statue->z = z;
    if (t.decal) t.decal->x = x, t.decal->z = z;
    return editor_scene_commit(before, after, "Move");
}

int scenery_turn(int tool, int index, float delta) {
    if (!index_ok(tool, index)) return 0;
    TrackScene before = current(), after = before;
    Target t = target(&after, tool, index);
    if (t.billboard) {
        post_message("Billboards always face the camera");
        return 0;
    }
    if (t.statue) {
        // An upright statue (angle 3.25 or more) keeps its own orientation; turning it makes
        // it an ordinary one standing on the ground, facing the way it did.
        float a = t.statue->angle >= 3.25f ? 0.0f : t.statue->angle;
        t.statue->angle = wrap(a + delta);
    }
    if (t.decal) {
        t.decal->angle = wrap(t.decal->angle + delta);
        t.decal->sin_angle = std::sin(t.decal->angle);
        t.decal->cos_angle = std::cos(t.decal->angle);
    }
    return editor_scene_commit(before, after, "Turn");
}

int scenery_scale(int tool, int index, float factor) {
    if (!index_ok(tool, index) || !(factor > 0)) return 0;
    TrackScene before = current(), after = before;
    Target t = target(&after, tool, index);
    if (t.statue) {
        post_message("Statues keep their model's size (the statues file has no scale)");
        return 0;
    }
    if (t.billboard) {
        t.billboard->width = clampf(t.billboard->width * factor, 0.25f, 1000);
        t.billboard->height = clampf(t.billboard->height * factor, 0.25f, 1000);
    }
    if (t.decal) t.decal->size = clampf(t.decal->size * factor, 0.25f, 4000);
    return editor_scene_commit(before, after, "Scale");
}

int scenery_lift(int tool, int index, float dy) {
    if (!index_ok(tool, index)) return 0;
    TrackScene before = current(), after = before;
    Target t = target(&after, tool, index);
    if (t.decal) {
        post_message("Decals lie on the ground");
        return 0;
    }
    if (t.billboard) t.billboard->y = clampf(t.billboard->y + dy, -500, 500);
    if (t.statue) t.statue->y = clampf(t.statue->y + dy, -500, 500);
    return editor_scene_commit(before, after, "Lift");
}

int scenery_delete(int tool, int index) {
    if (!index_ok(tool, index)) return 0;
    TrackScene before = current(), after = before;
    int nb = (int)after.billboards.size();
    if (tool == TOOL_DECALS)
        after.decals.erase(after.decals.begin() + index);
    else if (index < nb)
        after.billboards.erase(after.billboards.begin() + index);
    else
        after.statues.erase(after.statues.begin() + (index - nb));
    if (!editor_scene_commit(before, after, "Delete")) return 0;
    g_editor.selected = -1;
    return 1;
}

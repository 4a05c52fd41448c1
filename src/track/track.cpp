// Loading and freeing a whole track, and the track digest.
#include "track/track.h"

#include <string>
#include <vector>

#include "core/settings.h"
#include "data/datafile.h"
#include "data/shape.h"
#include "data/texture.h"
#include "platform/log.h"
#include "track/gates.h"
#include "track/lighting.h"
#include "track/objects.h"
#include "track/terrain.h"

TrackState g_track;

static void (*g_loading_screen)(const char* text) = nullptr;
static TrackEditorHooks g_editor_hooks;

void track_set_editor_hooks(const TrackEditorHooks* hooks) {
    g_editor_hooks = hooks ? *hooks : TrackEditorHooks{};
}

void loading_set_screen(void (*draw)(const char* text)) {
    g_loading_screen = draw;
}

void loading_message(const char* text) {
    log_printf("%s\n", text);
    if (g_loading_screen) g_loading_screen(text);
}

std::string track_file(const char* file) {
    return "@" + g_track.name + "/" + file;
}

static bool verbose() {
    return g_settings.debug_level > 0;
}

static void log_texture_memory(const char* when) {
    if (verbose())
        log_printf("%lu bytes texture memory used %s\n", (unsigned long)g_textures.memory, when);
}

// Feeds a data file's bytes to the digest; a file that cannot be opened is skipped.
static void digest_file(Digest* d, const std::string& name) {
    DataFile* f = data_open(name.c_str(), "rb");
    if (!f) return;
    unsigned char buffer[16384];
    size_t n;
    while ((n = data_read(f, buffer, sizeof buffer)) > 0) digest_add(d, buffer, n);
    data_close(f);
}

// Feeds a track file to the digest, then hands the opened file to a reader (a missing file
// reads as empty: the reader is not called).
static void digest_and_read(Digest* d, const char* file, int (*reader)(DataFile*)) {
    std::string name = track_file(file);
    digest_file(d, name);
    DataFile* f = data_open(name.c_str(), "r");
    if (!f) return;
    reader(f);
    data_close(f);
}

static void track_clear_objects() {
    gates_free();
    objects_free();
    lighting_reset(&g_lighting);
    g_track.map_texture = 0;
}

static const char* const GROUND_FILES[] = {"terrain.hf", "terrain.png", "texturelist", "tilemap",
                                           "tileinfo"};

// Step 16: every distinct collision-shape file of the statues once, in statue order.
static void digest_shapes(Digest* d) {
    std::vector<std::string> shapes;
    for (const Statue& s : g_objects.statues) {
        if (!s.shape) continue;
        const std::string& name = s.shape->name;
        bool seen = false;
        for (const std::string& n : shapes) seen = seen || n == name;
        if (seen) continue;
        shapes.push_back(name);
        digest_file(d, name);
    }
}

void track_redigest() {
    if (!g_track.loaded) return;
    Digest d;
    digest_begin(&d);
    for (const char* file : GROUND_FILES) digest_file(&d, track_file(file));
    digest_file(&d, track_file("timing_gates"));
    digest_file(&d, track_file("statues"));
    digest_shapes(&d);
    digest_end(&d, g_track.digest);
}

int track_load() {
    // 1. The digest covers what decides the racing: ground, surfaces, gates and collision.
    Digest d;
    digest_begin(&d);
    // 2. Empty object lists and statue grid.
    track_clear_objects();
    // 3. Loading starts.
    loading_message("Loading track...");
    // 4. The files of the ground, in the order the digest takes them.
    for (const char* file : GROUND_FILES) digest_file(&d, track_file(file));
    // 5. The terrain.
    std::string folder = "@" + g_track.name;
    if (verbose()) log_printf("Loading '%s'\n", folder.c_str());
    if (!terrain_load(&g_terrain, folder.c_str())) {
        track_clear_objects();
        g_track.name.clear();
        g_track.loaded = false;
        return 0;
    }
    log_texture_memory("after hf creation");
    // 6. Also creates the start-gate statues.
    digest_and_read(&d, "timing_gates", gates_read);
    // 7. The roost particles' billboards.
    billboards_add_particles(PARTICLE_BILLBOARD_COUNT);
    // 8. The flaggers.
    flaggers_read(track_file("flaggers").c_str());
    log_texture_memory("after flagger creation");
    // 9. The writers keep their hands off what came before: particles, flaggers, start gates.
    g_objects.billboards_kept = (int)g_objects.billboards.size();
    g_objects.statues_kept = (int)g_objects.statues.size();
    // 10. The billboards.
    {
        DataFile* f = data_open(track_file("billboards").c_str(), "r");
        if (f) {
            billboards_read(f);
            data_close(f);
        }
    }
    log_texture_memory("after billboard creation");
    // 11. The statues.
    digest_and_read(&d, "statues", statues_read);
    log_texture_memory("after statue creation");
    // 12. The lighting.
    lighting_read(track_file("lighting").c_str());
    // 13. The map picture.
    g_track.map_texture = texture_load(track_file("map.png").c_str());
    // 14. The statues' bucket grid.
    statue_grid_rebuild();
    // 16. Every distinct collision-shape file once, in statue order (before the editor's
    // hand-over, which may change statues but not their files).
    digest_shapes(&d);
    // 17. The track digest.
    digest_end(&d, g_track.digest);
    g_track.loaded = true;
    // 15. The track editor, when active, takes the track over.
    if (g_editor_hooks.loaded) g_editor_hooks.loaded();
    return 1;
}

int track_load_named(const std::string& name) {
    g_track.name = name;
    return track_load();
}

void track_free() {
    log_printf("Deallocating track\n");
    // The track editor leaves the track first.
    if (g_editor_hooks.freeing) g_editor_hooks.freeing();
    track_clear_objects();
    terrain_free(&g_terrain);
    g_track.name.clear();
    g_track.loaded = false;
    log_printf("Finished deallocating track\n");
}

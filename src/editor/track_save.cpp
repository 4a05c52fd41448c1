// Saving the edited track: every file the editor can change goes into the per-user folder under
// the track's folder name, as one save set (data/save.h), so a failure part way leaves the old
// files as they were. The game's own folder is never written; the search path finds the
// per-user copy first, file by file, so what the editor does not write (surface types,
// lighting, flaggers, the map picture) still comes from the game's copy.
#include <cstdio>

#include "data/datafile.h"
#include "data/save.h"
#include "editor/editor_internal.h"
#include "platform/log.h"
#include "platform/messages.h"
#include "track/objects.h"
#include "track/track.h"
#include "track/tracklist.h"

// Adds one file of the track written by a stream writer.
static bool add_file(DataSaveSet* set, const char* file, int (*writer)(DataFile*)) {
    DataFile* f = data_save_set_add(set, track_file(file).c_str());
    if (!f) return false;
    writer(f);
    return true;
}

int editor_save() {
    EditorState& e = g_editor;
    if (!g_track.loaded || g_terrain.samples <= 0) {
        post_message("No track to save");
        return 0;
    }
    if (e.stroke.active) stroke_end();
    // The terrain writes into the folder it was loaded from, the track's own data name ("@"
    // and its folder), which the save functions send to the per-user folder.
    DataSaveSet set;
    bool ok = terrain_save_to(&g_terrain, &set) && add_file(&set, "timing_gates", gates_write_to) &&
              add_file(&set, "billboards", billboards_write_to) &&
              add_file(&set, "statues", statues_write_to);
    if (ok)
        ok = data_save_set_commit(&set) != 0;
    else
        data_save_set_abort(&set);
    if (!ok) {
        // The edit stays in memory; another try may work once the folder can be written.
        char text[1200];
        snprintf(text, sizeof text, "Can't save track '%.100s': %.900s", g_track.name.c_str(),
                 set.error.empty() ? "a file could not be written" : set.error.c_str());
        post_message(text);
        return 0;
    }
    // The files just written join the data names, and the digest follows what is on disk now:
    // line files learned on the old layout no longer match it.
    data_rescan();
    track_redigest();
    e.changes = 0;
    char text[300];
    snprintf(text, sizeof text, "Saved track '%.100s' in the per-user folder",
             g_track.name.c_str());
    post_message(text);
    if (tracklist_find(g_track.name.c_str()) < 0) tracklist_build();
    return 1;
}

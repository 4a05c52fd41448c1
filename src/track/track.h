// The loaded track as a whole: loading every file of a track folder in order, the track digest
// that multiplayer compares, freeing, and the loading-screen messages shown meanwhile.
#pragma once

#include <string>

#include "platform/digest.h"

constexpr int PARTICLE_BILLBOARD_COUNT = 2000;

// Process-wide track state besides the terrain, gates, objects and lighting records.
struct TrackState {
    std::string name; // track folder name, "" when none is loaded
    bool loaded = false;
    unsigned map_texture = 0;               // "map.png", 0 when missing
    unsigned char digest[DIGEST_SIZE] = {}; // RIPEMD-160 of the track's defining files
};
extern TrackState g_track;

// Loads the track named by g_track.name. 1 on success; on failure the name is cleared and 0
// returned. A track already loaded must be freed first.
int track_load();
// Names the track (a folder under the search path, without "@") and loads it as track_load.
int track_load_named(const std::string& name);
// Releases everything track_load created and clears the name.
void track_free();
// "@" + track name + "/" + file: a data name inside the current track folder.
std::string track_file(const char* file);
// Computes the track digest again from the files of the current track folder as they are now
// on the search path (after the editor saved them): the ground files, "timing_gates",
// "statues" and the collision shapes of the loaded statues, as track_load feeds them.
void track_redigest();

// Calls from track loading and freeing up into the track editor, which sits above the track.
// Each may be null.
struct TrackEditorHooks {
    void (*loaded)() = nullptr;  // a track finished loading: the editor takes it over
    void (*freeing)() = nullptr; // the track is about to be freed: the editor lets go of it
};
// Installs the hooks (copied; null installs none).
void track_set_editor_hooks(const TrackEditorHooks* hooks);

// Reads the "lighting" file at a data name into g_lighting: defaults first, then the file's
// settings; sky sides left unnamed get their default textures. A missing file leaves the
// defaults with no sky textures. Returns 1.
int lighting_read(const char* path);

// Shows a loading-screen line ("Loading track..."): logged, and drawn by the screen hook when
// one is set (the renderer sets it while a window is open).
void loading_message(const char* text);
// The renderer's drawing hook for loading_message; null draws nothing.
void loading_set_screen(void (*draw)(const char* text));

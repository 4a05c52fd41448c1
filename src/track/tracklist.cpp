// The track list.
#include "track/tracklist.h"

#include <algorithm>
#include <cstring>

#include "data/datafile.h"

static TrackList g_track_list;
const TrackList& g_tracks = g_track_list;

static bool ends_with(const std::string& s, const char* suffix) {
    size_t n = strlen(suffix);
    return s.size() >= n && s.compare(s.size() - n, n, suffix) == 0;
}

// The first line of "@<folder>/desc" without its line end, or the folder itself.
static std::string track_title(const std::string& folder) {
    std::string name = "@" + folder + "/desc";
    DataFile* f = data_open(name.c_str(), "rb");
    if (!f) return folder;
    char line[256];
    std::string title = folder;
    if (data_gets(f, line, sizeof line)) {
        size_t n = strcspn(line, "\r\n");
        line[n] = 0;
        title = line;
    }
    data_close(f);
    return title;
}

int tracklist_build() {
    g_track_list.tracks.clear();
    for (const char* const* n = data_names(); *n; n++) {
        std::string name = *n;
        if (!ends_with(name, "/terrain.hf") && !ends_with(name, "/terrain.hf.gz")) continue;
        std::string folder = name.substr(0, name.rfind('/'));
        // A folder holding both forms is one track.
        bool seen = false;
        for (const TrackEntry& t : g_track_list.tracks) seen |= t.folder == folder;
        if (seen) continue;
        g_track_list.tracks.push_back({folder, track_title(folder)});
    }
    // Titles sort by byte value; equal titles keep their data-name order.
    std::stable_sort(g_track_list.tracks.begin(), g_track_list.tracks.end(),
                     [](const TrackEntry& a, const TrackEntry& b) {
                         return strcmp(a.title.c_str(), b.title.c_str()) < 0;
                     });
    if (g_track_list.current >= (int)g_track_list.tracks.size()) g_track_list.current = 0;
    return (int)g_track_list.tracks.size();
}

int tracklist_find(const char* folder) {
    for (size_t i = 0; i < g_track_list.tracks.size(); i++)
        if (g_track_list.tracks[i].folder == folder) return (int)i;
    return -1;
}

void tracklist_select(int index) {
    if (index >= 0 && index < (int)g_track_list.tracks.size()) g_track_list.current = index;
}

void tracklist_reset() {
    g_track_list = TrackList{};
}

void tracklist_add(const char* folder, const char* title) {
    g_track_list.tracks.push_back({folder, title});
}

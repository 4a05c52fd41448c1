#include "app/tracklist.h"

#include <algorithm>
#include <cstring>

#include "data/datafile.h"

TrackList g_tracks;

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
    g_tracks.tracks.clear();
    for (const char* const* n = data_names(); *n; n++) {
        std::string name = *n;
        if (!ends_with(name, "/terrain.hf") && !ends_with(name, "/terrain.hf.gz")) continue;
        std::string folder = name.substr(0, name.rfind('/'));
        // A folder holding both forms is one track.
        bool seen = false;
        for (const TrackEntry& t : g_tracks.tracks) seen |= t.folder == folder;
        if (seen) continue;
        g_tracks.tracks.push_back({folder, track_title(folder)});
    }
    // Titles sort by byte value; equal titles keep their data-name order.
    std::stable_sort(g_tracks.tracks.begin(), g_tracks.tracks.end(),
                     [](const TrackEntry& a, const TrackEntry& b) {
                         return strcmp(a.title.c_str(), b.title.c_str()) < 0;
                     });
    if (g_tracks.current >= (int)g_tracks.tracks.size()) g_tracks.current = 0;
    return (int)g_tracks.tracks.size();
}

std::string demo_title(const std::string& name) {
    size_t slash = name.rfind('/');
    std::string rest = slash == std::string::npos ? name : name.substr(slash + 1);
    size_t dot = rest.rfind('.');
    return dot == std::string::npos ? rest : rest.substr(0, dot);
}

int demolist_build() {
    g_tracks.demos.clear();
    for (const char* const* n = data_names(); *n; n++) {
        std::string name = *n;
        if (name.compare(0, 6, "demos/") != 0 || !ends_with(name, ".qzdemo")) continue;
        g_tracks.demos.push_back({name, demo_title(name)});
    }
    g_tracks.demo_page = 0;
    return (int)g_tracks.demos.size();
}

int tracklist_find(const char* folder) {
    for (size_t i = 0; i < g_tracks.tracks.size(); i++)
        if (g_tracks.tracks[i].folder == folder) return (int)i;
    return -1;
}

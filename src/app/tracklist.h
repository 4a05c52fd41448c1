// The track and demo lists, discovered from the data names at start-up.
#pragma once

#include <string>
#include <vector>

struct TrackEntry {
    std::string folder; // data folder of the track, e.g. "rabbithill"
    std::string title;  // first line of "<folder>/desc", else the folder
};

struct DemoEntry {
    std::string name;  // data name, e.g. "demos/default.qzdemo"
    std::string title; // the file name without folder and extension
};

constexpr int DEMO_PAGE_ROWS = 20;

struct TrackList {
    std::vector<TrackEntry> tracks; // sorted by title
    int current = 0;
    std::vector<DemoEntry> demos;   // in data-name order
    int demo_page = 0;
};
extern TrackList g_tracks;

// Rebuilds the track list from the data names; returns the number of tracks.
int tracklist_build();
// Rebuilds the demo list; returns the number of demos.
int demolist_build();
// Index of the track with this folder, or -1.
int tracklist_find(const char* folder);
// The demo title rule: the part after the last "/" and before the last ".".
std::string demo_title(const std::string& name);

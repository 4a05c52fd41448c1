// The track list: every track folder found among the data names, with its title.
#pragma once

#include <string>
#include <vector>

struct TrackEntry {
    std::string folder; // data folder of the track, e.g. "rabbithill"
    std::string title;  // first line of "<folder>/desc", else the folder
};

struct TrackList {
    std::vector<TrackEntry> tracks; // sorted by title
    int current = 0;                // the selected track
};
extern const TrackList& g_tracks;

// Rebuilds the track list from the data names; returns the number of tracks.
int tracklist_build();
// Index of the track with this folder, or -1.
int tracklist_find(const char* folder);
// Selects track index (ignored outside the list).
void tracklist_select(int index);
// Adds a track at the end of the list, unsorted (tests, tools).
void tracklist_add(const char* folder, const char* title);
// Puts the list back to empty (tests).
void tracklist_reset();

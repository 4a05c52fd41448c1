// Points series: championships of motos and rounds defined by ".series" data files, with
// their progress in "_standings" files, round ranks, recording an event's results, and the
// content of the series standings screen.
#pragma once

#include <string>
#include <vector>

constexpr int SERIES_POSITIONS = 40; // points tables by finishing position or round rank
// What a ".series" file may hold; a file beyond these is refused. With them every race
// length in ticks, points sum and total fits an int with room to spare.
constexpr int SERIES_EVENTS_MAX = 1000;
constexpr int SERIES_MINUTES_MAX = 600; // an event's time limit
constexpr int SERIES_LAPS_MAX = 1000;
constexpr int SERIES_POINTS_MAX = 1000000; // either way, per position

struct SeriesEvent {
    std::string name;
    int track;   // index into the track list
    int minutes; // race length when the event is started
    int laps;
    int moto_points[SERIES_POSITIONS];  // by finishing position
    int champ_points[SERIES_POSITIONS]; // by round rank; first entry 0: the round goes on
    std::vector<int> finish;            // finishing position per rider index 0..R, from 0
    std::vector<int> rank;              // round rank per rider index 0..R, from 0
};

struct Series {
    std::string title;
    std::string file;           // data name of the ".series" file (without "@")
    std::string standings_file; // "@" + file + "_standings"
    int skill_class;            // 0 Novice, 1 Amateur, 2 Expert
    std::vector<int> riders;    // R rider numbers; index R is the local player ("999")
    std::vector<SeriesEvent> events;
    int completed = 0; // events with results
};

// Process-wide series state: every series found, and the active event (started from the menu,
// cleared when its results are recorded).
struct SeriesState {
    std::vector<Series> series;
    int active_series = -1;
    int active_event = -1;
};
extern SeriesState g_series;

// Finds and reads every ".series" data file (skipping those that fail) with its standings.
// Needs the track list. Returns the number of series.
int series_load_all();
// Reads one ".series" file and its standings file; 1 on success.
int series_read(const char* file, Series* out);
// Reads the completed events of a "_standings" file into a series (its events must be read).
void series_read_standings(Series* series);
// Writes a series' "_standings" file; 1 on success.
int series_write_standings(const Series& series);
// Recomputes the round ranks over the completed events.
void series_compute_ranks(Series* series);
// Forgets every series and the active event.
void series_reset();

// Marks an event of a series as the one being raced (its results are recorded at its end).
void series_set_active(int series, int event);

// Records the finished (or abandoned) session as the active event's results, when a series
// event is active and is the next one due; clears the active event.
void series_record_event();

// The series standings screen.
struct SeriesRow {
    std::string number;             // "999" for the local player
    int local;                      // drawn in grey
    std::vector<std::string> cells; // one per round
    int total;
};
struct SeriesScreen {
    std::string heading;              // "Next Event: ..." or "... Final Standings"
    std::vector<std::string> columns; // "No.", "Total", then "Rd %d" per round
    std::vector<SeriesRow> rows;      // sorted by total
};
void series_screen(const Series& series, SeriesScreen* out);
// Rounds of a series: the index of the first event of every round (a round ends with an event
// whose first championship value is non-zero; trailing motos form an unfinished round).
std::vector<int> series_round_starts(const Series& series);

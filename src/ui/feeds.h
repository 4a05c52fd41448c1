// What the menus and the HUD read from the other subsystems (the race session, results and
// standings, the points series, the network client and the renderer), each
// behind one small function, so the drawing does not depend on how those modules keep their
// state. Texts come ready-made from their owners; these functions only hand them over.
#pragma once

#include <string>
#include <vector>

#include "race/results.h" // ResultsBoard, RaceDisplay

// The series standings screen: a heading, column titles and rows of cells.
struct SeriesTable {
    std::string heading;
    std::vector<std::string> columns; // "No.", "Total", "Rd %d" ...
    std::vector<std::vector<std::string>> rows;
    std::vector<int> player_row; // 1 for the local player's row (drawn in grey)
    int pages = 1;               // 8 rounds per page
    int complete = 0;            // every event has been run
};

// Render statistics of the last frame, in the renderer's order: ground polygons, model
// polygons, model vertices, billboards, decals, texture changes and shader changes.
constexpr int RENDER_STAT_COUNT = 7;

// 1 and the board when it is to be shown.
int feed_results_board(ResultsBoard* out);
// 1 and the texts while a rider is viewed in a race.
int feed_in_race(RaceDisplay* out);
// "Time - %d:%02d.%d " while a race runs, else "".
std::string feed_race_clock();
// Numbers of the riders about to lap the viewed rider, separated by blanks; "" when none.
std::string feed_lapping_warning();

// Points series found in the data.
int feed_series_count();
const char* feed_series_title(int series);
// 1 and the standings screen content of a series (page of 8 rounds).
int feed_series_table(int series, int page, SeriesTable* out);

// Last frame's render statistics and the largest value of each so far; 0 when the renderer
// keeps none.
int feed_render_stats(int counts[RENDER_STAT_COUNT], int maxima[RENDER_STAT_COUNT]);
// Round-trip time to the server in milliseconds, or -1 when not connected with a slot.
int feed_ping_ms();
// Server tick minus local tick in milliseconds (0 when not connected).
int feed_ping_offset_ms();

// The connection to a race server in words ("Contacting server", "Racing", "Watching the
// race", ...); "" when not connected.
std::string feed_net_status();
// 1 when the server can be asked for a restart now.
int feed_net_can_restart();

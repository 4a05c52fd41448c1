// Standings while a race runs, cut-track penalties and the final results when it is over, the
// "results.txt" file, and the texts of the results board and the in-race display.
//
// Times are ticks of the race session's clock (1/128 s). A rider is a slot 0..39 of the race
// session; its progress (gates passed, gate times) lives in its bike.
#pragma once

#include <string>
#include <vector>

// One rider's place: slot, sequence positions passed, and the tick of the last one passed (0
// when none).
struct StandingsEntry {
    int slot;
    int gates;
    int last_tick;
};

// Process-wide standings and final results of the running session.
struct Results {
    StandingsEntry standings[40];
    int standings_count = 0;
    // After penalties: gates may be fewer and the last tick later. Valid once the session's
    // results are final.
    StandingsEntry final_results[40];
    int final_count = 0;
};
extern Results g_results;

// Forgets standings and final results (session start, tests).
void results_reset();
// Sort order of both tables: more gates first, then the earlier last tick, then the lower slot.
bool standings_before(const StandingsEntry& a, const StandingsEntry& b);

// Rebuilds and sorts the standings, applies the half-way and final lap rules of timed races,
// and makes the results final (penalties, "results.txt", the points series) once every rider
// has finished. Does nothing once the results are final.
void standings_update();
// Position in the standings (0 = leader) of a slot, or -1 when it is not in them.
int standings_place(int slot);
// The slot of the standings leader, or -1 when there are no riders.
int standings_leader();

// Average ticks riders needed from sequence position `from` to position `to` (a section that
// recurs every lap is averaged over every lap it was ridden in); 7680 (60 s) when nobody rode
// it cleanly.
int section_time(int from, int to);
// Cut-track penalty of a slot in ticks: for every run of skipped gates ridden faster than the
// section's average plus one second, the difference.
int cut_penalty(int slot);
// Best lap of a slot: the lap (2 .. laps completed) with the smallest non-zero time, the
// earlier on a tie; 0 when fewer than two laps were completed.
int best_lap_index(int slot);

// Writes "@results.txt" from the final results; 1 on success. A failure is logged.
int results_write();

// Texts of the results board, shown once the leader has finished.
struct ResultsBoardRow {
    int slot;
    std::string number;   // "%3s"
    std::string laps;     // "L%d"
    std::string gap;      // "%7.3f" seconds behind the row above
    std::string best;     // "%d:%02d.%03d"
    std::string best_lap; // "(%d)"
    int viewed;           // drawn in white; the others in light grey
};
struct ResultsBoard {
    std::string title; // "Final Results" or "Unofficial Results"
    std::vector<ResultsBoardRow> rows;
    std::string total;                  // "Total Race Time: ..." when final, else ""
    std::vector<std::string> penalties; // one line per penalised rider, when final
};
// Fills the board from the final results when final, else the standings; returns 0 (and an
// empty board) until the standings leader has finished.
int results_board(ResultsBoard* out);
// The headings of the board's columns.
extern const char* const RESULTS_BOARD_HEADINGS[5];

// The viewed rider's in-race texts: its number, "L%d P%d" (or "P%d" in a time trial), the gap
// "%+.1f " to the rider above it, "Last - ..." and "Best - ..." (empty when there is none).
struct RaceDisplay {
    std::string number;
    std::string place;
    std::string gap;
    std::string last;
    std::string best;
};
// 0 when the slot has no rider.
int race_display(int slot, RaceDisplay* out);
// The race clock text "Time - %d:%02d.%d " (time since the start, 0 before it).
std::string race_clock_text();
// Rider numbers, separated by blanks, of the riders about to lap the viewed rider; "" when
// none.
std::string lapping_warning(int slot);

// Minutes, seconds and milliseconds (truncated) of a tick count: "%3d:%02d.%03d" and the
// like.
void ticks_split(long long ticks, int* minutes, int* seconds, int* milliseconds);

// Demo files (".qzdemo"): recording a race session as one bike state snapshot per recorded
// rider per tick, playing it back (alone, against the player, or as a time trial's ghost),
// seeking, and naming the recording.
#pragma once

#include <string>
#include <vector>

struct DataFile;

constexpr int DEMO_RECORD_V5 = 39;            // snapshot bytes per rider per tick, version 5
constexpr int DEMO_RECORD_V4 = 26;            // version 4
constexpr int DEMO_DEFAULT_START_TICK = 1792; // 14 s, for headers without a start tick

// One recorded rider: bike model, riding gear, bike graphics, wheel graphics, helmet (texture
// data names, "" for the bike's own) and a number of up to 3 characters.
struct DemoRider {
    std::string bike, gear, bike_graphics, wheel_graphics, helmet, number;
};

// The text part of a demo: header line, track line, rider blocks.
struct DemoHeader {
    int version = 5;
    int race_length = 0;
    int extra_laps = 0;
    int start_tick = DEMO_DEFAULT_START_TICK;
    std::string track;
    std::vector<DemoRider> riders;
};

// Process-wide demo state.
struct DemoState {
    // Recording.
    DataFile* out = nullptr;
    std::string out_name;       // data name being written
    std::vector<int> out_slots; // recorded slots, in order
    std::string pending_name;   // "namedemo": the name the recording is saved under, "" none
    // Playback.
    std::string chosen; // the demo the menu or the command line chose, "" for the default
    DataFile* in = nullptr;
    std::string in_name; // the name it was opened under
    DemoHeader header;
    int record_size = DEMO_RECORD_V5;
    long long frames_start = 0; // byte offset of the first frame
    long long frames_read = 0;  // frames read so far
    int rider_slot[40];         // slot fed by each demo rider, -1 for none
};
extern DemoState g_demo;

// Reads the header line, track line and rider blocks of an open demo; 1 when all of them are
// complete and sound (version 4 or 5, 0 to 40 riders, no negative length or laps), else 0.
int demo_read_header(DataFile* f, DemoHeader* out);
// Writes the text part of a demo; 1 on success.
int demo_write_header(DataFile* f, const DemoHeader& header);

// Opens the recording ("lastlap.qzdemo" of the track in a time trial, else
// "demos/default.qzdemo") and writes its text part. Recording stays off on failure.
int demo_record_start();
// Writes one frame (every recorded rider's snapshot) and flushes.
void demo_record_frame();
// Closes the recording and saves it under the pending name, if one was given.
void demo_record_stop();
// 1 while a recording is open.
int demo_recording();
// "namedemo": sets the pending name (".qzdemo" appended when missing) and posts the outcome.
// 1 when the name was taken.
int demo_set_name(const char* name);

// Opens the demo to play (the time trial's "fastlap.qzdemo", else the chosen demo, else
// "demos/default.qzdemo") and reads its text part; outside time trials its race length, extra
// laps and start tick become the session's. 1 on success.
int demo_open_playback();
void demo_close_playback();
int demo_playing();
// Reads one frame and places every demo rider that has a slot (visibility 1), or hides it
// when its record is missing (visibility 0).
void demo_play_frame();
// The demo riders of the open playback and the slots they feed.
int demo_rider_count();
const DemoRider* demo_rider_info(int index);
void demo_set_rider_slot(int index, int slot);
// The open demo's track ("" without playback).
std::string demo_track();
// Moves the playback by seconds (rewind: negative); with "--accurate-skip" forward skips run
// every tick.
void demo_seek(double seconds);

// Starts a playback session on a demo (data name without "@"): "Playback Only", or "Race
// Against" with the local player in local_slot, recording as the "record" setting says unless
// the demo is the recording's own file. 1 when the session started.
int demo_start_session(const char* name, int race_against, int local_slot);

// Copies a data file (read through the search path) to a data name in the per-user folder;
// 1 on success.
int demo_copy(const char* from, const char* to);

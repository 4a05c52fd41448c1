// Demo files (".qzdemo"): the file format, writing a recording frame by frame, reading one
// back (with seeking), and naming the recording. What goes into a frame and where played
// records go is the race session's part (race/demo_session.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "data/save.h"

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

// Process-wide demo state, written only by the demo code (read it through g_demo).
struct DemoState {
    // Recording: written frame by frame into the save's temporary and put in place under the
    // name when it stops, so a crash or a full disk mid-race keeps the previous demo.
    DataSave out;
    std::string out_name;       // data name being written
    std::vector<int> out_slots; // the rider slots recorded, in record order
    std::string pending_name;   // "namedemo": the name the recording is saved under, "" none
    // Playback.
    std::string chosen; // the demo the menu or the command line chose, "" for the default
    DataFile* in = nullptr;
    std::string in_name;  // the name it was opened under
    std::string in_error; // why the last demo_open failed, "" after a success
    DemoHeader header;
    int record_size = DEMO_RECORD_V5;
    long long frames_start = 0; // byte offset of the first frame
    long long frames_read = 0;  // frames read so far
    int rider_slot[40];         // slot fed by each demo rider, -1 for none
};
extern const DemoState& g_demo;

// The default recording and playback file.
constexpr const char* DEMO_DEFAULT = "@demos/default.qzdemo";

// Reads the header line, track line and rider blocks of an open demo; 1 when all of them are
// complete and sound (version 4 or 5, 0 to 40 riders, no negative length or laps), else 0.
int demo_read_header(DataFile* f, DemoHeader* out);
// Writes the text part of a demo; 1 on success.
int demo_write_header(DataFile* f, const DemoHeader& header);

// ---- Recording ----

// Opens a recording under a data name (creating its folders) for the given rider slots and
// writes its text part. Refuses the file being played ("Not recording over the demo being
// played"). 1 on success; recording stays off on failure (said on screen and standard error).
int demo_record_open(const std::string& name, const DemoHeader& header,
                     const std::vector<int>& slots);
// Appends one frame (every recorded rider's record, bytes in all) and flushes; a failed
// write is said and ends the recording, the previous file of the name kept.
void demo_record_write(const uint8_t* frame, size_t bytes);
// Ends the recording: puts it in place under its name (a failure is said, the old file kept)
// and copies it to the pending name, if one was given.
void demo_record_stop();
// 1 while a recording is open.
int demo_recording();
// "namedemo": sets the pending name of the default recording (".qzdemo" appended when
// missing) and posts the outcome. 1 when the name was taken.
int demo_set_name(const char* name);

// ---- Playback ----

// Chooses the demo the next playback opens (a data name or a path; "" for the default).
void demo_choose(const std::string& name);
// Opens a demo by name and reads its text part; 1 on success ("Bad demo file" logged when the
// text part is unsound).
int demo_open(const std::string& name);
// Opens the chosen demo, else "demos/default.qzdemo". A chosen name that is a path and not
// there is tried as a data name, so "demos/x.qzdemo" finds the per-user folder's demo
// wherever the program starts. 1 on success.
int demo_open_chosen();
void demo_close_playback();
int demo_playing();
// Reads the next frame into `frame` (room for 40 records); the number of complete records.
int demo_read_frame(uint8_t* frame);
// Puts the playback before frame k (a compressed demo is read again from its start); 1 on
// success.
int demo_seek_frame(long long k);
// The demo riders of the open playback and the slots they feed.
int demo_rider_count();
const DemoRider* demo_rider_info(int index);
void demo_set_rider_slot(int index, int slot);
// The open demo's track ("" without playback).
std::string demo_track();
// Ground position (feet) of a version 4 or 5 record on a field `extent` feet across: the
// frame's x and z, 24 bits each.
void demo_record_ground(const uint8_t* record, float extent, float* x, float* z);

// Copies a data file (read through the search path) to a data name in the per-user folder,
// atomically; 1 on success (a failed save is said on screen and standard error).
int demo_copy(const char* from, const char* to);

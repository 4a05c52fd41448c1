// The race session's demos: recording the session's riders into a demo file, playing a demo's
// riders into their slots, seeking, and starting a playback session. The file format and its
// reading and writing are the replay module's (replay/demo.h).
#pragma once

// Opens the recording ("lastlap.qzdemo" of the track in a time trial, else
// "demos/default.qzdemo") with the riders it records: offline the local player and robots; in
// a network race everyone once this client rides in it, remote riders and robots before.
int session_demo_record_start();
// Writes one frame: every recorded rider's snapshot (live offline; in a network race the
// history record 127 ticks back, so late states are in).
void session_demo_record_frame();

// Opens the demo to play (the time trial's "fastlap.qzdemo", else the chosen demo, else
// "demos/default.qzdemo"); outside time trials its race length, extra laps and start tick
// become the session's. 1 on success.
int session_demo_open();
// Reads one frame and places every demo rider that has a slot (visibility 1), or hides it
// when its record is missing (visibility 0).
void session_demo_play_frame();
// Moves the playback by seconds (rewind: negative); with "--accurate-skip" forward skips run
// every tick, else the demo riders' gates are counted again from the records alone.
void session_demo_seek(double seconds);
// Starts a playback session on a demo (data name without "@"): "Playback Only", or "Race
// Against" with the local player in local_slot; `record` asks for a recording, refused when
// the demo is the recording's own file. skill is the robot skill index. 1 when it started.
int session_demo_start(const char* name, int race_against, int local_slot, int record, int skill);

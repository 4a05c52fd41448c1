// Audio output: back ends behind one operation table and the software mixer.
#pragma once

struct GameWindow;

// Chooses and opens a back end; 1 when audio is open.
int audio_open(GameWindow* window);
// Opens the readback back end: no device, the caller pulls mixed blocks.
int audio_open_readback(int rate_value, int samples_per_read);
int audio_is_open();
void audio_close();
// Once per drawn frame after every voice update.
void audio_commit();
// Readback only: mixes one block and returns it (null when not in readback).
const unsigned char* audio_read();

// Audio output: back ends behind one table of operations, all playing through the software
// mixer (mixer.h).
//
// "waveout": the SDL audio device; SDL's audio thread mixes 1/64 s fragments of 8-bit
// unsigned samples under the mixer lock. Readback: no device; the main loop pulls one block of
// 16-bit mixed samples per tick ("--record-audio"). There is no DirectSound here: the "dsnd"
// option is read and only logged.
#pragma once

#include <atomic>
#include <mutex>
#include <vector>

#include "platform/mixer.h"

struct GameWindow;

// The operations of a back end, in this order.
struct AudioOps {
    int (*open)(GameWindow* window);
    int (*open_readback)(int rate_value, int samples_per_read);
    void (*close)();
    void (*commit)();
    const unsigned char* (*read)();
    Voice* (*voice_create)(int count, const unsigned char* samples, int sample_rate);
    Voice* (*voice_clone)(Voice* v);
    void (*voice_free)(Voice* v);
    void (*voice_play)(Voice* v);
    void (*voice_stop)(Voice* v);
    void (*voice_set_rate)(Voice* v, int rate);
    void (*voice_set_volume)(Voice* v, int volume);
    void (*voice_set_pan)(Voice* v, int pan);
    void (*voice_set_loop)(Voice* v, int loop);
    int (*voice_position)(Voice* v);
    void (*voice_write)(Voice* v, int count, const unsigned char* samples, int position);
};

// Process-wide audio state.
struct AudioState {
    const AudioOps* ops = nullptr; // null while no audio is open
    Mixer mixer;
    std::mutex lock;     // the mixer lock: the audio thread and every voice operation
    unsigned device = 0; // SDL audio device
    int fragment = 0;    // frames per 1/64 s fragment
    int mixahead = 0;    // fragments mixed ahead
    std::vector<unsigned char> pending; // mixed bytes not yet handed to the device
    size_t pending_pos = 0;
    std::atomic<bool> thread_started{false}; // set by the audio thread's first callback
    int samples_per_read = 0;                // readback: samples (both channels) per read
    std::vector<int16_t> read_buffer;
};
extern AudioState g_audio;

// Chooses and opens a back end; 1 when audio is open (failures are logged, the run goes on).
int audio_open(GameWindow* window);
// Opens the readback back end: rate_value samples per second over both channels of a stereo
// stream (88200 gives 44100 Hz stereo), samples_per_read samples per audio_read.
int audio_open_readback(int rate_value, int samples_per_read);
int audio_is_open();
// Samples per second of the open output (a voice made at this rate is not resampled); 0 when
// no audio is open.
int audio_output_rate();
void audio_close();
// Once per drawn frame after every voice update.
void audio_commit();
// Readback only: mixes one block and returns it (samples_per_read signed 16-bit samples in
// native byte order, left and right interleaved); null otherwise.
const unsigned char* audio_read();
// Bytes of one audio_read block.
int audio_read_bytes();

// Voice operations of the open back end (nothing happens, and create gives null, when none).
Voice* voice_create(int count, const unsigned char* samples, int sample_rate);
Voice* voice_clone(Voice* v);
void voice_free(Voice* v);
void voice_play(Voice* v);
void voice_stop(Voice* v);
void voice_set_rate(Voice* v, int rate);
void voice_set_volume(Voice* v, int volume);
void voice_set_pan(Voice* v, int pan);
void voice_set_loop(Voice* v, int loop);
int voice_position(Voice* v);
void voice_write(Voice* v, int count, const unsigned char* samples, int position);

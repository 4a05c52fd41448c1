// The software mixer: voices of 8-bit unsigned mono samples mixed into one 8-bit (device) or
// 16-bit (recording) stream, mono or stereo.
//
// Each playing voice sits in one list per output channel, chosen by its gain level (0..31) on
// that channel. Mixing goes from the loudest level down; only the first `budget` voices heard
// are mixed, the quieter rest just move on, so the cost stays bounded with many engines.
// The mixer takes no lock: the audio layer holds its mixer lock around every call.
#pragma once

#include <cstdint>
#include <vector>

constexpr int MIX_LEVELS = 32;

// Samples shared by a voice and its clones.
struct MixBlock {
    int refs;
    int length;
    unsigned char* samples;
};

struct Voice {
    MixBlock* block;
    int playing;
    int looping;
    int rate;          // samples per second
    int volume;        // 0..32767
    int pan;           // -32768 (left) .. 32767 (right)
    int gain[2];       // left and right gain levels, 0..31
    uint64_t position; // sample index in 16.16 fixed point
    Voice* prev[2];
    Voice* next[2];
    int listed[2]; // level of the list the voice is in per channel, -1 when in none
    int visited;   // mixing bookkeeping of the current block
    int audible;
};

struct Mixer {
    int rate = 22050; // output samples per second
    int channels = 2; // 1 or 2
    int budget = 16;  // audible voices per block
    Voice* lists[2][MIX_LEVELS] = {};
    std::vector<int32_t> acc[2]; // accumulation buffers
};

// Fragments of 1/64 s mixed ahead for a mix-ahead in milliseconds (1..32).
int mixer_mixahead_fragments(int milliseconds);
// Gain levels for a volume and pan: (32767 - pan) x volume / 2^26 and volume x (pan + 32768) /
// 2^26.
void mixer_gains(int volume, int pan, int* left, int* right);
// The scaled value of an unsigned sample at a gain level 1..31 (0 at level 0).
int mixer_scaled(int level, int sample);

// Sets the output format; frames is the largest block that will be mixed at once.
void mixer_init(Mixer* m, int rate, int channels, int budget, int frames);

// A voice with the samples resampled to the output rate (nearest sample): volume 32767, pan 0,
// not looping, not playing. Owned by the caller until mixer_voice_free.
Voice* mixer_voice_create(Mixer* m, int count, const unsigned char* samples, int sample_rate);
// A voice sharing the block of another.
Voice* mixer_voice_clone(Mixer* m, Voice* v);
// Stops the voice and frees it, and the block with its last reference.
void mixer_voice_free(Mixer* m, Voice* v);
void mixer_voice_play(Mixer* m, Voice* v);
void mixer_voice_stop(Mixer* m, Voice* v);
void mixer_voice_set_rate(Mixer* m, Voice* v, int rate);
void mixer_voice_set_volume(Mixer* m, Voice* v, int volume); // clamped to 0..32767
void mixer_voice_set_pan(Mixer* m, Voice* v, int pan);       // clamped; full left on mono
void mixer_voice_set_loop(Mixer* m, Voice* v, int loop);
// Index of the next sample to be played; 0 when not playing.
int mixer_voice_position(Mixer* m, Voice* v);
// Copies count samples to the voice's block from position on, wrapping at the end; when count
// exceeds the length only the last length samples are written.
void mixer_voice_write(Mixer* m, Voice* v, int count, const unsigned char* samples, int position);

// Mixes frames output frames into out: bits 8 gives unsigned bytes, 16 signed 16-bit samples;
// stereo interleaves left and right.
void mixer_mix(Mixer* m, int frames, int bits, void* out);

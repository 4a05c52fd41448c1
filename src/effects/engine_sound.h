// Engine sound: one looping voice per bike, filled with the engine's firing pulses through a
// small model of the exhaust pipe, plus short impact sounds for landings and crashes.
//
// A train of wave-table pulses, one per firing, at a rate set by the engine speed, is fed
// through sixteen feedback delay taps that stand for the pipe's resonances. Samples are made at
// 44100 Hz into a ring of 32768 floats, 0.1 s ahead of the voice's play position, and written
// into a looping 8-bit voice of the audio layer (platform/audio.h); each drawn frame the voice's
// rate, volume and pan follow the bike and the listener (Doppler, distance, direction).
//
// ".pipeinfo" files replace a bike's pipe. Text, read line by line; "#" starts a comment that
// runs to the end of the line. A line "pipe L S G first last" (length and spread in feet, gain,
// first and last tap 0..15; missing fields at the end take 5.0 0.9182072 -0.85 0 15) spreads
// the taps first..last from length L down to L - min(L, S) sharing gain G. Other lines are
// ignored. Opening a file first silences all sixteen taps, so a file replaces the default pipe
// entirely. Lookup by the bike's graphics name: its extension replaced by ".pipeinfo", then
// cut back at each "-" (variants share their model's file), else "@default125.pipeinfo" (two
// strokes) or "@default250f.pipeinfo".
//
// Units: feet, seconds, hertz. Random jitter and misfires come from the runtime's 15-bit
// generator (rand15), never from the race's MT19937.
#pragma once

#include <cstddef>
#include <cstdint>

struct Bike;
struct Voice;

constexpr int ENGINE_RATE = 44100;         // synthesis samples per second
constexpr int ENGINE_RING = 32768;         // ring and voice length, samples
constexpr int ENGINE_WAVE = 1024;          // pulse wave table entries
constexpr int ENGINE_TAPS = 16;            // pipe feedback taps
constexpr int ENGINE_LEAD = 4410;          // samples written ahead of the play position (0.1 s)
constexpr int ENGINE_BATCH_MAX = 8820;     // samples made per update, at most
constexpr int ENGINE_WRITE_START = 11025;  // write position of a new sound
constexpr double SPEED_OF_SOUND = 1140.63; // feet per second
// Doppler: the factor b / a is used while b <= ENGINE_DOPPLER_LIMIT x a (a source approaching
// at up to 7/8 of the speed of sound); beyond that the pitch stays at this factor.
constexpr double ENGINE_DOPPLER_LIMIT = 8.0;
constexpr float ENGINE_MIN_FIRING_RATE = 20;    // firings per second, at least
constexpr float ENGINE_MAX_FIRING_RATE = 11025; // and at most (a broken rpm stays audible)

// The sound of one engine kind, copied into each bike's sound (its pipe may then change).
struct EngineParams {
    const float* wave;                      // ENGINE_WAVE entries (the module's tables)
    float firings_per_rev;                  // 0.5 four-stroke, 1.0 two-stroke
    float misfire_low, misfire_high;        // engine torque range over which firings weaken
    float closed_amplitude, open_amplitude; // pulse amplitude at closed and open throttle
    int tap_delay[ENGINE_TAPS];             // stored as 32768 - delay in samples
    float tap_gain[ENGINE_TAPS];
};

// What the engine sound hears from: the camera of the last drawn frame (world feet).
struct EngineListener {
    float eye[3] = {0, 0, 0};
    float right[3] = {1, 0, 0}; // the camera's right axis
    float velocity[3] = {0, 0, 0};
};

// The engine state a batch of samples is made from (constant over one update).
struct EngineDrive {
    float rpm;      // engine speed
    float throttle; // 0..1
    float torque;   // engine torque at that rpm and throttle (foot pound-force)
};

// Voice settings of one update.
struct EngineVoiceSettings {
    int rate;   // samples per second, 100..1000000
    int volume; // 0..32767
    int pan;    // -32767 (left) .. 32767 (right)
};

struct EngineSound {
    Voice* voice;
    EngineParams params;
    float ring[ENGINE_RING];
    float amplitude;     // current pulse amplitude
    float firing_rate;   // firings per second
    float volume_factor; // 1
    int write;           // ring index of the next sample
    uint32_t phase;      // 24-bit fraction of the pulse period
    int firings;
    int misfire;
    int settled;                     // the write position has reached its lead once
    int late;                        // updates that found the play position past the write position
    uint8_t bytes[ENGINE_BATCH_MAX]; // one update's samples as the voice takes them
    // Impact sounds.
    Voice* land_voice;
    Voice* crash_voice;
    int airborne_since;  // physics clock when both wheels left the ground, -1 on the ground
    float fall_speed;    // downward speed of the frame while airborne (ft/s)
    int crash_countdown; // the bike's crash countdown at the last update
};

// Process-wide state of the engine sounds: the wave tables and default records (built on first
// use) and the impact samples.
struct EngineSoundState {
    int built = 0;
    float wave_four[ENGINE_WAVE];
    float wave_two[ENGINE_WAVE];
    EngineParams four, two;
    int land_length = 0, crash_length = 0; // samples at 44100 Hz
    uint8_t land[ENGINE_RATE / 2];
    uint8_t crash[ENGINE_RATE];
};
extern const EngineSoundState& g_engine_sounds;

// Creates the engine sound of a bike (graphics: the texture name its pipe file is looked up
// by, null or "" for the bike's own): a looping silent voice of 32768 samples at volume 0,
// playing, the default record of its engine kind and its pipe file. Null when there is no audio
// output. Allocates once here, never in the updates.
EngineSound* engine_sound_create(const Bike* bike, const char* graphics);
// Once per drawn frame for each bike with a sound, after the frame is shown: makes the samples
// up to 0.1 s ahead of the play position and sets rate, volume and pan for the listener. level
// is 0.1 x "volume" x the main loop's factor (1, 0.25 or 0).
void engine_sound_update(const Bike* bike, EngineSound* sound, float level,
                         const EngineListener& listener);
// Stops and frees a sound; null is ignored.
void engine_sound_free(EngineSound* sound);
// Forgets the tables and records (tests).
void engine_sounds_reset();

// ---- The model, apart from the audio layer (tests, benchmarks, the fuzz target) ----

// The default record of an engine kind (tables built on first use).
const EngineParams* engine_params_default(int two_stroke);
// Spreads taps first..last (clamped to 0..15, last to first..15) from length L down to
// L - min(L, S), each gain G / n for n taps; one tap takes L and G. Delays are the round trip
// in samples at 44100 Hz, held to 1..32767.
void engine_pipe_configure(EngineParams* p, float length, float spread, float gain, int first,
                           int last);
// Reads ".pipeinfo" text into p (all taps silenced first). Lines with values that are not
// finite are skipped, gains are held to -1..1 and lengths to 0..400 feet, each with a log line
// naming `name`. Returns the number of "pipe" lines applied.
int engine_pipe_read(EngineParams* p, const char* text, size_t length, const char* name);
// Finds and reads the pipe file of a graphics name (see the lookup above); 1 when one was read,
// 0 when none opened (p unchanged).
int engine_pipe_load(EngineParams* p, const char* graphics, int two_stroke);
// Sets a new sound's synthesis state (ring silent, amplitude 0, rate 10, write 11025).
void engine_sound_init(EngineSound* s, const EngineParams* params);
// Makes n samples into the ring from the write position and their bytes into s->bytes;
// returns the write position they started at.
int engine_sound_synthesize(EngineSound* s, int n, const EngineDrive& drive);
// Samples to make for a play position: (play - write + 37178) mod 32768, at most 8820.
int engine_sound_batch(int play, int write);
// Rate, volume and pan of a source at position P moving at V for the listener, at level times
// the volume factor.
void engine_voice_settings(const float P[3], const float V[3], const EngineListener& listener,
                           float level, EngineVoiceSettings* out);

// Engine sound: the pulse wave tables, the pipe taps and their ".pipeinfo" files, the synthesis
// into the ring ahead of the play position, and the voice's Doppler, distance and pan.
#include "effects/engine_sound.h"

#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bike/bike.h"
#include "bike/bodypose.h"
#include "bike/drivetrain.h"
#include "core/maths.h"
#include "data/datafile.h"
#include "effects/impact_sound.h"
#include "platform/audio.h"
#include "platform/log.h"
#include "platform/random.h"

namespace {

EngineSoundState g_state;

constexpr int RING_MASK = ENGINE_RING - 1;
constexpr uint32_t PHASE_ONE = 1u << 24; // one pulse period in the phase accumulator
// The four-stroke's pipe, which is also what a "pipe" line leaves out.
constexpr float DEFAULT_LENGTH = 5.0f, DEFAULT_SPREAD = 0.9182072f, DEFAULT_GAIN = -0.85f;
constexpr float MAX_PIPE_LENGTH = 400.0f; // feet: the round trip still fits the ring

// ---- Wave tables and defaults ----

void build_tables() {
    EngineSoundState& s = g_state;
    for (int i = 0; i < ENGINE_WAVE; i++) {
        double x = i / 1023.0;
        double four = (std::fabs(std::sin(3 * PI * x + 0.5246)) - 0.5) * 0.5;
        double two = 0;
        if (x < 0.25) {
            four += std::sin(16 * PI * x) * (1 - 4 * x);
            two = std::sin(8 * PI * x) * (1 - 4 * x);
        }
        s.wave_four[i] = (float)four;
        s.wave_two[i] = (float)two;
    }
    s.four = EngineParams{};
    s.four.wave = s.wave_four;
    s.four.firings_per_rev = 0.5f;
    s.four.misfire_low = -2.5f;
    s.four.misfire_high = 2.5f;
    s.four.closed_amplitude = 0.5f;
    s.four.open_amplitude = 1.0f;
    engine_pipe_configure(&s.four, DEFAULT_LENGTH, DEFAULT_SPREAD, DEFAULT_GAIN, 0, 15);
    s.two = EngineParams{};
    s.two.wave = s.wave_two;
    s.two.firings_per_rev = 1.0f;
    s.two.misfire_low = -3.5f;
    s.two.misfire_high = 3.5f;
    s.two.closed_amplitude = 0.75f;
    s.two.open_amplitude = 1.0f;
    engine_pipe_configure(&s.two, 1.75f, 0.3f, -0.75f, 0, 15);
    s.land_length = impact_land_samples(s.land, (int)sizeof s.land);
    s.crash_length = impact_crash_samples(s.crash, (int)sizeof s.crash);
    s.built = 1;
}

void ensure_tables() {
    if (!g_state.built) build_tables();
}

// ---- ".pipeinfo" text ----

// The next number of a line after optional blanks, as scanf's %f (integer 0) or %d (integer
// 1) reads it: *at moves past what was read; 0 when nothing reads (*at stays).
int scan_number(const char** at, const char* end, int integer, double* out) {
    const char* p = *at;
    while (p < end && *p && std::strchr(" \t\r\f\v", *p)) p++;
    char field[64];
    size_t n = 0;
    while (p + n < end && n + 1 < sizeof field && p[n] && !std::strchr(" \t\r\f\v", p[n])) {
        field[n] = p[n];
        n++;
    }
    field[n] = 0;
    char* stop = field;
    double v;
    if (integer) {
        long l = std::strtol(field, &stop, 10); // out of range: LONG_MIN or LONG_MAX
        v = l < INT_MIN ? INT_MIN : (l > INT_MAX ? INT_MAX : (double)l); // saturated
    } else {
        v = std::strtod(field, &stop);
    }
    if (stop == field) return 0;
    *out = v;
    *at = p + (stop - field);
    return 1;
}

// Applies one line (comment already cut off); 1 when it was a "pipe" line that was used.
int pipe_line(EngineParams* p, const char* line, const char* end, const char* name, int number) {
    if (end - line < 4 || std::strncmp(line, "pipe", 4) != 0) return 0;
    const char* at = line + 4;
    double L = DEFAULT_LENGTH, S = DEFAULT_SPREAD, G = DEFAULT_GAIN;
    double first = 0, last = ENGINE_TAPS - 1;
    // Fields missing at the end keep their defaults; the first that does not read ends them.
    if (scan_number(&at, end, 0, &L) && scan_number(&at, end, 0, &S) &&
        scan_number(&at, end, 0, &G) && scan_number(&at, end, 1, &first))
        scan_number(&at, end, 1, &last);
    if (!std::isfinite(L) || !std::isfinite(S) || !std::isfinite(G)) {
        log_printf("%.200s line %d: pipe values are not numbers, line skipped\n", name, number);
        return 0;
    }
    if (L < 0 || L > MAX_PIPE_LENGTH || S < 0 || S > MAX_PIPE_LENGTH || G < -1 || G > 1) {
        log_printf("%.200s line %d: pipe values held to length 0..400, spread 0..400, "
                   "gain -1..1\n",
                   name, number);
        L = clampd(L, 0, MAX_PIPE_LENGTH);
        S = clampd(S, 0, MAX_PIPE_LENGTH);
        G = clampd(G, -1, 1);
    }
    engine_pipe_configure(p, (float)L, (float)S, (float)G, (int)first, (int)last);
    return 1;
}

int try_pipe_file(EngineParams* p, const std::string& name) {
    std::vector<unsigned char> text;
    if (!data_load(name.c_str(), &text)) return 0;
    engine_pipe_read(p, (const char*)text.data(), text.size(), name.c_str());
    return 1;
}

// ---- Voices ----

unsigned char sample_byte(float v) {
    float x = v * 127.0f + 127.0f;
    if (!(x > 0)) return 0;
    if (x >= 255) return 255;
    return (unsigned char)(int)(x + 0.5f);
}

uint32_t phase_step(float rate) {
    return (uint32_t)std::lround((double)rate / ENGINE_RATE * PHASE_ONE);
}

// A firing: the next pulse's amplitude from the throttle, a weak pulse when the wheel drives
// the engine (negative torque), and the rate of the next firings with a little jitter.
void fire(EngineSound* s, const EngineDrive& d) {
    const EngineParams& p = s->params;
    s->amplitude = p.closed_amplitude + (p.open_amplitude - p.closed_amplitude) * d.throttle;
    s->firings++;
    float span = p.misfire_high - p.misfire_low;
    float c = span != 0 ? (d.torque - p.misfire_low) / span : 1.0f;
    c = clamp_or_low(c, 0.0f, 1.0f);
    s->misfire = c < (float)rand15() / 32767.0f;
    float r = (float)rand15() / 32767.0f;
    float rate = d.rpm / 60.0f * p.firings_per_rev * (1 + r / 32);
    s->firing_rate = clamp_or_low(rate, ENGINE_MIN_FIRING_RATE, ENGINE_MAX_FIRING_RATE);
}

} // namespace

const EngineSoundState& g_engine_sounds = g_state;

void engine_sounds_reset() {
    g_state.built = 0;
}

const EngineParams* engine_params_default(int two_stroke) {
    ensure_tables();
    return two_stroke ? &g_state.two : &g_state.four;
}

void engine_pipe_configure(EngineParams* p, float L, float S, float G, int first, int last) {
    int f = first < 0 ? 0 : (first > ENGINE_TAPS - 1 ? ENGINE_TAPS - 1 : first);
    int e = last < f ? f : (last > ENGINE_TAPS - 1 ? ENGINE_TAPS - 1 : last);
    float m = L < S ? L : S;
    int n = e - f + 1;
    for (int i = f; i <= e; i++) {
        double length = L, gain = G;
        if (n > 1) {
            double k = i - f, v = 1.0 / (e - f);
            length = L - (k + v * v * k * k) * m / n;
            gain = (double)G / n;
        }
        // The round trip through the pipe, in samples; a delay of at least one sample and at
        // most the ring keeps every tap a true delay whatever the file says.
        double samples = length / SPEED_OF_SOUND * ENGINE_RATE * 2;
        int delay = std::isfinite(samples) ? (int)clampd(samples, 1, ENGINE_RING - 1) : 1;
        p->tap_delay[i] = ENGINE_RING - delay;
        p->tap_gain[i] = (float)gain;
    }
}

int engine_pipe_read(EngineParams* p, const char* text, size_t length, const char* name) {
    engine_pipe_configure(p, 1, 1, 0, 0, ENGINE_TAPS - 1); // silent until a line says otherwise
    const char* end = text + length;
    int applied = 0, number = 0;
    for (const char* line = text; line < end;) {
        const char* eol = (const char*)std::memchr(line, '\n', (size_t)(end - line));
        if (!eol) eol = end;
        number++;
        const char* hash = (const char*)std::memchr(line, '#', (size_t)(eol - line));
        applied += pipe_line(p, line, hash ? hash : eol, name, number);
        line = eol + 1;
    }
    return applied;
}

int engine_pipe_load(EngineParams* p, const char* graphics, int two_stroke) {
    std::string base = graphics ? graphics : "";
    size_t slash = base.find_last_of('/');
    auto after_slash = [&](size_t at) {
        return at != std::string::npos && (slash == std::string::npos || at > slash);
    };
    size_t dot = base.find_last_of('.');
    if (after_slash(dot)) {
        base.erase(dot);
        if (try_pipe_file(p, base + ".pipeinfo")) return 1;
    }
    for (size_t dash = base.find_last_of('-'); after_slash(dash); dash = base.find_last_of('-')) {
        base.erase(dash);
        if (try_pipe_file(p, base + ".pipeinfo")) return 1;
    }
    return try_pipe_file(p, two_stroke ? "@default125.pipeinfo" : "@default250f.pipeinfo");
}

void engine_sound_init(EngineSound* s, const EngineParams* params) {
    s->params = *params;
    std::memset(s->ring, 0, sizeof s->ring);
    s->amplitude = 0;
    s->firing_rate = 10;
    s->volume_factor = 1;
    s->write = ENGINE_WRITE_START;
    s->phase = 0;
    s->firings = 0;
    s->misfire = 0;
    s->settled = 0;
    s->late = 0;
    s->airborne_since = -1;
    s->fall_speed = 0;
    s->crash_countdown = 0;
}

int engine_sound_batch(int play, int write) {
    int n = ((play - write + ENGINE_RING + ENGINE_LEAD) % ENGINE_RING + ENGINE_RING) % ENGINE_RING;
    return n < ENGINE_BATCH_MAX ? n : ENGINE_BATCH_MAX;
}

int engine_sound_synthesize(EngineSound* s, int n, const EngineDrive& drive) {
    EngineDrive d = drive; // a broken bike state must not reach the samples
    d.throttle = clamp_or_low(d.throttle, 0.0f, 1.0f);
    if (!std::isfinite(d.rpm)) d.rpm = 0;
    if (!std::isfinite(d.torque)) d.torque = 0;
    const EngineParams& p = s->params;
    if (n > ENGINE_BATCH_MAX) n = ENGINE_BATCH_MAX;
    int start = s->write, i = start;
    uint32_t u = phase_step(s->firing_rate);
    for (int k = 0; k < n; k++) {
        // 1. The pipe: every tap's echo of what left the pipe `delay` samples ago.
        float v = 0;
        for (int j = 0; j < ENGINE_TAPS; j++)
            v += p.tap_gain[j] * s->ring[(i + p.tap_delay[j]) & RING_MASK];
        // 2. The pulse of the current firing; a misfire is weak.
        float cap = s->misfire ? 0.25f : 1.0f;
        v += (s->amplitude < cap ? s->amplitude : cap) *
             p.wave[(s->phase >> 14) & (ENGINE_WAVE - 1)];
        // 3.
        v = clamp(v, -16.0f, 16.0f);
        s->ring[i] = v;
        s->bytes[k] = sample_byte(v);
        // 4. The next firing.
        s->phase += u;
        if (s->phase > PHASE_ONE - 1) {
            s->phase -= PHASE_ONE;
            fire(s, d);
            u = phase_step(s->firing_rate);
        }
        i = (i + 1) & RING_MASK;
    }
    s->write = i;
    return start;
}

void engine_voice_settings(const float P[3], const float V[3], const EngineListener& ear,
                           float level, EngineVoiceSettings* out) {
    double d[3] = {(double)ear.eye[0] - P[0], (double)ear.eye[1] - P[1], (double)ear.eye[2] - P[2]};
    double d2 = d[0] * d[0] + d[1] * d[1] + d[2] * d[2];
    double dist = std::sqrt(d2);
    double factor = 1, pan = 0;
    if (d2 >= 1.0 / 1024) {
        double n[3] = {d[0] / dist, d[1] / dist, d[2] / dist};
        double a = 1 - (V[0] * n[0] + V[1] * n[1] + V[2] * n[2]) / SPEED_OF_SOUND;
        double b = 1 - (ear.velocity[0] * n[0] + ear.velocity[1] * n[1] + ear.velocity[2] * n[2]) /
                           SPEED_OF_SOUND;
        // Near the speed of sound the factor would run away: it stops at the limit.
        factor = (a > 0 && b <= ENGINE_DOPPLER_LIMIT * a) ? b / a : ENGINE_DOPPLER_LIMIT;
        pan = -(n[0] * ear.right[0] + n[1] * ear.right[1] + n[2] * ear.right[2]) * 32767;
    }
    out->rate = (int)std::lround(clamp_or_low(factor * ENGINE_RATE, 100.0, 1000000.0));
    double g = 1 + (dist - 1) / 48;
    if (!(g >= 1)) g = 1;
    out->volume = (int)clamp_or_low((double)level * 32767 / g, 0.0, 32767.0);
    out->pan = (int)clampd(std::isfinite(pan) ? pan : 0.0, -32767, 32767);
}

EngineSound* engine_sound_create(const Bike* bike, const char* graphics) {
    if (!bike || !audio_is_open()) return nullptr;
    ensure_tables();
    int two = bike_two_stroke(bike);
    EngineSound* s = new EngineSound();
    engine_sound_init(s, engine_params_default(two));
    // The ring is played as it is, without resampling: the voice is made at the output's rate
    // and then played at 44100 Hz (times the Doppler factor).
    std::vector<unsigned char> silence(ENGINE_RING, 128);
    s->voice = voice_create(ENGINE_RING, silence.data(), audio_output_rate());
    if (!s->voice) {
        delete s;
        return nullptr;
    }
    voice_set_loop(s->voice, 1);
    voice_set_volume(s->voice, 0);
    voice_play(s->voice);
    const char* name =
        graphics && graphics[0] ? graphics : bike->texture_names[BIKE_TEX_BIKE].c_str();
    engine_pipe_load(&s->params, name, two);
    s->land_voice = voice_create(g_state.land_length, g_state.land, ENGINE_RATE);
    s->crash_voice = voice_create(g_state.crash_length, g_state.crash, ENGINE_RATE);
    return s;
}

void engine_sound_update(const Bike* bike, EngineSound* s, float level,
                         const EngineListener& listener) {
    if (!bike || !s) return;
    // 1. How far the player has come; an update that finds it past the write position is late
    // (the ring plays old samples until the writing catches up).
    int play = voice_position(s->voice);
    if (s->settled && ((s->write - play) & RING_MASK) > ENGINE_RING / 2) s->late++;
    int n = engine_sound_batch(play, s->write);
    if (n < ENGINE_BATCH_MAX) s->settled = 1;
    // 2-4. The samples.
    if (n > 0) {
        EngineDrive d;
        d.rpm = bike_rpm(bike);
        d.throttle = bike->throttle;
        d.torque = bike_engine_torque(&bike->info, d.rpm, d.throttle);
        int start = engine_sound_synthesize(s, n, d);
        voice_write(s->voice, n, s->bytes, start);
    }
    // 5-7. Doppler, distance and pan.
    float P[3], V[3];
    bike_frame_position(bike, P);
    bike_body_velocity(bike, BODY_FRAME, V);
    EngineVoiceSettings vs;
    engine_voice_settings(P, V, listener, level * s->volume_factor, &vs);
    voice_set_rate(s->voice, vs.rate);
    voice_set_volume(s->voice, vs.volume);
    voice_set_pan(s->voice, vs.pan);
    impact_sound_update(bike, s, vs);
}

void engine_sound_free(EngineSound* s) {
    if (!s) return;
    if (s->late > 0) log_printf("Engine sound fell behind its voice %d times\n", s->late);
    voice_free(s->voice);
    voice_free(s->land_voice);
    voice_free(s->crash_voice);
    delete s;
}

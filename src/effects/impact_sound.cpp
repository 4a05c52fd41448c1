// Impact sounds: synthesised landing thumps and crash crunches, started from what the bike's
// wheels and rider do between drawn frames.
#include "effects/impact_sound.h"

#include <cmath>

#include "bike/bike.h"
#include "bike/bodypose.h"
#include "bike/world.h"
#include "core/config.h"
#include "core/maths.h"
#include "effects/engine_sound.h"
#include "platform/audio.h"

namespace {

// A small deterministic noise source for the synthesis (the samples are the same every run).
struct Noise {
    uint32_t state;
    float next() {
        state = state * 1664525u + 1013904223u;
        return (float)((state >> 8) & 0xffff) / 32768.0f - 1.0f;
    }
};

uint8_t to_byte(float v) {
    float x = clampf(v, -1.0f, 1.0f) * 127.0f + 128.0f;
    return (uint8_t)(int)(x + 0.5f);
}

void start(Voice* v, float strength, const EngineVoiceSettings& engine) {
    if (!v) return;
    voice_stop(v); // back to the first sample
    voice_set_volume(v, (int)clampf(engine.volume * strength, 0.0f, 32767.0f));
    voice_set_pan(v, engine.pan);
    voice_play(v);
}

} // namespace

int impact_land_samples(uint8_t* out, int max) {
    // A tyre and suspension thump: a low, quickly bending boom over a short burst of grit.
    int n = ENGINE_RATE * 35 / 100;
    if (n > max) n = max;
    Noise noise{12345};
    float grit = 0;
    for (int i = 0; i < n; i++) {
        float t = (float)i / ENGINE_RATE;
        float boom =
            std::sin(2 * PI_F * (48 * t + 1.2f * (1 - std::exp(-t * 20)))) * std::exp(-t * 14);
        float knock = std::sin(2 * PI_F * 130 * t) * std::exp(-t * 45) * 0.45f;
        grit += (noise.next() - grit) * 0.35f; // low-passed noise
        float v = 0.85f * boom + knock + grit * 0.8f * std::exp(-t * 35);
        out[i] = to_byte(v);
    }
    return n;
}

int impact_crash_samples(uint8_t* out, int max) {
    // Plastic and metal hitting the ground a few times, then the bike scraping to a stop.
    int n = ENGINE_RATE * 9 / 10;
    if (n > max) n = max;
    static const float HITS[4][2] = {{0.0f, 1.0f}, {0.11f, 0.7f}, {0.26f, 0.55f}, {0.43f, 0.4f}};
    Noise noise{987654};
    float low = 0, band = 0;
    for (int i = 0; i < n; i++) {
        float t = (float)i / ENGINE_RATE;
        float v = 0;
        for (const auto& h : HITS) {
            if (t < h[0]) continue;
            float u = t - h[0];
            float body = std::sin(2 * PI_F * 70 * u) * std::exp(-u * 25);
            float clank = (std::sin(2 * PI_F * 410 * u) + 0.6f * std::sin(2 * PI_F * 887 * u)) *
                          std::exp(-u * 40) * 0.35f;
            v += h[1] * (body + clank);
        }
        float white = noise.next();
        low += (white - low) * 0.08f;
        band += (white - band) * 0.5f;
        float scrape = (band - low) * std::exp(-t * 3.5f) * 0.7f;
        out[i] = to_byte(0.7f * v + scrape);
    }
    return n;
}

float impact_land_strength(float fall) {
    if (!(fall >= IMPACT_MIN_FALL)) return 0;
    float t = (fall - IMPACT_MIN_FALL) / (IMPACT_FULL_FALL - IMPACT_MIN_FALL);
    return clampf(0.25f + 0.75f * t, 0.25f, 1.0f);
}

void impact_sound_update(const Bike* bike, EngineSound* s, const EngineVoiceSettings& engine) {
    int clock = g_physics.clock;
    bool airborne = !(bike->wheels[0].depth > 0) && !(bike->wheels[1].depth > 0);
    int countdown = bike_crash_countdown(bike);
    bool crashed_now = countdown > 0 && s->crash_countdown <= 0;
    s->crash_countdown = countdown;
    bool on = g_config.impact_sounds.current == YES;
    if (airborne) {
        float v[3];
        bike_body_velocity(bike, BODY_FRAME, v);
        if (s->airborne_since < 0) s->airborne_since = clock;
        s->fall_speed = -v[1]; // the last airborne frame's speed is the one it lands with
    } else {
        if (on && s->airborne_since >= 0 && clock - s->airborne_since >= IMPACT_MIN_AIR_TICKS) {
            float strength = impact_land_strength(s->fall_speed);
            if (strength > 0) start(s->land_voice, strength, engine);
        }
        s->airborne_since = -1;
    }
    if (on && crashed_now) {
        float speed = bike_frame_speed(bike);
        start(s->crash_voice, clampf(speed / 30.0f, 0.4f, 1.0f), engine);
    }
}

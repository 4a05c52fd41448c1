// Impact sounds of the engine sound's bike: a thump when it lands from a jump and a crunch when
// its rider crashes. Their samples are synthesised once (no recorded sounds ship with the game);
// each bike's sound plays them on two voices of its own. Internal to effects/.
#pragma once

#include <cstdint>

struct Bike;
struct EngineSound;
struct EngineVoiceSettings;

// Airborne time (ticks) and downward speed (ft/s) a landing needs before it is heard, and the
// speed at which it is heard at full strength.
constexpr int IMPACT_MIN_AIR_TICKS = 32;
constexpr float IMPACT_MIN_FALL = 8.0f;
constexpr float IMPACT_FULL_FALL = 32.0f;

// Fills at most max unsigned 8-bit samples at 44100 Hz; returns how many.
int impact_land_samples(uint8_t* out, int max);
int impact_crash_samples(uint8_t* out, int max);
// Strength 0..1 of a landing at a downward speed (ft/s): 0 below IMPACT_MIN_FALL, then from
// 0.25 rising to 1 at IMPACT_FULL_FALL.
float impact_land_strength(float fall_speed);
// Once per update of the engine sound: watches the wheels and the crash countdown and starts a
// landing or crash sound at the engine's volume and pan ("impact_sounds" must be Yes).
void impact_sound_update(const Bike* bike, EngineSound* sound, const EngineVoiceSettings& engine);

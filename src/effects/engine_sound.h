// Engine sound: one looping voice per bike, filled with the engine's firing pulses through a
// small model of the exhaust pipe.
#pragma once

struct Bike;
struct EngineSound;

// Creates the engine sound of a bike (graphics: the texture name its pipe file is looked up
// by, null for the bike's own). Null when there is no audio output.
EngineSound* engine_sound_create(const Bike* bike, const char* graphics);
// Once per drawn frame for each bike with a sound, at level 0..1 (the volume setting and the
// main loop's state).
void engine_sound_update(const Bike* bike, EngineSound* sound, float level);
// Stops and frees a sound; null is ignored.
void engine_sound_free(EngineSound* sound);

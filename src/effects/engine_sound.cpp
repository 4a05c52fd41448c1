// Engine sound. Without a sound model every bike is silent: no voice is created.
#include "effects/engine_sound.h"

EngineSound* engine_sound_create(const Bike*, const char*) {
    return nullptr;
}

void engine_sound_update(const Bike*, EngineSound*, float) {}

void engine_sound_free(EngineSound*) {}

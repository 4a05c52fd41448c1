// Fuzzes the ".pipeinfo" reader: the input is the file's text. Whatever it holds, every tap
// must come out a true delay inside the ring with a finite gain of at most 1 in size, and the
// engine sound made through that pipe must stay within its sample range.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "effects/engine_sound.h"
#include "fuzz_util.h"
#include "platform/random.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz_private_folder();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static std::unique_ptr<EngineSound> sound(new EngineSound());
    int two_stroke = size > 0 && (data[0] & 1);
    EngineParams p = *engine_params_default(two_stroke);
    engine_pipe_read(&p, (const char*)data, size, "fuzz.pipeinfo");
    for (int i = 0; i < ENGINE_TAPS; i++) {
        if (p.tap_delay[i] < 1 || p.tap_delay[i] > ENGINE_RING - 1) abort();
        if (!std::isfinite(p.tap_gain[i]) || std::fabs(p.tap_gain[i]) > 1.0f) abort();
    }
    engine_sound_init(sound.get(), &p);
    rand15_seed((uint32_t)size);
    float rpm = size > 1 ? data[1] * 60.0f : 3000.0f;
    EngineDrive drive{rpm, 1.0f, 2.0f};
    engine_sound_synthesize(sound.get(), 2048, drive);
    for (int i = 0; i < 2048; i++) {
        float v = sound->ring[(sound->write - 2048 + i) & (ENGINE_RING - 1)];
        if (!(v >= -16 && v <= 16)) abort();
    }
    return 0;
}

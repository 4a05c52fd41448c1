// Fuzz target: the "lighting" reader on arbitrary bytes.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "fuzz_util.h"
#include "core/settings.h"
#include "data/texture.h"
#include "track/lighting.h"
#include "track/track.h"

static std::string setup() {
    std::string dir = fuzz_private_folder();
    return dir + "/input";
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static std::string path = setup();
    if (!fuzz_write_input(path, data, size)) return 0;
    lighting_read(path.c_str());
    // The sun direction is always a unit vector after a read.
    const float* s = g_lighting.sun_vector;
    double len = std::sqrt((double)s[0] * s[0] + (double)s[1] * s[1] + (double)s[2] * s[2]);
    if (!(std::fabs(len - 1) < 1e-3)) abort();
    for (const Flare& fl : g_lighting.flares)
        if (fl.element_count < 0 || fl.element_count > FLARE_ELEMENTS_MAX) abort();
    lighting_reset(&g_lighting);
    texture_reset();
    return 0;
}

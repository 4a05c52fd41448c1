// Fuzzes the surface-type readers: the first byte chooses "tileinfo" (even) or "texturelist"
// (odd), the rest is the file. The curves of every type read are then looked up.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

#include "fuzz_util.h"
#include "core/settings.h"
#include "data/datafile.h"
#include "track/surface.h"
#include "track/terrain.h"

static std::string g_path;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    g_settings.headless = 1; // textures are decoded and named, GL is never touched
    g_path = fuzz_private_folder() + "/surfaces";
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    FILE* out = fopen(g_path.c_str(), "wb");
    if (!out) abort();
    fwrite(data + 1, 1, size - 1, out);
    fclose(out);
    DataFile* f = data_open(g_path.c_str(), "rb");
    if (!f) abort();
    Terrain t;
    if (data[0] & 1)
        surface_types_read_texturelist(&t, f);
    else
        surface_types_read_tileinfo(&t, f);
    data_close(f);
    if (t.surfaces.size() > SURFACE_TYPES_MAX) abort();
    terrain_blend_codes(&t);
    static const float speeds[] = {0.0f, 0.5f, 3.0f, 40.0f, 1e6f};
    volatile float sink = 0;
    for (const SurfaceType& s : t.surfaces)
        for (float v : speeds) {
            sink = sink + surface_friction(&s, v * v) + surface_roll_resistance(&s, v, 0.5f);
            for (const RoostType& r : s.roost) sink = sink + roost_cone_angle(&r, v, 1.0f, 1);
        }
    return 0;
}

// Fuzzes the physics with hostile data: the input is a surface type file ("tileinfo") and the
// frame's collision shape, separated by the first zero byte. A bike is placed on the flat
// field of that surface and ridden for 300 ticks (1/128 s each) with throttle and steering
// from the input; nothing may crash, hang or leave a body non-finite.
#include <ode/ode.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "bike/bike.h"
#include "bike/contact.h"
#include "bike/harness.h"
#include "bike/step.h"
#include "core/settings.h"
#include "data/datafile.h"
#include "data/model.h"
#include "data/shape.h"
#include "data/texture.h"
#include "fuzz_util.h"
#include "track/surface.h"
#include "track/terrain.h"

namespace {

std::string g_dir;

bool finite_state(const Bike* b) {
    for (dBodyID body : b->bodies)
        for (int i = 0; i < 3; i++)
            if (!std::isfinite(dBodyGetPosition(body)[i]) ||
                !std::isfinite(dBodyGetLinearVel(body)[i]) ||
                !std::isfinite(dBodyGetAngularVel(body)[i]))
                return false;
    return true;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    g_dir = fuzz_private_folder();
    // The generated bikes; the fuzzed shape in the run's folder (the per-user folder) overrides
    // the frame's.
    setenv("QZ_HOME", VORNIX_DATA_DIR, 1);
    data_reset();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const uint8_t* zero = (const uint8_t*)memchr(data, 0, size);
    size_t first = zero ? (size_t)(zero - data) : size;
    const uint8_t* shape = zero ? zero + 1 : data + size;
    size_t shape_size = zero ? size - first - 1 : 0;
    float throttle = first > 0 ? data[0] / 255.0f : 1.0f;
    float steer = size > 1 ? data[size - 1] / 127.5f - 1.0f : 0.0f;

    if (!fuzz_write_input(g_dir + "/generic_frame.shp", shape, shape_size)) return 0;
    data_rescan();
    bikes_reset();
    contacts_reset();
    shape_reset();
    harness_open();
    if (harness_flat_track(2048) != 1) abort();
    std::string tileinfo = g_dir + "/tileinfo";
    if (fuzz_write_input(tileinfo, data, first)) {
        if (DataFile* f = data_open(tileinfo.c_str(), "rb")) {
            surface_types_read_tileinfo(&g_terrain, f);
            data_close(f);
        }
    }
    if (Bike* b = harness_add_bike("crf250(2009)", 1024, 1024, 0)) {
        bike_set_throttle(b, throttle);
        bike_set_steer(b, steer);
        for (int i = 0; i < 300; i++) {
            harness_tick();
            if (!finite_state(b)) abort();
        }
    }
    harness_close();
    texture_reset();
    model_reset();
    shape_reset();
    contacts_reset();
    return 0;
}

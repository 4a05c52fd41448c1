// Fuzz target: the "timing_gates" reader (start slots with their start-gate statues, gates,
// lap lists) on arbitrary bytes, then the sequence queries on what it kept.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "fuzz_util.h"
#include "core/settings.h"
#include "data/datafile.h"
#include "data/model.h"
#include "data/shape.h"
#include "data/texture.h"
#include "track/gates.h"
#include "track/objects.h"
#include "track/terrain.h"

static std::string setup() {
    std::string dir = fuzz_private_folder();
    return dir + "/input";
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static std::string path = setup();
    if (!fuzz_write_input(path, data, size)) return 0;
    g_terrain.extent = 512;
    DataFile* f = data_open(path.c_str(), "r");
    if (!f) return 0;
    gates_read(f);
    data_close(f);
    for (int k = 0; k < 600; k += 7) {
        int gate = gates_sequence_gate(k);
        if (gates_present() && (gate < 0 || gate >= (int)g_gates.gates.size())) abort();
        if (gate >= 0) gate_passed(&g_gates.gates[gate], 1, 1);
    }
    gates_laps_completed(1000);
    start_bars_raise();
    for (int tick = 0; tick < 20; tick++) start_bars_update(tick, 2);
    gates_mark_position(3);
    gates_free();
    objects_free();
    shape_reset();
    model_reset();
    texture_reset();
    return 0;
}

// Fuzz target: the "timing_gates" reader (start slots with their start-gate statues, gates,
// lap lists) on arbitrary bytes, then the sequence queries on what it kept.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/settings.h"
#include "data/datafile.h"
#include "data/model.h"
#include "data/shape.h"
#include "data/texture.h"
#include "track/gates.h"
#include "track/objects.h"
#include "track/terrain.h"

// Runs in an empty folder of its own: "@" names find nothing, the log goes nowhere.
static std::string setup() {
    char dir[] = "/tmp/vornix-fuzz-XXXXXX";
    if (!mkdtemp(dir)) abort();
    setenv("HOME", dir, 1);
    setenv("XDG_DATA_HOME", dir, 1);
    setenv("QZ_HOME", dir, 1);
    setenv("DRUV_LOGFILE", "/dev/null", 1);
    g_settings.headless = 1;
    return std::string(dir) + "/input";
}

// Names in the input are opened as files; keep the fuzzer away from devices and pipes.
static bool names_a_path(const uint8_t* data, size_t size) {
    for (size_t i = 0; i < size; i++)
        if (data[i] == '/') return true;
    return false;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static std::string path = setup();
    if (names_a_path(data, size)) return 0;
    FILE* out = fopen(path.c_str(), "wb");
    if (!out) return 0;
    fwrite(data, 1, size, out);
    fclose(out);
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

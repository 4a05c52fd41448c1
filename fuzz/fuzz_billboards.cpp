// Fuzz target: the "billboards" reader and the "flaggers" reader on the same arbitrary bytes,
// then one flagger update.
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
    DataFile* f = data_open(path.c_str(), "r");
    if (!f) return 0;
    billboards_read(f);
    data_close(f);
    flaggers_read(path.c_str());
    gates_clear_marks();
    flaggers_update(7.5, 640, 3, 5, 3);
    objects_free();
    shape_reset();
    model_reset();
    texture_reset();
    return 0;
}

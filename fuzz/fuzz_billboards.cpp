// Fuzz target: the "billboards" reader and the "flaggers" reader on the same arbitrary bytes,
// then one flagger update.
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

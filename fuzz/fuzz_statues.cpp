// Fuzz target: the "statues" reader on arbitrary bytes, then the statue grid and the bucket
// walk of the statue collision over the field.
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
#include "track/objects.h"
#include "track/terrain.h"

static std::string setup() {
    std::string dir = fuzz_private_folder();
    // One real shape so that statues naming it enter the grid.
    std::string shape = dir + "/s.shp";
    FILE* f = fopen(shape.c_str(), "w");
    if (f) {
        fputs("1\n0 0 0\n3 1 25000 2500\n", f);
        fclose(f);
    }
    return dir + "/input";
}

static int touch_all(void*, int, const Statue*, const float*, const float*) {
    return 1;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static std::string path = setup();
    if (!fuzz_write_input(path, data, size)) return 0;
    g_terrain.extent = 512;
    DataFile* f = data_open(path.c_str(), "r");
    if (!f) return 0;
    statues_read(f);
    data_close(f);
    statue_grid_rebuild();
    for (float x = -100; x < 700; x += 37)
        for (float z = -100; z < 700; z += 53) {
            const std::vector<int>& near = statues_near(x, z);
            for (size_t i = 1; i < near.size(); i++)
                if (near[i] <= near[i - 1]) abort();
            statues_collide(x, z, 1, touch_all, nullptr);
        }
    objects_free();
    shape_reset();
    model_reset();
    texture_reset();
    return 0;
}

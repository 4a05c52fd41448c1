// Fuzz target: the "statues" reader on arbitrary bytes, then the statue grid and the bucket
// walk of the statue collision over the field.
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
    // One real shape so that statues naming it enter the grid.
    std::string shape = std::string(dir) + "/s.shp";
    FILE* f = fopen(shape.c_str(), "w");
    if (f) {
        fputs("1\n0 0 0\n3 1 25000 2500\n", f);
        fclose(f);
    }
    return std::string(dir) + "/input";
}

static bool names_a_path(const uint8_t* data, size_t size) {
    for (size_t i = 0; i < size; i++)
        if (data[i] == '/') return true;
    return false;
}

static int touch_all(void*, int, const Statue*, const float*, const float*) {
    return 1;
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

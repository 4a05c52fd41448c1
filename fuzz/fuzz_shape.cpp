// Shape files over arbitrary bytes.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

#include "fuzz_util.h"
#include "data/datafile.h"
#include "data/shape.h"

static std::string g_path;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    g_path = fuzz_temp_folder() + "/input.shp";
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string& path = g_path;
    FILE* f = fopen(path.c_str(), "wb");
    if (!f) return 0;
    fwrite(data, 1, size, f);
    fclose(f);
    DataFile* in = data_open(path.c_str(), "rb");
    if (!in) return 0;
    Shape* s = shape_read(in, "fuzz.shp");
    data_close(in);
    if (s) {
        Shape* c = shape_copy(s);
        shape_free(c);
        shape_free(s);
    }
    return 0;
}

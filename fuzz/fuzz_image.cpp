// Every image reader over arbitrary bytes: PPM, PGM, "J6"/"J7", PNG (RGB(A) and 16-bit grey),
// and the texture loader's dispatch including "ANIM1" sequences, headless.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

#include "fuzz_util.h"
#include "core/settings.h"
#include "data/image.h"
#include "data/texture.h"

static std::string g_path;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    g_path = fuzz_temp_folder() + "/input.img";
    g_settings.headless = 1; // decode and check only; no GL
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string& path = g_path;
    FILE* f = fopen(path.c_str(), "wb");
    if (!f) return 0;
    fwrite(data, 1, size, f);
    fclose(f);

    Image img;
    image_load_ppm(path.c_str(), &img);
    image_load_pgm(path.c_str(), &img);
    image_load_rgba(path.c_str(), &img);
    int w, h;
    std::vector<uint16_t> grey;
    image_load_png_grey16(path.c_str(), &w, &h, &grey);

    unsigned t = texture_load(path.c_str());
    if (t) texture_anim_update(12345);
    texture_reset();
    return 0;
}

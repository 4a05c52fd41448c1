// Fuzzes the plate font description ("font_bold.txt"): the input is its text, beside a small
// atlas written once. Whatever the glyph lines say, lettering a plate stays within the atlas
// and the plate image.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "data/image.h"
#include "data/plate_font.h"
#include "fuzz_util.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    std::string dir = fuzz_private_folder();
    std::vector<uint8_t> rgb(32 * 32 * 3);
    for (size_t i = 0; i < rgb.size(); i++) rgb[i] = (uint8_t)(i * 7);
    if (!image_write_png_rgb("@font_bold.png", 32, 32, rgb.data())) abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (!fuzz_write_input(fuzz_temp_folder() + "/font_bold.txt", data, size)) return 0;
    plate_font_reset();
    for (const char* text : {"1", "23", "M8X", " ~", ""}) {
        Image plate;
        if (plate_font_image(text, &plate) &&
            (plate.width != 128 || plate.height != 128 ||
             plate.pixels.size() != (size_t)128 * 128 * (size_t)plate.channels))
            abort();
    }
    plate_font_reset();
    return 0;
}

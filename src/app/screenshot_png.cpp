// Temporary stand-in for the RGB PNG writer of the image module, so that screenshots work
// before that module lands. It is a weak definition: the image module's own writer replaces
// it at link time, and this file is deleted when that writer is in.
#include <png.h>

#include "data/datafile.h"
#include "data/image.h"

static void png_to_data(png_structp png, png_bytep bytes, png_size_t n) {
    DataFile* f = (DataFile*)png_get_io_ptr(png);
    if (data_write(f, bytes, n) != n) png_error(png, "write error");
}

static void png_flush_data(png_structp) {}

__attribute__((weak)) int image_write_png_rgb(const char* name, int width, int height,
                                              const uint8_t* rgb) {
    DataFile* f = data_open(name, "wb");
    if (!f) return 0;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    int ok = 0;
    if (png && info && !setjmp(png_jmpbuf(png))) {
        png_set_write_fn(png, f, png_to_data, png_flush_data);
        png_set_IHDR(png, info, (png_uint_32)width, (png_uint_32)height, 8, PNG_COLOR_TYPE_RGB,
                     PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
        png_write_info(png, info);
        for (int y = height - 1; y >= 0; y--)
            png_write_row(png, (png_bytep)(rgb + (size_t)y * width * 3));
        png_write_end(png, info);
        ok = 1;
    }
    png_destroy_write_struct(&png, &info);
    data_close(f);
    return ok;
}

// Test-only PNG files written directly with libpng, so the readers are checked against files
// the code under test did not make.
#pragma once

#include <png.h>

#include <csetjmp>
#include <cstdio>
#include <string>
#include <vector>

struct TestPng {
    int width = 0, height = 0;
    int colour = PNG_COLOR_TYPE_RGB;
    int depth = 8;
    int interlace = PNG_INTERLACE_NONE;
    std::vector<uint8_t> data;           // packed rows, top first, PNG byte order
    std::vector<png_color> palette;      // for palette images
    std::vector<uint8_t> trns;           // palette alpha entries
    int trns_grey = -1;                  // grey value made transparent by tRNS
    std::string text_before, text_after; // tEXt chunk texts before and after the image data
};

inline bool test_png_write(const std::string& path, const TestPng& p) {
    FILE* f = fopen(path.c_str(), "wb");
    if (!f) return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        fclose(f);
        return false;
    }
    png_init_io(png, f);
    png_set_IHDR(png, info, p.width, p.height, p.depth, p.colour, p.interlace,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (!p.palette.empty()) png_set_PLTE(png, info, p.palette.data(), (int)p.palette.size());
    if (!p.trns.empty()) png_set_tRNS(png, info, p.trns.data(), (int)p.trns.size(), nullptr);
    if (p.trns_grey >= 0) {
        png_color_16 c{};
        c.gray = (png_uint_16)p.trns_grey;
        png_set_tRNS(png, info, nullptr, 0, &c);
    }
    png_text t{};
    char key[] = "Comment";
    std::string before = p.text_before;
    if (!before.empty()) {
        t.compression = PNG_TEXT_COMPRESSION_NONE;
        t.key = key;
        t.text = before.data();
        png_set_text(png, info, &t, 1);
    }
    png_write_info(png, info);
    size_t rowbytes = png_get_rowbytes(png, info);
    std::vector<png_bytep> rows(p.height);
    for (int y = 0; y < p.height; y++) rows[y] = (png_bytep)p.data.data() + rowbytes * y;
    png_write_image(png, rows.data());
    png_infop end = png_create_info_struct(png);
    std::string after = p.text_after;
    if (!after.empty()) {
        t.compression = PNG_TEXT_COMPRESSION_zTXt;
        t.key = key;
        t.text = after.data();
        png_set_text(png, end, &t, 1);
    }
    png_write_end(png, end);
    png_destroy_info_struct(png, &end);
    png_destroy_write_struct(&png, &info);
    fclose(f);
    return true;
}

// Reads a PNG without transformations: its header and raw rows (PNG byte order).
struct TestPngRead {
    png_uint_32 width = 0, height = 0;
    int depth = 0, colour = 0;
    std::vector<uint8_t> data;
};

inline bool test_png_read(const std::string& path, TestPngRead* out) {
    FILE* f = fopen(path.c_str(), "rb");
    if (!f) return false;
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        fclose(f);
        return false;
    }
    png_init_io(png, f);
    png_read_info(png, info);
    png_get_IHDR(png, info, &out->width, &out->height, &out->depth, &out->colour, nullptr, nullptr,
                 nullptr);
    size_t rowbytes = png_get_rowbytes(png, info);
    out->data.resize(rowbytes * out->height);
    for (png_uint_32 y = 0; y < out->height; y++)
        png_read_row(png, out->data.data() + rowbytes * y, nullptr);
    png_read_end(png, nullptr);
    png_destroy_read_struct(&png, &info, nullptr);
    fclose(f);
    return true;
}

// Image decoding and encoding: PPM, PGM, "J6"/"J7", PNG, and the mipmap chain.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct DataFile;

// An image in memory: 8-bit samples, top row first, channels interleaved. When a mipmap chain
// is built, the smaller levels follow level 0 in the same pixel buffer.
struct Image {
    int width = 0;
    int height = 0;
    int channels = 0;  // 1, 3 or 4
    int max_alpha = 0; // the chain keeps the largest alpha of each block
    std::vector<uint8_t> pixels;
};

// Process-wide image state.
struct ImageState {
    char last_error[1024] = "";
};
extern ImageState g_image;

// Largest width or height any reader accepts; bigger headers are refused before allocating.
constexpr int IMAGE_MAX_SIDE = 16384;

// Readers over an open stream positioned after the magic token (the texture loader dispatches
// on it) and whole-file helpers. 1 on success; failures set g_image.last_error or log.
int image_read_ppm(DataFile* f, const char* magic, Image* out, int build_chain);
int image_read_pgm(DataFile* f, const char* magic, Image* out);
// "J6" (3 channels in the file) or "J7" (4) into channels_out (channels_in_file or 4); a
// channel the file lacks is only predicted and stays 0. No chain is built.
int image_read_predictive(DataFile* f, int channels_in_file, int channels_out, Image* out);
// 3 or 4 channels; sets max_alpha from a "[mip_max_alpha]" text chunk. No chain is built.
int image_read_png(DataFile* f, Image* out); // stream at its first byte

// Whole files by name ("@" names on the search path).
int image_load_ppm(const char* name, Image* out); // 3 channels with chain
int image_load_pgm(const char* name, Image* out); // 1 channel, no chain
int image_load_png_grey16(const char* name, int* width, int* height, std::vector<uint16_t>* out);
int image_load_rgba(const char* name, Image* out); // PNG, else "J6"/"J7"; 4 channels
// The writers save atomically (data/save.h): a failed write leaves the old file.
int image_write_png_grey16(const char* name, int width, int height, const uint16_t* samples);
// The same PNG into an open stream (one file of a save set); the caller closes it.
int image_write_png_grey16_to(DataFile* f, int width, int height, const uint16_t* samples);
// Rows supplied bottom row first (as read back from the frame buffer), written top row first.
// *error (when given) says why a save failed (data/save.h's reasons).
int image_write_png_rgb(const char* name, int width, int height, const uint8_t* rgb,
                        std::string* error = nullptr);

// What a PNG file's header says, read without decoding: size, bit depth (1, 2, 4, 8 or 16)
// and colour type (0 grey, 2 RGB, 3 palette, 4 grey with alpha, 6 RGBA).
struct PngHeader {
    int width = 0, height = 0; // 0 when the file's value does not fit an int
    int depth = 0, colour = 0;
};
// 1 when the name opens and starts with a PNG signature and an IHDR chunk.
int image_png_header(const char* name, PngHeader* out);

// Mipmap chain: level sizes, total pixel count, and building every level after level 0.
int image_chain_levels(int width, int height);
size_t image_chain_pixels(int width, int height);
// Grows pixels to the whole chain and fills every level after level 0 (rule from max_alpha).
void image_build_chain(Image* image);
// Builds one level (half size, never below 1) from the level at src into dst.
void image_build_level(const uint8_t* src, int width, int height, int channels, int max_alpha,
                       uint8_t* dst);
// Byte offset of level n of a chain of a width x height image with the given channels.
size_t image_level_offset(int width, int height, int channels, int level);

// The ground renderer: per-sample shading from the sun, and the low-detail ground textures
// (W x W textures of the shading, 448 samples apart with a 32-sample margin, each with a
// rebuild bit kept in the terrain record).
//
// Sample rectangles are inclusive: samples i0..i1 along x and j0..j1 along z. GL is touched
// only while a window (and so a GL context) exists; headless runs keep the bookkeeping only.
#pragma once

#include <cstdint>

struct Terrain;
struct Image;

// Process-wide state of the ground renderer.
struct GroundState {
    int lowdetail_cursor = 0; // round-robin position over the W x W low-detail textures
};
extern GroundState g_ground;

// Puts the renderer state back to start-up values.
void ground_reset();

// The shading bytes (RGB, half intensity) the sun, the ambient light (g_lighting) and the
// shadows give sample (i, j); indices are clamped to the field.
void ground_sample_shade(const Terrain* terrain, int i, int j, uint8_t rgb[3]);
// Sets the rebuild bits of the low-detail textures whose 448-sample blocks the rectangle meets.
void ground_mark_shading(Terrain* terrain, int i0, int j0, int i1, int j1);
// Recomputes the shading of every sample of the rectangle (clamped to the field) and marks it.
void ground_relight(Terrain* terrain, int i0, int j0, int i1, int j1);

// W for a field of N tiles per side: (2N / 64 + 6) / 7, and at least 1 so that small fields
// still have one texture for their shading.
int ground_lowdetail_count(int tiles);
// Allocates the W x W bookkeeping with every rebuild bit clear (no GL).
void ground_lowdetail_alloc(Terrain* terrain);
// Creates and fills the W x W GL textures from the shading (only with a GL context).
void ground_lowdetail_build(Terrain* terrain);
// Deletes the GL textures and forgets the bookkeeping.
void ground_lowdetail_free(Terrain* terrain);
// Rebuild bit of texture index (row x W + column).
int ground_lowdetail_dirty(const Terrain* terrain, int index);
// Side in pixels of the texture starting at block sample origin b: the smallest power of two
// at least 2N - b + 64, at most 512.
int ground_lowdetail_size(const Terrain* terrain, int block_origin);
// The picture of texture index: pixel (k, j) is the shading of sample
// (clamp(bx + k - 32, 0, 2N), clamp(bz + j - 32, 0, 2N)), 3 channels, no mipmap chain.
void ground_lowdetail_image(const Terrain* terrain, int index, Image* out);
// Looks at up to W x W textures from the round-robin cursor for one whose bit is set, clears
// the bit and returns its index; -1 when none is set.
int ground_lowdetail_next(Terrain* terrain);
// Builds the picture of texture index with its mipmap chain and uploads it into the existing
// GL texture (nothing without a GL context).
void ground_lowdetail_upload(Terrain* terrain, int index);

// Billboards: the track's sprites, the flaggers and the roost particles, drawn back to front
// after a radix sort on their depth, with nearby entries of the same texture pulled together
// within a look-ahead window so that fewer texture changes are needed.
//
// Track billboards and flaggers stand upright on their base point and turn about the vertical
// to face the camera; the roost particles' billboards (read from the live particles of
// effects/roost.h, sorted among the track's) are centred on their point and face the camera
// fully, their width being their size. The track's own hidden particle records stay hidden.
#pragma once

#include <cstdint>
#include <vector>

struct Camera;

// One corner of a billboard quad as the vertex arrays take it.
struct BillboardVertex {
    float x, y, z;
    float s, t;
    uint8_t rgba[4];
};

// Process-wide sorting buffers: they grow to the billboard count once and are reused, so a
// frame allocates nothing.
struct BillboardSort {
    std::vector<uint32_t> keys, keys_scratch;
    std::vector<int> order, order_scratch;
    std::vector<unsigned> textures;        // per entry of order, for the look-ahead
    std::vector<BillboardVertex> vertices; // one texture run at a time
};
extern BillboardSort g_billboard_sort;

// Sort key of a depth along the view direction (feet): floor(depth x 1024 + 2^24), clamped to
// the 32-bit range, so that depths from -16384 to about 4 million feet keep their order.
uint32_t billboard_sort_key(float depth);
// Sorts n items by key, ascending and stable, with four 8-bit radix passes. The scratch arrays
// hold n entries each; the result is back in keys and items.
void billboard_radix_sort(uint32_t* keys, int* items, int n, uint32_t* keys_scratch,
                          int* items_scratch);
// Reorders a draw order to draw runs of the same texture together: at each position, when the
// entry there does not continue the texture drawn last, the first entry of that texture within
// the next `window` entries (the current one included) is moved up to it. textures[i] belongs
// to items[i] and moves with it. Returns the number of texture changes of the final order
// (counting the first texture). A window below 2 leaves the order alone.
int billboard_lookahead(int* items, unsigned* textures, int n, int window);
// Sets the look-ahead window (the console's "bbopt"): stored in the configuration and
// reported with "Billboard optimization window is now %d".
void billboard_lookahead_set(int window);

// Draws every visible billboard of the track back to front: blending (source alpha, one minus
// source alpha), GL_MODULATE, culling and depth writes off while drawing, restored after.
void billboards_draw(const Camera& camera);
// Frees the buffers (tests).
void billboards_reset();

// World-space lines and flat shapes drawn over the frame just drawn, with its camera: the track
// editor's brush cursor, tile grid, gates, lap path and handles. Callers build lists of
// vertices; nothing here keeps state between frames.
#pragma once

#include <cstdint>
#include <vector>

// One vertex: world position (feet) and colour as R, G, B, A bytes.
struct OverlayVertex {
    float x, y, z;
    uint8_t rgba[4];
};

// What to draw: GL_LINES-style pairs or GL_TRIANGLES-style triples.
enum { OVERLAY_LINES = 0, OVERLAY_TRIANGLES = 1 };

struct OverlayBatch {
    int kind = OVERLAY_LINES;
    float width = 2; // line width in pixels
    int through = 0; // 1: drawn over everything (handles); 0: hidden behind the world
    std::vector<OverlayVertex> vertices;
};

// Draws the batches with the camera of the last world drawing (g_render.camera) and the
// projection in place, blended, untextured and unlit; the GL state is put back as the world
// drawing leaves it. Nothing happens without a GL context.
void overlay_draw(const std::vector<OverlayBatch>& batches);

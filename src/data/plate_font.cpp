// Number plates lettered with the bold font atlas.
#include "data/plate_font.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "data/datafile.h"

PlateFont g_plate_font;

void plate_font_reset() {
    g_plate_font = PlateFont();
}

namespace {

/*
 * Reads the atlas description (one item per line):
 *   size <px>, line_height <px>, ascent <px>, descent <px>, atlas <width> <height>,
 *   glyphs <count>, then <count> lines "<code> <x> <y> <w> <h> <left> <top> <advance>".
 * Glyphs whose rectangle leaves the atlas are dropped; codes outside 32..126 are ignored; an
 * atlas without a single visible glyph is refused.
 */
int plate_font_load() {
    PlateFont& f = g_plate_font;
    if (f.state) return f.state > 0;
    f.state = -1;
    std::vector<unsigned char> text;
    if (!data_load("@font_bold.txt", &text) || !image_load_rgba("@font_bold.png", &f.atlas))
        return 0;
    if (f.atlas.channels != 4 || f.atlas.width <= 0 || f.atlas.height <= 0) return 0;
    for (PlateGlyph& g : f.glyph) g = PlateGlyph{0, 0, 0, 0, 0, 0, 0};
    text.push_back(0);
    const char* p = (const char*)text.data();
    int found = 0;
    while (*p) {
        const char* end = strchr(p, '\n');
        std::string line(p, end ? (size_t)(end - p) : strlen(p));
        p = end ? end + 1 : p + line.size();
        int code, x, y, w, h, left, top, advance;
        if (sscanf(line.c_str(), "%d %d %d %d %d %d %d %d", &code, &x, &y, &w, &h, &left, &top,
                   &advance) != 8)
            continue;
        if (code < 32 || code > 126 || x < 0 || y < 0 || w < 0 || h < 0 || w > f.atlas.width - x ||
            h > f.atlas.height - y || advance < 0 || advance > 4096 || std::abs(left) > 4096 ||
            std::abs(top) > 4096)
            continue;
        f.glyph[code - 32] = PlateGlyph{x, y, w, h, left, top, advance};
        if (w > 0 && h > 0) found++;
    }
    if (!found) return 0;
    f.state = 1;
    return 1;
}

// Coverage of the atlas at a point (pixel units, bilinear), 0..1; 0 outside the glyph.
float atlas_coverage(const PlateGlyph& g, float u, float v) {
    const Image& a = g_plate_font.atlas;
    u -= 0.5f, v -= 0.5f;
    int x0 = (int)std::floor(u), y0 = (int)std::floor(v);
    float fx = u - x0, fy = v - y0;
    float sum = 0;
    for (int dy = 0; dy < 2; dy++)
        for (int dx = 0; dx < 2; dx++) {
            int x = x0 + dx, y = y0 + dy;
            if (x < 0 || y < 0 || x >= g.w || y >= g.h) continue;
            float w = (dx ? fx : 1 - fx) * (dy ? fy : 1 - fy);
            size_t at = ((size_t)(g.y + y) * a.width + (size_t)(g.x + x)) * 4 + 3;
            sum += w * a.pixels[at] / 255.0f;
        }
    return sum;
}

} // namespace

int plate_font_image(const char* text, Image* out) {
    if (!plate_font_load()) return 0;
    const int size = 128, margin = 10;
    const PlateFont& f = g_plate_font;
    int n = (int)strnlen(text ? text : "", 7);
    // The text's extent on the baseline: pen positions, ink above and below.
    int pen = 0, ink_top = 0, ink_bottom = 0, ink_left = 1 << 30, ink_right = -(1 << 30);
    for (int i = 0; i < n; i++) {
        unsigned char c = (unsigned char)text[i];
        const PlateGlyph& g = f.glyph[c >= 32 && c <= 126 ? c - 32 : 0];
        if (g.w > 0 && g.h > 0) {
            ink_top = std::max(ink_top, g.top);
            ink_bottom = std::max(ink_bottom, g.h - g.top);
            ink_left = std::min(ink_left, pen + g.left);
            ink_right = std::max(ink_right, pen + g.left + g.w);
        }
        pen += g.advance;
    }
    out->width = out->height = size;
    out->channels = 3;
    out->max_alpha = 0;
    out->pixels.assign((size_t)size * size * 3, 255);
    if (ink_right <= ink_left || ink_top + ink_bottom <= 0) return 1;
    float width = (float)(ink_right - ink_left), height = (float)(ink_top + ink_bottom);
    float room = (float)(size - 2 * margin);
    // Figures fill most of the plate's height; wide numbers are narrowed before they shrink.
    float sy = std::min(room * 0.78f / height, room / (width * 0.6f));
    float sx = std::min(sy, room / width);
    float x0 = (size - width * sx) / 2 - ink_left * sx;
    float base = (size - height * sy) / 2 + ink_top * sy;
    pen = 0;
    for (int i = 0; i < n; i++) {
        unsigned char c = (unsigned char)text[i];
        const PlateGlyph& g = f.glyph[c >= 32 && c <= 126 ? c - 32 : 0];
        float gx = x0 + (pen + g.left) * sx, gy = base - g.top * sy;
        int px0 = std::max(0, (int)std::floor(gx)),
            px1 = std::min(size, (int)std::ceil(gx + g.w * sx));
        int py0 = std::max(0, (int)std::floor(gy)),
            py1 = std::min(size, (int)std::ceil(gy + g.h * sy));
        for (int py = py0; py < py1; py++)
            for (int px = px0; px < px1; px++) {
                float k = atlas_coverage(g, (px + 0.5f - gx) / sx, (py + 0.5f - gy) / sy);
                uint8_t* d = &out->pixels[((size_t)py * size + px) * 3];
                uint8_t v = (uint8_t)std::lround(std::clamp(1.0f - k, 0.0f, 1.0f) * d[0]);
                d[0] = d[1] = d[2] = std::min(d[0], v);
            }
        pen += g.advance;
    }
    return 1;
}

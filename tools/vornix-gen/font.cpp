// Text through FreeType: lettering on banners, boards and the title, and the glyph atlas that
// the menus and the HUD draw their text from.
#include <cmath>
#include <cstdio>

#include <ft2build.h>
#include FT_FREETYPE_H

#include "gen.h"

namespace {
struct FontState {
    FT_Library library = nullptr;
    FT_Face face[2] = {nullptr, nullptr}; // regular, bold
};
FontState g_font;
} // namespace

int font_open(const std::string& folder) {
    if (g_font.library) return 1;
    if (FT_Init_FreeType(&g_font.library)) return 0;
    const char* files[2] = {"DejaVuSans.ttf", "DejaVuSans-Bold.ttf"};
    for (int k = 0; k < 2; k++) {
        std::string path = folder + "/" + files[k];
        if (FT_New_Face(g_font.library, path.c_str(), 0, &g_font.face[k])) {
            fprintf(stderr,
                    "vornix-gen: can't open the font %s (Debian package fonts-dejavu-core)\n",
                    path.c_str());
            font_close();
            return 0;
        }
    }
    return 1;
}

void font_close() {
    for (FT_Face& f : g_font.face)
        if (f) {
            FT_Done_Face(f);
            f = nullptr;
        }
    if (g_font.library) FT_Done_FreeType(g_font.library);
    g_font.library = nullptr;
}

float font_text(Canvas* c, const char* text, float x, float y, int px, int bold, Colour v) {
    FT_Face face = g_font.face[bold ? 1 : 0];
    if (!face || FT_Set_Pixel_Sizes(face, 0, (FT_UInt)px)) return 0;
    float pen = x;
    for (const char* p = text; *p; p++) {
        if (FT_Load_Char(face, (unsigned char)*p, c ? FT_LOAD_RENDER : FT_LOAD_DEFAULT)) continue;
        FT_GlyphSlot g = face->glyph;
        if (c) {
            int ox = (int)std::lround(pen) + g->bitmap_left,
                oy = (int)std::lround(y) - g->bitmap_top;
            for (unsigned row = 0; row < g->bitmap.rows; row++)
                for (unsigned col = 0; col < g->bitmap.width; col++) {
                    float k = g->bitmap.buffer[row * g->bitmap.pitch + col] / 255.0f;
                    canvas_blend(c, ox + (int)col, oy + (int)row, v, k);
                }
        }
        pen += g->advance.x / 64.0f;
    }
    return pen - x;
}

/*
 * Font atlas: "<name>.png" is an RGBA image of white glyphs whose alpha is the coverage, and
 * "<name>.txt" describes it in plain text, one item per line:
 *
 *   size <pixel size the glyphs were rendered at>
 *   line_height <distance between baselines, pixels>
 *   ascent <pixels above the baseline>
 *   descent <pixels below the baseline, negative>
 *   atlas <width> <height>
 *   glyphs <count>
 *   then <count> lines: <code> <x> <y> <w> <h> <left> <top> <advance>
 *
 * A glyph's picture is the rectangle (x, y, w, h) of the atlas, top row first; it is drawn with
 * its top-left corner at (pen x + left, baseline - top), and the pen then moves by advance.
 * Codes 32 to 126 are present (blanks have w = h = 0).
 */
int font_write_atlas(const std::string& folder, const std::string& name, int px, int bold) {
    FT_Face face = g_font.face[bold ? 1 : 0];
    if (!face || FT_Set_Pixel_Sizes(face, 0, (FT_UInt)px)) return 0;
    const int width = 512;
    int height = 64;
    struct Glyph {
        int code, x, y, w, h, left, top, advance;
        std::vector<uint8_t> bits;
    };
    std::vector<Glyph> glyphs;
    int pen_x = 1, pen_y = 1, row_h = 0;
    for (int code = 32; code < 127; code++) {
        if (FT_Load_Char(face, (FT_ULong)code, FT_LOAD_RENDER)) return 0;
        FT_GlyphSlot g = face->glyph;
        Glyph q;
        q.code = code;
        q.w = (int)g->bitmap.width;
        q.h = (int)g->bitmap.rows;
        q.left = g->bitmap_left;
        q.top = g->bitmap_top;
        q.advance = (int)std::lround(g->advance.x / 64.0);
        for (int row = 0; row < q.h; row++)
            for (int col = 0; col < q.w; col++)
                q.bits.push_back(g->bitmap.buffer[row * g->bitmap.pitch + col]);
        if (pen_x + q.w + 1 > width) {
            pen_x = 1;
            pen_y += row_h + 1;
            row_h = 0;
        }
        q.x = pen_x;
        q.y = pen_y;
        pen_x += q.w + 1;
        row_h = q.h > row_h ? q.h : row_h;
        glyphs.push_back(std::move(q));
    }
    while (height < pen_y + row_h + 1) height *= 2;
    Canvas atlas = canvas_new(width, height, rgb(1, 1, 1, 0));
    for (const Glyph& q : glyphs)
        for (int row = 0; row < q.h; row++)
            for (int col = 0; col < q.w; col++)
                canvas_set(&atlas, q.x + col, q.y + row,
                           rgb(1, 1, 1, q.bits[(size_t)row * q.w + col] / 255.0f));
    int ascent = (int)std::lround(face->size->metrics.ascender / 64.0);
    int descent = (int)std::lround(face->size->metrics.descender / 64.0);
    int line = (int)std::lround(face->size->metrics.height / 64.0);
    std::string txt =
        strf("size %d\nline_height %d\nascent %d\ndescent %d\natlas %d %d\nglyphs %zu\n", px, line,
             ascent, descent, width, height, glyphs.size());
    for (const Glyph& q : glyphs)
        txt +=
            strf("%d %d %d %d %d %d %d %d\n", q.code, q.x, q.y, q.w, q.h, q.left, q.top, q.advance);
    return write_canvas_png(folder + name + ".png", atlas, 4) &&
           write_text(folder + name + ".txt", txt);
}

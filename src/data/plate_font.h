// Lettering number plates with the game's bold font atlas ("@font_bold.png" with
// "@font_bold.txt", the layout the game-data generator writes). Pure image work: no GL.
#pragma once

#include "data/image.h"

// The bold font atlas plates are lettered with ("@font_bold.png" with "@font_bold.txt", the
// layout the game-data generator writes); loaded on first use.
struct PlateGlyph {
    int x, y, w, h; // rectangle in the atlas, top row first
    int left, top;  // drawn at (pen + left, baseline - top)
    int advance;    // pen movement in pixels
};
struct PlateFont {
    int state = 0;        // 0 not tried, 1 loaded, -1 missing or unreadable
    Image atlas;          // 4 channels, coverage in alpha
    PlateGlyph glyph[95]; // codes 32..126
};
extern PlateFont g_plate_font;
// Forgets the font (tests).
void plate_font_reset();
// Letters a plate: the text in black, centred on a white 128 x 128 RGB image, as large as
// fits with the glyphs narrowed by up to 40% (number plates use condensed figures). Returns 0
// (and leaves out alone) when the font is not available.
int plate_font_image(const char* text, Image* out);

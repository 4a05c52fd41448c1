// Number plates lettered with the font atlas, and the block figures without one.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "bike/bike.h"
#include "data/image.h"
#include "data/plate_font.h"
#include "data/png_writer.h"
#include "support/test_env.h"

namespace {

// A 8 x 8 atlas whose "1" is a solid 3 x 5 block at (1, 1), drawn 1 right of the pen with its
// top 5 above the baseline.
void write_block_font(const char* glyph_line) {
    TestPng png;
    png.width = png.height = 8;
    png.colour = PNG_COLOR_TYPE_RGBA;
    png.data.assign(8 * 8 * 4, 0);
    for (int y = 1; y < 6; y++)
        for (int x = 1; x < 4; x++) {
            uint8_t* p = &png.data[(size_t)(y * 8 + x) * 4];
            p[0] = p[1] = p[2] = p[3] = 255;
        }
    ASSERT_TRUE(test_png_write(test_game_dir() + "/font_bold.png", png));
    write_file(test_game_dir() + "/font_bold.txt",
               std::string("size 8\nline_height 9\nascent 6\ndescent -2\natlas 8 8\nglyphs 2\n"
                           "32 0 0 0 0 0 0 4\n") +
                   glyph_line);
}

int dark_pixels(const Image& img, int* x0, int* x1, int* y0, int* y1) {
    int n = 0;
    *x0 = *y0 = 1 << 30;
    *x1 = *y1 = -1;
    for (int y = 0; y < img.height; y++)
        for (int x = 0; x < img.width; x++) {
            const uint8_t* p = &img.pixels[((size_t)y * img.width + x) * 3];
            if (p[0] >= 128) continue;
            EXPECT_EQ(p[0], p[1]);
            EXPECT_EQ(p[1], p[2]);
            n++;
            *x0 = std::min(*x0, x), *x1 = std::max(*x1, x);
            *y0 = std::min(*y0, y), *y1 = std::max(*y1, y);
        }
    return n;
}

} // namespace

TEST(PlateFont, NumberIsLetteredLargeAndCentred) {
    write_block_font("49 1 1 3 5 1 5 5\n");
    plate_font_reset();
    Image img;
    ASSERT_EQ(plate_font_image("1", &img), 1);
    ASSERT_EQ(img.width, 128);
    ASSERT_EQ(img.height, 128);
    ASSERT_EQ(img.channels, 3);
    // The 3 x 5 block fills 78% of the 108 pixels of room in height: scale 108 x 0.78 / 5
    // both ways (a single figure needs no narrowing).
    double s = 108 * 0.78 / 5;
    int x0, x1, y0, y1;
    int n = dark_pixels(img, &x0, &x1, &y0, &y1);
    // Within a pixel of the block's outline, less the four corners the filtering rounds off
    // (under a third of a scaled texel each).
    EXPECT_LT(n, 15 * s * s + 8 * s + 4);
    EXPECT_GT(n, 15 * s * s - 8 * s - 4 * s * s / 3);
    EXPECT_NEAR((x0 + x1 + 1) / 2.0, 64, 1.5);
    EXPECT_NEAR((y0 + y1 + 1) / 2.0, 64, 1.5);
    EXPECT_NEAR(y1 + 1 - y0, 5 * s, 2);
    // Outside the figure the plate stays white.
    EXPECT_EQ(img.pixels[(5 * 128 + 64) * 3], 255);
    EXPECT_EQ(img.pixels[(64 * 128 + 5) * 3], 255);

    // Seven wide figures are narrowed to fit the width, never past it.
    ASSERT_EQ(plate_font_image("1111111", &img), 1);
    n = dark_pixels(img, &x0, &x1, &y0, &y1);
    EXPECT_GE(x0, 10 - 1);
    EXPECT_LE(x1, 128 - 10);
    EXPECT_GT(n, 500);
    // A character the atlas lacks draws nothing and does not crash.
    ASSERT_EQ(plate_font_image("\x7f", &img), 1);
    EXPECT_EQ(dark_pixels(img, &x0, &x1, &y0, &y1), 0);
    plate_font_reset();
}

TEST(PlateFont, BadOrMissingAtlasFallsBackToBlockFigures) {
    plate_font_reset();
    Image img;
    EXPECT_EQ(plate_font_image("12", &img), 0); // no font in the data
    // A glyph rectangle reaching past the atlas is dropped; with no glyph left the font is
    // refused.
    write_block_font("49 6 6 3 5 1 5 5\n");
    plate_font_reset();
    EXPECT_EQ(plate_font_image("1", &img), 0);
    // The bike's plate still gets a number.
    bike_plate_image("1", &img);
    int x0, x1, y0, y1;
    EXPECT_GT(dark_pixels(img, &x0, &x1, &y0, &y1), 100);
    plate_font_reset();
}

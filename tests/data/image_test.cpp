#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "data/datafile.h"
#include "data/image.h"
#include "data/png_writer.h"
#include "support/test_env.h"

namespace {

std::string bytes(std::initializer_list<int> values) {
    std::string s;
    for (int v : values) s += (char)(uint8_t)v;
    return s;
}

// Opens a file written by the test and reads its magic token as the texture loader does.
struct Opened {
    DataFile* f = nullptr;
    char magic[16] = "";
    explicit Opened(const std::string& path) {
        f = data_open(path.c_str(), "rb");
        if (f) {
            // The magic is the first white-space delimited word.
            int n = 0, c;
            while ((c = data_getc(f)) >= 0 && !isspace(c) && n < 15) magic[n++] = (char)c;
            magic[n] = 0;
        }
    }
    ~Opened() {
        if (f) data_close(f);
    }
};

// Residual encoding of the predictive format, written from its description.
std::string predictive_encode(int w, int h, int ch, const std::vector<int>& px) {
    std::string out;
    auto at = [&](int x, int y, int c) { return px[((size_t)y * w + x) * ch + c]; };
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++)
            for (int c = 0; c < ch; c++) {
                int pred;
                if (x == 0 && y == 0)
                    pred = 0;
                else if (y == 0)
                    pred = at(x - 1, 0, c);
                else if (x == 0)
                    pred = at(0, y - 1, c);
                else
                    pred =
                        std::clamp(at(x, y - 1, c) + at(x - 1, y, c) - at(x - 1, y - 1, c), 0, 255);
                out += (char)(uint8_t)((at(x, y, c) - pred) & 255);
            }
    return out;
}

std::vector<int> some_pixels(int w, int h, int ch, int seed) {
    std::vector<int> px((size_t)w * h * ch);
    unsigned s = (unsigned)seed;
    for (int& v : px) {
        s = s * 1103515245u + 12345u;
        v = (int)((s >> 16) & 255);
    }
    return px;
}

} // namespace

// ---------------------------------------------------------------------------------------------
// PPM and PGM

TEST(ImagePpm, RawWithCommentsBeforeEachNumberAndChain) {
    write_file("a.ppm", "P6\n# made by hand\n2 # width\n# height next\n2\n255\n" +
                            bytes({10, 20, 30, 40, 50, 60, 70, 80, 90, 100, 110, 121}));
    Opened o("a.ppm");
    ASSERT_STREQ(o.magic, "P6");
    Image img;
    ASSERT_EQ(image_read_ppm(o.f, o.magic, &img, 1), 1);
    EXPECT_EQ(img.width, 2);
    EXPECT_EQ(img.height, 2);
    EXPECT_EQ(img.channels, 3);
    ASSERT_EQ(img.pixels.size(), 15u); // 2x2 and 1x1, three channels
    EXPECT_EQ(img.pixels[0], 10);
    EXPECT_EQ(img.pixels[11], 121);
    // The 1x1 level is the plain average of the four pixels, truncated.
    EXPECT_EQ(img.pixels[12], (10 + 40 + 70 + 100) / 4);
    EXPECT_EQ(img.pixels[13], (20 + 50 + 80 + 110) / 4);
    EXPECT_EQ(img.pixels[14], (30 + 60 + 90 + 121) / 4);
}

TEST(ImagePpm, RawSamplesScaledByTheMaximum) {
    write_file("b.ppm", "P6 2 1 100\n" + bytes({0, 50, 100, 99, 1, 200}));
    Opened o("b.ppm");
    Image img;
    ASSERT_EQ(image_read_ppm(o.f, o.magic, &img, 0), 1);
    ASSERT_EQ(img.pixels.size(), 6u); // no chain asked for
    EXPECT_EQ(img.pixels[0], 0);
    EXPECT_EQ(img.pixels[1], 50 * 255 / 100);
    EXPECT_EQ(img.pixels[2], 255);
    EXPECT_EQ(img.pixels[3], 99 * 255 / 100);
    EXPECT_EQ(img.pixels[4], 1 * 255 / 100);
    EXPECT_EQ(img.pixels[5], 255); // above the maximum: taken as the maximum
}

TEST(ImagePpm, AsciiWithCommentsBetweenSamples) {
    write_file("c.ppm", "P3\n1 2\n15\n# first pixel\n15 0 7\n# second\n1\n2 # trailing\n3\n");
    Opened o("c.ppm");
    Image img;
    ASSERT_EQ(image_read_ppm(o.f, o.magic, &img, 1), 1);
    EXPECT_EQ(img.width, 1);
    EXPECT_EQ(img.height, 2);
    ASSERT_EQ(img.pixels.size(), 9u);
    EXPECT_EQ(img.pixels[0], 255);
    EXPECT_EQ(img.pixels[1], 0);
    EXPECT_EQ(img.pixels[2], 7 * 255 / 15);
    EXPECT_EQ(img.pixels[3], 1 * 255 / 15);
    EXPECT_EQ(img.pixels[4], 2 * 255 / 15);
    EXPECT_EQ(img.pixels[5], 3 * 255 / 15);
    // One pixel wide: the next level averages the pair.
    EXPECT_EQ(img.pixels[6], (255 + 1 * 255 / 15) / 2);
}

TEST(ImagePpm, HeaderFailures) {
    struct Case {
        const char* text;
        const char* error;
    } cases[] = {
        {"P7\n1 1 255\n", "Can't parse PPM header"},
        {"P6\n", "Can't get PPM dimensions"},
        {"P6\n2\n", "Can't get PPM dimensions"},
        {"P6\n-2 2 255\n", "Can't get PPM dimensions"},
        {"P6\n2 2 x\n", "Can't get PPM dimensions"},
        {"P6\n0 2 255\n", "Can't get PPM dimensions"},
        {"P6\n2 2 0\n", "Can't get PPM dimensions"},
        {"P6\n16385 1 255\n", "Can't get PPM dimensions"},
        {"P3\n1 100000 255\n", "Can't get PPM dimensions"},
    };
    for (const Case& c : cases) {
        write_file("bad.ppm", c.text);
        Opened o("bad.ppm");
        Image img;
        g_image.last_error[0] = 0;
        EXPECT_EQ(image_read_ppm(o.f, o.magic, &img, 1), 0) << c.text;
        EXPECT_STREQ(g_image.last_error, c.error) << c.text;
    }
}

TEST(ImagePpm, TruncatedDataFailsWithoutReadingPastTheFile) {
    write_file("t.ppm", "P6\n4 4\n255\n" + std::string(20, 'x'));
    Opened o("t.ppm");
    Image img;
    EXPECT_EQ(image_read_ppm(o.f, o.magic, &img, 1), 0);
    // A huge header over a tiny file fails the same way, without allocating the promised size.
    write_file("big.ppm", "P6\n16384 16384\n255\n" + std::string(100, 'x'));
    Opened b("big.ppm");
    EXPECT_EQ(image_read_ppm(b.f, b.magic, &img, 1), 0);
    write_file("t3.ppm", "P3 2 1 255 1 2 3 4 5");
    Opened c("t3.ppm");
    EXPECT_EQ(image_read_ppm(c.f, c.magic, &img, 1), 0);
}

TEST(ImagePpm, LoadByNameBuildsTheChain) {
    write_file("d.ppm", "P6 4 2 255\n" + std::string(24, '\x40'));
    Image img;
    ASSERT_EQ(image_load_ppm("d.ppm", &img), 1);
    EXPECT_EQ(img.pixels.size(), (size_t)(8 + 2 + 1) * 3);
    EXPECT_EQ(image_load_ppm("missing.ppm", &img), 0);
}

TEST(ImagePgm, RawAndAsciiOneChannelNoChain) {
    write_file("a.pgm", "P5\n# grey\n3 1\n255\n" + bytes({0, 128, 255}));
    Image img;
    ASSERT_EQ(image_load_pgm("a.pgm", &img), 1);
    EXPECT_EQ(img.channels, 1);
    ASSERT_EQ(img.pixels.size(), 3u);
    EXPECT_EQ(img.pixels[1], 128);
    write_file("b.pgm", "P2 2 2 1000\n0 500\n# c\n1000 999\n");
    ASSERT_EQ(image_load_pgm("b.pgm", &img), 1);
    ASSERT_EQ(img.pixels.size(), 4u);
    EXPECT_EQ(img.pixels[1], 500 * 255 / 1000);
    EXPECT_EQ(img.pixels[2], 255);
    EXPECT_EQ(img.pixels[3], 999 * 255 / 1000);
}

TEST(ImagePgm, HeaderFailuresUseTheirOwnTexts) {
    write_file("a.pgm", "P6 1 1 255\n\x01\x02\x03");
    Image img;
    EXPECT_EQ(image_load_pgm("a.pgm", &img), 0);
    EXPECT_STREQ(g_image.last_error, "Can't parse PGM header");
    write_file("b.pgm", "P5 1 # no height\n");
    EXPECT_EQ(image_load_pgm("b.pgm", &img), 0);
    EXPECT_STREQ(g_image.last_error, "Can't get PGM dimensions");
}

// ---------------------------------------------------------------------------------------------
// Predictive encoding

TEST(ImagePredictive, J6AndJ7DecodeTheirPredictions) {
    for (int ch : {3, 4}) {
        int w = 5, h = 4;
        std::vector<int> px = some_pixels(w, h, ch, ch);
        // Extremes make the clamped prediction matter.
        px[(1 * w + 1) * ch] = 255;
        px[(0 * w + 1) * ch] = 0;
        px[(1 * w + 0) * ch] = 255;
        px[0] = 0;
        std::string file = std::string(ch == 4 ? "J7" : "J6") + "\n# comment\n5\n# another\n4\n" +
                           predictive_encode(w, h, ch, px);
        write_file("p.j", file);
        Opened o("p.j");
        Image img;
        ASSERT_EQ(image_read_predictive(o.f, ch, ch, &img), 1);
        EXPECT_EQ(img.width, w);
        EXPECT_EQ(img.height, h);
        EXPECT_EQ(img.channels, ch);
        ASSERT_EQ(img.pixels.size(), px.size());
        for (size_t i = 0; i < px.size(); i++) ASSERT_EQ(img.pixels[i], px[i]) << ch << " " << i;
    }
}

TEST(ImagePredictive, PredictionWorkedByHand) {
    // 2x2, one channel shown (J6 carries three): residuals 10, 5 / 3, 250.
    // (0,0) = 10; (1,0) = 10 + 5 = 15; (0,1) = 10 + 3 = 13; (1,1) = clamp(15 + 13 - 10) + 250
    // = 18 + 250 = 268 -> 12 modulo 256.
    std::string data = bytes({10, 0, 0, 5, 0, 0, 3, 0, 0, 250, 0, 0});
    write_file("h.j6", "J6 2 2\n" + data);
    Opened o("h.j6");
    Image img;
    ASSERT_EQ(image_read_predictive(o.f, 3, 3, &img), 1);
    EXPECT_EQ(img.pixels[0], 10);
    EXPECT_EQ(img.pixels[3], 15);
    EXPECT_EQ(img.pixels[6], 13);
    EXPECT_EQ(img.pixels[9], 12);
}

TEST(ImagePredictive, J6IntoFourChannelsLeavesAlphaZero) {
    std::vector<int> px = some_pixels(3, 3, 3, 7);
    write_file("a.j6", "J6 3 3 " + predictive_encode(3, 3, 3, px));
    Image img;
    ASSERT_EQ(image_load_rgba("a.j6", &img), 1);
    EXPECT_EQ(img.channels, 4);
    ASSERT_EQ(img.pixels.size(), 36u);
    for (int i = 0; i < 9; i++) {
        EXPECT_EQ(img.pixels[i * 4 + 0], px[i * 3 + 0]);
        EXPECT_EQ(img.pixels[i * 4 + 2], px[i * 3 + 2]);
        EXPECT_EQ(img.pixels[i * 4 + 3], 0);
    }
}

TEST(ImagePredictive, ShortOrBadInputFails) {
    const char* cases[] = {"J7 2 2", "J7 2 2\n\x01\x02", "J7 x 2\n", "J7 2 -1\n", "J7 99999 1\n"};
    for (const char* c : cases) {
        write_file("bad.j7", c);
        Opened o("bad.j7");
        Image img;
        EXPECT_EQ(image_read_predictive(o.f, 4, 4, &img), 0) << c;
    }
}

// ---------------------------------------------------------------------------------------------
// PNG

TEST(ImagePng, RgbAndRgbaAndTheirChannelCounts) {
    TestPng p;
    p.width = 2;
    p.height = 2;
    p.colour = PNG_COLOR_TYPE_RGB;
    p.data = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    ASSERT_TRUE(test_png_write("rgb.png", p));
    Image img;
    DataFile* f = data_open("rgb.png", "rb");
    ASSERT_TRUE(f);
    ASSERT_EQ(image_read_png(f, &img), 1);
    data_close(f);
    EXPECT_EQ(img.channels, 3);
    EXPECT_EQ(img.max_alpha, 0);
    EXPECT_EQ(img.pixels, std::vector<uint8_t>(p.data.begin(), p.data.end()));

    p.colour = PNG_COLOR_TYPE_RGB_ALPHA;
    p.data = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    ASSERT_TRUE(test_png_write("rgba.png", p));
    f = data_open("rgba.png", "rb");
    ASSERT_EQ(image_read_png(f, &img), 1);
    data_close(f);
    EXPECT_EQ(img.channels, 4);
    EXPECT_EQ(img.pixels, std::vector<uint8_t>(p.data.begin(), p.data.end()));
}

TEST(ImagePng, PaletteGreySixteenBitAndTransparency) {
    Image img;
    // Palette with a tRNS chunk: RGB plus alpha.
    TestPng p;
    p.width = 3;
    p.height = 1;
    p.colour = PNG_COLOR_TYPE_PALETTE;
    p.palette = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}};
    p.trns = {255, 128};
    p.data = {2, 1, 0};
    ASSERT_TRUE(test_png_write("pal.png", p));
    DataFile* f = data_open("pal.png", "rb");
    ASSERT_EQ(image_read_png(f, &img), 1);
    data_close(f);
    EXPECT_EQ(img.channels, 4);
    EXPECT_EQ(img.pixels, (std::vector<uint8_t>{0, 0, 255, 255, 0, 255, 0, 128, 255, 0, 0, 255}));

    // 1-bit grey: widened to 8 bits and to RGB.
    TestPng g;
    g.width = 3;
    g.height = 1;
    g.colour = PNG_COLOR_TYPE_GRAY;
    g.depth = 1;
    g.data = {0xA0}; // 1, 0, 1
    ASSERT_TRUE(test_png_write("g1.png", g));
    f = data_open("g1.png", "rb");
    ASSERT_EQ(image_read_png(f, &img), 1);
    data_close(f);
    EXPECT_EQ(img.channels, 3);
    EXPECT_EQ(img.pixels, (std::vector<uint8_t>{255, 255, 255, 0, 0, 0, 255, 255, 255}));

    // 16-bit RGB keeps the high bytes.
    TestPng h;
    h.width = 1;
    h.height = 1;
    h.depth = 16;
    h.data = {0x12, 0x34, 0xAB, 0xCD, 0xFF, 0x01};
    ASSERT_TRUE(test_png_write("h16.png", h));
    f = data_open("h16.png", "rb");
    ASSERT_EQ(image_read_png(f, &img), 1);
    data_close(f);
    EXPECT_EQ(img.channels, 3);
    // Stripping keeps the high byte of each sample.
    EXPECT_EQ(img.pixels, (std::vector<uint8_t>{0x12, 0xAB, 0xFF}));

    // Grey with a transparent grey value: four channels.
    TestPng t;
    t.width = 2;
    t.height = 1;
    t.colour = PNG_COLOR_TYPE_GRAY;
    t.data = {7, 9};
    t.trns_grey = 9;
    ASSERT_TRUE(test_png_write("gt.png", t));
    f = data_open("gt.png", "rb");
    ASSERT_EQ(image_read_png(f, &img), 1);
    data_close(f);
    EXPECT_EQ(img.channels, 4);
    EXPECT_EQ(img.pixels, (std::vector<uint8_t>{7, 7, 7, 255, 9, 9, 9, 0}));
}

TEST(ImagePng, InterlacedImageReads) {
    TestPng p;
    p.width = 9;
    p.height = 7;
    p.interlace = PNG_INTERLACE_ADAM7;
    std::vector<int> px = some_pixels(9, 7, 3, 3);
    p.data.assign(px.begin(), px.end());
    ASSERT_TRUE(test_png_write("i.png", p));
    DataFile* f = data_open("i.png", "rb");
    Image img;
    ASSERT_EQ(image_read_png(f, &img), 1);
    data_close(f);
    EXPECT_EQ(img.pixels, p.data);
}

TEST(ImagePng, MaxAlphaMarkerBeforeOrAfterTheImageData) {
    TestPng p;
    p.width = 1;
    p.height = 1;
    p.colour = PNG_COLOR_TYPE_RGB_ALPHA;
    p.data = {1, 2, 3, 4};
    Image img;
    p.text_after = "keep edges [mip_max_alpha] please";
    ASSERT_TRUE(test_png_write("a.png", p));
    DataFile* f = data_open("a.png", "rb");
    ASSERT_EQ(image_read_png(f, &img), 1);
    data_close(f);
    EXPECT_EQ(img.max_alpha, 1);
    p.text_after = "";
    p.text_before = "[mip_max_alpha]";
    ASSERT_TRUE(test_png_write("b.png", p));
    f = data_open("b.png", "rb");
    ASSERT_EQ(image_read_png(f, &img), 1);
    data_close(f);
    EXPECT_EQ(img.max_alpha, 1);
    p.text_before = "[mip_max_alpha";
    ASSERT_TRUE(test_png_write("c.png", p));
    f = data_open("c.png", "rb");
    ASSERT_EQ(image_read_png(f, &img), 1);
    data_close(f);
    EXPECT_EQ(img.max_alpha, 0);
}

TEST(ImagePng, NotAPngTruncatedAndHugeHeadersFail) {
    Image img;
    write_file("x.png", "P6 1 1 255\n\x01\x02\x03");
    DataFile* f = data_open("x.png", "rb");
    EXPECT_EQ(image_read_png(f, &img), 0);
    data_close(f);

    TestPng p;
    p.width = 16;
    p.height = 16;
    p.data.assign(16 * 16 * 3, 200);
    ASSERT_TRUE(test_png_write("full.png", p));
    std::string whole = read_file("full.png");
    for (size_t cut : {8ul, 20ul, 40ul, whole.size() - 20}) {
        write_file("cut.png", whole.substr(0, cut));
        f = data_open("cut.png", "rb");
        EXPECT_EQ(image_read_png(f, &img), 0) << cut;
        data_close(f);
    }
    // A header claiming more than the reader accepts.
    std::string big = whole;
    big[16] = 0; // width = 0x00010000 (big-endian bytes 16..19)
    big[17] = 1;
    big[18] = 0;
    big[19] = 0;
    write_file("big.png", big);
    f = data_open("big.png", "rb");
    EXPECT_EQ(image_read_png(f, &img), 0);
    data_close(f);
}

TEST(ImagePng, Grey16RoundTripAndFileLayout) {
    int w = 3, h = 2;
    std::vector<uint16_t> s = {0, 1, 65535, 256, 0x1234, 40000};
    ASSERT_EQ(image_write_png_grey16("g16.png", w, h, s.data()), 1);
    TestPngRead r;
    ASSERT_TRUE(test_png_read("g16.png", &r));
    EXPECT_EQ(r.width, 3u);
    EXPECT_EQ(r.height, 2u);
    EXPECT_EQ(r.depth, 16);
    EXPECT_EQ(r.colour, PNG_COLOR_TYPE_GRAY);
    ASSERT_EQ(r.data.size(), 12u);
    for (int i = 0; i < 6; i++)
        EXPECT_EQ(r.data[2 * i] * 256 + r.data[2 * i + 1], s[i]); // big-endian
    int rw = 0, rh = 0;
    std::vector<uint16_t> back;
    ASSERT_EQ(image_load_png_grey16("g16.png", &rw, &rh, &back), 1);
    EXPECT_EQ(rw, w);
    EXPECT_EQ(rh, h);
    EXPECT_EQ(back, s);
}

TEST(ImagePng, Grey16FromEightBitGreyAndFromRgb) {
    TestPng g;
    g.width = 2;
    g.height = 1;
    g.colour = PNG_COLOR_TYPE_GRAY;
    g.data = {0x12, 0xFF};
    ASSERT_TRUE(test_png_write("g8.png", g));
    int w, h;
    std::vector<uint16_t> out;
    ASSERT_EQ(image_load_png_grey16("g8.png", &w, &h, &out), 1);
    EXPECT_EQ(out, (std::vector<uint16_t>{0x12 * 257, 0xFF * 257}));
    // Equal RGB channels stay that grey whatever the weights; alpha is dropped.
    TestPng c;
    c.width = 2;
    c.height = 1;
    c.colour = PNG_COLOR_TYPE_RGB_ALPHA;
    c.data = {100, 100, 100, 7, 200, 200, 200, 255};
    ASSERT_TRUE(test_png_write("c.png", c));
    ASSERT_EQ(image_load_png_grey16("c.png", &w, &h, &out), 1);
    EXPECT_EQ(out, (std::vector<uint16_t>{100 * 257, 200 * 257}));
    // Palette with transparency also ends as one grey channel.
    TestPng p;
    p.width = 1;
    p.height = 1;
    p.colour = PNG_COLOR_TYPE_PALETTE;
    p.palette = {{50, 50, 50}};
    p.trns = {0};
    p.data = {0};
    ASSERT_TRUE(test_png_write("p.png", p));
    ASSERT_EQ(image_load_png_grey16("p.png", &w, &h, &out), 1);
    EXPECT_EQ(out, (std::vector<uint16_t>{50 * 257}));
    EXPECT_EQ(image_load_png_grey16("missing.png", &w, &h, &out), 0);
}

TEST(ImagePng, RgbWriterTurnsBottomUpRowsTopDown) {
    // Three rows supplied bottom first: row values 1, 2, 3 from the bottom.
    int w = 2, h = 3;
    std::vector<uint8_t> rgb;
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) rgb.insert(rgb.end(), {(uint8_t)(y + 1), (uint8_t)x, 9});
    ASSERT_EQ(image_write_png_rgb("shot.png", w, h, rgb.data()), 1);
    TestPngRead r;
    ASSERT_TRUE(test_png_read("shot.png", &r));
    EXPECT_EQ(r.depth, 8);
    EXPECT_EQ(r.colour, PNG_COLOR_TYPE_RGB);
    ASSERT_EQ(r.data.size(), 18u);
    EXPECT_EQ(r.data[0], 3); // the top row of the file is the last row supplied
    EXPECT_EQ(r.data[6], 2);
    EXPECT_EQ(r.data[12], 1);
    EXPECT_EQ(r.data[3 + 1], 1);
}

TEST(ImagePng, WritersFailWhenTheFileCannotBeCreated) {
    write_file("blocker", "x"); // a file where a folder would be needed
    uint16_t s = 1;
    uint8_t rgb[3] = {1, 2, 3};
    EXPECT_EQ(image_write_png_grey16("blocker/a.png", 1, 1, &s), 0);
    EXPECT_EQ(image_write_png_rgb("blocker/b.png", 1, 1, rgb), 0);
}

TEST(ImageRgba, PngWidenedToFourChannels) {
    TestPng p;
    p.width = 2;
    p.height = 1;
    p.data = {1, 2, 3, 4, 5, 6};
    ASSERT_TRUE(test_png_write("a.png", p));
    Image img;
    ASSERT_EQ(image_load_rgba("a.png", &img), 1);
    EXPECT_EQ(img.channels, 4);
    EXPECT_EQ(img.pixels, (std::vector<uint8_t>{1, 2, 3, 255, 4, 5, 6, 255}));
    std::vector<int> px = some_pixels(2, 2, 4, 11);
    write_file("b.j7", "J7 2 2 " + predictive_encode(2, 2, 4, px));
    ASSERT_EQ(image_load_rgba("b.j7", &img), 1);
    EXPECT_EQ(img.pixels, std::vector<uint8_t>(px.begin(), px.end()));
    write_file("c.txt", "P6 1 1 255\n\x01\x02\x03");
    EXPECT_EQ(image_load_rgba("c.txt", &img), 0);
}

// ---------------------------------------------------------------------------------------------
// Mipmap chains

TEST(ImageChain, LevelSizesAndAllocation) {
    EXPECT_EQ(image_chain_levels(256, 64), 9);
    // 256x64, 128x32, 64x16, 32x8, 16x4, 8x2, 4x1, 2x1, 1x1
    size_t expect = 256 * 64 + 128 * 32 + 64 * 16 + 32 * 8 + 16 * 4 + 8 * 2 + 4 + 2 + 1;
    EXPECT_EQ(image_chain_pixels(256, 64), expect);
    EXPECT_EQ(image_level_offset(256, 64, 3, 8), (expect - 1) * 3);
    EXPECT_EQ(image_chain_levels(1, 1), 1);
    EXPECT_EQ(image_chain_pixels(1, 1), 1u);
    EXPECT_EQ(image_chain_levels(3, 1), 2);
    EXPECT_EQ(image_chain_pixels(3, 3), 10u);
    Image one;
    one.width = one.height = 1;
    one.channels = 4;
    one.pixels = {1, 2, 3, 4};
    image_build_chain(&one);
    EXPECT_EQ(one.pixels, (std::vector<uint8_t>{1, 2, 3, 4}));
}

TEST(ImageChain, AlphaWeightedAverageAndMaximumRule) {
    Image img;
    img.width = img.height = 2;
    img.channels = 4;
    int a[4] = {255, 0, 128, 64};
    int r[4] = {200, 100, 50, 10};
    for (int i = 0; i < 4; i++)
        img.pixels.insert(img.pixels.end(), {(uint8_t)r[i], 7, 0, (uint8_t)a[i]});
    Image max = img;
    max.max_alpha = 1;
    image_build_chain(&img);
    image_build_chain(&max);
    int t = 255 + 0 + 128 + 64;
    int red = (200 * 255 + 100 * 0 + 50 * 128 + 10 * 64) / t;
    int green = (7 * t) / t;
    ASSERT_EQ(img.pixels.size(), 20u);
    EXPECT_EQ(img.pixels[16], red);
    EXPECT_EQ(img.pixels[17], green);
    EXPECT_EQ(img.pixels[18], 0);
    EXPECT_EQ(img.pixels[19], t / 4);
    EXPECT_EQ(max.pixels[16], red);
    EXPECT_EQ(max.pixels[19], 255);
}

TEST(ImageChain, FullyTransparentAndOpaqueBlocksAveragePlainly) {
    for (int alpha : {0, 255}) {
        Image img;
        img.width = img.height = 2;
        img.channels = 4;
        int r[4] = {9, 20, 30, 41};
        for (int v : r) img.pixels.insert(img.pixels.end(), {(uint8_t)v, 0, 0, (uint8_t)alpha});
        image_build_chain(&img);
        EXPECT_EQ(img.pixels[16], (9 + 20 + 30 + 41) / 4) << alpha;
        EXPECT_EQ(img.pixels[19], alpha);
    }
}

TEST(ImageChain, OnePixelHighRowsUsePairs) {
    Image img;
    img.width = 4;
    img.height = 1;
    img.channels = 4;
    // pairs: (a=0, a=0) plain; (a=100, a=50) weighted
    img.pixels = {10, 0, 0, 0, 21, 0, 0, 0, 60, 0, 0, 100, 90, 0, 0, 50};
    Image max = img;
    max.max_alpha = 1;
    image_build_chain(&img);
    image_build_chain(&max);
    ASSERT_EQ(img.pixels.size(), (size_t)(4 + 2 + 1) * 4);
    EXPECT_EQ(img.pixels[16], (10 + 21) / 2);
    EXPECT_EQ(img.pixels[19], 0);
    EXPECT_EQ(img.pixels[20], (60 * 100 + 90 * 50) / 150);
    EXPECT_EQ(img.pixels[23], 150 / 2);
    EXPECT_EQ(max.pixels[23], 100);
    // last level: pair of the two above
    EXPECT_EQ(img.pixels[27], (0 + 75) / 2);
    // 3 channels, one pixel wide
    Image col;
    col.width = 1;
    col.height = 2;
    col.channels = 3;
    col.pixels = {1, 2, 3, 4, 6, 9};
    image_build_chain(&col);
    EXPECT_EQ(col.pixels, (std::vector<uint8_t>{1, 2, 3, 4, 6, 9, 2, 4, 6}));
}

TEST(ImageChain, OddSidesUseTheTopLeftBlocks) {
    Image img;
    img.width = 3;
    img.height = 3;
    img.channels = 1;
    img.pixels = {10, 20, 99, 30, 40, 99, 99, 99, 99};
    image_build_chain(&img);
    ASSERT_EQ(img.pixels.size(), 10u);
    EXPECT_EQ(img.pixels[9], (10 + 20 + 30 + 40) / 4);
}

// New tracks and the export: height maps of the right kind are resampled onto the field, the
// wrong kind is refused with a message; a name that is taken or unusable is refused; the
// export writes the ground as a "mesh2" block with the placed objects.
#include <cmath>
#include <cstdio>
#include <cstring>

#include "data/png_writer.h"
#include "editor_fixture.h"

using editortest::message_has;

namespace {

std::string put_grey(const std::string& name, int w, int h, int depth,
                     const std::vector<uint16_t>& values, int colour = PNG_COLOR_TYPE_GRAY) {
    TestPng p;
    p.width = w, p.height = h, p.depth = depth, p.colour = colour;
    int channels = colour == PNG_COLOR_TYPE_RGB ? 3 : 1;
    for (int k = 0; k < w * h * channels; k++) {
        uint16_t v = values[(size_t)k / channels];
        if (depth == 16) p.data.push_back((uint8_t)(v >> 8));
        p.data.push_back((uint8_t)(v & 255));
    }
    std::string path = test_dir() + "/" + name;
    EXPECT_TRUE(test_png_write(path, p));
    return path;
}

} // namespace

TEST(EditorHeightmap, A16BitGreyPictureIsResampledOntoTheField) {
    // 3 x 2 pixels onto 5 x 5 samples: the picture's corners on the field's corners, bilinear
    // between them; black at -2 ft, white at 30 ft.
    std::vector<uint16_t> v = {0, 65535, 0, 13107, 26214, 52428};
    std::string path = put_grey("map.png", 3, 2, 16, v);
    std::vector<float> out;
    std::string error;
    ASSERT_EQ(heightmap_load(path.c_str(), 5, -2, 30, &out, &error), 1) << error;
    ASSERT_EQ(out.size(), 25u);
    for (int j = 0; j < 5; j++)
        for (int i = 0; i < 5; i++) {
            double u = i * 2.0 / 4, w = j * 1.0 / 4;
            int x0 = u >= 2 ? 1 : (int)u, y0 = 0;
            double fx = u - x0, fy = w - y0;
            auto p = [&](int x, int y) { return (double)v[(size_t)y * 3 + x]; };
            double top = p(x0, 0) + (p(x0 + 1, 0) - p(x0, 0)) * fx;
            double bottom = p(x0, 1) + (p(x0 + 1, 1) - p(x0, 1)) * fx;
            double value = top + (bottom - top) * fy;
            EXPECT_NEAR(out[(size_t)i + 5 * j], -2 + value / 65535 * 32, 1e-4) << i << "," << j;
        }
    EXPECT_FLOAT_EQ(out[0], -2.0f);
    EXPECT_FLOAT_EQ(out[4 + 5 * 4], -2 + 52428 / 65535.0f * 32);
}

TEST(EditorHeightmap, PicturesOfTheWrongKindOrAnAbsurdSizeAreRefused) {
    std::vector<float> out;
    std::string error;
    std::string eight = put_grey("eight.png", 4, 4, 8, std::vector<uint16_t>(16, 100));
    EXPECT_EQ(heightmap_load(eight.c_str(), 5, 0, 10, &out, &error), 0);
    EXPECT_NE(error.find("is not a 16-bit grey PNG (it has 8-bit samples, colour type 0)"),
              std::string::npos)
        << error;
    std::string rgb =
        put_grey("rgb.png", 4, 4, 16, std::vector<uint16_t>(16, 100), PNG_COLOR_TYPE_RGB);
    EXPECT_EQ(heightmap_load(rgb.c_str(), 5, 0, 10, &out, &error), 0);
    EXPECT_NE(error.find("colour type 2"), std::string::npos) << error;
    // A header claiming 100000 x 3 pixels is refused before anything is decoded.
    std::string ihdr("\x00\x00\x00\x0dIHDR\x00\x01\x86\xa0\x00\x00\x00\x03\x10\x00\x00\x00\x00"
                     "\x00\x00\x00\x00",
                     25);
    write_file(test_dir() + "/huge.png", std::string("\x89PNG\r\n\x1a\n", 8) + ihdr);
    EXPECT_EQ(heightmap_load((test_dir() + "/huge.png").c_str(), 5, 0, 10, &out, &error), 0);
    EXPECT_NE(error.find("is 100000 x 3 pixels"), std::string::npos) << error;
    std::string one = put_grey("line.png", 1, 4, 16, std::vector<uint16_t>(4, 100));
    EXPECT_EQ(heightmap_load(one.c_str(), 5, 0, 10, &out, &error), 0);
    EXPECT_EQ(heightmap_load((test_dir() + "/missing.png").c_str(), 5, 0, 10, &out, &error), 0);
    EXPECT_NE(error.find("Can't read"), std::string::npos);
    std::string good = put_grey("good.png", 2, 2, 16, std::vector<uint16_t>(4, 100));
    EXPECT_EQ(heightmap_load(good.c_str(), 5, NAN, 10, &out, &error), 0);
    EXPECT_EQ(heightmap_load(good.c_str(), 5, 0, 1e9f, &out, &error), 0);
    EXPECT_EQ(heightmap_load(good.c_str(), 5, 0, 10, &out, &error), 1);
}

TEST_F(EditorFixture, NewTrackNamesThatAreTakenOrUnusableAreRefused) {
    NewTrackForm form;
    form.folder = "t"; // the fixture's track
    EXPECT_EQ(editor_new_track(&form), 0);
    EXPECT_EQ(form.error, "A track named 't' exists already");
    form.folder = "my track";
    EXPECT_EQ(editor_new_track(&form), 0);
    EXPECT_EQ(form.error, "The folder name may hold letters, digits, '_' and '-' only");
    form.folder = "";
    EXPECT_EQ(editor_new_track(&form), 0);
    form.folder = "fresh";
    form.shift = 14;
    EXPECT_EQ(editor_new_track(&form), 0);
    EXPECT_EQ(form.error, "The size must be 16 to 2048 tiles per side");
    form.shift = 6;
    form.heightmap = test_dir() + "/nothing.png";
    EXPECT_EQ(editor_new_track(&form), 0);
    EXPECT_NE(form.error.find("Can't read"), std::string::npos);
    // Nothing was written for any of them.
    EXPECT_FALSE(file_exists(test_user_dir() + "fresh"));
}

TEST_F(EditorFixture, ExportWritesTheGroundAsAMesh2BlockAndTheObjects) {
    std::string name;
    ASSERT_EQ(editor_export(2, &name), 1);
    EXPECT_EQ(name, "@t/t.pov");
    std::string pov = read_file(test_user_dir() + "t/t.pov");
    // Every second sample of 17: 9 x 9 vertices, 8 x 8 cells of two triangles.
    const std::string head = "#declare Vornix_Ground =\nmesh2 {\n\tvertex_vectors {\n\t\t81\n";
    size_t at = pov.find(head);
    ASSERT_NE(at, std::string::npos) << pov.substr(0, 600);
    char first[80];
    snprintf(first, sizeof first, "\t\t<%f,%f,%f>,\n", 0.0,
             (double)terrain_sample(&g_terrain, 0, 0), 0.0);
    EXPECT_EQ(pov.compare(at + head.size(), strlen(first), first), 0) << pov.substr(at, 120);
    EXPECT_NE(pov.find("\tface_indices {\n\t\t128\n"), std::string::npos);
    EXPECT_NE(pov.find("\tuv_vectors {\n\t\t81\n"), std::string::npos);
    // The statue's model is declared once and placed; billboards name their pictures; the
    // start slots and gates are listed.
    EXPECT_NE(pov.find("// @box.jm\n#declare Vornix_Model_"), std::string::npos);
    EXPECT_NE(pov.find("object { Vornix_Model_"), std::string::npos);
    EXPECT_NE(pov.find("// @sprite.ppm"), std::string::npos);
    EXPECT_NE(pov.find("// start slot 2: <14.000000,"), std::string::npos);
    EXPECT_NE(pov.find("// gate 3: centre <16.000000,"), std::string::npos);
    EXPECT_NE(pov.find("light_source {"), std::string::npos);
    EXPECT_NE(pov.find("camera {"), std::string::npos);
    // The default step keeps the ground within 257 samples per side.
    EXPECT_EQ(export_default_step(17), 1);
    EXPECT_EQ(export_default_step(1025), 4);
    EXPECT_EQ(export_default_step(4097), 16);
}

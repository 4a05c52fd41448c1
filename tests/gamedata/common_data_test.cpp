// The shared game data: every file the start-up and the tracks name, images with the layout
// their readers expect, "JM" models, shape files and the font atlas.
#include <gtest/gtest.h>

#include <map>
#include <set>

#include "gamedata_util.h"

namespace {

// Splits a "JM" version 1 text into meshes and checks every count and index on the way.
struct JmCheck {
    int meshes = 0, vertices = 0, triangles = 0;
    float min_y = 1e9f, max_y = -1e9f;
};
JmCheck check_jm(const std::string& path) {
    JmCheck c;
    std::istringstream in(read_file(path));
    std::string magic;
    in >> magic;
    EXPECT_EQ(magic, "JM1") << path;
    float s, a, r, g, b;
    int n, m;
    while (in >> s >> a >> r >> g >> b >> n >> m) {
        c.meshes++;
        EXPECT_GT(n, 0);
        EXPECT_GT(m, 0);
        for (int k = 0; k < n; k++) {
            float v[8];
            for (float& x : v) EXPECT_TRUE((bool)(in >> x)) << path << " vertex " << k;
            float len = std::sqrt(v[3] * v[3] + v[4] * v[4] + v[5] * v[5]);
            EXPECT_NEAR(len, 1.0f, 1e-3f) << path << " normal of vertex " << k;
            EXPECT_GE(v[6], 0.0f);
            EXPECT_LE(v[6], 1.0f);
            EXPECT_GE(v[7], 0.0f);
            EXPECT_LE(v[7], 1.0f);
            c.min_y = std::fmin(c.min_y, v[1]);
            c.max_y = std::fmax(c.max_y, v[1]);
        }
        std::vector<int> idx((size_t)m * 3);
        for (int& x : idx) {
            EXPECT_TRUE((bool)(in >> x)) << path;
            EXPECT_GE(x, 0);
            EXPECT_LT(x, n);
        }
        c.vertices += n;
        c.triangles += m;
    }
    EXPECT_TRUE(in.eof()) << path << ": text after the last mesh";
    return c;
}

// A shape file: the count, then seven numbers per sphere; returns the bounding radius.
float check_shape(const std::string& path, int* count) {
    std::istringstream in(read_file(path));
    int n = 0;
    EXPECT_TRUE((bool)(in >> n)) << path;
    *count = n;
    float bound = 0;
    for (int k = 0; k < n; k++) {
        float x, y, z, radius, friction, spring, damper;
        EXPECT_TRUE((bool)(in >> x >> y >> z >> radius >> friction >> spring >> damper)) << path;
        EXPECT_GT(radius, 0);
        EXPECT_GE(friction, 0);
        EXPECT_GT(spring, 0);
        EXPECT_GT(damper, 0);
        bound = std::fmax(bound, std::sqrt(x * x + y * y + z * z) + radius);
    }
    std::string rest;
    EXPECT_FALSE((bool)(in >> rest)) << path << ": more spheres than counted";
    return bound;
}

} // namespace

TEST(CommonData, StartUpArtAndSkyHaveTheReadersLayout) {
    std::string d = generate({"common"});
    ASSERT_FALSE(d.empty());
    // HUD art (RGBA) as the start-up names it.
    for (const char* name :
         {"tach.png", "shifter.png", "pitboard.png", "roost.png", "splash.png"}) {
        PngHeader h = png_header(d + name);
        ASSERT_TRUE(h.ok) << name;
        EXPECT_EQ(h.depth, 8) << name;
        EXPECT_EQ(h.colour_type, 6) << name; // RGBA
        EXPECT_TRUE(power_of_two(h.width) && power_of_two(h.height)) << name;
    }
    // The title and the default sky faces are binary PPMs with exactly w * h * 3 bytes.
    std::vector<std::string> ppms = {"title.ppm", "startgate.ppm"};
    for (const char* f : {"n", "e", "s", "w", "u", "env"})
        ppms.push_back(std::string("sky-") + f + ".ppm");
    for (const std::string& name : ppms) {
        Netpbm p = netpbm_read(d + name, "P6");
        ASSERT_TRUE(p.ok) << name;
        EXPECT_EQ(p.pixels.size(), (size_t)p.width * p.height * 3) << name;
        EXPECT_TRUE(power_of_two((uint32_t)p.width) && power_of_two((uint32_t)p.height)) << name;
    }
    // The sky faces meet: the right column of north continues as the left column of east.
    Netpbm north = netpbm_read(d + "sky-n.ppm", "P6"), east = netpbm_read(d + "sky-e.ppm", "P6");
    ASSERT_EQ(north.width, east.width);
    int w = north.width, diff = 0;
    for (int y = 0; y < w; y++)
        for (int q = 0; q < 3; q++) {
            int a = (uint8_t)north.pixels[((size_t)y * w + (w - 1)) * 3 + q];
            int b = (uint8_t)east.pixels[((size_t)y * w) * 3 + q];
            diff = std::max(diff, std::abs(a - b));
        }
    EXPECT_LT(diff, 40) << "the north and east faces do not meet";
    // The title is a picture, not a flat fill: its top is sky (blue over red), its bottom ground.
    Netpbm title = netpbm_read(d + "title.ppm", "P6");
    const uint8_t* top = (const uint8_t*)&title.pixels[(size_t)(title.width * 10 + 20) * 3];
    const uint8_t* low =
        (const uint8_t*)&title.pixels[(size_t)(title.width * (title.height - 5) + 20) * 3];
    EXPECT_GT(top[2], top[0]);
    EXPECT_GT(low[1], low[2]);
}

TEST(CommonData, SurfaceSpriteAndFlaggerTextures) {
    std::string d = generate({"common"});
    ASSERT_FALSE(d.empty());
    for (const char* s : {"dirt", "hardpack", "sand", "mud", "grass", "concrete", "water",
                          "wetsand", "dunegrass"}) {
        std::string path = d + "textures/" + s + ".png";
        PngHeader h = png_header(path);
        ASSERT_TRUE(h.ok) << path;
        EXPECT_EQ(h.colour_type, 2) << path; // RGB: the ground has no transparency
        EXPECT_TRUE(power_of_two(h.width) && h.width == h.height) << path;
        // The texture repeats over every tile: its opposite edges must nearly match.
        int w, hh;
        std::vector<uint8_t> px;
        ASSERT_TRUE(png_rgba(path, &w, &hh, &px));
        double edge = 0, inner = 0;
        for (int y = 0; y < hh; y++)
            for (int q = 0; q < 3; q++) {
                edge += std::abs(px[((size_t)y * w + w - 1) * 4 + q] - px[((size_t)y * w) * 4 + q]);
                inner += std::abs(px[((size_t)y * w + w / 2) * 4 + q] -
                                  px[((size_t)y * w + w / 2 - 1) * 4 + q]);
            }
        // Neighbouring columns differ as much across the seam as inside the picture.
        EXPECT_LT(edge, inner * 2.5 + hh * 3) << path;
    }
    // Trees are cut out: transparent corners, an opaque middle.
    for (const char* s : {"sprites/pine.png", "sprites/broadleaf.png", "sprites/palm.png",
                          "flaggers/start1.png", "flaggers/gate_warn.png", "flaggers/lap4.png"}) {
        int w = 0, h = 0;
        std::vector<uint8_t> px;
        ASSERT_TRUE(png_rgba(d + s, &w, &h, &px)) << s;
        EXPECT_EQ(px[3], 0) << s << " top-left corner";
        int opaque = 0;
        for (size_t k = 3; k < px.size(); k += 4) opaque += px[k] == 255;
        EXPECT_GT(opaque, w * h / 20) << s;
        EXPECT_LT(opaque, w * h * 9 / 10) << s;
    }
    for (int k = 1; k <= 5; k++)
        EXPECT_TRUE(png_header(d + "flaggers/start" + std::to_string(k) + ".png").ok);
    for (int k = 1; k <= 4; k++)
        EXPECT_TRUE(png_header(d + "flaggers/lap" + std::to_string(k) + ".png").ok);
    for (const char* f : {"flare_glow.png", "flare_ring.png", "flare_disc.png", "sprites/bush.png",
                          "sprites/banner_vornix.png", "sprites/banner_race.png"})
        EXPECT_TRUE(png_header(d + f).ok) << f;
}

TEST(CommonData, ModelsAndShapesOfTheTrackObjects) {
    std::string d = generate({"common"});
    ASSERT_FALSE(d.empty());
    for (const char* name : {"startgate", "haybale", "tuffblock"}) {
        JmCheck jm = check_jm(d + name + ".jm");
        EXPECT_GE(jm.meshes, 1) << name;
        EXPECT_GE(jm.triangles, 12) << name; // at least a box
        EXPECT_GE(jm.min_y, -0.01f) << name << " sits on the ground, not in it";
        int spheres = 0;
        float bound = check_shape(d + name + ".shp", &spheres);
        EXPECT_GE(spheres, 3) << name;
        // The collision spheres reach about as far as the model: no invisible walls.
        EXPECT_LT(bound, 4.0f) << name;
        EXPECT_GT(bound, 1.0f) << name;
    }
    // The start gate's spheres lie along its free edge (+x, toward the riders) and close to
    // the ground, so a dropped gate is ridden over; raised by the bars' 33.75 degrees about z
    // they stand above the hub of a front wheel (1.17 ft for the largest tyres), a wall.
    std::istringstream in(read_file(d + "startgate.shp"));
    int n = 0;
    in >> n;
    ASSERT_GE(n, 1);
    const float t = 0.5890486f;
    for (int k = 0; k < n; k++) {
        float x, y, z, r, f, s, dmp;
        in >> x >> y >> z >> r >> f >> s >> dmp;
        EXPECT_GT(x, 0.0f);
        EXPECT_LE(y + r, 0.75f);
        float raised_y = x * std::sin(t) + y * std::cos(t);
        EXPECT_GT(raised_y, 1.25f);
    }
    EXPECT_TRUE(png_header(d + "haybale.png").ok);
    EXPECT_TRUE(png_header(d + "tuffblock.png").ok);
}

TEST(CommonData, FontAtlasAndItsMetrics) {
    std::string d = generate({"common"});
    ASSERT_FALSE(d.empty());
    for (const char* name : {"font", "font_bold"}) {
        std::istringstream in(read_file(d + name + ".txt"));
        std::string key;
        int size = 0, line = 0, ascent = 0, descent = 0, aw = 0, ah = 0, count = 0;
        in >> key >> size;
        EXPECT_EQ(key, "size");
        in >> key >> line;
        EXPECT_EQ(key, "line_height");
        in >> key >> ascent;
        EXPECT_EQ(key, "ascent");
        in >> key >> descent;
        EXPECT_EQ(key, "descent");
        in >> key >> aw >> ah;
        EXPECT_EQ(key, "atlas");
        in >> key >> count;
        EXPECT_EQ(key, "glyphs");
        EXPECT_EQ(count, 95);
        EXPECT_GE(line, ascent - descent - 2);
        EXPECT_LT(descent, 0);
        int w, h;
        std::vector<uint8_t> px;
        ASSERT_TRUE(png_rgba(d + name + ".png", &w, &h, &px));
        EXPECT_EQ(w, aw);
        EXPECT_EQ(h, ah);
        std::set<int> codes;
        for (int k = 0; k < count; k++) {
            int code, x, y, gw, gh, left, top, advance;
            ASSERT_TRUE((bool)(in >> code >> x >> y >> gw >> gh >> left >> top >> advance))
                << name << " glyph " << k;
            codes.insert(code);
            EXPECT_GT(advance, 0) << code;
            EXPECT_LE(x + gw, aw) << code;
            EXPECT_LE(y + gh, ah) << code;
            EXPECT_LE(top, ascent + 2) << code;
            if (code == ' ') {
                EXPECT_EQ(gw * gh, 0);
                continue;
            }
            // Every visible glyph has ink inside its own rectangle, white with alpha.
            int ink = 0;
            for (int yy = y; yy < y + gh; yy++)
                for (int xx = x; xx < x + gw; xx++) {
                    const uint8_t* p = &px[((size_t)yy * w + xx) * 4];
                    ink += p[3] > 128;
                    if (p[3]) {
                        EXPECT_EQ(p[0], 255);
                    }
                }
            EXPECT_GT(ink, 0) << "glyph " << code;
        }
        EXPECT_EQ(codes.size(), 95u);
        EXPECT_EQ(*codes.begin(), 32);
        EXPECT_EQ(*codes.rbegin(), 126);
    }
}

TEST(CommonData, GeneratorRejectsBadCommandLines) {
    EXPECT_EQ(run_command(gen_program()).status, 2);
    EXPECT_EQ(run_command(gen_program() + " out --only nowhere").status, 2);
    EXPECT_EQ(run_command(gen_program() + " out --bogus").status, 2);
    EXPECT_EQ(run_command(gen_program() + " a b").status, 2);
    EXPECT_FALSE(file_exists(test_dir() + "/out"));
    // A folder that cannot be made is a failure, not a crash.
    write_file(test_dir() + "/blocker", "x");
    RunResult r = run_command(gen_program() + " blocker/data --only dunebay");
    EXPECT_EQ(r.status, 1);
}

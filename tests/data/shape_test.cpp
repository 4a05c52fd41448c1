#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "data/datafile.h"
#include "data/shape.h"
#include "support/test_env.h"

namespace {

class Shapes : public ::testing::Test {
  protected:
    void SetUp() override { shape_reset(); }
    void TearDown() override { shape_reset(); }
};

} // namespace

TEST_F(Shapes, SpheresAndBoundingRadius) {
    write_file("bale.shp", "3\n"
                           "0 0 0  1 0.8 5000 20\n"
                           "3 4 0  0.5 0.7 4000 10\n"
                           "0 -2 0  2.5 0.6 3000 5\n");
    Shape* s = shape_get("bale.shp");
    ASSERT_TRUE(s);
    EXPECT_EQ(s->count, 3);
    ASSERT_EQ(s->spheres.size(), 3u);
    EXPECT_FLOAT_EQ(s->spheres[1].centre[0], 3);
    EXPECT_FLOAT_EQ(s->spheres[1].radius, 0.5f);
    EXPECT_FLOAT_EQ(s->spheres[1].friction, 0.7f);
    EXPECT_FLOAT_EQ(s->spheres[1].spring, 4000);
    EXPECT_FLOAT_EQ(s->spheres[1].damper, 10);
    // Largest |centre| + radius: 1, 5 + 0.5, 2 + 2.5.
    EXPECT_FLOAT_EQ(s->radius, 5.5f);
    EXPECT_EQ(s->source, nullptr);
}

TEST_F(Shapes, CacheByExactNameAndCopies) {
    write_file("a.shp", "1 0 0 0 1 0 0 0");
    Shape* s = shape_get("a.shp");
    ASSERT_TRUE(s);
    EXPECT_EQ(shape_get("a.shp"), s);
    EXPECT_EQ(g_shapes.cache.size(), 1u);
    EXPECT_EQ(shape_get("A.SHP"), nullptr); // no case-insensitive hit for shapes
    Shape* c = shape_copy(s);
    ASSERT_NE(c, s);
    EXPECT_EQ(c->source, s);
    c->spheres[0].centre[0] = 7; // moving the copy leaves the cached shape alone
    EXPECT_FLOAT_EQ(s->spheres[0].centre[0], 0);
    Shape* cc = shape_copy(c);
    EXPECT_EQ(cc->source, s);
    shape_free(cc);
    shape_free(c);
}

TEST_F(Shapes, MalformedFilesAreRejected) {
    const char* cases[] = {
        "",
        "x",
        "-1",
        "2\n0 0 0 1 0 0 0\n",        // second sphere missing
        "1\n0 0 0 1 0 0\n",          // sphere short of one parameter
        "1\n0 0 x 1 0 0 0\n",        // not a number
        "1000000000\n0 0 0 1 0 0 0", // a count the data do not back
    };
    int n = 0;
    for (const char* c : cases) {
        std::string name = "bad" + std::to_string(n++) + ".shp";
        write_file(name, c);
        EXPECT_EQ(shape_get(name.c_str()), nullptr) << c;
    }
    EXPECT_TRUE(g_shapes.cache.empty());
    EXPECT_EQ(shape_get("missing.shp"), nullptr);
    write_file("empty.shp", "0\n");
    Shape* e = shape_get("empty.shp");
    ASSERT_TRUE(e);
    EXPECT_EQ(e->count, 0);
    EXPECT_FLOAT_EQ(e->radius, 0);
}

TEST_F(Shapes, DataNamesFromTheSearchPath) {
    write_file(test_game_dir() + "/startgate.shp", "1 0 1 0 0.5 1 2 3");
    data_reset();
    Shape* s = shape_get("@startgate.shp");
    ASSERT_TRUE(s);
    EXPECT_FLOAT_EQ(s->radius, 1.5f);
}

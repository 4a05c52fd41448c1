#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "core/settings.h"
#include "data/datafile.h"
#include "data/model.h"
#include "data/shape.h"
#include "data/texture.h"
#include "platform/digest.h"
#include "platform/log.h"
#include "support/test_env.h"
#include "track/gates.h"
#include "track/lighting.h"
#include "track/objects.h"
#include "track/terrain.h"
#include "track/track.h"

namespace {

const std::string PIXEL = std::string("P6\n1 1\n255\n") + std::string("\x40\x60\x20", 3);
const int SHIFT = 5;                // 32 tiles per side
const int P = 2 * (1 << SHIFT) + 1; // 65 samples per side

// The bytes of a small track folder, file by file, written as each format describes.
struct TrackFiles {
    std::string hf, tileinfo, tilemap, shading, gates, statues, billboards, lighting, decals,
        flaggers;
};

TrackFiles default_files() {
    TrackFiles t;
    // Header "shift spacing min max", ":" and P x P little-endian 16-bit samples, all 65535:
    // the whole field stands at the maximum height, 10.
    t.hf = std::to_string(SHIFT) + " 2.0 0 10\n:";
    for (int i = 0; i < P * P; i++) t.hf += std::string("\xff\xff", 2);
    t.tileinfo = "texture @dirt.ppm\nfriction 1 1\naddtile\n";
    t.tilemap = std::string((1 << SHIFT) * (1 << SHIFT), '\0');
    t.shading = "P6\n" + std::to_string(P) + " " + std::to_string(P) + "\n255\n" +
                std::string(P * P * 3, '\x80');
    t.gates = "startinggate:\n[ 60 0 60 ] 0\n[ 64 0 60 ] 0\n"
              "checkpoints:\n10 [ 40 0 40 ] [ 1 0 0 ]\n10 [ 80 0 80 ] [ -1 0 0 ]\n"
              "firstlap:\n0 1\nnormallap:\n0 1\n";
    t.statues = "[ 20 1 20 ] 0 @rock.jm @dirt.ppm @rock.shp\n"
                "[ 30 0 30 ] 1 @rock.jm @dirt.ppm @startgate.shp\n"
                "[ 40 0 40 ] 2 @rock.jm @dirt.ppm @rock.shp\n";
    t.billboards = "[ 10 2 10 ] 3 4 @dirt.ppm\n";
    t.lighting = "sun_vector [ 1 2 3 ]\n";
    t.decals = "[ 10 10 ] 0 4 1 @dirt.ppm\n";
    t.flaggers = "[ 1 0 1 ] [ 2 0 2 ] 1 1 1 @dirt.ppm @dirt.ppm @dirt.ppm @dirt.ppm @dirt.ppm\n";
    return t;
}

const char* const SHAPE_ROCK = "1\n0 0 0\n2 1 25000 2500\n";
const char* const SHAPE_GATE = "2\n0 0 0\n1 1 25000 2500\n3 0 0\n1 1 25000 2500\n";

class TrackLoad : public ::testing::Test {
  protected:
    void SetUp() override {
        g_settings = Settings{};
        g_settings.headless = 1;
        log_setup(("DRUV_LOGFILE=" + test_dir() + "/test-log.txt").c_str());
        track_free();
        texture_reset();
        shape_reset();
        model_reset();
        put("dirt.ppm", PIXEL);
        put("rock.shp", SHAPE_ROCK);
        put("startgate.shp", SHAPE_GATE);
    }
    void TearDown() override {
        track_free();
        // The caches live in globals whose destructors would drop them unfreed at exit.
        shape_reset();
        model_reset();
        texture_reset();
    }
    void put(const std::string& name, const std::string& bytes) {
        write_file(test_game_dir() + "/" + name, bytes);
    }
    void put_track(const std::string& name, const TrackFiles& t) {
        put(name + "/terrain.hf", t.hf);
        put(name + "/tileinfo", t.tileinfo);
        put(name + "/tilemap", t.tilemap);
        put(name + "/shading.ppm", t.shading);
        put(name + "/timing_gates", t.gates);
        put(name + "/statues", t.statues);
        put(name + "/billboards", t.billboards);
        put(name + "/lighting", t.lighting);
        put(name + "/decals", t.decals);
        put(name + "/flaggers", t.flaggers);
    }
    int load(const std::string& name) {
        track_free();
        g_track.name = name;
        return track_load();
    }
    std::string digest_of(const std::string& name) {
        EXPECT_EQ(load(name), 1);
        return digest_hex(g_track.digest);
    }
    std::string log_text() { return read_file(test_dir() + "/test-log.txt"); }
};

TEST_F(TrackLoad, LoadsEveryPartInOrder) {
    g_settings.debug_level = 1;
    put_track("t", default_files());
    ASSERT_EQ(load("t"), 1);
    EXPECT_TRUE(g_track.loaded);
    EXPECT_EQ(g_track.name, "t");
    EXPECT_EQ(g_terrain.samples, P);
    EXPECT_EQ(g_gates.slot_count, 2);
    EXPECT_EQ(g_gates.gates.size(), 2u);
    // Start gates first, then the file's statues.
    ASSERT_EQ(g_objects.statues.size(), 5u);
    EXPECT_EQ(g_objects.statues_kept, 2);
    // Particles, then the start flagger, then the file's billboards.
    EXPECT_EQ(g_objects.particle_first, 0);
    ASSERT_EQ(g_objects.billboards.size(), (size_t)PARTICLE_BILLBOARD_COUNT + 2);
    EXPECT_EQ(g_objects.billboards_kept, PARTICLE_BILLBOARD_COUNT + 1);
    EXPECT_EQ(g_objects.start_flagger.billboard, PARTICLE_BILLBOARD_COUNT);
    // Objects stand on the ground: every sample is at the maximum height, 10.
    EXPECT_FLOAT_EQ(g_objects.billboards.back().y, 10 + 2);
    EXPECT_FLOAT_EQ(g_objects.statues[2].y, 10 + 1);
    // The statue grid is built: the rock at (20, 20) of a 128-unit field, bounding radius 2.
    EXPECT_EQ(statues_near(20, 20).front(), 2);
    EXPECT_FLOAT_EQ(g_lighting.sun_vector[2], (float)(3 / std::sqrt(14.0)));
    EXPECT_EQ(g_track.map_texture, 0u);

    std::string log = log_text();
    size_t a = log.find("Loading track...\n");
    size_t b = log.find("Loading '@t'\n");
    size_t c = log.find("bytes texture memory used after hf creation\n");
    size_t d = log.find("bytes texture memory used after flagger creation\n");
    size_t e = log.find("bytes texture memory used after billboard creation\n");
    size_t f = log.find("bytes texture memory used after statue creation\n");
    size_t g = log.find("Found 2 timing gates, first lap has 2 gates, normal lap has 2\n");
    ASSERT_NE(a, std::string::npos);
    ASSERT_NE(f, std::string::npos);
    EXPECT_LT(a, b);
    EXPECT_LT(b, c);
    EXPECT_LT(c, g);
    EXPECT_LT(g, d);
    EXPECT_LT(d, e);
    EXPECT_LT(e, f);
}

TEST_F(TrackLoad, DigestCoversGroundGatesStatuesAndShapesOnly) {
    TrackFiles t = default_files();
    put_track("t", t);
    ASSERT_EQ(load("t"), 1);
    // terrain.hf, (terrain.png), (texturelist), tilemap, tileinfo, timing_gates, statues, then
    // each shape file once in statue order: the start gates' shape first, then the rock's.
    std::string bytes =
        t.hf + t.tilemap + t.tileinfo + t.gates + t.statues + SHAPE_GATE + SHAPE_ROCK;
    unsigned char expected[DIGEST_SIZE];
    digest_bytes(bytes.data(), bytes.size(), expected);
    EXPECT_EQ(digest_hex(g_track.digest), digest_hex(expected));
}

TEST_F(TrackLoad, DigestIgnoresScenerySkyAndDecalsButNotTheGround) {
    TrackFiles base = default_files();
    put_track("a", base);
    std::string reference = digest_of("a");

    TrackFiles other = base;
    other.billboards = "[ 99 0 99 ] 1 1 @dirt.ppm\n[ 5 5 5 ] 2 2 #ff0000#@dirt.ppm\n";
    other.lighting = "sun_vector [ 0 1 0 ]\nfog [ 1 1 1 ] 0.5\n";
    other.decals = "";
    other.flaggers = "";
    other.shading = base.shading;
    other.shading[other.shading.size() - 1] = '\x10';
    put_track("b", other);
    EXPECT_EQ(digest_of("b"), reference);

    TrackFiles tile = base;
    tile.tilemap[5] = 0; // same value: same digest
    put_track("c", tile);
    EXPECT_EQ(digest_of("c"), reference);
    tile.tilemap[5] = 1; // clamped to the only surface type on load, but a different file
    put_track("d", tile);
    EXPECT_NE(digest_of("d"), reference);

    TrackFiles statue = base;
    statue.statues = base.statues + "[ 50 0 50 ] 0 @rock.jm @dirt.ppm null\n";
    put_track("e", statue);
    EXPECT_NE(digest_of("e"), reference);

    TrackFiles gates = base;
    gates.gates = base.gates + " ";
    put_track("f", gates);
    EXPECT_NE(digest_of("f"), reference);
}

TEST_F(TrackLoad, OnlyTheTerrainCanFailTheLoad) {
    TrackFiles t = default_files();
    put("bare/terrain.hf", t.hf);
    put("bare/tileinfo", t.tileinfo);
    put("bare/tilemap", t.tilemap);
    put("bare/shading.ppm", t.shading);
    ASSERT_EQ(load("bare"), 1);
    EXPECT_FALSE(gates_present());
    EXPECT_EQ(g_gates.slot_count, 0);
    EXPECT_TRUE(g_objects.statues.empty());
    EXPECT_EQ(g_objects.billboards.size(), (size_t)PARTICLE_BILLBOARD_COUNT);
    EXPECT_EQ(g_lighting.sky[SKY_NORTH], 0u);

    EXPECT_EQ(load("nothing"), 0);
    EXPECT_EQ(g_track.name, "");
    EXPECT_FALSE(g_track.loaded);
    EXPECT_TRUE(g_objects.billboards.empty());
}

TEST_F(TrackLoad, FreeEmptiesEverythingAndLogs) {
    put_track("t", default_files());
    ASSERT_EQ(load("t"), 1);
    track_free();
    EXPECT_EQ(g_track.name, "");
    EXPECT_FALSE(g_track.loaded);
    EXPECT_EQ(g_terrain.samples, 0);
    EXPECT_TRUE(g_objects.statues.empty());
    EXPECT_TRUE(g_objects.billboards.empty());
    EXPECT_TRUE(g_gates.gates.empty());
    EXPECT_EQ(g_gates.slot_count, 0);
    EXPECT_TRUE(g_lighting.flares.empty());
    for (auto& row : g_objects.grid)
        for (auto& bucket : row) EXPECT_TRUE(bucket.empty());
    std::string log = log_text();
    size_t a = log.find("Deallocating track\n");
    ASSERT_NE(a, std::string::npos);
    EXPECT_NE(log.find("Finished deallocating track\n", a), std::string::npos);
}

TEST(LoadingScreen, MessagesAreLoggedAndDrawnThroughTheHook) {
    log_setup(("DRUV_LOGFILE=" + test_dir() + "/test-log.txt").c_str());
    static std::string drawn;
    loading_set_screen([](const char* text) { drawn = text; });
    loading_message("Loading track...");
    loading_set_screen(nullptr);
    loading_message("Not drawn");
    EXPECT_EQ(drawn, "Loading track...");
    std::string log = read_file(test_dir() + "/test-log.txt");
    EXPECT_NE(log.find("Loading track...\n"), std::string::npos);
    EXPECT_NE(log.find("Not drawn\n"), std::string::npos);
}

} // namespace

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "core/settings.h"
#include "data/datafile.h"
#include "data/model.h"
#include "data/shape.h"
#include "data/texture.h"
#include "platform/messages.h"
#include "platform/log.h"
#include "support/test_env.h"
#include "track_fixture.h"
#include "track/gates.h"
#include "track/objects.h"
#include "track/terrain.h"
#include "track/track.h"

namespace {

// A 1 x 1 raw PPM: the smallest texture the manager reads.
const std::string PIXEL = std::string("P6\n1 1\n255\n") + std::string("\x10\x20\x30", 3);

class Objects : public TrackFilesFixture {
  protected:
    void put(const std::string& name, const std::string& bytes) {
        write_file(test_game_dir() + "/" + name, bytes);
    }
    // Writes a track file and reads it with the given reader.
    void read(const char* file, const std::string& bytes, int (*reader)(DataFile*)) {
        put(std::string("t/") + file, bytes);
        DataFile* f = data_open((std::string("@t/") + file).c_str(), "r");
        ASSERT_NE(f, nullptr);
        EXPECT_EQ(reader(f), 1);
        data_close(f);
    }
    // A shape of one sphere at (cx, 0, 0): bounding radius |cx| + r.
    void put_shape(const std::string& name, float cx, float r) {
        char text[128];
        snprintf(text, sizeof text, "1\n%g 0 0\n%g 1 25000 2500\n", cx, r);
        put(name, text);
    }
};

TEST_F(Objects, BillboardRecordsWithAndWithoutColour) {
    put("tree.ppm", PIXEL);
    read("billboards",
         "[ 1 2 3 ] 4 5 @tree.ppm\n"
         "[ 6 7 8 ] 9 10 #00ff00#@tree.ppm\n"
         "[ 0 0 0 ] 1 1 #ffffff#@tree.ppm\n"
         "[ 0 0 0 ] 1 1 @missing.ppm\n"
         "[ 0 0 0 ] 1 1 #00ff0g#@tree.ppm\n",
         billboards_read);
    ASSERT_EQ(g_objects.billboards.size(), 5u);
    ASSERT_EQ(g_objects.billboard_slots.size(), 5u);
    const Billboard& a = g_objects.billboards[0];
    EXPECT_FLOAT_EQ(a.x, 1);
    EXPECT_FLOAT_EQ(a.file_y, 2);
    EXPECT_FLOAT_EQ(a.y, 2); // no terrain: the ground is at 0
    EXPECT_FLOAT_EQ(a.z, 3);
    EXPECT_FLOAT_EQ(a.width, 4);
    EXPECT_FLOAT_EQ(a.height, 5);
    EXPECT_NE(a.texture, 0u);
    EXPECT_EQ(a.reserved, 0u);
    for (int c = 0; c < 4; c++) EXPECT_EQ(a.color[c], 255);
    const Billboard& green = g_objects.billboards[1];
    EXPECT_EQ(green.color[0], 0);
    EXPECT_EQ(green.color[1], 255);
    EXPECT_EQ(green.color[2], 0);
    EXPECT_EQ(green.color[3], 255);
    EXPECT_EQ(green.texture, a.texture);
    // A texture that does not load keeps the billboard with texture 0.
    EXPECT_EQ(g_objects.billboards[3].texture, 0u);
    // "#00ff0g#": not six hex digits, so the whole look is the (missing) name.
    EXPECT_EQ(g_objects.billboards[4].texture, 0u);
    EXPECT_EQ(g_objects.billboards[4].color[1], 255);
    EXPECT_EQ(g_objects.billboard_slots[4].slot[0], 0u);
    EXPECT_EQ(g_objects.billboard_slots[4].slot[1], 0u);
}

TEST_F(Objects, ColourPrefixNeedsItsExactShape) {
    put("a.ppm", PIXEL);
    billboard_add(0, 0, 0, 1, 1, "#0a0B0c#@a.ppm");
    billboard_add(0, 0, 0, 1, 1, "#0a0b0c#"); // colour only, empty name
    billboard_add(0, 0, 0, 1, 1, "#0a0b0c");  // 7 characters: all name
    billboard_add(0, 0, 0, 1, 1, "x0a0b0c#@a.ppm");
    auto& b = g_objects.billboards;
    EXPECT_EQ(b[0].color[0], 0x0a);
    EXPECT_EQ(b[0].color[1], 0x0b);
    EXPECT_EQ(b[0].color[2], 0x0c);
    EXPECT_NE(b[0].texture, 0u);
    EXPECT_EQ(b[1].color[2], 0x0c);
    EXPECT_EQ(b[1].texture, 0u);
    EXPECT_EQ(b[2].color[0], 255);
    EXPECT_EQ(b[3].color[0], 255);
}

TEST_F(Objects, BillboardWriterWritesOnlyWhatCameAfterTheKeptOnes) {
    put("tree.ppm", PIXEL);
    billboards_add_particles(3);
    billboard_add(50, 1, 50, 2, 2, "@tree.ppm"); // stands in for a flagger
    g_objects.billboards_kept = (int)g_objects.billboards.size();
    read("billboards",
         "[ 1 2 3 ] 4 5 #00ff00#@tree.ppm\n"
         "[ 1.5 0 2 ] 3 3 #ffffff#@tree.ppm\n"
         "[ 0 0 0 ] 1 1 @missing.ppm\n"
         "[ 0 0 0 ] 1 1 #FFFF00#@tree.ppm\n",
         billboards_read);
    EXPECT_EQ(g_objects.particle_first, 0);
    ASSERT_EQ(billboards_write(), 1);
    EXPECT_EQ(read_file(test_user_dir() + "t/billboards"),
              "[1.000000 2.000000 3.000000] 4.000000 5.000000 #00ff00#@tree.ppm\n"
              "[1.500000 0.000000 2.000000] 3.000000 3.000000 @tree.ppm\n"
              "[0.000000 0.000000 0.000000] 1.000000 1.000000 #ffff00#@tree.ppm\n");
    // Round trip.
    objects_free();
    DataFile* f = data_open("@t/billboards", "r");
    ASSERT_NE(f, nullptr);
    billboards_read(f);
    data_close(f);
    ASSERT_EQ(g_objects.billboards.size(), 3u);
    EXPECT_EQ(g_objects.billboards[0].color[0], 0);
    EXPECT_EQ(g_objects.billboards[0].color[1], 255);
    EXPECT_FLOAT_EQ(g_objects.billboards[1].x, 1.5f);
}

TEST_F(Objects, ParticleBillboardsAreHiddenUnitSprites) {
    int first = billboards_add_particles(PARTICLE_BILLBOARD_COUNT);
    EXPECT_EQ(first, 0);
    ASSERT_EQ(g_objects.billboards.size(), (size_t)PARTICLE_BILLBOARD_COUNT);
    const Billboard& b = g_objects.billboards.back();
    EXPECT_EQ(b.texture, 0u);
    EXPECT_FLOAT_EQ(b.width, 1);
    EXPECT_FLOAT_EQ(b.height, 1);
    EXPECT_FLOAT_EQ(b.x, 0);
    EXPECT_FLOAT_EQ(b.y, 0);
}

TEST_F(Objects, StatueRecordsShapesAndUprightValue) {
    put("rock.ppm", PIXEL);
    put("rock_norm.png", ""); // present but unreadable: the next candidate is tried
    put("rock_norm.ppm", PIXEL);
    put("hay_spec.ppm", PIXEL);
    put_shape("rock.shp", 1, 2);
    read("statues",
         "[ 10 1 20 ] 0.5 @rock.jm @rock.ppm @rock.shp\n"
         "[ 11 0 21 ] 3.25 @hay.jm @rock.ppm null\n"
         "[ 12 0 22 ] 0 @hay.jm @straw.ppm @nope.shp\n",
         statues_read);
    ASSERT_EQ(g_objects.statues.size(), 3u);
    const Statue& a = g_objects.statues[0];
    EXPECT_FLOAT_EQ(a.x, 10);
    EXPECT_FLOAT_EQ(a.file_y, 1);
    EXPECT_FLOAT_EQ(a.y, 1);
    EXPECT_FLOAT_EQ(a.z, 20);
    EXPECT_FLOAT_EQ(a.angle, 0.5f);
    EXPECT_NE(a.texture, 0u);
    ASSERT_NE(a.shape, nullptr);
    EXPECT_EQ(a.model, nullptr); // no such model file
    EXPECT_EQ(a.upright, 0.0f);
    EXPECT_NE(a.normal_map, 0u);
    EXPECT_EQ(a.specular, 0u);
    EXPECT_EQ(a.normal_map, texture_load("@rock_norm.ppm"));
    // Angle 3.25 or more: identity orientation and 2^angle.
    const Statue& b = g_objects.statues[1];
    EXPECT_EQ(b.shape, nullptr);
    EXPECT_FLOAT_EQ(b.upright, std::pow(2.0f, 3.25f));
    const float identity[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    for (int i = 0; i < 9; i++) EXPECT_FLOAT_EQ(b.rot[i], identity[i]);
    // The specular map is found from the model name when the texture has none.
    const Statue& c = g_objects.statues[2];
    EXPECT_EQ(c.texture, 0u);
    EXPECT_EQ(c.shape, nullptr);
    EXPECT_EQ(c.specular, texture_load("@hay_spec.ppm"));
    EXPECT_NE(log_text().find("Warning: missing shape file @nope.shp"), std::string::npos);
    // A level frame for angle 0.5: the up axis (second column) points straight up.
    EXPECT_NEAR(a.rot[1], 0, 1e-6);
    EXPECT_NEAR(a.rot[4], 1, 1e-6);
    EXPECT_NEAR(a.rot[7], 0, 1e-6);
}

TEST_F(Objects, AMissingPictureVariantIsLookedForOncePerLoad) {
    put("tuff.ppm", PIXEL);
    read("statues", "[ 10 0 20 ] 0 @tuff.jm @tuff.ppm null\n", statues_read);
    ASSERT_EQ(g_objects.statues.size(), 1u);
    EXPECT_EQ(g_objects.statues[0].normal_map, 0u);
    // Hundreds of statues share a picture: the search that found nothing is not made again
    // while this track is loaded...
    put("tuff_norm.ppm", PIXEL);
    read("statues", "[ 11 0 21 ] 0 @tuff.jm @tuff.ppm null\n", statues_read);
    ASSERT_EQ(g_objects.statues.size(), 2u);
    EXPECT_EQ(g_objects.statues[1].normal_map, 0u);
    // ...but the next load (after the track is freed) finds a picture added since.
    objects_free();
    read("statues", "[ 11 0 21 ] 0 @tuff.jm @tuff.ppm null\n", statues_read);
    ASSERT_EQ(g_objects.statues.size(), 1u);
    EXPECT_EQ(g_objects.statues[0].normal_map, texture_load("@tuff_norm.ppm"));
}

TEST_F(Objects, StatueWriterRoundTrip) {
    put("rock.ppm", PIXEL);
    put_shape("rock.shp", 0, 1);
    statue_add(0, 0, 0, 0, "@startgate.jm", "@rock.ppm", "@rock.shp"); // a start gate
    g_objects.statues_kept = 1;
    read("statues",
         "[ 10 1.5 20 ] 0.5 @rock.jm @rock.ppm @rock.shp\n"
         "[ 11 0 21 ] 1 @hay.jm @missing.ppm null\n"
         "[ 12 0 22 ] 2 @hay.jm @rock.ppm null\n",
         statues_read);
    ASSERT_EQ(statues_write(), 1);
    EXPECT_EQ(read_file(test_user_dir() + "t/statues"),
              "[10.000000 1.500000 20.000000] 0.500000 NULL @rock.ppm @rock.shp\n"
              "[12.000000 0.000000 22.000000] 2.000000 NULL @rock.ppm null\n");
    objects_free();
    DataFile* f = data_open("@t/statues", "r");
    ASSERT_NE(f, nullptr);
    statues_read(f);
    data_close(f);
    ASSERT_EQ(g_objects.statues.size(), 2u);
    EXPECT_NE(g_objects.statues[0].shape, nullptr);
    EXPECT_FLOAT_EQ(g_objects.statues[1].angle, 2);
}

TEST_F(Objects, WritersReportAFileThatCannotBeCreated) {
    // Folders where the files should be, in both search folders.
    for (const std::string& dir : {test_user_dir(), test_game_dir() + "/"}) {
        write_file(dir + "t/statues/x", "");
        write_file(dir + "t/billboards/x", "");
    }
    EXPECT_EQ(statues_write(), 0);
    EXPECT_EQ(billboards_write(), 0);
    std::string log = log_text();
    EXPECT_NE(log.find("Can't open 'statues'\n"), std::string::npos);
    EXPECT_NE(log.find("Can't open 'billboards'\n"), std::string::npos);
    EXPECT_EQ(g_messages.visible, 2);
}

TEST_F(Objects, StatueBucketsSpanTheMiddleThreeQuarters) {
    g_terrain.extent = 512; // buckets 48 wide from 64 to 448
    EXPECT_EQ(statue_bucket(-1000), 0);
    EXPECT_EQ(statue_bucket(0), 0);
    EXPECT_EQ(statue_bucket(111.9f), 0);
    EXPECT_EQ(statue_bucket(112), 1);
    EXPECT_EQ(statue_bucket(184), 2);
    EXPECT_EQ(statue_bucket(255.9f), 3);
    EXPECT_EQ(statue_bucket(256), 4);
    EXPECT_EQ(statue_bucket(399.9f), 6);
    EXPECT_EQ(statue_bucket(400), 7);
    EXPECT_EQ(statue_bucket(1e30f), 7);
    EXPECT_EQ(statue_bucket(NAN), 0);
    g_terrain.extent = 0; // no terrain: only the side of 0 decides
    EXPECT_EQ(statue_bucket(300), 7);
    EXPECT_EQ(statue_bucket(-300), 0);
}

TEST_F(Objects, StatueOnTheMiddleBoundaryReachesAcrossOnlyWithItsRadius) {
    g_terrain.extent = 512;
    put_shape("dot.shp", 0, 0);
    put_shape("ball.shp", 0, 1);
    put_shape("none.shp", 0, 0);
    int dot = statue_add(256, 0, 256, 0, "", "", "@dot.shp");
    int ball = statue_add(256, 0, 300, 0, "", "", "@ball.shp");
    int bare = statue_add(256, 0, 256, 0, "", "", "null");
    statue_grid_rebuild();
    auto in = [](int bx, int bz, int index) {
        for (int i : g_objects.grid[bz][bx])
            if (i == index) return true;
        return false;
    };
    EXPECT_TRUE(in(4, 4, dot));
    EXPECT_FALSE(in(3, 4, dot));
    EXPECT_FALSE(in(3, 3, dot));
    // x 255..257 reaches bucket 3; z 299..301 stays in bucket 4.
    EXPECT_TRUE(in(3, 4, ball));
    EXPECT_TRUE(in(4, 4, ball));
    EXPECT_FALSE(in(3, 5, ball));
    int total = 0;
    for (auto& row : g_objects.grid)
        for (auto& bucket : row) {
            total += (int)bucket.size();
            for (int i : bucket) EXPECT_NE(i, bare);
        }
    EXPECT_EQ(total, 3);
}

TEST_F(Objects, NearbyStatuesComeFromTheCoveredBucketsAscendingOnce) {
    g_terrain.extent = 512;
    put_shape("big.shp", 0, 30);
    put_shape("small.shp", 0, 1);
    // Statue 0 spans buckets 1..2 in x; 1 and 2 sit inside bucket 2; 3 far away in bucket 6.
    statue_add(160, 0, 184, 0, "", "", "@big.shp");   // x 130..190: buckets 1..2, z 1..3
    statue_add(180, 0, 180, 0, "", "", "@small.shp"); // bucket (2, 2)
    statue_add(170, 0, 170, 0, "", "", "null");
    statue_add(390, 0, 390, 0, "", "", "@small.shp"); // bucket (6, 6)
    statue_add(150, 0, 180, 0, "", "", "@small.shp"); // bucket (1, 2)
    statue_grid_rebuild();
    // Well inside bucket (2, 2): the bucket's list as it is.
    EXPECT_EQ(statues_near(184, 184), (std::vector<int>{0, 1}));
    // Near the x boundary at 160: buckets 1 and 2 merged.
    EXPECT_EQ(statues_near(158, 184), (std::vector<int>{0, 1, 4}));
    EXPECT_EQ(statues_near(400, 400), (std::vector<int>{3}));
    EXPECT_TRUE(statues_near(300, 300).empty());
}

struct Seen {
    std::vector<int> statues;
    std::vector<bool> identity;
    int touch; // the statue the callback reports as touched
};

int record_contact(void* ctx, int statue, const Statue* s, const float pos[3], const float rot[9]) {
    Seen* seen = (Seen*)ctx;
    seen->statues.push_back(statue);
    EXPECT_FLOAT_EQ(pos[0], s->x);
    EXPECT_FLOAT_EQ(pos[1], s->y);
    EXPECT_FLOAT_EQ(pos[2], s->z);
    seen->identity.push_back(rot[0] == 1 && rot[4] == 1 && rot[8] == 1 && rot[1] == 0 &&
                             rot[2] == 0 && rot[3] == 0 && rot[5] == 0 && rot[6] == 0 &&
                             rot[7] == 0);
    if (rot != s->rot) {
        EXPECT_NE(s->upright, 0.0f);
    }
    return statue == seen->touch;
}

TEST_F(Objects, CollisionCallsTheContactPerNearbyStatueAndStampsTouches) {
    g_terrain.extent = 512;
    put_shape("small.shp", 0, 1);
    statue_add(180, 0, 180, 1.0f, "", "", "@small.shp");
    statue_add(182, 0, 180, 4.0f, "", "", "@small.shp"); // upright
    statue_add(390, 0, 390, 0, "", "", "@small.shp");
    statue_grid_rebuild();
    Seen seen{{}, {}, 1};
    EXPECT_EQ(statues_collide(181, 181, 777, record_contact, &seen), 1);
    EXPECT_EQ(seen.statues, (std::vector<int>{0, 1}));
    EXPECT_EQ(seen.identity, (std::vector<bool>{false, true}));
    EXPECT_EQ(g_objects.statues[1].last_contact, 777);
    EXPECT_NE(g_objects.statues[0].last_contact, 777);
    EXPECT_NE(g_objects.statues[2].last_contact, 777);
    EXPECT_EQ(statues_collide(181, 181, 778, nullptr, nullptr), 0);
}

TEST_F(Objects, TruncatedAndGarbageRecordsKeepWhatWasComplete) {
    put("rock.ppm", PIXEL);
    read("statues", "[ 1 2 3 ] 0 @a.jm @rock.ppm null\n[ 4 5 6 ] 0 @a.jm", statues_read);
    EXPECT_EQ(g_objects.statues.size(), 1u);
    objects_free();
    read("billboards", "[ 1 2 3 ] 4 5 @rock.ppm\n[ 1 2 3 ] 4", billboards_read);
    EXPECT_EQ(g_objects.billboards.size(), 1u);
    objects_free();
    read("billboards", std::string("\xff\x00[[]] 1 2", 9), billboards_read);
    EXPECT_EQ(g_objects.billboards.size(), 0u);
    read("billboards", "[ nan 1 2 ] 1 1 x\n", billboards_read);
    EXPECT_EQ(g_objects.billboards.size(), 0u);
    read("statues", "[ 1e300 0 0 ] 0 a b c\n", statues_read);
    EXPECT_EQ(g_objects.statues.size(), 0u);
}

const char* FLAGGERS = "[ 10 0 20 ] [ 30 2 40 ] 2 3 4\n"
                       "  @s1.ppm @s2.ppm @s3.ppm @s4.ppm @s5.ppm\n"
                       "[ 50 1 60 ] 1.5 2.5 @l1.ppm @l2.ppm @l3.ppm @l4.ppm\n"
                       "[ 70 0 80 ] 1 2 0 1 5 -7 @g.ppm @w.ppm\n"
                       "[ 71 0 81 ] 1 2 -1 -1 -1 2 @g.ppm @w.ppm\n"
                       "[ 72 0 82 ] 1 2 0 1 2\n";

class FlaggerFile : public Objects {
  protected:
    void SetUp() override {
        Objects::SetUp();
        for (const char* n : {"s1", "s2", "s3", "s4", "s5", "l1", "l2", "l3", "l4", "g", "w"})
            put(std::string(n) + ".ppm", PIXEL);
        // Three gates, F = 2 (0 1), N = 3 (0 1 2).
        put("t/timing_gates", "checkpoints:\n5 [1 0 1] [1 0 0]\n5 [2 0 2] [1 0 0]\n"
                              "5 [3 0 3] [1 0 0]\nfirstlap:\n0 1\nnormallap:\n0 1 2\n");
        DataFile* f = data_open("@t/timing_gates", "r");
        gates_read(f);
        data_close(f);
    }
};

TEST_F(FlaggerFile, AllThreeKindsReadWithGateIndicesClamped) {
    put("t/flaggers", FLAGGERS);
    EXPECT_EQ(flaggers_read("@t/flaggers"), 1);
    const StartFlagger& s = g_objects.start_flagger;
    ASSERT_EQ(s.present, 1);
    EXPECT_FLOAT_EQ(s.first[0], 10);
    EXPECT_FLOAT_EQ(s.second[1], 2);
    EXPECT_FLOAT_EQ(s.walk_time, 4);
    EXPECT_EQ(s.textures[4], texture_load("@s5.ppm"));
    const Billboard& sb = g_objects.billboards[s.billboard];
    EXPECT_FLOAT_EQ(sb.x, 10);
    EXPECT_FLOAT_EQ(sb.width, 2);
    EXPECT_FLOAT_EQ(sb.height, 3);
    EXPECT_EQ(sb.texture, s.textures[0]);
    const LapFlagger& l = g_objects.lap_flagger;
    ASSERT_EQ(l.present, 1);
    EXPECT_EQ(l.textures[3], texture_load("@l4.ppm"));
    EXPECT_FLOAT_EQ(g_objects.billboards[l.billboard].width, 1.5f);
    // The third gate flagger lacks its textures: reading stops there.
    ASSERT_EQ(g_objects.gate_flaggers.size(), 2u);
    const GateFlagger& g = g_objects.gate_flaggers[0];
    EXPECT_EQ(g.gates[0], 0);
    EXPECT_EQ(g.gates[1], 1);
    EXPECT_EQ(g.gates[2], 2);
    EXPECT_EQ(g.gates[3], -1);
    EXPECT_EQ(g.normal, texture_load("@g.ppm"));
    EXPECT_EQ(g.warning, texture_load("@w.ppm"));
    EXPECT_EQ(g_objects.billboards.size(), 4u);
}

TEST_F(FlaggerFile, IncompleteStartFlaggerLeavesNone) {
    put("t/flaggers", "[ 10 0 20 ] [ 30 2 40 ] 2 3 4 @s1.ppm @s2.ppm\n");
    flaggers_read("@t/flaggers");
    EXPECT_EQ(g_objects.start_flagger.present, 0);
    EXPECT_EQ(g_objects.lap_flagger.present, 0);
    EXPECT_TRUE(g_objects.billboards.empty());
    EXPECT_EQ(flaggers_read("@t/nothing"), 1);
}

TEST_F(FlaggerFile, UpdatePicksTexturesAndWalksTheStartFlagger) {
    put("t/flaggers", FLAGGERS);
    flaggers_read("@t/flaggers");
    const StartFlagger& s = g_objects.start_flagger;
    // Cue 640: c = 5, walking from t = 6 for 4 s; at t = 7 a quarter of the way.
    flaggers_update(7.0, 640, 0, 1000000, 1000000);
    const Billboard& sb = g_objects.billboards[s.billboard];
    EXPECT_EQ(sb.texture, s.textures[3]);
    EXPECT_FLOAT_EQ(sb.x, 10 + 0.25f * 20);
    EXPECT_FLOAT_EQ(sb.z, 20 + 0.25f * 20);
    EXPECT_FLOAT_EQ(sb.y, 0.25f * 2);
    flaggers_update(5.2, 640, 0, 1000000, 1000000);
    EXPECT_EQ(sb.texture, s.textures[1]);
    EXPECT_FLOAT_EQ(sb.x, 10);
    // Lap board: leader passed 4 gates, F = 2, N = 3: g = (5 - 2) / 3 + 1 = 2; final lap 3.
    const LapFlagger& l = g_objects.lap_flagger;
    flaggers_update(20, 640, 4, 3, 2);
    EXPECT_EQ(g_objects.billboards[l.billboard].texture, l.textures[2]);
    // Gate flaggers: warning while one of their gates is marked.
    const GateFlagger& g0 = g_objects.gate_flaggers[0];
    const GateFlagger& g1 = g_objects.gate_flaggers[1];
    gates_clear_marks();
    gates_mark_position(6); // normal entry (6 - 2) mod 3 = 1: gate 1
    flaggers_update(20, 640, 4, 3, 2);
    EXPECT_EQ(g_objects.billboards[g0.billboard].texture, g0.warning);
    EXPECT_EQ(g_objects.billboards[g1.billboard].texture, g1.normal);
    gates_clear_marks();
    flaggers_update(20, 640, 4, 3, 2);
    EXPECT_EQ(g_objects.billboards[g0.billboard].texture, g0.normal);
}

} // namespace

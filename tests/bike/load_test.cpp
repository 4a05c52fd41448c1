// Loading a bike: with its files missing it still builds and simulates, with warnings;
// texture-named model variants; the plate text and image; freeing.
#include <gtest/gtest.h>
#include <ode/ode.h>

#include <cmath>
#include <string>

#include "core/settings.h"
#include "bike/bike.h"
#include "bike/contact.h"
#include "bike/harness.h"
#include "bike/step.h"
#include "bike/world.h"
#include "data/image.h"
#include "platform/log.h"
#include "support/test_env.h"

#include "data/texture.h"
#include "data/model.h"
#include "data/shape.h"

namespace {

std::string log_path() {
    return test_dir() + "/log.txt";
}

int count(const std::string& text, const std::string& what) {
    int n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) n++;
    return n;
}

// A 2 x 2 raw PPM, written byte by byte.
std::string ppm_2x2() {
    return std::string("P6\n2 2\n255\n") + std::string(12, '\x80');
}

class BikeLoad : public ::testing::Test {
  protected:
    void SetUp() override {
        log_setup(("DRUV_LOGFILE=" + log_path()).c_str());
        // No window in unit tests: the texture manager must not reach GL.
        g_settings.headless = 1;
        bikes_reset();
        physics_open();
    }
    void TearDown() override {
        // The managers' caches outlive the bikes; empty them so each test starts afresh.
        texture_reset();
        model_reset();
        shape_reset();
        g_settings.headless = 0;
        physics_close_contacts();
        physics_close_world();
    }
};

} // namespace

TEST_F(BikeLoad, MissingFilesStillGiveABikeThatSimulates) {
    Bike* b = bike_load("yz250f(2009)", 4, "123456789", nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(b, nullptr);
    std::string log = read_file(log_path());
    // Every shape, every model and every record texture is reported once.
    for (const char* name : {"@generic_frame.shp",
                             "@front_wheel.shp",
                             "@rear_wheel.shp",
                             "@generic_fork_upper.shp",
                             "@generic_fork_lower.shp",
                             "@generic_swingarm.shp",
                             "@generic_rider.shp",
                             "@yz250f_frame.jm",
                             "@yz250f_fork_upper.jm",
                             "@yz250f_fork_lower.jm",
                             "@yz250f_swingarm.jm",
                             "@yz250f_side_plates.jm",
                             "@yz250f_front_plate.jm",
                             "@front_wheel.jm",
                             "@rear_wheel.jm",
                             "@rider_head.jm",
                             "@rider_body.jm",
                             "@rider_body_fp.jm",
                             "@rider_plate.jm",
                             "@yz250f.png",
                             "@wheels.png",
                             "@rider_body.png",
                             "@rider_head.png"}) {
        EXPECT_EQ(count(log, std::string("Warning: Can't load ") + name + "\n"), 1) << name;
    }
    EXPECT_EQ(count(log, "Warning: Can't load "), 23);
    EXPECT_EQ(count(log, "ODE "), 0); // the joint set-up raised no complaint
    for (int i = 0; i < BIKE_MODEL_COUNT; i++) EXPECT_EQ(b->models[i], nullptr);
    for (int i = 0; i < BIKE_BODY_COUNT; i++) EXPECT_EQ(b->shapes[i], nullptr);
    for (int g = 0; g < BIKE_TEX_COUNT; g++) {
        EXPECT_EQ(b->textures[g], 0u);
        EXPECT_EQ(b->texture_names[g], b->info.files.texture[g]);
    }

    // The rest of the load happened: record, plate, tag, defaults, bodies at rest.
    EXPECT_STREQ(bike_name(b), "yz250f(2009)");
    EXPECT_STREQ(bike_plate_text(b), "1234567");
    EXPECT_EQ(b->tag, 4);
    EXPECT_EQ(bike_two_stroke(b), 0);
    EXPECT_EQ(bike_gear(b), 0);
    EXPECT_EQ(bike_crash_countdown(b), 0);
    EXPECT_EQ(b->flags, BIKE_FRONT_ANTILOCK | BIKE_ENDO_CUT);
    EXPECT_FLOAT_EQ(b->setup.final_ratio, 48.0f / 13.0f);
    EXPECT_FLOAT_EQ(b->assists.max_steering_force, 400);
    EXPECT_NEAR(b->total_mass, 12.68625, 1e-5);
    for (dBodyID body : b->bodies) EXPECT_NE(body, nullptr);
    for (dJointID joint : b->joints) EXPECT_NE(joint, nullptr);

    // It simulates: one second of free fall keeps every body finite and together.
    for (int i = 0; i < 128; i++) {
        dWorldStep(g_physics.world, 1.0 / 128);
        dJointGroupEmpty(g_physics.contacts);
    }
    EXPECT_EQ(count(read_file(log_path()), "ODE "), 0);
    const dReal* frame = dBodyGetPosition(b->bodies[BODY_FRAME]);
    EXPECT_NEAR(frame[1], 1.98 - 16, 0.5); // y = -g t^2 / 2 after one second
    for (dBodyID body : b->bodies) {
        const dReal* p = dBodyGetPosition(body);
        EXPECT_TRUE(std::isfinite(p[0]) && std::isfinite(p[1]) && std::isfinite(p[2]));
        EXPECT_LT(fabs(p[1] - frame[1]), 4);
    }
    bike_free(b);
}

TEST_F(BikeLoad, GivenTexturesThatFailFallBackToTheRecord) {
    Bike* b = bike_load("rm125", 1, "12", "@rider_body-alt1.png", "@rider_head-red.png",
                        "@skins/rm125-blue-x.png", "@wheels-gold.png");
    ASSERT_NE(b, nullptr);
    std::string log = read_file(log_path());
    // The warnings name the record's own files, never the variants that were only tried.
    EXPECT_EQ(count(log, "Warning: Can't load @rm125_frame.jm\n"), 1);
    EXPECT_EQ(count(log, "Warning: Can't load @rm125.png\n"), 1);
    EXPECT_EQ(count(log, "-blue"), 0);
    EXPECT_EQ(count(log, "-alt1"), 0);
    EXPECT_EQ(b->texture_names[BIKE_TEX_BIKE], "@rm125.png");
    EXPECT_EQ(b->texture_names[BIKE_TEX_RIDER], "@rider_body.png");
    EXPECT_EQ(b->texture_names[BIKE_TEX_WHEELS], "@wheels.png");
    EXPECT_EQ(b->texture_names[BIKE_TEX_HEAD], "@rider_head.png");
    bike_free(b);
}

TEST_F(BikeLoad, UnknownNameUsesTheFallbackRecord) {
    Bike* b = bike_load("rm125x", 2, "", "", "", "", "");
    ASSERT_NE(b, nullptr);
    EXPECT_STREQ(bike_name(b), "cr125");
    EXPECT_EQ(bike_two_stroke(b), 1);
    EXPECT_STREQ(bike_plate_text(b), "");
    EXPECT_NE(read_file(log_path()).find("bike info for 'rm125x' not found using 'cr125' instead"),
              std::string::npos);
    bike_free(b);
}

TEST_F(BikeLoad, NoWorldNoBike) {
    physics_close_contacts();
    physics_close_world();
    EXPECT_EQ(bike_load("cr125", 1, "1", nullptr, nullptr, nullptr, nullptr), nullptr);
    physics_open();
}

TEST(BikeModelVariants, NamedAfterTheTexture) {
    std::string out[2];
    // Text from the first "-" up to the second goes before the model's extension.
    ASSERT_EQ(bike_model_variants("@yz250f_frame.jm", "@yz250f-blue-x.png", out), 1);
    EXPECT_EQ(out[0], "@yz250f_frame-blue.jm");
    // A texture in a folder also tries the variant's base name in that folder.
    ASSERT_EQ(bike_model_variants("@yz250f_swingarm.jm", "@skins/yz250f-red-1.png", out), 2);
    EXPECT_EQ(out[0], "@yz250f_swingarm-red.jm");
    EXPECT_EQ(out[1], "@skins/yz250f_swingarm-red.jm");
    ASSERT_EQ(bike_model_variants("models/frame.jm", "/home/u/my-skins/kx-green-2.png", out), 2);
    EXPECT_EQ(out[0], "models/frame-green.jm");
    EXPECT_EQ(out[1], "/home/u/my-skins/frame-green.jm");
    // More than two dashes: still the text between the first two.
    ASSERT_EQ(bike_model_variants("@front_wheel.jm", "@wheels-a-b-c.png", out), 1);
    EXPECT_EQ(out[0], "@front_wheel-a.jm");
    // A model name without an extension gets the variant at its end.
    ASSERT_EQ(bike_model_variants("@plate", "@x-y-z.png", out), 1);
    EXPECT_EQ(out[0], "@plate-y");
    // Fewer than two dashes in the texture's file name: no variant (folder dashes don't count).
    EXPECT_EQ(bike_model_variants("@rider_body.jm", "@rider_body-alt1.png", out), 0);
    EXPECT_EQ(bike_model_variants("@rider_body.jm", "@a-b-c/rider.png", out), 0);
    EXPECT_EQ(bike_model_variants("@rider_body.jm", nullptr, out), 0);
}

TEST(BikePlate, NumberOnAWhitePlate) {
    Image img;
    bike_plate_image("", &img);
    ASSERT_EQ(img.width, 128);
    ASSERT_EQ(img.height, 128);
    ASSERT_EQ(img.channels, 3);
    ASSERT_EQ(img.pixels.size(), 128u * 128 * 3);
    for (uint8_t v : img.pixels) ASSERT_EQ(v, 255);

    for (const char* text : {"1", "999", "1234567", "88"}) {
        SCOPED_TRACE(text);
        bike_plate_image(text, &img);
        int x0 = 128, x1 = -1, y0 = 128, y1 = -1, dark = 0;
        for (int y = 0; y < 128; y++) {
            for (int x = 0; x < 128; x++) {
                const uint8_t* p = &img.pixels[(y * 128 + x) * 3];
                if (p[0] == 255 && p[1] == 255 && p[2] == 255) continue;
                EXPECT_EQ(p[0] + p[1] + p[2], 0); // black or white only
                dark++;
                x0 = std::min(x0, x), x1 = std::max(x1, x);
                y0 = std::min(y0, y), y1 = std::max(y1, y);
            }
        }
        EXPECT_GT(dark, 0);
        // Centred (an "8" fills its whole cell), with a margin of at least 4 pixels.
        if (std::string(text) == "88") {
            EXPECT_LE(std::abs(x0 - (127 - x1)), 1);
            EXPECT_LE(std::abs(y0 - (127 - y1)), 1);
        }
        EXPECT_GE(x0, 4);
        EXPECT_LE(x1, 123);
        EXPECT_GE(y0, 4);
        EXPECT_LE(y1, 123);
    }
    // A wider number uses smaller digits.
    bike_plate_image("8", &img);
    int one = 0;
    for (size_t i = 0; i < img.pixels.size(); i += 3) one += img.pixels[i] == 0;
    bike_plate_image("8888888", &img);
    int seven = 0;
    for (size_t i = 0; i < img.pixels.size(); i += 3) seven += img.pixels[i] == 0;
    EXPECT_LT(seven, 7 * one);
}

TEST_F(BikeLoad, TexturesAndTheirMapsFromTheRecordsFiles) {
    std::string game = test_game_dir() + "/";
    write_file(game + "skins/yz250f-blue-x.png", ppm_2x2());
    write_file(game + "yz250f.png", ppm_2x2());
    write_file(game + "yz250f_norm.ppm", ppm_2x2());
    write_file(game + "yz250f_spec.ppm", ppm_2x2());
    write_file(game + "wheels.png", ppm_2x2());
    write_file(game + "wheels-gold.png", ppm_2x2());

    Bike* b = bike_load("yz250f(2009)", 1, "5", nullptr, nullptr, "@skins/yz250f-blue-x.png",
                        "@wheels-gold.png");
    ASSERT_NE(b, nullptr);
    // The given textures load, but without their groups' main models the record's own
    // texture is used.
    EXPECT_EQ(b->texture_names[BIKE_TEX_BIKE], "@yz250f.png");
    EXPECT_NE(b->textures[BIKE_TEX_BIKE], 0u);
    EXPECT_EQ(b->texture_names[BIKE_TEX_WHEELS], "@wheels.png");
    EXPECT_NE(b->textures[BIKE_TEX_WHEELS], 0u);
    EXPECT_NE(b->normal_maps[BIKE_TEX_BIKE], 0u);
    EXPECT_NE(b->specular_maps[BIKE_TEX_BIKE], 0u);
    EXPECT_NE(b->normal_maps[BIKE_TEX_BIKE], b->specular_maps[BIKE_TEX_BIKE]);
    EXPECT_EQ(b->normal_maps[BIKE_TEX_WHEELS], 0u);
    EXPECT_EQ(b->textures[BIKE_TEX_RIDER], 0u);
    std::string log = read_file(log_path());
    EXPECT_EQ(count(log, "Warning: Can't load @yz250f.png"), 0);
    EXPECT_EQ(count(log, "Warning: Can't load @wheels.png"), 0);
    EXPECT_EQ(count(log, "Warning: Can't load @rider_body.png\n"), 1);
    bike_free(b);

    // The renderer's shading level rules the maps out: normal maps need 2, specular maps 3.
    g_bikes.shading_level = 2;
    b = bike_load("yz250f(2009)", 1, "5", nullptr, nullptr, nullptr, nullptr);
    EXPECT_NE(b->normal_maps[BIKE_TEX_BIKE], 0u);
    EXPECT_EQ(b->specular_maps[BIKE_TEX_BIKE], 0u);
    bike_free(b);
    g_bikes.shading_level = 1;
    b = bike_load("yz250f(2009)", 1, "5", nullptr, nullptr, nullptr, nullptr);
    EXPECT_EQ(b->normal_maps[BIKE_TEX_BIKE], 0u);
    bike_free(b);
}

TEST_F(BikeLoad, PlateTexturesAreSharedPerNumber) {
    Bike* a = bike_load("cr125", 1, "12", nullptr, nullptr, nullptr, nullptr);
    Bike* b = bike_load("kx125", 2, "12", nullptr, nullptr, nullptr, nullptr);
    Bike* c = bike_load("kx125", 3, "13", nullptr, nullptr, nullptr, nullptr);
    EXPECT_NE(a->plate_texture, 0u);
    EXPECT_EQ(a->plate_texture, b->plate_texture);
    EXPECT_NE(a->plate_texture, c->plate_texture);
    EXPECT_NE(c->plate_texture, 0u);
    bike_free(a);
    bike_free(b);
    bike_free(c);
}

// A one-triangle "JM" version 1 model and a one-sphere shape file.
static std::string jm_triangle() {
    return "JM1\n32 1 1 1 1 3 1\n"
           "0 0 0 0 1 0 0 0\n1 0 0 0 1 0 1 0\n0 0 1 0 1 0 0 1\n"
           "0 1 2\n";
}
static std::string shape_one_sphere() {
    return "1\n0 0.25 0 0.5 1 2500 250\n";
}

TEST_F(BikeLoad, ModelVariantsFollowTheGivenTexture) {
    std::string game = test_game_dir() + "/";
    write_file(game + "skins/yz250f-blue-x.png", ppm_2x2());
    write_file(game + "yz250f_frame-blue.jm", jm_triangle());          // variant
    write_file(game + "yz250f_frame.jm", jm_triangle());               // not used
    write_file(game + "skins/yz250f_swingarm-blue.jm", jm_triangle()); // folder variant
    write_file(game + "yz250f_fork_upper.jm", jm_triangle());          // plain only
    write_file(game + "yz250f_fork_lower.jm", jm_triangle());
    write_file(game + "yz250f_front_plate.jm", jm_triangle());
    write_file(game + "generic_frame.shp", shape_one_sphere());
    write_file(game + "rear_wheel.shp", shape_one_sphere());

    Bike* b =
        bike_load("yz250f(2008)", 1, "5", nullptr, nullptr, "@skins/yz250f-blue-x.png", nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->texture_names[BIKE_TEX_BIKE], "@skins/yz250f-blue-x.png");
    EXPECT_NE(b->textures[BIKE_TEX_BIKE], 0u);
    ASSERT_NE(b->models[BIKE_MODEL_FRAME], nullptr);
    EXPECT_EQ(b->models[BIKE_MODEL_FRAME]->name, "@yz250f_frame-blue.jm");
    ASSERT_NE(b->models[BIKE_MODEL_SWINGARM], nullptr);
    EXPECT_EQ(b->models[BIKE_MODEL_SWINGARM]->name, "@skins/yz250f_swingarm-blue.jm");
    ASSERT_NE(b->models[BIKE_MODEL_FORK_UPPER], nullptr);
    EXPECT_EQ(b->models[BIKE_MODEL_FORK_UPPER]->name, "@yz250f_fork_upper.jm");
    EXPECT_EQ(b->models[BIKE_MODEL_SIDE_PLATES], nullptr);
    std::string log = read_file(log_path());
    EXPECT_EQ(count(log, "Warning: Can't load @skins/yz250f_side_plates-blue.jm or "
                         "@yz250f_side_plates.jm\n"),
              1);
    EXPECT_EQ(count(log, "Warning: Can't load @yz250f_frame.jm"), 0);

    // Shapes are private copies of the cached ones; the missing ones are reported.
    ASSERT_NE(b->shapes[BODY_FRAME], nullptr);
    ASSERT_NE(b->shapes[BODY_REAR_WHEEL], nullptr);
    EXPECT_EQ(b->shapes[BODY_FRAME]->source, shape_get("@generic_frame.shp"));
    EXPECT_NE(b->shapes[BODY_FRAME], shape_get("@generic_frame.shp"));
    EXPECT_EQ(b->shapes[BODY_FRAME]->count, 1);
    EXPECT_FLOAT_EQ(b->shapes[BODY_FRAME]->spheres[0].radius, 0.5f);
    EXPECT_EQ(b->shapes[BODY_RIDER], nullptr);
    EXPECT_EQ(count(log, "Warning: Can't load @generic_rider.shp\n"), 1);
    EXPECT_EQ(count(log, "Warning: Can't load @generic_frame.shp"), 0);
    bike_free(b);
}

TEST_F(BikeLoad, MissingMainModelFallsBackToTheRecordsTextureAndModels) {
    std::string game = test_game_dir() + "/";
    write_file(game + "kx125-blue-x.png", ppm_2x2());
    write_file(game + "kx125.png", ppm_2x2());
    write_file(game + "kx125_fork_upper-blue.jm", jm_triangle());
    write_file(game + "kx125_fork_upper.jm", jm_triangle());
    write_file(game + "rider_body-red-1.png", ppm_2x2());
    write_file(game + "rider_body-red.jm", jm_triangle());
    write_file(game + "rider_plate-red.jm", jm_triangle());

    Bike* b =
        bike_load("kx125", 1, "5", "@rider_body-red-1.png", nullptr, "@kx125-blue-x.png", nullptr);
    ASSERT_NE(b, nullptr);
    // No frame model at all: the group goes back to the record's texture and plain models.
    EXPECT_EQ(b->texture_names[BIKE_TEX_BIKE], "@kx125.png");
    ASSERT_NE(b->models[BIKE_MODEL_FORK_UPPER], nullptr);
    EXPECT_EQ(b->models[BIKE_MODEL_FORK_UPPER]->name, "@kx125_fork_upper.jm");
    // The rider's group keeps its texture and variants: its body model loaded.
    EXPECT_EQ(b->texture_names[BIKE_TEX_RIDER], "@rider_body-red-1.png");
    ASSERT_NE(b->models[BIKE_MODEL_RIDER_BODY], nullptr);
    EXPECT_EQ(b->models[BIKE_MODEL_RIDER_BODY]->name, "@rider_body-red.jm");
    EXPECT_EQ(b->models[BIKE_MODEL_RIDER_PLATE]->name, "@rider_plate-red.jm");
    EXPECT_EQ(b->models[BIKE_MODEL_RIDER_BODY_FP], nullptr);
    std::string log = read_file(log_path());
    EXPECT_EQ(count(log, "Warning: Can't load @kx125_frame.jm\n"), 1);
    EXPECT_EQ(count(log, "Warning: Can't load @rider_body_fp.jm\n"), 1);
    EXPECT_EQ(count(log, "Warning: Can't load @rider_body.png"), 0);
    bike_free(b);
}

// Every file of a "crf250(2009)" written small, except the rider's shape, the swingarm model
// and the wheel texture: exactly those three are reported, the rest is there, and the bike
// rides on a flat field; only the rider body has no contact with the ground.
TEST_F(BikeLoad, SomeFilesMissingLoseOnlyTheirPart) {
    std::string game = test_game_dir() + "/";
    for (const char* shape : {"generic_frame", "generic_fork_upper", "generic_fork_lower",
                              "generic_swingarm", "front_wheel", "rear_wheel"})
        write_file(game + shape + ".shp", shape_one_sphere());
    for (const char* model :
         {"crf250_frame", "crf250_fork_upper", "crf250_fork_lower", "crf250_side_plates",
          "crf250_front_plate", "front_wheel", "rear_wheel", "rider_head", "rider_body",
          "rider_body_fp", "rider_plate"})
        write_file(game + model + ".jm", jm_triangle());
    for (const char* texture : {"crf250", "rider_body", "rider_head"})
        write_file(game + texture + ".png", ppm_2x2());

    harness_open();
    ASSERT_EQ(harness_flat_track(512), 1);
    Bike* b = harness_add_bike("crf250(2009)", 256, 256, 0);
    ASSERT_NE(b, nullptr);
    std::string log = read_file(log_path());
    EXPECT_EQ(count(log, "Warning: Can't load @generic_rider.shp\n"), 1);
    EXPECT_EQ(count(log, "Warning: Can't load @crf250_swingarm.jm\n"), 1);
    EXPECT_EQ(count(log, "Warning: Can't load @wheels.png\n"), 1);
    EXPECT_EQ(count(log, "Warning: Can't load "), 3) << log;
    for (int i = 0; i < BIKE_BODY_COUNT; i++)
        EXPECT_EQ(b->shapes[i] == nullptr, i == BODY_RIDER) << i;
    for (int i = 0; i < BIKE_MODEL_COUNT; i++)
        EXPECT_EQ(b->models[i] == nullptr, i == BIKE_MODEL_SWINGARM) << i;
    for (int g = 0; g < BIKE_TEX_COUNT; g++)
        EXPECT_EQ(b->textures[g] == 0, g == BIKE_TEX_WHEELS) << g;
    EXPECT_EQ(b->texture_names[BIKE_TEX_WHEELS], "@wheels.png");

    // It stands on its tyres and rides off under throttle.
    harness_run(256);
    EXPECT_GT(b->wheels[0].depth, 0);
    EXPECT_GT(b->wheels[1].depth, 0);
    EXPECT_EQ(b->crash_countdown, 0);
    bike_set_clutch(b, 1);
    bike_set_throttle(b, 0.5f);
    harness_run(256);
    EXPECT_GT(bike_speed_mph(b), 5);
    for (dBodyID body : b->bodies) {
        const dReal* p = dBodyGetPosition(body);
        EXPECT_TRUE(std::isfinite(p[0]) && std::isfinite(p[1]) && std::isfinite(p[2]));
    }

    // Upside down with the frame's origin lifted 4 feet: the rider body's centre lies half a
    // foot underground (4 - 4.5) while the lowest sphere of the others, the steering body's
    // (4 - 2.9 - 0.25 - 0.5), is 0.35 above the ground and the tyres (4 - 1.09 - 1.166667)
    // are clear. Nothing touches. Half a foot lower the steering sphere reaches in.
    const float axis[3] = {0, 0, 1};
    bike_reset(b);
    bike_rotate(b, axis, (float)M_PI);
    bike_translate(b, 256, 4, 256);
    EXPECT_FALSE(bike_ground_test(b));
    EXPECT_EQ(bike_ground_contacts(b), 0);
    bike_translate(b, 0, -0.5f, 0);
    EXPECT_TRUE(bike_ground_test(b));
    EXPECT_EQ(bike_ground_contacts(b), 1);
    dJointGroupEmpty(g_physics.contacts);
    harness_close();
}

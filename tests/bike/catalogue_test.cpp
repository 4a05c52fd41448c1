// The bike catalogue against its tables: names, gearing as tooth quotients, masses, torque
// curves, files, skeleton, and the name fallback with its log line.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>

#include "bike/bike.h"
#include "platform/log.h"
#include "support/test_env.h"

namespace {

const char* const NAMES[BIKE_INFO_COUNT] = {
    "crf250(2009)", "kx250f(2009)", "rmz250(2009)",   "yz250f(2009)", "crf250(2008)",
    "kx250f(2008)", "rmz250(2008)", "yz250f(2008)",   "cr125",        "kx125",
    "rm125",        "yz125",        "125sx",          "crf250(2007)", "kx250f(2007)",
    "rmz250(2007)", "yz250f(2007)", "yz250f_se(2006)"};

// Gearing columns as printed in the catalogue table (six significant digits).
struct GearRow {
    const char* primary;
    int front, rear;
    const char* gears[6];
};
const GearRow GEARS[BIKE_INFO_COUNT] = {
    {"3.16667", 13, 51, {"2.14286", "1.75", "1.45", "1.22727", "1.04167", "-1"}},
    {"3.35", 13, 48, {"2.14286", "1.78571", "1.44444", "1.2", "1.05263", "-1"}},
    {"3.21053", 13, 48, {"2.15385", "1.76471", "1.47059", "1.2381", "1.09091", "-1"}},
    {"3.35294", 13, 48, {"2.14286", "1.75", "1.45", "1.22727", "1.04167", "-1"}},
    {"3.16667", 13, 51, {"2.14286", "1.75", "1.45", "1.22727", "1.04167", "-1"}},
    {"3.35", 13, 48, {"2.14286", "1.78571", "1.44444", "1.2", "1.05263", "-1"}},
    {"3.21053", 13, 48, {"2.15385", "1.76471", "1.47059", "1.2381", "1.09091", "-1"}},
    {"3.35294", 13, 48, {"2.14286", "1.75", "1.45", "1.22727", "1.04167", "-1"}},
    {"3.15", 13, 52, {"2.35714", "1.86667", "1.57895", "1.29412", "1.13333", "-1"}},
    {"3.2", 13, 51, {"2.38462", "1.85714", "1.52941", "1.29412", "1.125", "1"}},
    {"3.36842", 12, 50, {"2.07143", "1.6875", "1.44444", "1.2", "1.05263", "0.95"}},
    {"3.36842", 13, 48, {"2.38462", "1.93333", "1.58824", "1.35294", "1.2", "1.09524"}},
    {"3.04348", 13, 50, {"2.46154", "2", "1.64706", "1.4", "1.21053", "1.09091"}},
    {"3.16667", 13, 51, {"2.14286", "1.75", "1.45", "1.22727", "1.04167", "-1"}},
    {"3.35", 13, 48, {"2.14286", "1.78571", "1.44444", "1.2", "1.05263", "-1"}},
    {"3.21053", 13, 48, {"2.15385", "1.76471", "1.47059", "1.2381", "1.09091", "-1"}},
    {"3.35294", 13, 48, {"2.14286", "1.75", "1.45", "1.22727", "1.04167", "-1"}},
    {"3.35294", 13, 48, {"2.14286", "1.75", "1.45", "1.22727", "1.04167", "-1"}},
};

std::string six_digits(float v) {
    char text[32];
    snprintf(text, sizeof text, "%.6g", v);
    return text;
}

// True when v is exactly the single-precision quotient of two tooth counts below 100.
bool is_tooth_quotient(float v) {
    for (int b = 1; b < 100; b++)
        for (int a = 1; a < 100; a++)
            if ((float)a / (float)b == v) return true;
    return false;
}

std::string read_log() {
    return read_file(test_dir() + "/log.txt");
}
void open_log() {
    log_setup(("DRUV_LOGFILE=" + test_dir() + "/log.txt").c_str());
}

} // namespace

TEST(BikeCatalogue, RecordsInOrderWithTheirNames) {
    for (int i = 0; i < BIKE_INFO_COUNT; i++) {
        ASSERT_NE(bike_info_at(i), nullptr);
        EXPECT_STREQ(bike_info_at(i)->name, NAMES[i]);
    }
    EXPECT_EQ(bike_info_at(-1), nullptr);
    EXPECT_EQ(bike_info_at(BIKE_INFO_COUNT), nullptr);
}

TEST(BikeCatalogue, GearingIsToothQuotientsMatchingTheTable) {
    for (int i = 0; i < BIKE_INFO_COUNT; i++) {
        const BikeInfo* b = bike_info_at(i);
        SCOPED_TRACE(b->name);
        EXPECT_EQ(six_digits(b->primary_ratio), GEARS[i].primary);
        EXPECT_TRUE(is_tooth_quotient(b->primary_ratio));
        EXPECT_EQ(b->front_sprocket, (float)GEARS[i].front);
        EXPECT_EQ(b->rear_sprocket, (float)GEARS[i].rear);
        for (int g = 0; g < 6; g++) {
            EXPECT_EQ(six_digits(b->gear_ratio[g]), GEARS[i].gears[g]) << "gear " << g + 1;
            if (b->gear_ratio[g] > 0) {
                EXPECT_TRUE(is_tooth_quotient(b->gear_ratio[g]));
            }
        }
    }
    // The examples the table gives.
    EXPECT_EQ(bike_info_at(0)->gear_ratio[0], 30.0f / 14.0f);
    EXPECT_EQ(bike_info_at(3)->primary_ratio, 57.0f / 17.0f);
    EXPECT_EQ(bike_info_at(3)->gear_ratio[4], 25.0f / 24.0f);
}

TEST(BikeCatalogue, SharedGeometryAndModelMasses) {
    for (int i = 0; i < BIKE_INFO_COUNT; i++) {
        const BikeInfo* b = bike_info_at(i);
        SCOPED_TRACE(b->name);
        bool is125 = i >= 8 && i <= 12;
        EXPECT_EQ(b->two_stroke, is125 ? 1 : 0);
        EXPECT_FLOAT_EQ(b->frame_mass, is125 ? 3.65375f : 4.24f);
        EXPECT_FLOAT_EQ(b->fork_mass, is125 ? 0.7396875f : 0.703125f);
        EXPECT_FLOAT_EQ(b->swingarm_mass, is125 ? 0.541875f : 0.504375f);
        EXPECT_FLOAT_EQ(b->shift_down_rpm, is125 ? 9400.0f : 8000.0f);
        EXPECT_FLOAT_EQ(b->shift_up_rpm, is125 ? 12000.0f : 12500.0f);
        // Tyre outer radii: torus + tube.
        EXPECT_NEAR(b->front_wheel.torus_radius + b->front_wheel.tube_radius, 1.166667, 1e-6);
        EXPECT_NEAR(b->rear_wheel.torus_radius + b->rear_wheel.tube_radius, 1.083333, 1e-6);
        EXPECT_FLOAT_EQ(b->front_wheel.tyre_mass + b->front_wheel.hub_mass, 0.5625f);
        EXPECT_FLOAT_EQ(b->rear_wheel.tyre_mass + b->rear_wheel.hub_mass, 0.78125f);
        EXPECT_FLOAT_EQ(b->front_wheel.position[2], 1.11f);
        EXPECT_FLOAT_EQ(b->rear_wheel.position[1], 1.04f);
        EXPECT_FLOAT_EQ(b->frame_position[1], 1.98f);
        EXPECT_FLOAT_EQ(b->steering_position[2], 2.16f);
        EXPECT_FLOAT_EQ(b->swingarm_pivot[2], 4.17f);
        EXPECT_FLOAT_EQ(b->fork_lower_position[1], 1.77f);
        EXPECT_FLOAT_EQ(b->fork_spring_min, 510.6964f);
        EXPECT_FLOAT_EQ(b->shock_spring_max, 4031.814f);
        EXPECT_FLOAT_EQ(b->fork_oil_min, 0.416667f);
        EXPECT_FLOAT_EQ(b->fork_oil_max, 0.25f);
        EXPECT_FLOAT_EQ(b->fork_travel, 1.0f);
        EXPECT_FLOAT_EQ(b->swingarm_travel, 0.55f);
        EXPECT_FLOAT_EQ(b->shock_preload_max, 0.0275f);
        EXPECT_EQ(b->engine_inertia, 5.0f / 1024.0f);
        EXPECT_FLOAT_EQ(b->rider_mass, 150.0f / 32.0f); // 150 pounds
        EXPECT_FLOAT_EQ(b->rider_position[1], 4.5f);
        // The 250s weigh 12.68625 slugs in all: frame, rider, two wheels, two fork bodies
        // and two swingarm arms.
        float total = b->frame_mass + b->rider_mass + 0.5625f + 0.78125f + 2 * b->fork_mass +
                      2 * b->swingarm_mass;
        if (!is125) {
            EXPECT_NEAR(total, 12.68625, 1e-5);
        }
    }
}

TEST(BikeCatalogue, ClosedThrottleTorque) {
    for (int i = 0; i < BIKE_INFO_COUNT; i++) {
        const BikeInfo* b = bike_info_at(i);
        SCOPED_TRACE(b->name);
        for (int e = 0; e < BIKE_TORQUE_ENTRIES; e++) {
            float four_stroke = e < 2 ? (float)(2 - e) : -std::floor((e - 2) / 2.0f);
            if (!b->two_stroke || e >= 22) {
                EXPECT_EQ(b->closed_torque[e], four_stroke) << e;
            }
        }
        EXPECT_EQ(b->closed_torque[48], -23.0f);
        EXPECT_EQ(b->closed_torque[49], -23.0f);
    }
    const float low125[22] = {2,     1,  0,      0,     -1,     -1.2f, -1.4f,  -1.6f,
                              -1.8f, -2, -2.25f, -2.5f, -2.75f, -3,    -3.33f, -3.67f,
                              -4,    -5, -6,     -7,    -8,     -9};
    for (int i = 8; i <= 12; i++)
        for (int e = 0; e < 22; e++) EXPECT_EQ(bike_info_at(i)->closed_torque[e], low125[e]);
}

TEST(BikeCatalogue, OpenThrottleTorque) {
    for (int i = 0; i < BIKE_INFO_COUNT; i++) {
        const BikeInfo* b = bike_info_at(i);
        SCOPED_TRACE(b->name);
        for (int e = 0; e < 5; e++) EXPECT_EQ(b->open_torque[e], 5.0f);
        const float tail[21] = {-1, -2, -2, -3, -3, -4, -4,  -5,  -5,  -6, -6,
                                -7, -7, -8, -8, -9, -9, -10, -10, -11, -11};
        for (int e = 29; e < 50; e++) EXPECT_EQ(b->open_torque[e], tail[e - 29]) << e;
    }
    // Spot checks of the per-record columns (entry 5 + k is the k-th listed value).
    EXPECT_EQ(bike_info_at(0)->open_torque[5], 6.4f);
    EXPECT_EQ(bike_info_at(0)->open_torque[5 + 11], 20.27f);
    EXPECT_EQ(bike_info_at(0)->open_torque[28], 0.0f);
    EXPECT_EQ(bike_info_at(1)->open_torque[5 + 6], 13.72f);
    EXPECT_EQ(bike_info_at(2)->open_torque[5 + 22], 13.23f);
    EXPECT_EQ(bike_info_at(4)->open_torque[27], 0.0f);
    EXPECT_EQ(bike_info_at(4)->open_torque[28], -1.0f);
    EXPECT_EQ(bike_info_at(8)->open_torque[5 + 5], 9.4538f);
    EXPECT_EQ(bike_info_at(9)->open_torque[5 + 20], 5.50421f);
    EXPECT_EQ(bike_info_at(10)->open_torque[5 + 22], 4.2795f);
    EXPECT_EQ(bike_info_at(12)->open_torque[5 + 7], 8.14077f);
    EXPECT_EQ(bike_info_at(13)->open_torque[5 + 11], 19.0f);
    EXPECT_EQ(bike_info_at(15)->open_torque[5 + 1], 8.0f);
    for (int e = 0; e < 50; e++)
        EXPECT_EQ(bike_info_at(16)->open_torque[e], bike_info_at(17)->open_torque[e]);
}

TEST(BikeCatalogue, FilesPerModelStem) {
    const BikeInfo* rm = bike_info_at(10);
    EXPECT_STREQ(rm->files.model[BIKE_MODEL_FRAME], "@rm125_frame.jm");
    EXPECT_STREQ(rm->files.model[BIKE_MODEL_FORK_UPPER], "@rm125_fork_upper.jm");
    EXPECT_STREQ(rm->files.model[BIKE_MODEL_FORK_LOWER], "@rm125_fork_lower.jm");
    EXPECT_STREQ(rm->files.model[BIKE_MODEL_SWINGARM], "@rm125_swingarm.jm");
    EXPECT_STREQ(rm->files.model[BIKE_MODEL_SIDE_PLATES], "@rm125_side_plates.jm");
    EXPECT_STREQ(rm->files.model[BIKE_MODEL_FRONT_PLATE], "@rm125_front_plate.jm");
    EXPECT_STREQ(rm->files.texture[BIKE_TEX_BIKE], "@rm125.png");
    EXPECT_STREQ(bike_info_at(12)->files.model[BIKE_MODEL_FRAME], "@125sx_frame.jm");
    EXPECT_STREQ(bike_info_at(13)->files.model[BIKE_MODEL_SWINGARM], "@crf250_swingarm.jm");
    EXPECT_STREQ(bike_info_at(6)->files.texture[BIKE_TEX_BIKE], "@rmz250.png");
    // The special edition uses the yz250f models with a texture of its own.
    const BikeInfo* se = bike_info_at(17);
    EXPECT_STREQ(se->files.model[BIKE_MODEL_FRAME], "@yz250f_frame.jm");
    EXPECT_STREQ(se->files.texture[BIKE_TEX_BIKE], "@yz250f_se.png");
    for (int i = 0; i < BIKE_INFO_COUNT; i++) {
        const BikeFiles& f = bike_info_at(i)->files;
        EXPECT_STREQ(f.model[BIKE_MODEL_FRONT_WHEEL], "@front_wheel.jm");
        EXPECT_STREQ(f.model[BIKE_MODEL_REAR_WHEEL], "@rear_wheel.jm");
        EXPECT_STREQ(f.model[BIKE_MODEL_RIDER_HEAD], "@rider_head.jm");
        EXPECT_STREQ(f.model[BIKE_MODEL_RIDER_BODY], "@rider_body.jm");
        EXPECT_STREQ(f.model[BIKE_MODEL_RIDER_BODY_FP], "@rider_body_fp.jm");
        EXPECT_STREQ(f.model[BIKE_MODEL_RIDER_PLATE], "@rider_plate.jm");
        EXPECT_STREQ(f.shape[BODY_FRAME], "@generic_frame.shp");
        EXPECT_STREQ(f.shape[BODY_STEERING], "@generic_fork_upper.shp");
        EXPECT_STREQ(f.shape[BODY_FORK_LOWER], "@generic_fork_lower.shp");
        EXPECT_STREQ(f.shape[BODY_SWINGARM], "@generic_swingarm.shp");
        EXPECT_STREQ(f.shape[BODY_FRONT_WHEEL], "@front_wheel.shp");
        EXPECT_STREQ(f.shape[BODY_REAR_WHEEL], "@rear_wheel.shp");
        EXPECT_STREQ(f.shape[BODY_RIDER], "@generic_rider.shp");
        EXPECT_STREQ(f.texture[BIKE_TEX_WHEELS], "@wheels.png");
        EXPECT_STREQ(f.texture[BIKE_TEX_RIDER], "@rider_body.png");
        EXPECT_STREQ(f.texture[BIKE_TEX_HEAD], "@rider_head.png");
    }
}

TEST(BikeCatalogue, RiderSkeleton) {
    const RiderSkeleton& s = bike_info_at(5)->skeleton;
    EXPECT_FLOAT_EQ(s.neck[1], 0.808383f);
    EXPECT_FLOAT_EQ(s.neck[2], -0.943369f);
    EXPECT_FLOAT_EQ(s.shoulder[0][0], -0.556f); // left is toward -x
    EXPECT_FLOAT_EQ(s.shoulder[1][0], 0.556f);
    EXPECT_FLOAT_EQ(s.shoulder[1][2], -0.654514f);
    EXPECT_FLOAT_EQ(s.hip[0][0], -0.269f);
    EXPECT_FLOAT_EQ(s.hip[1][1], -0.570887f);
    EXPECT_FLOAT_EQ(s.grip[0][0], -1.097f);
    EXPECT_FLOAT_EQ(s.grip[1][1], 1.145f);
    EXPECT_FLOAT_EQ(s.grip[1][2], 0.753f);
    EXPECT_FLOAT_EQ(s.peg[1][0], 0.6f);
    EXPECT_FLOAT_EQ(s.peg[0][1], -0.557f);
    EXPECT_FLOAT_EQ(s.arm[0] + s.arm[1], 2.05f);
    EXPECT_FLOAT_EQ(s.leg[0], 1.328f);
    EXPECT_FLOAT_EQ(s.leg[1], 1.701f);
}

TEST(BikeCatalogue, FindExactAndFallback) {
    open_log();
    EXPECT_STREQ(bike_info_find("rm125")->name, "rm125");
    EXPECT_STREQ(bike_info_find("yz250f_se(2006)")->name, "yz250f_se(2006)");
    EXPECT_EQ(read_log().find("not found"), std::string::npos);

    // No record bears this name; no "125" in it, so the first name containing "250f".
    EXPECT_STREQ(bike_info_find("yz250f(2006)")->name, "kx250f(2009)");
    EXPECT_STREQ(bike_info_find("rm125x")->name, "cr125");
    EXPECT_STREQ(bike_info_find("")->name, "kx250f(2009)");
    EXPECT_STREQ(bike_info_find(nullptr)->name, "kx250f(2009)");
    std::string log = read_log();
    EXPECT_NE(log.find("bike info for 'yz250f(2006)' not found using 'kx250f(2009)' instead\n"),
              std::string::npos);
    EXPECT_NE(log.find("bike info for 'rm125x' not found using 'cr125' instead\n"),
              std::string::npos);
    // Names are cut to 20 characters in the line.
    bike_info_find("a_very_long_bike_name_indeed_125");
    EXPECT_NE(read_log().find("bike info for 'a_very_long_bike_nam' not found using 'cr125'"),
              std::string::npos);
}

TEST(BikeCatalogue, AliasesAndTexturePrefix) {
    EXPECT_STREQ(bike_name_alias("kx250f"), "kx250f(2008)");
    EXPECT_STREQ(bike_name_alias("crf250"), "crf250(2008)");
    EXPECT_STREQ(bike_name_alias("rmz250"), "rmz250(2008)");
    EXPECT_STREQ(bike_name_alias("yz250f"), "yz250f(2008)");
    EXPECT_STREQ(bike_name_alias("yz250f(2007)"), "yz250f(2007)");
    EXPECT_EQ(bike_texture_prefix(bike_info_at(17)), "yz250f_se-");
    EXPECT_EQ(bike_texture_prefix(bike_info_at(8)), "cr125-");
}

// Bike setup: defaults, the mapping of every configuration value, and the menu's formats.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "core/config.h"
#include "bike/bike.h"
#include "support/test_env.h"

namespace {

const double PI = 3.14159265358979323846;

void set_choice(Choice& c, std::vector<const char*> options, const char* value) {
    c.options = options;
    c.current = 0;
    for (size_t i = 0; i < options.size(); i++)
        if (std::string(options[i]) == value) c.current = (int)i;
}

// The configuration's stored defaults, set here so the test does not depend on them.
void config_menu_defaults() {
    Config& c = g_config;
    c.leveling.value = 20;
    c.roll_damping.value = 60;
    c.roll_limit_angle.value = 45;
    c.roll_limit_factor.value = 10;
    c.steering_damping.value = 45;
    c.steering_strength.value = 75;
    c.max_steering_force.value = 400;
    c.direct_steering.value = 1;
    c.slow_damping_speed.value = 40;
    c.slow_damping_factor.value = 2;
    c.land_damping_falloff.value = 0.25;
    c.land_damping_factor.value = 2;
    set_choice(c.arcade, {"No", "Yes"}, "Yes");
    set_choice(c.front_brake, {"Normal", "Antilock"}, "Antilock");
    set_choice(c.rear_brake, {"Normal", "Antilock"}, "Normal");
    set_choice(c.stop_wheelies, {"No", "Yes", "Front Only"}, "No");
    set_choice(c.auto_shift, {"No", "Yes"}, "Yes");
    set_choice(c.auto_dab, {"No", "Yes"}, "Yes");
    c.auto_clutch_rpms.value = 5000;
    c.brake_torque.value = 250;
    c.rear_brake_torque.value = 250;
    c.max_dab_speed.value = 20;
    c.front_sprocket_adjustment.value = 0;
    c.rear_sprocket_adjustment.value = 0;
    for (Slider* s :
         {&c.fork_compression_adjustment, &c.fork_rebound_adjustment,
          &c.fork_spring_rate_adjustment, &c.fork_preload_adjustment, &c.fork_oil_level_adjustment,
          &c.shock_compression_adjustment, &c.shock_rebound_adjustment,
          &c.shock_spring_rate_adjustment, &c.shock_preload_adjustment, &c.rider_yspring,
          &c.rider_ydamping, &c.rider_zspring, &c.rider_zdamping})
        s->value = 50;
    c.rider_mass_distribution.value = 0.33;
    g_bikes.arcade_blocked = 0;
}

// A bike record without bodies: enough for the setup mapping.
Bike* bare_bike(int record) {
    Bike* b = new Bike{};
    b->info = *bike_info_at(record);
    bike_setup_defaults(b);
    return b;
}

} // namespace

TEST(BikeSetup, DefaultsAfterLoad) {
    Bike* b = bare_bike(0); // crf250(2009): 13 / 51
    EXPECT_FLOAT_EQ(b->setup.final_ratio, 51.0f / 13.0f);
    EXPECT_FLOAT_EQ(b->setup.fork_compression, 60);
    EXPECT_FLOAT_EQ(b->setup.fork_rebound, 30);
    EXPECT_FLOAT_EQ(b->setup.fork_spring, (510.6964f + 698.8477f) / 2);
    EXPECT_FLOAT_EQ(b->setup.fork_preload, 0.083333f / 2);
    EXPECT_FLOAT_EQ(b->setup.fork_oil, 0.416667f);
    EXPECT_FLOAT_EQ(b->setup.shock_compression, 800);
    EXPECT_FLOAT_EQ(b->setup.shock_rebound, 600);
    EXPECT_FLOAT_EQ(b->setup.shock_spring, (2217.4976f + 4031.814f) / 2);
    EXPECT_FLOAT_EQ(b->setup.shock_preload, 0.0275f / 2);
    EXPECT_FLOAT_EQ(b->setup.rider_vertical_spring, 0.5f);
    EXPECT_FLOAT_EQ(b->setup.rider_forward_damping, 0.5f);
    EXPECT_FLOAT_EQ(b->assists.leveling, 20);
    EXPECT_FLOAT_EQ(b->assists.roll_damping, 60);
    EXPECT_FLOAT_EQ(b->assists.roll_limit_angle, (float)(PI / 4));
    EXPECT_FLOAT_EQ(b->assists.roll_limit_factor, 10);
    EXPECT_FLOAT_EQ(b->assists.steering_damping, 45);
    EXPECT_FLOAT_EQ(b->assists.steering_strength, 75);
    EXPECT_FLOAT_EQ(b->assists.max_steering_force, 400);
    EXPECT_FLOAT_EQ(b->assists.direct_steering, 1);
    EXPECT_FLOAT_EQ(b->assists.slow_damping_speed, 0);
    EXPECT_FLOAT_EQ(b->assists.slow_damping_factor, 1);
    EXPECT_FLOAT_EQ(b->assists.land_damping_falloff, 0.25f);
    EXPECT_FLOAT_EQ(b->assists.land_damping_factor, 2);
    EXPECT_FLOAT_EQ(b->assists.max_dab_speed, 30);
    EXPECT_FLOAT_EQ(b->front_brake_torque, 250);
    EXPECT_FLOAT_EQ(b->rear_brake_torque, 250);
    EXPECT_FLOAT_EQ(b->auto_clutch_rpm, 5000);
    EXPECT_EQ(b->flags, BIKE_FRONT_ANTILOCK | BIKE_ENDO_CUT);
    delete b;
}

TEST(BikeSetup, DampingAdjustments) {
    config_menu_defaults();
    Bike* b = bare_bike(3);
    g_config.fork_compression_adjustment.value = 100;
    g_config.fork_rebound_adjustment.value = 0;
    g_config.shock_compression_adjustment.value = 25;
    g_config.shock_rebound_adjustment.value = 50;
    bike_apply_setup(b);
    EXPECT_FLOAT_EQ(b->setup.fork_compression, 1.5f * 60); // 90
    EXPECT_FLOAT_EQ(b->setup.fork_rebound, 0.5f * 30);     // half at 0
    EXPECT_FLOAT_EQ(b->setup.shock_compression, 0.75f * 800);
    EXPECT_FLOAT_EQ(b->setup.shock_rebound, 600);
    g_config.fork_compression_adjustment.value = 0;
    bike_apply_setup(b);
    EXPECT_FLOAT_EQ(b->setup.fork_compression, 30);
    // Beyond the menu's range the factor stops at 2.
    g_config.shock_rebound_adjustment.value = 400;
    bike_apply_setup(b);
    EXPECT_FLOAT_EQ(b->setup.shock_rebound, 1200);
    delete b;
}

TEST(BikeSetup, RangeAdjustments) {
    config_menu_defaults();
    Bike* b = bare_bike(8);
    g_config.fork_spring_rate_adjustment.value = 25;
    g_config.fork_preload_adjustment.value = 100;
    g_config.fork_oil_level_adjustment.value = 100;
    g_config.shock_spring_rate_adjustment.value = 0;
    g_config.shock_preload_adjustment.value = 150; // clamped to the top of the range
    bike_apply_setup(b);
    EXPECT_FLOAT_EQ(b->setup.fork_spring, 510.6964f + 0.25f * (698.8477f - 510.6964f));
    EXPECT_FLOAT_EQ(b->setup.fork_preload, 0.083333f);
    EXPECT_FLOAT_EQ(b->setup.fork_oil, 0.25f); // the oil range runs downward
    EXPECT_FLOAT_EQ(b->setup.shock_spring, 2217.4976f);
    EXPECT_FLOAT_EQ(b->setup.shock_preload, 0.0275f);
    g_config.fork_oil_level_adjustment.value = 50;
    g_config.fork_preload_adjustment.value = -10;
    bike_apply_setup(b);
    EXPECT_FLOAT_EQ(b->setup.fork_oil, 0.416667f + 0.5f * (0.25f - 0.416667f));
    EXPECT_FLOAT_EQ(b->setup.fork_preload, 0.0f);
    delete b;
}

TEST(BikeSetup, SprocketsAndTheThreeToothFloor) {
    config_menu_defaults();
    Bike* b = bare_bike(10); // rm125: 12 / 50
    g_config.front_sprocket_adjustment.value = -2;
    g_config.rear_sprocket_adjustment.value = 2;
    bike_apply_setup(b);
    EXPECT_FLOAT_EQ(b->setup.final_ratio, 52.0f / 10.0f);
    // A sprocket that would have fewer than 3 teeth has 3.
    b->info.front_sprocket = 4;
    b->info.rear_sprocket = 4;
    g_config.rear_sprocket_adjustment.value = -2;
    bike_apply_setup(b);
    EXPECT_FLOAT_EQ(b->setup.final_ratio, 3.0f / 3.0f);
    g_config.front_sprocket_adjustment.value = 1;
    bike_apply_setup(b);
    EXPECT_FLOAT_EQ(b->setup.final_ratio, 3.0f / 5.0f);
    delete b;
}

TEST(BikeSetup, RiderSpringsAssistsAndDriverSettings) {
    config_menu_defaults();
    Bike* b = bare_bike(0);
    Config& c = g_config;
    c.rider_yspring.value = 70;
    c.rider_ydamping.value = 0;
    c.rider_zspring.value = 150;
    c.rider_zdamping.value = 33;
    c.leveling.value = 35;
    c.roll_damping.value = 80;
    c.roll_limit_angle.value = 35;
    c.roll_limit_factor.value = 32;
    c.steering_damping.value = 12;
    c.steering_strength.value = 90;
    c.max_steering_force.value = 650;
    c.direct_steering.value = 0.375;
    c.slow_damping_speed.value = 40;
    c.slow_damping_factor.value = 1.5;
    c.land_damping_falloff.value = 0.125;
    c.land_damping_factor.value = 1.5;
    c.max_dab_speed.value = 15;
    c.brake_torque.value = 600;
    c.rear_brake_torque.value = 120;
    c.auto_clutch_rpms.value = 3000;
    bike_apply_setup(b);
    EXPECT_FLOAT_EQ(b->setup.rider_vertical_spring, 0.7f);
    EXPECT_FLOAT_EQ(b->setup.rider_vertical_damping, 0.0f);
    EXPECT_FLOAT_EQ(b->setup.rider_forward_spring, 1.0f);
    EXPECT_FLOAT_EQ(b->setup.rider_forward_damping, 0.33f);
    EXPECT_FLOAT_EQ(b->assists.leveling, 35);
    EXPECT_FLOAT_EQ(b->assists.roll_damping, 80);
    EXPECT_FLOAT_EQ(b->assists.roll_limit_angle, (float)(35 * PI / 180));
    EXPECT_FLOAT_EQ(b->assists.roll_limit_factor, 32);
    EXPECT_FLOAT_EQ(b->assists.steering_damping, 12);
    EXPECT_FLOAT_EQ(b->assists.steering_strength, 90);
    EXPECT_FLOAT_EQ(b->assists.max_steering_force, 650);
    EXPECT_FLOAT_EQ(b->assists.direct_steering, 0.375f);
    EXPECT_FLOAT_EQ(b->assists.slow_damping_speed, 40);
    EXPECT_FLOAT_EQ(b->assists.slow_damping_factor, 1.5f);
    EXPECT_FLOAT_EQ(b->assists.land_damping_falloff, 0.125f);
    EXPECT_FLOAT_EQ(b->assists.land_damping_factor, 1.5f);
    EXPECT_FLOAT_EQ(b->assists.max_dab_speed, 15 * 1.4666667f);
    EXPECT_FLOAT_EQ(b->front_brake_torque, 500); // clamped
    EXPECT_FLOAT_EQ(b->rear_brake_torque, 120);
    EXPECT_FLOAT_EQ(b->auto_clutch_rpm, 3000);
    // 10 mph is below the dab speed's floor of 16 feet per second.
    c.max_dab_speed.value = 10;
    c.roll_limit_angle.value = 270;
    c.slow_damping_factor.value = 0;
    bike_apply_setup(b);
    EXPECT_FLOAT_EQ(b->assists.max_dab_speed, 16);
    EXPECT_FLOAT_EQ(b->assists.roll_limit_angle, (float)PI);
    EXPECT_FLOAT_EQ(b->assists.slow_damping_factor, 1);
    delete b;
}

TEST(BikeSetup, FlagsFromChoices) {
    config_menu_defaults();
    Bike* b = bare_bike(0);
    bike_apply_setup(b);
    EXPECT_EQ(b->flags, BIKE_ARCADE | BIKE_AUTO_DAB | BIKE_FRONT_ANTILOCK | BIKE_AUTO_SHIFT);

    set_choice(g_config.stop_wheelies, {"No", "Yes", "Front Only"}, "Yes");
    set_choice(g_config.front_brake, {"Normal", "Antilock"}, "Normal");
    set_choice(g_config.rear_brake, {"Normal", "Antilock"}, "Antilock");
    set_choice(g_config.auto_shift, {"No", "Yes"}, "No");
    set_choice(g_config.auto_dab, {"No", "Yes"}, "No");
    set_choice(g_config.arcade, {"No", "Yes"}, "No");
    bike_apply_setup(b);
    EXPECT_EQ(b->flags, BIKE_WHEELIE_CUT | BIKE_ENDO_CUT | BIKE_REAR_ANTILOCK);

    set_choice(g_config.stop_wheelies, {"No", "Yes", "Front Only"}, "Front Only");
    bike_apply_setup(b);
    EXPECT_EQ(b->flags, BIKE_ENDO_CUT | BIKE_REAR_ANTILOCK);

    // A server that forbids arcade physics wins over the setting.
    set_choice(g_config.arcade, {"No", "Yes"}, "Yes");
    g_bikes.arcade_blocked = 1;
    bike_apply_setup(b);
    EXPECT_FALSE(b->flags & BIKE_ARCADE);
    g_bikes.arcade_blocked = 0;
    bike_apply_setup(b);
    EXPECT_TRUE(b->flags & BIKE_ARCADE);
    delete b;
}

TEST(BikeSetup, DamagedValuesNeverBecomeNaN) {
    config_menu_defaults();
    Bike* b = bare_bike(0);
    g_config.fork_spring_rate_adjustment.value = NAN;
    g_config.fork_compression_adjustment.value = NAN;
    g_config.leveling.value = NAN;
    g_config.front_sprocket_adjustment.value = NAN;
    bike_apply_setup(b);
    EXPECT_FLOAT_EQ(b->setup.fork_spring, 510.6964f);
    EXPECT_FLOAT_EQ(b->setup.fork_compression, 0.0f);
    EXPECT_FLOAT_EQ(b->assists.leveling, 0.0f);
    EXPECT_TRUE(std::isfinite(b->setup.final_ratio));
    delete b;
}

TEST(BikeSetup, MenuFormats) {
    char text[64];
    bike_format_fork_spring(510.6964f, text, sizeof text);
    EXPECT_STREQ(text, "0.380 kg/mm"); // 510.6964 x 0.0007440819724
    bike_format_shock_spring(2217.4976f, text, sizeof text);
    EXPECT_STREQ(text, "3.300 kg/mm"); // 2217.4976 x 0.0014881639448
    bike_format_length_mm(0.083333f, text, sizeof text);
    EXPECT_STREQ(text, "25.40 mm");
    bike_format_length_mm(0.416667f, text, sizeof text);
    EXPECT_STREQ(text, "127.00 mm");
    bike_format_teeth(13, text, sizeof text);
    EXPECT_STREQ(text, "13.00 teeth");

    const BikeInfo* crf = bike_info_at(0);
    EXPECT_EQ(bike_setup_format(crf, "fork_spring_rate_adjustment", 100, text, sizeof text), 1);
    EXPECT_STREQ(text, "0.520 kg/mm"); // 698.8477 x 0.0007440819724
    EXPECT_EQ(bike_setup_format(crf, "shock_spring_rate_adjustment", 100, text, sizeof text), 1);
    EXPECT_STREQ(text, "6.000 kg/mm"); // 4031.814 x 0.0014881639448
    EXPECT_EQ(bike_setup_format(crf, "shock_preload_adjustment", 100, text, sizeof text), 1);
    EXPECT_STREQ(text, "8.38 mm"); // 0.0275 x 304.8
    EXPECT_EQ(bike_setup_format(crf, "fork_oil_level_adjustment", 0, text, sizeof text), 1);
    EXPECT_STREQ(text, "127.00 mm");
    EXPECT_EQ(bike_setup_format(crf, "fork_preload_adjustment", 50, text, sizeof text), 1);
    EXPECT_STREQ(text, "12.70 mm"); // 0.0416665 x 304.8
    EXPECT_EQ(bike_setup_format(crf, "rear_sprocket_adjustment", -2, text, sizeof text), 1);
    EXPECT_STREQ(text, "49.00 teeth");
    EXPECT_EQ(bike_setup_format(crf, "front_sprocket_adjustment", 1, text, sizeof text), 1);
    EXPECT_STREQ(text, "14.00 teeth");
    EXPECT_EQ(bike_setup_format(crf, "fork_compression_adjustment", 50, text, sizeof text), 0);
    EXPECT_STREQ(text, "");
    float v = 0;
    EXPECT_EQ(bike_setup_physical(crf, "shock_spring_rate_adjustment", 50, &v), 1);
    EXPECT_FLOAT_EQ(v, (2217.4976f + 4031.814f) / 2);
}

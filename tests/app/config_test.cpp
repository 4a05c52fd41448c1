#include <gtest/gtest.h>

#include <cerrno>
#include <cmath>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "app/config_file.h"
#include "core/config.h"
#include "data/save.h"
#include "platform/messages.h"
#include "platform/options.h"
#include "support/test_env.h"

namespace {

class ConfigTest : public ::testing::Test {
  protected:
    void SetUp() override { config_reset(); }
    void TearDown() override { config_reset(); }

    static std::string path() { return test_user_dir() + "config"; }
    static void read_text(const std::string& text) {
        write_file(path(), text);
        config_read();
    }
    static std::string written() {
        config_write();
        return read_file(path());
    }
};

// The default file, line by line, in the fixed order.
std::vector<std::string> default_lines() {
    std::vector<std::string> l = {"xres=640",         "yres=480",     "draw_fps=0", "draw_time=0",
                                  "draw_ping=1",      "spy=0",        "record=No",  "skill=Novice",
                                  "minutes=0.000000", "laps=5.000000"};
    char buf[64];
    for (int i = 0; i < 40; i++) {
        snprintf(buf, sizeof buf, "slot%02d=Empty", i);
        l.push_back(buf);
    }
    for (const char* s : {"ghost_fade_distance=10.000000",
                          "time_trial_abort=Yes",
                          "bike=crf250(2009)",
                          "name=Joe Motocross",
                          "number=999",
                          "rider_texture=",
                          "head_texture=",
                          "bike_texture=",
                          "wheel_texture=",
                          "stability=100.000000",
                          "leveling=20.000000",
                          "roll_damping=60.000000",
                          "roll_limit_angle=45.000000",
                          "roll_limit_factor=10.000000",
                          "steering_damping=45.000000",
                          "steering_strength=75.000000",
                          "max_steering_force=400.000000",
                          "direct_steering=1.000000",
                          "slow_damping_speed=40.000000",
                          "slow_damping_factor=2.000000",
                          "land_damping_falloff=0.250000",
                          "land_damping_factor=2.000000",
                          "arcade=Yes",
                          "front_brake=Antilock",
                          "rear_brake=Normal",
                          "stop_wheelies=No",
                          "auto_shift=Yes",
                          "auto_dab=Yes",
                          "sticky_dab=No",
                          "reverse_steering=Yes",
                          "lean_indicator=Yes",
                          "auto_clutch_rpms=5000.000000",
                          "brake_torque=250.000000",
                          "rear_brake_torque=250.000000",
                          "max_dab_speed=20.000000",
                          "front_sprocket_adjustment=0.000000",
                          "rear_sprocket_adjustment=0.000000",
                          "fork_compression_adjustment=50.000000",
                          "fork_rebound_adjustment=50.000000",
                          "fork_spring_rate_adjustment=50.000000",
                          "fork_preload_adjustment=50.000000",
                          "fork_oil_level_adjustment=50.000000",
                          "shock_compression_adjustment=50.000000",
                          "shock_rebound_adjustment=50.000000",
                          "shock_spring_rate_adjustment=50.000000",
                          "shock_preload_adjustment=50.000000",
                          "rider_yspring=50.000000",
                          "rider_ydamping=50.000000",
                          "rider_zspring=50.000000",
                          "rider_zdamping=50.000000",
                          "rider_mass_distribution=0.330000",
                          "video_mode=Default Fullscreen",
                          "server_name=localhost"})
        l.push_back(s);
    for (int i = 0; i < 16; i++) {
        snprintf(buf, sizeof buf, "server_name_hist%02d=", i);
        l.push_back(buf);
    }
    for (const char* s : {"ground_detail=50.000000",
                          "ground_texture_detail=9.000000",
                          "ground_texture_dim=128x128",
                          "ground_mipmaps=No",
                          "use_fbo=No",
                          "use_shader=No",
                          "roost_density=250.000000",
                          "lens_flare=Yes",
                          "hide_rider=No",
                          "rigid_camera=No",
                          "model_detail=50.000000",
                          "model_texture_detail=9.000000",
                          "fov=110.000000",
                          "first_person_height=0.000000",
                          "first_person_angle=0.000000",
                          "volume=10.000000",
                          "playback_mode=Playback Only",
                          "billboard_optimize_lookahead=8",
                          "blob_shadows=Yes",
                          "impact_sounds=Yes",
                          "throttle_key=(k)x",
                          "front_brake_key=(k)c",
                          "rear_brake_key=(k)v",
                          "left_key=(k)left",
                          "right_key=(k)right",
                          "clutch_key=(k)z",
                          "upshift_key=(k)up",
                          "downshift_key=(k)down",
                          "dab_key=(k)right ctrl",
                          "back_up_key=(k)b",
                          "lean_forward_key=(k)n",
                          "lean_backward_key=(k)m",
                          "pause_key=(k)pause",
                          "step_key=(k).",
                          "rewind_key=(k)\\",
                          "skip_key=(k)/",
                          "prev_key=(k)[",
                          "next_key=(k)]",
                          "console_key=(k)t",
                          "screenshot_key=(k)s"})
        l.push_back(s);
    return l;
}

std::string join_lines(const std::vector<std::string>& lines) {
    std::string s;
    for (const std::string& l : lines) s += l + "\n";
    return s;
}

int g_hook_calls;
const char* const HOOK_TEXTURES[] = {"yz125_red", "yz125_blue"};
void bike_hook() {
    g_hook_calls++;
    config_set_options(&g_config.bike_texture, {HOOK_TEXTURES[0], HOOK_TEXTURES[1]});
}

} // namespace

TEST_F(ConfigTest, DefaultsMatchTheTable) {
    EXPECT_EQ(g_config.xres, 640);
    EXPECT_EQ(g_config.draw_ping, 1);
    EXPECT_EQ(g_config.billboard_optimize_lookahead, 8);
    EXPECT_STREQ(g_config.skill.text(), "Novice");
    EXPECT_STREQ(g_config.skill.label, "Robot Skill");
    EXPECT_STREQ(g_config.slot[0].label, "Gate 1");
    EXPECT_STREQ(g_config.slot[39].label, "Gate 40");
    EXPECT_STREQ(g_config.bike.text(), "crf250(2009)");
    EXPECT_EQ(g_config.bike.options.size(), 17u);
    EXPECT_STREQ(g_config.bike.options[16], "yz125");
    EXPECT_STREQ(g_config.name.text, "Joe Motocross");
    EXPECT_EQ(g_config.name.max_len, 63);
    EXPECT_EQ(g_config.number.max_len, 3);
    EXPECT_STREQ(g_config.server_name.text, "localhost");
    EXPECT_EQ(g_config.server_name.max_len, 127);
    EXPECT_STREQ(g_config.server_name_hist[15].text, "");
    EXPECT_EQ(g_config.max_steering_force.step, 5.0);
    EXPECT_EQ(g_config.direct_steering.step, 0.125);
    EXPECT_EQ(g_config.rider_mass_distribution.min, 0.33);
    EXPECT_EQ(g_config.rider_mass_distribution.max, 0.5);
    EXPECT_EQ(g_config.front_sprocket_adjustment.min, -2.0);
    EXPECT_EQ(g_config.max_dab_speed.min, 10.0);
    EXPECT_STREQ(g_config.fov.label, "Field Of View");
    EXPECT_EQ(g_config.video_mode.options.size(), 2u);
    EXPECT_STREQ(g_config.video_mode.options[1], "Windowed");
    EXPECT_TRUE(g_config.rider_texture.options.empty());
    EXPECT_STREQ(g_config.dab_key.key_name, "right ctrl");
    EXPECT_STREQ(g_config.dab_key.label, "Sit/Dab");
    EXPECT_EQ(g_config.dab_key.axis_name, nullptr);
    EXPECT_EQ(g_config.dab_key.high, 1.0f);
    EXPECT_EQ(config_binding(0), &g_config.throttle_key);
    EXPECT_EQ(config_binding(19), &g_config.screenshot_key);
    EXPECT_EQ(config_binding(20), nullptr);
    EXPECT_STREQ(config_binding_key(8), "dab_key");
}

TEST_F(ConfigTest, DefaultsKeepDataOptionLists) {
    static const char* const gear[] = {"rider_body-red", "rider_body-blue"};
    config_set_options(&g_config.rider_texture, {gear[0], gear[1]});
    g_config.rider_texture.current = 1;
    config_defaults();
    EXPECT_EQ(g_config.rider_texture.options.size(), 2u);
    EXPECT_EQ(g_config.rider_texture.current, 0);
}

TEST_F(ConfigTest, MissingFileChangesNothing) {
    g_config.xres = 1234;
    config_read();
    EXPECT_EQ(g_config.xres, 1234);
}

TEST_F(ConfigTest, SliderClampingAndBadValues) {
    read_text("laps=75\n");
    EXPECT_EQ(g_config.laps.value, 50.0);
    config_defaults();
    read_text("laps=many\n");
    EXPECT_EQ(g_config.laps.value, 5.0);
    read_text("laps =3\n");
    EXPECT_EQ(g_config.laps.value, 5.0);
    read_text(" laps=3\n");
    EXPECT_EQ(g_config.laps.value, 5.0);
    read_text("laps=nan\n");
    EXPECT_EQ(g_config.laps.value, 5.0);
    read_text("laps=-3\nfov=2.5\nrider_mass_distribution=0.4\n");
    EXPECT_EQ(g_config.laps.value, 0.0);
    EXPECT_EQ(g_config.fov.value, 10.0);
    // Stored as read: a float.
    EXPECT_EQ(g_config.rider_mass_distribution.value, (double)0.4f);
    read_text("laps=  12.5xyz\n");
    EXPECT_EQ(g_config.laps.value, 12.5);
}

TEST_F(ConfigTest, IntegersAndTexts) {
    read_text("xres=1024\nyres=abc\ndraw_fps= 7\nspy=99999999999\n"
              "name=" +
              std::string(100, 'n') + "\nnumber=12345\n");
    EXPECT_EQ(g_config.xres, 1024);
    EXPECT_EQ(g_config.yres, 480);
    EXPECT_EQ(g_config.draw_fps, 7);
    // Beyond the int range is no number: the setting keeps its value.
    EXPECT_EQ(g_config.spy, 0);
    EXPECT_EQ(std::string(g_config.name.text), std::string(63, 'n'));
    EXPECT_STREQ(g_config.number.text, "123");
    // The key is everything before the first "=", the value everything after it.
    read_text("name=a=b\n=x\nnoequals\n");
    EXPECT_STREQ(g_config.name.text, "a=b");
}

TEST_F(ConfigTest, ChoicesMatchExactly) {
    read_text("skill=expert\n");
    EXPECT_STREQ(g_config.skill.text(), "Novice");
    read_text("skill=Expert\nslot07=Robot (4 stroke)\nslot39=Human\nslot40=Human\n"
              "stop_wheelies=Front Only\nground_texture_dim=1024x1024\n");
    EXPECT_STREQ(g_config.skill.text(), "Expert");
    EXPECT_EQ(g_config.slot[7].current, SLOT_ROBOT_4STROKE);
    EXPECT_EQ(g_config.slot[39].current, SLOT_HUMAN);
    EXPECT_EQ(g_config.slot[38].current, SLOT_EMPTY);
    EXPECT_EQ(g_config.stop_wheelies.current, 2);
    EXPECT_EQ(g_config.ground_texture_dim.current, 5);
    read_text("slot7=Human\nskill=Expert \n");
    EXPECT_EQ(g_config.slot[7].current, SLOT_ROBOT_4STROKE);
    EXPECT_STREQ(g_config.skill.text(), "Expert");
}

TEST_F(ConfigTest, OptionListsFromElsewhere) {
    static const char* const wheels[] = {"wheels-black", "wheels-gold"};
    read_text("wheel_texture=wheels-gold\n");
    EXPECT_EQ(g_config.wheel_texture.current, 0);
    config_set_options(&g_config.wheel_texture, {wheels[0], wheels[1]});
    read_text("wheel_texture=wheels-gold\n");
    EXPECT_EQ(g_config.wheel_texture.current, 1);
    read_text("wheel_texture=wheels-silver\n");
    EXPECT_EQ(g_config.wheel_texture.current, 1);

    read_text("video_mode=Windowed\n");
    EXPECT_EQ(g_config.video_mode.current, 1);
    static const char* const modes[] = {"Default Fullscreen", "Windowed", "800x600"};
    config_set_options(&g_config.video_mode, {modes[0], modes[1], modes[2]});
    read_text("video_mode=800x600\n");
    EXPECT_EQ(g_config.video_mode.current, 2);
}

TEST_F(ConfigTest, OldBikeNamesAndTheBikeHook) {
    read_text("bike=kx250f\n");
    EXPECT_STREQ(g_config.bike.text(), "kx250f(2008)");
    read_text("bike=yz250f\n");
    EXPECT_STREQ(g_config.bike.text(), "yz250f(2008)");
    read_text("bike=yz250f_se(2006)\n");
    EXPECT_STREQ(g_config.bike.text(), "yz250f_se(2006)");

    g_hook_calls = 0;
    config_set_bike_hook(bike_hook);
    read_text("bike=yz125\nbike_texture=yz125_blue\n");
    EXPECT_EQ(g_hook_calls, 1);
    EXPECT_STREQ(g_config.bike.text(), "yz125");
    EXPECT_STREQ(g_config.bike_texture.text(), "yz125_blue");
    // Reading the bike again starts its texture list over.
    read_text("bike=yz125\n");
    EXPECT_EQ(g_hook_calls, 2);
    EXPECT_EQ(g_config.bike_texture.current, 0);
}

TEST_F(ConfigTest, BindingValues) {
    read_text("throttle_key=(0.1,0.9)Joystick 1 Y Axis\nclutch_key=(k)x\nleft_key=x\n");
    const KeyBinding& t = g_config.throttle_key;
    EXPECT_EQ(t.key_name, nullptr);
    EXPECT_STREQ(t.axis_name, "Joystick 1 Y Axis");
    EXPECT_EQ(t.low, 0.1f);
    EXPECT_EQ(t.high, 0.9f);
    EXPECT_STREQ(g_config.clutch_key.key_name, "x");
    EXPECT_EQ(g_config.clutch_key.axis_name, nullptr);
    // Both are the one interned copy.
    EXPECT_EQ(g_config.left_key.key_name, g_config.clutch_key.key_name);
    EXPECT_EQ(g_config.left_key.key_name, intern_string("x"));
    EXPECT_EQ(g_config.left_key.high, 1.0f);
}

TEST_F(ConfigTest, BindingParseRules) {
    KeyBinding b = {"Test", intern_string("q"), 17, nullptr, nullptr, 0.5f, 0.5f};
    binding_parse(&b, "  \t(k)right ctrl");
    EXPECT_STREQ(b.key_name, "right ctrl");
    EXPECT_EQ(b.key_code, 0);
    EXPECT_EQ(b.low, 0.0f);
    EXPECT_EQ(b.high, 1.0f);
    binding_parse(&b, "(-1, 2.5)Mouse X");
    EXPECT_STREQ(b.axis_name, "Mouse X");
    EXPECT_EQ(b.low, -1.0f);
    EXPECT_EQ(b.high, 2.5f);
    EXPECT_EQ(b.key_name, nullptr);
    // One number, no closing parenthesis, or a space before the comma: a key name.
    for (const char* v : {"(0.5)a", "(0.1,0.9", "(0.1 ,0.9)a", "(inf,1)a", "(k)"}) {
        binding_parse(&b, v);
        EXPECT_EQ(b.axis_name, nullptr) << v;
        ASSERT_NE(b.key_name, nullptr) << v;
    }
    EXPECT_STREQ(b.key_name, "");
    binding_parse(&b, "(0.5)a");
    EXPECT_STREQ(b.key_name, "(0.5)a");
    // The axis name is everything after the first ")".
    binding_parse(&b, "(0,1)a)b");
    EXPECT_STREQ(b.axis_name, "a)b");
}

TEST_F(ConfigTest, WindowsLineEndsReadTheSame) {
    std::string lf = "xres=800\nskill=Amateur\nlaps=7\nname=Rider One\n"
                     "throttle_key=(0.25,0.75)Pad\nfront_brake_key=(k)c\nserver_name_hist00=a.b\n";
    std::string crlf;
    for (char c : lf) {
        if (c == '\n') crlf += '\r';
        crlf += c;
    }
    read_text(lf);
    std::string from_lf = written();
    config_reset();
    read_text(crlf);
    std::string from_crlf = written();
    EXPECT_EQ(from_lf, from_crlf);
    EXPECT_STREQ(g_config.name.text, "Rider One");
    EXPECT_STREQ(g_config.skill.text(), "Amateur");
    EXPECT_STREQ(g_config.throttle_key.axis_name, "Pad");
    EXPECT_STREQ(g_config.server_name_hist[0].text, "a.b");
    // Several carriage returns before the line feed all go.
    read_text("name=x\r\r\r\n");
    EXPECT_STREQ(g_config.name.text, "x");
}

TEST_F(ConfigTest, DefaultFileHasEveryKeyInOrder) {
    std::vector<std::string> expect = default_lines();
    ASSERT_EQ(expect.size(), 10u + 40 + 53 + 16 + 20 + 20);
    EXPECT_EQ(written(), join_lines(expect));
}

TEST_F(ConfigTest, RoundTripKeepsEveryValue) {
    static const char* const gear[] = {"rider_body-a", "rider_body-b"};
    config_set_options(&g_config.rider_texture, {gear[0], gear[1]});
    std::string in = "slot03=Robot\nserver_name_hist15=last.example\nlaps=12\n"
                     "rider_texture=rider_body-b\nthrottle_key=(0.1,0.9)Pad Y\n"
                     "name=Someone\nground_texture_distance=7\nvolume=3.5\n";
    read_text(in);
    std::vector<std::string> expect = default_lines();
    for (std::string& l : expect) {
        if (l == "slot03=Empty") l = "slot03=Robot";
        if (l == "server_name_hist15=") l = "server_name_hist15=last.example";
        if (l == "laps=5.000000") l = "laps=12.000000";
        if (l == "rider_texture=") l = "rider_texture=rider_body-b";
        if (l == "throttle_key=(k)x") l = "throttle_key=(0.100000,0.900000)Pad Y";
        if (l == "name=Joe Motocross") l = "name=Someone";
        if (l == "volume=10.000000") l = "volume=3.500000";
    }
    std::string first = written();
    EXPECT_EQ(first, join_lines(expect));
    EXPECT_EQ(first.find("ground_texture_distance"), std::string::npos);
    // Reading the written file back and writing again changes nothing.
    config_defaults();
    config_read();
    EXPECT_EQ(written(), first);
}

TEST_F(ConfigTest, UnboundBindingHasNoLine) {
    g_config.pause_key.key_name = nullptr;
    std::string text = written();
    EXPECT_EQ(text.find("pause_key"), std::string::npos);
    EXPECT_NE(text.find("step_key=(k).\n"), std::string::npos);
}

TEST_F(ConfigTest, LineBreakInTextCannotForgeALine) {
    snprintf(g_config.name.text, sizeof g_config.name.text, "evil\nxres=1");
    std::string text = written();
    EXPECT_NE(text.find("name=evil\nnumber=999\n"), std::string::npos);
    EXPECT_EQ(text.find("xres=1\n"), std::string::npos);
}

TEST_F(ConfigTest, AFolderThatCannotBeWrittenIsSaidAndChangesNothing) {
    // Plain files where the per-user and game folders should be: nothing can be written.
    std::string user = test_user_dir();
    user.pop_back();
    std::filesystem::remove_all(user);
    std::filesystem::remove_all(test_game_dir());
    write_file(user, "not a folder");
    write_file(test_game_dir(), "not a folder either");
    g_config.xres = 1;
    testing::internal::CaptureStderr();
    config_write();
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(err, "Can't save the settings (config): can't create\n");
    EXPECT_STREQ(messages_visible(0), "Can't save the settings (config): can't create");
    EXPECT_EQ(read_file(user), "not a folder");
    EXPECT_EQ(read_file(test_game_dir()), "not a folder either");
    config_read();
    EXPECT_EQ(g_config.xres, 1);
}

TEST_F(ConfigTest, ADiskFullHalfWayKeepsTheOldSettings) {
    read_text("xres=800\nname=Old Name\nlaps=7.000000\n");
    std::string old = read_file(path());
    // The disk takes the first 1000 bytes of the new file (about a third of it), then reports
    // ENOSPC for every write.
    data_save_inject_failure(1000, ENOSPC);
    snprintf(g_config.name.text, sizeof g_config.name.text, "New Name");
    testing::internal::CaptureStderr();
    config_write();
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Can't save the settings (config): disk full\n");
    EXPECT_EQ(read_file(path()), old);
    EXPECT_EQ(data_save_failures(), 1);
    // Nothing but the old file is left in the folder.
    int entries = 0;
    for (const auto& e : std::filesystem::directory_iterator(test_user_dir()))
        entries += e.exists();
    EXPECT_EQ(entries, 1);
    // The next start reads the old settings, not the defaults.
    config_reset();
    config_read();
    EXPECT_EQ(g_config.xres, 800);
    EXPECT_STREQ(g_config.name.text, "Old Name");
    EXPECT_EQ(g_config.laps.value, 7.0);
}

TEST_F(ConfigTest, ServerHistory) {
    std::string long_name(127, 'h');
    read_text("server_name_hist03=" + long_name + "\nserver_name_hist04=" + long_name.substr(1) +
              "\nserver_name=" + std::string(200, 's') + "\n");
    EXPECT_STREQ(g_config.server_name_hist[3].text, "");
    EXPECT_EQ(std::string(g_config.server_name_hist[4].text), long_name.substr(1));
    EXPECT_EQ(std::string(g_config.server_name.text), std::string(127, 's'));

    config_defaults();
    char name[32];
    for (int i = 0; i < 17; i++) {
        snprintf(name, sizeof name, "server%d", i);
        config_server_history_add(name);
    }
    config_server_history_add("server16"); // same as the first: no change
    EXPECT_STREQ(g_config.server_name_hist[0].text, "server16");
    EXPECT_STREQ(g_config.server_name_hist[1].text, "server15");
    EXPECT_STREQ(g_config.server_name_hist[15].text, "server1");
}

TEST_F(ConfigTest, StabilityPresetAtFullAndInterpolated) {
    read_text("stability=100\n");
    EXPECT_EQ(g_config.roll_damping.value, 80.0);
    EXPECT_EQ(g_config.roll_limit_angle.value, 35.0);
    EXPECT_EQ(g_config.roll_limit_factor.value, 32.0);
    EXPECT_EQ(g_config.direct_steering.value, 0.0);
    EXPECT_EQ(g_config.slow_damping_factor.value, 2.0);

    // 37.9 is taken as 37: c = 1.85 between the rows for 20 and 40, f = 0.85.
    read_text("stability=37.9\n");
    const double f = 37 * 0.05 - 1;
    EXPECT_NEAR(g_config.roll_damping.value, 50 + f * (60 - 50), 1e-9);
    EXPECT_NEAR(g_config.roll_limit_angle.value, 45.0, 1e-9);
    EXPECT_NEAR(g_config.roll_limit_factor.value, 5 + f * (10 - 5), 1e-9);
    EXPECT_NEAR(g_config.slow_damping_factor.value, 1 + f * (1.5 - 1), 1e-9);
    EXPECT_NEAR(g_config.land_damping_falloff.value, 0.125 + f * (0.25 - 0.125), 1e-9);
    EXPECT_NEAR(g_config.land_damping_factor.value, 1.5 + f * (2 - 1.5), 1e-9);
    EXPECT_EQ(g_config.direct_steering.value, 1.0);
    EXPECT_EQ(g_config.leveling.value, 20.0);

    // A later line overrides what the preset set.
    read_text("stability=100\nroll_damping=10\n");
    EXPECT_EQ(g_config.roll_damping.value, 10.0);
}

TEST_F(ConfigTest, StabilityPresetEnds) {
    config_apply_stability(0);
    EXPECT_EQ(g_config.roll_limit_angle.value, 90.0);
    EXPECT_EQ(g_config.roll_limit_factor.value, 0.0);
    EXPECT_EQ(g_config.land_damping_falloff.value, 0.0);
    config_apply_stability(-40);
    EXPECT_EQ(g_config.roll_damping.value, 40.0);
    config_apply_stability(500);
    EXPECT_EQ(g_config.roll_damping.value, 80.0);
    config_apply_stability(50); // c = 2.5: halfway between the rows for 40 and 60
    EXPECT_EQ(g_config.roll_damping.value, 65.0);
    EXPECT_EQ(g_config.roll_limit_angle.value, 42.5);
    EXPECT_EQ(g_config.roll_limit_factor.value, 21.0);
    EXPECT_EQ(g_config.slow_damping_factor.value, 1.75);
}

TEST_F(ConfigTest, OverlongLineIsOneLine) {
    // The tail of a line longer than the read buffer is not taken as a line of its own.
    read_text("name=" + std::string(1500, 'a') + "xres=5\nyres=600\n");
    EXPECT_EQ(std::string(g_config.name.text), std::string(63, 'a'));
    EXPECT_EQ(g_config.xres, 640);
    EXPECT_EQ(g_config.yres, 600);
}

static void expect_settings_sane() {
    const Slider* sliders[] = {&g_config.laps, &g_config.stability, &g_config.fov,
                               &g_config.rider_mass_distribution, &g_config.max_dab_speed};
    for (const Slider* s : sliders) {
        EXPECT_GE(s->value, s->min) << s->label;
        EXPECT_LE(s->value, s->max) << s->label;
    }
    const Choice* choices[] = {&g_config.skill, &g_config.bike, &g_config.slot[0],
                               &g_config.video_mode, &g_config.playback_mode};
    for (const Choice* c : choices) {
        EXPECT_GE(c->current, 0) << c->label;
        EXPECT_LT(c->current, (int)c->options.size()) << c->label;
    }
    EXPECT_LE(strlen(g_config.name.text), 63u);
    EXPECT_LE(strlen(g_config.number.text), 3u);
}

TEST_F(ConfigTest, JunkBytes) {
    std::mt19937 rng(12345);
    const char* keys[] = {"laps=", "skill=",  "name=",   "throttle_key=(", "stability=",
                          "bike=", "slot05=", "number=", "fov=",           "server_name_hist00="};
    for (int round = 0; round < 20; round++) {
        std::string text;
        for (int i = 0; i < 400; i++) {
            if (rng() % 4 == 0) text += keys[rng() % 10];
            int n = (int)(rng() % 40);
            for (int k = 0; k < n; k++) text += (char)(rng() % 256);
            if (rng() % 2) text += '\n';
        }
        config_defaults();
        read_text(text);
        expect_settings_sane();
        config_write();
        config_defaults();
        config_read();
        expect_settings_sane();
    }
}

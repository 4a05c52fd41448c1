// The menu model without GL: keys move the selection, Esc follows the loop's menu states,
// values change the configuration records within their ranges, typing, choosing bindings,
// game-device buttons and stick, and the rider tables the menus start sessions with.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <set>
#include <string>

#include "app/app.h"
#include "app/config_file.h"
#include "core/config.h"
#include "core/settings.h"
#include "bike/bike.h"
#include "platform/input.h"
#include "platform/log.h"
#include "platform/messages.h"
#include "platform/window.h"
#include "race/session.h"
#include "race/session_internal.h"
#include "replay/demolist.h"
#include "support/test_env.h"
#include "track/tracklist.h"
#include "ui/appearance.h"
#include "ui/feeds.h"
#include "ui/menu.h"
#include "ui/menu_internal.h"

namespace {

int code_of(const char* name) {
    int code = 0;
    EXPECT_TRUE(key_code(g_app.window, &code, name)) << name;
    return code;
}

struct MenuFixture : ::testing::Test {
    int up, down, left, right, enter, esc, backspace, del, page_down, page_up;
    void SetUp() override {
        g_app = App{};
        session_reset();
        g_settings = Settings{};
        tracklist_reset();
        demolist_reset();
        menu_reset();
        g_app.window = window_open_headless();
        controls_setup();
        ui_set_window(g_app.window);
        menu_keys_resolve(g_app.window);
        up = code_of("up");
        down = code_of("down");
        left = code_of("left");
        right = code_of("right");
        enter = code_of("enter");
        esc = code_of("esc");
        backspace = code_of("Backspace");
        del = code_of("Delete");
        page_down = code_of("page down");
        page_up = code_of("page up");
        tracklist_add("dunebay", "Dune Bay");
        tracklist_add("rabbithill", "Rabbit Hill");
        tracklist_select(1);
        menu_show(SCREEN_MAIN);
    }
    void TearDown() override {
        bindings_close();
        window_close(g_app.window);
        g_app.window = nullptr;
    }
    // A key press as the loop delivers it while a menu is shown.
    void press(int code) {
        input_event(code, 1);
        input_event(code, 0);
    }
    MenuPage page() {
        MenuPage p;
        menu_build(g_menu.screen, &p);
        return p;
    }
    std::string selected_label() {
        int i = menu_current_selection();
        return i < 0 ? "" : page().items[i].label;
    }
    // Moves the selection onto the item with this label.
    void go_to(const std::string& label) {
        MenuPage p = page();
        for (int i = 0; i < (int)p.items.size(); i++)
            if (p.items[i].label == label) {
                menu_select(i);
                ASSERT_EQ(selected_label(), label);
                return;
            }
        FAIL() << "no item " << label;
    }
    void open(const std::string& label) {
        go_to(label);
        press(enter);
    }
};

TEST_F(MenuFixture, KeysMoveTheSelectionAndWrapAround) {
    EXPECT_EQ(selected_label(), "Race"); // the title screen's menu has no Resume
    press(down);
    EXPECT_EQ(selected_label(), "Time Trial");
    press(up);
    press(up);
    EXPECT_EQ(selected_label(), "Quit");
    press(down);
    EXPECT_EQ(selected_label(), "Race");
    press(enter);
    EXPECT_EQ(g_menu.screen, SCREEN_RACE);
    EXPECT_EQ(selected_label(), "Track");

    // With a race running the main menu offers to resume it first.
    g_session_data.track_loaded = 1;
    menu_open(SCREEN_MAIN);
    EXPECT_EQ(selected_label(), "Resume");
    press(enter);
    EXPECT_EQ(g_menu.screen, MENU_NONE);
}

TEST_F(MenuFixture, LabelsAndDisabledItemsAreSkipped) {
    open("Options");
    open("Controls");
    EXPECT_EQ(selected_label(), "Throttle"); // the heading before it cannot be selected
    go_to("Sticky Sit/Dab");
    press(down);
    EXPECT_EQ(selected_label(), "Pause"); // over the "Game" heading
    config_server_history_add("race.example.org");
    menu_open(SCREEN_MULTIPLAYER);
    go_to("race.example.org");
    press(up);
    EXPECT_EQ(selected_label(), "Server"); // over the "Recent servers" heading
}

TEST_F(MenuFixture, EscClosesAndOpensExceptOnTheNotice) {
    open("Race");
    press(esc);
    EXPECT_EQ(g_menu.screen, MENU_NONE);
    press(esc);
    EXPECT_EQ(g_menu.screen, SCREEN_MAIN);
    menu_notice("Can't Start", "No track", SCREEN_RACE);
    EXPECT_EQ(g_menu.screen, SCREEN_NOTICE);
    press(esc);
    EXPECT_EQ(g_menu.screen, SCREEN_NOTICE);
    EXPECT_EQ(selected_label(), "OK");
    press(enter);
    EXPECT_EQ(g_menu.screen, SCREEN_RACE);
}

TEST_F(MenuFixture, EscDuringARaceOffersResumeFirst) {
    g_session_data.track_loaded = 1;
    go_to("Options");
    press(esc);
    ASSERT_EQ(g_menu.screen, MENU_NONE);
    menu_draw(); // a frame without a menu
    press(esc);
    ASSERT_EQ(g_menu.screen, SCREEN_MAIN);
    EXPECT_EQ(selected_label(), "Resume");
    press(enter);
    EXPECT_EQ(g_menu.screen, MENU_NONE);
    // Back from a screen keeps the item it came from.
    press(esc);
    open("Options");
    press(backspace);
    EXPECT_EQ(selected_label(), "Options");
}

TEST_F(MenuFixture, RenderStatisticsFromTheDisplayScreen) {
    menu_open(SCREEN_SOUND);
    go_to("Show Render Statistics");
    EXPECT_EQ(menu_item_value(page().items[menu_current_selection()]), "No");
    press(enter);
    EXPECT_EQ(g_settings.draw_render_stats, 1);
    press(right);
    EXPECT_EQ(g_settings.draw_render_stats, 0);
}

TEST_F(MenuFixture, BackGoesUpOneLevel) {
    open("Bike & Rider");
    open("Bike Setup");
    press(backspace);
    EXPECT_EQ(g_menu.screen, SCREEN_BIKE);
    press(backspace);
    EXPECT_EQ(g_menu.screen, SCREEN_MAIN);
    press(backspace); // the title screen keeps its menu
    EXPECT_EQ(g_menu.screen, SCREEN_MAIN);
    g_session_data.track_loaded = 1;
    press(backspace);
    EXPECT_EQ(g_menu.screen, MENU_NONE);
    EXPECT_EQ(menu_parent(SCREEN_GATE), SCREEN_RACE);
    EXPECT_EQ(menu_parent(SCREEN_STANDINGS), SCREEN_SERIES);
    EXPECT_EQ(menu_parent(SCREEN_SOUND), SCREEN_OPTIONS);
}

TEST_F(MenuFixture, SlidersStepWithinTheirRanges) {
    open("Race");
    go_to("Laps");
    press(right);
    EXPECT_DOUBLE_EQ(g_config.laps.value, 6);
    for (int i = 0; i < 10; i++) press(left);
    EXPECT_DOUBLE_EQ(g_config.laps.value, 0);
    g_config.laps.value = 50;
    press(right);
    EXPECT_DOUBLE_EQ(g_config.laps.value, 50);

    // A fractional step keeps to its grid from the minimum.
    menu_open(SCREEN_AIDS);
    go_to("Slow Damping Factor");
    EXPECT_DOUBLE_EQ(g_config.slow_damping_factor.value, 2);
    press(left);
    EXPECT_DOUBLE_EQ(g_config.slow_damping_factor.value, 1.75);
    g_config.slow_damping_factor.value = 1.1; // off the grid, as a hand-edited file may give
    press(right);
    EXPECT_DOUBLE_EQ(g_config.slow_damping_factor.value, 1.25);

    // The pointer sets a fraction of the range, snapped to the step.
    menu_open(SCREEN_RACE);
    go_to("Laps");
    menu_slider_set(menu_current_selection(), 0.5f);
    EXPECT_DOUBLE_EQ(g_config.laps.value, 25);
    menu_slider_set(menu_current_selection(), 1.7f);
    EXPECT_DOUBLE_EQ(g_config.laps.value, 50);
    menu_open(SCREEN_AIDS);
    go_to("Direct Steering");
    menu_slider_set(menu_current_selection(), 0.3f); // 0.3 lies nearest 2 steps of 0.125
    EXPECT_DOUBLE_EQ(g_config.direct_steering.value, 0.25);
    EXPECT_EQ(menu_item_value(page().items[menu_current_selection()]), "0.25");
    menu_slider_set(menu_current_selection(), 0.0f);
    EXPECT_EQ(menu_item_value(page().items[menu_current_selection()]), "0");
    go_to("Landing Damping Falloff");
    g_config.land_damping_falloff.value = 0.1875;
    EXPECT_EQ(menu_item_value(page().items[menu_current_selection()]), "0.1875");
}

TEST_F(MenuFixture, ChoicesCycleAndTogglesFlip) {
    open("Race");
    go_to("Robot Skill");
    press(right);
    EXPECT_STREQ(g_config.skill.text(), "Amateur");
    press(enter);
    EXPECT_STREQ(g_config.skill.text(), "Expert");
    press(right);
    EXPECT_STREQ(g_config.skill.text(), "Novice");
    press(left);
    EXPECT_STREQ(g_config.skill.text(), "Expert");

    go_to("Track");
    EXPECT_EQ(menu_item_value(page().items[menu_current_selection()]), "Rabbit Hill");
    press(right);
    EXPECT_EQ(g_tracks.current, 0);
    press(right);
    EXPECT_EQ(g_tracks.current, 1);

    menu_open(SCREEN_SOUND);
    go_to("Show Frame Rate");
    EXPECT_EQ(g_config.draw_fps, 0);
    press(right);
    EXPECT_EQ(g_config.draw_fps, 1);
    press(enter);
    EXPECT_EQ(g_config.draw_fps, 0);

    menu_open(SCREEN_GRAPHICS);
    go_to("Billboard Look-ahead");
    g_config.billboard_optimize_lookahead = 64;
    press(right);
    EXPECT_EQ(g_config.billboard_optimize_lookahead, 64);
    press(left);
    EXPECT_EQ(g_config.billboard_optimize_lookahead, 63);
}

TEST_F(MenuFixture, StabilityAppliesItsPreset) {
    menu_open(SCREEN_AIDS);
    go_to("Stability");
    press(left); // 99: between the rows for 80 and 100, 95% of the way
    EXPECT_DOUBLE_EQ(g_config.stability.value, 99);
    EXPECT_NEAR(g_config.roll_damping.value, 75 + 0.95 * (80 - 75), 1e-9);
    EXPECT_NEAR(g_config.direct_steering.value, 1 + 0.95 * (0 - 1), 1e-9);
    menu_slider_set(menu_current_selection(), 0.3f); // 30: half way from the 20 to the 40 row
    EXPECT_NEAR(g_config.roll_limit_angle.value, 45, 1e-9);
    EXPECT_NEAR(g_config.slow_damping_factor.value, 1.25, 1e-9);
    EXPECT_NEAR(g_config.land_damping_falloff.value, 0.1875, 1e-9);
}

TEST_F(MenuFixture, TypingANameAndANumber) {
    menu_open(SCREEN_RIDER);
    go_to("Name");
    press(enter);
    EXPECT_TRUE(menu_text_editing());
    for (int i = 0; i < 13; i++) press(backspace); // "Joe Motocross"
    for (char c : std::string("Kat")) menu_key((unsigned char)c);
    menu_key(8); // the character a Backspace key also types removes nothing more
    press(enter);
    EXPECT_FALSE(menu_text_editing());
    EXPECT_STREQ(g_config.name.text, "Kat");

    go_to("Number");
    press(enter);
    press(backspace);
    press(backspace);
    press(backspace);
    for (char c : std::string("1234")) menu_key((unsigned char)c);
    press(enter);
    EXPECT_STREQ(g_config.number.text, "123"); // at most three characters
}

TEST_F(MenuFixture, ScreenshotKeyTypesWhileEditing) {
    int s = code_of("s");
    g_config.screenshot_key = KeyBinding{};
    g_config.screenshot_key.key_code = s;
    g_app.window->gl = (void*)1; // a screenshot needs a drawable window; none is drawn here
    menu_open(SCREEN_RIDER);
    go_to("Name");
    press(s);
    EXPECT_EQ(g_app.screenshot_pending, 1);
    g_app.screenshot_pending = 0;
    press(enter);
    press(s);
    menu_key('s');
    EXPECT_EQ(g_app.screenshot_pending, 0);
    EXPECT_STREQ(g_config.name.text, "Joe Motocrosss");
    g_app.window->gl = nullptr;
}

TEST_F(MenuFixture, TypingEndsWhenTheMenuCloses) {
    menu_open(SCREEN_RIDER);
    go_to("Name");
    press(enter);
    press(esc);
    EXPECT_EQ(g_menu.screen, MENU_NONE);
    EXPECT_FALSE(menu_text_editing());
    press(esc);
    menu_key('x'); // the main menu is shown again; the name is left alone
    EXPECT_STREQ(g_config.name.text, "Joe Motocross");
}

TEST_F(MenuFixture, ChoosingAKeyForABinding) {
    menu_open(SCREEN_CONTROLS);
    go_to("Throttle");
    press(enter);
    EXPECT_EQ(g_menu.watching, &g_config.throttle_key);
    EXPECT_EQ(menu_item_value(page().items[menu_current_selection()]),
              "Press a key or move a stick");
    int q = code_of("q");
    press(q);
    EXPECT_EQ(g_menu.watching, nullptr);
    EXPECT_EQ(g_config.throttle_key.key_code, q);
    EXPECT_STREQ(g_config.throttle_key.key_name, "Q");
    EXPECT_EQ(g_menu.screen, SCREEN_CONTROLS);
    EXPECT_EQ(selected_label(), "Throttle"); // the key was not a menu key press

    // Esc gives up choosing and keeps the menu open.
    press(enter);
    press(esc);
    EXPECT_EQ(g_menu.watching, nullptr);
    EXPECT_EQ(g_menu.screen, SCREEN_CONTROLS);
    EXPECT_STREQ(g_config.throttle_key.key_name, "Q");

    // Delete leaves the control unbound.
    press(del);
    EXPECT_EQ(g_config.throttle_key.key_name, nullptr);
    EXPECT_EQ(g_config.throttle_key.key_code, 0);
    EXPECT_EQ(menu_item_value(page().items[menu_current_selection()]), "None");
}

TEST_F(MenuFixture, AxisBindingShowsItsRange) {
    menu_open(SCREEN_CONTROLS);
    go_to("Throttle");
    binding_parse(&g_config.throttle_key, "(0.0625,0.9375)Pad axis 2");
    EXPECT_EQ(menu_item_value(page().items[menu_current_selection()]),
              "Pad axis 2 (0.0625 to 0.9375)");
}

TEST_F(MenuFixture, GameDeviceButtonsAndStick) {
    const int pad = 7 * 65536;
    menu_key(pad + 0); // the first button chooses: Race
    EXPECT_EQ(g_menu.screen, SCREEN_RACE);
    go_to("Laps");
    menu_key(pad + 5);
    EXPECT_DOUBLE_EQ(g_config.laps.value, 6);
    menu_key(pad + 4);
    EXPECT_DOUBLE_EQ(g_config.laps.value, 5);
    menu_key(pad + 1); // the second goes back
    EXPECT_EQ(g_menu.screen, SCREEN_MAIN);

    // The stick moves at once, then after 0.4 s held, then every 0.12 s.
    EXPECT_EQ(selected_label(), "Race");
    menu_stick_step(2, 10.0);
    EXPECT_EQ(selected_label(), "Time Trial");
    menu_stick_step(2, 10.3);
    EXPECT_EQ(selected_label(), "Time Trial");
    menu_stick_step(2, 10.41);
    EXPECT_EQ(selected_label(), "Points Series");
    menu_stick_step(2, 10.5);
    EXPECT_EQ(selected_label(), "Points Series");
    menu_stick_step(2, 10.54);
    EXPECT_EQ(selected_label(), "Demo Playback");
    menu_stick_step(0, 10.6);
    menu_stick_step(1, 10.61);
    EXPECT_EQ(selected_label(), "Points Series");
}

TEST_F(MenuFixture, DemoPages) {
    // Demos written after start-up (a race just recorded) are on the list when it is shown.
    EXPECT_EQ(demolist_build(), 0);
    for (int i = 0; i < 45; i++) {
        char name[40];
        snprintf(name, sizeof name, "demos/race%02d.qzdemo", i);
        write_file(test_user_dir() + name, "QZ05 0 0 0 0\n");
    }
    open("Demo Playback");
    ASSERT_EQ(g_demo_list.demos.size(), 45u);
    MenuPage p = page();
    EXPECT_EQ(p.subtitle, "Page 1 of 3");
    EXPECT_EQ(p.items[0].label, "race00");
    EXPECT_EQ(p.items[19].label, "race19");
    EXPECT_EQ(p.items[20].label, "Playback Mode");
    press(page_down);
    press(page_down);
    press(page_down);
    p = page();
    EXPECT_EQ(g_demo_list.page, 2);
    EXPECT_EQ(p.subtitle, "Page 3 of 3");
    EXPECT_EQ(p.items[4].label, "race44");
    EXPECT_EQ(p.items[5].label, "Playback Mode");
    go_to("Previous Page");
    press(enter);
    EXPECT_EQ(g_demo_list.page, 1);
    // Leaving and coming back keeps the page.
    press(backspace);
    open("Demo Playback");
    EXPECT_EQ(g_demo_list.page, 1);
    EXPECT_EQ(page().items[0].label, "race20");
    press(page_up);
    press(page_up);
    EXPECT_EQ(g_demo_list.page, 0);
}

TEST_F(MenuFixture, RiderTablesFromTheGate) {
    int table[40];
    // The default gate is empty: the player starts alone from the first gate.
    menu_race_table(table);
    EXPECT_EQ(table[0], 1);
    for (int i = 1; i < 40; i++) EXPECT_EQ(table[i], 0);
    open("Race");
    MenuPage race = page();
    EXPECT_EQ(race.items[5].label, "Starting Gate");
    EXPECT_EQ(race.items[5].value, "You alone");

    for (Choice& c : g_config.slot) c.current = SLOT_EMPTY;
    g_config.slot[0].current = SLOT_ROBOT;
    g_config.slot[1].current = SLOT_HUMAN;
    g_config.slot[2].current = SLOT_ROBOT_2STROKE;
    g_config.slot[3].current = SLOT_ROBOT_4STROKE;
    EXPECT_EQ(page().items[5].value, "You + 3 robots");
    menu_race_table(table);
    EXPECT_EQ(table[0], 2);
    EXPECT_EQ(table[1], 1);
    EXPECT_EQ(table[2], 3);
    EXPECT_EQ(table[3], 4);
    for (int i = 4; i < 40; i++) EXPECT_EQ(table[i], 0);

    // After races with "--rotate-lineup 3", entry i goes to (i + 3k) mod 40.
    g_menu_data.lineup_rotation = 39;
    menu_race_table(table);
    EXPECT_EQ(table[39], 2);
    EXPECT_EQ(table[0], 1);
    EXPECT_EQ(table[1], 3);

    // Demo playback: every slot a demo rider; racing against it puts the player at the first
    // human gate.
    menu_demo_table(0, table);
    for (int i = 0; i < 40; i++) EXPECT_EQ(table[i], 0);
    menu_demo_table(1, table);
    EXPECT_EQ(table[1], 1);
    EXPECT_EQ(table[0], 0);
    g_config.slot[1].current = SLOT_ROBOT;
    menu_demo_table(1, table);
    EXPECT_EQ(table[0], 1);
}

TEST_F(MenuFixture, GateShortcuts) {
    menu_open(SCREEN_GATE);
    go_to("You and 39 Robots");
    press(enter);
    EXPECT_EQ(g_config.slot[0].current, SLOT_HUMAN);
    for (int i = 1; i < 40; i++) EXPECT_EQ(g_config.slot[i].current, SLOT_ROBOT);
    go_to("Gate 40");
    press(left);
    EXPECT_EQ(g_config.slot[39].current, SLOT_HUMAN);
    go_to("Only You");
    press(enter);
    EXPECT_EQ(g_config.slot[0].current, SLOT_HUMAN);
    for (int i = 1; i < 40; i++) EXPECT_EQ(g_config.slot[i].current, SLOT_EMPTY);
}

TEST_F(MenuFixture, RaceScreenDescribesTheRace) {
    open("Race");
    EXPECT_EQ(page().subtitle, "5 laps");
    g_config.minutes.value = 10;
    EXPECT_EQ(page().subtitle, "10 minutes + 5 laps");
    g_config.laps.value = 0;
    EXPECT_EQ(page().subtitle, "10 minutes");
    g_config.minutes.value = 0;
    g_config.laps.value = 5;
}

TEST_F(MenuFixture, StartingWithoutARaceSessionSaysSo) {
    // The race session refuses (no track can be loaded here): a notice names the track and
    // leads back to the race screen.
    open("Race");
    g_settings.rotate_lineup = 3;
    EXPECT_EQ(menu_start_race(), 0);
    EXPECT_EQ(g_menu.screen, SCREEN_NOTICE);
    EXPECT_EQ(g_menu.notice_text, "The race could not be started on Rabbit Hill.");
    EXPECT_EQ(g_menu.lineup_rotation, 0);
    EXPECT_EQ(g_session.race_laps, 5);
    press(enter);
    EXPECT_EQ(g_menu.screen, SCREEN_RACE);
}

TEST_F(MenuFixture, RecordingIsRefusedWhenRacingAgainstTheRecording) {
    log_printf("start\n");
    demolist_add("demos/default.qzdemo", "default");
    g_config.playback_mode.current = 1;
    g_config.record.current = YES;
    menu_start_demo(0);
    // The fixture has no track, so the failed start says so too: the refusal is among the lines.
    bool shown = false;
    for (int i = 0; i < g_messages.visible; i++)
        shown |= strcmp(messages_visible(i),
                        "Can't record and play from same file - recording disabled") == 0;
    EXPECT_TRUE(shown);
}

TEST_F(MenuFixture, WindowSizes) {
    g_config.xres = 1000;
    g_config.yres = 700;
    const std::vector<std::string>& sizes = menu_window_sizes();
    ASSERT_GE(sizes.size(), 3u);
    EXPECT_EQ(sizes[g_menu.window_size], "1000x700");
    EXPECT_EQ(sizes[g_menu.window_size - 1], "800x600");
    EXPECT_EQ(sizes[g_menu.window_size + 1], "1024x768");
    menu_open(SCREEN_GRAPHICS);
    go_to("Window Size");
    press(right);
    EXPECT_EQ(g_config.xres, 1024);
    EXPECT_EQ(g_config.yres, 768);
    press(left);
    press(left);
    EXPECT_EQ(g_config.xres, 640);
    EXPECT_EQ(g_config.yres, 480);
}

TEST_F(MenuFixture, ServerHistoryFillsTheServerName) {
    config_server_history_add("race.example.org");
    config_server_history_add("10.0.0.2:19801");
    menu_open(SCREEN_MULTIPLAYER);
    go_to("race.example.org");
    press(enter);
    EXPECT_STREQ(g_config.server_name.text, "race.example.org");
}

TEST_F(MenuFixture, ConsoleLineTypesAndScrolls) {
    menu_show(SCREEN_CONSOLE);
    EXPECT_TRUE(menu_text_editing());
    for (char c : std::string("hi")) menu_key((unsigned char)c);
    EXPECT_STREQ(g_menu.console_line, "hi");
    press(page_up);
    press(page_up);
    EXPECT_EQ(menu_message_scroll(), 2);
    press(code_of("page down"));
    EXPECT_EQ(menu_message_scroll(), 1);
}

// Every setting of the configuration file can be reached from some menu screen.
TEST_F(MenuFixture, EverySettingIsReachable) {
    for (int i = 0; i < CONFIG_SERVER_HISTORY; i++) {
        char name[32];
        snprintf(name, sizeof name, "server%d", i);
        config_server_history_add(name);
    }
    std::set<const void*> seen;
    bool window_size = false;
    for (int s = 0; s < SCREEN_COUNT; s++) {
        MenuPage p;
        menu_build(s, &p);
        for (const MenuItem& it : p.items) {
            for (const void* ptr :
                 {(const void*)it.choice, (const void*)it.slider, (const void*)it.number,
                  (const void*)it.text, (const void*)it.binding})
                if (ptr) seen.insert(ptr);
            window_size |= it.label == "Window Size";
            if (s == SCREEN_MULTIPLAYER && it.kind == ITEM_ACTION && it.action)
                seen.insert(&g_config.server_name_hist[it.arg]);
        }
    }
    Config& c = g_config;
    EXPECT_TRUE(window_size); // "xres" and "yres"
    std::vector<std::pair<const char*, const void*>> all = {
        {"draw_fps", &c.draw_fps},
        {"draw_time", &c.draw_time},
        {"draw_ping", &c.draw_ping},
        {"spy", &c.spy},
        {"record", &c.record},
        {"skill", &c.skill},
        {"minutes", &c.minutes},
        {"laps", &c.laps},
        {"ghost_fade_distance", &c.ghost_fade_distance},
        {"time_trial_abort", &c.time_trial_abort},
        {"bike", &c.bike},
        {"name", &c.name},
        {"number", &c.number},
        {"rider_texture", &c.rider_texture},
        {"head_texture", &c.head_texture},
        {"bike_texture", &c.bike_texture},
        {"wheel_texture", &c.wheel_texture},
        {"stability", &c.stability},
        {"leveling", &c.leveling},
        {"roll_damping", &c.roll_damping},
        {"roll_limit_angle", &c.roll_limit_angle},
        {"roll_limit_factor", &c.roll_limit_factor},
        {"steering_damping", &c.steering_damping},
        {"steering_strength", &c.steering_strength},
        {"max_steering_force", &c.max_steering_force},
        {"direct_steering", &c.direct_steering},
        {"slow_damping_speed", &c.slow_damping_speed},
        {"slow_damping_factor", &c.slow_damping_factor},
        {"land_damping_falloff", &c.land_damping_falloff},
        {"land_damping_factor", &c.land_damping_factor},
        {"arcade", &c.arcade},
        {"front_brake", &c.front_brake},
        {"rear_brake", &c.rear_brake},
        {"stop_wheelies", &c.stop_wheelies},
        {"auto_shift", &c.auto_shift},
        {"auto_dab", &c.auto_dab},
        {"sticky_dab", &c.sticky_dab},
        {"reverse_steering", &c.reverse_steering},
        {"lean_indicator", &c.lean_indicator},
        {"auto_clutch_rpms", &c.auto_clutch_rpms},
        {"brake_torque", &c.brake_torque},
        {"rear_brake_torque", &c.rear_brake_torque},
        {"max_dab_speed", &c.max_dab_speed},
        {"front_sprocket_adjustment", &c.front_sprocket_adjustment},
        {"rear_sprocket_adjustment", &c.rear_sprocket_adjustment},
        {"fork_compression_adjustment", &c.fork_compression_adjustment},
        {"fork_rebound_adjustment", &c.fork_rebound_adjustment},
        {"fork_spring_rate_adjustment", &c.fork_spring_rate_adjustment},
        {"fork_preload_adjustment", &c.fork_preload_adjustment},
        {"fork_oil_level_adjustment", &c.fork_oil_level_adjustment},
        {"shock_compression_adjustment", &c.shock_compression_adjustment},
        {"shock_rebound_adjustment", &c.shock_rebound_adjustment},
        {"shock_spring_rate_adjustment", &c.shock_spring_rate_adjustment},
        {"shock_preload_adjustment", &c.shock_preload_adjustment},
        {"rider_yspring", &c.rider_yspring},
        {"rider_ydamping", &c.rider_ydamping},
        {"rider_zspring", &c.rider_zspring},
        {"rider_zdamping", &c.rider_zdamping},
        {"rider_mass_distribution", &c.rider_mass_distribution},
        {"video_mode", &c.video_mode},
        {"server_name", &c.server_name},
        {"ground_detail", &c.ground_detail},
        {"ground_texture_detail", &c.ground_texture_detail},
        {"ground_texture_dim", &c.ground_texture_dim},
        {"ground_mipmaps", &c.ground_mipmaps},
        {"use_fbo", &c.use_fbo},
        {"use_shader", &c.use_shader},
        {"roost_density", &c.roost_density},
        {"lens_flare", &c.lens_flare},
        {"hide_rider", &c.hide_rider},
        {"rigid_camera", &c.rigid_camera},
        {"model_detail", &c.model_detail},
        {"model_texture_detail", &c.model_texture_detail},
        {"fov", &c.fov},
        {"first_person_height", &c.first_person_height},
        {"first_person_angle", &c.first_person_angle},
        {"volume", &c.volume},
        {"playback_mode", &c.playback_mode},
        {"billboard_optimize_lookahead", &c.billboard_optimize_lookahead},
    };
    for (int i = 0; i < CONFIG_SLOTS; i++) all.push_back({"slot", &c.slot[i]});
    for (int i = 0; i < CONFIG_SERVER_HISTORY; i++)
        all.push_back({"server_name_hist", &c.server_name_hist[i]});
    for (int i = 0; i < CONFIG_BINDINGS; i++)
        all.push_back({config_binding_key(i), config_binding(i)});
    for (auto& [key, ptr] : all) EXPECT_TRUE(seen.count(ptr)) << key;
}

TEST_F(MenuFixture, AppearanceListsFollowTheData) {
    std::string crf = bike_texture_prefix(bike_info_find("crf250(2009)"));
    std::string kx = bike_texture_prefix(bike_info_find("kx250f(2009)"));
    ASSERT_NE(crf, kx);
    std::vector<std::string> files = {
        "rider_body-red.png",   "rider_body-blue.png", "textures/wheels-gold.png",
        "rider_head-white.png", crf + "race.png",      kx + "green.png",
        kx + "lime.png"};
    for (const std::string& name : files) write_file(test_game_dir() + "/" + name, "x");
    appearance_lists_build();
    ASSERT_EQ(g_config.rider_texture.options.size(), 3u);
    EXPECT_STREQ(g_config.rider_texture.options[0], "default");
    EXPECT_STREQ(g_config.rider_texture.options[1], "blue");
    EXPECT_STREQ(g_config.rider_texture.options[2], "red");
    EXPECT_EQ(appearance_texture(LOOK_RIDER), nullptr); // the default is the bike's own
    ASSERT_EQ(g_config.wheel_texture.options.size(), 2u);
    EXPECT_STREQ(g_config.bike_texture.options[1], "race");

    menu_open(SCREEN_RIDER);
    go_to("Riding Gear");
    press(left);
    EXPECT_STREQ(appearance_texture(LOOK_RIDER), "@rider_body-red.png");

    // Another bike has other graphics; the list starts again at "default".
    menu_open(SCREEN_BIKE);
    go_to("Bike Graphics");
    press(right);
    EXPECT_STREQ(g_config.bike_texture.text(), "race");
    go_to("Bike");
    press(right);
    EXPECT_STREQ(g_config.bike.text(), "kx250f(2009)");
    ASSERT_EQ(g_config.bike_texture.options.size(), 3u);
    EXPECT_EQ(g_config.bike_texture.current, 0);
    EXPECT_STREQ(g_config.bike_texture.options[2], "lime");
    EXPECT_EQ(appearance_texture(LOOK_BIKE), nullptr);

    // A configuration file naming the bike rebuilds the list before its graphics line.
    write_file(test_user_dir() + "config", "bike_texture=green\nbike=crf250(2009)\n");
    config_read();
    EXPECT_STREQ(g_config.bike_texture.text(), "default");
    write_file(test_user_dir() + "config", "bike=kx250f(2009)\nbike_texture=green\n");
    config_read();
    EXPECT_STREQ(g_config.bike_texture.text(), "green");
    EXPECT_STREQ(appearance_texture(LOOK_BIKE), ("@" + kx + "green.png").c_str());
}

} // namespace

// HUD layout without GL: the instruments, the overlay texts and their formats, the results
// board's colours and bands, the message lines, "Paused" and the title screen.
#include <gtest/gtest.h>
#include <ode/ode.h>

#include <cmath>
#include <string>

#include "app/app.h"
#include "core/config.h"
#include "core/settings.h"
#include "bike/bike.h"
#include "bike/world.h"
#include "platform/messages.h"
#include "race/session.h"
#include "race/session_internal.h"
#include "ui/hud.h"
#include "ui/menu.h"
#include "ui/text.h"

namespace {

constexpr float PI = 3.14159265358979f;

struct HudFixture : ::testing::Test {
    void SetUp() override {
        g_app = App{};
        session_reset();
        hud_reset();
    }
    void TearDown() override { session_reset(); }
};

HudInput screen(int w, int h) {
    HudInput in;
    in.width = w;
    in.height = h;
    return in;
}

TEST_F(HudFixture, TachometerNeedleSweepsTheDial) {
    EXPECT_NEAR(hud_tach_angle(0), 0.75f * PI, 1e-5);
    EXPECT_NEAR(hud_tach_angle(7000), 1.5f * PI, 1e-5);
    EXPECT_NEAR(hud_tach_angle(14000), 2.25f * PI, 1e-5);
    EXPECT_NEAR(hud_tach_angle(30000), 0.75f * PI + 1.5f * PI * 1.02f, 1e-5);
    EXPECT_NEAR(hud_tach_angle(-500), 0.75f * PI - 1.5f * PI * 0.02f, 1e-5);

    HudInput in = screen(800, 600);
    in.have_bike = 1;
    in.rpm = 7000; // straight up on the dial
    in.tach_texture = 5;
    HudModel m;
    hud_layout_instruments(in, &m);
    const HudItem* dial = nullptr;
    const HudItem* needle = nullptr;
    for (const HudItem& it : m.items) {
        if (it.kind == HUD_IMAGE && it.texture == 5) dial = &it;
        if (it.kind == HUD_LINE && !needle) needle = &it;
    }
    ASSERT_TRUE(dial && needle);
    // The dial is 0.3 of the height, 0.02 of the height in from the lower right corner.
    EXPECT_FLOAT_EQ(dial->x1, 800 - 12);
    EXPECT_FLOAT_EQ(dial->y1, 600 - 12);
    EXPECT_FLOAT_EQ(dial->x1 - dial->x0, 180);
    float cx = (dial->x0 + dial->x1) / 2, cy = (dial->y0 + dial->y1) / 2;
    EXPECT_NEAR(needle->x1, cx, 1e-3);
    EXPECT_NEAR(needle->y1, cy - 180 * 0.4f, 1e-3);
}

TEST_F(HudFixture, GearSpeedAndLean) {
    HudInput in = screen(800, 600);
    in.have_bike = 1;
    in.gear = 2;
    in.speed_mph = 30.6f;
    in.lean = 1; // all the way back: the mark at the bottom of the gauge
    HudModel m;
    hud_layout_instruments(in, &m);
    EXPECT_TRUE(m.find_text("3"));
    EXPECT_TRUE(m.find_text("31"));
    EXPECT_TRUE(m.find_text("mph"));
    int circles = m.count(HUD_CIRCLE);
    in.lean_indicator = 0;
    HudModel without;
    hud_layout_instruments(in, &without);
    EXPECT_EQ(without.count(HUD_CIRCLE), circles - 1);

    in.have_bike = 0;
    HudModel none;
    hud_layout_instruments(in, &none);
    EXPECT_TRUE(none.items.empty());
}

TEST_F(HudFixture, GearBoxListsTheBikesOwnGears) {
    HudInput in = screen(800, 600);
    in.have_bike = 1;
    in.gear = 0;
    int labels[7] = {};
    for (int count : {5, 6, 4}) {
        in.gear_count = count;
        HudModel m;
        hud_layout_instruments(in, &m);
        // Small labels beside the bar (the big gear number is "1" here, so count "N".."6").
        int shown = 0;
        for (const char* label : {"N", "2", "3", "4", "5", "6"})
            shown += m.find_text(label) != nullptr;
        labels[count] = shown;
        EXPECT_EQ(m.find_text("6") != nullptr, count >= 6) << count;
        EXPECT_EQ(m.find_text("5") != nullptr, count >= 5) << count;
    }
    EXPECT_EQ(labels[6], 6);
    EXPECT_EQ(labels[5], 5);
    EXPECT_EQ(labels[4], 4);
}

TEST_F(HudFixture, PitBoardCarriesTheInRaceLine) {
    HudInput in = screen(800, 600);
    in.have_bike = 1;
    in.plate = "42";
    HudModel plain;
    hud_layout_instruments(in, &plain);
    EXPECT_TRUE(plain.find_text("#42"));

    in.have_line = 1;
    in.line = {"42", "L2 P3", "-1.5 ", "Last - 1:02.3 ", ""};
    HudModel m;
    hud_layout_instruments(in, &m);
    const HudItem* head = m.find_text("#42  L2 P3");
    const HudItem* gap = m.find_text("-1.5 ");
    const HudItem* last = m.find_text("Last - 1:02.3 ");
    ASSERT_TRUE(head && gap && last);
    EXPECT_LT(head->y0, gap->y0);
    EXPECT_LT(gap->y0, last->y0);
    EXPECT_EQ(gap->x0, last->x0);
    EXPECT_LT(last->y0, 600 * 0.2f); // on the board at the top left
}

TEST_F(HudFixture, OverlayLinesAsTheSettingsSay) {
    HudInput in = screen(1000, 600);
    HudModel none;
    hud_layout_overlay(in, &none);
    EXPECT_TRUE(none.items.empty());

    in.show_fps = 1;
    in.fps = 57;
    in.show_ping = 1;
    in.ping_ms = 80;
    in.ping_offset_ms = -23;
    in.show_stats = 1;
    in.stats[0] = 1200;
    in.stats_max[0] = 1500;
    in.stats[6] = 3;
    in.stats_max[6] = 4;
    in.clock = "Time - 1:05.3 ";
    HudModel m;
    hud_layout_overlay(in, &m);
    const HudItem* fps = m.find_text("FPS - 57");
    ASSERT_TRUE(fps);
    EXPECT_EQ(fps->align, ALIGN_RIGHT);
    EXPECT_FLOAT_EQ(fps->x0, 1000 - 12);
    EXPECT_TRUE(m.find_text("Ping - 80ms (-23ms offset)"));
    EXPECT_TRUE(m.find_text("Ground polygons - 1200 max=1500"));
    EXPECT_TRUE(m.find_text("Model polygons - 0 max=0"));
    EXPECT_TRUE(m.find_text("Shader Changes - 3 max=4"));
    const HudItem* clock = m.find_text("Time - 1:05.3 ");
    ASSERT_TRUE(clock);
    EXPECT_EQ(clock->align, ALIGN_CENTRE);
    EXPECT_FLOAT_EQ(clock->x0, 500);
    EXPECT_EQ(hud_stat_line(-1, 60, 0), "FPS - 60");
    EXPECT_EQ(hud_stat_line(4, 7, 9), "Decals - 7 max=9");
    EXPECT_EQ(hud_stat_line(3, 1, 2), "Billboards - 1 max=2");
    EXPECT_EQ(hud_stat_line(5, 5, 6), "Texture Changes - 5 max=6");
}

TEST_F(HudFixture, LappingWarningOnABlueBand) {
    HudInput in = screen(800, 600);
    in.lapping = "12 7";
    HudModel m;
    hud_layout_overlay(in, &m);
    const HudItem* t = m.find_text("12 7");
    ASSERT_TRUE(t);
    bool band = false;
    for (const HudItem& it : m.items)
        if (it.kind == HUD_RECT && it.colour == IM_COL32(0, 128, 255, 128) && it.y0 <= t->y0 &&
            it.y1 > t->y0)
            band = true;
    EXPECT_TRUE(band);
}

TEST_F(HudFixture, ResultsBoardRowsColoursAndBands) {
    HudInput in = screen(800, 600);
    in.have_board = 1;
    in.board.title = "Unofficial Results";
    for (int i = 0; i < 4; i++) {
        ResultsBoardRow r{};
        r.number = " " + std::to_string(10 + i);
        r.laps = "L5";
        r.gap = "  1.250";
        r.best = "1:01.500";
        r.best_lap = "(3)";
        r.viewed = i == 2;
        in.board.rows.push_back(r);
    }
    HudModel m;
    hud_layout_overlay(in, &m);
    EXPECT_TRUE(m.find_text("Unofficial Results"));
    for (const char* head : {"No.", "Lap", "Gap", "Best Time", "BLap"})
        EXPECT_TRUE(m.find_text(head)) << head;
    const ImU32 white = IM_COL32(255, 255, 255, 255), grey = IM_COL32(191, 191, 191, 255);
    EXPECT_EQ(m.find_text(" 12")->colour, white);
    EXPECT_EQ(m.find_text(" 11")->colour, grey);
    EXPECT_EQ(m.find_text(" 13")->colour, grey);
    // Rows 2 and 4 have a darker band behind them.
    int bands = 0;
    for (const HudItem& it : m.items)
        if (it.kind == HUD_RECT && it.colour == IM_COL32(0, 0, 0, 90)) bands++;
    EXPECT_EQ(bands, 2);

    in.board.title = "Final Results";
    in.board.total = "Total Race Time: 5:10.250";
    in.board.penalties = {" 11 penalized 7.00 seconds for cutting track"};
    HudModel f;
    hud_layout_overlay(in, &f);
    EXPECT_TRUE(f.find_text("Final Results"));
    const HudItem* total = f.find_text("Total Race Time: 5:10.250");
    const HudItem* pen = f.find_text(" 11 penalized 7.00 seconds for cutting track");
    ASSERT_TRUE(total && pen);
    EXPECT_LT(total->y0, pen->y0);
    EXPECT_GT(total->y0, f.find_text(" 13")->y0);

    // A full gate still fits on the screen.
    in.board.rows.resize(40, in.board.rows[0]);
    HudModel full;
    hud_layout_overlay(in, &full);
    for (const HudItem& it : full.items) EXPECT_LE(it.y0, 600) << it.text;
}

TEST_F(HudFixture, MessagesNewestLastAndScrolledBack) {
    messages_clear();
    for (int i = 1; i <= 7; i++) post_message(("line " + std::to_string(i)).c_str());
    std::vector<std::string> v = hud_message_lines(0);
    ASSERT_EQ(v.size(), 5u);
    EXPECT_EQ(v.front(), "line 3");
    EXPECT_EQ(v.back(), "line 7");
    v = hud_message_lines(2);
    ASSERT_EQ(v.size(), 5u);
    EXPECT_EQ(v.front(), "line 1");
    EXPECT_EQ(v.back(), "line 5");
    v = hud_message_lines(5); // only lines 1 and 2 lie that far back
    ASSERT_EQ(v.size(), 2u);
    EXPECT_EQ(v[0], "line 1");
    EXPECT_EQ(v[1], "line 2");

    g_messages.visible = 2; // three have expired
    v = hud_message_lines(0);
    ASSERT_EQ(v.size(), 2u);
    EXPECT_EQ(v[0], "line 6");

    HudInput in = screen(800, 600);
    in.messages = {"first", "second"};
    HudModel m;
    hud_layout_overlay(in, &m);
    ASSERT_TRUE(m.find_text("first") && m.find_text("second"));
    EXPECT_LT(m.find_text("first")->y0, m.find_text("second")->y0);
    float bottom = m.find_text("second")->y0;
    in.console_open = 1;
    HudModel c;
    hud_layout_overlay(in, &c);
    EXPECT_LT(c.find_text("second")->y0, bottom); // above the console line
}

TEST_F(HudFixture, PausedAndWarmup) {
    HudModel m;
    hud_layout_pause(900, 600, &m);
    const HudItem* p = m.find_text("Paused");
    ASSERT_TRUE(p);
    EXPECT_FLOAT_EQ(p->x0, 450);
    EXPECT_EQ(p->align, ALIGN_CENTRE);
    EXPECT_FLOAT_EQ(p->size, 600 * 2.0f / 30.0f);
    EXPECT_EQ(p->colour, IM_COL32(255, 255, 255, 255));
    EXPECT_LT(p->y0, 600 * 0.25f);
    float paused_y = p->y0;
    hud_layout_warmup(900, 600, &m);
    const HudItem* w = m.find_text("Warmup mode - collisions disabled");
    ASSERT_TRUE(w);
    EXPECT_GT(w->y0, paused_y);
}

TEST_F(HudFixture, TitleFillsTheScreenKeepingItsShape) {
    g_hud.title = 9;
    g_hud.title_width = 1024;
    g_hud.title_height = 512;
    HudModel m;
    title_layout(800, 600, "", 1, &m);
    const HudItem* pic = nullptr;
    for (const HudItem& it : m.items)
        if (it.kind == HUD_IMAGE) pic = &it;
    ASSERT_TRUE(pic);
    // 600 / 512 scales the picture to 1200 x 600, centred: 200 cut off at each side.
    EXPECT_FLOAT_EQ(pic->x0, -200);
    EXPECT_FLOAT_EQ(pic->x1, 1000);
    EXPECT_FLOAT_EQ(pic->y0, 0);
    EXPECT_FLOAT_EQ(pic->y1, 600);
    EXPECT_EQ(m.count(HUD_TEXT), 0);

    HudModel hint;
    title_layout(800, 600, "", 0, &hint);
    EXPECT_TRUE(hint.find_text("Press Esc for the menu"));
    HudModel loading;
    title_layout(800, 600, "Loading bikes...", 1, &loading);
    EXPECT_TRUE(loading.find_text("Loading bikes..."));
}

TEST_F(HudFixture, InstrumentsReadTheViewedBike) {
    // A real bike (without its data files it has bodies but no models), rolling at 30 ft/s.
    g_settings.headless = 1;
    bikes_reset();
    physics_open();
    Bike* bike = bike_load("crf250(2009)", 1, "77", nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(bike, nullptr);
    for (dBodyID body : bike->bodies) dBodySetLinearVel(body, 0, 0, -30);
    bike->engine_speed = 500; // rad/s
    bike->gear = 4;
    bike->lean = -0.5f;
    g_session_data.slots[3].bike = bike;
    g_session_data.viewed_rider = 3;
    ui_set_screen_size(640, 480);
    g_config.lean_indicator.current = NO;
    HudInput in;
    hud_gather_instruments(&in);
    EXPECT_TRUE(in.have_bike);
    EXPECT_NEAR(in.rpm, 500 * 9.549296585513721, 1e-2);
    EXPECT_EQ(in.gear, 4);
    int gears = 0;
    for (float r : bike->info.gear_ratio) gears += r > 0;
    EXPECT_EQ(in.gear_count, gears);
    EXPECT_FLOAT_EQ(in.lean, -0.5f);
    EXPECT_EQ(in.plate, "77");
    EXPECT_EQ(in.lean_indicator, 0);
    EXPECT_EQ(in.width, 640);
    EXPECT_NEAR(in.speed_mph, 30 * 0.6818181818181819, 1e-3);
    g_session_data.slots[3].bike = nullptr;
    bike_free(bike);
    physics_close_contacts();
    physics_close_world();
    g_settings.headless = 0;
    HudInput empty;
    hud_gather_instruments(&empty);
    EXPECT_FALSE(empty.have_bike);
}

TEST_F(HudFixture, FrameRateCountsWholeSeconds) {
    hud_count_frame(100.0);
    for (int i = 1; i < 50; i++) hud_count_frame(100.0 + i * 0.02);
    EXPECT_EQ(g_hud.fps, 0);
    hud_count_frame(101.0); // 51 frames in 1 s
    EXPECT_EQ(g_hud.fps, 51);
}

} // namespace

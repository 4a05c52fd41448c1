// What each menu screen holds: its title and items, built from the current settings.
#include <algorithm>
#include <cstdio>

#include "core/config.h"
#include "core/settings.h"
#include "bike/bike.h"
#include "race/session.h"
#include "replay/demolist.h"
#include "track/tracklist.h"
#include "ui/appearance.h"
#include "ui/feeds.h"
#include "ui/menu.h"
#include "ui/menu_internal.h"

namespace {

MenuItem label(const std::string& text, int heading = 0) {
    MenuItem m;
    m.kind = ITEM_LABEL;
    m.label = text;
    m.heading = heading;
    return m;
}

MenuItem screen(const char* text, int target, const char* note = "") {
    MenuItem m;
    m.kind = ITEM_SCREEN;
    m.label = text;
    m.target = target;
    m.note = note;
    return m;
}

MenuItem action(const std::string& text, void (*fn)(int), int arg = 0, const char* note = "") {
    MenuItem m;
    m.kind = ITEM_ACTION;
    m.label = text;
    m.action = fn;
    m.arg = arg;
    m.note = note;
    return m;
}

MenuItem choice(Choice* c, const char* note = "", void (*changed)() = nullptr) {
    MenuItem m;
    m.kind = ITEM_CHOICE;
    m.label = c->label ? c->label : "";
    m.choice = c;
    m.note = note;
    m.changed = changed;
    return m;
}

MenuItem slider(Slider* s, const char* note = "", void (*changed)() = nullptr) {
    MenuItem m;
    m.kind = ITEM_SLIDER;
    m.label = s->label ? s->label : "";
    m.slider = s;
    m.note = note;
    m.changed = changed;
    return m;
}

MenuItem setup(Slider* s, const char* key) {
    MenuItem m = slider(s);
    m.setup_key = key;
    return m;
}

MenuItem toggle(const char* text, int* value, const char* note = "") {
    MenuItem m;
    m.kind = ITEM_TOGGLE;
    m.label = text;
    m.number = value;
    m.note = note;
    return m;
}

MenuItem number(const char* text, int* value, int lo, int hi, int step, const char* note = "") {
    MenuItem m;
    m.kind = ITEM_NUMBER;
    m.label = text;
    m.number = value;
    m.min = lo;
    m.max = hi;
    m.step = step;
    m.note = note;
    return m;
}

MenuItem text(TextSetting* t, const char* note = "") {
    MenuItem m;
    m.kind = ITEM_TEXT;
    m.label = t->label ? t->label : "";
    m.text = t;
    m.note = note;
    return m;
}

MenuItem binding(KeyBinding* b) {
    MenuItem m;
    m.kind = ITEM_BINDING;
    m.label = b->label ? b->label : "";
    m.binding = b;
    m.note = "Enter, then press a key or push a stick past half way. Delete clears it.";
    return m;
}

const char* track_title(int i) {
    return i >= 0 && i < (int)g_tracks.tracks.size() ? g_tracks.tracks[i].title.c_str() : "";
}

MenuItem track_item() {
    MenuItem m;
    m.kind = ITEM_LIST;
    m.label = "Track";
    m.list_index = g_tracks.current;
    m.list_select = tracklist_select;
    m.max = (int)g_tracks.tracks.size();
    m.list_text = track_title;
    return m;
}

void go_back(int) {
    menu_back();
}

MenuItem back() {
    return action("Back", go_back);
}

void resume(int) {
    menu_open(MENU_NONE);
}

void quit(int) {
    g_menu_data.quit_requested = 1;
}

void start_race(int) {
    menu_start_race();
}

void start_time_trial(int) {
    menu_start_time_trial();
}

void start_demo(int index) {
    menu_start_demo(index);
}

void demo_page(int dir) {
    demolist_set_page(g_demo_list.page + dir);
}

void show_series(int series) {
    g_menu_data.series = series;
    g_menu_data.series_page = 0;
    menu_open(SCREEN_STANDINGS);
}

void series_page(int dir) {
    SeriesTable t;
    int pages = feed_series_table(g_menu_data.series, 0, &t) ? std::max(t.pages, 1) : 1;
    g_menu_data.series_page = std::clamp(g_menu_data.series_page + dir, 0, pages - 1);
}

void start_series(int series) {
    menu_start_series(series);
}

void use_server(int index) {
    TextSetting& s = g_config.server_name;
    snprintf(s.text, sizeof s.text, "%.*s", s.max_len, g_config.server_name_hist[index].text);
}

void connect_server(int) {
    menu_connect();
}

void request_restart(int) {
    menu_request_restart();
}

void set_gates(int kind) {
    for (Choice& c : g_config.slot) c.current = SLOT_EMPTY;
    if (kind == SLOT_ROBOT) {
        // The player at gate 1 and a full gate of robots beside.
        for (Choice& c : g_config.slot) c.current = SLOT_ROBOT;
        config_choose(&g_config.slot[0], SLOT_HUMAN);
    } else {
        config_choose(&g_config.slot[0], SLOT_HUMAN);
    }
}

void stability_changed() {
    config_apply_stability((int)g_config.stability.value);
}

// "4-stroke, 5 speed" for the chosen bike.
std::string bike_summary() {
    const BikeInfo* info = bike_info_find(g_config.bike.text());
    int gears = bike_info_gear_count(info);
    char buf[64];
    snprintf(buf, sizeof buf, "%s, %d speed", info->two_stroke ? "2-stroke" : "4-stroke", gears);
    return buf;
}

int gate_count(int kind) {
    int n = 0;
    for (const Choice& c : g_config.slot) n += c.current == kind;
    return n;
}

// "You + 7 robots", "You alone", "12 robots".
std::string gate_summary() {
    int robots = 40 - gate_count(SLOT_EMPTY) - gate_count(SLOT_HUMAN);
    bool you = gate_count(SLOT_HUMAN) > 0 || robots == 0; // an empty gate starts you alone
    char buf[64];
    if (you && robots == 0)
        snprintf(buf, sizeof buf, "You alone");
    else if (you)
        snprintf(buf, sizeof buf, "You + %d robot%s", robots, robots == 1 ? "" : "s");
    else
        snprintf(buf, sizeof buf, "%d robot%s", robots, robots == 1 ? "" : "s");
    return buf;
}

void build_main(MenuPage* p) {
    p->title = "Main Menu";
    if (g_session.track_loaded) p->items.push_back(action("Resume", resume));
    p->items.push_back(
        screen("Race", SCREEN_RACE, "Race the robots over a number of laps or minutes."));
    p->items.push_back(
        screen("Time Trial", SCREEN_TIME_TRIAL, "Ride alone against your fastest lap."));
    p->items.push_back(
        screen("Points Series", SCREEN_SERIES, "A championship of motos on several tracks."));
    p->items.push_back(
        screen("Demo Playback", SCREEN_DEMOS, "Watch recorded races or race against them."));
    p->items.push_back(screen("Multiplayer", SCREEN_MULTIPLAYER));
    p->items.push_back(
        screen("Bike & Rider", SCREEN_BIKE, "Choose a bike, set it up and dress the rider."));
    p->items.push_back(
        screen("Options", SCREEN_OPTIONS, "Controls, riding aids, graphics and sound."));
    p->items.push_back(action("Quit", quit));
}

void build_race(MenuPage* p) {
    p->title = "Race";
    // The session's own wording of the race it would start.
    p->subtitle =
        race_description((int)(g_config.minutes.value * 60 * 128), (int)g_config.laps.value);
    p->items.push_back(track_item());
    p->items.push_back(
        slider(&g_config.laps, "Laps to ride; after a time limit, laps added to it."));
    p->items.push_back(slider(&g_config.minutes, "A time limit for the race; 0 races laps only."));
    p->items.push_back(choice(&g_config.skill));
    p->items.push_back(choice(&g_config.record, "Record the race to demos/default.qzdemo."));
    MenuItem g = screen("Starting Gate", SCREEN_GATE, "Who starts from each of the 40 gates.");
    g.value = gate_summary();
    p->items.push_back(g);
    p->items.push_back(action("Start Race", start_race));
    p->items.push_back(back());
}

void build_gate(MenuPage* p) {
    p->title = "Starting Gate";
    p->subtitle = "Who starts from each of the 40 gates";
    p->items.push_back(action("You and 39 Robots", set_gates, SLOT_ROBOT));
    p->items.push_back(action("Only You", set_gates, SLOT_EMPTY));
    for (Choice& c : g_config.slot) p->items.push_back(choice(&c));
    p->items.push_back(back());
}

void build_time_trial(MenuPage* p) {
    p->title = "Time Trial";
    p->subtitle = "Every lap is an attempt; the fastest one rides along as a ghost";
    p->items.push_back(track_item());
    p->items.push_back(choice(&g_config.time_trial_abort, "Back up to restart the attempt."));
    p->items.push_back(slider(&g_config.ghost_fade_distance, "Ghosts closer than this fade out."));
    p->items.push_back(action("Start Time Trial", start_time_trial));
    p->items.push_back(back());
}

void build_series(MenuPage* p) {
    p->title = "Points Series";
    int n = feed_series_count();
    for (int i = 0; i < n; i++) p->items.push_back(action(feed_series_title(i), show_series, i));
    if (n == 0) p->items.push_back(label("No points series are available."));
    p->items.push_back(back());
}

void build_standings(MenuPage* p) {
    SeriesTable t;
    int have = feed_series_table(g_menu_data.series, g_menu_data.series_page, &t);
    p->title = have ? t.heading : "Points Series";
    p->table = have;
    MenuItem start = action("Start Next Event", start_series, g_menu_data.series);
    start.disabled = !have || t.complete;
    p->items.push_back(start);
    if (have && t.pages > 1) {
        char sub[48];
        snprintf(sub, sizeof sub, "Rounds page %d of %d", g_menu_data.series_page + 1, t.pages);
        p->subtitle = sub;
        MenuItem prev = action("Earlier Rounds", series_page, -1);
        prev.disabled = g_menu_data.series_page == 0;
        MenuItem next = action("Later Rounds", series_page, 1);
        next.disabled = g_menu_data.series_page >= t.pages - 1;
        p->items.push_back(prev);
        p->items.push_back(next);
    }
    p->items.push_back(back());
}

void build_demos(MenuPage* p) {
    int count = (int)g_demo_list.demos.size();
    int pages = demolist_pages();
    demolist_set_page(g_demo_list.page);
    p->title = "Demo Playback";
    char sub[48];
    snprintf(sub, sizeof sub, "Page %d of %d", g_demo_list.page + 1, pages);
    p->subtitle = sub;
    int first = g_demo_list.page * DEMO_PAGE_ROWS;
    for (int i = first; i < std::min(count, first + DEMO_PAGE_ROWS); i++)
        p->items.push_back(action(g_demo_list.demos[i].title, start_demo, i));
    if (count == 0) p->items.push_back(label("No demos yet: switch on Record Demo in Race."));
    p->items.push_back(
        choice(&g_config.playback_mode, "Race Against puts you among the recorded riders."));
    MenuItem prev = action("Previous Page", demo_page, -1);
    prev.disabled = g_demo_list.page == 0;
    MenuItem next = action("Next Page", demo_page, 1);
    next.disabled = g_demo_list.page >= pages - 1;
    p->items.push_back(prev);
    p->items.push_back(next);
    p->items.push_back(back());
}

void build_multiplayer(MenuPage* p) {
    p->title = "Multiplayer";
    p->subtitle = "Race other riders on a race server";
    p->items.push_back(
        text(&g_config.server_name, "Host name or address, with :port when not 19800."));
    bool any = false;
    for (int i = 0; i < CONFIG_SERVER_HISTORY; i++) {
        const char* h = g_config.server_name_hist[i].text;
        if (!h[0]) continue;
        if (!any) p->items.push_back(label("Recent servers", 1));
        any = true;
        p->items.push_back(action(h, use_server, i, "Use this server."));
    }
    std::string status = feed_net_status();
    if (status.empty()) {
        p->items.push_back(action("Connect", connect_server, 0, "Join the race on this server."));
    } else {
        p->items.push_back(label(status, 1));
        p->items.push_back(action("Disconnect", connect_server, 0, "Leave the race server."));
        MenuItem restart = action("Request Restart", request_restart, 0,
                                  "Ask the server to start the race (or a new one) now.");
        restart.disabled = !feed_net_can_restart();
        p->items.push_back(restart);
    }
    p->items.push_back(back());
}

void build_bike(MenuPage* p) {
    p->title = "Bike & Rider";
    p->subtitle = bike_summary();
    p->items.push_back(choice(&g_config.bike, "", appearance_bike_changed));
    p->items.push_back(choice(&g_config.bike_texture));
    p->items.push_back(choice(&g_config.wheel_texture));
    p->items.push_back(screen("Rider", SCREEN_RIDER, "Name, number, riding gear and helmet."));
    p->items.push_back(screen("Bike Setup", SCREEN_SETUP, "Gearing, suspension and brakes."));
    p->items.push_back(back());
}

void build_rider(MenuPage* p) {
    p->title = "Rider";
    p->items.push_back(text(&g_config.name, "Enter to type, Enter again to keep it."));
    p->items.push_back(text(&g_config.number, "Up to three characters on the plates."));
    p->items.push_back(choice(&g_config.rider_texture));
    p->items.push_back(choice(&g_config.head_texture));
    p->items.push_back(back());
}

void build_setup(MenuPage* p) {
    Config& c = g_config;
    p->title = "Bike Setup";
    p->subtitle = c.bike.text();
    p->items.push_back(label("Gearing", 1));
    p->items.push_back(setup(&c.front_sprocket_adjustment, "front_sprocket_adjustment"));
    p->items.push_back(setup(&c.rear_sprocket_adjustment, "rear_sprocket_adjustment"));
    p->items.push_back(label("Fork", 1));
    p->items.push_back(setup(&c.fork_compression_adjustment, "fork_compression_adjustment"));
    p->items.push_back(setup(&c.fork_rebound_adjustment, "fork_rebound_adjustment"));
    p->items.push_back(setup(&c.fork_spring_rate_adjustment, "fork_spring_rate_adjustment"));
    p->items.push_back(setup(&c.fork_preload_adjustment, "fork_preload_adjustment"));
    p->items.push_back(setup(&c.fork_oil_level_adjustment, "fork_oil_level_adjustment"));
    p->items.push_back(label("Shock", 1));
    p->items.push_back(setup(&c.shock_compression_adjustment, "shock_compression_adjustment"));
    p->items.push_back(setup(&c.shock_rebound_adjustment, "shock_rebound_adjustment"));
    p->items.push_back(setup(&c.shock_spring_rate_adjustment, "shock_spring_rate_adjustment"));
    p->items.push_back(setup(&c.shock_preload_adjustment, "shock_preload_adjustment"));
    p->items.push_back(label("Rider", 1));
    p->items.push_back(slider(&c.rider_yspring));
    p->items.push_back(slider(&c.rider_ydamping));
    p->items.push_back(slider(&c.rider_zspring));
    p->items.push_back(slider(&c.rider_zdamping));
    p->items.push_back(slider(&c.rider_mass_distribution));
    p->items.push_back(label("Brakes and Engine", 1));
    p->items.push_back(slider(&c.brake_torque));
    p->items.push_back(slider(&c.rear_brake_torque));
    p->items.push_back(choice(&c.front_brake, "Antilock lets go while the wheel slides."));
    p->items.push_back(choice(&c.rear_brake));
    p->items.push_back(slider(&c.auto_clutch_rpms, "The clutch slips below this engine speed."));
    p->items.push_back(choice(&c.auto_shift));
    p->items.push_back(back());
}

void build_options(MenuPage* p) {
    p->title = "Options";
    p->items.push_back(screen("Controls", SCREEN_CONTROLS, "Keys, buttons and sticks."));
    p->items.push_back(screen("Riding Aids", SCREEN_AIDS, "Balance, steering and dab assists."));
    p->items.push_back(screen("Graphics", SCREEN_GRAPHICS, "Video mode, view and detail."));
    p->items.push_back(screen("Sound & Display", SCREEN_SOUND, "Volume and what the HUD shows."));
    p->items.push_back(back());
}

void build_controls(MenuPage* p) {
    Config& c = g_config;
    p->title = "Controls";
    p->items.push_back(label("Riding", 1));
    for (int i = 0; i < 12; i++) p->items.push_back(binding(config_binding(i)));
    p->items.push_back(choice(&c.reverse_steering));
    p->items.push_back(choice(&c.sticky_dab, "Tap Sit/Dab once to sit, again to stand."));
    p->items.push_back(label("Game", 1));
    for (int i = 12; i < CONFIG_BINDINGS; i++) p->items.push_back(binding(config_binding(i)));
    p->items.push_back(back());
}

void build_aids(MenuPage* p) {
    Config& c = g_config;
    p->title = "Riding Aids";
    p->items.push_back(choice(&c.arcade, "Arcade physics keeps the bike easier to balance."));
    p->items.push_back(
        slider(&c.stability, "Sets the balance and steering values below.", stability_changed));
    for (Slider* s : {&c.leveling, &c.roll_damping, &c.roll_limit_angle, &c.roll_limit_factor,
                      &c.steering_damping, &c.steering_strength, &c.max_steering_force,
                      &c.direct_steering, &c.slow_damping_speed, &c.slow_damping_factor,
                      &c.land_damping_falloff, &c.land_damping_factor})
        p->items.push_back(slider(s));
    p->items.push_back(choice(&c.stop_wheelies));
    p->items.push_back(choice(&c.auto_dab));
    p->items.push_back(slider(&c.max_dab_speed));
    p->items.push_back(back());
}

void build_graphics(MenuPage* p) {
    Config& c = g_config;
    const char* next_start = "Takes effect the next time Vornix starts.";
    p->title = "Graphics";
    p->items.push_back(choice(&c.video_mode, "Choose, then Apply Video Mode."));
    p->items.push_back(action("Apply Video Mode", menu_apply_video_mode));
    MenuItem size;
    size.kind = ITEM_LIST;
    size.label = "Window Size";
    const std::vector<std::string>& sizes = menu_window_sizes(); // also finds the index
    size.list_index = g_menu_data.window_size;
    size.list_select = menu_set_window_size;
    size.max = (int)sizes.size();
    size.list_text = [](int i) {
        const std::vector<std::string>& v = menu_window_sizes();
        return i >= 0 && i < (int)v.size() ? v[i].c_str() : "";
    };
    size.note = "The size of the window in Windowed mode.";
    p->items.push_back(size);
    p->items.push_back(label("View", 1));
    p->items.push_back(slider(&c.fov));
    p->items.push_back(slider(&c.first_person_height));
    p->items.push_back(slider(&c.first_person_angle));
    p->items.push_back(choice(&c.hide_rider));
    p->items.push_back(choice(&c.rigid_camera));
    p->items.push_back(choice(&c.lens_flare));
    p->items.push_back(choice(&c.blob_shadows, "A soft shadow on the ground under every bike."));
    p->items.push_back(slider(&c.ghost_fade_distance));
    p->items.push_back(label("Detail", 1));
    for (Slider* s : {&c.ground_detail, &c.ground_texture_detail})
        p->items.push_back(slider(s, next_start));
    p->items.push_back(choice(&c.ground_texture_dim, next_start));
    for (Choice* ch : {&c.ground_mipmaps, &c.use_fbo, &c.use_shader})
        p->items.push_back(choice(ch, next_start));
    for (Slider* s : {&c.model_detail, &c.model_texture_detail, &c.roost_density})
        p->items.push_back(slider(s, next_start));
    p->items.push_back(number("Billboard Look-ahead", &c.billboard_optimize_lookahead, 0, 64, 1,
                              "Billboards looked ahead to draw those of one texture together."));
    p->items.push_back(back());
}

void build_sound(MenuPage* p) {
    Config& c = g_config;
    p->title = "Sound & Display";
    p->items.push_back(slider(&c.volume));
    p->items.push_back(choice(&c.impact_sounds, "Thumps of landings and crunches of crashes."));
    p->items.push_back(label("On-screen Display", 1));
    p->items.push_back(toggle("Show Frame Rate", &c.draw_fps));
    p->items.push_back(toggle("Show Race Clock", &c.draw_time));
    p->items.push_back(toggle("Show Ping", &c.draw_ping, "The round trip to the race server."));
    // Not a configuration line: like "--draw-render-stats", it lasts for this run.
    p->items.push_back(toggle("Show Render Statistics", &g_settings.draw_render_stats,
                              "What the last frame drew, and the most so far."));
    p->items.push_back(choice(&c.lean_indicator));
    p->items.push_back(toggle("Spy Mode", &c.spy, "Previous and Next Bike may watch any rider."));
    p->items.push_back(back());
}

void notice_ok(int) {
    menu_open(g_menu_data.notice_return);
}

void build_notice(MenuPage* p) {
    p->title = g_menu_data.notice_title;
    p->items.push_back(label(g_menu_data.notice_text));
    p->items.push_back(action("OK", notice_ok));
}

} // namespace

void menu_build(int which, MenuPage* p) {
    *p = MenuPage{};
    switch (which) {
    case SCREEN_MAIN:
        return build_main(p);
    case SCREEN_RACE:
        return build_race(p);
    case SCREEN_BIKE:
        return build_bike(p);
    case SCREEN_TIME_TRIAL:
        return build_time_trial(p);
    case SCREEN_SERIES:
        return build_series(p);
    case SCREEN_STANDINGS:
        return build_standings(p);
    case SCREEN_DEMOS:
        return build_demos(p);
    case SCREEN_RIDER:
        return build_rider(p);
    case SCREEN_SETUP:
        return build_setup(p);
    case SCREEN_CONTROLS:
        return build_controls(p);
    case SCREEN_AIDS:
        return build_aids(p);
    case SCREEN_GRAPHICS:
        return build_graphics(p);
    case SCREEN_SOUND:
        return build_sound(p);
    case SCREEN_NOTICE:
        return build_notice(p);
    case SCREEN_MULTIPLAYER:
        return build_multiplayer(p);
    case SCREEN_OPTIONS:
        return build_options(p);
    case SCREEN_GATE:
        return build_gate(p);
    default:
        p->title = "";
        return;
    }
}

// What the menus start: races, time trials, series events and demo playback, and changes of
// the video mode and the window size.
#include <algorithm>
#include <cstdio>
#include <string>

#include "core/config.h"
#include "core/settings.h"
#include "net/client.h"
#include "platform/messages.h"
#include "platform/window.h"
#include "race/demo_session.h"
#include "race/series.h"
#include "race/session.h"
#include "replay/demo.h"
#include "replay/demolist.h"
#include "track/tracklist.h"
#include "ui/appearance.h"
#include "ui/menu.h"
#include "ui/menu_internal.h"

namespace {

// Window sizes a player is likely to want; the configured size joins them when it is another.
const char* const WINDOW_SIZES[] = {"640x480",  "800x600",  "1024x768",  "1280x720", "1280x800",
                                    "1366x768", "1600x900", "1920x1080", "2560x1440"};

void start_failed(const char* what, int return_to) {
    std::string text = std::string("The ") + what + " could not be started on " +
                       (g_tracks.tracks.empty() ? std::string("this track")
                                                : g_tracks.tracks[g_tracks.current].title) +
                       ".";
    menu_notice("Can't Start", text.c_str(), return_to);
}

} // namespace

// The gate settings' option indices are the rider-table codes: Empty 0 (no demo is played, so
// the slot stays empty), Human 1, Robot 2, Robot (2 stroke) 3, Robot (4 stroke) 4. A gate left
// all empty (the settings' default) starts the player alone from gate 1: someone who chose
// Race wants to ride.
void menu_race_table(int table[40]) {
    int r = ((g_menu_data.lineup_rotation % 40) + 40) % 40;
    bool anyone = false;
    for (int i = 0; i < 40; i++) {
        table[(i + r) % 40] = g_config.slot[i].current;
        anyone |= g_config.slot[i].current != SLOT_EMPTY;
    }
    if (!anyone) table[r] = SLOT_HUMAN;
}

void menu_demo_table(int race_against, int table[40]) {
    for (int i = 0; i < 40; i++) table[i] = 0;
    if (!race_against) return;
    int me = 0;
    for (int i = 0; i < 40; i++)
        if (g_config.slot[i].current == SLOT_HUMAN) {
            me = i;
            break;
        }
    table[me] = 1;
}

int menu_start_race() {
    net_disconnect_now(); // an offline race leaves the race server
    int table[40];
    menu_race_table(table);
    int laps = (int)g_config.laps.value;
    int length = (int)(g_config.minutes.value * 60 * 128);
    ui_set_player();
    if (!session_start(table, 0, g_config.record.current == YES, length, laps,
                       g_config.skill.current)) {
        start_failed("race", SCREEN_RACE);
        return 0;
    }
    g_menu_data.lineup_rotation += g_settings.rotate_lineup;
    menu_open(MENU_NONE);
    return 1;
}

int menu_start_time_trial() {
    net_disconnect_now();
    ui_set_player();
    if (!session_start(nullptr, 0, 0, 0, 1000, g_config.skill.current)) {
        start_failed("time trial", SCREEN_TIME_TRIAL);
        return 0;
    }
    menu_open(MENU_NONE);
    return 1;
}

// The next event of a series on its track, with its minutes, laps and the series' class as
// the robots' skill. The gate: the local player first, then the series riders in the order
// the series lists them (a robot whose number is not in the robot list leaves its gate empty).
int menu_start_series(int series) {
    if (series < 0 || series >= (int)g_series.series.size()) return 0;
    const Series& s = g_series.series[(size_t)series];
    if (s.completed >= (int)s.events.size()) return 0;
    const SeriesEvent& e = s.events[(size_t)s.completed];
    if (e.track < 0 || e.track >= (int)g_tracks.tracks.size()) return 0;
    int table[MAX_RIDERS] = {};
    table[0] = RIDER_CODE_LOCAL;
    for (size_t i = 0; i < s.riders.size() && i + 1 < MAX_RIDERS; i++)
        table[i + 1] = RIDER_CODE_ROBOT_NUMBER + s.riders[i];
    net_disconnect_now();
    tracklist_select(e.track);
    ui_set_player();
    if (!session_start(table, 0, g_config.record.current == YES, e.minutes * 60 * 128, e.laps,
                       s.skill_class)) {
        menu_notice("Points Series", "The next event of this series could not be started.",
                    SCREEN_STANDINGS);
        return 0;
    }
    // Set after the start: the start records an event left unfinished before it.
    series_set_active(series, s.completed);
    menu_open(MENU_NONE);
    return 1;
}

int menu_start_demo(int index) {
    if (index < 0 || index >= (int)g_demo_list.demos.size()) return 0;
    int race_against = g_config.playback_mode.current == 1;
    int table[40];
    menu_demo_table(race_against, table);
    int local = (int)(std::find(table, table + 40, 1) - table) % 40;
    net_disconnect_now();
    ui_set_player();
    if (!session_demo_start(g_demo_list.demos[index].name.c_str(), race_against, local,
                            g_config.record.current == YES, g_config.skill.current)) {
        std::string text =
            "The demo \"" + g_demo_list.demos[index].title + "\" could not be played.";
        menu_notice("Can't Play", text.c_str(), SCREEN_DEMOS);
        return 0;
    }
    menu_open(MENU_NONE);
    return 1;
}

void menu_connect() {
    if (net_connected()) {
        net_menu_leave();
        return;
    }
    const char* name = g_config.server_name.text;
    if (!name[0]) return;
    config_server_history_add(name);
    net_connect(name);
    menu_open(MENU_NONE);
}

void menu_request_restart() {
    net_request_restart();
}

void menu_apply_video_mode(int) {
    int index = g_config.video_mode.current;
    int mode = g_settings.mode_word & 0xff;
    int w = 0, h = 0;
    if (index == 1) {
        w = g_config.xres;
        h = g_config.yres;
    } else {
        mode |= MODE_FULLSCREEN;
        if (index >= 2 && sscanf(g_config.video_mode.text(), "%dx%d", &w, &h) != 2) w = h = 0;
    }
    g_menu_data.video_mode_index = index;
    if (g_menu_data.window && g_menu_data.window->native)
        window_set_mode(g_menu_data.window, w, h, mode);
}

const std::vector<std::string>& menu_window_sizes() {
    std::vector<std::string>& sizes = g_menu_data.window_sizes;
    sizes.assign(std::begin(WINDOW_SIZES), std::end(WINDOW_SIZES));
    char mine[32];
    snprintf(mine, sizeof mine, "%dx%d", g_config.xres, g_config.yres);
    auto at = std::find(sizes.begin(), sizes.end(), mine);
    if (at == sizes.end()) {
        // Keep the list ordered by width, then height.
        auto before = std::find_if(sizes.begin(), sizes.end(), [&](const std::string& s) {
            int w = 0, h = 0;
            sscanf(s.c_str(), "%dx%d", &w, &h);
            return w > g_config.xres || (w == g_config.xres && h > g_config.yres);
        });
        at = sizes.insert(before, mine);
    }
    g_menu_data.window_size = (int)(at - sizes.begin());
    return sizes;
}

void menu_set_window_size(int index) {
    std::vector<std::string> sizes = menu_window_sizes();
    if (index < 0 || index >= (int)sizes.size()) return;
    int w = 0, h = 0;
    if (sscanf(sizes[index].c_str(), "%dx%d", &w, &h) != 2 || w <= 0 || h <= 0) return;
    config_set_window_size(w, h);
    if (g_menu_data.window && g_menu_data.window->native && g_menu_data.video_mode_index == 1)
        window_set_mode(g_menu_data.window, w, h, g_settings.mode_word & 0xff);
}

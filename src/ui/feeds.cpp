// The race session, results, series, demo and renderer modules do not offer these texts yet;
// until they do, each feed reports that there is nothing to show, so the HUD draws only what
// it can measure itself and the menus say what is not available.
#include "ui/feeds.h"

#include <algorithm>

#include "app/app.h"

#include "app/config.h"
#include "app/pending.h"
#include "platform/messages.h"
#include "race/session.h"
#include "ui/menu.h"

namespace {
struct FeedState {
    std::string chosen_demo;
    int message_scroll = 0; // lines back, 0..950
};
constexpr int MESSAGE_SCROLL_MAX = 950;
FeedState g_feeds;
} // namespace

int feed_results_board(ResultsBoard*) {
    return 0;
}

int feed_in_race(InRaceLine*) {
    return 0;
}

std::string feed_race_clock() {
    return "";
}

std::string feed_lapping_warning() {
    return "";
}

int feed_series_count() {
    return 0;
}

const char* feed_series_title(int) {
    return "";
}

int feed_series_table(int, int, SeriesTable*) {
    return 0;
}

int feed_series_start(int) {
    return 0;
}

int feed_session_start(const int* rider_table, int play_demo, int record_demo, int race_length,
                       int extra_laps) {
    return session_start(rider_table, play_demo, record_demo, race_length, extra_laps,
                         g_config.skill.current);
}

void feed_demo_choose(const char* name) {
    g_feeds.chosen_demo = name ? name : "";
}

int feed_render_stats(int counts[RENDER_STAT_COUNT]) {
    for (int i = 0; i < RENDER_STAT_COUNT; i++) counts[i] = 0;
    return 0;
}

int feed_ping_ms() {
    return net_connected() ? 0 : -1;
}

// Until the console commands exist: the page keys scroll the messages, and Enter sends a chat
// line, which without a server only says so; a command line stays as typed.
void feed_console_key(int code) {
    const int* keys = g_app.menu_keys;
    if (code == keys[MENU_KEY_PAGE_UP]) {
        g_feeds.message_scroll = std::min(g_feeds.message_scroll + 1, MESSAGE_SCROLL_MAX);
    } else if (code == keys[MENU_KEY_PAGE_DOWN]) {
        g_feeds.message_scroll = std::max(g_feeds.message_scroll - 1, 0);
    } else if (code == keys[MENU_KEY_ENTER] || code == keys[MENU_KEY_KEYPAD_ENTER]) {
        char* line = g_menu.console_line;
        if (!line[0] || line[0] == '/' || line[0] == '\\') return;
        post_message("Not connected to server");
        line[0] = 0;
    }
}

int feed_message_scroll() {
    return g_feeds.message_scroll;
}

void feeds_reset() {
    g_feeds = FeedState{};
}

// The menus' and HUD's window on the race session, results, series, renderer and network:
// each feed hands over what its owner already formats.
#include "ui/feeds.h"

#include <algorithm>

#include "app/app.h"

#include "app/config.h"
#include "app/pending.h"
#include "app/tracklist.h"
#include "platform/messages.h"
#include "race/series.h"
#include "race/session.h"
#include "render/frame.h"
#include "ui/menu.h"

namespace {
struct FeedState {
    int message_scroll = 0; // lines back, 0..950
};
constexpr int MESSAGE_SCROLL_MAX = 950;
constexpr int ROUNDS_PER_PAGE = 8;
FeedState g_feeds;

const Series* series_at(int index) {
    if (index < 0 || index >= (int)g_series.series.size()) return nullptr;
    return &g_series.series[(size_t)index];
}
} // namespace

int feed_results_board(ResultsBoard* out) {
    return g_session.track_loaded && results_board(out);
}

int feed_in_race(RaceDisplay* out) {
    return g_session.track_loaded && race_display(g_session.viewed_rider, out);
}

std::string feed_race_clock() {
    return g_session.track_loaded ? race_clock_text() : std::string();
}

std::string feed_lapping_warning() {
    return g_session.track_loaded ? lapping_warning(g_session.viewed_rider) : std::string();
}

int feed_series_count() {
    return (int)g_series.series.size();
}

const char* feed_series_title(int series) {
    const Series* s = series_at(series);
    return s ? s->title.c_str() : "";
}

// One page of the standings screen: the rider and total columns and up to 8 rounds.
int feed_series_table(int series, int page, SeriesTable* out) {
    const Series* s = series_at(series);
    if (!s) return 0;
    SeriesScreen screen;
    series_screen(*s, &screen);
    int rounds = std::max(0, (int)screen.columns.size() - 2);
    *out = SeriesTable{};
    out->heading = screen.heading;
    out->pages = std::max(1, (rounds + ROUNDS_PER_PAGE - 1) / ROUNDS_PER_PAGE);
    out->complete = s->completed >= (int)s->events.size();
    page = std::clamp(page, 0, out->pages - 1);
    int first = page * ROUNDS_PER_PAGE, last = std::min(rounds, first + ROUNDS_PER_PAGE);
    out->columns = {screen.columns.size() > 0 ? screen.columns[0] : "No.",
                    screen.columns.size() > 1 ? screen.columns[1] : "Total"};
    for (int r = first; r < last; r++) out->columns.push_back(screen.columns[(size_t)r + 2]);
    for (const SeriesRow& row : screen.rows) {
        std::vector<std::string> cells = {row.number, std::to_string(row.total)};
        for (int r = first; r < last; r++)
            cells.push_back(r < (int)row.cells.size() ? row.cells[(size_t)r] : "");
        out->rows.push_back(cells);
        out->player_row.push_back(row.local);
    }
    return 1;
}

// The next event of a series on its track, with its minutes, laps and the series' class as
// the robots' skill. The gate: the local player first, then the series riders in the order
// the series lists them (a robot whose number is not in the robot list leaves its gate empty).
int feed_series_start(int series) {
    const Series* s = series_at(series);
    if (!s || s->completed >= (int)s->events.size()) return 0;
    const SeriesEvent& e = s->events[(size_t)s->completed];
    if (e.track < 0 || e.track >= (int)g_tracks.tracks.size()) return 0;
    int table[MAX_RIDERS] = {};
    table[0] = RIDER_CODE_LOCAL;
    for (size_t i = 0; i < s->riders.size() && i + 1 < MAX_RIDERS; i++)
        table[i + 1] = RIDER_CODE_ROBOT_NUMBER + s->riders[i];
    g_tracks.current = e.track;
    std::copy(table, table + MAX_RIDERS, g_app.lineup);
    g_app.race_laps = e.laps;
    if (!session_start(table, 0, g_config.record.current == YES, e.minutes * 60 * 128, e.laps,
                       s->skill_class))
        return 0;
    // Set after the start: the start records an event left unfinished before it.
    g_series.active_series = series;
    g_series.active_event = s->completed;
    return 1;
}

int feed_session_start(const int* rider_table, int play_demo, int record_demo, int race_length,
                       int extra_laps) {
    return session_start(rider_table, play_demo, record_demo, race_length, extra_laps,
                         g_config.skill.current);
}

int feed_render_stats(int counts[RENDER_STAT_COUNT]) {
    static_assert(RENDER_STAT_COUNT == STAT_COUNT, "the HUD shows every render statistic");
    for (int i = 0; i < RENDER_STAT_COUNT; i++) counts[i] = g_render.stats.value[i];
    return 1;
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

// The menus' and HUD's window on the race session, results, series, renderer and network:
// each feed hands over what its owner already formats.
#include "ui/feeds.h"

#include <algorithm>

#include "net/client.h"
#include "race/series.h"
#include "race/session.h"
#include "render/frame.h"

namespace {
constexpr int ROUNDS_PER_PAGE = 8;

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

int feed_render_stats(int counts[RENDER_STAT_COUNT], int maxima[RENDER_STAT_COUNT]) {
    static_assert(RENDER_STAT_COUNT == STAT_COUNT, "the HUD shows every render statistic");
    for (int i = 0; i < RENDER_STAT_COUNT; i++) {
        counts[i] = g_render.stats.value[i];
        maxima[i] = g_render.stats.max[i];
    }
    return 1;
}

int feed_ping_ms() {
    return net_ping_ms();
}

int feed_ping_offset_ms() {
    return net_clock_offset_ms();
}

std::string feed_net_status() {
    if (!net_connected()) return "";
    switch (g_net.state) {
    case NET_CONTACTING:
        return "Contacting " + g_net.server_name;
    case NET_SENDING_INFO:
    case NET_TRACK_ACK:
    case NET_RIDER_ACK:
    case NET_READY:
    case NET_RESTART:
        return "Joining the race on " + g_net.server_name;
    case NET_CONNECTED:
        return g_net.my_rider == NO_SLOT ? "Warming up on " + g_net.server_name
                                         : "Racing on " + g_net.server_name;
    default:
        return "Leaving " + g_net.server_name;
    }
}

int feed_net_can_restart() {
    return net_connected() && g_net.state == NET_CONNECTED;
}

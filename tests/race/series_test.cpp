// Points series: ".series" and "_standings" files, round ranks, recording events and the
// standings screen.
#include "data/datafile.h"
#include "race/race_test_util.h"

using namespace racetest;

namespace {

std::string points(const std::vector<int>& first) {
    std::string s;
    for (int i = 0; i < 40; i++) s += std::to_string(i < (int)first.size() ? first[i] : 0) + " ";
    return s + "\n";
}

const std::vector<int> MOTO = {25, 22, 20, 18, 16, 15, 14, 13, 12, 11,
                               10, 9,  8,  7,  6,  5,  4,  3,  2,  1};
const std::vector<int> NONE = {};

std::string event(const std::string& name, const std::string& track, long long minutes,
                  long long laps, const std::vector<int>& champ) {
    return name + "\n" + track + " " + std::to_string(minutes) + " " + std::to_string(laps) + "\n" +
           points(MOTO) + points(champ);
}

// Riders 20, 45 and 81 and the player; round 1 is three motos, round 2 two.
std::string cup() {
    return "\"Test Cup\"\n3 Amateur\n20 45 81\n5\n" +
           event("\"Round 1 Moto 1\"", "rabbithill", 10, 2, NONE) +
           event("\"Round 1 Moto 2\"", "rabbithill", 10, 2, NONE) +
           event("Final", "\"dunebay\"", 5, 3, MOTO) +
           event("\"Round 2 Moto 1\"", "dunebay", 0, 4, NONE) +
           event("\"Round 2 Moto 2\"", "rabbithill", 0, 4, {25, 22, 20, 18});
}

struct SeriesTest : RaceTest {
    void SetUp() override {
        RaceTest::SetUp();
        tracklist_add("dunebay", "Dune Bay");
        tracklist_add("rabbithill", "Rabbit Hill");
    }
    void TearDown() override {
        RaceTest::TearDown();
        tracklist_reset();
    }
    void game_file(const std::string& name, const std::string& text) {
        write_file(test_game_dir() + "/" + name, text);
    }
    std::string user_standings() { return read_file(test_user_dir() + "cup.series_standings"); }
};

TEST_F(SeriesTest, ReadsTitleClassRidersAndEvents) {
    game_file("cup.series", cup());
    Series s;
    ASSERT_TRUE(series_read("cup.series", &s));
    EXPECT_EQ(s.title, "Test Cup");
    EXPECT_EQ(s.skill_class, 1);
    EXPECT_EQ(s.standings_file, "@cup.series_standings");
    EXPECT_EQ(s.riders, (std::vector<int>{20, 45, 81}));
    ASSERT_EQ(s.events.size(), 5u);
    EXPECT_EQ(s.events[0].name, "Round 1 Moto 1");
    EXPECT_EQ(s.events[0].track, 1);
    EXPECT_EQ(s.events[2].name, "Final");
    EXPECT_EQ(s.events[2].track, 0);
    EXPECT_EQ(s.events[2].minutes, 5);
    EXPECT_EQ(s.events[2].laps, 3);
    EXPECT_EQ(s.events[2].moto_points[1], 22);
    EXPECT_EQ(s.events[2].moto_points[39], 0);
    EXPECT_EQ(s.events[2].champ_points[0], 25);
    EXPECT_EQ(s.events[1].champ_points[0], 0);
    EXPECT_EQ(s.completed, 0);
    EXPECT_EQ(series_round_starts(s), (std::vector<int>{0, 3}));
}

TEST_F(SeriesTest, ClassWordsAndBadFilesAreHandled) {
    game_file("a.series", "Novices 0 Novice 0\n");
    game_file("b.series", "Other 0 Pro 0\n");
    // An event on a track that is not installed.
    game_file("c.series", "C 0 Expert 1\n" + event("E", "nowhere", 1, 1, MOTO));
    // 40 riders and the player do not fit the 40 places.
    std::string riders;
    for (int i = 0; i < 40; i++) riders += std::to_string(i) + " ";
    game_file("d.series", "D 40 Expert " + riders + "0\n");
    game_file("e.series",
              "E 39 Expert " + riders.substr(0, riders.rfind(' ', riders.size() - 2)) + " 0\n");
    // Cut off inside the points table.
    game_file("f.series", cup().substr(0, cup().size() - 30));
    game_file("g.series", "\"unterminated\n0 Novice 0\n");
    game_file("h.series", "H -1 Novice 0\n");
    ASSERT_EQ(series_load_all(), 3);
    EXPECT_EQ(g_series.series[0].file, "a.series");
    EXPECT_EQ(g_series.series[0].skill_class, 0);
    EXPECT_EQ(g_series.series[1].skill_class, 2); // any other word is Expert
    EXPECT_EQ(g_series.series[2].file, "e.series");
    EXPECT_EQ(g_series.series[2].riders.size(), 39u);
}

TEST_F(SeriesTest, FieldsThatWouldOverflowAreRefused) {
    const std::string INT_MAX_TEXT = "2147483647";
    // The rider count: "R + 1" riders would overflow.
    game_file("a.series", "A " + INT_MAX_TEXT + " Expert 1 2 3\n0\n");
    // The event count, the minutes (a race length in ticks of 60 x 128 per minute), the laps.
    game_file("b.series", "B 0 Expert " + INT_MAX_TEXT + "\n" + event("E", "dunebay", 1, 1, MOTO));
    game_file("c.series", "C 0 Expert 1\n" + event("E", "dunebay", 2147483647, 1, MOTO));
    game_file("d.series", "D 0 Expert 1\n" + event("E", "dunebay", 1, 2147483647, MOTO));
    // Points that would overflow the sums and the totals, either way.
    game_file("e.series", "E 0 Expert 1\n" + event("E", "dunebay", 1, 1, {2147483647}));
    game_file("f.series", "F 0 Expert 1\n" + event("E", "dunebay", 1, 1, {-2147483647 - 1}));
    // Beyond the int range altogether.
    game_file("g.series", "G 0 Expert 1\n" + event("E", "dunebay", 99999999999LL, 1, MOTO));
    // The largest values kept still work out: 600 minutes, 1000 laps, a million points.
    game_file("h.series", "H 1 Expert 7\n2\n" + event("E1", "dunebay", 600, 1000, NONE) +
                              event("E2", "dunebay", 600, 1000, {1000000, 1000000}));
    game_file("h.series_standings", "1 2 \n1 2 \n");
    ASSERT_EQ(series_load_all(), 1);
    const Series& h = g_series.series[0];
    EXPECT_EQ(h.file, "h.series");
    EXPECT_EQ(h.events[0].minutes, 600);
    EXPECT_EQ(h.events[1].laps, 1000);
    SeriesScreen screen;
    series_screen(h, &screen);
    ASSERT_EQ(screen.rows.size(), 2u);
    // Rider 7 won both motos: 25 + 25 moto points, round rank 0, a million championship points.
    EXPECT_EQ(screen.rows[0].number, "7");
    EXPECT_EQ(screen.rows[0].total, 1000000);
    EXPECT_EQ(screen.rows[1].total, 1000000);
    EXPECT_NE(log_text().find("a.series: rider count 2147483647 out of range"), std::string::npos);
    EXPECT_NE(log_text().find("c.series: event minutes 2147483647 out of range"),
              std::string::npos);
}

TEST_F(SeriesTest, StandingsFileCountsCompleteLinesOnly) {
    game_file("cup.series", cup());
    game_file("cup.series_standings", "1 2 3 4 \n4 1 2 3 \n3 4 1 2 \n2 1");
    Series s;
    ASSERT_TRUE(series_read("cup.series", &s));
    EXPECT_EQ(s.completed, 3);
    EXPECT_EQ(s.events[1].finish, (std::vector<int>{3, 0, 1, 2}));
    // A position outside the field ends the readable part too.
    game_file("cup.series_standings", "1 2 3 4 \n4 1 9 3 \n");
    ASSERT_TRUE(series_read("cup.series", &s));
    EXPECT_EQ(s.completed, 1);
}

TEST_F(SeriesTest, RoundRankSumsEveryMotoOfTheRound) {
    game_file("cup.series", cup());
    game_file("cup.series_standings", "1 2 3 4 \n4 1 2 3 \n3 4 1 2 \n");
    Series s;
    ASSERT_TRUE(series_read("cup.series", &s));
    // Moto points 25+18+20, 22+25+18, 20+22+25, 18+20+22: 63, 65, 67, 60.
    EXPECT_EQ(s.events[2].rank, (std::vector<int>{2, 1, 0, 3}));
    EXPECT_EQ(s.events[0].rank, (std::vector<int>{-1, -1, -1, -1}));

    SeriesScreen screen;
    series_screen(s, &screen);
    EXPECT_EQ(screen.heading, "Next Event: Round 2 Moto 1");
    EXPECT_EQ(screen.columns, (std::vector<std::string>{"No.", "Total", "Rd 1", "Rd 2"}));
    ASSERT_EQ(screen.rows.size(), 4u);
    EXPECT_EQ(screen.rows[0].number, "81");
    EXPECT_EQ(screen.rows[0].cells, (std::vector<std::string>{"25 (3-2-1)", ""}));
    EXPECT_EQ(screen.rows[0].total, 25);
    EXPECT_EQ(screen.rows[1].number, "45");
    EXPECT_EQ(screen.rows[2].number, "20");
    EXPECT_EQ(screen.rows[2].cells[0], "20 (1-4-3)");
    EXPECT_EQ(screen.rows[3].number, "999");
    EXPECT_TRUE(screen.rows[3].local);
    EXPECT_EQ(screen.rows[3].total, 18);
}

TEST_F(SeriesTest, FinalStandingsBreakTiesByTheLatestRound) {
    game_file("cup.series", cup());
    game_file("cup.series_standings", "1 2 3 4 \n4 1 2 3 \n3 4 1 2 \n1 2 3 4 \n1 2 3 4 \n");
    Series s;
    ASSERT_TRUE(series_read("cup.series", &s));
    SeriesScreen screen;
    series_screen(s, &screen);
    EXPECT_EQ(screen.heading, "Test Cup Final Standings");
    // 20 and 81 both have 45 points; 20 won round 2.
    ASSERT_EQ(screen.rows.size(), 4u);
    EXPECT_EQ(screen.rows[0].number, "20");
    EXPECT_EQ(screen.rows[0].total, 45);
    EXPECT_EQ(screen.rows[0].cells[1], "25 (1-1)");
    EXPECT_EQ(screen.rows[1].number, "81");
    EXPECT_EQ(screen.rows[1].total, 45);
    EXPECT_EQ(screen.rows[2].number, "45");
    EXPECT_EQ(screen.rows[3].number, "999");
}

// Riders in the standings: 45, a robot outside the series, the player and 20.
struct Recording : SeriesTest {
    void SetUp() override {
        SeriesTest::SetUp();
        game_file("cup.series", cup());
        ASSERT_EQ(series_load_all(), 1);
        g_series.active_series = 0;
        g_series.active_event = 0;
        g_session_data.first_lap = 2;
        g_session_data.normal_lap = 2;
        g_session_data.final_lap = 1000;
        add_rider(0, "45");
        set_times(0, {100, 500, 1000, 1100, 1200});
        add_rider(1, "99");
        set_times(1, {100, 500, 1000, 1100});
        add_rider(2, "999", RIDER_LOCAL);
        set_times(2, {100, 520, 1010});
        add_rider(3, "20");
        set_times(3, {100, 600});
        standings_update();
    }
};

TEST_F(Recording, LeavingEarlyRecordsTheStandingsOrder) {
    series_record_event();
    const Series& s = g_series.series[0];
    EXPECT_EQ(s.completed, 1);
    EXPECT_EQ(s.events[0].finish, (std::vector<int>{2, 0, 3, 1}));
    EXPECT_EQ(g_series.active_series, -1);
    EXPECT_EQ(user_standings(), "3 1 4 2 \n");
    // Nothing more is recorded without an active event.
    series_record_event();
    EXPECT_EQ(g_series.series[0].completed, 1);
}

TEST_F(Recording, OnlyTheNextEventIsRecorded) {
    g_series.active_event = 1;
    series_record_event();
    EXPECT_EQ(g_series.series[0].completed, 0);
    EXPECT_FALSE(file_exists(test_user_dir() + "cup.series_standings"));
}

TEST_F(Recording, TheLocalRiderKeepsNoPlaceWonByCuttingWhenLeavingEarly) {
    set_times(2, {100, -1, 150});
    g_session_data.slots[2].finished = 1;
    standings_update();
    ASSERT_GT(cut_penalty(2), 0);
    series_record_event();
    EXPECT_EQ(g_series.series[0].events[0].finish, (std::vector<int>{1, 0, 3, 3}));
}

TEST_F(Recording, FinalResultsAreRecordedWhenTheyArrive) {
    // Everybody finishes a 1-lap race: the results go to the series at once.
    g_session_data.final_lap = 1;
    for (int slot = 0; slot < 4; slot++) g_session_data.slots[slot].finished = 1;
    standings_update();
    ASSERT_TRUE(g_session_data.results_final);
    const Series& s = g_series.series[0];
    EXPECT_EQ(s.completed, 1);
    EXPECT_EQ(s.events[0].finish, (std::vector<int>{2, 0, 3, 1}));
    EXPECT_EQ(user_standings(), "3 1 4 2 \n");
}

} // namespace

namespace {

TEST_F(SeriesTest, TheDefaultDataHoldsAChampionshipOnTheDefaultTracks) {
    std::string gen = std::string(VORNIX_BUILD_DIR) + "/tools/vornix-gen/vornix-gen";
    ASSERT_EQ(run_command(gen + " '" + test_game_dir() + "' --only series").status, 0);
    ASSERT_EQ(series_load_all(), 1);
    const Series& s = g_series.series[0];
    EXPECT_EQ(s.file, "nationals.series");
    EXPECT_EQ(s.title, "Vornix Outdoor Nationals");
    EXPECT_EQ(s.riders.size(), 19u);
    // Every rider of the field is a robot of the robot list.
    for (int number : s.riders) EXPECT_TRUE(number >= 20 && number <= 99) << number;
    ASSERT_EQ(s.events.size(), 6u);
    EXPECT_EQ(series_round_starts(s), (std::vector<int>{0, 2, 4}));
    for (const SeriesEvent& e : s.events) {
        EXPECT_EQ(e.moto_points[0], 25);
        EXPECT_EQ(e.moto_points[4], 16);
        EXPECT_EQ(e.moto_points[19], 1);
        EXPECT_EQ(e.moto_points[20], 0);
        EXPECT_GT(e.minutes * 60 + e.laps, 0);
    }
    EXPECT_EQ(s.events[1].champ_points[0], 25);
    EXPECT_EQ(g_tracks.tracks[s.events[2].track].folder, "dunebay");
}

} // namespace

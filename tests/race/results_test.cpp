// Standings, section times, penalties, final results and "results.txt".
#include <cerrno>
#include <regex>

#include "data/save.h"
#include "platform/messages.h"
#include "race/race_test_util.h"
#include "support/test_env.h"

using namespace racetest;

namespace {

struct Results : RaceTest {
    // A laps race of `laps` laps with F first-lap and N normal-lap positions.
    void laps_race(int f, int n, int laps, int start = 0) {
        g_session_data.first_lap = f;
        g_session_data.normal_lap = n;
        g_session_data.race_length = 0;
        g_session_data.extra_laps = laps;
        g_session_data.final_lap = laps;
        g_session_data.halfway_lap = (laps + 1) / 2;
        g_session_data.start_tick = start;
        g_session_data.track_name = "rabbithill";
    }
    std::string results() { return read_file(test_user_dir() + "results.txt"); }
};

TEST_F(Results, StandingsSortByGatesThenLastTickThenSlot) {
    laps_race(2, 2, 1000);
    add_rider(0, "1");
    set_times(0, {100, 200, 300});
    add_rider(1, "2");
    set_times(1, {100, 200, 300, 500});
    add_rider(2, "3");
    set_times(2, {100, 200, 250});
    add_rider(3, "4");
    set_times(3, {100, 200, 300});
    add_rider(5, "5"); // no gate yet: last tick 0
    standings_update();
    ASSERT_EQ(g_results.standings_count, 5);
    int order[] = {1, 2, 0, 3, 5};
    for (int i = 0; i < 5; i++) EXPECT_EQ(g_results.standings[i].slot, order[i]) << i;
    EXPECT_EQ(g_results.standings[0].last_tick, 500);
    EXPECT_EQ(g_results.standings[4].last_tick, 0);
    EXPECT_EQ(standings_leader(), 1);
    EXPECT_EQ(standings_place(0), 2);
    EXPECT_EQ(standings_place(4), -1);
    EXPECT_FALSE(g_session_data.results_final);
}

TEST_F(Results, SectionTimesAverageCleanRidesAndRecurringSections) {
    laps_race(3, 3, 1000);
    add_rider(0, "1");
    set_times(0, {10, 20, 30, 40, 50, 60, 70, 80, 95});
    add_rider(1, "2");
    set_times(1, {12, 24, 36, 48, 60, 72});
    add_rider(2, "3");
    set_times(2, {5, -1, 25});
    standings_update();
    // In the first lap: (20 + 24) / 2; the skipping rider does not count.
    EXPECT_EQ(section_time(0, 2), 22);
    // From before the start (time 0): (10 + 12 + 5) / 3.
    EXPECT_EQ(section_time(-1, 0), 9);
    // A lap section: rider 1 averages its two laps (20 + 25) / 2 = 22, rider 2 rode it once.
    EXPECT_EQ(section_time(3, 5), (22 + 24) / 2);
    EXPECT_EQ(section_time(6, 8), (22 + 24) / 2);
}

TEST_F(Results, SectionNobodyRodeCleanlyIsSixtySeconds) {
    laps_race(3, 3, 1000);
    add_rider(0, "1");
    set_times(0, {5, -1, 25});
    standings_update();
    EXPECT_EQ(section_time(0, 2), 7680);
    EXPECT_EQ(cut_penalty(0), 7680 + 128 - 20);
}

TEST_F(Results, SkippedGatePenaltyIsSectionTimePlusASecondMinusTimeTaken) {
    laps_race(5, 5, 1000);
    add_rider(0, "1");
    set_times(0, {100, 200, 800, 1480, 1600}); // section 1 -> 3 in 10 s
    add_rider(1, "2");
    set_times(1, {110, 210, 900, 1490, 1650}); // also 10 s
    add_rider(2, "3");
    set_times(2, {120, 220, -1, 732, 900}); // skipped position 2, 4 s from position 1
    standings_update();
    EXPECT_EQ(section_time(1, 3), 1280);
    EXPECT_EQ(cut_penalty(2), 128 * (10 + 1 - 4));
    EXPECT_EQ(cut_penalty(0), 0);
    EXPECT_EQ(cut_penalty(1), 0);
}

// Rider 12 cuts a corner that rider 34 took 17000 ticks over, arriving 488 ticks after its
// previous gate: 17000 + 128 - 488 = 16640 ticks (130 s) against a best lap of 60 s.
struct LapRemoval : Results {
    void SetUp() override {
        Results::SetUp();
        laps_race(3, 3, 4);
        add_rider(0, "12");
        set_times(0, {90, 190, 1000, -1, 1488, 10000, 11000, 12000, 17680, 19000, 21000, 25360});
        add_rider(1, "34", RIDER_ROBOT, "kx125");
        set_times(1,
                  {100, 200, 1000, 9000, 18000, 20000, 22000, 24000, 26000, 28000, 30000, 32000});
    }
};

TEST_F(LapRemoval, PenaltyLongerThanTheBestLapRemovesLaps) {
    standings_update();
    ASSERT_TRUE(g_session_data.results_final);
    EXPECT_EQ(best_lap_index(0), 3);
    ASSERT_EQ(g_results.final_count, 2);
    // Two laps of 60 s taken away, 10 s added.
    EXPECT_EQ(g_results.final_results[0].slot, 1);
    EXPECT_EQ(g_results.final_results[0].gates, 12);
    EXPECT_EQ(g_results.final_results[0].last_tick, 32000);
    EXPECT_EQ(g_results.final_results[1].slot, 0);
    EXPECT_EQ(g_results.final_results[1].gates, 6);
    EXPECT_EQ(g_results.final_results[1].last_tick, 25360 + 1280);
    // The standings themselves keep the real progress.
    EXPECT_EQ(g_results.standings[0].slot, 0);
}

TEST_F(LapRemoval, ResultsBoardShowsPenaltiesAndGaps) {
    standings_update();
    g_session_data.viewed_rider = 0;
    ResultsBoard board;
    ASSERT_TRUE(results_board(&board));
    EXPECT_EQ(board.title, "Final Results");
    ASSERT_EQ(board.rows.size(), 2u);
    // Rider 34 first; compared with the second row at position 5 it was 10000 ticks behind.
    EXPECT_EQ(board.rows[0].number, " 34");
    EXPECT_EQ(board.rows[0].laps, "L4");
    EXPECT_EQ(board.rows[0].gap, " 78.125");
    EXPECT_EQ(board.rows[0].best, "0:46.875"); // lap 3: 6000 ticks
    EXPECT_EQ(board.rows[0].best_lap, "(3)");
    EXPECT_FALSE(board.rows[0].viewed);
    EXPECT_EQ(board.rows[1].number, " 12");
    EXPECT_EQ(board.rows[1].laps, "L2");
    EXPECT_EQ(board.rows[1].gap, "  0.000");
    EXPECT_EQ(board.rows[1].best, "1:00.000");
    EXPECT_TRUE(board.rows[1].viewed);
    EXPECT_EQ(board.total, "Total Race Time: 4:10.000");
    ASSERT_EQ(board.penalties.size(), 1u);
    EXPECT_EQ(board.penalties[0], " 12 penalized 2 laps 10.00 seconds for cutting track");
    EXPECT_EQ(RESULTS_BOARD_HEADINGS[3], std::string("Best Time"));
}

TEST_F(Results, ResultsFileFollowsTheFormat) {
    laps_race(2, 3, 2, 1792);
    add_rider(0, "7", RIDER_LOCAL);
    set_times(0, {1792 + 128, 1792 + 256, 1792 + 1280, 1792 + 1408, 1792 + 2560});
    add_rider(3, "42", RIDER_ROBOT, "kx125");
    set_times(3, {1900, -1, 3200, 3300, 4500}); // a clean enough cut: no penalty
    standings_update();
    ASSERT_TRUE(g_session_data.results_final);
    std::string text = results();
    size_t first_end = text.find("\r\n");
    ASSERT_NE(first_end, std::string::npos);
    EXPECT_TRUE(std::regex_match(text.substr(0, first_end),
                                 std::regex(R"(Time=0\.00\|Laps=2\|Track=rabbithill\|Date=\d+)")))
        << text.substr(0, first_end);
    std::string rest = text.substr(first_end + 2);
    EXPECT_EQ(rest, " No. |         Bike | Laps | Total Time | BLap |  Best Time\r\n"
                    "   7 | crf250(2009) |    2 |   0:20.000 |    2 |   0:18.000\r\n"
                    "  42 |        kx125 |    2 |   0:21.156 |    0 |   0:00.000\r\n"
                    "\r\n5\r\n"
                    "   1.000    2.000\r\n"
                    "  10.000   11.000   20.000\r\n"
                    "\r\n5\r\n"
                    "   0.844       -1\r\n"
                    "  11.000   11.781   21.156\r\n");
}

TEST_F(Results, ResultsFileOfATimedRaceAndOneLap) {
    laps_race(2, 3, 1, 1792);
    g_session_data.race_length = 76800;
    g_session_data.extra_laps = 1;
    g_session_data.final_lap = 1;
    add_rider(0, "5");
    set_times(0, {2000, 2500});
    standings_update();
    ASSERT_TRUE(g_session_data.results_final);
    std::vector<std::string> lines = split_lines(results());
    ASSERT_GE(lines.size(), 6u);
    EXPECT_EQ(lines[0].rfind("Time=600.00|Laps=1|Track=rabbithill|Date=", 0), 0u) << lines[0];
    // 708 ticks: 5531.25 ms, truncated.
    EXPECT_EQ(lines[2], "   5 | crf250(2009) |    1 |   0:05.531 |    0 |   0:00.000\r");
    EXPECT_EQ(lines[4], "2\r");
    EXPECT_EQ(lines[5], "   1.625    5.531\r");
}

TEST_F(Results, FinalResultsAreNotChangedByLaterGates) {
    laps_race(2, 3, 1, 0);
    add_rider(0, "5");
    set_times(0, {200, 500});
    add_rider(1, "6");
    set_times(1, {210, 520});
    standings_update();
    ASSERT_TRUE(g_session_data.results_final);
    std::string before = results();
    StandingsEntry first = g_results.final_results[0];
    set_times(1, {210, 520, 600, 700, 800});
    standings_update();
    EXPECT_EQ(results(), before);
    EXPECT_EQ(g_results.final_results[0].slot, first.slot);
    EXPECT_EQ(g_results.final_results[0].gates, first.gates);
    EXPECT_EQ(g_results.standings[0].slot, 0); // nor the standings
}

TEST_F(Results, UnfinishedRiderHoldsTheResultsBackExceptASilentRemoteOne) {
    laps_race(2, 3, 1, 0);
    add_rider(0, "5", RIDER_LOCAL);
    set_times(0, {200, 500});
    add_rider(1, "6", RIDER_REMOTE);
    set_times(1, {210});
    standings_update();
    EXPECT_FALSE(g_session_data.results_final); // offline everybody must finish
    g_session_data.multiplayer = 1;             // a remote rider that sends nothing is gone
    standings_update();
    EXPECT_TRUE(g_session_data.results_final);
    EXPECT_EQ(g_results.final_count, 2);
}

TEST_F(Results, TheLocalRiderAlwaysHoldsTheResultsBack) {
    laps_race(2, 3, 1, 0);
    g_session_data.multiplayer = 1;
    add_rider(0, "5", RIDER_REMOTE);
    set_times(0, {200, 500});
    add_rider(1, "6", RIDER_LOCAL);
    set_times(1, {210});
    standings_update();
    EXPECT_FALSE(g_session_data.results_final);
}

TEST_F(Results, ResultsFileThatCannotBeWrittenIsSaidAndTheRaceGoesOn) {
    laps_race(2, 3, 1, 0);
    // A folder where the file would go makes it unwritable.
    run_command("mkdir -p '" + test_user_dir() + "results.txt'");
    add_rider(0, "5");
    set_times(0, {200, 500});
    testing::internal::CaptureStderr();
    standings_update();
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Can't save results.txt: not a file\n");
    EXPECT_TRUE(g_session_data.results_final);
    EXPECT_NE(log_text().find("Can't save results.txt: not a file"), std::string::npos);
    EXPECT_STREQ(messages_visible(0), "Can't save results.txt: not a file");
}

TEST_F(Results, AFullDiskKeepsTheLastResultsFile) {
    laps_race(2, 3, 1, 0);
    write_file(test_user_dir() + "results.txt", "the last race\r\n");
    data_save_inject_failure(40, ENOSPC);
    add_rider(0, "5");
    set_times(0, {200, 500});
    testing::internal::CaptureStderr();
    standings_update();
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Can't save results.txt: disk full\n");
    EXPECT_EQ(read_file(test_user_dir() + "results.txt"), "the last race\r\n");
}

TEST_F(Results, EveryoneFinishesOnTheFirstCrossingAfterTheLeader) {
    laps_race(2, 3, 2, 0);
    add_rider(0, "1");
    set_times(0, {100, 200, 300, 400, 1000}); // completed lap 2 at 1000
    add_rider(1, "2");
    set_times(1, {110, 900, 950}); // crossed the line (position 1) before the leader finished
    add_rider(2, "3");
    set_times(2, {120, 1100}); // crossed it after
    standings_update();
    EXPECT_TRUE(rider_finished(0));
    EXPECT_FALSE(rider_finished(1));
    EXPECT_TRUE(rider_finished(2));
    EXPECT_FALSE(g_session_data.results_final);
    set_times(1, {110, 900, 950, 960, 1200});
    standings_update();
    EXPECT_TRUE(rider_finished(1));
    EXPECT_TRUE(g_session_data.results_final);
}

TEST_F(Results, TimedRaceFindsItsHalfWayAndFinalLap) {
    laps_race(2, 3, 1, 0);
    g_session_data.race_length = 76800; // 10 minutes and 1 lap
    g_session_data.final_lap = g_session_data.halfway_lap = LAP_UNKNOWN;
    add_rider(0, "1");
    set_times(0, even_times(5, 0, 1000)); // 2 laps completed
    g_session_data.session_clock = 38399;
    standings_update();
    EXPECT_EQ(g_session_data.halfway_lap, LAP_UNKNOWN);
    g_session_data.session_clock = 38400;
    standings_update();
    EXPECT_EQ(g_session_data.halfway_lap, 3);
    EXPECT_EQ(g_session_data.final_lap, LAP_UNKNOWN);
    // The clock passes 10 minutes with the leader on its 4th lap (3 completed).
    set_times(0, even_times(8, 0, 9000));
    g_session_data.session_clock = 76800;
    standings_update();
    EXPECT_EQ(g_session_data.final_lap, 5);
    standings_update();
    EXPECT_EQ(g_session_data.final_lap, 5);
    // A rider that had completed lap 4 before the time ran out makes it one lap more.
    add_rider(1, "2");
    std::vector<int> t = even_times(11, 0, 6000);
    t[10] = 76000;
    set_times(1, t);
    standings_update();
    EXPECT_EQ(g_session_data.final_lap, 6);
}

TEST_F(Results, InRaceDisplayTexts) {
    laps_race(2, 3, 1000, 0);
    add_rider(0, "1");
    set_times(0, {128, 256, 640, 768, 1024});
    add_rider(1, "2");
    set_times(1, {130, 300, 700});
    add_rider(2, "3");
    set_times(2, {140});
    standings_update();
    RaceDisplay d;
    ASSERT_TRUE(race_display(1, &d));
    EXPECT_EQ(d.number, "2");
    EXPECT_EQ(d.place, "L2 P2");
    EXPECT_EQ(d.gap, "-0.5 "); // 640 - 700 ticks at position 2
    EXPECT_EQ(d.last, "Last - 0:02.3 ");
    EXPECT_EQ(d.best, "");
    ASSERT_TRUE(race_display(0, &d));
    EXPECT_EQ(d.place, "L3 P1");
    EXPECT_EQ(d.gap, "+0.5 ");
    EXPECT_EQ(d.last, "Last - 0:06.0 ");
    EXPECT_EQ(d.best, "Best - 0:06.0");
    EXPECT_FALSE(race_display(7, &d));
    g_session_data.time_trial = 1;
    g_session_data.last_lap = 128 * 75 + 13; // 75.1 s
    g_session_data.best_lap = 0;
    ASSERT_TRUE(race_display(1, &d));
    EXPECT_EQ(d.place, "P2");
    EXPECT_EQ(d.last, "Last - 1:15.1 ");
    EXPECT_EQ(d.best, "");
    // A race's clock runs from the start.
    g_session_data.time_trial = 0;
    g_session_data.start_tick = 500;
    g_session_data.session_clock = 1000;
    EXPECT_EQ(race_clock_text(), "Time - 0:03.9 ");
    g_session_data.session_clock = 100;
    EXPECT_EQ(race_clock_text(), "Time - 0:00.0 ");
}

TEST_F(Results, TimeTrialClockTimesTheLapInProgress) {
    straight_course(4, {0, 1, 2, 3}, {1, 2, 3}); // the finish line at positions 3, 6, 9...
    add_rider(0, "1", RIDER_LOCAL);
    g_session_data.time_trial = 1;
    g_session_data.start_tick = 1800;
    g_session_data.session_clock = 38400 + 200; // a time trial's clock starts at 300 s
    set_times(0, {38450, 38500});               // not yet over the line: no lap running
    EXPECT_EQ(race_clock_text(), "Time - 0:00.0 ");
    set_times(0, {38450, 38500, 38550, 38560}); // over the line at tick 38560
    g_session_data.session_clock = 38560 + 128 * 62 + 64;
    EXPECT_EQ(race_clock_text(), "Time - 1:02.5 ");
    // The next crossing starts the clock again.
    set_times(0, {38450, 38500, 38550, 38560, 40000, 41000, 46000});
    g_session_data.session_clock = 46000 + 13;
    EXPECT_EQ(race_clock_text(), "Time - 0:00.1 ");
}

TEST_F(Results, LappingWarningListsRidersAboutToLap) {
    laps_race(2, 3, 1000, 0);
    add_rider(0, "9"); // viewed: 5 gates, last at 5000
    set_times(0, {100, 1000, 2000, 3000, 5000});
    add_rider(1, "77"); // 8 gates; its last (position 7) lines up with position 4
    set_times(1, {90, 900, 1900, 2900, 3900, 4000, 4500, 5200});
    add_rider(2, "88"); // one lap ahead too, but 400 ticks after
    set_times(2, {80, 800, 1800, 2800, 3800, 3900, 4400, 5400});
    standings_update();
    EXPECT_EQ(lapping_warning(0), "77");
    set_times(2, {80, 800, 1800, 2800, 3800, 3900, 4400, 5383});
    standings_update();
    EXPECT_EQ(lapping_warning(0), "77 88");
    EXPECT_EQ(lapping_warning(1), "");
}

} // namespace

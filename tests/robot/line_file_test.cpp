// Line files: the "ct03" text written byte for byte, read back, and every way a damaged file is
// ignored or read in part, counts brought into range on loading.
#include "data/datafile.h"
#include "robot/robot_test_util.h"

using namespace robottest;

namespace {

// A course of one first-lap segment and two normal-lap segments: three sets.
struct LineFile : RobotTest {
    void SetUp() override {
        RobotTest::SetUp();
        course(3, {0}, {1, 2});
    }
    static std::string path() { return test_user_dir() + "course/lines_novice"; }
    // Loads the file into an emptied memory.
    static int load() {
        line_memory_empty();
        data_rescan();
        return line_memory_load("@course/lines_novice");
    }
};

TEST_F(LineFile, WrittenByteForByteAndReadBack) {
    LineRecord& r = g_robots.sets[1].lines[4];
    r.points = {LinePoint{1, 2, 3, 30, 0}, LinePoint{11, 2, 3, -31.5f, 0.25f}};
    r.first_time = 300;
    r.second_time = 600;
    r.tests = 4;
    r.best_first = 280;
    r.best_second = 590;
    r.first_sum = 1200;
    r.second_sum = 2400;
    r.failures = 1;
    r.id = line_new_id();
    ASSERT_EQ(robot_lines_save(), 1);
    EXPECT_EQ(read_file(path()), "ct03 3\n"
                                 "0\n"
                                 "1\n"
                                 "2 300 600 4 280 590 1200 2400 1\n"
                                 "[1.000000 2.000000 3.000000] 30.000000 0.000000\n"
                                 "[11.000000 2.000000 3.000000] -31.500000 0.250000\n"
                                 "0\n");
    int old_id = r.id;
    ASSERT_EQ(load(), 1);
    // Records are read in slot order from the start of the set; each gets a new id.
    const LineRecord& back = g_robots.sets[1].lines[0];
    ASSERT_EQ(back.points.size(), 2u);
    EXPECT_FLOAT_EQ(back.points[1].x, 11);
    EXPECT_FLOAT_EQ(back.points[1].speed, -31.5f);
    EXPECT_FLOAT_EQ(back.points[1].lean, 0.25f);
    EXPECT_EQ(back.second_time, 600);
    EXPECT_EQ(back.best_first, 280);
    EXPECT_EQ(back.second_sum, 2400);
    EXPECT_EQ(back.failures, 1);
    EXPECT_NE(back.id, 0);
    EXPECT_NE(back.id, old_id);
    EXPECT_EQ(in_use(0) + in_use(1) + in_use(2), 1);
}

TEST_F(LineFile, NolearnWritesNothing) {
    g_robots.sets[0].lines[0].points = straight(0, 0, 3);
    g_settings.nolearn = 1;
    EXPECT_EQ(robot_lines_save(), 0);
    EXPECT_FALSE(file_exists(path()));
}

TEST_F(LineFile, WrongSegmentCountIsIgnoredWithALogLine) {
    write_file(path(), "ct03 4\n1\n1 10 20 0 1000000 1000000 0 0 0\n[0 0 0] 1 0\n0\n0\n0\n");
    EXPECT_EQ(load(), 0);
    EXPECT_EQ(in_use(0), 0);
    EXPECT_NE(log_text().find("@course/lines_novice: not a line file for 3 segments, ignored"),
              std::string::npos);
    write_file(path(), "ct02 3\n0\n0\n0\n");
    EXPECT_EQ(load(), 0);
}

TEST_F(LineFile, DamagedRecordsAreDroppedAndReadingStops) {
    // Set 0: a good record, then one whose second point is cut short. Set 1 is never reached.
    write_file(path(), "ct03 3\n2\n"
                       "2 10 20 0 1000000 1000000 0 0 0\n[0 0 0] 1 0\n[1 0 0] 1 0\n"
                       "2 10 20 0 1000000 1000000 0 0 0\n[5 0 0] 1 0\n[6 0\n"
                       "1\n1 10 20 0 1000000 1000000 0 0 0\n[0 0 0] 1 0\n0\n");
    EXPECT_EQ(load(), 1);
    EXPECT_EQ(in_use(0), 1);
    EXPECT_EQ(g_robots.sets[0].lines[0].points.size(), 2u);
    EXPECT_EQ(in_use(1), 0);
    EXPECT_NE(log_text().find("@course/lines_novice: damaged or cut short, read in part"),
              std::string::npos);
    // A point beyond float range is no point.
    write_file(path(), "ct03 3\n1\n1 10 20 0 1000000 1000000 0 0 0\n[1e999 0 0] 1 0\n0\n0\n");
    EXPECT_EQ(load(), 1);
    EXPECT_EQ(in_use(0), 0);
    // A point count no line can have stops the reading before anything is allocated for it.
    write_file(path(), "ct03 3\n1\n2000000000 10 20 0 1000000 1000000 0 0 0\n[0 0 0] 1 0\n0\n0\n");
    EXPECT_EQ(load(), 1);
    EXPECT_EQ(in_use(0), 0);
}

TEST_F(LineFile, RecordsBeyondTheFortyFifthAreReadAndDropped) {
    std::string text = "ct03 3\n47\n";
    for (int k = 0; k < 47; k++)
        text += "1 10 20 0 1000000 1000000 0 0 0\n[" + std::to_string(k) + " 0 0] 1 0\n";
    text += "1\n1 10 20 0 1000000 1000000 0 0 0\n[99 0 0] 1 0\n0\n";
    write_file(path(), text);
    EXPECT_EQ(load(), 1);
    EXPECT_EQ(in_use(0), 45);
    EXPECT_FLOAT_EQ(g_robots.sets[0].lines[44].points[0].x, 44);
    ASSERT_EQ(in_use(1), 1); // the next set follows the dropped records
    EXPECT_FLOAT_EQ(g_robots.sets[1].lines[0].points[0].x, 99);
}

TEST_F(LineFile, HugeCountsAreHalvedTogetherKeepingTheAverage) {
    // 200000 tests averaging 300 and 600 ticks, 100000 failures.
    write_file(path(), "ct03 3\n1\n1 300 600 200000 280 590 60000000 120000000 100000\n"
                       "[0 0 0] 30 0\n0\n0\n");
    ASSERT_EQ(load(), 1);
    const LineRecord& r = g_robots.sets[0].lines[0];
    // Halved twice: 200000 -> 100000 (second sum 60000000, tests still above 65535) -> 50000.
    EXPECT_EQ(r.tests, 50000);
    EXPECT_EQ(r.first_sum, 50000 * 300);
    EXPECT_EQ(r.second_sum, 50000 * 600);
    EXPECT_EQ(r.failures, 25000);
    // Negative counts and times out of range are no counts and unknown times.
    write_file(path(), "ct03 3\n1\n1 -5 2000000 -3 0 -1 -100 -200 -7\n[0 0 0] 30 0\n0\n0\n");
    ASSERT_EQ(load(), 1);
    EXPECT_EQ(r.first_time, LINE_TIME_NONE);
    EXPECT_EQ(r.second_time, LINE_TIME_NONE);
    EXPECT_EQ(r.best_first, LINE_TIME_NONE);
    EXPECT_EQ(r.tests, 0);
    EXPECT_EQ(r.second_sum, 0);
    EXPECT_EQ(r.failures, 0);
}

TEST(LineRecordNormalise, CapsWhatHalvingCannotBring) {
    // One test: nothing to halve it into, so the sum stays too large for all 16 rounds,
    // failures are halved in each of them, and the sums are capped at the end.
    LineRecord r;
    r.tests = 1;
    r.first_sum = 150000000;
    r.second_sum = 300000000;
    r.failures = 70000;
    line_record_normalise(&r);
    EXPECT_EQ(r.tests, 1);
    EXPECT_EQ(r.second_sum, 100000000);
    EXPECT_EQ(r.first_sum, 100000000);
    int failures = 70000;
    for (int round = 0; round < 16; round++) failures /= 2;
    EXPECT_EQ(r.failures, failures);
}

} // namespace

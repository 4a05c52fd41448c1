// Reading, seeking, writing and renaming through DataFile streams.
#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

#include "data/datafile.h"
#include "data_test_util.h"
#include "support/test_env.h"

static std::string game(const std::string& rel) {
    return test_game_dir() + "/" + rel;
}
static std::string user(const std::string& rel) {
    return test_user_dir() + rel;
}

// An archive whose members sit between other bytes, so overruns show.
static void write_member_archive() {
    write_file(game("p.saf"),
               saf_bytes({{"before", "BEFORE"}, {"m", "abcdefghij"}, {"after", "AFTER"}}));
}

TEST(DataStream, MemberReadsStopAtTheMemberEnd) {
    write_member_archive();
    DataFile* f = data_open("@m", "rb");
    ASSERT_NE(f, nullptr);
    // Directory: "6 before\n" 9 + "10 m\n" 5 + "5 after\n" 8 + "-\n" 2 = 24; "m" after 6 bytes.
    EXPECT_EQ(f->base, 30);
    EXPECT_EQ(f->limit, 10);
    char buffer[64];
    EXPECT_EQ(data_read(f, buffer, sizeof buffer), 10u);
    EXPECT_EQ(std::string(buffer, 10), "abcdefghij");
    EXPECT_EQ(f->position, 10);
    EXPECT_EQ(data_getc(f), -1);
    EXPECT_EQ(data_read(f, buffer, sizeof buffer), 0u);
    data_close(f);
}

TEST(DataStream, SeekWithinTheMember) {
    write_member_archive();
    DataFile* f = data_open("@m", "rb");
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(data_seek(f, 3), 1);
    EXPECT_EQ(f->position, 3);
    EXPECT_EQ(data_getc(f), 'd');
    EXPECT_EQ(data_peek(f), 'e');
    EXPECT_EQ(data_seek(f, 9), 1); // drops the pushed-back "e"
    EXPECT_EQ(f->pushback, -1);
    EXPECT_EQ(data_getc(f), 'j');
    EXPECT_EQ(data_getc(f), -1);
    EXPECT_EQ(data_seek(f, 10), 0); // only offsets below the limit
    EXPECT_EQ(data_seek(f, -1), 0);
    EXPECT_EQ(data_seek(f, 0), 1);
    EXPECT_EQ(data_getc(f), 'a');
    data_close(f);
}

TEST(DataStream, PeekAndGets) {
    write_file(game("lines"), "ab\ncdef\n\ngh");
    DataFile* f = data_open("@lines", "r");
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(data_peek(f), 'a');
    EXPECT_EQ(data_peek(f), 'a');
    EXPECT_EQ(f->pushback, 'a');
    char line[4];
    EXPECT_STREQ(data_gets(f, line, 4), "ab\n");
    EXPECT_STREQ(data_gets(f, line, 4), "cde");
    EXPECT_STREQ(data_gets(f, line, 4), "f\n");
    EXPECT_STREQ(data_gets(f, line, 4), "\n");
    EXPECT_EQ(data_gets(f, line, 1), nullptr); // no room for a byte
    EXPECT_STREQ(data_gets(f, line, 4), "gh");
    EXPECT_EQ(data_gets(f, line, 4), nullptr);
    EXPECT_EQ(data_peek(f), -1);
    data_close(f);
}

TEST(DataStream, ReadStartsWithThePushedBackByte) {
    write_file(game("r"), "12345");
    DataFile* f = data_open("@r", "rb");
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(data_getc(f), '1');
    EXPECT_EQ(data_peek(f), '2');
    char buffer[3];
    EXPECT_EQ(data_read(f, buffer, 3), 3u);
    EXPECT_EQ(std::string(buffer, 3), "234");
    EXPECT_EQ(data_getc(f), '5');
    data_close(f);
}

TEST(DataStream, PlainFileLimitAndCallerOwnedStream) {
    write_file(game("plain"), "xyz");
    DataFile s;
    ASSERT_EQ(data_open_in(&s, "@plain", "rb"), 1);
    EXPECT_EQ(s.base, 0);
    EXPECT_EQ(s.limit, INT_MAX);
    EXPECT_EQ(s.position, 0);
    EXPECT_EQ(s.pushback, -1);
    EXPECT_FALSE(s.compressed);
    EXPECT_EQ(read_all_getc(&s), "xyz");
    data_close_in(&s);
    EXPECT_EQ(s.file, nullptr);
    EXPECT_EQ(data_open_in(&s, "@nothing", "rb"), 0);
    data_close_in(&s); // harmless after a failed open
    data_close(nullptr);
}

TEST(DataStream, MembersReachingPastTheArchiveReadShort) {
    write_file(game("p.saf"), "100 big\n5 beyond\n-\nshort");
    EXPECT_EQ(read_data("@big"), "short");
    EXPECT_EQ(read_data("@beyond"), "");
    std::vector<unsigned char> out;
    EXPECT_EQ(data_load("@big", &out), 1);
    EXPECT_EQ(out.size(), 5u);
}

TEST(DataStream, WritesGoStraightToTheFile) {
    DataFile* f = data_open("out/sub/w.txt", "w");
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(data_putc(f, 'A'), 'A');
    EXPECT_GE(data_puts(f, "bc"), 0);
    EXPECT_EQ(data_write(f, "\0d", 2), 2u);
    EXPECT_EQ(data_printf(f, "%d|%.2f\n", 42, 1.5), 8);
    EXPECT_EQ(data_flush(f), 0);
    data_close(f);
    EXPECT_EQ(read_file(test_dir() + "/out/sub/w.txt"), std::string("Abc\0d42|1.50\n", 13));
    f = data_open("out/sub/w.txt", "a");
    ASSERT_NE(f, nullptr);
    data_puts(f, "more");
    data_close(f);
    EXPECT_EQ(read_file(test_dir() + "/out/sub/w.txt"), std::string("Abc\0d42|1.50\nmore", 17));
}

TEST(DataStream, RenameInFolderZeroAndByPath) {
    write_file(user("old.txt"), "o");
    EXPECT_EQ(data_rename("@old.txt", "@new.txt"), 1);
    EXPECT_FALSE(file_exists(user("old.txt")));
    EXPECT_EQ(read_file(user("new.txt")), "o");
    EXPECT_EQ(data_rename("@new.txt", "plain.txt"), 1);
    EXPECT_EQ(read_file(test_dir() + "/plain.txt"), "o");
    EXPECT_EQ(data_rename("plain.txt", "moved.txt"), 1);
    EXPECT_EQ(data_rename("@missing", "@other"), 0);
    EXPECT_EQ(data_rename(nullptr, "@x"), 0);
    write_file(game("g.txt"), "g"); // "@" never means the game folder
    EXPECT_EQ(data_rename("@g.txt", "@h.txt"), 0);
    EXPECT_TRUE(file_exists(game("g.txt")));
}

TEST(DataStream, MakeDirsCreatesEveryLevel) {
    data_make_dirs((test_dir() + "/a//b/c/file").c_str());
    EXPECT_TRUE(file_exists(test_dir() + "/a/b/c"));
    EXPECT_FALSE(file_exists(test_dir() + "/a/b/c/file"));
    std::string deep = test_dir() + "/" + std::string(1100, 'd') + "/x";
    data_make_dirs(deep.c_str()); // too long: ignored, no crash
}

TEST(DataStream, LoadReadsAWholeFile) {
    write_member_archive();
    std::vector<unsigned char> out;
    ASSERT_EQ(data_load("@m", &out), 1);
    EXPECT_EQ(std::string(out.begin(), out.end()), "abcdefghij");
    EXPECT_EQ(data_load("@absent", &out), 0);
    EXPECT_TRUE(out.empty());
}

// Runs open_user_folder with the given folder first on PATH.
static void open_user_folder_with_path(const std::string& bin) {
    std::string old_path = getenv("PATH") ? getenv("PATH") : "";
    setenv("PATH", (bin + ":" + old_path).c_str(), 1);
    open_user_folder();
    setenv("PATH", old_path.c_str(), 1);
}

TEST(UserFolder, CreatedAndHandedToXdgOpen) {
    std::string bin = test_dir() + "/bin";
    std::string seen = test_dir() + "/seen";
    write_file(bin + "/xdg-open", "#!/bin/sh\nprintf '%s' \"$1\" > '" + seen + ".tmp' && mv '" +
                                      seen + ".tmp' '" + seen + "'\n");
    chmod((bin + "/xdg-open").c_str(), 0755);
    ASSERT_FALSE(file_exists(test_user_dir()));
    open_user_folder_with_path(bin);
    EXPECT_TRUE(file_exists(test_user_dir()));
    // xdg-open runs detached; wait for it to report (not a speed check: it only has to happen).
    for (int i = 0; i < 1000 && !file_exists(seen); i++) usleep(10000);
    std::string expected = test_user_dir();
    expected.pop_back(); // native form: no trailing separator
    EXPECT_EQ(read_file(seen), expected);
}

TEST(UserFolder, MissingXdgOpenIsHarmless) {
    // Only the shell's own folder on PATH: no xdg-open anywhere.
    std::string old_path = getenv("PATH") ? getenv("PATH") : "";
    setenv("PATH", (test_dir() + "/empty-bin").c_str(), 1);
    open_user_folder();
    setenv("PATH", old_path.c_str(), 1);
    EXPECT_TRUE(file_exists(test_user_dir()));
}

// The archive directory: what is accepted, what makes the whole archive ignored, and the writer.
#include <gtest/gtest.h>

#include <cstdio>

#include "data/datafile.h"
#include "data/saf.h"
#include "data_test_util.h"
#include "support/test_env.h"

static std::string game(const std::string& rel) {
    return test_game_dir() + "/" + rel;
}

// The names the archive "t.saf" contributes, with its own name left out.
static std::vector<std::string> members_of(const std::string& archive) {
    write_file(game("t.saf"), archive);
    data_reset();
    std::vector<std::string> names;
    for (const std::string& n : name_list())
        if (n != "t.saf") names.push_back(n);
    return names;
}

static const std::vector<std::string> NONE;

TEST(SafDirectory, InvalidDirectoriesDropTheWholeArchive) {
    EXPECT_EQ(members_of(""), NONE);
    EXPECT_EQ(members_of("3 a\n"), NONE);              // no end line
    EXPECT_EQ(members_of("3 a\n-"), NONE);             // end line without line feed
    EXPECT_EQ(members_of("3 a\nfoo\n-\nabc"), NONE);   // a line without a number
    EXPECT_EQ(members_of("3 a\n- \n-\nabc"), NONE);    // "-" must be exact
    EXPECT_EQ(members_of("3 a\n\n-\nabc"), NONE);      // empty line
    EXPECT_EQ(members_of("3 a\n-3 b\n-\nabc"), NONE);  // negative size
    EXPECT_EQ(members_of("99999999999 a\n-\n"), NONE); // does not fit
    EXPECT_EQ(members_of("2147483647 a\n-\n"), NONE);  // data would pass 2147483647 bytes
    EXPECT_EQ(members_of(std::string("3 a\0b\n-\nabc", 11)), NONE); // NUL byte
}

TEST(SafDirectory, LineLengthLimit) {
    // "1 " + name + "\n" is 1023 bytes with a 1020-byte name: the longest line allowed.
    std::string longest(1020, 'n'), too_long(1021, 'n');
    EXPECT_EQ(members_of("1 " + longest + "\n-\nx"), std::vector<std::string>{longest});
    EXPECT_EQ(members_of("1 ok\n1 " + too_long + "\n-\nxy"), NONE);
}

TEST(SafDirectory, NamesAndSeparators) {
    // Any single byte separates; the name runs to the line feed, spaces included; runs of "/"
    // collapse; strtol's leading blanks and sign are accepted.
    std::string archive =
        "1\tTab name\n2 with  spaces \n3 d//e///f\n +4 plus\n-\n" + std::string("1223334444");
    std::vector<std::string> expected = {"Tab name", "d/e/f", "plus", "with  spaces "};
    EXPECT_EQ(members_of(archive), expected);
    EXPECT_EQ(read_data("@with  spaces "), "22");
    EXPECT_EQ(read_data("@d/e/f"), "333");
    EXPECT_EQ(read_data("@plus"), "4444");
}

TEST(SafDirectory, NamelessLinesKeepTheirData) {
    std::string archive = "5\n3 \n2 b\n-\nAAAAAcccbb";
    EXPECT_EQ(members_of(archive), std::vector<std::string>{"b"});
    EXPECT_EQ(read_data("@b"), "bb");
}

TEST(SafDirectory, EmptyDirectoryIsValid) {
    EXPECT_EQ(members_of("-\n"), NONE);
    FILE* f = fopen(game("t.saf").c_str(), "rb");
    ASSERT_NE(f, nullptr);
    std::vector<SafMember> members = {{"stale", 0, 0}};
    EXPECT_EQ(saf_read_directory(f, &members), 1);
    EXPECT_TRUE(members.empty());
    fclose(f);
}

TEST(SafDirectory, ReaderReportsOffsetsAndSizes) {
    write_file(game("t.saf"), "4 a\n0 empty\n2 b\n-\nAAAABB");
    FILE* f = fopen(game("t.saf").c_str(), "rb");
    ASSERT_NE(f, nullptr);
    std::vector<SafMember> m;
    ASSERT_EQ(saf_read_directory(f, &m), 1);
    fclose(f);
    ASSERT_EQ(m.size(), 3u);
    // Directory: 4 + 8 + 4 + 2 = 18 bytes.
    EXPECT_EQ(m[0].offset, 18);
    EXPECT_EQ(m[1].offset, 22);
    EXPECT_EQ(m[1].size, 0);
    EXPECT_EQ(m[2].offset, 22);
    EXPECT_EQ(m[2].name, "b");
    EXPECT_EQ(read_data("@empty"), "");
}

TEST(SafWrite, WritesTheFormatByteForByte) {
    write_file(test_dir() + "/src.bin", std::string("\0\1\2", 3));
    std::vector<SafInput> in = {
        {"tracks/a b.txt", "", {'h', 'i'}},
        {"empty", "", {}},
        {"bin/src.bin", test_dir() + "/src.bin", {}},
    };
    std::string error;
    ASSERT_EQ(saf_write(game("w.saf").c_str(), in, &error), 1) << error;
    std::string expected =
        "2 tracks/a b.txt\n0 empty\n3 bin/src.bin\n-\nhi" + std::string("\0\1\2", 3);
    EXPECT_EQ(read_file(game("w.saf")), expected);
    EXPECT_FALSE(file_exists(game("w.saf.part")));
    EXPECT_EQ(read_data("@tracks/a b.txt"), "hi");
    EXPECT_EQ(read_data("@bin/src.bin"), std::string("\0\1\2", 3));
}

TEST(SafWrite, RefusesNamesTheReaderWouldChange) {
    std::string error;
    for (const char* bad : {"", "a\nb", "a//b"}) {
        std::vector<SafInput> in = {{bad, "", {'x'}}};
        EXPECT_EQ(saf_write(game("bad.saf").c_str(), in, &error), 0) << bad;
        EXPECT_FALSE(error.empty());
    }
    std::vector<SafInput> in = {{std::string(1020, 'n'), "", {'x'}}}; // "1 " + 1020 + "\n" fits
    EXPECT_EQ(saf_write(game("ok.saf").c_str(), in, &error), 1);
    in[0].bytes.assign(10, 'x'); // "10 " + 1020 + "\n" does not
    EXPECT_EQ(saf_write(game("long.saf").c_str(), in, &error), 0);
    in = {{"gone", test_dir() + "/no-such-file", {}}};
    EXPECT_EQ(saf_write(game("missing.saf").c_str(), in, &error), 0);
    EXPECT_FALSE(file_exists(game("bad.saf")));
    EXPECT_FALSE(file_exists(game("long.saf")));
    EXPECT_FALSE(file_exists(game("missing.saf")));
    EXPECT_FALSE(file_exists(game("missing.saf.part")));
}

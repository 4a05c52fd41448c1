// The vornix-saf archive tool, run as a program.
#include <gtest/gtest.h>

#include "data/datafile.h"
#include "data_test_util.h"
#include "support/test_env.h"

static const std::string TOOL = VORNIX_BUILD_DIR "/vornix-saf";

static RunResult saf(const std::string& args) {
    return run_command(TOOL + " " + args);
}

static void write_tree() {
    write_file(test_dir() + "/src/b.txt", "bee\n");
    write_file(test_dir() + "/src/a dir/c.txt", "sea");
    write_file(test_dir() + "/src/sub/d.bin", std::string("\0\xff\n", 3));
    write_file(test_dir() + "/src/sub/e.gz", gzip_bytes("packed"));
}

TEST(SafTool, BadArgumentsPrintUsage) {
    for (const char* args : {"", "q a.saf", "c a.saf", "t", "x", "t a.saf extra", "x a.saf -C",
                             "t a.saf -C d", "c -z a.saf f"}) {
        RunResult r = saf(args);
        EXPECT_EQ(r.status, 2) << args;
        EXPECT_NE(r.err.find("usage: vornix-saf"), std::string::npos) << args;
    }
    EXPECT_EQ(saf("--help").status, 0);
}

TEST(SafTool, CreatesFromAFolderInNameOrder) {
    write_tree();
    RunResult r = saf("c out.saf src");
    ASSERT_EQ(r.status, 0) << r.err;
    std::string gz = gzip_bytes("packed");
    std::string expected = "3 a dir/c.txt\n4 b.txt\n3 sub/d.bin\n" + std::to_string(gz.size()) +
                           " sub/e.gz\n-\nseabee\n" + std::string("\0\xff\n", 3) + gz;
    EXPECT_EQ(read_file(test_dir() + "/out.saf"), expected);

    // The search path reads what the tool wrote.
    write_file(test_game_dir() + "/out.saf", expected);
    EXPECT_EQ(read_data("@a dir/c.txt"), "sea");
    EXPECT_EQ(read_data("@sub/d.bin"), std::string("\0\xff\n", 3));
    EXPECT_EQ(read_data("@sub/e"), "packed");
}

TEST(SafTool, ListsMembersWithSizes) {
    write_file(test_dir() + "/l.saf", "3 a dir/c.txt\n10 b\n-\nseabbbbbbbbbb");
    RunResult r = saf("t l.saf");
    ASSERT_EQ(r.status, 0) << r.err;
    std::vector<std::string> lines = split_lines(r.out);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].substr(lines[0].find_first_not_of(' ')), "3 a dir/c.txt");
    EXPECT_EQ(lines[1].substr(lines[1].find_first_not_of(' ')), "10 b");
}

TEST(SafTool, RoundTripThroughExtract) {
    write_tree();
    ASSERT_EQ(saf("c rt.saf src").status, 0);
    RunResult r = saf("x rt.saf -C out/dir");
    ASSERT_EQ(r.status, 0) << r.err;
    for (const char* f : {"b.txt", "a dir/c.txt", "sub/d.bin", "sub/e.gz"})
        EXPECT_EQ(read_file(test_dir() + "/out/dir/" + f), read_file(test_dir() + "/src/" + f))
            << f;
    // Extracting to the current folder.
    write_file(test_dir() + "/here/keep", "");
    ASSERT_EQ(run_command("cd here && " + TOOL + " x ../rt.saf").status, 0);
    EXPECT_EQ(read_file(test_dir() + "/here/sub/d.bin"), std::string("\0\xff\n", 3));
}

TEST(SafTool, FilesAreNamedAsGivenOrRelativeToC) {
    write_tree();
    ASSERT_EQ(saf("c f.saf ./src//b.txt").status, 0);
    EXPECT_EQ(read_file(test_dir() + "/f.saf"), "4 src/b.txt\n-\nbee\n");
    ASSERT_EQ(saf("c g.saf -C src sub/d.bin b.txt").status, 0);
    EXPECT_EQ(read_file(test_dir() + "/g.saf"),
              "3 sub/d.bin\n4 b.txt\n-\n" + std::string("\0\xff\n", 3) + "bee\n");
    RunResult r = saf("c h.saf " + test_dir() + "/src/b.txt");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("-C"), std::string::npos);
    r = saf("c h.saf src/../src/b.txt");
    EXPECT_EQ(r.status, 1);
    EXPECT_FALSE(file_exists(test_dir() + "/h.saf"));
}

TEST(SafTool, RefusesDuplicatesMissingFilesAndItself) {
    write_tree();
    RunResult r = saf("c d.saf src/b.txt -C . src/b.txt");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("twice"), std::string::npos);
    r = saf("c d.saf nothing-here");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("nothing-here"), std::string::npos);
    EXPECT_FALSE(file_exists(test_dir() + "/d.saf"));
    // An archive written into the folder it stores does not store itself on the next run.
    ASSERT_EQ(saf("c src/self.saf src").status, 0);
    ASSERT_EQ(saf("c src/self.saf src").status, 0);
    EXPECT_EQ(saf("t src/self.saf").out.find("self.saf"), std::string::npos);
}

TEST(SafTool, ExtractRefusesEscapingNames) {
    write_file(test_dir() + "/evil.saf",
               "4 ../evil\n4 /tmp/abs\n4 a/../../x\n4 ok/fine\n-\nEVILABS!XXXXgood");
    RunResult r = saf("x evil.saf -C out");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("refusing"), std::string::npos);
    EXPECT_EQ(read_file(test_dir() + "/out/ok/fine"), "good");
    EXPECT_FALSE(file_exists(test_dir() + "/evil"));
    EXPECT_FALSE(file_exists(test_dir() + "/x"));
}

TEST(SafTool, DamagedArchives) {
    write_file(test_dir() + "/bad.saf", "3 a\nno number\n-\nabc");
    RunResult r = saf("t bad.saf");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("not a valid archive"), std::string::npos);
    EXPECT_EQ(saf("x bad.saf").status, 1);
    EXPECT_EQ(saf("t missing.saf").status, 1);
    // A member cut short by the end of the archive is extracted as far as it goes and reported.
    write_file(test_dir() + "/short.saf", "10 a\n-\nabc");
    r = saf("x short.saf -C s");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("cut short"), std::string::npos);
    EXPECT_EQ(read_file(test_dir() + "/s/a"), "abc");
}

// The search path, the name list and which file a data name opens.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

#include "data/datafile.h"
#include "data_test_util.h"
#include "platform/log.h"
#include "support/test_env.h"

static std::string game(const std::string& rel) {
    return test_game_dir() + "/" + rel;
}
static std::string user(const std::string& rel) {
    return test_user_dir() + rel;
}

TEST(DataFolders, PerUserFolderFirstThenGameFolder) {
    ASSERT_EQ(data_folder_count(), 2);
    EXPECT_EQ(std::string(data_folder(0)), test_user_dir());
    EXPECT_EQ(std::string(data_folder(1)), test_game_dir() + "/");
    EXPECT_EQ(data_folder(2), nullptr);
    EXPECT_EQ(data_folder(-1), nullptr);
}

TEST(DataFolders, HomeStandsInForUnsetOrRelativeXdgDataHome) {
    unsetenv("XDG_DATA_HOME");
    data_reset();
    EXPECT_EQ(std::string(data_folder(0)), test_home() + "/.local/share/Vornix/");
    setenv("XDG_DATA_HOME", "relative/place", 1);
    data_reset();
    EXPECT_EQ(std::string(data_folder(0)), test_home() + "/.local/share/Vornix/");
}

TEST(DataFolders, GameFolderBecomesFolderZeroWithoutHome) {
    unsetenv("XDG_DATA_HOME");
    unsetenv("HOME");
    data_reset();
    ASSERT_EQ(data_folder_count(), 1);
    EXPECT_EQ(std::string(data_folder(0)), test_game_dir() + "/");
    // Written data names now land in the game folder.
    DataFile* f = data_open("@out.txt", "w");
    ASSERT_NE(f, nullptr);
    data_close(f);
    EXPECT_TRUE(file_exists(game("out.txt")));
}

TEST(DataFolders, ExecutableFolderWhenQzHomeUnsetOrEmpty) {
    char* real = realpath(VORNIX_BUILD_DIR "/tests", nullptr);
    ASSERT_NE(real, nullptr);
    std::string expected = std::string(real) + "/";
    free(real);
    for (const char* value : {(const char*)nullptr, ""}) {
        if (value)
            setenv("QZ_HOME", value, 1);
        else
            unsetenv("QZ_HOME");
        data_reset();
        ASSERT_EQ(data_folder_count(), 2);
        EXPECT_EQ(std::string(data_folder(1)), expected);
    }
}

TEST(DataFolders, FolderPathsAreNormalised) {
    setenv("QZ_HOME", (test_game_dir() + "//sub\\dir///").c_str(), 1);
    setenv("XDG_DATA_HOME", (test_home() + "/.local//share/").c_str(), 1);
    data_reset();
    EXPECT_EQ(std::string(data_folder(0)), test_user_dir());
    EXPECT_EQ(std::string(data_folder(1)), test_game_dir() + "/sub/dir/");
}

TEST(PathJoin, TurnsBackslashesAndCollapsesRuns) {
    EXPECT_EQ(path_join("a\\b//", "/c\\\\d"), "a/b/c/d");
    EXPECT_EQ(path_join("/x/", "y"), "/x/y");
    EXPECT_EQ(path_join("", ""), "");
    EXPECT_EQ(path_join(nullptr, "y"), "");
    EXPECT_EQ(path_join("x", nullptr), "");
}

TEST(DataNames, SortedDistinctOverFoldersAndArchives) {
    write_file(user("b.txt"), "user b");
    write_file(game("b.txt"), "game b");
    write_file(game("A/z.txt"), "z");
    write_file(game("pack.saf"), "1 a.txt\n1 m.txt\n-\nxy");
    std::vector<std::string> expected = {"A/z.txt", "a.txt", "b.txt", "m.txt", "pack.saf"};
    EXPECT_EQ(name_list(), expected);

    // Loose entries: the path in its folder, offset 0, the file size, the folder index.
    const std::vector<DataEntry>& e = data_entries();
    ASSERT_EQ(e.size(), 6u);
    EXPECT_EQ(e[0].path, game("A/z.txt"));
    EXPECT_EQ(e[2].name, "b.txt");
    EXPECT_EQ(e[2].source, 0);
    EXPECT_EQ(e[2].size, 6);
    EXPECT_EQ(e[3].name, "b.txt");
    EXPECT_EQ(e[3].source, 1);
    // Members: directory of 8 + 8 + 2 bytes; the first archive is numbered after both folders.
    EXPECT_EQ(e[1].path, game("pack.saf"));
    EXPECT_EQ(e[1].offset, 18);
    EXPECT_EQ(e[1].size, 1);
    EXPECT_EQ(e[1].source, 2);
    EXPECT_EQ(e[4].offset, 19);
}

TEST(DataNames, BuiltOnceButNewFilesStillOpen) {
    write_file(game("early.txt"), "e");
    EXPECT_EQ(name_list(), std::vector<std::string>{"early.txt"});
    write_file(game("late.txt"), "l");
    EXPECT_EQ(name_list(), std::vector<std::string>{"early.txt"});
    EXPECT_EQ(read_data("@late.txt"), "l");
}

TEST(DataNames, RescanAddsFilesWrittenSinceAndKeepsTheFolders) {
    write_file(game("early.txt"), "e");
    EXPECT_EQ(name_list(), std::vector<std::string>{"early.txt"});
    write_file(user("demos/late.qzdemo"), "l");
    data_rescan();
    EXPECT_EQ(name_list(), (std::vector<std::string>{"demos/late.qzdemo", "early.txt"}));
    ASSERT_EQ(data_folder_count(), 2);
    EXPECT_EQ(std::string(data_folder(0)), test_user_dir());
    // An entry's source is still its folder number.
    const std::vector<DataEntry>& e = data_entries();
    ASSERT_EQ(e.size(), 2u);
    EXPECT_EQ(e[0].source, 0);
    EXPECT_EQ(e[1].source, 1);
}

TEST(DataNames, ArchivesAreExactCaseDotSafFilesOnly) {
    write_file(game("UPPER.SAF"), saf_bytes({{"u", "1"}}));
    write_file(game(".saf"), saf_bytes({{"dot", "1"}}));
    write_file(game("sub/deep.saf"), saf_bytes({{"inner.saf", saf_bytes({{"nested", "n"}})}}));
    std::vector<std::string> expected = {".saf", "UPPER.SAF", "inner.saf", "sub/deep.saf"};
    EXPECT_EQ(name_list(), expected);
    // A member is named without its archive's folder; archives inside archives stay closed.
    EXPECT_EQ(read_data("@inner.saf"), saf_bytes({{"nested", "n"}}));
    EXPECT_EQ(read_data("@nested"), "<none>");
}

TEST(DataNames, InvalidArchiveStillUsesUpItsNumber) {
    write_file(game("a.saf"), "1 lost\n"); // no end line
    write_file(game("b.saf"), saf_bytes({{"kept", "k"}}));
    const std::vector<DataEntry>& e = data_entries();
    ASSERT_EQ(e.size(), 3u);
    EXPECT_EQ(e[2].name, "kept");
    EXPECT_EQ(e[2].source, 3);
}

TEST(DataOpen, FolderZeroBeatsFolderOne) {
    write_file(user("tracks/t1/desc"), "from user");
    write_file(game("tracks/t1/desc"), "from game");
    EXPECT_EQ(read_data("@tracks/t1/desc"), "from user");
    EXPECT_EQ(read_data(game("tracks/t1/desc")), "from game"); // a plain path is just a path
}

TEST(DataOpen, ArchiveMemberAndLooseFilePrecedence) {
    write_file(user("pack.saf"), saf_bytes({{"only/in/archive", "archived"}, {"both", "member"}}));
    write_file(game("both"), "loose");
    EXPECT_EQ(read_data("@only/in/archive"), "archived");
    EXPECT_EQ(read_data("@both"), "loose");
    EXPECT_EQ(read_data("@missing"), "<none>");
}

TEST(DataOpen, NineteenByteDirectory) {
    std::string archive = "12 a.txt\n3 b.txt\n-\n";
    ASSERT_EQ(archive.size(), 19u);
    archive += "hello world!abcTRAILING";
    write_file(game("ex.saf"), archive);
    const std::vector<DataEntry>& e = data_entries();
    ASSERT_EQ(e.size(), 3u);
    EXPECT_EQ(e[0].name, "a.txt");
    EXPECT_EQ(e[0].offset, 19);
    EXPECT_EQ(e[0].size, 12);
    EXPECT_EQ(e[1].name, "b.txt");
    EXPECT_EQ(e[1].offset, 31);
    EXPECT_EQ(e[1].size, 3);
    EXPECT_EQ(read_data("@a.txt"), archive.substr(19, 12));
    EXPECT_EQ(read_data("@b.txt"), archive.substr(31, 3));
}

TEST(DataOpen, ArchiveWithoutFinalLineFeedContributesNothing) {
    write_file(game("a.saf"), "3 one\n3 two\n-" + std::string("111222"));
    write_file(game("b.saf"), "3 three\n3 four");
    EXPECT_EQ(name_list(), (std::vector<std::string>{"a.saf", "b.saf"}));
    EXPECT_EQ(read_data("@one"), "<none>");
    EXPECT_EQ(read_data("@three"), "<none>");
}

TEST(DataOpen, LetterCaseIsIgnoredForEntries) {
    write_file(game("pack.saf"), saf_bytes({{"Tracks/MX1/Desc", "member"}}));
    write_file(game("README"), "loose");
    EXPECT_EQ(read_data("@tracks/mx1/desc"), "member");
    EXPECT_EQ(read_data("@readme"), "loose");
}

TEST(DataOpen, TwoArchivesWithOneMember) {
    // The archive whose name sorts first wins, whichever folder holds it.
    write_file(user("b.saf"), saf_bytes({{"x.txt", "from b"}}));
    write_file(game("a.saf"), saf_bytes({{"x.txt", "from a"}}));
    EXPECT_EQ(read_data("@x.txt"), "from a");
    const std::vector<DataEntry>& e = data_entries();
    ASSERT_EQ(e.size(), 4u);
    EXPECT_EQ(e[2].source, 2);
    EXPECT_EQ(e[2].path, game("a.saf"));
    EXPECT_EQ(e[3].source, 3);
}

TEST(DataOpen, RepeatedNameInOneArchiveTakesTheFirst) {
    write_file(game("p.saf"), saf_bytes({{"dup", "first"}, {"dup", "second"}}));
    EXPECT_EQ(read_data("@dup"), "first");
}

TEST(DataOpen, WritingCreatesFoldersInFolderZero) {
    ASSERT_FALSE(file_exists(test_user_dir()));
    DataFile* f = data_open("@demos/race1.qzdemo", "wb");
    ASSERT_NE(f, nullptr);
    EXPECT_GE(data_puts(f, "demo"), 0);
    data_close(f);
    EXPECT_EQ(read_file(user("demos/race1.qzdemo")), "demo");
    EXPECT_FALSE(file_exists(game("demos")));
}

TEST(DataOpen, WritingModesNeverReachArchives) {
    // "r+" creates no file, so only an archive lookup could make this open.
    write_file(game("p.saf"), saf_bytes({{"member", "m"}}));
    EXPECT_EQ(data_open("@member", "r+"), nullptr);
    EXPECT_EQ(read_data("@member"), "m");
}

TEST(DataOpen, QzHomeNamesTheGameFolder) {
    std::string other = test_dir() + "/elsewhere";
    write_file(other + "/only-here.txt", "elsewhere");
    write_file(game("only-here.txt"), "game");
    write_file(user("mine.txt"), "user");
    setenv("QZ_HOME", other.c_str(), 1);
    data_reset();
    EXPECT_EQ(std::string(data_folder(0)), test_user_dir());
    EXPECT_EQ(read_data("@only-here.txt"), "elsewhere");
    EXPECT_EQ(read_data("@mine.txt"), "user");
}

TEST(DataOpen, OverlongFolderPathIsRefusedNotCut) {
    std::string name(600, 'n');
    DataFile* f = data_open(("@" + name).c_str(), "w");
    EXPECT_EQ(f, nullptr);
    data_close(f);
    // Nothing was created under a shortened name.
    EXPECT_EQ(name_list().size(), 0u);
    data_reset();
    EXPECT_EQ(name_list().size(), 0u);
}

TEST(DataOpen, FoldersDoNotOpenAsFiles) {
    mkdir(test_user_dir().c_str(), 0755);
    mkdir(user("x").c_str(), 0755);
    write_file(game("tracks/t/desc"), "d");
    write_file(game("p.saf"), saf_bytes({{"x", "member x"}}));
    EXPECT_EQ(data_open("@tracks", "rb"), nullptr);
    // A folder in folder 0 does not hide an archive member of that name.
    EXPECT_EQ(read_data("@x"), "member x");
}

TEST(DataOpen, LinkLoopsInFoldersEndTheWalk) {
    write_file(game("d/file"), "f");
    ASSERT_EQ(symlink("..", game("d/up").c_str()), 0);
    ASSERT_EQ(symlink(".", game("d/self").c_str()), 0);
    EXPECT_EQ(name_list(), std::vector<std::string>{"d/file"});
}

TEST(DataOpen, OnlyRegularFilesAreRead) {
    // A FIFO would block the open itself, a device never ends: both are refused at once, and
    // so is a folder given as a path.
    std::string fifo = test_dir() + "/fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
    EXPECT_EQ(data_open(fifo.c_str(), "rb"), nullptr);
    if (access("/dev/zero", R_OK) == 0) EXPECT_EQ(data_open("/dev/zero", "rb"), nullptr);
    EXPECT_EQ(data_open(test_dir().c_str(), "rb"), nullptr);
    // A FIFO under a data name does not hide the game folder's file either.
    mkdir(test_user_dir().c_str(), 0755);
    ASSERT_EQ(mkfifo(user("config").c_str(), 0644), 0);
    write_file(game("config"), "laps=7\n");
    EXPECT_EQ(read_data("@config"), "laps=7\n");
}

TEST(DataOpen, StreamsKeepTheNameTheyWereOpenedUnder) {
    write_file(game("tracks/t/tileinfo"), "addtile\n");
    DataFile* f = data_open("@tracks/t/tileinfo", "rb");
    ASSERT_NE(f, nullptr);
    EXPECT_STREQ(f->name, "@tracks/t/tileinfo");
    EXPECT_STREQ(data_file_label(f), "tracks/t/tileinfo");
    data_close(f);
    std::string path = game("tracks/t/tileinfo");
    f = data_open(path.c_str(), "rb");
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(std::string(data_file_label(f)), path);
    data_close(f);
}

TEST(DataCheckRange, ClampsAndLogsTheFileTheQuantityAndTheValue) {
    log_setup(("DRUV_LOGFILE=" + test_dir() + "/log.txt").c_str());
    EXPECT_EQ(data_check_range_in("@t/statues", "statue x", 5.0f, 0.0f, 10.0f, 1.0f), 5.0f);
    EXPECT_EQ(read_file(test_dir() + "/log.txt").find("Warning"), std::string::npos);
    EXPECT_EQ(data_check_range_in("@t/statues", "statue x", 1e30f, 0.0f, 10.0f, 1.0f), 10.0f);
    EXPECT_EQ(data_check_range_in("t/tileinfo", "friction", -2.0f, 0.0f, 10.0f, 1.0f), 0.0f);
    EXPECT_EQ(data_check_range_in("t/tileinfo", "friction", NAN, 0.0f, 10.0f, 1.0f), 1.0f);
    EXPECT_EQ(data_check_range_in("t/tileinfo", "friction", INFINITY, 0.0f, 10.0f, 1.0f), 10.0f);
    std::string log = read_file(test_dir() + "/log.txt");
    EXPECT_NE(log.find("Warning: t/statues: statue x 1e+30 out of range (0 to 10), using 10\n"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("t/tileinfo: friction -2 out of range (0 to 10), using 0\n"),
              std::string::npos);
    EXPECT_NE(log.find("t/tileinfo: friction nan out of range (0 to 10), using 1\n"),
              std::string::npos);
    EXPECT_NE(log.find("t/tileinfo: friction inf out of range (0 to 10), using 10\n"),
              std::string::npos);
}

#include <gtest/gtest.h>

#include <regex>
#include <unistd.h>

#include "support/test_env.h"

namespace {
const std::regex stamp_re(R"(^\[\d+:\d\d:\d\d\.\d\d\] )");

void make_track(const std::string& folder) {
    write_file(test_game_dir() + "/" + folder + "/terrain.hf", "x");
}
} // namespace

TEST(Startup, CommandLineErrorsExitWithStatusOne) {
    make_track("rabbithill");
    RunResult r = run_vornix("--bogus");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "bad option '--bogus'\n");
    r = run_vornix("--texture-detail");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Bad arg for --texture-detail\n");
    r = run_vornix("a.qzdemo b.qzdemo");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Too many files!\n");
    // Numbers no run can honour: an endless pacing wait, a run that never ends, a window no
    // display has.
    for (const char* o :
         {"--lock-fps inf", "--lock-fps 1e400", "--lock-fps 2147483648", "--quit-after nan",
          "--quit-after inf", "--width 100000", "--height -5"}) {
        r = run_vornix(o);
        EXPECT_EQ(r.status, 1) << o;
        std::string name = std::string(o).substr(0, std::string(o).find(' '));
        EXPECT_EQ(r.err, "Bad arg for " + name + "\n") << o;
    }
}

TEST(Startup, UnknownTrackIsNamedAndARunThatWasToRideItEnds) {
    make_track("rabbithill");
    RunResult r = run_vornix("--headless --track nowhere --quit-after 1");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Unknown track 'nowhere'\n");
    // A path is a name like any other: never a way to another folder's track.
    r = run_vornix("--headless --track ../../etc --quit-after 1");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Unknown track '../../etc'\n");
}

TEST(Startup, AUserFolderThatCannotBeWrittenIsSaid) {
    make_track("rabbithill");
    // A file where the per-user folder belongs: nothing can be saved there.
    std::string user = test_user_dir();
    user.pop_back();
    run_command("rm -rf '" + user + "' && touch '" + user + "'");
    RunResult r = run_vornix("--headless --quit-after 1");
    EXPECT_NE(r.err.find("Can't write to " + user +
                         "/ (can't create it): settings, demos and "
                         "results will not be saved\n"),
              std::string::npos)
        << r.err;
    // The settings could not be saved at exit either, which the status says.
    EXPECT_NE(r.err.find("Can't save the settings (config)"), std::string::npos) << r.err;
    EXPECT_EQ(r.status, 1);
}

TEST(Startup, ADemoThatCannotBeReadIsSaid) {
    make_track("rabbithill");
    write_file(test_dir() + "/bad.qzdemo", "not a demo\n");
    RunResult r = run_vornix("--headless --quit-after 1 " + test_dir() + "/bad.qzdemo");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("Can't play demo '" + test_dir() + "/bad.qzdemo': not a demo file"),
              std::string::npos)
        << r.err;
    r = run_vornix("--headless --quit-after 1 /dev/zero");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("Can't play demo '/dev/zero'"), std::string::npos) << r.err;
}

TEST(Startup, NoTracksFound) {
    RunResult r = run_vornix("--headless --quit-after 1");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "No tracks found\n");
}

TEST(Startup, MissingGameFolderIsReported) {
    RunResult r =
        run_command("QZ_HOME=/nonexistent/vornix " + std::string(VORNIX_BIN) + " --headless");
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.err.find("Can't find game data"), std::string::npos);
}

TEST(Startup, HeadlessRunWritesLogAndConfig) {
    make_track("rabbithill");
    RunResult r = run_vornix("--headless --quit-after 1");
    ASSERT_EQ(r.status, 0) << r.err;
    std::string dir = test_user_dir();
    std::vector<std::string> log = split_lines(read_file(dir + "lastlog.txt"));
    ASSERT_GE(log.size(), 2u);
    EXPECT_EQ(std::regex_replace(log[0], stamp_re, ""),
              "Logfile \"" + dir + "lastlog.txt\" opened");
    EXPECT_EQ(std::regex_replace(log[1], stamp_re, ""), "DRUV 0.31");

    std::vector<std::string> config = split_lines(read_file(dir + "config"));
    ASSERT_FALSE(config.empty());
    EXPECT_EQ(config[0], "xres=640");
    int slots = 0, hist = 0, keys = 0;
    for (const std::string& line : config) {
        slots += line.rfind("slot", 0) == 0;
        hist += line.rfind("server_name_hist", 0) == 0;
        keys += line.find("_key=(k)") != std::string::npos;
    }
    EXPECT_EQ(slots, 40);
    EXPECT_EQ(hist, 16);
    EXPECT_EQ(keys, 20);
    EXPECT_EQ(config.back(), "screenshot_key=(k)s");
}

TEST(Startup, HeadlessRunLeavesTheDisplayAlone) {
    make_track("rabbithill");
    // With and without a display named: a headless run neither probes nor mentions one.
    for (const char* env : {"env -u DISPLAY -u WAYLAND_DISPLAY ", "DISPLAY=:4711 "}) {
        RunResult r = run_command(env + std::string(VORNIX_BIN) + " --headless --quit-after 1");
        ASSERT_EQ(r.status, 0) << r.err;
        std::string log = read_file(test_user_dir() + "lastlog.txt");
        EXPECT_EQ(log.find("display"), std::string::npos) << env << log;
        EXPECT_EQ(log.find("mode"), std::string::npos) << env << log;
    }
}

TEST(Startup, OpenHomeCreatesTheFolderAndOpensIt) {
    write_file(test_dir() + "/bin/xdg-open",
               "#!/bin/sh\necho \"$1\" > \"" + test_dir() + "/opened\"\n");
    run_command("chmod +x bin/xdg-open");
    RunResult r = run_command("PATH=" + test_dir() + "/bin:$PATH " + std::string(VORNIX_BIN) +
                              " --open-home");
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(file_exists(test_user_dir()));
    // The desktop opener runs detached; give it a moment (the shell creates the file before
    // it writes the line).
    std::string opened;
    for (int i = 0; i < 50 && opened.find('\n') == std::string::npos; i++) {
        usleep(100000);
        if (file_exists(test_dir() + "/opened")) opened = read_file(test_dir() + "/opened");
    }
    EXPECT_NE(opened.find("Vornix"), std::string::npos) << opened;
}

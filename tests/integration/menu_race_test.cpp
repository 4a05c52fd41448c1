// The real program under a virtual display, driven through its menus by a key script from the
// title screen: a race on Rabbit Hill with its HUD over the riding view and its demo, the demo
// played back from the playback list in the same run; a bike chosen, then a time trial and a
// points series event on it; and a demo recorded earlier played from the list.
#include <gtest/gtest.h>

#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "data/image.h"
#include "support/test_env.h"

namespace {

bool has(const std::string& text, const std::string& piece) {
    return text.find(piece) != std::string::npos;
}

int count_of(const std::string& text, const std::string& piece) {
    int n = 0;
    for (size_t at = text.find(piece); at != std::string::npos; at = text.find(piece, at + 1)) n++;
    return n;
}

// Runs vornix windowed at 800 x 600 on the generated data, from its title screen, with a key
// script (times in seconds after the main loop starts).
RunResult run_menus(const std::string& config, const std::string& script) {
    write_file(test_user_dir() + "config", "video_mode=Windowed\n" + config);
    write_file("keys.txt", script);
    return run_command("timeout 300 " + xvfb_run_a() + " -s '-screen 0 1024x768x24' env QZ_HOME='" +
                       std::string(VORNIX_BUILD_DIR) + "/data' " + VORNIX_BIN +
                       " --width 800 --height 600 --nosound --debug --script keys.txt "
                       "--quit-after 120");
}

std::string user_file(const std::string& name) {
    return read_file(test_user_dir() + name);
}

// Pixels of a kind within a rectangle of a screenshot.
struct Shot {
    Image img;
    int count(int x0, int y0, int x1, int y1, bool (*kind)(const uint8_t*)) const {
        int n = 0;
        for (int y = y0; y < y1; y++)
            for (int x = x0; x < x1; x++)
                n += kind(&img.pixels[((size_t)y * img.width + x) * img.channels]);
        return n;
    }
};

bool orange(const uint8_t* p) {
    return p[0] > 200 && p[1] > 90 && p[1] < 170 && p[2] < 80;
}
bool white(const uint8_t* p) {
    return p[0] > 200 && p[1] > 200 && p[2] > 200;
}

// The demo's rider numbers, from its text part ("QZ05 <riders> ...", the track, then a bike
// line and a number line per rider).
std::vector<std::string> demo_numbers(const std::string& demo) {
    std::vector<std::string> numbers;
    int riders = 0;
    if (sscanf(demo.c_str(), "QZ05 %d", &riders) != 1) return numbers;
    std::istringstream in(demo);
    std::string line;
    std::getline(in, line); // header
    std::getline(in, line); // track
    for (int i = 0; i < riders; i++) {
        std::getline(in, line); // bike
        if (!std::getline(in, line)) break;
        numbers.push_back(line);
    }
    return numbers;
}

} // namespace

TEST(MenuRace, FromTheTitleScreenIntoARaceOnRabbitHill) {
    // Title: the main menu with Race chosen. Race: Track (Rabbit Hill, the default), Laps,
    // Minutes, Robot Skill, Record Demo, Starting Gate, Start Race.
    RunResult r = run_menus("", "1.0 tap enter\n" // Race
                                "1.3 tap down\n"
                                "1.5 tap down\n"
                                "1.7 tap down\n"
                                "1.9 tap down\n"
                                "2.1 tap right\n" // Record Demo: Yes
                                "2.3 tap down\n"
                                "2.5 tap down\n"
                                "2.7 tap enter\n" // Start Race
                                "3.0 press x\n"
                                "8.0 tap s\n" // the riding view with its HUD
                                "8.3 release x\n"
                                // The main menu over the race, Resume chosen; then the demo
                                // just recorded, first on the playback list.
                                "8.6 tap esc\n"
                                "8.9 tap down\n"
                                "9.1 tap down\n"
                                "9.3 tap down\n"
                                "9.5 tap down\n" // Demo Playback
                                "9.8 tap enter\n"
                                "10.5 tap enter\n"
                                "14.0 press Close\n");
    ASSERT_EQ(r.status, 0) << r.err;
    std::string log = user_file("lastlog.txt");
    EXPECT_TRUE(has(user_file("config"), "record=Yes\n"));

    // A race session on Rabbit Hill with the player alone at the gate, recorded.
    size_t race = log.find("Loading '@rabbithill'");
    ASSERT_NE(race, std::string::npos) << log;
    EXPECT_TRUE(has(log.substr(race), "rider 0: 999 on crf250(2009)")) << log;
    std::string demo = user_file("demos/default.qzdemo");
    ASSERT_EQ(demo.compare(0, 7, "QZ05 1 "), 0) << demo.substr(0, 100);
    EXPECT_TRUE(has(demo.substr(0, 200), "\nrabbithill\n")) << demo.substr(0, 200);
    EXPECT_EQ(demo_numbers(demo), std::vector<std::string>{"999"});
    // Played back from the list: a second session with the recorded rider.
    EXPECT_EQ(count_of(log, "rider 0: 999 on crf250(2009)"), 2) << log;

    // The riding view with the instruments over it: the pit board's orange "#999 L1 P1" at the
    // upper left, the tachometer's white marks at the lower right, the gear digit in its box;
    // and no title picture behind.
    Shot ride;
    ASSERT_TRUE(image_load_rgba((test_user_dir() + "screenshot001.png").c_str(), &ride.img));
    ASSERT_EQ(ride.img.width, 800);
    ASSERT_EQ(ride.img.height, 600);
    EXPECT_GT(ride.count(20, 20, 240, 50, orange), 150);
    EXPECT_GT(ride.count(610, 410, 790, 590, white), 250);
    EXPECT_GT(ride.count(540, 500, 600, 545, white), 100);
    EXPECT_LT(ride.count(100, 120, 700, 280, orange), 300);
}

TEST(MenuRace, ABikeChosenThenATimeTrialAndAPointsSeriesEvent) {
    // The series file of the game data: 19 riders numbered 40, 41, 43, ... 90. Main menu:
    // Race, Time Trial, Points Series, Demo Playback, Multiplayer, Bike & Rider, Options, Quit.
    RunResult r = run_menus("", "1.0 tap up\n"
                                "1.2 tap up\n"
                                "1.4 tap up\n"
                                "1.6 tap enter\n" // Bike & Rider
                                "1.9 tap right\n" // Bike: the next of the catalogue
                                "2.1 tap Backspace\n"
                                "2.3 tap Home\n"
                                "2.5 tap down\n"
                                "2.7 tap enter\n" // Time Trial
                                "3.0 tap End\n"
                                "3.2 tap up\n"
                                "3.4 tap enter\n" // Start Time Trial
                                "6.5 tap esc\n"   // Resume, Race, Time Trial, Points Series
                                "6.8 tap down\n"
                                "7.0 tap down\n"
                                "7.2 tap down\n"
                                "7.4 tap enter\n"
                                "7.7 tap enter\n" // the series: its standings screen
                                "8.1 tap enter\n" // Start Next Event
                                "12.0 press Close\n");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(has(user_file("config"), "\nbike=kx250f(2009)\n"));
    std::string log = user_file("lastlog.txt");
    size_t trial = log.find("rider 0: 999 on kx250f(2009)");
    ASSERT_NE(trial, std::string::npos) << log;
    size_t event = log.find("rider 0: 999 on kx250f(2009)", trial + 1);
    ASSERT_NE(event, std::string::npos) << log;
    // The time trial is the player alone; the event puts the series riders behind the player
    // in the order the series lists them.
    EXPECT_FALSE(has(log.substr(trial, event - trial), "rider 1: ")) << log;
    std::string ev = log.substr(event);
    EXPECT_TRUE(has(ev, "rider 1: 40 on ")) << ev;
    EXPECT_TRUE(has(ev, "rider 2: 41 on ")) << ev;
    EXPECT_TRUE(has(ev, "rider 19: 90 on ")) << ev;
    EXPECT_FALSE(has(ev, "rider 20: ")) << ev;

    // Leaving the event unfinished records the order at that moment: one line of 20
    // finishing positions, each place taken once.
    std::vector<std::string> lines = split_lines(user_file("nationals.series_standings"));
    ASSERT_EQ(lines.size(), 1u);
    std::istringstream in(lines[0]);
    std::set<int> places;
    for (int v; in >> v;) places.insert(v);
    EXPECT_EQ(places.size(), 20u);
    EXPECT_EQ(*places.begin(), 1);
    EXPECT_EQ(*places.rbegin(), 20);
}

TEST(MenuRace, ADemoRecordedEarlierPlaysFromTheList) {
    write_file(test_user_dir() + "config", "record=Yes\nslot00=Robot\nslot03=Robot (2 stroke)\n");
    RunResult rec = run_command("QZ_HOME='" VORNIX_BUILD_DIR "/data' " + std::string(VORNIX_BIN) +
                                " --headless --track rabbithill --race --warp --quit-after 3");
    ASSERT_EQ(rec.status, 0) << rec.err;
    std::string demo = user_file("demos/default.qzdemo");
    std::vector<std::string> numbers = demo_numbers(demo);
    ASSERT_EQ(numbers.size(), 2u) << demo.substr(0, 200);

    // Main menu: Race, Time Trial, Points Series, Demo Playback.
    RunResult r = run_menus("record=Yes\n", "1.0 tap down\n"
                                            "1.2 tap down\n"
                                            "1.4 tap down\n"
                                            "1.6 tap enter\n"
                                            "2.0 tap enter\n" // the first demo
                                            "6.0 press Close\n");
    ASSERT_EQ(r.status, 0) << r.err;
    std::string log = user_file("lastlog.txt");
    EXPECT_TRUE(has(log, "rider 0: " + numbers[0] + " on ")) << log;
    EXPECT_TRUE(has(log, "rider 1: " + numbers[1] + " on ")) << log;
    EXPECT_FALSE(has(log, "rider 2: ")) << log;
    // Watching does not record over it.
    EXPECT_EQ(user_file("demos/default.qzdemo"), demo);
}

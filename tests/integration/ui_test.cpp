// The real program under a virtual display on the generated game data: the title screen and
// the menus are drawn, and scripted keys drive the menus, change settings and quit.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "data/image.h"
#include "support/test_env.h"

namespace {

bool has(const std::string& text, const std::string& piece) {
    return text.find(piece) != std::string::npos;
}

// Runs vornix windowed at 800 x 600 on the generated data with a key script.
RunResult run_ui(const std::string& script, double quit_after = 10) {
    write_file(test_user_dir() + "config", "video_mode=Windowed\n");
    write_file("keys.txt", script);
    return run_command("timeout 300 " + xvfb_run_a() + " -s '-screen 0 1024x768x24' env QZ_HOME='" +
                       std::string(VORNIX_BUILD_DIR) + "/data' " + VORNIX_BIN +
                       " --width 800 --height 600 --script keys.txt --quit-after " +
                       std::to_string(quit_after));
}

struct Picture {
    Image img;
    int at(int x, int y, int c) const {
        return img.pixels[((size_t)y * img.width + x) * img.channels + c];
    }
    // Mean of channel c over a rectangle.
    double mean(int x0, int y0, int x1, int y1, int c) const {
        double sum = 0;
        for (int y = y0; y < y1; y++)
            for (int x = x0; x < x1; x++) sum += at(x, y, c);
        return sum / ((double)(x1 - x0) * (y1 - y0));
    }
    int colours() const {
        std::set<int> seen;
        for (int y = 0; y < img.height; y += 2)
            for (int x = 0; x < img.width; x += 2)
                seen.insert(at(x, y, 0) << 16 | at(x, y, 1) << 8 | at(x, y, 2));
        return (int)seen.size();
    }
    // Near-white pixels (text) within a rectangle.
    int white(int x0, int y0, int x1, int y1) const {
        int n = 0;
        for (int y = y0; y < y1; y++)
            for (int x = x0; x < x1; x++)
                n += at(x, y, 0) > 200 && at(x, y, 1) > 200 && at(x, y, 2) > 200;
        return n;
    }
    // Pixels of the title's orange within a rectangle.
    int orange(int x0, int y0, int x1, int y1) const {
        int n = 0;
        for (int y = y0; y < y1; y++)
            for (int x = x0; x < x1; x++)
                n += at(x, y, 0) > 200 && at(x, y, 1) > 90 && at(x, y, 1) < 170 && at(x, y, 2) < 80;
        return n;
    }
};

Picture load_shot(int n) {
    char name[64];
    snprintf(name, sizeof name, "screenshot%03d.png", n);
    Picture p;
    EXPECT_TRUE(image_load_rgba((test_user_dir() + name).c_str(), &p.img)) << name;
    return p;
}

} // namespace

TEST(UiScreens, TitleScreenAndARaceMenu) {
    RunResult r = run_ui("1.0 tap s\n"
                         "1.4 tap enter\n" // Race
                         "2.0 tap s\n"
                         "2.6 press Close\n");
    ASSERT_EQ(r.status, 0) << r.err;
    std::string log = read_file(test_user_dir() + "lastlog.txt");
    ASSERT_TRUE(has(log, "Saved \"screenshot002.png\"")) << log;

    Picture title = load_shot(1);
    ASSERT_EQ(title.img.width, 800);
    ASSERT_EQ(title.img.height, 600);
    EXPECT_GT(title.colours(), 2000); // a picture, not a cleared frame
    // Sky above (blue over red), the name in orange, the menu's dark panel below it.
    EXPECT_GT(title.mean(0, 0, 800, 60, 2), title.mean(0, 0, 800, 60, 0) + 30);
    EXPECT_GT(title.orange(100, 100, 700, 280), 5000);
    double panel = title.mean(300, 380, 500, 540, 1);
    EXPECT_LT(panel, 110);
    EXPECT_GT(title.white(280, 330, 520, 560), 500); // the items' names

    Picture race = load_shot(2);
    // A large dark panel over the middle, with its orange heading.
    EXPECT_LT(race.mean(150, 150, 650, 450, 1), 60);
    EXPECT_GT(race.orange(100, 60, 700, 300), 300);
    // The title's name no longer shows through the panel.
    EXPECT_LT(race.orange(100, 100, 700, 280), title.orange(100, 100, 700, 280) / 4);
}

TEST(UiScreens, SettingsChosenInTheMenusAreSaved) {
    RunResult r = run_ui("1.0 tap enter\n" // Race
                         "1.3 tap down\n"  // Laps
                         "1.5 tap right\n"
                         "1.7 tap right\n"
                         "1.9 tap down\n" // Minutes
                         "2.1 tap down\n" // Robot Skill
                         "2.3 tap right\n"
                         "2.5 tap Backspace\n" // main menu
                         "2.7 tap up\n"
                         "2.9 tap up\n"
                         "3.1 tap up\n" // Bike & Rider
                         "3.3 tap enter\n"
                         "3.5 tap down\n"
                         "3.7 tap down\n"
                         "3.9 tap down\n" // Rider
                         "4.1 tap enter\n"
                         "4.3 tap enter\n" // type the name
                         "4.5 type Ana\n"
                         "4.8 tap s\n" // typed, not a screenshot
                         "5.0 tap enter\n"
                         "5.3 press Close\n");
    ASSERT_EQ(r.status, 0) << r.err;
    std::string config = read_file(test_user_dir() + "config");
    EXPECT_TRUE(has(config, "laps=7.000000\n")) << config;
    EXPECT_TRUE(has(config, "skill=Amateur\n")) << config;
    EXPECT_TRUE(has(config, "name=Joe MotocrossAna\n")) << config;
    EXPECT_FALSE(file_exists(test_user_dir() + "screenshot001.png"));
}

TEST(UiScreens, QuitFromTheMainMenu) {
    RunResult r = run_ui("1.0 tap up\n" // Quit, the last item
                         "1.3 tap enter\n",
                         600);
    ASSERT_EQ(r.status, 0) << r.err;
    std::string log = read_file(test_user_dir() + "lastlog.txt");
    EXPECT_FALSE(has(log, "Close requested")) << log;
    EXPECT_TRUE(has(log, "Window shutdown complete")) << log;
}

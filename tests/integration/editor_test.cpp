// The track editor in the real program on the generated data: a scripted session ("--editor
// --track rabbithill --script FILE") that enters the editor with Tab, raises the ground from the
// keyboard and saves with Ctrl+S; the next run loads the saved track without a warning and its
// rider stands on the raised ground. A new track made in the editor joins the track list. Under
// a virtual display, the editor's picture shows the brush cursor and the lap path.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/settings.h"
#include "data/datafile.h"
#include "data/png_writer.h"
#include "data/texture.h"
#include "platform/log.h"
#include "support/test_env.h"
#include "track/terrain.h"

namespace {

const std::string DATA = std::string(VORNIX_BUILD_DIR) + "/data";

bool have_data() {
    return file_exists(DATA + "/rabbithill/terrain.hf");
}

RunResult run_game(const std::string& args) {
    return run_command("QZ_HOME='" + DATA + "' " + std::string(VORNIX_BIN) + " " + args);
}

std::string user_file(const std::string& name) {
    return read_file(test_user_dir() + name);
}

// Lines of the last run's log that warn or report a track file that failed: warnings, errors,
// bad sizes and required files that cannot be opened.
std::vector<std::string> complaints() {
    std::vector<std::string> out;
    for (const std::string& l : split_lines(user_file("lastlog.txt")))
        if (l.find("Warning") != std::string::npos || l.find("Can't open '") != std::string::npos ||
            l.find("Error") != std::string::npos || l.find("Bad ") != std::string::npos ||
            l.find("warning") != std::string::npos)
            out.push_back(l);
    return out;
}

// The player's frame position in the first frame of a one-rider demo: 24-bit codes over the
// field's extent, y above the terrain's minimum height.
bool demo_start(const std::string& demo, float extent, float min_height, float out[3]) {
    int riders = 0;
    if (sscanf(demo.c_str(), "QZ05 %d", &riders) != 1 || riders != 1) return false;
    size_t end = demo.find('\n');
    for (int i = 0; i < 1 + 2 * riders && end != std::string::npos; i++)
        end = demo.find('\n', end + 1);
    if (end == std::string::npos || demo.size() < end + 1 + 39) return false;
    const unsigned char* r = (const unsigned char*)demo.data() + end + 1;
    for (int k = 0; k < 3; k++) {
        const unsigned char* b = r + 3 * k;
        unsigned code = b[0] | b[1] << 8 | b[2] << 16;
        out[k] = extent * (float)code / 16777215.0f;
    }
    out[1] += min_height;
    return true;
}

TEST(EditorRun, AKeyboardStrokeIsSavedAndTheNextRunRidesOnIt) {
    if (!have_data()) GTEST_SKIP() << "no generated data in " << DATA;
    // Close the main menu, Tab into the editor, widen the brush and make it strong, hold Space
    // over the ground ahead of the gate, save with Ctrl+S, quit.
    write_file("keys.txt", "0.5 tap esc\n1.0 char 9\n1.3 tap ]\n1.4 tap ]\n1.5 tap ]\n"
                           "1.6 tap =\n1.7 tap =\n1.8 tap =\n1.9 tap =\n"
                           "2.0 press space\n3.5 release space\n"
                           "4.0 press left ctrl\n4.1 tap s\n4.3 release left ctrl\n"
                           "5.0 press Close\n");
    RunResult r = run_game("--headless --editor --track rabbithill --script keys.txt");
    ASSERT_EQ(r.status, 0) << r.err;
    std::string log = user_file("lastlog.txt");
    EXPECT_NE(log.find("Saved track 'rabbithill' in the per-user folder"), std::string::npos)
        << log;
    for (const char* file : {"terrain.hf", "terrain.png", "shading.ppm", "shadingx2.ppm",
                             "shadows.pgm", "tilemap", "timing_gates", "billboards", "statues"})
        EXPECT_TRUE(file_exists(test_user_dir() + "rabbithill/" + file)) << file;

    // The next run: the player's race, recorded, on the saved track.
    write_file(test_user_dir() + "config", "record=Yes\nlaps=2\nslot00=Human\n");
    r = run_game("--headless --track rabbithill --race --warp --quit-after 1");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(complaints(), std::vector<std::string>{});

    // Both grounds, here: the per-user copy first on the search path, and the game's own.
    g_settings = Settings{};
    g_settings.headless = 1;
    log_setup(("DRUV_LOGFILE=" + test_dir() + "/here.txt").c_str());
    setenv("QZ_HOME", DATA.c_str(), 1);
    data_reset();
    Terrain saved, game;
    ASSERT_EQ(terrain_load(&saved, "@rabbithill"), 1);
    ASSERT_EQ(terrain_load(&game, (DATA + "/rabbithill").c_str()), 1);
    float p[3];
    ASSERT_TRUE(demo_start(user_file("demos/default.qzdemo"), saved.extent, saved.min_height, p));
    float now = terrain_height(&saved, p[0], p[2]), before = terrain_height(&game, p[0], p[2]);
    // The stroke raised the ground where the rider starts, and the bike stands on it.
    EXPECT_GT(now - before, 2.0f) << p[0] << "," << p[2];
    EXPECT_GT(p[1], now - 0.5f);
    EXPECT_LT(p[1], now + 4.0f);
    terrain_free(&saved);
    terrain_free(&game);
    texture_reset();
    data_reset();
}

TEST(EditorRun, ANewTrackIsMadeSavedAndListed) {
    if (!have_data()) GTEST_SKIP() << "no generated data in " << DATA;
    // Ctrl+N opens the form: folder, title, a smaller size; Enter makes it; paint a stroke of
    // the second surface; Ctrl+S; Tab back to riding on it.
    write_file("keys.txt", "0.5 tap esc\n1.0 char 9\n1.3 press left ctrl\n1.4 tap n\n"
                           "1.5 release left ctrl\n1.8 type meadow\n2.0 tap down\n"
                           "2.1 type Meadow Run\n2.3 tap down\n2.4 tap left\n2.5 tap left\n"
                           "2.8 char 13\n5.0 tap 6\n5.1 tap .\n5.2 press space\n5.8 release space\n"
                           "6.0 press left ctrl\n6.1 tap s\n6.2 release left ctrl\n6.5 char 9\n"
                           "7.5 press Close\n");
    RunResult r = run_game("--headless --editor --track rabbithill --script keys.txt");
    ASSERT_EQ(r.status, 0) << r.err;
    std::string log = user_file("lastlog.txt");
    EXPECT_NE(log.find("New track 'meadow' ready"), std::string::npos) << log;
    EXPECT_EQ(user_file("meadow/desc"), "Meadow Run\n");
    // 64 x 64 tiles (two steps down from 256), some painted with the second surface.
    std::string tiles = user_file("meadow/tilemap");
    ASSERT_EQ(tiles.size(), 64u * 64u);
    EXPECT_NE(tiles.find('\x01'), std::string::npos);
    std::string hf = user_file("meadow/terrain.hf");
    EXPECT_EQ(hf.substr(0, 11), "6 2.000000 ") << hf;

    // It is in the track list of the next run and loads.
    r = run_game("--headless --debug --track meadow --time-trial --warp --quit-after 1");
    ASSERT_EQ(r.status, 0) << r.err;
    log = user_file("lastlog.txt");
    EXPECT_NE(log.find("meadow -> Meadow Run"), std::string::npos) << log;
    EXPECT_NE(log.find("Loading '@meadow'"), std::string::npos) << log;
    EXPECT_EQ(complaints(), std::vector<std::string>{});
}

// ---- The picture

struct Shot {
    int w = 0, h = 0;
    std::vector<uint8_t> rgb;
};

bool shot_load(const std::string& path, Shot* s) {
    TestPngRead png;
    if (!test_png_read(path, &png) || png.colour != PNG_COLOR_TYPE_RGB || png.depth != 8)
        return false;
    s->w = png.width, s->h = png.height;
    s->rgb = png.data;
    return true;
}

// Pixels within a small distance of a colour.
int count_near(const Shot& s, int r, int g, int b) {
    int n = 0;
    for (size_t k = 0; k + 2 < s.rgb.size(); k += 3)
        n += std::abs(s.rgb[k] - r) + std::abs(s.rgb[k + 1] - g) + std::abs(s.rgb[k + 2] - b) < 24;
    return n;
}

TEST(EditorPicture, TheViewShowsTheBrushCursorAndTheLapPath) {
    if (!have_data()) GTEST_SKIP() << "no generated data in " << DATA;
    if (run_command("command -v xvfb-run").status != 0) GTEST_SKIP() << "no xvfb-run";
    write_file(test_user_dir() + "config", "video_mode=Windowed\n");
    // Into the editor, up and back a little so the lap path shows ahead, then a screenshot with
    // the screenshot key (the editor takes it itself).
    write_file("keys.txt", "0.5 tap esc\n1.0 char 9\n1.2 press page up\n1.7 release page up\n"
                           "1.8 tap ]\n3.5 tap s\n4.0 press Close\n");
    RunResult r = run_command("QZ_HOME='" + DATA + "' timeout 300 " + xvfb_run_a() +
                              " -s '-screen 0 1024x768x24' " + std::string(VORNIX_BIN) +
                              " --editor --track rabbithill --width 800 --height 600 --nosound "
                              "--script keys.txt");
    ASSERT_EQ(r.status, 0) << r.err;
    Shot shot;
    ASSERT_TRUE(shot_load(test_user_dir() + "screenshot001.png", &shot))
        << user_file("lastlog.txt");
    EXPECT_EQ(shot.w, 800);
    // The brush cursor's yellow ring and the lap path's red (normal lap) and green (first lap).
    int yellow = count_near(shot, 255, 214, 0);
    int red = count_near(shot, 255, 60, 60), green = count_near(shot, 60, 255, 90);
    EXPECT_GT(yellow, 300);
    EXPECT_GT(red + green, 100);
    if (const char* keep = getenv("VORNIX_SHOT_DIR"))
        run_command("cp '" + test_user_dir() + "screenshot001.png' '" + keep + "/editor.png'");
}

} // namespace

// The fixture of the editor tests: a small track "t" written file by file into the game folder
// (17 x 17 samples 2 ft apart, three surface types, two start slots, three gates in both lap
// lists, two billboards, a statue), loaded as the current track with the editor's state fresh.
// Helpers snapshot the whole editable state to compare it bit for bit.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "core/settings.h"
#include "data/datafile.h"
#include "data/model.h"
#include "data/shape.h"
#include "data/texture.h"
#include "editor/editor_internal.h"
#include "platform/log.h"
#include "platform/messages.h"
#include "support/test_env.h"
#include "track/gates.h"
#include "track/lighting.h"
#include "track/objects.h"
#include "track/scene.h"
#include "track/terrain.h"
#include "track/track.h"
#include "track/tracklist.h"

namespace editortest {

constexpr int SHIFT = 3;
constexpr int N = 1 << SHIFT;   // 8 tiles per side
constexpr int P = 2 * N + 1;    // 17 samples per side
constexpr float SPACING = 2.0f; // extent 32 ft

// The 16-bit value of sample (i, j): a gentle slope with a ripple, min 0 .. max 16 ft.
inline uint16_t sample_value(int i, int j) {
    return (uint16_t)((i * 2311 + j * 1733 + (i * j % 7) * 401) % 65536);
}

inline std::string le16(uint16_t v) {
    return std::string(1, (char)(v & 255)) + std::string(1, (char)(v >> 8));
}

inline std::string pixel_ppm() {
    return std::string("P6\n2 2\n255\n") +
           std::string("\x40\x60\x20\x40\x60\x20\x40\x60\x20\x40\x60\x20", 12);
}

// A one-triangle "JM" model.
inline std::string tiny_model() {
    return "JM1\n0 1 1 1 1 3 1\n"
           "0 0 0 0 1 0 0 0\n1 0 0 0 1 0 1 0\n0 0 1 0 1 0 0 1\n"
           "0 1 2\n";
}

inline void write_track() {
    std::string g = test_game_dir() + "/";
    std::string hf = std::to_string(SHIFT) + " 2.0 0 16\n:";
    for (int j = 0; j < P; j++)
        for (int i = 0; i < P; i++) hf += le16(sample_value(i, j));
    write_file(g + "t/terrain.hf", hf);
    write_file(g + "t/shading.ppm", "P6\n" + std::to_string(P) + " " + std::to_string(P) +
                                        "\n255\n" + std::string(P * P * 3, '\x80'));
    write_file(g + "t/tileinfo", "friction 1 1\naddtile\nfriction 0.5 1\naddtile\n"
                                 "friction 0.2 1\naddtile\n");
    write_file(g + "t/tilemap", std::string(N * N, '\0'));
    write_file(g + "t/timing_gates", "startinggate:\n[ 10 0 20 ] 0\n[ 14 0 20 ] 0\n"
                                     "checkpoints:\n6 [ 8 0 8 ] [ 1 0 0 ]\n"
                                     "6 [ 24 0 8 ] [ 0 0 1 ]\n6 [ 16 0 24 ] [ -1 0 0 ]\n"
                                     "firstlap:\n0 1 2\nnormallap:\n0 100001 2\n");
    write_file(g + "t/billboards",
               "[ 4 1 4 ] 3 4 @sprite.ppm\n[ 28 0 6 ] 2 2 #00ff00#@sprite.ppm\n");
    write_file(g + "t/statues", "[ 20 0 12 ] 0.5 @box.jm @sprite.ppm @box.shp\n");
    write_file(g + "t/lighting", "sun_vector [ 0.5 0.6 -0.4 ]\n");
    write_file(g + "sprite.ppm", pixel_ppm());
    write_file(g + "box.jm", tiny_model());
    write_file(g + "box.shp", "1\n0 0 0\n1 1 25000 2500\n");
    write_file(g + "startgate.ppm", pixel_ppm());
    write_file(g + "startgate.jm", tiny_model());
    write_file(g + "startgate.shp", "1\n0 0 0\n1 1 25000 2500\n");
}

// Everything the editor can change, for bit-exact comparison.
struct State {
    std::vector<float> heights;
    std::vector<uint8_t> shading, shadows, tilemap;
    TrackScene scene;
    bool operator==(const State& o) const {
        return heights == o.heights && shading == o.shading && shadows == o.shadows &&
               tilemap == o.tilemap && scene_diff(scene, o.scene) == 0;
    }
};

inline State snapshot() {
    State s;
    s.heights = g_terrain.heights;
    s.shading = g_terrain.shading;
    s.shadows = g_terrain.shadows;
    s.tilemap = g_terrain.tilemap;
    scene_read(&s.scene);
    return s;
}

inline std::vector<std::string> messages_seen() {
    std::vector<std::string> out;
    for (const std::string& line : split_lines(read_file(test_dir() + "/test-log.txt"))) {
        size_t end = line.find("] ");
        out.push_back(end == std::string::npos ? line : line.substr(end + 2));
    }
    return out;
}

inline bool message_has(const std::string& part) {
    for (const std::string& l : messages_seen())
        if (l.find(part) != std::string::npos) return true;
    return false;
}

} // namespace editortest

class EditorFixture : public ::testing::Test {
  protected:
    void SetUp() override {
        g_settings = Settings{};
        g_settings.headless = 1;
        log_setup(("DRUV_LOGFILE=" + test_dir() + "/test-log.txt").c_str());
        track_free();
        texture_reset();
        shape_reset();
        model_reset();
        data_reset();
        editor_reset();
        editortest::write_track();
        tracklist_reset();
        tracklist_build();
        g_track.name = "t";
        ASSERT_EQ(track_load(), 1);
        g_editor.active = 1;
    }
    void TearDown() override {
        editor_reset();
        track_free();
        tracklist_reset();
        shape_reset();
        model_reset();
        texture_reset();
        data_reset();
    }
};

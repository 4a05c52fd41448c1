// The fixture the track-file tests share: headless settings, a log of the test's own, and the
// gates, objects, terrain and every cache empty before and after each test, on a track
// folder named "t" in the game folder.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "core/settings.h"
#include "data/model.h"
#include "data/shape.h"
#include "data/texture.h"
#include "platform/log.h"
#include "support/test_env.h"
#include "track/gates.h"
#include "track/objects.h"
#include "track/terrain.h"
#include "track/track.h"

class TrackFilesFixture : public ::testing::Test {
  protected:
    void SetUp() override {
        g_settings = Settings{};
        g_settings.headless = 1;
        log_setup(("DRUV_LOGFILE=" + test_dir() + "/test-log.txt").c_str());
        gates_free();
        objects_free();
        terrain_free(&g_terrain);
        texture_reset();
        shape_reset();
        model_reset();
        g_track.name = "t";
    }
    void TearDown() override {
        gates_free();
        objects_free();
        terrain_free(&g_terrain);
        g_track.name.clear();
        // The caches live in globals whose destructors would drop them unfreed at exit.
        shape_reset();
        model_reset();
        texture_reset();
    }
    std::string log_text() { return read_file(test_dir() + "/test-log.txt"); }
};

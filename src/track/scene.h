// The editable scene of the loaded track: start slots, timing gates and lap lists, the
// billboards and statues its files hold, and the decals, as plain values (names, not GL or
// cache handles). The track editor reads the scene, changes a copy and applies it back; its
// undo keeps scenes from before and after each edit.
//
// What is not part of it stays as loaded: the particle billboards, the flaggers and their
// billboards, and the start-gate statues, which follow the start slots.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "track/gates.h"
#include "track/terrain.h"

// A billboard as its file line gives it: y is the height above the ground (feet).
struct SceneBillboard {
    float x = 0, y = 0, z = 0;
    float width = 1, height = 1;
    uint8_t color[3] = {255, 255, 255};
    std::string texture; // data name, as the texture was requested ("@sprites/pine.png")

    bool operator==(const SceneBillboard& o) const;
};

// A statue as its file line gives it: y above the ground, angle in radians (>= 3.25 upright).
struct SceneStatue {
    float x = 0, y = 0, z = 0;
    float angle = 0;
    std::string model, texture, shape; // data names; shape "" for no collision

    bool operator==(const SceneStatue& o) const;
};

struct TrackScene {
    int slot_count = 0;                     // 0..MAX_START_SLOTS
    StartSlot slots[MAX_START_SLOTS] = {};  // x, y, z and angle are used
    std::vector<Gate> gates;                // at most MAX_GATES; `marked` is ignored
    std::vector<int> first_lap, normal_lap; // references as in "timing_gates"
    std::vector<SceneBillboard> billboards; // the ones the billboard writer writes
    std::vector<SceneStatue> statues;       // the ones the statue writer writes
    bool decals_present = false;
    std::vector<Decal> decals;
};

// Parts of a scene, for scene_apply's report of what it changed.
enum {
    SCENE_SLOTS = 1,
    SCENE_GATES = 2,
    SCENE_BILLBOARDS = 4,
    SCENE_STATUES = 8,
    SCENE_DECALS = 16
};

// The loaded track's scene.
void scene_read(TrackScene* out);
// Makes the loaded track hold the scene: each part that differs is replaced (statues are
// created again from their names, start gates follow the slots, the statue grid is rebuilt,
// decals are indexed again). Objects stand on the ground as it is now. A change sets the
// terrain's `modified` flag (the track differs from its files). Returns the SCENE_* bits of
// the parts that changed.
int scene_apply(const TrackScene& scene);
// The SCENE_* bits of the parts in which two scenes differ (every value compared exactly).
int scene_diff(const TrackScene& a, const TrackScene& b);

// Puts billboards, statues (with their frames) and start-gate statues whose (x, z) lies in
// the rectangle (feet) back on the ground after its heights changed.
void scene_follow_ground(float x0, float z0, float x1, float z1);

// The lap lists' usability as the reader judges it: at least one gate, and each list holding
// at least one reference below GATE_INTERMEDIATE. Returns "" when usable, else why not.
std::string scene_timing_problem(const TrackScene& scene);

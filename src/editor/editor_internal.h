// The track editor's inside, shared by its files and its tests: the state record, the tools,
// the undo history, and the operations the keys and the panels call.
//
// Units are feet, seconds and radians. Heights follow the terrain (y up); yaw 0 looks along -z
// and grows turning left (toward -x), as the start slots' and statues' angles do.
#pragma once

#include <string>
#include <vector>

#include "track/scene.h"
#include "track/terrain.h"

struct CameraView;

enum EditorTool {
    TOOL_RAISE = 0, // ground up under the brush, strength ft per second at the centre
    TOOL_LOWER,     // ground down likewise
    TOOL_SMOOTH,    // toward the 3 x 3 average, strength as a fraction per second
    TOOL_FLATTEN,   // toward the picked height, strength as a fraction per second
    TOOL_RAMP,      // a straight ramp between two marked points, brush radius wide
    TOOL_PAINT,     // surface type of the tiles under the brush
    TOOL_GATES,     // timing gates and the lap lists
    TOOL_SLOTS,     // the row of start slots
    TOOL_SCENERY,   // billboards and statues
    TOOL_DECALS,    // decals
    TOOL_COUNT
};

// Brush limits.
constexpr float BRUSH_RADIUS_MIN = 1.0f, BRUSH_RADIUS_MAX = 200.0f;
constexpr float BRUSH_STRENGTH_MIN = 0.05f, BRUSH_STRENGTH_MAX = 100.0f;
// Undo keeps at most this many steps and about this many bytes.
constexpr int UNDO_STEPS_MAX = 400;
constexpr size_t UNDO_BYTES_MAX = (size_t)512 << 20;
// A new row of start slots: 40 slots this far apart across the row (feet).
constexpr float SLOT_SPACING_DEFAULT = 3.3f;
// A new track: sizes allowed (tiles per side 2^shift) and spacing (feet).
constexpr int NEW_TRACK_SHIFT_MIN = 4, NEW_TRACK_SHIFT_MAX = TERRAIN_MAX_SHIFT;
constexpr float NEW_TRACK_SPACING_MIN = 0.5f, NEW_TRACK_SPACING_MAX = 16.0f;
// A height-map picture larger than this per side is refused.
constexpr int HEIGHTMAP_MAX_SIDE = 8193;

// One entry of the undo history. A ground step keeps the sample block before and after it, a
// paint step the tile block, a scene step the whole scene; undo puts `before` back exactly.
enum { STEP_GROUND = 0, STEP_TILES, STEP_SCENE };
struct EditStep {
    int kind = STEP_GROUND;
    std::string label;
    TerrainPatch ground_before, ground_after;
    TilePatch tiles_before, tiles_after;
    TrackScene scene_before, scene_after;
    size_t bytes = 0;
};

// A choice of the scenery and decal tools: something the data holds.
enum { ITEM_BILLBOARD = 0, ITEM_STATUE, ITEM_DECAL };
struct CatalogueItem {
    int kind = ITEM_BILLBOARD;
    std::string label;           // shown in the panel
    std::string texture;         // data name of the picture (billboards, decals, statue skin)
    std::string model;           // statues: the ".jm" data name
    std::string shape;           // statues: the ".shp" data name, "" for no collision
    float width = 8, height = 8; // billboards: a size to start with
};

// The form of a new track.
struct NewTrackForm {
    int open = 0;
    int field = 0;            // the field the keys change (NEW_FIELD_*)
    std::string folder;       // folder name in the per-user folder
    std::string title;        // first line of "desc"
    int shift = 8;            // 2^shift tiles per side
    float spacing = 2;        // feet between samples
    float base = 0;           // height of a flat track
    std::string heightmap;    // a 16-bit grey PNG (path or "@" data name), "" for flat
    float low = 0, high = 64; // heights of the picture's black and white
    std::string error;        // why the last try was refused
};
enum {
    NEW_FIELD_FOLDER = 0,
    NEW_FIELD_TITLE,
    NEW_FIELD_SIZE,
    NEW_FIELD_SPACING,
    NEW_FIELD_BASE,
    NEW_FIELD_HEIGHTMAP,
    NEW_FIELD_LOW,
    NEW_FIELD_HIGH,
    NEW_FIELD_COUNT
};

// The ground stroke being made (a press to its release): the blocks as they were before it.
struct Stroke {
    int active = 0;
    int tool = TOOL_RAISE;
    int dabs = 0;        // dabs made so far
    TerrainPatch before; // grows to every sample the stroke has changed or may change
    TilePatch tiles_before;
    float flatten_height = 0;
};

// Keys the editor keeps the state of.
enum {
    HELD_FORWARD = 0,
    HELD_BACK,
    HELD_TURN_LEFT,
    HELD_TURN_RIGHT,
    HELD_RISE,
    HELD_SINK,
    HELD_TILT_UP,
    HELD_TILT_DOWN,
    HELD_CTRL_LEFT,
    HELD_CTRL_RIGHT,
    HELD_SHIFT_LEFT,
    HELD_SHIFT_RIGHT,
    HELD_APPLY,   // Space
    HELD_POINTER, // the pointer's left button
    HELD_LOOK,    // the pointer's right button
    HELD_COUNT
};

struct EditorCamera {
    float eye[3] = {0, 50, 0};
    float yaw = 0;   // radians; 0 looks along -z
    float pitch = 0; // radians; negative looks down, within -1.5..1.5
};

// Process-wide state of the editor.
struct EditorState {
    int active = 0; // the editor view is shown
    int tool = TOOL_RAISE;
    float radius = 12;  // brush radius (feet)
    float strength = 4; // see EditorTool
    int flatten_set = 0;
    float flatten_height = 0;
    int ramp_points = 0; // 0, 1 (A marked) or 2
    float ramp[2][3] = {};
    int surface = 0; // the paint tool's surface type
    int show_grid = 0, show_path = 1, show_panels = 1;
    EditorCamera cam;
    int held[HELD_COUNT] = {};
    // Where the brush is: the pointer's ray or the view's aim on the ground.
    int pointer_on = 0;            // the brush follows the pointer (it moved since keys steered)
    int cursor_seen[2] = {-1, -1}; // pointer position at the last look
    int look_from[2] = {0, 0};     // pointer position when looking around began
    int have_point = 0;
    float point[3] = {0, 0, 0};
    int screen[2] = {0, 0}; // size of the last drawn frame
    Stroke stroke;
    // Selection of the object tools: index in the tool's list, -1 for none.
    int selected = -1;
    int dragging = 0;
    TrackScene drag_before;
    // Start-slot row: spacing across it.
    float slot_spacing = SLOT_SPACING_DEFAULT;
    // The lap list the gate keys append to last (0 first lap, 1 normal lap).
    int last_list = 1;
    std::vector<EditStep> undo, redo;
    size_t undo_bytes = 0;
    int changes = 0;                      // edits since the last save or load
    int timing_changed = 0;               // gates or lap lists edited since entering
    std::vector<CatalogueItem> catalogue; // billboards, statues and decals the data holds
    int catalogue_built = 0;
    int choice[3] = {0, 0, 0}; // chosen catalogue entry per ITEM_* kind
    NewTrackForm form;
    // The panels' rectangles in the last frame (x0, y0, x1, y1), to keep clicks on them from
    // reaching the ground.
    std::vector<float> panel_rects;
    int panel_click = 0;   // a press of the pointer button over a panel, for the panels
    int panel_down = 0;    // the pointer's button went down over a panel and is held
    double panel_time = 0; // platform clock at the last panel frame
};
extern EditorState g_editor;

// Puts the editor back to its start state (tests, track changes keep the settings).
void editor_reset();
// The history and stroke only (a track was loaded or freed).
void editor_forget_track();

// ---- Brushes (brush.cpp): pure operations on a terrain, used by the strokes and the tests.

// Weight of a sample at distance d from the brush centre: (1 - (d/r)^2)^2 for d < r, else 0.
float brush_weight(float d, float radius);
// The samples a brush of radius r at (x, z) may change: i0, j0, i1, j1 (clamped); false when
// none. A sample is under the brush when its distance to the centre is below r.
bool brush_rect(const Terrain* t, float x, float z, float radius, int rect[4]);
// Raise (amount > 0) or lower: h += amount x w. Returns 1 when a sample changed; rect gets the
// samples it may have changed.
int brush_raise(Terrain* t, float x, float z, float radius, float amount, int rect[4]);
// h += fraction x w x (average of the 3 x 3 samples around it, before the dab - h).
int brush_smooth(Terrain* t, float x, float z, float radius, float fraction, int rect[4]);
// h += fraction x w x (target - h).
int brush_flatten(Terrain* t, float x, float z, float radius, float target, float fraction,
                  int rect[4]);
// Every sample within radius of the segment from a to b (points on the ground, y the height
// there) takes the height a.y + t (b.y - a.y), t its position along the segment (0..1).
int brush_ramp(Terrain* t, const float a[3], const float b[3], float radius, int rect[4]);
// The samples brush_ramp may change; false when none.
bool brush_ramp_rect(const Terrain* t, const float a[3], const float b[3], float radius,
                     int rect[4]);
// Sets every tile whose centre lies within radius of (x, z), and the tile under (x, z), to the
// surface type. rect gets the tile block. Returns 1 when a tile changed.
int brush_paint(Terrain* t, float x, float z, float radius, int type, int rect[4]);

// ---- Strokes and the undo history (undo.cpp)

// False (with a message) while a network race is on: the track must stay the server's.
bool editor_may_edit();

// A ground or paint stroke with the current tool starts, takes one dab of dt seconds at
// (x, z) per tick, and ends (the step joins the history; shadows and shading are recomputed
// over what the stroke reaches).
void stroke_begin(float x, float z);
void stroke_dab(float x, float z, float dt);
void stroke_end();
// The ramp between the two marked points as one step.
int editor_ramp_apply();
// A scene edit: the scene is applied to the track and joins the history with its label.
// Returns 0 (nothing recorded) when it changes nothing.
int editor_scene_commit(const TrackScene& before, const TrackScene& after, const char* label);
int editor_undo();
int editor_redo();
// Drops the history.
void editor_history_clear();
// After ground heights changed in a sample rectangle: objects follow the ground, the ground
// renderer is told.
void editor_ground_changed(int i0, int j0, int i1, int j1);

// ---- Timing (edit_gates.cpp). Each returns 1 when it changed something; refusals post a
// message and return 0.

int gate_add(float x, float z, float facing);
int gate_move(int gate, float x, float z);
int gate_turn(int gate, float delta);
int gate_resize(int gate, float factor);
int gate_delete(int gate);
// Appends the gate to the first (list 0) or normal (list 1) lap list.
int lap_append(int list, int gate);
// Removes the last reference of a lap list.
int lap_remove_last(int list);
// Marks every reference to the gate as intermediate, or as a segment gate again.
int gate_toggle_intermediate(int gate);
// The start slots as a row of `count` across the direction `facing`, centred at (x, z).
int slots_place(float x, float z, float facing, int count, float spacing);
int slots_turn(float delta);
int slots_move(float x, float z);
int slots_respace(float factor);
// Why the current lap lists are unusable, "" when they are fine.
std::string editor_timing_problem();
// The index of the nearest gate within reach of (x, z), -1 when none.
int gate_nearest(float x, float z, float reach);

// ---- Scenery (edit_scenery.cpp)

// Fills the catalogue from the data names (once).
void catalogue_build();
// The catalogue entries of one kind, in order.
std::vector<int> catalogue_of(int kind);
// Places the chosen catalogue entry of the tool's kind at (x, z), facing.
int scenery_add(int kind, int item, float x, float z, float facing);
// The object of the tool's list nearest to (x, z) within reach, -1 when none. Scenery lists
// billboards first, then statues (index billboards.size() + statue).
int scenery_nearest(int tool, float x, float z, float reach);
int scenery_move(int tool, int index, float x, float z);
int scenery_turn(int tool, int index, float delta);
int scenery_scale(int tool, int index, float factor);
int scenery_lift(int tool, int index, float dy);
int scenery_delete(int tool, int index);
// Number of objects in the tool's list.
int scenery_count(int tool);

// ---- Saving, new tracks and the export (track_save.cpp, newtrack.cpp, export.cpp)

// Writes the whole track into the per-user folder under its folder name, atomically, and
// computes the digest again. On failure the edit stays in memory and the reason is shown.
int editor_save();
// Creates a new track from the form: flat or from the height map; writes it, adds it to the
// track list and starts a session on it. On refusal form.error says why (also shown).
int editor_new_track(NewTrackForm* form);
// The heights of a new track from a 16-bit grey PNG: P x P samples, low + v / 65535 x (high -
// low), the picture resampled bilinearly onto the field. 0 and why when refused.
int heightmap_load(const char* name, int samples, float low, float high, std::vector<float>* out,
                   std::string* error);
// Writes "@<track>/<track>.pov": the ground as a "mesh2" block (every step-th sample) and the
// placed objects. Returns 1 on success; *name gets the file's data name.
int editor_export(int step, std::string* name);
// The sample step the export uses by default: the smallest power of two that keeps the ground
// within 257 samples per side.
int export_default_step(int samples);

// ---- Camera and picking (editor.cpp)

// The camera view of the editor.
void editor_camera_view(CameraView* out);
// Where the ray from the eye along dir first meets the ground (within 5000 ft); 0 when it
// does not.
int editor_ray_ground(const float eye[3], const float dir[3], float hit[3]);
// The direction through pixel (px, py) of a w x h frame (y down from the top).
void editor_pixel_ray(int px, int py, int w, int h, float dir[3]);
// Recomputes the brush point (pointer or aim) for this tick.
void editor_update_point();
// The camera's horizontal facing as an object angle (what new gates and rows face).
float editor_facing();

// The screenshot key in the editor: asks the application for one (EditorHooks).
void editor_request_screenshot();

// ---- Drawing (editor_view.cpp, panel.cpp)

void editor_draw_overlays();
void editor_draw_panels();
// Feeds a key to an open panel form; 1 when it used it.
int panel_form_key(int code, int pressed);

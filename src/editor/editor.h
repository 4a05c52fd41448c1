// The track editor: shaping the ground, painting surfaces, placing gates, start slots and
// scenery, with undo, saving into the per-user folder, new tracks and a scene-description
// export. Entered with Tab from the rider view when "--editor" was given; the main loop runs the
// editor's tick instead of the race while its view is shown.
#pragma once

struct CameraView;

// Calls from the editor up into the application. Each may be null.
struct EditorHooks {
    // Takes a screenshot of the next drawn frame (the screenshot key in the editor).
    void (*screenshot)() = nullptr;
};
// Installs the hooks (copied; null installs none).
void editor_set_hooks(const EditorHooks* hooks);

// Start-up: the editor hears of track loads and frees (track_set_editor_hooks).
void editor_init();
// Tab from the rider view: the editor takes over with a free camera above the viewed bike.
void editor_enter();
// Tab back to riding: an unfinished stroke or drag ends; after gate or lap-list edits the
// session starts again on the edited track so that timing follows the new gates. The caller
// then refreshes the ground renderer and drops the bikes onto the edited ground.
void editor_leave();
// 1 while the editor view is shown.
int editor_active();

// One tick of the editor (the main loop calls it instead of the race in the editor view).
void editor_tick();
// A key event in the editor view (key codes of platform/input.h, typed characters 0..255);
// 1 when the editor used it. Tab and Esc are left to the main loop.
int editor_key(int code, int pressed);
// Draws the editor's overlays and panels over the frame drawn from editor_camera.
void editor_draw();
// The editor's camera for this frame.
void editor_camera(CameraView* out);

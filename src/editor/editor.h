// The track editor: shaping the ground, painting surfaces and placing gates and scenery from
// inside the game, entered with Tab when "--editor" was given.
#pragma once

// One tick of the editor (the main loop calls it instead of the race in the editor view).
void editor_tick();
// A key event in the editor view; 1 when the editor used it.
int editor_key(int code, int pressed);
// Draws the editor's view.
void editor_draw();

// The track editor. With no tools yet, the editor view shows the track and takes no keys.
#include "editor/editor.h"

void editor_tick() {}

int editor_key(int, int) {
    return 0;
}

void editor_draw() {}

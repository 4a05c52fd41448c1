// Placeholder until the SDL window lands: no window can be opened.
#include "platform/window.h"

#include "platform/log.h"

GameWindow* window_open_gl(const char*, int, int, int, int, int, int, int) {
    log_error("Can't create window!\n");
    return nullptr;
}
void window_close(GameWindow*) {}
const FrameInfo* frame_begin(GameWindow*) { return nullptr; }
int frame_end(GameWindow*) { return 0; }
void window_set_mode(GameWindow*, int, int, int) {}
const DisplayMode* display_modes() {
    static const DisplayMode none[1] = {};
    return none;
}
void pump_messages(GameWindow*) {}

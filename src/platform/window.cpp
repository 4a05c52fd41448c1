// The SDL window, its GL context and display modes, and the window's events as input events.
#include "platform/window.h"

#include <SDL.h>
#include <cstdlib>
#include <vector>

#include "platform/clock.h"
#include "platform/log.h"
#include "platform/options.h"
#include "platform/script.h"

// Routes mouse and game-device events to their devices (devices.cpp); 1 when handled.
int input_platform_event(GameWindow* window, const SDL_Event* event, long seconds,
                         long microseconds);

namespace {

struct WindowState {
    bool video_tried = false;
    bool video_ok = false;
    bool modes_built = false;
    std::vector<DisplayMode> modes; // ends with an all-zero entry
    bool options_read = false;
    std::string open_error; // why the last window_open_gl failed
};
WindowState g_window;

bool video_open() {
    if (!g_window.video_tried) {
        g_window.video_tried = true;
        // Without any display there is nothing to open (and the display libraries would only
        // complain on standard error); on X alone, do not probe for Wayland.
        const char* wayland = getenv("WAYLAND_DISPLAY");
        const char* x11 = getenv("DISPLAY");
        if ((!wayland || !*wayland) && (!x11 || !*x11)) {
            log_printf("Can't open the display: no display\n");
            g_window.open_error = "no display (DISPLAY and WAYLAND_DISPLAY are unset)";
            return false;
        }
        if ((!wayland || !*wayland) && !getenv("SDL_VIDEODRIVER"))
            SDL_SetHint(SDL_HINT_VIDEODRIVER, "x11");
        // Closing the window is an input event ("Close"), never a quit of its own.
        SDL_SetHint(SDL_HINT_QUIT_ON_LAST_WINDOW_CLOSE, "0");
        // In full screen, losing the focus minimises the window and restores the desktop mode.
        SDL_SetHint(SDL_HINT_VIDEO_MINIMIZE_ON_FOCUS_LOSS, "1");
        g_window.video_ok = SDL_InitSubSystem(SDL_INIT_VIDEO) == 0;
        if (!g_window.video_ok) {
            log_printf("Can't open the display: %s\n", SDL_GetError());
            g_window.open_error = std::string("can't open the display: ") + SDL_GetError();
        }
    }
    return g_window.video_ok;
}

bool depth_acceptable(int bits) {
    return bits == 8 || bits == 15 || bits == 16 || bits == 24 || bits == 32;
}

int mode_bits(Uint32 format) {
    return SDL_BITSPERPIXEL(format);
}

DisplayMode desktop_mode() {
    SDL_DisplayMode m;
    if (video_open() && SDL_GetDesktopDisplayMode(0, &m) == 0 && m.w > 0 && m.h > 0)
        return DisplayMode{m.w, m.h, mode_bits(m.format), m.refresh_rate};
    return DisplayMode{640, 480, 32, 0};
}

// PC scan code (set 1, 256 and above extended) of an SDL key, or 0 for keys it has no code for.
int scan_from_sdl(SDL_Scancode sc) {
    if (sc >= SDL_SCANCODE_A && sc <= SDL_SCANCODE_Z) {
        static const unsigned char letters[26] = {30, 48, 46, 32, 18, 33, 34, 35, 23,
                                                  36, 37, 38, 50, 49, 24, 25, 16, 19,
                                                  31, 20, 22, 47, 17, 45, 21, 44};
        return letters[sc - SDL_SCANCODE_A];
    }
    if (sc >= SDL_SCANCODE_1 && sc <= SDL_SCANCODE_0) return 2 + (sc - SDL_SCANCODE_1);
    if (sc >= SDL_SCANCODE_F1 && sc <= SDL_SCANCODE_F10) return 59 + (sc - SDL_SCANCODE_F1);
    switch (sc) {
    case SDL_SCANCODE_ESCAPE:
        return 1;
    case SDL_SCANCODE_MINUS:
        return 12;
    case SDL_SCANCODE_EQUALS:
        return 13;
    case SDL_SCANCODE_BACKSPACE:
        return 14;
    case SDL_SCANCODE_TAB:
        return 15;
    case SDL_SCANCODE_LEFTBRACKET:
        return 26;
    case SDL_SCANCODE_RIGHTBRACKET:
        return 27;
    case SDL_SCANCODE_RETURN:
        return 28;
    case SDL_SCANCODE_LCTRL:
        return 29;
    case SDL_SCANCODE_SEMICOLON:
        return 39;
    case SDL_SCANCODE_APOSTROPHE:
        return 40;
    case SDL_SCANCODE_GRAVE:
        return 41;
    case SDL_SCANCODE_LSHIFT:
        return 42;
    case SDL_SCANCODE_BACKSLASH:
        return 43;
    case SDL_SCANCODE_NONUSHASH:
        return 43;
    case SDL_SCANCODE_COMMA:
        return 51;
    case SDL_SCANCODE_PERIOD:
        return 52;
    case SDL_SCANCODE_SLASH:
        return 53;
    case SDL_SCANCODE_RSHIFT:
        return 54;
    case SDL_SCANCODE_KP_MULTIPLY:
        return 55;
    case SDL_SCANCODE_LALT:
        return 56;
    case SDL_SCANCODE_SPACE:
        return 57;
    case SDL_SCANCODE_CAPSLOCK:
        return 58;
    case SDL_SCANCODE_PAUSE:
        return 69;
    case SDL_SCANCODE_SCROLLLOCK:
        return 70;
    case SDL_SCANCODE_KP_7:
        return 71;
    case SDL_SCANCODE_KP_8:
        return 72;
    case SDL_SCANCODE_KP_9:
        return 73;
    case SDL_SCANCODE_KP_MINUS:
        return 74;
    case SDL_SCANCODE_KP_4:
        return 75;
    case SDL_SCANCODE_KP_5:
        return 76;
    case SDL_SCANCODE_KP_6:
        return 77;
    case SDL_SCANCODE_KP_PLUS:
        return 78;
    case SDL_SCANCODE_KP_1:
        return 79;
    case SDL_SCANCODE_KP_2:
        return 80;
    case SDL_SCANCODE_KP_3:
        return 81;
    case SDL_SCANCODE_KP_0:
        return 82;
    case SDL_SCANCODE_KP_PERIOD:
        return 83;
    case SDL_SCANCODE_NONUSBACKSLASH:
        return 86;
    case SDL_SCANCODE_F11:
        return 87;
    case SDL_SCANCODE_F12:
        return 88;
    case SDL_SCANCODE_KP_EQUALS:
        return 89;
    case SDL_SCANCODE_F13:
        return 100;
    case SDL_SCANCODE_F14:
        return 101;
    case SDL_SCANCODE_F15:
        return 102;
    case SDL_SCANCODE_KP_ENTER:
        return 256 + 28;
    case SDL_SCANCODE_RCTRL:
        return 256 + 29;
    case SDL_SCANCODE_MUTE:
        return 256 + 32;
    case SDL_SCANCODE_VOLUMEDOWN:
        return 256 + 46;
    case SDL_SCANCODE_VOLUMEUP:
        return 256 + 48;
    case SDL_SCANCODE_KP_DIVIDE:
        return 256 + 53;
    case SDL_SCANCODE_PRINTSCREEN:
        return 256 + 55;
    case SDL_SCANCODE_RALT:
        return 256 + 56;
    case SDL_SCANCODE_NUMLOCKCLEAR:
        return 256 + 69;
    case SDL_SCANCODE_HOME:
        return 256 + 71;
    case SDL_SCANCODE_UP:
        return 256 + 72;
    case SDL_SCANCODE_PAGEUP:
        return 256 + 73;
    case SDL_SCANCODE_LEFT:
        return 256 + 75;
    case SDL_SCANCODE_RIGHT:
        return 256 + 77;
    case SDL_SCANCODE_END:
        return 256 + 79;
    case SDL_SCANCODE_DOWN:
        return 256 + 80;
    case SDL_SCANCODE_PAGEDOWN:
        return 256 + 81;
    case SDL_SCANCODE_INSERT:
        return 256 + 82;
    case SDL_SCANCODE_DELETE:
        return 256 + 83;
    case SDL_SCANCODE_LGUI:
        return 256 + 91;
    case SDL_SCANCODE_RGUI:
        return 256 + 92;
    case SDL_SCANCODE_APPLICATION:
        return 256 + 93;
    default:
        return 0;
    }
}

// The character a key produces as a control character; the loop handles Tab this way.
int control_char(SDL_Scancode sc) {
    switch (sc) {
    case SDL_SCANCODE_TAB:
        return 9;
    case SDL_SCANCODE_ESCAPE:
        return 27;
    case SDL_SCANCODE_RETURN:
    case SDL_SCANCODE_KP_ENTER:
        return 13;
    case SDL_SCANCODE_BACKSPACE:
        return 8;
    default:
        return 0;
    }
}

// Typed text arrives as UTF-8; characters 0..255 (Latin-1) are queued as presses, others are
// dropped since character codes are bytes.
void queue_text(GameWindow* w, const char* text, long s, long us) {
    const unsigned char* p = (const unsigned char*)text;
    while (*p) {
        unsigned cp;
        int n;
        if (*p < 0x80)
            cp = *p, n = 1;
        else if ((*p & 0xe0) == 0xc0)
            cp = *p & 0x1f, n = 2;
        else if ((*p & 0xf0) == 0xe0)
            cp = *p & 0x0f, n = 3;
        else
            cp = *p & 0x07, n = 4;
        int i = 1;
        for (; i < n && (p[i] & 0xc0) == 0x80; i++) cp = (cp << 6) | (p[i] & 0x3f);
        if (i == n && cp < 256) input_queue_event(w, (int)cp, 1, s, us);
        p += i;
    }
}

// The event's time on the platform clock: SDL stamps events in its own milliseconds, so the
// age of the event is taken off the current clock (never ahead of it).
void event_stamp(const SDL_Event& e, long* s, long* us) {
    long cs, cu;
    clock_now(&cs, &cu);
    long long now_ms = (long long)cs * 1000 + cu / 1000;
    Uint32 ticks = SDL_GetTicks();
    long long age = ticks >= e.common.timestamp ? (long long)(ticks - e.common.timestamp) : 0;
    long long ms = now_ms - age;
    if (ms < 0) ms = 0;
    *s = (long)(ms / 1000);
    *us = (long)(ms % 1000) * 1000;
}

void handle_event(GameWindow* w, const SDL_Event& e) {
    long s, us;
    event_stamp(e, &s, &us);
    switch (e.type) {
    case SDL_WINDOWEVENT:
        if (e.window.event == SDL_WINDOWEVENT_SIZE_CHANGED) {
            w->width = e.window.data1;
            w->height = e.window.data2;
            log_printf("WM_SIZE message %dx%d\n", w->width, w->height);
        } else if (e.window.event == SDL_WINDOWEVENT_CLOSE) {
            input_queue_event(w, KEY_CLOSE, 1, s, us);
        }
        break;
    case SDL_QUIT: // a termination request from outside (a signal): handled like the close button
        input_queue_event(w, KEY_CLOSE, 1, s, us);
        break;
    case SDL_KEYDOWN:
    case SDL_KEYUP: {
        int scan = scan_from_sdl(e.key.keysym.scancode);
        if (scan) input_queue_event(w, KEY_SCAN_BASE + scan, e.type == SDL_KEYDOWN, s, us);
        int c = control_char(e.key.keysym.scancode);
        if (c && e.type == SDL_KEYDOWN) input_queue_event(w, c, 1, s, us);
        break;
    }
    case SDL_TEXTINPUT:
        queue_text(w, e.text.text, s, us);
        break;
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP: {
        int code = e.button.button == SDL_BUTTON_LEFT     ? KEY_MOUSE_LEFT
                   : e.button.button == SDL_BUTTON_MIDDLE ? KEY_MOUSE_MIDDLE
                   : e.button.button == SDL_BUTTON_RIGHT  ? KEY_MOUSE_RIGHT
                                                          : 0;
        if (code) input_queue_event(w, code, e.type == SDL_MOUSEBUTTONDOWN, s, us);
        input_platform_event(w, &e, s, us);
        break;
    }
    case SDL_MOUSEMOTION:
        w->input.cursor_x = e.motion.x;
        w->input.cursor_y = e.motion.y;
        input_platform_event(w, &e, s, us);
        break;
    default:
        input_platform_event(w, &e, s, us);
        break;
    }
}

void read_threaded_option() {
    if (g_window.options_read) return;
    g_window.options_read = true;
    int threaded = option_flag("threaded", 0);
    log_printf("Options:\n");
    log_printf("%10s [%s]\n", "threaded:", threaded ? "on" : "off");
    // The window's events belong to the thread that owns the GL context here.
    if (threaded)
        log_printf("The message thread is not available on this platform; running unthreaded\n");
}

bool set_fullscreen(GameWindow* w, int width, int height) {
    DisplayMode m = display_mode_choose(display_modes(), width, height, desktop_mode());
    SDL_DisplayMode want{};
    SDL_DisplayMode got;
    want.w = m.width;
    want.h = m.height;
    if (!SDL_GetClosestDisplayMode(0, &want, &got)) SDL_GetDesktopDisplayMode(0, &got);
    got.w = m.width; // only the pixel size changes
    got.h = m.height;
    SDL_SetWindowDisplayMode(w->native, &got);
    if (SDL_SetWindowFullscreen(w->native, SDL_WINDOW_FULLSCREEN) != 0) return false;
    w->fs_width = m.width;
    w->fs_height = m.height;
    w->fullscreen = 1;
    return true;
}

} // namespace

DisplayMode display_mode_choose(const DisplayMode* modes, int width, int height,
                                DisplayMode desktop) {
    const DisplayMode* best = nullptr;
    for (const DisplayMode* m = modes; m && m->width; m++) {
        if (m->width < width || m->height < height) continue;
        if (!best || m->width + m->height < best->width + best->height) best = m;
    }
    return best ? *best : desktop;
}

const DisplayMode* display_modes() {
    if (g_window.modes_built) return g_window.modes.data();
    g_window.modes_built = true;
    std::vector<DisplayMode>& list = g_window.modes;
    if (video_open()) {
        SDL_DisplayMode cur;
        if (SDL_GetDesktopDisplayMode(0, &cur) == 0) {
            DisplayMode d{cur.w, cur.h, mode_bits(cur.format), cur.refresh_rate};
            if (depth_acceptable(d.bits)) {
                list.push_back(d);
                log_printf("Registry mode is %dx%dx%d@%dhz\n", d.width, d.height, d.bits,
                           d.refresh);
            } else {
                log_printf("Registry mode is %dx%dx%d@%dhz (ignored)\n", d.width, d.height, d.bits,
                           d.refresh);
            }
        }
        int n = SDL_GetNumDisplayModes(0);
        for (int i = 0; i < n; i++) {
            SDL_DisplayMode sm;
            if (SDL_GetDisplayMode(0, i, &sm) != 0) continue;
            DisplayMode d{sm.w, sm.h, mode_bits(sm.format), sm.refresh_rate};
            bool known = false;
            for (const DisplayMode& k : list)
                known |= k.width == d.width && k.height == d.height && k.bits == d.bits;
            if (known) continue;
            if (!depth_acceptable(d.bits)) {
                log_printf("Found mode %dx%dx%d@%dhz (ignored)\n", d.width, d.height, d.bits,
                           d.refresh);
                continue;
            }
            log_printf("Found mode %dx%dx%d@%dhz\n", d.width, d.height, d.bits, d.refresh);
            list.push_back(d);
        }
    }
    list.push_back(DisplayMode{0, 0, 0, 0});
    return list.data();
}

GameWindow* window_open_gl(const char* title, int width, int height, int mode_word, int alpha_bits,
                           int depth_bits, int stencil_bits, int accum_bits) {
    // 1-2. The display modes and the options.
    display_modes();
    read_threaded_option();
    if (!video_open()) {
        log_error("Can't create window!\n");
        return nullptr;
    }
    GameWindow* w = new GameWindow;
    w->title = title;
    w->depth = mode_word & 0xff;
    bool full = (mode_word & MODE_FULLSCREEN) != 0;
    if (width == 0 || height == 0) {
        DisplayMode d = desktop_mode();
        width = d.width;
        height = d.height;
    }
    w->width = width;
    w->height = height;

    // 7 (before creation: SDL chooses the pixel format with the window). Colour bits follow
    // the depth; 32 asks for 24 colour bits.
    int colour = w->depth == 32 ? 24 : w->depth;
    int r = colour >= 24 ? 8 : colour >= 15 ? 5 : 3;
    int g = colour >= 24 ? 8 : colour == 16 ? 6 : colour >= 15 ? 5 : 3;
    int b = colour >= 24 ? 8 : colour >= 15 ? 5 : 2;
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_COMPATIBILITY);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_GL_SetAttribute(SDL_GL_RED_SIZE, r);
    SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, g);
    SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, b);
    SDL_GL_SetAttribute(SDL_GL_ALPHA_SIZE, alpha_bits);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, depth_bits);
    SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, stencil_bits);
    SDL_GL_SetAttribute(SDL_GL_ACCUM_RED_SIZE, accum_bits / 4);
    SDL_GL_SetAttribute(SDL_GL_ACCUM_GREEN_SIZE, accum_bits / 4);
    SDL_GL_SetAttribute(SDL_GL_ACCUM_BLUE_SIZE, accum_bits / 4);
    SDL_GL_SetAttribute(SDL_GL_ACCUM_ALPHA_SIZE, accum_bits / 4);

    // 5. The native window.
    log_printf("Creating window\n");
    Uint32 flags = SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN | (full ? 0 : SDL_WINDOW_RESIZABLE);
    w->native = SDL_CreateWindow(title, SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED, width,
                                 height, flags);
    if (!w->native) {
        log_printf("%s\n", SDL_GetError());
        g_window.open_error = SDL_GetError();
        log_error("Can't create window!\n");
        delete w;
        return nullptr;
    }
    SDL_SetWindowData(w->native, "GameWindow", w);
    if (full && !set_fullscreen(w, width, height))
        log_printf("Can't switch to full screen: %s\n", SDL_GetError());
    SDL_ShowWindow(w->native);
    if (full) SDL_MaximizeWindow(w->native);
    SDL_RaiseWindow(w->native);

    // 6. The input devices and their aliases.
    input_open_devices(w, 1);

    // 7. The GL context, current on this thread; the loop paces itself, so no vsync.
    log_printf("Creating OpenGL context\n");
    w->gl = SDL_GL_CreateContext(w->native);
    if (!w->gl) {
        log_printf("%s\n", SDL_GetError());
        g_window.open_error = std::string("no OpenGL context: ") + SDL_GetError();
        log_error("Couldn't create OpenGL context\n");
        window_close(w);
        return nullptr;
    }
    SDL_GL_MakeCurrent(w->native, (SDL_GLContext)w->gl);
    SDL_GL_SetSwapInterval(0);
    SDL_GL_GetDrawableSize(w->native, &w->width, &w->height);
    return w;
}

GameWindow* window_open_headless() {
    GameWindow* w = new GameWindow;
    w->title = "Vornix";
    input_open_devices(w, 0);
    return w;
}

void window_close(GameWindow* w) {
    if (!w) return;
    w->close_flag = 1;
    if (w->gl) {
        log_printf("Deleting OpenGL context\n");
        SDL_GL_MakeCurrent(w->native, nullptr);
        SDL_GL_DeleteContext((SDL_GLContext)w->gl);
        w->gl = nullptr;
    }
    if (w->native) log_printf("Closing input devices\n");
    input_close_devices(w);
    if (w->native) {
        log_printf("Destroying window\n");
        // Leaving full screen gives the desktop its own mode back.
        if (w->fullscreen) SDL_SetWindowFullscreen(w->native, 0);
        SDL_DestroyWindow(w->native);
        w->native = nullptr;
        log_printf("Window shutdown complete\n");
    }
    script_free(w->script);
    delete w;
}

const FrameInfo* frame_begin(GameWindow* w) {
    if (!w || !w->gl || !w->native) return nullptr;
    Uint32 flags = SDL_GetWindowFlags(w->native);
    if (flags & (SDL_WINDOW_HIDDEN | SDL_WINDOW_MINIMIZED)) return nullptr;
    w->frame_lock.lock();
    if (w->busy) {
        w->frame_lock.unlock();
        return nullptr;
    }
    int dw = 0, dh = 0;
    SDL_GL_GetDrawableSize(w->native, &dw, &dh);
    if (dw > 0 && dh > 0) {
        w->width = dw;
        w->height = dh;
    }
    w->frame = FrameInfo{0, w->width, w->height, 0, 0};
    return &w->frame;
}

int frame_end(GameWindow* w) {
    if (!w || !w->native) return 0;
    SDL_GL_SwapWindow(w->native); // SDL reports no failure of the swap itself
    w->frame_lock.unlock();
    return 1;
}

void window_set_mode(GameWindow* w, int width, int height, int mode_word) {
    if (!w || !w->native) return;
    // Called from the main loop between frames, so the frame lock is free to take.
    std::lock_guard<std::mutex> hold(w->frame_lock);
    w->busy = 1;
    if (mode_word & MODE_FULLSCREEN) {
        set_fullscreen(w, width, height);
    } else {
        w->fullscreen = 0;
        SDL_SetWindowFullscreen(w->native, 0);
        if (width == 0 || height == 0) {
            DisplayMode d = desktop_mode();
            width = d.width;
            height = d.height;
        }
        SDL_SetWindowSize(w->native, width, height);
        SDL_ShowWindow(w->native);
    }
    w->busy = 0;
}

void pump_messages(GameWindow* w) {
    if (!w) return;
    if (w->native) {
        SDL_Event e;
        while (SDL_PollEvent(&e))
            if (!w->close_flag) handle_event(w, e);
    }
    if (w->script) script_feed(w, clock_seconds());
}

void window_attach_script(GameWindow* w, ScriptFeed* script) {
    if (!w) {
        script_free(script);
        return;
    }
    script_free(w->script);
    w->script = script;
}

const char* window_open_error() {
    return g_window.open_error.c_str();
}

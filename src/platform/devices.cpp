// Game devices on SDL: the mouse (relative axes and buttons) and every attached joystick or
// gamepad (absolute axes, buttons, hat directions as buttons). Their events arrive through
// the window's event pump, so no device needs polling.
#include <SDL.h>

#include <cstdio>

#include "platform/input.h"
#include "platform/log.h"
#include "platform/options.h"
#include "platform/window.h"

namespace {

constexpr int MOUSE_AXES = 3;    // x, y, wheel
constexpr int MOUSE_BUTTONS = 5; // left, right, middle, back, forward
constexpr int WHEEL_STEP = 120;  // movement of one wheel notch

int none_activate(InputDevice*) {
    return 0;
}
int none_open(InputDevice*) {
    return 1;
}
void none_close(InputDevice*) {}
void none_poll(InputDevice*) {}

// Relative axes give the movement since the last read.
int mouse_read(InputDevice* d, int index) {
    int v = d->axes[index];
    d->axes[index] = 0;
    return v;
}
void mouse_destroy(InputDevice*) {}
const InputDeviceOps MOUSE_OPS = {none_activate, none_open, none_close,
                                  mouse_read,    none_poll, mouse_destroy};

int joystick_read(InputDevice* d, int index) {
    int v = SDL_JoystickGetAxis((SDL_Joystick*)d->native, index);
    return v < -32767 ? -32767 : v; // the range is symmetric
}
void joystick_destroy(InputDevice* d) {
    if (d->native) SDL_JoystickClose((SDL_Joystick*)d->native);
    d->native = nullptr;
}
const InputDeviceOps JOYSTICK_OPS = {none_activate, none_open, none_close,
                                     joystick_read, none_poll, joystick_destroy};

InputDevice* device_by_native(GameWindow* w, const InputDeviceOps* ops, int native_id) {
    for (InputDevice* d = w->input.devices; d; d = d->next)
        if (d->ops == ops && d->native_id == native_id) return d;
    return nullptr;
}

void add_mouse(GameWindow* w) {
    log_printf("%s (%s)\n", "Mouse", "Mouse");
    log_printf("%d axes, %d keys\n", MOUSE_AXES, MOUSE_BUTTONS);
    for (int i = 0; i < MOUSE_AXES; i++) log_printf("axis %d is %s\n", i, "relative");
    InputDevice* d = input_device_add(w, "Mouse", &MOUSE_OPS, MOUSE_AXES, MOUSE_BUTTONS, 1);
    d->native_id = 0;
}

void add_joystick(GameWindow* w, int index) {
    const char* instance = SDL_JoystickNameForIndex(index);
    if (!instance || !*instance) instance = "Joystick";
    const char* product =
        SDL_IsGameController(index) ? SDL_GameControllerNameForIndex(index) : nullptr;
    if (!product) product = instance;
    log_printf("%s (%s)\n", instance, product);
    SDL_Joystick* js = SDL_JoystickOpen(index);
    if (!js) {
        log_printf("Can't create \"%s\"\n", instance);
        return;
    }
    int axes = SDL_JoystickNumAxes(js), buttons = SDL_JoystickNumButtons(js);
    int hats = SDL_JoystickNumHats(js);
    if (axes < 0 || buttons < 0 || hats < 0) {
        log_printf("Can't get device caps\n");
        SDL_JoystickClose(js);
        return;
    }
    buttons += 4 * hats; // each hat gives up, right, down and left as buttons
    log_printf("%d axes, %d keys\n", axes, buttons);
    if (axes > DEVICE_MAX_AXES) {
        log_printf(
            "Wow! This thing has a lot of axes!\nThe first ignored axis is called \"%s axis %d\"\n",
            instance, DEVICE_MAX_AXES);
        axes = DEVICE_MAX_AXES;
    }
    if (buttons > DEVICE_MAX_BUTTONS) {
        log_printf("Wow! This thing has a lot of buttons!\nThe first ignored button is called \"%s "
                   "button %d\"\n",
                   instance, DEVICE_MAX_BUTTONS);
        buttons = DEVICE_MAX_BUTTONS;
    }
    for (int i = 0; i < axes; i++) log_printf("axis %d is %s\n", i, "absolute");
    InputDevice* d = input_device_add(w, instance, &JOYSTICK_OPS, axes, buttons, 0);
    d->native = js;
    d->native_id = (int)SDL_JoystickInstanceID(js);
    for (int i = 0; i < axes; i++) {
        char name[256];
        snprintf(name, sizeof name, "%.200s axis %d", d->name.c_str(), i);
        log_printf("Adding axis \"%s\"\n", name);
        const char* interned = intern_name(name);
        if (!interned) {
            log_printf("Out of memory\n");
            continue;
        }
        w->input.device_axes.push_back(interned);
    }
}

int mouse_button_index(int sdl_button) {
    switch (sdl_button) {
    case SDL_BUTTON_LEFT:
        return 0;
    case SDL_BUTTON_RIGHT:
        return 1;
    case SDL_BUTTON_MIDDLE:
        return 2;
    case SDL_BUTTON_X1:
        return 3;
    case SDL_BUTTON_X2:
        return 4;
    default:
        return -1;
    }
}

} // namespace

// The roll call at window creation: the mouse, then every attached joystick and gamepad.
// Devices plugged in later appear at the next roll call.
void input_platform_roll_call(GameWindow* w) {
    if (SDL_InitSubSystem(SDL_INIT_JOYSTICK | SDL_INIT_GAMECONTROLLER) != 0) {
        log_printf("Can't open the game device library: %s\n", SDL_GetError());
        return;
    }
    log_printf("DirectInput roll call...\n");
    add_mouse(w);
    int n = SDL_NumJoysticks();
    for (int i = 0; i < n; i++) add_joystick(w, i);
    log_printf("End of DirectInput roll call\n");
}

int input_platform_event(GameWindow* w, const SDL_Event* e, long s, long us) {
    switch (e->type) {
    case SDL_MOUSEMOTION: {
        if (e->motion.which == SDL_TOUCH_MOUSEID) return 0;
        InputDevice* d = device_by_native(w, &MOUSE_OPS, 0);
        if (!d) return 0;
        d->axes[0] += e->motion.xrel;
        d->axes[1] += e->motion.yrel;
        return 1;
    }
    case SDL_MOUSEWHEEL: {
        InputDevice* d = device_by_native(w, &MOUSE_OPS, 0);
        if (!d) return 0;
        d->axes[2] += e->wheel.y * WHEEL_STEP;
        return 1;
    }
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP: {
        InputDevice* d = device_by_native(w, &MOUSE_OPS, 0);
        int b = mouse_button_index(e->button.button);
        if (!d || b < 0) return 0;
        input_device_button(d, b, e->type == SDL_MOUSEBUTTONDOWN, s, us);
        return 1;
    }
    case SDL_JOYBUTTONDOWN:
    case SDL_JOYBUTTONUP: {
        InputDevice* d = device_by_native(w, &JOYSTICK_OPS, (int)e->jbutton.which);
        if (!d) return 0;
        input_device_button(d, e->jbutton.button, e->type == SDL_JOYBUTTONDOWN, s, us);
        return 1;
    }
    case SDL_JOYHATMOTION: {
        InputDevice* d = device_by_native(w, &JOYSTICK_OPS, (int)e->jhat.which);
        if (!d) return 0;
        SDL_Joystick* js = (SDL_Joystick*)d->native;
        int base = SDL_JoystickNumButtons(js) + 4 * e->jhat.hat;
        static const int dirs[4] = {SDL_HAT_UP, SDL_HAT_RIGHT, SDL_HAT_DOWN, SDL_HAT_LEFT};
        for (int k = 0; k < 4; k++)
            input_device_button(d, base + k, (e->jhat.value & dirs[k]) != 0, s, us);
        return 1;
    }
    default:
        return 0;
    }
}

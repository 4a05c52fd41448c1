#include "bike/world.h"

#include <cstdio>

#include "platform/log.h"

PhysicsWorld g_physics;

static void ode_message(int num, const char* msg, va_list ap) {
    char text[1024];
    vsnprintf(text, sizeof text, msg, ap);
    log_printf("ODE message %d: %s\n", num, text);
}

static void ode_error(int num, const char* msg, va_list ap) {
    char text[1024];
    vsnprintf(text, sizeof text, msg, ap);
    log_printf("ODE error %d: %s\n", num, text);
}

void physics_open() {
    dInitODE2(0);
    dSetErrorHandler(ode_error);
    dSetDebugHandler(ode_error);
    dSetMessageHandler(ode_message);
    g_physics.world = dWorldCreate();
    dWorldSetGravity(g_physics.world, 0, -32, 0);
    g_physics.contacts = dJointGroupCreate(0);
}

void physics_close_contacts() {
    if (g_physics.contacts) dJointGroupDestroy(g_physics.contacts);
    g_physics.contacts = nullptr;
}

void physics_close_world() {
    if (g_physics.world) {
        dWorldDestroy(g_physics.world);
        dCloseODE();
    }
    g_physics.world = nullptr;
}

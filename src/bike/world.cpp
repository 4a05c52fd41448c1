// The physics world and the physics tick.
#include "bike/world.h"

#include <ode/ode.h>

#include <cstdio>

#include "bike/bike.h"
#include "bike/contact.h"
#include "bike/step.h"
#include "platform/log.h"
#include "track/terrain.h"

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
    dWorldSetGravity(g_physics.world, 0, -GRAVITY, 0);
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
    g_physics.ground = nullptr;
    g_physics.clock = 0;
}

void physics_set_ground(const Terrain* ground) {
    g_physics.ground = ground;
}

const Terrain* physics_ground() {
    static const Terrain empty;
    return g_physics.ground ? g_physics.ground : &empty;
}

void physics_set_clock(int tick) {
    g_physics.clock = tick;
}

void physics_clear_contacts() {
    if (g_physics.contacts) dJointGroupEmpty(g_physics.contacts);
}

// Squared frame speed: the order of the pair contacts.
static double frame_speed2(const Bike* bike) {
    const dReal* v = dBodyGetLinearVel(bike->bodies[BODY_FRAME]);
    return v[0] * v[0] + v[1] * v[1] + v[2] * v[2];
}

// Step 2: every wanted pair, the fastest bike first. Insertion keeps equal speeds in slot
// order, and the arrays live on the stack: the tick allocates nothing.
static void pair_contacts(const PhysicsTick* t) {
    int order[MAX_RIDERS];
    double speed2[MAX_RIDERS];
    int n = 0;
    for (int slot = 0; slot < MAX_RIDERS; slot++) {
        if (!t->bikes[slot] || !(t->flags[slot] & PHYSICS_PAIRS)) continue;
        double s = frame_speed2(t->bikes[slot]);
        int k = n++;
        while (k > 0 && speed2[k - 1] < s) {
            order[k] = order[k - 1];
            speed2[k] = speed2[k - 1];
            k--;
        }
        order[k] = slot;
        speed2[k] = s;
    }
    for (int i = 0; i < n; i++)
        for (int j = i + 1; j < n; j++) {
            int a = order[i], b = order[j];
            if (t->pairs_need_local && !((t->flags[a] | t->flags[b]) & PHYSICS_LOCAL)) continue;
            bike_bike_contacts(t->bikes[a], t->bikes[b]);
        }
}

void physics_tick(const PhysicsTick* t) {
    const PhysicsHooks& h = t->hooks;
    g_physics.clock = t->clock;
    // 1. Ground and statues.
    for (int slot = 0; slot < MAX_RIDERS; slot++) {
        Bike* bike = t->bikes[slot];
        if (!bike || !(t->flags[slot] & PHYSICS_CONTACTS)) continue;
        bike_ground_contacts(bike);
        if (t->statues) bike_statue_contacts(bike);
    }
    // 2. Bike against bike.
    pair_contacts(t);
    // 3. What follows from this tick's contacts (roost).
    if (h.after_contacts) h.after_contacts(h.ctx);
    // 4. The world step, with snapshot-driven bikes kept where their snapshots put them.
    if (h.before_world_step)
        for (int slot = 0; slot < MAX_RIDERS; slot++)
            if (t->bikes[slot] && (t->flags[slot] & PHYSICS_AROUND_STEP))
                h.before_world_step(h.ctx, slot);
    if (g_physics.world) dWorldStep(g_physics.world, sim_tick);
    physics_clear_contacts();
    if (h.after_world_step)
        for (int slot = 0; slot < MAX_RIDERS; slot++)
            if (t->bikes[slot] && (t->flags[slot] & PHYSICS_AROUND_STEP))
                h.after_world_step(h.ctx, slot);
    // 5. Controls, the bike steps for the next world step, and what follows each of them.
    for (int slot = 0; slot < MAX_RIDERS; slot++) {
        Bike* bike = t->bikes[slot];
        if (!bike) continue;
        if (h.before_bike_step) h.before_bike_step(h.ctx, slot);
        bike_step(bike, (t->flags[slot] & PHYSICS_SIMULATE) != 0);
        if (h.after_bike_step) h.after_bike_step(h.ctx, slot);
    }
}

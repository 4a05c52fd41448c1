// The physics world and the physics tick.
#include "bike/world.h"

#include <ode/ode.h>

#include <chrono>
#include <cstdio>

#include "bike/bike.h"
#include "bike/contact.h"
#include "bike/step.h"
#include "platform/log.h"
#include "track/terrain.h"

PhysicsWorld g_physics;

// Contact joints the temporary group has room for from the start: 40 riders with their two
// tyres, five body spheres and a few statue and pair contacts each.
constexpr int PHYSICS_CONTACT_RESERVE = 2048;

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
    // The solver's scratch memory grows whenever an island is bigger than any before (bikes
    // bunching up), which would allocate in the middle of a race. Reserve room for islands of
    // several hundred rows from the start and grow by half again when it is ever exceeded.
    dWorldStepReserveInfo reserve;
    reserve.struct_size = sizeof reserve;
    reserve.reserve_factor = 1.5f;
    reserve.reserve_minimum = 4u << 20; // bytes
    dWorldSetStepMemoryReservationPolicy(g_physics.world, &reserve);
    g_physics.contacts = dJointGroupCreate(0);
    // The group keeps the memory of its joints when it is emptied, so growing it once to more
    // contact joints than a crowded race makes in one tick means no tick has to grow it.
    dContact blank = {};
    for (int i = 0; i < PHYSICS_CONTACT_RESERVE; i++)
        dJointCreateContact(g_physics.world, g_physics.contacts, &blank);
    dJointGroupEmpty(g_physics.contacts);
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
    g_physics.step_seconds = 0;
    g_physics.step_count = 0;
    g_physics.contacts_seconds = 0;
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

void physics_tick(const PhysicsTick* t) {
    const PhysicsHooks& h = t->hooks;
    g_physics.clock = t->clock;
    // 1-2. Ground and statues, then bike against bike.
    auto contacts_begin = std::chrono::steady_clock::now();
    contacts_tick(t);
    std::chrono::duration<double> contacts = std::chrono::steady_clock::now() - contacts_begin;
    g_physics.contacts_seconds += contacts.count();
    // 3. What follows from this tick's contacts (roost).
    if (h.after_contacts) h.after_contacts(h.ctx);
    // 4. The world step, with snapshot-driven bikes kept where their snapshots put them.
    if (h.before_world_step)
        for (int slot = 0; slot < MAX_RIDERS; slot++)
            if (t->bikes[slot] && (t->flags[slot] & PHYSICS_AROUND_STEP))
                h.before_world_step(h.ctx, slot);
    if (g_physics.world) {
        auto begin = std::chrono::steady_clock::now();
        dWorldStep(g_physics.world, sim_tick);
        std::chrono::duration<double> spent = std::chrono::steady_clock::now() - begin;
        g_physics.step_seconds += spent.count();
        g_physics.step_count++;
    }
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

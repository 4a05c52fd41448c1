// The contacts of one physics tick, found on several threads and made in one order:
//   1. The pair order: every rider with PHYSICS_PAIRS by falling frame speed (ties in slot
//      order), on the calling thread.
//   2. Every rider's reach sphere, on the calling thread. Then two tasks per rider, on the
//      worker threads, each writing only the rider's own record. First its parts, then its
//      ground and statue contacts (PHYSICS_CONTACTS); later its pairs with every rider after
//      it in the pair order (PHYSICS_PAIRS) whose reach sphere meets its own, once every
//      rider's parts are made. The tasks only read bodies, the ground and the statues, which
//      nothing changes until the world step.
//   3. On the calling thread: for each slot in order its ground contacts, then its statues;
//      then every pair in pair order. Joints, forces, flags, stamps and crash tests come out
//      exactly as one thread doing everything in this order would make them.
#include <ode/ode.h>

#include "bike/bike.h"
#include "bike/contact.h"
#include "bike/contact_internal.h"
#include "bike/world.h"
#include "platform/workers.h"

using namespace contact_internal;

namespace {

// Squared frame speed: the order of the pair contacts.
double frame_speed2(const Bike* bike) {
    const dReal* v = dBodyGetLinearVel(bike->bodies[BODY_FRAME]);
    return v[0] * v[0] + v[1] * v[1] + v[2] * v[2];
}

// Step 1: the pair order. Insertion keeps equal speeds in slot order; no allocation.
void pair_order(const PhysicsTick* t, ContactWork* w) {
    double speed2[MAX_RIDERS];
    int n = 0;
    for (int slot = 0; slot < MAX_RIDERS; slot++) {
        if (!t->bikes[slot] || !(t->flags[slot] & PHYSICS_PAIRS)) continue;
        double s = frame_speed2(t->bikes[slot]);
        int k = n++;
        while (k > 0 && speed2[k - 1] < s) {
            w->order[k] = w->order[k - 1];
            speed2[k] = speed2[k - 1];
            k--;
        }
        w->order[k] = slot;
        speed2[k] = s;
    }
    w->order_count = n;
}

bool pair_wanted(const PhysicsTick* t, int a, int b) {
    return !t->pairs_need_local || ((t->flags[a] | t->flags[b]) & PHYSICS_LOCAL);
}

// Step 2, first task of a rider: its parts, then its ground and statue contacts.
void rider_ground_task(ContactWork* w, int slot) {
    const PhysicsTick* t = w->tick;
    const Bike* bike = t->bikes[slot];
    BikeContacts& found = w->slots[slot];
    found.clear();
    bike_parts_make_reached(bike, &found.parts, w->centre[slot], w->reach[slot]);
    w->parts_made.fetch_add(1, std::memory_order_release);
    if (t->flags[slot] & PHYSICS_CONTACTS) {
        ground_contacts_find(bike, &found);
        if (t->statues) statue_contacts_find(bike, &found);
    }
}

// Step 2, second task of the rider at place i of the pair order: its pairs. Every first task
// was handed out before any second one, so the parts still being made are a moment away.
void rider_pairs_task(ContactWork* w, int i) {
    const PhysicsTick* t = w->tick;
    int slot = w->order[i];
    BikeContacts& found = w->slots[slot];
    bool ready = false;
    for (int j = i + 1; j < w->order_count; j++) {
        int other = w->order[j];
        // Riders out of each other's reach are passed over on their spheres alone, without
        // waiting for (or reading) their parts.
        if (!pair_wanted(t, slot, other) ||
            !reaches_meet(w->centre[slot], w->reach[slot], w->centre[other], w->reach[other]))
            continue;
        for (int spins = 0; !ready; spins++) {
            ready = w->parts_made.load(std::memory_order_acquire) == w->active_count;
            if (!ready && spins > 64) workers_yield();
        }
        pair_contacts_find(found.parts, w->slots[other].parts, other, &found);
    }
}

// Tasks 0 .. active_count - 1 are the first tasks in slot order; then the pair tasks in pair
// order, the riders with the most pairs first so that the job ends evenly.
void rider_task(void* ctx, int task) {
    ContactWork* w = (ContactWork*)ctx;
    if (task < w->active_count)
        rider_ground_task(w, w->active[task]);
    else
        rider_pairs_task(w, task - w->active_count);
}

} // namespace

void contacts_tick(const PhysicsTick* t) {
    ContactWork& w = contact_work();
    w.tick = t;
    // 1. The pair order.
    pair_order(t, &w);
    w.active_count = 0;
    for (int slot = 0; slot < MAX_RIDERS; slot++)
        if (t->bikes[slot] && (t->flags[slot] & (PHYSICS_CONTACTS | PHYSICS_PAIRS)))
            w.active[w.active_count++] = slot;
    // 2. The reach spheres, then the parts and geometry of every rider.
    for (int k = 0; k < w.active_count; k++) {
        int slot = w.active[k];
        w.reach[slot] = bike_reach(t->bikes[slot], w.centre[slot]);
    }
    w.parts_made.store(0, std::memory_order_relaxed);
    workers_run(w.active_count + w.order_count, rider_task, &w);
    // 3. Joints and forces in the one order.
    for (int k = 0; k < w.active_count; k++) {
        int slot = w.active[k];
        if (!(t->flags[slot] & PHYSICS_CONTACTS)) continue;
        ground_contacts_make(t->bikes[slot], w.slots[slot]);
        if (t->statues) statue_contacts_make(t->bikes[slot], w.slots[slot]);
    }
    for (int i = 0; i < w.order_count; i++) {
        int slot = w.order[i];
        const BikeContacts& found = w.slots[slot];
        for (const HitRun& run : found.pairs)
            pair_contacts_make(t->bikes[slot], t->bikes[run.other], found, run);
    }
    w.tick = nullptr;
}

// The contacts of one physics tick, found on several threads and made in one order:
//   1. The pair order: every rider with PHYSICS_PAIRS by falling frame speed (ties in slot
//      order), and each bike's parts and reach sphere, on the calling thread.
//   2. One task per rider, on the worker threads: its ground and statue contacts
//      (PHYSICS_CONTACTS), and its pairs with every rider after it in the pair order
//      (PHYSICS_PAIRS), each into the rider's own record. The tasks only read bodies, the
//      ground and the statues, which nothing changes until the world step.
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

// Step 2 for the rider of one active slot.
void rider_task(void* ctx, int task) {
    ContactWork* w = (ContactWork*)ctx;
    const PhysicsTick* t = w->tick;
    int slot = w->active[task];
    const Bike* bike = t->bikes[slot];
    BikeContacts& found = w->slots[slot];
    if (t->flags[slot] & PHYSICS_CONTACTS) {
        ground_contacts_find(bike, &found);
        if (t->statues) statue_contacts_find(bike, &found);
    }
    if (!(t->flags[slot] & PHYSICS_PAIRS)) return;
    int i = 0;
    while (i < w->order_count && w->order[i] != slot) i++;
    for (int j = i + 1; j < w->order_count; j++) {
        int other = w->order[j];
        if (pair_wanted(t, slot, other))
            pair_contacts_find(found.parts, w->slots[other].parts, other, &found);
    }
}

} // namespace

void contacts_tick(const PhysicsTick* t) {
    ContactWork& w = contact_work();
    w.tick = t;
    // 1. The pair order, and the parts every task may read.
    pair_order(t, &w);
    w.active_count = 0;
    for (int slot = 0; slot < MAX_RIDERS; slot++) {
        if (!t->bikes[slot] || !(t->flags[slot] & (PHYSICS_CONTACTS | PHYSICS_PAIRS))) continue;
        BikeContacts& found = w.slots[slot];
        found.clear();
        bike_parts_make(t->bikes[slot], &found.parts);
        w.active[w.active_count++] = slot;
    }
    // 2. The geometry of every rider.
    workers_run(w.active_count, rider_task, &w);
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

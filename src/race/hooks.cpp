// The race session's world step and its calls into the bike, robot, network, roost, sound and
// line-memory code. Calls whose subsystem has not joined the program yet (robots, network,
// roost, engine sound, line memory) do nothing here, each named for what will fill it.
#include "race/hooks.h"

#include <cmath>

#include "bike/bike.h"
#include "bike/contact.h"
#include "bike/step.h"
#include "bike/world.h"
#include "replay/snapshot.h"
#include "track/objects.h"

// ---- Physics ----

void race_bike_position(const Bike* bike, float out[3]) {
    const dReal* p = dBodyGetPosition(bike->bodies[BODY_FRAME]);
    out[0] = (float)p[0];
    out[1] = (float)p[1];
    out[2] = (float)p[2];
}

float race_bike_speed(const Bike* bike) {
    const dReal* v = dBodyGetLinearVel(bike->bodies[BODY_FRAME]);
    return (float)std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
}

void race_contacts_clear() {
    if (g_physics.contacts) dJointGroupEmpty(g_physics.contacts);
}

void race_world_step() {
    if (!g_physics.world) return;
    dWorldStep(g_physics.world, 1.0 / 128);
    race_contacts_clear();
}

void race_bike_hold(Bike* bike) {
    bike->front_brake = 1;
    bike->rear_brake = 1;
    bike->back_up = 0;
    bike->clutch = 0;
    bike->throttle = 0;
    bike->dab = 1;
}

int race_bike_ground_contacts(Bike* bike) {
    return bike_ground_contacts(bike);
}

void race_bike_statues(Bike* bike, int) {
    // The bike's own statue walk stamps every touched statue with the session tick.
    bike_statue_contacts(bike);
}

void race_bike_pair(Bike* a, Bike* b, int) {
    bike_bike_contacts(a, b);
}

void race_bike_step(Bike* bike, int simulate) {
    bike_step(bike, simulate);
}
void race_bike_pre_world_step(Bike* bike) {
    bike_pre_world_step(bike);
}
void race_bike_post_world_step(Bike* bike) {
    bike_post_world_step(bike);
}
void race_bike_apply_snapshot(Bike* bike, const uint8_t* record, int version, int ticks) {
    bike_apply_snapshot(bike, record, version, ticks);
}
void race_snapshot_pack(const Bike* bike, uint8_t* out) {
    snapshot_pack(bike, out);
}

void race_snapshot_sample(int slot, int tick, uint8_t* out) {
    snapshot_history_sample(slot, tick, out);
}

// ---- Robots, network, roost, engine sound, line memory: still to come ----

void race_robot_drive(int) {}
void race_robot_personality(int, const char*) {}
void race_net_apply_states() {}
void race_net_before_step(int) {}
void race_net_after_step(int) {}
void race_net_update_rider(int) {}
int race_net_rider_recent(int) {
    return 0;
}
void race_roost_emit(int) {}
void race_roost_move() {}
void race_roost_reset() {}
void race_engine_sound_start(int) {}
void race_engine_sound_stop(int) {}
void race_lines_save() {}
void race_lines_load(int) {}
void race_lines_session_reset() {}
void race_line_stopped(int) {}
void race_line_segment(int, int) {}

#include "app/pending.h"

#include "render/glstate.h"

void player_apply_controls(const PlayerControls&) {}
float player_clutch_engagement() {
    return 1;
}
int viewed_bike_pose(BikePose*) {
    return 0;
}

int session_is_time_trial() {
    return 0;
}
void session_reset_riders() {}
void session_view_step(int) {}

int net_connected() {
    return 0;
}
int net_warmup() {
    return 0;
}
double net_tick_lead() {
    return 0;
}
int net_before_start() {
    return 0;
}
int net_server_tick() {
    return 0;
}
void net_client_tick() {}

void demo_seek(double) {}

void editor_tick() {}
int editor_key(int, int) {
    return 0;
}
void editor_drop_bikes() {}

// Every view is an empty drawing for now: the frame is cleared to the sky colour.
void view_draw(int, const CameraView&) {
    gl_clear_frame();
}
void ground_update(int) {}
void ground_refresh_all() {}
void engine_sounds_update(float) {}

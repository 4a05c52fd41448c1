#include "app/pending.h"

int net_connected() {
    return 0;
}
int net_rider_stale(int) {
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

void editor_tick() {}
int editor_key(int, int) {
    return 0;
}
void editor_drop_bikes() {}

void engine_sounds_update(float) {}

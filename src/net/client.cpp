// The network client. Without a transport there is never a connection: every query answers
// "not connected" and the step does nothing.
#include "net/client.h"

#include "race/hooks.h"

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
int net_ping_ms() {
    return -1;
}
void net_step() {}

const RaceNetHooks* net_race_hooks() {
    static const RaceNetHooks hooks;
    return &hooks;
}

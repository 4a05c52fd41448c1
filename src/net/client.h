// The network client: joining a race server over UDP and racing its remote riders. The main
// loop steps it once per tick; the race session meets it through its network hooks.
#pragma once

struct RaceNetHooks;

// 1 while connected to a server.
int net_connected();
// A remote rider whose last state is a second old or more (it is not drawn).
int net_rider_stale(int slot);
// 1 while the server's race is in its warm-up (collisions off).
int net_warmup();
// Server tick minus local tick minus one, in ticks (the clock correction).
double net_tick_lead();
// 1 while the local race is before its start tick.
int net_before_start();
// The server's tick (0 before the first CLOCK).
int net_server_tick();
// Round-trip time to the server in milliseconds, or -1 when not connected.
int net_ping_ms();
// The client's step, once per simulation tick.
void net_step();
// The hooks the race session calls for remote riders (for race_set_net_hooks).
const RaceNetHooks* net_race_hooks();

// Calls from the main loop into subsystems that have not landed yet (the network client, the
// track editor and engine sound). Each does nothing, or reports that there is nothing, until
// its subsystem replaces it.
#pragma once

#include "app/app.h"
#include "render/ground.h" // ground_update, ground_refresh_all

// Network client.
int net_connected();
// A remote rider whose last state is a second old or more (it is not drawn).
int net_rider_stale(int slot);
int net_warmup();
// Server tick minus local tick minus one, in ticks; and whether the local race is before its
// start tick.
double net_tick_lead();
int net_before_start();
int net_server_tick();
void net_client_tick();

// Track editor.
void editor_tick();
int editor_key(int code, int pressed); // 1 when the editor consumed the key
void editor_drop_bikes();

// Engine sound.
void engine_sounds_update(float level);

// Calls from the main loop into subsystems that have not landed yet (the bike, the network
// client, demos, the editor, drawing and engine sound). Each does nothing, or
// reports that there is nothing, until its subsystem replaces it.
#pragma once

#include "app/app.h"

// The bike setters of the viewed bike.
void player_apply_controls(const PlayerControls& controls);
// Current clutch engagement of the viewed bike (1 when there is none).
float player_clutch_engagement();
// Position, rotation and velocity of the viewed slot's bike; 0 when there is none.
int viewed_bike_pose(BikePose* pose);

// Race session extras.
int session_is_time_trial();
void session_reset_riders();
// Moves the viewed slot one place back (-1) or on (+1) in the standings.
void session_view_step(int direction);

// Network client.
int net_connected();
int net_warmup();
// Server tick minus local tick minus one, in ticks; and whether the local race is before its
// start tick.
double net_tick_lead();
int net_before_start();
int net_server_tick();
void net_client_tick();

// Demo playback.
void demo_seek(double seconds);

// Track editor.
void editor_tick();
int editor_key(int code, int pressed); // 1 when the editor consumed the key
void editor_drop_bikes();

// Drawing and sound.
void view_draw(int view_mode, const CameraView& camera);
void ground_update(int work_limit);
void ground_refresh_all();
void engine_sounds_update(float level);

// The rider's appearance settings: the texture-variant option lists of "Riding Gear" (prefix
// "rider_body-"), "Helmet" ("rider_head-"), "Bike Graphics" (the chosen bike's prefix) and
// "Wheel Graphics" ("wheels-"), and the data names their options stand for.
#pragma once

#include <vector>

struct Choice;

// Which list a choice uses.
enum { LOOK_RIDER = 0, LOOK_HEAD, LOOK_BIKE, LOOK_WHEELS, LOOK_COUNT };

struct Appearance {
    // values[k][i]: "@" + data name of option i of list k, null for "default".
    std::vector<const char*> values[LOOK_COUNT];
};
extern Appearance g_appearance;

// Builds the four lists from the data names and makes them the option lists of the four
// settings (each starting at its first option, "default"); installs the hook that rebuilds the
// bike's list when "bike" is read from the configuration. Start-up, before the file is read.
void appearance_lists_build();
// Rebuilds "Bike Graphics" for the bike now chosen, starting again at "default".
void appearance_bike_changed();
// The texture a setting's current option stands for: an "@" data name, or null for the
// default (the bike's own texture).
const char* appearance_texture(int list);
// The setting record of a list.
Choice* appearance_choice(int list);

// Hands the player's rider as the settings have it (bike, number and the four looks) to the
// race session, for the sessions started from now on.
void ui_set_player();

#include "ui/appearance.h"

#include <string>

#include "core/config.h"
#include "bike/bike.h"
#include "data/texture.h"
#include "race/session.h"

Appearance g_appearance;

namespace {

const char* const PREFIXES[LOOK_COUNT] = {"rider_body-", "rider_head-", nullptr, "wheels-"};

void build(int list, const char* prefix) {
    std::vector<const char*> labels;
    texture_variants(prefix, &g_appearance.values[list], &labels);
    config_set_options(appearance_choice(list), labels);
}

// The data name a setting's choice stands for, or "" for the bike's own texture; the lists
// are read again from the data, so a choice always names what is there now.
std::string variant_value(const Choice& choice, const char* prefix) {
    std::vector<const char*> values, labels;
    texture_variants(prefix, &values, &labels);
    if (choice.current <= 0 || choice.current >= (int)values.size()) return "";
    return values[choice.current] ? values[choice.current] : "";
}

} // namespace

Choice* appearance_choice(int list) {
    switch (list) {
    case LOOK_RIDER:
        return &g_config.rider_texture;
    case LOOK_HEAD:
        return &g_config.head_texture;
    case LOOK_BIKE:
        return &g_config.bike_texture;
    default:
        return &g_config.wheel_texture;
    }
}

void appearance_bike_changed() {
    std::string prefix = bike_texture_prefix(bike_info_find(g_config.bike.text()));
    build(LOOK_BIKE, prefix.c_str());
}

void appearance_lists_build() {
    for (int k = 0; k < LOOK_COUNT; k++)
        if (PREFIXES[k]) build(k, PREFIXES[k]);
    appearance_bike_changed();
    config_set_bike_hook(appearance_bike_changed);
}

const char* appearance_texture(int list) {
    if (list < 0 || list >= LOOK_COUNT) return nullptr;
    const Choice* c = appearance_choice(list);
    const std::vector<const char*>& v = g_appearance.values[list];
    return c->current >= 0 && c->current < (int)v.size() ? v[c->current] : nullptr;
}

void ui_set_player() {
    const Config& c = g_config;
    PlayerRider p;
    p.bike = c.bike.text();
    p.number = c.number.text;
    std::string prefix = bike_texture_prefix(bike_info_find(bike_name_alias(p.bike.c_str())));
    p.gear = variant_value(c.rider_texture, "rider_body-");
    p.helmet = variant_value(c.head_texture, "rider_head-");
    p.bike_graphics = variant_value(c.bike_texture, prefix.c_str());
    p.wheel_graphics = variant_value(c.wheel_texture, "wheels-");
    session_set_player(p);
}

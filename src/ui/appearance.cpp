#include "ui/appearance.h"

#include <string>

#include "app/config.h"
#include "bike/bike.h"
#include "data/texture.h"

Appearance g_appearance;

namespace {

const char* const PREFIXES[LOOK_COUNT] = {"rider_body-", "rider_head-", nullptr, "wheels-"};

void build(int list, const char* prefix) {
    std::vector<const char*> labels;
    texture_variants(prefix, &g_appearance.values[list], &labels);
    config_set_options(appearance_choice(list), labels);
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

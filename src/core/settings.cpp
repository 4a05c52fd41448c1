#include "core/settings.h"

#include <algorithm>

#include "core/config.h"
#include "core/maths.h"

Settings g_settings;

void settings_from_config() {
    Settings& s = g_settings;
    const Config& c = g_config;
    // Conversions to integers truncate toward zero.
    s.ground_detail = (float)(0.125 / c.ground_detail.value);
    s.ground_texture_level = (int)clampd(10 - c.ground_texture_detail.value, 0, 10);
    s.ground_texture_size = 32 << c.ground_texture_dim.current;
    double lod = clampd(100 - c.model_detail.value, 0, 100) * 0.02;
    if (lod > 1) lod = lod * lod * lod;
    s.lod_scale = (float)lod;
    s.lod_bias = (float)(50 - 50 * clampd((c.model_detail.value - 10) * 0.05, 0, 1));
    s.model_texture_level = (int)clampd(10 - c.model_texture_detail.value, 0, 10);
    s.roost_frequency = (int)c.roost_density.value;
}

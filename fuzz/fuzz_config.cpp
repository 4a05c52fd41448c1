// Fuzzes the configuration reader: the input is written as the "config" file and read. Every
// setting must then be within its limits, and once written and read back the file must stay
// the same through further round trips.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "fuzz_util.h"
#include "app/config_file.h"
#include "core/config.h"
#include "data/datafile.h"
#include "platform/options.h"

static std::string g_file;

static const char* const RIDER[] = {"rider_body-a", "rider_body-b", "rider_body-c"};
static const char* const BIKE_TEXTURES[] = {"bike-red", "bike-blue"};

static void bike_changed() {
    config_set_options(&g_config.bike_texture, {BIKE_TEXTURES[0], BIKE_TEXTURES[1]});
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    std::string base = fuzz_temp_folder();
    mkdir((base + "/data").c_str(), 0755);
    mkdir((base + "/data/Vornix").c_str(), 0755);
    mkdir((base + "/game").c_str(), 0755);
    setenv("HOME", base.c_str(), 1);
    setenv("XDG_DATA_HOME", (base + "/data").c_str(), 1);
    setenv("QZ_HOME", (base + "/game").c_str(), 1);
    data_reset();
    g_file = base + "/data/Vornix/config";
    return 0;
}

static void check(bool ok) {
    if (!ok) abort();
}

static void check_slider(const Slider* s) {
    // Read values are clamped as floats, defaults are exact: either bound will do.
    check(!std::isnan(s->value));
    check(s->value >= std::min(s->min, (double)(float)s->min));
    check(s->value <= std::max(s->max, (double)(float)s->max));
}

static void check_choice(const Choice& c) {
    check(c.current >= 0 && (c.options.empty() || c.current < (int)c.options.size()));
}

static void check_text(const TextSetting& t) {
    check((int)strlen(t.text) <= t.max_len);
}

static void check_settings() {
    const Config& c = g_config;
    for (const Slider* s : {&c.minutes,
                            &c.laps,
                            &c.ghost_fade_distance,
                            &c.stability,
                            &c.leveling,
                            &c.roll_damping,
                            &c.roll_limit_angle,
                            &c.roll_limit_factor,
                            &c.steering_damping,
                            &c.steering_strength,
                            &c.max_steering_force,
                            &c.direct_steering,
                            &c.slow_damping_speed,
                            &c.slow_damping_factor,
                            &c.land_damping_falloff,
                            &c.land_damping_factor,
                            &c.auto_clutch_rpms,
                            &c.brake_torque,
                            &c.rear_brake_torque,
                            &c.max_dab_speed,
                            &c.front_sprocket_adjustment,
                            &c.rear_sprocket_adjustment,
                            &c.fork_compression_adjustment,
                            &c.fork_rebound_adjustment,
                            &c.fork_spring_rate_adjustment,
                            &c.fork_preload_adjustment,
                            &c.fork_oil_level_adjustment,
                            &c.shock_compression_adjustment,
                            &c.shock_rebound_adjustment,
                            &c.shock_spring_rate_adjustment,
                            &c.shock_preload_adjustment,
                            &c.rider_yspring,
                            &c.rider_ydamping,
                            &c.rider_zspring,
                            &c.rider_zdamping,
                            &c.rider_mass_distribution,
                            &c.ground_detail,
                            &c.ground_texture_detail,
                            &c.roost_density,
                            &c.model_detail,
                            &c.model_texture_detail,
                            &c.fov,
                            &c.first_person_height,
                            &c.first_person_angle,
                            &c.volume})
        check_slider(s);
    for (const Choice& ch : c.slot) check_choice(ch);
    for (const Choice* ch :
         {&c.record, &c.skill, &c.bike, &c.rider_texture, &c.bike_texture, &c.video_mode,
          &c.stop_wheelies, &c.ground_texture_dim, &c.playback_mode})
        check_choice(*ch);
    check_text(c.name);
    check_text(c.number);
    check_text(c.server_name);
    for (const TextSetting& t : c.server_name_hist) check(strlen(t.text) < 127);
    for (int i = 0; i < CONFIG_BINDINGS; i++) {
        const KeyBinding* b = config_binding(i);
        check(!b->key_name || !b->axis_name);
        check(std::isfinite(b->low) && std::isfinite(b->high));
    }
}

static std::string slurp() {
    std::string out;
    FILE* f = fopen(g_file.c_str(), "rb");
    if (!f) return out;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0) out.append(buf, n);
    fclose(f);
    return out;
}

// Defaults, with the strings earlier inputs interned dropped (nothing holds them after the
// reset) so the pool neither grows nor slows down from one input to the next.
static void fresh_settings() {
    config_reset();
    for (int i = 0; i < g_options.string_count; i++) free(g_options.strings[i]);
    g_options.string_count = 0;
    config_defaults();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fresh_settings();
    config_set_options(&g_config.rider_texture, {RIDER[0], RIDER[1], RIDER[2]});
    config_set_bike_hook(bike_changed);
    bike_changed(); // the start-up builds the list for the default bike

    FILE* f = fopen(g_file.c_str(), "wb");
    if (!f) abort();
    if (size && fwrite(data, 1, size, f) != size) abort();
    fclose(f);
    config_read();
    check_settings();

    // Values set other than by reading (defaults, the stability preset) may carry more
    // precision than a float; once written and read they are floats and stay as written.
    config_write();
    config_read();
    check_settings();
    config_write();
    std::string second = slurp();
    config_read();
    config_write();
    check(slurp() == second);
    return 0;
}

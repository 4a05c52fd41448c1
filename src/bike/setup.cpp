// Bike setup: the defaults every bike starts with, the player's configuration mapped to
// physical values, and the menu's display of those values.
#include <cmath>
#include <cstdio>
#include <cstring>

#include "core/config.h"
#include "bike/bike.h"
#include "core/maths.h"

namespace {

constexpr float MPH_TO_FEET_PER_SECOND = 1.4666667f;

// A NaN (an unreadable or damaged setting) becomes the lower limit, so a bad configuration
// value can never reach a rigid body.
float setting_clamp(double v, float lo, float hi) {
    return (float)clamp_or_low(v, (double)lo, (double)hi);
}

bool choice_is(const Choice& c, const char* text) {
    return strcmp(c.text(), text) == 0;
}

// Where a range setting of the menus lands: s = clamp(v / 100, 0, 1) over [min, max].
float range_value(double v, float min, float max) {
    return min + setting_clamp(v * 0.01, 0, 1) * (max - min);
}

// Damping adjustments: half the base at 0, the base at 50, one and a half times at 100.
float damping_value(double v, float base) {
    return base * setting_clamp(v * 0.01 + 0.5, 0, 2);
}

float final_ratio(const BikeInfo& info, double front_adjust, double rear_adjust) {
    float front = (float)(info.front_sprocket + setting_clamp(front_adjust, -2, 2));
    float rear = (float)(info.rear_sprocket + setting_clamp(rear_adjust, -2, 2));
    return fmaxf(rear, 3.0f) / fmaxf(front, 3.0f);
}

} // namespace

void bike_setup_defaults(Bike* bike) {
    const BikeInfo& info = bike->info;
    BikeSetup& s = bike->setup;
    s.final_ratio = fmaxf(info.rear_sprocket, 3.0f) / fmaxf(info.front_sprocket, 3.0f);
    s.fork_compression = info.fork_compression_damping;
    s.fork_rebound = info.fork_rebound_damping;
    s.fork_spring = (info.fork_spring_min + info.fork_spring_max) * 0.5f;
    s.fork_preload = (info.fork_preload_min + info.fork_preload_max) * 0.5f;
    s.fork_oil = info.fork_oil_min;
    s.shock_compression = info.shock_compression_damping;
    s.shock_rebound = info.shock_rebound_damping;
    s.shock_spring = (info.shock_spring_min + info.shock_spring_max) * 0.5f;
    s.shock_preload = (info.shock_preload_min + info.shock_preload_max) * 0.5f;
    s.rider_vertical_spring = 0.5f;
    s.rider_vertical_damping = 0.5f;
    s.rider_forward_spring = 0.5f;
    s.rider_forward_damping = 0.5f;

    BikeAssists& a = bike->assists;
    a.leveling = 20;
    a.roll_damping = 60;
    a.roll_limit_angle = PI_F / 4;
    a.roll_limit_factor = 10;
    a.steering_damping = 45;
    a.steering_strength = 75;
    a.max_steering_force = 400;
    a.direct_steering = 1;
    a.slow_damping_speed = 0;
    a.slow_damping_factor = 1;
    a.land_damping_falloff = 0.25f;
    a.land_damping_factor = 2;
    a.max_dab_speed = 30;

    bike->front_brake_torque = 250;
    bike->rear_brake_torque = 250;
    bike->auto_clutch_rpm = 5000;
    bike->flags = BIKE_FRONT_ANTILOCK | BIKE_ENDO_CUT;
}

void bikes_set_arcade_blocked(int blocked) {
    g_bikes.arcade_blocked = blocked ? 1 : 0;
}

void bike_arcade_off(Bike* bike) {
    if (bike) bike->flags &= (uint8_t)~BIKE_ARCADE;
}

void bike_apply_setup(Bike* bike) {
    const Config& c = g_config;
    const BikeInfo& info = bike->info;

    BikeAssists& a = bike->assists;
    a.leveling = setting_clamp(c.leveling.value, 0, 200);
    a.roll_damping = setting_clamp(c.roll_damping.value, 0, 200);
    a.roll_limit_angle = setting_clamp(c.roll_limit_angle.value * (PI_F / 180), 0, PI_F);
    a.roll_limit_factor = setting_clamp(c.roll_limit_factor.value, 0, 64);
    a.steering_damping = setting_clamp(c.steering_damping.value, 0, 100);
    a.steering_strength = setting_clamp(c.steering_strength.value, 0, 200);
    a.max_steering_force = setting_clamp(c.max_steering_force.value, 0, 1000);
    a.direct_steering = setting_clamp(c.direct_steering.value, 0, 1);
    a.slow_damping_speed = setting_clamp(c.slow_damping_speed.value, 0, 100);
    a.slow_damping_factor = setting_clamp(c.slow_damping_factor.value, 1, 10);
    a.land_damping_falloff = setting_clamp(c.land_damping_falloff.value, 0, 1);
    a.land_damping_factor = setting_clamp(c.land_damping_factor.value, 1, 3);
    a.max_dab_speed = setting_clamp(c.max_dab_speed.value * MPH_TO_FEET_PER_SECOND, 16, 30);

    uint8_t flags = 0;
    if (choice_is(c.arcade, "Yes") && !g_bikes.arcade_blocked) flags |= BIKE_ARCADE;
    if (choice_is(c.auto_dab, "Yes")) flags |= BIKE_AUTO_DAB;
    if (choice_is(c.front_brake, "Antilock")) flags |= BIKE_FRONT_ANTILOCK;
    if (choice_is(c.rear_brake, "Antilock")) flags |= BIKE_REAR_ANTILOCK;
    if (choice_is(c.auto_shift, "Yes")) flags |= BIKE_AUTO_SHIFT;
    if (choice_is(c.stop_wheelies, "Yes")) flags |= BIKE_WHEELIE_CUT | BIKE_ENDO_CUT;
    if (choice_is(c.stop_wheelies, "Front Only")) flags |= BIKE_ENDO_CUT;
    bike->flags = flags;

    bike->front_brake_torque = setting_clamp(c.brake_torque.value, 0, 500);
    bike->rear_brake_torque = setting_clamp(c.rear_brake_torque.value, 0, 500);
    bike->auto_clutch_rpm = setting_clamp(c.auto_clutch_rpms.value, 0, 5000);

    BikeSetup& s = bike->setup;
    s.final_ratio =
        final_ratio(info, c.front_sprocket_adjustment.value, c.rear_sprocket_adjustment.value);
    s.fork_compression =
        damping_value(c.fork_compression_adjustment.value, info.fork_compression_damping);
    s.fork_rebound = damping_value(c.fork_rebound_adjustment.value, info.fork_rebound_damping);
    s.shock_compression =
        damping_value(c.shock_compression_adjustment.value, info.shock_compression_damping);
    s.shock_rebound = damping_value(c.shock_rebound_adjustment.value, info.shock_rebound_damping);
    s.fork_spring = range_value(c.fork_spring_rate_adjustment.value, info.fork_spring_min,
                                info.fork_spring_max);
    s.fork_preload =
        range_value(c.fork_preload_adjustment.value, info.fork_preload_min, info.fork_preload_max);
    s.fork_oil =
        range_value(c.fork_oil_level_adjustment.value, info.fork_oil_min, info.fork_oil_max);
    s.shock_spring = range_value(c.shock_spring_rate_adjustment.value, info.shock_spring_min,
                                 info.shock_spring_max);
    s.shock_preload = range_value(c.shock_preload_adjustment.value, info.shock_preload_min,
                                  info.shock_preload_max);
    s.rider_vertical_spring = setting_clamp(c.rider_yspring.value * 0.01, 0, 1);
    s.rider_vertical_damping = setting_clamp(c.rider_ydamping.value * 0.01, 0, 1);
    s.rider_forward_spring = setting_clamp(c.rider_zspring.value * 0.01, 0, 1);
    s.rider_forward_damping = setting_clamp(c.rider_zdamping.value * 0.01, 0, 1);

    if (bike->bodies[BODY_FRAME])
        bike_set_rider_distribution(bike,
                                    setting_clamp(c.rider_mass_distribution.value, 0.33f, 0.5f));
}

int bike_setup_physical(const BikeInfo* info, const char* key, float v, float* value) {
    struct Range {
        const char* key;
        float BikeInfo::*min;
        float BikeInfo::*max;
    };
    static const Range RANGES[] = {
        {"fork_spring_rate_adjustment", &BikeInfo::fork_spring_min, &BikeInfo::fork_spring_max},
        {"fork_preload_adjustment", &BikeInfo::fork_preload_min, &BikeInfo::fork_preload_max},
        {"fork_oil_level_adjustment", &BikeInfo::fork_oil_min, &BikeInfo::fork_oil_max},
        {"shock_spring_rate_adjustment", &BikeInfo::shock_spring_min, &BikeInfo::shock_spring_max},
        {"shock_preload_adjustment", &BikeInfo::shock_preload_min, &BikeInfo::shock_preload_max},
    };
    for (const Range& r : RANGES) {
        if (strcmp(key, r.key) == 0) {
            *value = range_value(v, info->*r.min, info->*r.max);
            return 1;
        }
    }
    // The sprocket adjustments show the resulting tooth count, never fewer than 3 teeth.
    if (strcmp(key, "front_sprocket_adjustment") == 0) {
        *value = fmaxf(info->front_sprocket + setting_clamp(v, -2, 2), 3.0f);
        return 1;
    }
    if (strcmp(key, "rear_sprocket_adjustment") == 0) {
        *value = fmaxf(info->rear_sprocket + setting_clamp(v, -2, 2), 3.0f);
        return 1;
    }
    return 0;
}

int bike_setup_format(const BikeInfo* info, const char* key, float v, char* out, size_t n) {
    float value;
    if (n > 0) out[0] = 0;
    if (!bike_setup_physical(info, key, v, &value)) return 0;
    if (strstr(key, "sprocket"))
        bike_format_teeth(value, out, n);
    else if (strcmp(key, "fork_spring_rate_adjustment") == 0)
        bike_format_fork_spring(value, out, n);
    else if (strcmp(key, "shock_spring_rate_adjustment") == 0)
        bike_format_shock_spring(value, out, n);
    else
        bike_format_length_mm(value, out, n);
    return 1;
}

// The fork's rate is shared by its two springs; one spring is shown. Pound-force per foot
// to kilograms per millimetre.
void bike_format_fork_spring(float rate, char* out, size_t n) {
    snprintf(out, n, "%.3f kg/mm", rate * 0.0007440819724);
}

void bike_format_shock_spring(float rate, char* out, size_t n) {
    snprintf(out, n, "%.3f kg/mm", rate * 0.0014881639448);
}

void bike_format_length_mm(float feet, char* out, size_t n) {
    snprintf(out, n, "%.2f mm", feet * 304.8);
}

void bike_format_teeth(float teeth, char* out, size_t n) {
    snprintf(out, n, "%.2f teeth", teeth);
}

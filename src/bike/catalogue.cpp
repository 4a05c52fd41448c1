// The compiled-in bike catalogue: 18 records built at compile time from the values every
// model shares and the few that differ (masses, gearing, torque curve, files).
#include <cstring>

#include "bike/bike.h"
#include "platform/log.h"

namespace {

// Gear ratios are tooth-count quotients kept in single precision.
constexpr float teeth(int driven, int driving) {
    return (float)driven / (float)driving;
}

// Entries 5 to 28 of the full-throttle torque curve differ per record.
constexpr int OPEN_TORQUE_OWN = 24;

// The files of a model stem. Shapes, wheels, rider and plate are the same for every bike.
// clang-format off
#define BIKE_FILES(stem, texture)                                                         \
    BikeFiles{                                                                            \
        {"@" stem "_frame.jm", "@" stem "_fork_upper.jm", "@" stem "_fork_lower.jm",      \
         "@" stem "_swingarm.jm", "@" stem "_side_plates.jm", "@" stem "_front_plate.jm", \
         "@front_wheel.jm", "@rear_wheel.jm", "@rider_head.jm", "@rider_body.jm",         \
         "@rider_body_fp.jm", "@rider_plate.jm"},                                         \
        {"@generic_frame.shp", "@front_wheel.shp", "@rear_wheel.shp",                     \
         "@generic_fork_upper.shp", "@generic_fork_lower.shp", "@generic_swingarm.shp",   \
         "@generic_rider.shp"},                                                           \
        {texture, "@wheels.png", "@rider_body.png", "@rider_head.png"}}
// clang-format on

struct Gearing {
    float primary;
    float front_sprocket, rear_sprocket;
    float gear[BIKE_GEARS];
};

constexpr void set3(float* out, float x, float y, float z) {
    out[0] = x;
    out[1] = y;
    out[2] = z;
}

// One record: the shared values, then what the model itself gives.
constexpr BikeInfo make_info(const char* name, bool two_stroke, const Gearing& g,
                             const float (&open_own)[OPEN_TORQUE_OWN], const BikeFiles& files) {
    BikeInfo b{};
    b.name = name;
    b.front_wheel = {{0.0f, 1.09f, 1.11f}, 0.833333f, 0.333333f, 0.40625f, 0.5f, 0.15625f};
    b.rear_wheel = {{0.0f, 1.04f, 6.0f}, 0.75f, 0.333333f, 0.46875f, 0.5f, 0.3125f};
    set3(b.frame_position, 0.0f, 1.98f, 3.6f);
    b.frame_mass = two_stroke ? 3.65375f : 4.24f;
    set3(b.frame_size, 0.833333f, 1.666667f, 1.666667f);
    set3(b.steering_position, 0.0f, 2.9f, 2.16f);
    set3(b.swingarm_position, 0.0f, 1.34f, 4.99f);
    set3(b.swingarm_pivot, 0.0f, 1.58f, 4.17f);
    set3(b.fork_lower_position, 0.0f, 1.77f, 1.59f);
    b.fork_leg_spacing = 0.833333f;
    b.fork_length = 3.0f;
    b.fork_mass = two_stroke ? 0.7396875f : 0.703125f;
    b.fork_spring_min = 510.6964f;
    b.fork_spring_max = 698.8477f;
    b.fork_preload_min = 0.0f;
    b.fork_preload_max = 0.083333f;
    b.fork_oil_min = 0.416667f;
    b.fork_oil_max = 0.25f;
    b.fork_compression_damping = 60.0f;
    b.fork_rebound_damping = 30.0f;
    b.fork_travel = 1.0f;
    b.swingarm_mass = two_stroke ? 0.541875f : 0.504375f;
    b.shock_spring_min = 2217.4976f;
    b.shock_spring_max = 4031.814f;
    b.shock_preload_min = 0.0f;
    b.shock_preload_max = 0.0275f;
    b.shock_compression_damping = 800.0f;
    b.shock_rebound_damping = 600.0f;
    b.swingarm_travel = 0.55f;
    b.shock_ratio_top = 0.615385f;
    b.shock_ratio_bottom = 0.615385f;
    b.primary_ratio = g.primary;
    b.front_sprocket = g.front_sprocket;
    b.rear_sprocket = g.rear_sprocket;
    for (int i = 0; i < BIKE_GEARS; i++) b.gear_ratio[i] = g.gear[i];
    b.engine_inertia = 0.0048828125f;

    // Closed throttle: 2, 1, 0, 0, then one less every second entry (-floor((i - 2) / 2));
    // the 125s brake more gently between 2000 and 11000 rpm.
    for (int i = 0; i < BIKE_TORQUE_ENTRIES; i++)
        b.closed_torque[i] = i < 2 ? (float)(2 - i) : -(float)((i - 2) / 2);
    if (two_stroke) {
        constexpr float low[22] = {2,     1,  0,      0,     -1,     -1.2f, -1.4f,  -1.6f,
                                   -1.8f, -2, -2.25f, -2.5f, -2.75f, -3,    -3.33f, -3.67f,
                                   -4,    -5, -6,     -7,    -8,     -9};
        for (int i = 0; i < 22; i++) b.closed_torque[i] = low[i];
    }
    // Full throttle: 5 up to 2000 rpm, the model's own curve to 14000 rpm, then a common
    // falling tail (-1, -2, -2, ... -11, -11).
    for (int i = 0; i < 5; i++) b.open_torque[i] = 5.0f;
    for (int i = 0; i < OPEN_TORQUE_OWN; i++) b.open_torque[5 + i] = open_own[i];
    for (int i = 29; i < BIKE_TORQUE_ENTRIES; i++) b.open_torque[i] = -(float)((i - 28) / 2 + 1);
    b.shift_down_rpm = two_stroke ? 9400.0f : 8000.0f;
    b.shift_up_rpm = two_stroke ? 12000.0f : 12500.0f;
    b.two_stroke = two_stroke ? 1 : 0;
    set3(b.rider_position, 0.0f, 4.5f, 4.12f);
    b.rider_mass = 4.6875f;
    b.files = files;

    RiderSkeleton& s = b.skeleton;
    set3(s.neck, 0.0f, 0.808383f, -0.943369f);
    for (int side = 0; side < 2; side++) {
        float sign = side == 0 ? -1.0f : 1.0f; // left is toward -x
        set3(s.shoulder[side], sign * 0.556f, 0.580375f, -0.654514f);
        set3(s.hip[side], sign * 0.269f, -0.570887f, 0.670607f);
        set3(s.grip[side], sign * 1.097f, 1.145f, 0.753f);
        set3(s.peg[side], sign * 0.6f, -0.557f, 0.584f);
    }
    s.arm[0] = 0.9f;
    s.arm[1] = 1.15f;
    s.leg[0] = 1.328f;
    s.leg[1] = 1.701f;
    return b;
}

// Gearing per model family.
constexpr Gearing CRF250 = {
    teeth(57, 18),
    13,
    51,
    {teeth(30, 14), teeth(28, 16), teeth(29, 20), teeth(27, 22), teeth(25, 24), -1}};
constexpr Gearing KX250F = {
    teeth(67, 20),
    13,
    48,
    {teeth(30, 14), teeth(25, 14), teeth(26, 18), teeth(24, 20), teeth(20, 19), -1}};
constexpr Gearing RMZ250 = {
    teeth(61, 19),
    13,
    48,
    {teeth(28, 13), teeth(30, 17), teeth(25, 17), teeth(26, 21), teeth(24, 22), -1}};
constexpr Gearing YZ250F = {
    teeth(57, 17),
    13,
    48,
    {teeth(30, 14), teeth(28, 16), teeth(29, 20), teeth(27, 22), teeth(25, 24), -1}};
constexpr Gearing CR125 = {
    teeth(63, 20),
    13,
    52,
    {teeth(33, 14), teeth(28, 15), teeth(30, 19), teeth(22, 17), teeth(17, 15), -1}};
constexpr Gearing KX125 = {
    teeth(64, 20),
    13,
    51,
    {teeth(31, 13), teeth(26, 14), teeth(26, 17), teeth(22, 17), teeth(18, 16), teeth(22, 22)}};
constexpr Gearing RM125 = {
    teeth(64, 19),
    12,
    50,
    {teeth(29, 14), teeth(27, 16), teeth(26, 18), teeth(24, 20), teeth(20, 19), teeth(19, 20)}};
constexpr Gearing YZ125 = {
    teeth(64, 19),
    13,
    48,
    {teeth(31, 13), teeth(29, 15), teeth(27, 17), teeth(23, 17), teeth(24, 20), teeth(23, 21)}};
constexpr Gearing SX125 = {
    teeth(70, 23),
    13,
    50,
    {teeth(32, 13), teeth(26, 13), teeth(28, 17), teeth(21, 15), teeth(23, 19), teeth(24, 22)}};

// Full-throttle torque, entries 5..28 (2500 to 14000 rpm), per record.
constexpr float OPEN[BIKE_INFO_COUNT][OPEN_TORQUE_OWN] = {
    {6.4f,   7.9f,   9.4f,   10.8f,  12.3f,  13.8f,  15.3f,  16.3f,  17.76f, 19.1f,  19.9f,  20.27f,
     20.39f, 20.23f, 19.99f, 19.21f, 18.69f, 18.23f, 17.21f, 16.61f, 15.92f, 15.21f, 13.97f, 0},
    {6.5f,   8.1f,   9.7f,   11.3f,  12.9f,  14.54f, 13.72f, 16.03f, 17.62f, 18.9f,  19.62f, 19.79f,
     19.55f, 19.28f, 18.89f, 18.52f, 18.04f, 17.24f, 16.68f, 16.16f, 15.49f, 14.61f, 13.58f, 0},
    {6.4f,   7.9f,  9.3f,   10.8f,  12.2f,  13.75f, 13.68f, 16.18f, 17.42f, 18.45f, 19.49f, 20.15f,
     20.24f, 19.8f, 19.18f, 18.55f, 17.97f, 17.42f, 16.85f, 15.97f, 15.27f, 14.45f, 13.23f, 0},
    {6.4f,   7.9f,   9.4f,   10.8f, 12.3f,  13.83f, 15.13f, 16.52f, 18.15f, 19.3f,  19.83f, 20,
     20.07f, 19.92f, 19.61f, 19.2f, 18.72f, 18.06f, 17.17f, 16.99f, 16.31f, 15.48f, 14.44f, 0},
    {6.2f,  7.5f, 8.7f,  10,    11.2f, 12.5f, 14.3f, 14.2f, 15.2f, 16.4f, 17.9f, 18.5f,
     18.8f, 19,   19.1f, 18.3f, 17.9f, 17.4f, 16.7f, 15.6f, 14.8f, 13.9f, 0,     -1},
    {6.3f, 7.7f,  9.1f,  10.4f, 11.8f, 13.2f, 13.8f, 14.8f, 16.1f, 17.4f, 18.5f, 18.8f,
     19,   18.8f, 18.7f, 18.3f, 17.9f, 17,    16.3f, 15.1f, 14.3f, 13.2f, 0,     -1},
    {6.3f,  7.7f,  9,     10.4f, 11.7f, 13.1f, 14.8f, 15.2f, 16.3f, 17.2f, 18.4f, 19,
     19.3f, 18.9f, 18.4f, 17.9f, 17.4f, 16.6f, 16.2f, 15.5f, 14.7f, 14,    0,     -1},
    {6.1f, 7.3f,  8.5f,  9.6f,  10.8f, 12,    12.7f, 13.7f, 15.4f, 17.5f, 18.6f, 18.9f,
     19,   18.9f, 18.3f, 18.1f, 17.7f, 16.8f, 15.8f, 14.9f, 14,    13,    0,     -1},
    {5.7f,     6.4f,     7.2f,    7.9f,     8.6f,     9.4538f,  10.2177f, 10.3292f,
     10.6658f, 11.4046f, 12.465f, 13.2616f, 14.1498f, 14.7643f, 15.8116f, 15.9664f,
     15.9064f, 15.7563f, 15.117f, 12.7364f, 2.10085f, 0,        0,        -1},
    {5.8f,     6.7f,     7.6f,     8.4f,     9.3f,     10.1891f, 10.0268f, 10.1541f,
     11.3122f, 12.0048f, 12.325f,  13.0646f, 14.6441f, 15.8731f, 16.8068f, 16.5967f,
     16.4566f, 16.1861f, 14.2492f, 10.2416f, 5.50421f, 0,        0,        -1},
    {5.6f,     6.3f,     7,        7.6f,     8.3f,     9.03364f, 10.1223f, 9.80394f,
     9.69621f, 11.2545f, 11.9048f, 12.1455f, 13.2848f, 14.5308f, 15.2035f, 16.229f,
     16.5066f, 16.4725f, 16.4414f, 15.3187f, 12.6051f, 10.5042f, 4.2795f,  -1},
    {6,        7.1f,     8.2f,     9.3f,     10.4f,    11.5546f, 10.7907f, 10.5042f,
     12.1203f, 13.1303f, 13.6555f, 13.7868f, 14.2734f, 14.881f,  15.3693f, 15.8614f,
     15.7063f, 15.6608f, 15.1626f, 13.6555f, 5.04203f, 0,        0,        -1},
    {5.3f,    5.7f,     6.1f,     6.5f,     6.9f,     7.3f,     7.7f,     8.14077f,
     10.585f, 11.6297f, 13.0953f, 14.1151f, 15.0149f, 15.4646f, 16.3092f, 17.0168f,
     17.407f, 16.8545f, 15.6193f, 13.2616f, 10.5042f, 0,        0,        -1},
    {6.3f, 7.7f, 9.1f,  10.5f, 11.8f, 13.2f, 14.6f, 16,    16.8f, 17.6f, 18.6f, 19,
     19,   19,   18.5f, 18,    17.5f, 16.9f, 16.1f, 15.4f, 14.7f, 13.6f, 0,     -1},
    {6.2f,  7.5f,  8.8f,  10.1f, 11.3f, 12.6f, 13.9f, 15.2f, 16.8f, 18.4f, 19.3f, 19.6f,
     19.5f, 19.4f, 19.2f, 18.6f, 17.7f, 17.1f, 16.1f, 15.2f, 14.1f, 13.4f, 0,     -1},
    {6.5f,  8,     9.5f,  11,    12.5f, 14, 15.6f, 16.2f, 17.3f, 18, 19, 19.9f,
     19.9f, 19.5f, 18.7f, 18.2f, 17.5f, 17, 16.3f, 15.6f, 14.7f, 14, 0,  -1},
    {6,     7,     8,     9,     10,    11,    12,    13,    15,    17.4f, 18.2f, 18.3f,
     18.3f, 17.7f, 17.6f, 17.2f, 16.7f, 16.1f, 15.3f, 14.5f, 13.4f, 12.7f, 0,     -1},
    {6,     7,     8,     9,     10,    11,    12,    13,    15,    17.4f, 18.2f, 18.3f,
     18.3f, 17.7f, 17.6f, 17.2f, 16.7f, 16.1f, 15.3f, 14.5f, 13.4f, 12.7f, 0,     -1},
};

// Searched in this order.
constexpr BikeInfo CATALOGUE[BIKE_INFO_COUNT] = {
    make_info("crf250(2009)", false, CRF250, OPEN[0], BIKE_FILES("crf250", "@crf250.png")),
    make_info("kx250f(2009)", false, KX250F, OPEN[1], BIKE_FILES("kx250f", "@kx250f.png")),
    make_info("rmz250(2009)", false, RMZ250, OPEN[2], BIKE_FILES("rmz250", "@rmz250.png")),
    make_info("yz250f(2009)", false, YZ250F, OPEN[3], BIKE_FILES("yz250f", "@yz250f.png")),
    make_info("crf250(2008)", false, CRF250, OPEN[4], BIKE_FILES("crf250", "@crf250.png")),
    make_info("kx250f(2008)", false, KX250F, OPEN[5], BIKE_FILES("kx250f", "@kx250f.png")),
    make_info("rmz250(2008)", false, RMZ250, OPEN[6], BIKE_FILES("rmz250", "@rmz250.png")),
    make_info("yz250f(2008)", false, YZ250F, OPEN[7], BIKE_FILES("yz250f", "@yz250f.png")),
    make_info("cr125", true, CR125, OPEN[8], BIKE_FILES("cr125", "@cr125.png")),
    make_info("kx125", true, KX125, OPEN[9], BIKE_FILES("kx125", "@kx125.png")),
    make_info("rm125", true, RM125, OPEN[10], BIKE_FILES("rm125", "@rm125.png")),
    make_info("yz125", true, YZ125, OPEN[11], BIKE_FILES("yz125", "@yz125.png")),
    make_info("125sx", true, SX125, OPEN[12], BIKE_FILES("125sx", "@125sx.png")),
    make_info("crf250(2007)", false, CRF250, OPEN[13], BIKE_FILES("crf250", "@crf250.png")),
    make_info("kx250f(2007)", false, KX250F, OPEN[14], BIKE_FILES("kx250f", "@kx250f.png")),
    make_info("rmz250(2007)", false, RMZ250, OPEN[15], BIKE_FILES("rmz250", "@rmz250.png")),
    make_info("yz250f(2007)", false, YZ250F, OPEN[16], BIKE_FILES("yz250f", "@yz250f.png")),
    make_info("yz250f_se(2006)", false, YZ250F, OPEN[17], BIKE_FILES("yz250f", "@yz250f_se.png")),
};

} // namespace

const BikeInfo* bike_info_at(int i) {
    return i >= 0 && i < BIKE_INFO_COUNT ? &CATALOGUE[i] : nullptr;
}

const BikeInfo* bike_info_find(const char* name) {
    if (!name) name = "";
    for (const BikeInfo& b : CATALOGUE)
        if (strcmp(b.name, name) == 0) return &b;
    const char* pattern = strstr(name, "125") ? "125" : "250f";
    const BikeInfo* chosen = &CATALOGUE[0];
    for (const BikeInfo& b : CATALOGUE) {
        if (strstr(b.name, pattern)) {
            chosen = &b;
            break;
        }
    }
    log_printf("bike info for '%.20s' not found using '%.20s' instead\n", name, chosen->name);
    return chosen;
}

const char* bike_name_alias(const char* name) {
    static const char* const OLD[][2] = {{"crf250", "crf250(2008)"},
                                         {"kx250f", "kx250f(2008)"},
                                         {"rmz250", "rmz250(2008)"},
                                         {"yz250f", "yz250f(2008)"}};
    if (!name) return name;
    for (const auto& pair : OLD)
        if (strcmp(name, pair[0]) == 0) return pair[1];
    return name;
}

std::string bike_texture_prefix(const BikeInfo* info) {
    std::string name = info->files.texture[BIKE_TEX_BIKE];
    size_t slash = name.find_last_of('/');
    std::string file = name.substr(slash == std::string::npos ? 0 : slash + 1);
    if (!file.empty() && file[0] == '@') file.erase(0, 1);
    size_t dot = file.find_last_of('.');
    if (dot != std::string::npos) file.erase(dot);
    return file + "-";
}

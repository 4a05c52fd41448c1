// The settings: one record per setting (also the menus' items), their defaults, ranges and
// option texts, in the fixed order of the "config" file. The file itself is read and written
// by the application (app/config_file.cpp) through config_items().

#include "core/config.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "core/maths.h"

Config g_config;
ConfigState g_config_state;

namespace {

constexpr const char* NO_YES[] = {"No", "Yes"};
constexpr const char* SKILLS[] = {"Novice", "Amateur", "Expert"};
constexpr const char* SLOT_KINDS[] = {"Empty", "Human", "Robot", "Robot (2 stroke)",
                                      "Robot (4 stroke)"};
constexpr const char* BIKES[] = {
    "crf250(2009)", "kx250f(2009)", "rmz250(2009)",    "yz250f(2009)", "crf250(2008)",
    "kx250f(2008)", "rmz250(2008)", "yz250f(2008)",    "crf250(2007)", "kx250f(2007)",
    "rmz250(2007)", "yz250f(2007)", "yz250f_se(2006)", "cr125",        "kx125",
    "rm125",        "yz125"};
constexpr const char* BRAKES[] = {"Normal", "Antilock"};
constexpr const char* WHEELIES[] = {"No", "Yes", "Front Only"};
constexpr const char* TEXTURE_DIMS[] = {"32x32",   "64x64",   "128x128",
                                        "256x256", "512x512", "1024x1024"};
constexpr const char* PLAYBACK_MODES[] = {"Playback Only", "Race Against"};

constexpr ConfigItem item_int(const char* key, int* p, int def) {
    return {key, CFG_INT, p, 1, nullptr, (double)def, 0, 0, 0, nullptr, 0, nullptr, 0};
}
template <int N>
constexpr ConfigItem item_choice(const char* key, Choice* p, const char* label,
                                 const char* const (&options)[N], int def, int count = 1) {
    return {key, CFG_CHOICE, p, count, label, (double)def, 0, 0, 0, options, N, nullptr, 0};
}
// A choice whose options come from the data (texture variants) or the display (video modes).
constexpr ConfigItem item_external(const char* key, Choice* p, const char* label) {
    return {key, CFG_CHOICE, p, 1, label, 0, 0, 0, 0, nullptr, 0, nullptr, 0};
}
constexpr ConfigItem item_slider(const char* key, Slider* p, const char* label, double def,
                                 double min, double max, double step) {
    return {key, CFG_SLIDER, p, 1, label, def, min, max, step, nullptr, 0, nullptr, 0};
}
constexpr ConfigItem item_text(const char* key, TextSetting* p, const char* label, const char* def,
                               int max_len, int count = 1) {
    return {key, CFG_TEXT, p, count, label, 0, 0, 0, 0, nullptr, 0, def, max_len};
}
constexpr ConfigItem item_binding(const char* key, KeyBinding* p, const char* label,
                                  const char* def) {
    return {key, CFG_BINDING, p, 1, label, 0, 0, 0, 0, nullptr, 0, def, 0};
}

constexpr Config& C = g_config;

// Every setting in file order.
constexpr ConfigItem CONFIG_ITEMS[] = {
    item_int("xres", &C.xres, 640),
    item_int("yres", &C.yres, 480),
    item_int("draw_fps", &C.draw_fps, 0),
    item_int("draw_time", &C.draw_time, 0),
    item_int("draw_ping", &C.draw_ping, 1),
    item_int("spy", &C.spy, 0),
    item_choice("record", &C.record, "Record Demo", NO_YES, NO),
    item_choice("skill", &C.skill, "Robot Skill", SKILLS, 0),
    item_slider("minutes", &C.minutes, "Minutes", 0, 0, 60, 1),
    item_slider("laps", &C.laps, "Laps", 5, 0, 50, 1),
    item_choice("slot%02d", &C.slot[0], nullptr, SLOT_KINDS, SLOT_EMPTY, CONFIG_SLOTS),
    item_slider("ghost_fade_distance", &C.ghost_fade_distance, "Ghost Fade Distance", 10, 0, 40, 1),
    item_choice("time_trial_abort", &C.time_trial_abort, "Backing Up Aborts Attempt", NO_YES, YES),
    item_choice("bike", &C.bike, "Bike", BIKES, 0),
    item_text("name", &C.name, "Name", "Joe Motocross", 63),
    item_text("number", &C.number, "Number", "999", 3),
    item_external("rider_texture", &C.rider_texture, "Riding Gear"),
    item_external("head_texture", &C.head_texture, "Helmet"),
    item_external("bike_texture", &C.bike_texture, "Bike Graphics"),
    item_external("wheel_texture", &C.wheel_texture, "Wheel Graphics"),
    item_slider("stability", &C.stability, "Stability", 100, 0, 100, 1),
    item_slider("leveling", &C.leveling, "Leveling", 20, 0, 100, 1),
    item_slider("roll_damping", &C.roll_damping, "Roll Damping", 60, 0, 100, 1),
    item_slider("roll_limit_angle", &C.roll_limit_angle, "Roll Limit Angle", 45, 0, 180, 1),
    item_slider("roll_limit_factor", &C.roll_limit_factor, "Roll Limit Factor", 10, 0, 64, 1),
    item_slider("steering_damping", &C.steering_damping, "Steering Damping", 45, 0, 100, 1),
    item_slider("steering_strength", &C.steering_strength, "Steering Strength", 75, 0, 100, 1),
    item_slider("max_steering_force", &C.max_steering_force, "Max Steering Force", 400, 0, 1000, 5),
    item_slider("direct_steering", &C.direct_steering, "Direct Steering", 1, 0, 1, 0.125),
    item_slider("slow_damping_speed", &C.slow_damping_speed, "Slow Damping Speed", 40, 0, 100, 1),
    item_slider("slow_damping_factor", &C.slow_damping_factor, "Slow Damping Factor", 2, 1, 10,
                0.25),
    item_slider("land_damping_falloff", &C.land_damping_falloff, "Landing Damping Falloff", 0.25, 0,
                0.5, 0.0625),
    item_slider("land_damping_factor", &C.land_damping_factor, "Landing Damping Factor", 2, 1, 3,
                0.25),
    item_choice("arcade", &C.arcade, "Arcade Physics", NO_YES, YES),
    item_choice("front_brake", &C.front_brake, "Front Brake", BRAKES, 1),
    item_choice("rear_brake", &C.rear_brake, "Rear Brake", BRAKES, 0),
    item_choice("stop_wheelies", &C.stop_wheelies, "Stop Wheelies", WHEELIES, 0),
    item_choice("auto_shift", &C.auto_shift, "Automatic Shifting", NO_YES, YES),
    item_choice("auto_dab", &C.auto_dab, "Dab When Stopped", NO_YES, YES),
    item_choice("sticky_dab", &C.sticky_dab, "Sticky Sit/Dab", NO_YES, NO),
    item_choice("reverse_steering", &C.reverse_steering, "Reversed Steering", NO_YES, YES),
    item_choice("lean_indicator", &C.lean_indicator, "Lean Indicator", NO_YES, YES),
    item_slider("auto_clutch_rpms", &C.auto_clutch_rpms, "Auto Clutch RPMs", 5000, 0, 5000, 100),
    item_slider("brake_torque", &C.brake_torque, "Braking Torque (Front)", 250, 0, 500, 10),
    item_slider("rear_brake_torque", &C.rear_brake_torque, "Braking Torque (Rear)", 250, 0, 500,
                10),
    item_slider("max_dab_speed", &C.max_dab_speed, "Max Dab Speed (MPH)", 20, 10, 20, 1),
    item_slider("front_sprocket_adjustment", &C.front_sprocket_adjustment, "Countershaft Sprocket",
                0, -2, 2, 1),
    item_slider("rear_sprocket_adjustment", &C.rear_sprocket_adjustment, "Rear Sprocket", 0, -2, 2,
                1),
    item_slider("fork_compression_adjustment", &C.fork_compression_adjustment,
                "Fork Compression Damping", 50, 0, 100, 1),
    item_slider("fork_rebound_adjustment", &C.fork_rebound_adjustment, "Fork Rebound Damping", 50,
                0, 100, 1),
    item_slider("fork_spring_rate_adjustment", &C.fork_spring_rate_adjustment, "Fork Spring Rate",
                50, 0, 100, 1),
    item_slider("fork_preload_adjustment", &C.fork_preload_adjustment, "Fork Preload", 50, 0, 100,
                1),
    item_slider("fork_oil_level_adjustment", &C.fork_oil_level_adjustment, "Fork Oil Level", 50, 0,
                100, 1),
    item_slider("shock_compression_adjustment", &C.shock_compression_adjustment,
                "Shock Compression Damping", 50, 0, 100, 1),
    item_slider("shock_rebound_adjustment", &C.shock_rebound_adjustment, "Shock Rebound Damping",
                50, 0, 100, 1),
    item_slider("shock_spring_rate_adjustment", &C.shock_spring_rate_adjustment,
                "Shock Spring Rate", 50, 0, 100, 1),
    item_slider("shock_preload_adjustment", &C.shock_preload_adjustment, "Shock Preload", 50, 0,
                100, 1),
    item_slider("rider_yspring", &C.rider_yspring, "Rider Vertical Spring", 50, 0, 100, 1),
    item_slider("rider_ydamping", &C.rider_ydamping, "Rider Vertical Damping", 50, 0, 100, 1),
    item_slider("rider_zspring", &C.rider_zspring, "Rider Forward Spring", 50, 0, 100, 1),
    item_slider("rider_zdamping", &C.rider_zdamping, "Rider Forward Damping", 50, 0, 100, 1),
    item_slider("rider_mass_distribution", &C.rider_mass_distribution, "Rider Mass Distribution",
                0.33, 0.33, 0.5, 0.01),
    item_external("video_mode", &C.video_mode, "Video Mode"),
    item_text("server_name", &C.server_name, "Server", CONFIG_DEFAULT_SERVER, 127),
    item_text("server_name_hist%02d", &C.server_name_hist[0], "", "", 127, CONFIG_SERVER_HISTORY),
    item_slider("ground_detail", &C.ground_detail, "Ground Geometric Detail", 50, 0, 100, 1),
    item_slider("ground_texture_detail", &C.ground_texture_detail, "Ground Texture Levels", 9, 0,
                10, 1),
    item_choice("ground_texture_dim", &C.ground_texture_dim, "Ground Texture Resolution",
                TEXTURE_DIMS, 2),
    item_choice("ground_mipmaps", &C.ground_mipmaps, "Enable Ground Mipmaps", NO_YES, NO),
    item_choice("use_fbo", &C.use_fbo, "Use Framebuffer Objects", NO_YES, NO),
    item_choice("use_shader", &C.use_shader, "Use Shader Programs", NO_YES, NO),
    item_slider("roost_density", &C.roost_density, "Roost Density", 250, 0, 1000, 10),
    item_choice("lens_flare", &C.lens_flare, "Enable Lens Flares", NO_YES, YES),
    item_choice("hide_rider", &C.hide_rider, "Hide 1st Person Rider", NO_YES, NO),
    item_choice("rigid_camera", &C.rigid_camera, "Rigid 3rd person camera", NO_YES, NO),
    item_slider("model_detail", &C.model_detail, "Model Geometric Detail", 50, 0, 100, 1),
    item_slider("model_texture_detail", &C.model_texture_detail, "Model Texture Detail", 9, 0, 10,
                1),
    item_slider("fov", &C.fov, "Field Of View", 110, 10, 170, 1),
    item_slider("first_person_height", &C.first_person_height, "1st Person Height", 0, 0, 1,
                0.03125),
    item_slider("first_person_angle", &C.first_person_angle, "1st Person Angle", 0, 0, 40, 1),
    item_slider("volume", &C.volume, "Volume", 10, 0, 10, 1),
    item_choice("playback_mode", &C.playback_mode, "Playback Mode", PLAYBACK_MODES, 0),
    item_int("billboard_optimize_lookahead", &C.billboard_optimize_lookahead, 8),
    item_choice("blob_shadows", &C.blob_shadows, "Blob Shadows", NO_YES, YES),
    item_choice("impact_sounds", &C.impact_sounds, "Impact Sounds", NO_YES, YES),
    item_binding("throttle_key", &C.throttle_key, "Throttle", "x"),
    item_binding("front_brake_key", &C.front_brake_key, "Front Brake", "c"),
    item_binding("rear_brake_key", &C.rear_brake_key, "Rear Brake", "v"),
    item_binding("left_key", &C.left_key, "Left", "left"),
    item_binding("right_key", &C.right_key, "Right", "right"),
    item_binding("clutch_key", &C.clutch_key, "Clutch", "z"),
    item_binding("upshift_key", &C.upshift_key, "Upshift", "up"),
    item_binding("downshift_key", &C.downshift_key, "Downshift", "down"),
    item_binding("dab_key", &C.dab_key, "Sit/Dab", "right ctrl"),
    item_binding("back_up_key", &C.back_up_key, "Back up", "b"),
    item_binding("lean_forward_key", &C.lean_forward_key, "Lean Forward", "n"),
    item_binding("lean_backward_key", &C.lean_backward_key, "Lean Backward", "m"),
    item_binding("pause_key", &C.pause_key, "Pause", "pause"),
    item_binding("step_key", &C.step_key, "Step", "."),
    item_binding("rewind_key", &C.rewind_key, "Rewind", "\\"),
    item_binding("skip_key", &C.skip_key, "Skip", "/"),
    item_binding("prev_key", &C.prev_key, "Previous Bike", "["),
    item_binding("next_key", &C.next_key, "Next Bike", "]"),
    item_binding("console_key", &C.console_key, "Chat", "t"),
    item_binding("screenshot_key", &C.screenshot_key, "Screenshot", "s"),
};
constexpr int CONFIG_ITEM_COUNT = (int)(sizeof CONFIG_ITEMS / sizeof CONFIG_ITEMS[0]);
constexpr int CONFIG_FIRST_BINDING = CONFIG_ITEM_COUNT - CONFIG_BINDINGS;

// The stability preset rows at the levels 0, 20, 40, 60, 80 and 100.
struct StabilityRow {
    Slider* setting;
    double level[6];
};
const StabilityRow STABILITY_ROWS[] = {
    {&C.leveling, {20, 20, 20, 20, 20, 20}},
    {&C.roll_damping, {40, 50, 60, 70, 75, 80}},
    {&C.roll_limit_angle, {90, 45, 45, 40, 35, 35}},
    {&C.roll_limit_factor, {0, 5, 10, 32, 32, 32}},
    {&C.steering_damping, {45, 45, 45, 45, 45, 45}},
    {&C.steering_strength, {75, 75, 75, 75, 75, 75}},
    {&C.direct_steering, {1, 1, 1, 1, 1, 0}},
    {&C.max_steering_force, {400, 400, 400, 400, 400, 400}},
    {&C.slow_damping_speed, {40, 40, 40, 40, 40, 40}},
    {&C.slow_damping_factor, {1, 1, 1.5, 2, 2, 2}},
    {&C.land_damping_falloff, {0, 0.125, 0.25, 0.25, 0.25, 0.25}},
    {&C.land_damping_factor, {1, 1.5, 2, 2, 2, 2}},
};

void item_default(const ConfigItem& item, int n) {
    switch (item.kind) {
    case CFG_INT:
        *config_record<int>(item, n) = (int)item.def;
        break;
    case CFG_CHOICE: {
        Choice* c = config_record<Choice>(item, n);
        c->label = item.label ? item.label : g_config_state.slot_labels[n];
        if (item.options) c->options.assign(item.options, item.options + item.option_count);
        // Lists from the data keep what they were given; the video modes always begin with
        // the two fixed entries.
        if (c == &C.video_mode && c->options.empty())
            c->options = {"Default Fullscreen", "Windowed"};
        c->current = (int)item.def;
        break;
    }
    case CFG_SLIDER: {
        Slider* s = config_record<Slider>(item, n);
        *s = {item.label, item.def, item.step, item.min, item.max};
        break;
    }
    case CFG_TEXT: {
        TextSetting* t = config_record<TextSetting>(item, n);
        t->label = item.label;
        t->max_len = item.max_len;
        config_text_set(t, item.text);
        break;
    }
    case CFG_BINDING: {
        KeyBinding* b = config_record<KeyBinding>(item, n);
        *b = {item.label, item.text, 0, nullptr, nullptr, 0.0f, 1.0f};
        break;
    }
    }
}

} // namespace

const ConfigItem* config_items(int* count) {
    *count = CONFIG_ITEM_COUNT;
    return CONFIG_ITEMS;
}

void config_text_set(TextSetting* t, const char* value) {
    size_t n = strnlen(value, (size_t)t->max_len);
    memcpy(t->text, value, n);
    t->text[n] = 0;
}

void config_defaults() {
    for (int n = 0; n < CONFIG_SLOTS; n++)
        snprintf(g_config_state.slot_labels[n], sizeof g_config_state.slot_labels[n], "Gate %d",
                 n + 1);
    for (const ConfigItem& item : CONFIG_ITEMS)
        for (int n = 0; n < item.count; n++) item_default(item, n);
}

void config_reset() {
    for (Choice* c :
         {&C.rider_texture, &C.head_texture, &C.bike_texture, &C.wheel_texture, &C.video_mode})
        c->options.clear();
    g_config_state.bike_changed = nullptr;
    config_defaults();
}

KeyBinding* config_binding(int index) {
    if (index < 0 || index >= CONFIG_BINDINGS) return nullptr;
    return config_record<KeyBinding>(CONFIG_ITEMS[CONFIG_FIRST_BINDING + index], 0);
}

const char* config_binding_key(int index) {
    if (index < 0 || index >= CONFIG_BINDINGS) return "";
    return CONFIG_ITEMS[CONFIG_FIRST_BINDING + index].key;
}

void config_set_options(Choice* choice, const std::vector<const char*>& options) {
    choice->options = options;
    choice->current = 0;
}

void config_apply_stability(int stability) {
    double c = std::clamp(stability * 0.05, 0.0, 5.0);
    int i = std::min((int)std::floor(c), 4);
    double f = c - i;
    for (const StabilityRow& row : STABILITY_ROWS)
        row.setting->value = row.level[i] + f * (row.level[i + 1] - row.level[i]);
}

void config_set_bike_hook(void (*bike_changed)()) {
    g_config_state.bike_changed = bike_changed;
}

void config_server_history_add(const char* name) {
    TextSetting* hist = C.server_name_hist;
    if (strcmp(name, hist[0].text) == 0) return;
    for (int i = CONFIG_SERVER_HISTORY - 1; i > 0; i--) config_text_set(&hist[i], hist[i - 1].text);
    config_text_set(&hist[0], name);
}

void config_set_window_size(int width, int height) {
    C.xres = width;
    C.yres = height;
}

void config_choose(Choice* choice, int index) {
    int n = (int)choice->options.size();
    choice->current = n > 0 ? clamp(index, 0, n - 1) : 0;
}

void config_set_billboard_lookahead(int window) {
    C.billboard_optimize_lookahead = window;
}

// User settings: one record per setting (also the menus' items), with their defaults, ranges
// and option texts. The "config" file (app/config_file.h) holds one "key=value" line per
// setting in the order of config_items(); it is read once at start-up and written at exit.
#pragma once

#include <vector>

struct Axis;

// A setting chosen from a list of texts; stored as the current option's text.
struct Choice {
    const char* label;
    std::vector<const char*> options; // texts live for the program's life
    int current;
    const char* text() const {
        return current >= 0 && current < (int)options.size() ? options[current] : "";
    }
};

// A number with a menu step and limits; stored with "%f".
struct Slider {
    const char* label;
    double value;
    double step;
    double min;
    double max;
};

// Free text of at most max_len characters.
struct TextSetting {
    const char* label;
    char text[128];
    int max_len; // 63, 3 or 127
};

// A control bound either to a key (name and resolved code) or to an axis with its range.
struct KeyBinding {
    const char* label;
    const char* key_name;  // interned or a literal (defaults), null when none
    int key_code;          // resolved at start-up by the input layer, 0 when unresolved
    const char* axis_name; // interned, null when none
    Axis* axis;            // opened axis, null when none
    float low;             // axis reading mapped to 0 ...
    float high;            // ... and to 1
};

constexpr int CONFIG_SLOTS = 40;
constexpr int CONFIG_SERVER_HISTORY = 16;
constexpr int CONFIG_BINDINGS = 20;

// Every setting, named after its configuration key.
struct Config {
    int xres, yres, draw_fps, draw_time, draw_ping, spy;
    Choice record, skill;
    Slider minutes, laps;
    Choice slot[CONFIG_SLOTS];
    Slider ghost_fade_distance;
    Choice time_trial_abort, bike;
    TextSetting name, number;
    Choice rider_texture, head_texture, bike_texture, wheel_texture;
    Slider stability, leveling, roll_damping, roll_limit_angle, roll_limit_factor, steering_damping,
        steering_strength, max_steering_force, direct_steering, slow_damping_speed,
        slow_damping_factor, land_damping_falloff, land_damping_factor;
    Choice arcade, front_brake, rear_brake, stop_wheelies, auto_shift, auto_dab, sticky_dab,
        reverse_steering, lean_indicator;
    Slider auto_clutch_rpms, brake_torque, rear_brake_torque, max_dab_speed,
        front_sprocket_adjustment, rear_sprocket_adjustment, fork_compression_adjustment,
        fork_rebound_adjustment, fork_spring_rate_adjustment, fork_preload_adjustment,
        fork_oil_level_adjustment, shock_compression_adjustment, shock_rebound_adjustment,
        shock_spring_rate_adjustment, shock_preload_adjustment, rider_yspring, rider_ydamping,
        rider_zspring, rider_zdamping, rider_mass_distribution;
    Choice video_mode;
    TextSetting server_name;
    TextSetting server_name_hist[CONFIG_SERVER_HISTORY];
    Slider ground_detail, ground_texture_detail;
    Choice ground_texture_dim, ground_mipmaps, use_fbo, use_shader;
    Slider roost_density;
    Choice lens_flare, hide_rider, rigid_camera;
    Slider model_detail, model_texture_detail, fov, first_person_height, first_person_angle, volume;
    Choice playback_mode;
    int billboard_optimize_lookahead;
    Choice blob_shadows;  // a soft shadow on the ground under every bike and rider
    Choice impact_sounds; // landing and crash sounds
    // The bindings, in the order they are written.
    KeyBinding throttle_key, front_brake_key, rear_brake_key, left_key, right_key, clutch_key,
        upshift_key, downshift_key, dab_key, back_up_key, lean_forward_key, lean_backward_key,
        pause_key, step_key, rewind_key, skip_key, prev_key, next_key, console_key, screenshot_key;
};
extern Config g_config;

// The race server offered until the player names another.
constexpr const char* CONFIG_DEFAULT_SERVER = "localhost";

// Process-wide state of the configuration module besides the settings themselves.
struct ConfigState {
    void (*bike_changed)() = nullptr;   // set by config_set_bike_hook
    char slot_labels[CONFIG_SLOTS][10]; // "Gate 1" .. "Gate 40"
};
extern ConfigState g_config_state;

// Choice indices used across the program.
enum { NO = 0, YES = 1 };
enum { SLOT_EMPTY = 0, SLOT_HUMAN, SLOT_ROBOT, SLOT_ROBOT_2STROKE, SLOT_ROBOT_4STROKE };

// How a row of the settings table is stored and written.
enum ConfigKind { CFG_INT, CFG_CHOICE, CFG_SLIDER, CFG_TEXT, CFG_BINDING };

// One row of the settings table: where the setting lives and what it starts as.
struct ConfigItem {
    const char* key; // when count > 1, a printf pattern ending in "%02d"
    ConfigKind kind;
    void* setting;     // the first of count records in g_config
    int count;         // 1, or how many numbered keys share the row
    const char* label; // menu label (null for integers)
    double def;        // integer or slider value, or the choice's option index
    double min, max, step;
    const char* const* options; // fixed option list; null when the list comes from the data
    int option_count;
    const char* text; // text default, or the binding's default key name
    int max_len;      // text settings
};

// Every setting in file order (the bindings last); *count receives the number of rows.
const ConfigItem* config_items(int* count);
// The n-th record of a row.
template <typename T> T* config_record(const ConfigItem& item, int n) {
    return static_cast<T*>(item.setting) + n;
}
// Copies at most the setting's max_len characters of value into a text setting.
void config_text_set(TextSetting* t, const char* value);

// Puts every setting back to its default (start-up, tests). Option lists that come from the
// data (texture variants, video modes) keep what config_set_options gave them.
void config_defaults();
// config_defaults, and also forgets the option lists config_set_options gave and the bike hook
// (tests).
void config_reset();
// The 20 bindings in file order, with their keys.
KeyBinding* config_binding(int index);
const char* config_binding_key(int index);
// The option list of a choice whose options come from elsewhere (texture variants, video modes:
// the whole list, "Default Fullscreen" and "Windowed" included); resets its current index to 0.
// The texts must live for the program's life.
void config_set_options(Choice* choice, const std::vector<const char*>& options);
// Recomputes the twelve assist settings from the "stability" preset table (0..100).
void config_apply_stability(int stability);
// Called after "bike" is read: rebuilds the "bike_texture" list for the chosen bike.
void config_set_bike_hook(void (*bike_changed)());
// The billboard look-ahead window ("billboard_optimize_lookahead", the "bbopt" command).
void config_set_billboard_lookahead(int window);
// Chooses option index of a choice (held to its options).
void config_choose(Choice* choice, int index);
// The window size a windowed run had ("xres", "yres"; the window's frame size each frame).
void config_set_window_size(int width, int height);
// Puts a server name first in the 16-entry history when it differs from the first entry (the
// others move down one place, the last falls off).
void config_server_history_add(const char* name);

// Starting a race session: riders from a rider table, the track, the start time and the race
// length, in the seventeen steps of a reset.
#include "race/session.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "bike/bike.h"
#include "bike/bodypose.h"
#include "bike/world.h"
#include "core/settings.h"
#include "effects/engine_sound.h"
#include "effects/roost.h"
#include "data/model.h"
#include "data/texture.h"
#include "platform/log.h"
#include "platform/messages.h"
#include "platform/random.h"
#include "race/demo_session.h"
#include "race/hooks.h"
#include "race/results.h"
#include "race/series.h"
#include "race/session_internal.h"
#include "replay/demo.h"
#include "track/gates.h"
#include "track/terrain.h"
#include "track/track.h"
#include "track/tracklist.h"

Session g_session_data;
const Session& g_session = g_session_data;

namespace {

// The player's rider as the menus chose it (session_set_player).
PlayerRider g_player;
// The looks of the remote riders of the network race being started.
PlayerRider g_remote[MAX_RIDERS];

} // namespace

void session_set_player(const PlayerRider& player) {
    g_player = player;
}

const PlayerRider& session_player() {
    return g_player;
}

void session_set_clock(int tick) {
    g_session_data.session_clock = tick;
    physics_set_clock(tick);
}

std::string race_description(int race_length, int extra_laps) {
    char text[64];
    if (race_length > 0) {
        int minutes = (int)std::lround(race_length / 128.0 / 60.0);
        if (extra_laps > 0)
            snprintf(text, sizeof text, "%d minutes + %d laps", minutes, extra_laps);
        else
            snprintf(text, sizeof text, "%d minutes", minutes);
    } else {
        snprintf(text, sizeof text, "%d laps", extra_laps);
    }
    return text;
}

int session_is_time_trial() {
    return g_session_data.time_trial;
}

int session_leader_laps() {
    int leader = standings_leader();
    return leader >= 0 ? rider_laps(leader) : 0;
}

int session_rider_position(int slot, float out[3]) {
    if (slot < 0 || slot >= MAX_RIDERS || !g_session_data.slots[slot].bike) return 0;
    bike_frame_position(g_session_data.slots[slot].bike, out);
    return 1;
}

void session_view_step(int direction) {
    int place = standings_place(g_session_data.viewed_rider);
    int n = g_results.standings_count;
    if (n == 0) return;
    place = place < 0 ? 0 : place + (direction < 0 ? -1 : 1);
    if (place < 0) place = 0;
    if (place >= n) place = n - 1;
    g_session_data.viewed_rider = g_results.standings[place].slot;
}

void session_free_rider(int slot) {
    RiderSlot& r = g_session_data.slots[slot];
    if (r.bike) {
        engine_sound_free(r.sound);
        bike_free(r.bike);
    }
    r = RiderSlot{};
}

void session_free_riders() {
    for (int s = 0; s < MAX_RIDERS; s++) session_free_rider(s);
}

void session_reset() {
    g_session_data = Session{};
}

void session_free() {
    // The track, the riders and the demo files are freed by the shutdown in its own order.
    results_reset();
}

// Loads the bike of one slot; 1 when it loaded.
static int rider_load(int slot, const char* bike_name, const char* number, const char* rider_tex,
                      const char* head_tex, const char* bike_tex, const char* wheel_tex) {
    Bike* bike = bike_load(bike_name_alias(bike_name), slot + 1, number, rider_tex, head_tex,
                           bike_tex, wheel_tex);
    if (!bike) return 0;
    RiderSlot& r = g_session_data.slots[slot];
    r.bike = bike;
    r.gear = rider_tex ? rider_tex : "";
    r.bike_graphics = bike_tex ? bike_tex : "";
    r.wheel_graphics = wheel_tex ? wheel_tex : "";
    r.helmet = head_tex ? head_tex : "";
    static const int LIST_CAPACITY[4] = {4, 20, 20, 20};
    for (int i = 0; i < 4; i++) r.lists[i].reserve(LIST_CAPACITY[i]);
    r.gate_times.reserve(16);
    r.sound = engine_sound_create(bike, bike_tex);
    return 1;
}

static const char* given(const char* texture) {
    return texture && texture[0] ? texture : nullptr;
}

static int load_local(int slot) {
    const PlayerRider& p = g_player;
    const char* number = p.number.empty() ? "999" : p.number.c_str();
    if (!rider_load(slot, p.bike.c_str(), number, given(p.gear.c_str()), given(p.helmet.c_str()),
                    given(p.bike_graphics.c_str()), given(p.wheel_graphics.c_str())))
        return 0;
    RiderSlot& r = g_session_data.slots[slot];
    bike_apply_setup(r.bike);
    r.kind = RIDER_LOCAL;
    r.autopilot = 0;
    r.personality = 0;
    return 1;
}

static int load_robot(int slot, int entry) {
    const RobotEntry* e = robot_entry(entry);
    if (!e) return 0;
    if (!rider_load(slot, e->bike, e->number, given(e->rider_texture), given(e->head_texture),
                    given(e->bike_texture), given(e->wheel_texture)))
        return 0;
    RiderSlot& r = g_session_data.slots[slot];
    r.kind = RIDER_ROBOT;
    r.autopilot = 1;
    r.robot = entry;
    const RaceRobotHooks& robots = race_robot_hooks();
    if (robots.set_personality)
        robots.set_personality(slot, g_settings.practice ? "tester" : e->personality);
    return 1;
}

// A rider of another client: placed from its network states, never simulated here.
static int load_remote(int slot) {
    const PlayerRider& p = g_remote[slot];
    const char* number = p.number.empty() ? "999" : p.number.c_str();
    if (!rider_load(slot, p.bike.c_str(), number, given(p.gear.c_str()), given(p.helmet.c_str()),
                    given(p.bike_graphics.c_str()), given(p.wheel_graphics.c_str())))
        return 0;
    RiderSlot& r = g_session_data.slots[slot];
    r.kind = RIDER_REMOTE;
    r.autopilot = 1;
    return 1;
}

int session_load_demo_rider(int slot, int demo_rider) {
    const DemoRider* d = demo_rider_info(demo_rider);
    if (!d) return 0;
    if (!rider_load(slot, d->bike.c_str(), d->number.c_str(), given(d->gear.c_str()),
                    given(d->helmet.c_str()), given(d->bike_graphics.c_str()),
                    given(d->wheel_graphics.c_str())))
        return 0;
    RiderSlot& r = g_session_data.slots[slot];
    r.kind = RIDER_REMOTE;
    r.autopilot = 1;
    r.demo_rider = demo_rider;
    r.visibility = 1;
    bike_disable_bodies(r.bike); // placed from the demo's records only
    demo_set_rider_slot(demo_rider, slot);
    return 1;
}

// The next unused robot of the shuffled list whose bike name contains `part` (any with null).
static int next_robot(std::vector<bool>* used, const char* part) {
    for (int i = 0; i < ROBOT_COUNT; i++) {
        int e = g_session_data.robot_order[i];
        if ((*used)[e]) continue;
        if (part && !strstr(robot_entry(e)->bike, part)) continue;
        (*used)[e] = true;
        return e;
    }
    return -1;
}

static int robot_by_number(int number) {
    char text[16];
    snprintf(text, sizeof text, "%d", number);
    for (int i = 0; i < ROBOT_COUNT; i++)
        if (!strcmp(robot_entry(i)->number, text)) return i;
    return -1;
}

// Step 9: the bikes of the rider table.
static void load_riders(const int* table) {
    std::vector<bool> used(ROBOT_COUNT, false);
    int demo_next = 0;
    bool local_seen = false;
    for (int s = 0; s < MAX_RIDERS; s++) {
        int code = table[s];
        if (code == RIDER_CODE_LOCAL && local_seen) code = RIDER_CODE_DEMO;
        int ok = 0;
        if (code == RIDER_CODE_LOCAL) {
            local_seen = true;
            ok = load_local(s);
        } else if (code == RIDER_CODE_DEMO) {
            if (g_session_data.play_demo && demo_next < demo_rider_count())
                ok = session_load_demo_rider(s, demo_next++);
        } else if (code == RIDER_CODE_ROBOT || code == RIDER_CODE_ROBOT_125 ||
                   code == RIDER_CODE_ROBOT_250) {
            const char* part = code == RIDER_CODE_ROBOT_125   ? "125"
                               : code == RIDER_CODE_ROBOT_250 ? "250"
                                                              : nullptr;
            int e = next_robot(&used, part);
            ok = e >= 0 && load_robot(s, e);
        } else if (code >= RIDER_CODE_ROBOT_NUMBER) {
            int e = robot_by_number(code - RIDER_CODE_ROBOT_NUMBER);
            if (e >= 0) used[e] = true;
            ok = e >= 0 && load_robot(s, e);
        } else if (code == RIDER_CODE_REMOTE) {
            if (g_session_data.multiplayer) ok = load_remote(s);
        }
        if (!ok) continue;
        session_place_rider(s);
        const Bike* b = g_session_data.slots[s].bike;
        if (g_settings.debug_level)
            log_printf("rider %d: %s on %s\n", s, bike_plate_text(b), bike_name(b));
    }
}

// Step 6: the track. 1 when it is loaded.
static int choose_track() {
    Session& s = g_session_data;
    std::string chosen;
    if (s.play_demo)
        chosen = demo_track();
    else if (s.multiplayer)
        chosen = s.net_track;
    else if (g_tracks.current >= 0 && g_tracks.current < (int)g_tracks.tracks.size())
        chosen = g_tracks.tracks[g_tracks.current].folder;
    // Offline the ground keeps its ruts; a network race needs the track as the server has it.
    bool keep = g_track.loaded && g_track.name == chosen && !(s.multiplayer && g_terrain.modified);
    if (!keep) {
        if (g_track.loaded) track_free();
        texture_new_generation();
        model_new_generation();
        s.track_loaded = 0;
        if (chosen.empty() || !track_load_named(chosen)) {
            // What went wrong is in the log; that nothing can be raced is said here.
            if (!chosen.empty()) post_problem(("Can't load track '" + chosen + "'").c_str());
            s.track_name.clear();
            return 0;
        }
    }
    s.track_loaded = 1;
    s.track_name = g_track.name;
    physics_set_ground(&g_terrain);
    if (s.multiplayer) terrain_lock_deformation(&g_terrain, true);
    bool gates = gates_present() && !g_gates.first_lap.empty() && !g_gates.normal_lap.empty();
    s.first_lap = gates ? (int)g_gates.first_lap.size() : 0;
    s.normal_lap = gates ? (int)g_gates.normal_lap.size() : 0;
    return 1;
}

// Both kinds of start: net is the server's race for a network start, null otherwise.
static int start(const int* rider_table, int play_demo, int record_demo, int race_length,
                 int extra_laps, int skill, const NetRaceStart* net) {
    Session& s = g_session_data;
    // 1. An unfinished series event is recorded as it stands.
    series_record_event();
    loading_message("Resetting...");
    // 2. Seeded with how far the previous session got.
    robot_order_shuffle((unsigned)s.session_clock);
    // 3. The old track's learned lines are kept; demos close.
    loading_message("Remembering lines...");
    const RaceRobotHooks& robots = race_robot_hooks();
    if (robots.lines_save) robots.lines_save();
    demo_close_playback();
    demo_record_stop();
    // 4. The old riders and results go.
    loading_message("Cleaning up...");
    log_printf("Deallocating bikes\n");
    session_free_riders();
    log_printf("Finished deallocating bikes\n");
    results_reset();
    s.multiplayer = net != nullptr;
    if (net) {
        s.net_start_tick = net->start_tick;
        s.net_track = net->track;
        s.net_grid_index = std::clamp(net->grid_index, 0, MAX_RIDERS - 1);
        s.net_in_race = net->in_race;
        for (int i = 0; i < MAX_RIDERS; i++) g_remote[i] = net->remote[i];
    }
    // 5. The clock, the start and the race length.
    s.session_clock = 0;
    s.cue_tick = CUE_TICKS;
    if (rider_table && !play_demo) memcpy(s.lineup, rider_table, sizeof s.lineup);
    s.race_laps = extra_laps;
    s.race_length = race_length;
    s.extra_laps = extra_laps;
    s.start_tick = (int)(128 * (13 + 2 * random_unit()));
    if (s.multiplayer) s.start_tick = s.net_start_tick;
    s.hold_ticks = 0;
    s.skill = skill;
    s.record_demo = record_demo;
    s.last_lap = s.best_lap = 0;
    // 6. A demo brings its own track and race settings.
    s.time_trial = rider_table == nullptr;
    s.play_demo = play_demo && session_demo_open();
    if (!choose_track()) {
        demo_close_playback();
        s.play_demo = 0;
        return 0;
    }
    // 7. The rider table: the player alone in a time trial, else the one given.
    int table[MAX_RIDERS] = {};
    if (s.time_trial) {
        table[0] = RIDER_CODE_LOCAL;
        s.session_clock = TIME_TRIAL_CLOCK;
    } else {
        memcpy(table, rider_table, sizeof table);
    }
    bool any = false;
    for (int code : table) any = any || code != RIDER_CODE_DEMO;
    if (!any && !s.play_demo) table[0] = RIDER_CODE_ROBOT;
    // 8. The new track's lines for the robots.
    loading_message("Analyzing lines...");
    if (robots.lines_load) robots.lines_load(skill);
    // 9. The riders and their bikes, and which one is viewed.
    loading_message("Loading bikes...");
    load_riders(table);
    s.viewed_rider = 0;
    for (int i = MAX_RIDERS - 1; i >= 0; i--)
        if (s.slots[i].bike) s.viewed_rider = i;
    for (int i = 0; i < MAX_RIDERS; i++)
        if (s.slots[i].bike && s.slots[i].kind == RIDER_LOCAL) s.viewed_rider = i;
    // 10. The recording.
    if (record_demo) session_demo_record_start();
    // 11. Particles and the line memory's per-session records.
    roost_reset();
    if (robots.lines_reset) robots.lines_reset();
    // 12. Texture memory, and what the old track left in the caches.
    char memory[64];
    snprintf(memory, sizeof memory, "%d MB texture memory used\n",
             (int)(g_textures.memory / (1024 * 1024)));
    post_message(memory);
    texture_purge();
    model_purge();
    // 13. The final and half-way laps, known now for a race of laps.
    if (s.race_length > 0) {
        s.final_lap = s.halfway_lap = LAP_UNKNOWN;
    } else {
        s.final_lap = s.extra_laps;
        s.halfway_lap = (s.extra_laps + 1) / 2;
    }
    // 14. The start gate's bars go up.
    start_bars_raise();
    // 15. A time trial starts before the line.
    if (s.time_trial) session_reset_riders();
    // 16. The first demo frame, written or played.
    physics_set_clock(s.session_clock);
    session_demo_record_frame();
    if (demo_playing()) session_demo_play_frame();
    // 17. Fresh standings, the viewed rider and the camera.
    s.results_final = 0;
    standings_update();
    if (!s.slots[s.viewed_rider].bike) {
        int leader = standings_leader();
        if (leader >= 0) s.viewed_rider = leader;
    }
    s.camera_serial++;
    return 1;
}

int session_start(const int* rider_table, int play_demo, int record_demo, int race_length,
                  int extra_laps, int skill) {
    return start(rider_table, play_demo, record_demo, race_length, extra_laps, skill, nullptr);
}

int session_start_network(const NetRaceStart& net) {
    return start(net.lineup, 0, net.record, net.race_length, net.extra_laps, 0, &net);
}

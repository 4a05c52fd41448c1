// The chat and console line: Enter, the history keys, the page keys, chat and the commands.
#include "ui/console.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "bike/bike.h"
#include "core/config.h"
#include "core/settings.h"
#include "data/save.h"
#include "net/client.h"
#include "platform/digest.h"
#include "platform/messages.h"
#include "race/session.h"
#include "render/frame.h"
#include "replay/demo.h"
#include "track/gates.h"
#include "track/track.h"
#include "track/tracklist.h"
#include "ui/menu_internal.h"

namespace {

ConsoleState g_console_data;

constexpr int SCROLL_MAX = MESSAGE_LINES - 50; // 950 lines back
constexpr double DEGREES = 0.017453292519943295;

bool is_key(int code, int which) {
    return code != 0 && code == g_menu_data.keys[which];
}

char* line() {
    return g_menu_data.console_line;
}

void load_line(int entry) {
    snprintf(line(), CONSOLE_LINE, "%s", g_console_data.history[entry]);
}

void store_line() {
    ConsoleState& c = g_console_data;
    snprintf(c.history[c.position], CONSOLE_LINE, "%s", line());
}

// Step 3 of Enter: the line joins the history as its newest entry; editing starts afresh.
void push_history() {
    ConsoleState& c = g_console_data;
    c.count = std::min(c.count + 1, CONSOLE_HISTORY);
    for (int i = CONSOLE_HISTORY - 1; i >= 2; i--)
        memcpy(c.history[i], c.history[i - 1], CONSOLE_LINE);
    snprintf(c.history[1], CONSOLE_LINE, "%s", line());
    c.history[0][0] = 0;
    line()[0] = 0;
    c.position = 0;
}

bool viewed_bike(int* slot) {
    int s = g_session.viewed_rider;
    if (s < 0 || s >= MAX_RIDERS || !g_session.slots[s].bike) return false;
    *slot = s;
    return true;
}

// ---- Commands ----

void cmd_savetrackinfo(const char*) {
    if (!g_track.loaded) return;
    std::string name = "@" + g_track.name + ".trackinfo";
    std::string text = console_trackinfo_text();
    // A file that cannot be written is skipped without a word.
    if (!data_save_bytes(name.c_str(), text.data(), text.size())) return;
    post_message(("Track info saved to " + g_track.name + ".trackinfo").c_str());
}

void cmd_renderstats(const char*) {
    g_settings.draw_render_stats = 1;
    render_stats_reset();
}

void cmd_togglespy(const char*) {
    g_config.spy = !g_config.spy;
    post_message(g_config.spy ? "Spy mode ON" : "Spy mode OFF");
}

void cmd_bbopt(const char* args) {
    int window;
    // The number starts one character after the name (the blank that usually stands there).
    const char* from = args[0] ? args + 1 : args;
    if (sscanf(from, "%d", &window) == 1)
        g_config.billboard_optimize_lookahead = std::max(window, 0);
    char text[64];
    snprintf(text, sizeof text, "Billboard optimization window is now %d",
             g_config.billboard_optimize_lookahead);
    post_message(text);
}

void cmd_pipe(const char* args) {
    int slot;
    if (!viewed_bike(&slot)) return;
    PipeTaps taps = console_pipe_args(args, bike_two_stroke(g_session.slots[slot].bike));
    // Only a sound model that took the pipe may say so.
    if (g_console_data.hooks.set_pipe && g_console_data.hooks.set_pipe(slot, taps))
        post_message("Pipe updated");
}

void cmd_namedemo(const char* args) {
    char word[CONSOLE_LINE] = "";
    if (sscanf(args, "%119s", word) != 1) {
        post_message("Usage: namedemo <name>"); // "" would name the file ".qzdemo"
        return;
    }
    demo_set_name(word);
}

void cmd_camangle(const char* args) {
    float yaw, pitch;
    if (sscanf(args, "%f %f", &yaw, &pitch) != 2) {
        post_message("Usage: camangle <yaw> <pitch>");
        return;
    }
    int slot;
    if (!viewed_bike(&slot)) return;
    if (g_console_data.hooks.camera_aim)
        g_console_data.hooks.camera_aim((float)(yaw * DEGREES), (float)(pitch * DEGREES));
    post_message("Camera aimed");
}

void cmd_fov(const char* args) {
    float degrees;
    if (sscanf(args, "%f", &degrees) != 1) {
        post_message("Usage: fov <degrees>");
        return;
    }
    g_config.fov.value = std::clamp((double)degrees, g_config.fov.min, g_config.fov.max);
    post_message("fov set");
}

struct Command {
    const char* name;
    int match; // 0: the whole word; N: the first N characters
    void (*run)(const char* args);
};

constexpr Command COMMANDS[] = {
    {"savetrackinfo", 0, cmd_savetrackinfo},
    {"renderstats", 0, cmd_renderstats},
    {"togglespy", 0, cmd_togglespy},
    {"bbopt", 5, cmd_bbopt},
    {"pipe", 4, cmd_pipe},
    {"namedemo", 8, cmd_namedemo},
    {"camangle", 8, cmd_camangle},
    {"fov", 3, cmd_fov},
};

// Runs the command the text after the slash names; 0 when it names none.
int run_command(const char* text) {
    size_t word = strcspn(text, " \t");
    for (const Command& c : COMMANDS) {
        size_t n = c.match ? (size_t)c.match : strlen(c.name);
        if (c.match ? strncmp(text, c.name, n) != 0 : word != n || strncmp(text, c.name, n) != 0)
            continue;
        c.run(text + n);
        return 1;
    }
    return 0;
}

// Step 2 of Enter: a chat line. 0 when it was refused.
int chat() {
    double now = g_messages.elapsed_time;
    if (now <= g_console_data.last_chat + CONSOLE_CHAT_GAP) {
        post_message("No one likes a spammer");
        return 0;
    }
    g_console_data.last_chat = now;
    if (net_connected())
        net_send_chat(line());
    else
        post_message("Not connected to server");
    return 1;
}

} // namespace

const ConsoleState& g_console = g_console_data;

PipeTaps console_pipe_args(const char* args, int two_stroke) {
    PipeTaps t = two_stroke ? PipeTaps{1.75f, 0.3f, -0.75f, 0, 15}
                            : PipeTaps{5.0f, 0.9182072f, -0.85f, 0, 15};
    sscanf(args ? args : "", "%f %f %f %d %d", &t.length, &t.spread, &t.gain, &t.first_tap,
           &t.last_tap);
    return t;
}

std::string console_trackinfo_text() {
    std::string folder = g_track.name;
    int index = tracklist_find(folder.c_str());
    std::string title = index >= 0 ? g_tracks.tracks[(size_t)index].title : folder;
    char buf[96];
    std::string out = "dir=" + folder + "\n" + "longname=" + title + "\n";
    snprintf(buf, sizeof buf, "firstlap=%d\nnormallap=%d\n", (int)g_gates.first_lap.size(),
             (int)g_gates.normal_lap.size());
    out += buf;
    out += "hash=" + digest_hex(g_track.digest) + "\n";
    return out;
}

void console_enter() {
    const char* text = line();
    // An empty line is neither a command nor something to say.
    if (!text[0]) return;
    int done;
    if (text[0] == '/' || text[0] == '\\')
        done = run_command(text + 1); // a line that names no command stays as typed
    else
        done = chat();
    if (done) push_history();
}

void console_key(int code) {
    ConsoleState& c = g_console_data;
    if (is_key(code, MENU_KEY_ENTER) || is_key(code, MENU_KEY_KEYPAD_ENTER)) {
        console_enter();
    } else if (is_key(code, MENU_KEY_UP)) {
        store_line();
        c.position = std::min(c.position + 1, c.count - 1);
        load_line(c.position);
    } else if (is_key(code, MENU_KEY_DOWN)) {
        store_line();
        c.position = std::max(c.position - 1, 0);
        load_line(c.position);
    } else if (is_key(code, MENU_KEY_PAGE_UP)) {
        g_menu_data.message_scroll = std::min(g_menu_data.message_scroll + 1, SCROLL_MAX);
    } else if (is_key(code, MENU_KEY_PAGE_DOWN)) {
        g_menu_data.message_scroll = std::max(g_menu_data.message_scroll - 1, 0);
    } else {
        menu_edit_key(line(), CONSOLE_LINE - 1, code);
    }
}

void console_set_hooks(const ConsoleHooks& hooks) {
    g_console_data.hooks = hooks;
}

void console_reset() {
    g_console_data = ConsoleState{};
}

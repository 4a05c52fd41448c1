#include "platform/script.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <sys/stat.h>

#include "platform/input.h"
#include "platform/log.h"
#include "platform/window.h"

static std::string trim(const std::string& s) {
    size_t a = s.find_first_not_of(" \t\r\n");
    if (a == std::string::npos) return "";
    size_t b = s.find_last_not_of(" \t\r\n");
    return s.substr(a, b - a + 1);
}

int script_parse(const char* text, std::vector<ScriptLine>* out, std::string* error) {
    std::istringstream in(text);
    std::string raw;
    int number = 0;
    while (std::getline(in, raw)) {
        number++;
        std::string line = trim(raw);
        if (line.empty() || line[0] == '#') continue;
        char* end = nullptr;
        double t = strtod(line.c_str(), &end);
        size_t used = end - line.c_str();
        // A time beyond SCRIPT_TIME_MAX could never fall due (and would overflow the stamps).
        if (used == 0 || !std::isfinite(t) || t < 0 || t > SCRIPT_TIME_MAX ||
            (used < line.size() && line[used] != ' ' && line[used] != '\t')) {
            *error = "line " + std::to_string(number) + ": expected a time in seconds";
            return 0;
        }
        std::string rest = trim(line.substr(used));
        size_t sp = rest.find_first_of(" \t");
        std::string action = rest.substr(0, sp);
        std::string arg = sp == std::string::npos ? "" : trim(rest.substr(sp));
        ScriptLine l{t, 0, arg, number};
        if (action == "press")
            l.action = SCRIPT_PRESS;
        else if (action == "release")
            l.action = SCRIPT_RELEASE;
        else if (action == "tap")
            l.action = SCRIPT_TAP;
        else if (action == "char")
            l.action = SCRIPT_CHAR;
        else if (action == "type")
            l.action = SCRIPT_TYPE;
        else {
            *error = "line " + std::to_string(number) + ": unknown action \"" + action + "\"";
            return 0;
        }
        if (arg.empty()) {
            *error = "line " + std::to_string(number) + ": \"" + action + "\" needs an argument";
            return 0;
        }
        if (l.action == SCRIPT_CHAR) {
            char* e2 = nullptr;
            long c = strtol(arg.c_str(), &e2, 0);
            if (*e2 || c < 0 || c > 255) {
                *error = "line " + std::to_string(number) + ": a character code is 0..255";
                return 0;
            }
        }
        out->push_back(l);
    }
    return 1;
}

ScriptFeed* script_load(const char* path, std::string* error) {
    // A folder opens as a stream that reads nothing, which would pass for an empty script.
    struct stat st;
    if (stat(path, &st) == 0 && S_ISDIR(st.st_mode)) {
        *error = std::string("can't read ") + path + " (a folder)";
        return nullptr;
    }
    std::ifstream f(path, std::ios::binary);
    if (!f) {
        *error = std::string("can't read ") + path;
        return nullptr;
    }
    std::stringstream ss;
    ss << f.rdbuf();
    ScriptFeed* s = new ScriptFeed;
    if (!script_parse(ss.str().c_str(), &s->lines, error)) {
        delete s;
        return nullptr;
    }
    return s;
}

void script_start(ScriptFeed* s, GameWindow* window, double base) {
    s->events.clear();
    for (const ScriptLine& l : s->lines) {
        int code = 0;
        switch (l.action) {
        case SCRIPT_PRESS:
        case SCRIPT_RELEASE:
        case SCRIPT_TAP:
            if (!key_code(window, &code, l.arg.c_str())) {
                log_printf("Script line %d: unknown key \"%s\"\n", l.line, l.arg.c_str());
                break;
            }
            s->events.push_back({l.time, code, l.action != SCRIPT_RELEASE});
            if (l.action == SCRIPT_TAP) s->events.push_back({l.time + SCRIPT_TAP_SECONDS, code, 0});
            break;
        case SCRIPT_CHAR:
            s->events.push_back({l.time, (int)strtol(l.arg.c_str(), nullptr, 0), 1});
            break;
        case SCRIPT_TYPE:
            for (unsigned char c : l.arg) s->events.push_back({l.time, c, 1});
            break;
        }
    }
    std::stable_sort(s->events.begin(), s->events.end(),
                     [](const ScriptEvent& a, const ScriptEvent& b) { return a.time < b.time; });
    s->next = 0;
    s->base = base;
    s->started = 1;
}

void script_feed(GameWindow* window, double now) {
    ScriptFeed* s = window->script;
    if (!s || !s->started) return;
    while (s->next < s->events.size()) {
        const ScriptEvent& e = s->events[s->next];
        double t = s->base + e.time;
        if (t > now) break;
        // Stamped at the script's own time, on the platform clock's millisecond grid.
        long long ms = (long long)std::floor(t * 1000 + 0.5);
        if (!input_queue_event(window, e.code, e.pressed, (long)(ms / 1000),
                               (long)(ms % 1000) * 1000))
            break; // the queue is full: try again at the next pump
        s->next++;
    }
}

void script_free(ScriptFeed* s) {
    delete s;
}

// The server's options: from the command line ("--key value" or "--key=value") and from a
// configuration file of "key=value" lines ("#" starts a comment line).
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "server.h"

namespace {

bool read_int(const std::string& v, int lo, int hi, int* out) {
    char* end = nullptr;
    long x = strtol(v.c_str(), &end, 10);
    if (v.empty() || *end || x < lo || x > hi) return false;
    *out = (int)x;
    return true;
}

bool read_seconds(const std::string& v, double* out) {
    char* end = nullptr;
    double x = strtod(v.c_str(), &end);
    if (v.empty() || *end || !(x >= 0) || x > 86400) return false;
    *out = x;
    return true;
}

std::vector<std::string> split_list(const std::string& v) {
    std::vector<std::string> out;
    std::stringstream ss(v);
    std::string item;
    while (std::getline(ss, item, ',')) {
        size_t a = item.find_first_not_of(" \t"), b = item.find_last_not_of(" \t");
        if (a != std::string::npos) out.push_back(item.substr(a, b - a + 1));
    }
    return out;
}

int read_config(const std::string& path, ServerOptions* o, std::string* error,
                std::string* data_folder, std::string* log_file) {
    std::ifstream f(path);
    if (!f) {
        *error = "can't read " + path;
        return 0;
    }
    std::string line;
    int number = 0;
    while (std::getline(f, line)) {
        number++;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        size_t a = line.find_first_not_of(" \t");
        if (a == std::string::npos || line[a] == '#') continue;
        size_t eq = line.find('=');
        if (eq == std::string::npos) {
            *error = path + ":" + std::to_string(number) + ": no '=' in \"" + line + "\"";
            return 0;
        }
        std::string key = line.substr(a, eq - a), value = line.substr(eq + 1);
        while (!key.empty() && (key.back() == ' ' || key.back() == '\t')) key.pop_back();
        size_t v = value.find_first_not_of(" \t");
        value = v == std::string::npos ? "" : value.substr(v);
        if (key == "data")
            *data_folder = value;
        else if (key == "log")
            *log_file = value;
        else if (!server_set_option(o, key, value, error)) {
            *error = path + ":" + std::to_string(number) + ": " + *error;
            return 0;
        }
    }
    return 1;
}

} // namespace

const char* server_usage() {
    return "Usage: vornix-server [options]\n"
           "  --port N           UDP port to listen on (19800)\n"
           "  --password TEXT    riders must give this password (none)\n"
           "  --tracks A,B,...   the track rotation (every installed track)\n"
           "  --laps N           laps of a race (3)\n"
           "  --minutes N        time limit of a race, laps added after it (0: laps only)\n"
           "  --max-riders N     slots handed out, 1..40 (40)\n"
           "  --warmup S         warm-up seconds after the first rider joined it (60)\n"
           "  --riders N         start the race once N ride in the warm-up (0: off)\n"
           "  --countdown S      seconds from the race clock's start to the gate drop (10)\n"
           "  --ready-wait S     seconds the clock waits for riders still loading (20)\n"
           "  --cooldown S       seconds from a race's end to the next warm-up (20)\n"
           "  --timeout S        drop clients silent this long (20)\n"
           "  --results DIR      folder of the results files (results)\n"
           "  --no-arcade        forbid arcade physics\n"
           "  --welcome TEXT     said to every rider who joins\n"
           "  --data DIR         the game data folder (QZ_HOME, else next to this program)\n"
           "  --log FILE         the log file (vornix-server.log)\n"
           "  --config FILE      read options from FILE: key=value lines, keys as above\n"
           "Console (standard input): status, kick <slot> [text], say <text>, restart, next,\n"
           "quit. Ctrl+C stops the server too.\n";
}

int server_set_option(ServerOptions* o, const std::string& key, const std::string& value,
                      std::string* error) {
    bool ok = true;
    if (key == "port")
        ok = read_int(value, 0, 65535, &o->port);
    else if (key == "password")
        o->password = value;
    else if (key == "tracks")
        o->tracks = split_list(value);
    else if (key == "laps")
        ok = read_int(value, 1, 1000, &o->laps);
    else if (key == "minutes")
        ok = read_int(value, 0, 600, &o->minutes);
    else if (key == "max-riders")
        ok = read_int(value, 1, MAX_RIDERS, &o->max_riders);
    else if (key == "warmup")
        ok = read_seconds(value, &o->warmup);
    else if (key == "riders")
        ok = read_int(value, 0, MAX_RIDERS, &o->riders);
    else if (key == "countdown")
        ok = read_seconds(value, &o->countdown);
    else if (key == "ready-wait")
        ok = read_seconds(value, &o->ready_wait);
    else if (key == "cooldown")
        ok = read_seconds(value, &o->cooldown);
    else if (key == "timeout")
        ok = read_seconds(value, &o->timeout) && o->timeout >= 2;
    else if (key == "results")
        o->results = value.empty() ? "." : value;
    else if (key == "no-arcade")
        o->no_arcade = value.empty() || value == "1" || value == "yes" || value == "Yes";
    else if (key == "welcome")
        o->welcome = value.substr(0, NET_CHAT_MAX);
    else {
        *error = "unknown option '" + key + "'";
        return 0;
    }
    if (!ok) *error = "bad value '" + value + "' for " + key;
    return ok ? 1 : 0;
}

int server_parse_options(int argc, char** argv, ServerOptions* out, std::string* error,
                         std::string* data_folder, std::string* log_file) {
    for (int i = 1; i < argc; i++) {
        std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            *error = "";
            return 0;
        }
        if (arg.compare(0, 2, "--") != 0) {
            *error = "bad argument '" + arg + "'";
            return 0;
        }
        std::string key = arg.substr(2), value;
        size_t eq = key.find('=');
        if (eq != std::string::npos) {
            value = key.substr(eq + 1);
            key.resize(eq);
        } else if (key != "no-arcade") {
            if (i + 1 >= argc) {
                *error = "--" + key + " needs a value";
                return 0;
            }
            value = argv[++i];
        }
        if (key == "config") {
            if (!read_config(value, out, error, data_folder, log_file)) return 0;
        } else if (key == "data") {
            *data_folder = value;
        } else if (key == "log") {
            *log_file = value;
        } else if (!server_set_option(out, key, value, error)) {
            return 0;
        }
    }
    return 1;
}

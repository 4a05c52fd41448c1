// vornix-lines: rides the robot lines a fresh install ships with, for generated tracks.
//
//   vornix-lines <data folder> [<track>...] [--cache <folder>] [--key <file>]... [--jobs <n>]
//
// Without track names it rides every track of the data folder (every folder holding a
// "timing_gates" and a "terrain.hf"), so a track added to the generator gets its lines with no
// change here. Each track is ridden by a process of its own, at most --jobs (default 2) at once.
//
// For each robot skill a teacher (the robots' own controller following the gate sequence, at a
// pace that grows with the skill) rides laps as the learner, so its clean segments become
// lines; then robots of the "tester" personality ride the lines, so the analysis has tested
// chains to plan with. The learned file is written into "<data folder>/<track>/" as
// "lines_novice", "lines_amateur" or "lines_expert".
//
// With --cache the three files are kept in "<cache>/<track>/" under a key made of the track
// folder's files and the --key files (the sources that decide how robots ride): while the key
// is unchanged they are copied from there instead of being ridden again.
#include <dirent.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bike/bike.h"
#include "bike/world.h"
#include "core/config.h"
#include "core/settings.h"
#include "data/datafile.h"
#include "data/save.h"
#include "platform/log.h"
#include "race/session.h"
#include "robot/robot.h"
#include "track/track.h"
#include "track/tracklist.h"

namespace {

// The skills' teachers: pace of the speed the ground allows.
const float PACE[3] = {0.6f, 0.7f, 0.82f};
// Mid-gate (the generated tracks number their slots from the middle outward), so the first
// lines start where most robots stand.
constexpr int TEACHER_SLOT = 0;
constexpr int TEACHER_LAPS = 3; // the first lap, then normal laps for the normal-lap sets
constexpr int TESTERS = 6;
constexpr int TEST_LAPS = 2;

int usage() {
    fprintf(stderr, "usage: vornix-lines <data folder> [<track>...] [--cache <folder>] "
                    "[--key <file>]... [--jobs <n>]\n");
    return 2;
}

bool read_bytes(const std::string& path, std::string* out) {
    FILE* f = fopen(path.c_str(), "rb");
    if (!f) return false;
    char buf[65536];
    size_t n;
    out->clear();
    while ((n = fread(buf, 1, sizeof buf, f)) > 0) out->append(buf, n);
    bool ok = !ferror(f);
    fclose(f);
    return ok;
}

// FNV-1a, 64 bits: enough to notice that an input changed.
void hash_bytes(uint64_t* h, const std::string& bytes) {
    for (unsigned char c : bytes) {
        *h ^= c;
        *h *= 1099511628211ull;
    }
}

// The key: every file of the track folder (but its line files) and every --key file, by name
// and contents, in sorted order.
std::string input_key(const std::string& track_dir, const std::vector<std::string>& keys) {
    std::vector<std::string> files;
    if (DIR* d = opendir(track_dir.c_str())) {
        while (dirent* e = readdir(d)) {
            std::string name = e->d_name;
            if (name == "." || name == ".." || name.rfind("lines_", 0) == 0) continue;
            files.push_back(track_dir + name);
        }
        closedir(d);
    }
    std::sort(files.begin(), files.end());
    std::vector<std::string> sorted_keys = keys;
    std::sort(sorted_keys.begin(), sorted_keys.end());
    files.insert(files.end(), sorted_keys.begin(), sorted_keys.end());
    uint64_t h = 1469598103934665603ull;
    std::string bytes;
    for (const std::string& f : files) {
        hash_bytes(&h, f.substr(f.rfind('/') + 1));
        if (read_bytes(f, &bytes)) hash_bytes(&h, bytes);
    }
    char text[32];
    snprintf(text, sizeof text, "%016llx\n", (unsigned long long)h);
    return text;
}

bool copy_file(const std::string& from, const std::string& to) {
    std::string bytes;
    if (!read_bytes(from, &bytes)) return false;
    data_make_dirs(to.c_str());
    return data_save_bytes(to.c_str(), bytes.data(), bytes.size()) == 1;
}

// Session ticks until `done` or the clock passes `limit` seconds after the start.
template <class Done, class Before> void ride(int limit, Done done, Before before) {
    int end = g_session.start_tick + limit * TICKS_PER_SECOND;
    while (g_session.session_clock < end && !done()) {
        before();
        session_tick();
    }
}

// One skill: the teacher's laps, then the testers' race; the memory is saved to the per-user
// folder by the next session start (or at the end by the caller).
bool ride_skill(int skill) {
    int table[MAX_RIDERS] = {};
    table[TEACHER_SLOT] = RIDER_CODE_LOCAL;
    g_settings.practice = 0;
    if (!session_start(table, 0, 0, 0, TEACHER_LAPS, skill)) return false;
    Bike* teacher = g_session.slots[TEACHER_SLOT].bike;
    if (!teacher) return false;
    bike_setup_defaults(teacher); // a robot's bike, not the player's settings
    RideAirtime air;
    ride(
        TEACHER_LAPS * 400, [] { return rider_finished(TEACHER_SLOT) != 0; },
        [skill, &air] {
            robot_airtime_tick(TEACHER_SLOT, &air);
            robot_teacher_drive(TEACHER_SLOT, PACE[skill]);
        });
    // The teacher's laps on standard output too: the build shows how fast each skill's lines are.
    std::string laps;
    for (int lap = 1; lap <= rider_laps(TEACHER_SLOT); lap++) {
        char t[32];
        snprintf(t, sizeof t, " %.1f", rider_lap_time(TEACHER_SLOT, lap));
        laps += t;
    }
    // And how it left the ground: jumps taken, not rolled, show as airborne stretches.
    std::string jumps;
    for (int lap = 0; lap < TEACHER_LAPS; lap++) {
        char t[32];
        snprintf(t, sizeof t, " %d/%d", air.stretches[lap], air.crashes[lap]);
        jumps += t;
    }
    log_printf("teacher (pace %.2f): %d laps:%s s\n", PACE[skill], rider_laps(TEACHER_SLOT),
               laps.c_str());
    printf("vornix-lines: %s %s teacher (pace %.2f) laps:%s s; airborne 0.5 s+/crashes per "
           "lap:%s, longest %.1f s\n",
           g_track.name.c_str(), robot_skill_file(skill), PACE[skill], laps.c_str(),
           jumps.c_str(), air.longest);
    fflush(stdout);

    for (int s = 0; s < MAX_RIDERS; s++) table[s] = s < TESTERS ? RIDER_CODE_ROBOT : 0;
    g_settings.practice = 1; // every robot a tester: the least tested lines first
    if (!session_start(table, 0, 0, 0, TEST_LAPS, skill)) return false;
    ride(
        TEST_LAPS * 400, [] { return g_session.results_final != 0; }, [] {});
    g_settings.practice = 0;
    return true;
}

// The track folders of a data folder, sorted.
std::vector<std::string> data_tracks(const std::string& data) {
    std::vector<std::string> out;
    if (DIR* d = opendir(data.c_str())) {
        while (dirent* e = readdir(d)) {
            std::string name = e->d_name;
            struct stat st;
            if (name[0] == '.' || stat((data + name + "/timing_gates").c_str(), &st) != 0 ||
                stat((data + name + "/terrain.hf").c_str(), &st) != 0)
                continue;
            out.push_back(name);
        }
        closedir(d);
    }
    std::sort(out.begin(), out.end());
    return out;
}

// Rides (or copies from the cache) the three line files of one track; the process exit code.
int ride_track(std::string data, const std::string& track, const std::string& cache,
               const std::vector<std::string>& keys) {
    const std::string track_dir = data + track + "/";
    std::string key = input_key(track_dir, keys);
    std::string cache_dir = cache.empty() ? "" : cache + "/" + track + "/";
    std::string cached_key;
    if (!cache_dir.empty() && read_bytes(cache_dir + "key", &cached_key) && cached_key == key) {
        bool ok = true;
        for (int skill = 0; skill < 3 && ok; skill++) {
            const char* name = robot_skill_file(skill);
            ok = copy_file(cache_dir + name, track_dir + name);
        }
        if (ok) return 0;
    }

    // The line files this tool wrote last time are outputs, not inputs: left in place, the
    // sessions below would start from them (robots load a track's shipped lines when the user
    // has none), and the lines ridden would depend on what the data folder held before rather
    // than on the key alone.
    for (int skill = 0; skill < 3; skill++) unlink((track_dir + robot_skill_file(skill)).c_str());

    // A private per-user folder: the memory is saved there by the game's own code.
    char home[] = "/tmp/vornix-lines-XXXXXX";
    if (!mkdtemp(home)) return 1;
    setenv("HOME", home, 1);
    setenv("XDG_DATA_HOME", home, 1);
    setenv("QZ_HOME", data.c_str(), 1);
    std::string log = std::string("DRUV_LOGFILE=") + home + "/lines.log";
    log_setup(log.c_str());
    g_settings.headless = 1;
    config_defaults();
    data_reset();
    if (tracklist_build() == 0 || tracklist_find(track.c_str()) < 0) {
        fprintf(stderr, "vornix-lines: no track \"%s\" in %s\n", track.c_str(), data.c_str());
        return 1;
    }
    tracklist_select(tracklist_find(track.c_str()));
    physics_open();
    robot_install();
    bool ok = true;
    for (int skill = 0; skill < 3 && ok; skill++) ok = ride_skill(skill);
    // The last skill's memory is written by a session start like any other.
    int none[MAX_RIDERS] = {};
    if (ok) session_start(none, 0, 0, 0, 1, 0);
    session_free_riders();
    if (g_track.loaded) track_free();
    physics_close_contacts();
    physics_close_world();

    std::string user = std::string(home) + "/Vornix/" + track + "/";
    for (int skill = 0; skill < 3 && ok; skill++) {
        const char* name = robot_skill_file(skill);
        ok = copy_file(user + name, track_dir + name);
        if (ok && !cache_dir.empty()) copy_file(user + name, cache_dir + name);
    }
    if (!ok) {
        fprintf(stderr, "vornix-lines: riding the lines of %s failed (log: %s/lines.log)\n",
                track.c_str(), home);
        return 1;
    }
    if (!cache_dir.empty()) data_save_bytes((cache_dir + "key").c_str(), key.data(), key.size());
    std::string cleanup = std::string("rm -rf '") + home + "'";
    if (system(cleanup.c_str()) != 0) return 0;
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    log_install_new_handler();
    std::string data, cache;
    std::vector<std::string> tracks, keys;
    int jobs = 2;
    for (int k = 1; k < argc; k++) {
        const char* a = argv[k];
        if (!strcmp(a, "--cache") && k + 1 < argc)
            cache = argv[++k];
        else if (!strcmp(a, "--key") && k + 1 < argc)
            keys.push_back(argv[++k]);
        else if (!strcmp(a, "--jobs") && k + 1 < argc)
            jobs = std::max(1, atoi(argv[++k]));
        else if (a[0] == '-')
            return usage();
        else if (data.empty())
            data = a;
        else
            tracks.push_back(a);
    }
    if (data.empty()) return usage();
    if (data.back() != '/') data += '/';
    if (tracks.empty()) tracks = data_tracks(data);
    if (tracks.empty()) {
        fprintf(stderr, "vornix-lines: no tracks in %s\n", data.c_str());
        return 1;
    }
    if (tracks.size() == 1) return ride_track(data, tracks[0], cache, keys);
    // One process per track: the session and the robots' memory are process-wide.
    int running = 0, failed = 0;
    auto reap = [&] {
        int status = 0;
        if (wait(&status) > 0) {
            running--;
            if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) failed = 1;
        }
    };
    for (const std::string& t : tracks) {
        while (running >= jobs) reap();
        fflush(nullptr);
        pid_t pid = fork();
        if (pid < 0) return 1;
        if (pid == 0) _exit(ride_track(data, t, cache, keys));
        running++;
    }
    while (running > 0) reap();
    return failed;
}

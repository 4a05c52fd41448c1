// The data search path, the name list and opening files by name. Reading, writing and gzip
// decompression of open streams are in datafile_stream.cpp.
#include "data/datafile.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <spawn.h>
#include <strings.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>

#include "data/datafile_internal.h"
#include "data/saf.h"
#include "platform/log.h"

extern char** environ;

DataState g_data;

// Longest path formed from a folder and a data name; a longer one is refused rather than cut,
// since a cut name would read or, worse, write some other file.
static const size_t DATA_NAME_PATH_MAX = 511;
// Paths at least this long get no folder creation and no ".gz" retry.
static const size_t DATA_PATH_MAX = 1024;

std::string path_join(const char* a, const char* b) {
    if (!a || !b) return std::string();
    std::string out;
    out.reserve(strlen(a) + strlen(b));
    for (const char* part : {a, b}) {
        for (const char* p = part; *p; p++) {
            char c = *p == '\\' ? '/' : *p;
            if (c == '/' && !out.empty() && out.back() == '/') continue;
            out += c;
        }
    }
    return out;
}

// ---- Search folders ------------------------------------------------------------------------

// The per-user folder: $XDG_DATA_HOME/Vornix/, else $HOME/.local/share/Vornix/. A relative
// XDG_DATA_HOME is ignored, as the XDG base directory rules ask.
static std::string user_folder() {
    const char* xdg = getenv("XDG_DATA_HOME");
    if (xdg && xdg[0] == '/') return path_join(xdg, "/Vornix/");
    const char* home = getenv("HOME");
    if (home && home[0]) return path_join(home, "/.local/share/Vornix/");
    return std::string();
}

// The game folder: $QZ_HOME, else the folder holding the executable. An empty QZ_HOME counts
// as unset: taken literally it would make "/" the game folder and walk the whole file system.
static std::string game_folder() {
    const char* qz = getenv("QZ_HOME");
    if (qz && qz[0]) return path_join(qz, "/");
    char exe[4096];
    ssize_t n = readlink("/proc/self/exe", exe, sizeof exe);
    if (n <= 0 || n >= (ssize_t)sizeof exe) return std::string(); // unknown or cut short
    exe[n] = 0;
    char* slash = strrchr(exe, '/');
    if (!slash) return std::string();
    slash[1] = 0;
    return path_join(exe, "");
}

static void data_folders_build() {
    if (g_data.folders_built) return;
    g_data.folders_built = true;
    g_data.folders.clear();
    std::string user = user_folder();
    if (!user.empty()) g_data.folders.push_back(user);
    std::string game = game_folder();
    if (!game.empty()) g_data.folders.push_back(game);
}

const char* data_folder(int n) {
    data_folders_build();
    if (n < 0 || n >= (int)g_data.folders.size()) return nullptr;
    return g_data.folders[n].c_str();
}

int data_folder_count() {
    data_folders_build();
    return (int)g_data.folders.size();
}

// ---- Name list -----------------------------------------------------------------------------

struct DirId {
    dev_t dev;
    ino_t ino;
};

// Adds every regular file under folder + rel to the entries. Folders reached through a
// symbolic link are walked too, but never one that is already being walked (a link to a
// parent would otherwise recurse without end). Only regular files count: opening a FIFO or a
// device named like an archive would block or never end.
static void data_walk(const std::string& folder, const std::string& rel, int source,
                      std::vector<DirId>* walking) {
    DIR* dir = opendir((folder + rel).c_str());
    if (!dir) return;
    while (struct dirent* e = readdir(dir)) {
        if (strcmp(e->d_name, ".") == 0 || strcmp(e->d_name, "..") == 0) continue;
        std::string name = rel + e->d_name;
        std::string path = folder + name;
        struct stat st;
        if (stat(path.c_str(), &st) != 0) continue;
        if (S_ISDIR(st.st_mode)) {
            bool loop = false;
            for (const DirId& id : *walking) loop |= id.dev == st.st_dev && id.ino == st.st_ino;
            if (loop) continue;
            walking->push_back({st.st_dev, st.st_ino});
            data_walk(folder, name + "/", source, walking);
            walking->pop_back();
        } else if (S_ISREG(st.st_mode)) {
            long long size = std::min<long long>((long long)st.st_size, INT_MAX);
            g_data.entries.push_back({path, name, 0, (int)size, source});
        }
    }
    closedir(dir);
}

static void data_entries_sort() {
    // Stable, so that a name repeated inside one archive keeps its first member in front.
    std::stable_sort(g_data.entries.begin(), g_data.entries.end(),
                     [](const DataEntry& a, const DataEntry& b) {
                         int c = strcmp(a.name.c_str(), b.name.c_str());
                         return c != 0 ? c < 0 : a.source < b.source;
                     });
}

static bool ends_with(const std::string& s, const char* tail) {
    size_t n = strlen(tail);
    return s.size() >= n && s.compare(s.size() - n, n, tail) == 0;
}

static void data_names_build() {
    if (g_data.names_built) return;
    data_folders_build();
    g_data.names_built = true;
    g_data.entries.clear();
    g_data.names.clear();

    // 1. Every file of every search folder, named relative to its folder.
    int folders = (int)g_data.folders.size();
    for (int n = 0; n < folders; n++) {
        const std::string& folder = g_data.folders[n];
        std::vector<DirId> walking;
        struct stat st;
        if (stat(folder.c_str(), &st) == 0) walking.push_back({st.st_dev, st.st_ino});
        data_walk(folder, "", n, &walking);
    }
    // 2. By name, then folder.
    data_entries_sort();
    // 3. Archives in that order, numbered from the folder count up; each number is used once
    // whether or not the archive turns out to be valid.
    size_t loose = g_data.entries.size();
    int number = folders;
    for (size_t i = 0; i < loose; i++) {
        const DataEntry& e = g_data.entries[i];
        if (e.name.size() <= 4 || !ends_with(e.name, ".saf")) continue;
        int source = number++;
        std::string path = e.path; // the vector may grow below
        FILE* f = fopen(path.c_str(), "rb");
        if (!f) continue;
        std::vector<SafMember> members;
        int valid = saf_read_directory(f, &members);
        fclose(f);
        if (!valid) continue;
        for (const SafMember& m : members) {
            // A line with no name still takes its place in the data but names nothing.
            if (m.name.empty()) continue;
            g_data.entries.push_back({path, m.name, m.offset, m.size, source});
        }
    }
    // 4. Again, so loose files precede members and earlier archives later ones.
    data_entries_sort();
    // 5. One pointer per distinct name.
    for (const DataEntry& e : g_data.entries)
        if (g_data.names.empty() || strcmp(g_data.names.back(), e.name.c_str()) != 0)
            g_data.names.push_back(e.name.c_str());
    g_data.names.push_back(nullptr);
}

const char* const* data_names() {
    data_names_build();
    return g_data.names.data();
}

const std::vector<DataEntry>& data_entries() {
    data_names_build();
    return g_data.entries;
}

void data_rescan() {
    g_data.names_built = false;
    g_data.entries.clear();
    g_data.names.clear();
}

void data_reset() {
    g_data.folders_built = false;
    g_data.folders.clear();
    g_data.names_built = false;
    g_data.entries.clear();
    g_data.names.clear();
}

// ---- Opening -------------------------------------------------------------------------------

void data_make_dirs(const char* path) {
    if (!path) return;
    size_t n = strlen(path);
    if (n >= DATA_PATH_MAX) return;
    for (size_t i = 0; i < n; i++) {
        // The text before the first "/" of each run names one folder level.
        if (path[i] == '/' && i > 0 && path[i - 1] != '/')
            mkdir(std::string(path, i).c_str(), 0777);
    }
}

static bool mode_reads(const char* mode) {
    return strchr(mode, 'r') && !strchr(mode, '+');
}

// fopen that reads regular files only. On Linux a folder opens for reading and then reads
// nothing, which would pass for an empty data file and hide the real one further down the
// path; a device such as /dev/zero never ends, and a FIFO would block the open itself (hence
// the non-blocking open, checked before any byte is read).
static FILE* open_file(const char* path, const char* mode) {
    if (!mode_reads(mode)) return fopen(path, mode);
    int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return nullptr;
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(fd);
        return nullptr;
    }
    int flags = fcntl(fd, F_GETFL);
    if (flags >= 0) fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    FILE* f = fdopen(fd, mode);
    if (!f) close(fd);
    return f;
}

static void stream_clear(DataFile* s) {
    s->name[0] = 0;
    s->file = nullptr;
    s->base = 0;
    s->limit = 0;
    s->position = 0;
    s->pushback = -1;
    s->compressed = false;
    s->inflate = nullptr;
}

// Sets a stream up over an open file; starts decompression when asked. On failure the file is
// closed and the stream left cleared.
static int stream_start(DataFile* s, FILE* f, long long base, long long limit, bool compressed) {
    stream_clear(s);
    s->file = f;
    s->base = base;
    s->limit = limit;
    s->compressed = compressed;
    if (compressed && !data_inflate_start(s)) {
        fclose(f);
        stream_clear(s);
        return 0;
    }
    return 1;
}

static int open_path(DataFile* s, const char* path, const char* mode) {
    bool reading = mode_reads(mode);
    size_t n = strlen(path);
    if (!reading && n < DATA_PATH_MAX) data_make_dirs(path);
    FILE* f = open_file(path, mode);
    bool compressed = false;
    if (!f && reading && n + 3 < DATA_PATH_MAX) {
        f = open_file((std::string(path) + ".gz").c_str(), mode);
        compressed = true;
    }
    if (!f) return 0;
    return stream_start(s, f, 0, INT_MAX, compressed);
}

// The first entry, in name-list order, whose name is the wanted one or the wanted one plus
// ".gz", ignoring letter case.
static const DataEntry* entry_find(const char* name, bool* compressed) {
    size_t n = strlen(name);
    for (const DataEntry& e : g_data.entries) {
        if (strcasecmp(e.name.c_str(), name) == 0) {
            *compressed = false;
            return &e;
        }
        if (e.name.size() == n + 3 && strncasecmp(e.name.c_str(), name, n) == 0 &&
            strcasecmp(e.name.c_str() + n, ".gz") == 0) {
            *compressed = true;
            return &e;
        }
    }
    return nullptr;
}

// Keeps the name a stream was opened under, for the messages about its contents.
static int stream_named(DataFile* s, const char* name, int ok) {
    if (ok) snprintf(s->name, sizeof s->name, "%s", name);
    return ok;
}

int data_open_in(DataFile* s, const char* name, const char* mode) {
    stream_clear(s);
    if (!name || !mode) return 0;
    data_names_build();
    if (name[0] != '@') return stream_named(s, name, open_path(s, name, mode));

    const char* rest = name + 1;
    for (const std::string& folder : g_data.folders) {
        if (folder.size() + strlen(rest) > DATA_NAME_PATH_MAX) continue;
        if (open_path(s, (folder + rest).c_str(), mode)) return stream_named(s, name, 1);
    }
    if (!mode_reads(mode)) return 0;

    bool compressed = false;
    const DataEntry* e = entry_find(rest, &compressed);
    if (!e) return 0;
    FILE* f = open_file(e->path.c_str(), "rb");
    if (!f) return 0;
    if (fseek(f, e->offset, SEEK_SET) != 0) {
        fclose(f);
        return 0;
    }
    return stream_named(s, name, stream_start(s, f, e->offset, e->size, compressed));
}

DataFile* data_open_stream(FILE* f, const char* name) {
    if (!f) return nullptr;
    DataFile* s = (DataFile*)xmalloc(sizeof(DataFile));
    stream_start(s, f, 0, INT_MAX, false);
    stream_named(s, name ? name : "", 1);
    return s;
}

DataFile* data_open(const char* name, const char* mode) {
    DataFile* s = (DataFile*)xmalloc(sizeof(DataFile));
    if (!data_open_in(s, name, mode)) {
        free(s);
        return nullptr;
    }
    return s;
}

void data_close_in(DataFile* s) {
    if (!s) return;
    data_inflate_end(s);
    if (s->file) fclose(s->file);
    stream_clear(s);
}

void data_close(DataFile* s) {
    if (!s) return;
    data_close_in(s);
    free(s);
}

// ---- Files in folder 0 ---------------------------------------------------------------------

// "@name" means folder 0 + name; anything else is a path. 0 when the path cannot be formed.
static int rename_path(const char* name, std::string* out) {
    if (name[0] != '@') {
        *out = name;
        return 1;
    }
    const char* folder = data_folder(0);
    if (!folder) return 0;
    *out = std::string(folder) + (name + 1);
    return out->size() <= DATA_NAME_PATH_MAX;
}

int data_rename(const char* old_name, const char* new_name) {
    if (!old_name || !new_name) return 0;
    std::string from, to;
    if (!rename_path(old_name, &from) || !rename_path(new_name, &to)) return 0;
    return rename(from.c_str(), to.c_str()) == 0;
}

void open_user_folder() {
    const char* folder = data_folder(0);
    if (!folder) return;
    data_make_dirs(folder);
    std::string native = folder;
    while (native.size() > 1 && native.back() == '/') native.pop_back();

    // A short-lived shell starts xdg-open in the background and exits at once, so the game never
    // waits for the file browser and leaves no child behind; a missing xdg-open only makes the
    // shell complain into /dev/null.
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 34))
    // The log, sockets and the like stay with the game, not with the file browser.
    posix_spawn_file_actions_addclosefrom_np(&actions, 3);
#endif
    const char* script = "xdg-open \"$1\" &";
    char* argv[] = {(char*)"sh", (char*)"-c", (char*)script, (char*)"sh", native.data(), nullptr};
    pid_t pid;
    if (posix_spawn(&pid, "/bin/sh", &actions, nullptr, argv, environ) == 0) {
        int status;
        while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
    }
    posix_spawn_file_actions_destroy(&actions);
}

int data_load(const char* name, std::vector<unsigned char>* out) {
    out->clear();
    DataFile* f = data_open(name, "rb");
    if (!f) return 0;
    unsigned char buffer[16384];
    size_t got;
    while ((got = data_read(f, buffer, sizeof buffer)) > 0)
        out->insert(out->end(), buffer, buffer + got);
    int ok = !data_error(f);
    data_close(f);
    if (!ok) out->clear();
    return ok;
}

// ---- Range checks --------------------------------------------------------------------------

const char* data_file_label(const DataFile* s) {
    if (!s || !s->name[0]) return "data file";
    return s->name[0] == '@' ? s->name + 1 : s->name;
}

float data_check_range_in(const char* file, const char* what, float v, float lo, float hi,
                          float fallback) {
    float use = v;
    if (std::isnan(v))
        use = fallback;
    else if (v < lo)
        use = lo;
    else if (v > hi)
        use = hi;
    else
        return v;
    if (!file || !*file) file = "data file";
    if (file[0] == '@') file++;
    log_printf("Warning: %.300s: %s %g out of range (%g to %g), using %g\n", file, what, (double)v,
               (double)lo, (double)hi, (double)use);
    return use;
}

float data_check_range(const DataFile* s, const char* what, float v, float lo, float hi,
                       float fallback) {
    return data_check_range_in(data_file_label(s), what, v, lo, hi, fallback);
}

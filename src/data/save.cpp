// Atomic saving: temporary file, flush to the disk, rename over the name.
#include "data/save.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "data/datafile.h"

namespace {

// The failure the tests inject into the temporaries (see data_save_inject_failure).
struct SaveFaults {
    long long fail_after = -1; // bytes a temporary takes before its writes fail; -1 none
    int error = 0;             // errno of the failing writes
};
SaveFaults g_save_faults;
int g_save_failures = 0;

// What a temporary's stdio stream writes into: the file itself, the first write error met
// (stdio keeps only a flag, and errno may be long gone by the commit) and the injected limit.
struct SaveSink {
    int fd;
    int first_errno = 0;
    long long written = 0;
    long long fail_after;
    int fail_error;
};

ssize_t sink_write(void* cookie, const char* buf, size_t n) {
    SaveSink* k = (SaveSink*)cookie;
    size_t done = 0;
    while (done < n) {
        size_t want = n - done;
        if (k->fail_after >= 0) {
            long long room = k->fail_after - k->written;
            if (room <= 0) {
                errno = k->fail_error;
                break;
            }
            if ((long long)want > room) want = (size_t)room; // the short write before it
        }
        ssize_t w = write(k->fd, buf + done, want);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) {
            if (w == 0) errno = EIO;
            break;
        }
        done += (size_t)w;
        k->written += w;
    }
    if (done < n && !k->first_errno) k->first_errno = errno ? errno : EIO;
    // A partial count makes stdio call again with the rest, which then fails.
    return done > 0 ? (ssize_t)done : -1;
}

int sink_close(void* cookie) {
    SaveSink* k = (SaveSink*)cookie;
    int r = close(k->fd);
    delete k;
    return r;
}

// The path a save name stands for; "" when it cannot be formed.
std::string save_path(const char* name) {
    if (!name || !name[0]) return "";
    if (name[0] != '@') return name;
    const char* folder = data_folder(0);
    if (!folder) return "";
    return std::string(folder) + (name + 1);
}

// The folder part of a path, "." for none.
std::string folder_of(const std::string& path) {
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash + 1);
}

// Makes the rename itself survive a power cut on file systems that need the folder synced.
void sync_folder(const std::string& path) {
    int fd = open(folder_of(path).c_str(), O_RDONLY | O_DIRECTORY);
    if (fd < 0) return;
    fsync(fd);
    close(fd);
}

// Removes the temporaries of this name that a killed or crashed run left behind: those whose
// process no longer exists. A running game's temporary is never touched.
void remove_stale_temporaries(const std::string& path) {
    std::string folder = folder_of(path);
    std::string prefix = path.substr(path.rfind('/') + 1) + ".tmp";
    DIR* d = opendir(folder.c_str());
    if (!d) return;
    while (dirent* e = readdir(d)) {
        if (strncmp(e->d_name, prefix.c_str(), prefix.size()) != 0) continue;
        const char* digits = e->d_name + prefix.size();
        char* end;
        errno = 0;
        long pid = strtol(digits, &end, 10);
        if (end == digits || *end || errno || pid <= 0 || pid > INT_MAX || pid == (long)getpid())
            continue;
        if (kill((pid_t)pid, 0) != 0 && errno == ESRCH) unlink((folder + e->d_name).c_str());
    }
    closedir(d);
}

} // namespace

void data_save_inject_failure(long long bytes, int error) {
    g_save_faults.fail_after = bytes;
    g_save_faults.error = error;
}

int data_save_failures() {
    return g_save_failures;
}

void data_save_reset() {
    g_save_faults = SaveFaults();
    g_save_failures = 0;
}

int data_save_begin(const char* name, DataSave* save) {
    save->file = nullptr;
    save->sink = nullptr;
    save->error.clear();
    save->temp.clear();
    save->path = save_path(name);
    if (save->path.empty() || save->path.back() == '/') {
        save->error = "can't create";
        g_save_failures++;
        return 0;
    }
    // A name that is a symbolic link keeps its link: the file it points at is replaced.
    struct stat st;
    if (lstat(save->path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        if (char* real = realpath(save->path.c_str(), nullptr)) {
            save->path = real;
            free(real);
        }
    }
    // A folder, device or FIFO in the name's place is not ours to replace.
    if (stat(save->path.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
        save->error = "not a file";
        g_save_failures++;
        return 0;
    }
    data_make_dirs(save->path.c_str());
    remove_stale_temporaries(save->path);
    // One temporary per process, so two running games never write the same one.
    save->temp = save->path + ".tmp" + std::to_string((long)getpid());
    int fd = open(save->temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) {
        save->error = errno == ENOSPC || errno == EDQUOT ? "disk full" : "can't create";
        save->temp.clear(); // nothing of ours is there to remove
        g_save_failures++;
        return 0;
    }
    SaveSink* sink = new SaveSink{fd, 0, 0, g_save_faults.fail_after, g_save_faults.error};
    FILE* f =
        fopencookie(sink, "wb", cookie_io_functions_t{nullptr, sink_write, nullptr, sink_close});
    if (!f) {
        close(fd);
        delete sink;
        unlink(save->temp.c_str());
        save->temp.clear();
        save->error = "can't create";
        g_save_failures++;
        return 0;
    }
    save->sink = sink;
    save->file = data_open_stream(f, name);
    return 1;
}

// Flushes the temporary to the disk and closes it; on failure it is removed.
static int save_finish(DataSave* save) {
    if (!save->file) {
        if (save->error.empty()) save->error = "can't create";
        return 0;
    }
    SaveSink* sink = (SaveSink*)save->sink;
    FILE* f = save->file->file;
    bool ok = data_flush(save->file) == 0 && !ferror(f);
    int error = sink->first_errno;
    if (ok && fsync(sink->fd) != 0 && errno != EINVAL) {
        ok = false;
        error = errno;
    }
    data_close(save->file); // closes the sink too
    save->file = nullptr;
    save->sink = nullptr;
    if (!ok) {
        save->error = error == ENOSPC || error == EDQUOT ? "disk full" : "write failed";
        remove(save->temp.c_str());
        return 0;
    }
    return 1;
}

// Puts a finished temporary in place under its name.
static int save_rename(DataSave* save) {
    if (rename(save->temp.c_str(), save->path.c_str()) != 0) {
        save->error = "can't rename";
        remove(save->temp.c_str());
        return 0;
    }
    sync_folder(save->path);
    return 1;
}

int data_save_commit(DataSave* save) {
    int ok = save_finish(save) && save_rename(save);
    if (!ok) g_save_failures++;
    return ok;
}

void data_save_abort(DataSave* save) {
    // Given up after a failed write (a demo on a full disk) is a lost save like any other.
    if (save->file && data_save_write_error(save)) g_save_failures++;
    if (save->file) data_close(save->file);
    save->file = nullptr;
    save->sink = nullptr;
    if (!save->temp.empty()) remove(save->temp.c_str());
}

int data_save_write_error(const DataSave* save) {
    if (!save->file) return 0;
    const SaveSink* sink = (const SaveSink*)save->sink;
    return ferror(save->file->file) || (sink && sink->first_errno) ? 1 : 0;
}

const char* data_save_error_text(const DataSave* save) {
    const SaveSink* sink = (const SaveSink*)save->sink;
    int e = sink ? sink->first_errno : 0;
    return e == ENOSPC || e == EDQUOT ? "disk full" : "write failed";
}

int data_save_bytes(const char* name, const void* bytes, size_t n, std::string* error) {
    DataSave save;
    int ok = data_save_begin(name, &save);
    if (ok && n) data_write(save.file, bytes, n);
    if (ok) ok = data_save_commit(&save);
    if (error) *error = save.error;
    return ok;
}

DataFile* data_save_set_add(DataSaveSet* set, const char* name) {
    set->saves.emplace_back();
    DataSave* save = &set->saves.back();
    if (data_save_begin(name, save)) return save->file;
    if (set->error.empty()) set->error = std::string(name ? name : "") + ": " + save->error;
    return nullptr;
}

int data_save_set_commit(DataSaveSet* set) {
    // First every file onto the disk beside its name: nothing is replaced yet.
    int ok = set->error.empty();
    for (DataSave& save : set->saves) {
        if (ok && !save_finish(&save)) {
            ok = 0;
            set->error = save.path + ": " + save.error;
        }
    }
    if (!ok) {
        data_save_set_abort(set);
        g_save_failures++;
        return 0;
    }
    // Then the renames, in order.
    for (size_t i = 0; i < set->saves.size(); i++) {
        if (save_rename(&set->saves[i])) continue;
        set->error = set->saves[i].path + ": " + set->saves[i].error;
        for (size_t k = i + 1; k < set->saves.size(); k++) remove(set->saves[k].temp.c_str());
        set->saves.clear();
        g_save_failures++;
        return 0;
    }
    set->saves.clear();
    return 1;
}

void data_save_set_abort(DataSaveSet* set) {
    for (DataSave& save : set->saves) data_save_abort(&save);
    set->saves.clear();
}

// Atomic saving: temporary file, flush to the disk, rename over the name.
#include "data/save.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "data/datafile.h"

namespace {

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

} // namespace

int data_save_begin(const char* name, DataSave* save) {
    save->file = nullptr;
    save->error.clear();
    save->path = save_path(name);
    if (save->path.empty() || save->path.back() == '/') {
        save->error = "can't create";
        return 0;
    }
    data_make_dirs(save->path.c_str());
    // One temporary per process, so two running games never write the same one.
    save->temp = save->path + ".tmp" + std::to_string((long)getpid());
    save->file = data_open(save->temp.c_str(), "wb");
    if (!save->file) {
        save->error = "can't create";
        return 0;
    }
    return 1;
}

// Flushes the temporary to the disk and closes it; on failure it is removed.
static int save_finish(DataSave* save) {
    if (!save->file) {
        if (save->error.empty()) save->error = "can't create";
        return 0;
    }
    bool ok = data_flush(save->file) == 0;
    FILE* f = save->file->file;
    if (ok && f && (fflush(f) != 0 || ferror(f))) ok = false;
    if (ok && f && fsync(fileno(f)) != 0 && errno != EINVAL) ok = false;
    int write_errno = errno;
    data_close(save->file);
    save->file = nullptr;
    if (!ok) {
        save->error = write_errno == ENOSPC ? "disk full" : "write failed";
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
    return save_finish(save) && save_rename(save);
}

void data_save_abort(DataSave* save) {
    if (save->file) data_close(save->file);
    save->file = nullptr;
    if (!save->temp.empty()) remove(save->temp.c_str());
}

int data_save_bytes(const char* name, const void* bytes, size_t n, std::string* error) {
    DataSave save;
    int ok = data_save_begin(name, &save);
    if (ok && n && data_write(save.file, bytes, n) != n) {
        data_save_abort(&save);
        save.error = errno == ENOSPC ? "disk full" : "write failed";
        ok = 0;
    } else if (ok) {
        ok = data_save_commit(&save);
    }
    if (error) *error = save.error;
    return ok;
}

DataFile* data_save_set_add(DataSaveSet* set, const char* name) {
    set->saves.emplace_back();
    DataSave* save = &set->saves.back();
    if (data_save_begin(name, save)) return save->file;
    save->temp.clear(); // nothing of ours is there to remove
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
        return 0;
    }
    // Then the renames, in order.
    for (size_t i = 0; i < set->saves.size(); i++) {
        if (save_rename(&set->saves[i])) continue;
        set->error = set->saves[i].path + ": " + set->saves[i].error;
        for (size_t k = i + 1; k < set->saves.size(); k++) remove(set->saves[k].temp.c_str());
        set->saves.clear();
        return 0;
    }
    set->saves.clear();
    return 1;
}

void data_save_set_abort(DataSaveSet* set) {
    for (DataSave& save : set->saves) data_save_abort(&save);
    set->saves.clear();
}

// What the fuzz targets share: a private folder for the run, removed when it ends, and the
// input written there as a file.
//
// Every input is accepted, names of files included: the readers open only regular files (a
// device or FIFO named in an input is refused, data/datafile.h), and the run's working folder
// is its private folder, so a relative name in an input stays inside it.
#pragma once

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "core/settings.h"

// The run's folder ("" before fuzz_temp_folder made it).
inline std::string& fuzz_folder_name() {
    static std::string name;
    return name;
}

inline void fuzz_remove_folder() {
    std::error_code ignored;
    if (!fuzz_folder_name().empty()) std::filesystem::remove_all(fuzz_folder_name(), ignored);
}

// Makes the run's own empty folder under /tmp (once) and moves the working folder into it. It
// is removed with everything in it when the run ends: libFuzzer ends a run with exit(), so the
// handler runs; a crash leaves it for the post-mortem.
inline std::string fuzz_temp_folder() {
    std::string& name = fuzz_folder_name();
    if (name.empty()) {
        char dir[] = "/tmp/vornix-fuzz-XXXXXX";
        if (!mkdtemp(dir)) abort();
        name = dir;
        atexit(fuzz_remove_folder);
        if (chdir(dir) != 0) abort();
    }
    return name;
}

// The run's folder as the per-user folder, the game folder and HOME, so "@" names find nothing
// and writers touch nothing else; the log goes nowhere and nothing opens a window. Returns the
// folder.
inline std::string fuzz_private_folder() {
    std::string dir = fuzz_temp_folder();
    setenv("HOME", dir.c_str(), 1);
    setenv("XDG_DATA_HOME", dir.c_str(), 1);
    setenv("QZ_HOME", dir.c_str(), 1);
    setenv("DRUV_LOGFILE", "/dev/null", 1);
    g_settings.headless = 1;
    return dir;
}

// Writes bytes to `path`; false when it cannot.
inline bool fuzz_write_input(const std::string& path, const uint8_t* data, size_t size) {
    FILE* out = fopen(path.c_str(), "wb");
    if (!out) return false;
    bool ok = size == 0 || fwrite(data, 1, size, out) == size;
    return fclose(out) == 0 && ok;
}

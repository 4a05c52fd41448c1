// What the file-reading fuzz targets share: a private empty folder for the run and the input
// written there as a file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "core/settings.h"

// Makes an empty folder of the run's own and points the per-user folder, the game folder and
// HOME there, so "@" names find nothing and writers touch nothing else; the log goes nowhere
// and nothing opens a window. Returns the folder.
inline std::string fuzz_private_folder() {
    char dir[] = "/tmp/vornix-fuzz-XXXXXX";
    if (!mkdtemp(dir)) abort();
    setenv("HOME", dir, 1);
    setenv("XDG_DATA_HOME", dir, 1);
    setenv("QZ_HOME", dir, 1);
    setenv("DRUV_LOGFILE", "/dev/null", 1);
    g_settings.headless = 1;
    return dir;
}

// Readers open the names they find in their input as files: an input naming a path (a '/')
// could reach devices or pipes, so such inputs are skipped.
inline bool fuzz_names_a_path(const uint8_t* data, size_t size) {
    for (size_t i = 0; i < size; i++)
        if (data[i] == '/') return true;
    return false;
}

// Writes the input to `path`; false when it cannot.
inline bool fuzz_write_input(const std::string& path, const uint8_t* data, size_t size) {
    FILE* out = fopen(path.c_str(), "wb");
    if (!out) return false;
    bool ok = fwrite(data, 1, size, out) == size;
    return fclose(out) == 0 && ok;
}

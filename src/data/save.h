// Saving a file whole or not at all. Everything the program writes for keeps (configuration,
// demos, results, standings, learned lines, tracks, screenshots) goes through here: the data
// is written to a temporary file beside its name, flushed to the disk and renamed over the
// name, so a crash, a kill or a full disk mid-save leaves the old file as it was.
//
// Names: "@name" is the per-user folder (folder 0) + name, its folders created as needed; the
// game's own folder is never written. Any other name is a path.
//
// Return contract: 1 when the new file is in place, 0 otherwise; on failure the reason is in
// DataSave::error ("can't create", "write failed", "disk full", "can't rename") and the
// temporary file is gone.
#pragma once

#include <cstddef>
#include <string>

struct DataFile;

struct DataSave {
    DataFile* file = nullptr; // write the contents through this (data_write, data_printf)
    std::string path;         // the file being replaced
    std::string temp;         // the temporary file written first
    std::string error;        // why the save failed, "" while it has not
};

// Opens the temporary file for a save of `name`; 0 (with save->error) when it cannot.
int data_save_begin(const char* name, DataSave* save);
// Flushes the contents to the disk and puts them in place under the name. Closes the file
// either way.
int data_save_commit(DataSave* save);
// Gives the save up: the temporary file is removed and the old file stays.
void data_save_abort(DataSave* save);
// The whole save of a buffer of bytes.
int data_save_bytes(const char* name, const void* bytes, size_t n, std::string* error = nullptr);

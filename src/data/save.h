// Saving a file whole or not at all. Everything the program writes for keeps (configuration,
// demos, results, standings, learned lines, tracks, screenshots) goes through here: the data
// is written to a temporary file beside its name, flushed to the disk and renamed over the
// name, so a crash, a kill or a full disk mid-save leaves the old file as it was.
//
// Names: "@name" is the per-user folder (folder 0) + name, its folders created as needed; the
// game's own folder is never written. Any other name is a path.
//
// A name that is a symbolic link replaces the file the link points at; a folder, device or FIFO
// in the name's place is never replaced ("not a file"). Temporaries left beside the name by a
// run that was killed before its rename are removed by the next save of that name.
//
// Return contract: 1 when the new file is in place, 0 otherwise; on failure the reason is in
// DataSave::error ("can't create", "not a file", "write failed", "disk full", "can't rename")
// and the temporary file is gone. Writes into the stream need no checks of their own: the
// first write error is kept and fails the commit.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

struct DataFile;

struct DataSave {
    DataFile* file = nullptr; // write the contents through this (data_write, data_printf)
    std::string path;         // the file being replaced
    std::string temp;         // the temporary file written first
    std::string error;        // why the save failed, "" while it has not
    void* sink = nullptr;     // the temporary's writer (first write error), owned by `file`
};

// Opens the temporary file for a save of `name`; 0 (with save->error) when it cannot.
int data_save_begin(const char* name, DataSave* save);
// Flushes the contents to the disk and puts them in place under the name. Closes the file
// either way.
int data_save_commit(DataSave* save);
// Gives the save up: the temporary file is removed and the old file stays (counted as a
// failed save when a write into it had failed).
void data_save_abort(DataSave* save);
// 1 once a write into the save's stream has failed (a save written over a long time, such as
// a demo, can give up early); data_save_error_text says why ("disk full" or "write failed").
int data_save_write_error(const DataSave* save);
const char* data_save_error_text(const DataSave* save);
// The whole save of a buffer of bytes.
int data_save_bytes(const char* name, const void* bytes, size_t n, std::string* error = nullptr);

// Several files saved as one (a whole track): each file is written to its own temporary, and
// only when every one of them is written and on the disk are they renamed into place, so a
// failure while writing leaves every old file as it was.
struct DataSaveSet {
    std::vector<DataSave> saves; // in the order they were added, renamed in that order
    std::string error;           // "<name>: <reason>" of the first failure, "" while none
};

// Opens the temporary of one more file of the set and returns its stream; null when it cannot
// be created (the set has then failed: set->error says why, and the rest may be skipped).
DataFile* data_save_set_add(DataSaveSet* set, const char* name);
// Flushes every file to the disk, then renames them all into place. 1 when all are in place.
// On a write failure nothing is replaced; a rename failing part way (not expected within one
// folder) leaves the files renamed before it new and the rest old. Temporaries never remain.
int data_save_set_commit(DataSaveSet* set);
// Gives the whole set up: every temporary is removed, every old file stays.
void data_save_set_abort(DataSaveSet* set);

// How many saves have failed since start-up (the program's exit status reports them).
int data_save_failures();
// Test seam: the temporaries of later saves take `bytes` bytes, then every write fails with
// errno `error` (ENOSPC stands for a full disk); a negative count ends it.
void data_save_inject_failure(long long bytes, int error);
// Forgets the failure count and any injected failure (tests).
void data_save_reset();

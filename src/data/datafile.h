// The data search path, ".saf" archives, gzip data and the one stream type for all file access.
//
// A name beginning with "@" is a data name: looked up in the search folders (the per-user
// folder, then the game folder), then among the archive members; any other name is a path.
// A file missing under its own name is also tried with ".gz" and then read decompressed.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>
#include <vector>

struct z_stream_s;

// One readable data name: a loose file or an archive member.
struct DataEntry {
    std::string path; // the file to open: the loose file itself or the archive
    std::string name; // the data name relative to its folder
    int offset;       // byte offset of the data in path
    int size;         // byte length
    int source;       // folder index for a loose file, above every folder index for a member
};

// Decompression state of a gzip stream.
struct DataInflate {
    z_stream_s* z;
    unsigned char in[16384];
    unsigned char out[1024];
    int out_read;        // next byte of out to deliver
    int out_end;         // bytes produced into out
    long long zlimit;    // compressed bytes that may be read
    long long zconsumed; // compressed bytes read so far
    int end_of_stream;
    int input_done; // no more compressed input can be read
    int error;      // the data ended early: corrupt or cut-short deflate data
};

constexpr int DATA_FILE_NAME_SIZE = 256;

struct DataFile {
    FILE* file;
    long long base;     // byte offset of the data in the file
    long long limit;    // bytes that may be read (2147483647 for a plain file)
    long long position; // bytes consumed from base
    int pushback;       // one byte pushed back by the scanner, -1 when none
    bool compressed;
    DataInflate* inflate;           // only when compressed
    char name[DATA_FILE_NAME_SIZE]; // the name it was opened under (cut to fit), for messages
};

// Process-wide search path and name list, built once on first use.
struct DataState {
    bool folders_built = false;
    std::vector<std::string> folders; // each ends in "/"
    bool names_built = false;
    std::vector<DataEntry> entries; // sorted by name, then source
    std::vector<const char*> names; // distinct names in strcmp order, null-terminated
};
extern DataState g_data;

// The n-th search folder ("…/" form), or null.
const char* data_folder(int n);
int data_folder_count();
// a + b with "\" turned into "/" and runs of "/" collapsed; empty result only on bad input.
std::string path_join(const char* a, const char* b);
// The sorted, null-terminated list of every data name.
const char* const* data_names();
const std::vector<DataEntry>& data_entries();
// Forgets the search folders and the name list so they are built again (tests, after QZ_HOME
// changes).
void data_reset();
// Forgets the name list only, so files written since it was built (demos, screenshots) join
// it at the next look; the search folders stay.
void data_rescan();

// Opens a data name or a path. Reading takes regular files only: a folder, a device (such as
// /dev/zero) or a FIFO is refused at once rather than read for ever or waited on.
DataFile* data_open(const char* name, const char* mode);
int data_open_in(DataFile* stream, const char* name, const char* mode);
// A stream over a stdio file the caller opened (for writing); it owns the file from then on.
DataFile* data_open_stream(FILE* file, const char* name);
void data_close(DataFile* stream);
void data_close_in(DataFile* stream);

int data_getc(DataFile* stream); // 0..255, or -1 at the end of the data
int data_peek(DataFile* stream); // the next byte without consuming it, or -1
char* data_gets(DataFile* stream, char* buffer, int n);
size_t data_read(DataFile* stream, void* buffer, size_t n);
int data_seek(DataFile* stream, long long offset); // uncompressed streams only; 1 on success
// 1 when the data ended early because of a read error or corrupt or cut-short gzip data.
int data_error(DataFile* stream);

int data_putc(DataFile* stream, int c);
int data_puts(DataFile* stream, const char* text);
size_t data_write(DataFile* stream, const void* bytes, size_t n);
int data_printf(DataFile* stream, const char* format, ...) __attribute__((format(printf, 2, 3)));
int data_flush(DataFile* stream);

// Renames a file; "@" names mean folder 0 + the rest. 1 on success.
int data_rename(const char* old_name, const char* new_name);
// Creates every directory level of a path (up to its last "/"); errors are ignored.
void data_make_dirs(const char* path);
// Creates folder 0 and opens it in the desktop's file browser.
void open_user_folder();

// Range checks of physical values read from data files. A value outside lo..hi is clamped into
// it and one that is not a number becomes `fallback`; either is logged as a warning naming the
// file (the stream's name or `file`, without a leading "@"), what the value is and the value
// read. Returns the value to use.
float data_check_range(const DataFile* stream, const char* what, float value, float lo, float hi,
                       float fallback);
float data_check_range_in(const char* file, const char* what, float value, float lo, float hi,
                          float fallback);
// The file name a stream is reported under: its name without a leading "@".
const char* data_file_label(const DataFile* stream);

// Reads a whole data file into memory; 1 on success, 0 when it cannot be opened or its data
// end early (data_error).
int data_load(const char* name, std::vector<unsigned char>* out);

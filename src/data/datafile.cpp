// Placeholder until the data access layer lands: nothing is found, nothing opens.
#include "data/datafile.h"

DataState g_data;

const char* data_folder(int) { return nullptr; }
int data_folder_count() { return 0; }
std::string path_join(const char* a, const char* b) { return std::string(a) + b; }
const char* const* data_names() {
    static const char* none[] = {nullptr};
    return none;
}
const std::vector<DataEntry>& data_entries() { return g_data.entries; }
void data_reset() {}
DataFile* data_open(const char*, const char*) { return nullptr; }
int data_open_in(DataFile*, const char*, const char*) { return 0; }
void data_close(DataFile*) {}
void data_close_in(DataFile*) {}
int data_getc(DataFile*) { return -1; }
int data_peek(DataFile*) { return -1; }
char* data_gets(DataFile*, char*, int) { return nullptr; }
size_t data_read(DataFile*, void*, size_t) { return 0; }
int data_seek(DataFile*, long long) { return 0; }
int data_putc(DataFile*, int) { return -1; }
int data_puts(DataFile*, const char*) { return -1; }
size_t data_write(DataFile*, const void*, size_t) { return 0; }
int data_printf(DataFile*, const char*, ...) { return -1; }
int data_flush(DataFile*) { return -1; }
int data_rename(const char*, const char*) { return 0; }
void data_make_dirs(const char*) {}
void open_user_folder() {}
int data_load(const char*, std::vector<unsigned char>*) { return 0; }

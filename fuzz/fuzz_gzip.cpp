// Fuzzes the gzip header parser and the inflating reader: the input is read once as a loose
// ".gz" file through the ".gz" fallback and once as an archive member followed by other bytes.
// Both see the same compressed bytes, so both must give the same data and the same verdict.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "fuzz_util.h"
#include "data/datafile.h"

static std::string g_dir, g_game;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    std::string dir = fuzz_temp_folder();
    g_dir = dir;
    g_game = dir + "/game";
    mkdir(g_game.c_str(), 0755);
    setenv("XDG_DATA_HOME", (dir + "/user").c_str(), 1);
    setenv("QZ_HOME", g_game.c_str(), 1);
    return 0;
}

static void write_bytes(const std::string& path, const std::string& bytes) {
    FILE* f = fopen(path.c_str(), "wb");
    if (!f) abort();
    fwrite(bytes.data(), 1, bytes.size(), f);
    fclose(f);
}

// Reads a stream to its end (at most 256 KB), mixing the ways of reading. Returns 0 when the
// stream did not open.
static int read_stream(const char* name, std::string* out, int* error) {
    DataFile* s = data_open(name, "rb");
    if (!s) return 0;
    char buffer[1500];
    for (int round = 0; out->size() < (1u << 18); round++) {
        if (round % 2 == 0) {
            int c = data_peek(s);
            if (c < 0 || data_getc(s) != c) break;
            *out += (char)c;
        } else {
            size_t n = data_read(s, buffer, sizeof buffer);
            if (n == 0) break;
            out->append(buffer, n);
        }
    }
    *error = data_error(s);
    data_close(s);
    return 1;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string input((const char*)data, size);
    write_bytes(g_game + "/in.gz", input);
    // The bytes after the member would complete many cut-short streams if they were read.
    std::string tail(4096, '\0');
    write_bytes(g_game + "/p.saf", std::to_string(size) + " member.gz\n-\n" + input + tail);
    data_reset();

    std::string loose, member;
    int loose_error = 0, member_error = 0;
    int a = read_stream((g_game + "/in").c_str(), &loose, &loose_error);
    int b = read_stream("@member", &member, &member_error);
    if (a != b) abort();
    if (a && (loose != member || loose_error != member_error)) abort();
    return 0;
}

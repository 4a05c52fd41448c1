// Fuzzes the archive directory parser and member reading: the input becomes a ".saf" file in
// the game folder, the name list is built, and every member is opened and read to the end.
// Uncompressed members must read back exactly their bytes of the input, clipped at its end.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <strings.h>
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
    // The per-user folder does not exist, so the walk sees only the game folder.
    setenv("XDG_DATA_HOME", (dir + "/user").c_str(), 1);
    setenv("QZ_HOME", g_game.c_str(), 1);
    return 0;
}

// Member names that leave the search folders (a ".." part) would open unrelated files.
static bool stays_inside(const std::string& name) {
    return name != ".." && name.rfind("../", 0) != 0 && name.find("/../") == std::string::npos &&
           (name.size() < 3 || name.compare(name.size() - 3, 3, "/..") != 0);
}

// True when no other entry could answer a lookup of e's name before e does.
static bool lookup_is_unique(const std::vector<DataEntry>& entries, const DataEntry& e) {
    for (const DataEntry& o : entries) {
        if (&o == &e) continue;
        if (strcasecmp(o.name.c_str(), e.name.c_str()) == 0) return false;
        if (o.name.size() == e.name.size() + 3 &&
            strncasecmp(o.name.c_str(), e.name.c_str(), e.name.size()) == 0)
            return false;
    }
    return true;
}

// True when a search folder holds something under this name ("/f.saf" names the archive itself),
// so the lookup never reaches the member.
static bool found_as_path(const std::string& name) {
    struct stat st;
    for (int n = 0; data_folder(n); n++) {
        std::string path = data_folder(n) + name;
        if (stat(path.c_str(), &st) == 0 || stat((path + ".gz").c_str(), &st) == 0) return true;
    }
    return false;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string path = g_game + "/f.saf";
    FILE* f = fopen(path.c_str(), "wb");
    if (!f) abort();
    fwrite(data, 1, size, f);
    fclose(f);
    data_reset();

    const std::vector<DataEntry>& entries = data_entries();
    int folders = data_folder_count();
    int opened = 0;
    for (const DataEntry& e : entries) {
        if (e.source < folders || !stays_inside(e.name) || opened++ >= 64) continue;
        if (e.offset < 0 || e.size < 0) abort();
        DataFile* s = data_open(("@" + e.name).c_str(), "rb");
        if (!s) continue;
        std::string got;
        char buffer[700];
        char line[64];
        for (int round = 0; got.size() < (1u << 18); round++) {
            if (round % 3 == 0) {
                int c = data_peek(s);
                if (c < 0) break;
                got += (char)data_getc(s);
            } else if (round % 3 == 1) {
                if (!data_gets(s, line, sizeof line)) break;
                got += line; // a NUL inside the data shortens this; the check below allows for it
            } else {
                size_t n = data_read(s, buffer, sizeof buffer);
                if (n == 0) break;
                got.append(buffer, n);
            }
        }
        bool plain = !s->compressed && got.size() < (1u << 18);
        data_close(s);
        if (plain && lookup_is_unique(entries, e) && !found_as_path(e.name) &&
            got.find('\0') == std::string::npos) {
            size_t start = std::min((size_t)e.offset, size);
            std::string expected((const char*)data + start, std::min((size_t)e.size, size - start));
            if (expected.find('\0') == std::string::npos && got != expected) abort();
        }
    }
    return 0;
}

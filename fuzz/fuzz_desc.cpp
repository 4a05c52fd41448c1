// Fuzzes a track's "desc" file: the input is its text, in a track folder beside a height
// field, read by the track list. Whatever it holds, the list has the track under one title
// line.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "data/datafile.h"
#include "fuzz_util.h"
#include "track/tracklist.h"

static std::string g_dir;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    g_dir = fuzz_private_folder() + "/t";
    std::string hf = g_dir + "/terrain.hf";
    data_make_dirs(hf.c_str());
    const uint8_t header[] = "1 1 0 1\n";
    if (!fuzz_write_input(hf, header, sizeof header - 1)) abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (!fuzz_write_input(g_dir + "/desc", data, size)) return 0;
    data_rescan();
    tracklist_build();
    for (const TrackEntry& t : g_tracks.tracks)
        if (t.title.find('\n') != std::string::npos || t.title.find('\r') != std::string::npos)
            abort();
    return 0;
}

// Fuzzes the ".series" reader on the tracks "rabbithill", "dunebay" and "stadium": a series that is
// read must hold a field that fits the 40 places and events with sound tables; its standings screen
// is then built.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

#include "fuzz_util.h"
#include "data/datafile.h"
#include "race/series.h"
#include "track/tracklist.h"

static std::string g_dir;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    g_dir = fuzz_temp_folder();
    // The series is read as a data name from the game folder.
    setenv("QZ_HOME", g_dir.c_str(), 1);
    setenv("XDG_DATA_HOME", (g_dir + "/user").c_str(), 1);
    data_reset();
    tracklist_add("dunebay", "Dune Bay");
    tracklist_add("rabbithill", "Rabbit Hill");
    tracklist_add("stadium", "Stadium Cross");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string path = g_dir + "/input.series";
    FILE* out = fopen(path.c_str(), "wb");
    if (!out) abort();
    if (size && fwrite(data, 1, size, out) != size) abort();
    fclose(out);
    Series s;
    if (!series_read("input.series", &s)) return 0;
    if (s.riders.size() + 1 > 40) abort();
    if (s.skill_class < 0 || s.skill_class > 2) abort();
    if (s.completed < 0 || s.completed > (int)s.events.size()) abort();
    for (const SeriesEvent& e : s.events) {
        if (e.track < 0 || e.track >= (int)g_tracks.tracks.size()) abort();
        if (e.finish.size() != s.riders.size() + 1 || e.rank.size() != s.riders.size() + 1) abort();
    }
    SeriesScreen screen;
    series_screen(s, &screen);
    if (screen.rows.size() != s.riders.size() + 1) abort();
    return 0;
}

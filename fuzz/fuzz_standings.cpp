// Fuzzes the "_standings" reader: the input is the progress file of a fixed series of two
// rounds (two motos, then one). Whatever it holds, the completed events, finishing positions
// and round ranks must stay within the series, and the standings screen must build.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

#include "fuzz_util.h"
#include "data/datafile.h"
#include "race/series.h"
#include "track/tracklist.h"

static std::string g_dir;

static std::string table(int first) {
    std::string s;
    for (int i = 0; i < 40; i++) s += std::to_string(i < 5 ? first - 3 * i : 0) + " ";
    return s + "\n";
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    g_dir = fuzz_temp_folder();
    setenv("QZ_HOME", g_dir.c_str(), 1);
    setenv("XDG_DATA_HOME", (g_dir + "/user").c_str(), 1);
    data_reset();
    tracklist_add("rabbithill", "Rabbit Hill");
    std::string text = "Cup\n3 Expert\n20 45 81\n3\n";
    text += "\"Moto 1\" rabbithill 0 3\n" + table(25) + table(0);
    text += "\"Moto 2\" rabbithill 0 3\n" + table(25) + table(25);
    text += "Final rabbithill 5 1\n" + table(25) + table(20);
    FILE* f = fopen((g_dir + "/cup.series").c_str(), "wb");
    if (!f) abort();
    fwrite(text.data(), 1, text.size(), f);
    fclose(f);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FILE* out = fopen((g_dir + "/cup.series_standings").c_str(), "wb");
    if (!out) abort();
    if (size && fwrite(data, 1, size, out) != size) abort();
    fclose(out);
    Series s;
    if (!series_read("cup.series", &s)) abort(); // the series itself is sound
    if (s.completed < 0 || s.completed > 3) abort();
    for (int k = 0; k < s.completed; k++) {
        const SeriesEvent& e = s.events[k];
        std::vector<int> seen(4, 0);
        for (int i = 0; i < 4; i++) {
            if (e.finish[i] < 0 || e.finish[i] > 3) abort();
            if (e.champ_points[0] != 0) {
                if (e.rank[i] < 0 || e.rank[i] > 3 || seen[e.rank[i]]++) abort();
            }
        }
    }
    SeriesScreen screen;
    series_screen(s, &screen);
    if (screen.rows.size() != 4) abort();
    return 0;
}

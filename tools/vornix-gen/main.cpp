// vornix-gen: writes the complete default game data set into a folder.
//
//   vornix-gen <folder> [--only <part>]... [--summary <file>] [--font-dir <folder>]
//
// Parts: "common" (textures, sprites, sky, models, HUD, title, font), "bikes" (the bike,
// wheel and rider models, shapes, textures and pipe files), "rabbithill", "dunebay", "stadium",
// "series" (the points series on the default tracks). Without --only every part is written.
// --summary writes what the tracks hold (gate and lap counts, height range, a digest of the
// heights) for tests to compare with.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "bikegen.h"
#include "gen.h"
#include "platform/log.h"
#include "track.h"

namespace {

struct Step {
    const char* name;
    int track; // 1 when the step writes a track and fills a summary
};

const Step STEPS[] = {{"common", 0},  {"bikes", 0},   {"rabbithill", 1},
                      {"dunebay", 1}, {"stadium", 1}, {"series", 0}};

int usage() {
    fprintf(stderr, "usage: vornix-gen <folder> "
                    "[--only common|bikes|rabbithill|dunebay|stadium|series]... "
                    "[--summary <file>] [--font-dir <folder>]\n");
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    log_install_new_handler();
    std::string out, summary_path, font_dir = "/usr/share/fonts/truetype/dejavu";
    std::vector<std::string> only;
    for (int k = 1; k < argc; k++) {
        const char* a = argv[k];
        if (!strcmp(a, "--only") && k + 1 < argc)
            only.push_back(argv[++k]);
        else if (!strcmp(a, "--summary") && k + 1 < argc)
            summary_path = argv[++k];
        else if (!strcmp(a, "--font-dir") && k + 1 < argc)
            font_dir = argv[++k];
        else if (a[0] == '-' || !out.empty())
            return usage();
        else
            out = a;
    }
    if (out.empty()) return usage();
    for (const std::string& o : only) {
        bool known = false;
        for (const Step& s : STEPS) known = known || o == s.name;
        if (!known) return usage();
    }
    if (out.back() != '/') out += '/';
    if (!make_dirs(out)) return 1;

    std::string summary;
    for (const Step& s : STEPS) {
        bool wanted = only.empty();
        for (const std::string& o : only) wanted = wanted || o == s.name;
        if (!wanted) continue;
        TrackSummary track;
        int ok;
        if (!strcmp(s.name, "common"))
            ok = common_write(out, font_dir);
        else if (!strcmp(s.name, "bikes"))
            ok = bikes_write(out);
        else if (!strcmp(s.name, "series"))
            ok = series_write(out);
        else if (!strcmp(s.name, "rabbithill"))
            ok = rabbithill_write(out, &track);
        else if (!strcmp(s.name, "dunebay"))
            ok = dunebay_write(out, &track);
        else
            ok = stadium_write(out, &track);
        if (!ok) {
            fprintf(stderr, "vornix-gen: writing %s failed\n", s.name);
            font_close();
            return 1;
        }
        if (s.track) summary += summary_text(track);
    }
    font_close();
    if (!summary_path.empty() && !write_text(summary_path, summary)) return 1;
    return 0;
}

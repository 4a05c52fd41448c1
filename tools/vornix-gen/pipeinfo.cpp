// Engine-sound pipe files. The two defaults restate the built-in pipes of each engine kind;
// each bike texture's own file ("<texture name>.pipeinfo", found from the bike's texture and
// its variants) gives that model its own exhaust note: the main resonance of the header and
// chamber on the first taps and a short, quieter silencer resonance on the last ones. The
// gains of one file add up to less than 1 in size, so the feedback never builds up.
#include "bikegen.h"

namespace {

struct Pipe {
    const char* name;
    float length, spread, gain;
    int first, last;
    float can_length, can_spread, can_gain; // silencer on taps last+1 .. 15; 0 = none
};

const char* HEADER = "# Exhaust resonances for the engine sound.\n"
                     "# pipe <length, feet> <spread, feet> <gain> <first tap> <last tap>\n";

std::string pipe_text(const Pipe& p, const char* what) {
    std::string out = HEADER;
    out += strf("# %s\n", what);
    out += strf("pipe %g %g %g %d %d\n", p.length, p.spread, p.gain, p.first, p.last);
    if (p.can_length > 0)
        out += strf("pipe %g %g %g %d 15\n", p.can_length, p.can_spread, p.can_gain, p.last + 1);
    return out;
}

} // namespace

int pipeinfo_write(const std::string& out) {
    const Pipe four = {"default250f", 5.0f, 0.9182072f, -0.85f, 0, 15, 0, 0, 0};
    const Pipe two = {"default125", 1.75f, 0.3f, -0.75f, 0, 15, 0, 0, 0};
    if (!write_text(out + "default250f.pipeinfo", pipe_text(four, "four-stroke 250")) ||
        !write_text(out + "default125.pipeinfo", pipe_text(two, "two-stroke 125")))
        return 0;
    static const Pipe bikes[] = {
        {"crf250", 5.2f, 0.95f, -0.66f, 0, 11, 1.3f, 0.2f, -0.2f},
        {"kx250f", 4.85f, 0.9f, -0.68f, 0, 11, 1.2f, 0.25f, -0.18f},
        {"rmz250", 5.05f, 0.85f, -0.64f, 0, 11, 1.4f, 0.2f, -0.22f},
        {"yz250f", 4.95f, 0.92f, -0.7f, 0, 11, 1.25f, 0.22f, -0.16f},
        {"yz250f_se", 4.9f, 0.92f, -0.72f, 0, 11, 1.1f, 0.2f, -0.15f},
        {"cr125", 1.8f, 0.32f, -0.68f, 0, 13, 0.6f, 0.1f, -0.15f},
        {"kx125", 1.7f, 0.28f, -0.7f, 0, 13, 0.55f, 0.1f, -0.14f},
        {"rm125", 1.76f, 0.3f, -0.66f, 0, 13, 0.62f, 0.12f, -0.16f},
        {"yz125", 1.72f, 0.3f, -0.7f, 0, 13, 0.58f, 0.1f, -0.15f},
        {"125sx", 1.65f, 0.27f, -0.72f, 0, 13, 0.5f, 0.1f, -0.14f},
    };
    for (const Pipe& p : bikes)
        if (!write_text(out + p.name + ".pipeinfo", pipe_text(p, p.name))) return 0;
    return 1;
}

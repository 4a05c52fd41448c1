// Fuzzes the demo reader: the input is a ".qzdemo" file, opened for playback, played frame by
// frame to its end and sought back and forth. A header that is accepted must be sound.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

#include "fuzz_util.h"
#include "core/settings.h"
#include "race/demo_session.h"
#include "race/session.h"
#include "replay/demo.h"

static std::string g_path;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    g_settings.headless = 1;
    g_path = fuzz_private_folder() + "/input.qzdemo";
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FILE* out = fopen(g_path.c_str(), "wb");
    if (!out) abort();
    if (size && fwrite(data, 1, size, out) != size) abort();
    fclose(out);
    session_reset();
    demo_choose(g_path);
    if (!session_demo_open()) {
        if (demo_playing()) abort();
        return 0;
    }
    const DemoHeader& h = g_demo.header;
    if (h.version != 4 && h.version != 5) abort();
    if (h.riders.size() > 40 || h.race_length < 0 || h.extra_laps < 0 || h.track.empty()) abort();
    for (const DemoRider& r : h.riders)
        if (r.number.size() > 3) abort();
    if (g_session.race_length != h.race_length || g_session.start_tick != h.start_tick) abort();
    // Every frame to the end of the file (a demo without riders has no frames to run out of).
    size_t frames = h.riders.empty() ? 4 : size / (h.riders.size() * g_demo.record_size) + 2;
    for (size_t i = 0; i < frames; i++) session_demo_play_frame();
    session_demo_seek(-1);
    session_demo_seek(0.5);
    demo_close_playback();
    return 0;
}

// Fuzzes the command line: the input is the arguments, each ended by a zero byte. Whatever
// they are, the parse ends with a status (or CMDLINE_OK), and every number it kept is one a run
// can honour.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/cmdline.h"
#include "core/config.h"
#include "core/settings.h"
#include "fuzz_util.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz_private_folder();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<std::string> args{"vornix"};
    std::string arg;
    for (size_t i = 0; i < size && args.size() < 64; i++) {
        if (data[i] == 0) {
            args.push_back(arg);
            arg.clear();
        } else {
            arg += (char)data[i];
        }
    }
    if (!arg.empty() && args.size() < 64) args.push_back(arg);
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);

    g_settings = Settings();
    config_reset();
    cmdline_has_switch((int)args.size(), argv.data(), "--headless");
    int status = cmdline_parse((int)args.size(), argv.data());
    if (status != CMDLINE_OK && status != 0 && status != 1) abort();
    if (status == CMDLINE_OK) {
        const Settings& s = g_settings;
        if (!std::isfinite(s.lock_fps) || s.lock_fps < 0 || s.lock_fps > CMDLINE_LOCK_FPS_MAX)
            abort();
        if (!std::isfinite(s.quit_after) || s.quit_after < 0 ||
            s.quit_after > CMDLINE_QUIT_AFTER_MAX)
            abort();
        if (s.rotate_lineup < 0) abort();
    }
    g_settings = Settings();
    config_reset();
    return 0;
}

// Fuzzes DRUV_OPTIONS: the input is the variable's text, read by every kind of lookup the
// program makes (flags, integers, names that are prefixes of others, unknown names).
#include <cstdint>
#include <cstdlib>
#include <string>

#include "fuzz_util.h"
#include "platform/options.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz_private_folder();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // An environment variable ends at its first zero byte.
    std::string text((const char*)data, size);
    text = text.substr(0, text.find('\0'));
    setenv("DRUV_OPTIONS", text.c_str(), 1);
    options_reset();
    static const char* const NAMES[] = {
        "threaded", "mipmap", "texture_detail", "sound", "waveout", "dsnd",
        "x",        "",       "log_level",      "[",     "]:"};
    for (const char* name : NAMES) {
        int f = option_flag(name, 7);
        if (f != 0 && f != 1 && f != 7) abort();
        option_int(name, -3);
    }
    options_reset();
    unsetenv("DRUV_OPTIONS");
    return 0;
}

// Fuzzes the "--script" reader: the input is a script file's text. Whatever it holds, the
// parse ends, and every line it accepts has a time the feed can reach and a known action.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "fuzz_util.h"
#include "platform/script.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz_private_folder();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string text((const char*)data, size);
    std::vector<ScriptLine> lines;
    std::string error;
    if (!script_parse(text.c_str(), &lines, &error)) {
        if (error.empty()) abort(); // a refusal always names its line
        return 0;
    }
    for (const ScriptLine& l : lines)
        if (!std::isfinite(l.time) || l.time < 0 || l.time > SCRIPT_TIME_MAX) abort();
    // The same text through the file reader.
    std::string path = fuzz_temp_folder() + "/input.script";
    if (!fuzz_write_input(path, data, size)) return 0;
    std::string load_error;
    ScriptFeed* feed = script_load(path.c_str(), &load_error);
    script_free(feed);
    return 0;
}

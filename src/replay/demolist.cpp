// The demo list.
#include "replay/demolist.h"

#include <algorithm>
#include <cstring>

#include "data/datafile.h"
#include "replay/demo.h"

static DemoList g_demos;
const DemoList& g_demo_list = g_demos;

std::string demo_title(const std::string& name) {
    size_t slash = name.rfind('/');
    std::string rest = slash == std::string::npos ? name : name.substr(slash + 1);
    size_t dot = rest.rfind('.');
    return dot == std::string::npos ? rest : rest.substr(0, dot);
}

int demolist_build() {
    g_demos.demos.clear();
    for (const char* const* n = data_names(); *n; n++) {
        std::string name = *n;
        bool demo = name.size() >= 13 && name.compare(0, 6, "demos/") == 0 &&
                    name.compare(name.size() - 7, 7, ".qzdemo") == 0;
        if (!demo) continue;
        g_demos.demos.push_back({name, demo_title(name)});
    }
    // The recording in progress lives in its temporary file until it stops (which playing it
    // does first), but it is listed under its name as the race goes on.
    const std::string& out = g_demo.out_name;
    if (demo_recording() && out.size() > 1 && out[0] == '@') {
        std::string name = out.substr(1);
        bool demo = name.size() >= 13 && name.compare(0, 6, "demos/") == 0 &&
                    name.compare(name.size() - 7, 7, ".qzdemo") == 0;
        auto at =
            std::lower_bound(g_demos.demos.begin(), g_demos.demos.end(), name,
                             [](const DemoEntry& e, const std::string& n) { return e.name < n; });
        if (demo && (at == g_demos.demos.end() || at->name != name))
            g_demos.demos.insert(at, {name, demo_title(name)});
    }
    g_demos.page = 0;
    return (int)g_demos.demos.size();
}

int demolist_pages() {
    return std::max(1, ((int)g_demos.demos.size() + DEMO_PAGE_ROWS - 1) / DEMO_PAGE_ROWS);
}

void demolist_set_page(int page) {
    g_demos.page = std::clamp(page, 0, demolist_pages() - 1);
}

void demolist_add(const char* name, const char* title) {
    g_demos.demos.push_back({name, title});
}

void demolist_reset() {
    g_demos = DemoList{};
}

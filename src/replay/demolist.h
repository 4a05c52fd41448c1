// The demo list: every recorded demo found among the data names ("demos/*.qzdemo"), shown 20
// to a page by the playback menu.
#pragma once

#include <string>
#include <vector>

struct DemoEntry {
    std::string name;  // data name, e.g. "demos/default.qzdemo"
    std::string title; // the file name without folder and extension
};

constexpr int DEMO_PAGE_ROWS = 20;

struct DemoList {
    std::vector<DemoEntry> demos; // in data-name order
    int page = 0;                 // the page shown
};
extern const DemoList& g_demo_list;

// Rebuilds the demo list (page 0); returns the number of demos.
int demolist_build();
// Empties the list (tests).
void demolist_reset();
// Adds a demo at the end of the list (tests).
void demolist_add(const char* name, const char* title);
// Shows page `page`, held to the pages there are.
void demolist_set_page(int page);
// The number of pages (at least 1).
int demolist_pages();
// The demo title rule: the part after the last "/" and before the last ".".
std::string demo_title(const std::string& name);

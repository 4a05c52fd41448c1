// The module layers: the README's Architecture table gives the order (top to bottom), and no
// file under src/ may include a module above its own.
#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/stat.h>

#include <fstream>
#include <map>
#include <regex>
#include <string>
#include <vector>

#include "support/test_env.h"

namespace {

const std::string SRC = VORNIX_SOURCE_DIR "/src";

// Module names from the rows "| `name/` | ... |" of the README's Architecture section, in order.
std::vector<std::string> readme_layers() {
    std::ifstream in(VORNIX_SOURCE_DIR "/README.md");
    std::string line;
    bool section = false;
    std::vector<std::string> layers;
    static const std::regex row(R"(^\| `([a-z]+)/` \|)");
    while (std::getline(in, line)) {
        if (line.rfind("## ", 0) == 0) section = line == "## Architecture";
        std::smatch m;
        if (section && std::regex_search(line, m, row)) layers.push_back(m[1]);
    }
    return layers;
}

std::vector<std::string> entries(const std::string& dir, bool folders) {
    std::vector<std::string> out;
    DIR* d = opendir(dir.c_str());
    if (!d) return out;
    while (dirent* e = readdir(d)) {
        std::string name = e->d_name;
        if (name == "." || name == "..") continue;
        struct stat st;
        if (stat((dir + "/" + name).c_str(), &st) != 0) continue;
        if (S_ISDIR(st.st_mode) == folders) out.push_back(name);
    }
    closedir(d);
    return out;
}

struct Include {
    std::string file;
    int line;
    std::string module, header;
};

// Every project include ("module/header") of every file under a module folder.
std::vector<Include> includes_of(const std::string& module) {
    std::vector<Include> out;
    static const std::regex inc(R"re(^\s*#\s*include\s*"([a-z_]+)/([^"]+)")re");
    for (const std::string& f : entries(SRC + "/" + module, false)) {
        std::ifstream in(SRC + "/" + module + "/" + f);
        std::string line;
        for (int n = 1; std::getline(in, line); n++) {
            std::smatch m;
            if (std::regex_search(line, m, inc)) out.push_back({module + "/" + f, n, m[1], m[2]});
        }
    }
    return out;
}

} // namespace

TEST(Architecture, ReadmeNamesEveryModuleOnce) {
    std::vector<std::string> layers = readme_layers();
    ASSERT_GE(layers.size(), 10u) << "the README's Architecture table is missing";
    std::map<std::string, int> seen;
    for (const std::string& m : layers) EXPECT_EQ(seen[m]++, 0) << m << " is listed twice";
    for (const std::string& folder : entries(SRC, true))
        EXPECT_EQ(seen.count(folder), 1u) << "src/" << folder << " has no row in the README";
    for (const std::string& m : layers)
        EXPECT_FALSE(entries(SRC + "/" + m, false).empty()) << m << " is listed but empty";
    // The bottom layer holds what everything reads, the top one the program's entry.
    EXPECT_EQ(layers.back(), "core");
    EXPECT_EQ(layers.front(), "app");
}

TEST(Architecture, IncludesFollowTheLayers) {
    std::vector<std::string> layers = readme_layers();
    ASSERT_FALSE(layers.empty());
    std::map<std::string, int> height; // 0 is the bottom
    for (size_t i = 0; i < layers.size(); i++) height[layers[i]] = (int)(layers.size() - 1 - i);
    int checked = 0;
    for (const std::string& module : layers) {
        for (const Include& inc : includes_of(module)) {
            checked++;
            auto target = height.find(inc.module);
            if (target == height.end()) {
                ADD_FAILURE() << inc.file << ":" << inc.line << " includes " << inc.module << "/"
                              << inc.header << ", which is no module";
                continue;
            }
            EXPECT_LE(target->second, height[module])
                << inc.file << ":" << inc.line << " includes " << inc.module << "/" << inc.header
                << ", a layer above " << module;
            // A module's internal header is its own.
            if (inc.header.find("_internal.h") != std::string::npos) {
                EXPECT_EQ(inc.module, module)
                    << inc.file << ":" << inc.line << " includes another module's internal header";
            }
        }
    }
    EXPECT_GT(checked, 300); // the walk really saw the sources
}

TEST(Architecture, CoreIncludesNothingButItself) {
    for (const Include& inc : includes_of("core"))
        EXPECT_EQ(inc.module, "core") << inc.file << ":" << inc.line;
}

#include "support/test_env.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "core/config.h"
#include "data/datafile.h"
#include "data/model.h"
#include "data/save.h"
#include "data/shape.h"
#include "platform/log.h"
#include "platform/messages.h"
#include "platform/options.h"

static std::string g_test_dir;

const std::string& test_dir() {
    return g_test_dir;
}
std::string test_home() {
    return g_test_dir + "/home";
}
std::string test_user_dir() {
    return g_test_dir + "/home/.local/share/Vornix/";
}
std::string test_game_dir() {
    return g_test_dir + "/game";
}

static void make_dirs(const std::string& path) {
    for (size_t i = 1; i < path.size(); i++)
        if (path[i] == '/') mkdir(path.substr(0, i).c_str(), 0755);
    mkdir(path.c_str(), 0755);
}

void write_file(const std::string& path, const std::string& bytes) {
    size_t slash = path.rfind('/');
    if (slash != std::string::npos) make_dirs(path.substr(0, slash));
    std::ofstream f(path, std::ios::binary);
    f.write(bytes.data(), (std::streamsize)bytes.size());
}

std::string read_file(const std::string& path, bool* ok) {
    std::ifstream f(path, std::ios::binary);
    if (ok) *ok = (bool)f;
    std::stringstream ss;
    ss << f.rdbuf();
    return ss.str();
}

bool file_exists(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

std::vector<std::string> split_lines(const std::string& text) {
    std::vector<std::string> lines;
    std::string cur;
    for (char c : text) {
        if (c == '\n') {
            lines.push_back(cur);
            cur.clear();
        } else {
            cur += c;
        }
    }
    if (!cur.empty()) lines.push_back(cur);
    return lines;
}

RunResult run_command(const std::string& command) {
    std::string out = g_test_dir + "/.stdout", err = g_test_dir + "/.stderr";
    std::string full =
        "cd '" + g_test_dir + "' && (" + command + ") >'" + out + "' 2>'" + err + "'";
    int st = system(full.c_str());
    RunResult r;
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
    r.out = read_file(out);
    r.err = read_file(err);
    return r;
}

RunResult run_vornix(const std::string& args) {
    return run_command(std::string(VORNIX_BIN) + " " + args);
}

void reset_foundation() {
    log_reset();
    options_reset();
    data_reset();
    data_save_reset();
    messages_clear();
    config_reset();
}

namespace {
// Gives every test its own folder and environment, and fresh module state.
class FreshFolder : public ::testing::EmptyTestEventListener {
    void OnTestStart(const ::testing::TestInfo&) override {
        char tmpl[] = "/tmp/vornix-test-XXXXXX";
        const char* base = getenv("VORNIX_TEST_TMP");
        std::string t = base ? std::string(base) + "/vornix-test-XXXXXX" : std::string(tmpl);
        std::vector<char> buf(t.begin(), t.end());
        buf.push_back(0);
        if (!mkdtemp(buf.data())) abort();
        g_test_dir = buf.data();
        make_dirs(test_home() + "/.local/share");
        make_dirs(test_game_dir());
        setenv("HOME", test_home().c_str(), 1);
        setenv("XDG_DATA_HOME", (test_home() + "/.local/share").c_str(), 1);
        setenv("QZ_HOME", test_game_dir().c_str(), 1);
        unsetenv("DRUV_LOGFILE");
        unsetenv("DRUV_OPTIONS");
        if (chdir(g_test_dir.c_str()) != 0) abort();
        reset_foundation();
    }
    void OnTestEnd(const ::testing::TestInfo& info) override {
        log_reset();
        data_reset();
        if (chdir("/") != 0) abort();
        if (info.result()->Passed() && !getenv("VORNIX_KEEP_TEST_DIRS")) {
            std::string cmd = "rm -rf '" + g_test_dir + "'";
            if (system(cmd.c_str()) != 0)
                fprintf(stderr, "could not remove %s\n", g_test_dir.c_str());
        }
    }
};
} // namespace

// Allocation-failure tests need malloc to return null under AddressSanitizer too.
extern "C" const char* __asan_default_options() {
    return "allocator_may_return_null=1";
}

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::UnitTest::GetInstance()->listeners().Append(new FreshFolder);
    int status = RUN_ALL_TESTS();
    // The model and shape caches outlive the tests that filled them; freed here, as the game
    // frees them at shutdown, so the leak checker sees only true leaks.
    model_reset();
    shape_reset();
    return status;
}

std::string xvfb_run_a() {
    static int calls = 0;
    int n = 200 + (int)((getpid() * 37L + 13L * calls++) % 3000);
    return "xvfb-run -a -n " + std::to_string(n);
}

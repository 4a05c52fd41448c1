// Test support: every test runs in a fresh temporary folder with its own HOME, XDG_DATA_HOME
// and QZ_HOME; helpers to write and read files byte by byte and to run the real program.
#pragma once

#include <string>
#include <vector>

// The current test's folder, and the folders the environment points at.
const std::string& test_dir();
std::string test_home();     // $HOME
std::string test_user_dir(); // $XDG_DATA_HOME/Vornix/ (the per-user folder, with "/")
std::string test_game_dir(); // $QZ_HOME (the game folder, without "/")

// Writes bytes to a path, creating its folders.
void write_file(const std::string& path, const std::string& bytes);
// The whole file, or "" when it cannot be read; *ok tells which.
std::string read_file(const std::string& path, bool* ok = nullptr);
bool file_exists(const std::string& path);
std::vector<std::string> split_lines(const std::string& text);

struct RunResult {
    int status;      // exit status, or 128 + signal
    std::string out; // standard output
    std::string err; // standard error
};
// Runs a shell command line in the test folder with the test environment.
RunResult run_command(const std::string& command);
// Runs the vornix binary with the given arguments (shell-quoted by the caller).
RunResult run_vornix(const std::string& args);

// "xvfb-run -a -n N": a virtual display for a child process. Each call starts its search for a
// free display number at a different N (from the process id), since two "xvfb-run -a" started
// at once by parallel tests can both take the same number and one of them fails.
std::string xvfb_run_a();

// Puts every foundation module back to its start state (the listener does this before each test).
void reset_foundation();

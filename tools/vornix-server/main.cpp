// vornix-server: hosts races for the game's network client. See server.h for the cycle of
// races, and the README for hosting one.
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <poll.h>
#include <string>
#include <unistd.h>

#include "data/datafile.h"
#include "net/transport.h"
#include "platform/clock.h"
#include "platform/log.h"
#include "server.h"

namespace {

volatile sig_atomic_t g_stop = 0;

void on_signal(int) {
    g_stop = 1;
}

// Console lines from standard input; 0 once it is closed.
int read_console(Server* s, std::string* pending) {
    char buf[512];
    ssize_t n = read(STDIN_FILENO, buf, sizeof buf);
    if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) return 0;
    if (n < 0) return 1;
    pending->append(buf, (size_t)n);
    size_t nl;
    while ((nl = pending->find('\n')) != std::string::npos) {
        server_command(s, pending->substr(0, nl));
        pending->erase(0, nl + 1);
    }
    if (pending->size() > 4096) pending->clear(); // no line is that long
    return 1;
}

} // namespace

int main(int argc, char** argv) {
    ServerOptions opt;
    std::string error, data_dir, log_file = "vornix-server.log";
    if (!server_parse_options(argc, argv, &opt, &error, &data_dir, &log_file)) {
        if (!error.empty()) fprintf(stderr, "vornix-server: %s\n", error.c_str());
        fputs(server_usage(), error.empty() ? stdout : stderr);
        return error.empty() ? 0 : 1;
    }
    if (!data_dir.empty()) setenv("QZ_HOME", data_dir.c_str(), 1);
    log_setup(("DRUV_LOGFILE=" + log_file).c_str());
    log_install_new_handler();

    static Server server; // 40 clients with their queues: kept off the stack
    server.opt = opt;
    if (!server_load_tracks(&server, &error)) {
        fprintf(stderr, "vornix-server: %s (game data: %s)\n", error.c_str(),
                data_folder_count() ? data_folder(data_folder_count() - 1) : "none");
        return 1;
    }
    if (!server_open(&server, opt, clock_seconds(), &error)) {
        fprintf(stderr, "vornix-server: %s\n", error.c_str());
        return 1;
    }
    signal(SIGINT, on_signal);
    signal(SIGTERM, on_signal);
    signal(SIGPIPE, SIG_IGN);

    std::string pending;
    bool console = true;
    while (!g_stop && !server.stop) {
        pollfd fds[2] = {{server.sock, POLLIN, 0}, {STDIN_FILENO, POLLIN, 0}};
        int timeout = (int)(server_wait(&server) * 1000) + 1;
        int n = poll(fds, console ? 2 : 1, timeout);
        if (n < 0 && errno != EINTR) break;
        if (console && n > 0 && (fds[1].revents & (POLLIN | POLLHUP)))
            console = read_console(&server, &pending) != 0;
        server_step(&server, clock_seconds());
    }
    server_close(&server);
    net_cleanup();
    return 0;
}

// The real programs: vornix-server and headless vornix clients with scripted throttle, each in
// its own process with its own per-user folder, on "netline" (Rabbit Hill's ground with a lap
// of two gates down the start straight). Three riders race a lap, one of them through 30 %
// loss and 250 ms lag; each client's recording shows the others where they rode; the server
// writes the results and stops cleanly on Ctrl+C. Then the ways a client is turned away.
#include <gtest/gtest.h>

#include <cmath>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <regex>
#include <sys/wait.h>
#include <unistd.h>

#include "support/test_env.h"

namespace {

const std::string DATA = VORNIX_BUILD_DIR "/data";

// The test's game folder: links to the generated data, and the "netline" track.
void make_game_folder() {
    std::string game = test_game_dir();
    run_command("ln -s '" + DATA + "/'* '" + game + "/'");
    run_command("mkdir -p '" + game + "/netline' && ln -s '" + DATA + "/rabbithill/'* '" + game +
                "/netline/' && rm '" + game + "/netline/timing_gates' '" + game + "/netline/desc'");
    write_file(game + "/netline/desc", "Net Line\n");
    // Three start places on the straight, 16.5 ft apart, and gates 120 and 300 ft down it.
    write_file(game + "/netline/timing_gates",
               "startinggate:\n[735.15 18.713253 1850] 0\n[751.65 18.713253 1850] 0\n"
               "[768.15 18.713253 1850] 0\ncheckpoints:\n150 [750 18 1730] [0 0 -1]\n"
               "150 [750 13 1550] [0 0 -1]\nfirstlap:\n0 1\nnormallap:\n0 1\n");
}

// A running vornix-server; its output goes to a file.
struct ServerProcess {
    pid_t pid = -1;
    int port = 0;
    std::string out;
    explicit ServerProcess(const std::string& args) {
        out = test_dir() + "/server.out";
        pid = fork();
        if (pid == 0) {
            int fd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            int in = open("/dev/null", O_RDONLY);
            dup2(fd, 1);
            dup2(fd, 2);
            dup2(in, 0);
            std::string cmd = std::string(VORNIX_SERVER_BIN) + " --data '" + test_game_dir() +
                              "' --port 0 --results '" + test_dir() + "/results' --log '" +
                              test_dir() + "/server.log' " + args;
            execl("/bin/sh", "sh", "-c", ("exec " + cmd).c_str(), (char*)nullptr);
            _exit(127);
        }
        std::regex listening("Listening on port (\\d+)");
        for (int i = 0; i < 300 && port == 0; i++) {
            std::smatch m;
            std::string text = read_file(out);
            if (std::regex_search(text, m, listening))
                port = std::stoi(m[1]);
            else
                usleep(50000);
        }
    }
    // Ctrl+C; the exit status.
    int stop() {
        if (pid <= 0) return -1;
        kill(pid, SIGINT);
        int status = 0;
        waitpid(pid, &status, 0);
        pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    ~ServerProcess() {
        if (pid > 0) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
    }
    std::string output() const { return read_file(out); }
};

// A client's own per-user folder with its configuration.
std::string client_home(const std::string& name, const std::string& config) {
    std::string home = test_dir() + "/" + name;
    write_file(home + "/Vornix/config", config);
    return home;
}

// The command line of a headless client in the background.
std::string client(const std::string& home, int port, const std::string& args) {
    return "HOME='" + home + "' XDG_DATA_HOME='" + home + "' QZ_HOME='" + test_game_dir() + "' " +
           VORNIX_BIN + " --headless --connect 127.0.0.1:" + std::to_string(port) + " " + args;
}

std::string client_log(const std::string& home) {
    return read_file(home + "/Vornix/lastlog.txt");
}

int count(const std::string& text, const std::string& what) {
    int n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) n++;
    return n;
}

// A demo's riders (their numbers, in record order) and the ground positions of its frames.
struct Demo {
    std::vector<std::string> numbers;
    std::vector<std::vector<std::pair<float, float>>> path; // path[rider][frame] = (x, z)
};

Demo read_demo(const std::string& bytes, float extent) {
    Demo d;
    int riders = 0;
    if (sscanf(bytes.c_str(), "QZ05 %d", &riders) != 1) return d;
    size_t at = bytes.find('\n');
    at = bytes.find('\n', at + 1); // the track line
    for (int r = 0; r < riders; r++) {
        size_t a = bytes.find('\n', at + 1), b = bytes.find('\n', a + 1);
        d.numbers.push_back(bytes.substr(a + 1, b - a - 1));
        at = b;
    }
    const unsigned char* f = (const unsigned char*)bytes.data() + at + 1;
    size_t frames = (bytes.size() - at - 1) / (39 * (size_t)riders);
    d.path.resize((size_t)riders);
    for (size_t k = 0; k < frames; k++)
        for (int r = 0; r < riders; r++) {
            const unsigned char* rec = f + 39 * (k * (size_t)riders + (size_t)r);
            unsigned x = rec[0] | rec[1] << 8 | rec[2] << 16,
                     z = rec[6] | rec[7] << 8 | rec[8] << 16;
            d.path[(size_t)r].push_back({extent * x / 16777215.0f, extent * z / 16777215.0f});
        }
    return d;
}

int rider_index(const Demo& d, const std::string& number) {
    for (size_t i = 0; i < d.numbers.size(); i++)
        if (d.numbers[i] == number) return (int)i;
    return -1;
}

// The smallest mean distance between two paths over the frame offsets -60..60 (the clients'
// recordings start at slightly different ticks), over the frames they share.
float closest_mean_distance(const std::vector<std::pair<float, float>>& a,
                            const std::vector<std::pair<float, float>>& b) {
    float best = 1e9f;
    for (int off = -60; off <= 60; off++) {
        double sum = 0;
        int n = 0;
        for (size_t i = 0; i < a.size(); i++) {
            long j = (long)i + off;
            if (j < 0 || j >= (long)b.size()) continue;
            sum += std::hypot(a[i].first - b[(size_t)j].first, a[i].second - b[(size_t)j].second);
            n++;
        }
        if (n > 500) best = std::min(best, (float)(sum / n));
    }
    return best;
}

float field_extent() {
    int shift = 0;
    float spacing = 0;
    std::string hf = read_file(DATA + "/rabbithill/terrain.hf");
    if (sscanf(hf.c_str(), "%d %f", &shift, &spacing) != 2) return 0;
    return 2.0f * (float)(1 << shift) * spacing;
}

} // namespace

TEST(NetRace, ThreeClientsRaceALapOneThroughLossAndLag) {
    make_game_folder();
    ServerProcess server("--tracks netline --laps 1 --riders 3 --countdown 0 --cooldown 60");
    ASSERT_GT(server.port, 0) << server.output();
    write_file(test_dir() + "/keys.txt", "1.0 press x\n");
    std::string keys = " --script '" + test_dir() + "/keys.txt'";
    std::string one = client_home("one", "record=Yes\nname=One\nnumber=11\n");
    std::string two = client_home("two", "record=Yes\nname=Two\nnumber=22\n");
    std::string three = client_home("three", "record=Yes\nname=Three\nnumber=33\n");
    RunResult r = run_command(
        client(one, server.port, "--quit-after 25" + keys) + " & " +
        client(two, server.port, "--quit-after 25" + keys) + " & " +
        client(three, server.port, "--quit-after 25 --fake-loss 30 --fake-lag 250" + keys) +
        " & wait");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(server.stop(), 0);
    std::string out = server.output();
    EXPECT_NE(out.find("Server stopped"), std::string::npos) << out;

    // The server's results: three riders, every one of them finished.
    std::regex written("Results of race (\\d+) written to (\\S+)");
    std::smatch m;
    ASSERT_TRUE(std::regex_search(out, m, written)) << out << client_log(three);
    std::vector<std::string> lines = split_lines(read_file(m[2]));
    ASSERT_EQ(lines.size(), 8u) << read_file(m[2]);
    EXPECT_EQ(lines[2], "Ended: finished");
    for (int i = 0; i < 3; i++)
        EXPECT_EQ(lines[(size_t)(5 + i)].substr(0, 1), std::to_string(i + 1));
    EXPECT_NE(read_file(m[2]).find("Three"), std::string::npos);

    // Each client recorded every rider; the others' positions follow their own recordings.
    float extent = field_extent();
    Demo d1 = read_demo(read_file(one + "/Vornix/demos/default.qzdemo"), extent);
    Demo d2 = read_demo(read_file(two + "/Vornix/demos/default.qzdemo"), extent);
    Demo d3 = read_demo(read_file(three + "/Vornix/demos/default.qzdemo"), extent);
    ASSERT_EQ(d1.numbers.size(), 3u);
    ASSERT_EQ(d2.numbers.size(), 3u);
    ASSERT_EQ(d3.numbers.size(), 3u);
    const std::vector<std::pair<float, float>>& two_own = d2.path[(size_t)rider_index(d2, "22")];
    const std::vector<std::pair<float, float>>& one_own = d1.path[(size_t)rider_index(d1, "11")];
    ASSERT_GT(two_own.size(), 1000u);
    float ridden = std::hypot(two_own.back().first - two_own.front().first,
                              two_own.back().second - two_own.front().second);
    EXPECT_GT(ridden, 250.0f); // Two rode down the straight
    EXPECT_LT(closest_mean_distance(d1.path[(size_t)rider_index(d1, "22")], two_own), 3.0f);
    EXPECT_LT(closest_mean_distance(d2.path[(size_t)rider_index(d2, "11")], one_own), 3.0f);
    // The client behind the bad line sees the others as well, with a little more error.
    EXPECT_LT(closest_mean_distance(d3.path[(size_t)rider_index(d3, "22")], two_own), 6.0f);
}

TEST(NetRace, ClientsTurnedAway) {
    make_game_folder();
    ServerProcess server("--tracks netline --password pw --max-riders 2");
    ASSERT_GT(server.port, 0) << server.output();
    // A wrong password, a track of other contents, and a line that loses everything.
    std::string wrong = client_home("wrong", "");
    std::string modified = client_home("modified", "");
    write_file(
        modified + "/Vornix/netline/timing_gates",
        "startinggate:\n[751.65 18.713253 1850] 0\ncheckpoints:\n150 [750 18 1730] [0 0 -1]\n"
        "firstlap:\n0\nnormallap:\n0\n");
    std::string lost = client_home("lost", "");
    RunResult r =
        run_command(client(wrong, server.port, "--password nope --quit-after 5") + " & " +
                    client(modified, server.port, "--password pw --quit-after 6") + " & " +
                    client(lost, server.port, "--fake-loss 100 --quit-after 4") + " & wait");
    EXPECT_EQ(r.status, 0) << r.err;
    std::string log = client_log(wrong);
    EXPECT_NE(log.find("] Wrong password\n"), std::string::npos) << log;
    EXPECT_NE(log.find("Disconnected\n"), std::string::npos) << log;
    log = client_log(modified);
    EXPECT_NE(log.find("Client track modified - does not match server's track (netline)"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("Disconnected\n"), std::string::npos) << log;
    log = client_log(lost);
    EXPECT_GE(count(log, "Contacting server"), 3) << log;
    EXPECT_EQ(count(log, "Sending client info"), 0) << log;

    // Two slots: the third client hears "Server is full" once a second.
    std::string a = client_home("a", ""), b = client_home("b", ""), c = client_home("c", "");
    r = run_command(client(a, server.port, "--password pw --quit-after 9") + " & " +
                    client(b, server.port, "--password pw --quit-after 9") + " & sleep 3; " +
                    client(c, server.port, "--password pw --quit-after 4") + "; wait");
    EXPECT_EQ(r.status, 0) << r.err;
    log = client_log(c);
    EXPECT_GE(count(log, "Server is full"), 3) << log;
    EXPECT_LE(count(log, "Server is full"), 5) << log;
    EXPECT_EQ(server.stop(), 0);
    EXPECT_NE(server.output().find("Kicked slot"), std::string::npos);
}

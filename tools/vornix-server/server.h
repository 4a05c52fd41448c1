// vornix-server: the race server. One UDP socket, up to 40 clients in slots, one race at a time
// on a rotation of installed tracks. Headless: it knows the tracks by their names, digests and
// lap structure only, and never simulates a bike; it relays what the clients send.
//
// The cycle of races:
//   warm-up   race id r on the rotation's current track, no gate, nobody in it: every client
//             rides alone with collisions off. It ends `warmup` seconds after the first client
//             joined it, when every client asked for a restart (they are ready), or as soon as
//             `riders` clients are riding in it.
//   race      race id r + 1: every client that is in at that moment gets a place on the grid
//             (in slot order); clients joining later watch. The race clock starts when every
//             rider is ready (or `ready_wait` seconds after the setup); the gates drop
//             `countdown` seconds later. It ends when every rider still connected has finished
//             (the results are written), when no rider is left, or an hour after the start.
//   finished  riders ride on; after `cooldown` seconds the next track's warm-up begins.
// A restart asked for by more than half of the clients (or by the console) ends a race early
// and begins the warm-up again on the same track; "next" moves on to the next track.
//
// Trust: every datagram is checked for its length, and after CONTACT for the slot and session
// key of the address it comes from. An address without a slot gets nothing but ACCEPT or FULL,
// and only in answer to a CONTACT of the right length.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/constants.h"
#include "net/protocol.h"
#include "net/reliable.h"
#include "net/transport.h"

// What the host chooses (command line or configuration file).
struct ServerOptions {
    int port = NET_DEFAULT_PORT;
    std::string password;            // "" = none
    std::vector<std::string> tracks; // the rotation; empty: every installed track
    int laps = 3;
    int minutes = 0;                 // time limit of a race, 0 = laps only
    int max_riders = 40;             // slots handed out, 1..40
    double warmup = 60;              // seconds of warm-up after the first client joined it
    int riders = 0;                  // start once this many ride in the warm-up (0: not used)
    double countdown = 10;           // seconds from the race clock's start to the gate drop
    double ready_wait = 20;          // seconds the race clock waits for riders still loading
    double cooldown = 20;            // seconds between a race's end and the next warm-up
    double timeout = 20;             // clients silent this long are dropped
    std::string results = "results"; // folder of the results files ("" writes none)
    int no_arcade = 0;               // forbid arcade physics
    std::string welcome;             // said to every client that joins, "" = none
};

// Parses the command line (argv[0] skipped); 1 on success, 0 with *error set. A
// "--config FILE" is read where it stands: its "key=value" lines are the options' long
// names without "--".
int server_parse_options(int argc, char** argv, ServerOptions* out, std::string* error,
                         std::string* data_folder, std::string* log_file);
// The same for one "key=value" or "--key value" pair.
int server_set_option(ServerOptions* o, const std::string& key, const std::string& value,
                      std::string* error);
// The options' help text.
const char* server_usage();

// A track the server can race on.
struct ServerTrack {
    std::string name;  // folder
    std::string title; // the track list's title
    uint8_t digest[20];
    int first_lap = 0;  // F: sequence positions of the first lap
    int normal_lap = 0; // N: positions of every further lap
};

enum ServerPhase { PHASE_WARMUP, PHASE_RACE, PHASE_FINISHED };

// How far a client is with the current race.
enum ClientStage {
    STAGE_INFO,     // accepted, waiting for its rider information
    STAGE_SETUP,    // race set up, waiting for the track acknowledgement
    STAGE_ANNOUNCE, // riders being announced
    STAGE_START,    // START sent, waiting for READY
    STAGE_READY,    // in the race session (riding or watching)
    STAGE_KICKED,   // told to leave, waiting for its DISCONNECT
};

struct ServerClient {
    int used = 0;
    NetAddress addr{};
    uint32_t key = 0;
    int stage = STAGE_INFO;
    double last_heard = 0; // seconds: when a valid packet last came
    double joined = 0;
    NetRiderInfo info;
    int has_info = 0;
    uint32_t race = 0;   // the race it was set up for
    int grid = NO_SLOT;  // its place on the grid in the current race, NO_SLOT watching
    int in_race = 0;     // a rider of the current race (its entry is roster[slot])
    int ready_asked = 0; // asked for a restart (in the warm-up: ready to race)
    std::string kick_text;
    double kick_resend = 0;
    // This rider's newest state and the ticks of each rider's state sent to this client.
    uint8_t record[NET_SNAPSHOT_SIZE] = {};
    uint32_t record_tick = 0;
    int ping_ticks = 0;
    uint32_t sent_tick[MAX_RIDERS] = {};
    double next_watch_send = 0; // watchers: when they get the next STATE
    double next_clock = 0;      // watchers: when they get the next CLOCK
    double next_keepalive = 0;  // watchers send nothing of their own: they must acknowledge
    double last_chat = -1e9;
    double last_restart_hint = 0;
    ReliableChannel reliable;
    long long bytes_in = 0, bytes_out = 0;
};

// A rider of the current race, kept for the results when its client leaves.
struct RaceEntry {
    int in = 0;   // rode in the race
    int left = 0; // its client left before the end
    NetRiderInfo info;
    std::vector<int> crossings; // tick of each sequence position passed, -1 skipped
    int finished = 0;
};

struct Server {
    ServerOptions opt;
    int sock = -1;
    int port = 0;
    std::vector<ServerTrack> tracks;
    int track = 0; // index in tracks of the current track
    ServerClient clients[MAX_RIDERS];
    uint32_t race_id = 0;
    int phase = PHASE_WARMUP;
    double phase_start = 0; // when the phase began
    double warm_since = 0;  // warm-up: when the first client rode in it (0: nobody yet)
    double clock_start = 0; // when the race clock started (0: not running)
    int time_limit = 0;     // ticks
    int laps = 0;
    int start_tick = 0;
    int final_lap = 0;            // the lap whose end finishes the race (timed races: once known)
    RaceEntry roster[MAX_RIDERS]; // the riders of the current race, by slot
    double now = 0;               // the time of the step being run
    int stop = 0;                 // a console "quit"
    // Figures for the host and the load test.
    long long datagrams_in = 0, datagrams_dropped = 0, bytes_in = 0, bytes_out = 0;
};

// Loads the tracks (the rotation, or every installed track) for their digests and lap
// structure; 0 and *error when none can be raced on.
int server_load_tracks(Server* s, std::string* error);
// Opens the socket on opt.port (0: a free port) and begins the first warm-up. 1 on success.
int server_open(Server* s, const ServerOptions& opt, double now, std::string* error);
// Receives and handles every waiting datagram, then the timed work, at time now (seconds).
void server_step(Server* s, double now);
// Handles one datagram from an address (the step's receive loop; tests and the fuzz target).
void server_datagram(Server* s, const uint8_t* data, int length, const NetAddress* from);
// Tells every client the server is gone, writes an unfinished race's results and closes.
void server_close(Server* s);
// A console command ("status", "kick N [text]", "say TEXT", "restart", "next", "quit").
void server_command(Server* s, const std::string& line);
// The race clock's tick now (0 while it is not running).
uint32_t server_tick(const Server* s);
// Seconds until the server wants its next step (at most one tick).
double server_wait(const Server* s);
// Logs a line of the server's own (time-stamped on standard output and in the log).
void server_say(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Internal to the server (server_race.cpp), used by server.cpp.
void server_send(Server* s, ServerClient* c, const uint8_t* bytes, int length);
void server_queue_message(Server* s, ServerClient* c, int subtype, const void* payload, int length);
void server_begin_warmup(Server* s, int next_track);
void server_timed(Server* s);
void server_client_setup(Server* s, ServerClient* c);
void server_track_ack(Server* s, ServerClient* c, uint32_t race, int last);
void server_ready(Server* s, ServerClient* c, uint32_t race);
void server_state(Server* s, ServerClient* c, const uint8_t* d);
void server_crossing(Server* s, ServerClient* c, const uint8_t* payload, int length);
void server_restart_request(Server* s, ServerClient* c);
void server_client_left(Server* s, ServerClient* c);
// Writes the results of the current race; `how` says how it ended. 1 when written.
int server_write_results(Server* s, const char* how);
int server_slot(const Server* s, const ServerClient* c);

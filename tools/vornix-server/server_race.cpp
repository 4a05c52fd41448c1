// The server's races: warm-up, race and finish, setting clients up for the race (setup,
// announced riders, start), the race clock, relaying the riders' states and gate crossings,
// the standings the crossings give, and the results file.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "data/datafile.h"
#include "data/save.h"
#include "server.h"

namespace {

constexpr int WARMUP_LAPS = 1000;            // nobody finishes a warm-up
constexpr int RACE_CAP = 3600 * 128;         // a race ends an hour after its start at the latest
constexpr double WATCH_STATE_GAP = 1.0 / 32; // watchers get states 32 times a second
constexpr double WATCH_CLOCK_GAP = 1.0;
constexpr double KEEPALIVE_GAP = 5.0;
constexpr double RESTART_GAP = 1.0;
constexpr int MAX_CROSSING = 1024 * 256 - 1; // 1024 laps of 256 gates
constexpr int LAP_UNKNOWN = 1000000;

const ServerTrack& track(const Server* s) {
    return s->tracks[(size_t)s->track];
}

bool in_session(const Server* s, const ServerClient& c) {
    return c.used && c.stage == STAGE_READY && c.race == s->race_id;
}

void say_to_all(Server* s, const std::string& text) {
    for (ServerClient& c : s->clients)
        if (c.used && c.has_info && c.stage != STAGE_KICKED)
            server_queue_message(s, &c, MSG_TEXT, text.data(), (int)text.size());
    server_say("%s\n", text.c_str());
}

void send_restart(Server* s, ServerClient* c) {
    uint8_t p[8];
    server_send(s, c, p, net_pack_server_word(p, PKT_RESTART, s->race_id));
    c->last_restart_hint = s->now;
}

std::string rider_text(const NetRiderInfo& info) {
    return net_rider_text(info, NET_DATAGRAM_MAX - 9);
}

// ---- Standings ----

int laps_of(const Server* s, int gates) {
    const ServerTrack& t = track(s);
    if (gates < t.first_lap || t.normal_lap <= 0) return 0;
    return (gates - t.first_lap) / t.normal_lap + 1;
}

int lap_end(const Server* s, int lap) {
    const ServerTrack& t = track(s);
    return t.first_lap + t.normal_lap * (lap - 1) - 1;
}

int time_at(const RaceEntry& e, int position) {
    if (position < 0 || position >= (int)e.crossings.size()) return -1;
    return e.crossings[(size_t)position];
}

int last_tick(const RaceEntry& e) {
    return e.crossings.empty() ? 0 : e.crossings.back();
}

// Riders of the race in standings order: more gates, then the earlier last gate, then slot.
std::vector<int> standings(const Server* s) {
    std::vector<int> order;
    for (int i = 0; i < MAX_RIDERS; i++)
        if (s->roster[i].in) order.push_back(i);
    std::stable_sort(order.begin(), order.end(), [s](int a, int b) {
        const RaceEntry &x = s->roster[a], &y = s->roster[b];
        if (x.crossings.size() != y.crossings.size())
            return x.crossings.size() > y.crossings.size();
        if (last_tick(x) != last_tick(y)) return last_tick(x) < last_tick(y);
        return a < b;
    });
    return order;
}

// The race-end rules, as the game counts them: the final lap of a timed race is known once the
// time is up; a rider finishes on completing the final lap, or on the first lap end it crosses
// after the leader completed it.
void update_finishing(Server* s) {
    std::vector<int> order = standings(s);
    if (order.empty()) return;
    const RaceEntry& leader = s->roster[order[0]];
    if (s->final_lap == LAP_UNKNOWN && s->time_limit > 0 &&
        server_tick(s) >= (uint32_t)s->time_limit)
        s->final_lap = laps_of(s, (int)leader.crossings.size()) + s->laps + 1;
    if (s->final_lap == LAP_UNKNOWN) return;
    int b = lap_end(s, s->final_lap);
    int leader_end = time_at(leader, b);
    if (leader_end < 0) return;
    for (int slot : order) {
        RaceEntry& e = s->roster[slot];
        if (e.finished) continue;
        int laps = laps_of(s, (int)e.crossings.size());
        int end = laps > 0 ? time_at(e, lap_end(s, laps)) : -1;
        if (time_at(e, b) >= 0 || end >= leader_end) e.finished = 1;
    }
}

void end_race(Server* s, const char* how) {
    server_write_results(s, how);
    s->phase = PHASE_FINISHED;
    s->phase_start = s->now;
    say_to_all(s, std::string("Race over (") + how + "): the next warm-up begins in " +
                      std::to_string((int)s->opt.cooldown) + " s");
}

// Race over once every rider still here has finished, or nobody is left to race.
void check_race_end(Server* s) {
    if (s->phase != PHASE_RACE || s->clock_start <= 0) return;
    update_finishing(s);
    int riding = 0, done = 0;
    for (const RaceEntry& e : s->roster) {
        if (!e.in || e.left) continue;
        riding++;
        done += e.finished;
    }
    if (riding == 0)
        end_race(s, "abandoned");
    else if (done == riding)
        end_race(s, "finished");
    else if (server_tick(s) > (uint32_t)(s->start_tick + RACE_CAP))
        end_race(s, "an hour passed");
}

// Other riders' states newer than what this client has, in STATE datagrams of at most 21
// entries; with `always` at least one datagram (the racer's reply carries the clock and echo).
void send_states(Server* s, ServerClient* c, uint32_t echo, bool always) {
    uint8_t p[NET_DATAGRAM_MAX];
    int me = server_slot(s, c);
    uint32_t tick = server_tick(s);
    int count = 0, at = NET_STATE_HEADER;
    bool sent = false;
    for (int i = 0; i <= MAX_RIDERS; i++) {
        bool flush = i == MAX_RIDERS || count == NET_STATE_ENTRIES_MAX;
        if (flush && (count > 0 || (always && !sent))) {
            net_pack_state_header(p, s->race_id, tick, echo, (uint32_t)count);
            server_send(s, c, p, at);
            sent = true;
            count = 0;
            at = NET_STATE_HEADER;
        }
        if (i == MAX_RIDERS) break;
        const ServerClient& o = s->clients[i];
        if (i == me || !o.used || !o.in_race || o.race != s->race_id || o.record_tick == 0 ||
            o.record_tick <= c->sent_tick[i])
            continue;
        net_pack_state_entry(p + at, i, o.ping_ticks, o.record_tick, o.record);
        c->sent_tick[i] = o.record_tick;
        at += NET_STATE_ENTRY;
        count++;
    }
}

// A client that joins a race in progress learns where everyone is.
void catch_up_crossings(Server* s, ServerClient* c) {
    NetCrossing list[NET_CROSSINGS_MAX];
    int n = 0;
    for (int i = 0; i <= MAX_RIDERS; i++) {
        if (n > 0 && (i == MAX_RIDERS || n == NET_CROSSINGS_MAX)) {
            std::string payload = net_crossings_payload(s->race_id, list, n);
            server_queue_message(s, c, MSG_CROSSINGS, payload.data(), (int)payload.size());
            n = 0;
        }
        if (i == MAX_RIDERS) break;
        const RaceEntry& e = s->roster[i];
        if (!e.in || e.crossings.empty() || i == server_slot(s, c)) continue;
        list[n++] = {i, (int)e.crossings.size() - 1, e.crossings.back()};
    }
}

void start_clock(Server* s) {
    s->clock_start = s->now;
    uint8_t p[16];
    for (ServerClient& c : s->clients)
        if (in_session(s, c)) server_send(s, &c, p, net_pack_clock(p, s->race_id, 1, 0));
    if (s->phase == PHASE_RACE)
        server_say("Race %u: clock running, the gates drop in %.0f s\n", s->race_id,
                   s->start_tick * sim_tick);
}

void begin_race(Server* s) {
    s->race_id++;
    s->phase = PHASE_RACE;
    s->phase_start = s->now;
    s->clock_start = 0;
    s->time_limit = s->opt.minutes * 60 * TICKS_PER_SECOND;
    s->laps = s->opt.laps;
    s->start_tick = (int)std::lround(s->opt.countdown * TICKS_PER_SECOND);
    s->final_lap = s->time_limit > 0 ? LAP_UNKNOWN : s->laps;
    int grid = 0;
    for (int i = 0; i < MAX_RIDERS; i++) {
        ServerClient& c = s->clients[i];
        s->roster[i] = RaceEntry{};
        bool rides = c.used && c.has_info && c.stage != STAGE_KICKED;
        c.grid = rides ? grid++ : NO_SLOT;
        c.in_race = rides;
        c.ready_asked = 0;
        c.record_tick = 0;
        memset(c.sent_tick, 0, sizeof c.sent_tick);
        if (rides) {
            s->roster[i].in = 1;
            s->roster[i].info = c.info;
        }
        if (c.used && c.stage == STAGE_READY) send_restart(s, &c);
    }
    std::string format = std::to_string(s->laps) + " laps";
    if (s->time_limit > 0) format = std::to_string(s->opt.minutes) + " minutes + " + format;
    std::string text = "Race " + std::to_string(s->race_id) + " on " + track(s).title + ": " +
                       std::to_string(grid) + (grid == 1 ? " rider, " : " riders, ") + format;
    say_to_all(s, text);
}

} // namespace

void server_begin_warmup(Server* s, int next_track) {
    if (s->phase == PHASE_RACE && s->clock_start > 0) server_write_results(s, "restarted");
    if (!s->tracks.empty()) s->track = (s->track + next_track) % (int)s->tracks.size();
    s->race_id++;
    s->phase = PHASE_WARMUP;
    s->phase_start = s->now;
    s->warm_since = 0;
    s->clock_start = s->now; // riders warm up on a running clock
    s->time_limit = 0;
    s->laps = WARMUP_LAPS;
    s->start_tick = 0;
    s->final_lap = WARMUP_LAPS;
    for (int i = 0; i < MAX_RIDERS; i++) {
        ServerClient& c = s->clients[i];
        s->roster[i] = RaceEntry{};
        c.grid = NO_SLOT;
        c.in_race = 0;
        c.ready_asked = 0;
        c.record_tick = 0;
        memset(c.sent_tick, 0, sizeof c.sent_tick);
        if (c.used && c.stage == STAGE_READY) send_restart(s, &c);
    }
    std::string text = "Warm-up on " + track(s).title + ": the race starts in " +
                       std::to_string((int)s->opt.warmup) + " s, when every rider asks for it";
    if (s->opt.riders > 0) text += " or once " + std::to_string(s->opt.riders) + " ride";
    say_to_all(s, text);
}

void server_client_setup(Server* s, ServerClient* c) {
    uint8_t p[NET_DATAGRAM_MAX];
    const ServerTrack& t = track(s);
    c->race = s->race_id;
    c->stage = STAGE_SETUP;
    server_send(s, c, p,
                net_pack_race_setup(p, s->race_id, s->time_limit, s->laps, s->start_tick, t.digest,
                                    t.name));
}

void server_track_ack(Server* s, ServerClient* c, uint32_t race, int last) {
    uint8_t p[NET_DATAGRAM_MAX];
    if (c->stage < STAGE_SETUP || c->stage > STAGE_START) return;
    if (race != s->race_id) {
        // Set up for a race that is over: it watches that one until our RESTART reaches it.
        server_send(s, c, p, net_pack_rider_text(p, PKT_START, race, NO_SLOT, rider_text(c->info)));
        return;
    }
    int me = server_slot(s, c);
    for (int i = last == NO_SLOT ? 0 : last + 1; i < MAX_RIDERS; i++) {
        if (i == me || !s->roster[i].in) continue;
        c->stage = STAGE_ANNOUNCE;
        server_send(s, c, p,
                    net_pack_rider_text(p, PKT_RIDER_INFO, race, i, rider_text(s->roster[i].info)));
        return;
    }
    c->stage = STAGE_START;
    server_send(s, c, p, net_pack_rider_text(p, PKT_START, race, c->grid, rider_text(c->info)));
}

void server_ready(Server* s, ServerClient* c, uint32_t race) {
    if (c->stage < STAGE_SETUP || c->stage == STAGE_KICKED) return;
    if (race != s->race_id) {
        send_restart(s, c); // ready for a race that is over: on to the current one
        return;
    }
    if (c->stage < STAGE_START) return;
    if (c->stage != STAGE_READY) {
        c->stage = STAGE_READY;
        c->next_watch_send = s->now;
        c->next_clock = s->now + WATCH_CLOCK_GAP; // one goes out just below
        c->next_keepalive = s->now + KEEPALIVE_GAP;
        if (s->phase == PHASE_WARMUP && s->warm_since == 0) s->warm_since = s->now;
        if (s->phase != PHASE_WARMUP) catch_up_crossings(s, c);
    }
    if (s->clock_start > 0) {
        uint8_t p[16];
        server_send(s, c, p, net_pack_clock(p, race, server_tick(s), 0));
    }
}

void server_state(Server* s, ServerClient* c, const uint8_t* d) {
    uint32_t race = net_get32(d + 9);
    if (race != s->race_id) {
        if (s->now - c->last_restart_hint >= 0.5) send_restart(s, c);
        return;
    }
    if (!in_session(s, *c) || !c->in_race || s->clock_start <= 0) return;
    uint32_t echo = net_get32(d + 13), local = net_get32(d + 17);
    uint32_t now_tick = server_tick(s);
    if (echo != 0 && echo <= now_tick) c->ping_ticks = (int)(now_tick - echo);
    if (local > c->record_tick) {
        c->record_tick = local;
        memcpy(c->record, d + 21, NET_SNAPSHOT_SIZE);
    }
    send_states(s, c, local, true);
}

void server_crossing(Server* s, ServerClient* c, const uint8_t* payload, int length) {
    if (length < 12 || net_get32(payload) != s->race_id || s->phase == PHASE_WARMUP || !c->in_race)
        return;
    uint32_t index = net_get32(payload + 4);
    int value = (int)net_get32(payload + 8);
    if (index > (uint32_t)MAX_CROSSING) return;
    int me = server_slot(s, c);
    RaceEntry& e = s->roster[me];
    e.crossings.resize((size_t)index + 1, -1);
    e.crossings[index] = value < 0 ? -1 : value;
    NetCrossing relay = {me, (int)index, e.crossings[index]};
    std::string p = net_crossings_payload(s->race_id, &relay, 1);
    for (ServerClient& o : s->clients)
        if (&o != c && o.used && o.race == s->race_id && o.stage >= STAGE_START &&
            o.stage != STAGE_KICKED)
            server_queue_message(s, &o, MSG_CROSSINGS, p.data(), (int)p.size());
    check_race_end(s);
}

void server_restart_request(Server* s, ServerClient* c) {
    if (!in_session(s, *c) || c->ready_asked) return;
    c->ready_asked = 1;
    if (s->phase == PHASE_WARMUP) {
        server_say("Slot %d (%s) is ready\n", server_slot(s, c), c->info.name.c_str());
        return;
    }
    int asked = 0, here = 0;
    for (const ServerClient& o : s->clients) {
        if (!in_session(s, o)) continue;
        here++;
        asked += o.ready_asked;
    }
    say_to_all(s, c->info.name + " asks for a restart (" + std::to_string(asked) + " of " +
                      std::to_string(here) + ")");
    if (2 * asked > here) server_begin_warmup(s, s->phase == PHASE_FINISHED ? 1 : 0);
}

void server_client_left(Server* s, ServerClient* c) {
    RaceEntry& e = s->roster[server_slot(s, c)];
    if (c->in_race && e.in) e.left = 1;
}

void server_timed(Server* s) {
    uint8_t p[NET_DATAGRAM_MAX];
    // The phases.
    int joined = 0, riding = 0, ready = 0;
    for (const ServerClient& c : s->clients) {
        if (!c.used || !c.has_info || c.stage == STAGE_KICKED) continue;
        joined++;
        if (in_session(s, c)) {
            riding++;
            ready += c.ready_asked;
        }
    }
    if (s->phase == PHASE_WARMUP) {
        if (riding == 0) s->warm_since = 0;
        bool time_up = s->warm_since > 0 && s->now - s->warm_since >= s->opt.warmup;
        bool all_ready = joined > 0 && ready == joined;
        bool enough = s->opt.riders > 0 && riding >= s->opt.riders;
        if (time_up || all_ready || enough) begin_race(s);
    } else if (s->phase == PHASE_RACE) {
        if (s->clock_start <= 0) {
            int in = 0, waiting = 0;
            for (int i = 0; i < MAX_RIDERS; i++) {
                const ServerClient& c = s->clients[i];
                if (!c.used || !c.in_race) continue;
                in++;
                waiting += !in_session(s, c);
            }
            if (in == 0)
                server_begin_warmup(s, 0); // everyone left before the start
            else if (waiting == 0 || s->now - s->phase_start >= s->opt.ready_wait)
                start_clock(s);
        } else {
            check_race_end(s);
        }
    } else if (s->now - s->phase_start >= s->opt.cooldown) {
        server_begin_warmup(s, 1);
    }
    // Each client's own timers.
    for (ServerClient& c : s->clients) {
        if (!c.used) continue;
        if (c.stage == STAGE_KICKED) {
            if (s->now >= c.kick_resend) {
                c.kick_resend = s->now + 1;
                server_send(s, &c, p, net_pack_kick(p, c.kick_text));
            }
            continue;
        }
        if (const ReliableEntry* e = reliable_due(&c.reliable, s->now))
            server_send(s, &c, e->bytes, e->length);
        if (c.stage != STAGE_READY) continue;
        if (c.race != s->race_id) {
            if (s->now - c.last_restart_hint >= RESTART_GAP) send_restart(s, &c);
            continue;
        }
        if (c.in_race || s->clock_start <= 0) continue;
        // Watchers: the riders' states, the clock, and a message to acknowledge now and then
        // (they send nothing of their own, and silent clients are dropped).
        if (s->now >= c.next_watch_send) {
            c.next_watch_send = s->now + WATCH_STATE_GAP;
            send_states(s, &c, 0, false);
        }
        if (s->now >= c.next_clock) {
            c.next_clock = s->now + WATCH_CLOCK_GAP;
            server_send(s, &c, p, net_pack_clock(p, s->race_id, server_tick(s), 0));
        }
        if (s->now >= c.next_keepalive) {
            c.next_keepalive = s->now + KEEPALIVE_GAP;
            std::string none = net_crossings_payload(s->race_id, nullptr, 0);
            server_queue_message(s, &c, MSG_CROSSINGS, none.data(), (int)none.size());
        }
    }
}

// ---- Results ----

static std::string race_time(int ticks) {
    if (ticks < 0) return "-";
    char buf[32];
    long long ms = (long long)ticks * 1000 / TICKS_PER_SECOND;
    snprintf(buf, sizeof buf, "%lld:%02lld.%03lld", ms / 60000, ms / 1000 % 60, ms % 1000);
    return buf;
}

int server_write_results(Server* s, const char* how) {
    if (s->opt.results.empty()) return 0; // a server that keeps no results
    update_finishing(s);
    std::vector<int> order = standings(s);
    if (order.empty()) return 0;
    const ServerTrack& t = track(s);
    char name[64];
    snprintf(name, sizeof name, "/race-%04u-%s.txt", s->race_id, t.name.c_str());
    std::string path = s->opt.results + name;
    data_make_dirs(path.c_str());
    DataSave save;
    if (!data_save_begin(path.c_str(), &save)) {
        server_say("Can't write %s: %s\n", path.c_str(), save.error.c_str());
        return 0;
    }
    DataFile* f = save.file;
    data_printf(f, "Race %u on %s (%s)\n", s->race_id, t.title.c_str(), t.name.c_str());
    if (s->time_limit > 0)
        data_printf(f, "%d minutes + %d laps\n", s->time_limit / TICKS_PER_SECOND / 60, s->laps);
    else
        data_printf(f, "%d laps\n", s->laps);
    data_printf(f, "Ended: %s\n\n", how);
    data_printf(f, "%-4s %-4s %-24s %-18s %4s %12s %12s\n", "Pos", "No.", "Name", "Bike", "Laps",
                "Time", "Best lap");
    int place = 0;
    for (int slot : order) {
        const RaceEntry& e = s->roster[slot];
        int laps = laps_of(s, (int)e.crossings.size());
        int total = -1, best = -1;
        if (e.finished && laps > 0) {
            int end = time_at(e, lap_end(s, laps));
            if (end >= 0) total = end - s->start_tick;
        }
        // The best lap is one of laps 2 on: the first includes the start.
        for (int lap = 2; lap <= laps; lap++) {
            int a = time_at(e, lap_end(s, lap - 1)), b = time_at(e, lap_end(s, lap));
            if (a >= 0 && b > a && (best < 0 || b - a < best)) best = b - a;
        }
        std::string pos = e.finished ? std::to_string(++place) : "DNF";
        std::string who = e.info.name + (e.left ? " (left)" : "");
        data_printf(f, "%-4s %-4s %-24.24s %-18.18s %4d %12s %12s\n", pos.c_str(),
                    e.info.number.c_str(), who.c_str(), e.info.bike.c_str(), laps,
                    race_time(total).c_str(), race_time(best).c_str());
    }
    if (!data_save_commit(&save)) {
        server_say("Can't write %s: %s\n", path.c_str(), save.error.c_str());
        return 0;
    }
    server_say("Results of race %u written to %s\n", s->race_id, path.c_str());
    return 1;
}

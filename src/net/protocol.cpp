// Writing the race protocol's datagrams, the rider information text and the password proof.
// The layouts are described in protocol.h.
#include "net/protocol.h"

#include <algorithm>
#include <cstring>

#include "platform/digest.h"

namespace {

int header(uint8_t* out, int type, int slot, uint32_t key) {
    out[0] = (uint8_t)type;
    net_put32(out + 1, (uint32_t)slot);
    net_put32(out + 5, key);
    return 9;
}

// Appends up to `room` bytes of text at out; the bytes written.
int put_text(uint8_t* out, const std::string& text, int room) {
    int n = std::max(0, std::min((int)text.size(), room));
    if (n > 0) memcpy(out, text.data(), (size_t)n);
    return n;
}

// A field of the rider text: the bytes from `from` up to `to`, at most `cap` of them.
std::string field(const char* from, const char* to, size_t cap) {
    size_t n = (size_t)(to - from);
    return std::string(from, std::min(n, cap));
}

} // namespace

// ---- Client packets ----

int net_pack_contact(uint8_t* out, int has_password) {
    out[0] = PKT_CONTACT;
    net_put32(out + 1, has_password ? 1u : 0u);
    net_put32(out + 5, 0);
    net_put32(out + 9, NET_PROTOCOL_VERSION);
    return 13;
}

int net_pack_client_info(uint8_t* out, int slot, uint32_t key, const uint8_t proof[4],
                         const std::string& text) {
    header(out, PKT_CLIENT_INFO, slot, key);
    memcpy(out + 9, proof, 4);
    memset(out + 13, 0, 28);
    return 41 + put_text(out + 41, text, NET_DATAGRAM_MAX - 41);
}

int net_pack_client_word(uint8_t* out, int type, int slot, uint32_t key, uint32_t value) {
    header(out, type, slot, key);
    net_put32(out + 9, value);
    return 13;
}

int net_pack_rider_ack(uint8_t* out, int slot, uint32_t key, uint32_t race_id, int last) {
    header(out, PKT_RIDER_ACK, slot, key);
    net_put32(out + 9, race_id);
    net_put32(out + 13, (uint32_t)last);
    return 17;
}

int net_pack_client_state(uint8_t* out, int slot, uint32_t key, uint32_t race_id, uint32_t echo,
                          int tick, const uint8_t snapshot[NET_SNAPSHOT_SIZE]) {
    header(out, PKT_STATE, slot, key);
    net_put32(out + 9, race_id);
    net_put32(out + 13, echo);
    net_put32(out + 17, (uint32_t)tick);
    memcpy(out + 21, snapshot, NET_SNAPSHOT_SIZE);
    return NET_CLIENT_STATE_SIZE;
}

int net_pack_disconnect(uint8_t* out, int slot, uint32_t key) {
    return header(out, PKT_DISCONNECT, slot, key);
}

int net_pack_client_message(uint8_t* out, int slot, uint32_t key, uint32_t seq, int subtype,
                            const void* payload, int length) {
    header(out, PKT_MESSAGE, slot, key);
    net_put32(out + 9, seq);
    out[13] = (uint8_t)subtype;
    int n = std::max(0, std::min(length, NET_RELIABLE_MAX - 14));
    if (n > 0) memcpy(out + 14, payload, (size_t)n);
    return 14 + n;
}

// ---- Server packets ----

int net_pack_full(uint8_t* out) {
    out[0] = PKT_FULL;
    return 1;
}

int net_pack_accept(uint8_t* out, int slot, uint32_t key) {
    out[0] = PKT_ACCEPT;
    net_put32(out + 1, (uint32_t)slot);
    net_put32(out + 5, key);
    net_put32(out + 9, NET_PROTOCOL_VERSION);
    return 13;
}

int net_pack_race_setup(uint8_t* out, uint32_t race_id, int time_limit, int laps, int start_tick,
                        const uint8_t digest[20], const std::string& track) {
    out[0] = PKT_RACE_SETUP;
    net_put32(out + 1, race_id);
    net_put32(out + 5, (uint32_t)time_limit);
    net_put32(out + 9, (uint32_t)laps);
    net_put32(out + 13, (uint32_t)start_tick);
    memcpy(out + 17, digest, 20);
    return 37 + put_text(out + 37, track, NET_DATAGRAM_MAX - 37);
}

int net_pack_rider_text(uint8_t* out, int type, uint32_t race_id, int slot,
                        const std::string& text) {
    out[0] = (uint8_t)type;
    net_put32(out + 1, race_id);
    net_put32(out + 5, (uint32_t)slot);
    return 9 + put_text(out + 9, text, NET_DATAGRAM_MAX - 9);
}

int net_pack_clock(uint8_t* out, uint32_t race_id, uint32_t tick, uint32_t echo) {
    out[0] = PKT_CLOCK;
    net_put32(out + 1, race_id);
    net_put32(out + 5, tick);
    net_put32(out + 9, echo);
    return 13;
}

int net_pack_state_header(uint8_t* out, uint32_t race_id, uint32_t tick, uint32_t echo,
                          uint32_t count) {
    out[0] = PKT_STATE;
    net_put32(out + 1, race_id);
    net_put32(out + 5, tick);
    net_put32(out + 9, echo);
    net_put32(out + 13, count);
    return NET_STATE_HEADER;
}

void net_pack_state_entry(uint8_t* out, int slot, int ping, uint32_t tick,
                          const uint8_t snapshot[NET_SNAPSHOT_SIZE]) {
    uint32_t p = ping < 0 ? 0u : (uint32_t)ping & 0x3ffffffu;
    net_put32(out, ((uint32_t)slot & 63u) | p << 6);
    net_put32(out + 4, tick);
    memcpy(out + 8, snapshot, NET_SNAPSHOT_SIZE);
}

int net_pack_server_word(uint8_t* out, int type, uint32_t value) {
    out[0] = (uint8_t)type;
    net_put32(out + 1, value);
    return 5;
}

int net_pack_disconnected(uint8_t* out) {
    out[0] = PKT_DISCONNECT;
    return 1;
}

int net_pack_kick(uint8_t* out, const std::string& text) {
    out[0] = PKT_KICK;
    return 1 + put_text(out + 1, text, NET_DATAGRAM_MAX - 1);
}

int net_pack_server_message(uint8_t* out, uint32_t seq, int subtype, const void* payload,
                            int length) {
    out[0] = PKT_MESSAGE;
    net_put32(out + 1, seq);
    out[5] = (uint8_t)subtype;
    int n = std::max(0, std::min(length, NET_RELIABLE_MAX - 6));
    if (n > 0) memcpy(out + 6, payload, (size_t)n);
    return 6 + n;
}

std::string net_crossings_payload(uint32_t race_id, const NetCrossing* entries, int count) {
    count = std::clamp(count, 0, NET_CROSSINGS_MAX);
    std::string out((size_t)(8 + 12 * count), '\0');
    uint8_t* p = (uint8_t*)out.data();
    net_put32(p, race_id);
    net_put32(p + 4, (uint32_t)count);
    for (int i = 0; i < count; i++) {
        net_put32(p + 8 + 12 * i, (uint32_t)entries[i].slot);
        net_put32(p + 12 + 12 * i, (uint32_t)entries[i].index);
        net_put32(p + 16 + 12 * i, (uint32_t)entries[i].value);
    }
    return out;
}

// ---- Rider information text ----

std::string net_rider_text(const NetRiderInfo& r, int buffer) {
    size_t total = r.bike.size() + r.gear.size() + r.bike_graphics.size() +
                   r.wheel_graphics.size() + r.helmet.size() + r.number.size() + r.name.size();
    std::string text;
    if (total + 6 < (size_t)buffer)
        text = r.bike + "|" + r.gear + "|" + r.bike_graphics + "|" + r.wheel_graphics + "|" +
               r.helmet + "\n" + r.number + "\n" + r.name;
    else
        text = r.bike + "\n" + r.number + "\n" + r.name;
    if (buffer > 0 && text.size() > (size_t)buffer - 1) text.resize((size_t)buffer - 1);
    return text;
}

void net_rider_parse(const char* text, int length, NetRiderInfo* out) {
    *out = NetRiderInfo{};
    if (!text || length <= 0) return;
    const char* end = text + length;
    // A NUL ends the text as it would have ended a C string.
    const char* nul = (const char*)memchr(text, 0, (size_t)length);
    if (nul) end = nul;
    const char* nl = std::find(text, end, '\n');
    const char* first_end = nl;
    if (nl < end) {
        const char* second = nl + 1;
        const char* second_end = std::find(second, end, '\n');
        out->number = field(second, second_end, 3);
        if (second_end < end) {
            const char* name = second_end + 1;
            out->name = field(name, std::find(name, end, '\n'), 63);
        }
    }
    std::string* fields[5] = {&out->bike, &out->gear, &out->bike_graphics, &out->wheel_graphics,
                              &out->helmet};
    const char* at = text;
    for (int i = 0; i < 5; i++) {
        const char* bar = std::find(at, first_end, '|');
        // The last field runs to the end of the line; a further '|' ends it.
        *fields[i] = field(at, bar, 127);
        if (bar == first_end) break; // no further separator: the later fields stay empty
        at = bar + 1;
    }
}

std::string net_safe_look(const std::string& name) {
    if (name.size() < 2 || name[0] != '@' || name[1] == '/') return "";
    if (name.find('\\') != std::string::npos || name.find('\0') != std::string::npos) return "";
    // Any ".." between separators could leave the data folders.
    size_t start = 1;
    while (start <= name.size()) {
        size_t slash = name.find('/', start);
        if (slash == std::string::npos) slash = name.size();
        if (name.compare(start, slash - start, "..") == 0 && slash - start == 2) return "";
        start = slash + 1;
    }
    return name;
}

// ---- Password proof ----

void net_password_proof(const char* password, uint32_t key, uint8_t out[4]) {
    Digest d;
    digest_begin(&d);
    if (password) digest_add(&d, password, strlen(password));
    uint8_t k[4];
    net_put32(k, key);
    digest_add(&d, k, 4);
    uint8_t digest[DIGEST_SIZE];
    digest_end(&d, digest);
    out[0] = digest[3];
    out[1] = digest[2];
    out[2] = digest[1];
    out[3] = digest[0];
}

// The race protocol's datagrams byte by byte, the rider information text in both forms and
// its parsing, the password proof, looks from the wire, and the reliable channel.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "net/protocol.h"
#include "net/reliable.h"
#include "platform/digest.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes bytes(const uint8_t* p, int n) {
    return Bytes(p, p + n);
}

// Little-endian words and text, written out by hand.
void word(Bytes* b, uint32_t v) {
    for (int i = 0; i < 4; i++) b->push_back((uint8_t)(v >> (8 * i)));
}
void text(Bytes* b, const std::string& t) {
    b->insert(b->end(), t.begin(), t.end());
}

const uint8_t* snapshot39() {
    static uint8_t s[39];
    for (int i = 0; i < 39; i++) s[i] = (uint8_t)(0xA0 + i);
    return s;
}

} // namespace

TEST(NetPackets, ClientPacketsByteByByte) {
    uint8_t out[NET_DATAGRAM_MAX];
    EXPECT_EQ(bytes(out, net_pack_contact(out, 1)), (Bytes{0, 1, 0, 0, 0, 0, 0, 0, 0, 4, 0, 0, 0}));
    EXPECT_EQ(bytes(out, net_pack_contact(out, 0)), (Bytes{0, 0, 0, 0, 0, 0, 0, 0, 0, 4, 0, 0, 0}));

    const uint8_t proof[4] = {9, 8, 7, 6};
    Bytes info = {3, 2, 0, 0, 0, 0x78, 0x56, 0x34, 0x12, 9, 8, 7, 6};
    info.resize(41, 0);
    text(&info, "crf|a|b|c|d\n12\nMe");
    EXPECT_EQ(bytes(out, net_pack_client_info(out, 2, 0x12345678, proof, "crf|a|b|c|d\n12\nMe")),
              info);
    // A text longer than a datagram holds is cut at 1023 bytes.
    EXPECT_EQ(net_pack_client_info(out, 2, 1, proof, std::string(2000, 'x')), 1023);

    EXPECT_EQ(bytes(out, net_pack_client_word(out, PKT_TRACK_ACK, 39, 0xFFFFFFFF, 7)),
              (Bytes{5, 39, 0, 0, 0, 255, 255, 255, 255, 7, 0, 0, 0}));
    EXPECT_EQ(bytes(out, net_pack_rider_ack(out, 1, 2, 3, 40)),
              (Bytes{7, 1, 0, 0, 0, 2, 0, 0, 0, 3, 0, 0, 0, 40, 0, 0, 0}));
    EXPECT_EQ(bytes(out, net_pack_disconnect(out, 4, 5)), (Bytes{15, 4, 0, 0, 0, 5, 0, 0, 0}));

    Bytes state = {11};
    word(&state, 6);      // slot
    word(&state, 0xCAFE); // key
    word(&state, 3);      // race id
    word(&state, 1000);   // echo: highest server tick heard
    word(&state, 996);    // local tick
    state.insert(state.end(), snapshot39(), snapshot39() + 39);
    ASSERT_EQ(state.size(), 60u);
    EXPECT_EQ(bytes(out, net_pack_client_state(out, 6, 0xCAFE, 3, 1000, 996, snapshot39())), state);

    Bytes msg = {17, 6, 0, 0, 0, 1, 0, 0, 0, 9, 0, 0, 0, 19};
    text(&msg, "hi all");
    EXPECT_EQ(bytes(out, net_pack_client_message(out, 6, 1, 9, MSG_TEXT, "hi all", 6)), msg);
    // A message never grows beyond what the reliable queue holds.
    std::string big(600, 'y');
    EXPECT_EQ(net_pack_client_message(out, 6, 1, 9, MSG_TEXT, big.data(), 600), 484);
}

TEST(NetPackets, ServerPacketsByteByByte) {
    uint8_t out[NET_DATAGRAM_MAX];
    EXPECT_EQ(bytes(out, net_pack_full(out)), (Bytes{1}));
    EXPECT_EQ(bytes(out, net_pack_accept(out, 3, 0x01020304)),
              (Bytes{2, 3, 0, 0, 0, 4, 3, 2, 1, 4, 0, 0, 0}));

    uint8_t digest[20];
    for (int i = 0; i < 20; i++) digest[i] = (uint8_t)(i * 11);
    Bytes setup = {4};
    word(&setup, 2);    // race id
    word(&setup, 7680); // time limit: one minute
    word(&setup, 3);    // laps
    word(&setup, 1280); // start tick
    setup.insert(setup.end(), digest, digest + 20);
    text(&setup, "rabbithill");
    EXPECT_EQ(bytes(out, net_pack_race_setup(out, 2, 7680, 3, 1280, digest, "rabbithill")), setup);

    Bytes rider = {6, 2, 0, 0, 0, 5, 0, 0, 0};
    text(&rider, "kx125\n7\nAnn");
    EXPECT_EQ(bytes(out, net_pack_rider_text(out, PKT_RIDER_INFO, 2, 5, "kx125\n7\nAnn")), rider);
    Bytes start = {8, 2, 0, 0, 0, 40, 0, 0, 0};
    EXPECT_EQ(bytes(out, net_pack_rider_text(out, PKT_START, 2, 40, "")), start);

    EXPECT_EQ(bytes(out, net_pack_clock(out, 2, 0x80000001u, 77)),
              (Bytes{10, 2, 0, 0, 0, 1, 0, 0, 0x80, 77, 0, 0, 0}));

    Bytes state = {11};
    word(&state, 2);
    word(&state, 500);
    word(&state, 490);
    word(&state, 1);
    word(&state, 9u | (13u << 6)); // slot 9, ping 13 ticks
    word(&state, 496);
    state.insert(state.end(), snapshot39(), snapshot39() + 39);
    int n = net_pack_state_header(out, 2, 500, 490, 1);
    net_pack_state_entry(out + n, 9, 13, 496, snapshot39());
    EXPECT_EQ(bytes(out, n + NET_STATE_ENTRY), state);
    EXPECT_EQ(NET_STATE_ENTRIES_MAX, 21); // 17 + 21 x 47 = 1004 bytes fit a client's 1023
    // A ping beyond 26 bits keeps only those; a negative one is 0.
    net_pack_state_entry(out, 3, (1 << 26) + 5, 0, snapshot39());
    EXPECT_EQ(net_get32(out), 3u | (5u << 6));
    net_pack_state_entry(out, 3, -4, 0, snapshot39());
    EXPECT_EQ(net_get32(out), 3u);

    EXPECT_EQ(bytes(out, net_pack_server_word(out, PKT_RESTART, 9)), (Bytes{14, 9, 0, 0, 0}));
    EXPECT_EQ(bytes(out, net_pack_server_word(out, PKT_ACK, 258)), (Bytes{18, 2, 1, 0, 0}));
    EXPECT_EQ(bytes(out, net_pack_disconnected(out)), (Bytes{15}));
    Bytes kick = {16};
    text(&kick, "Wrong password");
    EXPECT_EQ(bytes(out, net_pack_kick(out, "Wrong password")), kick);

    NetCrossing c[2] = {{4, 1, 900}, {7, 0, -1}};
    std::string payload = net_crossings_payload(2, c, 2);
    Bytes expect;
    word(&expect, 2);
    word(&expect, 2);
    for (uint32_t v : {4u, 1u, 900u, 7u, 0u, 0xFFFFFFFFu}) word(&expect, v);
    EXPECT_EQ(Bytes(payload.begin(), payload.end()), expect);
    Bytes msg = {17, 5, 0, 0, 0, 21};
    msg.insert(msg.end(), expect.begin(), expect.end());
    EXPECT_EQ(bytes(out, net_pack_server_message(out, 5, MSG_CROSSINGS, payload.data(),
                                                 (int)payload.size())),
              msg);
}

TEST(NetRiderText, LongFormAndShortForm) {
    NetRiderInfo r{
        "yz250f(2008)", "@rider_body-red.png", "@yz250f-blue.png", "", "@rider_head-red.png", "42",
        "Kim"};
    std::string lng =
        "yz250f(2008)|@rider_body-red.png|@yz250f-blue.png||@rider_head-red.png\n42\nKim";
    EXPECT_EQ(net_rider_text(r, 982), lng);
    // The long form needs its seven fields plus the 6 separators below the buffer size.
    size_t fields = lng.size() - 6;
    EXPECT_EQ(net_rider_text(r, (int)(fields + 7)), lng);
    EXPECT_EQ(net_rider_text(r, (int)(fields + 6)), "yz250f(2008)\n42\nKim");
    // A short form that is still too long is cut to the buffer.
    EXPECT_EQ(net_rider_text(r, 10), "yz250f(20");
}

TEST(NetRiderText, ParsingAsTheFieldsComeAndNeverPastTheEnd) {
    NetRiderInfo r;
    std::string t = "kx250f|@g.png|@b.png|@w.png|@h.png\n12345\nDana\nignored";
    net_rider_parse(t.data(), (int)t.size(), &r);
    EXPECT_EQ(r.bike, "kx250f");
    EXPECT_EQ(r.gear, "@g.png");
    EXPECT_EQ(r.bike_graphics, "@b.png");
    EXPECT_EQ(r.wheel_graphics, "@w.png");
    EXPECT_EQ(r.helmet, "@h.png");
    EXPECT_EQ(r.number, "123"); // the first 3 characters
    EXPECT_EQ(r.name, "Dana");  // up to the next newline

    // The short form: no separators, so only the bike is set on the first line.
    t = "cr125\n7\nLee";
    net_rider_parse(t.data(), (int)t.size(), &r);
    EXPECT_EQ(r.bike, "cr125");
    EXPECT_EQ(r.gear, "");
    EXPECT_EQ(r.helmet, "");
    EXPECT_EQ(r.number, "7");
    EXPECT_EQ(r.name, "Lee");

    // Parsing stops at the first missing separator; a further '|' ends the helmet.
    t = "a|b\n1";
    net_rider_parse(t.data(), (int)t.size(), &r);
    EXPECT_EQ(r.bike, "a");
    EXPECT_EQ(r.gear, "b");
    EXPECT_EQ(r.bike_graphics, "");
    EXPECT_EQ(r.name, "");
    t = "a|b|c|d|e|f|g";
    net_rider_parse(t.data(), (int)t.size(), &r);
    EXPECT_EQ(r.helmet, "e");
    EXPECT_EQ(r.number, "");

    // No newline at all, and a text that ends right after the number's newline.
    t = "justabike";
    net_rider_parse(t.data(), (int)t.size(), &r);
    EXPECT_EQ(r.bike, "justabike");
    EXPECT_EQ(r.number, "");
    t = "b\n99\n";
    net_rider_parse(t.data(), (int)t.size(), &r);
    EXPECT_EQ(r.number, "99");
    EXPECT_EQ(r.name, "");

    // Only `length` bytes are read: what follows in memory is not part of the text.
    const char buffer[] = "b\n12\nNameAndMore";
    net_rider_parse(buffer, 9, &r);
    EXPECT_EQ(r.name, "Name");
    net_rider_parse(buffer, 0, &r);
    EXPECT_EQ(r.bike, "");
    // A NUL ends the text.
    t = std::string("bike\n1\nAb\0cd", 12);
    net_rider_parse(t.data(), (int)t.size(), &r);
    EXPECT_EQ(r.name, "Ab");
    // Long fields are kept to their sizes.
    t = std::string(300, 'b') + "\n1\n" + std::string(100, 'n');
    net_rider_parse(t.data(), (int)t.size(), &r);
    EXPECT_EQ(r.bike.size(), 127u);
    EXPECT_EQ(r.name.size(), 63u);
}

TEST(NetRiderText, OnlyDataNamesAreLoadedFromTheWire) {
    EXPECT_EQ(net_safe_look("@rider_body-red.png"), "@rider_body-red.png");
    EXPECT_EQ(net_safe_look("@textures/x.png"), "@textures/x.png");
    EXPECT_EQ(net_safe_look("@a..b.png"), "@a..b.png"); // dots inside a name are fine
    EXPECT_EQ(net_safe_look(""), "");
    EXPECT_EQ(net_safe_look("/dev/zero"), "");
    EXPECT_EQ(net_safe_look("rider.png"), "");
    EXPECT_EQ(net_safe_look("@/etc/passwd"), "");
    EXPECT_EQ(net_safe_look("@../../secret.png"), "");
    EXPECT_EQ(net_safe_look("@textures/../../x.png"), "");
    EXPECT_EQ(net_safe_look("@a\\..\\x.png"), "");
    EXPECT_EQ(net_safe_look("@.."), "");
}

TEST(NetPassword, ProofIsTheDigestsFirstFourBytesReversed) {
    // RIPEMD-160 of "secret" followed by the key 0x11223344 as 44 33 22 11.
    const uint8_t message[] = {'s', 'e', 'c', 'r', 'e', 't', 0x44, 0x33, 0x22, 0x11};
    uint8_t d[DIGEST_SIZE];
    digest_bytes(message, sizeof message, d);
    uint8_t proof[4];
    net_password_proof("secret", 0x11223344, proof);
    EXPECT_EQ(bytes(proof, 4), (Bytes{d[3], d[2], d[1], d[0]}));
    // Another key gives another proof.
    uint8_t other[4];
    net_password_proof("secret", 0x11223345, other);
    EXPECT_NE(bytes(proof, 4), bytes(other, 4));
}

TEST(NetReliable, OneMessageInFlightResentEveryHalfSecondUntilAcknowledged) {
    ReliableChannel ch;
    uint8_t a[3] = {17, 1, 1}, b[3] = {17, 2, 2};
    reliable_push(&ch, a, 3);
    reliable_push(&ch, b, 3);
    EXPECT_EQ(ch.next_out, 2u);
    const ReliableEntry* e = reliable_due(&ch, 10.0);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->seq, 0u);
    EXPECT_EQ(e->bytes[1], 1);
    EXPECT_EQ(reliable_due(&ch, 10.4), nullptr);
    EXPECT_EQ(reliable_due(&ch, 10.5), nullptr); // due only once past 10.5
    ASSERT_NE(reliable_due(&ch, 10.51), nullptr);
    // An acknowledgement of a later number removes nothing; the head's removes it.
    EXPECT_FALSE(reliable_ack(&ch, 1));
    EXPECT_TRUE(reliable_ack(&ch, 0));
    EXPECT_FALSE(reliable_ack(&ch, 0));
    e = reliable_due(&ch, 10.52); // the next one goes out at once
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->seq, 1u);
    EXPECT_TRUE(reliable_ack(&ch, 1));
    EXPECT_EQ(reliable_due(&ch, 20), nullptr);
}

TEST(NetReliable, IncomingMessagesAreTakenOnlyInSequence) {
    ReliableChannel ch;
    EXPECT_TRUE(reliable_accept(&ch, 0));
    EXPECT_FALSE(reliable_accept(&ch, 0)); // a repeat
    EXPECT_FALSE(reliable_accept(&ch, 2)); // out of order
    EXPECT_TRUE(reliable_accept(&ch, 1));
    EXPECT_TRUE(reliable_accept(&ch, 2));
    reliable_reset(&ch);
    EXPECT_EQ(ch.next_in, 0u);
    EXPECT_TRUE(ch.queue.empty());
}

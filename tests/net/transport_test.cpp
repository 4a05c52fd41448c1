// The UDP transport: address text, the socket's send and receive over loopback, error names,
// and the fault simulation's held datagrams (loss, lag, the full queue).
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <string>

#include "net/transport.h"
#include "platform/random.h"

namespace {

// A listening socket and a sending one on loopback.
struct NetLoopback : ::testing::Test {
    int rx = -1, tx = -1;
    NetAddress to{};
    void SetUp() override {
        net_cleanup();
        rx = net_open_bound(0);
        tx = net_open();
        ASSERT_GE(rx, 0);
        ASSERT_GE(tx, 0);
        std::string text = "127.0.0.1:" + std::to_string(net_local_port(rx));
        ASSERT_TRUE(net_resolve(&to, text.c_str(), NET_DEFAULT_PORT));
    }
    void TearDown() override {
        net_close(rx);
        net_close(tx);
        net_cleanup();
    }
    void send_byte(uint8_t b, int length = 1) {
        uint8_t data[NET_LAG_BUFFER_SIZE + 16];
        memset(data, b, sizeof data);
        ASSERT_EQ(net_send(tx, data, length, &to), length);
    }
};

in_addr_t loopback() {
    return htonl(INADDR_LOOPBACK);
}

} // namespace

TEST(NetResolve, PortAfterTheLastColon) {
    NetAddress a;
    ASSERT_TRUE(net_resolve(&a, "127.0.0.1:19801", 19800));
    EXPECT_EQ(a.length, 16);
    EXPECT_EQ(a.addr.sin_family, AF_INET);
    EXPECT_EQ(ntohs(a.addr.sin_port), 19801);
    EXPECT_EQ(a.addr.sin_addr.s_addr, loopback());
    // Without a port the default stands.
    ASSERT_TRUE(net_resolve(&a, "localhost", 19800));
    EXPECT_EQ(ntohs(a.addr.sin_port), 19800);
    EXPECT_EQ(a.addr.sin_addr.s_addr, loopback());
    // "%d" reads the digits a port starts with.
    ASSERT_TRUE(net_resolve(&a, "127.0.0.1:5000x", 19800));
    EXPECT_EQ(ntohs(a.addr.sin_port), 5000);
}

TEST(NetResolve, TextAfterTheColonThatIsNoNumberStaysInTheHostName) {
    NetAddress a;
    // The whole "127.0.0.1:abc" is looked up as a host name, which no resolver knows.
    EXPECT_FALSE(net_resolve(&a, "127.0.0.1:abc", 19800));
    EXPECT_FALSE(net_resolve(&a, "no-such-host.invalid", 19800));
    EXPECT_FALSE(net_resolve(&a, "", 19800));
    // A port the socket layer cannot hold is refused rather than wrapped around.
    EXPECT_FALSE(net_resolve(&a, "127.0.0.1:70000", 19800));
    EXPECT_FALSE(net_resolve(&a, "127.0.0.1:0", 19800));
}

TEST(NetErrors, ErrnoValuesGetTheirNames) {
    EXPECT_EQ(net_error_name(EAGAIN), nullptr);
    EXPECT_EQ(net_error_name(EWOULDBLOCK), nullptr);
    EXPECT_EQ(net_error_name(EINTR), nullptr);
    EXPECT_STREQ(net_error_name(EFAULT), "WSAEFAULT");
    EXPECT_STREQ(net_error_name(EINVAL), "WSAEINVAL");
    EXPECT_STREQ(net_error_name(EINPROGRESS), "WSAEINPROGRESS");
    EXPECT_STREQ(net_error_name(ENOTSOCK), "WSAENOTSOCK");
    EXPECT_STREQ(net_error_name(EBADF), "WSAENOTSOCK");
    EXPECT_STREQ(net_error_name(EMSGSIZE), "WSAEMSGSIZE");
    EXPECT_STREQ(net_error_name(EOPNOTSUPP), "WSAEOPNOTSUPP");
    EXPECT_STREQ(net_error_name(ENETDOWN), "WSAENETDOWN");
    EXPECT_STREQ(net_error_name(ENETRESET), "WSAENETRESET");
    EXPECT_STREQ(net_error_name(ECONNRESET), "WSAECONNRESET");
    EXPECT_STREQ(net_error_name(EISCONN), "WSAEISCONN");
    EXPECT_STREQ(net_error_name(ESHUTDOWN), "WSAESHUTDOWN");
    EXPECT_STREQ(net_error_name(ETIMEDOUT), "WSAETIMEDOUT");
    EXPECT_STREQ(net_error_name(ENOMEM), "Programmer too lazy error");
}

TEST_F(NetLoopback, ADatagramArrivesWithItsSender) {
    const char text[] = "hello";
    ASSERT_EQ(net_send(tx, text, 5, &to), 5);
    uint8_t buf[64];
    NetAddress from;
    int n = -1;
    for (int i = 0; i < 1000 && n < 0; i++) n = net_receive(rx, buf, sizeof buf, &from);
    ASSERT_EQ(n, 5);
    EXPECT_EQ(std::string((char*)buf, 5), "hello");
    EXPECT_EQ(from.length, 16);
    EXPECT_EQ(from.addr.sin_addr.s_addr, loopback());
    EXPECT_EQ(ntohs(from.addr.sin_port), net_local_port(tx));
    // Nothing more waiting: -1 without an error.
    EXPECT_EQ(net_receive(rx, buf, sizeof buf, &from), -1);
    EXPECT_EQ(net_error(), nullptr);
    // A datagram longer than the buffer is cut to it.
    send_byte(7, 100);
    n = -1;
    for (int i = 0; i < 1000 && n < 0; i++) n = net_receive(rx, buf, 10, &from);
    EXPECT_EQ(n, 10);
}

TEST_F(NetLoopback, ASocketThatIsNotOneGivesItsErrorName) {
    uint8_t b = 0;
    EXPECT_EQ(net_send(12345, &b, 1, &to), -1);
    EXPECT_STREQ(net_error(), "WSAENOTSOCK");
    NetAddress from;
    EXPECT_EQ(net_receive(12345, &b, 1, &from), -1);
    EXPECT_STREQ(net_error(), "WSAENOTSOCK");
}

TEST_F(NetLoopback, FullLossDropsEverything) {
    for (int i = 0; i < 50; i++) send_byte((uint8_t)i);
    uint8_t buf[64];
    NetAddress from;
    for (int t = 0; t < 10; t++)
        EXPECT_EQ(net_receive_faulty(rx, buf, sizeof buf, &from, 100.0 + t, 0, 100), -1);
    EXPECT_EQ(g_transport.count, 0);
    // Everything was taken from the socket and thrown away.
    EXPECT_EQ(net_receive(rx, buf, sizeof buf, &from), -1);
}

TEST_F(NetLoopback, LagDeliversEachDatagramThatMuchLaterInOrder) {
    for (int i = 1; i <= 3; i++) send_byte((uint8_t)i);
    uint8_t buf[64];
    NetAddress from;
    // Read at 10.0 s: none is older than 0.25 s yet.
    EXPECT_EQ(net_receive_faulty(rx, buf, sizeof buf, &from, 10.0, 0.25, 0), -1);
    EXPECT_EQ(g_transport.count, 3);
    EXPECT_EQ(net_receive_faulty(rx, buf, sizeof buf, &from, 10.25, 0.25, 0), -1);
    for (int i = 1; i <= 3; i++) {
        ASSERT_EQ(net_receive_faulty(rx, buf, sizeof buf, &from, 10.2501, 0.25, 0), 1);
        EXPECT_EQ(buf[0], i);
        EXPECT_EQ(ntohs(from.addr.sin_port), net_local_port(tx));
    }
    EXPECT_EQ(net_receive_faulty(rx, buf, sizeof buf, &from, 11.0, 0.25, 0), -1);
}

TEST_F(NetLoopback, LossDrawsTheRuntimeGenerator) {
    // 30 % drops a datagram when rand() < 30 x 327 = 9810; the same draws decide here.
    rand15_seed(1234);
    int kept = 0;
    for (int i = 0; i < 200; i++) kept += rand15() >= 9810;
    rand15_seed(1234);
    uint8_t buf[64];
    NetAddress from;
    int delivered = 0;
    for (int batch = 0; batch < 4; batch++) {
        for (int i = 0; i < 50; i++) send_byte((uint8_t)i);
        // Each call reads what waits, then hands one out (the lag of 0 is passed by then).
        for (int k = 0; k < 60; k++)
            delivered +=
                net_receive_faulty(rx, buf, sizeof buf, &from, batch + k * 0.01, 0, 30) > 0;
    }
    for (int k = 0; k < 300; k++)
        delivered += net_receive_faulty(rx, buf, sizeof buf, &from, 10 + k * 0.01, 0, 30) > 0;
    EXPECT_EQ(delivered, kept);
}

TEST_F(NetLoopback, AFullQueueLeavesDatagramsOnTheSocket) {
    uint8_t buf[NET_LAG_BUFFER_SIZE];
    NetAddress from;
    // Fill the 1024 buffers in batches the socket can hold; nothing is old enough to leave.
    int sent = 0;
    while (sent < NET_LAG_BUFFERS) {
        for (int i = 0; i < 128 && sent < NET_LAG_BUFFERS; i++, sent++) send_byte((uint8_t)sent);
        EXPECT_EQ(net_receive_faulty(rx, buf, sizeof buf, &from, 0.5, 1.0, 0), -1);
    }
    EXPECT_EQ(g_transport.count, NET_LAG_BUFFERS);
    send_byte(0xAB);
    EXPECT_EQ(net_receive_faulty(rx, buf, sizeof buf, &from, 0.5, 1.0, 0), -1);
    // The last one is still waiting on the socket.
    int n = -1;
    for (int i = 0; i < 1000 && n < 0; i++) n = net_receive(rx, buf, sizeof buf, &from);
    ASSERT_EQ(n, 1);
    EXPECT_EQ(buf[0], 0xAB);
    // Once one is delivered (the oldest, sent first), there is room again.
    ASSERT_EQ(net_receive_faulty(rx, buf, sizeof buf, &from, 1.6, 1.0, 0), 1);
    EXPECT_EQ(buf[0], 0);
    EXPECT_EQ(g_transport.count, NET_LAG_BUFFERS - 1);
    // A held datagram of 1024 bytes reaches the caller as 1023 at most.
    net_faults_clear();
    send_byte(5, NET_LAG_BUFFER_SIZE);
    EXPECT_EQ(net_receive_faulty(rx, buf, sizeof buf, &from, 2.0, 0.01, 0), -1);
    EXPECT_EQ(net_receive_faulty(rx, buf, sizeof buf, &from, 2.1, 0.01, 0), 1023);
}

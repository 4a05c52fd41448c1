// UDP datagrams to and from the race server: resolving "host:port" text to an IPv4 address,
// one non-blocking socket, sending and receiving a datagram, socket errors as short names for
// the message log, and the simulated network faults ("--fake-lag", "--fake-loss") applied to
// incoming datagrams. Everything above datagrams is the client protocol (net/client.h).
//
// Socket errors are kept under the names players and logs have always seen:
//   EAGAIN, EWOULDBLOCK, EINTR        none (nothing to do now)
//   EFAULT "WSAEFAULT"   EINVAL "WSAEINVAL"   EINPROGRESS, EALREADY "WSAEINPROGRESS"
//   ENOTSOCK, EBADF "WSAENOTSOCK"   EMSGSIZE "WSAEMSGSIZE"   EOPNOTSUPP "WSAEOPNOTSUPP"
//   ENETDOWN, ENETUNREACH "WSAENETDOWN"   ENETRESET "WSAENETRESET"
//   ECONNRESET, ECONNREFUSED "WSAECONNRESET"   EISCONN "WSAEISCONN"
//   ESHUTDOWN, EPIPE "WSAESHUTDOWN"   ETIMEDOUT "WSAETIMEDOUT"   any other "Programmer too lazy
//   error"
#pragma once

#include <cstdint>
#include <netinet/in.h>

constexpr int NET_DEFAULT_PORT = 19800;
constexpr int NET_LAG_BUFFERS = 1024;     // datagrams the fault simulation holds at most
constexpr int NET_LAG_BUFFER_SIZE = 1024; // bytes of one held datagram

// An IPv4 address: the length (16 once resolved or received) and the socket address. Cleared
// to zero before it is filled.
struct NetAddress {
    int length;
    sockaddr_in addr;
};

// One held datagram of the fault simulation.
struct LagBuffer {
    double arrival; // seconds on the caller's clock when it was read
    uint8_t data[NET_LAG_BUFFER_SIZE];
    int length;
    NetAddress from;
};

// Process-wide transport state, written only by transport.cpp (read it through g_transport).
struct Transport {
    const char* error = nullptr; // name of the last socket error, null for none
    int started = 0;             // the socket layer was used (set by resolve and open)
    // Fault simulation: created on first use; order[0] is the oldest held datagram.
    LagBuffer* buffers = nullptr;
    LagBuffer* order[NET_LAG_BUFFERS] = {};
    int count = 0;
};
extern const Transport& g_transport;

// The error name for an errno value (null for the "nothing to do" codes).
const char* net_error_name(int code);
// The name of the last error, null when the last operation succeeded or had nothing to do.
const char* net_error();

// Resolves a host name, or a host name, a colon and a decimal port, to an address. The port
// after the last ':' replaces default_port when it reads as a number; otherwise the whole
// text (colon included) is the host name. 1 on success, 0 when the host is unknown.
int net_resolve(NetAddress* out, const char* text, int default_port);
// Opens a non-blocking IPv4 datagram socket; the handle, or -1 (net_error says why).
int net_open();
// The same, bound to a port on every interface (0: a free port the system picks); -1 when it
// cannot be bound. Servers and tests listen this way.
int net_open_bound(int port);
// The local port a socket is bound to, or 0.
int net_local_port(int sock);
void net_close(int sock);
// Sends one datagram; the byte count, or -1 (net_error says why).
int net_send(int sock, const void* bytes, int length, const NetAddress* to);
// Receives one datagram into buffer (cut to size); its length, or -1 when nothing is waiting
// (net_error null) or on an error (net_error set). The sender goes to *from.
int net_receive(int sock, void* buffer, int size, NetAddress* from);
// Receives through the fault simulation: every datagram waiting on the socket is read into the
// held buffers (up to 1024), each dropped with the chance loss percent (all of them at 100);
// the oldest held one is delivered once it is older than lag seconds at time now. Same
// results as net_receive; the delivered length is at most size and 1023.
int net_receive_faulty(int sock, void* buffer, int size, NetAddress* from, double now, double lag,
                       int loss);
// Forgets the held datagrams (a new connection starts without the old one's traffic).
void net_faults_clear();
// Ends the use of the socket layer (program exit): frees the held datagrams.
void net_cleanup();
// 1 when two addresses name the same host and port.
int net_address_equal(const NetAddress* a, const NetAddress* b);
// "a.b.c.d:port" of an address, for logs.
const char* net_address_text(const NetAddress* a, char* out, int size);

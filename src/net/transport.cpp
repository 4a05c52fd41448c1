// UDP over POSIX sockets, and the fault simulation's queue of held datagrams.
#include "net/transport.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

#include "platform/log.h"
#include "platform/random.h"

namespace {

Transport g_transport_data;

void fail(int code) {
    g_transport_data.error = net_error_name(code);
}

} // namespace

const Transport& g_transport = g_transport_data;

const char* net_error_name(int code) {
    switch (code) {
    case 0:
    case EAGAIN:
#if EWOULDBLOCK != EAGAIN
    case EWOULDBLOCK:
#endif
    case EINTR:
        return nullptr;
    case EFAULT:
        return "WSAEFAULT";
    case EINVAL:
        return "WSAEINVAL";
    case EINPROGRESS:
    case EALREADY:
        return "WSAEINPROGRESS";
    case ENOTSOCK:
    case EBADF:
        return "WSAENOTSOCK";
    case EMSGSIZE:
        return "WSAEMSGSIZE";
    case EOPNOTSUPP:
        return "WSAEOPNOTSUPP";
    case ENETDOWN:
    case ENETUNREACH:
        return "WSAENETDOWN";
    case ENETRESET:
        return "WSAENETRESET";
    case ECONNRESET:
    case ECONNREFUSED: // what a port nobody listens on reports here
        return "WSAECONNRESET";
    case EISCONN:
        return "WSAEISCONN";
    case ESHUTDOWN:
    case EPIPE:
        return "WSAESHUTDOWN";
    case ETIMEDOUT:
        return "WSAETIMEDOUT";
    default:
        return "Programmer too lazy error";
    }
}

const char* net_error() {
    return g_transport_data.error;
}

int net_resolve(NetAddress* out, const char* text, int default_port) {
    Transport& t = g_transport_data;
    t.started = 1;
    t.error = nullptr;
    memset(out, 0, sizeof *out);
    out->length = (int)sizeof(sockaddr_in);
    std::string host = text ? text : "";
    int port = default_port;
    size_t colon = host.rfind(':');
    if (colon != std::string::npos) {
        int p;
        if (sscanf(host.c_str() + colon + 1, "%d", &p) == 1) {
            // A port the socket layer cannot hold would silently become another one.
            if (p < 1 || p > 65535) return 0;
            port = p;
            host.resize(colon);
        }
    }
    out->addr.sin_family = AF_INET;
    out->addr.sin_port = htons((uint16_t)port);
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo* found = nullptr;
    if (host.empty() || getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || !found) return 0;
    out->addr.sin_addr = ((const sockaddr_in*)found->ai_addr)->sin_addr;
    freeaddrinfo(found);
    return 1;
}

static int open_socket(int bind_port) {
    Transport& t = g_transport_data;
    t.started = 1;
    t.error = nullptr;
    int s = socket(AF_INET, SOCK_DGRAM, 0);
    if (s < 0) {
        fail(errno);
        return -1;
    }
    int flags = fcntl(s, F_GETFL, 0);
    if (flags < 0 || fcntl(s, F_SETFL, flags | O_NONBLOCK) < 0) {
        fail(errno);
        close(s);
        return -1;
    }
    if (bind_port >= 0) {
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_ANY);
        a.sin_port = htons((uint16_t)bind_port);
        if (bind(s, (const sockaddr*)&a, sizeof a) != 0) {
            fail(errno);
            close(s);
            return -1;
        }
    }
    return s;
}

int net_open() {
    return open_socket(-1);
}

int net_open_bound(int port) {
    if (port < 0 || port > 65535) return -1;
    return open_socket(port);
}

int net_local_port(int sock) {
    sockaddr_in a{};
    socklen_t n = sizeof a;
    if (getsockname(sock, (sockaddr*)&a, &n) != 0) return 0;
    return ntohs(a.sin_port);
}

void net_close(int sock) {
    if (sock >= 0) close(sock);
}

int net_send(int sock, const void* bytes, int length, const NetAddress* to) {
    Transport& t = g_transport_data;
    t.error = nullptr;
    ssize_t n = sendto(sock, bytes, (size_t)(length < 0 ? 0 : length), 0,
                       (const sockaddr*)&to->addr, sizeof to->addr);
    if (n < 0) {
        // A full send buffer is "nothing to do now" as well: the packet goes out again later.
        fail(errno);
        return -1;
    }
    return (int)n;
}

int net_receive(int sock, void* buffer, int size, NetAddress* from) {
    Transport& t = g_transport_data;
    t.error = nullptr;
    sockaddr_in a{};
    socklen_t n = sizeof a;
    ssize_t got = recvfrom(sock, buffer, (size_t)(size < 0 ? 0 : size), 0, (sockaddr*)&a, &n);
    if (got < 0) {
        fail(errno);
        return -1;
    }
    memset(from, 0, sizeof *from);
    from->length = (int)n;
    from->addr = a;
    return (int)got;
}

int net_receive_faulty(int sock, void* buffer, int size, NetAddress* from, double now, double lag,
                       int loss) {
    Transport& t = g_transport_data;
    if (!t.buffers) {
        t.buffers = (LagBuffer*)xmalloc(sizeof(LagBuffer) * NET_LAG_BUFFERS);
        for (int i = 0; i < NET_LAG_BUFFERS; i++) t.order[i] = &t.buffers[i];
        t.count = 0;
    }
    // 1. Everything waiting on the socket, up to a full queue.
    while (t.count < NET_LAG_BUFFERS) {
        LagBuffer* b = t.order[t.count];
        b->arrival = now;
        int n = net_receive(sock, b->data, NET_LAG_BUFFER_SIZE, &b->from);
        if (n < 0) break;
        b->length = n;
        // At 100 % nothing gets through (rand() x 327 alone would let 68 in 32768 pass).
        if (loss >= 100 || rand15() < loss * 327) continue;
        t.count++;
    }
    const char* error = t.error;
    // 2. Nothing held, or the oldest is not old enough yet.
    if (t.count == 0 || !(t.order[0]->arrival + lag < now)) {
        t.error = error;
        return -1;
    }
    // 3. The oldest goes to the caller; its buffer moves to the end of the table.
    LagBuffer* b = t.order[0];
    int n = b->length;
    if (n > 1023) n = 1023;
    if (n > size) n = size;
    if (n > 0) memcpy(buffer, b->data, (size_t)n);
    *from = b->from;
    memmove(&t.order[0], &t.order[1], sizeof(LagBuffer*) * (NET_LAG_BUFFERS - 1));
    t.order[NET_LAG_BUFFERS - 1] = b;
    t.count--;
    t.error = nullptr;
    return n;
}

void net_faults_clear() {
    g_transport_data.count = 0;
}

void net_cleanup() {
    Transport& t = g_transport_data;
    free(t.buffers);
    t.buffers = nullptr;
    t.count = 0;
    t.started = 0;
    t.error = nullptr;
}

int net_address_equal(const NetAddress* a, const NetAddress* b) {
    return a->addr.sin_family == b->addr.sin_family && a->addr.sin_port == b->addr.sin_port &&
           a->addr.sin_addr.s_addr == b->addr.sin_addr.s_addr;
}

const char* net_address_text(const NetAddress* a, char* out, int size) {
    char ip[INET_ADDRSTRLEN] = "?";
    inet_ntop(AF_INET, &a->addr.sin_addr, ip, sizeof ip);
    snprintf(out, (size_t)size, "%s:%d", ip, ntohs(a->addr.sin_port));
    return out;
}

// Name resolution, connection set-up and the timed one-request exchange shared by every
// conversation with the DDNS server.
#ifndef OZU_DDNS_TRANSPORT_H
#define OZU_DDNS_TRANSPORT_H

#include <pthread.h>

#include <array>
#include <chrono>
#include <cstdint>

namespace ozu::ddns {

// Holds the request text first and then the reply: at most 2047 bytes and a NUL.
using ExchangeBuffer = std::array<char, 2048>;

// One budget for both waits of an exchange.
inline constexpr std::chrono::milliseconds kExchangeBudget{60000};

// What resolution shares between threads. The library passes its module state and
// "/etc/resolv.conf"; tests pass their own lock, file and reload counter.
struct ResolverContext {
    pthread_mutex_t* lock;
    std::int32_t* resolvConfMtime;
    const char* resolvConfPath;
    void (*reloadResolver)();
};

// The first IPv4 address of hostName, in network byte order. Fails at once (-1) while another
// thread holds the resolution lock; *address is written only on success.
int resolve_ipv4(const char* hostName, std::uint32_t* address, const ResolverContext& context);

using Resolver = int (*)(const char* hostName, std::uint32_t* address);

// Owns one socket descriptor and closes it.
class SocketHandle {
public:
    SocketHandle() = default;
    explicit SocketHandle(int descriptor) : descriptor_(descriptor) {}
    SocketHandle(SocketHandle&& other) noexcept;
    SocketHandle& operator=(SocketHandle&& other) noexcept;
    SocketHandle(const SocketHandle&) = delete;
    SocketHandle& operator=(const SocketHandle&) = delete;
    ~SocketHandle();

    int get() const { return descriptor_; }
    explicit operator bool() const { return descriptor_ >= 0; }

private:
    int descriptor_ = -1;
};

// Blocking TCP connection to server:port; reports socket and connect failures with perror,
// resolution failures silently. An empty handle on failure.
SocketHandle connect_to_server(const char* server, int port, Resolver resolve);

// The point in time at which the exchange's budget runs out, fixed before the first wait.
class ExchangeDeadline {
public:
    explicit ExchangeDeadline(std::chrono::milliseconds budget);
    int remaining_milliseconds() const;

private:
    std::chrono::steady_clock::time_point end_;
};

// The two waits of an exchange, each with its own messages; false when the exchange must end.
bool wait_until_writable(int descriptor, const ExchangeDeadline& deadline);
bool wait_until_readable(int descriptor, const ExchangeDeadline& deadline);

// Sends the request text held in buffer once and receives the reply into it once. Returns the
// number of bytes received (the reply is NUL-terminated) or -1. The socket is closed on return.
int exchange_http(SocketHandle connection, ExchangeBuffer& buffer, std::chrono::milliseconds budget = kExchangeBudget);

// True when the reply starts with an HTTP/1.x status line whose code reads as 200.
bool http_status_is_ok(const char* reply);

}  // namespace ozu::ddns

#endif

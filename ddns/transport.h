// Name resolution, the connection and the timed exchange of one request and one reply: every
// conversation with the DDNS server, over HTTP or the register channel, goes through here.
#ifndef OZU_DDNS_TRANSPORT_H
#define OZU_DDNS_TRANSPORT_H

#include <pthread.h>

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace ozu::ddns {

// An HTTP request and then its reply, or a register reply: one recv() of at most 2047 bytes and a NUL.
using ExchangeBuffer = std::array<char, 2048>;

// Both waits of one exchange draw on this one budget.
inline constexpr std::chrono::milliseconds kExchangeBudget{60000};

// What resolution shares between threads. The library passes its module state and
// "/etc/resolv.conf"; tests pass their own lock, file and reload counter.
struct ResolverContext {
    pthread_mutex_t* lock;
    std::int32_t* resolv_conf_mtime;
    const char* resolv_conf_path;
    void (*reload_resolver)();
};

// Stores the first IPv4 address of host_name in *address, in network byte order. False, with
// *address untouched, for a null argument, a name that does not resolve, or at once while another
// thread holds the resolution lock.
bool resolve_ipv4(const char* host_name, std::uint32_t* address, const ResolverContext& context);

// GetHostName's signature: 0 with the address stored, or -1.
using Resolver = int (*)(const char* host_name, std::uint32_t* address);

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
    // Hands the descriptor, or -1, to a caller that closes it itself.
    int release();

private:
    int descriptor_ = -1;
};

enum class ConnectStep { Resolve, Connect };

// Where the HTTP requests and the register channel part ways. Each keeps its own messages, and the
// register channel gives up sooner.
struct ChannelRules {
    // Called with errno still set by the failed step; address is in network byte order, still 0
    // when the name did not resolve.
    void (*report_failure)(ConnectStep failed, const char* server, std::uint32_t address);
    bool failed_send_ends_exchange;  // otherwise the reply wait still decides
    bool closed_peer_reported;       // a peer that closes without a reply
};

// A blocking TCP connection to server:port, or an empty handle once the failure is reported.
SocketHandle connect_to_server(const char* server, int port, Resolver resolve, const ChannelRules& rules);

// Sends request with one send() and receives the reply with one recv(), both waits within
// kExchangeBudget. The reply is NUL-terminated; request may lie in reply, which is written only
// after the send. The number of bytes received, or nothing once the failure is reported. The
// connection stays open.
std::optional<std::size_t> exchange_once(const SocketHandle& connection, std::string_view request,
                                         ExchangeBuffer& reply, const ChannelRules& rules);

// The status line read as sscanf(" HTTP/1.%*c %3d") reads it, quirks included: any character
// passes for the minor version and only three characters of the code are read, so
// "HTTP/1.x 2001" passes too. Only 200 counts, not the other 2xx codes.
bool http_status_is_ok(const char* reply);

}  // namespace ozu::ddns

#endif

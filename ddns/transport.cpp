#include "ddns/transport.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <utility>

namespace ozu::ddns {

namespace {

void reload_resolver_if_changed(const ResolverContext& context)
{
    struct stat status {};
    // A file that cannot be examined leaves the resolver and the remembered time as they are.
    if (stat(context.resolv_conf_path, &status) != 0) {
        return;
    }
    const auto mtime = static_cast<std::int32_t>(status.st_mtime);
    if (mtime == *context.resolv_conf_mtime) {
        return;
    }
    *context.resolv_conf_mtime = mtime;
    context.reload_resolver();
}

std::optional<std::uint32_t> first_ipv4_address(const char* host_name)
{
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* list = nullptr;
    const int result = getaddrinfo(host_name, nullptr, &hints, &list);
    std::optional<std::uint32_t> address;
    if (result == 0 && list != nullptr && list->ai_addr != nullptr) {
        sockaddr_in ipv4{};
        std::memcpy(&ipv4, list->ai_addr, sizeof ipv4);
        address = ipv4.sin_addr.s_addr;
    }
    // A failed call is not trusted to have left the list empty.
    if (list != nullptr) {
        freeaddrinfo(list);
    }
    return address;
}

// The point in time at which the exchange's budget runs out, fixed before the first wait.
class ExchangeDeadline {
public:
    ExchangeDeadline() : end_(std::chrono::steady_clock::now() + kExchangeBudget) {}

    int remaining_milliseconds() const
    {
        const auto remaining = std::chrono::ceil<std::chrono::milliseconds>(end_ - std::chrono::steady_clock::now());
        return remaining.count() > 0 ? static_cast<int>(remaining.count()) : 0;
    }

private:
    std::chrono::steady_clock::time_point end_;
};

enum class Readiness { Ready, Failed, TimedOut, NotReady };

// poll instead of select: a descriptor at or above FD_SETSIZE cannot go into an fd_set, and
// poll waits on any descriptor. Readiness is judged as select judges it (an error or hang-up
// makes the socket ready, so the following send or recv reports it), and both waits draw on
// one deadline, as select's shrinking time value does on Linux.
Readiness wait_for(int descriptor, short events, short ready_mask, const ExchangeDeadline& deadline)
{
    pollfd entry{descriptor, events, 0};
    const int result = poll(&entry, 1, deadline.remaining_milliseconds());
    if (result < 0) {
        return Readiness::Failed;
    }
    if (result == 0) {
        return Readiness::TimedOut;
    }
    if ((entry.revents & POLLNVAL) != 0) {
        errno = EBADF;
        return Readiness::Failed;
    }
    return (entry.revents & ready_mask) != 0 ? Readiness::Ready : Readiness::NotReady;
}

// The two waits report the same conditions in different words and on different streams.
bool wait_until_writable(int descriptor, const ExchangeDeadline& deadline)
{
    switch (wait_for(descriptor, POLLOUT, POLLOUT | POLLERR, deadline)) {
    case Readiness::Ready:
        return true;
    case Readiness::Failed:
        std::printf("select error:%s\n", std::strerror(errno));
        return false;
    case Readiness::TimedOut:
        std::puts("time out");
        return false;
    case Readiness::NotReady:
        std::puts("error:case not handled.");
        return false;
    }
    return false;
}

bool wait_until_readable(int descriptor, const ExchangeDeadline& deadline)
{
    switch (wait_for(descriptor, POLLIN, POLLIN | POLLHUP | POLLERR, deadline)) {
    case Readiness::Ready:
        return true;
    case Readiness::Failed:
        std::fputs(std::strerror(errno), stdout);
        return false;
    case Readiness::TimedOut:
        std::fputs("timeout\n", stderr);
        return false;
    case Readiness::NotReady:
        std::fputs("error: case not handled.\n", stderr);
        return false;
    }
    return false;
}

// A short send is not retried. MSG_NOSIGNAL: a peer that has gone away must not kill the host
// with SIGPIPE.
bool send_request(int descriptor, std::string_view request)
{
    if (send(descriptor, request.data(), request.size(), MSG_NOSIGNAL) >= 1) {
        return true;
    }
    std::printf("error send()ing request:%s\n", std::strerror(errno));
    return false;
}

std::optional<std::size_t> receive_reply(int descriptor, ExchangeBuffer& reply, bool closed_peer_reported)
{
    // A peer that closes without answering leaves errno alone: a report then reads "Success",
    // not some older error.
    errno = 0;
    const ssize_t received = recv(descriptor, reply.data(), reply.size() - 1, 0);
    if (received < 0 || (received == 0 && closed_peer_reported)) {
        std::fprintf(stderr, "error recv()ing reply: %s\n", std::strerror(errno));
        return std::nullopt;
    }
    if (received == 0) {
        return std::nullopt;
    }
    reply[static_cast<std::size_t>(received)] = '\0';
    return static_cast<std::size_t>(received);
}

}  // namespace

bool resolve_ipv4(const char* host_name, std::uint32_t* address, const ResolverContext& context)
{
    if (host_name == nullptr || address == nullptr) {
        return false;
    }
    if (pthread_mutex_trylock(context.lock) != 0) {
        return false;
    }
    reload_resolver_if_changed(context);
    const std::optional<std::uint32_t> resolved = first_ipv4_address(host_name);
    pthread_mutex_unlock(context.lock);
    if (resolved) {
        *address = *resolved;
    }
    return resolved.has_value();
}

SocketHandle::SocketHandle(SocketHandle&& other) noexcept : descriptor_(other.release()) {}

SocketHandle& SocketHandle::operator=(SocketHandle&& other) noexcept
{
    if (this != &other) {
        SocketHandle discarded(std::move(*this));
        descriptor_ = other.release();
    }
    return *this;
}

SocketHandle::~SocketHandle()
{
    if (descriptor_ >= 0) {
        close(descriptor_);
    }
}

int SocketHandle::release()
{
    return std::exchange(descriptor_, -1);
}

SocketHandle connect_to_server(const char* server, int port, Resolver resolve, const ChannelRules& rules)
{
    SocketHandle connection(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    if (!connection) {
        std::perror("socket");
        return {};
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    if (resolve(server, &address.sin_addr.s_addr) != 0) {
        rules.report_failure(ConnectStep::Resolve, server, address.sin_addr.s_addr);
        return {};
    }
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    if (connect(connection.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) == -1) {
        rules.report_failure(ConnectStep::Connect, server, address.sin_addr.s_addr);
        return {};
    }
    return connection;
}

std::optional<std::size_t> exchange_once(const SocketHandle& connection, std::string_view request,
                                         ExchangeBuffer& reply, const ChannelRules& rules)
{
    const ExchangeDeadline deadline;
    if (!wait_until_writable(connection.get(), deadline)) {
        return std::nullopt;
    }
    if (!send_request(connection.get(), request) && rules.failed_send_ends_exchange) {
        return std::nullopt;
    }
    if (!wait_until_readable(connection.get(), deadline)) {
        return std::nullopt;
    }
    return receive_reply(connection.get(), reply, rules.closed_peer_reported);
}

bool http_status_is_ok(const char* reply)
{
    int code = 0;
    return std::sscanf(reply, " HTTP/1.%*c %3d", &code) == 1 && code == 200;
}

}  // namespace ozu::ddns

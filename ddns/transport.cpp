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
    if (stat(context.resolvConfPath, &status) != 0) {
        return;
    }
    const auto mtime = static_cast<std::int32_t>(status.st_mtime);
    if (mtime == *context.resolvConfMtime) {
        return;
    }
    *context.resolvConfMtime = mtime;
    context.reloadResolver();
}

int first_ipv4_address(const char* hostName, std::uint32_t* address)
{
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* list = nullptr;
    if (getaddrinfo(hostName, nullptr, &hints, &list) != 0) {
        if (list != nullptr) {
            freeaddrinfo(list);
        }
        return -1;
    }
    if (list == nullptr || list->ai_addr == nullptr) {
        freeaddrinfo(list);
        return -1;
    }
    sockaddr_in ipv4{};
    std::memcpy(&ipv4, list->ai_addr, sizeof ipv4);
    *address = ipv4.sin_addr.s_addr;
    freeaddrinfo(list);
    return 0;
}

enum class Readiness { Ready, Failed, TimedOut, NotReady };

// poll instead of select: a descriptor at or above FD_SETSIZE cannot go into an fd_set, and
// poll waits on any descriptor. Readiness is judged as select judges it (an error or hang-up
// makes the socket ready, so the following send or recv reports it), and both waits draw on
// one deadline, as select's shrinking time value does on Linux.
Readiness wait_for(int descriptor, short events, short readyMask, const ExchangeDeadline& deadline)
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
    return (entry.revents & readyMask) != 0 ? Readiness::Ready : Readiness::NotReady;
}

void send_request(int descriptor, const char* request)
{
    // MSG_NOSIGNAL: a peer that has gone away must not kill the host with SIGPIPE; the failed
    // send is reported and the receive wait still decides the outcome.
    if (send(descriptor, request, std::strlen(request), MSG_NOSIGNAL) == -1) {
        std::printf("error send()ing request:%s\n", std::strerror(errno));
    }
}

int receive_reply(int descriptor, ExchangeBuffer& buffer)
{
    const ssize_t received = recv(descriptor, buffer.data(), buffer.size() - 1, 0);
    if (received == -1) {
        std::fprintf(stderr, "error recv()ing reply: %s\n", std::strerror(errno));
        return -1;
    }
    if (received == 0) {
        return -1;
    }
    buffer[static_cast<std::size_t>(received)] = '\0';
    return static_cast<int>(received);
}

}  // namespace

int resolve_ipv4(const char* hostName, std::uint32_t* address, const ResolverContext& context)
{
    if (hostName == nullptr || address == nullptr) {
        return -1;
    }
    if (pthread_mutex_trylock(context.lock) != 0) {
        return -1;
    }
    reload_resolver_if_changed(context);
    const int result = first_ipv4_address(hostName, address);
    pthread_mutex_unlock(context.lock);
    return result;
}

SocketHandle::SocketHandle(SocketHandle&& other) noexcept : descriptor_(std::exchange(other.descriptor_, -1)) {}

SocketHandle& SocketHandle::operator=(SocketHandle&& other) noexcept
{
    if (this != &other) {
        SocketHandle discarded(std::move(*this));
        descriptor_ = std::exchange(other.descriptor_, -1);
    }
    return *this;
}

SocketHandle::~SocketHandle()
{
    if (descriptor_ >= 0) {
        close(descriptor_);
    }
}

SocketHandle connect_to_server(const char* server, int port, Resolver resolve)
{
    SocketHandle socket_handle(socket(AF_INET, SOCK_STREAM, 0));
    if (!socket_handle) {
        std::perror("socket");
        return {};
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    if (resolve(server, &address.sin_addr.s_addr) != 0) {
        return {};
    }
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    if (connect(socket_handle.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) == -1) {
        std::perror("connect");
        return {};
    }
    return socket_handle;
}

ExchangeDeadline::ExchangeDeadline(std::chrono::milliseconds budget) : end_(std::chrono::steady_clock::now() + budget)
{
}

int ExchangeDeadline::remaining_milliseconds() const
{
    const auto remaining = std::chrono::ceil<std::chrono::milliseconds>(end_ - std::chrono::steady_clock::now());
    return remaining.count() > 0 ? static_cast<int>(remaining.count()) : 0;
}

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

int exchange_http(SocketHandle connection, ExchangeBuffer& buffer, std::chrono::milliseconds budget)
{
    const ExchangeDeadline deadline(budget);
    if (!wait_until_writable(connection.get(), deadline)) {
        return -1;
    }
    send_request(connection.get(), buffer.data());
    if (!wait_until_readable(connection.get(), deadline)) {
        return -1;
    }
    return receive_reply(connection.get(), buffer);
}

bool http_status_is_ok(const char* reply)
{
    int code = 0;
    return std::sscanf(reply, " HTTP/1.%*c %3d", &code) == 1 && code == 200;
}

}  // namespace ozu::ddns

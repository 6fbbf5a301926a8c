#include "socket_io.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>

namespace ozu::server {
namespace {

constexpr int kListenBacklog = 16;

using Clock = std::chrono::steady_clock;

int milliseconds_left(Clock::time_point deadline)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

enum class Wait { Ready, TimedOut, Stopped };

Wait wait_readable(int fd, int stop_fd, Clock::time_point deadline)
{
    while (true) {
        std::array<pollfd, 2> fds = {{{stop_fd, POLLIN, 0}, {fd, POLLIN, 0}}};
        const int ready = poll(fds.data(), fd >= 0 ? 2 : 1, milliseconds_left(deadline));
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready < 0 || fds[0].revents != 0) {
            return Wait::Stopped;
        }
        if (ready == 0) {
            return Wait::TimedOut;
        }
        return Wait::Ready;
    }
}

std::string describe(const std::string& address, int port)
{
    return "cannot listen on " + address + ":" + std::to_string(port) + ": ";
}

}  // namespace

UniqueFd& UniqueFd::operator=(UniqueFd&& other) noexcept
{
    if (this != &other) {
        reset();
        fd_ = other.release();
    }
    return *this;
}

int UniqueFd::release()
{
    const int fd = fd_;
    fd_ = -1;
    return fd;
}

void UniqueFd::reset()
{
    if (fd_ >= 0) {
        close(fd_);
        fd_ = -1;
    }
}

UniqueFd listen_on(const std::string& address, int port, std::string* error)
{
    sockaddr_in where{};
    where.sin_family = AF_INET;
    where.sin_port = htons(static_cast<std::uint16_t>(port));
    if (inet_pton(AF_INET, address.c_str(), &where.sin_addr) != 1) {
        *error = describe(address, port) + "not an IPv4 address";
        return UniqueFd();
    }
    UniqueFd listener(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    const int reuse = 1;
    if (!listener.valid() || setsockopt(listener.get(), SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof reuse) != 0 ||
        bind(listener.get(), reinterpret_cast<const sockaddr*>(&where), sizeof where) != 0 ||
        listen(listener.get(), kListenBacklog) != 0) {
        *error = describe(address, port) + std::strerror(errno);
        return UniqueFd();
    }
    return listener;
}

std::string peer_address(int fd)
{
    sockaddr_in peer{};
    socklen_t length = sizeof peer;
    std::array<char, INET_ADDRSTRLEN> text{};
    if (getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &length) != 0 ||
        inet_ntop(AF_INET, &peer.sin_addr, text.data(), text.size()) == nullptr) {
        return "?";
    }
    return text.data();
}

Received receive(int fd, int stop_fd, std::size_t limit, const std::function<bool(const std::string&)>& complete,
                 std::chrono::milliseconds timeout)
{
    const Clock::time_point deadline = Clock::now() + timeout;
    Received received;
    std::array<char, 1024> chunk{};
    while (received.bytes.size() < limit && !complete(received.bytes)) {
        const Wait wait = wait_readable(fd, stop_fd, deadline);
        if (wait != Wait::Ready) {
            received.stopped = wait == Wait::Stopped;
            break;
        }
        const std::size_t wanted = std::min(chunk.size(), limit - received.bytes.size());
        const ssize_t count = recv(fd, chunk.data(), wanted, 0);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count <= 0) {
            break;
        }
        received.bytes.append(chunk.data(), static_cast<std::size_t>(count));
    }
    return received;
}

bool pause_unless_stopped(int stop_fd, std::chrono::milliseconds duration)
{
    return wait_readable(-1, stop_fd, Clock::now() + duration) == Wait::TimedOut;
}

void wait_for_stop(int stop_fd)
{
    while (wait_readable(-1, stop_fd, Clock::now() + std::chrono::hours(1)) != Wait::Stopped) {
    }
}

void send_all(int fd, const std::string& bytes)
{
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t count = send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count <= 0) {
            return;
        }
        sent += static_cast<std::size_t>(count);
    }
}

}  // namespace ozu::server

// Socket plumbing of the reference server: listeners and reads/waits that end at a
// deadline or as soon as the server is stopped.
#ifndef OZU_SERVER_SOCKET_IO_H
#define OZU_SERVER_SOCKET_IO_H

#include <chrono>
#include <cstddef>
#include <functional>
#include <string>

namespace ozu::server {

class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : fd_(fd) {}
    ~UniqueFd() { reset(); }
    UniqueFd(UniqueFd&& other) noexcept : fd_(other.release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept;
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;

    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    int release();
    void reset();

private:
    int fd_ = -1;
};

// A TCP listener on address:port with SO_REUSEADDR; invalid and a message in *error
// ("cannot listen on A:P: <reason>") on failure.
UniqueFd listen_on(const std::string& address, int port, std::string* error);

// The dotted address of a connected socket's peer.
std::string peer_address(int fd);

struct Received {
    std::string bytes;
    bool stopped = false;  // the stop signal came first
};

// Reads until complete(bytes) holds, limit bytes arrived, the peer closed, the
// timeout passed or stop_fd became readable.
Received receive(int fd, int stop_fd, std::size_t limit, const std::function<bool(const std::string&)>& complete,
                 std::chrono::milliseconds timeout);

// Waits for the given time; false when stop_fd became readable first.
bool pause_unless_stopped(int stop_fd, std::chrono::milliseconds duration);
void wait_for_stop(int stop_fd);

// Sends everything unless the peer goes away; never raises SIGPIPE.
void send_all(int fd, const std::string& bytes);

}  // namespace ozu::server

#endif

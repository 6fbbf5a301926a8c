#include "support/clogged_connection.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>

#include "support/loopback_addresses.h"

namespace ozu_test {

CloggedConnection::CloggedConnection(const char* host)
{
    listener_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    inet_pton(AF_INET, host, &local.sin_addr);
    socklen_t length = sizeof local;
    bind(listener_, reinterpret_cast<sockaddr*>(&local), sizeof local);
    listen(listener_, 1);
    getsockname(listener_, reinterpret_cast<sockaddr*>(&local), &length);
    client_ = ozu::ddns::connect_to_server(host, ntohs(local.sin_port), resolve_numeric);
    if (client_) {
        server_ = accept(listener_, nullptr, nullptr);
        fill_send_buffer();
    }
}

CloggedConnection::~CloggedConnection()
{
    stop_ = true;
    if (drainer_.joinable()) {
        drainer_.join();
    }
    close(server_);
    close(listener_);
}

void CloggedConnection::drain_after(std::chrono::milliseconds delay)
{
    drainer_ = std::thread([this, delay] {
        std::this_thread::sleep_for(delay);
        char chunk[65536];
        while (!stop_) {
            pollfd entry{server_, POLLIN, 0};
            if (poll(&entry, 1, 20) > 0 && recv(server_, chunk, sizeof chunk, 0) <= 0) {
                return;
            }
        }
    });
}

void CloggedConnection::fill_send_buffer()
{
    const int flags = fcntl(client_.get(), F_GETFL);
    fcntl(client_.get(), F_SETFL, flags | O_NONBLOCK);
    const std::string chunk(65536, 'x');
    while (send(client_.get(), chunk.data(), chunk.size(), MSG_NOSIGNAL) > 0) {
    }
    fcntl(client_.get(), F_SETFL, flags);
}

}  // namespace ozu_test

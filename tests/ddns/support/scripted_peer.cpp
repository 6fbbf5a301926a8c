#include "support/scripted_peer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <utility>

namespace ozu_test {

namespace {

constexpr std::chrono::milliseconds kTick{50};
constexpr std::chrono::seconds kRequestTimeout{5};
const std::string kEndOfHead = "\r\n\r\n";

bool readable_within(int descriptor, std::chrono::milliseconds timeout)
{
    pollfd entry{descriptor, POLLIN, 0};
    return poll(&entry, 1, static_cast<int>(timeout.count())) > 0;
}

bool request_complete(const std::string& request, std::size_t size)
{
    return size > 0 ? request.size() >= size : request.find(kEndOfHead) != std::string::npos;
}

std::string read_request(int connection, std::size_t size)
{
    std::string request;
    const auto deadline = std::chrono::steady_clock::now() + kRequestTimeout;
    while (!request_complete(request, size) && std::chrono::steady_clock::now() < deadline) {
        if (!readable_within(connection, kTick)) {
            continue;
        }
        char chunk[4096];
        const ssize_t received = recv(connection, chunk, sizeof chunk, 0);
        if (received <= 0) {
            break;
        }
        request.append(chunk, static_cast<std::size_t>(received));
    }
    return request;
}

PeerStep step_doing(PeerStep::Action action)
{
    PeerStep step;
    step.action = action;
    return step;
}

}  // namespace

PeerStep reply_with(std::string reply)
{
    return reply_in_pieces({std::move(reply)});
}

PeerStep reply_in_pieces(std::vector<std::string> pieces)
{
    PeerStep step;
    step.pieces = std::move(pieces);
    return step;
}

PeerStep reply_after(std::chrono::milliseconds delay, std::string reply)
{
    PeerStep step = reply_with(std::move(reply));
    step.delay = delay;
    return step;
}

PeerStep reset_connection() { return step_doing(PeerStep::Action::Reset); }
PeerStep close_silently() { return step_doing(PeerStep::Action::CloseSilently); }
PeerStep stall() { return step_doing(PeerStep::Action::Stall); }

ScriptedPeer::ScriptedPeer(const std::string& address, std::vector<PeerStep> script, int port)
    : script_(std::move(script))
{
    listener_ = socket(AF_INET, SOCK_STREAM, 0);
    const int reuse = 1;
    setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof reuse);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(static_cast<std::uint16_t>(port));
    inet_pton(AF_INET, address.c_str(), &local.sin_addr);
    socklen_t length = sizeof local;
    if (bind(listener_, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0 || listen(listener_, 8) != 0 ||
        getsockname(listener_, reinterpret_cast<sockaddr*>(&local), &length) != 0) {
        close(listener_);
        listener_ = -1;
        return;
    }
    port_ = ntohs(local.sin_port);
    acceptor_ = std::thread([this] { accept_connections(); });
}

ScriptedPeer::~ScriptedPeer()
{
    stopping_ = true;
    if (acceptor_.joinable()) {
        acceptor_.join();
    }
    for (std::thread& player : players_) {
        player.join();
    }
    if (listener_ >= 0) {
        close(listener_);
    }
}

std::vector<std::string> ScriptedPeer::requests() const
{
    const std::lock_guard<std::mutex> lock(mutex_);
    return requests_;
}

bool ScriptedPeer::wait_for_requests(std::size_t count, std::chrono::milliseconds timeout) const
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (requests().size() < count) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(kTick);
    }
    return true;
}

void ScriptedPeer::accept_connections()
{
    for (const PeerStep& step : script_) {
        int connection = -1;
        while (connection < 0) {
            while (!stopping_ && !readable_within(listener_, kTick)) {
            }
            if (stopping_) {
                return;
            }
            connection = accept(listener_, nullptr, nullptr);
        }
        // Closed before the last step plays, so no later connection can reach the backlog.
        if (&step == &script_.back()) {
            close(listener_);
            listener_ = -1;
        }
        players_.emplace_back([this, connection, &step] {
            play(connection, step);
            close(connection);
        });
    }
}

void ScriptedPeer::play(int connection, const PeerStep& step)
{
    std::string request = read_request(connection, step.request_size);
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        requests_.push_back(std::move(request));
    }
    switch (step.action) {
    case PeerStep::Action::Reply:
        std::this_thread::sleep_for(step.delay);
        for (std::size_t i = 0; i < step.pieces.size() && !stopping_; ++i) {
            if (i > 0) {
                std::this_thread::sleep_for(step.pause);
            }
            send(connection, step.pieces[i].data(), step.pieces[i].size(), MSG_NOSIGNAL);
        }
        break;
    case PeerStep::Action::CloseSilently:
        break;
    case PeerStep::Action::Reset: {
        const linger abort{1, 0};
        setsockopt(connection, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
        break;
    }
    case PeerStep::Action::Stall:
        while (!stopping_) {
            std::this_thread::sleep_for(kTick);
        }
        break;
    }
}

}  // namespace ozu_test

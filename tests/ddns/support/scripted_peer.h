// A loopback TCP peer that plays a fixed script, one step per accepted connection, so that tests
// control every byte of the server side.
#ifndef OZU_TEST_SCRIPTED_PEER_H
#define OZU_TEST_SCRIPTED_PEER_H

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace ozu_test {

struct PeerStep {
    enum class Action {
        Reply,          // wait `delay`, send the pieces with `pause` between them, then close
        CloseSilently,  // close without sending anything
        Reset,          // abort the connection (RST) without sending anything
        Stall,          // keep the connection open and silent until the peer is destroyed
    };
    Action action = Action::Reply;
    std::vector<std::string> pieces;
    std::chrono::milliseconds delay{0};
    std::chrono::milliseconds pause{300};
    std::size_t request_size = 0;  // the request's length in bytes; 0: up to the end of an HTTP head
};

PeerStep reply_with(std::string reply);
PeerStep reply_in_pieces(std::vector<std::string> pieces);
PeerStep reply_after(std::chrono::milliseconds delay, std::string reply);
PeerStep close_silently();
PeerStep reset_connection();
PeerStep stall();

class ScriptedPeer {
public:
    // Listens on address:port (0: any free port) and serves the n-th accepted connection with the
    // n-th step, each connection on a thread of its own; once every step has a connection the
    // listener closes, so further connections are refused.
    ScriptedPeer(const std::string& address, std::vector<PeerStep> script, int port = 0);
    ~ScriptedPeer();
    ScriptedPeer(const ScriptedPeer&) = delete;
    ScriptedPeer& operator=(const ScriptedPeer&) = delete;

    bool listening() const { return port_ > 0; }
    int port() const { return port_; }

    // The requests received so far in the order they arrived, each as the bytes read up to the
    // blank line that ends an HTTP head or the step's request size (or to the client's end of
    // sending).
    std::vector<std::string> requests() const;
    // Waits (bounded) until count requests were received.
    bool wait_for_requests(std::size_t count, std::chrono::milliseconds timeout) const;

private:
    void accept_connections();
    void play(int connection, const PeerStep& step);

    int listener_ = -1;
    int port_ = 0;
    std::vector<PeerStep> script_;
    std::atomic<bool> stopping_{false};
    mutable std::mutex mutex_;
    std::vector<std::string> requests_;
    std::vector<std::thread> players_;
    std::thread acceptor_;
};

}  // namespace ozu_test

#endif

// A peer that runs in a child process, so that the test process holds only the client's
// descriptors and can count them.
#ifndef OZU_TEST_PEER_PROCESS_H
#define OZU_TEST_PEER_PROCESS_H

#include <sys/types.h>

#include <functional>
#include <memory>

namespace ozu_test {

class PeerProcess {
public:
    // Runs in the child: starts the peer and returns what keeps it serving, or null on failure.
    using Serve = std::function<std::shared_ptr<void>()>;

    // Forks before any thread of the test exists; returns once the peer serves (bounded wait).
    explicit PeerProcess(const Serve& serve);
    ~PeerProcess();  // ends the child and reaps it (bounded wait)
    PeerProcess(const PeerProcess&) = delete;
    PeerProcess& operator=(const PeerProcess&) = delete;

    bool serving() const { return serving_; }

private:
    pid_t child_ = -1;
    int stop_ = -1;  // closing it tells the child to end
    bool serving_ = false;
};

}  // namespace ozu_test

#endif

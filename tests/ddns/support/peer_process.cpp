#include "support/peer_process.h"

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <thread>

namespace ozu_test {

namespace {

constexpr int kStartMilliseconds = 10000;
constexpr std::chrono::milliseconds kReapStep{20};
constexpr int kReapSteps = 250;

[[noreturn]] void run_child(const PeerProcess::Serve& serve, int ready, int stop)
{
    const std::shared_ptr<void> peer = serve();
    if (peer) {
        const char byte = 1;
        if (write(ready, &byte, 1) == 1) {
            char ignored = 0;
            while (read(stop, &ignored, 1) > 0) {
            }
        }
    }
    // Ends without running the parent's exit handlers or the peer's destructors.
    _exit(0);
}

bool wait_for_byte(int descriptor)
{
    pollfd entry{descriptor, POLLIN, 0};
    char byte = 0;
    return poll(&entry, 1, kStartMilliseconds) > 0 && read(descriptor, &byte, 1) == 1;
}

}  // namespace

PeerProcess::PeerProcess(const Serve& serve)
{
    std::array<int, 2> ready{};
    std::array<int, 2> stop{};
    if (pipe(ready.data()) != 0) {
        return;
    }
    if (pipe(stop.data()) != 0) {
        close(ready[0]);
        close(ready[1]);
        return;
    }
    child_ = fork();
    if (child_ == 0) {
        close(ready[0]);
        close(stop[1]);
        run_child(serve, ready[1], stop[0]);
    }
    close(ready[1]);
    close(stop[0]);
    stop_ = stop[1];
    serving_ = child_ > 0 && wait_for_byte(ready[0]);
    close(ready[0]);
}

PeerProcess::~PeerProcess()
{
    close(stop_);
    if (child_ <= 0) {
        return;
    }
    for (int step = 0; step < kReapSteps; ++step) {
        if (waitpid(child_, nullptr, WNOHANG) == child_) {
            return;
        }
        std::this_thread::sleep_for(kReapStep);
    }
    kill(child_, SIGKILL);
    waitpid(child_, nullptr, 0);
}

}  // namespace ozu_test

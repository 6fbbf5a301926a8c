// What the client tests share: a call's result and messages, a loopback address of the running
// test's own, the process's open descriptors, a scripted server, and the test program's own
// connect and getaddrinfo, which the library calls in place of the C library's.
#ifndef OZU_TEST_CLIENT_SUPPORT_H
#define OZU_TEST_CLIENT_SUPPORT_H

#include <gtest/gtest.h>
#include <sys/types.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <optional>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "ddns/ozu_dnsupdate.h"
#include "ddns/ozu_dnsupdate_module.h"

namespace ozu::test {

using namespace std::chrono_literals;

inline const std::string kMac = "00:11:22:33:44:55";
inline const std::string kIp = "10.0.0.5";

// A call's result and what it wrote on standard output and standard error.
using CallOutcome = std::tuple<int, std::string, std::string>;

// errno starts at 0, so the text that perror adds is known.
template <typename Call>
CallOutcome captured(Call call)
{
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    errno = 0;
    const int result = call();
    const std::string out = testing::internal::GetCapturedStdout();
    return {result, out, testing::internal::GetCapturedStderr()};
}

// A loopback address that no other test of this program uses, for the register channel's fixed
// port: 127.1.x.y from the running test's place among all the program's tests.
std::string test_address();

std::size_t open_descriptor_count();

// A 432-byte register record with a command code and a domain text (cut at 128 bytes, no NUL).
std::string record_with(int command, const std::string& domain);

enum class Channel { Http, Register };

struct PeerStep {
    enum class End { Close, Reset, Stall };
    Channel channel = Channel::Http;
    std::vector<std::string> pieces{};  // sent 300 ms apart; none: the peer answers nothing
    End end = End::Close;
};

// A DDNS server on loopback in a child process, so that the test process holds only the client's
// descriptors. It listens for HTTP on a port the kernel picks (bound but not listening when no step
// uses it, so that connections are refused) and for the register channel on port 8879. Each
// channel plays its steps in order, one per connection, and then stops listening. It forks at
// once: construct it before the test starts any thread.
class Peer {
public:
    Peer(const std::string& address, const std::vector<PeerStep>& steps);
    ~Peer();
    Peer(const Peer&) = delete;
    Peer& operator=(const Peer&) = delete;

    int http_port() const { return http_port_; }

    // The first count requests, each read up to the end of an HTTP head, 432 bytes of a record or
    // the client's end of sending; fewer if they do not come within seconds.
    std::vector<std::string> requests(std::size_t count);

private:
    pid_t child_ = -1;
    int reports_ = -1;
    int http_port_ = 0;
    std::vector<std::string> received_;
};

enum class Bend {
    None,
    HighDescriptors,  // every lower descriptor is taken, so sockets get ones above FD_SETSIZE
    VanishingPeer,    // a connection is shut for sending as soon as it is made
    HeldResolution,   // another thread waits inside GetHostName for 20 s, holding the resolution lock
};

// From now on the library's connections are bent as bend says; false when that cannot be done
// here. Names under ".invalid" are always unknown at once, so that no test asks a name server.
bool bend_connections(Bend bend);

}  // namespace ozu::test

#endif

#include "support/client_test.h"

#include <arpa/inet.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>

namespace ozu::test {
namespace {

constexpr std::size_t kRecordSize = 432;
constexpr int kHighDescriptor = FD_SETSIZE + 16;
constexpr const char* kHeldName = "held-resolution.invalid";

std::atomic<Bend> g_bend{Bend::None};
std::atomic<bool> g_inside{false};

int bound_socket(const std::string& address, std::uint16_t port)
{
    const int descriptor = socket(AF_INET, SOCK_STREAM, 0);
    const int reuse = 1;
    setsockopt(descriptor, SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof reuse);
    sockaddr_in local{AF_INET, htons(port), {}, {}};
    inet_pton(AF_INET, address.c_str(), &local.sin_addr);
    // An unbound socket would listen on a port of the kernel's choosing: no socket instead.
    if (bind(descriptor, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
        close(descriptor);
        return -1;
    }
    return descriptor;
}

// Up to the end of an HTTP head, 432 bytes of a record, the client's end of sending or 5 seconds.
std::string read_request(int connection, std::size_t channel)
{
    const timeval timeout{5, 0};
    setsockopt(connection, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    std::string request;
    std::array<char, 4096> chunk{};
    for (ssize_t received = 1; received > 0 && (channel == 1 ? request.size() < kRecordSize
                                                             : request.find("\r\n\r\n") == std::string::npos);) {
        received = recv(connection, chunk.data(), chunk.size(), 0);
        request.append(chunk.data(), static_cast<std::size_t>(std::max<ssize_t>(received, 0)));
    }
    return request;
}

void play(int connection, const PeerStep& step)
{
    for (const std::string& piece : step.pieces) {
        std::this_thread::sleep_for(std::chrono::milliseconds(&piece == &step.pieces[0] ? 0 : 300));
        send(connection, piece.data(), piece.size(), MSG_NOSIGNAL);
    }
    const linger abort{1, 0};
    if (step.end == PeerStep::End::Reset) {
        setsockopt(connection, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
    }
    // A stalled connection stays open until the peer ends.
    if (step.end != PeerStep::End::Stall) {
        close(connection);
    }
}

// A channel stops listening before its last step plays, so that no later connection waits in the
// backlog; poll skips closed (-1) listeners. Each request is reported as one message, after a
// marker byte that keeps an empty request from reading as the end; a full queue drops it.
[[noreturn]] void serve(std::array<int, 2> listeners, const std::array<std::vector<PeerStep>, 2>& steps, int reports)
{
    std::array<std::size_t, 2> played{};
    for (;;) {
        std::array<pollfd, 2> entries{{{listeners[0], POLLIN, 0}, {listeners[1], POLLIN, 0}}};
        poll(entries.data(), entries.size(), -1);
        for (std::size_t channel = 0; channel < entries.size(); ++channel) {
            if ((entries[channel].revents & POLLIN) != 0) {
                const int connection = accept(listeners[channel], nullptr, nullptr);
                if (++played[channel] == steps[channel].size()) {
                    close(std::exchange(listeners[channel], -1));
                }
                const std::string report = "." + read_request(connection, channel);
                send(reports, report.data(), report.size(), MSG_DONTWAIT);
                play(connection, steps[channel][played[channel] - 1]);
            }
        }
    }
}

}  // namespace

std::string test_address()
{
    const testing::UnitTest& unit = *testing::UnitTest::GetInstance();
    int index = 0;
    for (int suite = 0; suite < unit.total_test_suite_count(); ++suite) {
        for (int test = 0; test < unit.GetTestSuite(suite)->total_test_count(); ++test, ++index) {
            if (unit.GetTestSuite(suite)->GetTestInfo(test) == unit.current_test_info()) {
                return "127.1." + std::to_string(index / 250) + "." + std::to_string(index % 250 + 1);
            }
        }
    }
    return "";
}

std::size_t open_descriptor_count()
{
    std::size_t count = 0;
    for (int descriptor = 0; descriptor < 4 * kHighDescriptor; ++descriptor) {
        count += fcntl(descriptor, F_GETFD) != -1 ? 1 : 0;
    }
    return count;
}

std::string record_with(int command, const std::string& domain)
{
    std::string record(kRecordSize, '\0');
    for (std::size_t byte = 0; byte < 4; ++byte) {
        record[byte] = static_cast<char>((static_cast<std::uint32_t>(command) >> (8 * byte)) & 0xffU);
    }
    return record.replace(216, std::min<std::size_t>(domain.size(), 128), domain, 0, 128);
}

Peer::Peer(const std::string& address, const std::vector<PeerStep>& steps)
{
    std::array<std::vector<PeerStep>, 2> by_channel;
    for (const PeerStep& step : steps) {
        by_channel[static_cast<std::size_t>(step.channel)].push_back(step);
    }
    const std::array<int, 2> sockets{bound_socket(address, 0),
                                     by_channel[1].empty() ? -1 : bound_socket(address, 8879)};
    sockaddr_in local{};
    socklen_t length = sizeof local;
    getsockname(sockets[0], reinterpret_cast<sockaddr*>(&local), &length);
    http_port_ = ntohs(local.sin_port);
    std::array<int, 2> listeners{-1, -1};
    for (std::size_t channel = 0; channel < sockets.size(); ++channel) {
        listeners[channel] = !by_channel[channel].empty() && listen(sockets[channel], 16) == 0 ? sockets[channel] : -1;
    }
    std::array<int, 2> ends{-1, -1};
    const pid_t parent = getpid();
    if (socketpair(AF_UNIX, SOCK_SEQPACKET, 0, ends.data()) == 0 && (child_ = fork()) == 0) {
        // The peer ends with the test, even one that a signal ended.
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (getppid() != parent) {
            _exit(0);
        }
        serve(listeners, by_channel, ends[1]);
    }
    reports_ = ends[0];
    for (const int descriptor : {ends[1], sockets[0], sockets[1]}) {
        close(descriptor);
    }
}

Peer::~Peer()
{
    kill(child_, SIGKILL);
    waitpid(child_, nullptr, 0);
    close(reports_);
}

std::vector<std::string> Peer::requests(std::size_t count)
{
    std::vector<char> message(65536);
    pollfd entry{reports_, POLLIN, 0};
    for (ssize_t size = 1; size > 0 && received_.size() < count && poll(&entry, 1, 5000) > 0;) {
        size = recv(reports_, message.data(), message.size(), 0);
        received_.emplace_back(message.data() + 1, static_cast<std::size_t>(std::max<ssize_t>(size - 1, 0)));
    }
    return received_;
}

bool bend_connections(Bend bend)
{
    g_bend = bend;
    rlimit limit{};
    getrlimit(RLIMIT_NOFILE, &limit);
    limit.rlim_cur = std::max<rlim_t>(limit.rlim_cur, std::min<rlim_t>(limit.rlim_max, 2 * kHighDescriptor));
    const bool raised = setrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur > kHighDescriptor;
    // Every lower descriptor taken, the library's sockets get high ones.
    for (int descriptor = 0; bend == Bend::HighDescriptors && raised && descriptor < kHighDescriptor; ++descriptor) {
        if (fcntl(descriptor, F_GETFD) == -1) {
            dup2(0, descriptor);
        }
    }
    if (bend == Bend::HeldResolution) {
        std::thread([] {
            std::uint32_t address = 0;
            GetHostName(kHeldName, &address);
        }).detach();
    }
    for (int wait = 0; wait < 500 && bend == Bend::HeldResolution && !g_inside; ++wait) {
        std::this_thread::sleep_for(10ms);
    }
    return bend == Bend::HighDescriptors ? raised : bend != Bend::HeldResolution || g_inside;
}

}  // namespace ozu::test

extern "C" int getaddrinfo(const char* node, const char* service, const addrinfo* hints, addrinfo** result)
{
    const std::string name = node != nullptr ? node : "";
    for (int wait = 0; name == ozu::test::kHeldName && wait < 2000; ++wait) {
        ozu::test::g_inside = true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (name.size() >= 8 && name.compare(name.size() - 8, 8, ".invalid") == 0) {
        return EAI_NONAME;
    }
    static const auto kRealGetaddrinfo =
        reinterpret_cast<int (*)(const char*, const char*, const addrinfo*, addrinfo**)>(
            dlsym(RTLD_NEXT, "getaddrinfo"));
    return kRealGetaddrinfo(node, service, hints, result);
}

extern "C" int connect(int descriptor, const sockaddr* address, socklen_t length)
{
    static const auto kRealConnect =
        reinterpret_cast<int (*)(int, const sockaddr*, socklen_t)>(dlsym(RTLD_NEXT, "connect"));
    const int result = kRealConnect(descriptor, address, length);
    if (result == 0 && ozu::test::g_bend == ozu::test::Bend::VanishingPeer) {
        shutdown(descriptor, SHUT_WR);
    }
    return result;
}

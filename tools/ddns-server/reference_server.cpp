#include "reference_server.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <list>
#include <thread>
#include <utility>

#include "ddns/record_fields.h"
#include "http_answer.h"
#include "register_answer.h"
#include "registry.h"
#include "reply_plan.h"
#include "socket_io.h"

namespace ozu::server {
namespace {

// No read or send may keep a connection thread (and so stop()) waiting longer.
constexpr std::chrono::seconds kIoTimeout{5};
constexpr std::size_t kMaxHttpHead = 8192;
// The longest zone whose reply still ends in a NUL inside the 128-byte domain field.
constexpr std::size_t kMaxZoneLength = 127;

bool head_complete(const std::string& bytes)
{
    return bytes.find("\r\n\r\n") != std::string::npos;
}

bool record_complete(const std::string& bytes)
{
    return bytes.size() >= ozu::ddns::kRecordSize;
}

std::optional<std::string> zone_problem(const std::string& zone)
{
    if (zone.empty() || zone.size() > kMaxZoneLength) {
        return "must be 1 to 127 characters";
    }
    for (const char c : zone) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == ':' || byte <= 0x20 || byte >= 0x7F) {
            return "may hold neither ':', blanks nor control characters";
        }
    }
    return std::nullopt;
}

bool valid_port(int port)
{
    return port >= 0 && port <= 65535;
}

void limit_send_time(int fd)
{
    timeval limit{static_cast<time_t>(kIoTimeout.count()), 0};
    setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
}

struct Connection {
    std::thread thread;
    std::shared_ptr<std::atomic<bool>> finished;
};

enum class Channel { Http, Register };

// One line, flushed at once: the demo and the soak follow the log as it grows.
void log_exchange(const std::string& line)
{
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
}

}  // namespace

const char* fault_name(Fault fault)
{
    for (const FaultName& entry : kFaultNames) {
        if (entry.fault == fault) {
            return entry.name;
        }
    }
    return "none";
}

std::optional<Fault> parse_fault(const std::string& name)
{
    for (const FaultName& entry : kFaultNames) {
        if (name == entry.name) {
            return entry.fault;
        }
    }
    return std::nullopt;
}

struct ReferenceServer::Impl {
    explicit Impl(ServerConfig server_config) : config(std::move(server_config)), registry(config.zone) {}

    bool start(std::string* error);
    void stop();
    bool open_listeners(std::string* error);
    void accept_loop();
    void accept_one(int listener, Channel channel);
    void reap_finished();
    void serve(UniqueFd socket, Channel channel);
    void serve_http(int fd, const std::string& peer);
    void serve_register(int fd, const std::string& peer);
    void carry_out(int fd, const ReplyPlan& plan);

    const ServerConfig config;
    Registry registry;

    UniqueFd http_listener;
    UniqueFd register_listener;
    UniqueFd stop_reader;  // readable once stop() has begun; every wait watches it
    UniqueFd stop_writer;
    std::thread acceptor;
    std::list<Connection> connections;  // touched by the acceptor, and by stop() after joining it
    bool running = false;
};

bool ReferenceServer::Impl::start(std::string* error)
{
    std::string ignored;
    std::string& message = error ? *error : ignored;
    if (running) {
        message = "the server is already running";
        return false;
    }
    if (const std::optional<std::string> problem = zone_problem(config.zone)) {
        message = "invalid zone '" + config.zone + "': " + *problem;
        return false;
    }
    if (!valid_port(config.http_port) || !valid_port(config.register_port)) {
        message = "ports must lie between 0 and 65535";
        return false;
    }
    std::array<int, 2> pipe_fds{};
    if (pipe2(pipe_fds.data(), O_CLOEXEC) != 0) {
        message = "cannot create the stop signal";
        return false;
    }
    stop_reader = UniqueFd(pipe_fds[0]);
    stop_writer = UniqueFd(pipe_fds[1]);
    if (!open_listeners(&message)) {
        http_listener.reset();
        register_listener.reset();
        stop_reader.reset();
        stop_writer.reset();
        return false;
    }
    running = true;
    acceptor = std::thread([this] { accept_loop(); });
    return true;
}

bool ReferenceServer::Impl::open_listeners(std::string* error)
{
    if (config.http_port != 0) {
        http_listener = listen_on(config.address, config.http_port, error);
        if (!http_listener.valid()) {
            return false;
        }
    }
    if (config.register_port != 0) {
        register_listener = listen_on(config.address, config.register_port, error);
        if (!register_listener.valid()) {
            return false;
        }
    }
    return true;
}

void ReferenceServer::Impl::stop()
{
    if (!running) {
        return;
    }
    const char signal = 1;
    while (write(stop_writer.get(), &signal, 1) < 0 && errno == EINTR) {
    }
    acceptor.join();
    for (Connection& connection : connections) {
        connection.thread.join();
    }
    connections.clear();
    http_listener.reset();
    register_listener.reset();
    stop_reader.reset();
    stop_writer.reset();
    running = false;
}

void ReferenceServer::Impl::accept_loop()
{
    while (true) {
        std::array<pollfd, 3> fds = {
            {{stop_reader.get(), POLLIN, 0}, {http_listener.get(), POLLIN, 0}, {register_listener.get(), POLLIN, 0}}};
        const int ready = poll(fds.data(), fds.size(), -1);  // poll skips the negative fd of a listener not opened
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready < 0 || fds[0].revents != 0) {
            return;
        }
        if (fds[1].revents != 0) {
            accept_one(http_listener.get(), Channel::Http);
        }
        if (fds[2].revents != 0) {
            accept_one(register_listener.get(), Channel::Register);
        }
        reap_finished();
    }
}

void ReferenceServer::Impl::accept_one(int listener, Channel channel)
{
    UniqueFd socket(accept4(listener, nullptr, nullptr, SOCK_CLOEXEC));
    if (!socket.valid()) {
        return;
    }
    auto finished = std::make_shared<std::atomic<bool>>(false);
    std::thread thread([this, channel, finished, fd = socket.release()] {
        serve(UniqueFd(fd), channel);
        *finished = true;
    });
    connections.push_back(Connection{std::move(thread), finished});
}

void ReferenceServer::Impl::reap_finished()
{
    for (auto it = connections.begin(); it != connections.end();) {
        if (*it->finished) {
            it->thread.join();
            it = connections.erase(it);
        } else {
            ++it;
        }
    }
}

void ReferenceServer::Impl::serve(UniqueFd socket, Channel channel)
{
    limit_send_time(socket.get());
    const std::string peer = peer_address(socket.get());
    if (channel == Channel::Http) {
        serve_http(socket.get(), peer);
    } else {
        serve_register(socket.get(), peer);
    }
}

// Each exchange is logged before its reply goes out, so that whoever reads the log after the
// client has its answer finds the exchange there.
void ReferenceServer::Impl::serve_http(int fd, const std::string& peer)
{
    const Received request = receive(fd, stop_reader.get(), kMaxHttpHead, head_complete, kIoTimeout);
    if (request.stopped || request.bytes.empty()) {
        return;
    }
    const HttpAnswer answer = answer_http(request.bytes, peer, registry);
    const ReplyPlan plan = plan_http_reply(answer, config.fault);
    log_exchange("http " + peer + " " + answer.request + " -> " + plan.summary);
    carry_out(fd, plan);
}

void ReferenceServer::Impl::serve_register(int fd, const std::string& peer)
{
    const Received record_bytes = receive(fd, stop_reader.get(), ozu::ddns::kRecordSize, record_complete, kIoTimeout);
    if (record_bytes.stopped || record_bytes.bytes.empty()) {
        return;
    }
    const RegisterAnswer answer = answer_record(record_bytes.bytes, registry);
    const ReplyPlan plan = plan_register_reply(answer, config.fault);
    log_exchange("register " + peer + " " + answer.request + " -> " + plan.summary);
    carry_out(fd, plan);
}

void ReferenceServer::Impl::carry_out(int fd, const ReplyPlan& plan)
{
    switch (plan.action) {
    case ReplyPlan::Action::Close:
        return;
    case ReplyPlan::Action::Stall:
        wait_for_stop(stop_reader.get());
        return;
    case ReplyPlan::Action::Send:
        for (std::size_t i = 0; i < plan.parts.size(); ++i) {
            if (i > 0 && !pause_unless_stopped(stop_reader.get(), kSplitPause)) {
                return;
            }
            send_all(fd, plan.parts[i]);
        }
        return;
    }
}

ReferenceServer::ReferenceServer(ServerConfig config) : impl_(std::make_unique<Impl>(std::move(config))) {}

ReferenceServer::~ReferenceServer()
{
    stop();
}

bool ReferenceServer::start(std::string* error)
{
    return impl_->start(error);
}

void ReferenceServer::stop()
{
    impl_->stop();
}

}  // namespace ozu::server

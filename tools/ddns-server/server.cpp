#include "server.h"

#include <asio/executor_work_guard.hpp>
#include <asio/io_context.hpp>
#include <asio/ip/tcp.hpp>
#include <asio/post.hpp>
#include <asio/steady_timer.hpp>
#include <asio/strand.hpp>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "ddns/record_fields.h"
#include "rate_limit.h"
#include "session.h"
#include "sqlite_registry.h"

namespace ozu::server {
namespace {

// The event loop's threads: the machine the server is sized for has two cores; the registry's writer and the
// log have a thread each besides.
constexpr std::size_t kIoThreads = 2;
// How long stopping waits for the exchanges in progress: longer than any of their deadlines.
constexpr std::chrono::seconds kDrainLimit{15};
// A failed accept (mostly: out of descriptors) is tried again after this pause rather than at once.
constexpr std::chrono::milliseconds kAcceptRetry{100};
// The longest zone whose reply still ends in a NUL inside the domain field.
constexpr std::size_t kMaxZoneLength = sizeof(DeviceMsg::szDeviceDomain) - 1;

std::optional<std::string> zone_problem(const std::string& zone)
{
    if (zone.empty() || zone.size() > kMaxZoneLength) {
        return "must be 1 to " + std::to_string(kMaxZoneLength) + " characters";
    }
    for (const char c : zone) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == ':' || byte <= 0x20 || byte >= 0x7F) {
            return "may hold neither ':', blanks nor control characters";
        }
    }
    return std::nullopt;
}

bool valid_port(const std::optional<int>& port)
{
    return !port || (*port >= 0 && *port <= 65535);
}

using Strand = asio::strand<asio::io_context::executor_type>;

struct Listener {
    Listener(const Strand& strand, Channel listened) : acceptor(strand), retry(strand), channel(listened) {}

    asio::ip::tcp::acceptor acceptor;
    asio::steady_timer retry;
    Channel channel;
    bool armed = false;  // an accept (or its retry) is pending
};

}  // namespace

struct Server::Impl {
    explicit Impl(ServerConfig server_config)
        : config(std::move(server_config)),
          sessions([this] { session_ended(); }),
          accept_strand(asio::make_strand(io)),
          limiter(config.rate_limit)
    {
    }

    bool start(std::string* error);
    bool check_config(std::string* error) const;
    bool listen(std::unique_ptr<Listener>& listener, const std::optional<int>& port, Channel channel,
                std::string* error);
    void stop();
    void close_listeners();
    void accept(Listener& listener);
    void on_accept(Listener& listener, const asio::error_code& error, asio::ip::tcp::socket socket);
    std::optional<std::string> admitted(const asio::ip::tcp::socket& socket, Channel channel);
    void session_ended();
    void resume_accepting();
    static int port_of(const std::unique_ptr<Listener>& listener);

    const ServerConfig config;
    std::unique_ptr<ExchangeLog> log;
    std::unique_ptr<Registry> registry;
    SessionServices services;
    SessionSet sessions;  // outlives the event loop, whose destruction may end the last sessions
    std::atomic<bool> accepting{false};
    asio::io_context io;
    Strand accept_strand;  // the listeners, the rate limit and `stopping` live on it
    std::unique_ptr<Listener> http;
    std::unique_ptr<Listener> record;
    RateLimit limiter;
    bool stopping = false;
    std::optional<asio::executor_work_guard<asio::io_context::executor_type>> work;
    std::vector<std::thread> threads;
    bool started = false;
    bool running = false;
};

bool Server::Impl::start(std::string* error)
{
    std::string ignored;
    std::string& message = error != nullptr ? *error : ignored;
    if (started) {
        message = "a server starts once";
        return false;
    }
    started = true;
    if (!check_config(&message)) {
        return false;
    }
    log = std::make_unique<ExchangeLog>(config.log_format, config.log_stream);
    registry = SqliteRegistry::open(config.database, config.publish, config.publisher, &message);
    if (!registry || !listen(http, config.http_port, Channel::Http, &message) ||
        !listen(record, config.register_port, Channel::Register, &message)) {
        return false;
    }
    services = SessionServices{config.zone, config.fault, registry.get(), log.get(), &sessions};
    running = true;
    accepting = true;
    asio::post(accept_strand, [this] {
        for (Listener* listener : {http.get(), record.get()}) {
            if (listener != nullptr) {
                accept(*listener);
            }
        }
    });
    work.emplace(io.get_executor());
    for (std::size_t i = 0; i < kIoThreads; ++i) {
        threads.emplace_back([this] { io.run(); });
    }
    return true;
}

bool Server::Impl::check_config(std::string* error) const
{
    if (const std::optional<std::string> problem = zone_problem(config.zone)) {
        *error = "invalid zone '" + config.zone + "': " + *problem;
        return false;
    }
    if (!valid_port(config.http_port) || !valid_port(config.register_port)) {
        *error = "ports must lie between 0 and 65535";
        return false;
    }
    return true;
}

bool Server::Impl::listen(std::unique_ptr<Listener>& listener, const std::optional<int>& port, Channel channel,
                          std::string* error)
{
    if (!port) {
        return true;
    }
    listener = std::make_unique<Listener>(accept_strand, channel);
    asio::ip::tcp::acceptor& acceptor = listener->acceptor;
    asio::error_code failure;
    const asio::ip::address_v4 address = asio::ip::make_address_v4(config.address, failure);
    const std::string where = "cannot listen on " + config.address + ":" + std::to_string(*port) + ": ";
    if (failure) {
        *error = where + "not an IPv4 address";
        return false;
    }
    const asio::ip::tcp::endpoint endpoint(address, static_cast<unsigned short>(*port));
    acceptor.open(endpoint.protocol(), failure);
    if (!failure) {
        acceptor.set_option(asio::socket_base::reuse_address(true), failure);
    }
    if (!failure) {
        acceptor.bind(endpoint, failure);
    }
    if (!failure) {
        acceptor.listen(asio::socket_base::max_listen_connections, failure);
    }
    if (failure) {
        *error = where + failure.message();
    }
    return !failure;
}

void Server::Impl::stop()
{
    if (!running) {
        return;
    }
    running = false;
    std::mutex mutex;
    std::condition_variable done;
    bool closed = false;
    asio::post(accept_strand, [&] {
        close_listeners();
        const std::lock_guard<std::mutex> lock(mutex);
        closed = true;
        done.notify_one();
    });
    {
        std::unique_lock<std::mutex> lock(mutex);
        done.wait(lock, [&closed] { return closed; });
    }
    accepting = false;
    sessions.stop_all();
    sessions.wait_empty(kDrainLimit);
    work.reset();
    io.stop();
    for (std::thread& thread : threads) {
        thread.join();
    }
    registry.reset();
    log.reset();
}

void Server::Impl::close_listeners()
{
    stopping = true;
    for (Listener* listener : {http.get(), record.get()}) {
        if (listener != nullptr) {
            asio::error_code ignored;
            listener->retry.cancel();
            listener->acceptor.close(ignored);
        }
    }
}

void Server::Impl::accept(Listener& listener)
{
    listener.armed = true;
    listener.acceptor.async_accept(asio::make_strand(io),
                                   [this, &listener](const asio::error_code& error, asio::ip::tcp::socket socket) {
                                       on_accept(listener, error, std::move(socket));
                                   });
}

void Server::Impl::on_accept(Listener& listener, const asio::error_code& error, asio::ip::tcp::socket socket)
{
    listener.armed = false;
    if (stopping || error == asio::error::operation_aborted) {
        return;
    }
    if (error) {
        listener.armed = true;
        listener.retry.expires_after(kAcceptRetry);
        listener.retry.async_wait([this, &listener](const asio::error_code& cancelled) {
            listener.armed = false;
            if (!cancelled && !stopping) {
                accept(listener);
            }
        });
        return;
    }
    if (std::optional<std::string> peer = admitted(socket, listener.channel)) {
        auto session = std::make_shared<Session>(std::move(socket), listener.channel, std::move(*peer), services);
        sessions.add(session);
        asio::post(session->executor(), [session] { session->start(); });
    }
    if (sessions.size() < config.max_connections) {
        accept(listener);
    }
}

// The peer's address when the connection is served; none when it is refused.
std::optional<std::string> Server::Impl::admitted(const asio::ip::tcp::socket& socket, Channel channel)
{
    asio::error_code error;
    const asio::ip::tcp::endpoint peer = socket.remote_endpoint(error);
    if (error || !peer.address().is_v4()) {
        return std::nullopt;
    }
    std::string address = peer.address().to_string();
    const RateLimit::Decision decision = limiter.admit(peer.address().to_v4().to_uint(), RateLimit::Clock::now());
    if (decision.refused > 0) {
        log->write(
            ExchangeEntry{channel_name(channel), address, "connection",
                          "refused: over the rate limit (" + std::to_string(decision.refused) + " connections refused)",
                          std::chrono::microseconds{0}});
    }
    return decision.allowed ? std::optional<std::string>(std::move(address)) : std::nullopt;
}

// Runs on whatever thread ended a session; after stopping, the event loop may be gone.
void Server::Impl::session_ended()
{
    if (accepting) {
        asio::post(accept_strand, [this] { resume_accepting(); });
    }
}

void Server::Impl::resume_accepting()
{
    for (Listener* listener : {http.get(), record.get()}) {
        if (listener != nullptr && !stopping && !listener->armed && sessions.size() < config.max_connections) {
            accept(*listener);
        }
    }
}

int Server::Impl::port_of(const std::unique_ptr<Listener>& listener)
{
    asio::error_code error;
    return listener ? listener->acceptor.local_endpoint(error).port() : 0;
}

Server::Server(ServerConfig config) : impl_(std::make_unique<Impl>(std::move(config))) {}

// Stopping throws only when the system fails (memory, threads); a destructor cannot pass that on.
Server::~Server()
{
    try {
        stop();
    } catch (...) {
        std::terminate();
    }
}

bool Server::start(std::string* error)
{
    return impl_->start(error);
}

void Server::stop()
{
    impl_->stop();
}

int Server::http_port() const
{
    return Impl::port_of(impl_->http);
}

int Server::register_port() const
{
    return Impl::port_of(impl_->record);
}

}  // namespace ozu::server

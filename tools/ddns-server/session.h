// One connection's exchange on the event loop: the request read within its deadline, its answer (after the
// registry's commit for a report), the reply sent as the fault mode plans it, one line in the exchange log, and
// the connection closed. Every step has a deadline.
#ifndef OZU_SERVER_SESSION_H
#define OZU_SERVER_SESSION_H

#include <array>
#include <asio/ip/tcp.hpp>
#include <asio/steady_timer.hpp>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>

#include "device_answer.h"
#include "exchange_log.h"
#include "fault.h"
#include "registry.h"
#include "reply_plan.h"

namespace ozu::server {

// The whole request must arrive within this time of the connection's acceptance: a silent or trickling client
// is dropped then.
constexpr std::chrono::seconds kReadDeadline{5};
// Each part of a reply must be taken by the peer within this time.
constexpr std::chrono::seconds kWriteDeadline{5};
// A stalling reply (the stall fault) holds the connection this long at most; the device gives up after 60 s.
constexpr std::chrono::seconds kStallLimit{90};

enum class Channel { Http, Register };

// The channel as the exchange log names it.
inline const char* channel_name(Channel channel)
{
    return channel == Channel::Http ? "http" : "register";
}

class Session;

// The sessions alive, so that the server can count them against its cap, tell them it stops and wait for them.
class SessionSet {
public:
    // ended runs after each session's end, on whatever thread ended it.
    explicit SessionSet(std::function<void()> ended) : ended_(std::move(ended)) {}

    void add(const std::shared_ptr<Session>& session);
    void remove(Session* session);
    std::size_t size() const;
    // Tells every session that the server stops: a stalling reply ends at once.
    void stop_all();
    // True when every session ended within the limit.
    bool wait_empty(std::chrono::milliseconds limit);

private:
    const std::function<void()> ended_;
    mutable std::mutex mutex_;
    std::condition_variable empty_;
    std::unordered_map<Session*, std::weak_ptr<Session>> sessions_;
};

// What the sessions share; owned by the server, which outlives them.
struct SessionServices {
    std::string zone;
    Fault fault = Fault::None;
    Registry* registry = nullptr;
    ExchangeLog* log = nullptr;
    SessionSet* sessions = nullptr;
};

class Session : public std::enable_shared_from_this<Session> {
public:
    // The socket's executor must be a strand of its own: every step of the session runs on it.
    // peer: the connection's source address, as the log and the registry show it.
    Session(asio::ip::tcp::socket socket, Channel channel, std::string peer, const SessionServices& services);
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    asio::any_io_executor executor() { return socket_.get_executor(); }
    void start();
    void server_stopping();

private:
    using Clock = std::chrono::steady_clock;

    void arm(std::chrono::milliseconds after, std::function<void()> action);
    void disarm();
    void read();
    void on_read(const asio::error_code& error, std::size_t count);
    bool request_complete() const;
    void answer();
    void answer_call(const DeviceCall& call);
    void record_report(const DeviceCall& call, const Identity& identity, const std::string& domain);
    void answer_outcome(const CallOutcome& outcome);
    void carry_out(const ReplyPlan& plan);
    void send_part(std::size_t index);
    void close();

    asio::ip::tcp::socket socket_;
    asio::steady_timer timer_;
    std::size_t timer_generation_ = 0;  // a deadline that fired after it was replaced does nothing
    const Channel channel_;
    const SessionServices& services_;
    const Clock::time_point accepted_;
    const std::string peer_;
    std::string received_;
    std::array<char, 2048> chunk_{};
    ReadRequest request_;
    std::vector<std::string> parts_;
    bool stalled_ = false;
    bool closed_ = false;
};

}  // namespace ozu::server

#endif

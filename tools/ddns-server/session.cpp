#include "session.h"

#include <asio/post.hpp>
#include <asio/write.hpp>
#include <ctime>
#include <utility>
#include <vector>

#include "ddns/record_fields.h"
#include "http_request.h"
#include "record_request.h"

namespace ozu::server {
namespace {

CallOutcome outcome_of(Verdict verdict, const std::string& domain)
{
    switch (verdict) {
    case Verdict::Registered:
        return CallOutcome{CallOutcome::Result::Registered, domain, ""};
    case Verdict::NameTaken:
        return CallOutcome{CallOutcome::Result::NameTaken, "", ""};
    case Verdict::Unavailable:
        break;
    }
    return CallOutcome{CallOutcome::Result::Unavailable, "", ""};
}

Device report_of(const DeviceCall& call, const Identity& identity, const std::string& source_ip,
                 const std::string& domain)
{
    Device report;
    report.name = identity.name;
    report.serial = call.serial;
    report.mac = identity.owner;
    report.device_code = call.device_code;
    report.reported_ip = call.reported_ip;
    report.source_ip = source_ip;
    report.http_port = call.http_port;
    report.server_port = call.server_port;
    report.interface = interface_name(call.interface);
    report.online = call.online;
    report.domain = domain;
    report.last_seen = static_cast<std::int64_t>(std::time(nullptr));
    return report;
}

}  // namespace

void SessionSet::add(const std::shared_ptr<Session>& session)
{
    std::lock_guard<std::mutex> lock(mutex_);
    sessions_.emplace(session.get(), session);
}

void SessionSet::remove(Session* session)
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        sessions_.erase(session);
        if (sessions_.empty()) {
            empty_.notify_all();
        }
    }
    ended_();
}

std::size_t SessionSet::size() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return sessions_.size();
}

void SessionSet::stop_all()
{
    std::vector<std::shared_ptr<Session>> alive;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        for (const auto& entry : sessions_) {
            if (std::shared_ptr<Session> session = entry.second.lock()) {
                alive.push_back(std::move(session));
            }
        }
    }
    for (const std::shared_ptr<Session>& session : alive) {
        session->server_stopping();
    }
}

bool SessionSet::wait_empty(std::chrono::milliseconds limit)
{
    std::unique_lock<std::mutex> lock(mutex_);
    return empty_.wait_for(lock, limit, [this] { return sessions_.empty(); });
}

Session::Session(asio::ip::tcp::socket socket, Channel channel, std::string peer, const SessionServices& services)
    : socket_(std::move(socket)),
      timer_(socket_.get_executor()),
      channel_(channel),
      services_(services),
      accepted_(Clock::now()),
      peer_(std::move(peer))
{
}

Session::~Session()
{
    services_.sessions->remove(this);
}

void Session::start()
{
    arm(kReadDeadline, [this] { socket_.cancel(); });
    read();
}

void Session::server_stopping()
{
    asio::post(socket_.get_executor(), [self = shared_from_this()] {
        if (self->stalled_) {
            self->close();
        }
    });
}

// The timer serves each step's deadline in turn; the generation tells a deadline that fired from one replaced.
void Session::arm(std::chrono::milliseconds after, std::function<void()> action)
{
    const std::size_t generation = ++timer_generation_;
    timer_.expires_after(after);
    timer_.async_wait(
        [self = shared_from_this(), generation, action = std::move(action)](const asio::error_code& error) {
            if (!error && generation == self->timer_generation_ && !self->closed_) {
                action();
            }
        });
}

void Session::disarm()
{
    ++timer_generation_;
    timer_.cancel();
}

void Session::read()
{
    const std::size_t limit = channel_ == Channel::Http ? kMaxHttpHead : ozu::ddns::kRecordSize;
    const std::size_t wanted = std::min(chunk_.size(), limit - received_.size());
    socket_.async_read_some(
        asio::buffer(chunk_.data(), wanted),
        [self = shared_from_this()](const asio::error_code& error, std::size_t count) { self->on_read(error, count); });
}

void Session::on_read(const asio::error_code& error, std::size_t count)
{
    received_.append(chunk_.data(), count);
    if (!error && !request_complete()) {
        read();
        return;
    }
    disarm();
    answer();
}

bool Session::request_complete() const
{
    if (channel_ == Channel::Register) {
        return received_.size() >= ozu::ddns::kRecordSize;
    }
    return received_.size() >= kMaxHttpHead || http_head_complete(received_);
}

void Session::answer()
{
    if (received_.empty()) {
        close();
        return;
    }
    request_ = channel_ == Channel::Http ? read_http_request(received_) : read_record(received_);
    if (request_.call) {
        answer_call(*request_.call);
    } else if (channel_ == Channel::Http) {
        carry_out(plan_http_reply(answer_http_refusal(request_), services_.fault));
    } else {
        carry_out(plan_register_reply(answer_record_refusal(request_), services_.fault));
    }
}

void Session::answer_call(const DeviceCall& call)
{
    const IdentityResult identified = identify(call);
    if (!identified.identity) {
        answer_outcome(CallOutcome{CallOutcome::Result::Invalid, "", identified.problem});
        return;
    }
    const Identity& identity = *identified.identity;
    const std::string domain = ozu::ddns::device_domain(identity.label.c_str(), services_.zone);
    if (call.kind == CallKind::Update) {
        record_report(call, identity, domain);
        return;
    }
    const std::optional<Device> device = services_.registry->find(identity.name);
    if (!device || device->mac != identity.owner) {
        answer_outcome(CallOutcome{CallOutcome::Result::Unknown, "", ""});
        return;
    }
    answer_outcome(CallOutcome{CallOutcome::Result::Found, domain, ""});
}

// The answer waits for the registry's commit, which calls back on the registry's thread.
void Session::record_report(const DeviceCall& call, const Identity& identity, const std::string& domain)
{
    services_.registry->record(
        report_of(call, identity, peer_, domain), [self = shared_from_this(), domain](Verdict verdict) {
            asio::post(self->socket_.get_executor(),
                       [self, verdict, domain] { self->answer_outcome(outcome_of(verdict, domain)); });
        });
}

void Session::answer_outcome(const CallOutcome& outcome)
{
    const DeviceCall& call = *request_.call;
    if (channel_ == Channel::Http) {
        carry_out(plan_http_reply(answer_http_call(call, outcome, peer_), services_.fault));
    } else {
        carry_out(plan_register_reply(answer_record_call(call, outcome, services_.zone), services_.fault));
    }
}

void Session::carry_out(const ReplyPlan& plan)
{
    const auto duration = std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - accepted_);
    services_.log->write(ExchangeEntry{channel_name(channel_), peer_, request_.logged, plan.summary, duration});
    switch (plan.action) {
    case ReplyPlan::Action::Close:
        close();
        return;
    case ReplyPlan::Action::Stall:
        stalled_ = true;
        arm(kStallLimit, [this] { close(); });
        return;
    case ReplyPlan::Action::Send:
        parts_ = plan.parts;
        send_part(0);
        return;
    }
}

void Session::send_part(std::size_t index)
{
    arm(kWriteDeadline, [this] { close(); });
    asio::async_write(socket_, asio::buffer(parts_[index]),
                      [self = shared_from_this(), index](const asio::error_code& error, std::size_t) {
                          self->disarm();
                          if (error || index + 1 == self->parts_.size()) {
                              self->close();
                              return;
                          }
                          self->arm(kSplitPause, [raw = self.get(), index] { raw->send_part(index + 1); });
                      });
}

void Session::close()
{
    if (closed_) {
        return;
    }
    closed_ = true;
    disarm();
    asio::error_code ignored;
    socket_.shutdown(asio::ip::tcp::socket::shutdown_both, ignored);
    socket_.close(ignored);
}

}  // namespace ozu::server

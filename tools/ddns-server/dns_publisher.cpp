#include "dns_publisher.h"

#include <pthread.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

#include "log_text.h"
#include "pending_names.h"

namespace ozu::server {
namespace {

using Clock = std::chrono::steady_clock;

constexpr std::chrono::milliseconds kFirstRetry{250};
constexpr std::chrono::milliseconds kLastRetry{30000};
constexpr std::chrono::seconds kDrainBudget{5};

void log_to_stderr(const std::string& line)
{
    std::fprintf(stderr, "ozu-ddns-server: %s\n", line.c_str());
}

}  // namespace

struct DnsPublisher::Impl {
    std::unique_ptr<DnsUpdater> updater;
    std::function<void(const std::string&)> log;
    std::mutex mutex;
    std::condition_variable wake;
    PendingNames pending;
    bool stopping = false;
    Clock::time_point drain_deadline;
    std::chrono::milliseconds retry_delay{0};  // 0 while the DNS server answers
    std::size_t dropped = 0;                   // since the last report
    std::thread thread;

    explicit Impl(std::size_t capacity) : pending(capacity) {}

    bool finished() const;
    std::string report_failure(const std::vector<NameChange>& batch, const std::string& failure);
    std::string report_success();
    void run();
};

bool DnsPublisher::Impl::finished() const
{
    // A DNS server that already failed is not waited for again when stopping.
    return pending.empty() || (stopping && (retry_delay.count() > 0 || Clock::now() >= drain_deadline));
}

std::string DnsPublisher::Impl::report_failure(const std::vector<NameChange>& batch, const std::string& failure)
{
    pending.put_back(batch);
    retry_delay = retry_delay.count() == 0 ? kFirstRetry : std::min(retry_delay * 2, kLastRetry);
    return "dns: update of " + std::to_string(batch.size()) + " names failed: " + failure + "; " +
           std::to_string(pending.size()) + " queued, next try in " + std::to_string(retry_delay.count()) + " ms";
}

std::string DnsPublisher::Impl::report_success()
{
    std::string report;
    if (retry_delay.count() > 0) {
        report = "dns: the server answers again; " + std::to_string(pending.size()) + " names queued";
    }
    if (dropped > 0) {
        report += (report.empty() ? "dns: " : "; ") + std::to_string(dropped) +
                  " name changes were dropped while the queue was full; a restart resynchronises DNS";
    }
    retry_delay = std::chrono::milliseconds(0);
    dropped = 0;
    return report;
}

void DnsPublisher::Impl::run()
{
    std::unique_lock<std::mutex> lock(mutex);
    for (;;) {
        wake.wait(lock, [this] { return stopping || !pending.empty(); });
        if (finished()) {
            break;
        }
        const std::vector<NameChange> batch = pending.take(updater->names_per_update());
        lock.unlock();
        const std::optional<std::string> failure = updater->send(batch);
        lock.lock();
        const std::string report = failure ? report_failure(batch, *failure) : report_success();
        if (!report.empty()) {
            lock.unlock();
            log(report);
            lock.lock();
        }
        if (failure) {
            wake.wait_for(lock, retry_delay, [this] { return stopping; });
        }
    }
    const std::size_t left = pending.size();
    lock.unlock();
    if (left > 0) {
        log("dns: stopping with " + std::to_string(left) + " name changes unsent; the next start resynchronises DNS");
    }
}

std::unique_ptr<DnsPublisher> DnsPublisher::start(DnsPublisherConfig config, std::string* error)
{
    auto impl = std::make_unique<Impl>(config.capacity);
    impl->updater = DnsUpdater::create(config.target, error);
    if (!impl->updater) {
        return nullptr;
    }
    impl->log = config.log ? std::move(config.log) : log_to_stderr;
    // The thread is born with every signal blocked: stop signals are its host's to take, and ldns
    // writing to a connection the DNS server closed must not raise SIGPIPE in a host that keeps it.
    sigset_t all;
    sigset_t previous;
    sigfillset(&all);
    pthread_sigmask(SIG_SETMASK, &all, &previous);
    impl->thread = std::thread(&Impl::run, impl.get());
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    return std::unique_ptr<DnsPublisher>(new DnsPublisher(std::move(impl)));
}

DnsPublisher::DnsPublisher(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

DnsPublisher::~DnsPublisher()
{
    stop();
}

void DnsPublisher::publish(const NameChange& change)
{
    if (!is_dns_label(change.serial)) {
        impl_->log("dns: serial \"" + printable(change.serial) + "\" is no DNS label; its name is not published");
        return;
    }
    bool first_drop = false;
    {
        const std::lock_guard<std::mutex> lock(impl_->mutex);
        if (!impl_->pending.put(change)) {
            first_drop = impl_->dropped++ == 0;
        }
    }
    impl_->wake.notify_one();
    if (first_drop) {
        impl_->log("dns: the queue is full; name changes are dropped until the DNS server catches up");
    }
}

void DnsPublisher::stop()
{
    {
        const std::lock_guard<std::mutex> lock(impl_->mutex);
        if (!impl_->stopping) {
            impl_->stopping = true;
            impl_->drain_deadline = Clock::now() + kDrainBudget;
        }
    }
    impl_->wake.notify_one();
    if (impl_->thread.joinable()) {
        impl_->thread.join();
    }
}

}  // namespace ozu::server

#include "sqlite_registry.h"

#include <cstdio>
#include <utility>

namespace ozu::server {
namespace {

// A group's commit waits for the disk; what arrives meanwhile goes into the next group. Groups start at least
// kCommitGap apart, so a burst costs one sync per gap rather than one per report.
constexpr std::chrono::milliseconds kCommitGap{2};
constexpr std::size_t kMaxGroup = 4096;
// How often names released by the release command are looked for while the server runs.
constexpr std::chrono::seconds kReleaseCheck{1};

void report_failure(const std::string& what, const std::string& error)
{
    std::fprintf(stderr, "ozu-ddns-server: registry: %s: %s\n", what.c_str(), error.c_str());
}

}  // namespace

std::unique_ptr<SqliteRegistry> SqliteRegistry::open(const std::string& path, PublishPolicy policy,
                                                     std::shared_ptr<NamePublisher> publisher, std::string* error)
{
    std::unique_ptr<SqliteStore> writer = SqliteStore::open(path, SqliteStore::Mode::Create, error);
    std::unique_ptr<SqliteStore> reader =
        writer ? SqliteStore::open(path, SqliteStore::Mode::Existing, error) : nullptr;
    if (!reader) {
        return nullptr;
    }
    if (!publisher) {
        publisher = std::make_shared<NullPublisher>();
    }
    std::unique_ptr<SqliteRegistry> registry(
        new SqliteRegistry(std::move(writer), std::move(reader), policy, std::move(publisher)));
    if (!registry->resynchronise(error)) {
        return nullptr;
    }
    registry->thread_ = std::thread([raw = registry.get()] { raw->write_loop(); });
    return registry;
}

SqliteRegistry::SqliteRegistry(std::unique_ptr<SqliteStore> writer, std::unique_ptr<SqliteStore> reader,
                               PublishPolicy policy, std::shared_ptr<NamePublisher> publisher)
    : policy_(policy), publisher_(std::move(publisher)), writer_(std::move(writer)), reader_(std::move(reader))
{
}

SqliteRegistry::~SqliteRegistry()
{
    {
        std::lock_guard<std::mutex> lock(pending_mutex_);
        closing_ = true;
    }
    pending_ready_.notify_one();
    if (thread_.joinable()) {
        thread_.join();
    }
}

bool SqliteRegistry::resynchronise(std::string* error)
{
    withdraw_released();
    const std::vector<Device> devices = writer_->devices();
    if (writer_->failed()) {
        *error = "cannot read the registry: " + writer_->error();
        return false;
    }
    for (const Device& device : devices) {
        publisher_->publish(NameChange{device.name, published_address(device, policy_)});
    }
    return true;
}

void SqliteRegistry::record(Device report, Done done)
{
    {
        std::lock_guard<std::mutex> lock(pending_mutex_);
        pending_.push_back(Pending{std::move(report), std::move(done)});
    }
    pending_ready_.notify_one();
}

std::optional<Device> SqliteRegistry::find(const std::string& name)
{
    std::lock_guard<std::mutex> lock(reader_mutex_);
    reader_->clear_failure();
    std::optional<Device> device = reader_->find(name);
    if (reader_->failed()) {
        report_failure("look-up", reader_->error());
    }
    return device;
}

void SqliteRegistry::write_loop()
{
    Clock::time_point next_release_check = Clock::now() + kReleaseCheck;
    while (true) {
        std::vector<Pending> group = next_batch(next_release_check);
        if (group.empty()) {
            std::lock_guard<std::mutex> lock(pending_mutex_);
            if (closing_ && pending_.empty()) {
                return;
            }
        }
        const Clock::time_point started = Clock::now();
        if (!group.empty()) {
            commit_batch(group);
        }
        if (Clock::now() >= next_release_check) {
            withdraw_released();
            next_release_check = Clock::now() + kReleaseCheck;
        }
        if (!group.empty()) {
            std::this_thread::sleep_until(started + kCommitGap);
        }
    }
}

std::vector<SqliteRegistry::Pending> SqliteRegistry::next_batch(Clock::time_point wake)
{
    std::unique_lock<std::mutex> lock(pending_mutex_);
    pending_ready_.wait_until(lock, wake, [this] { return !pending_.empty() || closing_; });
    std::vector<Pending> group;
    while (!pending_.empty() && group.size() < kMaxGroup) {
        group.push_back(std::move(pending_.front()));
        pending_.pop_front();
    }
    return group;
}

void SqliteRegistry::commit_batch(std::vector<Pending>& group)
{
    std::vector<Verdict> verdicts;
    std::vector<NameChange> changes;
    if (writer_->begin()) {
        for (Pending& pending : group) {
            verdicts.push_back(apply(std::move(pending.report), changes));
        }
    }
    if (!writer_->commit()) {
        report_failure("commit of " + std::to_string(group.size()) + " reports", writer_->error());
        writer_->rollback();
        verdicts.assign(group.size(), Verdict::Unavailable);
        changes.clear();
    }
    for (const NameChange& change : changes) {
        publisher_->publish(change);
    }
    for (std::size_t i = 0; i < group.size(); ++i) {
        group[i].done(verdicts[i]);
    }
}

Verdict SqliteRegistry::apply(Device report, std::vector<NameChange>& changes)
{
    const std::optional<Device> known = writer_->find(report.name);
    if (writer_->failed()) {
        return Verdict::Unavailable;
    }
    if (known && known->mac != report.mac) {
        return Verdict::NameTaken;
    }
    const Device device = merged(std::move(report), known);
    writer_->put(device);
    if (std::optional<NameChange> change = name_change(known, device, policy_)) {
        changes.push_back(std::move(*change));
    }
    return Verdict::Registered;
}

void SqliteRegistry::withdraw_released()
{
    if (!writer_->begin()) {
        report_failure("released names", writer_->error());
        return;
    }
    const std::vector<std::string> names = writer_->take_released();
    if (!writer_->commit()) {
        report_failure("released names", writer_->error());
        writer_->rollback();
        return;
    }
    for (const std::string& name : names) {
        publisher_->publish(NameChange{name, std::nullopt});
    }
}

}  // namespace ozu::server

// The registry kept in SQLite: a writer thread of its own commits reports in groups, look-ups read through a
// second connection, and every committed change of a published name goes to the name publisher.
#ifndef OZU_SERVER_SQLITE_REGISTRY_H
#define OZU_SERVER_SQLITE_REGISTRY_H

#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "registry.h"
#include "sqlite_store.h"

namespace ozu::server {

class SqliteRegistry final : public Registry {
public:
    // Opens (or creates) the database, tells the publisher every device's name and the withdrawal of every name
    // released while no server ran, and starts the writer; null and a message in *error when the database cannot
    // be opened.
    static std::unique_ptr<SqliteRegistry> open(const std::string& path, PublishPolicy policy,
                                                std::shared_ptr<NamePublisher> publisher, std::string* error);
    // Commits what is queued, then stops the writer.
    ~SqliteRegistry() override;
    SqliteRegistry(const SqliteRegistry&) = delete;
    SqliteRegistry& operator=(const SqliteRegistry&) = delete;

    void record(Device report, Done done) override;
    std::optional<Device> find(const std::string& name) override;

private:
    using Clock = std::chrono::steady_clock;

    struct Pending {
        Device report;
        Done done;
    };

    SqliteRegistry(std::unique_ptr<SqliteStore> writer, std::unique_ptr<SqliteStore> reader, PublishPolicy policy,
                   std::shared_ptr<NamePublisher> publisher);
    bool resynchronise(std::string* error);
    void write_loop();
    std::vector<Pending> next_batch(Clock::time_point wake);
    void commit_batch(std::vector<Pending>& batch);
    Verdict apply(Device report, std::vector<NameChange>& changes);
    void withdraw_released();

    const PublishPolicy policy_;
    const std::shared_ptr<NamePublisher> publisher_;
    std::unique_ptr<SqliteStore> writer_;  // the writer thread's alone once it runs

    std::mutex reader_mutex_;
    std::unique_ptr<SqliteStore> reader_;

    std::mutex pending_mutex_;
    std::condition_variable pending_ready_;
    std::deque<Pending> pending_;
    bool closing_ = false;
    std::thread thread_;
};

}  // namespace ozu::server

#endif

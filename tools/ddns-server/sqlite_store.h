// The registry's SQLite database: its schema with the migrations that build it, and the statements the server and
// the list and release commands run. One object per connection, used by one thread at a time.
#ifndef OZU_SERVER_SQLITE_STORE_H
#define OZU_SERVER_SQLITE_STORE_H

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "registry.h"

struct sqlite3;
struct sqlite3_stmt;

namespace ozu::server {

class SqliteStore {
public:
    enum class Mode { Create, Existing };

    // Opens the database (WAL, every commit synced) and brings its schema up to date; null and a message in
    // *error when it cannot, or when its schema is newer than this program's.
    static std::unique_ptr<SqliteStore> open(const std::string& path, Mode mode, std::string* error);
    ~SqliteStore();
    SqliteStore(const SqliteStore&) = delete;
    SqliteStore& operator=(const SqliteStore&) = delete;

    // A failed statement marks the store failed until the next begin(); the transaction must then be rolled back.
    bool begin();
    bool commit();
    void rollback();
    bool failed() const { return !error_.empty(); }
    void clear_failure() { error_.clear(); }
    const std::string& error() const { return error_; }

    std::optional<Device> find(const std::string& name);
    void put(const Device& device);
    std::vector<Device> devices();
    // Removes a device and leaves its name among the released ones; false when no device has the name.
    bool release(const std::string& name);
    // The released names whose withdrawal is still due, forgotten once returned; a name registered again since
    // is no longer due.
    std::vector<std::string> take_released();

private:
    explicit SqliteStore(sqlite3* db);
    bool configure();
    int schema_version();
    bool migrate();
    bool execute(const char* sql);
    sqlite3_stmt* prepared(const char* sql);
    bool step_done(sqlite3_stmt* statement);
    void note_error(const char* what);

    sqlite3* db_;
    std::vector<std::pair<const char*, sqlite3_stmt*>> statements_;
    std::string error_;
};

}  // namespace ozu::server

#endif

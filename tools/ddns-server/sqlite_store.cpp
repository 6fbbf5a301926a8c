#include "sqlite_store.h"

#include <sqlite3.h>

#include <array>
#include <utility>

namespace ozu::server {
namespace {

// Writers from other processes (the release command) wait this long for the server's transaction.
constexpr int kBusyTimeoutMs = 5000;

// The schema, one step per version: a database at version N has had the first N steps applied. Steps are only
// ever added.
constexpr std::array<const char*, 1> kMigrations = {
    R"sql(
CREATE TABLE devices (
    name TEXT PRIMARY KEY,
    serial TEXT NOT NULL,
    mac TEXT NOT NULL,
    device_code TEXT NOT NULL,
    reported_ip TEXT NOT NULL,
    source_ip TEXT NOT NULL,
    http_port INTEGER,
    server_port INTEGER,
    interface TEXT NOT NULL,
    online INTEGER NOT NULL,
    domain TEXT NOT NULL,
    first_seen INTEGER NOT NULL,
    last_seen INTEGER NOT NULL
) WITHOUT ROWID;
CREATE TABLE released (name TEXT PRIMARY KEY) WITHOUT ROWID;
)sql",
};

constexpr char kColumns[] =
    "name, serial, mac, device_code, reported_ip, source_ip, http_port, server_port, "
    "interface, online, domain, first_seen, last_seen";
const std::string kFind = std::string("SELECT ") + kColumns + " FROM devices WHERE name = ?1";
const std::string kAll = std::string("SELECT ") + kColumns + " FROM devices ORDER BY name";
const std::string kPut = std::string("INSERT OR REPLACE INTO devices (") + kColumns +
                         ") VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12, ?13)";
constexpr char kDelete[] = "DELETE FROM devices WHERE name = ?1";
constexpr char kRemember[] = "INSERT OR IGNORE INTO released (name) VALUES (?1)";
constexpr char kDue[] = "SELECT name FROM released WHERE name NOT IN (SELECT name FROM devices)";
constexpr char kForget[] = "DELETE FROM released";

std::string column_text(sqlite3_stmt* statement, int column)
{
    const unsigned char* text = sqlite3_column_text(statement, column);
    return text != nullptr ? reinterpret_cast<const char*>(text) : "";
}

std::optional<int> column_port(sqlite3_stmt* statement, int column)
{
    if (sqlite3_column_type(statement, column) == SQLITE_NULL) {
        return std::nullopt;
    }
    return sqlite3_column_int(statement, column);
}

Device read_device(sqlite3_stmt* statement)
{
    Device device;
    device.name = column_text(statement, 0);
    device.serial = column_text(statement, 1);
    device.mac = column_text(statement, 2);
    device.device_code = column_text(statement, 3);
    device.reported_ip = column_text(statement, 4);
    device.source_ip = column_text(statement, 5);
    device.http_port = column_port(statement, 6);
    device.server_port = column_port(statement, 7);
    device.interface = column_text(statement, 8);
    device.online = sqlite3_column_int(statement, 9) != 0;
    device.domain = column_text(statement, 10);
    device.first_seen = sqlite3_column_int64(statement, 11);
    device.last_seen = sqlite3_column_int64(statement, 12);
    return device;
}

void bind_text(sqlite3_stmt* statement, int index, const std::string& text)
{
    sqlite3_bind_text(statement, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
}

void bind_port(sqlite3_stmt* statement, int index, std::optional<int> port)
{
    if (port) {
        sqlite3_bind_int(statement, index, *port);
    } else {
        sqlite3_bind_null(statement, index);
    }
}

void bind_device(sqlite3_stmt* statement, const Device& device)
{
    bind_text(statement, 1, device.name);
    bind_text(statement, 2, device.serial);
    bind_text(statement, 3, device.mac);
    bind_text(statement, 4, device.device_code);
    bind_text(statement, 5, device.reported_ip);
    bind_text(statement, 6, device.source_ip);
    bind_port(statement, 7, device.http_port);
    bind_port(statement, 8, device.server_port);
    bind_text(statement, 9, device.interface);
    sqlite3_bind_int(statement, 10, device.online ? 1 : 0);
    bind_text(statement, 11, device.domain);
    sqlite3_bind_int64(statement, 12, device.first_seen);
    sqlite3_bind_int64(statement, 13, device.last_seen);
}

}  // namespace

std::unique_ptr<SqliteStore> SqliteStore::open(const std::string& path, Mode mode, std::string* error)
{
    const int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX | (mode == Mode::Create ? SQLITE_OPEN_CREATE : 0);
    sqlite3* db = nullptr;
    const int result = sqlite3_open_v2(path.c_str(), &db, flags, nullptr);
    std::unique_ptr<SqliteStore> store(new SqliteStore(db));
    if (result != SQLITE_OK) {
        *error = "cannot open the database " + path + ": " + (db != nullptr ? sqlite3_errmsg(db) : "out of memory");
        return nullptr;
    }
    if (!store->configure() || !store->migrate()) {
        *error = "database " + path + ": " + store->error();
        return nullptr;
    }
    return store;
}

SqliteStore::SqliteStore(sqlite3* db) : db_(db) {}

SqliteStore::~SqliteStore()
{
    for (const auto& entry : statements_) {
        sqlite3_finalize(entry.second);
    }
    sqlite3_close(db_);
}

bool SqliteStore::configure()
{
    sqlite3_busy_timeout(db_, kBusyTimeoutMs);
    return execute("PRAGMA journal_mode = WAL") && execute("PRAGMA synchronous = FULL");
}

int SqliteStore::schema_version()
{
    sqlite3_stmt* version = prepared("PRAGMA user_version");
    const int current = version != nullptr && sqlite3_step(version) == SQLITE_ROW ? sqlite3_column_int(version, 0) : -1;
    if (version != nullptr) {
        sqlite3_reset(version);
    }
    if (current < 0) {
        note_error("schema version");
    } else if (current > static_cast<int>(kMigrations.size())) {
        error_ = "schema version " + std::to_string(current) + " is newer than this program's (" +
                 std::to_string(kMigrations.size()) + ")";
    }
    return current;
}

// The version is read again inside the transaction: another process may have migrated in between.
bool SqliteStore::migrate()
{
    const int seen = schema_version();
    if (failed() || seen == static_cast<int>(kMigrations.size())) {
        return !failed();
    }
    if (!begin()) {
        return false;
    }
    const int current = schema_version();
    for (std::size_t step = static_cast<std::size_t>(current); !failed() && step < kMigrations.size(); ++step) {
        const std::string set_version = "PRAGMA user_version = " + std::to_string(step + 1);
        if (!execute(kMigrations[step]) || !execute(set_version.c_str())) {
            break;
        }
    }
    if (!commit()) {
        rollback();
        return false;
    }
    return true;
}

bool SqliteStore::execute(const char* sql)
{
    char* message = nullptr;
    if (sqlite3_exec(db_, sql, nullptr, nullptr, &message) != SQLITE_OK) {
        error_ = message != nullptr ? message : sqlite3_errmsg(db_);
        sqlite3_free(message);
        return false;
    }
    return true;
}

sqlite3_stmt* SqliteStore::prepared(const char* sql)
{
    for (const auto& entry : statements_) {
        if (entry.first == sql) {
            sqlite3_reset(entry.second);
            sqlite3_clear_bindings(entry.second);
            return entry.second;
        }
    }
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v3(db_, sql, -1, SQLITE_PREPARE_PERSISTENT, &statement, nullptr) != SQLITE_OK) {
        note_error("prepare");
        return nullptr;
    }
    statements_.emplace_back(sql, statement);
    return statement;
}

bool SqliteStore::step_done(sqlite3_stmt* statement)
{
    if (statement == nullptr) {
        return false;
    }
    if (sqlite3_step(statement) != SQLITE_DONE) {
        note_error("step");
        sqlite3_reset(statement);
        return false;
    }
    sqlite3_reset(statement);
    return true;
}

void SqliteStore::note_error(const char* what)
{
    if (error_.empty()) {
        error_ = std::string(what) + ": " + sqlite3_errmsg(db_);
    }
}

bool SqliteStore::begin()
{
    error_.clear();
    return step_done(prepared("BEGIN IMMEDIATE"));
}

bool SqliteStore::commit()
{
    return !failed() && step_done(prepared("COMMIT"));
}

void SqliteStore::rollback()
{
    sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
}

std::optional<Device> SqliteStore::find(const std::string& name)
{
    sqlite3_stmt* statement = prepared(kFind.c_str());
    if (statement == nullptr) {
        return std::nullopt;
    }
    bind_text(statement, 1, name);
    const int result = sqlite3_step(statement);
    std::optional<Device> device;
    if (result == SQLITE_ROW) {
        device = read_device(statement);
    } else if (result != SQLITE_DONE) {
        note_error("find");
    }
    sqlite3_reset(statement);
    return device;
}

void SqliteStore::put(const Device& device)
{
    sqlite3_stmt* statement = prepared(kPut.c_str());
    if (statement != nullptr) {
        bind_device(statement, device);
    }
    step_done(statement);
}

std::vector<Device> SqliteStore::devices()
{
    std::vector<Device> devices;
    sqlite3_stmt* statement = prepared(kAll.c_str());
    if (statement == nullptr) {
        return devices;
    }
    int result = SQLITE_ROW;
    while ((result = sqlite3_step(statement)) == SQLITE_ROW) {
        devices.push_back(read_device(statement));
    }
    if (result != SQLITE_DONE) {
        note_error("list");
    }
    sqlite3_reset(statement);
    return devices;
}

bool SqliteStore::release(const std::string& name)
{
    sqlite3_stmt* remove = prepared(kDelete);
    if (remove == nullptr) {
        return false;
    }
    bind_text(remove, 1, name);
    if (!step_done(remove) || sqlite3_changes(db_) == 0) {
        return false;
    }
    sqlite3_stmt* remember = prepared(kRemember);
    if (remember != nullptr) {
        bind_text(remember, 1, name);
    }
    return step_done(remember);
}

std::vector<std::string> SqliteStore::take_released()
{
    std::vector<std::string> names;
    sqlite3_stmt* due = prepared(kDue);
    if (due == nullptr) {
        return names;
    }
    int result = SQLITE_ROW;
    while ((result = sqlite3_step(due)) == SQLITE_ROW) {
        names.push_back(column_text(due, 0));
    }
    if (result != SQLITE_DONE) {
        note_error("released names");
    }
    sqlite3_reset(due);
    step_done(prepared(kForget));
    return names;
}

}  // namespace ozu::server

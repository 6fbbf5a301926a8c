// The server against hostile and broken clients, what it tells the name publisher, its registry across a
// SIGKILL in the middle of a burst, and a device's name in a real BIND.
#include "server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "ddns/ozu_dnsupdate_module.h"
#include "exchange_log.h"
#include "sqlite_store.h"
#include "support/bind_server.h"
#include "support/temp_directory.h"

extern char** environ;

namespace ozu::test {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// The server drops a silent or trickling client within this time; every wait of the tests is bounded by it.
constexpr auto kDropLimit = 10s;
constexpr auto kTrickle = 400ms;
constexpr std::size_t kRecordSize = 432;
constexpr std::size_t kSerialOffset = 24;
constexpr std::size_t kDomainOffset = 216;
const std::string kOwner = "00:11:22:33:44:01";

class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor()
    {
        if (fd_ >= 0) {
            close(fd_);
        }
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    Descriptor(Descriptor&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
    int get() const { return fd_; }

private:
    int fd_;
};

Descriptor connect_to(int port)
{
    Descriptor socket_fd(socket(AF_INET, SOCK_STREAM, 0));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(socket_fd.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        return Descriptor(-1);
    }
    return socket_fd;
}

struct Seen {
    std::string reply;
    bool closed = false;
    Clock::duration took{};
};

// Reads until the server closes the connection, for kDropLimit at most.
Seen read_until_closed(int fd, Clock::time_point started)
{
    Seen seen;
    const Clock::time_point limit = started + kDropLimit;
    while (Clock::now() < limit) {
        pollfd readable{fd, POLLIN, 0};
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(limit - Clock::now());
        if (poll(&readable, 1, static_cast<int>(left.count()) + 1) <= 0) {
            continue;
        }
        char buffer[4096];
        const ssize_t count = recv(fd, buffer, sizeof buffer, 0);
        if (count <= 0) {
            seen.closed = true;
            break;
        }
        seen.reply.append(buffer, static_cast<std::size_t>(count));
    }
    seen.took = Clock::now() - started;
    return seen;
}

// One connection: the pieces sent kTrickle apart (until the server closes), then the server's reply.
Seen exchange(int port, const std::vector<std::string>& pieces, bool half_close)
{
    const Clock::time_point started = Clock::now();
    const Descriptor peer = connect_to(port);
    if (peer.get() < 0) {
        return Seen{};
    }
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        if (i > 0) {
            std::this_thread::sleep_for(kTrickle);
        }
        if (send(peer.get(), pieces[i].data(), pieces[i].size(), MSG_NOSIGNAL) < 0) {
            break;
        }
    }
    if (half_close) {
        shutdown(peer.get(), SHUT_WR);
    }
    return read_until_closed(peer.get(), started);
}

// The client's own cipher of a record field.
std::string enciphered(const std::string& text)
{
    std::array<char, 1024> ciphertext{};
    EncryptString(text.c_str(), ciphertext.data());
    return ciphertext.data();
}

std::string with_text(std::string bytes, std::size_t offset, const std::string& text)
{
    return bytes.replace(offset, text.size(), text);
}

// A register-channel record as the device lays it out.
std::string record(int command, const std::string& serial, const std::string& mac, const std::string& status)
{
    std::string bytes(kRecordSize, '\0');
    bytes[0] = static_cast<char>(command);
    bytes = with_text(bytes, kSerialOffset, enciphered(serial));
    bytes = with_text(bytes, 56, enciphered("192.168.1.64"));
    bytes = with_text(bytes, 120, enciphered(mac));
    bytes = with_text(bytes, 184, enciphered("0x7"));
    bytes = with_text(bytes, kDomainOffset, serial + ".");
    bytes = with_text(bytes, 344, "8080");
    return with_text(bytes, 416, status);
}

std::string registration(const std::string& serial, const std::string& mac = kOwner)
{
    return record(101, serial, mac, "online");
}

std::string reply_record(int command, const std::string& domain)
{
    std::string bytes(kRecordSize, '\0');
    bytes[0] = static_cast<char>(command);
    return with_text(bytes, kDomainOffset, domain);
}

std::vector<std::string> trickled(const std::string& bytes, std::size_t size)
{
    std::vector<std::string> pieces;
    for (std::size_t i = 0; i < bytes.size(); i += size) {
        pieces.push_back(bytes.substr(i, size));
    }
    return pieces;
}

ozu::server::ServerConfig test_config(const TempDirectory& directory)
{
    ozu::server::ServerConfig config;
    config.http_port = 0;
    config.register_port = 0;
    config.database = directory.path("registry.db");
    config.max_connections = 2;
    config.rate_limit = 1;  // ten connections at once, then one a second
    config.log_stream = stderr;
    return config;
}

struct HostileCase {
    const char* name;
    bool http;
    std::vector<std::string> pieces;  // sent kTrickle apart
    bool half_close;
    std::string reply;  // what the server sends before it closes: the whole record, or the HTTP reply's start
    std::vector<std::string> earlier = {};  // registered first, each over a connection of its own
    int repeat = 1;                         // the pieces sent over this many connections in turn; the last judged
    int held = 0;                           // silent connections open meanwhile: the reply waits until they drop
};

const std::string kGood = registration("CAM1");

const HostileCase kHostileCases[] = {
    {"Registration", false, {kGood}, false, reply_record(101, "ddns.test")},
    {"SilentClient", false, {}, false, ""},
    {"SlowlorisRecord", false, trickled(kGood, 10), false, ""},
    {"SlowlorisHttp", true, trickled("GET /register/deviceupdate?id=CAM1&mac=00:11:22:33:44:01", 2), false,
     "HTTP/1.0 400 Bad Request\r\n"},
    {"ShortRecord", false, {kGood.substr(0, 100)}, true, ""},
    {"RecordOfZeros", false, {std::string(kRecordSize, '\0')}, false, ""},
    {"FieldsThatDoNotDecipher", false, {with_text(kGood, kSerialOffset, "zz")}, false, ""},
    {"UnknownCommand", false, {record(7, "CAM1", kOwner, "online")}, false, ""},
    {"SerialOwnedByAnotherMac",
     false,
     {registration("CAM1", "00:11:22:33:44:02")},
     false,
     reply_record(101, ""),
     {kGood}},
    {"GarbageHttp", true, {"\x16\x03\x01\x02\xff\x01 garbage\r\n\r\n"}, false, "HTTP/1.0 400 Bad Request\r\n"},
    {"EndlessHttpHead", true, {"GET /" + std::string(8187, 'A')}, false, "HTTP/1.0 400 Bad Request\r\n"},
    {"FloodFromOneSource", false, {kGood}, false, "", {}, 12},
    {"ConnectionsBeyondTheCapWait", false, {kGood}, false, reply_record(101, "ddns.test"), {}, 1, 2},
};

class HostileClients : public testing::TestWithParam<HostileCase> {};

TEST_P(HostileClients, AreAnsweredOrDroppedWithinTheLimit)
{
    const HostileCase& row = GetParam();
    const TempDirectory directory;
    ozu::server::Server server(test_config(directory));
    std::string error;
    ASSERT_TRUE(server.start(&error)) << error;
    const int port = row.http ? server.http_port() : server.register_port();
    for (const std::string& earlier : row.earlier) {
        exchange(port, {earlier}, false);
    }
    std::vector<Descriptor> held;
    held.reserve(static_cast<std::size_t>(row.held));
    for (int i = 0; i < row.held; ++i) {
        held.push_back(connect_to(port));
    }
    Seen seen;
    for (int i = 0; i < row.repeat; ++i) {
        seen = exchange(port, row.pieces, row.half_close);
    }
    EXPECT_TRUE(seen.closed);
    EXPECT_LT(seen.took, kDropLimit);
    EXPECT_EQ(row.http ? seen.reply.substr(0, row.reply.size()) : seen.reply, row.reply);
    if (row.held > 0) {
        EXPECT_GT(seen.took, 4s);
    }
}

INSTANTIATE_TEST_SUITE_P(Table, HostileClients, testing::ValuesIn(kHostileCases),
                         [](const testing::TestParamInfo<HostileCase>& info) { return std::string(info.param.name); });

// Quotes and backslashes in what a device sent stay inside their JSON strings.
TEST(ExchangeLog, WritesAnExchangeAsOneJsonObject)
{
    const ozu::server::ExchangeEntry entry{"http", "127.0.0.1", R"(GET /x query="a\b")", "400 no id", 1500us};
    const std::chrono::system_clock::time_point written(1796548540123ms);
    EXPECT_EQ(ozu::server::format_entry(entry, ozu::server::LogFormat::Json, written),
              R"({"time":"2026-12-06T09:15:40.123Z","channel":"http","peer":"127.0.0.1",)"
              R"("request":"GET /x query=\"a\\b\"","reply":"400 no id","ms":1.500})");
}

class RecordingPublisher final : public ozu::server::NamePublisher {
public:
    void publish(const ozu::server::NameChange& change) override
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        heard_.push_back(change.serial + (change.address ? " " + std::to_string(ntohl(*change.address)) : " -"));
    }
    std::vector<std::string> heard()
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        return heard_;
    }

private:
    std::mutex mutex_;
    std::vector<std::string> heard_;
};

std::vector<std::string> heard_by_a_server(const TempDirectory& directory, const std::vector<std::string>& records,
                                           ozu::server::PublishPolicy policy = {})
{
    auto publisher = std::make_shared<RecordingPublisher>();
    ozu::server::ServerConfig config = test_config(directory);
    config.publisher = publisher;
    config.publish = policy;
    ozu::server::Server server(config);
    EXPECT_TRUE(server.start(nullptr));
    for (const std::string& bytes : records) {
        exchange(server.register_port(), {bytes}, false);
    }
    server.stop();
    return publisher->heard();
}

TEST(ServerPublisher, HearsEachCommittedChangeOfANameAndTheRegistryAtStart)
{
    const TempDirectory directory;
    const std::string loopback = std::to_string(INADDR_LOOPBACK);
    const std::vector<std::string> first =
        heard_by_a_server(directory, {kGood, kGood, record(102, "CAM1", kOwner, "offline"), registration("CAM2"),
                                      registration("CAM2", "00:11:22:33:44:02")});
    EXPECT_EQ(first, (std::vector<std::string>{"cam1 " + loopback, "cam1 -", "cam2 " + loopback}));
    EXPECT_EQ(heard_by_a_server(directory, {}), (std::vector<std::string>{"cam1 -", "cam2 " + loopback}));
    // The address the devices report (192.168.1.64), and names kept by devices that went offline.
    const std::string reported = std::to_string(0xC0A80140U);
    EXPECT_EQ(heard_by_a_server(directory, {}, {true, true}),
              (std::vector<std::string>{"cam1 " + reported, "cam2 " + reported}));
}

// Starts the program with its standard output on /dev/null and its standard error on the descriptor (-1: the test's).
pid_t spawn(std::vector<std::string> words, int error_fd = -1)
{
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (error_fd >= 0) {
        posix_spawn_file_actions_adddup2(&actions, error_fd, STDERR_FILENO);
    }
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    std::vector<char*> argv;
    argv.reserve(words.size() + 1);
    for (std::string& word : words) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);
    pid_t pid = -1;
    posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

// The server program with its stderr on a pipe until it says it serves: the register port is read from that line.
struct Program {
    pid_t pid = -1;
    int port = 0;
};

Program start_program(const std::string& database, const std::vector<std::string>& extra = {})
{
    int pipe_ends[2];
    if (pipe(pipe_ends) != 0) {
        return {};
    }
    std::vector<std::string> words = {OZU_SERVER_PROGRAM, "--http-port", "off",        "--register-port", "0",
                                      "--rate-limit",     "0",           "--database", database};
    words.insert(words.end(), extra.begin(), extra.end());
    Program program;
    program.pid = spawn(words, pipe_ends[1]);
    close(pipe_ends[1]);
    const Descriptor output(pipe_ends[0]);
    std::string text;
    char c = '\0';
    pollfd readable{output.get(), POLLIN, 0};
    while ((text.find("serving zone") == std::string::npos || text.back() != '\n') && poll(&readable, 1, 5000) > 0 &&
           read(output.get(), &c, 1) == 1) {
        text += c;
    }
    const std::size_t at = text.find("register ", text.find("serving zone"));
    program.port = at != std::string::npos ? std::atoi(text.c_str() + at + 9) : 0;
    return program;
}

// SIGKILL: nothing after the kill, so only what was committed before a confirmation remains; SIGTERM: the
// exchanges in progress finish and the program exits cleanly.
class ServerProgram : public testing::TestWithParam<int> {};

TEST_P(ServerProgram, KeepsEveryConfirmedRegistrationWhenStoppedMidBurst)
{
    const TempDirectory directory;
    const Program program = start_program(directory.path("registry.db"));
    ASSERT_GT(program.port, 0);
    std::mutex mutex;
    std::vector<std::string> confirmed;
    std::atomic<bool> killed{false};
    constexpr int kDevices = 8;
    std::vector<std::thread> devices;
    devices.reserve(kDevices);
    for (int device = 0; device < kDevices; ++device) {
        devices.emplace_back([&, device] {
            for (int i = 0; !killed; ++i) {
                const std::string serial = "K" + std::to_string(device) + "N" + std::to_string(i);
                if (exchange(program.port, {registration(serial)}, false).reply == reply_record(101, "ddns.test")) {
                    const std::lock_guard<std::mutex> lock(mutex);
                    confirmed.push_back(serial);
                }
            }
        });
    }
    const Clock::time_point limit = Clock::now() + kDropLimit;
    while (Clock::now() < limit && [&] {
        const std::lock_guard<std::mutex> lock(mutex);
        return confirmed.size() < 500;
    }()) {
        std::this_thread::sleep_for(1ms);
    }
    kill(program.pid, GetParam());
    killed = true;
    for (std::thread& device : devices) {
        device.join();
    }
    int status = 0;
    waitpid(program.pid, &status, 0);
    EXPECT_TRUE(GetParam() == SIGKILL ? WIFSIGNALED(status) : WIFEXITED(status) && WEXITSTATUS(status) == 0);
    std::string error;
    const auto store =
        ozu::server::SqliteStore::open(directory.path("registry.db"), ozu::server::SqliteStore::Mode::Existing, &error);
    ASSERT_TRUE(store) << error;
    EXPECT_GE(confirmed.size(), 500U);
    std::vector<std::string> lost;
    for (std::string serial : confirmed) {
        for (char& c : serial) {
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        }
        if (!store->find(serial)) {
            lost.push_back(serial);
        }
    }
    EXPECT_TRUE(lost.empty()) << lost.size() << " confirmed registrations lost, the first " << lost.front();
}

INSTANTIATE_TEST_SUITE_P(Signals, ServerProgram, testing::Values(SIGKILL, SIGTERM),
                         [](const testing::TestParamInfo<int>& info) {
                             return info.param == SIGKILL ? "Kill" : "Term";
                         });

// A program the test started, killed if the test ends first.
class Child {
public:
    explicit Child(pid_t pid) : pid_(pid) {}
    ~Child() { stop(SIGKILL); }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    // Sends the signal and waits kDropLimit at most for the end; whether the program exited with status 0.
    bool stop(int signal)
    {
        int status = -1;
        if (pid_ > 0 && kill(pid_, signal) == 0 &&
            !eventually([&] { return waitpid(pid_, &status, WNOHANG) != 0; }, kDropLimit)) {
            kill(pid_, SIGKILL);
            waitpid(pid_, &status, 0);
        }
        pid_ = -1;
        return WIFEXITED(status) && WEXITSTATUS(status) == 0;
    }

private:
    pid_t pid_;
};

// The library always reaches the register channel at port 8879: the server listens on an address of this
// test's own, outside the client tests' 127.1.x.y.
const char kDeviceServer[] = "127.0.15.1";

pid_t start_device()
{
    return spawn({OZU_DEVICE_PROGRAM, "run", "--server", kDeviceServer, "--serial", "E2E00001", "--mac", kOwner, "--ip",
                  "192.168.1.64"});
}

// The device's name points at the address it connects from while it is online; after BIND lost its zone, the
// server's restart publishes the registry again.
TEST(ServerWithBind, PublishesADeviceRegisteredThroughTheLibrary)
{
    if (!BindServer::installed()) {
        GTEST_SKIP() << "named, tsig-keygen or dig is not installed";
    }
    BindServer bind("ddns.test");
    ASSERT_TRUE(bind.start());
    const TempDirectory directory;
    const std::string dns_server = "127.0.0.1:" + std::to_string(bind.port());
    const std::vector<std::string> options = {"--address",    kDeviceServer, "--register-port", "8879",
                                              "--dns-server", dns_server,    "--tsig-key",      bind.key_file()};
    auto server = std::make_unique<Child>(start_program(directory.path("registry.db"), options).pid);
    const auto resolves = [&bind] {
        return bind.a_records("e2e00001") == std::vector<std::string>{"e2e00001.ddns.test. 60 IN A 127.0.0.1"};
    };
    const auto gone = [&bind] {
        return bind.a_records("e2e00001").empty();
    };
    Child device(start_device());
    ASSERT_TRUE(eventually(resolves, kDropLimit));
    EXPECT_TRUE(device.stop(SIGTERM));
    EXPECT_TRUE(eventually(gone, kDropLimit));
    Child again(start_device());
    ASSERT_TRUE(eventually(resolves, kDropLimit));
    again.stop(SIGKILL);  // no offline report: the registry keeps the device online
    bind.stop();
    bind.lose_zone();
    ASSERT_TRUE(bind.start());
    EXPECT_TRUE(gone());
    EXPECT_TRUE(server->stop(SIGTERM));
    server = std::make_unique<Child>(start_program(directory.path("registry.db"), options).pid);
    EXPECT_TRUE(eventually(resolves, kDropLimit));
}

}  // namespace
}  // namespace ozu::test

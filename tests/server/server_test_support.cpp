#include "server_test_support.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <memory>
#include <thread>

#include "des/DES.h"
#include "test_addresses.h"

namespace server_test {
namespace {

using Clock = std::chrono::steady_clock;

// Words put in front of every program started, e.g. the emulator of a cross build; none natively.
const std::vector<std::string> kProgramLauncher = {OZU_PROGRAM_LAUNCHER};

struct FieldPlace {
    std::size_t offset;
    std::size_t width;
};

// Byte offset and width of each text field as the device lays them out, in record order: serial,
// ip, mac, device id, domain, server port, time, type, status.
constexpr std::array<FieldPlace, 9> kTextFields = {
    {{24, 32}, {56, 64}, {120, 64}, {184, 32}, {216, 128}, {344, 8}, {352, 16}, {368, 16}, {416, 16}}};
constexpr FieldPlace kDeviceDomain = kTextFields[4];
constexpr std::size_t kRecordSize = 432;

// Text past the field's last byte but one is cut, so the field keeps a NUL.
void place_text(std::string& record, FieldPlace place, const std::string& text) {
    const std::size_t length = std::min(text.size(), place.width - 1);
    record.replace(place.offset, length, text.substr(0, length));
}

// A zeroed record with the command code in little-endian bytes 0-3.
std::string record_with_command(std::int32_t command) {
    std::string record(kRecordSize, '\0');
    const auto bits = static_cast<std::uint32_t>(command);
    for (std::size_t i = 0; i < 4; ++i) {
        record[i] = static_cast<char>((bits >> (8 * i)) & 0xFFu);
    }
    return record;
}

sockaddr_in loopback(const std::string& address, int port) {
    sockaddr_in where{};
    where.sin_family = AF_INET;
    where.sin_port = htons(static_cast<std::uint16_t>(port));
    inet_pton(AF_INET, address.c_str(), &where.sin_addr);
    return where;
}

int milliseconds_left(Clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

std::string read_all(std::FILE* file) {
    std::string text;
    std::rewind(file);
    std::array<char, 4096> chunk{};
    std::size_t count = 0;
    while ((count = std::fread(chunk.data(), 1, chunk.size(), file)) > 0) {
        text.append(chunk.data(), count);
    }
    return text;
}

}  // namespace

std::string configured_key() { return OZU_TEST_DDNS_KEY; }

std::string encipher(const std::string& text) {
    auto des = std::make_unique<DES>();
    des->InitializeKey(configured_key(), false);
    des->InitializeKey(configured_key(), true);
    des->TripleEncryptAnyLength(text);
    return des->GetCiphertextAnyLength();
}

std::string device_request(const std::string& target, const std::string& host) {
    return "GET " + target + " HTTP/1.0\r\nAccept: */*\r\nUser-Agent:Mozilla/4.0 \r\nHost:" + host + "\r\n\r\n";
}

std::string device_record(const RecordFields& fields) {
    std::string record = record_with_command(fields.command);
    const std::array<std::string, kTextFields.size()> texts = {
        encipher(fields.serial), encipher(fields.ip), encipher(fields.mac), encipher(fields.device_id),
        fields.domain, fields.port, fields.time, fields.type, fields.status};
    for (std::size_t i = 0; i < texts.size(); ++i) {
        place_text(record, kTextFields[i], texts[i]);
    }
    return record;
}

std::string reply_record(std::int32_t command, const std::string& domain) {
    std::string record = record_with_command(command);
    record.replace(kDeviceDomain.offset, domain.size(), domain);
    return record;
}

ozu_ref::ServerConfig loopback_config(const std::string& address, ozu_ref::Fault fault) {
    ozu_ref::ServerConfig config;
    config.address = address;
    config.http_port = kHttpPort;
    config.register_port = kRegisterPort;
    config.fault = fault;
    return config;
}

RawClient::RawClient(const std::string& address, int port) {
    const sockaddr_in from = loopback(address, 0);
    const sockaddr_in where = loopback(address, port);
    fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (bind(fd_, reinterpret_cast<const sockaddr*>(&from), sizeof from) != 0 ||
        connect(fd_, reinterpret_cast<const sockaddr*>(&where), sizeof where) != 0) {
        close(fd_);
        fd_ = -1;
    }
}

RawClient::~RawClient() {
    if (fd_ >= 0) {
        close(fd_);
    }
}

void RawClient::send_bytes(const std::string& bytes) {
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t count = send(fd_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (count <= 0) {
            return;
        }
        sent += static_cast<std::size_t>(count);
    }
}

void RawClient::finish_sending() { shutdown(fd_, SHUT_WR); }

std::optional<std::string> RawClient::receive_once(std::chrono::milliseconds limit) {
    pollfd readable{fd_, POLLIN, 0};
    if (poll(&readable, 1, static_cast<int>(limit.count())) != 1) {
        return std::nullopt;
    }
    std::array<char, 8192> buffer{};
    const ssize_t count = recv(fd_, buffer.data(), buffer.size(), 0);
    return std::string(buffer.data(), count > 0 ? static_cast<std::size_t>(count) : 0);
}

std::optional<std::string> RawClient::receive_until_closed(std::chrono::milliseconds limit) {
    const Clock::time_point deadline = Clock::now() + limit;
    std::string received;
    while (true) {
        const std::optional<std::string> part = receive_once(std::chrono::milliseconds(milliseconds_left(deadline)));
        if (!part || part->empty()) {
            return part ? std::optional<std::string>(received) : std::nullopt;
        }
        received += *part;
    }
}

ChildProcess::ChildProcess(const std::vector<std::string>& argv) : out_(std::tmpfile()), err_(std::tmpfile()) {
    std::vector<std::string> command = kProgramLauncher;
    command.insert(command.end(), argv.begin(), argv.end());
    std::vector<char*> arguments;
    for (const std::string& argument : command) {
        arguments.push_back(const_cast<char*>(argument.c_str()));
    }
    arguments.push_back(nullptr);
    std::fflush(nullptr);
    pid_ = fork();
    if (pid_ == 0) {
        dup2(fileno(out_), STDOUT_FILENO);
        dup2(fileno(err_), STDERR_FILENO);
        // The launcher is named without a directory, so the search path finds it.
        execvp(arguments[0], arguments.data());
        _exit(127);
    }
}

ChildProcess::~ChildProcess() {
    if (pid_ > 0) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    std::fclose(out_);
    std::fclose(err_);
}

void ChildProcess::signal(int number) { kill(pid_, number); }

ProcessResult ChildProcess::wait(std::chrono::milliseconds limit) {
    const Clock::time_point deadline = Clock::now() + limit;
    int status = 0;
    pid_t done = 0;
    while ((done = waitpid(pid_, &status, WNOHANG)) == 0 && Clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (done == 0) {
        kill(pid_, SIGKILL);
        waitpid(pid_, &status, 0);
    }
    pid_ = -1;
    ProcessResult result;
    result.finished = done != 0 && WIFEXITED(status);
    result.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.out = read_all(out_);
    result.err = read_all(err_);
    return result;
}

ProcessResult run_process(const std::vector<std::string>& argv, std::chrono::milliseconds limit) {
    ChildProcess child(argv);
    return child.wait(limit);
}

void expect_refusals(const std::string& program, const std::string& name, const std::vector<BadOptions>& cases) {
    for (const BadOptions& c : cases) {
        std::vector<std::string> argv = {program};
        argv.insert(argv.end(), c.arguments.begin(), c.arguments.end());
        const ProcessResult result = run_process(argv, std::chrono::seconds(5));
        EXPECT_EQ(result.exit_code, 2) << c.message;
        EXPECT_EQ(result.err.rfind(name + ": " + c.message + "\nusage: ", 0), 0u) << result.err;
        EXPECT_EQ(result.out, "");
    }
}

bool wait_until_listening(const std::string& address, int port, std::chrono::milliseconds limit) {
    const Clock::time_point deadline = Clock::now() + limit;
    const sockaddr_in where = loopback(address, port);
    while (Clock::now() < deadline) {
        const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const bool listening = connect(fd, reinterpret_cast<const sockaddr*>(&where), sizeof where) == 0;
        close(fd);
        if (listening) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

std::string captured_stdout(const std::function<void()>& action) {
    std::FILE* capture = std::tmpfile();
    std::fflush(stdout);
    const int saved = dup(STDOUT_FILENO);
    dup2(fileno(capture), STDOUT_FILENO);
    action();
    std::fflush(stdout);
    dup2(saved, STDOUT_FILENO);
    close(saved);
    const std::string text = read_all(capture);
    std::fclose(capture);
    return text;
}

}  // namespace server_test

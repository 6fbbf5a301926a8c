#include "server_test_support.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <memory>
#include <thread>

#include "des/DES.h"

namespace server_test {
namespace {

using Clock = std::chrono::steady_clock;

// Words put in front of every program started, e.g. the emulator of a cross build; none natively.
const std::vector<std::string> kProgramLauncher = {OZU_PROGRAM_LAUNCHER};

struct FieldPlace {
    std::size_t offset;
    std::size_t width;
};

// Byte offsets and widths of the record's text fields, as the device lays them out.
constexpr FieldPlace kSerial{24, 32};
constexpr FieldPlace kIpAddress{56, 64};
constexpr FieldPlace kMac{120, 64};
constexpr FieldPlace kDeviceId{184, 32};
constexpr FieldPlace kDeviceDomain{216, 128};
constexpr FieldPlace kServerPort{344, 8};
constexpr FieldPlace kTime{352, 16};
constexpr FieldPlace kType{368, 16};
constexpr FieldPlace kStatus{416, 16};
constexpr std::size_t kRecordSize = 432;

// Text past the field's last byte but one is cut, so the field keeps a NUL.
void place_text(std::string& record, FieldPlace place, const std::string& text) {
    const std::size_t length = std::min(text.size(), place.width - 1);
    record.replace(place.offset, length, text.substr(0, length));
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
    std::string record(kRecordSize, '\0');
    const auto command = static_cast<std::uint32_t>(fields.command);
    for (std::size_t i = 0; i < 4; ++i) {
        record[i] = static_cast<char>((command >> (8 * i)) & 0xFFu);
    }
    place_text(record, kSerial, encipher(fields.serial));
    place_text(record, kIpAddress, encipher(fields.ip));
    place_text(record, kMac, encipher(fields.mac));
    place_text(record, kDeviceId, encipher(fields.device_id));
    place_text(record, kDeviceDomain, fields.domain);
    place_text(record, kServerPort, fields.port);
    place_text(record, kTime, fields.time);
    place_text(record, kType, fields.type);
    place_text(record, kStatus, fields.status);
    return record;
}

std::int32_t record_command(const std::string& record) {
    std::uint32_t bits = 0;
    for (std::size_t i = 0; i < 4 && i < record.size(); ++i) {
        bits |= static_cast<std::uint32_t>(static_cast<unsigned char>(record[i])) << (8 * i);
    }
    return static_cast<std::int32_t>(bits);
}

std::string record_domain(const std::string& record) {
    if (record.size() <= kDeviceDomain.offset) {
        return "";
    }
    const std::string field = record.substr(kDeviceDomain.offset, kDeviceDomain.width);
    return field.substr(0, field.find('\0'));
}

RawClient::RawClient(const std::string& address, int port) {
    sockaddr_in where{};
    where.sin_family = AF_INET;
    inet_pton(AF_INET, address.c_str(), &where.sin_addr);
    sockaddr_in from = where;
    where.sin_port = htons(static_cast<std::uint16_t>(port));
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
    std::array<char, 8192> buffer{};
    while (true) {
        pollfd readable{fd_, POLLIN, 0};
        if (poll(&readable, 1, milliseconds_left(deadline)) != 1) {
            return std::nullopt;
        }
        const ssize_t count = recv(fd_, buffer.data(), buffer.size(), 0);
        if (count <= 0) {
            return received;
        }
        received.append(buffer.data(), static_cast<std::size_t>(count));
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
    ProcessResult result;
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
    result.finished = done == 0 ? false : WIFEXITED(status);
    result.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.out = read_all(out_);
    result.err = read_all(err_);
    return result;
}

ProcessResult run_process(const std::vector<std::string>& argv, std::chrono::milliseconds limit) {
    ChildProcess child(argv);
    return child.wait(limit);
}

bool wait_until_listening(const std::string& address, int port, std::chrono::milliseconds limit) {
    const Clock::time_point deadline = Clock::now() + limit;
    while (Clock::now() < deadline) {
        sockaddr_in where{};
        where.sin_family = AF_INET;
        where.sin_port = htons(static_cast<std::uint16_t>(port));
        inet_pton(AF_INET, address.c_str(), &where.sin_addr);
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

// What the server tests share: the device's side of both channels built
// independently of the server, a raw loopback client and a bounded child-process runner.
#ifndef OZU_SERVER_TEST_SUPPORT_H
#define OZU_SERVER_TEST_SUPPORT_H

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "reference_server.h"

namespace server_test {

// The configured key text, handed to the tests as a definition: the server rebuilds it, the tests do not.
std::string configured_key();

// The device's ciphertext text: the key in both slots, triple DES over any length.
std::string encipher(const std::string& text);

// The device's HTTP request for target ("/path?query"), byte for byte.
std::string device_request(const std::string& target, const std::string& host);

struct RecordFields {
    std::int32_t command = 101;
    std::string serial = "SN1";
    std::string ip = "192.168.1.64";
    std::string mac = "00:11:22:33:44:55";
    std::string device_id = "0x7";
    std::string domain = "SN1.diy";
    std::string port = "80";
    std::string time = "1700000000";
    std::string type = "DDNS";
    std::string status = "online";
};

// A 432-byte record as the device sends it: serial, ip, mac and device id enciphered.
std::string device_record(const RecordFields& fields = {});

// A 432-byte reply holding only the command code and the domain text.
std::string reply_record(std::int32_t command, const std::string& domain);

// Both listeners on address at the tests' fixed ports.
ozu_ref::ServerConfig loopback_config(const std::string& address, ozu_ref::Fault fault = ozu_ref::Fault::None);

class RawClient {
public:
    // Connects from `address` itself, so the server sees it as the peer address.
    RawClient(const std::string& address, int port);
    ~RawClient();
    RawClient(const RawClient&) = delete;
    RawClient& operator=(const RawClient&) = delete;

    bool connected() const { return fd_ >= 0; }
    void send_bytes(const std::string& bytes);
    void finish_sending();
    // One receive as soon as data or the end arrives; nullopt when nothing came in time.
    std::optional<std::string> receive_once(std::chrono::milliseconds limit);
    // Everything up to the peer's close; nullopt when it did not close in time.
    std::optional<std::string> receive_until_closed(std::chrono::milliseconds limit);

private:
    int fd_ = -1;
};

struct ProcessResult {
    bool finished = false;  // false: killed after the time limit
    int exit_code = -1;
    std::string out;
    std::string err;
};

class ChildProcess {
public:
    explicit ChildProcess(const std::vector<std::string>& argv);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    void signal(int number);
    // Waits for the exit, killing the child after the limit.
    ProcessResult wait(std::chrono::milliseconds limit);

private:
    pid_t pid_ = -1;
    std::FILE* out_ = nullptr;
    std::FILE* err_ = nullptr;
};

ProcessResult run_process(const std::vector<std::string>& argv, std::chrono::milliseconds limit);

struct BadOptions {
    std::vector<std::string> arguments;
    std::string message;
};

// Each case exits with 2 and "<name>: <message>\nusage: ..." on stderr alone.
void expect_refusals(const std::string& program, const std::string& name, const std::vector<BadOptions>& cases);

// Tries to connect until the listener answers or the limit passes.
bool wait_until_listening(const std::string& address, int port, std::chrono::milliseconds limit);

// The text written to stdout while action runs.
std::string captured_stdout(const std::function<void()>& action);

}  // namespace server_test

#endif

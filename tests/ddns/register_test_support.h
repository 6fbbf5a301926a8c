// Shared pieces of the register-channel and background-thread tests: the reference server,
// record fields and a host configuration file.
#ifndef OZU_TESTS_REGISTER_TEST_SUPPORT_H
#define OZU_TESTS_REGISTER_TEST_SUPPORT_H

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "ddns/device_msg.h"
#include "ddns/ozu_dnsupdate.h"
#include "reference_server.h"
#include "support/loopback_addresses.h"
#include "support/output_capture.h"

namespace register_test {

inline constexpr const char* kHostConfigCommand =
    "cat /usr/local/etc/Tams.cfg | grep 'DIYDDNSServer' | cut -d '=' -f2";

inline std::unique_ptr<ozu_ref::ReferenceServer> start_server(const std::string& address,
                                                              ozu_ref::Fault fault = ozu_ref::Fault::None,
                                                              int http_port = 0) {
    ozu_ref::ServerConfig config;
    config.address = address;
    config.register_port = 8879;
    config.http_port = http_port;
    config.fault = fault;
    auto server = std::make_unique<ozu_ref::ReferenceServer>(config);
    std::string error;
    if (server->start(&error)) return server;
    ADD_FAILURE() << "reference server on " << address << ": " << error;
    return nullptr;
}

inline std::vector<ozu_ref::Exchange> register_exchanges(const ozu_ref::ReferenceServer& server) {
    std::vector<ozu_ref::Exchange> found;
    for (const ozu_ref::Exchange& exchange : server.exchanges()) {
        if (exchange.channel == "register") found.push_back(exchange);
    }
    return found;
}

struct CapturedRun {
    int result;
    std::string out;
    std::string err;
    bool operator==(const CapturedRun& other) const {
        return result == other.result && out == other.out && err == other.err;
    }
};

inline void PrintTo(const CapturedRun& run, std::ostream* stream) {
    *stream << "{" << run.result << ", out: " << ::testing::PrintToString(run.out)
            << ", err: " << ::testing::PrintToString(run.err) << "}";
}

// The result of `call` and what it printed on each stream.
template <typename Call>
CapturedRun run_captured(Call call) {
    ozu_test::OutputCapture capture;
    const int result = call();
    ozu_test::CapturedOutput output = capture.finish();
    return CapturedRun{result, std::move(output.out), std::move(output.err)};
}

// A received record as a DeviceMsg; bytes that did not arrive stay zero.
inline DeviceMsg as_record(const char* bytes, std::size_t size = sizeof(DeviceMsg)) {
    DeviceMsg record{};
    std::memcpy(&record, bytes, std::min(size, sizeof record));
    return record;
}

inline DeviceMsg as_record(const std::string& raw) {
    return as_record(raw.data(), raw.size());
}

// "<command> <status>" of each register exchange, e.g. "102 offline".
inline std::vector<std::string> reports_of(const ozu_ref::ReferenceServer& server) {
    std::vector<std::string> reports;
    for (const ozu_ref::Exchange& exchange : register_exchanges(server)) {
        const DeviceMsg record = as_record(exchange.raw);
        reports.push_back(std::to_string(device_msg::load_le32(record.nCommand)) + " " +
                          device_msg::field_text(record.szStatus));
    }
    return reports;
}

// The field's bytes after its text, which must all be zero.
template <std::size_t N>
bool zero_after_text(const std::array<char, N>& field) {
    return std::all_of(field.begin() + device_msg::field_text(field).size(), field.end(),
                       [](char byte) { return byte == '\0'; });
}

template <std::size_t N>
bool all_zero(const std::array<char, N>& field) {
    return device_msg::field_text(field).empty() && zero_after_text(field);
}

// The name the client has learned, waiting up to five seconds for one.
inline std::string wait_for_domain_name() {
    char name[256] = {};
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (ozu_dnsupdate_get_domainname(name) != 0 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return name;
}

// Writes a host configuration file in a fresh temporary directory and removes both.
class TempConfigFile {
public:
    explicit TempConfigFile(const std::string& content) {
        char directory[] = "/tmp/ozu_register_config_XXXXXX";
        directory_ = mkdtemp(directory);
        FILE* file = std::fopen(path().c_str(), "w");
        std::fputs(content.c_str(), file);
        std::fclose(file);
    }
    ~TempConfigFile() {
        unlink(path().c_str());
        rmdir(directory_.c_str());
    }
    TempConfigFile(const TempConfigFile&) = delete;
    TempConfigFile& operator=(const TempConfigFile&) = delete;

    std::string path() const { return directory_ + "/Tams.cfg"; }
    std::string command() const { return "cat " + path() + " | grep 'DIYDDNSServer' | cut -d '=' -f2"; }

private:
    std::string directory_;
};

}  // namespace register_test

#endif

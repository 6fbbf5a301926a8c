// Shared pieces of the register-channel and background-thread tests: the reference server,
// record fields and a host configuration file.
#ifndef OZU_TESTS_REGISTER_TEST_SUPPORT_H
#define OZU_TESTS_REGISTER_TEST_SUPPORT_H

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "ddns/device_msg.h"
#include "reference_server.h"
#include "support/loopback_addresses.h"

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
    if (!server->start(&error)) {
        ADD_FAILURE() << "reference server on " << address << ": " << error;
        return nullptr;
    }
    return server;
}

inline std::vector<ozu_ref::Exchange> register_exchanges(const ozu_ref::ReferenceServer& server) {
    std::vector<ozu_ref::Exchange> found;
    for (const ozu_ref::Exchange& exchange : server.exchanges()) {
        if (exchange.channel == "register") found.push_back(exchange);
    }
    return found;
}

// A received record as a DeviceMsg; bytes that did not arrive stay zero.
inline DeviceMsg as_record(const std::string& raw) {
    DeviceMsg record{};
    std::memcpy(&record, raw.data(), std::min(raw.size(), sizeof record));
    return record;
}

inline DeviceMsg as_record(const char* bytes) {
    DeviceMsg record{};
    std::memcpy(&record, bytes, sizeof record);
    return record;
}

inline std::int32_t command_of(const ozu_ref::Exchange& exchange) {
    return device_msg::load_le32(as_record(exchange.raw).nCommand);
}

inline std::string status_of(const ozu_ref::Exchange& exchange) {
    return device_msg::field_text(as_record(exchange.raw).szStatus);
}

// The field's bytes after its text, which must all be zero.
template <std::size_t N>
bool zero_after_text(const std::array<char, N>& field) {
    const std::size_t length = device_msg::field_text(field).size();
    for (std::size_t i = length; i < N; ++i) {
        if (field[i] != '\0') return false;
    }
    return true;
}

template <std::size_t N>
bool all_zero(const std::array<char, N>& field) {
    return device_msg::field_text(field).empty() && zero_after_text(field);
}

inline bool is_lower_hex(const std::string& text) {
    return text.find_first_not_of("0123456789abcdef") == std::string::npos;
}

// Writes a host configuration file in a fresh temporary directory and removes both.
class TempConfigFile {
public:
    explicit TempConfigFile(const std::string& content) {
        char directory[] = "/tmp/ozu_register_config_XXXXXX";
        directory_ = mkdtemp(directory);
        path_ = directory_ + "/Tams.cfg";
        FILE* file = std::fopen(path_.c_str(), "w");
        std::fputs(content.c_str(), file);
        std::fclose(file);
    }
    ~TempConfigFile() {
        unlink(path_.c_str());
        rmdir(directory_.c_str());
    }
    TempConfigFile(const TempConfigFile&) = delete;
    TempConfigFile& operator=(const TempConfigFile&) = delete;

    const std::string& path() const { return path_; }
    std::string command() const { return "cat " + path_ + " | grep 'DIYDDNSServer' | cut -d '=' -f2"; }

private:
    std::string directory_;
    std::string path_;
};

}  // namespace register_test

#endif

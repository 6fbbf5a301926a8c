// Shared pieces of the register-channel and background-thread tests: their loopback
// addresses, the reference server, record fields and a host configuration file.
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

namespace register_test {

// Every test that opens the register channel (fixed port 8879) has an address of its own
// in 127.0.0.200-254, so tests running in parallel never meet.
namespace address {
inline constexpr const char* kStartRecord = "127.0.0.200";
inline constexpr const char* kDomainRecord = "127.0.0.201";
inline constexpr const char* kLearnName = "127.0.0.202";
inline constexpr const char* kRefused = "127.0.0.203";
inline constexpr const char* kConnectRefused = "127.0.0.205";
inline constexpr const char* kForgetName = "127.0.0.206";
inline constexpr const char* kCloseWithoutAnswer = "127.0.0.207";
inline constexpr const char* kHttpNameThenRegister = "127.0.0.208";
inline constexpr const char* kSplitReply = "127.0.0.209";
inline constexpr const char* kNameMissing = "127.0.0.210";
inline constexpr const char* kDiyServerDomain = "127.0.0.211";
inline constexpr const char* kLoneDotDomain = "127.0.0.212";
inline constexpr const char* kWriteWaitStall = "127.0.0.213";
inline constexpr const char* kReadTimeoutShort = "127.0.0.214";
inline constexpr const char* kReadTimeoutSlow = "127.0.0.215";
inline constexpr const char* kUpdateRecord = "127.0.0.216";
inline constexpr const char* kNoSerial = "127.0.0.217";
inline constexpr const char* kOpenChannel = "127.0.0.218";
inline constexpr const char* kSendFails = "127.0.0.219";
inline constexpr const char* kUpdateRefused = "127.0.0.220";
inline constexpr const char* kExchangeRefused = "127.0.0.221";
inline constexpr const char* kStartStop = "127.0.0.230";
inline constexpr const char* kStartTwice = "127.0.0.231";
inline constexpr const char* kStopWithoutWorker = "127.0.0.232";
inline constexpr const char* kPausedBeforeStart = "127.0.0.233";
inline constexpr const char* kSecondWorker = "127.0.0.234";
inline constexpr const char* kDomainThread = "127.0.0.235";
inline constexpr const char* kStartThenStop = "127.0.0.236";
inline constexpr const char* kCadence = "127.0.0.240";
inline constexpr const char* kPauseResume = "127.0.0.241";
inline constexpr const char* kDomainThreadRetry = "127.0.0.242";
}  // namespace address

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

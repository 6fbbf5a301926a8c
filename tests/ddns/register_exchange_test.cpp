// The register exchange and its record transfer, driven through the channel's own functions
// against the reference server and plain loopback sockets. Opening failures and name
// bookkeeping are checked through my_update in register_channel_test.cpp.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <memory>
#include <string>

#include "ddns/device_record.h"
#include "ddns/ozu_dnsupdate.h"
#include "ddns/register_channel.h"
#include "ddns/request_encryption.h"
#include "register_test_support.h"
#include "support/clogged_connection.h"

namespace {

using namespace std::chrono_literals;
using register_test::CapturedRun;
using register_test::register_exchanges;
using register_test::run_captured;
using register_test::start_server;

const char* g_server_address = nullptr;
std::string g_config_command;

int read_test_config(char* buffer, int capacity) {
    return ozu::ddns::read_diy_ddns_server(g_config_command.c_str(), buffer, capacity);
}

char* build_test_record(int command, char* status) {
    const ozu::ddns::DeviceSettings settings{"10.1.2.3", "00:11:22:33:44:55", "SN1", 0x7, 8080};
    return ozu::ddns::build_device_record(command, status, settings, read_test_config, EncryptString);
}

int open_test_channel() {
    return ozu::ddns::open_register_channel(g_server_address, GetHostName);
}

CapturedRun run_exchange(const char* address, int command, char** device_name) {
    g_server_address = address;
    char online[] = "online";
    const ozu::ddns::RegisterState state{"SN1", address, device_name};
    return run_captured([&] {
        return ozu::ddns::run_register_exchange(command, online, {build_test_record, open_test_channel}, state);
    });
}

struct DomainCase {
    const char* address;
    const char* config;
    int command;
    const char* domain;
    const char* entry_read;  // stdout of the configuration read after the echoed command
};

TEST(RegisterExchange, DomainIsSerialDotDiyServerFromTheConfigurationFile) {
    const DomainCase cases[] = {
        {ozu_test::address::kRegisterDiyServerDomain, "DIYDDNSServer=diy.example.net\n", DDNS_CMD_START,
         "SN1.diy.example.net", ""},
        {ozu_test::address::kRegisterLoneDotDomain, "Other=1\n", DDNS_CMD_UPDATE, "SN1.", "EOF!"},
    };
    for (const DomainCase& domain : cases) {
        auto server = start_server(domain.address);
        ASSERT_TRUE(server);
        const register_test::TempConfigFile config(domain.config);
        g_config_command = config.command();
        char* name = nullptr;
        const std::string out = config.command() + domain.entry_read + "qor function(Init_Device_Msg),szDeviceDomain(" +
                                domain.domain + ")!!!\ncommand:(" + std::to_string(domain.command) +
                                ") domain:ddns.test m_pServer:" + domain.address + "\n";
        EXPECT_EQ(run_exchange(domain.address, domain.command, &name), (CapturedRun{0, out, ""}));
        const auto exchanges = register_exchanges(*server);
        ASSERT_EQ(exchanges.size(), 1u);
        EXPECT_EQ(device_msg::field_text(register_test::as_record(exchanges[0].raw).szDeviceDomain), domain.domain);
        EXPECT_EQ(name, nullptr);
    }
}

CapturedRun exchange_record(int socket, std::chrono::milliseconds budget) {
    char online[] = "online";
    const std::unique_ptr<char, decltype(&std::free)> record(build_test_record(DDNS_CMD_GET_DOMAIN, online), std::free);
    ozu::ddns::ExchangeBuffer reply{};
    return run_captured([&] { return ozu::ddns::exchange_device_record(socket, record.get(), reply, budget); });
}

TEST(ExchangeDeviceRecord, SocketThatNeverBecomesWritableTimesOut) {
    ozu_test::CloggedConnection clogged(ozu_test::address::kRegisterWriteWaitStall);
    const ozu::ddns::SocketHandle client = clogged.take_client();
    ASSERT_TRUE(client);
    EXPECT_EQ(exchange_record(client.get(), 300ms), (CapturedRun{-1, "time out\n", ""}));
}

TEST(ExchangeDeviceRecord, ServerThatNeverAnswersTimesOutOnStandardError) {
    auto server = start_server(ozu_test::address::kRegisterReadTimeoutShort, ozu_ref::Fault::Stall);
    ASSERT_TRUE(server);
    const int socket = ozu::ddns::open_register_channel(ozu_test::address::kRegisterReadTimeoutShort, GetHostName);
    ASSERT_GE(socket, 0);
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(exchange_record(socket, 500ms), (CapturedRun{-1, "", "timeout\n"}));
    EXPECT_LT(std::chrono::steady_clock::now() - started, 5s);
    close(socket);
}

TEST(ExchangeDeviceRecord, FailedSendEndsTheExchangeBeforeTheReceive) {
    auto server = start_server(ozu_test::address::kRegisterSendFails);
    ASSERT_TRUE(server);
    const int socket = ozu::ddns::open_register_channel(ozu_test::address::kRegisterSendFails, GetHostName);
    ASSERT_GE(socket, 0);
    shutdown(socket, SHUT_WR);
    EXPECT_EQ(exchange_record(socket, 2000ms), (CapturedRun{-1, "error send()ing request:Broken pipe\n", ""}));
    close(socket);
}

TEST(ExchangeDeviceRecord, BrokenDescriptorReportsTheWaitError) {
    constexpr int kNeverOpened = 999;
    ASSERT_EQ(fcntl(kNeverOpened, F_GETFD), -1);
    const CapturedRun run = exchange_record(kNeverOpened, 1000ms);
    EXPECT_EQ(run.result, -1);
    EXPECT_EQ(run.out, "select error:Bad file descriptor\n");
}

}  // namespace

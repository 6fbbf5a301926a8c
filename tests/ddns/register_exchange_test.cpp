// Opening the register channel and exchanging one record, driven through the channel's own
// functions against the reference server and plain loopback sockets.
#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
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
#include "support/output_capture.h"

namespace {

using namespace std::chrono_literals;
using register_test::register_exchanges;
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

// The reference server on `address`, where the test channel opens.
std::unique_ptr<ozu_ref::ReferenceServer> serve_channel(const char* address) {
    g_server_address = address;
    return start_server(address);
}

int open_test_channel() {
    return ozu::ddns::open_register_channel(g_server_address, GetHostName);
}

struct ExchangeRun {
    int result;
    std::string out;
    std::string err;
};

ExchangeRun run_exchange(int command, char* status, char** device_name) {
    ozu_test::OutputCapture capture;
    const ozu::ddns::RegisterState state{"SN1", g_server_address, device_name};
    const int result = ozu::ddns::run_register_exchange(command, status, {build_test_record, open_test_channel}, state);
    const ozu_test::CapturedOutput output = capture.finish();
    return ExchangeRun{result, output.out, output.err};
}

std::string logged_domain(const ozu_ref::Exchange& exchange) {
    return device_msg::field_text(register_test::as_record(exchange.raw).szDeviceDomain);
}

TEST(RegisterExchange, DomainIsSerialDotDiyServerFromTheConfigurationFile) {
    auto server = serve_channel(ozu_test::address::kRegisterDiyServerDomain);
    ASSERT_TRUE(server);
    const register_test::TempConfigFile config("DIYDDNSServer=diy.example.net\n");
    g_config_command = config.command();
    char online[] = "online";
    char* name = nullptr;
    const ExchangeRun run = run_exchange(DDNS_CMD_START, online, &name);
    EXPECT_EQ(run.result, 0);
    const auto exchanges = register_exchanges(*server);
    ASSERT_EQ(exchanges.size(), 1u);
    EXPECT_EQ(logged_domain(exchanges[0]), "SN1.diy.example.net");
    EXPECT_EQ(run.out, config.command() + "qor function(Init_Device_Msg),szDeviceDomain(SN1.diy.example.net)!!!\n" +
                           "command:(101) domain:ddns.test m_pServer:127.0.0.211\n");
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(name, nullptr);
}

TEST(RegisterExchange, WithoutTheEntryTheDomainIsSerialAndALoneDot) {
    auto server = serve_channel(ozu_test::address::kRegisterLoneDotDomain);
    ASSERT_TRUE(server);
    const register_test::TempConfigFile config("Other=1\n");
    g_config_command = config.command();
    char online[] = "online";
    char* name = nullptr;
    const ExchangeRun run = run_exchange(DDNS_CMD_UPDATE, online, &name);
    EXPECT_EQ(run.result, 0);
    const auto exchanges = register_exchanges(*server);
    ASSERT_EQ(exchanges.size(), 1u);
    EXPECT_EQ(logged_domain(exchanges[0]), "SN1.");
    EXPECT_EQ(run.out, config.command() + "EOF!qor function(Init_Device_Msg),szDeviceDomain(SN1.)!!!\n" +
                           "command:(102) domain:ddns.test m_pServer:127.0.0.212\n");
}

TEST(RegisterExchange, DomainReplyReplacesAShorterNameWithAFreshBuffer) {
    auto server = serve_channel(ozu_test::address::kRegisterLearnName);
    ASSERT_TRUE(server);
    char* name = strdup("a.b");  // an exact-size name as the HTTP lookups keep it
    char online[] = "online";
    const ExchangeRun run = run_exchange(DDNS_CMD_GET_DOMAIN, online, &name);
    EXPECT_EQ(run.result, 0);
    ASSERT_NE(name, nullptr);
    EXPECT_STREQ(name, "SN1.ddns.test");
    name[127] = '\0';  // the buffer holds 128 bytes (AddressSanitizer checks)
    EXPECT_EQ(run.out, "");
    std::free(name);
}

TEST(RegisterExchange, ChannelThatCannotBeOpenedForgetsTheName) {
    g_server_address = ozu_test::address::kRegisterExchangeRefused;
    char* name = strdup("SN1.ddns.test");
    char online[] = "online";
    const ExchangeRun run = run_exchange(DDNS_CMD_GET_DOMAIN, online, &name);
    EXPECT_EQ(run.result, -1);
    EXPECT_EQ(name, nullptr);
    EXPECT_EQ(run.err, "connect: Connection refused\nmy_update: Connection refused\n");
}

int resolve_nothing(const char*, std::uint32_t*) {
    return -1;
}

TEST(OpenRegisterChannel, UnresolvedServerPrintsTheZeroAddress) {
    ozu_test::OutputCapture capture;
    EXPECT_EQ(ozu::ddns::open_register_channel("ddns.unresolved", resolve_nothing), -1);
    const ozu_test::CapturedOutput output = capture.finish();
    EXPECT_EQ(output.out, "ddns.unresolved\t0\t0.0.0.0\t");
    EXPECT_EQ(output.err.rfind("xxxxxxxxxxInitSock: ", 0), 0u) << output.err;
}

TEST(OpenRegisterChannel, AbsentServerFailsLikeAFailedCopy) {
    ozu_test::OutputCapture capture;
    EXPECT_EQ(ozu::ddns::open_register_channel(nullptr, GetHostName), -1);
    const ozu_test::CapturedOutput output = capture.finish();
    EXPECT_EQ(output.out, "");
    EXPECT_EQ(output.err.rfind("strdup failed\n: ", 0), 0u) << output.err;
}

TEST(OpenRegisterChannel, RefusedConnectionPrintsTheAddress) {
    ozu_test::OutputCapture capture;
    EXPECT_EQ(ozu::ddns::open_register_channel(ozu_test::address::kRegisterConnectRefused, GetHostName), -1);
    in_addr address{};
    inet_pton(AF_INET, ozu_test::address::kRegisterConnectRefused, &address);
    const ozu_test::CapturedOutput output = capture.finish();
    EXPECT_EQ(output.out, "127.0.0.205\t" + std::to_string(static_cast<int>(address.s_addr)) + "\t127.0.0.205\n");
    EXPECT_EQ(output.err, "connect: Connection refused\n");
}

TEST(OpenRegisterChannel, ConnectsToPort8879) {
    auto server = start_server(ozu_test::address::kRegisterOpenChannel);
    ASSERT_TRUE(server);
    const int socket = ozu::ddns::open_register_channel(ozu_test::address::kRegisterOpenChannel, GetHostName);
    ASSERT_GE(socket, 0);
    sockaddr_in peer{};
    socklen_t length = sizeof peer;
    ASSERT_EQ(getpeername(socket, reinterpret_cast<sockaddr*>(&peer), &length), 0);
    EXPECT_EQ(ntohs(peer.sin_port), 8879);
    close(socket);
}

struct RecordExchange {
    int result;
    std::string out;
    std::string err;
};

RecordExchange exchange_record(int socket, std::chrono::milliseconds budget) {
    char online[] = "online";
    const std::unique_ptr<char, decltype(&std::free)> record(build_test_record(DDNS_CMD_GET_DOMAIN, online), std::free);
    ozu::ddns::ExchangeBuffer reply{};
    ozu_test::OutputCapture capture;
    const int result = ozu::ddns::exchange_device_record(socket, record.get(), reply, budget);
    const ozu_test::CapturedOutput output = capture.finish();
    return RecordExchange{result, output.out, output.err};
}

TEST(ExchangeDeviceRecord, SocketThatNeverBecomesWritableTimesOut) {
    ozu_test::CloggedConnection clogged(ozu_test::address::kRegisterWriteWaitStall);
    const ozu::ddns::SocketHandle client = clogged.take_client();
    ASSERT_TRUE(client);
    const RecordExchange run = exchange_record(client.get(), 300ms);
    EXPECT_EQ(run.result, -1);
    EXPECT_EQ(run.out, "time out\n");
    EXPECT_EQ(run.err, "");
}

TEST(ExchangeDeviceRecord, ServerThatNeverAnswersTimesOutOnStandardError) {
    auto server = start_server(ozu_test::address::kRegisterReadTimeoutShort, ozu_ref::Fault::Stall);
    ASSERT_TRUE(server);
    const int socket = ozu::ddns::open_register_channel(ozu_test::address::kRegisterReadTimeoutShort, GetHostName);
    ASSERT_GE(socket, 0);
    const auto started = std::chrono::steady_clock::now();
    const RecordExchange run = exchange_record(socket, 500ms);
    EXPECT_LT(std::chrono::steady_clock::now() - started, 5s);
    EXPECT_EQ(run.result, -1);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "timeout\n");
    close(socket);
}

TEST(ExchangeDeviceRecord, FailedSendEndsTheExchangeBeforeTheReceive) {
    auto server = start_server(ozu_test::address::kRegisterSendFails);
    ASSERT_TRUE(server);
    const int socket = ozu::ddns::open_register_channel(ozu_test::address::kRegisterSendFails, GetHostName);
    ASSERT_GE(socket, 0);
    shutdown(socket, SHUT_WR);
    const RecordExchange run = exchange_record(socket, 2000ms);
    EXPECT_EQ(run.result, -1);
    EXPECT_EQ(run.out, "error send()ing request:Broken pipe\n");
    EXPECT_EQ(run.err, "");
    close(socket);
}

TEST(ExchangeDeviceRecord, BrokenDescriptorReportsTheWaitError) {
    constexpr int kNeverOpened = 999;
    ASSERT_EQ(fcntl(kNeverOpened, F_GETFD), -1);
    const RecordExchange run = exchange_record(kNeverOpened, 1000ms);
    EXPECT_EQ(run.result, -1);
    EXPECT_EQ(run.out, "select error:Bad file descriptor\n");
}

}  // namespace

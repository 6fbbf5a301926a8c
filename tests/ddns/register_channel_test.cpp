// The register channel as the library runs it: my_update and its module functions against
// the reference server. Every test runs in its own process with its own loopback address.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <iterator>
#include <string>

#include "ddns/ozu_dnsupdate.h"
#include "ddns/register_module.h"
#include "query_cipher.h"
#include "register_test_support.h"

namespace {

using register_test::as_record;
using register_test::CapturedRun;
using register_test::kHostConfigCommand;
using register_test::register_exchanges;
using register_test::reports_of;
using register_test::run_captured;
using register_test::start_server;

constexpr const char* kSerial = "SN1";
constexpr const char* kMac = "00:11:22:33:44:55";
constexpr const char* kIp = "192.168.1.10";

void init_device(const char* server) {
    ozu_dnsupdate_init_v2(0x1234, server, 8080, kSerial, kMac, kIp, 80, 300);
}

// The reference server on `address`, and the client configured to report to it.
std::unique_ptr<ozu_ref::ReferenceServer> serve_device(const char* address,
                                                       ozu_ref::Fault fault = ozu_ref::Fault::None) {
    auto server = start_server(address, fault);
    init_device(address);
    return server;
}

bool host_config_present() {
    struct stat status {};
    return stat("/usr/local/etc/Tams.cfg", &status) == 0;
}

CapturedRun update(int command, const char* status) {
    std::string status_text(status);
    return run_captured([&] { return my_update(command, status_text.data()); });
}

std::string known_name() {
    char name[256] = {};
    const ozu_test::OutputCapture quiet;
    return ozu_dnsupdate_get_domainname(name) == 0 ? std::string(name) : std::string("<none>");
}

template <std::size_t N>
std::string deciphered(const std::array<char, N>& field) {
    return ozu_ref::decipher_text(device_msg::field_text(field)).value_or("<not a ciphertext>");
}

TEST(MyUpdate, DoesNothingBeforeInitialisation) {
    EXPECT_EQ(update(DDNS_CMD_START, "online"), (CapturedRun{-1, "", ""}));
}

TEST(MyUpdate, StartRecordAsTheServerDecodesIt) {
    auto server = serve_device(ozu_test::address::kChannelStartRecord);
    ASSERT_TRUE(server);
    const CapturedRun run = update(DDNS_CMD_START, "online");
    EXPECT_EQ(run.result, 0);
    const auto exchanges = register_exchanges(*server);
    ASSERT_EQ(exchanges.size(), 1u);
    ASSERT_EQ(exchanges[0].raw.size(), 432u);
    const DeviceMsg record = as_record(exchanges[0].raw);
    EXPECT_EQ(exchanges[0].raw.substr(0, 4), std::string("\x65\0\0\0", 4));
    EXPECT_GT(device_msg::load_le32(record.nSocket), 2);
    EXPECT_EQ(deciphered(record.szSerial), kSerial);
    EXPECT_EQ(deciphered(record.szIpAddress), kIp);
    EXPECT_EQ(deciphered(record.szMac), kMac);
    EXPECT_EQ(deciphered(record.szDeviceID), "0x1234");
    // The connection went to 8879; the record carries the HTTP port of the server.
    EXPECT_EQ(device_msg::field_text(record.szServerPort), "8080");
    if (host_config_present()) GTEST_SKIP() << "this host has its own /usr/local/etc/Tams.cfg";
    EXPECT_EQ(device_msg::field_text(record.szDeviceDomain), "SN1.");
    EXPECT_EQ(run.out, std::string(kHostConfigCommand) + "EOF!" +
                           "qor function(Init_Device_Msg),szDeviceDomain(SN1.)!!!\n" +
                           "command:(101) domain:ddns.test m_pServer:127.0.0.200\n");
}

TEST(MyUpdate, OfflineReportIsAnUpdateRecord) {
    auto server = serve_device(ozu_test::address::kChannelUpdateRecord);
    ASSERT_TRUE(server);
    EXPECT_EQ(update(DDNS_CMD_UPDATE, "offline").result, 0);
    EXPECT_EQ(reports_of(*server), std::vector<std::string>{"102 offline"});
    EXPECT_EQ(server->device_status(kSerial), "offline");
}

TEST(MyUpdate, DomainQueryLearnsSerialDotDomain) {
    auto server = serve_device(ozu_test::address::kChannelDomainRecord);
    ASSERT_TRUE(server);
    EXPECT_EQ(update(DDNS_CMD_GET_DOMAIN, "online"), (CapturedRun{0, "", ""}));
    const auto exchanges = register_exchanges(*server);
    ASSERT_EQ(exchanges.size(), 1u);
    const DeviceMsg record = as_record(exchanges[0].raw);
    EXPECT_EQ(exchanges[0].raw.substr(0, 4), std::string("\x67\0\0\0", 4));
    EXPECT_TRUE(register_test::all_zero(record.szTime));
    EXPECT_TRUE(register_test::all_zero(record.szDeviceDomain));
    EXPECT_EQ(deciphered(record.szSerial), kSerial);
    EXPECT_EQ(known_name(), "SN1.ddns.test");
}

TEST(MyUpdate, ReplyWithoutDomainFailsWithTheRequestCode) {
    auto server = serve_device(ozu_test::address::kChannelRefused, ozu_ref::Fault::NotOk);
    ASSERT_TRUE(server);
    const CapturedRun run = update(DDNS_CMD_UPDATE, "online");
    EXPECT_EQ(run.result, -1);
    ASSERT_GE(run.out.size(), 11u);
    EXPECT_EQ(run.out.substr(run.out.size() - 11), "102,failed\n");
    EXPECT_EQ(run.out.find("command:"), std::string::npos);
}

// A domain query whose reply lacks the domain, arrives cut short or never comes learns nothing.
CapturedRun expect_domain_query_learns_nothing(const char* address, ozu_ref::Fault fault) {
    auto server = serve_device(address, fault);
    EXPECT_TRUE(server);
    const CapturedRun run = update(DDNS_CMD_GET_DOMAIN, "online");
    EXPECT_EQ(run.result, -1);
    EXPECT_EQ(known_name(), "<none>");
    return run;
}

TEST(MyUpdate, DomainReplyWithoutDomainFailsSilentlyAndLearnsNothing) {
    EXPECT_EQ(expect_domain_query_learns_nothing(ozu_test::address::kChannelNameMissing, ozu_ref::Fault::NotOk),
              (CapturedRun{-1, "", ""}));
}

TEST(MyUpdate, ReplyWhoseDomainArrivesLateIsShort) {
    expect_domain_query_learns_nothing(ozu_test::address::kChannelSplitReply, ozu_ref::Fault::SplitReply);
}

TEST(MyUpdate, ServerClosingWithoutAnswerIsReportedOnStandardError) {
    EXPECT_EQ(expect_domain_query_learns_nothing(ozu_test::address::kChannelCloseWithoutAnswer,
                                                 ozu_ref::Fault::CloseWithoutAnswer),
              (CapturedRun{-1, "", "error recv()ing reply: Success\n"}));
}

TEST(MyUpdate, RefusedConnectionIsReportedOnBothStreams) {
    init_device(ozu_test::address::kChannelUpdateRefused);
    in_addr address{};
    inet_pton(AF_INET, ozu_test::address::kChannelUpdateRefused, &address);
    const std::string out = "127.0.0.220\t" + std::to_string(static_cast<int>(address.s_addr)) + "\t127.0.0.220\n";
    EXPECT_EQ(update(DDNS_CMD_GET_DOMAIN, "online"),
              (CapturedRun{-1, out, "connect: Connection refused\nmy_update: Connection refused\n"}));
}

TEST(MyUpdate, UnreachableServerForgetsALearnedName) {
    auto server = serve_device(ozu_test::address::kChannelForgetName);
    ASSERT_TRUE(server);
    ASSERT_EQ(update(DDNS_CMD_GET_DOMAIN, "online").result, 0);
    ASSERT_EQ(known_name(), "SN1.ddns.test");
    server->stop();
    EXPECT_EQ(update(DDNS_CMD_GET_DOMAIN, "online").result, -1);
    EXPECT_EQ(known_name(), "<none>");
}

TEST(MyUpdate, NameLearnedOverHttpIsReplacedWithoutOverflow) {
    auto server = start_server(ozu_test::address::kChannelHttpNameThenRegister, ozu_ref::Fault::None, 8080);
    ASSERT_TRUE(server);
    server->set_domain(kSerial, "a");
    init_device(ozu_test::address::kChannelHttpNameThenRegister);
    char name[128] = {};
    ASSERT_EQ(ozu_dnsupdate_getname(name, sizeof name), 0);
    ASSERT_STREQ(name, "a.ddns.test");
    EXPECT_EQ(update(DDNS_CMD_GET_DOMAIN, "online").result, 0);
    EXPECT_EQ(known_name(), "SN1.ddns.test");
}

void expect_failed_open(const CapturedRun& run, const char* out, const char* error) {
    EXPECT_EQ(run.result, -1);
    EXPECT_EQ(run.out, out);
    EXPECT_EQ(run.err.rfind(error, 0), 0u) << run.err;
    EXPECT_NE(run.err.find("\nmy_update: "), std::string::npos) << run.err;
}

TEST(MyUpdate, UnresolvedServerPrintsTheZeroAddress) {
    init_device("");
    expect_failed_open(update(DDNS_CMD_GET_DOMAIN, "online"), "\t0\t0.0.0.0\t", "xxxxxxxxxxInitSock: ");
}

TEST(MyUpdate, NoServerConfiguredFailsToOpenTheChannel) {
    ozu_dnsupdate_init(nullptr, 80, kMac, kIp, 300);
    expect_failed_open(update(DDNS_CMD_GET_DOMAIN, "online"), "", "strdup failed\n: ");
}

TEST(MyUpdate, NoIpAddressBuildsNoRecord) {
    ozu_dnsupdate_init("127.0.0.1", 80, kMac, nullptr, 300);
    const CapturedRun run = update(DDNS_CMD_START, "online");
    EXPECT_EQ(run.result, -1);
    EXPECT_EQ(run.out, "pdeviceMsg is null\n");
    EXPECT_EQ(run.err.rfind("DNS server or MAC is null\n: ", 0), 0u) << run.err;
}

TEST(MyUpdate, EmptyIpAddressBuildsNoRecordSilently) {
    ozu_dnsupdate_init("127.0.0.1", 80, kMac, "", 300);
    EXPECT_EQ(update(DDNS_CMD_START, "online"), (CapturedRun{-1, "pdeviceMsg is null\n", ""}));
}

TEST(MyUpdate, WithoutSerialTheRecordCarriesTheEmptySerial) {
    auto server = start_server(ozu_test::address::kChannelNoSerial);
    ASSERT_TRUE(server);
    ozu_dnsupdate_init_v1(0x7, ozu_test::address::kChannelNoSerial, 8080, kMac, kIp, 80, 300);
    const CapturedRun run = update(DDNS_CMD_START, "online");
    const auto exchanges = register_exchanges(*server);
    ASSERT_EQ(exchanges.size(), 1u);
    const DeviceMsg record = as_record(exchanges[0].raw);
    EXPECT_EQ(deciphered(record.szSerial), "");
    EXPECT_EQ(deciphered(record.szDeviceID), "0x7");
    if (host_config_present()) GTEST_SKIP() << "this host has its own /usr/local/etc/Tams.cfg";
    EXPECT_EQ(device_msg::field_text(record.szDeviceDomain), ".");
    // The server names no device without a serial.
    EXPECT_EQ(run.result, -1);
    EXPECT_EQ(run.out.substr(run.out.size() - 11), "101,failed\n");
}

TEST(DiyServerCommand, EchoesTheHostConfigurationCommandAndRefusesABufferOf15) {
    char buffer[128] = {};
    const CapturedRun run = run_captured([&] { return DDNS_GetDIYDDNSServer(buffer, sizeof buffer); });
    EXPECT_EQ(run.out.rfind(kHostConfigCommand, 0), 0u) << run.out;
    char small[15] = {};
    EXPECT_EQ(run_captured([&] { return DDNS_GetDIYDDNSServer(small, sizeof small); }),
              (CapturedRun{-1, "Param ERROR!", ""}));
}

TEST(DiyServerCommand, ShippedLibraryHoldsTheExactCommand) {
#if OZU_HOST_CONFIG_IS_DEFAULT
    std::ifstream library(OZU_LIBRARY_FILE, std::ios::binary);
    ASSERT_TRUE(library);
    const std::string bytes((std::istreambuf_iterator<char>(library)), std::istreambuf_iterator<char>());
    EXPECT_NE(bytes.find(std::string(kHostConfigCommand) + '\0'), std::string::npos);
#else
    GTEST_SKIP() << "built with another OZU_HOST_CONFIG_FILE";
#endif
}

}  // namespace

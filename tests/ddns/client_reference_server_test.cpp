// The client against the project's reference server, in process: the server understands every
// request form (it deciphers the queries with the same key), the client understands every reply
// form, and the server's fault modes make the client fail.
#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <string>

#include "ddns/ozu_dnsupdate.h"
#include "reference_server.h"
#include "support/client_calls.h"
#include "support/loopback_addresses.h"
#include "support/output_capture.h"

namespace {

using namespace ozu_test;

const std::string kDomain = "cam1.ddns.test";

std::unique_ptr<ozu_ref::ReferenceServer> start_server(const char* server)
{
    auto started = std::make_unique<ozu_ref::ReferenceServer>(
        ozu_ref::ServerConfig{server, kReferenceHttpPort, 0, "ddns.test", ozu_ref::Fault::None});
    std::string error;
    EXPECT_TRUE(started->start(&error)) << error;
    started->set_domain(kMac, "cam1");
    started->set_domain("SN1", "cam1");
    return started;
}

bool contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

// A lookup, an online and an offline update; each query as the server logged it.
struct InterfaceCase {
    const char* name;
    const char* server;
    std::function<void(const char* server)> init;
    std::array<std::string, 3> logged;
};

class ReferenceServer : public testing::TestWithParam<InterfaceCase> {};

TEST_P(ReferenceServer, UnderstandsTheClientAndIsUnderstood)
{
    const InterfaceCase& test = GetParam();
    const auto server = start_server(test.server);
    test.init(test.server);

    OutputCapture capture;
    std::array<char, 128> name{};
    EXPECT_EQ(ozu_dnsupdate_getname(name.data(), name.size()), 0);
    EXPECT_EQ(std::string(name.data()), kDomain);
    EXPECT_EQ(ozu_dnsupdate_once(0), 0);
    EXPECT_EQ(ozu_dnsupdate_once(1), 0);
    capture.finish();

    const std::vector<ozu_ref::Exchange> exchanges = server->exchanges();
    ASSERT_EQ(exchanges.size(), 3U);
    for (std::size_t i = 0; i < exchanges.size(); ++i) {
        EXPECT_EQ(exchanges[i].channel, "http");
        EXPECT_TRUE(contains(exchanges[i].log_line, test.logged[i])) << exchanges[i].log_line;
    }
    EXPECT_EQ(cached_domain_name(), kDomain) << "type-2 updates leave the learned name alone";
}

const std::string kRegistrationQuery = "id=SN1&mac=" + kMac + "&port=80&type=0x1a2b";

INSTANTIATE_TEST_SUITE_P(
    Interfaces, ReferenceServer,
    testing::Values(
        InterfaceCase{"Plain", address::kReferencePlain,
                      [](const char* s) { ozu_dnsupdate_init(s, kReferenceHttpPort, kMac.c_str(), kIp.c_str(), 300); },
                      {"type=0 query=\"do=getsilent&mymac=" + kMac + "&\"",
                       "type=0 query=\"mymac=" + kMac + "&myip=" + kIp + "&\"",
                       "type=0 query=\"mymac=" + kMac + "&myip=" + kIp + "&offline=yes\""}},
        InterfaceCase{"Diy", address::kReferenceDiy,
                      [](const char* s) {
                          ozu_dnsupdate_init_v1(7, s, kReferenceHttpPort, kMac.c_str(), kIp.c_str(), 80, 300);
                      },
                      {"type=1 query=\"mymac=" + kMac + "&\"",
                       "type=1 query=\"mymac=" + kMac + "&myip=" + kIp + "&myhttp=80&mytype=7\"",
                       "type=1 query=\"mymac=" + kMac + "&myip=" + kIp + "&offline=yes\""}},
        InterfaceCase{"Registration", address::kReferenceRegistration,
                      [](const char* s) {
                          ozu_dnsupdate_init_v2(0x1a2b, s, kReferenceHttpPort, "SN1", kMac.c_str(), kIp.c_str(), 80,
                                                300);
                      },
                      {"type=2 query=\"" + kRegistrationQuery + "\"",
                       "type=2 query=\"" + kRegistrationQuery + "&status=online\"",
                       "type=2 query=\"" + kRegistrationQuery + "&status=offline\""}}),
    [](const testing::TestParamInfo<InterfaceCase>& info) { return std::string(info.param.name); });

struct FaultCase {
    const char* name;
    const char* server;
    ozu_ref::Fault fault;
};

class ReferenceServerFault : public testing::TestWithParam<FaultCase> {};

TEST_P(ReferenceServerFault, FailsTheUpdateQuietlyAndForgetsTheName)
{
    const auto server = start_server(GetParam().server);
    ozu_dnsupdate_init(GetParam().server, kReferenceHttpPort, kMac.c_str(), kIp.c_str(), 300);
    ASSERT_EQ(ozu_dnsupdate_once(0), 0);
    ASSERT_EQ(cached_domain_name(), kDomain);

    server->set_fault(GetParam().fault);
    EXPECT_EQ(captured_once(0), kQuietFailure);
    EXPECT_EQ(cached_domain_name(), std::nullopt);
}

INSTANTIATE_TEST_SUITE_P(
    Faults, ReferenceServerFault,
    testing::Values(FaultCase{"CloseWithoutAnswer", address::kReferenceCloseWithoutAnswer,
                              ozu_ref::Fault::CloseWithoutAnswer},
                    FaultCase{"NotOk", address::kReferenceNotOk, ozu_ref::Fault::NotOk},
                    FaultCase{"NoMarkers", address::kReferenceNoMarkers, ozu_ref::Fault::NoMarkers},
                    FaultCase{"Oversized", address::kReferenceOversized, ozu_ref::Fault::Oversized},
                    FaultCase{"SplitReply", address::kReferenceSplitReply, ozu_ref::Fault::SplitReply}),
    [](const testing::TestParamInfo<FaultCase>& info) { return std::string(info.param.name); });

}  // namespace

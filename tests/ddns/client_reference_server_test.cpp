// The client against the project's reference server, in process: every request form is
// understood by the server (it deciphers the queries with the same key) and every reply form
// is understood by the client; the server's fault modes make the client fail.
#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <string>

#include "ddns/ozu_dnsupdate.h"
#include "reference_server.h"
#include "support/ciphertext.h"
#include "support/client_calls.h"
#include "support/loopback_addresses.h"
#include "support/output_capture.h"

namespace {

using namespace std::chrono_literals;
using namespace ozu_test;

const std::string kDomain = "cam1.ddns.test";

class ReferenceServer : public testing::Test {
protected:
    void start(const char* server)
    {
        server_ = std::make_unique<ozu_ref::ReferenceServer>(
            ozu_ref::ServerConfig{server, kReferenceHttpPort, 0, "ddns.test", ozu_ref::Fault::None});
        std::string error;
        ASSERT_TRUE(server_->start(&error)) << error;
        server_->set_domain(kMac, "cam1");
        server_->set_domain("SN1", "cam1");
    }

    std::string lookup()
    {
        std::array<char, 128> name{};
        EXPECT_EQ(ozu_dnsupdate_getname(name.data(), name.size()), 0);
        return name.data();
    }

    ozu_ref::Exchange only_exchange() const
    {
        const std::vector<ozu_ref::Exchange> exchanges = server_->exchanges();
        EXPECT_EQ(exchanges.size(), 1U);
        return exchanges.empty() ? ozu_ref::Exchange{} : exchanges.back();
    }

    std::unique_ptr<ozu_ref::ReferenceServer> server_;
};

bool contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

TEST_F(ReferenceServer, PlainUpdateLearnsTheDomain)
{
    const char* server = address::kReferencePlainUpdate;
    start(server);
    ozu_dnsupdate_init(server, kReferenceHttpPort, kMac.c_str(), kIp.c_str(), 300);

    EXPECT_EQ(ozu_dnsupdate_once(0), 0);
    EXPECT_EQ(cached_domain_name(), kDomain);
    const ozu_ref::Exchange exchange = only_exchange();
    EXPECT_EQ(exchange.channel, "http");
    EXPECT_EQ(exchange.raw, "GET /update.php?mymac=" + kMac + "&myip=" + kIp + "&" + request_head(server));
}

TEST_F(ReferenceServer, PlainLookupLearnsTheDomain)
{
    const char* server = address::kReferencePlainLookup;
    start(server);
    ozu_dnsupdate_init(server, kReferenceHttpPort, kMac.c_str(), kIp.c_str(), 300);

    EXPECT_EQ(lookup(), kDomain);
    EXPECT_EQ(only_exchange().raw, "GET /getipbymac.php?do=getsilent&mymac=" + kMac + "&" + request_head(server));
}

TEST_F(ReferenceServer, DiyUpdateIsDecipheredByTheServer)
{
    const char* server = address::kReferenceDiyUpdate;
    start(server);
    ozu_dnsupdate_init_v1(7, server, kReferenceHttpPort, kMac.c_str(), kIp.c_str(), 80, 300);

    OutputCapture capture;
    const int result = ozu_dnsupdate_once(0);
    capture.finish();

    EXPECT_EQ(result, 0);
    EXPECT_EQ(cached_domain_name(), kDomain);
    const std::string query = "mymac=" + kMac + "&myip=" + kIp + "&myhttp=80&mytype=7";
    const ozu_ref::Exchange exchange = only_exchange();
    EXPECT_EQ(exchange.raw, "GET /update.php?value=" + expected_ciphertext(query) + request_head(server));
    EXPECT_TRUE(contains(exchange.log_line, "query=\"" + query + "\"")) << exchange.log_line;
}

TEST_F(ReferenceServer, DiyLookupIsDecipheredByTheServer)
{
    const char* server = address::kReferenceDiyLookup;
    start(server);
    ozu_dnsupdate_init_v1(7, server, kReferenceHttpPort, kMac.c_str(), kIp.c_str(), 80, 300);

    OutputCapture capture;
    const std::string name = lookup();
    capture.finish();

    EXPECT_EQ(name, kDomain);
    EXPECT_TRUE(contains(only_exchange().log_line, "query=\"mymac=" + kMac + "&\"")) << only_exchange().log_line;
}

TEST_F(ReferenceServer, RegistrationLookupAndUpdates)
{
    const char* server = address::kReferenceRegistration;
    start(server);
    ozu_dnsupdate_init_v2(0x1a2b, server, kReferenceHttpPort, "SN1", kMac.c_str(), kIp.c_str(), 80, 300);

    EXPECT_EQ(lookup(), kDomain);
    EXPECT_EQ(ozu_dnsupdate_once(0), 0);
    EXPECT_EQ(ozu_dnsupdate_once(1), 0);

    const std::string query = "id=SN1&mac=" + kMac + "&port=80&type=0x1a2b";
    const std::vector<ozu_ref::Exchange> exchanges = server_->exchanges();
    ASSERT_EQ(exchanges.size(), 3U);
    EXPECT_EQ(exchanges[0].raw,
              "GET /register/devicegetdomain?encrypt=" + expected_ciphertext(query) + request_head(server));
    EXPECT_TRUE(contains(exchanges[1].log_line, "query=\"" + query + "&status=online\"")) << exchanges[1].log_line;
    EXPECT_TRUE(contains(exchanges[2].log_line, "query=\"" + query + "&status=offline\"")) << exchanges[2].log_line;
    EXPECT_EQ(cached_domain_name(), kDomain) << "type-2 updates leave the name alone";
}

struct FaultCase {
    const char* name;
    const char* server;
    ozu_ref::Fault fault;
};

class ReferenceServerFault : public ReferenceServer, public testing::WithParamInterface<FaultCase> {};

TEST_P(ReferenceServerFault, FailsTheUpdateAndForgetsTheName)
{
    start(GetParam().server);
    ozu_dnsupdate_init(GetParam().server, kReferenceHttpPort, kMac.c_str(), kIp.c_str(), 300);
    ASSERT_EQ(ozu_dnsupdate_once(0), 0);
    ASSERT_EQ(cached_domain_name(), kDomain);

    server_->set_fault(GetParam().fault);
    OutputCapture capture;
    const int result = ozu_dnsupdate_once(0);
    const CapturedOutput output = capture.finish();

    EXPECT_EQ(result, -1);
    EXPECT_EQ(cached_domain_name(), std::nullopt);
    EXPECT_EQ(output.out, "");
    EXPECT_EQ(output.err, "");
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

// ozu_dnsupdate_once against scripted loopback peers: exact request bytes for every interface
// type, the reply judgement and what happens to the cached name.
#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <string>

#include "ddns/ozu_dnsupdate.h"
#include "support/ciphertext.h"
#include "support/client_calls.h"
#include "support/loopback_addresses.h"
#include "support/output_capture.h"
#include "support/scripted_peer.h"

namespace {

using namespace std::chrono_literals;
using namespace ozu_test;

std::string update_reply(const std::string& domain)
{
    return kOk + "SUCC:online:" + kIp + ":" + domain;
}

TEST(PlainUpdate, OnlineSendsTheExactRequestAndLearnsTheName)
{
    const char* server = address::kUpdatePlainOnline;
    ScriptedPeer peer(server, {reply_with(update_reply("cam1.ddns.test"))});
    ASSERT_TRUE(peer.listening());
    ozu_dnsupdate_init(server, peer.port(), kMac.c_str(), kIp.c_str(), 300);

    EXPECT_EQ(captured_once(0), (CallOutcome{0, "", ""}));
    ASSERT_EQ(peer.requests().size(), 1U);
    EXPECT_EQ(peer.requests()[0], "GET /update.php?mymac=" + kMac + "&myip=" + kIp + "&" + request_head(server));
    EXPECT_EQ(cached_domain_name(), "cam1.ddns.test");
}

TEST(PlainUpdate, OfflineWithoutIpAddressSendsAnEmptyMyip)
{
    const char* server = address::kUpdatePlainOffline;
    ScriptedPeer peer(server, {reply_with(update_reply("cam1.ddns.test"))});
    ASSERT_TRUE(peer.listening());
    ozu_dnsupdate_init(server, peer.port(), kMac.c_str(), nullptr, 300);

    EXPECT_EQ(ozu_dnsupdate_once(7), 0) << "any non-zero flag means offline";
    ASSERT_EQ(peer.requests().size(), 1U);
    EXPECT_EQ(peer.requests()[0], "GET /update.php?mymac=" + kMac + "&myip=&offline=yes" + request_head(server));
}

TEST(PlainUpdate, ServerPortBelowOneMeansPort80)
{
    const char* server = address::kUpdateDefaultPort;
    ScriptedPeer peer(server, {reply_with(update_reply("cam1.ddns.test"))}, 80);
    if (!peer.listening()) {
        GTEST_SKIP() << "port 80 cannot be bound here";
    }
    ozu_dnsupdate_init(server, 0, kMac.c_str(), kIp.c_str(), 300);

    EXPECT_EQ(ozu_dnsupdate_once(0), 0);
    EXPECT_EQ(peer.requests().size(), 1U);
}

TEST(DiyUpdate, OnlineSendsTheEncryptedQueryAndAnnouncesIt)
{
    const char* server = address::kUpdateDiyOnline;
    ScriptedPeer peer(server, {reply_with(update_reply("cam1.ddns.test"))});
    ASSERT_TRUE(peer.listening());
    ozu_dnsupdate_init_v1(7, server, peer.port(), "A", "B", 0, 300);

    const CallOutcome run = captured_once(0);

    const std::string ciphertext = expected_ciphertext("mymac=A&myip=B&myhttp=80&mytype=7");
    EXPECT_EQ(run.result, 0);
    ASSERT_EQ(peer.requests().size(), 1U);
    EXPECT_EQ(peer.requests()[0], "GET /update.php?value=" + ciphertext + request_head(server));
    EXPECT_EQ(run.out, "DiyDNS Get: /update.php?value=" + ciphertext + "\n");
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(cached_domain_name(), "cam1.ddns.test");
}

TEST(DiyUpdate, OfflineSendsTheEncryptedOfflineQuery)
{
    const char* server = address::kUpdateDiyOffline;
    ScriptedPeer peer(server, {reply_with(update_reply("cam1.ddns.test"))});
    ASSERT_TRUE(peer.listening());
    ozu_dnsupdate_init_v1(7, server, peer.port(), "A", "B", 8080, 300);

    OutputCapture capture;
    EXPECT_EQ(ozu_dnsupdate_once(1), 0);
    capture.finish();

    const std::string ciphertext = expected_ciphertext("mymac=A&myip=B&offline=yes");
    ASSERT_EQ(peer.requests().size(), 1U);
    EXPECT_EQ(peer.requests()[0], "GET /update.php?value=" + ciphertext + request_head(server));
}

TEST(DiyUpdate, QueryOver120CharactersIsNotSentAndTheNameIsForgotten)
{
    const char* server = address::kUpdateDiyTooLong;
    ScriptedPeer peer(server, {reply_with(update_reply("cam1.ddns.test")), close_silently()});
    ASSERT_TRUE(peer.listening());
    ozu_dnsupdate_init_v1(7, server, peer.port(), "A", "B", 80, 300);
    OutputCapture learning;
    ASSERT_EQ(ozu_dnsupdate_once(0), 0);
    learning.finish();
    ASSERT_EQ(cached_domain_name(), "cam1.ddns.test");

    const std::string longMac(100, 'm');
    ozu_dnsupdate_init_v1(7, server, peer.port(), longMac.c_str(), "B", 80, 300);
    EXPECT_EQ(captured_once(0), kQuietFailure) << "nothing was encrypted, so nothing is announced";
    ASSERT_TRUE(peer.wait_for_requests(2, 5s));
    EXPECT_EQ(peer.requests()[1], "") << "the connection closes without a request";
    EXPECT_EQ(cached_domain_name(), std::nullopt);
}

TEST(PlainUpdate, RequestBeyondTheExchangeBufferIsNotSent)
{
    const char* server = address::kUpdatePlainTooLong;
    ScriptedPeer peer(server, {close_silently()});
    ASSERT_TRUE(peer.listening());
    const std::string longMac(2100, 'm');
    ozu_dnsupdate_init(server, peer.port(), longMac.c_str(), kIp.c_str(), 300);

    EXPECT_EQ(captured_once(0), kQuietFailure);
    ASSERT_TRUE(peer.wait_for_requests(1, 5s));
    EXPECT_EQ(peer.requests()[0], "");
}

TEST(RegistrationUpdate, OnlineAndOfflineSendTheQueriesStoredAtInitialisation)
{
    const char* server = address::kUpdateRegistration;
    ScriptedPeer peer(server, {reply_with(kOk + "SUCCESS"), reply_with(kOk + "SUCCESS")});
    ASSERT_TRUE(peer.listening());
    ozu_dnsupdate_init_v2(0x1a2b, server, peer.port(), "SN1", kMac.c_str(), kIp.c_str(), 0, 0);

    OutputCapture capture;
    const int online = ozu_dnsupdate_once(0);
    const int offline = ozu_dnsupdate_once(1);
    const CapturedOutput output = capture.finish();

    EXPECT_EQ(online, 0);
    EXPECT_EQ(offline, 0);
    const std::string query = "id=SN1&mac=" + kMac + "&port=80&type=0x1a2b";
    ASSERT_EQ(peer.requests().size(), 2U);
    EXPECT_EQ(peer.requests()[0], "GET /register/deviceupdate?encrypt=" +
                                      expected_ciphertext(query + "&status=online") + request_head(server));
    EXPECT_EQ(peer.requests()[1], "GET /register/deviceupdate?encrypt=" +
                                      expected_ciphertext(query + "&status=offline") + request_head(server));
    EXPECT_EQ(output.out, "");
    EXPECT_EQ(output.err, "");
    EXPECT_EQ(cached_domain_name(), std::nullopt) << "a type-2 update teaches no name";
}

TEST(RegistrationUpdate, SuccessUnderStatus404FailsAndForgetsTheName)
{
    const char* server = address::kUpdateRegistration404;
    ScriptedPeer peer(server, {reply_with(kOk + "ACK SUCCESS domain=cam1.ddns.test"),
                               reply_with("HTTP/1.0 404 Not Found\r\n\r\nSUCCESS")});
    ASSERT_TRUE(peer.listening());
    ozu_dnsupdate_init_v2(7, server, peer.port(), "SN1", kMac.c_str(), kIp.c_str(), 80, 300);
    std::array<char, 64> name{};
    ASSERT_EQ(ozu_dnsupdate_getname(name.data(), name.size()), 0);

    EXPECT_EQ(captured_once(0), kQuietFailure);
    EXPECT_EQ(cached_domain_name(), std::nullopt);
}

TEST(PlainUpdate, NewNameReplacesTheOldOne)
{
    const char* server = address::kUpdateNewName;
    ScriptedPeer peer(server, {reply_with(update_reply("cam1.ddns.test")), reply_with(update_reply("cam2.ddns.test"))});
    ASSERT_TRUE(peer.listening());
    ozu_dnsupdate_init(server, peer.port(), kMac.c_str(), kIp.c_str(), 300);

    ASSERT_EQ(ozu_dnsupdate_once(0), 0);
    ASSERT_EQ(ozu_dnsupdate_once(0), 0);
    EXPECT_EQ(cached_domain_name(), "cam2.ddns.test");
}

// A server that taught the client its name and then answers badly: the update fails quietly.
struct BadSecondReply {
    const char* name;
    const char* server;
    PeerStep reply;
};

class PlainUpdateAfterLearning : public testing::TestWithParam<BadSecondReply> {};

TEST_P(PlainUpdateAfterLearning, FailsQuietlyAndForgetsTheName)
{
    const char* server = GetParam().server;
    ScriptedPeer peer(server, {reply_with(update_reply("cam1.ddns.test")), GetParam().reply});
    ASSERT_TRUE(peer.listening());
    ozu_dnsupdate_init(server, peer.port(), kMac.c_str(), kIp.c_str(), 300);
    ASSERT_EQ(ozu_dnsupdate_once(0), 0);
    ASSERT_EQ(cached_domain_name(), "cam1.ddns.test");

    EXPECT_EQ(captured_once(0), kQuietFailure);
    EXPECT_EQ(cached_domain_name(), std::nullopt);
}

INSTANTIATE_TEST_SUITE_P(
    BadReplies, PlainUpdateAfterLearning,
    testing::Values(BadSecondReply{"ThreeFields", address::kUpdateThreeFields, reply_with(kOk + "SUCC:online:x")},
                    BadSecondReply{"SilentClose", address::kUpdateSilentClose, close_silently()}),
    [](const testing::TestParamInfo<BadSecondReply>& info) { return std::string(info.param.name); });

TEST(PlainUpdate, RefusedConnectionIsReportedAndForgetsTheName)
{
    const char* server = address::kUpdateRefused;
    int port = 0;
    {
        ScriptedPeer peer(server, {reply_with(update_reply("cam1.ddns.test"))});
        ASSERT_TRUE(peer.listening());
        port = peer.port();
        ozu_dnsupdate_init(server, port, kMac.c_str(), kIp.c_str(), 300);
        ASSERT_EQ(ozu_dnsupdate_once(0), 0);
    }

    EXPECT_EQ(captured_once(0), (CallOutcome{-1, "", "connect: Connection refused\n"}));
    EXPECT_EQ(cached_domain_name(), std::nullopt);
}

TEST(Reinitialisation, TheLastInitialisationDecidesTheRequestForm)
{
    const char* server = address::kUpdateLastInitDecides;
    ScriptedPeer peer(server, {reply_with(update_reply("cam1.ddns.test"))});
    ASSERT_TRUE(peer.listening());
    ozu_dnsupdate_init_v1(7, server, peer.port(), "A", "B", 80, 300);
    ozu_dnsupdate_init(server, peer.port(), kMac.c_str(), kIp.c_str(), 300);

    EXPECT_EQ(ozu_dnsupdate_once(0), 0);
    ASSERT_EQ(peer.requests().size(), 1U);
    EXPECT_EQ(peer.requests()[0], "GET /update.php?mymac=" + kMac + "&myip=" + kIp + "&" + request_head(server));
}

TEST(Reinitialisation, NewMacChangesEveryStoredQuery)
{
    const char* server = address::kUpdateNewMac;
    ScriptedPeer peer(server, {reply_with(kOk + "SUCCESS"), reply_with(kOk + "SUCCESS"), reply_with(kOk + "SUCCESS"),
                               reply_with(kOk + "ACK SUCCESS domain=cam1")});
    ASSERT_TRUE(peer.listening());
    ozu_dnsupdate_init_v2(7, server, peer.port(), "SN1", "M1", kIp.c_str(), 80, 300);
    ASSERT_EQ(ozu_dnsupdate_once(0), 0);

    ozu_dnsupdate_init_v2(7, server, peer.port(), "SN1", "M2", kIp.c_str(), 80, 300);
    ASSERT_EQ(ozu_dnsupdate_once(0), 0);
    ASSERT_EQ(ozu_dnsupdate_once(1), 0);
    std::array<char, 64> name{};
    ASSERT_EQ(ozu_dnsupdate_getname(name.data(), name.size()), 0);

    const std::string query = "id=SN1&mac=M2&port=80&type=0x7";
    ASSERT_EQ(peer.requests().size(), 4U);
    EXPECT_NE(peer.requests()[0], peer.requests()[1]);
    EXPECT_EQ(peer.requests()[1], "GET /register/deviceupdate?encrypt=" +
                                      expected_ciphertext(query + "&status=online") + request_head(server));
    EXPECT_EQ(peer.requests()[2], "GET /register/deviceupdate?encrypt=" +
                                      expected_ciphertext(query + "&status=offline") + request_head(server));
    EXPECT_EQ(peer.requests()[3],
              "GET /register/devicegetdomain?encrypt=" + expected_ciphertext(query) + request_head(server));
}

TEST(Reinitialisation, RegistrationQueryOver120CharactersIsStoredEmpty)
{
    const char* server = address::kUpdateRegistrationTooLong;
    ScriptedPeer peer(server, {reply_with("HTTP/1.0 400 Bad Request\r\n\r\n")});
    ASSERT_TRUE(peer.listening());
    const std::string longSerial(100, 's');
    ozu_dnsupdate_init_v2(7, server, peer.port(), longSerial.c_str(), kMac.c_str(), kIp.c_str(), 80, 300);

    EXPECT_EQ(ozu_dnsupdate_once(0), -1);
    ASSERT_EQ(peer.requests().size(), 1U);
    EXPECT_EQ(peer.requests()[0], "GET /register/deviceupdate?encrypt=" + request_head(server));
}

}  // namespace

// ozu_dnsupdate_once against scripted loopback peers: exact request bytes for every interface
// type, the reply judgement and what happens to the cached name.
#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <functional>
#include <string>

#include "ddns/ozu_dnsupdate.h"
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

using Init = std::function<void(const char* server, int port)>;

// One update against a fresh peer: the request, what is announced and the name left cached.
struct UpdateCase {
    const char* name;
    const char* server;
    Init init;
    int offline;
    std::string reply;
    int result;
    std::string path;
    std::string query;
    bool encrypted;
    std::optional<std::string> cached;
};

class OneUpdate : public testing::TestWithParam<UpdateCase> {};

TEST_P(OneUpdate, SendsTheExactRequest)
{
    const UpdateCase& test = GetParam();
    ScriptedPeer peer(test.server, {reply_with(test.reply)});
    ASSERT_TRUE(peer.listening());
    test.init(test.server, peer.port());

    const CallOutcome run = captured_once(test.offline);

    const std::string target = test.path + (test.encrypted ? expected_ciphertext(test.query) : test.query);
    const bool diy = test.path == "/update.php?value=";
    EXPECT_EQ(run, (CallOutcome{test.result, diy ? "DiyDNS Get: " + target + "\n" : "", ""}));
    ASSERT_EQ(peer.requests().size(), 1U);
    EXPECT_EQ(peer.requests()[0], "GET " + target + request_head(test.server));
    EXPECT_EQ(cached_domain_name(), test.cached);
}

const std::string kPlainQuery = "mymac=" + kMac + "&myip=" + kIp + "&";

INSTANTIATE_TEST_SUITE_P(
    Forms, OneUpdate,
    testing::Values(
        UpdateCase{"PlainOnline", address::kUpdatePlainOnline,
                   [](const char* s, int port) { ozu_dnsupdate_init(s, port, kMac.c_str(), kIp.c_str(), 300); }, 0,
                   update_reply("cam1.ddns.test"), 0, "/update.php?", kPlainQuery, false, "cam1.ddns.test"},
        // Any non-zero flag means offline; a missing address is sent as an empty myip.
        UpdateCase{"PlainOfflineWithoutIp", address::kUpdatePlainOffline,
                   [](const char* s, int port) { ozu_dnsupdate_init(s, port, kMac.c_str(), nullptr, 300); }, 7,
                   update_reply("cam1.ddns.test"), 0, "/update.php?", "mymac=" + kMac + "&myip=&offline=yes", false,
                   "cam1.ddns.test"},
        // An HTTP port below 1 is sent as 80.
        UpdateCase{"DiyOnline", address::kUpdateDiyOnline,
                   [](const char* s, int port) { ozu_dnsupdate_init_v1(7, s, port, "A", "B", 0, 300); }, 0,
                   update_reply("cam1.ddns.test"), 0, "/update.php?value=", "mymac=A&myip=B&myhttp=80&mytype=7", true,
                   "cam1.ddns.test"},
        UpdateCase{"DiyOffline", address::kUpdateDiyOffline,
                   [](const char* s, int port) { ozu_dnsupdate_init_v1(7, s, port, "A", "B", 8080, 300); }, 1,
                   update_reply("cam1.ddns.test"), 0, "/update.php?value=", "mymac=A&myip=B&offline=yes", true,
                   "cam1.ddns.test"},
        // A type-2 update teaches no name.
        UpdateCase{"RegistrationOnline", address::kUpdateRegistration,
                   [](const char* s, int port) {
                       ozu_dnsupdate_init_v2(0x1a2b, s, port, "SN1", kMac.c_str(), kIp.c_str(), 0, 0);
                   },
                   0, kOk + "SUCCESS", 0, "/register/deviceupdate?encrypt=",
                   "id=SN1&mac=" + kMac + "&port=80&type=0x1a2b&status=online", true, std::nullopt},
        UpdateCase{"LastInitialisationDecidesTheForm", address::kUpdateLastInitDecides,
                   [](const char* s, int port) {
                       ozu_dnsupdate_init_v1(7, s, port, "A", "B", 80, 300);
                       ozu_dnsupdate_init(s, port, kMac.c_str(), kIp.c_str(), 300);
                   },
                   0, update_reply("cam1.ddns.test"), 0, "/update.php?", kPlainQuery, false, "cam1.ddns.test"}),
    [](const testing::TestParamInfo<UpdateCase>& info) { return std::string(info.param.name); });

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

// Requests that do not fit are not sent: the connection closes without a byte.
TEST(DiyUpdate, QueryOver120CharactersIsNotSentAndTheNameIsForgotten)
{
    const char* server = address::kUpdateDiyTooLong;
    ScriptedPeer peer(server, {reply_with(update_reply("cam1.ddns.test")), close_silently()});
    ASSERT_TRUE(peer.listening());
    ozu_dnsupdate_init_v1(7, server, peer.port(), "A", "B", 80, 300);
    ASSERT_EQ(captured_once(0).result, 0);
    ASSERT_EQ(cached_domain_name(), "cam1.ddns.test");

    ozu_dnsupdate_init_v1(7, server, peer.port(), std::string(100, 'm').c_str(), "B", 80, 300);
    EXPECT_EQ(captured_once(0), kQuietFailure) << "nothing was encrypted, so nothing is announced";
    ASSERT_TRUE(peer.wait_for_requests(2, 5s));
    EXPECT_EQ(peer.requests()[1], "");
    EXPECT_EQ(cached_domain_name(), std::nullopt);
}

TEST(PlainUpdate, RequestBeyondTheExchangeBufferIsNotSent)
{
    const char* server = address::kUpdatePlainTooLong;
    ScriptedPeer peer(server, {close_silently()});
    ASSERT_TRUE(peer.listening());
    ozu_dnsupdate_init(server, peer.port(), std::string(2100, 'm').c_str(), kIp.c_str(), 300);

    EXPECT_EQ(captured_once(0), kQuietFailure);
    ASSERT_TRUE(peer.wait_for_requests(1, 5s));
    EXPECT_EQ(peer.requests()[0], "");
}

// A server that taught the client its name answers the second update; no second step means the
// connection is refused.
struct SecondReply {
    const char* name;
    const char* server;
    std::vector<PeerStep> second;
    CallOutcome outcome;
    std::optional<std::string> cached;
};

class PlainUpdateAfterLearning : public testing::TestWithParam<SecondReply> {};

TEST_P(PlainUpdateAfterLearning, DecidesTheCachedName)
{
    std::vector<PeerStep> script{reply_with(update_reply("cam1.ddns.test"))};
    script.insert(script.end(), GetParam().second.begin(), GetParam().second.end());
    const char* server = GetParam().server;
    ScriptedPeer peer(server, script);
    ASSERT_TRUE(peer.listening());
    ozu_dnsupdate_init(server, peer.port(), kMac.c_str(), kIp.c_str(), 300);
    ASSERT_EQ(ozu_dnsupdate_once(0), 0);
    ASSERT_EQ(cached_domain_name(), "cam1.ddns.test");

    EXPECT_EQ(captured_once(0), GetParam().outcome);
    EXPECT_EQ(cached_domain_name(), GetParam().cached);
}

INSTANTIATE_TEST_SUITE_P(
    Replies, PlainUpdateAfterLearning,
    testing::Values(
        SecondReply{"NewName", address::kUpdateNewName, {reply_with(update_reply("cam2.ddns.test"))},
                    CallOutcome{0, "", ""}, "cam2.ddns.test"},
        SecondReply{"ThreeFields", address::kUpdateThreeFields, {reply_with(kOk + "SUCC:online:x")}, kQuietFailure,
                    std::nullopt},
        SecondReply{"SilentClose", address::kUpdateSilentClose, {close_silently()}, kQuietFailure, std::nullopt},
        SecondReply{"Refused", address::kUpdateRefused, {}, CallOutcome{-1, "", "connect: Connection refused\n"},
                    std::nullopt}),
    [](const testing::TestParamInfo<SecondReply>& info) { return std::string(info.param.name); });

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

// A query over 120 characters is stored empty: neither an update nor a lookup connects, and the
// cached name stays.
TEST(RegistrationUpdate, QueryOver120CharactersIsRefusedBeforeConnecting)
{
    const char* server = address::kUpdateRegistrationTooLong;
    ScriptedPeer peer(server, {reply_with(update_reply("cam1.ddns.test"))});
    ASSERT_TRUE(peer.listening());
    const std::string longSerial(100, 's');
    const CallOutcome refused{-1, "", "registration query over 120 characters: request not sent\n"};
    ozu_dnsupdate_init_v2(7, server, peer.port(), longSerial.c_str(), kMac.c_str(), kIp.c_str(), 80, 300);
    std::array<char, 64> name{};
    EXPECT_EQ(captured_getname(name.data(), name.size()), refused);

    ozu_dnsupdate_init(server, peer.port(), kMac.c_str(), kIp.c_str(), 300);
    ASSERT_EQ(captured_once(0).result, 0);
    ozu_dnsupdate_init_v2(7, server, peer.port(), longSerial.c_str(), kMac.c_str(), kIp.c_str(), 80, 300);
    EXPECT_EQ(captured_once(1), refused);
    EXPECT_EQ(cached_domain_name(), "cam1.ddns.test");
    EXPECT_EQ(peer.requests().size(), 1U);
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
    const std::string update = "/register/deviceupdate?encrypt=";
    const std::array<std::string, 3> expected = {update + expected_ciphertext(query + "&status=online"),
                                                 update + expected_ciphertext(query + "&status=offline"),
                                                 "/register/devicegetdomain?encrypt=" + expected_ciphertext(query)};
    ASSERT_EQ(peer.requests().size(), 4U);
    EXPECT_NE(peer.requests()[0], peer.requests()[1]);
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(peer.requests()[i + 1], "GET " + expected[i] + request_head(server));
    }
}

}  // namespace

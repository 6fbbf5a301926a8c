// ozu_dnsupdate_getname against scripted loopback peers: exact requests, the name cache and the
// caller's buffer size.
#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <functional>
#include <future>
#include <string>
#include <vector>

#include "ddns/ozu_dnsupdate.h"
#include "support/client_calls.h"
#include "support/loopback_addresses.h"
#include "support/output_capture.h"
#include "support/scripted_peer.h"

namespace {

using namespace std::chrono_literals;
using namespace ozu_test;

using Init = std::function<void(const char* server, int port)>;

void init_plain(const char* server, int port)
{
    ozu_dnsupdate_init(server, port, kMac.c_str(), kIp.c_str(), 300);
}

// One lookup against a peer that takes one connection, then the same lookup from the cache;
// each into a buffer that holds exactly the name and its terminator.
struct LookupCase {
    const char* name;
    const char* server;
    Init init;
    std::string reply;
    std::string path;
    std::string query;
    bool encrypted;
    std::string domain;
};

class Lookup : public testing::TestWithParam<LookupCase> {};

TEST_P(Lookup, SendsTheExactRequestAndThenAnswersFromTheCache)
{
    const LookupCase& test = GetParam();
    ScriptedPeer peer(test.server, {reply_with(test.reply)});
    ASSERT_TRUE(peer.listening());
    test.init(test.server, peer.port());
    std::vector<char> fetched(test.domain.size() + 1, '#');
    std::vector<char> cached(test.domain.size() + 1, '#');

    const CallOutcome fetch = captured_getname(fetched.data(), static_cast<unsigned>(fetched.size()));
    const CallOutcome fromCache = captured_getname(cached.data(), static_cast<unsigned>(cached.size()));

    const std::string target = test.path + (test.encrypted ? expected_ciphertext(test.query) : test.query);
    const bool diy = test.path == "/getipbymac.php?do=getsilent&value=";
    EXPECT_EQ(fetch, (CallOutcome{0, diy ? "DiyDNS Get: " + target + "\n" : "", ""}));
    EXPECT_EQ(std::string(fetched.data()), test.domain);
    EXPECT_EQ(fromCache, (CallOutcome{0, "", ""}));
    EXPECT_EQ(std::string(cached.data()), test.domain);
    ASSERT_EQ(peer.requests().size(), 1U);
    EXPECT_EQ(peer.requests()[0], "GET " + target + request_head(test.server));
    EXPECT_EQ(cached_domain_name(), test.domain);
}

const std::string kRegistrationPath = "/register/devicegetdomain?encrypt=";

INSTANTIATE_TEST_SUITE_P(
    Forms, Lookup,
    testing::Values(
        LookupCase{"Plain", address::kLookupPlain, init_plain, kOk + "SUCC:cam1.ddns.test",
                   "/getipbymac.php?do=getsilent&", "mymac=" + kMac + "&", false, "cam1.ddns.test"},
        LookupCase{"Diy", address::kLookupDiy,
                   [](const char* s, int port) {
                       ozu_dnsupdate_init_v1(7, s, port, kMac.c_str(), kIp.c_str(), 80, 300);
                   },
                   kOk + "SUCC:cam1.ddns.test", "/getipbymac.php?do=getsilent&value=", "mymac=" + kMac + "&", true,
                   "cam1.ddns.test"},
        // The name runs to the end of the reply.
        LookupCase{"Registration", address::kLookupRegistration,
                   [](const char* s, int port) {
                       ozu_dnsupdate_init_v2(0x1a2b, s, port, "SN1", kMac.c_str(), kIp.c_str(), 8080, 300);
                   },
                   kOk + "ACK SUCCESS domain=cam1.ddns.test\r\n", kRegistrationPath,
                   "id=SN1&mac=" + kMac + "&port=8080&type=0x1a2b", true, "cam1.ddns.test\r\n"},
        LookupCase{"RegistrationNullSerialAsEmpty", address::kLookupNullSerial,
                   [](const char* s, int port) {
                       ozu_dnsupdate_init_v2(7, s, port, nullptr, "M", kIp.c_str(), 80, 300);
                   },
                   kOk + "ACK SUCCESS domain=cam1", kRegistrationPath, "id=&mac=M&port=80&type=0x7", true, "cam1"},
        LookupCase{"RegistrationEmptyName", address::kLookupEmptyName,
                   [](const char* s, int port) {
                       ozu_dnsupdate_init_v2(7, s, port, "SN1", kMac.c_str(), kIp.c_str(), 80, 300);
                   },
                   kOk + "ACK SUCCESS domain=", kRegistrationPath, "id=SN1&mac=" + kMac + "&port=80&type=0x7", true,
                   ""}),
    [](const testing::TestParamInfo<LookupCase>& info) { return std::string(info.param.name); });

TEST(NameCache, CachedNameTooLongForTheBufferIsRefused)
{
    const char* server = address::kLookupBufferSize;
    ScriptedPeer peer(server, {reply_with(kOk + "SUCC:abcde.test")});
    ASSERT_TRUE(peer.listening());
    init_plain(server, peer.port());
    std::array<char, 64> name{};
    ASSERT_EQ(ozu_dnsupdate_getname(name.data(), name.size()), 0);

    std::array<char, 10> tooShort{};
    tooShort.fill('#');
    const CallOutcome run = captured_getname(tooShort.data(), tooShort.size());

    EXPECT_EQ(run.result, -1);
    EXPECT_EQ(std::string(tooShort.data(), tooShort.size()), std::string(10, '#'));
    EXPECT_EQ(run.out, "");
    EXPECT_TRUE(starts_with(run.err, "buff too short\n: ")) << run.err;
}

TEST(NameCache, FetchedNameTooLongForTheBufferFailsQuietlyButIsCached)
{
    const char* server = address::kLookupTooLongForBuffer;
    ScriptedPeer peer(server, {reply_with(kOk + "SUCC:cam1.ddns.test")});
    ASSERT_TRUE(peer.listening());
    init_plain(server, peer.port());
    std::array<char, 5> small{};
    small.fill('#');

    EXPECT_EQ(captured_getname(small.data(), small.size()), kQuietFailure);
    EXPECT_EQ(std::string(small.data(), small.size()), "#####");
    EXPECT_EQ(cached_domain_name(), "cam1.ddns.test");
}

TEST(NameCache, NullBuffersAreNeverWritten)
{
    const char* server = address::kLookupNullBuffer;
    ScriptedPeer peer(server, {reply_with(kOk + "SUCC:cam1.ddns.test")});
    ASSERT_TRUE(peer.listening());
    init_plain(server, peer.port());

    OutputCapture capture;
    EXPECT_EQ(ozu_dnsupdate_getname(nullptr, 64), -1);
    EXPECT_EQ(ozu_dnsupdate_getname(nullptr, 64), -1);
    EXPECT_EQ(ozu_dnsupdate_get_domainname(nullptr), -1);
    capture.finish();
    EXPECT_EQ(cached_domain_name(), "cam1.ddns.test") << "the fetched name is cached all the same";
}

TEST(NameCache, FailedLookupKeepsANameLearnedMeanwhile)
{
    const char* server = address::kLookupFailedKeepsName;
    ScriptedPeer peer(server, {reply_after(1500ms, "HTTP/1.0 404 Not Found\r\n\r\n"),
                               reply_with(kOk + "SUCC:online:" + kIp + ":meanwhile.test")});
    ASSERT_TRUE(peer.listening());
    init_plain(server, peer.port());

    auto lookup = std::async(std::launch::async, [] {
        std::array<char, 64> name{};
        return ozu_dnsupdate_getname(name.data(), name.size());
    });
    ASSERT_TRUE(peer.wait_for_requests(1, 5s));
    ASSERT_EQ(ozu_dnsupdate_once(0), 0);
    ASSERT_EQ(cached_domain_name(), "meanwhile.test");

    EXPECT_EQ(lookup.get(), -1);
    EXPECT_EQ(cached_domain_name(), "meanwhile.test");
}

// Replies that teach no name: the lookup fails quietly.
struct UnusableReply {
    const char* name;
    const char* server;
    PeerStep reply;
};

class PlainLookupOfUnusableReply : public testing::TestWithParam<UnusableReply> {};

TEST_P(PlainLookupOfUnusableReply, FailsQuietly)
{
    const char* server = GetParam().server;
    ScriptedPeer peer(server, {GetParam().reply});
    ASSERT_TRUE(peer.listening());
    init_plain(server, peer.port());
    std::array<char, 256> name{};

    EXPECT_EQ(captured_getname(name.data(), name.size()), kQuietFailure);
    EXPECT_EQ(cached_domain_name(), std::nullopt);
}

INSTANTIATE_TEST_SUITE_P(
    Replies, PlainLookupOfUnusableReply,
    testing::Values(UnusableReply{"NotFound", address::kLookupNotFound,
                                  reply_with("HTTP/1.0 404 Not Found\r\n\r\nSUCC:cam1")},
                    UnusableReply{"SilentClose", address::kLookupSilentClose, close_silently()},
                    UnusableReply{"NameOver99Characters", address::kLookupLongField,
                                  reply_with(kOk + "SUCC:" + std::string(100, 'n'))}),
    [](const testing::TestParamInfo<UnusableReply>& info) { return std::string(info.param.name); });

}  // namespace

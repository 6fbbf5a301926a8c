// ozu_dnsupdate_getname against scripted loopback peers: exact requests, the name cache and the
// caller's buffer size.
#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <future>
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

TEST(PlainLookup, SendsTheExactRequestAndThenAnswersFromTheCache)
{
    const char* server = address::kLookupPlain;
    ScriptedPeer peer(server, {reply_with(kOk + "SUCC:cam1.ddns.test")});
    ASSERT_TRUE(peer.listening());
    ozu_dnsupdate_init(server, peer.port(), kMac.c_str(), kIp.c_str(), 300);
    std::array<char, 64> first{};
    std::array<char, 64> second{};

    OutputCapture capture;
    const int fetched = ozu_dnsupdate_getname(first.data(), first.size());
    const int cached = ozu_dnsupdate_getname(second.data(), second.size());
    const CapturedOutput output = capture.finish();

    EXPECT_EQ(fetched, 0);
    EXPECT_EQ(std::string(first.data()), "cam1.ddns.test");
    EXPECT_EQ(cached, 0) << "the peer refuses a second connection, so this came from the cache";
    EXPECT_EQ(std::string(second.data()), "cam1.ddns.test");
    ASSERT_EQ(peer.requests().size(), 1U);
    EXPECT_EQ(peer.requests()[0], "GET /getipbymac.php?do=getsilent&mymac=" + kMac + "&" + request_head(server));
    EXPECT_EQ(output.out, "");
    EXPECT_EQ(output.err, "");
    EXPECT_EQ(cached_domain_name(), "cam1.ddns.test");
}

TEST(DiyLookup, SendsTheEncryptedQueryAndAnnouncesIt)
{
    const char* server = address::kLookupDiy;
    ScriptedPeer peer(server, {reply_with(kOk + "SUCC:cam1.ddns.test")});
    ASSERT_TRUE(peer.listening());
    ozu_dnsupdate_init_v1(7, server, peer.port(), kMac.c_str(), kIp.c_str(), 80, 300);
    std::array<char, 64> name{};

    const CallOutcome run = captured_getname(name.data(), name.size());

    const std::string ciphertext = expected_ciphertext("mymac=" + kMac + "&");
    EXPECT_EQ(run.result, 0);
    EXPECT_EQ(std::string(name.data()), "cam1.ddns.test");
    ASSERT_EQ(peer.requests().size(), 1U);
    EXPECT_EQ(peer.requests()[0], "GET /getipbymac.php?do=getsilent&value=" + ciphertext + request_head(server));
    EXPECT_EQ(run.out, "DiyDNS Get: /getipbymac.php?do=getsilent&value=" + ciphertext + "\n");
    EXPECT_EQ(run.err, "");
}

TEST(RegistrationLookup, SendsTheStoredQueryAndTakesTheNameToTheEnd)
{
    const char* server = address::kLookupRegistration;
    ScriptedPeer peer(server, {reply_with(kOk + "ACK SUCCESS domain=cam1.ddns.test\r\n")});
    ASSERT_TRUE(peer.listening());
    ozu_dnsupdate_init_v2(0x1a2b, server, peer.port(), "SN1", kMac.c_str(), kIp.c_str(), 8080, 300);
    std::array<char, 64> name{};

    const CallOutcome run = captured_getname(name.data(), name.size());

    EXPECT_EQ(run.result, 0);
    EXPECT_EQ(std::string(name.data()), "cam1.ddns.test\r\n");
    ASSERT_EQ(peer.requests().size(), 1U);
    EXPECT_EQ(peer.requests()[0], "GET /register/devicegetdomain?encrypt=" +
                                      expected_ciphertext("id=SN1&mac=" + kMac + "&port=8080&type=0x1a2b") +
                                      request_head(server));
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "");
}

TEST(RegistrationLookup, NullSerialIsSentAsTheEmptyText)
{
    const char* server = address::kLookupNullSerial;
    ScriptedPeer peer(server, {reply_with(kOk + "ACK SUCCESS domain=cam1")});
    ASSERT_TRUE(peer.listening());
    ozu_dnsupdate_init_v2(7, server, peer.port(), nullptr, "M", kIp.c_str(), 80, 300);
    std::array<char, 64> name{};

    EXPECT_EQ(ozu_dnsupdate_getname(name.data(), name.size()), 0);
    ASSERT_EQ(peer.requests().size(), 1U);
    EXPECT_EQ(peer.requests()[0], "GET /register/devicegetdomain?encrypt=" +
                                      expected_ciphertext("id=&mac=M&port=80&type=0x7") + request_head(server));
}

TEST(RegistrationLookup, EmptyNameIsANameToo)
{
    const char* server = address::kLookupEmptyName;
    ScriptedPeer peer(server, {reply_with(kOk + "ACK SUCCESS domain=")});
    ASSERT_TRUE(peer.listening());
    ozu_dnsupdate_init_v2(7, server, peer.port(), "SN1", kMac.c_str(), kIp.c_str(), 80, 300);
    std::array<char, 1> name{'#'};

    EXPECT_EQ(ozu_dnsupdate_getname(name.data(), name.size()), 0);
    EXPECT_EQ(name[0], '\0');
    EXPECT_EQ(cached_domain_name(), "");
}

TEST(NameCache, BufferMustHoldTheNameAndItsTerminator)
{
    const char* server = address::kLookupBufferSize;
    ScriptedPeer peer(server, {reply_with(kOk + "SUCC:abcde.test")});
    ASSERT_TRUE(peer.listening());
    ozu_dnsupdate_init(server, peer.port(), kMac.c_str(), kIp.c_str(), 300);
    std::array<char, 64> name{};
    ASSERT_EQ(ozu_dnsupdate_getname(name.data(), name.size()), 0);
    ASSERT_EQ(std::string(name.data()), "abcde.test");

    std::array<char, 11> fits{};
    EXPECT_EQ(ozu_dnsupdate_getname(fits.data(), fits.size()), 0);
    EXPECT_EQ(std::string(fits.data()), "abcde.test");

    std::array<char, 10> tooShort{};
    tooShort.fill('#');
    const CallOutcome run = captured_getname(tooShort.data(), tooShort.size());

    EXPECT_EQ(run.result, -1);
    EXPECT_EQ(std::string(tooShort.data(), tooShort.size()), std::string(10, '#'));
    EXPECT_EQ(run.out, "");
    EXPECT_TRUE(starts_with(run.err, "buff too short\n: ")) << run.err;
    EXPECT_EQ(peer.requests().size(), 1U);
}

TEST(NameCache, NullBuffersAreNeverWritten)
{
    const char* server = address::kLookupNullBuffer;
    ScriptedPeer peer(server, {reply_with(kOk + "SUCC:cam1.ddns.test")});
    ASSERT_TRUE(peer.listening());
    ozu_dnsupdate_init(server, peer.port(), kMac.c_str(), kIp.c_str(), 300);

    OutputCapture capture;
    const int fetched = ozu_dnsupdate_getname(nullptr, 64);
    const int cached = ozu_dnsupdate_getname(nullptr, 64);
    const int copied = ozu_dnsupdate_get_domainname(nullptr);
    capture.finish();

    EXPECT_EQ(fetched, -1);
    EXPECT_EQ(cached, -1);
    EXPECT_EQ(copied, -1);
    EXPECT_EQ(cached_domain_name(), "cam1.ddns.test") << "the fetched name is cached all the same";
}

TEST(NameCache, FetchedNameTooLongForTheBufferFailsQuietlyButIsCached)
{
    const char* server = address::kLookupTooLongForBuffer;
    ScriptedPeer peer(server, {reply_with(kOk + "SUCC:cam1.ddns.test")});
    ASSERT_TRUE(peer.listening());
    ozu_dnsupdate_init(server, peer.port(), kMac.c_str(), kIp.c_str(), 300);
    std::array<char, 5> small{};
    small.fill('#');

    EXPECT_EQ(captured_getname(small.data(), small.size()), kQuietFailure);
    EXPECT_EQ(std::string(small.data(), small.size()), "#####");

    std::array<char, 64> large{};
    EXPECT_EQ(ozu_dnsupdate_getname(large.data(), large.size()), 0);
    EXPECT_EQ(std::string(large.data()), "cam1.ddns.test");
    EXPECT_EQ(peer.requests().size(), 1U);
}

TEST(NameCache, FailedLookupKeepsANameLearnedMeanwhile)
{
    const char* server = address::kLookupFailedKeepsName;
    ScriptedPeer peer(server, {reply_after(1500ms, "HTTP/1.0 404 Not Found\r\n\r\n"),
                               reply_with(kOk + "SUCC:online:" + kIp + ":meanwhile.test")});
    ASSERT_TRUE(peer.listening());
    ozu_dnsupdate_init(server, peer.port(), kMac.c_str(), kIp.c_str(), 300);

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
    ozu_dnsupdate_init(server, peer.port(), kMac.c_str(), kIp.c_str(), 300);
    std::array<char, 64> name{};

    EXPECT_EQ(captured_getname(name.data(), name.size()), kQuietFailure);
    EXPECT_EQ(cached_domain_name(), std::nullopt);
}

INSTANTIATE_TEST_SUITE_P(
    Replies, PlainLookupOfUnusableReply,
    testing::Values(UnusableReply{"NotFound", address::kLookupNotFound,
                                  reply_with("HTTP/1.0 404 Not Found\r\n\r\nSUCC:cam1")},
                    UnusableReply{"SilentClose", address::kLookupSilentClose, close_silently()}),
    [](const testing::TestParamInfo<UnusableReply>& info) { return std::string(info.param.name); });

TEST(PlainLookup, NameFieldOver99CharactersIsRejected)
{
    const char* server = address::kLookupLongField;
    ScriptedPeer peer(server, {reply_with(kOk + "SUCC:" + std::string(100, 'n'))});
    ASSERT_TRUE(peer.listening());
    ozu_dnsupdate_init(server, peer.port(), kMac.c_str(), kIp.c_str(), 300);
    std::array<char, 256> name{};

    EXPECT_EQ(ozu_dnsupdate_getname(name.data(), name.size()), -1);
    EXPECT_EQ(cached_domain_name(), std::nullopt);
}

}  // namespace

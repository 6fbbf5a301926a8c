// Entry points before and around configuration, where no server is reached.
#include <gtest/gtest.h>

#include <array>
#include <string>

#include "ddns/ozu_dnsupdate.h"
#include "support/client_calls.h"
#include "support/output_capture.h"

namespace {

using namespace ozu_test;

// Refused for want of a server or a MAC: the message and the system's error text.
void expect_refused_unconfigured(const CallOutcome& run)
{
    EXPECT_EQ(run.result, -1);
    EXPECT_EQ(run.out, "");
    EXPECT_TRUE(starts_with(run.err, "DNS server or MAC is null\n: ")) << run.err;
}

TEST(Unconfigured, OnceAndGetnameFailQuietly)
{
    std::array<char, 64> name{};
    EXPECT_EQ(captured_once(0), kQuietFailure);
    EXPECT_EQ(captured_getname(name.data(), name.size()), kQuietFailure);
}

TEST(Unconfigured, NoDomainNameIsKnown)
{
    std::array<char, 8> name{};
    name.fill('#');
    OutputCapture capture;
    const int result = ozu_dnsupdate_get_domainname(name.data());
    const CapturedOutput output = capture.finish();

    EXPECT_EQ(result, -1);
    EXPECT_EQ(output.out, "");
    EXPECT_TRUE(starts_with(output.err, "invalid Name\n: ")) << output.err;
    EXPECT_EQ(output.err.back(), '\n');
    EXPECT_EQ(std::string(name.data(), name.size()), std::string(8, '#')) << "the buffer stays untouched";
}

TEST(Unconfigured, PauseWorksBeforeInitialisation)
{
    EXPECT_EQ(ozu_dnsupdate_pause(0), 0);
    EXPECT_EQ(ozu_dnsupdate_pause(1), 0);
}

TEST(Configuration, InitialisationAlwaysReturnsZero)
{
    EXPECT_EQ(ozu_dnsupdate_init(nullptr, -1, nullptr, nullptr, -1), 0);
    EXPECT_EQ(ozu_dnsupdate_init_v1(7, nullptr, 0, nullptr, nullptr, 0, 0), 0);
    EXPECT_EQ(ozu_dnsupdate_init_v2(7, nullptr, 0, nullptr, nullptr, nullptr, 0, 0), 0);
    EXPECT_EQ(ozu_dnsupdate_init("127.0.0.1", 80, "AA", "10.0.0.5", 300), 0);
}

TEST(Configuration, UpdateWithoutMacIsRefused)
{
    ozu_dnsupdate_init("127.0.0.1", 8080, nullptr, "10.0.0.5", 300);
    expect_refused_unconfigured(captured_once(0));
}

TEST(Configuration, ReinitialisationWithNullMacDropsTheEarlierMac)
{
    ozu_dnsupdate_init("127.0.0.1", 8080, "00:11:22:33:44:55", "10.0.0.5", 300);
    ozu_dnsupdate_init("127.0.0.1", 8080, nullptr, "10.0.0.5", 300);
    expect_refused_unconfigured(captured_once(0));
}

TEST(Configuration, LookupWithoutServerIsRefused)
{
    ozu_dnsupdate_init_v1(7, nullptr, 8080, "00:11:22:33:44:55", "10.0.0.5", 80, 300);
    std::array<char, 64> name{};
    expect_refused_unconfigured(captured_getname(name.data(), name.size()));
}

TEST(Configuration, LookupWithEmptyServerFailsQuietly)
{
    ozu_dnsupdate_init("", 8080, "00:11:22:33:44:55", "10.0.0.5", 300);
    std::array<char, 64> name{};
    EXPECT_EQ(captured_getname(name.data(), name.size()), kQuietFailure);
}

TEST(Resolution, DottedAddressResolvesThroughTheExportedFunction)
{
    std::uint32_t address = 0;
    ASSERT_EQ(GetHostName("127.0.0.22", &address), 0);
    const auto* bytes = reinterpret_cast<const unsigned char*>(&address);
    EXPECT_EQ(bytes[0], 127);
    EXPECT_EQ(bytes[1], 0);
    EXPECT_EQ(bytes[2], 0);
    EXPECT_EQ(bytes[3], 22) << "network byte order";
}

TEST(Resolution, NullArgumentsFail)
{
    std::uint32_t address = 0x12345678;
    EXPECT_EQ(GetHostName(nullptr, &address), -1);
    EXPECT_EQ(GetHostName("127.0.0.22", nullptr), -1);
    EXPECT_EQ(address, 0x12345678U);
}

}  // namespace

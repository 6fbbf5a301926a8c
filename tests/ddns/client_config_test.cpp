// Entry points before and around configuration, where no server is reached.
#include <gtest/gtest.h>

#include <arpa/inet.h>

#include <array>
#include <string>

#include "ddns/ozu_dnsupdate.h"
#include "support/client_calls.h"
#include "support/output_capture.h"

namespace {

using namespace ozu_test;

CallOutcome captured_lookup()
{
    std::array<char, 64> name{};
    return captured_getname(name.data(), name.size());
}

TEST(Unconfigured, CallsFailQuietlyAndNoNameIsKnown)
{
    EXPECT_EQ(ozu_dnsupdate_pause(0), 0);
    EXPECT_EQ(ozu_dnsupdate_pause(1), 0);
    EXPECT_EQ(captured_once(0), kQuietFailure);
    EXPECT_EQ(captured_lookup(), kQuietFailure);

    std::array<char, 8> name{};
    name.fill('#');
    OutputCapture capture;
    EXPECT_EQ(ozu_dnsupdate_get_domainname(name.data()), -1);
    const CapturedOutput output = capture.finish();
    EXPECT_EQ(output.out, "");
    EXPECT_TRUE(starts_with(output.err, "invalid Name\n: ")) << output.err;
    EXPECT_EQ(output.err.back(), '\n');
    EXPECT_EQ(std::string(name.data(), name.size()), std::string(8, '#')) << "the buffer stays untouched";
}

TEST(Configuration, InitialisationAlwaysReturnsZero)
{
    EXPECT_EQ(ozu_dnsupdate_init(nullptr, -1, nullptr, nullptr, -1), 0);
    EXPECT_EQ(ozu_dnsupdate_init_v1(7, nullptr, 0, nullptr, nullptr, 0, 0), 0);
    EXPECT_EQ(ozu_dnsupdate_init_v2(7, nullptr, 0, nullptr, nullptr, nullptr, 0, 0), 0);
    EXPECT_EQ(ozu_dnsupdate_init("127.0.0.1", 80, "AA", "10.0.0.5", 300), 0);
}

// Refused for want of a server or a MAC: the message and the system's error text.
void expect_refused_unconfigured(const CallOutcome& run)
{
    EXPECT_EQ(run.result, -1);
    EXPECT_EQ(run.out, "");
    EXPECT_TRUE(starts_with(run.err, "DNS server or MAC is null\n: ")) << run.err;
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
    expect_refused_unconfigured(captured_lookup());
}

TEST(Configuration, LookupWithEmptyServerFailsQuietly)
{
    ozu_dnsupdate_init("", 8080, "00:11:22:33:44:55", "10.0.0.5", 300);
    EXPECT_EQ(captured_lookup(), kQuietFailure);
}

TEST(Resolution, ExportedFunctionResolvesDottedAddressesInNetworkOrder)
{
    std::uint32_t address = 0x12345678;
    EXPECT_EQ(GetHostName(nullptr, &address), -1);
    EXPECT_EQ(GetHostName("127.0.0.22", nullptr), -1);
    EXPECT_EQ(address, 0x12345678U);
    ASSERT_EQ(GetHostName("127.0.0.22", &address), 0);
    EXPECT_EQ(address, inet_addr("127.0.0.22"));
}

}  // namespace

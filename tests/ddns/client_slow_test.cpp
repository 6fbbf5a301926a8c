// A server that takes the request and never answers: the update gives up when the one
// 60-second budget runs out and reports it on standard error.
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "ddns/ozu_dnsupdate.h"
#include "support/client_calls.h"
#include "support/loopback_addresses.h"
#include "support/output_capture.h"
#include "support/scripted_peer.h"

namespace {

TEST(StallingServer, UpdateTimesOutAfterSixtySecondsAndForgetsTheName)
{
    const char* server = ozu_test::address::kSlowStallingServer;
    ozu_test::ScriptedPeer peer(
        server, {ozu_test::reply_with("HTTP/1.0 200 OK\r\n\r\nSUCC:online:10.0.0.5:cam1.ddns.test"), ozu_test::stall()});
    ASSERT_TRUE(peer.listening());
    ozu_dnsupdate_init(server, peer.port(), "00:11:22:33:44:55", "10.0.0.5", 300);
    ASSERT_EQ(ozu_dnsupdate_once(0), 0);

    const auto start = std::chrono::steady_clock::now();
    ozu_test::OutputCapture capture;
    const int result = ozu_dnsupdate_once(0);
    const ozu_test::CapturedOutput output = capture.finish();
    const auto elapsed = std::chrono::steady_clock::now() - start;

    EXPECT_EQ(result, -1);
    EXPECT_EQ(output.out, "");
    EXPECT_EQ(output.err, "timeout\n");
    EXPECT_GE(elapsed, std::chrono::seconds(59));
    EXPECT_LT(elapsed, std::chrono::seconds(75));
    EXPECT_EQ(ozu_test::cached_domain_name(), std::nullopt);
}

}  // namespace

// A socket that never becomes writable: the write wait gives up when the 60-second budget runs
// out and reports it on standard output.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <string>

#include "ddns/transport.h"
#include "support/clogged_connection.h"
#include "support/loopback_addresses.h"
#include "support/output_capture.h"

namespace {

TEST(CloggedConnection, WriteWaitTimesOutAfterSixtySeconds)
{
    ozu_test::CloggedConnection clogged(ozu_test::address::kSlowCloggedConnection);
    ozu::ddns::ExchangeBuffer buffer{};
    std::strcpy(buffer.data(), "GET / HTTP/1.0\r\n\r\n");

    const auto start = std::chrono::steady_clock::now();
    ozu_test::OutputCapture capture;
    const int received = ozu::ddns::exchange_http(clogged.take_client(), buffer);
    const ozu_test::CapturedOutput output = capture.finish();
    const auto elapsed = std::chrono::steady_clock::now() - start;

    EXPECT_EQ(received, -1);
    EXPECT_EQ(output.out, "time out\n");
    EXPECT_EQ(output.err, "");
    EXPECT_GE(elapsed, std::chrono::seconds(59));
    EXPECT_LT(elapsed, std::chrono::seconds(75));
}

}  // namespace

// The register channel's full 60-second wait, as the library runs it.
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "ddns/ozu_dnsupdate.h"
#include "ddns/register_module.h"
#include "register_test_support.h"
#include "support/output_capture.h"

namespace {

using namespace std::chrono_literals;

TEST(MyUpdateSlow, ServerThatNeverAnswersTimesOutAfterSixtySeconds) {
    auto server = register_test::start_server(ozu_test::address::kRegisterReadTimeoutSlow, ozu_ref::Fault::Stall);
    ASSERT_TRUE(server);
    ozu_dnsupdate_init_v2(0x1, ozu_test::address::kRegisterReadTimeoutSlow, 80, "SN1", "m", "1.2.3.4", 80, 300);
    char online[] = "online";
    ozu_test::OutputCapture capture;
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(my_update(DDNS_CMD_GET_DOMAIN, online), -1);
    const auto waited = std::chrono::steady_clock::now() - started;
    EXPECT_GE(waited, 59s);
    EXPECT_LT(waited, 75s);
    const ozu_test::CapturedOutput output = capture.finish();
    EXPECT_EQ(output.out, "");
    EXPECT_EQ(output.err, "timeout\n");
}

}  // namespace

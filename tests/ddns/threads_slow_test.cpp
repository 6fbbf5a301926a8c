// The background threads' schedules in real time: the worker's 5-second cadence, pause and
// resume, and the domain-name thread's retry and refresh pauses.
#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "ddns/ozu_dnsupdate.h"
#include "register_test_support.h"
#include "support/output_capture.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using register_test::reports_of;
using register_test::start_server;
using Reports = std::vector<std::string>;

// The time at which the server has received count exchanges, or nothing after timeout.
std::optional<Clock::time_point> arrival(const ozu_ref::ReferenceServer& server, std::size_t count,
                                         std::chrono::milliseconds timeout) {
    if (!server.wait_for_exchanges(count, timeout)) return std::nullopt;
    return Clock::now();
}

double seconds_between(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double>(to - from).count();
}

TEST(WorkerCadence, ReportsEveryFiveSecondsWithTheSmallestInterval) {
    auto server = start_server(ozu_test::address::kThreadsCadence);
    ASSERT_TRUE(server);
    // 1 second is below the smallest interval and becomes 5.
    ozu_dnsupdate_init_v1(0x1, ozu_test::address::kThreadsCadence, 80, "00:11:22:33:44:55", "10.0.0.2", 80, 1);
    const ozu_test::OutputCapture quiet;
    ASSERT_EQ(ozu_dnsupdate_start(), 0);
    std::optional<Clock::time_point> previous = arrival(*server, 2, 10s);
    for (std::size_t count = 3; count <= 4; ++count) {
        const auto next = arrival(*server, count, 10s);
        ASSERT_TRUE(previous && next);
        EXPECT_NEAR(seconds_between(*previous, *next), 5.0, 1.5);
        previous = next;
    }
    EXPECT_EQ(ozu_dnsupdate_stop(), 0);
    EXPECT_EQ(reports_of(*server), (Reports{"101 online", "102 online", "102 online", "102 online", "102 offline"}));
}

TEST(WorkerCadence, PauseStopsTheReportsAndResumeRestartsThemAtTheNextReload) {
    auto server = start_server(ozu_test::address::kThreadsPauseResume);
    ASSERT_TRUE(server);
    ozu_dnsupdate_init(ozu_test::address::kThreadsPauseResume, 80, "00:11:22:33:44:55", "10.0.0.2", 5);
    const ozu_test::OutputCapture quiet;
    ASSERT_EQ(ozu_dnsupdate_start(), 0);
    const auto first_online = arrival(*server, 2, 10s);
    ASSERT_TRUE(first_online);
    ozu_dnsupdate_pause(0);
    // The reload at 5 seconds passes without a report.
    EXPECT_FALSE(server->wait_for_exchanges(3, 7s));
    ozu_dnsupdate_pause(1);
    const auto resumed = arrival(*server, 3, 10s);
    ASSERT_TRUE(resumed);
    EXPECT_NEAR(seconds_between(*first_online, *resumed), 10.0, 1.5);
    EXPECT_EQ(ozu_dnsupdate_stop(), 0);
    EXPECT_EQ(reports_of(*server), (Reports{"101 online", "102 online", "102 online", "102 offline"}));
}

TEST(DomainNameThreadSchedule, RetriesAfterFifteenSecondsAndRefreshesAfterAMinute) {
    auto server = start_server(ozu_test::address::kThreadsDomainThreadRetry, ozu_ref::Fault::NotOk);
    ASSERT_TRUE(server);
    ozu_dnsupdate_init_v2(0x1, ozu_test::address::kThreadsDomainThreadRetry, 80, "SN1", "m", "10.0.0.2", 80, 300);
    const ozu_test::OutputCapture quiet;
    ASSERT_EQ(ozu_dnsupdate_init_rdn(), 0);
    const auto failed = arrival(*server, 1, 10s);
    ASSERT_TRUE(failed);
    server->set_fault(ozu_ref::Fault::None);
    const auto retried = arrival(*server, 2, 20s);
    ASSERT_TRUE(retried);
    EXPECT_NEAR(seconds_between(*failed, *retried), 15.0, 1.5);
    EXPECT_EQ(register_test::wait_for_domain_name(), "SN1.ddns.test");
    // After a success the next query waits a minute, not 15 seconds.
    EXPECT_FALSE(server->wait_for_exchanges(3, 20s));
}

}  // namespace

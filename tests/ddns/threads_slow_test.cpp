// The background threads' schedules in real time: the worker's 5-second cadence, pause and
// resume, and the domain-name thread's retry and refresh pauses.
#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <string>
#include <thread>

#include "ddns/ozu_dnsupdate.h"
#include "register_test_support.h"
#include "support/output_capture.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using register_test::command_of;
using register_test::register_exchanges;
using register_test::start_server;
using register_test::status_of;

// The time at which the server has received count exchanges, or nothing after timeout.
std::optional<Clock::time_point> arrival(const ozu_ref::ReferenceServer& server, std::size_t count,
                                         std::chrono::milliseconds timeout) {
    if (!server.wait_for_exchanges(count, timeout)) return std::nullopt;
    return Clock::now();
}

double seconds_between(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double>(to - from).count();
}

std::string report(const ozu_ref::Exchange& exchange) {
    return std::to_string(command_of(exchange)) + " " + status_of(exchange);
}

TEST(WorkerCadence, ReportsEveryFiveSecondsWithTheSmallestInterval) {
    auto server = start_server(ozu_test::address::kThreadsCadence);
    ASSERT_TRUE(server);
    // 1 second is below the smallest interval and becomes 5.
    ozu_dnsupdate_init_v1(0x1, ozu_test::address::kThreadsCadence, 80, "00:11:22:33:44:55", "10.0.0.2", 80, 1);
    const ozu_test::OutputCapture quiet;
    ASSERT_EQ(ozu_dnsupdate_start(), 0);
    const auto first = arrival(*server, 2, 10s);
    ASSERT_TRUE(first);
    const auto second = arrival(*server, 3, 10s);
    ASSERT_TRUE(second);
    const auto third = arrival(*server, 4, 10s);
    ASSERT_TRUE(third);
    EXPECT_NEAR(seconds_between(*first, *second), 5.0, 1.5);
    EXPECT_NEAR(seconds_between(*second, *third), 5.0, 1.5);
    EXPECT_EQ(ozu_dnsupdate_stop(), 0);
    const auto exchanges = register_exchanges(*server);
    ASSERT_EQ(exchanges.size(), 5u);
    EXPECT_EQ(report(exchanges[0]), "101 online");
    for (std::size_t i = 1; i < 4; ++i) EXPECT_EQ(report(exchanges[i]), "102 online");
    EXPECT_EQ(report(exchanges[4]), "102 offline");
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
    const auto exchanges = register_exchanges(*server);
    ASSERT_EQ(exchanges.size(), 4u);
    EXPECT_EQ(report(exchanges[2]), "102 online");
    EXPECT_EQ(report(exchanges[3]), "102 offline");
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
    char name[128] = {};
    const auto deadline = Clock::now() + 5s;
    while (ozu_dnsupdate_get_domainname(name) != 0 && Clock::now() < deadline) std::this_thread::sleep_for(20ms);
    EXPECT_STREQ(name, "SN1.ddns.test");
    // After a success the next query waits a minute, not 15 seconds.
    EXPECT_FALSE(server->wait_for_exchanges(3, 20s));
}

}  // namespace

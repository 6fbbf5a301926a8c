// Starting, pausing and stopping the update worker, and the domain-name thread, as the host
// drives them, against the reference server.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "ddns/ozu_dnsupdate.h"
#include "register_test_support.h"
#include "support/output_capture.h"

namespace {

using namespace std::chrono_literals;
using register_test::command_of;
using register_test::register_exchanges;
using register_test::start_server;
using register_test::status_of;

std::vector<std::string> reports_of(const ozu_ref::ReferenceServer& server) {
    std::vector<std::string> reports;
    for (const ozu_ref::Exchange& exchange : register_exchanges(server)) {
        reports.push_back(std::to_string(command_of(exchange)) + " " + status_of(exchange));
    }
    return reports;
}

void init_device(const char* server) {
    ozu_dnsupdate_init_v2(0x1, server, 80, "SN1", "00:11:22:33:44:55", "10.0.0.2", 80, 300);
}

// The reference server on `address`, and the client configured to report to it.
std::unique_ptr<ozu_ref::ReferenceServer> serve_device(const char* address) {
    auto server = start_server(address);
    init_device(address);
    return server;
}

// Keeps the worker's diagnostics out of the test log.
struct Quiet {
    ozu_test::OutputCapture capture;
};

TEST(WorkerLifecycle, StartAndStopNeedAnInitialisedClient) {
    EXPECT_EQ(ozu_dnsupdate_start(), -1);
    EXPECT_EQ(ozu_dnsupdate_stop(), -1);
}

TEST(WorkerLifecycle, WorkerAnnouncesReportsAndSendsTheOfflineReportOnStop) {
    auto server = serve_device(ozu_test::address::kThreadsStartStop);
    ASSERT_TRUE(server);
    const Quiet quiet;
    ASSERT_EQ(ozu_dnsupdate_start(), 0);
    ASSERT_TRUE(server->wait_for_exchanges(2, 10s));
    const auto stopping = std::chrono::steady_clock::now();
    EXPECT_EQ(ozu_dnsupdate_stop(), 0);
    // The stop is seen after the current one-second sleep; the offline exchange follows.
    EXPECT_LT(std::chrono::steady_clock::now() - stopping, 3s);
    EXPECT_EQ(reports_of(*server), (std::vector<std::string>{"101 online", "102 online", "102 offline"}));
    EXPECT_EQ(server->device_status("SN1"), "offline");
}

TEST(WorkerLifecycle, StopRightAfterStartStillSendsTheOfflineReport) {
    auto server = serve_device(ozu_test::address::kThreadsStartThenStop);
    ASSERT_TRUE(server);
    const Quiet quiet;
    ASSERT_EQ(ozu_dnsupdate_start(), 0);
    EXPECT_EQ(ozu_dnsupdate_stop(), 0);
    const std::vector<std::string> reports = reports_of(*server);
    const std::vector<std::string> without_online{"101 online", "102 offline"};
    const std::vector<std::string> with_online{"101 online", "102 online", "102 offline"};
    EXPECT_TRUE(reports == without_online || reports == with_online) << ::testing::PrintToString(reports);
}

TEST(WorkerLifecycle, SecondStartCreatesNoSecondWorker) {
    auto server = serve_device(ozu_test::address::kThreadsStartTwice);
    ASSERT_TRUE(server);
    const Quiet quiet;
    ASSERT_EQ(ozu_dnsupdate_start(), 0);
    EXPECT_EQ(ozu_dnsupdate_start(), 0);
    ASSERT_TRUE(server->wait_for_exchanges(2, 10s));
    EXPECT_FALSE(server->wait_for_exchanges(3, 2s));
    EXPECT_EQ(ozu_dnsupdate_stop(), 0);
    EXPECT_EQ(reports_of(*server), (std::vector<std::string>{"101 online", "102 online", "102 offline"}));
}

TEST(WorkerLifecycle, StopWithoutWorkerSucceedsAndStartStillWorks) {
    auto server = serve_device(ozu_test::address::kThreadsStopWithoutWorker);
    ASSERT_TRUE(server);
    const Quiet quiet;
    EXPECT_EQ(ozu_dnsupdate_stop(), 0);
    EXPECT_TRUE(register_exchanges(*server).empty());
    ASSERT_EQ(ozu_dnsupdate_start(), 0);
    ASSERT_TRUE(server->wait_for_exchanges(2, 10s));
    EXPECT_EQ(ozu_dnsupdate_stop(), 0);
    EXPECT_EQ(reports_of(*server), (std::vector<std::string>{"101 online", "102 online", "102 offline"}));
}

TEST(WorkerLifecycle, RunningFlagSetByPauseMakesStartCreateNothingUntilStop) {
    auto server = serve_device(ozu_test::address::kThreadsPausedBeforeStart);
    ASSERT_TRUE(server);
    const Quiet quiet;
    ozu_dnsupdate_pause(1);
    EXPECT_EQ(ozu_dnsupdate_start(), 0);
    EXPECT_FALSE(server->wait_for_exchanges(1, 2s));
    EXPECT_EQ(ozu_dnsupdate_stop(), 0);
    EXPECT_TRUE(register_exchanges(*server).empty());
    ASSERT_EQ(ozu_dnsupdate_start(), 0);
    EXPECT_TRUE(server->wait_for_exchanges(1, 10s));
    EXPECT_EQ(ozu_dnsupdate_stop(), 0);
    EXPECT_EQ(reports_of(*server).front(), "101 online");
}

TEST(WorkerLifecycle, StartWhilePausedStartsASecondWorkerAndStopEndsBoth) {
    auto server = serve_device(ozu_test::address::kThreadsSecondWorker);
    ASSERT_TRUE(server);
    const Quiet quiet;
    ASSERT_EQ(ozu_dnsupdate_start(), 0);
    ASSERT_TRUE(server->wait_for_exchanges(2, 10s));
    ozu_dnsupdate_pause(0);
    ASSERT_EQ(ozu_dnsupdate_start(), 0);
    ASSERT_TRUE(server->wait_for_exchanges(4, 10s));
    EXPECT_EQ(ozu_dnsupdate_stop(), 0);
    // Only the newer worker is joined; the older one sends its offline report on its own.
    ASSERT_TRUE(server->wait_for_exchanges(6, 10s));
    EXPECT_EQ(reports_of(*server), (std::vector<std::string>{"101 online", "102 online", "101 online",
                                                             "102 online", "102 offline", "102 offline"}));
}

TEST(DomainNameThread, LearnsSerialDotDomain) {
    auto server = serve_device(ozu_test::address::kThreadsDomainThread);
    ASSERT_TRUE(server);
    ozu_test::OutputCapture capture;
    ASSERT_EQ(ozu_dnsupdate_init_rdn(), 0);
    ASSERT_TRUE(server->wait_for_exchanges(1, 10s));
    char name[128] = {};
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    while (ozu_dnsupdate_get_domainname(name) != 0 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(20ms);
    }
    EXPECT_STREQ(name, "SN1.ddns.test");
    EXPECT_EQ(reports_of(*server), std::vector<std::string>{"103 online"});
    const std::string out = capture.finish().out;
    EXPECT_EQ(out, "this thread for update domain name, pid = [" + std::to_string(getpid()) + "]\n");
}

}  // namespace

// Starting, pausing and stopping the update worker, and the domain-name thread, as the host
// drives them, against the reference server.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "ddns/ozu_dnsupdate.h"
#include "register_test_support.h"
#include "support/output_capture.h"

namespace {

using namespace std::chrono_literals;
using register_test::reports_of;
using Reports = std::vector<std::string>;

const Reports kOneRound{"101 online", "102 online", "102 offline"};

// The reference server on `address`, and the client configured to report to it.
std::unique_ptr<ozu_ref::ReferenceServer> serve_device(const char* address) {
    auto server = register_test::start_server(address);
    ozu_dnsupdate_init_v2(0x1, address, 80, "SN1", "00:11:22:33:44:55", "10.0.0.2", 80, 300);
    return server;
}

TEST(WorkerLifecycle, StartAndStopNeedAnInitialisedClient) {
    EXPECT_EQ(ozu_dnsupdate_start(), -1);
    EXPECT_EQ(ozu_dnsupdate_stop(), -1);
}

TEST(WorkerLifecycle, WorkerAnnouncesReportsAndSendsTheOfflineReportOnStop) {
    auto server = serve_device(ozu_test::address::kThreadsStartStop);
    ASSERT_TRUE(server);
    const ozu_test::OutputCapture quiet;
    ASSERT_EQ(ozu_dnsupdate_start(), 0);
    ASSERT_TRUE(server->wait_for_exchanges(2, 10s));
    const auto stopping = std::chrono::steady_clock::now();
    EXPECT_EQ(ozu_dnsupdate_stop(), 0);
    // The stop is seen after the current one-second sleep; the offline exchange follows.
    EXPECT_LT(std::chrono::steady_clock::now() - stopping, 3s);
    EXPECT_EQ(reports_of(*server), kOneRound);
    EXPECT_EQ(server->device_status("SN1"), "offline");
}

TEST(WorkerLifecycle, StopRightAfterStartStillSendsTheOfflineReport) {
    auto server = serve_device(ozu_test::address::kThreadsStartThenStop);
    ASSERT_TRUE(server);
    const ozu_test::OutputCapture quiet;
    ASSERT_EQ(ozu_dnsupdate_start(), 0);
    EXPECT_EQ(ozu_dnsupdate_stop(), 0);
    const Reports reports = reports_of(*server);
    EXPECT_TRUE(reports == (Reports{"101 online", "102 offline"}) || reports == kOneRound)
        << ::testing::PrintToString(reports);
}

TEST(WorkerLifecycle, StopWithoutWorkerSucceedsAndASecondStartCreatesNoSecondWorker) {
    auto server = serve_device(ozu_test::address::kThreadsStartTwice);
    ASSERT_TRUE(server);
    const ozu_test::OutputCapture quiet;
    EXPECT_EQ(ozu_dnsupdate_stop(), 0);
    EXPECT_TRUE(reports_of(*server).empty());
    ASSERT_EQ(ozu_dnsupdate_start(), 0);
    EXPECT_EQ(ozu_dnsupdate_start(), 0);
    ASSERT_TRUE(server->wait_for_exchanges(2, 10s));
    EXPECT_FALSE(server->wait_for_exchanges(3, 2s));
    EXPECT_EQ(ozu_dnsupdate_stop(), 0);
    EXPECT_EQ(reports_of(*server), kOneRound);
}

TEST(WorkerLifecycle, RunningFlagSetByPauseMakesStartCreateNothingUntilStop) {
    auto server = serve_device(ozu_test::address::kThreadsPausedBeforeStart);
    ASSERT_TRUE(server);
    const ozu_test::OutputCapture quiet;
    ozu_dnsupdate_pause(1);
    EXPECT_EQ(ozu_dnsupdate_start(), 0);
    EXPECT_FALSE(server->wait_for_exchanges(1, 2s));
    EXPECT_EQ(ozu_dnsupdate_stop(), 0);
    EXPECT_TRUE(reports_of(*server).empty());
    ASSERT_EQ(ozu_dnsupdate_start(), 0);
    EXPECT_TRUE(server->wait_for_exchanges(1, 10s));
    EXPECT_EQ(ozu_dnsupdate_stop(), 0);
    EXPECT_EQ(reports_of(*server).front(), "101 online");
}

TEST(WorkerLifecycle, StartWhilePausedStartsASecondWorkerAndStopEndsBoth) {
    auto server = serve_device(ozu_test::address::kThreadsSecondWorker);
    ASSERT_TRUE(server);
    const ozu_test::OutputCapture quiet;
    ASSERT_EQ(ozu_dnsupdate_start(), 0);
    ASSERT_TRUE(server->wait_for_exchanges(2, 10s));
    ozu_dnsupdate_pause(0);
    ASSERT_EQ(ozu_dnsupdate_start(), 0);
    ASSERT_TRUE(server->wait_for_exchanges(4, 10s));
    EXPECT_EQ(ozu_dnsupdate_stop(), 0);
    // Only the newer worker is joined; the older one sends its offline report on its own.
    ASSERT_TRUE(server->wait_for_exchanges(6, 10s));
    EXPECT_EQ(reports_of(*server),
              (Reports{"101 online", "102 online", "101 online", "102 online", "102 offline", "102 offline"}));
}

TEST(DomainNameThread, LearnsSerialDotDomain) {
    auto server = serve_device(ozu_test::address::kThreadsDomainThread);
    ASSERT_TRUE(server);
    ozu_test::OutputCapture capture;
    ASSERT_EQ(ozu_dnsupdate_init_rdn(), 0);
    ASSERT_TRUE(server->wait_for_exchanges(1, 10s));
    EXPECT_EQ(register_test::wait_for_domain_name(), "SN1.ddns.test");
    EXPECT_EQ(reports_of(*server), Reports{"103 online"});
    EXPECT_EQ(capture.finish().out, "this thread for update domain name, pid = [" + std::to_string(getpid()) + "]\n");
}

}  // namespace

// The schedules of the update worker and the domain-name thread, driven with a simulated clock,
// and the start, stop and sleep primitives on their own.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "ddns/background_threads.h"
#include "ddns/device_msg.h"
#include "support/output_capture.h"

namespace {

using namespace std::chrono_literals;

struct Report {
    int second;  // one-second steps slept before it
    int command;
    std::string status;
    bool operator==(const Report& other) const {
        return second == other.second && command == other.command && status == other.status;
    }
};

std::ostream& operator<<(std::ostream& stream, const Report& report) {
    return stream << "{" << report.second << "s " << report.command << " " << report.status << "}";
}

// The simulated world of one worker run: a clock that advances with each sleep, and the
// host's actions scheduled at given seconds.
struct Simulation {
    std::atomic<int> running{1};
    std::atomic<int> exit_requested{0};
    int interval = 5;
    int second = 0;
    int report_result = 0;
    std::vector<Report> reports;
    std::vector<unsigned int> sleeps;
    std::function<void(Simulation&)> at_each_second;
};

Simulation* g_simulation = nullptr;

int simulated_report(int command, char* status) {
    g_simulation->reports.push_back(Report{g_simulation->second, command, status});
    return g_simulation->report_result;
}

int simulated_interval() {
    return g_simulation->interval;
}

void simulated_sleep(unsigned int milliseconds) {
    g_simulation->sleeps.push_back(milliseconds);
    ++g_simulation->second;
    g_simulation->at_each_second(*g_simulation);
}

std::vector<Report> run_worker(Simulation& simulation) {
    g_simulation = &simulation;
    ozu::ddns::run_update_worker(ozu::ddns::UpdateWorkerContext{simulation.running, simulation.exit_requested,
                                                                simulated_interval, simulated_report,
                                                                simulated_sleep});
    g_simulation = nullptr;
    return simulation.reports;
}

std::function<void(Simulation&)> exit_at(int second) {
    return [second](Simulation& simulation) {
        if (simulation.second == second) simulation.exit_requested = 1;
    };
}

const Report start{0, DDNS_CMD_START, "online"};

Report online(int second) {
    return Report{second, DDNS_CMD_UPDATE, "online"};
}

Report offline(int second) {
    return Report{second, DDNS_CMD_UPDATE, "offline"};
}

TEST(UpdateWorker, StopSeenAfterTheStartReportSendsOnlyTheOfflineReport) {
    Simulation simulation;
    simulation.exit_requested = 1;
    simulation.at_each_second = exit_at(-1);
    EXPECT_EQ(run_worker(simulation), (std::vector<Report>{start, offline(0)}));
    EXPECT_TRUE(simulation.sleeps.empty());
}

TEST(UpdateWorker, ReportsOnlineAtOnceAndThenEveryInterval) {
    Simulation simulation;
    simulation.at_each_second = exit_at(12);
    EXPECT_EQ(run_worker(simulation), (std::vector<Report>{start, online(0), online(5), online(10), offline(12)}));
    EXPECT_EQ(simulation.sleeps, std::vector<unsigned int>(12, 1000));
}

TEST(UpdateWorker, FailedReportsKeepTheSchedule) {
    Simulation simulation;
    simulation.report_result = -1;
    simulation.at_each_second = exit_at(7);
    EXPECT_EQ(run_worker(simulation), (std::vector<Report>{start, online(0), online(5), offline(7)}));
}

TEST(UpdateWorker, PauseSkipsReportsAndResumeWaitsForTheNextReload) {
    Simulation simulation;
    simulation.at_each_second = [](Simulation& s) {
        if (s.second == 3) s.running = 0;
        if (s.second == 7) s.running = 1;
        if (s.second == 16) s.exit_requested = 1;
    };
    EXPECT_EQ(run_worker(simulation), (std::vector<Report>{start, online(0), online(10), online(15), offline(16)}));
}

TEST(UpdateWorker, PausedWorkerStillReportsOfflineAtTheEnd) {
    Simulation simulation;
    simulation.running = 0;
    simulation.at_each_second = exit_at(11);
    EXPECT_EQ(run_worker(simulation), (std::vector<Report>{start, offline(11)}));
}

TEST(UpdateWorker, NewIntervalTakesEffectAtTheNextReload) {
    Simulation simulation;
    simulation.at_each_second = [](Simulation& s) {
        if (s.second == 2) s.interval = 3;
        if (s.second == 12) s.exit_requested = 1;
    };
    EXPECT_EQ(run_worker(simulation), (std::vector<Report>{start, online(0), online(5), online(8), online(11),
                                                           offline(12)}));
}

TEST(UpdateWorker, StopIsSeenAfterTheCurrentOneSecondSleep) {
    Simulation simulation;
    simulation.interval = 300;
    simulation.at_each_second = exit_at(1);
    EXPECT_EQ(run_worker(simulation), (std::vector<Report>{start, online(0), offline(1)}));
}

struct DomainPass {
    int result;
    unsigned int pause;
};

int g_domain_result = 0;
std::vector<std::string> g_domain_requests;

int domain_report(int command, char* status) {
    g_domain_requests.push_back(std::to_string(command) + " " + status);
    return g_domain_result;
}

TEST(DomainNameLoop, WaitsAMinuteAfterSuccessAndFifteenSecondsAfterFailure) {
    for (const DomainPass pass : {DomainPass{0, 60000}, DomainPass{-1, 15000}}) {
        g_domain_requests.clear();
        g_domain_result = pass.result;
        EXPECT_EQ(ozu::ddns::query_domain_name(domain_report), pass.pause);
        EXPECT_EQ(g_domain_requests, std::vector<std::string>{"103 online"});
    }
}

std::vector<unsigned int> g_domain_sleeps;
int g_domain_pass = 0;

int alternating_report(int, char*) {
    return g_domain_pass++ % 2 == 0 ? 0 : -1;
}

struct EndOfTest {};

void sleep_until_third(unsigned int milliseconds) {
    g_domain_sleeps.push_back(milliseconds);
    if (g_domain_sleeps.size() == 3) throw EndOfTest{};
}

TEST(DomainNameLoop, AnnouncesItselfAndQueriesForever) {
    ozu_test::OutputCapture capture;
    EXPECT_THROW(ozu::ddns::run_domain_name_thread(alternating_report, sleep_until_third), EndOfTest);
    EXPECT_EQ(g_domain_sleeps, (std::vector<unsigned int>{60000, 15000, 60000}));
    EXPECT_EQ(capture.finish().out,
              "this thread for update domain name, pid = [" + std::to_string(getpid()) + "]\n");
}

struct DetachedCheck {
    std::atomic<int> done{0};
    int detach_state = -1;
    int policy = -1;
    int priority = -1;
};

DetachedCheck g_detached;

void* note_own_attributes(void*) {
    pthread_attr_t attributes;
    pthread_getattr_np(pthread_self(), &attributes);
    pthread_attr_getdetachstate(&attributes, &g_detached.detach_state);
    pthread_attr_destroy(&attributes);
    sched_param parameters{};
    pthread_getschedparam(pthread_self(), &g_detached.policy, &parameters);
    g_detached.priority = parameters.sched_priority;
    g_detached.done = 1;
    return nullptr;
}

TEST(DomainNameLoop, StartsDetachedWithOrdinaryScheduling) {
    EXPECT_EQ(ozu::ddns::start_domain_name_thread(note_own_attributes), 0);
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    while (g_detached.done == 0 && std::chrono::steady_clock::now() < deadline) sleep_ms(10);
    ASSERT_EQ(g_detached.done, 1);
    EXPECT_EQ(g_detached.detach_state, PTHREAD_CREATE_DETACHED);
    EXPECT_EQ(g_detached.policy, SCHED_OTHER);
    EXPECT_EQ(g_detached.priority, 0);
}

pthread_mutex_t g_lock = PTHREAD_MUTEX_INITIALIZER;
std::atomic<int> g_running{0};
std::atomic<int> g_exit{0};
pthread_t g_handle{};
std::atomic<int> g_workers_started{0};
std::atomic<int> g_workers_ended{0};

void* counting_worker(void*) {
    ++g_workers_started;
    while (g_exit == 0) sleep_ms(10);
    ++g_workers_ended;
    return nullptr;
}

const ozu::ddns::UpdateWorkerState kState{g_lock, g_running, g_exit, g_handle};

bool wait_for(const std::atomic<int>& counter, int value) {
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    while (counter < value && std::chrono::steady_clock::now() < deadline) sleep_ms(10);
    return counter >= value;
}

TEST(WorkerStartStop, StartCreatesOneWorkerAndStopJoinsIt) {
    g_exit = 1;
    EXPECT_EQ(ozu::ddns::start_update_worker(kState, counting_worker), 0);
    EXPECT_EQ(g_running, 1);
    EXPECT_EQ(g_exit, 0);
    EXPECT_NE(g_handle, pthread_t{});
    EXPECT_EQ(ozu::ddns::start_update_worker(kState, counting_worker), 0);
    ASSERT_TRUE(wait_for(g_workers_started, 1));
    ozu::ddns::stop_update_worker(kState);
    EXPECT_EQ(g_workers_ended, 1);
    EXPECT_EQ(g_workers_started, 1);
    EXPECT_EQ(g_handle, pthread_t{});
    EXPECT_EQ(g_running, 0);
    EXPECT_EQ(g_exit, 1);
}

TEST(WorkerStartStop, StartWhilePausedCreatesASecondWorker) {
    EXPECT_EQ(ozu::ddns::start_update_worker(kState, counting_worker), 0);
    const pthread_t first = g_handle;
    g_running = 0;
    EXPECT_EQ(ozu::ddns::start_update_worker(kState, counting_worker), 0);
    EXPECT_NE(g_handle, first);
    ASSERT_TRUE(wait_for(g_workers_started, 2));
    ozu::ddns::stop_update_worker(kState);
    EXPECT_TRUE(wait_for(g_workers_ended, 2));
    pthread_join(first, nullptr);
}

TEST(WorkerStartStop, StopWithoutWorkerLeavesTheExitRequest) {
    g_exit = 0;
    g_running = 1;
    const int started = g_workers_started;
    ozu::ddns::stop_update_worker(kState);
    EXPECT_EQ(g_exit, 1);
    EXPECT_EQ(g_running, 0);
    EXPECT_EQ(g_workers_started, started);
}

TEST(SleepMs, WaitsTheGivenTime) {
    const auto started = std::chrono::steady_clock::now();
    sleep_ms(1200);
    const auto slept = std::chrono::steady_clock::now() - started;
    EXPECT_GE(slept, 1190ms);
    EXPECT_LT(slept, 3s);
}

}  // namespace

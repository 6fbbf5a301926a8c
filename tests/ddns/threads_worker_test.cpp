// The schedules of the update worker and the domain-name thread, driven with a simulated clock,
// and the start, stop and sleep primitives on their own.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <tuple>
#include <vector>

#include "ddns/background_threads.h"
#include "ddns/device_msg.h"
#include "support/output_capture.h"

namespace {

using namespace std::chrono_literals;

using Report = std::tuple<int, int, std::string>;  // one-second steps slept before it, command, status

// One simulated worker run: a clock that advances one second per sleep, and the host's
// actions at given seconds (-1: never; 0: before the worker starts).
struct Schedule {
    const char* name;
    int interval;
    int report_result;
    int pause_at;
    int resume_at;
    int shorten_interval_at;  // the interval becomes 3
    int exit_at;
    std::vector<Report> expected;
};

struct Simulation {
    explicit Simulation(const Schedule& planned) : schedule(planned), interval(planned.interval) { act(); }

    const Schedule& schedule;
    std::atomic<int> running{1};
    std::atomic<int> exit_requested{0};
    int interval;
    int second = 0;
    std::vector<Report> reports;
    std::vector<unsigned int> sleeps;

    void act() {
        if (second == schedule.pause_at) running = 0;
        if (second == schedule.resume_at) running = 1;
        if (second == schedule.shorten_interval_at) interval = 3;
        if (second == schedule.exit_at) exit_requested = 1;
    }
};

Simulation* g_simulation = nullptr;

int simulated_report(int command, char* status) {
    g_simulation->reports.push_back(Report{g_simulation->second, command, status});
    return g_simulation->schedule.report_result;
}

int simulated_interval() {
    return g_simulation->interval;
}

void simulated_sleep(unsigned int milliseconds) {
    g_simulation->sleeps.push_back(milliseconds);
    ++g_simulation->second;
    g_simulation->act();
}

const Report start{0, DDNS_CMD_START, "online"};

Report online(int second) {
    return Report{second, DDNS_CMD_UPDATE, "online"};
}

Report offline(int second) {
    return Report{second, DDNS_CMD_UPDATE, "offline"};
}

// The stop is seen only after the current one-second sleep; a pause skips reports and a
// resume or a new interval waits for the next reload.
const Schedule kSchedules[] = {
    {"stop_seen_after_start_report", 5, 0, -1, -1, -1, 0, {start, offline(0)}},
    {"online_at_once_then_every_interval", 5, 0, -1, -1, -1, 12,
     {start, online(0), online(5), online(10), offline(12)}},
    {"failed_reports_keep_the_schedule", 5, -1, -1, -1, -1, 7, {start, online(0), online(5), offline(7)}},
    {"pause_and_resume", 5, 0, 3, 7, -1, 16, {start, online(0), online(10), online(15), offline(16)}},
    {"paused_worker_still_reports_offline", 5, 0, 0, -1, -1, 11, {start, offline(11)}},
    {"new_interval_at_next_reload", 5, 0, -1, -1, 2, 12,
     {start, online(0), online(5), online(8), online(11), offline(12)}},
    {"stop_within_a_long_interval", 300, 0, -1, -1, -1, 1, {start, online(0), offline(1)}},
};

TEST(UpdateWorker, FollowsTheHostsSchedule) {
    for (const Schedule& schedule : kSchedules) {
        SCOPED_TRACE(schedule.name);
        Simulation simulation(schedule);
        g_simulation = &simulation;
        ozu::ddns::run_update_worker(ozu::ddns::UpdateWorkerContext{simulation.running, simulation.exit_requested,
                                                                    simulated_interval, simulated_report,
                                                                    simulated_sleep});
        g_simulation = nullptr;
        EXPECT_EQ(simulation.reports, schedule.expected);
        EXPECT_EQ(simulation.sleeps, std::vector<unsigned int>(static_cast<std::size_t>(schedule.exit_at), 1000));
    }
}

std::vector<unsigned int> g_domain_sleeps;
int g_domain_pass = 0;
std::vector<std::string> g_domain_requests;

int alternating_report(int command, char* status) {
    g_domain_requests.push_back(std::to_string(command) + " " + status);
    return g_domain_pass++ % 2 == 0 ? 0 : -1;
}

struct EndOfTest {};

void sleep_until_third(unsigned int milliseconds) {
    g_domain_sleeps.push_back(milliseconds);
    if (g_domain_sleeps.size() == 3) throw EndOfTest{};
}

// Queries succeed, fail, succeed: a minute's pause after success, fifteen seconds after failure.
TEST(DomainNameLoop, AnnouncesItselfAndQueriesForever) {
    ozu_test::OutputCapture capture;
    EXPECT_THROW(ozu::ddns::run_domain_name_thread(alternating_report, sleep_until_third), EndOfTest);
    EXPECT_EQ(g_domain_sleeps, (std::vector<unsigned int>{60000, 15000, 60000}));
    EXPECT_EQ(g_domain_requests, std::vector<std::string>(3, "103 online"));
    EXPECT_EQ(capture.finish().out,
              "this thread for update domain name, pid = [" + std::to_string(getpid()) + "]\n");
}

bool wait_for(const std::atomic<int>& counter, int value) {
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    while (counter < value && std::chrono::steady_clock::now() < deadline) sleep_ms(10);
    return counter >= value;
}

std::atomic<int> g_attributes_noted{0};
int g_detach_state = -1;
int g_policy = -1;
sched_param g_scheduling{};

void* note_own_attributes(void*) {
    pthread_attr_t attributes;
    pthread_getattr_np(pthread_self(), &attributes);
    pthread_attr_getdetachstate(&attributes, &g_detach_state);
    pthread_attr_destroy(&attributes);
    pthread_getschedparam(pthread_self(), &g_policy, &g_scheduling);
    g_attributes_noted = 1;
    return nullptr;
}

TEST(DomainNameLoop, StartsDetachedWithOrdinaryScheduling) {
    EXPECT_EQ(ozu::ddns::start_domain_name_thread(note_own_attributes), 0);
    ASSERT_TRUE(wait_for(g_attributes_noted, 1));
    EXPECT_EQ(g_detach_state, PTHREAD_CREATE_DETACHED);
    EXPECT_EQ(g_policy, SCHED_OTHER);
    EXPECT_EQ(g_scheduling.sched_priority, 0);
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

TEST(SleepMs, WaitsTheGivenTime) {
    const auto started = std::chrono::steady_clock::now();
    sleep_ms(1200);
    const auto slept = std::chrono::steady_clock::now() - started;
    EXPECT_GE(slept, 1190ms);
    EXPECT_LT(slept, 3s);
}

}  // namespace

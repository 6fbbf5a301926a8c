// The schedules of the update worker and the domain-name thread on a simulated clock, and the
// rules by which start and stop create, count and join workers.
#include <sstream>

#include "ddns/background_threads.h"
#include "support/client_test.h"

namespace {

// One worker run on a clock that advances a second per sleep. The host acts at given seconds
// ("p3": pause at 3, "r7": resume, "i2": the interval becomes 3, "x12": stop; 0 is before the
// worker starts); the reports read "second:command status".
struct Schedule {
    const char* name;
    int interval;
    int report_result;
    std::string actions;
    std::string reports{};
};

struct Simulation {
    const Schedule& schedule;
    int interval;
    std::atomic<int> running{1};
    std::atomic<int> exit_requested{0};
    int second = 0;
    std::string reports{};
    std::vector<unsigned int> sleeps{};
};

Simulation* g_run = nullptr;

void act()
{
    std::istringstream actions(g_run->schedule.actions);
    char action = 0;
    for (int second = 0; actions >> action >> second;) {
        if (second == g_run->second) {
            g_run->running = action == 'p' ? 0 : action == 'r' ? 1 : g_run->running.load();
            g_run->interval = action == 'i' ? 3 : g_run->interval;
            g_run->exit_requested = action == 'x' ? 1 : g_run->exit_requested.load();
        }
    }
}

// The first report comes at once; a stop is seen after the current one-second sleep; a pause skips
// reports, and a resume or a new interval waits for the next reload; failed reports change nothing.
const Schedule kSchedules[] = {
    {"stop_seen_after_start_report", 5, 0, "x0", "0:101 online|0:102 offline|"},
    {"online_at_once_then_every_interval", 5, 0, "x12",
     "0:101 online|0:102 online|5:102 online|10:102 online|12:102 offline|"},
    {"failed_reports_keep_the_schedule", 5, -1, "x7", "0:101 online|0:102 online|5:102 online|7:102 offline|"},
    {"pause_and_resume", 5, 0, "p3 r7 x16", "0:101 online|0:102 online|10:102 online|15:102 online|16:102 offline|"},
    {"paused_worker_still_reports_offline", 5, 0, "p0 x11", "0:101 online|11:102 offline|"},
    {"new_interval_at_next_reload", 5, 0, "i2 x12",
     "0:101 online|0:102 online|5:102 online|8:102 online|11:102 online|12:102 offline|"},
    {"stop_within_a_long_interval", 300, 0, "x1", "0:101 online|0:102 online|1:102 offline|"},
};

TEST(UpdateWorker, FollowsTheHostsSchedule)
{
    for (const Schedule& schedule : kSchedules) {
        SCOPED_TRACE(schedule.name);
        Simulation run{schedule, schedule.interval};
        g_run = &run;
        act();
        const auto report = [](int command, char* status) {
            g_run->reports += std::to_string(g_run->second) + ":" + std::to_string(command) + " " + status + "|";
            return g_run->schedule.report_result;
        };
        const auto sleep = [](unsigned int milliseconds) {
            g_run->sleeps.push_back(milliseconds);
            ++g_run->second;
            act();
        };
        ozu::ddns::run_update_worker({run.running, run.exit_requested, [] { return g_run->interval; }, report, sleep});
        EXPECT_EQ(run.reports, schedule.reports);
        EXPECT_EQ(run.sleeps, std::vector<unsigned int>(static_cast<std::size_t>(run.second), 1000));
    }
}

std::vector<unsigned int> g_domain_sleeps;
std::string g_domain_queries;

int alternating_report(int command, char* status)
{
    g_domain_queries += std::to_string(command) + " " + status + "|";
    return g_domain_sleeps.size() % 2 == 0 ? 0 : -1;
}

struct EndOfTest {};

void sleep_until_third(unsigned int milliseconds)
{
    g_domain_sleeps.push_back(milliseconds);
    if (g_domain_sleeps.size() == 3) {
        throw EndOfTest{};
    }
}

// Queries succeed, fail, succeed: a minute's pause after success, fifteen seconds after failure.
TEST(DomainNameLoop, AnnouncesItselfAndQueriesForever)
{
    testing::internal::CaptureStdout();
    EXPECT_THROW(ozu::ddns::run_domain_name_thread(alternating_report, sleep_until_third), EndOfTest);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "this thread for update domain name, pid = [" + std::to_string(getpid()) + "]\n");
    EXPECT_EQ(g_domain_sleeps, (std::vector<unsigned int>{60000, 15000, 60000}));
    EXPECT_EQ(g_domain_queries, "103 online|103 online|103 online|");
}

pthread_mutex_t g_lock = PTHREAD_MUTEX_INITIALIZER;
std::atomic<int> g_running{0};
std::atomic<int> g_exit{0};
pthread_t g_handle{};
std::atomic<int> g_started{0};
std::atomic<int> g_ended{0};
const ozu::ddns::UpdateWorkerState kState{g_lock, g_running, g_exit, g_handle};

void* counting_worker(void*)
{
    ++g_started;
    while (g_exit == 0) {
        sleep_ms(10);
    }
    ++g_ended;
    return nullptr;
}

bool reaches(const std::atomic<int>& counter, int value)
{
    for (int wait = 0; wait < 500 && counter < value; ++wait) {
        sleep_ms(10);
    }
    return counter >= value;
}

// A running flag set by a pause before any start stands for a worker until stop clears it; cleared
// by a pause while a worker runs, it lets start add a second worker, and stop ends both.
TEST(WorkerStartStop, FollowTheRunningFlag)
{
    g_running = 1;
    EXPECT_EQ(ozu::ddns::start_update_worker(kState, counting_worker), 0);
    EXPECT_EQ(g_handle, pthread_t{});
    ozu::ddns::stop_update_worker(kState);
    EXPECT_EQ(ozu::ddns::start_update_worker(kState, counting_worker), 0);
    EXPECT_EQ(ozu::ddns::start_update_worker(kState, counting_worker), 0);
    EXPECT_TRUE(reaches(g_started, 1));
    g_running = 0;
    EXPECT_EQ(ozu::ddns::start_update_worker(kState, counting_worker), 0);
    EXPECT_TRUE(reaches(g_started, 2));
    ozu::ddns::stop_update_worker(kState);
    EXPECT_TRUE(reaches(g_ended, 2));
    EXPECT_EQ(g_started, 2);
    EXPECT_EQ(g_handle, pthread_t{});
    EXPECT_EQ(g_running, 0);
    EXPECT_EQ(g_exit, 1);
}

}  // namespace

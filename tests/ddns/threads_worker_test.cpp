// The schedules of the update worker and the domain-name thread on a simulated clock, and the
// rules by which start and stop create, count and join workers.
#include <sstream>

#include "ddns/background_threads.h"
#include "support/client_support.h"

namespace ozu::test {
namespace {

// One worker run on a clock that advances a second per sleep. The host acts at given seconds
// ("p3": pause at 3, "r7": resume, "i2": the interval becomes 3, "x12": stop; 0 is before the
// worker starts); the reports read "second:command status", and sleeps other than one second are noted.
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
            g_run->reports += milliseconds == 1000 ? "" : "sleep " + std::to_string(milliseconds) + "|";
            ++g_run->second;
            act();
        };
        ozu::ddns::run_update_worker({run.running, run.exit_requested, [] { return g_run->interval; }, report, sleep});
        EXPECT_EQ(run.reports, schedule.reports);
    }
}

std::string g_domain_log;
int g_domain_sleeps = 0;
struct EndOfTest {};

// Queries succeed, fail, succeed: a minute's pause after success, fifteen seconds after failure.
TEST(DomainNameLoop, AnnouncesItselfAndQueriesForever)
{
    const auto report = [](int command, char* status) {
        g_domain_log += std::to_string(command) + " " + status + " ";
        return -(g_domain_sleeps % 2);
    };
    const auto sleep = [](unsigned int milliseconds) {
        g_domain_log += std::to_string(milliseconds) + "|";
        if (++g_domain_sleeps == 3) {
            throw EndOfTest{};
        }
    };
    testing::internal::CaptureStdout();
    EXPECT_THROW(ozu::ddns::run_domain_name_thread(report, sleep), EndOfTest);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "this thread for update domain name, pid = [" + std::to_string(getpid()) + "]\n");
    EXPECT_EQ(g_domain_log, "103 online 60000|103 online 15000|103 online 60000|");
}

pthread_mutex_t g_lock = PTHREAD_MUTEX_INITIALIZER;
std::atomic<int> g_running{0};
std::atomic<int> g_exit{0};
pthread_t g_handle{};
std::atomic<int> g_started{0};
std::atomic<int> g_ended{0};

void* counting_worker(void*)
{
    ++g_started;
    while (g_exit == 0) {
        sleep_ms(10);
    }
    ++g_ended;
    return nullptr;
}

// A running flag set by a pause before any start stands for a worker until stop clears it; cleared by a pause
// while a worker runs, it lets start add a second worker, and stop ends both.
TEST(WorkerStartStop, FollowTheRunningFlag)
{
    const ozu::ddns::UpdateWorkerState state{g_lock, g_running, g_exit, g_handle};
    const auto start = [&state] {
        return ozu::ddns::start_update_worker(state, counting_worker);
    };
    g_running = 1;
    EXPECT_TRUE(start());
    ozu::ddns::stop_update_worker(state);
    EXPECT_TRUE(start() && start());
    g_running = 0;
    EXPECT_TRUE(start());
    ozu::ddns::stop_update_worker(state);
    for (int wait = 0; wait < 500 && g_ended < 2; ++wait) {
        sleep_ms(10);
    }
    EXPECT_EQ(std::make_tuple(g_started.load(), g_ended.load(), g_handle, g_running.load()),
              std::make_tuple(2, 2, pthread_t{}, 0));
}

}  // namespace
}  // namespace ozu::test

// The update worker, the domain-name thread and host threads calling the entry points all at
// once against the reference server, for a few seconds. Every call must return within one
// exchange's limit, and a watchdog ends the test instead of letting a deadlock hang it. The
// ThreadSanitizer build runs it to find data races.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "ddns/ozu_dnsupdate.h"
#include "ddns/register_module.h"
#include "register_test_support.h"
#include "support/client_calls.h"
#include "support/output_capture.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr auto kStressTime = 5s;
constexpr auto kPace = 2ms;
// One exchange: the 60-second budget and a connect on loopback.
constexpr auto kCallBound = 61s;
// The stress, a last call in every loop, and a stop that waits for an exchange, a one-second
// sleep and the offline exchange.
constexpr auto kWatchdogLimit = kStressTime + 4 * kCallBound;

const char* const kServer = ozu_test::address::kStress;

// One host thread's loop: how often it called, how often the result was neither 0 nor -1,
// how often it succeeded and the longest call.
struct LoopRecord {
    std::string entry;
    int calls = 0;
    int successes = 0;
    int unexpected = 0;
    Clock::duration longest{};
};

class Loop {
public:
    Loop(std::string entry, std::function<int(int round)> call, const std::atomic<bool>& stop)
        : thread_([this, call = std::move(call), &stop] { run(call, stop); })
    {
        record_.entry = std::move(entry);
    }

    LoopRecord finish()
    {
        thread_.join();
        return record_;
    }

private:
    void run(const std::function<int(int)>& call, const std::atomic<bool>& stop)
    {
        while (!stop) {
            const auto start = Clock::now();
            const int result = call(record_.calls++);
            record_.longest = std::max(record_.longest, Clock::now() - start);
            record_.successes += result == 0 ? 1 : 0;
            record_.unexpected += result != 0 && result != -1 ? 1 : 0;
            std::this_thread::sleep_for(kPace);
        }
    }

    LoopRecord record_;
    std::thread thread_;
};

// Ends the process, with a message on the real standard error, unless disarmed in time.
class Watchdog {
public:
    explicit Watchdog(std::chrono::seconds limit) : stderrCopy_(dup(STDERR_FILENO)), thread_([this, limit] {
        std::unique_lock<std::mutex> lock(mutex_);
        if (!changed_.wait_for(lock, limit, [this] { return disarmed_; })) {
            dprintf(stderrCopy_, "watchdog: the stress did not end within %lld s\n",
                    static_cast<long long>(limit.count()));
            std::_Exit(1);
        }
    })
    {
    }

    ~Watchdog()
    {
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            disarmed_ = true;
        }
        changed_.notify_all();
        thread_.join();
        close(stderrCopy_);
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool disarmed_ = false;
    int stderrCopy_;
    std::thread thread_;
};

int reinitialise(int round)
{
    const char* mac = ozu_test::kMac.c_str();
    const char* ip = ozu_test::kIp.c_str();
    switch (round % 3) {
    case 0:
        return ozu_dnsupdate_init(kServer, ozu_test::kReferenceHttpPort, mac, ip, 5);
    case 1:
        return ozu_dnsupdate_init_v1(7, kServer, ozu_test::kReferenceHttpPort, mac, ip, 80, 5);
    default:
        return ozu_dnsupdate_init_v2(7, kServer, ozu_test::kReferenceHttpPort, "SN1", mac, ip, 80, 5);
    }
}

std::vector<LoopRecord> run_host_threads(ozu_ref::ReferenceServer& server)
{
    std::atomic<bool> stop{false};
    std::vector<std::unique_ptr<Loop>> loops;
    const auto add = [&](std::string entry, std::function<int(int)> call) {
        loops.push_back(std::make_unique<Loop>(std::move(entry), std::move(call), stop));
    };
    // Two threads each, so that one-shot calls also meet one another in the resolution lock.
    for (int twice = 0; twice < 2; ++twice) {
        add("ozu_dnsupdate_once", [](int round) { return ozu_dnsupdate_once(round % 2); });
        add("ozu_dnsupdate_getname", [](int) {
            std::array<char, 128> name{};
            return ozu_dnsupdate_getname(name.data(), name.size());
        });
    }
    add("ozu_dnsupdate_get_domainname", [](int) {
        std::array<char, 4096> name{};
        return ozu_dnsupdate_get_domainname(name.data());
    });
    add("ozu_dnsupdate_pause and re-initialisation", [](int round) {
        ozu_dnsupdate_pause(round % 4 != 0);
        return reinitialise(round);
    });
    // The domain-name thread's exchange at a short interval (the thread itself waits a minute).
    add("my_update(103)", [](int) {
        char online[] = "online";
        return my_update(DDNS_CMD_GET_DOMAIN, online);
    });
    // Failed exchanges now and then, so that names are forgotten and fetched again.
    add("reference server fault", [&server](int round) {
        server.set_fault(round % 4 == 0 ? ozu_ref::Fault::CloseWithoutAnswer : ozu_ref::Fault::None);
        return 0;
    });
    std::this_thread::sleep_for(kStressTime);
    stop = true;
    std::vector<LoopRecord> records;
    for (const std::unique_ptr<Loop>& loop : loops) {
        records.push_back(loop->finish());
    }
    return records;
}

// The domain-name thread may run before the first initialisation. Holding standard output keeps
// it at its greeting line until ozu_dnsupdate_init_v2 has returned; its first exchange then takes
// m_lock before any host call does, meeting whatever the initialisation did to the mutex.
void start_domain_name_thread_first(const ozu_ref::ReferenceServer& server)
{
    flockfile(stdout);
    const int created = ozu_dnsupdate_init_rdn();
    reinitialise(2);
    funlockfile(stdout);
    ASSERT_EQ(created, 0);
    EXPECT_TRUE(server.wait_for_exchanges(1, 5s)) << "the domain-name thread sent no record";
}

int successes_of(const std::vector<LoopRecord>& records, const std::string& entry)
{
    int successes = 0;
    for (const LoopRecord& record : records) {
        successes += record.entry == entry ? record.successes : 0;
    }
    return successes;
}

TEST(Stress, EntryPointsAndBackgroundThreadsTogetherStayWithinTheirBounds)
{
    const Watchdog watchdog(std::chrono::duration_cast<std::chrono::seconds>(kWatchdogLimit));
    auto server = register_test::start_server(kServer, ozu_ref::Fault::None, ozu_test::kReferenceHttpPort);
    ASSERT_TRUE(server);
    server->set_domain(ozu_test::kMac, "cam1");
    server->set_domain("SN1", "cam1");
    ozu_test::OutputCapture capture;
    start_domain_name_thread_first(*server);
    ASSERT_EQ(ozu_dnsupdate_start(), 0);

    const std::vector<LoopRecord> records = run_host_threads(*server);
    const auto stopping = Clock::now();
    EXPECT_EQ(ozu_dnsupdate_stop(), 0);
    const auto stopTime = Clock::now() - stopping;
    const ozu_test::CapturedOutput output = capture.finish();

    // A sanitizer reports on standard error, which was captured with the library's messages.
    const bool sanitizerReported = output.err.find("Sanitizer") != std::string::npos;
    EXPECT_FALSE(sanitizerReported);
    if (sanitizerReported) {
        std::fputs(output.err.c_str(), stderr);
    }

    EXPECT_LT(stopTime, 2 * kCallBound + 1s);
    for (const LoopRecord& record : records) {
        std::printf("%s: %d calls, %d succeeded, longest %lld ms\n", record.entry.c_str(), record.calls,
                    record.successes,
                    static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(record.longest).count()));
        SCOPED_TRACE(record.entry);
        EXPECT_GT(record.calls, 0);
        EXPECT_EQ(record.unexpected, 0);
        EXPECT_LT(record.longest, kCallBound);
    }
    EXPECT_GT(successes_of(records, "ozu_dnsupdate_once"), 0) << "no update reached the server";
    EXPECT_GT(successes_of(records, "my_update(103)"), 0) << "no register exchange reached the server";
    const std::vector<std::string> reports = register_test::reports_of(*server);
    EXPECT_NE(std::find(reports.begin(), reports.end(), "101 online"), reports.end());
    EXPECT_EQ(reports.back(), "102 offline");
}

}  // namespace

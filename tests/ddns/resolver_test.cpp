// Resolution: one thread at a time, never waiting, and a resolver reload per change of the
// configuration file's modification time.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <future>
#include <mutex>
#include <string>

#include "ddns/transport.h"

namespace {

using ozu::ddns::ResolverContext;
using ozu::ddns::resolve_ipv4;

std::atomic<int> g_reloads{0};

void count_reload()
{
    ++g_reloads;
}

class Resolution : public testing::Test {
protected:
    void SetUp() override
    {
        g_reloads = 0;
        char pattern[] = "/tmp/ozu_resolv_conf_XXXXXX";
        const int descriptor = mkstemp(pattern);
        ASSERT_GE(descriptor, 0);
        close(descriptor);
        path_ = pattern;
        set_mtime(1000000000);
    }

    void TearDown() override
    {
        if (!path_.empty()) {
            unlink(path_.c_str());
        }
    }

    void set_mtime(time_t seconds)
    {
        const timespec times[2] = {{seconds, 0}, {seconds, 0}};
        ASSERT_EQ(utimensat(AT_FDCWD, path_.c_str(), times, 0), 0);
    }

    ResolverContext context() { return {&lock_, &mtime_, path_.c_str(), count_reload}; }

    std::uint32_t resolve_loopback()
    {
        std::uint32_t address = 0;
        EXPECT_EQ(resolve_ipv4("127.0.0.9", &address, context()), 0);
        return address;
    }

    pthread_mutex_t lock_ = PTHREAD_MUTEX_INITIALIZER;
    std::int32_t mtime_ = 0;
    std::string path_;
};

TEST_F(Resolution, ReloadsOncePerChangeOfModificationTime)
{
    set_mtime(0);
    EXPECT_EQ(resolve_loopback(), inet_addr("127.0.0.9"));
    EXPECT_EQ(g_reloads, 0) << "time zero is no change from the initial zero";

    set_mtime(1000000000);
    resolve_loopback();
    resolve_loopback();
    EXPECT_EQ(g_reloads, 1);

    set_mtime(999999000);
    resolve_loopback();
    resolve_loopback();
    EXPECT_EQ(g_reloads, 2) << "an older time is a change too";

    ASSERT_EQ(unlink(path_.c_str()), 0);
    EXPECT_EQ(resolve_loopback(), inet_addr("127.0.0.9"));
    EXPECT_EQ(g_reloads, 2) << "a missing file leaves the resolver and the time alone";
    EXPECT_EQ(mtime_, 999999000);
}

TEST_F(Resolution, BusyLockOrNullArgumentsFailAtOnceAndLeaveAddressAlone)
{
    std::uint32_t address = 0xdeadbeef;
    EXPECT_EQ(resolve_ipv4(nullptr, &address, context()), -1);
    EXPECT_EQ(resolve_ipv4("127.0.0.9", nullptr, context()), -1);
    pthread_mutex_lock(&lock_);
    EXPECT_EQ(resolve_ipv4("127.0.0.9", &address, context()), -1);
    pthread_mutex_unlock(&lock_);
    EXPECT_EQ(address, 0xdeadbeefU);
    EXPECT_EQ(g_reloads, 0);
}

// The first thread is held inside its resolution (in the reload); the second must fail at once.
std::mutex g_gateMutex;
std::condition_variable g_gate;
bool g_inside = false;
bool g_released = false;

void block_inside_reload()
{
    std::unique_lock<std::mutex> lock(g_gateMutex);
    g_inside = true;
    g_gate.notify_all();
    g_gate.wait_for(lock, std::chrono::seconds(10), [] { return g_released; });
}

TEST_F(Resolution, SecondThreadFailsAtOnceWhileFirstResolves)
{
    const ResolverContext blocking{&lock_, &mtime_, path_.c_str(), block_inside_reload};
    auto first = std::async(std::launch::async, [&] {
        std::uint32_t address = 0;
        return resolve_ipv4("127.0.0.9", &address, blocking);
    });
    {
        std::unique_lock<std::mutex> lock(g_gateMutex);
        ASSERT_TRUE(g_gate.wait_for(lock, std::chrono::seconds(10), [] { return g_inside; }));
    }

    std::uint32_t address = 0xdeadbeef;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(resolve_ipv4("127.0.0.10", &address, blocking), -1);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500));
    EXPECT_EQ(address, 0xdeadbeefU);

    {
        const std::lock_guard<std::mutex> lock(g_gateMutex);
        g_released = true;
    }
    g_gate.notify_all();
    EXPECT_EQ(first.get(), 0);
}

}  // namespace

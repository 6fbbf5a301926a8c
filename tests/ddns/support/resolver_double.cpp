#include "support/resolver_double.h"

#include <dlfcn.h>
#include <netdb.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <string_view>

#include "ddns/ozu_dnsupdate.h"

namespace ozu_test {

namespace {

// Bounds every wait, so that a broken test cannot hang.
constexpr std::chrono::seconds kHoldLimit{10};

std::atomic<int> g_invalidNamesAnswered{0};

std::mutex g_mutex;
std::condition_variable g_changed;
bool g_entered = false;
bool g_released = false;

bool is_invalid_name(std::string_view name)
{
    constexpr std::string_view kInvalid = ".invalid";
    return name.size() >= kInvalid.size() && name.substr(name.size() - kInvalid.size()) == kInvalid;
}

void hold_until_released()
{
    std::unique_lock<std::mutex> lock(g_mutex);
    g_entered = true;
    g_changed.notify_all();
    g_changed.wait_for(lock, kHoldLimit, [] { return g_released; });
}

}  // namespace

int invalid_names_answered()
{
    return g_invalidNamesAnswered;
}

HeldResolution::HeldResolution()
{
    resolver_ = std::thread([] {
        std::uint32_t address = 0;
        GetHostName(kHeldName, &address);
    });
    std::unique_lock<std::mutex> lock(g_mutex);
    holding_ = g_changed.wait_for(lock, kHoldLimit, [] { return g_entered; });
}

HeldResolution::~HeldResolution()
{
    {
        const std::lock_guard<std::mutex> lock(g_mutex);
        g_released = true;
    }
    g_changed.notify_all();
    resolver_.join();
}

}  // namespace ozu_test

extern "C" int getaddrinfo(const char* node, const char* service, const addrinfo* hints, addrinfo** result) noexcept
{
    if (node != nullptr && ozu_test::is_invalid_name(node)) {
        if (std::strcmp(node, ozu_test::kHeldName) == 0) {
            ozu_test::hold_until_released();
        }
        ++ozu_test::g_invalidNamesAnswered;
        return EAI_NONAME;
    }
    using Getaddrinfo = int (*)(const char*, const char*, const addrinfo*, addrinfo**);
    static const auto next = reinterpret_cast<Getaddrinfo>(dlsym(RTLD_NEXT, "getaddrinfo"));
    return next(node, service, hints, result);
}

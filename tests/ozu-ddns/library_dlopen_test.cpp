// A device application loads the library with dlopen and finds the entry points by their plain names.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <string>

#include "reference_server.h"
#include "server_test_support.h"
#include "test_addresses.h"
#include "tool_test_addresses.h"

namespace {

using InitV2Fn = int (*)(std::int32_t, const char*, int, const char*, const char*, const char*, int, int);
using OnceFn = int (*)(int);
using GetNameFn = int (*)(char*, unsigned int);

constexpr std::array<const char*, 11> kEntryPoints = {
    "ozu_dnsupdate_init",  "ozu_dnsupdate_init_v1", "ozu_dnsupdate_init_v2",        "ozu_dnsupdate_pause",
    "ozu_dnsupdate_start", "ozu_dnsupdate_stop",    "ozu_dnsupdate_init_rdn",       "ozu_dnsupdate_get_domainname",
    "ozu_dnsupdate_once",  "ozu_dnsupdate_getname", "GetHostName"};

template <typename Fn>
Fn entry_point(void* library, const char* name) {
    return reinterpret_cast<Fn>(dlsym(library, name));
}

TEST(LibraryDlopen, RegistersThroughTheEntryPointsFoundByName) {
    // Never closed: a device application keeps the library for its lifetime.
    void* library = dlopen(OZU_TEST_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr) << dlerror();
    for (const char* name : kEntryPoints) {
        EXPECT_NE(dlsym(library, name), nullptr) << name;
    }
    const std::string address = tool_test::address::kDlopenRegistration;
    ozu_ref::ReferenceServer server(server_test::loopback_config(address));
    ASSERT_TRUE(server.start(nullptr));
    const auto init_v2 = entry_point<InitV2Fn>(library, "ozu_dnsupdate_init_v2");
    const auto once = entry_point<OnceFn>(library, "ozu_dnsupdate_once");
    const auto getname = entry_point<GetNameFn>(library, "ozu_dnsupdate_getname");
    ASSERT_TRUE(init_v2 != nullptr && once != nullptr && getname != nullptr);
    EXPECT_EQ(init_v2(7, address.c_str(), server_test::kHttpPort, "SN251", "00:11:22:33:44:51", "192.168.1.64", 80,
                      300),
              0);
    EXPECT_EQ(once(0), 0);
    std::array<char, 64> name{};
    EXPECT_EQ(getname(name.data(), name.size()), 0);
    EXPECT_STREQ(name.data(), "SN251.ddns.test");
}

}  // namespace

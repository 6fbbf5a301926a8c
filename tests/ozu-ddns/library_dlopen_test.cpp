// A device application loads the library with dlopen and finds the entry points by their plain names.
#include <arpa/inet.h>
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdint>

namespace ozu::test {
namespace {

using GetHostName = int (*)(const char*, std::uint32_t*);

TEST(LibraryDlopen, EntryPointsAreFoundByTheirPlainNames)
{
    // Never closed: a device application keeps the library for its lifetime.
    void* library = dlopen(OZU_TEST_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr) << dlerror();
    for (const char* name :
         {"ozu_dnsupdate_init", "ozu_dnsupdate_init_v1", "ozu_dnsupdate_init_v2", "ozu_dnsupdate_pause",
          "ozu_dnsupdate_start", "ozu_dnsupdate_stop", "ozu_dnsupdate_init_rdn", "ozu_dnsupdate_get_domainname",
          "ozu_dnsupdate_once", "ozu_dnsupdate_getname", "GetHostName"}) {
        ASSERT_NE(dlsym(library, name), nullptr) << name;
    }
    // A function found so works as linked (the consumers call the others through their headers).
    std::uint32_t address = 0;
    EXPECT_EQ(reinterpret_cast<GetHostName>(dlsym(library, "GetHostName"))("127.0.0.1", &address), 0);
    EXPECT_EQ(address, htonl(INADDR_LOOPBACK));
}

}  // namespace
}  // namespace ozu::test

// A device application loads the library with dlopen and finds the entry points by their plain names.
#include <arpa/inet.h>
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdint>

namespace ozu::test {
namespace {

using InitV2 = int (*)(std::int32_t, const char*, int, const char*, const char*, const char*, int, int);
using GetName = int (*)(char*, unsigned int);
using GetHostName = int (*)(const char*, std::uint32_t*);

TEST(LibraryDlopen, EntryPointsAreFoundByTheirPlainNames)
{
    // Never closed: a device application keeps the library for its lifetime.
    void* library = dlopen(OZU_TEST_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr) << dlerror();
    for (const char* name : {"ozu_dnsupdate_init", "ozu_dnsupdate_init_v1", "ozu_dnsupdate_init_v2",
                             "ozu_dnsupdate_pause", "ozu_dnsupdate_start", "ozu_dnsupdate_stop",
                             "ozu_dnsupdate_init_rdn", "ozu_dnsupdate_get_domainname", "ozu_dnsupdate_once",
                             "ozu_dnsupdate_getname", "GetHostName"}) {
        ASSERT_NE(dlsym(library, name), nullptr) << name;
    }
    // An empty server name makes the lookup fail before any socket is opened.
    EXPECT_EQ(reinterpret_cast<InitV2>(dlsym(library, "ozu_dnsupdate_init_v2"))(7, "", 0, "SN1", "00:11:22:33:44:55",
                                                                                "192.168.1.64", 80, 300),
              0);
    char name[64] = "";
    EXPECT_EQ(reinterpret_cast<GetName>(dlsym(library, "ozu_dnsupdate_getname"))(name, sizeof name), -1);
    std::uint32_t address = 0;
    EXPECT_EQ(reinterpret_cast<GetHostName>(dlsym(library, "GetHostName"))("127.0.0.1", &address), 0);
    EXPECT_EQ(address, htonl(INADDR_LOOPBACK));
}

}  // namespace
}  // namespace ozu::test

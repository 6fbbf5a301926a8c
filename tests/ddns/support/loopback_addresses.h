// Every test that opens a connection uses a loopback address of its own, so tests can run in
// parallel even where they must use a fixed port. 127.0.0.150-199 belong to the server's tests,
// 127.0.0.243-254 to the ozu-ddns tool's (tests/ozu-ddns/tool_test_addresses.h).
#ifndef OZU_TEST_LOOPBACK_ADDRESSES_H
#define OZU_TEST_LOOPBACK_ADDRESSES_H

#include <arpa/inet.h>

#include <array>
#include <cstdint>

namespace ozu_test {

namespace address {

// exchange_test.cpp
inline constexpr const char* kExchangeReply = "127.0.0.10";
inline constexpr const char* kExchangeSilentClose = "127.0.0.11";
inline constexpr const char* kExchangeReset = "127.0.0.12";
inline constexpr const char* kExchangeSplit = "127.0.0.13";
inline constexpr const char* kExchangeOversized = "127.0.0.14";
inline constexpr const char* kExchangeFailedSend = "127.0.0.15";
inline constexpr const char* kExchangeReadTimeout = "127.0.0.16";
inline constexpr const char* kExchangeWriteTimeout = "127.0.0.17";
inline constexpr const char* kExchangeSharedBudget = "127.0.0.18";
inline constexpr const char* kExchangeHighDescriptor = "127.0.0.19";
inline constexpr const char* kConnectRefused = "127.0.0.20";

// Resolved without connecting: "127.0.0.21" (header_c_test.c), "127.0.0.22" (client_config_test.cpp).

// client_update_test.cpp
inline constexpr const char* kUpdatePlainOnline = "127.0.0.30";
inline constexpr const char* kUpdatePlainOffline = "127.0.0.31";
inline constexpr const char* kUpdateDefaultPort = "127.0.0.32";
inline constexpr const char* kUpdateDiyOnline = "127.0.0.33";
inline constexpr const char* kUpdateDiyOffline = "127.0.0.34";
inline constexpr const char* kUpdateDiyTooLong = "127.0.0.35";
inline constexpr const char* kUpdatePlainTooLong = "127.0.0.36";
inline constexpr const char* kUpdateRegistration = "127.0.0.37";
inline constexpr const char* kUpdateRegistration404 = "127.0.0.38";
inline constexpr const char* kUpdateThreeFields = "127.0.0.39";
inline constexpr const char* kUpdateNewName = "127.0.0.40";
inline constexpr const char* kUpdateSilentClose = "127.0.0.41";
inline constexpr const char* kUpdateRefused = "127.0.0.42";
inline constexpr const char* kUpdateLastInitDecides = "127.0.0.43";
inline constexpr const char* kUpdateNewMac = "127.0.0.44";
inline constexpr const char* kUpdateRegistrationTooLong = "127.0.0.45";

// client_lookup_test.cpp
inline constexpr const char* kLookupPlain = "127.0.0.50";
inline constexpr const char* kLookupDiy = "127.0.0.51";
inline constexpr const char* kLookupRegistration = "127.0.0.52";
inline constexpr const char* kLookupNullSerial = "127.0.0.53";
inline constexpr const char* kLookupEmptyName = "127.0.0.54";
inline constexpr const char* kLookupBufferSize = "127.0.0.55";
inline constexpr const char* kLookupNullBuffer = "127.0.0.56";
inline constexpr const char* kLookupTooLongForBuffer = "127.0.0.57";
inline constexpr const char* kLookupFailedKeepsName = "127.0.0.58";
inline constexpr const char* kLookupNotFound = "127.0.0.59";
inline constexpr const char* kLookupSilentClose = "127.0.0.60";
inline constexpr const char* kLookupLongField = "127.0.0.61";

// client_reference_server_test.cpp (HTTP port kReferenceHttpPort, no register channel)
inline constexpr const char* kReferencePlain = "127.0.0.70";
inline constexpr const char* kReferenceDiy = "127.0.0.72";
inline constexpr const char* kReferenceRegistration = "127.0.0.74";
inline constexpr const char* kReferenceCloseWithoutAnswer = "127.0.0.75";
inline constexpr const char* kReferenceNotOk = "127.0.0.76";
inline constexpr const char* kReferenceNoMarkers = "127.0.0.77";
inline constexpr const char* kReferenceOversized = "127.0.0.78";
inline constexpr const char* kReferenceSplitReply = "127.0.0.79";

// client_slow_test.cpp, exchange_slow_test.cpp
inline constexpr const char* kSlowStallingServer = "127.0.0.90";
inline constexpr const char* kSlowCloggedConnection = "127.0.0.91";

// The register channel's fixed port 8879 is shared by every test below.
// client_fault_test.cpp (HTTP port kReferenceHttpPort too): one address per operation, in the
// order update, lookup, register channel
inline constexpr std::array<const char*, 3> kFaultReset{"127.0.0.100", "127.0.0.101", "127.0.0.102"};
inline constexpr std::array<const char*, 3> kFaultClose{"127.0.0.103", "127.0.0.104", "127.0.0.105"};
inline constexpr std::array<const char*, 3> kFaultSplit{"127.0.0.106", "127.0.0.107", "127.0.0.108"};
inline constexpr std::array<const char*, 3> kFaultOversized{"127.0.0.109", "127.0.0.110", "127.0.0.111"};
inline constexpr std::array<const char*, 3> kFaultGarbage{"127.0.0.112", "127.0.0.113", "127.0.0.114"};
inline constexpr std::array<const char*, 3> kFaultRefused{"127.0.0.115", "127.0.0.116", "127.0.0.117"};
inline constexpr std::array<const char*, 3> kFaultHeldResolution{"127.0.0.118", "127.0.0.119", "127.0.0.120"};
// client_fault_slow_test.cpp
inline constexpr std::array<const char*, 3> kFaultStall{"127.0.0.121", "127.0.0.122", "127.0.0.123"};

// threads_stress_test.cpp (HTTP port kReferenceHttpPort too)
inline constexpr const char* kStress = "127.0.0.130";

// register_channel_test.cpp
inline constexpr const char* kChannelStartRecord = "127.0.0.200";
inline constexpr const char* kChannelDomainRecord = "127.0.0.201";
inline constexpr const char* kChannelRefused = "127.0.0.203";
inline constexpr const char* kChannelForgetName = "127.0.0.206";
inline constexpr const char* kChannelCloseWithoutAnswer = "127.0.0.207";
inline constexpr const char* kChannelHttpNameThenRegister = "127.0.0.208";
inline constexpr const char* kChannelSplitReply = "127.0.0.209";
inline constexpr const char* kChannelNameMissing = "127.0.0.210";
inline constexpr const char* kChannelUpdateRecord = "127.0.0.216";
inline constexpr const char* kChannelNoSerial = "127.0.0.217";
inline constexpr const char* kChannelUpdateRefused = "127.0.0.220";

// register_exchange_test.cpp
inline constexpr const char* kRegisterDiyServerDomain = "127.0.0.211";
inline constexpr const char* kRegisterLoneDotDomain = "127.0.0.212";
inline constexpr const char* kRegisterWriteWaitStall = "127.0.0.213";
inline constexpr const char* kRegisterReadTimeoutShort = "127.0.0.214";
inline constexpr const char* kRegisterSendFails = "127.0.0.219";

// register_slow_test.cpp
inline constexpr const char* kRegisterReadTimeoutSlow = "127.0.0.215";

// threads_lifecycle_test.cpp
inline constexpr const char* kThreadsStartStop = "127.0.0.230";
inline constexpr const char* kThreadsStartTwice = "127.0.0.231";
inline constexpr const char* kThreadsPausedBeforeStart = "127.0.0.233";
inline constexpr const char* kThreadsSecondWorker = "127.0.0.234";
inline constexpr const char* kThreadsDomainThread = "127.0.0.235";
inline constexpr const char* kThreadsStartThenStop = "127.0.0.236";

// threads_slow_test.cpp
inline constexpr const char* kThreadsCadence = "127.0.0.240";
inline constexpr const char* kThreadsPauseResume = "127.0.0.241";
inline constexpr const char* kThreadsDomainThreadRetry = "127.0.0.242";

}  // namespace address

inline constexpr int kReferenceHttpPort = 18080;

// Resolves dotted addresses only, without the library's resolution lock.
inline int resolve_numeric(const char* host, std::uint32_t* resolved)
{
    in_addr parsed{};
    if (inet_pton(AF_INET, host, &parsed) != 1) {
        return -1;
    }
    *resolved = parsed.s_addr;
    return 0;
}

}  // namespace ozu_test

#endif

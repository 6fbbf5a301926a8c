// Every test that opens a connection uses a loopback address of its own, so tests can run in
// parallel even where they must use a fixed port. 127.0.0.150-199 belong to the server's tests
// and 127.0.0.200-254 to the register channel's.
#ifndef OZU_TEST_LOOPBACK_ADDRESSES_H
#define OZU_TEST_LOOPBACK_ADDRESSES_H

#include <arpa/inet.h>

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
inline constexpr const char* kReferencePlainUpdate = "127.0.0.70";
inline constexpr const char* kReferencePlainLookup = "127.0.0.71";
inline constexpr const char* kReferenceDiyUpdate = "127.0.0.72";
inline constexpr const char* kReferenceDiyLookup = "127.0.0.73";
inline constexpr const char* kReferenceRegistration = "127.0.0.74";
inline constexpr const char* kReferenceCloseWithoutAnswer = "127.0.0.75";
inline constexpr const char* kReferenceNotOk = "127.0.0.76";
inline constexpr const char* kReferenceNoMarkers = "127.0.0.77";
inline constexpr const char* kReferenceOversized = "127.0.0.78";
inline constexpr const char* kReferenceSplitReply = "127.0.0.79";

// client_slow_test.cpp, exchange_slow_test.cpp
inline constexpr const char* kSlowStallingServer = "127.0.0.90";
inline constexpr const char* kSlowCloggedConnection = "127.0.0.91";

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

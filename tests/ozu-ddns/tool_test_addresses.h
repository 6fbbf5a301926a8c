// The tool's tests own 127.0.0.243-254; each test that opens a connection has an address of its own.
#ifndef OZU_TOOL_TEST_ADDRESSES_H
#define OZU_TOOL_TEST_ADDRESSES_H

namespace tool_test::address {

constexpr char kOnceRegistration[] = "127.0.0.243";
constexpr char kOncePlainOffline[] = "127.0.0.244";
constexpr char kOnceNotConfirmed[] = "127.0.0.245";
constexpr char kGetNameDiy[] = "127.0.0.246";
constexpr char kGetNameRegistration[] = "127.0.0.247";
constexpr char kRunStopsOnSigterm[] = "127.0.0.248";
constexpr char kRunStopsOnSigint[] = "127.0.0.249";
constexpr char kDlopenRegistration[] = "127.0.0.251";
// Resolved without connecting: 127.0.0.254 (tests/consumer/project/consumer.c).

}  // namespace tool_test::address

#endif

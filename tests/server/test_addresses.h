// Every socket test has a loopback address of its own (this suite owns
// 127.0.0.150-199), so the fixed ports never collide when tests run in parallel.
#ifndef OZU_SERVER_TEST_ADDRESSES_H
#define OZU_SERVER_TEST_ADDRESSES_H

namespace server_test {

constexpr int kHttpPort = 18080;
constexpr int kRegisterPort = 8879;

namespace address {
constexpr char kHttpReply[] = "127.0.0.150";
constexpr char kHttpFaults[] = "127.0.0.152";
constexpr char kRegisterFaults[] = "127.0.0.153";
constexpr char kHttpStall[] = "127.0.0.154";
constexpr char kIdleClient[] = "127.0.0.156";
constexpr char kPortInUse[] = "127.0.0.157";
constexpr char kLogToStdout[] = "127.0.0.158";
constexpr char kShortRecord[] = "127.0.0.161";
constexpr char kSplitReply[] = "127.0.0.162";
constexpr char kNonDeviceRequest[] = "127.0.0.163";
constexpr char kBadZone[] = "127.0.0.164";
constexpr char kProgramPortInUse[] = "127.0.0.170";
constexpr char kProgramRun[] = "127.0.0.171";
}  // namespace address

}  // namespace server_test

#endif

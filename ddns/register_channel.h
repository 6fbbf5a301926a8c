// The register channel: one device record to the server's port 8879, one record back.
#ifndef OZU_DDNS_REGISTER_CHANNEL_H
#define OZU_DDNS_REGISTER_CHANNEL_H

#include <cstddef>
#include <cstdint>
#include <string>

#include "ddns/device_record.h"
#include "ddns/scoped_resources.h"
#include "ddns/transport.h"

namespace ozu::ddns {

inline constexpr std::uint16_t kRegisterPort = 8879;
inline constexpr std::size_t kDeviceNameCapacity = 128;

// A connection to port 8879 of server, or an empty handle once the failure is reported.
SocketHandle open_register_channel(const char* server, Resolver resolve);

enum class ReplyVerdict {
    NameLearned,  // code 103 with a domain
    NameMissing,  // code 103 without one
    Confirmed,    // another code with a domain
    Refused,      // another code without one
};

struct RegisterReply {
    ReplyVerdict verdict;
    std::int32_t command;
    std::string domain;
};

// Reads a reply as a record: its command code and the text of its domain field.
RegisterReply judge_register_reply(const char* bytes, std::size_t length);

// "serial.domain" in a buffer of its own, kDeviceNameCapacity bytes, or null.
HeapText compose_device_name(const char* serial, const std::string& domain);

// The module functions one exchange is made of, their results owned.
struct RegisterSteps {
    DeviceRecord (*build_record)(int command, char* status);
    SocketHandle (*open_channel)();
};

// What the exchange reads from, and writes to, the module state while m_lock is held.
struct RegisterState {
    const char* serial;
    const char* server;
    char*& device_name;
};

// One complete exchange for the command; true when the server confirmed it.
bool run_register_exchange(int command, char* status, const RegisterSteps& steps, const RegisterState& state);

}  // namespace ozu::ddns

#endif

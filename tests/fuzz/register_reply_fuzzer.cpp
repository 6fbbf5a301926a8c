// Replies on the register channel come with any length. The judge reads only the bytes received and agrees with
// a byte-wise reading of the record. A learned domain is then composed with a serial into the 128-byte name
// buffer; the bytes after the record serve as that serial (none when the input ends with the record).
#include "ddns/device_msg.h"
#include "ddns/register_channel.h"
#include "fuzz_harness.h"

#include <algorithm>
#include <cstring>

namespace {

using ozu::ddns::ReplyVerdict;
using ozu::test::require;

constexpr std::size_t kDomainOffset = offsetof(DeviceMsg, szDeviceDomain);
constexpr std::size_t kRecordBytes = sizeof(DeviceMsg);

void check_device_name(const std::uint8_t* data, std::size_t size, const std::string& domain)
{
    const bool has_serial = size > kRecordBytes;
    const std::string serial =
        has_serial ? std::string(reinterpret_cast<const char*>(data) + kRecordBytes, size - kRecordBytes).c_str() : "";
    char* name = ozu::ddns::compose_device_name(has_serial ? serial.c_str() : nullptr, domain);
    require(name != nullptr && std::memchr(name, '\0', ozu::ddns::kDeviceNameCapacity) != nullptr);
    require((serial + "." + domain).substr(0, ozu::ddns::kDeviceNameCapacity - 1) == name);
    std::free(name);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const ozu::ddns::RegisterReply reply = ozu::ddns::judge_register_reply(reinterpret_cast<const char*>(data), size);
    // The record's first field; the missing bytes of a short reply count as zero.
    std::int32_t command = 0;
    std::memcpy(&command, data, std::min(size, sizeof command));
    const char* field = reinterpret_cast<const char*>(data) + kDomainOffset;
    const std::string domain = size <= kDomainOffset
        ? std::string()
        : std::string(field, strnlen(field, std::min(size - kDomainOffset, sizeof(DeviceMsg::szDeviceDomain))));
    require(reply.command == command && reply.domain == domain);
    if (command == DDNS_CMD_GET_DOMAIN) {
        require(reply.verdict == (domain.empty() ? ReplyVerdict::NameMissing : ReplyVerdict::NameLearned));
    } else {
        require(reply.verdict == (domain.empty() ? ReplyVerdict::Refused : ReplyVerdict::Confirmed));
    }
    if (reply.verdict == ReplyVerdict::NameLearned) {
        check_device_name(data, size, reply.domain);
    }
    return 0;
}

// Replies on the register channel come from the network with any length. The judge must read
// only the bytes received and agree with a byte-wise reading of the record. A learned domain is
// then composed with a serial into the 128-byte name buffer; the bytes after the record, which
// the judge never reads, serve as that serial (none when the input ends with the record).
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "ddns/device_msg.h"
#include "ddns/register_channel.h"

namespace {

using ozu::ddns::ReplyVerdict;

constexpr std::size_t kCommandBytes = 4;
constexpr std::size_t kDomainOffset = offsetof(DeviceMsg, szDeviceDomain);
constexpr std::size_t kDomainWidth = sizeof(DeviceMsg::szDeviceDomain);
constexpr std::size_t kRecordBytes = sizeof(DeviceMsg);

void require(bool condition)
{
    if (!condition) {
        std::abort();
    }
}

// Missing bytes of a short reply count as zero.
std::int32_t expected_command(const std::uint8_t* data, std::size_t size)
{
    std::uint32_t bits = 0;
    for (std::size_t k = 0; k < std::min(size, kCommandBytes); ++k) {
        bits |= static_cast<std::uint32_t>(data[k]) << (8 * k);
    }
    return static_cast<std::int32_t>(bits);
}

std::string expected_domain(const std::uint8_t* data, std::size_t size)
{
    if (size <= kDomainOffset) {
        return std::string();
    }
    const char* field = reinterpret_cast<const char*>(data) + kDomainOffset;
    const std::size_t available = std::min(size - kDomainOffset, kDomainWidth);
    return std::string(field, strnlen(field, available));
}

ReplyVerdict expected_verdict(std::int32_t command, bool hasDomain)
{
    if (command == DDNS_CMD_GET_DOMAIN) {
        return hasDomain ? ReplyVerdict::NameLearned : ReplyVerdict::NameMissing;
    }
    return hasDomain ? ReplyVerdict::Confirmed : ReplyVerdict::Refused;
}

void check_device_name(const std::uint8_t* data, std::size_t size, const std::string& domain)
{
    const std::string serial = size > kRecordBytes
        ? std::string(reinterpret_cast<const char*>(data) + kRecordBytes, size - kRecordBytes).c_str()
        : std::string();
    char* name = ozu::ddns::compose_device_name(size > kRecordBytes ? serial.c_str() : nullptr, domain);
    require(name != nullptr);
    const std::string expected = (serial + "." + domain).substr(0, ozu::ddns::kDeviceNameCapacity - 1);
    require(std::memchr(name, '\0', ozu::ddns::kDeviceNameCapacity) != nullptr);
    require(expected == name);
    std::free(name);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const ozu::ddns::RegisterReply reply =
        ozu::ddns::judge_register_reply(reinterpret_cast<const char*>(data), size);
    const std::int32_t command = expected_command(data, size);
    const std::string domain = expected_domain(data, size);
    require(reply.command == command);
    require(reply.domain == domain);
    require(reply.verdict == expected_verdict(command, !domain.empty()));
    if (reply.verdict == ReplyVerdict::NameLearned) {
        check_device_name(data, size, reply.domain);
    }
    return 0;
}

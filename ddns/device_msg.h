// The register-channel record: 432 bytes sent raw over TCP port 8879, both ways.
// Integers are 32-bit little-endian (the device's order); text fields are
// NUL-terminated and zero-filled to their fixed width.
#ifndef OZU_DDNS_DEVICE_MSG_H
#define OZU_DDNS_DEVICE_MSG_H

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <type_traits>

constexpr std::int32_t DDNS_CMD_START = 101;
constexpr std::int32_t DDNS_CMD_UPDATE = 102;
constexpr std::int32_t DDNS_CMD_GET_DOMAIN = 103;

struct DeviceMsg {
    std::int32_t nCommand;  // little-endian bytes: use device_msg::store_le32 / load_le32
    std::int32_t nSocket;
    std::array<char, 16> reserved;
    std::array<char, 32> szSerial;
    std::array<char, 64> szIpAddress;
    std::array<char, 64> szMac;
    std::array<char, 32> szDeviceID;
    std::array<char, 128> szDeviceDomain;
    std::array<char, 8> szServerPort;
    std::array<char, 16> szTime;
    std::array<char, 16> szType;
    std::array<char, 32> szReserved;
    std::array<char, 16> szStatus;
};

static_assert(std::is_standard_layout<DeviceMsg>::value, "DeviceMsg is sent as raw bytes");
static_assert(std::is_trivially_copyable<DeviceMsg>::value, "DeviceMsg is sent as raw bytes");
static_assert(sizeof(DeviceMsg) == 432, "DeviceMsg is 432 bytes on the wire");
static_assert(offsetof(DeviceMsg, nCommand) == 0, "nCommand offset");
static_assert(offsetof(DeviceMsg, nSocket) == 4, "nSocket offset");
static_assert(offsetof(DeviceMsg, reserved) == 8, "reserved offset");
static_assert(offsetof(DeviceMsg, szSerial) == 24, "szSerial offset");
static_assert(offsetof(DeviceMsg, szIpAddress) == 56, "szIpAddress offset");
static_assert(offsetof(DeviceMsg, szMac) == 120, "szMac offset");
static_assert(offsetof(DeviceMsg, szDeviceID) == 184, "szDeviceID offset");
static_assert(offsetof(DeviceMsg, szDeviceDomain) == 216, "szDeviceDomain offset");
static_assert(offsetof(DeviceMsg, szServerPort) == 344, "szServerPort offset");
static_assert(offsetof(DeviceMsg, szTime) == 352, "szTime offset");
static_assert(offsetof(DeviceMsg, szType) == 368, "szType offset");
static_assert(offsetof(DeviceMsg, szReserved) == 384, "szReserved offset");
static_assert(offsetof(DeviceMsg, szStatus) == 416, "szStatus offset");

namespace device_msg {

constexpr std::size_t kRecordSize = sizeof(DeviceMsg);

// Writes the value's bytes least significant first, whatever the host's order.
inline void store_le32(std::int32_t& field, std::int32_t value)
{
    const auto bits = static_cast<std::uint32_t>(value);
    const std::array<unsigned char, 4> bytes = {
        static_cast<unsigned char>(bits & 0xFFu), static_cast<unsigned char>((bits >> 8) & 0xFFu),
        static_cast<unsigned char>((bits >> 16) & 0xFFu), static_cast<unsigned char>((bits >> 24) & 0xFFu)};
    std::memcpy(&field, bytes.data(), bytes.size());
}

inline std::int32_t load_le32(const std::int32_t& field)
{
    std::array<unsigned char, 4> bytes{};
    std::memcpy(bytes.data(), &field, bytes.size());
    const std::uint32_t bits = static_cast<std::uint32_t>(bytes[0]) | (static_cast<std::uint32_t>(bytes[1]) << 8) |
                               (static_cast<std::uint32_t>(bytes[2]) << 16) |
                               (static_cast<std::uint32_t>(bytes[3]) << 24);
    return static_cast<std::int32_t>(bits);
}

// The field's text up to its first NUL; a field without a NUL is cut at its width.
template <std::size_t N>
std::string field_text(const std::array<char, N>& field)
{
    const void* nul = std::memchr(field.data(), '\0', N);
    const std::size_t length = nul ? static_cast<std::size_t>(static_cast<const char*>(nul) - field.data()) : N;
    return std::string(field.data(), length);
}

// Zero-fills the field and copies at most N - 1 characters of text, so it always ends in a NUL.
template <std::size_t N>
void set_field_text(std::array<char, N>& field, const std::string& text)
{
    field.fill('\0');
    std::memcpy(field.data(), text.data(), text.size() < N ? text.size() : N - 1);
}

// The serial, a dot and the domain, as the device's name is composed; no serial reads as empty.
inline std::string device_domain(const char* serial, const std::string& domain)
{
    return std::string(serial != nullptr ? serial : "") + "." + domain;
}

}  // namespace device_msg

#endif

// Reading and writing DeviceMsg fields: integers in the wire's little-endian order on any host, texts
// cut to their field and zero-padded. The client and the reference server both go through here.
#ifndef OZU_DDNS_RECORD_FIELDS_H
#define OZU_DDNS_RECORD_FIELDS_H

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "ddns/ozu_dnsupdate_module.h"

namespace ozu::ddns {

inline constexpr std::size_t kRecordSize = sizeof(DeviceMsg);

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

// A peer may fill a field to the brim without a NUL; the text then ends with the field.
template <std::size_t N>
std::string field_text(const std::array<char, N>& field)
{
    const void* nul = std::memchr(field.data(), '\0', N);
    const std::size_t length = nul ? static_cast<std::size_t>(static_cast<const char*>(nul) - field.data()) : N;
    return std::string(field.data(), length);
}

// Keeps at most N - 1 characters, so that the field always ends in a NUL.
template <std::size_t N>
void set_field_text(std::array<char, N>& field, const std::string& text)
{
    field.fill('\0');
    std::memcpy(field.data(), text.data(), text.size() < N ? text.size() : N - 1);
}

// "serial.domain"; a device without a serial still gets the dot.
inline std::string device_domain(const char* serial, const std::string& domain)
{
    return std::string(serial != nullptr ? serial : "") + "." + domain;
}

}  // namespace ozu::ddns

#endif

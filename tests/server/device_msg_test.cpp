#include "ddns/device_msg.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>

namespace {

std::array<unsigned char, 4> bytes_of(const std::int32_t& field) {
    std::array<unsigned char, 4> bytes{};
    std::memcpy(bytes.data(), &field, bytes.size());
    return bytes;
}

struct Le32Case {
    std::int32_t value;
    std::array<unsigned char, 4> bytes;
};

TEST(DeviceMsg, Int32FieldsHoldLittleEndianBytes) {
    static const std::array<Le32Case, 5> kCases = {{
        {DDNS_CMD_START, {0x65, 0x00, 0x00, 0x00}},
        {DDNS_CMD_UPDATE, {0x66, 0x00, 0x00, 0x00}},
        {DDNS_CMD_GET_DOMAIN, {0x67, 0x00, 0x00, 0x00}},
        {0x12345678, {0x78, 0x56, 0x34, 0x12}},
        {-2, {0xFE, 0xFF, 0xFF, 0xFF}},
    }};
    for (const Le32Case& c : kCases) {
        DeviceMsg msg{};
        device_msg::store_le32(msg.nCommand, c.value);
        EXPECT_EQ(bytes_of(msg.nCommand), c.bytes) << c.value;
        EXPECT_EQ(device_msg::load_le32(msg.nCommand), c.value);
    }
}

TEST(DeviceMsg, CommandIsTheFirstFourBytesOfTheRecord) {
    DeviceMsg msg{};
    device_msg::store_le32(msg.nCommand, DDNS_CMD_GET_DOMAIN);
    device_msg::store_le32(msg.nSocket, 9);
    std::array<unsigned char, sizeof(DeviceMsg)> raw{};
    std::memcpy(raw.data(), &msg, raw.size());
    EXPECT_EQ(raw[0], 0x67);
    EXPECT_EQ(raw[4], 9);
}

TEST(DeviceMsg, FieldTextStopsAtTheNulOrTheFieldEnd) {
    DeviceMsg msg{};
    std::memcpy(msg.szStatus.data(), "online", 6);
    EXPECT_EQ(device_msg::field_text(msg.szStatus), "online");
    msg.szServerPort.fill('9');  // no NUL anywhere in the field
    EXPECT_EQ(device_msg::field_text(msg.szServerPort), "99999999");
}

TEST(DeviceMsg, SetFieldTextZeroFillsAndKeepsAFinalNul) {
    DeviceMsg msg{};
    msg.szServerPort.fill('x');
    device_msg::set_field_text(msg.szServerPort, "80");
    EXPECT_EQ(std::string(msg.szServerPort.data(), 8), std::string("80\0\0\0\0\0\0", 8));
    device_msg::set_field_text(msg.szServerPort, "123456789");
    EXPECT_EQ(std::string(msg.szServerPort.data(), 8), std::string("1234567\0", 8));
}

}  // namespace

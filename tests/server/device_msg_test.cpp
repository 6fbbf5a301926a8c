#include "ddns/device_msg.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <string>
#include <utility>

namespace {

TEST(DeviceMsg, Int32FieldsHoldLittleEndianBytesAtTheRecordStart) {
    static const std::array<std::pair<std::int32_t, std::array<unsigned char, 4>>, 5> kCases = {{
        {DDNS_CMD_START, {0x65, 0x00, 0x00, 0x00}},
        {DDNS_CMD_UPDATE, {0x66, 0x00, 0x00, 0x00}},
        {DDNS_CMD_GET_DOMAIN, {0x67, 0x00, 0x00, 0x00}},
        {0x12345678, {0x78, 0x56, 0x34, 0x12}},
        {-2, {0xFE, 0xFF, 0xFF, 0xFF}},
    }};
    for (const auto& [value, bytes] : kCases) {
        DeviceMsg msg{};
        device_msg::store_le32(msg.nCommand, value);
        device_msg::store_le32(msg.nSocket, 9);
        std::array<unsigned char, sizeof(DeviceMsg)> raw{};
        std::memcpy(raw.data(), &msg, raw.size());
        EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), raw.begin())) << value;
        EXPECT_EQ(raw[4], 9);
        EXPECT_EQ(device_msg::load_le32(msg.nCommand), value);
    }
}

TEST(DeviceMsg, FieldTextStopsAtTheNulOrTheFieldEndAndKeepsAFinalNul) {
    DeviceMsg msg{};
    msg.szServerPort.fill('9');  // no NUL anywhere in the field
    EXPECT_EQ(device_msg::field_text(msg.szServerPort), "99999999");
    device_msg::set_field_text(msg.szServerPort, "80");
    EXPECT_EQ(std::string(msg.szServerPort.data(), 8), std::string("80\0\0\0\0\0\0", 8));
    EXPECT_EQ(device_msg::field_text(msg.szServerPort), "80");
    device_msg::set_field_text(msg.szServerPort, "123456789");
    EXPECT_EQ(std::string(msg.szServerPort.data(), 8), std::string("1234567\0", 8));
}

}  // namespace

// The device record as built from a configuration, the DIY DDNS server entry read from a
// configuration file, and the judgement of reply records.
#include <gtest/gtest.h>

#include <ctime>
#include <string>
#include <vector>

#include "ddns/device_record.h"
#include "ddns/register_channel.h"
#include "ddns/request_encryption.h"
#include "query_cipher.h"
#include "register_test_support.h"
#include "support/output_capture.h"

namespace {

using ozu::ddns::DeviceSettings;
using register_test::all_zero;
using register_test::as_record;
using register_test::is_lower_hex;
using register_test::TempConfigFile;
using register_test::zero_after_text;

constexpr DeviceSettings kSettings{"192.168.1.10", "00:11:22:33:44:55", "SN1", 0x1234, 8080};

int diy_server_example(char* buffer, int capacity) {
    std::snprintf(buffer, static_cast<std::size_t>(capacity), "diy.example");
    return 0;
}

bool g_reader_called = false;
int reader_noting_call(char* buffer, int capacity) {
    g_reader_called = true;
    return diy_server_example(buffer, capacity);
}

int reader_failing_with_garbage(char* buffer, int capacity) {
    std::snprintf(buffer, static_cast<std::size_t>(capacity), "half-read");
    return -1;
}

int reader_long_value(char* buffer, int capacity) {
    const std::string value(127, 'a');
    std::snprintf(buffer, static_cast<std::size_t>(capacity), "%s", value.c_str());
    return 0;
}

std::vector<std::string> g_encrypted_texts;
int recording_encryptor(const char* in, char* out) {
    g_encrypted_texts.emplace_back(in);
    return EncryptString(in, out);
}

struct BuiltRecord {
    DeviceMsg record{};
    bool built = false;
    std::string out;
    std::string err;
};

BuiltRecord build(int command, const char* status, const DeviceSettings& settings,
                  ozu::ddns::DiyServerReader reader = diy_server_example,
                  ozu::ddns::TextEncryptor encrypt = EncryptString) {
    BuiltRecord result;
    ozu_test::OutputCapture capture;
    char* record = ozu::ddns::build_device_record(command, status, settings, reader, encrypt);
    const ozu_test::CapturedOutput output = capture.finish();
    result.out = output.out;
    result.err = output.err;
    if (record != nullptr) {
        result.record = as_record(record);
        result.built = true;
        std::free(record);
    }
    return result;
}

template <std::size_t N>
std::string deciphered(const std::array<char, N>& field) {
    return ozu_ref::decipher_text(device_msg::field_text(field)).value_or("<not a ciphertext>");
}

template <std::size_t N>
void expect_ciphertext_of(const std::array<char, N>& field, const std::string& plain, std::size_t digits) {
    const std::string text = device_msg::field_text(field);
    EXPECT_EQ(text.size(), digits);
    EXPECT_TRUE(is_lower_hex(text)) << text;
    EXPECT_TRUE(zero_after_text(field));
    EXPECT_EQ(deciphered(field), plain);
}

TEST(DeviceRecord, StartRecordCarriesEveryFieldAtItsOffset) {
    const std::time_t before = std::time(nullptr);
    const BuiltRecord built = build(DDNS_CMD_START, "online", kSettings);
    const std::time_t after = std::time(nullptr);
    ASSERT_TRUE(built.built);
    const DeviceMsg& record = built.record;
    const auto* bytes = reinterpret_cast<const unsigned char*>(&record);
    EXPECT_EQ(std::vector<unsigned char>(bytes, bytes + 8), (std::vector<unsigned char>{0x65, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_TRUE(all_zero(record.reserved));
    expect_ciphertext_of(record.szSerial, "SN1", 16);
    expect_ciphertext_of(record.szIpAddress, "192.168.1.10", 32);
    expect_ciphertext_of(record.szMac, "00:11:22:33:44:55", 48);
    expect_ciphertext_of(record.szDeviceID, "0x1234", 16);
    EXPECT_EQ(device_msg::field_text(record.szDeviceDomain), "SN1.diy.example");
    EXPECT_TRUE(zero_after_text(record.szDeviceDomain));
    EXPECT_EQ(device_msg::field_text(record.szServerPort), "8080");
    EXPECT_TRUE(zero_after_text(record.szServerPort));
    const long time = std::stol(device_msg::field_text(record.szTime));
    EXPECT_GE(time, static_cast<long>(before));
    EXPECT_LE(time, static_cast<long>(after));
    EXPECT_TRUE(zero_after_text(record.szTime));
    EXPECT_EQ(std::string(record.szType.data(), 16), std::string("DDNS\0\0\0\0\0\0\0\0\0\0\0\0", 16));
    EXPECT_TRUE(all_zero(record.szReserved));
    EXPECT_EQ(device_msg::field_text(record.szStatus), "online");
    EXPECT_TRUE(zero_after_text(record.szStatus));
    EXPECT_EQ(built.out, "qor function(Init_Device_Msg),szDeviceDomain(SN1.diy.example)!!!\n");
    EXPECT_EQ(built.err, "");
}

TEST(DeviceRecord, UpdateRecordCarriesItsCodeAndStatus) {
    const BuiltRecord built = build(DDNS_CMD_UPDATE, "offline", kSettings);
    ASSERT_TRUE(built.built);
    const auto* bytes = reinterpret_cast<const unsigned char*>(&built.record);
    EXPECT_EQ(std::vector<unsigned char>(bytes, bytes + 4), (std::vector<unsigned char>{0x66, 0, 0, 0}));
    EXPECT_EQ(device_msg::field_text(built.record.szStatus), "offline");
    EXPECT_EQ(device_msg::field_text(built.record.szDeviceDomain), "SN1.diy.example");
}

TEST(DeviceRecord, DomainRecordLeavesTimeAndDomainEmptyAndReadsNoConfiguration) {
    g_reader_called = false;
    const BuiltRecord built = build(DDNS_CMD_GET_DOMAIN, "online", kSettings, reader_noting_call);
    ASSERT_TRUE(built.built);
    const auto* bytes = reinterpret_cast<const unsigned char*>(&built.record);
    EXPECT_EQ(std::vector<unsigned char>(bytes, bytes + 4), (std::vector<unsigned char>{0x67, 0, 0, 0}));
    EXPECT_TRUE(all_zero(built.record.szTime));
    EXPECT_TRUE(all_zero(built.record.szDeviceDomain));
    EXPECT_FALSE(g_reader_called);
    EXPECT_EQ(device_msg::field_text(built.record.szServerPort), "8080");
    EXPECT_EQ(device_msg::field_text(built.record.szType), "DDNS");
    EXPECT_EQ(device_msg::field_text(built.record.szStatus), "online");
    expect_ciphertext_of(built.record.szSerial, "SN1", 16);
    EXPECT_EQ(built.out, "");
}

TEST(DeviceRecord, EncryptsIpMacDeviceIdSerialInThatOrder) {
    g_encrypted_texts.clear();
    const BuiltRecord built = build(DDNS_CMD_START, "online", kSettings, diy_server_example, recording_encryptor);
    ASSERT_TRUE(built.built);
    EXPECT_EQ(g_encrypted_texts, (std::vector<std::string>{"192.168.1.10", "00:11:22:33:44:55", "0x1234", "SN1"}));
}

struct FieldBound {
    const char* name;
    DeviceSettings settings;
    std::size_t serial_digits;  // 0: the field stays empty
    std::size_t ip_digits;
    std::size_t mac_digits;
    std::size_t device_id_digits;
};

const std::string k8(8, 's');
const std::string k9(9, 's');
const std::string k32(32, 's');
const std::string k24(24, '1');
const std::string k25(25, '1');
const std::string k64(64, '1');
const std::string k100(100, '1');

const FieldBound kFieldBounds[] = {
    {"serial_of_8_fits", {"1.2.3.4", "m", k8.c_str(), 1, 80}, 16, 16, 16, 16},
    {"serial_of_9_stays_empty", {"1.2.3.4", "m", k9.c_str(), 1, 80}, 0, 16, 16, 16},
    {"serial_longer_than_field_stays_empty", {"1.2.3.4", "m", k32.c_str(), 1, 80}, 0, 16, 16, 16},
    {"ip_of_24_fits", {k24.c_str(), "m", "S", 1, 80}, 16, 48, 16, 16},
    {"ip_of_25_stays_empty", {k25.c_str(), "m", "S", 1, 80}, 16, 0, 16, 16},
    {"ip_longer_than_field_stays_empty", {k100.c_str(), "m", "S", 1, 80}, 16, 0, 16, 16},
    {"mac_of_24_fits", {"1.2.3.4", k24.c_str(), "S", 1, 80}, 16, 16, 48, 16},
    {"mac_of_64_stays_empty", {"1.2.3.4", k64.c_str(), "S", 1, 80}, 16, 16, 0, 16},
    {"device_id_below_0x1000000_fits", {"1.2.3.4", "m", "S", 0xffffff, 80}, 16, 16, 16, 16},
    {"device_id_0x1000000_stays_empty", {"1.2.3.4", "m", "S", 0x1000000, 80}, 16, 16, 16, 0},
    {"negative_device_id_stays_empty", {"1.2.3.4", "m", "S", -1, 80}, 16, 16, 16, 0},
};

template <std::size_t N>
void expect_digits_or_empty(const std::array<char, N>& field, std::size_t digits, const char* what) {
    if (digits == 0) {
        EXPECT_TRUE(all_zero(field)) << what;
    } else {
        EXPECT_EQ(device_msg::field_text(field).size(), digits) << what;
        EXPECT_TRUE(zero_after_text(field)) << what;
    }
}

TEST(DeviceRecord, TextsWhoseCiphertextDoesNotFitLeaveTheirFieldEmpty) {
    for (const FieldBound& bound : kFieldBounds) {
        SCOPED_TRACE(bound.name);
        const BuiltRecord built = build(DDNS_CMD_START, "online", bound.settings);
        ASSERT_TRUE(built.built);
        expect_digits_or_empty(built.record.szSerial, bound.serial_digits, "szSerial");
        expect_digits_or_empty(built.record.szIpAddress, bound.ip_digits, "szIpAddress");
        expect_digits_or_empty(built.record.szMac, bound.mac_digits, "szMac");
        expect_digits_or_empty(built.record.szDeviceID, bound.device_id_digits, "szDeviceID");
        EXPECT_EQ(device_msg::field_text(built.record.szServerPort), "80");
        EXPECT_EQ(device_msg::field_text(built.record.szType), "DDNS");
    }
}

TEST(DeviceRecord, NoSerialCountsAsTheEmptyText) {
    const DeviceSettings settings{"1.2.3.4", "m", nullptr, 1, 80};
    const BuiltRecord built = build(DDNS_CMD_START, "online", settings);
    ASSERT_TRUE(built.built);
    EXPECT_EQ(device_msg::field_text(built.record.szSerial).size(), 16u);
    EXPECT_EQ(device_msg::field_text(built.record.szDeviceDomain), ".diy.example");
}

TEST(DeviceRecord, DomainLongerThanItsFieldIsCutTo127Characters) {
    const BuiltRecord built = build(DDNS_CMD_START, "online", kSettings, reader_long_value);
    ASSERT_TRUE(built.built);
    EXPECT_EQ(device_msg::field_text(built.record.szDeviceDomain), "SN1." + std::string(123, 'a'));
    EXPECT_EQ(device_msg::field_text(built.record.szServerPort), "8080");
}

TEST(DeviceRecord, FailedConfigurationReadGivesSerialAndLoneDot) {
    const BuiltRecord built = build(DDNS_CMD_UPDATE, "online", kSettings, reader_failing_with_garbage);
    ASSERT_TRUE(built.built);
    EXPECT_EQ(device_msg::field_text(built.record.szDeviceDomain), "SN1.");
    EXPECT_EQ(built.out, "qor function(Init_Device_Msg),szDeviceDomain(SN1.)!!!\n");
}

TEST(DeviceRecord, MissingIpOrMacBuildsNothing) {
    for (const DeviceSettings& settings :
         {DeviceSettings{nullptr, "m", "S", 1, 80}, DeviceSettings{"1.2.3.4", nullptr, "S", 1, 80}}) {
        const BuiltRecord built = build(DDNS_CMD_START, "online", settings);
        EXPECT_FALSE(built.built);
        EXPECT_EQ(built.out, "");
        EXPECT_EQ(built.err.rfind("DNS server or MAC is null\n: ", 0), 0u) << built.err;
    }
}

TEST(DeviceRecord, EmptyIpBuildsNothingSilently) {
    const BuiltRecord built = build(DDNS_CMD_START, "online", DeviceSettings{"", "m", "S", 1, 80});
    EXPECT_FALSE(built.built);
    EXPECT_EQ(built.out, "");
    EXPECT_EQ(built.err, "");
}

struct DiyRead {
    int result;
    std::string text;
    std::string out;
};

DiyRead read_diy(const std::string& command, int capacity = 128) {
    std::vector<char> buffer(static_cast<std::size_t>(capacity), '\0');
    ozu_test::OutputCapture capture;
    const int result = ozu::ddns::read_diy_ddns_server(command.c_str(), buffer.data(), capacity);
    return DiyRead{result, std::string(buffer.data()), capture.finish().out};
}

struct DiyCase {
    const char* name;
    const char* file;
    int result;
    const char* text;
    const char* after_command;  // stdout after the echoed command
};

const DiyCase kDiyCases[] = {
    {"entry", "Port=80\nDIYDDNSServer=diy.example.com\nName=x\n", 0, "diy.example.com", ""},
    {"entry_without_line_end", "DIYDDNSServer=diy.example.com", 0, "diy.example.com", ""},
    {"first_matching_line_only", "DIYDDNSServer=first\nDIYDDNSServer=second\n", 0, "first", ""},
    {"value_ends_at_next_equals", "DIYDDNSServer=a.b=c\n", 0, "a.b", ""},
    {"blanks_are_kept", "DIYDDNSServer= my host \n", 0, " my host ", ""},
    {"no_entry", "Port=80\n", -1, "", "EOF!"},
    {"empty_file", "", -1, "", "EOF!"},
};

TEST(DiyServerEntry, ReadsTheSecondFieldOfTheFirstMatchingLine) {
    for (const DiyCase& diy : kDiyCases) {
        SCOPED_TRACE(diy.name);
        const TempConfigFile config(diy.file);
        const DiyRead read = read_diy(config.command());
        EXPECT_EQ(read.result, diy.result);
        EXPECT_EQ(read.text, diy.text);
        EXPECT_EQ(read.out, config.command() + diy.after_command);
    }
}

TEST(DiyServerEntry, MissingFileReadsNothing) {
    const std::string command = "cat /nonexistent/ozu/Tams.cfg 2>/dev/null | grep 'DIYDDNSServer' | cut -d '=' -f2";
    const DiyRead read = read_diy(command);
    EXPECT_EQ(read.result, -1);
    EXPECT_EQ(read.out, command + "EOF!");
}

TEST(DiyServerEntry, ValueIsCutToTheBuffer) {
    const TempConfigFile config("DIYDDNSServer=" + std::string(40, 'x') + "\n");
    const DiyRead read = read_diy(config.command(), 16);
    EXPECT_EQ(read.result, 0);
    EXPECT_EQ(read.text, std::string(15, 'x'));
}

TEST(DiyServerEntry, BufferOf15OrNoBufferIsRefused) {
    const TempConfigFile config("DIYDDNSServer=x\n");
    const DiyRead small = read_diy(config.command(), 15);
    EXPECT_EQ(small.result, -1);
    EXPECT_EQ(small.out, "Param ERROR!");
    ozu_test::OutputCapture capture;
    EXPECT_EQ(ozu::ddns::read_diy_ddns_server(config.command().c_str(), nullptr, 128), -1);
    EXPECT_EQ(capture.finish().out, "Param ERROR!");
}

std::string reply_record(std::int32_t command, const std::string& domain) {
    DeviceMsg reply{};
    device_msg::store_le32(reply.nCommand, command);
    std::memcpy(reply.szDeviceDomain.data(), domain.data(), std::min(domain.size(), reply.szDeviceDomain.size()));
    return std::string(reinterpret_cast<const char*>(&reply), sizeof reply);
}

struct ReplyCase {
    const char* name;
    std::string bytes;
    ozu::ddns::ReplyVerdict verdict;
    std::int32_t command;
    std::string domain;
};

using ozu::ddns::ReplyVerdict;

const std::string kFullDomainField(128, 'd');

const std::vector<ReplyCase> kReplyCases = {
    {"name", reply_record(103, "ddns.test"), ReplyVerdict::NameLearned, 103, "ddns.test"},
    {"no_name", reply_record(103, ""), ReplyVerdict::NameMissing, 103, ""},
    {"start_confirmed", reply_record(101, "ddns.test"), ReplyVerdict::Confirmed, 101, "ddns.test"},
    {"update_refused", reply_record(102, ""), ReplyVerdict::Refused, 102, ""},
    {"other_code_to_a_domain_query", reply_record(102, "x"), ReplyVerdict::Confirmed, 102, "x"},
    {"216_bytes_have_no_domain", reply_record(103, "ddns.test").substr(0, 216), ReplyVerdict::NameMissing, 103, ""},
    {"217_bytes_have_one_character", reply_record(103, "ddns.test").substr(0, 217), ReplyVerdict::NameLearned, 103,
     "d"},
    {"two_bytes_read_as_a_zero_filled_record", std::string("\x67\x00", 2), ReplyVerdict::NameMissing, 103, ""},
    {"domain_without_nul_ends_at_field_end", reply_record(103, kFullDomainField), ReplyVerdict::NameLearned, 103,
     kFullDomainField},
    {"bytes_past_the_record_are_ignored", reply_record(103, "z") + std::string(1615, 'q'), ReplyVerdict::NameLearned,
     103, "z"},
};

TEST(RegisterReply, IsJudgedOnItsCodeAndDomain) {
    for (const ReplyCase& reply : kReplyCases) {
        SCOPED_TRACE(reply.name);
        const ozu::ddns::RegisterReply judged = ozu::ddns::judge_register_reply(reply.bytes.data(), reply.bytes.size());
        EXPECT_EQ(judged.verdict, reply.verdict);
        EXPECT_EQ(judged.command, reply.command);
        EXPECT_EQ(judged.domain, reply.domain);
    }
}

TEST(DeviceName, IsSerialDotDomainInA128ByteBuffer) {
    char* name = ozu::ddns::compose_device_name("SN1", "ddns.test");
    ASSERT_NE(name, nullptr);
    EXPECT_STREQ(name, "SN1.ddns.test");
    name[127] = 'x';  // the whole buffer is the name's own (AddressSanitizer checks)
    std::free(name);
}

TEST(DeviceName, IsCutTo127Characters) {
    char* name = ozu::ddns::compose_device_name("SERIAL08", kFullDomainField);
    ASSERT_NE(name, nullptr);
    EXPECT_EQ(std::string(name), "SERIAL08." + std::string(118, 'd'));
    std::free(name);
}

TEST(DeviceName, WithoutSerialStartsWithTheDot) {
    char* name = ozu::ddns::compose_device_name(nullptr, "ddns.test");
    ASSERT_NE(name, nullptr);
    EXPECT_STREQ(name, ".ddns.test");
    std::free(name);
}

}  // namespace

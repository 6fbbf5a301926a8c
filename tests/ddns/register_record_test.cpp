// The device record as built from a configuration, the DIY DDNS server entry read from a
// configuration file, and the judgement of reply records.
#include <gtest/gtest.h>
#include <signal.h>

#include <ctime>
#include <memory>
#include <optional>
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
using ozu::ddns::ReplyVerdict;
using register_test::all_zero;
using register_test::as_record;
using register_test::TempConfigFile;
using register_test::zero_after_text;

constexpr DeviceSettings kSettings{"192.168.1.10", "00:11:22:33:44:55", "SN1", 0x1234, 8080};

int diy_server_example(char* buffer, int capacity) {
    std::snprintf(buffer, static_cast<std::size_t>(capacity), "diy.example");
    return 0;
}

constexpr const char* kEchoedEntryCommand = "echo DIYDDNSServer=diy.example.com | cut -d '=' -f2";

// A host that ignores SIGCHLD: its children are reaped at once, so pclose fails after the entry was read.
int reader_of_a_host_ignoring_children(char* buffer, int capacity) {
    signal(SIGCHLD, SIG_IGN);
    const int result = ozu::ddns::read_diy_ddns_server(kEchoedEntryCommand, buffer, capacity);
    signal(SIGCHLD, SIG_DFL);
    return result;
}

int reader_long_value(char* buffer, int capacity) {
    std::snprintf(buffer, static_cast<std::size_t>(capacity), "%s", std::string(127, 'a').c_str());
    return 0;
}

std::vector<std::string> g_encrypted_texts;
int recording_encryptor(const char* in, char* out) {
    g_encrypted_texts.emplace_back(in);
    return EncryptString(in, out);
}

struct BuiltRecord {
    std::optional<DeviceMsg> record;  // none: nothing was built
    std::string out;
    std::string err;
};

BuiltRecord build(int command, const char* status, const DeviceSettings& settings,
                  ozu::ddns::DiyServerReader reader = diy_server_example,
                  ozu::ddns::TextEncryptor encrypt = EncryptString) {
    std::optional<DeviceMsg> record;
    const register_test::CapturedRun run = register_test::run_captured([&] {
        const std::unique_ptr<char, decltype(&std::free)> bytes(
            ozu::ddns::build_device_record(command, status, settings, reader, encrypt), std::free);
        if (bytes) record = as_record(bytes.get());
        return 0;
    });
    return BuiltRecord{record, run.out, run.err};
}

std::string text(const char* bytes, std::size_t size) {
    return std::string(bytes, size);
}

template <std::size_t N>
void expect_ciphertext_of(const std::array<char, N>& field, const std::string& plain, std::size_t digits) {
    const std::string cipher = device_msg::field_text(field);
    EXPECT_EQ(cipher.size(), digits);
    EXPECT_EQ(cipher.find_first_not_of("0123456789abcdef"), std::string::npos) << cipher;
    EXPECT_TRUE(zero_after_text(field));
    EXPECT_EQ(ozu_ref::decipher_text(cipher).value_or("<not a ciphertext>"), plain);
}

template <std::size_t N>
void expect_text(const std::array<char, N>& field, const std::string& expected) {
    EXPECT_EQ(device_msg::field_text(field), expected);
    EXPECT_TRUE(zero_after_text(field));
}

TEST(DeviceRecord, StartRecordCarriesEveryFieldAtItsOffset) {
    const std::time_t before = std::time(nullptr);
    const BuiltRecord built = build(DDNS_CMD_START, "online", kSettings);
    const std::time_t after = std::time(nullptr);
    ASSERT_TRUE(built.record);
    const DeviceMsg& record = *built.record;
    EXPECT_EQ(text(reinterpret_cast<const char*>(&record), 8), text("\x65\0\0\0\0\0\0\0", 8));
    EXPECT_TRUE(all_zero(record.reserved));
    expect_ciphertext_of(record.szSerial, "SN1", 16);
    expect_ciphertext_of(record.szIpAddress, "192.168.1.10", 32);
    expect_ciphertext_of(record.szMac, "00:11:22:33:44:55", 48);
    expect_ciphertext_of(record.szDeviceID, "0x1234", 16);
    expect_text(record.szDeviceDomain, "SN1.diy.example");
    expect_text(record.szServerPort, "8080");
    const long time = std::stol(device_msg::field_text(record.szTime));
    EXPECT_GE(time, static_cast<long>(before));
    EXPECT_LE(time, static_cast<long>(after));
    EXPECT_TRUE(zero_after_text(record.szTime));
    EXPECT_EQ(text(record.szType.data(), 16), text("DDNS\0\0\0\0\0\0\0\0\0\0\0\0", 16));
    EXPECT_TRUE(all_zero(record.szReserved));
    expect_text(record.szStatus, "online");
    EXPECT_EQ(built.out, "qor function(Init_Device_Msg),szDeviceDomain(SN1.diy.example)!!!\n");
    EXPECT_EQ(built.err, "");
}

TEST(DeviceRecord, EncryptsIpMacDeviceIdSerialInThatOrder) {
    g_encrypted_texts.clear();
    ASSERT_TRUE(build(DDNS_CMD_START, "online", kSettings, diy_server_example, recording_encryptor).record);
    EXPECT_EQ(g_encrypted_texts, (std::vector<std::string>{"192.168.1.10", "00:11:22:33:44:55", "0x1234", "SN1"}));
}

struct FieldBound {
    const char* name;
    DeviceSettings settings;
    std::array<std::size_t, 4> digits;  // serial, ip, mac, device id; 0: the field stays empty
};

const std::string k8(8, 's');
const std::string k9(9, 's');
const std::string k32(32, 's');
const std::string k24(24, '1');
const std::string k25(25, '1');
const std::string k64(64, '1');
const std::string k100(100, '1');

const FieldBound kFieldBounds[] = {
    {"serial_of_8_fits", {"1.2.3.4", "m", k8.c_str(), 1, 80}, {16, 16, 16, 16}},
    {"serial_of_9_stays_empty", {"1.2.3.4", "m", k9.c_str(), 1, 80}, {0, 16, 16, 16}},
    {"serial_longer_than_field_stays_empty", {"1.2.3.4", "m", k32.c_str(), 1, 80}, {0, 16, 16, 16}},
    {"no_serial_counts_as_the_empty_text", {"1.2.3.4", "m", nullptr, 1, 80}, {16, 16, 16, 16}},
    {"ip_of_24_fits", {k24.c_str(), "m", "S", 1, 80}, {16, 48, 16, 16}},
    {"ip_of_25_stays_empty", {k25.c_str(), "m", "S", 1, 80}, {16, 0, 16, 16}},
    {"ip_longer_than_field_stays_empty", {k100.c_str(), "m", "S", 1, 80}, {16, 0, 16, 16}},
    {"mac_of_24_fits", {"1.2.3.4", k24.c_str(), "S", 1, 80}, {16, 16, 48, 16}},
    {"mac_of_64_stays_empty", {"1.2.3.4", k64.c_str(), "S", 1, 80}, {16, 16, 0, 16}},
    {"device_id_below_0x1000000_fits", {"1.2.3.4", "m", "S", 0xffffff, 80}, {16, 16, 16, 16}},
    {"device_id_0x1000000_stays_empty", {"1.2.3.4", "m", "S", 0x1000000, 80}, {16, 16, 16, 0}},
    {"negative_device_id_stays_empty", {"1.2.3.4", "m", "S", -1, 80}, {16, 16, 16, 0}},
};

template <std::size_t N>
void expect_digits_or_empty(const std::array<char, N>& field, std::size_t digits) {
    EXPECT_EQ(device_msg::field_text(field).size(), digits);
    EXPECT_TRUE(zero_after_text(field));
}

TEST(DeviceRecord, TextsWhoseCiphertextDoesNotFitLeaveTheirFieldEmpty) {
    for (const FieldBound& bound : kFieldBounds) {
        SCOPED_TRACE(bound.name);
        const BuiltRecord built = build(DDNS_CMD_START, "online", bound.settings);
        ASSERT_TRUE(built.record);
        expect_digits_or_empty(built.record->szSerial, bound.digits[0]);
        expect_digits_or_empty(built.record->szIpAddress, bound.digits[1]);
        expect_digits_or_empty(built.record->szMac, bound.digits[2]);
        expect_digits_or_empty(built.record->szDeviceID, bound.digits[3]);
        EXPECT_EQ(device_msg::field_text(built.record->szServerPort), "80");
        EXPECT_EQ(device_msg::field_text(built.record->szType), "DDNS");
    }
}

// The port text keeps 7 characters and its NUL in the 8-byte field.
TEST(DeviceRecord, ServerPortTextIsCutToSevenCharacters) {
    const DeviceSettings settings{"1.2.3.4", "m", "S", 1, 2147483647};
    for (const int command : {DDNS_CMD_START, DDNS_CMD_GET_DOMAIN}) {
        const BuiltRecord built = build(command, "online", settings);
        ASSERT_TRUE(built.record);
        expect_text(built.record->szServerPort, "2147483");
    }
}

struct DomainCase {
    const char* serial;
    ozu::ddns::DiyServerReader reader;
    std::string domain;
    std::string read_output;  // what the reader printed
};

// Update records carry the same domain as start records.
TEST(DeviceRecord, UpdateDomainIsSerialDotServerEntryCutTo127Characters) {
    const DomainCase cases[] = {
        {"SN1", diy_server_example, "SN1.diy.example", ""},
        {nullptr, diy_server_example, ".diy.example", ""},
        {"SN1", reader_long_value, "SN1." + std::string(123, 'a'), ""},
        {"SN1", reader_of_a_host_ignoring_children, "SN1.diy.example.com",
         std::string(kEchoedEntryCommand) + "pclose error!"},
    };
    for (const DomainCase& domain : cases) {
        SCOPED_TRACE(domain.domain);
        const DeviceSettings settings{"1.2.3.4", "m", domain.serial, 1, 80};
        const BuiltRecord built = build(DDNS_CMD_UPDATE, "offline", settings, domain.reader);
        ASSERT_TRUE(built.record);
        EXPECT_EQ(text(reinterpret_cast<const char*>(&*built.record), 4), text("\x66\0\0\0", 4));
        EXPECT_EQ(device_msg::field_text(built.record->szStatus), "offline");
        expect_text(built.record->szDeviceDomain, domain.domain);
        EXPECT_EQ(device_msg::field_text(built.record->szServerPort), "80");
        EXPECT_EQ(built.out,
                  domain.read_output + "qor function(Init_Device_Msg),szDeviceDomain(" + domain.domain + ")!!!\n");
    }
}

TEST(DeviceRecord, MissingIpOrMacBuildsNothingAndEmptyIpSilently) {
    const std::pair<DeviceSettings, const char*> cases[] = {  // settings, start of stderr ("": none)
        {{nullptr, "m", "S", 1, 80}, "DNS server or MAC is null\n: "},
        {{"1.2.3.4", nullptr, "S", 1, 80}, "DNS server or MAC is null\n: "},
        {{"", "m", "S", 1, 80}, ""},
    };
    for (const auto& [settings, error] : cases) {
        const BuiltRecord built = build(DDNS_CMD_START, "online", settings);
        EXPECT_FALSE(built.record);
        EXPECT_EQ(built.out, "");
        EXPECT_EQ(built.err.rfind(error, 0), 0u) << built.err;
        EXPECT_EQ(built.err.empty(), *error == '\0') << built.err;
    }
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
    const char* file;  // nullptr: no such file
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
    {"missing_file", nullptr, -1, "", "EOF!"},
};

TEST(DiyServerEntry, ReadsTheSecondFieldOfTheFirstMatchingLine) {
    for (const DiyCase& diy : kDiyCases) {
        SCOPED_TRACE(diy.name);
        const TempConfigFile config(diy.file != nullptr ? diy.file : "");
        const std::string command =
            diy.file != nullptr ? config.command()
                                : "cat /nonexistent/ozu/Tams.cfg 2>/dev/null | grep 'DIYDDNSServer' | cut -d '=' -f2";
        const DiyRead read = read_diy(command);
        EXPECT_EQ(read.result, diy.result);
        EXPECT_EQ(read.text, diy.text);
        EXPECT_EQ(read.out, command + diy.after_command);
    }
}

TEST(DiyServerEntry, ValueIsCutToTheBufferAndBuffersBelow16AreRefused) {
    const TempConfigFile config("DIYDDNSServer=" + std::string(40, 'x') + "\n");
    const DiyRead cut = read_diy(config.command(), 16);
    EXPECT_EQ(cut.result, 0);
    EXPECT_EQ(cut.text, std::string(15, 'x'));
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
    return text(reinterpret_cast<const char*>(&reply), sizeof reply);
}

struct ReplyCase {
    const char* name;
    std::string bytes;
    ReplyVerdict verdict;
    std::int32_t command;
    std::string domain;
};

const std::string kFullDomainField(128, 'd');

TEST(RegisterReply, IsJudgedOnItsCodeAndDomain) {
    const std::string named = reply_record(103, "ddns.test");
    const ReplyCase cases[] = {
        {"name", named, ReplyVerdict::NameLearned, 103, "ddns.test"},
        {"no_name", reply_record(103, ""), ReplyVerdict::NameMissing, 103, ""},
        {"start_confirmed", reply_record(101, "ddns.test"), ReplyVerdict::Confirmed, 101, "ddns.test"},
        {"update_refused", reply_record(102, ""), ReplyVerdict::Refused, 102, ""},
        {"other_code_to_a_domain_query", reply_record(102, "x"), ReplyVerdict::Confirmed, 102, "x"},
        {"216_bytes_have_no_domain", named.substr(0, 216), ReplyVerdict::NameMissing, 103, ""},
        {"217_bytes_have_one_character", named.substr(0, 217), ReplyVerdict::NameLearned, 103, "d"},
        {"two_bytes_read_as_a_zero_filled_record", text("\x67\x00", 2), ReplyVerdict::NameMissing, 103, ""},
        {"domain_without_nul_ends_at_field_end", reply_record(103, kFullDomainField), ReplyVerdict::NameLearned,
         103, kFullDomainField},
        {"bytes_past_the_record_are_ignored", reply_record(103, "z") + std::string(1615, 'q'),
         ReplyVerdict::NameLearned, 103, "z"},
    };
    for (const ReplyCase& reply : cases) {
        SCOPED_TRACE(reply.name);
        const ozu::ddns::RegisterReply judged = ozu::ddns::judge_register_reply(reply.bytes.data(), reply.bytes.size());
        EXPECT_EQ(judged.verdict, reply.verdict);
        EXPECT_EQ(judged.command, reply.command);
        EXPECT_EQ(judged.domain, reply.domain);
    }
}

TEST(DeviceName, IsSerialDotDomainCutTo127CharactersInA128ByteBuffer) {
    const std::tuple<const char*, std::string, std::string> cases[] = {
        {"SN1", "ddns.test", "SN1.ddns.test"},
        {"SERIAL08", kFullDomainField, "SERIAL08." + std::string(118, 'd')},
        {nullptr, "ddns.test", ".ddns.test"},
    };
    for (const auto& [serial, domain, expected] : cases) {
        char* name = ozu::ddns::compose_device_name(serial, domain);
        ASSERT_NE(name, nullptr);
        EXPECT_EQ(std::string(name), expected);
        name[127] = 'x';  // the whole buffer is the name's own (AddressSanitizer checks)
        std::free(name);
    }
}

}  // namespace

#include "register_answer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "server_test_support.h"

namespace {

using server_test::device_record;
using server_test::RecordFields;

RecordFields record_fields(std::int32_t command, const std::string& status = "online") {
    RecordFields fields;
    fields.command = command;
    fields.status = status;
    return fields;
}

// The log line for a record that differs from the default fields only in code, domain, time and status.
std::string logged(int command, const std::string& domain, const std::string& time, const std::string& status) {
    return "cmd=" + std::to_string(command) + " serial=SN1 ip=192.168.1.64 mac=00:11:22:33:44:55 id=0x7 domain=" +
           domain + " port=80 time=" + time + " type=DDNS status=" + status;
}

class RegisterAnswerTest : public ::testing::Test {
protected:
    ozu_ref::Registry registry_{"ddns.test"};
};

TEST_F(RegisterAnswerTest, AnswersEachCommandWithItsCodeAndTheZoneAndRegistersTheSerial) {
    RecordFields lookup = record_fields(103);
    lookup.domain = "";
    lookup.time = "";
    const std::vector<std::pair<RecordFields, std::string>> cases = {
        {record_fields(101), logged(101, "SN1.diy", "1700000000", "online")},
        {lookup, logged(103, "", "", "online")},
        {record_fields(102, "offline"), logged(102, "SN1.diy", "1700000000", "offline")},
    };
    for (const auto& [fields, logged_request] : cases) {
        SCOPED_TRACE(fields.command);
        const ozu_ref::RegisterAnswer answer = ozu_ref::answer_record(device_record(fields), registry_);
        EXPECT_TRUE(answer.answered);
        EXPECT_EQ(answer.code, fields.command);
        EXPECT_EQ(answer.domain, "ddns.test");
        EXPECT_EQ(answer.request, logged_request);
        EXPECT_EQ(registry_.status("SN1"), fields.status);
    }
    EXPECT_EQ(registry_.lookup(ozu_ref::IdentityKind::Serial, "SN1"), "SN1.ddns.test");
}

TEST_F(RegisterAnswerTest, ARecordWithoutSerialGetsAnEmptyDomain) {
    RecordFields fields = record_fields(103);
    fields.serial = "";
    const ozu_ref::RegisterAnswer answer = ozu_ref::answer_record(device_record(fields), registry_);
    EXPECT_TRUE(answer.answered);
    EXPECT_EQ(answer.code, 103);
    EXPECT_EQ(answer.domain, "");
    EXPECT_EQ(registry_.status(""), "");
}

TEST_F(RegisterAnswerTest, RefusesRecordsItCannotRead) {
    std::string plain_serial = device_record();
    plain_serial.replace(24, 4, std::string("SN1\0", 4));
    struct Refusal {
        std::string record, refusal, logged_request;
    };
    const std::vector<Refusal> cases = {
        {std::string(100, '\0'), "incomplete record", "short record (100 of 432 bytes)"},
        {device_record(record_fields(7)), "unknown command", logged(7, "SN1.diy", "1700000000", "online")},
        {plain_serial, "serial is not a ciphertext", logged(101, "SN1.diy", "1700000000", "online")},
    };
    for (const Refusal& c : cases) {
        SCOPED_TRACE(c.refusal);
        const ozu_ref::RegisterAnswer answer = ozu_ref::answer_record(c.record, registry_);
        EXPECT_FALSE(answer.answered);
        EXPECT_EQ(answer.refusal, c.refusal);
        EXPECT_EQ(answer.request, c.logged_request);
    }
    EXPECT_EQ(registry_.status("SN1"), "");
}

TEST_F(RegisterAnswerTest, LogKeepsFieldsOnOneLine) {
    RecordFields fields = record_fields(101, "on\nline");
    fields.domain = "a\"b";
    const ozu_ref::RegisterAnswer answer = ozu_ref::answer_record(device_record(fields), registry_);
    EXPECT_EQ(answer.request, logged(101, "a\\\"b", "1700000000", "on\\x0aline"));
}

// The reply carries only the code and the domain, cut so the domain field keeps a NUL.
TEST(EncodeReply, CarriesOnlyTheCodeAndTheDomain) {
    EXPECT_EQ(ozu_ref::encode_reply(103, "ddns.test"), server_test::reply_record(103, "ddns.test"));
    EXPECT_EQ(ozu_ref::encode_reply(101, std::string(200, 'd')), server_test::reply_record(101, std::string(127, 'd')));
}

}  // namespace

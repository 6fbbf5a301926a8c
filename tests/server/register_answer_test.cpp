#include "register_answer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "server_test_support.h"

namespace {

using server_test::device_record;
using server_test::RecordFields;

RecordFields command(std::int32_t code, const std::string& status = "online") {
    RecordFields fields;
    fields.command = code;
    fields.status = status;
    if (code == 103) {
        fields.domain = "";
        fields.time = "";
    }
    return fields;
}

class RegisterAnswerTest : public ::testing::Test {
protected:
    ozu_ref::Registry registry_{"ddns.test"};
};

struct RecordCase {
    RecordFields fields;
    std::int32_t code;
    std::string domain;
    std::string logged_request;
};

TEST_F(RegisterAnswerTest, AnswersEachCommandWithItsCodeAndTheZone) {
    const std::vector<RecordCase> cases = {
        {command(101), 101, "ddns.test",
         "cmd=101 serial=SN1 ip=192.168.1.64 mac=00:11:22:33:44:55 id=0x7 domain=SN1.diy port=80 "
         "time=1700000000 type=DDNS status=online"},
        {command(102, "offline"), 102, "ddns.test",
         "cmd=102 serial=SN1 ip=192.168.1.64 mac=00:11:22:33:44:55 id=0x7 domain=SN1.diy port=80 "
         "time=1700000000 type=DDNS status=offline"},
        {command(103), 103, "ddns.test",
         "cmd=103 serial=SN1 ip=192.168.1.64 mac=00:11:22:33:44:55 id=0x7 domain= port=80 time= type=DDNS "
         "status=online"},
    };
    for (const RecordCase& c : cases) {
        SCOPED_TRACE(c.code);
        const ozu_ref::RegisterAnswer answer = ozu_ref::answer_record(device_record(c.fields), registry_);
        EXPECT_TRUE(answer.answered);
        EXPECT_EQ(answer.code, c.code);
        EXPECT_EQ(answer.domain, c.domain);
        EXPECT_EQ(answer.request, c.logged_request);
    }
}

TEST_F(RegisterAnswerTest, RegistersTheSerialWithItsStatus) {
    ozu_ref::answer_record(device_record(command(102, "offline")), registry_);
    EXPECT_EQ(registry_.status("SN1"), "offline");
    EXPECT_EQ(registry_.lookup(ozu_ref::IdentityKind::Serial, "SN1"), "SN1.ddns.test");
}

TEST_F(RegisterAnswerTest, ARecordWithoutSerialGetsAnEmptyDomain) {
    RecordFields fields = command(103);
    fields.serial = "";
    const ozu_ref::RegisterAnswer answer = ozu_ref::answer_record(device_record(fields), registry_);
    EXPECT_TRUE(answer.answered);
    EXPECT_EQ(answer.code, 103);
    EXPECT_EQ(answer.domain, "");
    EXPECT_EQ(registry_.status(""), "");
}

TEST_F(RegisterAnswerTest, RefusesRecordsItCannotRead) {
    RecordFields unknown_command = command(101);
    unknown_command.command = 7;
    std::string plain_serial = device_record(command(101));
    plain_serial.replace(24, 4, std::string("SN1\0", 4));
    struct Refusal {
        std::string record;
        std::string refusal;
        std::string logged_request;
    };
    const std::vector<Refusal> cases = {
        {std::string(100, '\0'), "incomplete record", "short record (100 of 432 bytes)"},
        {device_record(unknown_command), "unknown command",
         "cmd=7 serial=SN1 ip=192.168.1.64 mac=00:11:22:33:44:55 id=0x7 domain=SN1.diy port=80 time=1700000000 "
         "type=DDNS status=online"},
        {plain_serial, "serial is not a ciphertext",
         "cmd=101 serial=SN1 ip=192.168.1.64 mac=00:11:22:33:44:55 id=0x7 domain=SN1.diy port=80 time=1700000000 "
         "type=DDNS status=online"},
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
    RecordFields fields = command(101);
    fields.status = "on\nline";
    fields.domain = "a\"b";
    const ozu_ref::RegisterAnswer answer = ozu_ref::answer_record(device_record(fields), registry_);
    EXPECT_NE(answer.request.find("domain=a\\\"b "), std::string::npos) << answer.request;
    EXPECT_NE(answer.request.find("status=on\\x0aline"), std::string::npos) << answer.request;
}

TEST(EncodeReply, CarriesOnlyTheCodeAndTheDomain) {
    const std::string reply = ozu_ref::encode_reply(103, "ddns.test");
    std::string expected(432, '\0');
    expected[0] = 0x67;
    expected.replace(216, 9, "ddns.test");
    EXPECT_EQ(reply, expected);
}

TEST(EncodeReply, CutsADomainLongerThanItsField) {
    const std::string reply = ozu_ref::encode_reply(101, std::string(200, 'd'));
    EXPECT_EQ(server_test::record_domain(reply), std::string(127, 'd'));
    EXPECT_EQ(reply[216 + 127], '\0');
}

}  // namespace

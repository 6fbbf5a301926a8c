// Request texts and reply judgement, byte for byte, without sockets.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "ddns/http_protocol.h"

namespace {

using namespace ozu::ddns;

const std::string kHead = " HTTP/1.0\r\nAccept: */*\r\nUser-Agent:Mozilla/4.0 \r\nHost:ddns.example\r\n\r\n";

struct RequestCase {
    const char* name;
    std::function<bool(ExchangeBuffer&)> build;
    std::string expected;
};

class RequestText : public testing::TestWithParam<RequestCase> {};

TEST_P(RequestText, IsExact)
{
    ExchangeBuffer request{};
    ASSERT_TRUE(GetParam().build(request));
    EXPECT_EQ(std::string(request.data()), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    AllForms, RequestText,
    testing::Values(
        RequestCase{"PlainUpdateOnline",
                    [](ExchangeBuffer& r) {
                        return format_plain_update_request(r, false, "00:11:22:33:44:55", "10.0.0.5", "ddns.example");
                    },
                    "GET /update.php?mymac=00:11:22:33:44:55&myip=10.0.0.5&" + kHead},
        RequestCase{"PlainUpdateOffline",
                    [](ExchangeBuffer& r) {
                        return format_plain_update_request(r, true, "00:11:22:33:44:55", "10.0.0.5", "ddns.example");
                    },
                    "GET /update.php?mymac=00:11:22:33:44:55&myip=10.0.0.5&offline=yes" + kHead},
        RequestCase{"PlainUpdateWithoutIp",
                    [](ExchangeBuffer& r) {
                        return format_plain_update_request(r, false, "AA", nullptr, "ddns.example");
                    },
                    "GET /update.php?mymac=AA&myip=&" + kHead},
        RequestCase{"DiyUpdate",
                    [](ExchangeBuffer& r) { return format_diy_update_request(r, "0a1b2c3d4e5f6a7b", "ddns.example"); },
                    "GET /update.php?value=0a1b2c3d4e5f6a7b" + kHead},
        RequestCase{"RegistrationUpdate",
                    [](ExchangeBuffer& r) {
                        return format_registration_update_request(r, "0a1b2c3d4e5f6a7b", "ddns.example");
                    },
                    "GET /register/deviceupdate?encrypt=0a1b2c3d4e5f6a7b" + kHead},
        RequestCase{"PlainLookup",
                    [](ExchangeBuffer& r) {
                        return format_plain_lookup_request(r, "00:11:22:33:44:55", "ddns.example");
                    },
                    "GET /getipbymac.php?do=getsilent&mymac=00:11:22:33:44:55&" + kHead},
        RequestCase{"DiyLookup",
                    [](ExchangeBuffer& r) { return format_diy_lookup_request(r, "0a1b2c3d4e5f6a7b", "ddns.example"); },
                    "GET /getipbymac.php?do=getsilent&value=0a1b2c3d4e5f6a7b" + kHead},
        RequestCase{"RegistrationLookup",
                    [](ExchangeBuffer& r) {
                        return format_registration_lookup_request(r, "0a1b2c3d4e5f6a7b", "ddns.example");
                    },
                    "GET /register/devicegetdomain?encrypt=0a1b2c3d4e5f6a7b" + kHead}),
    [](const testing::TestParamInfo<RequestCase>& info) { return std::string(info.param.name); });

struct QueryCase {
    const char* name;
    std::function<bool(QueryBuffer&)> build;
    std::string expected;
};

class QueryText : public testing::TestWithParam<QueryCase> {};

TEST_P(QueryText, IsExact)
{
    QueryBuffer query{};
    ASSERT_TRUE(GetParam().build(query));
    EXPECT_EQ(std::string(query.data()), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    AllForms, QueryText,
    testing::Values(
        QueryCase{"DiyUpdateOnline",
                  [](QueryBuffer& q) { return format_diy_update_query(q, false, "A", "B", 80, 7); },
                  "mymac=A&myip=B&myhttp=80&mytype=7"},
        QueryCase{"DiyUpdateOnlineSignedDecimal",
                  [](QueryBuffer& q) { return format_diy_update_query(q, false, "A", "B", 8080, -2); },
                  "mymac=A&myip=B&myhttp=8080&mytype=-2"},
        QueryCase{"DiyUpdateOffline",
                  [](QueryBuffer& q) { return format_diy_update_query(q, true, "A", "B", 80, 7); },
                  "mymac=A&myip=B&offline=yes"},
        QueryCase{"DiyUpdateWithoutIp",
                  [](QueryBuffer& q) { return format_diy_update_query(q, false, "A", nullptr, 80, 7); },
                  "mymac=A&myip=&myhttp=80&mytype=7"},
        QueryCase{"DiyLookup", [](QueryBuffer& q) { return format_diy_lookup_query(q, "A"); }, "mymac=A&"},
        QueryCase{"RegistrationGetDomain",
                  [](QueryBuffer& q) {
                      return format_registration_query(q, RegistrationQuery::GetDomain, "SN1", "M", 80, 0x1a2b);
                  },
                  "id=SN1&mac=M&port=80&type=0x1a2b"},
        QueryCase{"RegistrationUpdateOnline",
                  [](QueryBuffer& q) {
                      return format_registration_query(q, RegistrationQuery::UpdateOnline, "SN1", "M", 80, 0x1a2b);
                  },
                  "id=SN1&mac=M&port=80&type=0x1a2b&status=online"},
        QueryCase{"RegistrationUpdateOffline",
                  [](QueryBuffer& q) {
                      return format_registration_query(q, RegistrationQuery::UpdateOffline, "SN1", "M", 80, 0x1a2b);
                  },
                  "id=SN1&mac=M&port=80&type=0x1a2b&status=offline"},
        QueryCase{"RegistrationNegativeDeviceIdAsHex",
                  [](QueryBuffer& q) {
                      return format_registration_query(q, RegistrationQuery::GetDomain, "SN1", "M", 80, -1);
                  },
                  "id=SN1&mac=M&port=80&type=0xffffffff"},
        QueryCase{"RegistrationNullSerialAndMacAsEmpty",
                  [](QueryBuffer& q) {
                      return format_registration_query(q, RegistrationQuery::GetDomain, nullptr, nullptr, 80, 7);
                  },
                  "id=&mac=&port=80&type=0x7"}),
    [](const testing::TestParamInfo<QueryCase>& info) { return std::string(info.param.name); });

TEST(QueryBound, HundredTwentyCharactersFitAndOneMoreIsRefusedWhole)
{
    QueryBuffer query{};
    const std::string fits(120 - std::string("mymac=&").size(), 'm');
    ASSERT_TRUE(format_diy_lookup_query(query, fits.c_str()));
    EXPECT_EQ(std::string(query.data()).size(), 120U);

    const std::string tooLong = fits + "m";
    EXPECT_FALSE(format_diy_lookup_query(query, tooLong.c_str()));
    EXPECT_EQ(query[0], '\0');
}

TEST(QueryBound, RegistrationQueryOverHundredTwentyIsRefused)
{
    QueryBuffer query{};
    const std::string serial(200, 's');
    EXPECT_FALSE(format_registration_query(query, RegistrationQuery::UpdateOffline, serial.c_str(), "M", 80, 7));
    EXPECT_EQ(query[0], '\0');
}

TEST(RequestBound, TwoThousandFortySevenCharactersFitAndOneMoreIsRefusedWhole)
{
    ExchangeBuffer request{};
    const std::string frame = "GET /getipbymac.php?do=getsilent&mymac=&" + kHead;
    const std::string fits(2047 - frame.size(), 'm');
    ASSERT_TRUE(format_plain_lookup_request(request, fits.c_str(), "ddns.example"));
    EXPECT_EQ(std::string(request.data()).size(), 2047U);

    const std::string tooLong = fits + "m";
    EXPECT_FALSE(format_plain_lookup_request(request, tooLong.c_str(), "ddns.example"));
    EXPECT_EQ(request[0], '\0');
}

struct VerdictCase {
    const char* name;
    InterfaceType type;
    std::string reply;
    bool confirmed;
    std::optional<std::string> domain;
};

class UpdateReply : public testing::TestWithParam<VerdictCase> {};

TEST_P(UpdateReply, IsJudged)
{
    const UpdateVerdict verdict = judge_update_reply(GetParam().type, GetParam().reply);
    EXPECT_EQ(verdict.confirmed, GetParam().confirmed);
    ASSERT_EQ(verdict.domain.has_value(), GetParam().domain.has_value());
    if (verdict.domain) {
        EXPECT_EQ(std::string(*verdict.domain), *GetParam().domain);
    }
}

const std::string kOkHead = "HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r\n";

INSTANTIATE_TEST_SUITE_P(
    AllTypes, UpdateReply,
    testing::Values(
        VerdictCase{"FourFields", InterfaceType::Plain, kOkHead + "SUCC:online:10.0.0.5:cam1.ddns.test", true,
                    "cam1.ddns.test"},
        VerdictCase{"DiyFourFields", InterfaceType::Diy, kOkHead + "SUCC:online:10.0.0.5:cam1.ddns.test", true,
                    "cam1.ddns.test"},
        VerdictCase{"RunsOfColonsCountAsOne", InterfaceType::Plain, kOkHead + "SUCC::online:::10.0.0.5::cam1", true,
                    "cam1"},
        VerdictCase{"NameRunsToTheEndUntrimmed", InterfaceType::Plain, kOkHead + "SUCC:a:b:cam1 \r\nmore", true,
                    "cam1 \r\nmore"},
        VerdictCase{"LaterFieldsIgnored", InterfaceType::Plain, kOkHead + "SUCC:a:b:cam1:extra:more", true, "cam1"},
        VerdictCase{"FieldOneMayBeSuccess", InterfaceType::Plain, kOkHead + "SUCCESS:a:b:cam1", true, "cam1"},
        VerdictCase{"ColonsBeforeSuccIgnored", InterfaceType::Plain, kOkHead + "x:y:z SUCC:a:b:cam1", true, "cam1"},
        VerdictCase{"ThreeFieldsFail", InterfaceType::Plain, kOkHead + "SUCC:a:b", false, std::nullopt},
        VerdictCase{"TrailingColonIsNoField", InterfaceType::Plain, kOkHead + "SUCC:a:b:", false, std::nullopt},
        VerdictCase{"NoSuccFails", InterfaceType::Plain, kOkHead + "FAIL:a:b:c", false, std::nullopt},
        VerdictCase{"NameOf99Fits", InterfaceType::Plain, kOkHead + "SUCC:a:b:" + std::string(99, 'n'), true,
                    std::string(99, 'n')},
        VerdictCase{"NameOf100Rejected", InterfaceType::Diy, kOkHead + "SUCC:a:b:" + std::string(100, 'n'), false,
                    std::nullopt},
        VerdictCase{"RegistrationSuccess", InterfaceType::Registration, kOkHead + "SUCCESS", true, std::nullopt},
        VerdictCase{"RegistrationSuccessAnywhere", InterfaceType::Registration, "HTTP/1.0 200 OK\r\nX: SUCCESS\r\n\r\n",
                    true, std::nullopt},
        VerdictCase{"RegistrationWithoutSuccess", InterfaceType::Registration, kOkHead + "SUCC:a:b:cam1", false,
                    std::nullopt}),
    [](const testing::TestParamInfo<VerdictCase>& info) { return std::string(info.param.name); });

struct LookupCase {
    const char* name;
    InterfaceType type;
    std::string reply;
    std::optional<std::string> domain;
};

class LookupReply : public testing::TestWithParam<LookupCase> {};

TEST_P(LookupReply, IsJudged)
{
    const std::optional<std::string_view> domain = judge_lookup_reply(GetParam().type, GetParam().reply);
    ASSERT_EQ(domain.has_value(), GetParam().domain.has_value());
    if (domain) {
        EXPECT_EQ(std::string(*domain), *GetParam().domain);
    }
}

INSTANTIATE_TEST_SUITE_P(
    AllTypes, LookupReply,
    testing::Values(
        LookupCase{"SuccAndName", InterfaceType::Plain, kOkHead + "SUCC:cam1.ddns.test", "cam1.ddns.test"},
        LookupCase{"DiySuccAndName", InterfaceType::Diy, kOkHead + "SUCC:cam1.ddns.test", "cam1.ddns.test"},
        LookupCase{"RunOfColons", InterfaceType::Plain, kOkHead + "SUCC:::cam1:rest", "cam1"},
        LookupCase{"NameToTheEnd", InterfaceType::Plain, kOkHead + "SUCC:cam1\r\n", "cam1\r\n"},
        LookupCase{"SuccAloneFails", InterfaceType::Plain, kOkHead + "SUCC", std::nullopt},
        LookupCase{"SuccAndColonFails", InterfaceType::Plain, kOkHead + "SUCC::", std::nullopt},
        LookupCase{"UnknownDeviceFails", InterfaceType::Plain, kOkHead + "FAIL unknown device", std::nullopt},
        LookupCase{"NameOf99Fits", InterfaceType::Plain, kOkHead + "SUCC:" + std::string(99, 'n'),
                   std::string(99, 'n')},
        LookupCase{"NameOf100Rejected", InterfaceType::Plain, kOkHead + "SUCC:" + std::string(100, 'n'),
                   std::nullopt},
        LookupCase{"AckSuccessDomain", InterfaceType::Registration, kOkHead + "ACK SUCCESS domain=cam1.ddns.test",
                   "cam1.ddns.test"},
        LookupCase{"AnySeparatorAndNameToTheEnd", InterfaceType::Registration,
                   kOkHead + "ACK-SUCCESS\r\ndomain=cam1\r\ntrailer", "cam1\r\ntrailer"},
        LookupCase{"DomainSearchedFromTheStart", InterfaceType::Registration, "X-domain=first\r\n\r\nACK SUCCESS",
                   "first\r\n\r\nACK SUCCESS"},
        LookupCase{"EmptyName", InterfaceType::Registration, kOkHead + "ACK SUCCESS domain=", ""},
        LookupCase{"LongNameKept", InterfaceType::Registration, kOkHead + "ACK SUCCESS domain=" + std::string(500, 'n'),
                   std::string(500, 'n')},
        LookupCase{"NoSeparatorFails", InterfaceType::Registration, kOkHead + "ACKSUCCESS domain=cam1", std::nullopt},
        LookupCase{"ShortConfirmationFails", InterfaceType::Registration, kOkHead + "ACK SUCCES", std::nullopt},
        LookupCase{"OtherWordFails", InterfaceType::Registration, kOkHead + "ACK FAILURE domain=cam1", std::nullopt},
        LookupCase{"FirstAckDecides", InterfaceType::Registration, kOkHead + "ACKNOWLEDGED ACK SUCCESS domain=cam1",
                   std::nullopt},
        LookupCase{"NoDomainFails", InterfaceType::Registration, kOkHead + "ACK SUCCESS", std::nullopt}),
    [](const testing::TestParamInfo<LookupCase>& info) { return std::string(info.param.name); });

}  // namespace

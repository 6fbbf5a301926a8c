// Request texts and reply judgement, byte for byte, without sockets.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "ddns/http_protocol.h"

namespace {

using namespace ozu::ddns;

const std::string kHead = " HTTP/1.0\r\nAccept: */*\r\nUser-Agent:Mozilla/4.0 \r\nHost:ddns.example\r\n\r\n";

// Query forms the client tests do not reach; every form's full request is checked there.
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
    Forms, QueryText,
    testing::Values(
        QueryCase{"DiySignedDecimalType",
                  [](QueryBuffer& q) { return format_diy_update_query(q, false, "A", "B", 8080, -2); },
                  "mymac=A&myip=B&myhttp=8080&mytype=-2"},
        QueryCase{"DiyWithoutIp", [](QueryBuffer& q) { return format_diy_update_query(q, false, "A", nullptr, 80, 7); },
                  "mymac=A&myip=&myhttp=80&mytype=7"},
        QueryCase{"RegistrationNegativeDeviceIdAsHex",
                  [](QueryBuffer& q) {
                      return format_registration_query(q, RegistrationQuery::GetDomain, "SN1", "M", 80, -1);
                  },
                  "id=SN1&mac=M&port=80&type=0xffffffff"},
        QueryCase{"RegistrationNullSerialAndMacAsEmpty",
                  [](QueryBuffer& q) {
                      return format_registration_query(q, RegistrationQuery::UpdateOffline, nullptr, nullptr, 80, 7);
                  },
                  "id=&mac=&port=80&type=0x7&status=offline"}),
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

    const std::string serial(200, 's');
    ASSERT_TRUE(format_diy_lookup_query(query, "A"));
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
        // Forms the client tests already send end to end are left to them.
        VerdictCase{"RunsOfColonsCountAsOne", InterfaceType::Plain, kOkHead + "SUCC::online:::10.0.0.5::cam1", true,
                    "cam1"},
        VerdictCase{"NameRunsToTheEndUntrimmed", InterfaceType::Plain, kOkHead + "SUCC:a:b:cam1 \r\nmore", true,
                    "cam1 \r\nmore"},
        VerdictCase{"LaterFieldsIgnored", InterfaceType::Plain, kOkHead + "SUCC:a:b:cam1:extra:more", true, "cam1"},
        VerdictCase{"FieldOneMayBeSuccess", InterfaceType::Plain, kOkHead + "SUCCESS:a:b:cam1", true, "cam1"},
        VerdictCase{"ColonsBeforeSuccIgnored", InterfaceType::Plain, kOkHead + "x:y:z SUCC:a:b:cam1", true, "cam1"},
        VerdictCase{"TrailingColonIsNoField", InterfaceType::Plain, kOkHead + "SUCC:a:b:", false, std::nullopt},
        VerdictCase{"NoSuccFails", InterfaceType::Plain, kOkHead + "FAIL:a:b:c", false, std::nullopt},
        VerdictCase{"NameOf99Fits", InterfaceType::Plain, kOkHead + "SUCC:a:b:" + std::string(99, 'n'), true,
                    std::string(99, 'n')},
        VerdictCase{"NameOf100Rejected", InterfaceType::Diy, kOkHead + "SUCC:a:b:" + std::string(100, 'n'), false,
                    std::nullopt},
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
        LookupCase{"RunOfColons", InterfaceType::Plain, kOkHead + "SUCC:::cam1:rest", "cam1"},
        LookupCase{"NameToTheEnd", InterfaceType::Plain, kOkHead + "SUCC:cam1\r\n", "cam1\r\n"},
        LookupCase{"SuccAloneFails", InterfaceType::Plain, kOkHead + "SUCC", std::nullopt},
        LookupCase{"SuccAndColonFails", InterfaceType::Plain, kOkHead + "SUCC::", std::nullopt},
        LookupCase{"UnknownDeviceFails", InterfaceType::Plain, kOkHead + "FAIL unknown device", std::nullopt},
        LookupCase{"NameOf99Fits", InterfaceType::Plain, kOkHead + "SUCC:" + std::string(99, 'n'),
                   std::string(99, 'n')},
        LookupCase{"AnySeparatorAndNameToTheEnd", InterfaceType::Registration,
                   kOkHead + "ACK-SUCCESS\r\ndomain=cam1\r\ntrailer", "cam1\r\ntrailer"},
        LookupCase{"DomainSearchedFromTheStart", InterfaceType::Registration, "X-domain=first\r\n\r\nACK SUCCESS",
                   "first\r\n\r\nACK SUCCESS"},
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
